// TWSocket, the published socket component, and the whole of its chain:
// TCustomWSocket <- TCustomSocksWSocket <- TCustomLineWSocket <-
// TCustomSyncWSocket <- TWSocket.
#pragma once

#include "net/SyncWSocket.h"

class TWSocket : public TCustomSyncWSocket {
 public:
  using TCustomSyncWSocket::TCustomSyncWSocket;
  const char* ClassName() const override { return "TWSocket"; }
};

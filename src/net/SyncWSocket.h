// TCustomSyncWSocket: waiting for a flag while the socket's messages are
// pumped.
//
// For now a pass-through layer; RunAndWait and WaitForFlag, appended to the
// table of virtual operations in that order, come here.
#pragma once

#include "net/LineWSocket.h"

class TCustomSyncWSocket : public TCustomLineWSocket {
 public:
  using TCustomLineWSocket::TCustomLineWSocket;
  const char* ClassName() const override { return "TCustomSyncWSocket"; }
};

// TCustomLineWSocket: incoming data cut into lines (LineMode), echo and
// simple line editing.
//
// For now a pass-through layer: with LineMode off (its initial value, and the
// way the HTTP client reads) everything goes straight to the layers below.
// The receive area, LineMode, LineEnd, LineLimit, LineEcho, LineEdit and
// OnLineLimitExceeded come here, with overrides of HandleNotification,
// RcvdCount, RawRecv, FireDataAvailable and FireSessionClosed, and the
// appended FireLineLimitExceeded, LineMode setter and ApplyLineEditing.
#pragma once

#include "net/SocksWSocket.h"

class TCustomLineWSocket : public TCustomSocksWSocket {
 public:
  using TCustomSocksWSocket::TCustomSocksWSocket;
  const char* ClassName() const override { return "TCustomLineWSocket"; }
};

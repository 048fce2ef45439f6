// TCustomSocksWSocket: connections through a SOCKS 4, 4A or 5 proxy.
//
// For now a pass-through layer: with no SOCKS server set (the only way the
// checker uses its sockets) a connection takes the plain road of the core.
// The negotiation, its properties and events, and its overrides of Connect,
// Listen, RcvdCount, RawRecv, FireDataAvailable, FireSessionConnected,
// FireSessionClosed and ResetDefaults come here, appending FireSocksConnected,
// the SocksPort and SocksServer setters and FireSocksError to the table of
// virtual operations. The core's constructor runs only its own
// ResetDefaults: this layer's constructor must reset its own fields too.
#pragma once

#include "net/CustomWSocket.h"

enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthBegin, socksAuthAccepted, socksAuthRejected, socksAuthUnneeded };
using TSocksErrorEvent = std::function<void(TObject* Sender, std::int32_t Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(TObject* Sender, TSocksAuthState AuthState)>;

class TCustomSocksWSocket : public TCustomWSocket {
 public:
  using TCustomWSocket::TCustomWSocket;
  const char* ClassName() const override { return "TCustomSocksWSocket"; }
};

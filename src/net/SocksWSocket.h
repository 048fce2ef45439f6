// TCustomSocksWSocket: stream connections through a SOCKS 4, 4A or 5 proxy
// (RFC 1928, with the user-name/password method of RFC 1929).
//
// With SocksServer set, Connect connects to the proxy instead of Addr; the
// negotiation runs inside the socket's notification handling, and the caller
// sees OnSessionConnected only once the proxy has granted the connection to
// Addr:Port. Bytes the proxy sends right behind its SOCKS 5 reply are handed
// to the caller before anything further from the system. Without a SOCKS
// server (the way the checker uses its sockets) a connection takes the plain
// road of the core.
//
// Requests and replies live in one 128-byte area. Connect refuses settings
// whose request would not fit (through ReportError, before anything is sent),
// and a SOCKS 5 reply that could not fit fails instead of being waited for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/CustomWSocket.h"

enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthBegin, socksAuthAccepted, socksAuthRejected, socksAuthUnneeded };

using TSocksErrorEvent = std::function<void(TObject* Sender, std::int32_t Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(TObject* Sender, TSocksAuthState AuthState)>;

class TCustomSocksWSocket : public TCustomWSocket {
 public:
  explicit TCustomSocksWSocket(TComponent* AOwner);
  const char* ClassName() const override { return "TCustomSocksWSocket"; }

  // Server, port and level are written only while closed, and are reset by
  // every close; user code, password and authentication are kept.
  const std::string& SocksServer() const { return FSocksServer; }
  const std::string& SocksPort() const { return FSocksPort; }
  const std::string& SocksLevel() const { return FSocksLevel; }
  void SetSocksLevel(const std::string& Value);  // "4", "4A" ("4a") or "5"
  const std::string& SocksUsercode() const { return FSocksUsercode; }
  void SetSocksUsercode(const std::string& Value) { FSocksUsercode = Value; }
  const std::string& SocksPassword() const { return FSocksPassword; }
  void SetSocksPassword(const std::string& Value) { FSocksPassword = Value; }
  TSocksAuthentication SocksAuthentication() const { return FSocksAuthentication; }
  void SetSocksAuthentication(TSocksAuthentication Value) { FSocksAuthentication = Value; }
  // Address and port the proxy reported in its SOCKS 5 reply.
  const std::string& ProxyBoundAddr() const { return FBoundAddr; }
  const std::string& ProxyBoundPort() const { return FBoundPort; }

  std::int32_t RcvdCount() override;
  void Connect() override;
  void Listen() override;

  TSessionConnected OnSocksConnected;  // the TCP connection to the proxy is up, or failed
  TSocksErrorEvent OnSocksError;
  TSocksAuthStateEvent OnSocksAuthState;

 protected:
  void ResetDefaults() override;
  void DiscardConnection() override;
  int RawRecv(void* Buffer, int Length, int Flags) override;
  bool FireDataAvailable(std::uint16_t Error) override;
  void FireSessionConnected(std::uint16_t Error) override;
  void FireSessionClosed(std::uint16_t Error) override;
  std::int32_t HeldCount() override { return FLeftoverCount; }

  // Appended operations.
  virtual void FireSocksConnected(std::uint16_t Error);

 public:
  virtual void SetSocksPort(const std::string& Value);
  virtual void SetSocksServer(const std::string& Value);

 protected:
  virtual void FireSocksError(std::int32_t Error, const std::string& Msg);

  // What lies below the proxy's leftovers: the system's pending count and
  // receive. Everything this layer and the line layer read comes through
  // these two, so a test can put bytes in their place.
  virtual std::int32_t LowerRcvdCount();
  virtual int LowerRecv(void* Buffer, int Length, int Flags);

  bool Negotiating() const { return FNegotiation != snIdle; }

 private:
  enum TNegotiation : std::uint8_t { snIdle, snGreeting, snAuthenticating, snRequesting };
  static constexpr int AreaSize = 128;

  void ResetSocksDefaults();
  void SetProxyText(const std::string& Value, std::string& Text, bool& Assigned, const char* Refusal);
  // Reads into the reply area up to Limit bytes in all; false when the read
  // failed (nothing to add).
  bool CollectReply(int Limit);
  bool ReplyFromGreeting();
  bool ReplyFromAuthentication();
  bool ReplyFromLevel4();
  bool ReplyFromLevel5();
  void SendSocksCredentials();
  void SendSocksRequest();
  void SendRequest(const std::string& Bytes);
  void FailSocks(std::int32_t Code, const std::string& Text);
  // The text of a request that cannot be built in the area, or empty.
  std::string RequestTooLong() const;
  bool Level4() const { return FSocksLevel[0] == '4'; }
  // Whether the socket still runs the negotiation it ran before an event
  // fired; ask the connection check first (a handler may close the socket,
  // start another connection or free it).
  bool StillIn(TNegotiation State) const {
    return FNegotiation == State && FHSocket != plat::sock::InvalidSocket;
  }

  TNegotiation FNegotiation = snIdle;
  std::string FSocksServer;
  std::string FSocksLevel = "5";
  std::string FSocksPort;
  bool FSocksPortAssigned = false;
  bool FSocksServerAssigned = false;
  std::string FSocksUsercode;
  std::string FSocksPassword;
  TSocksAuthentication FSocksAuthentication = socksNoAuthentication;
  std::uint8_t FOfferedMethod = 0;
  std::string FBoundAddr;
  std::string FBoundPort;
  unsigned char FReply[AreaSize] = {};
  int FReplyCount = 0;
  int FLeftoverCount = 0;
  int FLeftoverPos = 0;
};

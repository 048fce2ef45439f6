#include "net/SocksWSocket.h"

#include <algorithm>
#include <cstring>

using namespace plat::sock;

namespace {

// Largest parts a request can carry within the area: the user-name/password
// request (3 bytes of its own), the SOCKS 5 request (7), the SOCKS 4 request
// (9) and the 4A request (10).
constexpr std::size_t MaxCredentials = 125;
constexpr std::size_t MaxLevel5Name = 121;
constexpr std::size_t MaxLevel4User = 119;
constexpr std::size_t MaxLevel4AParts = 118;

struct TSocksFailure {
  std::int32_t Code;
  const char* Text;
};

// SOCKS 5 reply codes 1 to 8.
constexpr TSocksFailure Level5Failures[] = {
    {20004, "general SOCKS server failure"}, {20005, "connection not allowed by ruleset"},
    {20006, "network unreachable"},          {20007, "host unreachable"},
    {20008, "connection refused"},           {20009, "time to live expired"},
    {20010, "command not supported"},        {20011, "address type not supported"},
};

TSocksFailure UnassignedFailure(int Code, std::string& Text) {
  Text = "unassigned error #" + std::to_string(Code);
  return {20012, Text.c_str()};
}

void PutPort(std::string& Bytes, int Port) {
  Bytes += static_cast<char>((Port >> 8) & 0xFF);
  Bytes += static_cast<char>(Port & 0xFF);
}

}  // namespace

TCustomSocksWSocket::TCustomSocksWSocket(TComponent* AOwner) : TCustomWSocket(AOwner) {
  // The core's constructor ran only its own reset.
  ResetSocksDefaults();
}

void TCustomSocksWSocket::ResetSocksDefaults() {
  FNegotiation = snIdle;
  FSocksServer.clear();
  FSocksPort.clear();
  FSocksLevel.assign(1, '5');  // not = "5": GCC 12 warns falsely about that at -O2
  FLeftoverCount = 0;
  FSocksServerAssigned = false;
  FSocksPortAssigned = false;
}

void TCustomSocksWSocket::ResetDefaults() {
  TCustomWSocket::ResetDefaults();
  ResetSocksDefaults();
}

void TCustomSocksWSocket::DiscardConnection() {
  TCustomWSocket::DiscardConnection();
  // The proxy's settings are the caller's; its negotiation and its leftover
  // bytes belong to the connection.
  FNegotiation = snIdle;
  FReplyCount = 0;
  FLeftoverCount = 0;
  FLeftoverPos = 0;
}

// ---------------------------------------------------------------------------
// Properties

void TCustomSocksWSocket::SetProxyText(const std::string& Value, std::string& Text, bool& Assigned,
                                       const char* Refusal) {
  if (FState != wsClosed) {
    ReportError(Refusal);
    return;
  }
  Text = Trim(Value);
  Assigned = !Text.empty();
}

void TCustomSocksWSocket::SetSocksServer(const std::string& Value) {
  SetProxyText(Value, FSocksServer, FSocksServerAssigned, "Can't change socks server if not closed");
}

void TCustomSocksWSocket::SetSocksPort(const std::string& Value) {
  SetProxyText(Value, FSocksPort, FSocksPortAssigned, "Can't change socks port if not closed");
}

void TCustomSocksWSocket::SetSocksLevel(const std::string& Value) {
  if (FState != wsClosed) {
    ReportError("Can't change socks level if not closed");
    return;
  }
  if (Value != "4" && Value != "5" && Value != "4A" && Value != "4a") {
    ReportError("Invalid socks level. Must be 4, 4A or 5.");
    return;
  }
  FSocksLevel = UpperCase(Value);
}

// ---------------------------------------------------------------------------
// Reading: the proxy's leftovers first, then the system

std::int32_t TCustomSocksWSocket::LowerRcvdCount() { return TCustomWSocket::RcvdCount(); }

int TCustomSocksWSocket::LowerRecv(void* Buffer, int Length, int Flags) {
  return TCustomWSocket::RawRecv(Buffer, Length, Flags);
}

std::int32_t TCustomSocksWSocket::RcvdCount() { return FLeftoverCount > 0 ? FLeftoverCount : LowerRcvdCount(); }

int TCustomSocksWSocket::RawRecv(void* Buffer, int Length, int Flags) {
  if (FLeftoverCount <= 0) return LowerRecv(Buffer, Length, Flags);
  const int Count = std::max(0, std::min(Length, FLeftoverCount));
  std::memcpy(Buffer, FReply + FLeftoverPos, static_cast<std::size_t>(Count));
  FLeftoverPos += Count;
  FLeftoverCount -= Count;
  return Count;
}

// ---------------------------------------------------------------------------
// Connecting through the proxy

std::string TCustomSocksWSocket::RequestTooLong() const {
  const bool TooLong =
      FSocksLevel == "5"
          ? FAddrStr.size() > MaxLevel5Name ||
                (FSocksAuthentication == socksAuthenticateUsercode &&
                 FSocksUsercode.size() + FSocksPassword.size() > MaxCredentials)
      : FSocksLevel == "4A" ? FSocksUsercode.size() + FAddrStr.size() > MaxLevel4AParts
                            : FSocksUsercode.size() > MaxLevel4User;
  if (!TooLong) return std::string();
  return "Socks request too long: user code, password or host name does not fit (level " + FSocksLevel + ")";
}

void TCustomSocksWSocket::Connect() {
  if (!FSocksServerAssigned) {
    TCustomWSocket::Connect();
    return;
  }
  if (LowerCase(FProtoStr) != "tcp") {
    ReportError("tcp is the only protocol supported thru socks server");
    return;
  }
  const std::string TooLong = RequestTooLong();
  if (!TooLong.empty()) {
    ReportError(TooLong);
    return;
  }
  try {
    if (!FPortResolved) {
      FSin.sin_port = wsock::htons(WSocketResolvePort(FSocksPort, FProtoStr));
      FPortResolved = true;
    }
    if (!FAddrResolved) {
      FSin.sin_addr.S_addr = WSocketResolveHost(FSocksServer);
      FAddrResolved = true;
    }
    FPortNum = WSocketResolvePort(FPortStr, FProtoStr);
  } catch (Exception& E) {
    ReportError("connect: " + E.Message());
    return;
  }
  FNegotiation = snGreeting;
  FReplyCount = 0;
  TCustomWSocket::Connect();
}

void TCustomSocksWSocket::Listen() {
  if (FSocksServerAssigned) {
    ReportError("Listening is not supported thru socks server");
    return;
  }
  TCustomWSocket::Listen();
}

void TCustomSocksWSocket::FireSessionConnected(std::uint16_t Error) {
  if (FNegotiation != snGreeting) {
    TCustomWSocket::FireSessionConnected(Error);
    return;
  }
  const TConnectionCheck Connection = ConnectionCheck();
  FireSocksConnected(Error);
  // A handler that closed the socket has ended the connection, its report
  // included.
  if (!Connection.Holds()) return;
  if (Error != 0) {
    // The core's notification handling closes the socket after this.
    TCustomWSocket::FireSessionConnected(Error);
    return;
  }
  if (!Connection.Holds() || !StillIn(snGreeting)) return;
  if (Level4()) {
    SendSocksRequest();
    return;
  }
  FOfferedMethod = FSocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
  SendRequest(std::string{'\x05', '\x01', static_cast<char>(FOfferedMethod)});
}

void TCustomSocksWSocket::SendRequest(const std::string& Bytes) {
  // Connect refused what would not fit; a user code or password changed
  // since then is not written past the area either.
  if (Bytes.size() > AreaSize) {
    FailSocks(20001, "TWSocket logic error");
    return;
  }
  try {
    Send(Bytes.data(), static_cast<int>(Bytes.size()));
  } catch (Exception&) {
    // A failed send shows as the close that follows it.
  }
}

void TCustomSocksWSocket::SendSocksCredentials() {
  FNegotiation = snAuthenticating;
  const TConnectionCheck Connection = ConnectionCheck();
  Fire(OnSocksAuthState, this, socksAuthBegin);
  if (!Connection.Holds() || !StillIn(snAuthenticating)) return;
  if (FSocksUsercode.size() + FSocksPassword.size() > MaxCredentials) {
    FailSocks(20001, "TWSocket logic error");
    return;
  }
  std::string Bytes{'\x01'};
  Bytes += static_cast<char>(FSocksUsercode.size());
  Bytes += FSocksUsercode;
  Bytes += static_cast<char>(FSocksPassword.size());
  Bytes += FSocksPassword;
  SendRequest(Bytes);
}

void TCustomSocksWSocket::SendSocksRequest() {
  FNegotiation = snRequesting;
  std::string Bytes;
  if (FSocksLevel == "5") {
    Bytes = {'\x05', '\x01', '\x00', '\x03'};
    Bytes += static_cast<char>(FAddrStr.size() & 0xFF);
    Bytes += FAddrStr;
    PutPort(Bytes, FPortNum);
  } else {
    // Network order; 0.0.0.1 asks a 4A proxy to resolve the name itself.
    std::uint32_t Target = 0;
    if (FSocksLevel == "4A") {
      const unsigned char Invalid[4] = {0, 0, 0, 1};
      std::memcpy(&Target, Invalid, 4);
    } else {
      try {
        Target = WSocketResolveHost(FAddrStr);
      } catch (Exception& E) {
        const TConnectionCheck Connection = ConnectionCheck();
        FireSocksError(20017, std::string(E.ClassName()) + " " + E.Message());
        if (Connection.Holds()) DoClose(true, 20017);
        return;
      }
    }
    Bytes = {'\x04', '\x01'};
    PutPort(Bytes, FPortNum);
    Bytes.append(reinterpret_cast<const char*>(&Target), 4);
    Bytes += FSocksUsercode;
    Bytes += '\0';
    if (FSocksLevel == "4A") {
      Bytes += FAddrStr;
      Bytes += '\0';
    }
  }
  SendRequest(Bytes);
}

void TCustomSocksWSocket::FailSocks(std::int32_t Code, const std::string& Text) {
  // A handler that closed the socket (or freed it, or started another
  // connection) has ended this one: nothing more is said of it.
  const TConnectionCheck Connection = ConnectionCheck();
  FireSocksError(Code, Text);
  if (!Connection.Holds()) return;
  FNegotiation = snIdle;
  FireSessionConnected(static_cast<std::uint16_t>(Code));
  if (!Connection.Holds()) return;
  DoClose(true, static_cast<std::uint16_t>(Code));
}

void TCustomSocksWSocket::FireSessionClosed(std::uint16_t Error) {
  if (FNegotiation == snAuthenticating) {
    const TLifeCheck Life = LifeCheck();
    Fire(OnSocksAuthState, this, socksAuthRejected);
    if (!Life.Lives()) return;
  }
  TCustomWSocket::FireSessionClosed(Error);
}

void TCustomSocksWSocket::FireSocksConnected(std::uint16_t Error) { Fire(OnSocksConnected, this, Error); }

void TCustomSocksWSocket::FireSocksError(std::int32_t Error, const std::string& Msg) {
  Fire(OnSocksError, this, Error, Msg);
}

// ---------------------------------------------------------------------------
// The negotiation engine

bool TCustomSocksWSocket::CollectReply(int Limit) {
  if (FReplyCount >= Limit) return true;
  const int Count = LowerRecv(FReply + FReplyCount, Limit - FReplyCount, 0);
  if (Count < 0) return false;
  FReplyCount += Count;
  return true;
}

bool TCustomSocksWSocket::FireDataAvailable(std::uint16_t Error) {
  if (FNegotiation == snIdle) return TCustomWSocket::FireDataAvailable(Error);
  if (Error != 0) {
    FailSocks(Error, "data receive error");
    return false;
  }
  switch (FNegotiation) {
    case snGreeting: return ReplyFromGreeting();
    case snAuthenticating: return ReplyFromAuthentication();
    case snRequesting: return Level4() ? ReplyFromLevel4() : ReplyFromLevel5();
    default: FailSocks(20013, "internal error"); return false;
  }
}

bool TCustomSocksWSocket::ReplyFromGreeting() {
  if (!CollectReply(AreaSize - 1)) return true;
  if (Level4()) {
    FailSocks(20001, "TWSocket logic error");
    return true;
  }
  if (FReplyCount < 2) return true;
  FReplyCount = 0;
  if (FReply[0] != 5) {
    FailSocks(20002, "socks version error");
  } else if (FReply[1] == 0) {
    const TConnectionCheck Connection = ConnectionCheck();
    if (FOfferedMethod != 0) {
      Fire(OnSocksAuthState, this, socksAuthUnneeded);
      if (!Connection.Holds() || !StillIn(snGreeting)) return true;
    }
    SendSocksRequest();
  } else if (FReply[1] == 2) {
    SendSocksCredentials();
  } else {
    FailSocks(20003, "authentification method not acceptable");
  }
  return true;
}

bool TCustomSocksWSocket::ReplyFromAuthentication() {
  if (!CollectReply(AreaSize - 1)) return true;
  if (FReplyCount >= 1 && FReply[0] != 1) {
    FailSocks(20002, "socks version error");
  } else if (FReplyCount > 2) {
    FailSocks(20001, "too much data availaible");
  } else if (FReplyCount == 2) {
    if (FReply[1] != 0) {
      FailSocks(20015, "socks authentication failed");
      return true;
    }
    FReplyCount = 0;
    const TConnectionCheck Connection = ConnectionCheck();
    Fire(OnSocksAuthState, this, socksAuthAccepted);
    if (Connection.Holds() && StillIn(snAuthenticating)) SendSocksRequest();
  }
  return true;
}

bool TCustomSocksWSocket::ReplyFromLevel4() {
  if (!CollectReply(8) || FReplyCount < 8) return true;
  FReplyCount = 0;
  if (FReply[0] != 0) {
    FailSocks(20002, "socks version error");
    return true;
  }
  switch (FReply[1]) {
    case 90: break;
    case 91: FailSocks(20016, "request rejected or failed"); return true;
    case 92: FailSocks(20008, "connection refused"); return true;
    case 93: FailSocks(20015, "authentification failed"); return true;
    default: {
      std::string Text;
      const TSocksFailure F = UnassignedFailure(FReply[1], Text);
      FailSocks(F.Code, F.Text);
      return true;
    }
  }
  FNegotiation = snIdle;
  const TConnectionCheck Connection = ConnectionCheck();
  FireSessionConnected(0);
  if (!Connection.Holds() || FState != wsConnected) return true;
  return FireDataAvailable(0);
}

bool TCustomSocksWSocket::ReplyFromLevel5() {
  if (!CollectReply(AreaSize - 1)) return true;
  if (FReplyCount >= 1 && FReply[0] != 5) {
    FailSocks(20002, "socks version error");
    return true;
  }
  if (FReplyCount >= 2 && FReply[1] != 0) {
    std::string Text;
    const TSocksFailure F = FReply[1] <= 8 ? Level5Failures[FReply[1] - 1] : UnassignedFailure(FReply[1], Text);
    FailSocks(F.Code, F.Text);
    return true;
  }
  if (FReplyCount < 5) return true;
  const int Type = FReply[3];
  int PortPos;
  if (Type == 1) {
    PortPos = 8;
  } else if (Type == 3) {
    PortPos = 5 + FReply[4];
  } else {
    FailSocks(20011, "address type not supported");
    return true;
  }
  // A bound name too long for the area could never be collected: waiting
  // for it would read nothing, forever, while the system holds the rest.
  if (PortPos + 2 > AreaSize - 1) {
    FailSocks(20011, "address type not supported");
    return true;
  }
  if (FReplyCount < PortPos + 2) return true;
  if (Type == 1) {
    std::uint32_t Address;
    std::memcpy(&Address, FReply + 4, 4);
    FBoundAddr = DottedAddress(Address);
  } else {
    FBoundAddr.assign(reinterpret_cast<const char*>(FReply + 5), FReply[4]);
  }
  FBoundPort = std::to_string(FReply[PortPos] * 256 + FReply[PortPos + 1]);
  FNegotiation = snIdle;
  // The leftovers are in place before the caller hears of the connection: a
  // Receive inside OnSessionConnected must not overtake them.
  FLeftoverCount = std::max(0, FReplyCount - (PortPos + 2));
  FLeftoverPos = PortPos + 2;
  const TConnectionCheck Connection = ConnectionCheck();
  FireSessionConnected(0);
  if (!Connection.Holds() || FState != wsConnected) return true;
  return FireDataAvailable(0);
}

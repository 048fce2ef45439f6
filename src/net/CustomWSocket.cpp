#include "net/CustomWSocket.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

using namespace plat::sock;

const char* const SocketWindowClass = "XSocketWindowClass";

namespace {

constexpr std::int32_t ConnectEvents = FdRead | FdWrite | FdAccept | FdConnect | FdClose;  // 0x3B
constexpr std::int32_t ListenEvents = FdRead | FdWrite | FdAccept | FdClose;                // 0x2B
constexpr std::int32_t DupEvents = FdRead | FdWrite | FdConnect | FdClose;                  // 0x33

std::string VFormat(const char* Fmt, va_list Args) {
  va_list Copy;
  va_copy(Copy, Args);
  const int N = std::vsnprintf(nullptr, 0, Fmt, Copy);
  va_end(Copy);
  if (N <= 0) return std::string();
  std::string Result(static_cast<std::size_t>(N), '\0');
  std::vsnprintf(Result.data(), Result.size() + 1, Fmt, Args);
  return Result;
}

bool IsClosingSendError(int Code) {
  return Code == WsaEInval || Code == WsaENotSock || Code == WsaEConnAborted || Code == WsaEConnReset ||
         Code == WsaENotConn;
}

}  // namespace

// ---------------------------------------------------------------------------
// Life

TCustomWSocket::TCustomWSocket(TComponent* AOwner) : TComponent(AOwner) {
  CreateNotifyWindow();
  FSendBlockSize = 1460;
  FMultiCastIpTTL = 1;
  ResetDefaults();
  ++LiveSocketCount;
}

TCustomWSocket::~TCustomWSocket() {
  Destroying();
  *FLife = 1;
  // The owner's half may be gone already: nothing is fired from here. And a
  // pump below (a close that would block) must not hand this socket its own
  // messages, the one that frees it later included.
  OnChangeState = nullptr;
  OnSessionConnected = nullptr;
  OnDataAvailable = nullptr;
  OnDataSent = nullptr;
  OnSendData = nullptr;
  OnSessionClosed = nullptr;
  OnSessionAvailable = nullptr;
  OnDnsLookupDone = nullptr;
  OnError = nullptr;
  OnBgException = nullptr;
  if (FWindowHandle) plat::SetWindowData(FWindowHandle, nullptr);
  try {
    StopDnsLookup();
  } catch (...) {
  }
  if (FState != wsClosed) {
    try {
      Close();
    } catch (...) {
    }
  }
  if (--LiveSocketCount < 1) {
    UnloadSocketLibrary();
    LiveSocketCount = 0;
  }
  DiscardSendQueue();
  DestroyNotifyWindow();
  if (LiveSocketCount < 1) plat::UnregisterWindowClass(SocketWindowClass);
  *FLife = 2;
}

plat::LResult TCustomWSocket::WindowProc(plat::WindowHandle Window, std::uint32_t Msg, plat::WParam wParam,
                                         plat::LParam lParam) {
  auto* Self = static_cast<TCustomWSocket*>(plat::GetWindowData(Window));
  if (!Self) return plat::DefWindowProc(Window, Msg, wParam, lParam);
  TMessage M{Window, Msg, wParam, lParam, 0};
  Self->HandleNotification(M);
  return M.Result;
}

void TCustomWSocket::CreateNotifyWindow() {
  if (!plat::IsWindowClassRegistered(SocketWindowClass)) plat::RegisterWindowClass(SocketWindowClass, WindowProc);
  FWindowHandle = plat::CreateHiddenWindow(SocketWindowClass);
  if (!FWindowHandle) {
    ReportError("Cannot create a hidden window for TWSocket");
    return;
  }
  plat::SetWindowData(FWindowHandle, this);
}

void TCustomWSocket::DestroyNotifyWindow() {
  if (!FWindowHandle) return;
  plat::SetWindowData(FWindowHandle, nullptr);
  plat::DestroyWindow(FWindowHandle);
  FWindowHandle = 0;
}

void TCustomWSocket::ResetDefaults() {
  std::memset(&FSin, 0, sizeof FSin);
  FSin.sin_family = AfInet;
  FAddressFamily = AfInet;
  FPortAssigned = false;
  FAddrAssigned = false;
  FAddrResolved = false;
  FPortResolved = false;
  FProtoResolved = false;
  FLocalPortResolved = false;
  FProtoAssigned = true;
  FProtoNumber = IpProtoTcp;
  FProtoStr = "tcp";
  FSocketType = SockStream;
  FLocalPortStr = "0";
  FLocalAddr = "0.0.0.0";
  FLingerOnOff = wsLingerOn;
  FLingerTimeout = 0;
  FHSocket = InvalidSocket;
  FEventMask = 0;
  FState = wsClosed;
  FSendDone = true;
  FEventsSuspended = false;
  FReadCount = 0;
  FCloseReported = false;
  FFlushTimeout = 60;
}

// ---------------------------------------------------------------------------
// Properties

// Addr, Port and Proto: written only while closed, trimmed; a non-empty text
// is assigned and waits to be resolved, the same text again changes nothing.
void TCustomWSocket::SetConnectionText(const std::string& Value, std::string& Text, bool& Assigned, bool& Resolved,
                                       const char* Name) {
  if (FState != wsClosed) {
    ReportError(std::string("Cannot change ") + Name + " if not closed");
    return;
  }
  const std::string Trimmed = Trim(Value);
  if (Trimmed.empty()) {
    Text.clear();
    Assigned = false;
    return;
  }
  if (Assigned && Trimmed == Text) return;
  Text = Trimmed;
  Assigned = true;
  Resolved = false;
}

void TCustomWSocket::SetAddr(const std::string& Value) {
  SetConnectionText(Value, FAddrStr, FAddrAssigned, FAddrResolved, "Addr");
}

void TCustomWSocket::SetPort(const std::string& Value) {
  SetConnectionText(Value, FPortStr, FPortAssigned, FPortResolved, "Port");
}

void TCustomWSocket::SetProto(const std::string& Value) {
  SetConnectionText(Value, FProtoStr, FProtoAssigned, FProtoResolved, "Proto");
}

void TCustomWSocket::SetLocalAddr(const std::string& Value) {
  if (FState != wsClosed) {
    ReportError("Cannot change LocalAddr if not closed");
    return;
  }
  FLocalAddr = Value.empty() ? "0.0.0.0" : Value;
}

void TCustomWSocket::SetLocalPort(const std::string& Value) {
  if (FState != wsClosed) {
    ReportError("Cannot change LocalPort if not closed");
    return;
  }
  FLocalPortStr = Value;
  FLocalPortResolved = false;
}

TSocketSendFlags TCustomWSocket::SendFlags() {
  switch (FSendFlagBits) {
    case 0: return wsSendNormal;
    case MsgOob: return wsSendUrgent;
    default:
      ReportError("Invalid internal SendFlags");
      return wsSendNormal;
  }
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value) {
  switch (Value) {
    case wsSendNormal: FSendFlagBits = 0; break;
    case wsSendUrgent: FSendFlagBits = MsgOob; break;
    default: ReportError("Invalid SendFlags");
  }
}

std::int32_t TCustomWSocket::RcvdCount() {
  if (InState(csDesigning)) return -1;
  std::uint32_t Pending = 0;
  if (wsock::ioctlsocket(FHSocket, FionRead, &Pending) == SocketError) {
    ReportSocketError("ioctlSocket");
    return -1;
  }
  return static_cast<std::int32_t>(Pending);
}

std::string TCustomWSocket::PeerAddr() {
  if (FState != wsConnected) return "error";
  SockAddrIn Peer{};
  int Length = sizeof Peer;
  if (wsock::getpeername(FHSocket, reinterpret_cast<SockAddr*>(&Peer), &Length) != 0) {
    ReportSocketError("GetPeerName");
    return "error";
  }
  return DottedAddress(Peer.sin_addr.S_addr);
}

std::string TCustomWSocket::PeerPort() {
  if (FState != wsConnected) return "error";
  SockAddrIn Peer{};
  int Length = sizeof Peer;
  if (wsock::getpeername(FHSocket, reinterpret_cast<SockAddr*>(&Peer), &Length) != 0) {
    ReportSocketError("GetPeerPort");
    return "error";
  }
  return IntToStr(wsock::ntohs(Peer.sin_port));
}

// ---------------------------------------------------------------------------
// Failures

void TCustomWSocket::ReportError(const std::string& Message) {
  if (OnError) {
    FireError();
    return;
  }
  throw ESocketException(Message);
}

void TCustomWSocket::ReportErrorFmt(const char* Fmt, ...) {
  va_list Args;
  va_start(Args, Fmt);
  const std::string Text = VFormat(Fmt, Args);
  va_end(Args);
  ReportError(Text);
}

void TCustomWSocket::ReportSocketError(const std::string& FunctionName) {
  ReportSocketError(FunctionName, wsock::WSAGetLastError());
}

void TCustomWSocket::ReportSocketError(const std::string& FunctionName, int Code) {
  const std::string Text =
      "Error " + IntToStr(Code) + " in function " + FunctionName + "\r\n" + SocketErrorText(Code);
  if (Code == WsaEConnReset || Code == WsaENotConn) {
    // Closed means no handle, and so no more notifications of it.
    if (FHSocket != InvalidSocket) CloseHandleAtOnce();
    const TLifeCheck Life = LifeCheck();
    if (FState != wsClosed) FireSessionClosed(static_cast<std::uint16_t>(Code));
    if (!Life.Lives()) return;
    SetState(wsClosed);
    if (!Life.Lives()) return;
  }
  FLastError = Code;
  ReportError(Text);
}

void TCustomWSocket::HandleEventException(Exception& E) {
  bool CanClose = true;
  const TLifeCheck Life = LifeCheck();
  if (OnBgException) {
    try {
      OnBgException(this, E, CanClose);
    } catch (...) {
    }
  }
  if (CanClose && Life.Lives()) {
    try {
      Abort();
    } catch (...) {
    }
  }
}

// ---------------------------------------------------------------------------
// Events

void TCustomWSocket::SetState(TSocketState NewState) {
  const TSocketState Old = FState;
  FState = NewState;
  FireChangeState(Old, NewState);
}

bool TCustomWSocket::FireDataAvailable(std::uint16_t Error) {
  if (!OnDataAvailable) return false;
  OnDataAvailable(this, Error);
  return true;
}

void TCustomWSocket::FireSessionAvailable(std::uint16_t Error) { Fire(OnSessionAvailable, this, Error); }
void TCustomWSocket::FireSessionConnected(std::uint16_t Error) { Fire(OnSessionConnected, this, Error); }
void TCustomWSocket::FireSessionClosed(std::uint16_t Error) { Fire(OnSessionClosed, this, Error); }
void TCustomWSocket::FireDataSent(std::uint16_t Error) { Fire(OnDataSent, this, Error); }
void TCustomWSocket::FireChangeState(TSocketState OldState, TSocketState NewState) {
  Fire(OnChangeState, this, OldState, NewState);
}
void TCustomWSocket::FireDnsLookupDone(std::uint16_t Error) { Fire(OnDnsLookupDone, this, Error); }
void TCustomWSocket::FireError() { Fire(OnError, this); }

// ---------------------------------------------------------------------------
// Notifications

void TCustomWSocket::HandleNotification(TMessage& Msg) {
  const TLifeCheck Life = LifeCheck();
  try {
    switch (Msg.Msg) {
      case WM_SOCKET_EVENT: HandleSocketEvent(Msg); break;
      case WM_NAME_LOOKUP_DONE: HandleNameLookupDone(Msg); break;
      case WM_ADDR_LOOKUP_DONE: HandleAddrLookupDone(Msg); break;
      case WM_CLOSE_LATER: Close(); break;
      case WM_FREE_LATER: delete this; return;
      case WM_RAISE_TEST: throw ESocketException("Test exception in WSocket");
      default: DefaultHandler(Msg);
    }
  } catch (Exception& E) {
    if (Life.Lives()) HandleEventException(E);
  }
}

void TCustomWSocket::HandleSocketEvent(TMessage& Msg) {
  const Socket S = static_cast<Socket>(Msg.wParam);
  if (S == InvalidSocket || S != FHSocket || FEventsSuspended) return;
  const std::uint16_t Event = SelectEvent(Msg.lParam);
  const std::uint16_t Error = SelectError(Msg.lParam);
  // Every step may close the connection, start the next one or free the
  // socket: what follows a step is for the same connection only.
  const TLifeCheck Life = LifeCheck();
  const std::uint32_t Closed = FClosedHandles;
  const auto Same = [&] { return Life.Lives() && FClosedHandles == Closed; };
  if ((Event & FdConnect) && FState != wsConnected) {
    SetState(wsConnected);
    if (!Same()) return;
    FireSessionConnected(Error);
    if (!Same()) return;
    if (Error != 0 && FState != wsClosed) {
      Close();
      return;
    }
  }
  if (Event & FdRead) {
    if (FState != wsConnected) {
      SetState(wsConnected);
      if (!Same()) return;
      FireSessionConnected(Error);
      if (!Same()) return;
    }
    ReceiveLoop(Error, FComponentOptions);
    if (!Same()) return;
  }
  if (Event & FdWrite) {
    TryToSend();
    if (!Same()) return;
    if (FSendDone) {
      FireDataSent(Error);
      if (!Same()) return;
    }
  }
  if (Event & FdAccept) {
    FireSessionAvailable(Error);
    if (!Same()) return;
  }
  if ((Event & FdClose) && FState != wsConnecting) {
    // Whatever is still held is delivered before the close is.
    ReceiveLoop(0, TWSocketOptions(FComponentOptions).Exclude(wsoNoReceiveLoop));
    if (!Same()) return;
    if (!FCloseReported) {
      FCloseReported = true;
      FireSessionClosed(Error);
      if (!Same()) return;
    }
    if (FState != wsClosed) Close();
  }
}

void TCustomWSocket::ReceiveLoop(std::uint16_t Error, TWSocketOptions Options) {
  const TLifeCheck Life = LifeCheck();
  const std::uint32_t Closed = FClosedHandles;
  try {
    for (;;) {
      FLastError = 0;
      if (!FireDataAvailable(Error)) {
        char Discard[1024];
        if (RawRecv(Discard, sizeof Discard, 0) < 0 && wsock::WSAGetLastError() == WsaEWouldBlock) {
          FLastError = 0;
          break;
        }
      }
      // A handler that closed the connection (or freed the socket) ends it.
      if (!Life.Lives() || FClosedHandles != Closed) return;
      if (Options.Contains(wsoNoReceiveLoop) || FLastError != 0) break;
      std::uint32_t Pending = 0;
      if (wsock::ioctlsocket(FHSocket, FionRead, &Pending) == SocketError) {
        FLastError = wsock::WSAGetLastError();
        break;
      }
      // Bytes a layer above holds (a proxy's leftovers) are delivered like
      // the system's: nothing else would ever ask for them again.
      if (Pending == 0 && HeldCount() <= 0) break;
    }
  } catch (...) {
    // A failing data handler ends this delivery and nothing else, whatever
    // it raised: the close that may follow must still be reported.
  }
}

// ---------------------------------------------------------------------------
// Connecting

// What is not resolved yet, in this order: the protocol (and with it the
// socket type), the remote port, for a connect the local port, the address.
void TCustomWSocket::ResolveConnectionTexts(bool ForListen) {
  if (!FProtoResolved) {
    FProtoNumber = WSocketResolveProto(FProtoStr);
    // A listening socket is a stream socket unless it is a datagram one.
    if (FProtoNumber == IpProtoUdp) FSocketType = SockDgram;
    else if (FProtoNumber == IpProtoTcp || ForListen) FSocketType = SockStream;
    else FSocketType = SockRaw;
    FProtoResolved = true;
  }
  if (!FPortResolved) {
    FPortNum = WSocketResolvePort(FPortStr, FProtoStr);
    FSin.sin_port = wsock::htons(static_cast<std::uint16_t>(FPortNum));
    FPortResolved = true;
  }
  if (!ForListen && !FLocalPortResolved) {
    FLocalPortNum = WSocketResolvePort(FLocalPortStr, FProtoStr);
    FLocalPortResolved = true;
  }
  if (!FAddrResolved) {
    FSin.sin_addr.S_addr = WSocketResolveHost(FAddrStr);
    FAddrResolved = true;
  }
}

bool TCustomWSocket::SetOption(int Level, int Name, int Value, const char* What) {
  if (wsock::setsockopt(FHSocket, Level, Name, Value) == 0) return true;
  ReportSocketError(What);
  return false;
}

void TCustomWSocket::Connect() {
  if (FHSocket != InvalidSocket && FState != wsClosed) {
    ReportError("Connect: Socket already in use");
    return;
  }
  if (!FPortAssigned) {
    ReportError("Connect: No Port Specified");
    return;
  }
  if (!FAddrAssigned) {
    ReportError("Connect: No IP Address Specified");
    return;
  }
  if (!FProtoAssigned) {
    ReportError("Connect: No Protocol Specified");
    return;
  }
  try {
    ResolveConnectionTexts(false);
  } catch (Exception& E) {
    ReportError("connect: " + E.Message());
    return;
  }
  DiscardSendQueue();
  FHSocket = wsock::socket(AfInet, FSocketType, FProtoNumber);
  // Without a system socket (or, below, without its notifications) there is
  // nothing to go on with, also when OnError took the report.
  if (FHSocket == InvalidSocket) {
    ReportSocketError("Connect (socket)");
    return;
  }
  FCloseReported = false;
  const TLifeCheck Life = LifeCheck();
  SetState(wsOpened);
  if (!Life.Lives()) return;
  if (FState != wsOpened) {
    wsock::WSASetLastError(WsaEInval);
    ReportSocketError("Connect (Invalid operation in OnChangeState)", WsaEInval);
    return;
  }
  if (FSocketType == SockDgram) {
    if (!SetUpDatagram()) return;
  } else {
    if (!SetOption(SolSocket, SoReuseAddr, -1, "setsockopt(SO_REUSEADDR)")) return;
    if (FComponentOptions.Contains(wsoTcpNoDelay) &&
        !SetOption(IpProtoTcp, TcpNoDelay, 1, "setsockopt(IPPROTO_TCP, TCP_NODELAY)"))
      return;
    if (!ApplyLinger()) return;
    if (!SetOption(SolSocket, SoKeepAlive, 1, "setsockopt(SO_KEEPALIVE)")) return;
    if (FLocalPortNum != 0 || FLocalAddr != "0.0.0.0") BindLocal();
  }
  FEventMask = ConnectEvents;
  if (wsock::WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, FEventMask) != 0) {
    ReportSocketError("WSAAsyncSelect");
    return;
  }
  if (FSocketType == SockDgram) {
    SetState(wsConnected);
    if (Life.Lives()) FireSessionConnected(0);
    return;
  }
  if (wsock::connect(FHSocket, reinterpret_cast<const SockAddr*>(&FSin), sizeof FSin) == 0) {
    SetState(wsConnecting);
    return;
  }
  const int Error = wsock::WSAGetLastError();
  if (Error == WsaEWouldBlock) {
    SetState(wsConnecting);
    return;
  }
  FLastError = Error;
  ReportSocketError("Connect", Error);
}

bool TCustomWSocket::SetUpDatagram() {
  BindLocal();
  if (FMultiCast) {
    if (FMultiCastIpTTL != 1 && !SetOption(IpProtoIp, IpMulticastTtl, FMultiCastIpTTL, "setsockopt(IP_MULTICAST_TTL)"))
      return false;
    if (FLocalAddr != "0.0.0.0") {
      InAddr Interface{WSocketResolveHost(FLocalAddr)};
      if (wsock::setsockopt(FHSocket, IpProtoIp, IpMulticastIf, reinterpret_cast<const char*>(&Interface),
                            sizeof Interface) != 0) {
        ReportSocketError("setsockopt(IP_MULTICAST_IF)");
        return false;
      }
    }
  }
  if (FSin.sin_addr.S_addr == InAddrNone && !SetOption(SolSocket, SoBroadcast, 1, "setsockopt(SO_BROADCAST)"))
    return false;
  return true;
}

bool TCustomWSocket::ApplyLinger() {
  if (FLingerOnOff == wsLingerNoSet) return true;
  if (FHSocket == InvalidSocket) {
    ReportError("Cannot set linger option at this time");
    return false;
  }
  const Linger L{static_cast<std::uint16_t>(FLingerOnOff == wsLingerOn ? 1 : 0),
                 static_cast<std::uint16_t>(FLingerTimeout)};
  if (wsock::setsockopt(FHSocket, SolSocket, SoLinger, reinterpret_cast<const char*>(&L), sizeof L) != 0) {
    ReportSocketError("setsockopt(SO_LINGER)");
    return false;
  }
  return true;
}

void TCustomWSocket::BindLocal() {
  SockAddrIn Local{};
  Local.sin_family = AfInet;
  Local.sin_port = wsock::htons(static_cast<std::uint16_t>(FLocalPortNum));
  Local.sin_addr.S_addr = WSocketResolveHost(FLocalAddr);
  if (wsock::bind(FHSocket, reinterpret_cast<const SockAddr*>(&Local), sizeof Local) != 0) {
    ReportErrorFmt("winsock.bind failed, error #%d", wsock::WSAGetLastError());
    return;
  }
  int Length = sizeof Local;
  if (wsock::getsockname(FHSocket, reinterpret_cast<SockAddr*>(&Local), &Length) != 0) {
    ReportErrorFmt("winsock.getsockname failed, error #%d", wsock::WSAGetLastError());
    return;
  }
  FLocalPortNum = wsock::ntohs(Local.sin_port);
  FLocalPortStr = IntToStr(FLocalPortNum);
}

// ---------------------------------------------------------------------------
// Listening and adopting accepted connections

void TCustomWSocket::Listen() {
  if (!FPortAssigned || !FProtoAssigned || !FAddrAssigned) {
    wsock::WSASetLastError(WsaEInval);
    ReportSocketError(!FPortAssigned    ? "listen: port not assigned"
                      : !FProtoAssigned ? "listen: protocol not assigned"
                                        : "listen: address not assigned");
    return;
  }
  try {
    ResolveConnectionTexts(true);
  } catch (Exception& E) {
    ReportError("listen: " + E.Message());
    return;
  }
  DiscardSendQueue();
  FHSocket = wsock::socket(AfInet, FSocketType, FProtoNumber);
  if (FHSocket == InvalidSocket) {
    ReportSocketError("socket");
    return;
  }
  FCloseReported = false;
  if (FSocketType == SockDgram && FReuseAddr && !SetOption(SolSocket, SoReuseAddr, -1, "setsockopt(SO_REUSEADDR)"))
    return;
  if (wsock::bind(FHSocket, reinterpret_cast<const SockAddr*>(&FSin), sizeof FSin) != 0) {
    ReportSocketError("Bind");
    Close();
    return;
  }
  SetState(wsBound);
  if (FSocketType == SockDgram && FMultiCast) {
    struct {
      InAddr Group;
      InAddr Interface;
    } Request{{wsock::inet_addr(FMultiCastAddrStr.c_str())}, {WSocketResolveHost(FAddrStr)}};
    if (wsock::setsockopt(FHSocket, IpProtoIp, IpAddMembership, reinterpret_cast<const char*>(&Request),
                          sizeof Request) != 0) {
      ReportSocketError("setsockopt(IP MULTICAST)");
      return;
    }
  }
  if (FSocketType == SockStream) {
    if (wsock::listen(FHSocket, 5) == 0) {
      SetState(wsListening);
    } else {
      ReportSocketError("Listen");
      return;
    }
  } else if (FSocketType == SockDgram) {
    SetState(wsListening);
    SetState(wsConnected);
    FireSessionConnected(0);
  } else {
    ReportSocketError("Listen: unexpected protocol.");
    return;
  }
  FEventMask = ListenEvents;
  if (wsock::WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, FEventMask) != 0)
    ReportSocketError("WSAASyncSelect");
}

TCustomWSocket::Socket TCustomWSocket::Accept() {
  if (FState != wsListening) {
    wsock::WSASetLastError(WsaEInval);
    ReportSocketError("not a listening socket");
    return InvalidSocket;
  }
  int Length = sizeof FSin;
  FASocket = wsock::accept(FHSocket, reinterpret_cast<SockAddr*>(&FSin), &Length);
  if (FASocket == InvalidSocket) ReportSocketError("Accept");
  return FASocket;
}

void TCustomWSocket::Dup(Socket NewHSocket) {
  if (NewHSocket == 0 || NewHSocket == InvalidSocket) {
    wsock::WSASetLastError(WsaEInval);
    ReportSocketError("Dup");
    return;
  }
  if (FState != wsClosed) {
    const int Result = CloseHandle();
    if (Result != 0) {
      ReportSocketError("Dup (closesocket)", Result);
      return;
    }
    const TLifeCheck Life = LifeCheck();
    SetState(wsClosed);
    if (!Life.Lives()) return;
  }
  FHSocket = NewHSocket;
  FCloseReported = false;
  ApplyLinger();
  FEventMask = DupEvents;
  if (wsock::WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, FEventMask) != 0) {
    ReportSocketError("WSAAsyncSelect");
    return;
  }
  SetState(wsConnected);
}

int TCustomWSocket::GetPeerName(SockAddrIn& Name, int& NameLength) {
  if (FState != wsConnected) return -1;
  return wsock::getpeername(FHSocket, reinterpret_cast<SockAddr*>(&Name), &NameLength);
}

int TCustomWSocket::GetLocalName(SockAddrIn& Name, int& NameLength) {
  return wsock::getsockname(FHSocket, reinterpret_cast<SockAddr*>(&Name), &NameLength);
}

std::string TCustomWSocket::LocalPortNow() {
  if (FState != wsBound && FState != wsConnected && FState != wsListening) return "error";
  SockAddrIn Name{};
  int Length = sizeof Name;
  if (GetLocalName(Name, Length) != 0) return "error";
  return IntToStr(wsock::ntohs(Name.sin_port));
}

std::string TCustomWSocket::LocalAddrNow() {
  if (FState != wsBound && FState != wsConnected && FState != wsListening) return "error";
  SockAddrIn Name{};
  int Length = sizeof Name;
  if (GetLocalName(Name, Length) != 0) return "error";
  return DottedAddress(Name.sin_addr.S_addr);
}

int TCustomWSocket::SuspendEvents() {
  FEventsSuspended = true;
  return wsock::WSAAsyncSelect(FHSocket, FWindowHandle, 0, 0);
}

int TCustomWSocket::ResumeEvents() {
  FEventsSuspended = false;
  return wsock::WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, FEventMask);
}

// ---------------------------------------------------------------------------
// Sending

void TCustomWSocket::QueueSendData(const void* Data, int Length) {
  QueueBlocks(FSendChain, FSendBlockSize, Data, Length);
}

void TCustomWSocket::DiscardSendQueue() { FSendChain.clear(); }

int TCustomWSocket::SendBlock(const void* Data, int Length) {
  const char* Bytes = static_cast<const char*>(Data);
  const int Count = FSocketType == SockDgram
                        ? wsock::sendto(FHSocket, Bytes, Length, FSendFlagBits,
                                        reinterpret_cast<const SockAddr*>(&FSin), sizeof FSin)
                        : wsock::send(FHSocket, Bytes, Length, FSendFlagBits);
  if (Count > 0) {
    if (TBuffer* From = std::exchange(FSendingFrom, nullptr)) From->Remove(Count);
    Fire(OnSendData, this, Count);
  }
  return Count;
}

void TCustomWSocket::TryToSend() {
  // A handler of OnSendData that sends more only queues it: the running
  // drain takes it, without nesting a drain per send call.
  if (FDraining == 0) Drain();
}

void TCustomWSocket::Drain() {
  if (FHSocket == InvalidSocket || FSendChain.empty()) return;
  const TLifeCheck Life = LifeCheck();
  ++FDraining;
  struct Done {
    const TLifeCheck& Life;
    int& Draining;
    ~Done() {
      if (Life.Lives()) --Draining;
    }
  } Leave{Life, FDraining};
  for (;;) {
    if (FHSocket == InvalidSocket || FSendChain.empty()) return;
    TBuffer* Front = FSendChain.front().get();
    int Length;
    const char* Data = Front->Peek(Length);
    if (Length <= 0) {
      if (FSendChain.size() == 1) {
        FSendDone = true;
        return;
      }
      FSendChain.pop_front();
      continue;
    }
    FSendingFrom = Front;
    const int Count = SendBlock(Data, Length);
    const int Error = Count < 0 ? wsock::WSAGetLastError() : 0;
    // OnSendData may have closed, flushed or freed the socket: nothing read
    // before the call is trusted after it.
    if (!Life.Lives()) return;
    if (FSendingFrom) {
      if (Count > 0) FSendingFrom->Remove(Count);
      FSendingFrom = nullptr;
    }
    if (Count == 0) return;
    if (Count < 0) {
      if (Error == WsaEWouldBlock) return;
      if (IsClosingSendError(Error)) {
        FCloseReported = true;
        Close();
        if (Life.Lives()) FireSessionClosed(static_cast<std::uint16_t>(Error));
        return;
      }
      ReportSocketError("TryToSend failed", Error);
      return;
    }
    // A send that took only part goes on with the rest: the system promises
    // a write notification only after a send has failed with would-block.
  }
}

int TCustomWSocket::Send(const void* Data, int Length) {
  if (FState != wsConnected) {
    wsock::WSASetLastError(WsaENotConn);
    ReportSocketError("Send", WsaENotConn);
    return -1;
  }
  FSendDone = false;
  if (Length <= 0) Length = 0;
  else QueueSendData(Data, Length);
  const TLifeCheck Life = LifeCheck();
  const std::uint32_t Closed = FClosedHandles;
  TryToSend();
  // Whatever went out at once is reported from the message loop, never from
  // inside Send; a connection closed meanwhile has nothing more to report.
  if (Life.Lives() && FSendDone && FClosedHandles == Closed)
    plat::PostMessage(FWindowHandle, WM_SOCKET_EVENT, FHSocket, MakeSelectReply(FdWrite, 0));
  return Length;
}

int TCustomWSocket::SendText(const std::string& Text) {
  if (Text.empty()) return 0;
  return Send(Text.data(), static_cast<int>(Text.size()));
}

int TCustomWSocket::SendTo(const SockAddr* Dest, int DestLength, const void* Data, int Length) {
  const int Count = wsock::sendto(FHSocket, static_cast<const char*>(Data), Length, FSendFlagBits, Dest, DestLength);
  if (Count > 0) Fire(OnSendData, this, Count);
  return Count;
}

void TCustomWSocket::Flush() {
  // An empty chain has nothing to flush, though SendDone may be false after
  // a Send of nothing. Called from OnSendData, Flush drains the chain itself:
  // the drain that fired the event waits for the handler to return.
  const TLifeCheck Life = LifeCheck();
  while (FHSocket != InvalidSocket && !FSendDone && !FSendChain.empty()) {
    Drain();
    if (!Life.Lives() || FHSocket == InvalidSocket || FSendDone) return;
    PumpSocketMessages();
    if (!Life.Lives()) return;
  }
}

// ---------------------------------------------------------------------------
// Receiving

int TCustomWSocket::RawRecv(void* Buffer, int Length, int Flags) {
  return wsock::recv(FHSocket, static_cast<char*>(Buffer), Length, Flags);
}

int TCustomWSocket::RawRecvFrom(Socket H, void* Buffer, int Length, int Flags, SockAddr* From, int* FromLength) {
  return wsock::recvfrom(H, static_cast<char*>(Buffer), Length, Flags, From, FromLength);
}

int TCustomWSocket::Receive(void* Buffer, int Length) {
  const int Count = RawRecv(Buffer, Length, 0);
  if (Count < 0) FLastError = wsock::WSAGetLastError();
  else FReadCount += Count;
  return Count;
}

std::string TCustomWSocket::ReceiveText() {
  int N = RcvdCount();
  if (N < 0) return std::string();
  if (N == 0) N = 255;
  std::string Text(static_cast<std::size_t>(N), '\0');
  const int Count = Receive(Text.data(), N);
  if (Count < 1) return std::string();
  Text.resize(static_cast<std::size_t>(Count));
  return Text;
}

int TCustomWSocket::ReceiveFrom(void* Buffer, int Length, SockAddr* From, int* FromLength) {
  const int Count = RawRecvFrom(FHSocket, Buffer, Length, 0, From, FromLength);
  if (Count < 0) FLastError = wsock::WSAGetLastError();
  else FReadCount += Count;
  return Count;
}

// ---------------------------------------------------------------------------
// Closing

void TCustomWSocket::DropQueuedEvents() {
  // Without a window there is nothing queued, and no filter to name it by.
  if (!FWindowHandle) return;
  plat::Message M;
  while (plat::PeekMessage(M, FWindowHandle, WM_SOCKET_EVENT, WM_SOCKET_EVENT, true)) {
  }
}

int TCustomWSocket::CloseHandle() {
  const int Error = wsock::closesocket(FHSocket) == 0 ? 0 : wsock::WSAGetLastError();
  if (Error != WsaEWouldBlock) {
    FHSocket = InvalidSocket;
    ++FClosedHandles;
    DropQueuedEvents();
  }
  return Error;
}

void TCustomWSocket::CloseHandleAtOnce() {
  if (CloseHandle() != WsaEWouldBlock) return;
  // A lingering close would block. Its notifications stop now, and without
  // the linger the system finishes the close by itself.
  wsock::WSAAsyncSelect(FHSocket, FWindowHandle, 0, 0);
  const Linger Off{0, 0};
  wsock::setsockopt(FHSocket, SolSocket, SoLinger, reinterpret_cast<const char*>(&Off), sizeof Off);
  if (CloseHandle() == 0) return;
  FHSocket = InvalidSocket;
  ++FClosedHandles;
  DropQueuedEvents();
}

void TCustomWSocket::Close() { DoClose(true, 0); }

void TCustomWSocket::DoClose(bool Shut, std::uint16_t Error) {
  const TLifeCheck Life = LifeCheck();
  if (FHSocket == InvalidSocket) {
    if (FState != wsClosed) {
      SetState(wsClosed);
      if (Life.Lives()) ResetDefaults();
    }
    return;
  }
  if (FState == wsClosed) return;
  if (Shut) Shutdown(SdSend);
  for (;;) {
    const int Code = CloseHandle();
    if (Code == 0) break;
    if (Code == WsaEWouldBlock) {
      PumpSocketMessages();
      // The pump may have freed the socket, or closed it by another way.
      if (!Life.Lives() || FHSocket == InvalidSocket || FState == wsClosed) return;
      continue;
    }
    FLastError = Code;
    if (Code == WsaNotInitialised) break;
    ReportSocketError("Disconnect (closesocket)", Code);
    return;
  }
  FHSocket = InvalidSocket;
  SetState(wsClosed);
  if (!Life.Lives()) return;
  if (!InState(csDestroying) && !FCloseReported) {
    FCloseReported = true;
    FireSessionClosed(Error);
    if (!Life.Lives()) return;
  }
  // A handler that started the next connection keeps what it set for it.
  if (FHSocket != InvalidSocket || FState != wsClosed) return;
  try {
    ResetDefaults();
  } catch (...) {
  }
}

void TCustomWSocket::Abort() {
  const TLifeCheck Life = LifeCheck();
  StopDnsLookup();
  if (!Life.Lives()) return;
  DiscardSendQueue();
  if (FState == wsConnected && FProtoNumber == IpProtoTcp) {
    FLingerOnOff = wsLingerOff;
    ApplyLinger();
  }
  DoClose(false, 0);
}

void TCustomWSocket::CloseLater() { plat::PostMessage(FWindowHandle, WM_CLOSE_LATER, 0, 0); }
void TCustomWSocket::FreeLater() { plat::PostMessage(FWindowHandle, WM_FREE_LATER, 0, 0); }

void TCustomWSocket::Shutdown(int How) {
  if (FHSocket != InvalidSocket) wsock::shutdown(FHSocket, How);
}

void TCustomWSocket::WaitForClose() {
  // The notifications deliver what arrives, through FireDataAvailable, and
  // the close ends the wait.
  const TLifeCheck Life = LifeCheck();
  while (FHSocket != InvalidSocket && FState != wsClosed) {
    PumpSocketMessages();
    if (!Life.Lives() || FHSocket == InvalidSocket || FState == wsClosed) break;
    plat::WaitMessage();
  }
}

// ---------------------------------------------------------------------------
// Name lookups

void TCustomWSocket::DnsLookup(const std::string& HostName) {
  if (HostName.empty()) {
    ReportError("DNS lookup: invalid host name.");
    FireDnsLookupDone(WsaEInval);
    return;
  }
  if (FLookup.Pending()) FLookup.Cancel();
  FDnsResult.clear();
  FDnsResultList.Clear();
  if (IsDottedQuad(HostName)) {
    const std::uint32_t Address = wsock::inet_addr(Trim(HostName).c_str());
    if (Address != InAddrNone) {
      FDnsResult = DottedAddress(Address);
      FDnsResultList.Add(FDnsResult);
      FireDnsLookupDone(0);
      return;
    }
  }
  if (!FWindowHandle) {
    ReportError("DnsLookup: Window not assigned");
    return;
  }
  const int Error = FLookup.StartByName(FWindowHandle, WM_NAME_LOOKUP_DONE, HostName);
  if (Error != 0) {
    ReportErrorFmt("%s: can't start DNS lookup, error #%d", HostName.c_str(), Error);
    return;
  }
  TMessage Early;
  if (FLookup.TakeEarlyAnswer(Early)) HandleNameLookupDone(Early);
}

void TCustomWSocket::HandleNameLookupDone(TMessage& Msg) {
  if (!FLookup.IsAnswer(Msg)) return;
  const std::uint16_t Error = SelectError(Msg.lParam);
  if (Error == 0) {
    for (const std::string& Address : FLookup.Addresses()) FDnsResultList.Add(Address);
    if (FDnsResultList.Count() > 0) FDnsResult = FDnsResultList[0];
  }
  FireDnsLookupDone(Error);
}

void TCustomWSocket::ReverseDnsLookup(const std::string& HostAddr) {
  if (HostAddr.empty() || HostAddr.size() > 256) {
    ReportError("ReverseDnsLookup: Invalid host name.");
    FireDnsLookupDone(WsaEInval);
    return;
  }
  if (FLookup.Pending()) FLookup.Cancel();
  FDnsResult.clear();
  FDnsResultList.Clear();
  const std::uint32_t Address = wsock::inet_addr(HostAddr.c_str());
  if (!FWindowHandle) {
    ReportError("ReverseDnsLookup: Window not assigned");
    return;
  }
  const int Error = FLookup.StartByAddress(FWindowHandle, WM_ADDR_LOOKUP_DONE, Address);
  if (Error != 0) ReportErrorFmt("%s: can't start DNS lookup, error #%d", HostAddr.c_str(), Error);
}

void TCustomWSocket::HandleAddrLookupDone(TMessage& Msg) {
  if (!FLookup.Pending() || !FLookup.IsAnswer(Msg)) return;
  const std::uint16_t Error = SelectError(Msg.lParam);
  if (Error == 0) {
    FDnsResult = FLookup.OfficialName();
    FDnsResultList.Add(FDnsResult);
  }
  FireDnsLookupDone(Error);
}

void TCustomWSocket::StopDnsLookup() {
  if (!FLookup.Pending()) return;
  // An answer already on its way (10037) is as good as cancelled: with no
  // request stored, it is put aside when it arrives.
  const int Error = FLookup.Cancel();
  if (Error != 0 && Error != WsaEAlready) {
    ReportSocketError("WSACancelAsyncRequest", Error);
    return;
  }
  if (!InState(csDestroying)) FireDnsLookupDone(WsaEIntr);
}

// ---------------------------------------------------------------------------
// The message pump

void TCustomWSocket::PumpSocketMessages() {
  // Without an application object there is no framework loop to ask: the
  // thread's own queue is drained the same way.
  if (!FMultiThreaded && Application) {
    Application->ProcessMessages();
    return;
  }
  plat::Message M;
  while (plat::PeekMessage(M, true)) {
    if (M.Msg == plat::MsgQuit) {
      FQuitSeen = true;
      continue;
    }
    plat::TranslateMessage(M);
    plat::DispatchMessage(M);
  }
}

// ---------------------------------------------------------------------------
// Time values, for the layers that wait

bool TCustomWSocket::TimeValIsSet(const TTimeVal& Tv) { return Tv.tv_sec != 0 || Tv.tv_usec != 0; }

void TCustomWSocket::TimeValClear(TTimeVal& Tv) {
  Tv.tv_sec = 0;
  Tv.tv_usec = 0;
}

bool TCustomWSocket::TimeValCompare(const TTimeVal& A, const TTimeVal& B, bool WantEqual) {
  const bool Equal = A.tv_sec == B.tv_sec && A.tv_usec == B.tv_usec;
  return WantEqual ? Equal : !Equal;
}

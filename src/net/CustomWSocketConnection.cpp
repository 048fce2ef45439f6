// The connection: resolving, opening and connecting it, and its close.
#include "net/CustomWSocket.h"

using namespace plat::sock;

namespace {

constexpr std::int32_t ConnectEvents = FdRead | FdWrite | FdAccept | FdConnect | FdClose;  // 0x3B

}  // namespace

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

bool TCustomWSocket::OpenHandle(bool ForListen) {
  try {
    ResolveConnectionTexts(ForListen);
  } catch (Exception& E) {
    ReportError((ForListen ? "listen: " : "connect: ") + E.Message());
    return false;
  }
  DiscardSendQueue();
  FHSocket = wsock::socket(AfInet, FSocketType, FProtoNumber);
  if (FHSocket == InvalidSocket) {
    ReportSocketError(ForListen ? "socket" : "Connect (socket)");
    return false;
  }
  FCloseReported = false;
  return true;
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
  // Without a system socket (or, below, without its notifications) there is
  // nothing to go on with, also when OnError took the report.
  if (!OpenHandle(false)) return;
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
  int Failed = 0;
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
    // Any other failure has let go of the handle all the same: the close is
    // finished and reported, and then the failure. A socket that did neither
    // would keep whoever waits for its close waiting for ever.
    if (Code != WsaNotInitialised) Failed = Code;
    break;
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
  if (Failed) ReportSocketError("Disconnect (closesocket)", Failed);
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

// Listening, accepting and adopting connections, and datagrams.
#include "net/CustomWSocket.h"

using namespace plat::sock;

namespace {

constexpr std::int32_t ListenEvents = FdRead | FdWrite | FdAccept | FdClose;                // 0x2B
constexpr std::int32_t DupEvents = FdRead | FdWrite | FdConnect | FdClose;                  // 0x33

}  // namespace

// ---------------------------------------------------------------------------
// Datagrams

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

int TCustomWSocket::SendTo(const SockAddr* Dest, int DestLength, const void* Data, int Length) {
  const int Count = wsock::sendto(FHSocket, static_cast<const char*>(Data), Length, FSendFlagBits, Dest, DestLength);
  if (Count > 0) Fire(OnSendData, this, Count);
  return Count;
}

int TCustomWSocket::RawRecvFrom(Socket H, void* Buffer, int Length, int Flags, SockAddr* From, int* FromLength) {
  return wsock::recvfrom(H, static_cast<char*>(Buffer), Length, Flags, From, FromLength);
}

int TCustomWSocket::ReceiveFrom(void* Buffer, int Length, SockAddr* From, int* FromLength) {
  const int Count = RawRecvFrom(FHSocket, Buffer, Length, 0, From, FromLength);
  if (Count < 0) FLastError = wsock::WSAGetLastError();
  else FReadCount += Count;
  return Count;
}

// ---------------------------------------------------------------------------
// Listening and adopting accepted connections

void TCustomWSocket::FailListen(const char* What, int Code) {
  // A listen that failed keeps no handle: Close has nothing to close in
  // wsClosed, and the next Listen would overwrite it.
  CloseHandleAtOnce();
  if (FState != wsClosed) {
    const TLifeCheck Life = LifeCheck();
    SetState(wsClosed);
    if (!Life.Lives()) return;
  }
  wsock::WSASetLastError(Code);
  ReportSocketError(What, Code);
}

void TCustomWSocket::Listen() {
  if (FHSocket != InvalidSocket || FState != wsClosed) {
    ReportError("Listen: socket already in use");
    return;
  }
  if (!FPortAssigned || !FProtoAssigned || !FAddrAssigned) {
    wsock::WSASetLastError(WsaEInval);
    ReportSocketError(!FPortAssigned    ? "listen: port not assigned"
                      : !FProtoAssigned ? "listen: protocol not assigned"
                                        : "listen: address not assigned");
    return;
  }
  if (!OpenHandle(true)) return;
  if (FSocketType == SockDgram && FReuseAddr && wsock::setsockopt(FHSocket, SolSocket, SoReuseAddr, -1) != 0) {
    FailListen("setsockopt(SO_REUSEADDR)", wsock::WSAGetLastError());
    return;
  }
  if (wsock::bind(FHSocket, reinterpret_cast<const SockAddr*>(&FSin), sizeof FSin) != 0) {
    FailListen("Bind", wsock::WSAGetLastError());
    return;
  }
  // Each event may close the socket, take it elsewhere or free it.
  const TConnectionCheck Connection = ConnectionCheck();
  SetState(wsBound);
  if (!Connection.Holds()) return;
  if (FSocketType == SockDgram && FMultiCast) {
    struct {
      InAddr Group;
      InAddr Interface;
    } Request{{wsock::inet_addr(FMultiCastAddrStr.c_str())}, {WSocketResolveHost(FAddrStr)}};
    if (wsock::setsockopt(FHSocket, IpProtoIp, IpAddMembership, reinterpret_cast<const char*>(&Request),
                          sizeof Request) != 0) {
      FailListen("setsockopt(IP MULTICAST)", wsock::WSAGetLastError());
      return;
    }
  }
  if (FSocketType == SockStream) {
    if (wsock::listen(FHSocket, 5) != 0) {
      FailListen("Listen", wsock::WSAGetLastError());
      return;
    }
    SetState(wsListening);
    if (!Connection.Holds()) return;
  } else if (FSocketType == SockDgram) {
    SetState(wsListening);
    if (!Connection.Holds()) return;
    SetState(wsConnected);
    if (!Connection.Holds()) return;
    FireSessionConnected(0);
    if (!Connection.Holds()) return;
  } else {
    FailListen("Listen: unexpected protocol.", wsock::WSAGetLastError());
    return;
  }
  FEventMask = ListenEvents;
  if (wsock::WSAAsyncSelect(FHSocket, FWindowHandle, WM_SOCKET_EVENT, FEventMask) != 0)
    FailListen("WSAASyncSelect", wsock::WSAGetLastError());
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
  // Nothing of the connection before goes over into the adopted one.
  DiscardConnection();
  FHSocket = NewHSocket;
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

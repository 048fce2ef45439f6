#include "net/CustomWSocket.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "framework/MessagePump.h"

using namespace plat::sock;

const char* const SocketWindowClass = "XSocketWindowClass";

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

int TCustomWSocket::QueryPending(std::uint32_t& Pending) {
  Pending = 0;
  return wsock::ioctlsocket(FHSocket, FionRead, &Pending) == SocketError ? wsock::WSAGetLastError() : 0;
}

std::int32_t TCustomWSocket::RcvdCount() {
  if (InState(csDesigning)) return -1;
  std::uint32_t Pending = 0;
  if (const int Error = QueryPending(Pending)) {
    ReportSocketError("ioctlSocket", Error);
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
  // A reset or a lost connection ends a stream connection, and nothing else:
  // a listening socket whose client reset before the accept, or a datagram
  // socket asked for its peer, goes on.
  if ((Code == WsaEConnReset || Code == WsaENotConn) && FSocketType == SockStream &&
      (FState == wsConnecting || FState == wsConnected)) {
    // Closed means no handle, and so no more notifications of it.
    if (FHSocket != InvalidSocket) CloseHandleAtOnce();
    const TLifeCheck Life = LifeCheck();
    if (!FCloseReported) {
      FCloseReported = true;
      FireSessionClosed(static_cast<std::uint16_t>(Code));
      if (!Life.Lives()) return;
    }
    // A handler that started the next connection keeps it; otherwise the
    // close resets what every close resets.
    if (FHSocket == InvalidSocket) {
      SetState(wsClosed);
      if (!Life.Lives()) return;
      if (FHSocket == InvalidSocket && FState == wsClosed) ResetDefaults();
    }
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
  // thread's own queue is drained the same way. The pump may free the
  // socket.
  const TLifeCheck Life = LifeCheck();
  if (ProcessWaitingMessages(FMultiThreaded ? TPumpQueue::Thread : TPumpQueue::Application, TQuitRule::Report) &&
      Life.Lives())
    FQuitSeen = true;
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

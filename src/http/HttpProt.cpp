#include "http/HttpProt.h"

#include <cmath>
#include <cstring>

#include "framework/MessagePump.h"

namespace {

constexpr std::int32_t RcvdBufferSize = 8192;
constexpr std::size_t BodyAreaSize = 256 * 1024;
// The socket's number for a receive that found nothing waiting.
constexpr std::int32_t WouldBlock = 10035;

bool StartsWith(const std::string& S, const char* Prefix) {
  return S.compare(0, std::char_traits<char>::length(Prefix), Prefix) == 0;
}

bool IsDecimal(const std::string& S) {
  return !S.empty() && S.find_first_not_of("0123456789") == std::string::npos;
}

bool IsLetter(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z'); }

// The scheme a location value begins with ("ftp" of "ftp://h/x"), or empty
// when it begins with none: a letter, then letters, digits, "+", "-" or ".",
// then "://".
std::string SchemeOf(const std::string& Value) {
  if (Value.empty() || !IsLetter(Value[0])) return std::string();
  std::size_t I = 1;
  while (I < Value.size() && (IsLetter(Value[I]) || (Value[I] >= '0' && Value[I] <= '9') || Value[I] == '+' ||
                              Value[I] == '-' || Value[I] == '.'))
    ++I;
  return Value.compare(I, 3, "://") == 0 ? Value.substr(0, I) : std::string();
}

// Statuses whose answers carry no body, whatever length they state.
bool CarriesNoBody(std::int32_t Code) { return (Code >= 100 && Code < 200) || Code == 204 || Code == 304; }

std::string ErrorText(std::int32_t Error) {
  return SocketErrorText(Error) + " (Error #" + IntToStr(Error) + ")";
}

}  // namespace

// ---------------------------------------------------------------------------
// Request-header pieces

std::string Base64Encode(const std::string& Text) {
  static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string Out;
  Out.reserve((Text.size() + 2) / 3 * 4);
  std::size_t I = 0;
  for (; I + 2 < Text.size(); I += 3) {
    const unsigned V = static_cast<unsigned char>(Text[I]) << 16 | static_cast<unsigned char>(Text[I + 1]) << 8 |
                       static_cast<unsigned char>(Text[I + 2]);
    Out += Alphabet[V >> 18];
    Out += Alphabet[V >> 12 & 63];
    Out += Alphabet[V >> 6 & 63];
    Out += Alphabet[V & 63];
  }
  if (I < Text.size()) {
    const bool Two = I + 1 < Text.size();
    const unsigned V = static_cast<unsigned char>(Text[I]) << 16 | (Two ? static_cast<unsigned char>(Text[I + 1]) << 8 : 0);
    Out += Alphabet[V >> 18];
    Out += Alphabet[V >> 12 & 63];
    Out += Two ? Alphabet[V >> 6 & 63] : '=';
    Out += '=';
  }
  return Out;
}

std::string RFC1123Date(TDateTime Value) {
  static const char Days[] = "MonTueWedThuFriSatSun";
  static const char Months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  int Year, Month, Day, Hour, Minute, Second, Ms;
  DecodeDate(Value, Year, Month, Day);
  DecodeTime(Value, Hour, Minute, Second, Ms);
  // The date is decoded from the value rounded to the millisecond; the
  // weekday must come from the same day. Day 0 (1899-12-30) was a Saturday;
  // dates before it must not index outside the table.
  const long long Millis = std::llround(Value * 86400000.0);
  const long long Whole = Millis / 86400000 - (Millis % 86400000 < 0 ? 1 : 0);
  const int WeekDay = static_cast<int>(((Whole - 2) % 7 + 7) % 7);
  return std::string(Days + WeekDay * 3, 3) + ", " +
         Format("%2.2d %s %4.4d %2.2d:%2.2d:%2.2d", Day, std::string(Months + (Month - 1) * 3, 3).c_str(), Year,
                Hour, Minute, Second);
}

// ---------------------------------------------------------------------------
// Life

THttpCli::THttpCli(TComponent* AOwner) : THttpCli(AOwner, new TWSocket(nullptr)) {}

THttpCli::THttpCli(TComponent* AOwner, TWSocket* Socket) : TComponent(AOwner), FCtrlSocket(Socket) {
  CreateNotifyWindow();
  FRcvdBuffer[0] = '\0';
  WireSocket();
}

THttpCli::~THttpCli() {
  *FAlive = false;
  Destroying();
  FAuthChallenges.Clear();
  FCtrlSocket.reset();
  FHeaderLines.Clear();
  FHeaderBuffer.clear();
  DestroyNotifyWindow();
}

void THttpCli::CreateNotifyWindow() {
  FWindowHandle = AllocateHWnd([this](TMessage& Msg) { WndProc(Msg); });
}

void THttpCli::DestroyNotifyWindow() {
  if (FWindowHandle) DeallocateHWnd(FWindowHandle);
  FWindowHandle = 0;
}

TSessionClosed THttpCli::OrdinaryCloseHandler() {
  return [this](TObject* Sender, std::uint16_t Error) { SocketSessionClosed(Sender, Error); };
}

void THttpCli::WireSocket() {
  TWSocket& S = *FCtrlSocket;
  S.OnDnsLookupDone = [this](TObject* Sender, std::uint16_t Error) { SocketDnsLookupDone(Sender, Error); };
  S.OnSessionConnected = [this](TObject* Sender, std::uint16_t Error) { SocketSessionConnected(Sender, Error); };
  S.OnDataSent = [this](TObject* Sender, std::uint16_t Error) { SocketDataSent(Sender, Error); };
  S.OnDataAvailable = [this](TObject* Sender, std::uint16_t Error) { SocketDataAvailable(Sender, Error); };
  S.OnSessionClosed = OrdinaryCloseHandler();
  S.OnError = [this](TObject*) { SocketReportedError(); };
  S.OnSocksConnected = [this](TObject* Sender, std::uint16_t Error) { Fire(OnSocksConnected, Sender, Error); };
  S.OnSocksAuthState = [this](TObject* Sender, TSocksAuthState State) { Fire(OnSocksAuthState, Sender, State); };
  S.OnSocksError = [this](TObject* Sender, std::int32_t Error, const std::string& Msg) {
    Fire(OnSocksError, Sender, Error, Msg);
  };
  S.SetMultiThreaded(FMultiThreaded);
  ApplySocksSettings();
}

// ---------------------------------------------------------------------------
// Properties

void THttpCli::SetMultiThreaded(bool Value) {
  FMultiThreaded = Value;
  FCtrlSocket->SetMultiThreaded(Value);
}

void THttpCli::SetSocksServer(const std::string& Value) { SetSocksSetting(FSocksServer, Value); }
void THttpCli::SetSocksLevel(const std::string& Value) { SetSocksSetting(FSocksLevel, Value); }
void THttpCli::SetSocksPort(const std::string& Value) { SetSocksSetting(FSocksPort, Value); }
void THttpCli::SetSocksUsercode(const std::string& Value) { SetSocksSetting(FSocksUsercode, Value); }
void THttpCli::SetSocksPassword(const std::string& Value) { SetSocksSetting(FSocksPassword, Value); }
void THttpCli::SetSocksAuthentication(TSocksAuthentication Value) {
  FSocksAuthentication = Value;
  ApplySocksSettings();
}

void THttpCli::SetSocksSetting(std::string& Field, const std::string& Value) {
  Field = Value;
  ApplySocksSettings();
}

void THttpCli::ApplySocksSettings() {
  TWSocket& S = *FCtrlSocket;
  // Server, port and level can only be written while the socket is closed.
  if (S.State() != wsClosed) return;
  S.SetSocksServer(FSocksServer);
  S.SetSocksPort(FSocksPort);
  S.SetSocksLevel(FSocksLevel);
  S.SetSocksUsercode(FSocksUsercode);
  S.SetSocksPassword(FSocksPassword);
  S.SetSocksAuthentication(FSocksAuthentication);
}

// ---------------------------------------------------------------------------
// Notifications

void THttpCli::ChangeState(THttpClientState NewState) {
  if (FState == NewState) return;
  FState = NewState;
  if (NewState == hsIdle) PostRequestDone();
  FireStateChange();
}

// The request's type and error travel with the notification: by the time it
// is handled, the next request may be running.
// Changes the state; false when a handler of the change ended the request,
// started another, closed the connection or freed the client.
bool THttpCli::MoveTo(THttpClientState NewState) {
  TStep Begun = Step();
  Begun.State = NewState;
  ChangeState(NewState);
  return Begun.Same();
}

void THttpCli::PostRequestDone() {
  const auto Values = static_cast<plat::LParam>(FRequestType) << 16 | static_cast<std::uint16_t>(FRequestError);
  plat::PostMessage(FWindowHandle, WM_HTTP_REQUEST_DONE, FRequestSerial, Values);
}

void THttpCli::PostSetReady() {
  FEndPosted = true;
  plat::PostMessage(FWindowHandle, WM_HTTP_SET_READY, FRequestSerial, 0);
}

void THttpCli::WndProc(TMessage& Msg) {
  try {
    switch (Msg.Msg) {
      case WM_HTTP_REQUEST_DONE:
        Fire(OnRequestDone, this, static_cast<THttpRequest>(Msg.lParam >> 16 & 0xFF),
             static_cast<std::uint16_t>(Msg.lParam & 0xFFFF));
        break;
      case WM_HTTP_SET_READY:
        if (Msg.wParam == FRequestSerial) ChangeState(hsIdle);
        break;
      case WM_HTTP_RESTART:
        if (Msg.wParam == FRequestSerial && FState != hsIdle && FState != hsAborting) StartNameLookup();
        break;
      default: DefaultHandler(Msg);
    }
  } catch (Exception& E) {
    // Nothing may leave a window procedure: the system's frames lie between.
    if (Application) Application->HandleException(this, E);
  }
}

void THttpCli::FireStateChange() { Fire(OnStateChange, this); }
void THttpCli::FireCookie(const std::string& Data, bool& Accept) { Fire(OnCookie, this, Data, Accept); }
void THttpCli::FireSessionConnected() { Fire(OnSessionConnected, this); }
void THttpCli::FireBeforeHeaderSend(const std::string& Method, TStrings& Headers) {
  Fire(OnBeforeHeaderSend, this, Method, Headers);
}
void THttpCli::FireRequestHeaderBegin() { Fire(OnRequestHeaderBegin, this); }
void THttpCli::FireRequestHeaderEnd() { Fire(OnRequestHeaderEnd, this); }
void THttpCli::FireHeaderBegin() { Fire(OnHeaderBegin, this); }
void THttpCli::FireHeaderEnd() { Fire(OnHeaderEnd, this); }
void THttpCli::FireDocBegin() { Fire(OnDocBegin, this); }
void THttpCli::FireDocData(const void* Data, std::int32_t Len) { Fire(OnDocData, this, Data, Len); }
void THttpCli::FireDocEnd() { Fire(OnDocEnd, this); }
void THttpCli::FireSendBegin() { Fire(OnSendBegin, this); }
void THttpCli::FireSendData(const void* Data, std::int32_t Len) { Fire(OnSendData, this, Data, Len); }
void THttpCli::FireSendEnd() { Fire(OnSendEnd, this); }

// ---------------------------------------------------------------------------
// Failures the socket reports itself

// A call of the client into its socket. The socket reports its own failures
// through OnError and returns as if nothing happened; a report during the
// call is looked at when the call is over. The socket keeps its last error
// number across connections: a report that leaves it unchanged named none.
class THttpCli::TSocketCall {
 public:
  explicit TSocketCall(THttpCli& C)
      : FClient(C), FAlive(C.FAlive), FErrors(C.FSocketErrors), FLastError(C.FCtrlSocket->LastError()) {
    ++C.FSocketCalls;
  }
  ~TSocketCall() {
    if (*FAlive) --FClient.FSocketCalls;
  }
  TSocketCall(const TSocketCall&) = delete;
  TSocketCall& operator=(const TSocketCall&) = delete;
  bool Failed() const { return *FAlive && FClient.FSocketErrors != FErrors; }
  // The error number of the failure, 0 when the socket named none.
  std::int32_t Code() const {
    const std::int32_t Now = FClient.FCtrlSocket->LastError();
    return Now != FLastError ? Now : 0;
  }

 private:
  THttpCli& FClient;
  std::shared_ptr<bool> FAlive;
  unsigned FErrors;
  std::int32_t FLastError;
};

void THttpCli::SocketReportedError() {
  const auto Alive = FAlive;
  ++FSocketErrors;
  Fire(OnSocketError, this);
  if (!*Alive || FSocketCalls > 0) return;
  // Reported from a notification of the socket's own (a send of queued
  // bytes, a close): the connection is of no more use to this request.
  FailOnSocketError(FCtrlSocket->LastError(), "");
}

void THttpCli::FailOnSocketError(std::int32_t Code, const std::string& Prefix) {
  if (Code) FailRequest(Code, Prefix + ErrorText(Code));
  else FailRequest(httperrCantConnect, Prefix.empty() ? std::string("can't connect: invalid address or port")
                                                      : Prefix + "invalid address or port");
}

// ---------------------------------------------------------------------------
// Starting, waiting, aborting

void THttpCli::StartRequest(THttpRequest Request) {
  if (FState != hsIdle) throw EHttpException("HTTP component is busy", 1);
  if (Request == rqPost && !FPostStream) throw EHttpException("HTTP component has nothing to post", 2);
  const auto Alive = FAlive;
  ++FRequestSerial;
  // A response ended by a zero content length leaves its connection open;
  // its close belongs to that request, not to this one.
  if (FCtrlSocket->State() != wsClosed) {
    FCtrlSocket->OnSessionClosed = nullptr;
    FCtrlSocket->Close();
    if (!*Alive) return;
  }
  FCtrlSocket->OnSessionClosed = OrdinaryCloseHandler();
  FRequestType = Request;
  // Nothing of the last request may be mistaken for this one's.
  ResetResponseState();
  if (!MoveTo(hsPreparing)) return;
  WorkOutTarget();
  StartNameLookup();
}

void THttpCli::ResetResponseState() {
  ResetReception();
  FRequestError = 0;
  FDocumentName.clear();
  FReceivedBytes = 0;
  FSentBytes = 0;
  FMoreData = false;
  FLocation = FURL;
  FRelocations = 0;
  FLocationPending = false;
  FOtherScheme.clear();
  FEndDecided = false;
  FEndPosted = false;
  FQueuedBody.clear();
  FDelivering = false;
}

// The response after a relocation starts from nothing, as a request's first
// one does: no header, no counts, nothing left in the receive buffer.
void THttpCli::ResetReception() {
  FHeaderLines.Clear();
  FHeaderLineCount = 0;
  FBodyPieceCount = 0;
  FContentLength = -1;
  FContentType.clear();
  FResponseCode = 0;
  FInHeader = false;
  FHeaderEnded = false;
  FStatusSeen = false;
  FHeaderBytes = 0;
  FCloseError = 0;
  TakeReceived();
  FNext = lhNone;
}

// What waits in the receive buffer, which is left empty.
std::string THttpCli::TakeReceived() {
  std::string Held(FRcvdBuffer, static_cast<std::size_t>(FRcvdCount));
  FRcvdCount = 0;
  FRcvdBuffer[0] = '\0';
  return Held;
}

void THttpCli::RunRequest(THttpRequest Request) {
  const auto Alive = FAlive;
  StartRequest(Request);
  WaitIdle();
  if (!*Alive) throw EHttpException("Connection aborted on request", 404);
  if (FResponseCode >= 400) throw EHttpException(FResponseText, static_cast<std::uint16_t>(FResponseCode));
}

void THttpCli::WaitIdle() {
  const auto Alive = FAlive;
  // The socket pumps the application's messages, or with MultiThreaded its
  // thread's own; the client may be freed by what a turn handles.
  PumpUntil([&] { return !*Alive || FState == hsIdle; }, [&] { FCtrlSocket->PumpSocketMessages(); }, 1);
}

void THttpCli::Abort() {
  if (FState == hsIdle) {
    if (FCtrlSocket->State() != wsClosed) FCtrlSocket->Close();
    return;
  }
  const TStep Begun = Step();
  const bool WasResolving = FState == hsResolving;
  ChangeState(hsAborting);
  if (!Begun.SameRequest() || FState != hsAborting) return;
  if (WasResolving) {
    try {
      FCtrlSocket->StopDnsLookup();
    } catch (...) {
    }
  }
  Settle(httperrAborted, "Connection aborted on request");
  if (WasResolving) SocketSessionClosed(FCtrlSocket.get(), 0);
  else FCtrlSocket->Close();
  if (!Begun.SameRequest()) return;
  ChangeState(hsIdle);
}

// ---------------------------------------------------------------------------
// Where a request goes

void THttpCli::WorkOutTarget() {
  std::string Proto, User, Pass, Host, Port;
  if (!FProxy.empty()) {
    std::string Path;
    ParseURL(FURL, Proto, User, Pass, Host, Port, Path);
    FHostField = Host;
    FDocumentName = Path;
    FPath = (Proto.empty() ? std::string("http") : Proto) + "://" + Host + (Port.empty() ? "" : ":" + Port) + Path;
    std::string ProxyPath;
    std::string PUser, PPass, PProto;
    ParseURL(FProxy, PProto, PUser, PPass, FHostName, Port, ProxyPath);
    FPort = Port.empty() ? FProxyPort : Port;
  } else {
    // The previous request path is the base of a "./" or "../" URL.
    ParseURL(FURL, Proto, User, Pass, Host, Port, FPath);
    FHostField = Host;
    FHostName = Host;
    FDocumentName = FPath;
    FPort = Port.empty() ? std::string("80") : Port;
  }
  if (!User.empty()) FUsername = User;
  if (!Pass.empty()) FPassword = Pass;
  if (FPath.empty()) FPath = "/";
  AdjustDocumentName();
}

void THttpCli::AdjustDocumentName() {
  const int Query = Pos("?", FDocumentName);
  if (Query > 0) FDocumentName.erase(static_cast<std::size_t>(Query - 1));
  if (FDocumentName.empty() || FDocumentName.back() == '/') {
    FDocumentName = "document.htm";
    return;
  }
  FDocumentName = FDocumentName.substr(FDocumentName.rfind('/') + 1, 255);
}

void THttpCli::HandleLocation(const std::string& Value) {
  // "HTTP://" is the same scheme as "http://"; any other one cannot be
  // followed, and asking the same server for it as a path never ends.
  const bool Http = LowerCase(Value.substr(0, 7)) == "http://";
  const std::string Scheme = Http ? std::string() : SchemeOf(Value);
  FOtherScheme = Scheme;
  FLocationPending = Scheme.empty();
  if (!Scheme.empty()) return;
  std::string Proto, User, Pass, Host, Port, Path;
  const auto TakeCredentials = [&] {
    if (!User.empty() && !Pass.empty()) {
      FUsername = User;
      FPassword = Pass;
    }
  };
  if (!FProxy.empty()) {
    if (StartsWith(Value, "/")) {
      ParseURL(FPath, Proto, User, Pass, Host, Port, Path);
      if (Proto.empty()) Proto = "http";
      FLocation = Proto + "://" + Host + (Port.empty() ? "" : ":" + Port) + Value;
      FPath = FLocation;
      TakeCredentials();
    } else if (Http) {
      ParseURL(Value, Proto, User, Pass, Host, Port, Path);
      if (Host.empty()) {
        // No host named: the same server as now.
        std::string CProto, CUser, CPass, CPath;
        ParseURL(FPath, CProto, CUser, CPass, Host, Port, CPath);
        if (Path.empty()) Path = "/";
      }
      FPort = Port.empty() ? std::string("80") : Port;
      TakeCredentials();
      FHostField = Host;
      FLocation = Proto + "://" + Host + (Port.empty() ? "" : ":" + Port) + Path;
      FPath = FLocation;
    } else {
      FPath = UrlBase(FPath) + Value;
      FLocation = FPath;
    }
    return;
  }
  if (StartsWith(Value, "/")) {
    FPath = Value;
    FLocation = "http://" + FHostName + Value;
  } else if (Http) {
    const std::string OldPort = FPort;
    ParseURL(Value, Proto, User, Pass, FHostName, Port, FPath);
    FPort = Port.empty() ? std::string("80") : Port;
    TakeCredentials();
    if (!FHostName.empty()) {
      FHostField = FHostName;
      FLocation = Proto + "://" + FHostName + FPath;
      if (FPath.empty()) FPath = "/";
    } else {
      // No host named: the same server, on the same port unless one is given.
      if (Port.empty()) FPort = OldPort;
      if (FPath.empty()) FPath = "/";
      FLocation = "http://" + FHostField + FPath;
      FHostName = FHostField;
    }
  } else {
    FPath = UrlBase(FPath) + Value;
    FLocation = "http://" + FHostName + (StartsWith(FPath, "/") ? "" : "/") + FPath;
  }
}

// ---------------------------------------------------------------------------
// Lookup, connect, request

void THttpCli::StartNameLookup() {
  FDnsResult.clear();
  if (!MoveTo(hsResolving)) return;
  const TStep Begun = Step();
  FCtrlSocket->SetLocalAddr(FLocalAddr);
  TSocketCall Call(*this);
  try {
    // A dotted address is answered at once: the connect runs in here.
    FCtrlSocket->DnsLookup(FHostName);
  } catch (Exception& E) {
    if (!Begun.Same()) return;
    SetFailure(httperrCantConnect, E.Message());
    FConnected = false;
    ChangeState(hsIdle);
    return;
  }
  // A lookup that could not start was reported, not answered.
  if (Call.Failed() && Begun.Same()) {
    const std::int32_t Code = Call.Code();
    FailRequest(Code ? Code : httperrCantConnect, "can't resolve hostname to IP address");
  }
}

void THttpCli::SocketDnsLookupDone(TObject*, std::uint16_t Error) {
  if (Error != 0) {
    if (FState == hsAborting) return;
    FailRequest(Error, "can't resolve hostname to IP address");
    return;
  }
  if (FState != hsResolving) return;
  FDnsResult = FCtrlSocket->DnsResult();
  if (!MoveTo(hsResolved)) return;
  const TStep Begun = Step();
  TWSocket& S = *FCtrlSocket;
  TSocketCall Call(*this);
  bool Raised = false;
  try {
    S.SetAddr(FDnsResult);
    S.SetLocalAddr(FLocalAddr);
    S.SetPort(FPort);
    S.SetProto("tcp");
    ApplySocksSettings();
    S.Connect();
  } catch (Exception&) {
    Raised = true;
  }
  if (Begun.Same() && (Raised || Call.Failed())) FailOnSocketError(Call.Code(), "can't connect: ");
}

void THttpCli::SocketSessionConnected(TObject*, std::uint16_t Error) {
  if (Error != 0) {
    FailRequest(Error, ErrorText(Error));
    return;
  }
  FConnected = true;
  if (!MoveTo(hsConnected)) return;
  TStep Begun = Step();
  FireSessionConnected();
  if (!Begun.Same()) return;
  FNext = lhHeader;
  if (!MoveTo(hsAwaitingHeader)) return;
  Begun = Step();
  try {
    switch (FRequestType) {
      case rqGet: SendRequest("GET"); break;
      case rqHead: SendRequest("HEAD"); break;
      case rqPost:
        SendRequest("POST");
        if (!Begun.Same()) return;
        FireSendBegin();
        if (!Begun.Same()) return;
        FMoreData = true;
        SocketDataSent(FCtrlSocket.get(), 0);
        break;
      default: break;
    }
  } catch (Exception&) {
    if (!Begun.Same()) return;
    CloseConnection();
  }
}

void THttpCli::CloseConnection() {
  // The close is reported at once, and its handlers may free the client.
  FConnected = false;
  FCtrlSocket->Close();
}

void THttpCli::ComposeHeader(const std::string& Method, TStrings& Lines) {
  const bool Post = Method == "POST";
  Lines.Add(Method + " " + FPath + " HTTP/1.0");
  if (!FSender.empty()) Lines.Add("From: " + FSender);
  if (!FAccept.empty()) Lines.Add("Accept: " + FAccept);
  if (!FReference.empty()) Lines.Add("Referer: " + FReference);
  if (!FAcceptLanguage.empty()) Lines.Add("Accept-Language: " + FAcceptLanguage);
  if (Post && !FContentTypePost.empty()) Lines.Add("Content-Type: " + FContentTypePost);
  if (!FAgent.empty()) Lines.Add("User-Agent: " + FAgent);
  Lines.Add("Host: " + FHostField);
  if (FNoCache) Lines.Add("Pragma: no-cache");
  if (Post) Lines.Add("Content-Length: " + IntToStr(FPostStream ? FPostStream->Size() : 0));
  if (FModifiedSince != 0) Lines.Add("If-Modified-Since: " + RFC1123Date(FModifiedSince) + " GMT");
  if (!FUsername.empty()) Lines.Add("Authorization: Basic " + Base64Encode(FUsername + ":" + FPassword));
  if (!FProxy.empty() && !FProxyUsername.empty())
    Lines.Add("Proxy-Authorization: Basic " + Base64Encode(FProxyUsername + ":" + FProxyPassword));
  if (!FCookie.empty()) Lines.Add("Cookie: " + FCookie);
  if (!FContentRangeBegin.empty() || !FContentRangeEnd.empty()) {
    Lines.Add("Range: bytes=" + FContentRangeBegin + "-" + FContentRangeEnd);
    FContentRangeBegin.clear();
    FContentRangeEnd.clear();
  }
  FAcceptRanges.clear();
}

void THttpCli::SendRequest(const std::string& Method) {
  const TStep Begun = Step();
  FHeaderBuffer.clear();
  FireRequestHeaderBegin();
  if (!Begun.Same()) return;
  TStringList Lines;
  ComposeHeader(Method, Lines);
  FireBeforeHeaderSend(Method, Lines);
  if (!Begun.Same()) return;
  for (int I = 0; I < Lines.Count(); ++I) {
    SendRequestLine(Lines[I]);
    if (!Begun.Same()) return;
  }
  FireRequestHeaderEnd();
  if (!Begun.Same()) return;
  SendRequestLine("");
  if (!Begun.Same()) return;
  const std::string Header = std::move(FHeaderBuffer);
  FHeaderBuffer.clear();
  TSocketCall Call(*this);
  FCtrlSocket->Send(Header.data(), static_cast<int>(Header.size()));
  if (Call.Failed() && Begun.Same()) FailOnSocketError(Call.Code(), "");
}

void THttpCli::SendRequestLine(const std::string& Line) {
  const TStep Begun = Step();
  std::string S = Line;
  Fire(OnCommand, this, S);
  if (!Begun.Same()) return;
  FHeaderBuffer += S;
  FHeaderBuffer += "\r\n";
}

void THttpCli::SocketDataSent(TObject*, std::uint16_t) {
  if (!FMoreData || !FPostStream) return;
  const TStep Begun = Step();
  const std::int64_t Count = FPostStream->Read(FSendBuffer, sizeof FSendBuffer);
  if (Count > 0) {
    const auto Len = static_cast<std::int32_t>(Count);
    FSentBytes += Len;
    FireSendData(FSendBuffer, Len);
    if (!Begun.Same() || !FMoreData) return;
    TSocketCall Call(*this);
    FCtrlSocket->Send(FSendBuffer, Len);
    if (Call.Failed() && Begun.Same()) FailOnSocketError(Call.Code(), "");
  } else {
    FMoreData = false;
    FireSendEnd();
  }
}

// ---------------------------------------------------------------------------
// Reception

void THttpCli::SocketDataAvailable(TObject*, std::uint16_t Error) {
  if (FRcvdCount >= RcvdBufferSize) {
    // The socket layer swallows what a data handler raises, and a system
    // socket reports no close while unread bytes wait: left as it is, the
    // request would hang, or end as a success with nothing delivered. It
    // ends here as a local failure.
    const auto Alive = FAlive;
    TakeReceived();
    FailRequest(httperrLineTooLong, "HTTP line too long");
    if (!*Alive) return;
    throw EHttpException("HTTP line too long", 4);
  }
  if (FState == hsAwaitingBody && FRcvdCount == 0) {
    ReceiveBody();
    return;
  }
  const int Count = Receive(FRcvdBuffer + FRcvdCount, RcvdBufferSize - FRcvdCount);
  if (Count <= 0) return;
  FRcvdCount += Count;
  FRcvdBuffer[FRcvdCount] = '\0';
  if (FState == hsAwaitingBody) {
    const std::string Piece = TakeReceived();
    DeliverBody(Piece.data(), static_cast<std::int32_t>(Piece.size()));
    return;
  }
  SplitLines(Error);
}

// The count of bytes received for the request; 0 when there were none, or
// none for a request. A receive that fails ends the connection as a reset
// would: the system reports no close of a connection it found broken.
int THttpCli::Receive(char* Buffer, int Size) {
  const int Count = FCtrlSocket->Receive(Buffer, Size);
  if (FRequestType == rqNone) return 0;
  if (Count < 0 && FCtrlSocket->LastError() != WouldBlock && FConnected && !FEndPosted) {
    FCloseError = static_cast<std::uint16_t>(FCtrlSocket->LastError());
    CloseAndEnd();
  }
  return Count;
}

// The body is received in larger steps than the header.
void THttpCli::ReceiveBody() {
  if (FDelivering) {
    // A handler of the block being handed on pumps messages: what arrives
    // now goes behind that block, and the block's bytes stay where they are.
    char Piece[RcvdBufferSize];
    const int Count = FCtrlSocket->Receive(Piece, sizeof Piece);
    if (Count > 0) FQueuedBody.append(Piece, static_cast<std::size_t>(Count));
    return;
  }
  if (FBodyArea.empty()) FBodyArea.resize(BodyAreaSize);
  const int Count = Receive(FBodyArea.data(), static_cast<int>(FBodyArea.size()));
  if (Count <= 0) return;
  const TStep Begun = Step();
  FDelivering = true;
  struct Done {
    const TStep& Begun;
    ~Done() {
      if (Begun.SameRequest()) Begun.Self->FDelivering = false;
    }
  } Leave{Begun};
  DeliverBody(FBodyArea.data(), Count);
  while (Begun.Same() && !FQueuedBody.empty()) {
    const std::string Queued = std::move(FQueuedBody);
    FQueuedBody.clear();
    DeliverBody(Queued.data(), static_cast<std::int32_t>(Queued.size()));
  }
}

// Hands body bytes to the body handler in pieces of at most 8192 bytes, up
// to a stated length, and stops as soon as a handler has ended the body.
// Once the stated length is in, the client closes the connection itself: a
// server or proxy that keeps it open would otherwise hold a whole document
// until a time-out throws it away.
void THttpCli::DeliverBody(const char* Data, std::int32_t Len) {
  const TStep Begun = Step();
  do {
    std::int32_t Piece = Len < RcvdBufferSize ? Len : RcvdBufferSize;
    if (FContentLength >= 0 && Piece > FContentLength - FReceivedBytes)
      Piece = FContentLength > FReceivedBytes ? FContentLength - FReceivedBytes : 0;
    if (Piece > 0 || Len == 0) {
      HandleBodyPiece(Data, Piece);
      if (!Begun.Same()) return;
    }
    if (FContentLength >= 0 && FReceivedBytes >= FContentLength) {
      FEndDecided = true;
      CloseAndEnd();
      return;
    }
    Data += Piece;
    Len -= Piece;
  } while (Len > 0);
}

void THttpCli::SplitLines(std::uint16_t Error) {
  const TStep Begun = Step();
  while (FRcvdCount > 0) {
    // Lines that come after the end of a response, before the client is
    // idle, wait: once it is, they go to OnDataLine.
    if (FEndPosted && FState != hsIdle) return;
    // A zero byte hides whatever follows it, a line end included.
    const std::size_t Text = std::strlen(FRcvdBuffer);
    const void* Lf = std::memchr(FRcvdBuffer, '\n', Text);
    if (!Lf) break;
    std::size_t LineLen = static_cast<std::size_t>(static_cast<const char*>(Lf) - FRcvdBuffer);
    const std::size_t Used = LineLen + 1;
    if (LineLen > 0 && FRcvdBuffer[LineLen - 1] == '\r') --LineLen;
    const std::string Line(FRcvdBuffer, LineLen);
    FRawLine.assign(FRcvdBuffer, Used);
    FRcvdCount -= static_cast<std::int32_t>(Used);
    std::memmove(FRcvdBuffer, FRcvdBuffer + Used, static_cast<std::size_t>(FRcvdCount) + 1);
    if (FState == hsAwaitingHeader || FState == hsAwaitingBody) {
      if (FNext == lhHeader) {
        FHeaderBytes += static_cast<std::int32_t>(Used);
        // Header lines that come without end would fill the memory.
        if (FHeaderBytes > MaxHeaderBytes) {
          BadResponse(Line);
          return;
        }
        HandleHeaderLine(Line);
      } else if (FNext == lhBody) {
        DeliverBody(FRawLine.data(), static_cast<std::int32_t>(FRawLine.size()));
      } else {
        PostSetReady();
      }
    } else {
      Fire(OnDataLine, this, Error);
    }
    // A handler that ended the request, or the end of the header, ends the
    // splitting.
    if (!Begun.Same()) return;
  }
}

void THttpCli::HandleHeaderLine(const std::string& Line) {
  const TStep Begun = Step();
  if (FHeaderLineCount == 0) {
    FInHeader = true;
    FireHeaderBegin();
    if (!Begun.Same()) return;
  }
  ++FHeaderLineCount;
  if (UpperCase(Line.substr(0, 6)) == "<HTML>") {
    // A response without a header: the document starts here, with this
    // line as it came and whatever came behind it.
    FStatusSeen = true;
    if (FContentType.empty()) FContentType = "text/html";
    const std::string First = FRawLine;
    if (!EnterBody()) return;
    const std::string Piece = First + TakeReceived();
    DeliverBody(Piece.data(), static_cast<std::int32_t>(Piece.size()));
    return;
  }
  if (Line.empty()) {
    EndHeader();
    return;
  }
  FHeaderLines.Add(Line);
  if (StartsWith(Line, "HTTP/1.0") || StartsWith(Line, "HTTP/1.1")) {
    const std::string Number = Copy(Line, 10, 3);
    if (Number.size() != 3 || !IsDecimal(Number)) {
      BadResponse(Line);
      return;
    }
    FStatusSeen = true;
    FResponseCode = StrToInt(Number);
    FResponseText = Copy(Line, 14, static_cast<int>(Line.size()));
  } else if (const std::string::size_type Colon = Line.find(':'); Colon != std::string::npos) {
    std::string::size_type Start = Colon + 1;
    // A value of blanks only keeps its last one.
    while (Start + 1 < Line.size() && Line[Start] == ' ') ++Start;
    const std::string Field = LowerCase(Line.substr(0, Colon));
    if (Field == "content-length") {
      long long Length = -1;
      const std::string Value = Trim(Line.substr(Start));
      // A sign, or a number beyond the property's range, states no length.
      if (!IsDecimal(Value) || !TryStrToInt64(Value, Length) || Length > 0x7FFFFFFF) {
        BadResponse(Line);
        return;
      }
      FContentLength = static_cast<std::int32_t>(Length);
    } else {
      HandleField(Field, Line.substr(Start < Line.size() ? Start : Line.size()));
      if (!Begun.Same()) return;
    }
  }
  Fire(OnHeaderData, this);
}

void THttpCli::HandleField(const std::string& Field, const std::string& Value) {
  if (Field == "location") {
    HandleLocation(Value);
  } else if (Field == "content-range") {
    // Only "bytes N-M/L" gives a range that the next request may ask for.
    const int Dash = Pos("-", Value);
    const int Slash = Pos("/", Value);
    const std::string Begin = Copy(Value, 7, Dash - 7);
    const std::string End = Copy(Value, Dash + 1, Slash - Dash - 1);
    if (LowerCase(Value.substr(0, 6)) == "bytes " && Dash > 0 && Slash > Dash && IsDecimal(Begin) &&
        IsDecimal(End)) {
      FContentRangeBegin = Begin;
      FContentRangeEnd = End;
    }
  } else if (Field == "accept-ranges") {
    FAcceptRanges = Value;
  } else if (Field == "content-type") {
    FContentType = LowerCase(Value);
  } else if (Field == "www-authenticate") {
    FAuthChallenges.Add(Value);
  } else if (Field == "set-cookie") {
    bool Accept = true;
    FireCookie(Value, Accept);
  }
}

void THttpCli::BadResponse(const std::string& Line) {
  FailRequest(httperrBadResponse, "bad response: " + Line.substr(0, 80));
}

void THttpCli::EndHeader() {
  const TStep Begun = Step();
  FHeaderEnded = true;
  if (FLocationPending || !FOtherScheme.empty()) {
    FInHeader = false;
    FireHeaderEnd();
    if (!Begun.Same()) return;
    if (!FOtherScheme.empty()) {
      FailRequest(httperrUnsupportedScheme, UnsupportedScheme());
      return;
    }
    // The relocating response's body is never delivered, nor the rest of
    // a POST body: the new request is a GET.
    TakeReceived();
    FHeaderLineCount = 0;
    FBodyPieceCount = 0;
    FMoreData = false;
    CloseAndEnd(true);
    return;
  }
  if (FContentLength == 0) {
    FInHeader = false;
    FireHeaderEnd();
    if (!Begun.Same()) return;
    PostSetReady();
    return;
  }
  const std::string Ext = LowerCase(ExtractFileExt(FDocumentName));
  if ((Ext == ".exe" || Ext.empty()) && FContentType == "text/html") ReplaceExt(FDocumentName, "htm");
  if (!EnterBody()) return;
  const TStep InBody = Step();
  if (FRcvdCount > 0) {
    const std::string Piece = TakeReceived();
    DeliverBody(Piece.data(), static_cast<std::int32_t>(Piece.size()));
    if (!InBody.Same()) return;
  }
  // Of an error document at most what came with the header is delivered.
  if (FResponseCode >= 400) {
    FEndDecided = true;
    CloseAndEnd();
  }
}

// The header is over and a body follows; false when a handler ended the
// request (or freed the client) on the way.
bool THttpCli::EnterBody() {
  FHeaderEnded = true;
  if (!MoveTo(hsAwaitingBody)) return false;
  const TStep Begun = Step();
  FNext = lhBody;
  FInHeader = false;
  FireHeaderEnd();
  return Begun.Same();
}

void THttpCli::HandleBodyPiece(const char* Data, std::int32_t Len) {
  const TStep Begun = Step();
  if (FBodyPieceCount == 0) {
    FireDocBegin();
    if (!Begun.Same()) return;
  }
  ++FBodyPieceCount;
  if (FDocStream) {
    // A piece the stream does not take leaves a hole: the request ends here.
    std::int64_t Written = 0;
    std::string Refused;
    try {
      Written = FDocStream->Write(Data, Len);
      if (Written != Len) Refused = "Stream write error";
    } catch (Exception& E) {
      Refused = E.Message();
    } catch (std::exception& E) {
      Refused = E.what();
    }
    FReceivedBytes += static_cast<std::int32_t>(Written > 0 && Written <= Len ? Written : 0);
    if (!Refused.empty()) {
      FailRequest(httperrDocumentNotStored, "document not stored: " + Refused);
      return;
    }
  } else {
    FReceivedBytes += Len;
  }
  FireDocData(Data, Len);
}

// ---------------------------------------------------------------------------
// The end of a connection, and of a request

// Ends the request as a failure, unless it has ended already: the
// connection is closed, and its close handling ends the request.
void THttpCli::FailRequest(std::int32_t Error, const std::string& Text) {
  if (FEndPosted || FState == hsIdle || FState == hsAborting) return;
  Settle(Error, Text);
  CloseAndEnd();
}

// A local failure is the request's outcome: nothing that still arrives, no
// relocation and no more of a POST body may change it.
void THttpCli::Settle(std::int32_t Error, const std::string& Text) {
  SetFailure(Error, Text);
  FEndDecided = true;
  FLocationPending = false;
  FOtherScheme.clear();
  FMoreData = false;
}

// Closes the connection from this side, to follow a relocation or to end the
// request; when the socket reports no close (it was closed already, or its
// close failed), the close handling runs here.
void THttpCli::CloseAndEnd(bool Relocating) {
  const TStep Begun = Step();
  const TSessionClosed Closed =
      Relocating ? [this](TObject* Sender, std::uint16_t Error) { RelocationSessionClosed(Sender, Error); }
                 : OrdinaryCloseHandler();
  FCtrlSocket->OnSessionClosed = Closed;
  if (FCtrlSocket->State() != wsClosed) {
    // A close that fails has let go of the connection all the same.
    TSocketCall Call(*this);
    CloseConnection();
  }
  if (Begun.Same()) Closed(FCtrlSocket.get(), 0);
}

// What the handlers of the close raise waits until the request has ended.
void THttpCli::SocketSessionClosed(TObject*, std::uint16_t Error) {
  std::exception_ptr Raised;
  EndConnection(Error, Raised);
  if (Raised) std::rethrow_exception(Raised);
}

namespace {

template <typename Event>
void Deferring(std::exception_ptr& Raised, Event&& E) {
  try {
    E();
  } catch (...) {
    if (!Raised) Raised = std::current_exception();
  }
}

}  // namespace

void THttpCli::EndConnection(std::uint16_t Error, std::exception_ptr& Raised) {
  ++FCloses;
  FConnected = false;
  if (Error == 0) Error = FCloseError;
  JudgeDocument(Error);
  const TStep Begun = Step();
  if (FInHeader) {
    FInHeader = false;
    Deferring(Raised, [&] { FireHeaderEnd(); });
    if (!Begun.Same()) return;
    if (FLocationPending) {
      Relocate(Raised);
      return;
    }
    if (!FOtherScheme.empty()) SetFailure(httperrUnsupportedScheme, UnsupportedScheme());
  } else if (FBodyPieceCount > 0) {
    Deferring(Raised, [&] { FireDocEnd(); });
    if (!Begun.Same()) return;
  }
  PostSetReady();
}

// Whether the connection's end leaves the document short. A response the
// client closed itself, or one that relocates, is not judged here.
void THttpCli::JudgeDocument(std::uint16_t Error) {
  if (FEndDecided || FLocationPending || !FOtherScheme.empty() || FEndPosted) return;
  if (FState == hsIdle || FState == hsAborting) return;
  FEndDecided = true;
  const bool NoBody = FRequestType == rqHead || CarriesNoBody(FResponseCode);
  std::string Text;
  if (!FHeaderEnded && !FStatusSeen) Text = "connection closed before the header ended";
  else if (!NoBody && FContentLength >= 0 && FReceivedBytes < FContentLength)
    Text = "document incomplete: " + IntToStr(FReceivedBytes) + " of " + IntToStr(FContentLength) + " bytes";
  // Without a stated length only a clean close ends the body.
  else if (!NoBody && FContentLength < 0 && Error != 0)
    Text = "document incomplete: " + IntToStr(FReceivedBytes) + " bytes";
  if (Text.empty()) return;
  SetFailure(Error ? Error : httperrDocumentIncomplete, Text);
}

// Every failure of the client's own says 404, whatever the server said.
void THttpCli::SetFailure(std::int32_t Error, const std::string& Text) {
  FRequestError = Error;
  FResponseCode = 404;
  FResponseText = Text;
}

std::string THttpCli::UnsupportedScheme() const { return "relocation to an unsupported scheme: " + FOtherScheme; }

void THttpCli::RelocationSessionClosed(TObject*, std::uint16_t) {
  std::exception_ptr Raised;
  ++FCloses;
  Relocate(Raised);
  if (Raised) std::rethrow_exception(Raised);
}

void THttpCli::Relocate(std::exception_ptr& Raised) {
  FConnected = false;
  FLocationPending = false;
  FMoreData = false;
  FCtrlSocket->OnSessionClosed = OrdinaryCloseHandler();
  if (FRelocations >= MaxRelocations) {
    // A server that keeps sending the client elsewhere is not followed for ever.
    FailRequest(httperrTooManyRelocations, "Too many relocations (more than " + IntToStr(MaxRelocations) + ")");
    return;
  }
  ++FRelocations;
  std::string Target = FLocation;
  if (const auto Hash = Target.find('#'); Hash != std::string::npos) Target.erase(Hash);
  std::string Proto, User, Pass, Host, Port;
  FDocumentName.clear();
  ParseURL(Target, Proto, User, Pass, Host, Port, FDocumentName);
  AdjustDocumentName();
  if (FRequestType == rqPost) FRequestType = rqGet;
  const TStep Begun = Step();
  Deferring(Raised, [&] { Fire(OnLocationChange, this); });
  if (!Begun.Same()) return;
  ResetReception();
  if (!FProxy.empty()) {
    std::string PProto, PUser, PPass, PHost, PPort, PPath;
    ParseURL(FProxy, PProto, PUser, PPass, PHost, PPort, PPath);
    FPort = PPort.empty() ? FProxyPort : PPort;
  }
  plat::PostMessage(FWindowHandle, WM_HTTP_RESTART, FRequestSerial, 0);
}

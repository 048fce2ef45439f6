#include "http/HttpProt.h"

#include <cmath>
#include <cstring>

#include "framework/MessagePump.h"

namespace {

constexpr std::int32_t RcvdBufferSize = 8192;
constexpr std::size_t BodyAreaSize = 256 * 1024;

bool StartsWith(const std::string& S, const char* Prefix) {
  return S.compare(0, std::char_traits<char>::length(Prefix), Prefix) == 0;
}

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
  // Day 0 (1899-12-30) was a Saturday; dates before it must not index
  // outside the table.
  const long long Whole = static_cast<long long>(std::floor(Value));
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
  S.OnError = [this](TObject*) { Fire(OnSocketError, this); };
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

void THttpCli::PostRequestDone() {
  plat::PostMessage(FWindowHandle, WM_HTTP_REQUEST_DONE, FRequestSerial, 0);
}

void THttpCli::PostSetReady() { plat::PostMessage(FWindowHandle, WM_HTTP_SET_READY, FRequestSerial, 0); }

void THttpCli::WndProc(TMessage& Msg) {
  try {
    switch (Msg.Msg) {
      case WM_HTTP_REQUEST_DONE:
        Fire(OnRequestDone, this, FRequestType, static_cast<std::uint16_t>(FRequestError));
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
  }
  FCtrlSocket->OnSessionClosed = OrdinaryCloseHandler();
  FRequestType = Request;
  ChangeState(hsPreparing);
  if (!*Alive || FState != hsPreparing) return;
  ResetResponseState();
  WorkOutTarget();
  StartNameLookup();
}

void THttpCli::ResetResponseState() {
  FHeaderLines.Clear();
  FRequestError = 0;
  FDocumentName.clear();
  FResponseCode = 0;
  FReceivedBytes = 0;
  FSentBytes = 0;
  FHeaderLineCount = 0;
  FBodyPieceCount = 0;
  FContentLength = -1;
  FContentType.clear();
  FMoreData = false;
  FLocation = FURL;
  FRelocations = 0;
  FLocationPending = false;
  FInHeader = false;
  FRcvdCount = 0;
  FNext = lhNone;
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
  const auto Alive = FAlive;
  if (FState == hsIdle) {
    if (FCtrlSocket->State() != wsClosed) FCtrlSocket->Close();
    return;
  }
  const bool WasResolving = FState == hsResolving;
  ChangeState(hsAborting);
  if (!*Alive) return;
  if (WasResolving) {
    try {
      FCtrlSocket->StopDnsLookup();
    } catch (...) {
    }
  }
  FResponseCode = 404;
  FResponseText = "Connection aborted on request";
  FRequestError = httperrAborted;
  if (WasResolving) SocketSessionClosed(FCtrlSocket.get(), 0);
  else FCtrlSocket->Close();
  if (!*Alive) return;
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
  FLocationPending = true;
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
    } else if (StartsWith(Value, "http://")) {
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
  } else if (StartsWith(Value, "http://")) {
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
  const auto Alive = FAlive;
  FDnsResult.clear();
  ChangeState(hsResolving);
  if (!*Alive || FState != hsResolving) return;
  FCtrlSocket->SetLocalAddr(FLocalAddr);
  try {
    // A dotted address is answered at once: the connect runs in here.
    FCtrlSocket->DnsLookup(FHostName);
  } catch (Exception& E) {
    if (!*Alive) return;
    FResponseCode = 404;
    FResponseText = E.Message();
    FConnected = false;
    ChangeState(hsIdle);
  }
}

void THttpCli::SocketDnsLookupDone(TObject*, std::uint16_t Error) {
  const auto Alive = FAlive;
  if (Error != 0) {
    if (FState == hsAborting) return;
    FRequestError = Error;
    FResponseCode = 404;
    FResponseText = "can't resolve hostname to IP address";
    SocketSessionClosed(FCtrlSocket.get(), Error);
    return;
  }
  if (FState != hsResolving) return;
  FDnsResult = FCtrlSocket->DnsResult();
  ChangeState(hsResolved);
  if (!*Alive || FState != hsResolved) return;
  TWSocket& S = *FCtrlSocket;
  try {
    S.SetAddr(FDnsResult);
    S.SetLocalAddr(FLocalAddr);
    S.SetPort(FPort);
    S.SetProto("tcp");
    ApplySocksSettings();
    S.Connect();
  } catch (Exception&) {
    if (!*Alive) return;
    const std::int32_t Code = S.LastError();
    FRequestError = Code;
    FResponseCode = 404;
    FResponseText = "can't connect: " + ErrorText(Code);
    S.Close();
    if (!*Alive) return;
    SocketSessionClosed(&S, static_cast<std::uint16_t>(Code));
  }
}

void THttpCli::SocketSessionConnected(TObject*, std::uint16_t Error) {
  const auto Alive = FAlive;
  if (Error != 0) {
    FRequestError = Error;
    FResponseCode = 404;
    FResponseText = ErrorText(Error);
    SocketSessionClosed(FCtrlSocket.get(), Error);
    return;
  }
  FConnected = true;
  ChangeState(hsConnected);
  if (!*Alive || FState != hsConnected) return;
  FireSessionConnected();
  if (!*Alive || FState != hsConnected) return;
  FNext = lhHeader;
  ChangeState(hsAwaitingHeader);
  if (!*Alive || FState != hsAwaitingHeader) return;
  try {
    switch (FRequestType) {
      case rqGet: SendRequest("GET"); break;
      case rqHead: SendRequest("HEAD"); break;
      case rqPost:
        SendRequest("POST");
        if (!*Alive || FState != hsAwaitingHeader) return;
        FireSendBegin();
        if (!*Alive || FState != hsAwaitingHeader) return;
        FMoreData = true;
        SocketDataSent(FCtrlSocket.get(), 0);
        break;
      default: break;
    }
  } catch (Exception&) {
    if (!*Alive) return;
    CloseConnection();
  }
}

void THttpCli::CloseConnection() {
  FCtrlSocket->Close();
  FConnected = false;
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
  const auto Alive = FAlive;
  const auto StillSending = [&] { return *Alive && FState == hsAwaitingHeader; };
  FHeaderBuffer.clear();
  FireRequestHeaderBegin();
  if (!StillSending()) return;
  TStringList Lines;
  ComposeHeader(Method, Lines);
  FireBeforeHeaderSend(Method, Lines);
  if (!StillSending()) return;
  for (int I = 0; I < Lines.Count(); ++I) {
    SendRequestLine(Lines[I]);
    if (!StillSending()) return;
  }
  FireRequestHeaderEnd();
  if (!StillSending()) return;
  SendRequestLine("");
  if (!StillSending()) return;
  const std::string Header = std::move(FHeaderBuffer);
  FHeaderBuffer.clear();
  FCtrlSocket->Send(Header.data(), static_cast<int>(Header.size()));
}

void THttpCli::SendRequestLine(const std::string& Line) {
  std::string S = Line;
  Fire(OnCommand, this, S);
  FHeaderBuffer += S;
  FHeaderBuffer += "\r\n";
}

void THttpCli::SocketDataSent(TObject*, std::uint16_t) {
  if (!FMoreData || !FPostStream) return;
  const auto Alive = FAlive;
  const std::int64_t Count = FPostStream->Read(FSendBuffer, sizeof FSendBuffer);
  if (Count > 0) {
    const auto Len = static_cast<std::int32_t>(Count);
    FSentBytes += Len;
    FireSendData(FSendBuffer, Len);
    if (!*Alive || !FMoreData) return;
    FCtrlSocket->Send(FSendBuffer, Len);
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
    FRcvdCount = 0;
    FRcvdBuffer[0] = '\0';
    FRequestError = httperrLineTooLong;
    FResponseCode = 404;
    FResponseText = "HTTP line too long";
    CloseConnection();
    if (!*Alive) return;
    throw EHttpException("HTTP line too long", 4);
  }
  if (FState == hsAwaitingBody && FRcvdCount == 0) {
    if (FBodyArea.empty()) FBodyArea.resize(BodyAreaSize);
    const int Count = FCtrlSocket->Receive(FBodyArea.data(), static_cast<int>(FBodyArea.size()));
    if (FRequestType == rqNone || Count <= 0) return;
    DeliverBody(FBodyArea.data(), Count);
    return;
  }
  const int Count = FCtrlSocket->Receive(FRcvdBuffer + FRcvdCount, RcvdBufferSize - FRcvdCount);
  if (FRequestType == rqNone || Count <= 0) return;
  FRcvdCount += Count;
  FRcvdBuffer[FRcvdCount] = '\0';
  if (FState == hsAwaitingBody) {
    const std::string Piece(FRcvdBuffer, static_cast<std::size_t>(FRcvdCount));
    FRcvdCount = 0;
    DeliverBody(Piece.data(), static_cast<std::int32_t>(Piece.size()));
    return;
  }
  SplitLines(Error);
}

// Hands a received block to the body handler in pieces of at most 8192 bytes,
// stopping as soon as a handler has ended the body.
void THttpCli::DeliverBody(const char* Data, std::int32_t Len) {
  const auto Alive = FAlive;
  const std::uintptr_t Serial = FRequestSerial;
  do {
    const std::int32_t Piece = Len < RcvdBufferSize ? Len : RcvdBufferSize;
    if (FNext == lhBody) HandleBodyPiece(Data, Piece);
    else PostSetReady();
    if (!*Alive || FState != hsAwaitingBody || FRequestSerial != Serial) return;
    Data += Piece;
    Len -= Piece;
  } while (Len > 0);
}

void THttpCli::SplitLines(std::uint16_t Error) {
  const auto Alive = FAlive;
  const std::uintptr_t Serial = FRequestSerial;
  const THttpClientState Entry = FState;
  while (FRcvdCount > 0) {
    // A zero byte hides whatever follows it, a line end included.
    const std::size_t Text = std::strlen(FRcvdBuffer);
    const void* Lf = std::memchr(FRcvdBuffer, '\n', Text);
    if (!Lf) break;
    std::size_t LineLen = static_cast<std::size_t>(static_cast<const char*>(Lf) - FRcvdBuffer);
    const std::size_t Used = LineLen + 1;
    if (LineLen > 0 && FRcvdBuffer[LineLen - 1] == '\r') --LineLen;
    const std::string Line(FRcvdBuffer, LineLen);
    FRcvdCount -= static_cast<std::int32_t>(Used);
    std::memmove(FRcvdBuffer, FRcvdBuffer + Used, static_cast<std::size_t>(FRcvdCount) + 1);
    if (FState == hsAwaitingHeader || FState == hsAwaitingBody) {
      if (FNext == lhHeader) HandleHeaderLine(Line);
      else if (FNext == lhBody) HandleBodyPiece(Line.data(), static_cast<std::int32_t>(Line.size()));
      else PostSetReady();
    } else {
      Fire(OnDataLine, this, Error);
    }
    // A handler that ended the request ends the splitting; lines that come
    // while the client is already idle go on to OnDataLine.
    if (!*Alive || FRequestSerial != Serial) return;
    if (FState != Entry && (FState == hsIdle || FState == hsAborting)) return;
  }
}

void THttpCli::HandleHeaderLine(const std::string& Line) {
  const auto Alive = FAlive;
  if (FHeaderLineCount == 0) {
    FInHeader = true;
    FireHeaderBegin();
    if (!*Alive) return;
  }
  ++FHeaderLineCount;
  if (UpperCase(Line.substr(0, 6)) == "<HTML>") {
    // A response without a header: the document starts here.
    if (FContentType.empty()) FContentType = "text/html";
    if (!EnterBody()) return;
    HandleBodyPiece(Line.data(), static_cast<std::int32_t>(Line.size()));
    return;
  }
  if (Line.empty()) {
    EndHeader();
    return;
  }
  FHeaderLines.Add(Line);
  if (StartsWith(Line, "HTTP/1.0") || StartsWith(Line, "HTTP/1.1")) {
    FResponseCode = StrToInt(Copy(Line, 10, 3));
    FResponseText = Copy(Line, 14, static_cast<int>(Line.size()));
  } else if (const std::string::size_type Colon = Line.find(':'); Colon != std::string::npos) {
    const std::string Field = LowerCase(Line.substr(0, Colon));
    std::string::size_type Start = Colon + 1;
    // A value of blanks only keeps its last one.
    while (Start + 1 < Line.size() && Line[Start] == ' ') ++Start;
    const std::string Value = Line.substr(Start < Line.size() ? Start : Line.size());
    if (Field == "location") {
      HandleLocation(Value);
    } else if (Field == "content-length") {
      FContentLength = StrToInt(Trim(Value));
    } else if (Field == "content-range") {
      const int Dash = Pos("-", Value);
      const int Slash = Pos("/", Value);
      FContentRangeBegin = Copy(Value, 7, Dash - 7);
      FContentRangeEnd = Copy(Value, Dash + 1, Slash - Dash - 1);
    } else if (Field == "accept-ranges") {
      FAcceptRanges = Value;
    } else if (Field == "content-type") {
      FContentType = LowerCase(Value);
    } else if (Field == "www-authenticate") {
      FAuthChallenges.Add(Value);
    } else if (Field == "set-cookie") {
      bool Accept = true;
      FireCookie(Value, Accept);
      if (!*Alive) return;
    }
  }
  Fire(OnHeaderData, this);
}

void THttpCli::EndHeader() {
  const auto Alive = FAlive;
  if (FLocationPending) {
    FInHeader = false;
    FireHeaderEnd();
    if (!*Alive || FState != hsAwaitingHeader) return;
    // The relocating response's body is never delivered.
    FRcvdCount = 0;
    FRcvdBuffer[0] = '\0';
    FHeaderLineCount = 0;
    FBodyPieceCount = 0;
    FCtrlSocket->OnSessionClosed = [this](TObject* Sender, std::uint16_t Error) {
      RelocationSessionClosed(Sender, Error);
    };
    FCtrlSocket->Close();
    return;
  }
  if (FContentLength == 0) {
    FInHeader = false;
    FireHeaderEnd();
    if (!*Alive) return;
    PostSetReady();
    return;
  }
  const std::string Ext = LowerCase(ExtractFileExt(FDocumentName));
  if ((Ext == ".exe" || Ext.empty()) && FContentType == "text/html") ReplaceExt(FDocumentName, "htm");
  if (!EnterBody()) return;
  if (FRcvdCount > 0) {
    const std::string Piece(FRcvdBuffer, static_cast<std::size_t>(FRcvdCount));
    FRcvdCount = 0;
    FRcvdBuffer[0] = '\0';
    HandleBodyPiece(Piece.data(), static_cast<std::int32_t>(Piece.size()));
    if (!*Alive || FState != hsAwaitingBody) return;
  }
  // Of an error document at most what came with the header is delivered.
  if (FResponseCode >= 400) FCtrlSocket->Close();
}

// The header is over and a body follows; false when a handler ended the
// request (or freed the client) on the way.
bool THttpCli::EnterBody() {
  const auto Alive = FAlive;
  ChangeState(hsAwaitingBody);
  if (!*Alive || FState != hsAwaitingBody) return false;
  FNext = lhBody;
  FInHeader = false;
  FireHeaderEnd();
  return *Alive && FState == hsAwaitingBody;
}

void THttpCli::HandleBodyPiece(const char* Data, std::int32_t Len) {
  const auto Alive = FAlive;
  if (FBodyPieceCount == 0) {
    FireDocBegin();
    if (!*Alive) return;
  }
  ++FBodyPieceCount;
  FReceivedBytes += Len;
  if (FDocStream) FDocStream->WriteBuffer(Data, Len);
  FireDocData(Data, Len);
}

void THttpCli::SocketSessionClosed(TObject* Sender, std::uint16_t Error) {
  const auto Alive = FAlive;
  if (Error != 0) FRequestError = Error;
  FConnected = false;
  if (FState == hsAwaitingBody && FNext == lhBody && FRcvdCount > 0) {
    // The end of a document without a header waits in the line buffer when
    // it has no line end; the close is the last chance to deliver it.
    const std::string Piece(FRcvdBuffer, static_cast<std::size_t>(FRcvdCount));
    FRcvdCount = 0;
    FRcvdBuffer[0] = '\0';
    HandleBodyPiece(Piece.data(), static_cast<std::int32_t>(Piece.size()));
    if (!*Alive) return;
  }
  if (FInHeader) {
    FInHeader = false;
    FireHeaderEnd();
    if (!*Alive) return;
    if (FLocationPending) RelocationSessionClosed(Sender, Error);
    else PostSetReady();
    return;
  }
  if (FBodyPieceCount > 0) {
    FireDocEnd();
    if (!*Alive) return;
  }
  PostSetReady();
}

void THttpCli::FailRequest(std::int32_t Error, const std::string& Text) {
  FRequestError = Error;
  FResponseCode = 404;
  FResponseText = Text;
  PostSetReady();
}

void THttpCli::RelocationSessionClosed(TObject*, std::uint16_t) {
  const auto Alive = FAlive;
  FConnected = false;
  FLocationPending = false;
  FCtrlSocket->OnSessionClosed = OrdinaryCloseHandler();
  if (FRelocations >= MaxRelocations) {
    // A server that keeps sending the client elsewhere is not followed for ever.
    FailRequest(httperrTooManyRelocations,
                "Too many relocations (more than " + IntToStr(MaxRelocations) + ")");
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
  Fire(OnLocationChange, this);
  if (!*Alive || FState == hsIdle || FState == hsAborting) return;
  FHeaderLines.Clear();
  FHeaderLineCount = 0;
  FBodyPieceCount = 0;
  FContentLength = -1;
  FContentType.clear();
  FResponseCode = 0;
  if (!FProxy.empty()) {
    std::string PProto, PUser, PPass, PHost, PPort, PPath;
    ParseURL(FProxy, PProto, PUser, PPass, PHost, PPort, PPath);
    FPort = PPort.empty() ? FProxyPort : PPort;
  }
  plat::PostMessage(FWindowHandle, WM_HTTP_RESTART, FRequestSerial, 0);
}

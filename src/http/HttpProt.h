// THttpCli: the event-driven HTTP/1.0 client component.
//
// One request at a time runs over one TWSocket that the client owns: look the
// host up, connect, write the request header (and a POST body), split the
// response into header lines, act on a handful of fields, and hand the body
// to DocStream and OnDocData as it arrives. The body ends when the server
// closes the connection; there is no persistent connection and no chunked
// decoding. Work is driven by the socket's notifications and by three
// notifications the client posts to its own hidden window, so every
// operation returns at once except RunRequest (and Get), which pumps messages
// until the client is idle again.
//
// Every event may run nested code that aborts the request or frees the
// client: after each one the client checks that it still lives and is still
// in the state it was.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Streams.h"
#include "http/HttpUrl.h"
#include "net/WSocket.h"

class EHttpException : public Exception {
 public:
  EHttpException(const std::string& Message, std::uint16_t ErrorCode) : Exception(Message), FErrorCode(ErrorCode) {}
  const char* ClassName() const override { return "EHttpException"; }
  std::uint16_t ErrorCode() const { return FErrorCode; }

 private:
  std::uint16_t FErrorCode;
};

enum THttpClientState : std::uint8_t {
  hsIdle,
  hsPreparing,
  hsConnected,
  hsResolving,
  hsResolved,
  hsAwaitingHeader,
  hsAwaitingBody,
  hsAborting
};

enum THttpRequest : std::uint8_t { rqNone, rqGet, rqPost, rqHead };

// RequestError values of the client's own, beside the socket's error numbers.
constexpr std::int32_t httperrAborted = 3;
// A response header line that does not fit the receive buffer.
constexpr std::int32_t httperrLineTooLong = 4;
// A request that was relocated more often than MaxRelocations.
constexpr std::int32_t httperrTooManyRelocations = 30001;
// The connection ended before the document was whole: fewer body bytes than
// the stated length, or no status line at all.
constexpr std::int32_t httperrDocumentIncomplete = 30002;
// A status line or header field that cannot be read, or a header without end.
constexpr std::int32_t httperrBadResponse = 30003;
// DocStream did not take a piece of the body.
constexpr std::int32_t httperrDocumentNotStored = 30004;
// A relocation to a scheme other than http.
constexpr std::int32_t httperrUnsupportedScheme = 30005;
// No connection (or name lookup) could be started, and the socket named no
// error number for it: an empty or unusable port, for one.
constexpr std::int32_t httperrCantConnect = 30006;
constexpr int MaxRelocations = 20;
// More response header than this ends the request as a bad response.
constexpr std::int32_t MaxHeaderBytes = 64 * 1024;

// The client's own notifications, posted to its hidden window.
constexpr std::uint32_t WM_HTTP_REQUEST_DONE = 1025;
constexpr std::uint32_t WM_HTTP_SET_READY = 1026;
constexpr std::uint32_t WM_HTTP_RESTART = 1027;

using TBeforeHeaderSendEvent = std::function<void(TObject* Sender, const std::string& Method, TStrings& Headers)>;
using TOnCommand = std::function<void(TObject* Sender, std::string& S)>;
using TDocDataEvent = std::function<void(TObject* Sender, const void* Buffer, std::int32_t Len)>;
using TCookieRcvdEvent = std::function<void(TObject* Sender, const std::string& Data, bool& Accept)>;
using THttpRequestDone = std::function<void(TObject* Sender, THttpRequest RqType, std::uint16_t Error)>;
using THttpDataLine = std::function<void(TObject* Sender, std::uint16_t Error)>;

class THttpCli : public TComponent {
 public:
  explicit THttpCli(TComponent* AOwner);
  ~THttpCli() override;
  const char* ClassName() const override { return "THttpCli"; }

  // Published properties.
  const std::string& URL() const { return FURL; }
  void SetURL(const std::string& Value) { FURL = Value; }
  const std::string& LocalAddr() const { return FLocalAddr; }
  void SetLocalAddr(const std::string& Value) { FLocalAddr = Value; }
  const std::string& Proxy() const { return FProxy; }
  void SetProxy(const std::string& Value) { FProxy = Value; }
  const std::string& ProxyPort() const { return FProxyPort; }
  void SetProxyPort(const std::string& Value) { FProxyPort = Value; }
  const std::string& Sender() const { return FSender; }
  void SetSender(const std::string& Value) { FSender = Value; }
  const std::string& Agent() const { return FAgent; }
  void SetAgent(const std::string& Value) { FAgent = Value; }
  const std::string& Accept() const { return FAccept; }
  void SetAccept(const std::string& Value) { FAccept = Value; }
  const std::string& AcceptLanguage() const { return FAcceptLanguage; }
  void SetAcceptLanguage(const std::string& Value) { FAcceptLanguage = Value; }
  const std::string& Reference() const { return FReference; }
  void SetReference(const std::string& Value) { FReference = Value; }
  const std::string& Username() const { return FUsername; }
  void SetUsername(const std::string& Value) { FUsername = Value; }
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& Value) { FPassword = Value; }
  const std::string& ProxyUsername() const { return FProxyUsername; }
  void SetProxyUsername(const std::string& Value) { FProxyUsername = Value; }
  const std::string& ProxyPassword() const { return FProxyPassword; }
  void SetProxyPassword(const std::string& Value) { FProxyPassword = Value; }
  bool NoCache() const { return FNoCache; }
  void SetNoCache(bool Value) { FNoCache = Value; }
  TDateTime ModifiedSince() const { return FModifiedSince; }
  void SetModifiedSince(TDateTime Value) { FModifiedSince = Value; }
  const std::string& Cookie() const { return FCookie; }
  void SetCookie(const std::string& Value) { FCookie = Value; }
  const std::string& ContentTypePost() const { return FContentTypePost; }
  void SetContentTypePost(const std::string& Value) { FContentTypePost = Value; }
  const std::string& ContentRangeBegin() const { return FContentRangeBegin; }
  void SetContentRangeBegin(const std::string& Value) { FContentRangeBegin = Value; }
  const std::string& ContentRangeEnd() const { return FContentRangeEnd; }
  void SetContentRangeEnd(const std::string& Value) { FContentRangeEnd = Value; }
  const std::string& AcceptRanges() const { return FAcceptRanges; }
  bool MultiThreaded() const { return FMultiThreaded; }
  // The SOCKS settings are the client's own: the socket forgets its server
  // and port at every close, so they are written to it before each connect.
  const std::string& SocksServer() const { return FSocksServer; }
  void SetSocksServer(const std::string& Value);
  const std::string& SocksLevel() const { return FSocksLevel; }
  void SetSocksLevel(const std::string& Value);
  const std::string& SocksPort() const { return FSocksPort; }
  void SetSocksPort(const std::string& Value);
  const std::string& SocksUsercode() const { return FSocksUsercode; }
  void SetSocksUsercode(const std::string& Value);
  const std::string& SocksPassword() const { return FSocksPassword; }
  void SetSocksPassword(const std::string& Value);
  TSocksAuthentication SocksAuthentication() const { return FSocksAuthentication; }
  void SetSocksAuthentication(TSocksAuthentication Value);

  // Run-time properties.
  TStream* DocStream() const { return FDocStream; }
  void SetDocStream(TStream* Value) { FDocStream = Value; }
  TStream* PostStream() const { return FPostStream; }
  void SetPostStream(TStream* Value) { FPostStream = Value; }
  THttpClientState State() const { return FState; }
  std::int32_t ResponseCode() const { return FResponseCode; }
  const std::string& ResponseText() const { return FResponseText; }
  std::int32_t ContentLength() const { return FContentLength; }
  const std::string& ContentType() const { return FContentType; }
  const std::string& Location() const { return FLocation; }
  const std::string& DocumentName() const { return FDocumentName; }
  const TStrings& HeaderLines() const { return FHeaderLines; }
  const TStrings& AuthChallenges() const { return FAuthChallenges; }
  std::int32_t RequestError() const { return FRequestError; }
  std::int32_t ReceivedBytes() const { return FReceivedBytes; }
  std::int32_t SentBytes() const { return FSentBytes; }
  // The owned socket, for reading its state.
  TWSocket& CtrlSocket() const { return *FCtrlSocket; }

  void Get() { RunRequest(rqGet); }
  void Post() { RunRequest(rqPost); }
  void Head() { RunRequest(rqHead); }
  void GetASync() { StartRequest(rqGet); }
  void PostASync() { StartRequest(rqPost); }
  void HeadASync() { StartRequest(rqHead); }
  void Abort();

  // Events.
  TNotifyEvent OnStateChange;
  TNotifyEvent OnSessionConnected;
  TNotifyEvent OnRequestHeaderBegin;
  TBeforeHeaderSendEvent OnBeforeHeaderSend;
  TOnCommand OnCommand;
  TNotifyEvent OnRequestHeaderEnd;
  TNotifyEvent OnSendBegin;
  TDocDataEvent OnSendData;
  TNotifyEvent OnSendEnd;
  TNotifyEvent OnHeaderBegin;
  TNotifyEvent OnHeaderData;
  TNotifyEvent OnHeaderEnd;
  TCookieRcvdEvent OnCookie;
  TNotifyEvent OnLocationChange;
  TNotifyEvent OnDocBegin;
  TDocDataEvent OnDocData;
  TNotifyEvent OnDocEnd;
  THttpRequestDone OnRequestDone;
  TSessionConnected OnSocksConnected;
  TSocksAuthStateEvent OnSocksAuthState;
  TSocksErrorEvent OnSocksError;
  TNotifyEvent OnSocketError;
  THttpDataLine OnDataLine;  // public, not published

 protected:
  // Takes Socket (already created, owned from now on) instead of making one:
  // a stand-in socket feeds the reception path without a network.
  THttpCli(TComponent* AOwner, TWSocket* Socket);

  enum TLineHandler { lhNone, lhHeader, lhBody };

  // The virtual operations, in the order of the class's table.
  virtual void HandleHeaderLine(const std::string& Line);
  virtual void HandleBodyPiece(const char* Data, std::int32_t Len);
  virtual void SendRequestLine(const std::string& Line);
  virtual void StartNameLookup();
  virtual void CloseConnection();
  virtual void ResetResponseState();
  virtual void SocketDnsLookupDone(TObject* Sender, std::uint16_t Error);
  virtual void SocketSessionClosed(TObject* Sender, std::uint16_t Error);
  virtual void SocketSessionConnected(TObject* Sender, std::uint16_t Error);
  virtual void SocketDataSent(TObject* Sender, std::uint16_t Error);
  virtual void SocketDataAvailable(TObject* Sender, std::uint16_t Error);
  virtual void RelocationSessionClosed(TObject* Sender, std::uint16_t Error);

 public:
  virtual void StartRequest(THttpRequest Request);
  virtual void RunRequest(THttpRequest Request);
  virtual void SetMultiThreaded(bool Value);

 protected:
  virtual void ChangeState(THttpClientState NewState);
  virtual void FireStateChange();
  virtual void FireCookie(const std::string& Data, bool& Accept);
  virtual void FireSessionConnected();
  virtual void FireBeforeHeaderSend(const std::string& Method, TStrings& Headers);
  virtual void FireRequestHeaderBegin();
  virtual void FireRequestHeaderEnd();
  virtual void FireHeaderBegin();
  virtual void FireHeaderEnd();
  virtual void FireDocBegin();
  virtual void FireDocData(const void* Data, std::int32_t Len);
  virtual void FireDocEnd();
  virtual void FireSendBegin();
  virtual void FireSendData(const void* Data, std::int32_t Len);
  virtual void FireSendEnd();
  virtual void PostRequestDone();
  virtual void WndProc(TMessage& Msg);
  virtual void PostSetReady();
  virtual void AdjustDocumentName();
  virtual void CreateNotifyWindow();
  virtual void DestroyNotifyWindow();

  // True while this object has not been destroyed; copy it before anything
  // that may run foreign code.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);

  // What a step of the request began with. Any event may free the client,
  // abort the request, start the next one or end the connection; after one,
  // a step goes on only while Same() holds, and touches nothing otherwise.
  struct TStep {
    THttpCli* Self;
    std::shared_ptr<bool> Alive;
    std::uintptr_t Serial;
    THttpClientState State;
    unsigned Closes;
    bool SameRequest() const { return *Alive && Self->FRequestSerial == Serial; }
    bool Same() const { return SameRequest() && Self->FState == State && Self->FCloses == Closes; }
  };
  TStep Step() { return TStep{this, FAlive, FRequestSerial, FState, FCloses}; }

 private:
  class TSocketCall;
  void WireSocket();
  bool MoveTo(THttpClientState NewState);
  void WorkOutTarget();
  void HandleLocation(const std::string& Value);
  void SendRequest(const std::string& Method);
  void ComposeHeader(const std::string& Method, TStrings& Lines);
  void FailRequest(std::int32_t Error, const std::string& Text);
  void Settle(std::int32_t Error, const std::string& Text);
  void SetFailure(std::int32_t Error, const std::string& Text);
  std::string UnsupportedScheme() const;
  void BadResponse(const std::string& Line);
  void CloseAndEnd(bool Relocating = false);
  void EndConnection(std::uint16_t Error, std::exception_ptr& Raised);
  void Relocate(std::exception_ptr& Raised);
  void ResetReception();
  std::string TakeReceived();
  void JudgeDocument(std::uint16_t Error);
  void SocketReportedError();
  void FailOnSocketError(std::int32_t Code, const std::string& Prefix);
  int Receive(char* Buffer, int Size);
  void ReceiveBody();
  void DeliverBody(const char* Data, std::int32_t Len);
  void SplitLines(std::uint16_t Error);
  void HandleField(const std::string& Field, const std::string& Value);
  void EndHeader();
  bool EnterBody();
  void SetSocksSetting(std::string& Field, const std::string& Value);
  void ApplySocksSettings();
  void WaitIdle();
  TSessionClosed OrdinaryCloseHandler();

  std::unique_ptr<TWSocket> FCtrlSocket;
  plat::WindowHandle FWindowHandle = 0;

  std::string FURL;
  std::string FLocalAddr = "0.0.0.0";
  std::string FProxy;
  std::string FProxyPort = "80";
  std::string FSender;
  std::string FAgent = "Mozilla/3.0 (compatible)";
  std::string FAccept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  std::string FAcceptLanguage;
  std::string FReference;
  std::string FUsername;
  std::string FPassword;
  std::string FProxyUsername;
  std::string FProxyPassword;
  bool FNoCache = false;
  TDateTime FModifiedSince = 0;
  std::string FCookie;
  std::string FContentTypePost = "application/x-www-form-urlencoded";
  std::string FContentRangeBegin;
  std::string FContentRangeEnd;
  std::string FAcceptRanges;
  bool FMultiThreaded = false;
  std::string FSocksServer;
  std::string FSocksLevel = "5";
  std::string FSocksPort;
  std::string FSocksUsercode;
  std::string FSocksPassword;
  TSocksAuthentication FSocksAuthentication = socksNoAuthentication;

  TStream* FDocStream = nullptr;
  TStream* FPostStream = nullptr;
  THttpClientState FState = hsIdle;
  THttpRequest FRequestType = rqNone;
  std::int32_t FResponseCode = 0;
  std::string FResponseText;
  std::int32_t FContentLength = -1;
  std::string FContentType;
  std::string FLocation;
  std::string FDocumentName;
  TStringList FHeaderLines;
  TStringList FAuthChallenges;
  std::int32_t FRequestError = 0;
  std::int32_t FReceivedBytes = 0;
  std::int32_t FSentBytes = 0;

  // The target (where to connect, what to ask for).
  std::string FHostName;   // connect host
  std::string FPort;       // connect port
  std::string FHostField;  // the origin server, for "Host: "
  std::string FPath;       // request-line target
  std::string FDnsResult;
  bool FConnected = false;
  bool FLocationPending = false;
  // The scheme of a relocation the client cannot follow.
  std::string FOtherScheme;
  int FRelocations = 0;
  // The outcome is settled (a failure, an abort, or a close of the client's
  // own after an error status or a whole body): the close judges nothing.
  bool FEndDecided = false;
  // Set ready was posted: the request has ended.
  bool FEndPosted = false;
  // Closes handled, of the ordinary and the relocation kind.
  unsigned FCloses = 0;
  // The error that made the client close the connection itself.
  std::uint16_t FCloseError = 0;
  // Failures the socket reported through OnError, and client calls into the
  // socket running: a report during a call is dealt with when it returns.
  unsigned FSocketErrors = 0;
  int FSocketCalls = 0;
  // Each request's posted notifications carry its number: a notification of
  // an earlier request (a late close, a restart after Abort) is dropped.
  std::uintptr_t FRequestSerial = 0;

  std::string FHeaderBuffer;
  char FSendBuffer[8193];
  bool FMoreData = false;

  char FRcvdBuffer[8192 + 1];
  std::int32_t FRcvdCount = 0;
  // The body is received in larger steps than the header; it is handed on in
  // pieces of at most 8192 bytes all the same.
  std::vector<char> FBodyArea;
  bool FInHeader = false;
  bool FHeaderEnded = false;
  // A status line, or the "<HTML>" line of a response without header, came.
  bool FStatusSeen = false;
  std::int32_t FHeaderBytes = 0;
  // The line being handled as received, its line end included.
  std::string FRawLine;
  // Body bytes that arrived while a handler of an earlier block pumped
  // messages: they are handed on behind that block.
  std::string FQueuedBody;
  bool FDelivering = false;
  int FHeaderLineCount = 0;
  int FBodyPieceCount = 0;
  TLineHandler FNext = lhNone;
};

// The pieces of a request header, exposed for their own tests.
std::string Base64Encode(const std::string& Text);
// "Tue, 08 Dec 2026 09:05:03" (no zone: the caller appends " GMT").
std::string RFC1123Date(TDateTime Value);

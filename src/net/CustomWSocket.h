// TCustomWSocket: the event-driven, non-blocking IPv4 socket component at the
// root of the TWSocket chain (TCustomWSocket <- TCustomSocksWSocket <-
// TCustomLineWSocket <- TCustomSyncWSocket <- TWSocket).
//
// The caller sets Addr, Port and Proto, calls Connect and goes back to its
// message loop. Everything afterwards (connected, data arrived, data sent,
// peer closed, lookup done) arrives as a message on the socket's own hidden
// window and is passed on as events. Outgoing data is copied into the send
// chain and drained whenever the system says it can take more. Nothing here
// waits for the network except the text resolvers (a host name given to
// Connect) and Flush.
//
// A socket object belongs to the thread that created it: its window, and so
// every notification, lives there. Events may fire from inside
// PumpSocketMessages (and so from inside Flush, and from a close that would
// block): handlers must tolerate being re-entered.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "framework/Application.h"  // AllocateHWnd/DeallocateHWnd, for users of sockets
#include "framework/Classes.h"
#include "net/NameLookup.h"
#include "net/SocketBinding.h"
#include "net/WSockBuf.h"

enum TSocketState { wsInvalidState, wsOpened, wsBound, wsConnecting, wsConnected, wsAccepting, wsListening, wsClosed };
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TWSocketOption { wsoNoReceiveLoop, wsoTcpNoDelay };

class TWSocketOptions {
 public:
  TWSocketOptions() = default;
  TWSocketOptions(std::initializer_list<TWSocketOption> Options) {
    for (TWSocketOption O : Options) Include(O);
  }
  bool Contains(TWSocketOption O) const { return (FBits & Bit(O)) != 0; }
  TWSocketOptions& Include(TWSocketOption O) {
    FBits |= Bit(O);
    return *this;
  }
  TWSocketOptions& Exclude(TWSocketOption O) {
    FBits &= ~Bit(O);
    return *this;
  }
  bool operator==(const TWSocketOptions& Other) const { return FBits == Other.FBits; }

 private:
  static std::uint32_t Bit(TWSocketOption O) { return 1u << static_cast<unsigned>(O); }
  std::uint32_t FBits = 0;
};

using TDataAvailable = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TDataSent = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TSessionClosed = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TSessionAvailable = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TSessionConnected = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TDnsLookupDone = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TSendData = std::function<void(TObject* Sender, std::int32_t BytesSent)>;
using TChangeState = std::function<void(TObject* Sender, TSocketState OldState, TSocketState NewState)>;
using TBgExceptionEvent = std::function<void(TObject* Sender, Exception& E, bool& CanClose)>;

// The socket's private window messages.
constexpr std::uint32_t WM_SOCKET_EVENT = 0x401;
constexpr std::uint32_t WM_NAME_LOOKUP_DONE = 0x402;
constexpr std::uint32_t WM_ADDR_LOOKUP_DONE = 0x403;
constexpr std::uint32_t WM_CLOSE_LATER = 0x404;
constexpr std::uint32_t WM_FREE_LATER = 0x405;
constexpr std::uint32_t WM_RAISE_TEST = 0x406;

extern const char* const SocketWindowClass;  // "XSocketWindowClass"

// Seconds and microseconds, as the system's time value.
struct TTimeVal {
  std::int32_t tv_sec = 0;
  std::int32_t tv_usec = 0;
};

class TCustomWSocket : public TComponent {
 public:
  using Socket = plat::sock::Socket;

  explicit TCustomWSocket(TComponent* AOwner);
  ~TCustomWSocket() override;
  const char* ClassName() const override { return "TCustomWSocket"; }

  // Properties. Each setter of a connection property works only while closed.
  const std::string& Addr() const { return FAddrStr; }
  void SetAddr(const std::string& Value);
  const std::string& Port() const { return FPortStr; }
  const std::string& Proto() const { return FProtoStr; }
  const std::string& LocalAddr() const { return FLocalAddr; }
  void SetLocalAddr(const std::string& Value);
  const std::string& LocalPort() const { return FLocalPortStr; }
  void SetLocalPort(const std::string& Value);
  const std::string& DnsResult() const { return FDnsResult; }
  const TStrings& DnsResultList() const { return FDnsResultList; }
  TSocketState State() const { return FState; }
  std::int32_t ReadCount() const { return FReadCount; }
  std::int32_t LastError() const { return FLastError; }
  Socket HSocket() const { return FHSocket; }
  plat::WindowHandle Handle() const { return FWindowHandle; }
  bool MultiThreaded() const { return FMultiThreaded; }
  void SetMultiThreaded(bool Value) { FMultiThreaded = Value; }
  bool MultiCast() const { return FMultiCast; }
  void SetMultiCast(bool Value) { FMultiCast = Value; }
  const std::string& MultiCastAddrStr() const { return FMultiCastAddrStr; }
  void SetMultiCastAddrStr(const std::string& Value) { FMultiCastAddrStr = Value; }
  std::int32_t MultiCastIpTTL() const { return FMultiCastIpTTL; }
  void SetMultiCastIpTTL(std::int32_t Value) { FMultiCastIpTTL = Value; }
  bool ReuseAddr() const { return FReuseAddr; }
  void SetReuseAddr(bool Value) { FReuseAddr = Value; }
  TWSocketOptions ComponentOptions() const { return FComponentOptions; }
  void SetComponentOptions(TWSocketOptions Value) { FComponentOptions = Value; }
  std::int32_t FlushTimeout() const { return FFlushTimeout; }
  void SetFlushTimeout(std::int32_t Value) { FFlushTimeout = Value; }
  TSocketSendFlags SendFlags();
  void SetSendFlags(TSocketSendFlags Value);
  TSocketLingerOnOff LingerOnOff() const { return FLingerOnOff; }
  void SetLingerOnOff(TSocketLingerOnOff Value) { FLingerOnOff = Value; }
  std::int32_t LingerTimeout() const { return FLingerTimeout; }
  void SetLingerTimeout(std::int32_t Value) { FLingerTimeout = Value; }

  // The virtual operations, in the order of the class's table; the layers
  // above override some and append their own after these.
 protected:
  virtual void HandleNotification(TMessage& Msg);
  virtual void CreateNotifyWindow();
  virtual void DestroyNotifyWindow();
  virtual void ResetDefaults();
  virtual void DoClose(bool Shut, std::uint16_t Error);

 public:
  virtual void SetPort(const std::string& Value);
  virtual void SetProto(const std::string& Value);
  virtual std::int32_t RcvdCount();

 protected:
  virtual void BindLocal();
  virtual int SendBlock(const void* Data, int Length);
  virtual void ReportErrorFmt(const char* Fmt, ...) __attribute__((format(printf, 2, 3)));
  virtual void ReportError(const std::string& Message);
  virtual void HandleEventException(Exception& E);
  virtual bool FireDataAvailable(std::uint16_t Error);
  virtual void FireSessionAvailable(std::uint16_t Error);
  virtual void FireSessionConnected(std::uint16_t Error);
  virtual void FireSessionClosed(std::uint16_t Error);
  virtual void FireDataSent(std::uint16_t Error);
  virtual void FireChangeState(TSocketState OldState, TSocketState NewState);
  virtual void FireDnsLookupDone(std::uint16_t Error);
  virtual void FireError();
  virtual int RawRecv(void* Buffer, int Length, int Flags);
  virtual int RawRecvFrom(Socket H, void* Buffer, int Length, int Flags, plat::sock::SockAddr* From,
                          int* FromLength);

 public:
  virtual void Connect();
  virtual void Close();
  virtual void CloseLater();
  virtual void FreeLater();
  virtual void Abort();
  virtual void Flush();
  virtual void WaitForClose();
  virtual void Listen();
  virtual Socket Accept();
  virtual int Receive(void* Buffer, int Length);
  virtual std::string ReceiveText();
  virtual int ReceiveFrom(void* Buffer, int Length, plat::sock::SockAddr* From, int* FromLength);
  virtual int Send(const void* Data, int Length);
  virtual int SendTo(const plat::sock::SockAddr* Dest, int DestLength, const void* Data, int Length);
  virtual int SendText(const std::string& Text);
  virtual void DnsLookup(const std::string& HostName);
  virtual void ReverseDnsLookup(const std::string& HostAddr);
  virtual void StopDnsLookup();
  virtual std::string PeerAddr();
  virtual std::string PeerPort();
  virtual int GetPeerName(plat::sock::SockAddrIn& Name, int& NameLength);
  virtual std::string LocalPortNow();
  virtual std::string LocalAddrNow();
  virtual bool TimeValIsSet(const TTimeVal& Tv);
  virtual void TimeValClear(TTimeVal& Tv);
  virtual bool TimeValCompare(const TTimeVal& A, const TTimeVal& B, bool WantEqual);
  virtual int GetLocalName(plat::sock::SockAddrIn& Name, int& NameLength);
  virtual void Dup(Socket NewHSocket);
  virtual void Shutdown(int How);
  virtual int SuspendEvents();
  virtual int ResumeEvents();
  virtual void PumpSocketMessages();

 protected:
  // Bytes a layer holds for the caller to read beyond what the system holds;
  // the receive loop goes on while there are any.
  virtual std::int32_t HeldCount() { return 0; }
  // The bytes the system holds for reading: 0, or the error number of the
  // query. Everything that asks the system goes through here, so that a
  // test can put bytes in the system's place.
  virtual int QueryPending(std::uint32_t& Pending);
  // Forgets what belongs to the connection the socket held (the send chain,
  // what the layers above hold of it, its reported close), keeping what the
  // caller set; before another connection is adopted in its place.
  virtual void DiscardConnection();

 public:

  // Events; each fires only when set.
  TChangeState OnChangeState;
  TSessionConnected OnSessionConnected;
  TDataAvailable OnDataAvailable;
  TDataSent OnDataSent;
  TSendData OnSendData;
  TSessionClosed OnSessionClosed;
  TSessionAvailable OnSessionAvailable;
  TDnsLookupDone OnDnsLookupDone;
  TNotifyEvent OnError;
  TBgExceptionEvent OnBgException;

 protected:
  // Whether the socket an operation began on is still there, and not being
  // destroyed since it began. Any call that fires an event or pumps messages
  // may close, reconnect or free the socket: take one before such a call and
  // ask it afterwards, before touching the object again.
  class TLifeCheck {
   public:
    bool Lives() const { return *FLife == FSeen; }

   private:
    friend class TCustomWSocket;
    explicit TLifeCheck(const std::shared_ptr<int>& Life) : FLife(Life), FSeen(*Life) {}
    std::shared_ptr<int> FLife;
    int FSeen;
  };
  TLifeCheck LifeCheck() const { return TLifeCheck(FLife); }

  // Whether the socket lives and still holds the connection it held when
  // this was taken: not closed, aborted or replaced by Dup since. What a
  // step of one connection does after an event is for that connection only.
  class TConnectionCheck {
   public:
    bool Holds() const { return FLife.Lives() && FSocket->FClosedHandles == FSeen; }

   private:
    friend class TCustomWSocket;
    explicit TConnectionCheck(const TCustomWSocket* Socket)
        : FLife(Socket->LifeCheck()), FSocket(Socket), FSeen(Socket->FClosedHandles) {}
    TLifeCheck FLife;
    const TCustomWSocket* FSocket;
    std::uint32_t FSeen;
  };
  TConnectionCheck ConnectionCheck() const { return TConnectionCheck(this); }

  // Code is the socket error number of the failed call; without it, the
  // number is read now, so call it right after the call that failed.
  void ReportSocketError(const std::string& FunctionName);
  void ReportSocketError(const std::string& FunctionName, int Code);
  void SetState(TSocketState NewState);
  void ReceiveLoop(std::uint16_t Error, TWSocketOptions Options);
  void TryToSend();
  void QueueSendData(const void* Data, int Length);
  void DiscardSendQueue();
  bool ApplyLinger();

  // What the layers above share with this one.
  std::string FAddrStr;
  std::string FPortStr;
  std::string FProtoStr;
  std::int32_t FPortNum = 0;
  bool FAddrAssigned = false;
  bool FAddrResolved = false;
  bool FPortAssigned = false;
  bool FPortResolved = false;
  bool FProtoAssigned = false;
  plat::sock::SockAddrIn FSin{};  // where Connect connects and Listen binds
  Socket FHSocket = plat::sock::InvalidSocket;
  TSocketState FState = wsClosed;
  bool FQuitSeen = false;

 private:
  static plat::LResult WindowProc(plat::WindowHandle Window, std::uint32_t Msg, plat::WParam wParam,
                                  plat::LParam lParam);
  void HandleSocketEvent(TMessage& Msg);
  void HandleNameLookupDone(TMessage& Msg);
  void HandleAddrLookupDone(TMessage& Msg);
  void SetConnectionText(const std::string& Value, std::string& Text, bool& Assigned, bool& Resolved,
                         const char* Name);
  void ResolveConnectionTexts(bool ForListen);
  // What Connect and Listen begin with: the texts resolved, the send chain
  // emptied and a system socket opened; false, reported, when one fails.
  bool OpenHandle(bool ForListen);
  bool SetUpDatagram();
  // Closes the handle of a Listen that failed, then reports the failure.
  void FailListen(const char* What, int Code);
  bool SetOption(int Level, int Name, int Value, const char* What);
  // Closes the system handle and forgets it, with the notifications of it
  // that are still queued: a later handle of the same value must not get
  // them. 0, or the error number of the close; a close that would block
  // keeps the handle.
  int CloseHandle();
  // The same, but never keeps the handle.
  void CloseHandleAtOnce();
  void DropQueuedEvents();
  // The drain of the send chain; TryToSend runs it unless one is running.
  void Drain();

  std::string FDnsResult;
  TStringList FDnsResultList;
  Socket FASocket = plat::sock::InvalidSocket;
  TBufferList FSendChain;
  std::int32_t FSendBlockSize = 1460;
  std::int32_t FSendFlagBits = 0;
  std::int32_t FLastError = 0;
  plat::WindowHandle FWindowHandle = 0;
  TNameLookup FLookup;
  int FAddressFamily = plat::sock::AfInet;
  std::int32_t FProtoNumber = 6;
  bool FProtoResolved = false;
  bool FLocalPortResolved = false;
  std::string FLocalPortStr;
  std::int32_t FLocalPortNum = 0;
  std::string FLocalAddr;
  std::int32_t FSocketType = plat::sock::SockStream;
  TSocketLingerOnOff FLingerOnOff = wsLingerOn;
  std::int32_t FLingerTimeout = 0;
  bool FSendDone = true;
  std::int32_t FReadCount = 0;
  bool FEventsSuspended = false;
  bool FCloseReported = false;
  std::int32_t FFlushTimeout = 60;
  bool FMultiThreaded = false;
  bool FMultiCast = false;
  std::string FMultiCastAddrStr;
  std::int32_t FMultiCastIpTTL = 1;
  bool FReuseAddr = false;
  TWSocketOptions FComponentOptions;
  std::int32_t FEventMask = 0;
  int FDraining = 0;  // drains running, nested ones included
  // Counts the handles forgotten: the next handle may have the same value,
  // and a step that began on a connection must not go on with the next one.
  std::uint32_t FClosedHandles = 0;
  // The block the running send call takes its bytes from: they leave it
  // before OnSendData fires, so that a handler may send or flush.
  TBuffer* FSendingFrom = nullptr;
  // 0 while the object lives, 1 while it is destroyed, 2 once it is gone.
  std::shared_ptr<int> FLife = std::make_shared<int>(0);
};

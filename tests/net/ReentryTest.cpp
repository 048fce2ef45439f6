// What a handler may do to the socket that called it (close it, abort it,
// reconnect it, flush it, free it), and what a pump inside an operation may
// do to it. Some paths need the socket library to answer in a way a loopback
// peer cannot make it: a close that would block, an error number that is
// gone once read. Test doubles stand in for single library functions there.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "NetTestSupport.h"

using namespace nettest;
using plat::sock::Socket;

namespace {

using Events = std::vector<std::string>;

// closesocket: refuses with would-block while WouldBlockCloses lasts, then
// closes; every call is recorded.
int WouldBlockCloses = 0;
std::vector<Socket> CloseCalls;
plat::sock::Fnclosesocket RealCloseSocket = nullptr;

int DRAVIN_WSAAPI CloseSocketDouble(Socket S) {
  CloseCalls.push_back(S);
  if (WouldBlockCloses > 0) {
    --WouldBlockCloses;
    wsock::WSASetLastError(plat::sock::WsaEWouldBlock);
    return plat::sock::SocketError;
  }
  return RealCloseSocket(S);
}

class CloseDouble {
 public:
  explicit CloseDouble(int WouldBlock) : FDouble("closesocket", CloseSocketDouble) {
    RealCloseSocket = FDouble.Real();
    WouldBlockCloses = WouldBlock;
    CloseCalls.clear();
  }

 private:
  SocketFunctionDouble<plat::sock::Fnclosesocket> FDouble;
};

// A library whose error number is gone once read, as the thread's last error
// is gone after the next system call: a caller must read it once, right
// after the call that failed. FailWith makes the doubles below fail.
int ForgetfulError = 0;
int FailWith = 0;

int DRAVIN_WSAAPI ForgetfulGetLastError() { return std::exchange(ForgetfulError, 0); }

int DRAVIN_WSAAPI FailingCloseSocket(Socket S) {
  RealCloseSocket(S);
  ForgetfulError = FailWith;
  return plat::sock::SocketError;
}

int DRAVIN_WSAAPI FailingCancel(plat::sock::AsyncHandle) {
  ForgetfulError = FailWith;
  return plat::sock::SocketError;
}

// Ends a pump loop that would never end by itself: past the time limit the
// socket is aborted, which ends Flush's loop.
class LimitedPumpSocket : public TWSocket {
 public:
  using TWSocket::TWSocket;
  bool HitTheLimit = false;
  std::uint64_t Start = 0;

  void PumpSocketMessages() override {
    if (Start && plat::TickCount() - Start > 20000) {
      HitTheLimit = true;
      Abort();
      return;
    }
    TWSocket::PumpSocketMessages();
  }
};

class ReentryTest : public PeerTest {
 protected:
  // Connected, with the connection's first notifications handled.
  static void Connect(TCustomWSocket& S, const std::string& Port) {
    ConnectTo(S, Port);
    ASSERT_TRUE(PumpUntil([&] { return S.State() == wsConnected; }));
    Sentinel Queue;
    ASSERT_TRUE(Queue.PumpThroughQueue());
  }
};

}  // namespace

TEST_F(ReentryTest, EveryConnectionReportsItsCloseExactlyOnce) {
  // The read that finds the end of the data runs in the delivery of the
  // close notification; the handler closes the socket from there.
  for (bool AbortIt : {false, true}) {
    SCOPED_TRACE(AbortIt ? "Abort" : "Close");
    TWSocket S(nullptr);
    int Closed = 0;
    std::string Received;
    S.OnSessionClosed = [&](TObject*, std::uint16_t) { ++Closed; };
    S.OnSessionConnected = [&](TObject*, std::uint16_t E) {
      if (E == 0) S.SendText("SEND 100\r\n");
    };
    S.OnDataAvailable = [&](TObject*, std::uint16_t) {
      char Buffer[4096];
      const int N = S.Receive(Buffer, sizeof Buffer);
      if (N > 0) Received.append(Buffer, static_cast<std::size_t>(N));
      if (N == 0) AbortIt ? S.Abort() : S.Close();
    };
    for (int Connection = 1; Connection <= 3; ++Connection) {
      SCOPED_TRACE(Connection);
      Closed = 0;
      Received.clear();
      ConnectTo(S, CommandPort());
      ASSERT_TRUE(PumpUntil([&] { return S.State() == wsClosed; }));
      Sentinel Queue;
      ASSERT_TRUE(Queue.PumpThroughQueue());
      EXPECT_EQ(Closed, 1);
      EXPECT_EQ(Received, Pattern(100));
    }
  }
}

TEST_F(ReentryTest, ASessionClosedHandlerMayStartTheNextConnection) {
  // As a client does that follows a relocation.
  TWSocket S(nullptr);
  std::vector<std::uint16_t> Closes;
  std::string Received;
  S.OnSessionConnected = [&](TObject*, std::uint16_t) { S.SendText("SEND 100\r\n"); };
  S.OnDataAvailable = [&](TObject*, std::uint16_t) { Received += S.ReceiveText(); };
  S.OnSessionClosed = [&](TObject*, std::uint16_t E) {
    Closes.push_back(E);
    if (Closes.size() == 1) {
      S.Close();
      ConnectTo(S, CommandPort());
    }
  };
  ConnectTo(S, CommandPort());
  ASSERT_TRUE(PumpUntil([&] { return Closes.size() == 2 && S.State() == wsClosed; }));
  Sentinel Queue;
  ASSERT_TRUE(Queue.PumpThroughQueue());
  EXPECT_EQ(Closes, (std::vector<std::uint16_t>{0, 0}));
  EXPECT_EQ(Received, Pattern(100) + Pattern(100));
}

TEST_F(ReentryTest, AfterSessionClosedNothingOfTheConnectionFollows) {
  enum How { CloseInSend, AbortInSend, CloseInWriteNotification, SendAfterReset };
  const struct {
    const char* Name;
    How Way;
  } Cases[] = {
      {"Close from OnSendData inside Send", CloseInSend},
      {"Abort from OnSendData inside Send", AbortInSend},
      {"Close from OnSendData of a write notification", CloseInWriteNotification},
      {"a send that meets the peer's reset", SendAfterReset},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TWSocket S(nullptr);
    if (C.Way == CloseInWriteNotification)
      S.OnChangeState = [&](TObject*, TSocketState, TSocketState New) {
        if (New == wsOpened) wsock::setsockopt(S.HSocket(), plat::sock::SolSocket, plat::sock::SoSndBuf, 2048);
      };
    EventLog Log;
    Connect(S, C.Way == CloseInWriteNotification ? SlowPort() : CommandPort());
    Log.Attach(S);
    if (C.Way == CloseInWriteNotification) {
      ASSERT_TRUE(SendUntilHeldBack(S));
    }
    if (C.Way != SendAfterReset)
      S.OnSendData = [&](TObject*, std::int32_t) {
        if (C.Way == AbortInSend) S.Abort();
        else S.Close();
      };
    switch (C.Way) {
      case CloseInSend:
      case AbortInSend: S.SendText("HOLD\r\n"); break;
      case CloseInWriteNotification: break;
      case SendAfterReset: {
        S.SendText("RESET 0\r\n");
        Sentinel Queue;
        ASSERT_TRUE(Queue.PumpThroughQueue());
        // The reset arrives meanwhile, and what it posts stays unhandled (where
        // it is handled already, the send is refused instead): a look at the
        // connection, which reads nothing, sees it come.
        char Byte;
        const std::uint64_t Start = plat::TickCount();
        while (wsock::recv(S.HSocket(), &Byte, 1, plat::sock::MsgPeek) < 0 &&
               wsock::WSAGetLastError() == plat::sock::WsaEWouldBlock && plat::TickCount() - Start < 10000)
          plat::Sleep(1);
        S.OnError = [](TObject*) {};
        S.SendText("x");
        break;
      }
    }
    ASSERT_TRUE(PumpUntil([&] { return S.State() == wsClosed; }));
    Sentinel Queue;
    ASSERT_TRUE(Queue.PumpThroughQueue());
    ExpectNothingAfterTheClose(Log.Events);
  }
}

TEST_F(ReentryTest, FlushFromOnSendDataSendsEverything) {
  LimitedPumpSocket S(nullptr);
  std::string Answer;
  S.OnDataAvailable = [&](TObject*, std::uint16_t) { Answer += S.ReceiveText(); };
  Connect(S, CommandPort());
  long long Sent = 0;
  int Flushes = 0;
  S.OnSendData = [&](TObject*, std::int32_t N) {
    Sent += N;
    if (Flushes++ == 0) S.Flush();
  };
  const std::string Data = Pattern(50000);
  const std::string Request = "COUNT 50000\r\n" + Data;
  S.Start = plat::TickCount();
  EXPECT_EQ(S.SendText(Request), static_cast<int>(Request.size()));
  S.Start = 0;
  EXPECT_FALSE(S.HitTheLimit) << "Flush never ended";
  EXPECT_EQ(Sent, static_cast<long long>(Request.size()));
  ASSERT_TRUE(PumpUntil([&] { return Answer.find("\r\n") != std::string::npos; }));
  EXPECT_EQ(Answer.substr(0, 10), "GOT 50000 ");
  S.Close();
}

TEST_F(ReentryTest, ASocketFreedByThePumpOfAnOperationIsNotTouchedAgain) {
  enum Where { InClose, InFlush };
  for (Where W : {InClose, InFlush}) {
    SCOPED_TRACE(W == InClose ? "a close that would block" : "Flush");
    TComponent Owner(nullptr);
    auto* S = new TWSocket(&Owner);
    if (W == InFlush)
      S->OnChangeState = [S](TObject*, TSocketState, TSocketState New) {
        if (New == wsOpened) wsock::setsockopt(S->HSocket(), plat::sock::SolSocket, plat::sock::SoSndBuf, 2048);
      };
    Connect(*S, SlowPort());
    S->OnChangeState = nullptr;
    if (W == InClose) {
      CloseDouble Closes(1);
      S->FreeLater();
      S->Close();
      // Refused once, then closed by the destructor that ran in the pump.
      EXPECT_EQ(CloseCalls.size(), 2u);
    } else {
      ASSERT_TRUE(SendUntilHeldBack(*S));
      S->FreeLater();
      S->Flush();
    }
    EXPECT_EQ(Owner.ComponentCount(), 0);
  }
}

TEST_F(ReentryTest, DestroyingASocketFiresNothingAndDeliversNothingToIt) {
  for (bool CloseWouldBlock : {false, true}) {
    SCOPED_TRACE(CloseWouldBlock ? "the close would block" : "plain");
    TComponent Owner(nullptr);
    auto* S = new TWSocket(&Owner);
    Connect(*S, CommandPort());
    S->SendText("HOLD\r\n");
    EventLog Log;
    Log.Attach(*S);
    // The owner's half is gone by the time the socket's destructor runs.
    S->OnChangeState = [&](TObject*, TSocketState, TSocketState) { Log.Add("ChangeState"); };
    CloseDouble Closes(CloseWouldBlock ? 1 : 0);
    // Queued for a socket that is gone when it is handled.
    S->FreeLater();
    delete S;
    EXPECT_EQ(Log.Events, Events{});
    EXPECT_EQ(CloseCalls.size(), CloseWouldBlock ? 2u : 1u);
    Sentinel Queue;
    ASSERT_TRUE(Queue.PumpThroughQueue());
    EXPECT_EQ(Log.Events, Events{});
  }
}

TEST_F(ReentryTest, AConnectionClosedByAnErrorKeepsNoHandle) {
  // A send while connecting fails with 10057, which closes the socket; the
  // system refuses the first close with would-block.
  TWSocket S(nullptr);
  EventLog Log;
  Log.Attach(S);
  int Errors = 0;
  S.OnError = [&](TObject*) { ++Errors; };
  ConnectTo(S, CommandPort());
  ASSERT_EQ(S.State(), wsConnecting);
  Socket Handle = S.HSocket();
  {
    CloseDouble Closes(1);
    EXPECT_EQ(S.Send("x", 1), -1);
    ASSERT_GE(CloseCalls.size(), 2u);
    EXPECT_EQ(CloseCalls.back(), Handle);
  }
  EXPECT_EQ(Errors, 1);
  EXPECT_EQ(S.State(), wsClosed);
  EXPECT_EQ(S.HSocket(), plat::sock::InvalidSocket);
  // The connect that was under way reports nothing any more.
  Sentinel Queue;
  ASSERT_TRUE(Queue.PumpThroughQueue());
  const Events Expected{"ChangeState(wsClosed,wsOpened)", "ChangeState(wsOpened,wsConnecting)",
                        "SessionClosed(10057)", "ChangeState(wsConnecting,wsClosed)"};
  EXPECT_EQ(Log.Events, Expected);
}

TEST_F(ReentryTest, ACloseThatFailsStillEndsTheConnection) {
  // The system let go of the handle and says the close failed: the close is
  // reported all the same, once, and then the failure.
  TWSocket S(nullptr);
  std::vector<std::string> Seen;
  S.OnSessionClosed = [&](TObject*, std::uint16_t E) { Seen.push_back("SessionClosed(" + std::to_string(E) + ")"); };
  S.OnError = [&](TObject*) { Seen.push_back("Error(" + std::to_string(S.LastError()) + ")"); };
  Connect(S, CommandPort());
  RealCloseSocket = reinterpret_cast<plat::sock::Fnclosesocket>(LoadSocketFunction("closesocket"));
  FailWith = 10050;
  {
    SocketFunctionDouble<plat::sock::FnWSAGetLastError> Forgetful("WSAGetLastError", ForgetfulGetLastError);
    SocketFunctionDouble<plat::sock::Fnclosesocket> Close("closesocket", FailingCloseSocket);
    S.Close();
  }
  EXPECT_EQ(S.State(), wsClosed);
  EXPECT_EQ(S.HSocket(), plat::sock::InvalidSocket);
  EXPECT_EQ(Seen, (std::vector<std::string>{"SessionClosed(0)", "Error(10050)"}));
}

TEST_F(ReentryTest, TheErrorOfAFailedCallIsReadRightAfterIt) {
  TWSocket S(nullptr);
  S.OnDnsLookupDone = [](TObject*, std::uint16_t) {};
  Connect(S, CommandPort());
  RealCloseSocket = reinterpret_cast<plat::sock::Fnclosesocket>(LoadSocketFunction("closesocket"));
  FailWith = 10050;
  const struct {
    const char* Name;
    std::function<void()> Call;
    const char* Error;
  } Cases[] = {
      {"closesocket", [&] { S.Close(); }, "Error 10050 in function Disconnect (closesocket)\r\nNetwork is down"},
      {"WSACancelAsyncRequest",
       [&] {
         S.DnsLookup("localhost");
         S.StopDnsLookup();
       },
       "Error 10050 in function WSACancelAsyncRequest\r\nNetwork is down"},
  };
  SocketFunctionDouble<plat::sock::FnWSAGetLastError> Forgetful("WSAGetLastError", ForgetfulGetLastError);
  SocketFunctionDouble<plat::sock::Fnclosesocket> Close("closesocket", FailingCloseSocket);
  SocketFunctionDouble<plat::sock::FnWSACancelAsyncRequest> Cancel("WSACancelAsyncRequest", FailingCancel);
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(ErrorOf(C.Call), C.Error);
    EXPECT_EQ(S.LastError(), 10050);
  }
}

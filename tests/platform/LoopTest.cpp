// The message loop of the seam, in both builds: hidden windows, posting from
// other threads, timers, exceptions across dispatch, and the application loop.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "framework/Application.h"
#include "framework/MessagePump.h"
#include "framework/Timer.h"
#include "platform/Platform.h"

namespace {

struct Received {
  std::uint32_t Msg;
  plat::WParam W;
  plat::LParam L;
  bool operator==(const Received& O) const { return Msg == O.Msg && W == O.W && L == O.L; }
};

// A window whose messages above MsgUser are recorded; 0x4FF raises.
struct Recorder {
  std::vector<Received> Seen;
  plat::WindowHandle Window = 0;

  Recorder() {
    Window = AllocateHWnd([this](TMessage& M) {
      if (M.Msg == 0x4FF) throw EInvalidOperation("raised in a handler");
      if (M.Msg >= plat::MsgUser) {
        Seen.push_back({M.Msg, M.wParam, M.lParam});
        M.Result = static_cast<plat::LResult>(M.wParam) * 2;
      } else {
        DefaultHandler(M);
      }
    });
  }
  ~Recorder() { DeallocateHWnd(Window); }
};

using testsupport::DrainQueue;
using testsupport::PumpUntil;

}  // namespace

TEST(MessageLoop, PostedMessagesArriveInOrderWithTheirParameters) {
  Recorder R;
  ASSERT_NE(R.Window, 0u);
  ASSERT_TRUE(plat::PostMessage(R.Window, 0x401, 7, -3));
  ASSERT_TRUE(plat::PostMessage(R.Window, 0x402, 0xFFFFFFFF, 1 << 20));
  ASSERT_TRUE(plat::PostMessage(R.Window, 0x406, 0, 0));
  EXPECT_TRUE(R.Seen.empty());  // nothing before the loop runs
  plat::Message Peeked;
  ASSERT_TRUE(plat::PeekMessage(Peeked, false));
  EXPECT_EQ(Peeked.Msg, 0x401u);
  DrainQueue();
  const std::vector<Received> Expected = {{0x401, 7, -3}, {0x402, 0xFFFFFFFF, 1 << 20}, {0x406, 0, 0}};
  EXPECT_EQ(R.Seen, Expected);
  EXPECT_EQ(plat::SendMessage(R.Window, 0x403, 21, 0), 42);
}

TEST(MessageLoop, PostsFromOtherThreadsAreHandledOnTheWindowsThread) {
  Recorder R;
  const auto Owner = std::this_thread::get_id();
  std::atomic<bool> WrongThread{false};
  plat::WindowHandle W = AllocateHWnd([&](TMessage& M) {
    if (std::this_thread::get_id() != Owner) WrongThread = true;
    if (M.Msg >= plat::MsgUser) R.Seen.push_back({M.Msg, M.wParam, M.lParam});
  });
  std::vector<std::thread> Posters;
  for (int T = 0; T < 4; ++T)
    Posters.emplace_back([W, T] {
      for (int I = 0; I < 50; ++I) plat::PostMessage(W, 0x402, static_cast<plat::WParam>(T), I);
    });
  for (auto& P : Posters) P.join();
  // The owner may be waiting inside GetMessage when the posts arrive.
  plat::Message M;
  int Got = 0;
  while (Got < 200 && plat::GetMessage(M)) {
    plat::DispatchMessage(M);
    if (M.Msg == 0x402) ++Got;
  }
  EXPECT_EQ(Got, 200);
  EXPECT_FALSE(WrongThread);
  // Each poster's messages keep their order.
  std::vector<int> Last(4, -1);
  for (const Received& X : R.Seen) {
    EXPECT_EQ(X.L, Last[X.W] + 1);
    Last[X.W] = static_cast<int>(X.L);
  }
  DeallocateHWnd(W);
}

TEST(MessageLoop, AWakeFromAnotherThreadEndsAWait) {
  Recorder R;
  // A post that does not wake the loop leaves the wait to this timer, which
  // ends it (and the test) late instead of never.
  ASSERT_TRUE(plat::SetTimer(R.Window, 1, 5000));
  std::thread Later([W = R.Window] {
    plat::Sleep(50);  // the loop is waiting by then
    plat::PostMessage(W, 0x405, 1, 2);
  });
  const std::uint64_t Start = plat::TickCount();
  plat::WaitMessage();
  const std::uint64_t Waited = plat::TickCount() - Start;
  Later.join();
  plat::KillTimer(R.Window, 1);
  EXPECT_LT(Waited, 3000u);
  DrainQueue();
  EXPECT_EQ(R.Seen, (std::vector<Received>{{0x405, 1, 2}}));
}

TEST(MessageLoop, DestroyedWindowsTakeNoMoreMessages) {
  // What each window's procedure was handed, the destruction included; it
  // outlives the windows, so a message that reaches a destroyed one shows.
  static std::vector<std::pair<plat::WindowHandle, std::uint32_t>> Handed;
  Handed.clear();
  auto Proc = [](plat::WindowHandle W, std::uint32_t Msg, plat::WParam, plat::LParam) -> plat::LResult {
    if (Msg >= plat::MsgUser || Msg == plat::MsgDestroy) Handed.emplace_back(W, Msg);
    return 1;
  };
  const char* Name = "LoopTestDestroyed";
  ASSERT_TRUE(plat::RegisterWindowClass(Name, Proc));
  const plat::WindowHandle Gone = plat::CreateHiddenWindow(Name), Stays = plat::CreateHiddenWindow(Name);
  ASSERT_NE(Gone, 0u);
  ASSERT_NE(Stays, 0u);
  plat::PostMessage(Gone, 0x401, 0, 0);
  plat::PostMessage(Stays, 0x402, 0, 0);
  plat::PostMessage(Gone, 0x403, 0, 0);
  plat::DestroyWindow(Gone);  // two of its messages are still queued
  EXPECT_FALSE(plat::IsWindow(Gone));
  EXPECT_TRUE(plat::IsWindow(Stays));
  EXPECT_FALSE(plat::PostMessage(Gone, 0x404, 0, 0));
  EXPECT_EQ(plat::SendMessage(Gone, 0x405, 0, 0), 0);
  // A window made now is another window, whatever handle it gets.
  const plat::WindowHandle Fresh = plat::CreateHiddenWindow(Name);
  ASSERT_NE(Fresh, 0u);
  DrainQueue();
  const std::vector<std::pair<plat::WindowHandle, std::uint32_t>> Expected = {{Gone, plat::MsgDestroy},
                                                                               {Stays, 0x402}};
  EXPECT_EQ(Handed, Expected);
  plat::DestroyWindow(Stays);
  plat::DestroyWindow(Fresh);
  EXPECT_TRUE(plat::UnregisterWindowClass(Name));
}

TEST(MessageLoop, AnExceptionInAHandlerComesOutOfDispatch) {
  Recorder R;
  plat::PostMessage(R.Window, 0x4FF, 0, 0);
  plat::PostMessage(R.Window, 0x401, 1, 0);
  plat::Message M;
  ASSERT_TRUE(plat::PeekMessage(M, true));
  EXPECT_THROW(plat::DispatchMessage(M), EInvalidOperation);
  // The loop is intact afterwards.
  DrainQueue();
  EXPECT_EQ(R.Seen, (std::vector<Received>{{0x401, 1, 0}}));
  EXPECT_THROW(plat::SendMessage(R.Window, 0x4FF, 0, 0), EInvalidOperation);
}

TEST(MessageLoop, QuitEndsGetMessage) {
  plat::PostQuitMessage(3);
  plat::Message M;
  EXPECT_FALSE(plat::GetMessage(M));
  EXPECT_EQ(M.Msg, plat::MsgQuit);
  EXPECT_EQ(M.wParam, 3u);
}

TEST(MessageLoop, WindowClassesAndTheirData) {
  static int Calls = 0;
  auto Proc = [](plat::WindowHandle W, std::uint32_t Msg, plat::WParam, plat::LParam) -> plat::LResult {
    if (Msg != 0x401) return 0;
    ++Calls;
    return reinterpret_cast<plat::LResult>(plat::GetWindowData(W));
  };
  const char* Name = "LoopTestClass";
  ASSERT_FALSE(plat::IsWindowClassRegistered(Name));
  ASSERT_TRUE(plat::RegisterWindowClass(Name, Proc));
  EXPECT_TRUE(plat::IsWindowClassRegistered("looptestclass"));  // names ignore case
  plat::WindowHandle W = plat::CreateHiddenWindow(Name);
  ASSERT_NE(W, 0u);
  int Marker = 0;
  plat::SetWindowData(W, &Marker);
  EXPECT_EQ(plat::SendMessage(W, 0x401, 0, 0), reinterpret_cast<plat::LResult>(&Marker));
  EXPECT_EQ(Calls, 1);
  plat::DestroyWindow(W);
  EXPECT_TRUE(plat::UnregisterWindowClass(Name));
  EXPECT_FALSE(plat::IsWindowClassRegistered(Name));
  EXPECT_EQ(plat::CreateHiddenWindow("NoSuchClass"), 0u);
}

TEST(MessageLoop, EveryRegisteredClassMakesWindowsHoweverManyThereAre) {
  auto Proc = [](plat::WindowHandle W, std::uint32_t Msg, plat::WParam, plat::LParam) -> plat::LResult {
    return Msg == 0x401 ? reinterpret_cast<plat::LResult>(plat::GetWindowData(W)) : 0;
  };
  for (int I = 0; I < 100; ++I) {
    const std::string Name = "LoopTestMany" + std::to_string(I);
    ASSERT_TRUE(plat::RegisterWindowClass(Name.c_str(), Proc)) << I;
    const plat::WindowHandle W = plat::CreateHiddenWindow(Name.c_str());
    ASSERT_NE(W, 0u) << I;
    plat::SetWindowData(W, &I);
    EXPECT_EQ(plat::SendMessage(W, 0x401, 0, 0), reinterpret_cast<plat::LResult>(&I));
    plat::DestroyWindow(W);
    EXPECT_TRUE(plat::UnregisterWindowClass(Name.c_str()));
  }
}

TEST(MessageLoop, TimersRepeatRestartAndStop) {
  int Ticks = 0, Witness = 0;
  plat::WindowHandle W = AllocateHWnd([&](TMessage& M) {
    if (M.Msg == plat::MsgTimer && M.wParam == 9) ++Ticks;
    if (M.Msg == plat::MsgTimer && M.wParam == 10) ++Witness;
  });
  // Pumps until a second 20 ms timer of the window, started now, has ticked
  // four times: a 20 ms timer that still ran had its turns meanwhile.
  const auto FourWitnessTicks = [&] {
    Witness = 0;
    plat::SetTimer(W, 10, 20);
    const bool Ticked = PumpUntil([&] { return Witness >= 4; });
    plat::KillTimer(W, 10);
    return Ticked;
  };
  ASSERT_TRUE(plat::SetTimer(W, 9, 20));
  EXPECT_TRUE(PumpUntil([&] { return Ticks >= 3; }));
  ASSERT_TRUE(plat::KillTimer(W, 9));
  DrainQueue();
  const int After = Ticks;
  EXPECT_TRUE(FourWitnessTicks());
  EXPECT_EQ(Ticks, After);
  // Setting it again with a long interval restarts the countdown.
  plat::SetTimer(W, 9, 20);
  plat::SetTimer(W, 9, 60000);
  EXPECT_TRUE(FourWitnessTicks());
  EXPECT_EQ(Ticks, After);
  plat::KillTimer(W, 9);
  DeallocateHWnd(W);
}

TEST(MessageLoop, SleepAndTickCount) {
  const std::uint64_t Start = plat::TickCount();
  plat::Sleep(30);
  const std::uint64_t Spent = plat::TickCount() - Start;
  EXPECT_GE(Spent, 14u);  // ticks may come in steps of about 16 ms
  EXPECT_LT(Spent, 2000u);
}

// ---------------------------------------------------------------------------

TEST(Application, ProcessMessagesHandsExceptionsToOnExceptionAndGoesOn) {
  TApplication App(nullptr);
  ASSERT_EQ(Application, &App);
  std::vector<std::string> Handled;
  App.OnException = [&](TObject* Sender, Exception& E) { Handled.push_back(E.Message()); };
  Recorder R;
  plat::PostMessage(R.Window, 0x401, 1, 0);
  plat::PostMessage(R.Window, 0x4FF, 0, 0);
  plat::PostMessage(R.Window, 0x401, 2, 0);
  App.ProcessMessages();
  EXPECT_EQ(Handled, std::vector<std::string>{"raised in a handler"});
  EXPECT_EQ(R.Seen.size(), 2u);
  // It does not wait: an empty queue returns at once.
  const std::uint64_t Start = plat::TickCount();
  App.ProcessMessages();
  EXPECT_LT(plat::TickCount() - Start, 500u);
}

TEST(Application, OnMessageSeesMessagesFirst) {
  TApplication App(nullptr);
  Recorder R;
  App.OnMessage = [](plat::Message& M, bool& Handled) { Handled = M.wParam == 1; };
  plat::PostMessage(R.Window, 0x401, 1, 0);
  plat::PostMessage(R.Window, 0x401, 2, 0);
  App.ProcessMessages();
  EXPECT_EQ(R.Seen, (std::vector<Received>{{0x401, 2, 0}}));
}

TEST(Application, RunEndsWhenAHandlerTerminates) {
  TApplication App(nullptr);
  int Handled = 0;
  plat::WindowHandle W = AllocateHWnd([&](TMessage& M) {
    if (M.Msg != 0x401) return;
    if (++Handled == 3) App.Terminate();
    else plat::PostMessage(M.Window, 0x401, 0, 0);
  });
  plat::PostMessage(W, 0x401, 0, 0);
  App.Run();
  EXPECT_TRUE(App.Terminated());
  EXPECT_EQ(Handled, 3);
  DeallocateHWnd(W);
}

// Every pump of the program: what each quit rule does with the quit message
// that comes after two posted messages.
TEST(MessagePump, EachQuitRuleAndTheApplicationsOwn) {
  struct Case {
    const char* Name;
    TQuitRule Rule;
    bool StillQueued;  // the quit message, afterwards
  };
  const Case Cases[] = {
      {"report", TQuitRule::Report, false},
      {"keep", TQuitRule::Keep, true},
      {"drop", TQuitRule::Drop, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Recorder R;
    plat::PostQuitMessage(7);
    plat::PostMessage(R.Window, 0x401, 1, 0);
    plat::PostMessage(R.Window, 0x401, 2, 0);
    const TPumpResult Result = ProcessThreadMessages(C.Rule);
    EXPECT_TRUE(Result.QuitMet);
    EXPECT_EQ(Result.Handled, 2);
    EXPECT_EQ(R.Seen.size(), 2u);
    plat::Message M;
    if (C.StillQueued) {
      EXPECT_FALSE(plat::GetMessage(M));
      EXPECT_EQ(M.wParam, 7u);
    }
    EXPECT_FALSE(plat::PeekMessage(M, true)) << M.Msg;
  }
  {
    // The application's rule: reported, the application ends its loop.
    TApplication App(nullptr);
    Recorder R;
    plat::PostQuitMessage(0);
    plat::PostMessage(R.Window, 0x401, 1, 0);
    EXPECT_FALSE(ProcessWaitingMessages(TPumpQueue::Application, TQuitRule::Keep));
    EXPECT_TRUE(App.Terminated());
    EXPECT_EQ(R.Seen.size(), 1u);
  }
  // Without the application the thread's queue is drained by the rule given.
  plat::PostQuitMessage(0);
  EXPECT_TRUE(ProcessWaitingMessages(TPumpQueue::Application, TQuitRule::Drop));
  plat::Message M;
  EXPECT_FALSE(plat::PeekMessage(M, true));
  // A limit ends the pump early, the rest stays queued.
  Recorder R;
  for (int I = 0; I < 3; ++I) plat::PostMessage(R.Window, 0x401, I, 0);
  EXPECT_EQ(ProcessThreadMessages(TQuitRule::Drop, nullptr, 2).Handled, 2);
  EXPECT_EQ(R.Seen.size(), 2u);
  DrainQueue();
  EXPECT_EQ(R.Seen.size(), 3u);
}

TEST(MessagePump, PumpUntilAsksBeforeEveryTurnAndGivesUpAtItsLimit) {
  Recorder R;
  int Turns = 0;
  // Already done: no turn at all.
  EXPECT_TRUE(PumpUntil([] { return true; }, [&] { ++Turns; }));
  EXPECT_EQ(Turns, 0);
  // Done by what a turn handles; no sleep after the turn that made it so.
  plat::PostMessage(R.Window, 0x401, 1, 0);
  const std::uint64_t Before = plat::TickCount();
  EXPECT_TRUE(PumpUntil([&] { return !R.Seen.empty(); }, TPumpQueue::Thread, TQuitRule::Drop, 5000));
  EXPECT_LT(plat::TickCount() - Before, 4000u);
  // Never done: false once the limit has passed, after turns spaced by the sleep.
  const std::uint64_t Start = plat::TickCount();
  EXPECT_FALSE(PumpUntil([] { return false; }, [&] { ++Turns; }, 10, 100));
  EXPECT_GE(plat::TickCount() - Start, 100u);
  EXPECT_GE(Turns, 2);
  EXPECT_LE(Turns, 12);
}

TEST(Timer, FiresWhileEnabledAndStopsOtherwise) {
  TApplication App(nullptr);
  TComponent Owner(nullptr);
  auto* T = new TTimer(&Owner);
  EXPECT_TRUE(T->Enabled());
  EXPECT_EQ(T->Interval(), 1000u);
  int Fired = 0;
  T->OnTimer = [&](TObject* Sender) {
    EXPECT_EQ(Sender, T);
    if (++Fired == 2) throw EInvalidOperation("from OnTimer");
  };
  std::vector<std::string> Errors;
  App.OnException = [&](TObject*, Exception& E) { Errors.push_back(E.Message()); };
  T->SetInterval(20);
  EXPECT_TRUE(PumpUntil([&] { App.ProcessMessages(); return Fired >= 3; }));
  EXPECT_EQ(Errors, std::vector<std::string>{"from OnTimer"});
  // A second 20 ms timer, started now, ticks four times: one that still ran
  // had its turns meanwhile.
  const auto FourWitnessTicks = [&] {
    TTimer Witness(nullptr);
    int Ticks = 0;
    Witness.OnTimer = [&](TObject*) { ++Ticks; };
    Witness.SetInterval(20);
    return PumpUntil([&] { App.ProcessMessages(); return Ticks >= 4; });
  };
  T->SetEnabled(false);
  const int After = Fired;
  EXPECT_TRUE(FourWitnessTicks());
  EXPECT_EQ(Fired, After);
  T->SetEnabled(true);
  T->SetInterval(0);  // an interval of 0 never fires
  EXPECT_TRUE(FourWitnessTicks());
  EXPECT_EQ(Fired, After);
}

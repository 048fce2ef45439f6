// The name lookup of a socket on its own, through a hidden window of the
// test, without a socket object and without a peer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "NetTestSupport.h"
#include "net/NameLookup.h"

using namespace nettest;
using plat::sock::AsyncHandle;

namespace {

constexpr std::uint32_t AnswerMsg = plat::MsgUser + 11;

// Collects the answers that reach the window and what the lookup makes of them.
struct Answers {
  TNameLookup Lookup;
  std::vector<TMessage> Taken;
  int Others = 0;
  plat::WindowHandle Window = AllocateHWnd([this](TMessage& M) {
    if (M.Msg != AnswerMsg) return;
    if (Lookup.IsAnswer(M)) Taken.push_back(M);
    else ++Others;
  });
  ~Answers() { DeallocateHWnd(Window); }
};

// A library that answers inside the request call, as some stacks may.
AsyncHandle DRAVIN_WSAAPI AnswerAtOnce(plat::WindowHandle Window, unsigned Msg, const char*, char* Buffer, int) {
  auto* H = reinterpret_cast<plat::sock::HostEnt*>(Buffer);
  std::memset(H, 0, sizeof *H);
  plat::SendMessage(Window, Msg, 7, plat::sock::MakeSelectReply(0, 0));
  return reinterpret_cast<AsyncHandle>(7);
}

// A library that does not honour a cancel: the answer area is written later.
char* LateBuffer = nullptr;
int LateLength = 0;
AsyncHandle DRAVIN_WSAAPI AnswerLate(plat::WindowHandle, unsigned, const char*, char* Buffer, int Length) {
  LateBuffer = Buffer;
  LateLength = Length;
  return reinterpret_cast<AsyncHandle>(9);
}
int CancelResult = 0;
int DRAVIN_WSAAPI CancelButAnswerAllTheSame(AsyncHandle) {
  if (CancelResult == 0) return 0;
  wsock::WSASetLastError(CancelResult);
  return plat::sock::SocketError;
}

}  // namespace

TEST(NameLookup, AnswersReachTheirRequestOnly) {
  TWSocket Holder(nullptr);  // keeps the library
  Answers A;
  ASSERT_EQ(A.Lookup.StartByName(A.Window, AnswerMsg, "localhost"), 0);
  EXPECT_TRUE(A.Lookup.Pending());
  // An answer with another request's handle is not this one's.
  plat::PostMessage(A.Window, AnswerMsg, 12345, 0);
  ASSERT_TRUE(PumpUntil([&] { return !A.Taken.empty(); }));
  EXPECT_EQ(A.Others, 1);
  EXPECT_FALSE(A.Lookup.Pending());
  EXPECT_EQ(plat::sock::SelectError(A.Taken[0].lParam), 0);
  const std::vector<std::string> Addresses = A.Lookup.Addresses();
  EXPECT_NE(std::find(Addresses.begin(), Addresses.end(), "127.0.0.1"), Addresses.end());

  A.Taken.clear();
  ASSERT_EQ(A.Lookup.StartByAddress(A.Window, AnswerMsg, wsock::inet_addr("127.0.0.1")), 0);
  ASSERT_TRUE(PumpUntil([&] { return !A.Taken.empty(); }));
  EXPECT_EQ(A.Lookup.OfficialName(), "localhost");
  TMessage Early;
  EXPECT_FALSE(A.Lookup.TakeEarlyAnswer(Early));
}

TEST(NameLookup, AnAnswerInsideTheRequestCallIsKeptForIt) {
  TWSocket Holder(nullptr);
  Answers A;
  SocketFunctionDouble<plat::sock::FnWSAAsyncGetHostByName> Start("WSAAsyncGetHostByName", AnswerAtOnce);
  ASSERT_EQ(A.Lookup.StartByName(A.Window, AnswerMsg, "anything"), 0);
  EXPECT_EQ(A.Taken.size(), 0u);
  TMessage Early;
  ASSERT_TRUE(A.Lookup.TakeEarlyAnswer(Early));
  EXPECT_FALSE(A.Lookup.TakeEarlyAnswer(Early));
  EXPECT_TRUE(A.Lookup.IsAnswer(Early));
  EXPECT_FALSE(A.Lookup.Pending());
  EXPECT_EQ(A.Lookup.Addresses(), std::vector<std::string>{});
}

TEST(NameLookup, ACancelledLookupLeavesItsAreaToALateAnswer) {
  TWSocket Holder(nullptr);
  SocketFunctionDouble<plat::sock::FnWSAAsyncGetHostByName> Start("WSAAsyncGetHostByName", AnswerLate);
  SocketFunctionDouble<plat::sock::FnWSACancelAsyncRequest> Cancel("WSACancelAsyncRequest",
                                                                     CancelButAnswerAllTheSame);
  for (int Result : {0, plat::sock::WsaEAlready}) {
    SCOPED_TRACE(Result);
    CancelResult = Result;
    {
      Answers A;
      ASSERT_EQ(A.Lookup.StartByName(A.Window, AnswerMsg, "anything"), 0);
      EXPECT_EQ(A.Lookup.Cancel(), Result);
      EXPECT_FALSE(A.Lookup.Pending());
      EXPECT_EQ(A.Lookup.Cancel(), 0);  // nothing pending any more
      // And a lookup still under way when its holder goes.
      ASSERT_EQ(A.Lookup.StartByName(A.Window, AnswerMsg, "anything"), 0);
    }
    // The system writes its answer after the lookup and its holder are gone.
    ASSERT_NE(LateBuffer, nullptr);
    std::memset(LateBuffer, 0x5A, static_cast<std::size_t>(LateLength));
    EXPECT_GE(LateLength, 1024);
  }
}

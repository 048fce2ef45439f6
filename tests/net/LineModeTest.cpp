// Line mode: byte sequences fed to the socket split at every position, and
// the lines, plain reads and echoes that must come out the same every time;
// the line limit; then a real connection that switches modes.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "FedSocket.h"
#include "NetTestSupport.h"

using namespace nettest;

using LineMode = PeerTest;

namespace {

using Lines = std::vector<std::string>;

struct LineCase {
  const char* Name;
  std::string Input;
  Lines Expected;             // each line as read; "close:" marks the line delivered at the close
  std::string Plain = "";     // read in plain mode after the handler switched line mode off
  std::string Echo = "";      // what went back to the peer
  std::string LineEnd = "\r\n";
  bool Edit = false;
  bool Echoing = false;
  int Piece = 0;              // bytes per Receive in the handler; 0 for the whole line
  int SwitchOffAfter = -1;    // the handler switches line mode off after this many bytes of the first line
};

// Drives a socket through a case: Input arrives in two reads split at Split.
struct LineRun {
  TFedSocket S;
  Lines Got;
  std::string Plain;
  std::string Current;
  bool Closing = false;

  explicit LineRun(const LineCase& C) {
    S.SetLineEnd(C.LineEnd);
    S.SetLineEdit(C.Edit);
    S.SetLineEcho(C.Echoing);
    S.SetLineMode(true);
    S.Attach();
    S.OnDataAvailable = [this, C](TObject*, std::uint16_t) {
      char Buffer[4096];
      if (!S.LineMode()) {
        int N;
        while ((N = S.Receive(Buffer, sizeof Buffer)) > 0) Plain.append(Buffer, static_cast<std::size_t>(N));
        return;
      }
      const int Want = C.SwitchOffAfter >= 0 ? C.SwitchOffAfter : C.Piece > 0 ? C.Piece : static_cast<int>(sizeof Buffer);
      const int N = S.Receive(Buffer, Want);
      if (N > 0) Current.append(Buffer, static_cast<std::size_t>(N));
      if (C.SwitchOffAfter >= 0 && Got.empty()) {
        Got.push_back(Current);
        Current.clear();
        S.SetLineMode(false);
        return;
      }
      if (S.RcvdCount() == 0) {
        Got.push_back((Closing ? "close:" : "") + Current);
        Current.clear();
      }
    };
  }

  void Feed(const std::string& Input, std::size_t Split) {
    if (Split > 0) S.Arrive(Input.substr(0, Split));
    testsupport::DrainQueue();  // a switch of line mode delivers again from the loop
    if (Split < Input.size()) S.Arrive(Input.substr(Split));
    testsupport::DrainQueue();
    Closing = true;
    S.Closed();
  }
};

// Connected, in line mode, holding at most 10 bytes without a marker.
void LinesOfTen(TFedSocket& S) {
  S.Attach();
  S.SetLineMode(true);
  S.SetLineLimit(10);
}

std::string Show(const std::string& S) {
  std::string Out;
  for (unsigned char C : S) {
    if (C >= 32 && C < 127) Out += static_cast<char>(C);
    else Out += "\\x" + std::string(1, "0123456789abcdef"[C >> 4]) + "0123456789abcdef"[C & 15];
  }
  return Out;
}

}  // namespace

TEST_F(LineMode, EveryCaseGivesTheSameDeliveriesWhereverTheBytesAreSplit) {
  const LineCase Cases[] = {
      {"a line completed by a later read, the rest kept", "abc\r\nde", {"abc\r\n", "close:de"}},
      {"two lines, the marker split where the split falls", "one\r\ntwo\r\n", {"one\r\n", "two\r\n"}},
      {"an empty line and bytes of every value", std::string("\r\na\0\xff\r\n", 7), {"\r\n", std::string("a\0\xff\r\n", 5)}},
      {"a lone carriage return is no marker", "a\rb\r\n", {"a\rb\r\n"}},
      {"a line end of one byte", "a\nb\n\n", {"a\n", "b\n", "\n"}, "", "", "\n"},
      {"a line end of three bytes", "xxENENDyEN", {"xxENEND", "close:yEN"}, "", "", "END"},
      {"read in pieces of two bytes", "hello\r\nX\r\n", {"hello\r\n", "X\r\n"}, "", "", "\r\n", false, false, 2},
      {"read a byte at a time, the last line at the close", "ab\r\nc", {"ab\r\n", "close:c"}, "", "", "\r\n", false,
       false, 1},
      {"a backspace erases the byte before it", "abc\bd\r\n", {"abd\r\n"}, "", "", "\r\n", true},
      {"backspaces at the start of the area do nothing", "\b\bab\r\n", {"ab\r\n"}, "", "", "\r\n", true},
      {"a backspace may erase the marker's first byte", "ab\r\b\r\n", {"ab\r\n"}, "", "", "\r\n", true},
      {"a tab at column 3 becomes 5 blanks", "abc\tx\r\n", {"abc     x\r\n"}, "", "", "\r\n", true},
      {"a tab at column 8 becomes 8 blanks", "12345678\t\r\n", {"12345678        \r\n"}, "", "", "\r\n", true},
      {"a tab's blanks can be erased", "\t\b\bx\r\n", {"      x\r\n"}, "", "", "\r\n", true},
      {"editing with echo sends the edits back", "ab\bc\td\r\n", {"ac      d\r\n"}, "", "ab\b \bc      d\r\n", "\r\n",
       true, true},
      {"echo without editing sends the bytes back unchanged", "hi\b\r\n", {"hi\b\r\n"}, "", "hi\b\r\n", "\r\n", false,
       true},
      {"line mode switched off after 2 bytes of a 10-byte line", "01234567\r\nafter\r\nend", {"01"},
       "234567\r\nafter\r\nend", "", "\r\n", false, false, 0, 2},
      {"line mode switched off after reading the whole line", "ab\r\ncd\r\n", {"ab\r\n"}, "cd\r\n", "", "\r\n", false,
       false, 0, 4},
      {"an empty line end cuts nothing", "ab\r\ncd", {}, "ab\r\ncd", "", ""},
  };
  for (const LineCase& C : Cases) {
    for (std::size_t Split = 0; Split <= C.Input.size(); ++Split) {
      SCOPED_TRACE(testing::Message() << C.Name << ", split at " << Split);
      LineRun Run(C);
      if (C.LineEnd.empty()) Run.S.SetLineMode(false);  // the handler reads plainly
      Run.Feed(C.Input, Split);
      Lines Shown, Want;
      for (const auto& L : Run.Got) Shown.push_back(Show(L));
      for (const auto& L : C.Expected) Want.push_back(Show(L));
      EXPECT_EQ(Shown, Want);
      EXPECT_EQ(Show(Run.Plain), Show(C.Plain));
      EXPECT_EQ(Show(Run.S.Sent), Show(C.Echo));
      EXPECT_EQ(Run.S.Input, "");
    }
  }
}

TEST_F(LineMode, TheLimitEventFiresWhileTooManyBytesWaitForAMarker) {
  const struct {
    const char* Name;
    std::vector<std::string> Reads;
    bool Clear;
    std::vector<int> Events;  // RcvdLength of each limit event
    Lines Expected;
  } Cases[] = {
      {"cleared: the bytes are gone", {"0123456789A", "x\r\n"}, true, {11}, {"x\r\n"}},
      {"kept: the event comes again on the next read", {"0123456789A", "B", "\r\n"}, false, {11, 12},
       {"0123456789AB\r\n"}},
      {"at the limit, no event", {"012345678", "9", "\r\n"}, true, {}, {"0123456789\r\n"}},
      {"a long complete line leaves nothing behind", {"0123456789ABC\r\n"}, true, {}, {"0123456789ABC\r\n"}},
      {"what follows a line counts alone", {"0123\r\n0123456789A"}, true, {11}, {"0123\r\n"}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TFedSocket S;
    LinesOfTen(S);
    Lines Got;
    std::vector<int> Events;
    S.OnDataAvailable = [&](TObject*, std::uint16_t) {
      char Buffer[100];
      const int N = S.Receive(Buffer, sizeof Buffer);
      Got.emplace_back(Buffer, static_cast<std::size_t>(N > 0 ? N : 0));
    };
    S.OnLineLimitExceeded = [&](TObject*, std::int32_t Count, bool& ClearData) {
      EXPECT_TRUE(ClearData);
      Events.push_back(Count);
      ClearData = C.Clear;
    };
    for (const auto& R : C.Reads) S.Arrive(R);
    EXPECT_EQ(Events, C.Events);
    EXPECT_EQ(Got, C.Expected);
  }
}

TEST_F(LineMode, WithoutAHandlerLinesAreDroppedAndPlainReadsGetWhatFollows) {
  TFedSocket S;
  S.Attach();
  S.SetLineMode(true);
  S.Arrive("dropped\r\nkept");
  S.SetLineMode(false);
  char Buffer[16];
  const int N = S.Receive(Buffer, sizeof Buffer);
  EXPECT_EQ(std::string(Buffer, static_cast<std::size_t>(N > 0 ? N : 0)), "kept");
}

// What a handler may do inside its delivery, through the core's own event
// handling and receive loop: raise, switch line mode off, read again once
// its line is read, read nothing. Each ends its own delivery and nothing
// else: the lines behind it come, in order, and the close is reported once.
TEST_F(LineMode, AHandlerEndsOnlyItsOwnDeliveryWhateverItDoes) {
  enum Act { Reads, RaisesOnFirst, RaisesAtClose, SwitchesOff, ReadsAgain, ReadsNothing };
  const struct {
    const char* Name;
    Act What;
    std::vector<std::string> Arrivals;
    Lines Expected;  // "close:" marks the line delivered at the close
    std::string Plain = "";
    int Calls = -1;  // calls of the handler, where they are the point
  } Cases[] = {
      {"raising on the first of three lines", RaisesOnFirst, {"a\r\nb\r\n", "c\r\n"}, {"a\r\n", "b\r\n", "c\r\n"}},
      {"raising at the last line of the close", RaisesAtClose, {"a\r\nlast"}, {"a\r\n", "close:last"}},
      {"switching to plain after a header, behind it more than the limit", SwitchesOff,
       {"HDR\r\n01234567890123456789"}, {"HDR\r\n"}, "01234567890123456789"},
      {"reading again once the line is read, while more arrives", ReadsAgain, {"a\r\nb"}, {"a\r\n", "bc\r\n"}},
      {"reading nothing, once per notification", ReadsNothing, {"a\r\nb\r\n", "c\r\n"}, {}, "", 3},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TFedSocket S;
    LinesOfTen(S);
    Lines Got;
    std::string Plain;
    int Calls = 0, Closes = 0, Again = 0, AgainError = 0;
    bool Closing = false;
    S.OnSessionClosed = [&](TObject*, std::uint16_t) { ++Closes; };
    S.OnDataAvailable = [&](TObject*, std::uint16_t) {
      // A loop that would never end is ended from here.
      if (++Calls > 100) throw std::runtime_error("called without end");
      char Buffer[100];
      if (!S.LineMode()) {
        const int N = S.Receive(Buffer, sizeof Buffer);
        if (N > 0) Plain.append(Buffer, static_cast<std::size_t>(N));
        return;
      }
      if (C.What == ReadsNothing) return;
      const int N = S.Receive(Buffer, sizeof Buffer);
      Got.push_back((Closing ? "close:" : "") + std::string(Buffer, static_cast<std::size_t>(N > 0 ? N : 0)));
      if (C.What == RaisesOnFirst && Got.size() == 1) throw EInvalidOperation("from the first line");
      if (C.What == RaisesAtClose && Closing) throw EInvalidOperation("from the last line");
      if (C.What == SwitchesOff) S.SetLineMode(false);
      if (C.What == ReadsAgain && Got.size() == 1) {
        S.Feed("c\r\n");
        Again = S.Receive(Buffer, sizeof Buffer);
        AgainError = S.LastError();
      }
    };
    for (const std::string& Bytes : C.Arrivals) {
      S.Arrive(Bytes);
      testsupport::DrainQueue();
    }
    Closing = true;
    try {
      S.Closed();
    } catch (...) {
      ADD_FAILURE() << "the close's delivery let an exception out";
    }
    EXPECT_EQ(Got, C.Expected);
    EXPECT_EQ(Plain, C.Plain);
    EXPECT_EQ(Closes, 1);
    if (C.Calls >= 0) {
      EXPECT_EQ(Calls, C.Calls);
    }
    if (C.What == ReadsAgain) {
      // Bytes held without a line come first: a read past them is refused.
      EXPECT_EQ(Again, -1);
      EXPECT_EQ(AgainError, plat::sock::WsaEWouldBlock);
    }
  }
}

// A handler without a line mode that reads nothing is called once per
// notification, not again and again while the bytes wait.
TEST_F(LineMode, APlainHandlerThatReadsNothingIsCalledOncePerNotification) {
  TFedSocket S;
  S.Attach();
  int Calls = 0;
  S.OnDataAvailable = [&](TObject*, std::uint16_t) {
    if (++Calls > 100) throw std::runtime_error("called without end");
  };
  S.Arrive("abc");
  S.Arrive("def");
  EXPECT_EQ(Calls, 2);
  EXPECT_EQ(S.Input, "abcdef");
}

// A real connection: lines from an echoing peer, then a switch to plain mode
// in the middle of a line, then the close delivering the last bytes.
TEST_F(LineMode, AConnectionSwitchesModesInsideItsHandler) {
  TWSocket S(nullptr);
  S.SetLineMode(true);
  Lines Got;
  std::string Plain;
  bool Closed = false;
  S.OnSessionConnected = [&](TObject*, std::uint16_t) {
    S.SendText("ECHO\r\n");
    S.SendText("first\r\nsecond line\r\nrest");
  };
  S.OnDataAvailable = [&](TObject*, std::uint16_t) {
    char Buffer[100];
    if (!S.LineMode()) {
      const int N = S.Receive(Buffer, sizeof Buffer);
      if (N > 0) Plain.append(Buffer, static_cast<std::size_t>(N));
      return;
    }
    const int N = S.Receive(Buffer, Got.size() == 1 ? 6 : static_cast<int>(sizeof Buffer));
    Got.emplace_back(Buffer, static_cast<std::size_t>(N > 0 ? N : 0));
    if (Got.size() == 2) {
      S.SetLineMode(false);
      S.SendText(" end");
      S.Shutdown(1);
    }
  };
  S.OnSessionClosed = [&](TObject*, std::uint16_t) { Closed = true; };
  ConnectTo(S, CommandPort());
  ASSERT_TRUE(PumpUntil([&] { return Closed; }));
  EXPECT_EQ(Got, (Lines{"first\r\n", "second"}));
  EXPECT_EQ(Plain, " line\r\nrest end");
}

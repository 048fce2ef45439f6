#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <random>
#include <vector>

#include "TestSupport.h"
#include "framework/Application.h"
#include "util/TextUtils.h"

using testsupport::FakeClock;
using testsupport::ScratchFolder;
using testsupport::WriteFile;

namespace {

std::vector<std::string> Split(const std::string& Line) {
  TStringList L;
  L.Add("left over from before");
  SplitCsvLine(Line, L);
  std::vector<std::string> R;
  for (int I = 0; I < L.Count(); ++I) R.push_back(L[I]);
  return R;
}

using Fields = std::vector<std::string>;

// The system's temp folder as the standard library finds it, Windows-style,
// with its trailing backslash.
std::string SystemTempFolder() {
  std::string Folder = std::filesystem::temp_directory_path().string();
  for (char& C : Folder)
    if (C == '/') C = '\\';
  return IncludeTrailingBackslash(Folder);
}

// The splitter's rules said another way: over the line's characters, and
// with each quoted field's end stated as a whole instead of found by cutting
// the rest of the line step by step. A quoted field ends at the first quote
// and comma that does not follow another quote; but when its first quote and
// comma does follow one and the field holds three quotes and a comma
// anywhere, it ends at the first of those instead. With neither it runs to
// the end of the line.
Fields RestatedSplit(const std::string& Line) {
  // Where each character begins: a lead byte takes the next byte with it.
  std::vector<std::size_t> Starts;
  for (std::size_t B = 0; B < Line.size(); B += IsLeadByte(static_cast<unsigned char>(Line[B])) ? 2 : 1)
    Starts.push_back(B);
  const std::size_t N = Starts.size();
  const auto Is = [&](std::size_t C, char Ch) {
    return C < N && (C + 1 < N ? Starts[C + 1] : Line.size()) - Starts[C] == 1 && Line[Starts[C]] == Ch;
  };
  // The first character at or after From where Pattern's single-byte characters begin; N if none.
  const auto Find = [&](std::size_t From, const std::string& Pattern) {
    for (std::size_t C = From; C + Pattern.size() <= N; ++C) {
      std::size_t K = 0;
      while (K < Pattern.size() && Is(C + K, Pattern[K])) ++K;
      if (K == Pattern.size()) return C;
    }
    return N;
  };
  const auto Bytes = [&](std::size_t From, std::size_t To) {
    const std::size_t B = From < N ? Starts[From] : Line.size(), E = To < N ? Starts[To] : Line.size();
    return Line.substr(B, E - B);
  };
  const auto Trimmed = [](std::string S) {
    while (!S.empty() && static_cast<unsigned char>(S.back()) <= 32) S.pop_back();
    std::size_t I = 0;
    while (I < S.size() && static_cast<unsigned char>(S[I]) <= 32) ++I;
    return S.substr(I);
  };

  Fields Out;
  std::size_t At = 0;
  while (Find(At, ",") < N) {
    std::string Field;
    if (Is(At, '"')) {
      const std::size_t Text = At + 1, First = Find(Text, "\",");
      std::size_t End = N, Next = N;
      const std::size_t Three = Find(Text, "\"\"\",");
      if (First < N && First > Text && Is(First - 1, '"') && Three < N) {
        End = Three + 2;
        Next = Three + 4;
      } else {
        std::size_t Close = First;
        while (Close < N && Close > Text && Is(Close - 1, '"')) Close = Find(Close + 1, "\",");
        if (Close < N) End = Close, Next = Close + 2;
      }
      // Every pair of quotes in the field's bytes stands for one.
      const std::string Raw = Bytes(Text, End);
      for (std::size_t I = 0; I < Raw.size(); ++I) {
        Field += Raw[I];
        if (Raw[I] == '"' && I + 1 < Raw.size() && Raw[I + 1] == '"') ++I;
      }
      At = Next;
    } else {
      const std::size_t Comma = Find(At, ",");
      Field = Bytes(At, Comma);
      At = Comma + 1;
    }
    Out.push_back(Trimmed(Field));
  }
  std::string Last = Bytes(At, N);
  if (!Last.empty() && Last.front() == '"') Last.erase(0, 1);
  if (!Last.empty() && Last.back() == '"') Last.pop_back();
  Out.push_back(Trimmed(Last));
  return Out;
}

}  // namespace

// Each expectation worked out by hand from the splitter's rules, not by
// running either of them.
TEST(SplitCsvLine, FieldsQuotesAndTheirOddities) {
  struct Case {
    const char* Line;
    Fields Expected;
  } Cases[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"a , b", {"a", "b"}},
      {"", {""}},
      {"a,", {"a", ""}},
      {",", {"", ""}},
      {"\t a\x01,\x7F", {"a", "\x7F"}},  // control characters are trimmed, DEL is not
      {"\" a \",b", {"a", "b"}},         // inside the quotes too
      {"\"x,y\",z", {"x,y", "z"}},
      {"\"x\"\"y\",z", {"x\"y", "z"}},
      {"z,\"x\"\"y\"", {"z", "x\"\"y"}},
      // A quote inside a quoted field that no comma follows is text.
      {"\"a\"b\",c", {"a\"b", "c"}},
      // An unclosed quoted field runs to the end of the line.
      {"a,\"b,c\"", {"a", "b,c\"", ""}},
      {"\"abc\" ,d", {"abc\" ,d", ""}},
      {" \"a\",b", {"\"a\"", "b"}},
      // A quote inside an unquoted field is text, doubled or not.
      {"b\"\"\",c", {"b\"\"\"", "c"}},
      // A doubled quote before a comma keeps the comma in the field...
      {"\"a\"\",b\",c", {"a\",b", "c"}},
      // ... and, when no closing quote and comma follow, the field runs on
      // to the end of the line.
      {"\"a\"\",b,c", {"a\",b,c", ""}},
      // Three quotes then a comma: an escaped quote closes the field.
      {"\"a\"\"\",b", {"a\"", "b"}},
      // When the field's first quote and comma follow another quote, the
      // field ends at its first three quotes and comma, however far on:
      // a closing quote and comma between them do not end it.
      {"\"a\"\",b\",c\"\"\",d", {"a\",b\",c\"", "d"}},
      // When they do not, three quotes and a comma further on are only text
      // of a later field.
      {"\"a\",b\"\"\",c", {"a", "b\"\"\"", "c"}},
      {"\"\",x", {"", "x"}},
      {"\"only\"", {"only"}},
      {"\"", {""}},
      {"\"\"", {""}},
      {"a,\"\"", {"a", ""}},
      // Shift-JIS names whose trail bytes are a backslash or other ASCII.
      {"表示,ソフト.dll, 1.0.0.1 ,作者,123,ABC", {"表示", "ソフト.dll", "1.0.0.1", "作者", "123", "ABC"}},
      {"\"表,示\",x", {"表,示", "x"}},
      // The searches step over double-byte characters: a comma or quote
      // right after a lead byte is its trail byte, not a comma or a quote.
      {"a\x81,b", {"a\x81,b"}},
      {"a\x81,b,c", {"a\x81,b", "c"}},
      {"\"x\x81\"\",y", {"x\x81\"", "y"}},
      {"\"\x81\",x", {"\x81\",x", ""}},
      // A real version-list line.
      {"Zel Plug-in,zelplug.dll,1.2.0.0,(C) Someone,40960,0123456789ABCDEF0123456789ABCDEF",
       {"Zel Plug-in", "zelplug.dll", "1.2.0.0", "(C) Someone", "40960", "0123456789ABCDEF0123456789ABCDEF"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(C.Line)));
    EXPECT_EQ(Split(C.Line), C.Expected);
    EXPECT_EQ(RestatedSplit(C.Line), C.Expected);
  }
}

TEST(SplitCsvLine, AgreesWithTheRulesSaidAnotherWayOnRandomLines) {
  // Few kinds of byte, so that quotes, commas and double-byte characters
  // (whose trail byte may be a quote or a comma) meet often.
  const std::string Alphabet[] = {"\"", "\"", ",", ",", " ", "a", "\x81\x22", "\x81\x2C", "\x95\x5C", "\x81"};
  std::mt19937 Random(1234);
  for (int Round = 0; Round < 10000; ++Round) {
    std::string Line;
    const int Length = static_cast<int>(Random() % 24);
    for (int I = 0; I < Length; ++I) Line += Alphabet[Random() % std::size(Alphabet)];
    ASSERT_EQ(Split(Line), RestatedSplit(Line)) << testing::PrintToString(Line);
  }
}

TEST(SplitCsvLine, HostileLinesNeverBreakIt) {
  // Long runs of quotes and commas, and a lead byte at the very end.
  const std::string Lines[] = {std::string(5000, '"'), std::string(5000, ','), "\"" + std::string(3000, ','),
                               std::string(1000, '"') + "," + std::string(999, '"'), "a,\x81", "\x81,\x81\""};
  for (const std::string& Line : Lines) {
    TStringList L;
    SplitCsvLine(Line, L);
    EXPECT_GE(L.Count(), 1);
  }
  EXPECT_EQ(Split(std::string(5000, ',')).size(), 5001u);
}

TEST(Environment, TextIsTrimmedAndLimitedTo259Bytes) {
  testsupport::SetEnv("DRAVIN_TEST_VAR", "  C:\\Some Folder \t");
  EXPECT_EQ(GetEnvironmentText("DRAVIN_TEST_VAR"), "C:\\Some Folder");
  EXPECT_EQ(GetEnvironmentText("dravin_test_var"), "C:\\Some Folder");  // names ignore case
  testsupport::SetEnv("DRAVIN_TEST_VAR", std::string(259, 'x'));
  EXPECT_EQ(GetEnvironmentText("DRAVIN_TEST_VAR"), std::string(259, 'x'));
  testsupport::SetEnv("DRAVIN_TEST_VAR", std::string(260, 'x'));
  EXPECT_EQ(GetEnvironmentText("DRAVIN_TEST_VAR"), "");
  testsupport::UnsetEnv("DRAVIN_TEST_VAR");
  EXPECT_EQ(GetEnvironmentText("DRAVIN_TEST_VAR"), "");
}

TEST(Environment, TempFolderAlwaysEndsWithABackslash) {
  const std::string Saved = GetEnvironmentText("temp");
  struct Case {
    const char* Value;
    const char* Folder;
  } Cases[] = {{"C:\\Temp", "C:\\Temp\\"},
               {"C:\\Temp\\", "C:\\Temp\\"},
               {" C:\\T ", "C:\\T\\"},
               {"C:\\表", "C:\\表\\"},  // its second byte is the byte of "\"
               {"C:\\表\\", "C:\\表\\"}};
  testsupport::UnsetEnv("TEMP");  // on POSIX "TEMP" and "temp" are two variables
  for (const Case& C : Cases) {
    testsupport::SetEnv("temp", C.Value);
    EXPECT_EQ(GetTempFolder(), C.Folder);
  }
  // Unset, empty, or longer than the variable's buffer: the system's own temp
  // folder, never the root of the current drive.
  for (const std::string& Value : {std::string("(unset)"), std::string(), std::string("   "), std::string(300, 'x')}) {
    SCOPED_TRACE(Value);
    if (Value == "(unset)") testsupport::UnsetEnv("temp");
    else testsupport::SetEnv("temp", Value);
    EXPECT_EQ(GetTempFolder(), SystemTempFolder());
  }
  testsupport::SetEnv("TEMP", Saved);
}

TEST(OpenTextFileRetry, OneAttemptWithoutRetries) {
  FakeClock Clock;
  const std::string Folder = ScratchFolder();
  TTextFile Missing(Folder + "missing.txt");
  EXPECT_FALSE(OpenTextFileRetry(Missing, 0));
  EXPECT_EQ(Clock.ElapsedMs(), 0);  // no wait after the last failure
  WriteFile(Folder + "list.txt", "line\r\n");
  TTextFile Present(Folder + "list.txt");
  ASSERT_TRUE(OpenTextFileRetry(Present, 0));
  EXPECT_EQ(Present.ReadLn(), "line");
}

TEST(OpenTextFileRetry, RetriesAMinuteApartAndSucceedsWhenTheFileAppears) {
  const std::string Folder = ScratchFolder();
  {
    // Two retries: three attempts, two one-minute waits, none after the last.
    FakeClock Clock;
    TTextFile F(Folder + "never.txt");
    EXPECT_FALSE(OpenTextFileRetry(F, 2));
    EXPECT_GE(Clock.ElapsedMs(), 120000);
    EXPECT_LE(Clock.ElapsedMs(), 120200);
    EXPECT_EQ(Clock.Sleeps() / 100, 12);  // in steps of 100 ms
  }
  {
    // The file turns up 90 seconds in: found by the third attempt, after two waits.
    FakeClock Clock;
    const std::string Name = Folder + "late.txt";
    Clock.OnSleep = [&](long long Ms) {
      if (Ms == 90000) WriteFile(Name, "x");
    };
    TTextFile F(Name);
    EXPECT_TRUE(OpenTextFileRetry(F, 5));
    EXPECT_GE(Clock.ElapsedMs(), 120000);
    EXPECT_LT(Clock.ElapsedMs(), 121000);
  }
}

TEST(WaitMinutes, SleepsInStepsAndKeepsMessagesFlowing) {
  TApplication App(nullptr);
  FakeClock Clock;
  int Handled = 0;
  plat::WindowHandle W = AllocateHWnd([&](TMessage& M) {
    if (M.Msg == 0x401) ++Handled;
  });
  Clock.OnSleep = [&](long long Ms) {
    if (Ms % 10000 == 0) plat::PostMessage(W, 0x401, 0, 0);
  };
  WaitMinutes(0.5);
  EXPECT_GE(Clock.ElapsedMs(), 30000);
  EXPECT_LE(Clock.ElapsedMs(), 30100);
  EXPECT_EQ(Handled, 3);  // posted at 10, 20 and 30 seconds, each handled after its sleep
  const long long Before = Clock.ElapsedMs();
  WaitMinutes(0);
  WaitMinutes(-1);
  EXPECT_EQ(Clock.ElapsedMs(), Before);
  DeallocateHWnd(W);
}

TEST(WaitMinutes, WithoutTheApplicationLeavesTheQuitMessageToTheThreadsLoop) {
  FakeClock Clock;
  int Handled = 0;
  plat::WindowHandle W = AllocateHWnd([&](TMessage& M) {
    if (M.Msg == 0x401) ++Handled;
  });
  Clock.OnSleep = [&](long long Ms) {
    if (Ms == 10000) plat::PostMessage(W, 0x401, 0, 0);
    if (Ms == 20000) plat::PostQuitMessage(4);
  };
  WaitMinutes(1);
  EXPECT_EQ(Handled, 1);
  // The thread is asked to end: the wait ends with it, the message stays.
  EXPECT_EQ(Clock.ElapsedMs(), 20000);
  plat::Message M;
  ASSERT_TRUE(plat::PeekMessage(M, true));
  EXPECT_EQ(M.Msg, plat::MsgQuit);
  EXPECT_EQ(M.wParam, 4u);
  DeallocateHWnd(W);
}

TEST(PumpMessages, ProcessesWhatIsPendingWithoutWaiting) {
  FakeClock Clock;
  int Handled = 0;
  plat::WindowHandle W = AllocateHWnd([&](TMessage& M) {
    if (M.Msg == 0x401) ++Handled;
  });
  plat::PostMessage(W, 0x401, 0, 0);
  PumpMessages();  // no application object: only the time slice is given up
  EXPECT_EQ(Handled, 0);
  EXPECT_EQ(Clock.Sleeps(), 1);
  {
    TApplication App(nullptr);
    plat::PostMessage(W, 0x401, 0, 0);
    PumpMessages();
    EXPECT_EQ(Handled, 2);
    PumpMessages();
    EXPECT_EQ(Handled, 2);
  }
  DeallocateHWnd(W);
}

TEST(FileSizes, MissingEmptySmallAndBeyondFourGigabytes) {
  const std::string Folder = ScratchFolder();
  EXPECT_EQ(GetFileSizeValue(Folder + "missing"), -1);
  EXPECT_EQ(GetFileSizeValue(Folder.substr(0, Folder.size() - 1)), -1);  // a folder
  WriteFile(Folder + "empty", "");
  EXPECT_EQ(GetFileSizeValue(Folder + "empty"), 0);
  WriteFile(Folder + "small", std::string(12345, 'x'));
  EXPECT_EQ(GetFileSizeValue(Folder + "small"), 12345);
  {
    // A sparse file: the size needs the high 32-bit half.
    TFileStream S(Folder + "huge", fmCreate);
    S.SetSize(5LL << 30);
  }
  EXPECT_EQ(GetFileSizeValue(Folder + "huge"), 5368709120.0);
  // Beyond the 32-bit range the digest is not attempted.
  EXPECT_EQ(FileMD5Hex(Folder + "huge"), "");
  DeleteFile(Folder + "huge");
}

TEST(FileMD5Hex, DigestsWholeFilesAndGivesEmptyTextOnFailure) {
  const std::string Folder = ScratchFolder();
  WriteFile(Folder + "empty", "");
  WriteFile(Folder + "abc", "abc");
  EXPECT_EQ(FileMD5Hex(Folder + "empty"), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(FileMD5Hex(Folder + "abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(FileMD5Hex(Folder + "missing"), "");
  EXPECT_EQ(FileMD5Hex(Folder.substr(0, Folder.size() - 1)), "");
  EXPECT_EQ(FileMD5Hex(""), "");
}

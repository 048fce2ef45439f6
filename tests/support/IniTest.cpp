// Settings files: the host build's reader and writer against the rules the
// system's profile functions follow under Wine (and, in the Windows tree,
// against those functions themselves), and the integer rules of TIniFile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "framework/IniFiles.h"
#include "platform/IniText.h"
#include "platform/Profile.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

namespace {

struct Write {
  const char* Section;
  const char* Key;
  const char* Value;
};

struct WriteCase {
  const char* What;
  std::string Before;
  std::vector<Write> Writes;
  std::string After;
};

const WriteCase WriteCases[] = {
    {"a new file", "", {{"TFormDravin", "FormVersion", "0"}, {"TFormDravin", "Flags", "0"}},
     "[TFormDravin]\r\nFormVersion=0\r\nFlags=0\r\n"},
    {"a new section after the others; lines trimmed, blank lines dropped, a comment kept",
     "; host settings\r\n[TSetup]\r\nUseProxy_Checked = False\r\n  TimeOut_Text=60  \r\n\r\n[Other]\r\nx=1\r\n",
     {{"TFormDravin", "FormVersion", "0"}},
     "; host settings\r\n[TSetup]\r\nUseProxy_Checked=False\r\nTimeOut_Text=60\r\n[Other]\r\nx=1\r\n"
     "[TFormDravin]\r\nFormVersion=0\r\n"},
    {"keys updated in place keep their spelling; new keys end their section",
     "[tformdravin]\r\nflags=7\r\nExtra=1\r\nformversion=5\r\n[After]\r\na=b\r\n",
     {{"TFormDravin", "FormVersion", "0"}, {"TFormDravin", "Flags", "0"}, {"TFormDravin", "NormPos", "1,2,3,4"}},
     "[tformdravin]\r\nflags=0\r\nExtra=1\r\nformversion=0\r\nNormPos=1,2,3,4\r\n[After]\r\na=b\r\n"},
    {"line feeds alone and no last line end", "[A]\nk=v\n[TFormDravin]\nFlags=3",
     {{"TFormDravin", "Flags", "0"}, {"TFormDravin", "New", "9"}},
     "[A]\r\nk=v\r\n[TFormDravin]\r\nFlags=0\r\nNew=9\r\n"},
    {"odd lines: bracketed names trimmed, keys without values, the first of two equal keys",
     "top=1\r\n\r\n  [ Spaced ]  \r\n; inner comment\r\nnovalue\r\n=emptykey\r\nempty=\r\ndup=1\r\ndup=2\r\n[X]]\r\nk=v\r\n",
     {{"Spaced", "dup", "9"}, {"X]", "k", "2"}},
     "top=1\r\n[Spaced]\r\n; inner comment\r\nnovalue\r\n=emptykey\r\nempty=\r\ndup=9\r\ndup=2\r\n[X]]\r\nk=2\r\n"},
    {"a byte order mark stays", "\xEF\xBB\xBF[TFormDravin]\r\nFlags=1\r\n", {{"TFormDravin", "Flags", "2"}},
     "\xEF\xBB\xBF[TFormDravin]\r\nFlags=2\r\n"},
    {"a value's leading blanks go, its trailing ones stay", "[A]\r\nk=v\r\n", {{"B", "k", " spaced value "}},
     "[A]\r\nk=v\r\n[B]\r\nk=spaced value \r\n"},
    {"Shift-JIS keys and values", "", {{"TSetup", "名前", "値\\"}}, "[TSetup]\r\n名前=値\\\r\n"},
};

}  // namespace

TEST(IniText, WritesFollowTheSystemsRules) {
  for (const WriteCase& C : WriteCases) {
    SCOPED_TRACE(C.What);
    std::string Text = C.Before;
    for (const Write& W : C.Writes) Text = plat::ini::Write(Text, W.Section, W.Key, W.Value);
    EXPECT_EQ(Text, C.After);
    // Through the profile functions of this build, on a real file: under Wine
    // the system's own.
    const std::string File = testsupport::ScratchFolder() + "case.ini";
    testsupport::WriteFile(File, C.Before);
    for (const Write& W : C.Writes) EXPECT_TRUE(plat::WritePrivateProfileString(W.Section, W.Key, W.Value, File));
    EXPECT_EQ(testsupport::ReadFile(File), C.After);
  }
}

TEST(IniText, AWrittenFileReadsAsTheFileItWasWrittenFrom) {
  // Blank lines go when a file is written anew, and only the first bytes of a
  // file can be a byte order mark: a first line that merely begins with the
  // mark's bytes must not become one.
  for (const std::string Before : {std::string("\n\xEF\xBB\xBF"), std::string("\r\n  \xEF\xBB\xBF[TFormDravin]\r\nk=v\r\n"),
                                   std::string("\xEF\xBB\xBF\r\n\xEF\xBB\xBF[A]\r\n")}) {
    SCOPED_TRACE(Before);
    const std::string Once = plat::ini::Write(Before, "TFormDravin", "AutoDLL_Checked", "True");
    EXPECT_EQ(plat::ini::Write(Once, "TFormDravin", "AutoDLL_Checked", "True"), Once);
    for (const char* Section : {"TFormDravin", "A"}) {
      std::string Was = "-", Is = "-";
      plat::ini::Read(Before, Section, "k", Was);
      plat::ini::Read(Once, Section, "k", Is);
      EXPECT_EQ(Is, Was) << Section;
    }
  }
  EXPECT_EQ(plat::ini::Write("\n\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k", "w"),
            "\r\n\xEF\xBB\xBF[S]\r\nk=v\r\n[S]\r\nk=w\r\n");
}

TEST(IniText, ReadsTrimAndUnquoteAndTakeTheFirstOfEqualNames) {
  const std::string Text =
      "[S]\r\n k1 = \"quoted value\" \r\nk2='single'\r\nk3=\"unbalanced\r\nk1=second\r\nempty=\r\nnovalue\r\n"
      "[s]\r\nk4=x\r\n[T]\r\nk1=t\r\n";
  struct Case {
    const char* Section;
    const char* Key;
    const char* Value;  // nullptr: the default
  } Cases[] = {
      {"S", "k1", "quoted value"}, {"s", "K1", "quoted value"}, {"S", "k2", "single"}, {"S", "k3", "\"unbalanced"},
      {"S", "empty", ""},          {"S", "novalue", nullptr},   {"S", "k4", nullptr},  {"T", "k1", "t"},
      {"U", "k1", nullptr},        {"S", "missing", nullptr},
  };
  const std::string File = testsupport::ScratchFolder() + "read.ini";
  testsupport::WriteFile(File, Text);
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Section) + "/" + C.Key);
    std::string Value;
    EXPECT_EQ(plat::ini::Read(Text, C.Section, C.Key, Value), C.Value != nullptr);
    if (C.Value) EXPECT_EQ(Value, C.Value);
    EXPECT_EQ(plat::GetPrivateProfileString(C.Section, C.Key, "DEF", File), C.Value ? C.Value : "DEF");
  }
  EXPECT_EQ(plat::GetPrivateProfileString("S", "k1", "DEF", File + ".missing"), "DEF");
}

// The settings file is the host's: a write that cannot be finished leaves it
// as it was, every other key included.
TEST(IniText, AWriteThatCannotFinishLeavesTheFileAsItWas) {
  const std::string Folder = testsupport::ScratchFolder(), File = Folder + "zel.ini";
  std::string Before = "[TSetup]\r\n";
  for (int I = 0; I < 200; ++I) Before += "Key" + IntToStr(I) + "=" + std::string(40, 'v') + "\r\n";
  const auto Unchanged = [&](const char* What) {
    EXPECT_TRUE(testsupport::ReadFile(File) == Before) << What;
    std::vector<std::string> Names;
    plat::ListFiles(Folder, Names);
    EXPECT_EQ(Names, std::vector<std::string>{"zel.ini"}) << What;
  };
  testsupport::WriteFile(File, Before);
  plat::SetFileReadOnly(File, true);
  EXPECT_FALSE(plat::WritePrivateProfileString("TFormDravin", "AutoDLL_Checked", "True", File));
  Unchanged("read-only");
  plat::SetFileReadOnly(File, false);
#ifndef _WIN32
  // A disk that fills up half way through.
  rlimit Saved{};
  getrlimit(RLIMIT_FSIZE, &Saved);
  const auto OldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit Small = Saved;
  Small.rlim_cur = Before.size() / 2;
  setrlimit(RLIMIT_FSIZE, &Small);
  const bool Written = plat::WritePrivateProfileString("TFormDravin", "AutoDLL_Checked", "True", File);
  setrlimit(RLIMIT_FSIZE, &Saved);
  signal(SIGXFSZ, OldHandler);
  EXPECT_FALSE(Written);
  Unchanged("a full disk");
#endif
}

TEST(IniFile, IntegersAreDecimalOrHexAfter0xAndAnythingElseIsTheDefault) {
  struct Case {
    const char* Text;
    int Value;  // 77 is the default
  } Cases[] = {
      {"0", 0},         {"-1", -1},          {"+12", 12},        {"2147483647", 2147483647},
      {"2147483648", 77}, {"-2147483648", -2147483648LL}, {"0x1F", 31},   {"0X1f", 31},
      {"0xFFFFFFFF", -1}, {"0x100000000", 77}, {"0x", 77},        {"0", 0},
      {"$10", 77},      {"12a", 77},         {"", 77},           {"1 2", 77},
      {"0x-1", 77},
  };
  const std::string File = testsupport::ScratchFolder() + "int.ini";
  TIniFile Ini(File);
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Text);
    int Parsed = 77;
    EXPECT_EQ(ParseIniInteger(C.Text, Parsed) ? Parsed : 77, C.Value);
    Ini.WriteString("S", "k", C.Text);
    EXPECT_EQ(Ini.ReadInteger("S", "k", 77), C.Value);
  }
  EXPECT_EQ(Ini.ReadInteger("S", "absent", 5), 5);
  EXPECT_FALSE(Ini.ValueExists("S", "absent"));
  EXPECT_TRUE(Ini.ValueExists("S", "k"));
  // A file in a folder that does not exist cannot be written.
  TIniFile Nowhere(File + ".none\\x.ini");
  EXPECT_THROW(Nowhere.WriteString("S", "k", "v"), EIniFileException);
}

// The version list as the publisher makes it, read back by the checker.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FileList.h"
#include "TestSupport.h"
#include "app/AppTestSupport.h"
#include "support/MD5.h"
#include "util/TextUtils.h"

using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

using testsupport::Lines;

std::string Fixture(const char* Name) { return testsupport::BuildTreeFolder(DRAVIN_VERSION_FIXTURES) + Name; }

std::string SizeAndDigest(const std::string& File) {
  const std::string Bytes = ReadFile(File);
  return IntToStr(static_cast<long long>(Bytes.size())) + "," + MD5HexDigest(Bytes.data(), Bytes.size());
}

}  // namespace

TEST(FileList, FieldsAreQuotedWhereTheSplitterNeedsItAndRefusedWhereItCannotGiveThemBack) {
  struct Case {
    const char* Value;
    const char* Written;  // nullptr: refused
  } Cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"1, 0, 0, 1", "\"1, 0, 0, 1\""},
      {"Me, Myself", "\"Me, Myself\""},
      {"a\"b", "a\"b"},  // a quote inside an unquoted field is kept as it is
      {"\"quoted\"", "\"\"\"quoted\"\"\""},
      {"x\",y", "\"x\"\",y\""},
      {"ends in a quote, \"", "\"ends in a quote, \"\"\""},
      {"日本語版 4.0", "日本語版 4.0"},
      {"表示,ソフト", "\"表示,ソフト\""},  // trail bytes 0x5C and 0x83 next to the comma
      {"a\"\",b", nullptr},                // a doubled quote before a comma ends a quoted field early
      {"half \x81", nullptr},              // a lone lead byte swallows the comma after it
      {" lead", nullptr},
      {"trail ", nullptr},
      {"tab\there", nullptr},
      {"line\r\nend", nullptr},
      {"ctrl-z \x1A here", nullptr},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Value);
    const Lines Fields{"Name", C.Value, "1.0", "(C) X", "10", "0123456789ABCDEF0123456789ABCDEF"};
    if (C.Written) {
      EXPECT_EQ(FieldProblem(C.Value), "");
      EXPECT_EQ(QuoteListField(C.Value), C.Written);
      EXPECT_EQ(ListLine(Fields), std::string("Name,") + C.Written + ",1.0,(C) X,10,0123456789ABCDEF0123456789ABCDEF");
    } else {
      bool Refused = !FieldProblem(C.Value).empty();
      try {
        ListLine(Fields);
      } catch (const EListRefused&) {
        Refused = true;
      }
      EXPECT_TRUE(Refused);
    }
  }
}

namespace {

class ReleaseFolder : public testsupport::HostInstall {
 protected:
  void SetUp() override {
    HostInstall::SetUp();
    plat::CreateDirectory(Root + "bin");
  }
  void Release(const std::string& Name, const std::string& From) { plat::CopyFile(From, Bin() + Name, false); }
  std::string Bin() const { return Root + "bin\\"; }
  std::string List(const std::string& NamesText) {
    TStringList Names;
    Names.SetText(NamesText);
    return MakeFileList(Root + "bin", Names);
  }

  // The messages of one check run against an install of the given files,
  // the list served as it is.
  Lines CheckRun(const std::string& List) {
    WriteFile(HostFolder() + "zel.log", "");
    Touch("zel.ini");
    Run([&](testsupport::TTestDravin& F) {
      F.Fetch = [&](const std::string& Url, const std::string& FileName) {
        if (Url != testsupport::ListUrl()) return 0;
        WriteFile(FileName, List);
        return static_cast<int>(List.size());
      };
    });
    return testsupport::LoggedMessages(HostFolder() + "zel.log");
  }
};

}  // namespace

TEST_F(ReleaseFolder, TheListOfAFolderIsWhatTheCheckerFindsInstalled) {
  Release("zel.exe", Fixture("en.dll"));
  Release("Dravin.exe", Fixture("en.dll"));
  Release("b.dll", Fixture("ja.exe"));
  Release("blanks.scr", Fixture("blanks.scr"));
  WriteFile(Bin() + "A.pl", "# a ver 1.0\r\n# by Me, Myself\r\n");
  const std::string List = ReleaseFolder::List("; display names\r\nzel.exe=Zel\r\n"
                                                             "a.pl = Plug, Deluxe \r\nB.DLL=表示プラグイン\r\n\r\n"
                                                             "blanks.scr=Blanks\r\ndravin.exe=Dravin\r\n"
                                                             "gone.dll=Not released\r\n");
  // Host programs, plug-ins, the checker; names compared as Windows does. The
  // copyright sign has only a best-fit character in the code page.
  EXPECT_EQ(List, "Zel,zel.exe,2.3.4.5,(C) Example Corp," + SizeAndDigest(Bin() + "zel.exe") + "\r\n" +
                      "\"Plug, Deluxe\",A.pl,1.0,\"Me, Myself\"," + SizeAndDigest(Bin() + "A.pl") + "\r\n" +
                      "表示プラグイン,b.dll,1.0.1.0,Copyright c 2026 ドラヴィン," + SizeAndDigest(Bin() + "b.dll") +
                      "\r\n" + "Blanks,blanks.scr,\"1, 0, 0, 1\",," + SizeAndDigest(Bin() + "blanks.scr") + "\r\n" +
                      "Dravin,Dravin.exe,2.3.4.5,(C) Example Corp," + SizeAndDigest(Bin() + "Dravin.exe") + "\r\n");

  // Installed exactly as released: nothing is new. One plug-in older: it is.
  plat::CopyFile(Bin() + "zel.exe", Root + "host\\zel.exe", false);
  for (const char* F : {"A.pl", "b.dll", "blanks.scr", "Dravin.exe"})
    plat::CopyFile(Bin() + F, Root + "host\\dravin\\" + F, false);
  EXPECT_EQ(CheckRun(List), (Lines{"バージョンチェックプラグイン", "バージョンチェック開始", "バージョンチェック終了"}));
  WriteFile(Root + "host\\dravin\\A.pl", "# a ver 0.9\r\n# by Me, Myself\r\n");
  EXPECT_EQ(CheckRun(List), (Lines{"バージョンチェックプラグイン", "バージョンチェック開始",
                                   "新しいプラグインがリリースされています.", "バージョンチェック終了"}));
}

TEST_F(ReleaseFolder, FilesThatCannotBeListedAreNamedAndNothingIsListed) {
  Release("zel.exe", Fixture("en.dll"));
  Release("none.exe", Fixture("none.exe"));
  Release("extra.dll", Fixture("en.dll"));
  WriteFile(Bin() + "tab.pl", "# tab ver 1.0\r\n");
  WriteFile(Bin() + "comma.pl", "# comma ver 1.0\"\",x\r\n");
  try {
    List("zel.exe=Zel\r\nnone.exe=None\r\ntab.pl=Tab\there\r\ncomma.pl=Comma\r\n");
    ADD_FAILURE() << "listed";
  } catch (const EListRefused& E) {
    EXPECT_EQ(E.Message(),
              "comma.pl: the checker would not read this line back unchanged: Comma,comma.pl,\"1.0\"\"\"\",x\",," +
                  SizeAndDigest(Bin() + "comma.pl") + "\n" + "extra.dll: no display name in the names file\n" +
                  "none.exe: no FileVersion string: the checker could not tell this release from another\n" +
                  "tab.pl: the display name has control characters (a line end or Ctrl-Z ends the checker's line)\n");
  }
}

// Release files the checker would ignore or mishandle are refused by name.
// Most of these names only a file system other than Windows' can hold.
TEST_F(ReleaseFolder, NamesTheCheckerCannotUseAreRefused) {
  const char* const Device = ": names a device on Windows (CON, NUL, COM1 ...) in every folder\n";
  const struct {
    Lines Files;
    std::string Refused;  // empty: listed
    bool WindowsCanHoldThem;
  } Cases[] = {
      {{"a.pl", "A.PL"},
       "A.PL: differs from a.pl only in letter case: on Windows both are one file\n"
       "a.pl: differs from A.PL only in letter case: on Windows both are one file\n",
       false},
      {{"NUL", "com1.pl", "aux .x.pl", "CONOUT$.pl"},
       std::string("aux .x.pl") + Device + "com1.pl" + Device + "CONOUT$.pl" + Device + "NUL" + Device, false},
      {{"x.pl."}, "x.pl.: ends in a dot, which Windows drops: the checker never looks at it\n", false},
      {{"tab\tx.pl"}, "tab\tx.pl: a control byte in the name: the checker never looks at it\n", false},
      {{"a\\b.pl"}, "a\\b.pl: a folder, a drive or a separator in the name: the checker never looks at it\n", false},
      {{"~Dravin-Update.staging"}, "~Dravin-Update.staging: the name of the checker's staging file\n", true},
      {{"my plug.pl", "a#b.pl", "com10.pl"}, "", true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Files.front());
#ifdef _WIN32
    if (!C.WindowsCanHoldThem) continue;
#endif
    std::filesystem::remove_all(testsupport::NativePath(Bin()));
    plat::CreateDirectory(Bin());
    std::string Names;
    for (const std::string& F : C.Files) {
      std::ofstream(testsupport::NativePath(Bin()) / F, std::ios::binary) << "# x ver 1.0\r\n";
      Names += F + "=X\r\n";
    }
    try {
      const std::string Text = List(Names);
      EXPECT_EQ(C.Refused, "") << Text;
      EXPECT_EQ(std::count(Text.begin(), Text.end(), '\n'), static_cast<long>(C.Files.size()));
    } catch (const EListRefused& E) {
      EXPECT_EQ(E.Message(), C.Refused);
    }
  }
}

// The list on the server is replaced whole or not at all.
TEST_F(ReleaseFolder, AListThatCannotBeWrittenLeavesNothingBehind) {
  const std::string Old = "Zel,zel.exe,1.0,x,1,X\r\n", New(200000, 'n');
  const std::string Target = Root + "fileversion.txt";
  const struct {
    const char* What;
    std::string Target;
    bool FileSizeLimit;
  } Cases[] = {
      {"written", Target, false},
      {"a folder that does not exist", Root + "gone\\fileversion.txt", false},
      {"a folder where the list should be", Root + "bin", false},
#ifndef _WIN32
      {"a disk that fills up while the list is written", Target, true},
#endif
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    WriteFile(Target, Old);
    bool Raised = false;
    try {
#ifndef _WIN32
      std::optional<testsupport::TFileSizeLimit> Full;
      if (C.FileSizeLimit) Full.emplace(65536);
#endif
      WriteFileList(C.Target, New);
    } catch (const Exception&) {
      Raised = true;
    }
    const bool Written = C.Target == Target && !C.FileSizeLimit;
    EXPECT_EQ(Raised, !Written);
    EXPECT_TRUE(ReadFile(Target) == (Written ? New : Old));
    EXPECT_FALSE(FileExists(C.Target + ".new"));
  }
}

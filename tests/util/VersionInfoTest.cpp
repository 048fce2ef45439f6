// The version strings of files. The same table of expected records is checked
// in both trees: under Wine the images are read by the system's version API,
// in the host build by our own PE reader, so a pass in both is the proof that
// the two readers agree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "VersionFixtures.h"
#include "util/VersionInfo.h"

using testsupport::ScratchFolder;
using testsupport::WriteFile;

namespace {

using Fields = std::vector<std::string>;

Fields AllFields(const TVersion& V) {
  return {V.CompanyName,      V.FileDescription, V.FileVersion,    V.InternalName, V.LegalCopyright, V.LegalTrademarks,
          V.OriginalFileName, V.ProductName,     V.ProductVersion, V.Comment,      V.ScrnSave};
}

std::string Repeat(const std::string& S, int N) {
  std::string R;
  for (int I = 0; I < N; ++I) R += S;
  return R;
}

TVersion Read(const std::string& FileName) {
  TVersion V;
  V.Comment = "left over";  // the record is cleared first
  EXPECT_TRUE(GetFileVersionStrings(FileName, V));
  return V;
}

TVersion Record(const Fields& F) {
  TVersion V;
  V.CompanyName = F[0], V.FileDescription = F[1], V.FileVersion = F[2], V.InternalName = F[3];
  V.LegalCopyright = F[4], V.LegalTrademarks = F[5], V.OriginalFileName = F[6], V.ProductName = F[7];
  V.ProductVersion = F[8], V.Comment = F[9], V.ScrnSave = F[10];
  return V;
}

const Fields Empty(11);

}  // namespace

TEST(VersionResource, EveryFixtureGivesItsRecordInBothTrees) {
  const struct {
    const char* File;
    Fields Expected;
  } Cases[] = {
      // Japanese strings; "©", "®" and "é" take the system's near characters,
      // "〜" (not in the code page) becomes "?", "～" is the code page's own.
      {"ja.exe",
       {"ドラヴィン・ソフトウェア", "プラグインバージョンチェック", "1.0.1.0", "dravin-cafe",
        "Copyright c 2026 ドラヴィン", "ドラヴィンR", "dravin.exe", "ドラヴィン", "1.0", "日本語のコメント?～",
        "スクリーンセーバー"}},
      // Keys compare without regard to case ("OriginalFilename"), but
      // "LegalTrademarks" and "Comments" are other keys than the ones asked for.
      {"en.dll",
       {"Example Corp", "Example library", "2.3.4.5", "example", "(C) Example Corp", "", "example.dll", "Example",
        "2.3", "", ""}},
      // The first translation listed decides the table.
      {"multi.exe", {"", "", "4.0 English", "", "", "", "", "Multi", "", "", ""}},
      {"none.exe", Empty},
      {"bare.exe", Empty},
      {"nolang.exe", Empty},
      {"notrans.exe", Empty},
      // Blanks are kept; a NUL ends the text.
      {"blanks.scr", {"", "   ", "1, 0, 0, 1", "", "", "", "", "Blank Saver", " 2.0 ", "前半", "ブランク セーバー"}},
      {"lower.ocx", {"小文字", "", "6.0", "", "", "TM", "", "", "", "", ""}},
      // A 32-bit resource-only library with a Shift-JIS translation.
      {"lang.jpn", {"", "", "3.0.0.0", "", "", "", "", "言語リソース", "", "", ""}},
      // At most 256 bytes, and never half a double-byte character.
      {"long.exe",
       {"", std::string(256, 'x'), "", "", "", "", "", Repeat("あ", 128), "", "a" + Repeat("あ", 127), ""}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.File);
    EXPECT_EQ(AllFields(Read(VersionFixtureFolder() + C.File)), C.Expected);
  }
  EXPECT_EQ(AllFields(Read(VersionFixtureFolder() + "missing.exe")), Empty);
}

TEST(VersionResource, TheExtensionChoosesTheReader) {
  // A script header under every name: the script reader finds it, the
  // resource reader finds no image.
  const std::string Folder = ScratchFolder();
  const struct {
    const char* Name;
    bool Resource;
  } Cases[] = {
      {"tool.exe", true},  {"tool.EXE", true},  {"tool.dll", true},  {"tool.scr", true},   {"tool.ocx", true},
      {"tool.jpn", true},  {"tool.e", true},    {"tool.dl", true},   {"tool.oc", true},    {"tool.jp", true},
      {"tool.", true},     {"tool.xe.", true},  {"tool", false},     {"tool.txt", false},  {"tool.cmd", false},
      {"tool.pl", false},  {"tool.xe", false},  {"tool.exe.bak", false}, {"tool.exee", false},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    WriteFile(Folder + C.Name, "# tool ver 1.0\r\n");
    const Fields Script = AllFields(Record({"", "", "1.0", "", "", "", "", "tool ", "", "", ""}));
    EXPECT_EQ(AllFields(Read(Folder + C.Name)), C.Resource ? Empty : Script);
  }
  // The extension is that of the name, not of a folder on the way.
  plat::CreateDirectory(Folder + "dir.exe");
  WriteFile(Folder + "dir.exe\\tool", "# tool ver 2.0\n");
  EXPECT_EQ(Read(Folder + "dir.exe\\tool").FileVersion, "2.0");
}

TEST(ScriptHeader, NameVersionAndAuthorFromTheFirstCommentLines) {
  const std::string Folder = ScratchFolder();
  const std::string TenOtherLines = Repeat("echo\n", 10), NineEmptyLines = Repeat("\n", 9);
  const struct {
    const char* Title;
    std::string Text;
    const char* Name;
    const char* Version;
    const char* Author;
  } Cases[] = {
      {"shebang skipped, trailing blank kept", "#!/usr/local/bin/mytool\n# mytool ver 1.20\n# by someone\n",
       "mytool ", "1.20", "someone"},
      {"batch file", "REM mytool version 2.0\r\n@echo off\r\n", "mytool ", "2.0", ""},
      {"keyword without a blank", "# ver1.0\n", "", "ver1.0", ""},
      {"quote comment, Shift-JIS author", "' VB tool ver 3 by 作者\n", "VB tool ver 3 ", "3", "作者"},
      {"Shift-JIS name", "# ツール ver 1.0\n", "ツール ", "1.0", ""},
      {"leading marks stripped from the name", "## *: name\n", "name", "", ""},
      {"both keywords, version first", "# tool ver 1.0 by someone\n", "tool ver 1.0 ", "1.0", "someone"},
      {"both keywords, author first", "# tool by someone ver 2.0\n", "tool by someone ", "2.0", "someone"},
      {"plain substring search", "# Server by Bob\n", "Server ", "", "Bob"},
      {"later lines fill what is missing", "# first\n# second ver 2\n# by third\n", "first", "2", "third"},
      {"lines ended by CR alone", "# a\r# ver 2\r", "a", "2", ""},
      {"an indented comment is no comment", "  # indented ver 1\n", "", "", ""},
      {"anything starting with rem", "remark: mytool ver 1\n", "ark: mytool ", "1", ""},
      {"line ten is read", NineEmptyLines + "# x ver 1\n", "x ", "1", ""},
      {"line eleven is not", TenOtherLines + "# late ver 1.0 by me\n", "", "", ""},
      {"empty file", "", "", "", ""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Title);
    WriteFile(Folder + "script.txt", C.Text);
    EXPECT_EQ(AllFields(Read(Folder + "script.txt")),
              AllFields(Record({"", "", C.Version, "", C.Author, "", "", C.Name, "", "", ""})));
  }
  EXPECT_EQ(AllFields(Read(Folder + "missing.txt")), Empty);
}

// Ini files as the hosts write them, read in both builds: under Wine by the
// system's own reader, on the host by ours, against one table.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "framework/IniFiles.h"

TEST(IniFile, ValuesAreFoundByTheSystemsRules) {
  struct Case {
    const char* What;
    const char* Text;  // nullptr: no file
    const char* Key;
    const char* Expected;  // the default is "(none)"
  } Cases[] = {
      {"a plain value", "[TSetup]\r\nUseProxy_Checked=True\r\n", "UseProxy_Checked", "True"},
      {"names without regard to case", "[tsetup]\r\nuseproxy_checked=False\r\n", "UseProxy_Checked", "False"},
      {"blanks around names and values", "  [TSetup]\r\n  TimeOut_Text  =   5  \r\n", "TimeOut_Text", "5"},
      {"blanks inside the brackets", "[ TSetup ]\r\nA=1\r\n", "A", "1"},
      {"enclosing quotes go, what they hold stays", "[TSetup]\r\nA=\"  spaced  \"\r\n", "A", "  spaced  "},
      {"single quotes too", "[TSetup]\r\nA='x'\r\n", "A", "x"},
      {"a lone quote stays", "[TSetup]\r\nA=\"x\r\n", "A", "\"x"},
      {"an equals sign in the value", "[TSetup]\r\nA=b=c\r\n", "A", "b=c"},
      {"no comment after a value", "[TSetup]\r\nA=b ;c\r\n", "A", "b ;c"},
      {"an empty value", "[TSetup]\r\nA=\r\n", "A", ""},
      {"the first of two keys", "[TSetup]\r\nA=1\r\nA=2\r\n", "A", "1"},
      {"only the first of two sections", "[TSetup]\r\nB=0\r\n[Other]\r\nA=9\r\n[TSetup]\r\nA=2\r\n", "A", "(none)"},
      {"a key of another section", "[Other]\r\nA=1\r\n[TSetup]\r\nB=2\r\n", "A", "(none)"},
      {"a key before any section", "A=1\r\n[TSetup]\r\n", "A", "(none)"},
      {"line ends of one byte", "[TSetup]\nA=1\nB=2\n", "B", "2"},
      {"no line end at the end", "[TSetup]\r\nA=last", "A", "last"},
      {"a key without a value hides a later one", "[TSetup]\r\nA\r\nA=1\r\n", "A", "(none)"},
      {"a line without an equals sign", "[TSetup]\r\nB\r\nA=1\r\n", "A", "1"},
      {"an empty file", "", "A", "(none)"},
      {"no file", nullptr, "A", "(none)"},
  };
  // The system's reader looks for a name without a full path in the Windows folder.
  const std::string Folder = testsupport::ScratchFolder();
  int N = 0;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    const std::string Name = Folder + "s" + std::to_string(N++) + ".ini";
    if (C.Text) testsupport::WriteFile(Name, C.Text);
    TIniFile Ini(Name);
    EXPECT_EQ(Ini.ReadString("TSetup", C.Key, "(none)"), C.Expected);
  }
}

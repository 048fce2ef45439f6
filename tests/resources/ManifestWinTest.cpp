// dravin.exe as the system's loader sees it: the process manifest it carries.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

TEST(Manifest, TheCheckerRunsAsInvokerOnEverySystemItDeclaresWithTheClassicControls) {
  HMODULE Exe = LoadLibraryExA(DRAVIN_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(Exe, nullptr);
  HRSRC Found = FindResourceA(Exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(Found, nullptr);
  const char* Data = static_cast<const char*>(LockResource(LoadResource(Exe, Found)));
  const std::string Xml(Data, SizeofResource(Exe, Found));
  FreeLibrary(Exe);
  EXPECT_NE(Xml.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
  for (const char* Os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                         "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                         "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
    EXPECT_NE(Xml.find(std::string("<supportedOS Id=\"{") + Os + "}\"/>"), std::string::npos) << Os;
  EXPECT_EQ(Xml.find("Common-Controls"), std::string::npos);
}

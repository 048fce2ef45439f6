// Paths that reach the checker as UTF-16 from the system, under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "TestSupport.h"
#include "util/TextUtils.h"

// After the seam's headers, whose names its macros would change.
#include <windows.h>

using testsupport::ScratchFolder;
using testsupport::WriteFile;

// Folders whose names code page 932 cannot spell: a best-fit "u" for "ü"
// names a folder that does not exist, and "¥" becomes a separator.
TEST(Environment, ATempFolderTheCodePageCannotSpellIsReachedByItsShortName) {
  auto Wide = [](const std::string& Ascii) { return std::wstring(Ascii.begin(), Ascii.end()); };
  const std::wstring Scratch = Wide(ScratchFolder());
  const std::string Saved = GetEnvironmentText("temp"), SavedTmp = GetEnvironmentText("tmp");
  // What the system gives for its temp folder once "temp" is of no use.
  wchar_t Buffer[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, Buffer);
  const std::wstring WideTemp(Buffer);
  const std::string SystemTempFolder(WideTemp.begin(), WideTemp.end());
  for (const std::wstring Name : {L"Z\u00FCrich", L"a\u00A5b"}) {
    const std::wstring Folder = Scratch + Name;
    ASSERT_TRUE(CreateDirectoryW(Folder.c_str(), nullptr));
    SetEnvironmentVariableW(L"temp", Folder.c_str());
    const std::string Temp = GetTempFolder();
    EXPECT_TRUE(std::all_of(Temp.begin(), Temp.end(), [](char C) { return static_cast<unsigned char>(C) < 0x80; }))
        << Temp;
    // The very folder: a file made under the short name is found under the long one.
    WriteFile(Temp + "fileversion.txt", "list");
    EXPECT_NE(GetFileAttributesW((Folder + L"\\fileversion.txt").c_str()), INVALID_FILE_ATTRIBUTES) << Temp;

    // Without short names: the system's temp folder, while it is spelled.
    plat::SetShortNamesAvailable(false);
    EXPECT_EQ(GetTempFolder(), SystemTempFolder);
    // And when it is not either, no folder is named at all: the file cannot be
    // made, and the error says where.
    SetEnvironmentVariableW(L"tmp", Folder.c_str());
    const std::string Nowhere = GetTempFolder();
    EXPECT_NE(Nowhere.find('?'), std::string::npos) << Nowhere;
    try {
      WriteFile(Nowhere + "fileversion.txt", "list");
      ADD_FAILURE() << "made in " << Nowhere;
    } catch (const EFCreateError& E) {
      EXPECT_NE(E.Message().find(Nowhere + "fileversion.txt"), std::string::npos) << E.Message();
    }
    plat::SetShortNamesAvailable(true);
    testsupport::SetEnv("tmp", SavedTmp);
  }
  testsupport::SetEnv("temp", Saved);
}

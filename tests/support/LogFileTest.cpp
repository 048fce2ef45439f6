#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "TestSupport.h"
#include "support/LogFile.h"
#include "util/VersionInfo.h"

using testsupport::FakeClock;
using testsupport::ReadFile;
using testsupport::ScratchFolder;
using testsupport::WriteFile;

namespace {

const TDateTime StartTime = EncodeDate(2026, 12, 7) + EncodeTime(1, 39, 19, 0);

std::string OwnVersion() {
#ifdef _WIN32
  return "9.8.7.6";  // the test program's own version resource
#else
  TVersion V;  // an ELF program has none; whatever the readers make of it
  GetFileVersionStrings(ParamStr(0), V);
  return V.FileVersion;
#endif
}

const std::string Start = "--- START ---\t2026-12-07 01:39:19\r\nVersion " + OwnVersion() + "\r\n";
const std::string End = "--- END ---\t2026-12-07\t01:39:19\r\n";
const std::string None = "<no file>";

std::string Contents(const std::string& Name) { return FileExists(Name) ? ReadFile(Name) : None; }

// A Windows-style name as the test program's file functions take it.
std::filesystem::path Native(const std::string& Name) {
  std::string N = Name;
#ifndef _WIN32
  for (char& C : N)
    if (C == '\\') C = '/';
#endif
  return std::filesystem::path(N);
}

// The same without a drive: it begins with "\".
// It lies in the working folder (the build tree), which is on the current
// drive; the test removes it.
std::string RootedFolder() {
  std::string Folder = std::filesystem::current_path().string();
  for (char& C : Folder)
    if (C == '/') C = '\\';
  if (Folder.size() > 1 && Folder[1] == ':') Folder.erase(0, 2);
  return IncludeTrailingBackslash(Folder) + "rooted." + std::to_string(plat::TickCount()) + "\\";
}

}  // namespace

TEST(LogFile, MarkersAndLines) {
  using Act = std::function<void(TLogFile*& Log, const std::string& Name)>;
  const struct {
    const char* Title;
    std::string Before;
    Act Steps;
    std::string Expected;
  } Cases[] = {
      {"lines between the markers", None,
       [](TLogFile*& L, const std::string& Name) {
         L->LogFileName = Name;
         L->SetActive(true);
         EXPECT_TRUE(L->WriteLog("abc", false));
         EXPECT_TRUE(L->WriteLog("abc", true));
         EXPECT_TRUE(L->WriteLog("バージョンチェック\t開始", false));
       },
       Start + "abc\r\nzel.log: abc (C.ERROR)\r\nバージョンチェック\t開始\r\n" + End},
      {"appended to what the host wrote", "host line\r\n",
       [](TLogFile*& L, const std::string& Name) {
         L->LogFileName = Name;
         L->SetActive(true);
         L->WriteLog("x", false);
         L->SetActive(false);
         EXPECT_FALSE(L->Active());
         EXPECT_FALSE(L->WriteLog("after the end", false));
       },
       "host line\r\n" + Start + "x\r\n" + End},
      {"switched on twice, two start pairs", None,
       [](TLogFile*& L, const std::string& Name) {
         L->LogFileName = Name;
         L->SetActive(true);
         L->SetActive(true);
       },
       Start + Start + End},
      {"the end line reads the clock anew", None,
       [](TLogFile*& L, const std::string& Name) {
         L->LogFileName = Name;
         L->SetActive(true);
         Sleep(61000);
       },
       Start + "--- END ---\t2026-12-07\t01:40:20\r\n"},
      {"switching off an inactive log writes nothing", None,
       [](TLogFile*& L, const std::string& Name) {
         L->LogFileName = Name;
         L->SetActive(false);
         EXPECT_FALSE(L->WriteLog("x", false));
       },
       None},
      {"destroying an inactive log writes nothing", "kept\r\n",
       [](TLogFile*& L, const std::string& Name) { L->LogFileName = Name; }, "kept\r\n"},
      {"a blank name: the flag is set, nothing is written", None,
       [](TLogFile*& L, const std::string&) {
         L->LogFileName = "   ";
         L->SetActive(true);
         EXPECT_TRUE(L->Active());
         EXPECT_FALSE(L->WriteLog("x", true));
       },
       None},
      {"design mode writes no marker", None,
       [](TLogFile*& L, const std::string& Name) {
         L->SetDesigning(true);
         L->LogFileName = Name;
         L->SetActive(true);
         L->SetActive(false);
         L->SetActive(true);
       },
       None},
      {"loaded active: one start pair, once loading is done", None,
       [](TLogFile*& L, const std::string& Name) {
         L->BeginLoading();
         L->SetActive(true);
         L->LogFileName = Name;
         EXPECT_FALSE(FileExists(Name));
         L->Loaded();
       },
       Start + End},
      {"loaded inactive writes nothing", None,
       [](TLogFile*& L, const std::string& Name) {
         L->BeginLoading();
         L->LogFileName = Name;
         L->Loaded();
       },
       None},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Title);
    FakeClock Clock(StartTime);
    const std::string Name = ScratchFolder() + "zel.log";
    if (C.Before != None) WriteFile(Name, C.Before);
    TLogFile* Log = new TLogFile(nullptr);
    C.Steps(Log, Name);
    delete Log;
    EXPECT_EQ(Contents(Name), C.Expected);
  }
}

#ifdef _WIN32
// Run by the script test log_time_settings, in a Wine prefix of its own whose
// time separator is "." and whose long time format is "tt hh.mm.ss": the
// start line keeps its fixed form with the system's separator, the end line's
// time is the system's long time format.
TEST(LogFile, DISABLED_TimesFollowTheUsersRegionalSettings) {
  FakeClock Clock(StartTime);
  const std::string Name = ScratchFolder() + "zel.log";
  {
    TLogFile Log(nullptr);
    Log.LogFileName = Name;
    Log.SetActive(true);
    Sleep(13 * 3600 * 1000);
  }
  EXPECT_EQ(Contents(Name), "--- START ---\t2026-12-07 01.39.19\r\nVersion " + OwnVersion() +
                                "\r\n--- END ---\t2026-12-07\tPM 02.39.19\r\n");
}
#endif

TEST(LogFile, NamesAreMadeAbsoluteAndTheLastFolderIsCreated) {
  FakeClock Clock(StartTime);
  const std::string ProgramFolder = ExtractFilePath(ParamStr(0));
  const std::string Relative = "logtest-" + std::to_string(plat::TickCount()) + "\\x.log";
  {
    TLogFile Log(nullptr);
    Log.LogFileName = Relative;
    Log.SetActive(true);
    EXPECT_EQ(Log.LogFileName, ProgramFolder + Relative);
  }
  EXPECT_EQ(Contents(ProgramFolder + Relative), Start + End);
  std::filesystem::remove_all(Native(ExtractFilePath(ProgramFolder + Relative)));

  // A name that begins with "\" is left as it is.
  const std::string Folder = RootedFolder();
  const std::string Rooted = Folder + "new\\y.log";
  plat::CreateDirectory(Folder);
  {
    TLogFile Log(nullptr);
    Log.LogFileName = Rooted;
    Log.SetActive(true);
    EXPECT_EQ(Log.LogFileName, Rooted);
  }
  EXPECT_EQ(Contents(Rooted), Start + End);
  std::filesystem::remove_all(Native(Folder));
}

TEST(LogFile, AnUnwritableLogAtStartSwitchesLoggingOffQuietly) {
  FakeClock Clock(StartTime);
  const std::string Folder = ScratchFolder();
  const std::string Names[] = {
      Folder + "two\\levels\\x.log",  // only the last folder is made
      Folder.substr(0, Folder.size() - 1),  // a folder, not a file
#ifndef _WIN32
      "\\dev\\full",  // opens, but no line can be written
#endif
  };
  for (const std::string& Name : Names) {
    SCOPED_TRACE(Name);
    TLogFile Log(nullptr);
    Log.LogFileName = Name;
    EXPECT_NO_THROW(Log.SetActive(true));
    EXPECT_FALSE(Log.Active());
    EXPECT_FALSE(Log.WriteLog("x", false));
  }
  EXPECT_FALSE(DirectoryExists(Folder + "two"));
}

TEST(LogFile, AFailedLineRaisesTheSystemErrorAndLoggingGoesOn) {
  FakeClock Clock(StartTime);
  const std::string Name = ScratchFolder() + "zel.log";
  TLogFile Log(nullptr);
  Log.LogFileName = Name;
  Log.SetActive(true);
  // The host's log turned into a folder: no line can be opened.
  ASSERT_TRUE(DeleteFile(Name));
  ASSERT_TRUE(plat::CreateDirectory(Name));
  try {
    Log.WriteLog("lost", false);
    ADD_FAILURE() << "no error raised";
  } catch (const EInOutError& E) {
    EXPECT_EQ(E.ErrorCode, plat::ErrorAccessDenied);
  }
  EXPECT_TRUE(Log.Active());
  std::filesystem::remove(Native(Name));
  EXPECT_TRUE(Log.WriteLog("back", false));
  EXPECT_EQ(Contents(Name), "back\r\n");
  // The end line's failure is swallowed.
  ASSERT_TRUE(DeleteFile(Name));
  ASSERT_TRUE(plat::CreateDirectory(Name));
  EXPECT_NO_THROW(Log.SetActive(false));
  EXPECT_FALSE(Log.Active());
}

#ifndef _WIN32
TEST(LogFile, AWriteFailureClosesTheFileBeforeRaising) {
  FakeClock Clock(StartTime);
  TLogFile Log(nullptr);
  Log.LogFileName = ScratchFolder() + "zel.log";
  Log.SetActive(true);
  Log.LogFileName = "\\dev\\full";
  auto OpenFiles = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  const auto Before = OpenFiles();
  for (int I = 0; I < 3; ++I) {
    try {
      Log.WriteLog("x", true);
      ADD_FAILURE() << "no error raised";
    } catch (const EInOutError& E) {
      EXPECT_EQ(E.ErrorCode, plat::ErrorDiskFull);
    }
  }
  EXPECT_EQ(OpenFiles(), Before);
  EXPECT_TRUE(Log.Active());
}
#endif

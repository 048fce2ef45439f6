#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

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
  std::filesystem::remove_all(testsupport::NativePath(ExtractFilePath(ProgramFolder + Relative)));

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
  std::filesystem::remove_all(testsupport::NativePath(Folder));
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
  std::filesystem::remove(testsupport::NativePath(Name));
  EXPECT_TRUE(Log.WriteLog("back", false));
  EXPECT_EQ(Contents(Name), "back\r\n");
  // The end line's failure is swallowed.
  ASSERT_TRUE(DeleteFile(Name));
  ASSERT_TRUE(plat::CreateDirectory(Name));
  EXPECT_NO_THROW(Log.SetActive(false));
  EXPECT_FALSE(Log.Active());
}

namespace {

// The host's own hold on its log while the checker writes: on Windows the
// file open for writing, shared for reading only; elsewhere the file is a
// program that runs, which the system keeps every writer from.
class THeldFile {
 public:
  explicit THeldFile(const std::string& Name) {
#ifdef _WIN32
    std::uint32_t Error = 0;
    FHolder = plat::File::Open(Name, plat::FileAccess::Write, plat::FileShare::DenyWrite,
                               plat::FileCreate::OpenAlways, Error);
    EXPECT_TRUE(FHolder.IsOpen());
#else
    const std::filesystem::path Native = testsupport::NativePath(Name);
    std::filesystem::copy_file("/bin/sleep", Native, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(Native, std::filesystem::perms::owner_all);
    FChild = fork();
    if (FChild == 0) {
      execl(Native.c_str(), "sleep", "60", static_cast<char*>(nullptr));
      _exit(127);
    }
    // Held from the moment the child runs the file.
    const std::string Proc = "/proc/" + std::to_string(FChild) + "/exe";
    for (int I = 0; I < 1000 && std::filesystem::read_symlink(Proc, Ignored) != Native; ++I) usleep(2000);
#endif
  }
  ~THeldFile() { Release(); }
  void Release() {
#ifdef _WIN32
    FHolder.Close();
#else
    if (FChild > 0) {
      kill(FChild, SIGKILL);
      waitpid(FChild, nullptr, 0);
      FChild = -1;
    }
#endif
  }

 private:
#ifdef _WIN32
  plat::File FHolder;
#else
  pid_t FChild = -1;
  std::error_code Ignored;
#endif
};

}  // namespace

// A line the host's hold refuses is tried again, 50 ms apart, up to ten
// times; then it is dropped and the run goes on. Other failures still raise.
TEST(LogFile, ALogTheHostHoldsIsTriedAgainThenTheLineIsDropped) {
  const struct {
    const char* What;
    bool EndMarker;
    int ReleasedAfter;  // sleeps; 0: held throughout
    bool Written;
  } Cases[] = {
      {"released after three tries", false, 3, true},
      {"released after ten tries", false, 10, true},
      {"held throughout", false, 0, false},
      {"the end marker, released after two tries", true, 2, true},
      {"the end marker, held throughout", true, 0, false},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    FakeClock Clock(StartTime);
    const std::string Name = ScratchFolder() + "zel.log";
    TLogFile Log(nullptr);
    Log.LogFileName = Name;
    Log.SetActive(true);
    THeldFile Hold(Name);
    const std::string Before = ReadFile(Name);
    int Sleeps = 0;
    Clock.OnSleep = [&](long long) {
      if (++Sleeps == C.ReleasedAfter) Hold.Release();
    };
    if (C.EndMarker) {
      EXPECT_NO_THROW(Log.SetActive(false));
    } else {
      EXPECT_EQ(Log.WriteLog("abc", false), C.Written);
    }
    EXPECT_EQ(Sleeps, C.ReleasedAfter ? C.ReleasedAfter : 10);
    EXPECT_EQ(Clock.ElapsedMs(), 50 * Sleeps);
    Hold.Release();
    const std::string Line = C.EndMarker ? "--- END ---\t2026-12-07\t" + FormatDateTime("hh:nn:ss", Now()) + "\r\n"
                                         : "abc\r\n";
    EXPECT_TRUE(ReadFile(Name) == (C.Written ? Before + Line : Before));
    // The run goes on: the next line is written.
    if (!C.EndMarker) {
      EXPECT_TRUE(Log.WriteLog("next", false));
      EXPECT_TRUE(ReadFile(Name) == Before + (C.Written ? Line : "") + "next\r\n");
    }
  }
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

// Small helpers shared by the test programs of both builds. File names are
// Windows-style everywhere; the framework turns them into native ones.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "framework/MessagePump.h"
#include "framework/Streams.h"
#include "framework/SysUtils.h"
#include "platform/Platform.h"

namespace testsupport {

inline void WriteFile(const std::string& Name, const std::string& Bytes) {
  TFileStream S(Name, fmCreate);
  S.WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
}

inline std::string ReadFile(const std::string& Name) {
  TFileStream S(Name, fmOpenRead | fmShareDenyNone);
  std::string Bytes(static_cast<std::size_t>(S.Size()), '\0');
  S.ReadBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
  return Bytes;
}

// The folder of this test program's scratch folders, in the system's temp
// folder, made on first use and removed with everything in it when the
// program ends. Windows-style, with a trailing backslash.
inline const std::string& ScratchRoot() {
  struct Root {
    std::filesystem::path Native;
    std::string Name;
    Root() {
      std::error_code Error;
      std::filesystem::path Temp = std::filesystem::temp_directory_path(Error);
      if (Error) Temp = std::filesystem::current_path();
      // Test programs run side by side: each takes a name of its own.
      Native = Temp / ("dravin-tests." + std::to_string(std::random_device{}()));
      std::filesystem::create_directories(Native, Error);
      Name = Native.string();
      for (char& C : Name)
        if (C == '/') C = '\\';
      Name += "\\";
    }
    ~Root() {
      std::error_code Ignored;
      std::filesystem::remove_all(Native, Ignored);
    }
  };
  static const Root R;
  return R.Name;
}

// A fresh folder for the running test, below ScratchRoot(), as an absolute
// path with a trailing backslash.
inline std::string ScratchFolder() {
  static std::atomic<int> Counter{0};
  const auto* Info = testing::UnitTest::GetInstance()->current_test_info();
  std::string Name = std::string(Info ? Info->test_suite_name() : "t") + "." + (Info ? Info->name() : "x");
  for (char& C : Name)
    if (C == '/') C = '_';
  std::string Folder = ScratchRoot() + Name + "." + std::to_string(Counter++);
  plat::CreateDirectory(Folder);
  return Folder + "\\";
}

// A folder of the build tree, given as a Unix path, as the program sees it:
// with backslashes, and under Wine on the drive Z: that stands for the root.
inline std::string BuildTreeFolder(std::string Name) {
  for (char& C : Name)
    if (C == '/') C = '\\';
#ifdef _WIN32
  Name = "Z:" + Name;
#endif
  return Name;
}

// A Windows-style name as the standard library's file functions take it.
inline std::filesystem::path NativePath(std::string Name) {
#ifndef _WIN32
  for (char& C : Name)
    if (C == '\\') C = '/';
#endif
  return std::filesystem::path(Name);
}

#ifndef _WIN32
// Files of this process cannot grow beyond Bytes while this lives: writes
// past it fail as on a full disk (EFBIG, and no signal).
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(std::uint64_t Bytes) {
    getrlimit(RLIMIT_FSIZE, &FSaved);
    FOldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit Small = FSaved;
    Small.rlim_cur = Bytes;
    setrlimit(RLIMIT_FSIZE, &Small);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FSaved);
    signal(SIGXFSZ, FOldHandler);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  rlimit FSaved{};
  void (*FOldHandler)(int) = nullptr;
};
#endif

// Through the seam: the values are code page 932 on both sides.
inline void SetEnv(const std::string& Name, const std::string& Value) {
  plat::SetEnvironmentVariable(Name.c_str(), Value.c_str());
}

inline void UnsetEnv(const std::string& Name) { plat::SetEnvironmentVariable(Name.c_str(), nullptr); }

// A clock that only moves when the program sleeps: waits become observable
// and cost nothing.
class FakeClock : public TClockSource {
 public:
  explicit FakeClock(TDateTime Start = EncodeDate(2026, 12, 7)) : FStart(Start) { FPrevious = SetClockSource(this); }
  ~FakeClock() override { SetClockSource(FPrevious); }
  TDateTime Now() override { return FStart + static_cast<double>(FElapsedMs) / 86400000.0; }
  void Sleep(std::uint32_t Milliseconds) override {
    FElapsedMs += Milliseconds;
    ++FSleeps;
    if (OnSleep) OnSleep(FElapsedMs);
  }
  long long ElapsedMs() const { return FElapsedMs; }
  int Sleeps() const { return FSleeps; }
  std::function<void(long long ElapsedMs)> OnSleep;

 private:
  TDateTime FStart;
  long long FElapsedMs = 0;
  int FSleeps = 0;
  TClockSource* FPrevious = nullptr;
};

// Dispatches what is waiting, quit messages dropped, so that one test leaves
// nothing behind for the next.
inline void DrainQueue() { ProcessThreadMessages(TQuitRule::Drop); }

// Drains the queue by turns, 1 ms apart, until Done() or TimeoutMs.
template <typename Predicate>
bool PumpUntil(Predicate Done, int TimeoutMs = 10000) {
  return ::PumpUntil(Done, DrainQueue, 1, TimeoutMs);
}

}  // namespace testsupport

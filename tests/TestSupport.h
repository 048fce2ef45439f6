// Small helpers shared by the test programs of both builds. File names are
// Windows-style everywhere; the framework turns them into native ones.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

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

// A fresh folder below the working directory, named after the running test,
// as a path with a trailing backslash.
inline std::string ScratchFolder() {
  static std::atomic<int> Counter{0};
  const auto* Info = testing::UnitTest::GetInstance()->current_test_info();
  std::string Name = std::string(Info ? Info->test_suite_name() : "t") + "." + (Info ? Info->name() : "x");
  for (char& C : Name)
    if (C == '/') C = '_';
  std::string Folder = Name + "." + std::to_string(plat::TickCount()) + "." + std::to_string(Counter++);
  plat::CreateDirectory(Folder);
  return Folder + "\\";
}

// The scratch folder by its absolute name, as the folder of a running program
// always is (the log makes relative names absolute with the program's own).
inline std::string AbsoluteScratchFolder() {
  std::string Cwd = std::filesystem::current_path().string();
  for (char& C : Cwd)
    if (C == '/') C = '\\';
  return IncludeTrailingBackslash(Cwd) + ScratchFolder();
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

inline void SetEnv(const std::string& Name, const std::string& Value) {
#ifdef _WIN32
  _putenv_s(Name.c_str(), Value.c_str());
#else
  setenv(Name.c_str(), Value.c_str(), 1);
#endif
}

inline void UnsetEnv(const std::string& Name) {
#ifdef _WIN32
  _putenv_s(Name.c_str(), "");
#else
  unsetenv(Name.c_str());
#endif
}

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
inline void DrainQueue() {
  plat::Message M;
  while (plat::PeekMessage(M, true)) {
    if (M.Msg == plat::MsgQuit) continue;
    plat::TranslateMessage(M);
    plat::DispatchMessage(M);
  }
}

}  // namespace testsupport

// Process-level services on Windows.
#include "platform/Platform.h"
#include "platform/win32/WinApi.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace plat {
namespace win32 {

std::wstring Wide(const std::string& Text) {
  if (Text.empty()) return std::wstring();
  int N = ::MultiByteToWideChar(932, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring Result(static_cast<std::size_t>(N), L'\0');
  ::MultiByteToWideChar(932, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), N);
  return Result;
}

std::string Narrow(const wchar_t* Text, int Length) {
  if (Length < 0) Length = static_cast<int>(::wcslen(Text));
  if (Length == 0) return std::string();
  int N = ::WideCharToMultiByte(932, 0, Text, Length, nullptr, 0, nullptr, nullptr);
  std::string Result(static_cast<std::size_t>(N), '\0');
  ::WideCharToMultiByte(932, 0, Text, Length, Result.data(), N, nullptr, nullptr);
  return Result;
}

}  // namespace win32

namespace {

bool gShortNames = true;

bool Spelled(const std::wstring& Path) {
  return win32::Wide(win32::Narrow(Path.c_str(), static_cast<int>(Path.size()))) == Path;
}

// Path as code page 932 writes it when "?" stands for what it lacks, never a
// near character.
std::string NarrowWithoutBestFit(const std::wstring& Path) {
  if (Path.empty()) return std::string();
  const int Length = static_cast<int>(Path.size());
  const int N = ::WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, Path.data(), Length, nullptr, 0, "?", nullptr);
  std::string Result(static_cast<std::size_t>(N), '\0');
  ::WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, Path.data(), Length, Result.data(), N, "?", nullptr);
  return Result;
}

bool SpellPath(const std::wstring& Path, std::string& Narrow) {
  if (Spelled(Path)) {
    Narrow = win32::Narrow(Path.c_str(), static_cast<int>(Path.size()));
    return true;
  }
  const DWORD Needed = gShortNames ? ::GetShortPathNameW(Path.c_str(), nullptr, 0) : 0;
  if (Needed != 0) {
    std::vector<wchar_t> Short(Needed);
    const DWORD N = ::GetShortPathNameW(Path.c_str(), Short.data(), Needed);
    const std::wstring ShortPath(Short.data(), N < Needed ? N : 0);
    if (!ShortPath.empty() && Spelled(ShortPath)) {
      Narrow = win32::Narrow(ShortPath.c_str(), static_cast<int>(ShortPath.size()));
      return true;
    }
  }
  Narrow = NarrowWithoutBestFit(Path);
  return false;
}

}  // namespace

std::string GetModuleFileName() {
  std::vector<wchar_t> Buffer(MAX_PATH);
  for (;;) {
    DWORD N = ::GetModuleFileNameW(nullptr, Buffer.data(), static_cast<DWORD>(Buffer.size()));
    if (N == 0) return std::string();
    if (N < Buffer.size()) {
      // A program folder the code page cannot spell: its files are still found.
      std::string Name;
      SpellPath(std::wstring(Buffer.data(), N), Name);
      return Name;
    }
    Buffer.resize(Buffer.size() * 2);
  }
}

bool GetEnvironmentPath(const char* Name, std::string& Path) {
  Path.clear();
  const std::wstring WideName = win32::Wide(Name);
  const DWORD Needed = ::GetEnvironmentVariableW(WideName.c_str(), nullptr, 0);
  if (Needed == 0) return false;
  std::vector<wchar_t> Value(Needed);
  const DWORD N = ::GetEnvironmentVariableW(WideName.c_str(), Value.data(), Needed);
  if (N == 0 || N >= Needed) return false;
  return SpellPath(std::wstring(Value.data(), N), Path);
}

bool GetTempPath(std::string& Path) {
  Path.clear();
  wchar_t Buffer[MAX_PATH + 1];
  const DWORD N = ::GetTempPathW(MAX_PATH + 1, Buffer);
  if (N == 0 || N > MAX_PATH) return false;
  return SpellPath(std::wstring(Buffer, N), Path);
}

void SetShortNamesAvailable(bool Available) { gShortNames = Available; }

std::uint32_t GetEnvironmentVariable(const char* Name, char* Buffer, std::uint32_t Size) {
  const std::wstring WideName = win32::Wide(Name);
  DWORD Needed = ::GetEnvironmentVariableW(WideName.c_str(), nullptr, 0);
  if (Needed == 0) return 0;
  std::vector<wchar_t> Value(Needed);
  DWORD N = ::GetEnvironmentVariableW(WideName.c_str(), Value.data(), Needed);
  if (N == 0 || N >= Needed) return 0;
  const std::string Text = win32::Narrow(Value.data(), static_cast<int>(N));
  if (Text.size() + 1 > Size) return static_cast<std::uint32_t>(Text.size() + 1);
  std::memcpy(Buffer, Text.c_str(), Text.size() + 1);
  return static_cast<std::uint32_t>(Text.size());
}

bool SetEnvironmentVariable(const char* Name, const char* Value) {
  return ::SetEnvironmentVariableW(win32::Wide(Name).c_str(), Value ? win32::Wide(Value).c_str() : nullptr) != 0;
}

LocalTime GetLocalTime() {
  SYSTEMTIME T;
  ::GetLocalTime(&T);
  return LocalTime{T.wYear, T.wMonth, T.wDay, T.wHour, T.wMinute, T.wSecond, T.wMilliseconds};
}

std::string TimeSeparator() {
  wchar_t Text[8] = {};
  const int N = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, Text, 8);
  return N > 1 ? win32::Narrow(Text, N - 1) : std::string(":");
}

std::string FormatLongTime(int Hour, int Minute, int Second) {
  SYSTEMTIME T{};
  T.wYear = 2000;
  T.wMonth = 1;
  T.wDay = 1;
  T.wHour = static_cast<WORD>(Hour);
  T.wMinute = static_cast<WORD>(Minute);
  T.wSecond = static_cast<WORD>(Second);
  wchar_t Text[80] = {};
  const int N = ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &T, nullptr, Text, 80);
  if (N > 1) return win32::Narrow(Text, N - 1);
  char Fixed[16];
  std::snprintf(Fixed, sizeof Fixed, "%02d:%02d:%02d", Hour, Minute, Second);
  return Fixed;
}

}  // namespace plat

namespace plat {

std::string SystemErrorText(std::uint32_t Code) {
  wchar_t* Text = nullptr;
  DWORD N = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, Code, 0, reinterpret_cast<wchar_t*>(&Text), 0, nullptr);
  if (N == 0 || !Text) return "System error " + std::to_string(Code) + ".";
  while (N > 0 && (Text[N - 1] == L'\r' || Text[N - 1] == L'\n' || Text[N - 1] == L' ')) --N;
  std::string Result = win32::Narrow(Text, static_cast<int>(N));
  ::LocalFree(Text);
  return Result;
}

}  // namespace plat

// Process-level services for the host build.
#include "platform/Platform.h"

#include <strings.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace plat {

std::string GetModuleFileName() {
  char Buffer[4096];
  ssize_t N = ::readlink("/proc/self/exe", Buffer, sizeof Buffer - 1);
  if (N <= 0) return std::string();
  std::string Result(Buffer, static_cast<std::size_t>(N));
  // Logic above the seam splits file names at "\" as on Windows.
  for (char& C : Result)
    if (C == '/') C = '\\';
  return Result;
}

namespace {

// The value of the first variable whose name equals Name, ignoring case as
// Windows does; nullptr when there is none.
const char* FindVariable(const char* Name) {
  const std::size_t NameLength = std::strlen(Name);
  for (char** E = environ; E && *E; ++E)
    if (::strncasecmp(*E, Name, NameLength) == 0 && (*E)[NameLength] == '=') return *E + NameLength + 1;
  return nullptr;
}

}  // namespace

std::uint32_t GetEnvironmentVariable(const char* Name, char* Buffer, std::uint32_t Size) {
  const char* Value = FindVariable(Name);
  if (!Value) return 0;
  const std::size_t Length = std::strlen(Value);
  if (Length + 1 > Size) return static_cast<std::uint32_t>(Length + 1);
  std::memcpy(Buffer, Value, Length + 1);
  return static_cast<std::uint32_t>(Length);
}

bool GetEnvironmentPath(const char* Name, std::string& Path) {
  const char* Value = FindVariable(Name);
  Path = Value ? Value : "";
  return Value != nullptr;
}

bool GetTempPath(std::string& Path) {
  const char* Folder = std::getenv("TMPDIR");
  Path = Folder && *Folder ? Folder : "/tmp";
  for (char& C : Path)
    if (C == '/') C = '\\';
  if (Path.back() != '\\') Path += '\\';
  return true;
}

// Names are bytes here: there is nothing a short name would spell better.
void SetShortNamesAvailable(bool) {}

bool SetEnvironmentVariable(const char* Name, const char* Value) {
  return (Value ? ::setenv(Name, Value, 1) : ::unsetenv(Name)) == 0;
}

LocalTime GetLocalTime() {
  timeval Now;
  ::gettimeofday(&Now, nullptr);
  tm Parts;
  ::localtime_r(&Now.tv_sec, &Parts);
  return LocalTime{Parts.tm_year + 1900, Parts.tm_mon + 1, Parts.tm_mday, Parts.tm_hour,
                   Parts.tm_min,         Parts.tm_sec,     static_cast<int>(Now.tv_usec / 1000)};
}

std::string TimeSeparator() { return ":"; }

std::string FormatLongTime(int Hour, int Minute, int Second) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "%02d:%02d:%02d", Hour, Minute, Second);
  return Text;
}

}  // namespace plat

namespace plat {

// The Windows texts of the numbers the POSIX side produces, so that messages
// read the same in both builds.
std::string SystemErrorText(std::uint32_t Code) {
  switch (Code) {
    case ErrorSuccess: return "The operation completed successfully.";
    case ErrorFileNotFound: return "The system cannot find the file specified.";
    case ErrorPathNotFound: return "The system cannot find the path specified.";
    case ErrorTooManyOpenFiles: return "The system cannot open the file.";
    case ErrorAccessDenied: return "Access is denied.";
    case ErrorInvalidHandle: return "The handle is invalid.";
    case ErrorNotEnoughMemory: return "Not enough memory resources are available to process this command.";
    case ErrorWriteFault: return "The system cannot write to the specified device.";
    case ErrorReadFault: return "The system cannot read from the specified device.";
    case ErrorSharingViolation:
      return "The process cannot access the file because it is being used by another process.";
    case ErrorHandleEof: return "Reached the end of the file.";
    case ErrorFileExists: return "The file exists.";
    case ErrorInvalidParameter: return "The parameter is incorrect.";
    case ErrorDiskFull: return "There is not enough space on the disk.";
    case ErrorInvalidName: return "The filename, directory name, or volume label syntax is incorrect.";
    case ErrorAlreadyExists: return "Cannot create a file when that file already exists.";
    case ErrorEnvVarNotFound: return "The system could not find the environment option that was entered.";
    case 206: return "The filename or extension is too long.";
    default: return "System error " + std::to_string(Code) + ".";
  }
}

}  // namespace plat

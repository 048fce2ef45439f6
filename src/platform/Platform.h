// The operating-system seam. Everything above this header is portable; below it
// sit two implementations of the same surface: win32/ (the product) and posix/
// (the host build, for sanitizers, fuzzers and a headless checker).
//
// The surface has the Win32 shape on purpose: the logic above it is written
// against window messages, hidden notification windows and Winsock-style error
// numbers, and the POSIX side emulates exactly those rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/UniqueHandle.h"

namespace plat {

// ---------------------------------------------------------------------------
// Messages and hidden windows

using WindowHandle = std::uintptr_t;  // HWND on Windows; a table key elsewhere
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

struct Message {
  WindowHandle Window = 0;
  std::uint32_t Msg = 0;
  WParam wParam = 0;
  LParam lParam = 0;
};

constexpr std::uint32_t MsgNull = 0x0000;
constexpr std::uint32_t MsgDestroy = 0x0002;
constexpr std::uint32_t MsgClose = 0x0010;
constexpr std::uint32_t MsgQuit = 0x0012;
constexpr std::uint32_t MsgTimer = 0x0113;
constexpr std::uint32_t MsgUser = 0x0400;

using WindowProc = LResult (*)(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam lParam);

// A window class carries one procedure; each window of it one pointer of user data.
bool RegisterWindowClass(const char* ClassName, WindowProc Proc);
bool IsWindowClassRegistered(const char* ClassName);
bool UnregisterWindowClass(const char* ClassName);

// A window that is never shown: tool-window, pop-up, no title, size 0, no parent.
// Its messages are handled on the thread that created it. Returns 0 on failure.
WindowHandle CreateHiddenWindow(const char* ClassName);
bool DestroyWindow(WindowHandle Window);
bool IsWindow(WindowHandle Window);
void SetWindowData(WindowHandle Window, void* Data);
void* GetWindowData(WindowHandle Window);
LResult DefWindowProc(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam lParam);

// May be called from any thread; the message is handled on the window's thread.
bool PostMessage(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam lParam);
// Calls the window's procedure at once, on the calling thread.
LResult SendMessage(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam lParam);
void PostQuitMessage(int ExitCode);

// The calling thread's queue. PeekMessage never waits; GetMessage waits and
// returns false for the quit message. DispatchMessage calls the window's
// procedure; an exception thrown by the procedure is carried across the
// system's frames and rethrown here, after the system has returned.
bool PeekMessage(Message& M, bool Remove);
// Only the queued messages of Window numbered First to Last; sockets use it to
// drop the notifications of a handle they have closed.
bool PeekMessage(Message& M, WindowHandle Window, std::uint32_t First, std::uint32_t Last, bool Remove);
bool GetMessage(Message& M);
void WaitMessage();
LResult DispatchMessage(const Message& M);
void TranslateMessage(const Message& M);

// Timers post MsgTimer (wParam = Id) to the window while they run. A second
// SetTimer with the same window and Id restarts the countdown.
bool SetTimer(WindowHandle Window, std::uintptr_t Id, std::uint32_t Milliseconds);
bool KillTimer(WindowHandle Window, std::uintptr_t Id);

void Sleep(std::uint32_t Milliseconds);
std::uint64_t TickCount();  // milliseconds, monotonic

// ---------------------------------------------------------------------------
// Files. Names are Windows-style byte strings ("..\zel.ini"); the POSIX side
// turns "\" into "/" here, at the boundary, and nowhere else.

// System error numbers are Windows' (2 file not found, 5 access denied, ...),
// also where the POSIX side has to translate errno.
constexpr std::uint32_t ErrorSuccess = 0;
constexpr std::uint32_t ErrorFileNotFound = 2;
constexpr std::uint32_t ErrorPathNotFound = 3;
constexpr std::uint32_t ErrorTooManyOpenFiles = 4;
constexpr std::uint32_t ErrorAccessDenied = 5;
constexpr std::uint32_t ErrorInvalidHandle = 6;
constexpr std::uint32_t ErrorNotEnoughMemory = 8;
constexpr std::uint32_t ErrorWriteFault = 29;
constexpr std::uint32_t ErrorReadFault = 30;
constexpr std::uint32_t ErrorSharingViolation = 32;
constexpr std::uint32_t ErrorLockViolation = 33;
constexpr std::uint32_t ErrorHandleEof = 38;
constexpr std::uint32_t ErrorFileExists = 80;
constexpr std::uint32_t ErrorInvalidParameter = 87;
constexpr std::uint32_t ErrorDiskFull = 112;
constexpr std::uint32_t ErrorInvalidName = 123;
constexpr std::uint32_t ErrorAlreadyExists = 183;
constexpr std::uint32_t ErrorEnvVarNotFound = 203;

enum class FileAccess { Read, Write, ReadWrite };
enum class FileShare { Exclusive, DenyWrite, DenyRead, DenyNone };
enum class FileCreate { OpenExisting, CreateAlways, OpenAlways };
enum class SeekOrigin { Begin, Current, End };

bool CloseFileHandle(std::intptr_t Handle);

// Owns one open file; closes it when destroyed. Moves, never copies.
class File {
 public:

  // On failure the result is not open and Error holds the system error number.
  static File Open(const std::string& Name, FileAccess Access, FileShare Share, FileCreate Create,
                   std::uint32_t& Error);

  bool IsOpen() const { return FHandle.Valid(); }
  // Each returns false with LastError() set on failure.
  bool Read(void* Buffer, std::uint32_t Count, std::uint32_t& Done);
  bool Write(const void* Buffer, std::uint32_t Count, std::uint32_t& Done);
  bool Seek(std::int64_t Offset, SeekOrigin Origin, std::int64_t& NewPosition);
  bool GetSize(std::uint64_t& Size);
  bool SetEnd();  // truncates at the current position
  bool Flush();
  bool Close();
  std::uint32_t LastError() const { return FLastError; }

 private:
  UniqueHandle<std::intptr_t, -1, CloseFileHandle> FHandle;
  std::uint32_t FLastError = 0;
};

bool FileExists(const std::string& Name);       // an existing file, not a folder
bool DirectoryExists(const std::string& Name);
bool DeleteFile(const std::string& Name);
bool CopyFile(const std::string& Source, const std::string& Target, bool FailIfExists);
// Puts Source in Target's place in one step, replacing Target: whoever looks,
// also after a crash or a power cut, finds Target either as it was or as all
// of Source, never in between. Source's data must already be on the disk
// (File::Flush); the move itself is on the disk when this returns. Both lie on
// one volume. Fails as Windows does: Target read-only, open without sharing,
// or a folder.
bool MoveFileReplace(const std::string& Source, const std::string& Target);
// Sets or clears the read-only attribute (on POSIX: every write permission).
bool SetFileReadOnly(const std::string& Name, bool ReadOnly);
bool CreateDirectory(const std::string& Name);
// The names of the files (not folders) directly in Folder, in no particular
// order; false when the folder cannot be read.
bool ListFiles(const std::string& Folder, std::vector<std::string>& Names);
std::uint32_t GetLastError();  // of the last failed call above, on this thread

// The system's text for an error number, without a trailing line end.
std::string SystemErrorText(std::uint32_t Code);

// The running executable's full name (Windows-style on both sides), spelled
// as GetEnvironmentPath below spells a path.
std::string GetModuleFileName();

// Paths the system keeps in UTF-16, in code page 932. A path is spelled by
// itself where it converts to the code page and back unchanged; else by its
// short (8.3) form, which is plain ASCII, when the file exists and the volume
// keeps one. Where neither spells it, the result holds "?" for every
// character the code page lacks, so that it never names an existing file
// (a best-fit character could: "¥" would become a separator). The POSIX
// side's names are bytes and always spelled.
//
// The value of the variable Name as such a path: false when it is unset or
// not spelled.
bool GetEnvironmentPath(const char* Name, std::string& Path);
// The system's own temp folder (GetTempPath), with its trailing backslash:
// false when there is none or it is not spelled.
bool GetTempPath(std::string& Path);
// Tests only: the volume keeps no short names (on Windows it may not).
void SetShortNamesAvailable(bool Available);

// Windows rules: 0 when unset; when the value and its NUL do not fit into Size
// bytes, the size needed (NUL included) and the buffer untouched; otherwise the
// length copied (NUL not counted). Names compare case-insensitively.
std::uint32_t GetEnvironmentVariable(const char* Name, char* Buffer, std::uint32_t Size);
// Sets the variable for this process; a null Value removes it.
bool SetEnvironmentVariable(const char* Name, const char* Value);

struct LocalTime {
  int Year, Month, Day, Hour, Minute, Second, Milliseconds;
};
LocalTime GetLocalTime();

// The user's regional settings for times: the time separator, and a time of
// day in the long time format. Where the system has no such settings (the
// host build) they are ":" and 24-hour hours, minutes and seconds,
// zero-padded.
std::string TimeSeparator();
std::string FormatLongTime(int Hour, int Minute, int Second);

}  // namespace plat

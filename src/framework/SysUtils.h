// Exceptions, byte-string helpers, conversions, file names and the clock.
//
// Strings are byte strings in code page 932 (Shift-JIS). Positions are 1-based
// byte positions and 0 means "not found", as everywhere in this program.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Exceptions

class Exception : public std::exception {
 public:
  explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
  ~Exception() override = default;
  const std::string& Message() const { return FMessage; }
  void SetMessage(std::string Message) { FMessage = std::move(Message); }
  const char* what() const noexcept override { return FMessage.c_str(); }
  virtual const char* ClassName() const { return "Exception"; }

 private:
  std::string FMessage;
};

#define DRAVIN_EXCEPTION(Name, Base)                                 \
  class Name : public Base {                                         \
   public:                                                           \
    using Base::Base;                                                \
    const char* ClassName() const override { return #Name; }         \
  }

DRAVIN_EXCEPTION(EConvertError, Exception);
DRAVIN_EXCEPTION(EOutOfMemory, Exception);
DRAVIN_EXCEPTION(EInvalidGraphic, Exception);
DRAVIN_EXCEPTION(EInvalidOperation, Exception);
DRAVIN_EXCEPTION(EListError, Exception);
DRAVIN_EXCEPTION(EResNotFound, Exception);
DRAVIN_EXCEPTION(EStreamError, Exception);
DRAVIN_EXCEPTION(EFCreateError, EStreamError);
DRAVIN_EXCEPTION(EFOpenError, EStreamError);
DRAVIN_EXCEPTION(EReadError, EStreamError);
DRAVIN_EXCEPTION(EWriteError, EStreamError);

// An input/output failure with the system's error number (2 file not found,
// 5 access denied, ...).
class EInOutError : public Exception {
 public:
  EInOutError(std::string Message, std::uint32_t ErrorCode) : Exception(std::move(Message)), ErrorCode(ErrorCode) {}
  const char* ClassName() const override { return "EInOutError"; }
  std::uint32_t ErrorCode;
};

// The text of a system error number, for messages ("File not found", ...).
std::string SysErrorMessage(std::uint32_t ErrorCode);
// Raises EInOutError for ErrorCode with its system text.
[[noreturn]] void RaiseInOutError(std::uint32_t ErrorCode);

// ---------------------------------------------------------------------------
// Byte strings

// Lead bytes of Shift-JIS double-byte characters.
inline bool IsLeadByte(unsigned char C) { return (C >= 0x81 && C <= 0x9F) || (C >= 0xE0 && C <= 0xFC); }

// Remove leading/trailing characters whose code is 32 or less.
std::string Trim(const std::string& S);
std::string TrimLeft(const std::string& S);
std::string TrimRight(const std::string& S);

// ASCII letters only; every other byte, lead and trail bytes included, stays.
std::string LowerCase(const std::string& S);
std::string UpperCase(const std::string& S);
bool SameText(const std::string& A, const std::string& B);  // ASCII case-insensitive

// Plain byte search: every byte may start a match.
int Pos(const std::string& Sub, const std::string& S);
int LastPos(const std::string& Sub, const std::string& S);
// The search that steps over double-byte characters: a match never starts on
// the trail byte of a Shift-JIS character. An empty Sub is never found.
int AnsiPos(const std::string& Sub, const std::string& S);

// Delphi's Copy: Count bytes from 1-based Index, clipped to the string.
std::string Copy(const std::string& S, int Index, int Count);
// Removes Count bytes from 1-based Index, clipped.
void Delete(std::string& S, int Index, int Count);
// Every occurrence of From replaced, left to right, without rescanning.
std::string StringReplaceAll(const std::string& S, const std::string& From, const std::string& To);

// printf-style formatting into a byte string.
std::string Format(const char* Fmt, ...) __attribute__((format(printf, 1, 2)));

// ---------------------------------------------------------------------------
// Numbers

std::string IntToStr(long long Value);
std::string IntToHex(unsigned long long Value, int Digits);  // upper case, at least Digits digits
// Decimal, optional sign, leading blanks allowed; nothing may follow the
// digits. StrToInt raises EConvertError; the others return Default.
int StrToInt(const std::string& S);
int StrToIntDef(const std::string& S, int Default);
long long StrToInt64Def(const std::string& S, long long Default);
bool TryStrToInt(const std::string& S, int& Value);
bool TryStrToInt64(const std::string& S, long long& Value);

// ---------------------------------------------------------------------------
// File names (Windows rules: the folder ends at the last "\" or ":")

std::string ExtractFilePath(const std::string& FileName);  // folder with its "\"
std::string ExtractFileName(const std::string& FileName);
std::string ExtractFileExt(const std::string& FileName);   // from the last "." of the name, dot included
std::string ChangeFileExt(const std::string& FileName, const std::string& Extension);
std::string IncludeTrailingBackslash(const std::string& Path);
bool FileExists(const std::string& FileName);
bool DirectoryExists(const std::string& Name);
bool DeleteFile(const std::string& FileName);
// Target replaced by Source in one step; Target is never seen half written.
bool MoveFileReplace(const std::string& Source, const std::string& Target);
// The files directly in Folder, in no particular order; false when it cannot be read.
bool ListFiles(const std::string& Folder, std::vector<std::string>& Names);
std::string ParamStr(int Index);  // 0: the running executable
int ParamCount();
void SetCommandLine(int Argc, char** Argv);  // called once by the program entry

// ---------------------------------------------------------------------------
// Date and time: days since 1899-12-30, the fraction is the time of day.

using TDateTime = double;

TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Minute, int Second, int Millisecond);
void DecodeDate(TDateTime Value, int& Year, int& Month, int& Day);
void DecodeTime(TDateTime Value, int& Hour, int& Minute, int& Second, int& Millisecond);
// Understands yyyy, mm, dd, hh, nn, ss and zzz; every other character is copied.
std::string FormatDateTime(const std::string& Format, TDateTime Value);
extern const char* const LongTimeFormat;  // "hh:nn:ss"

// The clock and the sleep that program logic sees. Tests replace the source to
// observe waits without spending them.
class TClockSource {
 public:
  virtual ~TClockSource() = default;
  virtual TDateTime Now() = 0;
  virtual void Sleep(std::uint32_t Milliseconds) = 0;
};
TClockSource* SetClockSource(TClockSource* Source);  // nullptr: the system clock; returns the previous one

TDateTime Now();
TDateTime Date();
void Sleep(std::uint32_t Milliseconds);

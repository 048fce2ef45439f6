#include "framework/SysUtils.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/Platform.h"

// ---------------------------------------------------------------------------
// Exceptions

std::string SysErrorMessage(std::uint32_t ErrorCode) { return plat::SystemErrorText(ErrorCode); }

void RaiseInOutError(std::uint32_t ErrorCode) { throw EInOutError(SysErrorMessage(ErrorCode), ErrorCode); }

// ---------------------------------------------------------------------------
// Byte strings

namespace {

bool IsBlank(char C) { return static_cast<unsigned char>(C) <= 32; }

}  // namespace

std::string Trim(const std::string& S) { return TrimLeft(TrimRight(S)); }

std::string TrimLeft(const std::string& S) {
  std::size_t I = 0;
  while (I < S.size() && IsBlank(S[I])) ++I;
  return S.substr(I);
}

std::string TrimRight(const std::string& S) {
  std::size_t N = S.size();
  while (N > 0 && IsBlank(S[N - 1])) --N;
  return S.substr(0, N);
}

std::string LowerCase(const std::string& S) {
  std::string R = S;
  for (char& C : R)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + ('a' - 'A'));
  return R;
}

std::string UpperCase(const std::string& S) {
  std::string R = S;
  for (char& C : R)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - ('a' - 'A'));
  return R;
}

bool SameText(const std::string& A, const std::string& B) { return LowerCase(A) == LowerCase(B); }

int Pos(const std::string& Sub, const std::string& S) {
  if (Sub.empty()) return 0;
  std::size_t P = S.find(Sub);
  return P == std::string::npos ? 0 : static_cast<int>(P) + 1;
}

int LastPos(const std::string& Sub, const std::string& S) {
  if (Sub.empty()) return 0;
  std::size_t P = S.rfind(Sub);
  return P == std::string::npos ? 0 : static_cast<int>(P) + 1;
}

int AnsiPos(const std::string& Sub, const std::string& S) {
  if (Sub.empty() || Sub.size() > S.size()) return 0;
  std::size_t I = 0;
  while (I + Sub.size() <= S.size()) {
    if (S.compare(I, Sub.size(), Sub) == 0) return static_cast<int>(I) + 1;
    I += IsLeadByte(static_cast<unsigned char>(S[I])) ? 2 : 1;
  }
  return 0;
}

std::string Copy(const std::string& S, int Index, int Count) {
  if (Index < 1) Index = 1;
  if (Count <= 0 || static_cast<std::size_t>(Index) > S.size()) return std::string();
  return S.substr(static_cast<std::size_t>(Index) - 1, static_cast<std::size_t>(Count));
}

void Delete(std::string& S, int Index, int Count) {
  if (Index < 1 || Count <= 0 || static_cast<std::size_t>(Index) > S.size()) return;
  S.erase(static_cast<std::size_t>(Index) - 1, static_cast<std::size_t>(Count));
}

std::string StringReplaceAll(const std::string& S, const std::string& From, const std::string& To) {
  if (From.empty()) return S;
  std::string R;
  R.reserve(S.size());
  std::size_t I = 0;
  for (;;) {
    std::size_t P = S.find(From, I);
    if (P == std::string::npos) break;
    R.append(S, I, P - I);
    R += To;
    I = P + From.size();
  }
  R.append(S, I, std::string::npos);
  return R;
}

std::string Format(const char* Fmt, ...) {
  va_list Args;
  va_start(Args, Fmt);
  va_list Copy;
  va_copy(Copy, Args);
  int N = std::vsnprintf(nullptr, 0, Fmt, Copy);
  va_end(Copy);
  std::string R;
  if (N > 0) {
    std::vector<char> Buffer(static_cast<std::size_t>(N) + 1);
    std::vsnprintf(Buffer.data(), Buffer.size(), Fmt, Args);
    R.assign(Buffer.data(), static_cast<std::size_t>(N));
  }
  va_end(Args);
  return R;
}

// ---------------------------------------------------------------------------
// Numbers

std::string IntToStr(long long Value) { return std::to_string(Value); }

std::string IntToHex(unsigned long long Value, int Digits) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string R;
  do {
    R.insert(R.begin(), Hex[Value & 15]);
    Value >>= 4;
  } while (Value != 0);
  while (static_cast<int>(R.size()) < Digits) R.insert(R.begin(), '0');
  return R;
}

bool TryStrToInt64(const std::string& S, long long& Value) {
  std::size_t I = 0;
  while (I < S.size() && S[I] == ' ') ++I;
  bool Negative = false;
  if (I < S.size() && (S[I] == '+' || S[I] == '-')) Negative = S[I++] == '-';
  if (I == S.size()) return false;
  unsigned long long Magnitude = 0;
  const unsigned long long Limit = Negative ? static_cast<unsigned long long>(LLONG_MAX) + 1 : LLONG_MAX;
  for (; I < S.size(); ++I) {
    if (S[I] < '0' || S[I] > '9') return false;
    unsigned Digit = static_cast<unsigned>(S[I] - '0');
    if (Magnitude > (Limit - Digit) / 10) return false;
    Magnitude = Magnitude * 10 + Digit;
  }
  Value = Negative ? static_cast<long long>(0 - Magnitude) : static_cast<long long>(Magnitude);
  return true;
}

bool TryStrToInt(const std::string& S, int& Value) {
  long long V;
  if (!TryStrToInt64(S, V) || V < INT_MIN || V > INT_MAX) return false;
  Value = static_cast<int>(V);
  return true;
}

int StrToInt(const std::string& S) {
  int V;
  if (!TryStrToInt(S, V)) throw EConvertError("'" + S + "' is not a valid integer value");
  return V;
}

int StrToIntDef(const std::string& S, int Default) {
  int V;
  return TryStrToInt(S, V) ? V : Default;
}

long long StrToInt64Def(const std::string& S, long long Default) {
  long long V;
  return TryStrToInt64(S, V) ? V : Default;
}

// ---------------------------------------------------------------------------
// File names

namespace {

std::size_t LastDelimiter(const std::string& FileName) { return FileName.find_last_of("\\:"); }

std::vector<std::string>& CommandLine() {
  static std::vector<std::string> Args;
  return Args;
}

}  // namespace

std::string ExtractFilePath(const std::string& FileName) {
  std::size_t P = LastDelimiter(FileName);
  return P == std::string::npos ? std::string() : FileName.substr(0, P + 1);
}

std::string ExtractFileName(const std::string& FileName) {
  std::size_t P = LastDelimiter(FileName);
  return P == std::string::npos ? FileName : FileName.substr(P + 1);
}

std::string ExtractFileExt(const std::string& FileName) {
  std::size_t Dot = FileName.find_last_of(".\\:");
  if (Dot == std::string::npos || FileName[Dot] != '.') return std::string();
  return FileName.substr(Dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Extension) {
  std::size_t Dot = FileName.find_last_of(".\\:");
  if (Dot == std::string::npos || FileName[Dot] != '.') return FileName + Extension;
  return FileName.substr(0, Dot) + Extension;
}

std::string IncludeTrailingBackslash(const std::string& Path) {
  if (!Path.empty() && Path.back() == '\\') return Path;
  return Path + "\\";
}

bool FileExists(const std::string& FileName) { return plat::FileExists(FileName); }
bool DirectoryExists(const std::string& Name) { return plat::DirectoryExists(Name); }
bool DeleteFile(const std::string& FileName) { return plat::DeleteFile(FileName); }
bool MoveFileReplace(const std::string& Source, const std::string& Target) {
  return plat::MoveFileReplace(Source, Target);
}
bool ListFiles(const std::string& Folder, std::vector<std::string>& Names) { return plat::ListFiles(Folder, Names); }

void SetCommandLine(int Argc, char** Argv) {
  CommandLine().clear();
  for (int I = 1; I < Argc; ++I) CommandLine().emplace_back(Argv[I]);
}

std::string ParamStr(int Index) {
  if (Index == 0) return plat::GetModuleFileName();
  if (Index < 0 || static_cast<std::size_t>(Index) > CommandLine().size()) return std::string();
  return CommandLine()[static_cast<std::size_t>(Index) - 1];
}

int ParamCount() { return static_cast<int>(CommandLine().size()); }

// ---------------------------------------------------------------------------
// Date and time

namespace {

constexpr double MillisecondsPerDay = 86400000.0;

// Days from 0001-01-01 (day 1) in the proleptic Gregorian calendar.
long DaysFromCivil(int Y, int M, int D) {
  Y -= M <= 2;
  const long Era = (Y >= 0 ? Y : Y - 399) / 400;
  const unsigned Yoe = static_cast<unsigned>(Y - Era * 400);
  const unsigned Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
  const unsigned Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
  return Era * 146097 + static_cast<long>(Doe) - 719468;  // days since 1970-01-01
}

constexpr long Epoch1970 = 25569;  // 1970-01-01 as a TDateTime

class TSystemClock : public TClockSource {
 public:
  TDateTime Now() override {
    plat::LocalTime T = plat::GetLocalTime();
    return EncodeDate(T.Year, T.Month, T.Day) + EncodeTime(T.Hour, T.Minute, T.Second, T.Milliseconds);
  }
  void Sleep(std::uint32_t Milliseconds) override { plat::Sleep(Milliseconds); }
};

TSystemClock gSystemClock;
TClockSource* gClock = &gSystemClock;

}  // namespace

const char* const LongTimeFormat = "hh:nn:ss";

TDateTime EncodeDate(int Year, int Month, int Day) {
  if (Month < 1 || Month > 12 || Day < 1 || Day > 31) throw EConvertError("Invalid argument to date encode");
  return static_cast<double>(DaysFromCivil(Year, Month, Day) + Epoch1970);
}

TDateTime EncodeTime(int Hour, int Minute, int Second, int Millisecond) {
  if (Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59 || Millisecond < 0 ||
      Millisecond > 999)
    throw EConvertError("Invalid argument to time encode");
  return ((Hour * 60.0 + Minute) * 60.0 * 1000.0 + Second * 1000.0 + Millisecond) / MillisecondsPerDay;
}

void DecodeDate(TDateTime Value, int& Year, int& Month, int& Day) {
  // Round to the millisecond first, so that 23:59:59.9995 decodes as the next day.
  const long long Ms = std::llround(Value * MillisecondsPerDay);
  long long Days = Ms / 86400000;
  if (Ms % 86400000 < 0) --Days;
  long Z = static_cast<long>(Days - Epoch1970) + 719468;
  const long Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  const unsigned Doe = static_cast<unsigned>(Z - Era * 146097);
  const unsigned Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
  const unsigned Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
  const unsigned Mp = (5 * Doy + 2) / 153;
  Day = static_cast<int>(Doy - (153 * Mp + 2) / 5 + 1);
  Month = static_cast<int>(Mp < 10 ? Mp + 3 : Mp - 9);
  Year = static_cast<int>(static_cast<long>(Yoe) + Era * 400 + (Month <= 2));
}

void DecodeTime(TDateTime Value, int& Hour, int& Minute, int& Second, int& Millisecond) {
  long long Ms = std::llround(Value * MillisecondsPerDay) % 86400000;
  if (Ms < 0) Ms += 86400000;
  Hour = static_cast<int>(Ms / 3600000);
  Minute = static_cast<int>(Ms / 60000 % 60);
  Second = static_cast<int>(Ms / 1000 % 60);
  Millisecond = static_cast<int>(Ms % 1000);
}

std::string FormatDateTime(const std::string& Fmt, TDateTime Value) {
  int Y, Mo, D, H, Mi, S, Ms;
  DecodeDate(Value, Y, Mo, D);
  DecodeTime(Value, H, Mi, S, Ms);
  std::string R;
  std::size_t I = 0;
  auto Take = [&](const char* Token) {
    std::size_t N = std::char_traits<char>::length(Token);
    if (LowerCase(Fmt.substr(I, N)) != Token) return false;
    I += N;
    return true;
  };
  while (I < Fmt.size()) {
    if (Take("yyyy")) R += Format("%04d", Y);
    else if (Take("mm")) R += Format("%02d", Mo);
    else if (Take("dd")) R += Format("%02d", D);
    else if (Take("hh")) R += Format("%02d", H);
    else if (Take("nn")) R += Format("%02d", Mi);
    else if (Take("ss")) R += Format("%02d", S);
    else if (Take("zzz")) R += Format("%03d", Ms);
    else R += Fmt[I++];
  }
  return R;
}

TClockSource* SetClockSource(TClockSource* Source) {
  TClockSource* Previous = gClock;
  gClock = Source ? Source : &gSystemClock;
  return Previous == &gSystemClock ? nullptr : Previous;
}

TDateTime Now() { return gClock->Now(); }

TDateTime Date() { return std::floor(Now()); }

void Sleep(std::uint32_t Milliseconds) { gClock->Sleep(Milliseconds); }

#include "support/LogFile.h"

#include "framework/SysUtils.h"
#include "platform/Platform.h"
#include "util/VersionInfo.h"

namespace {

// The name is tested trimmed; the file operations use it as it is.
bool MissingName(const std::string& Name) { return Trim(Name).empty(); }

// Appends Line and CR LF, creating the file when it does not exist. The file
// is open for this one line only (the host writes to it between our lines),
// and the whole line goes out in one write, so nothing stays buffered once
// this returns. The result is the system error number, 0 on success.
std::uint32_t AppendLine(const std::string& FileName, const std::string& Line) {
  std::uint32_t Error = 0;
  plat::File F = plat::File::Open(FileName, plat::FileAccess::Write, plat::FileShare::DenyWrite,
                                  plat::FileCreate::OpenAlways, Error);
  if (!F.IsOpen()) return Error != 0 ? Error : plat::ErrorAccessDenied;
  const std::string Bytes = Line + "\r\n";
  std::int64_t End = 0;
  std::uint32_t Done = 0;
  if (!F.Seek(0, plat::SeekOrigin::End, End)) return F.LastError();
  if (!F.Write(Bytes.data(), static_cast<std::uint32_t>(Bytes.size()), Done)) return F.LastError();
  if (Done != Bytes.size()) return plat::ErrorDiskFull;
  if (!F.Close()) return F.LastError();
  return 0;
}

// The host may hold its log open for writing while it shares reading only, or
// lock a part of it, for a moment: such a line is tried again, 50 ms apart, up
// to ten times. The window waits meanwhile (half a second at most); the host
// may not let go while we pump its messages.
constexpr int HeldRetries = 10;
constexpr std::uint32_t HeldRetryMs = 50;

bool HeldByAnother(std::uint32_t Error) {
  return Error == plat::ErrorSharingViolation || Error == plat::ErrorLockViolation;
}

std::uint32_t AppendLineWhenFree(const std::string& FileName, const std::string& Line) {
  for (int Retry = 0;; ++Retry) {
    const std::uint32_t Error = AppendLine(FileName, Line);
    if (!HeldByAnother(Error) || Retry == HeldRetries) return Error;
    Sleep(HeldRetryMs);
  }
}

}  // namespace

TLogFile::TLogFile(TComponent* AOwner) : TComponent(AOwner) {}

TLogFile::~TLogFile() {
  if (!InState(csDesigning) && FActive) WriteEndMarker();
}

void TLogFile::SetActive(bool Value) {
  if (Value) {
    FActive = true;
    WriteStartMarker();
  } else {
    WriteEndMarker();
    FActive = false;
  }
}

void TLogFile::Loaded() {
  TComponent::Loaded();
  if (!InState(csDesigning) && FActive) WriteStartMarker();
}

void TLogFile::WriteStartMarker() {
  // While loading, the name may not have been read yet; Loaded() comes back.
  if (InState(csDesigning) || InState(csLoading) || !FActive || MissingName(LogFileName)) return;
  if (Pos(":", LogFileName) == 0 && LogFileName[0] != '\\')
    LogFileName = ExtractFilePath(ParamStr(0)) + LogFileName;
  std::string Folder = ExtractFilePath(LogFileName);
  if (!Folder.empty() && Folder.back() == '\\') Folder.pop_back();
  if (!Folder.empty()) plat::CreateDirectory(Folder);  // may exist already, or be deeper than one level
  TVersion Version;
  GetFileVersionStrings(ParamStr(0), Version);
  // A fixed form whose only regional part is the time separator.
  const std::string Start =
      "--- START ---\t" + StringReplaceAll(FormatDateTime("yyyy-mm-dd hh:nn:ss", Now()), ":", TimeSeparator());
  // A log that cannot be written at start is switched off quietly: the run
  // must not fail for want of its log.
  if (AppendLineWhenFree(LogFileName, Start) != 0 ||
      AppendLineWhenFree(LogFileName, "Version " + Version.FileVersion) != 0)
    SetActive(false);
}

void TLogFile::WriteEndMarker() {
  if (InState(csDesigning) || InState(csLoading) || MissingName(LogFileName) || !FActive) return;
  try {
    const std::string Day = FormatDateTime("yyyy-mm-dd", Date());
    AppendLineWhenFree(LogFileName, "--- END ---\t" + Day + "\t" + TimeToStr(Now()));
  } catch (...) {
    // The end line is a courtesy; it runs from destructors too.
  }
}

bool TLogFile::WriteLog(const std::string& Message, bool isError) {
  if (!FActive || MissingName(LogFileName)) return false;
  const std::string Line = isError ? ExtractFileName(LogFileName) + ": " + Message + " (C.ERROR)" : Message;
  const std::uint32_t Error = AppendLineWhenFree(LogFileName, Line);
  // A host that keeps holding its log costs this one line, not the run.
  if (HeldByAnother(Error)) return false;
  if (Error != 0) RaiseInOutError(Error);
  return true;
}

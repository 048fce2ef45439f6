#include "app/UpdateInstall.h"

#include <utility>

#include "app/Addresses.h"
#include "framework/Streams.h"
#include "util/FileNames.h"
#include "util/TextUtils.h"

TUpdateInstall::TUpdateInstall(TDownload Download, TStatus Status)
    : FDownload(std::move(Download)), FStatus(std::move(Status)) {}

void TUpdateInstall::Execute(const TStrings& Fields, const std::string& InstallFolder) {
  // Copies: the download runs the message loop, and the list holding the
  // fields belongs to the scan.
  const std::string Name = Fields[0], FileName = Fields[1], Version = Fields[2], Digest = Fields[5];
  const int Expected = StrToIntDef(Fields[4], -1);

  FStatus(Name + " Ver." + Version + "をダウンロードします.");
  const std::string TempCopy = GetTempFolder() + FileName;
  // A name as the list gives it may hold blanks, "#" or Shift-JIS, which a
  // request line does not carry raw.
  // A byte beyond the listed size already decides the outcome.
  const int Count = FDownload(std::string(UpdateBaseUrl) + "bin/" + EncodePathSegment(FileName), TempCopy, Expected);
  if (Count != Expected) {
    FStatus(Name + "のダウンロードに失敗しました.");
    return;
  }
  // The list gives upper-case digits; any other text never matches.
  if (FileMD5Hex(TempCopy) != Digest) {
    FStatus(Name + "のハッシュ計算があいませんでした.");
    return;
  }

  const std::string Installed = InstallFolder + FileName, Staging = InstallFolder + StagingName;
  const std::string CopyFailed = Name + "のバージョンアップに失敗しました.";
  // An entry naming the staging file itself would move a file onto itself.
  if (SameText(FileName, StagingName)) {
    FStatus(CopyFailed);
    return;
  }
  // The temp folder is everyone's: its copy may have changed since it was
  // checked. What counts is the staged copy, checked once more where no one
  // else writes.
  if (!Stage(TempCopy, Staging)) {
    DeleteFile(Staging);
    FStatus(CopyFailed);
    return;
  }
  if (GetFileSizeValue(Staging) != Expected || FileMD5Hex(Staging) != Digest) {
    DeleteFile(Staging);
    FStatus(Name + "のハッシュ計算があいませんでした.");
    return;
  }
  // A plug-in the host holds open, or a read-only one, refuses the move and
  // stays as it was.
  if (!MoveFileReplace(Staging, Installed)) {
    DeleteFile(Staging);
    FStatus(CopyFailed);
    return;
  }
  FStatus(Name + "をバージョンアップしました.");
}

bool TUpdateInstall::Stage(const std::string& From, const std::string& To) {
  try {
    TFileStream Source(From, fmOpenRead | fmShareDenyNone);
    // Creating it overwrites a staging file a killed run left behind.
    TFileStream Target(To, fmCreate);
    Target.CopyFrom(Source, 0);
    // The move that follows must never put a name on data not yet written.
    return Target.Flush();
  } catch (const Exception&) {
    return false;
  }
}

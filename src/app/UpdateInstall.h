// The automatic installation of one newer plug-in of the version list: its
// download into the temp folder, the checks of size and digest against the
// list, and the replacement of the installed file.
//
// The installed file is never written in place. The temp copy (in a folder
// every program may write to) is copied to a staging file beside the
// installed one, that copy is checked again, and only then does it take the
// installed file's place in one move. Whatever happens meanwhile (a full disk,
// a killed process, a temp copy changed after its check, a plug-in the host
// holds open), the installed file is the old one or the new, checked one.
#pragma once

#include <functional>
#include <string>

#include "framework/Classes.h"

class TUpdateInstall {
 public:
  // Stores Url into FileName and gives the number of bytes stored, 0 on
  // failure, which includes a document longer than MaxBytes (-1: no size is
  // known, and the fetch's own bound holds).
  using TDownload = std::function<int(const std::string& Url, const std::string& FileName, std::int64_t MaxBytes)>;
  // Shows one outcome to the user (the status line and the log).
  using TStatus = std::function<void(const std::string& Text)>;

  // The staging file's name in the plug-in's folder. It ends in no plug-in's
  // extension, so the host never loads a half-copied file; a run killed while
  // it existed leaves it to the next installation, which overwrites it.
  static constexpr const char* StagingName = "~dravin-update.staging";

  TUpdateInstall(TDownload Download, TStatus Status);
  virtual ~TUpdateInstall() = default;

  // Fields: the six fields of the entry (display name, file name, version,
  // copyright, size, MD5 digest). InstallFolder: the installed copy's folder,
  // with its trailing backslash. Each outcome is shown through Status; an
  // exception of the download (other than a failed fetch) leaves at once.
  void Execute(const TStrings& Fields, const std::string& InstallFolder);

 protected:
  // Copies From to To with To's data on the disk; false when that failed. A
  // partial To may be left behind: the caller removes it.
  virtual bool Stage(const std::string& From, const std::string& To);

 private:
  TDownload FDownload;
  TStatus FStatus;
};

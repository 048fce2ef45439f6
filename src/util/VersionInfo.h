// The eleven version strings of a file: from the version resource of a binary,
// or from the first comment lines of a script.
#pragma once

#include <string>

struct TVersion {
  std::string CompanyName;
  std::string FileDescription;
  std::string FileVersion;
  std::string InternalName;
  std::string LegalCopyright;
  std::string LegalTrademarks;
  std::string OriginalFileName;
  std::string ProductName;
  std::string ProductVersion;
  std::string Comment;
  std::string ScrnSave;
};

// Clears Version, then fills what can be read; a field that cannot be read
// stays empty. Always returns true.
bool GetFileVersionStrings(const std::string& FileName, TVersion& Version);

// The two readers behind it; they only fill fields of a cleared record.
void ReadVersionResource(const std::string& FileName, TVersion& Version);
void ReadScriptHeader(const std::string& FileName, TVersion& Version);

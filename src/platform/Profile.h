// Private-profile (ini) files: the system's profile functions on Windows; in
// the host build the same rules (IniText.h) over whole-file reads and writes.
// A name without a folder is looked up in the Windows folder (the host build
// takes the folder from the variable "windir" and, without it, finds nothing).
#pragma once

#include <string>

namespace plat {

// The value of Key in Section, or Default when the file, the section or the
// key is missing.
std::string GetPrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Default,
                                    const std::string& FileName);
// Sets Key in Section, making the file and the section as needed; false when
// the file cannot be written.
bool WritePrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Value,
                               const std::string& FileName);

}  // namespace plat

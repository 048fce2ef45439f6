// Settings (ini) files as text, read and changed by the rules the system's
// profile functions follow under Wine, which writes a file anew from what it
// read: lines trimmed, blank lines dropped, CR LF line ends, a UTF-8 byte
// order mark kept. Sections and keys compare case-insensitively (ASCII) and
// the first of equal names counts; a key keeps its spelling when its value is
// changed, a new key goes at the end of its section, a new section at the end
// of the file. The host build's profile functions are made of these; both
// builds test them.
#pragma once

#include <string>

namespace plat::ini {

// The value of Key in Section: trimmed, and without the quotes when it is
// enclosed in a pair of the same quote (' or "). False when the section, the
// key or its "=" is missing.
bool Read(const std::string& Text, const std::string& Section, const std::string& Key, std::string& Value);

// Text with Key of Section set to Value (its leading blanks dropped).
std::string Write(const std::string& Text, const std::string& Section, const std::string& Key,
                  const std::string& Value);

}  // namespace plat::ini

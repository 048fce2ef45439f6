// Version resources of executable files, through the system's version API on
// Windows and through our own PE reader in the host build.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// The size of the file's version information; 0 when it has none or cannot
// be read at all.
std::uint32_t GetFileVersionInfoSize(const std::string& FileName);
// Reads the version information into Block, which the caller has sized from
// the call above. False when reading fails.
bool GetFileVersionInfo(const std::string& FileName, std::vector<std::uint8_t>& Block);
// The first entry of "\VarFileInfo\Translation": language and code page.
bool VerQueryTranslation(const std::vector<std::uint8_t>& Block, std::uint16_t& Language, std::uint16_t& CodePage);
// The text at SubBlock ("\StringFileInfo\041104B0\ProductName"), converted to
// our code page and taken up to its first NUL. False when the key is absent.
// The keys of a version resource are ASCII names and hexadecimal numbers.
bool VerQueryString(const std::vector<std::uint8_t>& Block, const std::string& SubBlock, std::string& Text);

}  // namespace plat

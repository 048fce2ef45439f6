// The ANSI entry points: the host's settings file holds Shift-JIS bytes, and
// these pass our bytes through unchanged on a Japanese system and under a
// Wine whose code page is another one (the wide entry points would convert
// to that code page and lose the Japanese characters).
#include "platform/Profile.h"
#include "platform/win32/WinApi.h"

#undef GetPrivateProfileString
#undef WritePrivateProfileString

#include <vector>

namespace plat {

std::string GetPrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Default,
                                    const std::string& FileName) {
  // The function cuts what does not fit and says so only by the length.
  for (DWORD Size = 256;; Size *= 4) {
    std::vector<char> Buffer(Size);
    const DWORD N = ::GetPrivateProfileStringA(Section.c_str(), Key.c_str(), Default.c_str(), Buffer.data(), Size,
                                               FileName.c_str());
    if (N < Size - 1 || Size >= (1u << 20)) return std::string(Buffer.data(), N);
  }
}

bool WritePrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Value,
                               const std::string& FileName) {
  // Windows refuses to write a read-only file; Wine, run by root, writes it.
  // (A bare name lies in the Windows folder, where the check would not look.)
  const DWORD Attributes = FileName.find_first_of("\\/:") == std::string::npos
                               ? INVALID_FILE_ATTRIBUTES
                               : ::GetFileAttributesA(FileName.c_str());
  if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_READONLY)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return ::WritePrivateProfileStringA(Section.c_str(), Key.c_str(), Value.c_str(), FileName.c_str()) != 0;
}

}  // namespace plat

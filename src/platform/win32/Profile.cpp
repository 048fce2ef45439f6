#include "platform/Profile.h"
#include "platform/win32/WinApi.h"

#include <vector>

namespace plat {

std::string GetPrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Default,
                                    const std::string& FileName) {
  const std::wstring S = win32::Wide(Section), K = win32::Wide(Key), D = win32::Wide(Default),
                     F = win32::Wide(FileName);
  // The function cuts what does not fit and says so only by the length.
  for (DWORD Size = 256;; Size *= 4) {
    std::vector<wchar_t> Buffer(Size);
    const DWORD N = ::GetPrivateProfileStringW(S.c_str(), K.c_str(), D.c_str(), Buffer.data(), Size, F.c_str());
    if (N < Size - 1 || Size >= (1u << 20)) return win32::Narrow(Buffer.data(), static_cast<int>(N));
  }
}

bool WritePrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Value,
                               const std::string& FileName) {
  return ::WritePrivateProfileStringW(win32::Wide(Section).c_str(), win32::Wide(Key).c_str(),
                                      win32::Wide(Value).c_str(), win32::Wide(FileName).c_str()) != 0;
}

}  // namespace plat

// Reading ini files through the system's private-profile reader.
#include "platform/Platform.h"
#include "platform/win32/WinApi.h"

#include <vector>

namespace plat {

std::string ReadProfileString(const std::string& FileName, const std::string& Section, const std::string& Key,
                              const std::string& Default) {
  const std::wstring File = win32::Wide(FileName), S = win32::Wide(Section), K = win32::Wide(Key),
                     D = win32::Wide(Default);
  // The reader cuts a value to the buffer and says so only by filling it.
  for (DWORD Size = 1024;; Size *= 2) {
    std::vector<wchar_t> Buffer(Size);
    const DWORD N = ::GetPrivateProfileStringW(S.c_str(), K.c_str(), D.c_str(), Buffer.data(), Size, File.c_str());
    if (N < Size - 1 || Size >= (1u << 20)) return win32::Narrow(Buffer.data(), static_cast<int>(N));
  }
}

}  // namespace plat

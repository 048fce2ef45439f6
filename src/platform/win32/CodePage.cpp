#include "platform/CodePage.h"
#include "platform/win32/WinApi.h"

namespace plat {

std::string AnsiFromUtf16(const std::u16string& Text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
  if (Text.empty()) return std::string();
  return win32::Narrow(reinterpret_cast<const wchar_t*>(Text.data()), static_cast<int>(Text.size()));
}

}  // namespace plat

#include "platform/ProgramData.h"
#include "platform/win32/WinApi.h"

namespace plat {

bool FindProgramData(const char* Name, const std::uint8_t*& Data, std::size_t& Size) {
  HMODULE Module = ::GetModuleHandleW(nullptr);
  HRSRC Resource = ::FindResourceW(Module, win32::Wide(Name).c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!Resource) return false;
  HGLOBAL Loaded = ::LoadResource(Module, Resource);
  const void* Bytes = Loaded ? ::LockResource(Loaded) : nullptr;
  if (!Bytes) return false;
  Data = static_cast<const std::uint8_t*>(Bytes);
  Size = ::SizeofResource(Module, Resource);
  return true;
}

}  // namespace plat

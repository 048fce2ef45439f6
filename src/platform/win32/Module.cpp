// Run-time libraries on Windows.
#include "platform/Module.h"

#include "platform/win32/WinApi.h"

namespace plat {

Module Module::Load(const char* FileName) {
  HMODULE Handle = ::LoadLibraryW(win32::Wide(FileName ? FileName : "").c_str());
  return Module(reinterpret_cast<std::uintptr_t>(Handle));
}

void* Module::Proc(const char* Name) const {
  if (!Loaded()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(FHandle.Get()), Name));
}

bool FreeModuleHandle(std::uintptr_t Handle) { return ::FreeLibrary(reinterpret_cast<HMODULE>(Handle)) != 0; }

}  // namespace plat

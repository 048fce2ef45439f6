// Libraries loaded at run time by file name, their exports looked up by name.
//
// On Windows this is LoadLibrary / GetProcAddress / FreeLibrary. The host build
// has exactly one library of its own, which answers to the name "wsock32.dll":
// the Windows Sockets 1.1 functions emulated over BSD sockets
// (posix/Sockets.cpp). So the run-time binding of the socket layer is the same
// code in both builds, down to the lookup of every entry point by its name.
#pragma once

#include <cstdint>

#include "platform/UniqueHandle.h"

namespace plat {

bool FreeModuleHandle(std::uintptr_t Handle);

// Owns one loaded library; frees it when destroyed. Moves, never copies.
class Module {
 public:
  Module() = default;

  // Not loaded on failure; GetLastError() then holds the system's error
  // number (126 for a library that does not exist).
  static Module Load(const char* FileName);
  bool Loaded() const { return FHandle.Valid(); }
  // nullptr when there is no such export, with GetLastError() set (127).
  void* Proc(const char* Name) const;
  void Free() { FHandle.Reset(); }

 private:
  explicit Module(std::uintptr_t Handle) : FHandle(Handle) {}
  UniqueHandle<std::uintptr_t, 0, FreeModuleHandle> FHandle;
};

}  // namespace plat

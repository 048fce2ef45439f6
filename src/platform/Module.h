// Libraries loaded at run time by file name, their exports looked up by name.
//
// On Windows this is LoadLibrary / GetProcAddress / FreeLibrary. The host build
// has exactly one library of its own, which answers to the name "wsock32.dll":
// the Windows Sockets 1.1 functions emulated over BSD sockets
// (posix/Sockets.cpp). So the run-time binding of the socket layer is the same
// code in both builds, down to the lookup of every entry point by its name.
#pragma once

#include <cstdint>

namespace plat {

// Owns one loaded library; frees it when destroyed. Moves, never copies.
class Module {
 public:
  Module() = default;
  ~Module() { Free(); }
  Module(Module&& Other) noexcept : FHandle(Other.FHandle) { Other.FHandle = 0; }
  Module& operator=(Module&& Other) noexcept {
    if (this != &Other) {
      Free();
      FHandle = Other.FHandle;
      Other.FHandle = 0;
    }
    return *this;
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Not loaded on failure; GetLastError() then holds the system's error
  // number (126 for a library that does not exist).
  static Module Load(const char* FileName);
  bool Loaded() const { return FHandle != 0; }
  // nullptr when there is no such export, with GetLastError() set (127).
  void* Proc(const char* Name) const;
  void Free();

 private:
  explicit Module(std::uintptr_t Handle) : FHandle(Handle) {}
  std::uintptr_t FHandle = 0;
};

}  // namespace plat

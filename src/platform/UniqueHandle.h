// The one owner of an operating-system handle: it closes what it holds when it
// goes, moves (leaving the source empty) and never copies. Every handle owner
// of the seam (files, libraries, mutexes, registry keys) is built on it.
#pragma once

#include <utility>

namespace plat {

// Empty holds Invalid. Close is called once per handle held, never with Invalid.
template <typename T, T Invalid, bool (*CloseHandle)(T)>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T Handle) : FHandle(Handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& Other) noexcept : FHandle(std::exchange(Other.FHandle, Invalid)) {}
  UniqueHandle& operator=(UniqueHandle&& Other) noexcept {
    if (this != &Other) Reset(std::exchange(Other.FHandle, Invalid));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  T Get() const { return FHandle; }
  bool Valid() const { return FHandle != Invalid; }

  // Holds Handle from now on and closes the one held before. The result is
  // the close function's (true when there was nothing to close); the system's
  // own error state is left as the close function left it.
  bool Reset(T Handle = Invalid) {
    const T Old = std::exchange(FHandle, Handle);
    return Old == Invalid || Old == Handle || CloseHandle(Old);
  }
  // Gives the handle up without closing it.
  T Release() { return std::exchange(FHandle, Invalid); }

 private:
  T FHandle = Invalid;
};

}  // namespace plat

// Named system-wide mutexes, as the single-instance test of a program needs them.
//
// On Windows a kernel mutex object. In the host build a lock file named after
// the mutex, in the temporary folder, held with flock(): the "mutex" exists for
// as long as some process holds the lock, and goes away with that process.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// Owns one handle to a named mutex; closes it when destroyed. Moves, never copies.
class NamedMutex {
 public:
  NamedMutex() = default;
  ~NamedMutex() { Close(); }
  NamedMutex(NamedMutex&& Other) noexcept : FHandle(Other.FHandle) { Other.FHandle = Invalid; }
  NamedMutex& operator=(NamedMutex&& Other) noexcept {
    if (this != &Other) {
      Close();
      FHandle = Other.FHandle;
      Other.FHandle = Invalid;
    }
    return *this;
  }
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // A handle to a mutex some process has created already; not valid when
  // there is none.
  static NamedMutex Open(const std::string& Name);
  // Creates the mutex, not owned. When one of that name exists already the
  // result is a handle to it and AlreadyExisted is true (Windows'
  // ERROR_ALREADY_EXISTS); not valid when the creation failed.
  static NamedMutex Create(const std::string& Name, bool& AlreadyExisted);

  bool Valid() const { return FHandle != Invalid; }
  // Gives up ownership; false when this thread does not own it.
  bool Release();
  void Close();

 private:
  static constexpr std::intptr_t Invalid = -1;
  explicit NamedMutex(std::intptr_t Handle) : FHandle(Handle) {}
  std::intptr_t FHandle = Invalid;
};

}  // namespace plat

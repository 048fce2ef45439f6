// Named system-wide mutexes, as the single-instance test of a program needs them.
//
// On Windows a kernel mutex object. In the host build a lock file named after
// the mutex, in the temporary folder, held with flock(): the "mutex" exists for
// as long as some process holds the lock, and goes away with that process.
#pragma once

#include <cstdint>
#include <string>

#include "platform/UniqueHandle.h"

namespace plat {

bool CloseMutexHandle(std::intptr_t Handle);

// Owns one handle to a named mutex; closes it when destroyed. Moves, never copies.
class NamedMutex {
 public:
  NamedMutex() = default;

  // A handle to a mutex some process has created already; not valid when
  // there is none.
  static NamedMutex Open(const std::string& Name);
  // Creates the mutex, not owned. When one of that name exists already the
  // result is a handle to it and AlreadyExisted is true (Windows'
  // ERROR_ALREADY_EXISTS); not valid when the creation failed.
  static NamedMutex Create(const std::string& Name, bool& AlreadyExisted);

  bool Valid() const { return FHandle.Valid(); }
  // Gives up ownership; false when this thread does not own it.
  bool Release();
  void Close() { FHandle.Reset(); }

 private:
  explicit NamedMutex(std::intptr_t Handle) : FHandle(Handle) {}
  UniqueHandle<std::intptr_t, -1, CloseMutexHandle> FHandle;
};

}  // namespace plat

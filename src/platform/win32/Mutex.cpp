// Named mutexes on Windows.
#include "platform/Mutex.h"
#include "platform/win32/WinApi.h"

namespace plat {
namespace {

HANDLE H(std::intptr_t Handle) { return reinterpret_cast<HANDLE>(Handle); }

}  // namespace

NamedMutex NamedMutex::Open(const std::string& Name) {
  HANDLE Handle = ::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, win32::Wide(Name).c_str());
  return Handle ? NamedMutex(reinterpret_cast<std::intptr_t>(Handle)) : NamedMutex();
}

NamedMutex NamedMutex::Create(const std::string& Name, bool& AlreadyExisted) {
  HANDLE Handle = ::CreateMutexW(nullptr, FALSE, win32::Wide(Name).c_str());
  AlreadyExisted = Handle && ::GetLastError() == ERROR_ALREADY_EXISTS;
  return Handle ? NamedMutex(reinterpret_cast<std::intptr_t>(Handle)) : NamedMutex();
}

bool NamedMutex::Release() { return Valid() && ::ReleaseMutex(H(FHandle.Get())) != 0; }

bool CloseMutexHandle(std::intptr_t Handle) { return ::CloseHandle(H(Handle)) != 0; }

}  // namespace plat

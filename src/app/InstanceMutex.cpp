#include "app/InstanceMutex.h"

#include <random>

#include "framework/SysUtils.h"
#include "platform/Mutex.h"

namespace {

std::string gMutexName;
plat::NamedMutex gMutex;

unsigned RandomSeed() {
  // The clock alone would give two instances started in the same tick the same wait.
  unsigned Seed = static_cast<unsigned>(static_cast<long long>(Now() * 86400000.0));
  try {
    Seed ^= std::random_device()();
  } catch (const std::exception&) {
  }
  return Seed;
}

}  // namespace

bool AcquireInstanceMutex(const std::string& Name, const std::function<void()>& BeforeCreate) {
  std::minstd_rand Random(RandomSeed());
  Sleep(static_cast<std::uint32_t>(Random() % 1000));
  gMutexName = Name;
  gMutex = plat::NamedMutex::Open(Name);
  if (gMutex.Valid()) {
    // Our handle would keep the other instance's mutex alive after it ends.
    gMutex.Release();
    gMutex.Close();
    return false;
  }
  // Another instance may create the mutex between the look above and the
  // creation here: finding it there already means that instance won.
  if (BeforeCreate) BeforeCreate();
  bool AlreadyExisted = false;
  gMutex = plat::NamedMutex::Create(Name, AlreadyExisted);
  if (AlreadyExisted) {
    gMutex.Close();
    return false;
  }
  return gMutex.Valid();
}

void ReleaseInstanceMutex() {
  if (!gMutex.Valid()) return;
  gMutex.Release();
  gMutex.Close();
}

// Named mutexes for the host build: a lock file per name, held with flock().
// The lock, not the file, is the mutex: the file stays behind (removing it
// would let two processes lock two different files of the same name), and the
// lock goes away with the descriptor, at the latest when the process ends.
#include "platform/Mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace plat {
namespace {

std::string LockFileName(const std::string& Name) {
  const char* Folder = std::getenv("TMPDIR");
  std::string Result = Folder && *Folder ? Folder : "/tmp";
  Result += "/dravin-mutex-";
  // Windows names may hold "\" (Global\...) and anything else: keep it to one file name.
  for (unsigned char C : Name) Result += std::isalnum(C) || C == '-' || C == '_' || C == '.' ? static_cast<char>(C) : '_';
  return Result + "." + std::to_string(::getuid()) + ".lock";
}

int OpenLockFile(const std::string& Name, bool Create) {
  int Flags = O_RDWR | O_CLOEXEC | (Create ? O_CREAT : 0);
  int Fd;
  while ((Fd = ::open(LockFileName(Name).c_str(), Flags, 0600)) < 0 && errno == EINTR) {
  }
  return Fd;
}

bool TryLock(int Fd) {
  int R;
  while ((R = ::flock(Fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  return R == 0;
}

}  // namespace

NamedMutex NamedMutex::Open(const std::string& Name) {
  const int Fd = OpenLockFile(Name, false);
  if (Fd < 0) return NamedMutex();
  // Nobody holds the lock: the mutex does not exist.
  if (TryLock(Fd)) {
    ::close(Fd);
    return NamedMutex();
  }
  return NamedMutex(Fd);
}

NamedMutex NamedMutex::Create(const std::string& Name, bool& AlreadyExisted) {
  AlreadyExisted = false;
  const int Fd = OpenLockFile(Name, true);
  if (Fd < 0) return NamedMutex();
  if (!TryLock(Fd)) {
    if (errno != EWOULDBLOCK) {
      ::close(Fd);
      return NamedMutex();
    }
    AlreadyExisted = true;
  }
  return NamedMutex(Fd);
}

// Ownership is not modelled: nobody here waits on the mutex.
bool NamedMutex::Release() { return false; }

bool CloseMutexHandle(std::intptr_t Handle) { return ::close(static_cast<int>(Handle)) == 0; }

}  // namespace plat

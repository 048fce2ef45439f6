// Files for the host build. POSIX has no share modes, so the FileShare argument
// is accepted and not enforced; everything else keeps the Windows contract,
// error numbers included.
#include "platform/Platform.h"
#include "platform/posix/Internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

namespace plat {
namespace {

thread_local std::uint32_t gLastError = 0;

// Names are code page 932: the trail byte of a double-byte character may be a
// backslash (0x5C) and is no separator.
std::string NativeName(const std::string& Name) {
  std::string Result = Name;
  for (std::size_t I = 0; I < Result.size(); ++I) {
    const auto C = static_cast<unsigned char>(Result[I]);
    if ((C >= 0x81 && C <= 0x9F) || (C >= 0xE0 && C <= 0xFC)) ++I;
    else if (C == '\\') Result[I] = '/';
  }
  return Result;
}

bool IsDirectory(const std::string& Native) {
  struct stat St;
  return ::stat(Native.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

// Windows tells a missing file (2) from a missing folder on the way (3).
std::uint32_t ErrorFromErrno(int Errno, const std::string& Native = std::string()) {
  switch (Errno) {
    case 0: return ErrorSuccess;
    case ENOENT: {
      std::string::size_type Slash = Native.find_last_of('/');
      if (Slash != std::string::npos && Slash > 0 && !IsDirectory(Native.substr(0, Slash))) return ErrorPathNotFound;
      return ErrorFileNotFound;
    }
    case ENOTDIR: return ErrorPathNotFound;
    case EACCES: case EPERM: case EISDIR: case EROFS: return ErrorAccessDenied;
    case EEXIST: return ErrorAlreadyExists;
    case ENOSPC: case EDQUOT: return ErrorDiskFull;
    case EMFILE: case ENFILE: return ErrorTooManyOpenFiles;
    case ENOMEM: return ErrorNotEnoughMemory;
    case EBADF: return ErrorInvalidHandle;
    case EINVAL: return ErrorInvalidParameter;
    case ENAMETOOLONG: return 206;  // ERROR_FILENAME_EXCED_RANGE
    case EBUSY: case ETXTBSY: return ErrorSharingViolation;
    case EXDEV: return 17;  // ERROR_NOT_SAME_DEVICE
    default: return 31;  // ERROR_GEN_FAILURE
  }
}

bool Fail(int Errno, const std::string& Native = std::string()) {
  gLastError = ErrorFromErrno(Errno, Native);
  return false;
}

}  // namespace

File File::Open(const std::string& Name, FileAccess Access, FileShare, FileCreate Create, std::uint32_t& Error) {
  const std::string Native = NativeName(Name);
  File Result;
  int Flags = O_CLOEXEC;
  switch (Access) {
    case FileAccess::Read: Flags |= O_RDONLY; break;
    case FileAccess::Write: Flags |= O_WRONLY; break;
    case FileAccess::ReadWrite: Flags |= O_RDWR; break;
  }
  switch (Create) {
    case FileCreate::OpenExisting: break;
    case FileCreate::CreateAlways: Flags |= O_CREAT | O_TRUNC; break;
    case FileCreate::OpenAlways: Flags |= O_CREAT; break;
  }
  if (Native.empty() || IsDirectory(Native)) {
    Error = Native.empty() ? ErrorPathNotFound : ErrorAccessDenied;
    return Result;
  }
  int Fd = ::open(Native.c_str(), Flags, 0666);
  if (Fd < 0) {
    Error = ErrorFromErrno(errno, Native);
    return Result;
  }
  Result.FHandle = Fd;
  Error = ErrorSuccess;
  return Result;
}

bool File::Read(void* Buffer, std::uint32_t Count, std::uint32_t& Done) {
  Done = 0;
  auto* P = static_cast<char*>(Buffer);
  while (Done < Count) {
    ssize_t N = ::read(static_cast<int>(FHandle), P + Done, Count - Done);
    if (N < 0) {
      if (errno == EINTR) continue;
      FLastError = ErrorFromErrno(errno);
      return false;
    }
    if (N == 0) break;
    Done += static_cast<std::uint32_t>(N);
  }
  return true;
}

bool File::Write(const void* Buffer, std::uint32_t Count, std::uint32_t& Done) {
  Done = 0;
  auto* P = static_cast<const char*>(Buffer);
  while (Done < Count) {
    ssize_t N = ::write(static_cast<int>(FHandle), P + Done, Count - Done);
    if (N < 0) {
      if (errno == EINTR) continue;
      FLastError = ErrorFromErrno(errno);
      return false;
    }
    Done += static_cast<std::uint32_t>(N);
  }
  return true;
}

bool File::Seek(std::int64_t Offset, SeekOrigin Origin, std::int64_t& NewPosition) {
  int Whence = Origin == SeekOrigin::Begin ? SEEK_SET : Origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t R = ::lseek(static_cast<int>(FHandle), static_cast<off_t>(Offset), Whence);
  if (R < 0) {
    FLastError = ErrorFromErrno(errno);
    return false;
  }
  NewPosition = R;
  return true;
}

bool File::GetSize(std::uint64_t& Size) {
  struct stat St;
  if (::fstat(static_cast<int>(FHandle), &St) != 0) {
    FLastError = ErrorFromErrno(errno);
    return false;
  }
  Size = static_cast<std::uint64_t>(St.st_size);
  return true;
}

bool File::SetEnd() {
  off_t Here = ::lseek(static_cast<int>(FHandle), 0, SEEK_CUR);
  if (Here < 0 || ::ftruncate(static_cast<int>(FHandle), Here) != 0) {
    FLastError = ErrorFromErrno(errno);
    return false;
  }
  return true;
}

bool File::Flush() {
  // Windows' FlushFileBuffers reaches the disk; fdatasync is its equal here.
  if (::fdatasync(static_cast<int>(FHandle)) != 0 && errno != EINVAL && errno != EROFS) {
    FLastError = ErrorFromErrno(errno);
    return false;
  }
  return true;
}

bool File::Close() {
  if (FHandle == Invalid) return true;
  int R = ::close(static_cast<int>(FHandle));
  FHandle = Invalid;
  if (R != 0) {
    FLastError = ErrorFromErrno(errno);
    return false;
  }
  return true;
}

bool FileExists(const std::string& Name) {
  struct stat St;
  const std::string Native = NativeName(Name);
  return !Native.empty() && ::stat(Native.c_str(), &St) == 0 && !S_ISDIR(St.st_mode);
}

bool DirectoryExists(const std::string& Name) { return IsDirectory(NativeName(Name)); }

bool DeleteFile(const std::string& Name) {
  const std::string Native = NativeName(Name);
  if (IsDirectory(Native)) return Fail(EACCES);
  if (::unlink(Native.c_str()) != 0) return Fail(errno, Native);
  return true;
}

bool CopyFile(const std::string& Source, const std::string& Target, bool FailIfExists) {
  const std::string From = NativeName(Source), To = NativeName(Target);
  int In = ::open(From.c_str(), O_RDONLY | O_CLOEXEC);
  if (In < 0) return Fail(errno, From);
  struct stat St;
  if (::fstat(In, &St) != 0 || S_ISDIR(St.st_mode)) {
    int E = S_ISDIR(St.st_mode) ? EACCES : errno;
    ::close(In);
    return Fail(E);
  }
  int Out = ::open(To.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (FailIfExists ? O_EXCL : 0),
                   St.st_mode & 0777);
  if (Out < 0) {
    int E = errno;
    ::close(In);
    if (E == EEXIST) {
      gLastError = ErrorFileExists;
      return false;
    }
    return Fail(E, To);
  }
  char Buffer[65536];
  bool Ok = true;
  int E = 0;
  for (;;) {
    ssize_t N = ::read(In, Buffer, sizeof Buffer);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) { Ok = false; E = errno; break; }
    if (N == 0) break;
    for (ssize_t Off = 0; Off < N;) {
      ssize_t W = ::write(Out, Buffer + Off, static_cast<size_t>(N - Off));
      if (W < 0 && errno == EINTR) continue;
      if (W < 0) { Ok = false; E = errno; break; }
      Off += W;
    }
    if (!Ok) break;
  }
  ::close(In);
  if (::close(Out) != 0 && Ok) { Ok = false; E = errno; }
  return Ok ? true : Fail(E);
}

// Windows keeps a read-only file in place; POSIX would let the folder's owner
// rename over it. A file without any write permission stands for the
// read-only attribute here, as it does under Wine.
bool MoveFileReplace(const std::string& Source, const std::string& Target) {
  const std::string From = NativeName(Source), To = NativeName(Target);
  struct stat St;
  if (::stat(From.c_str(), &St) != 0) return Fail(errno, From);
  if (::stat(To.c_str(), &St) == 0 && (S_ISDIR(St.st_mode) || (St.st_mode & 0222) == 0)) return Fail(EACCES);
  if (::rename(From.c_str(), To.c_str()) != 0) return Fail(errno, To);
  // The new name reaches the disk with the folder's own entry.
  const std::string::size_type Slash = To.find_last_of('/');
  const std::string Folder = Slash == std::string::npos ? "." : Slash == 0 ? "/" : To.substr(0, Slash);
  const int Fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd >= 0) {
    ::fsync(Fd);
    ::close(Fd);
  }
  return true;
}

bool SetFileReadOnly(const std::string& Name, bool ReadOnly) {
  const std::string Native = NativeName(Name);
  struct stat St;
  if (::stat(Native.c_str(), &St) != 0) return Fail(errno, Native);
  const mode_t Mode = ReadOnly ? St.st_mode & ~0222 : St.st_mode | 0200;
  if (::chmod(Native.c_str(), Mode & 07777) != 0) return Fail(errno, Native);
  return true;
}

bool CreateDirectory(const std::string& Name) {
  const std::string Native = NativeName(Name);
  if (::mkdir(Native.c_str(), 0777) != 0) return Fail(errno, Native);
  return true;
}

bool ListFiles(const std::string& Folder, std::vector<std::string>& Names) {
  Names.clear();
  const std::string Native = NativeName(Folder);
  DIR* D = ::opendir(Native.c_str());
  if (!D) return Fail(errno, Native);
  while (const dirent* E = ::readdir(D)) {
    struct stat St;
    const std::string Name = E->d_name;
    if (::stat((Native + "/" + Name).c_str(), &St) == 0 && S_ISREG(St.st_mode)) Names.push_back(Name);
  }
  ::closedir(D);
  return true;
}

std::uint32_t GetLastError() { return gLastError; }

void posix::SetLastError(std::uint32_t Code) { gLastError = Code; }

}  // namespace plat

// Run-time libraries for the host build. There is one, built in: the socket
// library, under the Windows name "wsock32.dll" (names ignore case, as there).
#include "platform/Module.h"

#include <strings.h>

#include "platform/Platform.h"
#include "platform/Sockets.h"
#include "platform/posix/Internal.h"

namespace plat {
namespace {

constexpr std::uintptr_t SocketLibrary = 1;
constexpr std::uint32_t ErrorModNotFound = 126;
constexpr std::uint32_t ErrorProcNotFound = 127;

}  // namespace

Module Module::Load(const char* FileName) {
  if (FileName && ::strcasecmp(FileName, sock::LibraryFileName) == 0) return Module(SocketLibrary);
  posix::SetLastError(ErrorModNotFound);
  return Module();
}

void* Module::Proc(const char* Name) const {
  void* Entry = FHandle.Get() == SocketLibrary && Name ? posix::SocketLibraryEntry(Name) : nullptr;
  if (!Entry) posix::SetLastError(ErrorProcNotFound);
  return Entry;
}

// The built-in library is never unloaded.
bool FreeModuleHandle(std::uintptr_t) { return true; }

}  // namespace plat

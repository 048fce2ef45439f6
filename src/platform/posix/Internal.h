// Internal to the POSIX side of the seam: what its parts lend each other.
#pragma once

#include <cstdint>

namespace plat::posix {

// Sets what plat::GetLastError() returns on this thread.
void SetLastError(std::uint32_t Code);

// The export of the built-in socket library named Name, or nullptr.
void* SocketLibraryEntry(const char* Name);
// An errno value as the socket library reports it: Winsock's number.
int WsaFromErrno(int Errno);

}  // namespace plat::posix

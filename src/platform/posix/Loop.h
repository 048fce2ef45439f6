// Internal to the POSIX side of the seam: the per-thread wait also watches file
// descriptors, so that the socket emulation can turn readiness into the same
// posted notifications Winsock would send.
#pragma once

#include <cstddef>
#include <functional>

namespace plat::posix {

// Events are poll() bits. The callback runs on the watching thread, from inside
// PeekMessage, GetMessage or WaitMessage, and typically posts messages.
using FdCallback = std::function<void(int Fd, short REvents)>;

// Starts or changes the watch of Fd on the calling thread's loop; Events 0 keeps
// the descriptor registered but asks for nothing.
// WatchFd and SetFdEvents work on the calling thread's loop; UnwatchFd may
// come from any thread and ends the watch in whichever loop has it.
void WatchFd(int Fd, short Events, FdCallback Callback);
void SetFdEvents(int Fd, short Events);
void UnwatchFd(int Fd);
// The descriptors the calling thread's loop watches.
std::size_t WatchCount();

}  // namespace plat::posix

// The socket layer's own binding of the system's socket library, and the free
// routines every socket object uses: the layer's exception, the texts of the
// socket error numbers, and the resolvers of host, port and protocol texts.
//
// The library ("wsock32.dll"; in the host build its built-in stand-in, see
// platform/Module.h) is loaded and started with WSAStartup 1.1 on the first
// call of any function below, each entry point is looked up by name on its
// first call and remembered, and the whole binding is dropped again when the
// last socket object is destroyed (LiveSocketCount) and at program end.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "framework/SysUtils.h"
#include "platform/Sockets.h"

DRAVIN_EXCEPTION(ESocketException, Exception);

// Socket objects alive; changed with interlocked increments and decrements.
extern std::atomic<std::int32_t> LiveSocketCount;

// The entry point of an export of the library, loading and starting the
// library first when needed; nullptr for an empty name. Raises
// ESocketException when the library cannot be loaded or started or has no
// such export.
void* LoadSocketFunction(const char* Name);
// Cleans up and unloads the library, forgets every entry point, and sets
// LiveSocketCount to 0.
void UnloadSocketLibrary();
bool SocketLibraryLoaded();
// Keeps the library's code mapped until the process ends. An asynchronous
// lookup runs on a thread of the system's, inside the library, and goes on
// after a cancel or an answer; nothing tells when it has left. Called before
// one starts: the unload with the last socket still cleans the library up
// and forgets the binding, but the code stays for the threads still in it.
void KeepSocketLibraryMapped();
// Remembers Entry as the entry point of the export Name, loading the library
// first when needed, and returns the entry point it replaces; nullptr, and
// nothing changed, for a name that is none of the 30. Tests put doubles of
// single functions in place this way; an unload forgets them with the rest.
void* ReplaceSocketFunction(const char* Name, void* Entry);

// The thin wrappers, named after the exports they call.
namespace wsock {

using namespace plat::sock;

#define DRAVIN_SOCKET_WRAPPER(Result, Name, Parameters, Arguments) Result Name Parameters;
DRAVIN_SOCKET_FUNCTIONS(DRAVIN_SOCKET_WRAPPER)
#undef DRAVIN_SOCKET_WRAPPER

// An int-valued option, the common case.
inline int setsockopt(Socket S, int Level, int Name, int Value) {
  return setsockopt(S, Level, Name, reinterpret_cast<const char*>(&Value), sizeof Value);
}

}  // namespace wsock

// The English text of a socket error number; "Not a WinSock error" for any
// number outside the table.
std::string SocketErrorText(int ErrorCode);

// An IPv4 address in network order: a dotted address converted, anything else
// looked up with the blocking gethostbyname.
std::uint32_t WSocketResolveHost(const std::string& Host);
// A port number in host order: a text that begins with a digit is read as a
// number (cut to 16 bits), anything else is a service name under Proto.
std::uint16_t WSocketResolvePort(const std::string& Port, const std::string& Proto);
int WSocketResolveProto(const std::string& Proto);

// Four decimal parts of at most 255 joined by dots, blanks allowed around.
bool IsDottedQuad(const std::string& Text);
// The decimal digits at the start of Text, after leading blanks; no sign, no
// range check (the value wraps at 32 bits).
std::int32_t ParseLeadingNumber(const std::string& Text);

// The dotted text of an address in network order.
std::string DottedAddress(std::uint32_t Address);

#include "net/SocketBinding.h"

#include <algorithm>
#include <cstring>

#include "platform/Module.h"
#include "platform/Platform.h"

std::atomic<std::int32_t> LiveSocketCount{0};

namespace {

#define DRAVIN_SOCKET_INDEX(Result, Name, Parameters, Arguments) ex##Name,
enum Export { DRAVIN_SOCKET_FUNCTIONS(DRAVIN_SOCKET_INDEX) exCount };
#undef DRAVIN_SOCKET_INDEX

#define DRAVIN_SOCKET_NAME(Result, Name, Parameters, Arguments) #Name,
const char* const ExportNames[exCount] = {DRAVIN_SOCKET_FUNCTIONS(DRAVIN_SOCKET_NAME)};
#undef DRAVIN_SOCKET_NAME

// The process-wide binding. Its end is the program's end: the library is
// cleaned up and unloaded then, as when the last socket object goes.
struct Binding {
  plat::Module Library;
  plat::sock::WSAData StartupData{};
  void* Entries[exCount] = {};
  ~Binding() { UnloadSocketLibrary(); }
};

Binding& TheBinding() {
  static Binding B;
  return B;
}

template <typename Fn>
Fn Bound(Export Index) {
  void*& Entry = TheBinding().Entries[Index];
  if (!Entry) Entry = LoadSocketFunction(ExportNames[Index]);
  return reinterpret_cast<Fn>(Entry);
}

[[noreturn]] void RaiseMissing(const char* Name) {
  throw ESocketException(std::string("Procedure ") + Name + " not found in " + plat::sock::LibraryFileName +
                         " Error #" + IntToStr(plat::GetLastError()));
}

}  // namespace

void* LoadSocketFunction(const char* Name) {
  Binding& B = TheBinding();
  if (!B.Library.Loaded()) {
    B.Library = plat::Module::Load(plat::sock::LibraryFileName);
    if (!B.Library.Loaded())
      throw ESocketException(std::string("Unable to load ") + plat::sock::LibraryFileName + " Error #" +
                             IntToStr(plat::GetLastError()));
    // A failed start leaves the library loaded and is not tried again: later
    // calls reach the library and fail with its own 10093.
    void* Startup = B.Library.Proc("WSAStartup");
    if (!Startup) RaiseMissing("WSAStartup");
    B.Entries[exWSAStartup] = Startup;
    const int Result = reinterpret_cast<plat::sock::FnWSAStartup>(Startup)(0x0101, &B.StartupData);
    if (Result != 0) throw ESocketException(Format("%s: WSAStartup error #%d", plat::sock::LibraryFileName, Result));
  }
  if (!Name || !*Name) return nullptr;
  void* Entry = B.Library.Proc(Name);
  if (!Entry) RaiseMissing(Name);
  return Entry;
}

void UnloadSocketLibrary() {
  Binding& B = TheBinding();
  if (B.Library.Loaded()) {
    try {
      wsock::WSACleanup();
    } catch (const ESocketException&) {
      // Unloading goes on without the clean-up the library cannot offer.
    }
    B.Library.Free();
    std::memset(B.Entries, 0, sizeof B.Entries);
  }
  LiveSocketCount = 0;
}

bool SocketLibraryLoaded() { return TheBinding().Library.Loaded(); }

void KeepSocketLibraryMapped() {
  // One reference more, never given back.
  static const plat::Module* const Kept = new plat::Module(plat::Module::Load(plat::sock::LibraryFileName));
  (void)Kept;
}

void* ReplaceSocketFunction(const char* Name, void* Entry) {
  for (int I = 0; I < exCount; ++I) {
    if (std::strcmp(ExportNames[I], Name) != 0) continue;
    void* Old = LoadSocketFunction(Name);
    void*& Slot = TheBinding().Entries[I];
    if (Slot) Old = Slot;
    Slot = Entry;
    return Old;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------

namespace wsock {

#define DRAVIN_SOCKET_WRAPPER(Result, Name, Parameters, Arguments) \
  Result Name Parameters { return Bound<plat::sock::Fn##Name>(ex##Name) Arguments; }
DRAVIN_SOCKET_FUNCTIONS(DRAVIN_SOCKET_WRAPPER)
#undef DRAVIN_SOCKET_WRAPPER

}  // namespace wsock

// ---------------------------------------------------------------------------

std::string SocketErrorText(int ErrorCode) {
  switch (ErrorCode) {
    case 0: return "No Error";
    case 10004: return "Interrupted system call";
    case 10009: return "Bad file number";
    case 10013: return "Permission denied";
    case 10014: return "Bad address";
    case 10022: return "Invalid argument";
    case 10024: return "Too many open files";
    case 10035: return "Operation would block";
    case 10036: return "Operation now in progress";
    case 10037: return "Operation already in progress";
    case 10038: return "Socket operation on non-socket";
    case 10039: return "Destination address required";
    case 10040: return "Message too long";
    case 10041: return "Protocol wrong type for socket";
    case 10042: return "Protocol not available";
    case 10043: return "Protocol not supported";
    case 10044: return "Socket type not supported";
    case 10045: return "Operation not supported on socket";
    case 10046: return "Protocol family not supported";
    case 10047: return "Address family not supported by protocol family";
    case 10048: return "Address already in use";
    case 10049: return "Address not available";
    case 10050: return "Network is down";
    case 10051: return "Network is unreachable";
    case 10052: return "Network dropped connection on reset";
    case 10053: return "Connection aborted";
    case 10054: return "Connection reset by peer";
    case 10055: return "No buffer space available";
    case 10056: return "Socket is already connected";
    case 10057: return "Socket is not connected";
    case 10058: return "Can't send after socket shutdown";
    case 10059: return "Too many references: can't splice";
    case 10060: return "Connection timed out";
    case 10061: return "Connection refused";
    case 10062: return "Too many levels of symbolic links";
    case 10063: return "File name too long";
    case 10064: return "Host is down";
    case 10065: return "No route to host";
    case 10066: return "Directory not empty";
    case 10067: return "Too many processes";
    case 10068: return "Too many users";
    case 10069: return "Disc quota exceeded";
    case 10070: return "Stale NFS file handle";
    case 10071: return "Too many levels of remote in path";
    case 10091: return "Network sub-system is unusable";
    case 10092: return "WinSock DLL cannot support this application";
    case 10093: return "WinSock not initialized";
    case 11001: return "Host not found";
    case 11002: return "Non-authoritative host not found";
    case 11003: return "Non-recoverable error";
    case 11004: return "No Data";
    default: return "Not a WinSock error";
  }
}

std::int32_t ParseLeadingNumber(const std::string& Text) {
  std::size_t I = 0;
  while (I < Text.size() && Text[I] == ' ') ++I;
  std::uint32_t Value = 0;
  for (; I < Text.size() && Text[I] >= '0' && Text[I] <= '9'; ++I) Value = Value * 10 + static_cast<std::uint32_t>(Text[I] - '0');
  return static_cast<std::int32_t>(Value);
}

bool IsDottedQuad(const std::string& Text) {
  std::size_t I = 0;
  const std::size_t N = Text.size();
  while (I < N && Text[I] == ' ') ++I;
  if (I < N && Text[I] == '.') return false;
  int Dots = 0;
  unsigned Part = 0;
  for (; I < N; ++I) {
    const char C = Text[I];
    if (C >= '0' && C <= '9') {
      // Kept from growing past what the test below needs.
      Part = std::min(Part * 10 + static_cast<unsigned>(C - '0'), 256u);
    } else if (C == '.') {
      if (++Dots > 3 || Part > 255 || I + 1 >= N || Text[I + 1] < '0' || Text[I + 1] > '9') return false;
      Part = 0;
    } else {
      while (I < N && Text[I] == ' ') ++I;
      if (I < N) return false;
      break;
    }
  }
  return Dots == 3 && Part <= 255;
}

std::string DottedAddress(std::uint32_t Address) {
  const auto* B = reinterpret_cast<const unsigned char*>(&Address);
  return Format("%u.%u.%u.%u", B[0], B[1], B[2], B[3]);
}

std::uint32_t WSocketResolveHost(const std::string& Host) {
  if (Host.empty() || Host.size() > 256) throw ESocketException("WSocketResolveHost: '" + Host + "' Invalid Hostname.");
  const std::string Text = Trim(Host);
  if (IsDottedQuad(Text)) {
    const std::uint32_t Address = wsock::inet_addr(Text.c_str());
    if (Address == plat::sock::InAddrNone && Text != "255.255.255.255")
      throw ESocketException("WSocketResolveHost: '" + Text + "' Invalid IP address.");
    return Address;
  }
  const plat::sock::HostEnt* H = wsock::gethostbyname(Text.c_str());
  if (!H || !H->h_addr_list || !H->h_addr_list[0])
    throw ESocketException(Format("WSocketResolveHost: Cannot convert host address '%s', Error #%d", Text.c_str(),
                                  wsock::WSAGetLastError()));
  std::uint32_t Address;
  std::memcpy(&Address, H->h_addr_list[0], 4);
  return Address;
}

std::uint16_t WSocketResolvePort(const std::string& Port, const std::string& Proto) {
  if (Port.empty() || Port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
  if (Proto.empty() || Proto.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Proto.");
  if (Port[0] >= '0' && Port[0] <= '9') return static_cast<std::uint16_t>(ParseLeadingNumber(Port));
  const std::string Service = Trim(Port);
  const std::string Protocol = Trim(Proto);
  const plat::sock::ServEnt* S = wsock::getservbyname(Service.c_str(), Protocol.empty() ? nullptr : Protocol.c_str());
  if (!S)
    throw ESocketException(
        Format("WSocketResolvePort: Cannot convert port '%s', Error #%d", Port.c_str(), wsock::WSAGetLastError()));
  return wsock::ntohs(static_cast<std::uint16_t>(S->s_port));
}

int WSocketResolveProto(const std::string& Proto) {
  if (Proto.empty() || Proto.size() >= 32) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  const std::string Text = Trim(Proto);
  if (!Text.empty() && Text[0] >= '0' && Text[0] <= '9') return ParseLeadingNumber(Text);
  const plat::sock::ProtoEnt* P = wsock::getprotobyname(Text.c_str());
  if (!P)
    throw ESocketException(
        Format("WSocketResolveProto: Cannot convert protocol '%s', Error #%d", Text.c_str(), wsock::WSAGetLastError()));
  return P->p_proto;
}

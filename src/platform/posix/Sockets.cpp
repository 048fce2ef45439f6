// The host build's socket library: the 30 Windows Sockets 1.1 functions the
// socket layer binds by name, over BSD sockets, with Winsock's numbers and
// Winsock's rules for the notifications of WSAAsyncSelect:
//
//   - FD_CONNECT once, when a connect completes (with its error when it fails);
//   - FD_WRITE when the connection comes up, and again only after a send has
//     failed with would-block and the socket can take more (a send that takes
//     only part of the data does not count);
//   - FD_READ when data waits, and again only after the next recv;
//   - FD_ACCEPT when a connection waits, and again only after the next accept;
//   - FD_CLOSE once, when the peer has closed or reset, and only once the data
//     before the close has been read; never for a datagram socket, whose
//     empty datagram is data like any other;
//   - a new WSAAsyncSelect reports again what holds at that moment: waiting
//     data, a waiting connection, room to write, and a connection that is
//     still closed (its FD_CLOSE comes again);
//   - nothing at all for a stream socket that is neither connected, nor
//     connecting, nor listening.
//
// Readiness is watched by the poll() of the thread that asked for the events
// (platform/posix/Loop.h) and turned into posted messages there. Name lookups
// of WSAAsyncGetHostByName/-ByAddr run on a worker thread each, whose answer
// is written into the caller's buffer and posted to the caller's window
// unless the request was cancelled first. Every answer is posted, never
// handed over inside the request call.
//
// Where this library differs from Windows on purpose, and why:
//
//   - Handles are the system's descriptors (below 4096). A closed handle's
//     value comes back with the next socket at once, where Windows reuses
//     values later: a caller must drop what is still queued for a handle it
//     closes (the socket core does), as it must on Windows too.
//   - Notifications are made by the poll of the thread that asked for them,
//     while that thread looks at its queue (PeekMessage, GetMessage,
//     WaitMessage), not by a service thread at any moment: there is no
//     other thread to post them without a second loop and its locks. A
//     socket with notifications is used from that thread only; closesocket
//     and WSACleanup may come from any thread and take the watch out of the
//     owner's loop.
//   - A name that needs no lookup (a numeric address in any form inet_aton
//     takes) is answered without asking the resolver, with the name as the
//     official name; Windows asks its resolver for every name. The answer
//     is posted all the same.
//   - A cancelled lookup writes and posts nothing. Windows may still write
//     into the caller's buffer (Wine does); callers keep the buffer either
//     way.
//   - closesocket never reports would-block: Linux's close of a descriptor
//     with a linger time neither waits nor fails when it is non-blocking.
//   - Linux says EPIPE both after our own shutdown of sending and after the
//     peer's reset: send reports 10058 for the first and 10054 for the
//     second. An errno with no Winsock number is 10107 (WSASYSCALLFAILURE),
//     never 10022, which the layer above takes as a reason to close.
//   - Only the options, ioctl commands and events the socket layer uses are
//     carried out: other options fail with 10042, other commands with 10022,
//     and FD_OOB is never reported; a datagram socket gets no first FD_WRITE.
//   - WSAStartup accepts any version from 1.0 up and always reports 1.1.
#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/posix/Internal.h"
#include "platform/posix/Loop.h"

namespace plat::sock {
namespace {

thread_local int gError = 0;
std::atomic<int> gStartups{0};

int Fail(int Error) {
  gError = Error;
  return SocketError;
}

// errno in Winsock's numbering: 10000 + the classic BSD number.
int WsaFromErrno(int E) {
  switch (E) {
    case 0: return 0;
    case EINTR: return WsaEIntr;
    case EBADF: return WsaENotSock;
    case EACCES: case EPERM: return WsaEAcces;
    case EFAULT: return WsaEFault;
    case EINVAL: return WsaEInval;
    case EMFILE: case ENFILE: return WsaEMFile;
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EAGAIN: return WsaEWouldBlock;
    case EINPROGRESS: return WsaEInProgress;
    case EALREADY: return WsaEAlready;
    case ENOTSOCK: return WsaENotSock;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return WsaEConnAborted;
    case ECONNRESET: return WsaEConnReset;
    case ENOBUFS: case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return WsaENotConn;
    case ESHUTDOWN: return WsaEShutdown;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return WsaEConnRefused;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    // What Linux alone says, in the nearest Winsock terms.
    case EPIPE: return WsaEShutdown;
    case EPROTO: return WsaEConnAborted;  // a waiting connection that failed
    case ENOSR: return 10055;
    case ENONET: return 10050;
    case ETIME: return 10060;
    default: return WsaSysCallFailure;
  }
}

int FailErrno() { return Fail(WsaFromErrno(errno)); }

bool Started() {
  if (gStartups.load() > 0) return true;
  gError = WsaNotInitialised;
  return false;
}

// ---------------------------------------------------------------------------
// Sockets, one record per descriptor. The flags of the notification rules are
// touched by the thread that asked for the events only (see the top).

constexpr int MaxSockets = 4096;

struct SockRec {
  std::atomic<bool> Open{false};
  WindowHandle Window = 0;
  unsigned Msg = 0;
  std::int32_t Mask = 0;  // 0: no notifications
  bool Stream = true;
  bool Established = false;  // a stream socket's connection came up
  bool Connecting = false;
  bool ReadEnabled = true;
  bool WriteWanted = false;
  bool AcceptEnabled = true;
  bool CloseReported = false;
  bool Listening = false;
  bool SendShut = false;

  void Reset() {
    Window = 0;
    Msg = 0;
    Mask = 0;
    Established = false;
    Connecting = false;
    ReadEnabled = true;
    WriteWanted = false;
    AcceptEnabled = true;
    CloseReported = false;
    Listening = false;
    SendShut = false;
  }
};

SockRec gSockets[MaxSockets];

SockRec* Find(Socket S) {
  if (S >= static_cast<Socket>(MaxSockets)) return nullptr;
  SockRec& R = gSockets[S];
  return R.Open.load(std::memory_order_acquire) ? &R : nullptr;
}

int Fd(Socket S) { return static_cast<int>(S); }

Socket Adopt(int Fd, bool Stream, bool Established) {
  if (Fd >= MaxSockets) {
    ::close(Fd);
    gError = WsaEMFile;
    return InvalidSocket;
  }
  SockRec& R = gSockets[Fd];
  R.Reset();
  R.Stream = Stream;
  R.Established = Established;
  R.Open.store(true, std::memory_order_release);
  return static_cast<Socket>(Fd);
}

void Post(const SockRec& R, Socket S, std::int32_t Event, int Error) {
  if (R.Mask & Event) PostMessage(R.Window, R.Msg, S, MakeSelectReply(static_cast<std::uint32_t>(Event), static_cast<std::uint32_t>(Error)));
}

short Wanted(const SockRec& R) {
  if (R.Mask == 0) return 0;
  if (R.Connecting) return POLLOUT;
  if (R.Listening) return R.AcceptEnabled ? POLLIN : 0;
  // An unconnected stream socket has nothing to report; its poll would only
  // say that it hangs up.
  if (R.Stream && !R.Established) return 0;
  short E = 0;
  if (R.ReadEnabled && !R.CloseReported) E |= POLLIN;
  if (R.WriteWanted) E |= POLLOUT;
  return E;
}

void Rewatch(const SockRec& R, Socket S) {
  if (R.Mask) posix::SetFdEvents(Fd(S), Wanted(R));
}

void OnReady(int Descriptor, short REvents) {
  const Socket S = static_cast<Socket>(Descriptor);
  SockRec* R = Find(S);
  if (!R || R->Mask == 0) return;
  if (R->Connecting) {
    int Error = 0;
    socklen_t Length = sizeof Error;
    ::getsockopt(Descriptor, SOL_SOCKET, SO_ERROR, &Error, &Length);
    R->Connecting = false;
    R->Established = Error == 0;
    Post(*R, S, FdConnect, WsaFromErrno(Error));
    // A connection that never came up has nothing more to report.
    if (Error == 0) Post(*R, S, FdWrite, 0);
    Rewatch(*R, S);
    return;
  }
  if (R->Listening) {
    R->AcceptEnabled = false;
    Post(*R, S, FdAccept, 0);
    Rewatch(*R, S);
    return;
  }
  // A hang-up or an error is reported with whatever was asked for, so each
  // branch below must end the condition it was woken for.
  if (R->WriteWanted && (REvents & (POLLOUT | POLLERR | POLLHUP))) {
    R->WriteWanted = false;
    Post(*R, S, FdWrite, 0);
  }
  if (R->ReadEnabled && !R->CloseReported && (REvents & (POLLIN | POLLERR | POLLHUP))) {
    int Pending = 0;
    char Byte;
    ssize_t Peeked = 0;
    if (::ioctl(Descriptor, FIONREAD, &Pending) != 0 || Pending <= 0) Peeked = ::recv(Descriptor, &Byte, 1, MSG_PEEK | MSG_DONTWAIT);
    const int PeekError = Peeked < 0 ? errno : 0;
    const bool Nothing = PeekError == EAGAIN || PeekError == EWOULDBLOCK || PeekError == EINTR;
    // A datagram socket has no close to report: an empty datagram, and an
    // error a datagram brought back, are read like any other.
    if (Pending > 0 || Peeked > 0 || (!R->Stream && !Nothing)) {
      R->ReadEnabled = false;
      Post(*R, S, FdRead, 0);
    } else if (Peeked == 0) {
      R->CloseReported = true;
      Post(*R, S, FdClose, 0);
    } else if (!Nothing) {
      R->CloseReported = true;
      Post(*R, S, FdClose, WsaFromErrno(PeekError));
    }
  }
  Rewatch(*R, S);
}

bool IsConnected(int Descriptor) {
  sockaddr_in Peer;
  socklen_t Length = sizeof Peer;
  return ::getpeername(Descriptor, reinterpret_cast<sockaddr*>(&Peer), &Length) == 0;
}

int DRAVIN_WSAAPI Emu_WSAAsyncSelect(Socket S, WindowHandle Window, unsigned Msg, std::int32_t Events);

// ---------------------------------------------------------------------------
// Answers of the lookups, packed as Winsock packs them: the record first, the
// pointers and the data after it, all inside the caller's buffer.

struct Answer {
  std::string Name;
  std::vector<std::string> Aliases;
  std::vector<std::uint32_t> Addresses;  // network order
};

// Returns false when the buffer is too small.
bool Pack(const Answer& A, char* Buffer, int Size) {
  const std::size_t Pointers = (A.Aliases.size() + 1 + A.Addresses.size() + 1) * sizeof(char*);
  std::size_t Need = sizeof(HostEnt) + Pointers + A.Addresses.size() * 4 + A.Name.size() + 1;
  for (const std::string& Alias : A.Aliases) Need += Alias.size() + 1;
  if (Need > static_cast<std::size_t>(Size)) return false;
  auto* H = reinterpret_cast<HostEnt*>(Buffer);
  char** Slots = reinterpret_cast<char**>(Buffer + sizeof(HostEnt));
  char* Data = Buffer + sizeof(HostEnt) + Pointers;
  H->h_aliases = Slots;
  for (const std::string& Alias : A.Aliases) {
    *Slots++ = Data;
    std::memcpy(Data, Alias.c_str(), Alias.size() + 1);
    Data += Alias.size() + 1;
  }
  *Slots++ = nullptr;
  H->h_addr_list = Slots;
  for (std::uint32_t Address : A.Addresses) {
    *Slots++ = Data;
    std::memcpy(Data, &Address, 4);
    Data += 4;
  }
  *Slots = nullptr;
  H->h_name = Data;
  std::memcpy(Data, A.Name.c_str(), A.Name.size() + 1);
  H->h_addrtype = AfInet;
  H->h_length = 4;
  return true;
}

Answer FromHostent(const hostent& H) {
  Answer A;
  A.Name = H.h_name ? H.h_name : "";
  for (char** Alias = H.h_aliases; Alias && *Alias; ++Alias) A.Aliases.emplace_back(*Alias);
  if (H.h_addrtype == AF_INET && H.h_length == 4)
    for (char** Address = H.h_addr_list; Address && *Address; ++Address) {
      std::uint32_t Value;
      std::memcpy(&Value, *Address, 4);
      A.Addresses.push_back(Value);
    }
  return A;
}

// 0, or the lookup error in Winsock's numbering (11000 + h_errno).
int LookUpName(const std::string& Name, Answer& A) {
  std::vector<char> Work(2048);
  hostent H;
  hostent* Result = nullptr;
  int HErrno = 0;
  int R;
  while ((R = ::gethostbyname_r(Name.c_str(), &H, Work.data(), Work.size(), &Result, &HErrno)) == ERANGE)
    Work.resize(Work.size() * 2);
  if (R != 0 || !Result) return 11000 + (HErrno > 0 && HErrno <= 4 ? HErrno : 1);
  A = FromHostent(H);
  if (A.Addresses.empty()) return WsaNoData;
  return 0;
}

int LookUpAddress(std::uint32_t Address, Answer& A) {
  std::vector<char> Work(2048);
  hostent H;
  hostent* Result = nullptr;
  int HErrno = 0;
  int R;
  while ((R = ::gethostbyaddr_r(&Address, 4, AF_INET, &H, Work.data(), Work.size(), &Result, &HErrno)) == ERANGE)
    Work.resize(Work.size() * 2);
  if (R != 0 || !Result) return 11000 + (HErrno > 0 && HErrno <= 4 ? HErrno : 1);
  A = FromHostent(H);
  return 0;
}

struct Request {
  WindowHandle Window;
  unsigned Msg;
  char* Buffer;
  int Length;
};

// Shared with the workers; never destroyed, so that a worker still running
// when the program ends finds it intact.
struct Requests {
  std::mutex Lock;
  std::map<std::uintptr_t, Request> Pending;
  std::uintptr_t Next = 1;
};

Requests& TheRequests() {
  static Requests* R = new Requests;
  return *R;
}

// Fills the caller's buffer and posts the answer, unless the request has been
// cancelled.
void Complete(std::uintptr_t Id, int Error, const Answer& A) {
  Requests& Rs = TheRequests();
  std::lock_guard<std::mutex> Guard(Rs.Lock);
  auto It = Rs.Pending.find(Id);
  if (It == Rs.Pending.end()) return;
  const Request Q = It->second;
  Rs.Pending.erase(It);
  if (Error == 0 && !Pack(A, Q.Buffer, Q.Length)) Error = 10055;  // WSAENOBUFS
  PostMessage(Q.Window, Q.Msg, Id, MakeSelectReply(static_cast<std::uint32_t>(Q.Length), static_cast<std::uint32_t>(Error)));
}

std::uintptr_t NewRequest(WindowHandle Window, unsigned Msg, char* Buffer, int Length) {
  Requests& Rs = TheRequests();
  std::lock_guard<std::mutex> Guard(Rs.Lock);
  const std::uintptr_t Id = Rs.Next++;
  Rs.Pending[Id] = Request{Window, Msg, Buffer, Length};
  return Id;
}

// False, with the request withdrawn, when no thread can be started.
template <typename Work>
bool StartWorker(std::uintptr_t Id, Work W) {
  try {
    std::thread(std::move(W)).detach();
    return true;
  } catch (const std::system_error&) {
    Requests& Rs = TheRequests();
    std::lock_guard<std::mutex> Guard(Rs.Lock);
    Rs.Pending.erase(Id);
    gError = 10055;  // WSAENOBUFS
    return false;
  }
}

// ---------------------------------------------------------------------------
// The 30 entries.

int DRAVIN_WSAAPI Emu_WSAStartup(std::uint16_t Version, WSAData* Data) {
  if ((Version & 0xFF) < 1) return 10092;  // WSAVERNOTSUPPORTED
  if (!Data) return WsaEFault;
  std::memset(Data, 0, sizeof *Data);
  Data->wVersion = 0x0101;
  Data->wHighVersion = 0x0101;
  ++gStartups;
  return 0;
}

int DRAVIN_WSAAPI Emu_WSACleanup() {
  if (!Started()) return SocketError;
  // The last clean-up closes every socket still open, as Winsock does.
  if (--gStartups == 0)
    for (int I = 0; I < MaxSockets; ++I)
      if (gSockets[I].Open.exchange(false)) {
        if (gSockets[I].Mask) posix::UnwatchFd(I);
        ::close(I);
      }
  return 0;
}

void DRAVIN_WSAAPI Emu_WSASetLastError(int Error) { gError = Error; }
int DRAVIN_WSAAPI Emu_WSAGetLastError() { return gError; }

int DRAVIN_WSAAPI Emu_WSACancelAsyncRequest(AsyncHandle Handle) {
  if (!Started()) return SocketError;
  Requests& Rs = TheRequests();
  const auto Id = reinterpret_cast<std::uintptr_t>(Handle);
  std::lock_guard<std::mutex> Guard(Rs.Lock);
  if (Rs.Pending.erase(Id)) return 0;
  return Fail(Id != 0 && Id < Rs.Next ? WsaEAlready : WsaEInval);
}

AsyncHandle DRAVIN_WSAAPI Emu_WSAAsyncGetHostByName(WindowHandle Window, unsigned Msg, const char* Name, char* Buffer,
                                                 int Length) {
  if (!Started()) return nullptr;
  if (!Name || !Buffer || Length <= 0) {
    gError = WsaEFault;
    return nullptr;
  }
  const std::uintptr_t Id = NewRequest(Window, Msg, Buffer, Length);
  in_addr Numeric;
  if (::inet_aton(Name, &Numeric)) {
    Answer A;
    A.Name = Name;
    A.Addresses.push_back(Numeric.s_addr);
    Complete(Id, 0, A);
  } else if (!StartWorker(Id, [Id, Text = std::string(Name)] {
               Answer A;
               const int Error = LookUpName(Text, A);
               Complete(Id, Error, A);
             })) {
    return nullptr;
  }
  return reinterpret_cast<AsyncHandle>(Id);
}

AsyncHandle DRAVIN_WSAAPI Emu_WSAAsyncGetHostByAddr(WindowHandle Window, unsigned Msg, const char* Addr, int Length,
                                                 int Type, char* Buffer, int BufferLength) {
  if (!Started()) return nullptr;
  if (!Addr || Length != 4 || Type != AfInet || !Buffer || BufferLength <= 0) {
    gError = !Addr || !Buffer ? WsaEFault : WsaEInval;
    return nullptr;
  }
  std::uint32_t Address;
  std::memcpy(&Address, Addr, 4);
  const std::uintptr_t Id = NewRequest(Window, Msg, Buffer, BufferLength);
  if (!StartWorker(Id, [Id, Address] {
        Answer A;
        const int Error = LookUpAddress(Address, A);
        Complete(Id, Error, A);
      }))
    return nullptr;
  return reinterpret_cast<AsyncHandle>(Id);
}

int DRAVIN_WSAAPI Emu_WSAAsyncSelect(Socket S, WindowHandle Window, unsigned Msg, std::int32_t Events) {
  if (!Started()) return SocketError;
  SockRec* R = Find(S);
  if (!R) return Fail(WsaENotSock);
  if (Events != 0 && !IsWindow(Window)) return Fail(WsaEInval);
  const int Flags = ::fcntl(Fd(S), F_GETFL);
  if (Flags < 0 || ::fcntl(Fd(S), F_SETFL, Flags | O_NONBLOCK) != 0) return FailErrno();
  const bool WasWatched = R->Mask != 0;
  R->Window = Window;
  R->Msg = Msg;
  R->Mask = Events;
  if (Events == 0) {
    if (WasWatched) posix::UnwatchFd(Fd(S));
    return 0;
  }
  // A new request reports again what holds now: waiting data, a waiting
  // connection, a connected socket's room to write, and a connection still
  // closed (the poll finds its end again).
  R->ReadEnabled = true;
  R->AcceptEnabled = true;
  if (R->Established) R->CloseReported = false;
  if (!R->Connecting && !R->Listening && IsConnected(Fd(S))) {
    R->Established = true;
    Post(*R, S, FdWrite, 0);
  }
  posix::WatchFd(Fd(S), Wanted(*R), OnReady);
  return 0;
}

// The re-entrant database lookups (getservbyname_r and its kind) fill a
// record whose texts and alias list lie in a work area of no size known in
// advance: it grows until the answer fits. Record and area are the thread's
// own and kept until its next lookup of the same kind, as Winsock keeps its
// answer, since what the caller gets back points into them. Null, with the
// thread's error set, when nothing was found.
template <typename Entry, typename Lookup>
const Entry* LookUpEntry(Lookup Call) {
  thread_local Entry Kept;
  thread_local std::vector<char> Work(1024);
  Entry* Found = nullptr;
  int R;
  while ((R = Call(&Kept, Work.data(), Work.size(), &Found)) == ERANGE) Work.resize(Work.size() * 2);
  if (R != 0 || !Found) {
    gError = WsaNoData;
    return nullptr;
  }
  return Found;
}

ServEnt* DRAVIN_WSAAPI Emu_getservbyname(const char* Name, const char* Proto) {
  if (!Started()) return nullptr;
  const servent* E = LookUpEntry<servent>([&](servent* Into, char* Area, std::size_t Size, servent** Found) {
    return ::getservbyname_r(Name ? Name : "", Proto, Into, Area, Size, Found);
  });
  if (!E) return nullptr;
  thread_local ServEnt Result;
  Result = ServEnt{E->s_name, E->s_aliases, E->s_proto, static_cast<std::int16_t>(E->s_port)};
  return &Result;
}

ProtoEnt* DRAVIN_WSAAPI Emu_getprotobyname(const char* Name) {
  if (!Started()) return nullptr;
  const protoent* E = LookUpEntry<protoent>([&](protoent* Into, char* Area, std::size_t Size, protoent** Found) {
    return ::getprotobyname_r(Name ? Name : "", Into, Area, Size, Found);
  });
  if (!E) return nullptr;
  thread_local ProtoEnt Result;
  Result = ProtoEnt{E->p_name, E->p_aliases, static_cast<std::int16_t>(E->p_proto)};
  return &Result;
}

HostEnt* DRAVIN_WSAAPI Emu_gethostbyname(const char* Name) {
  if (!Started()) return nullptr;
  alignas(HostEnt) thread_local char Buffer[4096];
  Answer A;
  int Error = Name ? LookUpName(Name, A) : WsaEFault;
  if (Error == 0 && !Pack(A, Buffer, sizeof Buffer)) Error = 10055;
  if (Error != 0) {
    gError = Error;
    return nullptr;
  }
  return reinterpret_cast<HostEnt*>(Buffer);
}

Socket DRAVIN_WSAAPI Emu_socket(int Family, int Type, int Protocol) {
  if (!Started()) return InvalidSocket;
  const int Descriptor = ::socket(Family, Type | SOCK_CLOEXEC, Protocol);
  if (Descriptor < 0) {
    FailErrno();
    return InvalidSocket;
  }
  return Adopt(Descriptor, Type == SOCK_STREAM, false);
}

int DRAVIN_WSAAPI Emu_bind(Socket S, const SockAddr* Addr, int Length) {
  if (!Started()) return SocketError;
  if (!Find(S)) return Fail(WsaENotSock);
  if (::bind(Fd(S), reinterpret_cast<const sockaddr*>(Addr), static_cast<socklen_t>(Length)) != 0) return FailErrno();
  return 0;
}

int DRAVIN_WSAAPI Emu_connect(Socket S, const SockAddr* Addr, int Length) {
  if (!Started()) return SocketError;
  SockRec* R = Find(S);
  if (!R) return Fail(WsaENotSock);
  const int Result = ::connect(Fd(S), reinterpret_cast<const sockaddr*>(Addr), static_cast<socklen_t>(Length));
  const int Error = Result == 0 ? 0 : errno;
  if (R->Mask == 0) return Result == 0 ? 0 : Fail(WsaFromErrno(Error));
  // Winsock reports the outcome of a non-blocking connect only through
  // FD_CONNECT, a refusal included.
  switch (Error) {
    case 0:
    case EINPROGRESS:
      R->Connecting = true;
      Rewatch(*R, S);
      return Result == 0 ? 0 : Fail(WsaEWouldBlock);
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
      Post(*R, S, FdConnect, WsaFromErrno(Error));
      posix::UnwatchFd(Fd(S));
      return Fail(WsaEWouldBlock);
    default:
      // A connect that failed at once leaves nothing to watch.
      posix::UnwatchFd(Fd(S));
      return Fail(WsaFromErrno(Error));
  }
}

int DRAVIN_WSAAPI Emu_listen(Socket S, int Backlog) {
  if (!Started()) return SocketError;
  SockRec* R = Find(S);
  if (!R) return Fail(WsaENotSock);
  if (::listen(Fd(S), Backlog) != 0) return FailErrno();
  R->Listening = true;
  Rewatch(*R, S);
  return 0;
}

Socket DRAVIN_WSAAPI Emu_accept(Socket S, SockAddr* Addr, int* Length) {
  if (!Started()) return InvalidSocket;
  SockRec* R = Find(S);
  if (!R) {
    gError = WsaENotSock;
    return InvalidSocket;
  }
  socklen_t Size = Length ? static_cast<socklen_t>(*Length) : 0;
  const int Descriptor =
      ::accept4(Fd(S), reinterpret_cast<sockaddr*>(Addr), Length ? &Size : nullptr, SOCK_CLOEXEC);
  const int Error = errno;
  if (R->Mask) {
    R->AcceptEnabled = true;
    Rewatch(*R, S);
  }
  if (Descriptor < 0) {
    Fail(WsaFromErrno(Error));
    return InvalidSocket;
  }
  if (Length) *Length = static_cast<int>(Size);
  const Socket New = Adopt(Descriptor, true, true);
  // The accepted socket has the listening socket's properties, its
  // notifications included.
  if (New != InvalidSocket && R->Mask) Emu_WSAAsyncSelect(New, R->Window, R->Msg, R->Mask);
  return New;
}

int DRAVIN_WSAAPI Emu_shutdown(Socket S, int How) {
  if (!Started()) return SocketError;
  SockRec* R = Find(S);
  if (!R) return Fail(WsaENotSock);
  if (How < SdReceive || How > SdBoth) return Fail(WsaEInval);
  if (::shutdown(Fd(S), How == SdReceive ? SHUT_RD : How == SdSend ? SHUT_WR : SHUT_RDWR) != 0) return FailErrno();
  if (How != SdReceive) R->SendShut = true;
  return 0;
}

int DRAVIN_WSAAPI Emu_closesocket(Socket S) {
  if (!Started()) return SocketError;
  SockRec* R = Find(S);
  if (!R) return Fail(WsaENotSock);
  if (R->Mask) posix::UnwatchFd(Fd(S));
  R->Reset();
  R->Open.store(false, std::memory_order_release);
  ::close(Fd(S));
  return 0;
}

int SendResult(SockRec& R, Socket S, ssize_t N) {
  const int E = errno;
  if (N >= 0) return static_cast<int>(N);
  if (E == EAGAIN || E == EWOULDBLOCK) {
    if (R.Mask && !R.WriteWanted) {
      R.WriteWanted = true;
      Rewatch(R, S);
    }
    return Fail(WsaEWouldBlock);
  }
  // Linux says EPIPE both after our own shutdown and after the peer's reset.
  if (E == EPIPE) return Fail(R.SendShut ? WsaEShutdown : WsaEConnReset);
  return Fail(WsaFromErrno(E));
}

int DRAVIN_WSAAPI Emu_send(Socket S, const char* Data, int Length, int Flags) {
  SockRec* R = Find(S);
  if (!R) return Started() ? Fail(WsaENotSock) : SocketError;
  const int Native = (Flags & MsgOob ? MSG_OOB : 0) | MSG_NOSIGNAL;
  return SendResult(*R, S, ::send(Fd(S), Data, static_cast<std::size_t>(Length < 0 ? 0 : Length), Native));
}

int DRAVIN_WSAAPI Emu_sendto(Socket S, const char* Data, int Length, int Flags, const SockAddr* To, int ToLength) {
  SockRec* R = Find(S);
  if (!R) return Started() ? Fail(WsaENotSock) : SocketError;
  const int Native = (Flags & MsgOob ? MSG_OOB : 0) | MSG_NOSIGNAL;
  return SendResult(*R, S,
                    ::sendto(Fd(S), Data, static_cast<std::size_t>(Length < 0 ? 0 : Length), Native,
                             reinterpret_cast<const sockaddr*>(To), static_cast<socklen_t>(ToLength)));
}

int RecvResult(SockRec& R, Socket S, ssize_t N) {
  const int E = errno;
  // Every receive lets FD_READ be reported again.
  if (R.Mask && !R.ReadEnabled) {
    R.ReadEnabled = true;
    Rewatch(R, S);
  }
  return N >= 0 ? static_cast<int>(N) : Fail(WsaFromErrno(E));
}

int NativeRecvFlags(int Flags) { return (Flags & MsgOob ? MSG_OOB : 0) | (Flags & MsgPeek ? MSG_PEEK : 0); }

int DRAVIN_WSAAPI Emu_recv(Socket S, char* Buffer, int Length, int Flags) {
  SockRec* R = Find(S);
  if (!R) return Started() ? Fail(WsaENotSock) : SocketError;
  return RecvResult(*R, S, ::recv(Fd(S), Buffer, static_cast<std::size_t>(Length < 0 ? 0 : Length), NativeRecvFlags(Flags)));
}

int DRAVIN_WSAAPI Emu_recvfrom(Socket S, char* Buffer, int Length, int Flags, SockAddr* From, int* FromLength) {
  SockRec* R = Find(S);
  if (!R) return Started() ? Fail(WsaENotSock) : SocketError;
  socklen_t Size = FromLength ? static_cast<socklen_t>(*FromLength) : 0;
  const ssize_t N = ::recvfrom(Fd(S), Buffer, static_cast<std::size_t>(Length < 0 ? 0 : Length), NativeRecvFlags(Flags),
                               reinterpret_cast<sockaddr*>(From), FromLength ? &Size : nullptr);
  if (N >= 0 && FromLength) *FromLength = static_cast<int>(Size);
  return RecvResult(*R, S, N);
}

int DRAVIN_WSAAPI Emu_setsockopt(Socket S, int Level, int Name, const char* Value, int Length) {
  if (!Started()) return SocketError;
  if (!Find(S)) return Fail(WsaENotSock);
  if (!Value && Length > 0) return Fail(WsaEFault);
  int NativeLevel = -1, NativeName = -1;
  if (Level == SolSocket) {
    NativeLevel = SOL_SOCKET;
    switch (Name) {
      case SoReuseAddr: NativeName = SO_REUSEADDR; break;
      case SoKeepAlive: NativeName = SO_KEEPALIVE; break;
      case SoBroadcast: NativeName = SO_BROADCAST; break;
      case SoSndBuf: NativeName = SO_SNDBUF; break;
      case SoRcvBuf: NativeName = SO_RCVBUF; break;
      case SoLinger: {
        if (Length < static_cast<int>(sizeof(Linger))) return Fail(WsaEFault);
        Linger L;
        std::memcpy(&L, Value, sizeof L);
        const linger Native{L.l_onoff ? 1 : 0, L.l_linger};
        return ::setsockopt(Fd(S), SOL_SOCKET, SO_LINGER, &Native, sizeof Native) == 0 ? 0 : FailErrno();
      }
    }
  } else if (Level == IpProtoTcp && Name == TcpNoDelay) {
    NativeLevel = IPPROTO_TCP;
    NativeName = TCP_NODELAY;
  } else if (Level == IpProtoIp) {
    NativeLevel = IPPROTO_IP;
    switch (Name) {
      case IpMulticastIf: NativeName = IP_MULTICAST_IF; break;
      case IpMulticastTtl: NativeName = IP_MULTICAST_TTL; break;
      case IpAddMembership: NativeName = IP_ADD_MEMBERSHIP; break;
    }
  }
  if (NativeName < 0) return Fail(10042);  // WSAENOPROTOOPT
  // Winsock takes a Boolean or a number as 1 to 4 bytes.
  if (NativeName != IP_ADD_MEMBERSHIP && NativeName != IP_MULTICAST_IF && Length < static_cast<int>(sizeof(int))) {
    int Number = 0;
    std::memcpy(&Number, Value, static_cast<std::size_t>(Length < 0 ? 0 : Length));
    return ::setsockopt(Fd(S), NativeLevel, NativeName, &Number, sizeof Number) == 0 ? 0 : FailErrno();
  }
  return ::setsockopt(Fd(S), NativeLevel, NativeName, Value, static_cast<socklen_t>(Length)) == 0 ? 0 : FailErrno();
}

int DRAVIN_WSAAPI Emu_ioctlsocket(Socket S, std::int32_t Command, std::uint32_t* Argument) {
  if (!Started()) return SocketError;
  if (!Find(S)) return Fail(WsaENotSock);
  if (!Argument) return Fail(WsaEFault);
  if (Command == FionRead) {
    int Pending = 0;
    if (::ioctl(Fd(S), FIONREAD, &Pending) != 0) return FailErrno();
    *Argument = static_cast<std::uint32_t>(Pending);
    return 0;
  }
  if (Command == FionBio) {
    const int Flags = ::fcntl(Fd(S), F_GETFL);
    if (Flags < 0) return FailErrno();
    const int New = *Argument ? Flags | O_NONBLOCK : Flags & ~O_NONBLOCK;
    return ::fcntl(Fd(S), F_SETFL, New) == 0 ? 0 : FailErrno();
  }
  return Fail(WsaEInval);
}

using NativeNameQuery = int (*)(int, sockaddr*, socklen_t*);

int NameOf(NativeNameQuery Query, Socket S, SockAddr* Addr, int* Length) {
  if (!Started()) return SocketError;
  if (!Find(S)) return Fail(WsaENotSock);
  if (!Addr || !Length) return Fail(WsaEFault);
  socklen_t Size = static_cast<socklen_t>(*Length);
  if (Query(Fd(S), reinterpret_cast<sockaddr*>(Addr), &Size) != 0) return FailErrno();
  *Length = static_cast<int>(Size);
  return 0;
}

int DRAVIN_WSAAPI Emu_getsockname(Socket S, SockAddr* Addr, int* Length) { return NameOf(::getsockname, S, Addr, Length); }
int DRAVIN_WSAAPI Emu_getpeername(Socket S, SockAddr* Addr, int* Length) { return NameOf(::getpeername, S, Addr, Length); }

std::uint16_t DRAVIN_WSAAPI Emu_htons(std::uint16_t Value) { return htons(Value); }
std::uint16_t DRAVIN_WSAAPI Emu_ntohs(std::uint16_t Value) { return ntohs(Value); }
std::uint32_t DRAVIN_WSAAPI Emu_inet_addr(const char* Text) { return Text ? ::inet_addr(Text) : InAddrNone; }

char* DRAVIN_WSAAPI Emu_inet_ntoa(InAddr Addr) {
  thread_local char Text[16];
  const auto* B = reinterpret_cast<const unsigned char*>(&Addr.S_addr);
  std::snprintf(Text, sizeof Text, "%u.%u.%u.%u", B[0], B[1], B[2], B[3]);
  return Text;
}

struct Export {
  const char* Name;
  void* Entry;
};

// The cast to the pointer type of the list checks each signature.
#define DRAVIN_SOCKET_EXPORT(Result, Name, Parameters, Arguments) \
  {#Name, reinterpret_cast<void*>(static_cast<Fn##Name>(&Emu_##Name))},
const Export gExports[] = {DRAVIN_SOCKET_FUNCTIONS(DRAVIN_SOCKET_EXPORT)};
#undef DRAVIN_SOCKET_EXPORT

}  // namespace
}  // namespace plat::sock

int plat::posix::WsaFromErrno(int Errno) { return sock::WsaFromErrno(Errno); }

void* plat::posix::SocketLibraryEntry(const char* Name) {
  // Export names are case-sensitive, as GetProcAddress's are.
  for (const sock::Export& E : sock::gExports)
    if (std::strcmp(E.Name, Name) == 0) return E.Entry;
  return nullptr;
}

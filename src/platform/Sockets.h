// The Windows Sockets 1.1 interface as the socket layer sees it: the records,
// the numbers and the signatures of the 30 functions it binds by name from
// "wsock32.dll" (see Module.h). The records have the layout of the Win64
// ones, so that the Windows build hands them to the system as they are; the
// host build's emulation fills the very same records.
//
// Everything here is Winsock's, also in the host build: option and flag
// numbers, error numbers (10000 + the classic BSD number, 11001-11004 for
// name lookup), and the window messages of WSAAsyncSelect and of the
// asynchronous lookups.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

#if defined(_WIN32) && defined(__i386__)
#define DRAVIN_WSAAPI __stdcall
#else
#define DRAVIN_WSAAPI
#endif

namespace plat::sock {

using Socket = std::uintptr_t;  // SOCKET
constexpr Socket InvalidSocket = ~Socket(0);
constexpr int SocketError = -1;  // SOCKET_ERROR
using AsyncHandle = void*;       // the HANDLE of an asynchronous request, nullptr when none

struct InAddr {
  std::uint32_t S_addr;  // network order
};

struct SockAddr {
  std::uint16_t sa_family;
  char sa_data[14];
};

// 16 bytes: family, port and address in network order, 8 zero bytes.
struct SockAddrIn {
  std::uint16_t sin_family;
  std::uint16_t sin_port;
  InAddr sin_addr;
  char sin_zero[8];
};
static_assert(sizeof(SockAddrIn) == 16);

struct HostEnt {
  char* h_name;
  char** h_aliases;
  std::int16_t h_addrtype;
  std::int16_t h_length;
  char** h_addr_list;
};

// The Win64 order: the protocol before the port.
struct ServEnt {
  char* s_name;
  char** s_aliases;
  char* s_proto;
  std::int16_t s_port;  // network order
};

struct ProtoEnt {
  char* p_name;
  char** p_aliases;
  std::int16_t p_proto;
};

// Both fields are 16 bits in Winsock.
struct Linger {
  std::uint16_t l_onoff;
  std::uint16_t l_linger;
};

// Filled by WSAStartup and never read; larger than the system's record.
struct WSAData {
  std::uint16_t wVersion;
  std::uint16_t wHighVersion;
  unsigned char Rest[508];
};

// Families, types, protocols.
constexpr int AfInet = 2;
constexpr int SockStream = 1;
constexpr int SockDgram = 2;
constexpr int SockRaw = 3;
constexpr int IpProtoIp = 0;
constexpr int IpProtoTcp = 6;
constexpr int IpProtoUdp = 17;
constexpr std::uint32_t InAddrAny = 0;
constexpr std::uint32_t InAddrNone = 0xFFFFFFFF;

// Options (Winsock 1.1 numbers).
constexpr int SolSocket = 0xFFFF;
constexpr int SoReuseAddr = 0x0004;
constexpr int SoKeepAlive = 0x0008;
constexpr int SoBroadcast = 0x0020;
constexpr int SoLinger = 0x0080;
constexpr int SoSndBuf = 0x1001;
constexpr int SoRcvBuf = 0x1002;
constexpr int SoError = 0x1007;
constexpr int TcpNoDelay = 0x0001;
constexpr int IpMulticastIf = 2;
constexpr int IpMulticastTtl = 3;
constexpr int IpAddMembership = 5;

constexpr std::int32_t FionRead = 0x4004667F;
constexpr std::int32_t FionBio = static_cast<std::int32_t>(0x8004667E);

constexpr int MsgOob = 0x1;
constexpr int MsgPeek = 0x2;

constexpr int SdReceive = 0;
constexpr int SdSend = 1;
constexpr int SdBoth = 2;

// WSAAsyncSelect event bits, in the low word of the message's lParam; the
// error is in the high word (also for the lookup answers).
constexpr std::int32_t FdRead = 0x01;
constexpr std::int32_t FdWrite = 0x02;
constexpr std::int32_t FdOob = 0x04;
constexpr std::int32_t FdAccept = 0x08;
constexpr std::int32_t FdConnect = 0x10;
constexpr std::int32_t FdClose = 0x20;

inline std::uint16_t SelectEvent(LParam L) { return static_cast<std::uint16_t>(static_cast<std::uint32_t>(L) & 0xFFFF); }
inline std::uint16_t SelectError(LParam L) { return static_cast<std::uint16_t>(static_cast<std::uint32_t>(L) >> 16); }
inline LParam MakeSelectReply(std::uint32_t Event, std::uint32_t Error) {
  return static_cast<LParam>((Error << 16) | (Event & 0xFFFF));
}

// The size the asynchronous lookups may fill (MAXGETHOSTSTRUCT).
constexpr int MaxGetHostStruct = 1024;

// Error numbers.
constexpr int WsaEIntr = 10004;
constexpr int WsaEBadF = 10009;
constexpr int WsaEAcces = 10013;
constexpr int WsaEFault = 10014;
constexpr int WsaEInval = 10022;
constexpr int WsaEMFile = 10024;
constexpr int WsaEWouldBlock = 10035;
constexpr int WsaEInProgress = 10036;
constexpr int WsaEAlready = 10037;
constexpr int WsaENotSock = 10038;
constexpr int WsaEConnAborted = 10053;
constexpr int WsaEConnReset = 10054;
constexpr int WsaENotConn = 10057;
constexpr int WsaEShutdown = 10058;
constexpr int WsaEConnRefused = 10061;
constexpr int WsaNotInitialised = 10093;
constexpr int WsaSysCallFailure = 10107;  // a failure with no number of its own
constexpr int WsaHostNotFound = 11001;
constexpr int WsaTryAgain = 11002;
constexpr int WsaNoRecovery = 11003;
constexpr int WsaNoData = 11004;

// The 30 entry points of wsock32.dll, in one list: X(result, name,
// (parameters), (arguments)). Everything that spells them (the pointer types
// below, the binding's wrappers and its table of remembered entries, the host
// build's table of exports) expands this list. "long" is 32 bits there, so it
// is std::int32_t here.
#define DRAVIN_SOCKET_FUNCTIONS(X)                                                                              \
  X(int, WSAStartup, (std::uint16_t Version, WSAData* Data), (Version, Data))                                  \
  X(int, WSACleanup, (), ())                                                                                   \
  X(void, WSASetLastError, (int Error), (Error))                                                               \
  X(int, WSAGetLastError, (), ())                                                                              \
  X(int, WSACancelAsyncRequest, (AsyncHandle Request), (Request))                                              \
  X(AsyncHandle, WSAAsyncGetHostByName,                                                                        \
    (plat::WindowHandle Window, unsigned Msg, const char* Name, char* Buffer, int BufferLength),               \
    (Window, Msg, Name, Buffer, BufferLength))                                                                 \
  X(AsyncHandle, WSAAsyncGetHostByAddr,                                                                        \
    (plat::WindowHandle Window, unsigned Msg, const char* Addr, int Length, int Type, char* Buffer,            \
     int BufferLength),                                                                                        \
    (Window, Msg, Addr, Length, Type, Buffer, BufferLength))                                                   \
  X(int, WSAAsyncSelect, (Socket S, plat::WindowHandle Window, unsigned Msg, std::int32_t Events),             \
    (S, Window, Msg, Events))                                                                                  \
  X(ServEnt*, getservbyname, (const char* Name, const char* Proto), (Name, Proto))                             \
  X(ProtoEnt*, getprotobyname, (const char* Name), (Name))                                                     \
  X(HostEnt*, gethostbyname, (const char* Name), (Name))                                                       \
  X(Socket, socket, (int Family, int Type, int Protocol), (Family, Type, Protocol))                            \
  X(int, bind, (Socket S, const SockAddr* Addr, int Length), (S, Addr, Length))                                \
  X(int, connect, (Socket S, const SockAddr* Addr, int Length), (S, Addr, Length))                             \
  X(int, listen, (Socket S, int Backlog), (S, Backlog))                                                        \
  X(Socket, accept, (Socket S, SockAddr* Addr, int* Length), (S, Addr, Length))                                \
  X(int, shutdown, (Socket S, int How), (S, How))                                                              \
  X(int, closesocket, (Socket S), (S))                                                                         \
  X(int, send, (Socket S, const char* Data, int Length, int Flags), (S, Data, Length, Flags))                  \
  X(int, sendto, (Socket S, const char* Data, int Length, int Flags, const SockAddr* To, int ToLength),        \
    (S, Data, Length, Flags, To, ToLength))                                                                    \
  X(int, recv, (Socket S, char* Buffer, int Length, int Flags), (S, Buffer, Length, Flags))                    \
  X(int, recvfrom, (Socket S, char* Buffer, int Length, int Flags, SockAddr* From, int* FromLength),           \
    (S, Buffer, Length, Flags, From, FromLength))                                                              \
  X(int, setsockopt, (Socket S, int Level, int Name, const char* Value, int Length), (S, Level, Name, Value, Length)) \
  X(int, ioctlsocket, (Socket S, std::int32_t Command, std::uint32_t* Argument), (S, Command, Argument))       \
  X(int, getsockname, (Socket S, SockAddr* Addr, int* Length), (S, Addr, Length))                              \
  X(int, getpeername, (Socket S, SockAddr* Addr, int* Length), (S, Addr, Length))                              \
  X(std::uint16_t, htons, (std::uint16_t Value), (Value))                                                      \
  X(std::uint16_t, ntohs, (std::uint16_t Value), (Value))                                                      \
  X(std::uint32_t, inet_addr, (const char* Text), (Text))                                                      \
  X(char*, inet_ntoa, (InAddr Addr), (Addr))

// Fnsocket, FnWSAStartup, ...: the pointer type of each entry point.
#define DRAVIN_SOCKET_POINTER_TYPE(Result, Name, Parameters, Arguments) \
  using Fn##Name = Result(DRAVIN_WSAAPI*) Parameters;
DRAVIN_SOCKET_FUNCTIONS(DRAVIN_SOCKET_POINTER_TYPE)
#undef DRAVIN_SOCKET_POINTER_TYPE

// The file name of the library on both sides.
constexpr const char* LibraryFileName = "wsock32.dll";

}  // namespace plat::sock

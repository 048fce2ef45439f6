// The binding of the socket library and the free routines of the socket layer.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <cerrno>

#include "platform/posix/Internal.h"
#include "platform/posix/Loop.h"
#endif

#include "NetTestSupport.h"
#include "net/SocketBinding.h"

using nettest::ErrorOf;

TEST(SocketBinding, ErrorTexts) {
  const struct {
    int Code;
    const char* Text;
  } Cases[] = {
      {0, "No Error"},
      {10004, "Interrupted system call"},
      {10035, "Operation would block"},
      {10047, "Address family not supported by protocol family"},
      {10054, "Connection reset by peer"},
      {10058, "Can't send after socket shutdown"},
      {10059, "Too many references: can't splice"},
      {10061, "Connection refused"},
      {10093, "WinSock not initialized"},
      {11001, "Host not found"},
      {11004, "No Data"},
      {12345, "Not a WinSock error"},
      {10000, "Not a WinSock error"},
      {-1, "Not a WinSock error"},
  };
  for (const auto& C : Cases) EXPECT_EQ(SocketErrorText(C.Code), C.Text) << C.Code;
}

TEST(SocketBinding, DottedQuadsAndLeadingNumbers) {
  const struct {
    const char* Text;
    bool Dotted;
  } Cases[] = {
      {"127.0.0.1", true},      {"255.255.255.255", true}, {"  10.0.0.1  ", true}, {"0.0.0.0", true},
      {"256.1.1.1", false},     {"1.2.3", false},          {"1.2.3.4.", false},    {"1.2.3.4.5", false},
      {".1.2.3", false},        {"1..2.3", false},         {"1.2.3.256", false},   {"1.2.3.4 x", false},
      {"1.2.3.4x", false},      {"a.b.c.d", false},        {"", false},            {"   ", false},
      {"99999999999.1.1.1", false}, {"1.2.3.04", true},
  };
  for (const auto& C : Cases) EXPECT_EQ(IsDottedQuad(C.Text), C.Dotted) << '"' << C.Text << '"';

  EXPECT_EQ(ParseLeadingNumber("8080abc"), 8080);
  EXPECT_EQ(ParseLeadingNumber("   42 7"), 42);
  EXPECT_EQ(ParseLeadingNumber("-5"), 0);
  EXPECT_EQ(ParseLeadingNumber(""), 0);
  EXPECT_EQ(ParseLeadingNumber("4294967297"), 1);  // no range check: wraps at 32 bits
}

TEST(SocketBinding, ResolvesHostsPortsAndProtocols) {
  EXPECT_EQ(WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(DottedAddress(WSocketResolveHost(" 10.0.0.1 ")), "10.0.0.1");
  EXPECT_EQ(DottedAddress(WSocketResolveHost("localhost")), "127.0.0.1");
  EXPECT_EQ(ErrorOf([] { WSocketResolveHost(""); }), "WSocketResolveHost: '' Invalid Hostname.");
  const std::string Long(257, 'a');
  EXPECT_EQ(ErrorOf([&] { WSocketResolveHost(Long); }), "WSocketResolveHost: '" + Long + "' Invalid Hostname.");
  // 256 characters pass the length test and go to the name lookup.
  const std::string Limit(256, 'a');
  EXPECT_EQ(ErrorOf([&] { WSocketResolveHost(Limit); }).rfind("WSocketResolveHost: Cannot convert host address '" + Limit + "', Error #", 0), 0u);
  EXPECT_EQ(ErrorOf([] { WSocketResolveHost("no-such-host.invalid"); }),
            "WSocketResolveHost: Cannot convert host address 'no-such-host.invalid', Error #11001");

  EXPECT_EQ(WSocketResolvePort("8080abc", "tcp"), 8080);
  EXPECT_EQ(WSocketResolvePort("70000", "tcp"), 4464);
  EXPECT_EQ(WSocketResolvePort("http", "tcp"), 80);
  EXPECT_EQ(WSocketResolvePort(" http ", " tcp "), 80);
  EXPECT_EQ(WSocketResolvePort(std::string(29, '0') + "80", "tcp"), 80);  // 31 characters
  EXPECT_EQ(ErrorOf([] { WSocketResolvePort(std::string(30, '0') + "80", "tcp"); }), "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(ErrorOf([] { WSocketResolvePort("", "tcp"); }), "WSocketResolvePort: Invalid Port.");
  // The protocol text is tested before the port's first character.
  EXPECT_EQ(ErrorOf([] { WSocketResolvePort("80", ""); }), "WSocketResolvePort: Invalid Proto.");
  EXPECT_EQ(ErrorOf([] { WSocketResolvePort("no-such-service", "tcp"); }).rfind(
                "WSocketResolvePort: Cannot convert port 'no-such-service', Error #", 0),
            0u);

  EXPECT_EQ(WSocketResolveProto("tcp"), 6);
  EXPECT_EQ(WSocketResolveProto(" udp"), 17);
  EXPECT_EQ(WSocketResolveProto("17x"), 17);
  EXPECT_EQ(ErrorOf([] { WSocketResolveProto(""); }), "WSocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(ErrorOf([] { WSocketResolveProto(std::string(32, 't')); }), "WSocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(ErrorOf([] { WSocketResolveProto("nosuchproto"); }).rfind(
                "WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #", 0),
            0u);
}

TEST(SocketBinding, EntryPointsAreLookedUpByName) {
  EXPECT_EQ(LoadSocketFunction(""), nullptr);
  EXPECT_TRUE(SocketLibraryLoaded());
  EXPECT_NE(LoadSocketFunction("WSAAsyncSelect"), nullptr);
  EXPECT_EQ(ErrorOf([] { LoadSocketFunction("NoSuchExport"); }),
            "Procedure NoSuchExport not found in wsock32.dll Error #127");
}

TEST(SocketBinding, TheLastSocketUnloadsTheLibraryAndTheNextLoadsItAgain) {
  ASSERT_EQ(LiveSocketCount.load(), 0) << "a socket of another test is still alive";
  UnloadSocketLibrary();
  ASSERT_FALSE(SocketLibraryLoaded());
  for (int Round = 0; Round < 2; ++Round) {
    auto* A = new TWSocket(nullptr);
    auto* B = new TWSocket(nullptr);
    EXPECT_EQ(LiveSocketCount.load(), 2);
    // Creating a socket object binds nothing; its first socket call does.
    EXPECT_FALSE(SocketLibraryLoaded());
    std::uint16_t Done = 0xFFFF;
    A->OnDnsLookupDone = [&](TObject*, std::uint16_t E) { Done = E; };
    A->DnsLookup("127.0.0.1");
    EXPECT_EQ(Done, 0);
    EXPECT_EQ(A->DnsResult(), "127.0.0.1");
    EXPECT_TRUE(SocketLibraryLoaded());
    delete A;
    EXPECT_TRUE(SocketLibraryLoaded());
    EXPECT_TRUE(plat::IsWindowClassRegistered(SocketWindowClass));
    delete B;
    EXPECT_EQ(LiveSocketCount.load(), 0);
    EXPECT_FALSE(SocketLibraryLoaded());
    EXPECT_FALSE(plat::IsWindowClassRegistered(SocketWindowClass));
  }
}

// Rules of the socket library that the layers above depend on, checked
// against the system's library in the Windows build and against the host
// build's own.
TEST(SocketLibrary, AConnectThatFailsAtOnceLeavesNothingToReport) {
  using namespace plat::sock;
  TWSocket Holder(nullptr);  // keeps the library
  std::vector<std::uint32_t> Seen;
  const plat::WindowHandle Window = AllocateHWnd([&](TMessage& M) { Seen.push_back(M.Msg); });
  const Socket S = wsock::socket(AfInet, SockStream, IpProtoTcp);
  ASSERT_NE(S, InvalidSocket);
  ASSERT_EQ(wsock::WSAAsyncSelect(S, Window, WM_SOCKET_EVENT, FdRead | FdWrite | FdConnect | FdClose), 0);
  SockAddrIn To{};
  To.sin_family = 99;  // no such family
  To.sin_port = wsock::htons(80);
  To.sin_addr.S_addr = wsock::inet_addr("127.0.0.1");
  EXPECT_EQ(wsock::connect(S, reinterpret_cast<const SockAddr*>(&To), sizeof To), SocketError);
  EXPECT_NE(wsock::WSAGetLastError(), WsaEWouldBlock);  // 10047 here, 10049 under Wine
  nettest::Sentinel Queue;
  ASSERT_TRUE(Queue.PumpThroughQueue());
  EXPECT_EQ(Seen, std::vector<std::uint32_t>{});
#ifndef _WIN32
  EXPECT_EQ(plat::posix::WatchCount(), 0u);
#endif
  wsock::closesocket(S);
  DeallocateHWnd(Window);
}

#ifndef _WIN32
TEST(SocketLibrary, ASocketClosedByAnotherThreadLeavesNoWatchBehind) {
  using namespace plat::sock;
  TWSocket Holder(nullptr);
  const plat::WindowHandle Window = AllocateHWnd([](TMessage&) {});
  const Socket S = wsock::socket(AfInet, SockStream, IpProtoTcp);
  ASSERT_EQ(wsock::WSAAsyncSelect(S, Window, WM_SOCKET_EVENT, FdRead | FdClose), 0);
  EXPECT_EQ(plat::posix::WatchCount(), 1u);
  std::thread([S] { EXPECT_EQ(wsock::closesocket(S), 0); }).join();
  EXPECT_EQ(plat::posix::WatchCount(), 0u);
  DeallocateHWnd(Window);
}

TEST(SocketLibrary, EveryErrnoBecomesAWinsockNumber) {
  const struct {
    int Errno;
    int Wsa;
  } Cases[] = {
      {EAGAIN, 10035},      {EINPROGRESS, 10036}, {ECONNRESET, 10054}, {ENOTCONN, 10057}, {ECONNREFUSED, 10061},
      {EPIPE, 10058},       {EPROTO, 10053},      {ENOSR, 10055},      {ENONET, 10050},   {ETIME, 10060},
      {EBADF, 10038},       {EINVAL, 10022},      {EIO, 10107},        {ENOENT, 10107},   {0, 0},
  };
  for (const auto& C : Cases) EXPECT_EQ(plat::posix::WsaFromErrno(C.Errno), C.Wsa) << "errno " << C.Errno;
}
#endif

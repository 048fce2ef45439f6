// What the socket benchmarks share: a clock good enough for runs of seconds,
// failing loudly, pumping the thread's loop until a condition holds, and a
// connection over loopback, between two TWSockets of the loop or between two
// plain blocking sockets.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "framework/Application.h"
#include "net/WSocket.h"

namespace bench {

// <chrono> does not build with the Shift-JIS literals; milliseconds will do
// for runs of seconds.
inline double Seconds(std::uint64_t StartMs) { return static_cast<double>(plat::TickCount() - StartMs) / 1000.0; }

[[noreturn]] inline void Fail(const char* What) {
  std::fprintf(stderr, "benchmark: %s\n", What);
  std::exit(1);
}

inline void Pump(const std::function<bool()>& Done) {
  plat::Message M;
  while (!Done()) {
    if (!plat::GetMessage(M)) Fail("quit message");
    plat::DispatchMessage(M);
  }
}

// A connection over loopback between two TWSockets of this thread's loop:
// Near dials Far, which Listener accepted. Set modes and events on both ends,
// then Open; the destructor closes all three.
struct TWSocketPair {
  TWSocket Listener{nullptr}, Near{nullptr}, Far{nullptr};

  void Open() {
    Listener.SetAddr("127.0.0.1");
    Listener.SetPort("0");
    Listener.Listen();
    Listener.OnSessionAvailable = [this](TObject*, std::uint16_t) { Far.Dup(Listener.Accept()); };
    Near.OnSessionConnected = [](TObject*, std::uint16_t Error) {
      if (Error) Fail("connect failed");
    };
    Near.SetAddr("127.0.0.1");
    Near.SetPort(Listener.LocalPortNow());
    Near.Connect();
    Pump([this] { return Far.State() == wsConnected && Near.State() == wsConnected; });
    // Whatever the set-up left queued (the connection's first write
    // notification) is handled before anything is measured.
    plat::Message M;
    while (plat::PeekMessage(M, true)) plat::DispatchMessage(M);
  }
  ~TWSocketPair() {
    Near.Close();
    Far.Close();
    Listener.Close();
  }
};

// A blocking connection over loopback: Near connected to Far, which a
// listener accepted. Closes all three.
struct BlockingPair {
  plat::sock::Socket Listener, Near, Far;

  BlockingPair() {
    using namespace plat::sock;
    Listener = wsock::socket(AfInet, SockStream, IpProtoTcp);
    SockAddrIn Addr{};
    Addr.sin_family = AfInet;
    Addr.sin_addr.S_addr = wsock::inet_addr("127.0.0.1");
    if (wsock::bind(Listener, reinterpret_cast<SockAddr*>(&Addr), sizeof Addr) != 0 || wsock::listen(Listener, 1) != 0)
      Fail("listen failed");
    int Length = sizeof Addr;
    wsock::getsockname(Listener, reinterpret_cast<SockAddr*>(&Addr), &Length);
    Near = wsock::socket(AfInet, SockStream, IpProtoTcp);
    if (wsock::connect(Near, reinterpret_cast<SockAddr*>(&Addr), sizeof Addr) != 0) Fail("connect failed");
    Far = wsock::accept(Listener, nullptr, nullptr);
    if (Far == InvalidSocket) Fail("accept failed");
  }
  ~BlockingPair() {
    wsock::closesocket(Near);
    wsock::closesocket(Far);
    wsock::closesocket(Listener);
  }
  BlockingPair(const BlockingPair&) = delete;
  BlockingPair& operator=(const BlockingPair&) = delete;
};

}  // namespace bench

// Shared by the socket tests: the loopback peers of peer.py, pumping with a
// time limit, and a recorder of a socket's events.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "framework/Application.h"
#include "net/WSocket.h"

namespace nettest {

inline std::string PeerPort(const char* Variable) {
  const char* Value = std::getenv(Variable);
  return Value ? Value : "";
}
inline std::string CommandPort() { return PeerPort("DRAVIN_PEER_PORT"); }
inline std::string SlowPort() { return PeerPort("DRAVIN_PEER_SLOW_PORT"); }
inline std::string GreetPort() { return PeerPort("DRAVIN_PEER_GREET_PORT"); }
inline std::string ClosedPort() { return PeerPort("DRAVIN_PEER_CLOSED_PORT"); }

// Byte i of what the peers send is i % 251.
inline std::string Pattern(std::size_t N) {
  std::string S(N, '\0');
  for (std::size_t I = 0; I < N; ++I) S[I] = static_cast<char>(I % 251);
  return S;
}

using testsupport::PumpUntil;

// Waits, handling nothing, until a message Msg for Window is queued.
inline bool WaitUntilQueued(plat::WindowHandle Window, std::uint32_t Msg, int TimeoutMs = 10000) {
  const std::uint64_t Start = plat::TickCount();
  plat::Message M;
  while (plat::TickCount() - Start <= static_cast<std::uint64_t>(TimeoutMs)) {
    plat::PeekMessage(M, false);  // where the host build turns socket readiness into messages
    if (plat::PeekMessage(M, Window, Msg, Msg, false)) return true;
    plat::Sleep(1);
  }
  return false;
}

// Everything queued before it has been handled once a message posted now
// comes back.
class Sentinel {
 public:
  Sentinel() {
    FWindow = AllocateHWnd([this](TMessage& M) {
      if (M.Msg == plat::MsgUser + 77) ++FSeen;
    });
  }
  ~Sentinel() { DeallocateHWnd(FWindow); }
  bool PumpThroughQueue() {
    const int Want = FSeen + 1;
    plat::PostMessage(FWindow, plat::MsgUser + 77, 0, 0);
    return PumpUntil([&] { return FSeen >= Want; });
  }

 private:
  plat::WindowHandle FWindow = 0;
  int FSeen = 0;
};

inline const char* StateName(TSocketState S) {
  static const char* const Names[] = {"wsInvalidState", "wsOpened",    "wsBound",     "wsConnecting",
                                      "wsConnected",    "wsAccepting", "wsListening", "wsClosed"};
  return Names[S];
}

// The events of a socket as text, runs of DataAvailable folded into one.
// Hook runs after each event is recorded, inside the event, as a caller's
// handler.
struct EventLog {
  std::vector<std::string> Events;
  std::string Received;
  int ReadPerEvent = 65536;
  std::function<void(const std::string& Event)> Hook;

  void Add(const std::string& E) {
    if (E == "DataAvailable(0)" && !Events.empty() && Events.back() == E) return;
    Events.push_back(E);
    if (Hook) Hook(E);
  }

  // Records every event; data is read in pieces of ReadPerEvent bytes.
  void Attach(TCustomWSocket& S, bool ReadData = true) {
    S.OnChangeState = [this](TObject*, TSocketState O, TSocketState N) {
      Add(std::string("ChangeState(") + StateName(O) + "," + StateName(N) + ")");
    };
    S.OnSessionConnected = [this](TObject*, std::uint16_t E) { Add("SessionConnected(" + std::to_string(E) + ")"); };
    S.OnDataSent = [this](TObject*, std::uint16_t E) { Add("DataSent(" + std::to_string(E) + ")"); };
    S.OnSessionClosed = [this](TObject*, std::uint16_t E) { Add("SessionClosed(" + std::to_string(E) + ")"); };
    if (ReadData)
      S.OnDataAvailable = [this, &S](TObject*, std::uint16_t E) {
        Add("DataAvailable(" + std::to_string(E) + ")");
        std::string Buffer(static_cast<std::size_t>(ReadPerEvent), '\0');
        const int N = S.Receive(Buffer.data(), ReadPerEvent);
        if (N > 0) Received.append(Buffer.data(), static_cast<std::size_t>(N));
      };
  }
};

// The message of the socket exception F raises.
inline std::string ErrorOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const ESocketException& E) {
    return E.Message();
  }
  return "(nothing raised)";
}

// Puts a test double in place of one function of the socket library while
// it lives. Keep a socket object alive meanwhile: the last one to go unloads
// the library and forgets every entry point, the double included.
template <typename Fn>
class SocketFunctionDouble {
 public:
  SocketFunctionDouble(const char* Name, Fn Double)
      : FName(Name), FReal(reinterpret_cast<Fn>(ReplaceSocketFunction(Name, reinterpret_cast<void*>(Double)))) {}
  ~SocketFunctionDouble() { ReplaceSocketFunction(FName, reinterpret_cast<void*>(FReal)); }
  SocketFunctionDouble(const SocketFunctionDouble&) = delete;
  SocketFunctionDouble& operator=(const SocketFunctionDouble&) = delete;
  Fn Real() const { return FReal; }

 private:
  const char* FName;
  Fn FReal;
};

// A blocking connection to peer.py's command port, for commands whose
// answers come in lines while the test pumps its own sockets.
class PeerControl {
 public:
  explicit PeerControl(const std::string& Command) {
    using namespace plat::sock;
    FControl = wsock::socket(AfInet, SockStream, IpProtoTcp);
    SockAddrIn A{};
    A.sin_family = AfInet;
    A.sin_port = wsock::htons(static_cast<std::uint16_t>(std::atoi(CommandPort().c_str())));
    A.sin_addr.S_addr = wsock::inet_addr("127.0.0.1");
    if (wsock::connect(FControl, reinterpret_cast<const SockAddr*>(&A), sizeof A) != 0) return;
    const std::string Line = Command + "\r\n";
    wsock::send(FControl, Line.data(), static_cast<int>(Line.size()), 0);
  }
  ~PeerControl() { wsock::closesocket(FControl); }
  PeerControl(const PeerControl&) = delete;
  PeerControl& operator=(const PeerControl&) = delete;

  // The next line of the answer, without its end; waits for it.
  std::string ReadLine() {
    std::string Line;
    char C;
    while (wsock::recv(FControl, &C, 1, 0) == 1 && C != '\n')
      if (C != '\r') Line += C;
    return Line;
  }

 private:
  plat::sock::Socket FControl = plat::sock::InvalidSocket;
};

inline std::string Unhex(const std::string& Text) {
  std::string Out;
  for (std::size_t I = 0; I + 1 < Text.size(); I += 2)
    Out += static_cast<char>(std::stoi(Text.substr(I, 2), nullptr, 16));
  return Out;
}

inline std::string Hex(const std::string& Bytes) {
  static const char Digits[] = "0123456789abcdef";
  std::string Out;
  for (unsigned char C : Bytes) {
    Out += Digits[C >> 4];
    Out += Digits[C & 15];
  }
  return Out;
}

// A one-shot proxy of peer.py that plays Script to the client that connects.
class ScriptedProxy {
 public:
  explicit ScriptedProxy(const std::string& Script) : FControl("SOCKS " + Script) {
    const std::string Line = FControl.ReadLine();
    if (Line.rfind("PORT ", 0) == 0) Port = Line.substr(5);
  }
  // Every byte the proxy read from its client; waits for the script's end.
  std::string ClientBytes() {
    const std::string Line = FControl.ReadLine();
    return Line.rfind("READ ", 0) == 0 ? Unhex(Line.substr(5)) : "(no answer: " + Line + ")";
  }
  std::string Port;

 private:
  PeerControl FControl;
};

// Listens on a free port of 127.0.0.1, which LocalPortNow tells.
inline void ListenOnLoopback(TCustomWSocket& S, const char* Proto = "tcp") {
  S.SetProto(Proto);
  S.SetAddr("127.0.0.1");
  S.SetPort("0");
  S.Listen();
}

// A connection the peer dials in to a listening socket of ours, accepted:
// its handle, for a socket to adopt by Dup. The client sends "client 0\r\n"
// and reads until the connection closes.
class DialledIn {
 public:
  DialledIn() : FServer(nullptr) {
    ListenOnLoopback(FServer);
    FServer.OnSessionAvailable = [this](TObject*, std::uint16_t) { Handle = FServer.Accept(); };
    FDial = std::make_unique<PeerControl>("DIAL " + FServer.LocalPortNow() + " 1");
    PumpUntil([&] { return Handle != plat::sock::InvalidSocket; });
  }
  ~DialledIn() { FServer.Close(); }
  DialledIn(const DialledIn&) = delete;
  DialledIn& operator=(const DialledIn&) = delete;
  // What the client read; waits for the connection's end.
  std::string ClientRead() {
    const std::string Line = FDial->ReadLine();
    return Line.rfind("DIALED ", 0) == 0 ? Unhex(Line.substr(7)) : "(no answer: " + Line + ")";
  }
  plat::sock::Socket Handle = plat::sock::InvalidSocket;

 private:
  TWSocket FServer;
  std::unique_ptr<PeerControl> FDial;
};

// Sends until the system takes only part, so that the rest waits in the
// chain for write notifications. The slow peer reads slowly only what it
// counts.
inline bool SendUntilHeldBack(TCustomWSocket& S) {
  long long Sent = 0;
  const TSendData Before = S.OnSendData;
  S.OnSendData = [&](TObject*, std::int32_t N) { Sent += N; };
  long long Queued = S.SendText("COUNT 100000000\r\n");
  for (int I = 0; I < 100 && Sent == Queued; ++I) Queued += S.SendText(Pattern(100000));
  S.OnSendData = Before;
  return Sent < Queued;
}

// Closes reported in Log, Closes of them; nothing of the connection but its
// change to wsClosed may follow the first.
inline void ExpectNothingAfterTheClose(const std::vector<std::string>& Log, int Closes = 1) {
  int Seen = 0;
  for (const std::string& E : Log) {
    if (E.rfind("SessionClosed(", 0) == 0) {
      ++Seen;
      continue;
    }
    if (Seen > 0) {
      EXPECT_EQ(E.find(",wsClosed)"), E.size() - 10) << E << " after the close";
    }
  }
  EXPECT_EQ(Seen, Closes) << testing::PrintToString(Log);
}

// Tests against the peers of peer.py; each leaves no socket object behind.
class PeerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(CommandPort().empty()) << "run under tests/net/peer.py"; }
  void TearDown() override {
    testsupport::DrainQueue();
    EXPECT_EQ(LiveSocketCount.load(), 0);
  }
};

inline void ConnectTo(TCustomWSocket& S, const std::string& Port) {
  S.SetAddr("127.0.0.1");
  S.SetPort(Port);
  S.Connect();
}

}  // namespace nettest

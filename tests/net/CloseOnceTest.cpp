// One close per connection, and nothing of it after its close: whatever a
// handler does inside whichever event (raise, send, close, free the socket,
// adopt another connection by Dup), against the peers of peer.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "NetTestSupport.h"

using namespace nettest;

namespace {

using Events = std::vector<std::string>;

// Every event of a socket as text, the SOCKS ones included; the handler of
// OnDataAvailable reads and shows what it read as "Data:<bytes>".
struct HookedLog : EventLog {
  void Attach(TWSocket& S) {
    EventLog::Attach(S, false);
    S.OnSocksConnected = [this](TObject*, std::uint16_t E) { Add("SocksConnected(" + std::to_string(E) + ")"); };
    S.OnSocksError = [this](TObject*, std::int32_t E, const std::string&) {
      Add("SocksError(" + std::to_string(E) + ")");
    };
    S.OnDataAvailable = [this, &S](TObject*, std::uint16_t) {
      char Buffer[4096];
      const int N = S.Receive(Buffer, sizeof Buffer);
      if (N > 0) Add("Data:" + std::string(Buffer, static_cast<std::size_t>(N)));
    };
  }
  bool Has(const std::string& E) const { return std::find(Events.begin(), Events.end(), E) != Events.end(); }
};

void ThroughProxy(TWSocket& S, const std::string& ProxyPort) {
  S.SetAddr("target.example");
  S.SetPort("80");
  S.SetSocksServer("127.0.0.1");
  S.SetSocksPort(ProxyPort);
  S.Connect();
}

void ListenOn(TWSocket& S, const char* Proto) {
  EXPECT_EQ(ErrorOf([&] { ListenOnLoopback(S, Proto); }), "(nothing raised)");
}

// Each row of the table below arms its handler (the log's hook) and starts
// the socket; what it returns lives as long as the row.
using RowStart = std::function<std::shared_ptr<void>(HookedLog& Log, TWSocket*& S)>;

// A line-mode connection whose peer echoes a line and a last one without its
// end, then closes; OnDataAvailable runs Raise at the last one.
RowStart RaiseAtTheLastLine(std::function<void()> Raise) {
  return [Raise](HookedLog& Log, TWSocket*& S) {
    Log.Hook = [&, Raise](const std::string& E) {
      if (E == "SessionConnected(0)") {
        S->SendText("ECHO\r\na\r\nlast");
        S->Shutdown(1);
      }
      if (E == "Data:last") Raise();
    };
    S->SetLineMode(true);
    ConnectTo(*S, CommandPort());
    return nullptr;
  };
}

// A Listen of Proto whose handler of Event does Act to the socket.
RowStart WhenListening(const char* Proto, std::string Event, std::function<void(TWSocket*& S)> Act) {
  return [Proto, Event, Act](HookedLog& Log, TWSocket*& S) {
    Log.Hook = [&, Event, Act](const std::string& E) {
      if (E == Event) Act(S);
    };
    ListenOn(*S, Proto);
    return nullptr;
  };
}

using CloseOnce = PeerTest;

}  // namespace

TEST_F(CloseOnce, AHandlerInsideAnEventEndsItsConnectionOnce) {
  const std::string Granted = Hex(std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50", 10));
  const std::string Request = "r" + std::to_string(4 + 1 + 14 + 2);  // the level 5 request for target.example:80
  const struct {
    const char* Name;
    RowStart Start;
    int Closes;
    std::function<void(const HookedLog&)> Check;
  } Rows[] = {
      {"OnDataAvailable raises our exception at the last line of the close",
       RaiseAtTheLastLine([] { throw EInvalidOperation("from the last line"); }), 1,
       [](const HookedLog& Log) { EXPECT_TRUE(Log.Has("Data:last")); }},
      {"OnDataAvailable raises something else at the last line of the close",
       RaiseAtTheLastLine([] { throw std::runtime_error("from the last line"); }), 1,
       [](const HookedLog& Log) { EXPECT_TRUE(Log.Has("Data:last")); }},
      {"OnSessionClosed of a reset sends",
       [](HookedLog& Log, TWSocket*& S) {
         Log.Hook = [&](const std::string& E) {
           if (E == "SessionConnected(0)") S->SendText("RESET 10\r\n");
           if (E.rfind("SessionClosed(", 0) == 0) {
             try {
               S->SendText("after the close");
             } catch (const ESocketException&) {
             }
           }
         };
         ConnectTo(*S, CommandPort());
         return nullptr;
       },
       1, nullptr},
      {"OnSocksError closes",
       [](HookedLog& Log, TWSocket*& S) {
         auto Proxy = std::make_shared<ScriptedProxy>("r3 w05ff h");
         Log.Hook = [&](const std::string& E) {
           if (E.rfind("SocksError(", 0) == 0) S->Close();
         };
         ThroughProxy(*S, Proxy->Port);
         return Proxy;
       },
       1, [](const HookedLog& Log) { EXPECT_TRUE(Log.Has("SocksError(20003)")); }},
      {"OnSocksConnected of a refused proxy closes",
       [](HookedLog& Log, TWSocket*& S) {
         Log.Hook = [&](const std::string& E) {
           if (E.rfind("SocksConnected(", 0) == 0 && E != "SocksConnected(0)") S->Close();
         };
         ThroughProxy(*S, ClosedPort());
         return nullptr;
       },
       1, nullptr},
      {"OnChangeState to wsBound inside Listen closes",
       WhenListening("tcp", "ChangeState(wsClosed,wsBound)", [](TWSocket*& S) { S->Close(); }), 1, nullptr},
      {"OnSessionConnected of a datagram Listen closes",
       WhenListening("udp", "SessionConnected(0)", [](TWSocket*& S) { S->Close(); }), 1, nullptr},
      {"OnSessionConnected of a datagram Listen frees the socket",
       WhenListening("udp", "SessionConnected(0)", [](TWSocket*& S) { delete std::exchange(S, nullptr); }), 0, nullptr},
      {"OnDataAvailable adopts another connection by Dup, a line part held",
       [](HookedLog& Log, TWSocket*& S) {
         auto Other = std::make_shared<DialledIn>();
         Log.Hook = [&, Handle = Other->Handle](const std::string& E) {
           if (E == "SessionConnected(0)") S->SendText("ECHO\r\na\r\nheld");
           if (E == "Data:a\r\n") S->Dup(Handle);
           if (E.rfind("Data:client", 0) == 0) S->Close();
         };
         S->SetLineMode(true);
         ConnectTo(*S, CommandPort());
         return Other;
       },
       1,
       [](const HookedLog& Log) {
         // The new connection's first line is its own.
         EXPECT_TRUE(Log.Has("Data:client 0\r\n")) << testing::PrintToString(Log.Events);
         const auto Dup = std::find(Log.Events.begin(), Log.Events.end(), "Data:a\r\n");
         ASSERT_LT(Dup + 2, Log.Events.end());
         EXPECT_EQ(Dup[1], "ChangeState(wsConnected,wsClosed)");
         EXPECT_EQ(Dup[2], "ChangeState(wsClosed,wsConnected)");
       }},
      {"OnSessionConnected of a proxy's grant adopts another connection by Dup",
       [&](HookedLog& Log, TWSocket*& S) {
         auto Other = std::make_shared<DialledIn>();
         auto Proxy = std::make_shared<ScriptedProxy>("r3 w0500 " + Request + " w" + Granted + Hex("behind\r\n") + " h");
         Log.Hook = [&, Handle = Other->Handle](const std::string& E) {
           if (E == "SessionConnected(0)") S->Dup(Handle);
           if (E.rfind("Data:client", 0) == 0) S->Close();
         };
         S->SetLineMode(true);
         ThroughProxy(*S, Proxy->Port);
         return std::shared_ptr<void>(new std::pair<std::shared_ptr<DialledIn>, std::shared_ptr<ScriptedProxy>>(Other, Proxy));
       },
       1,
       [](const HookedLog& Log) {
         // What the proxy sent behind its reply belonged to its connection.
         EXPECT_FALSE(Log.Has("Data:behind\r\n"));
         EXPECT_TRUE(Log.Has("Data:client 0\r\n")) << testing::PrintToString(Log.Events);
       }},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    HookedLog Log;
    TWSocket* S = new TWSocket(nullptr);
    Log.Attach(*S);
    const std::shared_ptr<void> Keep = R.Start(Log, S);
    ASSERT_TRUE(PumpUntil([&] { return !S || S->State() == wsClosed; }, 20000)) << testing::PrintToString(Log.Events);
    Sentinel Queue;
    ASSERT_TRUE(Queue.PumpThroughQueue());
    ExpectNothingAfterTheClose(Log.Events, R.Closes);
    if (R.Check) R.Check(Log);
    delete S;
  }
}

TEST_F(CloseOnce, EveryCloseResetsWhatACloseResets) {
  // A connection through a proxy that ends while connecting, three ways: the
  // next Connect starts from the defaults in each, the proxy's included.
  const struct {
    const char* Name;
    std::function<void(TWSocket&)> End;
  } Cases[] = {
      {"Close", [](TWSocket& S) { S.Close(); }},
      {"Abort", [](TWSocket& S) { S.Abort(); }},
      {"a send that finds no connection (10057)", [](TWSocket& S) { S.Send("x", 1); }},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TWSocket S(nullptr);
    S.OnError = [](TObject*) {};
    S.SetSocksServer("127.0.0.1");
    S.SetSocksPort(SlowPort());
    S.SetSocksLevel("4");
    S.SetLocalPort("0");
    S.SetAddr("127.0.0.1");
    S.SetPort("80");
    S.Connect();
    ASSERT_EQ(S.State(), wsConnecting);
    C.End(S);
    ASSERT_EQ(S.State(), wsClosed);
    EXPECT_EQ(S.SocksServer(), "");
    EXPECT_EQ(S.SocksPort(), "");
    EXPECT_EQ(S.SocksLevel(), "5");
    EXPECT_EQ(S.Proto(), "tcp");
    // The next connection goes straight to its peer, no proxy between.
    HookedLog Log;
    Log.Attach(S);
    ConnectTo(S, GreetPort());
    ASSERT_TRUE(PumpUntil([&] { return S.State() == wsClosed; }));
    EXPECT_FALSE(Log.Has("SocksConnected(0)")) << testing::PrintToString(Log.Events);
    EXPECT_TRUE(Log.Has("SessionConnected(0)"));
    Sentinel Queue;
    ASSERT_TRUE(Queue.PumpThroughQueue());
  }
}

TEST_F(CloseOnce, DupStartsTheAdoptedConnectionWithNothingOfTheOld) {
  // The old connection's peer reads slowly: most of what was sent to it
  // waits in the chain when another connection is adopted over it.
  DialledIn Other;
  TWSocket S(nullptr);
  S.OnChangeState = [&](TObject*, TSocketState, TSocketState New) {
    if (New == wsOpened) wsock::setsockopt(S.HSocket(), plat::sock::SolSocket, plat::sock::SoSndBuf, 2048);
  };
  ConnectTo(S, SlowPort());
  ASSERT_TRUE(PumpUntil([&] { return S.State() == wsConnected; }));
  S.OnChangeState = nullptr;
  ASSERT_TRUE(SendUntilHeldBack(S));
  int Closes = 0;
  S.OnSessionClosed = [&](TObject*, std::uint16_t) { ++Closes; };
  S.Dup(Other.Handle);
  ASSERT_EQ(S.State(), wsConnected);
  S.SendText("new");
  S.Flush();
  S.Close();
  EXPECT_EQ(Other.ClientRead(), "new");
  EXPECT_EQ(Closes, 1);
}

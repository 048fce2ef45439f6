// Listening and adopting connections from real clients (peer.py dials in),
// datagrams both ways, broadcast and multicast where the system lets us,
// suspended notifications, and waiting for a flag.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "NetTestSupport.h"

using namespace nettest;
using namespace plat::sock;

using Listen = PeerTest;

TEST_F(Listen, AListeningSocketAcceptsRealClientsAndDupAdoptsThem) {
  TWSocket Server(nullptr);
  Server.SetAddr("127.0.0.1");
  Server.SetPort("0");
  Server.Listen();
  ASSERT_EQ(Server.State(), wsListening);
  const std::string Port = Server.LocalPortNow();
  ASSERT_GT(std::atoi(Port.c_str()), 0) << Port;
  EXPECT_EQ(Server.LocalAddrNow(), "127.0.0.1");

  // Each client is served by a socket of its own that answers its line.
  std::vector<std::unique_ptr<TWSocket>> Clients;
  int Done = 0;
  Server.OnSessionAvailable = [&](TObject*, std::uint16_t Error) {
    ASSERT_EQ(Error, 0);
    auto C = std::make_unique<TWSocket>(nullptr);
    TWSocket* Client = C.get();
    Client->SetLineMode(true);
    Client->OnDataAvailable = [Client](TObject*, std::uint16_t) {
      const std::string Line = Client->ReceiveText();
      Client->SendText("hello " + Line.substr(7));  // "client i\r\n" -> "hello i\r\n"
      Client->Shutdown(1);
    };
    Client->OnSessionClosed = [&](TObject*, std::uint16_t) { ++Done; };
    Client->Dup(Server.Accept());
    EXPECT_EQ(Client->State(), wsConnected);
    EXPECT_EQ(Client->PeerAddr(), "127.0.0.1");
    Clients.push_back(std::move(C));
  };
  PeerControl Dial("DIAL " + Port + " 3");
  ASSERT_TRUE(PumpUntil([&] { return Done == 3; }, 30000));
  EXPECT_EQ(Dial.ReadLine(), "DIALED " + std::string("68656c6c6f20300d0a68656c6c6f20310d0a68656c6c6f20320d0a"));
  Clients.clear();
  Server.Close();
}

TEST_F(Listen, DupOnAConnectedSocketClosesItsOldHandleFirst) {
  TWSocket Server(nullptr);
  Server.SetAddr("127.0.0.1");
  Server.SetPort("0");
  Server.Listen();
  std::vector<Socket> Accepted;
  Server.OnSessionAvailable = [&](TObject*, std::uint16_t) { Accepted.push_back(Server.Accept()); };
  PeerControl Dial("DIAL " + Server.LocalPortNow() + " 1");
  ASSERT_TRUE(PumpUntil([&] { return Accepted.size() == 1; }));

  TWSocket S(nullptr);
  bool Connected = false;
  S.OnSessionConnected = [&](TObject*, std::uint16_t) { Connected = true; };
  ConnectTo(S, CommandPort());
  ASSERT_TRUE(PumpUntil([&] { return Connected; }));
  EventLog Log;
  Log.Attach(S, false);
  S.Dup(Accepted[0]);
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"ChangeState(wsConnected,wsClosed)", "ChangeState(wsClosed,wsConnected)"}));
  EXPECT_EQ(S.HSocket(), Accepted[0]);
  S.Close();
  EXPECT_EQ(Dial.ReadLine(), "DIALED ");

  const struct {
    Socket Handle;
  } Bad[] = {{0}, {InvalidSocket}};
  for (const auto& B : Bad)
    EXPECT_EQ(ErrorOf([&] { S.Dup(B.Handle); }), "Error 10022 in function Dup\r\nInvalid argument");
  EXPECT_EQ(ErrorOf([&] { S.Accept(); }), "Error 10022 in function not a listening socket\r\nInvalid argument");
  Server.Close();
}

// A datagram "server" listening on a port answers whoever wrote to it, and a
// connected datagram socket exchanges with it.
TEST_F(Listen, DatagramsGoBothWays) {
  TWSocket Server(nullptr);
  Server.SetProto("udp");
  Server.SetAddr("127.0.0.1");
  Server.SetPort("0");
  bool ServerUp = false;
  Server.OnSessionConnected = [&](TObject*, std::uint16_t E) { ServerUp = E == 0; };
  Server.Listen();
  EXPECT_TRUE(ServerUp);
  ASSERT_EQ(Server.State(), wsConnected);
  std::vector<std::string> ServerGot;
  Server.OnDataAvailable = [&](TObject*, std::uint16_t) {
    char Buffer[1500];
    SockAddrIn From{};
    int FromLength = sizeof From;
    const int N = Server.ReceiveFrom(Buffer, sizeof Buffer, reinterpret_cast<SockAddr*>(&From), &FromLength);
    if (N <= 0) return;
    ServerGot.emplace_back(Buffer, static_cast<std::size_t>(N));
    const std::string Answer = "re:" + ServerGot.back();
    Server.SendTo(reinterpret_cast<const SockAddr*>(&From), FromLength, Answer.data(), static_cast<int>(Answer.size()));
  };
  const std::string Port = Server.LocalPortNow();

  // From a Python client on the Linux side.
  {
    PeerControl Udp("UDP " + Port + " from-python");
    ASSERT_TRUE(PumpUntil([&] { return ServerGot.size() == 1; }));
    EXPECT_EQ(Udp.ReadLine(), "UDP " + std::string("72653a66726f6d2d707974686f6e"));  // "re:from-python"
  }
  // From one of ours.
  TWSocket Client(nullptr);
  Client.SetProto("udp");
  bool ClientUp = false;
  std::string ClientGot;
  Client.OnSessionConnected = [&](TObject*, std::uint16_t E) { ClientUp = E == 0; };
  Client.OnDataAvailable = [&](TObject*, std::uint16_t) { ClientGot += Client.ReceiveText(); };
  ConnectTo(Client, Port);
  EXPECT_TRUE(ClientUp);
  EXPECT_EQ(Client.State(), wsConnected);
  Client.SendText("ping");
  ASSERT_TRUE(PumpUntil([&] { return ClientGot == "re:ping"; }));
  EXPECT_EQ(ServerGot.back(), "ping");
  EXPECT_GT(Server.ReadCount(), 0);
  Client.Close();
  Server.Close();
}

// Broadcast and multicast depend on the system's interfaces and routes: the
// options must be accepted; whether a datagram comes back over loopback is
// reported, not required (a container with loopback alone has no route to
// 255.255.255.255, and its loopback may not carry multicast).
TEST_F(Listen, BroadcastAndMulticastWhereTheSystemAllows) {
  for (bool Multicast : {false, true}) {
    SCOPED_TRACE(Multicast ? "multicast" : "broadcast");
    TWSocket Receiver(nullptr);
    Receiver.SetProto("udp");
    Receiver.SetAddr(Multicast ? "127.0.0.1" : "0.0.0.0");
    Receiver.SetPort("0");
    Receiver.SetReuseAddr(true);
    if (Multicast) {
      Receiver.SetMultiCast(true);
      Receiver.SetMultiCastAddrStr("239.255.42.99");
    }
    int Errors = 0;
    Receiver.OnError = [&](TObject*) { ++Errors; };
    Receiver.Listen();
    const std::string Port = Receiver.LocalPortNow();
    if (Errors > 0) {
      RecordProperty(Multicast ? "multicast" : "broadcast", "join refused by the system: " + IntToStr(Receiver.LastError()));
      std::printf("note: %s: the system refused to join (error %d)\n", Multicast ? "multicast" : "broadcast",
                  Receiver.LastError());
      continue;
    }
    std::string Got;
    Receiver.OnDataAvailable = [&](TObject*, std::uint16_t) { Got += Receiver.ReceiveText(); };

    TWSocket Sender(nullptr);
    Sender.SetProto("udp");
    Sender.SetAddr(Multicast ? "239.255.42.99" : "255.255.255.255");
    Sender.SetPort(Port);
    if (Multicast) {
      Sender.SetMultiCast(true);
      Sender.SetMultiCastIpTTL(2);
      Sender.SetLocalAddr("127.0.0.1");
    }
    // Connect sets the broadcast and multicast options; a refusal would raise.
    Sender.Connect();
    ASSERT_EQ(Sender.State(), wsConnected);
    int Sent = -2;
    const std::string Text = Multicast ? "to the group" : "to everyone";
    Sender.OnSendData = [&](TObject*, std::int32_t N) { Sent = N; };
    Sender.SendText(Text);
    const bool Arrived = PumpUntil([&] { return !Got.empty(); }, 2000);
    if (Arrived) {
      EXPECT_EQ(Got, Text);
    } else {
      std::printf("note: %s: %s\n", Multicast ? "multicast" : "broadcast",
                  Sent > 0 ? "sent, but not looped back to this host"
                           : ("not sent: error " + IntToStr(Sender.LastError())).c_str());
    }
    Sender.Close();
    Receiver.Close();
  }
}

TEST_F(Listen, SuspendedEventsDeliverNothingUntilResumed) {
  TWSocket S(nullptr);
  std::string Got;
  bool Connected = false;
  S.OnSessionConnected = [&](TObject*, std::uint16_t) {
    Connected = true;
    EXPECT_EQ(S.SuspendEvents(), 0);
    S.SendText("SEND 100\r\n");
  };
  S.OnDataAvailable = [&](TObject*, std::uint16_t) { Got += S.ReceiveText(); };
  ConnectTo(S, CommandPort());
  ASSERT_TRUE(PumpUntil([&] { return Connected; }));
  PumpFor(300);
  Sentinel Queue;
  ASSERT_TRUE(Queue.PumpThroughQueue());
  EXPECT_EQ(Got, "");
  EXPECT_EQ(S.State(), wsConnected);  // the peer's close was not seen either
  EXPECT_EQ(S.ResumeEvents(), 0);
  ASSERT_TRUE(PumpUntil([&] { return S.State() == wsClosed; }));
  EXPECT_EQ(Got, Pattern(100));
}

TEST_F(Listen, WaitForFlagEndsOnItsFlagOrOnAQuitMessage) {
  // The flag, set by a handler that runs while the wait pumps.
  {
    TWSocket S(nullptr);
    bool Connected = true;  // RunAndWait clears it first
    S.OnSessionConnected = [&](TObject*, std::uint16_t) { Connected = true; };
    EXPECT_EQ(S.RunAndWait([&] { ConnectTo(S, CommandPort()); }, Connected), 0);
    EXPECT_EQ(S.State(), wsConnected);
    S.Close();
  }
  // A quit message met while pumping the thread's own queue.
  {
    TWSocket S(nullptr);
    S.SetMultiThreaded(true);
    bool Never = false;
    plat::PostQuitMessage(0);
    EXPECT_EQ(S.WaitForFlag(Never), WaitQuit);
    EXPECT_EQ(S.WaitForFlag(Never), WaitQuit);  // it stays seen
  }
  // The application's loop meeting the quit message.
  {
    TApplication App(nullptr);
    TWSocket S(nullptr);
    bool Never = false;
    plat::PostQuitMessage(0);
    EXPECT_EQ(S.WaitForFlag(Never), WaitQuit);
    EXPECT_TRUE(App.Terminated());
  }
}

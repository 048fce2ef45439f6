// Listening and adopting connections from real clients (peer.py dials in),
// datagrams both ways, broadcast and multicast where the system lets us,
// suspended notifications, and waiting for a flag.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "NetTestSupport.h"

using namespace nettest;
using namespace plat::sock;

using Listen = PeerTest;

TEST_F(Listen, AListeningSocketAcceptsRealClientsAndDupAdoptsThem) {
  TWSocket Server(nullptr);
  ListenOnLoopback(Server);
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
  ListenOnLoopback(Server);
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
  bool ServerUp = false;
  Server.OnSessionConnected = [&](TObject*, std::uint16_t E) { ServerUp = E == 0; };
  ListenOnLoopback(Server, "udp");
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

namespace {

constexpr const char* Group = "239.255.42.99";

// Whether the system carries a datagram from one plain socket of its library
// to another, set up as the test below sets up its two sockets: "" when it
// does, else why not. Broadcast and multicast depend on the interfaces and
// routes of the machine (a container with loopback alone has no route to
// either).
std::string WhyTheSystemCannotCarry(bool Multicast) {
  TWSocket Holder(nullptr);  // keeps the library
  const auto Why = [](const char* What) { return std::string(What) + " failed with error " + IntToStr(wsock::WSAGetLastError()); };
  const Socket Receiver = wsock::socket(AfInet, SockDgram, IpProtoUdp);
  const Socket Sender = wsock::socket(AfInet, SockDgram, IpProtoUdp);
  std::string Result = "nothing came back within a second";
  SockAddrIn Here{};
  Here.sin_family = AfInet;
  int Length = sizeof Here;
  std::uint32_t NonBlocking = 1;
  struct {
    InAddr Group;
    InAddr Interface;
  } Join{{wsock::inet_addr(Group)}, {InAddrAny}};
  if (wsock::bind(Receiver, reinterpret_cast<const SockAddr*>(&Here), sizeof Here) != 0 ||
      wsock::getsockname(Receiver, reinterpret_cast<SockAddr*>(&Here), &Length) != 0) {
    Result = Why("binding the receiver");
  } else if (Multicast && wsock::setsockopt(Receiver, IpProtoIp, IpAddMembership, reinterpret_cast<const char*>(&Join),
                                            sizeof Join) != 0) {
    Result = Why("joining the group");
  } else if (wsock::setsockopt(Sender, Multicast ? IpProtoIp : SolSocket, Multicast ? IpMulticastTtl : SoBroadcast,
                               Multicast ? 2 : 1) != 0) {
    Result = Why("the sender's option");
  } else {
    SockAddrIn To = Here;
    To.sin_addr.S_addr = wsock::inet_addr(Multicast ? Group : "255.255.255.255");
    wsock::ioctlsocket(Receiver, FionBio, &NonBlocking);
    if (wsock::sendto(Sender, "probe", 5, 0, reinterpret_cast<const SockAddr*>(&To), sizeof To) != 5) {
      Result = Why("sending");
    } else {
      char Buffer[16];
      for (const std::uint64_t Start = plat::TickCount(); plat::TickCount() - Start < 1000; plat::Sleep(1)) {
        if (wsock::recv(Receiver, Buffer, sizeof Buffer, 0) == 5) {
          Result.clear();
          break;
        }
      }
    }
  }
  wsock::closesocket(Receiver);
  wsock::closesocket(Sender);
  return Result;
}

// A datagram to everyone, or to the group, from one socket to another.
void BroadcastOrMulticast(bool Multicast) {
  TWSocket Receiver(nullptr);
  Receiver.SetProto("udp");
  Receiver.SetAddr("0.0.0.0");
  Receiver.SetPort("0");
  Receiver.SetReuseAddr(true);
  if (Multicast) {
    Receiver.SetMultiCast(true);
    Receiver.SetMultiCastAddrStr(Group);
  }
  Receiver.Listen();
  ASSERT_EQ(Receiver.State(), wsConnected);
  std::string Got;
  Receiver.OnDataAvailable = [&](TObject*, std::uint16_t) { Got += Receiver.ReceiveText(); };

  TWSocket Sender(nullptr);
  Sender.SetProto("udp");
  Sender.SetAddr(Multicast ? Group : "255.255.255.255");
  Sender.SetPort(Receiver.LocalPortNow());
  if (Multicast) {
    Sender.SetMultiCast(true);
    Sender.SetMultiCastIpTTL(2);
  }
  // Connect sets the broadcast and multicast options; a refusal would raise.
  Sender.Connect();
  ASSERT_EQ(Sender.State(), wsConnected);
  const std::string Text = Multicast ? "to the group" : "to everyone";
  Sender.SendText(Text);
  EXPECT_TRUE(PumpUntil([&] { return Got.size() >= Text.size(); }, 5000));
  EXPECT_EQ(Got, Text);
  Sender.Close();
  Receiver.Close();
}

}  // namespace

TEST_F(Listen, ABroadcastArrives) {
  const std::string Why = WhyTheSystemCannotCarry(false);
  if (!Why.empty()) GTEST_SKIP() << "this system does not carry a broadcast between two of its own sockets: " << Why;
  BroadcastOrMulticast(false);
}

TEST_F(Listen, AMulticastArrives) {
  const std::string Why = WhyTheSystemCannotCarry(true);
  if (!Why.empty())
    GTEST_SKIP() << "this system does not carry a datagram to " << Group << " between two of its own sockets: " << Why;
  BroadcastOrMulticast(true);
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
  // The data is there, and so are its notifications, had they been asked for.
  ASSERT_TRUE(PumpUntil([&] { return S.RcvdCount() >= 100; }));
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

namespace {

// Doubles that fail one library function with FailWith while Failing names
// it; every handle opened and closed meanwhile is recorded.
const char* Failing = "";
int FailWith = 0;
std::vector<Socket> Opened, Closed;
Fnsocket RealSocket = nullptr;
Fnclosesocket RealClose = nullptr;
Fnsetsockopt RealSetOption = nullptr;
Fnlisten RealListen = nullptr;
FnWSAAsyncSelect RealSelect = nullptr;
Fnaccept RealAccept = nullptr;
Fnsendto RealSendTo = nullptr;

int Fail() {
  wsock::WSASetLastError(FailWith);
  return SocketError;
}
Socket DRAVIN_WSAAPI SocketDouble(int Family, int Type, int Protocol) {
  const Socket S = RealSocket(Family, Type, Protocol);
  Opened.push_back(S);
  return S;
}
int DRAVIN_WSAAPI CloseDouble(Socket S) {
  Closed.push_back(S);
  return RealClose(S);
}
int DRAVIN_WSAAPI SetOptionDouble(Socket S, int Level, int Name, const char* Value, int Length) {
  if ((std::string(Failing) == "SO_REUSEADDR" && Name == SoReuseAddr) ||
      (std::string(Failing) == "IP_ADD_MEMBERSHIP" && Level == IpProtoIp && Name == IpAddMembership))
    return Fail();
  return RealSetOption(S, Level, Name, Value, Length);
}
int DRAVIN_WSAAPI ListenDouble(Socket S, int Backlog) {
  return std::string(Failing) == "listen" ? Fail() : RealListen(S, Backlog);
}
int DRAVIN_WSAAPI SelectDouble(Socket S, plat::WindowHandle Window, unsigned Msg, std::int32_t Events) {
  return std::string(Failing) == "WSAAsyncSelect" && Events != 0 ? Fail() : RealSelect(S, Window, Msg, Events);
}

// A client that reset before its connection was accepted, as Windows
// reports it: the connection is taken and gone, and accept says 10054.
int ResetAccepts = 0;
Socket DRAVIN_WSAAPI ResetAcceptDouble(Socket S, SockAddr* Addr, int* Length) {
  const Socket New = RealAccept(S, Addr, Length);
  if (New == InvalidSocket || ResetAccepts == 0) return New;
  --ResetAccepts;
  RealClose(New);
  wsock::WSASetLastError(WsaEConnReset);
  return InvalidSocket;
}

// A system whose datagram sends would block while SendsBlocked; the length of
// every datagram it takes is recorded.
bool SendsBlocked = false;
std::vector<int> SentDatagrams;
int DRAVIN_WSAAPI SendToDouble(Socket S, const char* Data, int Length, int Flags, const SockAddr* To, int ToLength) {
  if (SendsBlocked) {
    wsock::WSASetLastError(WsaEWouldBlock);
    return SocketError;
  }
  const int N = RealSendTo(S, Data, Length, Flags, To, ToLength);
  if (N >= 0) SentDatagrams.push_back(N);
  return N;
}

// A datagram socket listening on a free port of 127.0.0.1 that records the
// datagrams it receives.
struct DatagramReceiver {
  TWSocket S{nullptr};
  std::vector<std::string> Got;
  DatagramReceiver() {
    S.OnDataAvailable = [this](TObject*, std::uint16_t) {
      std::string Buffer(70000, '\0');
      SockAddrIn From{};
      int FromLength = sizeof From;
      const int N = S.ReceiveFrom(Buffer.data(), static_cast<int>(Buffer.size()), reinterpret_cast<SockAddr*>(&From),
                                  &FromLength);
      if (N >= 0) Got.push_back(Buffer.substr(0, static_cast<std::size_t>(N)));
    };
    ListenOnLoopback(S, "udp");
  }
};

}  // namespace

TEST_F(Listen, AFailedListenKeepsNoHandleAndASecondListenIsRefused) {
  TWSocket Holder(nullptr);  // keeps the library, and with it the doubles
  TWSocket Busy(nullptr);
  ListenOnLoopback(Busy);
  const std::string BusyPort = Busy.LocalPortNow();
  // Listening already: refused, and nothing changes.
  const Socket Handle = Busy.HSocket();
  EXPECT_EQ(ErrorOf([&] { Busy.Listen(); }), "Listen: socket already in use");
  EXPECT_EQ(Busy.State(), wsListening);
  EXPECT_EQ(Busy.HSocket(), Handle);

  SocketFunctionDouble<Fnsocket> Sockets("socket", SocketDouble);
  SocketFunctionDouble<Fnclosesocket> Closes("closesocket", CloseDouble);
  SocketFunctionDouble<Fnsetsockopt> Options("setsockopt", SetOptionDouble);
  SocketFunctionDouble<Fnlisten> Listens("listen", ListenDouble);
  SocketFunctionDouble<FnWSAAsyncSelect> Selects("WSAAsyncSelect", SelectDouble);
  RealSocket = Sockets.Real();
  RealClose = Closes.Real();
  RealSetOption = Options.Real();
  RealListen = Listens.Real();
  RealSelect = Selects.Real();
  const struct {
    const char* Name;
    const char* Fails;
    bool Datagram;
    const char* Port;  // "busy" for the port Busy listens on
    const char* Function;
  } Cases[] = {
      {"the port is taken", "", false, "busy", "Bind"},
      {"address reuse refused", "SO_REUSEADDR", true, "0", "setsockopt(SO_REUSEADDR)"},
      {"the group refused", "IP_ADD_MEMBERSHIP", true, "0", "setsockopt(IP MULTICAST)"},
      {"listen refused", "listen", false, "0", "Listen"},
      {"notifications refused", "WSAAsyncSelect", false, "0", "WSAASyncSelect"},
      {"datagram notifications refused", "WSAAsyncSelect", true, "0", "WSAASyncSelect"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    Failing = C.Fails;
    FailWith = 10055;
    Opened.clear();
    Closed.clear();
    TWSocket S(nullptr);
    S.SetProto(C.Datagram ? "udp" : "tcp");
    S.SetAddr("127.0.0.1");
    S.SetPort(std::string(C.Port) == "busy" ? BusyPort : C.Port);
    S.SetReuseAddr(true);
    S.SetMultiCast(C.Datagram);
    S.SetMultiCastAddrStr("239.255.42.98");
    // Twenty times over: each failure gives its handle back.
    for (int Round = 0; Round < 20; ++Round) {
      const std::string Error = ErrorOf([&] { S.Listen(); });
      EXPECT_EQ(Error.rfind("Error ", 0), 0u) << Error;
      EXPECT_NE(Error.find(std::string(" in function ") + C.Function + "\r\n"), std::string::npos) << Error;
      EXPECT_EQ(S.State(), wsClosed);
      EXPECT_EQ(S.HSocket(), InvalidSocket);
    }
    EXPECT_EQ(Opened.size(), 20u);
    EXPECT_EQ(Closed, Opened);
  }
  Failing = "";
  Busy.Close();
}

TEST_F(Listen, AResetOrAMissingPeerClosesOnlyAConnection) {
  // A client that resets before the accept: the listening socket reports
  // it and goes on listening; the next client is accepted.
  {
    TWSocket Server(nullptr);
    ListenOnLoopback(Server);
    SocketFunctionDouble<Fnaccept> Accepts("accept", ResetAcceptDouble);
    RealAccept = Accepts.Real();
    RealClose = reinterpret_cast<Fnclosesocket>(LoadSocketFunction("closesocket"));
    ResetAccepts = 1;
    std::vector<int> Errors;
    std::vector<std::unique_ptr<TWSocket>> Served;
    Server.OnError = [&](TObject*) { Errors.push_back(Server.LastError()); };
    Server.OnSessionAvailable = [&](TObject*, std::uint16_t) {
      const Socket H = Server.Accept();
      if (H == InvalidSocket) return;
      Served.push_back(std::make_unique<TWSocket>(nullptr));
      Served.back()->Dup(H);
      Served.back()->Close();
    };
    PeerControl Dial("DIAL " + Server.LocalPortNow() + " 2");
    ASSERT_TRUE(PumpUntil([&] { return Served.size() == 1; }));
    EXPECT_EQ(Errors, std::vector<int>{WsaEConnReset});
    EXPECT_EQ(Server.State(), wsListening);
    EXPECT_EQ(Dial.ReadLine(), "DIALED ");
    Server.Close();
  }
  // A datagram socket asked for a peer it does not have, and a listening
  // socket asked to send: reported, and nothing closes.
  {
    DatagramReceiver Udp;
    int Errors = 0;
    Udp.S.OnError = [&](TObject*) { ++Errors; };
    EXPECT_EQ(Udp.S.PeerAddr(), "error");
    EXPECT_EQ(Udp.S.LastError(), WsaENotConn);
    EXPECT_EQ(Udp.S.State(), wsConnected);
    TWSocket Server(nullptr);
    ListenOnLoopback(Server);
    Server.OnError = [&](TObject*) { ++Errors; };
    EXPECT_EQ(Server.SendText("x"), -1);
    EXPECT_EQ(Server.LastError(), WsaENotConn);
    EXPECT_EQ(Server.State(), wsListening);
    EXPECT_EQ(Errors, 2);
    Server.Close();
  }
}

TEST_F(Listen, EachDatagramSendIsOneDatagram) {
  DatagramReceiver Receiver;
  ASSERT_EQ(Receiver.S.State(), wsConnected);
  TWSocket Sender(nullptr);
  Sender.SetProto("udp");
  ConnectTo(Sender, Receiver.S.LocalPortNow());
  SocketFunctionDouble<Fnsendto> Sends("sendto", SendToDouble);
  RealSendTo = Sends.Real();
  SentDatagrams.clear();
  // Longer than a block of the send chain: one datagram all the same.
  Sender.SendText(Pattern(3000));
  ASSERT_TRUE(PumpUntil([&] { return !Receiver.Got.empty(); }));
  // Sends held back by a full system are neither merged nor split.
  SendsBlocked = true;
  for (int Length : {100, 200, 300}) Sender.SendText(std::string(static_cast<std::size_t>(Length), 'd'));
  SendsBlocked = false;
  plat::PostMessage(Sender.Handle(), WM_SOCKET_EVENT, Sender.HSocket(), MakeSelectReply(FdWrite, 0));
  ASSERT_TRUE(PumpUntil([&] { return Receiver.Got.size() >= 4; }));
  // One too long for the system is reported; the next goes.
  int Errors = 0;
  Sender.OnError = [&](TObject*) { ++Errors; };
  Sender.SendText(std::string(70000, 'x'));
  EXPECT_EQ(Errors, 1);
  EXPECT_EQ(Sender.LastError(), 10040);
  Sender.SendText("after");
  ASSERT_TRUE(PumpUntil([&] { return Receiver.Got.size() >= 5; }));
  Sentinel Queue;
  ASSERT_TRUE(Queue.PumpThroughQueue());
  std::vector<std::size_t> Lengths;
  for (const std::string& D : Receiver.Got) Lengths.push_back(D.size());
  EXPECT_EQ(Lengths, (std::vector<std::size_t>{3000, 100, 200, 300, 5}));
  EXPECT_EQ(SentDatagrams, (std::vector<int>{3000, 100, 200, 300, 5}));
  EXPECT_TRUE(Receiver.Got[0] == Pattern(3000));
  Sender.Close();
  Receiver.S.Close();
}

TEST_F(Listen, AnEmptyDatagramIsADatagram) {
  DatagramReceiver Receiver;
  TWSocket Sender(nullptr);
  Sender.SetProto("udp");
  ConnectTo(Sender, Receiver.S.LocalPortNow());
  SockAddrIn To{};
  int ToLength = sizeof To;
  ASSERT_EQ(Receiver.S.GetLocalName(To, ToLength), 0);
  EXPECT_EQ(Sender.SendTo(reinterpret_cast<const SockAddr*>(&To), ToLength, "", 0), 0);
  Sender.SendText("after");
  ASSERT_TRUE(PumpUntil([&] { return Receiver.Got.size() >= 2 || Receiver.S.State() != wsConnected; }));
  EXPECT_EQ(Receiver.S.State(), wsConnected);
  EXPECT_EQ(Receiver.Got, (std::vector<std::string>{"", "after"}));
  Sender.Close();
  Receiver.S.Close();
}

TEST_F(Listen, AWaitWhosePumpFreesTheSocketEndsWithoutTouchingIt) {
  TWSocket Holder(nullptr);  // keeps the library and the window class
  const struct {
    const char* Name;
    std::function<int(TWSocket*)> Wait;
    int Result;
  } Cases[] = {
      {"WaitForFlag", [](TWSocket* S) {
         S->FreeLater();
         bool Never = false;
         return S->WaitForFlag(Never);
       }, WaitQuit},
      {"RunAndWait", [](TWSocket* S) {
         bool Flag = false;
         return S->RunAndWait([S] { S->FreeLater(); }, Flag);
       }, WaitQuit},
      {"the pump that meets a quit message", [](TWSocket* S) {
         S->SetMultiThreaded(true);
         S->FreeLater();
         plat::PostQuitMessage(0);
         S->PumpSocketMessages();
         return 0;
       }, 0},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TComponent Owner(nullptr);
    auto* S = new TWSocket(&Owner);
    EXPECT_EQ(C.Wait(S), C.Result);
    EXPECT_EQ(Owner.ComponentCount(), 0);
    testsupport::DrainQueue();
  }
}

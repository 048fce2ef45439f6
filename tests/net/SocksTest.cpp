// SOCKS 4, 4A and 5 against scripted proxies of peer.py: the bytes each
// level sends, every reply and failure a proxy can give, replies that come a
// byte at a time, data right behind the reply; the property rules; and the
// failures no proxy can cause, through a socket fed from a string.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FedSocket.h"
#include "NetTestSupport.h"

using namespace nettest;
using namespace plat::sock;

using Socks = PeerTest;

namespace {

using Events = std::vector<std::string>;

// The events of a socket going through a proxy, as text.
struct SocksLog {
  Events Seen;
  std::string Received;
  int FirstRcvdCount = -1;

  void Attach(TWSocket& S) {
    S.OnSocksConnected = [this](TObject*, std::uint16_t E) { Seen.push_back("SocksConnected(" + std::to_string(E) + ")"); };
    S.OnSocksAuthState = [this](TObject*, TSocksAuthState A) {
      static const char* const Names[] = {"Begin", "Accepted", "Rejected", "Unneeded"};
      Seen.push_back(std::string("AuthState(") + Names[A] + ")");
    };
    S.OnSocksError = [this](TObject*, std::int32_t E, const std::string& M) {
      Seen.push_back("SocksError(" + std::to_string(E) + "," + M + ")");
    };
    S.OnSessionConnected = [this](TObject*, std::uint16_t E) { Seen.push_back("SessionConnected(" + std::to_string(E) + ")"); };
    S.OnSessionClosed = [this](TObject*, std::uint16_t E) { Seen.push_back("SessionClosed(" + std::to_string(E) + ")"); };
    S.OnDataAvailable = [this, &S](TObject*, std::uint16_t E) {
      if (Seen.empty() || Seen.back() != "DataAvailable") Seen.push_back("DataAvailable");
      if (FirstRcvdCount < 0) FirstRcvdCount = S.RcvdCount();
      char Buffer[7];  // small reads: the leftovers must come out in order across calls
      const int N = S.Receive(Buffer, sizeof Buffer);
      if (N > 0) Received.append(Buffer, static_cast<std::size_t>(N));
    };
  }
};

std::string Port2(int Port) { return std::string{static_cast<char>(Port >> 8), static_cast<char>(Port & 255)}; }

const std::string Greeting = std::string("\x05\x01\x00", 3);
const std::string GreetingWithLogin = "\x05\x01\x02";
std::string Level5Request(const std::string& Name, int Port) {
  return std::string("\x05\x01\x00\x03", 4) + static_cast<char>(Name.size()) + Name + Port2(Port);
}
std::string Login(const std::string& User, const std::string& Password) {
  return "\x01" + std::string(1, static_cast<char>(User.size())) + User + static_cast<char>(Password.size()) + Password;
}
const std::string Granted5 = Hex(std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x1f\x90", 10));

struct SocksCase {
  const char* Name;
  std::string Level;
  bool Login;
  std::string Script;    // the proxy's side; %REQ% stands for "read the request"
  Events Expected;       // up to and including the close, data folded into one "DataAvailable"
  std::string ClientSent;
  std::string Received = "";
};

}  // namespace

TEST_F(Socks, EveryProxyAnswerGivesItsEvents) {
  const std::string Target = "target.example";
  const std::string Req5 = Level5Request(Target, 8080);
  const std::string Req4 = std::string("\x04\x01", 2) + Port2(8080) + std::string("\x7f\x00\x00\x01", 4) + "joe" + '\0';
  const std::string Req4A =
      std::string("\x04\x01", 2) + Port2(8080) + std::string("\x00\x00\x00\x01", 4) + "joe" + '\0' + Target + '\0';
  const std::string Auth = Login("joe", "secret");
  const std::string R5 = "r" + std::to_string(Req5.size());
  const std::string RA = "r" + std::to_string(Auth.size());
  auto Failed = [](int Code, const std::string& Text) {
    const std::string C = std::to_string(Code);
    return Events{"SocksConnected(0)", "SocksError(" + C + "," + Text + ")", "SessionConnected(" + C + ")",
                  "SessionClosed(" + C + ")"};
  };
  auto FailedLogin = [&](int Code, const std::string& Text) {
    Events E = Failed(Code, Text);
    E.insert(E.begin() + 1, "AuthState(Begin)");
    return E;
  };
  const Events Ok5{"SocksConnected(0)", "SessionConnected(0)", "DataAvailable", "SessionClosed(0)"};
  std::vector<SocksCase> Cases = {
      {"5: granted, the method reply a byte at a time, 20 bytes behind the reply", "5", false,
       "r3 s0500 " + R5 + " w" + Granted5 + Hex("twenty bytes of data") + " c", Ok5, Greeting + Req5,
       "twenty bytes of data"},
      {"5: granted, the reply a byte at a time", "5", false, "r3 w0500 " + R5 + " s" + Granted5 + " c", Ok5,
       Greeting + Req5},
      {"5: login accepted", "5", true, "r3 w0502 " + RA + " w0100 " + R5 + " w" + Granted5 + Hex("hi") + " c",
       {"SocksConnected(0)", "AuthState(Begin)", "AuthState(Accepted)", "SessionConnected(0)", "DataAvailable",
        "SessionClosed(0)"},
       GreetingWithLogin + Auth + Req5, "hi"},
      {"5: login accepted, its reply a byte at a time", "5", true,
       "r3 s0502 " + RA + " s0100 " + R5 + " w" + Granted5 + " c",
       {"SocksConnected(0)", "AuthState(Begin)", "AuthState(Accepted)", "SessionConnected(0)", "DataAvailable",
        "SessionClosed(0)"},
       GreetingWithLogin + Auth + Req5},
      {"5: login refused", "5", true, "r3 w0502 " + RA + " w0101 h",
       {"SocksConnected(0)", "AuthState(Begin)", "SocksError(20015,socks authentication failed)",
        "SessionConnected(20015)", "SessionClosed(20015)"},
       GreetingWithLogin + Auth},
      {"5: the proxy closes during the login", "5", true, "r3 w0502 " + RA + " c",
       {"SocksConnected(0)", "AuthState(Begin)", "AuthState(Rejected)", "SessionClosed(0)"}, GreetingWithLogin + Auth},
      {"5: a login reply of three bytes", "5", true, "r3 w0502 " + RA + " w010000 h", FailedLogin(20001, "too much data availaible"),
       GreetingWithLogin + Auth},
      {"5: a login reply of another version", "5", true, "r3 w0502 " + RA + " w0500 h",
       FailedLogin(20002, "socks version error"), GreetingWithLogin + Auth},
      {"5: no login needed although offered", "5", true, "r3 w0500 " + R5 + " w" + Granted5 + " c",
       {"SocksConnected(0)", "AuthState(Unneeded)", "SessionConnected(0)", "DataAvailable", "SessionClosed(0)"},
       GreetingWithLogin + Req5},
      {"5: no acceptable method", "5", false, "r3 w05ff h", Failed(20003, "authentification method not acceptable"),
       Greeting},
      {"5: a method reply of another version", "5", false, "r3 w0400 h", Failed(20002, "socks version error"), Greeting},
      {"5: a reply of another version", "5", false, "r3 w0500 " + R5 + " w04000001 h",
       Failed(20002, "socks version error"), Greeting + Req5},
      {"5: an address of type 4", "5", false, "r3 w0500 " + R5 + " w050000040000 h",
       Failed(20011, "address type not supported"), Greeting + Req5},
      {"5: a bound name of 200 bytes cannot be collected and fails", "5", false,
       "r3 w0500 " + R5 + " w05000003c8" + Hex(std::string(200, 'n')) + "0050 h",
       Failed(20011, "address type not supported"), Greeting + Req5},
      {"4: granted, the reply a byte at a time", "4", false, "r" + std::to_string(Req4.size()) + " s005a000000000000 w6f6b c",
       Ok5, Req4, "ok"},
      {"4: request rejected", "4", false, "r" + std::to_string(Req4.size()) + " w005b000000000000 h",
       Failed(20016, "request rejected or failed"), Req4},
      {"4: connection refused", "4", false, "r" + std::to_string(Req4.size()) + " w005c000000000000 h",
       Failed(20008, "connection refused"), Req4},
      {"4: identification failed", "4", false, "r" + std::to_string(Req4.size()) + " w005d000000000000 h",
       Failed(20015, "authentification failed"), Req4},
      {"4: an unknown code", "4", false, "r" + std::to_string(Req4.size()) + " w005e000000000000 h",
       Failed(20012, "unassigned error #94"), Req4},
      {"4: a reply of another version", "4", false, "r" + std::to_string(Req4.size()) + " w045a000000000000 h",
       Failed(20002, "socks version error"), Req4},
      {"4A: the proxy resolves the name", "4A", false, "r" + std::to_string(Req4A.size()) + " w005a000000000000 c", Ok5,
       Req4A},
  };
  // SOCKS 5 reply codes 1 to 9.
  const char* const Texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                               "network unreachable",          "host unreachable",
                               "connection refused",           "time to live expired",
                               "command not supported",        "address type not supported",
                               "unassigned error #9"};
  for (int Code = 1; Code <= 9; ++Code) {
    Cases.push_back({"5: reply code", "5", false, "r3 w0500 " + R5 + " w050" + std::to_string(Code) + "0001 h",
                     Failed(Code == 9 ? 20012 : 20003 + Code, Texts[Code - 1]), Greeting + Req5});
  }
  for (const SocksCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    ScriptedProxy Proxy(C.Script);
    ASSERT_FALSE(Proxy.Port.empty());
    TWSocket S(nullptr);
    SocksLog Log;
    Log.Attach(S);
    S.SetAddr(C.Level == "4" ? "127.0.0.1" : Target);
    S.SetPort("8080");
    S.SetSocksServer("127.0.0.1");
    S.SetSocksPort(Proxy.Port);
    S.SetSocksLevel(C.Level);
    S.SetSocksUsercode("joe");
    S.SetSocksPassword("secret");
    if (C.Login) S.SetSocksAuthentication(socksAuthenticateUsercode);
    S.Connect();
    ASSERT_TRUE(PumpUntil([&] { return !Log.Seen.empty() && Log.Seen.back().rfind("SessionClosed", 0) == 0; }, 20000))
        << testing::PrintToString(Log.Seen);
    EXPECT_EQ(Log.Seen, C.Expected);
    EXPECT_EQ(Hex(Proxy.ClientBytes()), Hex(C.ClientSent));
    EXPECT_EQ(Log.Received, C.Received);
    if (!C.Received.empty() && C.Level == "5") EXPECT_EQ(Log.FirstRcvdCount, static_cast<int>(C.Received.size()));
    // The close resets the proxy settings.
    EXPECT_EQ(S.SocksServer(), "");
    EXPECT_EQ(S.SocksLevel(), "5");
  }
}

TEST_F(Socks, TheBoundAddressOfTheReplyIsKept) {
  const std::string Req = Level5Request("h", 1);
  ScriptedProxy Proxy("r3 w0500 r" + std::to_string(Req.size()) + " w05000003" + Hex("\x0dproxy.example") + "1f91 h");
  TWSocket S(nullptr);
  bool Connected = false;
  S.OnSessionConnected = [&](TObject*, std::uint16_t E) { Connected = E == 0; };
  S.SetAddr("h");
  S.SetPort("1");
  S.SetSocksServer("127.0.0.1");
  S.SetSocksPort(Proxy.Port);
  S.Connect();
  ASSERT_TRUE(PumpUntil([&] { return Connected; }));
  EXPECT_EQ(S.ProxyBoundAddr(), "proxy.example");
  EXPECT_EQ(S.ProxyBoundPort(), "8081");
  S.Close();
  EXPECT_EQ(Hex(Proxy.ClientBytes()), Hex(Greeting + Req));
}

TEST_F(Socks, PropertiesFollowTheirRules) {
  TWSocket S(nullptr);
  EXPECT_EQ(S.SocksLevel(), "5");
  const struct {
    const char* Written;
    const char* Stored;  // or the error
  } Levels[] = {{"4", "4"}, {"4a", "4A"}, {"4A", "4A"}, {"5", "5"},
                {"4b", "Invalid socks level. Must be 4, 4A or 5."}, {"", "Invalid socks level. Must be 4, 4A or 5."},
                {"6", "Invalid socks level. Must be 4, 4A or 5."}};
  for (const auto& L : Levels) {
    const std::string Error = ErrorOf([&] { S.SetSocksLevel(L.Written); });
    EXPECT_EQ(Error == "(nothing raised)" ? S.SocksLevel() : Error, L.Stored) << L.Written;
  }
  S.SetSocksServer("  proxy  ");
  EXPECT_EQ(S.SocksServer(), "proxy");
  S.SetProto("udp");
  S.SetAddr("127.0.0.1");
  S.SetPort("9");
  EXPECT_EQ(ErrorOf([&] { S.Connect(); }), "tcp is the only protocol supported thru socks server");
  EXPECT_EQ(ErrorOf([&] { S.Listen(); }), "Listening is not supported thru socks server");
  S.SetSocksServer("");  // unassigned again: listening is the plain one
  ListenOnLoopback(S);
  EXPECT_EQ(S.State(), wsListening);
  EXPECT_EQ(ErrorOf([&] { S.SetSocksServer("x"); }), "Can't change socks server if not closed");
  EXPECT_EQ(ErrorOf([&] { S.SetSocksPort("1"); }), "Can't change socks port if not closed");
  EXPECT_EQ(ErrorOf([&] { S.SetSocksLevel("4"); }), "Can't change socks level if not closed");
  S.Close();
}

// Requests are built in 128 bytes: what would not fit is refused before a
// socket exists, so nothing reaches the proxy.
TEST_F(Socks, ConnectRefusesRequestsThatDoNotFit) {
  const struct {
    const char* Level;
    bool Login;
    std::size_t User, Password, Name;
    bool Fits;
  } Cases[] = {
      {"5", false, 0, 0, 121, true},  {"5", false, 0, 0, 122, false},  {"5", true, 60, 65, 10, true},
      {"5", true, 60, 66, 10, false}, {"5", true, 255, 0, 10, false},  {"5", false, 200, 200, 10, true},
      {"4", false, 119, 0, 9, true},  {"4", false, 120, 0, 9, false},  {"4A", false, 100, 0, 18, true},
      {"4A", false, 100, 0, 19, false},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Level << " user " << C.User << " password " << C.Password << " name " << C.Name);
    TWSocket S(nullptr);
    S.SetAddr(std::string(C.Name, 'a'));
    S.SetPort("80");
    S.SetSocksServer("127.0.0.1");
    S.SetSocksPort(ClosedPort().empty() ? "1" : ClosedPort());
    S.SetSocksLevel(C.Level);
    S.SetSocksUsercode(std::string(C.User, 'u'));
    S.SetSocksPassword(std::string(C.Password, 'p'));
    if (C.Login) S.SetSocksAuthentication(socksAuthenticateUsercode);
    if (std::string(C.Level) == "4") S.SetAddr("127.0.0.1");
    int Errors = 0;
    S.OnError = [&](TObject*) { ++Errors; };
    S.Connect();
    EXPECT_EQ(Errors, C.Fits ? 0 : 1);
    EXPECT_EQ(S.HSocket() != InvalidSocket, C.Fits);
    S.Abort();
  }
  TWSocket S(nullptr);
  S.SetAddr(std::string(122, 'a'));
  S.SetPort("80");
  S.SetSocksServer("127.0.0.1");
  S.SetSocksPort("1080");
  EXPECT_EQ(ErrorOf([&] { S.Connect(); }),
            "Socks request too long: user code, password or host name does not fit (level 5)");
}

// Failures no proxy can cause: a read notification with an error during the
// negotiation, and a level 4 target that cannot be resolved.
TEST_F(Socks, FailuresOfTheClientSide) {
  {
    TFedSocket S;
    SocksLog Log;
    Log.Attach(S);
    S.SetAddr("target.example");
    S.SetPort("80");
    S.SetSocksServer("127.0.0.1");
    S.SetSocksPort(ClosedPort());
    S.Connect();
    S.FState = wsConnected;
    S.SessionConnected(0);
    EXPECT_EQ(Hex(S.Sent), Hex(Greeting));
    S.Arrive("", 10054);
    EXPECT_EQ(Log.Seen, (Events{"SocksConnected(0)", "SocksError(10054,data receive error)", "SessionConnected(10054)",
                                "SessionClosed(10054)"}));
  }
  {
    TFedSocket S;
    SocksLog Log;
    Log.Attach(S);
    S.SetAddr("no such host");
    S.SetPort("80");
    S.SetSocksServer("127.0.0.1");
    S.SetSocksPort(ClosedPort());
    S.SetSocksLevel("4");
    S.Connect();
    S.FState = wsConnected;
    S.SessionConnected(0);
    ASSERT_EQ(Log.Seen.size(), 3u) << testing::PrintToString(Log.Seen);
    EXPECT_EQ(Log.Seen[1].rfind("SocksError(20017,ESocketException ", 0), 0u) << Log.Seen[1];
    EXPECT_EQ(Log.Seen[2], "SessionClosed(20017)");
    EXPECT_EQ(S.Sent, "");
  }
}

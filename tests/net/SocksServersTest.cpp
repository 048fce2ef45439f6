// SOCKS through real servers that peer.py starts on loopback: Debian's
// danted (levels 4 and 5 without login) and microsocks (level 5, with and
// without a user). Each connection reaches peer.py's echo through the proxy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NetTestSupport.h"

using namespace nettest;

using SocksServers = PeerTest;

TEST_F(SocksServers, RealProxiesCarryAConnectionOrRefuseIt) {
  const struct {
    const char* Name;
    const char* PortVariable;
    const char* Level;
    const char* User;      // nullptr: no login offered
    const char* Password;
    int Error;             // 0: the echo comes back
    std::vector<std::string> AuthStates;
  } Cases[] = {
      {"danted, level 5", "DRAVIN_DANTE_PORT", "5", nullptr, nullptr, 0, {}},
      {"danted, level 4", "DRAVIN_DANTE_PORT", "4", nullptr, nullptr, 0, {}},
      {"microsocks without a user", "DRAVIN_MICROSOCKS_PORT", "5", nullptr, nullptr, 0, {}},
      {"microsocks, user accepted", "DRAVIN_MICROSOCKS_LOGIN_PORT", "5", "dravin", "s3cret", 0, {"Begin", "Accepted"}},
      {"microsocks, password refused", "DRAVIN_MICROSOCKS_LOGIN_PORT", "5", "dravin", "wrong", 20015, {"Begin"}},
      {"microsocks, a user required but none offered", "DRAVIN_MICROSOCKS_LOGIN_PORT", "5", nullptr, nullptr, 20003,
       {}},
  };
  const std::string Payload = Pattern(100000);
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string ProxyPort = PeerPort(C.PortVariable);
    ASSERT_FALSE(ProxyPort.empty()) << C.PortVariable << " is not set: is the server installed (make deps)?";
    TWSocket S(nullptr);
    S.SetAddr("127.0.0.1");
    S.SetPort(CommandPort());
    S.SetSocksServer("127.0.0.1");
    S.SetSocksPort(ProxyPort);
    S.SetSocksLevel(C.Level);
    if (C.User) {
      S.SetSocksAuthentication(socksAuthenticateUsercode);
      S.SetSocksUsercode(C.User);
      S.SetSocksPassword(C.Password);
    }
    std::vector<std::string> AuthStates;
    S.OnSocksAuthState = [&](TObject*, TSocksAuthState A) {
      static const char* const Names[] = {"Begin", "Accepted", "Rejected", "Unneeded"};
      AuthStates.push_back(Names[A]);
    };
    int SocksError = 0;
    S.OnSocksError = [&](TObject*, std::int32_t E, const std::string&) { SocksError = E; };
    int Connected = -1;
    bool Closed = false;
    std::string Echoed;
    S.OnSessionConnected = [&](TObject*, std::uint16_t E) {
      Connected = E;
      if (E == 0) {
        S.SendText("ECHO\r\n");
        S.SendText(Payload);
      }
    };
    S.OnDataAvailable = [&](TObject*, std::uint16_t) {
      char Buffer[8192];
      const int N = S.Receive(Buffer, sizeof Buffer);
      if (N > 0) Echoed.append(Buffer, static_cast<std::size_t>(N));
      if (Echoed.size() >= Payload.size()) S.CloseLater();
    };
    S.OnSessionClosed = [&](TObject*, std::uint16_t) { Closed = true; };
    S.Connect();
    ASSERT_TRUE(PumpUntil([&] { return Closed; }, 30000));
    EXPECT_EQ(Connected, C.Error);
    EXPECT_EQ(SocksError, C.Error);
    EXPECT_EQ(AuthStates, C.AuthStates);
    if (C.Error == 0) EXPECT_TRUE(Echoed == Payload) << Echoed.size() << " bytes came back";
  }
}

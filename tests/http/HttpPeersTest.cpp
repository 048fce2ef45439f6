// THttpCli against nginx and tinyproxy, started around this program by
// web_peers.py: what a real server and a real proxy make of our requests.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"

using namespace httptest;

namespace {

std::string Nginx(const std::string& Path) { return "http://127.0.0.1:" + Env("DRAVIN_NGINX_PORT") + Path; }

std::string Document(const std::string& Path) {
  std::string Name = Path;
  for (char& C : Name)
    if (C == '/') C = '\\';
  return testsupport::ReadFile(testsupport::BuildTreeFolder(Env("DRAVIN_WEB_ROOT")) + Name);
}

struct Client {
  THttpCli Http{nullptr};
  TMemoryStream Doc;
  Client() { Http.SetDocStream(&Doc); }
  std::uint16_t GetCode() {
    try {
      Http.Get();
    } catch (EHttpException& E) {
      return E.ErrorCode();
    }
    return static_cast<std::uint16_t>(Http.ResponseCode());
  }
};

TEST(HttpPeers, DocumentsOfEverySizeArriveWhole) {
  for (const char* Size : {"0", "1", "8191", "8192", "8193", "100000", "52428800"}) {
    Client C;
    const std::string Path = std::string("/doc/") + Size + ".bin";
    C.Http.SetURL(Nginx(Path));
    ASSERT_EQ(C.GetCode(), 200) << Size;
    const std::string Want = Document(Path);
    ASSERT_EQ(static_cast<std::size_t>(C.Doc.Size()), Want.size()) << Size;
    EXPECT_TRUE(StreamText(C.Doc) == Want) << Size << ": the bytes differ";
    EXPECT_EQ(C.Http.ContentLength(), static_cast<std::int32_t>(Want.size())) << Size;
    EXPECT_EQ(C.Http.ReceivedBytes(), static_cast<std::int32_t>(Want.size())) << Size;
    EXPECT_EQ(C.Http.DocumentName(), std::string(Size) + ".bin");
  }
}

TEST(HttpPeers, ConditionalAndPartialRequests) {
  {
    Client C;
    C.Http.SetURL(Nginx("/doc/100000.bin"));
    C.Http.SetModifiedSince(EncodeDate(2037, 1, 1));
    EXPECT_EQ(C.GetCode(), 304);
    EXPECT_EQ(C.Doc.Size(), 0);
  }
  {
    Client C;
    C.Http.SetURL(Nginx("/doc/100000.bin"));
    C.Http.SetContentRangeBegin("100");
    C.Http.SetContentRangeEnd("199");
    EXPECT_EQ(C.GetCode(), 206);
    EXPECT_EQ(C.Http.ContentRangeBegin(), "100");
    EXPECT_EQ(C.Http.ContentRangeEnd(), "199");
    EXPECT_TRUE(StreamText(C.Doc) == Document("/doc/100000.bin").substr(100, 100));
  }
}

TEST(HttpPeers, BasicAuthenticationAndCookies) {
  struct Case {
    const char* User;
    const char* Password;
    std::uint16_t Code;
  };
  for (const Case& K : {Case{"user", "secret", 200}, Case{"user", "wrong", 401}, Case{"", "", 401}}) {
    Client C;
    C.Http.SetURL(Nginx("/auth/a.bin"));
    C.Http.SetUsername(K.User);
    C.Http.SetPassword(K.Password);
    EXPECT_EQ(C.GetCode(), K.Code) << K.User << ":" << K.Password;
    if (K.Code == 200) {
      EXPECT_TRUE(StreamText(C.Doc) == Document("/auth/a.bin"));
    } else {
      EXPECT_EQ(C.Http.AuthChallenges().Text(), "Basic realm=\"dravin\"\r\n");
    }
  }
  Client C;
  std::vector<std::string> Cookies;
  C.Http.OnCookie = [&](TObject*, const std::string& Data, bool&) { Cookies.push_back(Data); };
  C.Http.SetURL(Nginx("/cookie/c.bin"));
  EXPECT_EQ(C.GetCode(), 200);
  EXPECT_EQ(Cookies, std::vector<std::string>{"sid=abc; Path=/"});
}

TEST(HttpPeers, APeerThatCutsOrHolds) {
  {
    // nginx sends 10 MB; the relay in front of it stops after 5 MB.
    Client C;
    C.Http.SetURL("http://127.0.0.1:" + Env("DRAVIN_CUT_PORT") + "/doc/10485760.bin");
    EXPECT_EQ(C.GetCode(), 404);
    EXPECT_EQ(C.Http.RequestError(), httperrDocumentIncomplete);
    EXPECT_EQ(C.Http.ResponseText().rfind("document incomplete: ", 0), 0u) << C.Http.ResponseText();
    EXPECT_LT(C.Http.ReceivedBytes(), 5 << 20);
    EXPECT_EQ(C.Http.ReceivedBytes(), C.Doc.Size());
  }
  // A server that keeps the connection open after the whole body, directly
  // and through tinyproxy: the request ends with the body, not at a time-out.
  for (const bool ThroughProxy : {false, true}) {
    Client C;
    int Done = 0;
    C.Http.OnRequestDone = [&](TObject*, THttpRequest, std::uint16_t Error) {
      EXPECT_EQ(Error, 0);
      ++Done;
    };
    C.Http.SetURL("http://127.0.0.1:" + Env("DRAVIN_HOLD_PORT") + "/held");
    if (ThroughProxy) {
      C.Http.SetProxy("127.0.0.1");
      C.Http.SetProxyPort(Env("DRAVIN_TINYPROXY_PORT"));
    }
    C.Http.GetASync();
    ASSERT_TRUE(PumpUntil([&] { return Done == 1; })) << ThroughProxy;
    EXPECT_EQ(StreamText(C.Doc), std::string(1000, 'h')) << ThroughProxy;
  }
}

TEST(HttpPeers, ThroughTinyproxy) {
  struct Case {
    const char* Port;
    const char* ProxyUser;
    std::uint16_t Code;
  };
  // The proxy only serves requests whose line carries the absolute URL.
  for (const Case& K : {Case{"DRAVIN_TINYPROXY_PORT", "", 200}, Case{"DRAVIN_AUTHPROXY_PORT", "puser", 200},
                        Case{"DRAVIN_AUTHPROXY_PORT", "", 407}}) {
    Client C;
    C.Http.SetURL(Nginx("/doc/100000.bin"));
    C.Http.SetProxy("127.0.0.1");
    C.Http.SetProxyPort(Env(K.Port));
    C.Http.SetProxyUsername(K.ProxyUser);
    C.Http.SetProxyPassword("ppass");
    EXPECT_EQ(C.GetCode(), K.Code) << K.Port << " " << K.ProxyUser;
    if (K.Code == 200) {
      EXPECT_TRUE(StreamText(C.Doc) == Document("/doc/100000.bin"));
    }
  }
}

}  // namespace

// Through danted, by the client's SOCKS properties: two documents in a row
// and a relocation, every connection through the proxy, every byte checked.
TEST(HttpPeers, ThroughDante) {
  const std::string Dante = Env("DRAVIN_DANTE_PORT");
  ASSERT_FALSE(Dante.empty()) << "danted did not start (make deps installs dante-server)";
  Client C;
  int ThroughProxy = 0;
  C.Http.OnSocksConnected = [&](TObject*, std::uint16_t Error) {
    EXPECT_EQ(Error, 0);
    ++ThroughProxy;
  };
  C.Http.SetSocksServer("127.0.0.1");
  C.Http.SetSocksPort(Dante);
  C.Http.SetSocksLevel("5");
  std::string Want;
  for (const char* Path : {"/doc/8193.bin", "/doc/100000.bin", "/moved/8192"}) {
    C.Http.SetURL(Nginx(Path));
    ASSERT_EQ(C.GetCode(), 200) << Path;
    Want += Document(std::string(Path) == "/moved/8192" ? "/doc/8192.bin" : Path);
  }
  EXPECT_EQ(static_cast<std::size_t>(C.Doc.Size()), Want.size());
  EXPECT_TRUE(StreamText(C.Doc) == Want) << "the bytes differ";
  EXPECT_EQ(ThroughProxy, 4);  // the relocation connects again
}

// The whole stack under failing calls of the socket library: a request of a
// small document from the scripted peer, by the name "localhost", is run once
// with every call counted, and then once for each call k with the k-th call
// failing as that function plausibly fails. Every run must end soon, with one
// OnRequestDone: the whole document and no error, or a failure; and no socket
// of the library may be left open.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <type_traits>

#include "HttpTestSupport.h"

using namespace httptest;
using namespace plat::sock;

namespace {

// One run's view of the library: its calls, the one that fails, the sockets
// it opened and has not closed.
struct Library {
  static inline int Calls = 0;
  static inline int FailAt = 0;
  static inline std::string Failed;
  static inline std::set<Socket> Open;
  // Whether this call, named Name, is the one to fail.
  static bool Fails(const char* Name) {
    if (++Calls != FailAt) return false;
    Failed = Name;
    return true;
  }
};

#define DRAVIN_REAL(Result, Name, Parameters, Arguments) Fn##Name Real##Name = nullptr;
DRAVIN_SOCKET_FUNCTIONS(DRAVIN_REAL)
#undef DRAVIN_REAL

// How each function plausibly fails; those not named here cannot fail.
const std::map<std::string, int> FailsWith = {
    {"WSACleanup", WsaSysCallFailure}, {"WSACancelAsyncRequest", WsaEInval}, {"WSAAsyncGetHostByAddr", 10055},
    {"WSAAsyncSelect", 10055},         {"getservbyname", WsaNoData},        {"getprotobyname", WsaNoData},
    {"gethostbyname", WsaHostNotFound}, {"socket", WsaEMFile},              {"bind", 10048},
    {"connect", WsaEConnRefused},      {"listen", WsaEInval},               {"accept", WsaEConnReset},
    {"shutdown", WsaENotConn},         {"closesocket", WsaEIntr},           {"send", 10055},
    {"sendto", 10055},                 {"recv", WsaEConnReset},             {"recvfrom", WsaEConnReset},
    {"setsockopt", 10055},             {"ioctlsocket", WsaENotSock},        {"getsockname", WsaEInval},
    {"getpeername", WsaENotConn},      {"inet_addr", 0},
};

// Counts the call; the FailAt-th one fails with its function's error, in
// the way that function reports a failure.
template <typename Result, typename Real>
Result Call(const char* Name, Real Pass) {
  const auto Failure = FailsWith.find(Name);
  if (!Library::Fails(Name) || Failure == FailsWith.end()) return Pass();
  if constexpr (std::is_void_v<Result>) {
    return;
  } else {
    if (Failure->second) RealWSASetLastError(Failure->second);
    if constexpr (std::is_pointer_v<Result>) return nullptr;
    else if constexpr (std::is_same_v<Result, Socket>) return InvalidSocket;
    else if constexpr (std::is_same_v<Result, std::uint32_t>) return InAddrNone;  // text that is no address
    else return static_cast<Result>(SocketError);
  }
}

#define DRAVIN_DOUBLE(Result, Name, Parameters, Arguments) \
  Result DRAVIN_WSAAPI Double##Name Parameters { return Call<Result>(#Name, [&] { return Real##Name Arguments; }); }
DRAVIN_SOCKET_FUNCTIONS(DRAVIN_DOUBLE)
#undef DRAVIN_DOUBLE

// The lookup starts, and its answer says that there is no such host.
AsyncHandle DRAVIN_WSAAPI LookupOfNothing(plat::WindowHandle W, unsigned M, const char* N, char* B, int L) {
  return RealWSAAsyncGetHostByName(W, M, Library::Fails("WSAAsyncGetHostByName") ? "no-such-host.invalid" : N, B, L);
}
Socket DRAVIN_WSAAPI RecordedSocket(int F, int T, int P) {
  const Socket S = Doublesocket(F, T, P);
  if (S != InvalidSocket) Library::Open.insert(S);
  return S;
}
// A close that fails has closed all the same: no handle may stay behind.
int DRAVIN_WSAAPI ClosingClose(Socket S) {
  const int Result = Realclosesocket(S);
  if (Result == 0) Library::Open.erase(S);
  return Call<int>("closesocket", [Result] { return Result; });
}

// Puts every double in place; the library forgets them when it is unloaded.
void InstallDoubles() {
#define DRAVIN_INSTALL(Result, Name, Parameters, Arguments) \
  Real##Name = reinterpret_cast<Fn##Name>(ReplaceSocketFunction(#Name, reinterpret_cast<void*>(&Double##Name)));
  DRAVIN_SOCKET_FUNCTIONS(DRAVIN_INSTALL)
#undef DRAVIN_INSTALL
  ReplaceSocketFunction("WSAAsyncGetHostByName", reinterpret_cast<void*>(&LookupOfNothing));
  ReplaceSocketFunction("socket", reinterpret_cast<void*>(&RecordedSocket));
  ReplaceSocketFunction("closesocket", reinterpret_cast<void*>(&ClosingClose));
}

struct Scenario {
  const char* Name;
  THttpRequest Request;
  std::string Path;
  std::string Document;
};

struct Outcome {
  bool Ended = false;
  int Done = 0;
  std::int32_t Error = -1;
  std::int32_t Code = 0;
  std::string Text;
  std::string Document;
  bool SocketsClosed = false;
};

// One run of the scenario with the FailAt-th call failing (0: none).
Outcome RunOnce(const Scenario& S, int FailAt) {
  Outcome O;
  Library::Calls = 0;
  Library::FailAt = FailAt;
  Library::Failed.clear();
  Library::Open.clear();
  {
    auto Http = std::make_unique<THttpCli>(nullptr);
    InstallDoubles();
    TMemoryStream Doc, Post;
    Post.WriteBuffer("posted", 6);
    Post.SetPosition(0);
    Http->SetDocStream(&Doc);
    Http->SetPostStream(&Post);
    Http->SetURL("http://localhost:" + PeerPort() + S.Path);
    Http->OnRequestDone = [&](TObject*, THttpRequest, std::uint16_t) { ++O.Done; };
    Http->StartRequest(S.Request);
    O.Ended = PumpUntil([&] { return O.Done > 0; }, 5000);
    // Anything that would still come of this request comes now.
    PumpUntil([] { return false; }, 20);
    O.Error = Http->RequestError();
    O.Code = Http->ResponseCode();
    O.Text = Http->ResponseText();
    O.Document = StreamText(Doc);
  }
  testsupport::DrainQueue();
  O.SocketsClosed = Library::Open.empty() && LiveSocketCount.load() == 0;
  return O;
}

TEST(Torture, EveryCallOfTheSocketLibraryFails) {
  const Scenario Scenarios[] = {
      {"GET", rqGet, "/s/ok/3000", Pattern(3000)},
      {"POST", rqPost, "/s/cookie", "ok"},
      {"relocated GET", rqGet, "/s/loc/" + Encode("/s/ok/3000"), Pattern(3000)},
  };
  int Runs = 0, Failing = 0;
  for (const Scenario& S : Scenarios) {
    const Outcome Clean = RunOnce(S, 0);
    ASSERT_TRUE(Clean.Ended) << S.Name;
    ASSERT_EQ(Clean.Error, 0) << S.Name << ": " << Clean.Text;
    ASSERT_TRUE(Clean.Document == S.Document) << S.Name;
    const int Count = Library::Calls;
    for (int K = 1; K <= Count; ++K) {
      const Outcome O = RunOnce(S, K);
      ++Runs;
      Failing += FailsWith.count(Library::Failed) > 0;
      const std::string Name = std::string(S.Name) + ", call " + std::to_string(K) + " (" + Library::Failed + ")";
      EXPECT_TRUE(O.Ended) << Name << ": no end";
      EXPECT_EQ(O.Done, O.Ended ? 1 : 0) << Name;
      if (O.Error == 0) {
        EXPECT_EQ(O.Code, 200) << Name;
        EXPECT_TRUE(O.Document == S.Document) << Name << ": a success with another document";
      } else {
        EXPECT_EQ(O.Code, 404) << Name << ": " << O.Text;
      }
      EXPECT_TRUE(O.SocketsClosed) << Name << ": a socket left open";
    }
    std::printf("torture %s: %d calls in a clean run\n", S.Name, Count);
  }
  std::printf("torture: %d runs, %d of them with a failing call\n", Runs, Failing);
}

}  // namespace

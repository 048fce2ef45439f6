// The whole stack under failing calls of the socket library: a request of a
// small document from the scripted peer, by the name "localhost", is run once
// with every call counted, and then once for each call k with the k-th call
// failing as that function plausibly fails. Every run must end soon, with one
// OnRequestDone: the whole document and no error, or a failure; and no socket
// of the library may be left open.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

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

constexpr int NoBuffers = 10055;
constexpr int AddressInUse = 10048;

// A failing call of the kind that reports SOCKET_ERROR and an error number.
int FailWith(int Error) {
  RealWSASetLastError(Error);
  return SocketError;
}

// The doubles. Functions that cannot fail are only counted.
int DRAVIN_WSAAPI DoubleWSAStartup(std::uint16_t V, WSAData* D) { return Library::Fails("WSAStartup") ? WsaSysCallFailure : RealWSAStartup(V, D); }
int DRAVIN_WSAAPI DoubleWSACleanup() { return Library::Fails("WSACleanup") ? FailWith(WsaSysCallFailure) : RealWSACleanup(); }
void DRAVIN_WSAAPI DoubleWSASetLastError(int E) { ++Library::Calls; RealWSASetLastError(E); }
int DRAVIN_WSAAPI DoubleWSAGetLastError() { ++Library::Calls; return RealWSAGetLastError(); }
int DRAVIN_WSAAPI DoubleWSACancelAsyncRequest(AsyncHandle R) {
  return Library::Fails("WSACancelAsyncRequest") ? FailWith(WsaEInval) : RealWSACancelAsyncRequest(R);
}
AsyncHandle DRAVIN_WSAAPI DoubleWSAAsyncGetHostByName(plat::WindowHandle W, unsigned M, const char* N, char* B, int L) {
  // The lookup starts, and its answer says that there is no such host.
  return RealWSAAsyncGetHostByName(W, M, Library::Fails("WSAAsyncGetHostByName") ? "no-such-host.invalid" : N, B, L);
}
AsyncHandle DRAVIN_WSAAPI DoubleWSAAsyncGetHostByAddr(plat::WindowHandle W, unsigned M, const char* A, int L, int T,
                                                      char* B, int BL) {
  if (Library::Fails("WSAAsyncGetHostByAddr")) {
    RealWSASetLastError(NoBuffers);
    return nullptr;
  }
  return RealWSAAsyncGetHostByAddr(W, M, A, L, T, B, BL);
}
int DRAVIN_WSAAPI DoubleWSAAsyncSelect(Socket S, plat::WindowHandle W, unsigned M, std::int32_t E) {
  return Library::Fails("WSAAsyncSelect") ? FailWith(NoBuffers) : RealWSAAsyncSelect(S, W, M, E);
}
ServEnt* DRAVIN_WSAAPI Doublegetservbyname(const char* N, const char* P) {
  if (!Library::Fails("getservbyname")) return Realgetservbyname(N, P);
  RealWSASetLastError(WsaNoData);
  return nullptr;
}
ProtoEnt* DRAVIN_WSAAPI Doublegetprotobyname(const char* N) {
  if (!Library::Fails("getprotobyname")) return Realgetprotobyname(N);
  RealWSASetLastError(WsaNoData);
  return nullptr;
}
HostEnt* DRAVIN_WSAAPI Doublegethostbyname(const char* N) {
  if (!Library::Fails("gethostbyname")) return Realgethostbyname(N);
  RealWSASetLastError(WsaHostNotFound);
  return nullptr;
}
Socket DRAVIN_WSAAPI Doublesocket(int F, int T, int P) {
  if (Library::Fails("socket")) {
    RealWSASetLastError(WsaEMFile);
    return InvalidSocket;
  }
  const Socket S = Realsocket(F, T, P);
  if (S != InvalidSocket) Library::Open.insert(S);
  return S;
}
int DRAVIN_WSAAPI Doublebind(Socket S, const SockAddr* A, int L) {
  return Library::Fails("bind") ? FailWith(AddressInUse) : Realbind(S, A, L);
}
int DRAVIN_WSAAPI Doubleconnect(Socket S, const SockAddr* A, int L) {
  return Library::Fails("connect") ? FailWith(WsaEConnRefused) : Realconnect(S, A, L);
}
int DRAVIN_WSAAPI Doublelisten(Socket S, int B) { return Library::Fails("listen") ? FailWith(WsaEInval) : Reallisten(S, B); }
Socket DRAVIN_WSAAPI Doubleaccept(Socket S, SockAddr* A, int* L) {
  if (!Library::Fails("accept")) return Realaccept(S, A, L);
  RealWSASetLastError(WsaEConnReset);
  return InvalidSocket;
}
int DRAVIN_WSAAPI Doubleshutdown(Socket S, int H) {
  return Library::Fails("shutdown") ? FailWith(WsaENotConn) : Realshutdown(S, H);
}
// A close that fails has closed all the same: no handle may stay behind.
int DRAVIN_WSAAPI Doubleclosesocket(Socket S) {
  const int R = Realclosesocket(S);
  if (R == 0) Library::Open.erase(S);
  return Library::Fails("closesocket") ? FailWith(WsaEIntr) : R;
}
int DRAVIN_WSAAPI Doublesend(Socket S, const char* D, int L, int F) {
  return Library::Fails("send") ? FailWith(NoBuffers) : Realsend(S, D, L, F);
}
int DRAVIN_WSAAPI Doublesendto(Socket S, const char* D, int L, int F, const SockAddr* T, int TL) {
  return Library::Fails("sendto") ? FailWith(NoBuffers) : Realsendto(S, D, L, F, T, TL);
}
int DRAVIN_WSAAPI Doublerecv(Socket S, char* B, int L, int F) {
  return Library::Fails("recv") ? FailWith(WsaEConnReset) : Realrecv(S, B, L, F);
}
int DRAVIN_WSAAPI Doublerecvfrom(Socket S, char* B, int L, int F, SockAddr* A, int* AL) {
  return Library::Fails("recvfrom") ? FailWith(WsaEConnReset) : Realrecvfrom(S, B, L, F, A, AL);
}
int DRAVIN_WSAAPI Doublesetsockopt(Socket S, int Lv, int N, const char* V, int L) {
  return Library::Fails("setsockopt") ? FailWith(NoBuffers) : Realsetsockopt(S, Lv, N, V, L);
}
int DRAVIN_WSAAPI Doubleioctlsocket(Socket S, std::int32_t C, std::uint32_t* A) {
  return Library::Fails("ioctlsocket") ? FailWith(WsaENotSock) : Realioctlsocket(S, C, A);
}
int DRAVIN_WSAAPI Doublegetsockname(Socket S, SockAddr* A, int* L) {
  return Library::Fails("getsockname") ? FailWith(WsaEInval) : Realgetsockname(S, A, L);
}
int DRAVIN_WSAAPI Doublegetpeername(Socket S, SockAddr* A, int* L) {
  return Library::Fails("getpeername") ? FailWith(WsaENotConn) : Realgetpeername(S, A, L);
}
std::uint16_t DRAVIN_WSAAPI Doublehtons(std::uint16_t V) { ++Library::Calls; return Realhtons(V); }
std::uint16_t DRAVIN_WSAAPI Doublentohs(std::uint16_t V) { ++Library::Calls; return Realntohs(V); }
// Text that is no address.
std::uint32_t DRAVIN_WSAAPI Doubleinet_addr(const char* T) {
  return Library::Fails("inet_addr") ? InAddrNone : Realinet_addr(T);
}
char* DRAVIN_WSAAPI Doubleinet_ntoa(InAddr A) { ++Library::Calls; return Realinet_ntoa(A); }

// Puts every double in place; the library forgets them when it is unloaded.
void InstallDoubles() {
#define DRAVIN_INSTALL(Result, Name, Parameters, Arguments) \
  Real##Name = reinterpret_cast<Fn##Name>(ReplaceSocketFunction(#Name, reinterpret_cast<void*>(&Double##Name)));
  DRAVIN_SOCKET_FUNCTIONS(DRAVIN_INSTALL)
#undef DRAVIN_INSTALL
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
  int Runs = 0;
  for (const Scenario& S : Scenarios) {
    const Outcome Clean = RunOnce(S, 0);
    ASSERT_TRUE(Clean.Ended) << S.Name;
    ASSERT_EQ(Clean.Error, 0) << S.Name << ": " << Clean.Text;
    ASSERT_TRUE(Clean.Document == S.Document) << S.Name;
    const int Count = Library::Calls;
    for (int K = 1; K <= Count; ++K) {
      const Outcome O = RunOnce(S, K);
      ++Runs;
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
  std::printf("torture: %d runs\n", Runs);
}

}  // namespace

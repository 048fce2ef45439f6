// Shared by the HTTP client tests: the scripted peer of http_peer.py, its
// record of every request, and a recorder of the client's events.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "HttpStandIn.h"
#include "TestSupport.h"
#include "http/HttpProt.h"
#include "net/NetTestSupport.h"

namespace httptest {

using nettest::PumpUntil;

inline std::string Env(const char* Name) { return nettest::PeerPort(Name); }
inline std::string PeerPort() { return Env("DRAVIN_HTTP_PEER_PORT"); }
inline std::string PeerUrl(const std::string& Path) { return "http://127.0.0.1:" + PeerPort() + Path; }

// Every byte but letters and digits percent-encoded: any bytes travel as one segment.
inline std::string Encode(const std::string& S) {
  std::string Out;
  for (unsigned char C : S) {
    if (std::isalnum(C)) Out += static_cast<char>(C);
    else Out += Format("%%%02X", C);
  }
  return Out;
}

// The requests the peer has read, in order, byte for byte.
class PeerRecord {
 public:
  PeerRecord() : FFolder(testsupport::BuildTreeFolder(Env("DRAVIN_HTTP_PEER_LOG"))), FStart(Count()) {}
  int Count() const {
    int N = 0;
    while (FileExists(Name(N + 1))) ++N;
    return N;
  }
  // Requests recorded since this object was made.
  std::vector<std::string> Requests() const {
    std::vector<std::string> R;
    for (int I = FStart + 1; I <= Count(); ++I) R.push_back(testsupport::ReadFile(Name(I)));
    return R;
  }
  std::string Last() const {
    const auto R = Requests();
    return R.empty() ? std::string() : R.back();
  }

 private:
  std::string Name(int N) const { return FFolder + "\\req-" + std::to_string(N); }
  std::string FFolder;
  int FStart;
};

inline const char* StateName(THttpClientState S) {
  static const char* const Names[] = {"hsIdle",     "hsPreparing",      "hsConnected",    "hsResolving",
                                      "hsResolved", "hsAwaitingHeader", "hsAwaitingBody", "hsAborting"};
  return Names[S];
}

// Every event of a client as text, in order.
struct EventLog {
  std::vector<std::string> Events;
  std::string Body;
  int RequestsDone = 0;
  int Pieces = 0;
  int LastDoneError = -1;

  void Attach(THttpCli& C) {
    C.OnStateChange = [this, &C](TObject*) { Events.push_back(std::string("State ") + StateName(C.State())); };
    C.OnSessionConnected = [this](TObject*) { Events.push_back("SessionConnected"); };
    C.OnRequestHeaderBegin = [this](TObject*) { Events.push_back("RequestHeaderBegin"); };
    C.OnBeforeHeaderSend = [this](TObject*, const std::string& M, TStrings&) { Events.push_back("BeforeHeaderSend " + M); };
    C.OnCommand = [this](TObject*, std::string& S) { Events.push_back("Command " + S.substr(0, S.find(' '))); };
    C.OnRequestHeaderEnd = [this](TObject*) { Events.push_back("RequestHeaderEnd"); };
    C.OnSendBegin = [this](TObject*) { Events.push_back("SendBegin"); };
    C.OnSendData = [this](TObject*, const void*, std::int32_t L) { Events.push_back("SendData " + std::to_string(L)); };
    C.OnSendEnd = [this](TObject*) { Events.push_back("SendEnd"); };
    C.OnHeaderBegin = [this](TObject*) { Events.push_back("HeaderBegin"); };
    C.OnHeaderData = [this](TObject*) { Events.push_back("HeaderData"); };
    C.OnHeaderEnd = [this](TObject*) { Events.push_back("HeaderEnd"); };
    C.OnLocationChange = [this, &C](TObject*) { Events.push_back("LocationChange " + C.Location()); };
    C.OnDocBegin = [this](TObject*) { Events.push_back("DocBegin"); };
    C.OnDocData = [this](TObject*, const void* B, std::int32_t L) {
      // How TCP cuts the body is not ours to compare: runs of pieces count once.
      if (Events.empty() || Events.back() != "DocData") Events.push_back("DocData");
      ++Pieces;
      Body.append(static_cast<const char*>(B), static_cast<std::size_t>(L));
    };
    C.OnDocEnd = [this](TObject*) { Events.push_back("DocEnd"); };
    C.OnRequestDone = [this](TObject*, THttpRequest, std::uint16_t E) {
      Events.push_back("RequestDone " + std::to_string(E));
      ++RequestsDone;
      LastDoneError = E;
    };
  }
  int CountOf(const std::string& E) const {
    int N = 0;
    for (const auto& X : Events) N += X == E;
    return N;
  }
};

// Runs a request to its end (OnRequestDone included) without the client's own wait.
inline bool RunAsync(THttpCli& C, EventLog& Log, THttpRequest R = rqGet) {
  const int Want = Log.RequestsDone + 1;
  C.StartRequest(R);
  return PumpUntil([&] { return Log.RequestsDone >= Want; });
}

using nettest::Pattern;

}  // namespace httptest

// A handler of the line and SOCKS layers may free the socket that called it:
// nothing may touch the object afterwards (the host build's AddressSanitizer
// sees any such touch).
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "FedSocket.h"
#include "NetTestSupport.h"

using namespace nettest;

using LayerReentry = PeerTest;

TEST_F(LayerReentry, AHandlerMayFreeTheSocketThatCalledIt) {
  using Arm = std::function<void(TFedSocket*, bool& Freed)>;
  const auto FreeIn = [](TFedSocket* S, bool& Freed) {
    return [S, &Freed] {
      Freed = true;
      delete S;
    };
  };
  const struct {
    const char* Name;
    Arm Prepare;  // sets the handler that frees, then brings the socket to where it fires
    std::string Bytes;
  } Cases[] = {
      {"the first of two lines", [&](TFedSocket* S, bool& F) {
         S->SetLineMode(true);
         S->OnDataAvailable = [Free = FreeIn(S, F)](TObject*, std::uint16_t) { Free(); };
       }, "one\r\ntwo\r\n"},
      {"a line read in part", [&](TFedSocket* S, bool& F) {
         S->SetLineMode(true);
         S->OnDataAvailable = [S, Free = FreeIn(S, F)](TObject*, std::uint16_t) {
           char C;
           S->Receive(&C, 1);
           Free();
         };
       }, "one\r\ntwo"},
      {"the line limit", [&](TFedSocket* S, bool& F) {
         S->SetLineMode(true);
         S->SetLineLimit(4);
         S->OnLineLimitExceeded = [Free = FreeIn(S, F)](TObject*, std::int32_t, bool&) { Free(); };
       }, "0123456789"},
      {"the echo's send", [&](TFedSocket* S, bool& F) {
         S->SetLineMode(true);
         S->SetLineEcho(true);
         S->OnSendData = [Free = FreeIn(S, F)](TObject*, std::int32_t) { Free(); };
       }, "ab\r\ncd\r\n"},
      {"the proxy's connection", [&](TFedSocket* S, bool& F) {
         S->OnSocksConnected = [Free = FreeIn(S, F)](TObject*, std::uint16_t) { Free(); };
         S->StartSocks("5");
       }, ""},
      {"a proxy's refusal", [&](TFedSocket* S, bool& F) {
         S->OnSocksError = [Free = FreeIn(S, F)](TObject*, std::int32_t, const std::string&) { Free(); };
         S->StartSocks("5");
       }, "\x05\xff"},
      {"a login not needed", [&](TFedSocket* S, bool& F) {
         S->OnSocksAuthState = [Free = FreeIn(S, F)](TObject*, TSocksAuthState) { Free(); };
         S->StartSocks("5", true);
       }, std::string("\x05\x00", 2)},
      {"a login accepted", [&](TFedSocket* S, bool& F) {
         S->OnSocksAuthState = [Free = FreeIn(S, F)](TObject*, TSocksAuthState A) {
           if (A == socksAuthAccepted) Free();
         };
         S->StartSocks("5", true);
         S->Feed("\x05\x02");  // the method reply comes alone
         S->DataAvailable(0);
       }, std::string("\x01\x00", 2)},
      {"the granted connection, data behind it", [&](TFedSocket* S, bool& F) {
         S->SetLineMode(true);
         S->OnSessionConnected = [Free = FreeIn(S, F)](TObject*, std::uint16_t) { Free(); };
         S->StartSocks("5");
         S->Feed(std::string("\x05\x00", 2));
         S->DataAvailable(0);
       }, std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50line\r\n", 16)},
      {"a level 4 grant", [&](TFedSocket* S, bool& F) {
         S->OnSessionConnected = [Free = FreeIn(S, F)](TObject*, std::uint16_t) { Free(); };
         S->StartSocks("4");
       }, std::string("\x00\x5a\x00\x00\x00\x00\x00\x00", 8)},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    bool Freed = false;
    auto* S = new TFedSocket;
    if (C.Name == std::string("the echo's send")) S->Attach();
    C.Prepare(S, Freed);
    if (!Freed) {
      S->Feed(C.Bytes);
      S->DataAvailable(0);  // the last touch of S here, whatever its handlers did
    }
    EXPECT_TRUE(Freed);
    if (!Freed) delete S;
    testsupport::DrainQueue();
  }
}

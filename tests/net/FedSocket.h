// A TWSocket whose "system" is a string: bytes put into Input arrive as if
// the system held them, and what the socket sends lands in Sent. It looks
// connected while attached, so echoes and SOCKS requests go out; it must not
// be closed through the system (it has no real handle).
#pragma once

#include <algorithm>
#include <string>

#include "net/WSocket.h"

namespace nettest {

class TFedSocket : public TWSocket {
 public:
  TFedSocket() : TWSocket(nullptr) {}
    // A socket that really connected is closed by the core as usual.
  ~TFedSocket() override {
    if (FHSocket == FakeHandle) Detach();
  }

  std::string Input;
  std::string Sent;

  void Attach() {
    FState = wsConnected;
    FHSocket = FakeHandle;
  }
  void Detach() {
    FState = wsClosed;
    FHSocket = plat::sock::InvalidSocket;
  }
  // Bytes that arrive with a read notification, handled as the system's
  // notification is (the core's event handling and receive loop). Like the
  // system, it notifies again while bytes wait and a receive took some.
  void Arrive(const std::string& Bytes, std::uint16_t Error = 0) {
    Input += Bytes;
    const TLifeCheck Life = LifeCheck();
    for (int Round = 0; Round < 100000; ++Round) {
      const long long Reads = LowerReads;
      TMessage M{Handle(), WM_SOCKET_EVENT, FHSocket, plat::sock::MakeSelectReply(plat::sock::FdRead, Error), 0};
      HandleNotification(M);
      if (!Life.Lives() || Input.empty() || LowerReads == Reads || FState != wsConnected) return;
      Error = 0;
    }
  }
  // Bytes the system holds from now on, without a notification.
  void Feed(const std::string& Bytes) { Input += Bytes; }
  // The peer's close as the core's close notification handles it, short of
  // closing the handle it does not have: what is held is delivered first.
  void Closed(std::uint16_t Error = 0) {
    const TLifeCheck Life = LifeCheck();
    ReceiveLoop(0, TWSocketOptions(ComponentOptions()).Exclude(wsoNoReceiveLoop));
    if (Life.Lives()) FireSessionClosed(Error);
  }
  // Makes the socket wait for its proxy's replies as if the connection to
  // the proxy had just come up (Level "4", "4A" or "5"); what it sends goes
  // to Sent.
  void StartSocks(const std::string& Level, bool Login = false) {
    SetAddr(Level == "4" ? "127.0.0.1" : "target.example");
    SetPort("80");
    SetSocksServer("127.0.0.1");
    SetSocksPort("1");  // nothing listens: the connection is never made for real
    SetSocksLevel(Level);
    SetSocksUsercode("user");
    SetSocksPassword("password");
    if (Login) SetSocksAuthentication(socksAuthenticateUsercode);
    Connect();
    FState = wsConnected;
    FireSessionConnected(0);
  }
  bool DataAvailable(std::uint16_t Error) { return FireDataAvailable(Error); }
  void SessionConnected(std::uint16_t Error) { FireSessionConnected(Error); }
  using TWSocket::FState;
  bool InNegotiation() const { return Negotiating(); }
  long long LowerReads = 0;  // receives that asked the "system"

 protected:
  int QueryPending(std::uint32_t& Pending) override {
    Pending = static_cast<std::uint32_t>(Input.size());
    return 0;
  }
  int LowerRecv(void* Buffer, int Length, int) override {
    ++LowerReads;
    if (Input.empty()) {
      wsock::WSASetLastError(plat::sock::WsaEWouldBlock);
      return -1;
    }
    const std::size_t N = std::min(Input.size(), static_cast<std::size_t>(Length < 0 ? 0 : Length));
    Input.copy(static_cast<char*>(Buffer), N);
    Input.erase(0, N);
    return static_cast<int>(N);
  }
  int SendBlock(const void* Data, int Length) override {
    Sent.append(static_cast<const char*>(Data), static_cast<std::size_t>(Length));
    Fire(OnSendData, this, Length);
    return Length;
  }

 private:
  static constexpr plat::sock::Socket FakeHandle = static_cast<plat::sock::Socket>(0x7ffe);
};

}  // namespace nettest

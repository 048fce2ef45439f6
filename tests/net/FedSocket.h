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
  // A read notification for Bytes, delivered as the core's receive loop does:
  // again while bytes are held and a pass took some.
  void Arrive(const std::string& Bytes, std::uint16_t Error = 0) {
    Input += Bytes;
    do {
      const std::size_t Before = Input.size();
      FireDataAvailable(Error);
      if (Input.size() == Before) break;
    } while (!Input.empty());
  }
  // Bytes the system holds from now on, without a notification.
  void Feed(const std::string& Bytes) { Input += Bytes; }
  void Closed(std::uint16_t Error = 0) { FireSessionClosed(Error); }
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

 protected:
  std::int32_t LowerRcvdCount() override { return static_cast<std::int32_t>(Input.size()); }
  int LowerRecv(void* Buffer, int Length, int) override {
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

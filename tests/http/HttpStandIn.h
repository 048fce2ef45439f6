// A client whose socket is a stand-in: the reception path is fed from a
// string, cut wherever the caller likes, without a network.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/MessagePump.h"
#include "http/HttpProt.h"

namespace httptest {

// Runs what is queued for this thread's windows (the client's own notifications).
inline void RunQueued() { ProcessThreadMessages(TQuitRule::Drop); }

inline std::string StreamText(TMemoryStream& S) {
  return std::string(reinterpret_cast<const char*>(S.Memory()), static_cast<std::size_t>(S.Size()));
}

class TStandInSocket : public TWSocket {
 public:
  TStandInSocket() : TWSocket(nullptr) {}
  std::string Pending;  // what the next Receive calls hand out
  std::string Sent;

  void Open() { FState = wsConnected; }
  void DnsLookup(const std::string&) override {}
  void Connect() override {}
  int Send(const void* Data, int Length) override {
    Sent.append(static_cast<const char*>(Data), static_cast<std::size_t>(Length));
    return Length;
  }
  int Receive(void* Buffer, int Length) override {
    const int N = std::min(Length, static_cast<int>(Pending.size()));
    std::memcpy(Buffer, Pending.data(), static_cast<std::size_t>(N));
    Pending.erase(0, static_cast<std::size_t>(N));
    return N;
  }
  void Close() override { Drop(0); }
  // The connection ends, by a reset when Error is not 0.
  void Drop(std::uint16_t Error) {
    if (FState == wsClosed) return;
    FState = wsClosed;
    Fire(OnSessionClosed, this, Error);
  }
};

class TStandInClient : public THttpCli {
 public:
  TStandInClient() : TStandInClient(new TStandInSocket) {}
  TStandInSocket& Socket() { return *FSocket; }
  bool Raised = false;  // a data notification ended in an exception

  // Starts a request that is connected at once and has sent its request.
  void Begin(THttpRequest Request = rqGet) {
    FSocket->Pending.clear();
    Raised = false;
    StartRequest(Request);
    FSocket->Open();
    SocketSessionConnected(FSocket, 0);
  }
  // One data notification as the socket layer gives it: the handler is
  // called while bytes wait, and what it raises ends this delivery.
  void Arrive(const std::string& Bytes) {
    FSocket->Pending += Bytes;
    try {
      while (!FSocket->Pending.empty() && FSocket->State() != wsClosed) {
        const std::size_t Before = FSocket->Pending.size();
        SocketDataAvailable(FSocket, 0);
        if (FSocket->Pending.size() == Before) break;
      }
    } catch (Exception&) {
      Raised = true;
    }
  }
  // The peer closes (or resets, with an Error); then the client's own
  // notifications run.
  void End(std::uint16_t Error = 0) {
    FSocket->Drop(Error);
    RunQueued();
    if (State() != hsIdle) Abort();
    RunQueued();
  }

 private:
  explicit TStandInClient(TStandInSocket* S) : THttpCli(nullptr, S), FSocket(S) {}
  TStandInSocket* FSocket;
};

}  // namespace httptest

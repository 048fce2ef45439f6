// The event path: notifications, the receive loop, the send chain and reads.
#include "net/CustomWSocket.h"

#include <utility>

using namespace plat::sock;

namespace {

bool IsClosingSendError(int Code) {
  return Code == WsaEInval || Code == WsaENotSock || Code == WsaEConnAborted || Code == WsaEConnReset ||
         Code == WsaENotConn;
}

}  // namespace

// ---------------------------------------------------------------------------
// Notifications

void TCustomWSocket::HandleNotification(TMessage& Msg) {
  const TLifeCheck Life = LifeCheck();
  try {
    switch (Msg.Msg) {
      case WM_SOCKET_EVENT: HandleSocketEvent(Msg); break;
      case WM_NAME_LOOKUP_DONE: HandleNameLookupDone(Msg); break;
      case WM_ADDR_LOOKUP_DONE: HandleAddrLookupDone(Msg); break;
      case WM_CLOSE_LATER: Close(); break;
      case WM_FREE_LATER: delete this; return;
      case WM_RAISE_TEST: throw ESocketException("Test exception in WSocket");
      default: DefaultHandler(Msg);
    }
  } catch (Exception& E) {
    if (Life.Lives()) HandleEventException(E);
  }
}

void TCustomWSocket::HandleSocketEvent(TMessage& Msg) {
  const Socket S = static_cast<Socket>(Msg.wParam);
  if (S == InvalidSocket || S != FHSocket || FEventsSuspended) return;
  const std::uint16_t Event = SelectEvent(Msg.lParam);
  const std::uint16_t Error = SelectError(Msg.lParam);
  // Every step may close the connection, start the next one or free the
  // socket: what follows a step is for the same connection only.
  const TConnectionCheck Connection = ConnectionCheck();
  const auto Same = [&] { return Connection.Holds(); };
  if ((Event & FdConnect) && FState != wsConnected) {
    SetState(wsConnected);
    if (!Same()) return;
    FireSessionConnected(Error);
    if (!Same()) return;
    if (Error != 0 && FState != wsClosed) {
      Close();
      return;
    }
  }
  if (Event & FdRead) {
    if (FState != wsConnected) {
      SetState(wsConnected);
      if (!Same()) return;
      FireSessionConnected(Error);
      if (!Same()) return;
    }
    ReceiveLoop(Error, FComponentOptions);
    if (!Same()) return;
  }
  if (Event & FdWrite) {
    TryToSend();
    if (!Same()) return;
    if (FSendDone) {
      FireDataSent(Error);
      if (!Same()) return;
    }
  }
  if (Event & FdAccept) {
    FireSessionAvailable(Error);
    if (!Same()) return;
  }
  if ((Event & FdClose) && FState != wsConnecting) {
    // Whatever is still held is delivered before the close is.
    ReceiveLoop(0, TWSocketOptions(FComponentOptions).Exclude(wsoNoReceiveLoop));
    if (!Same()) return;
    if (!FCloseReported) {
      FCloseReported = true;
      FireSessionClosed(Error);
      if (!Same()) return;
    }
    if (FState != wsClosed) Close();
  }
}

void TCustomWSocket::ReceiveLoop(std::uint16_t Error, TWSocketOptions Options) {
  const TConnectionCheck Connection = ConnectionCheck();
  for (;;) {
    FLastError = 0;
    const std::int32_t ReadBefore = FReadCount;
    const std::int32_t HeldBefore = HeldCount();
    bool Discarded = false;
    try {
      if (!FireDataAvailable(Error)) {
        char Discard[1024];
        const int Count = RawRecv(Discard, sizeof Discard, 0);
        if (Count < 0 && wsock::WSAGetLastError() == WsaEWouldBlock) {
          FLastError = 0;
          break;
        }
        Discarded = Count > 0;
      }
    } catch (...) {
      // A failing data handler ends this delivery and nothing else, whatever
      // it raised: the close that may follow must still be reported.
      return;
    }
    // A handler that closed the connection (or freed the socket) ends it.
    if (!Connection.Holds()) return;
    if (Options.Contains(wsoNoReceiveLoop) || FLastError != 0) break;
    // A pass that took nothing would take nothing again: the bytes wait for
    // the next notification (on Windows, that may be the close).
    if (!Discarded && FReadCount == ReadBefore && HeldCount() == HeldBefore) break;
    std::uint32_t Pending = 0;
    if (const int Failed = QueryPending(Pending)) {
      FLastError = Failed;
      break;
    }
    // Bytes a layer above holds (a proxy's leftovers) are delivered like
    // the system's: nothing else would ever ask for them again.
    if (Pending == 0 && HeldCount() <= 0) break;
  }
}

// ---------------------------------------------------------------------------
// Sending

void TCustomWSocket::QueueSendData(const void* Data, int Length) {
  if (FSocketType != SockDgram) {
    QueueBlocks(FSendChain, FSendBlockSize, Data, Length);
    return;
  }
  // A datagram is one block of exactly its length, never merged with the
  // next nor split; an emptied block before it has nothing to keep.
  if (Length <= 0) return;
  if (!FSendChain.empty()) {
    int Held;
    FSendChain.back()->Peek(Held);
    if (Held == 0) FSendChain.pop_back();
  }
  FSendChain.push_back(std::make_unique<TBuffer>(Length));
  FSendChain.back()->Write(Data, Length);
}

void TCustomWSocket::DiscardSendQueue() { FSendChain.clear(); }

void TCustomWSocket::DiscardConnection() {
  DiscardSendQueue();
  FSendDone = true;
  FCloseReported = false;
}

int TCustomWSocket::SendBlock(const void* Data, int Length) {
  const char* Bytes = static_cast<const char*>(Data);
  const int Count = FSocketType == SockDgram
                        ? wsock::sendto(FHSocket, Bytes, Length, FSendFlagBits,
                                        reinterpret_cast<const SockAddr*>(&FSin), sizeof FSin)
                        : wsock::send(FHSocket, Bytes, Length, FSendFlagBits);
  if (Count > 0) {
    if (TBuffer* From = std::exchange(FSendingFrom, nullptr)) From->Remove(FSocketType == SockDgram ? Length : Count);
    Fire(OnSendData, this, Count);
  }
  return Count;
}

void TCustomWSocket::TryToSend() {
  // A handler of OnSendData that sends more only queues it: the running
  // drain takes it, without nesting a drain per send call.
  if (FDraining == 0) Drain();
}

void TCustomWSocket::Drain() {
  if (FHSocket == InvalidSocket || FSendChain.empty()) return;
  const TLifeCheck Life = LifeCheck();
  ++FDraining;
  struct Done {
    const TLifeCheck& Life;
    int& Draining;
    ~Done() {
      if (Life.Lives()) --Draining;
    }
  } Leave{Life, FDraining};
  for (;;) {
    if (FHSocket == InvalidSocket || FSendChain.empty()) return;
    TBuffer* Front = FSendChain.front().get();
    int Length;
    const char* Data = Front->Peek(Length);
    if (Length <= 0) {
      if (FSendChain.size() == 1) {
        FSendDone = true;
        return;
      }
      FSendChain.pop_front();
      continue;
    }
    // A datagram leaves whole or not at all: what the call took of it is
    // all of it.
    const bool Datagram = FSocketType == SockDgram;
    FSendingFrom = Front;
    const int Count = SendBlock(Data, Length);
    const int Error = Count < 0 ? wsock::WSAGetLastError() : 0;
    // OnSendData may have closed, flushed or freed the socket: nothing read
    // before the call is trusted after it.
    if (!Life.Lives()) return;
    if (FSendingFrom) {
      if (Count > 0 || (Datagram && Count == 0)) FSendingFrom->Remove(Datagram ? Length : Count);
      FSendingFrom = nullptr;
    }
    if (Count == 0 && !Datagram) return;
    if (Count < 0) {
      if (Error == WsaEWouldBlock) return;
      if (IsClosingSendError(Error)) {
        // Reported once per connection: a send from the handler of the
        // close report meets the same end.
        const bool Reported = FCloseReported;
        FCloseReported = true;
        Close();
        if (Life.Lives() && !Reported) FireSessionClosed(static_cast<std::uint16_t>(Error));
        return;
      }
      // A datagram the system refuses (one too long, say) is dropped: kept,
      // it would be refused again, and the ones behind it with it.
      if (Datagram && !FSendChain.empty() && FSendChain.front().get() == Front) Front->Remove(Length);
      ReportSocketError("TryToSend failed", Error);
      return;
    }
    // A send that took only part goes on with the rest: the system promises
    // a write notification only after a send has failed with would-block.
  }
}

int TCustomWSocket::Send(const void* Data, int Length) {
  if (FState != wsConnected) {
    wsock::WSASetLastError(WsaENotConn);
    ReportSocketError("Send", WsaENotConn);
    return -1;
  }
  FSendDone = false;
  if (Length <= 0) Length = 0;
  else QueueSendData(Data, Length);
  const TLifeCheck Life = LifeCheck();
  const std::uint32_t Closed = FClosedHandles;
  TryToSend();
  // Whatever went out at once is reported from the message loop, never from
  // inside Send; a connection closed meanwhile has nothing more to report.
  if (Life.Lives() && FSendDone && FClosedHandles == Closed)
    plat::PostMessage(FWindowHandle, WM_SOCKET_EVENT, FHSocket, MakeSelectReply(FdWrite, 0));
  return Length;
}

int TCustomWSocket::SendText(const std::string& Text) {
  if (Text.empty()) return 0;
  return Send(Text.data(), static_cast<int>(Text.size()));
}

void TCustomWSocket::Flush() {
  // An empty chain has nothing to flush, though SendDone may be false after
  // a Send of nothing. Called from OnSendData, Flush drains the chain itself:
  // the drain that fired the event waits for the handler to return.
  const TLifeCheck Life = LifeCheck();
  while (FHSocket != InvalidSocket && !FSendDone && !FSendChain.empty()) {
    Drain();
    if (!Life.Lives() || FHSocket == InvalidSocket || FSendDone) return;
    PumpSocketMessages();
    if (!Life.Lives()) return;
  }
}

// ---------------------------------------------------------------------------
// Receiving

int TCustomWSocket::RawRecv(void* Buffer, int Length, int Flags) {
  return wsock::recv(FHSocket, static_cast<char*>(Buffer), Length, Flags);
}

int TCustomWSocket::Receive(void* Buffer, int Length) {
  const int Count = RawRecv(Buffer, Length, 0);
  if (Count < 0) FLastError = wsock::WSAGetLastError();
  else FReadCount += Count;
  return Count;
}

std::string TCustomWSocket::ReceiveText() {
  int N = RcvdCount();
  if (N < 0) return std::string();
  if (N == 0) N = 255;
  std::string Text(static_cast<std::size_t>(N), '\0');
  const int Count = Receive(Text.data(), N);
  if (Count < 1) return std::string();
  Text.resize(static_cast<std::size_t>(Count));
  return Text;
}

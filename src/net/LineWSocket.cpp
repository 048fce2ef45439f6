#include "net/LineWSocket.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <tuple>

// The bytes held begin at FFront of the area: what a handler reads leaves
// the front by moving it, never by moving the bytes behind (a read of 800
// lines would otherwise move the rest of the read 800 times). They move to
// the start of the area only before new bytes are read in behind them.
// While a line is delivered, its unread rest is first (FLineLength bytes),
// then the bytes that came behind it; the line is gone once its last byte is
// read.

TCustomLineWSocket::TCustomLineWSocket(TComponent* AOwner) : TCustomSocksWSocket(AOwner) {}

void TCustomLineWSocket::SetLineMode(bool Value) {
  if (FLineMode == Value) return;
  FLineMode = Value;
  // The rest of the line, then what followed it, is what plain reads get
  // next: from now on, also inside the handler that switched. They lie in
  // that order at the front already.
  if (!Value) FLineLength = 0;
  if ((FAreaCount > 0 || FLineLength > 0) && Handle()) plat::PostMessage(Handle(), WM_LINE_REDELIVER, 0, 0);
}

std::int32_t TCustomLineWSocket::RcvdCount() {
  if (FLineMode) return FLineLength;
  return TCustomSocksWSocket::RcvdCount();
}

void TCustomLineWSocket::EnsureArea(std::size_t Size) {
  if (FArea.size() < Size) FArea.resize(Size);
}

void TCustomLineWSocket::DropArea() {
  std::vector<char>().swap(FArea);
  FFront = 0;
  FAreaCount = 0;
  FLineLength = 0;
  ++FAreaEpoch;
}

void TCustomLineWSocket::Compact() {
  if (FFront == 0) return;
  // The zero byte behind the held bytes comes along.
  std::memmove(FArea.data(), Held(), static_cast<std::size_t>(FAreaCount) + 1);
  FFront = 0;
}

void TCustomLineWSocket::Consume(std::int32_t Count) {
  FFront += Count;
  FAreaCount -= Count;
  if (FAreaCount > 0) return;
  FFront = 0;
  FArea[0] = 0;
}

void TCustomLineWSocket::RemoveLine() {
  Consume(FLineLength);
  FLineLength = 0;
}

int TCustomLineWSocket::RawRecv(void* Buffer, int Length, int Flags) {
  // The layer's own reads take what comes next from below.
  if (FReadingBelow) return TCustomSocksWSocket::RawRecv(Buffer, Length, Flags);
  const std::int32_t Ready = FLineMode ? FLineLength : FAreaCount;
  if (Ready <= 0) {
    // Bytes held without a complete line come before anything the system
    // holds: a read from there would overtake them. They come as lines.
    if (FLineMode && FAreaCount > 0) {
      wsock::WSASetLastError(plat::sock::WsaEWouldBlock);
      return -1;
    }
    return TCustomSocksWSocket::RawRecv(Buffer, Length, Flags);
  }
  const std::int32_t Count = std::max(0, std::min<std::int32_t>(Length, Ready));
  std::memcpy(Buffer, Held(), static_cast<std::size_t>(Count));
  // What is read of the line leaves the area at once, so that a plain read
  // in the same handler (after switching line mode off) gets what follows.
  if (FLineMode) FLineLength -= Count;
  Consume(Count);
  return Count;
}

bool TCustomLineWSocket::Echo(const char* Data, std::size_t Length) {
  const TLifeCheck Life = LifeCheck();
  try {
    Send(Data, static_cast<int>(Length));
  } catch (Exception&) {
    // A connection that cannot take the echo is closing; the bytes received
    // are still delivered.
  }
  return Life.Lives();
}

bool TCustomLineWSocket::FireDataAvailable(std::uint16_t Error) {
  if (!CutsLines()) return TCustomSocksWSocket::FireDataAvailable(Error);
  std::int32_t N = TCustomSocksWSocket::RcvdCount();
  if (N < 0) return true;
  if (N == 0) N = 255;
  Compact();
  EnsureArea(static_cast<std::size_t>(FAreaCount) + static_cast<std::size_t>(N) + 1);
  // The new bytes come from below the area and the line being delivered, if
  // there is one (a handler further up may be pumping messages).
  FReadingBelow = true;
  std::int32_t Count = Receive(Held() + FAreaCount, N);
  FReadingBelow = false;
  if (Count < 1) return true;
  Held()[FAreaCount + Count] = 0;
  const TLifeCheck Life = LifeCheck();
  const std::uint32_t Epoch = FAreaEpoch;
  if (FLineEdit) ApplyLineEditing(Count);
  else if (FLineEcho) Echo(Held() + FAreaCount, static_cast<std::size_t>(Count));
  if (!Life.Lives() || Epoch != FAreaEpoch) return true;  // the echo closed or freed the socket
  // A marker split across two reads is found from its first byte on.
  const std::int32_t Start = std::max<std::int32_t>(0, FAreaCount - static_cast<std::int32_t>(FLineEnd.size()));
  FAreaCount += Count;
  // A delivery further up searches again once its line is read.
  if (!FDelivering && !DeliverLines(Start)) return true;
  // A handler that switched line mode off reads what follows plainly, all
  // of it: no limit of lines applies to it any more.
  if (!CutsLines()) return true;
  CheckLimit();
  return true;
}

bool TCustomLineWSocket::DeliverLines(std::int32_t Start) {
  // A line its handler left unread is delivered again first.
  if (FLineLength > 0) {
    if (!DeliverLine()) return false;
    if (FLineLength > 0) return true;
    Start = 0;
  }
  while (CutsLines()) {
    // The library's search looks for the marker's first byte with memchr.
    const std::size_t Found =
        std::string_view(Held(), static_cast<std::size_t>(FAreaCount)).find(FLineEnd, static_cast<std::size_t>(Start));
    if (Found == std::string_view::npos) break;
    FLineLength = static_cast<std::int32_t>(Found + FLineEnd.size());
    if (!DeliverLine()) return false;
    if (FLineLength > 0) break;
    Start = 0;
  }
  return true;
}

bool TCustomLineWSocket::DeliverLine() {
  const TLifeCheck Life = LifeCheck();
  const std::uint32_t Epoch = FAreaEpoch;
  const bool Outer = FDelivering;
  FDelivering = true;
  try {
    while (FLineMode && FLineLength > 0) {
      const std::int32_t Unread = FLineLength;
      const bool Taken = TCustomSocksWSocket::FireDataAvailable(0);
      if (!Life.Lives()) return false;
      if (Epoch != FAreaEpoch) {
        FDelivering = Outer;
        return false;
      }
      if (!Taken) {
        // Nobody reads: the line is dropped.
        char Discard[256];
        while (FLineMode && FLineLength > 0) RawRecv(Discard, sizeof Discard, 0);
      } else if (FLineMode && FLineLength == Unread) {
        // A handler that read nothing would read nothing again: the line
        // waits, first in the area, for the next notification.
        break;
      }
    }
  } catch (...) {
    // The exception ends this line's delivery, and nothing else: the rest of
    // the line goes with it, and the lines behind it come from the loop.
    if (Life.Lives()) {
      FDelivering = Outer;
      if (Epoch == FAreaEpoch && FLineMode && FLineLength > 0) RemoveLine();
      if (FAreaCount > 0 && Handle()) plat::PostMessage(Handle(), WM_LINE_REDELIVER, 0, 0);
    }
    throw;
  }
  FDelivering = Outer;
  return true;
}

void TCustomLineWSocket::CheckLimit() {
  if (FLineLimit <= 0 || FAreaCount <= FLineLimit) return;
  const TLifeCheck Life = LifeCheck();
  const std::uint32_t Epoch = FAreaEpoch;
  FClearData = true;
  FireLineLimitExceeded(FAreaCount, FClearData);
  if (!Life.Lives()) return;
  const bool Clear = FClearData;
  FClearData = false;
  if (!Clear || Epoch != FAreaEpoch) return;
  FLineLength = 0;
  Consume(FAreaCount);
  ++FAreaEpoch;
}

void TCustomLineWSocket::FireLineLimitExceeded(std::int32_t Count, bool& ClearData) {
  if (OnLineLimitExceeded) OnLineLimitExceeded(this, Count, ClearData);
}

void TCustomLineWSocket::ApplyLineEditing(std::int32_t& Count) {
  const std::int32_t Start = FAreaCount;
  // Below this lies a line a handler further up is reading: not to be erased.
  const std::int32_t Floor = FDelivering ? FLineLength : 0;
  std::int32_t Write = Start;
  std::int32_t Lowest = Start;
  std::vector<char> Copy;
  bool Edited = false;
  std::string EchoBytes;
  auto Put = [&](char C) {
    if (static_cast<std::size_t>(Write) >= Copy.size()) Copy.resize(Copy.size() + 256);
    Copy[static_cast<std::size_t>(Write++)] = C;
  };
  for (std::int32_t Source = Start; Source < Start + Count; ++Source) {
    const char C = Held()[Source];
    if ((C == '\b' || C == '\t') && !Edited) {
      Edited = true;
      Copy.assign(static_cast<std::size_t>((Start + Count + 256) / 256 * 256), 0);
      std::memcpy(Copy.data(), Held(), static_cast<std::size_t>(Source));
    }
    if (C == '\b') {
      if (Write > Floor) {
        if (FLineEcho) EchoBytes += "\b \b";
        --Write;
        Lowest = std::min(Lowest, Write);
      }
    } else if (C == '\t') {
      do {
        Put(' ');
        if (FLineEcho) EchoBytes += ' ';
      } while ((Write - Floor) % 8 != 0);
    } else {
      if (FLineEcho) EchoBytes += C;
      if (Edited) Put(C);
      else ++Write;
    }
  }
  if (Edited) {
    EnsureArea(static_cast<std::size_t>(FFront + Write) + 1);
    std::memcpy(Held(), Copy.data(), static_cast<std::size_t>(Write));
    Held()[Write] = 0;
    FAreaCount = Lowest;
    Count = Write - Lowest;
  }
  if (!EchoBytes.empty()) Echo(EchoBytes.data(), EchoBytes.size());
}

void TCustomLineWSocket::FireSessionClosed(std::uint16_t Error) {
  if (!FArea.empty()) {
    // What is left is the last line, unless a limit handler is clearing it.
    if (FLineMode && FAreaCount > 0 && !FClearData) {
      FLineLength = FAreaCount;
      const TLifeCheck Life = LifeCheck();
      try {
        DeliverLine();
      } catch (...) {
        // The close is reported whatever the last line's handler raised.
      }
      if (!Life.Lives()) return;
    }
    DropArea();
  }
  TCustomSocksWSocket::FireSessionClosed(Error);
}

void TCustomLineWSocket::DiscardConnection() {
  TCustomSocksWSocket::DiscardConnection();
  DropArea();
}

void TCustomLineWSocket::Redeliver() {
  // Ends when a pass changes nothing: no handler, a handler that reads
  // nothing, or bytes without a complete line.
  const TLifeCheck Life = LifeCheck();
  while (FAreaCount > 0 && !FDelivering) {
    const auto Before = std::make_tuple(FAreaCount, FAreaEpoch, FLineMode, FLineLength);
    bool Delivered = true;
    try {
      if (CutsLines()) Delivered = DeliverLines(0);
      else FireDataAvailable(0);
    } catch (...) {
      // As in the receive loop: a failing data handler ends its delivery.
    }
    if (!Life.Lives() || !Delivered) return;
    if (CutsLines()) {
      CheckLimit();
      if (!Life.Lives()) return;
    }
    if (std::make_tuple(FAreaCount, FAreaEpoch, FLineMode, FLineLength) == Before) return;
  }
}

void TCustomLineWSocket::HandleNotification(TMessage& Msg) {
  if (Msg.Msg != WM_LINE_REDELIVER) {
    TCustomSocksWSocket::HandleNotification(Msg);
    return;
  }
  const TLifeCheck Life = LifeCheck();
  try {
    Redeliver();
  } catch (Exception& E) {
    if (Life.Lives()) HandleEventException(E);
  }
}

// SOCKS replies from a hostile proxy, in pieces, through the core's own
// event handling and receive loop. The first byte chooses the level (0: 5,
// 1: 5 with a login, 2: 4, 3: 4A), the second the size of the pieces (1 to
// 16); the rest is what the proxy sends. Whatever it sends, the negotiation
// takes every byte the system holds while it runs (one that cannot take them
// would spin the receive loop), and once connected the caller reads exactly
// the bytes behind the reply, in order: the stream less the replies' length
// (where a piece joins a reply to the one before it, the bytes behind that
// earlier reply are the proxy's fault and lost, so only a suffix is asked
// for).
#include <cstdint>
#include <string>

#include "../net/FedSocket.h"
#include "framework/MessagePump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size < 2) return 0;
  static const char* const Levels[] = {"5", "5", "4", "4A"};
  const int Level = Data[0] % 4;
  const std::size_t Piece = 1 + Data[1] % 16;
  const std::string Stream(reinterpret_cast<const char*>(Data + 2), Size - 2);

  nettest::TFedSocket S;
  S.OnError = [](TObject*) {};
  std::string Received;
  bool Connected = false;
  S.OnSessionConnected = [&](TObject*, std::uint16_t E) { Connected = E == 0; };
  S.OnDataAvailable = [&](TObject*, std::uint16_t) {
    char Buffer[5];
    const int N = S.Receive(Buffer, sizeof Buffer);
    if (N > 0) Received.append(Buffer, static_cast<std::size_t>(N));
  };
  S.StartSocks(Levels[Level], Level == 1);
  for (std::size_t At = 0; At < Stream.size() && S.State() == wsConnected; At += Piece) {
    S.Arrive(Stream.substr(At, Piece));
    if (S.InNegotiation() && !S.Input.empty()) __builtin_trap();
  }
  if (Connected) {
    // Reads of 5 bytes may leave some for later notifications: take them.
    while (S.State() == wsConnected && S.RcvdCount() > 0) S.Arrive("");
    if (Received.size() > Stream.size() ||
        Stream.compare(Stream.size() - Received.size(), Received.size(), Received) != 0)
      __builtin_trap();
    // Where the replies end: level 4 after 8 bytes; level 5 after the method
    // reply, the login reply when the proxy chose a login, and the connect
    // reply, whose length its address type gives.
    const auto Byte = [&](std::size_t I) { return static_cast<unsigned char>(Stream[I]); };
    std::size_t End = 8;
    bool Apart = true;  // no piece joins a reply to the one before it
    if (Level < 2) {
      End = 2;
      if (Byte(1) == 2) {
        Apart = Apart && End % Piece == 0;
        End += 2;
      }
      Apart = Apart && End % Piece == 0;
      End += Byte(End + 3) == 1 ? 10 : 7 + Byte(End + 4);
    }
    if (Apart && Received != Stream.substr(End)) __builtin_trap();
  }
  S.Abort();
  ProcessThreadMessages(TQuitRule::Drop);
  return 0;
}

// Line mode under hostile input, fed at every split of the bytes (or at a
// spread of splits for long inputs). The first byte chooses the settings:
// bit 0 editing, bit 1 echo, bit 2 a line limit of 16, bit 3 the line end
// "\n" instead of CR LF, bit 4 the line end "END"; the second byte how many
// bytes the handler reads at a time (0: all). Without editing and limit the
// lines read, then the last bytes delivered at the close, must be the input
// itself, cut after each first marker, and the same for every split.
#include <cstdint>
#include <string>
#include <vector>

#include "../net/FedSocket.h"

namespace {

struct Outcome {
  std::vector<std::string> Lines;  // the last one is what the close delivered
  std::string Echo;
  bool operator==(const Outcome& O) const { return Lines == O.Lines && Echo == O.Echo; }
};

void DrainMessages() {
  plat::Message M;
  while (plat::PeekMessage(M, true)) plat::DispatchMessage(M);
}

Outcome Run(nettest::TFedSocket& S, std::uint8_t Flags, int Piece, const std::string& Input, std::size_t Split) {
  Outcome O;
  std::string Current;
  S.SetLineEdit(Flags & 1);
  S.SetLineEcho(Flags & 2);
  S.SetLineLimit(Flags & 4 ? 16 : 0);
  S.SetLineEnd(Flags & 16 ? "END" : Flags & 8 ? "\n" : "\r\n");
  S.SetLineMode(true);
  S.OnDataAvailable = [&](TObject*, std::uint16_t) {
    char Buffer[512];
    const int N = S.Receive(Buffer, Piece > 0 ? Piece : static_cast<int>(sizeof Buffer));
    if (N > 0) Current.append(Buffer, static_cast<std::size_t>(N));
    if (S.RcvdCount() == 0) {
      O.Lines.push_back(Current);
      Current.clear();
    }
  };
  S.Sent.clear();
  S.Attach();
  if (Split > 0) S.Arrive(Input.substr(0, Split));
  if (Split < Input.size()) S.Arrive(Input.substr(Split));
  if (!S.Input.empty()) __builtin_trap();  // everything held was taken
  S.Closed();
  DrainMessages();
  S.Detach();
  O.Echo = S.Sent;
  S.OnDataAvailable = nullptr;
  return O;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size < 2) return 0;
  static nettest::TFedSocket S;
  const std::uint8_t Flags = Data[0];
  const int Piece = Data[1] % 16;
  const std::string Input(reinterpret_cast<const char*>(Data + 2), Size - 2);
  const std::string Marker = Flags & 16 ? "END" : Flags & 8 ? "\n" : "\r\n";
  const bool Exact = !(Flags & 1) && !(Flags & 4);

  std::vector<std::size_t> Splits;
  for (std::size_t K = 0; K <= Input.size(); K += Input.size() <= 64 ? 1 : Input.size() / 8 + 1) Splits.push_back(K);
  Outcome First;
  for (std::size_t K = 0; K < Splits.size(); ++K) {
    const Outcome O = Run(S, Flags, Piece, Input, Splits[K]);
    for (std::size_t L = 0; L + 1 < O.Lines.size(); ++L) {
      const std::string& Line = O.Lines[L];
      if (Line.size() < Marker.size() || Line.compare(Line.size() - Marker.size(), Marker.size(), Marker) != 0)
        __builtin_trap();  // a line ends with its marker
      if (Exact && Line.find(Marker) != Line.size() - Marker.size()) __builtin_trap();  // at its first marker
    }
    if (!Exact) continue;
    std::string Joined;
    for (const auto& L : O.Lines) Joined += L;
    if (Joined != Input) __builtin_trap();  // nothing lost, nothing added
    if ((Flags & 2) && O.Echo != Input) __builtin_trap();
    if (K == 0) First = O;
    else if (!(O == First)) __builtin_trap();  // where the split falls changes nothing
  }
  return 0;
}

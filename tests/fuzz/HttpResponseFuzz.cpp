// Whatever a server sends, however it is cut and however the connection ends,
// the reception path neither misbehaves nor ends a short document as a
// success. One input is one delivery: its first byte chooses the ending and
// the number of cuts, the next bytes the cut positions, the rest is the
// response. Byte 0: bits 0-2 the number of cuts, bit 3 a reset instead of a
// clean close, bit 4 the close comes at the last cut (the rest never
// arrives), bit 5 a HEAD request. A response delivered whole must also come
// out as it does when cut, unless a line filled the receive buffer or the
// status is an error.
#include <cstdint>
#include <string>
#include <vector>

#include "../http/HttpStandIn.h"

namespace {

struct Outcome {
  std::string Lines;
  std::int32_t Code;
  std::int32_t Error;
  std::string Body;
  bool Raised;
  // Of an error document the client keeps only what came with the header:
  // where the bytes were cut decides how much that is.
  bool operator==(const Outcome& O) const {
    return Lines == O.Lines && Code == O.Code && Error == O.Error && (Code >= 400 || Body == O.Body);
  }
};

void Check(bool Holds) {
  if (!Holds) __builtin_trap();
}

Outcome Run(THttpRequest Request, const std::string& Input, const std::vector<std::size_t>& Cuts, bool Short,
            std::uint16_t Reset) {
  // A client of its own per delivery: a client keeps what it was told of
  // challenges for its whole life.
  httptest::TStandInClient C;
  TMemoryStream Doc;
  C.SetDocStream(&Doc);
  bool Relocated = false;
  C.OnLocationChange = [&](TObject*) { Relocated = true; };
  C.Begin(Request);
  std::size_t From = 0;
  for (const std::size_t Cut : Cuts) {
    C.Arrive(Input.substr(From, Cut - From));
    From = Cut;
  }
  if (!Short) C.Arrive(Input.substr(From));
  C.Socket().Drop(Reset);
  httptest::RunQueued();
  // Only a relocation may still run: its new connection waits for a lookup
  // that the stand-in never answers.
  Check(C.State() == hsIdle || (Relocated && C.State() == hsResolving));
  if (C.State() != hsIdle) C.Abort();
  httptest::RunQueued();
  Check(C.State() == hsIdle);
  Check(C.ReceivedBytes() == Doc.Size());
  // The client's own failures all say 404.
  Check(C.RequestError() == 0 || C.ResponseCode() == 404);
  const std::int32_t Length = C.ContentLength();
  if (Length >= 0) Check(C.ReceivedBytes() <= Length);
  // A stated length not reached is a failure, unless no body was due or the
  // client closed an error document itself.
  const std::int32_t Code = C.ResponseCode();
  const bool NoBody = Request == rqHead || (Code >= 100 && Code < 200) || Code == 204 || Code == 304;
  if (!Relocated && !NoBody && Length >= 0 && C.ReceivedBytes() < Length) Check(C.RequestError() != 0 || Code >= 400);
  return {C.HeaderLines().Text(), Code, C.RequestError(), httptest::StreamText(Doc), C.Raised};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size < 1) return 0;
  const std::uint8_t Flags = Data[0];
  const std::size_t CutCount = Flags & 7;
  if (Size < 1 + CutCount) return 0;
  const std::string Input(reinterpret_cast<const char*>(Data) + 1 + CutCount, Size - 1 - CutCount);
  std::vector<std::size_t> Cuts;
  for (std::size_t I = 0; I < CutCount; ++I) {
    const std::size_t At = Data[1 + I] * Input.size() / 255;
    Cuts.push_back(Cuts.empty() || At > Cuts.back() ? At : Cuts.back());
  }
  const THttpRequest Request = Flags & 32 ? rqHead : rqGet;
  const std::uint16_t Reset = Flags & 8 ? 10054 : 0;
  const bool Short = (Flags & 16) && !Cuts.empty();
  const Outcome Cut = Run(Request, Input, Cuts, Short, Reset);
  if (!Short && !Cuts.empty()) {
    const Outcome Whole = Run(Request, Input, {}, false, Reset);
    if (!Cut.Raised && !Whole.Raised) Check(Cut == Whole);
  }
  return 0;
}

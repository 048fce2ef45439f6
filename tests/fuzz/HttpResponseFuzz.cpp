// Whatever a server sends, the reception path neither misbehaves nor depends
// on where the bytes are cut: the same input is fed whole and then split in
// two at every position (at 64 of them for longer inputs), and the header
// read, the status and, for a response with a header and no error, the body
// must come out the same, unless a conversion failed.
#include <cstdint>
#include <string>

#include "../http/HttpStandIn.h"

namespace {

struct Outcome {
  std::string Lines;
  std::int32_t Code;
  std::string Body;
  bool Raised;
};

Outcome Run(httptest::TStandInClient& C, TMemoryStream& Doc, const std::string& Input, std::size_t Cut) {
  Doc.SetSize(0);
  C.Begin();
  C.Arrive(Input.substr(0, Cut));
  if (Cut < Input.size()) C.Arrive(Input.substr(Cut));
  C.End();
  if (C.ReceivedBytes() != Doc.Size()) __builtin_trap();
  if (C.State() != hsIdle) __builtin_trap();
  return {C.HeaderLines().Text(), C.ResponseCode(), httptest::StreamText(Doc), C.Raised};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static httptest::TStandInClient C;
  static TMemoryStream Doc;
  C.SetDocStream(&Doc);
  const std::string Input(reinterpret_cast<const char*>(Data), Size);
  const Outcome Whole = Run(C, Doc, Input, Size);
  const bool CompareBody = LowerCase(Input).find("<html>") == std::string::npos && Whole.Code < 400 &&
                           Input.find("ocation") == std::string::npos;
  const std::size_t Step = Size <= 512 ? 1 : Size / 64;
  for (std::size_t Cut = 0; Cut < Size; Cut += Step) {
    const Outcome Split = Run(C, Doc, Input, Cut);
    // A number that is not one ends a data notification; the lines behind
    // it wait for the next, so where the cut falls matters there.
    if (Whole.Raised || Split.Raised) continue;
    if (Split.Lines != Whole.Lines || Split.Code != Whole.Code) __builtin_trap();
    if (CompareBody && Split.Body != Whole.Body) __builtin_trap();
  }
  return 0;
}

// Host texts come from URLs and settings: the dotted-address test decides
// whether a text is converted or looked up. Checked against a plain reading
// of the form: blanks, four decimal parts of at most 255 joined by dots, blanks.
#include <cstdint>
#include <string>

#include "net/SocketBinding.h"

namespace {

bool Reference(const std::string& S) {
  std::size_t I = 0;
  while (I < S.size() && S[I] == ' ') ++I;
  for (int Part = 0; Part < 4; ++Part) {
    if (Part > 0) {
      if (I >= S.size() || S[I] != '.') return false;
      ++I;
    }
    const std::size_t Start = I;
    unsigned long long Value = 0;
    while (I < S.size() && S[I] >= '0' && S[I] <= '9') {
      if (Value <= 255) Value = Value * 10 + static_cast<unsigned>(S[I] - '0');
      ++I;
    }
    if (I == Start || Value > 255) return false;
  }
  while (I < S.size() && S[I] == ' ') ++I;
  return I == S.size();
}

std::uint32_t LeadingNumber(const std::string& S) {
  std::size_t I = S.find_first_not_of(' ');
  std::uint32_t Value = 0;
  for (; I != std::string::npos && I < S.size() && S[I] >= '0' && S[I] <= '9'; ++I)
    Value = Value * 10u + static_cast<std::uint32_t>(S[I] - '0');
  return Value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  if (IsDottedQuad(Text) != Reference(Text)) __builtin_trap();
  if (static_cast<std::uint32_t>(ParseLeadingNumber(Text)) != LeadingNumber(Text)) __builtin_trap();
  return 0;
}

// The version list comes from the network: every line of it goes through the
// field splitter.
#include <cstdint>
#include <string>

#include "util/TextUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TStringList Fields;
  SplitCsvLine(std::string(reinterpret_cast<const char*>(Data), Size), Fields);
  if (Fields.Count() < 1) __builtin_trap();  // there is always at least one field
  return 0;
}

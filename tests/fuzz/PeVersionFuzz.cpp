// Version resources come from whatever files the version list names: the PE
// reader and the version-block walk take any bytes. The input is tried both as
// a whole image and as a version block by itself.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/PeVersion.h"

namespace {

namespace pe = plat::pe;

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

void Walk(const std::vector<std::uint8_t>& Block) {
  std::uint16_t Language = 0, CodePage = 0;
  pe::QueryTranslation(Block, Language, CodePage);
  const char* const Paths[] = {"\\StringFileInfo\\041104B0\\FileVersion", "\\StringFileInfo\\040904E4\\ProductName",
                               "\\\\StringFileInfo\\\\041104b0\\\\Comment\\", "", "\\", "\\VarFileInfo",
                               "\\a\\b\\c\\d\\e\\f"};
  for (const char* P : Paths) {
    std::u16string Text;
    if (pe::QueryText(Block, pe::Utf16FromAscii(P), Text)) {
      Check(Text.size() * 2 <= Block.size());
      Check(Text.find(u'\0') == std::u16string::npos);
    }
    pe::VersionValue V;
    if (pe::QueryValue(Block, pe::Utf16FromAscii(P), V)) Check(V.Available == 0 || V.Offset + V.Available == Block.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  pe::MemorySource Image(Data, Size);
  std::vector<std::uint8_t> Block;
  if (pe::ReadVersionResource(Image, Block)) {
    Check(!Block.empty() && Block.size() <= pe::MaxVersionBlock);
    Walk(Block);
  }
  Walk(std::vector<std::uint8_t>(Data, Data + std::min(Size, pe::MaxVersionBlock)));
  return 0;
}

// Settings files are the host product's: whatever they hold goes through the
// host build's reader and writer.
#include <cstdint>
#include <string>

#include "platform/IniText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  std::string Value;
  plat::ini::Read(Text, "TFormDravin", "AutoDLL_Checked", Value);
  plat::ini::Read(Text, "TSetup", "ProxyHost_Text", Value);
  // A value written is read back as written (less its outer blanks), and
  // writing it again changes nothing more.
  const std::string Once = plat::ini::Write(Text, "TFormDravin", "AutoDLL_Checked", "True");
  if (!plat::ini::Read(Once, "TFormDravin", "AutoDLL_Checked", Value) || Value != "True") __builtin_trap();
  if (plat::ini::Write(Once, "TFormDravin", "AutoDLL_Checked", "True") != Once) __builtin_trap();
  // Keys of other sections survive.
  std::string Before, After;
  if (plat::ini::Read(Text, "TSetup", "ProxyHost_Text", Before) &&
      (!plat::ini::Read(Once, "TSetup", "ProxyHost_Text", After) || After != Before))
    __builtin_trap();
  return 0;
}

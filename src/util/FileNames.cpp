#include "util/FileNames.h"

#include <cstring>

#include "framework/SysUtils.h"

TFileNameFault FileNameFault(const std::string& Name) {
  if (HasControlByte(Name)) return TFileNameFault::fnControlByte;
  // The search steps over double-byte characters, whose trail byte may be a
  // backslash.
  if (AnsiPos("\\", Name) != 0 || AnsiPos("/", Name) != 0 || AnsiPos(":", Name) != 0)
    return TFileNameFault::fnFolder;
  // A dot is never the trail byte of a double-byte character.
  if (!Name.empty() && Name.back() == '.') return TFileNameFault::fnTrailingDot;
  if (IsDeviceName(Name)) return TFileNameFault::fnDevice;
  return TFileNameFault::fnOk;
}

bool HasControlByte(const std::string& Text) {
  for (char C : Text)
    if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F) return true;
  return false;
}

bool IsDeviceName(const std::string& Name) {
  std::string Stem = Name.substr(0, Name.find('.'));
  while (!Stem.empty() && Stem.back() == ' ') Stem.pop_back();
  Stem = UpperCase(Stem);
  for (const char* Device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
    if (Stem == Device) return true;
  return Stem.size() == 4 && (Stem.compare(0, 3, "COM") == 0 || Stem.compare(0, 3, "LPT") == 0) && Stem[3] >= '0' &&
         Stem[3] <= '9';
}

std::string EncodePathSegment(const std::string& Name) {
  static const char* const Hex = "0123456789ABCDEF";
  std::string Result;
  for (char C : Name) {
    const auto B = static_cast<unsigned char>(C);
    if ((B >= 'A' && B <= 'Z') || (B >= 'a' && B <= 'z') || (B >= '0' && B <= '9') ||
        (B != 0 && std::strchr("-._~!$&'()*+,;=:@", B) != nullptr)) {
      Result += C;
    } else {
      Result += '%';
      Result += Hex[B >> 4];
      Result += Hex[B & 15];
    }
  }
  return Result;
}

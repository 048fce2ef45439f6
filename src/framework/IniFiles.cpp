#include "framework/IniFiles.h"

#include <climits>

#include "platform/Profile.h"

namespace {

// A value no file can hold: tells a missing key from one that is present.
const char* const Absent = "\x01\x02\x03";

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseIniInteger(const std::string& Text, int& Value) {
  if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    unsigned long long V = 0;
    for (std::size_t I = 2; I < Text.size(); ++I) {
      const int D = HexDigit(Text[I]);
      if (D < 0) return false;
      V = V * 16 + static_cast<unsigned>(D);
      if (V > 0xFFFFFFFFull) return false;
    }
    // Eight digits fill the 32 bits, the sign included.
    Value = static_cast<int>(static_cast<std::uint32_t>(V));
    return true;
  }
  std::size_t I = 0;
  const bool Negative = !Text.empty() && Text[0] == '-';
  if (!Text.empty() && (Text[0] == '-' || Text[0] == '+')) ++I;
  if (I == Text.size()) return false;
  long long V = 0;
  for (; I < Text.size(); ++I) {
    if (Text[I] < '0' || Text[I] > '9') return false;
    V = V * 10 + (Text[I] - '0');
    if (V > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (Negative) V = -V;
  if (V > INT_MAX || V < INT_MIN) return false;
  Value = static_cast<int>(V);
  return true;
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  return plat::GetPrivateProfileString(Section, Ident, Default, FFileName);
}

int TIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int Default) const {
  int Value = Default;
  return ParseIniInteger(ReadString(Section, Ident, ""), Value) ? Value : Default;
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  return ReadString(Section, Ident, Absent) != Absent;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  if (!plat::WritePrivateProfileString(Section, Ident, Value, FFileName))
    throw EIniFileException("Unable to write to " + FFileName);
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

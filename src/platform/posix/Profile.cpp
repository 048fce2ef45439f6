// Reading ini files for the host build, by the rules of the system's
// private-profile reader: sections and keys compared without regard to ASCII
// case, blanks around names and values dropped, one pair of enclosing quotes
// removed from a value, only the first section of a name and the first key
// looked at.
#include "platform/Platform.h"

#include <string>

namespace plat {
namespace {

std::string TrimBlanks(const std::string& S) {
  const std::string::size_type First = S.find_first_not_of(" \t");
  if (First == std::string::npos) return std::string();
  return S.substr(First, S.find_last_not_of(" \t") - First + 1);
}

bool SameAscii(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    char X = A[I], Y = B[I];
    if (X >= 'A' && X <= 'Z') X = static_cast<char>(X - 'A' + 'a');
    if (Y >= 'A' && Y <= 'Z') Y = static_cast<char>(Y - 'A' + 'a');
    if (X != Y) return false;
  }
  return true;
}

}  // namespace

std::string ReadProfileString(const std::string& FileName, const std::string& Section, const std::string& Key,
                              const std::string& Default) {
  std::uint32_t Error = 0;
  File F = File::Open(FileName, FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting, Error);
  std::uint64_t Size = 0;
  if (!F.IsOpen() || !F.GetSize(Size) || Size > (1u << 26)) return Default;
  std::string Text(static_cast<std::size_t>(Size), '\0');
  std::uint32_t Done = 0;
  if (!F.Read(Text.data(), static_cast<std::uint32_t>(Size), Done)) return Default;
  Text.resize(Done);

  bool InSection = false;
  for (std::string::size_type At = 0; At < Text.size();) {
    std::string::size_type End = Text.find('\n', At);
    if (End == std::string::npos) End = Text.size();
    std::string Line = Text.substr(At, End - At);
    At = End + 1;
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    Line = TrimBlanks(Line);
    if (!Line.empty() && Line[0] == '[') {
      const std::string::size_type Close = Line.find(']');
      // Only the first section of the name counts.
      if (InSection) return Default;
      InSection = SameAscii(TrimBlanks(Line.substr(1, Close == std::string::npos ? std::string::npos : Close - 1)),
                            Section);
      continue;
    }
    if (!InSection) continue;
    // A key without "=" is a key without a value: it is found, and gives the default.
    const std::string::size_type Equals = Line.find('=');
    if (!SameAscii(TrimBlanks(Line.substr(0, Equals)), Key)) continue;
    if (Equals == std::string::npos) return Default;
    std::string Value = TrimBlanks(Line.substr(Equals + 1));
    if (Value.size() >= 2 && (Value.front() == '"' || Value.front() == '\'') && Value.back() == Value.front())
      Value = Value.substr(1, Value.size() - 2);
    return Value;
  }
  return Default;
}

}  // namespace plat

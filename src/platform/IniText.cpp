#include "platform/IniText.h"

#include <vector>

namespace plat::ini {
namespace {

struct Entry {
  std::string Name;
  bool HasValue = false;
  std::string Value;
};

struct Section {
  bool Named = false;  // the lines before the first section have no name
  std::string Name;
  std::vector<Entry> Entries;
};

struct Document {
  bool ByteOrderMark = false;
  std::vector<Section> Sections;
};

constexpr char Bom[] = "\xEF\xBB\xBF";

bool Blank(char C) { return C == ' ' || C == '\t' || C == '\v' || C == '\f'; }

std::string Trim(const std::string& S) {
  std::size_t B = 0, E = S.size();
  while (B < E && Blank(S[B])) ++B;
  while (E > B && Blank(S[E - 1])) --E;
  return S.substr(B, E - B);
}

bool SameName(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    char X = A[I], Y = B[I];
    if (X >= 'a' && X <= 'z') X = static_cast<char>(X - 32);
    if (Y >= 'a' && Y <= 'z') Y = static_cast<char>(Y - 32);
    if (X != Y) return false;
  }
  return true;
}

Document Parse(const std::string& Text) {
  Document D;
  std::size_t Pos = 0;
  if (Text.compare(0, 3, Bom) == 0) {
    D.ByteOrderMark = true;
    Pos = 3;
  }
  D.Sections.emplace_back();
  while (Pos < Text.size()) {
    std::size_t End = Text.find_first_of("\r\n", Pos);
    if (End == std::string::npos) End = Text.size();
    const std::string Line = Trim(Text.substr(Pos, End - Pos));
    Pos = End + 1;
    if (Line.empty()) continue;
    if (Line[0] == '[') {
      const std::size_t Close = Line.rfind(']');
      if (Close != std::string::npos && Close > 0) {
        Section S;
        S.Named = true;
        S.Name = Trim(Line.substr(1, Close - 1));
        D.Sections.push_back(std::move(S));
        continue;
      }
    }
    Entry E;
    const std::size_t Equals = Line.find('=');
    if (Equals == std::string::npos) {
      E.Name = Line;
    } else {
      E.Name = Trim(Line.substr(0, Equals));
      E.HasValue = true;
      E.Value = Trim(Line.substr(Equals + 1));
    }
    D.Sections.back().Entries.push_back(std::move(E));
  }
  return D;
}

std::string Format(const Document& D) {
  std::string Lines;
  for (const Section& S : D.Sections) {
    if (S.Named) Lines += "[" + S.Name + "]\r\n";
    for (const Entry& E : S.Entries) Lines += E.HasValue ? E.Name + "=" + E.Value + "\r\n" : E.Name + "\r\n";
  }
  // The reader takes a mark only from a file's first bytes, and blank lines
  // are dropped here: a first line that begins with the mark's bytes keeps a
  // line end before it, or it would be read back as a mark and the rest.
  if (D.ByteOrderMark) return Bom + Lines;
  if (Lines.compare(0, 3, Bom) == 0) return "\r\n" + Lines;
  return Lines;
}

Section* FindSection(Document& D, const std::string& Name) {
  for (Section& S : D.Sections)
    if (S.Named && SameName(S.Name, Name)) return &S;
  return nullptr;
}

}  // namespace

bool Read(const std::string& Text, const std::string& SectionName, const std::string& Key, std::string& Value) {
  Document D = Parse(Text);
  const Section* S = FindSection(D, Trim(SectionName));
  if (!S) return false;
  const std::string Name = Trim(Key);
  for (const Entry& E : S->Entries) {
    if (!SameName(E.Name, Name)) continue;
    if (!E.HasValue) return false;
    Value = E.Value;
    if (Value.size() >= 2 && (Value[0] == '"' || Value[0] == '\'') && Value.back() == Value[0])
      Value = Value.substr(1, Value.size() - 2);
    return true;
  }
  return false;
}

std::string Write(const std::string& Text, const std::string& SectionName, const std::string& Key,
                  const std::string& Value) {
  Document D = Parse(Text);
  std::string Kept = Value;
  std::size_t Lead = 0;
  while (Lead < Kept.size() && Blank(Kept[Lead])) ++Lead;
  Kept.erase(0, Lead);
  const std::string Name = Trim(Key);
  Section* S = FindSection(D, Trim(SectionName));
  if (!S) {
    Section New;
    New.Named = true;
    New.Name = Trim(SectionName);
    D.Sections.push_back(std::move(New));
    S = &D.Sections.back();
  }
  Entry* Found = nullptr;
  for (Entry& E : S->Entries)
    if (SameName(E.Name, Name)) {
      Found = &E;
      break;
    }
  if (!Found) {
    S->Entries.push_back(Entry{Name, true, Kept});
  } else {
    Found->HasValue = true;
    Found->Value = Kept;
  }
  return Format(D);
}

}  // namespace plat::ini

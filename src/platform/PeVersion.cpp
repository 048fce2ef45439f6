#include "platform/PeVersion.h"

#include <algorithm>
#include <cstring>

namespace plat::pe {

bool MemorySource::Read(std::uint64_t Offset, void* Buffer, std::size_t Count) const {
  if (Offset > FSize || Count > FSize - Offset) return false;
  if (Count > 0) std::memcpy(Buffer, FData + Offset, Count);
  return true;
}

namespace {

constexpr std::uint32_t RtVersion = 16;
constexpr std::uint32_t VersionInfoName = 1;
constexpr std::uint32_t HighBit = 0x80000000u;
// The loader refuses images with more sections than this.
constexpr std::uint32_t MaxSections = 96;

std::uint16_t U16(const std::uint8_t* P) { return static_cast<std::uint16_t>(P[0] | P[1] << 8); }
std::uint32_t U32(const std::uint8_t* P) {
  return static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 |
         static_cast<std::uint32_t>(P[2]) << 16 | static_cast<std::uint32_t>(P[3]) << 24;
}

bool ReadU16(const ByteSource& S, std::uint64_t Offset, std::uint16_t& Value) {
  std::uint8_t B[2];
  if (!S.Read(Offset, B, 2)) return false;
  Value = U16(B);
  return true;
}

bool ReadU32(const ByteSource& S, std::uint64_t Offset, std::uint32_t& Value) {
  std::uint8_t B[4];
  if (!S.Read(Offset, B, 4)) return false;
  Value = U32(B);
  return true;
}

struct Section {
  std::uint32_t VirtualAddress, VirtualSize, RawSize, RawPointer;
};

// The image as the loader would map it, as far as resources need it.
class Image {
 public:
  explicit Image(const ByteSource& S) : FSource(S) {}

  bool Open(std::uint32_t& ResourceRva, std::uint32_t& ResourceSize) {
    std::uint16_t Magic;
    std::uint32_t PeOffset, Signature;
    if (!ReadU16(FSource, 0, Magic) || Magic != 0x5A4D) return false;  // "MZ"
    if (!ReadU32(FSource, 0x3C, PeOffset) || !ReadU32(FSource, PeOffset, Signature)) return false;
    if (Signature != 0x00004550) return false;  // "PE\0\0"
    const std::uint64_t Coff = static_cast<std::uint64_t>(PeOffset) + 4;
    std::uint16_t SectionCount, OptionalSize, OptionalMagic;
    if (!ReadU16(FSource, Coff + 2, SectionCount) || !ReadU16(FSource, Coff + 16, OptionalSize)) return false;
    const std::uint64_t Optional = Coff + 20;
    if (!ReadU16(FSource, Optional, OptionalMagic)) return false;
    std::uint64_t CountAt, Directories;
    if (OptionalMagic == 0x10B) {  // PE32
      CountAt = Optional + 92;
      Directories = Optional + 96;
    } else if (OptionalMagic == 0x20B) {  // PE32+
      CountAt = Optional + 108;
      Directories = Optional + 112;
    } else {
      return false;
    }
    // The resource directory is entry 2 of the data directories, which must
    // lie inside the optional header.
    std::uint32_t DirectoryCount;
    if (!ReadU32(FSource, CountAt, DirectoryCount) || DirectoryCount < 3) return false;
    const std::uint64_t ResourceEntry = Directories + 2 * 8;
    if (ResourceEntry + 8 > Optional + OptionalSize) return false;
    if (!ReadU32(FSource, ResourceEntry, ResourceRva) || !ReadU32(FSource, ResourceEntry + 4, ResourceSize))
      return false;
    if (ResourceRva == 0 || ResourceSize == 0) return false;

    if (SectionCount == 0 || SectionCount > MaxSections) return false;
    std::vector<std::uint8_t> Table(static_cast<std::size_t>(SectionCount) * 40);
    if (!FSource.Read(Optional + OptionalSize, Table.data(), Table.size())) return false;
    for (std::size_t I = 0; I < SectionCount; ++I) {
      const std::uint8_t* E = Table.data() + I * 40;
      FSections.push_back(Section{U32(E + 12), U32(E + 8), U32(E + 16), U32(E + 20)});
    }
    return true;
  }

  // Reads Count bytes at Rva; they must lie in one section's file data.
  bool ReadRva(std::uint64_t Rva, void* Buffer, std::size_t Count) const {
    for (const Section& S : FSections) {
      if (Rva < S.VirtualAddress) continue;
      const std::uint64_t Into = Rva - S.VirtualAddress;
      std::uint64_t Limit = S.RawSize;
      if (S.VirtualSize != 0) Limit = std::min<std::uint64_t>(Limit, S.VirtualSize);
      if (Into >= Limit) continue;
      if (Count > Limit - Into) return false;
      return FSource.Read(S.RawPointer + Into, Buffer, Count);
    }
    return false;
  }

  bool ReadRvaU32(std::uint64_t Rva, std::uint32_t& Value) const {
    std::uint8_t B[4];
    if (!ReadRva(Rva, B, 4)) return false;
    Value = U32(B);
    return true;
  }

 private:
  const ByteSource& FSource;
  std::vector<Section> FSections;
};

struct DirectoryEntry {
  std::uint32_t Name, Target;
};

// The entries of the resource directory at Offset (relative to the start of
// the resource data).
bool ReadDirectory(const Image& I, std::uint32_t Base, std::uint32_t Offset, std::vector<DirectoryEntry>& Entries) {
  std::uint8_t Header[16];
  if (!I.ReadRva(static_cast<std::uint64_t>(Base) + Offset, Header, sizeof Header)) return false;
  const std::size_t Count = static_cast<std::size_t>(U16(Header + 12)) + U16(Header + 14);
  std::vector<std::uint8_t> Raw(Count * 8);
  if (Count > 0 && !I.ReadRva(static_cast<std::uint64_t>(Base) + Offset + 16, Raw.data(), Raw.size())) return false;
  Entries.clear();
  for (std::size_t K = 0; K < Count; ++K) Entries.push_back({U32(Raw.data() + K * 8), U32(Raw.data() + K * 8 + 4)});
  return true;
}

// The subdirectory (or, with Leaf, the data entry) of the entry with numeric Id.
bool FindId(const std::vector<DirectoryEntry>& Entries, std::uint32_t Id, bool Leaf, std::uint32_t& Target) {
  for (const DirectoryEntry& E : Entries) {
    if ((E.Name & HighBit) != 0 || E.Name != Id) continue;
    if (((E.Target & HighBit) != 0) == Leaf) return false;
    Target = E.Target & ~HighBit;
    return true;
  }
  return false;
}

std::size_t Align4(std::size_t N) { return (N + 3) & ~static_cast<std::size_t>(3); }

// One node of a version block: wLength, wValueLength, wType, the key, the
// value, then the children, each part aligned to 4 bytes from the node.
struct Node {
  std::size_t Start = 0, End = 0;
  std::size_t KeyStart = 0, KeyChars = 0;
  std::size_t ValueStart = 0, ChildrenStart = 0;
  std::uint16_t Length = 0, ValueLength = 0, Type = 0;
};

bool ParseNode(const std::vector<std::uint8_t>& Block, std::size_t Start, Node& N) {
  const std::size_t Size = Block.size();
  if (Start > Size || Size - Start < 6) return false;
  const std::uint8_t* P = Block.data() + Start;
  N.Start = Start;
  N.Length = U16(P);
  N.ValueLength = U16(P + 2);
  N.Type = U16(P + 4);
  N.End = std::min(Size, Start + N.Length);
  N.KeyStart = Start + 6;
  std::size_t At = N.KeyStart;
  for (;;) {
    if (Size - At < 2) return false;  // a key without its NUL
    if (U16(Block.data() + At) == 0) break;
    At += 2;
  }
  N.KeyChars = (At - N.KeyStart) / 2;
  N.ValueStart = Start + Align4(At + 2 - Start);
  const std::size_t ValueBytes = static_cast<std::size_t>(N.ValueLength) * (N.Type != 0 ? 2 : 1);
  N.ChildrenStart = N.ValueStart + Align4(ValueBytes);
  return true;
}

char16_t AsciiLower(char16_t C) { return C >= u'A' && C <= u'Z' ? static_cast<char16_t>(C + 32) : C; }

bool KeyIs(const std::vector<std::uint8_t>& Block, const Node& N, const char16_t* Key, std::size_t Chars) {
  if (N.KeyChars != Chars) return false;
  for (std::size_t K = 0; K < Chars; ++K)
    if (AsciiLower(static_cast<char16_t>(U16(Block.data() + N.KeyStart + 2 * K))) != AsciiLower(Key[K])) return false;
  return true;
}

bool FindChild(const std::vector<std::uint8_t>& Block, const Node& Parent, const char16_t* Key, std::size_t Chars,
               Node& Child) {
  std::size_t At = Parent.ChildrenStart;
  while (At < Parent.End) {
    if (!ParseNode(Block, At, Child)) return false;
    if (KeyIs(Block, Child, Key, Chars)) return true;
    if (Child.Length == 0) return false;
    At += Align4(Child.Length);
  }
  return false;
}

}  // namespace

bool ReadVersionResource(const ByteSource& Source, std::vector<std::uint8_t>& Block) {
  Image I(Source);
  std::uint32_t Base, ResourceSize, Types, Names, DataEntry;
  if (!I.Open(Base, ResourceSize)) return false;
  std::vector<DirectoryEntry> Entries;
  if (!ReadDirectory(I, Base, 0, Entries) || !FindId(Entries, RtVersion, false, Types)) return false;
  if (!ReadDirectory(I, Base, Types, Entries) || !FindId(Entries, VersionInfoName, false, Names)) return false;
  if (!ReadDirectory(I, Base, Names, Entries)) return false;
  bool Found = false;
  for (std::uint32_t Language : {0x0411u, 0x0000u, 0x0409u})
    if ((Found = FindId(Entries, Language, true, DataEntry))) break;
  if (!Found) {
    if (Entries.empty() || (Entries.front().Target & HighBit) != 0) return false;
    DataEntry = Entries.front().Target;
  }
  std::uint32_t DataRva, DataSize;
  if (!I.ReadRvaU32(static_cast<std::uint64_t>(Base) + DataEntry, DataRva) ||
      !I.ReadRvaU32(static_cast<std::uint64_t>(Base) + DataEntry + 4, DataSize))
    return false;
  if (DataSize == 0) return false;
  Block.assign(std::min<std::size_t>(DataSize, MaxVersionBlock), 0);
  if (!I.ReadRva(DataRva, Block.data(), Block.size())) {
    Block.clear();
    return false;
  }
  return true;
}

bool QueryValue(const std::vector<std::uint8_t>& Block, const std::u16string& Path, VersionValue& Value) {
  Node Current;
  if (!ParseNode(Block, 0, Current)) return false;
  std::size_t I = 0;
  while (I < Path.size()) {
    if (Path[I] == u'\\') {
      ++I;
      continue;
    }
    std::size_t J = Path.find(u'\\', I);
    if (J == std::u16string::npos) J = Path.size();
    Node Child;
    if (!FindChild(Block, Current, Path.data() + I, J - I, Child)) return false;
    Current = Child;
    I = J;
  }
  Value.Offset = Current.ValueStart;
  Value.Available = Current.ValueStart < Block.size() ? Block.size() - Current.ValueStart : 0;
  Value.Length = Current.ValueLength;
  Value.Type = Current.Type;
  return true;
}

bool QueryTranslation(const std::vector<std::uint8_t>& Block, std::uint16_t& Language, std::uint16_t& CodePage) {
  VersionValue V;
  if (!QueryValue(Block, u"\\VarFileInfo\\Translation", V) || V.Length < 4 || V.Available < 4) return false;
  Language = U16(Block.data() + V.Offset);
  CodePage = U16(Block.data() + V.Offset + 2);
  return true;
}

bool QueryText(const std::vector<std::uint8_t>& Block, const std::u16string& Path, std::u16string& Text) {
  VersionValue V;
  if (!QueryValue(Block, Path, V)) return false;
  const std::size_t Chars = std::min<std::size_t>(V.Length, V.Available / 2);
  Text.clear();
  for (std::size_t K = 0; K < Chars; ++K) {
    const char16_t C = static_cast<char16_t>(U16(Block.data() + V.Offset + 2 * K));
    if (C == 0) break;
    Text += C;
  }
  return true;
}

std::u16string Utf16FromAscii(const std::string& Text) {
  std::u16string R;
  for (unsigned char C : Text) R += static_cast<char16_t>(C);
  return R;
}

}  // namespace plat::pe

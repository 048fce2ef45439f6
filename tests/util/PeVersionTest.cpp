// Our own PE version reader on its own: hand-made version blocks with the
// faults a hostile file may carry, and images cut short.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "VersionFixtures.h"
#include "platform/PeVersion.h"
#include "platform/VersionResource.h"

namespace pe = plat::pe;
using Bytes = std::vector<std::uint8_t>;

namespace {

void Put16(Bytes& B, std::size_t At, std::uint16_t V) {
  B[At] = static_cast<std::uint8_t>(V);
  B[At + 1] = static_cast<std::uint8_t>(V >> 8);
}

void Pad(Bytes& B) {
  while (B.size() % 4 != 0) B.push_back(0);
}

Bytes Text(const std::u16string& S, bool Terminated = true) {
  Bytes B;
  for (char16_t C : S) B.insert(B.end(), {static_cast<std::uint8_t>(C), static_cast<std::uint8_t>(C >> 8)});
  if (Terminated) B.insert(B.end(), {0, 0});
  return B;
}

// One node: header, key, value, children, laid out as resource compilers do.
// ValueLength counts characters for text and bytes otherwise, unless given.
Bytes Node(const std::u16string& Key, std::uint16_t Type, const Bytes& Value, std::vector<Bytes> Children = {},
           int ValueLength = -1) {
  Bytes B(6, 0);
  const Bytes K = Text(Key);
  B.insert(B.end(), K.begin(), K.end());
  Pad(B);
  B.insert(B.end(), Value.begin(), Value.end());
  for (const Bytes& C : Children) {
    Pad(B);
    B.insert(B.end(), C.begin(), C.end());
  }
  Put16(B, 0, static_cast<std::uint16_t>(B.size()));
  Put16(B, 2, static_cast<std::uint16_t>(ValueLength >= 0 ? ValueLength : Type ? Value.size() / 2 : Value.size()));
  Put16(B, 4, Type);
  return B;
}

Bytes StringTable(std::vector<Bytes> Strings) {
  return Node(u"StringFileInfo", 1, {}, {Node(u"041104B0", 1, {}, Strings)});
}

Bytes Block(std::vector<Bytes> Strings, const Bytes& Translation = {0x11, 0x04, 0xB0, 0x04}) {
  return Node(u"VS_VERSION_INFO", 0, Bytes(52, 0),
              {StringTable(Strings), Node(u"VarFileInfo", 1, {}, {Node(u"Translation", 0, Translation)})});
}

// The text at Key of the string table, or "<absent>".
std::string Query(const Bytes& B, const std::string& Key) {
  std::u16string T;
  if (!pe::QueryText(B, pe::Utf16FromAscii("\\StringFileInfo\\041104B0\\" + Key), T)) return "<absent>";
  std::string R;
  for (char16_t C : T) R += C < 0x80 ? static_cast<char>(C) : '?';
  return R;
}

}  // namespace

TEST(PeVersionReader, HostileBlocksNeverLeadPastTheirBytes) {
  const Bytes Next = Node(u"Next", 1, Text(u"sibling"));
  // A text value declared empty, and one declared longer than it is.
  Bytes B = Block({Node(u"Empty", 1, {}, {}, 0), Next, Node(u"Long", 1, Text(u"abc"), {}, 400)});
  EXPECT_EQ(Query(B, "Empty"), "");
  EXPECT_EQ(Query(B, "Long"), "abc");
  EXPECT_EQ(Query(B, "next"), "sibling");
  EXPECT_EQ(Query(B, "Nex"), "<absent>");
  // A value running into the end of the block without its NUL.
  B = Node(u"VS_VERSION_INFO", 0, {}, {StringTable({Node(u"Last", 1, Text(u"xyz", false), {}, 300)})});
  EXPECT_EQ(Query(B, "Last"), "xyz");
  B.pop_back();  // half a character is no character
  EXPECT_EQ(Query(B, "Last"), "xy");
  // A child of length 0 ends the search instead of looping.
  Bytes Zero = Node(u"Zero", 1, Text(u"z"));
  Put16(Zero, 0, 0);
  EXPECT_EQ(Query(Block({Zero, Next}), "Next"), "<absent>");
  EXPECT_EQ(Query(Block({Zero, Next}), "Zero"), "z");
  // A parent shorter than its children hides the ones outside it.
  B = Block({Next});
  Put16(B, 0, 40);
  EXPECT_EQ(Query(B, "Next"), "<absent>");
  // A key running to the end of the block.
  B = Node(u"VS_VERSION_INFO", 0, {});
  B.resize(B.size() - 2);
  EXPECT_EQ(Query(B, "Next"), "<absent>");
  for (std::size_t N = 0; N < 8; ++N) EXPECT_EQ(Query(Bytes(N, 0xFF), "Next"), "<absent>");
  // Empty parts of the path are skipped.
  std::u16string T;
  EXPECT_TRUE(pe::QueryText(Block({Next}), u"\\\\StringFileInfo\\\\041104b0\\NEXT\\", T));
  EXPECT_EQ(T, u"sibling");
}

TEST(PeVersionReader, TheTranslationNeedsAWholeEntry) {
  const struct {
    Bytes Value;
    bool Found;
    std::uint16_t Language, CodePage;
  } Cases[] = {
      {{0x11, 0x04, 0xB0, 0x04}, true, 0x0411, 0x04B0},
      {{0x09, 0x04, 0xE4, 0x04, 0x11, 0x04, 0xB0, 0x04}, true, 0x0409, 0x04E4},
      {{0x11, 0x04}, false, 0, 0},
      {{}, false, 0, 0},
  };
  for (const auto& C : Cases) {
    std::uint16_t Language = 0, CodePage = 0;
    EXPECT_EQ(pe::QueryTranslation(Block({}, C.Value), Language, CodePage), C.Found);
    EXPECT_EQ(Language, C.Language);
    EXPECT_EQ(CodePage, C.CodePage);
  }
}

TEST(PeVersionReader, AnImageCutShortGivesTheWholeResourceOrNone) {
  for (const char* File : {"ja.exe", "en.dll", "lang.jpn"}) {
    SCOPED_TRACE(File);
    const std::string Image = testsupport::ReadFile(VersionFixtureFolder() + File);
    Bytes Full;
    ASSERT_TRUE(pe::ReadVersionResource(pe::MemorySource(Image.data(), Image.size()), Full));
    for (std::size_t Cut = 0; Cut < Image.size(); Cut += 7) {
      Bytes Part;
      if (pe::ReadVersionResource(pe::MemorySource(Image.data(), Cut), Part)) {
        EXPECT_EQ(Part, Full) << Cut;
      }
    }
    // The same bytes the system gives for the file (our own reader, in the
    // host build); it may add room of its own after them.
    Bytes System(plat::GetFileVersionInfoSize(VersionFixtureFolder() + File));
    ASSERT_TRUE(plat::GetFileVersionInfo(VersionFixtureFolder() + File, System));
    ASSERT_GE(System.size(), Full.size());
    EXPECT_EQ(Bytes(System.begin(), System.begin() + static_cast<long>(Full.size())), Full);
  }
}

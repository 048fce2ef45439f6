#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegionTestSupport.h"
#include "region/RegionData.h"
#include "region/StoredRegion.h"

using namespace regiontest;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Written(const std::function<void(TStream&)>& Write) {
  TMemoryStream S;
  Write(S);
  return Bytes(S.Memory(), S.Memory() + S.Size());
}

TMemoryStream* StreamOf(const Bytes& B, TMemoryStream& S) {
  S.WriteBuffer(B.data(), static_cast<std::int64_t>(B.size()));
  S.SetPosition(0);
  return &S;
}

}  // namespace

TEST(StoredRegion, PropertiesAreLaidOutAsTheFormStoresThem) {
  const Bytes Block = MakeRegionData({{1, 2, 3, 4}});
  const Bytes Head = {7, 'R', 'g', 'n', 'D', 'a', 't', 'a', 10, 48, 0, 0, 0};
  Bytes Expected = Head;
  Expected.insert(Expected.end(), Block.begin(), Block.end());
  EXPECT_EQ(Written([&](TStream& S) { WriteRgnData(S, Block); }), Expected);
  // No region data: the property with a count of 0.
  EXPECT_EQ(Written([](TStream& S) { WriteRgnData(S, {}); }), (Bytes{7, 'R', 'g', 'n', 'D', 'a', 't', 'a', 10, 0, 0, 0, 0}));

  // The picture: its own length inside the property's count.
  TBitmap Picture;
  Draw(Picture, {"#.", ".."});
  const Bytes File = Picture.SaveToBytes();
  const Bytes Stored = Written([&](TStream& S) { WriteBitmapProperty(S, "RgnBitmap.Data", Picture); });
  ASSERT_EQ(Stored.size(), 1 + 14 + 1 + 4 + 4 + File.size());
  EXPECT_EQ(Stored[0], 14);
  EXPECT_EQ(std::string(Stored.begin() + 1, Stored.begin() + 15), "RgnBitmap.Data");
  EXPECT_EQ(Stored[15], 10);
  EXPECT_EQ(Stored[16], File.size() + 4);
  EXPECT_EQ(Stored[20], File.size());
  EXPECT_EQ(Bytes(Stored.begin() + 24, Stored.end()), File);

  // Both together read back as written.
  const Bytes Both = Written([&](TStream& S) { WriteStoredRegion(S, Picture, Block); });
  TMemoryStream S;
  TBitmap Back;
  Bytes BackBlock;
  ReadStoredRegion(*StreamOf(Both, S), Back, BackBlock);
  EXPECT_EQ(BackBlock, Block);
  EXPECT_EQ(Back.SaveToBytes(), File);
  EXPECT_EQ(S.Position(), S.Size());
}

TEST(StoredRegion, BrokenPropertiesRaiseAndChangeNothing) {
  const Bytes Good = Written([](TStream& S) { WriteRgnData(S, MakeRegionData({{0, 0, 1, 1}})); });

  const struct {
    const char* Label;
    Bytes Stored;
  } Cases[] = {
      {"nothing", {}},
      {"another name", WithByte(Good, 1, 'r')},
      {"another name length", WithByte(Good, 0, 6)},
      {"a string, not binary", WithByte(Good, 8, 6)},
      {"a count past the end", WithByte(Good, 9, 49)},
      {"the data cut short", Bytes(Good.begin(), Good.end() - 1)},
      {"a block whose header does not fit", WithByte(Good, 13 + 8, 2)},
  };
  for (const auto& C : Cases) {
    TMemoryStream S;
    EXPECT_THROW(ReadRgnData(*StreamOf(C.Stored, S)), EReadError) << C.Label;
  }
  // A picture property whose bitmap is broken keeps the picture there was.
  TBitmap Picture, Kept;
  Draw(Picture, {"#"});
  Draw(Kept, {".."});
  Bytes Stored = Written([&](TStream& S) { WriteBitmapProperty(S, "Glyph.Data", Picture); });
  Stored[20] = 'X';  // the file's "BM"
  TMemoryStream S;
  EXPECT_THROW(ReadBitmapProperty(*StreamOf(Stored, S), "Glyph.Data", Kept), EInvalidGraphic);
  EXPECT_EQ(Kept.Width(), 2);
}

TEST(StoredRegion, TheProgramCarriesTheWindowAndTheGlyphs) {
  TBitmap Window;
  Bytes Block;
  LoadStoredRegion("Rgn1", Window, Block);
  EXPECT_EQ(Window.Width(), 445);
  EXPECT_EQ(Block.size(), 576u);
  for (const char* Name :
       {"ButtonPause", "ButtonStop", "ButtonSkip", "ButtonPlay", "ButtonHome", "ButtonAbout", "ButtonMin"}) {
    TBitmap Glyph;
    LoadStoredGlyph(Name, Glyph);
    EXPECT_EQ(Glyph.Width(), 16) << Name;
    EXPECT_EQ(Glyph.Height(), 16) << Name;
    // Drawn on its key colour, and not all of it.
    const TColor Key = Glyph.Pixel(0, 15);
    int Drawn = 0;
    for (int Y = 0; Y < 16; ++Y)
      for (int X = 0; X < 16; ++X) Drawn += Glyph.Pixel(X, Y) != Key;
    EXPECT_GT(Drawn, 10) << Name;
    EXPECT_LT(Drawn, 200) << Name;
  }
  TBitmap None;
  EXPECT_THROW(LoadStoredGlyph("ButtonNone", None), EResNotFound);
}

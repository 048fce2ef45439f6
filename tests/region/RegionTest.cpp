#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "RegionTestSupport.h"
#include "TestSupport.h"
#include "region/Region.h"
#include "region/RegionData.h"
#include "region/StoredRegion.h"

using namespace regiontest;

namespace {

using Rects = std::vector<TRect>;

}  // namespace

TEST(BitmapToRegionData, RefusesMissingAndEmptyPicturesWithTheirTexts) {
  // The texts in Shift-JIS, byte for byte: half-width katakana are single bytes.
  const std::string NotSet =
      "\xCB\xDE\xAF\xC4\xCF\xAF\xCC\xDF\x82\xAA\x90\xB3\x82\xB5\x82\xAD\xBE\xAF\xC4\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC"
      "\x82\xB9\x82\xF1";
  const std::string NoSize = "\x95\x9D\x82\xDC\x82\xBD\x82\xCD\x8D\x82\x82\xB3\x82\xAA\x20\x30\x20\x82\xC5\x82\xB7";
  TBitmap Empty, NoWidth, NoHeight;
  NoWidth.SetSize(0, 5);
  NoHeight.SetSize(5, 0);
  const struct {
    const char* Label;
    TBitmap* Bitmap;
    const std::string& Message;
  } Cases[] = {{"no bitmap", nullptr, NotSet},
               {"empty", &Empty, NotSet},
               {"width 0", &NoWidth, NoSize},
               {"height 0", &NoHeight, NoSize}};
  for (const auto& C : Cases) {
    try {
      BitmapToRegionData(C.Bitmap);
      ADD_FAILURE() << C.Label << ": converted";
    } catch (const EInvalidGraphic& E) {
      EXPECT_EQ(E.Message(), C.Message) << C.Label;
    }
  }
  EXPECT_EQ(NoWidth.PixelFormat(), pfDevice) << "refused before any format change";
}

TEST(BitmapToRegionData, ShapesGiveBandedRectangles) {
  const struct {
    const char* Label;
    std::vector<std::string> Picture;
    Rects Expected;
  } Cases[] = {
      {"all of the bottom-left colour", {"....", "....", "...."}, {}},
      {"one pixel", {"...", ".#.", "..."}, {{1, 1, 2, 2}}},
      {"a one-pixel column is one rectangle", {".#..", ".#..", ".#..", ".#..", "...."}, {{1, 0, 2, 4}}},
      {"a solid block is one rectangle", {"......", ".####.", ".####.", ".####.", "......"}, {{1, 1, 5, 4}}},
      {"identical neighbouring rows merge, others start bands",
       {"##..##", "##..##", "######", "##..##", ".....#"},
       {{0, 0, 2, 2}, {4, 0, 6, 2}, {0, 2, 6, 3}, {0, 3, 2, 4}, {4, 3, 6, 4}, {5, 4, 6, 5}}},
      {"runs end at the right edge", {"..###", "....."}, {{2, 0, 5, 1}}},
      {"any other colour is opaque, whatever it is", {"#x#x", "...."}, {{0, 0, 4, 1}}},
      {"the top-left pixel does not decide", {"x...", ".##.", "...."}, {{0, 0, 1, 1}, {1, 1, 3, 2}}},
      {"the bottom-left pixel does", {"....", ".##.", "#..."}, {{0, 0, 4, 1}, {0, 1, 1, 2}, {3, 1, 4, 2}, {1, 2, 4, 3}}},
  };
  for (const auto& C : Cases) {
    TBitmap B;
    Draw(B, C.Picture);
    const std::vector<std::uint8_t> Block = BitmapToRegionData(&B);
    EXPECT_EQ(Block.size(), 32 + 16 * C.Expected.size()) << C.Label;
    EXPECT_EQ(CheckedRectangles(Block), C.Expected) << C.Label;
  }
  // The empty outline: a bare header, no rectangles, a box of zeros.
  TBitmap Blank;
  Draw(Blank, {"..", ".."});
  const std::vector<std::uint8_t> Block = BitmapToRegionData(&Blank);
  const std::vector<std::uint8_t> Header = {32, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                            0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Block, Header);
}

TEST(BitmapToRegionData, AtMostOneHundredAndOneRunsInARow) {
  const std::string Shape =
      "\xCB\xDE\xAF\xC4\xCF\xAF\xCC\xDF\x82\xCC\x8C\x60\x8F\xF3\x82\xAA\x95\x73\x93\x4B\x82\xC5\x82\xB7";
  const struct {
    const char* Label;
    std::string Row;
    int Runs;  // -1: refused
  } Cases[] = {
      {"100 runs and transparent pixels after", Alternating(199) + "....", 100},
      {"201 pixels: 101 runs", Alternating(201), 101},
      {"202 pixels: 101 runs and the pixel that ends the last", Alternating(202), 101},
      {"203 pixels: a 102nd run", Alternating(203), -1},
      {"101 runs and two transparent pixels after", Alternating(201) + "..", -1},
  };
  for (const auto& C : Cases) {
    // A row of grey below, so that grey is the key colour; the long row sits
    // between two ordinary ones.
    const std::string Plain = "#" + std::string(C.Row.size() - 1, '.');
    TBitmap B;
    Draw(B, {Plain, C.Row, Plain, std::string(C.Row.size(), '.')});
    B.SetPixelFormat(pf32bit);
    if (C.Runs < 0) {
      try {
        BitmapToRegionData(&B);
        ADD_FAILURE() << C.Label << ": converted";
      } catch (const EInvalidGraphic& E) {
        EXPECT_EQ(E.Message(), Shape) << C.Label;
      }
    } else {
      const Rects R = CheckedRectangles(BitmapToRegionData(&B));
      EXPECT_EQ(R.size(), static_cast<std::size_t>(C.Runs) + 2) << C.Label;
    }
    EXPECT_EQ(B.PixelFormat(), pf24bit) << C.Label << ": the format change stays, also on failure";
  }
}

TEST(BitmapToRegionData, PaletteImagesCompareIndicesColourImagesColours) {
  const TPaletteEntry White{255, 255, 255, 0}, Black{0, 0, 0, 0};
  const struct {
    const char* Label;
    std::function<void(TBitmap&)> Make;
    TPixelFormat After;
    Rects Expected;
  } Cases[] = {
      {"4-bit: index 1 has index 0's colour but is another index",
       [&](TBitmap& B) {
         B.SetPixelFormat(pf4bit);
         B.SetSize(4, 2);
         B.SetPalette({White, White, Black});
         B.ScanLine(0)[0] = 0x01, B.ScanLine(0)[1] = 0x20;  // 0 1 2 0
       },
       pf8bit, {{1, 0, 3, 1}}},
      {"1-bit, key index 1",
       [&](TBitmap& B) {
         B.SetPixelFormat(pf1bit);
         B.SetSize(3, 2);
         B.ScanLine(0)[0] = 0x60, B.ScanLine(1)[0] = 0xE0;  // 0 1 1 / 1 1 1
       },
       pf8bit, {{0, 0, 1, 1}}},
      {"8-bit stays and compares indices",
       [&](TBitmap& B) {
         B.SetPixelFormat(pf8bit);
         B.SetSize(3, 2);
         B.SetPalette({White, White});
         B.ScanLine(0)[2] = 1;
       },
       pf8bit, {{2, 0, 3, 1}}},
      {"32-bit compares colours, not the fourth byte",
       [&](TBitmap& B) {
         B.SetPixelFormat(pf32bit);
         B.SetSize(3, 2);
         for (int Y = 0; Y < 2; ++Y)
           for (int X = 0; X < 3; ++X) B.SetPixel(X, Y, Grey);
         B.ScanLine(0)[3] = 0xFF;              // pixel 0: the key colour, another fourth byte
         B.SetPixel(1, 0, RGBColor(0xC0, 0xC0, 0xC1));
       },
       pf24bit, {{1, 0, 2, 1}}},
      {"device pixels become 24-bit",
       [&](TBitmap& B) {
         B.SetSize(2, 2);
         B.SetPixel(1, 0, RGBColor(1, 2, 3));
       },
       pf24bit, {{1, 0, 2, 1}}},
      {"15-bit pixels become 24-bit",
       [&](TBitmap& B) {
         B.SetPixelFormat(pf15bit);
         B.SetSize(2, 2);
         B.SetPixel(0, 0, RGBColor(255, 0, 0));
       },
       pf24bit, {{0, 0, 1, 1}}},
      {"bit-field pixels become 24-bit",
       [&](TBitmap& B) {
         B.SetCustomFormat(16, {0x0F00, 0x00F0, 0x000F});
         B.SetSize(2, 3);
         B.SetPixel(0, 1, RGBColor(255, 255, 255));
       },
       pf24bit, {{0, 1, 1, 2}}},
  };
  for (const auto& C : Cases) {
    TBitmap B;
    C.Make(B);
    EXPECT_EQ(CheckedRectangles(BitmapToRegionData(&B)), C.Expected) << C.Label;
    EXPECT_EQ(B.PixelFormat(), C.After) << C.Label;
  }
}

TEST(BandRegion, UnionsInAnyOrderGiveTheBandedFormOfTheirPixels) {
  std::mt19937 Random(5);
  for (int Round = 0; Round < 30; ++Round) {
    std::vector<std::vector<bool>> Grid(24, std::vector<bool>(32, false));
    TBandRegion Region;
    for (int N = 0; N < 25; ++N) {
      const int L = static_cast<int>(Random() % 31), T = static_cast<int>(Random() % 23);
      const TRect R{L, T, L + 1 + static_cast<int>(Random() % static_cast<unsigned>(32 - L)),
                    T + 1 + static_cast<int>(Random() % static_cast<unsigned>(24 - T))};
      Region.Union(R);
      for (int Y = R.Top; Y < R.Bottom; ++Y)
        for (int X = R.Left; X < R.Right; ++X) Grid[Y][X] = true;
      ASSERT_EQ(Region.Rectangles(), BandsOfGrid(Grid)) << "round " << Round << " after " << N + 1;
    }
    std::vector<std::uint8_t> Block(Region.DataSize());
    ASSERT_TRUE(Region.GetData(Block.data(), Block.size()));
    EXPECT_EQ(CheckedRectangles(Block), BandsOfGrid(Grid));
    EXPECT_FALSE(Region.GetData(Block.data(), Block.size() - 1));
  }
  // Touching rectangles of one row become one run; empty ones add nothing.
  TBandRegion Row;
  Row.Union({4, 0, 6, 1});
  Row.Union({0, 0, 2, 1});
  Row.Union({2, 0, 4, 1});
  Row.Union({7, 0, 7, 1});
  EXPECT_EQ(Row.Rectangles(), (Rects{{0, 0, 6, 1}}));
  EXPECT_EQ(Row.BoundingBox(), (TRect{0, 0, 6, 1}));
}

TEST(RegionData, ReaderRefusesBlocksWhoseHeaderDoesNotFit) {
  const std::vector<std::uint8_t> Good = MakeRegionData({{1, 2, 3, 4}, {-5, 6, 7, 8}});
  ASSERT_EQ(Good.size(), 64u);
  TRect Box;
  EXPECT_EQ(ReadRegionData(Good, &Box), (Rects{{1, 2, 3, 4}, {-5, 6, 7, 8}}));
  EXPECT_EQ(Box, (TRect{-5, 2, 7, 8}));

  const struct {
    const char* Label;
    std::vector<std::uint8_t> Block;
  } Cases[] = {
      {"shorter than a header", std::vector<std::uint8_t>(Good.begin(), Good.begin() + 31)},
      {"header size 40", WithByte(Good, 0, 40)},
      {"type 2", WithByte(Good, 4, 2)},
      {"count 3 for two rectangles", WithByte(Good, 8, 3)},
      {"count past any size", WithByte(Good, 11, 0x80)},
      {"rectangle bytes 31", WithByte(Good, 12, 31)},
      {"a rectangle cut short", std::vector<std::uint8_t>(Good.begin(), Good.end() - 1)},
      {"a byte too many", [&Good] {
         auto B = Good;
         B.push_back(0);
         return B;
       }()},
  };
  for (const auto& C : Cases) EXPECT_THROW(ReadRegionData(C.Block), EReadError) << C.Label;
}

TEST(WindowArtwork, TheOutlineIs34RectanglesIn576Bytes) {
  TBitmap Window;
  Window.LoadFromFile(testsupport::BuildTreeFolder(DRAVIN_ARTWORK_DIR) + "window.bmp");
  ASSERT_EQ(Window.Width(), 445);
  ASSERT_EQ(Window.Height(), 183);
  EXPECT_EQ(Window.PixelFormat(), pf24bit);
  for (const auto& [X, Y] : std::initializer_list<std::pair<int, int>>{{0, 0}, {444, 0}, {0, 182}, {444, 182}, {200, 10}})
    EXPECT_EQ(Window.Pixel(X, Y), Grey) << X << "," << Y;
  TBitmap Converted;
  Converted.Assign(&Window);
  const std::vector<std::uint8_t> Block = BitmapToRegionData(&Converted);
  EXPECT_EQ(Block.size(), 576u);
  TRect Box;
  const Rects R = ReadRegionData(Block, &Box);
  EXPECT_EQ(R.size(), 34u);
  EXPECT_EQ(Box, (TRect{1, 2, 444, 182}));
  // Banded: tops never go back, and within a band lefts grow.
  for (std::size_t I = 1; I < R.size(); ++I) {
    EXPECT_TRUE(R[I].Top > R[I - 1].Top || (R[I].Top == R[I - 1].Top && R[I].Left > R[I - 1].Right)) << I;
  }

  // What the build stored in this program is that picture and that block.
  TBitmap Stored;
  std::vector<std::uint8_t> StoredBlock;
  LoadStoredRegion("Rgn1", Stored, StoredBlock);
  EXPECT_EQ(StoredBlock, Block);
  EXPECT_EQ(Stored.SaveToBytes(), Window.SaveToBytes());
  EXPECT_EQ(Stored.SaveToBytes().size(), 244542u);
}

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "framework/Graphics.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& B, std::uint32_t V, int N) {
  for (int K = 0; K < N; ++K) B.push_back(static_cast<std::uint8_t>(V >> (8 * K)));
}

// A bitmap file made by hand, independently of the writer under test. Pixels
// are given top row first, as palette indices or packed values.
struct HandMadeBitmap {
  int Bits = 24;
  int Width = 0, Height = 0;
  bool TopDown = false;
  std::uint32_t HeaderSize = 40;
  std::uint32_t Compression = 0;
  std::vector<std::uint32_t> Palette;  // 0x00RRGGBB
  std::vector<std::uint32_t> Masks;    // after the header (40) or inside it (larger)
  std::vector<std::uint32_t> Pixels;
  std::int64_t ColorsUsed = -1;        // -1: the palette's size
  std::int64_t PixelOffset = -1;       // -1: right after the palette
};

Bytes MakeFile(const HandMadeBitmap& S) {
  Bytes Info;
  const bool Core = S.HeaderSize == 12;
  Put(Info, S.HeaderSize, 4);
  if (Core) {
    Put(Info, static_cast<std::uint32_t>(S.Width), 2), Put(Info, static_cast<std::uint32_t>(S.Height), 2);
    Put(Info, 1, 2), Put(Info, static_cast<std::uint32_t>(S.Bits), 2);
  } else {
    Put(Info, static_cast<std::uint32_t>(S.Width), 4);
    Put(Info, static_cast<std::uint32_t>(S.TopDown ? -S.Height : S.Height), 4);
    Put(Info, 1, 2), Put(Info, static_cast<std::uint32_t>(S.Bits), 2), Put(Info, S.Compression, 4);
    Put(Info, 0, 4), Put(Info, 0, 4), Put(Info, 0, 4);
    Put(Info, static_cast<std::uint32_t>(S.ColorsUsed >= 0 ? S.ColorsUsed : static_cast<std::int64_t>(S.Palette.size())), 4);
    Put(Info, 0, 4);
    if (S.HeaderSize > 40)
      for (std::uint32_t M : S.Masks) Put(Info, M, 4);
    Info.resize(S.HeaderSize, 0);
    if (S.HeaderSize == 40)
      for (std::uint32_t M : S.Masks) Put(Info, M, 4);
  }
  for (std::uint32_t C : S.Palette) Put(Info, C, Core ? 3 : 4);
  Bytes Pixels;
  const std::size_t Row = (static_cast<std::size_t>(S.Width) * S.Bits + 31) / 32 * 4;
  for (int I = 0; I < S.Height; ++I) {
    const int Y = S.TopDown ? I : S.Height - 1 - I;
    Bytes R(Row, 0);
    for (int X = 0; X < S.Width; ++X) {
      const std::uint32_t V = S.Pixels[static_cast<std::size_t>(Y) * S.Width + X];
      if (S.Bits < 8) {
        const int PerByte = 8 / S.Bits;
        R[X / PerByte] |= static_cast<std::uint8_t>(V << (8 - S.Bits * (X % PerByte + 1)));
      } else {
        for (int K = 0; K < S.Bits / 8; ++K) R[X * (S.Bits / 8) + K] = static_cast<std::uint8_t>(V >> (8 * K));
      }
    }
    Pixels.insert(Pixels.end(), R.begin(), R.end());
  }
  const std::uint32_t Offset =
      static_cast<std::uint32_t>(S.PixelOffset >= 0 ? S.PixelOffset : static_cast<std::int64_t>(14 + Info.size()));
  Bytes File{'B', 'M'};
  Put(File, static_cast<std::uint32_t>(14 + Info.size() + Pixels.size()), 4);
  Put(File, 0, 4);
  Put(File, Offset, 4);
  File.insert(File.end(), Info.begin(), Info.end());
  File.resize(std::max<std::size_t>(File.size(), Offset), 0);
  File.insert(File.end(), Pixels.begin(), Pixels.end());
  return File;
}

void Load(TBitmap& B, const Bytes& File) {
  TMemoryStream S;
  S.WriteBuffer(File.data(), static_cast<std::int64_t>(File.size()));
  S.SetPosition(0);
  B.LoadFromStream(S);
}

std::vector<TColor> ColoursOf(const TBitmap& B) {
  std::vector<TColor> C;
  for (int Y = 0; Y < B.Height(); ++Y)
    for (int X = 0; X < B.Width(); ++X) C.push_back(B.Pixel(X, Y));
  return C;
}

constexpr TColor Red = RGBColor(255, 0, 0), Green = RGBColor(0, 255, 0), Blue = RGBColor(0, 0, 255);
constexpr TColor White = RGBColor(255, 255, 255), Black = 0, Teal = RGBColor(0, 128, 128);

}  // namespace

TEST(Bitmap, ReadsEveryDepthHeaderAndRowOrder) {
  // Each file holds the 3 x 2 picture below in its own layout.
  const std::vector<TColor> Picture = {Red, Green, Blue, White, Black, Teal};
  const std::vector<std::uint32_t> Palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x008080};
  const std::vector<std::uint32_t> Indices = {0, 1, 2, 3, 4, 5};
  const std::vector<std::uint32_t> Rgb24 = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x008080};
  // 5-5-5 and 5-6-5 values; 0x10 of 31 in teal's channels reads as 0x84.
  const std::vector<std::uint32_t> Rgb555 = {0x7C00, 0x03E0, 0x001F, 0x7FFF, 0, 0x0210};
  const std::vector<std::uint32_t> Rgb565 = {0xF800, 0x07E0, 0x001F, 0xFFFF, 0, 0x0410};
  const std::vector<std::uint32_t> Bgr32 = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x000000, 0x808000};
  const TColor Teal5 = RGBColor(0, 0x84, 0x84);
  struct Case {
    const char* Label;
    HandMadeBitmap File;
    TPixelFormat Format;
    std::vector<TColor> Expected;
  } Cases[] = {
      {"8-bit bottom-up", {8, 3, 2, false, 40, 0, Palette, {}, Indices}, pf8bit, Picture},
      {"8-bit top-down", {8, 3, 2, true, 40, 0, Palette, {}, Indices}, pf8bit, Picture},
      {"4-bit, six of sixteen entries", {4, 3, 2, false, 40, 0, Palette, {}, Indices}, pf4bit, Picture},
      {"1-bit", {1, 3, 2, true, 40, 0, {0x000000, 0xFFFFFF}, {}, {1, 0, 1, 0, 0, 1}}, pf1bit,
       {White, Black, White, Black, Black, White}},
      {"24-bit bottom-up", {24, 3, 2, false, 40, 0, {}, {}, Rgb24}, pf24bit, Picture},
      {"24-bit top-down", {24, 3, 2, true, 40, 0, {}, {}, Rgb24}, pf24bit, Picture},
      {"24-bit core header", {24, 3, 2, false, 12, 0, {}, {}, Rgb24}, pf24bit, Picture},
      {"8-bit core header, three-byte palette", {8, 3, 2, false, 12, 0, [&] {
         auto P = Palette;
         P.resize(256);
         return P;
       }(), {}, Indices}, pf8bit, Picture},
      {"16-bit plain is 5-5-5", {16, 3, 2, false, 40, 0, {}, {}, Rgb555}, pf15bit,
       {Red, Green, Blue, White, Black, Teal5}},
      {"16-bit fields 5-6-5", {16, 3, 2, true, 40, 3, {}, {0xF800, 0x07E0, 0x001F}, Rgb565}, pf16bit,
       {Red, Green, Blue, White, Black, RGBColor(0, 0x82, 0x84)}},
      {"32-bit plain", {32, 3, 2, false, 40, 0, {}, {}, Rgb24}, pf32bit, Picture},
      {"32-bit fields, red and blue swapped", {32, 3, 2, false, 40, 3, {}, {0xFF, 0xFF00, 0xFF0000}, Bgr32}, pfCustom,
       Picture},
      {"32-bit fields in a version 5 header", {32, 3, 2, true, 124, 3, {}, {0xFF0000, 0xFF00, 0xFF}, Rgb24}, pf32bit,
       Picture},
  };
  for (const Case& C : Cases) {
    TBitmap B;
    Load(B, MakeFile(C.File));
    EXPECT_FALSE(B.Empty()) << C.Label;
    EXPECT_EQ(B.Width(), 3) << C.Label;
    EXPECT_EQ(B.Height(), 2) << C.Label;
    EXPECT_EQ(B.PixelFormat(), C.Format) << C.Label;
    EXPECT_EQ(ColoursOf(B), C.Expected) << C.Label;
  }
}

TEST(Bitmap, WritesBottomUpFilesThatReadBackTheSame) {
  struct Case {
    TPixelFormat Format;
    int Bits, Compression;
    std::size_t PaletteEntries;
  } Cases[] = {{pf1bit, 1, 0, 2},  {pf4bit, 4, 0, 16}, {pf8bit, 8, 0, 256},  {pf15bit, 16, 0, 0},
               {pf16bit, 16, 3, 0}, {pf24bit, 24, 0, 0}, {pf32bit, 32, 0, 0}, {pfCustom, 16, 3, 0}};
  for (const Case& C : Cases) {
    TBitmap B;
    if (C.Format == pfCustom)
      B.SetCustomFormat(16, {0x0F00, 0x00F0, 0x000F});
    else
      B.SetPixelFormat(C.Format);
    B.SetSize(5, 3);
    for (int Y = 0; Y < 3; ++Y)
      for (int X = 0; X < 5; ++X) B.SetPixel(X, Y, (X + 2 * Y) % 3 == 0 ? White : Black);
    const Bytes File = B.SaveToBytes();
    const std::size_t Fields = C.Compression == 3 ? 12 : 0;
    const std::size_t Offset = 54 + Fields + 4 * C.PaletteEntries;
    ASSERT_EQ(File.size(), Offset + 3 * ((5 * C.Bits + 31) / 32 * 4)) << C.Bits;
    EXPECT_EQ(File[28], C.Bits);
    EXPECT_EQ(File[30], C.Compression);
    EXPECT_EQ(File[10] | File[11] << 8, static_cast<int>(Offset));
    EXPECT_EQ(File[22], 3) << "positive height: bottom-up";
    TBitmap Back;
    Load(Back, File);
    EXPECT_EQ(Back.PixelFormat(), C.Format);
    EXPECT_EQ(ColoursOf(Back), ColoursOf(B)) << C.Bits;
  }
  // The window's picture as stored: 54 bytes of headers and 183 rows of 1,336.
  TBitmap Window;
  Window.SetPixelFormat(pf24bit);
  Window.SetSize(445, 183);
  EXPECT_EQ(Window.SaveToBytes().size(), 244542u);
  TBitmap Empty;
  EXPECT_TRUE(Empty.SaveToBytes().empty());
}

TEST(Bitmap, FormatChangesKeepIndicesOrColours) {
  // Palette images grow to 8 bits index by index, even where two entries
  // share a colour.
  TBitmap Four;
  Four.SetPixelFormat(pf4bit);
  Four.SetSize(4, 1);
  Four.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}, {255, 255, 255, 0}});
  Four.ScanLine(0)[0] = 0x12;
  Four.ScanLine(0)[1] = 0x01;
  Four.SetPixelFormat(pf8bit);
  EXPECT_EQ(Four.PixelFormat(), pf8bit);
  EXPECT_EQ(Bytes(Four.ScanLine(0), Four.ScanLine(0) + 4), (Bytes{1, 2, 0, 1}));
  EXPECT_EQ(Four.Palette().size(), 3u);

  TBitmap One;
  One.SetPixelFormat(pf1bit);
  One.SetSize(10, 1);
  One.ScanLine(0)[0] = 0xA0;
  One.ScanLine(0)[1] = 0x40;
  One.SetPixelFormat(pf8bit);
  EXPECT_EQ(Bytes(One.ScanLine(0), One.ScanLine(0) + 10), (Bytes{1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));

  // Everything else becomes three bytes of blue, green and red.
  struct Case {
    const char* Label;
    TPixelFormat Format;
  } Cases[] = {{"device", pfDevice}, {"15-bit", pf15bit}, {"16-bit", pf16bit}, {"32-bit", pf32bit}, {"custom", pfCustom}};
  for (const Case& C : Cases) {
    TBitmap B;
    B.SetPixelFormat(C.Format);
    B.SetSize(3, 1);
    B.SetPixel(0, 0, Red), B.SetPixel(1, 0, White), B.SetPixel(2, 0, Blue);
    B.SetPixelFormat(pf24bit);
    EXPECT_EQ(B.PixelFormat(), pf24bit) << C.Label;
    EXPECT_EQ(Bytes(B.ScanLine(0), B.ScanLine(0) + 9), (Bytes{0, 0, 255, 255, 255, 255, 255, 0, 0})) << C.Label;
  }

  // And colour images widen without change.
  TBitmap Wide;
  Wide.SetPixelFormat(pf24bit);
  Wide.SetSize(2, 1);
  Wide.SetPixel(0, 0, Teal), Wide.SetPixel(1, 0, Red);
  Wide.SetPixelFormat(pf32bit);
  EXPECT_EQ(ColoursOf(Wide), (std::vector<TColor>{Teal, Red}));

  // A colour image with few colours keeps them exactly in a palette.
  TBitmap Few;
  Few.SetPixelFormat(pf24bit);
  Few.SetSize(3, 1);
  Few.SetPixel(0, 0, Teal), Few.SetPixel(1, 0, Red), Few.SetPixel(2, 0, Teal);
  Few.SetPixelFormat(pf4bit);
  EXPECT_EQ(ColoursOf(Few), (std::vector<TColor>{Teal, Red, Teal}));
}

TEST(Bitmap, SizeScanLinesAndStoredData) {
  TBitmap B;
  EXPECT_TRUE(B.Empty());
  B.SetPixelFormat(pf24bit);
  B.SetSize(2, 2);
  B.SetPixel(1, 1, Red);
  B.SetSize(3, 3);
  EXPECT_EQ(B.Pixel(1, 1), Red) << "kept where old and new overlap";
  EXPECT_EQ(B.Pixel(2, 2), Black);
  EXPECT_EQ(B.RowBytes(), 12u);
  EXPECT_THROW(B.ScanLine(3), EInvalidGraphic);
  EXPECT_THROW(B.ScanLine(-1), EInvalidGraphic);
  EXPECT_THROW(B.SetSize(-1, 2), EInvalidGraphic);
  TBitmap Zero;
  Zero.SetSize(0, 4);
  EXPECT_FALSE(Zero.Empty());

  // The stored form: a length, then the file; a length of 0 is no picture.
  TMemoryStream S;
  B.WriteData(S);
  TBitmap().WriteData(S);
  EXPECT_EQ(S.Size(), 4 + 54 + 36 + 4);
  S.SetPosition(0);
  TBitmap Back, Nothing;
  Back.ReadData(S);
  Nothing.SetSize(1, 1);
  Nothing.ReadData(S);
  EXPECT_EQ(ColoursOf(Back), ColoursOf(B));
  EXPECT_TRUE(Nothing.Empty());
  EXPECT_EQ(S.Position(), S.Size());
  // A length past the end of the stream.
  TMemoryStream Short;
  const std::uint8_t Length[4] = {100, 0, 0, 0};
  Short.WriteBuffer(Length, 4);
  Short.SetPosition(0);
  EXPECT_THROW(Back.ReadData(Short), EInvalidGraphic);
}

TEST(Bitmap, RefusesBrokenFilesAndKeepsItsPicture) {
  const HandMadeBitmap Good{8, 3, 2, false, 40, 0, {0x000000, 0xFFFFFF}, {}, {0, 1, 0, 1, 0, 1}};
  const Bytes GoodFile = MakeFile(Good);
  auto With = [&Good](auto Change) {
    HandMadeBitmap S = Good;
    Change(S);
    return MakeFile(S);
  };
  auto Patched = [&GoodFile](std::size_t At, std::uint32_t Value) {
    Bytes F = GoodFile;
    for (int K = 0; K < 4; ++K) F.at(At + K) = static_cast<std::uint8_t>(Value >> (8 * K));
    return F;
  };
  // A 32-bit header claiming the given size, without any pixels.
  auto Sized = [&With](std::uint32_t Width, std::uint32_t Height) {
    Bytes F = With([](HandMadeBitmap& S) { S.Bits = 32, S.Palette.clear(), S.Pixels.clear(), S.Width = S.Height = 0; });
    for (int K = 0; K < 4; ++K) F.at(18 + K) = static_cast<std::uint8_t>(Width >> (8 * K));
    for (int K = 0; K < 4; ++K) F.at(22 + K) = static_cast<std::uint8_t>(Height >> (8 * K));
    return F;
  };
  struct Case {
    const char* Label;
    Bytes File;
  } Cases[] = {
      {"nothing", {}},
      {"not a bitmap", Bytes{'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0}},
      {"cut in the file header", Bytes(GoodFile.begin(), GoodFile.begin() + 10)},
      {"cut in the information header", Bytes(GoodFile.begin(), GoodFile.begin() + 30)},
      {"cut in the palette", Bytes(GoodFile.begin(), GoodFile.begin() + 57)},
      {"one pixel byte short", Bytes(GoodFile.begin(), GoodFile.end() - 1)},
      {"header size 41", Patched(14, 41)},
      {"header size 2^32 - 1", Patched(14, 0xFFFFFFFF)},
      {"negative width", Patched(18, static_cast<std::uint32_t>(-3))},
      {"height of INT_MIN", Patched(22, 0x80000000)},
      {"no pixel bytes, but two million rows", Sized(0, 2 << 20)},
      {"a million pixels a side: four terabytes claimed by 54 bytes", Sized(1 << 20, 1 << 20)},
      {"2 bits per pixel", Patched(28, 2)},
      {"17 colours for 4 bits", With([](HandMadeBitmap& S) { S.Bits = 4, S.ColorsUsed = 17; })},
      {"2^32 - 1 colours for 8 bits", With([](HandMadeBitmap& S) { S.ColorsUsed = 0xFFFFFFFF; })},
      {"run-length compressed", Patched(30, 1)},
      {"fields on 24 bits", With([](HandMadeBitmap& S) {
         S.Bits = 24, S.Palette.clear(), S.Compression = 3, S.Masks = {0xFF0000, 0xFF00, 0xFF};
       })},
      {"masks with gaps", With([](HandMadeBitmap& S) {
         S.Bits = 32, S.Palette.clear(), S.Compression = 3, S.Masks = {0xF0F000, 0xFF00, 0xFF};
       })},
      {"16-bit mask wider than the pixel", With([](HandMadeBitmap& S) {
         S.Bits = 16, S.Palette.clear(), S.Compression = 3, S.Masks = {0x1F0000, 0x7E0, 0x1F};
       })},
      {"pixels inside the palette", With([](HandMadeBitmap& S) { S.PixelOffset = 60; })},
  };
  for (const Case& C : Cases) {
    TBitmap B;
    B.SetPixelFormat(pf24bit);
    B.SetSize(1, 1);
    B.SetPixel(0, 0, Teal);
    EXPECT_THROW(Load(B, C.File), EInvalidGraphic) << C.Label;
    EXPECT_EQ(B.Width(), 1) << C.Label;
    EXPECT_EQ(B.Pixel(0, 0), Teal) << C.Label;
  }
  // The unchanged file is fine, and a pixel index past the palette reads black.
  TBitmap B;
  Load(B, With([](HandMadeBitmap& S) { S.Pixels[0] = 200; }));
  EXPECT_EQ(B.Pixel(0, 0), Black);
  EXPECT_EQ(B.Pixel(1, 0), White);
}

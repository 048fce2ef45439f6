// Pictures as plain pixels: TBitmap reads and writes Windows bitmap files and
// converts between pixel formats by itself, so that shapes can be computed
// from pictures in both builds without a device context.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Streams.h"

// Right and bottom are exclusive, as in the system's rectangles.
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TRect&) const = default;
};

// A colour as the system packs it: 0x00BBGGRR.
using TColor = std::uint32_t;
constexpr TColor RGBColor(std::uint8_t Red, std::uint8_t Green, std::uint8_t Blue) {
  return static_cast<TColor>(Red) | static_cast<TColor>(Green) << 8 | static_cast<TColor>(Blue) << 16;
}
constexpr std::uint8_t RedOf(TColor C) { return static_cast<std::uint8_t>(C); }
constexpr std::uint8_t GreenOf(TColor C) { return static_cast<std::uint8_t>(C >> 8); }
constexpr std::uint8_t BlueOf(TColor C) { return static_cast<std::uint8_t>(C >> 16); }

// pfDevice is the screen's own layout (here 32 bits, blue first, the fourth
// byte unused); pfCustom is any other bit-field layout of 16 or 32 bits.
enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// Palette entries and rows are laid out as in a bitmap file: blue first.
struct TPaletteEntry {
  std::uint8_t Blue = 0, Green = 0, Red = 0, Reserved = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

struct TBitMasks {
  std::uint32_t Red = 0, Green = 0, Blue = 0;
  bool operator==(const TBitMasks&) const = default;
};

class TBitmap : public TObject {
 public:
  TBitmap() = default;
  const char* ClassName() const override { return "TBitmap"; }

  // A bitmap is empty until it is given a size or a picture; an image of
  // width or height 0 is not empty, it just has no pixels.
  bool Empty() const { return FEmpty; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  TPixelFormat PixelFormat() const { return FFormat; }
  int BitsPerPixel() const;
  // Bytes per row, rows padded to four bytes as in the file.
  std::size_t RowBytes() const { return FRowBytes; }

  // Keeps the format and the pixels where old and new size overlap; new
  // pixels are 0 (palette index 0, or black).
  void SetSize(int AWidth, int AHeight);
  // Converts the pixels in place. Fewer palette bits keep indices that fit
  // and map the others to the nearest colour; a palette made from colours
  // holds them exactly when there are few enough, or a fixed one otherwise.
  void SetPixelFormat(TPixelFormat Value);
  // The masks of pfCustom pixels (16 or 32 bits); other formats report theirs.
  TBitMasks BitMasks() const;
  void SetCustomFormat(int BitsPerPixel, const TBitMasks& Masks);

  // Row 0 is the top row. Raises EInvalidGraphic outside 0 .. Height - 1.
  std::uint8_t* ScanLine(int Row);
  const std::uint8_t* ScanLine(int Row) const;

  // The colour table of 1-, 4- and 8-bit images; indices past its end are black.
  const std::vector<TPaletteEntry>& Palette() const { return FPalette; }
  void SetPalette(const std::vector<TPaletteEntry>& Value);

  // Colours of single pixels (outside the image: 0, and setting does
  // nothing); in palette images setting picks the nearest entry.
  TColor Pixel(int X, int Y) const;
  void SetPixel(int X, int Y, TColor Color);

  void Assign(const TBitmap* Source);  // nullptr empties
  void Clear() { Assign(nullptr); }

  // Windows bitmap files: 1, 4, 8, 16, 24 and 32 bits, bottom-up or top-down,
  // with colour tables and bit fields, with the information header or the
  // older core header. A broken file raises EInvalidGraphic and leaves the
  // bitmap as it was. Writing always gives a bottom-up file; an empty bitmap
  // writes nothing.
  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream) const;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;
  std::vector<std::uint8_t> SaveToBytes() const;

  // The stored form of a picture property: a 32-bit length, then the file.
  void ReadData(TStream& Stream);
  void WriteData(TStream& Stream) const;

 private:
  void Swap(TBitmap& Other);
  void Allocate(int AWidth, int AHeight, TPixelFormat Format, int CustomBits);
  std::uint32_t Index(const std::uint8_t* Row, int X) const;
  TColor Decode(const std::uint8_t* Row, int X) const;
  void Encode(std::uint8_t* Row, int X, TColor Color) const;
  std::uint8_t NearestIndex(TColor Color) const;

  bool FEmpty = true;
  int FWidth = 0, FHeight = 0;
  TPixelFormat FFormat = pfDevice;
  int FCustomBits = 32;
  TBitMasks FMasks;
  std::size_t FRowBytes = 0;
  std::vector<std::uint8_t> FPixels;
  std::vector<TPaletteEntry> FPalette;
};

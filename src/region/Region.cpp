#include "region/Region.h"

#include <cstring>
#include <new>

#include "region/RegionData.h"

namespace {

// A row may have at most this many runs before the counter is checked again;
// shapes with more are not outlines but noise.
constexpr int MaxRunsPerRow = 100;

template <std::size_t PixelBytes>
void Scan(const TBitmap& Bitmap, TBandRegion& Region) {
  const int Width = Bitmap.Width(), Height = Bitmap.Height();
  std::uint8_t Key[PixelBytes];
  std::memcpy(Key, Bitmap.ScanLine(Height - 1), PixelBytes);
  for (int Y = 0; Y < Height; ++Y) {
    const std::uint8_t* Row = Bitmap.ScanLine(Y);
    auto Transparent = [Row, &Key](int X) { return std::memcmp(Row + PixelBytes * static_cast<std::size_t>(X), Key, PixelBytes) == 0; };
    int Runs = 0;
    int X = 0;
    while (X < Width) {
      if (Runs > MaxRunsPerRow) throw EInvalidGraphic("ﾋﾞｯﾄﾏｯﾌﾟの形状が不適です");
      while (X < Width && Transparent(X)) ++X;
      if (X >= Width) break;
      const int Start = X;
      while (X < Width && !Transparent(X)) ++X;
      Region.Union(TRect{Start, Y, X, Y + 1});
      ++Runs;
      ++X;  // the transparent pixel that ended the run
    }
  }
}

}  // namespace

std::vector<std::uint8_t> BitmapToRegionData(TBitmap* Bitmap) {
  if (!Bitmap || Bitmap->Empty()) throw EInvalidGraphic("ﾋﾞｯﾄﾏｯﾌﾟが正しくｾｯﾄされていません");
  if (Bitmap->Width() == 0 || Bitmap->Height() == 0) throw EInvalidGraphic("幅または高さが 0 です");
  switch (Bitmap->PixelFormat()) {
    case pf8bit:
    case pf24bit: break;
    case pf1bit:
    case pf4bit: Bitmap->SetPixelFormat(pf8bit); break;
    default: Bitmap->SetPixelFormat(pf24bit); break;
  }
  try {
    TBandRegion Region;
    if (Bitmap->PixelFormat() == pf8bit)
      Scan<1>(*Bitmap, Region);
    else
      Scan<3>(*Bitmap, Region);
    std::vector<std::uint8_t> Block(Region.DataSize());
    if (!Region.GetData(Block.data(), Block.size())) throw EConvertError("ﾘｰｼﾞｮﾝﾃﾞｰﾀが抽出できません");
    return Block;
  } catch (const std::bad_alloc&) {
    throw Exception("ﾒﾓﾘ獲得に失敗しました");
  } catch (const EOutOfMemory&) {
    throw Exception("ﾒﾓﾘ獲得に失敗しました");
  }
}

#include "region/Region.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "region/RegionData.h"

namespace {

// A row may have at most this many runs before the counter is checked again;
// shapes with more are not outlines but noise.
constexpr int MaxRunsPerRow = 100;

// A pixel as one number: its palette index, or blue, green and red.
template <int PixelBytes>
inline std::uint32_t PixelAt(const std::uint8_t* Row, int X) {
  const std::uint8_t* P = Row + static_cast<std::size_t>(PixelBytes) * static_cast<std::size_t>(X);
  if constexpr (PixelBytes == 1) {
    return P[0];
  } else {
    return static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 | static_cast<std::uint32_t>(P[2]) << 16;
  }
}

// Sixteen bytes compared at once (vector code where the processor has it).
using TBytes16 = std::uint8_t __attribute__((vector_size(16)));

inline TBytes16 Load16(const std::uint8_t* P) {
  TBytes16 V;
  std::memcpy(&V, P, 16);
  return V;
}

inline bool AnySet(TBytes16 V) {
  std::uint64_t Half[2];
  std::memcpy(Half, &V, 16);
  return (Half[0] | Half[1]) != 0;
}

// Finding where a run begins or ends dominates the conversion, so rows are
// read sixteen pixels at a time: a block is skipped when none of its pixels
// differs from the key colour, or when none of its bytes equals the key's byte
// at that place (then no pixel can be the key colour). Otherwise, and at the
// end of a row, pixel by pixel.
template <int PixelBytes>
class TRowScanner {
 public:
  static constexpr int Block = 16;

  TRowScanner(std::uint32_t Key, int Width) : FKey(Key), FWidth(Width) {
    std::uint8_t Pattern[3 * Block];
    for (int K = 0; K < 3 * Block; ++K) Pattern[K] = static_cast<std::uint8_t>(Key >> (8 * (K % PixelBytes)));
    for (int K = 0; K < PixelBytes; ++K) FPattern[K] = Load16(Pattern + Block * K);
  }

  int SkipKey(const std::uint8_t* Row, int X) const {
    while (X + Block <= FWidth && !Differs(Row, X)) X += Block;
    while (X < FWidth && PixelAt<PixelBytes>(Row, X) == FKey) ++X;
    return X;
  }

  int SkipOthers(const std::uint8_t* Row, int X) const {
    for (;;) {
      while (X + Block <= FWidth && !AnyByteMatches(Row, X)) X += Block;
      const int Stop = std::min(FWidth, X + Block);
      while (X < Stop && PixelAt<PixelBytes>(Row, X) != FKey) ++X;
      if (X < Stop || X >= FWidth) return X;
    }
  }

 private:
  const std::uint8_t* At(const std::uint8_t* Row, int X) const {
    return Row + static_cast<std::size_t>(PixelBytes) * static_cast<std::size_t>(X);
  }

  bool Differs(const std::uint8_t* Row, int X) const {
    TBytes16 D = Load16(At(Row, X)) ^ FPattern[0];
    for (int K = 1; K < PixelBytes; ++K) D |= Load16(At(Row, X) + Block * K) ^ FPattern[K];
    return AnySet(D);
  }

  bool AnyByteMatches(const std::uint8_t* Row, int X) const {
    TBytes16 M = reinterpret_cast<TBytes16>(Load16(At(Row, X)) == FPattern[0]);
    for (int K = 1; K < PixelBytes; ++K) M |= reinterpret_cast<TBytes16>(Load16(At(Row, X) + Block * K) == FPattern[K]);
    return AnySet(M);
  }

  std::uint32_t FKey;
  int FWidth;
  TBytes16 FPattern[PixelBytes];
};

template <int PixelBytes>
void Scan(const TBitmap& Bitmap, TBandRegion& Region) {
  const int Width = Bitmap.Width(), Height = Bitmap.Height();
  const TRowScanner<PixelBytes> Scanner(PixelAt<PixelBytes>(Bitmap.ScanLine(Height - 1), 0), Width);
  for (int Y = 0; Y < Height; ++Y) {
    const std::uint8_t* Row = Bitmap.ScanLine(Y);
    int Runs = 0;
    int X = 0;
    while (X < Width) {
      if (Runs > MaxRunsPerRow) throw EInvalidGraphic("ﾋﾞｯﾄﾏｯﾌﾟの形状が不適です");
      X = Scanner.SkipKey(Row, X);
      if (X >= Width) break;
      const int Start = X;
      X = Scanner.SkipOthers(Row, X);
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

// Bitmap files come from forms and from the build's artwork; the reader takes
// any bytes. What it accepts must read every pixel, write a file that reads
// back the same, and convert to region data or refuse to.
#include <cstdint>
#include <vector>

#include "framework/Graphics.h"
#include "region/Region.h"
#include "region/RegionData.h"

namespace {

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TMemoryStream Stream;
  Stream.WriteBuffer(Data, static_cast<std::int64_t>(Size));
  Stream.SetPosition(0);
  TBitmap B;
  try {
    B.LoadFromStream(Stream);
  } catch (const EInvalidGraphic&) {
    Check(B.Empty());
    return 0;
  }
  Check(!B.Empty() && B.RowBytes() * static_cast<std::uint64_t>(B.Height()) <= Size);
  if (static_cast<std::uint64_t>(B.Width()) * static_cast<std::uint64_t>(B.Height()) > (1u << 16)) return 0;
  TBitmap Back;
  const std::vector<std::uint8_t> File = B.SaveToBytes();
  TMemoryStream Written;
  Written.WriteBuffer(File.data(), static_cast<std::int64_t>(File.size()));
  Written.SetPosition(0);
  Back.LoadFromStream(Written);
  Check(Back.Width() == B.Width() && Back.Height() == B.Height() && Back.PixelFormat() == B.PixelFormat());
  for (int Y = 0; Y < B.Height(); ++Y)
    for (int X = 0; X < B.Width(); ++X) Check(Back.Pixel(X, Y) == B.Pixel(X, Y));
  try {
    const std::vector<std::uint8_t> Block = BitmapToRegionData(&B);
    for (const TRect& R : ReadRegionData(Block))
      Check(R.Left >= 0 && R.Left < R.Right && R.Right <= B.Width() && R.Top >= 0 && R.Top < R.Bottom &&
            R.Bottom <= B.Height());
  } catch (const EInvalidGraphic&) {
  }
  return 0;
}

// Times turning the window's picture into region data: our conversion, and on
// Windows the system's way of building the same region (a rectangle region
// per run, each united with the whole, then the region data read back), in one
// run of one program. usage: regionbench WINDOW.BMP
#include <algorithm>
#include <time.h>

#include <cstdio>
#include <functional>
#include <vector>

#include "framework/Graphics.h"
#include "region/Region.h"
#include "region/RegionData.h"
#ifdef _WIN32
#include "platform/SystemRegion.h"
#endif

namespace {

// Microseconds of a steady clock (<chrono> does not compile with Shift-JIS literals).
double Now() {
  timespec T{};
  ::clock_gettime(CLOCK_MONOTONIC, &T);
  return static_cast<double>(T.tv_sec) * 1e6 + static_cast<double>(T.tv_nsec) / 1e3;
}

// The best of five batches of at least 0.2 s each, in microseconds per call.
double MicrosecondsPerCall(const std::function<void()>& Call) {
  double Best = 1e300;
  for (int Batch = 0; Batch < 5; ++Batch) {
    long Calls = 0;
    const double Start = Now();
    double Spent = 0;
    do {
      Call();
      ++Calls;
      Spent = Now() - Start;
    } while (Spent < 200000);
    Best = std::min(Best, Spent / static_cast<double>(Calls));
  }
  return Best;
}

#ifdef _WIN32
// The same scan of a 24-bit picture, each run handed to the system at once.
std::vector<std::uint8_t> SystemConversion(const TBitmap& Bitmap) {
  const std::uint8_t* Key = Bitmap.ScanLine(Bitmap.Height() - 1);
  plat::SystemRegion Whole = plat::SystemRegion::Rectangle(0, 0, 0, 0);
  for (int Y = 0; Y < Bitmap.Height(); ++Y) {
    const std::uint8_t* Row = Bitmap.ScanLine(Y);
    auto Opaque = [&](int X) { return !std::equal(Key, Key + 3, Row + 3 * X); };
    for (int X = 0; X < Bitmap.Width();) {
      if (!Opaque(X)) {
        ++X;
        continue;
      }
      const int Start = X;
      while (X < Bitmap.Width() && Opaque(X)) ++X;
      Whole.Unite(plat::SystemRegion::Rectangle(Start, Y, X, Y + 1));
    }
  }
  return Whole.Data();
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: regionbench WINDOW.BMP\n");
    return 2;
  }
  TBitmap Window;
  Window.LoadFromFile(argv[1]);
  const std::vector<std::uint8_t> Block = BitmapToRegionData(&Window);
  std::printf("window %d x %d: %zu rectangles, %zu bytes\n", Window.Width(), Window.Height(),
              ReadRegionData(Block).size(), Block.size());
  const double Ours = MicrosecondsPerCall([&] { BitmapToRegionData(&Window); });
  std::printf("BitmapToRegionData            %10.1f us\n", Ours);
#ifdef _WIN32
  if (SystemConversion(Window) != Block) {
    std::printf("the system's region data differs from ours\n");
    return 1;
  }
  const double System = MicrosecondsPerCall([&] { SystemConversion(Window); });
  std::printf("CombineRgn per run + GetRegionData %5.1f us\n", System);
  std::printf("ratio system/ours             %10.1f\n", System / Ours);
#endif
  return 0;
}

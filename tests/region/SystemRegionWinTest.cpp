// Our region data against the system's own regions: a region the system
// builds from our block must give back the same rectangles, and a region the
// system builds rectangle by rectangle must give back our block.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "RegionTestSupport.h"
#include "TestSupport.h"
#include "platform/SystemRegion.h"
#include "region/Region.h"
#include "region/RegionData.h"

using namespace regiontest;

namespace {

struct Sample {
  std::string Label;
  std::vector<std::uint8_t> Block;
};

std::vector<Sample> Samples() {
  std::vector<Sample> Out;
  TBitmap Window;
  Window.LoadFromFile(testsupport::BuildTreeFolder(DRAVIN_ARTWORK_DIR) + "window.bmp");
  Out.push_back({"the window", BitmapToRegionData(&Window)});
  TBitmap Comb;
  Draw(Comb, {Alternating(202), Alternating(202), "#" + std::string(201, '.'), std::string(202, '.')});
  Out.push_back({"101 runs", BitmapToRegionData(&Comb)});
  std::mt19937 Random(11);
  for (int K = 0; K < 5; ++K) {
    TBandRegion Region;
    for (int N = 0; N < 40; ++N) {
      const int L = static_cast<int>(Random() % 60), T = static_cast<int>(Random() % 60);
      Region.Union(TRect{L, T, L + 1 + static_cast<int>(Random() % 20), T + 1 + static_cast<int>(Random() % 20)});
    }
    std::vector<std::uint8_t> Block(Region.DataSize());
    Region.GetData(Block.data(), Block.size());
    Out.push_back({"random " + std::to_string(K), Block});
  }
  Out.push_back({"empty", MakeRegionData({})});
  return Out;
}

}  // namespace

TEST(SystemRegion, BuildsFromOurBlocksAndGivesBackTheSameRectangles) {
  for (const Sample& S : Samples()) {
    plat::SystemRegion Region = plat::SystemRegion::FromData(S.Block.data(), S.Block.size());
    ASSERT_TRUE(Region.Valid()) << S.Label;
    const std::vector<std::uint8_t> Back = Region.Data();
    TRect OurBox, SystemBox;
    const std::vector<TRect> Ours = ReadRegionData(S.Block, &OurBox);
    ASSERT_FALSE(Back.empty()) << S.Label;
    EXPECT_EQ(ReadRegionData(Back, &SystemBox), Ours) << S.Label;
    EXPECT_EQ(SystemBox, OurBox) << S.Label;
  }
}

TEST(SystemRegion, RectanglesUnitedOneByOneGiveOurBlock) {
  for (const Sample& S : Samples()) {
    plat::SystemRegion Whole = plat::SystemRegion::Rectangle(0, 0, 0, 0);
    for (const TRect& R : ReadRegionData(S.Block)) {
      // Row by row, as a scan of the picture would add them.
      for (int Y = R.Top; Y < R.Bottom; ++Y)
        ASSERT_TRUE(Whole.Unite(plat::SystemRegion::Rectangle(R.Left, Y, R.Right, Y + 1))) << S.Label;
    }
    EXPECT_EQ(Whole.Data(), S.Block) << S.Label;
  }
}

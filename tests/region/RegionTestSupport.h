// Pictures drawn from text and region blocks checked field by field, for the
// region tests of both builds.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Graphics.h"
#include "region/Region.h"
#include "region/RegionData.h"

namespace regiontest {

constexpr TColor Grey = RGBColor(0xC0, 0xC0, 0xC0);

// One character a pixel, top row first: '.' grey, '#' navy, 'x' red.
inline void Draw(TBitmap& B, const std::vector<std::string>& Rows) {
  B.SetPixelFormat(pf24bit);
  B.SetSize(static_cast<int>(Rows.at(0).size()), static_cast<int>(Rows.size()));
  for (int Y = 0; Y < B.Height(); ++Y)
    for (int X = 0; X < B.Width(); ++X) {
      const char C = Rows[static_cast<std::size_t>(Y)][static_cast<std::size_t>(X)];
      B.SetPixel(X, Y, C == '.' ? Grey : C == '#' ? RGBColor(0, 0, 0x80) : RGBColor(0xFF, 0, 0));
    }
}

// A copy of Bytes with one byte changed: broken blocks and properties.
inline std::vector<std::uint8_t> WithByte(std::vector<std::uint8_t> Bytes, std::size_t At, std::uint8_t Value) {
  Bytes.at(At) = Value;
  return Bytes;
}

// A row that starts opaque and alternates, Width pixels long.
inline std::string Alternating(int Width) {
  std::string Row;
  for (int X = 0; X < Width; ++X) Row += X % 2 ? '.' : '#';
  return Row;
}

// The rectangles of a block after checking that its header describes it: the
// size, the type, the count, the byte count and the bounding box.
inline std::vector<TRect> CheckedRectangles(const std::vector<std::uint8_t>& Block) {
  TRect Box;
  std::vector<TRect> Rects;
  EXPECT_NO_THROW(Rects = ReadRegionData(Block, &Box));
  TRect Expected{};
  if (!Rects.empty()) Expected = Rects.front();
  for (const TRect& R : Rects) {
    Expected.Left = std::min(Expected.Left, R.Left), Expected.Top = std::min(Expected.Top, R.Top);
    Expected.Right = std::max(Expected.Right, R.Right), Expected.Bottom = std::max(Expected.Bottom, R.Bottom);
  }
  EXPECT_EQ(Box, Expected);
  return Rects;
}

// The banded form straight from a grid of pixels: the runs of every row,
// rows with the same runs next to each other joined.
inline std::vector<TRect> BandsOfGrid(const std::vector<std::vector<bool>>& Grid) {
  std::vector<TRect> Out;
  std::vector<std::pair<int, int>> Previous;
  std::size_t BandStart = 0;
  for (std::size_t Y = 0; Y <= Grid.size(); ++Y) {
    std::vector<std::pair<int, int>> Runs;
    if (Y < Grid.size())
      for (std::size_t X = 0; X < Grid[Y].size();) {
        if (!Grid[Y][X]) {
          ++X;
          continue;
        }
        const std::size_t S = X;
        while (X < Grid[Y].size() && Grid[Y][X]) ++X;
        Runs.emplace_back(static_cast<int>(S), static_cast<int>(X));
      }
    if (Y == Grid.size() || Runs != Previous) {
      for (const auto& R : Previous)
        Out.push_back(TRect{R.first, static_cast<int>(BandStart), R.second, static_cast<int>(Y)});
      Previous = Runs;
      BandStart = Y;
    }
  }
  return Out;
}

}  // namespace regiontest

inline std::ostream& operator<<(std::ostream& Out, const TRect& R) {
  return Out << "{" << R.Left << "," << R.Top << "," << R.Right << "," << R.Bottom << "}";
}

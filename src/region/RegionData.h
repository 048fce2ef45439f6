// Regions as sets of rectangles, and the byte block in which a region is
// stored: laid out like the system's region data, so that the system can build
// its own region from a stored block directly.
//
//   offset  0  header size, 32          offset 16  bounding box: left, top,
//   offset  4  type, 1 (rectangles)                right, bottom (0s if empty)
//   offset  8  rectangle count n        offset 32  n rectangles: left, top,
//   offset 12  rectangle bytes, 16 n               right, bottom
//
// All fields are little-endian 32-bit; rectangles exclude their right and
// bottom edges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/Graphics.h"

constexpr std::size_t RegionHeaderSize = 32;
constexpr std::size_t RegionRectSize = 16;

// A region as horizontal bands from top to bottom: within a band every row has
// the same runs of pixels, left to right, and no two runs touch. Neighbouring
// bands whose runs are identical are merged before the region is read out, so
// a solid rectangle is one band however it was put together.
class TBandRegion {
 public:
  struct TRun {
    int Left, Right;
    bool operator==(const TRun&) const = default;
  };
  struct TBand {
    int Top, Bottom;
    std::vector<TRun> Runs;
  };

  void Union(const TRect& R);
  void Clear() { FBands.clear(); }
  bool Empty() const { return FBands.empty(); }

  const std::vector<TBand>& Bands() const;
  std::vector<TRect> Rectangles() const;
  std::size_t RectangleCount() const;
  TRect BoundingBox() const;

  // The region data block: its size, and filling a buffer of exactly that
  // size (false when the size is not that, or the count does not fit).
  std::size_t DataSize() const { return RegionHeaderSize + RegionRectSize * RectangleCount(); }
  bool GetData(std::uint8_t* Buffer, std::size_t Size) const;

 private:
  void SplitAt(int Y);
  void Coalesce() const;

  mutable std::vector<TBand> FBands;
  mutable bool FCoalesced = true;
};

// A block for the rectangles as given (they are not reordered or merged).
std::vector<std::uint8_t> MakeRegionData(const std::vector<TRect>& Rects);

// The rectangles of a block, and its bounding box. Raises EReadError for a
// block whose header does not describe exactly the bytes given.
std::vector<TRect> ReadRegionData(const std::uint8_t* Data, std::size_t Size, TRect* BoundingBox = nullptr);
inline std::vector<TRect> ReadRegionData(const std::vector<std::uint8_t>& Block, TRect* BoundingBox = nullptr) {
  return ReadRegionData(Block.data(), Block.size(), BoundingBox);
}

// The window system's own regions: made from a stored region data block or
// from rectangles, combined, and read back as region data. The host build's
// regions are plain lists of rectangles, for its headless windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/UniqueHandle.h"

namespace plat {

bool DeleteRegionHandle(std::uintptr_t Handle);

// Owns one system region; moves, never copies. Not valid when the system
// refused to make it.
class SystemRegion {
 public:
  SystemRegion() = default;

  // A point x, y of the data becomes x * ScaleX + DX, y * ScaleY + DY.
  static SystemRegion FromData(const std::uint8_t* Data, std::size_t Size, float ScaleX = 1, float ScaleY = 1,
                               float DX = 0, float DY = 0);
  static SystemRegion Rectangle(int Left, int Top, int Right, int Bottom);

  bool Valid() const { return FHandle.Valid(); }
  // This region becomes the union of itself and Other.
  bool Unite(const SystemRegion& Other);
  bool Contains(int X, int Y) const;
  // The system's region data of this region; empty on failure.
  std::vector<std::uint8_t> Data() const;
  // Gives the region up, for the window system to own (a window's outline).
  std::uintptr_t Release() { return FHandle.Release(); }

 private:
  explicit SystemRegion(std::uintptr_t Handle) : FHandle(Handle) {}
  UniqueHandle<std::uintptr_t, 0, DeleteRegionHandle> FHandle;
};

}  // namespace plat

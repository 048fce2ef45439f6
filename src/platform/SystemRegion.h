// The window system's own regions: made from a stored region data block or
// from rectangles, combined, and read back as region data. The host build's
// regions are plain lists of rectangles, for its headless windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat {

// Owns one system region; moves, never copies. Not valid when the system
// refused to make it.
class SystemRegion {
 public:
  SystemRegion() = default;
  ~SystemRegion();
  SystemRegion(SystemRegion&& Other) noexcept;
  SystemRegion& operator=(SystemRegion&& Other) noexcept;
  SystemRegion(const SystemRegion&) = delete;
  SystemRegion& operator=(const SystemRegion&) = delete;

  // A point x, y of the data becomes x * ScaleX + DX, y * ScaleY + DY.
  static SystemRegion FromData(const std::uint8_t* Data, std::size_t Size, float ScaleX = 1, float ScaleY = 1,
                               float DX = 0, float DY = 0);
  static SystemRegion Rectangle(int Left, int Top, int Right, int Bottom);

  bool Valid() const { return FHandle != 0; }
  // This region becomes the union of itself and Other.
  bool Unite(const SystemRegion& Other);
  bool Contains(int X, int Y) const;
  // The system's region data of this region; empty on failure.
  std::vector<std::uint8_t> Data() const;
  // The system's handle of the region, still owned by this object.
  std::uintptr_t Handle() const { return FHandle; }
  // Gives the region up, for the window system to own (a window's outline).
  std::uintptr_t Release();

 private:
  explicit SystemRegion(std::uintptr_t Handle) : FHandle(Handle) {}
  std::uintptr_t FHandle = 0;
};

}  // namespace plat

// The host build's stand-in for the window system's regions: a list of
// rectangles, kept as given (a union appends, nothing is re-banded), enough
// for a headless window to carry its outline and hand it back as region data.
#include "platform/Paint.h"
#include "platform/SystemRegion.h"

#include <algorithm>
#include <atomic>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

namespace plat {
namespace {

using Rects = std::vector<std::array<std::int32_t, 4>>;
Rects* R(std::uintptr_t Handle) { return reinterpret_cast<Rects*>(Handle); }

std::uint32_t Get32(const std::uint8_t* P) {
  return static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 |
         static_cast<std::uint32_t>(P[2]) << 16 | static_cast<std::uint32_t>(P[3]) << 24;
}
void Put32(std::uint8_t* P, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = static_cast<std::uint8_t>(V >> (8 * I));
}
std::int32_t Scaled(std::int32_t V, float Scale, float Move) {
  return static_cast<std::int32_t>(std::lround(static_cast<double>(V) * Scale + Move));
}

// The host build's only drawing objects: what LiveDrawingObjects counts.
std::atomic<std::int64_t> gRegions{0};

void Free(std::uintptr_t Handle) {
  if (!Handle) return;
  --gRegions;
  delete R(Handle);
}

}  // namespace

std::int64_t LiveDrawingObjects() { return gRegions; }

SystemRegion::~SystemRegion() { Free(FHandle); }

SystemRegion::SystemRegion(SystemRegion&& Other) noexcept : FHandle(std::exchange(Other.FHandle, 0)) {}

SystemRegion& SystemRegion::operator=(SystemRegion&& Other) noexcept {
  if (this != &Other) {
    Free(FHandle);
    FHandle = std::exchange(Other.FHandle, 0);
  }
  return *this;
}

SystemRegion SystemRegion::FromData(const std::uint8_t* Data, std::size_t Size, float ScaleX, float ScaleY, float DX,
                                    float DY) {
  // The system's checks: a header of its own size and type, and rectangles
  // that fit into the bytes given.
  if (!Data || Size < 32 || Get32(Data) != 32 || Get32(Data + 4) != 1) return SystemRegion();
  const std::uint32_t Count = Get32(Data + 8);
  if (Count > (Size - 32) / 16) return SystemRegion();
  auto* List = new Rects;
  ++gRegions;
  for (std::uint32_t I = 0; I < Count; ++I) {
    const std::uint8_t* P = Data + 32 + 16 * static_cast<std::size_t>(I);
    List->push_back({Scaled(static_cast<std::int32_t>(Get32(P)), ScaleX, DX),
                     Scaled(static_cast<std::int32_t>(Get32(P + 4)), ScaleY, DY),
                     Scaled(static_cast<std::int32_t>(Get32(P + 8)), ScaleX, DX),
                     Scaled(static_cast<std::int32_t>(Get32(P + 12)), ScaleY, DY)});
  }
  return SystemRegion(reinterpret_cast<std::uintptr_t>(List));
}

SystemRegion SystemRegion::Rectangle(int Left, int Top, int Right, int Bottom) {
  auto* List = new Rects;
  ++gRegions;
  if (Left < Right && Top < Bottom) List->push_back({Left, Top, Right, Bottom});
  return SystemRegion(reinterpret_cast<std::uintptr_t>(List));
}

bool SystemRegion::Unite(const SystemRegion& Other) {
  if (!FHandle || !Other.FHandle) return false;
  const Rects Copy = *R(Other.FHandle);
  R(FHandle)->insert(R(FHandle)->end(), Copy.begin(), Copy.end());
  return true;
}

bool SystemRegion::Contains(int X, int Y) const {
  if (!FHandle) return false;
  for (const auto& Q : *R(FHandle))
    if (X >= Q[0] && X < Q[2] && Y >= Q[1] && Y < Q[3]) return true;
  return false;
}

std::vector<std::uint8_t> SystemRegion::Data() const {
  if (!FHandle) return {};
  const Rects& List = *R(FHandle);
  std::vector<std::uint8_t> Block(32 + 16 * List.size());
  std::array<std::int32_t, 4> Box{0, 0, 0, 0};
  for (std::size_t I = 0; I < List.size(); ++I) {
    const auto& Q = List[I];
    if (I == 0) Box = Q;
    Box = {std::min(Box[0], Q[0]), std::min(Box[1], Q[1]), std::max(Box[2], Q[2]), std::max(Box[3], Q[3])};
    for (int K = 0; K < 4; ++K) Put32(&Block[32 + 16 * I + 4 * static_cast<std::size_t>(K)], static_cast<std::uint32_t>(Q[K]));
  }
  Put32(&Block[0], 32);
  Put32(&Block[4], 1);
  Put32(&Block[8], static_cast<std::uint32_t>(List.size()));
  Put32(&Block[12], static_cast<std::uint32_t>(16 * List.size()));
  for (int K = 0; K < 4; ++K) Put32(&Block[16 + 4 * static_cast<std::size_t>(K)], static_cast<std::uint32_t>(Box[K]));
  return Block;
}

std::uintptr_t SystemRegion::Release() { return std::exchange(FHandle, 0); }

}  // namespace plat

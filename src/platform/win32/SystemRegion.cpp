#include "platform/SystemRegion.h"
#include "platform/win32/WinApi.h"

namespace plat {
namespace {
HRGN R(std::uintptr_t Handle) { return reinterpret_cast<HRGN>(Handle); }
std::uintptr_t U(HRGN Region) { return reinterpret_cast<std::uintptr_t>(Region); }
}  // namespace

bool DeleteRegionHandle(std::uintptr_t Handle) { return ::DeleteObject(R(Handle)) != 0; }

SystemRegion SystemRegion::FromData(const std::uint8_t* Data, std::size_t Size, float ScaleX, float ScaleY, float DX,
                                    float DY) {
  const XFORM Transform{ScaleX, 0, 0, ScaleY, DX, DY};
  const bool Identity = ScaleX == 1 && ScaleY == 1 && DX == 0 && DY == 0;
  return SystemRegion(U(::ExtCreateRegion(Identity ? nullptr : &Transform, static_cast<DWORD>(Size),
                                          reinterpret_cast<const RGNDATA*>(Data))));
}

SystemRegion SystemRegion::Rectangle(int Left, int Top, int Right, int Bottom) {
  return SystemRegion(U(::CreateRectRgn(Left, Top, Right, Bottom)));
}

bool SystemRegion::Unite(const SystemRegion& Other) {
  return Valid() && Other.Valid() &&
         ::CombineRgn(R(FHandle.Get()), R(FHandle.Get()), R(Other.FHandle.Get()), RGN_OR) != ERROR;
}

bool SystemRegion::Contains(int X, int Y) const { return FHandle && ::PtInRegion(R(FHandle), X, Y); }

std::vector<std::uint8_t> SystemRegion::Data() const {
  if (!Valid()) return {};
  const DWORD Size = ::GetRegionData(R(FHandle.Get()), 0, nullptr);
  if (Size == 0) return {};
  std::vector<std::uint8_t> Bytes(Size);
  if (::GetRegionData(R(FHandle.Get()), Size, reinterpret_cast<RGNDATA*>(Bytes.data())) != Size) return {};
  return Bytes;
}

}  // namespace plat

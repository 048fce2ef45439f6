#include "platform/SystemRegion.h"
#include "platform/win32/WinApi.h"

#include <utility>

namespace plat {
namespace {
HRGN R(std::uintptr_t Handle) { return reinterpret_cast<HRGN>(Handle); }
std::uintptr_t U(HRGN Region) { return reinterpret_cast<std::uintptr_t>(Region); }
}  // namespace

// Made, deleted and handed over through the seam's count of drawing objects.
SystemRegion::~SystemRegion() {
  if (FHandle) win32::DeleteDrawingObject(R(FHandle));
}

SystemRegion::SystemRegion(SystemRegion&& Other) noexcept : FHandle(std::exchange(Other.FHandle, 0)) {}

SystemRegion& SystemRegion::operator=(SystemRegion&& Other) noexcept {
  if (this != &Other) {
    if (FHandle) win32::DeleteDrawingObject(R(FHandle));
    FHandle = std::exchange(Other.FHandle, 0);
  }
  return *this;
}

namespace {
std::uintptr_t Counted(HRGN Made) { return U(static_cast<HRGN>(win32::Own(Made).Release())); }
}  // namespace

SystemRegion SystemRegion::FromData(const std::uint8_t* Data, std::size_t Size, float ScaleX, float ScaleY, float DX,
                                    float DY) {
  const XFORM Transform{ScaleX, 0, 0, ScaleY, DX, DY};
  const bool Identity = ScaleX == 1 && ScaleY == 1 && DX == 0 && DY == 0;
  return SystemRegion(Counted(::ExtCreateRegion(Identity ? nullptr : &Transform, static_cast<DWORD>(Size),
                                                reinterpret_cast<const RGNDATA*>(Data))));
}

SystemRegion SystemRegion::Rectangle(int Left, int Top, int Right, int Bottom) {
  return SystemRegion(Counted(::CreateRectRgn(Left, Top, Right, Bottom)));
}

bool SystemRegion::Unite(const SystemRegion& Other) {
  return FHandle && Other.FHandle && ::CombineRgn(R(FHandle), R(FHandle), R(Other.FHandle), RGN_OR) != ERROR;
}

bool SystemRegion::Contains(int X, int Y) const { return FHandle && ::PtInRegion(R(FHandle), X, Y); }

std::vector<std::uint8_t> SystemRegion::Data() const {
  if (!FHandle) return {};
  const DWORD Size = ::GetRegionData(R(FHandle), 0, nullptr);
  if (Size == 0) return {};
  std::vector<std::uint8_t> Bytes(Size);
  if (::GetRegionData(R(FHandle), Size, reinterpret_cast<RGNDATA*>(Bytes.data())) != Size) return {};
  return Bytes;
}

std::uintptr_t SystemRegion::Release() {
  win32::Disown(R(FHandle));
  return std::exchange(FHandle, 0);
}

}  // namespace plat

// Painting through GDI: pictures go through StretchDIBits, text through
// ExtTextOutW with a font of the face asked for (the system substitutes a face
// it does not have).
#include "platform/Paint.h"
#include "platform/win32/WinApi.h"

#undef DrawText

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace plat {
namespace {

HWND H(WindowHandle Window) { return reinterpret_cast<HWND>(Window); }
HDC D(SurfaceHandle Surface) { return reinterpret_cast<HDC>(Surface); }

static_assert(sizeof(PAINTSTRUCT) <= 96, "PaintSession keeps a PAINTSTRUCT");

std::atomic<std::int64_t> gDrawingObjects{0};

class SelectedFont {
 public:
  SelectedFont(HDC Dc, const TextStyle& Style) : FDc(Dc) {
    HFONT Font = win32::FontFor(Style.Face, Style.Height, Style.Underline);
    FOld = Font ? ::SelectObject(Dc, Font) : nullptr;
  }
  ~SelectedFont() {
    if (FOld) ::SelectObject(FDc, FOld);
  }

 private:
  HDC FDc;
  HGDIOBJ FOld = nullptr;
};

DWORD Rop(RasterOp Op) {
  switch (Op) {
    case RasterOp::And: return SRCAND;
    case RasterOp::Xor: return SRCINVERT;
    case RasterOp::Copy: break;
  }
  return SRCCOPY;
}

}  // namespace

BITMAPINFO win32::TopDown32(int Width, int Height) {
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof Info.bmiHeader;
  Info.bmiHeader.biWidth = Width;
  Info.bmiHeader.biHeight = -Height;
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  return Info;
}

std::vector<std::uint32_t> win32::ColorsOf(const void* Bits, std::size_t Count) {
  const auto* P = static_cast<const std::uint8_t*>(Bits);
  std::vector<std::uint32_t> Colors(Count);
  for (std::size_t I = 0; I < Count; ++I)
    Colors[I] = static_cast<std::uint32_t>(P[4 * I + 2]) | static_cast<std::uint32_t>(P[4 * I + 1]) << 8 |
                static_cast<std::uint32_t>(P[4 * I]) << 16;
  return Colors;
}

bool win32::DeleteDrawingObject(HGDIOBJ Object) {
  --gDrawingObjects;
  return ::DeleteObject(Object) != 0;
}

bool win32::DeleteMemoryDC(HDC Dc) {
  --gDrawingObjects;
  return ::DeleteDC(Dc) != 0;
}

win32::DrawingObject win32::Own(HGDIOBJ Made) {
  if (Made) ++gDrawingObjects;
  return DrawingObject(Made);
}

win32::MemoryDC win32::OwnDC(HDC Made) {
  if (Made) ++gDrawingObjects;
  return MemoryDC(Made);
}

void win32::Disown(HGDIOBJ Given) {
  if (Given) --gDrawingObjects;
}

std::int64_t LiveDrawingObjects() { return gDrawingObjects; }

HFONT win32::FontFor(const std::string& Face, int Height, bool Underline) {
  static std::mutex Lock;
  static std::map<std::tuple<std::string, int, bool>, DrawingObject> Fonts;
  std::lock_guard<std::mutex> Guard(Lock);
  DrawingObject& Slot = Fonts[{Face, Height, Underline}];
  if (!Slot.Valid()) {
    const std::wstring WideFace = win32::Wide(Face).substr(0, LF_FACESIZE - 1);
    Slot = Own(::CreateFontW(-Height, 0, 0, 0, FW_NORMAL, FALSE, Underline, FALSE, SHIFTJIS_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             WideFace.c_str()));
  }
  return static_cast<HFONT>(Slot.Get());
}

PaintSession::PaintSession(WindowHandle Window) : FWindow(Window) {
  auto* Ps = new (FState) PAINTSTRUCT{};
  FSurface = reinterpret_cast<SurfaceHandle>(::BeginPaint(H(Window), Ps));
}

PaintSession::~PaintSession() {
  ::EndPaint(H(FWindow), reinterpret_cast<PAINTSTRUCT*>(FState));
}

WindowSurface::WindowSurface(WindowHandle Window) : FWindow(Window) {
  FSurface = reinterpret_cast<SurfaceHandle>(::GetDC(H(Window)));
}

WindowSurface::~WindowSurface() {
  if (FSurface) ::ReleaseDC(H(FWindow), D(FSurface));
}

void StretchImage(SurfaceHandle Surface, const Bounds& Target, const PixelImage& Image, RasterOp Op) {
  if (!Surface || !Image.Pixels || Image.Width <= 0 || Image.Height <= 0) return;
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Colors[256];
  } Info{};
  Info.Header.biSize = sizeof Info.Header;
  Info.Header.biWidth = Image.Width;
  Info.Header.biHeight = -Image.Height;  // top-down rows
  Info.Header.biPlanes = 1;
  Info.Header.biBitCount = static_cast<WORD>(Image.BitsPerPixel);
  Info.Header.biCompression = BI_RGB;
  const int Colors = Image.PaletteCount > 256 ? 256 : Image.PaletteCount;
  if (Colors > 0 && Image.Palette) std::memcpy(Info.Colors, Image.Palette, static_cast<std::size_t>(Colors) * 4);
  Info.Header.biClrUsed = static_cast<DWORD>(Colors);
  ::SetStretchBltMode(D(Surface), COLORONCOLOR);
  ::StretchDIBits(D(Surface), Target.Left, Target.Top, Target.Width, Target.Height, 0, 0, Image.Width, Image.Height,
                  Image.Pixels, reinterpret_cast<const BITMAPINFO*>(&Info), DIB_RGB_COLORS, Rop(Op));
}

void FillRect(SurfaceHandle Surface, const Bounds& Part, std::uint32_t Color) {
  if (!Surface) return;
  const win32::DrawingObject Brush = win32::Own(::CreateSolidBrush(Color));
  const RECT R{Part.Left, Part.Top, Part.Left + Part.Width, Part.Top + Part.Height};
  ::FillRect(D(Surface), &R, static_cast<HBRUSH>(Brush.Get()));
}

void DrawText(SurfaceHandle Surface, int X, int Y, const Bounds& Clip, const std::string& Text, const TextStyle& Style) {
  if (!Surface || Text.empty()) return;
  SelectedFont Font(D(Surface), Style);
  ::SetBkMode(D(Surface), TRANSPARENT);
  ::SetTextColor(D(Surface), Style.Color);
  ::SetTextAlign(D(Surface), TA_LEFT | TA_TOP);
  const std::wstring Wide = win32::Wide(Text);
  const RECT R{Clip.Left, Clip.Top, Clip.Left + Clip.Width, Clip.Top + Clip.Height};
  ::ExtTextOutW(D(Surface), X, Y, ETO_CLIPPED, &R, Wide.c_str(), static_cast<UINT>(Wide.size()), nullptr);
}

int TextWidth(SurfaceHandle Surface, const std::string& Text, const TextStyle& Style) {
  if (!Surface || Text.empty()) return 0;
  SelectedFont Font(D(Surface), Style);
  const std::wstring Wide = win32::Wide(Text);
  SIZE Size{};
  ::GetTextExtentPoint32W(D(Surface), Wide.c_str(), static_cast<int>(Wide.size()), &Size);
  return Size.cx;
}

std::vector<std::uint32_t> ReadPixels(SurfaceHandle Surface, const Bounds& Part) {
  std::vector<std::uint32_t> Result;
  if (!Surface || Part.Width <= 0 || Part.Height <= 0) return Result;
  const win32::MemoryDC Memory = win32::OwnDC(::CreateCompatibleDC(D(Surface)));
  const BITMAPINFO Info = win32::TopDown32(Part.Width, Part.Height);
  void* Bits = nullptr;
  const win32::DrawingObject Section =
      win32::Own(::CreateDIBSection(Memory.Get(), &Info, DIB_RGB_COLORS, &Bits, nullptr, 0));
  if (Section.Valid() && Bits) {
    HGDIOBJ Old = ::SelectObject(Memory.Get(), Section.Get());
    ::BitBlt(Memory.Get(), 0, 0, Part.Width, Part.Height, D(Surface), Part.Left, Part.Top, SRCCOPY);
    ::GdiFlush();
    Result = win32::ColorsOf(Bits, static_cast<std::size_t>(Part.Width) * static_cast<std::size_t>(Part.Height));
    ::SelectObject(Memory.Get(), Old);
  }
  return Result;
}

std::uint32_t ButtonFaceColor() { return ::GetSysColor(COLOR_BTNFACE); }
std::uint32_t ButtonHighlightColor() { return ::GetSysColor(COLOR_BTNHIGHLIGHT); }

}  // namespace plat

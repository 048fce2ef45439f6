// Painting on a window's client area: pictures from plain pixels with a raster
// operation, single lines of text, filled rectangles, and reading pixels back.
//
// On Windows a surface is a device context (the one of a paint message, or the
// window's own); the host build paints into a pixel buffer per window, so that
// the same drawing can be checked there. Coordinates are client coordinates;
// colours are 0x00BBGGRR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace plat {

struct Bounds {
  int Left = 0, Top = 0, Width = 0, Height = 0;
};

// Pixels to draw: rows top-down, RowBytes apart (a multiple of 4). 1- and
// 8-bit pixels are indices into Palette, whose entries are blue, green, red
// and 0 as in a bitmap file; 24-bit pixels are blue, green, red; 32-bit ones
// blue, green, red and an unused byte.
struct PixelImage {
  int Width = 0, Height = 0, BitsPerPixel = 24;
  const std::uint8_t* Pixels = nullptr;
  std::size_t RowBytes = 0;
  const std::uint8_t* Palette = nullptr;  // 4 bytes an entry
  int PaletteCount = 0;
};

using SurfaceHandle = std::uintptr_t;

// Copy puts the picture's pixels; And and Xor combine them bit by bit with
// what is there.
enum class RasterOp { Copy, And, Xor };

// The painting of one paint message: the part to be painted is validated, and
// the background erased first when it was asked for (the window's
// MsgEraseBackground decides how; wParam is the surface).
class PaintSession {
 public:
  explicit PaintSession(WindowHandle Window);
  ~PaintSession();
  PaintSession(const PaintSession&) = delete;
  PaintSession& operator=(const PaintSession&) = delete;
  SurfaceHandle Surface() const { return FSurface; }

 private:
  WindowHandle FWindow;
  SurfaceHandle FSurface = 0;
  alignas(8) unsigned char FState[96];
};

// The window's client area outside of a paint message (reading back, mostly).
class WindowSurface {
 public:
  explicit WindowSurface(WindowHandle Window);
  ~WindowSurface();
  WindowSurface(const WindowSurface&) = delete;
  WindowSurface& operator=(const WindowSurface&) = delete;
  SurfaceHandle Surface() const { return FSurface; }

 private:
  WindowHandle FWindow;
  SurfaceHandle FSurface = 0;
};

// Stretches the whole picture over Target.
void StretchImage(SurfaceHandle Surface, const Bounds& Target, const PixelImage& Image, RasterOp Op);
void FillRect(SurfaceHandle Surface, const Bounds& Part, std::uint32_t Color);
// One line of text with its top-left corner at X, Y, on a transparent
// background, cut at the edges of Clip.
struct TextStyle {
  std::string Face;  // code page 932
  int Height = 12;   // pixels
  std::uint32_t Color = 0;
  bool Underline = false;
};
void DrawText(SurfaceHandle Surface, int X, int Y, const Bounds& Clip, const std::string& Text, const TextStyle& Style);
// Width in pixels of Text in that style (the host build counts 1 pixel per
// half of the height per byte, having no fonts).
int TextWidth(SurfaceHandle Surface, const std::string& Text, const TextStyle& Style);
// The colours of Part, rows top-down.
std::vector<std::uint32_t> ReadPixels(SurfaceHandle Surface, const Bounds& Part);

// The window system's drawing objects (brushes, fonts, bitmaps, regions,
// memory device contexts) that the seam has made and holds now, for the
// tests that look for leaks; the host build counts its regions.
std::int64_t LiveDrawingObjects();

// The system's colours the forms use.
std::uint32_t ButtonFaceColor();
std::uint32_t ButtonHighlightColor();

#ifndef _WIN32
// The host build's record of the texts drawn on a window since it was last
// asked, oldest first, for tests.
struct DrawnText {
  int X, Y;
  std::string Text;
  std::uint32_t Color;
};
std::vector<DrawnText> TakeDrawnTexts(WindowHandle Window);
#endif

}  // namespace plat

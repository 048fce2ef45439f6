// Drawing on a window: the canvas a form hands its windowless controls while
// it paints, fonts with a colour, and the window system's regions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Graphics.h"
#include "platform/Paint.h"
#include "platform/SystemRegion.h"

struct TFont {
  std::string Name;  // code page 932
  int Height = 12;   // pixels
  TColor Color = 0;
  bool Underline = false;
  bool operator==(const TFont&) const = default;
};

// Named colours of the forms.
constexpr TColor clBlack = RGBColor(0, 0, 0);
constexpr TColor clNavy = RGBColor(0, 0, 128);
constexpr TColor clBlue = RGBColor(0, 0, 255);
TColor ButtonFaceColor();       // the system's button face
TColor ButtonHighlightColor();  // the system's button highlight

// How a picture combines with what is beneath it.
enum class TCopyMode { cmSrcCopy, cmSrcAnd, cmSrcInvert };

// A drawing surface with its origin moved to a control's top-left corner;
// everything drawn is cut at the control's edges.
class TCanvas {
 public:
  TCanvas(plat::SurfaceHandle Surface, int OriginX, int OriginY, int Width, int Height)
      : FSurface(Surface), FX(OriginX), FY(OriginY), FWidth(Width), FHeight(Height) {}

  TFont Font;
  TCopyMode CopyMode = TCopyMode::cmSrcCopy;

  // The whole of Bitmap stretched over Rect, combined by CopyMode.
  void StretchDraw(const TRect& Rect, const TBitmap& Bitmap);
  void FillRect(const TRect& Rect, TColor Color);
  // Text on a transparent background, in Font.
  void TextOut(int X, int Y, const std::string& Text);
  int TextWidth(const std::string& Text);
  // What the canvas shows in Rect, as a 24-bit picture of its size.
  void CopyTo(const TRect& Rect, TBitmap& Target);

 private:
  plat::Bounds Absolute(const TRect& Rect) const;
  plat::SurfaceHandle FSurface;
  int FX, FY, FWidth, FHeight;
};

// A picture as the window system draws it. Formats it cannot take directly
// are converted into Scratch first; the result points into Bitmap or Scratch.
plat::PixelImage PixelImageOf(const TBitmap& Bitmap, TBitmap& Scratch);

// The program's icon resource Name at its own size over Background, as a
// 24-bit picture; false (and Picture emptied) when there is none.
bool LoadProgramIcon(const std::string& Name, TColor Background, TBitmap& Picture);
// Source stretched (nearest pixel) into a 24-bit picture of the given size.
void StretchBitmap(const TBitmap& Source, TBitmap& Target, int Width, int Height);

// A region of the window system; a window's outline once handed to it.
class TRegion {
 public:
  TRegion() = default;
  // A point x, y of the region data becomes x * ScaleX + DX, y * ScaleY + DY;
  // not Valid() when the system refuses the data.
  static TRegion FromData(const std::vector<std::uint8_t>& Data, float ScaleX, float ScaleY, float DX, float DY);
  bool Valid() const { return FRegion.Valid(); }
  bool Contains(int X, int Y) const { return FRegion.Contains(X, Y); }
  std::vector<std::uint8_t> Data() const { return FRegion.Data(); }

 private:
  friend class TWinControl;
  plat::SystemRegion FRegion;
};

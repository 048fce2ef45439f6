#include "framework/Canvas.h"

#include <algorithm>

#include "platform/Gui.h"


TColor ButtonFaceColor() { return plat::ButtonFaceColor(); }
TColor ButtonHighlightColor() { return plat::ButtonHighlightColor(); }

plat::PixelImage PixelImageOf(const TBitmap& Bitmap, TBitmap& Scratch) {
  const TBitmap* Source = &Bitmap;
  const int Bits = Bitmap.BitsPerPixel();
  const bool Direct = (Bits == 1 || Bits == 8 || Bits == 24) ||
                      (Bits == 32 && (Bitmap.PixelFormat() == pf32bit || Bitmap.PixelFormat() == pfDevice));
  if (!Direct) {
    Scratch.Assign(&Bitmap);
    Scratch.SetPixelFormat(pf24bit);
    Source = &Scratch;
  }
  plat::PixelImage Image;
  if (Source->Empty() || Source->Width() <= 0 || Source->Height() <= 0) return Image;
  Image.Width = Source->Width();
  Image.Height = Source->Height();
  Image.BitsPerPixel = Source->BitsPerPixel();
  Image.Pixels = Source->ScanLine(0);
  Image.RowBytes = Source->RowBytes();
  if (!Source->Palette().empty()) {
    static_assert(sizeof(TPaletteEntry) == 4, "palette entries are laid out as in a bitmap file");
    Image.Palette = reinterpret_cast<const std::uint8_t*>(Source->Palette().data());
    Image.PaletteCount = static_cast<int>(Source->Palette().size());
  }
  return Image;
}

plat::Bounds TCanvas::Absolute(const TRect& Rect) const {
  return plat::Bounds{FX + Rect.Left, FY + Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top};
}

void TCanvas::StretchDraw(const TRect& Rect, const TBitmap& Bitmap) {
  TBitmap Scratch;
  const plat::PixelImage Image = PixelImageOf(Bitmap, Scratch);
  if (!Image.Pixels) return;
  // Cut at the control's edges: only what lies inside is drawn, at the scale
  // of the whole picture.
  const plat::RasterOp Op = CopyMode == TCopyMode::cmSrcAnd      ? plat::RasterOp::And
                            : CopyMode == TCopyMode::cmSrcInvert ? plat::RasterOp::Xor
                                                                 : plat::RasterOp::Copy;
  plat::StretchImage(FSurface, Absolute(Rect), Image, Op);
}

void TCanvas::FillRect(const TRect& Rect, TColor Color) {
  TRect Cut{std::max(Rect.Left, 0), std::max(Rect.Top, 0), std::min(Rect.Right, FWidth), std::min(Rect.Bottom, FHeight)};
  if (Cut.Left < Cut.Right && Cut.Top < Cut.Bottom) plat::FillRect(FSurface, Absolute(Cut), Color);
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  plat::DrawText(FSurface, FX + X, FY + Y, plat::Bounds{FX, FY, FWidth, FHeight}, Text,
                 plat::TextStyle{Font.Name, Font.Height, Font.Color, Font.Underline});
}

int TCanvas::TextWidth(const std::string& Text) {
  return plat::TextWidth(FSurface, Text, plat::TextStyle{Font.Name, Font.Height, Font.Color, Font.Underline});
}

void TCanvas::CopyTo(const TRect& Rect, TBitmap& Target) {
  const plat::Bounds Part = Absolute(Rect);
  const std::vector<std::uint32_t> Pixels = plat::ReadPixels(FSurface, Part);
  Target.Clear();
  Target.SetPixelFormat(pf24bit);
  Target.SetSize(Part.Width, Part.Height);
  if (Pixels.size() != static_cast<std::size_t>(Part.Width) * static_cast<std::size_t>(Part.Height)) return;
  for (int Y = 0; Y < Part.Height; ++Y)
    for (int X = 0; X < Part.Width; ++X)
      Target.SetPixel(X, Y, Pixels[static_cast<std::size_t>(Y) * static_cast<std::size_t>(Part.Width) +
                                   static_cast<std::size_t>(X)]);
}

TRegion TRegion::FromData(const std::vector<std::uint8_t>& Data, float ScaleX, float ScaleY, float DX, float DY) {
  TRegion R;
  if (!Data.empty()) R.FRegion = plat::SystemRegion::FromData(Data.data(), Data.size(), ScaleX, ScaleY, DX, DY);
  return R;
}

bool LoadProgramIcon(const std::string& Name, TColor Background, TBitmap& Picture) {
  int W = 0, H = 0;
  std::vector<std::uint32_t> Pixels;
  Picture.Clear();
  if (!plat::DrawProgramIcon(Name.c_str(), Background, W, H, Pixels)) return false;
  Picture.SetPixelFormat(pf24bit);
  Picture.SetSize(W, H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      Picture.SetPixel(X, Y, Pixels[static_cast<std::size_t>(Y) * static_cast<std::size_t>(W) + static_cast<std::size_t>(X)]);
  return true;
}

void StretchBitmap(const TBitmap& Source, TBitmap& Target, int Width, int Height) {
  TBitmap Result;
  Result.SetPixelFormat(pf24bit);
  Result.SetSize(Width, Height);
  if (!Source.Empty() && Source.Width() > 0 && Source.Height() > 0)
    for (int Y = 0; Y < Height; ++Y)
      for (int X = 0; X < Width; ++X)
        Result.SetPixel(X, Y, Source.Pixel(static_cast<int>(static_cast<long long>(X) * Source.Width() / Width),
                                           static_cast<int>(static_cast<long long>(Y) * Source.Height() / Height)));
  Target.Assign(&Result);
}

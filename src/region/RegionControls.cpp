// TRgn, TRgnBtn and TRgnList: the shaped window's picture and outline, and
// buttons shaped by their pictures.
#include <algorithm>

#include "framework/Forms.h"
#include "region/Region.h"
#include "region/RegionData.h"
#include "region/StoredRegion.h"

namespace {

const bool Registered = [] {
  RegisterClass("TRgn", [](TComponent* Owner) -> TComponent* { return new TRgn(Owner); });
  RegisterClass("TRgnBtn", [](TComponent* Owner) -> TComponent* { return new TRgnBtn(Owner); });
  RegisterClass("TRgnList", [](TComponent* Owner) -> TComponent* { return new TRgnList(Owner); });
  return true;
}();

bool Usable(const TBitmap& B) { return !B.Empty() && B.Width() > 0 && B.Height() > 0; }

// Mask: 1 (white) where Picture has the colour Key, 0 (black) elsewhere, one
// bit per pixel. Masked: Picture with those pixels black.
void MakeMasks(const TBitmap& Picture, TColor Key, TBitmap& Mask, TBitmap& Masked) {
  const int W = Picture.Width(), H = Picture.Height();
  Mask.Clear();
  Mask.SetPixelFormat(pf1bit);
  Mask.SetSize(W, H);
  Mask.SetPalette({TPaletteEntry{0, 0, 0, 0}, TPaletteEntry{255, 255, 255, 0}});
  Masked.Assign(&Picture);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const bool Out = Picture.Pixel(X, Y) == Key;
      Mask.SetPixel(X, Y, Out ? RGBColor(255, 255, 255) : 0);
      if (Out) Masked.SetPixel(X, Y, 0);
    }
}

// Draws Masked over what the canvas shows, keeping the canvas where Mask is
// white: AND with the mask, then XOR with the blacked-out picture.
void DrawMasked(TCanvas& Canvas, const TRect& Where, const TBitmap& Mask, const TBitmap& Masked) {
  const TCopyMode Old = Canvas.CopyMode;
  Canvas.CopyMode = TCopyMode::cmSrcAnd;
  Canvas.StretchDraw(Where, Mask);
  Canvas.CopyMode = TCopyMode::cmSrcInvert;
  Canvas.StretchDraw(Where, Masked);
  Canvas.CopyMode = Old;
}

[[noreturn]] void Fail(const std::string& Message) { throw Exception(Message); }

// The system reads as many rectangles as the header says: a block whose
// header does not describe exactly its own bytes is never handed to it.
TRegion RegionOf(const std::vector<std::uint8_t>& Data, float ScaleX, float ScaleY, float DX, float DY) {
  try {
    ReadRegionData(Data);
  } catch (const EReadError&) {
    return TRegion();
  }
  return TRegion::FromData(Data, ScaleX, ScaleY, DX, DY);
}

// A picture that yields no outline is dropped with it, so the control never
// keeps a shape that does not belong to what it shows.
void TakeOutline(TBitmap& Picture, std::vector<std::uint8_t>& Data) {
  try {
    Data = BitmapToRegionData(&Picture);
  } catch (...) {
    Data.clear();
    Picture.Clear();
    throw;
  }
}

}  // namespace

// ---------------------------------------------------------------------------

TRgn::TRgn(TComponent* AOwner) : TGraphicControl(AOwner) { FBounds = plat::Bounds{0, 0, 105, 105}; }

void TRgn::SetRgnBitmap(const TBitmap* Value) {
  if (Value == &FBitmap) return;
  FBitmap.Assign(Value);
  FreeRegion();
  try {
    TakeOutline(FBitmap, FRgnData);
  } catch (...) {
    Invalidate();
    throw;
  }
  if (FTransparent || InState(csDesigning)) BuildMasks();
  if (InState(csDesigning)) {
    SetBounds(Left(), Top(), FBitmap.Width(), FBitmap.Height());
    Invalidate();
  }
}

void TRgn::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  if (Value && FBitmap.Width() > 0 && FBitmap.Height() > 0 && !InState(csLoading)) {
    SetBounds(Left(), Top(), FBitmap.Width(), FBitmap.Height());
    Invalidate();
  }
}

void TRgn::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (FAutoSize && FBitmap.Width() > 0 && FBitmap.Height() > 0) {
    AWidth = FBitmap.Width();
    AHeight = FBitmap.Height();
  }
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TRgn::ReadStoredProperties(TStream& Stream) { ReadStoredRegion(Stream, FBitmap, FRgnData); }

void TRgn::WriteStoredProperties(TStream& Stream) const { WriteStoredRegion(Stream, FBitmap, FRgnData); }

void TRgn::SetStoredData(const TBitmap& Bitmap, const std::vector<std::uint8_t>& Data) {
  FBitmap.Assign(&Bitmap);
  FRgnData = Data;
}

void TRgn::Loaded() {
  TGraphicControl::Loaded();
  if (FTransparent || InState(csDesigning)) BuildMasks();
  if (!InState(csDesigning)) BuildRegion();
}

void TRgn::BuildRegion() {
  if (FRgnData.empty()) Fail(Name() + " のﾘｰｼﾞｮﾝ情報がありません");
  if (!Usable(FBitmap)) Fail(Name() + ":RgnBitmap のﾋﾞｯﾄﾏｯﾌﾟが正しくありません");
  FRegion = TRegion();
  const float ScaleX = FAutoSize ? 1.0f : static_cast<float>(Width()) / static_cast<float>(FBitmap.Width());
  const float ScaleY = FAutoSize ? 1.0f : static_cast<float>(Height()) / static_cast<float>(FBitmap.Height());
  FRegion = RegionOf(FRgnData, ScaleX, ScaleY, static_cast<float>(Left()), static_cast<float>(Top()));
  if (!FRegion.Valid()) Fail("ｳｨﾝﾄﾞｳﾘｰｼﾞｮﾝが作成できません");
}

void TRgn::ApplyRegion() {
  TWinControl* P = Parent();
  if (!P) Fail("Parentが設定されていません");
  if (auto* Form = dynamic_cast<TForm*>(P)) {
    Form->SetBorderStyle(TFormBorderStyle::bsNone);
    Form->SetBackgroundClear(true);
  }
  FTransparent = false;
  // The window system owns the region from here on; without one the window
  // gets its whole rectangle back.
  P->SetWindowRegion(std::move(FRegion));
  FRegion = TRegion();
}

void TRgn::BuildMasks() {
  if (FBitmap.Empty()) return;
  TBitmap Temp;
  Temp.Assign(&FBitmap);
  Temp.SetPixelFormat(pf24bit);
  if (Temp.Width() <= 0 || Temp.Height() <= 0) return;
  MakeMasks(Temp, Temp.Pixel(0, Temp.Height() - 1), FMask, FMaskedPicture);
}

void TRgn::FreeRegion() {
  FRegion = TRegion();
  FRgnData.clear();
}

void TRgn::Paint(TCanvas& Canvas) {
  if (FBitmap.Empty()) return;
  if (!InState(csDesigning) && !FTransparent) {
    Canvas.StretchDraw(ClientRect(), FBitmap);
    return;
  }
  if (FMask.Empty()) BuildMasks();
  // What the parent painted beneath shows through the transparent pixels:
  // the buffer holds it, ANDed with the mask and XORed with the masked
  // picture, both stretched to the control, and then goes onto the canvas.
  Canvas.CopyTo(ClientRect(), FBuffer);
  const int W = FBuffer.Width(), H = FBuffer.Height();
  const int MW = FMask.Width(), MH = FMask.Height();
  if (W <= 0 || H <= 0 || MW <= 0 || MH <= 0) return;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const int SX = static_cast<int>(static_cast<long long>(X) * MW / W);
      const int SY = static_cast<int>(static_cast<long long>(Y) * MH / H);
      FBuffer.SetPixel(X, Y, (FBuffer.Pixel(X, Y) & FMask.Pixel(SX, SY)) ^ FMaskedPicture.Pixel(SX, SY));
    }
  Canvas.StretchDraw(ClientRect(), FBuffer);
}

// ---------------------------------------------------------------------------

TRgnBtn::TRgnBtn(TComponent* AOwner) : TGraphicControl(AOwner) {
  FBounds = plat::Bounds{0, 0, 25, 25};
  FControlStyle = csCaptureMouse | csClickEvents;
}

TBitmap& TRgnBtn::GlyphAt(int Index) {
  if (Index < 1 || Index > 3) throw EListError("Glyph index out of bounds (" + IntToStr(Index) + ")");
  return FGlyphs[Index - 1];
}

const TBitmap& TRgnBtn::Glyph(int Index) const { return const_cast<TRgnBtn*>(this)->GlyphAt(Index); }

void TRgnBtn::SetGlyph(int Index, const TBitmap* Value) {
  TBitmap& Target = GlyphAt(Index);
  if (Value == &Target) return;
  Target.Assign(Value);
  if (Index != 1) return;
  FreeRegion();
  try {
    TakeOutline(Target, FRgnData);
  } catch (...) {
    Invalidate();
    throw;
  }
  if (InState(csDesigning)) {
    SetBounds(Left(), Top(), Target.Width(), Target.Height());
    Invalidate();
  }
}

void TRgnBtn::SetAutoSize(bool Value) {
  // Setting it again sizes again: the glyph may have changed meanwhile.
  FAutoSize = Value;
  const TBitmap& G = FGlyphs[0];
  if (Value && G.Width() > 0 && G.Height() > 0 && !InState(csLoading)) {
    SetBounds(Left(), Top(), G.Width(), G.Height());
    Invalidate();
  }
}

void TRgnBtn::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const TBitmap& G = FGlyphs[0];
  if (FAutoSize && G.Width() > 0 && G.Height() > 0) {
    AWidth = G.Width();
    AHeight = G.Height();
  }
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TRgnBtn::ReadStoredProperties(TStream& Stream) {
  TBitmap Read[3];
  ReadBitmapProperty(Stream, "Glyph1.Data", Read[0]);
  ReadBitmapProperty(Stream, "Glyph2.Data", Read[1]);
  ReadBitmapProperty(Stream, "Glyph3.Data", Read[2]);
  std::vector<std::uint8_t> Data = ReadRgnData(Stream);
  for (int I = 0; I < 3; ++I) FGlyphs[I].Assign(&Read[I]);
  FRgnData = std::move(Data);
}

void TRgnBtn::WriteStoredProperties(TStream& Stream) const {
  WriteBitmapProperty(Stream, "Glyph1.Data", FGlyphs[0]);
  WriteBitmapProperty(Stream, "Glyph2.Data", FGlyphs[1]);
  WriteBitmapProperty(Stream, "Glyph3.Data", FGlyphs[2]);
  WriteRgnData(Stream, FRgnData);
}

void TRgnBtn::Loaded() {
  TGraphicControl::Loaded();
  if (!InState(csDesigning)) BuildRegion();
}

void TRgnBtn::BuildRegion() {
  const TBitmap& G = FGlyphs[0];
  if (FRgnData.empty()) Fail(Name() + " のﾘｰｼﾞｮﾝ情報がありません");
  if (!Usable(G)) Fail(Name() + ":Glyph1 のﾋﾞｯﾄﾏｯﾌﾟが正しくありません");
  FRegion = TRegion();
  const float ScaleX = FAutoSize ? 1.0f : static_cast<float>(Width()) / static_cast<float>(G.Width());
  const float ScaleY = FAutoSize ? 1.0f : static_cast<float>(Height()) / static_cast<float>(G.Height());
  // In the button's own coordinates: the mouse arrives in them.
  FRegion = RegionOf(FRgnData, ScaleX, ScaleY, 0, 0);
  if (!FRegion.Valid()) Fail("ﾘｰｼﾞｮﾝが作成できません");
}

void TRgnBtn::FreeRegion() {
  FRegion = TRegion();
  FRgnData.clear();
}

void TRgnBtn::MouseDown(TMouseButton Button, int X, int Y) {
  const auto Alive = AliveToken();
  TGraphicControl::MouseDown(Button, X, Y);
  // A handler that disabled or hid the button took the mouse from it: no
  // mouse up will come to lift it again.
  if (!*Alive || InState(csDesigning) || !Enabled() || !Visible()) return;
  if (FRegion.Contains(X, Y)) {
    FPressed = true;
    Invalidate();
  }
}

void TRgnBtn::MouseUp(TMouseButton Button, int X, int Y) {
  const auto Alive = AliveToken();
  TGraphicControl::MouseUp(Button, X, Y);
  if (!*Alive || InState(csDesigning)) return;
  if (FPressed) {
    FPressed = false;
    Invalidate();
  }
}

void TRgnBtn::Paint(TCanvas& Canvas) {
  const TBitmap* Chosen = &FGlyphs[0];
  if (!Enabled() && !FGlyphs[2].Empty()) Chosen = &FGlyphs[2];
  else if (Enabled() && FPressed) Chosen = &FGlyphs[1];
  if (!Usable(*Chosen)) return;

  // The glyph stretched to the control, cut to the glyph's size: what is
  // painted is where the control and the glyph overlap. Nothing goes beyond
  // the control's rectangle, and the key colour is the bottom-left pixel of
  // what is painted, the control's own.
  const int GW = Chosen->Width(), GH = Chosen->Height();
  const int CW = Width() > 0 ? Width() : 1, CH = Height() > 0 ? Height() : 1;
  const int W = std::min(GW, CW), H = std::min(GH, CH);
  FWork.Clear();
  FWork.SetPixelFormat(pf24bit);
  FWork.SetSize(W, H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      FWork.SetPixel(X, Y, Chosen->Pixel(static_cast<int>(static_cast<long long>(X) * GW / CW),
                                        static_cast<int>(static_cast<long long>(Y) * GH / CH)));
  TBitmap Mask, Masked;
  MakeMasks(FWork, FWork.Pixel(0, H - 1), Mask, Masked);
  DrawMasked(Canvas, TRect{0, 0, W, H}, Mask, Masked);
}

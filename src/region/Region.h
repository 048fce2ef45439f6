// The region unit: shapes of windows and buttons taken from their pictures.
// The conversion runs when a picture is assigned (at design time, or by the
// build for the checker's own window); running programs load the stored
// region data and never scan pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/Controls.h"
#include "framework/Graphics.h"

// The opaque part of Bitmap as a region data block (see RegionData.h), in
// banded order. The transparent value is that of the bottom-left pixel: a
// palette index in 8-bit images, blue, green and red in 24-bit ones. Other
// formats are first converted in place, and stay converted: 1- and 4-bit
// images to 8 bits, all others to 24 bits.
//
// Raises EInvalidGraphic for no bitmap, an empty one, one of width or height
// 0, or a row of more than 100 runs; EConvertError when the block cannot be
// produced; Exception when memory runs out while scanning or producing it.
std::vector<std::uint8_t> BitmapToRegionData(TBitmap* Bitmap);

// ---------------------------------------------------------------------------
// The shaped components. Each is registered under its class name when the
// program starts.

// A windowless picture that gives its parent window the picture's outline:
// after ApplyRegion the parent form has no frame, and only the opaque part of
// the picture is seen and takes the mouse.
class TRgn : public TGraphicControl {
 public:
  explicit TRgn(TComponent* AOwner);
  const char* ClassName() const override { return "TRgn"; }

  const TBitmap& RgnBitmap() const { return FBitmap; }
  // Converts the picture into the region data (the outline of the window is
  // not changed until the next BuildRegion and ApplyRegion). A picture that
  // cannot be converted leaves the component with none, and the error goes on.
  void SetRgnBitmap(const TBitmap* Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value) { FTransparent = Value; }
  const std::vector<std::uint8_t>& RgnData() const { return FRgnData; }
  // True while a region built from the data waits to be handed over.
  bool HasRegion() const { return FRegion.Valid(); }

  // The stored properties: "RgnBitmap.Data", then "RgnData". Reading stores
  // them as they are, without converting anything; Loaded() follows.
  void ReadStoredProperties(TStream& Stream);
  void WriteStoredProperties(TStream& Stream) const;
  // Picture and region data as loading gives them (the build's stored copy).
  void SetStoredData(const TBitmap& Bitmap, const std::vector<std::uint8_t>& Data);

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Loaded() override;
  void Paint(TCanvas& Canvas) override;

  void ApplyRegion();
  void BuildRegion();
  void BuildMasks();
  void FreeRegion();

 private:
  TBitmap FBitmap;
  TBitmap FBuffer;
  TBitmap FMaskedPicture;
  TBitmap FMask;
  bool FAutoSize = false;
  std::vector<std::uint8_t> FRgnData;
  TRegion FRegion;
  bool FTransparent = false;
};

// A windowless button drawn from up to three pictures (normal, pressed,
// disabled). It looks pressed only while the mouse went down on the opaque
// part of the first picture; its clicks follow the control's rectangle.
class TRgnBtn : public TGraphicControl {
 public:
  explicit TRgnBtn(TComponent* AOwner);
  const char* ClassName() const override { return "TRgnBtn"; }

  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  // Index 1 to 3; others raise EListError.
  const TBitmap& Glyph(int Index) const;
  void SetGlyph(int Index, const TBitmap* Value);
  const std::vector<std::uint8_t>& RgnData() const { return FRgnData; }
  bool Pressed() const { return FPressed; }

  void ReadStoredProperties(TStream& Stream);
  void WriteStoredProperties(TStream& Stream) const;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Loaded() override;
  void MouseDown(TMouseButton Button, int X, int Y) override;
  void MouseUp(TMouseButton Button, int X, int Y) override;
  void Paint(TCanvas& Canvas) override;

  void BuildRegion();
  void FreeRegion();

 private:
  TBitmap& GlyphAt(int Index);
  bool FAutoSize = false;
  TBitmap FGlyphs[3];
  TBitmap FWork;
  bool FPressed = false;
  std::vector<std::uint8_t> FRgnData;
  TRegion FRegion;
};

// A companion of shaped windows that keeps two lists; nothing in this
// program fills or reads them.
class TRgnList : public TComponent {
 public:
  explicit TRgnList(TComponent* AOwner) : TComponent(AOwner) {}
  const char* ClassName() const override { return "TRgnList"; }
  bool AutoClear() const { return FAutoClear; }
  void SetAutoClear(bool Value) { FAutoClear = Value; }
  TNotifyEvent OnShowWnd;
  std::vector<std::unique_ptr<TObject>>& Windows() { return FWindows; }
  std::vector<std::unique_ptr<TObject>>& Regions() { return FRegions; }

 private:
  bool FAutoClear = true;
  std::vector<std::unique_ptr<TObject>> FWindows;
  std::vector<std::unique_ptr<TObject>> FRegions;
};

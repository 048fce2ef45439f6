// Visual controls: the control base, windowless controls that their parent
// paints (labels, pictures), and the windowed kinds the forms are made of —
// push buttons, glyph buttons and option (radio) buttons.
//
// A windowed control keeps its own state (caption, place, enabled, checked)
// and mirrors it into its window once it has one; the window is made when the
// control gets a parent that has one. Clicks come back from the window system
// as MsgCommand to the parent, which hands them to the control
// (CommandNotify). A windowless control lives on its parent's surface: the
// parent paints it, in the order the controls were added, and hands it the
// mouse input that falls on it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/Canvas.h"
#include "platform/Gui.h"

class TWinControl;

// "True" or "False"; and back, ignoring case (EConvertError for other texts).
std::string BoolToText(bool Value);
bool TextToBool(const std::string& Text);

enum TControlStyleFlag : std::uint32_t {
  csCaptureMouse = 1u << 0,  // keeps the mouse while a button is held down on it
  csClickEvents = 1u << 1,   // a press and release on it is a click
};

enum class TMouseButton { mbLeft, mbRight };
enum class TCursor { crDefault, crHandPoint };

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, int X, int Y)>;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  const char* ClassName() const override { return "TControl"; }

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);

  int Left() const { return FBounds.Left; }
  int Top() const { return FBounds.Top; }
  int Width() const { return FBounds.Width; }
  int Height() const { return FBounds.Height; }
  TRect BoundsRect() const { return TRect{Left(), Top(), Left() + Width(), Top() + Height()}; }
  TRect ClientRect() const { return TRect{0, 0, Width(), Height()}; }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  // Until set, the parent's colour (the system's button face at the top).
  TColor Color() const;
  void SetColor(TColor Value);

  // The font (face in code page 932, height in pixels, colour). Until set, a
  // control uses its parent's.
  const std::string& FontName() const;
  int FontHeight() const;
  TFont Font() const;
  void SetFont(const std::string& Name, int Height);
  void SetFont(const TFont& Value);
  bool ParentFont() const { return FParentFont; }

  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value) { FCursor = Value; }

  std::uint32_t ControlStyle() const { return FControlStyle; }

  // Asks for the control to be painted again at the next chance.
  virtual void Invalidate();

  const TPropertyInfo* FindProperty(const std::string& Name) const override;
  std::string GetPropertyText(const TPropertyInfo& Property) const override;
  void SetPropertyText(const TPropertyInfo& Property, const std::string& Text) override;

  virtual void Click();
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

  // Mouse input on a windowless control, in its own coordinates: the parent
  // calls these. MouseUp fires OnMouseUp, then the click: when the left button
  // went down on the control (that made it hold the mouse) and comes up inside
  // its rectangle.
  virtual void MouseDown(TMouseButton Button, int X, int Y);
  virtual void MouseUp(TMouseButton Button, int X, int Y);
  virtual void MouseMove(int X, int Y);
  virtual void DblClick();
  // Draws a windowless control; Canvas has its origin at the control.
  virtual void Paint(TCanvas& Canvas) {}
  // A windowed control has its own window, which the system paints.
  virtual bool Windowed() const { return false; }

  // False once the control is destroyed: handlers may free the control that
  // called them, which then looks at this before touching itself again.
  std::shared_ptr<const bool> AliveToken() const { return FAlive; }

 protected:
  // Told after the state changed, to bring the window up to date.
  virtual void CaptionChanged() { Invalidate(); }
  virtual void EnabledChanged() { Invalidate(); }
  virtual void BoundsChanged() {}
  virtual void FontChanged() { Invalidate(); }
  virtual void VisibleChanged() {}
  virtual void ColorChanged() { Invalidate(); }
  virtual void HintChanged() {}

  plat::Bounds FBounds;
  std::string FCaption;
  bool FEnabled = true;
  bool FVisible = true;
  TColor FColor = 0;
  bool FParentColor = true;
  std::uint32_t FControlStyle = csCaptureMouse | csClickEvents;

 private:
  friend class TWinControl;
  TWinControl* FParent = nullptr;
  TFont FFont;
  bool FParentFont = true;
  std::string FHint;
  bool FShowHint = false;
  TCursor FCursor = TCursor::crDefault;
  bool FClicked = false;  // the left button went down on it
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

// A control without a window of its own, painted on its parent.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner) : TControl(AOwner) {}
  const char* ClassName() const override { return "TGraphicControl"; }
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;
  const char* ClassName() const override { return "TWinControl"; }
  bool Windowed() const override { return true; }

  plat::WindowHandle Handle();  // made on first use
  bool HandleAllocated() const { return FHandle != 0; }
  void HandleNeeded() { Handle(); }

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const { return FControls.at(static_cast<std::size_t>(Index)); }
  // The child control whose window is Window, or nullptr.
  TWinControl* FindChild(plat::WindowHandle Window) const;
  // The topmost visible windowless child at X, Y of the client area.
  TControl* ControlAtPos(int X, int Y) const;

  // A notification of the window system about this control (MsgCommand).
  virtual void CommandNotify(std::uint16_t Code) {}

  void Invalidate() override;
  // Part of the client area to be painted again at the next chance.
  void InvalidatePart(const TRect& Part, bool Erase);
  // The window's outline; an invalid region gives it its whole rectangle.
  void SetWindowRegion(TRegion Region);
  std::vector<std::uint8_t> WindowRegionData();

 protected:
  // Makes the window; the base makes none and fails. Children get theirs
  // once this one exists.
  virtual plat::WindowHandle CreateWindowHandle();
  void DestroyHandle();

  // Paints the windowless children on a surface of this window's client area.
  void PaintControls(plat::SurfaceHandle Surface);
  // Hands mouse messages of this window's client area to the windowless
  // child under the mouse, or to the one holding it; true when one took it.
  bool MouseToControls(TMessage& Message);
  // A child that can no longer take the mouse (disabled, hidden or going)
  // stops holding it, and the window lets go of the capture taken for it.
  void ReleaseMouse(TControl* Control);

  void CaptionChanged() override;
  void EnabledChanged() override;
  void BoundsChanged() override;
  void FontChanged() override;
  void VisibleChanged() override;
  void HintChanged() override;

 private:
  friend class TControl;
  void InsertControl(TControl* Control);
  void RemoveControl(TControl* Control);
  void ApplyFont();
  plat::WindowHandle FHandle = 0;
  std::vector<TControl*> FControls;
  TControl* FMouseControl = nullptr;  // the windowless child holding the mouse
};

// A control as a form lays out its own: owned by Parent and shown on it,
// named, placed and captioned before it gets a window, so that its window is
// made once with all of them.
template <typename T>
T* NewControl(TWinControl* Parent, const std::string& Name, int Left, int Top, int Width, int Height,
              const std::string& Caption = std::string()) {
  T* Control = new T(Parent);
  Control->SetName(Name);
  Control->SetBounds(Left, Top, Width, Height);
  Control->SetCaption(Caption);
  Control->SetParent(Parent);
  return Control;
}

// A line of text drawn by its parent. It does not wrap: text beyond its width
// is cut. Unless transparent, it fills its rectangle with its colour first.
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  const char* ClassName() const override { return "TLabel"; }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  void Paint(TCanvas& Canvas) override;

 protected:
  // Draws the caption at X, Y in Font.
  void DrawCaption(TCanvas& Canvas, int X, int Y, const TFont& Font);

 private:
  bool FTransparent = false;
};

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* AOwner) : TWinControl(AOwner) {}
  const char* ClassName() const override { return "TButton"; }
  void CommandNotify(std::uint16_t Code) override;
  // A cancel button is clicked by the Esc key (see TForm::DialogKey).
  bool Cancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }

 protected:
  plat::WindowHandle CreateWindowHandle() override;

 private:
  bool FCancel = false;
};

// A push button with a picture left of its caption; the picture's pixels of
// the colour of its bottom-left pixel are left out.
class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* AOwner) : TButton(AOwner) {}
  const char* ClassName() const override { return "TBitBtn"; }
  const TBitmap& Glyph() const { return FGlyph; }
  void SetGlyph(const TBitmap& Value);

 protected:
  plat::WindowHandle CreateWindowHandle() override;

 private:
  TBitmap FGlyph;
};

// Option buttons with the same parent form one group: checking one unchecks
// the others. A click checks the button, then fires OnClick.
class TRadioButton : public TWinControl {
 public:
  explicit TRadioButton(TComponent* AOwner) : TWinControl(AOwner) {}
  const char* ClassName() const override { return "TRadioButton"; }

  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  void CommandNotify(std::uint16_t Code) override;

  const TPropertyInfo* FindProperty(const std::string& Name) const override;
  std::string GetPropertyText(const TPropertyInfo& Property) const override;
  void SetPropertyText(const TPropertyInfo& Property, const std::string& Text) override;

 protected:
  plat::WindowHandle CreateWindowHandle() override;
  void ColorChanged() override;

 private:
  bool FChecked = false;
};

// A caption label with a shadow: the caption is drawn in the shadow colour,
// moved by ShadowSize towards ShadowPos, then in the font's colour.
enum class TShadowPosition { spLeftTop, spLeftBottom, spRightBottom, spRightTop };

class TRxLabel : public TLabel {
 public:
  explicit TRxLabel(TComponent* AOwner);
  const char* ClassName() const override { return "TRxLabel"; }
  int ShadowSize = 1;
  TColor ShadowColor;
  TShadowPosition ShadowPos = TShadowPosition::spLeftTop;
  void Paint(TCanvas& Canvas) override;
};

// A windowless picture, drawn at its own size or stretched over the control.
class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  const char* ClassName() const override { return "TImage"; }
  const TBitmap& Picture() const { return FPicture; }
  void SetPicture(const TBitmap& Value);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  void Paint(TCanvas& Canvas) override;

 private:
  TBitmap FPicture;
  bool FStretch = false;
};

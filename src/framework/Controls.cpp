#include "framework/Controls.h"

#include <algorithm>

std::string BoolToText(bool Value) { return Value ? "True" : "False"; }

bool TextToBool(const std::string& Text) {
  if (SameText(Text, "True")) return true;
  if (SameText(Text, "False")) return false;
  throw EConvertError("'" + Text + "' is not a valid boolean value");
}

namespace {

const TPropertyInfo ControlProperties[] = {
    {"Caption", TPropertyKind::pkString}, {"Enabled", TPropertyKind::pkBoolean},
    {"Visible", TPropertyKind::pkBoolean}, {"Hint", TPropertyKind::pkString},
    {"ShowHint", TPropertyKind::pkBoolean},
};
const TPropertyInfo CheckedProperty{"Checked", TPropertyKind::pkBoolean};

}  // namespace

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

const TPropertyInfo* TControl::FindProperty(const std::string& Name) const {
  for (const TPropertyInfo& P : ControlProperties)
    if (SameText(P.Name, Name)) return &P;
  return nullptr;
}

std::string TControl::GetPropertyText(const TPropertyInfo& Property) const {
  const std::string Name = Property.Name;
  if (Name == "Caption") return Caption();
  if (Name == "Enabled") return BoolToText(Enabled());
  if (Name == "Visible") return BoolToText(Visible());
  if (Name == "Hint") return Hint();
  if (Name == "ShowHint") return BoolToText(ShowHint());
  return std::string();
}

void TControl::SetPropertyText(const TPropertyInfo& Property, const std::string& Text) {
  const std::string Name = Property.Name;
  if (Name == "Caption") SetCaption(Text);
  else if (Name == "Enabled") SetEnabled(TextToBool(Text));
  else if (Name == "Visible") SetVisible(TextToBool(Text));
  else if (Name == "Hint") SetHint(Text);
  else if (Name == "ShowHint") SetShowHint(TextToBool(Text));
}

TControl::~TControl() {
  *FAlive = false;
  if (FParent) FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw EInvalidOperation("A control cannot be its own parent");
  if (FParent) FParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  FBounds = plat::Bounds{ALeft, ATop, AWidth, AHeight};
  BoundsChanged();
}

void TControl::SetCaption(const std::string& Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  CaptionChanged();
}

void TControl::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  if (!Value && FParent) FParent->ReleaseMouse(this);
  EnabledChanged();
}

void TControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  if (!Value && FParent) FParent->ReleaseMouse(this);
  // A windowless control that goes leaves its place to be painted over.
  if (!Value) Invalidate();
  FVisible = Value;
  VisibleChanged();
  if (Value) Invalidate();
}

TColor TControl::Color() const {
  if (!FParentColor) return FColor;
  return FParent ? FParent->Color() : ButtonFaceColor();
}

void TControl::SetColor(TColor Value) {
  FColor = Value;
  FParentColor = false;
  ColorChanged();
}

const std::string& TControl::FontName() const { return FParentFont && FParent ? FParent->FontName() : FFont.Name; }

int TControl::FontHeight() const { return FParentFont && FParent ? FParent->FontHeight() : FFont.Height; }

TFont TControl::Font() const { return FParentFont && FParent ? FParent->Font() : FFont; }

void TControl::SetFont(const std::string& Name, int Height) {
  TFont F = Font();
  F.Name = Name;
  F.Height = Height;
  SetFont(F);
}

void TControl::SetFont(const TFont& Value) {
  FFont = Value;
  FParentFont = false;
  FontChanged();
}

void TControl::SetHint(const std::string& Value) {
  if (Value == FHint) return;
  FHint = Value;
  HintChanged();
}

void TControl::SetShowHint(bool Value) {
  if (Value == FShowHint) return;
  FShowHint = Value;
  HintChanged();
}

void TControl::Invalidate() {
  if (FParent && FVisible) FParent->InvalidatePart(BoundsRect(), true);
}

void TControl::Click() { Fire(OnClick, this); }
void TControl::DblClick() { Fire(OnDblClick, this); }
void TControl::MouseDown(TMouseButton Button, int X, int Y) { Fire(OnMouseDown, this, Button, X, Y); }
void TControl::MouseUp(TMouseButton Button, int X, int Y) {
  const bool Clicked = FClicked && Button == TMouseButton::mbLeft;
  if (Clicked) FClicked = false;
  const auto Alive = AliveToken();
  Fire(OnMouseUp, this, Button, X, Y);
  if (!*Alive) return;
  if (Clicked && X >= 0 && Y >= 0 && X < Width() && Y < Height()) Click();
}
void TControl::MouseMove(int X, int Y) { Fire(OnMouseMove, this, X, Y); }

void TGraphicControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  // The old place and the new one both need painting.
  Invalidate();
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  Invalidate();
}

// ---------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  // Children whose window goes with ours: they live on, without a parent.
  for (TControl* Child : FControls) {
    Child->FParent = nullptr;
    if (auto* W = dynamic_cast<TWinControl*>(Child)) W->FHandle = 0;
  }
  FControls.clear();
  if (Parent()) Parent()->RemoveControl(this);
  DestroyHandle();
}

plat::WindowHandle TWinControl::Handle() {
  if (!FHandle) {
    FHandle = CreateWindowHandle();
    if (!FHandle) throw EInvalidOperation(std::string("Cannot create a window for ") + ClassName());
    if (!FEnabled) plat::EnableWindow(FHandle, false);
    ApplyFont();
    HintChanged();
    for (TControl* Child : FControls)
      if (auto* W = dynamic_cast<TWinControl*>(Child)) W->HandleNeeded();
  }
  return FHandle;
}

TWinControl* TWinControl::FindChild(plat::WindowHandle Window) const {
  if (!Window) return nullptr;
  for (TControl* Child : FControls) {
    auto* W = dynamic_cast<TWinControl*>(Child);
    if (W && W->FHandle == Window) return W;
  }
  return nullptr;
}

TControl* TWinControl::ControlAtPos(int X, int Y) const {
  for (auto It = FControls.rbegin(); It != FControls.rend(); ++It) {
    TControl* C = *It;
    if (C->Windowed() || !C->Visible()) continue;
    if (X >= C->Left() && X < C->Left() + C->Width() && Y >= C->Top() && Y < C->Top() + C->Height()) return C;
  }
  return nullptr;
}

plat::WindowHandle TWinControl::CreateWindowHandle() { return 0; }

void TWinControl::DestroyHandle() {
  if (!FHandle) return;
  const plat::WindowHandle Window = FHandle;
  FHandle = 0;
  plat::DestroyGuiWindow(Window);
}

void TWinControl::InsertControl(TControl* Control) {
  FControls.push_back(Control);
  Control->FParent = this;
  if (Control->FParentFont) Control->FontChanged();
  if (auto* W = dynamic_cast<TWinControl*>(Control); W && FHandle) W->HandleNeeded();
  if (!Control->Windowed()) Control->Invalidate();
}

void TWinControl::RemoveControl(TControl* Control) {
  if (!Control->Windowed()) Control->Invalidate();
  ReleaseMouse(Control);
  FControls.erase(std::remove(FControls.begin(), FControls.end(), Control), FControls.end());
  Control->FParent = nullptr;
  // Its window belongs to ours: a control taken away loses it.
  if (auto* W = dynamic_cast<TWinControl*>(Control)) W->DestroyHandle();
}

void TWinControl::Invalidate() {
  if (FHandle) plat::InvalidateRect(FHandle, plat::Bounds{0, 0, Width(), Height()}, true);
}

void TWinControl::InvalidatePart(const TRect& Part, bool Erase) {
  if (FHandle)
    plat::InvalidateRect(FHandle, plat::Bounds{Part.Left, Part.Top, Part.Right - Part.Left, Part.Bottom - Part.Top},
                         Erase);
}

void TWinControl::SetWindowRegion(TRegion Region) { plat::SetWindowRegion(Handle(), std::move(Region.FRegion)); }

std::vector<std::uint8_t> TWinControl::WindowRegionData() { return plat::GetWindowRegionData(Handle()); }

void TWinControl::PaintControls(plat::SurfaceHandle Surface) {
  // A control may go while another paints (a handler of its own): work on a copy.
  const std::vector<TControl*> Children = FControls;
  for (TControl* C : Children) {
    if (C->Windowed() || !C->Visible() || std::find(FControls.begin(), FControls.end(), C) == FControls.end()) continue;
    TCanvas Canvas(Surface, C->Left(), C->Top(), C->Width(), C->Height());
    Canvas.Font = C->Font();
    C->Paint(Canvas);
  }
}

bool TWinControl::MouseToControls(TMessage& Message) {
  const int X = plat::PointX(Message.lParam), Y = plat::PointY(Message.lParam);
  const bool Down = Message.Msg == plat::MsgLButtonDown || Message.Msg == plat::MsgRButtonDown ||
                    Message.Msg == plat::MsgLButtonDblClk;
  const bool Up = Message.Msg == plat::MsgLButtonUp || Message.Msg == plat::MsgRButtonUp;
  const TMouseButton Button =
      Message.Msg == plat::MsgRButtonDown || Message.Msg == plat::MsgRButtonUp ? TMouseButton::mbRight
                                                                               : TMouseButton::mbLeft;
  TControl* Target = FMouseControl ? FMouseControl : ControlAtPos(X, Y);
  if (!Target || !Target->Enabled()) return false;
  const int LX = X - Target->Left(), LY = Y - Target->Top();
  if (Message.Msg == plat::MsgMouseMove) {
    Target->MouseMove(LX, LY);
    return true;
  }
  // The handlers may free the control, or this window: nothing is touched after them.
  if (Down) {
    if (Target->ControlStyle() & csCaptureMouse) {
      FMouseControl = Target;
      plat::SetCapture(Handle());
    }
    if (Button == TMouseButton::mbLeft) Target->FClicked = (Target->ControlStyle() & csClickEvents) != 0;
    if (Message.Msg == plat::MsgLButtonDblClk) {
      const auto Alive = Target->AliveToken();
      Target->DblClick();
      if (!*Alive) return true;
    }
    Target->MouseDown(Button, LX, LY);
    return true;
  }
  if (Up) {
    ReleaseMouse(Target);
    Target->MouseUp(Button, LX, LY);
    return true;
  }
  return false;
}

void TWinControl::ReleaseMouse(TControl* Control) {
  if (!Control || FMouseControl != Control) return;
  FMouseControl = nullptr;
  if (FHandle && plat::GetCapture() == FHandle) plat::ReleaseCapture();
}

void TWinControl::CaptionChanged() {
  if (FHandle) plat::SetWindowText(FHandle, FCaption);
}

void TWinControl::EnabledChanged() {
  if (FHandle) plat::EnableWindow(FHandle, FEnabled);
}

void TWinControl::BoundsChanged() {
  if (FHandle) plat::SetWindowBounds(FHandle, FBounds);
}

void TWinControl::VisibleChanged() {
  if (FHandle && Parent()) plat::ShowWindow(FHandle, FVisible ? plat::ShowCommand::ShowNoActivate : plat::ShowCommand::Hide);
}

void TWinControl::HintChanged() {
  if (FHandle && Parent()) plat::SetControlHint(FHandle, ShowHint() ? Hint() : std::string());
}

void TWinControl::ApplyFont() {
  if (FHandle && !FontName().empty() && FontHeight() > 0) plat::SetWindowFont(FHandle, FontName(), FontHeight());
}

void TWinControl::FontChanged() {
  ApplyFont();
  for (TControl* Child : FControls)
    if (Child->ParentFont()) Child->FontChanged();
}

// ---------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  // A label takes no mouse of its own: its parent's handlers see its clicks.
  FControlStyle = csClickEvents;
}

void TLabel::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Invalidate();
}

void TLabel::Paint(TCanvas& Canvas) {
  if (!FTransparent) Canvas.FillRect(ClientRect(), Color());
  DrawCaption(Canvas, 0, 0, Font());
}

void TLabel::DrawCaption(TCanvas& Canvas, int X, int Y, const TFont& Font) {
  Canvas.Font = Font;
  Canvas.TextOut(X, Y, FCaption);
}

plat::WindowHandle TButton::CreateWindowHandle() {
  return Parent() ? plat::CreateControl(Parent()->Handle(), plat::ControlKind::PushButton, FCaption, FBounds) : 0;
}

void TButton::CommandNotify(std::uint16_t Code) {
  // The system sends no clicks for a disabled button; nor does this one take any.
  if (Code == plat::NotifyClicked && Enabled()) Click();
}

plat::WindowHandle TBitBtn::CreateWindowHandle() {
  if (!Parent()) return 0;
  plat::WindowHandle Window = plat::CreateControl(Parent()->Handle(), plat::ControlKind::GlyphButton, FCaption, FBounds);
  TBitmap Scratch;
  if (Window && !FGlyph.Empty()) plat::SetButtonGlyph(Window, PixelImageOf(FGlyph, Scratch));
  return Window;
}

void TBitBtn::SetGlyph(const TBitmap& Value) {
  FGlyph.Assign(&Value);
  TBitmap Scratch;
  if (HandleAllocated()) plat::SetButtonGlyph(Handle(), PixelImageOf(FGlyph, Scratch));
}

plat::WindowHandle TRadioButton::CreateWindowHandle() {
  if (!Parent()) return 0;
  plat::WindowHandle Window = plat::CreateControl(Parent()->Handle(), plat::ControlKind::RadioButton, FCaption, FBounds);
  if (Window && FChecked) plat::SetButtonCheck(Window, true);
  if (Window && !FParentColor) plat::SetControlColor(Window, FColor);
  return Window;
}

void TRadioButton::ColorChanged() {
  if (HandleAllocated() && !FParentColor) plat::SetControlColor(Handle(), FColor);
}

void TRadioButton::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  if (HandleAllocated()) plat::SetButtonCheck(Handle(), Value);
  if (!Value) return;
  if (TWinControl* P = Parent()) {
    for (int I = 0; I < P->ControlCount(); ++I) {
      auto* Sibling = dynamic_cast<TRadioButton*>(P->Controls(I));
      if (Sibling && Sibling != this) Sibling->SetChecked(false);
    }
  }
  Click();
}

const TPropertyInfo* TRadioButton::FindProperty(const std::string& Name) const {
  return SameText(Name, CheckedProperty.Name) ? &CheckedProperty : TWinControl::FindProperty(Name);
}

std::string TRadioButton::GetPropertyText(const TPropertyInfo& Property) const {
  return &Property == &CheckedProperty ? BoolToText(FChecked) : TWinControl::GetPropertyText(Property);
}

void TRadioButton::SetPropertyText(const TPropertyInfo& Property, const std::string& Text) {
  if (&Property == &CheckedProperty) SetChecked(TextToBool(Text));
  else TWinControl::SetPropertyText(Property, Text);
}

void TRadioButton::CommandNotify(std::uint16_t Code) {
  if (Code == plat::NotifyClicked && Enabled()) SetChecked(true);
}

// ---------------------------------------------------------------------------

TRxLabel::TRxLabel(TComponent* AOwner) : TLabel(AOwner), ShadowColor(ButtonHighlightColor()) {}

void TRxLabel::Paint(TCanvas& Canvas) {
  if (!Transparent()) Canvas.FillRect(ClientRect(), Color());
  // The text keeps its place inside the control; the shadow goes beside it.
  const bool Left = ShadowPos == TShadowPosition::spLeftTop || ShadowPos == TShadowPosition::spLeftBottom;
  const bool Up = ShadowPos == TShadowPosition::spLeftTop || ShadowPos == TShadowPosition::spRightTop;
  const int TextX = Left ? ShadowSize : 0, TextY = Up ? ShadowSize : 0;
  TFont Shadow = Font();
  Shadow.Color = ShadowColor;
  DrawCaption(Canvas, Left ? TextX - ShadowSize : TextX + ShadowSize, Up ? TextY - ShadowSize : TextY + ShadowSize,
              Shadow);
  DrawCaption(Canvas, TextX, TextY, Font());
}

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner) { FBounds = plat::Bounds{0, 0, 105, 105}; }

void TImage::SetPicture(const TBitmap& Value) {
  FPicture.Assign(&Value);
  Invalidate();
}

void TImage::SetStretch(bool Value) {
  if (Value == FStretch) return;
  FStretch = Value;
  Invalidate();
}

void TImage::Paint(TCanvas& Canvas) {
  if (FPicture.Empty() || FPicture.Width() <= 0 || FPicture.Height() <= 0) return;
  Canvas.StretchDraw(FStretch ? ClientRect() : TRect{0, 0, FPicture.Width(), FPicture.Height()}, FPicture);
}

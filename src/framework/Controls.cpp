#include "framework/Controls.h"

#include <algorithm>

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
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
  EnabledChanged();
}

const std::string& TControl::FontName() const {
  return FParentFont && FParent ? FParent->FontName() : FFontName;
}

int TControl::FontHeight() const { return FParentFont && FParent ? FParent->FontHeight() : FFontHeight; }

void TControl::SetFont(const std::string& Name, int Height) {
  FFontName = Name;
  FFontHeight = Height;
  FParentFont = false;
  FontChanged();
}

void TControl::Click() { Fire(OnClick, this); }

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
}

void TWinControl::RemoveControl(TControl* Control) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), Control), FControls.end());
  Control->FParent = nullptr;
  // Its window belongs to ours: a control taken away loses it.
  if (auto* W = dynamic_cast<TWinControl*>(Control)) W->DestroyHandle();
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

void TWinControl::ApplyFont() {
  if (FHandle && !FontName().empty() && FontHeight() > 0) plat::SetWindowFont(FHandle, FontName(), FontHeight());
}

void TWinControl::FontChanged() {
  ApplyFont();
  for (TControl* Child : FControls)
    if (Child->ParentFont()) Child->FontChanged();
}

// ---------------------------------------------------------------------------

plat::WindowHandle TLabel::CreateWindowHandle() {
  return Parent() ? plat::CreateControl(Parent()->Handle(), plat::ControlKind::Label, FCaption, FBounds) : 0;
}

plat::WindowHandle TButton::CreateWindowHandle() {
  return Parent() ? plat::CreateControl(Parent()->Handle(), plat::ControlKind::PushButton, FCaption, FBounds) : 0;
}

void TButton::CommandNotify(std::uint16_t Code) {
  // The system sends no clicks for a disabled button; nor does this one take any.
  if (Code == plat::NotifyClicked && Enabled()) Click();
}

plat::WindowHandle TRadioButton::CreateWindowHandle() {
  if (!Parent()) return 0;
  plat::WindowHandle Window = plat::CreateControl(Parent()->Handle(), plat::ControlKind::RadioButton, FCaption, FBounds);
  if (Window && FChecked) plat::SetButtonCheck(Window, true);
  return Window;
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

void TRadioButton::CommandNotify(std::uint16_t Code) {
  if (Code == plat::NotifyClicked && Enabled()) SetChecked(true);
}

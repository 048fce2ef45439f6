// Visual controls: the windowed control base and the three kinds the forms are
// made of — static labels, push buttons and option (radio) buttons.
//
// A control keeps its own state (caption, place, enabled, checked) and mirrors
// it into its window once it has one; the window is made when the control gets
// a parent that has one. Clicks come back from the window system as MsgCommand
// to the parent, which hands them to the control (CommandNotify).
#pragma once

#include <string>
#include <vector>

#include "framework/Application.h"
#include "platform/Gui.h"

class TWinControl;

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
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);

  // The font face (code page 932) and its height in pixels. Until set, a
  // control uses its parent's font.
  const std::string& FontName() const;
  int FontHeight() const;
  void SetFont(const std::string& Name, int Height);
  bool ParentFont() const { return FParentFont; }

  virtual void Click();
  TNotifyEvent OnClick;

 protected:
  // Told after the state changed, to bring the window up to date.
  virtual void CaptionChanged() {}
  virtual void EnabledChanged() {}
  virtual void BoundsChanged() {}
  virtual void FontChanged() {}

  plat::Bounds FBounds;
  std::string FCaption;
  bool FEnabled = true;

 private:
  friend class TWinControl;
  TWinControl* FParent = nullptr;
  std::string FFontName;
  int FFontHeight = 0;
  bool FParentFont = true;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;
  const char* ClassName() const override { return "TWinControl"; }

  plat::WindowHandle Handle();  // made on first use
  bool HandleAllocated() const { return FHandle != 0; }
  void HandleNeeded() { Handle(); }

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const { return FControls.at(static_cast<std::size_t>(Index)); }
  // The child control whose window is Window, or nullptr.
  TWinControl* FindChild(plat::WindowHandle Window) const;

  // A notification of the window system about this control (MsgCommand).
  virtual void CommandNotify(std::uint16_t Code) {}

 protected:
  // Makes the window; the base makes none and fails. Children get theirs
  // once this one exists.
  virtual plat::WindowHandle CreateWindowHandle();
  void DestroyHandle();

  void CaptionChanged() override;
  void EnabledChanged() override;
  void BoundsChanged() override;
  void FontChanged() override;

 private:
  friend class TControl;
  void InsertControl(TControl* Control);
  void RemoveControl(TControl* Control);
  void ApplyFont();
  plat::WindowHandle FHandle = 0;
  std::vector<TControl*> FControls;
};

// A line of static text. It does not wrap: text beyond its width is cut.
class TLabel : public TWinControl {
 public:
  explicit TLabel(TComponent* AOwner) : TWinControl(AOwner) {}
  const char* ClassName() const override { return "TLabel"; }

 protected:
  plat::WindowHandle CreateWindowHandle() override;
};

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* AOwner) : TWinControl(AOwner) {}
  const char* ClassName() const override { return "TButton"; }
  void CommandNotify(std::uint16_t Code) override;

 protected:
  plat::WindowHandle CreateWindowHandle() override;
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

 protected:
  plat::WindowHandle CreateWindowHandle() override;

 private:
  bool FChecked = false;
};

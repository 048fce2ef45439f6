// Forms (top-level windows made of controls) and the application object that
// creates them, shows the main one and runs the loop until it closes.
#pragma once

#include <string>
#include <vector>

#include "framework/Controls.h"

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

// Where a top-level window is, as the window system records it: the flags and
// show command of its placement record, its minimised and maximised
// positions, and its normal rectangle (right and bottom exclusive).
struct TWindowPlacement {
  std::uint32_t Flags = 0;
  std::uint32_t ShowCmd = 1;
  int MinX = -1, MinY = -1, MaxX = -1, MaxY = -1;
  TRect Normal;
};
// Logical pixels per inch of the screen.
int ScreenPixelsPerInch();
enum class TFormBorderStyle { bsSingle, bsNone, bsDialog };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

class TForm;

// A component that follows its form: told as the form is shown (before its
// OnShow), once a close request has been allowed (after its OnClose), and as
// it is destroyed (before its OnDestroy). Errors go to the application's
// handler and do not stop the form.
class TFormHook {
 public:
  virtual ~TFormHook() = default;
  virtual void FormShowing(TForm* Form) = 0;
  virtual void FormClosing(TForm* Form) = 0;
  virtual void FormDestroying(TForm* Form) = 0;
};

// The window class of a form is its ClassName(), so that other programs can
// find a form by the class its program gave it.
class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;
  const char* ClassName() const override { return "TForm"; }

  // Client size; Left and Top place the whole window (SetBounds).
  int ClientWidth() const { return Width(); }
  int ClientHeight() const { return Height(); }
  void SetClientSize(int AWidth, int AHeight) { SetBounds(Left(), Top(), AWidth, AHeight); }

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  // A form whose window exists changes its frame; the client area stays.
  void SetBorderStyle(TFormBorderStyle Value);
  // A form with a clear background paints none: its controls cover it.
  bool BackgroundClear() const { return FBackgroundClear; }
  void SetBackgroundClear(bool Value);
  // Places the form's window centred over Other's.
  void CenterOver(TForm* Other);

  // The keys a form answers for its controls: Esc clicks the first cancel
  // button that is enabled and visible, Enter the button that has the focus.
  // True when the key was used.
  virtual bool DialogKey(plat::WParam Key);

  // The control that gets the keyboard focus whenever the form is activated,
  // until another of its controls has had it; nullptr leaves it to the form.
  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* Value) { FActiveControl = Value; }

  bool Visible() const;
  void Show();
  void Hide();
  // Asks OnClose what to do. Closing the main form ends the application.
  void Close();
  // Redraws the whole window now, children included.
  void Repaint();

  TWindowState WindowState() const;
  void SetWindowState(TWindowState Value);
  bool GetPlacement(TWindowPlacement& Placement);
  // Takes the positions of Placement; the show command is not used: the
  // window keeps its visibility and its state, and is not activated.
  bool SetPlacement(const TWindowPlacement& Placement);
  // Brings the window onto the nearest monitor's work area when less than
  // 100 x 40 pixels of it lie inside any one monitor's work area.
  void KeepOnScreen();
  // The main form of the application.
  bool IsMainForm() const;

  // Fired by the application once the form exists, and before it goes.
  void DoCreate();
  void DoDestroy();

  void AddHook(TFormHook* Hook);
  void RemoveHook(TFormHook* Hook);

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnActivate;
  TCloseEvent OnClose;
  TNotifyEvent OnDestroy;

  // Every message of the form's window; answer what is not handled with
  // DefaultHandler. Exceptions leave through the application's handler.
  virtual void WndProc(TMessage& Message);
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  plat::WindowHandle CreateWindowHandle() override;
  virtual void Activate();

 private:
  TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSingle;
  bool FBackgroundClear = false;
  TWinControl* FActiveControl = nullptr;
  std::vector<TFormHook*> FHooks;
  // Runs each hook's Call, every error handed to the application.
  void RunHooks(void (TFormHook::*Call)(TForm*));
  int FMouseX = -1, FMouseY = -1;  // where the mouse was last seen on the form
};

class TFormApplication : public TApplication {
 public:
  explicit TFormApplication(TComponent* AOwner = nullptr);
  ~TFormApplication() override;
  const char* ClassName() const override { return "TFormApplication"; }

  // Creates a form owned by the application; the first one is the main form.
  template <typename T>
  T* CreateForm() {
    T* Form = new T(this);
    FormCreated(Form);
    return Form;
  }
  TForm* MainForm() const { return FMainForm; }

  // The title on the task bar.
  void SetTitle(const std::string& Value) override;
  // The window that carries the task-bar button and owns the forms.
  plat::WindowHandle Handle();

  // Shows the main form, then handles messages until the application ends.
  void Run();
  void Minimize();
  void Restore();
  // A main form that goes leaves the place to the next form made.
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  // Keys for a form's controls go to the form first (DialogKey), then to the
  // window system's dialog keys (Tab).
  bool PreTranslateMessage(plat::Message& M) override;

 private:
  void FormCreated(TForm* Form);
  TForm* FMainForm = nullptr;
  plat::WindowHandle FHandle = 0;
};

// The application object when it is one that has forms, else nullptr.
TFormApplication* FormsApplication();

// Hands the exception being handled to the application's handler; for use in a
// catch (...) block of code that the system called.
void HandleCurrentException(TObject* Sender);

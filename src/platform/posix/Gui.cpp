// The headless window system of the host build. Every window is a window of
// the loop (so posting, sending and the queue behave as for hidden windows);
// this file keeps what Windows would keep for it: text, enabled, checked,
// shown and minimised states, the parent and owner, and which top-level window
// is active. Activation and clicks arrive as the messages Windows would send.
#include "platform/Gui.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <vector>

namespace plat {
namespace {

enum class Kind { Form, Application, Label, PushButton, RadioButton };

struct GuiRec {
  Kind K = Kind::Form;
  WindowProc UserProc = nullptr;  // forms only
  WindowHandle Parent = 0;        // controls
  WindowHandle Owner = 0;         // forms
  std::uintptr_t Id = 0;
  std::string Text;
  Bounds Where;
  bool Enabled = true;
  bool Visible = false;
  bool HiddenByOwner = false;
  bool Checked = false;
  bool Iconic = false;
  WindowHandle LastActive = 0;  // the application window: its form active last
};

const char* const FormClass = "DravinHeadlessForm";
const char* const ControlClass = "DravinHeadlessControl";
const char* const AppClass = "DravinHeadlessApplication";

std::recursive_mutex gLock;
std::map<std::string, WindowProc> gFormProcs;
std::map<WindowHandle, GuiRec> gGui;
WindowHandle gActive = 0;
std::uintptr_t gNextId = 100;

std::string Key(const char* Name) {
  std::string K = Name ? Name : "";
  for (char& C : K) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return K;
}

GuiRec* Find(WindowHandle Window) {
  auto It = gGui.find(Window);
  return It == gGui.end() ? nullptr : &It->second;
}

bool IsTopLevel(const GuiRec& R) { return R.K == Kind::Form || R.K == Kind::Application; }

std::vector<WindowHandle> ChildrenOf(WindowHandle Window) {
  std::vector<WindowHandle> Result;
  for (auto& [Handle, Rec] : gGui)
    if (Rec.Parent == Window || Rec.Owner == Window) Result.push_back(Handle);
  return Result;
}

// Windows' order: the window losing activation hears of it first.
void Activate(WindowHandle Window) {
  WindowHandle Old;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    if (gActive == Window) return;
    Old = gActive;
    gActive = 0;
  }
  if (Old) SendMessage(Old, MsgActivate, WaInactive, static_cast<LParam>(Window));
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    gActive = Window;
    if (GuiRec* R = Find(Window); R && R->Owner)
      if (GuiRec* App = Find(R->Owner)) App->LastActive = Window;
  }
  SendMessage(Window, MsgActivate, WaActive, static_cast<LParam>(Old));
}

void Deactivate(WindowHandle Window) {
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    if (gActive != Window) return;
    gActive = 0;
  }
  SendMessage(Window, MsgActivate, WaInactive, 0);
}

// Destroys what a window leaves behind: its children and owned windows first
// have gone with it, as on Windows.
void Forget(WindowHandle Window) {
  std::vector<WindowHandle> Children;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    Children = ChildrenOf(Window);
  }
  for (WindowHandle Child : Children) DestroyWindow(Child);
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (gActive == Window) gActive = 0;
  for (auto& [Handle, Rec] : gGui)
    if (Rec.LastActive == Window) Rec.LastActive = 0;
  gGui.erase(Window);
}

LResult FormProc(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam lParam) {
  WindowProc Proc = nullptr;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    if (GuiRec* R = Find(Window)) Proc = R->UserProc;
  }
  if (Msg == MsgDestroy) {
    // Forget even when the procedure throws: the window is gone either way.
    struct Later {
      WindowHandle W;
      ~Later() { Forget(W); }
    } ForgetAfter{Window};
    return Proc ? Proc(Window, Msg, wParam, lParam) : 0;
  }
  return Proc ? Proc(Window, Msg, wParam, lParam) : 0;
}

LResult ControlProc(WindowHandle Window, std::uint32_t Msg, WParam, LParam) {
  if (Msg == MsgDestroy) {
    Forget(Window);
    return 0;
  }
  if (Msg != MsgButtonClick) return 0;
  WindowHandle Parent = 0;
  std::uintptr_t Id = 0;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    GuiRec* R = Find(Window);
    // A disabled or hidden button takes no mouse input; nor does one on a disabled form.
    if (!R || R->K == Kind::Label || !R->Enabled || !R->Visible) return 0;
    GuiRec* P = Find(R->Parent);
    if (!P || !P->Enabled) return 0;
    Parent = R->Parent;
    Id = R->Id;
  }
  SendMessage(Parent, MsgCommand, (static_cast<WParam>(NotifyClicked) << 16) | (Id & 0xFFFF),
              static_cast<LParam>(Window));
  return 0;
}

LResult AppProc(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam) {
  if (Msg == MsgDestroy) {
    Forget(Window);
    return 0;
  }
  WindowHandle Last = 0;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    if (GuiRec* R = Find(Window)) Last = R->LastActive;
  }
  if (Msg == MsgActivate && LowWord(wParam) != WaInactive && Last) Activate(Last);
  if (Msg == MsgClose && Last) PostMessage(Last, MsgClose, 0, 0);
  return 0;
}

bool RegisterInternalClasses() {
  static const bool Done = [] {
    RegisterWindowClass(FormClass, FormProc);
    RegisterWindowClass(ControlClass, ControlProc);
    RegisterWindowClass(AppClass, AppProc);
    return IsWindowClassRegistered(FormClass) && IsWindowClassRegistered(ControlClass) &&
           IsWindowClassRegistered(AppClass);
  }();
  return Done;
}

WindowHandle Make(const char* Class, GuiRec Rec) {
  if (!RegisterInternalClasses()) return 0;
  WindowHandle Window = CreateHiddenWindow(Class);
  if (!Window) return 0;
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  gGui[Window] = std::move(Rec);
  return Window;
}

}  // namespace

bool RegisterFormClass(const char* ClassName, WindowProc Proc) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  auto [It, Inserted] = gFormProcs.emplace(Key(ClassName), Proc);
  return Inserted || It->second == Proc;
}

WindowHandle CreateFormWindow(const char* ClassName, const std::string& Caption, const Bounds& Where, FormBorder,
                              WindowHandle Owner) {
  GuiRec Rec;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    auto It = gFormProcs.find(Key(ClassName));
    if (It == gFormProcs.end()) return 0;
    Rec.UserProc = It->second;
  }
  Rec.K = Kind::Form;
  Rec.Owner = Owner;
  Rec.Text = Caption;
  Rec.Where = Where;
  return Make(FormClass, std::move(Rec));
}

WindowHandle CreateApplicationWindow(const std::string& Title) {
  GuiRec Rec;
  Rec.K = Kind::Application;
  Rec.Text = Title;
  return Make(AppClass, std::move(Rec));
}

WindowHandle CreateControl(WindowHandle Parent, ControlKind Kind, const std::string& Text, const Bounds& Where) {
  GuiRec Rec;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    if (!Find(Parent)) return 0;
    Rec.Id = gNextId++;
  }
  Rec.K = Kind == ControlKind::Label ? Kind::Label : Kind == ControlKind::PushButton ? Kind::PushButton : Kind::RadioButton;
  Rec.Parent = Parent;
  Rec.Text = Text;
  Rec.Where = Where;
  Rec.Visible = true;
  return Make(ControlClass, std::move(Rec));
}

bool DestroyGuiWindow(WindowHandle Window) { return DestroyWindow(Window); }

void SetWindowText(WindowHandle Window, const std::string& Text) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (GuiRec* R = Find(Window)) R->Text = Text;
}

std::string GetWindowText(WindowHandle Window) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Window);
  return R ? R->Text : std::string();
}

void EnableWindow(WindowHandle Window, bool Enabled) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (GuiRec* R = Find(Window)) R->Enabled = Enabled;
}

bool IsWindowEnabled(WindowHandle Window) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Window);
  return R && R->Enabled;
}

void SetButtonCheck(WindowHandle Control, bool Checked) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (GuiRec* R = Find(Control); R && R->K == Kind::RadioButton) R->Checked = Checked;
}

bool GetButtonCheck(WindowHandle Control) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Control);
  return R && R->Checked;
}

void SetWindowBounds(WindowHandle Window, const Bounds& Where) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (GuiRec* R = Find(Window)) R->Where = Where;
}

void ShowWindow(WindowHandle Window, ShowCommand Command) {
  bool TopLevel = false;
  Kind K = Kind::Form;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    GuiRec* R = Find(Window);
    if (!R) return;
    TopLevel = IsTopLevel(*R);
    K = R->K;
    switch (Command) {
      case ShowCommand::Hide: R->Visible = false; break;
      case ShowCommand::Show:
      case ShowCommand::ShowNoActivate: R->Visible = true; break;
      case ShowCommand::Minimize: R->Visible = true; R->Iconic = true; break;
      case ShowCommand::Restore: R->Visible = true; R->Iconic = false; break;
    }
    // A minimised owner takes its forms off the screen, and brings them back.
    if (K == Kind::Application) {
      for (auto& [Handle, Rec] : gGui) {
        if (Rec.Owner != Window) continue;
        if (R->Iconic && Rec.Visible) {
          Rec.Visible = false;
          Rec.HiddenByOwner = true;
        } else if (!R->Iconic && Rec.HiddenByOwner) {
          Rec.Visible = true;
          Rec.HiddenByOwner = false;
        }
      }
    }
  }
  if (!TopLevel) return;
  switch (Command) {
    case ShowCommand::Show:
    case ShowCommand::Restore:
      Activate(Window);
      break;
    case ShowCommand::Hide:
    case ShowCommand::Minimize: {
      WindowHandle Active = GetActiveWindow();
      bool Owned = false;
      {
        std::lock_guard<std::recursive_mutex> Guard(gLock);
        GuiRec* A = Find(Active);
        Owned = A && A->Owner == Window;
      }
      if (Active == Window || Owned) Deactivate(Active);
      break;
    }
    case ShowCommand::ShowNoActivate: break;
  }
}

bool IsWindowVisible(WindowHandle Window) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Window);
  if (!R || !R->Visible) return false;
  // As on Windows: a control is seen only while its parent is.
  GuiRec* P = R->Parent ? Find(R->Parent) : nullptr;
  return !R->Parent || (P && P->Visible);
}

bool IsIconic(WindowHandle Window) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Window);
  return R && R->Iconic;
}

WindowHandle GetActiveWindow() {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  return gActive;
}

void RepaintWindow(WindowHandle) {}

void SetWindowFont(WindowHandle, const std::string&, int) {}

}  // namespace plat

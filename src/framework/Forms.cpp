#include "framework/Forms.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace {

// Posted to a form that closed with caFree: it is deleted once the handler
// that closed it has returned.
constexpr std::uint32_t FormRelease = plat::MsgUser + 0x0F00;

void Deliver(TObject* Sender, Exception& E) {
  if (!Application) {
    std::fprintf(stderr, "%s: %s\n", E.ClassName(), E.Message().c_str());
    return;
  }
  try {
    Application->HandleException(Sender, E);
  } catch (...) {
    // The handler itself failed (its log cannot be written, say). There is no
    // one left to tell but the trace; never a dialog.
    Application->ShowException(E);
  }
}

plat::LResult FormProc(plat::WindowHandle Window, std::uint32_t Msg, plat::WParam wParam, plat::LParam lParam) {
  auto* Form = static_cast<TForm*>(plat::GetWindowData(Window));
  if (!Form) return plat::DefWindowProc(Window, Msg, wParam, lParam);
  TMessage M{Window, Msg, wParam, lParam, 0};
  try {
    Form->WndProc(M);
  } catch (...) {
    HandleCurrentException(Form);
  }
  return M.Result;
}

}  // namespace

void HandleCurrentException(TObject* Sender) {
  try {
    throw;
  } catch (Exception& E) {
    Deliver(Sender, E);
  } catch (const std::bad_alloc&) {
    EOutOfMemory E("Out of memory");
    Deliver(Sender, E);
  } catch (const std::exception& Other) {
    Exception E(Other.what());
    Deliver(Sender, E);
  } catch (...) {
    Exception E("Unknown exception");
    Deliver(Sender, E);
  }
}

TFormApplication* FormsApplication() { return dynamic_cast<TFormApplication*>(Application); }

// ---------------------------------------------------------------------------

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {}

TForm::~TForm() {
  DestroyComponents();
  if (HandleAllocated()) plat::SetWindowData(Handle(), nullptr);
  DestroyHandle();
}

plat::FormBorder BorderOf(TFormBorderStyle Style) {
  switch (Style) {
    case TFormBorderStyle::bsNone: return plat::FormBorder::None;
    case TFormBorderStyle::bsDialog: return plat::FormBorder::Dialog;
    case TFormBorderStyle::bsSingle: break;
  }
  return plat::FormBorder::Single;
}

plat::WindowHandle TForm::CreateWindowHandle() {
  // Called once the derived form is complete, so ClassName() is its own.
  if (!plat::RegisterFormClass(ClassName(), FormProc)) return 0;
  TFormApplication* App = FormsApplication();
  const plat::WindowHandle Owner = App ? App->Handle() : 0;
  const plat::WindowHandle Window =
      plat::CreateFormWindow(ClassName(), Caption(), FBounds, BorderOf(FBorderStyle), Owner);
  if (Window) plat::SetWindowData(Window, this);
  return Window;
}

void TForm::SetBorderStyle(TFormBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  if (HandleAllocated()) plat::SetFormBorder(Handle(), BorderOf(Value));
}

void TForm::SetBackgroundClear(bool Value) {
  if (Value == FBackgroundClear) return;
  FBackgroundClear = Value;
  Invalidate();
}

void TForm::CenterOver(TForm* Other) {
  if (!Other || !Other->HandleAllocated()) return;
  const plat::Bounds Over = plat::GetWindowBounds(Other->Handle());
  SetBounds(Over.Left + (Over.Width - Width()) / 2, Over.Top + (Over.Height - Height()) / 2, Width(), Height());
}

bool TForm::DialogKey(plat::WParam Key) {
  if (Key == plat::KeyReturn) {
    // The system's push buttons answer the space bar only.
    auto* Focused = dynamic_cast<TButton*>(FindChild(plat::GetFocus()));
    if (!Focused || !Focused->Enabled() || !Focused->Visible()) return false;
    Focused->Click();
    return true;
  }
  if (Key != plat::KeyEscape) return false;
  for (int I = 0; I < ControlCount(); ++I) {
    auto* B = dynamic_cast<TButton*>(Controls(I));
    if (B && B->Cancel() && B->Enabled() && B->Visible()) {
      B->Click();
      return true;
    }
  }
  return false;
}

bool TForm::Visible() const {
  return HandleAllocated() && plat::IsWindowVisible(const_cast<TForm*>(this)->Handle());
}

void TForm::AddHook(TFormHook* Hook) {
  if (std::find(FHooks.begin(), FHooks.end(), Hook) == FHooks.end()) FHooks.push_back(Hook);
}

void TForm::RemoveHook(TFormHook* Hook) { FHooks.erase(std::remove(FHooks.begin(), FHooks.end(), Hook), FHooks.end()); }

void TForm::RunHooks(void (TFormHook::*Call)(TForm*)) {
  // A hook may go while another runs: each is looked for again before its turn.
  const std::vector<TFormHook*> Hooks = FHooks;
  for (TFormHook* H : Hooks) {
    if (std::find(FHooks.begin(), FHooks.end(), H) == FHooks.end()) continue;
    try {
      (H->*Call)(this);
    } catch (...) {
      HandleCurrentException(this);
    }
  }
}

void TForm::Show() {
  RunHooks(&TFormHook::FormShowing);
  Fire(OnShow, this);
  plat::ShowWindow(Handle(), plat::ShowCommand::Show);
}

void TForm::Hide() {
  if (HandleAllocated()) plat::ShowWindow(Handle(), plat::ShowCommand::Hide);
}

void TForm::Close() {
  TCloseAction Action = TCloseAction::caHide;
  if (OnClose) OnClose(this, Action);
  if (Action == TCloseAction::caNone) return;
  RunHooks(&TFormHook::FormClosing);
  TFormApplication* App = FormsApplication();
  if (App && App->MainForm() == this) {
    App->Terminate();
    return;
  }
  switch (Action) {
    case TCloseAction::caHide: Hide(); break;
    case TCloseAction::caMinimize: SetWindowState(TWindowState::wsMinimized); break;
    case TCloseAction::caFree:
      Hide();
      plat::PostMessage(Handle(), FormRelease, 0, 0);
      break;
    case TCloseAction::caNone: break;
  }
}

void TForm::Repaint() {
  if (HandleAllocated()) plat::RepaintWindow(Handle());
}

int ScreenPixelsPerInch() { return plat::ScreenPixelsPerInch(); }

bool TForm::IsMainForm() const {
  TFormApplication* App = FormsApplication();
  return App && App->MainForm() == this;
}

bool TForm::GetPlacement(TWindowPlacement& Placement) {
  plat::WindowPlacement P;
  if (!plat::GetWindowPlacement(Handle(), P)) return false;
  Placement = TWindowPlacement{P.Flags, P.ShowCmd, P.MinX, P.MinY, P.MaxX, P.MaxY,
                               TRect{P.NormLeft, P.NormTop, P.NormRight, P.NormBottom}};
  return true;
}

bool TForm::SetPlacement(const TWindowPlacement& Placement) {
  // Showing or activating from here would run the form's activation before
  // its showing, or before it is asked to show at all.
  const plat::WindowHandle Window = Handle();
  const std::uint32_t Keep = !plat::IsWindowVisible(Window) ? 0   // hidden
                             : plat::IsIconic(Window)        ? 7   // minimised, not activated
                             : plat::IsZoomed(Window)        ? 3   // maximised
                                                             : 4;  // normal, not activated
  const plat::WindowPlacement P{Placement.Flags, Keep, Placement.MinX, Placement.MinY, Placement.MaxX,
                                Placement.MaxY, Placement.Normal.Left, Placement.Normal.Top, Placement.Normal.Right,
                                Placement.Normal.Bottom};
  if (!plat::SetWindowPlacement(Window, P)) return false;
  // The window keeps its own record of where it is.
  const plat::Bounds Now = plat::GetWindowBounds(Handle());
  FBounds.Left = Now.Left;
  FBounds.Top = Now.Top;
  return true;
}

void TForm::KeepOnScreen() {
  constexpr long long ReachableWidth = 100, ReachableHeight = 40;
  const plat::Bounds Where = plat::GetWindowRectangle(Handle());
  const long long Right = static_cast<long long>(Where.Left) + Where.Width,
                  Bottom = static_cast<long long>(Where.Top) + Where.Height;
  for (const plat::Bounds& Area : plat::MonitorWorkAreas()) {
    const long long Wide = std::min(Right, static_cast<long long>(Area.Left) + Area.Width) -
                           std::max<long long>(Where.Left, Area.Left);
    const long long High = std::min(Bottom, static_cast<long long>(Area.Top) + Area.Height) -
                           std::max<long long>(Where.Top, Area.Top);
    if (Wide >= ReachableWidth && High >= ReachableHeight) return;
  }
  // Within the work area, its top-left corner first where it does not fit.
  const plat::Bounds Area = plat::NearestWorkArea(Where);
  const auto Into = [](long long At, long long Size, long long Start, long long Length) {
    return static_cast<int>(std::max(Start, std::min(At, Start + Length - Size)));
  };
  SetBounds(Into(Where.Left, Where.Width, Area.Left, Area.Width), Into(Where.Top, Where.Height, Area.Top, Area.Height),
            Width(), Height());
}

TWindowState TForm::WindowState() const {
  TFormApplication* App = FormsApplication();
  auto* Self = const_cast<TForm*>(this);
  if (App && App->MainForm() == this && plat::IsIconic(App->Handle())) return TWindowState::wsMinimized;
  if (!HandleAllocated()) return TWindowState::wsNormal;
  if (plat::IsIconic(Self->Handle())) return TWindowState::wsMinimized;
  return plat::IsZoomed(Self->Handle()) ? TWindowState::wsMaximized : TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState Value) {
  // The main form goes to the task bar with the application window, which
  // carries the button there.
  TFormApplication* App = FormsApplication();
  const bool Minimize = Value == TWindowState::wsMinimized;
  if (App && App->MainForm() == this && Value != TWindowState::wsMaximized) {
    if (Minimize) App->Minimize();
    else App->Restore();
    return;
  }
  plat::ShowWindow(Handle(), Minimize                                 ? plat::ShowCommand::Minimize
                             : Value == TWindowState::wsMaximized ? plat::ShowCommand::Maximize
                                                                  : plat::ShowCommand::Restore);
}

void TForm::DoCreate() {
  try {
    Fire(OnCreate, this);
  } catch (...) {
    HandleCurrentException(this);
  }
}

void TForm::DoDestroy() {
  RunHooks(&TFormHook::FormDestroying);
  try {
    Fire(OnDestroy, this);
  } catch (...) {
    HandleCurrentException(this);
  }
}

void TForm::Activate() { Fire(OnActivate, this); }

void TForm::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FActiveControl) FActiveControl = nullptr;
}

void TForm::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case plat::MsgActivate:
      if (plat::LowWord(Message.wParam) == plat::WaInactive) {
        // The control that had the focus gets it back when the form returns.
        if (TWinControl* Focused = FindChild(plat::GetFocus())) FActiveControl = Focused;
        DefaultHandler(Message);
        return;
      }
      // The system's own handling first: it gives the form the keyboard focus.
      DefaultHandler(Message);
      if (FActiveControl && FActiveControl->HandleAllocated() && FActiveControl->Enabled() &&
          FActiveControl->Visible()) {
        // The focus change is sent to the windows concerned, this one included.
        const auto Alive = AliveToken();
        plat::SetFocus(FActiveControl->Handle());
        if (!*Alive) return;
      }
      Activate();
      return;
    case plat::MsgClose:
      Close();
      Message.Result = 0;
      return;
    case plat::MsgPaint: {
      plat::PaintSession Session(Handle());
      PaintControls(Session.Surface());
      Message.Result = 0;
      return;
    }
    case plat::MsgEraseBackground:
      if (FBackgroundClear) {
        Message.Result = 1;
        return;
      }
      if (!FParentColor) {
        // A colour of its own instead of the class's button face.
        TCanvas Canvas(static_cast<plat::SurfaceHandle>(Message.wParam), 0, 0, Width(), Height());
        Canvas.FillRect(ClientRect(), Color());
        Message.Result = 1;
        return;
      }
      break;
    case plat::MsgMouseMove:
      FMouseX = plat::PointX(Message.lParam);
      FMouseY = plat::PointY(Message.lParam);
      [[fallthrough]];
    case plat::MsgLButtonDown:
    case plat::MsgLButtonUp:
    case plat::MsgLButtonDblClk:
    case plat::MsgRButtonDown:
    case plat::MsgRButtonUp:
      if (MouseToControls(Message)) {
        Message.Result = 0;
        return;
      }
      break;
    case plat::MsgSetCursor:
      if (plat::LowWord(static_cast<std::uintptr_t>(Message.lParam)) == plat::HitClient) {
        TControl* Under = ControlAtPos(FMouseX, FMouseY);
        if (Under && Under->Cursor() == TCursor::crHandPoint) {
          plat::SetCursor(plat::CursorShape::Hand);
          Message.Result = 1;
          return;
        }
      }
      break;
    case plat::MsgCommand:
      if (Message.lParam == 0 && plat::LowWord(Message.wParam) == plat::IdCancel) {
        DialogKey(plat::KeyEscape);
        Message.Result = 0;
        return;
      }
      if (TWinControl* Child = FindChild(static_cast<plat::WindowHandle>(Message.lParam))) {
        Child->CommandNotify(plat::HighWord(Message.wParam));
        Message.Result = 0;
        return;
      }
      break;
    case FormRelease:
      delete this;
      return;
    default:
      break;
  }
  DefaultHandler(Message);
}

// ---------------------------------------------------------------------------

TFormApplication::TFormApplication(TComponent* AOwner) : TApplication(AOwner) {}

TFormApplication::~TFormApplication() {
  for (int I = 0; I < ComponentCount(); ++I)
    if (auto* Form = dynamic_cast<TForm*>(Components(I))) Form->DoDestroy();
  DestroyComponents();
  FMainForm = nullptr;
  if (FHandle) plat::DestroyGuiWindow(FHandle);
}

plat::WindowHandle TFormApplication::Handle() {
  if (!FHandle) {
    FHandle = plat::CreateApplicationWindow(Title());
    if (!FHandle) throw EInvalidOperation("Cannot create the application window");
  }
  return FHandle;
}

void TFormApplication::SetTitle(const std::string& Value) {
  TApplication::SetTitle(Value);
  if (FHandle) plat::SetWindowText(FHandle, Value);
}

void TFormApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TApplication::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FMainForm) FMainForm = nullptr;
}

void TFormApplication::FormCreated(TForm* Form) {
  if (!FMainForm) FMainForm = Form;
  Form->DoCreate();
}

void TFormApplication::Run() {
  if (FMainForm && !Terminated()) {
    plat::ShowWindow(Handle(), plat::ShowCommand::ShowNoActivate);
    FMainForm->Show();
  }
  TApplication::Run();
}

bool TFormApplication::PreTranslateMessage(plat::Message& M) {
  if (M.Msg != plat::MsgKeyDown && M.Msg != plat::MsgChar) return false;
  const plat::WindowHandle Root = plat::GetRootWindow(M.Window);
  TForm* Form = nullptr;
  for (int I = 0; I < ComponentCount() && !Form; ++I) {
    auto* F = dynamic_cast<TForm*>(Components(I));
    if (F && F->HandleAllocated() && F->Handle() == Root) Form = F;
  }
  if (!Form) return false;
  if (M.Msg == plat::MsgKeyDown && Form->DialogKey(M.wParam)) return true;
  return plat::IsDialogMessage(Root, M);
}

void TFormApplication::Minimize() { plat::ShowWindow(Handle(), plat::ShowCommand::Minimize); }

void TFormApplication::Restore() { plat::ShowWindow(Handle(), plat::ShowCommand::Restore); }

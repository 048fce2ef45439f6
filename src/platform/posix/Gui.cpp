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
#include <utility>
#include <vector>

namespace plat {
namespace {

enum class Kind { Form, Application, PushButton, RadioButton, GlyphButton };

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
  bool Zoomed = false;
  WindowHandle LastActive = 0;  // the application window: its form active last
  FormBorder Border = FormBorder::Single;
  SystemRegion Region;
  std::uint32_t Color = 0;
  std::string Hint;
  bool Glyph = false;
  // What is painted: a pixel buffer of the client area, the texts drawn, and
  // whether a paint message is on its way and should erase first.
  std::vector<std::uint32_t> Pixels;
  std::vector<DrawnText> Texts;
  bool PaintPending = false;
  bool ErasePending = false;
};

const char* const FormClass = "DravinHeadlessForm";
const char* const ControlClass = "DravinHeadlessControl";
const char* const AppClass = "DravinHeadlessApplication";

std::recursive_mutex gLock;
std::map<std::string, WindowProc> gFormProcs;
std::map<WindowHandle, GuiRec> gGui;
WindowHandle gActive = 0;
WindowHandle gFocus = 0;
WindowHandle gCapture = 0;
// The one screen, all of it a work area: no task bar takes a part.
constexpr Bounds Screen{0, 0, 1280, 1024};
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
    // The system's default handling of the activation gives the window the
    // focus; its own handling may then pass it on to a control.
    gFocus = Window;
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
    gFocus = 0;
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
  if (gFocus == Window) gFocus = 0;
  if (gCapture == Window) gCapture = 0;
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
    if (!R || !R->Enabled || !R->Visible) return 0;
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

WindowHandle CreateFormWindow(const char* ClassName, const std::string& Caption, const Bounds& Where,
                              FormBorder Border, WindowHandle Owner) {
  GuiRec Rec;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    auto It = gFormProcs.find(Key(ClassName));
    if (It == gFormProcs.end()) return 0;
    Rec.UserProc = It->second;
  }
  Rec.K = Kind::Form;
  Rec.Border = Border;
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
  Rec.K = Kind == ControlKind::PushButton    ? Kind::PushButton
          : Kind == ControlKind::GlyphButton ? Kind::GlyphButton
                                             : Kind::RadioButton;
  Rec.Parent = Parent;
  Rec.Text = Text;
  Rec.Where = Where;
  Rec.Visible = true;
  return Make(ControlClass, std::move(Rec));
}

bool IsDialogMessage(WindowHandle, const Message&) { return false; }

WindowHandle GetRootWindow(WindowHandle Window) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  for (GuiRec* R = Find(Window); R && R->Parent; R = Find(Window)) Window = R->Parent;
  return Window;
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

Bounds GetWindowBounds(WindowHandle Window) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Window);
  return R ? R->Where : Bounds{};
}

void SetFormBorder(WindowHandle Window, FormBorder Border) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (GuiRec* R = Find(Window)) R->Border = Border;
}

void SetWindowRegion(WindowHandle Window, SystemRegion Region) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (GuiRec* R = Find(Window)) R->Region = std::move(Region);
}

std::vector<std::uint8_t> GetWindowRegionData(WindowHandle Window) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Window);
  return R ? R->Region.Data() : std::vector<std::uint8_t>();
}

void SetControlColor(WindowHandle Control, std::uint32_t Color) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (GuiRec* R = Find(Control)) R->Color = Color;
}

void SetControlHint(WindowHandle Control, const std::string& Hint) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (GuiRec* R = Find(Control)) R->Hint = Hint;
}

std::string GetControlHint(WindowHandle Control) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Control);
  return R ? R->Hint : std::string();
}

void SetButtonGlyph(WindowHandle Control, const PixelImage& Glyph) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (GuiRec* R = Find(Control)) R->Glyph = Glyph.Pixels && Glyph.Width > 0 && Glyph.Height > 0;
}

bool HasButtonGlyph(WindowHandle Control) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Control);
  return R && R->Glyph;
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
      case ShowCommand::Maximize: R->Visible = true; R->Iconic = false; R->Zoomed = true; break;
      case ShowCommand::Restore: R->Visible = true; R->Iconic = false; R->Zoomed = false; break;
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
    case ShowCommand::Maximize:
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

bool IsZoomed(WindowHandle Window) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Window);
  return R && R->Zoomed && !R->Iconic;
}

WindowHandle GetActiveWindow() {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  return gActive;
}

void SetFocus(WindowHandle Window) {
  WindowHandle Root = GetRootWindow(Window);
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    if (!Find(Window)) return;
  }
  if (GetActiveWindow() != Root) Activate(Root);
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (Find(Window)) gFocus = Window;
}

WindowHandle GetFocus() {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  return gFocus;
}

void RepaintWindow(WindowHandle Window) {
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    GuiRec* R = Find(Window);
    if (!R || !IsTopLevel(*R)) return;
    R->ErasePending = true;
    R->PaintPending = true;
  }
  SendMessage(Window, MsgPaint, 0, 0);
}

void InvalidateRect(WindowHandle Window, const Bounds&, bool Erase) {
  bool Post = false;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    GuiRec* R = Find(Window);
    if (!R || !IsTopLevel(*R)) return;
    R->ErasePending = R->ErasePending || Erase;
    Post = !R->PaintPending;
    R->PaintPending = true;
  }
  // One paint message stands for every part invalidated before it arrives.
  if (Post) PostMessage(Window, MsgPaint, 0, 0);
}

Bounds GetWindowRectangle(WindowHandle Window) { return GetWindowBounds(Window); }

std::vector<Bounds> MonitorWorkAreas() { return {Screen}; }

Bounds NearestWorkArea(const Bounds&) { return Screen; }

bool GetWindowPlacement(WindowHandle Window, WindowPlacement& Placement) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Window);
  if (!R) return false;
  Placement = WindowPlacement{};
  Placement.ShowCmd = R->Iconic ? 2 : R->Zoomed ? 3 : 1;
  Placement.NormLeft = R->Where.Left;
  Placement.NormTop = R->Where.Top;
  Placement.NormRight = R->Where.Left + R->Where.Width;
  Placement.NormBottom = R->Where.Top + R->Where.Height;
  return true;
}

bool SetWindowPlacement(WindowHandle Window, const WindowPlacement& Placement) {
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    GuiRec* R = Find(Window);
    if (!R) return false;
    R->Where = Bounds{Placement.NormLeft, Placement.NormTop, Placement.NormRight - Placement.NormLeft,
                      Placement.NormBottom - Placement.NormTop};
  }
  switch (Placement.ShowCmd) {
    case 0: ShowWindow(Window, ShowCommand::Hide); break;
    case 2:
    case 6:
    case 7: ShowWindow(Window, ShowCommand::Minimize); break;
    case 3: ShowWindow(Window, ShowCommand::Maximize); break;
    case 4: {
      std::lock_guard<std::recursive_mutex> Guard(gLock);
      if (GuiRec* R = Find(Window)) {
        R->Visible = true;
        R->Iconic = R->Zoomed = false;
      }
      break;
    }
    default: ShowWindow(Window, ShowCommand::Restore); break;
  }
  return true;
}

int ScreenPixelsPerInch() { return 96; }

bool DrawProgramIcon(const char*, std::uint32_t, int&, int&, std::vector<std::uint32_t>&) { return false; }

void SetCapture(WindowHandle Window) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  gCapture = Window;
}
void ReleaseCapture() {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  gCapture = 0;
}
WindowHandle GetCapture() {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  return gCapture;
}
void SetCursor(CursorShape) {}

void SetWindowFont(WindowHandle, const std::string&, int) {}

// ---------------------------------------------------------------------------
// Painting into the pixel buffer of a window. A surface is the window itself.

namespace {

// The buffer of a top-level window, sized to its client area. Under gLock.
std::vector<std::uint32_t>* Buffer(SurfaceHandle Surface, Bounds& Size) {
  GuiRec* R = Find(static_cast<WindowHandle>(Surface));
  if (!R || !IsTopLevel(*R) || R->Where.Width <= 0 || R->Where.Height <= 0) return nullptr;
  const std::size_t Needed = static_cast<std::size_t>(R->Where.Width) * static_cast<std::size_t>(R->Where.Height);
  if (R->Pixels.size() != Needed) R->Pixels.assign(Needed, 0);
  Size = Bounds{0, 0, R->Where.Width, R->Where.Height};
  return &R->Pixels;
}

std::uint32_t SourcePixel(const PixelImage& Image, int X, int Y) {
  const std::uint8_t* Row = Image.Pixels + static_cast<std::size_t>(Y) * Image.RowBytes;
  const std::uint8_t* P = nullptr;
  switch (Image.BitsPerPixel) {
    case 1:
    case 8: {
      const int Index = Image.BitsPerPixel == 1 ? (Row[X / 8] >> (7 - X % 8)) & 1 : Row[X];
      if (!Image.Palette || Index >= Image.PaletteCount) return 0;
      P = Image.Palette + 4 * Index;
      break;
    }
    case 24: P = Row + 3 * static_cast<std::size_t>(X); break;
    case 32: P = Row + 4 * static_cast<std::size_t>(X); break;
    default: return 0;
  }
  return static_cast<std::uint32_t>(P[2]) | static_cast<std::uint32_t>(P[1]) << 8 |
         static_cast<std::uint32_t>(P[0]) << 16;
}

}  // namespace

PaintSession::PaintSession(WindowHandle Window) : FWindow(Window) {
  bool Erase = false;
  {
    std::lock_guard<std::recursive_mutex> Guard(gLock);
    GuiRec* R = Find(Window);
    if (!R) return;
    Erase = R->ErasePending;
    R->ErasePending = false;
    R->PaintPending = false;
  }
  FSurface = static_cast<SurfaceHandle>(Window);
  if (Erase && !SendMessage(Window, MsgEraseBackground, static_cast<WParam>(FSurface), 0)) {
    const Bounds All = GetWindowBounds(Window);
    FillRect(FSurface, Bounds{0, 0, All.Width, All.Height}, ButtonFaceColor());
  }
}

PaintSession::~PaintSession() = default;

WindowSurface::WindowSurface(WindowHandle Window) : FWindow(Window), FSurface(static_cast<SurfaceHandle>(Window)) {}
WindowSurface::~WindowSurface() = default;

void StretchImage(SurfaceHandle Surface, const Bounds& Target, const PixelImage& Image, RasterOp Op) {
  if (!Image.Pixels || Image.Width <= 0 || Image.Height <= 0 || Target.Width <= 0 || Target.Height <= 0) return;
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  Bounds Size;
  std::vector<std::uint32_t>* Pixels = Buffer(Surface, Size);
  if (!Pixels) return;
  for (int Y = std::max(0, Target.Top); Y < std::min(Size.Height, Target.Top + Target.Height); ++Y) {
    const int SY = static_cast<int>(static_cast<long long>(Y - Target.Top) * Image.Height / Target.Height);
    for (int X = std::max(0, Target.Left); X < std::min(Size.Width, Target.Left + Target.Width); ++X) {
      const int SX = static_cast<int>(static_cast<long long>(X - Target.Left) * Image.Width / Target.Width);
      const std::uint32_t S = SourcePixel(Image, SX, SY);
      std::uint32_t& D = (*Pixels)[static_cast<std::size_t>(Y) * static_cast<std::size_t>(Size.Width) +
                                   static_cast<std::size_t>(X)];
      D = Op == RasterOp::Copy ? S : Op == RasterOp::And ? (D & S) : (D ^ S);
    }
  }
}

void FillRect(SurfaceHandle Surface, const Bounds& Part, std::uint32_t Color) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  Bounds Size;
  std::vector<std::uint32_t>* Pixels = Buffer(Surface, Size);
  if (!Pixels) return;
  for (int Y = std::max(0, Part.Top); Y < std::min(Size.Height, Part.Top + Part.Height); ++Y)
    for (int X = std::max(0, Part.Left); X < std::min(Size.Width, Part.Left + Part.Width); ++X)
      (*Pixels)[static_cast<std::size_t>(Y) * static_cast<std::size_t>(Size.Width) + static_cast<std::size_t>(X)] =
          Color;
}

void DrawText(SurfaceHandle Surface, int X, int Y, const Bounds&, const std::string& Text, const TextStyle& Style) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  if (GuiRec* R = Find(static_cast<WindowHandle>(Surface)); R && !Text.empty())
    R->Texts.push_back(DrawnText{X, Y, Text, Style.Color});
}

int TextWidth(SurfaceHandle, const std::string& Text, const TextStyle& Style) {
  return static_cast<int>(Text.size()) * Style.Height / 2;
}

std::vector<std::uint32_t> ReadPixels(SurfaceHandle Surface, const Bounds& Part) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  Bounds Size;
  std::vector<std::uint32_t>* Pixels = Buffer(Surface, Size);
  std::vector<std::uint32_t> Result;
  if (!Pixels) return Result;
  for (int Y = Part.Top; Y < Part.Top + Part.Height; ++Y)
    for (int X = Part.Left; X < Part.Left + Part.Width; ++X)
      Result.push_back(X >= 0 && Y >= 0 && X < Size.Width && Y < Size.Height
                           ? (*Pixels)[static_cast<std::size_t>(Y) * static_cast<std::size_t>(Size.Width) +
                                       static_cast<std::size_t>(X)]
                           : 0);
  return Result;
}

std::uint32_t ButtonFaceColor() { return 0x00F0F0F0; }
std::uint32_t ButtonHighlightColor() { return 0x00FFFFFF; }

std::vector<DrawnText> TakeDrawnTexts(WindowHandle Window) {
  std::lock_guard<std::recursive_mutex> Guard(gLock);
  GuiRec* R = Find(Window);
  return R ? std::exchange(R->Texts, {}) : std::vector<DrawnText>();
}

}  // namespace plat

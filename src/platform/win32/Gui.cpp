// Top-level windows and child controls on Windows.
//
// Form windows have a class of their own per form class, all served by one
// system procedure, FormThunk. The seam procedure travels in the creation
// parameter and lives in the second extra slot; the first slot is the user data
// of GetWindowData, as for hidden windows. Controls are windows of the system's
// own STATIC and BUTTON classes.
#include "platform/Gui.h"
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#undef SetWindowText
#undef GetWindowText
#undef IsDialogMessage
#undef SetCursor
#undef DrawText

#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

namespace plat {
namespace {

constexpr int UserDataSlot = 0;
constexpr int ProcSlot = sizeof(void*);
const wchar_t* const AppClassName = L"DravinApplication";
constexpr UINT AppPassActivation = WM_APP + 1;

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }
HWND H(WindowHandle Window) { return reinterpret_cast<HWND>(Window); }

std::mutex gClassLock;
std::map<std::wstring, WindowProc>& FormProcs() {
  static std::map<std::wstring, WindowProc> Procs;
  return Procs;
}

std::wstring ClassKey(const char* ClassName) {
  std::wstring Key = win32::Wide(ClassName);
  ::CharLowerBuffW(Key.data(), static_cast<DWORD>(Key.size()));
  return Key;
}

bool AnswerForControl(UINT Msg, WPARAM wParam, LPARAM lParam, LRESULT& Result);

LRESULT CALLBACK FormThunk(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(Window, ProcSlot, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  LRESULT Answer = 0;
  if (AnswerForControl(Msg, wParam, lParam, Answer)) return Answer;
  auto Proc = reinterpret_cast<WindowProc>(::GetWindowLongPtrW(Window, ProcSlot));
  if (!Proc) return ::DefWindowProcW(Window, Msg, wParam, lParam);
  return win32::CallCarrying(Proc, Window, Msg, wParam, lParam);
}

DWORD StyleOf(FormBorder Border) {
  // Pop-ups, captioned or not: only pop-ups follow their owner off the screen.
  switch (Border) {
    case FormBorder::Single: return WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    case FormBorder::Dialog: return WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    case FormBorder::None: break;
  }
  return WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;
}
DWORD ExStyleOf(FormBorder Border) { return Border == FormBorder::Dialog ? WS_EX_DLGMODALFRAME : 0; }

// The application window never shows itself: it is a task-bar button whose
// activation belongs to the form that was active last.
LRESULT CALLBACK AppProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_SETFOCUS:
      // Moving activation from inside the focus change would fight the system.
      ::PostMessageW(Window, AppPassActivation, 0, 0);
      break;
    case AppPassActivation:
      if (!::IsIconic(Window) && ::GetFocus() == Window) {
        HWND Last = ::GetLastActivePopup(Window);
        if (Last && Last != Window && ::IsWindowVisible(Last) && ::IsWindowEnabled(Last)) ::SetActiveWindow(Last);
      }
      return 0;
    // Owned windows go off the screen with the button and come back with it.
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        ::ShowOwnedPopups(Window, FALSE);
        ::ShowWindow(Window, SW_MINIMIZE);
        return 0;
      }
      if ((wParam & 0xFFF0) == SC_RESTORE) {
        ::ShowWindow(Window, SW_RESTORE);
        ::ShowOwnedPopups(Window, TRUE);
        return 0;
      }
      break;
    case WM_CLOSE: {
      // "Close" on the task bar closes the form, which decides what ends.
      HWND Last = ::GetLastActivePopup(Window);
      if (Last && Last != Window) ::PostMessageW(Last, WM_CLOSE, 0, 0);
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(Window, Msg, wParam, lParam);
}

bool RegisterAppClass() {
  static const bool Registered = [] {
    WNDCLASSEXW C{};
    C.cbSize = sizeof C;
    C.lpfnWndProc = AppProc;
    C.hInstance = Instance();
    C.hIcon = ::LoadIconW(Instance(), L"MAINICON");
    if (!C.hIcon) C.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    C.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    C.lpszClassName = AppClassName;
    return ::RegisterClassExW(&C) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return Registered;
}

// What the seam keeps for a control beyond the system's own state: the
// background of an option button, the hint, the picture of a glyph button.
struct ControlExtra {
  win32::DrawingObject Brush;
  std::uint32_t Color = 0;
  std::wstring Hint;
  int GlyphWidth = 0, GlyphHeight = 0;
  std::vector<std::uint32_t> Glyph;  // 0x00BBGGRR, rows top-down
};

std::mutex gExtraLock;
std::map<HWND, std::unique_ptr<ControlExtra>>& Extras() {
  static std::map<HWND, std::unique_ptr<ControlExtra>> Map;
  return Map;
}
ControlExtra* FindExtra(HWND Control) {
  auto It = Extras().find(Control);
  return It == Extras().end() ? nullptr : It->second.get();
}
ControlExtra& Extra(HWND Control) {
  auto& Slot = Extras()[Control];
  if (!Slot) Slot = std::make_unique<ControlExtra>();
  return *Slot;
}

// Draws Pixels at X, Y with the pixels of Key left out: the left-out part is
// masked white-on-black first, so that AND keeps the background there and XOR
// then adds the picture.
void DrawKeyed(HDC Dc, int X, int Y, int Width, int Height, const std::vector<std::uint32_t>& Pixels,
               std::uint32_t Key, bool Grey) {
  std::vector<std::uint32_t> Mask(Pixels.size()), Picture(Pixels.size());
  for (std::size_t I = 0; I < Pixels.size(); ++I) {
    std::uint32_t C = Pixels[I];
    const bool Out = C == Key;
    if (Grey && !Out) {
      // Disabled: dark pixels in the shadow colour, light ones left out.
      const unsigned Light = (C & 0xFF) * 30 + ((C >> 8) & 0xFF) * 59 + ((C >> 16) & 0xFF) * 11;
      if (Light >= 128 * 100) {
        Mask[I] = 0x00FFFFFF;
        Picture[I] = 0;
        continue;
      }
      C = ::GetSysColor(COLOR_BTNSHADOW);
    }
    Mask[I] = Out ? 0x00FFFFFF : 0;
    // DIB pixels are blue, green, red: swap from 0x00BBGGRR.
    Picture[I] = Out ? 0 : ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
  }
  const BITMAPINFO Info = win32::TopDown32(Width, Height);
  ::StretchDIBits(Dc, X, Y, Width, Height, 0, 0, Width, Height, Mask.data(), &Info, DIB_RGB_COLORS, SRCAND);
  ::StretchDIBits(Dc, X, Y, Width, Height, 0, 0, Width, Height, Picture.data(), &Info, DIB_RGB_COLORS, SRCINVERT);
}

// A glyph button as the framework's bitmap buttons look: a push button face,
// the picture left of the caption, the two centred together.
void DrawGlyphButton(const DRAWITEMSTRUCT& Item) {
  HDC Dc = Item.hDC;
  RECT R = Item.rcItem;
  const bool Pushed = (Item.itemState & ODS_SELECTED) != 0;
  const bool Disabled = (Item.itemState & ODS_DISABLED) != 0;
  ::DrawFrameControl(Dc, &R, DFC_BUTTON, DFCS_BUTTONPUSH | (Pushed ? DFCS_PUSHED : 0));
  const int Shift = Pushed ? 1 : 0;

  wchar_t Text[256] = {};
  const int Length = ::GetWindowTextW(Item.hwndItem, Text, 256);
  HGDIOBJ OldFont = ::SelectObject(Dc, reinterpret_cast<HFONT>(::SendMessageW(Item.hwndItem, WM_GETFONT, 0, 0)));
  SIZE TextSize{};
  if (Length > 0) ::GetTextExtentPoint32W(Dc, Text, Length, &TextSize);

  std::lock_guard<std::mutex> Guard(gExtraLock);
  const ControlExtra* E = FindExtra(Item.hwndItem);
  const int GlyphW = E ? E->GlyphWidth : 0, GlyphH = E ? E->GlyphHeight : 0;
  const int Spacing = GlyphW > 0 && Length > 0 ? 4 : 0;
  const int Total = GlyphW + Spacing + TextSize.cx;
  int X = (R.left + R.right - Total) / 2 + Shift;
  const int Mid = (R.top + R.bottom) / 2 + Shift;
  if (GlyphW > 0) {
    const std::uint32_t Key = E->Glyph[static_cast<std::size_t>(GlyphH - 1) * static_cast<std::size_t>(GlyphW)];
    DrawKeyed(Dc, X, Mid - GlyphH / 2, GlyphW, GlyphH, E->Glyph, Key, Disabled);
    X += GlyphW + Spacing;
  }
  if (Length > 0) {
    ::SetBkMode(Dc, TRANSPARENT);
    RECT T{X, Mid - TextSize.cy / 2, X + TextSize.cx, Mid - TextSize.cy / 2 + TextSize.cy};
    if (Disabled) {
      // The engraved look of disabled text.
      RECT Light = T;
      ::OffsetRect(&Light, 1, 1);
      ::SetTextColor(Dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
      ::DrawTextW(Dc, Text, Length, &Light, DT_SINGLELINE | DT_NOPREFIX);
      ::SetTextColor(Dc, ::GetSysColor(COLOR_BTNSHADOW));
    } else {
      ::SetTextColor(Dc, ::GetSysColor(COLOR_BTNTEXT));
    }
    ::DrawTextW(Dc, Text, Length, &T, DT_SINGLELINE | DT_NOPREFIX);
  }
  if (OldFont) ::SelectObject(Dc, OldFont);
  if (Item.itemState & ODS_FOCUS) {
    RECT F = R;
    ::InflateRect(&F, -4, -4);
    ::DrawFocusRect(Dc, &F);
  }
}

// What a form's controls ask of their parent before the form hears of it.
bool AnswerForControl(UINT Msg, WPARAM wParam, LPARAM lParam, LRESULT& Result) {
  if (Msg == WM_CTLCOLORSTATIC || Msg == WM_CTLCOLORBTN) {
    std::lock_guard<std::mutex> Guard(gExtraLock);
    ControlExtra* E = FindExtra(reinterpret_cast<HWND>(lParam));
    if (!E || !E->Brush.Valid()) return false;
    ::SetBkColor(reinterpret_cast<HDC>(wParam), E->Color);
    Result = reinterpret_cast<LRESULT>(E->Brush.Get());
    return true;
  }
  if (Msg == WM_DRAWITEM) {
    const auto* Item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (Item->CtlType != ODT_BUTTON) return false;
    DrawGlyphButton(*Item);
    Result = TRUE;
    return true;
  }
  return false;
}

// One tooltip window per form carries the hints of its controls.
HWND TooltipOf(HWND Form) {
  static std::map<HWND, HWND> Tips;
  auto It = Tips.find(Form);
  if (It != Tips.end() && ::IsWindow(It->second)) return It->second;
  static const bool Ready = [] {
    INITCOMMONCONTROLSEX Init{sizeof Init, ICC_WIN95_CLASSES};
    return ::InitCommonControlsEx(&Init) != 0;
  }();
  if (!Ready) return nullptr;
  HWND Tip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Form, nullptr, Instance(),
                               nullptr);
  Tips[Form] = Tip;
  return Tip;
}

}  // namespace

bool RegisterFormClass(const char* ClassName, WindowProc Proc) {
  const std::wstring Key = ClassKey(ClassName);
  std::lock_guard<std::mutex> Guard(gClassLock);
  auto It = FormProcs().find(Key);
  if (It != FormProcs().end()) return It->second == Proc;
  const std::wstring Name = win32::Wide(ClassName);
  WNDCLASSEXW C{};
  C.cbSize = sizeof C;
  C.style = CS_DBLCLKS;
  C.lpfnWndProc = FormThunk;
  C.cbWndExtra = 2 * sizeof(void*);
  C.hInstance = Instance();
  C.hIcon = ::LoadIconW(Instance(), L"MAINICON");
  if (!C.hIcon) C.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  C.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  C.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  C.lpszClassName = Name.c_str();
  if (!::RegisterClassExW(&C)) return false;
  FormProcs().emplace(Key, Proc);
  return true;
}

WindowHandle CreateFormWindow(const char* ClassName, const std::string& Caption, const Bounds& Client,
                              FormBorder Border, WindowHandle Owner) {
  WindowProc Proc = nullptr;
  {
    std::lock_guard<std::mutex> Guard(gClassLock);
    auto It = FormProcs().find(ClassKey(ClassName));
    if (It == FormProcs().end()) return 0;
    Proc = It->second;
  }
  const DWORD Style = StyleOf(Border), ExStyle = ExStyleOf(Border);
  RECT R{0, 0, Client.Width, Client.Height};
  ::AdjustWindowRectEx(&R, Style, FALSE, ExStyle);
  HWND Window = ::CreateWindowExW(ExStyle, win32::Wide(ClassName).c_str(), win32::Wide(Caption).c_str(), Style,
                                  Client.Left, Client.Top, R.right - R.left, R.bottom - R.top, H(Owner), nullptr,
                                  Instance(), reinterpret_cast<void*>(Proc));
  win32::RethrowPendingException();
  return reinterpret_cast<WindowHandle>(Window);
}

WindowHandle CreateApplicationWindow(const std::string& Title) {
  if (!RegisterAppClass()) return 0;
  // Zero-sized in the middle of the screen: only its task-bar button is seen.
  HWND Window = ::CreateWindowExW(0, AppClassName, win32::Wide(Title).c_str(),
                                  WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                                  ::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                                  nullptr, nullptr, Instance(), nullptr);
  return reinterpret_cast<WindowHandle>(Window);
}

WindowHandle CreateControl(WindowHandle Parent, ControlKind Kind, const std::string& Text, const Bounds& Where) {
  static std::uintptr_t NextId = 100;
  const wchar_t* Class = L"BUTTON";
  DWORD Style = WS_CHILD | WS_VISIBLE;
  switch (Kind) {
    case ControlKind::PushButton: Style |= BS_PUSHBUTTON | WS_TABSTOP; break;
    case ControlKind::GlyphButton: Style |= BS_OWNERDRAW | WS_TABSTOP; break;
    // Not the automatic kind: the framework keeps its group consistent itself.
    case ControlKind::RadioButton: Style |= BS_RADIOBUTTON | WS_TABSTOP; break;
  }
  HWND Window = ::CreateWindowExW(0, Class, win32::Wide(Text).c_str(), Style, Where.Left, Where.Top, Where.Width,
                                  Where.Height, H(Parent), reinterpret_cast<HMENU>(NextId++), Instance(), nullptr);
  win32::RethrowPendingException();
  return reinterpret_cast<WindowHandle>(Window);
}

bool IsDialogMessage(WindowHandle Form, const Message& Msg) {
  MSG M{reinterpret_cast<HWND>(Msg.Window), Msg.Msg, Msg.wParam, Msg.lParam, 0, {}};
  const BOOL Used = ::IsDialogMessageW(H(Form), &M);
  win32::RethrowPendingException();
  return Used != 0;
}

WindowHandle GetRootWindow(WindowHandle Window) {
  return reinterpret_cast<WindowHandle>(::GetAncestor(H(Window), GA_ROOT));
}

bool DestroyGuiWindow(WindowHandle Window) {
  {
    // The seam's extras of the window's controls go with them.
    std::lock_guard<std::mutex> Guard(gExtraLock);
    for (auto It = Extras().begin(); It != Extras().end();) {
      if (It->first == H(Window) || ::IsChild(H(Window), It->first)) It = Extras().erase(It);
      else ++It;
    }
  }
  const BOOL Ok = ::DestroyWindow(H(Window));
  win32::RethrowPendingException();
  return Ok != 0;
}

void SetWindowText(WindowHandle Window, const std::string& Text) {
  ::SetWindowTextW(H(Window), win32::Wide(Text).c_str());
  win32::RethrowPendingException();
}

std::string GetWindowText(WindowHandle Window) {
  const int Length = ::GetWindowTextLengthW(H(Window));
  std::vector<wchar_t> Buffer(static_cast<std::size_t>(Length) + 1);
  const int N = ::GetWindowTextW(H(Window), Buffer.data(), Length + 1);
  win32::RethrowPendingException();
  return win32::Narrow(Buffer.data(), N);
}

void EnableWindow(WindowHandle Window, bool Enabled) {
  ::EnableWindow(H(Window), Enabled ? TRUE : FALSE);
  win32::RethrowPendingException();
}

bool IsWindowEnabled(WindowHandle Window) { return ::IsWindowEnabled(H(Window)) != 0; }

void SetButtonCheck(WindowHandle Control, bool Checked) {
  ::SendMessageW(H(Control), BM_SETCHECK, Checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool GetButtonCheck(WindowHandle Control) { return ::SendMessageW(H(Control), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetWindowBounds(WindowHandle Window, const Bounds& Where) {
  HWND W = H(Window);
  const LONG_PTR Style = ::GetWindowLongPtrW(W, GWL_STYLE);
  if (Style & WS_CHILD) {
    ::MoveWindow(W, Where.Left, Where.Top, Where.Width, Where.Height, TRUE);
  } else {
    RECT R{0, 0, Where.Width, Where.Height};
    ::AdjustWindowRectEx(&R, static_cast<DWORD>(Style), FALSE, static_cast<DWORD>(::GetWindowLongPtrW(W, GWL_EXSTYLE)));
    ::MoveWindow(W, Where.Left, Where.Top, R.right - R.left, R.bottom - R.top, TRUE);
  }
  win32::RethrowPendingException();
}

void ShowWindow(WindowHandle Window, ShowCommand Command) {
  int Show = SW_SHOW;
  switch (Command) {
    case ShowCommand::Hide: Show = SW_HIDE; break;
    case ShowCommand::Show: Show = SW_SHOW; break;
    case ShowCommand::ShowNoActivate: Show = SW_SHOWNA; break;
    case ShowCommand::Minimize: Show = SW_MINIMIZE; break;
    case ShowCommand::Maximize: Show = SW_MAXIMIZE; break;
    case ShowCommand::Restore: Show = SW_RESTORE; break;
  }
  wchar_t Class[64] = {};
  ::GetClassNameW(H(Window), Class, 64);
  if (::lstrcmpW(Class, AppClassName) == 0 && (Show == SW_MINIMIZE || Show == SW_RESTORE)) {
    // The same way as from the task bar.
    ::SendMessageW(H(Window), WM_SYSCOMMAND, Show == SW_MINIMIZE ? SC_MINIMIZE : SC_RESTORE, 0);
  } else {
    ::ShowWindow(H(Window), Show);
  }
  win32::RethrowPendingException();
}

Bounds GetWindowBounds(WindowHandle Window) {
  RECT W{}, C{};
  ::GetWindowRect(H(Window), &W);
  ::GetClientRect(H(Window), &C);
  if (::GetWindowLongPtrW(H(Window), GWL_STYLE) & WS_CHILD) {
    POINT P{W.left, W.top};
    ::ScreenToClient(::GetParent(H(Window)), &P);
    return Bounds{P.x, P.y, W.right - W.left, W.bottom - W.top};
  }
  return Bounds{W.left, W.top, C.right, C.bottom};
}

void SetFormBorder(WindowHandle Window, FormBorder Border) {
  HWND W = H(Window);
  RECT Client{};
  ::GetClientRect(W, &Client);
  POINT Origin{0, 0};
  ::ClientToScreen(W, &Origin);
  const LONG_PTR Keep = ::GetWindowLongPtrW(W, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED | WS_MINIMIZE);
  const DWORD Style = StyleOf(Border) | static_cast<DWORD>(Keep), ExStyle = ExStyleOf(Border);
  ::SetWindowLongPtrW(W, GWL_STYLE, static_cast<LONG_PTR>(Style));
  ::SetWindowLongPtrW(W, GWL_EXSTYLE, static_cast<LONG_PTR>(ExStyle));
  RECT R = Client;
  ::AdjustWindowRectEx(&R, Style, FALSE, ExStyle);
  ::SetWindowPos(W, nullptr, Origin.x + R.left, Origin.y + R.top, R.right - R.left, R.bottom - R.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  win32::RethrowPendingException();
}

void SetWindowRegion(WindowHandle Window, SystemRegion Region) {
  // The window system owns the region once it has taken it.
  if (::SetWindowRgn(H(Window), reinterpret_cast<HRGN>(Region.Handle()), FALSE)) Region.Release();
  win32::RethrowPendingException();
}

std::vector<std::uint8_t> GetWindowRegionData(WindowHandle Window) {
  const SystemRegion Copy = SystemRegion::Rectangle(0, 0, 0, 0);
  const HRGN Handle = reinterpret_cast<HRGN>(Copy.Handle());
  std::vector<std::uint8_t> Data;
  if (Handle && ::GetWindowRgn(H(Window), Handle) != ERROR) {
    const DWORD Size = ::GetRegionData(Handle, 0, nullptr);
    Data.resize(Size);
    if (Size == 0 || ::GetRegionData(Handle, Size, reinterpret_cast<RGNDATA*>(Data.data())) != Size) Data.clear();
  }
  return Data;
}

void SetControlColor(WindowHandle Control, std::uint32_t Color) {
  {
    std::lock_guard<std::mutex> Guard(gExtraLock);
    ControlExtra& E = Extra(H(Control));
    E.Brush = win32::Own(::CreateSolidBrush(Color));
    E.Color = Color;
  }
  ::InvalidateRect(H(Control), nullptr, TRUE);
}

void SetControlHint(WindowHandle Control, const std::string& Hint) {
  HWND Tip = TooltipOf(::GetAncestor(H(Control), GA_ROOT));
  std::lock_guard<std::mutex> Guard(gExtraLock);
  ControlExtra& E = Extra(H(Control));
  if (Tip && !E.Hint.empty()) {
    TOOLINFOW Info{};
    Info.cbSize = TTTOOLINFOW_V1_SIZE;
    Info.hwnd = ::GetParent(H(Control));
    Info.uId = reinterpret_cast<UINT_PTR>(H(Control));
    ::SendMessageW(Tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&Info));
  }
  E.Hint = win32::Wide(Hint);
  if (Tip && !E.Hint.empty()) {
    TOOLINFOW Info{};
    Info.cbSize = TTTOOLINFOW_V1_SIZE;
    Info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    Info.hwnd = ::GetParent(H(Control));
    Info.uId = reinterpret_cast<UINT_PTR>(H(Control));
    Info.lpszText = E.Hint.data();
    ::SendMessageW(Tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&Info));
  }
}

std::string GetControlHint(WindowHandle Control) {
  std::lock_guard<std::mutex> Guard(gExtraLock);
  const ControlExtra* E = FindExtra(H(Control));
  return E ? win32::Narrow(E->Hint.c_str(), static_cast<int>(E->Hint.size())) : std::string();
}

void SetButtonGlyph(WindowHandle Control, const PixelImage& Glyph) {
  std::vector<std::uint32_t> Pixels;
  const bool Usable = Glyph.Pixels && Glyph.Width > 0 && Glyph.Height > 0 &&
                      (Glyph.BitsPerPixel == 24 || Glyph.BitsPerPixel == 32 ||
                       (Glyph.BitsPerPixel == 8 && Glyph.Palette));
  if (Usable) {
    Pixels.resize(static_cast<std::size_t>(Glyph.Width) * static_cast<std::size_t>(Glyph.Height));
    for (int Y = 0; Y < Glyph.Height; ++Y) {
      const std::uint8_t* Row = Glyph.Pixels + static_cast<std::size_t>(Y) * Glyph.RowBytes;
      for (int X = 0; X < Glyph.Width; ++X) {
        const std::uint8_t* P = Glyph.BitsPerPixel == 8 ? Glyph.Palette + 4 * std::size_t{Row[X]}
                                                        : Row + static_cast<std::size_t>(X) * (Glyph.BitsPerPixel / 8);
        if (Glyph.BitsPerPixel == 8 && Row[X] >= Glyph.PaletteCount) P = nullptr;
        Pixels[static_cast<std::size_t>(Y) * static_cast<std::size_t>(Glyph.Width) + static_cast<std::size_t>(X)] =
            P ? static_cast<std::uint32_t>(P[2]) | static_cast<std::uint32_t>(P[1]) << 8 |
                    static_cast<std::uint32_t>(P[0]) << 16
              : 0;
      }
    }
  }
  {
    std::lock_guard<std::mutex> Guard(gExtraLock);
    ControlExtra& E = Extra(H(Control));
    E.Glyph = std::move(Pixels);
    E.GlyphWidth = Usable ? Glyph.Width : 0;
    E.GlyphHeight = Usable ? Glyph.Height : 0;
  }
  ::InvalidateRect(H(Control), nullptr, TRUE);
}

bool HasButtonGlyph(WindowHandle Control) {
  std::lock_guard<std::mutex> Guard(gExtraLock);
  const ControlExtra* E = FindExtra(H(Control));
  return E && E->GlyphWidth > 0;
}

bool IsWindowVisible(WindowHandle Window) { return ::IsWindowVisible(H(Window)) != 0; }

bool IsIconic(WindowHandle Window) { return ::IsIconic(H(Window)) != 0; }

bool IsZoomed(WindowHandle Window) { return ::IsZoomed(H(Window)) != 0; }

WindowHandle GetActiveWindow() { return reinterpret_cast<WindowHandle>(::GetActiveWindow()); }

void SetFocus(WindowHandle Window) {
  ::SetFocus(H(Window));
  win32::RethrowPendingException();
}

WindowHandle GetFocus() { return reinterpret_cast<WindowHandle>(::GetFocus()); }

void RepaintWindow(WindowHandle Window) {
  ::RedrawWindow(H(Window), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  win32::RethrowPendingException();
}

void InvalidateRect(WindowHandle Window, const Bounds& Part, bool Erase) {
  const RECT R{Part.Left, Part.Top, Part.Left + Part.Width, Part.Top + Part.Height};
  ::InvalidateRect(H(Window), &R, Erase ? TRUE : FALSE);
}

Bounds GetWindowRectangle(WindowHandle Window) {
  RECT R{};
  ::GetWindowRect(H(Window), &R);
  return Bounds{R.left, R.top, R.right - R.left, R.bottom - R.top};
}

namespace {
Bounds WorkAreaOf(HMONITOR Monitor) {
  MONITORINFO Info{};
  Info.cbSize = sizeof Info;
  if (!Monitor || !::GetMonitorInfoW(Monitor, &Info)) return Bounds{};
  return Bounds{Info.rcWork.left, Info.rcWork.top, Info.rcWork.right - Info.rcWork.left,
                Info.rcWork.bottom - Info.rcWork.top};
}
BOOL CALLBACK CollectWorkArea(HMONITOR Monitor, HDC, LPRECT, LPARAM Data) {
  reinterpret_cast<std::vector<Bounds>*>(Data)->push_back(WorkAreaOf(Monitor));
  return TRUE;
}
}  // namespace

std::vector<Bounds> MonitorWorkAreas() {
  std::vector<Bounds> Areas;
  ::EnumDisplayMonitors(nullptr, nullptr, CollectWorkArea, reinterpret_cast<LPARAM>(&Areas));
  return Areas;
}

Bounds NearestWorkArea(const Bounds& Rect) {
  const RECT R{Rect.Left, Rect.Top, Rect.Left + Rect.Width, Rect.Top + Rect.Height};
  return WorkAreaOf(::MonitorFromRect(&R, MONITOR_DEFAULTTONEAREST));
}

bool GetWindowPlacement(WindowHandle Window, WindowPlacement& Placement) {
  WINDOWPLACEMENT P{};
  P.length = sizeof P;
  if (!::GetWindowPlacement(H(Window), &P)) return false;
  Placement.Flags = P.flags;
  Placement.ShowCmd = P.showCmd;
  Placement.MinX = P.ptMinPosition.x;
  Placement.MinY = P.ptMinPosition.y;
  Placement.MaxX = P.ptMaxPosition.x;
  Placement.MaxY = P.ptMaxPosition.y;
  Placement.NormLeft = P.rcNormalPosition.left;
  Placement.NormTop = P.rcNormalPosition.top;
  Placement.NormRight = P.rcNormalPosition.right;
  Placement.NormBottom = P.rcNormalPosition.bottom;
  return true;
}

bool SetWindowPlacement(WindowHandle Window, const WindowPlacement& Placement) {
  WINDOWPLACEMENT P{};
  P.length = sizeof P;
  P.flags = Placement.Flags;
  P.showCmd = Placement.ShowCmd;
  P.ptMinPosition = POINT{Placement.MinX, Placement.MinY};
  P.ptMaxPosition = POINT{Placement.MaxX, Placement.MaxY};
  P.rcNormalPosition = RECT{Placement.NormLeft, Placement.NormTop, Placement.NormRight, Placement.NormBottom};
  const BOOL Ok = ::SetWindowPlacement(H(Window), &P);
  win32::RethrowPendingException();
  return Ok != 0;
}

int ScreenPixelsPerInch() {
  HDC Screen = ::GetDC(nullptr);
  const int Dpi = ::GetDeviceCaps(Screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, Screen);
  return Dpi;
}

bool DrawProgramIcon(const char* Name, std::uint32_t Background, int& Width, int& Height,
                     std::vector<std::uint32_t>& Pixels) {
  HICON Icon = ::LoadIconW(Instance(), win32::Wide(Name).c_str());
  if (!Icon) return false;
  ICONINFO Info{};
  if (!::GetIconInfo(Icon, &Info)) return false;
  // The icon's pictures are copies made for us.
  const win32::DrawingObject Colour = win32::Own(Info.hbmColor), Mask = win32::Own(Info.hbmMask);
  BITMAP B{};
  ::GetObjectW(Info.hbmColor ? Info.hbmColor : Info.hbmMask, sizeof B, &B);
  Width = B.bmWidth;
  Height = Info.hbmColor ? B.bmHeight : B.bmHeight / 2;
  if (Width <= 0 || Height <= 0) return false;

  HDC Screen = ::GetDC(nullptr);
  const win32::MemoryDC Memory = win32::OwnDC(::CreateCompatibleDC(Screen));
  ::ReleaseDC(nullptr, Screen);
  const BITMAPINFO Bi = win32::TopDown32(Width, Height);
  void* Bits = nullptr;
  const win32::DrawingObject Section =
      win32::Own(::CreateDIBSection(Memory.Get(), &Bi, DIB_RGB_COLORS, &Bits, nullptr, 0));
  if (!Section.Valid() || !Bits) return false;
  HGDIOBJ Old = ::SelectObject(Memory.Get(), Section.Get());
  {
    const win32::DrawingObject Brush = win32::Own(::CreateSolidBrush(Background));
    RECT R{0, 0, Width, Height};
    ::FillRect(Memory.Get(), &R, static_cast<HBRUSH>(Brush.Get()));
  }
  ::DrawIconEx(Memory.Get(), 0, 0, Icon, Width, Height, 0, nullptr, DI_NORMAL);
  ::GdiFlush();
  Pixels = win32::ColorsOf(Bits, static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height));
  ::SelectObject(Memory.Get(), Old);
  return true;
}

void SetCapture(WindowHandle Window) { ::SetCapture(H(Window)); }
void ReleaseCapture() { ::ReleaseCapture(); }
WindowHandle GetCapture() { return reinterpret_cast<WindowHandle>(::GetCapture()); }

void SetCursor(CursorShape Shape) {
  ::SetCursor(::LoadCursorW(nullptr, Shape == CursorShape::Hand ? reinterpret_cast<LPCWSTR>(IDC_HAND)
                                                                : reinterpret_cast<LPCWSTR>(IDC_ARROW)));
}

void SetWindowFont(WindowHandle Window, const std::string& Face, int Height) {
  HFONT Font = win32::FontFor(Face, Height, false);
  if (Font) ::SendMessageW(H(Window), WM_SETFONT, reinterpret_cast<WPARAM>(Font), TRUE);
  win32::RethrowPendingException();
}

}  // namespace plat

// Top-level windows and child controls on Windows.
//
// Form windows have a class of their own per form class, all served by one
// system procedure, FormThunk. The seam procedure travels in the creation
// parameter and lives in the second extra slot; the first slot is the user data
// of GetWindowData, as for hidden windows. Controls are windows of the system's
// own STATIC and BUTTON classes.
#include "platform/Gui.h"
#include "platform/win32/WinApi.h"

#undef SetWindowText
#undef GetWindowText

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

LRESULT CALLBACK FormThunk(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(Window, ProcSlot, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  auto Proc = reinterpret_cast<WindowProc>(::GetWindowLongPtrW(Window, ProcSlot));
  if (!Proc) return ::DefWindowProcW(Window, Msg, wParam, lParam);
  return win32::CallCarrying(Proc, Window, Msg, wParam, lParam);
}

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

// Fonts live as long as the process: windows keep using a font they were given.
struct FontOwner {
  HFONT Font = nullptr;
  explicit FontOwner(HFONT F) : Font(F) {}
  ~FontOwner() {
    if (Font) ::DeleteObject(Font);
  }
  FontOwner(const FontOwner&) = delete;
  FontOwner& operator=(const FontOwner&) = delete;
};

HFONT FontFor(const std::string& Face, int Height) {
  static std::mutex Lock;
  static std::map<std::pair<std::string, int>, std::unique_ptr<FontOwner>> Fonts;
  std::lock_guard<std::mutex> Guard(Lock);
  auto& Slot = Fonts[{Face, Height}];
  if (!Slot) {
    const std::wstring WideFace = win32::Wide(Face).substr(0, LF_FACESIZE - 1);
    Slot = std::make_unique<FontOwner>(::CreateFontW(-Height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                                     SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, WideFace.c_str()));
  }
  return Slot->Font;
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
  // Pop-ups, captioned or not: only pop-ups follow their owner off the screen.
  const DWORD Style = Border == FormBorder::Single ? WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX
                                                   : WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT R{0, 0, Client.Width, Client.Height};
  ::AdjustWindowRectEx(&R, Style, FALSE, 0);
  HWND Window = ::CreateWindowExW(0, win32::Wide(ClassName).c_str(), win32::Wide(Caption).c_str(), Style,
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
  const wchar_t* Class = Kind == ControlKind::Label ? L"STATIC" : L"BUTTON";
  DWORD Style = WS_CHILD | WS_VISIBLE;
  switch (Kind) {
    case ControlKind::Label: Style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX; break;
    case ControlKind::PushButton: Style |= BS_PUSHBUTTON | WS_TABSTOP; break;
    // Not the automatic kind: the framework keeps its group consistent itself.
    case ControlKind::RadioButton: Style |= BS_RADIOBUTTON | WS_TABSTOP; break;
  }
  HWND Window = ::CreateWindowExW(0, Class, win32::Wide(Text).c_str(), Style, Where.Left, Where.Top, Where.Width,
                                  Where.Height, H(Parent), reinterpret_cast<HMENU>(NextId++), Instance(), nullptr);
  win32::RethrowPendingException();
  return reinterpret_cast<WindowHandle>(Window);
}

bool DestroyGuiWindow(WindowHandle Window) {
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

bool IsWindowVisible(WindowHandle Window) { return ::IsWindowVisible(H(Window)) != 0; }

bool IsIconic(WindowHandle Window) { return ::IsIconic(H(Window)) != 0; }

WindowHandle GetActiveWindow() { return reinterpret_cast<WindowHandle>(::GetActiveWindow()); }

void RepaintWindow(WindowHandle Window) {
  ::RedrawWindow(H(Window), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  win32::RethrowPendingException();
}

void SetWindowFont(WindowHandle Window, const std::string& Face, int Height) {
  HFONT Font = FontFor(Face, Height);
  if (Font) ::SendMessageW(H(Window), WM_SETFONT, reinterpret_cast<WPARAM>(Font), TRUE);
  win32::RethrowPendingException();
}

}  // namespace plat

// Hidden windows, posted messages, timers and the wait, on Windows.
//
// Every class registered here gets the same system window procedure, Thunk. A
// window keeps its seam procedure in GWLP_USERDATA and its user data in the one
// pointer-size extra slot. C++ exceptions must never unwind through the
// system's frames (x64 Windows may swallow them there), so Thunk catches them
// and the seam call that let the system dispatch rethrows them afterwards.
#include "platform/Platform.h"
#include "platform/win32/WinApi.h"

#include <exception>
#include <new>
#include <vector>

namespace plat {
namespace {

thread_local std::exception_ptr gPending;

void RethrowPending() { win32::RethrowPendingException(); }

LRESULT CALLBACK Thunk(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto Proc = reinterpret_cast<WindowProc>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (!Proc) return ::DefWindowProcW(Window, Msg, wParam, lParam);
  return win32::CallCarrying(Proc, Window, Msg, wParam, lParam);
}

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

MSG ToMsg(const Message& M) {
  MSG R{};
  R.hwnd = reinterpret_cast<HWND>(M.Window);
  R.message = M.Msg;
  R.wParam = M.wParam;
  R.lParam = M.lParam;
  return R;
}

Message FromMsg(const MSG& R) { return Message{reinterpret_cast<WindowHandle>(R.hwnd), R.message, R.wParam, R.lParam}; }

// The seam procedure of each class, looked up when a window of the class is
// made. Classes are few, so a list searched from the front will do; it grows
// with every class registered.
struct ClassProc {
  std::wstring Name;
  WindowProc Proc;
};
std::vector<ClassProc> gClassProcs;
SRWLOCK gClassLock = SRWLOCK_INIT;

WindowProc ProcOfClass(const std::wstring& Name) {
  ::AcquireSRWLockShared(&gClassLock);
  WindowProc Result = nullptr;
  for (const ClassProc& C : gClassProcs)
    if (::lstrcmpiW(C.Name.c_str(), Name.c_str()) == 0) Result = C.Proc;
  ::ReleaseSRWLockShared(&gClassLock);
  return Result;
}

}  // namespace

void win32::KeepPendingException(std::exception_ptr E) {
  if (!gPending) gPending = E;
}

LRESULT win32::CallCarrying(WindowProc Proc, HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  try {
    return Proc(reinterpret_cast<WindowHandle>(Window), Msg, wParam, lParam);
  } catch (...) {
    KeepPendingException(std::current_exception());
    return 0;
  }
}

void win32::RethrowPendingException() {
  if (gPending) {
    std::exception_ptr E = gPending;
    gPending = nullptr;
    std::rethrow_exception(E);
  }
}

bool RegisterWindowClass(const char* ClassName, WindowProc Proc) {
  const std::wstring Name = win32::Wide(ClassName);
  WNDCLASSEXW C{};
  C.cbSize = sizeof C;
  C.lpfnWndProc = Thunk;
  C.cbWndExtra = sizeof(void*);
  C.hInstance = Instance();
  C.lpszClassName = Name.c_str();
  if (!::RegisterClassExW(&C)) return false;
  ::AcquireSRWLockExclusive(&gClassLock);
  bool Stored = false;
  for (ClassProc& Known : gClassProcs) {
    if (::lstrcmpiW(Known.Name.c_str(), Name.c_str()) == 0) {
      Known.Proc = Proc;  // registered again after it was unregistered
      Stored = true;
      break;
    }
  }
  bool Kept = true;
  if (!Stored) {
    try {
      gClassProcs.push_back(ClassProc{Name, Proc});
    } catch (const std::bad_alloc&) {
      Kept = false;
    }
  }
  ::ReleaseSRWLockExclusive(&gClassLock);
  // A class whose procedure is not known could make no window.
  if (!Kept) ::UnregisterClassW(Name.c_str(), Instance());
  return Kept;
}

bool IsWindowClassRegistered(const char* ClassName) {
  WNDCLASSEXW C{};
  C.cbSize = sizeof C;
  return ::GetClassInfoExW(Instance(), win32::Wide(ClassName).c_str(), &C) != 0;
}

bool UnregisterWindowClass(const char* ClassName) {
  return ::UnregisterClassW(win32::Wide(ClassName).c_str(), Instance()) != 0;
}

WindowHandle CreateHiddenWindow(const char* ClassName) {
  const std::wstring Name = win32::Wide(ClassName);
  WindowProc Proc = ProcOfClass(Name);
  if (!Proc) return 0;
  HWND Window = ::CreateWindowExW(WS_EX_TOOLWINDOW, Name.c_str(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  Instance(), nullptr);
  if (!Window) return 0;
  ::SetWindowLongPtrW(Window, 0, 0);
  ::SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Proc));
  return reinterpret_cast<WindowHandle>(Window);
}

bool DestroyWindow(WindowHandle Window) {
  BOOL Ok = ::DestroyWindow(reinterpret_cast<HWND>(Window));
  RethrowPending();
  return Ok != 0;
}

bool IsWindow(WindowHandle Window) { return ::IsWindow(reinterpret_cast<HWND>(Window)) != 0; }

void SetWindowData(WindowHandle Window, void* Data) {
  ::SetWindowLongPtrW(reinterpret_cast<HWND>(Window), 0, reinterpret_cast<LONG_PTR>(Data));
}

void* GetWindowData(WindowHandle Window) {
  return reinterpret_cast<void*>(::GetWindowLongPtrW(reinterpret_cast<HWND>(Window), 0));
}

LResult DefWindowProc(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam lParam) {
  return ::DefWindowProcW(reinterpret_cast<HWND>(Window), Msg, wParam, lParam);
}

bool PostMessage(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam lParam) {
  return ::PostMessageW(reinterpret_cast<HWND>(Window), Msg, wParam, lParam) != 0;
}

LResult SendMessage(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam lParam) {
  LRESULT R = ::SendMessageW(reinterpret_cast<HWND>(Window), Msg, wParam, lParam);
  RethrowPending();
  return R;
}

void PostQuitMessage(int ExitCode) { ::PostQuitMessage(ExitCode); }

bool PeekMessage(Message& M, bool Remove) {
  MSG R;
  BOOL Got = ::PeekMessageW(&R, nullptr, 0, 0, Remove ? PM_REMOVE : PM_NOREMOVE);
  RethrowPending();  // sent messages are delivered inside the call
  if (!Got) return false;
  M = FromMsg(R);
  return true;
}

bool PeekMessage(Message& M, WindowHandle Window, std::uint32_t First, std::uint32_t Last, bool Remove) {
  MSG R;
  BOOL Got = ::PeekMessageW(&R, reinterpret_cast<HWND>(Window), First, Last, Remove ? PM_REMOVE : PM_NOREMOVE);
  RethrowPending();
  if (!Got) return false;
  M = FromMsg(R);
  return true;
}

bool GetMessage(Message& M) {
  MSG R;
  BOOL Got = ::GetMessageW(&R, nullptr, 0, 0);
  RethrowPending();
  if (Got == -1) {
    M = Message{0, MsgQuit, 0, 0};
    return false;
  }
  M = FromMsg(R);
  return Got != 0;
}

void WaitMessage() {
  ::WaitMessage();
  RethrowPending();
}

LResult DispatchMessage(const Message& M) {
  MSG R = ToMsg(M);
  LRESULT Result = ::DispatchMessageW(&R);
  RethrowPending();
  return Result;
}

void TranslateMessage(const Message& M) {
  MSG R = ToMsg(M);
  ::TranslateMessage(&R);
}

bool SetTimer(WindowHandle Window, std::uintptr_t Id, std::uint32_t Milliseconds) {
  return ::SetTimer(reinterpret_cast<HWND>(Window), Id, Milliseconds, nullptr) != 0;
}

bool KillTimer(WindowHandle Window, std::uintptr_t Id) {
  return ::KillTimer(reinterpret_cast<HWND>(Window), Id) != 0;
}

void Sleep(std::uint32_t Milliseconds) { ::Sleep(Milliseconds); }

std::uint64_t TickCount() { return ::GetTickCount64(); }

}  // namespace plat

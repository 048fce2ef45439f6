// Looks at dravin.exe's main window from outside, through the system alone, as
// any other program could: the end-to-end test and the demo use it.
//
//   dravin_probe wait [ms]   waits until a window of class TFormDravin exists
//   dravin_probe dump        prints the caption and every control (UTF-8)
//   dravin_probe close       posts WM_CLOSE to the window
//   dravin_probe where       prints the window's screen rectangle and the
//                            screen position of its client area's origin
//   dravin_probe region      prints the window's region data in hexadecimal
//                            ("none" when the window has no region)
//   dravin_probe click N     clicks the N-th control (creation order) as the
//                            mouse would (BM_CLICK)
//   dravin_probe key N VK    posts the key VK, down and up, to the N-th control
//   dravin_probe focus       prints the kind and text of the window that has
//                            the keyboard focus in the window's thread
//                            ("none" when none has it)
//
// A first argument "-c CLASS" looks at the window of that class instead.
// Exit code 0 on success, 1 when there is no such window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::wstring gClass = L"TFormDravin";
HWND Find() { return ::FindWindowW(gClass.c_str(), nullptr); }

struct Nth {
  int Wanted, Seen = 0;
  HWND Found = nullptr;
};
BOOL CALLBACK FindNth(HWND W, LPARAM P) {
  auto* N = reinterpret_cast<Nth*>(P);
  if (N->Seen++ == N->Wanted) {
    N->Found = W;
    return FALSE;
  }
  return TRUE;
}
HWND Child(HWND Form, int Index) {
  Nth N{Index};
  ::EnumChildWindows(Form, FindNth, reinterpret_cast<LPARAM>(&N));
  return N.Found;
}

std::string Utf8(const std::wstring& Text) {
  if (Text.empty()) return std::string();
  int N = ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0, nullptr, nullptr);
  std::string R(static_cast<std::size_t>(N), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), R.data(), N, nullptr, nullptr);
  return R;
}

std::wstring Text(HWND W) {
  wchar_t Buffer[512] = {};
  ::GetWindowTextW(W, Buffer, 512);
  return Buffer;
}

std::wstring ClassOf(HWND W) {
  wchar_t Buffer[128] = {};
  ::GetClassNameW(W, Buffer, 128);
  return Buffer;
}

BOOL CALLBACK DumpChild(HWND W, LPARAM) {
  const LONG Style = ::GetWindowLongW(W, GWL_STYLE);
  const std::wstring Class = ClassOf(W);
  std::string Kind = Utf8(Class);
  if (::lstrcmpiW(Class.c_str(), L"BUTTON") == 0) Kind = (Style & 0x0F) == BS_RADIOBUTTON ? "radio" : "button";
  if (::lstrcmpiW(Class.c_str(), L"STATIC") == 0) Kind = "label";
  RECT R;
  ::GetWindowRect(W, &R);
  POINT P{R.left, R.top};
  ::ScreenToClient(::GetParent(W), &P);
  std::printf("%s|%s|%s|%s|%ld,%ld,%ld,%ld\n", Kind.c_str(), Utf8(Text(W)).c_str(),
              ::IsWindowEnabled(W) ? "enabled" : "disabled",
              Kind == "radio" ? (::SendMessageW(W, BM_GETCHECK, 0, 0) == BST_CHECKED ? "checked" : "unchecked") : "-",
              P.x, P.y, R.right - R.left, R.bottom - R.top);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "-c") {
    gClass.assign(argv[2], argv[2] + std::strlen(argv[2]));
    argc -= 2;
    argv += 2;
  }
  const std::string Command = argc > 1 ? argv[1] : "";
  if (Command == "wait") {
    const DWORD Limit = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : 10000;
    const ULONGLONG Start = ::GetTickCount64();
    while (!Find()) {
      if (::GetTickCount64() - Start > Limit) return 1;
      ::Sleep(50);
    }
    return 0;
  }
  HWND Form = Find();
  if (!Form) return 1;
  if (Command == "dump") {
    RECT C;
    ::GetClientRect(Form, &C);
    std::printf("form|%s|%s|%s|%ld,%ld\n", Utf8(Text(Form)).c_str(), ::IsWindowVisible(Form) ? "visible" : "hidden",
                ::IsIconic(Form) ? "iconic" : "normal", C.right, C.bottom);
    ::EnumChildWindows(Form, DumpChild, 0);
    return 0;
  }
  if (Command == "close") return ::PostMessageW(Form, WM_CLOSE, 0, 0) ? 0 : 1;
  if (Command == "where") {
    RECT W;
    ::GetWindowRect(Form, &W);
    POINT Origin{0, 0};
    ::ClientToScreen(Form, &Origin);
    std::printf("%ld,%ld,%ld,%ld %ld,%ld\n", W.left, W.top, W.right, W.bottom, Origin.x, Origin.y);
    return 0;
  }
  if (Command == "region") {
    HRGN R = ::CreateRectRgn(0, 0, 0, 0);
    if (::GetWindowRgn(Form, R) == ERROR) {
      std::printf("none\n");
    } else {
      const DWORD Size = ::GetRegionData(R, 0, nullptr);
      std::string Bytes(Size, '\0');
      ::GetRegionData(R, Size, reinterpret_cast<RGNDATA*>(Bytes.data()));
      for (unsigned char C : Bytes) std::printf("%02x", C);
      std::printf("\n");
    }
    ::DeleteObject(R);
    return 0;
  }
  if (Command == "focus") {
    GUITHREADINFO Info{};
    Info.cbSize = sizeof Info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(Form, nullptr), &Info) || !Info.hwndFocus) {
      std::printf("none\n");
      return 0;
    }
    const std::wstring Class = ClassOf(Info.hwndFocus);
    std::printf("%s|%s\n", Info.hwndFocus == Form ? "form" : Utf8(Class).c_str(), Utf8(Text(Info.hwndFocus)).c_str());
    return 0;
  }
  if (Command == "click" && argc > 2) {
    HWND C = Child(Form, std::atoi(argv[2]));
    return C && ::PostMessageW(C, BM_CLICK, 0, 0) ? 0 : 1;
  }
  if (Command == "key" && argc > 3) {
    HWND C = Child(Form, std::atoi(argv[2]));
    const WPARAM Key = static_cast<WPARAM>(std::atoi(argv[3]));
    return C && ::PostMessageW(C, WM_KEYDOWN, Key, 1) && ::PostMessageW(C, WM_KEYUP, Key, 0xC0000001) ? 0 : 1;
  }
  std::fprintf(stderr,
               "usage: dravin_probe [-c CLASS] wait [ms] | dump | close | where | region | click N | key N VK | focus\n");
  return 2;
}

// Looks at dravin.exe's main window from outside, through the system alone, as
// any other program could: the end-to-end test and the demo use it.
//
//   dravin_probe wait [ms]   waits until a window of class TFormDravin exists
//   dravin_probe dump        prints the caption and every control (UTF-8)
//   dravin_probe close       posts WM_CLOSE to the window
//
// Exit code 0 on success, 1 when there is no such window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HWND Find() { return ::FindWindowW(L"TFormDravin", nullptr); }

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
  std::fprintf(stderr, "usage: dravin_probe wait [ms] | dump | close\n");
  return 2;
}

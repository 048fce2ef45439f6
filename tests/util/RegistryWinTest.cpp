// The browser's proxy settings read from the real registry (Wine's, in the
// test prefix). The values are written here and put back as they were, the
// absent ones removed again, whatever the outcome.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "util/SystemSettings.h"

namespace {

const wchar_t* const InternetSettings = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t* const Main = L"Software\\Microsoft\\Internet Explorer\\Main";

// One registry value, saved when made and restored when destroyed.
class SavedValue {
 public:
  SavedValue(const wchar_t* Key, const wchar_t* Name) : FName(Name) {
    ::RegCreateKeyExW(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &FKey, nullptr);
    DWORD Size = 0;
    if (::RegQueryValueExW(FKey, Name, nullptr, &FType, nullptr, &Size) == ERROR_SUCCESS) {
      FData.resize(Size);
      FExisted = ::RegQueryValueExW(FKey, Name, nullptr, &FType, FData.data(), &Size) == ERROR_SUCCESS;
    }
  }
  ~SavedValue() {
    if (FExisted) ::RegSetValueExW(FKey, FName, 0, FType, FData.data(), static_cast<DWORD>(FData.size()));
    else ::RegDeleteValueW(FKey, FName);
    ::RegCloseKey(FKey);
  }
  SavedValue(const SavedValue&) = delete;
  SavedValue& operator=(const SavedValue&) = delete;

  void Remove() { ::RegDeleteValueW(FKey, FName); }
  void SetDword(DWORD Value) { Set(REG_DWORD, &Value, sizeof Value); }
  // Text with its NUL, unless Terminated is false.
  void SetText(const std::wstring& Text, DWORD Type = REG_SZ, bool Terminated = true) {
    Set(Type, Text.c_str(), static_cast<DWORD>((Text.size() + (Terminated ? 1 : 0)) * sizeof(wchar_t)));
  }

 private:
  void Set(DWORD Type, const void* Data, DWORD Size) {
    ASSERT_EQ(::RegSetValueExW(FKey, FName, 0, Type, static_cast<const BYTE*>(Data), Size), ERROR_SUCCESS);
  }
  HKEY FKey = nullptr;
  const wchar_t* FName;
  DWORD FType = 0;
  std::vector<BYTE> FData;
  bool FExisted = false;
};

}  // namespace

TEST(ProxySetting, ReadFromTheCurrentUsersRegistry) {
  SavedValue Enable(InternetSettings, L"ProxyEnable"), Server(InternetSettings, L"ProxyServer"),
      StartPage(Main, L"Start Page");
  enum Kind { Missing, Dword, Text, Expand, Unterminated };
  const struct {
    Kind EnableKind;
    DWORD EnableValue;
    Kind ServerKind;
    const wchar_t* ServerValue;
    Kind PageKind;
    std::int32_t Enabled;
    const char *Host, *Port, *Page;
  } Cases[] = {
      {Dword, 1, Text, L"proxyhost:8080", Text, 1, "proxyhost", "8080", "http://start.example/"},
      {Dword, 1, Text, L"ftp=f:21;HTTP=h:3128;https=s:443", Missing, 1, "h", "3128", ""},
      {Dword, 0, Text, L"h:3128", Missing, 0, "", "", ""},
      {Dword, 1, Text, L"h", Missing, 0, "", "", ""},
      {Dword, 1, Text, L"h:3128:1", Missing, 1, "h", "3128:1", ""},
      {Dword, 0x100, Text, L"h:3128", Missing, 0, "", "", ""},
      // A switch of the wrong type, or none, reads as 0.
      {Text, 1, Text, L"h:3128", Missing, 0, "", "", ""},
      {Missing, 0, Text, L"h:3128", Missing, 0, "", "", ""},
      // Expandable text is text; a number is not; stored text may lack its NUL.
      {Dword, 1, Expand, L"e:81", Expand, 1, "e", "81", "http://start.example/"},
      {Dword, 1, Dword, nullptr, Missing, 0, "", "", ""},
      {Dword, 1, Unterminated, L"u:82", Unterminated, 1, "u", "82", "http://start.example/"},
      {Dword, 1, Missing, nullptr, Missing, 0, "", "", ""},
      {Dword, 1, Text, L"\u30d7\u30ed\u30ad\u30b7:83", Missing, 1, "プロキシ", "83", ""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << (&C - Cases));
    switch (C.EnableKind) {
      case Dword: Enable.SetDword(C.EnableValue); break;
      case Text: Enable.SetText(L"1"); break;
      default: Enable.Remove(); break;
    }
    switch (C.ServerKind) {
      case Text: Server.SetText(C.ServerValue); break;
      case Expand: Server.SetText(C.ServerValue, REG_EXPAND_SZ); break;
      case Unterminated: Server.SetText(C.ServerValue, REG_SZ, false); break;
      case Dword: Server.SetDword(8080); break;
      default: Server.Remove(); break;
    }
    switch (C.PageKind) {
      case Text: StartPage.SetText(L"http://start.example/"); break;
      case Expand: StartPage.SetText(L"http://start.example/", REG_EXPAND_SZ); break;
      case Unterminated: StartPage.SetText(L"http://start.example/", REG_SZ, false); break;
      default: StartPage.Remove(); break;
    }
    TIESetting S;
    S.StartPage = "stale";
    GetIESetting(S);
    EXPECT_EQ(S.ProxyEnable, C.Enabled);
    EXPECT_EQ(S.ProxyServer, C.Host);
    EXPECT_EQ(S.ProxyPort, C.Port);
    // The key exists, so an unreadable value gives an empty page.
    EXPECT_EQ(S.StartPage, C.Page);
  }
}

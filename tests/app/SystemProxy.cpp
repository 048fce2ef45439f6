// The browser's proxy settings as the checker reads them: the registry of the
// current user on Windows, the proxy variable on the host.
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>

namespace {

const char* const Key = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct TSaved {
  bool Saved = false, HadEnable = false, HadServer = false;
  DWORD Enable = 0;
  std::string Server;
} Saved;

}  // namespace

void SetSystemProxy(const std::string& Server) {
  HKEY K;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &K, nullptr) != 0) return;
  if (!Saved.Saved) {
    DWORD Size = sizeof Saved.Enable;
    Saved.HadEnable = RegQueryValueExA(K, "ProxyEnable", nullptr, nullptr, reinterpret_cast<BYTE*>(&Saved.Enable),
                                       &Size) == 0;
    char Buffer[1024] = {};
    Size = sizeof Buffer - 1;
    Saved.HadServer = RegQueryValueExA(K, "ProxyServer", nullptr, nullptr, reinterpret_cast<BYTE*>(Buffer), &Size) == 0;
    Saved.Server = Buffer;
    Saved.Saved = true;
  }
  const DWORD Enable = Server.empty() ? 0 : 1;
  RegSetValueExA(K, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Enable), sizeof Enable);
  RegSetValueExA(K, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(Server.c_str()),
                 static_cast<DWORD>(Server.size() + 1));
  RegCloseKey(K);
}

void RestoreSystemProxy() {
  HKEY K;
  if (!Saved.Saved || RegOpenKeyExA(HKEY_CURRENT_USER, Key, 0, KEY_WRITE, &K) != 0) return;
  if (Saved.HadEnable)
    RegSetValueExA(K, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Saved.Enable), sizeof Saved.Enable);
  else
    RegDeleteValueA(K, "ProxyEnable");
  if (Saved.HadServer)
    RegSetValueExA(K, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(Saved.Server.c_str()),
                   static_cast<DWORD>(Saved.Server.size() + 1));
  else
    RegDeleteValueA(K, "ProxyServer");
  RegCloseKey(K);
  Saved = TSaved();
}

#else

namespace {
std::string SavedProxy;
bool Saved = false, Had = false;
}  // namespace

void SetSystemProxy(const std::string& Server) {
  if (!Saved) {
    const char* Value = std::getenv("http_proxy");
    Had = Value != nullptr;
    SavedProxy = Value ? Value : "";
    Saved = true;
  }
  if (Server.empty())
    unsetenv("http_proxy");
  else
    setenv("http_proxy", ("http://" + Server + "/").c_str(), 1);
}

void RestoreSystemProxy() {
  if (!Saved) return;
  if (Had)
    setenv("http_proxy", SavedProxy.c_str(), 1);
  else
    unsetenv("http_proxy");
  Saved = false;
}

#endif

#include "platform/Registry.h"

#include <vector>

#include "platform/win32/WinApi.h"

namespace plat {
namespace {

HKEY K(std::intptr_t Handle) { return reinterpret_cast<HKEY>(Handle); }

}  // namespace

bool CloseRegistryKey(std::intptr_t Handle) { return ::RegCloseKey(K(Handle)) == ERROR_SUCCESS; }

bool RegistryKey::OpenReadOnly(const std::string& Path) {
  Close();
  const std::string Relative = !Path.empty() && Path[0] == '\\' ? Path.substr(1) : Path;
  HKEY Key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, win32::Wide(Relative).c_str(), 0, KEY_READ, &Key) != ERROR_SUCCESS)
    return false;
  FHandle.Reset(reinterpret_cast<std::intptr_t>(Key));
  return true;
}

bool RegistryKey::ReadInteger(const std::string& Name, std::int32_t& Value) const {
  if (!IsOpen()) return false;
  DWORD Type = 0, Data = 0, Size = sizeof Data;
  if (::RegQueryValueExW(K(FHandle.Get()), win32::Wide(Name).c_str(), nullptr, &Type, reinterpret_cast<BYTE*>(&Data),
                         &Size) != ERROR_SUCCESS ||
      Type != REG_DWORD || Size != sizeof Data)
    return false;
  Value = static_cast<std::int32_t>(Data);
  return true;
}

bool RegistryKey::ReadString(const std::string& Name, std::string& Value) const {
  if (!IsOpen()) return false;
  const std::wstring WideName = win32::Wide(Name);
  DWORD Type = 0, Size = 0;
  LONG R = ::RegQueryValueExW(K(FHandle.Get()), WideName.c_str(), nullptr, &Type, nullptr, &Size);
  std::vector<wchar_t> Data;
  // The value may grow between the calls; then ask again with the new size.
  for (int Attempt = 0;; ++Attempt) {
    if (R != ERROR_SUCCESS && R != ERROR_MORE_DATA) return false;
    if (Type != REG_SZ && Type != REG_EXPAND_SZ) return false;
    if (Attempt > 0 && R == ERROR_SUCCESS) break;
    if (Attempt == 8) return false;
    Data.assign(Size / sizeof(wchar_t) + 1, L'\0');
    Size = static_cast<DWORD>(Data.size() * sizeof(wchar_t));
    R = ::RegQueryValueExW(K(FHandle.Get()), WideName.c_str(), nullptr, &Type, reinterpret_cast<BYTE*>(Data.data()), &Size);
  }
  // Stored strings need not end in NUL; the text ends at the first one or at
  // the end of the data.
  std::size_t Chars = Size / sizeof(wchar_t);
  if (Chars > Data.size()) Chars = Data.size();
  std::size_t Length = 0;
  while (Length < Chars && Data[Length] != L'\0') ++Length;
  Value = win32::Narrow(Data.data(), static_cast<int>(Length));
  return true;
}

}  // namespace plat

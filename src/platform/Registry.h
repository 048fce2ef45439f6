// Reading the current user's registry (HKEY_CURRENT_USER), read-only.
//
// The host build has no registry. There the environment stands for the one
// place it is read, the proxy settings of the browser: the key
// "Software\Microsoft\Windows\CurrentVersion\Internet Settings" always opens;
// its "ProxyEnable" is 1 when http_proxy (or else HTTP_PROXY) is set, 0
// otherwise; its "ProxyServer" is the "host:port" part of that address.
// Every other key is absent.
#pragma once

#include <cstdint>
#include <string>

#include "platform/UniqueHandle.h"

namespace plat {

bool CloseRegistryKey(std::intptr_t Handle);

// One open key; closed when the object goes. Moves, never copies.
class RegistryKey {
 public:

  // Path below the current user's root ("\Software\..."; the leading "\" may
  // be left out). False when the key does not exist or may not be read.
  bool OpenReadOnly(const std::string& Path);
  void Close() { FHandle.Reset(); }
  bool IsOpen() const { return FHandle.Valid(); }

  // A 32-bit integer value; false when it is missing or of another type.
  bool ReadInteger(const std::string& Name, std::int32_t& Value) const;
  // A string value (plain or expandable, not expanded) up to its first NUL;
  // false when it is missing or of another type.
  bool ReadString(const std::string& Name, std::string& Value) const;

 private:
  // HKEY on Windows; which emulated key elsewhere
  UniqueHandle<std::intptr_t, 0, CloseRegistryKey> FHandle;
};

}  // namespace plat

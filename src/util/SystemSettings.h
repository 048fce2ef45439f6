// The user's browser proxy settings, and handing a web address to the shell.
#pragma once

#include <cstdint>
#include <string>

struct TIESetting {
  std::int32_t ProxyEnable = 0;
  std::string ProxyServer;
  std::string ProxyPort;
  std::string StartPage;
};

// Fields that cannot be read keep the values they came in with.
void GetIESetting(TIESetting& Setting);
// Fills ProxyServer and ProxyPort from the registry's "ProxyServer" text, given
// the proxy switch already in Setting.ProxyEnable; without a usable proxy
// (switch off, or no ":" in the entry) both are emptied and the switch is 0.
void ParseProxyServer(const std::string& ProxyServer, TIESetting& Setting);
// Opens Target with the shell's verb "open"; a failure is silent.
void ShellOpen(const std::string& Target, const std::string& Params);

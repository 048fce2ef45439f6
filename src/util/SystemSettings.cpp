#include "util/SystemSettings.h"

#include <climits>

#include "framework/SysUtils.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

void ParseProxyServer(const std::string& ProxyServer, TIESetting& Setting) {
  std::string S = ProxyServer;
  // A per-protocol list ("ftp=a:21;http=b:8080;https=c:443") names the HTTP
  // proxy after "http="; a plain "host:port" is used as it is.
  const int P = Pos("http=", LowerCase(S));
  if (P > 0) {
    S = Copy(S, P + 5, INT_MAX);
    const int Semicolon = Pos(";", S);
    if (Semicolon > 0) S = Copy(S, 1, Semicolon - 1);
  }
  const int Q = Pos(":", S);
  if (Q > 0 && (Setting.ProxyEnable & 0xFF) != 0) {
    Setting.ProxyServer = Copy(S, 1, Q - 1);
    Setting.ProxyPort = Copy(S, Q + 1, INT_MAX);
  } else {
    Setting.ProxyServer.clear();
    Setting.ProxyPort.clear();
    Setting.ProxyEnable = 0;
  }
}

void GetIESetting(TIESetting& Setting) {
  plat::RegistryKey Key;
  if (Key.OpenReadOnly("\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings")) {
    std::int32_t Enable = 0;
    Setting.ProxyEnable = Key.ReadInteger("ProxyEnable", Enable) ? Enable : 0;
    std::string S;
    if (!Key.ReadString("ProxyServer", S)) S.clear();
    Key.Close();
    ParseProxyServer(S, Setting);
  }
  if (Key.OpenReadOnly("\\Software\\Microsoft\\Internet Explorer\\Main")) {
    std::string Page;
    Setting.StartPage = Key.ReadString("Start Page", Page) ? Page : std::string();
    Key.Close();
  }
}

void ShellOpen(const std::string& Target, const std::string& Params) {
  // The working folder is the target's own folder: for a web address that is
  // its scheme with the colon, which the shell does not mind.
  plat::ShellExecuteOpen(Target, Params, ExtractFilePath(Target));
}

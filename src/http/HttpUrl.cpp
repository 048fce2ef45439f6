#include "http/HttpUrl.h"

#include "framework/SysUtils.h"

namespace {

bool IsSchemeChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '+' || C == '-' || C == '.';
}

// The folder of a path, with its closing "/"; "/" when it has none.
std::string DirectoryOf(const std::string& Path) {
  const std::string::size_type Slash = Path.rfind('/');
  return Slash == std::string::npos ? std::string("/") : Path.substr(0, Slash + 1);
}

bool StartsWith(const std::string& S, const char* Prefix) { return S.compare(0, std::char_traits<char>::length(Prefix), Prefix) == 0; }

}  // namespace

void ParseURL(const std::string& URL, std::string& Proto, std::string& User, std::string& Pass,
              std::string& Host, std::string& Port, std::string& Path) {
  const std::string Base = Path;
  Proto.clear();
  User.clear();
  Pass.clear();
  Host.clear();
  Port.clear();
  Path.clear();
  if (URL.empty()) return;

  if (StartsWith(URL, "./")) {
    Path = DirectoryOf(Base) + URL.substr(2);
    return;
  }
  if (StartsWith(URL, "../")) {
    std::string Dir = DirectoryOf(Base);
    std::string Rest = URL.substr(3);
    // One level per "../", never above the root.
    for (;;) {
      Dir.pop_back();
      Dir = DirectoryOf(Dir);
      if (!StartsWith(Rest, "../")) break;
      Rest.erase(0, 3);
    }
    Path = Dir + Rest;
    return;
  }

  // Where the authority (user, host, port) begins, 0-based.
  std::string::size_type Start = 0;
  bool HaveScheme = false;
  const std::string::size_type Sep = URL.find("://");
  if (Sep != std::string::npos) {
    bool Valid = true;
    for (std::string::size_type I = 0; I < Sep && Valid; ++I) Valid = IsSchemeChar(URL[I]);
    if (Valid) {
      Proto = URL.substr(0, Sep);
      Start = Sep + 3;
      HaveScheme = true;
    } else {
      Proto = "http";
    }
  }
  if (!HaveScheme) {
    if (URL[0] == '/') {
      Proto = "http";
      if (URL.size() > 1 && URL[1] != '/') {
        Path = URL;
        return;
      }
      Start = 2;
    } else if (LowerCase(URL.substr(0, 5)) == "http:") {
      Proto = "http";
      if (URL.size() > 6 && URL[6] != '/') {
        Path = URL.substr(5);
        return;
      }
      Start = 7;
    } else if (LowerCase(URL.substr(0, 7)) == "mailto:") {
      Proto = "mailto";
      Start = URL.find(':') + 1;
    }
  }

  std::string Rest = Start < URL.size() ? URL.substr(Start) : std::string();
  const std::string::size_type PathStart = Rest.find_first_of("/?");
  if (PathStart != std::string::npos) {
    Path = Rest.substr(PathStart);
    Rest.erase(PathStart);
  }

  const std::string::size_type Colon = Rest.rfind(':');
  const std::string::size_type At = Rest.rfind('@');
  std::string UserPart;
  if (Colon == std::string::npos && At == std::string::npos) {
    Host = Rest;
    return;
  }
  if (Colon != std::string::npos && (At == std::string::npos || Colon > At)) {
    Port = Rest.substr(Colon + 1);
    const std::string::size_type HostStart = At == std::string::npos ? 0 : At + 1;
    Host = Rest.substr(HostStart, Colon - HostStart);
    if (At == std::string::npos) return;
    UserPart = Rest.substr(0, At);
  } else {
    Host = Rest.substr(At + 1);
    UserPart = Rest.substr(0, At);
  }
  const std::string::size_type UserColon = UserPart.find(':');
  if (UserColon == std::string::npos) {
    User = UserPart;
  } else {
    User = UserPart.substr(0, UserColon);
    Pass = UserPart.substr(UserColon + 1);
  }
}

std::string UrlBase(const std::string& URL) {
  const int Query = Pos("?", URL);
  int I = Query > 0 ? Query - 1 : static_cast<int>(URL.size());
  while (I > 0 && URL[static_cast<std::size_t>(I - 1)] != '/' && URL[static_cast<std::size_t>(I - 1)] != ':') --I;
  return URL.substr(0, static_cast<std::size_t>(I));
}

void ReplaceExt(std::string& FileName, const std::string& NewExt) {
  const int Dot = LastPos(".", FileName);
  if (Dot > 0) FileName = FileName.substr(0, static_cast<std::size_t>(Dot)) + NewExt;
  else FileName += "." + NewExt;
}

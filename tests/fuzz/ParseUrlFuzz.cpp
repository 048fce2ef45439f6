// URLs come from settings, from callers and from servers' location fields.
// The splitter must accept anything, and what it returns must be pieces of
// the input in their order; the base cut must be a prefix of the URL.
#include <cstdint>
#include <string>

#include "http/HttpUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  // The first line is the base path, the rest the URL.
  const std::size_t Nl = Text.find('\n');
  const std::string Base = Nl == std::string::npos ? std::string() : Text.substr(0, Nl);
  const std::string Url = Nl == std::string::npos ? Text : Text.substr(Nl + 1);
  std::string Proto, User, Pass, Host, Port, Path = Base;
  ParseURL(Url, Proto, User, Pass, Host, Port, Path);
  const bool Relative = Url.rfind("./", 0) == 0 || Url.rfind("../", 0) == 0;
  if (!Relative) {
    if (!Path.empty() && Url.find(Path) == std::string::npos) __builtin_trap();
    for (const std::string* Piece : {&User, &Pass, &Host, &Port})
      if (!Piece->empty() && Url.find(*Piece) == std::string::npos) __builtin_trap();
    if (Path.size() + Host.size() + Port.size() + User.size() + Pass.size() > Url.size()) __builtin_trap();
  } else {
    // Whatever the climbing did, the reference's own rest ends the path.
    std::string Rest = Url.substr(Url[1] == '/' ? 2 : 3);
    if (Url[1] != '/')
      while (Rest.rfind("../", 0) == 0) Rest.erase(0, 3);
    if (Path.size() < Rest.size() || Path.compare(Path.size() - Rest.size(), Rest.size(), Rest) != 0)
      __builtin_trap();
    if (!Proto.empty() || !Host.empty()) __builtin_trap();
  }
  const std::string Cut = UrlBase(Url);
  if (Url.compare(0, Cut.size(), Cut) != 0) __builtin_trap();
  std::string Name = Url;
  ReplaceExt(Name, "htm");
  if (Name.size() < 4 || Name.compare(Name.size() - 4, 4, ".htm") != 0) __builtin_trap();
  return 0;
}

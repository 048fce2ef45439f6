#include "framework/IniFiles.h"

#include "platform/Platform.h"

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  return plat::ReadProfileString(FFileName, Section, Ident, Default);
}

// Ini files read through the system's private-profile rules.
#pragma once

#include <string>

#include "framework/Classes.h"

class TIniFile : public TObject {
 public:
  explicit TIniFile(std::string FileName) : FFileName(std::move(FileName)) {}
  const char* ClassName() const override { return "TIniFile"; }
  const std::string& FileName() const { return FFileName; }
  // The value of Ident in Section, or Default when the file, the section or
  // the key is missing. Blanks around the value and one pair of enclosing
  // quotes are dropped.
  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) const;

 private:
  std::string FFileName;
};

// Settings files through the system's profile functions: every read and write
// goes to the file itself, so other programs may change it in between.
#pragma once

#include <string>

#include "framework/Classes.h"

DRAVIN_EXCEPTION(EIniFileException, Exception);

class TIniFile : public TObject {
 public:
  explicit TIniFile(const std::string& FileName) : FFileName(FileName) {}
  const char* ClassName() const override { return "TIniFile"; }
  const std::string& FileName() const { return FFileName; }

  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) const;
  // Decimal, or hexadecimal after "0x" or "0X" when the text is longer than
  // two characters; Default for anything else and for what does not fit.
  int ReadInteger(const std::string& Section, const std::string& Ident, int Default) const;
  bool ValueExists(const std::string& Section, const std::string& Ident) const;
  // Raise EIniFileException when the file cannot be written.
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  void WriteInteger(const std::string& Section, const std::string& Ident, int Value);

 private:
  std::string FFileName;
};

// The integer rules of ReadInteger, for a text: false when it is none.
bool ParseIniInteger(const std::string& Text, int& Value);

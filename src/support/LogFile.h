// Appends lines to the host's log file: a start marker pair when switched on,
// one line per message, an end marker when switched off or destroyed. The file
// is opened and closed for every line, so the host may write between lines.
#pragma once

#include <string>

#include "framework/Classes.h"

class TLogFile : public TComponent {
 public:
  explicit TLogFile(TComponent* AOwner);
  ~TLogFile() override;
  const char* ClassName() const override { return "TLogFile"; }

  bool Active() const { return FActive; }
  void SetActive(bool Value);
  // Appends Message as one line; an error line carries the log file's name and
  // " (C.ERROR)". False when inactive or without a file name, and when another
  // program held the file for all of ten retries 50 ms apart (the line is then
  // dropped); raises EInOutError when the file cannot be written otherwise.
  bool WriteLog(const std::string& Message, bool isError);
  void Loaded() override;

  std::string LogFileName;  // a plain field: no setter

 private:
  void WriteStartMarker();
  void WriteEndMarker();
  bool FActive = false;
};

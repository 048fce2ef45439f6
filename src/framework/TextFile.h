// A text file read line by line, with the rules of the classic runtime: lines
// end at CR LF, LF or CR, and a Ctrl-Z byte ends the file just like its
// physical end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

class TTextFile {
 public:
  TTextFile() = default;
  explicit TTextFile(std::string FileName) : FFileName(std::move(FileName)) {}
  TTextFile(const TTextFile&) = delete;
  TTextFile& operator=(const TTextFile&) = delete;

  void Assign(const std::string& FileName);
  const std::string& FileName() const { return FFileName; }

  // Opens the bound file for reading with an open mode of fmOpenRead plus one
  // sharing value; raises EInOutError with the system's error number.
  void Reset(std::uint16_t Mode);
  bool IsOpen() const { return FFile.IsOpen(); }
  bool Eof();
  std::string ReadLn();  // raises EInOutError on a read failure
  void Close();

 private:
  bool Fill();  // false at the physical end
  std::string FFileName;
  plat::File FFile;
  std::vector<char> FBuffer;
  std::size_t FPos = 0, FEnd = 0;
};

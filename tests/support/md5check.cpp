// Checks FileMD5Hex against a list written by md5sum: each line is the digest,
// two blanks and a file name relative to the working directory. Prints every
// mismatch and exits 1 if there was one.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "framework/SysUtils.h"
#include "util/TextUtils.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: md5check LIST\n";
    return 2;
  }
  std::ifstream List(argv[1]);
  std::string Line;
  int Checked = 0, Wrong = 0;
  while (std::getline(List, Line)) {
    if (Line.size() < 35) continue;
    const std::string Expected = UpperCase(Line.substr(0, 32));
    const std::string Name = Line.substr(34);
    const std::string Got = FileMD5Hex(Name);
    ++Checked;
    if (Got != Expected) {
      ++Wrong;
      std::cout << "MISMATCH " << Name << ": FileMD5Hex " << (Got.empty() ? "(empty)" : Got) << ", md5sum "
                << Expected << "\n";
    }
  }
  std::cout << Checked << " files checked, " << Wrong << " mismatches\n";
  return Checked > 0 && Wrong == 0 ? 0 : 1;
}

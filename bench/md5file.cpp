// Prints FileMD5Hex of each file named, like md5sum does.
#include <iostream>

#include "util/TextUtils.h"

int main(int argc, char** argv) {
  int Status = 0;
  for (int I = 1; I < argc; ++I) {
    const std::string Digest = FileMD5Hex(argv[I]);
    if (Digest.empty()) Status = 1;
    std::cout << Digest << "  " << argv[I] << "\n";
  }
  return Status;
}

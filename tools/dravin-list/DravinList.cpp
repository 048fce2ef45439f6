// dravin-list FOLDER NAMES LIST
//
// Writes the version list LIST ("fileversion.txt" of the update server) for
// the release files in FOLDER (the server's "bin/"), with the display names
// of NAMES ("file name=display name" lines, Shift-JIS). Nothing is written
// when a file cannot be listed as the checker will read it; the reasons go to
// the error output, one line each.
#include <cstdio>

#include "FileList.h"
#include "framework/Classes.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: dravin-list FOLDER NAMES LIST\n", stderr);
    return 2;
  }
  try {
    TStringList Names;
    Names.LoadFromFile(argv[2]);
    WriteFileList(argv[3], MakeFileList(argv[1], Names));
  } catch (const EListRefused& E) {
    std::fprintf(stderr, "dravin-list: nothing written, these files cannot be listed:\n%s", E.Message().c_str());
    return 1;
  } catch (const Exception& E) {
    std::fprintf(stderr, "dravin-list: %s\n", E.Message().c_str());
    return 1;
  }
  return 0;
}

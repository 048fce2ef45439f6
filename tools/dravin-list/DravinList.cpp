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
#include "framework/Streams.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: dravin-list FOLDER NAMES LIST\n", stderr);
    return 2;
  }
  try {
    TStringList Names;
    Names.LoadFromFile(argv[2]);
    const std::string Text = MakeFileList(argv[1], Names);
    // The server may be handing out the old list meanwhile: it is replaced
    // whole, never seen half written.
    const std::string Target = argv[3], Staged = Target + ".new";
    {
      TFileStream Out(Staged, fmCreate);
      Out.WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
      Out.Flush();
    }
    if (!MoveFileReplace(Staged, Target)) {
      DeleteFile(Staged);
      throw Exception(Target + ": cannot be replaced");
    }
  } catch (const EListRefused& E) {
    std::fprintf(stderr, "dravin-list: nothing written, these files cannot be listed:\n%s", E.Message().c_str());
    return 1;
  } catch (const Exception& E) {
    std::fprintf(stderr, "dravin-list: %s\n", E.Message().c_str());
    return 1;
  }
  return 0;
}

// The host build's profile functions: the whole file is read, changed by the
// rules of IniText.h and written back in one step.
#include "platform/IniText.h"
#include "platform/Platform.h"
#include "platform/Profile.h"

namespace plat {
namespace {

// A bare name lives in the Windows folder; without one there is no such file.
bool Locate(const std::string& FileName, std::string& Path) {
  if (FileName.find_first_of("\\/:") != std::string::npos) {
    Path = FileName;
    return true;
  }
  char Folder[1024];
  const std::uint32_t N = GetEnvironmentVariable("windir", Folder, sizeof Folder);
  if (N == 0 || N >= sizeof Folder) return false;
  Path = std::string(Folder, N) + "\\" + FileName;
  return true;
}

bool ReadWhole(const std::string& Path, std::string& Text) {
  std::uint32_t Error = 0;
  File F = File::Open(Path, FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting, Error);
  if (!F.IsOpen()) return false;
  char Buffer[65536];
  for (;;) {
    std::uint32_t Done = 0;
    if (!F.Read(Buffer, sizeof Buffer, Done)) return false;
    if (Done == 0) return true;
    Text.append(Buffer, Done);
  }
}

}  // namespace

std::string GetPrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Default,
                                    const std::string& FileName) {
  std::string Path, Text, Value;
  if (!Locate(FileName, Path) || !ReadWhole(Path, Text) || !ini::Read(Text, Section, Key, Value)) return Default;
  return Value;
}

bool WritePrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Value,
                               const std::string& FileName) {
  std::string Path, Text;
  if (!Locate(FileName, Path)) return false;
  if (FileExists(Path) && !ReadWhole(Path, Text)) return false;
  const std::string Changed = ini::Write(Text, Section, Key, Value);
  // The file holds the host's own settings too: it is written whole beside
  // itself and put in its place in one step, so that a full disk or a killed
  // process leaves it as it was. A read-only file refuses the step.
  const std::string Beside = Path + ".~new";
  std::uint32_t Error = 0, Done = 0;
  File F = File::Open(Beside, FileAccess::Write, FileShare::Exclusive, FileCreate::CreateAlways, Error);
  if (!F.IsOpen()) return false;
  const bool Written = F.Write(Changed.data(), static_cast<std::uint32_t>(Changed.size()), Done) &&
                       Done == Changed.size() && F.Flush() && F.Close();
  if (Written && MoveFileReplace(Beside, Path)) return true;
  F.Close();
  DeleteFile(Beside);
  return false;
}

}  // namespace plat

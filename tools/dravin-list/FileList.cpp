#include "FileList.h"

#include <algorithm>

#include "app/UpdateInstall.h"
#include "framework/Streams.h"
#include "util/FileNames.h"
#include "util/TextUtils.h"
#include "util/VersionInfo.h"

namespace {

// The checker tells host programs and itself apart by these names; its scan
// ends at the first plug-in it leaves to the user, so the order of the groups
// decides which entries a run gets to see.
int Group(const std::string& FileName) {
  const std::string Name = LowerCase(FileName);
  if (Name == "zel.exe" || Name == "orn.exe") return 0;
  if (Name == "dravin.exe") return 2;
  return 1;
}

// Why the checker cannot use a release of this name, or empty when it can.
std::string NameProblem(const std::string& File, const std::vector<std::string>& Files) {
  switch (FileNameFault(File)) {
    case TFileNameFault::fnOk: break;
    case TFileNameFault::fnFolder: return "a folder, a drive or a separator in the name: the checker never looks at it";
    case TFileNameFault::fnTrailingDot: return "ends in a dot, which Windows drops: the checker never looks at it";
    case TFileNameFault::fnControlByte: return "a control byte in the name: the checker never looks at it";
    case TFileNameFault::fnDevice: return "names a device on Windows (CON, NUL, COM1 ...) in every folder";
  }
  if (SameText(File, TUpdateInstall::StagingName)) return "the name of the checker's staging file";
  // Every run would fetch and replace that one file twice, or announce the
  // entry that is not installed for ever.
  for (const std::string& Other : Files)
    if (Other != File && SameText(Other, File))
      return "differs from " + Other + " only in letter case: on Windows both are one file";
  return std::string();
}

}  // namespace

std::string QuoteListField(const std::string& Value) {
  if (Value.find(',') == std::string::npos && (Value.empty() || Value[0] != '"')) return Value;
  return "\"" + StringReplaceAll(Value, "\"", "\"\"") + "\"";
}

std::string FieldProblem(const std::string& Value) {
  if (!Value.empty() && (static_cast<unsigned char>(Value.front()) <= 32 || static_cast<unsigned char>(Value.back()) <= 32))
    return "blanks or control characters at its start or end, which the checker trims";
  for (char C : Value)
    if (static_cast<unsigned char>(C) < 32) return "control characters (a line end or Ctrl-Z ends the checker's line)";
  return std::string();
}

std::string ListLine(const std::vector<std::string>& Fields) {
  std::string Line;
  for (std::size_t I = 0; I < Fields.size(); ++I) Line += (I ? "," : "") + QuoteListField(Fields[I]);
  TStringList Back;
  SplitCsvLine(Line, Back);
  bool Same = static_cast<std::size_t>(Back.Count()) == Fields.size();
  for (std::size_t I = 0; Same && I < Fields.size(); ++I) Same = Back[static_cast<int>(I)] == Fields[I];
  if (!Same) throw EListRefused("the checker would not read this line back unchanged: " + Line);
  return Line;
}

std::string MakeFileList(const std::string& Folder, const TStrings& Names) {
  std::vector<std::string> Files;
  if (!ListFiles(Folder, Files)) throw EListRefused(Folder + ": the folder cannot be read");
  std::sort(Files.begin(), Files.end(), [](const std::string& A, const std::string& B) {
    const int GA = Group(A), GB = Group(B);
    if (GA != GB) return GA < GB;
    const std::string LA = LowerCase(A), LB = LowerCase(B);
    return LA != LB ? LA < LB : A < B;
  });

  // "name=value" lines, looked up as Windows compares file names.
  TStringList Display;
  for (int I = 0; I < Names.Count(); ++I) {
    const std::string& Line = Names[I];
    const std::string::size_type Equals = Line.find('=');
    if (Trim(Line).empty() || Line[0] == ';' || Equals == std::string::npos) continue;
    Display.Add(Trim(Line.substr(0, Equals)) + "=" + Trim(Line.substr(Equals + 1)));
  }

  std::string Text, Problems;
  auto Refuse = [&](const std::string& File, const std::string& Why) { Problems += File + ": " + Why + "\n"; };
  for (const std::string& File : Files) {
    const std::string Why = NameProblem(File, Files);
    if (!Why.empty()) {
      Refuse(File, Why);
      continue;
    }
    const std::string Path = IncludeTrailingBackslash(Folder) + File;
    const int At = Display.IndexOfName(File);
    if (At < 0) {
      Refuse(File, "no display name in the names file");
      continue;
    }
    TVersion Version;
    GetFileVersionStrings(Path, Version);
    if (Version.FileVersion.empty()) {
      Refuse(File, "no FileVersion string: the checker could not tell this release from another");
      continue;
    }
    const double Size = GetFileSizeValue(Path);
    const std::string Digest = FileMD5Hex(Path);
    if (Size < 0 || Size > 2147483647.0 || Digest.empty()) {
      Refuse(File, "cannot be read, or too large for the checker's count of bytes");
      continue;
    }
    const std::string& Entry = Display[At];
    const std::vector<std::string> Fields{Entry.substr(Entry.find('=') + 1), File,
                                          Version.FileVersion, Version.LegalCopyright,
                                          IntToStr(static_cast<long long>(Size)), Digest};
    const char* const What[] = {"the display name", "the file name", "FileVersion", "LegalCopyright"};
    bool Bad = false;
    for (int I = 0; I < 4; ++I) {
      const std::string Why = FieldProblem(Fields[I]);
      if (!Why.empty()) Refuse(File, std::string(What[I]) + " has " + Why), Bad = true;
    }
    if (Bad) continue;
    try {
      Text += ListLine(Fields) + "\r\n";
    } catch (const EListRefused& E) {
      Refuse(File, E.Message());
    }
  }
  if (!Problems.empty()) throw EListRefused(Problems);
  return Text;
}

void WriteFileList(const std::string& Target, const std::string& Text) {
  // The server may be handing out the old list meanwhile: it is replaced
  // whole, never seen half written, and a list that could not be written
  // whole leaves nothing of itself behind.
  const std::string Staged = Target + ".new";
  bool Written = false;
  try {
    TFileStream Out(Staged, fmCreate);
    Out.WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
    Written = Out.Flush();
  } catch (const Exception&) {
  }
  if (!Written) {
    DeleteFile(Staged);
    throw Exception(Staged + ": cannot be written");
  }
  if (!MoveFileReplace(Staged, Target)) {
    DeleteFile(Staged);
    throw Exception(Target + ": cannot be replaced");
  }
}

// The publisher's side of the version list: "fileversion.txt" made from a
// folder of release files, in exactly the form the checker reads.
//
// The checker compares the version and copyright fields byte for byte with the
// installed copy's strings, and its line splitter trims blanks and control
// bytes and has its own quoting rules. A value that would not come back from
// the splitter unchanged would make its entry look new on every run, so such
// values are refused rather than written.
#pragma once

#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/SysUtils.h"

DRAVIN_EXCEPTION(EListRefused, Exception);

// One field as it goes into a line: quoted (quotes inside doubled) when it
// holds a comma or begins with a double quote, else as it is.
std::string QuoteListField(const std::string& Value);

// Why Value cannot be a field of the list, or empty when it can: blanks or
// control bytes at either end, control bytes (line ends, Ctrl-Z) inside.
std::string FieldProblem(const std::string& Value);

// The line of six fields (no line end). Raises EListRefused when the checker's
// splitter would not give the same six fields back.
std::string ListLine(const std::vector<std::string>& Fields);

// The whole list for the files directly in Folder (the server's "bin/"):
// host programs (zel.exe, orn.exe) first, then the plug-ins, then dravin.exe,
// each group in name order; lines end in CR LF. Names holds "file name=display
// name" lines; blank lines and lines beginning with ";" are comments, names of
// files not in the folder are ignored. Raises EListRefused with one line per
// problem: a file without a display name or without a FileVersion string, a
// value that cannot be written unchanged, a name the checker never looks at
// (a device, a trailing dot, control bytes), the checker's staging file, two
// names that differ only in letter case.
std::string MakeFileList(const std::string& Folder, const TStrings& Names);

// Puts Text in Target's place in one step, by way of Target + ".new". Raises
// Exception when it cannot, and then leaves Target as it was and no ".new".
void WriteFileList(const std::string& Target, const std::string& Text);

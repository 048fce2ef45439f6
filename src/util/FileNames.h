// The file names of the version list: which names the checker accepts as a
// file in the install folder, and how such a name goes into an address.
// The publisher's list maker refuses by the same rules.
#pragma once

#include <string>

// Why a listed file name cannot stand for a file in the install folder.
enum class TFileNameFault {
  fnOk,
  fnFolder,       // a folder, a drive or a separator: it would lead out of the folder
  fnTrailingDot,  // Windows opens it without the dot: another file than it names
  fnControlByte,  // the system's calls end at a zero byte; no file name holds the others
  fnDevice,       // CON, NUL, COM1 ... name a device in every folder, whatever the extension
};

TFileNameFault FileNameFault(const std::string& Name);

// A byte below 0x20, or 0x7F (neither is ever part of a double-byte character).
bool HasControlByte(const std::string& Text);

// The part before the first dot, blanks at its end removed, is one of the
// names Windows keeps for devices (any letter case).
bool IsDeviceName(const std::string& Name);

// Name as one segment of an address's path: every byte but the letters,
// digits, "-._~", "!$&'()*+,;=", ":" and "@" as "%" and two upper-case hex
// digits (double-byte characters byte by byte).
std::string EncodePathSegment(const std::string& Name);

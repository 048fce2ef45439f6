// Free routines of the checker: the field splitter of the version list, the
// temp folder, opening a text file with retries, waiting and pumping messages,
// file sizes and file digests.
#pragma once

#include <string>

#include "framework/Classes.h"
#include "framework/TextFile.h"

// Clears List and fills it with the comma-separated fields of Line, each
// trimmed. A field may be quoted: then it may hold commas, and "" stands for ".
// Always yields at least one field.
void SplitCsvLine(const std::string& Line, TStrings& List);

// The variable's value, trimmed; empty when unset or 260 bytes or longer.
std::string GetEnvironmentText(const std::string& Name);
// The folder of the variable "temp", trimmed, with a trailing backslash; the
// system's own temp folder when the variable is unset, empty, 260 bytes or
// longer, or names a folder that code page 932 spells neither by its name nor
// by its short name (plat::GetEnvironmentPath).
std::string GetTempFolder();

// Opens F for reading (read access, no sharing restriction), making Retries + 1
// attempts one minute apart; no wait follows the last failure.
bool OpenTextFileRetry(TTextFile& F, int Retries);
// Sleeps in steps of 100 ms, processing pending messages after each step.
void WaitMinutes(double Minutes);
// Gives up the time slice, then processes every pending message.
void PumpMessages();

// Size in bytes, -1 when the file does not exist or cannot be opened.
double GetFileSizeValue(const std::string& FileName);
// MD5 of the whole file as 32 upper-case hexadecimal digits; empty on any failure.
std::string FileMD5Hex(const std::string& FileName);

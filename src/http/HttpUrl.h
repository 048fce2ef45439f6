// Splitting URLs and resolving the references the HTTP client meets.
//
// Every routine works on byte strings with 1-based positions and never fails:
// any input yields some split. The splitter applies no defaults beyond its
// protocol rules; the client puts "http", "80" and "/" in for empty pieces.
#pragma once

#include <string>

// Splits URL into its six pieces. Path comes in as the base against which a
// "./" or "../" reference is resolved; every output, Path included, is
// cleared before the split.
void ParseURL(const std::string& URL, std::string& Proto, std::string& User, std::string& Pass,
              std::string& Host, std::string& Port, std::string& Path);

// The URL cut after its last "/" or ":" before the first "?"; empty when
// there is none ("http://h/d/f.htm?a/b" gives "http://h/d/").
std::string UrlBase(const std::string& URL);

// Replaces the extension of FileName, or adds one when it has none.
void ReplaceExt(std::string& FileName, const std::string& NewExt);

// Where the build put the images with version resources (see CMakeLists.txt),
// as a Windows-style folder name with its trailing backslash.
#pragma once

#include <string>

inline std::string VersionFixtureFolder() {
  std::string Name = DRAVIN_VERSION_FIXTURES;
  for (char& C : Name)
    if (C == '/') C = '\\';
#ifdef _WIN32
  Name = "Z:" + Name;  // Wine's drive for the Unix root
#endif
  return Name;
}

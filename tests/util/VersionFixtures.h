// Where the build put the images with version resources (see CMakeLists.txt),
// as a Windows-style folder name with its trailing backslash.
#pragma once

#include <string>

#include "TestSupport.h"

inline std::string VersionFixtureFolder() { return testsupport::BuildTreeFolder(DRAVIN_VERSION_FIXTURES); }

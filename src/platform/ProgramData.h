// Data the build placed inside the running program: RCDATA resources of the
// executable on Windows, tables compiled into the program elsewhere (the build
// generates a source that registers them before main runs).
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

// Names compare case-insensitively. The data lives as long as the program.
bool FindProgramData(const char* Name, const std::uint8_t*& Data, std::size_t& Size);

#ifndef _WIN32
void RegisterProgramData(const char* Name, const std::uint8_t* Data, std::size_t Size);
#endif

}  // namespace plat

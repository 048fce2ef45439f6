#include "platform/ProgramData.h"

#include <strings.h>

#include <mutex>
#include <string>
#include <vector>

namespace plat {
namespace {

struct Entry {
  std::string Name;
  const std::uint8_t* Data;
  std::size_t Size;
};

// Filled by static constructors, so it must exist before any of them runs.
std::vector<Entry>& Table() {
  static std::vector<Entry> Entries;
  return Entries;
}

std::mutex& Lock() {
  static std::mutex M;
  return M;
}

}  // namespace

void RegisterProgramData(const char* Name, const std::uint8_t* Data, std::size_t Size) {
  std::lock_guard<std::mutex> Guard(Lock());
  Table().push_back(Entry{Name, Data, Size});
}

bool FindProgramData(const char* Name, const std::uint8_t*& Data, std::size_t& Size) {
  std::lock_guard<std::mutex> Guard(Lock());
  for (const Entry& E : Table()) {
    if (::strcasecmp(E.Name.c_str(), Name) == 0) {
      Data = E.Data;
      Size = E.Size;
      return true;
    }
  }
  return false;
}

}  // namespace plat

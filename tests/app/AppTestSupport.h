// Helpers of the checker's tests.
#pragma once

#include <string>

#include "util/TextUtils.h"

namespace testsupport {

// The fetch of the version list, stood in for by the file a test laid out
// where the fetch stores it: its size, or 0 with the file deleted when it is
// missing or empty, as a failed or empty fetch leaves it.
inline int ListAlreadyInPlace(const std::string& FileName) {
  const double Size = GetFileSizeValue(FileName);
  if (Size <= 0) {
    DeleteFile(FileName);
    return 0;
  }
  return static_cast<int>(Size);
}

}  // namespace testsupport

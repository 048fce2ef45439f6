// Helpers of the checker's tests.
#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"
#include "framework/Classes.h"
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

// The messages a run wrote to the host's log, the start and end markers and
// the checker's version line left out.
inline std::vector<std::string> LoggedMessages(const std::string& LogFile) {
  TStringList All;
  All.SetText(ReadFile(LogFile));
  std::vector<std::string> R;
  for (int I = 0; I < All.Count(); ++I)
    if (All[I].rfind("--- ", 0) != 0 && All[I].rfind("Version ", 0) != 0) R.push_back(All[I]);
  return R;
}

}  // namespace testsupport

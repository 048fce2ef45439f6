#include "platform/Shell.h"

#include "platform/win32/WinApi.h"

#include <shellapi.h>

namespace plat {

void ShellExecuteOpen(const std::string& Target, const std::string& Params, const std::string& Directory) {
  const std::wstring WideTarget = win32::Wide(Target), WideParams = win32::Wide(Params),
                     WideDirectory = win32::Wide(Directory);
  // The result is of no interest: opening a page is a courtesy, never a step
  // the caller depends on.
  ::ShellExecuteW(nullptr, L"open", WideTarget.c_str(), Params.empty() ? nullptr : WideParams.c_str(),
                  Directory.empty() ? nullptr : WideDirectory.c_str(), SW_SHOW);
}

}  // namespace plat

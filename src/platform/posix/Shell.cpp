// The host build opens documents with xdg-open. It is started through an
// intermediate child that exits at once: the parent reaps that one right away
// and never waits for the browser, and the browser, orphaned, is reaped by the
// system, so no zombie is left behind.
#include "platform/Shell.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace plat {
namespace {

// The full name of Program along PATH; empty when there is none.
std::string FindProgram(const char* Program) {
  const char* Path = std::getenv("PATH");
  if (!Path) return std::string();
  std::string Dirs = Path;
  std::size_t Start = 0;
  while (Start <= Dirs.size()) {
    std::size_t End = Dirs.find(':', Start);
    if (End == std::string::npos) End = Dirs.size();
    const std::string Dir = End > Start ? Dirs.substr(Start, End - Start) : ".";
    const std::string Candidate = Dir + "/" + Program;
    if (::access(Candidate.c_str(), X_OK) == 0) return Candidate;
    Start = End + 1;
  }
  return std::string();
}

}  // namespace

void ShellExecuteOpen(const std::string& Target, const std::string&, const std::string&) {
  // Everything the children need is made before the fork: after it, a
  // process with other threads may only make async-signal-safe calls.
  const std::string Program = FindProgram("xdg-open");
  if (Program.empty()) return;
  char* const Argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(Target.c_str()), nullptr};

  const pid_t Child = ::fork();
  if (Child < 0) return;
  if (Child == 0) {
    if (::fork() == 0) {
      ::setsid();
      const int Null = ::open("/dev/null", O_RDWR);
      if (Null >= 0) {
        ::dup2(Null, 0);
        ::dup2(Null, 1);
        ::dup2(Null, 2);
      }
      ::close_range(3, ~0u, 0);
      ::execv(Program.c_str(), Argv);
      ::_exit(127);
    }
    ::_exit(0);
  }
  int Status;
  while (::waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace plat

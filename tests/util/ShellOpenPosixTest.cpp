// The host build's ShellOpen starts xdg-open: here stand-in scripts found
// along PATH, which record their arguments. One waits to be released, so the
// test sees that the caller did not wait for it and that no child of the
// caller is left over.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "TestSupport.h"
#include "util/SystemSettings.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& P) {
  std::ifstream In(P);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

// Waits up to ten seconds for the file to appear.
bool Appears(const fs::path& P) {
  for (int I = 0; I < 1000 && !fs::exists(P); ++I) ::usleep(10000);
  return fs::exists(P);
}

bool NoChildLeft() {
  int Status;
  return ::waitpid(-1, &Status, WNOHANG) < 0 && errno == ECHILD;
}

// The running test's scratch folder, as this system spells it.
fs::path Scratch() {
  std::string Name = testsupport::ScratchFolder();
  std::replace(Name.begin(), Name.end(), '\\', '/');
  return Name;
}

class PathSwap {
 public:
  explicit PathSwap(const std::string& Path) : FOld(std::getenv("PATH") ? std::getenv("PATH") : "") {
    ::setenv("PATH", Path.c_str(), 1);
  }
  ~PathSwap() { ::setenv("PATH", FOld.c_str(), 1); }

 private:
  std::string FOld;
};

}  // namespace

TEST(ShellOpen, StartsXdgOpenAndDoesNotWaitForIt) {
  const fs::path Dir = Scratch();
  fs::create_directories(Dir / "bin");
  const fs::path Record = Dir / "record", Release = Dir / "release", Done = Dir / "done";
  {
    std::ofstream Script(Dir / "bin" / "xdg-open");
    Script << "#!/bin/sh\n"
           << "printf '%s|' \"$#\" \"$@\" > '" << Record.string() << ".tmp'\n"
           << "mv '" << Record.string() << ".tmp' '" << Record.string() << "'\n"
           << "i=0; while [ ! -e '" << Release.string() << "' ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done\n"
           << "touch '" << Done.string() << "'\n";
  }
  fs::permissions(Dir / "bin" / "xdg-open", fs::perms::owner_all);
  {
    PathSwap Path((Dir / "bin").string() + ":/usr/bin:/bin");
    ShellOpen("http://www.example/page?a=1&b=two words", "");
  }
  EXPECT_TRUE(NoChildLeft());
  ASSERT_TRUE(Appears(Record));
  EXPECT_EQ(Slurp(Record), "1|http://www.example/page?a=1&b=two words|");
  EXPECT_FALSE(fs::exists(Done));  // still waiting for us: we did not wait for it
  std::ofstream(Release).put('x');
  EXPECT_TRUE(Appears(Done));
  EXPECT_TRUE(NoChildLeft());
}

// Each call looks along PATH as it is then: a folder without the program, or
// with one that cannot be run, is passed over, and a call that finds none
// starts nothing and leaves nothing remembered for the next.
TEST(ShellOpen, RunsTheXdgOpenThatPathNamesAtEachCall) {
  const fs::path Dir = Scratch(), Record = Dir / "record";
  const fs::path None = Dir / "none", NotRunnable = Dir / "notrunnable", First = Dir / "first",
                 Second = Dir / "second";
  for (const fs::path& D : {None, NotRunnable, First, Second}) fs::create_directories(D);
  // Each stand-in writes one line: which one ran, then its arguments.
  const auto StandIn = [&](const fs::path& Folder, const std::string& Tag, fs::perms Perms) {
    {
      std::ofstream Script(Folder / "xdg-open");
      Script << "#!/bin/sh\n"
             << "{ printf '%s|' " << Tag << " \"$#\" \"$@\"; echo; } >> '" << Record.string() << "'\n";
    }
    fs::permissions(Folder / "xdg-open", Perms);
  };
  StandIn(NotRunnable, "notrunnable", fs::perms::owner_read | fs::perms::owner_write);
  StandIn(First, "first", fs::perms::owner_all);
  StandIn(Second, "second", fs::perms::owner_all);
  const auto Open = [](const fs::path& Path, const std::string& Target) {
    PathSwap Swap(Path.string());
    ShellOpen(Target, "");
  };
  // The whole record once it holds Lines lines; what it holds after ten seconds otherwise.
  const auto RecordOf = [&](int Lines) {
    for (int I = 0; I < 1000; ++I) {
      const std::string Text = fs::exists(Record) ? Slurp(Record) : std::string();
      if (std::count(Text.begin(), Text.end(), '\n') >= Lines) return Text;
      ::usleep(10000);
    }
    return fs::exists(Record) ? Slurp(Record) : std::string();
  };

  Open(None, "http://www.example/none");
  Open(None.string() + ":" + NotRunnable.string() + ":" + First.string(), "http://www.example/first");
  EXPECT_EQ(RecordOf(1), "first|1|http://www.example/first|\n");
  // The address reaches it as one argument, untouched by any shell.
  const std::string Odd = "http://www.example/?q=$(touch x);a b'c\"d";
  Open(Second, Odd);
  EXPECT_EQ(RecordOf(2), "first|1|http://www.example/first|\nsecond|1|" + Odd + "|\n");
  EXPECT_TRUE(NoChildLeft());
}

// The host build's ShellOpen starts xdg-open: here a stand-in script found
// first along PATH, which records its arguments and then waits to be
// released, so the test sees that the caller did not wait for it and that no
// child of the caller is left over.
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

TEST(ShellOpen, WithoutXdgOpenNothingHappens) {
  const fs::path Empty = Scratch();
  {
    PathSwap Path(Empty.string());
    ShellOpen("http://www.example/", "");
  }
  EXPECT_TRUE(NoChildLeft());
}

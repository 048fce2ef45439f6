// Times the version list's field splitter on long lines of three shapes
// against a plain split at every comma (quotes ignored) of the same line, in
// one run. The list comes from the network, so a long line must cost time in
// proportion to its length. usage: csvbench [KILOBYTES...]
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "util/TextUtils.h"

namespace {

double Now() {
  timespec T{};
  ::clock_gettime(CLOCK_MONOTONIC, &T);
  return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) / 1e9;
}

// The best of three calls (one when a call takes more than a second), in seconds.
double Seconds(const std::function<void()>& Call) {
  double Best = 1e300;
  for (int Round = 0; Round < 3; ++Round) {
    const double Start = Now();
    Call();
    Best = std::min(Best, Now() - Start);
    if (Best > 1) break;
  }
  return Best;
}

std::string Repeat(const std::string& Piece, std::size_t Size) {
  std::string Line;
  while (Line.size() < Size) Line += Piece;
  return Line;
}

std::size_t PlainSplit(const std::string& Line) {
  std::vector<std::string> Fields;
  std::size_t At = 0;
  for (std::size_t Comma; (Comma = Line.find(',', At)) != std::string::npos; At = Comma + 1)
    Fields.push_back(Line.substr(At, Comma - At));
  Fields.push_back(Line.substr(At));
  return Fields.size();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> Sizes;
  for (int I = 1; I < argc; ++I) Sizes.push_back(std::strtoul(argv[I], nullptr, 10) * 1024);
  if (Sizes.empty()) Sizes = {64 * 1024, 1024 * 1024};
  const struct {
    const char* Name;
    const char* Prefix;
    const char* Piece;
  } Shapes[] = {
      {"short fields", "", "abc,"},
      {"quoted fields", "", "\"x\"\"y,z\","},
      // One quoted field of escaped quotes and commas, never closed.
      {"one long field", "\"", "a\"\","},
  };
  std::printf("%-20s %9s %12s %12s %8s\n", "line", "size", "SplitCsvLine", "plain split", "ratio");
  for (const auto& Shape : Shapes) {
    for (std::size_t Size : Sizes) {
      const std::string Line = Shape.Prefix + Repeat(Shape.Piece, Size);
      TStringList List;
      const double Ours = Seconds([&] { SplitCsvLine(Line, List); });
      std::size_t Count = 0;
      const double Peer = Seconds([&] { Count = PlainSplit(Line); });
      std::printf("%-20s %7zu KB %10.4f s %10.4f s %8.1f\n", Shape.Name, Line.size() / 1024, Ours, Peer, Ours / Peer);
    }
  }
  return 0;
}

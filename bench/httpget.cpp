// Fetches one URL into one file with THttpCli::Get, the way the checker's
// downloads run (a file stream, no data handler), and prints the seconds it
// took and the bytes stored. usage: httpget URL FILE
#include <cstdio>

#include "framework/Streams.h"
#include "http/HttpProt.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: httpget URL FILE\n");
    return 2;
  }
  THttpCli Http(nullptr);
  TFileStream File(argv[2], fmCreate);
  Http.SetURL(argv[1]);
  Http.SetDocStream(&File);
  // <chrono> does not build with the Shift-JIS literals; milliseconds will do.
  const std::uint64_t Start = plat::TickCount();
  try {
    Http.Get();
  } catch (EHttpException& E) {
    std::fprintf(stderr, "httpget: %s (%u)\n", E.Message().c_str(), E.ErrorCode());
    return 1;
  }
  const double Took = static_cast<double>(plat::TickCount() - Start) / 1000.0;
  std::printf("%.3f %lld\n", Took, static_cast<long long>(File.Size()));
  return 0;
}

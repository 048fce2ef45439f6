// The checker's own fetch of one document (its pace: 10 ms of sleep per piece
// of the body) against the same client fetching the same document with no
// data handler, in one run. Prints the pieces, both times and the time each
// piece added.
//
// usage: fetchpace URL FILE
#include <cstdio>
#include <memory>

#include "app/UDravin.h"
#include "framework/Streams.h"
#include "platform/Platform.h"

namespace {

double Seconds(std::uint64_t Since) { return static_cast<double>(plat::TickCount() - Since) / 1000; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: fetchpace URL FILE\n", stderr);
    return 2;
  }
  TFormApplication App;
  auto* F = App.CreateForm<TFormDravin>();

  // The network alone: a client of the same form's settings, no handler.
  std::uint64_t Start = plat::TickCount();
  std::int64_t Plain = 0;
  {
    TFileStream Out(argv[2], fmCreate);
    THttpCli Client(nullptr);
    Client.SetURL(argv[1]);
    Client.SetDocStream(&Out);
    Client.Get();
    Plain = Out.Size();
  }
  const double Network = Seconds(Start);

  int Pieces = 0;
  const auto Handler = F->HttpCli1->OnDocData;
  F->HttpCli1->OnDocData = [&](TObject* Sender, const void* Buffer, std::int32_t Len) {
    ++Pieces;
    Handler(Sender, Buffer, Len);
  };
  Start = plat::TickCount();
  const int Ours = F->DownloadToFile(argv[1], argv[2]);
  const double Paced = Seconds(Start);
  if (Ours <= 0 || Ours != Plain) {
    std::fprintf(stderr, "fetchpace: %d bytes against %lld\n", Ours, static_cast<long long>(Plain));
    return 1;
  }
  std::printf("%d bytes in %d pieces: DownloadToFile %.3f s, the client alone %.3f s, %.2f ms more per piece, "
              "ratio %.2f\n",
              Ours, Pieces, Paced, Network, (Paced - Network) * 1000 / Pieces, Paced / Network);
  return 0;
}

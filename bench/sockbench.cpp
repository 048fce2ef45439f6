// Loopback throughput: one TWSocket streaming to another TWSocket in the same
// message loop, against two plain blocking sockets (a writer thread and a
// reader) moving the same bytes. The blocking writer sends pieces of 1460
// bytes, the size of the TWSocket's send blocks, and once more in large
// pieces; both readers read up to ReadSize bytes at a time.
//
// usage: sockbench [MEGABYTES [RUNS]]
// Each way runs RUNS times (3 by default) and its best time counts; prints
// seconds, MB/s and the ratios.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackBench.h"

namespace {

using namespace bench;

constexpr int ReadSize = 256 * 1024;
constexpr int FeedSize = 256 * 1024;

double StreamBetweenTWSockets(long long Total) {
  TWSocketPair Pair;
  TWSocket &Sender = Pair.Near, &Receiver = Pair.Far;
  std::vector<char> Chunk(FeedSize, 'x');
  std::vector<char> In(ReadSize);
  long long Queued = 0, Received = 0;
  bool Started = false;
  auto Feed = [&] {
    if (!Started || Queued >= Total) return;
    const int N = static_cast<int>(std::min<long long>(FeedSize, Total - Queued));
    Queued += Sender.Send(Chunk.data(), N);
  };
  // Fed again each time the chain has drained into the system.
  Sender.OnDataSent = [&](TObject*, std::uint16_t) { Feed(); };
  Receiver.OnDataAvailable = [&](TObject*, std::uint16_t) {
    const int N = Receiver.Receive(In.data(), ReadSize);
    if (N > 0) Received += N;
  };
  Pair.Open();

  const std::uint64_t Start = plat::TickCount();
  Started = true;
  Feed();
  Pump([&] { return Received >= Total; });
  return Seconds(Start);
}

double StreamBetweenBlockingSockets(long long Total, int WriteSize) {
  BlockingPair Pair;
  const plat::sock::Socket Writer = Pair.Near, Reader = Pair.Far;
  const std::uint64_t Start = plat::TickCount();
  std::thread Sending([&] {
    std::vector<char> Chunk(static_cast<std::size_t>(WriteSize), 'x');
    long long Sent = 0;
    while (Sent < Total) {
      const int N = wsock::send(Writer, Chunk.data(), static_cast<int>(std::min<long long>(WriteSize, Total - Sent)), 0);
      if (N <= 0) Fail("send failed");
      Sent += N;
    }
  });
  std::vector<char> In(ReadSize);
  long long Received = 0;
  while (Received < Total) {
    const int N = wsock::recv(Reader, In.data(), ReadSize, 0);
    if (N <= 0) Fail("recv failed");
    Received += N;
  }
  const double Spent = Seconds(Start);
  Sending.join();
  return Spent;
}

}  // namespace

int main(int argc, char** argv) {
  const long long Megabytes = argc > 1 ? std::atoll(argv[1]) : 512;
  const int Runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const long long Total = Megabytes * 1024 * 1024;
  // A socket object holds the library for the blocking runs as well: the
  // last one to go takes the library, and its sockets, with it.
  TWSocket Holder(nullptr);
  double Ours = 1e9, Plain = 1e9, Large = 1e9;
  for (int Run = 0; Run < Runs; ++Run) {
    Ours = std::min(Ours, StreamBetweenTWSockets(Total));
    Plain = std::min(Plain, StreamBetweenBlockingSockets(Total, 1460));
    Large = std::min(Large, StreamBetweenBlockingSockets(Total, FeedSize));
  }
  const double Mb = static_cast<double>(Total) / 1e6;
  std::printf("TWSocket -> TWSocket, one loop     %7.3f s %8.1f MB/s\n", Ours, Mb / Ours);
  std::printf("blocking, 1460-byte sends, 2 threads %7.3f s %8.1f MB/s\n", Plain, Mb / Plain);
  std::printf("blocking, %d-byte sends          %7.3f s %8.1f MB/s\n", FeedSize, Large, Mb / Large);
  std::printf("ratio TWSocket/blocking (1460-byte sends) %.2f\n", Plain / Ours);
  std::printf("ratio TWSocket/blocking (%d-byte sends) %.2f\n", FeedSize, Large / Ours);
  return 0;
}

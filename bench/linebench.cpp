// Line-mode echo over loopback: a client sends LINES lines of 80 bytes (CR LF
// included), an echoing server cuts them into lines and sends each one back,
// and the client cuts the echo into lines and counts them. Once with two
// TWSockets in line mode in one message loop, once with plain blocking
// sockets (a server thread, a writer thread, a reader) and a line splitter of
// the same rules: the marker searched from where the last read could have
// left half of it, one send per line echoed; and in the host build once
// more in one thread, one poll() loop over two non-blocking sockets, the
// event-driven socket's fair peer.
//
// usage: linebench [LINES [RUNS]]
// Each way runs RUNS times (3 by default) and its best time counts.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackBench.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#endif

namespace {

using namespace bench;

constexpr int LineSize = 80;
constexpr int FeedLines = 800;  // lines handed to the sender at a time

std::string Lines(int Count) {
  std::string Line(LineSize - 2, 'x');
  Line += "\r\n";
  std::string All;
  for (int I = 0; I < Count; ++I) All += Line;
  return All;
}

double EchoBetweenTWSockets(long Total) {
  TWSocketPair Pair;
  TWSocket &Client = Pair.Near, &Echoer = Pair.Far;
  Echoer.SetLineMode(true);
  Client.SetLineMode(true);
  char Line[256];
  Echoer.OnDataAvailable = [&](TObject*, std::uint16_t) {
    const int N = Echoer.Receive(Line, sizeof Line);
    if (N > 0) Echoer.Send(Line, N);
  };
  long Echoed = 0, Queued = 0;
  bool Started = false;
  const std::string Feed = Lines(FeedLines);
  auto More = [&] {
    if (!Started || Queued >= Total) return;
    const long N = std::min<long>(FeedLines, Total - Queued);
    Client.Send(Feed.data(), static_cast<int>(N * LineSize));
    Queued += N;
  };
  Client.OnDataSent = [&](TObject*, std::uint16_t) { More(); };
  Client.OnDataAvailable = [&](TObject*, std::uint16_t) {
    char Back[256];
    if (Client.Receive(Back, sizeof Back) == LineSize) ++Echoed;
  };
  Pair.Open();
  const std::uint64_t Start = plat::TickCount();
  Started = true;
  More();
  Pump([&] { return Echoed >= Total; });
  return Seconds(Start);
}

// The same rules as the socket's line mode, for a blocking reader: bytes are
// appended, the marker is searched from where a split one could start, and
// each complete line is handed on and removed.
class LineSplitter {
 public:
  template <typename OnLine>
  void Add(const char* Data, int Count, OnLine&& Line) {
    std::size_t From = FHeld.size() >= 2 ? FHeld.size() - 1 : 0;
    FHeld.append(Data, static_cast<std::size_t>(Count));
    std::size_t Start = 0;
    for (;;) {
      const std::size_t At = FHeld.find("\r\n", std::max(From, Start));
      if (At == std::string::npos) break;
      Line(FHeld.data() + Start, static_cast<int>(At + 2 - Start));
      Start = At + 2;
      From = Start;
    }
    FHeld.erase(0, Start);
  }

 private:
  std::string FHeld;
};

double EchoBetweenBlockingSockets(long Total) {
  BlockingPair Pair;
  const plat::sock::Socket Client = Pair.Near, Echoer = Pair.Far;
  const std::uint64_t Start = plat::TickCount();
  std::thread Serving([&] {
    LineSplitter Splitter;
    std::vector<char> In(65536);
    int N;
    while ((N = wsock::recv(Echoer, In.data(), static_cast<int>(In.size()), 0)) > 0)
      Splitter.Add(In.data(), N, [&](const char* Line, int Size) {
        if (wsock::send(Echoer, Line, Size, 0) != Size) Fail("echo failed");
      });
  });
  std::thread Writing([&] {
    const std::string Feed = Lines(FeedLines);
    for (long Sent = 0; Sent < Total; Sent += FeedLines) {
      const int Size = static_cast<int>(std::min<long>(FeedLines, Total - Sent) * LineSize);
      for (int Done = 0; Done < Size;) {
        const int N = wsock::send(Client, Feed.data() + Done, Size - Done, 0);
        if (N <= 0) Fail("send failed");
        Done += N;
      }
    }
  });
  LineSplitter Splitter;
  std::vector<char> In(65536);
  long Echoed = 0;
  while (Echoed < Total) {
    const int N = wsock::recv(Client, In.data(), static_cast<int>(In.size()), 0);
    if (N <= 0) Fail("recv failed");
    Splitter.Add(In.data(), N, [&](const char*, int Size) { Echoed += Size == LineSize; });
  }
  const double Spent = Seconds(Start);
  Writing.join();
  wsock::shutdown(Client, 1);
  Serving.join();
  return Spent;
}

#ifndef _WIN32
// The fair peer of an event-driven socket: one thread, one poll() over two
// non-blocking sockets, the same splitter, one send per line echoed (what a
// send cannot take waits for the socket to be writable again).
class NonBlockingEnd {
 public:
  explicit NonBlockingEnd(int Descriptor) : FDescriptor(Descriptor) {
    ::fcntl(Descriptor, F_SETFL, ::fcntl(Descriptor, F_GETFL) | O_NONBLOCK);
  }
  int Descriptor() const { return FDescriptor; }
  bool Waiting() const { return FAt < FOut.size(); }
  // Sends Data now, or as much as the system takes and the rest later.
  void Send(const char* Data, std::size_t Size) {
    if (!Waiting()) {
      const ssize_t N = ::send(FDescriptor, Data, Size, MSG_NOSIGNAL);
      if (N < 0 && errno != EAGAIN) Fail("send failed");
      const std::size_t Sent = N > 0 ? static_cast<std::size_t>(N) : 0;
      Data += Sent;
      Size -= Sent;
    }
    FOut.append(Data, Size);
  }
  void Flush() {
    if (!Waiting()) return;
    const ssize_t N = ::send(FDescriptor, FOut.data() + FAt, FOut.size() - FAt, MSG_NOSIGNAL);
    if (N < 0 && errno != EAGAIN) Fail("send failed");
    if (N > 0) FAt += static_cast<std::size_t>(N);
    if (FAt == FOut.size()) {
      FOut.clear();
      FAt = 0;
    }
  }
  // Reads what there is; the count, 0 when nothing waits.
  int Read(std::vector<char>& Into) {
    const ssize_t N = ::recv(FDescriptor, Into.data(), Into.size(), 0);
    if (N == 0) Fail("closed");
    if (N < 0) {
      if (errno != EAGAIN) Fail("recv failed");
      return 0;
    }
    return static_cast<int>(N);
  }

 private:
  int FDescriptor;
  std::string FOut;
  std::size_t FAt = 0;
};

double EchoInOnePollLoop(long Total) {
  // The host build's handles are the system's descriptors.
  BlockingPair Pair;
  NonBlockingEnd Client(static_cast<int>(Pair.Near)), Echoer(static_cast<int>(Pair.Far));
  LineSplitter ClientLines, EchoerLines;
  std::vector<char> In(65536);
  const std::string Feed = Lines(FeedLines);
  long Queued = 0, Echoed = 0;
  const std::uint64_t Start = plat::TickCount();
  while (Echoed < Total) {
    // The client hands on the next lines once the last ones are out.
    if (!Client.Waiting() && Queued < Total) {
      const long N = std::min<long>(FeedLines, Total - Queued);
      Client.Send(Feed.data(), static_cast<std::size_t>(N * LineSize));
      Queued += N;
    }
    pollfd Fds[2] = {{Client.Descriptor(), static_cast<short>(POLLIN | (Client.Waiting() ? POLLOUT : 0)), 0},
                     {Echoer.Descriptor(), static_cast<short>(POLLIN | (Echoer.Waiting() ? POLLOUT : 0)), 0}};
    if (::poll(Fds, 2, -1) < 0) Fail("poll failed");
    if (Fds[1].revents & POLLOUT) Echoer.Flush();
    if (Fds[1].revents & POLLIN) {
      const int N = Echoer.Read(In);
      EchoerLines.Add(In.data(), N, [&](const char* Line, int Size) { Echoer.Send(Line, static_cast<std::size_t>(Size)); });
    }
    if (Fds[0].revents & POLLOUT) Client.Flush();
    if (Fds[0].revents & POLLIN) {
      const int N = Client.Read(In);
      ClientLines.Add(In.data(), N, [&](const char*, int Size) { Echoed += Size == LineSize; });
    }
  }
  return Seconds(Start);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const long Total = argc > 1 ? std::atol(argv[1]) : 1000000;
  const int Runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  TWSocket Holder(nullptr);  // keeps the library for the blocking runs
  double Ours = 1e9, Plain = 1e9, Polled = 1e9;
  for (int Run = 0; Run < Runs; ++Run) {
    Ours = std::min(Ours, EchoBetweenTWSockets(Total));
    Plain = std::min(Plain, EchoBetweenBlockingSockets(Total));
#ifndef _WIN32
    Polled = std::min(Polled, EchoInOnePollLoop(Total));
#endif
  }
  std::printf("line-mode echo of %ld lines of %d bytes\n", Total, LineSize);
  std::printf("TWSocket <-> TWSocket, line mode, one loop  %7.3f s %10.0f lines/s\n", Ours, Total / Ours);
  std::printf("blocking sockets and a splitter, 3 threads  %7.3f s %10.0f lines/s\n", Plain, Total / Plain);
#ifndef _WIN32
  std::printf("non-blocking sockets, one poll() loop       %7.3f s %10.0f lines/s\n", Polled, Total / Polled);
  std::printf("ratio TWSocket / poll loop time: %.2f\n", Ours / Polled);
#endif
  std::printf("ratio TWSocket / blocking time: %.2f\n", Ours / Plain);
  return 0;
}

// Hidden windows, posted messages, timers and the wait, for the host build.
// One queue per thread; poll() waits on a wake pipe, on watched descriptors and
// until the next timer is due. Retrieval follows Windows' priorities: posted
// messages first, then the quit message, then due timers. The descriptors are
// looked at before each retrieval, but while posted messages wait at most
// once in 20 microseconds.
#include "platform/Platform.h"
#include "platform/posix/Loop.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace plat {
namespace {

struct TimerRec {
  WindowHandle Window;
  std::uintptr_t Id;
  std::uint32_t Interval;
  std::uint64_t Due;
};

struct WatchRec {
  short Events;
  posix::FdCallback Callback;
};

struct ThreadQueue {
  ThreadQueue() {
    if (::pipe2(Wake, O_NONBLOCK | O_CLOEXEC) != 0) throw std::runtime_error("cannot create the wake pipe");
  }
  ~ThreadQueue() {
    ::close(Wake[0]);
    ::close(Wake[1]);
  }
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;

  // Shared with posting threads, and with threads that close a watched
  // descriptor.
  std::mutex Lock;
  std::deque<Message> Posted;
  bool QuitPosted = false;
  int QuitCode = 0;
  int Wake[2] = {-1, -1};
  std::map<int, WatchRec> Watches;

  // Touched by the owning thread only.
  std::vector<TimerRec> Timers;
  std::vector<pollfd> PollSet;  // kept between polls, not made anew for each
  std::uint64_t LastPoll = 0;   // when the last poll began, in microseconds
};

struct WindowRec {
  WindowProc Proc;
  void* Data;
  std::shared_ptr<ThreadQueue> Queue;
};

std::mutex gLock;  // guards the three tables below
std::unordered_map<std::string, WindowProc> gClasses;
std::unordered_map<WindowHandle, WindowRec> gWindows;
WindowHandle gNextWindow = 0x10000;
// The loop that watches each watched descriptor, for an unwatch from
// another thread.
std::unordered_map<int, std::weak_ptr<ThreadQueue>> gWatchers;

std::shared_ptr<ThreadQueue>& CurrentQueue() {
  thread_local std::shared_ptr<ThreadQueue> Queue = std::make_shared<ThreadQueue>();
  return Queue;
}

std::string ClassKey(const char* Name) {
  std::string Key = Name ? Name : "";
  for (char& C : Key) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Key;
}

void Wake(ThreadQueue& Q) {
  // The owning thread looks at its queue before it waits: a post of its own
  // needs no wake-up (and costs no system call, which matters for sockets).
  if (&Q == CurrentQueue().get()) return;
  const char Byte = 1;
  // A full pipe already guarantees a wake-up; nothing to do on EAGAIN.
  [[maybe_unused]] ssize_t N = ::write(Q.Wake[1], &Byte, 1);
}

std::uint64_t Microseconds() {
  timespec Now;
  ::clock_gettime(CLOCK_MONOTONIC, &Now);
  return static_cast<std::uint64_t>(Now.tv_sec) * 1000000 + static_cast<std::uint64_t>(Now.tv_nsec) / 1000;
}

void DrainWake(ThreadQueue& Q) {
  char Buffer[64];
  while (::read(Q.Wake[0], Buffer, sizeof Buffer) > 0) {
  }
}

// Waits at most TimeoutMs (-1: no limit) for the wake pipe or a watched
// descriptor, and runs the callbacks of the descriptors that are ready.
void PollOnce(ThreadQueue& Q, int TimeoutMs) {
  std::vector<pollfd>& Fds = Q.PollSet;
  Fds.clear();
  Fds.push_back({Q.Wake[0], POLLIN, 0});
  {
    std::lock_guard<std::mutex> Guard(Q.Lock);
    for (auto& [Fd, W] : Q.Watches)
      if (W.Events != 0) Fds.push_back({Fd, W.Events, 0});
  }
  Q.LastPoll = Microseconds();
  int N = ::poll(Fds.data(), Fds.size(), TimeoutMs);
  if (N <= 0) return;
  if (Fds[0].revents) DrainWake(Q);
  for (std::size_t I = 1; I < Fds.size(); ++I) {
    if (!Fds[I].revents) continue;
    // A callback, or another thread, may unwatch or change any descriptor:
    // look each one up afresh.
    posix::FdCallback Callback;
    {
      std::lock_guard<std::mutex> Guard(Q.Lock);
      auto It = Q.Watches.find(Fds[I].fd);
      if (It == Q.Watches.end() || It->second.Events == 0) continue;
      Callback = It->second.Callback;
    }
    Callback(Fds[I].fd, Fds[I].revents);
  }
}

// Looks at the watched descriptors before the queue is read, unless posted
// messages wait and the last look is less than PollPause old: a loop busy
// with small posted messages (a socket that sends a line per message, say)
// then costs no system call per message, while one whose messages take
// longer (streaming, say) looks before each of them, as a ready descriptor
// is news it must not sit on.
constexpr std::uint64_t PollPause = 20;  // microseconds

void PollIfDue(ThreadQueue& Q) {
  if (Microseconds() - Q.LastPoll < PollPause) {
    std::lock_guard<std::mutex> Guard(Q.Lock);
    if (!Q.Posted.empty()) return;
  }
  PollOnce(Q, 0);
}

// Takes the next message by Windows' priorities; false when there is none.
bool Fetch(ThreadQueue& Q, Message& M, bool Remove) {
  {
    std::lock_guard<std::mutex> Guard(Q.Lock);
    if (!Q.Posted.empty()) {
      M = Q.Posted.front();
      if (Remove) Q.Posted.pop_front();
      return true;
    }
    if (Q.QuitPosted) {
      M = Message{0, MsgQuit, static_cast<WParam>(Q.QuitCode), 0};
      if (Remove) Q.QuitPosted = false;
      return true;
    }
  }
  const std::uint64_t Now = TickCount();
  for (TimerRec& T : Q.Timers) {
    if (T.Due <= Now) {
      M = Message{T.Window, MsgTimer, T.Id, 0};
      if (Remove) T.Due = Now + T.Interval;
      return true;
    }
  }
  return false;
}

int MillisecondsToNextTimer(const ThreadQueue& Q) {
  if (Q.Timers.empty()) return -1;
  const std::uint64_t Now = TickCount();
  std::uint64_t Next = UINT64_MAX;
  for (const TimerRec& T : Q.Timers) Next = std::min(Next, T.Due);
  return Next <= Now ? 0 : static_cast<int>(std::min<std::uint64_t>(Next - Now, 60000));
}

bool FindWindow(WindowHandle Window, WindowRec& Rec) {
  std::lock_guard<std::mutex> Guard(gLock);
  auto It = gWindows.find(Window);
  if (It == gWindows.end()) return false;
  Rec = It->second;
  return true;
}

}  // namespace

bool RegisterWindowClass(const char* ClassName, WindowProc Proc) {
  std::lock_guard<std::mutex> Guard(gLock);
  return gClasses.emplace(ClassKey(ClassName), Proc).second;
}

bool IsWindowClassRegistered(const char* ClassName) {
  std::lock_guard<std::mutex> Guard(gLock);
  return gClasses.count(ClassKey(ClassName)) != 0;
}

bool UnregisterWindowClass(const char* ClassName) {
  std::lock_guard<std::mutex> Guard(gLock);
  const std::string Key = ClassKey(ClassName);
  auto It = gClasses.find(Key);
  if (It == gClasses.end()) return false;
  for (auto& [Handle, Rec] : gWindows)
    if (Rec.Proc == It->second) return false;  // Windows refuses while windows of it exist
  gClasses.erase(It);
  return true;
}

WindowHandle CreateHiddenWindow(const char* ClassName) {
  std::lock_guard<std::mutex> Guard(gLock);
  auto It = gClasses.find(ClassKey(ClassName));
  if (It == gClasses.end()) return 0;
  WindowHandle Handle = gNextWindow++;
  gWindows.emplace(Handle, WindowRec{It->second, nullptr, CurrentQueue()});
  return Handle;
}

bool DestroyWindow(WindowHandle Window) {
  WindowRec Rec;
  if (!FindWindow(Window, Rec)) return false;
  Rec.Proc(Window, MsgDestroy, 0, 0);
  {
    std::lock_guard<std::mutex> Guard(gLock);
    gWindows.erase(Window);
  }
  ThreadQueue& Q = *Rec.Queue;
  if (&Q == CurrentQueue().get()) {
    Q.Timers.erase(std::remove_if(Q.Timers.begin(), Q.Timers.end(),
                                  [&](const TimerRec& T) { return T.Window == Window; }),
                   Q.Timers.end());
  }
  return true;
}

bool IsWindow(WindowHandle Window) {
  std::lock_guard<std::mutex> Guard(gLock);
  return gWindows.count(Window) != 0;
}

void SetWindowData(WindowHandle Window, void* Data) {
  std::lock_guard<std::mutex> Guard(gLock);
  auto It = gWindows.find(Window);
  if (It != gWindows.end()) It->second.Data = Data;
}

void* GetWindowData(WindowHandle Window) {
  std::lock_guard<std::mutex> Guard(gLock);
  auto It = gWindows.find(Window);
  return It == gWindows.end() ? nullptr : It->second.Data;
}

LResult DefWindowProc(WindowHandle, std::uint32_t, WParam, LParam) { return 0; }

bool PostMessage(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam lParam) {
  // A post to the calling thread's own queue (the common case: a socket
  // telling itself) is made under the window table's lock: the queue cannot
  // go while its own thread posts. Another thread's queue is held for the
  // post and the wake-up.
  ThreadQueue* const Own = CurrentQueue().get();
  std::shared_ptr<ThreadQueue> Other;
  {
    std::lock_guard<std::mutex> Guard(gLock);
    auto It = gWindows.find(Window);
    if (It == gWindows.end()) return false;
    if (It->second.Queue.get() == Own) {
      std::lock_guard<std::mutex> QueueGuard(Own->Lock);
      Own->Posted.push_back(Message{Window, Msg, wParam, lParam});
      return true;
    }
    Other = It->second.Queue;
  }
  {
    std::lock_guard<std::mutex> Guard(Other->Lock);
    Other->Posted.push_back(Message{Window, Msg, wParam, lParam});
  }
  Wake(*Other);
  return true;
}

LResult SendMessage(WindowHandle Window, std::uint32_t Msg, WParam wParam, LParam lParam) {
  WindowProc Proc;
  {
    std::lock_guard<std::mutex> Guard(gLock);
    auto It = gWindows.find(Window);
    if (It == gWindows.end()) return 0;
    Proc = It->second.Proc;
  }
  return Proc(Window, Msg, wParam, lParam);
}

void PostQuitMessage(int ExitCode) {
  ThreadQueue& Q = *CurrentQueue();
  std::lock_guard<std::mutex> Guard(Q.Lock);
  Q.QuitPosted = true;
  Q.QuitCode = ExitCode;
}

bool PeekMessage(Message& M, bool Remove) {
  ThreadQueue& Q = *CurrentQueue();
  PollIfDue(Q);
  return Fetch(Q, M, Remove);
}

bool PeekMessage(Message& M, WindowHandle Window, std::uint32_t First, std::uint32_t Last, bool Remove) {
  ThreadQueue& Q = *CurrentQueue();
  std::lock_guard<std::mutex> Guard(Q.Lock);
  for (auto It = Q.Posted.begin(); It != Q.Posted.end(); ++It) {
    if (It->Window != Window || It->Msg < First || It->Msg > Last) continue;
    M = *It;
    if (Remove) Q.Posted.erase(It);
    return true;
  }
  return false;
}

bool GetMessage(Message& M) {
  ThreadQueue& Q = *CurrentQueue();
  PollIfDue(Q);
  while (!Fetch(Q, M, true)) PollOnce(Q, MillisecondsToNextTimer(Q));
  return M.Msg != MsgQuit;
}

void WaitMessage() {
  ThreadQueue& Q = *CurrentQueue();
  Message M;
  PollIfDue(Q);
  while (!Fetch(Q, M, false)) PollOnce(Q, MillisecondsToNextTimer(Q));
}

LResult DispatchMessage(const Message& M) {
  if (M.Window == 0) return 0;
  return SendMessage(M.Window, M.Msg, M.wParam, M.lParam);
}

void TranslateMessage(const Message&) {}

bool SetTimer(WindowHandle Window, std::uintptr_t Id, std::uint32_t Milliseconds) {
  if (!IsWindow(Window)) return false;
  // Windows raises intervals below 10 ms to 10 ms.
  const std::uint32_t Interval = std::max<std::uint32_t>(Milliseconds, 10);
  ThreadQueue& Q = *CurrentQueue();
  const std::uint64_t Due = TickCount() + Interval;
  for (TimerRec& T : Q.Timers) {
    if (T.Window == Window && T.Id == Id) {
      T.Interval = Interval;
      T.Due = Due;
      return true;
    }
  }
  Q.Timers.push_back(TimerRec{Window, Id, Interval, Due});
  return true;
}

bool KillTimer(WindowHandle Window, std::uintptr_t Id) {
  ThreadQueue& Q = *CurrentQueue();
  auto It = std::find_if(Q.Timers.begin(), Q.Timers.end(),
                         [&](const TimerRec& T) { return T.Window == Window && T.Id == Id; });
  if (It == Q.Timers.end()) return false;
  Q.Timers.erase(It);
  return true;
}

void Sleep(std::uint32_t Milliseconds) {
  timespec Wait{static_cast<time_t>(Milliseconds / 1000), static_cast<long>(Milliseconds % 1000) * 1000000L};
  if (Milliseconds == 0) {
    ::sched_yield();
    return;
  }
  while (::nanosleep(&Wait, &Wait) != 0 && errno == EINTR) {
  }
}

std::uint64_t TickCount() { return Microseconds() / 1000; }

namespace posix {

void WatchFd(int Fd, short Events, FdCallback Callback) {
  const std::shared_ptr<ThreadQueue>& Q = CurrentQueue();
  UnwatchFd(Fd);  // a watch of another thread's loop ends here
  {
    std::lock_guard<std::mutex> Guard(gLock);
    gWatchers[Fd] = Q;
  }
  std::lock_guard<std::mutex> Guard(Q->Lock);
  Q->Watches[Fd] = WatchRec{Events, std::move(Callback)};
}

void SetFdEvents(int Fd, short Events) {
  ThreadQueue& Q = *CurrentQueue();
  std::lock_guard<std::mutex> Guard(Q.Lock);
  auto It = Q.Watches.find(Fd);
  if (It != Q.Watches.end()) It->second.Events = Events;
}

void UnwatchFd(int Fd) {
  std::shared_ptr<ThreadQueue> Q;
  {
    std::lock_guard<std::mutex> Guard(gLock);
    auto It = gWatchers.find(Fd);
    if (It == gWatchers.end()) return;
    Q = It->second.lock();
    gWatchers.erase(It);
  }
  if (!Q) return;
  {
    std::lock_guard<std::mutex> Guard(Q->Lock);
    Q->Watches.erase(Fd);
  }
  // A loop waiting in poll() on the descriptor would go on waiting on it
  // after it is closed: it is woken to look again.
  Wake(*Q);
}

std::size_t WatchCount() {
  ThreadQueue& Q = *CurrentQueue();
  std::lock_guard<std::mutex> Guard(Q.Lock);
  return Q.Watches.size();
}

}  // namespace posix
}  // namespace plat

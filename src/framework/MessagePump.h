// The one message pump of the program. Every place that keeps the thread's
// messages moving while it works goes through here: the application's
// ProcessMessages, the utilities' waits, the socket layer's pump, a
// synchronous request's wait and the tests. Callers differ only in which
// queue they drain and in what the quit message means to them, and both are
// spelt out at each call.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Platform.h"

// What a pump does with the quit message it meets. It is never dispatched.
enum class TQuitRule {
  Report,  // the pump goes on and tells its caller that one came
  Keep,    // the pump stops and leaves it queued, for the loop that owns the thread
  Drop,    // the pump goes on and forgets it
};

// Which processing a pump turn uses.
enum class TPumpQueue {
  // The application's ProcessMessages when the application object exists (a
  // quit message then makes it Terminated); the thread's queue otherwise.
  Application,
  // The calling thread's queue, drained here, whatever else exists.
  Thread,
};

using TMessageDispatch = std::function<void(plat::Message& M)>;

struct TPumpResult {
  int Handled = 0;       // messages dispatched
  bool QuitMet = false;  // a quit message came out of the queue
};

// Takes what is waiting in the calling thread's queue, without waiting for
// more, and dispatches it (Dispatch, or translate and dispatch when unset).
// Stops when the queue is empty, after Limit messages (negative: no limit), or
// at a quit message kept by Rule.
TPumpResult ProcessThreadMessages(TQuitRule Rule, const TMessageDispatch& Dispatch = nullptr, int Limit = -1);

// One turn of processing what is waiting. Returns true when a quit message
// came out of the thread's queue in this call; on the application's path the
// application records it in Terminated instead, and false is returned.
bool ProcessWaitingMessages(TPumpQueue Queue, TQuitRule Rule);

// Waits for Done by turns: Turn, then, unless Done, a sleep of SleepMs (0
// gives up the time slice) on the framework's clock. With TimeoutMs >= 0 it
// gives up after that many milliseconds of real time. Returns whether Done
// holds. Done is asked before every turn, so anything the turn may free must
// be looked at through Done, never afterwards.
bool PumpUntil(const std::function<bool()>& Done, const std::function<void()>& Turn, std::uint32_t SleepMs = 1,
               std::int64_t TimeoutMs = -1);
// The same with ProcessWaitingMessages(Queue, Rule) as the turn.
bool PumpUntil(const std::function<bool()>& Done, TPumpQueue Queue, TQuitRule Rule, std::uint32_t SleepMs = 1,
               std::int64_t TimeoutMs = -1);

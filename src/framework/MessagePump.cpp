#include "framework/MessagePump.h"

#include "framework/Application.h"
#include "framework/SysUtils.h"

TPumpResult ProcessThreadMessages(TQuitRule Rule, const TMessageDispatch& Dispatch, int Limit) {
  TPumpResult Result;
  plat::Message M;
  while (Limit < 0 || Result.Handled < Limit) {
    if (!plat::PeekMessage(M, true)) break;
    if (M.Msg == plat::MsgQuit) {
      Result.QuitMet = true;
      if (Rule == TQuitRule::Keep) {
        // Taken out to be seen; put back for the loop that owns the thread.
        plat::PostQuitMessage(static_cast<int>(M.wParam));
        break;
      }
      continue;
    }
    ++Result.Handled;
    if (Dispatch) {
      Dispatch(M);
    } else {
      plat::TranslateMessage(M);
      plat::DispatchMessage(M);
    }
  }
  return Result;
}

bool ProcessWaitingMessages(TPumpQueue Queue, TQuitRule Rule) {
  if (Queue == TPumpQueue::Application && Application) {
    Application->ProcessMessages();
    return false;
  }
  return ProcessThreadMessages(Rule).QuitMet;
}

bool PumpUntil(const std::function<bool()>& Done, const std::function<void()>& Turn, std::uint32_t SleepMs,
               std::int64_t TimeoutMs) {
  const std::uint64_t Start = plat::TickCount();
  while (!Done()) {
    if (TimeoutMs >= 0 && plat::TickCount() - Start > static_cast<std::uint64_t>(TimeoutMs)) return false;
    Turn();
    if (Done()) break;
    Sleep(SleepMs);
  }
  return true;
}

bool PumpUntil(const std::function<bool()>& Done, TPumpQueue Queue, TQuitRule Rule, std::uint32_t SleepMs,
               std::int64_t TimeoutMs) {
  return PumpUntil(Done, [Queue, Rule] { ProcessWaitingMessages(Queue, Rule); }, SleepMs, TimeoutMs);
}

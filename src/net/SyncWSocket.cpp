#include "net/SyncWSocket.h"

int TCustomSyncWSocket::RunAndWait(const std::function<void()>& Proc, bool& Flag) {
  Flag = false;
  const TLifeCheck Life = LifeCheck();
  if (Proc) Proc();
  if (!Life.Lives()) return WaitQuit;
  return WaitForFlag(Flag);
}

int TCustomSyncWSocket::WaitForFlag(bool& Flag) {
  // The pump may free the socket: the wait ends there, without its flag.
  const TLifeCheck Life = LifeCheck();
  while (!Flag) {
    if ((Application && Application->Terminated()) || FQuitSeen) return WaitQuit;
    PumpSocketMessages();
    if (!Life.Lives()) return WaitQuit;
    if (Flag) break;
    plat::Sleep(0);  // the rest of the time slice goes to others
  }
  return 0;
}

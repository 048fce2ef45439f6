#include "net/SyncWSocket.h"

int TCustomSyncWSocket::RunAndWait(const std::function<void()>& Proc, bool& Flag) {
  Flag = false;
  if (Proc) Proc();
  return WaitForFlag(Flag);
}

int TCustomSyncWSocket::WaitForFlag(bool& Flag) {
  while (!Flag) {
    if ((Application && Application->Terminated()) || FQuitSeen) return WaitQuit;
    PumpSocketMessages();
    if (Flag) break;
    plat::Sleep(0);  // the rest of the time slice goes to others
  }
  return 0;
}

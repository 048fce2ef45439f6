// TCustomSyncWSocket: waiting, without a time limit, for a flag that an event
// handler sets, while the socket's messages are pumped.
#pragma once

#include <functional>

#include "net/LineWSocket.h"

// Returned by WaitForFlag when the wait ended because the program is ending,
// or because a handler run by its pump freed the socket.
constexpr int WaitQuit = 12001;

class TCustomSyncWSocket : public TCustomLineWSocket {
 public:
  using TCustomLineWSocket::TCustomLineWSocket;
  const char* ClassName() const override { return "TCustomSyncWSocket"; }

  // Clears Flag, calls Proc (when given), then waits for Flag. Proc, or a
  // handler it starts, is expected to set it.
  virtual int RunAndWait(const std::function<void()>& Proc, bool& Flag);
  // 0 once Flag is true; WaitQuit when the application terminates or a quit
  // message was met while pumping. The flag may live in a handler's object:
  // it is read again after every pump.
  virtual int WaitForFlag(bool& Flag);
};

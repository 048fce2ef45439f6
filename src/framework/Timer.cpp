#include "framework/Timer.h"

namespace {

constexpr std::uintptr_t TimerId = 1;

}  // namespace

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  FWindow = AllocateHWnd([this](TMessage& M) { WndProc(M); });
  if (!FWindow) throw EInvalidOperation("Cannot create a window for the timer");
  UpdateTimer();
}

TTimer::~TTimer() {
  FEnabled = false;
  plat::KillTimer(FWindow, TimerId);
  DeallocateHWnd(FWindow);
}

void TTimer::SetEnabled(bool Value) {
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(std::uint32_t Value) {
  FInterval = Value;
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  plat::KillTimer(FWindow, TimerId);
  if (!FEnabled || FInterval == 0 || InState(csDesigning) || InState(csLoading)) return;
  if (!plat::SetTimer(FWindow, TimerId, FInterval)) throw EInvalidOperation("Not enough timers available");
}

void TTimer::WndProc(TMessage& Message) {
  if (Message.Msg != plat::MsgTimer) {
    DefaultHandler(Message);
    return;
  }
  try {
    Fire(OnTimer, this);
  } catch (Exception& E) {
    if (Application) Application->HandleException(this, E);
    else throw;
  }
}

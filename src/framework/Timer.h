// A component that fires OnTimer every Interval milliseconds while enabled.
#pragma once

#include "framework/Application.h"

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  const char* ClassName() const override { return "TTimer"; }

  bool Enabled() const { return FEnabled; }
  // Setting either property restarts the countdown; an interval of 0 stops it.
  void SetEnabled(bool Value);
  std::uint32_t Interval() const { return FInterval; }
  void SetInterval(std::uint32_t Value);
  void Loaded() override;

  TNotifyEvent OnTimer;

 private:
  void UpdateTimer();
  void WndProc(TMessage& Message);
  bool FEnabled = true;
  std::uint32_t FInterval = 1000;
  plat::WindowHandle FWindow = 0;
};

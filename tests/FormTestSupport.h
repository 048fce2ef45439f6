// Forms on real windows (under Wine) and headless ones, as the tests look at
// them: painted now, read back pixel by pixel, and given mouse input.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "TestSupport.h"
#include "framework/Forms.h"
#include "platform/Gui.h"

namespace testsupport {

// Shows the form and lets it paint everything now.
inline void ShowPainted(TFormApplication& App, TForm* F) {
  F->Show();
  F->Repaint();
  App.ProcessMessages();
}

// A test with an application of forms of its own, freed at the end with
// every message its windows left behind.
class FormAppTest : public testing::Test {
 protected:
  void TearDown() override {
    delete App;
    DrainQueue();
  }
  void ShowPainted(TForm* F) { testsupport::ShowPainted(*App, F); }
  TFormApplication* App = new TFormApplication();
};

// The colour on the form's client area at X, Y.
inline TColor PixelAt(TForm* F, int X, int Y) {
  plat::WindowSurface S(F->Handle());
  const std::vector<std::uint32_t> P = plat::ReadPixels(S.Surface(), plat::Bounds{X, Y, 1, 1});
  return P.empty() ? 0xFFFFFFFF : P[0];
}

// A mouse message at X, Y of the client area, as the window system sends it.
inline void Mouse(TForm* F, std::uint32_t Msg, int X, int Y) {
  plat::SendMessage(F->Handle(), Msg, 0, plat::MakePoint(X, Y));
}

}  // namespace testsupport

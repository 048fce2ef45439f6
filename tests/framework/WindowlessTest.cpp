// Windowless controls on real windows (under Wine) and on the headless ones:
// what the form paints, where mouse input goes, the dialog keys, the frame
// and the outline of a form.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FormTestSupport.h"
#include "TestSupport.h"
#include "framework/Forms.h"
#include "platform/Gui.h"

using testsupport::Mouse;
using testsupport::PixelAt;

namespace {

constexpr TColor Red = RGBColor(255, 0, 0), Green = RGBColor(0, 255, 0), Blue = RGBColor(0, 0, 255);
constexpr TColor Face = RGBColor(200, 220, 240);

// Records the mouse as a windowless control sees it.
class TProbe : public TGraphicControl {
 public:
  explicit TProbe(TComponent* AOwner) : TGraphicControl(AOwner) {
    OnClick = [this](TObject*) { Events.push_back("click"); };
    OnDblClick = [this](TObject*) { Events.push_back("dblclick"); };
    OnMouseDown = [this](TObject*, TMouseButton B, int X, int Y) { Events.push_back(Say("down", B, X, Y)); };
    OnMouseUp = [this](TObject*, TMouseButton B, int X, int Y) { Events.push_back(Say("up", B, X, Y)); };
  }
  static std::string Say(const char* What, TMouseButton B, int X, int Y) {
    return std::string(What) + (B == TMouseButton::mbLeft ? " left " : " right ") + IntToStr(X) + "," + IntToStr(Y);
  }
  std::vector<std::string> Events;
};

class TPaintForm : public TForm {
 public:
  explicit TPaintForm(TComponent* AOwner) : TForm(AOwner) {
    SetCaption("絵");
    SetBounds(60, 60, 120, 80);
    SetColor(Face);
    SetFont("ＭＳ Ｐゴシック", 12);
  }
  const char* ClassName() const override { return "TPaintForm"; }
};

// Two by two: red, green over blue, red.
void Squares(TBitmap& B) {
  B.SetPixelFormat(pf24bit);
  B.SetSize(2, 2);
  B.SetPixel(0, 0, Red);
  B.SetPixel(1, 0, Green);
  B.SetPixel(0, 1, Blue);
  B.SetPixel(1, 1, Red);
}

class Windowless : public testsupport::FormAppTest {};

}  // namespace

TEST_F(Windowless, TheFormPaintsItsColourAndItsPicturesInOrder) {
  auto* F = App->CreateForm<TPaintForm>();
  auto* Under = NewControl<TImage>(F, "Under", 10, 10, 40, 40);
  Under->SetStretch(true);
  TBitmap Picture;
  Squares(Picture);
  Under->SetPicture(Picture);
  // A second picture over the first one's lower right quarter, at its own size.
  auto* Over = NewControl<TImage>(F, "Over", 40, 40, 30, 30);
  TBitmap One;
  One.SetPixelFormat(pf24bit);
  One.SetSize(5, 5);
  for (int Y = 0; Y < 5; ++Y)
    for (int X = 0; X < 5; ++X) One.SetPixel(X, Y, Green);
  Over->SetPicture(One);
  ShowPainted(F);

  struct Case {
    int X, Y;
    TColor Expected;
  } Cases[] = {
      {2, 2, Face},    {15, 15, Red},  {45, 15, Green}, {15, 45, Blue},
      {35, 35, Red},   {42, 42, Green},  // the later control wins
      {46, 46, Red},                     // Over draws its picture at its own size, not over all of it
      {55, 30, Face},
  };
  for (const Case& C : Cases) EXPECT_EQ(PixelAt(F, C.X, C.Y), C.Expected) << C.X << "," << C.Y;

  // A hidden control is painted over by what is beneath it.
  Over->SetVisible(false);
  App->ProcessMessages();
  EXPECT_EQ(PixelAt(F, 42, 42), Red);
}

TEST_F(Windowless, MouseInputGoesToTheControlUnderItAndClicksFollowItsRectangle) {
  auto* F = App->CreateForm<TPaintForm>();
  auto* P = NewControl<TProbe>(F, "Probe", 10, 10, 20, 20);
  F->Show();
  struct Case {
    const char* What;
    std::vector<std::pair<std::uint32_t, std::pair<int, int>>> Input;
    std::vector<std::string> Events;
  } Cases[] = {
      {"press and release inside", {{plat::MsgLButtonDown, {15, 15}}, {plat::MsgLButtonUp, {16, 17}}},
       {"down left 5,5", "up left 6,7", "click"}},
      {"released outside: the control keeps the mouse, no click",
       {{plat::MsgLButtonDown, {12, 12}}, {plat::MsgLButtonUp, {80, 70}}}, {"down left 2,2", "up left 70,60"}},
      {"right button: no click", {{plat::MsgRButtonDown, {15, 15}}, {plat::MsgRButtonUp, {15, 15}}},
       {"down right 5,5", "up right 5,5"}},
      {"pressed elsewhere: only the release, no click",
       {{plat::MsgLButtonDown, {50, 50}}, {plat::MsgLButtonUp, {15, 15}}}, {"up left 5,5"}},
      {"double click", {{plat::MsgLButtonDblClk, {15, 15}}, {plat::MsgLButtonUp, {15, 15}}},
       {"dblclick", "down left 5,5", "up left 5,5", "click"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    P->Events.clear();
    for (const auto& [Msg, At] : C.Input) Mouse(F, Msg, At.first, At.second);
    EXPECT_EQ(P->Events, C.Events);
  }
  // A disabled control takes nothing.
  P->Events.clear();
  P->SetEnabled(false);
  Mouse(F, plat::MsgLButtonDown, 15, 15);
  Mouse(F, plat::MsgLButtonUp, 15, 15);
  EXPECT_TRUE(P->Events.empty());
}

TEST_F(Windowless, AControlFreedByItsOwnClickIsNotTouchedAgain) {
  auto* F = App->CreateForm<TPaintForm>();
  auto* P = NewControl<TProbe>(F, "Probe", 10, 10, 20, 20);
  bool Freed = false;
  P->OnMouseUp = [&](TObject* Sender, TMouseButton, int, int) {
    delete Sender;
    Freed = true;
  };
  F->Show();
  Mouse(F, plat::MsgLButtonDown, 15, 15);
  Mouse(F, plat::MsgLButtonUp, 15, 15);
  EXPECT_TRUE(Freed);
  EXPECT_EQ(F->ControlCount(), 0);
  // The form is whole: input where the control was reaches no one.
  Mouse(F, plat::MsgLButtonDown, 15, 15);
}

TEST_F(Windowless, AControlThatGoesOutOfUseWhilePressedLetsGoOfTheMouse) {
  struct Case {
    const char* What;
    std::function<void(TProbe*)> Do;
  } Cases[] = {
      {"disabled", [](TProbe* P) { P->SetEnabled(false); }},
      {"hidden", [](TProbe* P) { P->SetVisible(false); }},
      {"freed", [](TProbe* P) { delete P; }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    auto* F = App->CreateForm<TPaintForm>();
    auto* Pressed = NewControl<TProbe>(F, "Pressed", 10, 10, 20, 20);
    auto* Other = NewControl<TProbe>(F, "Other", 50, 10, 20, 20);
    Pressed->OnMouseDown = [&C](TObject* Sender, TMouseButton, int, int) { C.Do(static_cast<TProbe*>(Sender)); };
    F->Show();
    Mouse(F, plat::MsgLButtonDown, 15, 15);
    EXPECT_EQ(plat::GetCapture(), 0u);
    Mouse(F, plat::MsgLButtonUp, 15, 15);
    Mouse(F, plat::MsgLButtonDown, 55, 15);
    Mouse(F, plat::MsgLButtonUp, 55, 15);
    EXPECT_EQ(Other->Events, (std::vector<std::string>{"down left 5,5", "up left 5,5", "click"}));
    delete F;
  }
}

TEST_F(Windowless, EscClicksTheFirstCancelButtonThatIsEnabled) {
  auto* F = App->CreateForm<TPaintForm>();
  std::vector<std::string> Clicks;
  TButton* Buttons[3];
  const char* Names[] = {"Off", "Cancel", "Later"};
  for (int I = 0; I < 3; ++I) {
    Buttons[I] = NewControl<TButton>(F, Names[I], 5 + 35 * I, 5, 30, 20);
    Buttons[I]->SetCancel(true);
    Buttons[I]->OnClick = [&Clicks, I, Names](TObject*) { Clicks.push_back(Names[I]); };
  }
  Buttons[0]->SetEnabled(false);
  auto* Plain = NewControl<TButton>(F, "Plain", 5, 40, 30, 20);
  F->Show();
  // The key as the system delivers it: to the control with the focus.
  plat::PostMessage(Plain->Handle(), plat::MsgKeyDown, plat::KeyEscape, 1);
  App->ProcessMessages();
  EXPECT_EQ(Clicks, std::vector<std::string>{"Cancel"});
  // With no cancel button left the key does nothing.
  Buttons[1]->SetCancel(false);
  Buttons[2]->SetVisible(false);
  plat::PostMessage(Plain->Handle(), plat::MsgKeyDown, plat::KeyEscape, 1);
  App->ProcessMessages();
  EXPECT_EQ(Clicks, std::vector<std::string>{"Cancel"});
}

TEST_F(Windowless, AFormLosesItsFrameKeepingItsClientAreaAndTakesAnOutline) {
  auto* F = App->CreateForm<TPaintForm>();
  F->Show();
  const plat::Bounds Before = plat::GetWindowBounds(F->Handle());
  F->SetBorderStyle(TFormBorderStyle::bsNone);
  const plat::Bounds After = plat::GetWindowBounds(F->Handle());
  EXPECT_EQ(After.Width, Before.Width);
  EXPECT_EQ(After.Height, Before.Height);
  EXPECT_TRUE(F->WindowRegionData().empty());

  // An outline of two bands; the window hands back the same data.
  const std::vector<std::uint8_t> Block = [] {
    std::vector<std::uint8_t> B(32 + 32, 0);
    auto Put = [&B](std::size_t At, std::int32_t V) {
      for (int I = 0; I < 4; ++I) B[At + static_cast<std::size_t>(I)] = static_cast<std::uint8_t>(V >> (8 * I));
    };
    const std::int32_t Head[] = {32, 1, 2, 32, 5, 5, 60, 40, 10, 5, 60, 20, 5, 20, 50, 40};
    for (std::size_t I = 0; I < 16; ++I) Put(4 * I, Head[I]);
    return B;
  }();
  F->SetWindowRegion(TRegion::FromData(Block, 1, 1, 0, 0));
  EXPECT_EQ(F->WindowRegionData(), Block);
  // No region: the whole rectangle again.
  F->SetWindowRegion(TRegion());
  EXPECT_TRUE(F->WindowRegionData().empty());
}

#ifndef _WIN32
// The host build keeps the texts drawn, which Windows cannot give back.
TEST_F(Windowless, LabelsDrawTheirCaptionAndTheShadowedOneDrawsItTwice) {
  auto* F = App->CreateForm<TPaintForm>();
  auto* Plain = NewControl<TLabel>(F, "Plain", 5, 5, 100, 14);
  Plain->SetCaption("状態");
  auto* Shadowed = NewControl<TRxLabel>(F, "Shadowed", 8, 30, 100, 20);
  Shadowed->SetCaption("バージョンチェック");
  Shadowed->SetTransparent(true);
  Shadowed->SetFont(TFont{"ＭＳ Ｐゴシック", 16, clNavy, false});
  ShowPainted(F);
  std::vector<std::tuple<int, int, std::string, std::uint32_t>> Drawn;
  for (const plat::DrawnText& T : plat::TakeDrawnTexts(F->Handle())) Drawn.emplace_back(T.X, T.Y, T.Text, T.Color);
  using D = std::tuple<int, int, std::string, std::uint32_t>;
  EXPECT_EQ(Drawn, (std::vector<D>{D{5, 5, "状態", clBlack}, D{8, 30, "バージョンチェック", ButtonHighlightColor()},
                                   D{9, 31, "バージョンチェック", clNavy}}));
  // A label that is not transparent fills its rectangle first.
  EXPECT_EQ(PixelAt(F, 50, 10), Face);
}
#endif

// Forms and their controls over the window system, in both builds: real
// windows under Wine, the headless model in the host build. Both must agree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FormTestSupport.h"
#include "TestSupport.h"
#include "framework/Forms.h"
#include "platform/Gui.h"

namespace {

class TTestForm : public TForm {
 public:
  explicit TTestForm(TComponent* AOwner) : TForm(AOwner) {
    SetCaption("テスト窓");
    SetBounds(40, 40, 300, 120);
    SetFont("ＭＳ Ｐゴシック", 12);
    Status = NewControl<TLabel>(this, "Status", 8, 8, 200, 16, "状態");
    Go = NewControl<TButton>(this, "Go", 8, 40, 80, 25, "開始");
    Never = NewControl<TButton>(this, "Never", 100, 40, 80, 25, "再開");
    Never->SetEnabled(false);
    First = NewControl<TRadioButton>(this, "First", 8, 80, 17, 17, "");
    First->SetChecked(true);
    Second = NewControl<TRadioButton>(this, "Second", 40, 80, 17, 17, "");
    for (TWinControl* C : {static_cast<TWinControl*>(Go), static_cast<TWinControl*>(Never),
                           static_cast<TWinControl*>(First), static_cast<TWinControl*>(Second)})
      C->OnClick = [this](TObject* Sender) { Clicks.push_back(static_cast<TComponent*>(Sender)->Name()); };
  }
  const char* ClassName() const override { return "TTestForm"; }

  TLabel* Status;
  TButton* Go;
  TButton* Never;
  TRadioButton* First;
  TRadioButton* Second;
  std::vector<std::string> Clicks;
};

class Forms : public testsupport::FormAppTest {};

void Click(TWinControl* Control) { plat::SendMessage(Control->Handle(), plat::MsgButtonClick, 0, 0); }

}  // namespace

TEST_F(Forms, ControlsMirrorTheirStateIntoTheirWindows) {
  auto* F = App->CreateForm<TTestForm>();
  EXPECT_EQ(plat::GetWindowText(F->Handle()), "テスト窓");
  EXPECT_EQ(plat::GetWindowText(F->Go->Handle()), "開始");
  EXPECT_TRUE(plat::IsWindowEnabled(F->Go->Handle()));
  EXPECT_FALSE(plat::IsWindowEnabled(F->Never->Handle()));
  EXPECT_TRUE(plat::GetButtonCheck(F->First->Handle()));
  EXPECT_FALSE(plat::GetButtonCheck(F->Second->Handle()));
  // Each window where its form placed it, on the form's client area.
  const auto Placed = [](TWinControl* C) {
    const plat::Bounds B = plat::GetWindowBounds(C->Handle());
    return std::vector<int>{B.Left, B.Top, B.Width, B.Height};
  };
  EXPECT_EQ(Placed(F->Go), (std::vector<int>{8, 40, 80, 25}));
  EXPECT_EQ(Placed(F->Never), (std::vector<int>{100, 40, 80, 25}));

  // Changes after the windows exist reach them, Japanese text intact both ways.
  F->Status->SetCaption("バージョンチェック開始");
  F->Never->SetEnabled(true);
  F->Go->SetEnabled(false);
  F->SetCaption("別の題");
  EXPECT_EQ(F->Status->Caption(), "バージョンチェック開始");
  EXPECT_TRUE(plat::IsWindowEnabled(F->Never->Handle()));
  EXPECT_FALSE(plat::IsWindowEnabled(F->Go->Handle()));
  EXPECT_EQ(plat::GetWindowText(F->Handle()), "別の題");
  EXPECT_FALSE(F->Visible());
}

TEST_F(Forms, ClicksReachEnabledControlsAndKeepTheRadioGroupConsistent) {
  auto* F = App->CreateForm<TTestForm>();
  F->Show();
  F->Clicks.clear();

  Click(F->Go);
  Click(F->Never);  // disabled: no click
  Click(F->Second);
  EXPECT_EQ(F->Clicks, (std::vector<std::string>{"Go", "Second"}));
  EXPECT_TRUE(F->Second->Checked());
  EXPECT_FALSE(F->First->Checked());
  EXPECT_TRUE(plat::GetButtonCheck(F->Second->Handle()));
  EXPECT_FALSE(plat::GetButtonCheck(F->First->Handle()));

  // Clicking the checked one again changes nothing and fires nothing.
  F->Clicks.clear();
  Click(F->Second);
  EXPECT_TRUE(F->Clicks.empty());

  // Checking from the program turns the sibling off as well.
  F->First->SetChecked(true);
  EXPECT_FALSE(F->Second->Checked());
  EXPECT_FALSE(plat::GetButtonCheck(F->Second->Handle()));
}

TEST_F(Forms, ShowingTheMainFormActivatesItAndClosingItEndsTheLoop) {
  auto* F = App->CreateForm<TTestForm>();
  int Created = 0, Activated = 0;
  // OnCreate has fired already, inside CreateForm: a later handler sees nothing.
  F->OnCreate = [&](TObject*) { ++Created; };
  F->OnActivate = [&](TObject*) {
    ++Activated;
    EXPECT_TRUE(F->Visible());
    // The whole job of the program may run in here, pumping messages.
    App->ProcessMessages();
    F->Close();
  };
  App->SetTitle("バージョンチェックプラグイン");
  App->Run();  // returns because the main form closed
  EXPECT_EQ(Activated, 1);
  EXPECT_EQ(Created, 0);
  EXPECT_TRUE(App->Terminated());
  EXPECT_EQ(App->MainForm(), F);
  EXPECT_EQ(plat::GetWindowText(App->Handle()), "バージョンチェックプラグイン");
}

TEST_F(Forms, CloseAsksOnCloseAndAPostedCloseMessageClosesTheForm) {
  auto* F = App->CreateForm<TTestForm>();
  auto* Other = App->CreateForm<TTestForm>();
  F->Show();
  Other->Show();
  int Asked = 0;
  F->OnClose = [&](TObject*, TCloseAction& Action) {
    if (++Asked == 1) Action = TCloseAction::caNone;
  };
  plat::PostMessage(F->Handle(), plat::MsgClose, 0, 0);
  App->ProcessMessages();
  EXPECT_EQ(Asked, 1);
  EXPECT_FALSE(App->Terminated());
  EXPECT_TRUE(F->Visible());

  // A form that is not the main form hides; the main form ends the application.
  Other->Close();
  EXPECT_FALSE(Other->Visible());
  EXPECT_FALSE(App->Terminated());
  plat::PostMessage(F->Handle(), plat::MsgClose, 0, 0);
  App->ProcessMessages();
  EXPECT_EQ(Asked, 2);
  EXPECT_TRUE(App->Terminated());
}

TEST_F(Forms, ExceptionsOfHandlersGoToTheApplicationsHandler) {
  std::vector<std::string> Handled;
  App->OnException = [&](TObject*, Exception& E) { Handled.push_back(E.Message()); };
  auto* F = App->CreateForm<TTestForm>();
  F->OnActivate = [&](TObject*) { throw EInOutError("書けません", 5); };
  F->Go->OnClick = [&](TObject*) { throw EConvertError("not a number"); };
  F->Show();
  Click(F->Go);
  App->ProcessMessages();
  EXPECT_EQ(Handled, (std::vector<std::string>{"書けません", "not a number"}));

  // A handler that fails itself is not allowed to take the program down.
  App->OnException = [&](TObject*, Exception&) { throw EInOutError("log gone", 5); };
  EXPECT_NO_THROW(Click(F->Go));
}

TEST_F(Forms, TheMainFormGoesToTheTaskBarWithTheApplicationWindow) {
  auto* F = App->CreateForm<TTestForm>();
  plat::ShowWindow(App->Handle(), plat::ShowCommand::ShowNoActivate);
  F->Show();
  EXPECT_EQ(F->WindowState(), TWindowState::wsNormal);
  F->SetWindowState(TWindowState::wsMinimized);
  EXPECT_EQ(F->WindowState(), TWindowState::wsMinimized);
  EXPECT_TRUE(plat::IsIconic(App->Handle()));
  EXPECT_FALSE(F->Visible());
  F->SetWindowState(TWindowState::wsNormal);
  EXPECT_EQ(F->WindowState(), TWindowState::wsNormal);
  EXPECT_TRUE(F->Visible());
}

// The option storage on a form with the main window's two option buttons, in
// both builds: every way a stored section restores, what a save writes and
// when, and which entries of StoredProps survive loading.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FormTestSupport.h"
#include "TestSupport.h"
#include "framework/Forms.h"
#include "framework/IniFiles.h"
#include "support/Placemnt.h"

namespace {

class TOptionsForm : public TForm {
 public:
  explicit TOptionsForm(TComponent* AOwner) : TForm(AOwner) {
    SetCaption("設定");
    SetBounds(158, 141, 445, 183);
    SetBorderStyle(TFormBorderStyle::bsNone);
    OpenHomePage = NewControl<TRadioButton>(this, "OpenHomePage", 32, 88, 17, 17);
    OpenHomePage->SetChecked(true);
    AutoDLL = NewControl<TRadioButton>(this, "AutoDLL", 32, 112, 17, 17);
    Storage = new TFormStorage(this);
    Storage->SetName("FormStorage1");
    Storage->BeginLoading();
    Storage->StoredProps.Add("OpenHomePage.Checked");
    Storage->StoredProps.Add("AutoDLL.Checked");
  }
  // Stands in for the main window's class: the section is named after it.
  const char* ClassName() const override { return "TFormDravin"; }
  TRadioButton* OpenHomePage;
  TRadioButton* AutoDLL;
  TFormStorage* Storage;
};

class Placement : public testsupport::FormAppTest {
 protected:
  void SetUp() override { File = testsupport::ScratchFolder() + "zel.ini"; }
  TOptionsForm* Make(const std::function<void(TOptionsForm&)>& Before = nullptr) {
    auto* F = App->CreateForm<TOptionsForm>();
    if (Before) Before(*F);
    F->Storage->Loaded();
    F->Storage->SetIniFileName(File);
    return F;
  }
  std::string File;
};

const std::string Saved =
    "[TFormDravin]\r\nFormVersion=0\r\nFlags=0\r\nShowCmd=1\r\nPixelsPerInch=96\r\nMinMaxPos=-1,-1,-1,-1\r\n"
    "NormPos=158,141,603,324\r\nVisible=0\r\n";

}  // namespace

TEST_F(Placement, RestoringTheOptionButtons) {
  struct Case {
    const char* What;
    std::string File;  // "-" for no file at all
    bool Home, Auto;
    int Left = 158, Top = 141;
  } Cases[] = {
      {"no file", "-", true, false},
      {"no section for the window", "[TSetup]\r\nAutoDLL_Checked=True\r\n", true, false},
      {"install automatically", "[TFormDravin]\r\nOpenHomePage_Checked=False\r\nAutoDLL_Checked=True\r\n", false, true},
      {"true in lower case", "[TFormDravin]\r\nAutoDLL_Checked=true\r\n", false, true},
      {"yes names no value", "[TFormDravin]\r\nAutoDLL_Checked=yes\r\n", true, false},
      {"both true: the later entry wins", "[TFormDravin]\r\nOpenHomePage_Checked=True\r\nAutoDLL_Checked=True\r\n",
       false, true},
      {"both false: neither", "[TFormDravin]\r\nOpenHomePage_Checked=False\r\nAutoDLL_Checked=False\r\n", false,
       false},
      {"blanks and quotes around the value", "[TFormDravin]\r\nAutoDLL_Checked = \" TRUE \"\r\n", false, true},
      {"an older version guard suppresses it all, the place too",
       "[TFormDravin]\r\nFormVersion=-1\r\nPixelsPerInch=96\r\nNormPos=10,20,455,203\r\nAutoDLL_Checked=True\r\n",
       true, false},
      {"a guard in hexadecimal",
       "[TFormDravin]\r\nFormVersion=0x1\r\nPixelsPerInch=96\r\nNormPos=10,20,455,203\r\nAutoDLL_Checked=True\r\n",
       false, true, 10, 20},
      {"a guard that is no number counts as 0", "[TFormDravin]\r\nFormVersion=new\r\nAutoDLL_Checked=True\r\n",
       false, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    plat::DeleteFile(File);
    if (C.File != "-") testsupport::WriteFile(File, C.File);
    TOptionsForm* F = Make();
    F->Storage->RestoreFormPlacement();
    EXPECT_EQ(F->OpenHomePage->Checked(), C.Home);
    EXPECT_EQ(F->AutoDLL->Checked(), C.Auto);
    EXPECT_TRUE(F->Storage->Restored());
    const plat::Bounds Where = plat::GetWindowBounds(F->Handle());
    EXPECT_EQ(Where.Left, C.Left);
    EXPECT_EQ(Where.Top, C.Top);
    delete F;
  }
}

TEST_F(Placement, RestoringThePlaceKeepsTheWindowWithinReach) {
  // The work area the window is brought into; the stored places are set
  // around its edges. The window is 445 x 183 and has no frame.
  const plat::Bounds Work = plat::NearestWorkArea(plat::Bounds{0, 0, 1, 1});
  const int Right = Work.Left + Work.Width, Bottom = Work.Top + Work.Height;
  const auto At = [](int Left, int Top) {
    return "PixelsPerInch=96\r\nNormPos=" + IntToStr(Left) + "," + IntToStr(Top) + "," + IntToStr(Left + 445) + "," +
           IntToStr(Top + 183) + "\r\n";
  };
  struct Case {
    const char* What;
    std::string Keys;
    int Left, Top;
  } Cases[] = {
      {"nothing stored", "", 158, 141},
      {"a new place, the size kept", "NormPos=10,20,30,40\r\nPixelsPerInch=96\r\n", 10, 20},
      {"another screen resolution: the place is not taken", "NormPos=10,20,30,40\r\nPixelsPerInch=120\r\n", 158, 141},
      {"a broken place is not taken", "NormPos=10,x,30,40\r\n", 158, 141},
      {"a left edge at the largest integer is no place", "NormPos=2147483647,0,0,0\r\nPixelsPerInch=96\r\n", 158, 141},
      {"any value beyond a screen coordinate is no place", "NormPos=10,20,32768,40\r\nPixelsPerInch=96\r\n", 158,
       141},
      {"beyond every screen: brought to the nearest work area's corner", At(-32000, -32000), Work.Left, Work.Top},
      {"99 pixels across on the screen: moved in at the right", At(Right - 99, Work.Top + 20), Right - 445,
       Work.Top + 20},
      {"39 pixels high on the screen: moved up", At(Work.Left + 20, Bottom - 39), Work.Left + 20, Bottom - 183},
      {"100 by 40 on the screen is within reach", At(Right - 100, Bottom - 40), Right - 100, Bottom - 40},
      {"hanging out at the top left, 100 by 40 left", At(Work.Left - 345, Work.Top - 143), Work.Left - 345,
       Work.Top - 143},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    testsupport::WriteFile(File, "[TFormDravin]\r\n" + C.Keys);
    TOptionsForm* F = Make();
    plat::ShowWindow(App->Handle(), plat::ShowCommand::ShowNoActivate);
    F->Show();
    F->Storage->RestoreFormPlacement();
    const plat::Bounds Where = plat::GetWindowBounds(F->Handle());
    EXPECT_EQ(Where.Left, C.Left);
    EXPECT_EQ(Where.Top, C.Top);
    EXPECT_EQ(Where.Width, 445);
    delete F;
  }
}

TEST_F(Placement, EveryShowCommandRestoresItsStateAndNoneMaximises) {
  // Each starts from the state it must leave: a restore that ignored the value
  // would keep it. The window's border does not size: 3 is its normal state.
  const bool Min = true, Normal = false;
  struct Case {
    const char* Keys;
    bool StartMinimised, Minimised;
  } Cases[] = {
      {"", Min, Normal},          {"ShowCmd=0\r\n", Min, Normal}, {"ShowCmd=1\r\n", Min, Normal},
      {"ShowCmd=2\r\n", Normal, Min}, {"ShowCmd=3\r\n", Min, Normal}, {"ShowCmd=5\r\n", Min, Normal},
      {"ShowCmd=6\r\n", Normal, Min}, {"ShowCmd=7\r\n", Normal, Min}, {"ShowCmd=9\r\n", Min, Normal},
      {"ShowCmd=42\r\n", Min, Normal},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Keys);
    plat::DeleteFile(File);
    TOptionsForm* F = Make();
    plat::ShowWindow(App->Handle(), plat::ShowCommand::ShowNoActivate);
    F->Show();
    if (C.StartMinimised) F->SetWindowState(TWindowState::wsMinimized);
    ASSERT_EQ(F->WindowState() == TWindowState::wsMinimized, C.StartMinimised);
    testsupport::WriteFile(File, "[TFormDravin]\r\n" + std::string(C.Keys));
    F->Storage->RestoreFormPlacement();
    EXPECT_EQ(F->WindowState(), C.Minimised ? TWindowState::wsMinimized : TWindowState::wsNormal);
    EXPECT_FALSE(plat::IsZoomed(F->Handle()));
    // Saved as it is: a stored 3 does not come back as 3.
    F->Storage->SaveFormPlacement();
    EXPECT_EQ(TIniFile(File).ReadString("TFormDravin", "ShowCmd", ""), C.Minimised ? "2" : "1");
    F->SetWindowState(TWindowState::wsNormal);
    delete F;
  }
}

TEST_F(Placement, RestoringAtShowingNeitherShowsNorActivatesTheWindowBeforeItsTime) {
  testsupport::WriteFile(File, "[TFormDravin]\r\nPixelsPerInch=96\r\nNormPos=30,40,475,223\r\n");
  TOptionsForm* F = Make();
  std::vector<std::string> Events;
  F->OnShow = [&](TObject*) { Events.push_back("show"); };
  F->OnActivate = [&](TObject*) { Events.push_back("activate"); };
  // A restore of a hidden window moves it and nothing more.
  F->Storage->RestoreFormPlacement();
  EXPECT_FALSE(F->Visible());
  EXPECT_TRUE(Events.empty());
  EXPECT_EQ(plat::GetWindowBounds(F->Handle()).Left, 30);
  // Showing restores first, then the form hears of its showing, then of its activation.
  plat::ShowWindow(App->Handle(), plat::ShowCommand::ShowNoActivate);
  F->Show();
  App->ProcessMessages();
  EXPECT_EQ(Events, (std::vector<std::string>{"show", "activate"}));
  EXPECT_TRUE(F->Visible());
}

TEST_F(Placement, SavingWritesTheKeysInOrderAndOnlyWhenItShould) {
  // Closing saves, with "Visible" 0; destruction then saves nothing more.
  testsupport::WriteFile(File, "[TSetup]\r\nUseProxy_Checked=False\r\n");
  TOptionsForm* F = Make();
  F->Show();
  F->Storage->RestoreFormPlacement();
  F->AutoDLL->SetChecked(true);
  F->Close();
  const std::string AfterClose = "[TSetup]\r\nUseProxy_Checked=False\r\n" + Saved +
                                 "OpenHomePage_Checked=False\r\nAutoDLL_Checked=True\r\n";
  EXPECT_EQ(testsupport::ReadFile(File), AfterClose);
  F->DoDestroy();
  EXPECT_EQ(testsupport::ReadFile(File), AfterClose);
  delete F;

  // Not closed: destruction saves, with "Visible" 1.
  plat::DeleteFile(File);
  F = Make();
  F->Show();
  F->DoDestroy();
  std::string Destroyed = Saved;
  Destroyed.replace(Destroyed.find("Visible=0"), 9, "Visible=1");
  EXPECT_EQ(testsupport::ReadFile(File), Destroyed + "OpenHomePage_Checked=True\r\nAutoDLL_Checked=False\r\n");
  delete F;

  // Inactive: never written, whatever happens to the form.
  plat::DeleteFile(File);
  F = Make();
  F->Storage->SetActive(false);
  F->Show();
  F->Storage->RestoreFormPlacement();
  F->Close();
  F->DoDestroy();
  EXPECT_FALSE(plat::FileExists(File));
  delete F;

  // Never restored while active: nothing to save.
  F = Make();
  F->Storage->SaveFormPlacement();
  EXPECT_FALSE(plat::FileExists(File));
  delete F;
}

TEST_F(Placement, EntriesThatNameNoComponentOrPropertyGoAtLoading) {
  TOptionsForm* F = Make([](TOptionsForm& F) {
    for (const char* Entry : {"NoDot", "Missing.Checked", " AutoDLL . Checked ", ".Checked", "AutoDLL.", "AutoDLL.Nothing",
                              "OpenHomePage.caption"})
      F.Storage->StoredProps.Add(Entry);
  });
  EXPECT_EQ(F->Storage->StoredProps.Text(),
            "OpenHomePage.Checked\r\nAutoDLL.Checked\r\n AutoDLL . Checked \r\nOpenHomePage.caption\r\n");
  // A component that goes takes its entries with it.
  delete F->AutoDLL;
  EXPECT_EQ(F->Storage->StoredProps.Text(), "OpenHomePage.Checked\r\nOpenHomePage.caption\r\n");
  // The key carries the property's declared name.
  F->Show();
  F->Storage->RestoreFormPlacement();
  F->Storage->SaveFormPlacement();
  EXPECT_NE(testsupport::ReadFile(File).find("OpenHomePage_Caption=\r\n"), std::string::npos);
}

// The main window and the check run against fixture host folders, in both
// builds. The clock is fixed, so the host's log is compared whole, markers
// included; pages are recorded instead of opened (the real shell path is
// covered by the end-to-end run of dravin.exe under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "app/Addresses.h"
#include "app/InstanceMutex.h"
#include "app/UAbout.h"
#include "app/UDravin.h"
#include "region/StoredRegion.h"
#include "support/MD5.h"
#include "platform/Mutex.h"
#include "platform/Paint.h"
#include "util/TextUtils.h"

using testsupport::FakeClock;
using testsupport::ReadFile;
using testsupport::ScratchFolder;
using testsupport::WriteFile;

namespace {

using testsupport::Lines;
using testsupport::Pattern;
using testsupport::PeerUrl;
using namespace std::string_literals;
using testsupport::TTestDravin;

// Input as the window system delivers it, queued before the run starts and
// handled by the run's first message pump.
void PostClick(TWinControl* Button) { plat::PostMessage(Button->Handle(), plat::MsgButtonClick, 0, 0); }
void PostEscape(TWinControl* Focused) { plat::PostMessage(Focused->Handle(), plat::MsgKeyDown, plat::KeyEscape, 1); }

// The log as the run writes it, markers and all: the fake clock stands still
// at 2026-12-07 00:00:00 and the test program has no version resource.
std::string Log(const Lines& Body, bool Ended = true, const char* EndTime = "00:00:00") {
  std::string R = "--- START ---\t2026-12-07 00:00:00\r\nVersion \r\n";
  for (const std::string& L : Body) R += L + "\r\n";
  if (Ended) R += std::string("--- END ---\t2026-12-07\t") + EndTime + "\r\n";
  return R;
}

const char* const Started = "バージョンチェックプラグイン";
const char* const RunStart = "バージョンチェック開始";
const char* const RunEnd = "バージョンチェック終了";
const char* const NewPlugIns = "新しいプラグインがリリースされています.";

class Dravin : public testsupport::HostInstall {
 protected:
  void SetUp() override {
    HostInstall::SetUp();
    // Installed copies read by the script reader, which both builds share.
    WriteFile(ProgramFolder() + "plug.pl", "#!/bin/sh\n# plug ver 1.0\n# by someone\n");
    WriteFile(ProgramFolder() + "commas.pl", "# commas ver 1, 0, 0, 1\n# by someone\n");
    WriteFile(ProgramFolder() + "表示.pl", "# 表示 ver 2.0\n# by 作者\n");
    // Without a version resource: both strings read as empty.
    WriteFile(HostFolder() + "zel.exe", "not a program");
    WriteFile(ProgramFolder() + "dravin.exe", "not a program");
  }

  FakeClock Clock;
};

}  // namespace

TEST_F(Dravin, TheWindowStartsInItsDesignStates) {
  TFormApplication App;
  auto* F = App.CreateForm<TTestDravin>();
  // Shaped by its stored outline, without a frame, dragged by its surface.
  TBitmap Picture;
  std::vector<std::uint8_t> Outline;
  LoadStoredRegion("Rgn1", Picture, Outline);
  EXPECT_EQ(F->WindowRegionData(), Outline);
  EXPECT_EQ(F->BorderStyle(), TFormBorderStyle::bsNone);
  EXPECT_EQ(plat::SendMessage(F->Handle(), plat::MsgNcHitTest, 0, plat::MakePoint(300, 200)), plat::HitCaption);
  for (TBitBtn* B : {F->ButtonPause, F->ButtonStop, F->ButtonSkip, F->ButtonPlay, F->ButtonHome, F->ButtonAbout,
                     F->ButtonMin})
    EXPECT_TRUE(plat::HasButtonGlyph(B->Handle())) << B->Name();
  EXPECT_EQ(plat::GetControlHint(F->ButtonHome->Handle()), "ホームページを開きます");
  EXPECT_EQ(plat::GetControlHint(F->ButtonAbout->Handle()), "バージョン情報を表示します");
  EXPECT_EQ(plat::GetControlHint(F->ButtonMin->Handle()), "ウィンドウを最小化します");
  EXPECT_EQ(plat::GetControlHint(F->ButtonPause->Handle()), "");
  EXPECT_STREQ(F->ClassName(), "TFormDravin");
  EXPECT_EQ(plat::GetWindowText(F->Handle()), "プラグインバージョンチェック");
  EXPECT_EQ(F->Label1->Caption(), "");
  EXPECT_TRUE(F->OpenHomePage->Checked());
  EXPECT_FALSE(F->AutoDLL->Checked());
  EXPECT_TRUE(plat::IsWindowEnabled(F->ButtonPause->Handle()));
  EXPECT_TRUE(plat::IsWindowEnabled(F->ButtonStop->Handle()));
  EXPECT_FALSE(plat::IsWindowEnabled(F->ButtonSkip->Handle()));
  EXPECT_FALSE(plat::IsWindowEnabled(F->ButtonPlay->Handle()));
  EXPECT_EQ(plat::GetWindowText(F->ButtonPause->Handle()), "一時停止");
  EXPECT_FALSE(F->FActivated || F->FStop || F->FSkip || F->FPause);
  EXPECT_FALSE(F->LogFile1->Active());
}

TEST_F(Dravin, HostFilesAreChosenZelFirstSettingsAndLogApart) {
  struct Case {
    Lines Files;
    const char* Settings;  // "" for none
    const char* LogTo;     // the log that gets the lines, "" for none
    const char* Page;
  } Cases[] = {
      {{"zel.ini", "orn.ini", "zel.log", "orn.log"}, "zel.ini", "zel.log", ZelProductPage},
      {{"zel.ini", "orn.log"}, "zel.ini", "orn.log", ZelProductPage},
      {{"orn.ini", "zel.log"}, "orn.ini", "zel.log", OrnProductPage},
      {{}, "", "", MakerTopPage},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Settings + std::string("/") + C.LogTo);
    for (const char* F : {"zel.ini", "orn.ini", "zel.log", "orn.log"}) DeleteFile(HostFolder() + F);
    for (const std::string& F : C.Files) Touch(F);
    WriteList({"Zel,zel.exe,2.0.0.0,(C) Zel,1,X"});
    Run();
    EXPECT_EQ(SettingsFile, *C.Settings ? HostFolder() + "dravin\\..\\" + C.Settings : "");
    EXPECT_EQ(Pages, Lines{C.Page});
    const std::string Expected = Log({Started, RunStart, "Zel Ver.2.0.0.0がリリースされています.", RunEnd});
    for (const char* L : {"zel.log", "orn.log"}) {
      const bool Present = std::find(C.Files.begin(), C.Files.end(), L) != C.Files.end();
      // Only a log the host created is written, and only the chosen one.
      EXPECT_EQ(HostLog(L), std::string(L) == C.LogTo ? Expected : Present ? "" : "(none)") << L;
    }
  }
}

TEST_F(Dravin, TheScanComparesEveryListedFileAndStopsAtAPlugInLeftToTheUser) {
  Touch("zel.ini");
  Touch("zel.log");
  struct Case {
    const char* What;
    Lines List;
    bool AutoDLL;
    Lines Messages;  // between the start and end messages of the run
    Lines Pages;
  } Cases[] = {
      {"identical or absent entries and odd lines pass silently",
       {"Zel,zel.exe,,,0,X", "Plug,plug.pl,1.0,someone,10,X", "", "a,b,c", "Zel,zel.exe,9,9,9,9,9",
        "Orn,orn.exe,3.0,x,1,X", "Gone,gone.dll,1.0,x,1,X", "\"Plug\",\"plug.pl\" , 1.0 ,\"someone\",10,X"},
       false, {}, {}},
      {"a host program is announced and the scan goes on; a plug-in ends it",
       {"Zel,zel.exe,2.0.0.0,(C) Zel,1,X", "Plug,plug.pl,1.0,Someone,10,X", "Zel again,zel.exe,3.0,x,1,X"},
       false, {"Zel Ver.2.0.0.0がリリースされています.", NewPlugIns}, {ZelProductPage, ZelPlugInPage}},
      {"the list must repeat the resource string exactly",
       {"Commas,commas.pl,1.0.0.1,someone,1,X"}, false, {NewPlugIns}, {ZelPlugInPage}},
      {"a case difference in the version counts",
       {"Plug,plug.pl,1.0,someone,1,X", "Plug,PLUG.PL,1.0 ,someone,1,X", "Plug,plug.pl,1.0,someonE,1,X"}, false,
       {NewPlugIns}, {ZelPlugInPage}},
      {"the checker itself is never installed automatically",
       {"Dravin,dravin.exe,9.0,x,1,X", "Zel,zel.exe,2.0,x,1,X"}, true, {NewPlugIns}, {ZelPlugInPage}},
      {"a plug-in chosen for installation does not end the scan",
       {"Plug,plug.pl,2.0,someone,1,X", "Zel,zel.exe,2.0,x,1,X"}, true,
       {"Plug Ver.2.0をダウンロードします.", "Plugのダウンロードに失敗しました.", "Zel Ver.2.0がリリースされています."},
       {ZelProductPage}},
      {"file names with a folder, a drive or a separator are never looked at",
       {"Evil,..\\zel.exe,9,9,1,X", "Evil,..\\dravin\\plug.pl,9,9,1,X", "Evil,../zel.exe,9,9,1,X",
        "Evil,dravin/plug.pl,9,9,1,X", "Evil,Z:plug.pl,9,9,1,X", "表示,表示.pl,2.0,作者,1,X",
        "Zel,zel.exe,5.0,x,1,X"},
       false, {"Zel Ver.5.0がリリースされています."}, {ZelProductPage}},
      {"names ending in a dot, which Windows opens without it, are never looked at",
       {"Evil,dravin.exe.,9,9,1,X", "Evil,plug.pl.,9,9,1,X", "Evil,zel.exe.,9,9,1,X", "Evil,.,9,9,1,X",
        "Zel,zel.exe,6.0,x,1,X"},
       false, {"Zel Ver.6.0がリリースされています."}, {ZelProductPage}},
      {"a Shift-JIS name whose trail byte is a backslash is a plain name",
       {"表示,表示.pl,2.1,作者,1,X"}, false, {NewPlugIns}, {ZelPlugInPage}},
      {"device names, in any letter case and with any extension, are never looked at",
       {"Evil,NUL,9,9,1,X", "Evil,nul.dll,9,9,1,X", "Evil,Con,9,9,1,X", "Evil,prn.txt.pl,9,9,1,X",
        "Evil,aux .pl,9,9,1,X", "Evil,com1.pl,9,9,1,X", "Evil,LPT9,9,9,1,X", "Evil,Com0.x,9,9,1,X",
        "Evil,conin$,9,9,1,X", "Evil,CONOUT$.pl,9,9,1,X", "Evil,clock$.pl,9,9,1,X", "Zel,zel.exe,7.0,x,1,X"},
       true, {"Zel Ver.7.0がリリースされています."}, {ZelProductPage}},
      {"names that only begin like a device are plain names",
       {"Con,console.pl,2.0,someone,1,X", "Com,com10.pl,2.0,someone,1,X"}, true,
       {"Con Ver.2.0をダウンロードします.", "Conのダウンロードに失敗しました.", "Com Ver.2.0をダウンロードします.",
        "Comのダウンロードに失敗しました."},
       {}},
      {"control bytes in a name, a display name or a version: the entry is never looked at",
       {"Evil,dravin.exe\0x,9,9,1,X"s, "Evil,plug.pl\0.dll,2.0,someone,1,X"s, "Evil\x7F,plug.pl,2.0,someone,1,X",
        "Evil,plug.pl,2.\x1B""0,someone,1,X", "Ev\x01il,zel.exe,2.0,x,1,X", "Zel,zel.exe,8.0,x,1,X"},
       true, {"Zel Ver.8.0がリリースされています."}, {ZelProductPage}},
  };
#ifndef _WIN32
  // Elsewhere than on Windows these are files like any other: a look would find them.
  for (const char* Device : {"NUL", "nul.dll", "Con", "prn.txt.pl", "aux .pl", "com1.pl", "LPT9", "Com0.x", "conin$",
                             "CONOUT$.pl", "clock$.pl"})
    WriteFile(ProgramFolder() + Device, "not a program");
#endif
  WriteFile(ProgramFolder() + "console.pl", "# console ver 1.0\n# by someone\n");
  WriteFile(ProgramFolder() + "com10.pl", "# com10 ver 1.0\n# by someone\n");
  // Where Windows strips the dot these name the installed files themselves;
  // elsewhere they are files of their own. Either way a look would find one.
  WriteFile(ProgramFolder() + "dravin.exe.", "not a program");
  WriteFile(ProgramFolder() + "plug.pl.", ReadFile(ProgramFolder() + "plug.pl"));
  WriteFile(ProgramFolder() + "zel.exe.", "not a program");
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    WriteFile(HostFolder() + "zel.log", "");
    WriteList(C.List);
    Touch("zel.ini");  // the options the last case stored go
    Run([&](TTestDravin& F) { F.AutoDLL->SetChecked(C.AutoDLL); });
    Lines Body{Started, RunStart};
    Body.insert(Body.end(), C.Messages.begin(), C.Messages.end());
    Body.push_back(RunEnd);
    EXPECT_EQ(HostLog("zel.log"), Log(Body));
    EXPECT_EQ(Pages, C.Pages);
    EXPECT_FALSE(FileExists(ListFile()));
    EXPECT_EQ(StatusLine, RunEnd);
    EXPECT_EQ(ButtonsAfter, (std::vector<bool>{false, false, false, false}));
  }
}

TEST_F(Dravin, AListThatIsNotFetchedOrCannotBeOpenedEndsTheRun) {
  Touch("orn.log");
  const char* const NotFetched = "orn.log: バージョンチェックファイルダウンロード失敗. (C.ERROR)";
  const struct {
    const char* What;
    std::function<void(const std::string& ListFile)> Fetched;
    const char* Error;
    bool Kept;
  } Cases[] = {
      {"an empty list", [this](const std::string&) { WriteList({}); }, NotFetched, false},
      {"no list", [](const std::string&) {}, NotFetched, false},
      // A folder cannot be opened as a file, whoever runs the test.
      {"a list that cannot be opened", [](const std::string& ListFile) { plat::CreateDirectory(ListFile); },
       "orn.log: バージョンチェックファイル取得失敗. (C.ERROR)", true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    WriteFile(HostFolder() + "orn.log", "");
    Run([&](TTestDravin& F) {
      F.Fetch = [&](const std::string& Url, const std::string& FileName) {
        C.Fetched(FileName);
        return DirectoryExists(FileName) ? 100 : testsupport::ListAlreadyInPlace(FileName);
      };
    });
    EXPECT_EQ(HostLog("orn.log"), Log({Started, RunStart, C.Error}));
    EXPECT_EQ(StatusLine, RunStart);
    EXPECT_TRUE(Pages.empty());
    EXPECT_EQ(DirectoryExists(ListFile()), C.Kept);
    EXPECT_FALSE(FileExists(ListFile()));
    EXPECT_EQ(ButtonsAfter, (std::vector<bool>{false, false, false, false}));
  }
}

TEST_F(Dravin, StopEndsTheScanBeforeTheNextLine) {
  Touch("zel.log");
  WriteList({"Zel,zel.exe,2.0,x,1,X", "Plug,plug.pl,2.0,someone,1,X"});
  // A handler of the window's own messages stops the run, as a button would:
  // the message is posted during the first entry and can only be handled by
  // the pump between that entry and the next line.
  plat::WindowHandle Stopper = 0;
  Run([&](TTestDravin& F) {
    Stopper = AllocateHWnd([&F](TMessage& M) {
      if (M.Msg == plat::MsgUser) F.FStop = true;
    });
    F.OnPage = [&](const std::string&) {
      EXPECT_FALSE(F.FStop);
      plat::PostMessage(Stopper, plat::MsgUser, 0, 0);
    };
  });
  DeallocateHWnd(Stopper);
  EXPECT_EQ(HostLog("zel.log"), Log({Started, RunStart, "Zel Ver.2.0がリリースされています.", RunEnd}));
  EXPECT_FALSE(FileExists(ListFile()));
}

TEST_F(Dravin, AnExceptionEndsTheRunIsLoggedAsAnErrorAndClosesTheWindow) {
  Touch("zel.log");
  WriteList({"Zel,zel.exe,2.0,x,1,X", "Plug,plug.pl,2.0,someone,1,X"});
  Run([](TTestDravin& F) { F.OnPage = [](const std::string&) { throw EInOutError("shell gone", 5); }; });
  EXPECT_EQ(HostLog("zel.log"),
            Log({Started, RunStart, "Zel Ver.2.0がリリースされています.", "zel.log: shell gone (C.ERROR)"}));
  EXPECT_EQ(ButtonsAfter, (std::vector<bool>{false, false, false, false}));
  // The list is not deleted when the scan does not end normally.
  EXPECT_TRUE(FileExists(ListFile()));
}

TEST_F(Dravin, WithAnArgumentTheWindowOnlyWaitsToBeClosed) {
  Touch("zel.log");
  WriteList({"Zel,zel.exe,2.0,x,1,X"});
  {
    TFormApplication App;
    TTestDravin* F = StartIdle(App);
    EXPECT_TRUE(F->FActivated);
    EXPECT_TRUE(F->Visible());
    EXPECT_FALSE(App.Terminated());
    EXPECT_TRUE(F->ButtonStop->Enabled());
    // Activated again (back from another window): still nothing runs.
    F->Hide();
    F->Show();
    plat::PostMessage(F->Handle(), plat::MsgClose, 0, 0);
    App.Run();
    EXPECT_TRUE(F->Pages.empty());
  }
  EXPECT_EQ(HostLog("zel.log"), Log({Started}));
  EXPECT_TRUE(FileExists(ListFile()));
}

TEST_F(Dravin, TheRunControlButtonsSteerTheRunThroughItsMessagePump) {
  Touch("zel.ini");
  Touch("zel.log");
  const Lines List = {"Zel,zel.exe,2.0,x,1,X", "Zel,zel.exe,3.0,x,1,X"};
  const std::string First = "Zel Ver.2.0がリリースされています.", Second = "Zel Ver.3.0がリリースされています.";
  // During a fetch: the list's, or a plug-in's that is then installed.
  const std::string Trickled = Pattern(10);
  const Lines PlugIn = {"Plug,plug.pl,2.0,someone,10," + MD5HexDigest(Trickled.data(), Trickled.size()),
                        "Zel,zel.exe,2.0,x,1,X"};
  const std::string Fetching = "Plug Ver.2.0をダウンロードします.", FetchFailed = "Plugのダウンロードに失敗しました.";
  // A fetch from the scripted peer, after the input of its row.
  using TFetch = std::function<int(TTestDravin&, const std::string& Url, const std::string& FileName)>;
  auto From = [](const char* Path, std::function<void(TTestDravin&)> During) -> TFetch {
    return [Path, During](TTestDravin& F, const std::string& Url, const std::string& FileName) {
      if (Url == testsupport::ListUrl() && During) return testsupport::ListAlreadyInPlace(FileName);
      if (During) During(F);
      return F.RealDownload(PeerUrl(Path), FileName);
    };
  };
  struct Case {
    const char* What;
    std::function<void(TTestDravin&)> Input;
    Lines Messages;
    long long Waited;  // milliseconds of pause wait
    bool Minimised;
    TFetch Fetch = nullptr;  // none: the list lies in place
    Lines List = {};
    const char* Setup = "";
    bool ListFetched = true;
    int WatchdogTicks = 0;
  } Cases[] = {
      {"pause, then resume: the run goes on after one turn of the wait",
       [](TTestDravin& F) {
         PostClick(F.ButtonPause);
         PostClick(F.ButtonPlay);
       },
       {First, Second}, 1000, false},
      {"pause, then stop: the wait ends and the run ends before its next line",
       [](TTestDravin& F) {
         PostClick(F.ButtonPause);
         PostClick(F.ButtonStop);
       },
       {First}, 1000, false},
      {"Esc is Stop", [](TTestDravin& F) { PostEscape(F.ButtonPause); }, {First}, 0, false},
      {"minimised, the run goes on", [](TTestDravin& F) { PostClick(F.ButtonMin); }, {First, Second}, 0, true},
      {"closing by the system does not stop the run",
       [](TTestDravin& F) { plat::PostMessage(F.Handle(), plat::MsgClose, 0, 0); }, {First, Second}, 0, false},
      {"disabled buttons take no clicks",
       [](TTestDravin& F) {
         PostClick(F.ButtonPlay);
         PostClick(F.ButtonSkip);
       },
       {First, Second}, 0, false},
      // The fetch's own pump takes the click: the fetch ends at once, not at its
      // time-out, and so does the run.
      {"stop during the list's fetch: the list is not fetched", [](TTestDravin& F) { PostClick(F.ButtonStop); }, {}, 0,
       false, From("/s/holdbody", nullptr), {}, "TimeOut_Text=3", false},
      {"Esc during the list's fetch", [](TTestDravin& F) { PostEscape(F.ButtonPause); }, {}, 0, false,
       From("/s/holdbody", nullptr), {}, "TimeOut_Text=3", false},
      {"stop during a plug-in's fetch: that fetch fails, and the run ends before its next line",
       [](TTestDravin& F) { F.AutoDLL->SetChecked(true); }, {Fetching, FetchFailed}, 0, false,
       From("/s/holdbody", [](TTestDravin& F) { PostClick(F.ButtonStop); }), PlugIn, "TimeOut_Text=3"},
      // A pause nested in the fetch: the data keeps arriving at the pause's
      // pace, and Resume lets the fetch end whole.
      {"pause during a plug-in's fetch, resumed after two more pieces",
       [](TTestDravin& F) {
         F.AutoDLL->SetChecked(true);
         const auto Handler = F.HttpCli1->OnDocData;
         // The client fires a copy of its handler: the count lives outside.
         F.HttpCli1->OnDocData = [&F, Handler, Paused = std::make_shared<int>(0)](TObject* Sender, const void* Buffer,
                                                                               std::int32_t Len) {
           Handler(Sender, Buffer, Len);
           if (F.FPause && ++*Paused == 2) PostClick(F.ButtonPlay);
         };
       },
       {Fetching, "Plugをバージョンアップしました.", "Zel Ver.2.0がリリースされています."}, 1000, false,
       From("/s/trickle/10/400", [](TTestDravin& F) { PostClick(F.ButtonPause); }), PlugIn, "TimeOut_Text=5"},
      // ... and the time-out keeps counting.
      {"pause during a plug-in's fetch, longer than the time-out",
       [](TTestDravin& F) {
         F.AutoDLL->SetChecked(true);
         const auto Handler = F.Timer1->OnTimer;
         F.Timer1->OnTimer = [&F, Handler](TObject* Sender) {
           Handler(Sender);
           PostClick(F.ButtonPlay);
         };
       },
       {Fetching, FetchFailed, "Zel Ver.2.0がリリースされています."}, 1000, false,
       From("/s/holdbody", [](TTestDravin& F) { PostClick(F.ButtonPause); }), PlugIn, "TimeOut_Text=1", true, 1},
  };
  const std::string Installed = ReadFile(ProgramFolder() + "plug.pl");
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    WriteFile(HostFolder() + "zel.log", "");
    Settings(C.Setup);  // the window state the last case stored goes
    WriteList(C.List.empty() ? List : C.List);
    WriteFile(ProgramFolder() + "plug.pl", Installed);
    // From midnight again: the log's times count the waits. A real fetch
    // takes real time.
    std::optional<FakeClock> Clock;
    std::optional<testsupport::TSystemClock> SystemClock;
    if (C.Fetch) SystemClock.emplace();
    else Clock.emplace();
    std::vector<std::vector<bool>> DuringPause;
    bool Minimised = false;
    int Ticks = 0;
    Run([&](TTestDravin& F) {
      // What the buttons look like while the pause waits, seen by the click that ends it.
      for (TBitBtn* B : {F.ButtonPlay, F.ButtonStop}) {
        TNotifyEvent Then = B->OnClick;
        B->OnClick = [&F, &DuringPause, Then](TObject* S) {
          DuringPause.push_back({F.ButtonPause->Enabled(), F.ButtonPlay->Enabled()});
          Then(S);
        };
      }
      F.OnPage = [&F, &Minimised](const std::string&) {
        Minimised = Minimised || F.WindowState() == TWindowState::wsMinimized;
      };
      if (C.Fetch) F.Fetch = [&C, &F](const std::string& Url, const std::string& FileName) { return C.Fetch(F, Url, FileName); };
      C.Input(F);
      // The watchdog ending a fetch (not its tick on an idle client).
      const auto Watchdog = F.Timer1->OnTimer;
      F.Timer1->OnTimer = [&F, &Ticks, Watchdog](TObject* Sender) {
        if (F.HttpCli1->State() != hsIdle) ++Ticks;
        Watchdog(Sender);
      };
    });
    Lines Body{Started, RunStart};
    Body.insert(Body.end(), C.Messages.begin(), C.Messages.end());
    Body.push_back(C.ListFetched ? RunEnd : "zel.log: バージョンチェックファイルダウンロード失敗. (C.ERROR)");
    if (Clock) {
      EXPECT_EQ(HostLog("zel.log"), Log(Body, true, C.Waited ? "00:00:01" : "00:00:00"));
      EXPECT_EQ(Clock->ElapsedMs(), C.Waited);
    } else {
      EXPECT_EQ(testsupport::LoggedMessages(HostFolder() + "zel.log"), Body);
    }
    if (C.Waited > 0) {
      EXPECT_EQ(DuringPause, (std::vector<std::vector<bool>>{{false, true}}));
    }
    EXPECT_EQ(Ticks, C.WatchdogTicks);
    EXPECT_EQ(Minimised, C.Minimised);
    EXPECT_EQ(ButtonsAfter, (std::vector<bool>{false, false, false, false}));
    EXPECT_EQ(StatusLine, C.ListFetched ? RunEnd : RunStart);
  }
  WriteFile(ProgramFolder() + "plug.pl", Installed);
}

TEST_F(Dravin, OnTheIdleWindowSkipMarksOnceHomeAndAboutOpenTheirPages) {
  Touch("zel.log");
  {
    TFormApplication App;
    TTestDravin* F = StartIdle(App);
    // The main window keeps the focus itself: its first control is an
    // option button, which an arrow key would change.
    EXPECT_EQ(plat::GetFocus(), F->Handle());
    // Skip is disabled by design; once enabled it marks once and logs every press.
    F->ButtonSkip->SetEnabled(true);
    for (int I = 0; I < 2; ++I) plat::SendMessage(F->ButtonSkip->Handle(), plat::MsgButtonClick, 0, 0);
    EXPECT_EQ(F->Label2->Caption(), "スキップ...");
    EXPECT_TRUE(F->FSkip);

    plat::SendMessage(F->ButtonHome->Handle(), plat::MsgButtonClick, 0, 0);
    EXPECT_EQ(F->Pages, Lines{MakerSoftwarePage});

    // The dialog is made once and shown again; the main window stays usable.
    plat::SendMessage(F->ButtonAbout->Handle(), plat::MsgButtonClick, 0, 0);
    TAboutForm* About = F->AboutForm();
    ASSERT_NE(About, nullptr);
    EXPECT_TRUE(About->Visible());
    EXPECT_EQ(About->LabelTitle->Caption(), "Example");
    EXPECT_EQ(About->LabelVersion->Caption(), "バージョン 2.3.4.5");
    EXPECT_EQ(About->LabelCopyLeft->Caption(), "作者 (C) Example Corp");
    EXPECT_EQ(About->Label3->Caption(), DownloadPage);
    EXPECT_EQ(About->Label4->Caption(), SupportBoardPage);
    // The links are windowless labels: clicked where they are drawn.
    for (TLabel* Link : {About->Label3, About->Label4}) {
      const plat::LParam At = plat::MakePoint(Link->Left() + 3, Link->Top() + 3);
      plat::SendMessage(About->Handle(), plat::MsgLButtonDown, 0, At);
      plat::SendMessage(About->Handle(), plat::MsgLButtonUp, 0, At);
    }
    // OK, Esc and Enter hide it: OK has the focus each time it is shown.
    plat::SendMessage(About->BtnCancel->Handle(), plat::MsgButtonClick, 0, 0);
    EXPECT_FALSE(About->Visible());
    plat::SendMessage(F->ButtonAbout->Handle(), plat::MsgButtonClick, 0, 0);
    EXPECT_EQ(F->AboutForm(), About);
    EXPECT_TRUE(About->Visible());
    PostEscape(About->BtnCancel);
    App.ProcessMessages();
    EXPECT_FALSE(About->Visible());
    plat::SendMessage(F->ButtonAbout->Handle(), plat::MsgButtonClick, 0, 0);
    EXPECT_EQ(plat::GetFocus(), About->BtnCancel->Handle());
    plat::PostMessage(plat::GetFocus(), plat::MsgKeyDown, plat::KeyReturn, 1);
    App.ProcessMessages();
    EXPECT_FALSE(About->Visible());
    EXPECT_EQ(F->AboutsMade, 1);
    EXPECT_EQ(F->Pages, (Lines{MakerSoftwarePage, DownloadPage, SupportBoardPage}));
    EXPECT_TRUE(F->Visible());

    // A long status line is logged whole.
    const std::string Long(400, 'x');
    F->ShowStatus(Long);
    EXPECT_EQ(F->Label1->Caption(), Long);

    plat::SendMessage(F->ButtonStop->Handle(), plat::MsgButtonClick, 0, 0);
    App.Run();
    EXPECT_TRUE(F->FStop);
  }
  EXPECT_EQ(HostLog("zel.log"), Log({Started, "スキップボタン押下", "スキップボタン押下", std::string(400, 'x')}));
}

// Painting and the dialog keep the window system's objects they make no longer
// than they need them.
TEST_F(Dravin, RepaintsAndAboutOpeningsLeaveNoDrawingObjectsBehind) {
  Touch("zel.log");
  TFormApplication App;
  TTestDravin* F = StartIdle(App);
  const auto OpenAndCloseAbout = [&] {
    plat::SendMessage(F->ButtonAbout->Handle(), plat::MsgButtonClick, 0, 0);
    App.ProcessMessages();
    plat::SendMessage(F->AboutForm()->BtnCancel->Handle(), plat::MsgButtonClick, 0, 0);
    App.ProcessMessages();
  };
  // What is made once and kept (fonts, the dialog itself) is made now.
  F->Repaint();
  OpenAndCloseAbout();
  const std::int64_t Before = plat::LiveDrawingObjects();
  EXPECT_GT(Before, 0);  // what is kept is counted
  for (int I = 0; I < 1000; ++I) F->Repaint();
  EXPECT_EQ(plat::LiveDrawingObjects(), Before);
  for (int I = 0; I < 100; ++I) OpenAndCloseAbout();
  EXPECT_FALSE(F->AboutForm()->Visible());
  EXPECT_EQ(plat::LiveDrawingObjects(), Before);
  plat::PostMessage(F->Handle(), plat::MsgClose, 0, 0);
  App.Run();
}

// The settings files the system's profile functions wrote under Wine after
// the same starts of dravin.exe (tests/e2e/golden): this build's storage
// writes the same bytes.
TEST_F(Dravin, TheSettingsFileAfterARunIsTheGoldenOne) {
  Touch("zel.log");
  struct Case {
    const char* What;
    const char* Name;
    std::string Before;
    const char* Golden;
  } Cases[] = {
      {"the options follow the host's section", "zel.ini", "[TSetup]\r\nUseProxy_Checked=False\r\nTimeOut_Text=60\r\n",
       "new-section.ini"},
      {"stored options restored and updated in place", "zel.ini",
       "[TSetup]\r\nTimeOut_Text=60\r\n[TFormDravin]\r\nAutoDLL_Checked=true\r\nOpenHomePage_Checked=False\r\n"
       "Extra=1\r\n[After]\r\na=b\r\n",
       "in-place.ini"},
      {"Orn's settings file", "orn.ini", "", "orn.ini"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    for (const char* F : {"zel.ini", "orn.ini"}) DeleteFile(HostFolder() + F);
    WriteFile(HostFolder() + C.Name, C.Before);
    Run();
    EXPECT_EQ(ReadFile(HostFolder() + C.Name), ReadFile(std::string(DRAVIN_GOLDEN_DIR) + C.Golden));
  }

  // With an argument: the user picks automatic installation and closes the window.
  DeleteFile(HostFolder() + "orn.ini");
  WriteFile(HostFolder() + "zel.ini", "");
  {
    TFormApplication App;
    TTestDravin* F = StartIdle(App);
    plat::SendMessage(F->AutoDLL->Handle(), plat::MsgButtonClick, 0, 0);
    EXPECT_FALSE(F->OpenHomePage->Checked());
    plat::PostMessage(F->Handle(), plat::MsgClose, 0, 0);
    App.Run();
  }
  EXPECT_EQ(ReadFile(HostFolder() + "zel.ini"), ReadFile(std::string(DRAVIN_GOLDEN_DIR) + "options.ini"));

  // Without a settings file nothing is made.
  DeleteFile(HostFolder() + "zel.ini");
  SetCommandLine(0, nullptr);
  Run();
  EXPECT_FALSE(FileExists(HostFolder() + "zel.ini") || FileExists(HostFolder() + "orn.ini"));

  // A read-only one refuses the save at the close and again as the window
  // goes: each failure is logged, the file stays, and the program ends.
  const std::string ReadOnly = "[TSetup]\r\nTimeOut_Text=60\r\n";
  WriteFile(HostFolder() + "zel.ini", ReadOnly);
  plat::SetFileReadOnly(HostFolder() + "zel.ini", true);
  WriteFile(HostFolder() + "zel.log", "");
  WriteList({});
  Run();
  plat::SetFileReadOnly(HostFolder() + "zel.ini", false);
  EXPECT_EQ(ReadFile(HostFolder() + "zel.ini"), ReadOnly);
  const std::string Refused = "zel.log: Unable to write to " + HostFolder() + "dravin\\..\\zel.ini (C.ERROR)";
  EXPECT_EQ(HostLog("zel.log"), Log({Started, RunStart, "zel.log: バージョンチェックファイルダウンロード失敗. (C.ERROR)",
                                     Refused, Refused}));
}

TEST(InstanceMutex, OnlyTheFirstInstanceGoesOnAfterARandomWait) {
  FakeClock Clock;
  const std::string Name = "DravinTestInstance." + IntToStr(plat::TickCount());
  long long Waited = -1;
  Clock.OnSleep = [&](long long Ms) { Waited = Ms; };
  {
    bool Existed = false;
    plat::NamedMutex Other = plat::NamedMutex::Create(Name, Existed);
    EXPECT_FALSE(AcquireInstanceMutex(Name));
    EXPECT_GE(Waited, 0);
    EXPECT_LT(Waited, 1000);
  }
  EXPECT_TRUE(AcquireInstanceMutex(Name));
  EXPECT_TRUE(plat::NamedMutex::Open(Name).Valid());
  ReleaseInstanceMutex();
  EXPECT_FALSE(plat::NamedMutex::Open(Name).Valid());
  {
    // The other instance comes in after the look and before the creation:
    // it won, and this one ends without keeping its mutex alive.
    plat::NamedMutex Other;
    EXPECT_FALSE(AcquireInstanceMutex(Name, [&] {
      bool Existed = true;
      Other = plat::NamedMutex::Create(Name, Existed);
      EXPECT_FALSE(Existed);
    }));
    ASSERT_TRUE(Other.Valid());
  }
  EXPECT_FALSE(plat::NamedMutex::Open(Name).Valid());
  ReleaseInstanceMutex();
}

// The checker's tests share one host install and one main window of their
// own: a host folder Root\host\ with the host's files, the checker in
// Root\host\dravin\, the temp folder Root\temp\, and a TFormDravin whose pages
// are written down instead of opened and whose fetch a test may replace.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Addresses.h"
#include "app/UAbout.h"
#include "app/UDravin.h"
#include "framework/Classes.h"
#include "http/HttpTestSupport.h"
#include "util/TextUtils.h"

namespace testsupport {

using Lines = std::vector<std::string>;

// The scripted peer of http_peer.py, which some of these tests run under,
// and its documents (byte i is i % 251).
using httptest::Env;
using httptest::PeerUrl;
using nettest::Pattern;

// A fetch as the real one leaves it: the document stored and its size, or
// nothing stored (an empty document included) and 0.
inline int Store(const std::optional<std::string>& Doc, const std::string& FileName) {
  if (!Doc || Doc->empty()) {
    DeleteFile(FileName);
    return 0;
  }
  WriteFile(FileName, *Doc);
  return static_cast<int>(Doc->size());
}

// The fetch of the version list, stood in for by the file a test laid out
// where the fetch stores it: its size, or 0 with the file deleted when it is
// missing or empty, as a failed or empty fetch leaves it.
inline int ListAlreadyInPlace(const std::string& FileName) {
  const double Size = GetFileSizeValue(FileName);
  if (Size <= 0) {
    DeleteFile(FileName);
    return 0;
  }
  return static_cast<int>(Size);
}

// The messages a run wrote to the host's log, the start and end markers and
// the checker's version line left out.
inline Lines LoggedMessages(const std::string& LogFile) {
  TStringList All;
  All.SetText(ReadFile(LogFile));
  Lines R;
  for (int I = 0; I < All.Count(); ++I)
    if (All[I].rfind("--- ", 0) != 0 && All[I].rfind("Version ", 0) != 0) R.push_back(All[I]);
  return R;
}

// The system's own clock for a while, whatever clock a test put in place.
class TSystemClock {
 public:
  TSystemClock() : FPrevious(SetClockSource(nullptr)) {}
  ~TSystemClock() { SetClockSource(FPrevious); }
  TSystemClock(const TSystemClock&) = delete;
  TSystemClock& operator=(const TSystemClock&) = delete;

 private:
  TClockSource* FPrevious;
};

// The About dialog with its pages written down. The test program has no
// version resource: the dialog shows a fixture's.
class TTestAbout : public TAboutForm {
 public:
  explicit TTestAbout(TComponent* AOwner) : TAboutForm(AOwner) {}
  Lines* Pages = nullptr;

 protected:
  void OpenPage(const std::string& Url) override { Pages->push_back(Url); }
  std::string VersionFile() const override { return BuildTreeFolder(DRAVIN_VERSION_FIXTURES) + "en.dll"; }
};

// The main window with its pages written down; every fetch goes to Fetch
// when a test set one, else to the real one.
class TTestDravin : public TFormDravin {
 public:
  using TFormDravin::SetProgramFolder;
  explicit TTestDravin(TComponent* AOwner) : TFormDravin(AOwner) {}

  std::function<int(const std::string& Url, const std::string& FileName)> Fetch;
  Lines Pages;
  std::function<void(const std::string&)> OnPage;
  int AboutsMade = 0;
  // The bound each fetch was given, in order.
  std::vector<std::int64_t> Bounds;

  int DownloadToFile(const std::string& Url, const std::string& FileName, std::int64_t MaxBytes = -1) override {
    Bounds.push_back(MaxBytes);
    return Fetch ? Fetch(Url, FileName) : RealDownload(Url, FileName, MaxBytes);
  }
  // The window's own fetch, for doubles that only change the address.
  int RealDownload(const std::string& Url, const std::string& FileName, std::int64_t MaxBytes = -1) {
    return TFormDravin::DownloadToFile(Url, FileName, MaxBytes);
  }

 protected:
  void OpenPage(const std::string& Url) override {
    Pages.push_back(Url);
    if (OnPage) OnPage(Url);
  }
  TAboutForm* MakeAboutForm() override {
    ++AboutsMade;
    auto* About = FormsApplication()->CreateForm<TTestAbout>();
    About->Pages = &Pages;
    return About;
  }
};

inline std::string ListUrl() { return std::string(UpdateBaseUrl) + "fileversion.txt"; }

class HostInstall : public testing::Test {
 protected:
  void SetUp() override {
    // Absolute, as the folder of a running program always is: the log makes
    // a relative name absolute with the test program's own folder.
    Root = ScratchFolder();
    for (const char* F : {"host", "host\\dravin", "temp"}) plat::CreateDirectory(Root + F);
    OldTemp = GetEnvironmentText("temp");
    SetEnv("temp", Root + "temp");
  }
  void TearDown() override {
    SetEnv("temp", OldTemp);
    SetCommandLine(0, nullptr);
    DrainQueue();
  }

  std::string HostFolder() const { return Root + "host\\"; }
  std::string ProgramFolder() const { return Root + "host\\dravin\\"; }
  std::string TempFolder() const { return Root + "temp\\"; }
  std::string ListFile() const { return TempFolder() + "fileversion.txt"; }
  void Touch(const std::string& HostFile) { WriteFile(HostFolder() + HostFile, ""); }
  // Section TSetup of Zel's settings file; nullptr: no settings file at all.
  void Settings(const char* Setup) {
    DeleteFile(HostFolder() + "zel.ini");
    if (Setup) WriteFile(HostFolder() + "zel.ini", std::string("[TSetup]\r\n") + Setup);
  }
  void WriteList(const Lines& Entries) {
    std::string Text;
    for (const std::string& L : Entries) Text += L + "\r\n";
    WriteFile(ListFile(), Text);
  }
  std::string HostLog(const char* Name) {
    const std::string File = HostFolder() + Name;
    return FileExists(File) ? ReadFile(File) : std::string("(none)");
  }

  // The fetch of a run unless a test sets its own: the list lies where the
  // fetch stores it; each update file is the next of Served (none left: a
  // failed fetch), after DuringDownload.
  int FixtureFetch(const std::string& Url, const std::string& FileName) {
    if (Url == ListUrl()) return ListAlreadyInPlace(FileName);
    if (DuringDownload) DuringDownload();
    std::optional<std::string> Doc;
    if (!Served.empty()) Doc = Served.front(), Served.erase(Served.begin());
    return Store(Doc, FileName);
  }

  // The window made as the program makes it, in the fixture's install.
  TTestDravin* MakeWindow(TFormApplication& App) {
    auto* F = App.CreateForm<TTestDravin>();
    F->SetProgramFolder(ProgramFolder());
    F->Fetch = [this](const std::string& Url, const std::string& FileName) { return FixtureFetch(Url, FileName); };
    return F;
  }
  // A start with an argument: the window is shown and waits, idle.
  TTestDravin* StartIdle(TFormApplication& App) {
    static const char* Args[] = {"dravin.exe", "/options"};
    SetCommandLine(2, const_cast<char**>(Args));
    TTestDravin* F = MakeWindow(App);
    F->Show();
    App.ProcessMessages();
    return F;
  }
  // One start of the checker: creation, the first activation (and with it the
  // run), the loop until the window closes, and the end. What the window
  // showed at the end is kept below.
  void Run(const std::function<void(TTestDravin&)>& Prepare = nullptr) {
    auto App = std::make_unique<TFormApplication>();
    App->SetTitle("バージョンチェックプラグイン");
    TTestDravin* F = MakeWindow(*App);
    if (Prepare) Prepare(*F);
    App->Run();
    Pages = F->Pages;
    SettingsFile = F->SettingsFileName();
    StatusLine = F->Label1->Caption();
    ButtonsAfter = {F->ButtonPause->Enabled(), F->ButtonStop->Enabled(), F->ButtonSkip->Enabled(),
                    F->ButtonPlay->Enabled()};
    FetchBounds = F->Bounds;
  }

  std::string Root, OldTemp;
  std::vector<std::optional<std::string>> Served;
  std::function<void()> DuringDownload;
  Lines Pages;
  std::string SettingsFile, StatusLine;
  std::vector<bool> ButtonsAfter;
  std::vector<std::int64_t> FetchBounds;
};

}  // namespace testsupport

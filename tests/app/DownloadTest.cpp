// The checker's own fetches, in both builds, against servers on loopback: the
// scripted peer of http_peer.py (statuses, silences, cut documents), nginx
// and tinyproxy of web_peers.py. Under Wine the sockets, the timer and the
// registry's proxy settings are the system's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "app/Addresses.h"
#include "app/UDravin.h"
#include "support/MD5.h"
#include "util/TextUtils.h"

using testsupport::LoggedMessages;
using testsupport::ReadFile;
using testsupport::WriteFile;

// The system proxy of the browser settings (the registry; on the host the
// proxy variable), set for one test and put back afterwards.
void SetSystemProxy(const std::string& Server);
void RestoreSystemProxy();

namespace {

using testsupport::Env;
using testsupport::Lines;
using testsupport::Pattern;
using testsupport::PeerUrl;
using testsupport::TTestDravin;

// The real clock, with every sleep of the program written down.
class TRecordingClock : public TClockSource {
 public:
  TRecordingClock() { FPrevious = SetClockSource(this); }
  ~TRecordingClock() override { SetClockSource(FPrevious); }
  TDateTime Now() override { return FPrevious ? FPrevious->Now() : EncodeDate(2026, 12, 8); }
  void Sleep(std::uint32_t Milliseconds) override {
    Sleeps.push_back(Milliseconds);
    plat::Sleep(Milliseconds);
  }
  int Count(std::uint32_t Milliseconds) const {
    int N = 0;
    for (std::uint32_t S : Sleeps) N += S == Milliseconds;
    return N;
  }
  std::vector<std::uint32_t> Sleeps;

 private:
  TClockSource* FPrevious = nullptr;
};

class Download : public testsupport::HostInstall {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("DRAVIN_HTTP_PEER_PORT").empty()) << "run under http_peer.py";
    ASSERT_FALSE(Env("DRAVIN_TINYPROXY_PORT").empty()) << "run under web_peers.py";
    HostInstall::SetUp();
  }
  std::string Target() const { return TempFolder() + "doc.bin"; }
  // The window alone, outside a run, for its fetch.
  TTestDravin* Window(TFormApplication& App) {
    auto* F = App.CreateForm<TTestDravin>();
    F->SetProgramFolder(ProgramFolder());
    return F;
  }
};

}  // namespace

// A fetch stores the whole document or nothing: a document cut short of its
// stated length, one longer than the fetch's bound, one the disk cannot hold.
TEST_F(Download, AFetchThatFailsOrDoesNotFitStoresNothing) {
  struct Case {
    const char* What;
    const char* Setup;
    std::string Url;
    int Expected;
    std::int64_t MaxBytes = -1;
    bool DiskFull = false;
  } Cases[] = {
      {"a whole document", nullptr, PeerUrl("/s/ok/70000"), 70000},
      {"status 404", nullptr, PeerUrl("/s/status/404/100"), 0},
      {"status 500", nullptr, PeerUrl("/s/status/500/0"), 0},
      {"a name that cannot be resolved", nullptr, "http://dravin-nowhere.invalid/doc.bin", 0},
      {"a refused connection", nullptr, "http://127.0.0.1:1/doc.bin", 0},
      {"silence from the connection on", "TimeOut_Text=1\r\n", PeerUrl("/s/silent"), 0},
      {"silence after the status line", "TimeOut_Text=1\r\n", PeerUrl("/s/holdhead"), 0},
      {"silence in the body", "TimeOut_Text=1\r\n", PeerUrl("/s/holdbody"), 0},
      {"an empty document", nullptr, PeerUrl("/s/zero"), 0},
      {"a document the server cuts short of its stated length", nullptr, PeerUrl("/s/cutbody/500"), 0},
      {"a document without a stated length, ended by the server", nullptr, PeerUrl("/s/nolength/500"), 500},
      {"a document as long as its bound", nullptr, PeerUrl("/s/ok/70000"), 70000, 70000},
      {"a document one byte longer than its bound", nullptr, PeerUrl("/s/ok/70000"), 0, 69999},
      // With no time-out: only the bound ends it.
      {"an endless document, at the bound of every fetch", "TimeOut_Text=0\r\n", PeerUrl("/s/endless"), 0},
#ifndef _WIN32
      {"a disk that fills up", nullptr, PeerUrl("/s/ok/300000"), 0, -1, true},
#endif
  };
  TFormApplication App;
  auto* F = Window(App);
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Settings(C.Setup);
    WriteFile(Target(), "left from before");
    {
#ifndef _WIN32
      std::optional<testsupport::TFileSizeLimit> Full;
      if (C.DiskFull) Full.emplace(65536);
#endif
      EXPECT_EQ(F->DownloadToFile(C.Url, Target(), C.MaxBytes), C.Expected);
    }
    if (C.Expected)
      EXPECT_TRUE(ReadFile(Target()) == Pattern(static_cast<std::size_t>(C.Expected)));
    else
      EXPECT_FALSE(FileExists(Target()));
    EXPECT_FALSE(F->Timer1->Enabled());
    EXPECT_EQ(F->HttpCli1->DocStream(), nullptr);
  }
}

TEST_F(Download, TheWatchdogTakesTheHostsTimeOut) {
  struct Case {
    const char* Setup;
    std::uint32_t Interval;
  } Cases[] = {
      {nullptr, 60000},
      {"TimeOut_Text=5\r\n", 5000},
      {"TimeOut_Text=abc\r\n", 60000},
      {"TimeOut_Text=\r\n", 60000},
      {"TimeOut_Text=0\r\n", 0},  // no time-out at all
      {"TimeOut_Text=-5\r\n", 60000},
      {"TimeOut_Text=99999999\r\n", 60000},  // beyond what a timer can count
  };
  TFormApplication App;
  auto* F = Window(App);
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Setup ? C.Setup : "no settings file");
    Settings(C.Setup);
    EXPECT_EQ(F->DownloadToFile(PeerUrl("/s/ok/100"), Target()), 100);
    EXPECT_EQ(F->Timer1->Interval(), C.Interval);
  }
}

TEST_F(Download, TheProxyIsTheHostsOrTheSystemsOnlyWhenTheHostSaysTrue) {
  const std::string Proxy = Env("DRAVIN_TINYPROXY_PORT");
  struct Case {
    const char* What;
    std::string Setup;
    const char* SystemProxy;  // nullptr: switched off
    bool ThroughProxy;
  } Cases[] = {
      {"no proxy wanted", "UseProxy_Checked=False\r\nProxyServerAddress_Text=127.0.0.1\r\nProxyServerPort_Text=" + Proxy,
       nullptr, false},
      {"only the exact word True counts",
       "UseProxy_Checked=true\r\nProxyServerAddress_Text=127.0.0.1\r\nProxyServerPort_Text=" + Proxy, nullptr, false},
      {"the host's proxy, blanks removed",
       "UseProxy_Checked=True\r\nProxyServerAddress_Text=\"  127.0.0.1 \"\r\nProxyServerPort_Text=\" " + Proxy + " \"",
       nullptr, true},
      {"the system's proxy", "UseProxy_Checked=True\r\nUseIEProxy_Checked=True\r\nProxyServerAddress_Text=nowhere",
       "127.0.0.1", true},
      {"the system's proxy switched off",
       "UseProxy_Checked=True\r\nUseIEProxy_Checked=True\r\nProxyServerAddress_Text=nowhere", nullptr, false},
  };
  TFormApplication App;
  auto* F = Window(App);
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Settings((C.Setup + "\r\n").c_str());
    SetSystemProxy(C.SystemProxy ? std::string(C.SystemProxy) + ":" + Proxy : "");
    // The peer answers with the request as it reached it.
    const int N = F->DownloadToFile(PeerUrl("/s/echo"), Target());
    RestoreSystemProxy();
    ASSERT_GT(N, 0);
    const std::string Request = ReadFile(Target());
    // tinyproxy closes every connection it passes on, and says so.
    EXPECT_EQ(Request.find("\r\nConnection: close\r\n") != std::string::npos, C.ThroughProxy) << Request;
    EXPECT_EQ(F->HttpCli1->Proxy(), C.ThroughProxy ? "127.0.0.1" : "");
  }
}

TEST_F(Download, EveryPieceOfTheBodyCostsTenMilliseconds) {
  TRecordingClock Clock;
  TFormApplication App;
  auto* F = Window(App);
  int Pieces = 0;
  const auto Handler = F->HttpCli1->OnDocData;
  F->HttpCli1->OnDocData = [&](TObject* Sender, const void* Buffer, std::int32_t Len) {
    ++Pieces;
    Handler(Sender, Buffer, Len);
  };
  EXPECT_EQ(F->DownloadToFile(PeerUrl("/s/ok/300000"), Target()), 300000);
  EXPECT_GT(Pieces, 1);
  EXPECT_EQ(Clock.Count(10), Pieces);
}


// The whole run against nginx as the update server, reached the way a host's
// users reach it through their proxy: the settings name nginx as the proxy.
TEST_F(Download, TheRunFetchesItsListAndInstallsAPlugInFromTheServer) {
  // The folder of the update address on the server.
  const std::string Base = UpdateBaseUrl, Path = Base.substr(Base.find('/', Base.find("://") + 3));
  std::string Server = testsupport::BuildTreeFolder(Env("DRAVIN_WEB_ROOT")) + Path;
  for (char& C : Server)
    if (C == '/') C = '\\';
  for (std::string::size_type At = Server.find('\\', 3); At != std::string::npos; At = Server.find('\\', At + 1))
    plat::CreateDirectory(Server.substr(0, At));
  plat::CreateDirectory(Server + "bin");
  const std::string New = "# plug ver 2.0\r\n# by someone\r\n";
  WriteFile(Server + "bin\\plug.pl", New);
  // A blank in the name: the request line carries it encoded.
  WriteFile(Server + "bin\\my plug.pl", New);
  DeleteFile(Server + "bin\\gone.pl");
  const std::string SizeAndDigest = IntToStr(New.size()) + "," + MD5HexDigest(New.data(), New.size()) + "\r\n";
  WriteFile(Server + "fileversion.txt", "Gone,gone.pl,2.0,someone,10,0123456789ABCDEF0123456789ABCDEF\r\n"
                                        "My Plug,my plug.pl,2.0,someone," + SizeAndDigest +
                                        "Plug,plug.pl,2.0,someone," + SizeAndDigest);
  WriteFile(ProgramFolder() + "plug.pl", "# plug ver 1.0\r\n# by someone\r\n");
  WriteFile(ProgramFolder() + "my plug.pl", "# plug ver 1.0\r\n# by someone\r\n");
  WriteFile(ProgramFolder() + "gone.pl", "# gone ver 1.0\r\n# by someone\r\n");
  Settings(("UseProxy_Checked=True\r\nProxyServerAddress_Text=127.0.0.1\r\nProxyServerPort_Text=" +
            Env("DRAVIN_NGINX_PORT") + "\r\n")
               .c_str());

  auto RunOnce = [&](bool StopInDownload) {
    WriteFile(HostFolder() + "zel.log", "");
    HostInstall::Run([&](TTestDravin& F) {
      F.Fetch = nullptr;
      F.AutoDLL->SetChecked(true);
      if (StopInDownload) {
        // The run told to stop while a piece of the plug-in arrives.
        const auto Handler = F.HttpCli1->OnDocData;
        F.HttpCli1->OnDocData = [&F, Handler](TObject* Sender, const void* Buffer, std::int32_t Len) {
          const std::string Url = F.HttpCli1->URL();
          if (Url.size() >= 8 && Url.compare(Url.size() - 8, 8, "/plug.pl") == 0) F.FStop = true;
          Handler(Sender, Buffer, Len);
        };
      }
    });
    EXPECT_TRUE(Pages.empty());
    return LoggedMessages(HostFolder() + "zel.log");
  };
  // The first entry fails at once (404), the next two are installed; Stop then ends the scan.
  EXPECT_EQ(RunOnce(true), (Lines{"バージョンチェックプラグイン", "バージョンチェック開始", "Gone Ver.2.0をダウンロードします.",
                              "Goneのダウンロードに失敗しました.", "My Plug Ver.2.0をダウンロードします.",
                              "My Plugをバージョンアップしました.", "Plug Ver.2.0をダウンロードします.",
                              "Plugをバージョンアップしました.", "バージョンチェック終了"}));
  EXPECT_EQ(ReadFile(ProgramFolder() + "plug.pl"), New);
  EXPECT_EQ(ReadFile(ProgramFolder() + "my plug.pl"), New);
  EXPECT_TRUE(ReadFile(TempFolder() + "plug.pl") == New);
  EXPECT_FALSE(FileExists(TempFolder() + "fileversion.txt"));
  // The next run finds the new version and has nothing to do for it.
  EXPECT_EQ(RunOnce(false), (Lines{"バージョンチェックプラグイン", "バージョンチェック開始", "Gone Ver.2.0をダウンロードします.",
                               "Goneのダウンロードに失敗しました.", "バージョンチェック終了"}));
}

// Started with an argument, the window fetches nothing: its watchdog, enabled
// with the form's default second, ticks once on the idle client and stops.
TEST_F(Download, TheWatchdogTicksOnceWhenNoFetchStarts) {
  TFormApplication App;
  auto* F = Window(App);
  int Ticks = 0;
  const auto Handler = F->Timer1->OnTimer;
  F->Timer1->OnTimer = [&](TObject* Sender) {
    ++Ticks;
    Handler(Sender);
  };
  EXPECT_TRUE(F->Timer1->Enabled());
  EXPECT_EQ(F->Timer1->Interval(), 1000u);
  for (const std::uint64_t Start = plat::TickCount(); Ticks == 0 && plat::TickCount() - Start < 30000;) {
    App.ProcessMessages();
    plat::Sleep(10);
  }
  EXPECT_EQ(Ticks, 1);
  EXPECT_FALSE(F->Timer1->Enabled());
  EXPECT_EQ(F->HttpCli1->State(), hsIdle);
}

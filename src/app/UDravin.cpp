#include "app/UDravin.h"

#include <climits>
#include <memory>

#include "app/Addresses.h"
#include "app/UAbout.h"
#include "app/UpdateInstall.h"
#include "framework/IniFiles.h"
#include "framework/Streams.h"
#include "region/StoredRegion.h"
#include "util/FileNames.h"
#include "util/SystemSettings.h"
#include "util/TextUtils.h"
#include "util/VersionInfo.h"

namespace {

const char* const FormFont = "ＭＳ Ｐゴシック";
constexpr TColor LightCyan = RGBColor(238, 255, 255);

// The first of two host files that exists, or empty.
std::string FirstExisting(const std::string& First, const std::string& Second) {
  if (FileExists(First)) return First;
  if (FileExists(Second)) return Second;
  return std::string();
}

// A label drawn over the window's picture, in the form's font but for the
// height and colour given.
template <typename T>
T* MakeLabel(TFormDravin* Form, const char* Name, int Left, int Top, int Width, int Height, const std::string& Caption,
             int FontHeight, TColor Color) {
  T* L = NewControl<T>(Form, Name, Left, Top, Width, Height, Caption);
  L->SetTransparent(true);
  L->SetFont(TFont{FormFont, FontHeight, Color, false});
  return L;
}

// A button with its 16 x 16 picture, stored with the program under the button's name.
TBitBtn* MakeGlyphButton(TFormDravin* Form, const char* Name, int Left, int Top, int Width, int Height,
                         const std::string& Caption, const std::string& Hint) {
  auto* B = NewControl<TBitBtn>(Form, Name, Left, Top, Width, Height, Caption);
  TBitmap Glyph;
  LoadStoredGlyph(Name, Glyph);
  B->SetGlyph(Glyph);
  if (!Hint.empty()) {
    B->SetHint(Hint);
    B->SetShowHint(true);
  }
  return B;
}

}  // namespace

TFormDravin::TFormDravin(TComponent* AOwner) : TForm(AOwner) {
  SetName("FormDravin");
  SetCaption("プラグインバージョンチェック");
  SetBounds(158, 141, 445, 183);
  SetFont(FormFont, 12);
  FProgramFolder = ExtractFilePath(ParamStr(0));

  // The picture and its outline come as the form stores them: loading takes
  // them as they are, and load completion builds the outline from the data.
  Rgn1 = new TRgn(this);
  Rgn1->SetName("Rgn1");
  Rgn1->BeginLoading();
  {
    TBitmap Picture;
    std::vector<std::uint8_t> Outline;
    LoadStoredRegion("Rgn1", Picture, Outline);
    Rgn1->SetStoredData(Picture, Outline);
  }
  Rgn1->SetAutoSize(true);
  Rgn1->SetBounds(0, 0, 445, 183);
  Rgn1->SetParent(this);
  Rgn1->Loaded();

  // Windowless labels are painted in this order, over the picture; windowed
  // controls are made in tab order.
  RxLabel1 = MakeLabel<TRxLabel>(this, "RxLabel1", 8, 16, 200, 20, "バージョンチェック", 16, clNavy);
  Label1 = MakeLabel<TLabel>(this, "Label1", 24, 48, 353, 25, "", 16, clBlack);
  Label2 = MakeLabel<TLabel>(this, "Label2", 24, 80, 200, 14, "", 12, clBlack);
  Label3 = MakeLabel<TLabel>(this, "Label3", 64, 90, 300, 14, "新しいバージョンがあったらブラウザを立ち上げる", 12, clBlack);
  Label4 = MakeLabel<TLabel>(this, "Label4", 64, 114, 300, 14, "新しいバージョンがあったらインストールする", 12, clBlack);

  OpenHomePage = NewControl<TRadioButton>(this, "OpenHomePage", 32, 88, 17, 17, "");
  OpenHomePage->SetColor(LightCyan);
  OpenHomePage->SetChecked(true);
  ButtonPause = MakeGlyphButton(this, "ButtonPause", 320, 138, 81, 25, "一時停止", "");
  ButtonStop = MakeGlyphButton(this, "ButtonStop", 232, 138, 81, 25, "停止", "");
  ButtonStop->SetCancel(true);
  ButtonSkip = MakeGlyphButton(this, "ButtonSkip", 145, 138, 81, 25, "スキップ", "");
  ButtonSkip->SetCancel(true);
  ButtonSkip->SetEnabled(false);
  ButtonPlay = MakeGlyphButton(this, "ButtonPlay", 56, 138, 81, 25, "再開", "");
  ButtonPlay->SetEnabled(false);
  ButtonHome = MakeGlyphButton(this, "ButtonHome", 360, 48, 25, 25, "", "ホームページを開きます");
  ButtonAbout = MakeGlyphButton(this, "ButtonAbout", 384, 48, 25, 25, "", "バージョン情報を表示します");
  ButtonMin = MakeGlyphButton(this, "ButtonMin", 408, 48, 25, 25, "", "ウィンドウを最小化します");
  AutoDLL = NewControl<TRadioButton>(this, "AutoDLL", 32, 112, 17, 17, "");
  AutoDLL->SetColor(LightCyan);

  LogFile1 = new TLogFile(this);
  LogFile1->SetName("LogFile1");
  // The option buttons' states live in the host's settings file; bound once
  // every control of the form exists.
  FormStorage1 = new TFormStorage(this);
  FormStorage1->SetName("FormStorage1");
  FormStorage1->BeginLoading();
  FormStorage1->StoredProps.Add("OpenHomePage.Checked");
  FormStorage1->StoredProps.Add("AutoDLL.Checked");
  FormStorage1->Loaded();

  HttpCli1 = new THttpCli(this);
  HttpCli1->SetName("HttpCli1");
  HttpCli1->SetLocalAddr("0.0.0.0");
  HttpCli1->SetProxyPort("80");
  HttpCli1->SetAgent("Mozilla/4.0 (compatible; version check plug-in)");
  HttpCli1->SetAccept("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
  HttpCli1->SetNoCache(false);
  HttpCli1->SetContentTypePost("application/x-www-form-urlencoded");
  HttpCli1->SetMultiThreaded(false);
  HttpCli1->SetSocksLevel("5");
  HttpCli1->SetSocksAuthentication(socksNoAuthentication);
  HttpCli1->OnDocData = [this](TObject* Sender, const void* Buffer, std::int32_t Len) {
    HttpCli1DocData(Sender, Buffer, Len);
  };

  // Enabled with the default second: without a fetch by then it fires once
  // on an idle client and switches itself off.
  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->OnTimer = [this](TObject* Sender) { Timer1Timer(Sender); };

  ButtonPause->OnClick = [this](TObject* Sender) { ButtonPauseClick(Sender); };
  ButtonPlay->OnClick = [this](TObject* Sender) { ButtonPlayClick(Sender); };
  ButtonSkip->OnClick = [this](TObject* Sender) { ButtonSkipClick(Sender); };
  ButtonStop->OnClick = [this](TObject* Sender) { ButtonStopClick(Sender); };
  ButtonHome->OnClick = [this](TObject* Sender) { ButtonHomeClick(Sender); };
  ButtonAbout->OnClick = [this](TObject* Sender) { ButtonAboutClick(Sender); };
  ButtonMin->OnClick = [this](TObject* Sender) { ButtonMinClick(Sender); };
  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  OnActivate = [this](TObject* Sender) { FormActivate(Sender); };
  OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
  OnDestroy = [this](TObject* Sender) { FormDestroy(Sender); };
}

TFormDravin::~TFormDravin() {
  // The log writes its end marker as it goes; the handler must not outlive the form.
  if (Application && Application->OnException) Application->OnException = nullptr;
  if (FAboutForm) FAboutForm->RemoveFreeNotification(this);
  DestroyComponents();
}

void TFormDravin::FormCreate(TObject* Sender) {
  Rgn1->ApplyRegion();
  Application->OnException = [this](TObject* S, Exception& E) { AppException(S, E); };
  FStop = false;
}

void TFormDravin::WndProc(TMessage& Message) {
  if (Message.Msg == plat::MsgNcHitTest) {
    Message.Result = plat::HitCaption;
    return;
  }
  TForm::WndProc(Message);
}

void TFormDravin::Notification(TComponent* AComponent, TOperation Operation) {
  TForm::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FAboutForm) FAboutForm = nullptr;
}

void TFormDravin::FormClose(TObject* Sender, TCloseAction& Action) {}

void TFormDravin::FormDestroy(TObject* Sender) {}

void TFormDravin::AppException(TObject* Sender, Exception& E) { LogFile1->WriteLog(E.Message(), true); }

void TFormDravin::FormActivate(TObject* Sender) {
  // Returning from another window or from the task bar activates the form
  // again; the run must happen once.
  if (FActivated) return;
  FActivated = true;

  // The host is the one whose settings file exists, and the option buttons
  // are restored from it. Without one the storage still reads (its own
  // default file) but never writes.
  FSettingsFileName = FirstExisting(FProgramFolder + "..\\zel.ini", FProgramFolder + "..\\orn.ini");
  if (!FSettingsFileName.empty()) FormStorage1->SetIniFileName(FSettingsFileName);
  else FormStorage1->SetActive(false);
  FormStorage1->RestoreFormPlacement();

  // Chosen apart from the settings file: Zel's settings with Orn's log is a
  // valid outcome. Only a log the host has created is written to.
  LogFile1->LogFileName = FirstExisting(FProgramFolder + "..\\zel.log", FProgramFolder + "..\\orn.log");
  LogFile1->SetActive(!LogFile1->LogFileName.empty());
  LogFile1->WriteLog("バージョンチェックプラグイン", false);
  Repaint();

  // Any argument makes this an idle window that only serves the options.
  if (!ParamStr(1).empty()) return;
  try {
    RunVersionCheck();
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

void TFormDravin::ButtonPauseClick(TObject* Sender) {
  FPause = true;
  ButtonPlay->SetEnabled(true);
  ButtonPause->SetEnabled(false);
  // The run is on the stack below this handler: it waits as long as this does.
  const auto Alive = AliveToken();
  while (FPause && !FStop && !FSkip) {
    Sleep(1000);
    PumpMessages();
    if (!*Alive) return;
  }
  ButtonPlay->SetEnabled(false);
  ButtonPause->SetEnabled(true);
}

void TFormDravin::ButtonPlayClick(TObject* Sender) { FPause = false; }

void TFormDravin::ButtonSkipClick(TObject* Sender) {
  FSkip = true;
  if (AnsiPos("スキップ...", Label2->Caption()) == 0) Label2->SetCaption(Label2->Caption() + "スキップ...");
  LogFile1->WriteLog("スキップボタン押下", false);
}

void TFormDravin::ButtonStopClick(TObject* Sender) {
  FStop = true;
  ButtonPlay->SetEnabled(false);
  ButtonStop->SetEnabled(false);
  ButtonSkip->SetEnabled(false);
  ButtonPause->SetEnabled(false);
  // A fetch in progress ends now and counts as failed: a server that trickles,
  // or stays silent with no time-out set, would otherwise keep the program
  // alive long after its window has gone.
  if (HttpCli1->State() != hsIdle) HttpCli1->Abort();
  // The run, still on the stack, ends before its next line and then returns.
  Close();
}

void TFormDravin::ButtonHomeClick(TObject* Sender) { OpenPage(MakerSoftwarePage); }

void TFormDravin::ButtonAboutClick(TObject* Sender) {
  if (!FAboutForm) {
    FAboutForm = MakeAboutForm();
    FAboutForm->FreeNotification(this);
  }
  FAboutForm->CenterOver(this);
  FAboutForm->Show();
}

void TFormDravin::ButtonMinClick(TObject* Sender) { SetWindowState(TWindowState::wsMinimized); }

TAboutForm* TFormDravin::MakeAboutForm() {
  TFormApplication* App = FormsApplication();
  if (!App) throw EInvalidOperation("The About dialog needs the application's forms");
  return App->CreateForm<TAboutForm>();
}

void TFormDravin::ShowStatus(const std::string& Text) {
  Label1->SetCaption(Text);
  LogFile1->WriteLog(Label1->Caption(), false);
}

void TFormDravin::RunVersionCheck() {
  try {
    ScanVersionList();
  } catch (...) {
    DisableRunButtons();
    throw;
  }
  DisableRunButtons();
}

void TFormDravin::DisableRunButtons() {
  ButtonPlay->SetEnabled(false);
  ButtonStop->SetEnabled(false);
  ButtonSkip->SetEnabled(false);
  ButtonPause->SetEnabled(false);
}

void TFormDravin::ScanVersionList() {
  FStop = false;
  FSkip = false;
  TStringList Fields;

  ShowStatus("バージョンチェック開始");
  const std::string ListFile = GetTempFolder() + "fileversion.txt";
  if (DownloadToFile(std::string(UpdateBaseUrl) + "fileversion.txt", ListFile) == 0) {
    LogFile1->WriteLog("バージョンチェックファイルダウンロード失敗.", true);
    return;
  }
  TTextFile List(ListFile);
  if (!OpenTextFileRetry(List, 0)) {
    LogFile1->WriteLog("バージョンチェックファイル取得失敗.", true);
    return;
  }
  // Stop is looked at before each line: the entry in progress is finished first.
  bool PlugInPending = false;
  while (!List.Eof() && !PlugInPending && !FStop) {
    SplitCsvLine(List.ReadLn(), Fields);
    CheckEntry(Fields, PlugInPending);
    PumpMessages();
  }
  List.Close();
  DeleteFile(ListFile);

  if (PlugInPending) {
    ShowStatus("新しいプラグインがリリースされています.");
    OpenPage(HostPage(ZelPlugInPage, OrnPlugInPage));
  }
  ShowStatus("バージョンチェック終了");
}

void TFormDravin::CheckEntry(const TStrings& Fields, bool& PlugInPending) {
  if (Fields.Count() != 6) return;
  // Treated like an entry whose installed copy is absent: a name that leads
  // out of the install folder, names a device or another file than it says.
  // The display name and the version go into the status line and the host's
  // log as they are, where a control byte has no place.
  if (FileNameFault(Fields[1]) != TFileNameFault::fnOk || HasControlByte(Fields[0]) || HasControlByte(Fields[2]))
    return;
  const std::string Name = LowerCase(Fields[1]);
  const bool HostProgram = Name == "zel.exe" || Name == "orn.exe";
  const std::string Installed = FProgramFolder + (HostProgram ? "..\\" : "") + Fields[1];
  // Lists name files of both hosts and plug-ins that may not be installed here.
  if (!FileExists(Installed)) return;

  // Any difference counts: the list repeats the resource strings exactly, and
  // no ordering of versions is attempted.
  TVersion Version;
  GetFileVersionStrings(Installed, Version);
  if (Fields[2] == Version.FileVersion && Fields[3] == Version.LegalCopyright) return;

  if (HostProgram) {
    // Host programs are announced, whatever the options say, and never replaced.
    ShowStatus(Fields[0] + " Ver." + Fields[2] + "がリリースされています.");
    OpenPage(HostPage(ZelProductPage, OrnProductPage));
  } else if (!AutoDLL->Checked() || Name == "dravin.exe") {
    // The checker cannot replace its own running executable: it is left to the user too.
    PlugInPending = true;
  } else {
    InstallUpdate(Fields);
  }
}

void TFormDravin::InstallUpdate(const TStrings& Fields) {
  TUpdateInstall Install([this](const std::string& Url, const std::string& FileName,
                                std::int64_t MaxBytes) { return DownloadToFile(Url, FileName, MaxBytes); },
                         [this](const std::string& Text) { ShowStatus(Text); });
  Install.Execute(Fields, FProgramFolder);
}

std::string TFormDravin::ReadSetupString(const std::string& Key) const {
  // Looked up afresh for every key: the host may write its settings while the
  // checker runs.
  const std::string File = FirstExisting(FProgramFolder + "..\\zel.ini", FProgramFolder + "..\\orn.ini");
  if (File.empty()) return std::string();
  TIniFile Ini(File);
  return Ini.ReadString("TSetup", Key, "");
}

namespace {

// The target of a fetch, which refuses to grow beyond its bound: the write
// that would pass it raises, and the client then ends the request as failed.
class TBoundedFileStream : public TFileStream {
 public:
  TBoundedFileStream(const std::string& FileName, std::int64_t MaxBytes)
      : TFileStream(FileName, fmCreate), FMaxBytes(MaxBytes) {}
  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    if (Count > FMaxBytes - FWritten) {
      FExceeded = true;
      throw EWriteError("More than " + IntToStr(FMaxBytes) + " bytes for " + FileName());
    }
    const std::int64_t Done = TFileStream::Write(Buffer, Count);
    FWritten += Done;
    return Done;
  }
  bool Exceeded() const { return FExceeded; }

 private:
  std::int64_t FMaxBytes, FWritten = 0;
  bool FExceeded = false;
};

}  // namespace

int TFormDravin::DownloadToFile(const std::string& Url, const std::string& FileName, std::int64_t MaxBytes) {
  std::string ProxyHost, ProxyPort;
  if (ReadSetupString("UseProxy_Checked") == "True") {
    if (ReadSetupString("UseIEProxy_Checked") == "True") {
      TIESetting Setting;
      GetIESetting(Setting);
      ProxyHost = Setting.ProxyServer;
      ProxyPort = Setting.ProxyPort;
    } else {
      ProxyHost = Trim(ReadSetupString("ProxyServerAddress_Text"));
      ProxyPort = Trim(ReadSetupString("ProxyServerPort_Text"));
    }
  }
  HttpCli1->SetProxy(ProxyHost);
  HttpCli1->SetProxyPort(ProxyPort);

  // Seconds of silence allowed; 0 means none is enforced. A negative count or
  // one beyond the timer's range would wrap into a nonsense interval.
  long long Seconds = StrToInt64Def(ReadSetupString("TimeOut_Text"), 60);
  if (Seconds < 0 || Seconds > 0x7FFFFFFF / 1000) Seconds = 60;
  Timer1->SetInterval(static_cast<std::uint32_t>(Seconds * 1000));
  Timer1->SetEnabled(true);

  HttpCli1->SetURL(Url);
  std::int64_t Result = 0;
  {
    std::unique_ptr<TBoundedFileStream> Stream;
    // On every way out, an exception of the socket layer included: the
    // watchdog off and the client let go of the stream before it is closed.
    struct TCleanUp {
      TFormDravin& Form;
      ~TCleanUp() {
        Form.Timer1->SetEnabled(false);
        Form.HttpCli1->SetDocStream(nullptr);
      }
    } CleanUp{*this};
    Stream = std::make_unique<TBoundedFileStream>(FileName, MaxBytes < 0 ? MaxDocumentBytes : MaxBytes);
    HttpCli1->SetDocStream(Stream.get());
    try {
      HttpCli1->Get();
      // A document that would not fit is not stored in part, whatever the
      // client made of the refused write.
      if (!Stream->Exceeded()) Result = Stream->Size();
    } catch (const EHttpException&) {
      // Refused, failed, cut short, not stored, aborted by the watchdog or
      // Stop, or a status of 400 or more.
    }
  }
  if (Result == 0) DeleteFile(FileName);
  return Result > INT_MAX ? INT_MAX : static_cast<int>(Result);
}

void TFormDravin::HttpCli1DocData(TObject* Sender, const void* Buffer, std::int32_t Len) {
  // The countdown measures silence: it starts again with every piece. The
  // pause is the program's pace on the hosts' networks.
  Timer1->SetEnabled(false);
  Sleep(10);
  Timer1->SetEnabled(true);
}

void TFormDravin::Timer1Timer(TObject* Sender) {
  HttpCli1->Abort();
  Timer1->SetEnabled(false);
}

void TFormDravin::OpenPage(const std::string& Url) { ShellOpen(Url, ""); }

std::string TFormDravin::HostPage(const char* ZelPage, const char* OrnPage) const {
  if (FileExists(FProgramFolder + "..\\zel.ini")) return ZelPage;
  if (FileExists(FProgramFolder + "..\\orn.ini")) return OrnPage;
  return MakerTopPage;
}

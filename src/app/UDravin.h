// The checker's main window and its one job, the check run: find the host,
// read the version list, compare every listed file with the installed copy,
// and announce what is new.
#pragma once

#include <string>

#include "framework/Forms.h"
#include "framework/Timer.h"
#include "http/HttpProt.h"
#include "region/Region.h"
#include "support/LogFile.h"
#include "support/Placemnt.h"

class TAboutForm;

class TFormDravin : public TForm {
 public:
  explicit TFormDravin(TComponent* AOwner);
  ~TFormDravin() override;
  const char* ClassName() const override { return "TFormDravin"; }

  // Controls and components, named as in the form.
  TRgn* Rgn1 = nullptr;
  TRxLabel* RxLabel1 = nullptr;
  TLabel* Label1 = nullptr;  // the status line
  TLabel* Label2 = nullptr;  // the skip mark
  TLabel* Label3 = nullptr;
  TLabel* Label4 = nullptr;
  TRadioButton* OpenHomePage = nullptr;
  TBitBtn* ButtonPause = nullptr;
  TBitBtn* ButtonStop = nullptr;
  TBitBtn* ButtonSkip = nullptr;
  TBitBtn* ButtonPlay = nullptr;
  TBitBtn* ButtonHome = nullptr;
  TBitBtn* ButtonAbout = nullptr;
  TBitBtn* ButtonMin = nullptr;
  TRadioButton* AutoDLL = nullptr;
  TLogFile* LogFile1 = nullptr;
  THttpCli* HttpCli1 = nullptr;
  TTimer* Timer1 = nullptr;  // the download's inactivity watchdog
  TFormStorage* FormStorage1 = nullptr;

  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void FormDestroy(TObject* Sender);
  void AppException(TObject* Sender, Exception& E);

  void ButtonPauseClick(TObject* Sender);
  void ButtonPlayClick(TObject* Sender);
  void ButtonSkipClick(TObject* Sender);
  void ButtonStopClick(TObject* Sender);
  void ButtonHomeClick(TObject* Sender);
  void ButtonAboutClick(TObject* Sender);
  void ButtonMinClick(TObject* Sender);
  // The About dialog once the About button has made it, else nullptr.
  TAboutForm* AboutForm() const { return FAboutForm; }

  // The window is moved by any point of its own surface: the hit test
  // answers "caption" there.
  void WndProc(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Sets the status line and writes the same text to the log.
  void ShowStatus(const std::string& Text);
  void RunVersionCheck();
  // What a fetch may store at most when nothing smaller is known (the list,
  // an update file whose listed size is not a number): no server fills the
  // disk with an endless body.
  static constexpr std::int64_t MaxDocumentBytes = 16 * 1024 * 1024;

  // Stores Url into FileName with the host's proxy and time-out settings; the
  // number of bytes stored, 0 when the fetch failed, the document was empty or
  // would have been longer than MaxBytes (the file is then deleted; -1 stands
  // for MaxDocumentBytes). Exceptions other than the client's own leave after
  // the clean-up, the file kept.
  virtual int DownloadToFile(const std::string& Url, const std::string& FileName, std::int64_t MaxBytes = -1);
  // The value of Key in section "TSetup" of the host's settings file (Zel's,
  // else Orn's), read afresh; empty without either file or key.
  std::string ReadSetupString(const std::string& Key) const;
  void HttpCli1DocData(TObject* Sender, const void* Buffer, std::int32_t Len);
  void Timer1Timer(TObject* Sender);

  // The folder of the running checker, with its trailing backslash; host files
  // are reached from it through "..\".
  const std::string& ProgramFolder() const { return FProgramFolder; }
  // The host's settings file chosen at the first activation; empty when the
  // host has none.
  const std::string& SettingsFileName() const { return FSettingsFileName; }

  bool FActivated = false;
  bool FStop = false;
  bool FSkip = false;
  bool FPause = false;

 protected:
  // Hands a web page to the shell.
  virtual void OpenPage(const std::string& Url);
  // Makes the About dialog, owned by the application.
  virtual TAboutForm* MakeAboutForm();
  void SetProgramFolder(const std::string& Folder) { FProgramFolder = Folder; }

 private:
  void ScanVersionList();
  void CheckEntry(const TStrings& Fields, bool& PlugInPending);
  void InstallUpdate(const TStrings& Fields);
  // The page of the host whose settings file exists: Zel's, else Orn's, else the maker's.
  std::string HostPage(const char* ZelPage, const char* OrnPage) const;
  void DisableRunButtons();

  std::string FProgramFolder;
  std::string FSettingsFileName;
  TAboutForm* FAboutForm = nullptr;
};

#include "app/UAbout.h"

#include "app/Addresses.h"
#include "util/SystemSettings.h"
#include "util/VersionInfo.h"

namespace {

const char* const FormFont = "ＭＳ Ｐゴシック";
constexpr TColor Lavender = RGBColor(240, 240, 255);

TLabel* MakeLabel(TAboutForm* Form, const char* Name, int Left, int Top, int Width, const std::string& Caption) {
  auto* L = NewControl<TLabel>(Form, Name, Left, Top, Width, 14, Caption);
  L->SetTransparent(true);
  TFont F = L->Font();
  F.Color = clNavy;
  L->SetFont(F);
  return L;
}

// An address shown as a link: blue, underlined, the hand over it.
TLabel* MakeLink(TAboutForm* Form, const char* Name, int Left, int Top, const char* Address) {
  TLabel* L = MakeLabel(Form, Name, Left, Top, 290, Address);
  TFont F = L->Font();
  F.Color = clBlue;
  F.Underline = true;
  L->SetFont(F);
  L->SetCursor(TCursor::crHandPoint);
  L->SetHint("ホームページを開く");
  L->SetShowHint(true);
  return L;
}

}  // namespace

TAboutForm::TAboutForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("AboutForm");
  SetCaption("バージョン情報");
  SetBorderStyle(TFormBorderStyle::bsDialog);
  SetBounds(0, 0, 334, 204);
  SetColor(Lavender);
  SetFont(FormFont, 12);

  BtnCancel = NewControl<TButton>(this, "BtnCancel", 127, 169, 75, 25, "OK");
  BtnCancel->SetCancel(true);
  BtnCancel->OnClick = [this](TObject* Sender) { BtnCancelClick(Sender); };
  // First in the tab order: Enter closes the dialog as soon as it is shown.
  SetActiveControl(BtnCancel);

  LabelTitle = MakeLabel(this, "LabelTitle", 80, 8, 240, "");
  LabelVersion = MakeLabel(this, "LabelVersion", 80, 32, 240, "");
  LabelCopyLeft = MakeLabel(this, "LabelCopyLeft", 80, 56, 240, "");
  Label2 = MakeLabel(this, "Label2", 8, 76, 316, "最新バージョンはこのホームページからダウンロードできます。");
  Label3 = MakeLink(this, "Label3", 32, 96, DownloadPage);
  Label3->OnClick = [this](TObject* Sender) { Label3Click(Sender); };
  ImageMain = NewControl<TImage>(this, "ImageMain", 8, 8, 64, 64);
  ImageMain->SetStretch(true);
  ImageSub = NewControl<TImage>(this, "ImageSub", 232, 16, 32, 32);
  ImageSub->SetVisible(false);
  Label1 = MakeLabel(this, "Label1", 8, 120, 321, "要望、感想、質問、バグなどは、こちらのBBSまでご連絡ください");
  Label4 = MakeLink(this, "Label4", 32, 144, SupportBoardPage);
  Label4->OnClick = [this](TObject* Sender) { Label4Click(Sender); };

  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
}

void TAboutForm::FormCreate(TObject* Sender) {
  // The icon at its own size on the small picture, then enlarged to 64 x 64
  // on the large one.
  TBitmap Icon;
  LoadProgramIcon("MAINICON", Color(), Icon);
  ImageSub->SetPicture(Icon);
  TBitmap Large;
  if (!Icon.Empty()) StretchBitmap(ImageSub->Picture(), Large, 64, 64);
  ImageMain->SetPicture(Large);

  // The strings as stored: nothing is formatted here.
  TVersion Version;
  GetFileVersionStrings(VersionFile(), Version);
  LabelTitle->SetCaption(Version.ProductName);
  LabelVersion->SetCaption("バージョン " + Version.FileVersion);
  LabelCopyLeft->SetCaption("作者 " + Version.LegalCopyright);
}

void TAboutForm::Label3Click(TObject* Sender) { OpenPage(DownloadPage); }

void TAboutForm::Label4Click(TObject* Sender) { OpenPage(SupportBoardPage); }

void TAboutForm::BtnCancelClick(TObject* Sender) { Close(); }

void TAboutForm::OpenPage(const std::string& Url) { ShellOpen(Url, ""); }

std::string TAboutForm::VersionFile() const { return ParamStr(0); }

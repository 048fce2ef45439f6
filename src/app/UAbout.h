// The About dialog: the checker's name, version and author from its own
// version resource, its icon enlarged, and two addresses that open in the
// browser. Created on first use and kept; closing only hides it.
#pragma once

#include <string>

#include "framework/Forms.h"

class TAboutForm : public TForm {
 public:
  explicit TAboutForm(TComponent* AOwner);
  const char* ClassName() const override { return "TAboutForm"; }

  TLabel* LabelTitle = nullptr;
  TLabel* LabelVersion = nullptr;
  TLabel* LabelCopyLeft = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label3 = nullptr;
  TImage* ImageMain = nullptr;
  TImage* ImageSub = nullptr;
  TLabel* Label1 = nullptr;
  TLabel* Label4 = nullptr;
  TButton* BtnCancel = nullptr;

  void FormCreate(TObject* Sender);
  void Label3Click(TObject* Sender);
  void Label4Click(TObject* Sender);
  void BtnCancelClick(TObject* Sender);

 protected:
  virtual void OpenPage(const std::string& Url);
  // The file whose version strings the dialog shows: the running program.
  virtual std::string VersionFile() const;
};

// The option storage of a form: its placement and a list of named properties
// of its components, kept in one section of a settings file. Restored as the
// form is shown and saved as it closes (or, failing that, as it goes).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Forms.h"
#include "framework/IniFiles.h"

enum TPlacementOption : std::uint32_t { fpState = 1, fpPosition = 2 };

struct TWinMinMaxInfo {
  int MaxPosLeft = 0, MaxPosTop = 0, MaxSizeWidth = 0, MaxSizeHeight = 0;
  int MaxTrackWidth = 0, MaxTrackHeight = 0, MinTrackWidth = 0, MinTrackHeight = 0;
};

class TFormPlacement : public TComponent, public TFormHook {
 public:
  explicit TFormPlacement(TComponent* AOwner);
  ~TFormPlacement() override;
  const char* ClassName() const override { return "TFormPlacement"; }

  bool Active() const { return FActive; }
  void SetActive(bool Value) { FActive = Value; }
  const std::string& IniFileName() const { return FIniFileName; }
  void SetIniFileName(const std::string& Value) { FIniFileName = Value; }
  const std::string& IniSection() const { return FIniSection; }
  void SetIniSection(const std::string& Value) { FIniSection = Value; }
  std::uint32_t Options() const { return FOptions; }
  void SetOptions(std::uint32_t Value) { FOptions = Value; }
  int Version() const { return FVersion; }
  void SetVersion(int Value) { FVersion = Value; }
  bool UseRegistry() const { return FUseRegistry; }
  void SetUseRegistry(bool Value) { FUseRegistry = Value; }
  bool PreventResize() const { return FPreventResize; }
  void SetPreventResize(bool Value) { FPreventResize = Value; }
  TWinMinMaxInfo MinMaxInfo;
  std::string RegistryRoot;  // kept only: the settings go to a file
  TNotifyEvent OnSavePlacement;
  TNotifyEvent OnRestorePlacement;

  // The file in use: IniFileName, or the program's name with ".INI" and no folder.
  std::string FileName() const;
  // The section in use: IniSection, or the class name of the owning form.
  std::string Section() const;
  bool Restored() const { return FRestored; }
  bool Saved() const { return FSaved; }

  // Reads everything back (see the .cpp for the rules).
  void RestoreFormPlacement();
  // Writes everything; only after a restore, or when inactive.
  void SaveFormPlacement();

  void FormShowing(TForm* Form) override;
  void FormClosing(TForm* Form) override;
  void FormDestroying(TForm* Form) override;

 protected:
  virtual void RestoreProps(TIniFile& Ini) {}
  virtual void SaveProps(TIniFile& Ini) {}
  TForm* Form() const { return FForm; }

 private:
  void Save(bool Destroying);
  void RestorePlacement(TIniFile& Ini);
  void SavePlacement(TIniFile& Ini, bool Destroying);
  TForm* FForm = nullptr;
  bool FActive = true;
  std::string FIniFileName;
  std::string FIniSection;
  std::uint32_t FOptions = fpState | fpPosition;
  int FVersion = 0;
  bool FUseRegistry = false;
  bool FPreventResize = false;
  bool FRestored = false;
  bool FSaved = false;
};

// Also keeps "Component.Property" entries of StoredProps, under the keys
// "Component_Property".
class TFormStorage : public TFormPlacement {
 public:
  explicit TFormStorage(TComponent* AOwner);
  const char* ClassName() const override { return "TFormStorage"; }

  // Entries that do not parse or name no component of the form are dropped
  // when loading completes; an entry goes when its component is destroyed.
  TStringList StoredProps;
  std::vector<std::string> StoredValues;  // kept only: no values are stored here

  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  void RestoreProps(TIniFile& Ini) override;
  void SaveProps(TIniFile& Ini) override;

 private:
  struct Bound {
    TComponent* Component;
    const TPropertyInfo* Property;
  };
  // The component and property of an entry, or false.
  bool Bind(const std::string& Entry, Bound& Result) const;
};

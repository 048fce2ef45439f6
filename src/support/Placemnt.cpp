#include "support/Placemnt.h"

#include <climits>
#include <cstdio>

namespace {

// "a,b,c,d" as four integers (the integer rules of the settings file).
bool FourIntegers(const std::string& Text, int (&Values)[4]) {
  std::size_t Start = 0;
  for (int I = 0; I < 4; ++I) {
    const std::size_t Comma = I < 3 ? Text.find(',', Start) : Text.size();
    if (Comma == std::string::npos) return false;
    if (!ParseIniInteger(Trim(Text.substr(Start, Comma - Start)), Values[I])) return false;
    Start = Comma + 1;
  }
  return true;
}

// What a screen coordinate can be; anything beyond is a damaged or hostile
// file, not a place.
bool ScreenCoordinates(const int (&Values)[4]) {
  for (int V : Values)
    if (V < -32768 || V > 32767) return false;
  return true;
}

std::string FourText(int A, int B, int C, int D) {
  char Buffer[64];
  std::snprintf(Buffer, sizeof Buffer, "%d,%d,%d,%d", A, B, C, D);
  return Buffer;
}

}  // namespace

TFormPlacement::TFormPlacement(TComponent* AOwner) : TComponent(AOwner), FForm(dynamic_cast<TForm*>(AOwner)) {
  if (FForm) FForm->AddHook(this);
}

TFormPlacement::~TFormPlacement() {
  if (FForm) FForm->RemoveHook(this);
}

std::string TFormPlacement::FileName() const {
  if (!FIniFileName.empty()) return FIniFileName;
  // No folder: the system looks the bare name up in its Windows folder.
  return ChangeFileExt(ExtractFileName(ParamStr(0)), ".INI");
}

std::string TFormPlacement::Section() const {
  if (!FIniSection.empty()) return FIniSection;
  return FForm ? FForm->ClassName() : std::string();
}

void TFormPlacement::RestoreFormPlacement() {
  FSaved = false;
  TIniFile Ini(FileName());
  if (Ini.ReadInteger(Section(), "FormVersion", 0) >= FVersion) {
    RestorePlacement(Ini);
    FRestored = true;
    try {
      RestoreProps(Ini);
    } catch (...) {
      // A property that cannot be restored keeps its value.
    }
    Fire(OnRestorePlacement, this);
  }
  FRestored = true;
}

void TFormPlacement::RestorePlacement(TIniFile& Ini) {
  if (!FForm || FOptions == 0) return;
  const std::string S = Section();
  TWindowPlacement P;
  if (!FForm->GetPlacement(P)) return;
  if (FOptions & fpPosition) {
    P.Flags = static_cast<std::uint32_t>(Ini.ReadInteger(S, "Flags", static_cast<int>(P.Flags)));
    const bool Present = Ini.ValueExists(S, "MinMaxPos") || Ini.ValueExists(S, "NormPos");
    const int Dpi = ScreenPixelsPerInch();
    if (Present && Ini.ReadInteger(S, "PixelsPerInch", Dpi) == Dpi) {
      int MinMax[4], Norm[4];
      if (FourIntegers(Ini.ReadString(S, "MinMaxPos", ""), MinMax)) {
        P.MinX = MinMax[0], P.MinY = MinMax[1], P.MaxX = MinMax[2], P.MaxY = MinMax[3];
      }
      // The window's border does not size: only the place is taken, the size stays.
      const long long Width = static_cast<long long>(P.Normal.Right) - P.Normal.Left,
                      Height = static_cast<long long>(P.Normal.Bottom) - P.Normal.Top;
      if (FourIntegers(Ini.ReadString(S, "NormPos", ""), Norm) && ScreenCoordinates(Norm)) {
        const long long Right = Norm[0] + Width, Bottom = Norm[1] + Height;
        if (Right <= INT_MAX && Bottom <= INT_MAX)
          P.Normal = TRect{Norm[0], Norm[1], static_cast<int>(Right), static_cast<int>(Bottom)};
      }
      if (P.Normal.Left < P.Normal.Right) {
        FForm->SetPlacement(P);
        // A place on a monitor that has gone, or on none, would leave a window
        // without a frame where the user cannot take hold of it.
        FForm->KeepOnScreen();
      }
    }
  }
  if (FOptions & fpState) {
    TWindowState State = TWindowState::wsNormal;
    switch (Ini.ReadInteger(S, "ShowCmd", 0)) {
      case 2:
      case 6:
      case 7: State = TWindowState::wsMinimized; break;
      // Maximised, the window's border does not size: it would cover the
      // screen with nothing to bring it back, and be saved so at every close.
      // It is shown in its normal state instead.
      case 3: break;
      default: break;
    }
    if (State != FForm->WindowState()) FForm->SetWindowState(State);
  }
}

void TFormPlacement::SaveFormPlacement() { Save(false); }

void TFormPlacement::Save(bool Destroying) {
  if (!FRestored && FActive) return;
  TIniFile Ini(FileName());
  Ini.WriteInteger(Section(), "FormVersion", FVersion);
  SavePlacement(Ini, Destroying);
  SaveProps(Ini);
  FSaved = true;
  Fire(OnSavePlacement, this);
}

void TFormPlacement::SavePlacement(TIniFile& Ini, bool Destroying) {
  if (!FForm || FOptions == 0 || !FForm->HandleAllocated()) return;
  TWindowPlacement P;
  if (!FForm->GetPlacement(P)) return;
  const std::string S = Section();
  // The main form goes to the task bar with the application's window: its own
  // record does not show that.
  if (FForm->IsMainForm() && FForm->WindowState() == TWindowState::wsMinimized) P.ShowCmd = 2;
  Ini.WriteInteger(S, "Flags", static_cast<int>(P.Flags));
  Ini.WriteInteger(S, "ShowCmd", static_cast<int>(P.ShowCmd));
  Ini.WriteInteger(S, "PixelsPerInch", ScreenPixelsPerInch());
  Ini.WriteString(S, "MinMaxPos", FourText(P.MinX, P.MinY, P.MaxX, P.MaxY));
  Ini.WriteString(S, "NormPos", FourText(P.Normal.Left, P.Normal.Top, P.Normal.Right, P.Normal.Bottom));
  Ini.WriteString(S, "Visible", Destroying ? "1" : "0");
}

void TFormPlacement::FormShowing(TForm*) {
  if (FActive) RestoreFormPlacement();
}

void TFormPlacement::FormClosing(TForm* Form) {
  if (FActive && Form->HandleAllocated()) Save(false);
}

void TFormPlacement::FormDestroying(TForm*) {
  if (FActive && !FSaved) Save(true);
}

// ---------------------------------------------------------------------------

TFormStorage::TFormStorage(TComponent* AOwner) : TFormPlacement(AOwner) {}

bool TFormStorage::Bind(const std::string& Entry, Bound& Result) const {
  const std::size_t Dot = Entry.find('.');
  if (Dot == std::string::npos || !Form()) return false;
  const std::string ComponentName = Trim(Entry.substr(0, Dot)), PropertyName = Trim(Entry.substr(Dot + 1));
  if (ComponentName.empty() || PropertyName.empty()) return false;
  TComponent* C = Form()->FindComponent(ComponentName);
  const TPropertyInfo* P = C ? C->FindProperty(PropertyName) : nullptr;
  if (!P) return false;
  Result = Bound{C, P};
  return true;
}

void TFormStorage::Loaded() {
  TFormPlacement::Loaded();
  for (int I = StoredProps.Count() - 1; I >= 0; --I) {
    Bound B;
    if (!Bind(StoredProps[I], B)) StoredProps.Delete(I);
  }
}

void TFormStorage::Notification(TComponent* AComponent, TOperation Operation) {
  TFormPlacement::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove || !Form() || AComponent->Owner() != Form()) return;
  // Told as the component goes: only its name is still to be trusted.
  for (int I = StoredProps.Count() - 1; I >= 0; --I) {
    const std::string& Entry = StoredProps[I];
    const std::size_t Dot = Entry.find('.');
    if (Dot != std::string::npos && SameText(Trim(Entry.substr(0, Dot)), AComponent->Name())) StoredProps.Delete(I);
  }
}

void TFormStorage::RestoreProps(TIniFile& Ini) {
  // In list order: of two option buttons of one group both read as checked,
  // the later one wins.
  for (int I = 0; I < StoredProps.Count(); ++I) {
    Bound B;
    if (!Bind(StoredProps[I], B)) continue;
    const std::string Key = B.Component->Name() + "_" + B.Property->Name;
    try {
      const std::string Text = Trim(Ini.ReadString(Section(), Key, B.Component->GetPropertyText(*B.Property)));
      if (B.Property->Kind == TPropertyKind::pkBoolean && !SameText(Text, "True") && !SameText(Text, "False"))
        continue;
      B.Component->SetPropertyText(*B.Property, Text);
    } catch (...) {
      // A value that does not fit keeps the property as it was.
    }
  }
}

void TFormStorage::SaveProps(TIniFile& Ini) {
  for (int I = 0; I < StoredProps.Count(); ++I) {
    Bound B;
    if (!Bind(StoredProps[I], B)) continue;
    Ini.WriteString(Section(), B.Component->Name() + "_" + B.Property->Name,
                    Trim(B.Component->GetPropertyText(*B.Property)));
  }
}

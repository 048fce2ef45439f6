#include "framework/Classes.h"

#include <algorithm>

#include "framework/Streams.h"

// ---------------------------------------------------------------------------
// TComponent

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Whoever asked to be told about our end hears of it before we go.
  while (!FFreeNotifies.empty()) {
    TComponent* Other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    Other->RemoveFreeNotification(this);
    Other->Notification(this, TOperation::opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::SetName(const std::string& Value) { FName = Value; }

TComponent* TComponent::FindComponent(const std::string& Name) const {
  if (Name.empty()) return nullptr;
  for (TComponent* C : FComponents)
    if (SameText(C->FName, Name)) return C;
  return nullptr;
}

namespace {
std::vector<std::pair<std::string, TComponentFactory>>& Registry() {
  static std::vector<std::pair<std::string, TComponentFactory>> Classes;
  return Classes;
}
}  // namespace

void RegisterClass(const std::string& ClassName, TComponentFactory Factory) {
  for (auto& [Name, Made] : Registry())
    if (SameText(Name, ClassName)) {
      Made = std::move(Factory);
      return;
    }
  Registry().emplace_back(ClassName, std::move(Factory));
}

TComponentFactory GetClass(const std::string& ClassName) {
  for (const auto& [Name, Made] : Registry())
    if (SameText(Name, ClassName)) return Made;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* Component) {
  if (Component->FOwner) Component->FOwner->RemoveComponent(Component);
  FComponents.push_back(Component);
  Component->FOwner = this;
  Notification(Component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* Component) {
  auto It = std::find(FComponents.begin(), FComponents.end(), Component);
  if (It == FComponents.end()) return;
  Notification(Component, TOperation::opRemove);
  // The notification may already have removed it.
  It = std::find(FComponents.begin(), FComponents.end(), Component);
  if (It != FComponents.end()) FComponents.erase(It);
  Component->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  // Last created, first destroyed; each one leaves the list as it goes.
  while (!FComponents.empty()) {
    TComponent* C = FComponents.back();
    RemoveComponent(C);
    delete C;
  }
}

void TComponent::SetDesigning(bool Value) {
  if (Value) FState |= csDesigning;
  else FState &= ~static_cast<std::uint32_t>(csDesigning);
  for (TComponent* C : FComponents) C->SetDesigning(Value);
}

void TComponent::BeginLoading() {
  FState |= csLoading;
  for (TComponent* C : FComponents) C->BeginLoading();
}

void TComponent::Loaded() { FState &= ~static_cast<std::uint32_t>(csLoading); }

void TComponent::Destroying() {
  if (FState & csDestroying) return;
  FState |= csDestroying;
  for (TComponent* C : FComponents) C->Destroying();
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == TOperation::opRemove) RemoveFreeNotification(AComponent);
  // Owned components hear of every removal, so that links between siblings
  // (an option storage bound to a button, say) can be dropped.
  for (std::size_t I = 0; I < FComponents.size(); ++I)
    if (FComponents[I] != AComponent) FComponents[I]->Notification(AComponent, Operation);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
      AComponent->FFreeNotifies.end())
    AComponent->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent), FFreeNotifies.end());
}

// ---------------------------------------------------------------------------
// TStrings

int TStrings::Add(const std::string& S) {
  int Index = Count();
  Insert(Index, S);
  return Index;
}

void TStrings::AddStrings(const TStrings& Other) {
  for (int I = 0; I < Other.Count(); ++I) Add(Other.Get(I));
}

void TStrings::Assign(const TStrings& Other) {
  if (&Other == this) return;
  Clear();
  AddStrings(Other);
}

int TStrings::IndexOf(const std::string& S) const {
  for (int I = 0; I < Count(); ++I)
    if (SameText(Get(I), S)) return I;
  return -1;
}

bool TStrings::Equals(const TStrings& Other) const {
  if (Count() != Other.Count()) return false;
  for (int I = 0; I < Count(); ++I)
    if (Get(I) != Other.Get(I)) return false;
  return true;
}

std::string TStrings::Text() const {
  std::string R;
  for (int I = 0; I < Count(); ++I) {
    R += Get(I);
    R += "\r\n";
  }
  return R;
}

void TStrings::SetText(const std::string& Value) {
  Clear();
  std::size_t I = 0;
  while (I < Value.size()) {
    std::size_t E = Value.find_first_of("\r\n", I);
    if (E == std::string::npos) {
      Add(Value.substr(I));
      break;
    }
    Add(Value.substr(I, E - I));
    I = E + 1;
    if (Value[E] == '\r' && I < Value.size() && Value[I] == '\n') ++I;
  }
}

std::string TStrings::Names(int Index) const {
  const std::string& S = Get(Index);
  std::size_t P = S.find('=');
  return P == std::string::npos ? std::string() : S.substr(0, P);
}

int TStrings::IndexOfName(const std::string& Name) const {
  for (int I = 0; I < Count(); ++I) {
    const std::string& S = Get(I);
    std::size_t P = S.find('=');
    if (P != std::string::npos && SameText(S.substr(0, P), Name)) return I;
  }
  return -1;
}

std::string TStrings::Values(const std::string& Name) const {
  int I = IndexOfName(Name);
  return I < 0 ? std::string() : Get(I).substr(Get(I).find('=') + 1);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
  int I = IndexOfName(Name);
  if (Value.empty()) {
    if (I >= 0) Delete(I);
  } else if (I < 0) {
    Add(Name + "=" + Value);
  } else {
    Put(I, Name + "=" + Value);
  }
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  std::string Content(static_cast<std::size_t>(Stream.Size()), '\0');
  Stream.ReadBuffer(Content.data(), static_cast<std::int64_t>(Content.size()));
  SetText(Content);
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream Stream(FileName, fmCreate);
  const std::string Content = Text();
  Stream.WriteBuffer(Content.data(), static_cast<std::int64_t>(Content.size()));
}

// ---------------------------------------------------------------------------
// TStringList

void TStringList::CheckIndex(int Index, bool AllowEnd) const {
  const int Limit = AllowEnd ? Count() : Count() - 1;
  if (Index < 0 || Index > Limit) throw EListError(Format("List index out of bounds (%d)", Index));
}

void TStringList::Changed() { Fire(OnChange, this); }

const std::string& TStringList::Get(int Index) const {
  CheckIndex(Index, false);
  return FItems[static_cast<std::size_t>(Index)];
}

void TStringList::Put(int Index, const std::string& S) {
  CheckIndex(Index, false);
  FItems[static_cast<std::size_t>(Index)] = S;
  Changed();
}

void TStringList::Insert(int Index, const std::string& S) {
  CheckIndex(Index, true);
  FItems.insert(FItems.begin() + Index, S);
  Changed();
}

void TStringList::Delete(int Index) {
  CheckIndex(Index, false);
  FItems.erase(FItems.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (FItems.empty()) return;
  FItems.clear();
  Changed();
}

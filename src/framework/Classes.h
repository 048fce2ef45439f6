// The component framework: objects, components with owners, string lists and
// the event types every layer above uses.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/SysUtils.h"

class TObject {
 public:
  TObject() = default;
  virtual ~TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual const char* ClassName() const { return "TObject"; }
};

// Events are plain callables; an unset event is simply not fired.
using TNotifyEvent = std::function<void(TObject* Sender)>;

// The handler runs from a copy: it may free the object that holds the event.
template <typename Event, typename... Args>
inline void Fire(const Event& E, Args&&... A) {
  if (!E) return;
  const Event Handler = E;
  Handler(std::forward<Args>(A)...);
}

// ---------------------------------------------------------------------------
// Components

enum TComponentStateFlag : std::uint32_t {
  csLoading = 1u << 0,
  csReading = 1u << 1,
  csWriting = 1u << 2,
  csDestroying = 1u << 3,
  csDesigning = 1u << 4,
};

enum class TOperation { opInsert, opRemove };

// Published properties that can be stored as text: Booleans as "True" and
// "False", integers in decimal, strings as they are.
enum class TPropertyKind { pkBoolean, pkInteger, pkString };
struct TPropertyInfo {
  const char* Name;  // as declared
  TPropertyKind Kind;
};

// A component belongs to its owner and is destroyed with it. Derived classes
// that need their owned components gone before their own members are (forms,
// mostly) call DestroyComponents() first thing in their destructor.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  const char* ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const { return FComponents.at(static_cast<std::size_t>(Index)); }
  TComponent* FindComponent(const std::string& Name) const;  // ASCII case-insensitive
  void InsertComponent(TComponent* Component);
  void RemoveComponent(TComponent* Component);
  void DestroyComponents();

  std::uint32_t ComponentState() const { return FState; }
  bool InState(TComponentStateFlag Flag) const { return (FState & Flag) != 0; }
  void SetDesigning(bool Value);

  // Loading from stored properties: BeginLoading marks the component (and what
  // it owns), Loaded() runs once every property has been set.
  void BeginLoading();
  virtual void Loaded();
  void Destroying();

  // Told when a component is inserted into or removed from this one, or when a
  // component this one asked to be told about (FreeNotification) is destroyed.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

  // The published property of that name (ASCII case-insensitive), or nullptr.
  virtual const TPropertyInfo* FindProperty(const std::string& Name) const { return nullptr; }
  // A property's value as text; setting raises EConvertError for a text that
  // is no value of the property's kind (a Boolean takes "True" and "False" in
  // any case).
  virtual std::string GetPropertyText(const TPropertyInfo& Property) const { return std::string(); }
  virtual void SetPropertyText(const TPropertyInfo& Property, const std::string& Text) {}
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

 private:
  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  std::uint32_t FState = 0;
};

// The class registry: stored forms name the classes of their components, and
// a unit registers its classes when the program starts, so that a component
// can be made from its class name.
using TComponentFactory = std::function<TComponent*(TComponent* AOwner)>;
void RegisterClass(const std::string& ClassName, TComponentFactory Factory);
// An empty factory when no class of that name is registered (names compare
// case-insensitively).
TComponentFactory GetClass(const std::string& ClassName);

// ---------------------------------------------------------------------------
// String lists

class TStrings : public TObject {
 public:
  const char* ClassName() const override { return "TStrings"; }

  virtual int Count() const = 0;
  virtual const std::string& Get(int Index) const = 0;
  virtual void Put(int Index, const std::string& S) = 0;
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;

  const std::string& operator[](int Index) const { return Get(Index); }
  int Add(const std::string& S);
  void AddStrings(const TStrings& Other);
  void Assign(const TStrings& Other);
  int IndexOf(const std::string& S) const;  // ASCII case-insensitive
  bool Equals(const TStrings& Other) const;

  // Lines joined by CR LF, each line ended; setting splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(const std::string& Value);
  // "Name=Value" lines.
  std::string Names(int Index) const;
  std::string Values(const std::string& Name) const;
  void SetValues(const std::string& Name, const std::string& Value);
  int IndexOfName(const std::string& Name) const;

  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;
};

class TStringList : public TStrings {
 public:
  TStringList() = default;
  const char* ClassName() const override { return "TStringList"; }

  int Count() const override { return static_cast<int>(FItems.size()); }
  const std::string& Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  void Insert(int Index, const std::string& S) override;
  void Delete(int Index) override;
  void Clear() override;

  TNotifyEvent OnChange;

 private:
  void CheckIndex(int Index, bool AllowEnd) const;
  void Changed();
  std::vector<std::string> FItems;
};

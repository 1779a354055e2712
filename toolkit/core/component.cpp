#include "toolkit/core/component.h"

#include <algorithm>
#include <cassert>
#include <memory>

#include "toolkit/core/scope.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"

namespace {

[[noreturn]] void ListIndexError(int index) {
  throw EListError(Format("List index out of bounds (%d)", {index}));
}

template <class T>
void EraseOne(std::vector<T*>& list, const T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end()) list.erase(it);
}

}  // namespace

bool IsValidIdent(const AnsiString& s) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (s.empty() || !letter(s[0])) return false;
  return std::all_of(s.begin() + 1, s.end(), [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

// ---- TPersistent --------------------------------------------------------------

TPersistent::~TPersistent() = default;

const TClassInfo& TPersistent::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TPersistent>, "TPersistent", nullptr);
  return info;
}

const AnsiString& TPersistent::ClassName() const { return ClassInfo()->ClassName(); }

bool TPersistent::InheritsFrom(const TClassInfo& cls) const { return ClassInfo()->InheritsFrom(cls); }

void TPersistent::Assign(const TPersistent* source) {
  if (source == nullptr) AssignError(nullptr);
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) const { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const {
  AnsiString source_name = source != nullptr ? source->ClassName() : AnsiString("nil");
  throw EConvertError(Format("Cannot assign a %s to a %s", {source_name, ClassName()}));
}

AnsiString TPersistent::GetNamePath() const {
  AnsiString result = ClassName();
  if (TPersistent* owner = GetOwner()) {
    AnsiString owner_path = owner->GetNamePath();
    if (!owner_path.empty()) result = owner_path + "." + result;
  }
  return result;
}

void TPersistent::DefineProperties(TFiler&) {}

// ---- TComponent ---------------------------------------------------------------

const TClassInfo& TComponent::StaticClassInfo() {
  // Name is not stored as a property: the stream's object header carries it.
  static const TClassInfo info(kClassOf<TComponent>, "TComponent", &TPersistent::StaticClassInfo(),
                               [](TPublisher<TComponent>& p) {
                                 p.String("Name", &TComponent::Name, &TComponent::SetName).NotStored();
                                 p.Integer("Tag", &TComponent::Tag, &TComponent::SetTag).WithDefault(0);
                               });
  return info;
}

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Derived parts are gone here; run the steps with TComponent's own hooks.
  TComponent::BeforeDestruction();
}

void TComponent::Free() {
  BeforeDestruction();
  delete this;
}

TPersistent* TComponent::GetOwner() const { return owner_; }

void TComponent::SetName(const AnsiString& name) {
  if (name == name_) return;
  if (!name.empty() && !IsValidIdent(name)) {
    throw EComponentError(Format("Component name \"%s\" is not a valid identifier", {name}));
  }
  if (owner_ != nullptr) owner_->ValidateRename(this, name_, name);
  name_ = name;
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) ListIndexError(index);
  return components_[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (owner_ == nullptr) return -1;
  auto& list = owner_->components_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TComponent::SetComponentIndex(int index) {
  if (owner_ == nullptr) return;
  auto& list = owner_->components_;
  int count = static_cast<int>(list.size());
  index = std::clamp(index, 0, count - 1);
  int current = ComponentIndex();
  if (current == index) return;
  list.erase(list.begin() + current);
  list.insert(list.begin() + index, this);
}

TComponent* TComponent::FindComponent(const AnsiString& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_) {
    if (SameText(c->name_, name)) return c;
  }
  return nullptr;
}

void TComponent::ValidateRename(TComponent* component, const AnsiString& current_name,
                                const AnsiString& new_name) const {
  if (component != nullptr && component->owner_ == this && !SameText(current_name, new_name)) {
    TComponent* other = FindComponent(new_name);
    if (other != nullptr && other != component) {
      throw EComponentError(Format("A component named %s already exists", {new_name}));
    }
  }
}

void TComponent::InsertComponent(TComponent* component) {
  if (component == nullptr || component->owner_ == this) return;
  // An ownership cycle would delete its members forever.
  for (const TComponent* o = this; o != nullptr; o = o->owner_) {
    if (o == component) throw EComponentError("A component cannot own itself or one of its owners");
  }
  if (!component->name_.empty() && FindComponent(component->name_) != nullptr) {
    throw EComponentError(Format("A component named %s already exists", {component->name_}));
  }
  if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
  Insert(component);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component == nullptr || component->owner_ != this) return;
  Remove(component);
  Notification(component, opRemove);
}

void TComponent::Insert(TComponent* component) {
  // A component is in at most one owner's list, once.
  assert(component->owner_ == nullptr);
  assert(std::find(components_.begin(), components_.end(), component) == components_.end());
  components_.push_back(component);
  component->owner_ = this;
}

void TComponent::Remove(TComponent* component) {
  assert(component->owner_ == this);
  assert(std::count(components_.begin(), components_.end(), component) == 1);
  EraseOne(components_, component);
  component->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    // Announce while the component is whole; it leaves this list on the way.
    last->BeforeDestruction();
    if (!components_.empty() && components_.back() == last) Remove(last);
    delete last;
  }
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  AddFreeNotify(component);
  component->AddFreeNotify(this);
  // Registrations are kept on both sides, or a death would go unheard.
  assert(std::count(free_notifies_.begin(), free_notifies_.end(), component) == 1);
  assert(std::count(component->free_notifies_.begin(), component->free_notifies_.end(), this) == 1);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (component == nullptr) return;
  DropFreeNotify(component);
  component->DropFreeNotify(this);
  assert(std::find(free_notifies_.begin(), free_notifies_.end(), component) == free_notifies_.end());
  assert(std::find(component->free_notifies_.begin(), component->free_notifies_.end(), this) ==
         component->free_notifies_.end());
}

void TComponent::AddFreeNotify(TComponent* component) {
  if (std::find(free_notifies_.begin(), free_notifies_.end(), component) == free_notifies_.end()) {
    free_notifies_.push_back(component);
  }
  state_.Include(csFreeNotification);
}

void TComponent::DropFreeNotify(TComponent* component) { EraseOne(free_notifies_, component); }

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr) RemoveFreeNotification(component);
  // Pass it on; a handler may delete components, so re-check the bounds.
  for (size_t i = components_.size(); i > 0; --i) {
    if (i - 1 < components_.size()) components_[i - 1]->Notification(component, operation);
  }
}

void TComponent::SetComponentStateFlag(TComponentStateFlag flag, bool on) {
  if (on) {
    state_.Include(flag);
  } else {
    state_.Exclude(flag);
  }
}

void TComponent::SetDesigning(bool value) {
  SetComponentStateFlag(csDesigning, value);
  for (TComponent* c : components_) c->SetDesigning(value);
}

void TComponent::Loaded() { state_.Exclude(csLoading); }

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::BeforeDestruction() {
  // Every step finds nothing left to do on a second run.
  Destroying();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
  const auto tell_holders = [this] {
    while (!free_notifies_.empty()) {
      TComponent* holder = free_notifies_.back();
      RemoveFreeNotification(holder);
      holder->Notification(this, opRemove);
    }
  };
  tell_holders();
  DestroyComponents();
  // What it owned may have made another component hold this one on the way
  // out (a holder told of a child's end takes the parent instead): those are
  // told too, or they would keep a pointer to freed memory.
  tell_holders();
  // Nothing may still reach the dying component: no owner, no registration,
  // nothing owned (a handler that re-registered or inserted would leave a
  // pointer to freed memory).
  assert(owner_ == nullptr);
  assert(free_notifies_.empty());
  assert(components_.empty());
}

// ---- TComponentRef ----------------------------------------------------------------

// Stands for the reference in the target's free-notification list.
class TComponentRefBase::TListener final : public TComponent {
 public:
  explicit TListener(TComponentRefBase* ref) : TComponent(nullptr), ref_(ref) {}

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation != opRemove || component != ref_->target_) return;
    ref_->target_ = nullptr;
    if (ref_->on_free_) ref_->on_free_();
  }

 private:
  TComponentRefBase* ref_;
};

TComponentRefBase::~TComponentRefBase() {
  if (listener_ == nullptr) return;
  // Dropped quietly: the target need not hear of the listener's end.
  if (target_ != nullptr) listener_->RemoveFreeNotification(target_);
  delete listener_;
}

void TComponentRefBase::SetTarget(TComponent* target) {
  if (target == target_) return;
  if (target_ != nullptr) listener_->RemoveFreeNotification(target_);
  target_ = target;
  if (target_ == nullptr) return;
  if (listener_ == nullptr) listener_ = new TListener(this);
  listener_->FreeNotification(target_);
}

// ---- TCollectionItem ----------------------------------------------------------

const TClassInfo& TCollectionItem::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TCollectionItem>, "TCollectionItem", &TPersistent::StaticClassInfo());
  return info;
}

TCollectionItem::TCollectionItem(TCollection* collection) {
  if (collection != nullptr) collection->InsertItem(this);
}

TCollectionItem::~TCollectionItem() {
  if (collection_ != nullptr) collection_->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* collection) {
  if (collection == collection_) return;
  if (collection_ != nullptr) collection_->RemoveItem(this);
  if (collection != nullptr) collection->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (collection_ == nullptr) return -1;
  auto& list = collection_->items_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TCollectionItem::SetIndex(int index) {
  if (collection_ == nullptr) return;
  int current = Index();
  if (current == index) return;
  collection_->CheckIndex(index, collection_->Count());
  auto& list = collection_->items_;
  list.erase(list.begin() + current);
  list.insert(list.begin() + index, this);
  Changed(true);
}

AnsiString TCollectionItem::DisplayName() const { return ClassName(); }

void TCollectionItem::SetDisplayName(const AnsiString&) { Changed(false); }

AnsiString TCollectionItem::GetNamePath() const {
  if (collection_ == nullptr) return ClassName();
  return Format("%s[%d]", {collection_->GetNamePath(), Index()});
}

TPersistent* TCollectionItem::GetOwner() const { return collection_; }

void TCollectionItem::Changed(bool all_items) {
  if (collection_ == nullptr || collection_->update_count_ != 0) return;
  collection_->Update(all_items ? nullptr : this);
}

// ---- TCollection --------------------------------------------------------------

const TClassInfo& TCollection::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TCollection>, "TCollection", &TPersistent::StaticClassInfo());
  return info;
}

const TClassInfo& TOwnedCollection::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TOwnedCollection>, "TOwnedCollection", &TCollection::StaticClassInfo());
  return info;
}

TCollection::TCollection(TCollectionItemFactory item_factory) : factory_(std::move(item_factory)) {}

TCollection::~TCollection() {
  assert(update_count_ == 0 && "a collection was freed inside its own update");
  // Hooks of a dying collection resolve to the base and must not report changes.
  update_count_ = 1;
  while (!items_.empty()) delete items_.back();
}

TCollectionItem* TCollection::Add() {
  if (!factory_) throw EInvalidOperation("The collection has no item class");
  // The change is reported once the item is complete.
  TUpdateScope update(*this);
  TCollectionItem* item = factory_(this);
  if (item == nullptr) throw EInvalidOperation("The collection's item factory made no item");
  if (item->collection_ != this) item->SetCollection(this);
  return item;
}

TCollectionItem* TCollection::Insert(int index) {
  CheckIndex(index, Count() + 1);
  TUpdateScope update(*this);
  TCollectionItem* item = Add();
  item->SetIndex(index);
  return item;
}

void TCollection::Delete(int index) {
  CheckIndex(index, Count());
  TCollectionItem* item = items_[static_cast<size_t>(index)];
  Notify(item, cnDeleting);
  delete item;
}

void TCollection::Clear() {
  if (items_.empty()) return;
  TUpdateScope update(*this);
  while (!items_.empty()) Delete(Count() - 1);
}

const TClassInfo* TCollection::ItemClass() const {
  if (!items_.empty()) return items_.front()->ClassInfo();
  const std::unique_ptr<TCollectionItem> probe(factory_(nullptr));
  return probe != nullptr ? probe->ClassInfo() : nullptr;
}

TCollectionItem* TCollection::Items(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)];
}

TCollectionItem* TCollection::FindItemID(int id) const {
  for (TCollectionItem* item : items_) {
    if (item->id_ == id) return item;
  }
  return nullptr;
}

void TCollection::BeginUpdate() { ++update_count_; }

void TCollection::EndUpdate() {
  // An EndUpdate without its BeginUpdate is a caller's fault, ignored in release.
  assert(update_count_ > 0 && "EndUpdate without BeginUpdate");
  if (update_count_ > 0) --update_count_;
  Changed();
}

void TCollection::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TCollection*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  TUpdateScope update(*this);
  Clear();
  for (TCollectionItem* from : other->items_) Add()->Assign(from);
}

AnsiString TCollection::GetNamePath() const {
  TPersistent* owner = GetOwner();
  if (owner == nullptr) return ClassName();
  AnsiString owner_path = owner->GetNamePath();
  if (owner_path.empty()) return ClassName();
  // The name of the owner's published property that holds this collection.
  for (const TPropInfo* prop : GetPropList(*owner->ClassInfo())) {
    if (prop->Kind() == tkClass && prop->GetObject && prop->GetObject(*owner) == this) {
      return owner_path + "." + prop->Name;
    }
  }
  return owner_path + "." + ClassName();
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Notify(TCollectionItem*, TCollectionNotification) {}

void TCollection::Changed() {
  if (update_count_ == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* item) {
  items_.push_back(item);
  item->collection_ = this;
  item->id_ = next_id_++;
  Notify(item, cnAdded);
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* item) {
  Notify(item, cnExtracting);
  EraseOne(items_, item);
  item->collection_ = nullptr;
  Changed();
}

void TCollection::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) ListIndexError(index);
}

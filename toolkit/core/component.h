// The component model: TPersistent (objects that copy themselves with Assign
// and describe their published properties), TComponent (named objects in an
// ownership tree with free notification) and TCollection/TCollectionItem
// (owned, ordered lists of persistent items with change hooks).
//
// Ownership: a component's owner deletes it; a collection deletes its items.
// Everything else holds plain pointers and hears of a component's end through
// Notification(component, opRemove).
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "toolkit/core/exceptions.h"
#include "toolkit/core/sets.h"

class TClassInfo;
class TFiler;
class TComponent;
class TCollection;

// Whether s is an identifier: a letter or "_" followed by letters, digits and
// "_" (component names, class and property names in streams).
bool IsValidIdent(const AnsiString& s);

// ---- TPersistent --------------------------------------------------------------

// Declares the reflection members of a class with a descriptor of its own:
// the static descriptor (defined by the class, see typinfo.h) and the virtual
// that returns it. ClassName() follows from the descriptor.
#define KIV7_PERSISTENT(Name)                                                \
 public:                                                                     \
  static const TClassInfo& StaticClassInfo();                                \
  const TClassInfo* ClassInfo() const override { return &StaticClassInfo(); }

class TPersistent {
 public:
  TPersistent() = default;
  virtual ~TPersistent();
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;

  // The descriptor of the object's class: its name, ancestry and published
  // properties. Every class that publishes properties or needs its own name in
  // messages overrides it (KIV7_PERSISTENT).
  static const TClassInfo& StaticClassInfo();
  virtual const TClassInfo* ClassInfo() const { return &StaticClassInfo(); }
  // The class name ("TPersistent"), taken from the descriptor.
  const AnsiString& ClassName() const;
  // Whether the object's class is the given class or descends from it.
  bool InheritsFrom(const TClassInfo& cls) const;

  // Copies the source's state into this object. The default asks the source
  // (AssignTo); when neither side knows the other, raises EConvertError
  // "Cannot assign a <source class> to a <this class>" ("nil" for no source).
  virtual void Assign(const TPersistent* source);

  // The object's path for messages and designers ("Form1.Grid1.Columns[2]").
  virtual AnsiString GetNamePath() const;

  // Declares the properties that are streamed but not published (a filer
  // records their names and reader/writer callbacks). The default declares none.
  virtual void DefineProperties(TFiler& filer);

  // The object that owns this one for name paths (a collection's owner, an
  // item's collection); nullptr when none.
  virtual TPersistent* GetOwner() const { return nullptr; }

 protected:
  // Copies this object's state into dest; the default refuses.
  virtual void AssignTo(TPersistent* dest) const;
  // Raises the refusal for a source this object cannot take.
  [[noreturn]] void AssignError(const TPersistent* source) const;
};

// ---- TComponent ---------------------------------------------------------------

// What a Notification reports.
enum TOperation { opInsert, opRemove };

// The states a component passes through.
enum TComponentStateFlag {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSet<TComponentStateFlag>;

// The plain event of every component: something happened to Sender.
using TNotifyEvent = std::function<void(TComponent* Sender)>;

// A named object in an ownership tree.
//
// Destruction and notification. A dying component, in this order:
//   1. marks itself and everything it owns csDestroying;
//   2. leaves its owner, which then hears Notification(this, opRemove) and by
//      default passes it on to every other component it owns;
//   3. tells every component registered with FreeNotification (in either
//      direction) Notification(this, opRemove), latest registration first,
//      and drops those registrations on both sides;
//   4. deletes the components it owns, latest inserted first.
// Free() and the owner's deletion of its components run these steps while the
// dying object is still whole (its derived parts are valid, dynamic_cast works,
// its own Notification override hears of its owned components' ends) and only
// then delete it. A plain `delete` runs them from ~TComponent, after the
// derived destructors: holders then get a pointer they may only compare, and
// the owned components go after the derived destructor bodies. Either way no
// registration outlives either side.
class TComponent : public TPersistent {
  KIV7_PERSISTENT(TComponent)

 public:
  // Inserts the component into owner's list (when owner is not nullptr); the
  // owner deletes it with itself. The name starts empty.
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  // Announces the end (steps 1-4 above) while the object is whole, then deletes it.
  void Free();

  TComponent* Owner() const { return owner_; }
  TPersistent* GetOwner() const override;

  // The component's name: empty, or an identifier (a letter or "_" followed by
  // letters, digits and "_") unique among its owner's components, compared
  // without case. Raises EComponentError otherwise.
  const AnsiString& Name() const { return name_; }
  virtual void SetName(const AnsiString& name);

  // A number for the program's own use.
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  // The owned components in order of insertion.
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // Raises EListError "List index out of bounds (%d)" for a bad index.
  TComponent* Components(int index) const;
  // The position in the owner's list; -1 without owner.
  int ComponentIndex() const;
  void SetComponentIndex(int index);
  // The owned component with that name (case-insensitive); nullptr when none
  // or when the name is empty.
  TComponent* FindComponent(const AnsiString& name) const;

  // Takes component into this owner's list (removing it from its previous
  // owner); its name must be unique here and it may not be this component or
  // one of its owners (EComponentError). Then this owner hears
  // Notification(component, opInsert). (From the constructor that is while
  // the new component is only a TComponent.)
  void InsertComponent(TComponent* component);
  // Removes component from this owner's list without deleting it, then
  // this owner hears Notification(component, opRemove).
  void RemoveComponent(TComponent* component);
  // Deletes every owned component, latest inserted first.
  void DestroyComponents();

  // Asks to hear Notification(component... opRemove) when component is
  // destroyed; component also hears of this one's end. Registrations are kept
  // once per pair and dropped on both sides when either dies.
  void FreeNotification(TComponent* component);
  // Drops the registration in both directions.
  void RemoveFreeNotification(TComponent* component);

  TComponentState ComponentState() const { return state_; }
  // For the streaming and design machinery: sets or clears a state flag.
  void SetComponentStateFlag(TComponentStateFlag flag, bool on);
  // Marks the component (and, for csDesigning, what it owns) as designed.
  void SetDesigning(bool value);

  // Called after the component was read from a stream: clears csLoading.
  virtual void Loaded();
  // Sets csDestroying on this component and everything it owns.
  void Destroying();

  // Steps 1-3 of the destruction above plus deletion of the owned components.
  // Safe to call more than once; descendants that override it call the base.
  virtual void BeforeDestruction();

  AnsiString GetNamePath() const override { return name_; }

 protected:
  // Told of components inserted into or removed from this owner and of free
  // notifications. The default drops a free-notification registration of a
  // removed component and passes the notification on to every owned component.
  // Overrides clear their references and call the base.
  virtual void Notification(TComponent* component, TOperation operation);
  // Checks that component (owned by this one) may be renamed from current_name
  // to new_name: raises EComponentError for a duplicate.
  virtual void ValidateRename(TComponent* component, const AnsiString& current_name,
                              const AnsiString& new_name) const;

 private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);
  void AddFreeNotify(TComponent* component);
  void DropFreeNotify(TComponent* component);

  TComponent* owner_ = nullptr;
  AnsiString name_;
  int tag_ = 0;
  TComponentState state_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
};

// ---- TComponentRef ----------------------------------------------------------------

// The untyped part of TComponentRef.
class TComponentRefBase {
 public:
  TComponentRefBase(const TComponentRefBase&) = delete;
  TComponentRefBase& operator=(const TComponentRefBase&) = delete;

 protected:
  TComponentRefBase() = default;
  explicit TComponentRefBase(std::function<void()> on_free) : on_free_(std::move(on_free)) {}
  ~TComponentRefBase();
  TComponent* Target() const { return target_; }
  void SetTarget(TComponent* target);

 private:
  class TListener;
  TComponent* target_ = nullptr;
  // Runs after a destroyed target was cleared.
  std::function<void()> on_free_;
  // Registered for free notification with the target; made on the first target.
  TListener* listener_ = nullptr;
};

// A reference to a component that becomes nullptr when the component is
// destroyed, for a field that must not outlive what it points at. Assigning
// registers for the new component's free notification and drops the old one's;
// the reference's own end drops it too, so either side may go first. The
// holder needs no Notification override for it.
//
// A holder that must do more when the component goes (redraw, let go of what
// it built around it) gives on_free: it runs as the component is destroyed,
// after the reference already reads nullptr. It may assign the reference
// again; it must not destroy the holder.
template <class T>
class TComponentRef : private TComponentRefBase {
 public:
  TComponentRef() = default;
  explicit TComponentRef(std::function<void()> on_free) : TComponentRefBase(std::move(on_free)) {}
  TComponentRef& operator=(T* target) {
    SetTarget(target);
    typed_ = target;
    return *this;
  }
  // The component, or nullptr once it was destroyed. (Reading needs no
  // complete T, so a header may hold a reference to a declared class.)
  T* get() const { return Target() != nullptr ? typed_ : nullptr; }
  operator T*() const { return get(); }
  T* operator->() const { return get(); }

 private:
  T* typed_ = nullptr;
};

// ---- TCollection ----------------------------------------------------------------

// What Notify reports about an item.
enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

// An item of a collection; the collection owns it.
class TCollectionItem : public TPersistent {
  KIV7_PERSISTENT(TCollectionItem)

 public:
  // Appends the item to collection when it is not nullptr. Note: the
  // collection's Notify(cnAdded) comes while the derived constructor has not
  // yet run (the item is only a TCollectionItem then); TCollection::Add and
  // Insert hold the change hook until the item is complete.
  explicit TCollectionItem(TCollection* collection);
  // Leaves the collection.
  ~TCollectionItem() override;

  TCollection* Collection() const { return collection_; }
  // Moves the item to another collection (nullptr: out of any), where it gets
  // a new ID at the end of the list.
  virtual void SetCollection(TCollection* collection);

  // A number unique in the collection, never reused there.
  int ID() const { return id_; }
  // The position in the collection; -1 when in none.
  int Index() const;
  // Moves the item to the index; EListError for an index outside the list.
  virtual void SetIndex(int index);

  // The name designers show; the class name by default.
  virtual AnsiString DisplayName() const;
  virtual void SetDisplayName(const AnsiString& value);

  AnsiString GetNamePath() const override;
  TPersistent* GetOwner() const override;

 protected:
  // Tells the collection that this item (or, with all_items, the whole list)
  // changed; nothing happens while the collection is in update mode.
  void Changed(bool all_items);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = 0;
};

// Creates an item of a collection's item class in that collection.
using TCollectionItemFactory = std::function<TCollectionItem*(TCollection* collection)>;

// An ordered list of items it owns, all made by one factory.
class TCollection : public TPersistent {
  KIV7_PERSISTENT(TCollection)

 public:
  // item_factory makes the items (new TMyItem(collection)).
  explicit TCollection(TCollectionItemFactory item_factory);
  // Deletes the items without calling the change hooks.
  ~TCollection() override;

  // Makes a new item at the end.
  TCollectionItem* Add();
  // Makes a new item at index (0..Count); EListError otherwise.
  TCollectionItem* Insert(int index);
  // Deletes the item at index; EListError for a bad index.
  void Delete(int index);
  // Deletes every item (one change at the end).
  void Clear();

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EListError "List index out of bounds (%d)" for a bad index.
  TCollectionItem* Items(int index) const;
  // The item with that ID; nullptr when none.
  TCollectionItem* FindItemID(int id) const;
  // The class of the items: the first item's, or for an empty collection
  // that of an item the factory makes outside any collection and drops.
  const TClassInfo* ItemClass() const;
  // The ID the next inserted item gets.
  int NextID() const { return next_id_; }

  // Update mode: the change hook is held until the last EndUpdate, which calls
  // Update(nullptr) once.
  virtual void BeginUpdate();
  virtual void EndUpdate();
  int UpdateCount() const { return update_count_; }

  // Replaces the items with copies of source's items when source is a
  // collection (the items' Assign copies each); otherwise the base refusal.
  void Assign(const TPersistent* source) override;

  AnsiString GetNamePath() const override;

 protected:
  // The change hook: item changed, or (nullptr) the list as a whole. Called
  // only outside update mode.
  virtual void Update(TCollectionItem* item);
  // Told when an item is added, taken out or about to be deleted.
  virtual void Notify(TCollectionItem* item, TCollectionNotification action);
  // Calls Update(nullptr) outside update mode.
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);
  void CheckIndex(int index, int limit) const;

  TCollectionItemFactory factory_;
  std::vector<TCollectionItem*> items_;
  int next_id_ = 0;
  int update_count_ = 0;
};

// A collection with an owner, which name paths and streaming go through.
class TOwnedCollection : public TCollection {
  KIV7_PERSISTENT(TOwnedCollection)

 public:
  TOwnedCollection(TPersistent* owner, TCollectionItemFactory item_factory)
      : TCollection(std::move(item_factory)), owner_(owner) {}
  TPersistent* GetOwner() const override { return owner_; }

 private:
  TPersistent* owner_;
};

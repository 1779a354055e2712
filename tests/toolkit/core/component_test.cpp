// Ownership, names, free notification and collections of the component model.
#include "toolkit/core/component.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/core/typinfo.h"

namespace component_test {

using Log = std::vector<std::string>;

// A component that writes its end into a log.
class TLogged : public TComponent {
  KIV7_PERSISTENT(TLogged)

 public:
  TLogged(TComponent* owner, const std::string& name, Log* log) : TComponent(owner), log_(log) { SetName(name); }
  ~TLogged() override {
    if (log_ != nullptr) log_->push_back("~" + Name());
  }

 private:
  Log* log_;
};

const TClassInfo& TLogged::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TLogged>, "TLogged", &TComponent::StaticClassInfo());
  return info;
}

// A component that holds a reference to another and clears it when told.
class THolder : public TComponent {
  KIV7_PERSISTENT(THolder)

 public:
  using TComponent::TComponent;
  ~THolder() override { TComponent::BeforeDestruction(); }

  TComponent* Ref() const { return ref_; }
  void SetRef(TComponent* value) {
    if (ref_ != nullptr) ref_->RemoveFreeNotification(this);
    ref_ = value;
    if (ref_ != nullptr) ref_->FreeNotification(this);
  }
  int removals = 0;
  bool saw_whole_object = false;
  std::vector<std::pair<std::string, TOperation>> heard;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    heard.emplace_back(component->Name(), operation);
    if (operation == opRemove && component == ref_) {
      ++removals;
      saw_whole_object = dynamic_cast<TLogged*>(component) != nullptr;
      ref_ = nullptr;
    }
    TComponent::Notification(component, operation);
  }

 private:
  TComponent* ref_ = nullptr;
};

const TClassInfo& THolder::StaticClassInfo() {
  static const TClassInfo info(kClassOf<THolder>, "THolder", &TComponent::StaticClassInfo());
  return info;
}

TEST(ComponentOwnership, OwnerDeletesWhatItOwnsInReverseOrderOfInsertion) {
  // Free deletes the owned components before any destructor of the owner runs;
  // a plain delete runs the owner's own destructor body first.
  struct Case {
    const char* what;
    bool use_free;
    Log expected;
  };
  const Case cases[] = {
      {"Free", true, {"~C", "~B", "~A2", "~A1", "~A", "~Form"}},
      {"delete", false, {"~Form", "~C", "~B", "~A2", "~A1", "~A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Log log;
    auto* form = new TLogged(nullptr, "Form", &log);
    auto* a = new TLogged(form, "A", &log);
    new TLogged(form, "B", &log);
    new TLogged(a, "A1", &log);
    new TLogged(a, "A2", &log);
    new TLogged(form, "C", &log);
    if (c.use_free) {
      form->Free();
    } else {
      delete form;
    }
    EXPECT_EQ(log, c.expected);
  }
}

TEST(ComponentOwnership, OwnedComponentsSeeTheirOwnerDestroying) {
  Log log;
  auto* form = new TLogged(nullptr, "Form", &log);
  auto* a = new TLogged(form, "A", &log);
  auto* b = new TLogged(a, "B", &log);
  bool a_seen = false, b_seen = false;
  // Read the flags on the way out through the log hook.
  struct Probe : TComponent {
    Probe(TComponent* owner, std::function<void()> f) : TComponent(owner), f_(std::move(f)) {}
    void BeforeDestruction() override {
      f_();
      TComponent::BeforeDestruction();
    }
    std::function<void()> f_;
  };
  new Probe(b, [&] {
    a_seen = a->ComponentState().Contains(csDestroying);
    b_seen = b->ComponentState().Contains(csDestroying);
  });
  form->Free();
  EXPECT_TRUE(a_seen);
  EXPECT_TRUE(b_seen);
}

TEST(ComponentOwnership, ExplicitDeletionLeavesTheOwner) {
  Log log;
  auto form = std::make_unique<TLogged>(nullptr, "Form", &log);
  auto* a = new TLogged(form.get(), "A", &log);
  auto* b = new TLogged(form.get(), "B", &log);
  auto* c = new TLogged(form.get(), "C", &log);
  delete b;
  ASSERT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->Components(0), a);
  EXPECT_EQ(form->Components(1), c);
  EXPECT_EQ(c->ComponentIndex(), 1);
  c->Free();
  EXPECT_EQ(form->ComponentCount(), 1);
  form.release()->Free();
  EXPECT_EQ(log, (Log{"~B", "~C", "~A", "~Form"}));
}

TEST(ComponentOwnership, InsertAndRemoveMoveBetweenOwnersAndNotify) {
  auto first = std::make_unique<THolder>(nullptr);
  auto second = std::make_unique<THolder>(nullptr);
  auto* sibling = new THolder(second.get());
  auto* c = new TLogged(first.get(), "Moved", nullptr);
  second->InsertComponent(c);
  EXPECT_EQ(c->Owner(), second.get());
  EXPECT_EQ(first->ComponentCount(), 0);
  EXPECT_EQ(second->ComponentCount(), 2);
  // The old owner heard the removal, the new owner and its components the insertion.
  // (Components are inserted before they get their names.)
  EXPECT_EQ(first->heard, (std::vector<std::pair<std::string, TOperation>>{{"", opInsert}, {"Moved", opRemove}}));
  EXPECT_EQ(second->heard, (std::vector<std::pair<std::string, TOperation>>{{"", opInsert}, {"Moved", opInsert}}));
  EXPECT_EQ(sibling->heard, (std::vector<std::pair<std::string, TOperation>>{{"Moved", opInsert}}));
  second->RemoveComponent(c);
  EXPECT_EQ(c->Owner(), nullptr);
  EXPECT_EQ(c->ComponentIndex(), -1);
  delete c;

  // No ownership cycles.
  auto* inner = new TComponent(sibling);
  EXPECT_THROW(inner->InsertComponent(second.get()), EComponentError);
  EXPECT_THROW(inner->InsertComponent(inner), EComponentError);
  EXPECT_EQ(inner->Owner(), sibling);
  EXPECT_EQ(second->Owner(), nullptr);
}

TEST(ComponentOwnership, ComponentIndexMoves) {
  auto form = std::make_unique<TComponent>(nullptr);
  auto* a = new TLogged(form.get(), "A", nullptr);
  auto* b = new TLogged(form.get(), "B", nullptr);
  auto* c = new TLogged(form.get(), "C", nullptr);
  c->SetComponentIndex(0);
  EXPECT_EQ(form->Components(0), c);
  EXPECT_EQ(form->Components(1), a);
  EXPECT_EQ(form->Components(2), b);
  try {
    form->Components(3);
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (3)");
  }
}

TEST(ComponentNames, NamesAreIdentifiersUniqueWithoutCase) {
  struct Case {
    const char* name;
    const char* error;  // nullptr: accepted
  };
  const Case cases[] = {
      {"Button1", nullptr},
      {"_tmp", nullptr},
      {"", nullptr},
      {"EXISTING", "A component named EXISTING already exists"},
      {"existing", "A component named existing already exists"},
      {"1abc", "Component name \"1abc\" is not a valid identifier"},
      {"a b", "Component name \"a b\" is not a valid identifier"},
      {"a.b", "Component name \"a.b\" is not a valid identifier"},
      {"\xCA\xED\xEE\xEF\xEA\xE0", "Component name \"\xCA\xED\xEE\xEF\xEA\xE0\" is not a valid identifier"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TComponent form(nullptr);
    (new TComponent(&form))->SetName("Existing");
    auto* probe = new TComponent(&form);
    probe->SetName("Before");
    if (c.error == nullptr) {
      probe->SetName(c.name);
      EXPECT_EQ(probe->Name(), c.name);
    } else {
      try {
        probe->SetName(c.name);
        ADD_FAILURE() << "accepted";
      } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), c.error);
      }
      EXPECT_EQ(probe->Name(), "Before");
    }
  }
}

TEST(ComponentNames, FindComponentIgnoresCaseAndEmptyNames) {
  TComponent form(nullptr);
  auto* a = new TComponent(&form);
  a->SetName("Dbf1");
  new TComponent(&form);  // unnamed
  EXPECT_EQ(form.FindComponent("DBF1"), a);
  EXPECT_EQ(form.FindComponent("dbf1"), a);
  EXPECT_EQ(form.FindComponent(""), nullptr);
  EXPECT_EQ(form.FindComponent("Dbf2"), nullptr);
  // Renaming itself in another case is no clash; a second empty name is none either.
  a->SetName("DBF1");
  EXPECT_EQ(a->Name(), "DBF1");
  (new TComponent(&form))->SetName("");
}

TEST(ComponentNames, InsertingAClashingNameIsRefusedAndKeepsTheOldOwner) {
  TComponent first(nullptr), second(nullptr);
  (new TComponent(&second))->SetName("Grid");
  auto* c = new TComponent(&first);
  c->SetName("grid");
  EXPECT_THROW(second.InsertComponent(c), EComponentError);
  EXPECT_EQ(c->Owner(), &first);
  EXPECT_EQ(first.ComponentCount(), 1);
}

// Who holds whom and how the held component dies.
enum class Ending { PlainDelete, Free, OwnerDeleted, SiblingsOwnerDeleted };

TEST(FreeNotification, HolderReferenceIsClearedWhoeverDeletesTheHeld) {
  struct Case {
    const char* what;
    Ending ending;
    bool whole;  // the holder saw the dying object whole
  };
  const Case cases[] = {
      {"plain delete", Ending::PlainDelete, false},
      {"Free", Ending::Free, true},
      {"owner deleted", Ending::OwnerDeleted, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto holder = std::make_unique<THolder>(nullptr);
    auto* owner = new TComponent(nullptr);
    auto* held = new TLogged(owner, "Held", nullptr);
    holder->SetRef(held);
    EXPECT_TRUE(held->ComponentState().Contains(csFreeNotification));
    switch (c.ending) {
      case Ending::PlainDelete:
        delete held;
        break;
      case Ending::Free:
        held->Free();
        break;
      default:
        break;
    }
    delete owner;
    EXPECT_EQ(holder->Ref(), nullptr);
    EXPECT_EQ(holder->removals, 1);
    if (c.whole) {
      EXPECT_TRUE(holder->saw_whole_object);
    }
  }
}

TEST(FreeNotification, SiblingHolderHearsOnceWhenTheOwnerGoes) {
  // Held is inserted after the holder, so it dies first.
  auto* form = new TComponent(nullptr);
  auto* holder = new THolder(form);
  auto* held = new TLogged(form, "Held", nullptr);
  holder->SetRef(held);
  int removals = -1;
  struct Probe : TComponent {
    Probe(TComponent* owner, std::function<void()> f) : TComponent(owner), f_(std::move(f)) {}
    ~Probe() override { f_(); }
    std::function<void()> f_;
  };
  // The probe is deleted before the holder and after the held: read the count then.
  auto* probe = new Probe(form, [&] {
    removals = static_cast<int>(
        std::count(holder->heard.begin(), holder->heard.end(), std::make_pair(std::string("Held"), opRemove)));
  });
  probe->SetComponentIndex(1);  // between holder and held
  form->Free();
  EXPECT_EQ(removals, 1);
}

TEST(FreeNotification, DeletingTheHolderFirstLeavesNoRegistration) {
  auto* held = new TLogged(nullptr, "Held", nullptr);
  auto* holder = new THolder(nullptr);
  holder->SetRef(held);
  delete holder;
  // Under the address sanitizer a registration left behind would be a use after free here.
  delete held;

  // The same with the holder owned by the held component's owner's child.
  auto* form = new TComponent(nullptr);
  auto* panel = new TComponent(form);
  auto* h2 = new THolder(panel);
  auto* held2 = new TLogged(form, "Held2", nullptr);
  h2->SetRef(held2);
  panel->Free();
  delete form;
}

TEST(FreeNotification, ReleasingTheReferenceUnregistersBothWays) {
  auto held = std::make_unique<TLogged>(nullptr, "Held", nullptr);
  auto other = std::make_unique<TLogged>(nullptr, "Other", nullptr);
  auto holder = std::make_unique<THolder>(nullptr);
  holder->SetRef(held.get());
  holder->SetRef(other.get());
  held.reset();
  EXPECT_EQ(holder->removals, 0);
  EXPECT_EQ(holder->Ref(), other.get());
  // The held side also hears of the holder's end and drops it.
  holder.reset();
  other.reset();
}

TEST(FreeNotification, ManyHoldersOfOneComponentAllClear) {
  auto* held = new TLogged(nullptr, "Held", nullptr);
  std::vector<std::unique_ptr<THolder>> holders;
  for (int i = 0; i < 5; ++i) {
    holders.push_back(std::make_unique<THolder>(nullptr));
    holders.back()->SetRef(held);
  }
  holders[2].reset();  // one holder goes first
  held->Free();
  for (size_t i = 0; i < holders.size(); ++i) {
    if (i == 2) continue;
    EXPECT_EQ(holders[i]->Ref(), nullptr) << i;
    EXPECT_EQ(holders[i]->removals, 1) << i;
  }
}

// A component whose only tie to others is a self-clearing reference.
class TRefHolder : public TComponent {
 public:
  using TComponent::TComponent;
  TComponentRef<TLogged> ref;
};

TEST(ComponentRef, ForgetsWhatIsDestroyedWhicheverSideGoesFirst) {
  enum Step { HoldA, HoldB, HoldNone, FreeA, DeleteA, FreeOwnerOfA, FreeHolder, SecondHoldsA, FreeSecond };
  const struct {
    const char* what;
    std::vector<Step> steps;
    // What each holder refers to at the end: 'A', 'B', '0' nothing, '-' the holder is gone.
    char holder, second;
  } cases[] = {
      {"target freed", {HoldA, FreeA}, '0', '0'},
      {"target deleted plainly", {HoldA, DeleteA}, '0', '0'},
      {"target's owner freed", {HoldA, FreeOwnerOfA}, '0', '0'},
      {"reassigned, then the old target freed", {HoldA, HoldB, FreeA}, 'B', '0'},
      {"reassigned to nothing, then the old target freed", {HoldA, HoldNone, FreeA}, '0', '0'},
      {"the same target twice", {HoldA, HoldA, FreeA}, '0', '0'},
      {"holder freed first", {HoldA, FreeHolder, FreeA}, '-', '0'},
      {"two refs to one target", {HoldA, SecondHoldsA, FreeA}, '0', '0'},
      {"two refs, one holder freed first", {HoldA, SecondHoldsA, FreeSecond, FreeOwnerOfA}, '0', '-'},
      {"two refs, the target kept", {HoldA, SecondHoldsA, HoldB}, 'B', 'A'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Log log;
    auto* owner = new TComponent(nullptr);
    TLogged* a = new TLogged(owner, "A", &log);
    auto b = std::make_unique<TLogged>(nullptr, "B", &log);
    auto* holder = new TRefHolder(nullptr);
    auto* second = new TRefHolder(nullptr);
    for (Step step : c.steps) {
      switch (step) {
        case HoldA: holder->ref = a; break;
        case HoldB: holder->ref = b.get(); break;
        case HoldNone: holder->ref = nullptr; break;
        case FreeA: a->Free(); a = nullptr; break;
        case DeleteA: delete a; a = nullptr; break;
        case FreeOwnerOfA: owner->Free(); owner = nullptr; a = nullptr; break;
        case FreeHolder: holder->Free(); holder = nullptr; break;
        case SecondHoldsA: second->ref = a; break;
        case FreeSecond: second->Free(); second = nullptr; break;
      }
    }
    auto seen = [&](TRefHolder* h) {
      if (h == nullptr) return '-';
      if (h->ref == nullptr) return '0';
      return h->ref.get() == b.get() ? 'B' : h->ref->Name()[0];
    };
    EXPECT_EQ(seen(holder), c.holder);
    EXPECT_EQ(seen(second), c.second);
    // Whatever is left goes in any order; a registration left behind would be
    // a use after free under the address sanitizer.
    delete owner;
    b.reset();
    delete holder;
    delete second;
  }
}

TEST(ComponentRef, TheFreeHandlerRunsOnceAfterTheReferenceIsCleared) {
  enum Step { HoldA, HoldB, FreeA, FreeB, Drop };
  const struct {
    const char* what;
    std::vector<Step> steps;
    // What the handler saw on each run: 'A'/'B' the reference was not yet
    // cleared, '0' it read nullptr; then what the reference holds at the end.
    std::string runs;
    char at_end;
  } cases[] = {
      {"target freed", {HoldA, FreeA}, "0", '0'},
      {"reassigned: the old target's end is not heard", {HoldA, HoldB, FreeA}, "", 'B'},
      {"assigned nothing, then freed", {HoldA, Drop, FreeA}, "", '0'},
      {"the handler takes another", {HoldA, FreeA, FreeB}, "00", '0'},
      {"the reference goes first", {HoldA}, "", 'A'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Log log;
    auto* a = new TLogged(nullptr, "A", &log);
    auto* b = new TLogged(nullptr, "B", &log);
    std::string runs;
    bool take_b = std::string(c.what) == "the handler takes another";
    auto ref = std::make_unique<TComponentRef<TLogged>>();
    TComponentRef<TLogged>* self = nullptr;
    ref = std::make_unique<TComponentRef<TLogged>>([&] {
      runs += self->get() == nullptr ? '0' : self->get()->Name()[0];
      if (take_b && b != nullptr) {
        *self = b;
        take_b = false;
      }
    });
    self = ref.get();
    for (Step step : c.steps) {
      switch (step) {
        case HoldA: *ref = a; break;
        case HoldB: *ref = b; break;
        case FreeA: a->Free(); a = nullptr; break;
        case FreeB: b->Free(); b = nullptr; break;
        case Drop: *ref = nullptr; break;
      }
    }
    EXPECT_EQ(runs, c.runs);
    EXPECT_EQ(ref->get() == nullptr ? '0' : ref->get()->Name()[0], c.at_end);
    ref.reset();
    if (a != nullptr) a->Free();
    if (b != nullptr) b->Free();
    EXPECT_EQ(runs, c.runs);  // the reference's own end runs nothing
  }
}

TEST(ComponentRef, AHolderMayOwnWhatItRefersTo) {
  for (bool free : {true, false}) {
    SCOPED_TRACE(free ? "Free" : "delete");
    Log log;
    auto* holder = new TRefHolder(nullptr);
    holder->ref = new TLogged(holder, "Owned", &log);
    EXPECT_EQ(holder->ref->Name(), "Owned");
    if (free) {
      holder->Free();
    } else {
      delete holder;
    }
    EXPECT_EQ(log, Log{"~Owned"});
  }
}

TEST(ComponentState, LoadedClearsLoadingAndDesigningReachesOwnedComponents) {
  TComponent form(nullptr);
  auto* child = new TComponent(&form);
  form.SetComponentStateFlag(csLoading, true);
  form.SetComponentStateFlag(csReading, true);
  form.Loaded();
  EXPECT_FALSE(form.ComponentState().Contains(csLoading));
  EXPECT_TRUE(form.ComponentState().Contains(csReading));
  form.SetDesigning(true);
  EXPECT_TRUE(child->ComponentState().Contains(csDesigning));
  form.SetDesigning(false);
  EXPECT_FALSE(child->ComponentState().Contains(csDesigning));
}

// ---- Assign -------------------------------------------------------------------

class TPoint : public TPersistent {
  KIV7_PERSISTENT(TPoint)

 public:
  int x = 0;
  void Assign(const TPersistent* source) override {
    if (auto* p = dynamic_cast<const TPoint*>(source)) {
      x = p->x;
      return;
    }
    TPersistent::Assign(source);
  }
};
const TClassInfo& TPoint::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TPoint>, "TPoint", &TPersistent::StaticClassInfo());
  return info;
}

// Knows how to put itself into a TPoint, which does not know it.
class TPolar : public TPersistent {
  KIV7_PERSISTENT(TPolar)

 public:
  int r = 0;

 protected:
  void AssignTo(TPersistent* dest) const override {
    if (auto* p = dynamic_cast<TPoint*>(dest)) {
      p->x = r;
      return;
    }
    TPersistent::AssignTo(dest);
  }
};
const TClassInfo& TPolar::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TPolar>, "TPolar", &TPersistent::StaticClassInfo());
  return info;
}

TEST(Assign, RefusalNamesBothClasses) {
  TPoint point;
  TPolar polar;
  TComponent component(nullptr);
  TCollection collection([](TCollection* c) { return new TCollectionItem(c); });
  struct Case {
    TPersistent* dest;
    const TPersistent* source;
    const char* error;
  };
  const Case cases[] = {
      {&point, nullptr, "Cannot assign a nil to a TPoint"},
      {&point, &component, "Cannot assign a TComponent to a TPoint"},
      {&polar, &point, "Cannot assign a TPoint to a TPolar"},
      {&component, &collection, "Cannot assign a TCollection to a TComponent"},
      {&collection, &point, "Cannot assign a TPoint to a TCollection"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    try {
      c.dest->Assign(c.source);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), c.error);
    }
  }
}

TEST(Assign, EitherSideMayKnowTheOther) {
  TPoint a, b;
  TPolar polar;
  b.x = 5;
  a.Assign(&b);
  EXPECT_EQ(a.x, 5);
  polar.r = 9;
  a.Assign(&polar);
  EXPECT_EQ(a.x, 9);
}

// ---- Collections -------------------------------------------------------------------

class TCaptionItem : public TCollectionItem {
  KIV7_PERSISTENT(TCaptionItem)

 public:
  using TCollectionItem::TCollectionItem;
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value) {
    caption_ = value;
    Changed(false);
  }
  void Assign(const TPersistent* source) override {
    if (auto* item = dynamic_cast<const TCaptionItem*>(source)) {
      SetCaption(item->caption_);
      return;
    }
    TCollectionItem::Assign(source);
  }
  AnsiString DisplayName() const override { return caption_.empty() ? TCollectionItem::DisplayName() : caption_; }

 private:
  AnsiString caption_;
};
const TClassInfo& TCaptionItem::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TCaptionItem>, "TCaptionItem", &TCollectionItem::StaticClassInfo(),
                               [](TPublisher<TCaptionItem>& p) {
                                 p.String("Caption", &TCaptionItem::Caption, &TCaptionItem::SetCaption);
                               });
  return info;
}

// A collection that logs its hooks.
class TLoggedCollection : public TOwnedCollection {
 public:
  explicit TLoggedCollection(TPersistent* owner = nullptr)
      : TOwnedCollection(owner, [](TCollection* c) { return new TCaptionItem(c); }) {}
  Log log;
  TCaptionItem* Item(int i) const { return static_cast<TCaptionItem*>(Items(i)); }
  TCaptionItem* AddItem(const AnsiString& caption) {
    auto* item = static_cast<TCaptionItem*>(Add());
    item->SetCaption(caption);
    return item;
  }
  std::string Captions() const {
    std::string s;
    for (int i = 0; i < Count(); ++i) s += (i ? "," : "") + Item(i)->Caption();
    return s;
  }

 protected:
  void Update(TCollectionItem* item) override {
    log.push_back(item == nullptr ? "Update(all)" : "Update(" + static_cast<TCaptionItem*>(item)->Caption() + ")");
  }
  void Notify(TCollectionItem* item, TCollectionNotification action) override {
    static const char* const names[] = {"added", "extracting", "deleting"};
    log.push_back(std::string(names[action]) + "#" + std::to_string(item->ID()));
  }
};

TEST(Collection, ChangeHooksFollowTheUpdateCounter) {
  struct Case {
    const char* what;
    std::function<void(TLoggedCollection&)> act;
    Log expected;
  };
  const std::vector<Case> cases = {
      {"add outside update", [](TLoggedCollection& c) { c.Add(); }, {"added#2", "Update(all)"}},
      {"item change outside update", [](TLoggedCollection& c) { c.Item(0)->SetCaption("x"); }, {"Update(x)"}},
      {"changes inside update come once at the end",
       [](TLoggedCollection& c) {
         c.BeginUpdate();
         c.Add();
         c.Item(0)->SetCaption("x");
         c.Delete(1);
         c.EndUpdate();
       },
       {"added#2", "deleting#1", "extracting#1", "Update(all)"}},
      {"nested update reports at the outer end",
       [](TLoggedCollection& c) {
         c.BeginUpdate();
         c.BeginUpdate();
         c.Item(1)->SetCaption("y");
         c.EndUpdate();
         c.log.push_back("inner end");
         c.EndUpdate();
       },
       {"inner end", "Update(all)"}},
      {"delete", [](TLoggedCollection& c) { c.Delete(0); }, {"deleting#0", "extracting#0", "Update(all)"}},
      {"clear", [](TLoggedCollection& c) { c.Clear(); },
       {"deleting#1", "extracting#1", "deleting#0", "extracting#0", "Update(all)"}},
      {"item deleted directly", [](TLoggedCollection& c) { delete c.Items(1); }, {"extracting#1", "Update(all)"}},
      {"move", [](TLoggedCollection& c) { c.Items(1)->SetIndex(0); }, {"Update(all)"}},
      {"end update without changes still reports", [](TLoggedCollection& c) {
         c.BeginUpdate();
         c.EndUpdate();
       },
       {"Update(all)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TLoggedCollection coll;
    coll.AddItem("a");
    coll.AddItem("b");
    coll.log.clear();
    c.act(coll);
    EXPECT_EQ(coll.log, c.expected);
    EXPECT_EQ(coll.UpdateCount(), 0);
  }
}

TEST(Collection, IndexesIdsAndMoves) {
  TLoggedCollection coll;
  coll.AddItem("a");
  coll.AddItem("b");
  coll.AddItem("c");
  coll.Delete(1);
  coll.AddItem("d");
  EXPECT_EQ(coll.Captions(), "a,c,d");
  EXPECT_EQ(coll.Item(2)->ID(), 3);  // IDs are never reused
  EXPECT_EQ(coll.NextID(), 4);
  EXPECT_EQ(coll.FindItemID(2), coll.Items(1));
  EXPECT_EQ(coll.FindItemID(1), nullptr);

  static_cast<TCaptionItem*>(coll.Insert(0))->SetCaption("first");
  static_cast<TCaptionItem*>(coll.Insert(coll.Count()))->SetCaption("last");
  EXPECT_EQ(coll.Captions(), "first,a,c,d,last");
  coll.Item(0)->SetIndex(3);
  EXPECT_EQ(coll.Captions(), "a,c,d,first,last");
  EXPECT_EQ(coll.Item(3)->Index(), 3);

  struct Bad {
    std::function<void()> act;
    const char* error;
  };
  const Bad bad[] = {
      {[&] { coll.Items(5); }, "List index out of bounds (5)"},
      {[&] { coll.Items(-1); }, "List index out of bounds (-1)"},
      {[&] { coll.Insert(6); }, "List index out of bounds (6)"},
      {[&] { coll.Delete(5); }, "List index out of bounds (5)"},
      {[&] { coll.Item(0)->SetIndex(5); }, "List index out of bounds (5)"},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.error);
    try {
      b.act();
      ADD_FAILURE() << "no error";
    } catch (const EListError& e) {
      EXPECT_EQ(e.Message(), b.error);
    }
  }
  EXPECT_EQ(coll.Captions(), "a,c,d,first,last");
}

TEST(Collection, ItemsMoveBetweenCollectionsWithNewIds) {
  TLoggedCollection from, to;
  from.AddItem("a");
  auto* b = from.AddItem("b");
  to.AddItem("x");
  b->SetCollection(&to);
  EXPECT_EQ(from.Captions(), "a");
  EXPECT_EQ(to.Captions(), "x,b");
  EXPECT_EQ(b->Collection(), &to);
  EXPECT_EQ(b->ID(), 1);
  b->SetCollection(nullptr);
  EXPECT_EQ(b->Index(), -1);
  EXPECT_EQ(to.Count(), 1);
  delete b;
}

TEST(Collection, AssignCopiesItemsInOneChange) {
  TLoggedCollection source, target;
  source.AddItem("a");
  source.AddItem("\xC0\xE1\xE2");
  target.AddItem("old");
  target.log.clear();
  target.Assign(&source);
  EXPECT_EQ(target.Captions(), "a,\xC0\xE1\xE2");
  EXPECT_EQ(std::count(target.log.begin(), target.log.end(), "Update(all)"), 1);
  EXPECT_EQ(target.log.back(), "Update(all)");
}

class TGrid : public TComponent {
  KIV7_PERSISTENT(TGrid)

 public:
  using TComponent::TComponent;
  TLoggedCollection* Columns() const { return columns_.get(); }

 private:
  std::unique_ptr<TLoggedCollection> columns_ = std::make_unique<TLoggedCollection>(this);
};
const TClassInfo& TGrid::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TGrid>, "TGrid", &TComponent::StaticClassInfo(), [](TPublisher<TGrid>& p) {
    p.Object("Columns", TCollection::StaticClassInfo(), &TGrid::Columns);
  });
  return info;
}

TEST(Collection, NamePathGoesThroughTheOwnersProperty) {
  TComponent form(nullptr);
  form.SetName("Form1");
  auto* grid = new TGrid(&form);
  grid->SetName("Grid1");
  grid->Columns()->AddItem("a");
  auto* b = grid->Columns()->AddItem("");
  EXPECT_EQ(b->GetNamePath(), "Grid1.Columns[1]");
  EXPECT_EQ(b->DisplayName(), "TCaptionItem");
  EXPECT_EQ(b->GetOwner(), grid->Columns());
  EXPECT_EQ(grid->Columns()->GetOwner(), grid);
  TLoggedCollection loose;
  EXPECT_EQ(loose.AddItem("x")->GetNamePath(), "TOwnedCollection[0]");
}

}  // namespace component_test

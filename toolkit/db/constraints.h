// Record-level check constraints of a data set: the conditions a record must
// meet, each with the message shown when it does not. A data set keeps them
// for the code that checks records (a provider, a server) and streams them
// with its form; the data sets of this toolkit evaluate none themselves.
#pragma once

#include "toolkit/core/component.h"

// One constraint: a condition written by the program (CustomConstraint) or
// taken over from a data dictionary or server (ImportedConstraint), and the
// message for a record that breaks it.
class TCheckConstraint : public TCollectionItem {
  KIV7_PERSISTENT(TCheckConstraint)

 public:
  explicit TCheckConstraint(TCollection* collection) : TCollectionItem(collection) {}

  const AnsiString& CustomConstraint() const { return custom_constraint_; }
  void SetCustomConstraint(const AnsiString& value);
  const AnsiString& ErrorMessage() const { return error_message_; }
  void SetErrorMessage(const AnsiString& value);
  // Whether the constraint came from a data dictionary.
  bool FromDictionary() const { return from_dictionary_; }
  void SetFromDictionary(bool value);
  const AnsiString& ImportedConstraint() const { return imported_constraint_; }
  void SetImportedConstraint(const AnsiString& value);

  // The imported condition, else the custom one, else the item's default name.
  AnsiString DisplayName() const override;
  void Assign(const TPersistent* source) override;

 private:
  AnsiString custom_constraint_;
  AnsiString error_message_;
  bool from_dictionary_ = true;
  AnsiString imported_constraint_;
};

// The constraints of one data set, owned by it.
class TCheckConstraints : public TOwnedCollection {
  KIV7_PERSISTENT(TCheckConstraints)

 public:
  explicit TCheckConstraints(TPersistent* owner);

  TCheckConstraint* Add() { return static_cast<TCheckConstraint*>(TCollection::Add()); }
  // EListError for a bad index.
  TCheckConstraint* Items(int index) const { return static_cast<TCheckConstraint*>(TCollection::Items(index)); }
};

#include "toolkit/db/constraints.h"

#include "toolkit/core/typinfo.h"

const TClassInfo& TCheckConstraint::StaticClassInfo() {
  using C = TCheckConstraint;
  static const TClassInfo info(kClassOf<C>, "TCheckConstraint", &TCollectionItem::StaticClassInfo(),
                               [](TPublisher<C>& p) {
                                 p.String("CustomConstraint", &C::CustomConstraint, &C::SetCustomConstraint);
                                 p.String("ErrorMessage", &C::ErrorMessage, &C::SetErrorMessage);
                                 p.Boolean("FromDictionary", &C::FromDictionary, &C::SetFromDictionary)
                                     .WithDefault(1);
                                 p.String("ImportedConstraint", &C::ImportedConstraint, &C::SetImportedConstraint);
                               });
  return info;
}

void TCheckConstraint::SetCustomConstraint(const AnsiString& value) {
  if (value == custom_constraint_) return;
  custom_constraint_ = value;
  Changed(false);
}

void TCheckConstraint::SetErrorMessage(const AnsiString& value) {
  if (value == error_message_) return;
  error_message_ = value;
  Changed(false);
}

void TCheckConstraint::SetFromDictionary(bool value) {
  if (value == from_dictionary_) return;
  from_dictionary_ = value;
  Changed(false);
}

void TCheckConstraint::SetImportedConstraint(const AnsiString& value) {
  if (value == imported_constraint_) return;
  imported_constraint_ = value;
  Changed(false);
}

AnsiString TCheckConstraint::DisplayName() const {
  if (!imported_constraint_.empty()) return imported_constraint_;
  if (!custom_constraint_.empty()) return custom_constraint_;
  return TCollectionItem::DisplayName();
}

void TCheckConstraint::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TCheckConstraint*>(source)) {
    custom_constraint_ = other->custom_constraint_;
    error_message_ = other->error_message_;
    from_dictionary_ = other->from_dictionary_;
    imported_constraint_ = other->imported_constraint_;
    Changed(false);
    return;
  }
  TCollectionItem::Assign(source);
}

const TClassInfo& TCheckConstraints::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TCheckConstraints>, "TCheckConstraints", &TOwnedCollection::StaticClassInfo());
  return info;
}

TCheckConstraints::TCheckConstraints(TPersistent* owner)
    : TOwnedCollection(owner, [](TCollection* c) { return new TCheckConstraint(c); }) {}

// A collection of items with published properties, shown through the object
// data set by its tests.
#pragma once

#include "grid/rs_ods.h"
#include "toolkit/core/classes.h"

namespace ods_support {

// A collection item with a text and a number.
class TCrewItem : public TCollectionItem {
  KIV7_PERSISTENT(TCrewItem)

 public:
  explicit TCrewItem(TCollection* c) : TCollectionItem(c) {}
  AnsiString name_;
  int grade_ = 0;
};

inline const TClassInfo& TCrewItem::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TCrewItem>, "TCrewItem", &TCollectionItem::StaticClassInfo(), [](TPublisher<TCrewItem>& p) {
        p.String("Name", [](const TCrewItem& t) { return t.name_; },
                 [](TCrewItem& t, const AnsiString& v) { t.name_ = v; });
        p.Integer("Grade", [](const TCrewItem& t) { return t.grade_; },
                  [](TCrewItem& t, int64_t v) { t.grade_ = int(v); });
      });
  return info;
}

struct Crew {
  TCollection items{[](TCollection* c) { return new TCrewItem(c); }};
  TCrewItem* Add(const char* name, int grade) {
    auto* item = static_cast<TCrewItem*>(items.Add());
    item->name_ = name;
    item->grade_ = grade;
    return item;
  }
  TCrewItem* At(int i) const { return static_cast<TCrewItem*>(items.Items(i)); }
};

}  // namespace ods_support

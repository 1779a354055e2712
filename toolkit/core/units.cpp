#include "toolkit/core/units.h"

#include <cassert>

namespace {

struct Unit {
  TUnitKey key;
  const char* name;
  void (*finalize)();
};

// Never destroyed: a unit may be freed by code that runs at process exit.
std::vector<Unit>& Units() {
  static auto* units = new std::vector<Unit>();
  return *units;
}

// How many walks are under way. A finalizer may free another unit (the walk
// goes on with what is left), but one that makes a unit's objects again would
// leave them behind the walk.
int g_finalizing = 0;

// Frees the units from position `from` on, newest first. A unit leaves the list
// before its finalizer runs, so a finalizer that frees units it holds finds
// itself gone.
void FinalizeFrom(std::size_t from) {
  ++g_finalizing;
  std::vector<Unit>& units = Units();
  while (units.size() > from) {
    const Unit unit = units.back();
    units.pop_back();
    unit.finalize();
  }
  --g_finalizing;
}

}  // namespace

void RegisterUnit(TUnitKey unit, const char* name, void (*finalize)()) {
  assert(unit != nullptr && finalize != nullptr);
  // Made while units are being freed: the new objects would outlive the walk.
  assert(g_finalizing == 0 && "a unit made its objects while the units were being freed");
  for (const Unit& known : Units())
    if (known.key == unit) return;
  Units().push_back(Unit{unit, name, finalize});
}

void FinalizeUnit(TUnitKey unit) {
  const std::vector<Unit>& units = Units();
  for (std::size_t i = 0; i < units.size(); ++i)
    if (units[i].key == unit) {
      FinalizeFrom(i);
      return;
    }
}

void FinalizeUnits() { FinalizeFrom(0); }

std::vector<const char*> RegisteredUnits() {
  std::vector<const char*> names;
  for (const Unit& unit : Units()) names.push_back(unit.name);
  return names;
}

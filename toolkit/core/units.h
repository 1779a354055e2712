#pragma once

#include <vector>

// The process-wide objects of a unit (a library's defaults, its shared drop-down
// forms, caches) are made on first use. Whatever a unit makes, it makes after
// the units it stands on have made theirs, so the order of first use is an order
// in which every unit follows what it needs. Each unit records here how to free
// what it made; shutting down walks that order backwards, so a unit is freed
// before anything it was made from. The application's shut-down frees them all,
// while the GUI library and the timers are still there; nothing is left to
// static destruction.
//
// Leaf services that everything may reach until the very end (the timer
// schedule, code-page tables) are not units: they live to the end of the process.

// A unit's identity: the address of a variable of its own.
using TUnitKey = const void*;

// Records that `unit` has made its objects and that `finalize` frees them. A
// unit already recorded keeps its place. `finalize` may free other units, but
// must not make any.
void RegisterUnit(TUnitKey unit, const char* name, void (*finalize)());
// Frees `unit` and, first, every unit recorded after it (they may stand on it),
// newest first. Nothing happens when the unit is not recorded (never made, or
// already freed); it is recorded again when it makes its objects again.
void FinalizeUnit(TUnitKey unit);
// Frees every recorded unit, newest first.
void FinalizeUnits();
// The names of the recorded units, oldest first.
std::vector<const char*> RegisteredUnits();

// The one object of type T a unit keeps: made on first use and recorded as
// a unit under `name`, freed by the units' shut-down (or Free), never by
// static destruction. Tag tells apart units that keep objects of one type.
template <typename T, typename Tag = T>
class TUnitObject {
 public:
  static T& Get(const char* name) {
    if (object_ == nullptr) {
      object_ = new T();
      RegisterUnit(&key_, name, Finalize);
    }
    return *object_;
  }
  // nullptr while it is not made.
  static T* IfMade() { return object_; }
  static void Free() { FinalizeUnit(&key_); }

 private:
  static void Finalize() {
    T* object = object_;
    object_ = nullptr;
    delete object;
  }
  static inline T* object_ = nullptr;
  static inline const char key_ = 0;
};

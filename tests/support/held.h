// A held component for the tests of holders: made with or without an owner of
// its own, and ended the way a case names, so that one table of holders runs
// against every way a component goes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "toolkit/core/component.h"

namespace testsupport {

// How the held component goes.
enum THeldEnd { heFree, heDelete, heOwnerFreed };
inline constexpr THeldEnd kHeldEnds[] = {heFree, heDelete, heOwnerFreed};

inline const char* HeldEndName(THeldEnd end) {
  switch (end) {
    case heFree: return "freed";
    case heDelete: return "deleted";
    case heOwnerFreed: return "its owner freed";
  }
  return "";
}

// Makes a component through make (given the owner it should have) and ends it
// with End; what End did not end goes with the Held.
template <class T>
class Held {
 public:
  Held(THeldEnd end, const std::function<T*(TComponent* owner)>& make) : end_(end) {
    if (end == heOwnerFreed) owner_ = new TComponent(nullptr);
    held_ = make(owner_);
  }
  ~Held() {
    if (held_ == nullptr) return;
    if (owner_ != nullptr) owner_->Free();
    else held_->Free();
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

  T* get() const { return held_; }
  void End() {
    switch (end_) {
      case heFree: held_->Free(); break;
      case heDelete: delete held_; break;
      case heOwnerFreed: owner_->Free(); break;
    }
    held_ = nullptr;
    owner_ = nullptr;
  }

 private:
  THeldEnd end_;
  TComponent* owner_ = nullptr;
  T* held_ = nullptr;
};

// A kind of holder: run makes the holder and its held component, ends the
// held one the given way and checks the holder afterwards.
struct THolderCase {
  const char* what;
  std::function<void(THeldEnd)> run;
};

// Runs every holder against every way its held component goes.
template <size_t N>
void RunForEveryEnd(const THolderCase (&holders)[N]) {
  for (const THolderCase& h : holders) {
    for (THeldEnd end : kHeldEnds) {
      SCOPED_TRACE(std::string(h.what) + ", " + HeldEndName(end));
      h.run(end);
    }
  }
}

}  // namespace testsupport

// A held component for the tests of holders: made with or without an owner of
// its own, and ended the way a case names, so that one table of holders runs
// against every way a component goes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
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

// Makes a control of class C owned by the given owner and placed on parent.
template <class C, class P>
std::function<C*(TComponent* owner)> ControlOn(P* parent) {
  return [parent](TComponent* owner) {
    auto* control = new C(owner);
    control->SetParent(parent);
    return control;
  };
}

// The plain case of a holder read by get and set by set: the held component,
// ended, reads nullptr, and the holder takes another (which it lets go at the
// end).
template <class H, class T>
void ExpectForgottenAndReplaced(THeldEnd end, H& holder, T* (H::*get)() const, void (H::*set)(T*),
                                const std::function<T*(TComponent* owner)>& make) {
  Held<T> held(end, make);
  (holder.*set)(held.get());
  ASSERT_EQ((holder.*get)(), held.get());
  held.End();
  EXPECT_EQ((holder.*get)(), nullptr);
  std::unique_ptr<T> next(make(nullptr));
  (holder.*set)(next.get());
  EXPECT_EQ((holder.*get)(), next.get());
  (holder.*set)(nullptr);
}

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

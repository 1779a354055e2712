// Guards for paired calls. A mode entered when the guard is made (an update,
// a temporary value, a clean-up owed) is left when the scope ends, by a
// return, a break or an exception alike, so the leaving is written once and
// cannot be skipped.
//
// The leaving call may itself raise (an EndUpdate reports the change it held
// back). On a normal end its error goes to the caller as before. When the
// scope is already being left by an exception, that first error is the one
// the caller hears of and the second is dropped: two errors at once would end
// the program.
#pragma once

#include <exception>
#include <utility>

// Implementation details follow. Clients use the guards below.
class TScopeGuardBase {
 protected:
  TScopeGuardBase() : uncaught_(std::uncaught_exceptions()) {}
  ~TScopeGuardBase() = default;

  // Whether the scope is being left by an exception.
  bool Unwinding() const { return std::uncaught_exceptions() > uncaught_; }

  // Runs leave as the scope ends: its error is dropped while another one
  // unwinds the scope, passed on otherwise.
  template <class F>
  void LeaveScope(F&& leave) {
    if (!Unwinding()) {
      leave();
      return;
    }
    try {
      leave();
    } catch (...) {
      // Dropped on purpose: the error that is ending the scope is reported.
    }
  }

 private:
  int uncaught_;
};

// Runs a clean-up when the scope ends, however it ends:
//   TScopeExit restore([&] { ... });
template <class F>
class TScopeExit : private TScopeGuardBase {
 public:
  explicit TScopeExit(F cleanup) : cleanup_(std::move(cleanup)) {}
  ~TScopeExit() noexcept(false) { LeaveScope(cleanup_); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F cleanup_;
};

// Undoes a half-done change when the scope is left by an exception, and only
// then: a return or the end of the scope keeps what was done.
template <class F>
class TScopeFail : private TScopeGuardBase {
 public:
  explicit TScopeFail(F undo) : undo_(std::move(undo)) {}
  ~TScopeFail() {
    if (Unwinding()) LeaveScope(undo_);
  }
  TScopeFail(const TScopeFail&) = delete;
  TScopeFail& operator=(const TScopeFail&) = delete;

 private:
  F undo_;
};

// Gives a variable a value for the scope. On exit it gets back the value it
// held before, or the given one to leave it with. The one-argument form only
// keeps the value: the scope may change the variable as it likes.
template <class T>
class TScopedValue {
 public:
  explicit TScopedValue(T& variable) : variable_(variable), after_(variable) {}
  TScopedValue(T& variable, T value) : variable_(variable), after_(std::move(value)) {
    using std::swap;
    swap(variable_, after_);
  }
  TScopedValue(T& variable, T value, T leave_with) : variable_(variable), after_(std::move(leave_with)) {
    variable_ = std::move(value);
  }
  ~TScopedValue() { variable_ = std::move(after_); }
  TScopedValue(const TScopedValue&) = delete;
  TScopedValue& operator=(const TScopedValue&) = delete;

 private:
  T& variable_;
  T after_;
};

// Holds a mode an object enters with one method and leaves with another,
// both without arguments, for the scope.
template <class T, auto Enter, auto Leave>
class TPairedScope : private TScopeGuardBase {
 public:
  explicit TPairedScope(T& target) : target_(target) { (target_.*Enter)(); }
  ~TPairedScope() noexcept(false) {
    LeaveScope([this] { (target_.*Leave)(); });
  }
  TPairedScope(const TPairedScope&) = delete;
  TPairedScope& operator=(const TPairedScope&) = delete;

 private:
  T& target_;
};

// Holds an object's update mode (BeginUpdate ... EndUpdate) for the scope:
// string lists, collections, field definitions.
template <class T>
class TUpdateScope : public TPairedScope<T, &T::BeginUpdate, &T::EndUpdate> {
 public:
  using TPairedScope<T, &T::BeginUpdate, &T::EndUpdate>::TPairedScope;
};
template <class T>
TUpdateScope(T&) -> TUpdateScope<T>;

// The event loop that headless programs and tests run, and TTimer on it.
//
// Timers keep their schedule by GetTickCount (toolkit/core/clock.h): with the
// system clock one Qt timer wakes the loop when the earliest of them is due;
// with a manual clock a test moves time by AdvanceTimers and every timer due on
// the way fires in order, tick by tick, without sleeping. A GUI program
// creates its application object before any timer starts; a headless one
// gets a core application made on first use. Everything runs on one thread.
#pragma once

#include <cstdint>
#include <functional>

#include "toolkit/core/clock.h"
#include "toolkit/core/component.h"

// A periodic timer. It fires every Interval ms while Enabled, when its owner's
// thread runs the event loop; a handler never runs inside itself again.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  // Whether the timer runs (default true). Enabling starts a new period.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  // The period in ms (default 1000); 0 stops the timer. Setting it starts a
  // new period.
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned value);

  // Raised once per period with the timer as sender.
  TNotifyEvent OnTimer;

  // The tick (GetTickCount64) at which the timer fires next; 0 when it is stopped.
  uint64_t DueTick() const;

 private:
  void Update();
  bool enabled_ = true;
  unsigned interval_ = 1000;
};

// Runs the events that are pending now (posted events, due timers) and returns.
void ProcessMessages();

// Runs the event loop until done() is true (checked after every event) or
// max_wait_ms of real time pass; true when done() became true.
bool RunEventLoopUntil(const std::function<bool()>& done, int max_wait_ms);

// Runs the event loop until QuitEventLoop; returns the code given there.
int RunEventLoop();
void QuitEventLoop(int code = 0);

// The GUI library's application object is about to go: lets go of the wake-up
// timer made on it. Every timer must be gone or stopped by then (its owner
// freed); one still running has outlived the loop that would fire it.
void ReleaseTimerWake();
// How many timers are running now.
int RunningTimerCount();

// For tests on a manual clock: moves the clock forward by ms, stopping at each
// time a timer is due and firing it there (in the order of their due times).
void AdvanceTimers(TManualClock& clock, uint64_t ms);

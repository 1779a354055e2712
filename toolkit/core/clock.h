// The millisecond tick clock. Timers, time-outs and lock retries read it
// through GetTickCount, so tests replace it with a manual clock and step
// schedules tick by tick instead of sleeping.
#pragma once

#include <cstdint>
#include <functional>

// A source of milliseconds since an arbitrary start; must not go backwards.
using TickSource = std::function<uint64_t()>;

// Milliseconds of the current clock, wrapping at 2^32 like the platform's
// 32-bit tick count (about every 49.7 days).
uint32_t GetTickCount();
// The same without wrapping.
uint64_t GetTickCount64();

// Replaces the clock; an empty source restores the system's monotonic clock.
void SetTickClock(TickSource source);

// Installs a clock for the lifetime of the object and restores the previous
// one after.
class ScopedTickClock {
 public:
  explicit ScopedTickClock(TickSource source);
  ~ScopedTickClock();
  ScopedTickClock(const ScopedTickClock&) = delete;
  ScopedTickClock& operator=(const ScopedTickClock&) = delete;

 private:
  TickSource previous_;
};

// A clock that moves only when told to. Its Source() reads the live value,
// so the clock must outlive any ScopedTickClock or SetTickClock using it.
class TManualClock {
 public:
  explicit TManualClock(uint64_t start_ms = 0) : now_(start_ms) {}
  uint64_t Now() const { return now_; }
  void Advance(uint64_t ms) { now_ += ms; }
  void Set(uint64_t ms) { now_ = ms; }
  TickSource Source() {
    return [this] { return now_; };
  }

 private:
  uint64_t now_;
};

#include "toolkit/core/clock.h"

#include <chrono>
#include <utility>

namespace {

uint64_t SystemTicks() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TickSource& CurrentSource() {
  static TickSource source;
  return source;
}

}  // namespace

uint64_t GetTickCount64() {
  const TickSource& source = CurrentSource();
  return source ? source() : SystemTicks();
}

uint32_t GetTickCount() { return static_cast<uint32_t>(GetTickCount64()); }

void SetTickClock(TickSource source) { CurrentSource() = std::move(source); }

ScopedTickClock::ScopedTickClock(TickSource source) : previous_(std::move(CurrentSource())) {
  CurrentSource() = std::move(source);
}

ScopedTickClock::~ScopedTickClock() { CurrentSource() = std::move(previous_); }

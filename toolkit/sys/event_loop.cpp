#include "toolkit/sys/event_loop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <map>
#include <memory>

namespace {

// The schedule of every running timer, keyed by the timer. A handler may
// stop, restart or delete any timer (its own one too): the entry is looked up
// again after every handler.
class Scheduler {
 public:
  // A leaf service: timers may be freed by anything, up to the very end of the
  // process, so the schedule is never destroyed.
  static Scheduler& Get() {
    static auto* instance = new Scheduler();
    return *instance;
  }

  int Running() const { return static_cast<int>(entries_.size()); }
  void ReleaseWake() {
    assert(entries_.empty() && "a running timer outlived the event loop");
    wake_.reset();
  }

  void Schedule(TTimer* timer, unsigned interval) {
    auto& entry = entries_[timer];
    entry.due = GetTickCount64() + interval;
    entry.interval = interval;
    Rearm();
  }
  void Unschedule(TTimer* timer) {
    entries_.erase(timer);
    Rearm();
  }
  uint64_t DueOf(const TTimer* timer) const {
    auto it = entries_.find(const_cast<TTimer*>(timer));
    return it == entries_.end() ? 0 : it->second.due;
  }
  // The earliest due tick among the timers that may fire; 0 when none.
  uint64_t EarliestDue() const {
    uint64_t earliest = 0;
    for (const auto& [timer, entry] : entries_)
      if (!entry.firing && (earliest == 0 || entry.due < earliest)) earliest = entry.due;
    return earliest;
  }

  // Fires every timer that is due now, earliest first.
  void FireDue() {
    for (;;) {
      const uint64_t now = GetTickCount64();
      TTimer* next = nullptr;
      uint64_t next_due = 0;
      for (const auto& [timer, entry] : entries_) {
        if (entry.firing || entry.due > now) continue;
        if (!next || entry.due < next_due) {
          next = timer;
          next_due = entry.due;
        }
      }
      if (!next) break;
      Entry& entry = entries_[next];
      entry.due = now + entry.interval;
      entry.firing = true;
      Rearm();  // the other timers go on during nested loops of the handler
      // A copy: the handler may delete its own timer.
      const auto handler = next->OnTimer;
      if (handler) handler(next);
      auto it = entries_.find(next);
      if (it != entries_.end()) it->second.firing = false;
    }
    Rearm();
  }

 private:
  struct Entry {
    uint64_t due = 0;
    unsigned interval = 0;
    bool firing = false;
  };

  void Rearm() {
    const uint64_t due = EarliestDue();
    if (due == 0) {
      if (wake_) wake_->stop();
      return;
    }
    EnsureWake();
    const uint64_t now = GetTickCount64();
    const uint64_t wait = due > now ? due - now : 0;
    wake_->start(int(std::min<uint64_t>(wait, 24ULL * 3600 * 1000)));
  }

  void EnsureWake();

  std::map<TTimer*, Entry> entries_;
  std::unique_ptr<QTimer> wake_;
};

void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "kiv7";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  (void)app;
}

void Scheduler::EnsureWake() {
  if (wake_) return;
  EnsureApplication();
  wake_ = std::make_unique<QTimer>();
  wake_->setSingleShot(true);
  wake_->setTimerType(Qt::PreciseTimer);
  QObject::connect(wake_.get(), &QTimer::timeout, [this] { FireDue(); });
}

QEventLoop* g_main_loop = nullptr;

}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner) { Update(); }

TTimer::~TTimer() { Scheduler::Get().Unschedule(this); }

void TTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  Update();
}

void TTimer::SetInterval(unsigned value) {
  if (value == interval_) return;
  interval_ = value;
  Update();
}

uint64_t TTimer::DueTick() const { return Scheduler::Get().DueOf(this); }

void TTimer::Update() {
  if (enabled_ && interval_ > 0 && !ComponentState().Contains(csDesigning))
    Scheduler::Get().Schedule(this, interval_);
  else
    Scheduler::Get().Unschedule(this);
}

void ReleaseTimerWake() { Scheduler::Get().ReleaseWake(); }

int RunningTimerCount() { return Scheduler::Get().Running(); }

void ProcessMessages() {
  EnsureApplication();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  Scheduler::Get().FireDue();
}

bool RunEventLoopUntil(const std::function<bool()>& done, int max_wait_ms) {
  EnsureApplication();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(max_wait_ms);
  QEventLoop loop;
  QTimer guard;
  guard.setSingleShot(true);
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    guard.start(int(left.count()));  // wakes the wait below at the deadline
    loop.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  }
  return true;
}

int RunEventLoop() {
  EnsureApplication();
  QEventLoop loop;
  QEventLoop* outer = g_main_loop;
  g_main_loop = &loop;
  const int code = loop.exec();
  g_main_loop = outer;
  return code;
}

void QuitEventLoop(int code) {
  if (g_main_loop) g_main_loop->exit(code);
}

void AdvanceTimers(TManualClock& clock, uint64_t ms) {
  const uint64_t target = clock.Now() + ms;
  Scheduler& scheduler = Scheduler::Get();
  for (;;) {
    const uint64_t due = scheduler.EarliestDue();
    if (due == 0 || due > target) break;
    if (due > clock.Now()) clock.Set(due);
    scheduler.FireDue();
  }
  clock.Set(target);
}

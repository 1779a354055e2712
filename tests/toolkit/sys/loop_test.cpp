// TTimer and the event loop, on a manual clock and on the real one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/core/clock.h"
#include "toolkit/sys/event_loop.h"

namespace loop_test {

struct ManualTimers : ::testing::Test {
  TManualClock clock{1000};
  ScopedTickClock scoped{clock.Source()};
  std::vector<std::string> log;
  TTimer* Make(const std::string& name, unsigned interval, TComponent* owner = nullptr) {
    auto* t = new TTimer(owner);
    t->SetInterval(interval);
    t->OnTimer = [this, name](TComponent*) { log.push_back(name + "@" + std::to_string(clock.Now())); };
    return t;
  }
};

TEST_F(ManualTimers, FireEveryIntervalInOrderOfTheirDueTimes) {
  std::unique_ptr<TTimer> a(Make("a", 50));
  std::unique_ptr<TTimer> b(Make("b", 120));
  AdvanceTimers(clock, 250);
  EXPECT_EQ(log, (std::vector<std::string>{"a@1050", "a@1100", "b@1120", "a@1150", "a@1200", "b@1240", "a@1250"}));
  EXPECT_EQ(clock.Now(), 1250u);
}

TEST_F(ManualTimers, DisabledOrZeroIntervalNeverFires) {
  std::unique_ptr<TTimer> a(Make("a", 10));
  a->SetEnabled(false);
  std::unique_ptr<TTimer> b(Make("b", 0));
  AdvanceTimers(clock, 1000);
  EXPECT_TRUE(log.empty());
  a->SetEnabled(true);
  EXPECT_EQ(a->DueTick(), 2010u);
  AdvanceTimers(clock, 10);
  EXPECT_EQ(log, std::vector<std::string>{"a@2010"});
}

TEST_F(ManualTimers, ANewIntervalStartsANewPeriod) {
  std::unique_ptr<TTimer> a(Make("a", 100));
  AdvanceTimers(clock, 90);
  a->SetInterval(30);
  AdvanceTimers(clock, 30);
  EXPECT_EQ(log, std::vector<std::string>{"a@1120"});
}

TEST_F(ManualTimers, HandlersMayStopOrDeleteTimers) {
  TComponent owner(nullptr);
  TTimer* self = Make("self", 10, &owner);
  TTimer* other = Make("other", 15, &owner);
  self->OnTimer = [&](TComponent* sender) {
    EXPECT_EQ(sender, self);
    log.push_back("self");
    other->SetEnabled(false);
    delete self;  // its own timer, from inside its handler
  };
  AdvanceTimers(clock, 100);
  EXPECT_EQ(log, std::vector<std::string>{"self"});
  EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST_F(ManualTimers, AHandlerDoesNotRunInsideItself) {
  int depth = 0, max_depth = 0, calls = 0;
  TTimer t(nullptr);
  t.SetInterval(10);
  t.OnTimer = [&](TComponent*) {
    ++calls;
    max_depth = std::max(max_depth, ++depth);
    if (calls == 1) AdvanceTimers(clock, 50);  // a nested loop while the handler runs
    --depth;
  };
  AdvanceTimers(clock, 10);
  EXPECT_EQ(max_depth, 1);
}

TEST(RealTimers, TheLoopRunsTimersUntilDone) {
  TTimer t(nullptr);
  t.SetInterval(5);
  int ticks = 0;
  t.OnTimer = [&](TComponent*) { ++ticks; };
  EXPECT_TRUE(RunEventLoopUntil([&] { return ticks >= 3; }, 5000));
  t.SetEnabled(false);
  const int seen = ticks;
  EXPECT_FALSE(RunEventLoopUntil([] { return false; }, 30));
  EXPECT_EQ(ticks, seen);
}

TEST(RealTimers, QuitEndsTheLoopWithItsCode) {
  TTimer t(nullptr);
  t.SetInterval(5);
  t.OnTimer = [](TComponent*) { QuitEventLoop(7); };
  EXPECT_EQ(RunEventLoop(), 7);
  t.SetEnabled(false);
  ProcessMessages();  // nothing pending: returns at once
}

}  // namespace loop_test

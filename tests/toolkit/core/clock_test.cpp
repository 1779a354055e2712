#include "toolkit/core/clock.h"

#include <gtest/gtest.h>

namespace clock_test {

TEST(TickClock, ManualClockDrivesTheTicks) {
  TManualClock clock(1000);
  ScopedTickClock scope(clock.Source());
  EXPECT_EQ(GetTickCount(), 1000u);
  clock.Advance(50);
  EXPECT_EQ(GetTickCount(), 1050u);
  EXPECT_EQ(GetTickCount64(), 1050u);
}

TEST(TickClock, ThirtyTwoBitCountWraps) {
  TManualClock clock(0xFFFFFFF0ull);
  ScopedTickClock scope(clock.Source());
  const uint32_t before = GetTickCount();
  clock.Advance(0x20);
  EXPECT_EQ(GetTickCount(), 0x10u);
  EXPECT_EQ(GetTickCount64(), 0x100000010ull);
  // Elapsed time by unsigned difference survives the wrap, as callers rely on.
  EXPECT_EQ(GetTickCount() - before, 0x20u);
}

TEST(TickClock, ScopesRestoreTheClockBefore) {
  TManualClock outer(100);
  TManualClock inner(7);
  {
    ScopedTickClock a(outer.Source());
    {
      ScopedTickClock b(inner.Source());
      EXPECT_EQ(GetTickCount64(), 7u);
    }
    EXPECT_EQ(GetTickCount64(), 100u);
  }
  // Back on the system clock: far from the manual values and not going back.
  SetTickClock(outer.Source());
  EXPECT_EQ(GetTickCount64(), 100u);
  SetTickClock(nullptr);
  const uint64_t t1 = GetTickCount64();
  const uint64_t t2 = GetTickCount64();
  EXPECT_GE(t2, t1);
  outer.Set(t2 + 1000000);
  EXPECT_LT(GetTickCount64(), outer.Now());
}

}  // namespace clock_test

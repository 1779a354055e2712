// The press-and-hold tracker of editor sub-buttons: presses, moves and
// releases by mouse and key, and the repeat schedule tick by tick on a
// manual clock.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/rs_rtm.h"
#include "toolkit/core/clock.h"
#include "toolkit/sys/event_loop.h"

namespace rtm_switcher_test {

// Records every hook with the clock's time.
class RecordingSwitcher : public TvpSwitcher {
 public:
  RecordingSwitcher(TComponent* edit, TManualClock& clock, std::vector<std::string>& log)
      : TvpSwitcher(edit), clock_(clock), log_(log) {}
  ~RecordingSwitcher() override { Release(); }

  bool refuse = false;
  std::vector<uint64_t> clicks;  // times of the clicks

  bool CanSwitch(int part, int, TShiftState, int key, int) override {
    log_.push_back("can " + std::to_string(part) + " key " + std::to_string(key));
    return !refuse;
  }
  void PartChanged(int part) override {
    log_.push_back("changed " + std::to_string(part) + (Inside() ? " in" : " out"));
  }
  void Click(int part, int, int key, int) override {
    clicks.push_back(clock_.Now());
    log_.push_back("click " + std::to_string(part) + " key " + std::to_string(key));
  }

 private:
  TManualClock& clock_;
  std::vector<std::string>& log_;
};

struct Switcher : ::testing::Test {
  TManualClock clock{0};
  ScopedTickClock scoped{clock.Source()};
  std::vector<std::string> log;
  RecordingSwitcher sw{nullptr, clock, log};
  const TRect button = Rect(100, 0, 116, 20);
};

TEST(SwitcherSchedule, RepeatTicksFollowTheThreeRates) {
  // Tick n comes (n + 1) * 30 ms after the press.
  const struct {
    int tick;
    bool repeats;
  } cases[] = {
      {0, false}, {8, false}, {9, true},   {10, false}, {11, false}, {12, true},  {24, true},
      {25, false}, {26, true}, {27, false}, {28, true}, {66, true},  {67, true},  {68, true},
      {69, true}, {500, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tick);
    EXPECT_EQ(SwitcherRepeatsAt(c.tick), c.repeats);
  }
}

TEST_F(Switcher, HeldSpinButtonClicksAtPressThenAfterAboutAThirdOfASecond) {
  sw.MouseDown(1, 105, 5, button, {}, true, true);
  EXPECT_TRUE(sw.Active());
  EXPECT_TRUE(sw.Inside());
  EXPECT_TRUE(sw.Repeating());
  EXPECT_EQ(TvpSwitcher::RepeatingSwitcher(), &sw);
  AdvanceTimers(clock, 2200);
  std::vector<uint64_t> expected{0};
  for (uint64_t t = 300; t <= 750; t += 90) expected.push_back(t);   // 300 .. 750
  for (uint64_t t = 810; t <= 2010; t += 60) expected.push_back(t);  // 810 .. 2010
  for (uint64_t t = 2040; t <= 2200; t += 30) expected.push_back(t);
  EXPECT_EQ(sw.clicks, expected);
  sw.MouseUp(105, 5);
  EXPECT_FALSE(sw.Active());
  EXPECT_EQ(TvpSwitcher::RepeatingSwitcher(), nullptr);
  size_t clicks = sw.clicks.size();
  AdvanceTimers(clock, 300);
  EXPECT_EQ(sw.clicks.size(), clicks) << "no click at the release after a click at the press, nor after";
}

TEST_F(Switcher, MovingOffTheButtonPausesTheRepeats) {
  sw.MouseDown(1, 105, 5, button, {}, true, true);
  AdvanceTimers(clock, 240);  // ticks 0..7
  sw.MouseMove(200, 5);       // off the button
  EXPECT_FALSE(sw.Inside());
  AdvanceTimers(clock, 600);  // no ticks counted while outside
  EXPECT_EQ(sw.TickCount(), 8);
  sw.MouseMove(110, 10);      // back at t = 840
  AdvanceTimers(clock, 60);   // ticks 8, 9: the first repeat comes at tick 9
  EXPECT_EQ(sw.clicks, (std::vector<uint64_t>{0, 900}));
  EXPECT_EQ(log, (std::vector<std::string>{"can 1 key 0", "changed 1 in", "click 1 key 0", "changed 1 out",
                                           "changed 1 in", "click 1 key 0"}));
}

TEST_F(Switcher, MouseReleaseClicksOnlyInsideAndWithoutClickOnPress) {
  const struct {
    const char* what;
    bool click_on_press;
    int up_x;
    std::vector<std::string> log;
  } cases[] = {
      {"release inside", false, 110,
       {"can 2 key 0", "changed 2 in", "changed 2 out", "click 2 key 0"}},
      {"release outside", false, 300, {"can 2 key 0", "changed 2 in", "changed 2 out"}},
      {"clicked at the press", true, 110,
       {"can 2 key 0", "changed 2 in", "click 2 key 0", "changed 2 out"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    log.clear();
    sw.MouseDown(2, 105, 5, button, {}, false, c.click_on_press);
    EXPECT_FALSE(sw.Repeating());
    sw.MouseUp(c.up_x, 5);
    EXPECT_EQ(log, c.log);
    EXPECT_FALSE(sw.Active());
    EXPECT_EQ(sw.Part(), -1);
    EXPECT_FALSE(sw.ClickedOnPress());
  }
}

TEST_F(Switcher, PressOutsideThePartOrRefusedDoesNothingVisible) {
  sw.MouseDown(1, 50, 5, button, {}, false, true);
  EXPECT_TRUE(sw.Active());
  EXPECT_FALSE(sw.Inside());
  EXPECT_TRUE(sw.clicks.empty());
  sw.MouseUp(50, 5);
  EXPECT_TRUE(sw.clicks.empty());

  sw.refuse = true;
  sw.MouseDown(1, 105, 5, button, {}, true, true);
  EXPECT_FALSE(sw.Active());
  EXPECT_FALSE(sw.Repeating());
  EXPECT_EQ(TvpSwitcher::RepeatingSwitcher(), nullptr);
}

TEST_F(Switcher, KeyHoldClicksOnceAtTheKeysRelease) {
  const int vk_down = 0x28;
  sw.KeyDown(1, vk_down, {});
  sw.KeyDown(1, vk_down, {});  // keyboard auto-repeat: ignored
  EXPECT_EQ(sw.Key(), vk_down);
  EXPECT_TRUE(sw.Inside());
  sw.MouseMove(500, 500);  // the mouse does not move a key press
  sw.MouseUp(500, 500);
  EXPECT_TRUE(sw.Active());
  sw.KeyUp(0x26);  // another key
  EXPECT_TRUE(sw.Active());
  sw.KeyUp(vk_down);
  EXPECT_FALSE(sw.Active());
  EXPECT_EQ(sw.Key(), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"can 1 key 40", "changed 1 in", "changed 1 out", "click 1 key 40"}));
}

TEST_F(Switcher, ANewPressReleasesTheOldOne) {
  sw.MouseDown(1, 105, 5, button, {}, true, false);
  sw.KeyDown(2, 0x20, {});
  EXPECT_EQ(sw.Part(), 2);
  EXPECT_FALSE(sw.Repeating());
  EXPECT_EQ(TvpSwitcher::RepeatingSwitcher(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"can 1 key 0", "changed 1 in", "changed 1 out", "can 2 key 32",
                                           "changed 2 in"}));
}

TEST_F(Switcher, OnlyOneSwitcherRepeatsAtATime) {
  std::vector<std::string> other_log;
  RecordingSwitcher other{nullptr, clock, other_log};
  sw.MouseDown(1, 105, 5, button, {}, true, false);
  other.MouseDown(1, 105, 5, button, {}, true, false);
  EXPECT_EQ(TvpSwitcher::RepeatingSwitcher(), &other);
  AdvanceTimers(clock, 300);
  EXPECT_TRUE(sw.clicks.empty()) << "the first switcher's timer stopped";
  EXPECT_EQ(other.clicks, (std::vector<uint64_t>{300}));
}

TEST_F(Switcher, DestroyingReleasesUnlessTheEditIsGoing) {
  {
    RecordingSwitcher temp{nullptr, clock, log};
    temp.MouseDown(1, 105, 5, button, {}, true, false);
    EXPECT_EQ(TvpSwitcher::RepeatingSwitcher(), &temp);
  }
  EXPECT_EQ(TvpSwitcher::RepeatingSwitcher(), nullptr);
  AdvanceTimers(clock, 400);  // nothing left to fire on

  // A plain switcher on an edit that is being destroyed keeps its state
  // (the edit repaints nothing any more) but never stays the repeating one.
  TComponent edit(nullptr);
  auto* plain = new TvpSwitcher(&edit);
  plain->MouseDown(1, 105, 5, button, {}, true, false);
  edit.Destroying();
  delete plain;
  EXPECT_EQ(TvpSwitcher::RepeatingSwitcher(), nullptr);
  AdvanceTimers(clock, 400);
}

}  // namespace rtm_switcher_test

#include "toolkit/core/units.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace units_test {

// What the units' finalizers did, in order.
std::vector<std::string> g_freed;

const char kBase = 0;
const char kMiddle = 0;
const char kTop = 0;
void FreeBase() { g_freed.push_back("base"); }
void FreeMiddle() { g_freed.push_back("middle"); }
void FreeTop() { g_freed.push_back("top"); }

// Made in the order a library would make them: each after what it stands on.
void MakeAll() {
  RegisterUnit(&kBase, "base", FreeBase);
  RegisterUnit(&kMiddle, "middle", FreeMiddle);
  RegisterUnit(&kTop, "top", FreeTop);
}

struct Units : ::testing::Test {
  void SetUp() override {
    FinalizeUnits();
    g_freed.clear();
  }
  void TearDown() override { FinalizeUnits(); }
};

TEST_F(Units, ShutDownFreesTheNewestFirst) {
  MakeAll();
  RegisterUnit(&kBase, "base", FreeBase);  // made again: keeps its first place
  FinalizeUnits();
  EXPECT_EQ(g_freed, (std::vector<std::string>{"top", "middle", "base"}));
  EXPECT_TRUE(RegisteredUnits().empty());
}

TEST_F(Units, FreeingAUnitFreesWhatWasMadeAfterItFirstAndLeavesTheRest) {
  const struct {
    const char* what;
    const char* unit;
    std::vector<std::string> freed;
    std::vector<std::string> left;
  } cases[] = {
      {"the base", &kBase, {"top", "middle", "base"}, {}},
      {"the middle", &kMiddle, {"top", "middle"}, {"base"}},
      {"the newest", &kTop, {"top"}, {"base", "middle"}},
  };
  for (const auto& c : cases) {
    FinalizeUnits();
    MakeAll();
    g_freed.clear();
    FinalizeUnit(c.unit);
    EXPECT_EQ(g_freed, c.freed) << c.what;
    std::vector<std::string> left;
    for (const char* name : RegisteredUnits()) left.push_back(name);
    EXPECT_EQ(left, c.left) << c.what;
  }
}

TEST_F(Units, AUnitFreedTwiceOrNeverMadeIsNotFreedAgain) {
  RegisterUnit(&kBase, "base", FreeBase);
  FinalizeUnit(&kBase);
  FinalizeUnit(&kBase);
  FinalizeUnit(&kTop);
  EXPECT_EQ(g_freed, (std::vector<std::string>{"base"}));
}

// A unit whose objects free another unit they hold: the walk goes on with what
// is left and frees nothing twice.
const char kHolder = 0;
void FreeHolder() {
  g_freed.push_back("holder");
  FinalizeUnit(&kBase);
}

TEST_F(Units, AFinalizerMayFreeTheUnitsItHolds) {
  RegisterUnit(&kBase, "base", FreeBase);
  RegisterUnit(&kMiddle, "middle", FreeMiddle);
  RegisterUnit(&kHolder, "holder", FreeHolder);
  FinalizeUnits();
  EXPECT_EQ(g_freed, (std::vector<std::string>{"holder", "middle", "base"}));
}

#ifndef NDEBUG
const char kMaker = 0;
bool g_make_again = true;
void FreeAndMakeAgain() {
  if (g_make_again) RegisterUnit(&kBase, "base", FreeBase);
}

TEST_F(Units, AUnitMadeWhileTheUnitsAreFreedIsCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  RegisterUnit(&kMaker, "maker", FreeAndMakeAgain);
  EXPECT_DEATH(FinalizeUnits(), "made its objects while the units were being freed");
  // Only the child died; here the unit is still recorded.
  g_make_again = false;
}
#endif

// One object a unit keeps, counted while alive.
struct Counted {
  Counted() { ++alive; }
  ~Counted() { --alive; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  int value = 0;
  static inline int alive = 0;
};
using CountedUnit = TUnitObject<Counted>;

std::vector<std::string> Names(const std::vector<const char*>& units) { return {units.begin(), units.end()}; }

// A unit's object is made on first use, recorded in that order, and freed by
// the shut-down after what was made later; the next use makes it anew.
TEST_F(Units, AUnitsObjectIsMadeOnFirstUseAndFreedInOrder) {
  EXPECT_EQ(CountedUnit::IfMade(), nullptr);
  CountedUnit::Get("counted").value = 3;
  EXPECT_EQ(&CountedUnit::Get("counted"), CountedUnit::IfMade());
  EXPECT_EQ(Counted::alive, 1);
  RegisterUnit(&kTop, "top", FreeTop);
  EXPECT_EQ(Names(RegisteredUnits()), (std::vector<std::string>{"counted", "top"}));
  CountedUnit::Free();
  EXPECT_EQ(g_freed, (std::vector<std::string>{"top"}));
  EXPECT_EQ(Counted::alive, 0);
  EXPECT_EQ(CountedUnit::IfMade(), nullptr);
  EXPECT_EQ(CountedUnit::Get("counted").value, 0);
  FinalizeUnits();
  EXPECT_EQ(Counted::alive, 0);
  EXPECT_TRUE(RegisteredUnits().empty());
}

}  // namespace units_test

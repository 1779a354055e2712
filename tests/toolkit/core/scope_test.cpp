#include "toolkit/core/scope.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "toolkit/core/classes.h"
#include "toolkit/core/component.h"
#include "toolkit/core/exceptions.h"

namespace scope_test {

// Something with an update mode that logs its calls; its EndUpdate raises
// when told to.
struct TUpdatable {
  int count = 0;
  std::string log;
  bool end_raises = false;
  void BeginUpdate() {
    ++count;
    log += "B";
  }
  void EndUpdate() {
    --count;
    log += "E";
    if (end_raises) throw std::runtime_error("end");
  }
};

// How a guarded body leaves its scope.
enum class TWayOut { End, Return, Raise };

void Leave(TWayOut way, std::string& log) {
  log += "b";
  if (way == TWayOut::Raise) throw std::runtime_error("body");
  if (way == TWayOut::Return) return;
  log += "e";
}

// Runs body and names the error that came out of it ("" for none).
std::string ErrorOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

struct TUpdateCase {
  const char* name;
  TWayOut way;
  bool end_raises;
  const char* error;  // what the caller hears of
  const char* log;
};

TEST(Scopes, UpdateModeEndsOnEveryWayOut) {
  const TUpdateCase cases[] = {
      {"end", TWayOut::End, false, "", "BbeE"},
      {"return", TWayOut::Return, false, "", "BbE"},
      {"exception", TWayOut::Raise, false, "body", "BbE"},
      // The leaving call's own error reaches the caller on a normal end...
      {"end raising", TWayOut::End, true, "end", "BbeE"},
      // ...but the error that is already unwinding the scope wins.
      {"both raise", TWayOut::Raise, true, "body", "BbE"},
  };
  for (const TUpdateCase& c : cases) {
    SCOPED_TRACE(c.name);
    TUpdatable target;
    target.end_raises = c.end_raises;
    EXPECT_EQ(ErrorOf([&] {
                TUpdateScope update(target);
                Leave(c.way, target.log);
              }),
              c.error);
    EXPECT_EQ(target.count, 0);
    EXPECT_EQ(target.log, c.log);
  }
}

TEST(Scopes, NestedUpdatesEndInnerFirst) {
  for (const TWayOut way : {TWayOut::End, TWayOut::Raise}) {
    TUpdatable outer, inner;
    std::string order, body;
    ErrorOf([&] {
      TScopeExit outer_done([&] { order += "outer "; });
      TUpdateScope a(outer);
      TScopeExit inner_done([&] { order += "inner "; });
      TUpdateScope b(inner);
      EXPECT_EQ(outer.count, 1);
      EXPECT_EQ(inner.count, 1);
      Leave(way, body);
    });
    EXPECT_EQ(outer.count, 0);
    EXPECT_EQ(inner.count, 0);
    EXPECT_EQ(order, "inner outer ");
  }
}

struct TCleanupCase {
  const char* name;
  TWayOut way;
  bool fail_runs;  // TScopeFail; TScopeExit runs always
};

TEST(Scopes, CleanUpAndUndoRunWhenTheyShould) {
  const TCleanupCase cases[] = {
      {"end", TWayOut::End, false},
      {"return", TWayOut::Return, false},
      {"exception", TWayOut::Raise, true},
  };
  for (const TCleanupCase& c : cases) {
    SCOPED_TRACE(c.name);
    bool exit_ran = false, fail_ran = false;
    std::string log;
    ErrorOf([&] {
      TScopeFail undo([&] { fail_ran = true; });
      TScopeExit cleanup([&] { exit_ran = true; });
      Leave(c.way, log);
    });
    EXPECT_TRUE(exit_ran);
    EXPECT_EQ(fail_ran, c.fail_runs);
  }
}

TEST(Scopes, AnUndoThatRaisesLeavesTheFirstError) {
  bool after = false;
  EXPECT_EQ(ErrorOf([&] {
              TScopeFail later([&] { after = true; });
              TScopeFail undo([] { throw std::runtime_error("undo"); });
              throw std::runtime_error("work");
            }),
            "work");
  // The undo's error did not stop the undo made before it.
  EXPECT_TRUE(after);
}

TEST(Scopes, AGuardMadeWhileUnwindingStillTellsItsOwnError) {
  // A clean-up that runs while an error unwinds may hold guards of its own:
  // they see only what happens inside it.
  std::string inner;
  EXPECT_EQ(ErrorOf([&] {
              TScopeFail undo([&] {
                inner = ErrorOf([] {
                  TScopeExit step([] { throw std::runtime_error("step"); });
                });
              });
              throw std::runtime_error("work");
            }),
            "work");
  EXPECT_EQ(inner, "step");
}

struct TValueCase {
  const char* name;
  TWayOut way;
  bool leave_with;  // the three-argument form
  int after;
};

TEST(Scopes, ScopedValueGivesBackOrLeaves) {
  const TValueCase cases[] = {
      {"restore, end", TWayOut::End, false, 1},
      {"restore, exception", TWayOut::Raise, false, 1},
      {"leave with, end", TWayOut::End, true, 9},
      {"leave with, exception", TWayOut::Raise, true, 9},
  };
  for (const TValueCase& c : cases) {
    SCOPED_TRACE(c.name);
    int variable = 1;
    std::string log;
    ErrorOf([&] {
      if (c.leave_with) {
        TScopedValue<int> v(variable, 5, 9);
        EXPECT_EQ(variable, 5);
        Leave(c.way, log);
      } else {
        TScopedValue<int> v(variable, 5);
        EXPECT_EQ(variable, 5);
        TScopedValue<int> nested(variable, 7);
        EXPECT_EQ(variable, 7);
        Leave(c.way, log);
      }
    });
    EXPECT_EQ(variable, c.after);
  }
}

TEST(Scopes, StringValueComesBackWhole) {
  AnsiString path = "Columns.";
  EXPECT_EQ(ErrorOf([&] {
              TScopedValue<AnsiString> scoped(path, path + "Font.");
              EXPECT_EQ(path, "Columns.Font.");
              throw std::runtime_error("write");
            }),
            "write");
  EXPECT_EQ(path, "Columns.");
}

// The toolkit's own update modes, left by an exception raised inside them.
TEST(Scopes, ToolkitUpdateModesEndWhenTheWorkFails) {
  int made = 0;
  TCollection collection([&](TCollection* owner) -> TCollectionItem* {
    if (++made > 2) throw EInvalidOperation("no more items");
    return new TCollectionItem(owner);
  });
  collection.Add();
  TCollection source([](TCollection* owner) { return new TCollectionItem(owner); });
  for (int i = 0; i < 3; ++i) source.Add();
  // Assign clears and adds inside its own update; a plain item cannot take
  // another's values, so the first copy fails.
  EXPECT_THROW(collection.Assign(&source), EConvertError);
  EXPECT_EQ(collection.UpdateCount(), 0);
  // Adding outside an update is possible again until the factory gives up.
  EXPECT_THROW(collection.Add(), EInvalidOperation);
  EXPECT_EQ(collection.UpdateCount(), 0);

  TStringList list;
  int changes = 0;
  list.OnChange = [&](TStringList*) { ++changes; };
  EXPECT_EQ(ErrorOf([&] {
              TUpdateScope update(list);
              list.Add("a");
              list.Add("b");
              EXPECT_EQ(changes, 0);
              throw std::runtime_error("stop");
            }),
            "stop");
  EXPECT_EQ(list.UpdateCount(), 0);
  // The change held back is told as the update ends, and later ones at once.
  EXPECT_EQ(changes, 1);
  list.Add("c");
  EXPECT_EQ(changes, 2);
}

}  // namespace scope_test

// The grid's keys, sent as real key events: moves between records and
// columns, selections extended with Shift, lines of a stacked group, and the
// record appended past the last one.
#include <gtest/gtest.h>

#include <vector>

#include "tests/grid/interact_support.h"

namespace interact_keys_test {

using interact::ShownGrid;

struct KeyCase {
  const char* name;
  int start;  // N to start from
  Qt::Key key;
  Qt::KeyboardModifiers mods;
  int expected_n;  // -1: computed from the window (see below)
};

TEST(GridKeys, MovesTheCurrentRecord) {
  ShownGrid g(50);
  const int rows = g.grid->RowCount();
  ASSERT_GT(rows, 3);
  const KeyCase cases[] = {
      {"Down", 1, Qt::Key_Down, Qt::NoModifier, 2},
      {"Up", 5, Qt::Key_Up, Qt::NoModifier, 4},
      {"Up at the first record", 1, Qt::Key_Up, Qt::NoModifier, 1},
      {"Ctrl+End", 1, Qt::Key_End, Qt::ControlModifier, 50},
      {"Ctrl+Home", 30, Qt::Key_Home, Qt::ControlModifier, 1},
      {"Down at the last record (no appends)", 50, Qt::Key_Down, Qt::NoModifier, 50},
      // PgDn: RowCount - 1 records after the last row shown.
      {"PgDown", 1, Qt::Key_PageDown, Qt::NoModifier, 2 * rows - 1},
      {"Ctrl+PgDown: last row of the window", 1, Qt::Key_PageDown, Qt::ControlModifier, rows},
  };
  g.grid->SetOptionsEdit(TgpGridEditOptions{geoNoAppends});
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.name);
    g.ds.GoFirst();
    g.ds.Skip(c.start - 1);
    g.Key(c.key, c.mods);
    EXPECT_EQ(g.N(), c.expected_n);
    EXPECT_EQ(g.ds.CursorRecordCount(), 50);
  }
}

TEST(GridKeys, PageUpGoesAWindowBack) {
  ShownGrid g(60);
  const int rows = g.grid->RowCount();
  g.Key(Qt::Key_End, Qt::ControlModifier);
  ASSERT_EQ(g.N(), 60);
  const int first = g.FirstShown();
  g.Key(Qt::Key_PageUp);
  EXPECT_EQ(g.N(), first - (rows - 1));
  g.Key(Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(g.N(), g.FirstShown());
}

TEST(GridKeys, MovesBetweenColumns) {
  ShownGrid g(5);
  g.grid->SelectColumn(0);
  g.Key(Qt::Key_Right);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 1);
  g.Key(Qt::Key_Right);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 1) << "no column after the last";
  g.Key(Qt::Key_Home);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 0);
  g.Key(Qt::Key_End);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 1);
  g.Key(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 0);
  // Tab from the last column goes to the next record's first column.
  g.grid->SelectColumn(1);
  g.Key(Qt::Key_Tab);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 0);
  EXPECT_EQ(g.N(), 2);
  g.Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 1);
  EXPECT_EQ(g.N(), 1);
}

TEST(GridKeys, ShiftExtendsAndShrinksTheSelection) {
  ShownGrid g(30);
  g.grid->SetMultiSelect(true);
  g.ds.Skip(4);  // N = 5
  g.Key(Qt::Key_Down, Qt::ShiftModifier);
  g.Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(g.Selected(), (std::vector<int>{5, 6, 7}));
  g.Key(Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(g.Selected(), (std::vector<int>{5, 6}));
  g.Key(Qt::Key_Up, Qt::ShiftModifier);
  g.Key(Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(g.Selected(), (std::vector<int>{4, 5})) << "past the anchor the range grows upwards";
  g.Key(Qt::Key_Down);
  EXPECT_TRUE(g.Selected().empty()) << "a plain move clears the selection";
  EXPECT_EQ(g.N(), 5);
}

TEST(GridKeys, ShiftCtrlEndSelectsToTheLastRecord) {
  ShownGrid g(40);
  g.grid->SetMultiSelect(true);
  g.ds.Skip(34);  // N = 35
  g.Key(Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(g.N(), 40);
  EXPECT_EQ(g.Selected(), (std::vector<int>{35, 36, 37, 38, 39, 40}));
  g.Key(Qt::Key_Home, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(g.N(), 1);
  EXPECT_EQ(g.grid->Selection()->ExplicitCount(), 40);
}

// Whole-range selections by key, and what the next key makes of them: the
// records selected, where the cursor stands, the record the next Shift move
// extends from, and how many selection changes the grid reported per key.
TEST(GridKeys, RangeSelectionsByKeyAndTheKeyAfter) {
  struct Step {
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    std::vector<int> selected;  // N, ascending
    int n;
    int changes;
  };
  struct Case {
    const char* name;
    int start;
    std::vector<Step> steps;
  };
  const auto shift_ctrl = Qt::ShiftModifier | Qt::ControlModifier;
  const std::vector<int> all = [] {
    std::vector<int> v;
    for (int n = 1; n <= 40; ++n) v.push_back(n);
    return v;
  }();
  const Case cases[] = {
      {"to the end, then a plain Up clears",
       35,
       {{Qt::Key_End, shift_ctrl, {35, 36, 37, 38, 39, 40}, 40, 1}, {Qt::Key_Up, Qt::NoModifier, {}, 39, 1}}},
      {"to the start, then a plain Down clears",
       4,
       {{Qt::Key_Home, shift_ctrl, {1, 2, 3, 4}, 1, 1}, {Qt::Key_Down, Qt::NoModifier, {}, 2, 1}}},
      {"from the last record to the end selects it alone; Ctrl+Home keeps it",
       40,
       {{Qt::Key_End, shift_ctrl, {40}, 40, 1}, {Qt::Key_Home, Qt::ControlModifier, {40}, 1, 1}}},
      {"to the end and back to the start selects everything",
       38,
       {{Qt::Key_End, shift_ctrl, {38, 39, 40}, 40, 1}, {Qt::Key_Home, shift_ctrl, all, 1, 1}}},
      {"Shift+Down then to the end keeps one snapshot per record",
       36,
       {{Qt::Key_Down, Qt::ShiftModifier, {36, 37}, 37, 1},
        {Qt::Key_End, shift_ctrl, {36, 37, 38, 39, 40}, 40, 1},
        {Qt::Key_Up, Qt::ShiftModifier, {36, 37, 38, 39}, 39, 1}}},
      {"to the end, then Shift+Up shrinks from the end",
       37,
       {{Qt::Key_End, shift_ctrl, {37, 38, 39, 40}, 40, 1},
        {Qt::Key_Up, Qt::ShiftModifier, {37, 38, 39}, 39, 1},
        {Qt::Key_Up, Qt::NoModifier, {}, 38, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShownGrid g(40);
    g.grid->SetMultiSelect(true);
    g.grid->SetOptionsEdit(TgpGridEditOptions{geoNoAppends});
    int changes = 0;
    g.grid->OnSelectionChange = [&changes](TComponent*) { ++changes; };
    g.ds.Skip(c.start - 1);
    ASSERT_EQ(g.N(), c.start);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const Step& s = c.steps[i];
      SCOPED_TRACE(i);
      changes = 0;
      g.Key(s.key, s.mods);
      EXPECT_EQ(g.Selected(), s.selected);
      EXPECT_EQ(g.N(), s.n);
      EXPECT_EQ(changes, s.changes);
      // With nothing selected the current record stands for the selection.
      EXPECT_EQ(g.grid->Selection()->Count(), s.selected.empty() ? 1 : static_cast<int>(s.selected.size()));
    }
  }
}

TEST(GridKeys, WithoutMultiSelectShiftSelectsNothing) {
  ShownGrid g(10);
  g.Key(Qt::Key_Down, Qt::ShiftModifier);
  g.Key(Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(g.N(), 10);
  EXPECT_TRUE(g.grid->Selection()->Empty());
}

TEST(GridKeys, DownWalksTheLinesOfAStackedGroup) {
  ShownGrid g(5, 300, 300);
  TgpColumns& columns = *g.grid->Columns();
  // P under N: one group of two lines.
  columns.MoveColumn(columns.Items(1), columns.Items(0)->Group(), 1, 0);
  ASSERT_EQ(columns.GroupCount(), 1);
  g.grid->SelectColumn(0);
  g.Key(Qt::Key_Down);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 1);
  EXPECT_EQ(g.N(), 1) << "line 0 to line 1 of the same record";
  g.Key(Qt::Key_Down);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 0);
  EXPECT_EQ(g.N(), 2) << "the last line to the next record's line 0";
  g.Key(Qt::Key_Up);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 1);
  EXPECT_EQ(g.N(), 1);
}

TEST(GridKeys, DownPastTheLastRecordAppendsUnlessForbidden) {
  for (bool forbidden : {false, true}) {
    SCOPED_TRACE(forbidden ? "geoNoAppends" : "appends allowed");
    ShownGrid g(3);
    if (forbidden) g.grid->SetOptionsEdit(TgpGridEditOptions{geoNoAppends});
    g.Key(Qt::Key_End, Qt::ControlModifier);
    g.Key(Qt::Key_Down);
    EXPECT_EQ(g.ds.CurrentMode(), forbidden ? dsBrowse : dsInsert);
    if (!forbidden) g.ds.DiscardChanges();
    EXPECT_EQ(g.ds.CursorRecordCount(), 3);
  }
}

}  // namespace interact_keys_test

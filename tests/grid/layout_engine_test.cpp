// The layout engine: groups and lines from the columns' layout positions,
// widths, the proportional scaler, fitting to the client width, fixed groups
// and the window of scrollable groups, and moving columns and groups.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "grid/rs.h"
#include "grid/rs_str.h"
#include "tests/grid/layout_test_host.h"

namespace layout_engine_test {

using Ints = std::vector<int>;
using Names = std::vector<std::string>;
using Positions = std::vector<std::pair<int, int>>;

// ---- The scaler ---------------------------------------------------------------------------

struct ScaleItem {
  int size;
  bool fixed = false;
  int min = 2;
  int max = 0x0FFFFFFF;
};

struct ScaleCase {
  const char* what;
  std::vector<ScaleItem> items;
  int value;
  int index;
  Ints expected;
};

TEST(ScaleableItems, SpreadsInProportionWithinLimits) {
  const std::vector<ScaleCase> cases = {
      {"whole set doubled in proportion", {{100}, {50}, {50}}, 300, -1, {150, 75, 75}},
      {"whole set halved", {{100}, {50}, {50}}, 100, -1, {50, 25, 25}},
      {"a fixed item keeps its size", {{100, true}, {50}, {50}}, 300, -1, {100, 100, 100}},
      {"a clamped item passes the rest on", {{100}, {50, false, 2, 60}, {50}}, 300, -1, {160, 60, 80}},
      {"minimums hold when shrinking", {{100, false, 90}, {50}, {50}}, 100, -1, {90, 6, 6}},
      {"one pixel left over goes to the first item", {{10}, {10}, {10}, {10}}, 41, -1, {11, 10, 10, 10}},
      {"a pixel too few to share among three stays unshared", {{10}, {10}, {10}}, 31, -1, {10, 10, 10}},
      {"the item at the index takes its value, those after it absorb", {{100}, {100}, {100}}, 150, 0, {150, 75, 75}},
      {"those before absorb what those after cannot", {{100}, {100}, {100, true}}, 150, 1, {50, 150, 100}},
      {"what nobody absorbs stays with the item", {{100, true}, {100}, {100, true}}, 150, 1, {100, 100, 100}},
      // Items that sum to 0 share equally instead of dividing by their sum.
      {"a set of empty items shares equally", {{0, false, 0}, {0, false, 0}, {0, false, 0}}, 30, -1, {10, 10, 10}},
      {"empty items after the index share what the item gave up", {{50}, {0, false, 0}, {0, false, 0}}, 20, 0, {20, 15, 15}},
  };
  for (const ScaleCase& c : cases) {
    TScaleableItems items;
    for (const ScaleItem& i : c.items) items.Add(i.size, i.fixed, i.min, i.max);
    items.Scale(c.value, c.index);
    Ints sizes;
    for (int i = 0; i < items.Count(); ++i) sizes.push_back(items.Item(i)->Size);
    EXPECT_EQ(sizes, c.expected) << c.what;
  }
}

TEST(ScaleableItems, SetItemSizeClampsAndMarks) {
  TScaleableItems items;
  TScaleableItem* item = items.Add(10, false, 5, 20);
  EXPECT_TRUE(TScaleableItems::SetItemSize(item, 20));
  EXPECT_FALSE(item->Clamped);
  EXPECT_FALSE(TScaleableItems::SetItemSize(item, 25));
  EXPECT_TRUE(item->Clamped);
  EXPECT_EQ(item->Size, 20);
  EXPECT_FALSE(TScaleableItems::SetItemSize(item, 1));
  EXPECT_EQ(item->Size, 5);
  TScaleableItem* fixed = items.Add(30, true, 2, 100);
  EXPECT_EQ(fixed->Min, 30);
  EXPECT_EQ(fixed->Max, 30);
}

// ---- Groups and lines ------------------------------------------------------------------------

struct Col {
  const char* field;
  int level;
  int index;
  int width = 40;
  bool visible = true;
};

struct GroupCase {
  const char* what;
  std::vector<Col> columns;
  // Per column: group index (-1 without), LineNo, LinePos.
  Ints groups;
  Ints lines;
  Ints positions;
  // Per group: first and last column, line count, width.
  std::vector<Ints> group_records;
};

void Fill(LayoutHost& host, const std::vector<Col>& columns) {
  for (const Col& c : columns) host.Add(c.field, c.level, c.index, c.width, c.visible);
}

TEST(LayoutGroups, ColumnsFormGroupsAndLines) {
  const std::vector<GroupCase> cases = {
      {"(0,0) (0,1) (0,0): the second continues the first's line, the third starts a group",
       {{"A", 0, 0}, {"B", 0, 1}, {"C", 0, 0}},
       {0, 0, 1},
       {0, 0, 0},
       {0, 1, 0},
       {{0, 1, 1, 80}, {2, 2, 1, 40}}},
      {"(1,0) after (0,0) opens line 1 of the same group",
       {{"A", 0, 0}, {"B", 1, 0}},
       {0, 0},
       {0, 1},
       {0, 0},
       {{0, 1, 2, 40}}},
      {"three stacked lines: the group is as wide as its widest line",
       {{"A1", 0, 0, 60}, {"A2", 1, 0, 40}, {"A3", 2, 0, 50}},
       {0, 0, 0},
       {0, 1, 2},
       {0, 0, 0},
       {{0, 2, 3, 60}}},
      {"a hidden column has no line; a group of hidden columns is no group",
       {{"A", 0, 0}, {"B", 0, 1, 40, false}, {"C", 0, 0, 40, false}, {"D", 0, 0}},
       {0, 0, -1, 1},
       {0, -1, -1, 0},
       {0, -1, -1, 0},
       {{0, 1, 1, 40}, {3, 3, 1, 40}}},
      {"a hidden column between two levels joins nothing",
       {{"A", 0, 0}, {"B", 1, 0, 40, false}, {"C", 1, 1}},
       {0, 0, 0},
       {0, -1, 1},
       {0, -1, 0},
       {{0, 2, 2, 40}}},
  };
  for (const GroupCase& c : cases) {
    LayoutHost host;
    Fill(host, c.columns);
    TgpColumns& cols = host.Columns;
    Ints groups, lines, positions;
    for (int i = 0; i < cols.Count(); ++i) {
      groups.push_back(cols.Items(i)->Group() ? cols.Items(i)->Group()->Index : -1);
      lines.push_back(cols.Items(i)->LineNo());
      positions.push_back(cols.Items(i)->LinePos());
    }
    EXPECT_EQ(groups, c.groups) << c.what;
    EXPECT_EQ(lines, c.lines) << c.what;
    EXPECT_EQ(positions, c.positions) << c.what;
    std::vector<Ints> records;
    for (int g = 0; g < cols.GroupCount(); ++g) {
      const TgpGroupInfo* info = cols.Groups(g);
      records.push_back({info->FirstColumn, info->LastColumn, info->LineCount, info->Width});
    }
    EXPECT_EQ(records, c.group_records) << c.what;
  }
}

TEST(LayoutGroups, NeighboursAndOffsets) {
  LayoutHost host;
  host.Metrics.VLineWidth = 1;
  Fill(host, {{"A", 0, 0, 30}, {"B", 0, 1, 20}, {"C", 1, 0, 50}, {"D", 0, 0, 25}});
  TgpColumns& cols = host.Columns;
  EXPECT_EQ(host.Column(1)->LineOffset(), 30);
  EXPECT_FALSE(host.Column(0)->LastInLine());
  EXPECT_TRUE(host.Column(1)->LastInLine());
  EXPECT_FALSE(host.Column(1)->InLastLine());
  EXPECT_TRUE(host.Column(2)->InLastLine());
  EXPECT_EQ(host.Column(2)->PrevVisible(), host.Column(1));
  EXPECT_EQ(host.Column(2)->NextVisible(), host.Column(3));
  ASSERT_EQ(cols.GroupCount(), 2);
  EXPECT_EQ(cols.Groups(0)->Width, 50);
  EXPECT_EQ(cols.Groups(0)->MinWidth, 4);
  EXPECT_EQ(cols.Groups(0)->TotalWidth, 51);
  EXPECT_EQ(cols.Groups(1)->Left, 51);
  EXPECT_EQ(cols.TotalWidth(), 51 + 26);
}

// ---- Widths ---------------------------------------------------------------------------------

TEST(LayoutWidths, ResizingAGroupSetsEveryLineToItsWidth) {
  LayoutHost host;
  Fill(host, {{"A1", 0, 0, 60}, {"A2", 1, 0, 40}, {"A3a", 2, 0, 20}, {"A3b", 2, 1, 30}});
  // A narrower line keeps its width until the group is resized.
  EXPECT_EQ(host.Widths(), (Ints{60, 40, 20, 30}));
  host.Columns.ResizeGroup(host.Columns.Groups(0), 90);
  EXPECT_EQ(host.Widths(), (Ints{90, 90, 36, 54}));
  EXPECT_EQ(host.Columns.Groups(0)->Width, 90);
}

TEST(LayoutWidths, AColumnWidthIsAbsorbedByItsLine) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0, 50}, {"B", 0, 1, 50}, {"C", 1, 0, 100}});
  host.Column(0)->SetWidth(70);
  EXPECT_EQ(host.Widths(), (Ints{70, 30, 100}));
  EXPECT_EQ(host.Columns.Groups(0)->Width, 100);
  // A column alone in its line resizes the whole group.
  host.Column(2)->SetWidth(120);
  EXPECT_EQ(host.Widths(), (Ints{84, 36, 120}));
}

// The width a fixed neighbour cannot give comes back off the resized column;
// the group keeps its width.
TEST(LayoutWidths, AFixedWidthNeighbourKeepsTheLineAsItIs) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0, 50}, {"B", 0, 1, 50}});
  host.Column(1)->SetOptionsBehavior({cboFixedWidth});
  // cboFixedWidth made B a group of its own; put it back into A's line.
  host.Columns.MoveColumn(host.Column(0), host.Column(1)->Group(), 0, 1);
  ASSERT_EQ(host.Columns.GroupCount(), 1);
  host.Column(host.Columns.ColumnByFieldName("A")->Index())->SetWidth(80);
  EXPECT_EQ(host.Columns.ColumnByFieldName("A")->Width(), 50);
  EXPECT_EQ(host.Columns.ColumnByFieldName("B")->Width(), 50);
  EXPECT_EQ(host.Columns.Groups(0)->Width, 100);
}

TEST(LayoutWidths, WidthBelowTwoBecomesTwo) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0, 50}});
  host.Column(0)->SetWidth(1);
  EXPECT_EQ(host.Column(0)->Width(), 2);
}

TEST(LayoutVisibility, HidingAndShowingMovesWidthWithinTheLine) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0, 60}, {"B", 0, 1, 40}, {"C", 1, 0, 100}});
  // One of two columns of a line: the other takes its width.
  host.Column(1)->SetVisible(false);
  EXPECT_EQ(host.Column(0)->Width(), 100);
  EXPECT_EQ(host.Column(2)->Width(), 100);
  // Coming back, the others of the line give up its width again.
  host.Column(1)->SetVisible(true);
  EXPECT_EQ(host.Widths(), (Ints{60, 40, 100}));
  // The only column of a line: the other lines keep their widths.
  host.Column(2)->SetVisible(false);
  EXPECT_EQ(host.Widths(), (Ints{60, 40, 100}));
  EXPECT_EQ(host.Columns.Groups(0)->LineCount, 1);
  EXPECT_EQ(host.Columns.Groups(0)->Width, 100);
}

// ---- Fitting and the horizontal window ------------------------------------------------------

TEST(LayoutFit, ASingleGroupFillsTheWidthLessItsLine) {
  LayoutHost host(500);
  host.Metrics.VLineWidth = 1;
  host.Columns.SetAutoColumnFit(true);
  Fill(host, {{"A1", 0, 0, 60}, {"A2", 1, 0, 40}, {"A3", 2, 0, 50}});
  EXPECT_EQ(host.Widths(), (Ints{499, 499, 499}));
  // Never below the group's minimum width.
  host.Columns.SetAvailableWidth(1);
  host.LayoutChanged();
  EXPECT_EQ(host.Widths(), (Ints{2, 2, 2}));
}

TEST(LayoutFit, GroupsShareTheWidthInProportion) {
  LayoutHost host(400);
  host.Metrics.VLineWidth = 1;
  Fill(host, {{"A", 0, 0, 100}, {"B", 0, 0, 100}, {"C", 0, 0, 50}});
  host.Column(2)->SetOptionsBehavior({cboFixedWidth});
  host.Columns.SetAutoColumnFit(true);
  host.LayoutChanged();
  EXPECT_EQ(host.Columns.TotalWidth(), 400);
  EXPECT_EQ(host.Widths(), (Ints{174, 173, 50}));
  // Resizing one group under the fit takes the room from the others.
  host.Columns.ResizeGroup(host.Columns.Groups(0), 200);
  EXPECT_EQ(host.Widths(), (Ints{200, 147, 50}));
  EXPECT_EQ(host.Columns.TotalWidth(), 400);
}

TEST(LayoutFixed, FixedColumnsBecomeGroupsOnTheLeft) {
  LayoutHost host(100);
  Fill(host, {{"A", 0, 0, 40}, {"B", 0, 0, 40}, {"C", 0, 0, 40}, {"D", 0, 0, 40}});
  host.Column(2)->SetFixed(cfLeft);
  EXPECT_EQ(host.Fields(), (Names{"C", "A", "B", "D"}));
  TgpColumns& cols = host.Columns;
  EXPECT_TRUE(cols.HasFixed());
  EXPECT_EQ(cols.LastFixedGroup(), 0);
  EXPECT_EQ(cols.FirstScrollGroup(), 1);
  EXPECT_EQ(cols.LastScrollGroup(), 3);
  EXPECT_EQ(cols.FixedWidth(), 40);
  // 60 pixels beside the fixed group: the window starts at group 1, 2 or 3.
  EXPECT_EQ(cols.ScrollPositions(), 3);
  EXPECT_EQ(cols.FirstVisibleGroup(), 1);
  cols.SetFirstVisibleGroup(2);
  EXPECT_FALSE(cols.Groups(1)->InView);
  EXPECT_EQ(cols.Groups(0)->ScreenX, 0);
  EXPECT_EQ(cols.Groups(2)->ScreenX, 40);
  EXPECT_EQ(cols.Groups(3)->ScreenX, 80);
  EXPECT_EQ(cols.LastVisibleGroup(), 3);
  EXPECT_FALSE(cols.IsGroupFullyVisible(host.Column(1)));
  EXPECT_TRUE(cols.IsGroupFullyVisible(host.Column(2)));
  // Group 3 runs past the right edge.
  EXPECT_FALSE(cols.IsGroupFullyVisible(host.Column(3)));
  EXPECT_TRUE(cols.IsGroupFullyVisible(host.Column(0)));
  cols.SetFirstVisibleGroup(5);
  EXPECT_EQ(cols.FirstVisibleGroup(), 3);
  EXPECT_EQ(cols.Groups(3)->ScreenX, 40);
  EXPECT_TRUE(cols.IsGroupFullyVisible(host.Column(3)));
}

TEST(LayoutFixed, WithoutScrollableGroupsThereIsNoWindow) {
  LayoutHost host(100);
  Fill(host, {{"A", 0, 0, 40}});
  host.Column(0)->SetFixed(cfLeft);
  EXPECT_FALSE(host.Columns.HasScroll());
  EXPECT_EQ(host.Columns.FirstVisibleGroup(), -1);
  EXPECT_EQ(host.Columns.ScrollPositions(), 0);
  EXPECT_TRUE(host.Columns.Groups(0)->InView);
}

// ---- Moving -----------------------------------------------------------------------------------

TEST(LayoutMove, IndexMinusOneOpensANewLine) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0}, {"B", 1, 0}, {"X", 0, 0}});
  host.Columns.MoveColumn(host.Column(2), host.Column(0)->Group(), 1, -1);
  EXPECT_EQ(host.Fields(), (Names{"A", "X", "B"}));
  EXPECT_EQ(host.Positions(), (Positions{{0, 0}, {1, 0}, {2, 0}}));
  EXPECT_EQ(host.Columns.GroupCount(), 1);
  EXPECT_EQ(host.Columns.Groups(0)->LineCount, 3);
}

TEST(LayoutMove, IntoALineAtAnIndex) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0}, {"B", 0, 1}, {"X", 0, 0}, {"Y", 0, 0}});
  host.Columns.MoveColumn(host.Column(3), host.Column(0)->Group(), 0, 1);
  EXPECT_EQ(host.Fields(), (Names{"A", "Y", "B", "X"}));
  EXPECT_EQ(host.Positions(), (Positions{{0, 0}, {0, 1}, {0, 2}, {0, 0}}));
  // The group keeps its width; the line shares it.
  EXPECT_EQ(host.Columns.Groups(0)->Width, 80);
}

TEST(LayoutMove, LeavingAGroupRenumbersWhatStays) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0}, {"B", 1, 0}, {"C", 2, 0}, {"X", 0, 0}});
  host.Columns.MoveColumn(host.Column(0), host.Column(3)->Group(), 1, 0);
  EXPECT_EQ(host.Fields(), (Names{"B", "C", "X", "A"}));
  EXPECT_EQ(host.Positions(), (Positions{{0, 0}, {1, 0}, {0, 0}, {1, 0}}));
  EXPECT_EQ(host.Columns.GroupCount(), 2);
}

TEST(LayoutMove, AnInvalidPositionChangesNothing) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0}, {"B", 0, 0}, {"H", 0, 1, 40, false}});
  Positions before = host.Positions();
  struct Bad {
    int level, index;
    const char* message;
  };
  for (const Bad& bad : {Bad{-1, 0, "Invalid layout position (-1,0)"}, Bad{0, -2, "Invalid layout position (0,-2)"}}) {
    try {
      host.Columns.MoveColumn(host.Column(0), host.Column(1)->Group(), bad.level, bad.index);
      ADD_FAILURE() << "no error for " << bad.message;
    } catch (const EDBGridPro& e) {
      EXPECT_EQ(e.Message(), bad.message);
    }
    // The position is checked before a hidden column is shown.
    EXPECT_THROW(host.Columns.MoveColumn(host.Column(2), host.Column(1)->Group(), bad.level, bad.index), EDBGridPro);
    EXPECT_FALSE(host.Column(2)->Visible());
    EXPECT_EQ(host.Positions(), before);
    EXPECT_EQ(host.Columns.GroupCount(), 2);
  }
}

TEST(LayoutMove, AHiddenColumnMovedIsShown) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0}, {"B", 0, 0}, {"H", 0, 1, 40, false}});
  host.Columns.MoveColumn(host.Column(2), host.Column(0)->Group(), 1, 0);
  EXPECT_EQ(host.Fields(), (Names{"A", "H", "B"}));
  EXPECT_TRUE(host.Column(1)->Visible());
  EXPECT_EQ(host.Columns.Groups(0)->LineCount, 2);
}

TEST(LayoutMove, MakeGroupAndMoveGroup) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0, 50}, {"B", 0, 1, 50}, {"C", 0, 0}, {"D", 1, 0}});
  host.Columns.MakeGroup(host.Column(1), nullptr);
  EXPECT_EQ(host.Fields(), (Names{"A", "C", "D", "B"}));
  EXPECT_EQ(host.Columns.GroupCount(), 3);
  // The column left behind keeps the group's former width.
  EXPECT_EQ(host.Column(0)->Width(), 100);
  host.Columns.MoveGroup(host.Column(1)->Group(), host.Column(0)->Group());
  EXPECT_EQ(host.Fields(), (Names{"C", "D", "A", "B"}));
  host.Columns.MoveGroup(host.Column(0)->Group(), nullptr);
  EXPECT_EQ(host.Fields(), (Names{"A", "B", "C", "D"}));
  EXPECT_EQ(host.Positions(), (Positions{{0, 0}, {0, 0}, {0, 0}, {1, 0}}));
}

TEST(LayoutMove, AnIndexChangeMovesTheWholeGroup) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0}, {"B", 1, 0}, {"C", 0, 0}, {"D", 0, 0}});
  host.Column(0)->SetIndex(2);
  EXPECT_EQ(host.Fields(), (Names{"C", "A", "B", "D"}));
  host.Column(3)->SetIndex(1);
  EXPECT_EQ(host.Fields(), (Names{"C", "D", "A", "B"}));
}

TEST(LayoutMove, DestIndex) {
  struct Case {
    int current, target, count;
    bool before;
    int expected;
  };
  for (const Case& c : {Case{0, 3, 5, true, 2}, Case{4, 1, 5, true, 1}, Case{4, 1, 5, false, 2}, Case{0, 3, 5, false, 3},
                        Case{0, 0, 5, true, 0}, Case{4, 4, 5, false, 4}}) {
    EXPECT_EQ(TgpColumns::DestIndex(c.current, c.target, c.count, c.before), c.expected)
        << c.current << "->" << c.target << (c.before ? " before" : " after");
  }
}

TEST(LayoutMove, ADyingColumnLeavesTheOthersInPlace) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0, 50}, {"B", 0, 1, 50}, {"C", 1, 0, 100}, {"D", 0, 0}});
  host.Columns.Delete(0);
  EXPECT_EQ(host.Fields(), (Names{"B", "C", "D"}));
  EXPECT_EQ(host.Columns.GroupCount(), 2);
  EXPECT_EQ(host.Positions(), (Positions{{0, 0}, {1, 0}, {0, 0}}));
  EXPECT_EQ(host.Column(0)->Width(), 100);
}

// ---- Queries --------------------------------------------------------------------------------

TEST(LayoutQueries, SelectableColumnsAndTheNearestOne) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0}, {"B", 0, 0}, {"C", 0, 0}});
  host.Column(1)->SetOptionsBehavior({cboNoSelecting});
  host.Column(2)->SetVisible(false);
  host.Columns.RebuildSelectable();
  ASSERT_EQ(host.Columns.SelectableCount(), 1);
  EXPECT_EQ(host.Columns.Selectable(0), host.Column(0));
  host.Current = 1;
  EXPECT_EQ(host.Columns.NearestSelectable(), 0);
  host.Column(2)->SetVisible(true);
  EXPECT_EQ(host.Columns.NearestSelectable(), 2);
}

TEST(LayoutQueries, CurrentColumnMovesOffWhenItStopsBeingSelectable) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0}, {"B", 0, 0}, {"C", 0, 0}});
  host.Current = 1;
  host.Column(1)->SetOptionsBehavior({cboNoSelecting});
  EXPECT_EQ(host.Current, 2);
}

TEST(LayoutQueries, SortedColumnsInSortOrder) {
  LayoutHost host;
  Fill(host, {{"A", 0, 0}, {"B", 0, 0}, {"C", 0, 0}, {"D", 0, 0, 40, false}});
  host.Column(2)->SetTitleState(tsSortedUp);
  host.Column(0)->SetTitleState(tsSortedDown);
  host.Column(3)->SetTitleState(tsSortedUp);
  ASSERT_EQ(host.Columns.SortedCount(), 2);
  EXPECT_EQ(host.Columns.SortedColumns(0), host.Column(2));
  EXPECT_EQ(host.Columns.SortedColumns(1), host.Column(0));
}

TEST(LayoutQueries, ColumnByFieldNameIgnoresCase) {
  TgpColumns cols(nullptr);
  cols.Add()->SetFieldName("");
  cols.Add()->SetFieldName("Serial");
  cols.Add()->SetFieldName(Utf8ToAnsi("Цена"));
  EXPECT_EQ(cols.ColumnByFieldName("SERIAL"), cols.Items(1));
  EXPECT_EQ(cols.ColumnByFieldName(Utf8ToAnsi("ЦЕНА")), cols.Items(2));
  EXPECT_EQ(cols.ColumnByFieldName(""), cols.Items(0));
  EXPECT_EQ(cols.ColumnByFieldName("N"), nullptr);
}

}  // namespace layout_engine_test

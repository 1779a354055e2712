// The grid's window of rows over an in-memory data set: how many rows it
// shows, following the data set's moves, the scroll bar in both directions,
// filters that leave nothing, and the bands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grid/rs_str.h"
#include "tests/grid/grid_support.h"

namespace grid_window_test {

namespace {

using grid_support::MemGrid;
using Ns = std::vector<int>;

Ns Range(int from, int to) {
  Ns out;
  for (int n = from; n <= to; ++n) out.push_back(n);
  return out;
}

// A grid whose client area holds titles and exactly `rows` rows.
void SizeForRows(MemGrid& g, int rows) {
  TDBGridPro& grid = *g.grid;
  grid.SetBounds(0, 0, grid.Width(), grid_support::HeightFor(grid, rows) + (grid.Height() - grid.ClientHeight()));
}

class GridTest : public MemGrid, public ::testing::Test {
 protected:
  GridTest() : MemGrid(50) { SizeForRows(*this, 10); }
};

TEST_F(GridTest, WindowHoldsAsManyRowsAsFitUnderTheTitles) {
  EXPECT_TRUE(grid->LinkActive());
  EXPECT_TRUE(grid->HasRows());
  EXPECT_EQ(grid->RowCapacity(), 10);
  EXPECT_EQ(grid->RowCount(), 10);
  EXPECT_TRUE(grid->MoreRows());
  EXPECT_EQ(Shown(), Range(1, 10));
  EXPECT_EQ(grid->DataBottom(), grid->TitleBand() + 10 * grid->RowHeight());
  EXPECT_EQ(grid->FreeSpace(), grid->ClientHeight() - grid->DataBottom());
  // Row and title heights come from the text height and the designer's margins.
  EXPECT_GT(grid->RowHeight(), 10);
  EXPECT_GT(grid->TitleHeight(), 10);
}

TEST_F(GridTest, AClientLowerThanOneRowStillHoldsOneRow) {
  grid->SetBounds(0, 0, grid->Width(), 3);
  EXPECT_EQ(grid->RowCapacity(), 1);
  EXPECT_EQ(grid->RowCount(), 1);
}

TEST_F(GridTest, FollowsTheDataSetMovingUnderIt) {
  struct Case {
    const char* what;
    void (*move)(TMemDataSet&);
    int current;  // N of the current record
    int first;    // N of the first row shown
  };
  const Case cases[] = {
      {"next inside the window", [](TMemDataSet& d) { d.GoNext(); }, 2, 1},
      {"to the window's last row", [](TMemDataSet& d) { d.Skip(9); }, 10, 1},
      {"one past the window", [](TMemDataSet& d) { d.Skip(10); }, 11, 2},
      {"last record", [](TMemDataSet& d) { d.GoLast(); }, 50, 41},
      {"back to the first", [](TMemDataSet& d) { d.GoLast(), d.GoFirst(); }, 1, 1},
      {"locate in the middle",
       [](TMemDataSet& d) { d.FindByValues("N", Variant(30), TFindOptions()); }, 30, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ds.GoFirst();
    int changes = 0;
    grid->OnSelectionChange = [&](TComponent* sender) {
      EXPECT_EQ(sender, grid.get());
      ++changes;
    };
    c.move(ds);
    grid->OnSelectionChange = nullptr;
    EXPECT_EQ(N(), c.current);
    EXPECT_EQ(grid->ActiveRow(), grid->DataLink()->QueryActiveRow());
    // The grid follows the data set's record (a sensitive cursor).
    EXPECT_EQ(grid->CurrentRow(), grid->ActiveRow());
    if (c.first != 0) {
      EXPECT_EQ(FirstShown(), c.first);
    }
    EXPECT_EQ(grid->RowCount(), 10);
    if (c.current != 1) {
      EXPECT_GE(changes, 1);
    }
  }
}

TEST_F(GridTest, ScrollBarRangeAndPositionFollowTheFirstRowShown) {
  ASSERT_TRUE(grid->ScrollBarShown(SB_VERT));
  TScrollInfo info;
  grid->GetScrollInfo(SB_VERT, info);
  EXPECT_EQ(info.nMin, 1);
  EXPECT_EQ(info.nMax, 50 - 10 + 1);
  EXPECT_EQ(info.nPage, 1u);
  EXPECT_EQ(info.nPos, 1);
  ds.Skip(14);  // N 15, the window moves to 6..15
  EXPECT_EQ(grid->GetScrollPos(SB_VERT), 6);
  ds.GoLast();
  EXPECT_EQ(grid->GetScrollPos(SB_VERT), 41);
}

// Scrolling requests as the scroll bar sends them, from the top of the table.
TEST_F(GridTest, ScrollRequestsMoveTheWindow) {
  struct Case {
    const char* what;
    int code;
    int pos;
    int first;    // first row shown afterwards
    int current;  // N of the current record afterwards
  };
  const Case cases[] = {
      {"line down: the record below the last row", SB_LINEDOWN, 0, 2, 11},
      {"page down", SB_PAGEDOWN, 0, 2, 11},
      {"bottom", SB_BOTTOM, 0, 41, 50},
      {"thumb to 20: record 20 first", SB_THUMBTRACK, 20, 20, 29},
      {"thumb to 1", SB_THUMBTRACK, 1, 1, 1},
      {"thumb beyond the count", SB_THUMBTRACK, 60, 41, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ds.GoFirst();
    ASSERT_EQ(FirstShown(), 1);
    grid->WMVScroll(c.code, c.pos);
    EXPECT_EQ(FirstShown(), c.first);
    EXPECT_EQ(N(), c.current);
    EXPECT_EQ(Shown(), Range(c.first, c.first + 9));
  }
}

TEST_F(GridTest, ScrollingToTheEndAndBackShowsEveryRecordOnce) {
  Ns seen = Shown();
  for (int page = 0; page < 10 && grid->MoreRows(); ++page) {
    grid->WMVScroll(SB_PAGEDOWN, 0);
    const Ns rows = Shown();
    ASSERT_EQ(rows.size(), 10u);
    for (int n : rows)
      if (n > seen.back()) seen.push_back(n);
  }
  EXPECT_EQ(seen, Range(1, 50));
  EXPECT_EQ(Shown(), Range(41, 50));
  EXPECT_EQ(grid->GetScrollPos(SB_VERT), 41);
  // And back, line by line, to the top.
  for (int i = 0; i < 60 && FirstShown() > 1; ++i) grid->WMVScroll(SB_LINEUP, 0);
  EXPECT_EQ(Shown(), Range(1, 10));
  EXPECT_EQ(N(), 1);
  EXPECT_EQ(grid->GetScrollPos(SB_VERT), 1);
  EXPECT_TRUE(grid->MoreRows());
}

TEST_F(GridTest, AFilterThatLeavesNoRowsShowsTheEmptyRowOnlyWhenAsked) {
  for (bool show_empty : {true, false}) {
    SCOPED_TRACE(show_empty);
    grid->SetShowEmptyRow(show_empty);
    ds.SetFilter("N=999");
    ds.SetFiltered(true);
    EXPECT_TRUE(ds.HasNoRecords());
    EXPECT_TRUE(grid->LinkActive());
    EXPECT_EQ(grid->HasRows(), show_empty);
    EXPECT_EQ(grid->RowCount(), 1);
    EXPECT_FALSE(grid->MoreRows());
    EXPECT_EQ(grid->DataBottom(), grid->TitleBand() + (show_empty ? grid->RowHeight() : 0));
    EXPECT_FALSE(grid->ScrollBarShown(SB_VERT));
    // The filter taken off, every row is back.
    ds.SetFiltered(false);
    EXPECT_TRUE(grid->HasRows());
    EXPECT_EQ(Shown(), Range(1, 10));
  }
  // A filter that keeps a few rows: the window shrinks to them.
  ds.SetFilter("N=7");
  ds.SetFiltered(true);
  EXPECT_EQ(grid->RowCount(), 1);
  EXPECT_EQ(Shown(), Ns{7});
  EXPECT_FALSE(grid->MoreRows());
}

TEST_F(GridTest, AClosedDataSetShowsNoRows) {
  ds.Deactivate();
  EXPECT_FALSE(grid->LinkActive());
  EXPECT_FALSE(grid->HasRows());
  EXPECT_EQ(grid->CurrentRow(), -1);
  EXPECT_EQ(grid->DataBottom(), grid->TitleBand());
  ds.Activate();
  EXPECT_TRUE(grid->HasRows());
  EXPECT_EQ(Shown(), Range(1, 10));
}

TEST_F(GridTest, TitlesAndFootersTakeTheirBands) {
  const int titles = grid->TitleBand();
  EXPECT_EQ(titles, grid->TitleHeight());
  EXPECT_EQ(grid->FooterBand(), 0);
  grid->SetShowFooters(true);
  EXPECT_EQ(grid->FooterBand(), grid->FooterHeight());
  EXPECT_EQ(grid->RowCapacity(), (grid->ClientHeight() - titles - grid->FooterHeight()) / grid->RowHeight());
  grid->SetShowTitles(false);
  EXPECT_EQ(grid->TitleBand(), 0);
  EXPECT_EQ(grid->DataBottom(), grid->RowCount() * grid->RowHeight());
  // Two title lines make the title band higher, not the rows.
  grid->SetShowTitles(true);
  const int row = grid->RowHeight();
  grid->SetTitleLines(2);
  EXPECT_GT(grid->TitleHeight(), titles);
  EXPECT_EQ(grid->RowHeight(), row);
}

TEST_F(GridTest, LinesMustBePositive) {
  try {
    grid->SetTitleLines(0);
    FAIL() << "no error";
  } catch (const ERSError& e) {
    EXPECT_EQ(std::string(e.Message()), "Value must be positive (0)");
  }
  EXPECT_THROW(grid->SetRowLines(-1), ERSError);
  EXPECT_THROW(grid->SetFootLines(0), ERSError);
  EXPECT_EQ(grid->TitleLines(), 1);
}

TEST_F(GridTest, UnbalancedUnfreezeRaises) {
  grid->FreezeGrid();
  grid->FreezeGrid();
  EXPECT_FALSE(grid->PaintEnabled());
  grid->UnfreezeGrid(false);
  EXPECT_EQ(grid->FreezeCount(), 1);
  grid->UnfreezeGrid(true);
  EXPECT_TRUE(grid->PaintEnabled());
  try {
    grid->UnfreezeGrid(true);
    FAIL() << "no error";
  } catch (const EDBGridPro& e) {
    EXPECT_EQ(std::string(e.Message()), "Method call was cancelled (UnfreezeGrid)");
  }
  EXPECT_EQ(grid->FreezeCount(), 0);
}

TEST(GridSettings, BookmarkFieldsDropTheRecordNumberItem) {
  TDBGridPro grid(nullptr);
  const struct {
    const char* given;
    const char* stored;
  } cases[] = {
      {"P;$RECNO$;R", "P;R"},
      {"$recno$;P", "P"},
      {"P;R", "P;R"},
      {"$RECNO$", ""},
      {"P;$RECNO$;$RECNO$", "P;$RECNO$"},  // only the first is removed
  };
  for (const auto& c : cases) {
    grid.SetBookmarkFields(c.given);
    EXPECT_EQ(std::string(grid.BookmarkFields()), c.stored) << c.given;
  }
}

TEST(GridSettings, StripStepTakesMinusOneOrMoreThanOne) {
  TDBGridPro grid(nullptr);
  const struct {
    int given;
    int stored;
  } cases[] = {{1, -1}, {0, -1}, {2, 2}, {-5, 2}, {5, 5}, {-1, -1}};
  for (const auto& c : cases) {
    grid.SetStripStep(c.given);
    EXPECT_EQ(grid.StripStep(), c.stored) << c.given;
  }
}

TEST(GridSettings, Defaults) {
  TDBGridPro grid(nullptr);
  EXPECT_EQ(grid.Width(), 340);
  EXPECT_EQ(grid.Height(), 240);
  EXPECT_EQ(grid.Color(), clWindow);
  EXPECT_TRUE(grid.TabStop());
  EXPECT_EQ(grid.SortCounter(), -1);
  EXPECT_EQ(grid.CurrentColumnIndex(), -1);
  EXPECT_EQ(grid.CurrentRow(), -1);
  EXPECT_TRUE(grid.ShowTitles());
  EXPECT_FALSE(grid.ShowFooters());
  EXPECT_TRUE(grid.ShowEmptyRow());
  EXPECT_EQ(grid.ScrollBars(), ssBoth);
  EXPECT_TRUE(grid.ParamsDB()->EnableRecNo());
  EXPECT_EQ(grid.Designer(), nullptr);
  EXPECT_EQ(grid.EffectiveDesigner(), DefaultGridDesigner());
  EXPECT_FALSE(grid.LinkActive());
  EXPECT_FALSE(grid.HasRows());
}

}  // namespace

namespace {

// A grid whose current record stays put while the data set scrolls.
TEST_F(GridTest, AnInsensitiveCursorKeepsItsRecordWhileTheWindowScrolls) {
  grid->SetCursorType(gctInsensitiveBmrk);
  EXPECT_EQ(grid->CurrentRow(), -1);
  grid->GoToCell(0x4, 2, 0);  // a press on row 2
  EXPECT_EQ(N(), 3);
  EXPECT_EQ(grid->CurrentRow(), 2);
  grid->WMVScroll(SB_LINEDOWN, 0);  // the window shows 2..11
  EXPECT_EQ(FirstShown(), 2);
  EXPECT_EQ(grid->CurrentRow(), 1);
  EXPECT_EQ(grid->Selection()->Current()->RecNo, 3);
  grid->WMVScroll(SB_PAGEDOWN, 0);  // 12..21: record 3 is out of sight
  EXPECT_EQ(grid->CurrentRow(), -1);
  grid->WMVScroll(SB_TOP, 0);
  EXPECT_EQ(N(), 1);
  EXPECT_EQ(grid->CurrentRow(), 2);
  // Before acting on its record the grid goes back to it.
  EXPECT_TRUE(grid->CanUseCurrentRecord(false));
  EXPECT_EQ(N(), 3);
  // New unique fields take their values from the grid's record.
  ds.GoFirst();
  grid->SetUniqueFields("P");
  EXPECT_EQ(grid->Selection()->Current()->UniqueValues.AsInteger(), 30);
  EXPECT_EQ(N(), 1);
}

TEST(GridHorizontal, GroupsScrollByTheBarAndHideTheirColumns) {
  MemGrid g(5, 110, 200);
  TgpColumns& columns = *g.grid->Columns();
  ASSERT_GE(columns.ScrollPositions(), 2);
  ASSERT_TRUE(g.grid->ScrollBarShown(SB_HORZ));
  EXPECT_TRUE(g.grid->IsColumnShown(0));
  g.grid->WMHScroll(SB_LINERIGHT, 0);
  EXPECT_EQ(columns.FirstVisibleGroup(), 1);
  EXPECT_FALSE(g.grid->IsColumnShown(0));
  EXPECT_TRUE(g.grid->IsColumnShown(1));
  EXPECT_EQ(columns.Groups(1)->ScreenX, 0);
  EXPECT_EQ(g.grid->GetScrollPos(SB_HORZ), 1);
  g.grid->WMHScroll(SB_LINERIGHT, 0);  // no further than the last position
  EXPECT_EQ(columns.FirstVisibleGroup(), 1);
  g.grid->WMHScroll(SB_LEFT, 0);
  EXPECT_EQ(columns.FirstVisibleGroup(), 0);
  EXPECT_EQ(g.grid->GetScrollPos(SB_HORZ), 0);
  EXPECT_TRUE(g.grid->IsColumnShown(0));
}

}  // namespace

namespace {

// A data set that cannot number its records: the bar only tells the top,
// the middle and the end, and its thumb pages.
class UnnumberedSet : public TMemDataSet {
 public:
  using TMemDataSet::TMemDataSet;
  bool HasRecordNumbers() override { return false; }
};

TEST(GridUnnumbered, TheBarShowsTopMiddleAndEndAndItsThumbPages) {
  UnnumberedSet ds(nullptr);
  ds.FieldDefs().AppendNamedDef("N", ftInteger);
  ds.FieldDefs().AppendNamedDef("P", ftInteger);
  ds.Activate();
  grid_support::AddRows(ds, 1, 50);
  ds.GoFirst();
  TDataSource source(nullptr);
  source.SetDataSet(&ds);
  grid_support::TestGrid grid(nullptr);
  grid.Columns()->Add()->SetFieldName("N");
  grid.SetDataSource(&source);
  grid.SetBounds(0, 0, 300, 200);
  TScrollInfo info;
  grid.GetScrollInfo(SB_VERT, info);
  EXPECT_EQ(info.nMin, 0);
  EXPECT_EQ(info.nMax, 4);
  EXPECT_EQ(grid.GetScrollPos(SB_VERT), 0);  // at the top
  const int rows = grid.RowCount();
  struct Case {
    int pos;
    int n;  // N of the current record afterwards, from record 20
  };
  for (const Case& c : {Case{2, 20}, Case{3, 20 + rows}, Case{1, 20 - rows}, Case{0, 1}, Case{4, 50}}) {
    ds.FindByValues("N", Variant(20), TFindOptions());
    EXPECT_EQ(grid.GetScrollPos(SB_VERT), 2);  // in the middle
    grid.WMVScroll(SB_THUMBTRACK, c.pos);
    EXPECT_EQ(ds.FieldNamed("N")->GetIntegerValue(), c.n) << c.pos;
  }
  grid.SetDataSource(nullptr);
}

}  // namespace

}  // namespace grid_window_test

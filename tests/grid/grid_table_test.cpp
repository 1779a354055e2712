// The grid over a real table file: the rows it shows against the file's, a
// filter that leaves no rows, scrolling to the end and back, and the
// selection, which must not outlive the table it was made on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "tests/dbf/table_support.h"
#include "tests/grid/grid_support.h"

namespace grid_table_test {

using Names = std::vector<std::string>;

// Rows N = 1..count named "R<n>", KIND = n mod 3.
std::string MakeTable(const std::string& dir, const std::string& name, int count, const std::string& prefix) {
  std::vector<std::string> records;
  for (int n = 1; n <= count; ++n) records.push_back(table_support::Rec(n, prefix + std::to_string(n), n % 3));
  return table_support::WriteTable(dir, records, name);
}

struct TableGrid {
  TableGrid(int rows, int visible_rows) {
    dir = testsupport::TempDir("grid_table");
    file_a = MakeTable(dir, "a.dbf", rows, "A");
    file_b = MakeTable(dir, "b.dbf", rows, "B");
    table = table_support::Table(file_a);
    table->Activate();
    source.SetDataSet(table.get());
    grid = std::make_unique<grid_support::TestGrid>(nullptr);
    for (const char* name : {"N", "NAME", "KIND"}) grid->Columns()->Add()->SetFieldName(name);
    grid->SetDataSource(&source);
    grid->SetBounds(0, 0, 400, 100);
    grid->SetBounds(0, 0, 400,
                    grid_support::HeightFor(*grid, visible_rows) + (grid->Height() - grid->ClientHeight()));
  }
  ~TableGrid() {
    grid.reset();
    source.SetDataSet(nullptr);
  }
  // NAME of each row of the grid's window, through its data link.
  Names Shown() {
    Names out;
    if (!grid->HasRows() || table->HasNoRecords()) return out;
    TDataLink* link = grid->DataLink();
    const int saved = link->QueryActiveRow();
    for (int r = 0; r < grid->RowCount(); ++r) {
      link->ChangeActiveRow(r);
      out.push_back(table->FieldNamed("NAME")->GetStringValue());
    }
    link->ChangeActiveRow(saved);
    return out;
  }
  Names Expected(const std::string& prefix, int from, int to) {
    Names out;
    for (int n = from; n <= to; ++n) out.push_back(prefix + std::to_string(n));
    return out;
  }
  void Go(int n) { ASSERT_TRUE(table->FindByValues("N", Variant(n), TFindOptions())) << n; }

  std::string dir, file_a, file_b;
  std::unique_ptr<TDbf> table;
  TDataSource source{nullptr};
  std::unique_ptr<grid_support::TestGrid> grid;
};

TEST(GridOverTable, ShowsTheFileRowsInOrderAndScrollsToTheEndAndBack) {
  TableGrid g(25, 8);
  EXPECT_EQ(g.grid->RowCount(), 8);
  EXPECT_EQ(g.Shown(), g.Expected("A", 1, 8));
  // Page by page to the end: every row of the file exactly once.
  Names seen = g.Shown();
  for (int page = 0; page < 10 && g.grid->MoreRows(); ++page) {
    g.grid->WMVScroll(SB_PAGEDOWN, 0);
    for (const std::string& name : g.Shown())
      if (std::find(seen.begin(), seen.end(), name) == seen.end()) seen.push_back(name);
  }
  EXPECT_EQ(seen, table_support::Column(*g.table));
  g.grid->WMVScroll(SB_BOTTOM, 0);
  EXPECT_EQ(g.Shown(), g.Expected("A", 18, 25));
  EXPECT_FALSE(g.grid->MoreRows());
  g.grid->WMVScroll(SB_TOP, 0);
  EXPECT_EQ(g.Shown(), g.Expected("A", 1, 8));
  EXPECT_EQ(g.table->FieldNamed("N")->GetIntegerValue(), 1);
}

TEST(GridOverTable, AFilterThatLeavesNoRowsAndOneThatLeavesSome) {
  TableGrid g(25, 8);
  g.table->SetFilter("KIND=7");
  g.table->SetFiltered(true);
  EXPECT_TRUE(g.table->HasNoRecords());
  EXPECT_TRUE(g.grid->HasRows());  // the empty row
  EXPECT_EQ(g.grid->RowCount(), 1);
  EXPECT_EQ(g.Shown(), Names{});
  g.table->SetFilter("KIND=1");
  EXPECT_EQ(g.Shown(), (Names{"A1", "A4", "A7", "A10", "A13", "A16", "A19", "A22"}));
  g.grid->WMVScroll(SB_BOTTOM, 0);
  EXPECT_EQ(g.Shown().back(), "A25");
  g.table->SetFiltered(false);
  EXPECT_EQ(g.grid->RowCount(), 8);
}

// The snapshots keep bookmarks, and a table's bookmarks are its record
// numbers: a selection kept over a reopen on another file would make
// "delete the selected records" delete that file's rows 2 and 3.
TEST(GridOverTable, ReopeningOnAnotherFileClearsTheSelection) {
  for (TgpCursorType cursor : {gctSensitive, gctInsensitiveBmrk}) {
    SCOPED_TRACE(cursor);
    TableGrid g(10, 5);
    g.grid->SetMultiSelect(true);
    g.grid->SetCursorType(cursor);
    g.Go(2);
    g.grid->Selection()->SelectCurrent(true, true);
    g.Go(3);
    g.grid->Selection()->SelectCurrent(true, true);
    ASSERT_EQ(g.grid->Selection()->ExplicitCount(), 2);
    int changes = 0;
    g.grid->OnSelectionChange = [&](TComponent*) { ++changes; };
    g.table->Deactivate();
    EXPECT_EQ(g.grid->Selection()->ExplicitCount(), 0);
    EXPECT_GE(changes, 1);
    g.table->SetTableName(g.file_b);
    g.table->Activate();
    EXPECT_EQ(g.grid->Selection()->ExplicitCount(), 0);
    g.grid->OnSelectionChange = nullptr;
    // With nothing selected the command takes the grid's current record:
    // the first row of b for a grid that follows the table, none for one
    // whose current record belonged to a.
    g.grid->Selection()->DeleteSelected(false, true);
    EXPECT_EQ(table_support::Column(*g.table), g.Expected("B", cursor == gctSensitive ? 2 : 1, 10));
  }
}

// With the controls muted the grid hears of the reopen as one layout change.
TEST(GridOverTable, AReopenWithTheControlsMutedClearsTheSelectionToo) {
  TableGrid g(10, 5);
  g.grid->SetMultiSelect(true);
  g.Go(2);
  g.grid->Selection()->SelectCurrent(true, true);
  g.table->MuteControls();
  g.table->Deactivate();
  g.table->SetTableName(g.file_b);
  g.table->Activate();
  EXPECT_EQ(g.grid->Selection()->ExplicitCount(), 1);  // nothing heard yet
  g.table->UnmuteControls();
  EXPECT_EQ(g.grid->Selection()->ExplicitCount(), 0);
  EXPECT_EQ(g.Shown(), g.Expected("B", 1, 5));
}

TEST(GridOverTable, RefreshingTheSameTableKeepsTheSelection) {
  TableGrid g(10, 5);
  g.grid->SetMultiSelect(true);
  g.Go(4);
  g.grid->Selection()->SelectCurrent(true, true);
  g.table->Reload();
  EXPECT_EQ(g.grid->Selection()->ExplicitCount(), 1);
}

// The scroll bar's thumb pressed, dragged past the bottom of its groove and
// released, as a user does with the mouse.
void DragThumbToTheBottom(QWidget* widget) {
  QScrollBar* bar = nullptr;
  for (QScrollBar* b : widget->findChildren<QScrollBar*>())
    if (b->orientation() == Qt::Vertical && b->isVisible()) bar = b;
  ASSERT_NE(bar, nullptr);
  QStyleOptionSlider option;
  option.initFrom(bar);
  option.orientation = bar->orientation();
  option.minimum = bar->minimum();
  option.maximum = bar->maximum();
  option.sliderPosition = bar->sliderPosition();
  option.sliderValue = bar->value();
  option.singleStep = bar->singleStep();
  option.pageStep = bar->pageStep();
  const QRect thumb = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
  const QPoint from = thumb.center();
  auto send = [bar](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), QPointF(bar->mapToGlobal(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &e);
  };
  send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  for (int y = from.y(); y < bar->height() + 20; y += 7)
    send(QEvent::MouseMove, QPoint(from.x(), y), Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, QPoint(from.x(), bar->height() + 20), Qt::LeftButton, Qt::NoButton);
  QApplication::processEvents();
}

TEST(GridOverTable, DraggingTheThumbToTheBottomGoesToTheLastRecord) {
  struct Case {
    const char* what;
    const char* filter;
    int start;  // N of the record current before the drag
    const char* last;
  };
  const Case cases[] = {
      {"from the top", "", 1, "A40"},
      {"from a record in the window's middle", "", 4, "A40"},
      {"from further down", "", 22, "A40"},
      {"filtered", "KIND=1", 7, "A40"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TableGrid g(40, 8);
    g.grid->Widget()->show();
    if (*c.filter) {
      g.table->SetFilter(c.filter);
      g.table->SetFiltered(true);
    }
    g.table->GoFirst();
    g.Go(c.start);
    QApplication::processEvents();
    DragThumbToTheBottom(g.grid->Widget());
    EXPECT_EQ(g.table->FieldNamed("NAME")->GetStringValue(), c.last);
    EXPECT_EQ(g.Shown().back(), c.last);
    EXPECT_FALSE(g.grid->MoreRows());
  }
}

}  // namespace grid_table_test

// Rows dragged out of a grid and onto a grid, with real press, move and
// release events: the row under the pointer is marked as the drop target and
// taken as the drop's record; the mouse coming and going; the grid under a
// form designer.
#include <gtest/gtest.h>

#include <QImage>

#include <string>
#include <vector>

#include "tests/grid/interact_support.h"

namespace interact_drag_test {

using interact::ShownGrid;

// A grid that drags its rows, with a second grid on the same form to its right.
struct TwoGrids : ShownGrid {
  static constexpr int kOffset = 350;
  TwoGrids() : ShownGrid(30) {
    form.SetBounds(0, 0, 700, 240);
    grid->SetDragMode(dmAutomatic);
    grid->SetUniqueFields("N");
    other.grid->SetParent(&form);
    other.grid->SetBounds(kOffset, 0, 300, 200);
    other.grid->SetUniqueFields("N");
    grid->OnStartDrag = [this](TComponent*) { log.push_back("start"); };
    grid->OnEndDrag = [this](TComponent*, TComponent* target, int, int) {
      log.push_back(std::string("end ") + (target == grid.get() ? "self" : target == other.grid.get() ? "other" : "none"));
    };
    for (TDBGridPro* g : {static_cast<TDBGridPro*>(grid.get()), static_cast<TDBGridPro*>(other.grid.get())}) {
      g->OnDragOver = [this, g](TComponent*, TComponent*, int, int, TDragState, bool& accept) {
        accept = true;
        over_shows_selection.push_back(g->ShowsSelection());
      };
      g->OnDragDrop = [this, g](TComponent*, TComponent* from, int, int) {
        log.push_back(std::string("drop on ") + (g == grid.get() ? "self" : "other") + " from " +
                      (from == grid.get() ? "self" : "?") + " N " +
                      std::to_string(g->Dragger()->Snapshot.UniqueValues.AsInteger()));
      };
    }
  }
  ~TwoGrids() { other.grid->SetParent(nullptr); }
  // A point of the second grid's cell in the first grid's coordinates.
  QPoint OtherCell(int row, int column) const {
    const TRect r = other.grid->Columns()->Items(column)->CellRect(row, false, false);
    return QPoint(kOffset + (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  }
  void Press(QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::mouseMove(W(), at);
    QTest::mousePress(W(), Qt::LeftButton, mods, at);
  }
  void Move(QPoint at) { QTest::mouseMove(W(), at); }
  void Release(QPoint at) { QTest::mouseRelease(W(), Qt::LeftButton, {}, at); }
  // The colour a little right of the cell's left edge.
  QRgb Shade(TDBGridPro* g, int row) {
    const TRect r = g->Columns()->Items(0)->CellRect(row, false, false);
    return g->Widget()->grab().toImage().pixel(r.Left + 3, r.Top + 2);
  }

  grid_support::MemGrid other{30};
  std::vector<std::string> log;
  std::vector<bool> over_shows_selection;
};

TEST(GridRowDragging, TheRowUnderThePointerIsMarkedAndTakesTheDrop) {
  TwoGrids g;
  const QRgb plain = g.Shade(g.grid.get(), 4);
  g.Press(g.Cell(1, 0));
  EXPECT_EQ(g.N(), 2) << "the press moves to its row";
  g.Move(g.Cell(1, 0) + QPoint(3, 1));
  EXPECT_FALSE(g.grid->Dragging()) << "inside the pressed cell no drag starts";
  g.Move(g.Cell(4, 0));
  g.Move(g.Cell(4, 0) + QPoint(0, 1));
  ASSERT_TRUE(g.grid->Dragging());
  EXPECT_TRUE(g.grid->Dragger()->TrackRows);
  EXPECT_EQ(g.grid->HoverRow(), 4);
  EXPECT_EQ(g.grid->Dragger()->Snapshot.UniqueValues.AsInteger(), 5);
  EXPECT_FALSE(g.grid->ShowsSelection());
  EXPECT_NE(g.Shade(g.grid.get(), 4), plain) << "the target row is painted as selected";
  g.Release(g.Cell(4, 0));
  EXPECT_EQ(g.log, (std::vector<std::string>{"start", "drop on self from self N 5", "end self"}));
  EXPECT_FALSE(g.grid->Dragging());
  EXPECT_TRUE(g.grid->ShowsSelection());
  EXPECT_EQ(g.N(), 2) << "the release after a drag moves nothing";
  EXPECT_EQ(g.Shade(g.grid.get(), 4), plain);
}

TEST(GridRowDragging, RowsDroppedOnAnotherGridAreMarkedThereAsItsOptionsSay) {
  struct Case {
    const char* name;
    TgpGridBehaviorOptions own, others;
    bool accepts;
    bool own_shows, other_shows;  // ShowsSelection while over each grid
    const char* drop;
  };
  const Case cases[] = {
      {"tracked", {}, {}, true, false, false, "drop on other from self N 8"},
      {"not tracked inside", {gboNoInsideDragTrack}, {}, true, true, false, "drop on other from self N 8"},
      {"not tracked there", {}, {gboNoIncomingDragTrack}, true, false, true, "drop on other from self N 8"},
      {"refused", {}, {}, false, false, false, nullptr},
  };
  for (const Case& c : cases) {
    TwoGrids g;
    g.grid->SetOptionsBehavior(c.own);
    g.other.grid->SetOptionsBehavior(c.others);
    if (!c.accepts) g.other.grid->OnDragOver = nullptr;
    g.Press(g.Cell(2, 0));
    g.Move(g.Cell(5, 0));
    ASSERT_TRUE(g.grid->Dragging()) << c.name;
    EXPECT_EQ(g.grid->ShowsSelection(), c.own_shows) << c.name;
    g.Move(g.OtherCell(7, 0));
    g.Move(g.OtherCell(7, 0) + QPoint(0, 1));
    EXPECT_EQ(g.other.grid->HoverRow(), 7) << c.name;
    EXPECT_EQ(g.other.grid->ShowsSelection(), c.other_shows) << c.name;
    EXPECT_TRUE(g.grid->ShowsSelection()) << c.name << ": the drag left the first grid";
    g.Release(g.OtherCell(7, 0));
    std::vector<std::string> expected{"start"};
    if (c.drop) expected.push_back(c.drop);
    expected.push_back(c.drop ? "end other" : "end none");
    EXPECT_EQ(g.log, expected) << c.name;
    EXPECT_TRUE(g.other.grid->ShowsSelection()) << c.name << ": nothing stays marked";
    EXPECT_FALSE(g.other.grid->Dragger()->RowDragOver) << c.name;
  }
}

TEST(GridRowDragging, APressOnTheSelectionKeepsItForADragAndClearsItOnARelease) {
  TwoGrids g;
  g.grid->SetMultiSelect(true);
  g.Click(g.Cell(2, 0));
  g.Click(g.Cell(4, 0), Qt::ShiftModifier);
  ASSERT_EQ(g.Selected(), (std::vector<int>{3, 4, 5}));
  // Pressed and released on a selected row without moving away: a plain click.
  g.Press(g.Cell(3, 0));
  EXPECT_EQ(g.Selected(), (std::vector<int>{3, 4, 5})) << "kept while the button is down";
  g.Release(g.Cell(3, 0));
  EXPECT_TRUE(g.Selected().empty());
  // Dragged away: the selection goes with the drag and stays.
  g.Click(g.Cell(2, 0));
  g.Click(g.Cell(4, 0), Qt::ShiftModifier);
  g.Press(g.Cell(3, 0));
  g.Move(g.OtherCell(1, 0));
  g.Release(g.OtherCell(1, 0));
  EXPECT_EQ(g.Selected(), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(g.log.back(), "end other");
}

TEST(GridColumnDragging, ATitleTakenOutOfTheGridAndReleasedThereMovesNothing) {
  ShownGrid g(5, 300);
  TgpColumns& columns = *g.grid->Columns();
  TgpColumn* p = columns.Items(1);
  const QPoint from = g.Title(1);
  const TRect n = columns.Items(0)->TitleRect(false);
  QTest::mouseMove(g.W(), from);
  QTest::mousePress(g.W(), Qt::LeftButton, {}, from);
  // Over N's title (marks shown), then out onto the form beside the grid.
  QTest::mouseMove(g.W(), QPoint(n.Left + 3, from.y()));
  QTest::mouseMove(g.W(), QPoint(n.Left + 2, from.y()));
  ASSERT_NE(g.grid->Dragger()->MarkKind, 0);
  QTest::mouseMove(g.W(), QPoint(320, from.y()));
  EXPECT_EQ(g.grid->Dragger()->MarkKind, 0) << "the marks go with the pointer";
  QTest::mouseRelease(g.W(), Qt::LeftButton, {}, QPoint(320, from.y()));
  EXPECT_EQ(columns.IndexOf(p), 1);
  EXPECT_EQ(columns.GroupCount(), 2);
  EXPECT_EQ(g.grid->DraggedColumn(), nullptr);
  EXPECT_EQ(g.grid->PressedTitle(), nullptr);
  EXPECT_EQ(p->TitleState(), tsSortedNone) << "no title click either";
}

TEST(GridMouseEnterLeave, LeavingForgetsTheHoverAndARecordCapturedByTheMouse) {
  ShownGrid g(30);
  int entered = 0, left = 0, changes = 0;
  g.grid->OnMouseEnter = [&](TComponent*) { ++entered; };
  g.grid->OnMouseLeave = [&](TComponent*) { ++left; };
  g.grid->SetCursorType(gctInsensitiveBmrk);
  g.grid->SetOptionsPickup(TgpPickupOptions{gpoCaptureRecord});
  QTest::mouseMove(g.W(), g.Cell(2, 0));
  EXPECT_EQ(g.grid->HoverKind(), 2);
  const int entered_before = entered;
  QEnterEvent enter(QPointF(g.Cell(2, 0)), QPointF(g.Cell(2, 0)), QPointF(g.W()->mapToGlobal(g.Cell(2, 0))));
  QCoreApplication::sendEvent(g.W(), &enter);
  EXPECT_EQ(entered, entered_before + 1);
  // Held down on a row, the record follows the pointer while scrolling.
  QTest::mousePress(g.W(), Qt::LeftButton, {}, g.Cell(2, 0));
  ASSERT_TRUE(g.grid->AutoScrolling());
  ASSERT_TRUE(g.grid->Selection()->Current()->Valid);
  g.grid->OnSelectionChange = [&](TComponent*) { ++changes; };
  const int left_before = left;
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(g.W(), &leave);
  EXPECT_EQ(left, left_before + 1);
  EXPECT_EQ(g.grid->HoverKind(), 0);
  EXPECT_EQ(g.grid->HoverRow(), -1);
  EXPECT_EQ(g.grid->HoverColumn(), -1);
  EXPECT_FALSE(g.grid->Selection()->Current()->Valid) << "no record is under the pointer any more";
  EXPECT_EQ(changes, 1);
  QTest::mouseRelease(g.W(), Qt::LeftButton, {}, g.Cell(2, 0));
  // Without the captured record leaving changes nothing but the hover.
  QTest::mouseMove(g.W(), g.Cell(3, 0));
  QCoreApplication::sendEvent(g.W(), &leave);
  EXPECT_EQ(left, left_before + 2);
  EXPECT_EQ(changes, 1);
}

TEST(GridDesignTime, TheGridTakesTitlesAndBordersFromTheFormDesigner) {
  ShownGrid g(30);
  g.grid->SetOptionsBehavior(TgpGridBehaviorOptions{gboNoColumnMoving, gboNoColumnGrouping, gboNoTitleStates});
  TgpColumn* n = g.grid->Columns()->Items(0);
  EXPECT_FALSE(g.grid->CanDragColumn(n));
  EXPECT_FALSE(g.grid->CanChangeTitleState(false, n));
  g.grid->SetDesigning(true);
  EXPECT_TRUE(g.grid->CanDragColumn(n));
  EXPECT_TRUE(g.grid->CanChangeTitleState(true, n));
  const TRect title = n->TitleRect(false);
  const QPoint cell = g.Cell(3, 0);
  struct Case {
    const char* name;
    int x, y;
    bool claimed;
  };
  const Case cases[] = {
      {"a title", (title.Left + title.Right) / 2, (title.Top + title.Bottom) / 2, true},
      {"a cell", cell.x(), cell.y(), false},
  };
  for (const Case& c : cases) EXPECT_EQ(g.grid->DesignHitTest(c.x, c.y), c.claimed) << c.name;
  // Without titles the first row's column borders size the columns.
  g.grid->SetShowTitles(false);
  const TRect first = n->CellRect(0, false, false);
  EXPECT_TRUE(g.grid->DesignHitTest(first.Right, (first.Top + first.Bottom) / 2));
  EXPECT_FALSE(g.grid->DesignHitTest(first.Right, n->CellRect(3, false, false).Top + 2));
  g.grid->SetShowTitles(true);
  // A title dragged in the designer moves although the options forbid it at run time.
  TgpColumn* p = g.grid->Columns()->Items(1);
  const QPoint from = g.Title(1);
  QTest::mouseMove(g.W(), from);
  QTest::mousePress(g.W(), Qt::LeftButton, {}, from);
  QTest::mouseMove(g.W(), QPoint(title.Left + 20, from.y()));
  QTest::mouseMove(g.W(), QPoint(title.Left + 1, from.y()));
  QTest::mouseRelease(g.W(), Qt::LeftButton, {}, QPoint(title.Left + 1, from.y()));
  EXPECT_EQ(g.grid->Columns()->IndexOf(p), 0);
  EXPECT_FALSE(g.grid->Dragger()->DesignDrag);
  EXPECT_EQ(g.grid->DraggedColumn(), nullptr);
}

}  // namespace interact_drag_test

// Column sizing by the title borders and moving columns by dragging their
// titles, with real press, move and release events.
#include <gtest/gtest.h>

#include "tests/grid/interact_support.h"

namespace interact_sizing_test {

using interact::ShownGrid;

// Drags with the left button from one point to another.
void Drag(ShownGrid& g, QPoint from, QPoint to) {
  QTest::mouseMove(g.W(), from);
  QTest::mousePress(g.W(), Qt::LeftButton, {}, from);
  QTest::mouseMove(g.W(), QPoint((from.x() + to.x()) / 2, (from.y() + to.y()) / 2));
  QTest::mouseMove(g.W(), to);
  QTest::mouseRelease(g.W(), Qt::LeftButton, {}, to);
}

QPoint RightBorder(ShownGrid& g, int column) {
  const TRect r = g.grid->Columns()->Items(column)->TitleRect(false);
  return QPoint(r.Right, (r.Top + r.Bottom) / 2);
}

TEST(GridSizing, DraggingAGroupBorderWidensTheGroup) {
  ShownGrid g(5, 400);
  TgpColumn* n = g.grid->Columns()->Items(0);
  const QPoint border = RightBorder(g, 0);
  QTest::mouseMove(g.W(), g.Title(0));
  QTest::mouseMove(g.W(), border);
  EXPECT_EQ(g.grid->SizingState(), 1);
  QTest::mousePress(g.W(), Qt::LeftButton, {}, border);
  EXPECT_EQ(g.grid->SizingState(), 2);
  QTest::mouseMove(g.W(), border + QPoint(30, 0));
  EXPECT_EQ(ColumnSizer().LineX(), border.x() + 30);
  QTest::mouseRelease(g.W(), Qt::LeftButton, {}, border + QPoint(30, 0));
  EXPECT_EQ(g.grid->SizingState(), 0);
  EXPECT_EQ(n->Width(), 90);
  EXPECT_EQ(ColumnSizer().LineX(), -1);
  // Releasing left of the column's own left edge: the narrowest width.
  Drag(g, RightBorder(g, 0), QPoint(-20, RightBorder(g, 0).y()));
  EXPECT_LE(n->Width(), n->Group()->MinWidth);
}

TEST(GridSizing, AColumnWithANeighbourInItsLineStaysInsideTheGroup) {
  ShownGrid g(5, 400);
  TgpColumns& columns = *g.grid->Columns();
  TgpColumn* n = columns.Items(0);
  TgpColumn* p = columns.Items(1);
  // P beside N in one line of one group.
  columns.MoveColumn(p, n->Group(), 0, 1);
  ASSERT_EQ(columns.GroupCount(), 1);
  ASSERT_FALSE(n->LastInLine());
  const int group_width = n->Group()->Width;
  const QPoint border = RightBorder(g, 0);
  // The pointer comes from inside the title: a move to where the last test
  // left it would be no move at all.
  QTest::mouseMove(g.W(), g.Title(0));
  QTest::mouseMove(g.W(), border);
  ASSERT_EQ(g.grid->SizingState(), 1);
  QTest::mousePress(g.W(), Qt::LeftButton, {}, border);
  QTest::mouseMove(g.W(), border + QPoint(500, 0));
  EXPECT_LE(ColumnSizer().LineX(), g.grid->GroupRect(n->Group(), 1, 0).Right) << "the line stops at the group's edge";
  QTest::mouseRelease(g.W(), Qt::LeftButton, {}, QPoint(n->TitleRect(false).Left - 10, border.y()));
  EXPECT_EQ(n->Width(), 2) << "released left of the column: below the minimum gives 2";
  EXPECT_EQ(columns.Groups(0)->Width, group_width) << "the neighbour takes the rest";
}

// Wherever the sizing line of a column with a neighbour in its line is let
// go, the group keeps its width: the column takes the release point's width
// within what the neighbour can give, and the neighbour the rest.
TEST(GridSizing, ReleasingAColumnLineAnywhereKeepsItsGroupsWidth) {
  struct Case {
    const char* where;
    int release_dx;  // from the column's own left edge
    int width_n;     // -1: the group's width less the neighbour's least 2
  };
  const Case cases[] = {
      {"inside the group", 30, 30},
      {"just past the group's edge", 95, -1},
      {"far past the group's edge", 600, -1},
      {"on the grid's right edge", 299, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    ShownGrid g(5, 400);
    TgpColumns& columns = *g.grid->Columns();
    TgpColumn* n = columns.Items(0);
    TgpColumn* p = columns.Items(1);
    columns.MoveColumn(p, n->Group(), 0, 1);
    ASSERT_EQ(columns.GroupCount(), 1);
    const int group_width = n->Group()->Width;
    const int left = n->CellRect(0, false, false).Left;
    const QPoint border = RightBorder(g, 0);
    QTest::mouseMove(g.W(), g.Title(0));
    QTest::mouseMove(g.W(), border);
    QTest::mousePress(g.W(), Qt::LeftButton, {}, border);
    ASSERT_EQ(g.grid->SizingState(), 2);
    const QPoint release(left + c.release_dx, border.y());
    QTest::mouseMove(g.W(), release);
    QTest::mouseRelease(g.W(), Qt::LeftButton, {}, release);
    const int expected_n = c.width_n >= 0 ? c.width_n : group_width - 2;
    EXPECT_EQ(columns.Groups(0)->Width, group_width);
    EXPECT_EQ(n->Width(), expected_n);
    EXPECT_EQ(p->Width(), group_width - expected_n);
  }
}

TEST(GridSizing, OptionsForbidSizing) {
  ShownGrid g(5, 400);
  g.grid->SetOptionsBehavior(TgpGridBehaviorOptions{gboNoGroupSizing});
  QTest::mouseMove(g.W(), RightBorder(g, 0));
  EXPECT_EQ(g.grid->SizingState(), 0) << "a single column's border is its group's";
  g.grid->SetOptionsBehavior(TgpGridBehaviorOptions{gboNoColumnSizing});
  QTest::mouseMove(g.W(), RightBorder(g, 0) + QPoint(0, 1));
  EXPECT_EQ(g.grid->SizingState(), 1);
  // Away from the border nothing.
  QTest::mouseMove(g.W(), g.Title(0));
  EXPECT_EQ(g.grid->SizingState(), 0);
}

// Three columns N, P, Q, each a group of its own.
struct ThreeColumns : ShownGrid {
  ThreeColumns() : ShownGrid(5, 400) {
    TgpColumn* q = grid->Columns()->Add();
    q->SetFieldName("P");
    q->SetCaption("Q");
    q->SetWidth(60);
  }
  std::vector<int> GroupsOfColumns() {
    std::vector<int> out;
    for (int i = 0; i < grid->Columns()->Count(); ++i) out.push_back(grid->Columns()->Items(i)->Group()->Index);
    return out;
  }
};

TEST(GridDragging, ATitleDroppedInsideAnotherTitleJoinsItsGroup) {
  ThreeColumns g;
  TgpColumns& columns = *g.grid->Columns();
  TgpColumn* q = columns.Items(2);
  // Onto the left third of N's title: Q goes before N in N's line.
  const TRect n = columns.Items(0)->TitleRect(false);
  Drag(g, g.Title(2), QPoint(n.Left + 12, (n.Top + n.Bottom) / 2));
  EXPECT_EQ(columns.GroupCount(), 2);
  EXPECT_EQ(q->Group(), columns.Items(columns.IndexOf(q) == 0 ? 1 : 0)->Group());
  EXPECT_EQ(q->LineNo(), 0);
  EXPECT_EQ(g.grid->DraggedColumn(), nullptr);
  EXPECT_EQ(g.grid->Dragger()->MarkKind, 0) << "no marks after the drop";
}

TEST(GridDragging, WithoutGroupingATitleMovesItsWholeGroup) {
  ThreeColumns g;
  g.grid->SetOptionsBehavior(TgpGridBehaviorOptions{gboNoColumnGrouping});
  TgpColumns& columns = *g.grid->Columns();
  TgpColumn* q = columns.Items(2);
  // Onto the boundary between N and P.
  const TRect p = columns.Items(1)->TitleRect(false);
  Drag(g, g.Title(2), QPoint(p.Left, (p.Top + p.Bottom) / 2));
  EXPECT_EQ(columns.GroupCount(), 3);
  EXPECT_EQ(columns.IndexOf(q), 1);
  EXPECT_EQ(q->Group()->Index, 1);
}

TEST(GridDragging, AppOptionsForbidDragging) {
  ThreeColumns g;
  g.grid->SetOptionsBehavior(TgpGridBehaviorOptions{gboNoColumnMoving, gboNoColumnGrouping});
  const TRect p = g.grid->Columns()->Items(1)->TitleRect(false);
  Drag(g, g.Title(2), QPoint(p.Left, (p.Top + p.Bottom) / 2));
  EXPECT_EQ(g.GroupsOfColumns(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(g.grid->Columns()->Items(2)->TitleState(), tsSortedNone) << "no click either: released elsewhere";
}

TEST(GridDragging, AFixedColumnStaysAmongTheFixedOnes) {
  ThreeColumns g;
  TgpColumns& columns = *g.grid->Columns();
  columns.Items(0)->SetFixed(cfLeft);
  ASSERT_TRUE(columns.HasFixed());
  TgpColumn* fixed = columns.Items(0);
  const TRect q = columns.Items(2)->TitleRect(false);
  Drag(g, g.Title(0), QPoint(q.Right - 3, (q.Top + q.Bottom) / 2));
  EXPECT_EQ(columns.IndexOf(fixed), 0);
  EXPECT_EQ(fixed->Group()->Index, 0);
}

}  // namespace interact_sizing_test

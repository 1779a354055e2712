// The grid's mouse, with real press, move and release events: clicks on
// cells and their selections, title clicks through the sort states, the
// hover test, and automatic scrolling while the button is held beyond the rows.
#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "grid/rs_std.h"
#include "tests/grid/interact_support.h"
#include "toolkit/core/clock.h"

namespace interact_mouse_test {

using interact::ShownGrid;

TEST(GridMouse, ClickMovesTheCurrentCell) {
  ShownGrid g(30);
  g.Click(g.Cell(3, 1));
  EXPECT_EQ(g.N(), 4);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 1);
  g.Click(g.Cell(0, 0));
  EXPECT_EQ(g.N(), 1);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 0);
}

TEST(GridMouse, HitTestNamesTheBandRowAndColumn) {
  ShownGrid g(30);
  g.grid->SetShowFooters(true);
  int row = -1, column = -1;
  const QPoint cell = g.Cell(2, 1), title = g.Title(0);
  EXPECT_EQ(g.grid->HitTest(cell.x(), cell.y(), row, column), 2);
  EXPECT_EQ(row, 2);
  EXPECT_EQ(column, 1);
  EXPECT_EQ(g.grid->HitTest(title.x(), title.y(), row, column), 1);
  EXPECT_EQ(column, 0);
  const TRect footer = g.grid->Columns()->Items(1)->FooterRect(true, false);
  EXPECT_EQ(g.grid->HitTest(footer.Left + 3, footer.Top + 2, row, column), 3);
  EXPECT_EQ(column, 1);
  // Right of the last column and outside the client area: nothing.
  EXPECT_EQ(g.grid->HitTest(g.grid->ClientWidth() - 2, cell.y(), row, column), 0);
  EXPECT_EQ(g.grid->HitTest(-1, cell.y(), row, column), 0);
}

struct SelectCase {
  const char* name;
  std::vector<std::pair<int, Qt::KeyboardModifiers>> clicks;  // window rows from 0
  std::vector<int> selected;
};

TEST(GridMouse, ClicksWithShiftAndCtrlSelect) {
  const SelectCase cases[] = {
      {"plain click selects nothing", {{2, Qt::NoModifier}}, {}},
      {"shift-click selects the range from the current record", {{1, Qt::NoModifier}, {4, Qt::ShiftModifier}}, {2, 3, 4, 5}},
      {"first ctrl-click takes the current record along", {{1, Qt::NoModifier}, {3, Qt::ControlModifier}}, {2, 4}},
      {"ctrl-click again toggles the clicked record",
       {{1, Qt::NoModifier}, {3, Qt::ControlModifier}, {5, Qt::ControlModifier}, {3, Qt::ControlModifier}},
       {2, 6}},
      {"a plain click clears the selection", {{1, Qt::NoModifier}, {4, Qt::ShiftModifier}, {6, Qt::NoModifier}}, {}},
      {"ctrl-click on the current record toggles only it", {{2, Qt::NoModifier}, {2, Qt::ControlModifier}}, {3}},
  };
  for (const SelectCase& c : cases) {
    SCOPED_TRACE(c.name);
    ShownGrid g(30, 300, 260);
    g.grid->SetMultiSelect(true);
    for (const auto& [row, mods] : c.clicks) g.Click(g.Cell(row, 0), mods);
    EXPECT_EQ(g.Selected(), c.selected);
    EXPECT_EQ(g.N(), c.clicks.back().first + 1);
  }
}

TEST(GridMouse, TitleClicksCycleTheSortState) {
  ShownGrid g(5);
  TgpColumn* n = g.grid->Columns()->Items(0);
  TgpColumn* p = g.grid->Columns()->Items(1);
  std::vector<std::pair<TgpColumn*, TgpColumnTitleState>> events;
  g.grid->OnTitleStateChange = [&](TComponent*, TgpColumn* c) { events.push_back({c, c->TitleState()}); };
  g.Click(g.Title(0), Qt::ControlModifier);
  EXPECT_TRUE(events.empty()) << "ctrl-click on an unsorted title changes nothing";
  g.Click(g.Title(0));
  EXPECT_EQ(n->TitleState(), tsSortedUp);
  g.Click(g.Title(0));
  EXPECT_EQ(n->TitleState(), tsSortedDown);
  g.Click(g.Title(0));
  EXPECT_EQ(n->TitleState(), tsSortedUp) << "down goes back to up";
  g.Click(g.Title(1));
  EXPECT_EQ(p->TitleState(), tsSortedUp);
  EXPECT_EQ(n->TitleState(), tsSortedNone) << "a plain click resets the others";
  g.Click(g.Title(0), Qt::ShiftModifier);
  EXPECT_EQ(p->TitleState(), tsSortedUp) << "shift keeps the others";
  EXPECT_EQ(n->TitleState(), tsSortedUp);
  g.Click(g.Title(0), Qt::ControlModifier);
  EXPECT_EQ(n->TitleState(), tsSortedNone);
  EXPECT_EQ(p->TitleState(), tsSortedUp);
  EXPECT_EQ(events.size(), 6u);
  // Without multi-title states Shift resets the others all the same.
  g.grid->SetOptionsBehavior(TgpGridBehaviorOptions{gboNoMultiTitleStates});
  g.Click(g.Title(0), Qt::ShiftModifier);
  EXPECT_EQ(n->TitleState(), tsSortedUp);
  EXPECT_EQ(p->TitleState(), tsSortedNone);
  // A press released over another title is no click.
  QTest::mousePress(g.W(), Qt::LeftButton, {}, g.Title(1));
  QTest::mouseMove(g.W(), g.Cell(2, 0));
  QTest::mouseRelease(g.W(), Qt::LeftButton, {}, g.Cell(2, 0));
  EXPECT_EQ(p->TitleState(), tsSortedNone);
  // Columns or grids without title states stay.
  p->SetOptionsBehavior(TgpColumnBehaviorOptions{cboNoTitleStates});
  g.Click(g.Title(1));
  EXPECT_EQ(p->TitleState(), tsSortedNone);
}

// A title click whose sort fails (the application cannot make its index)
// shows the error, and the next press acts as it would have without it.
TEST(GridMouse, AFailedTitleClickLeavesTheNextPressItsOwn) {
  struct Case {
    const char* name;
    std::function<void(ShownGrid&)> next;
    std::function<void(ShownGrid&)> check;
  };
  const Case cases[] = {
      {"a click on a row makes it current",
       [](ShownGrid& g) { g.Click(g.Cell(2, 1)); },
       [](ShownGrid& g) {
         EXPECT_EQ(g.N(), 3);
         EXPECT_EQ(g.grid->CurrentColumnIndex(), 1);
       }},
      {"a click on another title sorts by it",
       [](ShownGrid& g) { g.Click(g.Title(0)); },
       [](ShownGrid& g) { EXPECT_EQ(g.grid->Columns()->Items(0)->TitleState(), tsSortedUp); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShownGrid g(20);
    std::vector<std::string> errors;
    Application->OnException = [&](TComponent*, const std::exception& e) { errors.push_back(e.what()); };
    g.grid->OnTitleStateChange = [](TComponent*, TgpColumn* column) {
      if (column->FieldName() == "P") throw Exception("Cannot create the index");
    };
    g.Click(g.Title(1));
    Application->OnException = nullptr;
    EXPECT_EQ(errors, std::vector<std::string>{"Cannot create the index"});
    EXPECT_EQ(g.grid->SizingState(), 0);
    EXPECT_EQ(g.grid->PressedTitle(), nullptr);
    c.next(g);
    c.check(g);
  }
}

// The first and last dark rows and columns of the title's inside.
struct Ink {
  int left = 10000, top = 10000, right = -1, bottom = -1;
  bool operator==(const Ink&) const = default;
};
Ink InkIn(const QImage& image, const TRect& r) {
  Ink ink;
  for (int y = r.Top + 3; y < r.Bottom - 3; ++y)
    for (int x = r.Left + 3; x < r.Right - 3; ++x)
      if (qGray(image.pixel(x, y)) < 80) {
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

TEST(GridMouse, AHeldTitleIsPaintedPressedUntilReleased) {
  TLiteDesigner lite(nullptr);
  TStandardDesigner standard(nullptr);
  for (TgpDesigner* designer : std::initializer_list<TgpDesigner*>{&lite, &standard}) {
    SCOPED_TRACE(designer == &lite ? "lite" : "standard");
    ShownGrid g(5);
    g.grid->SetDesigner(designer);
    const TRect r = g.grid->Columns()->Items(1)->TitleRect(false);
    const QImage before = g.W()->grab().toImage();
    QTest::mousePress(g.W(), Qt::LeftButton, {}, g.Title(1));
    const QImage held = g.W()->grab().toImage();
    QTest::mouseRelease(g.W(), Qt::LeftButton, {}, g.Title(1));
    const QImage after = g.W()->grab().toImage();
    // The raised edge turns sunken: its top-left corner darkens.
    EXPECT_LT(qGray(held.pixel(r.Left, r.Top)), qGray(before.pixel(r.Left, r.Top)));
    EXPECT_EQ(after.pixel(r.Left, r.Top), before.pixel(r.Left, r.Top));
    // The caption moves one pixel right and down (after the release the
    // click's sort mark joins it).
    const Ink up = InkIn(before, r), down = InkIn(held, r);
    ASSERT_GE(up.right, up.left) << "no caption found";
    EXPECT_EQ(down.left, up.left + 1);
    EXPECT_EQ(down.top, up.top + 1);
    EXPECT_EQ(down.right, up.right + 1);
    EXPECT_EQ(InkIn(after, r).left, up.left);
    g.grid->SetDesigner(nullptr);
  }
}

// Flat titles have no edge to sink and no caption to move: the held title is
// shown inverted, every pixel of it, and only it.
TEST(GridMouse, AHeldFlatTitleIsPaintedInverted) {
  TLiteDesigner lite(nullptr);
  lite.SetTitleStyle(ltsNon3D);
  TStandardDesigner standard(nullptr);
  standard.SetOptions(TStdDsgnOptions{dg3DFooter, dgMarginLines, dgBoundLines, dgHorizLines, dgHorizBackground});
  for (TgpDesigner* designer : std::initializer_list<TgpDesigner*>{&lite, &standard}) {
    SCOPED_TRACE(designer == &lite ? "lite" : "standard");
    ShownGrid g(5);
    g.grid->SetDesigner(designer);
    const TRect r = g.grid->Columns()->Items(1)->TitleRect(false);
    const TRect other = g.grid->Columns()->Items(0)->TitleRect(false);
    const QImage before = g.W()->grab().toImage();
    QTest::mousePress(g.W(), Qt::LeftButton, {}, g.Title(1));
    const QImage held = g.W()->grab().toImage();
    QTest::mouseRelease(g.W(), Qt::LeftButton, {}, g.Title(1));
    const QImage after = g.W()->grab().toImage();
    int wrong = 0, caption = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) {
        wrong += (held.pixel(x, y) & 0xFFFFFF) != (~before.pixel(x, y) & 0xFFFFFF);
        caption += qGray(held.pixel(x, y)) > 200 && qGray(before.pixel(x, y)) < 80;
      }
    EXPECT_EQ(wrong, 0) << "pixels of the held title not inverted";
    EXPECT_GT(caption, 0) << "the dark caption turns light";
    for (int y = other.Top; y < other.Bottom; ++y)
      for (int x = other.Left; x < other.Right; ++x) ASSERT_EQ(held.pixel(x, y), before.pixel(x, y));
    // Released: the title is as before but for the sort mark the click gave.
    EXPECT_EQ(after.pixel(r.Left + 1, r.Top + 1), before.pixel(r.Left + 1, r.Top + 1));
    EXPECT_EQ(InkIn(after, r).left, InkIn(before, r).left);
    g.grid->SetDesigner(nullptr);
  }
}

// A right click on a footer pops up the environment's footer menu for that
// column: its texts, pictures and radio items, the column's state checked,
// and the separator gone with "None"; the item chosen sets the state.
TEST(GridMouse, ARightClickOnAFooterShowsTheFooterMenu) {
  struct Case {
    TgpColumnFooterStates allowed;
    const char* choose;
    TgpColumnFooterState before, after;
    std::vector<std::string> shown;  // text, "*" when checked, "+" with a picture
  };
  const Case cases[] = {
      {TgpColumnFooterStates{fsAverage, fsCount, fsMax, fsMin, fsSum, fsNone}, "Maximum", fsNone, fsMax,
       {"Average+", "Count+", "Maximum+", "Minimum+", "Sum+", "-", "None*"}},
      {TgpColumnFooterStates{fsSum, fsMin}, "Sum", fsSum, fsNone, {"Minimum+", "Sum*+"}},
  };
  for (const Case& c : cases) {
    ShownGrid g(5);
    g.grid->SetShowFooters(true);
    TgpColumn* column = g.grid->Columns()->Items(1);
    column->SetFooterStates(c.allowed);
    column->SetFooterState(c.before);
    const TRect r = column->FooterRect(true, false);
    std::vector<std::string> shown;
    bool grouped = true;
    QRect placed;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      placed = menu->geometry();
      QAction* chosen = nullptr;
      for (QAction* a : menu->actions()) {
        if (!a->isVisible()) continue;
        if (a->isSeparator()) {
          shown.push_back("-");
          continue;
        }
        shown.push_back(a->text().toStdString() + (a->isChecked() ? "*" : "") + (a->icon().isNull() ? "" : "+"));
        grouped = grouped && a->actionGroup() != nullptr && a->isCheckable();
        if (a->text() == c.choose) chosen = a;
      }
      menu->close();
      if (chosen) chosen->trigger();
    });
    const QPoint click((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    QTest::mouseClick(g.W(), Qt::RightButton, {}, click);
    QApplication::processEvents();
    EXPECT_EQ(shown, c.shown);
    // The menu stands centred under the pointer, its top at the pointer.
    const QPoint at = g.W()->mapToGlobal(click);
    ASSERT_FALSE(placed.isEmpty());
    EXPECT_LE(std::abs(placed.left() + placed.width() / 2 - at.x()), 1) << placed.left() << "+" << placed.width();
    EXPECT_EQ(placed.top(), at.y());
    EXPECT_TRUE(grouped) << "radio items";
    EXPECT_EQ(column->FooterState(), c.after);
    // The shared menu keeps no word of a grid that may go.
    EXPECT_EQ(rsEnv()->pumFooterMenu->PopupComponent(), nullptr);
  }
}

TEST(GridMouse, AutomaticScrollingSpeedsUpWithTheDistance) {
  // Distance beyond the rows -> ticks (of the first twelve) that scroll.
  struct Case {
    int distance;
    std::vector<int> ticks;
  };
  const Case cases[] = {
      {0, {}},
      {10, {6, 12}},
      {40, {3, 6, 9, 12}},
      {100, {2, 3, 4, 6, 8, 9, 10, 12}},
      {150, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
  };
  for (const Case& c : cases) {
    std::vector<int> ticks;
    for (int t = 1; t <= 12; ++t)
      if (TDBGridPro::ShouldScrollNow(c.distance, t)) ticks.push_back(t);
    EXPECT_EQ(ticks, c.ticks) << c.distance;
  }
}

TEST(GridMouse, HeldBelowTheRowsTheGridScrollsDown) {
  ShownGrid g(100);
  g.grid->SetOptionsPickup(TgpPickupOptions{gpoCaptureRecord});
  const int rows = g.grid->RowCount();
  QTest::mousePress(g.W(), Qt::LeftButton, {}, g.Cell(1, 0));
  EXPECT_TRUE(g.grid->AutoScrolling());
  EXPECT_EQ(g.N(), 2);
  // The pointer leaves the grid 150 pixels below its bottom: every tick scrolls.
  QTest::mouseMove(g.W(), QPoint(g.Cell(1, 0).x(), g.grid->ClientHeight() + 150));
  for (int i = 0; i < 5; ++i) g.grid->AutoScrollTick();
  EXPECT_EQ(g.FirstShown(), 6);
  EXPECT_EQ(g.N(), rows + 5) << "the record below the last row each tick";
  // 40 pixels above the rows: every third tick goes up.
  QTest::mouseMove(g.W(), QPoint(g.Cell(1, 0).x(), g.grid->TitleBand() - 40));
  for (int i = 0; i < 6; ++i) g.grid->AutoScrollTick();
  EXPECT_EQ(g.FirstShown(), 4);
  QTest::mouseRelease(g.W(), Qt::LeftButton, {}, QPoint(5, g.grid->TitleBand() - 40));
  EXPECT_FALSE(g.grid->AutoScrolling());
  // Without gpoCaptureRecord a press starts nothing.
  g.grid->SetOptionsPickup(TgpPickupOptions{});
  QTest::mousePress(g.W(), Qt::LeftButton, {}, g.Cell(1, 0));
  EXPECT_FALSE(g.grid->AutoScrolling());
  QTest::mouseRelease(g.W(), Qt::LeftButton, {}, g.Cell(1, 0));
}

TEST(GridMouse, WheelScrollsByOneRecordBeyondTheWindow) {
  ShownGrid g(50);
  QWheelEvent down(QPointF(20, 40), QPointF(20, 40), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(g.W(), &down);
  EXPECT_EQ(g.N(), g.grid->RowCount() + 1);
}

}  // namespace interact_mouse_test

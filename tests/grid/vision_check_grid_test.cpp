// A check box cell of a real table toggled in the grid by the Space key and
// by a click, read back by an independent reader.
#include <gtest/gtest.h>

#include "grid/rs_chk.h"
#include "tests/grid/vision_grid_support.h"

namespace vision_check_grid_test {

using namespace vision_grid;

namespace {

TEST(CheckBoxVisionInGrid, SpaceAndAClickToggleTheCell) {
  MessageLog messages;
  GridTable g("vision_check_grid");
  TCheckBoxVision vision(nullptr);
  g.Column("B")->SetVision(&vision);

  // Row 1 starts unchecked: Space checks it.
  g.Edit(1, "B");
  g.Key(Qt::Key_Space);
  EXPECT_TRUE(g.table->FieldNamed("B")->GetBooleanValue());
  // Going to another row keeps the change (Escape would cancel the row's edit).
  g.Key(Qt::Key_Down);
  EXPECT_EQ(g.table->CurrentMode(), dsBrowse);

  // Row 2 starts checked: a click in the cell unchecks it.
  TgpInplaceEdit* edit = g.Edit(2, "B");
  ASSERT_NE(edit, nullptr);
  QTest::mouseClick(edit->Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(edit->Width() / 2, edit->Height() / 2));
  QApplication::processEvents();
  EXPECT_FALSE(g.table->FieldNamed("B")->GetBooleanValue());
  EXPECT_TRUE(messages.Texts.empty()) << (messages.Texts.empty() ? "" : messages.Texts[0]);
  g.Close();
  EXPECT_EQ(g.Read("r['N'], r['B']"), "1 True\n2 False\n3 False\n");
}

// From the grid itself, without F2: Space on the current cell and a click on
// a cell work the switch at once (the editor comes up and takes the key or
// the press); with vsoNeedCurrent a click on another row of the focused grid
// only makes it current.
TEST(CheckBoxVisionInGrid, SpaceAndAClickOnTheGridToggleWithoutF2) {
  MessageLog messages;
  GridTable g("vision_check_from_grid");
  TCheckBoxVision vision(nullptr);
  g.Column("B")->SetVision(&vision);
  auto cell = [&](int row) {
    const TRect r = g.Column("B")->CellRect(row, false, false);
    return QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  };
  auto click = [&](int row) {
    QTest::mouseClick(g.grid->Widget(), Qt::LeftButton, Qt::NoModifier, cell(row));
    QApplication::processEvents();
  };
  auto checked = [&] { return g.table->FieldNamed("B")->GetBooleanValue(); };

  g.Stand(1, "B");
  g.Key(Qt::Key_Space);
  EXPECT_TRUE(checked()) << "Space on the grid checked row 1";
  g.Key(Qt::Key_Down);
  EXPECT_EQ(g.table->FieldNamed("N")->GetIntegerValue(), 2);

  click(2);
  EXPECT_EQ(g.table->FieldNamed("N")->GetIntegerValue(), 3);
  EXPECT_TRUE(checked()) << "a click on row 3 checked it";

  vision.SetOptionsSwitch(vision.OptionsSwitch().Include(vsoNeedCurrent));
  g.grid->SetFocus();
  QApplication::processEvents();
  click(0);
  EXPECT_EQ(g.table->FieldNamed("N")->GetIntegerValue(), 1);
  EXPECT_TRUE(checked()) << "the first click only made row 1 current";
  click(0);
  EXPECT_FALSE(checked()) << "the second click unchecked it";
  EXPECT_TRUE(messages.Texts.empty()) << (messages.Texts.empty() ? "" : messages.Texts[0]);
  g.Close();
  EXPECT_EQ(g.Read("r['N'], r['B']"), "1 False\n2 True\n3 True\n");
}

}  // namespace

}  // namespace vision_check_grid_test

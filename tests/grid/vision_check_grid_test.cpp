// A check box cell of a real table toggled in the grid by the Space key and
// by a click, read back by an independent reader.
#include <gtest/gtest.h>

#include "grid/rs_chk.h"
#include "tests/grid/vision_grid_support.h"

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

}  // namespace

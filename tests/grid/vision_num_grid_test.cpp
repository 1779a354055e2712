// Numbers typed into a grid cell through the numeric vision and the
// calculator drop-down, posted into a real table and read back by an
// independent reader.
#include <gtest/gtest.h>

#include <QTimer>

#include "grid/rs_calc.h"
#include "grid/rs_num.h"
#include "tests/grid/vision_grid_support.h"
#include "toolkit/core/text.h"

using namespace vision_grid;

namespace {

TEST(NumericVisionInGrid, ANumberPastTheBoundsIsRefusedWithTheReasonAndALocaleNumberIsPosted) {
  MessageLog messages;
  GridTable g("vision_num_grid_bounds");
  TNumericVision vision(nullptr);
  vision.SetMaxValue(100);
  g.Column("P")->SetVision(&vision);

  g.Edit(1, "P");
  g.Type("250");
  g.Key(Qt::Key_Return);
  ASSERT_EQ(messages.Texts.size(), 1u);
  EXPECT_NE(messages.Texts[0].find("\"250\" is out of range. The allowed range is 0 to 100"), AnsiString::npos)
      << messages.Texts[0];
  EXPECT_DOUBLE_EQ(g.table->FieldNamed("P")->GetFloatValue(), 1.5) << "nothing was posted";
  g.Key(Qt::Key_Escape);
  EXPECT_DOUBLE_EQ(g.table->FieldNamed("P")->GetFloatValue(), 1.5);

  g.Edit(2, "P");
  g.Type("12,5");
  g.Key(Qt::Key_Return);
  EXPECT_EQ(messages.Texts.size(), 1u);
  g.Close();
  EXPECT_EQ(g.Read("r['N'], r['P']"), "1 1.5\n2 12.5\n3 4.5\n");
}

// Done when: the calculator drop-down computes 12.5 × 4 = 50 and posts it.
TEST(NumericVisionInGrid, TheCalculatorComputesAndPostsItsResult) {
  MessageLog messages;
  GridTable g("vision_num_grid_calc");
  TNumericVision vision(nullptr);
  vision.SetButtonStyle(pbsDropDown);
  vision.SetEnableButton(true);
  vision.SetDropDownKind(ndkCalculator);
  g.Column("P")->SetVision(&vision);
  TgpInplaceEdit* edit = g.Edit(1, "P");
  ASSERT_NE(edit, nullptr);

  // The calculator runs its own loop while it is open: the keys come from
  // inside it.
  AnsiString shown_during;
  QTimer::singleShot(0, [&] {
    QApplication::processEvents();  // the calculator takes the focus
    GridTable::Type("12");
    GridTable::Type(",");
    GridTable::Type("5*4");
    GridTable::Key(Qt::Key_Return);  // "="
    shown_during = edit->EditText();
    GridTable::Key(Qt::Key_Return);  // closes and posts
    // A drop-down that the keys did not reach is closed here, so that a
    // failure does not hang the test.
    if (TNumericVision::Calculator()->IsOpen()) TNumericVision::Calculator()->Close(false, false);
    // The loop waits for the next event before it sees the form closed.
    QTimer::singleShot(1, [] {});
  });
  edit->DropDown();
  QApplication::processEvents();
  EXPECT_TRUE(messages.Texts.empty()) << (messages.Texts.empty() ? "" : messages.Texts[0]);
  EXPECT_EQ(shown_during, "50") << "the edit shows the calculator's display";
  EXPECT_FALSE(TNumericVision::Calculator()->IsOpen());
  EXPECT_DOUBLE_EQ(g.table->FieldNamed("P")->GetFloatValue(), 50);
  g.Close();
  EXPECT_EQ(g.Read("r['N'], r['P']"), "1 50.0\n2 3.0\n3 4.5\n");
}

TEST(NumericVisionInGrid, AFailedComputationShowsErrorAndPutsTheOldTextBackOnClose) {
  MessageLog messages;
  GridTable g("vision_num_grid_error");
  TNumericVision vision(nullptr);
  vision.SetButtonStyle(pbsDropDown);
  vision.SetEnableButton(true);
  vision.SetDropDownKind(ndkCalculator);
  g.Column("P")->SetVision(&vision);
  TgpInplaceEdit* edit = g.Edit(1, "P");
  ASSERT_NE(edit, nullptr);
  AnsiString shown_during;
  QTimer::singleShot(0, [&] {
    QApplication::processEvents();  // the calculator takes the focus
    GridTable::Type("/0");
    GridTable::Key(Qt::Key_Return);
    shown_during = edit->EditText();
    GridTable::Key(Qt::Key_Escape);
    if (TNumericVision::Calculator()->IsOpen()) TNumericVision::Calculator()->Close(false, false);
    QTimer::singleShot(1, [] {});
  });
  edit->DropDown();
  QApplication::processEvents();
  EXPECT_EQ(shown_during, "Error");
  EXPECT_EQ(edit->EditText(), "1,5");
  EXPECT_TRUE(messages.Texts.empty());
  g.table->DiscardChanges();
  g.Close();
  EXPECT_EQ(g.Read("r['P']"), "1.5\n3.0\n4.5\n");
}

}  // namespace

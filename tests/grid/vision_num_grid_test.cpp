// Numbers typed into a grid cell through the numeric vision and the
// calculator drop-down, posted into a real table and read back by an
// independent reader.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include <functional>

#include "grid/rs_calc.h"
#include "grid/rs_num.h"
#include "tests/grid/vision_grid_support.h"
#include "toolkit/core/text.h"

using namespace vision_grid;

namespace {

// The P column edited through vision with the calculator drop-down.
void UseCalculator(GridTable& g, TNumericVision& vision) {
  vision.SetButtonStyle(pbsDropDown);
  vision.SetEnableButton(true);
  vision.SetDropDownKind(ndkCalculator);
  g.Column("P")->SetVision(&vision);
}

// Drops the calculator down over edit and runs keys inside its own loop;
// a calculator the keys did not close is closed after them, so that a
// failure cannot hang the test.
void WithCalculator(TgpInplaceEdit* edit, const std::function<void()>& keys) {
  QTimer::singleShot(0, [&] {
    QApplication::processEvents();  // the calculator takes the focus
    keys();
    if (TNumericVision::Calculator()->IsOpen()) TNumericVision::Calculator()->Close(false, false);
    // The loop waits for the next event before it sees the form closed.
    QTimer::singleShot(1, [] {});
  });
  edit->DropDown();
  QApplication::processEvents();
}

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
  UseCalculator(g, vision);
  TgpInplaceEdit* edit = g.Edit(1, "P");
  ASSERT_NE(edit, nullptr);

  AnsiString shown_during;
  WithCalculator(edit, [&] {
    GridTable::Type("12");
    GridTable::Type(",");
    GridTable::Type("5*4");
    GridTable::Key(Qt::Key_Return);  // "="
    shown_during = edit->EditText();
    GridTable::Key(Qt::Key_Return);  // closes and posts
  });
  EXPECT_TRUE(messages.Texts.empty()) << (messages.Texts.empty() ? "" : messages.Texts[0]);
  EXPECT_EQ(shown_during, "50") << "the edit shows the calculator's display";
  EXPECT_FALSE(TNumericVision::Calculator()->IsOpen());
  EXPECT_DOUBLE_EQ(g.table->FieldNamed("P")->GetFloatValue(), 50);
  g.Close();
  EXPECT_EQ(g.Read("r['N'], r['P']"), "1 50.0\n2 3.0\n3 4.5\n");
}

// The calculator's buttons clicked with the mouse: 12,5 × 4 = 50, and Enter
// after "=" posts it into the table.
TEST(NumericVisionInGrid, TheCalculatorsButtonsComputeWhenClicked) {
  MessageLog messages;
  GridTable g("vision_num_grid_calc_click");
  TNumericVision vision(nullptr);
  UseCalculator(g, vision);
  TgpInplaceEdit* edit = g.Edit(2, "P");
  ASSERT_NE(edit, nullptr);
  TVisionToolForm& calculator = *TNumericVision::Calculator();
  const auto button = [&](const char* caption) -> QWidget* {
    for (int i = 0; i < calculator.ControlCount(); ++i)
      if (calculator.Controls(i)->Caption() == caption) return calculator.Controls(i)->Widget();
    ADD_FAILURE() << "no button " << caption;
    return nullptr;
  };
  AnsiString shown_during;
  WithCalculator(edit, [&] {
    for (const char* caption : {"1", "2", ",", "5", "*", "4", "="})
      if (QWidget* w = button(caption)) QTest::mouseClick(w, Qt::LeftButton);
    shown_during = edit->EditText();
    GridTable::Key(Qt::Key_Return);
  });
  EXPECT_TRUE(messages.Texts.empty());
  EXPECT_EQ(shown_during, "50");
  EXPECT_FALSE(calculator.IsOpen());
  g.Close();
  EXPECT_EQ(g.Read("r['N'], r['P']"), "1 1.5\n2 50.0\n3 4.5\n");
}

TEST(NumericVisionInGrid, AFailedComputationShowsErrorAndPutsTheOldTextBackOnClose) {
  MessageLog messages;
  GridTable g("vision_num_grid_error");
  TNumericVision vision(nullptr);
  UseCalculator(g, vision);
  TgpInplaceEdit* edit = g.Edit(1, "P");
  ASSERT_NE(edit, nullptr);
  AnsiString shown_during;
  WithCalculator(edit, [&] {
    GridTable::Type("/0");
    GridTable::Key(Qt::Key_Return);
    shown_during = edit->EditText();
    GridTable::Key(Qt::Key_Escape);
  });
  EXPECT_EQ(shown_during, "Error");
  EXPECT_EQ(edit->EditText(), "1,5");
  EXPECT_TRUE(messages.Texts.empty());
  g.table->DiscardChanges();
  g.Close();
  EXPECT_EQ(g.Read("r['P']"), "1.5\n3.0\n4.5\n");
}

}  // namespace

// Numbers typed into a grid cell through the numeric vision and the
// calculator drop-down, posted into a real table and read back by an
// independent reader.
#include <gtest/gtest.h>

#include <QImage>
#include <QMetaObject>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

#include "grid/rs_calc.h"
#include "grid/rs_num.h"
#include "tests/grid/vision_grid_support.h"
#include "toolkit/core/clock.h"
#include "toolkit/sys/event_loop.h"
#include "toolkit/core/text.h"

namespace vision_num_grid_test {

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

// The calculator's button of caption.
QWidget* CalcButton(const char* caption) {
  TVisionToolForm& calculator = *TNumericVision::Calculator();
  for (int i = 0; i < calculator.ControlCount(); ++i)
    if (calculator.Controls(i)->Caption() == caption) return calculator.Controls(i)->Widget();
  ADD_FAILURE() << "no button " << caption;
  return nullptr;
}

QImage Picture(QWidget* widget) { return widget ? widget->grab().toImage() : QImage(); }

// Keys pressed on a calculator whose tick clock stands still until a step
// moves it. Each step waits, turn by turn of the event loop, for its button
// to be drawn otherwise than at rest, then runs. The step after one that ran
// looks only after a whole turn of the loop, so that the calculator has seen
// the clock moved before the button is looked at again. Should the clock be left
// standing for two seconds, it jumps on (again every two seconds), so that
// the test fails instead of hanging.
class CalcKeyPresses {
 public:
  CalcKeyPresses() : clock_(GetTickCount64()), scoped_(clock_.Source()) {
    QObject::connect(&guard_, &QTimer::timeout, [this] {
      stalled_ = true;
      AdvanceTimers(clock_, 1000);
    });
    guard_.start(2000);
  }
  ~CalcKeyPresses() { *alive_ = false; }

  // Runs act the next time the button of caption shows down.
  void When(const char* caption, std::function<void()> act) {
    QWidget* button = CalcButton(caption);
    steps_.push_back({button, Picture(button), std::move(act)});
    if (steps_.size() == 1) Post();
  }
  // Moves the clock, firing the timers due on the way.
  void Advance(uint64_t ms) {
    AdvanceTimers(clock_, ms);
    guard_.start(2000);
  }
  uint64_t Now() const { return clock_.Now(); }
  bool Stalled() const { return stalled_; }
  bool AllRan() const { return steps_.empty(); }

 private:
  struct Step {
    QWidget* button;
    QImage rest;
    std::function<void()> act;
  };

  void Post() {
    QMetaObject::invokeMethod(
        qApp, [this, alive = alive_] {
          if (*alive) Turn();
        },
        Qt::QueuedConnection);
  }
  void Turn() {
    if (steps_.empty()) return;
    Step& step = steps_.front();
    if (turns_to_wait_ > 0) {
      --turns_to_wait_;
    } else if (Picture(step.button) != step.rest) {
      const std::function<void()> act = std::move(step.act);
      steps_.pop_front();
      act();
      turns_to_wait_ = 1;
    }
    if (!steps_.empty()) Post();
  }

  TManualClock clock_;
  ScopedTickClock scoped_;
  QTimer guard_;
  bool stalled_ = false;
  int turns_to_wait_ = 0;
  std::deque<Step> steps_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

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
  AnsiString shown_during;
  WithCalculator(edit, [&] {
    for (const char* caption : {"1", "2", ",", "5", "*", "4", "="})
      if (QWidget* w = CalcButton(caption)) QTest::mouseClick(w, Qt::LeftButton);
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

// A typed key shows its button as the mouse shows it held, for 50 ms of the
// tick clock, and only then does its digit reach the edit.
TEST(NumericVisionInGrid, AKeyShowsItsButtonDownForFiftyMillisecondsBeforeItsDigitArrives) {
  MessageLog messages;
  GridTable g("vision_num_grid_calc_shown");
  TNumericVision vision(nullptr);
  UseCalculator(g, vision);
  TgpInplaceEdit* edit = g.Edit(1, "P");
  ASSERT_NE(edit, nullptr);
  QImage rest, held, at_start, at_49, after;
  AnsiString text_at_start, text_at_49, text_after;
  uint64_t waited = 0;
  bool stalled = true, all_ran = false;
  WithCalculator(edit, [&] {
    QWidget* seven = CalcButton("7");
    rest = Picture(seven);
    QTest::mousePress(seven, Qt::LeftButton);
    held = Picture(seven);
    QTest::mouseRelease(seven, Qt::LeftButton);  // the click: 7
    CalcKeyPresses presses;
    const uint64_t start = presses.Now();
    presses.When("7", [&] {
      at_start = Picture(seven);
      text_at_start = edit->EditText();
      presses.Advance(49);
    });
    presses.When("7", [&] {
      at_49 = Picture(seven);
      text_at_49 = edit->EditText();
      presses.Advance(1);
    });
    GridTable::Type("7");
    after = Picture(seven);
    text_after = edit->EditText();
    waited = presses.Now() - start;
    stalled = presses.Stalled();
    all_ran = presses.AllRan();
  });
  EXPECT_TRUE(messages.Texts.empty());
  ASSERT_FALSE(rest.isNull());
  EXPECT_NE(held, rest) << "a button held by the mouse is drawn pressed";
  EXPECT_TRUE(all_ran) << "the key never showed its button down long enough";
  EXPECT_EQ(at_start, held);
  EXPECT_EQ(at_49, held) << "still down at 49 ms";
  EXPECT_EQ(text_at_start, "7");
  EXPECT_EQ(text_at_49, "7") << "the digit arrives after the button comes up";
  EXPECT_EQ(after, rest);
  EXPECT_EQ(text_after, "77");
  EXPECT_EQ(waited, 50u);
  EXPECT_FALSE(stalled) << "the button stayed down past 50 ms";
  g.table->DiscardChanges();
}

// A key typed while another one's button shows down is pressed after it, in
// the order typed, with its own moment down.
TEST(NumericVisionInGrid, KeysTypedWhileAButtonShowsDownFollowInOrder) {
  MessageLog messages;
  GridTable g("vision_num_grid_calc_order");
  TNumericVision vision(nullptr);
  UseCalculator(g, vision);
  TgpInplaceEdit* edit = g.Edit(2, "P");
  ASSERT_NE(edit, nullptr);
  AnsiString before, in_first, in_second, after;
  bool stalled = true, all_ran = false;
  WithCalculator(edit, [&] {
    before = edit->EditText();
    CalcKeyPresses presses;
    presses.When("1", [&] {
      GridTable::Type("2");
      GridTable::Key(Qt::Key_Return);  // "=", typed while "1" is still down
      in_first = edit->EditText();
      presses.Advance(50);
    });
    presses.When("2", [&] {
      in_second = edit->EditText();
      presses.Advance(50);
    });
    presses.When("=", [&] { presses.Advance(50); });
    GridTable::Type("1");
    after = edit->EditText();
    stalled = presses.Stalled();
    all_ran = presses.AllRan();
    GridTable::Key(Qt::Key_Return);  // after "=": closes and posts
  });
  EXPECT_TRUE(messages.Texts.empty());
  EXPECT_TRUE(all_ran);
  EXPECT_FALSE(stalled);
  EXPECT_EQ(in_first, before) << "nothing arrives while the first button is down";
  EXPECT_EQ(in_second, "1");
  EXPECT_EQ(after, "12");
  EXPECT_FALSE(TNumericVision::Calculator()->IsOpen());
  g.Close();
  EXPECT_EQ(g.Read("r['N'], r['P']"), "1 1.5\n2 12.0\n3 4.5\n");
}

}  // namespace

}  // namespace vision_num_grid_test

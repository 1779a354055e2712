// The month calendar: which days the six weeks show, which day a click
// lands on, how keys, clicks and the held month buttons move the date within
// the bounds, and what the painting shows (texts read back from a recording
// canvas, colours from a bitmap).
#include "grid/rs_ctl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

#include "grid/rs_str.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/metafile.h"
#include "toolkit/ui/forms.h"

namespace calendar_test {

namespace {

class TestCalendar : public TProdiCalendar {
 public:
  using TProdiCalendar::TProdiCalendar;
  using TProdiCalendar::WMTimer;
};

TDateTime D(int y, int m, int d) { return EncodeDate(y, m, d); }

std::string DateText(TDateTime value) {
  int y, m, d;
  DecodeDate(value, y, m, d);
  return std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d);
}

// A shown form holding a calendar, with today fixed at 15 March 2024 and the
// calendar's events logged.
struct Stage {
  Stage() : saved_now(SetNowSource([] { return EncodeDate(2024, 3, 15); })), form(nullptr) {
    form.SetBounds(0, 0, 400, 400);
    calendar = new TestCalendar(&form);
    calendar->Font().SetName("Arial");
    calendar->Font().SetSize(8);
    calendar->SetParent(&form);
    calendar->SetBounds(10, 10, 0, 0);
    calendar->OnChange = [this](TComponent*) { log.push_back("change"); };
    calendar->OnPickup = [this](TComponent*) { log.push_back("pickup"); };
    form.Show();
    QApplication::processEvents();
  }
  ~Stage() {
    form.Hide();
    SetNowSource(saved_now);
  }
  QWidget* W() const { return calendar->Widget(); }
  // The widget point at the centre of day cell (column, row).
  QPoint CellCentre(int column, int row) const {
    const TRect r = calendar->CellRect(column, row);
    const int inset = calendar->BorderInset();
    return QPoint((r.Left + r.Right) / 2 + inset, (r.Top + r.Bottom) / 2 + inset);
  }
  QPoint PartCentre(TProdiCalendar::THeaderPart part) const {
    const TRect r = calendar->HeaderPartRect(part);
    const int inset = calendar->BorderInset();
    return QPoint((r.Left + r.Right) / 2 + inset, (r.Top + r.Bottom) / 2 + inset);
  }
  // The cell showing date; -1 when not shown.
  int IndexOf(TDateTime date) const {
    for (int i = 0; i < 42; ++i)
      if (calendar->CellDate(i) == date) return i;
    return -1;
  }
  TNowSource saved_now;
  TForm form;
  TestCalendar* calendar = nullptr;
  std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST(CalendarState, StartsOnTodayWithTheDocumentedDefaults) {
  const TNowSource saved = SetNowSource([] { return EncodeDate(2024, 3, 15) + 0.75; });
  TForm form(nullptr);
  TProdiCalendar calendar(&form);
  SetNowSource(saved);
  EXPECT_EQ(calendar.Date(), D(2024, 3, 15)) << "time part dropped";
  EXPECT_FALSE(calendar.NullDate());
  EXPECT_EQ(calendar.BorderStyle(), bs3D);
  EXPECT_EQ(calendar.MinDate(), 0);
  EXPECT_EQ(calendar.MaxDate(), 0);
  EXPECT_EQ(calendar.EffectiveMinDate(), int(D(1, 1, 1)));
  EXPECT_EQ(calendar.EffectiveMaxDate(), int(D(9999, 12, 31)));
  EXPECT_TRUE(calendar.ShowTodayButton());
  EXPECT_FALSE(calendar.ShowClearButton());
  EXPECT_TRUE(calendar.ShowYearNavigator());
  EXPECT_TRUE(calendar.TabStop());
  EXPECT_EQ(calendar.Color(), clWindow);
  ASSERT_NE(calendar.TodayButton(), nullptr);
  EXPECT_EQ(calendar.TodayButton()->Caption(), "Today");
}

TEST(CalendarGrid, MonthsStartingOnEachWeekdayAndLeapFebruaries) {
  Stage s;
  // The Russian locale starts weeks on Monday.
  const struct {
    int y, m;
    int leading;  // days of the previous month before the 1st
    int days;     // days of the month
  } cases[] = {
      {2024, 1, 0, 31},  {2024, 10, 1, 31}, {2024, 5, 2, 31}, {2024, 8, 3, 31}, {2024, 3, 4, 31},
      {2024, 6, 5, 30},  {2024, 9, 6, 30},  {2024, 2, 3, 29}, {2023, 2, 2, 28}, {2021, 2, 0, 28},
      {2000, 2, 1, 29},  {1900, 2, 3, 28},  {1, 1, 0, 31},    {9999, 12, 2, 31},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.y) + "-" + std::to_string(c.m));
    s.calendar->SetDate(D(c.y, c.m, 10));
    EXPECT_EQ(s.calendar->CellDate(c.leading), D(c.y, c.m, 1));
    EXPECT_EQ(s.calendar->CellDate(c.leading + c.days - 1), D(c.y, c.m, c.days));
    for (int i = 1; i < 42; ++i) ASSERT_EQ(s.calendar->CellDate(i), s.calendar->CellDate(i - 1) + 1) << i;
    // Every row starts on a Monday (toolkit weekday 2).
    EXPECT_EQ(DayOfWeek(s.calendar->CellDate(0)), 2);
  }
}

TEST(CalendarGrid, WeekdayHeadersAreTheFirstLettersFromMonday) {
  Stage s;
  const char* expected[] = {"П", "В", "С", "Ч", "П", "С", "В"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(s.calendar->WeekdayText(i), Utf8ToAnsi(expected[i])) << i;
}

TEST(CalendarGrid, MetricsFollowTheCellSizeAndTheButtons) {
  Stage s;
  TProdiCalendar& c = *s.calendar;
  ASSERT_GT(c.CellWidth(), 0);
  ASSERT_GT(c.CellHeight(), 0);
  EXPECT_EQ(c.NeededWidth(), c.CellWidth() * 7 + 42);
  const int with_button = c.NeededHeight();
  EXPECT_EQ(with_button, c.CellHeight() * 7 + 14 + 2 + c.ButtonHeight() + 3);
  EXPECT_EQ(c.HeaderHeight() % 2, 1) << "odd label height plus 10";
  EXPECT_EQ(c.Width(), c.NeededWidth() + 4) << "bs3D frame of 2 on each side";
  EXPECT_EQ(c.Height(), c.NeededHeight() + c.HeaderHeight() + 4);
  c.SetShowTodayButton(false);
  EXPECT_EQ(c.NeededHeight(), c.CellHeight() * 7 + 16);
  c.SetBorderStyle(bsNoBorder);
  c.SetBounds(0, 0, 500, 500);
  EXPECT_EQ(c.Width(), c.NeededWidth()) << "the size is forced";
  c.ChangeScale(2, 1);
  EXPECT_EQ(c.ButtonHeight(), 38);
  EXPECT_EQ(c.ButtonWidth(), 28);
  // The bigger font makes bigger cells.
  const int small = c.CellWidth();
  c.Font().SetSize(16);
  EXPECT_GT(c.CellWidth(), small);
}

TEST(CalendarHitTest, PointsMapToCellsAndOutsidePointsToNone) {
  Stage s;
  TProdiCalendar& c = *s.calendar;
  c.SetDate(D(2024, 3, 15));
  const int cw = c.CellWidth(), ch = c.CellHeight(), top = c.HeaderHeight() + ch + 5;
  const struct {
    const char* what;
    int x, y;
    int index;  // -1: no date
  } cases[] = {
      {"first cell", 6, top + 1, 0},
      {"left of the grid", 5, top + 1, -1},
      {"gap after column 0 belongs to it", 6 + cw + 2, top + 1, 0},
      {"column 6", 6 + 6 * (cw + 5) + 1, top + 1, 6},
      {"past column 6", 6 + 7 * (cw + 5), top + 1, -1},
      {"on the line above the days", 10, top, -1},
      {"weekday row", 10, c.HeaderHeight() + 2, -1},
      {"row 5 column 3", 6 + 3 * (cw + 5) + 2, top + 5 * (ch + 1) + 1, 38},
      {"below row 5", 10, top + 6 * (ch + 1) + 1, -1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    TDateTime date = -1;
    const bool hit = c.DateAt(k.x, k.y, date);
    EXPECT_EQ(hit, k.index >= 0);
    if (k.index >= 0) {
      EXPECT_EQ(DateText(date), DateText(c.CellDate(k.index)));
    }
  }
}

TEST(CalendarKeys, KeysMoveAcrossMonthAndYearEndsWithinTheBounds) {
  const struct {
    const char* what;
    TDateTime start;
    int key;
    Qt::KeyboardModifiers mods;
    TDateTime min, max;
    TDateTime expected;
    bool consumed;  // and OnChange ran
  } cases[] = {
      {"left over the year end", D(2024, 1, 1), Qt::Key_Left, {}, 0, 0, D(2023, 12, 31), true},
      {"right over the year end", D(2023, 12, 31), Qt::Key_Right, {}, 0, 0, D(2024, 1, 1), true},
      {"up a week into February", D(2024, 3, 3), Qt::Key_Up, {}, 0, 0, D(2024, 2, 25), true},
      {"down a week over leap day", D(2024, 2, 26), Qt::Key_Down, {}, 0, 0, D(2024, 3, 4), true},
      {"page down from the 31st", D(2024, 1, 31), Qt::Key_PageDown, {}, 0, 0, D(2024, 2, 29), true},
      {"page up into a short February", D(2023, 3, 31), Qt::Key_PageUp, {}, 0, 0, D(2023, 2, 28), true},
      {"page up over the year end", D(2024, 1, 10), Qt::Key_PageUp, {}, 0, 0, D(2023, 12, 10), true},
      {"ctrl page down from leap day", D(2024, 2, 29), Qt::Key_PageDown, Qt::ControlModifier, 0, 0,
       D(2025, 2, 28), true},
      {"ctrl page up", D(2024, 1, 15), Qt::Key_PageUp, Qt::ControlModifier, 0, 0, D(2023, 1, 15), true},
      {"home", D(2024, 2, 17), Qt::Key_Home, {}, 0, 0, D(2024, 2, 1), true},
      {"end of a leap February", D(2024, 2, 17), Qt::Key_End, {}, 0, 0, D(2024, 2, 29), true},
      {"right at the maximum stays", D(2024, 3, 15), Qt::Key_Right, {}, 0, D(2024, 3, 15), D(2024, 3, 15), true},
      {"left at the minimum stays", D(2024, 3, 10), Qt::Key_Left, {}, D(2024, 3, 10), 0, D(2024, 3, 10), true},
      {"page down stops at the maximum", D(2024, 3, 10), Qt::Key_PageDown, {}, 0, D(2024, 3, 20), D(2024, 3, 20),
       true},
      {"ctrl page up stops at the minimum", D(2024, 3, 10), Qt::Key_PageUp, Qt::ControlModifier, D(2023, 6, 1), 0,
       D(2023, 6, 1), true},
      {"home stops at the minimum", D(2024, 3, 10), Qt::Key_Home, {}, D(2024, 3, 5), 0, D(2024, 3, 5), true},
      {"page down at the last year", D(9999, 12, 5), Qt::Key_PageDown, {}, 0, 0, D(9999, 12, 31), true},
      {"page up at the first year", D(1, 1, 5), Qt::Key_PageUp, {}, 0, 0, D(1, 1, 1), true},
      {"a letter changes nothing but is used", D(2024, 3, 10), Qt::Key_A, {}, 0, 0, D(2024, 3, 10), true},
      {"shift left is left alone", D(2024, 3, 10), Qt::Key_Left, Qt::ShiftModifier, 0, 0, D(2024, 3, 10), false},
      {"ctrl left is left alone", D(2024, 3, 10), Qt::Key_Left, Qt::ControlModifier, 0, 0, D(2024, 3, 10), false},
      {"alt page down is left alone", D(2024, 3, 10), Qt::Key_PageDown, Qt::AltModifier, 0, 0, D(2024, 3, 10),
       false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Stage s;
    s.calendar->SetDate(k.start);
    s.calendar->SetMinDate(k.min);
    s.calendar->SetMaxDate(k.max);
    QTest::keyClick(s.W(), Qt::Key(k.key), k.mods);
    EXPECT_EQ(DateText(s.calendar->Date()), DateText(k.expected));
    EXPECT_EQ(s.log, k.consumed ? Log{"change"} : Log{});
  }
}

TEST(CalendarKeys, AKeyUsedByOnKeyDownDoesNotMoveTheDate) {
  Stage s;
  s.calendar->SetDate(D(2024, 3, 10));
  s.calendar->OnKeyDown = [](TComponent*, uint16_t& key, TShiftState) { key = 0; };
  QTest::keyClick(s.W(), Qt::Key_Right);
  EXPECT_EQ(s.calendar->Date(), D(2024, 3, 10));
  EXPECT_TRUE(s.log.empty());
}

TEST(CalendarBounds, SettersKeepMinBelowMaxAndTheViewFollows) {
  Stage s;
  TProdiCalendar& c = *s.calendar;
  c.SetMaxDate(D(2024, 3, 15));
  c.SetMinDate(D(2024, 4, 1));
  EXPECT_EQ(c.MaxDate(), D(2024, 4, 2)) << "a minimum after the maximum moves the maximum";
  c.SetMinDate(0);
  c.SetMaxDate(0);
  c.SetMinDate(D(2024, 3, 1));
  c.SetMaxDate(D(2024, 2, 1));
  EXPECT_EQ(c.MinDate(), D(2024, 1, 31)) << "a maximum below the minimum moves the minimum";

  const struct {
    const char* what;
    TDateTime date, min, max;
    bool prev, next;
    std::vector<int> disabled_months;
  } cases[] = {
      {"no bounds", D(2024, 3, 15), 0, 0, true, true, {3}},
      {"maximum in the shown month", D(2024, 3, 15), 0, D(2024, 3, 15), true, false, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
      {"minimum in the shown month", D(2024, 3, 15), D(2024, 3, 2), 0, false, true, {1, 2, 3}},
      {"bounds a year apart", D(2024, 3, 15), D(2023, 11, 30), D(2024, 5, 1), true, true, {3, 6, 7, 8, 9, 10, 11, 12}},
      {"date outside the bounds is kept", D(2025, 1, 1), D(2024, 1, 1), D(2024, 6, 1), true, false,
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    c.SetMinDate(0);
    c.SetMaxDate(0);
    c.SetDate(k.date);
    c.SetMinDate(k.min);
    c.SetMaxDate(k.max);
    EXPECT_EQ(c.Date(), k.date) << "the setter does not clamp";
    EXPECT_EQ(c.PrevMonthEnabled(), k.prev);
    EXPECT_EQ(c.NextMonthEnabled(), k.next);
    std::vector<int> disabled;
    for (int m = 1; m <= 12; ++m)
      if (!c.MonthMenu().Items().Items(m - 1)->Enabled()) disabled.push_back(m);
    EXPECT_EQ(disabled, k.disabled_months);
  }
}

TEST(CalendarParts, DatePartsBuildNewDatesAndImpossibleOnesFail) {
  Stage s;
  TProdiCalendar& c = *s.calendar;
  c.SetDate(D(2024, 2, 29));
  EXPECT_EQ(c.Year(), 2024);
  EXPECT_EQ(c.Month(), 2);
  EXPECT_EQ(c.Day(), 29);
  EXPECT_THROW(c.SetYear(2023), EConvertError);
  EXPECT_EQ(c.Date(), D(2024, 2, 29));
  c.SetYear(2028);
  EXPECT_EQ(c.Date(), D(2028, 2, 29));
  c.SetDay(10);
  c.SetMonth(12);
  EXPECT_EQ(c.Date(), D(2028, 12, 10));
  EXPECT_THROW(c.SetMonth(13), EConvertError);
  try {
    c.SetDay(32);
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid argument to date encode");
  }
}

TEST(CalendarMouse, ClicksPickDaysWithinTheBounds) {
  const struct {
    const char* what;
    TDateTime start, max;
    bool null_date;
    int column, row;  // the clicked cell
    TDateTime expected;
    Log log;
  } cases[] = {
      // March 2024 starts on a Friday: cell (4, 0) is the 1st.
      {"a day of the month", D(2024, 3, 15), 0, false, 2, 2, D(2024, 3, 13), {"change", "pickup"}},
      {"a grey day of the previous month", D(2024, 3, 15), 0, false, 0, 0, D(2024, 2, 26), {"change", "pickup"}},
      {"the selected day again", D(2024, 3, 15), 0, false, 4, 2, D(2024, 3, 15), {"change", "pickup"}},
      {"past the maximum", D(2024, 3, 15), D(2024, 3, 15), false, 5, 2, D(2024, 3, 15), {}},
      {"a day while no date is set", D(2024, 3, 15), 0, true, 2, 2, D(2024, 3, 13), {"change", "pickup"}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Stage s;
    s.calendar->SetDate(k.start);
    s.calendar->SetMaxDate(k.max);
    s.calendar->SetNullDate(k.null_date);
    QTest::mouseClick(s.W(), Qt::LeftButton, {}, s.CellCentre(k.column, k.row));
    EXPECT_EQ(DateText(s.calendar->Date()), DateText(k.expected));
    EXPECT_EQ(s.log, k.log);
    if (!k.log.empty()) {
      EXPECT_FALSE(s.calendar->NullDate()) << "picking a day clears NullDate";
    }
    // The view shows the picked day's month.
    EXPECT_EQ(s.calendar->CellDate(s.IndexOf(D(s.calendar->Year(), s.calendar->Month(), 1))),
              D(s.calendar->Year(), s.calendar->Month(), 1));
    EXPECT_LT(s.IndexOf(D(s.calendar->Year(), s.calendar->Month(), 1)), 7);
  }
}

TEST(CalendarMouse, DraggingTracksAndReleaseOutsideRestores) {
  Stage s;
  s.calendar->SetDate(D(2024, 3, 15));
  QTest::mousePress(s.W(), Qt::LeftButton, {}, s.CellCentre(1, 1));
  EXPECT_EQ(s.calendar->Date(), D(2024, 3, 5)) << "tracking follows the pointer";
  QMouseEvent move(QEvent::MouseMove, s.CellCentre(3, 3), s.W()->mapToGlobal(s.CellCentre(3, 3)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(s.W(), &move);
  EXPECT_EQ(s.calendar->Date(), D(2024, 3, 21));
  EXPECT_TRUE(s.log.empty()) << "nothing is raised while tracking";
  QTest::mouseRelease(s.W(), Qt::LeftButton, {}, QPoint(2, s.calendar->Height() - 3));
  EXPECT_EQ(s.calendar->Date(), D(2024, 3, 15)) << "released off the days: the saved date comes back";
  EXPECT_TRUE(s.log.empty());
}

TEST(CalendarMouse, AGreyDayOfTheNextMonthTurnsThePage) {
  Stage s;
  s.calendar->SetDate(D(2024, 2, 10));
  // February 2024: Thursday the 1st, 29 days: cell 32 is 1 March.
  const int index = s.IndexOf(D(2024, 3, 1));
  ASSERT_EQ(index, 32);
  QTest::mouseClick(s.W(), Qt::LeftButton, {}, s.CellCentre(index % 7, index / 7));
  EXPECT_EQ(s.calendar->Date(), D(2024, 3, 1));
  EXPECT_EQ(s.calendar->CellDate(4), D(2024, 3, 1)) << "the view shows March";
}

TEST(CalendarNavigation, RepeatScheduleOfAHeldMonthButton) {
  const struct {
    int n;
    bool due;
  } cases[] = {{0, false},   {21, false}, {22, false}, {24, true},   {25, false}, {132, true}, {133, false},
               {134, true},  {135, false}, {200, true}, {199, false}, {201, true}, {202, true}, {5000, true}};
  for (const auto& k : cases) EXPECT_EQ(TProdiCalendar::NavRepeatDue(k.n), k.due) << k.n;
}

TEST(CalendarNavigation, HoldingNextMonthRepeatsOnlyOverTheButtonUntilReleased) {
  Stage s;
  TestCalendar& c = *s.calendar;
  c.SetDate(D(2024, 1, 31));
  const QPoint next = s.PartCentre(TProdiCalendar::hpNextMonth);
  QTest::mousePress(s.W(), Qt::LeftButton, {}, next);
  EXPECT_EQ(c.Date(), D(2024, 2, 29)) << "one month at the press";
  EXPECT_EQ(s.log, Log{"change"});
  // Ticks 0 to 23 (about 0.7 s) do not repeat; tick 24 does.
  for (int i = 0; i < 24; ++i) c.WMTimer(TProdiCalendar::kNavTimer);
  EXPECT_EQ(c.Date(), D(2024, 2, 29));
  c.WMTimer(TProdiCalendar::kNavTimer);
  EXPECT_EQ(c.Date(), D(2024, 3, 29));
  EXPECT_EQ(s.log.size(), 2u);
  // Off the button the due ticks pass without moving.
  QMouseEvent off(QEvent::MouseMove, s.CellCentre(3, 3), s.W()->mapToGlobal(s.CellCentre(3, 3)), Qt::NoButton,
                  Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(s.W(), &off);
  for (int i = 0; i < 9; ++i) c.WMTimer(TProdiCalendar::kNavTimer);
  EXPECT_EQ(c.Date(), D(2024, 3, 29));
  QMouseEvent back(QEvent::MouseMove, next, s.W()->mapToGlobal(next), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(s.W(), &back);
  for (int i = 0; i < 3; ++i) c.WMTimer(TProdiCalendar::kNavTimer);
  EXPECT_EQ(c.Date(), D(2024, 4, 29)) << "repeats resume over the button";
  QTest::mouseRelease(s.W(), Qt::LeftButton, {}, next);
  for (int i = 0; i < 300; ++i) c.WMTimer(TProdiCalendar::kNavTimer);
  EXPECT_EQ(c.Date(), D(2024, 4, 29)) << "releasing stops the repeats";
}

TEST(CalendarNavigation, ButtonsStopAtTheBoundsAndTheRealTimerRuns) {
  Stage s;
  TestCalendar& c = *s.calendar;
  c.SetDate(D(2024, 3, 10));
  c.SetMaxDate(D(2024, 4, 20));
  const QPoint next = s.PartCentre(TProdiCalendar::hpNextMonth);
  QTest::mousePress(s.W(), Qt::LeftButton, {}, next);
  EXPECT_EQ(c.Date(), D(2024, 4, 10));
  EXPECT_FALSE(c.NextMonthEnabled());
  for (int i = 0; i < 300; ++i) c.WMTimer(TProdiCalendar::kNavTimer);
  EXPECT_EQ(c.Date(), D(2024, 4, 10)) << "a disabled button does not repeat";
  QTest::mouseRelease(s.W(), Qt::LeftButton, {}, next);
  s.log.clear();
  QTest::mouseClick(s.W(), Qt::LeftButton, {}, next);
  EXPECT_TRUE(s.log.empty()) << "a disabled button does nothing";
  // The previous-month button, held for real past the first repeat.
  c.SetMaxDate(0);
  c.SetDate(D(2024, 12, 10));
  const QPoint prev = s.PartCentre(TProdiCalendar::hpPrevMonth);
  QTest::mousePress(s.W(), Qt::LeftButton, {}, prev);
  EXPECT_EQ(c.Date(), D(2024, 11, 10));
  for (int i = 0; i < 300 && c.Date() == D(2024, 11, 10); ++i) QTest::qWait(10);
  EXPECT_LT(c.Date(), D(2024, 11, 10)) << "the 30 ms timer repeats";
  QTest::mouseRelease(s.W(), Qt::LeftButton, {}, prev);
}

TEST(CalendarMonthMenu, ChoosingAMonthMovesTheDate) {
  Stage s;
  s.calendar->SetDate(D(2024, 3, 31));
  const TMenuItem* item = s.calendar->MonthMenu().Items().Items(3);
  EXPECT_EQ(item->Caption(), Utf8ToAnsi("Апрель"));
  s.calendar->MonthMenu().Items().Items(3)->Click();
  EXPECT_EQ(s.calendar->Date(), D(2024, 4, 30));
  EXPECT_EQ(s.log, Log{"change"});
  s.calendar->MonthMenu().Items().Items(0)->Click();
  EXPECT_EQ(s.calendar->Date(), D(2024, 1, 30));
}

TEST(CalendarButtons, TodayAndClearPickAndFollowTheState) {
  Stage s;
  TProdiCalendar& c = *s.calendar;
  c.SetDate(D(2020, 5, 5));
  c.SetShowClearButton(true);
  ASSERT_NE(c.ClearButton(), nullptr);
  EXPECT_EQ(c.ClearButton()->Caption(), rsLoadStr(SClear));
  EXPECT_TRUE(c.ClearButton()->Enabled());
  // Today at the left margin, Clear at the right, same width, 3 above the bottom.
  const TRect today = c.TodayButton()->BoundsRect(), clear = c.ClearButton()->BoundsRect();
  EXPECT_EQ(today.Width(), clear.Width());
  EXPECT_EQ(today.Top, clear.Top);
  EXPECT_EQ(today.Bottom, c.Height() - c.BorderInset() - 3);
  EXPECT_EQ(today.Left - c.BorderInset(), c.Width() - c.BorderInset() - clear.Right);

  c.TodayButton()->Click();
  EXPECT_EQ(c.Date(), D(2024, 3, 15));
  EXPECT_EQ(s.log, (Log{"change", "pickup"}));
  s.log.clear();
  c.ClearButton()->Click();
  EXPECT_TRUE(c.NullDate());
  EXPECT_FALSE(c.ClearButton()->Enabled());
  EXPECT_EQ(s.log, (Log{"change", "pickup"}));
  c.SetDate(D(2024, 3, 1));
  EXPECT_FALSE(c.NullDate());
  EXPECT_TRUE(c.ClearButton()->Enabled());
  c.SetDisableClearButton(true);
  EXPECT_FALSE(c.ClearButton()->Enabled());
  c.SetMaxDate(D(2024, 3, 14));
  EXPECT_FALSE(c.TodayButton()->Enabled()) << "today beyond the maximum";
  c.SetShowClearButton(false);
  c.SetShowTodayButton(false);
  EXPECT_EQ(c.ClearButton(), nullptr);
  EXPECT_EQ(c.TodayButton(), nullptr);
}

// ---- Painting -------------------------------------------------------------------

struct Painted {
  explicit Painted(TProdiCalendar& c) {
    TMetafileCanvas canvas(meta);
    c.PaintTo(canvas);
    runs = meta.TextRuns();
  }
  const TMetaTextRun* Find(const AnsiString& text, int x_from, int x_to, int y_from, int y_to) const {
    for (const auto& r : runs)
      if (r.text == text && r.x >= x_from && r.x < x_to && r.y >= y_from && r.y < y_to) return &r;
    return nullptr;
  }
  TMetafile meta;
  std::vector<TMetaTextRun> runs;
};

TEST(CalendarPaint, HeaderShowsTheRussianMonthAndTheYear) {
  const struct {
    TDateTime date;
    const char* month;
  } cases[] = {{D(2024, 3, 15), "Март"}, {D(1999, 12, 1), "Декабрь"}, {D(2024, 2, 29), "Февраль"}};
  Stage s;
  for (const auto& k : cases) {
    s.calendar->SetDate(k.date);
    Painted p(*s.calendar);
    const TRect month = s.calendar->HeaderPartRect(TProdiCalendar::hpMonthLabel);
    const TRect year = s.calendar->HeaderPartRect(TProdiCalendar::hpYearLabel);
    // A long name may pass the label's edges; it stays centred on the label.
    const TMetaTextRun* m = p.Find(Utf8ToAnsi(k.month), 0, s.calendar->NeededWidth(), 0, s.calendar->HeaderHeight());
    ASSERT_NE(m, nullptr) << k.month;
    EXPECT_TRUE(m->font.Style().Contains(fsBold));
    TMetafile scratch;
    TMetafileCanvas measure(scratch);
    measure.Font().Assign(m->font);
    EXPECT_NEAR(m->x + measure.TextWidth(m->text) / 2.0, (month.Left + month.Right) / 2.0, 1.0) << k.month;
    EXPECT_NE(p.Find(IntToStr(s.calendar->Year()), year.Left, year.Right, 0, s.calendar->HeaderHeight()), nullptr);
    for (int i = 0; i < 7; ++i)
      EXPECT_NE(p.Find(s.calendar->WeekdayText(i), 6 + i * (s.calendar->CellWidth() + 5),
                       6 + (i + 1) * (s.calendar->CellWidth() + 5), s.calendar->HeaderHeight(),
                       s.calendar->HeaderHeight() + s.calendar->CellHeight()),
                nullptr)
          << i;
  }
}

TEST(CalendarPaint, DayNumbersTakeTheColourOfTheirKind) {
  Stage s;
  TProdiCalendar& c = *s.calendar;
  c.SetDate(D(2024, 3, 13));
  c.SetMinDate(D(2024, 3, 4));
  Painted p(c);
  const struct {
    const char* what;
    int index;
    const char* text;
    TColor color;  // of the last run in the cell
    int runs;      // runs drawn in the cell
  } cases[] = {
      {"grey day of February, also below the minimum", 0, "26", clBtnShadow, 2},
      {"day below the minimum is embossed", 6, "3", clBtnShadow, 2},
      {"ordinary day", 8, "5", clWindowText, 1},
      {"selected day", 16, "13", clHighlightText, 1},
      {"grey day of April", 35, "1", clGrayText, 1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    const TRect r = c.CellRect(k.index % 7, k.index / 7);
    std::vector<const TMetaTextRun*> in_cell;
    for (const auto& run : p.runs)
      if (run.x >= r.Left && run.x <= r.Right + 1 && run.y >= r.Top && run.y <= r.Bottom) in_cell.push_back(&run);
    ASSERT_EQ(int(in_cell.size()), k.runs);
    EXPECT_EQ(in_cell.back()->text, k.text);
    EXPECT_EQ(in_cell.back()->font.Color(), k.color);
    EXPECT_FALSE(in_cell.back()->font.Style().Contains(fsBold));
    if (k.runs == 2) {
      EXPECT_EQ(in_cell[0]->font.Color(), clBtnHighlight);
      EXPECT_EQ(in_cell[0]->x, in_cell[1]->x + 1);
      EXPECT_EQ(in_cell[0]->y, in_cell[1]->y + 1);
    }
  }
  int days = 0;
  for (const auto& run : p.runs)
    if (run.y >= c.CellRect(0, 0).Top) ++days;
  EXPECT_EQ(days, 42 + 7) << "42 numbers, the seven before the 4th embossed twice";
}

TEST(CalendarPaint, SelectionAndTodayShowAsPixels) {
  Stage s;
  TProdiCalendar& c = *s.calendar;
  c.SetDate(D(2024, 3, 13));
  const struct {
    const char* what;
    bool null_date;
    bool show_today;
    TColor selection;  // at the left end of the widened selection
    TColor today;      // on today's outline
  } cases[] = {
      {"selected, today outlined", false, true, clBtnShadow, RGB(128, 0, 0)},
      {"no date, no today button", true, false, clWindow, clWindow},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    c.SetNullDate(k.null_date);
    c.SetShowTodayButton(k.show_today);
    TBitmap bitmap;
    bitmap.SetSize(c.NeededWidth(), c.NeededHeight() + c.HeaderHeight());
    c.PaintTo(bitmap.Canvas());
    const TRect sel = c.CellRect(16 % 7, 16 / 7);  // the 13th
    const TRect today = c.CellRect(18 % 7, 18 / 7);  // the 15th
    const int third = c.CellWidth() / 3;
    EXPECT_EQ(bitmap.Canvas().Pixel(sel.Left - third + 1, sel.Top + 1), ColorToRGB(k.selection));
    EXPECT_EQ(bitmap.Canvas().Pixel(today.Left - third, today.Top + c.CellHeight() / 2), ColorToRGB(k.today));
    EXPECT_EQ(bitmap.Canvas().Pixel(0, 0), ColorToRGB(cl3DLight)) << "raised header bevel";
    EXPECT_EQ(bitmap.Canvas().Pixel(c.NeededWidth() - 1, c.HeaderHeight() - 1), ColorToRGB(cl3DDkShadow));
    EXPECT_EQ(bitmap.Canvas().Pixel(c.NeededWidth() / 2, c.HeaderHeight() + 1), ColorToRGB(clWindow));
  }
}

}  // namespace

namespace {

TEST(CalendarPaint, TheShownControlDrawsItsFrameAndTheDaysInsideIt) {
  const struct {
    TvpBorderStyle style;
    int inset;
    TColor corner;  // the top-left pixel
  } cases[] = {{bs3D, 2, clBtnShadow}, {bsFlat, 1, clBtnShadow}, {bsNoBorder, 0, cl3DLight}};
  for (const auto& k : cases) {
    SCOPED_TRACE(int(k.style));
    Stage s;
    TProdiCalendar& c = *s.calendar;
    c.SetBorderStyle(k.style);
    c.SetDate(D(2024, 3, 13));
    EXPECT_EQ(c.BorderInset(), k.inset);
    EXPECT_EQ(c.Width(), c.NeededWidth() + 2 * k.inset);
    const QImage image = s.W()->grab().toImage();
    const QRgb corner = image.pixel(0, 0);
    EXPECT_EQ(RGB(qRed(corner), qGreen(corner), qBlue(corner)), ColorToRGB(k.corner));
    const TRect sel = c.CellRect(16 % 7, 16 / 7);  // the selected 13th
    const QRgb p = image.pixel(sel.Left - c.CellWidth() / 3 + 1 + k.inset, sel.Top + 1 + k.inset);
    EXPECT_EQ(RGB(qRed(p), qGreen(p), qBlue(p)), ColorToRGB(clBtnShadow));
  }
}

}  // namespace

namespace {

TEST(CalendarYear, TheSharedNavigatorEditsTheYearOfTheCalendarPressed) {
  TvpYearNaviObj& nav = YearNavigator();
  EXPECT_EQ(nav.Year(), 0) << "idle";
  const TPropInfo* year = GetPropInfo(TvpYearNaviObj::StaticClassInfo(), "Year");
  ASSERT_NE(year, nullptr) << "published for the object data set";
  {
    Stage s;
    s.calendar->SetDate(D(2024, 2, 29));
    QTest::mouseClick(s.W(), Qt::LeftButton, {}, s.PartCentre(TProdiCalendar::hpYearLabel));
    ASSERT_EQ(nav.Calendar(), s.calendar);
    EXPECT_EQ(nav.Year(), 2024);
    s.log.clear();
    nav.SetYear(2024);
    EXPECT_TRUE(s.log.empty()) << "the same year changes nothing";
    nav.Spin(true);
    EXPECT_EQ(s.calendar->Date(), D(2025, 2, 28)) << "29 February 2025 does not exist";
    EXPECT_EQ(s.log, Log{"change"});
    s.log.clear();
    nav.SetYear(2028);
    EXPECT_EQ(s.calendar->Date(), D(2028, 2, 28)) << "the day stays where the common year put it";
    s.calendar->SetDate(D(2028, 2, 29));
    nav.SetYear(2032);
    EXPECT_EQ(s.calendar->Date(), D(2032, 2, 29)) << "a leap year keeps the 29th";
    EXPECT_THROW(nav.SetYear(10000), EConvertError);
    EXPECT_EQ(s.calendar->Date(), D(2032, 2, 29));
    s.calendar->SetDate(D(2031, 1, 31));
    nav.SetYear(2030);
    EXPECT_EQ(s.calendar->Date(), D(2030, 1, 31));
    EXPECT_EQ(s.log, (Log{"change", "change", "change"}));
    s.calendar->SetDate(D(2028, 2, 10));
    nav.Spin(false);
    EXPECT_EQ(s.calendar->Date(), D(2027, 2, 10));
    EXPECT_EQ(s.calendar->CellDate(0), D(2027, 2, 1)) << "the view follows (a Monday the 1st)";
    s.calendar->SetShowYearNavigator(false);
    nav.SetCalendar(nullptr);
    QTest::mouseClick(s.W(), Qt::LeftButton, {}, s.PartCentre(TProdiCalendar::hpYearLabel));
    EXPECT_EQ(nav.Calendar(), nullptr) << "no year navigator";
    nav.SetCalendar(s.calendar);
  }
  EXPECT_EQ(nav.Calendar(), nullptr) << "a destroyed calendar lets go of the navigator";
}

}  // namespace

namespace {

// The calendar's window made active, so that presses and keys move the focus.
void Activate(Stage& s) {
  s.form.Widget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(s.form.Widget()));
}

QWidget* FocusWidget() { return QApplication::focusWidget(); }

void KeyToFocus(Qt::Key key) {
  QWidget* focus = FocusWidget();
  ASSERT_NE(focus, nullptr);
  QTest::keyClick(focus, key);
}

// A click on the upper or lower half of the editor's spin button.
void ClickSpin(TvpYearEditor& editor, bool upper) {
  const TRect b = editor.ButtonRect();
  ASSERT_GT(b.Right, b.Left) << "the editor has its spin button";
  const int x = (b.Left + b.Right) / 2;
  const int y = upper ? b.Top + (b.Bottom - b.Top) / 4 : b.Bottom - (b.Bottom - b.Top) / 4 - 1;
  QTest::mouseClick(editor.Widget(), Qt::LeftButton, {}, QPoint(x, y));
}

TEST(CalendarYearEditor, OpensOverTheYearLabelAndStepsTheYearByKeysAndSpinButton) {
  Stage s;
  Activate(s);
  s.calendar->SetDate(D(2024, 2, 29));
  QTest::mouseClick(s.W(), Qt::LeftButton, {}, s.PartCentre(TProdiCalendar::hpYearLabel));
  TvpYearEditor* editor = YearEditor();
  ASSERT_EQ(editor->Calendar(), s.calendar);
  EXPECT_EQ(YearNavigator().Calendar(), s.calendar);
  EXPECT_TRUE(editor->Visible());
  EXPECT_EQ(editor->Parent(), s.calendar);
  EXPECT_EQ(FocusWidget(), editor->Widget());
  EXPECT_EQ(editor->EditText(), "2024");
  const TRect label = s.calendar->HeaderPartRect(TProdiCalendar::hpYearLabel);
  const int inset = s.calendar->BorderInset();
  EXPECT_EQ(editor->Left(), inset + label.Left + 1);
  EXPECT_EQ(editor->Width(), label.Right - label.Left - 1);
  EXPECT_GE(editor->Height(), 20);
  EXPECT_LE(std::abs(2 * editor->Top() + editor->Height() - 2 * inset - label.Top - label.Bottom), 1)
      << "centred on the label";

  s.log.clear();
  QTest::keyClicks(FocusWidget(), "7");
  EXPECT_EQ(editor->EditText(), "2024") << "the year is not typed";
  EXPECT_EQ(s.calendar->Date(), D(2024, 2, 29));

  KeyToFocus(Qt::Key_Up);
  EXPECT_EQ(s.calendar->Date(), D(2025, 2, 28)) << "29 February moved into a common year";
  EXPECT_EQ(editor->EditText(), "2025");
  EXPECT_EQ(editor->SelLength(), 4) << "the stepped year is selected";
  KeyToFocus(Qt::Key_Down);
  EXPECT_EQ(s.calendar->Date(), D(2024, 2, 28));
  EXPECT_EQ(editor->EditText(), "2024");
  EXPECT_EQ(s.log, (Log{"change", "change"}));

  const struct {
    bool upper;
    int year;
  } clicks[] = {{true, 2025}, {true, 2026}, {false, 2025}};
  for (const auto& c : clicks) {
    ClickSpin(*editor, c.upper);
    EXPECT_EQ(s.calendar->Year(), c.year) << c.upper;
    EXPECT_EQ(editor->EditText(), IntToStr(c.year));
  }
  EXPECT_EQ(s.calendar->CellDate(s.IndexOf(D(2025, 2, 1))), D(2025, 2, 1)) << "the days follow the year";

  // A press on a day elsewhere in the calendar takes the focus: the editor
  // goes and the press picks the day.
  s.log.clear();
  const int index = s.IndexOf(D(2025, 2, 12));
  ASSERT_GE(index, 0);
  QTest::mouseClick(s.W(), Qt::LeftButton, {}, s.CellCentre(index % 7, index / 7));
  EXPECT_FALSE(editor->Visible());
  EXPECT_EQ(editor->Parent(), nullptr);
  EXPECT_EQ(editor->Calendar(), nullptr);
  EXPECT_EQ(YearNavigator().Calendar(), nullptr);
  EXPECT_EQ(s.calendar->Date(), D(2025, 2, 12));
  EXPECT_EQ(s.log, (Log{"change", "pickup"}));
}

TEST(CalendarYearEditor, StopsAtTheFirstAndLastYears) {
  const struct {
    TDateTime date;
    Qt::Key key;
  } cases[] = {{D(9999, 12, 31), Qt::Key_Up}, {D(1, 1, 1), Qt::Key_Down}};
  for (const auto& c : cases) {
    Stage s;
    Activate(s);
    s.calendar->SetDate(c.date);
    QTest::mouseClick(s.W(), Qt::LeftButton, {}, s.PartCentre(TProdiCalendar::hpYearLabel));
    ASSERT_EQ(YearEditor()->Calendar(), s.calendar);
    s.log.clear();
    KeyToFocus(c.key);
    EXPECT_EQ(s.calendar->Date(), c.date);
    EXPECT_TRUE(s.log.empty());
    EXPECT_EQ(YearEditor()->EditText(), IntToStr(s.calendar->Year()));
  }
}

// The editor belongs to no calendar: one destroyed while it is open lets it
// go, and the next calendar pressed gets an editor that works.
TEST(CalendarYearEditor, OutlivesTheCalendarItServedAndServesTheNext) {
  {
    Stage s;
    Activate(s);
    QTest::mouseClick(s.W(), Qt::LeftButton, {}, s.PartCentre(TProdiCalendar::hpYearLabel));
    ASSERT_EQ(YearEditor()->Parent(), s.calendar);
  }
  TvpYearEditor* editor = YearEditor();
  EXPECT_EQ(editor->Parent(), nullptr);
  EXPECT_EQ(editor->Calendar(), nullptr);
  EXPECT_EQ(YearNavigator().Calendar(), nullptr);
  Stage s;
  Activate(s);
  s.calendar->SetDate(D(2030, 6, 1));
  s.calendar->SetShowYearNavigator(false);
  QTest::mouseClick(s.W(), Qt::LeftButton, {}, s.PartCentre(TProdiCalendar::hpYearLabel));
  EXPECT_EQ(YearEditor()->Calendar(), nullptr) << "no year navigator, no editor";
  s.calendar->SetShowYearNavigator(true);
  QTest::mouseClick(s.W(), Qt::LeftButton, {}, s.PartCentre(TProdiCalendar::hpYearLabel));
  editor = YearEditor();
  EXPECT_EQ(editor->Parent(), s.calendar);
  EXPECT_EQ(editor->EditText(), "2030");
  EXPECT_EQ(FocusWidget(), editor->Widget());
  KeyToFocus(Qt::Key_Up);
  EXPECT_EQ(s.calendar->Date(), D(2031, 6, 1));
}

}  // namespace

}  // namespace calendar_test

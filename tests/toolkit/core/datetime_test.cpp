#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace datetime_test {

AnsiString R(const char* utf8) { return Utf8ToAnsi(utf8); }

// Russian settings and a wall clock fixed at 2024-06-15 10:20:30 for every test.
class DateTime : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetNowSource([] { return EncodeDateTime(2024, 6, 15, 10, 20, 30, 0); });
  }
  void TearDown() override { SetNowSource(previous_); }

  ScopedFormatSettings russian_{TFormatSettings::Russian()};
  TNowSource previous_;
};

// Days since 1899-12-30 by the standard library's calendar, as an independent reference.
int ReferenceDayNumber(int y, int m, int d) {
  using namespace std::chrono;
  const sys_days day{year{y} / month{static_cast<unsigned>(m)} / static_cast<unsigned>(d)};
  const sys_days base{year{1899} / December / 30};
  return static_cast<int>((day - base).count());
}

// ---- Encoding and decoding ------------------------------------------------------

TEST_F(DateTime, DayNumbersCountFromTheLastDaysOf1899) {
  struct Case {
    int y, m, d;
    double expected;
  };
  const Case cases[] = {
      {1899, 12, 30, 0},  {1899, 12, 29, -1},   {1900, 1, 1, 2},       {2000, 1, 1, 36526},
      {2024, 2, 29, 45351}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.y << "-" << c.m << "-" << c.d);
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.expected);
  }
}

TEST_F(DateTime, EveryDateRoundTripsAgainstTheReferenceCalendar) {
  // Every 7th day across the whole range, plus the ends, hits every month and leap rule.
  for (int n = -693593; n <= 2958465; n += (n < 2958458 ? 7 : 1)) {
    int y, m, d;
    DecodeDate(n, y, m, d);
    ASSERT_EQ(ReferenceDayNumber(y, m, d), n) << y << "-" << m << "-" << d;
    ASSERT_EQ(EncodeDate(y, m, d), n);
  }
}

TEST_F(DateTime, TimesRoundTripToTheMillisecond) {
  for (int ms = 0; ms < MSecsPerDay; ms += 999983) {
    const int h = ms / 3600000, n = ms / 60000 % 60, s = ms / 1000 % 60, z = ms % 1000;
    int h2, n2, s2, z2;
    DecodeTime(EncodeTime(h, n, s, z), h2, n2, s2, z2);
    ASSERT_EQ(h2 * 3600000 + n2 * 60000 + s2 * 1000 + z2, ms);
    // With a date in front, before and after 1899-12-30.
    for (int year : {2024, 1850}) {
      int y, m, d;
      DecodeDateTime(EncodeDateTime(year, 3, 5, h, n, s, z), y, m, d, h2, n2, s2, z2);
      ASSERT_EQ(h2 * 3600000 + n2 * 60000 + s2 * 1000 + z2, ms) << year;
      ASSERT_EQ(y * 10000 + m * 100 + d, year * 10000 + 305);
    }
  }
  EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_EQ(EncodeTime(24, 0, 0, 0), 1.0);
}

TEST_F(DateTime, BeforeTheEpochTheTimeStillCountsForward) {
  int y, m, d, h, n, s, z;
  DecodeDateTime(-1.25, y, m, d, h, n, s, z);
  EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, z}), (std::vector<int>{1899, 12, 29, 6, 0, 0, 0}));
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
}

TEST_F(DateTime, AFractionJustShortOfMidnightIsTheNextDay) {
  int y, m, d, h, n, s, z;
  DecodeDateTime(EncodeDate(2024, 12, 31) + 0.9999999999, y, m, d, h, n, s, z);
  EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, z}), (std::vector<int>{2025, 1, 1, 0, 0, 0, 0}));
}

TEST_F(DateTime, ImpossibleDatesAndTimesAreRefused) {
  const int dates[][3] = {{2023, 2, 29}, {0, 1, 1},  {10000, 1, 1}, {2024, 13, 1},
                          {2024, 0, 1},  {2024, 4, 31}, {2024, 1, 0}, {1900, 2, 29}};
  for (const auto& c : dates) {
    SCOPED_TRACE(testing::Message() << c[0] << "-" << c[1] << "-" << c[2]);
    try {
      EncodeDate(c[0], c[1], c[2]);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "Invalid argument to date encode");
    }
    TDateTime unused = 7;
    EXPECT_FALSE(TryEncodeDate(c[0], c[1], c[2], unused));
    EXPECT_EQ(unused, 7);
  }
  const int times[][4] = {{24, 0, 0, 1}, {25, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}};
  for (const auto& c : times) {
    SCOPED_TRACE(testing::Message() << c[0] << ":" << c[1] << ":" << c[2] << "." << c[3]);
    try {
      EncodeTime(c[0], c[1], c[2], c[3]);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "Invalid argument to time encode");
    }
  }
}

TEST_F(DateTime, ValuesOutsideTheCalendarDecodeToZeros) {
  for (double v : {std::nan(""), 1e12, -1e12, -693594.0, 2958466.0, std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(v);
    int y = 1, m = 1, d = 1, h = 1, n = 1, s = 1, z = 1;
    DecodeDateTime(v, y, m, d, h, n, s, z);
    EXPECT_EQ((std::vector<int>{y, m, d, h, n, s, z}), (std::vector<int>(7, 0)));
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy hh:nn mmmm dddd", v), "00.00.0000 00:00  ");
  }
}

TEST_F(DateTime, CalendarRules) {
  struct Leap {
    int year;
    bool leap;
  };
  for (const Leap c : {Leap{1900, false}, Leap{2000, true}, Leap{2024, true}, Leap{2023, false}, Leap{2100, false}}) {
    EXPECT_EQ(IsLeapYear(c.year), c.leap) << c.year;
  }
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(2024, 4), 30);
  EXPECT_EQ(DaysInMonth(2024, 12), 31);
  EXPECT_EQ(DaysInMonth(2024, 13), 0);
  // 1 is Sunday.
  EXPECT_EQ(DayOfWeek(0), 7);
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 1)), 2);
  EXPECT_EQ(DayOfWeek(EncodeDate(2023, 12, 31) + 0.99), 1);
  EXPECT_EQ(DayOfWeek(EncodeDate(1850, 6, 1)), 7);
}

TEST_F(DateTime, IncMonthClampsTheDayAndKeepsTheTime) {
  struct Case {
    TDateTime from;
    int months;
    TDateTime expected;
  };
  const Case cases[] = {
      {EncodeDate(2024, 1, 31), 1, EncodeDate(2024, 2, 29)},
      {EncodeDate(2023, 1, 31), 1, EncodeDate(2023, 2, 28)},
      {EncodeDate(2024, 3, 31), -1, EncodeDate(2024, 2, 29)},
      {EncodeDate(2024, 12, 15), 1, EncodeDate(2025, 1, 15)},
      {EncodeDate(2024, 1, 15), -13, EncodeDate(2022, 12, 15)},
      {EncodeDate(2024, 1, 15), 0, EncodeDate(2024, 1, 15)},
      {EncodeDateTime(2024, 1, 31, 10, 30, 0, 0), 1, EncodeDateTime(2024, 2, 29, 10, 30, 0, 0)},
      {EncodeDateTime(1850, 1, 31, 6, 0, 0, 0), 1, EncodeDateTime(1850, 2, 28, 6, 0, 0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " + " << c.months);
    EXPECT_DOUBLE_EQ(IncMonth(c.from, c.months), c.expected);
  }
  EXPECT_THROW(IncMonth(EncodeDate(9999, 12, 1), 1), EConvertError);
  EXPECT_THROW(IncMonth(EncodeDate(1, 1, 15), -1), EConvertError);
}

// ---- Time stamps ------------------------------------------------------------------

TEST_F(DateTime, TimeStampsCountDaysFromYearOne) {
  const TTimeStamp epoch = DateTimeToTimeStamp(0);
  EXPECT_EQ(epoch.Date, 693594);
  EXPECT_EQ(epoch.Time, 0);
  const TTimeStamp first = DateTimeToTimeStamp(EncodeDate(1, 1, 1));
  EXPECT_EQ(first.Date, 1);
  const TTimeStamp noon = DateTimeToTimeStamp(EncodeDateTime(2024, 1, 1, 12, 0, 0, 5));
  EXPECT_EQ(noon.Date, 693594 + 45292);
  EXPECT_EQ(noon.Time, 43200005);

  for (TDateTime v : {0.0, EncodeDateTime(2024, 1, 1, 12, 0, 0, 5), EncodeDateTime(1850, 6, 1, 23, 59, 59, 999),
                      EncodeDate(9999, 12, 31)}) {
    SCOPED_TRACE(v);
    const TTimeStamp ts = DateTimeToTimeStamp(v);
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(ts), v);
    const TTimeStamp back = MSecsToTimeStamp(TimeStampToMSecs(ts));
    EXPECT_EQ(back.Date, ts.Date);
    EXPECT_EQ(back.Time, ts.Time);
  }
  EXPECT_EQ(TimeStampToMSecs(TTimeStamp{5, 2}), int64_t{2} * MSecsPerDay + 5);
}

TEST_F(DateTime, BadTimeStampsAreRefused) {
  EXPECT_THROW(DateTimeToTimeStamp(std::nan("")), EConvertError);
  EXPECT_THROW(DateTimeToTimeStamp(1e12), EConvertError);
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{-1, 5}), EConvertError);
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{MSecsPerDay, 5}), EConvertError);
  EXPECT_THROW(TimeStampToDateTime(TTimeStamp{0, 0}), EConvertError);
  EXPECT_THROW(MSecsToTimeStamp(-1), EConvertError);
  EXPECT_THROW(MSecsToTimeStamp(int64_t{1} << 62), EConvertError);
  EXPECT_THROW(DayOfWeek(-1e9), EConvertError);
}

// ---- The wall clock ----------------------------------------------------------------

TEST_F(DateTime, NowComesFromTheInstalledSource) {
  EXPECT_EQ(Now(), EncodeDateTime(2024, 6, 15, 10, 20, 30, 0));
  EXPECT_EQ(Date(), EncodeDate(2024, 6, 15));
  EXPECT_NEAR(Time(), EncodeTime(10, 20, 30, 0), 1e-9);  // the date costs the fraction some bits
  // The machine clock comes back when the source is removed: some day after 2020.
  const TNowSource fixed = SetNowSource(nullptr);
  EXPECT_GT(Now(), EncodeDate(2020, 1, 1));
  SetNowSource(fixed);
  EXPECT_EQ(Date(), EncodeDate(2024, 6, 15));
}

// ---- FormatDateTime ------------------------------------------------------------------

TEST_F(DateTime, FormatDateTimeSpecifiers) {
  const TDateTime v = EncodeDateTime(2024, 3, 5, 14, 7, 9, 45);  // a Tuesday
  struct Case {
    AnsiString format;
    AnsiString expected;
  };
  const std::vector<Case> cases = {
      {"d", "5"},
      {"dd", "05"},
      {"ddd", R("Вт")},
      {"dddd", R("Вторник")},
      {"ddddd", "05.03.2024"},
      {"dddddd", R("5 Март 2024 г.")},
      {"m", "3"},
      {"mm", "03"},
      {"mmm", R("мар")},
      {"mmmm", R("Март")},
      {"MMMM", R("Март")},
      {"yy", "24"},
      {"yyyy", "2024"},
      {"h", "14"},
      {"hh", "14"},
      {"n", "7"},
      {"nn", "07"},
      {"s", "9"},
      {"ss", "09"},
      {"z", "45"},
      {"zzz", "045"},
      {"t", "14:07"},
      {"tt", "14:07:09"},
      {"c", "05.03.2024 14:07:09"},
      {"hh:mm", "14:07"},
      {"hh 'h' mm", "14 h 07"},
      {"mm hh", "03 14"},
      {"h:mm am/pm", "2:07 pm"},
      {"h:mm AM/PM", "2:07 PM"},
      {"h a/p", "2 p"},
      {"hh ampm", "02 PM"},
      {"dd/mm/yyyy", "05.03.2024"},
      {"yyyy-mm-dd", "2024-03-05"},
      {"'dd' dd", "dd 05"},
      {"\"at\" hh", "at 14"},
      {"x", "x"},
      {"", "05.03.2024 14:07:09"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FormatDateTime(c.format, v), c.expected);
  }
}

TEST_F(DateTime, TwelveHourClockAtMidnightAndNoon) {
  EXPECT_EQ(FormatDateTime("h am/pm", EncodeDate(2024, 3, 5)), "12 am");
  EXPECT_EQ(FormatDateTime("h am/pm", EncodeDateTime(2024, 3, 5, 12, 0, 0, 0)), "12 pm");
  EXPECT_EQ(FormatDateTime("h A/P", EncodeDateTime(2024, 3, 5, 11, 0, 0, 0)), "11 A");
}

TEST_F(DateTime, FormatDateTimeFollowsTheSettings) {
  const TDateTime v = EncodeDateTime(2024, 3, 5, 14, 7, 9, 0);
  EXPECT_EQ(DateTimeToStr(v, TFormatSettings::Invariant()), "03/05/2024 14:07:09");
  EXPECT_EQ(FormatDateTime("dddd mmmm", v, TFormatSettings::Invariant()), "Tuesday March");
  TFormatSettings fs = TFormatSettings::Russian();
  fs.DateSeparator = '-';
  fs.TimeSeparator = '.';
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", v, fs), "05-03-2024 14.07");
  // A format that names itself ends instead of recursing for ever.
  fs.ShortDateFormat = "ddddd";
  EXPECT_EQ(FormatDateTime("ddddd", v, fs), "");
}

TEST_F(DateTime, ShortFormsShowTimeOnlyWhenThereIsOne) {
  EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 3, 5)), "05.03.2024");
  EXPECT_EQ(DateToStr(EncodeDateTime(2024, 3, 5, 14, 7, 9, 0)), "05.03.2024");
  EXPECT_EQ(TimeToStr(EncodeDateTime(2024, 3, 5, 14, 7, 9, 0)), "14:07:09");
  EXPECT_EQ(DateTimeToStr(EncodeDateTime(1850, 6, 1, 13, 30, 0, 0)), "01.06.1850 13:30:00");
}

// ---- Parsing --------------------------------------------------------------------------

TEST_F(DateTime, StrToDateReadsTheLocaleOrder) {
  struct Case {
    const char* text;
    TDateTime expected;
  };
  const Case cases[] = {
      {"05.03.2024", EncodeDate(2024, 3, 5)},
      {"5.3.2024", EncodeDate(2024, 3, 5)},
      {" 05.03.2024 ", EncodeDate(2024, 3, 5)},
      {"05.03", EncodeDate(2024, 3, 5)},
      {"05.03.24", EncodeDate(2024, 3, 5)},
      {"05.03.74", EncodeDate(1974, 3, 5)},
      {"05.03.73", EncodeDate(2073, 3, 5)},
      {"05.03.0024", EncodeDate(24, 3, 5)},
      {"29.02.2024", EncodeDate(2024, 2, 29)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(StrToDate(c.text), c.expected);
  }
  EXPECT_EQ(StrToDate("03/05/2024", TFormatSettings::Invariant()), EncodeDate(2024, 3, 5));
  TFormatSettings ymd = TFormatSettings::Russian();
  ymd.ShortDateFormat = "yyyy-mm-dd";
  ymd.DateSeparator = '-';
  EXPECT_EQ(StrToDate("2024-03-05", ymd), EncodeDate(2024, 3, 5));
  EXPECT_EQ(StrToDate("03-05", ymd), EncodeDate(2024, 3, 5));
}

TEST_F(DateTime, StrToDateRefusesWhatIsNoDate) {
  for (const char* text : {"31.02.2024", "05-03-2024", "2024", "", "05.03.2024x", "05..2024", "05.03.20245",
                           "aa.bb.cccc", "05.03.2024 12:00", "00.03.2024", "05.13.2024"}) {
    SCOPED_TRACE(text);
    try {
      StrToDate(text);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + AnsiString(text) + "' is not a valid date");
    }
  }
}

TEST_F(DateTime, StrToTimeReadsHoursMinutesSecondsAndMarkers) {
  struct Case {
    const char* text;
    TDateTime expected;
  };
  const Case cases[] = {
      {"14:07", EncodeTime(14, 7, 0, 0)},       {"14:07:09", EncodeTime(14, 7, 9, 0)},
      {"14:07:09,045", EncodeTime(14, 7, 9, 45)}, {" 9:05 ", EncodeTime(9, 5, 0, 0)},
      {"2:07 PM", EncodeTime(14, 7, 0, 0)},     {"2:07 pm", EncodeTime(14, 7, 0, 0)},
      {"12:00 AM", 0},                          {"12:00 PM", 0.5},
      {"2 PM", EncodeTime(14, 0, 0, 0)},        {"0:00", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(StrToTime(c.text), c.expected);
  }
  for (const char* text : {"14", "25:00", "14:60", "13:00 PM", "0:00 AM", "14:07:09.045", "14-07", "", "14:07x",
                           "14:07:60"}) {
    SCOPED_TRACE(text);
    try {
      StrToTime(text);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + AnsiString(text) + "' is not a valid time");
    }
  }
}

TEST_F(DateTime, StrToDateTimeReadsDateTimeOrBoth) {
  EXPECT_DOUBLE_EQ(StrToDateTime("05.03.2024 14:07:09"), EncodeDateTime(2024, 3, 5, 14, 7, 9, 0));
  EXPECT_DOUBLE_EQ(StrToDateTime("05.03.2024"), EncodeDate(2024, 3, 5));
  EXPECT_DOUBLE_EQ(StrToDateTime("14:07"), EncodeTime(14, 7, 0, 0));
  for (const char* text : {"05.03.2024 25:00", "x", "05.03.2024 14:07 x", ""}) {
    SCOPED_TRACE(text);
    try {
      StrToDateTime(text);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + AnsiString(text) + "' is not a valid date and time");
    }
  }
}

TEST_F(DateTime, DateTimeTextRoundTrips) {
  for (TDateTime v : {EncodeDateTime(2024, 3, 5, 14, 7, 9, 0), EncodeDateTime(1850, 6, 1, 13, 30, 0, 0),
                      EncodeDate(1, 1, 1), EncodeDateTime(9999, 12, 31, 23, 59, 59, 0), 0.0}) {
    SCOPED_TRACE(v);
    EXPECT_DOUBLE_EQ(StrToDateTime(DateTimeToStr(v)), v);
    EXPECT_DOUBLE_EQ(StrToDateTime(DateTimeToStr(v, TFormatSettings::Invariant()), TFormatSettings::Invariant()),
                     v);
  }
}

}  // namespace datetime_test

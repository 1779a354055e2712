// The texts a record's bytes become, and the stamps that order records and rows.
#include <gtest/gtest.h>

#include <string>

#include "app/flash.h"
#include "tests/app/flash_support.h"
#include "toolkit/core/sysutils.h"

namespace {

using flashtest::U;

TEST(RecordTexts, TimeIsTwoDigitsEachWithImpossibleValuesAsZero) {
  struct Case {
    int hour, minute, second;
    const char* text;
  };
  const Case cases[] = {
      {0, 0, 0, "00:00:00"},    {9, 5, 7, "09:05:07"},       {23, 59, 59, "23:59:59"},
      {24, 60, 75, "00:00:00"}, {255, 255, 255, "00:00:00"}, {12, 60, 30, "12:00:30"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(rec_time_str(uint8_t(c.hour), uint8_t(c.minute), uint8_t(c.second)), c.text)
        << c.hour << ":" << c.minute << ":" << c.second;
}

TEST(RecordTexts, DateIsDayMonthYearWithImpossibleDayOrMonthAsOne) {
  struct Case {
    int year, month, day;
    const char* text;
  };
  const Case cases[] = {
      {26, 5, 12, "12.05.2006"}, {26, 0, 40, "01.01.2006"}, {0, 12, 31, "31.12.1980"},  {255, 13, 0, "01.01.2235"},
      {26, 2, 31, "31.02.2006"}, {44, 1, 9, "09.01.2024"},  {26, 12, 32, "01.12.2006"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(rec_date_str(uint8_t(c.year), uint8_t(c.month), uint8_t(c.day)), c.text)
        << c.year << "/" << c.month << "/" << c.day;
}

TEST(RecordTexts, SampleSizeUsesTheLocalesDecimalSeparator) {
  TFormatSettings point = TFormatSettings::Russian();
  point.DecimalSeparator = '.';
  struct Case {
    bool comma;
    unsigned first, second;
    const char* text;
  };
  const Case cases[] = {
      {true, 1005, 1000, "100,5x100 мм"},
      {false, 1005, 1000, "100.5x100 мм"},
      {true, 0, 1, "0x0,1 мм"},
      {true, 65535, 7, "6553,5x0,7 мм"},
  };
  for (const Case& c : cases) {
    ScopedFormatSettings settings(c.comma ? TFormatSettings::Russian() : point);
    EXPECT_EQ(U(press_type_str(uint16_t(c.first), uint16_t(c.second))), c.text);
  }
}

int64_t Stamp(const char* date, const char* time) { return RecordStamp(date, time); }

TEST(RecordStamps, OrderRecordsBySecondsWhateverTheLocale) {
  TFormatSettings us = TFormatSettings::Invariant();  // "mm/dd/yyyy"
  struct Case {
    const char* what;
    const char* date1;
    const char* time1;
    const char* date2;
    const char* time2;
    int64_t seconds;  // stamp 2 - stamp 1
  };
  const Case cases[] = {
      {"equal", "12.05.2006", "10:00:00", "12.05.2006", "10:00:00", 0},
      {"one second", "12.05.2006", "10:00:00", "12.05.2006", "10:00:01", 1},
      {"over midnight", "12.05.2006", "23:59:59", "13.05.2006", "00:00:00", 1},
      {"day is first", "31.05.2006", "00:00:00", "01.06.2006", "00:00:00", 86400},
      {"leap day", "28.02.2004", "12:00:00", "01.03.2004", "12:00:00", 2 * 86400},
      {"over a year", "31.12.2005", "23:00:00", "01.01.2006", "01:00:00", 7200},
      {"blanks and single digits", " 1.6.2006", "9:05:07 ", "01.06.2006", "09:05:08", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Stamp(c.date2, c.time2) - Stamp(c.date1, c.time1), c.seconds);
    ScopedFormatSettings settings(us);
    EXPECT_EQ(Stamp(c.date2, c.time2) - Stamp(c.date1, c.time1), c.seconds);
  }
  // Every record the instrument can stamp lies above the threshold of an empty kind.
  EXPECT_GT(Stamp("01.01.1980", "00:00:00"), 0);
}

TEST(RecordStamps, ImpossibleDateOrTimeIsAConversionError) {
  struct Case {
    const char* date;
    const char* time;
  };
  const Case cases[] = {
      {"31.02.2006", "10:00:00"},
      {"29.02.2005", "00:00:00"},
      {"12.05.2006", "24:00:00"},
      {"12.05.2006", "10:60:00"},
      {"12.05.2006", "10:00:60"},
      {"12.05.06", "10:00:00"},
      {"", ""},
      {"12.05.2006", ""},
      {"2006-05-12", "10:00:00"},
      {"12.05.2006", "10:00"},
      {"12/05/2006", "10:00:00"},
      {"00.05.2006", "10:00:00"},
      {"12.05.2006x", "10:00:00"},
      {"123.5.2006", "10:00:00"},
  };
  for (const Case& c : cases) {
    const std::string joined = std::string(c.date) + " " + c.time;
    SCOPED_TRACE(joined);
    try {
      RecordStamp(c.date, c.time);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + joined + "' is not a valid date and time");
    }
  }
}

}  // namespace

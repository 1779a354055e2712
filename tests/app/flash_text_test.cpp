// The texts a record's bytes become, and the stamps that order records and rows.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/flash.h"
#include "tests/app/flash_support.h"
#include "toolkit/core/sysutils.h"

namespace flash_text_test {

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

// Stamps order as the year, month, day, hours, minutes and seconds do, read
// as numbers whatever the locale and whether or not the calendar has the day.
TEST(RecordStamps, OrderByTheNumbersOfDateAndTimeWhateverTheLocale) {
  // In order; each pair of a line stamps alike.
  const std::vector<std::vector<std::pair<const char*, const char*>>> ascending = {
      {{"01.01.1980", "00:00:00"}},
      {{"31.12.2005", "23:00:00"}},
      {{"28.02.2006", "12:00:00"}},
      {{"31.02.2006", "10:28:52"}, {"31.02.2006 ", " 10:28:52"}},
      {{"01.03.2006", "00:00:00"}, {"1.3.2006", "0:0:0"}, {"01.03.2006", ""}},
      {{"12.05.2006", "10:00:00"}},
      {{"12.05.2006", "10:00:01"}},
      {{"12.05.2006", "23:59:59"}},
      {{"13.05.2006", "00:00:00"}, {"13/05/2006", "00-00-00"}},
      {{"13.05.2006", "24:60:75"}},
      {{"01.06.2006", "09:05:07"}},
  };
  TFormatSettings us = TFormatSettings::Invariant();  // "mm/dd/yyyy"
  for (bool russian : {true, false}) {
    ScopedFormatSettings settings(russian ? TFormatSettings::Russian() : us);
    int64_t last = 0;  // an empty kind's threshold lies below every stamp
    for (const auto& alike : ascending) {
      const int64_t stamp = Stamp(alike[0].first, alike[0].second);
      EXPECT_GT(stamp, last) << alike[0].first << " " << alike[0].second;
      for (const auto& [date, time] : alike) EXPECT_EQ(Stamp(date, time), stamp) << date << " " << time;
      last = stamp;
    }
  }
}

TEST(RecordStamps, ADateWithoutItsThreeNumbersIsAConversionError) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""}, {"", "10:00:00"}, {"12.2006", "10:00:00"}, {"--.--.----", "10:00:00"}, {"x", ""},
  };
  for (const auto& [date, time] : cases) {
    const std::string joined = std::string(date) + " " + time;
    SCOPED_TRACE(joined);
    try {
      RecordStamp(date, time);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + joined + "' is not a valid date and time");
    }
  }
}

}  // namespace flash_text_test

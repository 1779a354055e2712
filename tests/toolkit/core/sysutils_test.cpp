#include "toolkit/core/sysutils.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "toolkit/core/text.h"

namespace sysutils_test {

// A Russian text given in UTF-8 in this source, as the 1251 bytes the system holds.
AnsiString R(const char* utf8) { return Utf8ToAnsi(utf8); }

// The Russian thousands separator (no-break space in 1251).
const AnsiString kNbsp = "\xA0";

// Every test starts from the Russian settings, whatever an earlier test did.
class SysUtils : public ::testing::Test {
 protected:
  ScopedFormatSettings russian_{TFormatSettings::Russian()};
};

// ---- Locale settings ---------------------------------------------------------

TEST_F(SysUtils, RussianDefaultsAreTheInstalledOnes) {
  const TFormatSettings& fs = FormatSettings();
  EXPECT_EQ(fs.DecimalSeparator, ',');
  EXPECT_EQ(fs.ThousandSeparator, '\xA0');
  EXPECT_EQ(fs.DateSeparator, '.');
  EXPECT_EQ(fs.TimeSeparator, ':');
  EXPECT_EQ(fs.ShortDateFormat, "dd.mm.yyyy");
  EXPECT_EQ(fs.LongTimeFormat, "hh:mm:ss");
  EXPECT_EQ(fs.ShortTimeFormat, "hh:mm");
  EXPECT_EQ(fs.LongMonthNames[0], R("Январь"));
  EXPECT_EQ(fs.LongMonthNames[11], R("Декабрь"));
  EXPECT_EQ(fs.ShortMonthNames[4], R("май"));
  EXPECT_EQ(fs.LongDayNames[0], R("Воскресенье"));
  EXPECT_EQ(fs.ShortDayNames[6], R("Сб"));
  EXPECT_EQ(fs.CurrencyString, R("р."));
}

TEST_F(SysUtils, ScopedSettingsSwitchAndRestore) {
  {
    ScopedFormatSettings neutral(TFormatSettings::Invariant());
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(StrToFloat("2.25"), 2.25);
  }
  EXPECT_EQ(FloatToStr(1.5), "1,5");
  EXPECT_EQ(StrToFloat("2,25"), 2.25);
}

// ---- Format --------------------------------------------------------------------

TEST_F(SysUtils, FormatConversionsAndWidths) {
  const int kDummy = 0;
  struct Case {
    const char* format;
    std::vector<TVarRec> args;
    AnsiString expected;
  };
  const std::vector<Case> cases = {
      {"%d", {42}, "42"},
      {"%5d|", {42}, "   42|"},
      {"%-5d|", {42}, "42   |"},
      {"%.5d", {-42}, "-00042"},
      {"%3d", {12345}, "12345"},
      {"%d", {int64_t{1234567890123}}, "1234567890123"},
      {"%u", {-1}, "4294967295"},
      {"%x", {255}, "FF"},
      {"%X", {255}, "FF"},
      {"%.4x", {255}, "00FF"},
      {"%x", {-1}, "FFFFFFFF"},
      {"%x", {int64_t{-1}}, "FFFFFFFFFFFFFFFF"},
      {"%s", {"abc"}, "abc"},
      {"%.2s", {"abc"}, "ab"},
      {"%5s|", {"abc"}, "  abc|"},
      {"%-5s|", {AnsiString("abc")}, "abc  |"},
      {"%s", {'z'}, "z"},
      {"%c", {'x'}, "x"},
      {"%*d|", {5, 42}, "   42|"},
      {"%-*.*d|", {6, 3, 7}, "007   |"},
      {"%1:s %0:s %s", {"a", "b"}, "b a b"},
      {"100%%", {}, "100%"},
      {"%g", {0.1 + 0.2}, "0,3"},
      {"%g", {1.0 / 3}, "0,333333333333333"},
      {"%g", {1e20}, "1E020"},
      {"%.3g", {1234.5}, "1,23E003"},
      {"%f", {3.14159}, "3,14"},
      {"%.3f", {2.0}, "2,000"},
      {"%.0f", {2.5}, "3"},
      {"%.1f", {-0.04}, "0,0"},
      {"%e", {1234.5678}, "1,23456780000000E+003"},
      {"%.3e", {-0.00012345}, "-1,23E-004"},
      {"%n", {1234567.891}, "1" + kNbsp + "234" + kNbsp + "567,89"},
      {"%m", {1234.5}, "1" + kNbsp + "234,50 " + R("р.")},
      {"%m", {-5.0}, "-5,00 " + R("р.")},
      {"%m", {Currency::FromScaled(12345)}, "1,23 " + R("р.")},
      {"%8.2f|", {1.5}, "    1,50|"},
      {"%p", {static_cast<const void*>(&kDummy)}, IntToHex(reinterpret_cast<intptr_t>(&kDummy), 16)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(Format(c.format, std::span<const TVarRec>(c.args)), c.expected);
  }
}

TEST_F(SysUtils, FormatUsesTheGivenSettings) {
  EXPECT_EQ(Format("%.2f", {1.5}, TFormatSettings::Invariant()), "1.50");
  EXPECT_EQ(Format("%n", {1234.0}, TFormatSettings::Invariant()), "1,234.00");
}

TEST_F(SysUtils, FormatRefusesMismatchedArguments) {
  struct Case {
    const char* format;
    std::vector<TVarRec> args;
    AnsiString message;
  };
  const std::vector<Case> cases = {
      {"%d", {"abc"}, "Format '%d' invalid or incompatible with argument"},
      {"%f", {1}, "Format '%f' invalid or incompatible with argument"},
      {"%s", {1.5}, "Format '%s' invalid or incompatible with argument"},
      {"%x", {2.0}, "Format '%x' invalid or incompatible with argument"},
      {"%d", {true}, "Format '%d' invalid or incompatible with argument"},
      {"%q", {1}, "Format '%q' invalid or incompatible with argument"},
      {"abc%", {1}, "Format 'abc%' invalid or incompatible with argument"},
      {"%*d", {"x", 1}, "Format '%*d' invalid or incompatible with argument"},
      {"%999999999d", {1}, "Format '%999999999d' invalid or incompatible with argument"},
      {"%d %d", {1}, "No argument for format '%d %d'"},
      {"%5:d", {1}, "No argument for format '%5:d'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    try {
      Format(c.format, std::span<const TVarRec>(c.args));
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

// ---- Integers --------------------------------------------------------------------

TEST_F(SysUtils, IntegerTextRoundTrips) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(IntToStr(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0xABCDEF, 2), "ABCDEF");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(IntToHex(int64_t{-1}, 2), "FFFFFFFFFFFFFFFF");
}

TEST_F(SysUtils, StrToIntAcceptsDecimalAndHex) {
  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {
      {"123", 123},       {"-123", -123},       {"+7", 7},
      {"  12", 12},       {"007", 7},           {"$FF", 255},
      {"$ff", 255},       {"0x1A", 26},         {"-$10", -16},
      {"$FFFFFFFF", -1},  {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(StrToInt(c.text), c.value);
  }
}

TEST_F(SysUtils, StrToIntRefusesWhatIsNoInteger) {
  for (const char* text : {"", " ", "12 ", "1,5", "1.5", "2147483648", "-2147483649", "abc", "$", "-",
                           "1e3", "12a", "$100000000", "0x", "- 1"}) {
    SCOPED_TRACE(text);
    try {
      StrToInt(text);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + AnsiString(text) + "' is not a valid integer value");
    }
    EXPECT_EQ(StrToIntDef(text, -99), -99);
  }
}

TEST_F(SysUtils, StrToInt64CoversTheWholeRange) {
  EXPECT_EQ(StrToInt64("9223372036854775807"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(StrToInt64("4294967296"), int64_t{4294967296});
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(StrToInt64Def("x", 5), 5);
}

// ---- Floating point ----------------------------------------------------------------

TEST_F(SysUtils, FloatToStrGivesFifteenSignificantDigits) {
  struct Case {
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {0.1 + 0.2, "0,3"},
      {1.0 / 3, "0,333333333333333"},
      {2.0 / 3, "0,666666666666667"},
      {1e15, "1E15"},
      {1e-5, "1E-5"},
      {0.0001, "0,0001"},
      {123456789012345.0, "123456789012345"},
      {1234567890123456.0, "1,23456789012346E15"},
      {-1.5, "-1,5"},
      {0.0, "0"},
      {-0.0, "0"},
      {100.0, "100"},
      {1.5e-300, "1,5E-300"},
      {std::numeric_limits<double>::max(), "1,79769313486232E308"},
      {std::numeric_limits<double>::denorm_min(), "4,94065645841247E-324"},
      {2500.25, "2500,25"},
      {0.9999999999999999, "1"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(FloatToStr(c.value), c.expected);
  }
}

TEST_F(SysUtils, FloatToStrFFormats) {
  struct Case {
    double value;
    TFloatFormat format;
    int precision, digits;
    AnsiString expected;
  };
  const std::vector<Case> cases = {
      {1234.5678, ffFixed, 15, 2, "1234,57"},
      {1234.5678, ffNumber, 15, 2, "1" + kNbsp + "234,57"},
      {1234.5678, ffExponent, 5, 2, "1,2346E+03"},
      {0.00012, ffExponent, 3, 0, "1,20E-4"},
      {0.0, ffExponent, 3, 2, "0,00E+00"},
      {1234.5678, ffGeneral, 5, 0, "1234,6"},
      {123456.0, ffGeneral, 4, 0, "1,235E5"},
      {123456.0, ffGeneral, 4, 2, "1,235E05"},
      {99999.5, ffGeneral, 5, 0, "1E5"},
      {-0.001, ffFixed, 15, 2, "0,00"},
      {2.675, ffFixed, 15, 2, "2,67"},
      {0.125, ffFixed, 15, 2, "0,13"},
      {5.0, ffFixed, 15, 0, "5"},
      {1e20, ffFixed, 15, 2, "1E20"},
      {999.999, ffNumber, 15, 2, "1" + kNbsp + "000,00"},
      {-1234.5, ffCurrency, 15, 2, "-1" + kNbsp + "234,50 " + R("р.")},
      {0.5, ffCurrency, 15, 0, "1 " + R("р.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(FloatToStrF(c.value, c.format, c.precision, c.digits), c.expected);
  }
}

TEST_F(SysUtils, CurrencyPlacementFollowsTheSettings) {
  TFormatSettings fs = TFormatSettings::Invariant();
  struct Case {
    int format, neg_format;
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {0, 0, 2, "$2.00"},   {1, 0, 2, "2.00$"},   {2, 0, 2, "$ 2.00"},  {3, 0, 2, "2.00 $"},
      {0, 0, -2, "($2.00)"}, {0, 1, -2, "-$2.00"}, {0, 5, -2, "-2.00$"}, {0, 8, -2, "-2.00 $"},
      {0, 15, -2, "(2.00 $)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    fs.CurrencyFormat = c.format;
    fs.NegCurrFormat = c.neg_format;
    EXPECT_EQ(FloatToStrF(c.value, ffCurrency, 15, 2, fs), c.expected);
  }
}

TEST_F(SysUtils, FormatFloatPictures) {
  struct Case {
    AnsiString format;
    double value;
    AnsiString expected;
  };
  const std::vector<Case> cases = {
      {"0.000", 12.3456, "12,346"},
      {"0.00", 0.005, "0,01"},
      {"0.00", -1.005, "-1,00"},
      {"00.00", 1.5, "01,50"},
      {"#,##0.00", 1234567.891, "1" + kNbsp + "234" + kNbsp + "567,89"},
      {"#,##0", 999.5, "1" + kNbsp + "000"},
      {"#,##0", 12, "12"},
      {"#.##", 1.5, "1,5"},
      {"0.##", 2, "2"},
      {"0.0#", 2, "2,0"},
      {"000", 7, "007"},
      {"0", 12345, "12345"},
      {"0", 2.5, "3"},
      {"0", -1.5, "-2"},
      {"0", -0.4, "0"},
      {".00", 0.5, ",50"},
      {"0;(0);zero", 5, "5"},
      {"0;(0);zero", -5, "(5)"},
      {"0;(0);zero", 0, "zero"},
      {"0.0;-0.0;zero", 0.01, "zero"},
      {"0;;zero", -3, "-3"},
      {"0.00E+00", 12345, "1,23E+04"},
      {"0.00e-00", 0.000123, "1,23e-04"},
      {"0.00E-00", 12345, "1,23E04"},
      {"00.0E+0", 12345, "12,3E+3"},
      {"0.0E+0", 0, "0,0E+0"},
      {"'" + R("Итого: ") + "'0.00", 3.5, R("Итого: ") + "3,50"},
      {"0.0 \"kg;\"", 2.25, "2,3 kg;"},
      {"0' %'", 42, "42 %"},
      {"", 1.5, "1,5"},
      {"0.00", 1e20, "1E20"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FormatFloat(c.format, c.value), c.expected);
  }
}

TEST_F(SysUtils, StrToFloatReadsTheLocaleSeparator) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"1,5", 1.5}, {" 1,5 ", 1.5}, {"-2", -2},       {"+3", 3},   {"1E3", 1000},
      {"1,5e-2", 0.015}, {",5", 0.5}, {"5,", 5}, {"1e-400", 0}, {"0,1", 0.1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(StrToFloat(c.text), c.value);
  }
}

TEST_F(SysUtils, StrToFloatRefusesWhatIsNoNumber) {
  for (const char* text : {"1.5", "", " ", "abc", "1,5x", "1 000", "e5", "1e", "1e999", "--1", ",", "1,5,6",
                           "inf", "nan"}) {
    SCOPED_TRACE(text);
    try {
      StrToFloat(text);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + AnsiString(text) + "' is not a valid floating point value");
    }
    EXPECT_EQ(StrToFloatDef(text, -1.0), -1.0);
  }
}

TEST_F(SysUtils, FloatTextRoundTripsWithFifteenDigits) {
  for (double v : {0.1, 1.0 / 7, 123456.789, -9.87654321e-7, 6.02214076e23, 1e-300}) {
    SCOPED_TRACE(v);
    const double back = StrToFloat(FloatToStr(v));
    EXPECT_NEAR(back, v, std::fabs(v) * 1e-14);
  }
}

TEST_F(SysUtils, CurrencyText) {
  EXPECT_EQ(CurrToStr(Currency::FromScaled(12345)), "1,2345");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(-50000)), "-5");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(-1)), "-0,0001");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(std::numeric_limits<int64_t>::min())), "-922337203685477,5808");
  EXPECT_EQ(Currency::FromDouble(1.5).Scaled, 15000);
  EXPECT_EQ(Currency::FromDouble(-0.00004).Scaled, 0);
  EXPECT_THROW(Currency::FromDouble(1e16), EOverflow);
  EXPECT_THROW(Currency::FromDouble(std::nan("")), EOverflow);
}

// ---- Rounding and integer arithmetic ------------------------------------------------------

TEST_F(SysUtils, PasRoundHalvesToEven) {
  struct Case {
    double value;
    int64_t expected;
  };
  const Case cases[] = {
      {2.5, 2},   {3.5, 4},      {-2.5, -2},     {-3.5, -4},   {0.5, 0},  {1.5, 2},
      {-0.5, 0},  {2.4999, 2},   {2.5001, 3},    {-2.6, -3},   {1e15 + 0.5, 1000000000000000},
      {4503599627370497.0, 4503599627370497},
      // Around the edges of the exact fraction and of a half.
      {0.49999999999999994, 0}, {0.5000000000000001, 1}, {-1.5, -2}, {7.5, 8}, {-7.5, -8}, {-0.0, 0},
      {1e-300, 0}, {4503599627370495.5, 4503599627370496}, {-4503599627370495.5, -4503599627370496},
      {4503599627370494.5, 4503599627370494}, {2147483648.5, 2147483648}, {-9007199254740991.0, -9007199254740991},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(PasRound(c.value), c.expected);
  }
  EXPECT_THROW(PasRound(std::nan("")), EInvalidOp);
  EXPECT_THROW(PasRound(1e19), EInvalidOp);
  EXPECT_THROW(PasRound(-std::numeric_limits<double>::infinity()), EInvalidOp);
}

TEST_F(SysUtils, TruncIntAndFracGoTowardZero) {
  EXPECT_EQ(Trunc(2.7), 2);
  EXPECT_EQ(Trunc(-2.7), -2);
  EXPECT_EQ(Int(-2.75), -2.0);
  EXPECT_EQ(Frac(-2.75), -0.75);
  EXPECT_EQ(Frac(2.75), 0.75);
  EXPECT_THROW(Trunc(1e20), EInvalidOp);
}

TEST_F(SysUtils, MulDivRoundsHalvesAwayFromZero) {
  struct Case {
    int a, b, c, expected;
  };
  const Case cases[] = {
      {5, 1, 2, 3},          {-5, 1, 2, -3},     {5, -1, 2, -3},   {5, 1, -2, -3},
      {-7, 3, -2, 11},       {7, 3, 2, 11},      {4, 1, 3, 1},     {5, 1, 3, 2},
      {1, 1, 0, -1},         {INT_MAX, 2, 1, -1}, {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
      {INT_MIN, 1, 1, INT_MIN}, {100, 96, 72, 133},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "*" << c.b << "/" << c.c);
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected);
  }
}

TEST_F(SysUtils, IntegerDivisionGoesTowardZero) {
  EXPECT_EQ(IntDiv(-7, 2), -3);
  EXPECT_EQ(IntMod(-7, 2), -1);
  EXPECT_EQ(IntDiv(7, -2), -3);
  EXPECT_EQ(IntMod(7, -2), 1);
  EXPECT_THROW(IntDiv(std::numeric_limits<int64_t>::min(), -1), EIntOverflow);
  EXPECT_EQ(IntMod(std::numeric_limits<int64_t>::min(), -1), 0);
  EXPECT_THROW(IntDiv(1, 0), EDivByZero);
  EXPECT_THROW(IntMod(1, 0), EDivByZero);
}

}  // namespace sysutils_test

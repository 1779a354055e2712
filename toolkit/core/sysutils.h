// Numbers, dates and their text forms as the rest of the system expects them:
// the locale's decimal comma, 15 significant digits in general float output,
// banker's rounding in PasRound, dates as days since 1899-12-30.
//
// Every function that depends on the locale has an overload taking explicit
// TFormatSettings; the short form uses the process-wide FormatSettings(),
// which tests switch with ScopedFormatSettings.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>

#include "toolkit/core/exceptions.h"

// ---------------------------------------------------------------------------
// Locale settings

struct TFormatSettings {
  // Decimal separator of numbers.
  char DecimalSeparator = ',';
  // Thousands separator (1251 non-breaking space in the Russian locale).
  char ThousandSeparator = '\xA0';
  // What '/' stands for in date formats and what separates date parts when parsing.
  char DateSeparator = '.';
  // What ':' stands for in time formats and what separates time parts when parsing.
  char TimeSeparator = ':';
  AnsiString ShortDateFormat = "dd.mm.yyyy";
  AnsiString LongDateFormat;
  AnsiString ShortTimeFormat = "hh:mm";
  AnsiString LongTimeFormat = "hh:mm:ss";
  // Texts of the "ampm" specifier and accepted by StrToTime after the time.
  AnsiString TimeAMString = "AM";
  AnsiString TimePMString = "PM";
  // Currency symbol and its placement: CurrencyFormat 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $";
  // NegCurrFormat 0..15 as the classic locale table.
  AnsiString CurrencyString;
  int CurrencyFormat = 3;
  int NegCurrFormat = 8;
  int CurrencyDecimals = 2;
  std::array<AnsiString, 12> ShortMonthNames;
  std::array<AnsiString, 12> LongMonthNames;
  // The month names as a date says them after its day ("5 марта"): the
  // locale's own, as the system's long date shows them.
  std::array<AnsiString, 12> GenitiveMonthNames;
  // Index 0 is Sunday.
  std::array<AnsiString, 7> ShortDayNames;
  std::array<AnsiString, 7> LongDayNames;
  // Two-digit years fall within this many years before the current year (0: current century).
  int TwoDigitYearCenturyWindow = 50;

  // The Russian settings every installation of the program starts with.
  static TFormatSettings Russian();
  // Neutral settings ("." decimal, "," thousands, English names, "mm/dd/yyyy").
  static TFormatSettings Invariant();
};

// The process-wide settings that the short forms of every function use.
TFormatSettings& FormatSettings();

// Replaces FormatSettings() for its lifetime and restores the previous value after.
class ScopedFormatSettings {
 public:
  explicit ScopedFormatSettings(const TFormatSettings& settings);
  ~ScopedFormatSettings();
  ScopedFormatSettings(const ScopedFormatSettings&) = delete;
  ScopedFormatSettings& operator=(const ScopedFormatSettings&) = delete;

 private:
  TFormatSettings saved_;
};

// ---------------------------------------------------------------------------
// Currency: a fixed-point number with four decimals.

struct Currency {
  // The value times 10000.
  int64_t Scaled = 0;

  static Currency FromScaled(int64_t scaled) { return Currency{scaled}; }
  // Rounds to four decimals, halves to even; EOverflow outside the range.
  static Currency FromDouble(double value);
  double ToDouble() const { return static_cast<double>(Scaled) / 10000.0; }

  friend bool operator==(Currency a, Currency b) { return a.Scaled == b.Scaled; }
  friend auto operator<=>(Currency a, Currency b) { return a.Scaled <=> b.Scaled; }
};

// ---------------------------------------------------------------------------
// Format and its arguments

// One argument of Format: a small tagged value made implicitly from the usual types.
class TVarRec {
 public:
  enum class Kind { Integer, Int64, Unsigned, Extended, Currency, String, Char, Pointer, Boolean };

  TVarRec(int v) : kind_(Kind::Integer), i_(v) {}
  TVarRec(long v) : kind_(Kind::Int64), i_(v) {}
  TVarRec(long long v) : kind_(Kind::Int64), i_(v) {}
  TVarRec(unsigned v) : kind_(Kind::Unsigned), i_(v) {}
  TVarRec(unsigned long v) : kind_(Kind::Unsigned), i_(static_cast<int64_t>(v)) {}
  TVarRec(unsigned long long v) : kind_(Kind::Unsigned), i_(static_cast<int64_t>(v)) {}
  TVarRec(double v) : kind_(Kind::Extended), d_(v) {}
  TVarRec(Currency v) : kind_(Kind::Currency), i_(v.Scaled) {}
  TVarRec(char v) : kind_(Kind::Char), i_(static_cast<unsigned char>(v)) {}
  TVarRec(bool v) : kind_(Kind::Boolean), i_(v ? 1 : 0) {}
  TVarRec(const char* v) : kind_(Kind::String), s_(v ? v : "") {}
  TVarRec(const AnsiString& v) : kind_(Kind::String), s_(v) {}
  TVarRec(const void* v) : kind_(Kind::Pointer), i_(static_cast<int64_t>(reinterpret_cast<uintptr_t>(v))) {}

  Kind kind() const { return kind_; }
  int64_t AsInt() const { return i_; }
  double AsDouble() const { return d_; }
  const AnsiString& AsString() const { return s_; }

 private:
  Kind kind_;
  int64_t i_ = 0;
  double d_ = 0;
  AnsiString s_;
};

// Formats arguments by "%" [index ":"] ["-"] [width] ["." precision] type with the
// types d u e f g n m p s x c (case-insensitive) and "%%". Width and precision may be
// "*", taken from the next integer argument. A mismatched or missing argument raises
// EConvertError "Format '%s' invalid or incompatible with argument" /
// "No argument for format '%s'".
AnsiString Format(const AnsiString& format, std::initializer_list<TVarRec> args);
AnsiString Format(const AnsiString& format, std::initializer_list<TVarRec> args,
                  const TFormatSettings& settings);
AnsiString Format(const AnsiString& format, std::span<const TVarRec> args);
AnsiString Format(const AnsiString& format, std::span<const TVarRec> args,
                  const TFormatSettings& settings);

// ---------------------------------------------------------------------------
// Integers

AnsiString IntToStr(int value);
AnsiString IntToStr(int64_t value);
// Upper-case hexadecimal, zero-padded to at least `digits` digits; a negative value
// shows its two's complement in the argument's width (IntToHex(-1, 2) is "FFFFFFFF").
AnsiString IntToHex(int value, int digits);
AnsiString IntToHex(unsigned value, int digits);
AnsiString IntToHex(int64_t value, int digits);
// Decimal with optional sign, or hexadecimal after "$" or "0x"; leading blanks are
// skipped, anything else raises EConvertError "'%s' is not a valid integer value".
int StrToInt(const AnsiString& text);
int64_t StrToInt64(const AnsiString& text);
int StrToIntDef(const AnsiString& text, int fallback);
int64_t StrToInt64Def(const AnsiString& text, int64_t fallback);
bool TryStrToInt(const AnsiString& text, int& value);
bool TryStrToInt64(const AnsiString& text, int64_t& value);

// ---------------------------------------------------------------------------
// Floating point

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// General format, 15 significant digits: 0.1+0.2 gives "0,3", 1e15 gives "1E15".
AnsiString FloatToStr(double value);
AnsiString FloatToStr(double value, const TFormatSettings& settings);
// `precision` significant digits (1..18); `digits` is the minimum exponent digits for
// ffGeneral/ffExponent and the number of decimals for ffFixed/ffNumber/ffCurrency.
AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits);
AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                       const TFormatSettings& settings);
// Formats by a picture of up to three sections "positive;negative;zero" with
// 0 # . , E+ E- e+ e- and quoted literal text: FormatFloat("0.000", 12.3456) is "12,346".
AnsiString FormatFloat(const AnsiString& format, double value);
AnsiString FormatFloat(const AnsiString& format, double value, const TFormatSettings& settings);
// Accepts blanks around, a sign, digits with the locale's decimal separator and an
// exponent; otherwise EConvertError "'%s' is not a valid floating point value".
double StrToFloat(const AnsiString& text);
double StrToFloat(const AnsiString& text, const TFormatSettings& settings);
bool TryStrToFloat(const AnsiString& text, double& value);
bool TryStrToFloat(const AnsiString& text, double& value, const TFormatSettings& settings);
double StrToFloatDef(const AnsiString& text, double fallback);
AnsiString CurrToStr(Currency value);
AnsiString CurrToStr(Currency value, const TFormatSettings& settings);

// ---------------------------------------------------------------------------
// Rounding and integer arithmetic

// Rounds to the nearest integer, halves to even (2.5 gives 2, 3.5 gives 4).
// Raises EInvalidOp for NaN, infinities and values beyond 64 bits.
int64_t PasRound(double value);
// Drops the fraction, toward zero; EInvalidOp as PasRound.
int64_t Trunc(double value);
// The integer part as a double, toward zero.
double Int(double value);
// The fractional part, with the value's sign.
double Frac(double value);
// a*b/c with a 64-bit intermediate, rounded half away from zero; -1 when c is 0 or
// the result does not fit in 32 bits.
int MulDiv(int a, int b, int c);
// Integer division and remainder toward zero; EDivByZero when divisor is 0, EIntOverflow
// for the one quotient that does not fit (the smallest value divided by -1).
int64_t IntDiv(int64_t dividend, int64_t divisor);
int64_t IntMod(int64_t dividend, int64_t divisor);

// ---------------------------------------------------------------------------
// Dates and times

// Days since 1899-12-30; the fraction is the time of day. Before that day the
// fraction still counts forward from midnight (-1.25 is 1899-12-29 06:00).
using TDateTime = double;

// Milliseconds since midnight and days since 0001-01-01 plus one.
struct TTimeStamp {
  int Time = 0;
  int Date = 0;
};

constexpr int MSecsPerDay = 24 * 60 * 60 * 1000;
// TTimeStamp.Date of 1899-12-30.
constexpr int DateDelta = 693594;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// Year 1..9999; otherwise EConvertError "Invalid argument to date encode".
TDateTime EncodeDate(int year, int month, int day);
// Hour 0..23 (24:00:00.000 is accepted as the end of the day); otherwise
// EConvertError "Invalid argument to time encode".
TDateTime EncodeTime(int hour, int min, int sec, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time);
// Dates outside 0001-01-01..9999-12-31 (or not finite) decode to zeros.
void DecodeDate(TDateTime date, int& year, int& month, int& day);
void DecodeTime(TDateTime time, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min,
                    int& sec, int& msec);
// 1 is Sunday, 7 is Saturday.
int DayOfWeek(TDateTime date);
// Moves by whole months, keeping the time; the day clamps to the month's end.
TDateTime IncMonth(TDateTime date, int months = 1);

// Time stamps; out-of-range values raise EConvertError.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp& stamp);
TTimeStamp MSecsToTimeStamp(int64_t msecs);
int64_t TimeStampToMSecs(const TTimeStamp& stamp);

// The wall clock. Now() asks the installed source (by default the machine's local
// time); tests install a fixed one.
using TNowSource = std::function<TDateTime()>;
// Installs `source` (an empty function restores the machine clock); returns the previous one.
TNowSource SetNowSource(TNowSource source);
TDateTime Now();
TDateTime Date();
TDateTime Time();

// Specifiers (case-insensitive): c d dd ddd dddd ddddd dddddd m mm mmm mmmm yy yyyy
// h hh n nn s ss z zzz t tt am/pm a/p ampm, "/" and ":" as the locale's separators,
// text in '...' or "..." literally; m right after h is minutes.
AnsiString FormatDateTime(const AnsiString& format, TDateTime value);
AnsiString FormatDateTime(const AnsiString& format, TDateTime value, const TFormatSettings& settings);
// The system's long date of the locale: LongDateFormat with the month named
// as it follows a day ("5 марта 2024 г.").
AnsiString FormatLongDate(TDateTime value);
AnsiString FormatLongDate(TDateTime value, const TFormatSettings& settings);
AnsiString DateToStr(TDateTime value);
AnsiString DateToStr(TDateTime value, const TFormatSettings& settings);
AnsiString TimeToStr(TDateTime value);
AnsiString TimeToStr(TDateTime value, const TFormatSettings& settings);
AnsiString DateTimeToStr(TDateTime value);
AnsiString DateTimeToStr(TDateTime value, const TFormatSettings& settings);

// Dates are read in the order of ShortDateFormat with DateSeparator; a missing year
// is the current one; two-digit years follow TwoDigitYearCenturyWindow. Times are
// h:n[:s[<decimal separator>z]] with an optional AM/PM marker. Errors raise
// EConvertError "'%s' is not a valid date" / "... time" / "... date and time".
TDateTime StrToDate(const AnsiString& text);
TDateTime StrToDate(const AnsiString& text, const TFormatSettings& settings);
TDateTime StrToTime(const AnsiString& text);
TDateTime StrToTime(const AnsiString& text, const TFormatSettings& settings);
TDateTime StrToDateTime(const AnsiString& text);
TDateTime StrToDateTime(const AnsiString& text, const TFormatSettings& settings);
bool TryStrToDate(const AnsiString& text, TDateTime& value, const TFormatSettings& settings);
bool TryStrToTime(const AnsiString& text, TDateTime& value, const TFormatSettings& settings);
bool TryStrToDateTime(const AnsiString& text, TDateTime& value, const TFormatSettings& settings);

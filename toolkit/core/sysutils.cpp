// Locale settings, Format, integer text and rounding. Russian texts in this unit
// are written as Windows-1251 byte escapes with the UTF-8 reading beside them.
#include "toolkit/core/sysutils.h"

#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>

#include <cfenv>
#include <cmath>
#include <limits>

#include "toolkit/core/text.h"

namespace {

// The locale's month names in the form a date uses after its day, in the
// program's code page; `fallback` where the locale data gives none.
std::array<AnsiString, 12> FormatMonthNames(const char* locale, const std::array<AnsiString, 12>& fallback) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::DateFormatSymbols symbols(icu::Locale(locale), status);
  int32_t count = 0;
  const icu::UnicodeString* months =
      U_SUCCESS(status) ? symbols.getMonths(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE)
                        : nullptr;
  if (months == nullptr || count < 12) return fallback;
  std::array<AnsiString, 12> names;
  for (int i = 0; i < 12; ++i) {
    std::string utf8;
    months[i].toUTF8String(utf8);
    names[i] = Utf8ToAnsi(utf8);
  }
  return names;
}

}  // namespace

TFormatSettings TFormatSettings::Russian() {
  TFormatSettings s;
  s.LongDateFormat = "d MMMM yyyy '\xE3.'";  // "г."
  s.CurrencyString = "\xF0.";               // "р."
  s.LongMonthNames = {"\xDF\xED\xE2\xE0\xF0\xFC",                  // Январь
                      "\xD4\xE5\xE2\xF0\xE0\xEB\xFC",              // Февраль
                      "\xCC\xE0\xF0\xF2",                          // Март
                      "\xC0\xEF\xF0\xE5\xEB\xFC",                  // Апрель
                      "\xCC\xE0\xE9",                              // Май
                      "\xC8\xFE\xED\xFC",                          // Июнь
                      "\xC8\xFE\xEB\xFC",                          // Июль
                      "\xC0\xE2\xE3\xF3\xF1\xF2",                  // Август
                      "\xD1\xE5\xED\xF2\xFF\xE1\xF0\xFC",          // Сентябрь
                      "\xCE\xEA\xF2\xFF\xE1\xF0\xFC",              // Октябрь
                      "\xCD\xEE\xFF\xE1\xF0\xFC",                  // Ноябрь
                      "\xC4\xE5\xEA\xE0\xE1\xF0\xFC"};             // Декабрь
  s.ShortMonthNames = {"\xFF\xED\xE2", "\xF4\xE5\xE2", "\xEC\xE0\xF0", "\xE0\xEF\xF0",   // янв фев мар апр
                       "\xEC\xE0\xE9", "\xE8\xFE\xED", "\xE8\xFE\xEB", "\xE0\xE2\xE3",   // май июн июл авг
                       "\xF1\xE5\xED", "\xEE\xEA\xF2", "\xED\xEE\xFF", "\xE4\xE5\xEA"};  // сен окт ноя дек
  s.GenitiveMonthNames = FormatMonthNames("ru", s.LongMonthNames);
  s.LongDayNames = {"\xC2\xEE\xF1\xEA\xF0\xE5\xF1\xE5\xED\xFC\xE5",  // Воскресенье
                    "\xCF\xEE\xED\xE5\xE4\xE5\xEB\xFC\xED\xE8\xEA",  // Понедельник
                    "\xC2\xF2\xEE\xF0\xED\xE8\xEA",                  // Вторник
                    "\xD1\xF0\xE5\xE4\xE0",                          // Среда
                    "\xD7\xE5\xF2\xE2\xE5\xF0\xE3",                  // Четверг
                    "\xCF\xFF\xF2\xED\xE8\xF6\xE0",                  // Пятница
                    "\xD1\xF3\xE1\xE1\xEE\xF2\xE0"};                 // Суббота
  s.ShortDayNames = {"\xC2\xF1", "\xCF\xED", "\xC2\xF2", "\xD1\xF0",  // Вс Пн Вт Ср
                     "\xD7\xF2", "\xCF\xF2", "\xD1\xE1"};             // Чт Пт Сб
  return s;
}

TFormatSettings TFormatSettings::Invariant() {
  TFormatSettings s;
  s.DecimalSeparator = '.';
  s.ThousandSeparator = ',';
  s.DateSeparator = '/';
  s.ShortDateFormat = "mm/dd/yyyy";
  s.LongDateFormat = "dddd, mmmm d, yyyy";
  s.ShortTimeFormat = "hh:nn";
  s.LongTimeFormat = "hh:nn:ss";
  s.CurrencyString = "$";
  s.CurrencyFormat = 0;
  s.NegCurrFormat = 0;
  s.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  s.LongMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                      "July",    "August",   "September", "October", "November", "December"};
  s.GenitiveMonthNames = s.LongMonthNames;
  s.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  s.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  return s;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings = TFormatSettings::Russian();
  return settings;
}

ScopedFormatSettings::ScopedFormatSettings(const TFormatSettings& settings)
    : saved_(FormatSettings()) {
  FormatSettings() = settings;
}

ScopedFormatSettings::~ScopedFormatSettings() { FormatSettings() = saved_; }

// ---------------------------------------------------------------------------
// Currency

Currency Currency::FromDouble(double value) {
  const double scaled = std::nearbyint(value * 10000.0);
  // 2^63 is exactly representable; anything at or beyond it does not fit.
  if (!(scaled > -9223372036854775808.0 && scaled < 9223372036854775808.0))
    throw EOverflow("Floating point overflow");
  return Currency{static_cast<int64_t>(scaled)};
}

// ---------------------------------------------------------------------------
// Integers

AnsiString IntToStr(int value) { return std::to_string(value); }
AnsiString IntToStr(int64_t value) { return std::to_string(value); }

AnsiString IntToHex(int64_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  uint64_t u = static_cast<uint64_t>(value);
  AnsiString out;
  do {
    out.insert(out.begin(), kHex[u & 0xF]);
    u >>= 4;
  } while (u != 0);
  if (digits > 32) digits = 32;
  if (static_cast<int>(out.size()) < digits) out.insert(0, digits - out.size(), '0');
  return out;
}

AnsiString IntToHex(int value, int digits) { return IntToHex(static_cast<unsigned>(value), digits); }

AnsiString IntToHex(unsigned value, int digits) { return IntToHex(static_cast<int64_t>(value), digits); }

namespace {

// Parses like the toolkit's Val: leading blanks, sign, decimal or "$"/"0x" hex.
// Hexadecimal may use the full unsigned range of the width (wrapping to negative).
bool ParseInteger(const AnsiString& text, int64_t max, uint64_t hex_max,
                  int64_t& value) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < n && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  uint64_t acc = 0;
  if (hex) {
    for (; i < n; ++i) {
      const char c = text[i];
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else return false;
      if (acc > (hex_max >> 4)) return false;
      acc = (acc << 4) | static_cast<uint64_t>(d);
    }
    // Wrap into the signed range of the width, as hexadecimal literals do.
    if (hex_max == 0xFFFFFFFFull) {
      uint32_t u = static_cast<uint32_t>(acc);
      if (negative) u = 0u - u;
      value = static_cast<int32_t>(u);
    } else {
      value = static_cast<int64_t>(negative ? 0 - acc : acc);
    }
    return true;
  }
  // Two's complement: the negative side reaches one further (min == -max - 1).
  const uint64_t limit = negative ? static_cast<uint64_t>(max) + 1 : static_cast<uint64_t>(max);
  for (; i < n; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    const uint64_t d = static_cast<uint64_t>(c - '0');
    if (acc > (limit - d) / 10) return false;
    acc = acc * 10 + d;
  }
  value = negative ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
  return true;
}

[[noreturn]] void InvalidInteger(const AnsiString& text) {
  throw EConvertError("'" + text + "' is not a valid integer value");
}

}  // namespace

bool TryStrToInt(const AnsiString& text, int& value) {
  int64_t v;
  if (!ParseInteger(text, std::numeric_limits<int32_t>::max(),
                    0xFFFFFFFFull, v))
    return false;
  value = static_cast<int>(v);
  return true;
}

bool TryStrToInt64(const AnsiString& text, int64_t& value) {
  return ParseInteger(text, std::numeric_limits<int64_t>::max(),
                      ~0ull, value);
}

int StrToInt(const AnsiString& text) {
  int v;
  if (!TryStrToInt(text, v)) InvalidInteger(text);
  return v;
}

int64_t StrToInt64(const AnsiString& text) {
  int64_t v;
  if (!TryStrToInt64(text, v)) InvalidInteger(text);
  return v;
}

int StrToIntDef(const AnsiString& text, int fallback) {
  int v;
  return TryStrToInt(text, v) ? v : fallback;
}

int64_t StrToInt64Def(const AnsiString& text, int64_t fallback) {
  int64_t v;
  return TryStrToInt64(text, v) ? v : fallback;
}

// ---------------------------------------------------------------------------
// Rounding

namespace {

[[noreturn]] void InvalidFloatOp() { throw EInvalidOp("Invalid floating point operation"); }

int64_t ToInt64Checked(double integral) {
  if (!(integral >= -9223372036854775808.0 && integral < 9223372036854775808.0)) InvalidFloatOp();
  return static_cast<int64_t>(integral);
}

}  // namespace

int64_t PasRound(double value) {
  // Coordinates are rounded by the thousand on every page drawn: below 2^52
  // the fraction is exact, and a half goes to the even neighbour.
  constexpr double kExactFraction = 4503599627370496.0;
  if (std::fabs(value) < kExactFraction) {
    int64_t whole = static_cast<int64_t>(value);
    const double fraction = value - static_cast<double>(whole);
    if (fraction > 0.5 || (fraction == 0.5 && (whole & 1) != 0))
      ++whole;
    else if (fraction < -0.5 || (fraction == -0.5 && (whole & 1) != 0))
      --whole;
    return whole;
  }
  // The default rounding mode (to nearest, ties to even) is what banker's rounding needs;
  // round explicitly so a caller's changed mode cannot leak in.
  const double r = value - std::remainder(value, 1.0);
  if (std::isnan(r)) InvalidFloatOp();
  return ToInt64Checked(r);
}

int64_t Trunc(double value) { return ToInt64Checked(std::trunc(value)); }

double Int(double value) { return std::trunc(value); }

double Frac(double value) { return value - std::trunc(value); }

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t p = static_cast<int64_t>(a) * b;
  int64_t q = p / c;
  const int64_t r = p % c;
  // Halves away from zero: |2r| >= |c| moves one step in the sign of the quotient.
  if (2 * (r < 0 ? -r : r) >= (c < 0 ? -static_cast<int64_t>(c) : c)) q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q < std::numeric_limits<int32_t>::min() || q > std::numeric_limits<int32_t>::max()) return -1;
  return static_cast<int>(q);
}

int64_t IntDiv(int64_t dividend, int64_t divisor) {
  if (divisor == 0) throw EDivByZero("Division by zero");
  if (divisor == -1) {
    if (dividend == std::numeric_limits<int64_t>::min()) throw EIntOverflow("Integer overflow");
    return -dividend;
  }
  return dividend / divisor;
}

int64_t IntMod(int64_t dividend, int64_t divisor) {
  if (divisor == 0) throw EDivByZero("Division by zero");
  if (divisor == -1) return 0;
  return dividend % divisor;
}

// ---------------------------------------------------------------------------
// Format

namespace {

// Widths and precisions beyond this are refused rather than allocated.
constexpr int kMaxFormatWidth = 1 << 20;

class Formatter {
 public:
  Formatter(const AnsiString& format, std::span<const TVarRec> args, const TFormatSettings& fs)
      : fmt_(format), args_(args), fs_(fs) {}

  AnsiString Run() {
    AnsiString out;
    size_t i = 0;
    const size_t n = fmt_.size();
    while (i < n) {
      const char c = fmt_[i++];
      if (c != '%') {
        out += c;
        continue;
      }
      if (i < n && fmt_[i] == '%') {
        out += '%';
        ++i;
        continue;
      }
      int number = -1;
      bool have = ReadNumber(i, number);
      if (have && i < n && fmt_[i] == ':') {
        next_arg_ = static_cast<size_t>(number);
        ++i;
        have = false;
        number = -1;
      }
      bool left = false;
      if (!have && i < n && fmt_[i] == '-') {
        left = true;
        ++i;
      }
      int width = -1;
      if (have) width = number;
      else ReadNumber(i, width);
      int precision = -1;
      if (i < n && fmt_[i] == '.') {
        ++i;
        if (!ReadNumber(i, precision)) precision = 0;
      }
      if (i >= n) Invalid();
      const char type = static_cast<char>(fmt_[i] >= 'a' && fmt_[i] <= 'z' ? fmt_[i] - 32 : fmt_[i]);
      ++i;
      AnsiString piece = Convert(type, precision);
      if (width > static_cast<int>(piece.size())) {
        if (left) piece.append(width - piece.size(), ' ');
        else piece.insert(0, width - piece.size(), ' ');
      }
      out += piece;
    }
    return out;
  }

 private:
  [[noreturn]] void Invalid() const {
    throw EConvertError("Format '" + fmt_ + "' invalid or incompatible with argument");
  }

  const TVarRec& NextArg() {
    if (next_arg_ >= args_.size()) throw EConvertError("No argument for format '" + fmt_ + "'");
    return args_[next_arg_++];
  }

  // Reads digits or "*" (an integer argument); false when neither is there.
  bool ReadNumber(size_t& i, int& value) {
    const size_t n = fmt_.size();
    if (i < n && fmt_[i] == '*') {
      ++i;
      const TVarRec& a = NextArg();
      if (a.kind() != TVarRec::Kind::Integer) Invalid();
      value = static_cast<int>(a.AsInt());
      if (value < 0) value = -1;
      if (value > kMaxFormatWidth) Invalid();
      return true;
    }
    if (i >= n || fmt_[i] < '0' || fmt_[i] > '9') return false;
    int64_t v = 0;
    while (i < n && fmt_[i] >= '0' && fmt_[i] <= '9') {
      v = v * 10 + (fmt_[i] - '0');
      if (v > kMaxFormatWidth) Invalid();
      ++i;
    }
    value = static_cast<int>(v);
    return true;
  }

  AnsiString Convert(char type, int precision) {
    using K = TVarRec::Kind;
    const TVarRec& a = NextArg();
    const K k = a.kind();
    switch (type) {
      case 'D':
      case 'U': {
        if (k != K::Integer && k != K::Int64 && k != K::Unsigned) Invalid();
        bool negative = false;
        uint64_t magnitude;
        if (type == 'U' && k == K::Integer) {
          magnitude = static_cast<uint32_t>(static_cast<int32_t>(a.AsInt()));
        } else if (k == K::Unsigned || type == 'U') {
          magnitude = static_cast<uint64_t>(a.AsInt());
        } else {
          negative = a.AsInt() < 0;
          magnitude = negative ? 0 - static_cast<uint64_t>(a.AsInt()) : static_cast<uint64_t>(a.AsInt());
        }
        AnsiString digits = std::to_string(magnitude);
        if (precision > static_cast<int>(digits.size())) digits.insert(0, precision - digits.size(), '0');
        return negative ? "-" + digits : digits;
      }
      case 'X': {
        uint64_t u;
        if (k == K::Integer) u = static_cast<uint32_t>(static_cast<int32_t>(a.AsInt()));
        else if (k == K::Int64 || k == K::Unsigned) u = static_cast<uint64_t>(a.AsInt());
        else Invalid();
        return IntToHex(static_cast<int64_t>(u), precision < 0 ? 0 : precision);
      }
      case 'P': {
        if (k != K::Pointer) Invalid();
        return IntToHex(a.AsInt(), static_cast<int>(sizeof(void*) * 2));
      }
      case 'S': {
        AnsiString s;
        if (k == K::String) s = a.AsString();
        else if (k == K::Char) s = AnsiString(1, static_cast<char>(a.AsInt()));
        else Invalid();
        if (precision >= 0 && precision < static_cast<int>(s.size())) s.resize(precision);
        return s;
      }
      case 'C': {
        if (k == K::Char || (k == K::Integer && a.AsInt() >= 0 && a.AsInt() <= 255))
          return AnsiString(1, static_cast<char>(a.AsInt()));
        Invalid();
      }
      case 'E':
      case 'F':
      case 'G':
      case 'N':
      case 'M': {
        double v;
        if (k == K::Extended) v = a.AsDouble();
        else if (k == K::Currency) v = static_cast<double>(a.AsInt()) / 10000.0;
        else Invalid();
        switch (type) {
          case 'E':
            return FloatToStrF(v, ffExponent, (precision < 0 || precision > 15) ? 15 : precision, 3, fs_);
          case 'G':
            return FloatToStrF(v, ffGeneral, (precision < 0 || precision > 15) ? 15 : precision, 3, fs_);
          case 'F':
            return FloatToStrF(v, ffFixed, 18, (precision < 0 || precision > 18) ? 2 : precision, fs_);
          case 'N':
            return FloatToStrF(v, ffNumber, 18, (precision < 0 || precision > 18) ? 2 : precision, fs_);
          default:
            return FloatToStrF(v, ffCurrency, 18,
                               (precision < 0 || precision > 18) ? fs_.CurrencyDecimals : precision, fs_);
        }
      }
      default:
        Invalid();
    }
  }

  const AnsiString& fmt_;
  std::span<const TVarRec> args_;
  const TFormatSettings& fs_;
  size_t next_arg_ = 0;
};

}  // namespace

AnsiString Format(const AnsiString& format, std::span<const TVarRec> args,
                  const TFormatSettings& settings) {
  return Formatter(format, args, settings).Run();
}

AnsiString Format(const AnsiString& format, std::span<const TVarRec> args) {
  return Format(format, args, FormatSettings());
}

AnsiString Format(const AnsiString& format, std::initializer_list<TVarRec> args,
                  const TFormatSettings& settings) {
  return Format(format, std::span<const TVarRec>(args.begin(), args.size()), settings);
}

AnsiString Format(const AnsiString& format, std::initializer_list<TVarRec> args) {
  return Format(format, std::span<const TVarRec>(args.begin(), args.size()), FormatSettings());
}

// Floating-point text: FloatToStr, FloatToStrF, FormatFloat, StrToFloat.
//
// Digits come in two steps, as the toolkit always produced them: the value is first
// written with 18 significant digits, then that decimal text is rounded half away
// from zero to the requested precision. So 0.1+0.2 (0.300000000000000044...) shows as
// "0,3" with 15 digits, and 2.675 (stored as 2.67499999...) shows as "2,67" with 2
// decimals, matching what users have always seen in stored reports.
#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "toolkit/core/sysutils.h"

namespace {

constexpr int kMaxDigits = 18;
constexpr int kUnlimitedDecimals = 1 << 20;

// value = 0.<digits> * 10^exponent; no trailing zeros; empty digits mean zero.
struct Decimal {
  bool negative = false;
  int exponent = 0;
  std::string digits;
};

Decimal ToDecimal(double value, int precision, int decimals) {
  Decimal d;
  if (value == 0) return d;
  char buf[64];
  // The digits printf's "%.17e" gives, without its locale and its cost: a
  // report formats a value for every cell.
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf - 1, std::fabs(value), std::chars_format::scientific, 17);
  *r.ptr = '\0';
  // buf is "d.ddddddddddddddddde[+-]xx": only the digits and the exponent are taken.
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') d.digits += *p;
  d.exponent = (*p == 'e' ? std::atoi(p + 1) : 0) + 1;
  d.negative = value < 0;

  const int keep = std::min(precision, d.exponent + std::min(decimals, kUnlimitedDecimals));
  if (keep < 0) {
    d.digits.clear();
  } else if (keep < kMaxDigits) {
    const bool up = d.digits[keep] >= '5';
    d.digits.resize(keep);
    if (up) {
      int i = keep - 1;
      while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
      if (i >= 0) {
        ++d.digits[i];
      } else {
        d.digits.insert(d.digits.begin(), '1');
        ++d.exponent;
      }
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) {
    d.negative = false;
    d.exponent = 0;
  }
  return d;
}

AnsiString PadNumber(int value, int min_digits) {
  AnsiString s = std::to_string(value);
  if (static_cast<int>(s.size()) < min_digits) s.insert(0, min_digits - s.size(), '0');
  return s;
}

// "d,dddE-x" with the digits as they are.
AnsiString Scientific(const Decimal& d, int exp_digits, bool plus, const TFormatSettings& fs) {
  AnsiString out = d.negative ? "-" : "";
  out += d.digits.empty() ? '0' : d.digits[0];
  if (d.digits.size() > 1) {
    out += fs.DecimalSeparator;
    out.append(d.digits, 1);
  }
  const int e = d.digits.empty() ? 0 : d.exponent - 1;
  out += 'E';
  if (e < 0) out += '-';
  else if (plus) out += '+';
  out += PadNumber(std::abs(e), exp_digits);
  return out;
}

// The integer digits of d (at least "0") and `decimals` fraction digits.
void SplitFixed(const Decimal& d, int decimals, AnsiString& int_part, AnsiString& frac_part) {
  int_part.clear();
  if (d.exponent > 0) {
    int_part = d.digits.substr(0, std::min<size_t>(d.exponent, d.digits.size()));
    int_part.append(d.exponent - int_part.size(), '0');
  }
  frac_part.clear();
  for (int j = 0; j < decimals; ++j) {
    const int idx = d.exponent + j;
    frac_part += (idx >= 0 && idx < static_cast<int>(d.digits.size())) ? d.digits[idx] : '0';
  }
}

AnsiString Group(const AnsiString& int_part, char separator) {
  if (separator == '\0') return int_part;
  AnsiString out;
  const size_t n = int_part.size();
  for (size_t i = 0; i < n; ++i) {
    out += int_part[i];
    const size_t remaining = n - i - 1;
    if (remaining > 0 && remaining % 3 == 0) out += separator;
  }
  return out;
}

AnsiString ApplyCurrency(const AnsiString& number, bool negative, const TFormatSettings& fs) {
  const AnsiString& c = fs.CurrencyString;
  if (!negative) {
    switch (fs.CurrencyFormat) {
      case 0: return c + number;
      case 1: return number + c;
      case 2: return c + " " + number;
      default: return number + " " + c;
    }
  }
  switch (fs.NegCurrFormat) {
    case 0: return "(" + c + number + ")";
    case 1: return "-" + c + number;
    case 2: return c + "-" + number;
    case 3: return c + number + "-";
    case 4: return "(" + number + c + ")";
    case 5: return "-" + number + c;
    case 6: return number + "-" + c;
    case 7: return number + c + "-";
    case 9: return "-" + c + " " + number;
    case 10: return number + " " + c + "-";
    case 11: return c + " " + number + "-";
    case 12: return c + " -" + number;
    case 13: return number + "- " + c;
    case 14: return "(" + c + " " + number + ")";
    case 15: return "(" + number + " " + c + ")";
    default: return "-" + number + " " + c;  // 8, the Russian form
  }
}

AnsiString SpecialValue(double value) {
  if (std::isnan(value)) return "NAN";
  return value < 0 ? "-INF" : "INF";
}

}  // namespace

AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                       const TFormatSettings& fs) {
  if (!std::isfinite(value)) return SpecialValue(value);
  precision = std::clamp(precision, 1, kMaxDigits);
  switch (format) {
    case ffExponent: {
      Decimal d = ToDecimal(value, precision, kUnlimitedDecimals);
      const bool zero = d.digits.empty();
      d.digits.resize(precision, '0');
      if (zero) d.exponent = 1;
      return Scientific(d, std::clamp(digits, 0, 4), true, fs);
    }
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      digits = std::clamp(digits, 0, kMaxDigits);
      const Decimal d = ToDecimal(value, precision, digits);
      // More integer digits than the precision holds: only the general form is honest.
      if (d.exponent > precision) return FloatToStrF(value, ffGeneral, precision, 0, fs);
      AnsiString int_part, frac_part;
      SplitFixed(d, digits, int_part, frac_part);
      if (int_part.empty()) int_part.assign(1, '0');
      if (format != ffFixed) int_part = Group(int_part, fs.ThousandSeparator);
      AnsiString number = int_part;
      if (!frac_part.empty()) number += fs.DecimalSeparator + frac_part;
      if (format == ffCurrency) return ApplyCurrency(number, d.negative, fs);
      return d.negative ? "-" + number : number;
    }
    case ffGeneral:
    default: {
      const Decimal d = ToDecimal(value, precision, kUnlimitedDecimals);
      if (d.digits.empty()) return "0";
      const int e = d.exponent;
      if (e > precision || e < -3) return Scientific(d, std::clamp(digits, 0, 4), false, fs);
      AnsiString int_part, frac_part;
      SplitFixed(d, std::max(0, static_cast<int>(d.digits.size()) - e), int_part, frac_part);
      AnsiString out = d.negative ? "-" : "";
      out += int_part.empty() ? "0" : int_part;
      if (!frac_part.empty()) out += fs.DecimalSeparator + frac_part;
      return out;
    }
  }
}

AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
  return FloatToStrF(value, format, precision, digits, FormatSettings());
}

AnsiString FloatToStr(double value, const TFormatSettings& settings) {
  return FloatToStrF(value, ffGeneral, 15, 0, settings);
}

AnsiString FloatToStr(double value) { return FloatToStr(value, FormatSettings()); }

AnsiString CurrToStr(Currency value, const TFormatSettings& settings) {
  // From the scaled integer itself: a detour through double would show binary noise.
  const bool negative = value.Scaled < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value.Scaled) : static_cast<uint64_t>(value.Scaled);
  AnsiString out = negative ? "-" : "";
  out += std::to_string(magnitude / 10000);
  AnsiString frac = std::to_string(magnitude % 10000 + 10000).substr(1);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  if (!frac.empty()) out += settings.DecimalSeparator + frac;
  return out;
}

AnsiString CurrToStr(Currency value) { return CurrToStr(value, FormatSettings()); }

// ---------------------------------------------------------------------------
// FormatFloat

namespace {

// What one section of a picture asks for.
struct Picture {
  int int_places = 0;       // '0'/'#' before the decimal point
  int first_int_zero = -1;  // index of the first '0' among them
  int dec_places = 0;       // '0'/'#' after the decimal point
  int last_dec_zero = -1;   // index of the last '0' among them
  bool thousands = false;
  bool scientific = false;
};

// Splits on ';' outside quotes.
std::vector<AnsiString> SplitSections(const AnsiString& format) {
  std::vector<AnsiString> sections(1);
  char quote = 0;
  for (char c : format) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ';') {
      if (sections.size() == 3) break;
      sections.emplace_back();
      continue;
    }
    sections.back() += c;
  }
  return sections;
}

bool IsExponentAt(const AnsiString& s, size_t i) {
  return (s[i] == 'E' || s[i] == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-');
}

Picture Analyze(const AnsiString& section) {
  Picture p;
  bool after_point = false;
  char quote = 0;
  for (size_t i = 0; i < section.size(); ++i) {
    const char c = section[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '0' || c == '#') {
      if (!after_point) {
        if (c == '0' && p.first_int_zero < 0) p.first_int_zero = p.int_places;
        ++p.int_places;
      } else {
        if (c == '0') p.last_dec_zero = p.dec_places;
        ++p.dec_places;
      }
    } else if (c == '.') {
      after_point = true;
    } else if (c == ',') {
      p.thousands = true;
    } else if (IsExponentAt(section, i)) {
      p.scientific = true;
      break;
    }
  }
  p.dec_places = std::min(p.dec_places, kMaxDigits);
  return p;
}

// Formats |value| by one section; `negative` asks for the minus sign. Sets `zero` when
// the rounded value is zero.
AnsiString FormatSection(const AnsiString& section, double value, bool negative, bool& zero,
                         const TFormatSettings& fs) {
  const Picture p = Analyze(section);
  AnsiString int_str, frac_str;
  int shown_exponent = 0;
  if (p.scientific) {
    const int places = std::max(p.int_places, 1);
    Decimal d = ToDecimal(value, std::min(places + p.dec_places, kMaxDigits), kUnlimitedDecimals);
    zero = d.digits.empty();
    shown_exponent = zero ? 0 : d.exponent - places;
    d.exponent = places;  // the digits as they stand around the shown point
    SplitFixed(d, p.dec_places, int_str, frac_str);
  } else {
    const Decimal d = ToDecimal(value, kMaxDigits, p.dec_places);
    zero = d.digits.empty();
    SplitFixed(d, p.dec_places, int_str, frac_str);
    const int min_int = p.first_int_zero >= 0 ? p.int_places - p.first_int_zero : 0;
    if (static_cast<int>(int_str.size()) < min_int) int_str.insert(0, min_int - int_str.size(), '0');
  }
  while (static_cast<int>(frac_str.size()) > p.last_dec_zero + 1 && frac_str.back() == '0') frac_str.pop_back();
  if (zero) negative = false;

  AnsiString out;
  const int total = static_cast<int>(int_str.size());
  const int offset = total - p.int_places;
  bool sign_done = false;
  auto emit_int_digit = [&](int index) {
    out += int_str[index];
    const int remaining = total - index - 1;
    if (p.thousands && !p.scientific && remaining > 0 && remaining % 3 == 0 && fs.ThousandSeparator)
      out += fs.ThousandSeparator;
  };
  // The sign and any integer digits without a placeholder of their own.
  auto lead = [&]() {
    if (sign_done) return;
    sign_done = true;
    if (negative) out += '-';
    for (int k = 0; k < offset; ++k) emit_int_digit(k);
  };

  bool after_point = false;
  int int_seen = 0, dec_seen = 0;
  for (size_t i = 0; i < section.size(); ++i) {
    const char c = section[i];
    if (c == '\'' || c == '"') {
      const size_t close = section.find(c, i + 1);
      const size_t end = close == AnsiString::npos ? section.size() : close;
      out.append(section, i + 1, end - i - 1);
      i = end;
    } else if ((c == '0' || c == '#') && !after_point) {
      lead();
      const int pos = offset + int_seen++;
      if (pos >= 0) emit_int_digit(pos);
    } else if (c == '.' && !after_point) {
      after_point = true;
      lead();
      if (!frac_str.empty()) out += fs.DecimalSeparator;
    } else if (c == '0' || c == '#') {
      lead();
      if (dec_seen < static_cast<int>(frac_str.size())) out += frac_str[dec_seen];
      ++dec_seen;
    } else if (c == ',') {
      // Only switches grouping on.
    } else if (p.scientific && IsExponentAt(section, i)) {
      lead();
      out += c;
      const bool plus = section[i + 1] == '+';
      i += 2;
      int exp_digits = 0;
      while (i < section.size() && section[i] == '0') {
        ++exp_digits;
        ++i;
      }
      --i;
      if (shown_exponent < 0) out += '-';
      else if (plus) out += '+';
      out += PadNumber(std::abs(shown_exponent), std::min(exp_digits, 4));
      after_point = true;
      dec_seen = static_cast<int>(frac_str.size());  // nothing more to place
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

AnsiString FormatFloat(const AnsiString& format, double value, const TFormatSettings& fs) {
  if (!std::isfinite(value)) return SpecialValue(value);
  const std::vector<AnsiString> sections = SplitSections(format);
  auto has = [&](size_t i) { return sections.size() > i && !sections[i].empty(); };
  // Values beyond 18 integer digits cannot be placed digit by digit.
  if (!has(0) || std::fabs(value) >= 1e18) return FloatToStr(value, fs);
  bool zero = false;
  AnsiString out;
  if (value == 0 && has(2)) return FormatSection(sections[2], 0, false, zero, fs);
  if (value < 0 && has(1)) out = FormatSection(sections[1], -value, false, zero, fs);
  else out = FormatSection(sections[0], std::fabs(value), value < 0, zero, fs);
  if (zero && has(2)) return FormatSection(sections[2], 0, false, zero, fs);
  return out;
}

AnsiString FormatFloat(const AnsiString& format, double value) {
  return FormatFloat(format, value, FormatSettings());
}

// ---------------------------------------------------------------------------
// StrToFloat

bool TryStrToFloat(const AnsiString& text, double& value, const TFormatSettings& fs) {
  size_t i = 0;
  const size_t n = text.size();
  auto blank = [&](size_t k) { return text[k] == ' ' || text[k] == '\t'; };
  while (i < n && blank(i)) ++i;
  std::string ascii;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') ascii += '-';
    ++i;
  }
  int mantissa_digits = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') {
    ascii += text[i++];
    ++mantissa_digits;
  }
  if (i < n && text[i] == fs.DecimalSeparator) {
    ascii += '.';
    ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
      ascii += text[i++];
      ++mantissa_digits;
    }
  }
  if (mantissa_digits == 0) return false;
  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    ascii += 'e';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ascii += text[i++];
    int exp_digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
      ascii += text[i++];
      ++exp_digits;
    }
    if (exp_digits == 0) return false;
  }
  while (i < n && blank(i)) ++i;
  if (i != n) return false;
  // strtod_l with the C locale: the process locale (which a GUI library may set from
  // the environment) must not decide what a decimal point is.
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const double v = strtod_l(ascii.c_str(), nullptr, c_locale);
  // Overflow gives HUGE_VAL and is an error; underflow to zero or a denormal is a value.
  if (!std::isfinite(v)) return false;
  value = v;
  return true;
}

bool TryStrToFloat(const AnsiString& text, double& value) {
  return TryStrToFloat(text, value, FormatSettings());
}

double StrToFloat(const AnsiString& text, const TFormatSettings& settings) {
  double v;
  if (!TryStrToFloat(text, v, settings))
    throw EConvertError("'" + text + "' is not a valid floating point value");
  return v;
}

double StrToFloat(const AnsiString& text) { return StrToFloat(text, FormatSettings()); }

double StrToFloatDef(const AnsiString& text, double fallback) {
  double v;
  return TryStrToFloat(text, v) ? v : fallback;
}

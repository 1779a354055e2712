// Dates and times: encoding, time stamps, the wall clock, FormatDateTime and the
// date/time parsers.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "toolkit/core/sysutils.h"

namespace {

constexpr int kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                   {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
// TTimeStamp.Date of 9999-12-31.
constexpr int kMaxTimeStampDate = 3652059;

// Puts a time of day beside a day number. Before 1899-12-30 the fraction still counts
// forward from midnight, so it is subtracted from the (negative) day number.
TDateTime Compose(TDateTime date, TDateTime time) {
  return date < 0 ? date - std::fabs(time) : date + std::fabs(time);
}

bool InRange(TDateTime value) {
  return std::isfinite(value) && value > -static_cast<double>(DateDelta) &&
         value < static_cast<double>(kMaxTimeStampDate - DateDelta + 1);
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return kMonthDays[IsLeapYear(year) ? 1 : 0][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  const int* days = kMonthDays[IsLeapYear(year) ? 1 : 0];
  for (int i = 0; i < month - 1; ++i) day += days[i];
  const int y = year - 1;
  date = static_cast<double>(y * 365 + y / 4 - y / 100 + y / 400 + day - DateDelta);
  return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time) {
  if (hour == 24 && min == 0 && sec == 0 && msec == 0) {
    time = 1.0;
    return true;
  }
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    return false;
  time = static_cast<double>(((hour * 60 + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime d;
  if (!TryEncodeDate(year, month, day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime t;
  if (!TryEncodeTime(hour, min, sec, msec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
  return Compose(EncodeDate(year, month, day), EncodeTime(hour, min, sec, msec));
}

// ---------------------------------------------------------------------------
// Time stamps

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  if (!InRange(value)) throw EConvertError("'" + FloatToStr(value) + "' is not a valid timestamp");
  TTimeStamp ts;
  ts.Date = DateDelta + static_cast<int>(std::trunc(value));
  ts.Time = static_cast<int>(PasRound(std::fabs(Frac(value)) * MSecsPerDay));
  // A fraction that rounds up to a whole day is the next midnight, not "24:00".
  if (ts.Time >= MSecsPerDay) {
    ts.Time = 0;
    ++ts.Date;
  }
  if (ts.Date > kMaxTimeStampDate)
    throw EConvertError("'" + FloatToStr(value) + "' is not a valid timestamp");
  return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& stamp) {
  if (stamp.Date < 1 || stamp.Date > kMaxTimeStampDate || stamp.Time < 0 || stamp.Time >= MSecsPerDay)
    throw EConvertError("'" + std::to_string(stamp.Date) + "." + std::to_string(stamp.Time) +
                        "' is not a valid timestamp");
  return Compose(stamp.Date - DateDelta, static_cast<double>(stamp.Time) / MSecsPerDay);
}

TTimeStamp MSecsToTimeStamp(int64_t msecs) {
  const int64_t days = msecs / MSecsPerDay;
  if (msecs < 0 || days > kMaxTimeStampDate)
    throw EConvertError("'" + std::to_string(msecs) + "' is not a valid timestamp");
  return TTimeStamp{static_cast<int>(msecs % MSecsPerDay), static_cast<int>(days)};
}

int64_t TimeStampToMSecs(const TTimeStamp& stamp) {
  return static_cast<int64_t>(stamp.Date) * MSecsPerDay + stamp.Time;
}

// ---------------------------------------------------------------------------
// Decoding

void DecodeDate(TDateTime date, int& year, int& month, int& day) {
  year = month = day = 0;
  if (!InRange(date)) return;
  const TTimeStamp ts = DateTimeToTimeStamp(date);
  if (ts.Date < 1) return;
  // Days since 0001-01-01 split into 400-, 100-, 4- and 1-year cycles.
  int d = ts.Date - 1;
  int y = 1;
  y += (d / 146097) * 400;
  d %= 146097;
  int i = d / 36524;
  d %= 36524;
  if (i == 4) {
    i = 3;
    d += 36524;
  }
  y += i * 100;
  y += (d / 1461) * 4;
  d %= 1461;
  i = d / 365;
  d %= 365;
  if (i == 4) {
    i = 3;
    d += 365;
  }
  y += i;
  const int* days = kMonthDays[IsLeapYear(y) ? 1 : 0];
  int m = 0;
  while (d >= days[m]) d -= days[m++];
  year = y;
  month = m + 1;
  day = d + 1;
}

void DecodeTime(TDateTime time, int& hour, int& min, int& sec, int& msec) {
  hour = min = sec = msec = 0;
  if (!InRange(time)) return;
  int ms = DateTimeToTimeStamp(time).Time;
  hour = ms / 3600000;
  ms %= 3600000;
  min = ms / 60000;
  ms %= 60000;
  sec = ms / 1000;
  msec = ms % 1000;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec) {
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, min, sec, msec);
}

int DayOfWeek(TDateTime date) { return DateTimeToTimeStamp(date).Date % 7 + 1; }

TDateTime IncMonth(TDateTime date, int months) {
  int y, m, d;
  DecodeDate(date, y, m, d);
  if (y == 0) throw EConvertError("Invalid argument to date encode");
  const int64_t total = static_cast<int64_t>(y) * 12 + (m - 1) + months;
  const int64_t ny = total >= 0 ? total / 12 : (total - 11) / 12;
  if (ny < 1 || ny > 9999) throw EConvertError("Invalid argument to date encode");
  const int nm = static_cast<int>(total - ny * 12) + 1;
  d = std::min(d, DaysInMonth(static_cast<int>(ny), nm));
  return Compose(EncodeDate(static_cast<int>(ny), nm, d), Frac(date));
}

// ---------------------------------------------------------------------------
// The wall clock

namespace {

TDateTime MachineNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                        std::min(local.tm_sec, 59), static_cast<int>(ts.tv_nsec / 1000000));
}

std::mutex& NowMutex() {
  static std::mutex m;
  return m;
}

TNowSource& NowSourceSlot() {
  static TNowSource source;
  return source;
}

}  // namespace

TNowSource SetNowSource(TNowSource source) {
  std::lock_guard<std::mutex> lock(NowMutex());
  TNowSource previous = std::move(NowSourceSlot());
  NowSourceSlot() = std::move(source);
  return previous;
}

TDateTime Now() {
  TNowSource source;
  {
    std::lock_guard<std::mutex> lock(NowMutex());
    source = NowSourceSlot();
  }
  return source ? source() : MachineNow();
}

TDateTime Date() { return Int(Now()); }

TDateTime Time() { return Frac(Now()); }

// ---------------------------------------------------------------------------
// FormatDateTime

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool StartsWithNoCase(const AnsiString& s, size_t pos, const char* word) {
  for (size_t k = 0; word[k]; ++k)
    if (pos + k >= s.size() || Upper(s[pos + k]) != word[k]) return false;
  return true;
}

AnsiString Pad(int value, int width) {
  AnsiString s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
  return s;
}

class DateTimeFormatter {
 public:
  DateTimeFormatter(TDateTime value, const TFormatSettings& fs) : fs_(fs) {
    DecodeDate(value, year_, month_, day_);
    DecodeTime(value, hour_, min_, sec_, msec_);
    if (year_ != 0) day_of_week_ = DayOfWeek(value);
  }

  void Append(AnsiString& out, const AnsiString& fmt, int depth) {
    // Nested formats (c, ddddd, t) go two levels deep at most, so a format naming
    // itself cannot recurse forever.
    if (depth > 2) return;
    char last = 0;
    size_t i = 0;
    const size_t n = fmt.size();
    while (i < n) {
      const char c = fmt[i];
      char token = Upper(c);
      if (token >= 'A' && token <= 'Z') {
        if (token == 'M' && last == 'H') token = 'N';
        last = token;
      }
      auto run = [&]() {
        size_t k = i;
        while (k < n && Upper(fmt[k]) == Upper(c)) ++k;
        const int count = static_cast<int>(k - i);
        i = k;
        return count;
      };
      switch (token) {
        case 'Y': {
          const int count = run();
          out += count <= 2 ? Pad(year_ % 100, 2) : Pad(year_, 4);
          break;
        }
        case 'M': {
          const int count = run();
          if (count <= 2) out += Pad(month_, count);
          else if (month_ >= 1) out += (count == 3 ? fs_.ShortMonthNames : fs_.LongMonthNames)[month_ - 1];
          break;
        }
        case 'D': {
          const int count = run();
          if (count <= 2) out += Pad(day_, count);
          else if (count <= 4) {
            if (day_of_week_ >= 1) out += (count == 3 ? fs_.ShortDayNames : fs_.LongDayNames)[day_of_week_ - 1];
          } else {
            Append(out, count == 5 ? fs_.ShortDateFormat : fs_.LongDateFormat, depth + 1);
          }
          break;
        }
        case 'H': {
          const size_t start = i;
          const int count = std::min(run(), 2);
          int h = hour_;
          if (TwelveHourAhead(fmt, start)) {
            h %= 12;
            if (h == 0) h = 12;
          }
          out += Pad(h, count);
          break;
        }
        case 'N':
          out += Pad(min_, std::min(run(), 2));
          break;
        case 'S':
          out += Pad(sec_, std::min(run(), 2));
          break;
        case 'Z':
          out += Pad(msec_, run() == 1 ? 1 : 3);
          break;
        case 'T': {
          const int count = run();
          Append(out, count == 1 ? fs_.ShortTimeFormat : fs_.LongTimeFormat, depth + 1);
          break;
        }
        case 'C':
          ++i;
          Append(out, fs_.ShortDateFormat, depth + 1);
          if (hour_ != 0 || min_ != 0 || sec_ != 0) {
            out += ' ';
            Append(out, fs_.LongTimeFormat, depth + 1);
          }
          break;
        case 'A':
          if (StartsWithNoCase(fmt, i, "AM/PM")) {
            out += hour_ < 12 ? fmt.substr(i, 2) : fmt.substr(i + 3, 2);
            i += 5;
          } else if (StartsWithNoCase(fmt, i, "A/P")) {
            out += hour_ < 12 ? fmt[i] : fmt[i + 2];
            i += 3;
          } else if (StartsWithNoCase(fmt, i, "AMPM")) {
            out += hour_ < 12 ? fs_.TimeAMString : fs_.TimePMString;
            i += 4;
          } else {
            out += c;
            ++i;
          }
          break;
        case '/':
          if (fs_.DateSeparator) out += fs_.DateSeparator;
          ++i;
          break;
        case ':':
          if (fs_.TimeSeparator) out += fs_.TimeSeparator;
          ++i;
          break;
        case '\'':
        case '"': {
          const size_t close = fmt.find(c, i + 1);
          const size_t end = close == AnsiString::npos ? n : close;
          out.append(fmt, i + 1, end - i - 1);
          i = end + 1;
          break;
        }
        default:
          out += c;
          ++i;
          break;
      }
    }
  }

 private:
  // Whether an am/pm specifier follows, which makes h a 12-hour clock.
  static bool TwelveHourAhead(const AnsiString& fmt, size_t from) {
    char quote = 0;
    for (size_t k = from; k < fmt.size(); ++k) {
      const char c = fmt[k];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (StartsWithNoCase(fmt, k, "AM/PM") || StartsWithNoCase(fmt, k, "A/P") ||
                 StartsWithNoCase(fmt, k, "AMPM")) {
        return true;
      }
    }
    return false;
  }

  const TFormatSettings& fs_;
  int year_ = 0, month_ = 0, day_ = 0, hour_ = 0, min_ = 0, sec_ = 0, msec_ = 0;
  int day_of_week_ = 0;
};

}  // namespace

AnsiString FormatDateTime(const AnsiString& format, TDateTime value, const TFormatSettings& settings) {
  AnsiString out;
  DateTimeFormatter(value, settings).Append(out, format.empty() ? AnsiString("c") : format, 0);
  return out;
}

AnsiString FormatDateTime(const AnsiString& format, TDateTime value) {
  return FormatDateTime(format, value, FormatSettings());
}

AnsiString FormatLongDate(TDateTime value, const TFormatSettings& settings) {
  TFormatSettings after_day = settings;
  after_day.LongMonthNames = settings.GenitiveMonthNames;
  return FormatDateTime(settings.LongDateFormat, value, after_day);
}

AnsiString FormatLongDate(TDateTime value) { return FormatLongDate(value, FormatSettings()); }

AnsiString DateToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("ddddd", value, settings);
}
AnsiString DateToStr(TDateTime value) { return DateToStr(value, FormatSettings()); }

AnsiString TimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("tt", value, settings);
}
AnsiString TimeToStr(TDateTime value) { return TimeToStr(value, FormatSettings()); }

AnsiString DateTimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("c", value, settings);
}
AnsiString DateTimeToStr(TDateTime value) { return DateTimeToStr(value, FormatSettings()); }

// ---------------------------------------------------------------------------
// Parsing

namespace {

class DateScanner {
 public:
  DateScanner(const AnsiString& text, const TFormatSettings& fs) : s_(text), fs_(fs) {}

  void SkipBlanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
  }
  bool AtEnd() const { return pos_ >= s_.size(); }
  size_t pos() const { return pos_; }
  void set_pos(size_t p) { pos_ = p; }

  // One to four digits.
  bool Number(int& value, int* length = nullptr) {
    SkipBlanks();
    size_t k = pos_;
    int v = 0;
    while (k < s_.size() && s_[k] >= '0' && s_[k] <= '9') {
      if (k - pos_ == 4) return false;
      v = v * 10 + (s_[k] - '0');
      ++k;
    }
    if (k == pos_) return false;
    if (length) *length = static_cast<int>(k - pos_);
    pos_ = k;
    value = v;
    return true;
  }

  bool Char(char c) {
    SkipBlanks();
    if (c != 0 && pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool Word(const AnsiString& word) {
    if (word.empty()) return false;
    SkipBlanks();
    if (!StartsWithNoCase(s_, pos_, UpperAscii(word).c_str())) return false;
    pos_ += word.size();
    return true;
  }

  bool Date(TDateTime& value) {
    enum Order { DMY, MDY, YMD } order = DMY;
    for (char c : fs_.ShortDateFormat) {
      const char u = Upper(c);
      if (u == 'D') break;
      if (u == 'M') {
        order = MDY;
        break;
      }
      if (u == 'Y') {
        order = YMD;
        break;
      }
    }
    int n1, n2, n3 = 0, l1 = 0, l3 = 0;
    if (!Number(n1, &l1) || !Char(fs_.DateSeparator) || !Number(n2)) return false;
    int y, m, d, ylen;
    if (Char(fs_.DateSeparator)) {
      if (!Number(n3, &l3)) return false;
      switch (order) {
        case MDY: m = n1, d = n2, y = n3, ylen = l3; break;
        case YMD: y = n1, m = n2, d = n3, ylen = l1; break;
        default: d = n1, m = n2, y = n3, ylen = l3; break;
      }
    } else {
      int cy, cm, cd;
      DecodeDate(Now(), cy, cm, cd);
      y = cy;
      ylen = 4;
      if (order == DMY) d = n1, m = n2;
      else m = n1, d = n2;
    }
    if (ylen <= 2) {
      int cy, cm, cd;
      DecodeDate(Now(), cy, cm, cd);
      const int window = fs_.TwoDigitYearCenturyWindow;
      const int base = cy - window;
      y += base / 100 * 100;
      if (window > 0 && y < base) y += 100;
    }
    return TryEncodeDate(y, m, d, value);
  }

  bool TimeOfDay(TDateTime& value) {
    int h, n = 0, sec = 0, ms = 0;
    if (!Number(h)) return false;
    bool have_minutes = false;
    if (Char(fs_.TimeSeparator)) {
      if (!Number(n)) return false;
      have_minutes = true;
      if (Char(fs_.TimeSeparator)) {
        if (!Number(sec)) return false;
        if (Char(fs_.DecimalSeparator) && !Number(ms)) return false;
      }
    }
    int half = -1;  // 0 morning, 1 afternoon
    if (Word(fs_.TimeAMString) || Word("AM")) half = 0;
    else if (Word(fs_.TimePMString) || Word("PM")) half = 1;
    if (half < 0 && !have_minutes) return false;
    if (half >= 0) {
      if (h < 1 || h > 12) return false;
      if (h == 12) h = 0;
      if (half == 1) h += 12;
    }
    return TryEncodeTime(h, n, sec, ms, value);
  }

 private:
  static AnsiString UpperAscii(AnsiString s) {
    for (char& c : s) c = Upper(c);
    return s;
  }

  const AnsiString& s_;
  const TFormatSettings& fs_;
  size_t pos_ = 0;
};

}  // namespace

bool TryStrToDate(const AnsiString& text, TDateTime& value, const TFormatSettings& settings) {
  DateScanner sc(text, settings);
  TDateTime d;
  if (!sc.Date(d)) return false;
  sc.SkipBlanks();
  if (!sc.AtEnd()) return false;
  value = d;
  return true;
}

bool TryStrToTime(const AnsiString& text, TDateTime& value, const TFormatSettings& settings) {
  DateScanner sc(text, settings);
  TDateTime t;
  if (!sc.TimeOfDay(t)) return false;
  sc.SkipBlanks();
  if (!sc.AtEnd()) return false;
  value = t;
  return true;
}

bool TryStrToDateTime(const AnsiString& text, TDateTime& value, const TFormatSettings& settings) {
  DateScanner sc(text, settings);
  TDateTime d, t = 0;
  if (sc.Date(d)) {
    sc.SkipBlanks();
    if (!sc.AtEnd() && !sc.TimeOfDay(t)) return false;
  } else {
    sc.set_pos(0);
    if (!sc.TimeOfDay(t)) return false;
    d = 0;
  }
  sc.SkipBlanks();
  if (!sc.AtEnd()) return false;
  value = Compose(d, t);
  return true;
}

TDateTime StrToDate(const AnsiString& text, const TFormatSettings& settings) {
  TDateTime v;
  if (!TryStrToDate(text, v, settings)) throw EConvertError("'" + text + "' is not a valid date");
  return v;
}
TDateTime StrToDate(const AnsiString& text) { return StrToDate(text, FormatSettings()); }

TDateTime StrToTime(const AnsiString& text, const TFormatSettings& settings) {
  TDateTime v;
  if (!TryStrToTime(text, v, settings)) throw EConvertError("'" + text + "' is not a valid time");
  return v;
}
TDateTime StrToTime(const AnsiString& text) { return StrToTime(text, FormatSettings()); }

TDateTime StrToDateTime(const AnsiString& text, const TFormatSettings& settings) {
  TDateTime v;
  if (!TryStrToDateTime(text, v, settings))
    throw EConvertError("'" + text + "' is not a valid date and time");
  return v;
}
TDateTime StrToDateTime(const AnsiString& text) { return StrToDateTime(text, FormatSettings()); }

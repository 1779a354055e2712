#include "dbf/dbf_common.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "toolkit/sys/files.h"

// ---- Paths -----------------------------------------------------------------

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == kPathDelim; }

std::string IncludeBackslash(const std::string& path) { return IncludeTrailingPathDelimiter(path); }

std::string ResolvePath(const std::string& base, const std::string& path) {
  std::string result;
  if (IsAbsolutePath(path))
    result = path;
  else if (base.empty())
    result = ExpandFileName(path);
  else
    result = ExpandFileName(IncludeBackslash(base) + path);
  return result.empty() ? result : IncludeBackslash(result);
}

std::string ResolveFileName(const std::string& base, const std::string& file_name) {
  return ResolvePath(base, ExtractFilePath(file_name)) + ExtractFileName(file_name);
}

std::string NextFreeFileName(const std::string& file_name, int* counter) {
  const std::string ext = ExtractFileExt(file_name);
  const std::string stem = ChangeFileExt(file_name, "");
  std::string candidate;
  do {
    ++*counter;
    candidate = stem + "_" + std::to_string(*counter) + ext;
  } while (FileExists(candidate) || DirectoryExists(candidate));
  return candidate;
}

// ---- Number text -------------------------------------------------------------

int GetStrFromInt(int64_t value, char* dest) {
  // Work on the unsigned magnitude so that INT64_MIN has digits too.
  uint64_t magnitude = value < 0 ? uint64_t(0) - uint64_t(value) : uint64_t(value);
  char digits[20];
  int count = 0;
  do {
    digits[count++] = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  for (int i = 0; i < count; ++i) dest[i] = digits[count - 1 - i];
  return count;
}

bool IntToFieldText(int64_t value, int width, char pad, char* dest) {
  char digits[20];
  const int count = GetStrFromInt(value, digits);
  const int needed = count + (value < 0 ? 1 : 0);
  if (width <= 0 || needed > width) return false;
  std::memset(dest, pad, size_t(width));
  std::memcpy(dest + width - count, digits, size_t(count));
  if (value < 0) dest[pad == '0' ? 0 : width - count - 1] = '-';
  return true;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\0'; }

// The span without blanks (and NULs) at both ends.
void TrimSpan(const char*& text, int& length) {
  while (length > 0 && IsBlank(text[0])) {
    ++text;
    --length;
  }
  while (length > 0 && IsBlank(text[length - 1])) --length;
}

}  // namespace

int64_t FieldTextToInt64(const char* text, int length, int64_t fallback) {
  TrimSpan(text, length);
  int i = 0;
  bool negative = false;
  if (i < length && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
    while (i < length && text[i] == ' ') ++i;
  }
  const int digits_start = i;
  uint64_t magnitude = 0;
  for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned d = unsigned(text[i] - '0');
    if (magnitude > (UINT64_MAX - d) / 10) return fallback;
    magnitude = magnitude * 10 + d;
  }
  bool any_digit = i > digits_start;
  if (i < length && text[i] == '.') {
    ++i;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) any_digit = true;
  }
  if (!any_digit || i != length) return fallback;
  if (negative) {
    if (magnitude > uint64_t(INT64_MAX) + 1) return fallback;
    return magnitude == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -int64_t(magnitude);
  }
  if (magnitude > uint64_t(INT64_MAX)) return fallback;
  return int64_t(magnitude);
}

double FieldTextToFloat(const char* text, int length) {
  TrimSpan(text, length);
  std::string compact;
  int i = 0;
  if (i < length && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-') compact += '-';
    ++i;
    while (i < length && text[i] == ' ') ++i;
  }
  compact.append(text + i, size_t(length - i));
  double value = 0;
  const char* first = compact.data();
  const char* last = first + compact.size();
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || end != last || !std::isfinite(value)) return 0.0;
  return value;
}

bool FloatToFieldText(double value, int width, int decimals, char* dest) {
  if (!std::isfinite(value) || width <= 0 || decimals < 0) return false;
  char text[400];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (error != std::errc()) return false;
  int length = int(end - text);
  // A value that rounds to zero keeps no sign ("-0.00" would read back as 0
  // anyway, but other readers show the minus).
  if (text[0] == '-' && std::string_view(text + 1, size_t(length - 1)).find_first_not_of("0.") == std::string_view::npos) {
    std::memmove(text, text + 1, size_t(length - 1));
    --length;
  }
  if (length > width) return false;
  std::memset(dest, ' ', size_t(width - length));
  std::memcpy(dest + width - length, text, size_t(length));
  return true;
}

// ---- Time stamps ---------------------------------------------------------------

namespace {
// The calendar the toolkit's time stamps cover: 0001-01-01 up to 9999-12-31.
constexpr double kFirstDateTime = -693593.0;
constexpr double kLastDateTime = 2958466.0;
}  // namespace

double DateTimeToBdeStamp(TDateTime value) {
  if (!std::isfinite(value) || value < kFirstDateTime || value >= kLastDateTime) return 0.0;
  return double(TimeStampToMSecs(DateTimeToTimeStamp(value)));
}

TDateTime BdeStampToDateTime(double stamp) {
  if (!std::isfinite(stamp)) return 0.0;
  const double msecs = std::nearbyint(stamp);
  // One day past the last calendar day is still a valid stamp of its end.
  if (msecs < double(MSecsPerDay) || msecs > (double(DateDelta) + kLastDateTime + 1) * MSecsPerDay) return 0.0;
  try {
    return TimeStampToDateTime(MSecsToTimeStamp(int64_t(msecs)));
  } catch (const EConvertError&) {
    return 0.0;
  }
}

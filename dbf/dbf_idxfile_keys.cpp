// TIndexFile: key encoding. The keys of a record image, numbers and texts as
// keys (MDX numbers as decimal BCD), and the comparison of two keys by the
// tag's type and collation.

#include "dbf/dbf_idxfile.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include "dbf/dbf_idxfile_impl.h"
#include "dbf/dbf_lang.h"
#include "dbf/dbf_packmark.h"
#include "dbf/dbf_parser.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

namespace {

// ---- MDX decimal keys -------------------------------------------------------

void BcdZero(uint8_t* key) {
  std::memset(key, 0, 12);
  key[0] = 0x34;
  key[1] = 0x01;
}

// digits: significant decimal digits without trailing zeros (1 to 18).
void BcdFromDigits(uint8_t* key, bool negative, int exponent, std::string_view digits) {
  std::memset(key, 0, 12);
  key[0] = uint8_t(0x34 + exponent);
  const int bytes = int(digits.size() + 1) / 2;
  key[1] = uint8_t(bytes * 8 + 1) | (negative ? 0x80 : 0);
  for (size_t i = 0; i < digits.size(); ++i) {
    const uint8_t d = uint8_t(digits[i] - '0');
    key[2 + i / 2] |= i % 2 == 0 ? uint8_t(d << 4) : d;
  }
}

void StripTrailingZeros(std::string_view* digits) {
  while (digits->size() > 1 && digits->back() == '0') digits->remove_suffix(1);
}

void BcdFromInt(int64_t value, uint8_t* key);

void BcdFromDouble(double value, uint8_t* key) {
  // Values the 8-bit exponent cannot hold: NaN and the tiniest become zero,
  // the largest (and infinities) the largest magnitude the key can show.
  if (std::isnan(value) || value == 0 || std::fabs(value) < 1e-52) return BcdZero(key);
  const bool negative = value < 0;
  if (std::isinf(value) || std::fabs(value) >= 1e203)
    return BcdFromDigits(key, negative, 0xFF - 0x34, std::string(16, '9'));
  // A whole number of at most 15 digits is exact in both forms and gets the
  // same digits without formatting.
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) return BcdFromInt(int64_t(value), key);
  char text[40];
  std::snprintf(text, sizeof text, "%.14e", std::fabs(value));
  char mantissa[15];
  mantissa[0] = text[0];
  std::memcpy(mantissa + 1, text + 2, 14);
  std::string_view digits(mantissa, sizeof mantissa);
  const int exponent = std::atoi(std::strchr(text, 'e') + 1) + 1;
  StripTrailingZeros(&digits);
  if (exponent < -0x34) return BcdZero(key);
  BcdFromDigits(key, negative, exponent, digits);
}

void BcdFromInt(int64_t value, uint8_t* key) {
  if (value == 0) return BcdZero(key);
  const uint64_t magnitude = value < 0 ? uint64_t(0) - uint64_t(value) : uint64_t(value);
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, magnitude).ptr;
  std::string_view digits(text, size_t(end - text));
  // Nine digit bytes hold 18 digits; longer integers go the floating way.
  if (digits.size() > 18) return BcdFromDouble(double(value), key);
  const int exponent = int(digits.size());
  StripTrailingZeros(&digits);
  BcdFromDigits(key, value < 0, exponent, digits);
}

double BcdToDouble(const uint8_t* key) {
  if (key[0] == 0x34 && (key[1] & 0x7F) == 0x01) return 0;
  const int exponent = int(key[0]) - 0x34;
  double value = 0;
  for (int i = 0; i < 18; ++i) {
    const int d = i % 2 == 0 ? key[2 + i / 2] >> 4 : key[2 + i / 2] & 0x0F;
    value += d * std::pow(10.0, exponent - i - 1);
  }
  return key[1] & 0x80 ? -value : value;
}

bool BcdIsZero(const uint8_t* key) { return key[0] == 0x34 && key[1] == 0x01; }

int CompareBcd(const uint8_t* a, const uint8_t* b) {
  const bool neg_a = (a[1] & 0x80) != 0, neg_b = (b[1] & 0x80) != 0;
  if (neg_a != neg_b) return neg_a ? -1 : 1;
  int result = 0;
  const bool zero_a = BcdIsZero(a), zero_b = BcdIsZero(b);
  if (zero_a || zero_b) {
    result = zero_a == zero_b ? 0 : (zero_a ? -1 : 1);
  } else if (a[0] == b[0]) {
    for (int i = 2; i <= 9 && result == 0; ++i)
      if (a[i] != b[i]) result = a[i] < b[i] ? -1 : 1;
  } else {
    result = a[0] < b[0] ? -1 : 1;
  }
  return neg_a ? -result : result;
}

}  // namespace

// ---- keys -----------------------------------------------------------------------------

void TIndexFile::BuildKey(const uint8_t* record, uint8_t* key) {
  Tag& tag = *Current();
  const char* result = tag.parser->EvaluateRecord(reinterpret_cast<const char*>(record));
  const TExprKind kind = tag.parser->GetResultKind();
  if (tag.key_type == 'C') {
    const int bound = tag.parser->HoldsExpression() ? tag.key_length
                                                    : std::min(tag.key_length, tag.parser->ResultLength());
    const size_t n = result ? strnlen(result, size_t(std::max(0, bound))) : 0;
    std::memcpy(key, result, n);
    std::memset(key + n, ' ', size_t(tag.key_length) - n);
    return;
  }
  if (kind == ekInteger || kind == ekLargeInt) {
    int64_t value = 0;
    if (kind == ekInteger) {
      int32_t v = 0;
      std::memcpy(&v, result, sizeof v);
      value = v;
    } else {
      std::memcpy(&value, result, sizeof value);
    }
    if (mdx_)
      BcdFromInt(value, key);
    else
      PutLEDouble(key, double(value));
    return;
  }
  double value = 0;
  std::memcpy(&value, result, sizeof value);
  NumberToKey(value, key);
}

void TIndexFile::NumberToKey(double value, uint8_t* key) const {
  if (mdx_)
    BcdFromDouble(value, key);
  else
    PutLEDouble(key, value);
}

void TIndexFile::TextToKey(const AnsiString& text, uint8_t* key) const {
  const size_t length = size_t(KeyLength());
  const size_t n = std::min(length, text.size());
  std::memcpy(key, text.data(), n);
  std::memset(key + n, ' ', length - n);
}

std::u16string TIndexFile::Widen(const uint8_t* key) const {
  const size_t length = size_t(KeyLength());
  std::u16string wide;
  if (!collation_chars_.empty()) {
    wide.resize(length);
    for (size_t i = 0; i < length; ++i) wide[i] = collation_chars_[key[i]];
    return wide;
  }
  return MultiByteToWide(ToCollation(key), collation_code_page_);
}

std::string TIndexFile::ToCollation(const uint8_t* key) const {
  const std::string_view bytes(reinterpret_cast<const char*>(key), size_t(KeyLength()));
  if (collation_code_page_ == table_code_page_) return std::string(bytes);
  try {
    return ConvertCodePage(bytes, table_code_page_, collation_code_page_);
  } catch (const EConvertError&) {
    return std::string(bytes);
  }
}

int TIndexFile::CompareCharKeys(const uint8_t* a, const uint8_t* b) const {
  const int length = KeyLength();
  if (locale_ == kDefaultCollationLocale) {
    for (int i = 0; i < length; ++i) {
      if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
      if (a[i] == 0) return 0;
    }
    return 0;
  }
  int c = 0;
  if (!collation_chars_.empty()) {
    // The comparison of every key a search or an insertion meets: widened
    // on the stack, as Widen would; the search key was widened when it was set.
    char16_t wide_a[kMaxKeyLength], wide_b[kMaxKeyLength];
    const char16_t* left = wide_a;
    if (a == search_key_.data() && search_wide_.size() == size_t(length)) {
      left = search_wide_.data();
    } else {
      for (int i = 0; i < length; ++i) wide_a[i] = collation_chars_[a[i]];
    }
    for (int i = 0; i < length; ++i) wide_b[i] = collation_chars_[b[i]];
    c = CompareStringLocaleW(locale_, false, std::u16string_view(left, size_t(length)),
                             std::u16string_view(wide_b, size_t(length)));
  } else {
    c = CompareStringLocaleW(locale_, false, Widen(a), Widen(b));
  }
  return (c > 0) - (c < 0);
}

int TIndexFile::CompareKeys(const uint8_t* a, const uint8_t* b) const {
  const Tag* tag = Current();
  if (tag == nullptr) return 0;
  int result = 0;
  if (tag->key_type == 'C') {
    result = CompareCharKeys(a, b);
  } else if (mdx_) {
    result = CompareBcd(a, b);
  } else {
    const double x = GetLEDouble(a), y = GetLEDouble(b);
    result = x > y ? 1 : (x < y ? -1 : 0);
  }
  return tag->descending ? -result : result;
}

AnsiString TIndexFile::KeyText(const uint8_t* key) const {
  if (KeyType() == 'C') return AnsiString(reinterpret_cast<const char*>(key), size_t(KeyLength()));
  return FloatToStr(mdx_ ? BcdToDouble(key) : GetLEDouble(key));
}

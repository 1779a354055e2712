// The field codec: bytes of one field of a record image to the framework's
// value layout and back, for every letter, requested type and level.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <variant>

#include "dbf/dbf_dbffile.h"
#include "toolkit/core/sysutils.h"

namespace dbf_codec_test {

using V = std::variant<int64_t, double, std::string>;

// The value in the framework's layout for a requested type.
std::vector<uint8_t> ToSource(TFieldType type, const V& v) {
  std::vector<uint8_t> buf(512, 0);
  const auto put = [&](auto x) { std::memcpy(buf.data(), &x, sizeof x); };
  switch (type) {
    case ftSmallint: put(int16_t(std::get<int64_t>(v))); break;
    case ftWord:
    case ftBoolean: put(uint16_t(std::get<int64_t>(v))); break;
    case ftInteger:
    case ftAutoInc: put(int32_t(std::get<int64_t>(v))); break;
    case ftLargeint: put(std::get<int64_t>(v)); break;
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftDateTime: put(std::get<double>(v)); break;
    case ftString: std::get<std::string>(v).copy(reinterpret_cast<char*>(buf.data()), 500); break;
    case ftBCD: std::get<std::string>(v).copy(reinterpret_cast<char*>(buf.data()), 8); break;
    default: break;
  }
  return buf;
}

V FromDest(TFieldType type, const std::vector<uint8_t>& buf) {
  const auto get = [&](auto x) {
    std::memcpy(&x, buf.data(), sizeof x);
    return x;
  };
  switch (type) {
    case ftSmallint: return int64_t(get(int16_t()));
    case ftWord:
    case ftBoolean: return int64_t(get(uint16_t()));
    case ftInteger:
    case ftAutoInc: return int64_t(get(int32_t()));
    case ftLargeint: return get(int64_t());
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftDateTime: return get(double());
    case ftBCD: return std::string(reinterpret_cast<const char*>(buf.data()), 8);
    default: return std::string(reinterpret_cast<const char*>(buf.data()));
  }
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  return out;
}

// A table file object (never opened) with one field at offset 1.
struct OneField {
  TDbfFile file;
  TDbfFieldDef* def;
  OneField(int version, char letter, int length, int decimals, TDateTimeHandling dt = dtBDETimeStamp) {
    file.SetDbfVersion(version);
    file.SetDateTimeHandling(dt);
    file.FieldDefs().SetDbfVersion(version);
    def = file.FieldDefs().AddFieldDef();
    def->SetFromDescriptor("F", letter, length, decimals);
    def->SetOffset(1);
  }
};

constexpr int L3 = kDbfVersionDBase3, L4 = kDbfVersionDBase4, L7 = kDbfVersionDBase7, FP = kDbfVersionFoxPro;
const double kLeapDay = 45351.0;  // 2024-02-29

struct CodecCase {
  const char* what;
  int version;
  char letter;
  int length, decimals;
  TFieldType type;
  std::optional<V> value;    // encoded first unless nullopt and stored_in is set
  std::string stored;        // the field's bytes after encoding (or before decoding)
  std::optional<V> decoded;  // nullopt: reads as null
  TDateTimeHandling dt = dtBDETimeStamp;
  bool decode_only = false;
};

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += char(b);
  return s;
}

TEST(FieldCodec, TableOfCases) {
  const CodecCase cases[] = {
      {"text pads with blanks", L4, 'C', 5, 0, ftString, V{"ab"}, "ab   ", V{"ab"}},
      {"text keeps leading blanks", L4, 'C', 5, 0, ftString, std::nullopt, "  ab ", V{"  ab"}, dtBDETimeStamp, true},
      {"text null is blank", L4, 'C', 5, 0, ftString, std::nullopt, "     ", std::nullopt},
      {"text cut at the field length", L3, 'C', 3, 0, ftString, V{"abcdef"}, "abc", V{"abc"}},
      {"negative integer right-aligned", L4, 'N', 9, 0, ftInteger, V{int64_t(-5)}, "       -5", V{int64_t(-5)}},
      {"sign in the first column reads", L4, 'N', 9, 0, ftInteger, std::nullopt, "-       5", V{int64_t(-5)},
       dtBDETimeStamp, true},
      {"small integer", L4, 'N', 4, 0, ftSmallint, V{int64_t(42)}, "  42", V{int64_t(42)}},
      {"float with decimals", L4, 'N', 18, 9, ftFloat, V{2.5}, "       2.500000000", V{2.5}},
      {"float negative", FP, 'F', 8, 2, ftFloat, V{-0.25}, "   -0.25", V{-0.25}},
      {"currency as fixed text", L4, 'N', 10, 4, ftCurrency, V{12.5}, "   12.5000", V{12.5}},
      {"large integer", L4, 'N', 18, 0, ftLargeint, V{int64_t(123456789012)}, "      123456789012",
       V{int64_t(123456789012)}},
      {"number text as string", L4, 'N', 9, 0, ftString, std::nullopt, "     -5  ", V{"     -5"}, dtBDETimeStamp, true},
      {"unparsable number reads 0", L4, 'N', 5, 0, ftInteger, std::nullopt, " 1x2 ", V{int64_t(0)}, dtBDETimeStamp,
       true},
      {"numeric null", L4, 'N', 5, 0, ftInteger, std::nullopt, "     ", std::nullopt},
      {"logical true", L3, 'L', 1, 0, ftBoolean, V{int64_t(1)}, "T", V{int64_t(1)}},
      {"logical false", L4, 'L', 1, 0, ftBoolean, V{int64_t(0)}, "F", V{int64_t(0)}},
      {"logical Y is false", L4, 'L', 1, 0, ftBoolean, std::nullopt, "Y", V{int64_t(0)}, dtBDETimeStamp, true},
      {"logical t is true", L4, 'L', 1, 0, ftBoolean, std::nullopt, "t", V{int64_t(1)}, dtBDETimeStamp, true},
      {"logical blank is null", L4, 'L', 1, 0, ftBoolean, std::nullopt, " ", std::nullopt},
      {"date", L4, 'D', 8, 0, ftDate, V{kLeapDay}, "20240229", V{kLeapDay}},
      {"impossible date reads 0.0", L4, 'D', 8, 0, ftDate, std::nullopt, "20230231", V{0.0}, dtBDETimeStamp, true},
      {"date as text", L4, 'D', 8, 0, ftString, std::nullopt, "20240229", V{"20240229"}, dtBDETimeStamp, true},
      {"date null", L4, 'D', 8, 0, ftDate, std::nullopt, "        ", std::nullopt},
      {"date-time digits into text storage", L4, 'C', 14, 0, ftDateTime, V{kLeapDay + 0.5}, "20240229120000",
       V{kLeapDay}},
      {"memo block zero-padded", L4, 'M', 10, 0, ftInteger, V{int64_t(4)}, "0000000004", V{int64_t(4)}},
      {"memo block none", L4, 'M', 10, 0, ftInteger, V{int64_t(-1)}, "-000000001", V{int64_t(-1)}},
      {"integer dBase: top bit flipped, big-endian", L7, 'I', 4, 0, ftInteger, V{int64_t(5)}, B({0x80, 0, 0, 5}),
       V{int64_t(5)}},
      {"integer dBase negative", L7, 'I', 4, 0, ftInteger, V{int64_t(-1)}, B({0x7F, 0xFF, 0xFF, 0xFF}),
       V{int64_t(-1)}},
      {"integer dBase zeros are null", L7, 'I', 4, 0, ftInteger, std::nullopt, B({0, 0, 0, 0}), std::nullopt},
      {"autoinc dBase", L7, '+', 4, 0, ftAutoInc, V{int64_t(7)}, B({0x80, 0, 0, 7}), V{int64_t(7)}},
      {"integer FoxPro little-endian", FP, 'I', 4, 0, ftInteger, V{int64_t(5)}, B({5, 0, 0, 0}), V{int64_t(5)}},
      {"integer FoxPro zeros are 0", FP, 'I', 4, 0, ftInteger, std::nullopt, B({0, 0, 0, 0}), V{int64_t(0)},
       dtBDETimeStamp, true},
      {"integer read as float", L7, 'I', 4, 0, ftFloat, std::nullopt, B({0x80, 0, 0, 9}), V{9.0}, dtBDETimeStamp,
       true},
      {"double 0.0 is not null", L7, 'O', 8, 0, ftFloat, V{0.0}, B({0x80, 0, 0, 0, 0, 0, 0, 0}), V{0.0}},
      {"double 1.0", L7, 'O', 8, 0, ftFloat, V{1.0}, B({0xBF, 0xF0, 0, 0, 0, 0, 0, 0}), V{1.0}},
      {"double -1.0 complemented", L7, 'O', 8, 0, ftFloat, V{-1.0}, B({0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
       V{-1.0}},
      {"double null", L7, 'O', 8, 0, ftFloat, std::nullopt, std::string(8, '\0'), std::nullopt},
      {"stamp with a zero low half is a value", L7, '@', 8, 0, ftDateTime, V{2.0}, B({0x40, 0, 0, 0, 0, 0, 0, 0}),
       V{2.0}, dtDateTime},
      {"stamp zero high half is a value", L7, '@', 8, 0, ftDateTime, std::nullopt, B({0, 0, 0, 0, 0, 0, 0, 1}),
       V{4.94065645841246544e-324}, dtDateTime, true},
      {"stamp null", L7, '@', 8, 0, ftDateTime, std::nullopt, std::string(8, '\0'), std::nullopt},
      {"FoxPro date-time: Julian day and milliseconds", FP, 'T', 8, 0, ftDateTime, V{36526.5},
       B({0x59, 0x68, 0x25, 0x00, 0x00, 0x2E, 0x93, 0x02}), V{36526.5}},
      {"date-time null", FP, 'T', 8, 0, ftDateTime, std::nullopt, std::string(8, '\0'), std::nullopt},
      // Days at the ends of the 32 bits and of the calendar: outside it the date reads 0.0.
      {"date-time day at the lowest 32-bit value", FP, 'T', 8, 0, ftDateTime, std::nullopt,
       B({0, 0, 0, 0x80, 0, 0, 0, 0}), V{0.0}, dtBDETimeStamp, true},
      {"date-time day just above the lowest", FP, 'T', 8, 0, ftDateTime, std::nullopt,
       B({0x50, 0x44, 0x1A, 0x80, 1, 0, 0, 0}), V{0.0}, dtBDETimeStamp, true},
      {"date-time day at the highest 32-bit value", FP, 'T', 8, 0, ftDateTime, std::nullopt,
       B({0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}), V{0.0}, dtBDETimeStamp, true},
      {"date-time day before the first of year 1", FP, 'T', 8, 0, ftDateTime, std::nullopt,
       B({0x51, 0x44, 0x1A, 0, 0, 0, 0, 0}), V{0.0}, dtBDETimeStamp, true},
      {"date-time first day of year 1", FP, 'T', 8, 0, ftDateTime, V{-693593.0}, B({0x52, 0x44, 0x1A, 0, 0, 0, 0, 0}),
       V{-693593.0}},
      {"date-time last day of year 9999", FP, 'T', 8, 0, ftDateTime, V{2958465.0}, B({0x2C, 0xFE, 0x51, 0, 0, 0, 0, 0}),
       V{2958465.0}},
      {"date-time day after year 9999", FP, 'T', 8, 0, ftDateTime, std::nullopt, B({0x2D, 0xFE, 0x51, 0, 0, 0, 0, 0}),
       V{0.0}, dtBDETimeStamp, true},
      {"date-time with a whole day of milliseconds", FP, 'T', 8, 0, ftDateTime, std::nullopt,
       B({0x59, 0x68, 0x25, 0x00, 0x00, 0x5C, 0x26, 0x05}), V{0.0}, dtBDETimeStamp, true},
      {"currency", FP, 'Y', 8, 4, ftCurrency, V{12.5}, B({0x48, 0xE8, 0x01, 0, 0, 0, 0, 0}), V{12.5}},
      // 12.3456 × 10,000 is 123455.99999999999 in binary: the nearest count, not the one below.
      {"currency rounds to the nearest ten-thousandth", FP, 'Y', 8, 4, ftCurrency, V{12.3456},
       B({0x40, 0xE2, 0x01, 0, 0, 0, 0, 0}), V{12.3456}},
      {"negative currency rounds to the nearest too", FP, 'Y', 8, 4, ftCurrency, V{-12.3456},
       B({0xC0, 0x1D, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), V{-12.3456}},
      {"currency raw", FP, 'Y', 8, 4, ftBCD, V{B({1, 2, 3, 4, 5, 6, 7, 8})}, B({1, 2, 3, 4, 5, 6, 7, 8}),
       V{B({1, 2, 3, 4, 5, 6, 7, 8})}},
      {"currency zeros are 0, never null", FP, 'Y', 8, 4, ftCurrency, std::nullopt, std::string(8, '\0'), V{0.0},
       dtBDETimeStamp, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OneField t(c.version, c.letter, c.length, c.decimals, c.dt);
    std::vector<uint8_t> record(size_t(c.length) + 1, '#');
    if (!c.decode_only) {
      const auto source = c.value ? ToSource(c.type, *c.value) : std::vector<uint8_t>();
      t.file.EncodeField(*t.def, c.type, record.data(), c.value ? source.data() : nullptr);
      EXPECT_EQ(Hex(std::string(record.begin() + 1, record.end())), Hex(c.stored));
      EXPECT_EQ(record[0], '#') << "the deletion flag is not touched";
    } else {
      std::memcpy(record.data() + 1, c.stored.data(), c.stored.size());
    }
    std::vector<uint8_t> dest(512, 0xEE);
    const bool has_value = t.file.DecodeField(*t.def, c.type, dest.data(), record.data());
    EXPECT_EQ(has_value, c.decoded.has_value());
    if (c.decoded && has_value) {
      const V got = FromDest(c.type, dest);
      if (std::holds_alternative<double>(*c.decoded))
        EXPECT_NEAR(std::get<double>(got), std::get<double>(*c.decoded), 1e-9);
      else
        EXPECT_EQ(got, *c.decoded);
    }
    if (!has_value && c.type == ftString) { EXPECT_EQ(dest[0], 0) << "null text reads as an empty string"; }
  }
}

TEST(FieldCodec, ValuesThatDoNotFitRaise) {
  const struct {
    const char* what;
    int version;
    char letter;
    int length, decimals;
    TFieldType type;
    V value;
  } cases[] = {
      {"integer longer than the field", L4, 'N', 9, 0, ftInteger, V{int64_t(1234567890)}},
      {"negative integer needs its sign", L4, 'N', 4, 0, ftSmallint, V{int64_t(-1234)}},
      {"float too wide", L4, 'N', 18, 9, ftFloat, V{123456789.0}},
      {"NaN", L4, 'N', 18, 9, ftFloat, V{std::nan("")}},
      {"infinity", L4, 'F', 10, 2, ftFloat, V{HUGE_VAL}},
      {"NaN in a double field", L7, 'O', 8, 0, ftFloat, V{std::nan("")}},
      {"large integer beyond 32 bits in 'I'", L7, 'I', 4, 0, ftLargeint, V{int64_t(1) << 40}},
      {"currency beyond 64 bits", FP, 'Y', 8, 4, ftCurrency, V{1e300}},
      {"date-time into a short text field", L4, 'C', 10, 0, ftDateTime, V{kLeapDay}},
      {"date after year 9999", L4, 'D', 8, 0, ftDate, V{1e7}},
      {"date before year 1", L4, 'D', 8, 0, ftDate, V{-1e7}},
      {"time stamp outside the calendar (would read as null)", L7, '@', 8, 0, ftDateTime, V{1e7}},
      {"date-time outside the calendar", FP, 'T', 8, 0, ftDateTime, V{-1e7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OneField t(c.version, c.letter, c.length, c.decimals);
    std::vector<uint8_t> record(size_t(c.length) + 1, '#');
    const auto source = ToSource(c.type, c.value);
    EXPECT_THROW(t.file.EncodeField(*t.def, c.type, record.data(), source.data()), EDbfError);
    EXPECT_EQ(std::string(record.begin(), record.end()), std::string(record.size(), '#')) << "nothing written";
  }
  // Reading a number outside the requested integer range is the toolkit's range error.
  OneField t(L4, 'N', 6, 0);
  std::string record = " 40000";
  int16_t small = 0;
  EXPECT_THROW(t.file.DecodeField(*t.def, ftSmallint, &small, reinterpret_cast<uint8_t*>(record.data())),
               ERangeError);
}

// Every letter at every level with every requested type: a null written reads
// back as null (where the letter has a null), and nothing reads or writes
// outside the field.
TEST(FieldCodec, NullAndBoundsForEveryLetterTypeAndLevel) {
  const char letters[] = {'C', 'N', 'F', 'L', 'D', 'M', 'B', 'G', 'I', '+', '@', 'O', 'T', 'Y', '0'};
  const TFieldType types[] = {ftString,   ftSmallint, ftInteger, ftWord,     ftBoolean, ftFloat,
                              ftCurrency, ftBCD,      ftDate,    ftDateTime, ftBytes,   ftAutoInc, ftLargeint};
  for (int version : {L3, L4, L7, FP}) {
    for (char letter : letters) {
      TDbfFieldDefs defs;
      defs.SetDbfVersion(version);
      TDbfFieldDef* probe = defs.AddFieldDef();
      probe->SetFromDescriptor("P", letter, 12, 2);
      probe->SetNativeFieldType(letter);  // the letter's own length rules
      const int length = probe->Size();
      for (TFieldType type : types) {
        SCOPED_TRACE(std::string("level ") + std::to_string(version) + " letter " + letter + " type " +
                     std::to_string(int(type)));
        OneField t(version, letter, length, probe->Precision());
        std::vector<uint8_t> record(size_t(length) + 2, '#');
        t.file.EncodeField(*t.def, type, record.data(), nullptr);
        EXPECT_EQ(record.back(), '#');
        std::vector<uint8_t> dest(size_t(length) + 16, 0);
        const bool never_null = (version == FP && (letter == 'I' || letter == '+')) || letter == 'Y';
        bool has_value = true;
        try {
          has_value = t.file.DecodeField(*t.def, type, dest.data(), record.data());
        } catch (const Exception& e) {
          ADD_FAILURE() << "decoding a null raised " << e.Message();
        }
        if (!never_null) { EXPECT_FALSE(has_value); }

        // A value of the requested type either fits or raises; it never spills.
        V sample = std::string("7");
        if (type == ftFloat || type == ftCurrency || type == ftDate || type == ftDateTime) sample = 3.0;
        if (type == ftSmallint || type == ftInteger || type == ftWord || type == ftBoolean || type == ftAutoInc ||
            type == ftLargeint)
          sample = int64_t(1);
        if (type == ftBCD) sample = std::string(8, '\x01');
        const auto source = ToSource(type, sample);
        try {
          t.file.EncodeField(*t.def, type, record.data(), source.data());
          t.file.DecodeField(*t.def, type, dest.data(), record.data());
        } catch (const EDbfError&) {
        } catch (const ERangeError&) {
        }
        EXPECT_EQ(record.back(), '#');
      }
    }
  }
}

}  // namespace dbf_codec_test

#include "dbf/dbf_common.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/testsupport.h"
#include "toolkit/db/dbtypes.h"
#include "toolkit/sys/files.h"

namespace dbf_common_test {

// Callers and users recognise engine failures by these texts: each one as
// the engine formats it.
TEST(DbfMessages, EveryEngineMessageHasItsExactText) {
  const struct {
    std::string text, expected;
  } cases[] = {
      {Format(STRING_FILE_NOT_FOUND, {"/d/t.dbf"}), "Open: file not found: \"/d/t.dbf\"."},
      {STRING_RECORD_LOCKED, "Record locked."},
      {STRING_WRITE_ERROR, "Error while writing occurred. (Disk full?)"},
      {STRING_WRITE_INDEX_ERROR, "Error while writing occurred; indexes probably corrupted. (Disk full?)"},
      {Format(STRING_KEY_VIOLATION, {"ORDERS", 12, "A-7"}),
       "Key violation. (Key already present in file).\r\nIndex: ORDERS\r\nRecord=12 Key='A-7'."},
      {STRING_INVALID_DBF_FILE, "Invalid DBF file."},
      {Format(STRING_INVALID_FIELD_COUNT, {4096}), "Invalid field count: 4096 (must be between 1 and 4095)."},
      {Format(STRING_INVALID_FIELD_TYPE, {"PIC", int(ftGraphic)}),
       "Cannot create field \"PIC\", VCL field type 11 not supported by DBF."},
      {Format(STRING_INDEX_BASED_ON_UNKNOWN_FIELD, {"NB"}), "Index based on unknown field \"NB\"."},
      {Format(STRING_INDEX_BASED_ON_INVALID_FIELD, {"NOTE"}), "Field \"NOTE\" is an invalid field type to base index on."},
      {Format(STRING_INDEX_EXPRESSION_TOO_LONG, {"NAME+NAME", 101}),
       "Index result for \"NAME+NAME\" too long, >100 characters (101)."},
      {STRING_INVALID_INDEX_TYPE, "Invalid index type: can only be string or float."},
      {STRING_CANNOT_CREATE_INDEX, "Can not create index: too many indexes in file."},
      {STRING_NEED_EXCLUSIVE_ACCESS, "Exclusive access is required for this operation."},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, c.expected);
  // Write errors are engine errors, and engine errors are data-set errors.
  try {
    throw EDbfWriteError(STRING_WRITE_ERROR);
  } catch (const EDatabaseError& e) {
    EXPECT_NE(dynamic_cast<const EDbfError*>(&e), nullptr);
  }
}

TEST(DbfPaths, AbsolutePathsStartAtTheRoot) {
  const struct {
    const char* path;
    bool absolute;
  } cases[] = {{"/", true}, {"/data/t.db", true}, {"//server/x", true}, {"data/t.db", false},
               {"./t.db", false}, {"", false}, {"C:\\data", false}, {"~/t.db", false}};
  for (const auto& c : cases) EXPECT_EQ(IsAbsolutePath(c.path), c.absolute) << c.path;
}

TEST(DbfPaths, ResolvePathEndsWithTheSeparator) {
  const std::string cwd = GetCurrentDir();
  const struct {
    std::string base, path, expected;
  } cases[] = {
      {"/app", "tables", "/app/tables/"},
      {"/app/", "tables", "/app/tables/"},
      {"/app", "../data/./x", "/data/x/"},
      {"/app", "/abs/dir", "/abs/dir/"},  // an absolute path stays
      {"", "tables", cwd + "/tables/"},
      {"", "", cwd + "/"},
      {"/app", "", "/app/"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolvePath(c.base, c.path), c.expected) << c.base << " + " << c.path;
  EXPECT_EQ(ResolveFileName("/app", "sub/t.db"), "/app/sub/t.db");
  EXPECT_EQ(ResolveFileName("/app", "t.db"), "/app/t.db");
  EXPECT_EQ(ResolveFileName("/app", "/x/t.db"), "/x/t.db");
  EXPECT_EQ(IncludeBackslash(""), "/");
  EXPECT_EQ(IncludeBackslash("/a"), "/a/");
  EXPECT_EQ(IncludeBackslash("/a/"), "/a/");
}

TEST(DbfPaths, NextFreeFileNameSkipsExistingFiles) {
  const std::string dir = testsupport::TempDir("next");
  int counter = 0;
  EXPECT_EQ(NextFreeFileName(dir + "/x.db", &counter), dir + "/x_1.db");
  EXPECT_EQ(counter, 1);
  testsupport::WriteFile(dir + "/x_1.db", "");
  testsupport::WriteFile(dir + "/x_2.db", "");
  counter = 0;
  EXPECT_EQ(NextFreeFileName(dir + "/x.db", &counter), dir + "/x_3.db");
  EXPECT_EQ(counter, 3);
  counter = 0;
  EXPECT_EQ(NextFreeFileName(dir + "/noext", &counter), dir + "/noext_1");
}

TEST(DbfNumberText, IntegersAreRightAlignedWithTheSignBeforeTheDigits) {
  const struct {
    int64_t value;
    int width;
    char pad;
    const char* text;  // nullptr: does not fit
  } cases[] = {
      {42, 5, ' ', "   42"},
      {-5, 8, ' ', "      -5"},
      {-42, 5, '0', "-0042"},
      {-1, 10, '0', "-000000001"},  // memo block "none"
      {0, 3, ' ', "  0"},
      {12345, 5, ' ', "12345"},
      {123456, 5, ' ', nullptr},     // too long: refused, no digits dropped
      {-1234, 4, ' ', nullptr},      // the sign needs a place too
      {INT64_MIN, 20, ' ', "-9223372036854775808"},
      {INT64_MAX, 18, ' ', nullptr},
  };
  for (const auto& c : cases) {
    std::string out(size_t(c.width), '#');
    const bool ok = IntToFieldText(c.value, c.width, c.pad, out.data());
    if (c.text) {
      EXPECT_TRUE(ok) << c.value;
      EXPECT_EQ(out, c.text) << c.value;
    } else {
      EXPECT_FALSE(ok) << c.value;
      EXPECT_EQ(out, std::string(size_t(c.width), '#')) << "nothing written for " << c.value;
    }
  }
  char digits[20];
  EXPECT_EQ(GetStrFromInt(-907, digits), 3);
  EXPECT_EQ(std::string(digits, 3), "907");
}

TEST(DbfNumberText, IntegerTextParsesBothSignLayouts) {
  const struct {
    std::string text;
    int64_t value;
  } cases[] = {
      {"      -5", -5}, {"-      5", -5}, {"-0000005", -5}, {"   42   ", 42}, {"+7", 7},
      {"12.75", 12},    {"", 99},         {"   ", 99},      {"abc", 99},      {"12a", 99},
      {"-", 99},        {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", 99},        {"1 2", 99},      {std::string("5\0\0", 3), 5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FieldTextToInt64(c.text.data(), int(c.text.size()), 99), c.value) << '"' << c.text << '"';
  }
}

TEST(DbfNumberText, FloatText) {
  const struct {
    const char* text;
    double value;
  } parse[] = {{"  2.500000000", 2.5}, {"-   1.5", -1.5}, {"1e3", 1000}, {"", 0}, {"x", 0}, {"1,5", 0}, {"inf", 0}};
  for (const auto& c : parse) {
    const std::string text = c.text;
    EXPECT_DOUBLE_EQ(FieldTextToFloat(text.data(), int(text.size())), c.value) << text;
  }
  const struct {
    double value;
    int width, decimals;
    const char* text;
  } write[] = {
      {2.5, 18, 9, "       2.500000000"},
      {-2.5, 8, 2, "   -2.50"},
      {0.1, 6, 3, " 0.100"},
      {-0.0001, 6, 2, "  0.00"},   // rounds to zero without a sign
      {12345678.0, 18, 9, "12345678.000000000"},
      {123456789.0, 18, 9, nullptr},  // would need 19 characters
      {1e300, 20, 2, nullptr},
      {std::nan(""), 10, 2, nullptr},
      {std::numeric_limits<double>::infinity(), 10, 2, nullptr},
  };
  for (const auto& c : write) {
    std::string out(size_t(c.width), '#');
    const bool ok = FloatToFieldText(c.value, c.width, c.decimals, out.data());
    EXPECT_EQ(ok, c.text != nullptr) << c.value;
    if (c.text) { EXPECT_EQ(out, c.text); }
  }
}

TEST(DbfTimeStamps, BdeStampsRoundTrip) {
  const TDateTime values[] = {0.0, 45351.5, 1.25, -693593.0, 2958465.999};
  for (TDateTime v : values) EXPECT_NEAR(BdeStampToDateTime(DateTimeToBdeStamp(v)), v, 1e-8) << v;
  // 1899-12-30 is day 693594 of the time stamps (plus one).
  EXPECT_DOUBLE_EQ(DateTimeToBdeStamp(0.0), 693594.0 * MSecsPerDay);
  EXPECT_DOUBLE_EQ(BdeStampToDateTime(std::nan("")), 0.0);
  EXPECT_DOUBLE_EQ(BdeStampToDateTime(-5), 0.0);
  EXPECT_DOUBLE_EQ(BdeStampToDateTime(1e300), 0.0);
}

}  // namespace dbf_common_test

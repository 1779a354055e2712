// Keys: collation of character keys, numeric keys of both formats,
// descending tags, search values and the cursor's ends and ranges.
#include <gtest/gtest.h>

#include <algorithm>

#include "dbf/dbf_idxcur.h"
#include "dbf/dbf_idxfile.h"
#include "index_support.h"
#include "toolkit/core/variant.h"

namespace index_keys_test {

using namespace index_support;
using testsupport::TempDir;

namespace {

std::vector<std::string> Texts(Indexed& t, const char* field) {
  std::vector<std::string> texts;
  std::vector<uint8_t> record(size_t(t.table->RecordSize()));
  for (int64_t n : t.Order()) {
    t.table->ReadRecordAt(n, record.data());
    texts.push_back(records_support::Text(*t.table, record, field));
  }
  return texts;
}

TEST(IndexKeys, CollationByteOrderOrLocale) {
  struct Case {
    bool byte_order;
    std::vector<std::string> expected;
  };
  const Case cases[] = {{true, {"B", "Z", "a", "b"}}, {false, {"a", "b", "B", "Z"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.byte_order ? "byte order" : "locale");
    const std::string dir = TempDir("index_keys_collation");
    Indexed t(MakeTable(dir, {{"S", 'C', 6, 0}}, c.byte_order), "t.mdx");
    t.index->CreateTag("S", "s", {});
    EXPECT_EQ(t.index->CollationLocale(), c.byte_order ? kDefaultCollationLocale : 0x0419u);
    for (const char* s : {"Z", "a", "b", "B"}) t.Append({{"S", s}});
    EXPECT_EQ(Texts(t, "S"), c.expected);
  }
}

TEST(IndexKeys, CyrillicKeysFollowTheRussianAlphabet) {
  const std::string dir = TempDir("index_keys_cyrillic");
  Indexed t(MakeTable(dir, {{"S", 'C', 6, 0}}), "t.mdx");
  t.index->CreateTag("S", "s", {});
  // "ё" (0xB8) and "я" (0xFF) sit apart from "е" in byte order.
  for (const char* s : {"\xFF", "\xE6", "\xB8", "\xE5", "Z"}) t.Append({{"S", s}});
  EXPECT_EQ(Texts(t, "S"), (std::vector<std::string>{"Z", "\xE5", "\xB8", "\xE6", "\xFF"}));
}

TEST(IndexKeys, NumericKeysInBothFormatsAndDescending) {
  struct Case {
    const char* file;
    TIndexOptions options;
    std::vector<std::string> expected;
  };
  const std::vector<std::string> ascending = {"-3", "-0.05", "0", "0.05", "1", "2", "10"};
  std::vector<std::string> descending = ascending;
  std::reverse(descending.begin(), descending.end());
  const Case cases[] = {{"t.mdx", {}, ascending}, {"t.ndx", {}, ascending},
                        {"t.mdx", {ixDescending}, descending}, {"t.ndx", {ixDescending}, descending}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string dir = TempDir("index_keys_numeric");
    Indexed t(MakeTable(dir, {{"N", 'N', 8, 2}}), c.file);
    t.index->CreateTag("N", "n", c.options);
    for (const char* v : {"10", "0.05", "2", "0", "-3", "1", "-0.05"}) t.Append({{"N", v}});
    std::vector<std::string> got;
    std::vector<uint8_t> record(size_t(t.table->RecordSize()));
    for (int64_t n : t.Order()) {
      t.table->ReadRecordAt(n, record.data());
      double d = 0;
      t.table->DecodeField(*t.table->FindField("N"), ftFloat, &d, record.data());
      got.push_back(FloatToStr(d).c_str());
    }
    std::vector<std::string> expected;
    for (const std::string& e : c.expected) expected.push_back(FloatToStr(std::stod(e)));
    EXPECT_EQ(got, expected);
  }
}

TEST(IndexKeys, DecimalKeyBytes) {
  struct Case {
    double value;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {0, {0x34, 0x01}},
      {5, {0x35, 0x09, 0x50}},
      {12, {0x36, 0x09, 0x12}},
      {100, {0x37, 0x09, 0x10}},
      {0.05, {0x33, 0x09, 0x50}},
      {-3, {0x35, 0x89, 0x30}},
      {123.25, {0x37, 0x19, 0x12, 0x32, 0x50}},
      {1.0 / 3, {0x34, 0x41, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x30}},
  };
  const std::string dir = TempDir("index_keys_bcd");
  Indexed t(MakeTable(dir, {{"N", 'N', 8, 2}}), "t.mdx");
  t.index->CreateTag("N", "n", {});
  for (const Case& c : cases) {
    std::vector<uint8_t> key(12, 0xEE), expected = c.bytes;
    expected.resize(12, 0);
    t.index->NumberToKey(c.value, key.data());
    EXPECT_EQ(key, expected) << c.value;
  }
  // Order of encoded values equals numeric order.
  const double ordered[] = {-1e300, -1e10, -3, -0.5, -0.05, 0, 1e-40, 0.05, 0.5, 1, 9.99, 10, 123456789012345.0, 1e300};
  for (size_t i = 0; i + 1 < std::size(ordered); ++i) {
    uint8_t a[12], b[12];
    t.index->NumberToKey(ordered[i], a);
    t.index->NumberToKey(ordered[i + 1], b);
    EXPECT_LT(t.index->CompareKeys(a, b), 0) << ordered[i] << " < " << ordered[i + 1];
    EXPECT_GT(t.index->CompareKeys(b, a), 0) << ordered[i + 1] << " > " << ordered[i];
    EXPECT_EQ(t.index->CompareKeys(a, a), 0) << ordered[i];
  }
}

TEST(IndexKeys, SearchValuesAndSearchTypes) {
  const std::string dir = TempDir("index_keys_search");
  Indexed t(MakeTable(dir, {{"S", 'C', 4, 0}}, true), "t.mdx");
  t.index->CreateTag("S", "s", {});
  for (const char* s : {"BB", "DD", "BB", "FF"}) t.Append({{"S", s}});
  TIndexCursor cursor(t.index);
  EXPECT_EQ(cursor.ValueToKey(Variant("ABCDEFG")), (std::vector<uint8_t>{'A', 'B', 'C', 'D'}));
  EXPECT_EQ(cursor.ValueToKey(Variant("A")), (std::vector<uint8_t>{'A', ' ', ' ', ' '}));
  struct Case {
    const char* value;
    TSearchKeyType type;
    bool found;
    int64_t recno;  // where the cursor stands afterwards
  };
  const Case cases[] = {
      {"BB", stEqual, true, 1},      {"CC", stEqual, false, 4},       {"CC", stGreaterEqual, true, 2},
      {"BB", stGreaterEqual, true, 1}, {"BB", stGreater, true, 2},    {"FF", stGreater, false, 4},
      {"ZZ", stGreaterEqual, false, 4}, {"AA", stGreaterEqual, true, 1},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(t.index->GotoRecord(4));
    const std::vector<uint8_t> key = cursor.ValueToKey(Variant(c.value));
    EXPECT_EQ(t.index->SearchKey(key.data(), c.type), c.found) << c.value << " " << c.type;
    EXPECT_EQ(cursor.PhysicalRecNo(), c.recno) << c.value << " " << c.type;
  }
}

TEST(IndexKeys, CursorEndsAndRanges) {
  const std::string dir = TempDir("index_keys_cursor");
  Indexed t(MakeTable(dir, {{"S", 'C', 4, 0}}, true), "t.mdx");
  t.index->CreateTag("S", "s", {});
  TIndexCursor empty(t.index);
  empty.First();
  EXPECT_FALSE(empty.Next());
  EXPECT_EQ(empty.PhysicalRecNo(), -1);
  for (int i = 0; i < 300; ++i) t.Append({{"S", std::string(1, char('A' + i % 26)) + std::to_string(i % 10)}});
  TIndexCursor cursor(t.index);
  cursor.Last();
  EXPECT_EQ(cursor.PhysicalRecNo(), -1);
  ASSERT_TRUE(cursor.Prev());
  const int64_t last = cursor.PhysicalRecNo();
  EXPECT_FALSE(cursor.Next());
  EXPECT_EQ(cursor.PhysicalRecNo(), -1);
  EXPECT_TRUE(cursor.Prev());
  EXPECT_EQ(cursor.PhysicalRecNo(), last);
  cursor.First();
  EXPECT_FALSE(cursor.Prev());
  EXPECT_EQ(cursor.PhysicalRecNo(), -1);

  // Range "C" .. "E9": the keys beginning with C, D and E.
  const std::vector<uint8_t> low = cursor.ValueToKey(Variant("C")), high = cursor.ValueToKey(Variant("E9"));
  t.index->SetRange(low.data(), high.data());
  std::vector<std::string> seen;
  cursor.First();
  std::vector<uint8_t> record(size_t(t.table->RecordSize()));
  while (cursor.Next()) {
    t.table->ReadRecordAt(cursor.PhysicalRecNo(), record.data());
    seen.push_back(records_support::Text(*t.table, record, "S"));
  }
  EXPECT_EQ(cursor.PhysicalRecNo(), -1);
  int expected = 0;
  for (int i = 0; i < 300; ++i) expected += (i % 26 >= 2 && i % 26 <= 4);
  ASSERT_EQ(int(seen.size()), expected);
  EXPECT_EQ(seen.front()[0], 'C');
  EXPECT_EQ(seen.back()[0], 'E');
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  // Keys appended meanwhile keep the range.
  t.Append({{"S", "D5"}});
  t.Append({{"S", "Q1"}});
  int in_range = 0;
  cursor.First();
  while (cursor.Next()) ++in_range;
  EXPECT_EQ(in_range, expected + 1);
  t.index->CancelRange();
  int all = 0;
  cursor.First();
  while (cursor.Next()) ++all;
  EXPECT_EQ(all, 302);
}

}  // namespace

}  // namespace index_keys_test

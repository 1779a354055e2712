// The B-tree: splits, deletions and separators as another reader of the
// file sees them (an independent walk of the bytes), and key order through
// the cursor on trees of several levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "dbf/dbf_idxcur.h"
#include "dbf/dbf_idxfile.h"
#include "index_support.h"

namespace index_btree_test {

using namespace index_support;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

std::string KeyText(int i, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "K%07d", i);
  std::string key = text;
  key.resize(size_t(width), ' ');
  return key;
}

TreeWalk WalkTag(Indexed& t, const std::string& file, bool mdx) {
  t.index->FlushPages();
  const std::string bytes = ReadFile(file);
  return WalkTree(bytes, mdx, mdx ? MdxTagHeaderOffset(bytes, 0) : 0);
}

TEST(IndexBtree, SixtyFourthAscendingKeySplitsTheRootLeafInHalves) {
  const std::string dir = TempDir("index_btree_split");
  Indexed t(MakeTable(dir, {{"K", 'C', 10, 0}}, true), "t.mdx");
  t.index->CreateTag("K", "k", {});
  for (int i = 1; i <= 63; ++i) t.Append({{"K", KeyText(i, 10)}});
  EXPECT_EQ(WalkTag(t, dir + "/t.mdx", true).depth, 1);
  t.Append({{"K", KeyText(64, 10)}});
  t.index->FlushPages();
  const std::string bytes = ReadFile(dir + "/t.mdx");
  const TreeWalk walk = WalkTree(bytes, true, MdxTagHeaderOffset(bytes, 0));
  EXPECT_EQ(walk.fault, "");
  EXPECT_EQ(walk.depth, 2);
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* root = b + int64_t(GetLE32(b + MdxTagHeaderOffset(bytes, 0))) * 512;
  ASSERT_EQ(GetLE32(root), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(root + 8 + 4), 10), KeyText(32, 10));
  const uint8_t* left = b + int64_t(GetLE32(root + 8)) * 512;
  const uint8_t* right = b + int64_t(GetLE32(root + 8 + 16)) * 512;
  EXPECT_EQ(GetLE32(left), 32u);
  EXPECT_EQ(GetLE32(right), 32u);
}

struct TreeCase {
  const char* file;
  int key_width;
  int count;
  const char* order;  // "asc", "desc" or "random"
  int min_depth;
};

TEST(IndexBtree, ManyKeysInAnyOrderWalkSortedAndStaySound) {
  const TreeCase cases[] = {
      {"t.mdx", 10, 3000, "asc", 3},  {"t.mdx", 10, 3000, "desc", 3},  {"t.mdx", 100, 1500, "random", 4},
      {"t.ndx", 10, 2000, "random", 3}, {"t.ndx", 100, 600, "asc", 5},
  };
  for (const TreeCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " width " + std::to_string(c.key_width) + " " + c.order);
    const std::string dir = TempDir("index_btree_many");
    const bool mdx = std::string(c.file) == "t.mdx";
    Indexed t(MakeTable(dir, {{"K", 'C', c.key_width, 0}}, true), c.file);
    t.index->CreateTag("K", "k", {});
    std::vector<int> values(size_t(c.count));
    for (int i = 0; i < c.count; ++i) values[size_t(i)] = i;
    if (std::string(c.order) == "desc") std::reverse(values.begin(), values.end());
    std::mt19937 rng(7);
    if (std::string(c.order) == "random") std::shuffle(values.begin(), values.end(), rng);
    for (int v : values) t.Append({{"K", KeyText(v, c.key_width)}});

    TreeWalk walk = WalkTag(t, dir + "/" + c.file, mdx);
    EXPECT_EQ(walk.fault, "");
    EXPECT_GE(walk.depth, c.min_depth);
    ASSERT_EQ(walk.entries.size(), size_t(c.count));
    for (int i = 0; i < c.count; ++i) ASSERT_EQ(walk.entries[size_t(i)].first, KeyText(i, c.key_width)) << i;
    // The record holding value v was appended at position of v in `values`.
    std::vector<int64_t> expected(size_t(c.count));
    for (int i = 0; i < c.count; ++i) expected[size_t(values[size_t(i)])] = i + 1;
    EXPECT_EQ(t.Order(), expected);

    // Walking backwards gives the reverse.
    std::vector<int64_t> backwards;
    t.index->GotoEof();
    while (t.index->Prev()) backwards.push_back(t.index->CurrentRecNo());
    std::reverse(backwards.begin(), backwards.end());
    EXPECT_EQ(backwards, expected);

    // Every record is found by its number.
    for (int64_t n : {int64_t(1), int64_t(c.count / 2), int64_t(c.count)}) {
      ASSERT_TRUE(t.index->GotoRecord(n)) << n;
      EXPECT_EQ(t.index->CurrentRecNo(), n);
    }

    // Remove every other key, in random order; the rest stays sound.
    std::vector<int> gone;
    for (int i = 0; i < c.count; i += 2) gone.push_back(i);
    std::shuffle(gone.begin(), gone.end(), rng);
    for (int v : gone) {
      const int64_t n = expected[size_t(v)];
      std::vector<uint8_t> record(size_t(t.table->RecordSize()));
      ASSERT_EQ(t.table->ReadRecordAt(n, record.data()), t.table->RecordSize());
      t.index->DeleteRecordKey(n, record.data());
    }
    walk = WalkTag(t, dir + "/" + c.file, mdx);
    EXPECT_EQ(walk.fault, "");
    ASSERT_EQ(walk.entries.size(), size_t(c.count / 2));
    for (size_t i = 0; i < walk.entries.size(); ++i) ASSERT_EQ(walk.entries[i].first, KeyText(int(2 * i + 1), c.key_width));
    std::vector<int64_t> rest;
    for (int i = 1; i < c.count; i += 2) rest.push_back(expected[size_t(i)]);
    EXPECT_EQ(t.Order(), rest);
  }
}

TEST(IndexBtree, EqualKeysGoAfterTheirEqualsAndAreFoundByRecord) {
  const std::string dir = TempDir("index_btree_equal");
  Indexed t(MakeTable(dir, {{"K", 'C', 4, 0}}, true), "t.mdx");
  t.index->CreateTag("K", "k", {});
  // Enough equal keys to spread over several leaves.
  for (int i = 0; i < 200; ++i) t.Append({{"K", i % 2 == 0 ? "B" : (i % 4 == 1 ? "A" : "C")}});
  const std::vector<int64_t> order = t.Order();
  ASSERT_EQ(order.size(), 200u);
  std::vector<int64_t> bs(order.begin() + 50, order.begin() + 150);
  for (size_t i = 0; i < bs.size(); ++i) EXPECT_EQ(bs[i], int64_t(2 * i + 1)) << i;
  for (int64_t n : {1, 99, 101, 199}) {
    ASSERT_TRUE(t.index->GotoRecord(n)) << n;
    EXPECT_EQ(t.index->CurrentRecNo(), n);
  }
}

TEST(IndexBtree, DeletingTheLastKeyOfALeafUpdatesItsSeparator) {
  const std::string dir = TempDir("index_btree_separator");
  Indexed t(MakeTable(dir, {{"K", 'C', 10, 0}}, true), "t.mdx");
  t.index->CreateTag("K", "k", {});
  for (int i = 1; i <= 64; ++i) t.Append({{"K", KeyText(i, 10)}});
  std::vector<uint8_t> record(size_t(t.table->RecordSize()));
  t.table->ReadRecordAt(32, record.data());
  t.index->DeleteRecordKey(32, record.data());
  t.index->FlushPages();
  const std::string bytes = ReadFile(dir + "/t.mdx");
  const TreeWalk walk = WalkTree(bytes, true, MdxTagHeaderOffset(bytes, 0));
  EXPECT_EQ(walk.fault, "");
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* root = b + int64_t(GetLE32(b + MdxTagHeaderOffset(bytes, 0))) * 512;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(root + 12), 10), KeyText(31, 10));
}

TEST(IndexBtree, EmptiedLeafLeavesItsParent) {
  const std::string dir = TempDir("index_btree_emptied");
  Indexed t(MakeTable(dir, {{"K", 'C', 10, 0}}, true), "t.mdx");
  t.index->CreateTag("K", "k", {});
  for (int i = 1; i <= 64; ++i) t.Append({{"K", KeyText(i, 10)}});
  std::vector<uint8_t> record(size_t(t.table->RecordSize()));
  for (int64_t n = 1; n <= 32; ++n) {
    t.table->ReadRecordAt(n, record.data());
    t.index->DeleteRecordKey(n, record.data());
  }
  t.index->FlushPages();
  const std::string bytes = ReadFile(dir + "/t.mdx");
  const TreeWalk walk = WalkTree(bytes, true, MdxTagHeaderOffset(bytes, 0));
  EXPECT_EQ(walk.fault, "");
  EXPECT_EQ(walk.entries.size(), 32u);
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* root = b + int64_t(GetLE32(b + MdxTagHeaderOffset(bytes, 0))) * 512;
  EXPECT_EQ(GetLE32(root), 0u);  // one pointer, no separator left
  EXPECT_EQ(walk.nodes, 2);
  EXPECT_EQ(t.Order().front(), 33);
}

TEST(IndexBtree, SequenceNumbersEstimatePositions) {
  const std::string dir = TempDir("index_btree_sequence");
  Indexed t(MakeTable(dir, {{"K", 'C', 10, 0}}, true), "t.mdx");
  t.index->CreateTag("K", "k", {});
  for (int i = 1; i <= 500; ++i) t.Append({{"K", KeyText(i, 10)}});
  TIndexCursor cursor(t.index);
  EXPECT_GE(cursor.SequentialRecordCount(), 500);
  cursor.First();
  EXPECT_EQ(cursor.SequentialRecNo(), 0);
  ASSERT_TRUE(cursor.Next());
  EXPECT_EQ(cursor.SequentialRecNo(), 1);
  int64_t previous = 0;
  while (cursor.Next()) {
    EXPECT_GT(cursor.SequentialRecNo(), previous);
    previous = cursor.SequentialRecNo();
  }
  EXPECT_EQ(cursor.SequentialRecNo(), 0x7FFFFFFF);
  // Going to an estimate and back gives the same entry.
  ASSERT_TRUE(t.index->GotoRecord(250));
  const int64_t seq = cursor.SequentialRecNo();
  cursor.SetSequentialRecNo(seq);
  EXPECT_EQ(cursor.PhysicalRecNo(), 250);
  cursor.SetSequentialRecNo(0x7FFFFFF0);
  EXPECT_EQ(cursor.PhysicalRecNo(), 500);
}

}  // namespace

}  // namespace index_btree_test

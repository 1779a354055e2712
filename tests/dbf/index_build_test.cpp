// A tag built from a table's records in one pass (the keys sorted, each
// node written once and full) holds the entries, in the order, that the same
// keys give when they are inserted one by one as the records are appended,
// in a sound tree of full nodes; keys inserted afterwards go in as into any
// tree.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "dbf/dbf.h"
#include "index_support.h"
#include "toolkit/core/text.h"

namespace index_build_test {

using index_support::Indexed;
using index_support::MakeTable;
using testsupport::ReadFile;
using testsupport::TempDir;

struct BuildCase {
  const char* file;        // the index file: an MDX tag or an NDX key
  const char* expression;  // over the fields NAME C(20), N N(9,0), P N(12,3)
  int count;
  TIndexOptions options = {};
};

// Rows as (field, text) pairs.
using RowList = std::vector<std::vector<std::pair<std::string, std::string>>>;

RowList Rows(int count) {
  // Letters that differ only in case or accent, a contraction of the
  // code page's own letters (L·) and long common beginnings.
  static const char* const kWords[] = {"Бетон", "бетон", "Щебень", "ёлка", "Ель", "apple", "Zebra", "  ",
                                       "Я",     "а",     "Л·л",    "L·l",  "Бетон тяжёлый", "Бетон тяжелый"};
  std::mt19937 rng(11);
  RowList rows;
  for (int i = 0; i < count; ++i) {
    const std::string word = kWords[rng() % std::size(kWords)];
    const std::string name = Utf8ToAnsi(word + " " + std::to_string(rng() % 500));
    const int n = int(rng() % 100000) - 20000;
    const std::string p = std::to_string(int(rng() % 1000000) - 500000) + "." + std::to_string(rng() % 1000);
    rows.push_back({{"NAME", name}, {"N", std::to_string(n)}, {"P", p}});
  }
  return rows;
}

// The tag's tree as the layout reads it (the first tag of an MDX file).
index_support::TreeWalk Tree(const std::string& file) {
  const std::string bytes = ReadFile(file);
  const bool mdx = file.ends_with(".mdx");
  return index_support::WalkTree(bytes, mdx, mdx ? index_support::MdxTagHeaderOffset(bytes, 0) : 0);
}

const std::vector<records_support::FieldSpec> kFields = {{"NAME", 'C', 20, 0}, {"N", 'N', 9, 0}, {"P", 'N', 12, 3}};

// The tree of the tag whose keys are inserted as the records are appended.
index_support::TreeWalk OneByOne(const RowList& rows, const char* index_file, const char* expression,
                                 TIndexOptions options) {
  const std::string dir = TempDir("index_build_append");
  Indexed t(MakeTable(dir, kFields), index_file);
  t.index->CreateTag(expression, "TAG1", options);
  for (const auto& row : rows) t.Append(row);
  t.Close();
  return Tree(dir + "/" + index_file);
}

// A table file with the rows and no tag (their keys went to a scratch file).
std::string TableOf(const RowList& rows, const char* name) {
  const std::string table_file = MakeTable(TempDir(name), kFields);
  // Appended through the same helper as the rows of OneByOne.
  Indexed writer{table_file, "scratch.ndx"};
  writer.index->CreateTag("N", "X", {});
  for (const auto& row : rows) writer.Append(row);
  writer.Close();
  return table_file;
}

TEST(IndexBuild, ATagBuiltFromTheTableHoldsTheKeysOfOneByOneInFullNodes) {
  const BuildCase cases[] = {
      {"t.mdx", "NAME", 4000}, {"t.mdx", "N", 6000}, {"t.mdx", "P", 5000}, {"t.ndx", "NAME", 3000}, {"t.ndx", "N", 4000},
      {"t.mdx", "NAME", 3000, {ixDescending}}, {"t.mdx", "N", 3000, {ixDescending}},
      // One leaf more than a full level above holds: the last two interior
      // nodes share its pointers.
      {"t.mdx", "NAME", 42 * 42 + 1},
      // Keys longer than the part of them a build sorts by.
      {"t.mdx", "NAME+NAME", 3000}, {"t.mdx", "NAME+NAME", 3000, {ixDescending}},
  };
  for (const BuildCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.expression + (c.options.Contains(ixDescending) ? " descending" : ""));
    const auto rows = Rows(c.count);
    const index_support::TreeWalk expected = OneByOne(rows, c.file, c.expression, c.options);

    // The records first, then the tag built from them.
    const std::string table_file = TableOf(rows, "index_build_table");
    const std::string built = table_file.substr(0, table_file.rfind('/'));
    {
      Indexed t(table_file, c.file);
      t.index->CreateTag(c.expression, "TAG1", c.options);
      t.index->AddRecordsFromTable();
      ASSERT_EQ(t.Order().size(), size_t(c.count));
      t.Close();
    }
    const index_support::TreeWalk tree = Tree(built + "/" + c.file);
    ASSERT_EQ(expected.fault, "");
    ASSERT_GT(expected.nodes, 20) << "the tree is too small to show anything";
    EXPECT_EQ(tree.fault, "");
    EXPECT_TRUE(tree.entries == expected.entries);
    // Full leaves: as few nodes as the keys need, the levels above included.
    const std::string bytes = ReadFile(built + "/" + c.file);
    const bool mdx = std::string(c.file).ends_with(".mdx");
    const auto* header = reinterpret_cast<const uint8_t*>(bytes.data()) +
                         (mdx ? index_support::MdxTagHeaderOffset(bytes, 0) : 0);
    const int max_keys = GetLE16(header + 14);
    const int leaves = (c.count + max_keys - 1) / max_keys;
    EXPECT_LE(tree.nodes, leaves + leaves / (max_keys - 1) + 2);
    EXPECT_LT(tree.nodes, expected.nodes * 3 / 4);
    // No interior node is a bare pointer.
    EXPECT_GE(tree.fewest_interior_keys, 1);

    // Keys inserted into the built tree, and removed again, keep it sound.
    {
      Indexed t(table_file, c.file, pmExclusiveOpen);
      ASSERT_TRUE(t.index->SelectTag(AnsiString("TAG1")));
      const auto more = Rows(c.count / 4 + 7);
      for (const auto& row : more) t.Append(row);
      EXPECT_EQ(t.Order().size(), size_t(c.count + c.count / 4 + 7));
      t.Close();
    }
    EXPECT_EQ(Tree(built + "/" + c.file).fault, "");
  }
}

// More keys than a build sorts in memory: they go to the disk in sorted
// runs that are merged; the tag is still in order, equal keys (spread over
// the runs) in record order.
TEST(IndexBuild, KeysBeyondTheBuildMemoryAreMergedFromSortedRuns) {
  const std::string dir = TempDir("index_build_runs");
  const std::string table_file = MakeTable(dir, {{"NAME", 'C', 100, 0}});
  // An entry holds the 100-byte key, a prefix and more: this many keys
  // outgrow the half of the build memory the keys may take.
  const int count = int(TIndexFile::kBuildMemoryBytes / 2 / 128) + 1000;
  {
    auto table = records_support::OpenTable(table_file);
    std::vector<uint8_t> record(size_t(table->RecordSize()), ' ');
    for (int i = 0; i < count; ++i) {
      // Every key five times over the file.
      const std::string text = Utf8ToAnsi("Бетон B" + std::to_string((i * 7919) % (count / 5)));
      std::memcpy(record.data() + 1, text.data(), text.size());
      table->AppendRecord(record.data());
      std::fill(record.begin() + 1, record.end(), uint8_t(' '));
    }
    records_support::CloseTable(*table);
  }
  Indexed t(table_file, "t.mdx");
  t.index->CreateTag("NAME", "TAG1", {});
  t.index->AddRecordsFromTable();
  const index_support::TreeWalk tree = Tree(dir + "/t.mdx");
  ASSERT_EQ(tree.fault, "");
  ASSERT_EQ(tree.entries.size(), size_t(count));
  for (size_t i = 1; i < tree.entries.size(); ++i) {
    const auto& [a, a_recno] = tree.entries[i - 1];
    const auto& [b, b_recno] = tree.entries[i];
    const int c = t.index->CompareKeys(reinterpret_cast<const uint8_t*>(a.data()),
                                       reinterpret_cast<const uint8_t*>(b.data()));
    ASSERT_TRUE(c < 0 || (c == 0 && a_recno < b_recno)) << "at " << i;
  }
  t.Close();
}

// A tag made on a table opened shared is built from its sorted keys too,
// while the table is held exclusively, and taken as any tag by the opener
// that made it and by another one.
TEST(IndexBuild, ATagMadeOnASharedTableIsBuiltFromSortedKeys) {
  const int count = 3000;
  const auto rows = Rows(count);
  const index_support::TreeWalk expected = OneByOne(rows, "t.mdx", "NAME", {});
  const std::string table_file = TableOf(rows, "index_build_shared");
  const std::string dir = table_file.substr(0, table_file.rfind('/'));
  const auto open_shared = [&] {
    auto t = std::make_unique<TDbf>(nullptr);
    t->SetTableName(table_file);
    t->SetExclusive(false);
    t->Activate();
    return t;
  };
  auto made_by = open_shared();
  made_by->CreateIndexTag("TAG1", "NAME", {});
  ASSERT_EQ(made_by->IndexNames(), std::vector<AnsiString>{"TAG1"});

  const index_support::TreeWalk tree = Tree(dir + "/t.mdx");
  ASSERT_EQ(expected.fault, "");
  EXPECT_EQ(tree.fault, "");
  EXPECT_TRUE(tree.entries == expected.entries);
  const int max_keys = 42;  // entries of 24 bytes in a node of 1024
  const int leaves = (count + max_keys - 1) / max_keys;
  EXPECT_LE(tree.nodes, leaves + leaves / (max_keys - 1) + 2) << "the nodes are full";

  // Both openers walk the tag, and a row appended by one is found by the other.
  auto other = open_shared();
  const auto walk = [](TDbf& t) {
    std::vector<int> ns;
    t.SetIndexName("TAG1");
    for (t.GoFirst(); !t.Eof(); t.GoNext()) ns.push_back(t.FieldNamed("N")->GetIntegerValue());
    return ns;
  };
  std::vector<int> in_order;
  for (const auto& [key, recno] : expected.entries) in_order.push_back(std::stoi(rows[recno - 1][1].second));
  EXPECT_EQ(walk(*made_by), in_order);
  EXPECT_EQ(walk(*other), in_order);
  other->StartAppend();
  // The name of record 1 again: the new row comes after the rows with that key.
  std::string key;
  for (const auto& [k, recno] : expected.entries)
    if (recno == 1) key = k;
  other->FieldNamed("NAME")->SetStringValue(rows[0][0].second);
  other->FieldNamed("N")->SetIntegerValue(-1);
  other->CommitRecord();
  size_t after = 0;
  for (size_t i = 0; i < expected.entries.size(); ++i)
    if (expected.entries[i].first == key) after = i + 1;
  ASSERT_GT(after, 0u);
  in_order.insert(in_order.begin() + std::ptrdiff_t(after), -1);
  made_by->Reload();
  EXPECT_EQ(walk(*made_by), in_order);
  EXPECT_EQ(walk(*other), in_order);
  other->Deactivate();
  made_by->Deactivate();
  EXPECT_EQ(Tree(dir + "/t.mdx").fault, "");
}

}  // namespace index_build_test

// dbftool check: the engine's integrity check of a table, its memo file and
// its tags, run over fixtures each damaged in one way.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/dbf/dbftool_support.h"
#include "tests/dbf/index_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/binary.h"

namespace dbftool_check_test {

using dbftool_support::RunTool;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFile;

// Enough for tags three levels deep.
constexpr int kRows = 5000;

// A table of kRows rows with a memo value each and two tags (text and
// number), made by the tool as a user would. NAME of record n sorts as n.
std::string MakeFixture(const std::string& dir) {
  const std::string file = dir + "/t.dbf";
  std::string out;
  EXPECT_EQ(RunTool("create " + file + " --level 4 --fields NAME:C:10,N:N:6:0,NOTE:M", &out), 0) << out;
  std::string csv = "NAME,N,NOTE\n";
  for (int n = 1; n <= kRows; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "K%05d", n);
    csv += std::string(name) + "," + std::to_string(n) + ",note of row " + std::to_string(n) + "\n";
  }
  WriteFile(dir + "/rows.csv", csv);
  EXPECT_EQ(RunCommand(dbftool_support::Tool() + " append " + file + " < " + dir + "/rows.csv 2>&1", &out), 0) << out;
  EXPECT_EQ(RunTool("index " + file + " create name NAME", &out), 0) << out;
  EXPECT_EQ(RunTool("index " + file + " create num N", &out), 0) << out;
  return file;
}

// The .mdx bytes and where things are in them, by the layout alone.
struct Mdx {
  std::string bytes;
  uint8_t* at(int64_t offset) { return reinterpret_cast<uint8_t*>(bytes.data()) + offset; }
  int64_t TagHeader(int tag) { return index_support::MdxTagHeaderOffset(bytes, tag); }
  int64_t Root(int tag) { return int64_t(GetLE32(at(TagHeader(tag)))) * 512; }
  int EntryLength(int tag) { return GetLE16(at(TagHeader(tag) + 18)); }
  // Entry i of the node at offset: its number (record or lower page), then its key.
  uint8_t* Entry(int64_t node, int tag, int i) { return at(node + 8 + int64_t(i) * EntryLength(tag)); }
  // The first node below the root, and the first leaf (the fixture's tags
  // are three levels deep).
  int64_t Middle(int tag) { return int64_t(GetLE32(Entry(Root(tag), tag, 0))) * 512; }
  int64_t FirstLeaf(int tag) { return int64_t(GetLE32(Entry(Middle(tag), tag, 0))) * 512; }
};

struct Damage {
  const char* name;
  // Changes the fixture's files (table, memo, index) in place.
  std::function<void(std::string& dbf, std::string& dbt, Mdx& mdx)> apply;
  const char* expected;  // a fault line contains it
};

TEST(DbfToolCheck, EachDamageIsReportedAndASoundTableIsNot) {
  const std::string dir = TempDir("check");
  const std::string file = MakeFixture(dir);
  const std::string dbf_bytes = ReadFile(file), dbt_bytes = ReadFile(dir + "/t.dbt"),
                    mdx_bytes = ReadFile(dir + "/t.mdx");
  {
    Mdx mdx{mdx_bytes};
    ASSERT_GT(mdx.Root(0), 0);
    // The damages below want a level between the root and the leaves.
    ASSERT_EQ(index_support::WalkTree(mdx.bytes, true, mdx.TagHeader(0)).depth, 3);
  }
  std::string out;
  EXPECT_EQ(RunTool("check " + file, &out), 0) << out;
  EXPECT_EQ(out, "");

  const Damage damages[] = {
      {"a key names a record the table lacks",
       [](std::string&, std::string&, Mdx& m) { PutLE32(m.Entry(m.FirstLeaf(1), 1, 3), 9999); },
       "t.mdx tag NUM: a key names record 9999, but the table has 5000"},
      {"a record missing from a tag",
       [](std::string&, std::string&, Mdx& m) { PutLE32(m.Entry(m.FirstLeaf(0), 0, 5), 7); },
       "t.mdx tag NAME: record 6 is missing from the tag"},
      {"two entries swapped",
       [](std::string&, std::string&, Mdx& m) {
         const int length = m.EntryLength(1);
         std::string first(reinterpret_cast<char*>(m.Entry(m.FirstLeaf(1), 1, 2)), size_t(length));
         std::memcpy(m.Entry(m.FirstLeaf(1), 1, 2), m.Entry(m.FirstLeaf(1), 1, 4), size_t(length));
         std::memcpy(m.Entry(m.FirstLeaf(1), 1, 4), first.data(), size_t(length));
       },
       "t.mdx tag NUM: the key of record 5 stands before a smaller key"},
      {"a key that is not its record's",
       // The key's padding: the order stays.
       [](std::string&, std::string&, Mdx& m) { m.Entry(m.FirstLeaf(0), 0, 9)[4 + 9] = '!'; },
       "t.mdx tag NAME: the key of record 10 is not the record's"},
      {"a pointer past the file",
       [](std::string&, std::string&, Mdx& m) { PutLE32(m.Entry(m.Middle(0), 0, 1), 40000); },
       "t.mdx tag NAME: a node pointer names page 40000, outside the file's nodes"},
      {"a node reached twice",
       [](std::string&, std::string&, Mdx& m) {
         PutLE32(m.Entry(m.Middle(1), 1, 1), GetLE32(m.Entry(m.Middle(1), 1, 0)));
       },
       "is reached twice"},
      {"a leaf count past its room",
       [](std::string&, std::string&, Mdx& m) { PutLE32(m.at(m.FirstLeaf(0)), 70); },
       "keys, more than the 63 it holds"},
      {"a separator that is not its child's last key",
       [](std::string&, std::string&, Mdx& m) { m.Entry(m.Middle(0), 0, 0)[4 + 9] = '!'; },
       "t.mdx tag NAME: the separator 0 of the node at page"},
      {"the table's count past its records",
       [](std::string& dbf, std::string&, Mdx&) {
         PutLE32(reinterpret_cast<uint8_t*>(dbf.data()) + 4, kRows + 3);
       },
       "t.dbf: the header counts 5003 records, the file holds 5000"},
      {"a record the tags never got",
       [](std::string& dbf, std::string&, Mdx&) {
         const int header = GetLE16(reinterpret_cast<const uint8_t*>(dbf.data()) + 8);
         const int size = GetLE16(reinterpret_cast<const uint8_t*>(dbf.data()) + 10);
         dbf.insert(dbf.size() - 1, dbf.substr(size_t(header), size_t(size)));
         PutLE32(reinterpret_cast<uint8_t*>(dbf.data()) + 4, kRows + 1);
       },
       "t.mdx tag NUM: record 5001 is missing from the tag"},
      {"a memo file cut short",
       [](std::string&, std::string& dbt, Mdx&) { dbt.resize(dbt.size() - 2048); },
       "t.dbt record 5000 field NOTE: memo block"},
      {"a memo value longer than its file",
       // Into the last value, past its block header.
       [](std::string&, std::string& dbt, Mdx&) { dbt.resize(dbt.size() - 512 + 12); },
       "runs past the end of the file"},
      {"the index header counting pages nobody wrote",
       [](std::string&, std::string&, Mdx& m) { PutLE32(m.at(32), GetLE32(m.at(32)) + 8); },
       "t.mdx: the header counts"},
      {"an index file cut inside its header",
       [](std::string&, std::string&, Mdx& m) { m.bytes.resize(1500); },
       "t.mdx: Invalid index file."},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    std::string dbf = dbf_bytes, dbt = dbt_bytes;
    Mdx mdx{mdx_bytes};
    damage.apply(dbf, dbt, mdx);
    WriteFile(file, dbf);
    WriteFile(dir + "/t.dbt", dbt);
    WriteFile(dir + "/t.mdx", mdx.bytes);
    EXPECT_EQ(RunTool("check " + file, &out), 1) << out;
    EXPECT_NE(out.find(damage.expected), std::string::npos) << out;
  }
}

}  // namespace dbftool_check_test

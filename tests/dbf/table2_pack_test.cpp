// Deleting, packing and counting through the table component: deleted rows
// stay marked until the pack, the pack rebuilds the index tags, counting
// follows the filter and leaves the position alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/dbf/table2_support.h"
#include "toolkit/core/binary.h"

namespace table2_pack_test {

namespace {

using namespace table2_support;
using namespace testsupport;

constexpr size_t kHeader = 673, kRecord = 408;

char DeletionFlag(const std::string& bytes, int n) { return bytes[kHeader + kRecord * size_t(n - 1)]; }

// Deletes the rows with these N through the data set.
void DeleteNs(TDbf& t, const std::vector<int>& ns) {
  for (int n : ns) {
    ASSERT_TRUE(t.FindByValues("N", n, {})) << n;
    t.DeleteCurrent();
  }
}

std::string ReadBack(const std::string& dir, const std::string& file) {
  WriteFile(dir + "/read.py", R"(
import dbfread, sys
print(' '.join('%d:%d' % (r['N'], r['NB_TYPE']) for r in dbfread.DBF(sys.argv[1], encoding='cp1251')))
)");
  std::string out;
  EXPECT_EQ(RunCommand(std::string(Python()) + " " + dir + "/read.py " + file + " 2>&1", &out), 0) << out;
  return out;
}

struct PackCase {
  const char* name;
  std::vector<int> deleted;
  bool with_tag;
  std::vector<int> physical_after;  // N in physical order after the pack
  std::vector<int> kind1_by_p;      // kind-1 N in tag order after the pack
};

TEST(Table2Pack, DeletedRowsStayMarkedUntilThePackRebuildsTheTags) {
  const PackCase cases[] = {
      {"some", {2, 3, 6}, true, {1, 4, 5, 7}, {1, 4}},
      {"none", {}, true, {1, 2, 3, 4, 5, 6, 7}, {3, 1, 6, 4}},
      {"all", {1, 2, 3, 4, 5, 6, 7}, true, {}, {}},
      {"no index", {1, 7}, false, {2, 3, 4, 5, 6}, {3, 6, 4}},
  };
  // A shared table is held exclusively while it is packed; its index file
  // is rebuilt through the same pack.
  for (const bool shared : {false, true})
  for (const PackCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (shared ? " shared" : ""));
    const std::string dir = TempDir("t2pack");
    const std::string file = dir + "/job.db", mdx = dir + "/job.mdx";
    auto t = FilledTable(file, kSevenRows);
    t->SetExclusive(!shared);
    t->Activate();
    if (c.with_tag) t->CreateIndexTag("tab1", "P", {});
    DeleteNs(*t, c.deleted);
    const std::string before = ReadFile(file);
    ASSERT_EQ(before.size(), kHeader + kRecord * kSevenRows.size() + 1) << "nothing leaves the file before the pack";
    for (int n = 1; n <= 7; ++n) {
      const bool gone = std::find(c.deleted.begin(), c.deleted.end(), n) != c.deleted.end();
      EXPECT_EQ(DeletionFlag(before, n), gone ? '*' : ' ') << n;
    }
    t->PackRecords();
    EXPECT_EQ(Ns(*t), c.physical_after);
    if (c.with_tag) {
      t->SetFilter("NB_TYPE=1");
      t->SetFiltered(true);
      t->SetIndexName("tab1");
      EXPECT_EQ(Ns(*t), c.kind1_by_p);
      // The tag also takes new rows at their places after the pack.
      t->StartAppend();
      t->FieldNamed("N")->SetIntegerValue(9);
      t->FieldNamed("NB_TYPE")->SetIntegerValue(1);
      t->FieldNamed("P")->SetFloatValue(-100);
      t->CommitRecord();
      std::vector<int> expected = {9};
      expected.insert(expected.end(), c.kind1_by_p.begin(), c.kind1_by_p.end());
      EXPECT_EQ(Ns(*t), expected);
    }
    t->Deactivate();
    const std::string after = ReadFile(file);
    const size_t rows = c.physical_after.size() + (c.with_tag ? 1 : 0);
    EXPECT_EQ(after.size(), kHeader + kRecord * rows + 1);
    EXPECT_EQ(GetLE32(after.data() + 4), rows);
    EXPECT_EQ(uint8_t(after[28]), c.with_tag ? 1 : 0) << "the production index stays linked";
    EXPECT_EQ(Exists(mdx), c.with_tag);
    if (c.with_tag) {
      // Reopened, the rebuilt tag still delivers the same order.
      t->SetIndexName("tab1");
      t->Activate();
      std::vector<int> expected = {9};
      expected.insert(expected.end(), c.kind1_by_p.begin(), c.kind1_by_p.end());
      EXPECT_EQ(Ns(*t), expected);
      t->Deactivate();
    }
    t->SetFiltered(false);
    std::string expected_text;
    for (int n : c.physical_after)
      expected_text += (expected_text.empty() ? "" : " ") + std::to_string(n) + ":" +
                       std::to_string(kSevenRows[size_t(n - 1)].kind);
    if (c.with_tag) expected_text += (expected_text.empty() ? "" : " ") + std::string("9:1");
    EXPECT_EQ(ReadBack(dir, file), expected_text + "\n");
  }
}

struct CountCase {
  const char* filter;
  bool show_deleted;
  int expected;
};

TEST(Table2Count, CountsWhatTheSetDeliversAndKeepsThePosition) {
  const CountCase cases[] = {
      {"", false, 5},          {"NB_TYPE=0", false, 2}, {"NB_TYPE=1", false, 3},
      {"NB_TYPE=1", true, 4},  {"NB_TYPE=0", true, 3},  {"NB_TYPE=2", false, 0},
  };
  const std::string dir = TempDir("t2count");
  auto t = FilledTable(dir + "/job.db", kSevenRows);
  t->Activate();
  DeleteNs(*t, {3, 7});
  for (const bool indexed : {false, true}) {
    if (indexed) {
      t->CreateIndexTag("tab1", "P", {ixDescending});
      t->SetIndexName("tab1");
    }
    for (const CountCase& c : cases) {
      SCOPED_TRACE(std::string(c.filter) + (c.show_deleted ? " +deleted" : "") + (indexed ? " indexed" : ""));
      t->SetFilter(c.filter);
      t->SetFiltered(true);
      t->SetShowDeleted(c.show_deleted);
      t->GoFirst();
      if (!t->Eof()) t->GoNext();
      const bool empty = t->Eof() && t->Bof();
      const int at = empty ? -1 : t->FieldNamed("N")->GetIntegerValue();
      EXPECT_EQ(t->CountVisibleRecords(), c.expected);
      if (!empty) {
        EXPECT_EQ(t->FieldNamed("N")->GetIntegerValue(), at);
        // The cursor itself stayed too: the next step goes on from there.
        const std::vector<int> all = Ns(*t);
        auto it = std::find(all.begin(), all.end(), at);
        ASSERT_NE(it, all.end());
        t->GoFirst();
        while (t->FieldNamed("N")->GetIntegerValue() != at) t->GoNext();
        t->GoNext();
        if (it + 1 != all.end()) {
          EXPECT_EQ(t->FieldNamed("N")->GetIntegerValue(), *(it + 1));
        }
      }
    }
  }
  t->Deactivate();
  TDbf closed(nullptr);
  EXPECT_EQ(closed.CountVisibleRecords(), 0);
}

}  // namespace

namespace {

// An index kind that cannot rebuild its keys from the table.
class OpaqueIndex : public TDbfIndexKeys {
 public:
  AnsiString IndexName() const override { return "OPAQUE"; }
  bool CheckKeyViolation(const uint8_t*, int64_t*, AnsiString*) override { return false; }
  void InsertRecordKey(int64_t, const uint8_t*) override {}
  void DeleteRecordKey(int64_t, const uint8_t*) override {}
  void UpdateRecordKey(int64_t, const uint8_t*, const uint8_t*) override {}
  void RemoveDeletedRecordKey(int64_t, const uint8_t*) override {}
  void RestoreRecalledRecordKey(int64_t, const uint8_t*) override {}
  bool IndexWriteError() const override { return false; }
  void ClearIndexWriteError() override {}
};

// A pack that would leave index entries pointing at renumbered records is
// refused before anything is written.
TEST(Table2Pack, RefusesIndexesItCannotRebuild) {
  enum Kind { kOpaque, kUnopenedProduction };
  for (const Kind kind : {kOpaque, kUnopenedProduction}) {
    SCOPED_TRACE(int(kind));
    const std::string dir = TempDir("t2refuse");
    const std::string file = dir + "/job.db";
    auto t = FilledTable(file, kSevenRows);
    t->Activate();
    t->CreateIndexTag("tab1", "P", {});
    DeleteNs(*t, {1});
    t->Deactivate();
    const std::string before = ReadFile(file), mdx_before = ReadFile(dir + "/job.mdx");
    TDbfFile table;
    table.SetFileName(file);
    table.SetMode(pmExclusiveOpen);
    table.OpenAndReadHeader();
    if (kind == kOpaque) {
      // Even without the production file linked.
      table.Header()[28] = 0;
      table.SetProductionIndexFileName("");
      table.AddIndexFile(std::make_unique<OpaqueIndex>());
    }
    EXPECT_THROW(table.RebuildTableFile(), EDbfError);
    table.CloseAll();
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_EQ(ReadFile(dir + "/job.mdx"), mdx_before);
  }
}

// A table kept in memory has no files to pack: the pack says so, and writes
// nothing into the current folder.
TEST(Table2Pack, TableInMemoryIsRefusedClearly) {
  const std::string dir = TempDir("t2memory");
  const std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  auto t = table2_support::MeasurementTable(dir + "/mem.db");
  t->SetStorage(stoMemory);
  t->Activate();
  for (int n : {1, 2}) {
    t->StartAppend();
    t->FieldNamed("N")->SetIntegerValue(n);
    t->CommitRecord();
  }
  DeleteNs(*t, {1});
  try {
    t->PackRecords();
    ADD_FAILURE() << "packed";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), STRING_PACK_IN_MEMORY);
  }
  EXPECT_EQ(Ns(*t), std::vector<int>{2});
  t->Deactivate();
  std::filesystem::current_path(cwd);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST(Table2Create, IndexDefinitionsAreCreatedWithTheTable) {
  const std::string dir = TempDir("t2createidx");
  const std::string file = dir + "/job.db";
  auto t = table2_support::MeasurementTable(file);
  TDbfIndexDef* def = t->IndexDefs().Add();
  def->SetIndexFile(" tab1 ");
  def->SetSortField("p");
  EXPECT_EQ(def->IndexFile(), "TAB1");
  EXPECT_EQ(def->SortField(), "P");
  t->CreateTableFile();
  EXPECT_TRUE(Exists(dir + "/job.mdx"));
  EXPECT_EQ(uint8_t(ReadFile(file)[28]), 1);
  t->Activate();
  EXPECT_EQ(t->IndexNames(), std::vector<AnsiString>{"TAB1"});
  for (const double p : {3.0, -1.0, 2.0}) {
    t->StartAppend();
    t->FieldNamed("N")->SetFloatValue(p);
    t->FieldNamed("P")->SetFloatValue(p);
    t->CommitRecord();
  }
  t->SetIndexName("tab1");
  EXPECT_EQ(Ns(*t), (std::vector<int>{-1, 2, 3}));
  t->Deactivate();
}

}  // namespace

}  // namespace table2_pack_test

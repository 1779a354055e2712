// Key maintenance as the table's record operations drive it: appends,
// updates, deletion marks, primary and unique tags, all tags of a file.
#include <gtest/gtest.h>

#include "dbf/dbf_idxfile.h"
#include "index_support.h"

namespace index_maint_test {

using namespace index_support;
using testsupport::TempDir;

namespace {

std::vector<uint8_t> Image(Indexed& t, int64_t n) {
  std::vector<uint8_t> record(size_t(t.table->RecordSize()));
  t.table->LockRecordForEdit(n, record.data());
  return record;
}

void SetText(Indexed& t, std::vector<uint8_t>& record, const char* field, const char* value) {
  t.table->EncodeField(*t.table->FindField(field), ftString, record.data(), value);
}

TEST(IndexMaint, PrimaryTagRefusesADuplicateAppendAndKeepsOtherTagsClean) {
  const std::string dir = TempDir("index_maint_primary");
  Indexed t(MakeTable(dir, {{"ID", 'C', 4, 0}, {"NAME", 'C', 8, 0}}, true), "t.mdx");
  t.index->CreateTag("NAME", "byname", {});
  t.index->CreateTag("ID", "byid", {ixPrimary});
  t.index->SetUpdateMode(true);
  t.Append({{"ID", "1"}, {"NAME", "x"}});
  t.Append({{"ID", "2"}, {"NAME", "y"}});
  try {
    t.Append({{"ID", "1"}, {"NAME", "z"}});
    FAIL() << "duplicate accepted";
  } catch (const EDbfError& e) {
    EXPECT_EQ(std::string(e.what()), "Key violation. (Key already present in file).\r\nIndex: BYID\r\nRecord=1 Key='1'.");
  }
  EXPECT_EQ(t.table->RecordCount(), 2);
  t.index->SelectTag("byname");
  EXPECT_EQ(t.Order(), (std::vector<int64_t>{1, 2}));
}

TEST(IndexMaint, UniqueTagKeepsTheFirstHolderOnly) {
  const std::string dir = TempDir("index_maint_unique");
  Indexed t(MakeTable(dir, {{"K", 'C', 4, 0}}, true), "t.mdx");
  t.index->CreateTag("K", "k", {ixUnique});
  for (const char* k : {"b", "a", "b", "c"}) t.Append({{"K", k}});
  EXPECT_EQ(t.Order(), (std::vector<int64_t>{2, 1, 4}));
  // Record 3 holds no entry; removing its key must not take record 1's.
  std::vector<uint8_t> record(size_t(t.table->RecordSize()));
  t.table->ReadRecordAt(3, record.data());
  t.index->DeleteRecordKey(3, record.data());
  EXPECT_EQ(t.Order(), (std::vector<int64_t>{2, 1, 4}));
}

TEST(IndexMaint, UpdateMovesTheKeyOnlyWhenItChanges) {
  const std::string dir = TempDir("index_maint_update");
  Indexed t(MakeTable(dir, {{"K", 'C', 4, 0}, {"O", 'C', 4, 0}}, true), "t.mdx");
  t.index->CreateTag("K", "k", {});
  for (const char* k : {"a", "b", "c"}) t.Append({{"K", k}});
  std::vector<uint8_t> record = Image(t, 1);
  SetText(t, record, "K", "z");
  t.table->UpdateRecord(1, record.data());
  EXPECT_EQ(t.Order(), (std::vector<int64_t>{2, 3, 1}));
  record = Image(t, 2);
  SetText(t, record, "O", "other");
  t.table->UpdateRecord(2, record.data());
  EXPECT_EQ(t.Order(), (std::vector<int64_t>{2, 3, 1}));
}

TEST(IndexMaint, UpdateToAKeyAnotherRecordHoldsInAPrimaryTagChangesNothing) {
  const std::string dir = TempDir("index_maint_update_primary");
  Indexed t(MakeTable(dir, {{"K", 'C', 4, 0}}, true), "t.mdx");
  t.index->CreateTag("K", "k", {ixPrimary});
  for (const char* k : {"a", "b"}) t.Append({{"K", k}});
  std::vector<uint8_t> record = Image(t, 2);
  SetText(t, record, "K", "a");
  EXPECT_THROW(t.table->UpdateRecord(2, record.data()), EDbfError);
  EXPECT_EQ(t.Order(), (std::vector<int64_t>{1, 2}));
  ASSERT_TRUE(t.index->GotoRecord(2));
}

TEST(IndexMaint, DeletionMarksDropKeysFromPrimaryTagsOnly) {
  const std::string dir = TempDir("index_maint_deleted");
  Indexed t(MakeTable(dir, {{"K", 'C', 4, 0}}, true), "t.mdx");
  t.index->CreateTag("K", "plain", {});
  t.index->CreateTag("K", "prim", {ixPrimary});
  t.index->SetUpdateMode(true);
  for (const char* k : {"a", "b"}) t.Append({{"K", k}});
  std::vector<uint8_t> record(size_t(t.table->RecordSize()));
  t.table->ReadRecordAt(1, record.data());
  t.table->RemoveRecordKeys(1, record.data());
  t.index->SelectTag("plain");
  EXPECT_EQ(t.Order(), (std::vector<int64_t>{1, 2}));
  t.index->SelectTag("prim");
  EXPECT_EQ(t.Order(), (std::vector<int64_t>{2}));
  t.Append({{"K", "a"}});  // the key is free again
  EXPECT_EQ(t.Order(), (std::vector<int64_t>{3, 2}));
}

TEST(IndexMaint, CurrentTagOnlyOrAllTags) {
  for (bool all : {false, true}) {
    SCOPED_TRACE(all ? "all tags" : "current tag");
    const std::string dir = TempDir("index_maint_mode");
    Indexed t(MakeTable(dir, {{"K", 'C', 4, 0}}, true), "t.mdx");
    t.index->CreateTag("K", "one", {});
    t.index->CreateTag("K", "two", {});
    t.index->SetUpdateMode(all);
    t.index->SelectTag("one");
    t.Append({{"K", "a"}});
    t.index->SelectTag("two");
    EXPECT_EQ(t.Order().size(), all ? 1u : 0u);
  }
}

TEST(IndexMaint, NewTagIsFilledFromTheTableAndSurvivesReopening) {
  const std::string dir = TempDir("index_maint_fill");
  const std::string table = MakeTable(dir, {{"K", 'C', 6, 0}}, true);
  {
    Indexed t(table, "t.mdx");
    for (int i = 0; i < 400; ++i) t.Append({{"K", std::to_string((i * 37) % 400)}});
    t.index->CreateTag("K", "late", {});
    t.index->SetUpdateMode(false);
    t.index->AddRecordsFromTable();
    t.Close();
  }
  Indexed t(table, "t.mdx", pmExclusiveOpen);
  const std::vector<int64_t> order = t.Order();
  ASSERT_EQ(order.size(), 400u);
  std::vector<uint8_t> record(size_t(t.table->RecordSize()));
  std::string previous;
  for (int64_t n : order) {
    t.table->ReadRecordAt(n, record.data());
    const std::string text = records_support::Text(*t.table, record, "K");
    EXPECT_LE(previous, text);
    previous = text;
  }
}

}  // namespace

}  // namespace index_maint_test

// The table component: writing fields, posting edited and new records,
// cancelling, deleting, and the record lock between two openers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "dbf/dbf_str.h"
#include "tests/dbf/table_support.h"
#include "toolkit/core/binary.h"

namespace table_edit_test {

using namespace table_support;
using namespace testsupport;

constexpr size_t kHeader = 32 + 3 * 32 + 1;
constexpr size_t kRecord = 15;

// Record n (1-based) of a table file of table_support::kFields.
std::string RecordBytes(const std::string& bytes, int n) { return bytes.substr(kHeader + kRecord * size_t(n - 1), kRecord); }

TEST(TableEdit, PostWritesTheRecordInPlaceAndCancelRestoresIt) {
  const std::string dir = TempDir("edit");
  const std::string file = WriteTable(dir, {Rec(1, "a", 0), Rec(2, "b", 0), Rec(3, "c", 0)});
  auto t = Table(file);
  t->Activate();
  t->GoNext();
  t->StartEdit();
  t->FieldNamed("NAME")->SetStringValue("bee");
  t->FieldNamed("KIND")->SetIntegerValue(7);
  t->CommitRecord();
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "bee");
  EXPECT_EQ(t->GetSequenceNo(), 2);
  EXPECT_EQ(RecordBytes(ReadFile(file), 2), Rec(2, "bee", 7));

  t->StartEdit();
  t->FieldNamed("NAME")->SetStringValue("gone");
  t->DiscardChanges();
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "bee");
  EXPECT_EQ(RecordBytes(ReadFile(file), 2), Rec(2, "bee", 7));
  t->Deactivate();
  EXPECT_EQ(ReadFile(file).size(), kHeader + 3 * kRecord + 1);
}

TEST(TableEdit, NewRecordsGoToTheEndWhetherInsertedOrAppended) {
  const std::string dir = TempDir("append");
  const std::string file = WriteTable(dir, {Rec(1, "a", 0), Rec(2, "b", 1)});
  auto t = Table(file);
  t->SetFilter("KIND=0");
  t->SetFiltered(true);
  t->Activate();
  const struct {
    bool insert;
    int n, kind;
    const char* name;
  } rows[] = {{false, 3, 0, "c"}, {true, 4, 0, "d"}, {false, 5, 1, "e"}};
  for (const auto& r : rows) {
    if (r.insert)
      t->StartInsert();
    else
      t->StartAppend();
    t->FieldNamed("N")->SetIntegerValue(r.n);
    t->FieldNamed("NAME")->SetStringValue(r.name);
    t->FieldNamed("KIND")->SetIntegerValue(r.kind);
    t->CommitRecord();
    EXPECT_EQ(t->CurrentMode(), dsBrowse);
  }
  // The row of kind 1 is stored but not shown.
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "d");
  EXPECT_EQ(Column(*t), (Names{"a", "c", "d"}));
  t->Deactivate();
  const std::string bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), kHeader + 5 * kRecord + 1);
  EXPECT_EQ(GetLE32(bytes.data() + 4), 5u);
  EXPECT_EQ(RecordBytes(bytes, 3), Rec(3, "c", 0));
  EXPECT_EQ(RecordBytes(bytes, 4), Rec(4, "d", 0));
  EXPECT_EQ(RecordBytes(bytes, 5), Rec(5, "e", 1));
  EXPECT_EQ(bytes.back(), '\x1A');
}

TEST(TableEdit, AValueThatDoesNotFitIsRefusedAndNothingIsStored) {
  const std::string dir = TempDir("overflow");
  const std::string file = WriteTable(dir, {Rec(1, "a", 0)});
  auto t = Table(file);
  t->Activate();
  t->StartAppend();
  t->FieldNamed("NAME")->SetStringValue("ok");
  try {
    t->FieldNamed("N")->SetIntegerValue(12345);
    ADD_FAILURE() << "a five-digit number went into N 4.0";
  } catch (const EDbfError& e) {
    EXPECT_STREQ(e.what(), "Value does not fit field \"N\" of 4 characters.");
  }
  t->DiscardChanges();
  EXPECT_EQ(Column(*t), (Names{"a"}));
  t->Deactivate();
  EXPECT_EQ(ReadFile(file).size(), kHeader + kRecord + 1);
}

TEST(TableEdit, DeleteMarksTheRecordAndHidesIt) {
  const std::string dir = TempDir("delete");
  const std::string file = WriteTable(dir, {Rec(1, "a", 0), Rec(2, "b", 0), Rec(3, "c", 0)});
  auto t = Table(file);
  t->Activate();
  t->GoNext();
  int after_delete = 0;
  t->AfterDelete = [&](TDataSet*) { ++after_delete; };
  t->DeleteCurrent();
  EXPECT_EQ(after_delete, 1);
  EXPECT_EQ(t->CurrentMode(), dsBrowse);
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "c") << "the next row takes its place";
  EXPECT_EQ(Column(*t), (Names{"a", "c"}));
  EXPECT_EQ(RecordBytes(ReadFile(file), 2), Rec(2, "b", 0, true));
  t->SetShowDeleted(true);
  EXPECT_EQ(Column(*t), (Names{"a", "b", "c"}));
  EXPECT_EQ(t->CursorRecordCount(), 3);
}

// With a window of buffers (a grid's link) the delete's own post refills the
// window; the set must still stand on the row after the deleted one, or on
// the new last row, not on whichever row the refill read last.
TEST(TableEdit, DeleteInAWindowStandsOnTheFollowingRow) {
  const std::string dir = TempDir("delete_window");
  std::vector<std::string> records;
  for (int n = 1; n <= 10; ++n) records.push_back(Rec(n, "r" + std::to_string(n), 0));
  const std::string file = WriteTable(dir, records);
  struct Case {
    const char* name;
    int back;  // rows up from the last one
    int after;  // N the set stands on after the delete
  };
  const Case cases[] = {{"the last row", 0, 9}, {"a row above it", 2, 9}, {"the window's top row", 3, 8}};
  for (const Case& c : cases) {
    WriteTable(dir, records);
    auto t = Table(file);
    t->Activate();
    TDataSource source(nullptr);
    source.SetDataSet(t.get());
    TDataLink link;
    link.ChangeDataSource(&source);
    link.ChangeWindowSize(4);
    t->GoLast();
    t->Skip(-c.back);
    const int deleted = t->FieldNamed("N")->GetIntegerValue();
    t->DeleteCurrent();
    EXPECT_EQ(t->FieldNamed("N")->GetIntegerValue(), c.after) << c.name;
    std::vector<int> left;
    for (t->GoFirst(); !t->Eof(); t->GoNext()) left.push_back(t->FieldNamed("N")->GetIntegerValue());
    EXPECT_EQ(left.size(), 9u) << c.name;
    EXPECT_EQ(std::count(left.begin(), left.end(), deleted), 0) << c.name;
    link.ChangeDataSource(nullptr);
    t->Deactivate();
  }
}

TEST(TableEdit, ARecordBeingEditedIsLockedForOtherOpeners) {
  const std::string dir = TempDir("lock");
  const std::string file = WriteTable(dir, {Rec(1, "a", 0), Rec(2, "b", 0)});
  auto one = Table(file);
  auto two = Table(file);
  one->Activate();
  two->Activate();
  one->StartEdit();
  try {
    two->StartEdit();
    ADD_FAILURE() << "both editing record 1";
  } catch (const EDbfError& e) {
    EXPECT_STREQ(e.what(), "Record locked.");
  }
  EXPECT_EQ(two->CurrentMode(), dsBrowse);
  two->GoNext();
  two->StartEdit();  // another record is free
  two->DiscardChanges();
  one->FieldNamed("NAME")->SetStringValue("one");
  one->CommitRecord();
  two->GoFirst();
  two->StartEdit();
  EXPECT_EQ(two->FieldNamed("NAME")->GetStringValue(), "one") << "editing rereads the record";
  two->DiscardChanges();
  one->StartEdit();
  one->DiscardChanges();  // cancelling releases the lock too
  two->StartEdit();
  two->CommitRecord();
}

TEST(TableEdit, EachOpenerStandsOnTheRecordItAppended) {
  const std::string dir = TempDir("shared");
  const std::string file = WriteTable(dir, {Rec(1, "a", 0)});
  auto one = Table(file);
  auto two = Table(file);
  one->Activate();
  two->Activate();
  const struct {
    TDbf* table;
    const char* name;
    int recno;
  } appends[] = {{one.get(), "one", 2}, {two.get(), "two", 3}, {one.get(), "three", 4}};
  for (const auto& a : appends) {
    a.table->StartAppend();
    a.table->FieldNamed("NAME")->SetStringValue(a.name);
    a.table->CommitRecord();
    EXPECT_EQ(a.table->GetSequenceNo(), a.recno) << a.name;
    EXPECT_EQ(a.table->FieldNamed("NAME")->GetStringValue(), a.name);
  }
  EXPECT_EQ(Column(*two), (Names{"a", "one", "two", "three"}));
}

}  // namespace table_edit_test

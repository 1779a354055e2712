// The physical-order cursor over a file of a few records.
#include <gtest/gtest.h>

#include "dbf/dbf_cursor.h"
#include "dbf/dbf_pgfile.h"
#include "tests/support/testsupport.h"

namespace records_cursor_test {

std::unique_ptr<TPagedFile> FileOf(int records) {
  const std::string file = testsupport::TempDir("cursor") + "/t.dat";
  testsupport::WriteFile(file, std::string(8 + 4 * size_t(records), 'r'));
  auto f = std::make_unique<TPagedFile>();
  f->SetFileName(file);
  f->SetMode(pmReadOnly);
  f->OpenStream();
  f->SetHeaderSize(8);
  f->SetRecordSize(4);
  return f;
}

TEST(DbfCursor, WalksForwardAndBackInPhysicalOrder) {
  auto file = FileOf(3);
  TDbfCursor cursor(file.get());
  EXPECT_EQ(cursor.SequentialRecordCount(), 3);
  std::vector<int64_t> seen;
  cursor.First();
  while (cursor.Next()) seen.push_back(cursor.PhysicalRecNo());
  EXPECT_EQ(seen, (std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(cursor.PhysicalRecNo(), 4);
  EXPECT_FALSE(cursor.Next());
  EXPECT_EQ(cursor.PhysicalRecNo(), 4);

  seen.clear();
  cursor.Last();
  EXPECT_EQ(cursor.PhysicalRecNo(), 4);
  while (cursor.Prev()) seen.push_back(cursor.SequentialRecNo());
  EXPECT_EQ(seen, (std::vector<int64_t>{3, 2, 1}));
  EXPECT_EQ(cursor.PhysicalRecNo(), 0);
  EXPECT_FALSE(cursor.Prev());
  EXPECT_EQ(cursor.PhysicalRecNo(), 0);
}

TEST(DbfCursor, StepsFromPositionsOutsideTheTable) {
  struct Case {
    int records;
    int64_t from;
    bool forward;
    bool found;
    int64_t to;
  };
  const Case cases[] = {
      {0, 0, true, false, 1},   // empty table: next from 0 stops at 1
      {0, 0, false, false, 0},  //
      {3, 9, true, false, 4},   // a number past the end goes just past the last
      {3, -5, false, false, 0}, // below the first stays before it
      {3, 2, true, true, 3},    //
      {3, 1, false, false, 0},  // prior from the first record: before it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.records) + " records, from " + std::to_string(c.from));
    auto file = FileOf(c.records);
    TDbfCursor cursor(file.get());
    cursor.SetPhysicalRecNo(c.from);
    EXPECT_EQ(c.forward ? cursor.Next() : cursor.Prev(), c.found);
    EXPECT_EQ(cursor.PhysicalRecNo(), c.to);
  }
}

TEST(DbfCursor, LastOfAnEmptyTableIsBeforeTheFirst) {
  auto empty = FileOf(0);
  TDbfCursor cursor(empty.get());
  cursor.Last();
  EXPECT_EQ(cursor.PhysicalRecNo(), 0);
  auto two = FileOf(2);
  TDbfCursor other(two.get());
  other.Last();
  EXPECT_EQ(other.PhysicalRecNo(), 3);
}

}  // namespace records_cursor_test

// An append to a shared table stores only the header's date and record
// count: header bytes another opener stored meanwhile stay as that opener
// left them, and the count and date are the append's.
#include <gtest/gtest.h>

#include "records_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/sysutils.h"

namespace records_shared_header_test {

using records_support::CreateTable;
using records_support::OpenTable;
using records_support::Record;
using testsupport::ReadFile;
using testsupport::TempDir;

TEST(RecordsSharedHeader, AnAppendKeepsWhatAnotherOpenerStoredInTheHeader) {
  const std::string file = TempDir("shared_header") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, {{"NAME", 'C', 6, 0}});
  auto one = OpenTable(file, pmSharedOpen);
  auto two = OpenTable(file, pmSharedOpen);
  // The other opener marks a production index in the header.
  two->Header()[28] = 1;
  two->StoreHeader();
  ASSERT_EQ(ReadFile(file)[28], '\x01');

  auto ann = Record(*one, {{"NAME", "ann"}});
  ASSERT_EQ(one->AppendRecord(ann.data()), 1);
  std::string bytes = ReadFile(file);
  EXPECT_EQ(bytes[28], '\x01');
  EXPECT_EQ(GetLE32(bytes.data() + 4), 1u);
  int year = 0, month = 0, day = 0;
  DecodeDate(Date(), year, month, day);
  EXPECT_EQ(uint8_t(bytes[1]), uint8_t(year - 1900));
  EXPECT_EQ(uint8_t(bytes[2]), uint8_t(month));
  EXPECT_EQ(uint8_t(bytes[3]), uint8_t(day));

  // The other opener's appends count on from there.
  auto bob = Record(*two, {{"NAME", "bob"}});
  ASSERT_EQ(two->AppendRecord(bob.data()), 2);
  bytes = ReadFile(file);
  EXPECT_EQ(GetLE32(bytes.data() + 4), 2u);
  EXPECT_EQ(bytes[28], '\x01');
}

}  // namespace records_shared_header_test

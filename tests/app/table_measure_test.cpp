// The measurement table through the table component: created, filled,
// closed and reopened under the record-kind filter, as the program does;
// the file checked against dbftool's and read back by an independent reader.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/measure.h"
#include "dbf/dbf.h"
#include "tests/dbf/table2_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

namespace table_measure_test {

using testsupport::Python;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFile;

constexpr size_t kHeaderSize = 32 + 20 * 32 + 1;  // 673

std::string Tool() { return std::string(KIV7_BINARY_DIR) + "/tools/dbftool/dbftool"; }

// The program's table as the main window configures it (not yet open).
std::unique_ptr<TDbf> MeasurementTable(const std::string& file) {
  auto t = table2_support::ConfiguredTable(file);
  for (const TMeasurementField& f : TMeasurementRow::Fields)
    t->FieldDefs().AppendNamedDef(AnsiString(f.Name), f.FieldType, f.FieldType == ftString ? f.Width : 0);
  return t;
}

struct Row {
  int n;
  const char* date;
  const char* time;
  int kind;
  double p, r;
  const char* comment;  // UTF-8
};

const Row kRows[] = {
    {1, "12.05.2006", "09:05:07", 0, 65537005, 12.5, "пресс"},
    {2, "12.05.2006", "10:00:00", 1, -3.25, 0.000000001, "HxLxB=100x40x40"},
    {3, "13.05.2006", "08:00:00", 1, 12345678.123456789, -99.5, ""},
};

TEST(TableMeasurement, CreateAppendReopenFilteredAndReadBack) {
  const std::string dir = TempDir("measure");
  const std::string file = dir + "/job.db";
  auto t = MeasurementTable(file);
  t->CreateTableFile();
  ASSERT_EQ(ReadFile(file).size(), kHeaderSize + 1);

  // The header is the one dbftool writes for the measurement table.
  std::string out;
  ASSERT_EQ(RunCommand(Tool() + " create-measurement " + dir + "/tool.db 2>&1", &out), 0) << out;
  const std::string ours = ReadFile(file), theirs = ReadFile(dir + "/tool.db");
  EXPECT_EQ(ours.substr(0, 1), theirs.substr(0, 1));
  EXPECT_EQ(ours.substr(4), theirs.substr(4));

  t->Activate();
  for (const Row& r : kRows) {
    t->StartAppend();
    t->FieldNamed("N")->SetIntegerValue(r.n);
    t->FieldNamed("DATE")->SetStringValue(r.date);
    t->FieldNamed("TIME")->SetStringValue(r.time);
    t->FieldNamed("DEV_TYPE")->SetIntegerValue(3);
    t->FieldNamed("SERIAL")->SetIntegerValue(4321);
    t->FieldNamed("NB_TYPE")->SetIntegerValue(r.kind);
    t->FieldNamed("P")->SetFloatValue(r.p);
    t->FieldNamed("R")->SetFloatValue(r.r);
    t->FieldNamed("COMMENT")->SetStringValue(Utf8ToAnsi(r.comment));
    t->CommitRecord();
  }
  t->Deactivate();
  const std::string bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), kHeaderSize + 408 * 3 + 1);
  EXPECT_EQ(GetLE32(bytes.data() + 4), 3u);

  t->SetFilter("NB_TYPE=1");
  t->SetFiltered(true);
  t->Activate();
  EXPECT_EQ(t->FieldNamed("N")->DataType(), ftInteger);
  EXPECT_EQ(t->FieldNamed("NB_TYPE")->DataType(), ftSmallint);
  EXPECT_EQ(t->FieldNamed("P")->DataType(), ftFloat);
  EXPECT_EQ(t->FieldNamed("COMMENT")->Size(), 100);
  std::vector<std::string> rows;
  for (t->GoFirst(); !t->Eof(); t->GoNext()) {
    rows.push_back(std::to_string(t->FieldNamed("N")->GetIntegerValue()) + "|" + t->FieldNamed("DATE")->GetStringValue() + "|" +
                   AnsiToUtf8(t->FieldNamed("COMMENT")->GetStringValue()) + "|" + t->FieldNamed("ZAV")->GetStringValue());
    EXPECT_TRUE(t->FieldNamed("ZAV")->HoldsNull()) << "never assigned";
    EXPECT_TRUE(t->FieldNamed("H")->HoldsNull());
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"2|12.05.2006|HxLxB=100x40x40|", "3|13.05.2006||"}));
  t->GoFirst();
  EXPECT_DOUBLE_EQ(t->FieldNamed("P")->GetFloatValue(), -3.25);
  EXPECT_DOUBLE_EQ(t->FieldNamed("R")->GetFloatValue(), 0.000000001);
  t->GoNext();
  EXPECT_DOUBLE_EQ(t->FieldNamed("P")->GetFloatValue(), 12345678.123456789);
  t->Deactivate();

  // An independent reader sees the three rows, numbers as the field text gives them.
  WriteFile(dir + "/read.py", R"(
import dbfread, sys
for r in dbfread.DBF(sys.argv[1], encoding='cp1251'):
    print('%d|%s|%s|%d|%d|%d|%r|%r|%s' % (r['N'], r['DATE'], r['TIME'], r['DEV_TYPE'], r['SERIAL'], r['NB_TYPE'],
                                        r['P'], r['R'], r['COMMENT']))
)");
  ASSERT_EQ(RunCommand(std::string(Python()) + " " + dir + "/read.py " + file + " 2>&1", &out), 0) << out;
  EXPECT_EQ(out,
            "1|12.05.2006|09:05:07|3|4321|0|65537005.0|12.5|пресс\n"
            "2|12.05.2006|10:00:00|3|4321|1|-3.25|1e-09|HxLxB=100x40x40\n"
            "3|13.05.2006|08:00:00|3|4321|1|12345678.12345679|-99.5|\n");
}


// The program's index file holds only the grids' sort tags. One left
// damaged (a kill while a sort made its tag, a full disk while a sorted
// table grew) is dropped when the table opens, and the table opens
// unsorted with every row; a sound one stays.
TEST(TableMeasurement, ADamagedSortIndexIsDroppedAndTheTableOpens) {
  const std::string dir = TempDir("measure_sort");
  const std::string file = dir + "/job.db", mdx = dir + "/job.mdx";
  auto t = MeasurementTable(file);
  t->CreateTableFile();
  t->Activate();
  for (const Row& r : kRows) {
    t->StartAppend();
    t->FieldNamed("N")->SetIntegerValue(r.n);
    t->FieldNamed("P")->SetFloatValue(r.p);
    t->CommitRecord();
  }
  t->CreateIndexTag("tab1", "P", {});
  t->SetIndexName("tab1");
  t->Deactivate();
  const std::string table_bytes = ReadFile(file), mdx_bytes = ReadFile(mdx);
  ASSERT_EQ(table_bytes[28], 1);

  struct Case {
    const char* name;
    std::string mdx;  // the index file's bytes as left
    bool dropped;
  };
  std::string past = mdx_bytes;
  PutLE32(reinterpret_cast<uint8_t*>(past.data()) + 544, 9999);  // the tag's header page
  std::string garbage = mdx_bytes;
  for (size_t i = 2048; i < garbage.size(); ++i) garbage[i] = char(0xA5);
  const Case cases[] = {
      {"only part of its header", mdx_bytes.substr(0, 1024), true},
      {"a tag whose header lies past the end", past, true},
      {"nodes overwritten", garbage, true},
      {"sound", mdx_bytes, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(file, table_bytes);
    WriteFile(mdx, c.mdx);
    t->SetIndexName("tab1");
    ASSERT_NO_THROW(OpenMeasurementTable(*t));
    EXPECT_EQ(t->IndexName(), c.dropped ? "" : "tab1");
    std::vector<int> ns;
    for (t->GoFirst(); !t->Eof(); t->GoNext()) ns.push_back(int(t->FieldNamed("N")->GetIntegerValue()));
    EXPECT_EQ(ns, c.dropped ? (std::vector<int>{1, 2, 3}) : (std::vector<int>{2, 3, 1}));
    t->Deactivate();
    EXPECT_EQ(FileExists(mdx), !c.dropped);
    EXPECT_EQ(ReadFile(file)[28], c.dropped ? 0 : 1);
    std::string out;
    EXPECT_EQ(RunCommand(Tool() + " check " + file + " 2>&1", &out), 0) << out;
  }
}

}  // namespace table_measure_test

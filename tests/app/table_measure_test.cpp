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

namespace {

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

}  // namespace

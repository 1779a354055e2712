// dbftool against independent readers and writers of the format.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/dbf/dbf_fixtures.h"
#include "tests/support/testsupport.h"

namespace dbftool_test {

using testsupport::Python;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string Tool() { return std::string(KIV7_BINARY_DIR) + "/tools/dbftool/dbftool"; }

int RunTool(const std::string& args, std::string* out) { return RunCommand(Tool() + " " + args + " 2>&1", out); }

TEST(DbfTool, MeasurementTableReadsInAnIndependentReader) {
  const std::string file = TempDir("m") + "/m.db";
  std::string out;
  ASSERT_EQ(RunTool("create-measurement " + file, &out), 0) << out;
  const std::string script =
      "import dbfread\n"
      "t = dbfread.DBF('" + file + "', load=True)\n"
      "h = t.header\n"
      "print(h.dbversion, h.language_driver, h.headerlen, h.recordlen, h.numrecords)\n"
      "print(' '.join('%s:%s:%d:%d' % (f.name, f.type, f.length, f.decimal_count) for f in t.fields))\n";
  WriteFile(file + ".py", script);
  ASSERT_EQ(RunCommand(std::string(Python()) + " " + file + ".py", &out), 0) << out;
  EXPECT_EQ(out,
            "3 201 673 408 0\n"
            "N:N:9:0 DATE:C:10:0 TIME:C:8:0 DEV_TYPE:N:4:0 SERIAL:N:9:0 NB_TYPE:N:4:0 P:N:18:9 R:N:18:9 "
            "ZAV:C:50:0 TYPE:C:15:0 COMMENT:C:100:0 H:N:18:9 T:N:18:9 K:N:18:9 A1:N:18:9 A2:N:18:9 A3:N:18:9 "
            "D1:N:18:9 D2:N:18:9 D3:N:18:9\n");
}

TEST(DbfTool, TablesOfAnIndependentWriterOpen) {
  const std::string dir = TempDir("pydbf");
  const std::string script =
      "import dbf\n"
      "t = dbf.Table('" + dir + "/d3.dbf', 'NAME C(12); AGE N(3,0); PAY N(8,2); BORN D; OK L', dbf_type='db3', "
      "codepage='cp1251')\n"
      "t.open(dbf.READ_WRITE)\n"
      "t.append(('Иван, мл.', 42, 1234.5, dbf.Date(2024, 2, 29), True))\n"
      "t.append(('Bob', -5, -0.25, None, False))\n"
      "t.close()\n"
      "t = dbf.Table('" + dir + "/fp.dbf', 'NAME C(12); AGE N(3,0); PAY N(8,2); NOTE M', dbf_type='fp', "
      "codepage='cp866')\n"
      "t.open(dbf.READ_WRITE)\n"
      "t.append(('Мария', 7, 3.75, 'memo text'))\n"
      "t.close()\n";
  WriteFile(dir + "/make.py", script);
  std::string out;
  ASSERT_EQ(RunCommand(std::string(Python()) + " " + dir + "/make.py 2>&1", &out), 0) << out;

  ASSERT_EQ(RunTool("info " + dir + "/d3.dbf", &out), 0) << out;
  EXPECT_NE(out.find("records: 2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("code page: 1251\n"), std::string::npos) << out;
  EXPECT_NE(out.find("fields: 5\nNAME C 12 0\nAGE N 3 0\nPAY N 8 2\nBORN D 8 0\nOK L 1 0\n"), std::string::npos)
      << out;
  ASSERT_EQ(RunTool("dump " + dir + "/d3.dbf", &out), 0) << out;
  EXPECT_EQ(out, "NAME,AGE,PAY,BORN,OK\n\"Иван, мл.\",42,1234.50,20240229,T\nBob,-5,-0.25,,F\n");

  ASSERT_EQ(RunTool("info " + dir + "/fp.dbf", &out), 0) << out;
  EXPECT_NE(out.find("level: 25\n"), std::string::npos) << out;
  EXPECT_NE(out.find("code page: 866\n"), std::string::npos) << out;
  ASSERT_EQ(RunTool("dump " + dir + "/fp.dbf", &out), 0) << out;
  // The memo cell shows the block number until memo files are read.
  EXPECT_EQ(out.substr(0, out.rfind(',') + 1), "NAME,AGE,PAY,NOTE\nМария,7,3.75,");
}

TEST(DbfTool, DumpShowsDeletedRecordsOnRequest) {
  const std::string file = TempDir("del") + "/t.dbf";
  WriteFile(file, dbf_fixtures::RawTable(0x03, 0xC9, {{"NAME", 'C', 6, 0}, {"Q", 'N', 3, 0}},
                                          {" \xC0\xC1\xC2    12", "*gone   -1", " a\"b      "}));
  std::string out;
  ASSERT_EQ(RunTool("dump " + file, &out), 0);
  EXPECT_EQ(out, "NAME,Q\nАБВ,12\n\"a\"\"b\",\n");
  ASSERT_EQ(RunTool("dump " + file + " --deleted", &out), 0);
  EXPECT_EQ(out, "DELETED,NAME,Q\n,АБВ,12\n*,gone,-1\n,\"a\"\"b\",\n");
}

TEST(DbfTool, CreateAndErrors) {
  const std::string dir = TempDir("create");
  std::string out;
  ASSERT_EQ(RunTool("create " + dir + "/a.dbf --level 25 --fields ID:I,NAME:C:20,PRICE:Y,WHEN:T", &out), 0) << out;
  ASSERT_EQ(RunTool("info " + dir + "/a.dbf", &out), 0);
  EXPECT_NE(out.find("version byte: 0x30\nlevel: 25\n"), std::string::npos) << out;
  EXPECT_NE(out.find("ID I 4 0\nNAME C 20 0\nPRICE Y 8 4\nWHEN T 8 0\n"), std::string::npos) << out;

  const struct {
    std::string args;
    int status;
    const char* message;
  } errors[] = {
      {"info " + dir + "/missing.dbf", 1, "Open: file not found"},
      {"create " + dir + "/b.dbf --level 4 --fields MEASURE_001:C:5,MEASURE_002:C:5", 1,
       "Duplicate field name \"MEASURE_00\"."},
      {"create " + dir + "/c.dbf --level 5 --fields A:C:5", 2, "level must be"},
      {"create " + dir + "/d.dbf --level 4 --fields A:Q:5", 2, "unknown field letter"},
      {"create " + dir + "/e.dbf --level 4 --fields A:C", 2, "needs a length"},
      {"frobnicate", 2, "unknown command"},
  };
  for (const auto& e : errors) {
    EXPECT_EQ(RunTool(e.args, &out), e.status) << e.args;
    EXPECT_NE(out.find(e.message), std::string::npos) << out;
  }
  EXPECT_FALSE(std::ifstream(dir + "/b.dbf").good()) << "a refused table leaves no file";
  WriteFile(dir + "/bad.dbf", "not a table at all, just text");
  EXPECT_EQ(RunTool("dump " + dir + "/bad.dbf", &out), 1);
  EXPECT_NE(out.find("Invalid DBF file."), std::string::npos) << out;
}

}  // namespace dbftool_test

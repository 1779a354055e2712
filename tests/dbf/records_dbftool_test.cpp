// dbftool create, append, delete, recall and pack, with tables and memos checked by
// independent readers and writers of the format.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/testsupport.h"
#include "toolkit/core/binary.h"
#include "toolkit/sys/files.h"

namespace records_dbftool_test {

using testsupport::Python;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string Tool() { return std::string(KIV7_BINARY_DIR) + "/tools/dbftool/dbftool"; }

int RunTool(const std::string& args, std::string* out) { return RunCommand(Tool() + " " + args + " 2>&1", out); }

// Runs dbftool with a file as its standard input.
int RunToolWithInput(const std::string& args, const std::string& input_file, std::string* out) {
  return RunCommand(Tool() + " " + args + " < " + input_file + " 2>&1", out);
}

int RunPython(const std::string& dir, const std::string& script, std::string* out) {
  WriteFile(dir + "/check.py", script);
  return RunCommand(std::string(Python()) + " " + dir + "/check.py 2>&1", out);
}

TEST(DbfToolRecords, ThousandMeasurementRowsThenDeleteAndPack) {
  const std::string dir = TempDir("tool");
  const std::string file = dir + "/m.db";
  std::string out;
  ASSERT_EQ(RunTool("create-measurement " + file, &out), 0) << out;
  std::string csv = "N,DATE,TIME,DEV_TYPE,SERIAL,NB_TYPE,P,R,ZAV,TYPE,COMMENT,D3\n";
  for (int i = 1; i <= 1000; ++i)
    csv += std::to_string(i) + ",01.02.2024,10:11:12," + std::to_string(i % 20) + ",123456," + std::to_string(i % 2) +
           "," + std::to_string(i) + ".125,-" + std::to_string(i) + ".5,Завод №" + std::to_string(i) +
           ",B25,\"проба, " + std::to_string(i) + "\",0.000000001\n";
  WriteFile(dir + "/rows.csv", csv);
  ASSERT_EQ(RunToolWithInput("append " + file, dir + "/rows.csv", &out), 0) << out;
  EXPECT_EQ(out, "appended: 1000\n");
  const std::string appended = ReadFile(file);
  ASSERT_EQ(appended.size(), 673u + 408u * 1000u + 1u);
  EXPECT_EQ(GetLE32(appended.data() + 4), 1000u);

  ASSERT_EQ(RunTool("delete " + file + " 1 500 1000 2", &out), 0) << out;
  ASSERT_EQ(RunTool("recall " + file + " 2", &out), 0) << out;
  ASSERT_EQ(RunTool("pack " + file, &out), 0) << out;
  const std::string packed = ReadFile(file);
  std::string expected_records;
  for (int n = 1; n <= 1000; ++n)
    if (n != 1 && n != 500 && n != 1000) expected_records += appended.substr(673 + size_t(n - 1) * 408, 408);
  ASSERT_EQ(packed.size(), 673u + expected_records.size() + 1u);
  EXPECT_EQ(packed.substr(673, expected_records.size()), expected_records);
  EXPECT_EQ(GetLE32(packed.data() + 4), 997u);
  EXPECT_EQ(packed.substr(8, 673 - 8), appended.substr(8, 673 - 8));

  // The values as an independent reader sees them.
  const std::string script =
      "import dbfread\n"
      "rows = list(dbfread.DBF('" +
      file +
      "', encoding='cp1251'))\n"
      "r = rows[0]\n"
      "print(len(rows), r['N'], r['P'], r['R'], r['ZAV'], r['COMMENT'], r['D3'], rows[-1]['N'])\n";
  ASSERT_EQ(RunPython(dir, script, &out), 0) << out;
  EXPECT_EQ(out, "997 2 2.125 -2.5 Завод №2 проба, 2 1e-09 999\n");
}

// Rows are appended as they are read: a bad header refuses the input before
// anything is written, a bad row stops the append after the rows before it,
// which stay whole, and the message tells from which row on to append again.
TEST(DbfToolRecords, ABadRowStopsTheAppendAfterTheRowsBeforeIt) {
  struct Case {
    const char* name;
    std::string csv;
    std::string message;
    std::string stored;  // the rows in the table afterwards, as dump shows them
    std::string count;   // "" when the input was refused whole
  };
  const Case cases[] = {
      {"unknown field", "NAME,AGE,WHO\nann,1,x\n", "line 1: the table has no field \"WHO\"", "", ""},
      {"field named twice", "NAME,name\nann,bob\n", "line 1: field \"name\" is named twice", "", ""},
      {"not a number", "NAME,AGE\nann,1\nbob,old\n", "line 3: field AGE takes a number: \"old\"", "ann,1\n",
       "1 of 2 rows were appended before the error; the rows from row 2 on were not"},
      {"too long for the field", "NAME,AGE\nann,1\nbartholomew,2\ncid,3\n",
       "Value does not fit field \"NAME\" of 6 characters", "ann,1\n",
       "1 of 3 rows were appended before the error; the rows from row 2 on were not"},
      {"number too wide", "NAME,AGE\nann,12345\n", "Value does not fit field \"AGE\" of 4 characters", "",
       "0 of 1 rows were appended before the error; the rows from row 1 on were not"},
      {"cells missing", "NAME,AGE\nann\n", "line 2: 1 cells for 2 fields", "",
       "0 of 1 rows were appended before the error; the rows from row 1 on were not"},
      {"quote not closed", "NAME,AGE\n\"ann,1\n", "quoted cell is not closed", "",
       "0 of 1 rows were appended before the error; the rows from row 1 on were not"},
      {"bad row among many, a quoted line break after it", "NAME,AGE\nann,1\nbob,2\ncat,x\n\"d\nn\",4\neve,5\n",
       "line 4: field AGE takes a number: \"x\"", "ann,1\nbob,2\n",
       "2 of 5 rows were appended before the error; the rows from row 3 on were not"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = TempDir("tool");
    const std::string file = dir + "/t.dbf";
    std::string out;
    ASSERT_EQ(RunTool("create " + file + " --level 4 --fields NAME:C:6,AGE:N:3", &out), 0) << out;
    const std::string before = ReadFile(file);
    WriteFile(dir + "/rows.csv", c.csv);
    EXPECT_EQ(RunToolWithInput("append " + file, dir + "/rows.csv", &out), 1) << out;
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    if (c.count.empty())
      EXPECT_EQ(out.find("were appended"), std::string::npos) << out;
    else
      EXPECT_NE(out.find(c.count), std::string::npos) << out;
    if (c.stored.empty()) {
      EXPECT_EQ(ReadFile(file), before);
    } else {
      ASSERT_EQ(RunTool("dump " + file, &out), 0) << out;
      EXPECT_EQ(out, "NAME,AGE\n" + c.stored);
    }
  }
}

TEST(DbfToolRecords, DeleteAndRecallCheckTheirRecordNumbers) {
  const std::string dir = TempDir("tool");
  const std::string file = dir + "/t.dbf";
  std::string out;
  ASSERT_EQ(RunTool("create " + file + " --level 3 --fields NAME:C:6", &out), 0) << out;
  WriteFile(dir + "/rows.csv", "NAME\nann\nbob\n");
  ASSERT_EQ(RunToolWithInput("append " + file, dir + "/rows.csv", &out), 0) << out;
  const std::string before = ReadFile(file);
  for (const char* bad : {"0", "3", "x", "1 3"}) {
    EXPECT_EQ(RunTool("delete " + file + " " + bad, &out), 2) << bad;
    EXPECT_EQ(ReadFile(file), before) << bad;
  }
  ASSERT_EQ(RunTool("delete " + file + " 2", &out), 0) << out;
  ASSERT_EQ(RunTool("dump " + file + " --deleted", &out), 0) << out;
  EXPECT_EQ(out, "DELETED,NAME\n,ann\n*,bob\n");
  ASSERT_EQ(RunTool("recall " + file + " 2", &out), 0) << out;
  ASSERT_EQ(RunTool("dump " + file, &out), 0) << out;
  EXPECT_EQ(out, "NAME\nann\nbob\n");
}

// Memo values that cross block boundaries, with line breaks, quotes and
// Cyrillic text; the last row has none. As given to append, or as dump
// shows them (numbers with the field's decimals).
std::string MemoRows(int level, bool dumped) {
  std::string csv = "NAME,NUM,NOTE\n";
  csv += std::string("short,") + (dumped ? "1.25" : "1.25") + ",\"две строки\nи \"\"кавычки\"\"\"\n";
  csv += std::string("long,") + (dumped ? "-3.00" : "-3") + "," + std::string(1200, 'x') + "y\n";
  // dBase III ends a value with two terminators: these sit on a block's end.
  csv += std::string("edge1,") + (dumped ? "0.00" : "0") + "," + std::string(level == 3 ? 510 : 600, 'e') + "\n";
  csv += std::string("edge2,") + (dumped ? "0.00" : "0") + "," + std::string(level == 3 ? 511 : 700, 'f') + "\n";
  csv += std::string("empty,") + (dumped ? "7.50" : "7.5") + ",\n";
  return csv;
}

TEST(DbfToolRecords, MemoTablesReadBackInAnIndependentReader) {
  for (int level : {3, 4, 7, 25}) {
    SCOPED_TRACE(level);
    const std::string dir = TempDir("tool");
    const std::string file = dir + "/t.dbf";
    std::string out;
    ASSERT_EQ(
        RunTool("create " + file + " --level " + std::to_string(level) + " --fields NAME:C:10,NUM:N:8:2,NOTE:M", &out),
        0)
        << out;
    WriteFile(dir + "/rows.csv", MemoRows(level, false));
    ASSERT_EQ(RunToolWithInput("append " + file, dir + "/rows.csv", &out), 0) << out;
    // The reader counts a dBase IV block header's 8 bytes into the value it
    // returns, which then ends in the block's blank padding: it is compared
    // without trailing blanks.
    const std::string want = "want = list(csv.DictReader(open('" + dir + "/rows.csv', encoding='utf-8', newline='')))\n";
    const std::string script =
        "import csv, dbfread\n" + want + "got = list(dbfread.DBF('" + file +
        "', encoding='cp1251'))\n"
        "assert len(got) == len(want), (len(got), len(want))\n"
        "for w, g in zip(want, got):\n"
        "    assert g['NAME'] == w['NAME'], (g['NAME'], w['NAME'])\n"
        "    assert g['NUM'] == float(w['NUM']), (g['NUM'], w['NUM'])\n"
        "    note = (g['NOTE'] or '').rstrip(' ')\n"
        "    assert note == w['NOTE'], (w['NAME'], len(note), len(w['NOTE']))\n"
        "print('ok')\n";
    // The reader knows no dBase 7 table (48-byte field descriptors): there
    // its memo reader is given the block numbers, taken from the records
    // (NOTE follows the deleted flag, NAME and NUM).
    const std::string memo_script =
        "import csv, struct\n"
        "from dbfread.memo import DB4MemoFile\n" +
        want + "data = open('" + file +
        "', 'rb').read()\n"
        "count, header, size = struct.unpack('<IHH', data[4:12])\n"
        "assert count == len(want), count\n"
        "memo = DB4MemoFile('" +
        dir +
        "/t.dbt')\n"
        "for i, w in enumerate(want):\n"
        "    ref = data[header + i * size + 19:header + i * size + 29].strip()\n"
        "    note = memo[int(ref)].decode('cp1251').rstrip(' ') if ref else ''\n"
        "    assert note == w['NOTE'], (w['NAME'], len(note), len(w['NOTE']))\n"
        "print('ok')\n";
    ASSERT_EQ(RunPython(dir, level == 7 ? memo_script : script, &out), 0) << out;
    EXPECT_EQ(out, "ok\n");
    // And through our own dump, unchanged.
    ASSERT_EQ(RunTool("dump " + file, &out), 0) << out;
    EXPECT_EQ(out, MemoRows(level, true));
  }
}

TEST(DbfToolRecords, MemoTablesOfAnIndependentWriterDump) {
  for (const char* type : {"db3", "fp"}) {
    SCOPED_TRACE(type);
    const std::string dir = TempDir("tool");
    const std::string script =
        "import dbf\n"
        "t = dbf.Table('" +
        dir + "/t.dbf', 'NAME C(10); NOTE M', dbf_type='" + type +
        "', codepage='cp1251')\n"
        "t.open(dbf.READ_WRITE)\n"
        "t.append(('one', 'строка\\nвторая'))\n"
        "t.append(('two', 'z' * 1500))\n"
        "t.append(('three', ''))\n"
        "t.append(('four', 'q' * 511))\n"
        "t.close()\n";
    std::string out;
    ASSERT_EQ(RunPython(dir, script, &out), 0) << out;
    ASSERT_EQ(RunTool("dump " + dir + "/t.dbf", &out), 0) << out;
    EXPECT_EQ(out, "NAME,NOTE\none,\"строка\nвторая\"\ntwo," + std::string(1500, 'z') + "\nthree,\nfour," +
                       std::string(511, 'q') + "\n");
    // Packing such a table keeps every memo.
    ASSERT_EQ(RunTool("delete " + dir + "/t.dbf 2", &out), 0) << out;
    ASSERT_EQ(RunTool("pack " + dir + "/t.dbf", &out), 0) << out;
    ASSERT_EQ(RunTool("dump " + dir + "/t.dbf", &out), 0) << out;
    EXPECT_EQ(out, "NAME,NOTE\none,\"строка\nвторая\"\nthree,\nfour," + std::string(511, 'q') + "\n");
  }
}

// Pack makes its files beside the table: a folder that takes none (here
// read-only to an ordinary user) is said to be the cause, not a full disk.
TEST(DbfToolRecords, PackInAFolderThatTakesNoNewFileSaysWhichFileAndWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "running the tool as an ordinary user takes root";
  const std::string dir = TempDir("tool");
  const std::string file = dir + "/m.db";
  std::string out;
  ASSERT_EQ(RunTool("create-measurement " + file, &out), 0) << out;
  WriteFile(dir + "/rows.csv", "N\n1\n2\n");
  ASSERT_EQ(RunToolWithInput("append " + file, dir + "/rows.csv", &out), 0) << out;
  ASSERT_EQ(RunTool("delete " + file + " 1", &out), 0) << out;
  const std::string before = ReadFile(file);
  ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
  const int status =
      RunCommand("setpriv --reuid=65534 --regid=65534 --clear-groups " + Tool() + " pack " + file + " 2>&1", &out);
  ::chmod(dir.c_str(), 0755);
  EXPECT_EQ(status, 1) << out;
  EXPECT_EQ(out, "dbftool: Cannot pack: the file \"" + file +
                     ".pack\" cannot be made beside the table: Permission denied.\n");
  EXPECT_EQ(ReadFile(file), before);
}

// A dump is the whole table or an error naming the file and the record:
// values are written whole (a NUL in a memo does not end its row), and damage
// (a record number the index names but the table lacks, a memo value a
// damaged block size misplaces) stops the dump with a message and status 1.
TEST(DbfToolRecords, DumpWritesValuesWholeAndStopsAtDamageNamingTheRecord) {
  const std::string dir = TempDir("tool");
  const std::string file = dir + "/t.dbf";
  std::string out;
  ASSERT_EQ(RunTool("create " + file + " --level 4 --fields NAME:C:10,NOTE:M", &out), 0) << out;
  WriteFile(dir + "/rows.csv", "NAME,NOTE\nccc,one-two\naaa,three\nbbb,four\n");
  ASSERT_EQ(RunToolWithInput("append " + file, dir + "/rows.csv", &out), 0) << out;
  ASSERT_EQ(RunTool("index " + file + " create byname NAME", &out), 0) << out;
  const std::string table = ReadFile(file), memo = ReadFile(dir + "/t.dbt"), mdx = ReadFile(dir + "/t.mdx");

  // A NUL inside a memo value.
  std::string nul_memo = memo;
  nul_memo[nul_memo.find("one-two") + 3] = '\0';
  WriteFile(dir + "/t.dbt", nul_memo);
  ASSERT_EQ(RunTool("dump " + file, &out), 0) << out;
  EXPECT_EQ(out, std::string("NAME,NOTE\nccc,one") + '\0' + "two\naaa,three\nbbb,four\n");
  WriteFile(dir + "/t.dbt", memo);

  // The tag's entry for "ccc" (record 1) names record 99, past the end.
  std::string bad_mdx = mdx;
  const size_t key = bad_mdx.find("ccc");
  ASSERT_NE(key, std::string::npos);
  ASSERT_EQ(GetLE32(bad_mdx.data() + key - 4), 1u);
  PutLE32(bad_mdx.data() + key - 4, 99);
  WriteFile(dir + "/t.mdx", bad_mdx);
  EXPECT_EQ(RunTool("dump " + file + " --index byname", &out), 1) << out;
  EXPECT_NE(out.find("dbftool: The index \"byname\" of \"" + file +
                     "\" names record 99, which the table does not have (it has 3 records)."),
            std::string::npos)
      << out;
  WriteFile(dir + "/t.mdx", mdx);

  // One byte of the memo file's block size: every value moves.
  std::string bad_memo = memo;
  bad_memo[20] = char(0x80);
  WriteFile(dir + "/t.dbt", bad_memo);
  EXPECT_EQ(RunTool("dump " + file, &out), 1) << out;
  EXPECT_NE(out.find("NAME,NOTE\n"), std::string::npos) << out;
  EXPECT_NE(out.find("dbftool: Record 1 of \"" + file + "\", field NOTE: The memo value at block 1 of \"" + dir +
                     "/t.dbt\" has no block header"),
            std::string::npos)
      << out;
  EXPECT_EQ(ReadFile(file), table);
}

// A disk that fills during an append (here a file size limit; its signal is
// ignored, so writes past it fail as on a full disk): the rows stored before
// the error are whole, and the message says how many they are, so that the
// rest can be appended again.
TEST(DbfToolRecords, AppendThatFailsPartWayTellsHowManyRowsItStored) {
  const struct {
    const char* what;
    const char* fields;
    int stored;  // rows that fit in 4096 bytes
  } cases[] = {
      // 65 header bytes, 101 per record.
      {"records fill the disk", "NAME:C:100", 39},
      // The memo file: a 512-byte header and two blocks a value.
      {"memo values fill the disk", "NAME:C:100,NOTE:M", 3},
  };
  constexpr int kRows = 60;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const bool memo = std::string(c.fields).find(":M") != std::string::npos;
    const std::string dir = TempDir("full");
    const std::string file = dir + "/t.dbf";
    std::string out;
    ASSERT_EQ(RunTool("create " + file + " --level 4 --fields " + c.fields, &out), 0) << out;
    std::vector<std::string> rows;
    for (int i = 1; i <= kRows; ++i) {
      std::string row = "row " + std::to_string(i) + std::string(90, 'x');
      if (memo) row += ",value " + std::to_string(i) + std::string(600, 'v');
      rows.push_back(row + "\n");
    }
    const std::string header = memo ? "NAME,NOTE\n" : "NAME\n";
    std::string all = header;
    for (const std::string& row : rows) all += row;
    WriteFile(dir + "/rows.csv", all);
    const int status = RunCommand("trap '' XFSZ; ulimit -f 8; " + Tool() + " append " + file + " < " + dir +
                                      "/rows.csv 2>&1",
                                  &out);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("Error while writing occurred"), std::string::npos) << out;
    EXPECT_NE(out.find(std::to_string(c.stored) + " of 60 rows were appended before the error; the rows from row " +
                       std::to_string(c.stored + 1) + " on were not"),
              std::string::npos)
        << out;

    // Exactly those rows are in the table, whole.
    std::string stored = header;
    for (int i = 0; i < c.stored; ++i) stored += rows[size_t(i)];
    ASSERT_EQ(RunTool("dump " + file, &out), 0) << out;
    EXPECT_EQ(out, stored);
    // Appending the rest again completes the table.
    std::string rest = header;
    for (int i = c.stored; i < kRows; ++i) rest += rows[size_t(i)];
    WriteFile(dir + "/rest.csv", rest);
    ASSERT_EQ(RunToolWithInput("append " + file, dir + "/rest.csv", &out), 0) << out;
    EXPECT_EQ(out, "appended: " + std::to_string(kRows - c.stored) + "\n");
    ASSERT_EQ(RunTool("dump " + file, &out), 0) << out;
    EXPECT_EQ(out, all);
  }
}

TEST(DbfToolRecords, CreateRefusesFieldsTheLevelCannotHold) {
  const std::string dir = TempDir("level");
  const struct {
    const char* level;
    const char* fields;
    const char* message;  // nullptr: the table is made
  } cases[] = {
      {"3", "A:C:5,N:N:5:1,L:L,D:D,M:M", nullptr},
      {"3", "A:F:8:2", "dBase III (level 3) has no fields of type F"},
      {"3", "A:I", "has no fields of type I"},
      {"3", "A:C:5,B:t", "has no fields of type T"},
      {"3", "A:B", "has no fields of type B"},
      {"3", "A:G", "has no fields of type G"},
      {"3", "A:Y", "has no fields of type Y"},
      {"3", "A:@", "has no fields of type @"},
      {"3", "A:+", "has no fields of type +"},
      {"3", "A:O", "has no fields of type O"},
      {"3", "A:0:4", "has no fields of type 0"},
      {"3", "A:C:0", "field \"A:C:0\": a character field needs a length of at least 1"},
      {"4", "A:N:3,B:c:0", "field \"B:c:0\": a character field needs a length of at least 1"},
      {"25", "A:C:0", "a character field needs a length of at least 1"},
      {"4", "A:F:8:2,I:I,T:T,B:B", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.level) + " " + c.fields);
    const std::string file = dir + "/t" + c.level + ".dbf";
    std::string out;
    const int status = RunTool("create " + file + " --level " + c.level + " --fields " + c.fields, &out);
    if (c.message == nullptr) {
      EXPECT_EQ(status, 0) << out;
      EXPECT_TRUE(FileExists(file));
    } else {
      EXPECT_EQ(status, 2);
      EXPECT_NE(out.find(c.message), std::string::npos) << out;
      EXPECT_FALSE(FileExists(file)) << "a refused table leaves no file";
    }
    DeleteFile(file);
  }
}

}  // namespace records_dbftool_test

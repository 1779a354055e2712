// grid_probe driven by keys and clicks over a measurement table of 200 rows:
// where the grid stands afterwards, and the rows the delete key removed from
// the file as python3-dbfread reads it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace interact_probe_test {

using testsupport::RunCommand;

std::string Bin(const std::string& tool) { return std::string(KIV7_BINARY_DIR) + "/tools/" + tool + "/" + tool; }

// A fresh table of rows N = 1 .. 200 (each test deletes from its own).
std::string MakeTable(const std::string& name) {
  const std::string dir = testsupport::TempDir("interact_probe");
  const std::string path = dir + "/" + name + ".db";
  std::remove(path.c_str());
  std::string out;
  EXPECT_EQ(RunCommand(Bin("dbftool") + " create-measurement " + path + " 2>&1", &out), 0) << out;
  std::ostringstream csv;
  csv << "N,DATE,TIME,P\n";
  for (int n = 1; n <= 200; ++n) csv << n << ",01.03.2024,10:00:00," << n * 1.5 << "\n";
  testsupport::WriteFile(dir + "/" + name + ".csv", csv.str());
  EXPECT_EQ(RunCommand(Bin("dbftool") + " append " + path + " < " + dir + "/" + name + ".csv 2>&1", &out), 0) << out;
  return path;
}

// The last line grid_probe prints.
std::string Probe(const std::string& table, const std::string& args) {
  std::string out;
  EXPECT_EQ(RunCommand("QT_QPA_PLATFORM=offscreen " + Bin("grid_probe") + " " + table +
                           " --columns 'N;P' --size 300x400 --search --delete " + args + " 2>/dev/null",
                       &out),
            0)
      << out;
  const size_t end = out.find_last_not_of('\n');
  const size_t start = out.rfind('\n', end);
  return out.substr(start == std::string::npos ? 0 : start + 1, end + 1 - (start == std::string::npos ? 0 : start + 1));
}

// N of the rows the file holds, as the reader finds them.
std::vector<int> RowsInFile(const std::string& table) {
  std::string out;
  EXPECT_EQ(RunCommand(std::string(testsupport::Python()) + " -c \"import dbfread\nfor r in dbfread.DBF('" + table +
                           "'): print(r['N'])\"",
                       &out),
            0)
      << out;
  std::vector<int> rows;
  std::istringstream in(out);
  for (int n = 0; in >> n;) rows.push_back(n);
  return rows;
}

std::vector<int> AllBut(int from, int to) {
  std::vector<int> rows;
  for (int n = 1; n <= 200; ++n)
    if (n < from || n > to) rows.push_back(n);
  return rows;
}

TEST(GridProbeInteraction, KeysAndTypingFindTheRows) {
  const std::string table = MakeTable("keys");
  struct Case {
    const char* actions;
    const char* current;
  };
  const Case cases[] = {
      {"key:Ctrl+End", "current row=200 field=N selected="},
      {"key:Ctrl+End;key:Ctrl+Home;key:Down;key:Down", "current row=3 field=N selected="},
      {"type:13", "current row=13 field=N selected="},
      {"type:137", "current row=137 field=N selected="},
      {"type:1379", "current row=137 field=N selected="},
      {"key:Right;type:30", "current row=20 field=P selected="},
      {"click:4:N;shift-click:6:N", "current row=6 field=N selected=4,5,6"},
      {"click:4:N;ctrl-click:8:P", "current row=8 field=P selected=4,8"},
  };
  for (const Case& c : cases) EXPECT_EQ(Probe(table, std::string("--do '") + c.actions + "'"), c.current) << c.actions;
  EXPECT_EQ(RowsInFile(table).size(), 200u);
}

TEST(GridProbeInteraction, TheDeleteKeyRemovesExactlyTheSelectedRowsOnOk) {
  const std::string table = MakeTable("delete_ok");
  EXPECT_EQ(Probe(table, "--answer ok --do 'click:3:N;shift-click:7:N;key:Ctrl+Delete'"),
            "current row=3 field=N selected=");
  EXPECT_EQ(RowsInFile(table), AllBut(3, 7));
  // One row, the current one: the last, so the new last row (N 199, the
  // 194th of the rows left) becomes current.
  EXPECT_EQ(Probe(table, "--answer ok --do 'key:Ctrl+End;key:Ctrl+Delete'"), "current row=194 field=N selected=");
  EXPECT_EQ(RowsInFile(table).back(), 199);
  EXPECT_EQ(RowsInFile(table).size(), 194u);
}

TEST(GridProbeInteraction, CancelKeepsEveryRow) {
  const std::string table = MakeTable("delete_cancel");
  EXPECT_EQ(Probe(table, "--answer cancel --do 'click:3:N;shift-click:7:N;key:Ctrl+Delete'"),
            "current row=7 field=N selected=3,4,5,6,7");
  EXPECT_EQ(RowsInFile(table), AllBut(0, 0));
}

TEST(GridProbeInteraction, BadActionsAreRefused) {
  const std::string table = MakeTable("bad");
  for (const char* action : {"key:Ctrl+Nowhere", "click:0:N", "click:3:NOPE", "jump:3"}) {
    std::string out;
    EXPECT_EQ(RunCommand("QT_QPA_PLATFORM=offscreen " + Bin("grid_probe") + " " + table + " --do '" + action +
                             "' 2>&1",
                         &out),
              1)
        << action;
    EXPECT_NE(out.find("grid_probe: "), std::string::npos) << out;
  }
}

}  // namespace interact_probe_test

// The main window's grids under keys and the mouse, through kiv7_drive: the
// rows keys and clicks select, and the column layout the settings keep after
// a border is dragged. The application's grids forbid moving columns.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace interact_test {

std::string Bin(const char* tool) { return std::string(KIV7_BINARY_DIR) + "/tools/" + tool + "/" + tool; }

struct Interaction : ::testing::Test {
  std::string dir = testsupport::TempDir("interact");
  std::string settings = dir + "/kiv7.ini";
  std::string table = dir + "/t.db";

  void SetUp() override {
    MakeTable(60, [](int n) { return n * 1.5; });
  }
  // The table anew with rows N = 1..count, P = p_of(N), R = N / 2.
  template <class F>
  void MakeTable(int count, F&& p_of) {
    std::remove(settings.c_str());
    MakeTableAt(table, count, 0, p_of);
  }
  // A table at path with rows N = 1..count of one record kind.
  template <class F>
  void MakeTableAt(const std::string& path, int count, int kind, F&& p_of) {
    std::remove(path.c_str());
    std::string out;
    ASSERT_EQ(testsupport::RunCommand(Bin("dbftool") + " create-measurement '" + path + "' 2>&1", &out), 0) << out;
    std::ostringstream csv;
    csv << "N,DATE,TIME,NB_TYPE,P,R\n";
    for (int n = 1; n <= count; ++n)
      csv << n << ",01.03.2024,10:00:00," << kind << "," << p_of(n) << "," << n * 0.5 << "\n";
    testsupport::WriteFile(dir + "/rows.csv", csv.str());
    ASSERT_EQ(testsupport::RunCommand(Bin("dbftool") + " append '" + path + "' < '" + dir + "/rows.csv' 2>&1", &out),
              0)
        << out;
  }
  // The lines kiv7_drive prints for the commands, after the table is opened.
  std::vector<std::string> Drive(const std::string& commands) { return DriveTable(table, commands); }
  std::vector<std::string> DriveTable(const std::string& path, const std::string& commands) {
    testsupport::WriteFile(dir + "/script.txt",
                           "open-file " + path + "\nmenu Открыть\n" + commands + "menu Закрыть\n");
    std::string out;
    EXPECT_EQ(testsupport::RunCommand("cd '" + dir + "' && QT_QPA_PLATFORM=offscreen '" + Bin("kiv7_drive") +
                                          "' --settings '" + settings + "' < '" + dir + "/script.txt' 2>/dev/null",
                                      &out),
              0)
        << out;
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
      if (line.rfind("message:", 0) != 0) lines.push_back(line);
    return lines;
  }
};

TEST_F(Interaction, KeysAndClicksSelectTheRowsTheyShould) {
  const std::vector<std::string> lines = Drive(
      "current\nkey Ctrl+End\ncurrent\nkey Ctrl+Home\nclick 2 N\nshift-click 5 N\ncurrent\nctrl-click 8 P\ncurrent\n"
      "ctrl-click 3 P\ncurrent\nkey Down\ncurrent\nkey Shift+Down\nkey Shift+Down\ncurrent\n");
  const std::vector<std::string> expected = {
      "row=1 field=N selected=",
      "row=60 field=N selected=",
      "row=5 field=N selected=2,3,4,5",
      "row=8 field=P selected=2,3,4,5,8",
      "row=3 field=P selected=2,4,5,8",
      "row=4 field=P selected=",
      "row=6 field=P selected=4,5,6",
  };
  EXPECT_EQ(lines, expected);
}

TEST_F(Interaction, ASizedColumnIsKeptAndColumnsDoNotMove) {
  std::vector<std::string> lines = Drive("widths\nresize DATE 150\nmove-column TIME N\nwidths\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("N=", 0), 0u) << lines[0];
  EXPECT_NE(lines[1].find("DATE=150"), std::string::npos) << lines[1];
  EXPECT_EQ(lines[1].rfind("N=", 0), 0u) << "the main window's titles cannot be dragged: " << lines[1];
  // The next start shows the stored layout.
  lines = Drive("widths\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("DATE=150"), std::string::npos) << lines[0];
  const std::string stored = testsupport::ReadFile(settings);
  EXPECT_NE(stored.find("Width = 150"), std::string::npos);
}

// Each table shows one grid; the other one, never shown in that session,
// gives the settings back the layout they gave it.
TEST_F(Interaction, ALayoutOutlivesASessionThatDoesNotShowItsGrid) {
  const std::string acoustic = dir + "/a.db";
  MakeTableAt(acoustic, 12, 1, [](int n) { return n; });
  struct Case {
    const char* name;
    std::string sized, other;
    const char* sizing;
  };
  const Case cases[] = {
      {"acoustic sized, then press", acoustic, table, "resize N 120\nresize K 40\n"},
      {"press sized, then acoustic", table, acoustic, "resize N 120\nresize P 40\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(settings.c_str());
    const std::vector<std::string> sized = DriveTable(c.sized, std::string(c.sizing) + "widths\n");
    ASSERT_EQ(sized.size(), 1u);
    EXPECT_NE(sized[0].find("N=120"), std::string::npos) << sized[0];
    EXPECT_NE(sized[0].find("=40"), std::string::npos) << sized[0];
    DriveTable(c.other, "widths\n");
    EXPECT_EQ(DriveTable(c.sized, "widths\n"), sized);
  }
}

TEST_F(Interaction, TitleClicksSortAndTheWheelScrolls) {
  // The window sorts a title's first state with the largest value first,
  // the next state the other way.
  std::vector<std::string> lines = Drive("click-title P\nrows\nclick-title P\nrows\n");
  ASSERT_EQ(lines.size(), 2u * 61u);
  EXPECT_EQ(lines[1].substr(0, 3), "60\t") << lines[1];
  EXPECT_EQ(lines[2].substr(0, 3), "59\t") << lines[2];
  EXPECT_EQ(lines[62].substr(0, 2), "1\t") << lines[62];
  EXPECT_EQ(lines[63].substr(0, 2), "2\t") << lines[63];
  lines = Drive("key Ctrl+Home\nwheel 2\ncurrent\nwheel -1\ncurrent\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0], "row=1 field=N selected=") << "the wheel moved below the window";
  const int down = std::stoi(lines[0].substr(4));
  const int up = std::stoi(lines[1].substr(4));
  EXPECT_LT(up, down);
}

// P runs through 1..60 in an order unlike N's (37 n mod 61), so a sort
// moves every record to another place.
struct Sorting : Interaction {
  void SetUp() override {
    MakeTable(60, [](int n) { return (n * 37) % 61 + 0.5; });
  }
  // The place of the record with P = p + 0.5 among the rows, largest P first (up) or last.
  static std::string RowOfP(int p, bool up) { return "row=" + std::to_string(up ? 61 - p : p) + " field=N selected="; }
};

TEST_F(Sorting, ClickingATitleTwiceKeepsTheRecordTheUserStoodOn) {
  // N 3 has P 50,5; the second row by P from the smallest is N 5 (P 2,5),
  // 56th by N from the largest.
  const std::vector<std::string> lines =
      Drive("current 3 N\ntitle P\ncurrent\ntitle P\ncurrent\ncurrent 2 N\ntitle N\ncurrent\ntitle P\ncurrent\n");
  const std::vector<std::string> expected = {RowOfP(50, true), RowOfP(50, false), "row=56 field=N selected=",
                                             RowOfP(2, true)};
  EXPECT_EQ(lines, expected);
}

TEST_F(Sorting, DeletingAfterASortDeletesTheRowStoodOn) {
  // Sorted by P from the largest, the row below N 3 (P 50,5) is N 31 (P 49,5).
  const std::vector<std::string> lines = Drive("current 3 N\ntitle P\nkey Down\nmenu Удалить строки\nrows\n");
  ASSERT_EQ(lines.size(), 60u);
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_NE(lines[i].substr(0, 3), "31\t") << i;
  int threes = 0;
  for (size_t i = 1; i < lines.size(); ++i) threes += lines[i].substr(0, 2) == "3\t";
  EXPECT_EQ(threes, 1);
}

// Five rows leave the grid's lower part empty: a right click there shows the
// grid's menu as one on a row does.
TEST_F(Interaction, ARightClickBelowTheRowsShowsTheGridsMenu) {
  MakeTable(5, [](int n) { return n; });
  const std::vector<std::string> lines = Drive("right-click 2 N\nright-click below\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0], "popup: none");
  EXPECT_NE(lines[0].find("Задать цвет"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], lines[0]);
}

}  // namespace interact_test

// The main window with tables: create from the instrument simulator, open,
// the grids' footers, sorting, deletion, renumbering, close, and the stored
// layouts. Most runs go through kiv7_drive, the main window driven by
// commands; the rest drive the window in the test.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QTest>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <functional>
#include <set>
#include <sstream>

#include "app/main.h"
#include "app/measure.h"
#include "tests/app/link_support.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

namespace table_test {

namespace {

using linktest::ScopedEnv;
using linktest::Simulator;
using testsupport::RecordingDialogs;

namespace fs = std::filesystem;

std::string Bin(const char* tool) { return std::string(KIV7_BINARY_DIR) + "/tools/" + tool + "/" + tool; }

struct Row {
  int n;
  double p, r;
};

// A new table of the measurement fields, open while fill appends its rows.
void NewTable(const std::string& path, const std::function<void(TDbf&)>& fill) {
  TDbf table(nullptr);
  table.SetFilePath(fs::path(path).parent_path().string());
  table.SetTableName(fs::path(path).filename().string());
  table.SetTableLevel(4);
  table.SetUseFloatFields(false);
  DefineMeasurementFields(table.FieldDefs());
  table.CreateTableFile();
  table.Activate();
  fill(table);
  table.Deactivate();
}

// A table of the measurement fields with rows of one kind.
void MakeTable(const std::string& path, int kind, const std::vector<Row>& rows) {
  NewTable(path, [&](TDbf& table) {
    for (const Row& row : rows) {
      table.StartAppend();
      table.FieldNamed("N")->SetIntegerValue(row.n);
      table.FieldNamed("DATE")->SetStringValue("01.02.2020");
      table.FieldNamed("NB_TYPE")->SetIntegerValue(kind);
      table.FieldNamed("P")->SetFloatValue(row.p);
      table.FieldNamed("R")->SetFloatValue(row.r);
      table.CommitRecord();
    }
  });
}

// The record count in the table file's header.
uint32_t HeaderRecordCount(const std::string& path) {
  const std::string bytes = testsupport::ReadFile(path);
  if (bytes.size() < 8) return 0;
  return uint8_t(bytes[4]) | uint8_t(bytes[5]) << 8 | uint8_t(bytes[6]) << 16 | uint32_t(uint8_t(bytes[7])) << 24;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The column of a field in the lines "rows" printed (header first).
std::vector<std::string> ColumnOf(const std::vector<std::string>& lines, size_t first, const std::string& field) {
  std::vector<std::string> out;
  auto cells = [](const std::string& line) {
    std::vector<std::string> c;
    std::string cell;
    std::istringstream in(line);
    while (std::getline(in, cell, '\t')) c.push_back(cell);
    return c;
  };
  const std::vector<std::string> head = cells(lines.at(first));
  const size_t at = std::find(head.begin(), head.end(), field) - head.begin();
  for (size_t i = first + 1; i < lines.size() && lines[i].find('=') == std::string::npos &&
                             lines[i].rfind("table=", 0) != 0;
       ++i) {
    const std::vector<std::string> c = cells(lines[i]);
    out.push_back(at < c.size() ? c[at] : "");
  }
  return out;
}

struct Tables : ::testing::Test {
  std::string dir = testsupport::TempDir("tables");
  std::string settings = dir + "/kiv7.ini";
  std::string port = dir + "/instrument";

  // Runs kiv7_drive with the script; its output.
  std::string Drive(const std::string& script) {
    testsupport::WriteFile(dir + "/script.txt", script);
    std::string out;
    const std::string command = "cd '" + dir + "' && KIV7_PORTS='COM1=" + port + "' QT_QPA_PLATFORM=offscreen '" +
                                Bin("kiv7_drive") + "' --settings '" + settings + "' < '" + dir +
                                "/script.txt' 2>/dev/null";
    EXPECT_EQ(testsupport::RunCommand(command, &out), 0) << out;
    return out;
  }
  // Rows of a table as a dBASE reader sees them: N, DATE, TIME, NB_TYPE, P, R, TYPE, COMMENT.
  std::string ReadWithDbfread(const std::string& path) {
    const std::string script =
        "import sys\nfrom dbfread import DBF\n"
        "def f(v):\n"
        "  if v is None: return ''\n"
        "  if isinstance(v, float):\n"
        "    s = '%.9f' % v\n"
        "    return s.rstrip('0').rstrip('.')\n"
        "  return str(v)\n"
        "for r in DBF(sys.argv[1], encoding='cp1251'):\n"
        "  print(','.join(f(r[k]) for k in ('N','DATE','TIME','NB_TYPE','P','R','TYPE','COMMENT')))\n";
    testsupport::WriteFile(dir + "/read.py", script);
    std::string out;
    EXPECT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " '" + dir + "/read.py' '" + path + "'", &out),
              0)
        << out;
    return out;
  }
  // What the decoder makes of a dump, in the same columns.
  std::string Decoded(const std::string& image, int subtype, int serial, int count) {
    std::string csv;
    EXPECT_EQ(testsupport::RunCommand(Bin("dump_decode") + " --subtype " + std::to_string(subtype) + " --serial " +
                                          std::to_string(serial) + " --count " + std::to_string(count) + " '" +
                                          image + "' 2>/dev/null",
                                      &csv),
              0);
    const std::string script =
        "import sys, csv\n"
        "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8')))\n"
        "head = rows[0]\n"
        "for r in rows[1:]:\n"
        "  print(','.join(r[head.index(k)] for k in ('N','DATE','TIME','NB_TYPE','P','R','TYPE','COMMENT')))\n";
    testsupport::WriteFile(dir + "/decoded.csv", csv);
    testsupport::WriteFile(dir + "/pick.py", script);
    std::string out;
    EXPECT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " '" + dir + "/pick.py' '" + dir +
                                          "/decoded.csv'",
                                      &out),
              0);
    return out;
  }
};

TEST_F(Tables, CreateWritesTheRowsTheDecoderMakesOfTheDumpAndShowsTheirTab) {
  const struct {
    const char* what;
    std::vector<std::string> sim;
    int subtype, count;
    const char* tab;
  } cases[] = {
      // A press instrument's records decode as press rows, not acoustic ones.
      {"press", {"--press", "4", "--subtype", "3"}, 3, 4, "press"},
      {"acoustic", {"--acoustic", "3", "--subtype", "20"}, 20, 3, "acoustic"},
      // A real instrument's extras: other characters where the identification
      // carries no field, memory beyond the announced records, a character
      // left over before the end marker (3 * 32 + 2 * 16 bytes: the 'P' at 257
      // without the surplus, at 337 with it).
      {"press-extras", {"--press", "4", "--subtype", "3", "--ident-unread", "x@ ~", "--surplus", "50"}, 3, 4, "press"},
      {"acoustic-extras",
       {"--acoustic", "3", "--bending", "2", "--subtype", "20", "--ident-unread", "#/", "--surplus", "40", "--extra",
        "337"},
       20,
       3,
       "acoustic"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string image = dir + "/" + c.what + ".bin";
    const std::string table = dir + "/" + c.what + ".db";
    std::vector<std::string> args = c.sim;
    args.insert(args.end(), {"--serial", "77", "--dump-out", image});
    Simulator sim(port, args);
    ASSERT_TRUE(sim.Ready());
    const std::string out = Drive("save-as " + table + "\nmenu Создать\nstate\nmenu Закрыть\n");
    EXPECT_NE(out.find("table=" + table + " tab=" + c.tab + " "), std::string::npos) << out;
    EXPECT_NE(out.find("background=clBtnFace"), std::string::npos) << out;
    const std::string rows = ReadWithDbfread(table);
    EXPECT_EQ(rows, Decoded(image, c.subtype, 77, c.count));
    EXPECT_EQ(Lines(rows).size(), size_t(c.count));
    EXPECT_FALSE(fs::exists(dir + "/" + c.what + ".mdx"));
  }
}

TEST_F(Tables, CreateAsksBeforeReplacingAFileAndACancelledTransferLeavesNoTable) {
  const std::string table = dir + "/old.db";
  testsupport::WriteFile(table, "keep me");
  // No instrument: the save dialog asks first; "no" ends the command.
  const std::string out = Drive("answer no\nsave-as " + table + "\nmenu Создать\nstate\n");
  EXPECT_NE(out.find("message: Сохранить как: old.db уже существует. Заменить его?"), std::string::npos) << out;
  EXPECT_NE(out.find("table=none"), std::string::npos) << out;
  EXPECT_EQ(testsupport::ReadFile(table), "keep me");
}

TEST_F(Tables, OpeningATextFileShowsTheDatabaseIsDamagedAndLeavesNoTable) {
  testsupport::WriteFile(dir + "/text.db", "this is not a table\n");
  const std::string out =
      Drive("open-file " + dir + "/text.db\nmenu Открыть\nstate\nmenu Сохранить\nmenu Закрыть\n");
  EXPECT_NE(out.find("message: Ошибка: База данных повреждена !"), std::string::npos) << out;
  EXPECT_NE(out.find("table=none tab=none caption=ЛИВТ - КС7 background=clBtnShadow modified=0"), std::string::npos)
      << out;
  EXPECT_NE(out.find("disabled: Сохранить"), std::string::npos) << out;
  EXPECT_NE(out.find("disabled: Закрыть"), std::string::npos) << out;
}

TEST_F(Tables, PressTableFootersSortCycleRenumberAndClose) {
  const std::string table = dir + "/press.db";
  MakeTable(table, kPressKind, {{1, 20, 2}, {2, 10, 1}, {3, 40, 3}});
  const std::string out = Drive("open-file " + table +
                                "\nmenu Открыть\nstate\nfooters\ntab acoustic\nstate\n"
                                "title P\nrows\nstate\ntitle P\nrows\nstate\ntitle P\nrows\nstate\n"
                                "menu Убрать сортировку\nrows\nstate\n"
                                "title P\nmenu Перенумеровать строки\nrows\nstate\nmenu Закрыть\nstate\n");
  const std::vector<std::string> lines = Lines(out);
  // Only the press tab; the caption names the table.
  EXPECT_NE(out.find("table=" + table + " tab=press caption=ЛИВТ - КС7 - press background=clBtnFace modified=0"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("tab=acoustic"), std::string::npos) << out;
  // Means halved up to one decimal, the decimal comma, the row count.
  EXPECT_NE(out.find("N=3\tP=10/23,3/40\tR=1/2/3"), std::string::npos) << out;
  // Up: largest first; down: smallest first; a click goes from down to up
  // again; with the sort removed, the physical order.
  std::vector<size_t> heads;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind("N\tDATE", 0) == 0) heads.push_back(i);
  ASSERT_EQ(heads.size(), 5u) << out;
  using V = std::vector<std::string>;
  EXPECT_EQ(ColumnOf(lines, heads[0], "P"), (V{"40", "20", "10"}));
  EXPECT_EQ(ColumnOf(lines, heads[1], "P"), (V{"10", "20", "40"}));
  EXPECT_EQ(ColumnOf(lines, heads[2], "P"), (V{"40", "20", "10"}));
  EXPECT_EQ(ColumnOf(lines, heads[3], "P"), (V{"20", "10", "40"}));
  // Renumbered in the order of P, largest first, with the view staying so.
  EXPECT_EQ(ColumnOf(lines, heads[4], "P"), (V{"40", "20", "10"}));
  EXPECT_EQ(ColumnOf(lines, heads[4], "N"), (V{"1", "2", "3"}));
  EXPECT_NE(out.find("table=none tab=none caption=ЛИВТ - КС7 background=clBtnShadow"), std::string::npos) << out;
  // In the file: P 20 is number 2, P 10 number 3, P 40 number 1; no index left.
  EXPECT_EQ(ReadWithDbfread(table),
            "2,01.02.2020,,0,20,2,,\n3,01.02.2020,,0,10,1,,\n1,01.02.2020,,0,40,3,,\n");
  EXPECT_FALSE(fs::exists(dir + "/press.mdx"));
}

TEST_F(Tables, RenumberingAViewSortedByNumberNumbersTheRowsAsTheyWereShown) {
  const std::string table = dir + "/press.db";
  MakeTable(table, kPressKind, {{3, 30, 1}, {1, 10, 1}, {2, 20, 1}});
  // Sorted by N, largest first: P 30, 20, 10 become 1, 2, 3.
  Drive("open-file " + table + "\nmenu Открыть\ntitle N\nmenu Перенумеровать строки\nmenu Закрыть\n");
  EXPECT_EQ(ReadWithDbfread(table),
            "1,01.02.2020,,0,30,1,,\n3,01.02.2020,,0,10,1,,\n2,01.02.2020,,0,20,1,,\n");
}

TEST_F(Tables, AddingFromAPressInstrumentAppendsItsPressRowsAndSaves) {
  const std::vector<std::string> extras[] = {
      {},
      // A real instrument's extras beside what is read.
      {"--ident-unread", "x@ ~", "--surplus", "30"},
  };
  for (const auto& extra : extras) {
    SCOPED_TRACE(extra.size());
    const std::string table = dir + "/press" + std::to_string(extra.size()) + ".db";
    MakeTable(table, kPressKind, {});
    const std::string image = dir + "/image.bin";
    std::vector<std::string> args = {"--press", "3", "--subtype", "3", "--serial", "5", "--dump-out", image};
    args.insert(args.end(), extra.begin(), extra.end());
    Simulator sim(port, args);
    ASSERT_TRUE(sim.Ready());
    const std::string out = Drive("open-file " + table + "\nmenu Открыть\nmenu Дополнить\nstate\nmenu Закрыть\n");
    EXPECT_NE(out.find("table=" + table + " tab=press"), std::string::npos) << out;
    EXPECT_NE(out.find("message: Дополнение: Добавлено записей: 3"), std::string::npos) << out;
    EXPECT_EQ(ReadWithDbfread(table), Decoded(image, 3, 5, 3));
    EXPECT_EQ(Lines(ReadWithDbfread(table)).size(), 3u);
  }
}

TEST_F(Tables, ADamagedTransferWritesNothingToTheTable) {
  const std::string kept = dir + "/kept.db";
  MakeTable(kept, kPressKind, {{1, 10, 1}, {2, 20, 2}});
  const std::string before = testsupport::ReadFile(kept);
  // 4 press records put the 'P' at offset 177; 8 bytes more at 193.
  const std::vector<std::string> faults[] = {
      {"--lose", "41"}, {"--garble", "41"}, {"--surplus", "8", "--garble", "180"}};
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.back());
    std::vector<std::string> args = {"--press", "4", "--subtype", "3"};
    args.insert(args.end(), fault.begin(), fault.end());
    Simulator sim(port, args);
    ASSERT_TRUE(sim.Ready());
    const std::string created = dir + "/created.db";
    std::string out = Drive("save-as " + created + "\nmenu Создать\nstate\n");
    EXPECT_NE(out.find("message: : Ошибка приема данных!"), std::string::npos) << out;
    EXPECT_NE(out.find("table=none"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(created));
    out = Drive("open-file " + kept + "\nmenu Открыть\nmenu Дополнить\nstate\nmenu Закрыть\n");
    EXPECT_NE(out.find("message: : Ошибка приема данных!"), std::string::npos) << out;
    EXPECT_NE(out.find("table=" + kept + " tab=press"), std::string::npos) << out;
    EXPECT_EQ(testsupport::ReadFile(kept), before);
  }
}

TEST_F(Tables, ColoursAndEqualWidthsGoIntoTheStoredLayout) {
  const std::string table = dir + "/press.db";
  MakeTable(table, kPressKind, {{1, 10, 1}});
  Drive("open-file " + table +
        "\nmenu Открыть\ncurrent 1 R\ncolor FF0000\nmenu Задать цвет\nmenu Выровнять столбцы\nclose-window\n");
  std::string stored = testsupport::ReadFile(settings);
  const size_t t1 = stored.find("Table_1=");
  ASSERT_NE(t1, std::string::npos) << stored;
  const std::string layout = stored.substr(t1, stored.find('\n', t1) - t1);
  EXPECT_NE(layout.find("FieldName = 'R'\\r\\n      Width = "), std::string::npos) << layout;
  EXPECT_NE(layout.find("Color = clRed"), std::string::npos) << layout;
  // Equal widths; the grid then fits the visible columns to its width,
  // so they differ by a rounding pixel at most.
  std::vector<int> widths;
  for (size_t at = layout.find("Width = "); at != std::string::npos; at = layout.find("Width = ", at + 1))
    widths.push_back(std::atoi(layout.c_str() + at + 8));
  ASSERT_EQ(widths.size(), 12u) << layout;
  for (int i : {0, 1, 2, 4, 5, 6, 7, 9, 10, 11}) EXPECT_LE(std::abs(widths[i] - widths[0]), 1) << layout;
  EXPECT_NE(stored.find("Default_dir=" + dir), std::string::npos) << stored;
  // "Убрать все цвета" takes the colour away again.
  Drive("open-file " + table + "\nmenu Открыть\nmenu Убрать все цвета\nclose-window\n");
  EXPECT_EQ(testsupport::ReadFile(settings).find("Color = "), std::string::npos);
}

TEST_F(Tables, DeletingTwoSelectedRowsPacksThemAwayAndTheSelectionShowsInTheFooters) {
  const std::string table = dir + "/press.db";
  MakeTable(table, kPressKind, {{1, 10, 1}, {2, 20, 2}, {3, 40, 3}, {4, 0.1, 0.2}});
  ASSERT_EQ(HeaderRecordCount(table), 4u);
  const std::string out = Drive("open-file " + table +
                                "\nmenu Открыть\ntitle P\nselect 1 2\nfooters\nmenu Удалить строки\nfooters\n"
                                "rows\nmenu Закрыть\n");
  // The two largest, sorted down from the top, selected.
  EXPECT_NE(out.find("N=4\tP=20/30/40\tR=2/2,5/3"), std::string::npos) << out;
  // After the deletion: no sort, statistics of what is left.
  EXPECT_NE(out.find("N=2\tP=0,1/5,1/10\tR=0,2/0,6/1"), std::string::npos) << out;
  EXPECT_EQ(HeaderRecordCount(table), 2u);
  EXPECT_FALSE(fs::exists(dir + "/press.mdx"));
}

TEST_F(Tables, AnAcousticTableShowsOnlyTheAcousticTabAndAPressOneAfterItThePressTab) {
  const std::string acoustic = dir + "/ac.db", press = dir + "/pr.db";
  MakeTable(acoustic, kAcousticKind, {{1, 5, 7}});
  MakeTable(press, kPressKind, {{1, 5, 7}});
  const std::string out = Drive("open-file " + acoustic + "\nmenu Открыть\nstate\nfooters\nopen-file " + press +
                                "\nmenu Открыть\nstate\nfooters\ntab acoustic\nstate\npng " + dir + "/window.png\n");
  EXPECT_NE(out.find("table=" + acoustic + " tab=acoustic"), std::string::npos) << out;
  // One row: its own values are minimum, mean and maximum.
  EXPECT_NE(out.find("N=1\tR=7/7/7\tP=5/5/5"), std::string::npos) << out;
  const size_t second = out.find("table=" + press + " tab=press");
  ASSERT_NE(second, std::string::npos) << out;
  EXPECT_EQ(out.find("tab=acoustic", second), std::string::npos) << out;
  // The statistics of the press rows, not of the acoustic filter before.
  EXPECT_NE(out.find("N=1\tP=5/5/5\tR=7/7/7", second), std::string::npos) << out;
  EXPECT_EQ(testsupport::ReadFile(dir + "/window.png").substr(0, 4), "\x89PNG");
}

TEST(FooterText, MeansHalveUpToOneDecimalAndNumbersKeepFifteenDigits) {
  const struct {
    double min, sum, max;
    int n;
    const char* text;
  } cases[] = {
      {10, 70, 40, 3, "10/23,3/40"},
      {0.1, 0.1 + 0.2, 0.2, 1, "0,1/0,3/0,2"},  // no 0,30000000000000004
      {1, 4.7, 3, 2, "1/2,4/3"},                 // 2.35 halves up
      {-1, -0.1, 1, 2, "-1/0/1"},                // -0.05 halves up to 0
      {1e-7, 3e-7, 2e-7, 2, "1E-7/0/2E-7"},
  };
  for (const auto& c : cases) EXPECT_EQ(AnsiToUtf8(StatsText(c.min, RoundMean(c.sum / c.n), c.max)), c.text) << c.text;
}

// The window in the test: what the drive cannot do without in-place editing.
struct TablesInProcess : Tables {
  ScopedEnv env{"KIV7_SETTINGS", settings.c_str()};
  RecordingDialogs dialogs;
  std::unique_ptr<TForm1> Start() {
    auto form = std::make_unique<TForm1>(nullptr);
    form->AfterConstruction();
    return form;
  }
  std::string Stored(const char* name) {
    TRegistry registry(settings);
    if (!registry.OpenKey(kAppRegistryKey, false) || !registry.ValueExists(name)) return "<none>";
    return AnsiToUtf8(registry.ReadString(name));
  }
};

TEST_F(TablesInProcess, ClosingAfterAnEditAsksToSaveAndWithoutOneDoesNot) {
  const std::string table = dir + "/press.db";
  MakeTable(table, kPressKind, {{1, 10, 1}});
  auto form = Start();
  form->Open_DB(table);
  ASSERT_TRUE(form->TableOpen);
  form->Close_DB();
  EXPECT_TRUE(dialogs.boxes.empty());
  form->Open_DB(table);
  form->DBGridPro1->OnInitEdit(form->DBGridPro1);
  EXPECT_TRUE(form->TableModified);
  dialogs.box_answer = IDNO;
  form->Close_DB();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(AnsiToUtf8(dialogs.boxes[0].text), "Сохранить изменения в таблицах ?");
  EXPECT_EQ(AnsiToUtf8(dialogs.boxes[0].caption), "ЛИВТ - КС7");
  EXPECT_EQ(dialogs.boxes[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
  EXPECT_FALSE(form->TableOpen);
}

TEST_F(TablesInProcess, TheStatisticsWalkKeepsTheGridsFromPaintingEachStep) {
  const std::string table = dir + "/press.db";
  std::vector<Row> rows;
  for (int i = 1; i <= 200; ++i) rows.push_back({i, double(i), 1});
  MakeTable(table, kPressKind, rows);
  auto form = Start();
  form->SetWindowState(wsNormal);
  form->SetBounds(0, 0, 600, 300);
  form->Show();
  form->Open_DB(table);
  QApplication::processEvents();
  int prepared = 0;
  form->DBGridPro1->OnGetRowAttrs = [&](TComponent*, TgpRowAttrs*) { ++prepared; };
  form->find_mma();
  QApplication::processEvents();
  // At most one paint of the visible rows after the walk, not one per row.
  EXPECT_LT(prepared, 60);
  EXPECT_EQ(form->TableStats.Pmax, 200);
  form->DBGridPro1->OnGetRowAttrs = nullptr;
  form->Close_DB();
}

TEST_F(TablesInProcess, RemovingTheSortLeavesNoTagAndNoMark) {
  const std::string table = dir + "/press.db";
  MakeTable(table, kPressKind, {{1, 10, 1}, {2, 20, 2}});
  auto form = Start();
  form->Open_DB(table);
  TgpColumn* p = form->DBGridPro1->Columns()->ColumnByFieldName("P");
  p->ChangeTitleState(tsSortedUp, true, true);
  EXPECT_TRUE(fs::exists(dir + "/press.mdx"));
  EXPECT_EQ(form->Dbf1->IndexName(), "tab1");
  form->N33Click(form->N33);
  EXPECT_EQ(p->TitleState(), tsSortedNone);
  EXPECT_EQ(form->Dbf1->IndexName(), "");
  EXPECT_FALSE(fs::exists(dir + "/press.mdx"));
  form->Close_DB();
}

// A title clicked with the mouse on a table of many rows: the record the user
// stood on stays current and on a row the grid shows, whichever way it sorts.
TEST_F(TablesInProcess, ATitleClickKeepsTheCurrentRecordInView) {
  const std::string table = dir + "/press.db";
  constexpr int kCount = 3000;
  std::vector<Row> rows;
  // P runs through 1..3000 in an order unlike N's (3001 is prime).
  for (int n = 1; n <= kCount; ++n) rows.push_back({n, double((n * 1237) % 3001), 1});
  MakeTable(table, kPressKind, rows);
  auto form = Start();
  form->SetWindowState(wsNormal);
  form->SetBounds(0, 0, 800, 400);
  form->Show();
  form->Open_DB(table);
  QApplication::processEvents();
  TDBGridPro& grid = *form->DBGridPro1;
  QWidget* widget = grid.Widget();
  const TRect title = grid.Columns()->ColumnByFieldName("P")->TitleRect(false);
  const QPoint on_title((title.Left + title.Right) / 2, (title.Top + title.Bottom) / 2);
  for (const int n : {2, 1500, kCount - 1}) {
    SCOPED_TRACE(n);
    ASSERT_TRUE(form->Dbf1->FindByValues("N", Variant(n), TFindOptions()));
    for (int click = 0; click < 3; ++click) {
      QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, on_title);
      QApplication::processEvents();
      EXPECT_EQ(form->Dbf1->FieldNamed("N")->GetIntegerValue(), n) << click;
      EXPECT_GE(grid.CurrentRow(), 0) << click;
      EXPECT_LT(grid.CurrentRow(), grid.RowCount()) << click;
      EXPECT_EQ(grid.CurrentRow(), grid.ActiveRow()) << click;
    }
  }
  form->Close_DB();
}

TEST_F(TablesInProcess, ClosingKeepsAnIndexFileTheProgramDidNotMake) {
  // An index file of the table's name with a tag of its own survives the
  // close; only the program's sort tags go.
  const std::string table = dir + "/press.db";
  MakeTable(table, kPressKind, {{1, 10, 1}, {2, 20, 2}});
  {
    TDbf t(nullptr);
    t.SetFilePath(dir);
    t.SetTableName("press.db");
    t.SetExclusive(true);
    t.Activate();
    t.CreateIndexTag("OWN", "N", {});
    t.Deactivate();
  }
  ASSERT_TRUE(fs::exists(dir + "/press.mdx"));
  auto form = Start();
  form->Open_DB(table);
  form->DBGridPro1->Columns()->ColumnByFieldName("P")->ChangeTitleState(tsSortedUp, true, true);
  form->Close_DB();
  EXPECT_TRUE(fs::exists(dir + "/press.mdx"));
  TDbf t(nullptr);
  t.SetFilePath(dir);
  t.SetTableName("press.db");
  t.Activate();
  t.SetIndexName("OWN");
  EXPECT_EQ(t.IndexName(), "OWN");
  t.SetIndexName("tab1");
  EXPECT_EQ(t.IndexName(), "");
}

TEST_F(TablesInProcess, LayoutsAndDefaultDirAreStoredAndUsedAtTheNextStart) {
  const std::string table = dir + "/press.db";
  MakeTable(table, kPressKind, {{1, 10, 1}});
  {
    auto form = Start();
    form->Open_DB(table);
    // Without stored layouts both grids get equal widths and are stored.
    EXPECT_NE(Stored("Table_1"), "<none>");
    EXPECT_NE(Stored("Table_2"), "<none>");
    TgpColumn* p = form->DBGridPro1->Columns()->ColumnByFieldName("P");
    p->SetColor(clYellow);
    p->ChangeTitleState(tsSortedUp, true, true);
    form->DefaultDir = dir;
    TCloseAction action = caHide;
    form->FormClose(form.get(), action);
  }
  EXPECT_EQ(Stored("Default_dir"), dir);
  EXPECT_NE(Stored("Table_1").find("clYellow"), std::string::npos) << Stored("Table_1");
  auto form = Start();
  EXPECT_EQ(form->OpenDialog1->InitialDir(), dir);
  form->Open_DB(table);
  TgpColumn* p = form->DBGridPro1->Columns()->ColumnByFieldName("P");
  EXPECT_EQ(p->Color(), clYellow);
  // No sort mark over rows that are not sorted.
  EXPECT_EQ(p->TitleState(), tsSortedNone);
  form->Close_DB();
}

TEST_F(TablesInProcess, AStoredLayoutThatCannotBeReadGivesTheDesignOneAndIsWrittenAnew) {
  const std::string table = dir + "/press.db";
  MakeTable(table, kPressKind, {{1, 10, 1}});
  {
    TRegistry registry(settings);
    registry.OpenKey(kAppRegistryKey, true);
    registry.WriteString("Table_2", "object TUniDataStorage\r\n  Data = <\r\n    item\r\n      Width = ");
  }
  auto form = Start();
  form->Open_DB(table);
  EXPECT_TRUE(form->TableOpen);
  TgpColumns& columns = *form->DBGridPro2->Columns();
  ASSERT_EQ(columns.Count(), 17);
  EXPECT_EQ(AnsiToUtf8(columns.Items(3)->FieldName()), "R");
  // Equal widths, and a layout that reads.
  EXPECT_EQ(columns.Items(0)->Width(), columns.Items(16)->Width());
  EXPECT_NE(Stored("Table_2").find("FieldName = 'COMMENT'"), std::string::npos) << Stored("Table_2");
  form->Close_DB();
}

}  // namespace

namespace {

// A press table whose rows carry these DATE and TIME texts, numbered from 1.
void MakeDatedTable(const std::string& path, const std::vector<std::pair<std::string, std::string>>& stamps) {
  NewTable(path, [&](TDbf& table) {
    int n = 0;
    for (const auto& [date, time] : stamps) {
      table.StartAppend();
      table.FieldNamed("N")->SetIntegerValue(++n);
      table.FieldNamed("DATE")->SetStringValue(Utf8ToAnsi(date));
      table.FieldNamed("TIME")->SetStringValue(time);
      table.FieldNamed("NB_TYPE")->SetIntegerValue(kPressKind);
      table.CommitRecord();
    }
  });
}

// A press instrument's memory of records stamped with these dates at
// 10:00:00 (year, month, day), as the simulator's --records takes it.
std::string PressImage(const std::vector<std::array<int, 3>>& days) {
  std::string image(22 * days.size(), '\0');
  for (size_t k = 0; k < days.size(); ++k) {
    char* record = image.data() + 22 * k;
    record[2] = char(days[k][0] - 1980);
    record[3] = char(days[k][1]);
    record[4] = char(days[k][2]);
    record[5] = 10;
    record[14] = char(100 + k);  // P
  }
  return image;
}

}  // namespace

// "Дополнить" compares the instrument's records with the table's last row by
// the day, month, year and time as numbers, whether or not the calendar has
// that day: the instrument's clock writes days such as 31.02, and the user
// may edit DATE. Only a date without those numbers stops the add, said in
// Russian with the row and its text, and nothing is added then.
TEST_F(Tables, AddingComparesStampsByTheirNumbersAndSaysWhichRowHasNone) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> rows;
    std::vector<std::array<int, 3>> records;  // empty: five simulated records of 12.05.2006 10:00:00 on
    int added;                                // -1: refused
  } cases[] = {
      {"a day February lacks in the last row", {{"01.01.2006", "09:00:00"}, {"31.02.2006", "10:28:52"}}, {}, 5},
      {"the last row among the records", {{"12.05.2006", "10:14:26"}}, {}, 2},
      {"a record on a day February lacks",
       {{"28.02.2006", "10:00:00"}},
       {{2006, 2, 27}, {2006, 2, 28}, {2006, 2, 31}, {2006, 3, 1}},
       2},
      {"a last row without date numbers", {{"01.01.2006", "09:00:00"}, {"вчера", "10:00:00"}}, {}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string table = dir + "/dated.db";
    fs::remove(table);
    MakeDatedTable(table, c.rows);
    std::vector<std::string> args = {"--subtype", "3", "--press", "5"};
    if (!c.records.empty()) {
      testsupport::WriteFile(dir + "/memory.bin", PressImage(c.records));
      args = {"--subtype", "3", "--records", dir + "/memory.bin", "--count", std::to_string(c.records.size())};
    }
    Simulator sim(port, args);
    ASSERT_TRUE(sim.Ready());
    const std::string before = ReadWithDbfread(table);
    const std::string out = Drive("open-file " + table + "\nmenu Открыть\nmenu Дополнить\nstate\nmenu Закрыть\n");
    EXPECT_EQ(out.find("is not a valid"), std::string::npos) << out;
    // The table stays open and shown whatever the add did.
    EXPECT_NE(out.find("table=" + table + " tab=press"), std::string::npos) << out;
    if (c.added < 0) {
      EXPECT_NE(out.find("message: Ошибка: Не удалось дополнить таблицу " + table +
                         ".\nПричина: Записи не добавлены: в строке N 2 дата и время \"вчера 10:00:00\" не "
                         "содержат чисел дня, месяца и года, с которыми сравниваются новые записи.\n"),
                std::string::npos)
          << out;
      EXPECT_EQ(out.find("Добавлено записей"), std::string::npos) << out;
      EXPECT_EQ(ReadWithDbfread(table), before);
    } else {
      EXPECT_NE(out.find("message: Дополнение: Добавлено записей: " + std::to_string(c.added) + "\n"),
                std::string::npos)
          << out;
      EXPECT_EQ(Lines(ReadWithDbfread(table)).size(), c.rows.size() + size_t(c.added));
    }
  }
}

// A table whose header does not fit its file is refused as damaged and left
// byte for byte as it was; a file cut in the middle of a record is no such
// table: it opens with its whole records and its count set to them.
TEST_F(Tables, AHeaderThatDoesNotFitTheFileIsRefusedAndLeftAsItWas) {
  const std::string clean = dir + "/clean.db";
  MakeTable(clean, kPressKind, {{1, 10, 1}, {2, 20, 2}, {3, 40, 3}});
  const std::string good = testsupport::ReadFile(clean);
  auto with16 = [&](size_t at, unsigned value) {
    std::string bytes = good;
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
    return bytes;
  };
  const struct {
    const char* what;
    std::string bytes;
  } damaged[] = {
      {"header size beyond the file", with16(8, 65535)},
      {"header size short of the descriptors", with16(8, 100)},
      {"record size beyond the fields", with16(10, 500)},
      {"record size short of the fields", with16(10, 200)},
  };
  for (const auto& d : damaged) {
    SCOPED_TRACE(d.what);
    const std::string table = dir + "/damaged.db";
    testsupport::WriteFile(table, d.bytes);
    const std::string out = Drive("open-file " + table + "\nmenu Открыть\nstate\nclose-window\n");
    EXPECT_NE(out.find("message: Ошибка: База данных повреждена !\ntable=none"), std::string::npos) << out;
    EXPECT_EQ(testsupport::ReadFile(table), d.bytes);
  }
  // Cut in the third record: two rows, and the header says two.
  const std::string cut = dir + "/cut.db";
  testsupport::WriteFile(cut, good.substr(0, good.size() - 100));
  const std::string out = Drive("open-file " + cut + "\nmenu Открыть\nfooters\nclose-window\n");
  EXPECT_EQ(out.find("message:"), std::string::npos) << out;
  EXPECT_NE(out.find("N=2\tP=10/15/20"), std::string::npos) << out;
  EXPECT_EQ(HeaderRecordCount(cut), 2u);
}

namespace {
// The dbftool field list of the measurement row, with one field's entry
// replaced (an empty replacement drops the field).
std::string FieldList(const std::map<std::string, std::string>& replaced) {
  std::string list;
  for (const TMeasurementField& f : TMeasurementRow::Fields) {
    const std::string name(f.Name);
    std::string entry = name + ":" + f.NativeType + ":" + std::to_string(f.Width) +
                        (f.NativeType == 'N' ? ":" + std::to_string(f.Decimals) : "");
    if (const auto it = replaced.find(name); it != replaced.end()) entry = it->second;
    if (entry.empty()) continue;
    list += (list.empty() ? "" : ",") + entry;
  }
  return list;
}
}  // namespace

// A table file that lacks a field of the measurement row, or holds one of
// another type, cannot bind the window's field objects: the open is refused
// naming the file and the field, the file stays byte for byte as it was, and
// the next good table opens with its rows and statistics.
TEST_F(Tables, ATableLackingAMeasurementFieldIsRefusedNamingTheField) {
  const std::string good = dir + "/good.db";
  MakeTable(good, kPressKind, {{1, 10, 1}, {2, 20, 2}, {3, 40, 3}});
  const struct {
    const char* what;
    std::map<std::string, std::string> replaced;
    const char* reason;
  } cases[] = {
      {"P missing", {{"P", ""}}, "в таблице нет поля P"},
      {"R and D3 missing", {{"R", ""}, {"D3", ""}}, "в таблице нет полей R, D3"},
      {"N as text", {{"N", "N:C:9"}}, "в таблице другого типа поле N"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string table = dir + "/lacking.db";
    fs::remove(table);
    std::string out;
    ASSERT_EQ(testsupport::RunCommand(Bin("dbftool") + " create '" + table + "' --level 4 --fields '" +
                                          FieldList(c.replaced) + "' 2>&1",
                                      &out),
              0)
        << out;
    testsupport::WriteFile(dir + "/rows.csv", "N,DATE,NB_TYPE\n1,01.02.2020,0\n");
    ASSERT_EQ(testsupport::RunCommand(Bin("dbftool") + " append '" + table + "' < '" + dir + "/rows.csv' 2>&1", &out),
              0)
        << out;
    const std::string before = testsupport::ReadFile(table);
    out = Drive("open-file " + table + "\nmenu Открыть\nstate\nmenu Сохранить\nopen-file " + good +
                "\nmenu Открыть\nstate\nfooters\nclose-window\n");
    EXPECT_NE(out.find("message: Ошибка: Не удалось открыть файл " + table + ": " + c.reason + ".\ntable=none "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("disabled: Сохранить"), std::string::npos) << out;
    EXPECT_EQ(out.find("повреждена"), std::string::npos) << out;
    EXPECT_EQ(testsupport::ReadFile(table), before);
    EXPECT_NE(out.find("table=" + good + " tab=press"), std::string::npos) << out;
    EXPECT_NE(out.find("N=3\tP=10/23,3/40\tR=1/2/3"), std::string::npos) << out;
  }
}

// The window's own field objects, one per field of the measurement row and
// named Dbf1 and the field's name, are the ones the open table, the grids'
// columns and the statistics read, table after table.
TEST_F(TablesInProcess, TheWindowsFieldObjectsAreBoundToEveryTableItOpens) {
  const std::string press = dir + "/press.db", acoustic = dir + "/acoustic.db";
  MakeTable(press, kPressKind, {{1, 10, 1}, {2, 30, 5}});
  MakeTable(acoustic, kAcousticKind, {{1, 7, 2}});
  auto form = Start();
  std::vector<TField*> objects;
  for (const TMeasurementField& f : TMeasurementRow::Fields) {
    auto* field = dynamic_cast<TField*>(form->FindComponent(AnsiString(f.PersistentName)));
    ASSERT_NE(field, nullptr) << f.PersistentName;
    EXPECT_EQ(field->FieldName(), AnsiString(f.Name));
    EXPECT_EQ(field->DataType(), f.FieldType) << f.Name;
    EXPECT_EQ(field->DataSet(), form->Dbf1);
    objects.push_back(field);
  }
  EXPECT_EQ(objects[6], form->Dbf1P);
  EXPECT_EQ(objects[7], form->Dbf1R);
  for (const std::string& table : {press, acoustic, press}) {
    SCOPED_TRACE(table);
    form->Open_DB(table);
    ASSERT_TRUE(form->TableOpen);
    ASSERT_EQ(form->Dbf1->QueryFieldCount(), 20);
    for (size_t i = 0; i < objects.size(); ++i) EXPECT_EQ(form->Dbf1->FieldNamed(objects[i]->FieldName()), objects[i]);
    for (TDBGridPro* grid : {form->DBGridPro1, form->DBGridPro2}) {
      EXPECT_EQ(grid->Columns()->ColumnByFieldName("P")->Field(), form->Dbf1P);
      EXPECT_EQ(grid->Columns()->ColumnByFieldName("N")->Field(), form->Dbf1N);
    }
    EXPECT_EQ(form->Dbf1P->GetFloatValue(), table == acoustic ? 7 : 10);
    EXPECT_EQ(form->TableStats.Pmax, table == acoustic ? 7 : 30);
    form->Close_DB();
  }
}

}  // namespace table_test

// "Экспорт в Excel" of the main window through kiv7_drive: the workbook it
// writes is read back with python3-xlrd, an independent reader, and compared
// with the table's rows as the test reads them from the file.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "tests/appgui/drive_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"

namespace export_test {

namespace fs = std::filesystem;
using drive_test::Bin;
using drive_test::Fixed;

// What xlrd finds on the first sheet of a workbook.
struct Sheet {
  int sheets = 0;
  std::string name;
  int rows = 0;
  // first row, last row, first column, last column
  std::set<std::array<int, 4>> merges;
  // "t:TEXT" or "n:NUMBER" by (row, column); blank cells are absent.
  std::map<std::pair<int, int>, std::string> cells;
  // horizontal and vertical alignment, left, right, top and bottom line
  // styles, for the cells of the rows read with formats.
  std::map<std::pair<int, int>, std::array<int, 6>> formats;
};

// Reads the workbook with xlrd; the formats of rows below format_rows only,
// and, when `only` names cells, those cells alone (a sheet of 65536 rows
// takes xlrd long to read whole with its formats).
Sheet ReadWorkbook(const std::string& dir, const std::string& path, int format_rows,
                   const std::vector<std::pair<int, int>>& only = {}) {
  const std::string script =
      "import sys, xlrd\n"
      "sys.stdout.reconfigure(encoding='utf-8')\n"
      "limit = int(sys.argv[2])\n"
      "only = [tuple(map(int, a.split(','))) for a in sys.argv[3:]]\n"
      "b = xlrd.open_workbook(sys.argv[1], formatting_info=limit > 0)\n"
      "s = b.sheet_by_index(0)\n"
      "print('sheets\\t%d' % b.nsheets)\n"
      "print('name\\t%s' % s.name)\n"
      "print('rows\\t%d' % s.nrows)\n"
      "for r0, r1, c0, c1 in s.merged_cells: print('merge\\t%d\\t%d\\t%d\\t%d' % (r0, r1 - 1, c0, c1 - 1))\n"
      "cells = only or [(r, c) for r in range(s.nrows) for c in range(s.row_len(r))]\n"
      "for r, c in cells:\n"
      "  cell = s.cell(r, c)\n"
      "  if cell.ctype == xlrd.XL_CELL_TEXT: print('cell\\t%d\\t%d\\tt:%s' % (r, c, cell.value))\n"
      "  elif cell.ctype == xlrd.XL_CELL_NUMBER: print('cell\\t%d\\t%d\\tn:%.9g' % (r, c, cell.value))\n"
      "  if r < limit:\n"
      "    xf = b.xf_list[cell.xf_index]\n"
      "    a, d = xf.alignment, xf.border\n"
      "    print('format\\t%d\\t%d\\t%d\\t%d\\t%d\\t%d\\t%d\\t%d' % (r, c, a.hor_align, a.vert_align,\n"
      "          d.left_line_style, d.right_line_style, d.top_line_style, d.bottom_line_style))\n";
  testsupport::WriteFile(dir + "/read_xls.py", script);
  std::string out;
  std::string cells;
  for (const auto& [r, c] : only) cells += " " + std::to_string(r) + "," + std::to_string(c);
  EXPECT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " '" + dir + "/read_xls.py' '" + path +
                                        "' " + std::to_string(format_rows) + cells + " 2>&1",
                                    &out),
            0)
      << out;
  Sheet sheet;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::istringstream parts(line);
    for (std::string part; std::getline(parts, part, '\t');) f.push_back(part);
    if (f.empty()) continue;
    if (f[0] == "sheets") sheet.sheets = std::stoi(f.at(1));
    if (f[0] == "name") sheet.name = f.at(1);
    if (f[0] == "rows") sheet.rows = std::stoi(f.at(1));
    if (f[0] == "merge") sheet.merges.insert({std::stoi(f.at(1)), std::stoi(f.at(2)), std::stoi(f.at(3)), std::stoi(f.at(4))});
    if (f[0] == "cell") sheet.cells[{std::stoi(f.at(1)), std::stoi(f.at(2))}] = f.size() > 3 ? f[3] : "";
    if (f[0] == "format") {
      std::array<int, 6> v{};
      for (int i = 0; i < 6; ++i) v[i] = std::stoi(f.at(3 + i));
      sheet.formats[{std::stoi(f.at(1)), std::stoi(f.at(2))}] = v;
    }
  }
  return sheet;
}

// One row of the table as its fields read.
struct Row {
  int n = 0;
  std::string date, time, type, comment;
  double p = 0, r = 0, h = 0, k = 0;
  std::array<double, 3> a{}, d{};
};

// The rows of one record kind in file order.
std::vector<Row> ReadRows(const std::string& path, int kind) {
  TDbf table(nullptr);
  table.SetFilePath(fs::path(path).parent_path().string());
  table.SetTableName(fs::path(path).filename().string());
  table.Activate();
  std::vector<Row> rows;
  auto f = [&](const char* name) { return table.FieldNamed(name); };
  for (table.GoFirst(); !table.Eof(); table.GoNext()) {
    if (f("NB_TYPE")->GetIntegerValue() != kind) continue;
    Row row;
    row.n = f("N")->GetIntegerValue();
    row.date = AnsiToUtf8(f("DATE")->GetStringValue());
    row.time = AnsiToUtf8(f("TIME")->GetStringValue());
    row.type = AnsiToUtf8(f("TYPE")->GetStringValue());
    row.comment = AnsiToUtf8(f("COMMENT")->GetStringValue());
    row.p = f("P")->GetFloatValue();
    row.r = f("R")->GetFloatValue();
    row.h = f("H")->GetFloatValue();
    row.k = f("K")->GetFloatValue();
    for (int i = 0; i < 3; ++i) {
      row.a[i] = f(("A" + std::to_string(i + 1)).c_str())->GetFloatValue();
      row.d[i] = f(("D" + std::to_string(i + 1)).c_str())->GetFloatValue();
    }
    rows.push_back(row);
  }
  table.Deactivate();
  return rows;
}

// Sets fields of the row'th row (from 0, file order) of a table file.
void EditRow(const std::string& path, int row, double r, double p, const std::string& comment) {
  TDbf table(nullptr);
  table.SetFilePath(fs::path(path).parent_path().string());
  table.SetTableName(fs::path(path).filename().string());
  table.Activate();
  table.GoFirst();
  for (int i = 0; i < row; ++i) table.GoNext();
  table.StartEdit();
  table.FieldNamed("R")->SetFloatValue(r);
  table.FieldNamed("P")->SetFloatValue(p);
  table.FieldNamed("COMMENT")->SetStringValue(Utf8ToAnsi(comment));
  table.CommitRecord();
  table.Deactivate();
}

// A text cell; an empty text leaves the cell blank.
std::string Text(const std::string& text) { return text.empty() ? "" : "t:" + text; }

// What a cell holds ("" when blank).
std::string At(const Sheet& sheet, int row, int column) {
  const auto cell = sheet.cells.find({row, column});
  return cell == sheet.cells.end() ? "" : cell->second;
}

std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", value);
  return std::string("n:") + text;
}

struct Export : drive_test::DriveTest {
  Export() : DriveTest("export") {}

  // A measurement table of the CSV rows (a header row of field names first).
  void FromCsv(const std::string& table, const std::string& csv) {
    std::string out;
    ASSERT_EQ(testsupport::RunCommand(Bin("dbftool") + " create-measurement '" + table + "' 2>&1", &out), 0) << out;
    testsupport::WriteFile(dir + "/rows.csv", csv);
    ASSERT_EQ(testsupport::RunCommand(Bin("dbftool") + " append '" + table + "' < '" + dir + "/rows.csv' 2>&1", &out),
              0)
        << out;
  }
  std::string ExportOf(const std::string& table, const std::string& xls, const std::string& before = "") {
    return Drive("open-file " + table + "\nmenu Открыть\n" + before + "save-as " + xls +
                 "\nmenu Экспорт в Excel\nmenu Закрыть\n");
  }
};

const char* const kAcousticHeads[][3] = {
    {"N", "N", "N"},
    {"Дата", "Дата", "Дата"},
    {"Время", "Время", "Время"},
    {"Ао, дБ", "Ао, дБ", "Ао, дБ"},
    {"Асв1, дБ", "Асв2, дБ", "Асв3, дБ"},
    {"Ао-Асв1, дБ", "Ао-Асв2, дБ", "Ао-Асв3, дБ"},
    {"dH, мм", "dH, мм", "dH, мм"},
    {"Ку, дБ", "Ку, дБ", "Ку, дБ"},
    {"Ку асв, дБ", "Ку асв, дБ", "Ку асв, дБ"},
    {"Примечание", "Примечание", "Примечание"},
};

// The acoustic header: its texts (a merged range's only in its first row),
// merges, and every cell centred both ways inside thin lines on four sides.
void ExpectAcousticHeader(const Sheet& sheet) {
  EXPECT_EQ(sheet.name, "ЛИВТ-КС7");
  for (int c = 0; c < 10; ++c) {
    const bool merged = c != 4 && c != 5;
    EXPECT_EQ(sheet.merges.count({0, 2, c, c}), merged ? 1u : 0u) << c;
    for (int r = 0; r < 3; ++r) {
      SCOPED_TRACE("header cell " + std::to_string(r) + "," + std::to_string(c));
      EXPECT_EQ(At(sheet, r, c), merged && r > 0 ? "" : Text(kAcousticHeads[c][r]));
      const auto format = sheet.formats.find({r, c});
      ASSERT_NE(format, sheet.formats.end());
      EXPECT_EQ(format->second, (std::array<int, 6>{2, 1, 1, 1, 1, 1}));
    }
  }
}

TEST_F(Export, AcousticRowsTakeThreeSheetRowsEachUnderAFramedHeaderWithTheirValuesAsText) {
  const std::string table = dir + "/acoustic.db";
  FromInstrument(table, {"--acoustic", "4", "--subtype", "20", "--serial", "77"});
  // The second row gets values whose texts show the rounding and the padding.
  EditRow(table, 1, 45.67, 5, "проба № 7");
  const std::vector<Row> rows = ReadRows(table, 1);
  ASSERT_EQ(rows.size(), 4u);

  const std::string xls = dir + "/acoustic.xls";
  const std::string out = ExportOf(table, xls);
  EXPECT_NE(out.find("message: Экспорт в Excel: Экспорт в файл acoustic.xls завершен успешно."), std::string::npos)
      << out;
  const Sheet sheet = ReadWorkbook(dir, xls, 9);
  EXPECT_EQ(sheet.sheets, 1);
  ExpectAcousticHeader(sheet);
  EXPECT_EQ(sheet.rows, 3 + 3 * 4);
  EXPECT_EQ(sheet.merges.size(), 8u + 8u * 4u);

  EXPECT_EQ(At(sheet, 6, 3), "t:45,7");
  EXPECT_EQ(At(sheet, 6, 7), "t:   5");
  for (size_t j = 0; j < rows.size(); ++j) {
    SCOPED_TRACE("row " + std::to_string(j));
    const Row& row = rows[j];
    const int top = 3 * int(j) + 3;
    for (int c : {0, 1, 2, 3, 6, 7, 8, 9}) EXPECT_TRUE(sheet.merges.count({top, top + 2, c, c})) << c;
    const std::map<int, std::string> merged = {
        {0, Number(row.n)},
        {1, Text(row.date)},
        {2, Text(row.time)},
        {3, "t:" + Fixed(4, 1, row.r)},
        {6, Number(row.h)},
        {7, "t:" + Fixed(4, 0, row.p)},
        {8, "t:" + Fixed(4, 0, row.k)},
        {9, Text(row.comment)},
    };
    for (const auto& [c, value] : merged) {
      EXPECT_EQ(At(sheet, top, c), value) << c;
      EXPECT_FALSE(sheet.cells.count({top + 1, c}) || sheet.cells.count({top + 2, c})) << c;
    }
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(At(sheet, top + k, 4), "t:" + Fixed(4, 1, row.a[k])) << k;
      EXPECT_EQ(At(sheet, top + k, 5), "t:" + Fixed(4, 1, row.d[k])) << k;
    }
  }
  // Data cells are centred both ways and have no lines.
  for (int r = 3; r < 9; ++r)
    for (int c = 0; c < 10; ++c)
      EXPECT_EQ(sheet.formats.at({r, c}), (std::array<int, 6>{2, 1, 0, 0, 0, 0})) << r << "," << c;
}

TEST_F(Export, PressRowsTakeOneSheetRowEachWithLoadAndStrengthAsNumbers) {
  const std::string table = dir + "/press.db";
  FromInstrument(table, {"--press", "5", "--subtype", "3", "--serial", "31"});
  const std::vector<Row> rows = ReadRows(table, 0);
  ASSERT_EQ(rows.size(), 5u);

  const std::string xls = dir + "/press.xls";
  const std::string out = ExportOf(table, xls);
  EXPECT_NE(out.find("message: Экспорт в Excel: Экспорт в файл press.xls завершен успешно."), std::string::npos)
      << out;
  const Sheet sheet = ReadWorkbook(dir, xls, 2);
  EXPECT_EQ(sheet.name, "ТЕФ-КС7");
  EXPECT_EQ(sheet.rows, 6);
  EXPECT_TRUE(sheet.merges.empty());
  const char* const heads[] = {"N",      "Дата", "Время", "P, кН", "R, МПа", "Тип и размер образца, мм",
                               "Перемещение, мм", "Примечание"};
  for (int c = 0; c < 8; ++c) EXPECT_EQ(At(sheet, 0, c), std::string("t:") + heads[c]);
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    const Row& row = rows[i];
    const int r = int(i) + 1;
    EXPECT_EQ(At(sheet, r, 0), Number(row.n));
    EXPECT_EQ(At(sheet, r, 1), Text(row.date));
    EXPECT_EQ(At(sheet, r, 2), Text(row.time));
    EXPECT_EQ(At(sheet, r, 3), Number(row.p));
    EXPECT_EQ(At(sheet, r, 4), Number(row.r));
    EXPECT_EQ(At(sheet, r, 5), Text(row.type));
    EXPECT_EQ(At(sheet, r, 6), Number(row.h));
    EXPECT_EQ(At(sheet, r, 7), Text(row.comment));
  }
  // Neither the header nor the rows are aligned or framed.
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 8; ++c) {
      const std::array<int, 6>& f = sheet.formats.at({r, c});
      EXPECT_EQ(f[0], 0) << r << "," << c;
      EXPECT_EQ((std::array<int, 4>{f[2], f[3], f[4], f[5]}), (std::array<int, 4>{0, 0, 0, 0})) << r << "," << c;
    }
}

TEST_F(Export, AKindWithoutRowsWritesTheHeaderOnly) {
  const struct {
    const char* what;
    const char* csv;
    const char* before;  // drive commands before the export
    const char* sheet;
    int rows;
  } cases[] = {
      // A table without rows shows the press tab.
      {"press", "N,NB_TYPE\n", "", "ТЕФ-КС7", 1},
      // The acoustic tab stays after its last rows are deleted.
      {"acoustic", "N,NB_TYPE,R\n1,1,40\n2,1,41\n", "select 1 2\nanswer yes\nmenu Удалить\n", "ЛИВТ-КС7", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string table = dir + "/" + c.what + ".db";
    const std::string xls = dir + "/" + c.what + ".xls";
    FromCsv(table, c.csv);
    const std::string out = ExportOf(table, xls, c.before);
    EXPECT_NE(out.find("завершен успешно."), std::string::npos) << out;
    const Sheet sheet = ReadWorkbook(dir, xls, 3);
    EXPECT_EQ(sheet.name, c.sheet);
    EXPECT_EQ(sheet.rows, c.rows);
    if (c.rows == 3) ExpectAcousticHeader(sheet);
  }
}

TEST_F(Export, ACancelledSaveWritesNothingAndAFailedOneIsNotReportedAsDone) {
  const std::string table = dir + "/t.db";
  FromCsv(table, "N,NB_TYPE,R\n1,1,40\n");
  std::string out = Drive("open-file " + table + "\nmenu Открыть\ncancel-dialog\nmenu Экспорт в Excel\n");
  EXPECT_EQ(out.find("message:"), std::string::npos) << out;
  EXPECT_EQ(out.find("error:"), std::string::npos) << out;
  // A file that cannot be made: the user is told which and why, in the
  // program's words; the success message does not come.
  out = Drive("open-file " + table + "\nmenu Открыть\nsave-as " + dir + "/no/such/folder/t.xls\nmenu Экспорт в Excel\n");
  EXPECT_NE(out.find("message: Ошибка: Не удалось создать файл " + dir + "/no/such/folder/t.xls: папка не найдена.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("завершен успешно"), std::string::npos) << out;
}

// A disk that fills up while the workbook is written (the program may write
// files of 256 KiB at most): the user is told which file could not be written
// and why, and no file is left.
TEST_F(Export, AFullDiskIsReportedByFileAndCause) {
  const std::string table = dir + "/many.db";
  std::string csv = "N,NB_TYPE,P,R\n";
  for (int i = 1; i <= 5000; ++i) csv += std::to_string(i) + ",0,12.5,30.25\n";
  FromCsv(table, csv);
  const std::string xls = dir + "/many.xls";
  testsupport::WriteFile(dir + "/script.txt", "open-file " + table + "\nmenu Открыть\nsave-as " + xls +
                                                  "\nmenu Экспорт в Excel\nmenu Закрыть\n");
  std::string out;
  const std::string command = "cd '" + dir + "' && ulimit -f 256 && trap '' XFSZ && QT_QPA_PLATFORM=offscreen timeout 300 '" +
                              Bin("kiv7_drive") + "' --settings '" + dir + "/kiv7.ini' < '" + dir +
                              "/script.txt' 2>/dev/null";
  EXPECT_EQ(testsupport::RunCommand("bash -c \"" + command + "\"", &out), 0) << out;
  EXPECT_NE(out.find("message: Ошибка: Не удалось записать файл " + xls + ": превышен размер файла.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("завершен успешно"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(xls));
}

// Each acoustic row takes three of the sheet's 65536 rows after the three of
// the header, so 21844 rows fit; a press row takes one after one, so 65535
// fit. A table of more is refused before a file is asked for or written, with
// the number that fits.
TEST_F(Export, ATableTooLongForOneSheetIsRefusedBeforeAnythingIsWritten) {
  const struct {
    int kind, rows;
    const char* refusal;  // nullptr: exported
  } cases[] = {
      {1, 21845, "На листе Excel помещается не более 21844 строк таблицы."},
      {1, 21844, nullptr},
      {0, 65536, "На листе Excel помещается не более 65535 строк таблицы."},
  };
  for (const auto& c : cases) {
    const std::string name = "long" + std::to_string(c.kind) + "_" + std::to_string(c.rows);
    SCOPED_TRACE(name);
    const std::string table = dir + "/" + name + ".db";
    const std::string xls = dir + "/" + name + ".xls";
    std::string csv = "N,NB_TYPE,R\n";
    for (int i = 1; i <= c.rows; ++i) csv += std::to_string(i) + "," + std::to_string(c.kind) + ",40\n";
    FromCsv(table, csv);
    const std::string out = ExportOf(table, xls);
    if (c.refusal) {
      EXPECT_NE(out.find(std::string("message: Экспорт в Excel: ") + c.refusal), std::string::npos) << out;
      EXPECT_EQ(out.find("завершен успешно."), std::string::npos) << out;
      EXPECT_FALSE(fs::exists(xls));
      continue;
    }
    EXPECT_NE(out.find("завершен успешно."), std::string::npos) << out;
    const Sheet sheet = ReadWorkbook(dir, xls, 0, {{0, 0}, {3, 0}, {65532, 0}});
    EXPECT_EQ(sheet.rows, 3 + 3 * 21844);
    EXPECT_EQ(At(sheet, 0, 0), "t:N");
    EXPECT_EQ(At(sheet, 3, 0), "n:1");
    EXPECT_EQ(At(sheet, 65532, 0), "n:21844");  // rows 65532 to 65534
  }
}

}  // namespace export_test

// Preview and printing of the main window through kiv7_drive: the protocol
// printed into a PDF file is read back with poppler's pdftotext and pdfinfo
// and compared with the table's rows as the test reads them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "tests/appgui/drive_support.h"
#include "tests/support/pdf_words.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"

namespace print_test {

namespace fs = std::filesystem;
using drive_test::Fixed;

// A row as the protocol shows it on its middle line: the second level and
// difference stand beside N, the first and third above and below.
struct Row {
  std::string n, date, time, r, a2, d2;
};

// The rows of one kind in file order, and the serial number of the last one.
std::vector<Row> ReadRows(const std::string& path, int kind, int* serial) {
  TDbf table(nullptr);
  table.SetFilePath(fs::path(path).parent_path().string());
  table.SetTableName(fs::path(path).filename().string());
  table.Activate();
  std::vector<Row> rows;
  for (table.GoFirst(); !table.Eof(); table.GoNext()) {
    if (table.FieldNamed("NB_TYPE")->GetIntegerValue() != kind) continue;
    auto f = [&](const char* name) { return table.FieldNamed(name); };
    rows.push_back({std::to_string(f("N")->GetIntegerValue()), AnsiToUtf8(f("DATE")->GetStringValue()),
                    AnsiToUtf8(f("TIME")->GetStringValue()), Fixed(1, 1, f("R")->GetFloatValue()),
                    Fixed(1, 1, f("A2")->GetFloatValue()), Fixed(1, 1, f("D2")->GetFloatValue())});
    *serial = f("SERIAL")->GetIntegerValue();
  }
  table.Deactivate();
  return rows;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

struct Printing : drive_test::DriveTest {
  Printing() : DriveTest("printing") {}

  int PageCount(const std::string& pdf) {
    std::string out;
    EXPECT_EQ(testsupport::RunCommand("pdfinfo '" + pdf + "'", &out), 0);
    const size_t at = out.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(out.substr(at + 6));
  }
  std::string PageText(const std::string& pdf, int page) {
    std::string out;
    const std::string p = std::to_string(page);
    EXPECT_EQ(testsupport::RunCommand("pdftotext -layout -f " + p + " -l " + p + " '" + pdf + "' -", &out), 0);
    return out;
  }
};

TEST_F(Printing, TheAcousticProtocolPrintsEveryRowUnderItsTitleAndCountsItsPages) {
  const std::string table = dir + "/acoustic.db";
  FromInstrument(table, {"--acoustic", "60", "--subtype", "20", "--serial", "4321"});
  int serial = 0;
  const std::vector<Row> rows = ReadRows(table, 1, &serial);
  ASSERT_EQ(rows.size(), 60u);
  ASSERT_EQ(serial, 4321);

  const std::string pdf = dir + "/protocol.pdf";
  const std::string out =
      Drive("open-file " + table + "\nmenu Открыть\nprint-to " + pdf + "\nmenu Печать\nmenu Закрыть\n");
  EXPECT_NE(out.find("printed: " + pdf), std::string::npos) << out;
  const int pages = PageCount(pdf);
  ASSERT_GT(pages, 1) << "60 rows of three lines take more than one page";

  size_t next = 0;  // the row looked for next, in order over the pages
  for (int page = 1; page <= pages; ++page) {
    SCOPED_TRACE("page " + std::to_string(page));
    const std::string text = PageText(pdf, page);
    // (the text reader makes one blank of the title's two)
    if (page == 1) {
      EXPECT_NE(text.find("ЛИВТ-КС7 № 4321"), std::string::npos) << text;
    }
    EXPECT_NE(text.find("Стр. " + std::to_string(page) + " из " + std::to_string(pages)), std::string::npos)
        << text;
    EXPECT_NE(text.find("Асв1, дБ"), std::string::npos) << "the heads on every page";
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line) && next < rows.size();) {
      const std::vector<std::string> w = Words(line);
      const Row& row = rows[next];
      if (w.size() >= 6 && w[0] == row.n) {
        EXPECT_EQ(std::vector<std::string>(w.begin(), w.begin() + 6),
                  (std::vector<std::string>{row.n, row.date, row.time, row.r, row.a2, row.d2}))
            << line;
        ++next;
      }
    }
  }
  EXPECT_EQ(next, rows.size()) << "rows found in order";

  // On paper the texts keep their templates' point sizes: the title 12 pt,
  // the heads and the page counter 8 pt (a word's box is its font's ascent
  // to descent).
  int measured = 0;
  for (const testsupport::PdfWord& w : testsupport::PdfWords(pdf)) {
    const double points = w.text == "ЛИВТ-КС7" ? 12 : (w.text == "Дата" || w.text == "Стр.") ? 8 : 0;
    if (points == 0) continue;
    ++measured;
    EXPECT_GE(w.Height(), points) << w.text << " on page " << w.page;
    EXPECT_LE(w.Height(), points * 1.35) << w.text << " on page " << w.page;
  }
  EXPECT_GE(measured, 1 + 2 * pages);
}

TEST_F(Printing, ThePrintDialogsPagesAndCopiesReachThePrinter) {
  const std::string table = dir + "/acoustic.db";
  FromInstrument(table, {"--acoustic", "60", "--subtype", "20", "--serial", "5"});
  const std::string all = dir + "/all.pdf", some = dir + "/some.pdf";
  const std::string out = Drive("open-file " + table + "\nmenu Открыть\nprint-to " + all + "\nmenu Печать\nprint-to " +
                                some + "\nprint-pages 2-3\nprint-copies 2\nmenu Печать\n");
  EXPECT_EQ(out.find("error"), std::string::npos) << out;
  const int pages = PageCount(all);
  ASSERT_GE(pages, 3);
  // Pages 2 and 3, twice.
  ASSERT_EQ(PageCount(some), 4);
  std::vector<std::string> counters;
  for (int page = 1; page <= 4; ++page) {
    const std::string text = PageText(some, page);
    const size_t at = text.find("Стр. ");
    counters.push_back(at == std::string::npos ? "" : Words(text.substr(at)).at(1));
  }
  std::vector<std::string> twice = {"2", "3", "2", "3"};
  std::vector<std::string> collated_not = {"2", "2", "3", "3"};
  EXPECT_TRUE(counters == twice || counters == collated_not) << counters[0] << counters[1] << counters[2];
}

TEST_F(Printing, TheContextMenuPrintsThePressRowsAndPreviewIsForAcousticRowsOnly) {
  const std::string table = dir + "/press.db";
  FromInstrument(table, {"--press", "4", "--subtype", "3", "--serial", "812"});
  int serial = 0;
  const std::vector<Row> rows = ReadRows(table, 0, &serial);
  ASSERT_EQ(rows.size(), 4u);
  const std::string pdf = dir + "/press.pdf", main_menu_pdf = dir + "/main.pdf";
  const std::string out = Drive("open-file " + table + "\nmenu Открыть\nmenu Предварительный просмотр\n"
                                "preview-png " + dir + "/none.png\nprint-to " + main_menu_pdf +
                                "\nmenu Печать\nprint-to " + pdf + "\nmenu popup Печать\n");
  // Preview and the main menu's print are for the acoustic rows: nothing here.
  EXPECT_NE(out.find("error: no preview window"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(dir + "/none.png"));
  EXPECT_FALSE(fs::exists(main_menu_pdf));
  ASSERT_EQ(PageCount(pdf), 1) << out;
  const std::string text = PageText(pdf, 1);
  EXPECT_NE(text.find("ВАМ-КС7 № 812"), std::string::npos) << text;
  // frReport1's heads: its strength column tells it from frReport3.
  EXPECT_NE(text.find("Тип и размер пластины"), std::string::npos) << text;
  EXPECT_NE(text.find("R, МПа"), std::string::npos) << text;
  EXPECT_NE(text.find("Стр. 1 из 1"), std::string::npos) << text;
  for (const Row& row : rows) {
    bool found = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      const std::vector<std::string> w = Words(line);
      if (w.size() >= 3 && w[0] == row.n && w[1] == row.date && w[2] == row.time) found = true;
    }
    EXPECT_TRUE(found) << row.n << " " << row.date << " " << row.time << "\n" << text;
  }
}

TEST_F(Printing, ThePreviewShowsTheAcousticProtocolUntilClosed) {
  const std::string table = dir + "/acoustic.db";
  FromInstrument(table, {"--acoustic", "3", "--subtype", "20", "--serial", "9"});
  const std::string png = dir + "/preview.png";
  const std::string out = Drive("open-file " + table + "\nmenu Открыть\nmenu Предварительный просмотр\n"
                                "preview-png " + png + "\nclose-preview\npreview-png " + dir + "/after.png\n");
  EXPECT_TRUE(fs::exists(png)) << out;
  EXPECT_GT(fs::file_size(png), 1000u);
  // Closed: the commands after it run in the main window again.
  EXPECT_NE(out.find("error: no preview window"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(dir + "/after.png"));
}

}  // namespace print_test

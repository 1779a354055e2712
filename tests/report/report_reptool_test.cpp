// reptool build: a list template over a measurement table built into a
// prepared report, printed into a PDF and read back with pdftotext and pdfinfo;
// the rows, the page footers and the errors a user meets.
#include <gtest/gtest.h>

#include <QImage>

#include <sstream>
#include <string>
#include <vector>

#include "report/fr_globals.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_tmpl.h"
#include "report/fr_views.h"
#include "tests/report/class_support.h"
#include "tests/support/small_disk.h"
#include "tests/support/testsupport.h"

namespace report_reptool_test {

std::string Tool(const char* name) {
  return std::string(KIV7_BINARY_DIR) + "/tools/" + name + "/" + name;
}

struct Outcome {
  int status = 0;
  std::string out;
};

// What the command printed, with its error output when `errors`.
Outcome Shell(const std::string& command, bool errors = false) {
  Outcome run;
  run.status = testsupport::RunCommand(command + (errors ? " 2>&1" : " 2>/dev/null"), &run.out);
  return run;
}

// A measurement table of `rows` rows (N = i, SERIAL = 1000 + i, P = 1.5 i,
// COMMENT "образец i") and a list template of N, SERIAL, P and COMMENT, in a
// folder of their own. Returns the folder.
std::string MakeTableAndTemplate(const std::string& name, int rows) {
  const std::string dir = testsupport::TempDir(name);
  std::string csv = "N,DATE,TIME,SERIAL,P,COMMENT\n";
  for (int i = 1; i <= rows; ++i)
    csv += std::to_string(i) + ",05.03.2024,10:00:00," + std::to_string(1000 + i) + "," +
           std::to_string(i * 3 / 2) + (i % 2 != 0 ? ".5" : "") + ",образец " + std::to_string(i) + "\n";
  testsupport::WriteFile(dir + "/rows.csv", csv);
  EXPECT_EQ(Shell(Tool("dbftool") + " create-measurement '" + dir + "/m.dbf'").status, 0);
  EXPECT_EQ(Shell(Tool("dbftool") + " append '" + dir + "/m.dbf' < '" + dir + "/rows.csv'").status, 0);
  const Outcome made = Shell(Tool("reptool") + " template new '" + dir +
                           "/list.frf' --title 'Протокол испытаний' --heads 'N;Серийный;P;Примечание' "
                           "--fields 'N;SERIAL;P;COMMENT'");
  EXPECT_EQ(made.status, 0) << made.out;
  return dir;
}

// The text of each page of a PDF.
std::vector<std::string> PdfPages(const std::string& pdf) {
  std::string text;
  EXPECT_EQ(testsupport::RunCommand("pdftotext -layout '" + pdf + "' - 2>/dev/null", &text), 0);
  std::vector<std::string> pages;
  std::istringstream in(text);
  for (std::string page; std::getline(in, page, '\f');) pages.push_back(page);
  if (!pages.empty() && pages.back().find_first_not_of(" \n") == std::string::npos) pages.pop_back();
  return pages;
}

int PdfPageCount(const std::string& pdf) {
  std::string info;
  EXPECT_EQ(testsupport::RunCommand("pdfinfo '" + pdf + "' 2>/dev/null", &info), 0);
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

// The data rows of a page: lines whose words are N, 1000 + N, P and "образец N".
std::vector<int> RowsOf(const std::string& page) {
  std::vector<int> rows;
  std::istringstream lines(page);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string n, serial, p, comment, number;
    if (!(words >> n >> serial >> p >> comment >> number)) continue;
    if (n.find_first_not_of("0123456789") != std::string::npos) continue;
    const int i = std::stoi(n);
    const std::string expected_p = std::to_string(i * 3 / 2) + (i % 2 != 0 ? ",5" : "");
    EXPECT_EQ(serial, std::to_string(1000 + i)) << line;
    EXPECT_EQ(p, expected_p) << line;
    EXPECT_EQ(comment + " " + number, "образец " + std::to_string(i)) << line;
    rows.push_back(i);
  }
  return rows;
}

TEST(ReptoolBuild, TwoPassListOverAMeasurementTablePrintsEveryRowAndTheTotalPages) {
  const std::string dir = MakeTableAndTemplate("reptool_build_list", 300);
  const Outcome built = Shell(Tool("reptool") + " build '" + dir + "/list.frf' --table '" + dir +
                            "/m.dbf' --two-pass --out '" + dir + "/list.frp'");
  ASSERT_EQ(built.status, 0) << built.out;
  ASSERT_EQ(built.out.rfind("pages=", 0), 0u) << built.out;
  const int pages = std::stoi(built.out.substr(6));
  EXPECT_GT(pages, 2);

  const Outcome printed =
      Shell(Tool("reptool") + " print '" + dir + "/list.frp' --pdf '" + dir + "/list.pdf'");
  ASSERT_EQ(printed.status, 0) << printed.out;
  const int count = PdfPageCount(dir + "/list.pdf");
  EXPECT_EQ(count, pages);
  const std::vector<std::string> texts = PdfPages(dir + "/list.pdf");
  ASSERT_EQ(static_cast<int>(texts.size()), count);
  std::vector<int> all;
  for (int k = 1; k <= count; ++k) {
    const std::string& page = texts[static_cast<size_t>(k - 1)];
    EXPECT_NE(page.find("Стр. " + std::to_string(k) + " из " + std::to_string(count)), std::string::npos)
        << "page " << k << ":\n" << page;
    // The column heads repeat on every page; the title only on the first.
    EXPECT_NE(page.find("Серийный"), std::string::npos) << "page " << k;
    EXPECT_EQ(page.find("Протокол испытаний") != std::string::npos, k == 1) << "page " << k;
    const std::vector<int> rows = RowsOf(page);
    EXPECT_FALSE(rows.empty()) << "page " << k;
    all.insert(all.end(), rows.begin(), rows.end());
  }
  std::vector<int> expected;
  for (int i = 1; i <= 300; ++i) expected.push_back(i);
  EXPECT_EQ(all, expected);

  // The prepared report finds a row's comment on the page that prints it,
  // and the preview paints that page.
  int page_of_150 = 0;
  for (int k = 1; k <= count && page_of_150 == 0; ++k)
    for (int row : RowsOf(texts[static_cast<size_t>(k - 1)]))
      if (row == 150) page_of_150 = k;
  ASSERT_GT(page_of_150, 1);
  const Outcome found = Shell(Tool("reptool") + " find '" + dir + "/list.frp' 'образец 150'");
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(found.out, std::to_string(page_of_150) + "\n");
  for (int k : {1, page_of_150}) {
    const std::string png = dir + "/p" + std::to_string(k) + ".png";
    ASSERT_EQ(Shell(Tool("reptool") + " preview '" + dir + "/list.frp' --png '" + png + "' --page " + std::to_string(k))
                  .status,
              0);
  }
  const QImage first(QString::fromStdString(dir + "/p1.png"));
  const QImage middle(QString::fromStdString(dir + "/p" + std::to_string(page_of_150) + ".png"));
  ASSERT_FALSE(first.isNull());
  ASSERT_FALSE(middle.isNull());
  EXPECT_EQ(first.size(), middle.size());
  EXPECT_NE(first, middle);

  const Outcome part = Shell(Tool("reptool") + " print '" + dir + "/list.frp' --pdf '" + dir +
                           "/part.pdf' --pages 2-3");
  ASSERT_EQ(part.status, 0) << part.out;
  EXPECT_EQ(PdfPageCount(dir + "/part.pdf"), 2);
}

TEST(ReptoolBuild, AFilterKeepsItsRowsAndOnePassKnowsNoTotal) {
  const std::string dir = MakeTableAndTemplate("reptool_build_filter", 60);
  const Outcome built = Shell(Tool("reptool") + " build '" + dir + "/list.frf' --table '" + dir +
                            "/m.dbf' --filter 'N > 55' --source frDBDataSet1 --out '" + dir + "/f.frp'");
  ASSERT_EQ(built.status, 0) << built.out;
  EXPECT_EQ(built.out, "pages=1\n");
  ASSERT_EQ(Shell(Tool("reptool") + " print '" + dir + "/f.frp' --pdf '" + dir + "/f.pdf'").status, 0);
  const std::vector<std::string> texts = PdfPages(dir + "/f.pdf");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(RowsOf(texts[0]), (std::vector<int>{56, 57, 58, 59, 60}));
  EXPECT_NE(texts[0].find("Стр. 1 из 0"), std::string::npos) << texts[0];

  // Names relative to the folder the command runs in.
  const Outcome relative = Shell("cd '" + dir + "' && " + Tool("reptool") +
                                 " build list.frf --table m.dbf --filter 'N > 58' --out r.frp");
  ASSERT_EQ(relative.status, 0) << relative.out;
  EXPECT_EQ(relative.out, "pages=1\n");
  ASSERT_EQ(Shell(Tool("reptool") + " print '" + dir + "/r.frp' --pdf '" + dir + "/r.pdf'").status, 0);
  EXPECT_EQ(RowsOf(PdfPages(dir + "/r.pdf").at(0)), (std::vector<int>{59, 60}));
}

TEST(ReptoolBuild, WhatCannotBeBuiltIsRefusedWithAMessage) {
  const std::string dir = MakeTableAndTemplate("reptool_build_errors", 3);
  const std::string frf = " '" + dir + "/list.frf'";
  const std::string out = " --out '" + dir + "/x.frp'";
  const struct {
    std::string arguments;
    int status;
    const char* says;
  } cases[] = {
      {frf + " --table '" + dir + "/none.dbf'" + out, 1, "reptool: "},
      {frf + " --table '" + dir + "/m.dbf' --source Other" + out, 2, "no band over the record source Other"},
      {" '" + dir + "/none.frf' --table '" + dir + "/m.dbf'" + out, 1, "reptool: "},
      {frf + " --table '" + dir + "/m.dbf'", 2, "usage: reptool build"},
      {frf + " --table '" + dir + "/m.dbf' --source 'not a name'" + out, 2, "cannot name a record source"},
  };
  for (const auto& c : cases) {
    const Outcome run = Shell(Tool("reptool") + " build" + c.arguments, true);
    EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.out;
    EXPECT_NE(run.out.find(c.says), std::string::npos) << c.arguments << "\n" << run.out;
    EXPECT_EQ(run.out.find("pages="), std::string::npos) << c.arguments;
  }
  // A text line taller than any page ends the build with the engine's error
  // at once, rather than adding empty pages without end.
  {
    class_test::TestWork work;
    frGlobals();
    RegisterStandardViews();
    TfrTemplate t;
    t.LoadFromFile(dir + "/list.frf", [](const AnsiString&) { return false; });
    for (const auto& view : t.Pages.Pages(0)->Objects) {
      // The rows stretch with the note, whose lines are each taller than a page.
      if (view->TypeCode == gtBand && view->FrameTyp == btMasterData) view->Flags |= flStretched;
      auto* memo = dynamic_cast<TfrMemoView*>(view.get());
      if (memo == nullptr || memo->Memo.Text().find("COMMENT") == AnsiString::npos) continue;
      memo->Flags |= flStretched;
      memo->LineSpacing = 5000;
    }
    t.SaveToFile(dir + "/tall.frf");
  }
  const Outcome tall = Shell("timeout 20 " + Tool("reptool") + " build '" + dir + "/tall.frf' --table '" + dir +
                                 "/m.dbf'" + out,
                             true);
  EXPECT_EQ(tall.status, 1) << tall.out;
  EXPECT_NE(tall.out.find("не помещается на странице"), std::string::npos) << tall.out;
  EXPECT_EQ(tall.out.find("pages="), std::string::npos) << tall.out;

  // A field the table lacks is the engine's error, shown with the object.
  ASSERT_EQ(Shell(Tool("reptool") + " template new '" + dir + "/bad.frf' --title T --heads X --fields NOSUCH").status,
            0);
  const Outcome run = Shell(Tool("reptool") + " build '" + dir + "/bad.frf' --table '" + dir + "/m.dbf'" + out, true);
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("Ошибка: Возникла ошибка при обработке выражения"), std::string::npos) << run.out;
}

// A report, a template and a PDF written over files on a disk that has no
// room for them: the error names the file and the cause, the old file stays
// as it was, and nothing half-written is left beside it.
TEST(ReptoolWrites, AFullDiskLeavesTheOldFileWholeAndNoPartialOne) {
  testsupport::SmallDisk disk("reptool_full_disk", 512 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk takes root";
  const std::string dir = MakeTableAndTemplate("reptool_full_disk_files", 60);
  const std::string frp = disk.Path() + "/list.frp", frf = disk.Path() + "/list.frf", pdf = disk.Path() + "/list.pdf";
  const struct {
    const char* what;
    std::string command;
    std::string file;
  } writes[] = {
      {"report", Tool("reptool") + " build '" + dir + "/list.frf' --table '" + dir + "/m.dbf' --out '" + frp + "'", frp},
      {"template", Tool("reptool") + " template copy '" + dir + "/list.frf' '" + frf + "'", frf},
      {"PDF", Tool("reptool") + " print '" + frp + "' --pdf '" + pdf + "'", pdf},
  };
  for (const auto& w : writes) {
    SCOPED_TRACE(w.what);
    const Outcome run = Shell(w.command, true);
    ASSERT_EQ(run.status, 0) << run.out;
  }
  EXPECT_EQ(disk.Names(), "list.frf list.frp list.pdf");
  disk.Fill();
  for (const auto& w : writes) {
    SCOPED_TRACE(w.what);
    const std::string old_bytes = testsupport::ReadFile(w.file);
    ASSERT_FALSE(old_bytes.empty());
    const Outcome run = Shell(w.command, true);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("reptool: Cannot write file \"" + w.file + "\". No space left on device."),
              std::string::npos)
        << run.out;
    EXPECT_EQ(testsupport::ReadFile(w.file), old_bytes);
    EXPECT_EQ(disk.Names(), "list.frf list.frp list.pdf");
  }
}

}  // namespace report_reptool_test

// reptool print: a prepared report printed into PDF files, read back with
// pdftotext and pdfinfo.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "report/fr_emf.h"
#include "report/fr_globals.h"
#include "report/fr_prntr.h"
#include "report/fr_report.h"
#include "report/fr_views.h"
#include "tests/report/class_support.h"
#include "tests/report/pages_support.h"
#include "tests/support/pdf_words.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/filer.h"

namespace print_reptool_test {

std::string Reptool() { return std::string(KIV7_BINARY_DIR) + "/tools/reptool/reptool"; }

// A prepared report of pages "Страница 1", "Страница 2", ... (landscape
// where listed), written as FILE.frp in a folder of its own.
std::string MakeReport(const std::string& name, int count, const std::vector<int>& landscape = {}) {
  class_test::TestWork work;
  TfrEMFPages pages(nullptr);
  for (int n = 1; n <= count; ++n) {
    bool turned = false;
    for (int l : landscape) turned = turned || l == n;
    pages_test::AddTextPage(pages, {"Страница " + std::to_string(n)}, pages_test::kA4, turned ? 1 : 0);
  }
  const std::string file = testsupport::TempDir(name) + "/report.frp";
  TFileStream out(file, fmCreate);
  pages.WriteBuiltFile(out);
  return file;
}

struct Outcome {
  int status = 0;
  std::string out;
};

// `out` holds what reptool printed, with its error output when `errors`.
Outcome Print(const std::string& frp, const std::string& pdf, const std::string& options, bool errors = false) {
  Outcome run;
  run.status = testsupport::RunCommand(
      Reptool() + " print '" + frp + "' --pdf '" + pdf + "' " + options + (errors ? " 2>&1" : " 2>/dev/null"),
      &run.out);
  return run;
}

// The page numbers a PDF shows, page by page ("Страница 2" gives 2).
std::vector<int> PageNumbers(const std::string& pdf) {
  std::string text;
  EXPECT_EQ(testsupport::RunCommand("pdftotext -layout '" + pdf + "' -", &text), 0);
  std::vector<int> numbers;
  std::istringstream pages(text);
  for (std::string page; std::getline(pages, page, '\f');) {
    const size_t at = page.find("Страница ");
    if (at != std::string::npos) numbers.push_back(std::stoi(page.substr(at + std::string("Страница ").size())));
  }
  return numbers;
}

int PdfPageCount(const std::string& pdf) {
  std::string info;
  EXPECT_EQ(testsupport::RunCommand("pdfinfo '" + pdf + "'", &info), 0);
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

TEST(ReptoolPrint, PagesAndCopiesComeOutInOrder) {
  const std::string frp = MakeReport("reptool_print_order", 3);
  const std::string folder = frp.substr(0, frp.rfind('/'));
  struct Case {
    const char* options;
    std::vector<int> pages;
  };
  const std::vector<Case> cases = {
      {"", {1, 2, 3}},
      {"--pages 2-3", {2, 3}},
      {"--pages '3, 1'", {1, 3}},
      {"--copies 2", {1, 1, 2, 2, 3, 3}},
      {"--copies 2 --pages 2-", {2, 2, 3, 3}},
      // A PDF file holds collated copies itself.
      {"--copies 2 --collate", {1, 2, 3, 1, 2, 3}},
      {"--copies 3 --collate --pages 1,3", {1, 3, 1, 3, 1, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string pdf = folder + "/out.pdf";
    const Outcome run = Print(frp, pdf, c.options);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, pdf + "\n");
    EXPECT_EQ(PdfPageCount(pdf), static_cast<int>(c.pages.size()));
    EXPECT_EQ(PageNumbers(pdf), c.pages);
  }
}

// When the paper changes, collated copies come one after the other across
// the jobs.
TEST(ReptoolPrint, APaperChangeGivesAFilePerJobAndCollatedCopiesStayInOrder) {
  const std::string frp = MakeReport("reptool_print_paper", 3, {2});
  const std::string folder = frp.substr(0, frp.rfind('/'));
  const Outcome run = Print(frp, folder + "/out.pdf", "--copies 2 --collate");
  ASSERT_EQ(run.status, 0) << run.out;
  const std::vector<std::string> files = {folder + "/out.pdf", folder + "/out-2.pdf", folder + "/out-3.pdf",
                                          folder + "/out-4.pdf", folder + "/out-5.pdf"};
  std::string listed;
  for (const std::string& f : files) listed += f + "\n";
  EXPECT_EQ(run.out, listed);
  std::vector<int> order;
  for (const std::string& f : files)
    for (int n : PageNumbers(f)) order.push_back(n);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 1, 2, 3}));
  // The landscape page's sheet is wider than high.
  std::string info;
  ASSERT_EQ(testsupport::RunCommand("pdfinfo '" + files[1] + "'", &info), 0);
  EXPECT_NE(info.find("842 x 595"), std::string::npos) << info;
}

// Paper keeps the template's proportions: a 10 pt text prints about 10 pt
// tall, and the lines of a text step as far as the template puts them apart
// (LineSpacing 2 + 13 pixels of a 10 pt font, in page pixels of
// kPagePixelsPerInch). pdftotext's box of a word is its font's ascent to
// descent, a little over the point size.
TEST(ReptoolPrint, TextPrintsAtItsPointSizeAndItsLinesKeepTheirPitch) {
  const std::string folder = testsupport::TempDir("reptool_print_sizes");
  const std::string frp = folder + "/sizes.frp";
  {
    class_test::TestWork work;
    TfrEMFPages pages(nullptr);
    pages_test::AddTextPage(pages, {"Высота"});
    pages.AppendObject(0, *pages_test::TextObject("первая\nвторая\nтретья", 40, 100, 300, 60));
    TFileStream out(frp, fmCreate);
    pages.WriteBuiltFile(out);
  }
  const std::string pdf = folder + "/sizes.pdf";
  ASSERT_EQ(Print(frp, pdf, "").status, 0);
  const std::vector<testsupport::PdfWord> words = testsupport::PdfWords(pdf);
  std::vector<double> tops;
  for (const testsupport::PdfWord& w : words) {
    SCOPED_TRACE(w.text);
    EXPECT_GE(w.Height(), 8.0);
    EXPECT_LE(w.Height(), 15.0);
    if (w.text != "Высота") tops.push_back(w.y_min);
  }
  ASSERT_EQ(words.size(), 4u);
  ASSERT_EQ(tops.size(), 3u);
  const double pitch = 15 * 72 / kPagePixelsPerInch;
  EXPECT_NEAR(tops[1] - tops[0], pitch, 0.5);
  EXPECT_NEAR(tops[2] - tops[1], pitch, 0.5);
}

// The program's five protocols, as report_forms makes their components,
// built over a measurement table and printed: every title, head, value and
// page footer prints at its template's point size (12 pt titles, 8 pt heads
// and footers, 9 pt values).
TEST(ReptoolPrint, TheFiveProtocolsPrintAtTheirTemplatesSizes) {
  const std::string dir = testsupport::TempDir("protocol_sizes");
  const std::string bin = std::string(KIV7_BINARY_DIR) + "/tools/";
  ASSERT_EQ(testsupport::RunCommand(bin + "report_forms/report_forms --raw '" + dir + "' 2>/dev/null", nullptr), 0);
  std::string csv = "N,DATE,TIME,SERIAL,NB_TYPE,P,R,TYPE,COMMENT,H,T,K,A1,A2,A3,D1,D2,D3\n";
  for (int i = 1; i <= 3; ++i)
    csv += std::to_string(i) + ",05.03.2024,10:00:0" + std::to_string(i) +
           ",77,1,12.5,3.25,100x100,note,1.5,2,3.5,40.5,41.5,42.5,1.5,2.5,3.5\n";
  testsupport::WriteFile(dir + "/rows.csv", csv);
  ASSERT_EQ(testsupport::RunCommand(bin + "dbftool/dbftool create-measurement '" + dir + "/m.dbf'", nullptr), 0);
  ASSERT_EQ(testsupport::RunCommand(bin + "dbftool/dbftool append '" + dir + "/m.dbf' < '" + dir + "/rows.csv'",
                                    nullptr),
            0);
  for (int form = 1; form <= 5; ++form) {
    const std::string name = dir + "/frReport" + std::to_string(form);
    SCOPED_TRACE(name);
    {
      class_test::TestWork work;
      frGlobals();
      RegisterStandardViews();
      TfrReport report(nullptr);
      TFileStream in(name + ".bin", fmOpenRead);
      TReader(in).ReadRootComponent(&report);
      // reptool reads the table through the record source's name, where the
      // program's form names its table Dbf1.
      for (int p = 0; p < report.Template.Pages.Count(); ++p)
        for (const auto& view : report.Template.Pages.Pages(p)->Objects)
          for (int line = 0; line < view->Memo.Count(); ++line) {
            AnsiString text = view->Memo.Strings(line);
            for (size_t at; (at = text.find("[Dbf1.")) != AnsiString::npos;) text.replace(at + 1, 4, "frDBDataSet1");
            view->Memo.SetStrings(line, text);
          }
      report.Template.SaveToFile(name + ".frf");
    }
    std::string out;
    ASSERT_EQ(testsupport::RunCommand(Reptool() + " build '" + name + ".frf' --table '" + dir + "/m.dbf' --out '" +
                                          name + ".frp' 2>&1",
                                      &out),
              0)
        << out;
    ASSERT_EQ(Print(name + ".frp", name + ".pdf", "").status, 0);
    int checked = 0;
    for (const testsupport::PdfWord& w : testsupport::PdfWords(name + ".pdf")) {
      double points = 0;
      if (w.text.find("КС7") != std::string::npos) points = 12;  // the title
      if (w.text == "Дата" || w.text == "Стр.") points = 8;
      if (w.text == "05.03.2024") points = 9;
      if (points == 0) continue;
      ++checked;
      // A word's box reaches from its font's ascent to its descent.
      EXPECT_GE(w.Height(), points) << w.text;
      EXPECT_LE(w.Height(), points * 1.35) << w.text;
    }
    EXPECT_GE(checked, 6);
  }
}

TEST(ReptoolPrint, ListsAndCopiesTheDialogWouldRefuseAreRefused) {
  const std::string frp = MakeReport("reptool_print_refused", 3);
  const std::string pdf = frp.substr(0, frp.rfind('/')) + "/refused.pdf";
  for (const char* options : {"--pages 1,,3", "--pages 3-2", "--pages 5", "--pages 99999999999", "--pages x",
                              "--copies 0", "--copies many", "--copies 100000"}) {
    SCOPED_TRACE(options);
    const Outcome run = Print(frp, pdf, options, true);
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_NE(run.out.find("reptool: "), std::string::npos) << run.out;
    EXPECT_NE(testsupport::RunCommand("test -e '" + pdf + "'", nullptr), 0);
  }
}

TEST(ReptoolPrint, AMissingOrDamagedFileIsAnError) {
  const std::string folder = testsupport::TempDir("reptool_print_damaged");
  testsupport::WriteFile(folder + "/bad.frp", std::string("\x19\x00\x03\x00PDF\x00\xFF\xFF\xFF\x7F", 12));
  for (const std::string& frp : {folder + "/bad.frp", folder + "/missing.frp"}) {
    const Outcome run = Print(frp, folder + "/out.pdf", "");
    EXPECT_EQ(run.status, 1) << run.out;
  }
  std::string out;
  EXPECT_EQ(testsupport::RunCommand(Reptool() + " print " + folder + "/bad.frp 2>&1", &out), 2);
  EXPECT_NE(out.find("usage: reptool print"), std::string::npos) << out;
}

// A picture whose end position a damaged file puts past its stream, with a
// control byte in its name: the message names the file and the picture whole.
TEST(ReptoolPrint, ADamagedPictureNamesTheFileAndThePictureWhole) {
  std::string file;
  {
    class_test::TestWork work;
    TfrEMFPages pages(nullptr);
    pages_test::AddTextPage(pages, {"Страница 1"});
    TfrPictureView picture;
    picture.Name = std::string("Pic\0ture", 8);
    picture.SetBounds(10, 10, 50, 50);
    picture.SetPicture(pkBitmap, std::string(300, 'b'));
    pages.AppendObject(0, picture);
    file = testsupport::TempDir("reptool_print_picture") + "/report.frp";
    TFileStream out(file, fmCreate);
    pages.WriteBuiltFile(out);
  }
  const std::string whole = testsupport::ReadFile(file);
  const size_t bytes = whole.find(std::string(300, 'b'));
  ASSERT_NE(bytes, std::string::npos);
  // The picture's end position, just before its bytes, past every stream.
  std::string damaged = whole;
  damaged.replace(bytes - 4, 4, std::string("\x00\x00\xFF\x7F", 4));
  testsupport::WriteFile(file, damaged);
  const Outcome run = Print(file, file + ".pdf", "", true);
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("reptool: Cannot read \"" + file + "\": Picture \"Pic\\x00ture\" ends at 2147418112, "
                         "outside its stream"),
            std::string::npos)
      << run.out;
}

}  // namespace print_reptool_test

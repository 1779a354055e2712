// reptool print: a prepared report printed into PDF files, read back with
// pdftotext and pdfinfo.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "report/fr_emf.h"
#include "report/fr_prntr.h"
#include "tests/report/class_support.h"
#include "tests/report/pages_support.h"
#include "tests/support/pdf_words.h"
#include "tests/support/testsupport.h"

namespace {

std::string Reptool() { return std::string(KIV7_BINARY_DIR) + "/tools/reptool/reptool"; }

// A prepared report of pages "Страница 1", "Страница 2", ... (landscape
// where listed), written as FILE.frp in a folder of its own.
std::string MakeReport(const std::string& name, int count, const std::vector<int>& landscape = {}) {
  class_test::EngineGuard guard;
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
    class_test::EngineGuard guard;
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

}  // namespace

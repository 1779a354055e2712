// Printing built pages: page lists, odd and even pages, copies with and
// without collation, paper changes between pages, cancelling, and where a
// page lands on the sheet. The printer records every job it is given.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "report/fr_emf.h"
#include "report/fr_globals.h"
#include "report/fr_prdlg.h"
#include "report/fr_print.h"
#include "report/fr_progr.h"
#include "report/fr_report.h"
#include "tests/report/class_support.h"
#include "tests/report/dialog_support.h"
#include "tests/report/pages_support.h"
#include "tests/report/printer_support.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/gfx/metafile.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/qt_host.h"
#include "toolkit/ui/stdctrls.h"

namespace print_job_test {

using class_test::TestWork;
using pages_test::AddTextPage;

struct JobRecord {
  AnsiString title;
  int copies = 0;
  // Each page's texts, and its orientation (1 portrait, 2 landscape).
  std::vector<std::string> pages;
  std::vector<int> orientations;
  std::vector<std::unique_ptr<TMetafile>> drawings;
  bool ended = false;
  bool aborted = false;
};

class RecordingJob : public TPrintJob {
 public:
  RecordingJob(JobRecord& record, const TDeviceMode& mode) : record_(record) { StartPage(mode); }
  TCanvas* Canvas() override { return canvas_.get(); }
  void NewPage(const TDeviceMode& mode) override {
    EndPage();
    StartPage(mode);
  }
  void End() override {
    EndPage();
    record_.ended = true;
  }
  void Abort() override {
    EndPage();
    record_.aborted = true;
  }

 private:
  void StartPage(const TDeviceMode& mode) {
    record_.drawings.push_back(std::make_unique<TMetafile>());
    record_.orientations.push_back(mode.Orientation);
    canvas_ = std::make_unique<TMetafileCanvas>(*record_.drawings.back());
  }
  void EndPage() {
    if (record_.pages.size() < record_.drawings.size())
      record_.pages.push_back(AnsiToUtf8(record_.drawings.back()->Text()));
  }
  JobRecord& record_;
  std::unique_ptr<TMetafileCanvas> canvas_;
};

class RecordingPrinters : public printer_test::FakePrinters {
 public:
  using FakePrinters::FakePrinters;
  std::unique_ptr<TPrintJob> StartJob(int, const TDeviceMode& mode, const AnsiString& title, int copies) override {
    jobs.push_back(std::make_unique<JobRecord>());
    jobs.back()->title = title;
    jobs.back()->copies = copies;
    return std::make_unique<RecordingJob>(*jobs.back(), mode);
  }
  std::vector<std::unique_ptr<JobRecord>> jobs;
};

// One printer, "Office", that records its jobs; the machine is without
// printers again at the end.
class PrintTest : public ::testing::Test {
 protected:
  PrintTest() {
    auto backend = std::make_unique<RecordingPrinters>(std::vector<printer_test::FakeDevice>{{"Office"}});
    printers_ = backend.get();
    SetPrinter(std::make_unique<TPrinter>(std::move(backend)));
    FreeGlobalPrinterLayer();
    // The library's texts, as its start-up makes them.
    frGlobals();
    report.ShowProgress = false;
  }
  ~PrintTest() override {
    SetPrinter(std::make_unique<TPrinter>(
        std::make_unique<printer_test::FakePrinters>(std::vector<printer_test::FakeDevice>{})));
    FreeGlobalPrinterLayer();
  }

  // Pages whose only text is "P" and their number; landscape ones as listed.
  void MakePages(int count, const std::vector<int>& landscape = {}) {
    for (int n = 1; n <= count; ++n) {
      const bool turned = std::find(landscape.begin(), landscape.end(), n) != landscape.end();
      AddTextPage(*report.EMFPages(), {"P" + std::to_string(n)}, pages_test::kA4, turned ? 1 : 0);
    }
  }
  // Every printed page's text, job by job, joined: "P1 P2 | P3".
  std::string Printed() const {
    std::string s;
    for (const auto& job : printers_->jobs) {
      if (!s.empty()) s += " | ";
      for (size_t i = 0; i < job->pages.size(); ++i) {
        std::string text = job->pages[i];
        while (!text.empty() && text.back() == '\n') text.pop_back();
        s += (i > 0 ? " " : "") + text;
      }
    }
    return s;
  }
  const std::vector<std::unique_ptr<JobRecord>>& Jobs() const { return printers_->jobs; }

  TestWork work;
  TfrReport report{nullptr};
  RecordingPrinters* printers_;
};

TEST_F(PrintTest, PageListsAndOddOrEvenPagesChooseThePagesPrinted) {
  struct Case {
    const char* list;
    int odd_even;
    const char* printed;
  };
  const Case cases[] = {
      {"1,3,5-7", kPrintAllPages, "P1 P3 P5 P6 P7"},
      {"8-", kPrintAllPages, "P8 P9 P10"},
      {"2 - 4", kPrintAllPages, "P2 P3 P4"},
      {"5-3", kPrintAllPages, ""},
      {"", kPrintAllPages, "P1 P2 P3 P4 P5 P6 P7 P8 P9 P10"},
      {"2-6", kPrintOddPages, "P3 P5"},
      {"2-6", kPrintEvenPages, "P2 P4 P6"},
      {"", kPrintEvenPages, "P2 P4 P6 P8 P10"},
      // A range far beyond the report ends with its last page.
      {"9-2000000000", kPrintAllPages, "P9 P10"},
  };
  MakePages(10);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    printers_->jobs.clear();
    report.PrintBuiltPages(Utf8ToAnsi(c.list), 1, c.odd_even, false);
    EXPECT_EQ(Printed(), c.printed);
    // Nothing to print sends no job at all.
    EXPECT_EQ(Jobs().size(), std::string(c.printed).empty() ? 0u : 1u);
  }
}

TEST_F(PrintTest, AListThatIsNoPageListIsRefusedBeforeAnythingPrints) {
  MakePages(3);
  for (const char* list : {"1,,3", "1;2", "a-b", "99999999999", "-"}) {
    SCOPED_TRACE(list);
    EXPECT_THROW(report.PrintBuiltPages(list, 1, kPrintAllPages, false), EConvertError);
    EXPECT_TRUE(Jobs().empty());
  }
}

TEST_F(PrintTest, CopiesRepeatEachPageUnlessCollatedWhenThePrinterMakesTheCopies) {
  MakePages(3);
  report.PrintBuiltPages("", 2, kPrintAllPages, false);
  EXPECT_EQ(Printed(), "P1 P1 P2 P2 P3 P3");
  EXPECT_EQ(Jobs()[0]->copies, 1);

  printers_->jobs.clear();
  report.PrintBuiltPages("", 2, kPrintAllPages, true);
  EXPECT_EQ(Printed(), "P1 P2 P3");
  EXPECT_EQ(Jobs()[0]->copies, 2);

  // Copies below 1 print once.
  printers_->jobs.clear();
  report.PrintBuiltPages("", 0, kPrintAllPages, false);
  EXPECT_EQ(Printed(), "P1 P2 P3");
}

TEST_F(PrintTest, APaperChangeStartsANewJob) {
  MakePages(3, {2});
  report.PrintBuiltPages("", 1, kPrintAllPages, false);
  EXPECT_EQ(Printed(), "P1 | P2 | P3");
  ASSERT_EQ(Jobs().size(), 3u);
  EXPECT_EQ(Jobs()[1]->orientations, (std::vector<int>{DMORIENT_LANDSCAPE}));
  for (const auto& job : Jobs()) EXPECT_TRUE(job->ended);
}

// Collated copies of a print that changes paper come out copy after copy,
// not page after page.
TEST_F(PrintTest, CollatedCopiesSurviveAPaperChange) {
  MakePages(3, {2});
  report.PrintBuiltPages("", 2, kPrintAllPages, true);
  EXPECT_EQ(Printed(), "P1 | P2 | P3 P1 | P2 | P3");
  for (const auto& job : Jobs()) EXPECT_EQ(job->copies, 1);
}

// The job begins with the first page printed, whatever paper the report's
// first page has.
TEST_F(PrintTest, NoEmptyJobWhenTheFirstPagePrintedHasOtherPaper) {
  MakePages(3, {2});
  report.PrintBuiltPages("2", 1, kPrintAllPages, false);
  EXPECT_EQ(Printed(), "P2");
  ASSERT_EQ(Jobs().size(), 1u);
  EXPECT_EQ(Jobs()[0]->pages.size(), 1u);
}

TEST_F(PrintTest, TheJobCarriesTheTitleAndRaisesOnPrintReport) {
  MakePages(1);
  int raised = 0;
  report.OnPrintReport = [&] { ++raised; };
  report.PrintBuiltPages("", 1, kPrintAllPages, false);
  report.Title = Utf8ToAnsi("Протокол");
  report.PrintBuiltPages("", 1, kPrintAllPages, false);
  ASSERT_EQ(Jobs().size(), 2u);
  EXPECT_EQ(Jobs()[0]->title, "Untitled");
  EXPECT_EQ(AnsiToUtf8(Jobs()[1]->title), "Протокол");
  EXPECT_EQ(raised, 2);
}

TEST_F(PrintTest, StoppingAfterAPageAbortsTheJob) {
  MakePages(4);
  std::vector<int> steps;
  report.OnProgress = [&](int n) {
    steps.push_back(n);
    if (n == 2) report.Terminated = true;
  };
  report.PrintBuiltPages("", 1, kPrintAllPages, false);
  EXPECT_EQ(steps, (std::vector<int>{1, 2}));
  ASSERT_EQ(Jobs().size(), 1u);
  EXPECT_TRUE(Jobs()[0]->aborted);
  EXPECT_FALSE(Jobs()[0]->ended);
}

// A page that uses margins is laid over the whole sheet; one that does not
// fills the printable area less its margins.
TEST_F(PrintTest, APageLandsOnTheSheetOrOnThePrintableArea) {
  MakePages(1);
  TfrEMFPages& pages = *report.EMFPages();
  auto cover = pages_test::TextObject("", 0, 0, pages[0].Metrics.PageWidth, pages[0].Metrics.PageHeight);
  cover->FillColor = 0x0000FF;
  pages.AppendObject(0, *cover);
  auto fill_of_last_job = [&] {
    for (const TMetaRecord& r : Jobs().back()->drawings[0]->Records())
      if (r.op == TMetaOp::FillRect && r.brush_color == 0x0000FF) return r.rect;
    return TRect{};
  };
  // The recording printers: 600 dpi, a 100-pixel border on every side.
  const int sheet_w = 4961, sheet_h = 7016;
  report.PrintBuiltPages("", 1, kPrintAllPages, false);
  EXPECT_EQ(fill_of_last_job(), Rect(-100, -100, sheet_w - 100, sheet_h - 100));

  pages[0].UseMargins = false;
  report.PrintBuiltPages("", 1, kPrintAllPages, false);
  EXPECT_EQ(fill_of_last_job(), Rect(0, 0, sheet_w - 200, sheet_h - 200));
}

TEST_F(PrintTest, WithoutTheDialogPrintWithDialogTakesTheReportsDefaults) {
  MakePages(2);
  report.ShowPrintDialog = false;
  report.DefaultCopies = 2;
  report.DefaultCollate = false;
  report.PrintWithDialog();
  EXPECT_EQ(Printed(), "P1 P1 P2 P2");

  // A report without pages prints nothing.
  printers_->jobs.clear();
  report.EMFPages()->Clear();
  report.PrintWithDialog();
  EXPECT_TRUE(Jobs().empty());
}

// The print dialog on the screen, found through its window.
TfrPrintForm* ShownPrintForm() {
  auto* link = dynamic_cast<HostLink*>(QApplication::activeModalWidget());
  return link != nullptr ? dynamic_cast<TfrPrintForm*>(link->control_) : nullptr;
}

// The dialog opens on the report's copies and collation, and refuses a page
// beyond the report's pages while it stays open.
TEST_F(PrintTest, ThePrintDialogKnowsTheReportsPages) {
  MakePages(2);
  report.DefaultCopies = 2;
  report.DefaultCollate = false;
  testsupport::RecordingDialogs dialogs;
  dialog_test::WithModal([&] { report.PrintWithDialog(); },
                         [&] {
                           TfrPrintForm* form = ShownPrintForm();
                           ASSERT_NE(form, nullptr);
                           EXPECT_EQ(form->E1->Text(), "2");
                           EXPECT_FALSE(form->CollateCB->Checked());
                           EXPECT_FALSE(form->RB2->Enabled());
                           QTest::mouseClick(form->E2->Widget(), Qt::LeftButton);
                           QTest::keyClicks(form->E2->Widget(), "2-3");
                           QTest::keyClick(form->E2->Widget(), Qt::Key_Return);
                         },
                         [&] {
                           ASSERT_NE(QApplication::activeModalWidget(), nullptr);
                           QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
                         });
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_NE(AnsiToUtf8(dialogs.boxes[0].text).find("3 нет в отчете: в нем 2 стр."), std::string::npos)
      << AnsiToUtf8(dialogs.boxes[0].text);
  EXPECT_TRUE(Jobs().empty());

  dialog_test::WithModal([&] { report.PrintWithDialog(); },
                         [&] { QTest::mouseClick(ShownPrintForm()->Button1->Widget(), Qt::LeftButton); });
  EXPECT_EQ(Printed(), "P1 P1 P2 P2");
}

TEST_F(PrintTest, SelectingAPrinterByNameKeepsTheNameEvenWhenItIsNotThere) {
  report.SelectPrinterByName("Nowhere");
  EXPECT_EQ(report.Template.PrinterName, "Nowhere");
  EXPECT_EQ(GlobalPrinterLayer().PrinterIndex(), 0);
  report.SelectPrinterByName(GlobalPrinterLayer().Printers.Strings(1));
  EXPECT_TRUE(GlobalPrinterLayer().IsVirtual());
}

TEST_F(PrintTest, UnderTheProgressWindowTheCaptionNamesTheReportAndAnErrorClosesIt) {
  MakePages(2);
  report.ShowProgress = true;
  report.Title = "List";
  AnsiString caption;
  std::vector<AnsiString> lines;
  report.OnPrintReport = [&] {
    caption = frProgressForm()->Caption();
    lines.push_back(frProgressForm()->Label1->Caption());
  };
  report.PrintBuiltPages("", 1, kPrintAllPages, false);
  EXPECT_EQ(Printed(), "P1 P2");
  EXPECT_EQ(AnsiToUtf8(caption), "Подготовка отчета - List");
  EXPECT_EQ(lines, std::vector<AnsiString>{Utf8ToAnsi("Печатается страница:")});
  EXPECT_FALSE(frProgressForm()->Visible());

  printers_->jobs.clear();
  EXPECT_THROW(report.PrintBuiltPages("1,x", 1, kPrintAllPages, false), EConvertError);
  EXPECT_FALSE(frProgressForm()->Visible());
  EXPECT_TRUE(Jobs().empty());
}

// A filter that notes every call the report makes of it.
class NotingFilter : public TfrExportFilter {
 public:
  int ShowModal() override {
    calls.push_back("setup");
    return setup_answer;
  }
  void OnBeginDoc() override { calls.push_back("doc"); }
  void OnEndDoc() override { calls.push_back("/doc"); }
  void OnBeginPage() override { calls.push_back("page"); }
  void OnEndPage() override { calls.push_back("/page"); }
  void OnData(int x, int y, TfrView*) override {
    calls.push_back("object " + std::to_string(x) + "," + std::to_string(y));
  }
  void OnText(const TRect&, int, int, const AnsiString& line, TfrView*, uint16_t) override {
    calls.push_back("text " + AnsiToUtf8(line));
    if (Stream != nullptr) Stream->WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
  }
  std::vector<std::string> calls;
  int setup_answer = mrOk;
};

TEST_F(PrintTest, ExportHandsThePagesToTheFilterInOrder) {
  MakePages(2);
  NotingFilter filter;
  std::vector<std::string> after;
  filter.OnAfterExport = [&](const std::string& name) { after.push_back(name); };
  const std::string file = testsupport::TempDir("export_filter") + "/out.txt";
  report.ExportBuiltPages(&filter, Utf8ToAnsi(file));
  EXPECT_EQ(filter.calls, (std::vector<std::string>{"setup", "doc", "page", "object 40,40", "text P1", "/page",
                                                   "page", "object 40,40", "text P2", "/page", "/doc"}));
  EXPECT_EQ(testsupport::ReadFile(file), "P1P2");
  EXPECT_EQ(after, std::vector<std::string>{file});
  EXPECT_EQ(report.CurrentFilter, nullptr);
  {
    // Once the export is over its filter hears of no object.
    TfrBuildScope later(&report, report.Host());
    const size_t heard = filter.calls.size();
    report.EMFPages()->ExportPage(0);
    EXPECT_EQ(filter.calls.size(), heard);
  }

  // A veto or a cancelled setup writes nothing.
  const std::string vetoed = testsupport::TempDir("export_vetoed") + "/out.txt";
  filter.calls.clear();
  filter.OnBeforeExport = [](const std::string&, bool& go_on) { go_on = false; };
  report.ExportBuiltPages(&filter, Utf8ToAnsi(vetoed));
  EXPECT_TRUE(filter.calls.empty());
  filter.OnBeforeExport = nullptr;
  filter.setup_answer = mrCancel;
  report.ExportBuiltPages(&filter, Utf8ToAnsi(vetoed));
  EXPECT_EQ(filter.calls, std::vector<std::string>{"setup"});
  EXPECT_NE(testsupport::RunCommand("test -e '" + vetoed + "'", nullptr), 0);
}

TEST(ExportFilterRegistry, AFilterIsListedOnceUntilItGoes) {
  const size_t before = frExportFilters().size();
  {
    NotingFilter filter;
    frRegisterExportFilter(&filter, "Text", "*.txt");
    frRegisterExportFilter(&filter, "Text again", "*.txt");
    ASSERT_EQ(frExportFilters().size(), before + 1);
    EXPECT_EQ(frExportFilters().back().Description, "Text");
    EXPECT_EQ(frExportFilters().back().Mask, "*.txt");
  }
  EXPECT_EQ(frExportFilters().size(), before);
}

TEST(PrintSwitchTest, AFailingPrinterIsReportedAndThePreviousOneStays) {
  TestWork work;
  printer_test::FakeDevice broken{"Broken"};
  printer_test::GlobalPrinters printers({{"Good"}, broken});
  printers.Backend().devices[1].broken = true;
  testsupport::RecordingDialogs dialogs;
  frGlobals();
  TfrReport report(nullptr);
  report.Pages().Add();
  EXPECT_FALSE(report.SwitchPrinter(0, 1));
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(AnsiToUtf8(dialogs.boxes[0].text), "Возникли проблемы с настройкой выбранного принтера.");
  EXPECT_EQ(AnsiToUtf8(dialogs.boxes[0].caption), "Ошибка");
  EXPECT_EQ(GlobalPrinterLayer().PrinterIndex(), 0);
  EXPECT_EQ(report.Template.PrinterName, "Good");

  EXPECT_TRUE(report.SwitchPrinter(0, 2));
  EXPECT_TRUE(GlobalPrinterLayer().IsVirtual());
  EXPECT_EQ(report.Template.PrinterName, GlobalPrinterLayer().Printers.Strings(2));
}

// Without any printer, printing says so and offers a PDF file instead.
TEST(PrintNoPrinterTest, PrintingWithoutPrintersOffersAPdfFile) {
  TestWork work;
  testsupport::RecordingDialogs dialogs;
  TfrReport report(nullptr);
  report.ShowProgress = false;
  report.ShowPrintDialog = false;
  AddTextPage(*report.EMFPages(), {"Без принтера"});

  dialogs.box_answer = IDNO;
  report.PrintWithDialog();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_NE(AnsiToUtf8(dialogs.boxes[0].text).find("PDF"), std::string::npos);

  const std::string pdf = testsupport::TempDir("print_no_printer") + "/out.pdf";
  dialogs.box_answer = IDYES;
  dialogs.chosen_file = pdf;
  report.PrintWithDialog();
  std::string text;
  ASSERT_EQ(testsupport::RunCommand("pdftotext '" + pdf + "' -", &text), 0);
  EXPECT_NE(text.find("Без принтера"), std::string::npos) << text;
  // The machine is without printers again.
  SetPrinter(std::make_unique<TPrinter>(
      std::make_unique<printer_test::FakePrinters>(std::vector<printer_test::FakeDevice>{})));
  FreeGlobalPrinterLayer();
}

}  // namespace print_job_test

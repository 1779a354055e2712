// The printer object over its back ends: the PDF back end's printer, its
// metrics and its jobs written as PDF files (read back with poppler's tools),
// and a printer object without any printer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/testsupport.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/units.h"
#include "toolkit/ui/printers.h"

namespace printers_test {

// A system that knows no printer at all.
class NoPrinters : public TPrinterBackend {
 public:
  std::vector<AnsiString> PrinterNames() override { return {}; }
  int DefaultPrinterIndex() override { return 0; }
  TDeviceMode DefaultDeviceMode(int) override { throw EPrinter("no printer"); }
  TPrinterDeviceCaps DeviceCaps(int, const TDeviceMode&) override { throw EPrinter("no printer"); }
  std::vector<TPrinterPaper> Papers(int) override { throw EPrinter("no printer"); }
  std::vector<TPrinterBin> Bins(int) override { throw EPrinter("no printer"); }
  std::unique_ptr<TPrintJob> StartJob(int, const TDeviceMode&, const AnsiString&, int) override {
    throw EPrinter("no printer");
  }
  bool EditSettings(int, TDeviceMode&) override { return false; }
};

TDeviceMode Mode(int paper, int16_t orientation = DMORIENT_PORTRAIT, int16_t width = 0, int16_t length = 0) {
  TDeviceMode mode;
  mode.Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
  mode.PaperSize = static_cast<int16_t>(paper);
  mode.Orientation = orientation;
  mode.PaperWidth = width;
  mode.PaperLength = length;
  return mode;
}

std::string RunTool(const std::string& command) {
  std::string out;
  EXPECT_EQ(testsupport::RunCommand(command, &out), 0) << command;
  return out;
}

// The value of one "Key: value" line of pdfinfo's report.
std::string InfoField(const std::string& info, const std::string& key) {
  const std::string text = "\n" + info;
  const size_t at = text.find("\n" + key + ":");
  if (at == std::string::npos) return "<missing>";
  const size_t start = text.find_first_not_of(' ', at + key.size() + 2);
  return text.substr(start, text.find('\n', start) - start);
}

TEST(PdfPrinter, OffersOnePrinterWithTheStandardPapersOnce) {
  TPrinter printer(std::make_unique<TPdfPrinterBackend>(testsupport::TempDir("pdf")));
  ASSERT_EQ(printer.Printers().Count(), 1);
  EXPECT_EQ(printer.Printers().Strings(0), "PDF");
  EXPECT_EQ(printer.PrinterIndex(), 0);
  EXPECT_EQ(printer.DeviceName(), "PDF");
  ASSERT_TRUE(printer.DeviceMode().has_value());
  EXPECT_EQ(printer.DeviceMode()->PaperSize, DMPAPER_A4);

  const std::vector<TPrinterPaper> papers = printer.Papers();
  ASSERT_FALSE(papers.empty());
  for (size_t i = 1; i < papers.size(); ++i) EXPECT_LT(papers[i - 1].Code, papers[i].Code);
  const auto a4 = std::find_if(papers.begin(), papers.end(), [](const TPrinterPaper& p) { return p.Code == 9; });
  ASSERT_NE(a4, papers.end());
  EXPECT_EQ(a4->Width, 2100);
  EXPECT_EQ(a4->Height, 2970);
  const auto letter = std::find_if(papers.begin(), papers.end(), [](const TPrinterPaper& p) { return p.Code == 1; });
  ASSERT_NE(letter, papers.end());
  EXPECT_EQ(letter->Width, 2159);
  EXPECT_EQ(letter->Height, 2794);
}

TEST(PdfPrinter, MetricsFollowPaperAndOrientation) {
  TPdfPrinterBackend backend(testsupport::TempDir("pdf"));
  struct Case {
    TDeviceMode mode;
    TPrinterDeviceCaps caps;
  };
  // 300 pixels per inch over the whole sheet: A4 is 2100 x 2970 tenths of a mm.
  const Case cases[] = {
      {Mode(DMPAPER_A4), {300, 300, 2480, 3508, 0, 0, 2480, 3508}},
      {Mode(DMPAPER_A4, DMORIENT_LANDSCAPE), {300, 300, 3508, 2480, 0, 0, 3508, 2480}},
      {Mode(DMPAPER_USER, DMORIENT_PORTRAIT, 1000, 1500), {300, 300, 1181, 1772, 0, 0, 1181, 1772}},
      {Mode(11), {300, 300, 1748, 2480, 0, 0, 1748, 2480}},  // A5
  };
  for (const Case& c : cases) EXPECT_EQ(backend.DeviceCaps(0, c.mode), c.caps) << c.mode.PaperSize;
}

TEST(PdfPrinter, PaperWithoutSidesIsRefused) {
  TPdfPrinterBackend backend(testsupport::TempDir("pdf"));
  for (const TDeviceMode& mode : {Mode(DMPAPER_USER, DMORIENT_PORTRAIT, 0, 0),
                                  Mode(DMPAPER_USER, DMORIENT_PORTRAIT, 1000, 0),
                                  Mode(DMPAPER_USER, DMORIENT_PORTRAIT, -5, 1000)})
    EXPECT_THROW(backend.DeviceCaps(0, mode), EPrinter) << mode.PaperWidth << " x " << mode.PaperLength;
  EXPECT_THROW(backend.DeviceCaps(1, Mode(DMPAPER_A4)), EPrinter);
}

TEST(PdfPrinter, AJobBecomesAPdfFileWithItsPagesTitleAndText) {
  const std::string folder = testsupport::TempDir("jobs");
  auto owned = std::make_unique<TPdfPrinterBackend>(folder);
  TPdfPrinterBackend* backend = owned.get();
  TPrinter printer(std::move(owned));
  printer.Title = "Protocol 7";
  printer.BeginDoc();
  EXPECT_TRUE(printer.Printing());
  EXPECT_EQ(printer.PageNumber(), 1);
  printer.Canvas()->TextOut(300, 300, "First sheet");
  printer.SetDeviceMode(Mode(DMPAPER_A4, DMORIENT_LANDSCAPE));
  printer.NewPage();
  EXPECT_EQ(printer.PageNumber(), 2);
  printer.Canvas()->TextOut(300, 300, "Second sheet");
  printer.EndDoc();
  EXPECT_FALSE(printer.Printing());

  ASSERT_EQ(backend->Files().size(), 1u);
  const std::string file = backend->Files()[0];
  EXPECT_EQ(std::filesystem::path(file).filename(), "job1.pdf");
  const std::string info = RunTool("pdfinfo -f 1 -l 2 '" + file + "'");
  EXPECT_EQ(InfoField(info, "Title"), "Protocol 7");
  EXPECT_EQ(InfoField(info, "Pages"), "2");
  EXPECT_EQ(InfoField(info, "Page    1 size"), "595 x 842 pts (A4)");
  EXPECT_EQ(InfoField(info, "Page    2 size"), "842 x 595 pts (A4)");
  const std::string text = RunTool("pdftotext '" + file + "' -");
  EXPECT_NE(text.find("First sheet"), std::string::npos) << text;
  EXPECT_NE(text.find("Second sheet"), std::string::npos) << text;

  // The next job never overwrites the first.
  printer.BeginDoc();
  printer.EndDoc();
  ASSERT_EQ(backend->Files().size(), 2u);
  EXPECT_EQ(std::filesystem::path(backend->Files()[1]).filename(), "job2.pdf");
}

TEST(PdfPrinter, SettingsCannotChangePrinterWhileAJobRuns) {
  TPrinter printer(std::make_unique<TPdfPrinterBackend>(testsupport::TempDir("jobs")));
  printer.BeginDoc();
  EXPECT_THROW(printer.BeginDoc(), EPrinter);
  EXPECT_THROW(printer.SetPrinterIndex(0), EPrinter);
  printer.Abort();
  EXPECT_TRUE(printer.Aborted());
  EXPECT_FALSE(printer.Printing());
  EXPECT_THROW(printer.EndDoc(), EPrinter);
}

TEST(NoPrinter, EveryJobIsRefused) {
  TPrinter printer(std::make_unique<NoPrinters>());
  EXPECT_EQ(printer.Printers().Count(), 0);
  EXPECT_EQ(printer.PrinterIndex(), -1);
  EXPECT_EQ(printer.DeviceName(), "");
  EXPECT_FALSE(printer.DeviceMode().has_value());
  EXPECT_THROW(printer.SetPrinterIndex(0), EPrinter);
  EXPECT_THROW(printer.DeviceCaps(), EPrinter);
  EXPECT_THROW(printer.BeginDoc(), EPrinter);
  EXPECT_THROW(printer.Canvas(), EPrinter);
  EXPECT_THROW(printer.SetDeviceMode(TDeviceMode{}), EPrinter);
}

TEST(ProcessPrinter, KIV7_PRINT_TO_PDFChoosesThePdfPrinter) {
  const std::string folder = testsupport::TempDir("env");
  ::setenv("KIV7_PRINT_TO_PDF", folder.c_str(), 1);
  SetPrinter(nullptr);
  TPrinter* printer = Printer();
  ::unsetenv("KIV7_PRINT_TO_PDF");
  ASSERT_EQ(printer->Printers().Count(), 1);
  EXPECT_EQ(printer->Printers().Strings(0), "PDF");
  printer->BeginDoc();
  printer->EndDoc();
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "job1.pdf"));
  SetPrinter(nullptr);
}

// The printer object holds the GUI library's printers: the units' shut-down
// frees it while that library is there, and the next use makes one anew.
TEST(ProcessPrinter, TheUnitsShutDownFreesItAndTheNextUseMakesOneAnew) {
  class Watched : public NoPrinters {
   public:
    explicit Watched(bool& freed) : freed_(freed) {}
    ~Watched() override { freed_ = true; }

   private:
    bool& freed_;
  };
  bool freed = false;
  SetPrinter(std::make_unique<TPrinter>(std::make_unique<Watched>(freed)));
  ASSERT_EQ(Printer()->Printers().Count(), 0);
  FinalizeUnits();
  EXPECT_TRUE(freed);

  const std::string folder = testsupport::TempDir("again");
  ::setenv("KIV7_PRINT_TO_PDF", folder.c_str(), 1);
  TPrinter* again = Printer();
  ::unsetenv("KIV7_PRINT_TO_PDF");
  ASSERT_EQ(again->Printers().Count(), 1);
  EXPECT_EQ(again->Printers().Strings(0), "PDF");
  SetPrinter(nullptr);
}

}  // namespace printers_test

// The report engine's printer layer: the virtual printer and its fixed
// metrics, system printers through the toolkit's printer object, paper
// application and comparison, and drivers that fail.
#include <gtest/gtest.h>

#include "report/fr_prntr.h"
#include "tests/report/printer_support.h"
#include "toolkit/core/text.h"

namespace printer_layer_test {

using printer_test::FakeDevice;
using printer_test::FakePrinters;

const AnsiString kVirtualName = Utf8ToAnsi("Виртуальный принтер");

struct Bound {
  explicit Bound(std::vector<FakeDevice> devices, int default_index = 0) {
    auto owned = std::make_unique<FakePrinters>(std::move(devices), default_index);
    backend = owned.get();
    printer = std::make_unique<TPrinter>(std::move(owned));
    layer.SetPrinter(printer.get());
  }
  FakePrinters* backend;
  std::unique_ptr<TPrinter> printer;
  TfrPrinter layer;
};

std::vector<FakeDevice> TwoPrinters() {
  FakeDevice alpha;
  alpha.name = "Alpha";
  FakeDevice beta;
  beta.name = "Beta";
  beta.dpi = 300;
  beta.margin = 0;
  return {alpha, beta};
}

TEST(VirtualPrinter, IsTheOnlyPrinterWithoutSystemPrinters) {
  Bound bound({});
  TfrPrinter& layer = bound.layer;
  ASSERT_EQ(layer.Printers.Count(), 1);
  EXPECT_EQ(layer.Printers.Strings(0), kVirtualName);
  EXPECT_EQ(layer.PrinterIndex(), 0);
  EXPECT_EQ(layer.VirtualPrinterIndex(), 0);
  EXPECT_TRUE(layer.IsVirtual());
  EXPECT_EQ(layer.PaperCount, 67);
  EXPECT_EQ(layer.PaperCodes.front(), 1);
  EXPECT_EQ(layer.PaperCodes.back(), 256);
  EXPECT_EQ(layer.PaperSize, 9);
  EXPECT_EQ(layer.PaperWidth, 2100);
  EXPECT_EQ(layer.PaperHeight, 2970);
  EXPECT_EQ(layer.BinCount, 1);
}

TEST(VirtualPrinter, A4HasItsFixedMetrics) {
  Bound bound({});
  PageMetrics expected;
  expected.PageWidth = 758;
  expected.PageHeight = 1071;
  expected.LeftOffset = expected.TopOffset = 18;
  expected.PrintableWidth = 722;
  expected.PrintableHeight = 1035;
  EXPECT_EQ(bound.layer.FillPageMetrics(), expected);
}

TEST(VirtualPrinter, PaperTableRowsWithOrientation) {
  struct Case {
    int size, width, height, orientation;
    int want_width, want_height;
    int page_width, page_height;
  };
  const Case cases[] = {
      {9, 0, 0, 1, 2970, 2100, 1071, 758},           // landscape A4 exchanges the sides
      {11, 0, 0, 0, 1480, 2100, 534, 758},           // A5
      {9, 1, 1, 0, 2100, 2970, 758, 1071},           // a standard size ignores the given sides
      {256, 1000, 1500, 0, 1000, 1500, 361, 541},    // custom
      {256, 1000, 1500, 1, 1000, 1500, 361, 541},    // custom sides are taken as given
      {48, 800, 900, 0, 800, 900, 289, 325},         // a code the table lacks is taken by its sides
  };
  for (const Case& c : cases) {
    Bound bound({});
    bound.layer.ApplyPaper(c.size, c.width, c.height, false, c.orientation, kDefaultBin);
    EXPECT_EQ(bound.layer.PaperSize, c.size);
    EXPECT_EQ(bound.layer.PaperWidth, c.want_width) << c.size;
    EXPECT_EQ(bound.layer.PaperHeight, c.want_height) << c.size;
    EXPECT_EQ(bound.layer.Orientation, c.orientation);
    const PageMetrics m = bound.layer.FillPageMetrics();
    EXPECT_EQ(m.PageWidth, c.page_width) << c.size;
    EXPECT_EQ(m.PageHeight, c.page_height) << c.size;
    EXPECT_EQ(m.PrintableWidth, c.page_width - 36);
  }
}

TEST(VirtualPrinter, PaperWithoutSidesIsRefusedAndNothingChanges) {
  struct Case {
    int size, width, height;
  };
  const Case cases[] = {{256, 0, 0}, {256, 0, 2970}, {256, 2100, 0}, {256, -10, 2970},
                        {256, 40000, 2970}, {48, 0, 0}, {300, 0, 100}};
  for (const Case& c : cases) {
    Bound bound({});
    bound.layer.ApplyPaper(11, 0, 0, false, 1, kDefaultBin);
    EXPECT_THROW(bound.layer.ApplyPaper(c.size, c.width, c.height, true, 0, kDefaultBin), EPrinter)
        << c.size << ": " << c.width << " x " << c.height;
    EXPECT_EQ(bound.layer.PaperSize, 11);
    EXPECT_EQ(bound.layer.PaperWidth, 2100);
    EXPECT_EQ(bound.layer.PaperHeight, 1480);
    EXPECT_EQ(bound.layer.Orientation, 1);
  }
}

TEST(PaperComparison, StandardSizesCompareOrientationAndBinCustomSidesWithinATenth) {
  Bound bound({});
  TfrPrinter& layer = bound.layer;
  layer.PaperSize = 9;
  layer.Orientation = 0;
  layer.Bin = 15;
  struct Case {
    int size, width, height, orientation, bin;
    bool equal;
  };
  const Case standard[] = {
      {9, 0, 0, 0, 15, true},      {9, 5, 7, 0, 15, true},   {9, 0, 0, 0, -1, true},
      {9, 0, 0, 0, 0xFFFF, true},  {9, 0, 0, 0, 7, false},   {9, 0, 0, 1, 15, false},
      {11, 0, 0, 0, 15, false},    {256, 2100, 2970, 0, 15, false},
  };
  for (const Case& c : standard)
    EXPECT_EQ(layer.IsEqualPaper(c.size, c.width, c.height, c.orientation, c.bin), c.equal)
        << c.size << " " << c.orientation << " " << c.bin;

  layer.PaperSize = 256;
  layer.PaperWidth = 2100;
  layer.PaperHeight = 2971;
  const Case custom[] = {
      {256, 2101, 2970, 0, 7, true},   {256, 2100, 2971, 0, -1, true}, {256, 2099, 2972, 0, 15, true},
      {256, 2102, 2971, 0, 15, false}, {256, 2100, 2969, 0, 15, false}, {256, 2100, 2971, 1, 15, false},
  };
  for (const Case& c : custom)
    EXPECT_EQ(layer.IsEqualPaper(c.size, c.width, c.height, c.orientation, c.bin), c.equal)
        << c.width << " x " << c.height << " " << c.orientation;
}

TEST(SystemPrinters, ListFollowedByTheVirtualPrinterAndDefaultSelected) {
  Bound bound(TwoPrinters(), 1);
  TfrPrinter& layer = bound.layer;
  ASSERT_EQ(layer.Printers.Count(), 3);
  EXPECT_EQ(layer.Printers.Strings(0), "Alpha");
  EXPECT_EQ(layer.Printers.Strings(1), "Beta");
  EXPECT_EQ(layer.Printers.Strings(2), kVirtualName);
  EXPECT_EQ(layer.VirtualPrinterIndex(), 2);
  EXPECT_EQ(layer.PrinterIndex(), 1);
  EXPECT_EQ(layer.Device, "Beta");
}

TEST(SystemPrinters, SettingsAreReadFromTheDriver) {
  Bound bound(TwoPrinters());
  TfrPrinter& layer = bound.layer;
  EXPECT_EQ(layer.PaperSize, 9);
  // 4961 device pixels at 600 per inch are 2100 tenths of a millimetre.
  EXPECT_EQ(layer.PaperWidth, 2100);
  EXPECT_EQ(layer.PaperHeight, 2970);
  EXPECT_EQ(layer.Orientation, 0);
  EXPECT_EQ(layer.Bin, 7);
  ASSERT_EQ(layer.PaperCount, 3);
  EXPECT_EQ(layer.PaperCodes, (std::vector<uint16_t>{9, 11, 1}));
  EXPECT_EQ(layer.PaperNames.Strings(1), "A5");
  ASSERT_EQ(layer.BinCount, 3);
  EXPECT_EQ(layer.BinNames.Count(), 3);
  EXPECT_EQ(layer.BinNames.Strings(0), "");  // the library has no text for the default source
  EXPECT_EQ(layer.BinNames.Strings(2), "Tray 2");
  EXPECT_EQ(layer.BinCodes, (std::vector<uint16_t>{7, 15}));
}

TEST(SystemPrinters, MetricsInDevicePixelsAndPagePixels) {
  Bound bound(TwoPrinters());
  const PageMetrics m = bound.layer.FillPageMetrics();
  EXPECT_EQ(m.DevicePageWidth, 4961);
  EXPECT_EQ(m.DevicePageHeight, 7016);
  EXPECT_EQ(m.DeviceLeftOffset, 100);
  EXPECT_EQ(m.DeviceTopOffset, 100);
  EXPECT_EQ(m.DevicePrintableWidth, 4761);
  EXPECT_EQ(m.DevicePrintableHeight, 6816);
  EXPECT_EQ(m.PageWidth, 758);       // 4961 x 91.626 / 600
  EXPECT_EQ(m.PageHeight, 1071);
  EXPECT_EQ(m.LeftOffset, 15);
  EXPECT_EQ(m.TopOffset, 15);
  EXPECT_EQ(m.PrintableWidth, 727);
  EXPECT_EQ(m.PrintableHeight, 1041);
}

TEST(SystemPrinters, AppliedPaperReachesTheDeviceSettings) {
  struct Case {
    int size, width, height, orientation, bin;
    TDeviceMode want;
  };
  const uint32_t all = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_DEFAULTSOURCE;
  const uint32_t standard = all & ~(DM_PAPERLENGTH | DM_PAPERWIDTH);
  const Case cases[] = {
      {11, 0, 0, 1, -1, {standard, DMORIENT_LANDSCAPE, 11, 0, 0, 1, 7}},
      {9, 0, 0, 0, 15, {standard, DMORIENT_PORTRAIT, 9, 0, 0, 1, 15}},
      {9, 0, 0, 0, 0xFFFF, {standard, DMORIENT_PORTRAIT, 9, 0, 0, 1, 7}},
      {256, 1000, 1500, 0, -1, {all, DMORIENT_PORTRAIT, 256, 1500, 1000, 1, 7}},
  };
  for (const Case& c : cases) {
    Bound bound(TwoPrinters());
    bound.layer.ApplyPaper(c.size, c.width, c.height, true, c.orientation, c.bin);
    EXPECT_EQ(*bound.printer->DeviceMode(), c.want) << c.size << " " << c.bin;
    EXPECT_EQ(bound.layer.PaperSize, c.size);
  }
  Bound bound(TwoPrinters());
  bound.layer.ApplyPaper(11, 0, 0, false, 1, -1);
  EXPECT_EQ(bound.layer.PaperWidth, 2100);  // landscape A5 as the driver reports it
  EXPECT_EQ(bound.layer.PaperHeight, 1480);
}

TEST(SystemPrinters, TheSamePaperTwiceIsAppliedOnceUnlessForced) {
  Bound bound(TwoPrinters());
  bound.layer.ApplyPaper(11, 0, 0, false, 0, 15);
  const int calls = bound.backend->caps_calls;
  bound.layer.ApplyPaper(11, 0, 0, false, 0, 15);
  bound.layer.ApplyPaper(11, 0, 0, false, 0, -1);
  EXPECT_EQ(bound.backend->caps_calls, calls);
  bound.layer.ApplyPaper(11, 0, 0, true, 0, 15);
  EXPECT_GT(bound.backend->caps_calls, calls);
}

TEST(SystemPrinters, NothingIsAppliedWhilePrinting) {
  auto printer = std::make_unique<TPrinter>(std::make_unique<TPdfPrinterBackend>(::testing::TempDir() + "/r3jobs"));
  TfrPrinter layer;
  layer.SetPrinter(printer.get());
  printer->BeginDoc();
  layer.ApplyPaper(11, 0, 0, true, 1, -1);
  EXPECT_EQ(layer.PaperSize, 9);
  EXPECT_EQ(printer->DeviceMode()->PaperSize, 9);
  printer->Abort();
}

TEST(SystemPrinters, AFailingDriverLeavesTheVirtualPrinter) {
  std::vector<FakeDevice> devices = TwoPrinters();
  devices[1].broken = true;
  Bound bound(devices);
  bound.layer.SetPrinterIndex(1);
  EXPECT_TRUE(bound.layer.IsVirtual());
  EXPECT_EQ(bound.layer.PrinterIndex(), 2);
  EXPECT_EQ(bound.layer.PaperCount, 67);
  EXPECT_EQ(bound.layer.FillPageMetrics().PageWidth, 758);

  // Back to a working printer.
  bound.layer.SetPrinterIndex(0);
  EXPECT_FALSE(bound.layer.IsVirtual());
  EXPECT_EQ(bound.layer.PaperCount, 3);
  EXPECT_THROW(bound.layer.SetPrinterIndex(3), EPrinter);
  EXPECT_THROW(bound.layer.SetPrinterIndex(-1), EPrinter);
  EXPECT_EQ(bound.layer.PrinterIndex(), 0);
}

TEST(SystemPrinters, AFailingDriverAtBindingLeavesTheVirtualPrinter) {
  std::vector<FakeDevice> devices = TwoPrinters();
  devices[0].broken = true;
  Bound bound(devices);
  EXPECT_TRUE(bound.layer.IsVirtual());
  EXPECT_EQ(bound.layer.PaperWidth, 2100);
}

TEST(SystemPrinters, PaperNeitherPrinterCanSizeIsRefused) {
  Bound bound(TwoPrinters());
  bound.layer.ApplyPaper(11, 0, 0, false, 0, -1);
  // The driver fails on code 300 and the virtual printer's table lacks it.
  EXPECT_THROW(bound.layer.ApplyPaper(300, 0, 0, false, 0, -1), EPrinter);
  EXPECT_EQ(bound.layer.PaperSize, 11);
  EXPECT_EQ(bound.layer.PaperWidth, 1480);
  EXPECT_EQ(bound.layer.PaperHeight, 2100);
  // With sides of its own it is printed on the virtual printer.
  bound.layer.ApplyPaper(300, 1000, 1200, false, 0, -1);
  EXPECT_TRUE(bound.layer.IsVirtual());
  EXPECT_EQ(bound.layer.PaperWidth, 1000);
}

TEST(SystemPrinters, PaperListsAreCutToWhatTheTablesHold) {
  FakeDevice big;
  big.name = "Plotter";
  big.papers.clear();
  for (int i = 0; i < 300; ++i) big.papers.push_back({static_cast<uint16_t>(i + 1), "P", 1000, 1000});
  big.bins.assign(80, TPrinterBin{7, "Auto"});
  Bound bound({big});
  EXPECT_EQ(bound.layer.PaperCount, 256);
  EXPECT_EQ(bound.layer.PaperNames.Count(), 256);
  EXPECT_EQ(bound.layer.BinCount, 65);
  EXPECT_EQ(bound.layer.BinNames.Count(), 65);
}

TEST(SystemPrinters, DriverDialogChangesTheSettingsOnlyWhenAccepted) {
  Bound bound(TwoPrinters());
  bound.layer.EditDeviceMode();
  EXPECT_EQ(bound.printer->DeviceMode()->PaperSize, 9);
  bound.backend->accept_dialog = true;
  bound.layer.EditDeviceMode();
  EXPECT_EQ(bound.printer->DeviceMode()->PaperSize, 11);
  bound.layer.Update();
  EXPECT_EQ(bound.layer.PaperSize, 11);
}

TEST(GlobalLayer, BindsTheProcessPrinterOnFirstUse) {
  printer_test::GlobalPrinters printers(TwoPrinters());
  EXPECT_FALSE(PrinterLayerReady());
  TfrPrinter& layer = GlobalPrinterLayer();
  EXPECT_TRUE(PrinterLayerReady());
  EXPECT_EQ(layer.Printers.Count(), 3);
  EXPECT_EQ(StartupPaperSize(), 9);
  EXPECT_EQ(&GlobalPrinterLayer(), &layer);
}

}  // namespace printer_layer_test

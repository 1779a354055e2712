// A printer system for the printer layer's and the template page's tests:
// printers with a resolution, margins, papers and bins the test chooses, a
// driver that can be made to fail, and a count of the driver's metric reports.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "report/fr_prntr.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/ui/printers.h"

namespace printer_test {

struct FakeDevice {
  AnsiString name;
  int dpi = 600;
  // Unprintable border on every side, device pixels.
  int margin = 100;
  bool broken = false;
  std::vector<TPrinterPaper> papers = {{9, "A4", 2100, 2970}, {11, "A5", 1480, 2100}, {1, "Letter", 2159, 2794}};
  std::vector<TPrinterBin> bins = {{7, "Auto"}, {15, "Tray 2"}};
};

class FakePrinters : public TPrinterBackend {
 public:
  explicit FakePrinters(std::vector<FakeDevice> devices, int default_index = 0)
      : devices(std::move(devices)), default_index(default_index) {}

  std::vector<AnsiString> PrinterNames() override {
    std::vector<AnsiString> names;
    for (const auto& d : devices) names.push_back(d.name);
    return names;
  }
  int DefaultPrinterIndex() override { return default_index; }
  TDeviceMode DefaultDeviceMode(int index) override {
    Device(index);
    TDeviceMode mode;
    mode.Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_DEFAULTSOURCE;
    mode.PaperSize = 9;
    mode.DefaultSource = 7;
    mode.Copies = 3;
    return mode;
  }
  TPrinterDeviceCaps DeviceCaps(int index, const TDeviceMode& mode) override {
    const FakeDevice& d = Device(index);
    ++caps_calls;
    int width = mode.PaperWidth, height = mode.PaperLength;
    if (mode.PaperSize != DMPAPER_USER) {
      width = height = 0;
      for (const auto& p : d.papers)
        if (p.Code == mode.PaperSize) width = p.Width, height = p.Height;
      if (width == 0) throw EPrinter("unknown paper");
    }
    if (mode.Orientation == DMORIENT_LANDSCAPE) std::swap(width, height);
    TPrinterDeviceCaps caps;
    caps.LogPixelsX = caps.LogPixelsY = d.dpi;
    caps.PhysicalWidth = static_cast<int>(std::lround(width * d.dpi / 254.0));
    caps.PhysicalHeight = static_cast<int>(std::lround(height * d.dpi / 254.0));
    caps.PhysicalOffsetX = caps.PhysicalOffsetY = d.margin;
    caps.HorzRes = caps.PhysicalWidth - 2 * d.margin;
    caps.VertRes = caps.PhysicalHeight - 2 * d.margin;
    return caps;
  }
  std::vector<TPrinterPaper> Papers(int index) override { return Device(index).papers; }
  std::vector<TPrinterBin> Bins(int index) override { return Device(index).bins; }
  std::unique_ptr<TPrintJob> StartJob(int, const TDeviceMode&, const AnsiString&, int) override {
    throw EPrinter("no jobs here");
  }
  bool EditSettings(int index, TDeviceMode& mode) override {
    Device(index);
    if (!accept_dialog) return false;
    mode.PaperSize = 11;
    return true;
  }

  // The page set-up dialog: what it was opened on, and the answer it gives
  // when accept_dialog is set.
  bool PageSetup(int index, TDeviceMode& mode, TPageMargins& margins) override {
    Device(index);
    offered_margins = margins;
    if (!accept_dialog) return false;
    mode.Orientation = answer_orientation;
    margins = answer_margins;
    return true;
  }

  std::vector<FakeDevice> devices;
  int default_index = 0;
  int caps_calls = 0;
  bool accept_dialog = false;
  TPageMargins offered_margins{-1, -1, -1, -1};
  TPageMargins answer_margins;
  int16_t answer_orientation = DMORIENT_PORTRAIT;

 private:
  const FakeDevice& Device(int index) {
    if (index < 0 || index >= static_cast<int>(devices.size())) throw EPrinter("Printer index out of range");
    if (devices[static_cast<size_t>(index)].broken) throw EPrinter("driver failed");
    return devices[static_cast<size_t>(index)];
  }
};

// Installs a printer object on these devices as the process's one and makes
// the global printer layer bind it anew; restores a machine without printers
// at the end.
class GlobalPrinters {
 public:
  explicit GlobalPrinters(std::vector<FakeDevice> devices = {}) {
    auto backend = std::make_unique<FakePrinters>(std::move(devices));
    backend_ = backend.get();
    SetPrinter(std::make_unique<TPrinter>(std::move(backend)));
    FreeGlobalPrinterLayer();
  }
  ~GlobalPrinters() {
    SetPrinter(std::make_unique<TPrinter>(std::make_unique<FakePrinters>(std::vector<FakeDevice>{})));
    FreeGlobalPrinterLayer();
  }
  FakePrinters& Backend() { return *backend_; }

 private:
  FakePrinters* backend_;
};

}  // namespace printer_test

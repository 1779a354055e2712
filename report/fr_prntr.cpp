#include "report/fr_prntr.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "toolkit/core/units.h"
#include "report/fr_texts.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/ui/printers.h"

namespace {

// Texts of the library: the virtual printer's name, the first paper name of
// the table (one per row after it) and the default paper source.
constexpr int kVirtualPrinterText = 55007;
constexpr int kFirstPaperText = 55008;
constexpr int kDefaultBinText = 55435;

// The tables of a printer's paper codes and source names hold this many.
constexpr size_t kMaxPapers = 256;
constexpr size_t kMaxBins = 64;

// The virtual printer's margins: 5 mm on every side.
constexpr int kVirtualMarginTenths = 50;

int ToPagePixels(double tenths) { return static_cast<int>(PasRound(tenths * kPagePixelsPerInch / 254)); }

bool IsDefaultBin(int bin) { return bin == kDefaultBin || (bin & 0xFFFF) == 0xFFFF; }

AnsiString Text(int number) { return LocaleObject().LoadText(number); }

}  // namespace

const std::vector<TfrPaperInfo>& PaperTable() {
  static const std::vector<TfrPaperInfo> table = {
      {1, 2159, 2794},  {2, 2159, 2794},  {3, 2794, 4318},  {4, 4318, 2794},  {5, 2159, 3556},
      {6, 1397, 2159},  {7, 1842, 2667},  {8, 2970, 4200},  {9, 2100, 2970},  {10, 2100, 2970},
      {11, 1480, 2100}, {12, 2500, 3540}, {13, 1820, 2570}, {14, 2159, 3302}, {15, 2150, 2750},
      {16, 2540, 3556}, {17, 2794, 4318}, {18, 2159, 2794}, {19, 984, 2254},  {20, 1048, 2413},
      {21, 1143, 2635}, {22, 1207, 2794}, {23, 1270, 2921}, {24, 4318, 5588}, {25, 5588, 8636},
      {26, 8636, 11176}, {27, 1100, 2200}, {28, 1620, 2290}, {29, 3240, 4580}, {30, 2290, 3240},
      {31, 1140, 1620}, {32, 1140, 2290}, {33, 2500, 3530}, {34, 1760, 2500}, {35, 1760, 1250},
      {36, 1100, 2300}, {37, 984, 1905},  {38, 920, 1651},  {39, 3778, 2794}, {40, 2159, 3048},
      {41, 2159, 3302}, {42, 2500, 3530}, {43, 1000, 1480}, {44, 2286, 2794}, {45, 2540, 2794},
      {46, 3810, 2794}, {47, 2200, 2200}, {50, 2355, 3048}, {51, 2355, 3810}, {52, 2969, 4572},
      {53, 2354, 3223}, {54, 2101, 2794}, {55, 2100, 2970}, {56, 2355, 3048}, {57, 2270, 3560},
      {58, 3050, 4870}, {59, 2159, 3223}, {60, 2100, 3300}, {61, 1480, 2100}, {62, 1820, 2570},
      {63, 3220, 4450}, {64, 1740, 2350}, {65, 2010, 2760}, {66, 4200, 5940}, {67, 2970, 4200},
      {68, 3220, 4450}, {kCustomPaperSize, 0, 0},
  };
  return table;
}

const TfrPaperInfo* FindPaper(int code) {
  const auto& table = PaperTable();
  const auto found = std::find_if(table.begin(), table.end(), [code](const TfrPaperInfo& row) { return row.Code == code; });
  return found == table.end() ? nullptr : &*found;
}

TfrPrinter::TfrPrinter() {
  // Until a printer object is bound, the virtual printer is the only one.
  Printers.Add(Text(kVirtualPrinterText));
  WriteSettings();
}

TfrPrinter::~TfrPrinter() = default;

bool TfrPrinter::HasSystemPrinters() const { return printer_ != nullptr && printer_->Printers().Count() > 0; }

void TfrPrinter::SetPrinter(TPrinter* printer) {
  Printers.Clear();
  printer_index_ = 0;
  printer_ = printer;
  if (HasSystemPrinters()) {
    Printers.Assign(printer_->Printers());
    printer_index_ = std::max(0, printer_->PrinterIndex());
  }
  Printers.Add(Text(kVirtualPrinterText));
  virtual_index_ = Printers.Count() - 1;
  if (HasSystemPrinters())
    ReadSettings();
  else
    WriteSettings();
}

void TfrPrinter::SetPrinterIndex(int index) {
  if (index == printer_index_) return;
  if (index < 0 || index >= Printers.Count()) throw EPrinter("Printer index out of range");
  printer_index_ = index;
  if (index == virtual_index_) {
    WriteSettings();
  } else if (HasSystemPrinters()) {
    printer_->SetPrinterIndex(index);
    ReadSettings();
  }
}

void TfrPrinter::ReadSettings() {
  // The virtual printer has no driver to ask: its settings are its own.
  if (IsVirtual() || !HasSystemPrinters()) {
    WriteSettings();
    return;
  }
  try {
    // Everything is read first, so a driver that fails half-way leaves no
    // mixture of two printers' settings.
    const std::optional<TDeviceMode> mode = printer_->DeviceMode();
    if (!mode) throw EPrinter("The printer's settings cannot be read");
    const TPrinterDeviceCaps caps = printer_->DeviceCaps();
    if (caps.LogPixelsX <= 0 || caps.LogPixelsY <= 0) throw EPrinter("The printer reports no resolution");
    const std::vector<TPrinterPaper> papers = printer_->Papers();
    const std::vector<TPrinterBin> bins = printer_->Bins();

    Device = printer_->DeviceName();
    Driver = printer_->DriverName();
    Port = printer_->PortName();
    PaperSize = mode->PaperSize;
    PaperWidth = static_cast<int>(PasRound(static_cast<double>(caps.PhysicalWidth) / caps.LogPixelsX * 254));
    PaperHeight = static_cast<int>(PasRound(static_cast<double>(caps.PhysicalHeight) / caps.LogPixelsY * 254));
    PaperCodes.clear();
    PaperNames.Clear();
    for (size_t i = 0; i < papers.size() && i < kMaxPapers; ++i) {
      PaperCodes.push_back(papers[i].Code);
      PaperNames.Add(papers[i].Name);
    }
    PaperCount = static_cast<int>(PaperCodes.size());
    Bin = mode->DefaultSource;
    BinCodes.clear();
    BinNames.Clear();
    BinNames.Add(Text(kDefaultBinText));
    for (size_t i = 0; i < bins.size() && i < kMaxBins; ++i) {
      BinCodes.push_back(bins[i].Code);
      BinNames.Add(bins[i].Name);
    }
    BinCount = static_cast<int>(BinCodes.size()) + 1;
    Orientation = mode->Orientation == DMORIENT_PORTRAIT ? 0 : 1;
  } catch (const Exception&) {
    SetPrinterIndex(virtual_index_);
  }
}

void TfrPrinter::WriteSettings() {
  if (IsVirtual() || !HasSystemPrinters()) {
    PaperNames.Clear();
    PaperCodes.clear();
    for (size_t row = 0; row < PaperTable().size(); ++row) {
      PaperNames.Add(Text(kFirstPaperText + static_cast<int>(row)));
      PaperCodes.push_back(static_cast<uint16_t>(PaperTable()[row].Code));
    }
    PaperCount = static_cast<int>(PaperCodes.size());
    // The virtual printer takes paper from wherever the real one will.
    BinNames.Clear();
    BinNames.Add(Text(kDefaultBinText));
    BinCodes.clear();
    BinCount = 1;
    Device = Printers.Count() > 0 ? Printers.Strings(Printers.Count() - 1) : AnsiString();
    Driver.clear();
    Port.clear();
    if (PaperSize != kCustomPaperSize) {
      if (const TfrPaperInfo* row = FindPaper(PaperSize)) {
        PaperWidth = row->Width;
        PaperHeight = row->Height;
        if (Orientation != 0) std::swap(PaperWidth, PaperHeight);
      }
    }
    return;
  }
  std::optional<TDeviceMode> mode = printer_->DeviceMode();
  if (!mode) throw EPrinter("The printer's settings cannot be read");
  if (PaperSize == kCustomPaperSize) {
    mode->Fields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
    mode->PaperLength = static_cast<int16_t>(PaperHeight);
    mode->PaperWidth = static_cast<int16_t>(PaperWidth);
  } else {
    mode->Fields &= ~(DM_PAPERLENGTH | DM_PAPERWIDTH);
  }
  if (mode->Fields & DM_PAPERSIZE) mode->PaperSize = static_cast<int16_t>(PaperSize);
  if (mode->Fields & DM_ORIENTATION) mode->Orientation = Orientation != 0 ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
  if (mode->Fields & DM_COPIES) mode->Copies = 1;
  if ((mode->Fields & DM_DEFAULTSOURCE) && !IsDefaultBin(Bin)) mode->DefaultSource = static_cast<int16_t>(Bin);
  printer_->SetDeviceMode(*mode);
  ReadSettings();
}

bool TfrPrinter::IsEqualPaper(int size, int width, int height, int orientation, int bin) const {
  if (size != PaperSize) return false;
  if (size != kCustomPaperSize)
    return orientation == Orientation && (IsDefaultBin(bin) || bin == Bin);
  return std::abs(width - PaperWidth) <= 1 && std::abs(height - PaperHeight) <= 1 && orientation == Orientation;
}

void TfrPrinter::ApplyPaper(int size, int width, int height, bool force, int orientation, int bin) {
  if (printer_ != nullptr && printer_->Printing()) return;
  orientation = orientation != 0 ? 1 : 0;
  if (IsDefaultBin(bin)) bin = kDefaultBin;
  if (!force && IsEqualPaper(size, width, height, orientation, bin)) return;
  // A paper by its sides must have sides a printer can take; the virtual
  // printer takes the sides of any code its table lacks as well.
  const bool by_sides = size == kCustomPaperSize || ((IsVirtual() || !HasSystemPrinters()) && !FindPaper(size));
  if (by_sides && (width < 1 || height < 1 || width > kMaxPaperSide || height > kMaxPaperSide))
    throw EPrinter(Format("Paper of %d x %d (0.1 mm) cannot be printed on", {width, height}));
  const int old_size = PaperSize, old_width = PaperWidth, old_height = PaperHeight, old_bin = Bin;
  const uint8_t old_orientation = Orientation;
  // Paper the printer refuses leaves the settings as they were.
  TScopeFail refused([&] {
    PaperSize = old_size;
    PaperWidth = old_width;
    PaperHeight = old_height;
    Orientation = old_orientation;
    Bin = old_bin;
  });
  PaperSize = size;
  PaperWidth = width;
  PaperHeight = height;
  Orientation = static_cast<uint8_t>(orientation);
  Bin = bin;
  WriteSettings();
  // A driver that gave up on the paper may have left the virtual printer
  // with a code its table lacks, and so with no sides at all.
  if (PaperWidth < 1 || PaperHeight < 1)
    throw EPrinter(Format("Paper %d of %d x %d (0.1 mm) cannot be printed on", {size, width, height}));
}

PageMetrics TfrPrinter::FillPageMetrics() {
  PageMetrics m;
  if (IsVirtual() || !HasSystemPrinters()) {
    m.PageWidth = ToPagePixels(PaperWidth);
    m.PageHeight = ToPagePixels(PaperHeight);
    m.LeftOffset = ToPagePixels(kVirtualMarginTenths);
    m.TopOffset = ToPagePixels(kVirtualMarginTenths);
    m.PrintableWidth = m.PageWidth - 2 * m.LeftOffset;
    m.PrintableHeight = m.PageHeight - 2 * m.TopOffset;
    return m;
  }
  const TPrinterDeviceCaps caps = printer_->DeviceCaps();
  if (caps.LogPixelsX <= 0 || caps.LogPixelsY <= 0) throw EPrinter("The printer reports no resolution");
  const double kx = kPagePixelsPerInch / caps.LogPixelsX;
  const double ky = kPagePixelsPerInch / caps.LogPixelsY;
  const auto scale = [](double k, int value) { return static_cast<int32_t>(PasRound(k * value)); };
  m.DevicePageWidth = caps.PhysicalWidth;
  m.DevicePageHeight = caps.PhysicalHeight;
  m.DeviceLeftOffset = caps.PhysicalOffsetX;
  m.DeviceTopOffset = caps.PhysicalOffsetY;
  m.DevicePrintableWidth = caps.HorzRes;
  m.DevicePrintableHeight = caps.VertRes;
  m.PageWidth = scale(kx, m.DevicePageWidth);
  m.PageHeight = scale(ky, m.DevicePageHeight);
  m.LeftOffset = scale(kx, m.DeviceLeftOffset);
  m.TopOffset = scale(ky, m.DeviceTopOffset);
  m.PrintableWidth = scale(kx, m.DevicePrintableWidth);
  m.PrintableHeight = scale(ky, m.DevicePrintableHeight);
  return m;
}

void TfrPrinter::EditDeviceMode() {
  if (IsVirtual() || !HasSystemPrinters()) return;
  const std::optional<TDeviceMode> mode = printer_->DeviceMode();
  if (!mode) return;
  TDeviceMode copy = *mode;
  if (printer_->Backend().EditSettings(printer_->PrinterIndex(), copy)) printer_->SetDeviceMode(copy);
}

bool TfrPrinter::PageSetup(TPageMargins& margins) {
  if (IsVirtual() || !HasSystemPrinters()) return false;
  const std::optional<TDeviceMode> mode = printer_->DeviceMode();
  if (!mode) return false;
  TDeviceMode copy = *mode;
  TPageMargins chosen = margins;
  if (!printer_->Backend().PageSetup(printer_->PrinterIndex(), copy, chosen)) return false;
  printer_->SetDeviceMode(copy);
  ReadSettings();
  margins = chosen;
  return true;
}

void TfrPrinter::Update() { ReadSettings(); }

// ---- The global printer layer -----------------------------------------------------

namespace {

struct GlobalLayer {
  std::unique_ptr<TfrPrinter> layer;
  bool ready = false;
  int startup_paper_size = kDefaultPaperSize;
};

// Freed by the unit's shut-down only, never by static destruction.
GlobalLayer& Global() {
  static auto* global = new GlobalLayer();
  return *global;
}

const char kPrinterUnit = 0;
void FinalizePrinterUnit() {
  Global().layer.reset();
  Global().ready = false;
  Global().startup_paper_size = kDefaultPaperSize;
}

}  // namespace

TfrPrinter& GlobalPrinterLayer() {
  GlobalLayer& global = Global();
  if (!global.layer) {
    global.layer = std::make_unique<TfrPrinter>();
    // A printer object that cannot be made or bound leaves the virtual printer.
    TPrinter* printer = nullptr;
    try {
      printer = ::Printer();
    } catch (const std::exception&) {
      printer = nullptr;
    }
    if (printer != nullptr) {
      try {
        global.layer->SetPrinter(printer);
        global.startup_paper_size = global.layer->PaperSize;
      } catch (const std::exception&) {
      }
    }
    global.ready = true;
    RegisterUnit(&kPrinterUnit, "fr_prntr", FinalizePrinterUnit);
  }
  return *global.layer;
}

bool PrinterLayerReady() { return Global().ready; }

int StartupPaperSize() { return Global().startup_paper_size; }

void FreeGlobalPrinterLayer() { FinalizeUnit(&kPrinterUnit); }

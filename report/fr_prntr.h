// The report engine's printer layer: the printers of the toolkit's printer
// object plus the virtual printer, which stands for the absence of a real one
// (reports build and preview on its fixed metrics); the paper, orientation and
// bin of the current printer; the page's metrics in device pixels and in page
// pixels.
//
// Every length of the engine is in page pixels, 18600/203 (about 91.626) per
// inch; paper sizes are in tenths of a millimetre, paper codes are DMPAPER_*
// values with 256 for a size given by width and height.
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/core/classes.h"

class TPrinter;
struct TPageMargins;

// Page pixels per inch.
inline constexpr double kPagePixelsPerInch = 18600.0 / 203.0;
// The paper code of a size given by width and height.
inline constexpr int kCustomPaperSize = 256;
// A4, the paper a new printer layer starts with.
inline constexpr int kDefaultPaperSize = 9;
// The printer's default paper source; templates also hold it as 0xFFFF.
inline constexpr int kDefaultBin = -1;
// The largest paper side a printer's settings can carry (16 bits).
inline constexpr int kMaxPaperSide = 32767;

// The page's metrics; every template page and every built page keeps them.
struct PageMetrics {
  // The physical page, device pixels and page pixels.
  int32_t DevicePageWidth = 0, DevicePageHeight = 0;
  int32_t PageWidth = 0, PageHeight = 0;
  // Where the printable area starts.
  int32_t DeviceLeftOffset = 0, DeviceTopOffset = 0;
  int32_t LeftOffset = 0, TopOffset = 0;
  // The printable area.
  int32_t DevicePrintableWidth = 0, DevicePrintableHeight = 0;
  int32_t PrintableWidth = 0, PrintableHeight = 0;
  bool operator==(const PageMetrics&) const = default;
};

// One row of the paper table the virtual printer offers.
struct TfrPaperInfo {
  int Code;
  // Tenths of a millimetre, portrait.
  int Width, Height;
};
// The 67 rows; the last is the custom size 256 (0 x 0).
const std::vector<TfrPaperInfo>& PaperTable();
// The row of a paper code; nullptr for a code the table lacks.
const TfrPaperInfo* FindPaper(int code);

class TfrPrinter {
 public:
  TfrPrinter();
  ~TfrPrinter();
  TfrPrinter(const TfrPrinter&) = delete;
  TfrPrinter& operator=(const TfrPrinter&) = delete;

  // Binds the toolkit's printer object (nullptr: none) and reads the current
  // printer's settings; the virtual printer is appended to its printers.
  void SetPrinter(TPrinter* printer);
  TPrinter* Printer() const { return printer_; }
  // Selects the printer of that index of Printers (EPrinter out of range).
  void SetPrinterIndex(int index);
  int PrinterIndex() const { return printer_index_; }
  // Always the last index of Printers.
  int VirtualPrinterIndex() const { return virtual_index_; }
  bool IsVirtual() const { return printer_index_ == virtual_index_; }
  // Whether the toolkit's printer object knows any printer.
  bool HasSystemPrinters() const;

  // Reads the current printer's settings into the fields below; a printer
  // whose driver fails is left for the virtual printer.
  void ReadSettings();
  // Applies the fields below to the current printer.
  void WriteSettings();
  // Whether the current paper is this one (bin -1 takes any bin; the bin does
  // not count for a custom size, and its sides may differ by 0.1 mm).
  bool IsEqualPaper(int size, int width, int height, int orientation, int bin) const;
  // Applies a paper unless the printer prints or (without force) it is the
  // current one. Raises EPrinter for a custom paper (or, on the virtual
  // printer, a code its table lacks) whose sides are not 1 to kMaxPaperSide,
  // and when the driver fails; the fields keep their values then.
  void ApplyPaper(int size, int width, int height, bool force, int orientation, int bin);
  PageMetrics FillPageMetrics();
  // The driver's own settings dialog on a copy of the settings, which
  // become the printer's when the user accepts them.
  void EditDeviceMode();
  // The page set-up dialog on the printer's settings and these margins
  // (hundredths of a millimetre). When the user accepts, the settings become
  // the printer's, the fields below are read anew and the margins hold the
  // chosen ones; false leaves everything as it was (also on the virtual
  // printer, which has no such dialog).
  bool PageSetup(TPageMargins& margins);
  void Update();

  // The current printer's names.
  AnsiString Device, Driver, Port;
  // The system printers in the printer object's order, then the virtual one.
  TStringList Printers;
  // Paper code; 256 takes PaperWidth x PaperHeight.
  int PaperSize = kDefaultPaperSize;
  // Tenths of a millimetre, as printed (exchanged in landscape).
  int PaperWidth = 0, PaperHeight = 0;
  // 0 portrait, 1 landscape.
  uint8_t Orientation = 0;
  // Paper source code; kDefaultBin for the driver's default.
  int Bin = kDefaultBin;
  // The sizes the current printer offers (at most 256).
  TStringList PaperNames;
  std::vector<uint16_t> PaperCodes;
  int PaperCount = 0;
  // The paper sources, after an entry for the default source (at most 64).
  TStringList BinNames;
  std::vector<uint16_t> BinCodes;
  int BinCount = 0;

 private:
  TPrinter* printer_ = nullptr;
  int printer_index_ = 0;
  int virtual_index_ = 0;
};

// The global printer layer, made and bound to the toolkit's printer object on
// first use (a printer object that cannot be made leaves the virtual printer).
TfrPrinter& GlobalPrinterLayer();
// The layer is made and bound (template loading waits for it).
bool PrinterLayerReady();
// The paper code found when the layer was made.
int StartupPaperSize();
// Frees the global layer; the next use makes and binds it anew (after a
// different printer object was installed).
void FreeGlobalPrinterLayer();

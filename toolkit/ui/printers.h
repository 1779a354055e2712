// The printer object: the system's printers, the settings of the current one
// (its device mode), what its driver reports of it (device metrics, paper
// sizes, paper sources) and print jobs drawn on a canvas.
//
// The printers come from a back end:
//   - the GUI library's, which lists the printers and paper sizes CUPS reports;
//   - a PDF back end with one printer whose jobs become PDF files in a folder,
//     for tests and for machines without a printer (the environment variable
//     KIV7_PRINT_TO_PDF names the folder; it then replaces the system's list);
//   - a back end a test installs.
// Without any printer the list is empty; the report engine then offers its
// virtual printer.
//
// Units as the Windows printing interfaces have them: paper sizes in tenths of
// a millimetre, paper codes and bins as DMPAPER_* and DMBIN_* values, device
// metrics in device pixels at the printer's resolution. Origin of a job's
// canvas: the top left corner of the printable area.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/core/classes.h"
#include "toolkit/gfx/graphics.h"

// Device-mode field bits: which fields of the record the driver honours.
inline constexpr uint32_t DM_ORIENTATION = 0x0001;
inline constexpr uint32_t DM_PAPERSIZE = 0x0002;
inline constexpr uint32_t DM_PAPERLENGTH = 0x0004;
inline constexpr uint32_t DM_PAPERWIDTH = 0x0008;
inline constexpr uint32_t DM_COPIES = 0x0100;
inline constexpr uint32_t DM_DEFAULTSOURCE = 0x0200;

inline constexpr int16_t DMORIENT_PORTRAIT = 1;
inline constexpr int16_t DMORIENT_LANDSCAPE = 2;

// The paper code of a size given by its width and height.
inline constexpr int DMPAPER_USER = 256;
inline constexpr int DMPAPER_A4 = 9;

// A driver's settings of one printer.
struct TDeviceMode {
  // DM_* bits of the fields below that the driver honours.
  uint32_t Fields = 0;
  int16_t Orientation = DMORIENT_PORTRAIT;
  // DMPAPER_* code; DMPAPER_USER takes PaperWidth x PaperLength.
  int16_t PaperSize = DMPAPER_A4;
  // Tenths of a millimetre, for DMPAPER_USER.
  int16_t PaperLength = 0;
  int16_t PaperWidth = 0;
  int16_t Copies = 1;
  // DMBIN_* code of the paper source.
  int16_t DefaultSource = 0;
  bool operator==(const TDeviceMode&) const = default;
};

// The margins of a page, hundredths of a millimetre.
struct TPageMargins {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TPageMargins&) const = default;
};

// What the driver reports of the page for given settings (GetDeviceCaps).
struct TPrinterDeviceCaps {
  // Device pixels per inch.
  int LogPixelsX = 0, LogPixelsY = 0;
  // The whole sheet, device pixels.
  int PhysicalWidth = 0, PhysicalHeight = 0;
  // Where the printable area starts on the sheet, device pixels.
  int PhysicalOffsetX = 0, PhysicalOffsetY = 0;
  // The printable area, device pixels (HORZRES, VERTRES).
  int HorzRes = 0, VertRes = 0;
  bool operator==(const TPrinterDeviceCaps&) const = default;
};

// One paper size a printer offers.
struct TPrinterPaper {
  uint16_t Code = 0;
  AnsiString Name;
  // Tenths of a millimetre, portrait.
  int Width = 0, Height = 0;
};

// One paper source a printer offers.
struct TPrinterBin {
  uint16_t Code = 0;
  AnsiString Name;
};

// A print job in progress.
class TPrintJob {
 public:
  virtual ~TPrintJob() = default;
  // The canvas of the current page, in device pixels.
  virtual TCanvas* Canvas() = 0;
  // Ends the page and starts the next one with these settings.
  virtual void NewPage(const TDeviceMode& mode) = 0;
  // Ends the last page and hands the document over.
  virtual void End() = 0;
  // Drops the document.
  virtual void Abort() = 0;
};

// Where printers come from. Every failure of a driver raises EPrinter.
class TPrinterBackend {
 public:
  virtual ~TPrinterBackend() = default;
  // The printers' names (1251), in the system's order.
  virtual std::vector<AnsiString> PrinterNames() = 0;
  // The index of the system's default printer; 0 when it names none.
  virtual int DefaultPrinterIndex() = 0;
  // The settings the driver starts a printer with.
  virtual TDeviceMode DefaultDeviceMode(int index) = 0;
  // The page's metrics with these settings.
  virtual TPrinterDeviceCaps DeviceCaps(int index, const TDeviceMode& mode) = 0;
  virtual std::vector<TPrinterPaper> Papers(int index) = 0;
  virtual std::vector<TPrinterBin> Bins(int index) = 0;
  // Starts a job whose first page has these settings.
  virtual std::unique_ptr<TPrintJob> StartJob(int index, const TDeviceMode& mode, const AnsiString& title,
                                              int copies) = 0;
  // The driver's own settings dialog on a copy of the settings; true with the
  // copy changed when the user accepted it.
  virtual bool EditSettings(int index, TDeviceMode& mode) = 0;
  // The page set-up dialog on copies of the settings and of a page's
  // margins; true with both changed when the user accepted it. Without such
  // a dialog both stay as they are.
  virtual bool PageSetup(int index, TDeviceMode& mode, TPageMargins& margins) {
    (void)index, (void)mode, (void)margins;
    return false;
  }
};

// The GUI library's printers (CUPS on this system).
std::unique_ptr<TPrinterBackend> MakeSystemPrinterBackend();

// One printer whose jobs are written as PDF files into a folder: "job1.pdf",
// "job2.pdf", ..., the smallest number whose file does not exist yet, so no
// job overwrites another. Every standard paper size the GUI library knows by a
// paper code is offered; the resolution is 300 pixels per inch and the whole
// sheet is printable.
class TPdfPrinterBackend : public TPrinterBackend {
 public:
  // folder: UTF-8 path; made when missing at the first job.
  explicit TPdfPrinterBackend(std::string folder, AnsiString printer_name = "PDF");

  std::vector<AnsiString> PrinterNames() override;
  int DefaultPrinterIndex() override;
  TDeviceMode DefaultDeviceMode(int index) override;
  TPrinterDeviceCaps DeviceCaps(int index, const TDeviceMode& mode) override;
  std::vector<TPrinterPaper> Papers(int index) override;
  std::vector<TPrinterBin> Bins(int index) override;
  std::unique_ptr<TPrintJob> StartJob(int index, const TDeviceMode& mode, const AnsiString& title,
                                      int copies) override;
  // No dialog: the settings stay as they are.
  bool EditSettings(int index, TDeviceMode& mode) override;
  // The GUI library's page dialog for a PDF file: paper, orientation, margins.
  bool PageSetup(int index, TDeviceMode& mode, TPageMargins& margins) override;

  static constexpr int kResolution = 300;
  // The files of the jobs ended so far, in order (UTF-8 paths).
  const std::vector<std::string>& Files() const { return files_; }

 private:
  void CheckIndex(int index) const;
  std::string folder_;
  AnsiString printer_name_;
  std::vector<std::string> files_;
};

// The toolkit's printer object: the back end's printers, the current one and
// its settings, and one job at a time.
class TPrinter {
 public:
  explicit TPrinter(std::unique_ptr<TPrinterBackend> backend);
  ~TPrinter();
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;

  TPrinterBackend& Backend() { return *backend_; }

  // The printers' names; empty without printers.
  const TStrings& Printers() const { return printers_; }
  // The current printer; -1 without printers.
  int PrinterIndex() const { return index_; }
  // Selects a printer with its driver's default settings; -1 selects the
  // system's default printer. EPrinter for an index out of range, and while
  // a job runs.
  void SetPrinterIndex(int index);

  // The current printer's name, driver and port ("" without printers).
  AnsiString DeviceName() const;
  AnsiString DriverName() const;
  AnsiString PortName() const;
  // The current printer's settings; none without printers.
  std::optional<TDeviceMode> DeviceMode() const;
  // Gives the current printer new settings (EPrinter without printers).
  void SetDeviceMode(const TDeviceMode& mode);

  // The driver's reports on the current printer with its current settings.
  TPrinterDeviceCaps DeviceCaps();
  std::vector<TPrinterPaper> Papers();
  std::vector<TPrinterBin> Bins();
  // The printable area in device pixels (HORZRES, VERTRES).
  int PageWidth();
  int PageHeight();

  // The job's title and number of copies, read at BeginDoc.
  AnsiString Title;
  int Copies = 1;

  // A job on the current printer with its current settings: BeginDoc, pages
  // separated by NewPage (which takes the settings as they are then), EndDoc.
  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();
  bool Printing() const { return job_ != nullptr; }
  bool Aborted() const { return aborted_; }
  // 1-based number of the page being drawn.
  int PageNumber() const { return page_number_; }
  // The current page's canvas while a job runs (EPrinter otherwise).
  TCanvas* Canvas();

 private:
  void CheckPrinter() const;
  void CheckIdle() const;
  std::unique_ptr<TPrinterBackend> backend_;
  TStringList printers_;
  int index_ = -1;
  // Fetched from the driver when first asked for after a selection.
  mutable std::optional<TDeviceMode> mode_;
  std::unique_ptr<TPrintJob> job_;
  bool aborted_ = false;
  int page_number_ = 0;
};

// The process's printer object, made on first use: the PDF back end when
// KIV7_PRINT_TO_PDF names a folder, else the system's printers. The units'
// shut-down (units.h) frees it; the next call makes one anew.
TPrinter* Printer();
// Installs a printer object (the caller gives up ownership; nullptr drops the
// current one, so the next Printer() makes one anew); returns nothing, the
// previous object is freed.
void SetPrinter(std::unique_ptr<TPrinter> printer);

#include "toolkit/ui/printers.h"

#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <utility>

#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/core/units.h"
#include "toolkit/gfx/qt_canvas.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/qt_host.h"

namespace {

// Paper source codes the GUI library knows, with the names the system's
// drivers give them.
const std::map<QPrinter::PaperSource, std::pair<uint16_t, const char*>>& SourceCodes() {
  static const std::map<QPrinter::PaperSource, std::pair<uint16_t, const char*>> codes = {
      {QPrinter::OnlyOne, {1, "Only One"}},        {QPrinter::Lower, {2, "Lower"}},
      {QPrinter::Middle, {3, "Middle"}},           {QPrinter::Manual, {4, "Manual"}},
      {QPrinter::Envelope, {5, "Envelope"}},       {QPrinter::EnvelopeManual, {6, "Envelope Manual"}},
      {QPrinter::Auto, {7, "Automatically Select"}}, {QPrinter::Tractor, {8, "Tractor"}},
      {QPrinter::SmallFormat, {9, "Small Format"}}, {QPrinter::LargeFormat, {10, "Large Format"}},
      {QPrinter::LargeCapacity, {11, "Large Capacity"}}, {QPrinter::Cassette, {14, "Cassette"}},
      {QPrinter::FormSource, {15, "Form Source"}},
  };
  return codes;
}

int TenthsOfMillimetre(double millimetres) { return static_cast<int>(PasRound(millimetres * 10)); }

// The sheet the settings ask for. A size by width and height must have both.
QPageSize PageSizeOf(const TDeviceMode& mode) {
  const QPageSize::PageSizeId id =
      mode.PaperSize == DMPAPER_USER ? QPageSize::Custom : QPageSize::id(static_cast<int>(mode.PaperSize));
  if (id != QPageSize::Custom) return QPageSize(id);
  if (mode.PaperWidth <= 0 || mode.PaperLength <= 0)
    throw EPrinter(Format("Paper of %d x %d (0.1 mm) cannot be printed on",
                          {static_cast<int>(mode.PaperWidth), static_cast<int>(mode.PaperLength)}));
  return QPageSize(QSizeF(mode.PaperWidth / 10.0, mode.PaperLength / 10.0), QPageSize::Millimeter, QString(),
                   QPageSize::ExactMatch);
}

QPageLayout::Orientation OrientationOf(const TDeviceMode& mode) {
  return mode.Orientation == DMORIENT_LANDSCAPE ? QPageLayout::Landscape : QPageLayout::Portrait;
}

// The sheet's size in device pixels from its size in tenths of a millimetre,
// so that a round trip through the pixels gives the tenths back.
int DevicePixels(int tenths, int resolution) { return static_cast<int>(PasRound(tenths * resolution / 254.0)); }

QPageLayout LayoutOf(const TDeviceMode& mode, const QMarginsF& margins_mm) {
  return QPageLayout(PageSizeOf(mode), OrientationOf(mode), margins_mm, QPageLayout::Millimeter);
}

// The metrics of a sheet with margins the printer cannot print on.
TPrinterDeviceCaps CapsOf(const TDeviceMode& mode, const QMarginsF& margins_mm, int resolution_x,
                          int resolution_y) {
  const QSizeF sheet = PageSizeOf(mode).size(QPageSize::Millimeter);
  int width = TenthsOfMillimetre(sheet.width()), height = TenthsOfMillimetre(sheet.height());
  if (mode.Orientation == DMORIENT_LANDSCAPE) std::swap(width, height);
  TPrinterDeviceCaps caps;
  caps.LogPixelsX = resolution_x;
  caps.LogPixelsY = resolution_y;
  caps.PhysicalWidth = DevicePixels(width, resolution_x);
  caps.PhysicalHeight = DevicePixels(height, resolution_y);
  caps.PhysicalOffsetX = DevicePixels(TenthsOfMillimetre(margins_mm.left()), resolution_x);
  caps.PhysicalOffsetY = DevicePixels(TenthsOfMillimetre(margins_mm.top()), resolution_y);
  caps.HorzRes = caps.PhysicalWidth - caps.PhysicalOffsetX -
                 DevicePixels(TenthsOfMillimetre(margins_mm.right()), resolution_x);
  caps.VertRes = caps.PhysicalHeight - caps.PhysicalOffsetY -
                 DevicePixels(TenthsOfMillimetre(margins_mm.bottom()), resolution_y);
  return caps;
}

// A size without a paper code of its own (a CUPS media name the Windows codes
// lack) is a size given by its sides.
TPrinterPaper PaperOf(const QPageSize& size) {
  const QSizeF mm = size.size(QPageSize::Millimeter);
  const int code = size.windowsId() > 0 ? size.windowsId() : DMPAPER_USER;
  return TPrinterPaper{static_cast<uint16_t>(code), FromQString(size.name()), TenthsOfMillimetre(mm.width()),
                       TenthsOfMillimetre(mm.height())};
}

// A job's pages go out one after another through buffers of the same large
// sizes (the page's drawing, its compression); the C library would give them
// back to the system after every page and fault them in afresh for the next.
// It keeps them for the process instead.
void KeepPageBuffers() {
  static const bool kept = [] {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    return true;
  }();
  (void)kept;
}

// A job drawn through the GUI library's printer, on paper or into a file.
class QtPrintJob : public TPrintJob {
 public:
  QtPrintJob(std::unique_ptr<QPrinter> printer, QMarginsF margins_mm, std::function<void()> on_end)
      : printer_(std::move(printer)), margins_mm_(margins_mm), on_end_(std::move(on_end)) {
    KeepPageBuffers();
    if (!painter_.begin(printer_.get())) throw EPrinter("Printing could not be started");
    canvas_.SetPainter(&painter_);
    // Texts print at their point size in the printer's own pixels.
    canvas_.SetPixelsPerInch(printer_->resolution());
  }
  ~QtPrintJob() override {
    if (painter_.isActive()) {
      printer_->abort();
      painter_.end();
    }
  }
  TCanvas* Canvas() override { return &canvas_; }
  void NewPage(const TDeviceMode& mode) override {
    printer_->setPageLayout(LayoutOf(mode, margins_mm_));
    if (!printer_->newPage()) throw EPrinter("A new page could not be started");
  }
  void End() override {
    if (!painter_.end()) throw EPrinter("The document could not be printed");
    if (on_end_) on_end_();
  }
  void Abort() override {
    printer_->abort();
    painter_.end();
  }

 private:
  std::unique_ptr<QPrinter> printer_;
  QMarginsF margins_mm_;
  std::function<void()> on_end_;
  QPainter painter_;
  TQtCanvas canvas_{nullptr};
};

void EnsureGui() { Application->Initialize(); }

// The margins the printer cannot print on, in millimetres.
QMarginsF MinimumMarginsMm(const QPrinter& printer) {
  QPageLayout layout = printer.pageLayout();
  layout.setUnits(QPageLayout::Millimeter);
  return layout.minimumMargins();
}

// The GUI library's page dialog for a printer on the settings, and on the
// margins when given; both change only when the user accepts.
bool RunPageDialog(QPrinter& printer, TDeviceMode& mode, TPageMargins* margins) {
  printer.setPageSize(PageSizeOf(mode));
  printer.setPageOrientation(OrientationOf(mode));
  if (margins) {
    const QMarginsF mm(margins->Left / 100.0, margins->Top / 100.0, margins->Right / 100.0, margins->Bottom / 100.0);
    printer.setPageMargins(mm, QPageLayout::Millimeter);
  }
  QPageSetupDialog dialog(&printer);
  SetDialogFrame(&dialog);
  if (dialog.exec() != QDialog::Accepted) return false;
  QPageLayout layout = printer.pageLayout();
  const TPrinterPaper paper = PaperOf(layout.pageSize());
  mode.PaperSize = static_cast<int16_t>(paper.Code);
  mode.PaperWidth = static_cast<int16_t>(paper.Width);
  mode.PaperLength = static_cast<int16_t>(paper.Height);
  mode.Orientation = layout.orientation() == QPageLayout::Landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
  if (margins) {
    layout.setUnits(QPageLayout::Millimeter);
    const QMarginsF mm = layout.margins();
    const auto hundredths = [](qreal v) { return static_cast<int>(std::lround(v * 100.0)); };
    *margins = {hundredths(mm.left()), hundredths(mm.top()), hundredths(mm.right()), hundredths(mm.bottom())};
  }
  return true;
}

// The printers the GUI library finds through CUPS.
class SystemPrinterBackend : public TPrinterBackend {
 public:
  std::vector<AnsiString> PrinterNames() override {
    EnsureGui();
    names_ = QPrinterInfo::availablePrinterNames();
    std::vector<AnsiString> result;
    for (const QString& name : names_) result.push_back(FromQString(name));
    return result;
  }
  int DefaultPrinterIndex() override {
    const auto at = names_.indexOf(QPrinterInfo::defaultPrinterName());
    return at < 0 ? 0 : static_cast<int>(at);
  }
  TDeviceMode DefaultDeviceMode(int index) override {
    const QPrinterInfo info = Info(index);
    TDeviceMode mode;
    mode.Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_DEFAULTSOURCE;
    const QPageSize size = info.defaultPageSize();
    const TPrinterPaper paper = PaperOf(size.isValid() ? size : QPageSize(QPageSize::A4));
    mode.PaperSize = static_cast<int16_t>(paper.Code);
    mode.PaperWidth = static_cast<int16_t>(paper.Width);
    mode.PaperLength = static_cast<int16_t>(paper.Height);
    mode.DefaultSource = SourceCodes().at(QPrinter::Auto).first;
    return mode;
  }
  TPrinterDeviceCaps DeviceCaps(int index, const TDeviceMode& mode) override {
    QPrinter printer(Info(index), QPrinter::HighResolution);
    printer.setPageSize(PageSizeOf(mode));
    printer.setPageOrientation(OrientationOf(mode));
    const int resolution = printer.resolution();
    if (resolution <= 0) throw EPrinter("The printer reports no resolution");
    return CapsOf(mode, MinimumMarginsMm(printer), resolution, resolution);
  }
  std::vector<TPrinterPaper> Papers(int index) override {
    std::vector<TPrinterPaper> papers;
    for (const QPageSize& size : Info(index).supportedPageSizes()) papers.push_back(PaperOf(size));
    return papers;
  }
  // The GUI library does not tell a CUPS printer's input slots; the printer
  // chooses the source itself.
  std::vector<TPrinterBin> Bins(int index) override {
    Info(index);
    const auto& [code, name] = SourceCodes().at(QPrinter::Auto);
    return {{code, name}};
  }
  std::unique_ptr<TPrintJob> StartJob(int index, const TDeviceMode& mode, const AnsiString& title,
                                      int copies) override {
    auto printer = std::make_unique<QPrinter>(Info(index), QPrinter::HighResolution);
    printer->setPageSize(PageSizeOf(mode));
    printer->setPageOrientation(OrientationOf(mode));
    const QMarginsF margins = MinimumMarginsMm(*printer);
    printer->setPageLayout(LayoutOf(mode, margins));
    printer->setDocName(ToQString(title));
    printer->setCopyCount(std::max(1, copies));
    for (const auto& [source, code] : SourceCodes())
      if (code.first == static_cast<uint16_t>(mode.DefaultSource)) printer->setPaperSource(source);
    return std::make_unique<QtPrintJob>(std::move(printer), margins, nullptr);
  }
  bool EditSettings(int index, TDeviceMode& mode) override {
    QPrinter printer(Info(index), QPrinter::HighResolution);
    return RunPageDialog(printer, mode, nullptr);
  }
  bool PageSetup(int index, TDeviceMode& mode, TPageMargins& margins) override {
    QPrinter printer(Info(index), QPrinter::HighResolution);
    return RunPageDialog(printer, mode, &margins);
  }

 private:
  QPrinterInfo Info(int index) {
    if (index < 0 || index >= names_.size()) throw EPrinter("Printer index out of range");
    const QPrinterInfo info = QPrinterInfo::printerInfo(names_[index]);
    if (info.isNull()) throw EPrinter("The printer " + FromQString(names_[index]) + " is no longer there");
    return info;
  }
  QStringList names_;
};

}  // namespace

std::unique_ptr<TPrinterBackend> MakeSystemPrinterBackend() { return std::make_unique<SystemPrinterBackend>(); }

// ---- PDF back end -------------------------------------------------------------

TPdfPrinterBackend::TPdfPrinterBackend(std::string folder, AnsiString printer_name)
    : folder_(std::move(folder)), printer_name_(std::move(printer_name)) {}

void TPdfPrinterBackend::CheckIndex(int index) const {
  if (index != 0) throw EPrinter("Printer index out of range");
}

std::vector<AnsiString> TPdfPrinterBackend::PrinterNames() { return {printer_name_}; }

int TPdfPrinterBackend::DefaultPrinterIndex() { return 0; }

TDeviceMode TPdfPrinterBackend::DefaultDeviceMode(int index) {
  CheckIndex(index);
  TDeviceMode mode;
  mode.Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_DEFAULTSOURCE;
  mode.PaperSize = DMPAPER_A4;
  mode.PaperWidth = 2100;
  mode.PaperLength = 2970;
  mode.DefaultSource = 1;
  return mode;
}

TPrinterDeviceCaps TPdfPrinterBackend::DeviceCaps(int index, const TDeviceMode& mode) {
  CheckIndex(index);
  return CapsOf(mode, QMarginsF(), kResolution, kResolution);
}

std::vector<TPrinterPaper> TPdfPrinterBackend::Papers(int index) {
  CheckIndex(index);
  std::map<int, TPrinterPaper> by_code;
  for (int id = 0; id <= QPageSize::LastPageSize; ++id) {
    const auto size_id = static_cast<QPageSize::PageSizeId>(id);
    const int code = QPageSize::windowsId(size_id);
    if (code <= 0 || code >= DMPAPER_USER || by_code.count(code)) continue;
    by_code[code] = PaperOf(QPageSize(size_id));
    by_code[code].Code = static_cast<uint16_t>(code);
  }
  std::vector<TPrinterPaper> papers;
  for (auto& [code, paper] : by_code) papers.push_back(std::move(paper));
  return papers;
}

std::vector<TPrinterBin> TPdfPrinterBackend::Bins(int index) {
  CheckIndex(index);
  return {{1, "Only One"}};
}

std::unique_ptr<TPrintJob> TPdfPrinterBackend::StartJob(int index, const TDeviceMode& mode, const AnsiString& title,
                                                        int copies) {
  CheckIndex(index);
  EnsureGui();
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(fs::path(folder_), error);
  std::string path;
  for (int n = 1;; ++n) {
    path = (fs::path(folder_) / ("job" + std::to_string(n) + ".pdf")).string();
    if (!fs::exists(path, error)) break;
  }
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(QString::fromStdString(path));
  printer->setResolution(kResolution);
  printer->setPageLayout(LayoutOf(mode, QMarginsF()));
  printer->setDocName(ToQString(title));
  printer->setCopyCount(std::max(1, copies));
  return std::make_unique<QtPrintJob>(std::move(printer), QMarginsF(), [this, path] { files_.push_back(path); });
}

bool TPdfPrinterBackend::EditSettings(int index, TDeviceMode&) {
  CheckIndex(index);
  return false;
}

bool TPdfPrinterBackend::PageSetup(int index, TDeviceMode& mode, TPageMargins& margins) {
  CheckIndex(index);
  EnsureGui();
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  return RunPageDialog(printer, mode, &margins);
}

// ---- TPrinter ------------------------------------------------------------------

TPrinter::TPrinter(std::unique_ptr<TPrinterBackend> backend) : backend_(std::move(backend)) {
  for (const AnsiString& name : backend_->PrinterNames()) printers_.Add(name);
  if (printers_.Count() > 0) index_ = std::clamp(backend_->DefaultPrinterIndex(), 0, printers_.Count() - 1);
}

TPrinter::~TPrinter() = default;

void TPrinter::CheckPrinter() const {
  if (index_ < 0) throw EPrinter("There is no default printer currently selected");
}

void TPrinter::CheckIdle() const {
  if (job_) throw EPrinter("Printing in progress");
}

void TPrinter::SetPrinterIndex(int index) {
  CheckIdle();
  if (index == -1) index = std::clamp(backend_->DefaultPrinterIndex(), 0, std::max(0, printers_.Count() - 1));
  if (index < 0 || index >= printers_.Count()) throw EPrinter("Printer index out of range");
  index_ = index;
  mode_.reset();
}

AnsiString TPrinter::DeviceName() const { return index_ < 0 ? AnsiString() : printers_.Strings(index_); }

AnsiString TPrinter::DriverName() const { return AnsiString(); }

AnsiString TPrinter::PortName() const { return AnsiString(); }

std::optional<TDeviceMode> TPrinter::DeviceMode() const {
  if (index_ < 0) return std::nullopt;
  if (!mode_) {
    // The driver's defaults, fetched once per selection; a driver that
    // cannot give them leaves the printer without settings.
    try {
      mode_ = backend_->DefaultDeviceMode(index_);
    } catch (const EPrinter&) {
      return std::nullopt;
    }
  }
  return mode_;
}

void TPrinter::SetDeviceMode(const TDeviceMode& mode) {
  CheckPrinter();
  mode_ = mode;
}

TPrinterDeviceCaps TPrinter::DeviceCaps() {
  CheckPrinter();
  const std::optional<TDeviceMode> mode = DeviceMode();
  if (!mode) throw EPrinter("The printer's settings cannot be read");
  return backend_->DeviceCaps(index_, *mode);
}

std::vector<TPrinterPaper> TPrinter::Papers() {
  CheckPrinter();
  return backend_->Papers(index_);
}

std::vector<TPrinterBin> TPrinter::Bins() {
  CheckPrinter();
  return backend_->Bins(index_);
}

int TPrinter::PageWidth() { return DeviceCaps().HorzRes; }

int TPrinter::PageHeight() { return DeviceCaps().VertRes; }

void TPrinter::BeginDoc() {
  CheckIdle();
  CheckPrinter();
  const std::optional<TDeviceMode> mode = DeviceMode();
  if (!mode) throw EPrinter("The printer's settings cannot be read");
  aborted_ = false;
  job_ = backend_->StartJob(index_, *mode, Title, Copies);
  page_number_ = 1;
}

void TPrinter::NewPage() {
  if (!job_) throw EPrinter("Printer is not currently printing");
  job_->NewPage(*DeviceMode());
  ++page_number_;
}

void TPrinter::EndDoc() {
  if (!job_) throw EPrinter("Printer is not currently printing");
  std::unique_ptr<TPrintJob> job = std::move(job_);
  job->End();
}

void TPrinter::Abort() {
  if (!job_) throw EPrinter("Printer is not currently printing");
  std::unique_ptr<TPrintJob> job = std::move(job_);
  job->Abort();
  aborted_ = true;
}

TCanvas* TPrinter::Canvas() {
  if (!job_) throw EPrinter("Printer is not currently printing");
  return job_->Canvas();
}

// ---- The process's printer object ------------------------------------------------

namespace {

// The system's back end holds the GUI library's printer objects: the units'
// shut-down frees the printer while that library is still there.
TPrinter* g_printer = nullptr;

const char kPrinterUnit = 0;
void FinalizePrinterUnit() {
  std::unique_ptr<TPrinter> printer(g_printer);
  g_printer = nullptr;
}

}  // namespace

TPrinter* Printer() {
  if (g_printer == nullptr) {
    const char* folder = std::getenv("KIV7_PRINT_TO_PDF");
    if (folder != nullptr && *folder != '\0')
      SetPrinter(std::make_unique<TPrinter>(std::make_unique<TPdfPrinterBackend>(folder)));
    else
      SetPrinter(std::make_unique<TPrinter>(MakeSystemPrinterBackend()));
  }
  return g_printer;
}

void SetPrinter(std::unique_ptr<TPrinter> printer) {
  std::unique_ptr<TPrinter> previous(g_printer);
  g_printer = printer.release();
  if (g_printer != nullptr) RegisterUnit(&kPrinterUnit, "printers", FinalizePrinterUnit);
}

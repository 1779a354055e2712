#include "report/fr_emf.h"

#include <cmath>
#include <utility>

#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_report.h"
#include "report/fr_tmpl.h"
#include "report/fr_utils.h"
#include "report/fr_views.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/gfx/metafile.h"
#include "toolkit/ui/printers.h"

namespace {

// The compression flags of the current layout.
constexpr uint8_t kNotCompressed = 0;
constexpr uint8_t kCompressed = 1;
constexpr uint8_t kCompressedOld = 255;
// The fewest bytes a page takes in a file: next position, paper size, width,
// height, orientation and use margins.
constexpr int64_t kLeastPageBytes = 4 + 2 + 4 + 4 + 1 + 1;

[[noreturn]] void Damaged(const char* what) { throw EReadError(Format("Damaged prepared report: %s", {what})); }

std::unique_ptr<TMemoryStream> NewObjectStream() {
  auto stream = std::make_unique<TMemoryStream>();
  WriteByte(*stream, kBuiltStreamVersion);
  return stream;
}

// Reads the built-page object records of an object stream from its start and
// hands every object to `take`. An empty stream holds no objects; a record
// that cannot be read raises.
template <class Take>
void ReadObjects(TMemoryStream& stream, Take&& take) {
  stream.SetPosition(0);
  if (stream.Size() == 0) return;
  const int version = ReadByte(stream);
  while (stream.Position() < stream.Size()) {
    const uint8_t type_code = ReadByte(stream);
    AnsiString class_name;
    if (type_code == gtAddIn) class_name = ReadVersionedString(stream, version);
    std::unique_ptr<TfrView> view = CreateViewByType(type_code, class_name);
    if (!view) Damaged("unknown object type");
    view->RecordMode = rmPrepared;
    view->ReadRecord(stream, version);
    view->RecordMode = rmTemplate;
    if (!view->GeometryInPageRange()) Damaged("object geometry out of the page's range");
    take(std::move(view));
  }
}

void WriteObject(TStream& stream, TfrView& view) {
  TScopedValue<uint8_t> prepared(view.RecordMode, rmPrepared);
  WriteByte(stream, view.TypeCode);
  if (view.TypeCode == gtAddIn) WriteCountedString(stream, view.ClassName());
  view.WriteRecord(stream);
}

// Applies the page's paper on the printer layer and keeps its metrics.
void ApplyEntryPaper(TfrPageInfo& entry) {
  TfrPrinter& printer = GlobalPrinterLayer();
  printer.ApplyPaper(entry.PaperSize, entry.PaperWidth, entry.PaperHeight, false, entry.Orientation, entry.Bin);
  entry.Metrics = printer.FillPageMetrics();
}

AnsiString CurrentPrinterName() {
  const TfrPrinter& printer = GlobalPrinterLayer();
  const int index = printer.PrinterIndex();
  return index >= 0 && index < printer.Printers.Count() ? printer.Printers.Strings(index) : AnsiString();
}

// Reads a page's fields up to its objects and gives the next page's position,
// which must lie after them and inside the file.
int64_t ReadPageHead(TStream& stream, int version, TfrPageInfo& entry) {
  const int32_t next = ReadInt(stream);
  entry.PaperSize = ReadWord(stream);
  entry.PaperWidth = ReadInt(stream);
  entry.PaperHeight = ReadInt(stream);
  entry.Orientation = ReadByte(stream);
  entry.Bin = version > 23 ? ReadInt(stream) : kDefaultBin;
  entry.UseMargins = ReadByte(stream) != 0;
  if (version > 23) {
    entry.LeftMargin = ReadInt(stream);
    entry.TopMargin = ReadInt(stream);
    entry.RightMargin = ReadInt(stream);
    entry.BottomMargin = ReadInt(stream);
  }
  if (next < stream.Position() || next > stream.Size()) Damaged("page position out of the file");
  return next;
}

int Nearest(double value) { return static_cast<int>(PasRound(value)); }

// What a file holds, read whole before it replaces anything.
struct ReadResult {
  std::vector<std::unique_ptr<TfrPageInfo>> pages;
  AnsiString printer_name;
  bool has_printer_name = false;
};

void ReadCurrentLayout(TStream& stream, int version, uint8_t compression, ReadResult& result) {
  const int64_t size = stream.Size();
  result.printer_name = ReadVersionedString(stream, version);
  result.has_printer_name = true;
  const int32_t count = ReadInt(stream);
  if (count < 0 || count > (size - stream.Position()) / kLeastPageBytes) Damaged("page count");
  for (int32_t i = 0; i < count; ++i) {
    auto entry = std::make_unique<TfrPageInfo>();
    const int64_t next = ReadPageHead(stream, version, *entry);
    entry->Stream = std::make_unique<TMemoryStream>();
    if (compression == kNotCompressed) {
      if (next > stream.Position()) entry->Stream->CopyFrom(stream, next - stream.Position());
    }
    // No compressor exists here: a compressed page comes out empty.
    if (entry->Stream->Size() == 0) WriteByte(*entry->Stream, kBuiltStreamVersion);
    ReadObjects(*entry->Stream, [](std::unique_ptr<TfrView>) {});
    stream.SetPosition(next);
    result.pages.push_back(std::move(entry));
  }
  ReadByte(stream);  // the generator version of the report that wrote it
}

void ReadOldBuiltFile(TStream& stream, ReadResult& result) {
  const int64_t size = stream.Size();
  TStringList lines;
  ReadZeroLines(stream, lines);
  if (lines.Count() > 0) {
    result.printer_name = lines.Strings(0);
    result.has_printer_name = true;
  }
  const int32_t count = ReadInt(stream);
  if (count < 0 || count > (size - stream.Position()) / kLeastPageBytes) Damaged("page count");
  for (int32_t i = 0; i < count; ++i) {
    auto entry = std::make_unique<TfrPageInfo>();
    // The oldest pages have the fields of a file without a version byte.
    const int64_t next = ReadPageHead(stream, 0, *entry);
    std::string metafile(static_cast<size_t>(next - stream.Position()), '\0');
    if (!metafile.empty()) stream.ReadBuffer(metafile.data(), static_cast<int64_t>(metafile.size()));
    entry->Stream = std::make_unique<TMemoryStream>();
    // The picture covers the page; its size needs the paper's metrics, so it
    // is made once the paper is applied (ReadBuiltFile).
    entry->Stream->Write(metafile.data(), static_cast<int64_t>(metafile.size()));
    stream.SetPosition(next);
    result.pages.push_back(std::move(entry));
  }
}

// An old page's metafile becomes one picture covering the page.
void MakeFullPagePicture(TfrPageInfo& entry) {
  const std::string metafile(entry.Stream->Bytes());
  TfrPictureView picture;
  picture.SetBounds(0, 0, entry.Metrics.PageWidth, entry.Metrics.PageHeight);
  picture.SetPicture(pkMetafile, metafile);
  entry.Stream = NewObjectStream();
  WriteObject(*entry.Stream, picture);
}

}  // namespace

// ---- TfrPageInfo --------------------------------------------------------------------

TfrPageInfo::TfrPageInfo() = default;
TfrPageInfo::~TfrPageInfo() = default;

// ---- TfrEMFPages --------------------------------------------------------------------

TfrEMFPages::TfrEMFPages(TfrReport* report) : report_(report) {}

TfrEMFPages::~TfrEMFPages() { Clear(); }

TfrPageInfo& TfrEMFPages::Checked(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", {index}));
  return *pages_[static_cast<size_t>(index)];
}

TfrPageInfo& TfrEMFPages::Pages(int index) const { return Checked(index); }

void TfrEMFPages::InsertPage(int index, const TfrPage& page) {
  auto entry = std::make_unique<TfrPageInfo>();
  entry->PaperSize = static_cast<uint16_t>(page.Size);
  entry->PaperWidth = page.PaperWidth;
  entry->PaperHeight = page.PaperHeight;
  entry->Orientation = page.Orientation;
  entry->Bin = (page.Bin & 0xFFFF) == 0xFFFF ? kDefaultBin : page.Bin;
  entry->UseMargins = page.UseMargins;
  entry->LeftMargin = page.LeftMargin;
  entry->TopMargin = page.TopMargin;
  entry->RightMargin = page.RightMargin;
  entry->BottomMargin = page.BottomMargin;
  entry->Metrics = page.Metrics;
  entry->Stream = NewObjectStream();
  if (index < 0) index = 0;
  if (index >= Count())
    pages_.push_back(std::move(entry));
  else
    pages_.insert(pages_.begin() + index, std::move(entry));
}

void TfrEMFPages::AddPage(const TfrPage& page) {
  InsertPage(Count(), page);
  const int number = Count();
  if (report_ != nullptr && report_->OnBeginPage) report_->OnBeginPage(number);
  TfrReport* outer = frCurrentReport();
  if (outer != nullptr && outer != report_ && outer->OnBeginPage) outer->OnBeginPage(number);
}

void TfrEMFPages::DeletePage(int index) {
  TfrPageInfo& entry = Checked(index);
  entry.Page.reset();
  entry.Stream.reset();
  pages_.erase(pages_.begin() + index);
}

void TfrEMFPages::Clear() {
  while (!pages_.empty()) DeletePage(0);
}

void TfrEMFPages::AppendObject(int index, TfrView& view) {
  TfrPageInfo& entry = Checked(index);
  entry.Page.reset();
  entry.Stream->Seek(0, soFromEnd);
  view.ExpandedMemo.Assign(view.Memo);
  WriteObject(*entry.Stream, view);
}

namespace {

// The running work's host; the report's when no work runs (a preview
// painting its window), so that a preview needs no build around it.
TfrBuildHost* HostFor(TfrReport* report) {
  const TfrBuildContext* running = frBuildContext();
  if (running != nullptr && running->Host != nullptr) return running->Host;
  return report != nullptr ? &report->Host() : nullptr;
}

}  // namespace

void TfrEMFPages::ObjectsToPage(int index) {
  TfrPageInfo& entry = Checked(index);
  if (entry.Page) return;
  auto page = std::make_unique<TfrPage>(entry.PaperSize, entry.PaperWidth, entry.PaperHeight, entry.Bin,
                                        entry.Orientation);
  page->LeftMargin = entry.LeftMargin;
  page->TopMargin = entry.TopMargin;
  page->RightMargin = entry.RightMargin;
  page->BottomMargin = entry.BottomMargin;
  page->UseMargins = entry.UseMargins;
  // The objects are read onto the page; where the caller was stays as it was.
  TfrBuildScope scope(nullptr, HostFor(report_), TfrBuildScope::kCopy);
  scope.Context().CurPage = page.get();
  ReadObjects(*entry.Stream, [&](std::unique_ptr<TfrView> view) {
    // An auto-width text learns its width by being drawn once.
    if (view->TypeCode == gtMemo && (view->Flags & flAutoWidth) != 0) view->DrawTo(&frScratchCanvas());
    page->Objects.push_back(std::move(view));
  });
  entry.Page = std::move(page);
}

void TfrEMFPages::PageToObjects(int index) {
  TfrPageInfo& entry = Checked(index);
  if (!entry.Page) return;
  auto stream = NewObjectStream();
  for (const auto& view : entry.Page->Objects) {
    view->ExpandedMemo.Assign(view->Memo);
    WriteObject(*stream, *view);
  }
  entry.Stream = std::move(stream);
}

void TfrEMFPages::DrawPage(int index, TCanvas* canvas, const TRect& rect) {
  TfrPageInfo& entry = Checked(index);
  TPrinter* printer_object = GlobalPrinterLayer().Printer();
  const bool printing =
      printer_object != nullptr && printer_object->Printing() && canvas == printer_object->Canvas();
  frEngine().EngineMode = emPrinting;
  if (!entry.Visible) {
    entry.Page.reset();
    return;
  }
  ObjectsToPage(index);
  TfrPage& page = *entry.Page;
  // The page and object drawn are current only while it is drawn.
  TfrBuildScope scope(report_, HostFor(report_), TfrBuildScope::kCopy);
  scope.Context().CurPage = &page;
  // A page without a size on this device has nothing to scale by.
  if (page.Metrics.PageWidth <= 0 || page.Metrics.PageHeight <= 0 || canvas == nullptr) return;
  const double kx = static_cast<double>(rect.Width()) / page.Metrics.PageWidth;
  const double ky = static_cast<double>(rect.Height()) / page.Metrics.PageHeight;
  for (const auto& view : page.Objects) {
    view->ScaleFactorX = kx;
    view->ScaleFactorY = ky;
    view->OriginX = rect.Left;
    view->OriginY = rect.Top;
    view->ToPrinter = printing;
    view->DrawTo(canvas);
  }
}

void TfrEMFPages::ExportPage(int index) {
  TfrPageInfo& entry = Checked(index);
  ReadObjects(*entry.Stream, [](std::unique_ptr<TfrView> view) {
    view->RecordMode = rmPrepared;
    view->HandToExport();
  });
}

bool TfrEMFPages::ObjectAtPoint(int index, TPoint point, bool clicked, int& cursor) {
  ObjectsToPage(index);
  TfrPageInfo& entry = Checked(index);
  const PageMetrics& m = entry.Metrics;
  double kx = 1.0, ky = 1.0;
  int dx = 0, dy = 0;
  if (!entry.UseMargins) {
    if (m.PageWidth <= 0 || m.PageHeight <= 0) return false;
    kx = static_cast<double>(m.PrintableWidth - entry.LeftMargin - entry.RightMargin) / m.PageWidth;
    ky = static_cast<double>(m.PrintableHeight - entry.TopMargin - entry.BottomMargin) / m.PageHeight;
    dx = m.LeftOffset + entry.LeftMargin;
    dy = m.TopOffset + entry.TopMargin;
  }
  const auto& objects = entry.Page->Objects;
  for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
    TfrView& v = **it;
    const TRect r{Nearest(v.Left * kx + dx), Nearest(v.Top * ky + dy), Nearest((double(v.Left) + v.Width) * kx + dx),
                  Nearest((double(v.Top) + v.Height) * ky + dy)};
    if (point.x < r.Left || point.x >= r.Right || point.y < r.Top || point.y >= r.Bottom) continue;
    if (report_ == nullptr) return false;
    if (clicked) {
      if (!report_->OnObjectClick) return false;
      report_->OnObjectClick(&v);
      return true;
    }
    if (!report_->OnMouseOverObject) return false;
    report_->OnMouseOverObject(&v, cursor);
    return true;
  }
  return false;
}

void TfrEMFPages::WriteBuiltFile(TStream& stream) {
  WriteByte(stream, kBuiltStreamVersion);
  WriteByte(stream, kNotCompressed);
  WriteCountedString(stream, CurrentPrinterName());
  WriteInt(stream, Count());
  for (const auto& entry : pages_) {
    const int64_t start = stream.Position();
    WriteInt(stream, 0);
    WriteWord(stream, entry->PaperSize);
    WriteInt(stream, entry->PaperWidth);
    WriteInt(stream, entry->PaperHeight);
    WriteByte(stream, entry->Orientation);
    WriteInt(stream, entry->Bin);
    WriteByte(stream, entry->UseMargins ? 1 : 0);
    WriteInt(stream, entry->LeftMargin);
    WriteInt(stream, entry->TopMargin);
    WriteInt(stream, entry->RightMargin);
    WriteInt(stream, entry->BottomMargin);
    const std::string_view bytes = entry->Stream->Bytes();
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    const int64_t next = stream.Position();
    if (next > INT32_MAX) throw EWriteError("Prepared report too large for its file");
    stream.SetPosition(start);
    WriteInt(stream, static_cast<int32_t>(next));
    stream.SetPosition(next);
  }
  WriteByte(stream, kGeneratorVersion);
}

void TfrEMFPages::ReadBuiltFile(TStream& stream) {
  RegisterStandardViews();
  ReadResult result;
  bool old_layout = false;
  const int64_t origin = stream.Position();
  int version = ReadByte(stream);
  if (version < kBuiltFileFirstVersion || version > kBuiltFileLastVersion) {
    version = 0;
    stream.SetPosition(origin);
  }
  const uint8_t compression = ReadByte(stream);
  if (compression == kNotCompressed || compression == kCompressed || compression == kCompressedOld) {
    ReadCurrentLayout(stream, version, compression, result);
  } else {
    stream.SetPosition(origin);
    ReadOldBuiltFile(stream, result);
    old_layout = true;
  }

  // Read whole: the printer and the papers are applied, then the pages held
  // make way for the new ones.
  if (result.has_printer_name) {
    if (report_ != nullptr)
      report_->SelectPrinterByName(result.printer_name);
  }
  for (auto& entry : result.pages) {
    ApplyEntryPaper(*entry);
    if (old_layout) MakeFullPagePicture(*entry);
  }
  Clear();
  pages_ = std::move(result.pages);
  printer_name_ = result.printer_name;
}

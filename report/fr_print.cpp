#include "report/fr_print.h"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <limits>

#include "report/fr_emf.h"
#include "report/fr_host.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_prdlg.h"
#include "report/fr_preview.h"
#include "report/fr_prntr.h"
#include "report/fr_progr.h"
#include "report/fr_report.h"
#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/filereplace.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/event_loop.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/printers.h"
#include "toolkit/ui/stdctrls.h"

namespace {

constexpr int kTextExportingPage = 55205;
constexpr int kTextPrintingPage = 55208;
constexpr int kTextPrinterSetupFailed = 55210;

constexpr const char* kNoPrinterText =
    "Принтер не установлен. Сохранить отчет в файле PDF?";

// ---- Page lists -------------------------------------------------------------------

[[noreturn]] void BadNumber(const AnsiString& digits) {
  throw EConvertError(Format("'%s' is not a valid integer value", {digits}));
}

int ToNumber(const AnsiString& digits) {
  if (digits.empty()) BadNumber(digits);
  int64_t value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<int>::max()) BadNumber(digits);
  }
  return static_cast<int>(value);
}

// ---- Printing ---------------------------------------------------------------------

bool Skipped(int page_number, int odd_even) {
  if (odd_even == kPrintOddPages) return page_number % 2 == 0;
  if (odd_even == kPrintEvenPages) return page_number % 2 != 0;
  return false;
}

bool SamePaper(TfrPrinter& layer, const TfrPageInfo& page) {
  return layer.IsEqualPaper(page.PaperSize, page.PaperWidth, page.PaperHeight, page.Orientation, page.Bin);
}

void ApplyPagePaper(TfrPrinter& layer, TfrPageInfo& page) {
  layer.ApplyPaper(page.PaperSize, page.PaperWidth, page.PaperHeight, true, page.Orientation, page.Bin);
}

int ScaledMargin(int margin, int device, int pixels) {
  return pixels <= 0 ? 0 : static_cast<int>(PasRound(static_cast<double>(margin) * device / pixels));
}

// Where a page goes on the sheet, in device pixels of the job's canvas (whose
// origin is the printable area's corner).
TRect TargetRect(const TfrPageInfo& page, const PageMetrics& m) {
  if (page.UseMargins)
    return TRect{-m.DeviceLeftOffset, -m.DeviceTopOffset, m.DevicePageWidth - m.DeviceLeftOffset,
                 m.DevicePageHeight - m.DeviceTopOffset};
  return TRect{ScaledMargin(page.LeftMargin, m.DevicePrintableWidth, m.PrintableWidth),
               ScaledMargin(page.TopMargin, m.DevicePrintableHeight, m.PrintableHeight),
               m.DevicePrintableWidth - ScaledMargin(page.RightMargin, m.DevicePrintableWidth, m.PrintableWidth),
               m.DevicePrintableHeight - ScaledMargin(page.BottomMargin, m.DevicePrintableHeight, m.PrintableHeight)};
}

void ShowError(int text) {
  DialogService().MessageBox(LoadReportString(text), LoadReportString(kTextError), MB_OK | MB_ICONERROR);
}

// Gives a preview panel's pages back to the report for the time of a print or
// an export, when the report holds none itself.
class LentPreviewPages {
 public:
  LentPreviewPages(TfrReport& report, TfrPreview* preview) : report_(report) {
    if (preview == nullptr || preview->Window() == nullptr || report.EMFPages()->Count() != 0) return;
    window_ = preview->Window();
    window_->ReturnPages();
  }
  ~LentPreviewPages() {
    if (window_ != nullptr) window_->TakePages(&report_);
  }
  LentPreviewPages(const LentPreviewPages&) = delete;
  LentPreviewPages& operator=(const LentPreviewPages&) = delete;

 private:
  TfrReport& report_;
  TfrPreviewForm* window_ = nullptr;
};

// ---- Export filters -------------------------------------------------------------

std::vector<TfrExportFilterInfo>& Filters() {
  static std::vector<TfrExportFilterInfo> filters;
  return filters;
}

}  // namespace

TfrPageSelection ParsePageList(const AnsiString& text, int page_count) {
  TfrPageSelection selection;
  AnsiString s;
  for (char c : text)
    if (c != ' ') s += c;
  if (s.empty()) return selection;
  selection.All = false;
  if (s.back() == '-') s += IntToStr(page_count);
  s += ',';
  AnsiString digits;
  int range_start = 0;
  bool in_range = false;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      digits += c;
    } else if (c == '-') {
      range_start = ToNumber(digits);
      in_range = true;
      digits.clear();
    } else if (c == ',') {
      const int n = ToNumber(digits);
      digits.clear();
      // Only the report's pages can be printed: a range is cut to them, so a
      // list naming huge numbers costs no more than the report itself.
      const int first = in_range ? std::max(range_start, 1) : n;
      const int last = std::min(n, page_count);
      for (int page = first; page <= last; ++page) selection.Pages.insert(page);
      in_range = false;
    } else {
      BadNumber(AnsiString(1, c));
    }
  }
  return selection;
}

std::vector<std::string> PrintToPdfFiles(const std::string& pdf_file, const std::function<void()>& print) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "kiv7-pdf-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw EPrinter("A folder for the print jobs cannot be made");
  struct Cleanup {
    std::string folder;
    ~Cleanup() {
      // The process's own printers take the PDF printer's place again; a
      // system that cannot list them now leaves the virtual printer.
      SetPrinter(nullptr);
      try {
        GlobalPrinterLayer().SetPrinter(Printer());
      } catch (const Exception&) {
        GlobalPrinterLayer().SetPrinter(nullptr);
      }
      std::error_code error;
      fs::remove_all(folder, error);
    }
  } cleanup{pattern};
  auto backend = std::make_unique<TPdfPrinterBackend>(pattern);
  TPdfPrinterBackend* pdf = backend.get();
  SetPrinter(std::make_unique<TPrinter>(std::move(backend)));
  GlobalPrinterLayer().SetPrinter(Printer());
  print();
  std::vector<std::string> written;
  const fs::path out(pdf_file);
  for (size_t n = 0; n < pdf->Files().size(); ++n) {
    fs::path target = out;
    if (n > 0) target.replace_filename(out.stem().string() + "-" + std::to_string(n + 1) + out.extension().string());
    // Replaced whole: a full disk leaves an earlier file of that name as it
    // was and no partial one.
    TFileStream job(pdf->Files()[n], fmOpenRead | fmShareDenyWrite);
    TReplaceFileStream file(target.string());
    file.CopyFrom(job, 0);
    file.Commit();
    written.push_back(target.string());
  }
  return written;
}

// ---- TfrReport: printing ------------------------------------------------------------

namespace {

// Page pixels and hundredths of a millimetre, as the page set-up dialog has them.
int PagePixelsToHmm(int pixels) { return static_cast<int>(std::lround(pixels * 500.0 / 18.0)); }
int HmmToPagePixels(int hmm) { return static_cast<int>(std::lround(hmm * 18.0 / 500.0)); }

}  // namespace

TPageMargins TfrReport::PageSetupMargins() {
  if (Pages().Count() == 0) return {};
  const TfrPage& first = *Pages().Pages(0);
  return {PagePixelsToHmm(first.LeftMargin), PagePixelsToHmm(first.TopMargin), PagePixelsToHmm(first.RightMargin),
          PagePixelsToHmm(first.BottomMargin)};
}

void TfrReport::ApplyPageSetup(const TPageMargins& margins) {
  const TfrPrinter& layer = GlobalPrinterLayer();
  for (int i = 0; i < Pages().Count(); ++i) {
    TfrPage& page = *Pages().Pages(i);
    page.LeftMargin = HmmToPagePixels(margins.Left);
    page.TopMargin = HmmToPagePixels(margins.Top);
    page.RightMargin = HmmToPagePixels(margins.Right);
    page.BottomMargin = HmmToPagePixels(margins.Bottom);
    page.ApplyPagePaper(layer.PaperSize, layer.PaperWidth, layer.PaperHeight, layer.Bin, layer.Orientation);
  }
}

void TfrReport::PrintWithDialog() {
  if (preview_ != nullptr) {
    preview_->Print();
    return;
  }
  if (emf_pages_->Count() == 0) return;
  if (!GlobalPrinterLayer().HasSystemPrinters()) {
    // Without a printer the report can still go into a PDF file.
    const AnsiString caption = LoadReportString(kTextPrintCaption);
    if (DialogService().MessageBox(Utf8ToAnsi(kNoPrinterText), caption, MB_YESNO | MB_ICONWARNING) != IDYES) return;
    TSaveDialog dialog(nullptr);
    dialog.SetFilter("PDF (*.pdf)|*.pdf");
    dialog.SetDefaultExt("pdf");
    dialog.SetTitle(caption);
    if (!dialog.Execute()) return;
    PrintToPdfFiles(dialog.FileName(), [this] { PrintWithDialog(); });
    return;
  }
  auto form = std::make_unique<TfrPrintForm>(nullptr);
  form->AfterConstruction();
  form->PageCount = emf_pages_->Count();
  form->RB2->SetEnabled(false);
  form->E1->SetText(IntToStr(DefaultCopies));
  form->CollateCB->SetChecked(DefaultCollate);
  form->Margins = PageSetupMargins();
  if (ShowPrintDialog && form->ShowModal() != mrOk) return;
  // Pages built here are built again on the paper and margins chosen.
  if (form->PageSetupDone) {
    ApplyPageSetup(form->Margins);
    if (BuiltHere && !BuildReport()) return;
  }
  const AnsiString pages = form->RB1->Checked() ? AnsiString() : form->E2->Text();
  int copies = 1;
  if (!TryStrToInt(form->E1->Text(), copies)) copies = DefaultCopies;
  const int odd_even = form->CB2->ItemIndex() < 0 ? kPrintAllPages : form->CB2->ItemIndex();
  const bool collate = form->CollateCB->Checked();
  form.reset();
  PrintBuiltPages(pages, copies, odd_even, collate);
}

void TfrReport::PrintBuiltPages(const AnsiString& pages, int copies, int odd_even, bool collate) {
  Terminated = false;
  PrintPageList = pages;
  PrintCopies = copies;
  PrintOddEven = odd_even;
  PrintCollate = collate;
  LentPreviewPages lent(*this, preview_);

  if (OnProgress || !ShowProgress) {
    TScopedValue<TfrMouseOverObjectEvent> quiet(OnMouseOverObject, nullptr);
    PrintPages(pages, copies, odd_even, collate);
    return;
  }

  const AnsiString prefix = LoadReportString(kTextPrintingPage);
  RunInProgressWindow(ProgressCaption(kTextPreparing), prefix, prefix, &Terminated, progress_running_,
                      [&] { PrintPages(pages, copies, odd_even, collate); });
}

void TfrReport::PrintPages(const AnsiString& pages, int copies, int odd_even, bool collate) {
  TfrPrinter& layer = GlobalPrinterLayer();
  layer.SetPrinter(::Printer());
  TfrEMFPages& built = *emf_pages_;
  const TfrPageSelection selection = ParsePageList(pages, built.Count());
  copies = std::max(copies, 1);
  if (built.Count() == 0) return;
  TPrinter* printer = layer.Printer();
  if (printer == nullptr || !layer.HasSystemPrinters())
    throw EPrinter(Utf8ToAnsi("Принтер не установлен: отчет нельзя напечатать."));

  ApplyPagePaper(layer, built[0]);
  built[0].Metrics = layer.FillPageMetrics();
  printer->Title = Title.empty() ? LoadReportString(kTextUntitled) : Title;
  if (OnPrintReport) OnPrintReport();

  // The pages that print, in order.
  std::vector<int> order;
  for (int i = 0; i < built.Count(); ++i)
    if (selection.Contains(i + 1) && !Skipped(i + 1, odd_even)) order.push_back(i);
  if (order.empty()) return;

  // A printer makes collated copies of one job. When the paper changes the
  // output is several jobs, whose copies would come out page by page; and a
  // PDF file holds the pages it is given, whatever copy count it is told: then
  // every copy is sent as a run of its own.
  bool one_job = true;
  ApplyPagePaper(layer, built[order[0]]);
  for (int i : order) one_job = one_job && SamePaper(layer, built[i]);
  const bool printer_copies = dynamic_cast<TPdfPrinterBackend*>(&printer->Backend()) == nullptr;
  int runs = 1, repeats = 1;
  if (!collate) {
    printer->Copies = 1;
    repeats = copies;
  } else if (one_job && printer_copies) {
    printer->Copies = copies;
  } else {
    printer->Copies = 1;
    runs = copies;
  }

  // The job begins with the first page printed, so no job is sent empty.
  bool job_open = false;
  {
    // A job that fails half way is not left open at the printer.
    TScopeFail aborted([printer] {
      if (printer->Printing()) printer->Abort();
    });
    for (int run = 0; run < runs; ++run) {
      for (int i : order) {
        for (int repeat = 0; repeat < repeats; ++repeat) {
          TfrPageInfo& page = built[i];
          if (job_open && SamePaper(layer, page)) {
            printer->NewPage();
          } else {
            if (job_open) printer->EndDoc();
            job_open = false;
            ApplyPagePaper(layer, page);
            printer->BeginDoc();
            job_open = true;
          }
          const PageMetrics metrics = layer.FillPageMetrics();
          page.Metrics = metrics;
          page.Visible = true;
          TCanvas* canvas = printer->Canvas();
          built.DrawPage(i, canvas, TargetRect(page, metrics));
          page.Visible = false;
          built.DrawPage(i, canvas, TRect{});
          ReportProgress(i + 1);
          if (Terminated) {
            printer->Abort();
            return;
          }
        }
      }
    }
    if (job_open) printer->EndDoc();
  }
}

void TfrReport::SelectPrinterByName(const AnsiString& name) {
  TfrPrinter& layer = GlobalPrinterLayer();
  if (!Template.KeepDefaultPrinter) {
    const int index = layer.Printers.IndexOf(name);
    if (index >= 0) layer.SetPrinterIndex(index);
  }
  Template.PrinterName = name;
}

namespace {

void ReapplyPaper(TfrReport& report) {
  TfrPages& pages = report.Pages();
  for (int i = 0; i < pages.Count(); ++i) {
    TfrPage& page = *pages.Pages(i);
    page.ApplyPagePaper(page.Size, page.PaperWidth, page.PaperHeight, page.Bin, page.Orientation);
  }
}

void SelectAndReapply(TfrReport& report, int index) {
  TfrPrinter& layer = GlobalPrinterLayer();
  layer.SetPrinterIndex(index);
  // A printer whose driver does not answer leaves the virtual one selected.
  if (layer.PrinterIndex() != index) throw EPrinter("The printer cannot be set up");
  report.Template.PrinterName = layer.Printers.Strings(layer.PrinterIndex());
  // The next paper is applied even when it equals the one held.
  layer.PaperSize = -1;
  ReapplyPaper(report);
}

}  // namespace

bool TfrReport::SwitchPrinter(int old_index, int new_index) {
  try {
    SelectAndReapply(*this, new_index);
    return true;
  } catch (const Exception&) {
    ShowError(kTextPrinterSetupFailed);
  }
  try {
    SelectAndReapply(*this, old_index);
  } catch (const Exception&) {
    // The old printer was set up before; what it refuses now stays as it is.
  }
  return false;
}

// ---- TfrReport: export ----------------------------------------------------------

namespace {

// The engine's host with the built objects and text lines going to a filter.
class ExportHost : public TfrEngineHost {
 public:
  explicit ExportHost(TfrExportFilter& filter) : filter_(filter) {}
  void ExportObject(int left, int top, TfrView& view) override { filter_.OnData(left, top, &view); }
  void ExportText(const TRect& paint_rect, int x, int y, const AnsiString& line, TfrMemoView& view,
                  uint16_t frame) override {
    filter_.OnText(paint_rect, x, y, line, &view, frame);
  }

 private:
  TfrExportFilter& filter_;
};

}  // namespace

void TfrReport::ExportBuiltPages(TfrExportFilter* filter, const AnsiString& file_name) {
  if (filter == nullptr) return;
  frEngine().EngineMode = emPrinting;
  CurrentFilter = filter;
  const std::string name = AnsiToUtf8(file_name);
  filter->FileName = name;
  TScopeExit reset([this] { CurrentFilter = nullptr; });
  LentPreviewPages lent(*this, preview_);

  bool go_on = true;
  if (filter->OnBeforeExport) filter->OnBeforeExport(name, go_on);
  if (!go_on || filter->ShowModal() != mrOk) return;

  TReplaceFileStream file(name);
  filter->Stream = &file;
  ExportHost host(*filter);
  TfrBuildScope scope(this, host);
  scope.Context().TotalPages = emf_pages_->Count();
  auto export_pages = [&] {
    ::ProcessMessages();
    filter->OnBeginDoc();
    for (int i = 0; i < emf_pages_->Count() && !Terminated; ++i) {
      filter->OnBeginPage();
      emf_pages_->ExportPage(i);
      ReportProgress(i + 1);
      filter->OnEndPage();
    }
    filter->OnEndDoc();
  };
  Terminated = false;
  {
    TScopeExit unhooked([&] { filter->Stream = nullptr; });
    if (ShowProgress) {
      const AnsiString prefix = LoadReportString(kTextExportingPage);
      RunInProgressWindow(ProgressCaption(kTextPreparing), prefix, prefix + "  1", &Terminated, progress_running_,
                          export_pages);
    } else {
      export_pages();
    }
  }
  file.Commit();
  if (filter->OnAfterExport) filter->OnAfterExport(name);
}

// ---- Export filters ----------------------------------------------------------------

TfrExportFilter::~TfrExportFilter() { frUnregisterExportFilter(this); }

int TfrExportFilter::ShowModal() { return mrOk; }

const std::vector<TfrExportFilterInfo>& frExportFilters() { return Filters(); }

void frRegisterExportFilter(TfrExportFilter* filter, const AnsiString& description, const AnsiString& mask) {
  if (filter == nullptr) return;
  for (const auto& info : Filters())
    if (info.Filter == filter) return;
  Filters().push_back({filter, description, mask});
}

void frUnregisterExportFilter(TfrExportFilter* filter) {
  auto& filters = Filters();
  filters.erase(std::remove_if(filters.begin(), filters.end(), [filter](const auto& i) { return i.Filter == filter; }),
                filters.end());
}

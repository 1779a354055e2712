// The report component: the non-visual component a form holds for one report.
// It keeps the report template (pages, dictionary, report info) inside the
// form's own stored description, builds pages from the template and the record
// sources in one or two passes, and hands the built pages to the preview window
// or to the printer.
//
// "ReportForm", the component's stored binary property (little-endian):
//
//   marker   u32  25, always written, read and ignored
//   length   u32  only when StoreInDFM is True, followed by that many bytes of
//                 the template stream (fr_tmpl.h) as SaveTemplate writes it
//
// StoreInDFM is stored before "ReportForm", so its value is known when the
// bytes arrive. The bytes are held until the form has finished loading and
// parsed then (Loaded).
//
// One build runs at a time, on the GUI thread; a build started while another
// runs is refused. What the build reaches (report, page, band, object, page
// being built, total page count, passes) is the context its TfrBuildScope
// holds for as long as it runs (fr_class.h), with the error flag and text and
// the report's build host (fr_host.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "report/fr_class.h"
#include "report/fr_tmpl.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/component.h"
#include "toolkit/core/sets.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/core/variant.h"

class TfrBand;
class TfrDataset;
class TfrEMFPages;
class TfrExportFilter;
class TfrPage;
class TfrPreview;
class TfrView;
struct TPageMargins;

// How the preview window first shows the pages.
enum TfrPreviewZoom { pzDefault, pzPageWidth, pzOnePage, pzTwoPages };
// The preview window's buttons, bits 0 to 7.
enum TfrPreviewButton { pbZoom, pbLoad, pbSave, pbPrint, pbFind, pbHelp, pbExit, pbPageSetup };
using TfrPreviewButtons = TSet<TfrPreviewButton>;
// rtMultiple builds the template once per record of the report's Dataset.
enum TfrReportType { rtSimple, rtMultiple };

const TTypeInfo& TypeInfoTfrPreviewZoom();
const TTypeInfo& TypeInfoTfrPreviewButtons();
const TTypeInfo& TypeInfoTfrReportType();

// The odd/even choice of a print request (the print dialog's list index).
inline constexpr int kPrintAllPages = 0;
inline constexpr int kPrintOddPages = 1;
inline constexpr int kPrintEvenPages = 2;

// The version of the "ReportForm" marker.
inline constexpr uint32_t kReportFormMarker = 25;

// ---- Events ----------------------------------------------------------------------

using TfrBeginDocEvent = std::function<void()>;
using TfrEndDocEvent = std::function<void()>;
using TfrPageEvent = std::function<void(int pgNo)>;
using TfrBandEvent = std::function<void(TfrBand* band)>;
// May set value; a value left Unassigned lets the report resolve the name.
using TfrDetailEvent = std::function<void(const AnsiString& name, Variant& value)>;
using TfrBeforePrintEvent = std::function<void(TStrings* memo, TfrView* view)>;
// The parameters hold the argument texts as written.
using TfrUserFunctionEvent =
    std::function<void(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3, Variant& value)>;
using TfrProgressEvent = std::function<void(int n)>;
using TfrPrintColumnEvent = std::function<void(int colNo, int& width)>;
using TfrManualBuildEvent = std::function<void(TfrPage* page)>;
using TfrObjectClickEvent = std::function<void(TfrView* view)>;
using TfrMouseOverObjectEvent = std::function<void(TfrView* view, int& cursor)>;
using TfrPrintReportEvent = std::function<void()>;

// ---- TfrReport --------------------------------------------------------------------

class TfrReport : public TComponent {
  KIV7_PERSISTENT(TfrReport)

 public:
  // Defaults as published below; the report info reset.
  explicit TfrReport(TComponent* owner);
  ~TfrReport() override;

  // ---- published properties, in their stored order
  TfrDataset* Dataset() const { return dataset_; }
  void SetDataset(TfrDataset* value);
  int DefaultCopies = 1;
  bool DefaultCollate = true;
  bool GrayedButtons = false;
  TfrPreviewZoom InitialZoom = pzDefault;
  bool MDIPreview = false;
  bool ModalPreview = true;
  bool ModifyPrepared = true;
  TfrPreview* Preview() const { return preview_; }
  void SetPreview(TfrPreview* value);
  // Every button but pbPageSetup.
  TfrPreviewButtons PreviewButtons{pbZoom, pbLoad, pbSave, pbPrint, pbFind, pbHelp, pbExit};
  bool PrintIfEmpty = true;
  TfrReportType ReportType = rtSimple;
  bool ShowPrintDialog = true;
  bool ShowProgress = true;
  bool StoreInDFM = false;
  AnsiString Title;
  bool RebuildPrinter = false;

  // ---- events (all optional)
  TfrBeginDocEvent OnBeginDoc;
  TfrEndDocEvent OnEndDoc;
  TfrPageEvent OnBeginPage;
  TfrPageEvent OnEndPage;
  TfrBandEvent OnBeginBand;
  TfrBandEvent OnEndBand;
  TfrDetailEvent OnGetValue;
  TfrBeforePrintEvent OnBeforePrint;
  TfrUserFunctionEvent OnUserFunction;
  TfrProgressEvent OnProgress;
  TfrBandEvent OnBeginColumn;
  TfrPrintColumnEvent OnPrintColumn;
  TfrManualBuildEvent OnManualBuild;
  TfrObjectClickEvent OnObjectClick;
  TfrMouseOverObjectEvent OnMouseOverObject;
  TfrPrintReportEvent OnPrintReport;
  TNotifyEvent OnCustomizeObject;

  // ---- the template
  // Pages, dictionary, report info, TwoPassBuild, KeepDefaultPrinter, the
  // stored printer name and FileName ("Untitled" at first).
  TfrTemplate Template;
  TfrPages& Pages() { return Template.Pages; }
  TfrDataDictionary& Dictionary() { return Template.Dictionary; }
  TfrReportInfo& Info() { return Template.Info; }

  // Clears the template pages and the dictionary; TwoPassBuild := false.
  void ClearTemplate();
  // The report info texts and password emptied, created and changed := now.
  void ClearReportInfo();
  // Reads a template stream. A stream of a version above 25 or a damaged one
  // is refused with a message box; objects of classes that are not registered
  // are named in a message box with the pages read so far kept. A protected
  // template asks for its password unless the stream is a memory stream.
  void LoadTemplate(TStream& stream);
  void SaveTemplate(TMemoryStream& stream);
  // The same through files (the template reader and writer of fr_tmpl.h).
  void LoadFromFile(const std::string& file_name);
  void SaveToFile(const std::string& file_name);

  // ---- built pages
  TfrEMFPages* EMFPages() const { return emf_pages_.get(); }
  // Takes the built pages away, leaving the report an empty store (the
  // preview does, and hands them back for printing).
  std::unique_ptr<TfrEMFPages> TakeBuiltPages();
  void PutBuiltPages(std::unique_ptr<TfrEMFPages> pages);
  // Prepared-report files (.frp). Loading clears the built-here flag.
  void LoadBuiltPages(const std::string& file_name);
  void SaveBuiltPages(const std::string& file_name);

  // ---- building
  // Builds the pages; true when built (false when cancelled, stopped by an
  // error, or refused because another build is running). An error is shown
  // in a message box and leaves no built pages.
  bool BuildReport();
  // BuildReport, then ShowBuiltPages whatever it gave.
  void BuildAndPreview();
  // Opens the preview window on the built pages (nothing without pages), or
  // connects the Preview panel when one is set.
  void ShowBuiltPages();
  // One progress step: OnProgress when assigned, else the progress window's
  // first line (with "из" and the total page count in the final pass of two).
  void ReportProgress(int n);
  // The first object of the template pages, in page order, of that name
  // ignoring case; nullptr when none.
  TfrView* FindObject(const AnsiString& name) const;
  // Loads a blob field into an object bound to one, then OnBeforePrint.
  void DoBeforePrint(TStrings* memo, TfrView* view);

  // The passes of a build, in the build's context; virtual so that a report
  // may build its own way.
  bool RunPasses(TfrBuildContext& build);
  void RunOnePass(TfrBuildContext& build);
  virtual void BuildBody(TfrBuildContext& build);

  // ---- printing and export (fr_print.cpp)
  // The print dialog, then PrintBuiltPages; nothing without built pages or printers.
  void PrintWithDialog();
  // Stores the request and prints under the progress window. `pages` is a
  // page list such as "1,3,5-7" (empty: all pages); odd_even is kPrint*.
  void PrintBuiltPages(const AnsiString& pages, int copies, int odd_even, bool collate);
  // The print job itself.
  virtual void PrintPages(const AnsiString& pages, int copies, int odd_even, bool collate);
  // Selects the printer of that name unless KeepDefaultPrinter; the stored
  // printer name becomes `name` in any case.
  void SelectPrinterByName(const AnsiString& name);
  // False (with a message box, the old printer selected again) when the
  // printer cannot be set up.
  bool SwitchPrinter(int old_index, int new_index);
  // The page set-up's margins (hundredths of a millimetre): the first
  // template page's; zero without pages.
  TPageMargins PageSetupMargins();
  // What an accepted page set-up chose: every template page takes the
  // margins and the printer layer's paper, orientation and bin.
  void ApplyPageSetup(const TPageMargins& margins);
  void ExportBuiltPages(TfrExportFilter* filter, const AnsiString& file_name);

  // ---- value resolution (fr_value.cpp)
  // The value of a name or of an expression during a build.
  Variant ResolveVariable(const AnsiString& name);
  // Page positions, object properties and named constants; Unassigned when none.
  Variant ResolvePageVariable(const AnsiString& name);
  // A call no parser operator handles: the function libraries, then the
  // report's procedures and OnUserFunction. p1..p3 hold argument texts.
  Variant ResolveFunction(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3);
  // The report's own procedures (STOPREPORT, INC, SETARRAY, ...) and the
  // methods of objects; `value` receives a result when the call gives one.
  void RunProcedure(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                    Variant& value);
  // The display text of one bracketed expression of a text object; `text`
  // may end with " #" and a format suffix.
  AnsiString ExpandValue(const AnsiString& text, TfrView* view);
  // A value in a display format word and text; never raises.
  static AnsiString ApplyDisplayFormat(const Variant& value, uint32_t format, const AnsiString& format_text);

  // ---- run-time state
  // Set by STOPREPORT, the progress window's Cancel and build errors.
  bool Terminated = false;
  // The copy of TwoPassBuild taken when a build starts.
  bool DoublePass = false;
  // Set by every build, cleared when built pages are loaded from a file.
  bool BuiltHere = false;
  // The last print request.
  AnsiString PrintPageList;
  int PrintCopies = 1;
  int PrintOddEven = kPrintAllPages;
  bool PrintCollate = true;
  // The export filter while an export runs.
  TfrExportFilter* CurrentFilter = nullptr;
  // Whether a build of this report runs now.
  bool Building() const { return building_; }
  // What the report's builds, prints, exports and previews need of the
  // engine (fr_host.h).
  TfrBuildHost& Host() { return *host_; }

  // ---- component framework
  void DefineProperties(TFiler& filer) override;
  void Loaded() override;

 private:
  void ReadReportForm(TStream& stream);
  void WriteReportForm(TStream& stream);
  friend class TfrEngineHost;
  AnsiString ProgressCaption(int title_text) const;
  // Runs the pass inside the progress window; false when it ended with Cancel.
  bool RunProgressWindow(TfrBuildContext& build, int line_text);

  TComponentRef<TfrDataset> dataset_;
  TComponentRef<TfrPreview> preview_;
  std::unique_ptr<TfrBuildHost> host_;
  std::unique_ptr<TfrEMFPages> emf_pages_;
  // The template bytes of "ReportForm" between reading and Loaded.
  std::unique_ptr<TMemoryStream> held_template_;
  // The progress window runs this report's work now.
  bool progress_running_ = false;
  bool building_ = false;
};

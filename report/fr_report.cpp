#include "report/fr_report.h"

#include <cassert>

#include "report/FR_DBSet.h"
#include "report/FR_DSet.h"
#include "report/fr_band.h"
#include "report/fr_emf.h"
#include "report/fr_globals.h"
#include "report/fr_host.h"
#include "report/fr_intrp.h"
#include "report/fr_page.h"
#include "report/fr_preview.h"
#include "report/fr_progr.h"
#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "report/fr_value.h"
#include "toolkit/core/filereplace.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/sys/event_loop.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace {

constexpr int kTextFrom = 55199;
constexpr int kTextFirstPass = 55204;
constexpr int kTextBuildingPage = 55205;
constexpr int kTextPreview = 55207;

// Only one build runs in the process: the parser and interpreter it points
// at its report are shared.
bool g_build_running = false;

void ShowError(const AnsiString& text) {
  DialogService().MessageBox(text, LoadReportString(kTextError), MB_OK | MB_ICONERROR);
}

// Marks a build running for its lifetime.
class BuildRunning {
 public:
  explicit BuildRunning(bool& own) : own_(own) { own_ = g_build_running = true; }
  ~BuildRunning() { own_ = g_build_running = false; }
  BuildRunning(const BuildRunning&) = delete;
  BuildRunning& operator=(const BuildRunning&) = delete;

 private:
  bool& own_;
};

}  // namespace

// ---- Published properties --------------------------------------------------------------

const TTypeInfo& TypeInfoTfrPreviewZoom() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TfrPreviewZoom", {"pzDefault", "pzPageWidth", "pzOnePage", "pzTwoPages"});
  return t;
}

const TTypeInfo& TypeInfoTfrPreviewButtons() {
  static const TTypeInfo member = TTypeInfo::Enumeration(
      "TfrPreviewButton", {"pbZoom", "pbLoad", "pbSave", "pbPrint", "pbFind", "pbHelp", "pbExit", "pbPageSetup"});
  static const TTypeInfo t = TTypeInfo::SetOf("TfrPreviewButtons", member);
  return t;
}

const TTypeInfo& TypeInfoTfrReportType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TfrReportType", {"rtSimple", "rtMultiple"});
  return t;
}

namespace {

// A published Boolean that is a plain member.
void PublishFlag(TPublisher<TfrReport>& p, const char* name, bool TfrReport::*member, bool default_value) {
  p.Boolean(name, [member](const TfrReport& r) { return r.*member; },
            [member](TfrReport& r, int64_t v) { r.*member = v != 0; })
      .WithDefault(default_value ? 1 : 0);
}

}  // namespace

const TClassInfo& TfrReport::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TfrReport>, "TfrReport", &TComponent::StaticClassInfo(),
                               [](TPublisher<TfrReport>& p) {
    p.Object("Dataset", TfrDataset::StaticClassInfo(), &TfrReport::Dataset, &TfrReport::SetDataset);
    p.Integer("DefaultCopies", [](const TfrReport& r) { return r.DefaultCopies; },
              [](TfrReport& r, int64_t v) { r.DefaultCopies = static_cast<int>(v); })
        .WithDefault(1);
    PublishFlag(p, "DefaultCollate", &TfrReport::DefaultCollate, true);
    PublishFlag(p, "GrayedButtons", &TfrReport::GrayedButtons, false);
    p.Ordinal("InitialZoom", TypeInfoTfrPreviewZoom(), [](const TfrReport& r) { return r.InitialZoom; },
              [](TfrReport& r, int64_t v) { r.InitialZoom = static_cast<TfrPreviewZoom>(v); })
        .WithDefault(pzDefault);
    PublishFlag(p, "MDIPreview", &TfrReport::MDIPreview, false);
    PublishFlag(p, "ModalPreview", &TfrReport::ModalPreview, true);
    PublishFlag(p, "ModifyPrepared", &TfrReport::ModifyPrepared, true);
    // The panel classes describe no class of their own: a component it is.
    p.Object("Preview", TComponent::StaticClassInfo(),
             [](const TfrReport& r) -> TPersistent* { return r.preview_.get(); },
             [](TfrReport& r, TPersistent* v) { r.SetPreview(dynamic_cast<TfrPreview*>(v)); });
    p.Ordinal("PreviewButtons", TypeInfoTfrPreviewButtons(),
              [](const TfrReport& r) { return static_cast<int64_t>(r.PreviewButtons.Bits()); },
              [](TfrReport& r, int64_t v) { r.PreviewButtons = TfrPreviewButtons::FromBits(static_cast<uint64_t>(v)); })
        .WithDefault(127);
    PublishFlag(p, "PrintIfEmpty", &TfrReport::PrintIfEmpty, true);
    p.Ordinal("ReportType", TypeInfoTfrReportType(), [](const TfrReport& r) { return r.ReportType; },
              [](TfrReport& r, int64_t v) { r.ReportType = static_cast<TfrReportType>(v); })
        .WithDefault(rtSimple);
    PublishFlag(p, "ShowPrintDialog", &TfrReport::ShowPrintDialog, true);
    PublishFlag(p, "ShowProgress", &TfrReport::ShowProgress, true);
    PublishFlag(p, "StoreInDFM", &TfrReport::StoreInDFM, false);
    p.String("Title", [](const TfrReport& r) { return r.Title; },
             [](TfrReport& r, const AnsiString& v) { r.Title = v; });
    PublishFlag(p, "RebuildPrinter", &TfrReport::RebuildPrinter, false);
  });
  return info;
}

// ---- Life -----------------------------------------------------------------------------

TfrReport::TfrReport(TComponent* owner)
    : TComponent(owner), host_(std::make_unique<TfrEngineHost>()), emf_pages_(std::make_unique<TfrEMFPages>(this)) {
  Template.FileName = LoadReportString(kTextUntitled);
  ClearReportInfo();
}

TfrReport::~TfrReport() {
  // No running context may name it once it is gone.
  frForgetInBuilds(this);
}

void TfrReport::SetDataset(TfrDataset* value) { dataset_ = value; }

void TfrReport::SetPreview(TfrPreview* value) { preview_ = value; }

// ---- The stored template ----------------------------------------------------------------

void TfrReport::DefineProperties(TFiler& filer) {
  TComponent::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "ReportForm", [this](TStream& stream) { ReadReportForm(stream); },
      [this](TStream& stream) { WriteReportForm(stream); }, true);
}

void TfrReport::ReadReportForm(TStream& stream) {
  ReadDword(stream);
  if (!StoreInDFM) return;
  const uint32_t length = ReadDword(stream);
  if (length > static_cast<uint64_t>(stream.Size() - stream.Position()))
    throw EReadError("ReportForm holds fewer bytes than it announces");
  if (!held_template_)
    held_template_ = std::make_unique<TMemoryStream>();
  else
    held_template_->Clear();
  if (length > 0) held_template_->CopyFrom(stream, length);
  held_template_->SetPosition(0);
}

void TfrReport::WriteReportForm(TStream& stream) {
  WriteDword(stream, kReportFormMarker);
  if (!StoreInDFM) return;
  TMemoryStream bytes;
  SaveTemplate(bytes);
  WriteDword(stream, static_cast<uint32_t>(bytes.Size()));
  bytes.SetPosition(0);
  stream.CopyFrom(bytes, bytes.Size());
}

void TfrReport::Loaded() {
  TComponent::Loaded();
  if (StoreInDFM && held_template_) {
    std::unique_ptr<TMemoryStream> bytes = std::move(held_template_);
    bytes->SetPosition(0);
    LoadTemplate(*bytes);
  }
}

void TfrReport::ClearTemplate() {
  Template.Pages.Clear();
  Template.Dictionary.Clear();
  Template.TwoPassBuild = false;
}

void TfrReport::ClearReportInfo() { Template.Info.Reset(Now()); }

void TfrReport::LoadTemplate(TStream& stream) {
  TfrBuildScope scope(this, *host_);
  // A template from the form or the build's own copy is trusted; one from
  // anywhere else asks for its password when it is protected.
  const bool from_file = dynamic_cast<TMemoryStream*>(&stream) == nullptr;
  try {
    Template.LoadFromStream(stream, from_file);
  } catch (const EClassNotFound& e) {
    ShowError(e.Message());
  } catch (const std::exception&) {
    ShowError(LoadReportString(kTextBadFormat));
  }
}

void TfrReport::SaveTemplate(TMemoryStream& stream) { Template.SaveToStream(stream); }

void TfrReport::LoadFromFile(const std::string& file_name) {
  TfrBuildScope scope(this, *host_);
  try {
    Template.LoadFromFile(file_name);
  } catch (const EClassNotFound& e) {
    ShowError(e.Message());
  } catch (const EfrFormatError&) {
    ShowError(LoadReportString(kTextBadFormat));
  }
}

void TfrReport::SaveToFile(const std::string& file_name) { Template.SaveToFile(file_name); }

// ---- Built pages -------------------------------------------------------------------------

std::unique_ptr<TfrEMFPages> TfrReport::TakeBuiltPages() {
  std::unique_ptr<TfrEMFPages> pages = std::move(emf_pages_);
  emf_pages_ = std::make_unique<TfrEMFPages>(this);
  return pages;
}

void TfrReport::PutBuiltPages(std::unique_ptr<TfrEMFPages> pages) {
  emf_pages_ = pages ? std::move(pages) : std::make_unique<TfrEMFPages>(this);
}

void TfrReport::LoadBuiltPages(const std::string& file_name) {
  TFileStream file(file_name, fmOpenRead | fmShareDenyWrite);
  try {
    emf_pages_->ReadBuiltFile(file);
  } catch (Exception& e) {
    // What the pages say of their damage means little without the file's name.
    e.SetMessage("Cannot read \"" + Utf8ToAnsi(file_name) + "\": " + e.Message());
    throw;
  }
  BuiltHere = false;
}

void TfrReport::SaveBuiltPages(const std::string& file_name) {
  TReplaceFileStream file(file_name);
  emf_pages_->WriteBuiltFile(file);
  file.Commit();
}

// ---- Building -------------------------------------------------------------------------------

bool TfrReport::BuildReport() {
  // The engine's state belongs to the running build; a second one (from a
  // click handled inside the progress window's loop) would corrupt it.
  if (g_build_running) return false;
  BuildRunning running(building_);
  // What the build reaches (report, page, band, object, counters) lives as
  // long as the build and no longer.
  TfrBuildScope scope(this, *host_);
  TfrBuildContext& build = scope.Context();

  SelectPrinterByName(Template.PrinterName);
  frEngine().EngineMode = emPrinting;
  build.BuildDate = Date();
  build.BuildTime = Now();
  Template.Pages.AlignBands();
  build.CurPage = nullptr;
  build.CurBand = nullptr;
  build.CurView = nullptr;
  DoublePass = Template.TwoPassBuild;
  InstallValueResolution(*this);

  // The build changes the template (compiled scripts, converted expressions,
  // relative positions); the copy puts it back afterwards.
  TMemoryStream saved;
  SaveTemplate(saved);

  bool result = false;
  try {
    if (OnBeginDoc) OnBeginDoc();
    result = RunPasses(build);
    if (OnEndDoc) OnEndDoc();
  } catch (const std::exception& e) {
    BuildExpressionErrorText(e, Name());
    Terminated = true;
  }
  const TfrErrorState copied = build.Error;

  saved.SetPosition(0);
  LoadTemplate(saved);
  if (build.DialogCancelled) result = false;
  if (copied.ErrorFlag) {
    result = false;
    ShowError(copied.ErrorText);
    emf_pages_->Clear();
  } else if (build.DialogCancelled) {
    emf_pages_->Clear();
  }
  return result;
}

AnsiString TfrReport::ProgressCaption(int title_text) const {
  AnsiString caption = LoadReportString(title_text);
  if (!Title.empty()) caption += " - " + Title;
  return caption;
}

bool TfrReport::RunProgressWindow(TfrBuildContext& build, int line_text) {
  const AnsiString prefix = LoadReportString(line_text);
  return RunInProgressWindow(ProgressCaption(kTextPreparing), prefix, prefix + "  1", &Terminated, progress_running_,
                             [this, &build] { RunOnePass(build); }) != mrCancel;
}

bool TfrReport::RunPasses(TfrBuildContext& build) {
  Terminated = false;
  build.ContinueOnPrevPage = false;
  build.PrevPageCurY = build.PrevPageCurBottom = 0;
  build.FooterPrinted = false;
  build.FirstPass = false;
  build.FinalPass = true;
  build.BuiltPageIndex = 0;
  emf_pages_->Clear();
  const bool window = !OnProgress && ShowProgress;

  if (Template.TwoPassBuild) {
    build.FirstPass = true;
    build.FinalPass = false;
    if (!window) {
      RunOnePass(build);
      return true;
    }
    return RunProgressWindow(build, kTextFirstPass);
  }
  if (!window) {
    Template.TwoPassBuild = DoublePass;
    RunOnePass(build);
    return true;
  }
  if (DoublePass) {
    // The second pass runs inside the window the first one opened.
    TfrProgressForm* form = frProgressForm();
    form->FirstCaption = LoadReportString(kTextBuildingPage);
    form->Label1->SetCaption(form->FirstCaption + "  1");
    Template.TwoPassBuild = true;
    RunOnePass(build);
    return true;
  }
  build.TotalPages = 0;
  return RunProgressWindow(build, kTextBuildingPage);
}

void TfrReport::RunOnePass(TfrBuildContext& build) {
  // The progress window starts the pass from a message it posts itself: the
  // build that made the context must still be running.
  assert(build.Live());
  try {
    BuildBody(build);
  } catch (const std::exception& e) {
    BuildExpressionErrorText(e, Name());
    Terminated = true;
  }
  if (build.FinalPass) {
    if (progress_running_) frProgressForm()->SetModalResult(Terminated ? mrCancel : mrOk);
    return;
  }
  build.TotalPages = emf_pages_->Count();
  Template.TwoPassBuild = false;
  if (Terminated) {
    emf_pages_->Clear();
    if (progress_running_) frProgressForm()->SetModalResult(mrCancel);
  } else {
    RunPasses(build);
  }
  Template.TwoPassBuild = true;
}

void TfrReport::BuildBody(TfrBuildContext& build) {
  ProcessMessages();
  BuiltHere = true;
  frEngine().EngineMode = emPrinting;
  build.CurReport = this;
  build.ReportOwner = Owner();
  Template.Dictionary.ClearCache();
  InstallValueResolution(*this);
  build.Error.ErrorFlag = false;

  TfrPages& pages = Template.Pages;
  const bool multiple = dataset_ != nullptr && ReportType == rtMultiple;
  if (multiple) {
    dataset_->Open();
    dataset_->First();
  }
  const bool first_build_pass = !DoublePass || build.FirstPass;
  if (first_build_pass) {
    build.Listeners.clear();
    for (int i = 0; i < pages.Count(); ++i) pages.Pages(i)->Skip = false;
    build.DialogCancelled = false;
  }

  for (int i = 0; i < pages.Count() && !build.DialogCancelled; ++i) {
    TfrPage* page = pages.Pages(i);
    if (page->Type != ptDialog) continue;
    build.CurPage = page;
    page->PrepareBuild();
  }

  if (!build.DialogCancelled) {
    for (int i = 0; i < pages.Count(); ++i) {
      TfrPage* page = pages.Pages(i);
      if (page->Type != ptReport) continue;
      build.CurPage = page;
      page->PrepareBuild();
    }
    if (first_build_pass) {
      for (int i = 0; i < pages.Count() && !build.Error.ErrorFlag; ++i) {
        TfrPage* page = pages.Pages(i);
        if (page->Type != ptReport) continue;
        build.CurPage = page;
        page->RegisterAggregates();
      }
      if (build.Error.ErrorFlag) Terminated = true;
    }
    while (!Terminated) {
      ReportProgress(build.BuiltPageIndex + 1);
      for (int i = 0; i < pages.Count(); ++i) {
        TfrPage* page = pages.Pages(i);
        build.CurPage = page;
        if (!page->Visible) page->RunScript(page->Script);
        if (!page->Skip && page->Type == ptReport && page->Visible) page->BuildPages();
        const bool continues = i + 1 < pages.Count() && pages.Pages(i + 1)->PrintToPrevPage;
        if (continues) {
          --build.BuiltPageIndex;
          build.ContinueOnPrevPage = true;
        } else {
          build.BuiltPageIndex = emf_pages_->Count();
          ReportProgress(build.BuiltPageIndex);
        }
        if (Terminated) break;
      }
      ReportProgress(build.BuiltPageIndex);
      if (!multiple) break;
      dataset_->Next();
      if (dataset_->Eof()) break;
    }
  }

  for (int i = 0; i < pages.Count(); ++i)
    if (pages.Pages(i)->Type == ptReport) pages.Pages(i)->FinishBuild();
  for (int i = 0; i < pages.Count(); ++i)
    if (pages.Pages(i)->Type == ptDialog) pages.Pages(i)->FinishBuild();
  if (multiple) dataset_->Close();
}

void TfrReport::ReportProgress(int n) {
  if (OnProgress) {
    OnProgress(n);
    return;
  }
  if (!ShowProgress) return;
  if (progress_running_) {
    TfrProgressForm* form = frProgressForm();
    AnsiString line = form->FirstCaption + "  " + IntToStr(n);
    const TfrBuildContext& build = frBuildOrNone();
    if ((DoublePass && build.FinalPass) || CurrentFilter != nullptr)
      line += " " + LoadReportString(kTextFrom) + " " + IntToStr(build.TotalPages);
    form->Label1->SetCaption(line);
  }
  ProcessMessages();
}

TfrView* TfrReport::FindObject(const AnsiString& name) const {
  const TfrPages& pages = Template.Pages;
  for (int i = 0; i < pages.Count(); ++i)
    if (TfrView* view = pages.Pages(i)->FindObject(name)) return view;
  return nullptr;
}

void TfrReport::DoBeforePrint(TStrings* memo, TfrView* view) {
  if (view != nullptr && view->DataSet != nullptr && !view->DataField.empty()) {
    TField* field = view->DataSet->FieldNamedOrNil(view->DataField);
    if (IsBlobField(field)) view->LoadFromField(static_cast<TBlobField*>(field));
  }
  if (OnBeforePrint) OnBeforePrint(memo, view);
}

// ---- Showing ------------------------------------------------------------------------------

void TfrReport::BuildAndPreview() {
  BuildReport();
  ShowBuiltPages();
}

void TfrReport::ShowBuiltPages() {
  TfrBuildScope scope(this, *host_);
  frEngine().EngineMode = emPrinting;
  if (emf_pages_->Count() == 0) return;
  const bool designing = ComponentState().Contains(csDesigning);
  if (designing || preview_ == nullptr) {
    auto* form = new TfrPreviewForm(designing ? nullptr : this);
    form->AfterConstruction();
    AnsiString caption = LoadReportString(kTextPreview);
    if (!Title.empty()) caption += " - " + Title;
    form->SetCaption(caption);
    form->ShowPages(this);
    ProcessMessages();
  } else {
    preview_->Connect(this);
  }
}

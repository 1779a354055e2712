#include "report/fr_host.h"

#include <algorithm>

#include "report/FR_DBSet.h"
#include "report/fr_band.h"
#include "report/fr_globals.h"
#include "report/fr_intrp.h"
#include "report/fr_page.h"
#include "report/fr_progr.h"
#include "report/fr_report.h"
#include "report/fr_view.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace {

std::optional<TfrAggregateBand> DescribeBand(const TfrBand* band) {
  if (band == nullptr) return std::nullopt;
  return TfrAggregateBand{band->Name, band->Type, band->HoldsCrossCells()};
}

// The toolkit data set behind a record source, when it has one.
TDataSet* DataSetOf(TfrDataset* source) {
  auto* db = dynamic_cast<TfrDBDataSet*>(source);
  if (db == nullptr) return nullptr;
  try {
    return db->GetDataSet();
  } catch (const EDSError&) {
    return nullptr;
  }
}

}  // namespace

// ---- Objects ---------------------------------------------------------------------

void TfrEngineHost::BeginDraw(TfrView& view, TCanvas* canvas) { ::BeginDraw(view, canvas); }

void TfrEngineHost::DoBeforePrint(TfrView& view) {
  if (TfrReport* report = frCurrentReport()) report->DoBeforePrint(&view.ExpandedMemo, &view);
}

void TfrEngineHost::RunScript(TfrView& view) {
  // The page build compiled every object's script in place.
  if (view.Script.Count() == 0) return;
  if (TfrBuildContext* context = frBuildContext()) context->CurView = &view;
  Interpreter().RunScript(view.Script);
}

AnsiString TfrEngineHost::ExpandVariables(TfrView& view, const AnsiString& text) {
  AnsiString expanded = text;
  ::ExpandVariables(view, expanded);
  return expanded;
}

std::optional<TfrBandPlacement> TfrEngineHost::CurrentBand() {
  const TfrBand* band = frCurrentBand();
  if (band == nullptr || frEngine().EngineMode != emPrinting) return std::nullopt;
  return TfrBandPlacement{band->Top, std::max(band->Height, band->NeededHeight), band->Width, band->Type};
}

TfrView* TfrEngineHost::FindObject(const AnsiString& name) {
  TfrReport* report = frCurrentReport();
  return report != nullptr ? report->FindObject(name) : nullptr;
}

TfrObject* TfrEngineHost::TemplatePage(int index) {
  TfrReport* report = frCurrentReport();
  if (report == nullptr || index < 1 || index > report->Pages().Count()) return nullptr;
  return report->Pages().Pages(index - 1);
}

TComponent* TfrEngineHost::FindDialogComponent(const AnsiString& name) {
  // Dialog controls are made on the hidden form, so a generated control name
  // must not be one of its components either.
  TfrGlobals* globals = frGlobalsIfMade();
  return globals != nullptr ? globals->FindDialogComponent(name) : nullptr;
}

TDataSet* TfrEngineHost::DefaultDataSet() {
  TfrReport* report = frCurrentReport();
  if (const TfrBand* band = frCurrentBand()) {
    const TfrBand* data = band->IsDataBandType() ? band : band->OwnerDataBand;
    if (data != nullptr)
      if (TDataSet* data_set = DataSetOf(data->Source)) return data_set;
  }
  return report != nullptr ? DataSetOf(report->Dataset()) : nullptr;
}

void TfrEngineHost::ExportObject(int, int, TfrView&) {}

void TfrEngineHost::ExportText(const TRect&, int, int, const AnsiString&, TfrMemoView&, uint16_t) {}

// ---- Drawing ---------------------------------------------------------------------

std::optional<std::pair<int, int>> TfrEngineHost::PageLimits() {
  TfrPage* page = frCurrentPage();
  if (page == nullptr) return std::nullopt;
  const TfrPageLimits limits = page->ComputeLimits();
  return std::pair<int, int>(limits.Left, limits.Right);
}

std::vector<TfrView*> TfrEngineHost::PageObjects() {
  std::vector<TfrView*> objects;
  if (TfrPage* page = frCurrentPage())
    for (const auto& view : page->Objects) objects.push_back(view.get());
  return objects;
}

bool TfrEngineHost::InLooseBand(TfrView& view) { return view.Parent != nullptr && view.Parent->Type == btNone; }

bool TfrEngineHost::CurrentBandStretched() {
  const TfrBand* band = frCurrentBand();
  return band != nullptr && band->Stretches;
}

AnsiString TfrEngineHost::ExpandValue(TfrView& view, const AnsiString& inner) {
  TfrReport* report = frCurrentReport();
  return report != nullptr ? report->ExpandValue(inner, &view) : "[" + inner + "]";
}

// ---- Aggregates ------------------------------------------------------------------

bool TfrEngineHost::RegistrationMode() { return frBuildOrNone().Registering; }

std::optional<TfrAggregateBand> TfrEngineHost::PrintingBand() { return DescribeBand(frCurrentBand()); }

std::optional<TfrAggregateBand> TfrEngineHost::CandidateBand() { return DescribeBand(frBuildOrNone().Target); }

void TfrEngineHost::RegisterTotal(const AnsiString& key, const Variant& start) {
  TfrBand* target = frBuildOrNone().Target;
  TfrBand* printing = frCurrentBand();
  if (target == nullptr) return;
  target->SetTotal(key, start);
  if (printing != nullptr) printing->TotalsBand = target;
}

std::optional<Variant> TfrEngineHost::ReadTotal(const AnsiString& key) {
  TfrBand* printing = frCurrentBand();
  if (printing == nullptr || printing->TotalsBand == nullptr) return std::nullopt;
  return printing->TotalsBand->GetTotal(key);
}

int TfrEngineHost::CurrentColumn() {
  TfrPage* page = frCurrentPage();
  return page != nullptr ? page->CrossColumn : 0;
}

TfrVariables* TfrEngineHost::DictionaryVariables() {
  TfrReport* report = frCurrentReport();
  return report != nullptr ? &report->Dictionary().VariableTable : nullptr;
}

// ---- Scripts ---------------------------------------------------------------------

bool TfrEngineHost::SetDictionaryVariable(const AnsiString& name, const Variant& value) {
  TfrReport* report = frCurrentReport();
  if (report == nullptr) return false;
  TfrVariables& table = report->Dictionary().VariableTable;
  const int index = table.IndexOfVariable(name);
  if (index < 0) return false;
  table.SetVariableValueAt(index, value);
  return true;
}

void TfrEngineHost::SetDialogModalResult(int result) {
  TfrPage* page = frCurrentPage();
  if (page != nullptr && page->Type == ptDialog && page->DialogForm) page->DialogForm->SetModalResult(result);
}

void TfrEngineHost::SetCurY(int y) {
  TfrBand* band = frCurrentBand();
  if (band != nullptr && (band->NewPageRequests > 0 || band->NewColumnRequests > 0)) band->KeepCurY = true;
  if (TfrPage* page = frCurrentPage()) page->CurY = y;
}

void TfrEngineHost::ShowProgress(const AnsiString& text) {
  TfrReport* report = frCurrentReport();
  if (report != nullptr && report->progress_running_) frProgressForm()->Label2->SetCaption(text);
}

TfrParser& TfrEngineHost::Parser() { return *frGlobals().ReportParser; }

TInterpretator& TfrEngineHost::Interpreter() { return *frGlobals().ReportInterpreter; }

// The page build: preparing and linking the run-time bands of a template
// page, registering the running totals their footers need, and the page flow
// that walks the record sources master -> detail -> subdetail with groups and
// prints bands onto built pages, opening new columns and pages as they fill.
#include <algorithm>
#include <cstdint>

#include "report/FR_DBSet.h"
#include "report/fr_band.h"
#include "report/fr_emf.h"
#include "report/fr_funcs.h"
#include "report/fr_intrp.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_progr.h"
#include "report/fr_report.h"
#include "report/fr_utils.h"
#include "report/fr_view.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace {

TfrEMFPages* BuiltPages() {
  TfrReport* report = frCurrentReport();
  return report != nullptr ? report->EMFPages() : nullptr;
}

int BuiltCount() {
  TfrEMFPages* built = BuiltPages();
  return built != nullptr ? built->Count() : 0;
}

bool ManualBuild() {
  TfrReport* report = frCurrentReport();
  return report != nullptr && static_cast<bool>(report->OnManualBuild);
}

// The band types of a data level and of its header and footer.
struct DataLevel {
  int header, data, footer;
};
constexpr DataLevel kLevels[] = {{btMasterHeader, btMasterData, btMasterFooter},
                                 {btDetailHeader, btDetailData, btDetailFooter},
                                 {btSubDetailHeader, btSubDetailData, btSubDetailFooter}};

// The bands of a chain in order.
std::vector<TfrBand*> Chain(TfrBand* head) {
  std::vector<TfrBand*> bands;
  for (TfrBand* b = head; b != nullptr; b = b->Next) bands.push_back(b);
  return bands;
}

// The bands of a chain made from band objects.
std::vector<TfrBand*> UsedChain(TfrBand* head) {
  std::vector<TfrBand*> bands;
  for (TfrBand* b = head; b != nullptr; b = b->Next)
    if (b->View != nullptr) bands.push_back(b);
  return bands;
}

// A run-time band takes what its band object says of it and binds its source.
void TakeBandObject(TfrBand& band, TfrBandView& view, TfrInterpretator& interpreter) {
  band.View = &view;
  view.Parent = &band;
  band.Memo.Assign(view.Memo);
  band.Script.Clear();
  if (view.Script.Count() > 0) {
    TStringList errors;
    interpreter.CompileScript(view.Script, band.Script, errors);
  }
  band.Flags = view.Flags;
  band.Visible = view.Visible;
  band.Name = view.Name;
  try {
    band.BindSource(view.FormatText);
  } catch (const std::exception& e) {
    frRecordBuildError(e);
  }
}

}  // namespace

void TfrBandDeleter::operator()(TfrBand* band) const { delete band; }
void TfrFormDeleter::operator()(TForm* form) const { delete form; }

TfrBand* TfrPage::BandOfType(int type) const {
  if (type < 0 || type >= kBandTypeCount) return nullptr;
  return bands_[static_cast<size_t>(type)];
}

bool TfrPage::AtBodyTop() const {
  if (CurY <= Limits.Top) return true;
  return frBuildOrNone().BuiltPageIndex == FreshPageIndex && CurColumn == FreshColumn && CurY == FreshY;
}

// ---- Preparation ----------------------------------------------------------------------

void TfrPage::PrepareBuild() {
  TfrBuildContext& build = frRunningBuild();
  build.CurPage = this;
  if (Prepared && !build.FirstPass) {
    // The final pass of two reuses the bands of the first: only the sources rewind.
    if (Type == ptReport)
      for (TfrBand* band : bands_)
        if (band != nullptr && band->Source != nullptr) band->Source->First();
    return;
  }
  if (Type == ptDialog) {
    ShowDialog();
    Prepared = true;
    return;
  }
  PrepareBands();
  CurrentRecord = 1;
  CrossColumn = 1;
  Prepared = true;
}

// The bands a build plays, made afresh from the band objects: each object
// placed in the band it lies in, headers, footers, groups, children and
// column sources linked, and the column layout fixed.
void TfrPage::PrepareBands() {
  ResetBands();
  TfrInterpretator& interpreter = frBuildHost().Interpreter();
  // Whether each object has found its band (band objects count as placed).
  std::vector<bool> placed = PrepareObjects(interpreter);
  PlaceCrossBands(placed, interpreter);
  for (int type = 0; type <= btChild; ++type)
    if (!IsCrossBand(type)) PlaceBandsOfType(type, placed, interpreter);
  PlaceLooseObjects(placed);
  LinkHeadersAndFooters();
  PairGroupFooters();
  AttachColumnSources();
  AttachChildBands();
  AttachGroups();
  LayOutColumns();
}

void TfrPage::ResetBands() {
  band_store_.clear();
  bands_.fill(nullptr);
  queue_.clear();
  Records.clear();
  PlayPosition = 0;
  BandToContinue = nullptr;
  PrevBand = nullptr;
  Limits = ComputeLimits();
  for (int type = 0; type < kBandTypeCount; ++type) {
    band_store_.emplace_back(new TfrBand(type, this));
    bands_[static_cast<size_t>(type)] = band_store_.back().get();
  }
}

// Compiles the objects' highlight conditions and scripts, registers those
// that want to hear of printed texts, and marks the pages that sub-reports
// play as not printed on their own.
std::vector<bool> TfrPage::PrepareObjects(TfrInterpretator& interpreter) {
  TfrParser& parser = frBuildHost().Parser();
  TfrReport* report = frCurrentReport();
  std::vector<bool> placed(Objects.size());
  for (size_t i = 0; i < Objects.size(); ++i) {
    TfrView* v = Objects[i].get();
    placed[i] = v->TypeCode == gtBand;
    v->Parent = nullptr;
    if (auto* memo = dynamic_cast<TfrMemoView*>(v); memo != nullptr && !Trim(memo->HighlightCondition).empty())
      memo->HighlightPostfix = parser.ToPostfix(memo->HighlightCondition);
    if (v->Flags & flWantHook) frRunningBuild().Listeners.push_back(v);
    // A band object's script is compiled into its run-time band below.
    if (v->TypeCode != gtBand && v->Script.Count() > 0) {
      TStringList compiled, errors;
      interpreter.CompileScript(v->Script, compiled, errors);
      v->Script.Assign(compiled);
    }
    if (auto* sub = dynamic_cast<TfrSubReportView*>(v); sub != nullptr && report != nullptr)
      if (TfrPage* target = report->Pages().Pages(sub->SubPage); target != nullptr && target != this)
        target->Skip = true;
  }
  return placed;
}

// Cross bands span the page from top to bottom; the objects within their
// left and right become their cells and also lie in a horizontal band.
void TfrPage::PlaceCrossBands(std::vector<bool>& placed, TfrInterpretator& interpreter) {
  std::vector<TfrBand*> cross_bands;
  for (const auto& object : Objects) {
    auto* view = dynamic_cast<TfrBandView*>(object.get());
    if (view == nullptr || !IsCrossBand(view->BandType())) continue;
    TfrBand* band = bands_[static_cast<size_t>(view->BandType())];
    band->Left = view->Left;
    band->Width = view->Width;
    TakeBandObject(*band, *view, interpreter);
    if (std::find(cross_bands.begin(), cross_bands.end(), band) == cross_bands.end()) cross_bands.push_back(band);
  }
  for (TfrBand* band : cross_bands) {
    for (size_t i = 0; i < Objects.size(); ++i) {
      TfrView* v = Objects[i].get();
      if (placed[i] || v->Parent != nullptr) continue;
      if (v->Left < band->Left || int64_t{v->Left} + v->Width > int64_t{band->Left} + band->Width) continue;
      v->Left -= band->Left;
      v->Parent = band;
    }
  }
}

// The horizontal bands of one type, one per band object in list order,
// chained in order of Top, each with the objects whose top lies within it.
void TfrPage::PlaceBandsOfType(int type, std::vector<bool>& placed, TfrInterpretator& interpreter) {
  std::vector<TfrBand*> made;
  for (const auto& object : Objects) {
    auto* view = dynamic_cast<TfrBandView*>(object.get());
    if (view == nullptr || view->BandType() != type) continue;
    TfrBand* band = bands_[static_cast<size_t>(type)];
    if (!made.empty()) {
      band_store_.emplace_back(new TfrBand(type, this));
      band = band_store_.back().get();
    }
    made.push_back(band);
    band->Top = view->Top;
    band->Height = view->Height;
    TakeBandObject(*band, *view, interpreter);
    band->Stretches = (view->Flags & flStretched) != 0;
    band->PrintWithoutDetail = (view->Flags & flBandPrintIfSubsetEmpty) != 0;
    band->ChildWhenHidden = (view->Flags & flBandPrintChildIfInvisible) != 0;
    band->PageAfter = !Skip && (view->Flags & flBandNewPageAfter) != 0;
    band->MaySplit = !Skip && (view->Flags & flBandBreaked) != 0;
  }
  for (TfrBand* band : made) PlaceObjectsInBand(*band, placed);
  std::stable_sort(made.begin(), made.end(), [](TfrBand* a, TfrBand* b) { return a->Top < b->Top; });
  if (made.empty()) return;
  for (size_t i = 0; i < made.size(); ++i) {
    made[i]->Prev = i > 0 ? made[i - 1] : nullptr;
    made[i]->Next = i + 1 < made.size() ? made[i + 1] : nullptr;
  }
  bands_[static_cast<size_t>(type)] = made.front();
  made.front()->LastInChain = made.back();
}

// Objects whose top lies within the band belong to it: loose objects first,
// then cells of cross bands, then sub-reports.
void TfrPage::PlaceObjectsInBand(TfrBand& band, std::vector<bool>& placed) {
  const int64_t top = band.Top;
  const int64_t bottom = top + band.Height;
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < Objects.size(); ++i) {
      if (placed[i] && round != 1) continue;
      TfrView* v = Objects[i].get();
      if (v->Top < top || v->Top > bottom) continue;
      const bool sub = v->TypeCode == gtSubReport;
      if (round == 0 && (sub || v->Parent != nullptr)) continue;
      if (round == 1 && (placed[i] || v->Parent == nullptr || v->TypeCode == gtBand)) continue;
      if (round == 2 && (!sub || v->Parent != nullptr)) continue;
      if (round != 1) v->Parent = &band;
      placed[i] = true;
      v->Top = static_cast<int>(v->Top - top);
      band.Objects.push_back(v);
    }
  }
}

// What lies outside every band prints where it was designed.
void TfrPage::PlaceLooseObjects(const std::vector<bool>& placed) {
  TfrBand* loose = bands_[btNone];
  loose->Top = 0;
  for (size_t i = 0; i < Objects.size(); ++i) {
    if (placed[i]) continue;
    TfrView* v = Objects[i].get();
    v->Parent = loose;
    loose->Objects.push_back(v);
  }
}

// Headers link to the first data band below them, footers to the last data
// band above them.
void TfrPage::LinkHeadersAndFooters() {
  for (const DataLevel& level : kLevels) {
    const std::vector<TfrBand*> data = UsedChain(bands_[static_cast<size_t>(level.data)]);
    for (TfrBand* header : UsedChain(bands_[static_cast<size_t>(level.header)])) {
      for (TfrBand* d : data) {
        if (int64_t{header->Top} + header->Height >= d->Top) continue;
        if (d->Header == nullptr) {
          d->Header = header;
          header->OwnerDataBand = d;
        }
        break;
      }
    }
    for (TfrBand* footer : UsedChain(bands_[static_cast<size_t>(level.footer)])) {
      TfrBand* last = nullptr;
      for (TfrBand* d : data) {
        if (int64_t{d->Top} + d->Height > footer->Top) break;
        last = d;
      }
      if (last != nullptr && last->Footer == nullptr) {
        last->Footer = footer;
        footer->OwnerDataBand = last;
      }
    }
  }
}

// The innermost group header pairs with the topmost group footer.
void TfrPage::PairGroupFooters() {
  const std::vector<TfrBand*> headers = UsedChain(bands_[btGroupHeader]);
  const std::vector<TfrBand*> footers = UsedChain(bands_[btGroupFooter]);
  auto h = headers.rbegin();
  auto f = footers.begin();
  for (; h != headers.rend() && f != footers.end(); ++h, ++f) (*h)->Footer = *f;
}

// Rows may take their columns from sources of their own: the cross data
// band's source text is then "Band=source;Band=source".
void TfrPage::AttachColumnSources() {
  TfrBand* cross_data = bands_[btCrossData];
  if (!cross_data->IsUsed() || cross_data->View->FormatText.find(';') == AnsiString::npos) return;
  TStringList pairs;
  SplitList(cross_data->View->FormatText, pairs);
  for (int i = 0; i < pairs.Count(); ++i) {
    const AnsiString pair = pairs.Strings(i);
    const size_t eq = pair.find('=');
    if (eq == AnsiString::npos) continue;
    const AnsiString band_name = Trim(pair.substr(0, eq));
    const AnsiString source_text = Trim(pair.substr(eq + 1));
    for (const auto& owned : band_store_) {
      TfrBand* band = owned.get();
      if (band->Type < btMasterHeader || band->Type > btChild || band->View == nullptr) continue;
      if (!SameText(band->View->Name, band_name)) continue;
      try {
        TfrDataset* source = nullptr;
        bool created = false;
        ResolveBandDataSource(source_text, source, created);
        band->ColumnSource = source;
        band->OwnsColumnSource = created;
      } catch (const std::exception& e) {
        frRecordBuildError(e);
      }
    }
  }
}

// Child bands named by band objects.
void TfrPage::AttachChildBands() {
  for (const auto& owned : band_store_) {
    TfrBand* band = owned.get();
    if (band->View == nullptr || Trim(band->View->ChildBand).empty()) continue;
    if (auto* child = dynamic_cast<TfrBandView*>(FindObject(band->View->ChildBand)); child != nullptr)
      if (child->Parent != band) band->Child = child->Parent;
  }
}

// Groups attach to their master data band, outermost first.
void TfrPage::AttachGroups() {
  TfrBand* master = bands_[btMasterData];
  if (!master->IsUsed()) return;
  for (TfrBand* group : UsedChain(bands_[btGroupHeader])) {
    TfrBand* data = master;
    if (!Trim(group->View->Master).empty()) {
      auto* named = dynamic_cast<TfrBandView*>(FindObject(group->View->Master));
      data = named != nullptr && named->Parent != nullptr ? named->Parent : nullptr;
    }
    if (data == nullptr) continue;
    if (data->GroupHead == nullptr) {
      data->GroupHead = group;
    } else {
      data->GroupTail->GroupInner = group;
      group->GroupOuter = data->GroupTail;
    }
    data->GroupTail = group;
  }
}

// The column width, and the body's bottom above the page footer.
void TfrPage::LayOutColumns() {
  if (Columns <= 0) Columns = 1;
  ColumnWidth = static_cast<int>((int64_t{Limits.Right} - Limits.Left - int64_t{Columns - 1} * ColumnGap) / Columns);
  if (bands_[btPageFooter]->IsUsed()) Limits.Bottom -= bands_[btPageFooter]->Height;
}

void TfrPage::ShowDialog() {
  frRunningBuild().CurPage = this;
  DialogForm.reset(new TForm(nullptr));
  TForm& form = *DialogForm;
  for (const auto& object : Objects) {
    if (auto* control = dynamic_cast<TfrControl*>(object.get())) control->PlaceControl(&form);
    // Said again now that the control exists, so it shows or hides.
    object->PutProperty("Visible", object->Visible);
  }
  auto run_script = [this] {
    try {
      RunScript(Script);
    } catch (const std::exception& e) {
      frRecordBuildError(e);
    }
  };
  if (Objects.empty() || !Visible) {
    run_script();
    return;
  }
  TfrProgressForm* progress = frProgressForm();
  const bool progress_shown = progress->Visible();
  progress->SetVisible(false);
  form.SetBorderStyle(BorderStyle == kPageBorderSizeable ? bsSizeable : bsDialog);
  form.SetCaption(Caption);
  form.SetColor(Color);
  form.SetBounds(Left, Top, Width, Height);
  form.SetPosition(Position == kPagePositionDesigned ? poDesigned : poScreenCenter);
  // The page script runs once, as the form takes the activation, so it meets
  // the form up and its controls placed; a modal result it sets ends the
  // dialog before the form is painted. A failing script ends it too: the
  // build stops, so no answer could be used.
  form.OnActivate = [this, run_script](TComponent* sender) {
    auto* shown = static_cast<TForm*>(sender);
    shown->OnActivate = nullptr;
    run_script();
    if (shown->ModalResult() == mrNone && frBuildStopped()) shown->SetModalResult(mrAbort);
  };
  TScopeExit shown([&] {
    form.OnActivate = nullptr;
    progress->SetVisible(progress_shown);
  });
  if (form.ShowModal() == mrCancel) frRunningBuild().DialogCancelled = true;
}

// ---- Aggregate registration -----------------------------------------------------------------

void TfrPage::RegisterAggregates() {
  if (Type != ptReport || !Prepared) return;
  TfrBuildContext& build = frRunningBuild();
  TfrReport* report = frCurrentReport();
  if (!build.FirstPass && report != nullptr && report->DoublePass) return;
  build.CurPage = this;

  // Objects that show one field are bound to it, so blob fields can be loaded.
  for (const auto& object : Objects) {
    TfrView* v = object.get();
    v->DataSet = nullptr;
    v->DataField.clear();
    AnsiString text = v->Memo.Count() > 0 ? v->Memo.Strings(0) : AnsiString();
    for (int i = 1; i < v->Memo.Count(); ++i) text += "\r\n" + v->Memo.Strings(i);
    if (text.size() <= 2 || text[0] != '[') continue;
    if (auto* memo = dynamic_cast<TfrMemoView*>(v); memo != nullptr && (memo->Flags & flTextOnly)) continue;
    const size_t last = text.rfind(']');
    if (last == AnsiString::npos || last < 1) continue;
    const AnsiString name = text.substr(1, last - 1);
    build.CurBand = v->Parent;
    // A name the dictionary knows (a variable, an aliased field) binds to the
    // field it resolved to, or to nothing when it is no field.
    if (report != nullptr) {
      TfrDataDictionary& dictionary = report->Dictionary();
      bool known = false;
      try {
        known = dictionary.IsVariable(name);
      } catch (const std::exception&) {
        known = false;
      }
      if (known) {
        TDataSet* data_set = nullptr;
        AnsiString field;
        if (dictionary.FindCachedField(name, data_set, field)) {
          v->DataSet = data_set;
          v->DataField = field;
        }
        continue;
      }
    }
    TDataSet* data_set = nullptr;
    if (v->Parent != nullptr)
      if (auto* source = dynamic_cast<TfrDBDataSet*>(v->Parent->Source)) {
        try {
          data_set = source->GetDataSet();
        } catch (const std::exception&) {
          data_set = nullptr;
        }
      }
    AnsiString field;
    try {
      ResolveDataSetAndField(name, data_set, field);
    } catch (const std::exception&) {
      continue;  // a name that is no field reference binds nothing
    }
    if (!field.empty() && data_set != nullptr) {
      v->DataSet = data_set;
      v->DataField = field;
    }
  }

  static constexpr int kMasterOrder[] = {btPageFooter, btColumnFooter, btMasterFooter, btGroupFooter,
                                         btReportSummary};
  static constexpr int kDetailOrder[] = {btPageFooter,   btColumnFooter, btMasterFooter, btDetailFooter,
                                         btGroupFooter,  btReportSummary};
  static constexpr int kSubDetailOrder[] = {btPageFooter,      btColumnFooter, btMasterFooter, btDetailFooter,
                                            btSubDetailFooter, btGroupFooter,  btReportSummary};
  struct Registration {
    int data;
    const int* order;
    size_t count;
  };
  const Registration registrations[] = {
      {btMasterData, kMasterOrder, std::size(kMasterOrder)},
      {btDetailData, kDetailOrder, std::size(kDetailOrder)},
      {btSubDetailData, kSubDetailOrder, std::size(kSubDetailOrder)},
  };

  auto register_band = [&build](TfrBand* band) {
    if (band == nullptr || !band->IsUsed()) return;
    TStringList found;
    TAggregateFunctionsSplitter splitter(&found);
    splitter.SplitScript(band->Script);
    // A cross band's cells lie in the horizontal bands' lists.
    auto split = [&splitter](TfrView* v) {
      if (dynamic_cast<TfrMemoView*>(v) != nullptr) splitter.SplitMemo(v->Memo);
      splitter.SplitScript(v->Script);
    };
    if (IsCrossBand(band->Type)) {
      for (const auto& object : band->Page->Objects)
        if (object->Parent == band && object->TypeCode != gtBand) split(object.get());
    } else {
      for (TfrView* v : band->Objects) split(v);
    }
    build.CurBand = band;
    for (int i = 0; i < found.Count(); ++i) frBuildHost().Parser().EvaluateText(found.Strings(i));
  };

  build.Registering = true;
  try {
    for (const Registration& r : registrations) {
      for (TfrBand* data = bands_[static_cast<size_t>(r.data)]; data != nullptr && data->Source != nullptr;
           data = data->Next) {
        build.Target = data;
        for (size_t t = 0; t < r.count; ++t) {
          for (TfrBand* band : Chain(bands_[static_cast<size_t>(r.order[t])])) {
            register_band(band);
            for (TfrBand* child = band->Child; child != nullptr && child != band; child = child->Child)
              register_band(child);
          }
        }
      }
    }
    if (bands_[btCrossData]->IsUsed()) {
      build.Target = bands_[btCrossData];
      for (TfrBand* band : Chain(bands_[btCrossFooter])) register_band(band);
    }
  } catch (const std::exception& e) {
    frRecordBuildError(e);
  }
  build.Registering = false;
  build.Target = nullptr;
  build.CurBand = nullptr;
}

void TfrPage::FinishBuild() {
  if (frBuildOrNone().FirstPass) return;
  if (Prepared && Type == ptDialog) {
    // The form's controls go with it; the objects that hosted them follow.
    for (const auto& object : Objects)
      if (auto* control = dynamic_cast<TfrControl*>(object.get())) control->Control = nullptr;
    ClearObjects();
    DialogForm.reset();
  } else if (Prepared) {
    for (const auto& object : Objects) object->Parent = nullptr;
    bands_.fill(nullptr);
    band_store_.clear();
  }
  queue_.clear();
  Records.clear();
  PlayPosition = 0;
  BandToContinue = nullptr;
  PrevBand = nullptr;
  if (TfrBuildContext* build = frBuildContext(); build != nullptr && build->CurPage == this)
    build->CurBand = nullptr;
  Prepared = false;
}

// ---- Page flow --------------------------------------------------------------------------------

void TfrPage::PrintBand(TfrBand* band) {
  if (band == nullptr) return;
  if (Mode == 1) {
    Records.push_back({band, TfrBandAction::Print});
    return;
  }
  band->Print();
}

void TfrPage::PrintBandByName(std::string_view name) {
  for (TfrBand* head : bands_)
    for (TfrBand* b = head; b != nullptr; b = b->Next)
      if (b->View != nullptr && SameText(b->View->Name, name)) {
        PrintBand(b);
        return;
      }
}

void TfrPage::ResetRowCounter(TfrBand* band, int n) {
  if (band == nullptr) return;
  band->RowNo = n;
  for (TfrView* v : band->Objects)
    if (auto* memo = dynamic_cast<TfrMemoView*>(v); memo != nullptr && v->Parent == band) memo->LastValue.clear();
}

void TfrPage::Enqueue(TfrBand* band) {
  if (band != nullptr) queue_.push_back(band);
}

void TfrPage::PrintQueue() {
  std::vector<TfrBand*> pending;
  pending.swap(queue_);
  for (TfrBand* band : pending)
    if (band->IsUsed()) PrintBand(band);
}

void TfrPage::BuildPages() {
  TfrBuildContext& build = frRunningBuild();
  TfrReport* report = frCurrentReport();
  TfrEMFPages* built = BuiltPages();
  build.CurPage = this;
  if (!Prepared) return;
  // Nothing the first of two passes prints is kept: fills and frames are not painted.
  TScopedValue<bool> first_pass(build.PaintsSkipped, build.FirstPass);

  TfrBand* master = bands_[btMasterData];
  if (report != nullptr && !report->PrintIfEmpty) {
    bool empty = true;
    if (master->Source != nullptr) {
      try {
        master->Source->First();
        empty = master->Source->Eof();
      } catch (const std::exception& e) {
        frRecordBuildError(e);
      }
    }
    if (empty) {
      if (build.ContinueOnPrevPage) ++build.BuiltPageIndex;
      return;
    }
  }

  RepeatHeadersOff = false;
  const bool normal = Mode == 0;
  if (normal) {
    try {
      RunScript(Script);
    } catch (const std::exception& e) {
      frRecordBuildError(e);
    }
    if (build.ContinueOnPrevPage && build.PrevPageCurY == build.PrevPageCurBottom) {
      build.ContinueOnPrevPage = false;
      build.FooterPrinted = false;
      build.BuiltPageIndex = BuiltCount();
    }
    CurBottom = build.ContinueOnPrevPage && build.FooterPrinted ? build.PrevPageCurBottom : Limits.Bottom;
    CurColumn = 0;
    XAdjust = Limits.Left;
    FreshPageIndex = -1;
    if (build.ContinueOnPrevPage) {
      CurY = build.PrevPageCurY;
    } else {
      if (built != nullptr) {
        build.BuiltPageIndex = built->Count();
        built->AddPage(*this);
      }
      CurY = Limits.Top;
      PrintBand(bands_[btOverlay]);
      PrintBand(bands_[btNone]);
    }
    if (!ManualBuild()) {
      const int pages_before = BuiltCount();
      PrintBand(bands_[btReportTitle]);
      if (BuiltCount() == pages_before) {
        TfrBand* header = bands_[btPageHeader];
        if (header->IsUsed() && (header->Flags & flBandOnFirstPage)) PrintBand(header);
        PrintBand(bands_[btColumnHeader]);
      }
    }
  }

  if (!ManualBuild()) {
    queue_.clear();
    deepest_level_ = 1;
    if (bands_[btDetailData]->IsUsed()) deepest_level_ = 2;
    if (bands_[btSubDetailData]->IsUsed()) deepest_level_ = 3;
    PrintDataLevel(1);
  }

  if (normal) {
    if (ManualBuild()) {
      report->OnManualBuild(this);
    } else {
      RepeatHeadersOff = true;
      TfrBand* column_footer = bands_[btColumnFooter];
      PrintBand(column_footer);
      // The summary is printed even where the column footer would leave no room.
      const int kept = column_footer->Height;
      column_footer->Height = 0;
      PrintBand(bands_[btReportSummary]);
      column_footer->Height = kept;
      RepeatHeadersOff = false;
    }
    build.PrevPageCurY = CurColumn > 0 ? Limits.Bottom : CurY;
    build.PrevPageCurBottom = CurBottom;
    CurColumn = 0;
    XAdjust = Limits.Left;
    build.FooterPrinted = false;
    bool footers_closed = false;
    if (!ManualBuild()) {
      TfrBand* footer = bands_[btPageFooter];
      const bool first_page = BuiltCount() == 1;
      if ((footer->Flags & flBandOnLastPage) || (first_page && (footer->Flags & flBandOnFirstPage))) {
        const uint16_t kept = footer->Flags;
        footer->Flags |= flBandOnFirstPage;
        PrintPageFooters();
        footer->Flags = kept;
        build.FooterPrinted = footer->IsUsed();
        footers_closed = true;
      }
    }
    if (footers_closed) {
      // The closing step told the last page's end already and left the index after it.
      build.BuiltPageIndex = BuiltCount();
    } else {
      if (report != nullptr && report->OnEndPage) report->OnEndPage(build.BuiltPageIndex);
      ++build.BuiltPageIndex;
    }
  }
  PrevBand = nullptr;
}

void TfrPage::PrintPageFooters() {
  TfrBuildContext& build = frRunningBuild();
  TfrReport* report = frCurrentReport();
  TfrBand* footer = bands_[btPageFooter];
  CurColumn = 0;
  const int kept_x = XAdjust;
  XAdjust = Limits.Left;
  const bool footer_there = build.ContinueOnPrevPage && build.FooterPrinted;
  if (!footer_there && (build.BuiltPageIndex != 0 || (footer->Flags & flBandOnFirstPage))) {
    for (int i = std::max(build.BuiltPageIndex, 0); i < BuiltCount() && !frBuildStopped(); ++i) {
      if (report != nullptr && report->OnEndPage) report->OnEndPage(i);
      build.BuiltPageIndex = i;
      PrintBand(footer);
    }
  }
  build.BuiltPageIndex = BuiltCount();
  XAdjust = kept_x;
}

void TfrPage::StartNewPage() {
  TfrBuildContext& build = frRunningBuild();
  TfrReport* report = frCurrentReport();
  if (starting_page_) {
    // A header that needs a new page of its own would need one on every page.
    RecordBandDoesNotFit(bands_[btPageHeader]->Name);
    return;
  }
  if (report != nullptr) report->ReportProgress(build.BuiltPageIndex + 1);
  if (!RepeatHeadersOff) PrintBand(bands_[btColumnFooter]);
  PrintPageFooters();
  CurBottom = Limits.Bottom;
  if (TfrEMFPages* built = BuiltPages()) {
    build.BuiltPageIndex = built->Count();
    built->AddPage(*this);
  }
  build.ContinueOnPrevPage = false;
  starting_page_ = true;
  PrintBand(bands_[btOverlay]);
  CurY = Limits.Top;
  PrintBand(bands_[btPageHeader]);
  PrintBand(bands_[btColumnHeader]);
  starting_page_ = false;
  FreshPageIndex = build.BuiltPageIndex;
  FreshColumn = CurColumn;
  FreshY = CurY;
}

void TfrPage::StartNewColumn(TfrBand* band) {
  if (CurColumn < Columns - 1) {
    PrintBand(bands_[btColumnFooter]);
    ++CurColumn;
    XAdjust += ColumnWidth + ColumnGap;
    CurY = ColumnRestartY;
    PrintBand(bands_[btColumnHeader]);
  } else {
    StartNewPage();
  }
  if (!RepeatHeadersOff) {
    for (TfrBand* g = bands_[btGroupHeader]; g != nullptr && g != band; g = g->Next) {
      if (g->View == nullptr || !(g->Flags & flBandRepeatHeader)) continue;
      g->Repeating = true;
      PrintBand(g);
      g->Repeating = false;
    }
    if (band != nullptr && band->IsDataBandType() && band->Header != nullptr &&
        (band->Header->Flags & flBandRepeatHeader)) {
      band->Header->Repeating = true;
      PrintBand(band->Header);
      band->Header->Repeating = false;
    }
  }
  FreshPageIndex = frRunningBuild().BuiltPageIndex;
  FreshColumn = CurColumn;
  FreshY = CurY;
}

// ---- Data loop -------------------------------------------------------------------------------

namespace {

Variant GroupCondition(TfrBand* group) {
  frRunningBuild().CurBand = group;
  return frBuildHost().Parser().EvalPostfix(group->GroupExpr);
}

}  // namespace

void TfrPage::PrintDataLevel(int level) {
  const int type = kLevels[level - 1].data;
  for (TfrBand* d = bands_[static_cast<size_t>(type)]; d != nullptr && !frBuildStopped(); d = d->Next) {
    TfrDataset* source = d->Source;
    if (source == nullptr) continue;
    try {
      source->First();
      if (Mode == 1) {
        Records.push_back({d, TfrBandAction::First});
      } else {
        ResetRowCounter(d, 1);
        d->RowThrough = 1;
      }
      for (TfrBand* g = d->GroupHead; g != nullptr; g = g->GroupInner) {
        ResetRowCounter(g, 0);
        g->RowThrough = 0;
      }
      if (source->Eof()) continue;
      for (TfrBand* g = d->GroupHead; g != nullptr; g = g->GroupInner) {
        ++g->RowNo;
        ++g->RowThrough;
        Enqueue(g);
      }
      Enqueue(d->Header);
      if (d->Footer != nullptr) d->Footer->ResetTotals();

      while (!source->Eof() && !frBuildStopped()) {
        Enqueue(d);
        if (d->PrintWithoutDetail) PrintQueue();
        bool printed = true;
        if (level < deepest_level_) {
          PrintDataLevel(level + 1);
          if (!queue_.empty()) {
            if (d->PrintWithoutDetail) {
              PrintQueue();
            } else {
              queue_.pop_back();
              printed = false;
            }
          }
        } else {
          PrintQueue();
        }
        source->Next();

        TfrBand* changed = nullptr;
        for (TfrBand* g = d->GroupHead; g != nullptr && changed == nullptr; g = g->GroupInner) {
          if (source->Eof() || g->GroupValue.IsEmpty() || GroupCondition(g) != g->GroupValue) changed = g;
        }
        if (changed != nullptr) {
          bool stepped_back = true;
          if (!source->Eof()) {
            try {
              source->Prior();
            } catch (const std::exception&) {
              stepped_back = false;
            }
          }
          for (TfrBand* g = d->GroupTail; g != nullptr && g != changed; g = g->GroupOuter) {
            Enqueue(g->Footer);
            ResetRowCounter(g, 0);
            ResetRowCounter(g->Footer, 0);
          }
          Enqueue(changed->Footer);
          PrintQueue();
          if (!source->Eof()) {
            if (stepped_back) source->Next();
            if (changed->PageAfter && changed->Visible) StartNewPage();
            for (TfrBand* g = changed; g != nullptr; g = g->GroupInner) {
              ++g->RowNo;
              ++g->RowThrough;
              Enqueue(g);
            }
            ResetRowCounter(d, 0);
          }
        }

        if (Mode == 1) {
          Records.push_back({d, TfrBandAction::Next});
        } else if (printed) {
          ++CurrentRecord;
          ++d->RowThrough;
          ++d->RowNo;
          if (!source->Eof() && d->PageAfter && d->Visible) StartNewPage();
        }
      }
      if (!queue_.empty())
        queue_.pop_back();
      else
        PrintBand(d->Footer);
    } catch (const std::exception& e) {
      frRecordBuildError(e);
    }
  }
}

// ---- Sub-report playback -----------------------------------------------------------------------

void TfrPage::ClearRecords() {
  Records.clear();
  PlayPosition = 0;
  BandToContinue = nullptr;
}

bool TfrPage::PlayRecords() {
  TfrBuildContext& build = frRunningBuild();
  // The owner's page comes back when the play ends, unless an event freed it.
  const TfrKeepCurrent<TfrPage> owner(build, &TfrBuildContext::CurPage);
  build.CurPage = this;
  bool finished = true;
  while (PlayPosition < Records.size() && !frBuildStopped()) {
    const TfrBandRecord record = Records[PlayPosition];
    TfrBand* band = record.Band;
    if (record.Action == TfrBandAction::Print) {
      if (BandToContinue != nullptr) {
        if (!BandToContinue->RunSubReports(true)) {
          finished = false;
          break;
        }
        BandToContinue = nullptr;
      } else if (band->Print()) {
        finished = false;
        break;
      }
    } else if (band->Source != nullptr) {
      if (record.Action == TfrBandAction::First) {
        band->Source->First();
        ResetRowCounter(band, 1);
      } else {
        band->Source->Next();
        ++CurrentRecord;
        ++band->RowThrough;
        ++band->RowNo;
      }
    }
    ++PlayPosition;
  }
  return finished && PlayPosition >= Records.size();
}

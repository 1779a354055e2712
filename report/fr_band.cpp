#include "report/fr_band.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "report/FR_DSet.h"
#include "report/fr_emf.h"
#include "report/fr_funcs.h"
#include "report/fr_intrp.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_report.h"
#include "report/fr_utils.h"
#include "report/fr_view.h"
#include "toolkit/ui/forms.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace {

TfrStretcheable* Stretchable(TfrView* view) { return dynamic_cast<TfrStretcheable*>(view); }

// Stretched objects follow their content when their band measures itself.
bool StretchesWithContent(TfrView* view) { return Stretchable(view) != nullptr && (view->Flags & flStretched) != 0; }

int Clamp(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// The fields of a totals key: band name, code, expression, flag; a key of a
// band holding cross cells has the column in front.
std::vector<AnsiString> KeyFields(const AnsiString& key) {
  std::vector<AnsiString> fields;
  size_t start = 0;
  for (size_t i = 0; i < key.size(); ++i) {
    if (key[i] != kAggregateSeparator) continue;
    fields.push_back(key.substr(start, i - start));
    start = i + 1;
  }
  if (start < key.size()) fields.push_back(key.substr(start));
  return fields;
}

// Key fields without the column prefix.
std::vector<AnsiString> PlainKeyFields(const AnsiString& key) {
  std::vector<AnsiString> fields = KeyFields(key);
  if (fields.size() >= 5) fields.erase(fields.begin());
  while (fields.size() < 4) fields.emplace_back();
  return fields;
}

int KeyCode(const std::vector<AnsiString>& fields) {
  return fields[1].empty() ? 0 : static_cast<unsigned char>(fields[1][0]);
}

void RunCompiledScript(const TStrings& script) {
  if (script.Count() == 0) return;
  frBuildHost().Interpreter().RunScript(script);
}

class BandException : public Exception {
 public:
  using Exception::Exception;
};

// A listener may free listeners or add new ones while it hears: those told
// are the ones listening when the text was printed that still listen when
// their turn comes.
void TellListeners(TfrMemoView& printed) {
  const std::vector<TfrView*>& listening = frRunningBuild().Listeners;
  const std::vector<TfrView*> to_tell = listening;
  for (TfrView* listener : to_tell)
    if (std::ranges::find(listening, listener) != listening.end()) listener->AfterMemoPrinted(&printed);
}

}  // namespace

void RecordBandDoesNotFit(const AnsiString& band_name) {
  frRecordBuildError(BandException(Format(Utf8ToAnsi("Полоса \"%s\" не помещается на странице"), {band_name})));
}

// ---- Construction and sources ---------------------------------------------------------

TfrBand::TfrBand(int type, TfrPage* page) : Page(page), Type(type) {}

TfrBand::~TfrBand() {
  ReleaseSources();
  // No running context may name it once it is gone.
  frForgetInBuilds(this);
}

void TfrBand::BindSource(const AnsiString& text) {
  if (Type == btGroupHeader) {
    GroupExpr = frBuildHost().Parser().ToPostfix(text);
    return;
  }
  ReleaseSources();
  if (text.find(';') == AnsiString::npos && !Trim(text).empty()) {
    TfrDataset* source = nullptr;
    bool created = false;
    ResolveBandDataSource(Trim(text), source, created);
    Source = source;
    OwnsSource = created;
  }
  TfrReport* report = frCurrentReport();
  if (Type == btMasterData && Source == nullptr && report != nullptr && report->ReportType == rtSimple &&
      report->Dataset() != nullptr) {
    Source = report->Dataset();
    OwnsSource = false;
  }
}

namespace {

void CloseSource(TfrDataset*& source, bool& owned) {
  if (source != nullptr) {
    try {
      source->Close();
    } catch (const std::exception&) {
      // A source that fails to close is freed or dropped all the same.
    }
    if (owned) delete source;
  }
  source = nullptr;
  owned = false;
}

}  // namespace

void TfrBand::ReleaseSources() {
  CloseSource(Source, OwnsSource);
  CloseSource(ColumnSource, OwnsColumnSource);
}

bool TfrBand::IsUsed() const {
  if (View != nullptr) return true;
  if (Type != btNone) return false;
  return std::any_of(Objects.begin(), Objects.end(), [this](TfrView* v) { return v->Parent == this; });
}

bool TfrBand::HoldsCrossCells() const {
  return std::any_of(Objects.begin(), Objects.end(),
                     [this](TfrView* v) { return v->Parent != this && v->TypeCode != gtSubReport; });
}

int TfrBand::ColumnFooterHeight() const {
  const TfrBand* footer = Page->BandOfType(btColumnFooter);
  return footer != nullptr ? footer->Height : 0;
}

// ---- Printing -------------------------------------------------------------------------

bool TfrBand::Print() {
  TfrBuildContext& build = frRunningBuild();
  TfrReport* report = frCurrentReport();
  const bool saved_split = MaySplit;
  build.CurView = View;
  build.CurBand = this;
  NeededHeight = -1;
  NewPageRequests = 0;
  NewColumnRequests = 0;
  if (report != nullptr && report->OnBeginBand) report->OnBeginBand(this);

  // A multi-column row left open by another band is closed first.
  if (TfrBand* prev = Page->PrevBand; prev != nullptr && prev != this && prev->IsUsed() && prev->ColumnIndex > 1) {
    Page->XAdjust = prev->ColumnStartX;
    Page->CurY = Clamp(int64_t{Page->CurY} + prev->Height);
    prev->ColumnIndex = 1;
  }

  KeepCurY = false;
  if (!ScriptDone) {
    try {
      RunCompiledScript(Script);
    } catch (const std::exception& e) {
      frRecordBuildError(e);
    }
  }
  ScriptDone = false;
  const int noted_y = Page->CurY;
  if (frBuildStopped()) {
    MaySplit = saved_split;
    return false;
  }

  const bool requested = NewPageRequests > 0 || NewColumnRequests > 0;
  for (int i = 0; i < NewPageRequests && !frBuildStopped(); ++i) {
    Page->CurColumn = std::max(Page->Columns, 1) - 1;
    Page->StartNewColumn(this);
  }
  for (int i = 0; i < NewColumnRequests && !frBuildStopped(); ++i) Page->StartNewColumn(this);
  if (requested && KeepCurY) Page->CurY = noted_y;

  bool result = false;
  if (Visible) {
    if (Type == btColumnHeader) Page->ColumnRestartY = Page->CurY;
    if (Type == btPageFooter) Top = Page->CurBottom;
    if (IsUsed()) {
      NeededHeight = std::max(NeededHeight, Height);
      const bool fit_tested =
          Type != btPageFooter && Type != btOverlay && Type != btColumnFooter && Type != btNone;
      // Measured before the test, so a band that may split knows its height too.
      const int needed = fit_tested ? CalcBandHeight() : NeededHeight;
      if (fit_tested && !MaySplit && int64_t{Page->CurY} + needed > Page->CurBottom) {
        if (Page->Skip) {
          // A page played through a sub-report: its owner starts the next page.
          MaySplit = saved_split;
          return true;
        }
        if (!Page->AtBodyTop()) {
          FitOrBreak(Page->CurY, NeededHeight, false);
          result = true;
        }
        // Where a fresh page or column starts it still does not fit: no page
        // takes it whole, so it is split rather than starting page after page.
        if (int64_t{Page->CurY} + needed > Page->CurBottom && Page->AtBodyTop()) MaySplit = true;
      }
      SubReportsDone = true;
      if (IsDataBandType() && Source != nullptr && Next != nullptr && Next->Source == nullptr) {
        for (TfrBand* b = this; b != nullptr && !frBuildStopped(); b = b->Next) b->PrintBody();
      } else {
        PrintBody();
        if (Child != nullptr && !frBuildStopped()) Child->Print();
        if (!IsDataBandType() && Type != btGroupHeader && PageAfter && !frBuildStopped()) Page->StartNewPage();
      }
      if (!SubReportsDone) result = true;
    }
  } else {
    if (ChildWhenHidden && Child != nullptr) Child->Print();
    if (IsDataBandType()) AddTotals();
    result = false;
  }

  if (!Repeating) {
    TfrEMFPages* built = report != nullptr ? report->EMFPages() : nullptr;
    if (Type != btPageFooter || built == nullptr || build.BuiltPageIndex >= built->Count() - 1) ResetTotals();
  }
  if (report != nullptr && report->OnEndBand) report->OnEndBand(this);
  MaySplit = saved_split;
  return result;
}

int TfrBand::CalcBandHeight() {
  int result = 0;
  if (IsDataBandType() && Next != nullptr && Next->Source == nullptr) {
    int64_t sum = 0;
    for (TfrBand* b = this; b != nullptr; b = b->Next) sum += b->StretchedHeight();
    result = Clamp(sum);
  } else {
    result = Stretches ? StretchedHeight() : Height;
  }
  NeededHeight = std::max(NeededHeight, result);
  return result;
}

int TfrBand::StretchedHeight() {
  // Measuring runs the objects' scripts, which may change their heights.
  std::vector<int> heights;
  heights.reserve(Objects.size());
  for (TfrView* v : Objects) heights.push_back(v->Height);
  int result = Height;
  auto measure = [&](bool cross_cells) {
    for (TfrView* v : Objects) {
      if (frBuildStopped()) break;
      if ((!cross_cells && v->Parent != this) || !StretchesWithContent(v)) continue;
      frRunningBuild().CurView = v;
      result = std::max(result, Clamp(int64_t{v->Top} + Stretchable(v)->CalcHeight()));
    }
  };
  try {
    TfrBand* cross = Page->BandOfType(btCrossData);
    TfrDataset* columns = cross != nullptr && cross->Source != nullptr ? cross->Source : ColumnSource;
    if (HoldsCrossCells() && Type != btPageFooter && cross != nullptr && cross->IsUsed() && columns != nullptr) {
      // Every column's cells may need another height.
      TfrReport* report = frCurrentReport();
      Page->CrossColumn = 1;
      if (report != nullptr && report->OnBeginColumn) report->OnBeginColumn(this);
      for (columns->First(); !columns->Eof() && !frBuildStopped(); columns->Next()) {
        int width = 0;
        if (report != nullptr && report->OnPrintColumn) report->OnPrintColumn(Page->CrossColumn, width);
        measure(true);
        ++Page->CrossColumn;
      }
    } else {
      measure(false);
    }
  } catch (const std::exception& e) {
    frRecordBuildError(e);
  }
  for (size_t i = 0; i < Objects.size(); ++i) Objects[i]->Height = heights[i];
  return result;
}

void TfrBand::PrintBody() {
  if (!IsUsed()) return;
  TfrBuildContext& build = frRunningBuild();
  build.CurBand = this;
  const int saved_top = Top;
  if (!IsFixedPosition()) Top = Page->CurY;
  bool advanced_by_subreports = false;
  if (Stretches) {
    if (NeededHeight < Height) NeededHeight = std::max(Height, StretchedHeight());
    const int h = NeededHeight;
    std::vector<int> heights;
    heights.reserve(Objects.size());
    for (TfrView* v : Objects) {
      heights.push_back(v->Height);
      if (v->Parent == this && StretchesWithContent(v) && v->Height > 0) v->Height = h - v->Top;
    }
    PrintHeight = h;
    if (!MaySplit) FitOrBreak(Top, h, false);
    Top = Page->CurY;
    if (MaySplit) {
      PrintSplit();
    } else {
      advanced_by_subreports = PrintObjects();
      if (HoldsCrossCells() && Type != btPageFooter) PrintCrossCells();
    }
    for (size_t i = 0; i < Objects.size(); ++i) Objects[i]->Height = heights[i];
    if (!MaySplit && !advanced_by_subreports) Page->CurY = Clamp(int64_t{Page->CurY} + h);
  } else {
    if (!IsFixedPosition() && !MaySplit) {
      FitOrBreak(Top, Height, false);
      Top = Page->CurY;
    }
    if (MaySplit) {
      PrintHeight = std::max(NeededHeight, Height);
      PrintSplit();
    } else {
      advanced_by_subreports = PrintObjects();
      if (HoldsCrossCells() && Type != btPageFooter) PrintCrossCells();
      if (!IsFixedPosition() && !advanced_by_subreports) Page->CurY = Clamp(int64_t{Page->CurY} + Height);
    }
  }

  if (Page->PrevBand != this) ColumnIndex = 1;
  Page->PrevBand = this;
  if (View != nullptr && View->Columns > 1 && View->NewColumnAfter == 1) {
    if (ColumnIndex == 1) ColumnStartX = Page->XAdjust;
    ++ColumnIndex;
    if (ColumnIndex > View->Columns) {
      Page->XAdjust = ColumnStartX;
      ColumnIndex = 1;
    } else {
      Page->XAdjust =
          Clamp(int64_t{ColumnStartX} + (int64_t{View->ColumnWidth} + View->ColumnGap) * (ColumnIndex - 1));
      Page->CurY = Clamp(int64_t{Page->CurY} - std::max(NeededHeight, Height));
    }
  }
  Top = saved_top;
  if (IsDataBandType()) AddTotals();
}

bool TfrBand::PrintObjects() {
  size_t i = 0;
  for (; i < Objects.size(); ++i) {
    TfrView* v = Objects[i];
    if (v->TypeCode == gtSubReport && v->Visible) break;
    if (frBuildStopped()) return false;
    PrintObject(*v);
  }
  if (i >= Objects.size()) return false;
  FirstSubReport = static_cast<int>(i);
  int bottom = Clamp(int64_t{Page->CurY} + Height);
  if (bottom < 1) bottom = 0;
  const int page_before = frRunningBuild().BuiltPageIndex;
  StartSubReports();
  RunSubReports(false);
  if (frRunningBuild().BuiltPageIndex == page_before && Page->CurY < bottom) Page->CurY = bottom;
  return true;
}

void TfrBand::PrintObject(TfrView& view) {
  if (view.Parent != this) return;
  TfrBuildContext& build = frRunningBuild();
  build.CurView = &view;
  auto* memo = dynamic_cast<TfrMemoView*>(&view);
  const bool split_part = memo != nullptr && memo->PrintPhase == 2;
  if (build.FirstPass && !MaySplit) {
    if (split_part) return;
    try {
      frBuildHost().RunScript(view);
    } catch (const std::exception& e) {
      frRecordBuildError(e);
    }
    return;
  }
  const int saved_left = view.Left;
  const int saved_top = view.Top;
  view.Left = Clamp(int64_t{view.Left} + Page->XAdjust - Page->Limits.Left);
  view.Top = Clamp(int64_t{view.Top} + Top);
  try {
    TfrReport* report = frCurrentReport();
    TfrEMFPages* built = report != nullptr ? report->EMFPages() : nullptr;
    if (built != nullptr && build.BuiltPageIndex >= 0 && build.BuiltPageIndex < built->Count()) {
      TfrPageInfo& info = built->Pages(build.BuiltPageIndex);
      info.Stream->Seek(0, soEnd);
      {
        TScopedValue<uint8_t> prepared(view.RecordMode, rmPrepared);
        view.PrintToPage(*info.Stream);
      }
      info.Page.reset();
    }
    if (memo != nullptr && !split_part) TellListeners(*memo);
  } catch (const std::exception& e) {
    frRecordBuildError(e);
  }
  view.Left = saved_left;
  view.Top = saved_top;
}

bool TfrBand::FitOrBreak(int top, int height, bool test_only) {
  if (Type == btColumnFooter) return false;
  if (int64_t{top} + height + ColumnFooterHeight() <= Page->CurBottom) return false;
  if (!test_only) Page->StartNewColumn(this);
  return true;
}

// ---- Split print ----------------------------------------------------------------------

void TfrBand::MoveObjectsBelow(size_t index, int by) {
  TfrView* given = Objects[index];
  const int64_t bottom = int64_t{given->Top} + given->Height;
  const int64_t right = int64_t{given->Left} + given->Width;
  for (size_t i = 0; i < Objects.size(); ++i) {
    if (i == index) continue;
    TfrView* v = Objects[i];
    if (v->Top >= bottom && v->Left >= given->Left && v->Left <= right) v->Top = Clamp(int64_t{v->Top} + by);
  }
}

namespace {

void SetSplitPart(TfrView& view) {
  if (auto* memo = dynamic_cast<TfrMemoView*>(&view)) memo->PrintPhase = 2;
}

}  // namespace

void TfrBand::PrintSplit() {
  const size_t n = Objects.size();
  split_.assign(n, SplitState{});
  for (size_t i = 0; i < n; ++i) {
    TfrView* v = Objects[i];
    split_[i].top = v->Top;
    split_[i].height = v->Height;
    // Objects of other bands are not this band's to place.
    split_[i].printed = v->Parent != this;
    if (v->BandAlign == baBottom) v->Top = NeededHeight - v->Height;
  }

  if (!FitOrBreak(Top, PrintHeight, true)) {
    PrintObjects();
  } else {
    // A text's parts on later pages show this record: each text takes its
    // values now, while the record, the band and its line number are current.
    for (TfrView* v : Objects) {
      auto* memo = dynamic_cast<TfrMemoView*>(v);
      if (memo == nullptr || v->Parent != this || memo->PrintPhase != 0) continue;
      frRunningBuild().CurView = v;
      const int top = v->Top, height = v->Height;
      try {
        memo->CalcHeight();
      } catch (const std::exception& e) {
        frRecordBuildError(e);
      }
      v->Top = top;
      v->Height = height;
    }
    int m = 0;
    for (int piece = 0;; ++piece) {
      const int u = Clamp(int64_t{Page->CurBottom} - ColumnFooterHeight() - Top - 2);
      m = 0;
      if (u <= 0) {
        // No room at all: the next page may have some, a fresh one that has
        // none never will.
        if (piece > 0) {
          RecordBandDoesNotFit(Name);
          break;
        }
        FitOrBreak(Top, 10000, false);
        Top = Page->CurY;
        continue;
      }
      bool progress = false, no_page_takes = false;
      for (size_t i = 0; i < n && !frBuildStopped(); ++i) {
        SplitState& state = split_[i];
        if (state.printed) continue;
        TfrView* v = Objects[i];
        TfrStretcheable* s = Stretchable(v);
        const int y = v->Top;
        const int h = v->Height;
        if (y >= 0 && y < u) {
          if (int64_t{y} + h < u) {
            PrintObject(*v);
            state.printed = true;
            m = std::max(m, y + h);
            progress = true;
          } else if (s == nullptr) {
            v->Top = u;
          } else {
            v->Height = u - y + 1;
            const int r = s->RemainingHeight();
            if (s->MinimumHeight() < v->Height) {
              SetSplitPart(*v);
              PrintObject(*v);
              progress = true;
            }
            v->Height = h;
            MoveObjectsBelow(i, r);
            v->Height = Clamp(int64_t{h} + r);
          }
        } else if (y < 0 && s != nullptr && int64_t{y} + h >= 0) {
          if (int64_t{y} + h < u) {
            v->Height = y + h;
            v->Top = 0;
            SetSplitPart(*v);
            state.printed = true;
            m = std::max(m, v->Height);
            progress = true;
            if (v->Flags & flStretched)
              state.waiting = true;
            else
              PrintObject(*v);
          } else if (s->MinimumHeight() > u) {
            // Not a line of the rest fits on a fresh page: no page ever takes it.
            no_page_takes = true;
            break;
          } else {
            v->Top = 0;
            v->Height = u;
            const int r = s->RemainingHeight();
            SetSplitPart(*v);
            PrintObject(*v);
            progress = true;
            v->Top = y;
            MoveObjectsBelow(i, r);
            v->Height = Clamp(int64_t{h} + r);
          }
        } else if (y >= u) {
          // Below this piece: it moves up and comes nearer with every piece.
          progress = true;
        }
      }
      if (no_page_takes) {
        RecordBandDoesNotFit(Name);
        break;
      }
      bool any_left = false;
      for (size_t i = 0; i < n; ++i) {
        if (split_[i].printed) continue;
        Objects[i]->Top = Clamp(int64_t{Objects[i]->Top} - u);
        any_left = true;
      }
      if (!any_left || frBuildStopped()) break;
      if (!progress && piece > 0) {
        // A fresh page took nothing of the band: another page would not either.
        RecordBandDoesNotFit(Name);
        break;
      }
      FitOrBreak(Top, 10000, false);
      Top = Page->CurY;
    }
    PrintHeight = m;
  }

  for (size_t i = 0; i < n; ++i) {
    if (!split_[i].waiting) continue;
    Objects[i]->Height = PrintHeight;
    PrintObject(*Objects[i]);
  }
  for (size_t i = 0; i < n; ++i) {
    Objects[i]->Top = split_[i].top;
    Objects[i]->Height = split_[i].height;
    if (auto* memo = dynamic_cast<TfrMemoView*>(Objects[i])) memo->PrintPhase = 0;
  }
  Page->CurY = Clamp(int64_t{Page->CurY} + PrintHeight);
}

// ---- Cross-tab cells ------------------------------------------------------------------

void TfrBand::PrintCrossCells() {
  TfrBuildContext& build = frRunningBuild();
  TfrReport* report = frCurrentReport();
  const int saved_index = build.BuiltPageIndex;
  Page->CrossColumn = 1;
  if (report != nullptr && report->OnBeginColumn) report->OnBeginColumn(this);
  TfrBand* header = Page->BandOfType(btCrossHeader);
  TfrBand* data = Page->BandOfType(btCrossData);
  TfrBand* footer = Page->BandOfType(btCrossFooter);
  int x = 0;
  auto run_script = [](TfrBand& band) {
    try {
      RunCompiledScript(band.Script);
    } catch (const std::exception& e) {
      frRecordBuildError(e);
    }
  };
  if (header != nullptr && header->IsUsed()) {
    run_script(*header);
    PrintCrossBandCells(*header, header->Left);
    x = header->Left + header->Width;
  }
  if (data != nullptr && data->IsUsed() && !frBuildStopped()) {
    if (x == 0) x = data->Left;
    TfrDataset* columns = data->Source != nullptr ? data->Source : ColumnSource;
    std::unique_ptr<TfrUserDataset> as_many;
    if (columns == nullptr && Type == btMasterFooter) {
      // A footer under rows of columns gets as many columns as the rows had.
      as_many = std::make_unique<TfrUserDataset>(nullptr);
      as_many->SetRangeEnd(reCount);
      as_many->SetRangeEndCount(data->MaxColumns);
      columns = as_many.get();
    }
    if (columns != nullptr) {
      int walked = 0;
      try {
        for (columns->First(); !columns->Eof() && !frBuildStopped(); columns->Next(), ++walked) {
          int width = data->Width;
          if (report != nullptr && report->OnPrintColumn) report->OnPrintColumn(Page->CrossColumn, width);
          run_script(*data);
          CrossOverflow(x, width);
          PrintCrossBandCells(*data, x);
          // The cross data band totals across the row; a data row per column.
          data->AddTotals();
          if (IsDataBandType()) AddTotals(Page->CrossColumn);
          x += width;
          ++Page->CrossColumn;
        }
      } catch (const std::exception& e) {
        frRecordBuildError(e);
      }
      data->MaxColumns = std::max(data->MaxColumns, walked);
    }
  }
  if (footer != nullptr && footer->IsUsed() && !frBuildStopped()) {
    if (x == 0) x = footer->Left;
    run_script(*footer);
    CrossOverflow(x, footer->Width);
    PrintCrossBandCells(*footer, x);
    footer->ResetTotals();
  }
  build.BuiltPageIndex = saved_index;
  build.CurBand = this;
}

void TfrBand::PrintCrossBandCells(TfrBand& cross, int x) {
  TfrBuildContext& build = frRunningBuild();
  cross.RowNo = RowNo;
  cross.RowThrough = RowThrough;
  if (cross.Type == btCrossData) cross.TotalsBand = this;
  // A cross footer's totals are its own; the other cells read the row's.
  build.CurBand = cross.Type == btCrossFooter ? &cross : this;
  for (TfrView* v : Objects) {
    if (v->Parent != &cross || frBuildStopped()) continue;
    const int saved_left = v->Left;
    v->Left = Clamp(int64_t{v->Left} + x);
    v->Parent = this;
    PrintObject(*v);
    v->Parent = &cross;
    v->Left = saved_left;
  }
  build.CurBand = this;
}

void TfrBand::CrossOverflow(int& x, int width) {
  if (int64_t{x} + width <= Page->Limits.Right) return;
  TfrBuildContext& build = frRunningBuild();
  TfrReport* report = frCurrentReport();
  TfrEMFPages* built = report != nullptr ? report->EMFPages() : nullptr;
  x = Page->Limits.Left;
  const bool row_on_later_page = build.BuiltPageIndex > 0;
  ++build.BuiltPageIndex;
  if (built != nullptr && build.BuiltPageIndex >= built->Count()) {
    built->AddPage(*Page);
    const int saved_y = Page->CurY;
    const TfrKeepCurrent<TfrBand> row_band(build, &TfrBuildContext::CurBand);
    Page->PrintBand(Page->BandOfType(btOverlay));
    TfrBand* header = Page->BandOfType(btPageHeader);
    if (header != nullptr && (row_on_later_page || (header->Flags & flBandOnFirstPage))) {
      Page->CurY = Page->Limits.Top;
      Page->PrintBand(header);
    }
    Page->CurY = saved_y;
  }
  if (report != nullptr) report->ReportProgress(build.BuiltPageIndex + 1);
  TfrBand* cross_header = Page->BandOfType(btCrossHeader);
  if (cross_header != nullptr && cross_header->IsUsed() && (cross_header->Flags & flBandRepeatHeader)) {
    PrintCrossBandCells(*cross_header, x);
    x += cross_header->Width;
  }
}

// ---- Sub-reports --------------------------------------------------------------------------

namespace {

TfrPage* SubReportPage(TfrView& view) {
  auto* sub = dynamic_cast<TfrSubReportView*>(&view);
  TfrReport* report = frCurrentReport();
  if (sub == nullptr || report == nullptr) return nullptr;
  return report->Pages().Pages(sub->SubPage);
}

}  // namespace

void TfrBand::StartSubReports() {
  for (size_t i = static_cast<size_t>(FirstSubReport); i < Objects.size(); ++i) {
    const size_t slot = i - static_cast<size_t>(FirstSubReport);
    if (slot >= static_cast<size_t>(kMaxBandSubReports)) break;
    TfrView* v = Objects[i];
    SubReportFinished[slot] = true;
    if (v->TypeCode != gtSubReport || !v->Visible) continue;
    TfrPage* sub = SubReportPage(*v);
    if (sub == nullptr || sub == Page || !sub->Prepared) continue;
    sub->Mode = 1;
    sub->ClearRecords();
    sub->BuildPages();
    sub->Mode = 0;
    frRunningBuild().CurPage = Page;
    frRunningBuild().CurBand = this;
    sub->CurY = Clamp(int64_t{v->Top} + Top);
    sub->CurBottom = Page->CurBottom;
    sub->XAdjust = Clamp(int64_t{Page->XAdjust} + v->Left);
    sub->Limits = Page->Limits;
    sub->UseMargins = Page->UseMargins;
    sub->Columns = 1;
    sub->CurColumn = 0;
    sub->PlayPosition = 0;
    SubReportFinished[slot] = false;
  }
}

bool TfrBand::RunSubReports(bool page_broke) {
  const size_t first = std::min(Objects.size(), static_cast<size_t>(FirstSubReport));
  const size_t count = std::min(Objects.size() - first, static_cast<size_t>(kMaxBandSubReports));
  auto page_of = [&](size_t slot) { return SubReportPage(*Objects[first + slot]); };
  while (true) {
    if (page_broke)
      for (size_t slot = 0; slot < count; ++slot)
        if (TfrPage* sub = SubReportFinished[slot] ? nullptr : page_of(slot)) {
          sub->CurY = Page->CurY;
          sub->CurBottom = Page->CurBottom;
        }
    SubReportsDone = true;
    SubReportBottom = Page->CurY;
    bool progress = false;
    for (size_t slot = 0; slot < count; ++slot) {
      if (SubReportFinished[slot]) continue;
      TfrPage* sub = page_of(slot);
      if (sub == nullptr) {
        SubReportFinished[slot] = true;
        continue;
      }
      const size_t played = sub->PlayPosition;
      if (sub->PlayRecords()) {
        SubReportFinished[slot] = true;
        SubReportBottom = std::max(SubReportBottom, sub->CurY);
        progress = true;
      } else {
        SubReportsDone = false;
        progress = progress || sub->PlayPosition != played;
      }
    }
    if (SubReportsDone || frBuildStopped()) break;
    if (page_broke && !progress) {
      // A fresh page took nothing of the sub-reports: no further page would.
      RecordBandDoesNotFit(Name);
      break;
    }
    if (Page->Skip) {
      // This page is itself played through a sub-report: its owner breaks the page.
      Page->BandToContinue = this;
      return false;
    }
    ScriptDone = true;
    Page->StartNewPage();
    page_broke = true;
  }
  for (size_t slot = 0; slot < count; ++slot)
    if (TfrPage* sub = page_of(slot)) sub->ClearRecords();
  Page->CurY = Clamp(int64_t{Page->CurY} + std::max(SubReportBottom - Page->CurY, NeededHeight));
  return true;
}

// ---- Running totals -----------------------------------------------------------------------

void TfrBand::AddTotals(int column) {
  try {
    if (column > 0) {
      // A column's entries are made from the template entries (column 0) on first use.
      const AnsiString prefix = IntToStr(column) + kAggregateSeparator;
      for (int i = 0, count = Totals.VariableCount(); i < count; ++i) {
        const AnsiString key = Totals.VariableNameAt(i);
        if (key.rfind(AnsiString("0") + kAggregateSeparator, 0) != 0) continue;
        const AnsiString own = prefix + key.substr(2);
        if (Totals.IndexOfVariable(own) < 0) SetTotal(own, Totals.VariableValueAt(i));
      }
    }
    AnsiString last_expression;
    Variant last_value;
    bool have_last = false;
    for (int i = 0; i < Totals.VariableCount(); ++i) {
      const AnsiString key = Totals.VariableNameAt(i);
      const std::vector<AnsiString> raw = KeyFields(key);
      const bool in_column = raw.size() >= 5;
      if (in_column != (column > 0)) continue;
      if (in_column && raw[0] != IntToStr(column)) continue;
      const std::vector<AnsiString> fields = PlainKeyFields(key);
      const int code = KeyCode(fields);
      Variant value = 0;
      if (code != kAggregateCount) {
        if (have_last && fields[2] == last_expression) {
          value = last_value;
        } else {
          value = frBuildHost().Parser().EvaluateText(fields[2]);
          last_expression = fields[2];
          last_value = value;
          have_last = true;
        }
      }
      if (!Visible && fields[3] != "1") continue;
      Variant total = Totals.VariableValueAt(i);
      if (VarIsClear(total)) total = 0;
      if (VarIsClear(value)) value = 0;
      const Variant counted = counts_.FetchVariable(key);
      const int added = counted.IsNull() ? 0 : counted.AsInteger();
      switch (code) {
        // The first value of a group is where its least and greatest start:
        // a start of 0 would stand above every negative value.
        case kAggregateMin:
          if (added == 0 || value < total) total = value;
          break;
        case kAggregateMax:
          if (added == 0 || value > total) total = value;
          break;
        case kAggregateCount: total = total + Variant(1); break;
        default: total = total + value; break;
      }
      Totals.SetVariableValueAt(i, total);
      counts_.AssignVariable(key, added + 1);
    }
  } catch (const std::exception& e) {
    frRecordBuildError(e);
  }
  if (column == 0) ++TotalsCount;
}

void TfrBand::ResetTotals() {
  if (Type == btGroupHeader) {
    try {
      for (TfrBand* g = this; g != nullptr; g = g->Next) {
        frRunningBuild().CurBand = g;
        g->GroupValue = frBuildHost().Parser().EvalPostfix(g->GroupExpr);
      }
    } catch (const std::exception& e) {
      frRecordBuildError(e);
    }
    frRunningBuild().CurBand = this;
    return;
  }
  if (TotalsBand == nullptr) return;
  TfrVariables& totals = TotalsBand->Totals;
  for (int i = 0; i < totals.VariableCount(); ++i) {
    const AnsiString key = totals.VariableNameAt(i);
    const std::vector<AnsiString> fields = PlainKeyFields(key);
    if (!SameText(fields[0], Name)) continue;
    totals.SetVariableValueAt(i, KeyCode(fields) == kAggregateMin ? Variant(kMinTotalStart) : Variant(0));
    const int counted = TotalsBand->counts_.IndexOfVariable(key);
    if (counted >= 0) TotalsBand->counts_.SetVariableValueAt(counted, 0);
  }
  TotalsBand->TotalsCount = 0;
}

void TfrBand::SetTotal(const AnsiString& key, const Variant& value) {
  Totals.AssignVariable(key, value);
  counts_.AssignVariable(key, 0);
}

Variant TfrBand::GetTotal(const AnsiString& key) const {
  const int index = Totals.IndexOfVariable(key);
  if (index < 0) return Null();
  const int code = KeyCode(PlainKeyFields(key));
  const Variant counted = counts_.FetchVariable(key);
  const int added = counted.IsNull() ? 0 : counted.AsInteger();
  Variant value = Totals.VariableValueAt(index);
  switch (code) {
    case kAggregateAvg:
      // Records the entry counted, so that a footer that restarted another
      // footer's count does not change this average.
      if (added == 0) return Null();
      return value / Variant(added);
    case kAggregateMin:
    case kAggregateMax:
      if (added == 0) return Null();
      return value;
    default: return value;
  }
}

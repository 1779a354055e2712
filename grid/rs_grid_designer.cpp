// The designer base: the settings every designer has, the metrics the grid
// measures with, the list of grids a designer paints and the repaints a
// change of a setting asks of them.
#include <algorithm>

#include "grid/rs.h"
#include "grid/rs_str.h"
#include "toolkit/core/typinfo.h"

// ---- TgpCellMargins -----------------------------------------------------------------------

const TClassInfo& TgpCellMargins::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TgpCellMargins>, "TgpCellMargins", &TPersistent::StaticClassInfo(),
                               [](TPublisher<TgpCellMargins>& p) {
                                 p.Integer("LeftMargin", &TgpCellMargins::LeftMargin, &TgpCellMargins::SetLeftMargin)
                                     .WithDefault(2);
                                 p.Integer("TopMargin", &TgpCellMargins::TopMargin, &TgpCellMargins::SetTopMargin)
                                     .WithDefault(2);
                                 p.Integer("RightMargin", &TgpCellMargins::RightMargin,
                                           &TgpCellMargins::SetRightMargin)
                                     .WithDefault(2);
                                 p.Integer("BottomMargin", &TgpCellMargins::BottomMargin,
                                           &TgpCellMargins::SetBottomMargin)
                                     .WithDefault(2);
                               });
  return info;
}

void TgpCellMargins::Set(int& field, int value) {
  CheckNotNegative(value);
  if (field == value) return;
  field = value;
  if (OnChange) OnChange(this);
}

void TgpCellMargins::Assign(const TPersistent* source) {
  const auto* m = dynamic_cast<const TgpCellMargins*>(source);
  if (m == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (left_ == m->left_ && top_ == m->top_ && right_ == m->right_ && bottom_ == m->bottom_) return;
  left_ = m->left_, top_ = m->top_, right_ = m->right_, bottom_ = m->bottom_;
  if (OnChange) OnChange(this);
}

// ---- TgpDesigner --------------------------------------------------------------------------

const TClassInfo& TgpDesigner::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TgpDesigner>, "TgpDesigner", &TComponent::StaticClassInfo(),
                               [](TPublisher<TgpDesigner>&) {});
  return info;
}

const TClassInfo& TgpBaseDesigner::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TgpBaseDesigner>, "TgpBaseDesigner", &TgpDesigner::StaticClassInfo(),
                               [](TPublisher<TgpBaseDesigner>&) {});
  return info;
}

TgpDesigner::TgpDesigner(TComponent* owner) : TComponent(owner) {
  auto remeasure = [this](TgpCellMargins*) {
    if (!ComponentState().Contains(csLoading)) RemeasureAll();
  };
  title_margins_.OnChange = remeasure;
  cell_margins_.OnChange = remeasure;
  footer_margins_.OnChange = remeasure;
}

TgpDesigner::~TgpDesigner() { grids_.clear(); }

void TgpDesigner::BeforeDestruction() {
  // The grids fall back to the default designer as they hear of the end.
  TComponent::BeforeDestruction();
}

void TgpDesigner::Paint(TDBGridPro* Grid, TgpPaintInfo* PaintInfo) {
  (void)Grid;
  TCanvas* canvas = PaintInfo->Canvas;
  if (canvas == nullptr) return;
  canvas->Brush().SetColor(PaintInfo->Background);
  canvas->Brush().SetStyle(bsSolid);
  canvas->FillRect(PaintInfo->ClipRect);
}

void TgpDesigner::TitlePair(int& Top, int& Bottom) const { Top = 0, Bottom = 0; }
void TgpDesigner::FooterPair(int& Top, int& Bottom) const { Top = 0, Bottom = 0; }

void TgpDesigner::CopySettings(const TgpDesigner* Source) {
  SetTitleColor(Source->title_color_);
  SetFooterColor(Source->footer_color_);
  SetFixedColor(Source->fixed_color_);
  SetFocusRectKind(Source->focus_rect_kind_);
  SetTitleFont(Source->title_font_.get());
  SetCellFont(Source->cell_font_.get());
  SetFooterFont(Source->footer_font_.get());
  title_margins_.Assign(&Source->title_margins_);
  cell_margins_.Assign(&Source->cell_margins_);
  footer_margins_.Assign(&Source->footer_margins_);
  SetSelectedCell(Source->selected_cell_);
  SetSelectedRow(Source->selected_row_);
  SetSelectedCellText(Source->selected_cell_text_);
  SetSelectedRowText(Source->selected_row_text_);
  SetHiddenSelection(Source->hidden_selection_);
  SetSelectedCellFill(Source->selected_cell_fill_);
  SetSelectedRowFill(Source->selected_row_fill_);
  SetUltraSoftSelectedCell(Source->ultra_soft_cell_);
  SetUltraSoftSelectedRow(Source->ultra_soft_row_);
  SetVertLines(Source->vert_lines_);
  SetHorizLines(Source->horiz_lines_);
  SetCellSeparator(Source->cell_separator_);
  SetRowSeparator(Source->row_separator_);
  SetFooterSurfaceColor(Source->footer_surface_color_);
  SetFooterLines(Source->footer_lines_);
  SetFlatFooter(Source->flat_footer_);
}

void TgpDesigner::Assign(const TPersistent* Source) {
  const auto* other = dynamic_cast<const TgpDesigner*>(Source);
  if (other == nullptr || other->ClassInfo() != ClassInfo()) {
    TComponent::Assign(Source);
    return;
  }
  assigning_ = true;
  TScopeExit assigned([this] {
    assigning_ = false;
    RelayoutAll();
  });
  CopySettings(other);
}

void TgpDesigner::UpdateMetrics() {
  vline_ = VLineWidth();
  hline_ = HLineWidth();
  TitlePair(title_top_, title_bottom_);
  FooterPair(footer_top_, footer_bottom_);
  RelayoutAll();
}

void TgpDesigner::RegisterGrid(TDBGridPro* Grid) {
  if (Grid == nullptr || ComponentState().Contains(csDestroying)) return;
  if (std::find(grids_.begin(), grids_.end(), Grid) == grids_.end()) {
    grids_.push_back(Grid);
    FreeNotification(Grid);
  }
}

void TgpDesigner::UnregisterGrid(TDBGridPro* Grid) {
  if (ComponentState().Contains(csDestroying)) return;
  grids_.erase(std::remove(grids_.begin(), grids_.end(), Grid), grids_.end());
}

void TgpDesigner::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove)
    grids_.erase(std::remove_if(grids_.begin(), grids_.end(),
                                [component](TDBGridPro* g) { return static_cast<TComponent*>(g) == component; }),
                 grids_.end());
  TComponent::Notification(component, operation);
}

bool TgpDesigner::Quiet() const { return assigning_ || ComponentState().Contains(csLoading); }

void TgpDesigner::RepaintTitles() {
  if (Quiet()) return;
  for (TDBGridPro* g : grids_) {
    g->InvalidateTitles();
    g->Update();
  }
}

void TgpDesigner::RepaintFooters() {
  if (Quiet()) return;
  for (TDBGridPro* g : grids_) {
    g->InvalidateFooters();
    g->Update();
  }
}

void TgpDesigner::RepaintCurrentRows() {
  if (Quiet()) return;
  for (TDBGridPro* g : grids_) {
    g->InvalidateRow(g->CurrentRow());
    g->Update();
  }
}

void TgpDesigner::RepaintAll() {
  if (Quiet()) return;
  for (TDBGridPro* g : grids_) g->InvalidateAll();
}

void TgpDesigner::RelayoutAll() {
  if (Quiet()) return;
  for (TDBGridPro* g : grids_) g->LayoutChanged();
}

void TgpDesigner::RemeasureAll() {
  if (Quiet()) return;
  for (TDBGridPro* g : grids_) {
    g->RecalcMetrics();
    g->InvalidateAll();
  }
}

// ---- Settings -----------------------------------------------------------------------------

void TgpDesigner::SetColorSetting(TColor& field, TColor value, void (TgpDesigner::*react)()) {
  if (field == value) return;
  field = value;
  (this->*react)();
}

void TgpDesigner::SetBoolSetting(bool& field, bool value, void (TgpDesigner::*react)()) {
  if (field == value) return;
  field = value;
  (this->*react)();
}

void TgpDesigner::SetTitleColor(TColor value) { SetColorSetting(title_color_, value, &TgpDesigner::RepaintTitles); }
void TgpDesigner::SetFooterColor(TColor value) {
  SetColorSetting(footer_color_, value, &TgpDesigner::RepaintFooters);
}
void TgpDesigner::SetFixedColor(TColor value) { SetColorSetting(fixed_color_, value, &TgpDesigner::RepaintAll); }

void TgpDesigner::SetFocusRectKind(TgpFocusRectKind value) {
  if (focus_rect_kind_ == value) return;
  focus_rect_kind_ = value;
  RepaintCurrentRows();
}

void TgpDesigner::FontChanged() { RemeasureAll(); }

namespace {

TChildFont* MakeFont(std::unique_ptr<TChildFont>& font, TgpDesigner* designer, void (*changed)(TgpDesigner*)) {
  if (!font) {
    font = std::make_unique<TChildFont>();
    font->OnChange = [designer, changed](TChildFont*) { changed(designer); };
  }
  return font.get();
}

}  // namespace

TChildFont* TgpDesigner::TitleFont() {
  return MakeFont(title_font_, this, [](TgpDesigner* d) { d->FontChanged(); });
}
TChildFont* TgpDesigner::CellFont() {
  return MakeFont(cell_font_, this, [](TgpDesigner* d) { d->FontChanged(); });
}
TChildFont* TgpDesigner::FooterFont() {
  return MakeFont(footer_font_, this, [](TgpDesigner* d) { d->FontChanged(); });
}

void TgpDesigner::SetFont(std::unique_ptr<TChildFont>& font, TChildFont* (TgpDesigner::*make)(),
                          const TChildFont* value) {
  if (value != nullptr) {
    (this->*make)()->Assign(value);
  } else if (font) {
    font.reset();
    FontChanged();
  }
}

void TgpDesigner::SetTitleFont(const TChildFont* value) { SetFont(title_font_, &TgpDesigner::TitleFont, value); }
void TgpDesigner::SetCellFont(const TChildFont* value) { SetFont(cell_font_, &TgpDesigner::CellFont, value); }
void TgpDesigner::SetFooterFont(const TChildFont* value) { SetFont(footer_font_, &TgpDesigner::FooterFont, value); }

void TgpDesigner::SetSelectedCell(TColor value) {
  SetColorSetting(selected_cell_, value, &TgpDesigner::RepaintCurrentRows);
}
void TgpDesigner::SetSelectedRow(TColor value) {
  SetColorSetting(selected_row_, value, &TgpDesigner::RepaintCurrentRows);
}
void TgpDesigner::SetSelectedCellText(TColor value) {
  if (selected_cell_text_ == value) return;
  selected_cell_text_ = value;
  RepaintTitles();
  RepaintCurrentRows();
}
void TgpDesigner::SetSelectedRowText(TColor value) {
  SetColorSetting(selected_row_text_, value, &TgpDesigner::RepaintAll);
}
void TgpDesigner::SetHiddenSelection(TColor value) {
  SetColorSetting(hidden_selection_, value, &TgpDesigner::RepaintCurrentRows);
}
void TgpDesigner::SetSelectedCellFill(bool value) {
  SetBoolSetting(selected_cell_fill_, value, &TgpDesigner::RepaintCurrentRows);
}
void TgpDesigner::SetSelectedRowFill(bool value) {
  SetBoolSetting(selected_row_fill_, value, &TgpDesigner::RepaintCurrentRows);
}
void TgpDesigner::SetUltraSoftSelectedCell(bool value) {
  SetBoolSetting(ultra_soft_cell_, value, &TgpDesigner::RepaintAll);
}
void TgpDesigner::SetUltraSoftSelectedRow(bool value) {
  SetBoolSetting(ultra_soft_row_, value, &TgpDesigner::RepaintAll);
}
void TgpDesigner::SetVertLines(TColor value) { SetColorSetting(vert_lines_, value, &TgpDesigner::RepaintAll); }

void TgpDesigner::SetHorizLines(TColor value) {
  if (horiz_lines_ == value) return;
  const bool kind_changed = (horiz_lines_ == clNone) != (value == clNone);
  horiz_lines_ = value;
  if (kind_changed)
    UpdateMetrics();
  else
    RepaintAll();
}

void TgpDesigner::SetCellSeparator(TColor value) {
  SetColorSetting(cell_separator_, value, &TgpDesigner::RepaintAll);
}
void TgpDesigner::SetRowSeparator(TColor value) { SetColorSetting(row_separator_, value, &TgpDesigner::RepaintAll); }
void TgpDesigner::SetFooterSurfaceColor(TColor value) {
  SetColorSetting(footer_surface_color_, value, &TgpDesigner::RepaintFooters);
}
void TgpDesigner::SetFooterLines(TColor value) {
  SetColorSetting(footer_lines_, value, &TgpDesigner::RepaintFooters);
}
void TgpDesigner::SetFlatFooter(bool value) { SetBoolSetting(flat_footer_, value, &TgpDesigner::RepaintFooters); }

// ---- TgpBaseDesigner ----------------------------------------------------------------------

void TgpBaseDesigner::FooterPair(int& Top, int& Bottom) const { Top = 4, Bottom = 3; }

// The grid and its columns: relayout, metrics from the columns' fonts and
// visions, the current column, repaints of column strips, and the row
// attributes the designers paint from.
#include <algorithm>

#include "grid/rs.h"
#include "grid/rs_mapper.h"
#include "grid/rs_std.h"
#include "grid/rs_str.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/menus.h"

namespace {

const TTypeInfo& DragModeType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TDragMode", {"dmManual", "dmAutomatic"});
  return t;
}

const TTypeInfo& CursorTypeType() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TgpCursorType", {"gctSensitive", "gctInsensitiveBmrk", "gctInsensitiveID"});
  return t;
}

const TTypeInfo& GridVisualOptionsType() {
  static const TTypeInfo option = TTypeInfo::Enumeration("TgpGridVisualOption", {"gvoNoEndEllipsis"});
  static const TTypeInfo t = TTypeInfo::SetOf("TgpGridVisualOptions", option);
  return t;
}

const TTypeInfo& GridBehaviorOptionsType() {
  static const TTypeInfo option = TTypeInfo::Enumeration(
      "TgpGridBehaviorOption",
      {"gboNoColumnSizing", "gboNoGroupSizing", "gboFullHeightSizing", "gboSmartSizing", "gboNoColumnMoving",
       "gboNoColumnGrouping", "gboNoTitleStates", "gboNoMultiTitleStates", "gboNoFooterStates",
       "gboNoIncomingDragTrack", "gboNoInsideDragTrack"});
  static const TTypeInfo t = TTypeInfo::SetOf("TgpGridBehaviorOptions", option);
  return t;
}

const TTypeInfo& GridEditOptionsType() {
  static const TTypeInfo option = TTypeInfo::Enumeration(
      "TgpGridEditOption", {"geoNoInserts", "geoNoAppends", "geoNoQuickEditByTabKey", "geoNoQuickEditByClick",
                            "geoNoEditActionOnExit", "geoCancelFieldOnExit", "geoCancelRecordOnExit",
                            "geoAlwaysShowEditor"});
  static const TTypeInfo t = TTypeInfo::SetOf("TgpGridEditOptions", option);
  return t;
}

const TTypeInfo& PickupOptionsType() {
  static const TTypeInfo option = TTypeInfo::Enumeration(
      "TgpPickupOption", {"gpoReturnKey", "gpoDblClick", "gpoClick", "gpoMouseTrack", "gpoCaptureRecord"});
  static const TTypeInfo t = TTypeInfo::SetOf("TgpPickupOptions", option);
  return t;
}

}  // namespace

const TClassInfo& TDBGridPro::StaticClassInfo() {
  using G = TDBGridPro;
  static const TClassInfo info(kClassOf<G>, "TDBGridPro", &TComponent::StaticClassInfo(), [](TPublisher<G>& p) {
    p.Ordinal("BorderStyle", TvpBorderStyleType(), &G::BorderStyle, &G::SetBorderStyle).WithDefault(bs3D);
    p.Ordinal("ScrollBars", TScrollStyleType(), &G::ScrollBars, &G::SetScrollBars).WithDefault(ssBoth);
    p.Ordinal("DragMode", DragModeType(), &G::DragMode, &G::SetDragMode).WithDefault(dmManual);
    // Menus and image lists are referenced, not owned: written by name.
    p.Object(
        "PopupMenu", TComponent::StaticClassInfo(), [](const G& g) -> TPersistent* { return g.PopupMenu(); },
        [](G& g, TPersistent* v) { g.SetPopupMenu(dynamic_cast<TPopupMenu*>(v)); });
    p.Object(
        "TitleImages", TComponent::StaticClassInfo(), [](const G& g) -> TPersistent* { return g.TitleImages(); },
        [](G& g, TPersistent* v) { g.SetTitleImages(dynamic_cast<TImageList*>(v)); });
    p.Object("DataSource", TDataSource::StaticClassInfo(), &G::DataSource, &G::SetDataSource);
    p.Object("ParamsAutoSearch", TgpAutoSearchParams::StaticClassInfo(), &G::ParamsAutoSearch,
             &G::SetParamsAutoSearch);
    p.Object("ParamsDB", TgpDBParams::StaticClassInfo(), &G::ParamsDB, &G::SetParamsDB);
    p.Object("ParamsDelete", TgpDeleteParams::StaticClassInfo(), &G::ParamsDelete, &G::SetParamsDelete);
    p.Boolean("AutoColumnFit", &G::AutoColumnFit, &G::SetAutoColumnFit).WithDefault(0);
    p.Integer("TitleLines", &G::TitleLines, &G::SetTitleLines).WithDefault(1);
    p.Integer("RowLines", &G::RowLines, &G::SetRowLines).WithDefault(1);
    p.Integer("FootLines", &G::FootLines, &G::SetFootLines).WithDefault(1);
    p.String("UniqueFields", &G::UniqueFields, &G::SetUniqueFields);
    p.String("BookmarkFields", &G::BookmarkFields, &G::SetBookmarkFields);
    p.Boolean("ShowTitles", &G::ShowTitles, &G::SetShowTitles).WithDefault(1);
    p.Boolean("ShowFooters", &G::ShowFooters, &G::SetShowFooters).WithDefault(0);
    p.Boolean("ShowEmptyRow", &G::ShowEmptyRow, &G::SetShowEmptyRow).WithDefault(1);
    p.Boolean("RowSelect", &G::RowSelect, &G::SetRowSelect).WithDefault(0);
    p.Boolean("MultiSelect", &G::MultiSelect, &G::SetMultiSelect).WithDefault(0);
    p.Boolean("HideSelection", &G::HideSelection, &G::SetHideSelection).WithDefault(1);
    p.Ordinal("VertAlignment", TLayoutType(), &G::VertAlignment, &G::SetVertAlignment).WithDefault(tlCenter);
    p.Ordinal("OptionsVisual", GridVisualOptionsType(), &G::OptionsVisual, &G::SetOptionsVisual).WithDefault(0);
    p.Ordinal("OptionsBehavior", GridBehaviorOptionsType(), &G::OptionsBehavior, &G::SetOptionsBehavior)
        .WithDefault(0);
    p.Ordinal("OptionsEdit", GridEditOptionsType(), &G::OptionsEdit, &G::SetOptionsEdit).WithDefault(0);
    p.Ordinal("OptionsPickup", PickupOptionsType(), &G::OptionsPickup, &G::SetOptionsPickup)
        .WithDefault(TgpPickupOptions{gpoReturnKey, gpoDblClick}.Bits());
    p.Boolean("ReadOnly", &G::ReadOnly, &G::SetReadOnly).WithDefault(0);
    p.Boolean("WantTabs", &G::WantTabs, &G::SetWantTabs).WithDefault(1);
    p.Boolean("WantReturns", &G::WantReturns, &G::SetWantReturns).WithDefault(1);
    p.Integer("StripStep", &G::StripStep, &G::SetStripStep).WithDefault(-1);
    p.Ordinal("CursorType", CursorTypeType(), &G::CursorType, &G::SetCursorType).WithDefault(gctSensitive);
    p.Object("Designer", TgpDesigner::StaticClassInfo(), &G::Designer, &G::SetDesigner);
    p.String("Attrs", &G::Attrs, &G::SetAttrs);
    p.Object("Mapper", TvpCustomFieldMapper::StaticClassInfo(), &G::Mapper,
             [](G& g, TPersistent* v) { g.SetMapper(dynamic_cast<TvpCustomFieldMapper*>(v)); });
    p.Object("Columns", TgpColumns::StaticClassInfo(), &G::Columns, &G::SetColumns);
    // Handlers are bound in code; a stored form naming one still reads.
    for (const char* type_and_names : {"TgpActionEvent OnAction", "TgpColumnChangeEvent OnColEnter OnColExit OnColExiting",
                                       "TNotifyEvent OnSelectionChange", "TgpColumnMovedEvent OnColMoved",
                                       "TgpClickEvent OnClick",
                                       "TNotifyEvent OnPickup OnInitEdit OnMouseEnter OnMouseLeave",
                                       "TgpBeforeInsertEvent BeforeInsert", "TNotifyEvent AfterInsert AfterDelete",
                                       "TgpBeforeFieldEditEvent BeforeFieldEdit", "TgpEditKeyPressEvent OnEditKeyPress",
                                       "TgpAfterFieldPostEvent AfterFieldPost",
                                       "TgpColumnNotifyEvent OnTitleStateChange OnFooterStateChange",
                                       "TgpDrawCellEvent OnDrawCell", "TgpGetRowAttrsEvent OnGetRowAttrs",
                                       "TgpCustomizerActionEvent OnCustomizerAction",
                                       "TgpContextMenuEvent OnFooterMenuPopup"})
      PublishEvents(p, type_and_names);
  });
  return info;
}

// ---- Owned columns ------------------------------------------------------------------------

void TDBGridPro::CreateColumns() { columns_ = std::make_unique<TgpColumns>(this); }

void TDBGridPro::DestroyColumns() {
  current_column_ = nullptr;
  columns_.reset();
}

void TDBGridPro::ColumnsComponentRemoved(TComponent* component) {
  if (columns_) columns_->ComponentRemoved(component);
}

void TDBGridPro::ColumnsAutoFitChanged() { columns_->SetAutoColumnFit(auto_column_fit_); }
void TDBGridPro::ColumnsRefit() { columns_->Refit(); }

void TDBGridPro::ColumnsRecomputeWidths() {
  columns_->RecomputeWidths();
  columns_->UpdateScrollWindow(false, true);
}

void TDBGridPro::ColumnsSetAvailableWidth(int width) { columns_->SetAvailableWidth(width); }

void TDBGridPro::RebindColumns() {
  if (!columns_) return;
  for (int i = 0; i < columns_->Count(); ++i) columns_->Items(i)->Rebind();
}

bool TDBGridPro::HasGroups() const { return columns_ != nullptr && columns_->HasGroups(); }

TgpGroupInfo* TDBGridPro::GroupOf(int column_index) const {
  if (!columns_ || column_index < 0 || column_index >= columns_->Count()) return nullptr;
  return columns_->Items(column_index)->Group();
}

void TDBGridPro::SetColumns(const TgpColumns* value) { columns_->Assign(value); }

void TDBGridPro::SetAttrs(const AnsiString& value) {
  attrs_ = value;
  columns_->ApplyAttrs();
  if (mapper_ != nullptr) ApplyMapper();
}

void TDBGridPro::SetVertAlignment(TLayout value) {
  if (value == vert_alignment_) return;
  vert_alignment_ = value;
  // Columns without a layout of their own follow the grid's.
  for (int i = 0; i < columns_->Count(); ++i) columns_->Items(i)->UpdateCaptionAlignment();
  InvalidateRows();
}

void TDBGridPro::RenumberSortOrders() {
  const int n = columns_->SortedCount();
  std::vector<TgpColumn*> sorted;
  for (int i = 0; i < n; ++i) sorted.push_back(columns_->SortedColumns(i));
  for (int i = 0; i < n; ++i) sorted[static_cast<size_t>(i)]->SetSortOrder(i);
  sort_counter_ = n - 1;
}

// ---- What the columns read ----------------------------------------------------------------

TgpColumnMetrics TDBGridPro::HostMetrics() const {
  TgpColumnMetrics m;
  if (const TgpDesigner* d = effective_designer_) {
    m.VLineWidth = d->VertLineWidth();
    m.HLineWidth = d->HorzLineWidth();
    m.TitleTop = d->TitleTop();
    m.TitleBottom = d->TitleBottom();
    m.FooterTop = d->FooterTop();
    m.FooterBottom = d->FooterBottom();
  }
  m.TitleBand = title_band_;
  m.FooterBand = footer_band_;
  m.RowHeight = row_height_;
  m.DataBottom = data_bottom_;
  m.FreeSpace = free_space_;
  return m;
}

int TDBGridPro::TitleTextHeight() {
  return TextHeight(&Font(), effective_designer_ ? effective_designer_->TitleFontIfAny() : nullptr);
}

int TDBGridPro::TitleImageHeight() const { return title_images_ != nullptr ? title_images_->Height() : 0; }

void TDBGridPro::ColumnValuePosted(TgpColumn* Column) {
  TgpFieldEditAction action = feaNone;
  DoAfterFieldPost(Column, 0, action);
}

// ---- Layout -------------------------------------------------------------------------------

void TDBGridPro::LayoutChanged() {
  if (!columns_ || Loading() || columns_->Updating()) return;
  columns_->RecomputeGroups();
  columns_->RecomputeWidths();
  columns_->RebuildSelectable();
  // The current column keeps its object across moves; its index follows.
  current_column_index_ = current_column_ != nullptr ? columns_->IndexOf(current_column_) : -1;
  int index = current_column_index_;
  if (index < 0 || index >= columns_->Count() || !columns_->Items(index)->IsSelectable())
    index = columns_->NearestSelectable();
  ExchangeColumnIndex(index);
  columns_->Refit();
  RecalcMetrics();
  // A column added or removed changes the cells each row paints.
  paint_info_->Resize(row_count_);
  InvalidateAll();
  ReshowEditor();
}

bool TDBGridPro::RecalcMetrics() {
  if (!columns_ || columns_->Updating() || effective_designer_ == nullptr) return false;
  TgpDesigner& d = *effective_designer_;
  const int f = TextHeight(&Font(), d.FooterFontIfAny());
  const TgpCellMargins& tm = d.TitleMarginsRef();
  const TgpCellMargins& cm = d.CellMarginsRef();
  const TgpCellMargins& fm = d.FooterMarginsRef();
  int t = 1, r = 1, ft = 1;
  for (int g = 0; g < columns_->GroupCount(); ++g) {
    const TgpGroupInfo* group = columns_->Groups(g);
    int title_h = 0, cell_h = 0;
    for (int i = group->FirstColumn; i <= group->LastColumn; ++i) {
      TgpColumn* column = columns_->Items(i);
      if (!column->Visible()) continue;
      title_h = std::max(title_h, column->TitleHeightNeeded(title_lines_, tm.TopMargin() + tm.BottomMargin()));
      TFont cell_font;
      cell_font.Assign(Font());
      if (const TChildFont* cf = d.CellFontIfAny()) cf->ApplyTo(cell_font);
      if (const TChildFont* own = column->FontIfAny()) own->ApplyTo(cell_font);
      cell_h = std::max(cell_h, column->EffectiveVision()->GetRowHeight(*column->FieldList(), cell_font, row_lines_,
                                                                       cm.TopMargin() + cm.BottomMargin()));
    }
    const int l = group->LineCount;
    t = std::max(t, l * title_h + l - 1);
    r = std::max(r, cell_h * l + l - 1);
    ft = std::max(ft, (f * foot_lines_ + fm.TopMargin() + fm.BottomMargin()) * l + l - 1);
  }
  const int title_height = d.TitleTop() + t + d.TitleBottom();
  const int row_height = r + d.HorzLineWidth();
  const int footer_height = ft + d.FooterTop() + d.FooterBottom();
  const bool changed =
      title_height != title_height_ || row_height != row_height_ || footer_height != footer_height_;
  title_height_ = title_height;
  row_height_ = row_height;
  footer_height_ = footer_height;
  for (int g = 0; g < columns_->GroupCount(); ++g) {
    const TgpGroupInfo* group = columns_->Groups(g);
    const int l = std::max(1, group->LineCount);
    const int title_line = (title_height_ - l - d.TitleTop() - d.TitleBottom() + 1) / l;
    const int cell_line = (row_height_ - l - d.HorzLineWidth() + 1) / l;
    const int footer_line = (footer_height_ - l - d.FooterTop() - d.FooterBottom() + 1) / l;
    for (int i = group->FirstColumn; i <= group->LastColumn; ++i)
      columns_->Items(i)->SetLineHeights(title_line, cell_line, footer_line);
  }
  if (changed) UpdateRowWindow();
  return changed;
}

void TDBGridPro::UpdateHScrollBar(bool Force) {
  if (!HasWindow() || !columns_) return;
  TScrollInfo old;
  old.fMask = SIF_ALL;
  GetScrollInfo(SB_HORZ, old);
  TScrollInfo info;
  info.fMask = SIF_ALL;
  if (scroll_bars_ == ssHorizontal || scroll_bars_ == ssBoth) {
    info.nMin = 0, info.nPage = 1;
    info.nMax = columns_->ScrollPositions() - 1;
    info.nPos = columns_->FirstVisibleGroup() - columns_->FirstScrollGroup();
  } else {
    info.nMin = 1, info.nMax = 1, info.nPage = 0, info.nPos = 1;
  }
  if (!Force && info.nMin == old.nMin && info.nMax == old.nMax && info.nPage == old.nPage && info.nPos == old.nPos)
    return;
  SetScrollInfo(SB_HORZ, info, PaintEnabled());
}

void TDBGridPro::WMHScroll(int code, int pos) {
  if (!columns_ || !columns_->HasScroll()) return;
  EndEdit(feaPost, true);
  const int first = columns_->FirstVisibleGroup();
  int target = first;
  switch (code) {
    case SB_LINELEFT:
    case SB_PAGELEFT: target = first - 1; break;
    case SB_LINERIGHT:
    case SB_PAGERIGHT: target = first + 1; break;
    case SB_THUMBPOSITION: target = first + (pos - GetScrollPos(SB_HORZ)); break;
    case SB_LEFT: target = columns_->FirstScrollGroup(); break;
    case SB_RIGHT: target = columns_->FirstScrollGroup() + columns_->ScrollPositions() - 1; break;
    default: return;
  }
  if (target == first) return;
  columns_->SetFirstVisibleGroup(target);
  columns_->UpdateScrollWindow(false, false);
  InvalidateAll();
}

TRect TDBGridPro::GroupRect(const TgpGroupInfo* Group, int Band, int Row) const {
  const int left = Group->ScreenX;
  const int right = left + Group->TotalWidth;
  const int height = ClientHeight();
  switch (Band) {
    case 1: return Rect(left, 0, right, title_band_);
    case 2: {
      const int top = title_band_ + Row * row_height_;
      return Rect(left, top, right, top + row_height_);
    }
    case 3: return Rect(left, height - footer_band_, right, height);
    default: return Rect(left, 0, right, height);
  }
}

bool TDBGridPro::IsColumnShown(int Index) const {
  if (!columns_ || Index < 0 || Index >= columns_->Count()) return false;
  const TgpColumn* column = columns_->Items(Index);
  const TgpGroupInfo* group = column->Group();
  return column->Visible() && group != nullptr &&
         (group->Fixed == cfLeft || group->Index >= columns_->FirstVisibleGroup());
}

void TDBGridPro::InvalidateColumn(int Index) {
  if (!HasGroups() || !IsColumnShown(Index)) return;
  RepaintNow(GroupRect(GroupOf(Index), 0, 0));
}

void TDBGridPro::InvalidateTitleCell(int Index) {
  if (!HasGroups() || !IsColumnShown(Index)) return;
  RepaintNow(GroupRect(GroupOf(Index), 1, 0));
}

void TDBGridPro::InvalidateCell(int Index, int Row) {
  if (!HasGroups() || !IsColumnShown(Index) || Row < 0) return;
  RepaintNow(GroupRect(GroupOf(Index), 2, Row));
}

// ---- Current column -----------------------------------------------------------------------

int TDBGridPro::ExchangeColumnIndex(int Index) {
  const int previous = current_column_index_;
  current_column_index_ = Index;
  current_column_ = Index >= 0 && Index < columns_->Count() ? columns_->Items(Index) : nullptr;
  if (current_column_ == nullptr) current_column_index_ = -1;
  return previous;
}

void TDBGridPro::SelectColumn(int Index) {
  if (Index == current_column_index_) return;
  if (Index == -1) {
    const int old = current_column_index_;
    if (OnColExiting) OnColExiting(this, old);
    ExchangeColumnIndex(-1);
    InvalidateColumn(old);
    if (OnColExit) OnColExit(this, old);
    if (OnColEnter) OnColEnter(this, -1);
    return;
  }
  CheckIndex(Index, columns_->Count());
  if (!columns_->Items(Index)->IsSelectable()) throw EDBGridPro(rsFormatStr(SUnableToSelectColumn, {Index}));
  GoToCell(0, 0, Index);
}

void TDBGridPro::SelectColumn(TgpColumn* Column) { SelectColumn(Column ? columns_->IndexOf(Column) : -1); }

void TDBGridPro::DoFooterStateChange(TgpColumn* Column, int State) {
  if (Loading()) return;
  Column->SetFooterState(static_cast<TgpColumnFooterState>(State));
  if (OnFooterStateChange) OnFooterStateChange(this, Column);
  Column->RepaintColumn();
}

// ---- Paint information --------------------------------------------------------------------

void TgpPaintInfo::Resize(int n) {
  n = std::max(0, n);
  while (static_cast<int>(rows_.size()) > n) rows_.erase(rows_.begin());
  while (static_cast<int>(rows_.size()) < n) rows_.push_back(std::make_unique<TgpRowAttrs>());
  TgpColumns* columns = grid_->Columns();
  const int column_count = columns != nullptr ? columns->Count() : 0;
  for (int c = 0; c < column_count; ++c) columns->Items(c)->CellAttrs().Resize(grid_->RowCount());
  for (int r = 0; r < n; ++r) {
    TgpRowAttrs* row = rows_[static_cast<size_t>(r)].get();
    row->Row = r;
    row->DataSet = grid_->DataSet();
    for (int c = 0; c < column_count; ++c) {
      TgpCellAttrsList& cells = columns->Items(c)->CellAttrs();
      row->SetCellAttrs(c, r < cells.Count() ? cells.Items(r) : nullptr);
    }
    // The attributes of columns removed since went with them.
    for (int c = column_count; row->CellAttrs(c) != nullptr; ++c) row->SetCellAttrs(c, nullptr);
  }
}

TgpRowAttrs* TgpPaintInfo::Rows(int i) const {
  if (i < 0 || i >= static_cast<int>(rows_.size())) return nullptr;
  return rows_[static_cast<size_t>(i)].get();
}

void TDBGridPro::PrepareRowAttrs(int FirstRow, int LastRow) {
  if (!link_active_ || effective_designer_ == nullptr) return;
  const TgpDesigner& d = *effective_designer_;
  const bool shows_selection = ShowsSelection();
  // The data set goes back to its record whatever a handler does.
  TScopeExit restore([link = data_link_.get(), row = data_link_->QueryActiveRow()] {
    if (link->Active()) link->ChangeActiveRow(row);
  });
  for (int r = FirstRow; r <= LastRow; ++r) {
    TgpRowAttrs* row = paint_info_->Rows(r);
    if (row == nullptr) continue;
    data_link_->ChangeActiveRow(r);
    row->Row = r;
    row->Reset();
    if (strip_step_ != -1 && data_set_ != nullptr) row->StripNo = (data_set_->GetSequenceNo() - 1) % strip_step_ + 1;
    row->IsCurrent = r == current_row_;
    if (row->IsCurrent) row->Focused = has_focus_;
    if (hover_kind_ == 2 && hover_row_ == r) {
      row->Hot = true;
      if (TgpCellAttrs* hot = hover_column_ >= 0 ? row->CellAttrs(hover_column_) : nullptr) hot->Hot = true;
    }
    const bool selected = !selection_->Empty() && selection_->IndexOf(data_set_->QueryBookmarkText()) != -1;
    auto selected_row_colours = [&] {
      row->FontColor = d.SelectedRowText();
      if (d.UltraSoftSelectedRow()) {
        row->UltraSoft = true;
      } else {
        row->Fill = true;
        row->Color = d.SelectedRow();
      }
    };
    if (selected) {
      row->Selected = true;
      selected_row_colours();
    }
    if (row->IsCurrent) {
      TgpCellAttrs* cell = current_column_index_ >= 0 ? row->CellAttrs(current_column_index_) : nullptr;
      if (cell != nullptr) {
        cell->Current = true;
        cell->Focused = row->Focused;
      }
      if (shows_selection && (row->Selected || selection_->Empty())) {
        if (row->Selected || row->Focused || !hide_selection_) {
          if (d.SelectedRowFill()) selected_row_colours();
          if (d.SelectedCellFill() && cell != nullptr) {
            cell->FontColor = d.SelectedCellText();
            if (d.UltraSoftSelectedCell()) {
              cell->UltraSoft = true;
            } else {
              cell->Fill = true;
              cell->Color = d.SelectedCell();
            }
          }
        } else {
          if (d.SelectedRowFill()) {
            row->Fill = true;
            row->Color = d.HiddenSelection();
          }
          if (d.SelectedCellFill() && cell != nullptr) {
            cell->Fill = true;
            cell->Color = d.HiddenSelection();
          }
        }
      }
    }
    if (row->Hot && !shows_selection) selected_row_colours();
    if (OnGetRowAttrs) OnGetRowAttrs(this, row);
  }
}

// ---- Painting -----------------------------------------------------------------------------

void TDBGridPro::Paint() {
  if (!PaintEnabled() || Loading() || effective_designer_ == nullptr) return;
  TCanvas& canvas = Canvas();
  // Only what was marked for painting: a one-row scroll paints one row.
  TRect clip = PaintRect();
  if (clip.Width() <= 0 || clip.Height() <= 0) return;
  if (!HasGroups()) {
    canvas.Brush().SetColor(Color());
    canvas.Brush().SetStyle(bsSolid);
    canvas.FillRect(clip);
    canvas.Font().Assign(Font());
    if (const TChildFont* cf = effective_designer_->CellFontIfAny()) cf->ApplyTo(canvas.Font());
    return;
  }
  TgpPaintInfo& info = *paint_info_;
  info.Canvas = &canvas;
  info.Parts = 0;
  info.Background = Color();
  info.FirstGroup = 0;
  info.LastGroup = columns_->GroupCount() - 1;
  bool first_found = false;
  for (int g = 0; g < columns_->GroupCount(); ++g) {
    const TgpGroupInfo* group = columns_->Groups(g);
    if (!group->InView) continue;
    if (group->ScreenX <= clip.Left) {
      info.FirstGroup = g;
      first_found = true;
    }
    if (group->ScreenX < clip.Right) info.LastGroup = g;
  }
  (void)first_found;
  clip.Left = columns_->Groups(info.FirstGroup)->ScreenX;
  // Rows and bands in the clip.
  const int rows_end = data_bottom_ + free_space_;
  if (clip.Top < title_band_) {
    info.FirstRow = 0;
    clip.Top = 0;
    info.Parts |= TgpPaintInfo::kTitles;
  } else if (clip.Top < rows_end) {
    info.FirstRow = std::min((clip.Top - title_band_) / row_height_, row_count_ - 1);
    clip.Top = info.FirstRow * row_height_ + title_band_;
  } else {
    info.FirstRow = -1;
  }
  if (title_band_ >= clip.Bottom || info.FirstRow == -1 || !has_rows_) {
    info.FirstRow = info.LastRow = -1;
  } else {
    info.LastRow = std::min((clip.Bottom - title_band_ - 1) / row_height_, row_count_ - 1);
    info.Parts |= TgpPaintInfo::kRows;
  }
  if (rows_end < clip.Bottom) {
    info.Parts |= TgpPaintInfo::kFooters;
    if (clip.Top > rows_end) clip.Top = rows_end;
  }
  info.ClipRect = clip;
  info.OffScreen = true;
  const int saved = data_link_->QueryActiveRow();
  {
    TScopeExit back([&] { data_link_->ChangeActiveRow(saved); });
    if (info.Parts & TgpPaintInfo::kRows) PrepareRowAttrs(info.FirstRow, info.LastRow);
    effective_designer_->Paint(this, &info);
  }
  PaintInteraction(canvas);
}

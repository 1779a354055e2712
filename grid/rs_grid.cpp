// The grid component: its data link, the window of rows over the data set's
// buffer, band metrics, scroll bars, freezing and the edit protocol with the
// data set. What touches the columns and their layout is in rs_grid_columns.cpp.
#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "grid/rs.h"

#include "grid/rs_custom.h"
#include "grid/rs_mapper.h"
#include "grid/rs_std.h"
#include "grid/rs_str.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/ui/comctrls.h"

// ---- Default designer ---------------------------------------------------------------------

namespace {

TgpDesigner* g_default_designer = nullptr;
std::unique_ptr<TgpDesigner> g_own_default_designer;

}  // namespace

TgpDesigner* DefaultGridDesigner() {
  if (g_default_designer == nullptr) {
    g_own_default_designer = std::make_unique<TStandardDesigner>(nullptr);
    g_default_designer = g_own_default_designer.get();
  }
  return g_default_designer;
}

void SetDefaultGridDesigner(TgpDesigner* designer) { g_default_designer = designer; }

// ---- TgpDBParams --------------------------------------------------------------------------

const TClassInfo& TgpDBParams::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TgpDBParams>, "TgpDBParams", &TPersistent::StaticClassInfo(),
                               [](TPublisher<TgpDBParams>& p) {
                                 p.Boolean("EnableRecNo", &TgpDBParams::EnableRecNo, &TgpDBParams::SetEnableRecNo)
                                     .WithDefault(1);
                               });
  return info;
}

void TgpDBParams::Assign(const TPersistent* source) {
  if (const auto* p = dynamic_cast<const TgpDBParams*>(source)) {
    enable_rec_no_ = p->enable_rec_no_;
    return;
  }
  TPersistent::Assign(source);
}

// ---- Construction -------------------------------------------------------------------------

TDBGridPro::TDBGridPro(TComponent* owner) : TCustomControl(owner) {
  data_link_ = std::make_unique<TDataLinkEx>();
  data_link_->OnActiveChanged = [this](TDataLinkEx*) { ActivationHandler(); };
  data_link_->OnDataSetChanged = [this](TDataLinkEx*) { DataSetChangedHandler(); };
  data_link_->OnDataSetScrolled = [this](TDataLinkEx*, int distance) { ScrollHandler(distance); };
  data_link_->OnRecordChanged = [this](TDataLinkEx*, TField*) { RecordChangedHandler(); };
  data_link_->OnLayoutChanged = [this](TDataLinkEx*) { LayoutHandler(); };
  data_link_->OnUpdateData = [this](TDataLinkEx*) { CommitHandler(); };
  painter_ = std::make_unique<TgpPainter>();
  painter_->Grid = this;
  painter_->DataLink = data_link_.get();
  painter_->RowAttrsOf = [this](int row) { return paint_info_ ? paint_info_->Rows(row) : nullptr; };
  SetFrameInset(BorderFrameInset(border_style_));
  CreateColumns();
  selection_ = std::make_unique<TgpSelection>(this);
  effective_designer_ = DefaultGridDesigner();
  effective_designer_->RegisterGrid(this);
  paint_info_ = std::make_unique<TgpPaintInfo>(this);
  title_images_link_ = std::make_unique<TChangeLink>();
  title_images_link_->OnChange = [this](TChangeLink*) { TitleImagesChanged(); };
  auto_search_ = std::make_unique<TgpAutoSearchParams>(this);
  delete_params_ = std::make_unique<TgpDeleteParams>(this);
  dragger_ = std::make_unique<TgpDragger>(this);
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(Left(), Top(), 340, 240);
}

void TDBGridPro::Detach() {
  if (effective_designer_ != nullptr) {
    effective_designer_->UnregisterGrid(this);
    effective_designer_ = nullptr;
  }
  data_link_->OnActiveChanged = nullptr;
  data_link_->OnDataSetChanged = nullptr;
  data_link_->OnDataSetScrolled = nullptr;
  data_link_->OnRecordChanged = nullptr;
  data_link_->OnLayoutChanged = nullptr;
  data_link_->OnUpdateData = nullptr;
}

void TDBGridPro::BeforeDestruction() {
  Detach();
  LetCustomizerGo();
  TCustomControl::BeforeDestruction();
}

void TDBGridPro::LetCustomizerGo() {
  // The customizer hears the grid's end while the grid is still whole.
  if (customizer_ != nullptr) customizer_->GridGone();
  if (customizer_ != nullptr) CustomizerAction(gcaFinish, nullptr);
}

TDBGridPro::~TDBGridPro() {
  // A plain delete skips BeforeDestruction: the designer must not keep a
  // dangling grid and the link must not call back into a half destroyed one.
  Detach();
  assert(freeze_count_ == 0 && "a grid was freed while frozen");
  freeze_count_ = 1;  // nothing repaints from here on
  auto_search_.reset();
  hint_window_.reset();
  ColumnSizer().Forget(this);
  if (TvpCustomFieldMapper* mapper = mapper_) mapper->RemoveClient(this);
  LetCustomizerGo();
  title_images_link_.reset();
  paint_info_.reset();
  painter_.reset();
  DestroyColumns();
  selection_.reset();
  data_link_->ChangeDataSource(nullptr);
  data_link_.reset();
}

TDataLink* TDBGridPro::DataLink() const { return data_link_.get(); }

TDataSource* TDBGridPro::DataSource() const { return data_link_->DataSource(); }

void TDBGridPro::SetDataSource(TDataSource* value) {
  if (value == data_link_->DataSource()) return;
  data_link_->ChangeDataSource(value);
  data_set_ = data_link_->QueryDataSet();
  // A source whose data set is already open made the link active above; a
  // source that was switched without a change of activity still shows
  // another data set.
  if (link_active_ != data_link_->Active() || data_set_ != nullptr) ActivationHandler();
}

void TDBGridPro::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) {
    if (component == designer_ || component == effective_designer_) {
      // The dying designer may be past its own destructor: it is not called
      // again, only forgotten (it drops its grids itself).
      if (component == designer_) designer_ = nullptr;
      effective_designer_ = nullptr;
      TgpDesigner* fallback = DefaultGridDesigner();
      if (static_cast<TComponent*>(fallback) != component && !ComponentState().Contains(csDestroying)) {
        effective_designer_ = fallback;
        fallback->RegisterGrid(this);
        LayoutChanged();
      }
    }
    ColumnsComponentRemoved(component);
  }
  TCustomControl::Notification(component, operation);
}

void TDBGridPro::Loaded() {
  TCustomControl::Loaded();
  RenumberSortOrders();
  RebindColumns();
  UpdateVScrollBar(true);
  LayoutChanged();
  ApplyMapper();
}

// ---- Properties ---------------------------------------------------------------------------

void TDBGridPro::SetBorderStyle(TvpBorderStyle value) {
  if (value == border_style_) return;
  border_style_ = value;
  // The client area changes with the frame; the resize lays the grid out again.
  SetFrameInset(BorderFrameInset(value));
  InvalidateFrame();
  InvalidateAll();
}

void TDBGridPro::PaintFrame(TCanvas& canvas) {
  PaintBorder(canvas, Rect(0, 0, Width(), Height()), border_style_, Color());
}

void TDBGridPro::SetScrollBars(TScrollStyle value) {
  if (value == scroll_bars_) return;
  scroll_bars_ = value;
  UpdateVScrollBar(true);
  UpdateHScrollBar(true);
}

void TDBGridPro::SetTitleImages(TImageList* value) {
  if (value == title_images_) return;
  if (title_images_ != nullptr) title_images_->UnRegisterChanges(title_images_link_.get());
  title_images_ = value;
  if (value != nullptr) value->RegisterChanges(title_images_link_.get());
  TitleImagesChanged();
}

void TDBGridPro::TitleImagesChanged() {
  if (Loading()) return;
  if (RecalcMetrics())
    InvalidateAll();
  else
    InvalidateTitles();
}

void TDBGridPro::SetAutoColumnFit(bool value) {
  if (value == auto_column_fit_) return;
  auto_column_fit_ = value;
  ColumnsAutoFitChanged();
  UpdateParts(kupRefit | kupRepaint);
}

void TDBGridPro::SetTitleLines(int value) {
  CheckPositive(value);
  if (value == title_lines_) return;
  title_lines_ = value;
  UpdateParts(kupMetrics | kupRepaint);
}

void TDBGridPro::SetRowLines(int value) {
  CheckPositive(value);
  if (value == row_lines_) return;
  row_lines_ = value;
  UpdateParts(kupMetrics | kupRepaint);
}

void TDBGridPro::SetFootLines(int value) {
  CheckPositive(value);
  if (value == foot_lines_) return;
  foot_lines_ = value;
  UpdateParts(kupMetrics | kupRepaint);
}

void TDBGridPro::SetUniqueFields(const AnsiString& value) {
  unique_fields_ = value;
  TgpCurrentRecShot* current = selection_->Current();
  if (!link_active_ || data_set_ == nullptr || current->Bookmark.empty() ||
      !data_set_->BookmarkExists(current->Bookmark)) {
    current->Capture(TBookmark());
    return;
  }
  // The snapshot takes the new fields' values from its own record, which an
  // insensitive cursor may keep away from the data set's.
  const TDataSetPosition position = SaveDataSetPosition(*data_set_);
  TMuteScope muted(*data_set_);
  const TBookmark bookmark = current->Bookmark;
  data_set_->ReturnToBookmark(bookmark);
  current->Capture(bookmark);
  RestoreDataSetPosition(*data_set_, position);
}

void TDBGridPro::SetBookmarkFields(const AnsiString& value) {
  // The record number is kept by ParamsDB, never as a field of the list.
  AnsiString list = value;
  const int count = ListCountNonEmpty(list, ';');
  for (int i = 0; i < count; ++i) {
    if (AnsiSameText(ListItem(list, i, ';'), "$RECNO$")) {
      list = ListDelete(list, i, ';');
      break;
    }
  }
  bookmark_fields_ = list;
}

void TDBGridPro::SetShowTitles(bool value) {
  if (value == show_titles_) return;
  show_titles_ = value;
  UpdateParts(kupRowWindow | kupRepaint);
}

void TDBGridPro::SetShowFooters(bool value) {
  if (value == show_footers_) return;
  show_footers_ = value;
  UpdateParts(kupRowWindow | kupRepaint);
}

void TDBGridPro::SetShowEmptyRow(bool value) {
  if (value == show_empty_row_) return;
  show_empty_row_ = value;
  UpdateParts(kupRowWindow | kupRepaint);
}

void TDBGridPro::SetHideSelection(bool value) {
  if (value == hide_selection_) return;
  hide_selection_ = value;
  InvalidateRows();
}

void TDBGridPro::SetOptionsVisual(TgpGridVisualOptions value) {
  if (value == options_visual_) return;
  options_visual_ = value;
  InvalidateAll();
}

void TDBGridPro::SetStripStep(int value) {
  if (value != -1 && value <= 1) return;
  if (value == strip_step_) return;
  strip_step_ = value;
  InvalidateRows();
}

void TDBGridPro::SetCursorType(TgpCursorType value) {
  if (value == cursor_type_) return;
  cursor_type_ = value;
  if (value != gctSensitive)
    selection_->Current()->Invalidate(true);
  else
    selection_->Current()->Recapture(true);
  InvalidateRows();
}

void TDBGridPro::SetDesigner(TgpDesigner* value) {
  if (value == designer_ && effective_designer_ != nullptr) return;
  if (effective_designer_ != nullptr) effective_designer_->UnregisterGrid(this);
  if (designer_ != nullptr) RemoveFreeNotification(designer_);
  designer_ = value;
  if (value != nullptr) {
    FreeNotification(value);
    effective_designer_ = value;
  } else {
    effective_designer_ = DefaultGridDesigner();
  }
  effective_designer_->RegisterGrid(this);
  LayoutChanged();
}

void TDBGridPro::SetMapper(TvpCustomFieldMapper* value) {
  if (value == mapper_) return;
  SwitchMapper(mapper_, value, this, [this] { ApplyMapper(); });
  ApplyMapper();
}

void TDBGridPro::ApplyMapper() {
  // A grid without a mapper keeps its columns' captions and visions as they are.
  if (mapper_ == nullptr || Loading() || !columns_) return;
  for (int i = 0; i < columns_->Count(); ++i) columns_->Items(i)->ImportFromMapper();
}

bool TDBGridPro::MapperEntry(TgpFieldList* Fields, TvpFieldVision*& Vision, AnsiString& Caption) {
  Vision = nullptr;
  Caption.clear();
  return mapper_ != nullptr && mapper_->Entry(Fields, Vision, Caption);
}

// ---- Freezing -----------------------------------------------------------------------------

void TDBGridPro::FreezeGrid() { ++freeze_count_; }

void TDBGridPro::UnfreezeGrid(bool Repaint) {
  if (freeze_count_ == 0) throw EDBGridPro(rsFormatStr(SMethodCallCancelled, {"UnfreezeGrid"}));
  --freeze_count_;
  if (freeze_count_ == 0 && Repaint) {
    UpdateVScrollBar(true);
    UpdateHScrollBar(true);
    InvalidateAll();
  }
}

// ---- Data-link notices --------------------------------------------------------------------

void TDBGridPro::RecaptureCurrent(bool notify) { selection_->Current()->Recapture(notify); }

void TDBGridPro::ActivationHandler() {
  data_set_ = data_link_->QueryDataSet();
  link_active_ = data_link_->Active();
  Frozen(true, [&] {
    current_row_ = -1;
    UpdateRowWindow();
    RebindColumns();
  });
  // The snapshots name records by bookmark, and a table's bookmarks are its
  // record numbers: a selection kept over a close or a reopen would point at
  // unrelated rows of whatever table is open next, and deleting "the
  // selected records" would delete those. (Cleared once the window is
  // current, so a handler of the change sees the grid as it now is.)
  selection_->SetAnchorText(AnsiString());
  selection_->Clear(false, true);
  if (cursor_type_ == gctSensitive) {
    selection_->Current()->Bookmark.clear();
    RecaptureCurrent(true);
  }
}

void TDBGridPro::DataSetChangedHandler() {
  // The source now shows another data set that was open already: for the
  // snapshots that is a close and an open.
  if (data_link_->QueryDataSet() != data_set_) {
    ActivationHandler();
    return;
  }
  if (navigating_ && (pending_actions_ & 0x200) && data_set_ != nullptr && (data_set_->Bof() || data_set_->Eof()))
    selection_->SelectRange(selection_->Anchor());
  Frozen(true, [&] {
    RebindColumns();
    UpdateRowWindow();
  });
  if (posting_)
    RecaptureCurrent(true);
  else
    selection_->Current()->RecaptureIfTracking(true);
}

void TDBGridPro::RecordChangedHandler() {
  InvalidateRow(active_row_);
  Update();
}

void TDBGridPro::LayoutHandler() {
  Frozen(true, [&] {
    ActivationHandler();
    DataSetChangedHandler();
  });
}

void TDBGridPro::CommitHandler() { EndEdit(feaPost, true); }

// ---- Scrolling by the data set ------------------------------------------------------------

void TDBGridPro::ScrollHandler(int Distance) {
  TgpCurrentRecShot* current = selection_->Current();
  const TBookmark anchor = selection_->Anchor();
  const int old_current_row = current_row_;
  EndEdit(feaCancel, true);
  current->RecaptureIfTracking(true);
  if (Distance != 0) LocateCurrentRow(Distance);
  if (target_column_ != -1 && target_column_ != current_column_index_) ExchangeColumnIndex(target_column_);
  const int actions = pending_actions_;
  if (HasGroups()) {
    if (Distance != 0) {
      const int old_active = active_row_;
      active_row_ = data_link_->QueryActiveRow();
      ApplySelectionActions(actions, active_row_ - Distance, anchor);
      if (PaintEnabled()) {
        if ((actions & 0x400) && !selection_->Empty())
          selection_->Clear(true, false);
        else
          ScrollRows(Distance, old_active);
        Update();
      }
    } else {
      active_row_ = data_link_->QueryActiveRow();
      ApplySelectionActions(actions, old_current_row, anchor);
      bool cleared = false;
      if ((actions & 0x400) && !selection_->Empty()) {
        selection_->Clear(false, false);
        cleared = true;
      }
      if (cleared || (actions & 0x200)) {
        InvalidateRows();
      } else {
        InvalidateRow(old_current_row);
        if (std::abs(old_current_row - active_row_) != 1) Update();
        InvalidateRow(current_row_);
        Update();
      }
    }
  } else {
    active_row_ = data_link_->QueryActiveRow();
  }
  // The window moved over the data set: whether records follow it changed.
  if (link_active_ && data_link_->QueryRowCount() > 0) more_rows_ = RecordAfterWindow();
  if (Distance != 0 || (data_set_ != nullptr && !data_set_->HasRecordNumbers())) UpdateVScrollBar();
  if (!navigating_) ReshowEditor();
}

void TDBGridPro::ApplySelectionActions(int actions, int old_row, const TBookmark& anchor) {
  // The record that was current before the move, on its row for a moment.
  if (old_row != -1 && (actions & 0x60)) {
    const int row = data_link_->QueryActiveRow();
    data_link_->ChangeActiveRow(old_row);
    TScopeExit back([&] { data_link_->ChangeActiveRow(row); });
    if (actions & 0x20) selection_->SelectCurrent(true, false);
    if (actions & 0x40) selection_->SelectCurrent(false, false);
  }
  if (actions & 0x80) selection_->SelectCurrent(true, false);
  if (actions & 0x100) selection_->SelectCurrent(!selection_->IsCurrentSelected(), false);
  if (actions & 0x200) selection_->SelectRange(anchor);
}

void TDBGridPro::ScrollRows(int Distance, int OldRow) {
  const bool blit = effective_designer_ != nullptr && effective_designer_->ScrollByBlit();
  const int width = ClientWidth();
  auto row_top = [this](int row) { return title_band_ + row * row_height_; };
  // Moves rows first .. last one row up (Distance 1) or down (-1).
  auto move_band = [&](int first, int last) {
    ScrollRect(0, -Distance * row_height_, Rect(0, row_top(first) - (Distance < 0 ? 0 : row_height_), width,
                                                  row_top(last + 1) + (Distance < 0 ? row_height_ : 0)));
  };
  if (std::abs(Distance) != 1 || row_count_ < 3 || (row_count_ < 5 && !blit) || !HasWindow()) {
    InvalidateRows();
    Update();
  } else if (blit) {
    // The rows that stay are moved; the two at the uncovered end are new.
    move_band(1, row_count_ - 2);
    if (Distance == 1) {
      InvalidateRow(row_count_ - 2);
      InvalidateRow(row_count_ - 1);
    } else {
      InvalidateRow(0);
      InvalidateRow(1);
    }
  } else {
    // A designer whose lines would move with the rows: the edge row is
    // painted in place first, then only the inner band is moved.
    InvalidateRow(Distance == 1 ? 0 : row_count_ - 1);
    Update();
    if (Distance == 1) {
      move_band(2, row_count_ - 2);
      InvalidateRow(row_count_ - 2);
      InvalidateRow(row_count_ - 1);
    } else {
      move_band(1, row_count_ - 3);
      InvalidateRow(0);
      InvalidateRow(1);
    }
  }
  Update();
  const int old_row = OldRow - Distance;
  if (old_row >= 0 && old_row < row_count_) {
    InvalidateRow(old_row);
    Update();
  }
}

void TDBGridPro::ScrollToRecNo(int P) {
  if (data_set_ == nullptr) return;
  const int r = data_set_->GetSequenceNo();
  const int f = r - active_row_;
  if (P > f)
    data_set_->Skip(P - r + row_count_ - 1);
  else if (P < f)
    data_set_->Skip(P - r);
}

void TDBGridPro::WMVScroll(int code, int pos) {
  if (!link_active_ || data_set_ == nullptr) return;
  TDataSet& ds = *data_set_;
  switch (code) {
    case SB_LINEUP: ds.Skip(-(active_row_ + 1)); break;
    case SB_LINEDOWN: ds.Skip(row_count_ - active_row_); break;
    case SB_PAGEUP: ds.Skip(-row_count_); break;
    case SB_PAGEDOWN: ds.Skip(row_count_); break;
    case SB_THUMBTRACK:
      if (ds.HasRecordNumbers()) {
        if (pos <= 1)
          ds.GoFirst();
        else if (pos < ds.CursorRecordCount())
          ScrollToRecNo(pos);
        else
          ds.GoLast();
      } else {
        switch (pos) {
          case 0: ds.GoFirst(); break;
          case 1: ds.Skip(-row_count_); break;
          case 3: ds.Skip(row_count_); break;
          case 4: ds.GoLast(); break;
          default: break;
        }
      }
      break;
    case SB_TOP: ds.GoFirst(); break;
    case SB_BOTTOM: ds.GoLast(); break;
    default: break;
  }
  ReshowEditor();
}

void TDBGridPro::MouseWheel(TShiftState shift, int delta, int x, int y) {
  TCustomControl::MouseWheel(shift, delta, x, y);
  WMVScroll(delta <= 0 ? SB_LINEDOWN : SB_LINEUP, 0);
}

// ---- Row window ---------------------------------------------------------------------------

void TDBGridPro::UpdateRowWindow() {
  title_band_ = show_titles_ ? title_height_ : 0;
  footer_band_ = show_footers_ ? footer_height_ : 0;
  const int height = ClientHeight();
  row_capacity_ = std::max(1, (height - title_band_ - footer_band_) / std::max(1, row_height_));
  if (link_active_ && data_link_->QueryRowCount() > 0) {
    data_link_->ChangeWindowSize(row_capacity_);
    active_row_ = data_link_->QueryActiveRow();
    row_count_ = data_link_->QueryRowCount();
    more_rows_ = RecordAfterWindow();
    has_rows_ = true;
  } else {
    row_count_ = 1;
    has_rows_ = link_active_ && show_empty_row_;
    more_rows_ = false;
    if (!link_active_) active_row_ = 0;
  }
  data_bottom_ = title_band_ + (has_rows_ ? row_count_ : 0) * row_height_;
  free_space_ = std::max(0, height - data_bottom_ - footer_band_);
  paint_info_->Resize(row_count_);
  if (link_active_) LocateCurrentRow(0);
  UpdateVScrollBar();
}

bool TDBGridPro::RecordAfterWindow() {
  // One the data set holds already, or, for a full window, one its numbering
  // says exists (a data set without numbers is taken to have more, which only
  // keeps its bar usable).
  TDataSet& ds = *data_set_;
  const int first_index = ds.ActiveRecordIndex() - active_row_;
  if (first_index + row_count_ < ds.WindowRecordCount()) return true;
  if (row_count_ < row_capacity_) return false;
  if (ds.HasRecordNumbers() && ds.GetSequenceNo() > 0) return ds.GetSequenceNo() - active_row_ + row_count_ - 1 < ds.CursorRecordCount();
  return true;
}

void TDBGridPro::LocateCurrentRow(int Distance) {
  if (cursor_type_ == gctSensitive) {
    current_row_ = link_active_ ? data_link_->QueryActiveRow() : -1;
    return;
  }
  TgpCurrentRecShot* current = selection_->Current();
  if (Distance == 0 || current_row_ == -1 || navigating_) {
    int first = 0, last = row_count_ - 1;
    if (Distance == 0) {
      current_row_ = -1;
    } else if (std::abs(Distance) < row_count_ - 1) {
      if (Distance < 0)
        last = -Distance;
      else
        first = row_count_ - 1 - Distance;
    }
    if (!current->Valid || !link_active_) return;
    const int saved = data_link_->QueryActiveRow();
    {
      TScopeExit back([&] { data_link_->ChangeActiveRow(saved); });
      for (int row = first; row <= last; ++row) {
        data_link_->ChangeActiveRow(row);
        if (data_link_->QueryActiveRow() != row) break;
        if (current->IsCurrent()) {
          if (current->OnRealRecord) {
            current_row_ = row;
          } else {
            current->Capture(data_set_->QueryBookmarkText());
          }
          break;
        }
      }
    }
    return;
  }
  current_row_ -= Distance;
  if (current_row_ < 0 || current_row_ > row_count_ - 1) current_row_ = -1;
}

bool TDBGridPro::CanUseCurrentRecord(bool Strict) {
  if (cursor_type_ == gctSensitive || current_row_ == active_row_) return true;
  if (current_row_ >= 0 && current_row_ < row_count_ && data_set_ != nullptr)
    data_set_->Skip(current_row_ - active_row_);
  const bool ok = current_row_ == active_row_;
  if (Strict && !ok) {
    if (!selection_->Current()->GoTo()) GoToCell(0x1, 0, current_column_index_);
  }
  return ok;
}

// ---- Scroll bars --------------------------------------------------------------------------

void TDBGridPro::UpdateVScrollBar(bool Force) {
  if (!HasWindow()) return;
  TScrollInfo old;
  old.fMask = SIF_ALL;
  GetScrollInfo(SB_VERT, old);
  TScrollInfo info = old;
  info.fMask = SIF_ALL;
  if (link_active_ && data_set_ != nullptr && (scroll_bars_ == ssVertical || scroll_bars_ == ssBoth)) {
    TDataSet& ds = *data_set_;
    if (ds.HasRecordNumbers()) {
      const int count = ds.CursorRecordCount();
      if (count == row_count_ && more_rows_) {
        info.nMin = 1, info.nMax = 1, info.nPage = 0;
      } else {
        info.nMin = 1, info.nPage = 1, info.nMax = count - row_count_ + 1;
      }
      const TDataSetMode state = ds.CurrentMode();
      if (state == dsInactive || state == dsBrowse || state == dsEdit) {
        info.nPos = ds.GetSequenceNo() - active_row_;
        info.nTrackPos = info.nPos;
      }
    } else {
      info.nMin = 0, info.nPage = 0, info.nMax = 4;
      info.nPos = ds.Bof() ? 0 : ds.Eof() ? 4 : 2;
    }
  } else {
    info.nMin = 1, info.nMax = 1, info.nPage = 0, info.nPos = 1;
  }
  if (!PaintEnabled()) return;
  if (!Force && info.nMin == old.nMin && info.nMax == old.nMax && info.nPage == old.nPage && info.nPos == old.nPos)
    return;
  SetScrollInfo(SB_VERT, info, true);
}

// ---- Metrics ------------------------------------------------------------------------------

int TDBGridPro::TextHeight(const TFont* Font, const TChildFont* ChildFont) {
  if (!HasWindow()) return 13;
  TCanvas& canvas = Canvas();
  if (Font != nullptr) canvas.Font().Assign(*Font);
  if (ChildFont != nullptr) ChildFont->ApplyTo(canvas.Font());
  TFontStyles style = canvas.Font().Style();
  style.Include(fsBold);
  style.Include(fsUnderline);
  canvas.Font().SetStyle(style);
  return canvas.TextHeight("Wg");
}

void TDBGridPro::UpdateParts(int Flags) {
  if (Loading()) return;
  if (Flags & kupMetrics) RecalcMetrics();
  if (Flags & kupRowWindow) UpdateRowWindow();
  if (Flags & kupRefit) ColumnsRefit();
  if (Flags & kupWidths) ColumnsRecomputeWidths();
  if (Flags & kupRepaint) InvalidateAll();
  ReshowEditor();
}

// ---- Size and focus -----------------------------------------------------------------------

void TDBGridPro::SetBounds(int left, int top, int width, int height) {
  const bool resized = width != Width() || height != Height();
  TCustomControl::SetBounds(left, top, width, height);
  if (resized) WMSize();
}

void TDBGridPro::Resize() {
  TCustomControl::Resize();
  WMSize();
}

void TDBGridPro::WMSize() {
  if (columns_ == nullptr || paint_info_ == nullptr || in_size_) return;
  // A scroll bar that appears or goes changes the client area again; the
  // inner notice is answered by the outer pass.
  {
    TScopedValue<bool> in_size(in_size_, true, false);
    // A bar that came or went leaves another client area: measure again
    // (a bar settles after one more pass).
    for (int pass = 0; pass < 3; ++pass) {
      const int width = ClientWidth(), height = ClientHeight();
      ColumnsSetAvailableWidth(width);
      if (!HasGroups()) {
        InvalidateAll();
      } else if (!Loading()) {
        UpdateRowWindow();
        ColumnsRefit();
        InvalidateAll();
        ReshowEditor();
      }
      if (width == ClientWidth() && height == ClientHeight()) break;
    }
  }
}

void TDBGridPro::FontChanged() {
  TCustomControl::FontChanged();
  if (columns_ == nullptr || Loading()) return;
  RecalcMetrics();
  InvalidateAll();
}

void TDBGridPro::DoEnter() {
  TCustomControl::DoEnter();
  // The focus coming back from the editor is no entry into the grid.
  if (hiding_editor_ || EditorFocused()) return;
  has_focus_ = true;
  InvalidateRow(current_row_);
  if (AlwaysShowEditor()) ShowEditor(current_column_);
}

void TDBGridPro::DoExit() {
  TCustomControl::DoExit();
  // The focus passing to the grid's own editor stays inside the grid.
  if (hiding_editor_ || EditorFocused()) return;
  EditorExit();
}

void TDBGridPro::EditorExit() {
  has_focus_ = false;
  auto_search_->Stop();
  InvalidateRow(current_row_);
  if (!link_active_) return;
  {
    // An edit that cannot end keeps the focus where it can be mended.
    TScopeFail refocus([this] { SetFocus(); });
    const bool no_action = options_edit_.Contains(geoNoEditActionOnExit);
    if (no_action && options_edit_.Contains(geoCancelFieldOnExit))
      EndEdit(feaCancel, false);
    else if (no_action)
      EndEdit(feaPost, false);
    else if (options_edit_.Contains(geoCancelRecordOnExit))
      CancelEdit();
    else
      CommitEdit();
    EndEdit(feaCancel, false);
  }
}

// ---- Repaint requests ---------------------------------------------------------------------

void TDBGridPro::RepaintNow(const TRect& rect) {
  if (!PaintEnabled() || !HasWindow()) return;
  InvalidateRect(rect);
}

void TDBGridPro::InvalidateAll() { RepaintNow(ClientRect()); }

void TDBGridPro::InvalidateTitles() {
  if (!HasGroups() || title_band_ <= 0) return;
  RepaintNow(Rect(0, 0, ClientWidth(), title_band_));
}

void TDBGridPro::InvalidateRow(int Row) {
  if (!HasGroups() || Row < 0) return;
  const int top = title_band_ + Row * row_height_;
  RepaintNow(Rect(0, top, ClientWidth(), top + row_height_));
}

void TDBGridPro::InvalidateRows() {
  if (!HasGroups()) return;
  RepaintNow(Rect(0, title_band_, ClientWidth(), ClientHeight() - footer_band_));
}

void TDBGridPro::InvalidateFooters() {
  if (!HasGroups() || footer_band_ <= 0) return;
  const int top = data_bottom_ + free_space_;
  RepaintNow(Rect(0, top, ClientWidth(), top + footer_height_));
}

// ---- Selection and events -----------------------------------------------------------------

void TDBGridPro::DoSelectionChange(bool CurrentChanged, bool SelectionChanged) {
  (void)CurrentChanged, (void)SelectionChanged;
  selection_change_pending_ = true;
  if (!navigating_ && OnSelectionChange) OnSelectionChange(this);
}

void TDBGridPro::DoTitleStateChange(TgpColumn* Column) {
  if (OnTitleStateChange) OnTitleStateChange(this, Column);
}

bool TDBGridPro::DoBeforeFieldEdit(TgpColumn* Column) {
  bool do_edit = true;
  if (BeforeFieldEdit) BeforeFieldEdit(this, Column, do_edit);
  return do_edit;
}

void TDBGridPro::DoAfterFieldPost(TgpColumn* Column, int PostCode, TgpFieldEditAction& Action) {
  if (AfterFieldPost) AfterFieldPost(this, Column, PostCode, Action);
}

// ---- Editing ------------------------------------------------------------------------------

bool TDBGridPro::AlwaysShowEditor() const {
  return options_edit_.Contains(geoAlwaysShowEditor) && cursor_type_ == gctSensitive && has_rows_;
}

void TDBGridPro::CommitEdit() {
  {
    TScopedValue<bool> posting(posting_, true, false);
    if (data_link_->Editing()) {
      // An inserted record is settled by a move of no records: posted when
      // something was typed into it, dropped when not.
      if (data_set_->CurrentMode() == dsInsert)
        data_set_->Skip(0);
      else
        data_set_->CommitRecord();
    } else {
      EndEdit(feaCancel, true);
    }
  }
}

void TDBGridPro::CancelEdit() {
  if (data_link_->Editing())
    data_set_->DiscardChanges();
  else
    EndEdit(feaCancel, true);
}

bool TDBGridPro::InsertRecord(bool Append) {
  if (!link_active_ || data_set_ == nullptr || data_set_->CurrentMode() != dsBrowse || read_only_) return false;
  if (options_edit_.Contains(Append ? geoNoAppends : geoNoInserts)) return false;
  if (!data_set_->QueryCanModify()) return false;
  bool do_insert = true;
  if (BeforeInsert) BeforeInsert(this, do_insert);
  if (!do_insert) return false;
  if (Append)
    data_set_->StartAppend();
  else
    data_set_->StartInsert();
  RecaptureCurrent(true);
  Update();
  if (AfterInsert) AfterInsert(this);
  return true;
}

// ---- Pick list ----------------------------------------------------------------------------

void TDBGridPro::SyncToValue(const Variant& Value) { selection_->Current()->SetCurrentByValue(Value, true, false); }

Variant TDBGridPro::TakeValue() const { return selection_->Current()->UniqueValues; }

// ---- Seams --------------------------------------------------------------------------------

void TDBGridPro::GoToCell(int Flags, int Distance, int Column) {
  const int old_column = current_column_index_;
  const bool column_changes = Column != old_column;
  if (column_changes && OnColExiting) OnColExiting(this, old_column);
  const bool record_move = (Flags & 0x7) != 0;
  const bool toggle = !record_move && (Flags & 0x100) != 0;
  const bool scroll = column_changes && Column >= 0 && Column < columns_->Count() &&
                      !columns_->IsGroupFullyVisible(columns_->Items(Column));
  target_column_ = Column;
  if (multi_select_) {
    if (selection_->Empty()) Flags &= ~0x400;
    pending_actions_ = Flags & ~0x7;
  } else {
    Flags &= 0x7;
    pending_actions_ = 0;
  }
  navigating_ = true;
  selection_change_pending_ = false;
  bool frozen = scroll || (Flags & (0x1 | 0x2 | 0x400 | 0x200)) != 0;
  if (frozen) FreezeGrid();
  auto unfreeze = [&] {
    frozen = false;
    UnfreezeGrid(scroll);
    if (!scroll) {
      InvalidateRows();
      UpdateVScrollBar(true);
      UpdateHScrollBar(true);
    }
  };
  auto reset = [&] {
    navigating_ = false;
    pending_actions_ = 0;
    target_column_ = -1;
    selection_change_pending_ = false;
  };
  {
    // The move ends, and the grid thaws, on every way out.
    TScopeExit settle([&] {
      reset();
      if (frozen) unfreeze();
    });
    if (link_active_ && data_set_ != nullptr) {
      if (Flags & 0x1) {
        data_set_->GoFirst();
        if (cursor_type_ != gctSensitive) RecaptureCurrent(false);
      } else if (Flags & 0x2) {
        data_set_->GoLast();
        if (cursor_type_ != gctSensitive) RecaptureCurrent(false);
      } else if (Flags & 0x4) {
        const int distance = current_row_ == -1 ? Distance - active_row_ : Distance + current_row_ - active_row_;
        if (distance != 0 || data_set_->CurrentMode() != dsBrowse)
          data_set_->Skip(distance);
        else
          ScrollHandler(0);
      }
    }
    if (!record_move && (Flags & 0x400)) selection_->Clear(true, false);
    // A move that reached no record (the data set stood at its end) sent no
    // scroll notice; the column still changes.
    if (target_column_ != current_column_index_) {
      if (!record_move && column_changes) EndEdit(feaPost, true);
      ExchangeColumnIndex(target_column_);
    }
    if (!record_move && (Flags & 0x200)) selection_->SelectRange(selection_->Anchor());
    if (toggle && CanUseCurrentRecord(false)) {
      selection_->SelectCurrent(!selection_->IsCurrentSelected(), false);
      InvalidateRow(current_row_);
      Update();
    }
    if (column_changes && !scroll) {
      InvalidateTitleCell(old_column);
      InvalidateTitleCell(current_column_index_);
      if (!toggle) {
        InvalidateCell(old_column, current_row_);
        InvalidateCell(current_column_index_, current_row_);
      }
      Update();
    }
    if (scroll) columns_->UpdateScrollWindow(true, false);
    if (frozen) unfreeze();
    if (AlwaysShowEditor()) ShowEditor(current_column_);
    if (column_changes && OnColEnter) OnColEnter(this, current_column_index_);
    if (selection_change_pending_) {
      navigating_ = false;
      DoSelectionChange(true, true);
    }
  }
}

// Column sizing by the title borders and column dragging by the titles: the
// border under the pointer, the line that follows it, the drop place of a
// dragged title and the arrow marks that show it. Line and marks are painted
// by the grid's paint handler from the state kept here, so nothing is drawn
// outside a paint and nothing is left behind.
#include "grid/rs.h"

#include <algorithm>
#include <climits>

#include "grid/rs_custom.h"
#include "grid/rs_env.h"
#include "toolkit/ui/comctrls.h"

TgpColumnSizer& ColumnSizer() {
  static TgpColumnSizer sizer;
  return sizer;
}

namespace {

int SizingZone() { return std::max(1, rsShared().Tolerances.SizingZone); }

// The vertical strip the sizing line covers at x.
TRect LineStrip(TDBGridPro* grid, int x) { return Rect(x - 1, 0, x + 3, grid->ClientHeight()); }

}  // namespace

// ---- TgpColumnSizer -----------------------------------------------------------------------

bool TgpColumnSizer::CanSizeColumn(TDBGridPro* Grid, TgpColumn* Column) const {
  if (Column == nullptr || Column->Group() == nullptr || Column->Group()->FixedWidth) return false;
  if (Grid->Designing()) return true;
  const TgpGridBehaviorOptions options = Grid->OptionsBehavior();
  // A column last in its line has the group's border: sizing it sizes the group.
  if (Column->LastInLine()) return !options.Contains(gboNoGroupSizing);
  return !options.Contains(gboNoColumnSizing);
}

bool TgpColumnSizer::HitBorder(TDBGridPro* Grid, int X, int Y) {
  const int t = SizingZone();
  const TgpGridBehaviorOptions options = Grid->OptionsBehavior();
  int kind = 1;
  if (Grid->ShowTitles()) {
    if (Y >= Grid->TitleBand()) return false;
  } else {
    kind = 2;
    if (!options.Contains(gboFullHeightSizing)) {
      if (Y >= Grid->TitleBand() + Grid->RowHeight()) return false;
      if (!(options.Contains(gboSmartSizing) && X < Grid->ClientWidth() - t - 2) && !Grid->Designing()) return false;
    }
  }
  int row1 = -1, left = -1, row2 = -1, right = -1;
  if (Grid->HitTest(X - t, Y, row1, left) != kind) return false;
  const int right_kind = Grid->HitTest(X + t, Y, row2, right);
  const bool border = right_kind == 0 || (right_kind == kind && right != left);
  if (!border && X < Grid->ClientWidth() - t) return false;
  TgpColumn* column = Grid->Columns()->Items(left);
  if (!CanSizeColumn(Grid, column)) return false;
  grid_ = Grid;
  column_ = column;
  min_x_ = column->CellRect(0, false, false).Left;
  max_x_ = column->LastInLine() ? INT_MAX : Grid->GroupRect(column->Group(), 1, 0).Right;
  return true;
}

void TgpColumnSizer::MoveLine(TDBGridPro* Grid, int X) {
  if (line_x_ >= 0) Grid->InvalidateRect(LineStrip(Grid, line_x_));
  line_x_ = X;
  if (line_x_ >= 0) Grid->InvalidateRect(LineStrip(Grid, line_x_));
  Grid->Update();
}

void TgpColumnSizer::Start(TDBGridPro* Grid, int X) {
  grid_ = Grid;
  MoveLine(Grid, X);
}

void TgpColumnSizer::Track(TDBGridPro* Grid, int X) {
  if (Grid != grid_) return;
  const int x = std::clamp(X, min_x_, std::max(min_x_, max_x_));
  if (x != line_x_) MoveLine(Grid, x);
}

void TgpColumnSizer::Finish(TDBGridPro* Grid, int X) {
  if (Grid != grid_ || column_ == nullptr) return;
  TgpColumn* column = column_;
  MoveLine(Grid, -1);
  column_ = nullptr;
  // The release point itself, not the clamped line: a release far left
  // gives the narrowest column.
  const int width = std::max(X - min_x_, 0);
  if (!column->LastInLine()) {
    column->SetWidth(width);
  } else {
    Grid->Columns()->ResizeGroup(column->Group(), 0, width - column->Width());
    Grid->LayoutChanged();
  }
}

void TgpColumnSizer::Forget(TDBGridPro* Grid) {
  if (grid_ != Grid) return;
  grid_ = nullptr;
  column_ = nullptr;
  line_x_ = -1;
}

// ---- Drop places --------------------------------------------------------------------------

bool TDBGridPro::ProbeBoundary(int X, int Y, int DY, int DX, int Kind, int& C1, int& C2) const {
  int r1 = -1, r2 = -1;
  const int p1 = HitTest(X - DX, Y - DY, r1, C1);
  const int p2 = HitTest(X + DX, Y + DY, r2, C2);
  if (p1 == Kind && p2 == Kind && r1 == r2) return C1 != C2;
  if (p1 != Kind && p2 != Kind) return false;
  if (p1 != Kind)
    C1 = -1;
  else
    C2 = -1;
  return true;
}

int TDBGridPro::GetDropTarget(int X, int Y, int Flags, int& Index, int& Level, TgpGroupInfo*& Group) const {
  Index = -1;
  Level = -1;
  Group = nullptr;
  int row = -1, hovered = -1;
  const int kind = HitTest(X, Y, row, hovered);
  if (kind != 1 && kind != 0) return 0;
  const TgpScreenTolerances& tol = rsShared().Tolerances;
  int c1 = -1, c2 = -1;
  if (kind == 1 && !(Flags & 4) && ProbeBoundary(X, Y, tol.DropToleranceSmall, 0, 1, c1, c2)) {
    Group = columns_->Items(hovered)->Group();
    Level = c2 != -1 ? columns_->Items(c2)->LayoutLevel() : columns_->Items(c1)->LayoutLevel() + 1;
    return 2;
  }
  if (!(Flags & 2) && ProbeBoundary(X, Y, 0, tol.DropTolerance, 1, c1, c2) &&
      (c1 == -1 || c2 == -1 || columns_->Items(c1)->Group() != columns_->Items(c2)->Group())) {
    Group = c2 == -1 ? nullptr : columns_->Items(c2)->Group();
    return 1;
  }
  if (kind == 1 && !(Flags & 8)) {
    TgpColumn* column = columns_->Items(hovered);
    if (ProbeBoundary(X, Y, 0, column->Width() / 3, 1, c1, c2)) {
      Group = column->Group();
      if (c1 != -1 && columns_->Items(c1)->Group() != Group) c1 = -1;
      if (c2 != -1 && columns_->Items(c2)->Group() != Group) c2 = -1;
      Level = column->LayoutLevel();
      Index = c2 != -1 ? columns_->Items(c2)->LayoutIndex() : c1 != -1 ? columns_->Items(c1)->LayoutIndex() + 1 : -1;
      if (c1 != -1 || c2 != -1) return 3;
    }
  }
  Group = nullptr;
  Level = -1;
  Index = -1;
  return 0;
}

void TDBGridPro::ColumnDropped(TgpColumn* Column, TShiftState Shift) {
  TgpDragger& d = *dragger_;
  if (Column == nullptr || d.DropKind == 0) return;
  if (d.DropKind == 1) {
    if (Shift.Contains(ssShift) || (!Designing() && options_behavior_.Contains(gboNoColumnGrouping)))
      columns_->MoveGroup(Column->Group(), d.DropGroup);
    else
      columns_->MakeGroup(Column, d.DropGroup);
  } else {
    columns_->MoveColumn(Column, d.DropGroup, d.DropLevel, d.DropIndex);
  }
}

// ---- TgpDragger ---------------------------------------------------------------------------

void TgpDragger::TrackDrop(TDBGridPro* Grid, int X, int Y, TShiftState Shift) {
  const TgpGridBehaviorOptions options = Grid->OptionsBehavior();
  const bool run_time = !Grid->Designing();
  int flags = run_time && (options.Contains(gboNoColumnGrouping) || Shift.Contains(ssShift)) ? 12 : 0;
  if (options.Contains(gboNoColumnMoving)) flags |= 2;
  DropKind = Grid->GetDropTarget(X, Y, flags, DropIndex, DropLevel, DropGroup);
  TgpColumn* column = Grid->DraggedColumn();
  TgpColumns& columns = *Grid->Columns();
  auto refuse = [&] { DropKind = 0; };
  if (run_time && column != nullptr && DropKind != 0) {
    const TgpColumnBehaviorOptions own = column->OptionsBehavior();
    if (own.Contains(cboNoDragging)) refuse();
    if ((DropKind == 2 || DropKind == 3) && (own.Contains(cboFixedWidth) || own.Contains(cboStandalone))) refuse();
    if (!options.Contains(gboNoColumnGrouping) && options.Contains(gboNoColumnMoving) &&
        DropGroup != column->Group())
      refuse();
    if ((DropKind == 2 || DropKind == 3) && DropGroup != nullptr && (DropGroup->Standalone || DropGroup->FixedWidth))
      refuse();
  }
  if (DropKind != 0 && columns.GroupCount() > 0) {
    // A fixed column stays among the fixed ones, a scrolling one among the others.
    const TgpColumnFixed own = column != nullptr ? column->Fixed() : cfNone;
    bool any = false;
    TgpColumnFixed zone = cfNone;
    if (!columns.HasFixed()) {
      zone = cfNone;
    } else if (!columns.HasScroll()) {
      zone = cfLeft;
    } else if (DropKind == 1) {
      if (DropGroup == nullptr)
        zone = columns.Groups(columns.GroupCount() - 1)->Fixed;
      else if (DropGroup->Index == columns.FirstScrollGroup())
        any = true;
      else if (DropGroup->Index == 0)
        zone = DropGroup->Fixed;
      else
        zone = columns.Groups(DropGroup->Index - 1)->Fixed;
    } else if (DropGroup != nullptr) {
      zone = DropGroup->Fixed;
    }
    if (!any && zone != own) refuse();
  }
  // The marks: where the title would land.
  const int old_kind = MarkKind;
  const TPoint old1 = Mark1, old2 = Mark2;
  MarkKind = DropKind;
  const int title_bottom = Grid->TitleBand();
  if (DropKind == 1) {
    const int n = DropGroup == nullptr ? columns.GroupCount() : DropGroup->Index;
    const TgpGroupInfo* ref = columns.Groups(n == 0 ? 0 : n - 1);
    const TRect r = Grid->GroupRect(ref, 1, 0);
    const int x = n == 0 ? r.Left : r.Right - ref->LineWidth / 2 - 1;
    Mark1 = TPoint{x, 0};
    Mark2 = TPoint{x, title_bottom};
  } else if (DropKind == 2 && DropGroup != nullptr) {
    const TRect r = Grid->GroupRect(DropGroup, 1, 0);
    const int line_h = DropLevel < DropGroup->LineCount && DropGroup->FirstVisible >= 0
                           ? columns.Items(DropGroup->FirstVisible)->TitleLineHeight()
                           : 0;
    const int y = r.Top + (line_h + 1) * DropLevel;
    Mark1 = TPoint{r.Left, y};
    Mark2 = TPoint{r.Right - DropGroup->LineWidth, y};
  } else if (DropKind == 3 && DropGroup != nullptr) {
    TgpColumn* before = nullptr;
    TgpColumn* last = nullptr;
    for (int i = DropGroup->FirstColumn; i <= DropGroup->LastColumn; ++i) {
      TgpColumn* c = columns.Items(i);
      if (!c->Visible() || c->LayoutLevel() != DropLevel) continue;
      if (before == nullptr && c->LayoutIndex() >= DropIndex) before = c;
      last = c;
    }
    if (before == nullptr && last == nullptr) {
      MarkKind = 0;
    } else {
      const TRect r = (before != nullptr ? before : last)->TitleRect(false);
      const int x = before != nullptr ? r.Left : r.Right - 1;
      Mark1 = TPoint{x, r.Top};
      Mark2 = TPoint{x, r.Bottom};
    }
  }
  if (MarkKind != old_kind || !(old1 == Mark1) || !(old2 == Mark2)) {
    // The title band holds every mark: repainting it removes the old ones.
    Grid->InvalidateRect(Rect(0, 0, Grid->ClientWidth(), title_bottom + 16));
    Grid->Update();
  }
}

void TgpDragger::HideMarks(TDBGridPro* Grid) {
  if (MarkKind == 0) return;
  MarkKind = 0;
  Grid->InvalidateRect(Rect(0, 0, Grid->ClientWidth(), Grid->TitleBand() + 16));
}

void TDBGridPro::PaintInteraction(TCanvas& canvas) {
  TgpColumnSizer& sizer = ColumnSizer();
  if (sizing_state_ == 2 && sizer.LineX() >= 0) {
    // The line the border would move to, two pixels wide, as an inverted
    // white line shows on the window's white.
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(clBlack);
    canvas.FillRect(Rect(sizer.LineX(), 0, sizer.LineX() + 2, ClientHeight()));
  }
  const TgpDragger& d = *dragger_;
  if (d.ColumnDrag && d.MarkKind != 0) {
    TrsEnv* env = rsEnv();
    TImageList* images = d.MarkKind == 1 ? env->ArrowsGrImgs : env->ArrowsYwImgs;
    TBitmap down, up;
    const bool vertical = d.MarkKind != 2;
    // Arrows point at the place: down and up around a column boundary,
    // right and left at the ends of a line boundary.
    if (images->GetBitmap(vertical ? 1 : 0, down) && images->GetBitmap(vertical ? 3 : 2, up)) {
      const int w = images->Width(), h = images->Height();
      if (vertical) {
        canvas.Draw(d.Mark1.x - w / 2, std::max(0, d.Mark1.y), down);
        canvas.Draw(d.Mark2.x - w / 2, std::max(0, d.Mark2.y - h), up);
      } else {
        canvas.Draw(std::max(0, d.Mark1.x), d.Mark1.y - h / 2, down);
        canvas.Draw(d.Mark2.x - w, d.Mark2.y - h / 2, up);
      }
    }
  }
}

// ---- Row and column dragging --------------------------------------------------------------

namespace {

// The link's active row set to row for a while, back also after an exception.
class ActiveRowGuard {
 public:
  ActiveRowGuard(TDataLink* link, int row) : link_(link), saved_(link->QueryActiveRow()) { link_->ChangeActiveRow(row); }
  ~ActiveRowGuard() { link_->ChangeActiveRow(saved_); }
  ActiveRowGuard(const ActiveRowGuard&) = delete;
  ActiveRowGuard& operator=(const ActiveRowGuard&) = delete;

 private:
  TDataLink* link_;
  int saved_;
};

}  // namespace

bool TDBGridPro::RecordSelectedAt(int Row) {
  if (!link_active_ || Row < 0 || selection_->Empty()) return false;
  ActiveRowGuard at(data_link_.get(), Row);
  return selection_->IndexOf(data_set_->QueryBookmarkText()) != -1;
}

void TgpDragger::TakeSnapshot(TDBGridPro* Grid, bool Clear) {
  if (Clear || !Grid->LinkActive() || Grid->HoverKind() != 2 || Grid->HoverRow() == -1) {
    Snapshot.Capture(TBookmark());
    return;
  }
  ActiveRowGuard at(Grid->DataLink(), Grid->HoverRow());
  Snapshot.Capture(Grid->DataSet()->QueryBookmarkText());
}

bool TDBGridPro::ShowsSelection() const {
  const TgpDragger& d = *dragger_;
  if (!d.TrackRows) return true;
  return options_behavior_.Contains(d.RowDrag ? gboNoInsideDragTrack : gboNoIncomingDragTrack);
}

void TDBGridPro::RepaintHoverRow() {
  const int old_row = prev_hover_kind_ == 2 ? prev_hover_row_ : -1;
  const int new_row = hover_kind_ == 2 ? hover_row_ : -1;
  if (old_row == new_row) return;
  if (old_row != -1) InvalidateRow(old_row);
  if (new_row != -1) InvalidateRow(new_row);
  Update();
}

void TDBGridPro::DoStartDrag() {
  TgpDragger& d = *dragger_;
  d.PressArmed = false;
  d.RowDrag = true;
  d.DesignDrag = Designing();
  d.TakeSnapshot(this, true);
  drag_ended_ = false;
  HideHint();
  if (!d.ColumnDrag) InvalidateRow(current_row_);
  TCustomControl::DoStartDrag();
}

// ---- Column customizer protocol -----------------------------------------------------------

namespace {

std::vector<TrsGridProCustomizer*>& CustomizerList() {
  static std::vector<TrsGridProCustomizer*> list;
  return list;
}

// Whether a drag comes from the window of the customizer attached to grid.
bool FromCustomizer(const TDBGridPro* grid, const TControl* source) {
  const TrsGridProCustomizer* customizer = grid->Customizer();
  return customizer != nullptr && source != nullptr && source->ParentForm() == customizer;
}

}  // namespace

const std::vector<TrsGridProCustomizer*>& OpenCustomizers() { return CustomizerList(); }

void* TDBGridPro::CustomizerAction(TgpCustomizerAction Action, void* Param) {
  TrsGridProCustomizer* customizer = customizer_;
  if (Action == gcaStart) {
    customizer = customizer_ = static_cast<TrsGridProCustomizer*>(Param);
    if (customizer != nullptr && std::find(CustomizerList().begin(), CustomizerList().end(), customizer) ==
                                     CustomizerList().end())
      CustomizerList().push_back(customizer);
  } else if (Action == gcaFinish) {
    std::erase(CustomizerList(), customizer);
    customizer_ = nullptr;
  }
  void* answer = customizer != nullptr ? customizer->CustomizerMessage(Action, Param) : nullptr;
  const bool carries_column =
      Action == gcaBeforeAddColumn || (Action >= gcaRemoveColumn && Action <= gcaHideColumn);
  if (OnCustomizerAction) OnCustomizerAction(this, Action, carries_column ? static_cast<TgpColumn*>(Param) : nullptr);
  return answer;
}

void TDBGridPro::DragOver(TControl* Source, int X, int Y, TDragState State, bool& Accept) {
  TgpDragger& d = *dragger_;
  // An entry of this grid's customizer brings its column back, to the place
  // marked as for a column dragged by its title.
  if (FromCustomizer(this, Source)) {
    if (State == dsDragLeave) {
      d.HideMarks(this);
      d.DropKind = 0;
    } else {
      d.TrackDrop(this, X, Y, MouseShiftState());
    }
    Accept = State != dsDragLeave;
    return;
  }
  UpdateHover(X, Y);
  Accept = false;
  const auto* other = dynamic_cast<TDBGridPro*>(Source);
  const bool own_column_drag = Source == this && d.ColumnDrag;
  const bool column_drag = own_column_drag || (other != nullptr && other != this && other->Dragger()->ColumnDrag);
  d.RowDragOver = !column_drag && State != dsDragLeave;
  d.TrackRows = d.RowDragOver && (State == dsDragEnter || State == dsDragMove);
  if (d.TrackRows) d.TakeSnapshot(this, false);
  if (own_column_drag) {
    // Entering again tracks at once: a release right there drops where the
    // pointer is, not where it left.
    if (State == dsDragLeave) {
      d.HideMarks(this);
      d.DropKind = 0;
    } else {
      d.TrackDrop(this, X, Y, MouseShiftState());
    }
    Accept = State != dsDragLeave;
    return;
  }
  TCustomControl::DragOver(Source, X, Y, State, Accept);
  // The row under the pointer is marked as the drop target.
  if (State == dsDragEnter) {
    InvalidateRow(current_row_);
    if (hover_kind_ == 2) InvalidateRow(hover_row_);
    Update();
  } else if (State == dsDragLeave) {
    InvalidateRow(current_row_);
    if (prev_hover_kind_ == 2) InvalidateRow(prev_hover_row_);
    Update();
  } else {
    RepaintHoverRow();
  }
}

void TDBGridPro::DragDrop(TControl* Source, int X, int Y) {
  TgpDragger& d = *dragger_;
  if (FromCustomizer(this, Source)) {
    // The target stays for the customizer to read, the marks go.
    CustomizerAction(gcaDragDrop, nullptr);
    d.HideMarks(this);
    d.DropKind = 0;
    return;
  }
  if (Source == this && d.ColumnDrag) {
    ColumnDropped(dragged_column_, MouseShiftState());
    return;
  }
  TCustomControl::DragDrop(Source, X, Y);
  if (Source != this) {
    // A drag from elsewhere ends in its own control: the marked row is plain again.
    d.RowDragOver = d.TrackRows = false;
    if (hover_kind_ == 2) InvalidateRow(hover_row_);
    InvalidateRow(current_row_);
  }
}

void TDBGridPro::DoEndDrag(TControl* Target, int X, int Y) {
  TgpDragger& d = *dragger_;
  const bool column_drag = d.ColumnDrag;
  d.RowDrag = d.ColumnDrag = d.DesignDrag = d.RowDragOver = d.TrackRows = false;
  d.PressArmed = false;
  drag_ended_ = true;
  if (hover_kind_ == 2) InvalidateRow(hover_row_);
  InvalidateRow(current_row_);
  if (column_drag) {
    d.HideMarks(this);
    d.DropKind = 0;
    pressed_title_ = nullptr;
    dragged_column_ = nullptr;
    InvalidateTitles();
    Update();
    return;
  }
  TCustomControl::DoEndDrag(Target, X, Y);
}

bool TDBGridPro::DesignHitTest(int X, int Y) {
  if (!HasGroups()) return false;
  if (sizing_state_ != 0) return true;
  if (Y >= 0 && Y < title_band_) return true;
  return !dragger_->DesignDrag && ColumnSizer().HitBorder(this, X, Y);
}

// The grid's mouse: what lies under the pointer, presses on cells and titles,
// the title click that moves a column's sort state on, record tracking,
// automatic scrolling while the button is held beyond the rows, and menus.
#include "grid/rs.h"
#include "grid/rs_env.h"

#include "grid/rs_custom.h"
#include "grid/rs_std.h"
#include "toolkit/core/clock.h"
#include "toolkit/db/db.h"
#include "toolkit/ui/menus.h"

namespace {

bool Inside(const TRect& r, int x, int y) { return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom; }

constexpr unsigned kAutoScrollTimer = 1;
constexpr unsigned kHintTimer = 2;

}  // namespace

int TDBGridPro::HitTest(int X, int Y, int& Row, int& Column) const {
  Row = -1;
  Column = -1;
  if (!HasGroups() || X < 0 || Y < 0 || X >= ClientWidth() || Y >= ClientHeight()) return 0;
  TgpGroupInfo* group = nullptr;
  for (int g = 0; g < columns_->GroupCount(); ++g) {
    TgpGroupInfo* candidate = columns_->Groups(g);
    if (candidate->InView && candidate->ScreenX <= X) group = candidate;
  }
  if (group == nullptr) group = columns_->Groups(0);
  auto find = [&](auto&& rect_of) {
    for (int i = group->FirstColumn; i <= group->LastColumn; ++i) {
      TgpColumn* c = columns_->Items(i);
      if (c->Visible() && Inside(rect_of(c), X, Y)) return i;
    }
    return -1;
  };
  if (Y < title_band_) {
    Column = find([](TgpColumn* c) { return c->TitleRect(true); });
    if (Column == -1) return 0;
    Row = 0;
    return 1;
  }
  if (Y < data_bottom_) {
    const int row = (Y - title_band_) / std::max(1, row_height_);
    if (row >= row_count_) return 0;
    Column = find([row](TgpColumn* c) { return c->CellRect(row, true, false); });
    if (Column == -1) return 0;
    Row = row;
    return 2;
  }
  if (footer_band_ > 0 && Y >= data_bottom_ + free_space_) {
    Column = find([](TgpColumn* c) { return c->FooterRect(true, true); });
    if (Column == -1) return 0;
    Row = 0;
    return 3;
  }
  return 0;
}

void TDBGridPro::UpdateHover(int X, int Y) {
  prev_hover_kind_ = hover_kind_;
  prev_hover_column_ = hover_column_;
  prev_hover_row_ = hover_row_;
  hover_kind_ = HitTest(X, Y, hover_row_, hover_column_);
}

bool TDBGridPro::CanChangeTitleState(bool Multi, TgpColumn* Column) const {
  if (Column == nullptr) return false;
  if (Designing()) return true;
  if (Column->OptionsBehavior().Contains(cboNoTitleStates)) return false;
  if (options_behavior_.Contains(gboNoTitleStates)) return false;
  return !(Multi && options_behavior_.Contains(gboNoMultiTitleStates));
}

bool TDBGridPro::CanDragColumn(TgpColumn* Column) const {
  if (Column == nullptr) return false;
  if (Designing()) return true;
  if (options_behavior_.Contains(gboNoColumnMoving) && options_behavior_.Contains(gboNoColumnGrouping)) return false;
  const TgpColumnBehaviorOptions options = Column->OptionsBehavior();
  // A column the attached customizer may take can be dragged to it.
  if (customizer_ != nullptr && !options.Contains(cboNoCustomizing)) return true;
  return !options.Contains(cboNoDragging);
}

bool TDBGridPro::QuickEdit(TgpColumn* Column, TgpGridEditOption Option) {
  if (Column == nullptr || !data_link_->Editing() || options_edit_.Contains(Option)) return false;
  Column->StartCellEdit();
  return true;
}

bool TDBGridPro::Pickup(int Kind, bool Allowed) {
  sizing_state_ = 0;
  pickup_pending_ = Allowed && selection_->Current()->Valid &&
                    (Kind == 0 || (hover_kind_ == 2 && hover_row_ != -1));
  if (Kind == 1 && OnDblClick) {
    OnDblClick(this);
    return true;
  }
  if (options_pickup_.Contains(static_cast<TgpPickupOption>(Kind)) && OnPickup) {
    OnPickup(this);
    return true;
  }
  return false;
}

void TDBGridPro::ShowPopupMenu(TgpColumn* Column, int X, int Y) {
  menu_column_ = Column;
  TPopupMenu* menu = PopupMenu();
  if (Column == nullptr) {
    if (menu == nullptr) return;
  } else if (menu == nullptr) {
    menu = Column->PopupMenu();
    if (menu == nullptr) return;
  }
  // The key's menu opens at the current cell's corner.
  if (X < 0 && Y < 0 && Column != nullptr && current_row_ >= 0) {
    const TRect r = Column->CellRect(current_row_, false, false);
    X = r.Left;
    Y = r.Bottom;
  }
  const TPoint at = ClientToScreen(TPoint{std::max(0, X), std::max(0, Y)});
  menu->SetPopupComponent(this);
  menu->Popup(at.x, at.y);
}

void TDBGridPro::ShowFooterMenu(TgpColumn* Column, int X, int Y) {
  menu_column_ = Column;
  if (Column == nullptr) return;
  const TgpColumnFooterStates states = Column->FooterStates();
  bool do_popup = !(options_behavior_.Contains(gboNoFooterStates) ||
                    Column->OptionsBehavior().Contains(cboNoFooterStates) || states.Empty() ||
                    states == TgpColumnFooterStates{fsNone});
  if (OnFooterMenuPopup) OnFooterMenuPopup(this, X, Y, do_popup);
  if (!do_popup) return;
  TrsEnv& env = *rsEnv();
  for (int state = fsAverage; state <= fsNone; ++state) {
    TMenuItem* item = env.MenuItemOf(state);
    item->SetChecked(Column->FooterState() == state);
    item->SetEnabled(true);
    item->SetVisible(states.Contains(static_cast<TgpColumnFooterState>(state)));
  }
  const TPoint at = ClientToScreen(TPoint{X, Y});
  env.pumFooterMenu->SetPopupComponent(this);
  // The menu is shared and outlives grids: it forgets this one once closed
  // (the item chosen has been handed over by then).
  TScopeExit forget([&env] { env.pumFooterMenu->SetPopupComponent(nullptr); });
  env.pumFooterMenu->Popup(at.x, at.y);
}

void TDBGridPro::FooterMenuItemClick(TMenuItem* item) {
  TgpColumn* column = menu_column_;
  if (column == nullptr || columns_->IndexOf(column) < 0) return;
  const auto state = static_cast<TgpColumnFooterState>(item->Tag());
  // Choosing the state the column has already takes it away.
  DoFooterStateChange(column, column->FooterState() == state ? fsNone : state);
}

void TDBGridPro::UpdateCursor() {
  if (sizing_state_ == 1 || sizing_state_ == 2) {
    if (Cursor() != crHSplit) SetCursor(crHSplit);
    sizing_cursor_shown_ = true;
  } else if (sizing_state_ == 3 || sizing_cursor_shown_) {
    if (Cursor() != crDefault) SetCursor(crDefault);
    sizing_cursor_shown_ = false;
  }
}

// ---- Press, move, release -----------------------------------------------------------------

void TDBGridPro::ForgetPress() {
  sizing_state_ = 0;
  pressed_title_ = nullptr;
  click_handled_ = false;
  edit_on_mouse_up_ = false;
  drag_ended_ = false;
  dragger_->PressArmed = false;
  selection_->SetClearOnMouseUp(false);
  StopAutoScroll();
  InvalidateTitles();
  UpdateCursor();
}

void TDBGridPro::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TScopeFail forget([this] { ForgetPress(); });
  auto_search_->Stop();
  HideHint();
  hint_pending_ = false;
  click_handled_ = false;
  edit_on_mouse_up_ = false;
  dragger_->PressArmed = false;
  drag_ended_ = false;
  mouse_x_ = x;
  mouse_y_ = y;
  const bool was_focused = Focused();
  const bool many = selection_->Count() > 1;
  if ((button == mbLeft || button == mbRight) && CanFocus() && !Focused()) SetFocus();
  TCustomControl::MouseDown(button, shift, x, y);
  const bool double_click = shift.Contains(ssDouble);
  if (!HasGroups()) {
    pickup_pending_ = false;
    if (double_click && OnDblClick) OnDblClick(this);
    return;
  }
  UpdateHover(x, y);
  if (button == mbLeft) {
    // The border is looked up again: the columns may have changed since the
    // pointer came to rest on it (a layout loaded by a key).
    if (sizing_state_ == 1 && !ColumnSizer().HitBorder(this, x, y)) sizing_state_ = 0;
    if (sizing_state_ == 1) {
      sizing_state_ = 2;
      ColumnSizer().Start(this, x);
    } else if (sizing_state_ == 0 && hover_kind_ == 1) {
      TgpColumn* column = columns_->Items(hover_column_);
      if (CanChangeTitleState(false, column) || CanDragColumn(column)) {
        CommitEdit();
        pressed_title_ = column;
        InvalidateTitleCell(hover_column_);
        Update();
        sizing_state_ = 3;
        drag_start_rect_ = column->TitleRect(false);
      }
    }
  }
  UpdateCursor();
  if (!link_active_ || sizing_state_ != 0) return;
  bool moved = false;
  const int clicked_row = hover_row_;
  if ((button == mbLeft || button == mbRight) && hover_kind_ == 2) {
    TgpColumn* hovered = columns_->Items(hover_column_);
    const int target = hovered->IsSelectable() ? hover_column_ : current_column_index_;
    int actions = 0;
    if (!editor_shown_ || AlwaysShowEditor()) {
      if (shift.Contains(ssShift))
        actions = 0x200;
      else if (shift.Contains(ssCtrl))
        // The first Ctrl+click keeps the record that was current with the one clicked.
        actions = selection_->Empty() && current_row_ != -1 && clicked_row != current_row_ ? 0x120 : 0x100;
      else if (button == mbLeft)
        actions = 0x400;
    }
    if (!multi_select_) actions = 0;
    if (drag_mode_ == dmAutomatic && button == mbLeft) {
      dragger_->PressArmed = true;
      dragger_->StartRect = hovered->CellRect(clicked_row, false, false);
      // A plain press on a selected record may start dragging the selection:
      // it is cleared on the release only.
      if (actions == 0x400 && RecordSelectedAt(clicked_row)) {
        actions = 0;
        selection_->SetClearOnMouseUp(true);
      }
    }
    moved = target != current_column_index_ || clicked_row != current_row_;
    if (clicked_row == current_row_)
      GoToCell(actions, 0, target);
    else
      GoToCell(actions | 0x4, current_row_ == -1 ? clicked_row : clicked_row - current_row_, target);
    if (options_pickup_.Contains(gpoCaptureRecord)) StartAutoScroll();
  }
  if (was_focused && hover_kind_ == 0) EndEdit(feaPost, true);
  bool handled = false;
  if (OnClick) OnClick(this, x, y, shift, false, handled);
  click_handled_ = handled;
  if (handled) return;
  if (button == mbLeft && double_click && Pickup(1, true)) return;
  if (hover_column_ == -1) {
    // Below the rows or beside the columns: the grid's own menu, whose
    // commands (colours, widths, deletion) serve the whole grid.
    if (button == mbRight && hover_kind_ == 0) ShowPopupMenu(nullptr, x, y);
    return;
  }
  if (button == mbLeft && hover_kind_ == 2 && current_row_ != -1) {
    TgpColumn* column = columns_->Items(hover_column_);
    const bool switch_cell = column->EffectiveVision()->SwitchCell();
    if (hover_column_ == current_column_index_ && !switch_cell &&
        !QuickEdit(column, geoNoQuickEditByClick) && was_focused) {
      // Click to edit: a plain click on the current cell of a focused grid.
      const bool plain = !shift.Contains(ssShift) && !shift.Contains(ssAlt) && !shift.Contains(ssCtrl);
      if (plain && !selection_->IsCurrentSelected() && !(moved && !double_click) && !many) {
        if (dragger_->PressArmed)
          edit_on_mouse_up_ = true;
        else
          current_column_->StartCellEdit();
      }
    } else if (switch_cell && hover_column_ == current_column_index_ &&
               (!(moved && was_focused) || !column->EffectiveVision()->OptionsSwitch().Contains(vsoNeedCurrent))) {
      PassPressToSwitch(shift, x, y);
    }
  } else if (button == mbRight) {
    if (hover_kind_ == 2)
      ShowPopupMenu(columns_->Items(hover_column_), x, y);
    else if (hover_kind_ == 3)
      ShowFooterMenu(columns_->Items(hover_column_), x, y);
  }
}

void TDBGridPro::DblClick() {
  // The press that follows picks or fires OnDblClick (Pickup).
}

void TDBGridPro::MouseMove(TShiftState shift, int x, int y) {
  TScopeFail forget([this] { ForgetPress(); });
  if (PassMouseToSwitch(false, mbLeft, shift, x, y)) return;
  mouse_x_ = x;
  mouse_y_ = y;
  if (!Inside(hint_cursor_rect_, x, y)) {
    // The pointer left the hint's square: the hint goes and a new pause starts.
    HideHint();
    hint_rest_since_ = GetTickCount64();
    hint_pending_ = true;
    if (HasWindow()) SetTimer(kHintTimer, 50);
  }
  if (dragger_->DesignDrag) {
    // A form designer's drag runs here, not in the program's drag loop.
    bool accept = false;
    DragOver(this, x, y, dsDragMove, accept);
    return;
  }
  if (!HasGroups()) {
    TCustomControl::MouseMove(shift, x, y);
    return;
  }
  UpdateHover(x, y);
  TCustomControl::MouseMove(shift, x, y);
  if (sizing_state_ < 2)
    sizing_state_ = ColumnSizer().HitBorder(this, x, y) ? 1 : 0;
  else if (sizing_state_ == 2)
    ColumnSizer().Track(this, x);
  if (sizing_state_ == 3 && !Inside(drag_start_rect_, x, y) && CanDragColumn(pressed_title_)) {
    dragged_column_ = pressed_title_;
    dragger_->ColumnDrag = true;
    sizing_state_ = 0;
    if (Designing())
      DoStartDrag();
    else
      BeginDrag(true);
  } else if (dragger_->PressArmed && !Inside(dragger_->StartRect, x, y)) {
    edit_on_mouse_up_ = false;
    BeginDrag(true);
  }
  // Record tracking: the current record follows the pointer.
  if (link_active_ && !Designing() && sizing_state_ == 0 && hover_kind_ == 2 && !Dragging() &&
      (options_pickup_.Contains(gpoMouseTrack) || (options_pickup_.Contains(gpoCaptureRecord) && auto_scrolling_)) &&
      hover_row_ != current_row_ && data_set_ != nullptr) {
    data_set_->Skip(hover_row_ - active_row_);
    RecaptureCurrent(true);
    Update();
  }
  UpdateCursor();
}

void TDBGridPro::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  // A sort that fails inside the title click, or any other failing handler,
  // must not leave the grid thinking the title is still pressed.
  TScopeFail forget([this] { ForgetPress(); });
  if (PassMouseToSwitch(true, button, shift, x, y)) {
    StopAutoScroll();
    sizing_state_ = 0;
    return;
  }
  TCustomControl::MouseUp(button, shift, x, y);
  StopAutoScroll();
  mouse_x_ = x;
  mouse_y_ = y;
  if (dragger_->DesignDrag || drag_ended_) {
    // The release after a drag: the drop has been handled (a form designer's
    // drag is dropped here), so it is no click, no pick and no edit.
    if (dragger_->DesignDrag) {
      DragDrop(this, x, y);
      DoEndDrag(this, x, y);
    }
    drag_ended_ = false;
    selection_->SetClearOnMouseUp(false);
    edit_on_mouse_up_ = false;
    sizing_state_ = 0;
    UpdateCursor();
    return;
  }
  dragger_->PressArmed = false;
  if (selection_->ClearOnMouseUp()) {
    selection_->SetClearOnMouseUp(false);
    selection_->Clear(true, false);
  }
  if (edit_on_mouse_up_) {
    edit_on_mouse_up_ = false;
    sizing_state_ = 0;
    if (current_column_ != nullptr) current_column_->StartCellEdit();
  }
  switch (sizing_state_) {
    case 2: ColumnSizer().Finish(this, x); break;
    case 3: FinishTitleClick(shift, x, y); break;
    case 0: {
      bool handled = false;
      if (click_handled_ && OnClick) OnClick(this, x, y, shift, true, handled);
      if (!handled && button == mbLeft) {
        int row = -1, column = -1;
        const bool on_current = HitTest(x, y, row, column) == 2 && row == current_row_;
        Pickup(2, selection_->Current()->Valid && on_current);
      }
      break;
    }
    default: break;
  }
  sizing_state_ = 0;
  UpdateCursor();
}

void TDBGridPro::FinishTitleClick(TShiftState shift, int x, int y) {
  TgpColumn* column = pressed_title_;
  pressed_title_ = nullptr;
  int row = -1, index = -1;
  const bool same = column != nullptr && HitTest(x, y, row, index) == 1 && columns_->Items(index) == column;
  InvalidateTitles();
  if (!same || !CanChangeTitleState(false, column)) return;
  if (shift.Contains(ssCtrl)) {
    column->ChangeTitleState(tsSortedNone, false, true);
  } else {
    const TgpColumnTitleState next = column->TitleState() == tsSortedUp ? tsSortedDown : tsSortedUp;
    const bool keep_others = shift.Contains(ssShift) && CanChangeTitleState(true, column);
    column->ChangeTitleState(next, !keep_others, true);
  }
  Update();
}

void TDBGridPro::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TDBGridPro::MouseLeave() {
  prev_hover_kind_ = hover_kind_;
  prev_hover_column_ = hover_column_;
  prev_hover_row_ = hover_row_;
  hover_kind_ = 0;
  hover_column_ = -1;
  hover_row_ = -1;
  if (OnMouseLeave) OnMouseLeave(this);
  // The record that followed the pointer is no longer under it.
  if (auto_scrolling_ && options_pickup_.Contains(gpoCaptureRecord)) selection_->Current()->Invalidate(true);
}

// ---- Automatic scrolling ------------------------------------------------------------------

void TDBGridPro::StartAutoScroll() {
  if (auto_scrolling_) return;
  auto_scrolling_ = true;
  auto_scroll_ticks_ = 0;
  if (HasWindow()) SetTimer(kAutoScrollTimer, 25);
}

void TDBGridPro::StopAutoScroll() {
  if (!auto_scrolling_) return;
  auto_scrolling_ = false;
  if (HasWindow()) KillTimer(kAutoScrollTimer);
}

bool TDBGridPro::ShouldScrollNow(int Distance, int Tick) {
  return Distance > 132 || (Distance > 82 && Tick % 2 == 0) || (Distance > 32 && Tick % 3 == 0) ||
         (Distance > 0 && Tick % 6 == 0);
}

void TDBGridPro::AutoScrollTick() {
  ++auto_scroll_ticks_;
  int distance = title_band_ - mouse_y_;
  bool up = true;
  if (distance < 1) {
    distance = mouse_y_ - ClientHeight();
    up = false;
  }
  if (distance < 1 || !ShouldScrollNow(distance, auto_scroll_ticks_)) return;
  WMVScroll(up ? SB_LINEUP : SB_LINEDOWN, 0);
}

void TDBGridPro::WMTimer(unsigned id) {
  if (id == kAutoScrollTimer)
    AutoScrollTick();
  else if (id == kHintTimer)
    HintTick();
}

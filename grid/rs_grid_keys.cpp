// The grid's keyboard: one dispatch for every key it reacts to, the focus
// moves between cells and records, and the selection a Shift move extends.
#include "grid/rs.h"

#include "grid/rs_edit.h"
#include "grid/rs_std.h"
#include "toolkit/db/db.h"

namespace {

constexpr uint16_t kAppsKey = 0x5D;
constexpr uint16_t VK_F2 = 0x71;

bool IsNavigationKey(uint16_t key) {
  switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_HOME:
    case VK_END:
    case VK_TAB:
    case VK_INSERT: return true;
    default: return false;
  }
}

int FirstSelectableIndex(const TgpColumns& columns) {
  return columns.HasSelectable() ? columns.IndexOf(columns.Selectable(0)) : -1;
}

int LastSelectableIndex(const TgpColumns& columns) {
  return columns.HasSelectable() ? columns.IndexOf(columns.Selectable(columns.SelectableCount() - 1)) : -1;
}

}  // namespace

void TDBGridPro::KeyDown(uint16_t& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  if (key == 0) return;
  // Shortcuts first: the search's own keys win over the grid's.
  if (auto_search_->HandleShortCut(key, shift)) {
    key = 0;
    return;
  }
  if (!link_active_ || !HasGroups()) return;
  const bool ctrl = shift.Contains(ssCtrl), with_shift = shift.Contains(ssShift), alt = shift.Contains(ssAlt);
  if (IsNavigationKey(key) && !CanUseCurrentRecord(true)) {
    key = 0;
    return;
  }
  const int extend = with_shift ? 0x200 : 0;
  if (with_shift && ((ctrl && (key == VK_END || key == VK_HOME)) || key == VK_PRIOR || key == VK_NEXT) &&
      selection_->AnchorText().empty() && data_set_ != nullptr)
    selection_->SetAnchorText(data_set_->QueryBookmarkText());
  const int current = current_column_index_;
  bool handled = true;
  switch (key) {
    case VK_PRIOR:
      if (ctrl)
        GoToCell(0x4, -active_row_, current);
      else
        GoToCell(extend | 0x4, 1 - row_count_ - current_row_, current);
      break;
    case VK_NEXT:
      if (ctrl)
        GoToCell(0x4, row_count_ - active_row_ - 1, current);
      else
        GoToCell(extend | 0x4, 2 * row_count_ - current_row_ - 2, current);
      break;
    case VK_END:
      if (ctrl)
        GoToCell(extend | 0x2, 0, current);
      else
        GoToCell(0, 0, LastSelectableIndex(*columns_));
      break;
    case VK_HOME:
      if (ctrl)
        GoToCell(extend | 0x1, 0, current);
      else
        GoToCell(0, 0, FirstSelectableIndex(*columns_));
      break;
    case VK_LEFT:
      if (ctrl)
        GoToCell(0, 0, FirstSelectableIndex(*columns_));
      else
        MoveFocus(feaMoveLeft, false);
      break;
    case VK_RIGHT:
      if (ctrl)
        GoToCell(0, 0, LastSelectableIndex(*columns_));
      else
        MoveFocus(feaMoveRight, false);
      break;
    case VK_UP:
      handled = !ctrl;
      if (handled) MoveFocus(feaMoveUp, with_shift);
      break;
    case VK_DOWN:
      handled = !ctrl;
      if (handled) MoveFocus(feaMoveDown, with_shift);
      break;
    case VK_TAB:
      handled = !ctrl;
      if (handled) MoveFocus(with_shift ? feaPrevTab : feaNextTab, false);
      break;
    case VK_RETURN:
      handled = !ctrl;
      if (handled) {
        if (data_link_->Editing() || editor_shown_)
          CommitEdit();
        else
          Pickup(0, true);
      }
      break;
    case VK_ESCAPE:
      handled = !ctrl;
      if (handled) CancelEdit();
      break;
    case VK_INSERT:
      handled = !ctrl && !with_shift && !alt;
      if (handled) InsertRecord(false);
      break;
    case kAppsKey:
      handled = !ctrl;
      if (handled) ShowPopupMenu(current_column_, -1, -1);
      break;
    default: handled = false; break;
  }
  if (handled) {
    auto_search_->Stop();
    key = 0;
    return;
  }
  if (current_column_ == nullptr) return;
  if (delete_params_->HandleDeleteKey(key, shift)) {
    auto_search_->Stop();
    key = 0;
    return;
  }
  if (PassKeyToSwitch(key, shift)) {
    auto_search_->Stop();
    key = 0;
    return;
  }
  if (key == VK_F2 && shift.Empty()) {
    auto_search_->Stop();
    current_column_->StartCellEdit();
    key = 0;
  }
}

void TDBGridPro::KeyPress(char& key) {
  TCustomControl::KeyPress(key);
  const unsigned char ch = static_cast<unsigned char>(key);
  if (ch == 0 || !link_active_ || editor_shown_ || current_column_ == nullptr) return;
  TgpAutoSearchParams& search = *auto_search_;
  if (search.Active()) {
    if (ch >= 32 || ch == 8) {
      search.TypeKey(ch);
      key = 0;
    }
    return;
  }
  if (ch < 32) return;
  // Typing starts a search unless the search has a key of its own.
  if (search.Enabled() && search.ShortCut() == 0) {
    if (search.Start(ch)) {
      key = 0;
      return;
    }
  }
  if (current_column_->EffectiveVision()->SelfDrawn()) return;
  // The key that opened the editor is its first character, not a lost one.
  if (current_column_->StartCellEdit() && editor_shown_ && inplace_editor_ != nullptr) {
    inplace_editor_->PostChar(key);
    key = 0;
  }
}

bool TDBGridPro::WantSpecialKey(uint16_t key) const {
  const bool editing = data_link_ != nullptr && data_link_->Editing();
  if (key == VK_ESCAPE) return editing;
  if (key == VK_RETURN) return want_returns_ || editing;
  return false;
}

// ---- Focus moves --------------------------------------------------------------------------

TgpColumn* TDBGridPro::NextInLine(TgpColumn* Column) const {
  if (Column == nullptr) return nullptr;
  const int line = Column->LineNo();
  for (int i = columns_->IndexOf(Column) + 1; i < columns_->Count(); ++i) {
    TgpColumn* c = columns_->Items(i);
    if (!c->Visible() || c->Group() == nullptr) continue;
    if (c->LineNo() == line) return c;
    if (c->Group() != Column->Group() && c->Group()->LineCount <= line) return c;
  }
  return nullptr;
}

TgpColumn* TDBGridPro::PrevInLine(TgpColumn* Column) const {
  if (Column == nullptr) return nullptr;
  const int line = Column->LineNo();
  for (int i = columns_->IndexOf(Column) - 1; i >= 0; --i) {
    TgpColumn* c = columns_->Items(i);
    if (!c->Visible() || c->Group() == nullptr) continue;
    if (c->LineNo() == line) return c;
    if (c->Group() != Column->Group() && c->Group()->LineCount <= line) return c;
  }
  return nullptr;
}

void TDBGridPro::SelectionFlagsForMove(int Distance, int& Column, int& Flags, bool Extend) {
  Flags = 0x4;
  if ((Distance <= 0 && current_row_ == 0) || (Distance >= 0 && current_row_ == row_count_ - 1))
    Column = current_column_index_;
  if (Distance == 0 || data_set_ == nullptr) return;
  if (!Extend) {
    Flags |= 0x400;
    return;
  }
  const TBookmark here = data_set_->QueryBookmarkText();
  const AnsiString& anchor = selection_->AnchorText();
  if (anchor.empty() || !data_set_->BookmarkExists(anchor)) {
    Flags |= 0xA0;
    selection_->SetAnchorText(here);
    return;
  }
  Flags |= 0x80;
  const int order = data_set_->CompareBookmarkValues(here, anchor);
  // Toward the anchor the record left behind leaves the range; away from it
  // the range grows over it.
  if (Distance < 0)
    Flags |= order > 0 ? 0x40 : 0x20;
  else
    Flags |= order < 0 ? 0x40 : 0x20;
}

void TDBGridPro::MoveFocus(TgpFieldEditAction Action, bool Extend) {
  if (!link_active_ || !HasGroups()) return;
  TgpColumn* column = current_column_;
  int flags = 0, distance = 0;
  int target = current_column_index_;
  if (column == nullptr) {
    switch (Action) {
      case feaMoveUp:
      case feaPrevTab: GoToCell(0x4, -1, -1); break;
      case feaMoveDown:
      case feaNextTab: GoToCell(0x4, 1, -1); break;
      default: break;
    }
    return;
  }
  TgpGroupInfo* group = column->Group();
  auto column_on_line = [&](int line, bool last) -> int {
    if (group == nullptr) return target;
    if (last) {
      for (int i = group->LastColumn; i >= group->FirstColumn; --i) {
        TgpColumn* c = columns_->Items(i);
        if (c->Visible() && c->LineNo() == line) return i;
      }
    } else {
      for (int i = group->FirstColumn; i <= group->LastColumn; ++i) {
        TgpColumn* c = columns_->Items(i);
        if (c->Visible() && c->LineNo() == line) return i;
      }
    }
    return target;
  };
  switch (Action) {
    case feaMoveLeft:
    case feaMoveRight: {
      TgpColumn* c = column;
      do {
        c = Action == feaMoveLeft ? PrevInLine(c) : NextInLine(c);
      } while (c != nullptr && !c->IsSelectable());
      if (c != nullptr) target = columns_->IndexOf(c);
      break;
    }
    case feaMoveUp: {
      if (!row_select_ && group != nullptr && group->LineCount > 1) {
        const int line = column->LineNo() > 0 ? column->LineNo() - 1 : group->LineCount - 1;
        target = column_on_line(line, true);
      }
      if (column->LineNo() != 0 && !row_select_) break;
      if (data_set_->Bof()) {
        target = current_column_index_;
        break;
      }
      distance = data_link_->Editing() && data_set_->Eof() ? 0 : -1;
      SelectionFlagsForMove(distance, target, flags, Extend);
      break;
    }
    case feaMoveDown: {
      if (!row_select_ && group != nullptr && group->LineCount > 1) {
        const int line = column->InLastLine() ? 0 : column->LineNo() + 1;
        target = column_on_line(line, false);
      }
      if (!column->InLastLine() && !row_select_) break;
      if (data_link_->Editing() && data_set_->CurrentMode() == dsInsert) {
        if (!data_set_->Eof() || data_set_->Modified())
          SelectionFlagsForMove(0, target, flags, Extend);
        else
          target = current_column_index_;
        break;
      }
      distance = 1;
      SelectionFlagsForMove(distance, target, flags, Extend);
      break;
    }
    case feaPrevTab:
    case feaNextTab: {
      TgpColumn* c = column;
      do {
        c = Action == feaPrevTab ? c->PrevVisible() : c->NextVisible();
      } while (c != nullptr && !c->IsSelectable());
      if (c != nullptr) {
        target = columns_->IndexOf(c);
        break;
      }
      distance = Action == feaPrevTab ? -1 : 1;
      target = Action == feaPrevTab ? LastSelectableIndex(*columns_) : FirstSelectableIndex(*columns_);
      if (Action == feaNextTab && data_set_->Eof() && data_set_->CurrentMode() == dsInsert && !data_set_->Modified())
        distance = 0;
      if (distance != 0) flags = 0x4;
      break;
    }
    default: return;
  }
  if (flags != 0 || target != current_column_index_) {
    if (!multi_select_) flags &= 0x7;
    GoToCell(flags, distance, target);
  }
  if (!Extend && (Action == feaMoveDown || Action == feaPrevTab || Action == feaNextTab)) {
    // Moving past the last record appends one where the options allow.
    if (data_set_->Eof() && !data_link_->Editing() && distance != 0) InsertRecord(true);
    if (Action != feaMoveDown) QuickEdit(current_column_, geoNoQuickEditByTabKey);
  }
}

// The grid's side of in-place editing: showing, ending and hiding the editor.
#include "grid/rs.h"
#include "grid/rs_edit.h"
#include "grid/rs_std.h"
#include "toolkit/db/db.h"

bool TDBGridPro::EditorFocused() const { return inplace_editor_ != nullptr && inplace_editor_->Focused(); }

bool TDBGridPro::ShowEditor(TgpColumn* Column) {
  if (!link_active_ || Column == nullptr) return false;
  TgpFieldList& fields = *Column->FieldList();
  if (!fields.CanEdit() || !Column->EffectiveVision()->DoBeforeEdit(fields) || !DoBeforeFieldEdit(Column))
    return false;
  if (inplace_editor_ == nullptr) inplace_editor_ = new TgpInplaceEdit(this);
  TgpInplaceEdit& editor = *inplace_editor_;
  editor.SetWantTabs(want_tabs_ && !row_select_);
  editor.Attach(Column);
  editor_column_ = Column;
  editor.UpdateBounds();
  if (OnInitEdit) OnInitEdit(this);
  editor_shown_ = true;
  editor.SetVisible(true);
  editor.SetFocus();
  // A grid without a window gives no focus event: the editor edits anyway.
  editor.SetEditing(true);
  editor.SelectAll();
  return true;
}

void TDBGridPro::HideEditor() {
  if (inplace_editor_ != nullptr) {
    TScopedValue<bool> hiding(hiding_editor_, true, false);
    const bool had_focus = inplace_editor_->Focused();
    inplace_editor_->HideEdit();
    if (had_focus) SetFocus();
    inplace_editor_->SetDataSource(nullptr);
  }
  editor_column_ = nullptr;
  editor_shown_ = false;
}

void TDBGridPro::EndEdit(TgpFieldEditAction Action, bool Keep) {
  if (!editor_shown_ || Action == feaNone || inplace_editor_ == nullptr) return;
  const bool keep = Keep && AlwaysShowEditor();
  TgpInplaceEdit& editor = *inplace_editor_;
  if (Action == feaCancel) {
    if (keep) {
      editor.ReloadText();
      editor.SelectAll();
    } else {
      HideEditor();
    }
    return;
  }
  TgpFieldList& fields = editor.Fields();
  fields.BeginValueChange();
  bool posted = false;
  {
    TScopeFail unposted([&] {
      editor.SelectAll();
      fields.EndValueChange(false);
    });
    posted = editor.PostValue();
  }
  if (!keep) HideEditor();
  editor.SetPendingAction(Action == feaPost ? feaNone : Action);
  // Only a value really written tells AfterFieldPost (through the editor).
  fields.EndValueChange(posted);
  const TgpFieldEditAction action = editor.PendingAction();
  if (action >= feaMoveLeft && action <= feaNextTab) MoveFocus(action, editor.ExtendOnMove());
  if (keep) ReshowEditor();
}

void TDBGridPro::ColumnGoing(TgpColumn* Column) {
  // The editor was shown or last attached there: its text goes with the
  // column, unposted, and neither editor nor grid keeps the pointer.
  if (editor_column_ == Column) HideEditor();
  if (inplace_editor_ != nullptr) inplace_editor_->ColumnGoing(Column);
  if (current_column_ == Column) current_column_ = nullptr;
  if (pressed_title_ == Column) pressed_title_ = nullptr;
  if (dragged_column_ == Column) dragged_column_ = nullptr;
  if (menu_column_ == Column) menu_column_ = nullptr;
}

void TDBGridPro::ReshowEditor() {
  if (!editor_shown_ || inplace_editor_ == nullptr) return;
  // The data set entering edit mode for a key typed into the editor: the
  // key is still to land where the caret stands.
  if (inplace_editor_->Fields().InStartEdit()) return;
  if (editor_column_ != nullptr && editor_column_->Visible() && IsColumnShown(editor_column_->Index())) {
    inplace_editor_->UpdateBounds();
    inplace_editor_->ReloadText();
    inplace_editor_->SelectAll();
  } else {
    EndEdit(feaCancel, false);
  }
}

void TDBGridPro::EditorKeyDown(uint16_t& key, TShiftState shift) { KeyDown(key, shift); }

void TDBGridPro::DoEditKeyPress(TgpColumn* Column, char& Key, TgpFieldEditAction& Action, bool& HandleKey) {
  if (OnEditKeyPress) OnEditKeyPress(this, Column, Key, Action, HandleKey);
}

bool TDBGridPro::PassKeyToSwitch(uint16_t& key, TShiftState shift) {
  if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || editor_shown_ || current_column_ == nullptr ||
      current_row_ != active_row_ || !current_column_->EffectiveVision()->SwitchCell())
    return false;
  if (!current_column_->StartCellEdit() || !editor_shown_ || inplace_editor_ == nullptr) return false;
  inplace_editor_->KeyDown(key, shift);
  return true;
}

bool TDBGridPro::PassPressToSwitch(TShiftState shift, int x, int y) {
  if (current_column_ == nullptr || !current_column_->EffectiveVision()->SwitchCell()) return false;
  if (!editor_shown_ && !current_column_->StartCellEdit()) return false;
  if (!editor_shown_ || inplace_editor_ == nullptr || editor_column_ != current_column_) return false;
  TgpInplaceEdit& editor = *inplace_editor_;
  editor.MouseDown(mbLeft, shift, x - editor.Left(), y - editor.Top());
  return true;
}

bool TDBGridPro::PassMouseToSwitch(bool release, TMouseButton button, TShiftState shift, int x, int y) {
  if (!editor_shown_ || inplace_editor_ == nullptr || !inplace_editor_->CellSwitcher().Active() ||
      inplace_editor_->CellSwitcher().Key() != 0)
    return false;
  TgpInplaceEdit& editor = *inplace_editor_;
  if (release)
    editor.MouseUp(button, shift, x - editor.Left(), y - editor.Top());
  else
    editor.MouseMove(shift, x - editor.Left(), y - editor.Top());
  return true;
}

void TDBGridPro::KeyUp(uint16_t& key, TShiftState shift) {
  // The release of a key the grid passed on to the switch ends its press.
  if (editor_shown_ && inplace_editor_ != nullptr && inplace_editor_->CellSwitcher().Active() &&
      inplace_editor_->CellSwitcher().Key() == key) {
    inplace_editor_->KeyUp(key, shift);
    return;
  }
  TCustomControl::KeyUp(key, shift);
}

void TDBGridPro::EditorMouseWheel(TShiftState shift, int delta, int x, int y) { MouseWheel(shift, delta, x, y); }

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
    struct Hiding {
      bool& flag;
      ~Hiding() { flag = false; }
    } hiding{hiding_editor_};
    hiding_editor_ = true;
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
  try {
    posted = editor.PostValue();
  } catch (...) {
    editor.SelectAll();
    fields.EndValueChange(false);
    throw;
  }
  if (!keep) HideEditor();
  editor.SetPendingAction(Action == feaPost ? feaNone : Action);
  // Only a value really written tells AfterFieldPost (through the editor).
  fields.EndValueChange(posted);
  const TgpFieldEditAction action = editor.PendingAction();
  if (action >= feaMoveLeft && action <= feaNextTab) MoveFocus(action, false);
  if (keep) ReshowEditor();
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

void TDBGridPro::EditorMouseWheel(TShiftState shift, int delta, int x, int y) { MouseWheel(shift, delta, x, y); }

// The vision-driven edit and the grid's in-place editor.
//
// TDBProdiEdit edits one field through its vision: without the focus it
// paints the field as a grid cell would; with the focus it is a single-line
// edit of the field's edit text (under the vision's edit mask), or for a
// self-drawn vision a surface whose value changes through a switch, a
// drop-down or the clipboard. TgpInplaceEdit is the grid's editor: bound to
// the current cell, it hands navigation and end-of-edit keys back to the grid
// with a post code and an edit action.
#pragma once

#include <memory>

#include "grid/rs.h"
#include "grid/rs_rtm.h"
#include "grid/rs_std.h"
#include "toolkit/ui/maskedit.h"

class TDBProdiEdit;
class TvpCustomFieldMapper;
class TDataSource;
class TVisionToolForm;

// The private window messages of the edits.
inline constexpr unsigned kMsgApplyMapper = 0x5F5;
inline constexpr unsigned kMsgDropDown = 0x5F7;

// What a mapper may set on an edit.
enum TgpMappingOption { eioImportCaption, eioImportDomain };
using TgpMappingOptions = TSet<TgpMappingOption>;

// How the in-place editor's edit ended (the grid's after-post handling).
enum TgpFieldPostCode { fpcUnknown, fpcReturnKey, fpcArrowKey, fpcTabKey, fpcCharKey };

using TvpDrawEditEvent = std::function<void(TComponent* Sender, TfvPainter& Painter)>;

// ---- State machines of the sub-button and the in-cell switch ------------------------------

// Presses are taken only while the edit edits an Active field list;
// cancelling ends the press without a click.
class TvpEditCustomSwitcher : public TvpSwitcher {
 public:
  explicit TvpEditCustomSwitcher(TDBProdiEdit* edit);
  bool CanSwitch(int part, int x, TShiftState shift, int key, int y) override;
  void Cancel() { Release(); }

 protected:
  TDBProdiEdit* edit_;
};

// The sub-button: parts 1 (button, or the upper spin half), 2 (spin press by
// key) and 3 (the lower spin half).
class TvpEditBtnSwitcher : public TvpEditCustomSwitcher {
 public:
  using TvpEditCustomSwitcher::TvpEditCustomSwitcher;
  void PartChanged(int part) override;
  void Click(int part, int x, int key, int y) override;
};

// The in-cell switch of a SwitchCell vision (space, or a click on the switch).
class TvpEditSwitcher : public TvpEditCustomSwitcher {
 public:
  using TvpEditCustomSwitcher::TvpEditCustomSwitcher;
  bool CanSwitch(int part, int x, TShiftState shift, int key, int y) override;
  void PartChanged(int part) override;
  void Click(int part, int x, int key, int y) override;
};

// ---- TDBProdiEdit -------------------------------------------------------------------------

class TDBProdiEdit : public TCustomMaskEdit, public IvpFieldVisionConsumer, public IvpVisionEdit {
  KIV7_PERSISTENT(TDBProdiEdit)

 public:
  explicit TDBProdiEdit(TComponent* owner);
  ~TDBProdiEdit() override;
  void Loaded() override;

  // ---- published
  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* value);
  const AnsiString& DataField() const { return fields_->FieldName(); }
  void SetDataField(const AnsiString& value);
  // nullptr: the default vision.
  TvpFieldVision* Vision() const { return vision_; }
  void SetVision(TvpFieldVision* value);
  bool ReadOnly() const;
  void SetReadOnly(bool value);
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value);
  const AnsiString& DisplayFormat() const { return fields_->DisplayFormat(); }
  void SetDisplayFormat(const AnsiString& value);
  const AnsiString& EditFormat() const { return fields_->EditFormat(); }
  void SetEditFormat(const AnsiString& value) { fields_->SetEditFormat(value); }
  const AnsiString& Attrs() const { return fields_->Attrs(); }
  void SetAttrs(const AnsiString& value);
  TvpBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TvpBorderStyle value);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool value);
  bool WantTabs() const override;
  void SetWantTabs(bool value) { want_tabs_ = value; }
  bool WantReturns() const;
  void SetWantReturns(bool value) { want_returns_ = value; }
  TPopupMenu* PopupMenu() const { return popup_menu_; }
  void SetPopupMenu(TPopupMenu* value);
  // The mapper is referenced, not owned; freeing it leaves the edit without one.
  TvpCustomFieldMapper* Mapper() const { return mapper_; }
  void SetMapper(TvpCustomFieldMapper* value);
  TgpMappingOptions MappingOptions() const { return mapping_options_; }
  void SetMappingOptions(TgpMappingOptions value);
  // Takes the caption and vision of the edit's field from the mapper, as
  // far as MappingOptions allow (not while loading, nor without a field).
  void ApplyMapper();

  TNotifyEvent OnMouseEnter, OnMouseLeave;
  TvpDrawEditEvent OnDraw;

  // ---- state
  TgpFieldList& Fields() { return *fields_; }
  // Between focus enter and exit.
  bool Editing() const { return editing_; }
  void SetEditing(bool value);
  TVisionToolForm* DropDownForm() const { return drop_down_form_; }
  bool IsInplace() const { return inplace_; }
  // The last key pressed put text forward (not Backspace or Delete).
  bool TypedForward() const { return typed_forward_; }
  int ButtonWidth() const { return button_width_; }
  TDataLinkEx* DataLink() const { return data_link_.get(); }
  TvpEditBtnSwitcher& ButtonSwitcher() { return *button_switcher_; }
  TvpEditSwitcher& CellSwitcher() { return *switcher_; }
  // The field list's vision (the default vision when none is set).
  TvpFieldVision* EffectiveVision() const { return fields_->Vision(); }

  // ---- operations (virtual in their slot order)
  virtual bool CanModifyValue() { return true; }
  virtual void EscapeKey();
  // True when the key was handled.
  virtual bool ReturnKey(TShiftState shift);
  virtual bool VertArrow(bool is_up, TShiftState shift);
  virtual bool HorzArrow(bool is_left);
  virtual bool TabKey(TShiftState shift);

  // A character typed into the edit (the key-press handling, as a posted
  // character message).
  void PostChar(char ch);
  // Puts Text in the edit as if typed (editing starts first); True on success.
  bool SetValueText(const AnsiString& Text, bool SelectAll);
  // Drops the vision's tool form down (when there is one and none is open).
  void DropDown();
  void ToggleDropDown(bool Post) override;
  // The open tool form (nullptr: closed); a self-drawn edit repaints.
  void SetDropDownForm(TVisionToolForm* form);
  // Reloads the text from the fields (see the text reload rules).
  void ReloadText();
  // Posts the value while editing; the result of the vision's posting.
  bool PostValue();
  // The sub-button's rectangle in client coordinates (empty without one).
  TRect ButtonRect() const;

  // ---- IvpFieldVisionConsumer
  TComponent* GetConsumerComponent() override { return this; }
  bool CanEditValue() override { return !ReadOnly(); }
  bool CanStartEdit() override;
  void EditStarted() override;
  void ValuePosted() override {}
  bool UpdateCaptionAlignment() override;
  void PopupMenuChanged() override;
  void VisionChanged(TvpFieldVision* Vision) override;
  void FieldsChanged() override;
  void UpdateActive() override;
  void ViewChanged() override { Invalidate(); }
  void ImagesChanged() override { Invalidate(); }
  void ButtonChanged() override { UpdateButton(); }
  void EditStyleChanged() override { Invalidate(); }

  // ---- IvpVisionEdit
  TgpFieldList& EditFields() override { return *fields_; }
  TfvCurrentValue& CurrentValue() override { return current_value_; }
  AnsiString EditText() const override { return TCustomMaskEdit::EditText(); }
  void SetEditText(const AnsiString& Text) override;
  bool HasEditMask() const override { return IsMasked(); }
  bool EditTextValid() const override { return ValidText(); }
  void CancelPendingInput() override;
  void SelectAll() override { TCustomMaskEdit::SelectAll(); }
  void FillPaintSource(TvpPaintSource& Source) override;
  bool InplaceCellMargins(TRect& Margins) override;
  TEditCharCase CharCase() const override { return TCustomMaskEdit::CharCase(); }
  char PasswordChar() const override { return TCustomMaskEdit::PasswordChar(); }
  void DrawEdit(TfvPainter& Painter) override;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void Paint() override;
  void PaintFrame(TCanvas& canvas) override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void KeyUp(uint16_t& key, TShiftState shift) override;
  void KeyPressRefused() override;
  void Change() override;
  bool CanChangeText() const override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void DblClick() override;
  void MouseWheel(TShiftState shift, int delta, int x, int y) override;
  void DoEnter() override;
  void DoExit() override;
  void Resize() override;
  bool WantSpecialKey(uint16_t key) const override;
  // Recomputes the sub-button width and repaints.
  void UpdateButton();
  void PaintButton(TCanvas& canvas);
  // Stores the resolved caption, alignment and layout; True when any changed.
  bool ApplyCaptionAlignment(const AnsiString& caption, TAlignment alignment, TLayout layout);
  // The user changed the text: the edit and its value are marked.
  void MarkTextChanged();
  // Cut, copy, paste and clear as the clipboard messages do them.
  void ClipboardMessage(TfvClipboardAction action);
  // Whether the character fits the table's code page (a character the
  // table cannot hold would be stored as '?').
  bool FieldCanHold(char ch);

  std::unique_ptr<TgpFieldList> fields_;
  std::unique_ptr<TDataLinkEx> data_link_;
  TfvCurrentValue current_value_;
  std::unique_ptr<TvpEditBtnSwitcher> button_switcher_;
  std::unique_ptr<TvpEditSwitcher> switcher_;
  TvpFieldVision* vision_ = nullptr;
  TComponentRef<TVisionToolForm> drop_down_form_;
  TComponentRef<TPopupMenu> popup_menu_{[this] { PopupMenuChanged(); }};
  AnsiString caption_;
  TvpBorderStyle border_style_ = bs3D;
  bool word_wrap_ = false;
  bool want_tabs_ = false;
  bool want_returns_ = false;
  TgpMappingOptions mapping_options_{eioImportDomain};
  TComponentRef<TvpCustomFieldMapper> mapper_;
  bool applying_mapper_ = false;
  bool editing_ = false;
  // The edit control takes typing (editing of the data set has started).
  bool writable_ = false;
  bool inplace_ = false;
  int button_width_ = 0;
  AnsiString last_text_;
  bool loading_text_ = false;
  bool mouse_up_ = false;
  bool dropping_down_ = false;
  bool selection_replaced_ = false;
  bool typed_forward_ = false;
  bool focus_by_button_ = false;
  bool suppress_resolve_ = false;
};

// ---- TgpInplaceEdit -----------------------------------------------------------------------

class TgpInplaceEdit : public TDBProdiEdit {
  KIV7_PERSISTENT(TgpInplaceEdit)
  // The grid passes on keys and presses it got for a cell's in-cell switch.
  friend class TDBGridPro;

 public:
  // Made by the grid, which owns it and is its parent.
  explicit TgpInplaceEdit(TDBGridPro* grid);

  TDBGridPro* Grid() const { return grid_; }
  TgpColumn* Column() const { return column_; }
  TgpFieldPostCode PostCode() const { return post_code_; }
  void SetPostCode(TgpFieldPostCode value) { post_code_ = value; }
  TgpFieldEditAction PendingAction() const { return pending_action_; }
  void SetPendingAction(TgpFieldEditAction value) { pending_action_ = value; }
  bool AlwaysEditing() const { return always_editing_; }
  // The edit ends with Shift held on an Up or Down: the move that follows
  // extends the grid's selection as the same key on the grid would.
  bool ExtendOnMove() const { return extend_on_move_; }
  // Column is going away: the editor no longer refers to it.
  void ColumnGoing(TgpColumn* Column);

  // Binds the editor to Column of its grid (font, colour, vision, field).
  void Attach(TgpColumn* Column);
  // Covers the column's cell in the grid's current row.
  void UpdateBounds();
  // Ends editing and hides the editor.
  void HideEdit();

  bool CanStartEdit() override { return true; }
  void ValuePosted() override;
  bool UpdateCaptionAlignment() override;
  bool InplaceCellMargins(TRect& Margins) override;

  void EscapeKey() override;
  bool ReturnKey(TShiftState shift) override;
  bool VertArrow(bool is_up, TShiftState shift) override;
  bool HorzArrow(bool is_left) override;
  bool TabKey(TShiftState shift) override;

 protected:
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void KeyUp(uint16_t& key, TShiftState shift) override;
  void MouseWheel(TShiftState shift, int delta, int x, int y) override;
  void DoExit() override;
  // The editor takes Enter and Escape itself, whatever it holds.
  bool WantSpecialKey(uint16_t key) const override { return key == VK_RETURN || key == VK_ESCAPE; }

 private:
  // Ends the grid's edit with action (the grid posts or cancels and moves).
  void EndWith(TgpFieldPostCode code, TgpFieldEditAction action, bool extend = false);
  TDBGridPro* grid_;
  TgpColumn* column_ = nullptr;
  TgpFieldPostCode post_code_ = fpcUnknown;
  TgpFieldEditAction pending_action_ = feaNone;
  bool always_editing_ = false;
  bool extend_on_move_ = false;
};

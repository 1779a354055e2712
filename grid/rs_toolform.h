// Drop-down tool forms: a panel designed like any container (buttons, a
// grid, a calendar, a text box) that a vision drops down under an edit while
// the user picks or edits a value. Hidden in its designed place, it is lifted
// into a borderless host window next to the edit while open, and on closing
// goes back and tells whether the picked value is to be posted.
#pragma once

#include <functional>
#include <memory>

#include "grid/rs_edit.h"
#include "toolkit/ui/forms.h"

class TVisionToolForm;
class TvpToolFormBG;

// What the tool form asks of the vision that dropped it down.
class IVisionToolFormUser {
 public:
  // The vision's list source for the served edit's fields (list visions only).
  virtual TDataSource* GetListSource() = 0;
  // Records (or with nullptr clears) the tool form serving an edit.
  virtual void AttachToolForm(TVisionToolForm* ToolForm) = 0;
  virtual bool PostEditValue(TDBProdiEdit& Edit, bool SelectAll) = 0;
  // The in-place editor: the grid ends the edit with feaPost (True when the
  // editor went away); any other edit: PostEditValue.
  virtual bool PostFromToolForm(TDBProdiEdit& Edit, bool SelectAll) = 0;

 protected:
  ~IVisionToolFormUser() = default;
};

// What the edit tells its open tool form.
class IVisionToolForm {
 public:
  virtual void KeyDown(uint16_t& Key, TShiftState Shift) = 0;
  // Unless NewFocus is the host window or inside it, the form closes without posting.
  virtual void FocusChanged(TControl* NewFocus) = 0;
  virtual void CurrentChanged() = 0;
  virtual void TextChanged() = 0;
  virtual TVisionToolForm* GetToolForm() = 0;

 protected:
  ~IVisionToolForm() = default;
};

enum TfvDropDownOption { ddoShowOnEnter, ddoShowOnTyping, ddoAlwaysEnableAltDown, ddoNoFocusRect };
using TfvDropDownOptions = TSet<TfvDropDownOption>;
const TTypeInfo& TfvDropDownOptionsType();

// The base of the visions with a drop-down.
class TToolFormVision : public TvpFieldVision, public IVisionToolFormUser {
  KIV7_PERSISTENT(TToolFormVision)

 public:
  explicit TToolFormVision(TComponent* owner);
  ~TToolFormVision() override;

  TVisionToolForm* DropDown() const { return drop_down_; }
  void SetDropDown(TVisionToolForm* value);
  TfvDropDownOptions DropDownOptions() const { return drop_down_options_; }
  void SetDropDownOptions(TfvDropDownOptions value) { drop_down_options_ = value; }
  // The tool form serving one of the vision's edits now (nullptr: none).
  TVisionToolForm* AttachedToolForm() const { return attached_; }

  // The list data source for Fields (nullptr: not a list vision).
  virtual TDataSource* GetListSource(TgpFieldList& Fields);
  // The tool form used when DropDown is not set (nullptr: none).
  virtual TVisionToolForm* GetDefaultDropDown();

  void ShowDropDown(IvpVisionEdit& Edit, TVisionToolForm* ToolForm) override;
  bool HasDropDownOption(int Option) override;
  TVisionToolForm* GetDropDown() override;

  // ---- IVisionToolFormUser
  TDataSource* GetListSource() override;
  void AttachToolForm(TVisionToolForm* ToolForm) override;
  using TvpFieldVision::PostEditValue;
  bool PostEditValue(TDBProdiEdit& Edit, bool SelectAll) override;
  bool PostFromToolForm(TDBProdiEdit& Edit, bool SelectAll) override;

 protected:
 private:
  TComponentRef<TVisionToolForm> drop_down_;
  TComponentRef<TVisionToolForm> attached_;
  TfvDropDownOptions drop_down_options_;
};

enum TvtfPlacement { tfpDefault, tfpBottomCenter, tfpBottomLeft, tfpBottomRight, tfpRightCenter };
enum TvtfOption { tfoFocusable, tfoFixedWidth, tfoFixedHeight, tfoNoAutoPost, tfoNoAutoCancel, tfoAlwaysPostChanges };
using TvtfOptions = TSet<TvtfOption>;
enum TvpEditAction { veaUnknown, veaCut, veaCopy, veaPaste, veaClear };

// The proposed size of a tool form being resized.
struct TvpSizingInfo {
  int Width = 0;
  int Height = 0;
};

using TvtfSizingEvent = std::function<void(TComponent* Sender, TvpSizingInfo& SizingInfo)>;
using TvtfShortCutEvent = std::function<void(TComponent* Sender, uint16_t& Key)>;
using TvtfEditActionEvent = std::function<void(TComponent* Sender, TvpEditAction EditAction)>;

// The panel that drops down.
class TVisionToolForm : public TCustomControl, public IVisionToolForm {
  KIV7_PERSISTENT(TVisionToolForm)

 public:
  explicit TVisionToolForm(TComponent* owner);
  ~TVisionToolForm() override;

  // ERSError "'%s' must be placed on '%s'" for a control outside the form.
  TWinControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(TWinControl* value);
  TDBGridPro* DataGrid() const { return data_grid_; }
  void SetDataGrid(TDBGridPro* value);
  TvtfPlacement Placement() const { return placement_; }
  void SetPlacement(TvtfPlacement value) { placement_ = value; }
  TvtfOptions Options() const { return options_; }
  void SetOptions(TvtfOptions value) { options_ = value; }
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool value) { parent_font_ = value; }

  TNotifyEvent OnPaint, OnShow, OnPostChanges, OnClose, OnActivate, OnCurrentChanged, OnTextChanged;
  TvtfSizingEvent OnSizing;
  TvtfShortCutEvent OnShortCut;
  TvtfEditActionEvent OnEditAction;
  // (OnKeyDown and OnKeyPress are the control's own.)

  // ---- while open
  bool IsOpen() const { return host_ != nullptr; }
  TDBProdiEdit* Edit() const { return edit_; }
  IVisionToolFormUser* User() const { return user_; }
  // The user changed something that is to be posted.
  bool Changed() const { return changed_; }
  void SetChanged(bool value) { changed_ = value; }
  bool WidthChanged() const { return width_changed_; }
  bool HeightChanged() const { return height_changed_; }
  bool Posting() const { return posting_; }
  // The host's modal result when the form last closed.
  TModalResult CloseResult() const { return close_result_; }
  // Whether the host went to the other side of the edit for lack of room.
  bool Flipped() const;
  TvpToolFormBG* Host() const { return host_; }
  // The host's screen rectangle (empty when closed).
  TRect HostRect() const;
  // The value the edit had when the form opened.
  const TfvCurrentValue& StartValue() const { return start_value_; }

  // Drops the form down under Edit. With tfoFocusable a local loop runs
  // until the form closes; otherwise the call returns at once.
  virtual void Show(IVisionToolFormUser* User, TDBProdiEdit* Edit);
  void Close(bool Post, bool ForcePost);
  // Sets the host's modal result (mrCancel: a Cancel button), which ends the
  // local loop of a focusable form.
  void SetModalResult(TModalResult value);
  // Sizes the host as the user does by its right and bottom edges: the size
  // goes through OnSizing.
  void HostSizing(int width, int height);

  // ---- IVisionToolForm
  // (Also the form's own keys when it has the focus: a focusable form's host
  // has given them to OnKeyDown already.)
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void FocusChanged(TControl* NewFocus) override;
  void CurrentChanged() override;
  void TextChanged() override;
  TVisionToolForm* GetToolForm() override { return this; }

 protected:
  void Paint() override;
  void KeyPress(char& key) override;

 private:
  friend class TvpToolFormBG;
  // Keys reach OnKeyDown and OnKeyPress through the host's key preview.
  bool HostPreviewsKeys() const;
  // Gives the focus back to the edit (or, for an editor that has gone, to
  // its grid) once the host that had it goes.
  void ReturnFocus();
  void Hide();
  void Detach();
  void RunLocalLoop();

  TComponentRef<TWinControl> active_control_;
  TComponentRef<TDBGridPro> data_grid_;
  TvtfPlacement placement_ = tfpDefault;
  TvtfOptions options_;
  bool parent_font_ = true;

  IVisionToolFormUser* user_ = nullptr;
  // The served edit goes away: the form closes without posting.
  TComponentRef<TDBProdiEdit> edit_{[this] {
    changed_ = false;
    if (IsOpen()) Hide();
  }};
  TfvCurrentValue start_value_;
  TComponentRef<TvpToolFormBG> host_;
  TRect designed_bounds_;
  TWinControl* designed_parent_ = nullptr;
  TFont designed_font_;
  int drop_width_ = 0;
  bool changed_ = false, width_changed_ = false, height_changed_ = false, posting_ = false;
  bool flipped_ = false;
  TModalResult close_result_ = mrNone;
};

// The borderless top-most window a tool form is lifted into while open.
class TvpToolFormBG : public TForm {
 public:
  TvpToolFormBG(TVisionToolForm* tool_form);
  TVisionToolForm* ToolForm() const { return tool_form_; }
  bool Flipped() const { return flipped_; }
  void SetFlipped(bool value) { flipped_ = value; }
  // Keys of a focusable form before its controls (key preview); True when
  // the key was used up.
  bool PreviewKey(uint16_t& key, TShiftState shift);

 protected:
  void PreviewKeyDown(uint16_t& key, TShiftState shift) override { PreviewKey(key, shift); }
  // Characters go to the tool form's OnKeyPress.
  void PreviewKeyPress(char& key) override;
  // The size goes through the tool form's OnSizing; the dragged sides take
  // the size it returns, the sides across from them stay.
  void UserSizing(TRect& bounds) override;
  // Only the sides away from the edit, and not those of a fixed width or height.
  unsigned SizingEdges() const override;

 private:
  friend class TVisionToolForm;
  TVisionToolForm* tool_form_;
  bool flipped_ = false;
};

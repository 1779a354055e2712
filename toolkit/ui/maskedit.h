// A single-line edit painted by the toolkit, with the edit masks of
// toolkit/core/editmask.h: the base of the data-aware edits.
#pragma once

#include "toolkit/core/editmask.h"
#include "toolkit/ui/customctrl.h"
#include "toolkit/ui/stdctrls.h"  // TEditCharCase

// The system's warning sound; counted so tests can see that one was made.
void MessageBeep(unsigned type);
unsigned MessageBeepCount();

// The system clipboard's text in 1251 ("" when it holds none); false when it
// holds characters 1251 lacks.
bool ClipboardText(AnsiString& text);
void SetClipboardText(const AnsiString& text);

class TCustomMaskEdit : public TCustomControl {
 public:
  explicit TCustomMaskEdit(TComponent* owner);
  ~TCustomMaskEdit() override;

  // The value (masked: TEditMask::ValueOf the edit text).
  AnsiString Text() const { return buffer_.Value(); }
  void SetText(const AnsiString& value);
  // The text as shown.
  const AnsiString& EditText() const { return buffer_.Text(); }
  void SetEditText(const AnsiString& value);
  const AnsiString& EditMask() const { return edit_mask_; }
  void SetEditMask(const AnsiString& value);
  bool IsMasked() const { return !buffer_.Mask().Empty(); }
  // Whether the text passes the mask.
  bool ValidText() const { return buffer_.Valid(); }
  int MaxLength() const { return buffer_.MaxLength(); }
  void SetMaxLength(int value) { buffer_.SetMaxLength(value); }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  // The user changed the text since Modified was last cleared.
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  bool AutoSelect() const { return auto_select_; }
  void SetAutoSelect(bool value) { auto_select_ = value; }
  TEditCharCase CharCase() const { return char_case_; }
  void SetCharCase(TEditCharCase value);
  char PasswordChar() const { return password_char_; }
  void SetPasswordChar(char value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  // Space kept free inside the client area on each side.
  void SetTextMargins(const TRect& margins);
  const TRect& TextMargins() const { return margins_; }

  int SelStart() const { return buffer_.SelStart(); }
  int SelLength() const { return buffer_.SelLength(); }
  AnsiString SelText() const { return buffer_.SelText(); }
  void SetSelStart(int value);
  void SetSelLength(int value);
  // Selects from anchor to caret (the caret ends at caret).
  void Select(int anchor, int caret);
  void SelectAll();
  void ClearSelection();

  bool CanUndo() const { return has_undo_; }
  void Undo();
  void CutToClipboard();
  void CopyToClipboard();
  void PasteFromClipboard();

  TNotifyEvent OnChange;

 protected:
  // The text changed by the user or the program: fires OnChange.
  virtual void Change();
  // A change of the user's: Modified is set, then Change.
  void UserChanged();
  // The edit paints itself as an edit control; descendants may paint
  // something else instead (and call PaintEditText for the text).
  void Paint() override;
  void PaintEditText(TCanvas& canvas);
  // Editing keys: arrows, Home, End, Delete (Shift: select), Ctrl+A.
  void KeyDown(uint16_t& key, TShiftState shift) override;
  // Types the character (Backspace deletes); a character the text cannot
  // take (mask, length) beeps.
  void KeyPress(char& key) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void DoEnter() override;
  void DoExit() override;
  // The character position nearest to x in the client area.
  int PositionAt(int x);
  // Whether the edit takes typing and deleting (not ReadOnly).
  virtual bool CanChangeText() const { return !read_only_; }

  TEditBuffer buffer_;

 private:
  void Remember();
  AnsiString Shown() const;
  int TextLeft(TCanvas& canvas, const AnsiString& shown);
  AnsiString edit_mask_;
  bool read_only_ = false;
  bool modified_ = false;
  bool auto_select_ = true;
  bool selecting_ = false;
  TEditCharCase char_case_ = ecNormal;
  char password_char_ = 0;
  TAlignment alignment_ = taLeftJustify;
  TRect margins_{1, 1, 1, 1};
  bool has_undo_ = false;
  AnsiString undo_text_;
};

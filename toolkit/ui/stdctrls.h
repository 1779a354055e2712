// The standard controls: labels, static texts, buttons, check boxes and
// group boxes.
#pragma once

#include <functional>
#include <memory>

#include "toolkit/core/alignment.h"
#include "toolkit/core/sets.h"
#include "toolkit/gfx/graphics.h"
#include "toolkit/ui/controls.h"

class QPainter;
class QRect;

// How an edit control shows the case of its text.
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

// A text on the form. With AutoSize (the default) it re-fits its size to
// its text and font. The character after a single '&' of the caption is
// shown underlined ("&&" shows one '&'); Alt with that character focuses
// FocusControl, when the label names one.
class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  // With AutoSize the size stays what the text needs.
  void SetBounds(int left, int top, int width, int height) override;
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool value);
  // Without its own background (the default for a label).
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  TWinControl* FocusControl() const { return focus_control_; }
  void SetFocusControl(TWinControl* value);
  // A click on the label runs OnClick; a double click runs OnClick for its
  // first press and OnDblClick for its second.
  TNotifyEvent OnDblClick;
  void DblClick();

 protected:
  void CaptionChanged() override;
  void FontChanged() override;
  void ColorChanged() override;
  void Fit();

 private:
  void ShowCaption();
  // The caption shows its accelerator differently without a control to focus.
  TComponentRef<TWinControl> focus_control_{[this] { ShowCaption(); }};
  bool auto_size_ = true;
  TAlignment alignment_ = taLeftJustify;
  bool word_wrap_ = false;
  bool transparent_ = true;
};

enum TStaticBorderStyle { sbsNone, sbsSingle, sbsSunken };

// A text in a window of its own, with an optional frame; opaque.
class TStaticText : public TLabel {
 public:
  explicit TStaticText(TComponent* owner);
  TStaticBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TStaticBorderStyle value);

 private:
  TStaticBorderStyle border_style_ = sbsNone;
};

// A push button. A button with a ModalResult sets its form's modal result
// when clicked; in its form, Esc clicks the Cancel button and Enter the
// Default button.
class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);
  int ModalResult() const { return modal_result_; }
  void SetModalResult(int value) { modal_result_ = value; }
  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value);
  void Click() override;

 private:
  int modal_result_ = 0;
  bool default_ = false;
  bool cancel_ = false;
};

class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* owner);
  bool Checked() const;
  void SetChecked(bool value);
};

// One of a group of choices: checking it unchecks the radio buttons of the
// same parent.
class TRadioButton : public TWinControl {
 public:
  explicit TRadioButton(TComponent* owner);
  bool Checked() const;
  void SetChecked(bool value);
};

// A list of texts of which at most one is selected. A click on an item
// selects it and clicks the list (OnClick).
class TListBox : public TWinControl {
 public:
  explicit TListBox(TComponent* owner);
  void ClearItems();
  void AddItem(const AnsiString& text);
  int ItemCount() const;
  // Empty out of range.
  AnsiString ItemAt(int index) const;
  // The selected item; -1 when none.
  int ItemIndex() const;
  // Out of range selects none.
  void SetItemIndex(int value);
};

enum TComboBoxStyle { csDropDownList, csOwnerDrawFixed };

// How an owner-drawn item is to look: chosen in the open list (odSelected),
// or the item shown in the closed box (odComboBoxEdit).
enum TOwnerDrawStateFlag { odSelected, odFocused, odComboBoxEdit };
using TOwnerDrawState = TSet<TOwnerDrawStateFlag>;
class TComboBox;
using TDrawItemEvent = std::function<void(TComboBox* control, int index, const TRect& rect, TOwnerDrawState state)>;

// A drop-down list of texts to choose one from (no typing). A choice made by
// the user raises OnChange. With csOwnerDrawFixed OnDrawItem draws every
// item (in the list and in the closed box) on Canvas, which it finds with
// the brush and font colours of the item's state; without OnDrawItem the
// item's text is drawn.
class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* owner);
  ~TComboBox() override;
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle value);
  // Valid while an item is drawn.
  TCanvas& Canvas();
  TDrawItemEvent OnDrawItem;

  // ---- For the toolkit's hosts --------------------------------------------
  void DrawItem(QPainter& painter, int index, const QRect& rect, TOwnerDrawState state);

  void ClearItems();
  void AddItem(const AnsiString& text);
  int ItemCount() const;
  // Empty out of range.
  AnsiString ItemAt(int index) const;
  // The chosen item; -1 when none.
  int ItemIndex() const;
  // Out of range chooses none.
  void SetItemIndex(int value);

  TNotifyEvent OnChange;

 private:
  TComboBoxStyle style_ = csDropDownList;
  std::unique_ptr<TCanvas> canvas_;
};

// A framed group with a caption; its children sit inside the frame.
class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* owner);
};

enum TScrollBarKind { sbHorizontal, sbVertical };

// A scroll bar of its own. Position stays within Min .. Max; every change of
// it, by the user or by the program, raises OnChange.
class TScrollBar : public TWinControl {
 public:
  explicit TScrollBar(TComponent* owner);
  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind value);
  int Min() const { return min_; }
  void SetMin(int value) { SetParams(position_, value, max_); }
  int Max() const { return max_; }
  void SetMax(int value) { SetParams(position_, min_, value); }
  int Position() const { return position_; }
  void SetPosition(int value) { SetParams(value, min_, max_); }
  // A max below min is taken as min; the position is brought within them.
  void SetParams(int position, int min, int max);
  // The step of the arrows, and of a click beside the thumb.
  int SmallChange() const { return small_change_; }
  void SetSmallChange(int value);
  int LargeChange() const { return large_change_; }
  void SetLargeChange(int value);

  TNotifyEvent OnChange;

 private:
  void Apply();
  TScrollBarKind kind_ = sbHorizontal;
  int min_ = 0, max_ = 100, position_ = 0;
  int small_change_ = 1, large_change_ = 1;
  bool applying_ = false;
};

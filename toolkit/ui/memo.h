// A multi-line plain-text box (1251 text), as the blob picker edits long
// texts in.
#pragma once

#include "toolkit/ui/controls.h"

class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* owner);

  AnsiString Text() const;
  // Replaces the text; Modified is left as it was and OnChange does not run.
  void SetText(const AnsiString& value);
  // The most characters the box takes (0: no limit); a longer text set or
  // typed is cut there.
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool value);
  // Enter makes a new line (otherwise it is left to the form).
  bool WantReturns() const { return want_returns_; }
  void SetWantReturns(bool value) { want_returns_ = value; }
  bool WantTabs() const { return want_tabs_; }
  void SetWantTabs(bool value);
  // 0 none, 1 horizontal, 2 vertical, 3 both.
  int ScrollBars() const { return scroll_bars_; }
  void SetScrollBars(int value);
  bool HideScrollBars() const { return hide_scroll_bars_; }
  void SetHideScrollBars(bool value);
  // The user changed the text since SetModified(false).
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }

  // The user changed the text.
  TNotifyEvent OnChange;

  // Takes the keyboard focus.
  void SetFocus();

  bool WidgetKeyDown(int key) override;

 private:
  void ApplyScrollBars();
  void UserChanged();

  int max_length_ = 0;
  bool read_only_ = false;
  bool word_wrap_ = true;
  bool want_returns_ = true;
  bool want_tabs_ = false;
  int scroll_bars_ = 0;
  bool hide_scroll_bars_ = true;
  bool modified_ = false;
  bool setting_ = false;
};

// The hint window: a small frameless window above everything else that shows
// a text near the mouse. It takes neither the focus nor the mouse.
#pragma once

#include "toolkit/ui/customctrl.h"

class THintWindow : public TCustomControl {
 public:
  explicit THintWindow(TComponent* owner);
  // Shows Text over Rect (screen coordinates).
  virtual void ActivateHint(const TRect& Rect, const AnsiString& Text);
  // The rectangle (from 0, 0) Text needs when it may be MaxWidth wide.
  virtual TRect CalcHintRect(int MaxWidth, const AnsiString& Text);
  // Hides the window.
  void ReleaseHandle();
  // Shown since the last ActivateHint.
  bool Active() const { return active_; }
  // The text shown.
  const AnsiString& Text() const { return Caption(); }

 protected:
  void Paint() override;

 private:
  bool active_ = false;
};

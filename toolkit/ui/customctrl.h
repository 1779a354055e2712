// Controls that paint themselves: the window the data grid, the calendar and
// the report preview are drawn on. The hosted widget's paint, mouse, key,
// focus, scroll-bar and timer events reach virtual methods in the classic
// shape (virtual-key codes, a 1251 key-press character, scroll codes), so
// that the painted controls are written once against this interface.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "toolkit/gfx/graphics.h"
#include "toolkit/ui/controls.h"
#include "toolkit/ui/menus.h"  // TShiftState, VK_F1

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Virtual-key codes (letters and digits are their upper-case ASCII codes).
inline constexpr uint16_t VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10,
                          VK_CONTROL = 0x11, VK_MENU = 0x12, VK_ESCAPE = 0x1B, VK_SPACE = 0x20,
                          VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25,
                          VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
                          VK_NUMPAD0 = 0x60, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SUBTRACT = 0x6D,
                          VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F, VK_F12 = 0x7B, VK_OEM_1 = 0xBA,
                          VK_OEM_PLUS = 0xBB, VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD, VK_OEM_PERIOD = 0xBE,
                          VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC, VK_OEM_6 = 0xDD,
                          VK_OEM_7 = 0xDE;

// Scroll bars, their request codes and the parts of their state.
inline constexpr int SB_HORZ = 0, SB_VERT = 1;
inline constexpr int SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1, SB_PAGEUP = 2,
                     SB_PAGELEFT = 2, SB_PAGEDOWN = 3, SB_PAGERIGHT = 3, SB_THUMBPOSITION = 4,
                     SB_THUMBTRACK = 5, SB_TOP = 6, SB_LEFT = 6, SB_BOTTOM = 7, SB_RIGHT = 7, SB_ENDSCROLL = 8;
inline constexpr unsigned SIF_RANGE = 0x1, SIF_PAGE = 0x2, SIF_POS = 0x4, SIF_DISABLENOSCROLL = 0x8,
                          SIF_TRACKPOS = 0x10, SIF_ALL = 0x17;

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

struct TScrollInfo {
  unsigned fMask = SIF_ALL;
  int nMin = 0;
  int nMax = 0;
  unsigned nPage = 0;
  int nPos = 0;
  int nTrackPos = 0;
};

using TMouseEvent = std::function<void(TComponent*, TMouseButton, TShiftState, int, int)>;
using TMouseMoveEvent = std::function<void(TComponent*, TShiftState, int, int)>;
using TKeyEvent = std::function<void(TComponent*, uint16_t&, TShiftState)>;
using TKeyPressEvent = std::function<void(TComponent*, char&)>;

// A control without a window of its own in the classic sense: it paints and
// takes the mouse, never the focus.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  // The drawing surface: the widget while painting; otherwise a surface that
  // measures texts and throws drawing away. Its pen, brush and font persist.
  TCanvas& Canvas();

  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnDblClick;

  // ---- For the toolkit's hosts --------------------------------------------
  struct Host;

 protected:
  virtual void Paint() {}
  // Each fires its event; a left press and release inside is a Click.
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void DblClick();
  // The mouse came over the control, or left it.
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}
  // Whether Alt with the caption's accelerator character (the one after a
  // single '&') clicks the control while its window is active, as it does a
  // button; a disabled control is not clicked.
  virtual bool ClicksOnAccelerator() const { return false; }
  void CaptionChanged() override;
  // The canvas draws in the control's font from the moment it changes.
  void FontChanged() override;

 private:
  friend struct Host;
  std::unique_ptr<Host> host_;
};

// A control with a window, the focus, keys, scroll bars and timers.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  // As TGraphicControl::Canvas.
  TCanvas& Canvas();

  // The area left inside the frame beside the shown scroll bars.
  int ClientWidth() const override;
  int ClientHeight() const override;
  TRect ClientRect() const { return Rect(0, 0, ClientWidth(), ClientHeight()); }

  // The non-client frame: Inset pixels on each side of the control around
  // its client area, painted by PaintFrame (0: none, the client is the whole
  // control). Client coordinates start inside it.
  int FrameInset() const;
  void SetFrameInset(int inset);
  // Paints the frame again.
  void InvalidateFrame();
  // The whole control, frame included, in screen coordinates.
  TRect ScreenRect() const;
  void SetParent(TWinControl* parent) override;

  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool value);
  bool Focused() const;
  // Takes the focus when shown and enabled; called while its window is still
  // hidden (a form's OnShow), it takes the focus as the window appears.
  void SetFocus();
  bool CanFocus() const;

  // During Paint, the part of the client area being painted (the marked
  // area comes one rectangle per Paint); the whole client area otherwise.
  // Painting outside it is clipped away.
  TRect PaintRect() const;
  // Moves the pixels of rect by (dx, dy) within rect and marks for painting
  // what the move uncovered, as the platform's window scroll does.
  void ScrollRect(int dx, int dy, const TRect& rect);
  // Marks part of the control for painting; Update paints what is marked now.
  void InvalidateRect(const TRect& rect);
  void Update();

  // Scroll bars in the platform's shape: a bar shows while its range is
  // usable (max above min and the page within it), the position stays within
  // min .. max - page + 1, and only the program moves it. Returns the position.
  int SetScrollInfo(int bar, const TScrollInfo& info, bool redraw);
  bool GetScrollInfo(int bar, TScrollInfo& info) const;
  int GetScrollPos(int bar) const;
  int SetScrollPos(int bar, int pos, bool redraw);
  bool ScrollBarShown(int bar) const;

  // Timers by number: WMTimer(id) every elapse milliseconds until KillTimer;
  // setting a running number again restarts it.
  bool SetTimer(unsigned id, unsigned elapse_ms);
  bool KillTimer(unsigned id);

  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnDblClick;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TNotifyEvent OnResize;

  // ---- For the toolkit's hosts --------------------------------------------
  struct Host;
  void WidgetResized() override;

 protected:
  // Paints the client area; the background is filled with Color first.
  virtual void Paint() {}
  // Paints the frame around the client area on a canvas over the whole
  // control, (0, 0) its top-left corner; what falls on the client is hidden.
  virtual void PaintFrame(TCanvas& canvas) { (void)canvas; }
  void ApplyGeometry() override;
  void ApplyVisible() override;
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void DblClick();
  // delta: multiples of 120 per notch, positive away from the user.
  virtual void MouseWheel(TShiftState shift, int delta, int x, int y);
  // The mouse came over the control, or left it.
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}
  // A key set to 0 is used up.
  virtual void KeyDown(uint16_t& key, TShiftState shift);
  virtual void KeyUp(uint16_t& key, TShiftState shift);
  // The typed character in 1251 (control characters for Enter, Esc, Tab,
  // Backspace and Ctrl+letter); #0 is used up.
  virtual void KeyPress(char& key);
  // A character was typed that 1251 cannot hold; no KeyPress follows.
  virtual void KeyPressRefused() {}
  // Whether the control takes Tab itself instead of moving the focus.
  virtual bool WantTabs() const { return false; }
  // Whether Enter or Esc reach the control instead of the form's default
  // and cancel buttons.
  virtual bool WantSpecialKey(uint16_t) const { return false; }
  virtual void DoEnter();
  virtual void DoExit();
  virtual void Resize();
  virtual void WMTimer(unsigned id) { (void)id; }
  // A scroll request by the user; pos is the thumb position for
  // SB_THUMBPOSITION and SB_THUMBTRACK.
  virtual void WMHScroll(int code, int pos) { (void)code, (void)pos; }
  virtual void WMVScroll(int code, int pos) { (void)code, (void)pos; }
  void FontChanged() override;
  void ColorChanged() override;

 private:
  friend struct Host;
  std::unique_ptr<Host> host_;
  bool tab_stop_ = false;
};

// The Shift, Ctrl and Alt keys and the buttons held at the last mouse event
// a painted control had (what a drag's target reads the keys from).
TShiftState MouseShiftState();

// The virtual-key code of a key of the GUI library (for the toolkit's hosts
// and tests); 0 for keys without one.
uint16_t VirtualKeyFromQtKey(int qt_key, bool keypad);

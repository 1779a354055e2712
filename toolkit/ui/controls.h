// Controls: components with a place on the screen. Each control hosts one
// widget of the GUI library behind it and keeps its own properties, so the
// program reads back what it set whether or not the window is shown.
//
// Ownership: a control's owner (a form) deletes it; its parent only places it.
// The hosted widget dies with the control, and a control whose widget went
// with its parent's carries on without one.
#pragma once

#include <functional>
#include <vector>

#include "toolkit/core/component.h"
#include "toolkit/gfx/graphics.h"

class QWidget;
class TWinControl;
class TForm;
class TPopupMenu;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Dragging a control onto another with the mouse, inside the program. The
// target under the pointer hears the drag come (dsDragEnter), move over it
// (dsDragMove) and go (dsDragLeave, also when the drag ends elsewhere or is
// cancelled); only a target that accepted the last move gets the drop.
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
using TStartDragEvent = std::function<void(TComponent* Sender)>;
using TDragOverEvent =
    std::function<void(TComponent* Sender, TComponent* Source, int X, int Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TComponent* Sender, TComponent* Source, int X, int Y)>;
// Target is nullptr when nothing took the drop; X and Y are then 0.
using TEndDragEvent = std::function<void(TComponent* Sender, TComponent* Target, int X, int Y)>;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  // Places the control on parent's client area (nullptr takes it off).
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int value) { SetBounds(value, top_, width_, height_); }
  void SetTop(int value) { SetBounds(left_, value, width_, height_); }
  void SetWidth(int value) { SetBounds(left_, top_, value, height_); }
  void SetHeight(int value) { SetBounds(left_, top_, width_, value); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
  // The area children are placed in; the whole control unless it has a frame.
  virtual int ClientWidth() const { return width_; }
  virtual int ClientHeight() const { return height_; }

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible, and so are all its parents up to a shown form.
  bool Showing() const;

  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool value);

  // 1251 text.
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value);
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& value);
  // Whether the hint shows while the mouse rests on the control.
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool value);

  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TFont& Font() { return font_; }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign value);

  TPopupMenu* PopupMenu() const { return popup_menu_; }
  void SetPopupMenu(TPopupMenu* menu);
  // Whether the control pops its menus up itself (a right click then shows
  // no PopupMenu unless the control asks for it).
  virtual bool OwnsContextMenu() const { return false; }

  // The mouse pointer's shape over the control (crDefault, crHSplit, ...).
  int Cursor() const { return cursor_; }
  void SetCursor(int value);

  // Raised by Click (a button press, a click on the control).
  TNotifyEvent OnClick;
  // What a click does: OnClick, with any exception shown by the application.
  virtual void Click();

  // ---- Dragging: one drag at a time; it follows the mouse until its button
  // is released (a drop) or Escape is pressed (a cancel).
  // Starts dragging this control, at once or once the pointer has moved
  // Threshold pixels away (-1: the system's distance). Nothing while a drag runs.
  void BeginDrag(bool Immediate, int Threshold = -1);
  // This control is being dragged (a drag that waits for its threshold is not).
  bool Dragging() const;
  // Ends the drag of this control, dropping it where the pointer is or not.
  void EndDrag(bool Drop);
  TStartDragEvent OnStartDrag;
  // Unassigned: the control refuses every drag.
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TEndDragEvent OnEndDrag;
  // What the running drag asks of its source and its targets; each fires its
  // event. DragOver's Accept comes in as whether OnDragOver is assigned.
  virtual void DoStartDrag();
  virtual void DragOver(TControl* Source, int X, int Y, TDragState State, bool& Accept);
  virtual void DragDrop(TControl* Source, int X, int Y);
  virtual void DoEndDrag(TControl* Target, int X, int Y);

  // Paints now / when the loop next runs.
  void Repaint();
  void Invalidate();

  // The form the control stands on (itself for a form); nullptr when none.
  TForm* ParentForm() const;
  // A point of the client area in screen coordinates; the point itself while
  // the control has no widget.
  TPoint ClientToScreen(const TPoint& point) const;

  // ---- For the toolkit's hosts --------------------------------------------
  QWidget* Widget() const { return widget_; }
  void WidgetDestroyed() { widget_ = nullptr; }
  // The widget was resized by the GUI library (a window maximised by the user).
  virtual void WidgetResized();
  // The system asks the window to close; true when the control handles it.
  virtual bool WidgetCloseRequested() { return false; }
  // A key the focused control left alone (the GUI library's key code); true
  // when this control used it.
  virtual bool WidgetKeyDown(int) { return false; }

 protected:
  // Takes the widget this control hosts and gives it the stored properties.
  void AttachWidget(QWidget* widget);
  // Hooks for what a property means to the hosted widget.
  virtual void CaptionChanged();
  virtual void ColorChanged();
  virtual void FontChanged();
  // Geometry and visibility of the widget from the stored properties.
  virtual void ApplyGeometry();
  // Takes a size the GUI library gave the widget, without applying it back.
  void StoreBounds(int left, int top, int width, int height);
  virtual void ApplyVisible();
  bool in_widget_resize_ = false;

 private:
  friend class TWinControl;
  TWinControl* parent_ = nullptr;
  QWidget* widget_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  AnsiString caption_;
  AnsiString hint_;
  bool show_hint_ = true;
  TColor color_ = clBtnFace;
  TFont font_;
  TAlign align_ = alNone;
  TComponentRef<TPopupMenu> popup_menu_;
  int cursor_ = 0;
};

// Mouse pointer shapes, by their classic numbers.
inline constexpr int crDefault = 0, crArrow = -2, crDrag = -12, crHSplit = -14, crNoDrop = -13, crHelp = -20;

// The primary screen's size in pixels; 0 while there is no screen (no
// application object yet).
int ScreenWidth();
int ScreenHeight();

// Sizes the desktop's look decides, by their classic numbers: the width of a
// vertical scroll bar (SM_CXVSCROLL) and the height of a horizontal one
// (SM_CYHSCROLL). Without an application object the classic 16 pixels.
inline constexpr int SM_CXVSCROLL = 2, SM_CYHSCROLL = 3;
int GetSystemMetrics(int index);

// A control that holds other controls.
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  void SetBounds(int left, int top, int width, int height) override;
  int ControlCount() const { return int(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(size_t(index)); }

  // Places the aligned children (alTop ... alClient) in the client area, in
  // the order they were placed, as the control's size asks.
  virtual void AlignControls();

  // ---- For the toolkit's hosts --------------------------------------------
  // The widget children are placed in.
  virtual QWidget* ClientWidget() const { return Widget(); }
  void WidgetResized() override;

 protected:
  virtual void InsertControl(TControl* control);
  virtual void RemoveControl(TControl* control);

 private:
  friend class TControl;
  std::vector<TControl*> controls_;
  bool aligning_ = false;
};

// Runs an event handler: any exception goes to the application's handler
// instead of through the GUI library's loop.
void RunGuarded(const std::function<void()>& handler);

// An event handler wrapped by RunGuarded, for events raised from the loop
// (timers): assign Guarded(handler) instead of the handler.
TNotifyEvent Guarded(TNotifyEvent handler);

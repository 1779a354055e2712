// The widgets that host the toolkit's controls: a GUI-library widget class
// that tells its control of resizes, close requests and its own end. Only the
// toolkit's own units include this header.
#pragma once

#include <QCloseEvent>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QWidget>

#include <cstdint>
#include <utility>

#include "toolkit/gfx/qt_canvas.h"
#include "toolkit/ui/controls.h"

// The window system's pointer shape of a classic cursor number.
Qt::CursorShape CursorShape(int cursor);

// The link from a hosting widget back to its control.
class HostLink {
 public:
  virtual ~HostLink() = default;
  TControl* control_ = nullptr;
};

template <class W>
class Hosted : public W, public HostLink {
 public:
  template <class... Args>
  explicit Hosted(TControl* control, Args&&... args) : W(std::forward<Args>(args)...) {
    control_ = control;
  }
  ~Hosted() override {
    if (control_) control_->WidgetDestroyed();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    W::resizeEvent(event);
    if (control_) control_->WidgetResized();
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (control_ && control_->WidgetKeyDown(event->key()))
      event->accept();
    else
      W::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override {
    if (control_ && control_->WidgetCloseRequested())
      event->ignore();
    else
      W::closeEvent(event);
  }
};

// A window of the GUI library's dialogs (message boxes, file, colour, input
// and page dialogs) as a dialog border: a close box, no minimise or maximise.
void SetDialogFrame(QWidget* dialog);

// Gives a widget its background colour; with fill it paints it itself
// instead of showing its parent through.
void SetWidgetBackground(QWidget* widget, TColor color, bool fill);

// The running drag (dragdrop.cpp), as the hosts' mouse forwarding meets it.
namespace drag_host {
// Where the pointer is on the screen, as the last mouse event said.
void NotePointer(const QPoint& global, uint64_t shift_bits);
// A move of the mouse the control holds: true when a drag of the control
// used it (the control hears nothing of it).
bool MouseMove(TControl* control, const QPoint& global);
// The release of the mouse the control holds: true when it ended a started
// drag of the control (dropped or not).
bool MouseRelease(TControl* control);
// A control that goes away leaves the drag.
void Forget(TControl* control);
}  // namespace drag_host

// Detaches and deletes the widget a control hosted.
void DeleteHostedWidget(QWidget* widget);

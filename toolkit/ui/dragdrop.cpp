// Dragging controls onto controls with the mouse. One drag runs at a time;
// the source holds the mouse (the press that started it), so its window
// receives every move and the release, and passes them here. The control
// under the pointer is found by its window and hears enter, move and leave;
// the release drops on the target that accepted the last move. Escape,
// wherever the focus is, cancels.
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QStyleHints>
#include <QWidget>

#include <cstdlib>

#include "toolkit/ui/customctrl.h"
#include "toolkit/ui/qt_host.h"

namespace {

class EscapeFilter : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

struct Session {
  TControl* source = nullptr;
  bool started = false;
  QPoint origin;
  int threshold = 0;
  TControl* target = nullptr;
  bool accepted = false;
};

// One filter for the process, watching the keys only while a drag runs.
EscapeFilter* Escape() {
  static auto* filter = new EscapeFilter;
  return filter;
}

Session& Running() {
  static Session session;
  return session;
}

QPoint& Pointer() {
  static QPoint pointer;
  return pointer;
}

uint64_t& PointerShift() {
  static uint64_t bits = 0;
  return bits;
}

// The control whose window lies under the global point. A source whose
// window is on no screen (drawn off it) still takes drags onto itself.
TControl* ControlAt(const QPoint& global, TControl* source) {
  for (QWidget* w = QApplication::widgetAt(global); w != nullptr; w = w->parentWidget()) {
    auto* link = dynamic_cast<HostLink*>(w);
    if (link != nullptr && link->control_ != nullptr) return link->control_;
  }
  QWidget* own = source != nullptr ? source->Widget() : nullptr;
  if (own != nullptr && !own->isVisible() && own->rect().contains(own->mapFromGlobal(global))) return source;
  return nullptr;
}

TPoint ClientPoint(TControl* control, const QPoint& global) {
  const QPoint at = control->Widget() ? control->Widget()->mapFromGlobal(global) : global;
  return TPoint{at.x(), at.y()};
}

void ShowDragCursor(Session& s) {
  if (s.source != nullptr && s.source->Widget() != nullptr)
    s.source->Widget()->setCursor(s.accepted ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
}

// The drag moved to global: leave the old target, enter or move over the new.
void Track(const QPoint& global) {
  Session& s = Running();
  TControl* source = s.source;
  TControl* target = ControlAt(global, source);
  if (target != s.target && s.target != nullptr) {
    TControl* old = s.target;
    s.target = nullptr;
    s.accepted = false;
    const TPoint at = ClientPoint(old, global);
    bool accept = false;
    RunGuarded([&] { old->DragOver(source, at.x, at.y, dsDragLeave, accept); });
    if (Running().source != source) return;
  }
  if (target != nullptr) {
    const TDragState state = target == s.target ? dsDragMove : dsDragEnter;
    s.target = target;
    const TPoint at = ClientPoint(target, global);
    bool accept = static_cast<bool>(target->OnDragOver);
    RunGuarded([&] { target->DragOver(source, at.x, at.y, state, accept); });
    if (Running().source != source) return;
    s.accepted = accept && s.target == target;
  }
  ShowDragCursor(s);
}

void Start() {
  Session& s = Running();
  s.started = true;
  qApp->installEventFilter(Escape());
  TControl* source = s.source;
  RunGuarded([&] { source->DoStartDrag(); });
  if (Running().source == source && Running().started) Track(Pointer());
}

// Ends the running drag; a drop only where the last move was accepted.
void Finish(bool drop) {
  Session& s = Running();
  if (s.source == nullptr) return;
  TControl* source = s.source;
  TControl* target = s.target;
  const bool started = s.started;
  const bool accepted = s.accepted;
  if (qApp != nullptr) qApp->removeEventFilter(Escape());
  s = Session();
  if (!started) return;
  if (source->Widget() != nullptr) source->SetCursor(source->Cursor());
  TPoint at{0, 0};
  TControl* taker = nullptr;
  if (target != nullptr) {
    at = ClientPoint(target, Pointer());
    if (drop && accepted) {
      taker = target;
      RunGuarded([&] { target->DragDrop(source, at.x, at.y); });
    } else {
      bool accept = false;
      RunGuarded([&] { target->DragOver(source, at.x, at.y, dsDragLeave, accept); });
    }
  }
  if (taker == nullptr) at = TPoint{0, 0};
  RunGuarded([&] { source->DoEndDrag(taker, at.x, at.y); });
}

bool EscapeFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      Running().started) {
    Finish(false);
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace

// ---- The hosts' side ---------------------------------------------------------------

namespace drag_host {

void NotePointer(const QPoint& global, uint64_t shift_bits) {
  Pointer() = global;
  PointerShift() = shift_bits;
}

bool MouseMove(TControl* control, const QPoint& global) {
  Session& s = Running();
  if (s.source != control || control == nullptr) return false;
  if (!s.started) {
    const QPoint moved = global - s.origin;
    if (std::max(std::abs(moved.x()), std::abs(moved.y())) <= s.threshold) return false;
    Start();
    return Running().source == control;
  }
  Track(global);
  return true;
}

bool MouseRelease(TControl* control) {
  Session& s = Running();
  if (s.source != control || control == nullptr) return false;
  const bool started = s.started;
  Finish(true);
  return started;
}

void Forget(TControl* control) {
  Session& s = Running();
  if (s.source == control) {
    if (qApp != nullptr) qApp->removeEventFilter(Escape());
    s = Session();
  } else if (s.target == control) {
    s.target = nullptr;
    s.accepted = false;
  }
}

}  // namespace drag_host

TShiftState MouseShiftState() { return TShiftState::FromBits(PointerShift()); }

// ---- TControl ----------------------------------------------------------------------

void TControl::BeginDrag(bool Immediate, int Threshold) {
  Session& s = Running();
  if (s.source != nullptr || Widget() == nullptr) return;
  s.source = this;
  s.origin = Pointer();
  s.threshold = Threshold >= 0 ? Threshold : QApplication::startDragDistance();
  if (Immediate) Start();
}

bool TControl::Dragging() const { return Running().source == this && Running().started; }

void TControl::EndDrag(bool Drop) {
  if (Running().source == this) Finish(Drop);
}

void TControl::DoStartDrag() {
  if (OnStartDrag) OnStartDrag(this);
}

void TControl::DragOver(TControl* Source, int X, int Y, TDragState State, bool& Accept) {
  if (OnDragOver) OnDragOver(this, Source, X, Y, State, Accept);
}

void TControl::DragDrop(TControl* Source, int X, int Y) {
  if (OnDragDrop) OnDragDrop(this, Source, X, Y);
}

void TControl::DoEndDrag(TControl* Target, int X, int Y) {
  if (OnEndDrag) OnEndDrag(this, Target, X, Y);
}

#include "toolkit/ui/controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include "toolkit/ui/forms.h"
#include "toolkit/ui/menus.h"
#include "toolkit/ui/qt_host.h"

void DeleteHostedWidget(QWidget* widget) {
  if (!widget) return;
  if (auto* link = dynamic_cast<HostLink*>(widget)) link->control_ = nullptr;
  delete widget;
}

void SetWidgetBackground(QWidget* widget, TColor color, bool fill) {
  if (!widget) return;
  widget->setAutoFillBackground(fill);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, ToQColor(color));
  palette.setColor(QPalette::Button, ToQColor(color));
  widget->setPalette(palette);
}

void RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    Application->HandleException(std::current_exception());
  }
}

TNotifyEvent Guarded(TNotifyEvent handler) {
  return [handler = std::move(handler)](TComponent* sender) {
    RunGuarded([&] {
      if (handler) handler(sender);
    });
  };
}

// ---- TControl ----------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner) {
  font_.OnChange = [this] { FontChanged(); };
}

TControl::~TControl() {
  drag_host::Forget(this);
  if (parent_) parent_->RemoveControl(this);
  parent_ = nullptr;
  DeleteHostedWidget(widget_);
  widget_ = nullptr;
}

void TControl::AttachWidget(QWidget* widget) {
  widget_ = widget;
  widget_->setEnabled(enabled_);
  CaptionChanged();
  FontChanged();
  ColorChanged();
  ApplyGeometry();
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_) parent_->RemoveControl(this);
  parent_ = parent;
  if (widget_) {
    widget_->setParent(parent_ ? parent_->ClientWidget() : nullptr);
    ApplyGeometry();
    ApplyVisible();
  }
  // Last, so that a parent may still move the widget where it keeps such children.
  if (parent_) parent_->InsertControl(this);
  if (parent_ && align_ != alNone) parent_->AlignControls();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  ApplyGeometry();
  if (parent_ && align_ != alNone) parent_->AlignControls();
}

void TControl::StoreBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

void TControl::ApplyGeometry() {
  if (widget_ && !in_widget_resize_) widget_->setGeometry(left_, top_, width_, height_);
}

void TControl::ApplyVisible() {
  if (widget_ && parent_) widget_->setVisible(visible_);
}

void TControl::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  ApplyVisible();
  if (parent_ && align_ != alNone) parent_->AlignControls();
}

bool TControl::Showing() const { return widget_ && widget_->isVisible(); }

void TControl::SetEnabled(bool value) {
  enabled_ = value;
  if (widget_) widget_->setEnabled(value);
}

void TControl::SetCaption(const AnsiString& value) {
  if (value == caption_) return;
  caption_ = value;
  CaptionChanged();
}

void TControl::SetHint(const AnsiString& value) {
  hint_ = value;
  if (widget_) widget_->setToolTip(show_hint_ ? ToQString(value) : QString());
}

void TControl::SetShowHint(bool value) {
  show_hint_ = value;
  SetHint(hint_);
}

void TControl::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  ColorChanged();
}

void TControl::SetAlign(TAlign value) {
  if (value == align_) return;
  align_ = value;
  if (parent_) parent_->AlignControls();
}

void TControl::SetPopupMenu(TPopupMenu* menu) {
  popup_menu_ = menu;
  if (!menu || !widget_) return;
  if (widget_->contextMenuPolicy() != Qt::CustomContextMenu) {
    widget_->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(widget_, &QWidget::customContextMenuRequested, widget_, [this](const QPoint& at) {
      if (!popup_menu_ || !widget_ || OwnsContextMenu()) return;
      const QPoint global = widget_->mapToGlobal(at);
      popup_menu_->SetPopupComponent(this);
      popup_menu_->Popup(global.x(), global.y());
    });
  }
}

Qt::CursorShape CursorShape(int cursor) {
  switch (cursor) {
    case crHSplit: return Qt::SplitHCursor;
    case crDrag: return Qt::DragMoveCursor;
    case crNoDrop: return Qt::ForbiddenCursor;
    case crHelp: return Qt::WhatsThisCursor;
    default: return Qt::ArrowCursor;
  }
}

void TControl::SetCursor(int value) {
  cursor_ = value;
  if (!widget_) return;
  if (value == crDefault || value == crArrow)
    widget_->unsetCursor();
  else
    widget_->setCursor(CursorShape(value));
}

void TControl::Click() {
  RunGuarded([this] {
    if (OnClick) OnClick(this);
  });
}

void TControl::Repaint() {
  if (widget_) widget_->repaint();
}

void TControl::Invalidate() {
  if (widget_) widget_->update();
}

TForm* TControl::ParentForm() const {
  const TControl* control = this;
  while (control->parent_) control = control->parent_;
  return dynamic_cast<TForm*>(const_cast<TControl*>(control));
}

TPoint TControl::ClientToScreen(const TPoint& point) const {
  if (!widget_) return point;
  const QPoint at = widget_->mapToGlobal(QPoint(point.x, point.y));
  return TPoint{at.x(), at.y()};
}

namespace {
QRect ScreenGeometry() {
  if (!QGuiApplication::instance()) return QRect();
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect();
}
}  // namespace

int ScreenWidth() { return ScreenGeometry().width(); }
int ScreenHeight() { return ScreenGeometry().height(); }

int GetSystemMetrics(int index) {
  if (index != SM_CXVSCROLL && index != SM_CYHSCROLL) return 0;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return 16;
  return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

void TControl::WidgetResized() {}

void TControl::CaptionChanged() {
  if (auto* button = qobject_cast<QAbstractButton*>(widget_))
    button->setText(ToQString(caption_));
  else if (auto* group = qobject_cast<QGroupBox*>(widget_))
    group->setTitle(ToQString(caption_));
}

void TControl::ColorChanged() {}

void TControl::FontChanged() {
  if (!widget_) return;
  widget_->setFont(ToQFont(font_));
  QPalette palette = widget_->palette();
  palette.setColor(QPalette::WindowText, ToQColor(font_.Color()));
  palette.setColor(QPalette::ButtonText, ToQColor(font_.Color()));
  widget_->setPalette(palette);
}

// ---- TWinControl -------------------------------------------------------------

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // The children outlive their parent only as controls without a place.
  for (TControl* control : controls_) control->parent_ = nullptr;
  controls_.clear();
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  TControl::SetBounds(left, top, width, height);
  AlignControls();
}

void TWinControl::InsertControl(TControl* control) { controls_.push_back(control); }

void TWinControl::RemoveControl(TControl* control) {
  std::erase(controls_, control);
  AlignControls();
}

void TWinControl::WidgetResized() { AlignControls(); }

void TWinControl::AlignControls() {
  if (aligning_) return;
  aligning_ = true;
  TRect rest = Rect(0, 0, ClientWidth(), ClientHeight());
  for (TAlign kind : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TControl* c : controls_) {
      if (c->Align() != kind || !c->Visible()) continue;
      switch (kind) {
        case alTop:
          c->SetBounds(rest.Left, rest.Top, rest.Width(), c->Height());
          rest.Top += c->Height();
          break;
        case alBottom:
          c->SetBounds(rest.Left, rest.Bottom - c->Height(), rest.Width(), c->Height());
          rest.Bottom -= c->Height();
          break;
        case alLeft:
          c->SetBounds(rest.Left, rest.Top, c->Width(), rest.Height());
          rest.Left += c->Width();
          break;
        case alRight:
          c->SetBounds(rest.Right - c->Width(), rest.Top, c->Width(), rest.Height());
          rest.Right -= c->Width();
          break;
        default:
          c->SetBounds(rest.Left, rest.Top, rest.Width(), rest.Height());
          break;
      }
    }
  }
  aligning_ = false;
}

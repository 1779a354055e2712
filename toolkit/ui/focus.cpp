#include "toolkit/ui/focus.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include "toolkit/ui/forms.h"
#include "toolkit/ui/qt_host.h"

TControl* FocusedControl() {
  // While a window is being activated the focus is nowhere for a moment:
  // the window taking it stands for its control.
  QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr) focus = QApplication::activeWindow();
  for (QWidget* widget = focus; widget != nullptr; widget = widget->parentWidget())
    if (auto* link = dynamic_cast<HostLink*>(widget); link != nullptr && link->control_ != nullptr)
      return link->control_;
  return nullptr;
}

void FocusControl(TControl* control) {
  QWidget* widget = control != nullptr ? control->Widget() : nullptr;
  if (widget == nullptr || !widget->isEnabled() || !widget->isVisible()) return;
  widget->setFocus(Qt::OtherFocusReason);
}

void ReleaseForm(TForm* form) {
  if (form == nullptr) return;
  form->SetVisible(false);
  if (TComponent* owner = form->Owner()) owner->RemoveComponent(form);
  // A timer, not a deferred delete: a local loop waiting for events would
  // neither run a deferred delete nor wake for it.
  QTimer::singleShot(0, [form, guard = QPointer<QWidget>(form->Widget())] {
    if (guard) delete form;
  });
}

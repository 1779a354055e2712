#include "toolkit/ui/hosted.h"

#include "toolkit/ui/qt_host.h"

TControl* HostedControl(QWidget* widget) {
  auto* link = dynamic_cast<HostLink*>(widget);
  return link ? link->control_ : nullptr;
}

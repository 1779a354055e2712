// Running a report dialog modally in a test with real input: `act` works on
// the shown, active window; `then`, when given, runs once the dialog's loop
// has handled what `act` did. A window left open is closed after 5 s, so a
// case fails instead of hanging.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "toolkit/ui/controls.h"
#include "toolkit/ui/forms.h"

namespace dialog_test {

class Watchdog {
 public:
  Watchdog() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    timer_.start(5000);
  }

 private:
  QTimer timer_;
};

// Runs `show` (which shows a dialog modally) with `act` and `then` queued.
inline void WithModal(const std::function<void()>& show, const std::function<void()>& act,
                      const std::function<void()>& then = nullptr) {
  bool acted = false;
  QTimer::singleShot(0, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    modal->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(modal));
    act();
    acted = true;
    if (then) QTimer::singleShot(20, then);
  });
  Watchdog watchdog;
  show();
  EXPECT_TRUE(acted);
}

inline TModalResult RunModal(TForm& form, const std::function<void()>& act,
                             const std::function<void()>& then = nullptr) {
  TModalResult result = mrNone;
  WithModal([&] { result = form.ShowModal(); }, act, then);
  return result;
}

// A left click near the control's left edge, where check and radio boxes
// have their box.
inline void Click(TControl* control) {
  QWidget* widget = control->Widget();
  QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(6, widget->height() / 2));
}

}  // namespace dialog_test

// The modal loop hears a result as soon as it is set, however the event that
// set it reached the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "toolkit/ui/forms.h"

namespace {

// Ends its modal loop from a key it previews.
struct KeyEndedForm : TForm {
  using TForm::TForm;
  void PreviewKeyDown(uint16_t& key, TShiftState) override {
    if (key == 'Q') SetModalResult(mrYes);
  }
};

// The key comes while a nested loop has already taken every waiting event,
// as happens when a handler first waits for the window to be up: nothing is
// left to wake the modal loop afterwards, so a loop that only looked at the
// result after its next event would sleep until the watchdog ends it.
TEST(ModalLoop, AResultSetFromAKeyHandlerEndsTheLoopAtOnce) {
  KeyEndedForm form(nullptr);
  form.SetKeyPreview(true);
  form.SetBounds(40, 40, 200, 120);
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    if (form.Modal()) form.SetModalResult(mrAbort);
  });
  watchdog.start(5000);
  bool typed = false;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.Widget()));
    QApplication::processEvents();
    QTest::keyClick(form.ClientWidget(), Qt::Key_Q);
    typed = true;
  });
  EXPECT_EQ(form.ShowModal(), mrYes);
  EXPECT_TRUE(typed);
}

}  // namespace

// The modal loop hears a result as soon as it is set, however the event that
// set it reached the window, and a window shown takes the activation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "toolkit/ui/forms.h"

namespace modal_loop_test {

// Ends the form's modal loop after a while, so that a failing case fails
// instead of hanging.
struct Watchdog {
  explicit Watchdog(TForm& form) {
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&form] {
      if (form.Modal()) form.SetModalResult(mrAbort);
    });
    timer.start(5000);
  }
  QTimer timer;
};

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
  Watchdog watchdog(form);
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

// A shown window takes the activation once it is up; shown modally, a result
// its handler sets ends the loop before any event is handled, so the window
// is never painted. Drop-down windows never take the activation.
TEST(ModalLoop, ActivationComesOnceTheWindowIsUpAndMayDecideAtOnce) {
  TForm form(nullptr);
  form.SetBounds(40, 40, 200, 120);
  Watchdog watchdog(form);
  std::vector<std::string> order;
  form.OnShow = [&](TComponent*) { order.push_back("show"); };
  form.OnActivate = [&](TComponent* sender) {
    order.push_back(std::string("activate") + (form.Visible() ? " visible" : "") + (form.Modal() ? " modal" : ""));
    EXPECT_EQ(sender, &form);
    form.OnActivate = nullptr;  // removing itself while it runs is allowed
    form.SetModalResult(mrNo);
  };
  bool event_handled = false;
  QTimer::singleShot(0, [&] { event_handled = true; });
  EXPECT_EQ(form.ShowModal(), mrNo);
  EXPECT_FALSE(event_handled);
  EXPECT_FALSE(form.Visible());
  EXPECT_EQ(order, (std::vector<std::string>{"show", "activate visible modal"}));

  TForm drop_down(nullptr);
  drop_down.SetDropDownWindow(true);
  bool activated = false;
  drop_down.OnActivate = [&](TComponent*) { activated = true; };
  drop_down.SetVisible(true);
  EXPECT_TRUE(drop_down.Visible());
  EXPECT_FALSE(activated);
  drop_down.SetVisible(false);
  QApplication::processEvents();
  EXPECT_TRUE(event_handled);
}

}  // namespace modal_loop_test

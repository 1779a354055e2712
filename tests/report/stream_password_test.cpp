// The password dialog a protected template read from a file asks with: its
// controls and texts, the entry masked with "*", and Enter and Escape.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "report/fr_passw.h"
#include "report/fr_utils.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/stdctrls.h"

namespace stream_password_test {

TEST(PasswordDialog, ControlsAndTextsAreTheLibrarys) {
  TfrPasswForm form(nullptr);
  form.AfterConstruction();
  EXPECT_EQ(form.ClientWidth(), 249);
  EXPECT_EQ(form.ClientHeight(), 96);
  EXPECT_EQ(form.BorderStyle(), bsDialog);
  EXPECT_EQ(form.Position(), poScreenCenter);
  EXPECT_EQ(form.Caption(), LoadReportString(55653));
  EXPECT_EQ(form.L1->Caption(), LoadReportString(55654));
  EXPECT_EQ(form.OK->Caption(), LoadReportString(55000));
  EXPECT_EQ(form.Cancel->Caption(), LoadReportString(55001));
  EXPECT_FALSE(form.L2->Visible());
  EXPECT_EQ(form.E1->PasswordChar(), '*');
  EXPECT_TRUE(form.OK->Default());
  EXPECT_TRUE(form.Cancel->Cancel());
  EXPECT_EQ(std::vector<int>({form.E1->Left(), form.E1->Top(), form.E1->Width(), form.E1->Height()}),
            std::vector<int>({4, 32, 241, 21}));
}

TEST(PasswordDialog, EnterConfirmsTheEntryAndEscapeCancels) {
  const struct {
    const char* typed;
    Qt::Key key;
    bool accepted;
  } cases[] = {
      {"secret", Qt::Key_Return, true},
      {"Secret", Qt::Key_Return, false},
      {"secre", Qt::Key_Return, false},
      {"secret", Qt::Key_Escape, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.typed) + (c.key == Qt::Key_Return ? " Enter" : " Escape"));
    bool typed = false;
    // The entry has the focus as the dialog shows: the keys go to it.
    QTimer::singleShot(0, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      ASSERT_NE(modal, nullptr);
      modal->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(modal));
      QWidget* focus = QApplication::focusWidget();
      ASSERT_NE(focus, nullptr);
      QTest::keyClicks(focus, c.typed);
      QTest::keyClick(focus, c.key);
      typed = true;
    });
    // A dialog left open fails the case instead of hanging it.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    watchdog.start(5000);
    EXPECT_EQ(AskReportPassword("secret"), c.accepted);
    EXPECT_TRUE(typed);
  }
}

}  // namespace stream_password_test

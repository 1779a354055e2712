// The preview's find dialog: its texts, the text field focused as it shows,
// and what the preview reads back after real keys and clicks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

#include "dialog_support.h"
#include "report/fr_srch.h"
#include "report/fr_globals.h"
#include "report/fr_utils.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/stdctrls.h"

namespace dlg_search_test {

TEST(FindDialog, ControlsAndTextsAreTheLibrarys) {
  // The library texts come from the report globals.
  frGlobals();
  TfrPreviewSearchForm form(nullptr);
  form.AfterConstruction();
  EXPECT_EQ(form.ClientWidth(), 262);
  EXPECT_EQ(form.ClientHeight(), 158);
  EXPECT_EQ(form.BorderStyle(), bsDialog);
  EXPECT_EQ(form.Position(), poScreenCenter);
  const struct {
    AnsiString shown;
    int text;
  } texts[] = {
      {form.Caption(), 53000},          {form.Label1->Caption(), 53001},  {form.GroupBox1->Caption(), 53002},
      {form.CB1->Caption(), 53003},     {form.GroupBox2->Caption(), 53004}, {form.RB1->Caption(), 53005},
      {form.RB2->Caption(), 53006},     {form.Button1->Caption(), 55000}, {form.Button2->Caption(), 55001},
  };
  for (const auto& t : texts) {
    EXPECT_EQ(t.shown, LoadReportString(t.text)) << t.text;
    EXPECT_FALSE(t.shown.empty()) << t.text;
  }
  EXPECT_EQ(form.Caption(), Utf8ToAnsi("Поиск"));
  EXPECT_TRUE(form.RB1->Checked());
  EXPECT_FALSE(form.RB2->Checked());
  EXPECT_FALSE(form.CB1->Checked());
  EXPECT_TRUE(form.Button1->Default());
  EXPECT_TRUE(form.Button2->Cancel());
}

struct Outcome {
  TModalResult result = mrNone;
  AnsiString text;
  bool case_sensitive = false;
  bool from_start = false;
};

// Shows a new dialog as the preview does and lets `act` work on it.
Outcome RunDialog(const std::function<void(TfrPreviewSearchForm&)>& preset,
                  const std::function<void(TfrPreviewSearchForm&)>& act) {
  auto form = std::make_unique<TfrPreviewSearchForm>(nullptr);
  form->AfterConstruction();
  if (preset) preset(*form);
  Outcome outcome;
  outcome.result = dialog_test::RunModal(*form, [&] { act(*form); });
  outcome.text = form->Edit1->Text();
  outcome.case_sensitive = form->CB1->Checked();
  outcome.from_start = form->RB1->Checked();
  return outcome;
}

// Types text as a keyboard does, letters beyond ASCII included.
void Type(const char* utf8) {
  for (QChar ch : QString::fromUtf8(utf8)) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(QApplication::focusWidget(), &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(QApplication::focusWidget(), &release);
  }
}

using dialog_test::Click;

TEST(FindDialog, TypedTextAndOptionsAreReadBackAfterOk) {
  Outcome out = RunDialog(nullptr, [](TfrPreviewSearchForm& form) {
    // The text field has the focus as the dialog shows.
    Type("Образец 7");
    Click(form.CB1);
    Click(form.RB2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  });
  EXPECT_EQ(out.result, mrOk);
  EXPECT_EQ(out.text, Utf8ToAnsi("Образец 7"));
  EXPECT_TRUE(out.case_sensitive);
  EXPECT_FALSE(out.from_start);
}

TEST(FindDialog, TextPresetIsSelectedSoTypingReplacesIt) {
  Outcome out = RunDialog([](TfrPreviewSearchForm& form) { form.Edit1->SetText("old"); },
                          [](TfrPreviewSearchForm&) {
                            QTest::keyClicks(QApplication::focusWidget(), "new");
                            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                          });
  EXPECT_EQ(out.result, mrOk);
  EXPECT_EQ(out.text, "new");
  EXPECT_TRUE(out.from_start);
}

TEST(FindDialog, EscapeCancelsAndANewDialogStartsEmpty) {
  Outcome first = RunDialog(nullptr, [](TfrPreviewSearchForm&) {
    QTest::keyClicks(QApplication::focusWidget(), "abc");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(first.result, mrCancel);
  Outcome second = RunDialog(nullptr, [](TfrPreviewSearchForm& form) {
    EXPECT_EQ(form.Edit1->Text(), "");
    Click(form.Button2);
  });
  EXPECT_EQ(second.result, mrCancel);
  EXPECT_EQ(second.text, "");
}

}  // namespace dlg_search_test

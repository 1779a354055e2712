// The progress window: the work runs inside its modal loop once the window
// shows, ends it with a modal result, and a real click on Cancel stops it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <stdexcept>
#include <string>

#include "dialog_support.h"
#include "report/fr_progr.h"
#include "report/fr_globals.h"
#include "report/fr_utils.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace dlg_progress_test {

using dialog_test::Watchdog;

TEST(ProgressWindow, ControlsAndTexts) {
  TfrProgressForm form(nullptr);
  form.AfterConstruction();
  EXPECT_EQ(form.ClientWidth(), 278);
  EXPECT_EQ(form.ClientHeight(), 106);
  EXPECT_EQ(form.BorderStyle(), bsDialog);
  EXPECT_EQ(form.Position(), poScreenCenter);
  EXPECT_FALSE(form.BorderIcons().Contains(biSystemMenu));
  EXPECT_TRUE(form.Button1->Cancel());
  EXPECT_EQ(form.Button1->ModalResult(), mrCancel);
}

TEST(ProgressWindow, WorkRunsInTheShownWindowAndEndsIt) {
  // The library texts come from the report globals.
  frGlobals();
  TfrProgressForm form(nullptr);
  form.AfterConstruction();
  form.Label2->SetCaption("left from the last run");
  bool stop = false;
  bool visible_at_start = false;
  AnsiString label2_at_start = "?";
  int calls = 0;
  form.OnBeforeModal = [&](TfrProgressForm* window) {
    ++calls;
    visible_at_start = window->Visible() && window->Widget()->isVisible();
    label2_at_start = window->Label2->Caption();
    window->SetModalResult(mrOk);
  };
  Watchdog watchdog;
  EXPECT_EQ(form.RunModal(&stop), mrOk);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(visible_at_start);
  EXPECT_EQ(label2_at_start, "");
  EXPECT_EQ(form.Button1->Caption(), LoadReportString(55001));
  EXPECT_FALSE(stop);
  EXPECT_FALSE(form.Visible());
}

// The work steps like a one-pass build: one page a step, the loop's pending
// events processed at each, the stop flag read after them.
TEST(ProgressWindow, ClickOnCancelStopsTheWorkAtItsNextStep) {
  TfrProgressForm form(nullptr);
  form.AfterConstruction();
  bool stop = false;
  int steps = 0;
  int steps_after_stop = 0;
  form.OnBeforeModal = [&](TfrProgressForm* window) {
    for (int page = 1; page <= 100000; ++page) {
      ++steps;
      window->Label1->SetCaption("Page " + std::to_string(page));
      if (page == 5) {
        QWidget* button = window->Button1->Widget();
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
      }
      Application->ProcessMessages();
      if (stop) {
        ++steps_after_stop;
        break;
      }
    }
    window->SetModalResult(stop ? mrCancel : mrOk);
  };
  Watchdog watchdog;
  EXPECT_EQ(form.RunModal(&stop), mrCancel);
  EXPECT_TRUE(stop);
  EXPECT_EQ(steps, 5);
  EXPECT_EQ(steps_after_stop, 1);
}

TEST(ProgressWindow, WorkThatSetsNoResultLeavesTheWindowOpenUntilCancel) {
  TfrProgressForm form(nullptr);
  form.AfterConstruction();
  bool stop = false;
  bool done = false;
  bool open_after_work = false;
  form.OnBeforeModal = [&](TfrProgressForm*) {
    done = true;
    // Checked once the loop has run on after the work returned.
    QTimer::singleShot(50, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      open_after_work = modal != nullptr && modal->isVisible();
      if (modal) {
        modal->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(modal));
      }
      QTest::keyClick(form.Widget(), Qt::Key_Escape);
    });
  };
  Watchdog watchdog;
  EXPECT_EQ(form.RunModal(&stop), mrCancel);
  EXPECT_TRUE(done);
  EXPECT_TRUE(open_after_work);
  EXPECT_TRUE(stop);
}

// The shared window stays above the program's other windows, and the report
// globals that keep it free it with themselves.
TEST(ProgressWindow, TheGlobalsKeepOneStayOnTopWindow) {
  TfrProgressForm* form = frProgressForm();
  EXPECT_EQ(form->FormStyle(), fsStayOnTop);
  EXPECT_TRUE(form->Widget()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  QPointer<QWidget> window = form->Widget();
  FreeGlobals();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(frProgressForm()->FormStyle(), fsStayOnTop);
  FreeProgressForm();
}

TEST(ProgressWindow, OneWindowServesEveryReport) {
  TfrProgressForm* first = frProgressForm();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(frProgressForm(), first);
  bool stop_a = false;
  bool stop_b = false;
  first->OnBeforeModal = [](TfrProgressForm* window) { window->SetModalResult(mrOk); };
  Watchdog watchdog;
  EXPECT_EQ(first->RunModal(&stop_a), mrOk);
  EXPECT_EQ(first->RunModal(&stop_b), mrOk);
  FreeProgressForm();
}

// The runner every long job of a report goes through: the window shows the
// job's texts while the work runs and ends with the work's own verdict, with
// OK when the work gives none, or with Cancel when the user pressed it; an
// error of the work reaches the caller once the window is closed.
TEST(ProgressWindow, TheRunnerEndsWithTheWorksVerdictAndPassesItsErrorOnceClosed) {
  frGlobals();
  struct Case {
    const char* name;
    std::function<void(TfrProgressForm*)> work;
    TModalResult result;
    const char* error;
    bool stop;
  };
  const Case cases[] = {
      {"sets OK", [](TfrProgressForm* f) { f->SetModalResult(mrOk); }, mrOk, "", false},
      {"sets Cancel", [](TfrProgressForm* f) { f->SetModalResult(mrCancel); }, mrCancel, "", false},
      {"gives no verdict", [](TfrProgressForm*) {}, mrOk, "", false},
      {"fails", [](TfrProgressForm*) { throw std::runtime_error("work failed"); }, mrNone, "work failed", false},
      {"sees Cancel clicked",
       [](TfrProgressForm* f) {
         QWidget* button = f->Button1->Widget();
         QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
         Application->ProcessMessages();
       },
       mrCancel, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool stop = false;
    bool running = false;
    bool running_in_work = false;
    bool shown_in_work = false;
    AnsiString caption, prefix, first_line;
    TModalResult result = mrNone;
    std::string error;
    Watchdog watchdog;
    try {
      result = RunInProgressWindow("Building - Protocol", "Page", "Page  1", &stop, running, [&] {
        TfrProgressForm* form = frProgressForm();
        running_in_work = running;
        shown_in_work = form->Widget()->isVisible();
        caption = form->Caption();
        prefix = form->FirstCaption;
        first_line = form->Label1->Caption();
        c.work(form);
      });
    } catch (const std::exception& e) {
      error = e.what();
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(stop, c.stop);
    EXPECT_TRUE(running_in_work);
    EXPECT_TRUE(shown_in_work);
    EXPECT_FALSE(running);
    EXPECT_FALSE(frProgressForm()->Widget()->isVisible());
    EXPECT_EQ(caption, "Building - Protocol");
    EXPECT_EQ(prefix, "Page");
    EXPECT_EQ(first_line, "Page  1");
  }
  FreeProgressForm();
}

}  // namespace dlg_progress_test

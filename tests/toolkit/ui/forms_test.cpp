// Forms and controls: modal loops and their endings, close handling,
// alignment, page controls, menus, labels, progress bars and file dialogs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QKeyEvent>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "tests/support/recording_dialogs.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/memo.h"
#include "toolkit/ui/menus.h"
#include "toolkit/ui/stdctrls.h"

namespace forms_test {

using testsupport::RecordingDialogs;

// Runs step once the next modal loop is running.
void WhenModal(std::function<void()> step) { QTimer::singleShot(0, std::move(step)); }

// Ends every modal loop still running after a while, so that a failing
// case fails instead of hanging.
struct Watchdog {
  explicit Watchdog(std::vector<TForm*> forms) {
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [forms] {
      for (TForm* f : forms)
        if (f->Modal()) f->SetModalResult(-1);
    });
    timer.start(5000);
  }
  QTimer timer;
};

TEST(ModalForms, EachWayOfEndingGivesItsResultAndRunsOnCloseOnce) {
  const struct {
    const char* how;
    std::function<void(TForm&, TButton&)> end;
    TModalResult result;
  } cases[] = {
      {"button with a modal result", [](TForm&, TButton& b) { QTest::mouseClick(b.Widget(), Qt::LeftButton); },
       mrOk},
      {"program sets the result", [](TForm& f, TButton&) { f.SetModalResult(mrYes); }, mrYes},
      {"Close", [](TForm& f, TButton&) { f.Close(); }, mrCancel},
      {"system close (window manager)", [](TForm& f, TButton&) { f.Widget()->close(); }, mrCancel},
      {"Esc presses the cancel button",
       [](TForm& f, TButton&) { QTest::keyClick(f.Widget(), Qt::Key_Escape); }, mrAbort},
  };
  for (const auto& c : cases) {
    TForm form(nullptr);
    TButton ok(&form);
    ok.SetParent(&form);
    ok.SetModalResult(mrOk);
    TButton cancel(&form);
    cancel.SetParent(&form);
    cancel.SetModalResult(mrAbort);
    cancel.SetCancel(true);
    int shows = 0, closes = 0;
    TCloseAction seen = caNone;
    form.OnShow = [&](TComponent*) { ++shows; };
    form.OnClose = [&](TComponent*, TCloseAction& a) {
      ++closes;
      seen = a;
    };
    Watchdog watchdog({&form});
    WhenModal([&] {
      EXPECT_TRUE(form.Widget()->isVisible()) << c.how;
      EXPECT_TRUE(form.Modal()) << c.how;
      c.end(form, ok);
    });
    EXPECT_EQ(form.ShowModal(), c.result) << c.how;
    EXPECT_EQ(shows, 1) << c.how;
    EXPECT_EQ(closes, 1) << c.how;
    EXPECT_EQ(seen, caHide) << c.how;
    EXPECT_FALSE(form.Visible()) << c.how;
    EXPECT_FALSE(form.Widget()->isVisible()) << c.how;
    EXPECT_FALSE(form.Modal()) << c.how;
  }
}

TEST(ModalForms, OnCloseQueryAndCaNoneKeepTheWindowUp) {
  TForm form(nullptr);
  Watchdog watchdog({&form});
  int queries = 0;
  form.OnCloseQuery = [&](TComponent*, bool& can) { can = ++queries >= 2; };
  int closes = 0;
  form.OnClose = [&](TComponent*, TCloseAction& a) {
    if (++closes == 1) a = caNone;
  };
  // Apart in time, so that the loop sees each result before the next one.
  WhenModal([&] {
    form.SetModalResult(mrOk);  // refused by the query
    QTimer::singleShot(30, form.Widget(), [&] {
      EXPECT_TRUE(form.Visible());
      form.SetModalResult(mrOk);  // refused by caNone
      QTimer::singleShot(30, form.Widget(), [&] { form.SetModalResult(mrRetry); });
    });
  });
  EXPECT_EQ(form.ShowModal(), mrRetry);
  EXPECT_EQ(queries, 3);
  EXPECT_EQ(closes, 2);
}

TEST(ModalForms, NestInsideEachOtherAndRefuseAShownWindow) {
  TForm outer(nullptr), inner(nullptr);
  Watchdog watchdog({&outer, &inner});
  std::vector<std::string> order;
  WhenModal([&] {
    WhenModal([&] {
      order.push_back("inner running");
      inner.SetModalResult(mrNo);
    });
    order.push_back(inner.ShowModal() == mrNo ? "inner mrNo" : "inner other");
    EXPECT_THROW(outer.ShowModal(), EInvalidOperation);
    outer.SetModalResult(mrYes);
  });
  EXPECT_EQ(outer.ShowModal(), mrYes);
  EXPECT_EQ(order, (std::vector<std::string>{"inner running", "inner mrNo"}));
}

TEST(Forms, KeepTheirPropertiesAndPlaceThemselves) {
  TForm form(nullptr);
  form.SetBorderStyle(bsNone);
  form.SetPosition(poScreenCenter);
  form.SetClientWidth(400);
  form.SetClientHeight(77);
  form.SetColor(clBtnShadow);
  form.SetCaption(Utf8ToAnsi("Окно"));
  form.Show();
  QWidget* w = form.Widget();
  EXPECT_EQ(w->size(), QSize(400, 77));
  EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Окно"));
  const QRect screen = w->screen()->availableGeometry();
  EXPECT_EQ(w->geometry().center().x() / 2, screen.center().x() / 2);  // centred (within rounding)
  EXPECT_EQ(form.ClientWidget()->palette().color(QPalette::Window), QColor(128, 128, 128));
  form.Hide();

  TForm dialog(nullptr);
  dialog.SetBorderStyle(bsDialog);
  dialog.SetBorderIcons({});
  EXPECT_FALSE(dialog.Widget()->windowFlags() & Qt::WindowCloseButtonHint);
  dialog.SetBorderIcons({biSystemMenu});
  EXPECT_TRUE(dialog.Widget()->windowFlags() & Qt::WindowCloseButtonHint);
}

// The border styles as window hints: only a single or sizeable border has
// minimise and maximise buttons, a dialog border a close box at most, and
// only a sizeable border can be resized.
TEST(Forms, BorderStylesMapToTheWindowsButtonsAndSizing) {
  const struct {
    TFormBorderStyle border;
    bool close, minimise, maximise, resizable;
  } cases[] = {
      {bsSizeable, true, true, true, true},     {bsSingle, true, true, true, false},
      {bsDialog, true, false, false, false},    {bsToolWindow, true, false, false, false},
      {bsSizeToolWin, true, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.border));
    TForm form(nullptr);
    form.SetBorderStyle(c.border);
    form.SetBounds(10, 10, 300, 200);
    form.Show();
    const QWidget* w = form.Widget();
    const Qt::WindowFlags flags = w->windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_EQ(bool(flags & Qt::WindowCloseButtonHint), c.close);
    EXPECT_EQ(bool(flags & Qt::WindowMinimizeButtonHint), c.minimise);
    EXPECT_EQ(bool(flags & Qt::WindowMaximizeButtonHint), c.maximise);
    EXPECT_EQ(w->minimumSize() != w->maximumSize(), c.resizable);
    form.Hide();
  }
}

TEST(Forms, AStayOnTopWindowKeepsItsPlaceAboveWhateverItsBorderAndVisibility) {
  for (TFormBorderStyle border : {bsSizeable, bsSingle, bsDialog, bsToolWindow, bsSizeToolWin, bsNone}) {
    SCOPED_TRACE(static_cast<int>(border));
    TForm form(nullptr);
    form.SetFormStyle(fsStayOnTop);
    form.SetBorderStyle(border);  // the border set after the style must not drop it
    form.Show();
    QWidget* w = form.Widget();
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(form.FormStyle(), fsStayOnTop);
    form.SetFormStyle(fsNormal);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w->isVisible());  // changing the style does not hide a shown window
    form.Hide();
  }
  TForm plain(nullptr);
  EXPECT_EQ(plain.FormStyle(), fsNormal);
  EXPECT_FALSE(plain.Widget()->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST(Forms, MaximisedWindowsFillTheWorkArea) {
  TForm form(nullptr);
  form.SetWindowState(wsMaximized);
  form.Show();
  // The work area, give or take the frame the platform draws.
  const QRect area = form.Widget()->screen()->availableGeometry();
  EXPECT_TRUE(form.Widget()->isMaximized());
  EXPECT_NEAR(form.Widget()->width(), area.width(), 8);
  EXPECT_NEAR(form.Widget()->height(), area.height(), 8);
  EXPECT_EQ(form.Width(), form.Widget()->width());
  form.Hide();
}

TEST(Controls, AlignedChildrenShareTheClientAreaInOrder) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  TToolBar bar(&form);  // alTop by default
  bar.SetParent(&form);
  TPageControl pages(&form);
  pages.SetParent(&form);
  pages.SetAlign(alClient);
  TButton bottom(&form);
  bottom.SetParent(&form);
  bottom.SetAlign(alBottom);
  EXPECT_EQ(bar.BoundsRect(), Bounds(0, 0, 300, 29));
  EXPECT_EQ(bottom.BoundsRect(), Bounds(0, 175, 300, 25));
  EXPECT_EQ(pages.BoundsRect(), Bounds(0, 29, 300, 146));
  bar.Hide();
  EXPECT_EQ(pages.BoundsRect(), Bounds(0, 0, 300, 175));
  form.SetBounds(0, 0, 400, 300);
  EXPECT_EQ(pages.BoundsRect(), Bounds(0, 0, 400, 275));
}

TEST(Controls, ALabelFitsItsTextAndAProgressBarStaysInRange) {
  TForm form(nullptr);
  TLabel label(&form);
  label.SetParent(&form);
  label.SetCaption("short");
  const int short_width = label.Width();
  label.SetCaption(Utf8ToAnsi("Идет прием информации ..."));
  EXPECT_GT(label.Width(), short_width);
  label.Font().SetStyle({fsBold});
  EXPECT_EQ(label.Width(), static_cast<QWidget*>(label.Widget())->sizeHint().width());

  TProgressBar bar(&form);
  const struct {
    int set, kept;
  } cases[] = {{0, 0}, {57, 57}, {100, 100}, {250, 100}, {-3, 0}};
  for (const auto& c : cases) {
    bar.SetPosition(c.set);
    EXPECT_EQ(bar.Position(), c.kept) << c.set;
  }
}

TEST(Controls, PagesShowTheirOwnTabsAndHearWhenTheyBecomeTheShownPage) {
  TForm form(nullptr);
  TPageControl pages(&form);
  pages.SetParent(&form);
  TTabSheet one(&form), two(&form);
  one.SetCaption(Utf8ToAnsi("ТЕФ-КС7"));
  one.SetPageControl(&pages);
  two.SetCaption(Utf8ToAnsi("ЛИВТ - КС7"));
  two.SetPageControl(&pages);
  std::vector<TComponent*> shown;
  one.OnShow = two.OnShow = [&](TComponent* s) { shown.push_back(s); };
  auto* tabs = static_cast<QTabWidget*>(pages.Widget());
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(1), QString::fromUtf8("ЛИВТ - КС7"));
  pages.SetActivePage(&two);
  EXPECT_EQ(pages.ActivePage(), &two);
  one.SetTabVisible(false);
  EXPECT_FALSE(tabs->isTabVisible(0));
  EXPECT_TRUE(tabs->isTabVisible(1));
  pages.SetActivePage(&one);
  EXPECT_EQ(shown, (std::vector<TComponent*>{&two, &one}));
}

TEST(Menus, ItemsRunTheirHandlerWhenChosenUnlessDisabled) {
  RecordingDialogs dialogs;
  TForm form(nullptr);
  TMainMenu menu(&form);
  auto* file = new TMenuItem(&form);
  file->SetCaption(Utf8ToAnsi("Файл"));
  menu.Items().Add(file);
  auto* exit = new TMenuItem(&form);
  exit->SetCaption(Utf8ToAnsi("Выход"));
  exit->SetShortCut(ShortCut('N', {ssCtrl}));
  file->Add(exit);
  auto* line = new TMenuItem(&form);
  line->SetCaption("-");
  file->Add(line);
  form.SetMenu(&menu);
  int runs = 0;
  exit->OnClick = [&](TComponent* s) {
    EXPECT_EQ(s, exit);
    ++runs;
  };
  exit->Action()->trigger();
  exit->SetEnabled(false);
  exit->Action()->trigger();
  exit->Click();
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(line->Action()->isSeparator());
  EXPECT_EQ(ShortCutToText(exit->ShortCut()), "Ctrl+N");
  EXPECT_EQ(ShortCutToText(ShortCut(VK_F1, {})), "F1");
  EXPECT_EQ(file->Find(Utf8ToAnsi("Выход")), exit);
  // A failing item shows its error and leaves the menu usable.
  exit->SetEnabled(true);
  exit->OnClick = [](TComponent*) { throw EDatabaseError("Record not found"); };
  exit->Click();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Record not found.");
}

TEST(Menus, ALineShowsNoTextAndAnItemItsCaption) {
  const struct {
    const char* captions[2];  // set one after the other
    bool line;
    const char* shown;  // the text the menu draws
  } cases[] = {
      {{"-", nullptr}, true, ""},
      {{"Печать", nullptr}, false, "Печать"},
      {{"-", "Печать"}, false, "Печать"},
      {{"Печать", "-"}, true, ""},
      {{"--", nullptr}, false, "--"},
  };
  for (const auto& c : cases) {
    TMenuItem item(nullptr);
    for (const char* caption : c.captions)
      if (caption) item.SetCaption(Utf8ToAnsi(caption));
    EXPECT_EQ(item.IsLine(), c.line) << c.captions[0];
    EXPECT_EQ(item.Action()->isSeparator(), c.line) << c.captions[0];
    EXPECT_EQ(item.Action()->text().toStdString(), c.shown) << c.captions[0];
  }
}

TEST(Menus, ForgetTheirPicturesWhenTheListGoes) {
  TPopupMenu menu(nullptr);
  auto* first = new TImageList(nullptr);
  auto* second = new TImageList(nullptr);
  menu.SetImages(first);
  menu.SetImages(second);
  delete first;  // no longer the menu's: nothing to forget
  EXPECT_EQ(menu.Images(), second);
  delete second;
  EXPECT_EQ(menu.Images(), nullptr);
}

TEST(Menus, ToolBarsAndControlsForgetWhatIsFreedWhicheverGoesFirst) {
  for (bool holder_first : {false, true}) {
    SCOPED_TRACE(holder_first ? "holder freed first" : "target freed first");
    auto* bar = new TToolBar(nullptr);
    auto* images = new TImageList(nullptr);
    auto* menu = new TPopupMenu(nullptr);
    bar->SetImages(images);
    bar->SetPopupMenu(menu);
    EXPECT_EQ(bar->Images(), images);
    EXPECT_EQ(bar->PopupMenu(), menu);
    if (holder_first) bar->Free();
    images->Free();
    menu->Free();
    if (!holder_first) {
      EXPECT_EQ(bar->Images(), nullptr);
      EXPECT_EQ(bar->PopupMenu(), nullptr);
      bar->Free();
    }
  }
}

TEST(Menus, AControlWithoutAWidgetYetForgetsItsFreedPopupMenu) {
  TControl control(nullptr);
  auto* menu = new TPopupMenu(nullptr);
  control.SetPopupMenu(menu);
  menu->Free();
  EXPECT_EQ(control.PopupMenu(), nullptr);
}

TEST(FileDialogs, AddTheDefaultExtensionOnlyToNamesWithoutOne) {
  TSaveDialog dialog(nullptr);
  dialog.SetDefaultExt(".db");
  EXPECT_EQ(dialog.DefaultExt(), "db");
  const struct {
    const char* chosen;
    const char* result;
  } cases[] = {{"/data/a", "/data/a.db"}, {"/data/a.db", "/data/a.db"}, {"/data/a.txt", "/data/a.txt"},
               {"/dir.x/a", "/dir.x/a.db"}, {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(dialog.WithDefaultExt(c.chosen), c.result) << c.chosen;

  RecordingDialogs dialogs;
  dialog.SetInitialDir("/data");
  dialogs.chosen_file = "/data/new";
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(), "/data/new.db");
  dialogs.chosen_file.clear();
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialogs.file_dialog_dirs, (std::vector<std::string>{"/data", "/data"}));
}

TEST(FileDialogs, FiltersSplitIntoDescriptionsAndPatterns) {
  TOpenDialog dialog(nullptr);
  const struct {
    const char* filter;
    std::vector<std::pair<std::string, std::string>> pairs;
  } cases[] = {
      {"Файлы данных|*.db", {{"Файлы данных", "*.db"}}},
      {"A|*.a|B|*.b;*.c", {{"A", "*.a"}, {"B", "*.b;*.c"}}},
      {"", {}},
  };
  for (const auto& c : cases) {
    dialog.SetFilter(Utf8ToAnsi(c.filter));
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& [d, p] : dialog.FilterPairs()) got.emplace_back(AnsiToUtf8(d), AnsiToUtf8(p));
    EXPECT_EQ(got, c.pairs) << c.filter;
  }
}

// A form that previews its keys: it notes each key it hears and uses up X,
// Alt+O and the character '#'.
struct PreviewForm : TForm {
  using TForm::TForm;
  void PreviewKeyDown(uint16_t& key, TShiftState shift) override {
    if (key >= 0x10 && key <= 0x12) return;  // Shift, Ctrl and Alt pressed on their own
    heard += (shift.Contains(ssAlt) ? "Alt+" : "") + std::string(1, char(key)) + " ";
    if (key == 'X' || (key == 'O' && shift.Contains(ssAlt))) key = 0;
  }
  void PreviewKeyPress(char& key) override {
    heard += std::string("'") + key + "' ";
    if (key == '#') key = 0;
  }
  std::string heard;
};

// The form hears a key once and before its focused text box, whether the key
// comes as the window system sends it (offered as a shortcut override
// first) or as a plain press; a key it uses up never reaches the box, and an
// Alt combination it takes runs no button's accelerator.
TEST(Forms, AKeyPreviewHearsEachKeyOnceBeforeTheFocusedControl) {
  const struct {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    const char* text;
    bool plain_press;  // sent without the shortcut override
    const char* heard;
    const char* box;
  } cases[] = {
      {"a letter", Qt::Key_A, Qt::NoModifier, "a", false, "A 'a' ", "a"},
      {"a letter used up", Qt::Key_X, Qt::NoModifier, "x", false, "X ", ""},
      {"a plain press used up", Qt::Key_X, Qt::NoModifier, "x", true, "X ", ""},
      {"a plain press", Qt::Key_B, Qt::NoModifier, "b", true, "B 'b' ", "b"},
      {"a character used up", Qt::Key_NumberSign, Qt::NoModifier, "#", false, "'#' ", ""},
      {"an accelerator", Qt::Key_O, Qt::AltModifier, "", false, "Alt+O ", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PreviewForm form(nullptr);
    form.SetBounds(40, 40, 240, 160);
    auto* box = new TMemo(&form);
    box->SetParent(&form);
    auto* ok = new TButton(&form);
    ok->SetParent(&form);
    ok->SetBounds(10, 120, 60, 22);
    ok->SetCaption("&OK");
    int clicks = 0;
    ok->OnClick = [&](TComponent*) { ++clicks; };
    form.SetKeyPreview(true);
    form.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.Widget()));
    box->SetFocus();
    QApplication::processEvents();
    if (c.plain_press) {
      QKeyEvent press(QEvent::KeyPress, c.key, c.mods, c.text);
      QApplication::sendEvent(box->Widget(), &press);
    } else {
      QTest::keyClick(box->Widget(), c.key, c.mods);
    }
    // A button's accelerator holds the button down at once and clicks it
    // when a timer of the GUI library fires; with every queued event handled,
    // a button that is not down and not clicked shows that none ran, without
    // waiting for that timer.
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
    auto* button = qobject_cast<QAbstractButton*>(ok->Widget());
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isDown());
    EXPECT_EQ(form.heard, c.heard);
    EXPECT_EQ(box->Text(), c.box);
    EXPECT_EQ(clicks, 0);
  }
}

}  // namespace forms_test

// The main window's frame: its state without a table, menus and tool bar,
// "Default_dir", "Выход", help and the about box.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/about.h"
#include "app/main.h"
#include "tests/app/link_support.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

namespace main_test {

using linktest::ScopedEnv;
using testsupport::RecordingDialogs;

// Runs in a folder of its own with a settings file of its own.
struct MainWindow : ::testing::Test {
  std::string dir = testsupport::TempDir("main_window");
  std::string settings = dir + "/kiv7.ini";
  ScopedEnv env{"KIV7_SETTINGS", settings.c_str()};
  std::string old_cwd = GetCurrentDir();

  void SetUp() override { ASSERT_EQ(::chdir(dir.c_str()), 0); }
  void TearDown() override { ASSERT_EQ(::chdir(old_cwd.c_str()), 0); }

  // A main window as the program body makes it (without making it the
  // application's main window, which would end the test's loop on close).
  static std::unique_ptr<TForm1> Start() {
    auto form = std::make_unique<TForm1>(nullptr);
    form->AfterConstruction();
    return form;
  }
  std::string StoredDefaultDir() {
    TRegistry registry(settings);
    if (!registry.OpenKey(kAppRegistryKey, false) || !registry.ValueExists("Default_dir")) return "<none>";
    return AnsiToUtf8(registry.ReadString("Default_dir"));
  }
};

TEST_F(MainWindow, WithoutATableIsMaximisedShadowColouredWithTabsHiddenAndTableCommandsOff) {
  RecordingDialogs dialogs;
  auto form = Start();
  EXPECT_EQ(AnsiToUtf8(form->Caption()), "ЛИВТ - КС7");
  EXPECT_EQ(form->WindowState(), wsMaximized);
  EXPECT_EQ(form->Color(), clBtnShadow);
  EXPECT_FALSE(form->PageControl1->Visible());
  EXPECT_FALSE(form->TableOpen);
  const struct {
    const char* name;
    bool enabled;
  } items[] = {{"N2", true},   {"N3", true},   {"N4", false},  {"N5", false},  {"N7", false},
               {"N8", false},  {"N9", false},  {"N11", true},  {"N27", false}, {"N29", false},
               {"N30", false}, {"N31", false}, {"N33", false}, {"N34", false}, {"Excel1", false},
               {"N37", false}, {"N24", true},  {"N26", true}};
  for (const auto& i : items) {
    TMenuItem* found = nullptr;
    std::function<void(TMenuItem&)> look = [&](TMenuItem& m) {
      for (int k = 0; k < m.Count(); ++k) {
        if (m.Items(k)->Name() == i.name) found = m.Items(k);
        look(*m.Items(k));
      }
    };
    look(form->MainMenu1->Items());
    ASSERT_NE(found, nullptr) << i.name;
    EXPECT_EQ(found->Enabled(), i.enabled) << i.name;
  }
  const struct {
    TToolButton* button;
    bool enabled;
  } buttons[] = {{form->ToolButton1, true},  {form->ToolButton2, true},  {form->ToolButton3, false},
                 {form->ToolButton4, false}, {form->ToolButton5, false}, {form->ToolButton6, true}};
  for (const auto& b : buttons) EXPECT_EQ(b.button->Enabled(), b.enabled) << b.button->Name();
  EXPECT_TRUE(dialogs.boxes.empty());

  form->Show();
  EXPECT_EQ(form->ClientWidget()->palette().color(QPalette::Window), QColor(128, 128, 128));
  EXPECT_TRUE(form->Widget()->isMaximized());
  form->Hide();
}

TEST_F(MainWindow, CarriesTheMenusToolBarAndTabsOfTheProgram) {
  auto form = Start();
  std::vector<std::string> bar;
  for (int i = 0; i < form->MainMenu1->Items().Count(); ++i)
    bar.push_back(AnsiToUtf8(form->MainMenu1->Items().Items(i)->Caption()));
  EXPECT_EQ(bar, (std::vector<std::string>{"Файл", "Вид", "Правка", "Сервис", "Справка"}));
  const struct {
    TMenuItem* menu;
    std::vector<std::string> items;  // "name caption", "-" for a line
  } menus[] = {
      {form->N1,
       {"N2 Создать", "N3 Открыть", "N4 Дополнить", "N5 Сохранить", "N7 Закрыть", "-",
        "N8 Предварительный просмотр", "N9 Печать", "-", "N11 Выход"}},
      {form->N12,
       {"N27 Выровнять столбцы", "-", "N29 Задать цвет", "N30 Убрать цвет", "N31 Убрать все цвета", "-",
        "N33 Убрать сортировку"}},
      {form->N13, {"N34 Удалить строки"}},
      {form->N35, {"Excel1 Экспорт в Excel", "N37 Перенумеровать строки"}},
      {form->N14, {"N24 Помощь", "-", "N26 О программе"}},
  };
  for (const auto& m : menus) {
    std::vector<std::string> items;
    for (int i = 0; i < m.menu->Count(); ++i) {
      const TMenuItem* item = m.menu->Items(i);
      items.push_back(item->IsLine() ? "-" : item->Name() + " " + AnsiToUtf8(item->Caption()));
    }
    EXPECT_EQ(items, m.items) << AnsiToUtf8(m.menu->Caption());
  }
  const struct {
    TMenuItem* item;
    const char* keys;
  } keys[] = {{form->N2, "Ctrl+N"}, {form->N3, "Ctrl+O"}, {form->N5, "Ctrl+S"},
              {form->N9, "Ctrl+P"}, {form->N24, "F1"},    {form->N11, ""}};
  for (const auto& k : keys) EXPECT_EQ(ShortCutToText(k.item->ShortCut()), k.keys) << k.item->Name();
  std::vector<std::string> popup;
  for (int i = 0; i < form->PopupMenu1->Items().Count(); ++i) {
    const TMenuItem* item = form->PopupMenu1->Items().Items(i);
    popup.push_back(item->IsLine() ? "-" : item->Name() + " " + AnsiToUtf8(item->Caption()));
  }
  EXPECT_EQ(popup, (std::vector<std::string>{"N22 Печать", "-", "N17 Задать цвет", "N18 Убрать цвет",
                                             "N19 Убрать все цвета", "-", "N23 Выровнять столбцы", "-",
                                             "N21 Удалить"}));
  EXPECT_EQ(form->ImageList1->Count(), 6);
  EXPECT_EQ(form->ToolBar1->ControlCount(), 6);
  EXPECT_EQ(form->ToolButton6->ImageIndex(), 5);
  // Each button runs its menu item's handler, also one assigned later.
  const struct {
    TToolButton* button;
    TMenuItem* item;
    int image;
  } twins[] = {{form->ToolButton1, form->N2, 0}, {form->ToolButton2, form->N3, 1}, {form->ToolButton3, form->N5, 2},
               {form->ToolButton4, form->N8, 3}, {form->ToolButton5, form->N9, 4}, {form->ToolButton6, form->N24, 5}};
  for (const auto& t : twins) {
    std::vector<TComponent*> ran;
    for (const auto& other : twins) other.item->OnClick = [&ran, &other](TComponent*) { ran.push_back(other.item); };
    t.button->Click();
    EXPECT_EQ(ran, std::vector<TComponent*>{t.item}) << t.button->Name();
    EXPECT_EQ(t.button->ImageIndex(), t.image) << t.button->Name();
  }
  // The tabs as the page control shows them: press rows first, then acoustic.
  auto* tabs = static_cast<QTabWidget*>(form->PageControl1->Widget());
  ASSERT_EQ(form->PageControl1->PageCount(), 2);
  ASSERT_EQ(tabs->count(), 2);
  const struct {
    TTabSheet* sheet;
    const char* caption;
  } sheets[] = {{form->TabSheet1, "ТЕФ-КС7"}, {form->TabSheet2, "ЛИВТ - КС7"}};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(form->PageControl1->Pages(i), sheets[i].sheet) << i;
    EXPECT_EQ(AnsiToUtf8(sheets[i].sheet->Caption()), sheets[i].caption) << i;
    EXPECT_EQ(tabs->tabText(i).toStdString(), sheets[i].caption) << i;
  }
  // Our pictures have a transparent ground and some ink.
  TBitmap picture;
  ASSERT_TRUE(form->ImageList1->GetBitmap(2, picture));
  EXPECT_EQ(picture.Width(), 16);
}

TEST_F(MainWindow, FirstStartWritesDefaultDirAndTheSecondProposesIt) {
  RecordingDialogs dialogs;
  EXPECT_EQ(StoredDefaultDir(), "<none>");
  {
    auto first = Start();
    EXPECT_EQ(first->DefaultDir, dir);
    EXPECT_EQ(StoredDefaultDir(), dir);
  }
  const std::string elsewhere = testsupport::TempDir("main_window_elsewhere");
  ASSERT_EQ(::chdir(elsewhere.c_str()), 0);
  auto second = Start();
  EXPECT_EQ(second->DefaultDir, dir);
  EXPECT_EQ(second->OpenDialog1->InitialDir(), dir);
  EXPECT_EQ(second->SaveDialog1->InitialDir(), dir);
  dialogs.chosen_file.clear();
  second->OpenDialog1->Execute();
  second->SaveDialog1->Execute();
  EXPECT_EQ(dialogs.file_dialog_dirs, (std::vector<std::string>{dir, dir}));
  EXPECT_EQ(StoredDefaultDir(), dir);
}

TEST_F(MainWindow, ExitClosesThroughTheWindowsCloseSoDefaultDirIsWritten) {
  const struct {
    const char* folder;
    const char* stored;  // what the settings hold afterwards
  } cases[] = {
      {"/Данные", "/Данные"},
      // 1251 cannot spell it: the last good folder stays rather than a garbled one.
      {"/データ", "/Данные"},
  };
  for (const auto& c : cases) {
    auto form = Start();
    form->Show();
    form->DefaultDir = dir + c.folder;
    form->N11->Click();
    EXPECT_EQ(StoredDefaultDir(), dir + c.stored) << c.folder;
    EXPECT_FALSE(form->Visible()) << c.folder;
  }
}

// No focus rectangle stays on "Создать" after a click: a tool button takes
// no focus, neither from the click nor when its window is activated again.
TEST_F(MainWindow, TheCreateToolButtonTakesNoFocus) {
  RecordingDialogs dialogs;  // the save dialog is cancelled
  auto form = Start();
  form->Show();
  form->Widget()->activateWindow();
  QApplication::processEvents();
  QWidget* button = form->ToolButton1->Widget();
  QTest::mouseClick(button, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(dialogs.file_dialog_dirs.size(), 1u);
  form->Widget()->activateWindow();
  QApplication::processEvents();
  EXPECT_FALSE(button->hasFocus());
  EXPECT_NE(QApplication::focusWidget(), button);
  form->Hide();
}

TEST_F(MainWindow, HelpSaysThereIsNoneAndTheAboutBoxComesUpModal) {
  RecordingDialogs dialogs;
  Application->SetHelpFile(dir + "/kiv7.hlp");
  auto form = Start();
  form->N24->Click();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_NE(AnsiToUtf8(dialogs.boxes[0].text).find("kiv7.hlp"), std::string::npos);

  Tform6 about(nullptr);
  form6 = &about;
  bool was_modal = false;
  QTimer::singleShot(0, about.Widget(), [&] {
    was_modal = about.Modal();
    about.Button1->Click();
  });
  QTimer::singleShot(5000, about.Widget(), [&] { about.SetModalResult(-1); });
  form->N26->Click();
  form6 = nullptr;
  EXPECT_TRUE(was_modal);
  EXPECT_FALSE(about.Visible());
}

TEST_F(MainWindow, MeasurementColumnsShowThroughTheirNumericVisionsAndPressCommentsThroughTheTextVision) {
  RecordingDialogs dialogs;
  auto form = Start();
  EXPECT_EQ(form->NumericVision_00->DisplayFormat(), "0.000");
  EXPECT_EQ(form->NumericVision_00->Alignment(), talCenter);
  EXPECT_EQ(form->NumericVision1->DisplayFormat(), "0.0");
  EXPECT_EQ(form->NumericVision2->DisplayFormat(), "0");
  for (TNumericVision* v : {form->NumericVision_00, form->NumericVision1, form->NumericVision2}) {
    EXPECT_EQ(v->DropDownKind(), ndkCustom);
    EXPECT_FALSE(v->EnableButton());
  }
  EXPECT_EQ(form->TextVision1->DisplayAs(), tbmText);
  // Each column's vision by position ("-" for the default vision).
  const auto visions = [&](TDBGridPro* grid) {
    std::string out;
    for (int i = 0; i < grid->Columns()->Count(); ++i) {
      TvpFieldVision* v = grid->Columns()->Items(i)->Vision();
      out += v == nullptr ? "-" : v == form->NumericVision_00 ? "0" : v == form->NumericVision1 ? "1"
                              : v == form->NumericVision2    ? "2" : v == form->TextVision1   ? "T" : "?";
    }
    return out;
  };
  // N DATE TIME T P R TYPE H ZAV COMMENT and two columns without a field.
  EXPECT_EQ(visions(form->DBGridPro1), "----00---T--");
  // N DATE TIME R A1 A2 A3, hidden D1 D2 D3, D1 D2 D3, H P K COMMENT.
  EXPECT_EQ(visions(form->DBGridPro2), "---111111-111-22-");
}

}  // namespace main_test

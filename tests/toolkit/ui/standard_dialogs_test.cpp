// The screen's standard dialogs as the user meets them: the file dialogs, the
// overwrite question, the colour dialog and the message boxes speak Russian
// whatever the locale, wear a dialog's frame (a close box, no minimise or
// maximise button), show every column of the file list and their whole
// caption. Each is looked at while it is up, in pictures taken offscreen.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <string>

#include "tests/support/pictures.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"

namespace standard_dialogs_test {

using testsupport::SavePicture;

struct StandardDialogs : ::testing::Test {
  void SetUp() override { Application->Initialize(); }
  testsupport::ScreenDialogs screen;
};

// Runs `then` on the next modal window other than `below` once it is up;
// a window nobody looked at is closed after five seconds so no test hangs.
void OnNextModal(std::function<void(QWidget*)> then, QWidget* below = nullptr) {
  auto* poll = new QTimer;
  auto* waited = new int(0);
  QObject::connect(poll, &QTimer::timeout, [poll, waited, below, then] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != below && modal->isVisible()) {
      poll->stop();
      poll->deleteLater();
      delete waited;
      then(modal);
      return;
    }
    if (++*waited > 500) {
      ADD_FAILURE() << "no dialog came up";
      poll->stop();
      poll->deleteLater();
      delete waited;
    }
  });
  poll->start(10);
}

// Every text the window shows: its caption, labels, buttons, fields and the
// titles of its lists, without the marks of the accelerators.
QStringList TextsOf(QWidget* window) {
  QStringList texts{window->windowTitle()};
  for (auto* label : window->findChildren<QLabel*>())
    if (label->isVisible()) texts << label->text();
  for (auto* button : window->findChildren<QAbstractButton*>())
    if (button->isVisible()) texts << button->text();
  for (auto* tree : window->findChildren<QTreeView*>())
    for (int i = 0; i < tree->model()->columnCount(); ++i)
      texts << tree->model()->headerData(i, Qt::Horizontal).toString();
  for (QString& t : texts) t.remove('&');
  return texts;
}

std::string Joined(const QStringList& texts) { return texts.join(" | ").toStdString(); }

void ExpectTexts(QWidget* window, const std::vector<const char*>& wanted) {
  const QStringList texts = TextsOf(window);
  for (const char* text : wanted)
    EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text << " not among: " << Joined(texts);
}

// A dialog's frame: a close box and no minimise or maximise button.
void ExpectDialogFrame(QWidget* window) {
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
}

TEST_F(StandardDialogs, TheSaveDialogAndItsOverwriteQuestionSpeakRussianAndShowEveryColumn) {
  const std::string dir = testsupport::TempDir("save");
  testsupport::WriteFile(dir + "/old.db", "keep");
  TSaveDialog dialog(nullptr);
  dialog.SetInitialDir(dir);
  dialog.SetFilter(Utf8ToAnsi("Файлы данных|*.db"));
  dialog.SetDefaultExt("db");
  bool looked = false, asked = false;
  OnNextModal([&](QWidget* window) {
    looked = true;
    QApplication::processEvents();
    EXPECT_TRUE(SavePicture(window->grab().toImage(), "standard_save_dialog"));
    ExpectTexts(window, {"Сохранить как", "Сохранить", "Отмена", "Имя файла:", "Типы файлов:", "Перейти к:", "Имя",
                         "Размер", "Тип", "Дата изменения"});
    ExpectDialogFrame(window);
    // Every column of the list shows whole, the last one too.
    auto* list = window->findChild<QTreeView*>("treeView");
    ASSERT_NE(list, nullptr);
    QHeaderView* header = list->header();
    const int last = header->logicalIndexAt(header->length() - 1);
    EXPECT_EQ(last, 3);
    EXPECT_LE(header->sectionViewportPosition(3) + header->sectionSize(3), list->viewport()->width());
    QApplication::processEvents();  // the folder's entries are read in the background
    for (int i = 1; i < header->count(); ++i) {
      const QString title = list->model()->headerData(i, Qt::Horizontal).toString();
      EXPECT_GT(header->sectionSize(i), header->fontMetrics().horizontalAdvance(title)) << title.toStdString();
      // The entries too: the size, the type and the date of old.db.
      EXPECT_GE(header->sectionSize(i), static_cast<QAbstractItemView*>(list)->sizeHintForColumn(i))
          << title.toStdString();
    }
    // The name of a file that is there: the dialog asks before replacing it.
    auto* name = window->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText("old.db");
    OnNextModal(
        [&](QWidget* question) {
          asked = true;
          EXPECT_TRUE(SavePicture(question->grab().toImage(), "standard_overwrite_question"));
          const QStringList texts = TextsOf(question);
          EXPECT_TRUE(texts.filter(QString::fromUtf8("уже существует")).size() == 1) << Joined(texts);
          ExpectTexts(question, {"Да", "Нет"});
          ExpectDialogFrame(question);
          auto* box = qobject_cast<QMessageBox*>(question);
          ASSERT_NE(box, nullptr);
          box->button(QMessageBox::No)->click();
          // Not replaced: the save dialog stays up and is cancelled.
          QTimer::singleShot(0, window, [window] { static_cast<QDialog*>(window)->reject(); });
        },
        window);
    static_cast<QDialog*>(window)->accept();
  });
  EXPECT_FALSE(dialog.Execute());
  EXPECT_TRUE(looked);
  EXPECT_TRUE(asked);
  EXPECT_EQ(testsupport::ReadFile(dir + "/old.db"), "keep");
}

TEST_F(StandardDialogs, TheOpenDialogSpeaksRussian) {
  TOpenDialog dialog(nullptr);
  dialog.SetInitialDir(testsupport::TempDir("open"));
  dialog.SetFilter(Utf8ToAnsi("Базы данных|*.db"));
  bool looked = false;
  OnNextModal([&](QWidget* window) {
    looked = true;
    EXPECT_TRUE(SavePicture(window->grab().toImage(), "standard_open_dialog"));
    ExpectTexts(window, {"Открыть", "Отмена", "Имя файла:", "Типы файлов:", "Перейти к:", "Дата изменения"});
    ExpectDialogFrame(window);
    static_cast<QDialog*>(window)->reject();
  });
  EXPECT_FALSE(dialog.Execute());
  EXPECT_TRUE(looked);
}

TEST_F(StandardDialogs, TheColourDialogSpeaksRussianAndGivesTheChosenColour) {
  TColorDialog dialog(nullptr);
  dialog.SetColor(clRed);
  bool looked = false;
  OnNextModal([&](QWidget* window) {
    looked = true;
    EXPECT_TRUE(SavePicture(window->grab().toImage(), "standard_colour_dialog"));
    ExpectTexts(window, {"Выбор цвета", "Основные цвета", "Отмена"});
    ExpectDialogFrame(window);
    static_cast<QDialog*>(window)->accept();
  });
  EXPECT_TRUE(dialog.Execute());
  EXPECT_TRUE(looked);
  EXPECT_EQ(dialog.Color(), ColorToRGB(clRed));
}

// The boxes the program shows: the caption of a message dialog is Russian,
// the frame a dialog's, and the box at least as wide as its caption with the
// window's icon and close box beside it.
TEST_F(StandardDialogs, MessageBoxesAreCaptionedInRussianAndKeepTheirCaptionWhole) {
  const struct {
    const char* caption;  // nullptr: the caption of an error dialog
    const char* text;
  } cases[] = {
      {nullptr, "Вы подключили не тот прибор !"},
      {"ЛИВТ - КС7 - acoustic1", "Дополнить ?"},
      {"Экспорт в Excel: очень длинное имя файла таблицы", "Да"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int width = 0, wanted = 0;
    QString caption;
    OnNextModal([&](QWidget* window) {
      caption = window->windowTitle();
      width = window->width();
      QFont bold = window->font();
      bold.setBold(true);
      wanted = QFontMetrics(bold).horizontalAdvance(caption);
      ExpectDialogFrame(window);
      EXPECT_EQ(window->minimumSize(), window->maximumSize());  // a fixed box
      window->close();
    });
    if (c.caption)
      Application->MessageBox(Utf8ToAnsi(c.text), Utf8ToAnsi(c.caption), MB_OK);
    else
      MessageDlg(Utf8ToAnsi(c.text), mtError, {mbOK});
    EXPECT_EQ(caption.toStdString(), c.caption ? c.caption : "Ошибка");
    // Room for the icon and the close box beside the caption.
    EXPECT_GE(width, wanted + 48) << caption.toStdString();
  }
}

}  // namespace standard_dialogs_test

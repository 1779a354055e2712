// The program's windows in the classic look, in pictures taken offscreen:
// the main window, its open "Файл" menu and the transfer dialog during a
// transfer. The pictures are saved under the build tree (pictures/).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include "app/main.h"
#include "app/receive.h"
#include "tests/app/link_support.h"
#include "tests/support/pictures.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/testsupport.h"

namespace look_test {

using linktest::ScopedEnv;
using linktest::Simulator;
using testsupport::CountColor;
using testsupport::PixelColor;
using testsupport::SavePicture;

constexpr TColor kFace = RGB(212, 208, 200);

struct ClassicWindows : ::testing::Test {
  std::string dir = testsupport::TempDir("classic_windows");
  ScopedEnv settings{"KIV7_SETTINGS", (dir + "/kiv7.ini").c_str()};
  testsupport::RecordingDialogs dialogs;
};

TEST_F(ClassicWindows, MainWindowAndItsFileMenu) {
  TForm1 form(nullptr);
  form.AfterConstruction();
  form.Show();
  QApplication::processEvents();
  const QImage shot = form.Widget()->grab().toImage();
  ASSERT_TRUE(SavePicture(shot, "main_window"));

  auto* bar = form.Widget()->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  const QImage bar_shot = bar->grab().toImage();
  EXPECT_EQ(PixelColor(bar_shot, bar_shot.width() - 4, bar_shot.height() / 2), ColorToRGB(clMenu));
  EXPECT_EQ(QFontInfo(bar->font()).pixelSize(), 11);

  // The tool bar: the commands that need a table are off, their pictures
  // embossed in white and the shadow colour, without the colours they have on.
  const QImage on = form.ToolButton2->Widget()->grab().toImage();
  const QImage off = form.ToolButton3->Widget()->grab().toImage();
  ASSERT_FALSE(form.ToolButton3->Enabled());
  EXPECT_GT(CountColor(off, RGB(128, 128, 128)), 10);
  EXPECT_GT(CountColor(off, RGB(255, 255, 255)), 5);
  EXPECT_EQ(CountColor(off, RGB(0, 0, 0)), 0);
  EXPECT_GT(CountColor(on, RGB(0, 0, 0)), 0);

  // The "Файл" menu open, "Создать" under the mouse.
  QMenu* file = form.N1->SubMenu();
  ASSERT_NE(file, nullptr);
  file->popup(form.Widget()->mapToGlobal(QPoint(0, bar->height())));
  file->setActiveAction(form.N2->Action());
  QApplication::processEvents();
  const QImage menu = file->grab().toImage();
  ASSERT_TRUE(SavePicture(menu, "main_window_file_menu"));
  SavePicture(menu.scaled(menu.size() * 3), "main_window_file_menu_x3");
  const QRect active = file->actionGeometry(form.N2->Action());
  const QRect disabled = file->actionGeometry(form.N4->Action());
  EXPECT_EQ(PixelColor(menu, active.right() - 3, active.center().y()), ColorToRGB(clHighlight));
  EXPECT_EQ(PixelColor(menu, disabled.right() - 3, disabled.center().y()), ColorToRGB(clMenu));
  // A disabled item's text is grey, etched over a white copy.
  EXPECT_GT(CountColor(menu.copy(disabled), ColorToRGB(clGrayText)), 10);
  EXPECT_GT(CountColor(menu.copy(disabled), RGB(255, 255, 255)), 10);
  EXPECT_EQ(CountColor(menu.copy(disabled), RGB(0, 0, 0)), 0);
  EXPECT_EQ(QFontInfo(file->font()).pixelSize(), 11);
  file->close();
  form.Hide();
}

TEST_F(ClassicWindows, TransferDialogHalfWayThroughATransfer) {
  const std::string port = dir + "/instrument";
  ScopedEnv ports{"KIV7_PORTS", ("COM1=" + port).c_str()};
  Simulator sim(port, {"--press", "60", "--subtype", "3", "--chunk", "64", "--delay-ms", "20"});
  ASSERT_TRUE(sim.Ready());
  TForm2 form(nullptr);
  form.AfterConstruction();
  QImage shot, bar_shot;
  auto* bar = static_cast<QProgressBar*>(form.ProgressBar1->Widget());
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
    if (shot.isNull() && value >= 40) {
      shot = form.Widget()->grab().toImage();
      bar_shot = bar->grab().toImage();
    }
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] { form.SetModalResult(-1); });
  guard.start(15000);
  EXPECT_EQ(form.ShowModal(), mrOk);
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(SavePicture(shot, "transfer_dialog"));
  SavePicture(bar_shot.scaled(bar_shot.size() * 4), "transfer_dialog_bar");
  EXPECT_EQ(PixelColor(shot, 3, shot.height() - 3), kFace);
  EXPECT_EQ(PixelColor(shot, shot.width() - 3, 3), kFace);
  // The classic bar is a row of separate blocks in the highlight colour.
  const int y = bar_shot.height() / 2;
  int blocks = 0;
  bool in_block = false;
  for (int x = 0; x < bar_shot.width(); ++x) {
    const bool highlight = PixelColor(bar_shot, x, y) == ColorToRGB(clHighlight);
    if (highlight && !in_block) ++blocks;
    in_block = highlight;
  }
  EXPECT_GE(blocks, 5);
}

}  // namespace look_test

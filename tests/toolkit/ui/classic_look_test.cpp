// The classic look that the application set-up applies: the "Windows" style,
// the palette of the system colour table, the default GUI font and embossed
// disabled images, checked in pictures taken offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QProxyStyle>
#include <QTimer>
#include <QWidget>

#include "tests/support/pictures.h"
#include "tests/support/recording_dialogs.h"
#include "toolkit/core/text.h"
#include "toolkit/gfx/qt_canvas.h"
#include "toolkit/ui/classic_look.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace classic_look_test {

using testsupport::CountColor;
using testsupport::PixelColor;
using testsupport::SavePicture;

struct ClassicLook : ::testing::Test {
  void SetUp() override { Application->Initialize(); }
};

TColor Role(const QPalette& palette, QPalette::ColorGroup group, QPalette::ColorRole role) {
  const QColor c = palette.color(group, role);
  return RGB(c.red(), c.green(), c.blue());
}

TEST_F(ClassicLook, TheApplicationWearsTheWindowsStyle) {
  auto* proxy = qobject_cast<QProxyStyle*>(QApplication::style());
  ASSERT_NE(proxy, nullptr);
  EXPECT_EQ(proxy->baseStyle()->name().toLower(), "windows");
}

TEST_F(ClassicLook, PalettesComeFromTheSystemColourTable) {
  const QPalette app = QApplication::palette();
  const QPalette menu = QApplication::palette("QMenu");
  const QPalette bar = QApplication::palette("QMenuBar");
  const struct {
    const char* what;
    const QPalette& palette;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
    TColor expected;
  } cases[] = {
      {"button face", app, QPalette::Active, QPalette::Button, RGB(212, 208, 200)},
      {"window background", app, QPalette::Active, QPalette::Window, RGB(212, 208, 200)},
      {"inactive windows keep it", app, QPalette::Inactive, QPalette::Window, RGB(212, 208, 200)},
      {"edit background", app, QPalette::Active, QPalette::Base, RGB(255, 255, 255)},
      {"highlight", app, QPalette::Active, QPalette::Highlight, RGB(10, 36, 106)},
      {"inactive highlight", app, QPalette::Inactive, QPalette::Highlight, RGB(10, 36, 106)},
      {"highlighted text", app, QPalette::Active, QPalette::HighlightedText, RGB(255, 255, 255)},
      {"3D light edge", app, QPalette::Active, QPalette::Light, RGB(255, 255, 255)},
      {"3D shadow edge", app, QPalette::Active, QPalette::Dark, RGB(128, 128, 128)},
      {"3D dark shadow", app, QPalette::Active, QPalette::Shadow, RGB(64, 64, 64)},
      {"disabled text", app, QPalette::Disabled, QPalette::ButtonText, RGB(128, 128, 128)},
      {"tool tip", app, QPalette::Active, QPalette::ToolTipBase, RGB(255, 255, 225)},
      {"menu background", menu, QPalette::Active, QPalette::Window, ColorToRGB(clMenu)},
      {"menu item background", menu, QPalette::Active, QPalette::Button, ColorToRGB(clMenu)},
      {"menu text", menu, QPalette::Active, QPalette::WindowText, ColorToRGB(clMenuText)},
      {"menu highlight", menu, QPalette::Active, QPalette::Highlight, ColorToRGB(clHighlight)},
      {"menu bar", bar, QPalette::Active, QPalette::Window, ColorToRGB(clMenu)},
  };
  for (const auto& c : cases) EXPECT_EQ(Role(c.palette, c.group, c.role), c.expected) << c.what;
}

TEST_F(ClassicLook, MenusDialogsAndMessageBoxesUseTheDefaultGuiFont) {
  const QFont expected = ToQFont(TFont());
  for (const char* widget_class : {"", "QMenu", "QMenuBar", "QMessageBox", "QMessageBoxLabel"}) {
    SCOPED_TRACE(widget_class);
    const QFont font = *widget_class ? QApplication::font(widget_class) : QApplication::font();
    EXPECT_EQ(font.family(), expected.family());
    // 8 points at 96 pixels per inch.
    EXPECT_EQ(font.pixelSize(), 11);
    EXPECT_FALSE(font.bold());
  }
  QMenu menu;
  EXPECT_EQ(QFontInfo(menu.font()).pixelSize(), 11);
}

// A 16 x 16 tool-bar image: a black square, a white and a button-face patch
// and a red dot on the background (transparent, or a mask colour).
QImage ToolImage(QRgb background = qRgba(0, 0, 0, 0)) {
  QImage image(16, 16, QImage::Format_ARGB32);
  image.fill(background);
  for (int y = 3; y < 8; ++y)
    for (int x = 3; x < 8; ++x) image.setPixel(x, y, qRgb(0, 0, 0));
  for (int y = 10; y < 14; ++y)
    for (int x = 10; x < 14; ++x) image.setPixel(x, y, qRgb(255, 255, 255));
  image.setPixel(1, 12, qRgb(212, 208, 200));
  image.setPixel(2, 12, qRgb(200, 0, 0));
  return image;
}

TEST_F(ClassicLook, DisabledImagesAreEmbossed) {
  const QImage source = ToolImage();
  const QImage direct = EmbossedPixmap(QPixmap::fromImage(source)).toImage();
  // Through the style, as a disabled tool button or menu item asks for it.
  TImageList list(nullptr);
  TBitmap bitmap;
  bitmap.SetImage(ToolImage(qRgb(255, 0, 255)));
  list.AddMasked(bitmap, clFuchsia);
  const QImage styled = list.Icon(0).pixmap(16, 16, QIcon::Disabled).toImage();
  const struct {
    int x, y;
    TColor expected;  // clNone: transparent
  } probes[] = {
      {3, 3, RGB(128, 128, 128)},  // the silhouette in the shadow colour
      {7, 7, RGB(128, 128, 128)},
      {8, 8, RGB(255, 255, 255)},  // the white copy one pixel right and down
      {8, 4, RGB(255, 255, 255)},
      {4, 8, RGB(255, 255, 255)},
      {3, 8, clNone},              // below the square's left edge nothing
      {11, 11, clNone},            // white parts drop out
      {1, 12, clNone},             // and so do button-face parts
      {2, 12, RGB(128, 128, 128)}, // any other colour is kept
      {3, 13, RGB(255, 255, 255)},
      {0, 0, clNone},
  };
  for (const QImage* image : {&direct, &styled}) {
    ASSERT_EQ(image->size(), QSize(16, 16));
    for (const auto& p : probes) {
      const QRgb pixel = image->pixel(p.x, p.y);
      if (p.expected == clNone) {
        EXPECT_EQ(qAlpha(pixel), 0) << p.x << "," << p.y;
      } else {
        EXPECT_EQ(qAlpha(pixel), 255) << p.x << "," << p.y;
        EXPECT_EQ(PixelColor(*image, p.x, p.y), p.expected) << p.x << "," << p.y;
      }
    }
  }
  SavePicture(styled.scaled(64, 64), "classic_disabled_image");
}

TEST_F(ClassicLook, PicturesOfAFormAMenuAndAMessageBox) {
  // A form with a button, a check box and a tool bar of an enabled and a
  // disabled button.
  TForm form(nullptr);
  form.SetBounds(0, 0, 240, 120);
  TImageList images(&form);
  TBitmap bitmap;
  bitmap.SetImage(ToolImage(qRgb(255, 0, 255)));
  images.AddMasked(bitmap, clFuchsia);
  TToolBar bar(&form);
  bar.SetParent(&form);
  bar.SetImages(&images);
  TToolButton on(&form), off(&form);
  for (TToolButton* b : {&on, &off}) {
    b->SetParent(&bar);
    b->SetImageIndex(0);
  }
  off.SetEnabled(false);
  TButton button(&form);
  button.SetParent(&form);
  button.SetCaption(Utf8ToAnsi("Отмена"));
  button.SetBounds(16, 60, 75, 25);
  form.Show();
  QApplication::processEvents();
  const QImage shot = form.Widget()->grab().toImage();
  ASSERT_TRUE(SavePicture(shot, "classic_form"));
  EXPECT_EQ(PixelColor(shot, shot.width() - 3, shot.height() - 3), RGB(212, 208, 200));
  // The button's face, and its classic edges: white at the top left, the
  // dark shadow at the bottom right.
  const QImage face = button.Widget()->grab().toImage();
  EXPECT_EQ(PixelColor(face, face.width() / 2, 4), RGB(212, 208, 200));
  EXPECT_GT(CountColor(face, RGB(255, 255, 255)), 0);
  EXPECT_GT(CountColor(face, RGB(64, 64, 64)) + CountColor(face, RGB(0, 0, 0)), 0);
  // The disabled tool button shows its image embossed: white and shadow, no black.
  const QImage disabled = off.Widget()->grab().toImage();
  EXPECT_GT(CountColor(disabled, RGB(128, 128, 128)), 20);
  EXPECT_GT(CountColor(disabled, RGB(255, 255, 255)), 5);
  const QImage enabled = on.Widget()->grab().toImage();
  EXPECT_GT(CountColor(enabled, RGB(0, 0, 0)), 20);
  form.Hide();

  // An open menu: the classic menu colour, the highlight on the active item.
  QMenu menu;
  QAction* first = menu.addAction(QString::fromUtf8("Открыть..."));
  menu.addAction(QString::fromUtf8("Сохранить"))->setEnabled(false);
  menu.addSeparator();
  menu.addAction(QString::fromUtf8("Выход"));
  menu.popup(QPoint(10, 10));
  menu.setActiveAction(first);
  QApplication::processEvents();
  const QImage open_menu = menu.grab().toImage();
  ASSERT_TRUE(SavePicture(open_menu, "classic_menu"));
  const QRect item = menu.actionGeometry(first);
  const QRect last = menu.actionGeometry(menu.actions().back());
  EXPECT_EQ(PixelColor(open_menu, last.right() - 4, last.center().y()), ColorToRGB(clMenu));
  EXPECT_EQ(PixelColor(open_menu, item.right() - 4, item.center().y()), ColorToRGB(clHighlight));
  EXPECT_EQ(QFontInfo(menu.font()).pixelSize(), 11);
  menu.close();

  // A message box as the application shows one.
  QImage box_shot;
  int label_pixels = 0;
  QTimer::singleShot(50, &menu, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      box_shot = box->grab().toImage();
      label_pixels = QFontInfo(box->font()).pixelSize();
      box->done(0);
    }
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
  guard.start(5000);
  {
    testsupport::ScreenDialogs screen;
    Application->MessageBox(Utf8ToAnsi("Нет данных для передачи!"), Utf8ToAnsi("Ошибка"), MB_OK | MB_ICONERROR);
  }
  ASSERT_FALSE(box_shot.isNull());
  ASSERT_TRUE(SavePicture(box_shot, "classic_message_box"));
  EXPECT_EQ(PixelColor(box_shot, 2, box_shot.height() / 2), RGB(212, 208, 200));
  EXPECT_EQ(PixelColor(box_shot, box_shot.width() - 3, 3), RGB(212, 208, 200));
  EXPECT_EQ(label_pixels, 11);
}

}  // namespace classic_look_test

// The about box with its version line, and the splash window.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/about.h"
#include "app/logo.h"
#include "toolkit/core/clock.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/event_loop.h"

namespace about_logo_test {

TEST(FileVersion, IsTheFirstTranslationsValueOrZeros) {
  using S = TVersionString;
  const struct {
    const char* what;
    TVersionResource resource;
    const char* version;
  } cases[] = {
      {"the program's own resource", ProgramVersionResource(), "1.0.2.0"},
      {"no translation", {{}, {S{0x0419, 0x04E3, "FileVersion", "1.0.2.0"}}}, "0.0.0.0"},
      {"translation without that value", {{{0x0409, 0x04B0}}, {S{0x0419, 0x04E3, "FileVersion", "1.0.2.0"}}},
       "0.0.0.0"},
      {"first translation wins",
       {{{0x0409, 0x04B0}, {0x0419, 0x04E3}},
        {S{0x0419, 0x04E3, "FileVersion", "2.0"}, S{0x0409, 0x04B0, "FileVersion", "3.1"}}},
       "3.1"},
      {"one character is too short", {{{0x0419, 0x04E3}}, {S{0x0419, 0x04E3, "FileVersion", "7"}}}, "0.0.0.0"},
      {"two characters do", {{{0x0419, 0x04E3}}, {S{0x0419, 0x04E3, "FileVersion", "7a"}}}, "7a"},
      {"names compare without case", {{{0x0419, 0x04E3}}, {S{0x0419, 0x04E3, "fileversion", "4.4"}}}, "4.4"},
  };
  for (const auto& c : cases) EXPECT_EQ(file_version_of(c.resource), c.version) << c.what;
}

TEST(AboutBox, ShowsNameVersionAndClosesWithOk) {
  Tform6 about(nullptr);
  EXPECT_EQ(AnsiToUtf8(about.Caption()), "О программе");
  EXPECT_EQ(AnsiToUtf8(about.Label1->Caption()), "ЛИВТ - КС7");
  EXPECT_TRUE(about.Label1->Font().Style().Contains(fsBold));
  EXPECT_EQ(AnsiToUtf8(about.Label2->Caption()), "Программа для передачи данных с приборов ЛИВТ-КС7");
  EXPECT_TRUE(about.Widget()->windowFlags() & Qt::Tool);
  EXPECT_FALSE(about.Widget()->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  std::string shown;
  QTimer::singleShot(0, about.Widget(), [&] {
    shown = AnsiToUtf8(about.Label3->Caption());
    QTest::mouseClick(about.Button1->Widget(), Qt::LeftButton);
  });
  QTimer::singleShot(5000, about.Widget(), [&] { about.SetModalResult(-1); });
  EXPECT_EQ(about.ShowModal(), mrOk);
  EXPECT_EQ(shown, "Версия 1.0.2.0");
  EXPECT_EQ(AnsiToUtf8(about.Button1->Caption()), "Ок");
}

TEST(Splash, IsABorderless400By77PictureThatEndsAfter3000Ms) {
  TManualClock clock(1000);
  ScopedTickClock scoped(clock.Source());
  TForm5 splash(nullptr);
  EXPECT_EQ(splash.Widget()->size(), QSize(400, 77));
  EXPECT_TRUE(splash.Widget()->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_FALSE(splash.Timer1->Enabled());
  EXPECT_EQ(splash.Image1->Picture().Bitmap().Width(), 400);
  EXPECT_EQ(splash.Image1->Picture().Bitmap().Height(), 77);
  bool up_before_time = false;
  QTimer::singleShot(0, splash.Widget(), [&] {
    AdvanceTimers(clock, 2999);
    up_before_time = splash.Widget()->isVisible() && splash.ModalResult() == mrNone;
    AdvanceTimers(clock, 1);
  });
  QTimer::singleShot(5000, splash.Widget(), [&] { splash.SetModalResult(-1); });
  EXPECT_EQ(splash.ShowModal(), mrOk);
  EXPECT_TRUE(up_before_time);
  EXPECT_FALSE(splash.Timer1->Enabled());
}

TEST(Splash, PictureIsOurOwnDrawing) {
  TBitmap bitmap;
  DrawSplashPicture(bitmap);
  TCanvas& c = bitmap.Canvas();
  // The blue band at the left, the instrument's grey case, white title ink.
  EXPECT_EQ(c.Pixel(2, 2), RGB(10, 36, 106));
  EXPECT_EQ(c.Pixel(30, 60), RGB(212, 208, 200));
  int white = 0;
  for (int y = 8; y < 40; ++y)
    for (int x = 88; x < 300; ++x) white += c.Pixel(x, y) == clWhite;
  EXPECT_GT(white, 100);
}

}  // namespace about_logo_test

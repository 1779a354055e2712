#include "toolkit/gfx/graphics.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QGuiApplication>
#include <QImage>

#include "tests/support/small_disk.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/gfx/metafile.h"

namespace graphics_test {

// Fonts and painters need the GUI library's application object.
class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_gfx";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) app_ = new QGuiApplication(argc, argv);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QGuiApplication* app_ = nullptr;
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

TEST(SystemColours, ResolveThroughTheClassicTableAndLeaveRgbAlone) {
  const struct {
    TColor color;
    TColor rgb;
  } cases[] = {
      {clBtnFace, RGB(212, 208, 200)},     {clBtnShadow, RGB(128, 128, 128)}, {clWindow, RGB(255, 255, 255)},
      {clWindowText, RGB(0, 0, 0)},        {clHighlight, RGB(10, 36, 106)},   {clHighlightText, RGB(255, 255, 255)},
      {clInfoBk, RGB(255, 255, 225)},      {cl3DDkShadow, RGB(64, 64, 64)},   {clBtnHighlight, RGB(255, 255, 255)},
      {clRed, clRed},                      {clMoneyGreen, clMoneyGreen},      {RGB(1, 2, 3), RGB(1, 2, 3)},
      {clSystemColor | 0x40, 0},  // an index past the table
  };
  for (const auto& c : cases) EXPECT_EQ(ColorToRGB(c.color), c.rgb) << std::hex << c.color;
}

TEST(Fonts, PointSizesBecomePixelHeightsAt96Dpi) {
  const struct {
    int size;
    int height;
  } cases[] = {{8, -11}, {9, -12}, {10, -13}, {12, -16}, {22, -29}};
  for (const auto& c : cases) {
    TFont font;
    font.SetSize(c.size);
    EXPECT_EQ(font.Height(), c.height) << c.size;
    TFont back;
    back.SetHeight(c.height);
    EXPECT_EQ(back.Size(), c.size) << c.height;
  }
}

// A printer's canvas keeps a text's point size in its own pixels: its font's
// pixel height follows the canvas's resolution, and taking another font's
// name, size and style leaves the resolution the canvas's.
TEST(Fonts, PixelHeightsFollowTheCanvasResolution) {
  TBitmap bitmap;
  bitmap.SetSize(4, 4);
  TCanvas& canvas = bitmap.Canvas();
  EXPECT_EQ(canvas.PixelsPerInch(), 96);
  canvas.SetPixelsPerInch(300);
  TFont ten;
  ten.SetSize(10);
  canvas.Font().Assign(ten);
  EXPECT_EQ(canvas.PixelsPerInch(), 300);
  EXPECT_EQ(canvas.Font().Size(), 10);
  EXPECT_EQ(canvas.Font().Height(), -42);  // 10 / 72 of 300 pixels
  EXPECT_FALSE(canvas.Font() == ten);      // the same size draws taller there
  canvas.Font().SetHeight(-25);
  EXPECT_EQ(canvas.Font().Size(), 6);
  canvas.SetPixelsPerInch(0);  // no resolution is the screen's
  EXPECT_EQ(canvas.PixelsPerInch(), 96);
}

TEST(Fonts, ClassicFacesResolveToMetricCompatibleFaces) {
  const struct {
    const char* name;
    const char* resolved;
  } cases[] = {{"Arial", "Liberation Sans"},     {"arial", "Liberation Sans"},
               {"MS Sans Serif", "Liberation Sans"}, {"Times New Roman", "Liberation Serif"},
               {"Courier New", "Liberation Mono"},  {"DejaVu Sans", "DejaVu Sans"}};
  for (const auto& c : cases) {
    TFont font;
    font.SetName(c.name);
    EXPECT_EQ(font.ResolvedName(), c.resolved) << c.name;
  }
}

TEST(Fonts, TellTheirUserOfChangesButNotOfSameValues) {
  TFont font;
  int changes = 0;
  font.OnChange = [&] { ++changes; };
  font.SetSize(8);  // the default: no change
  font.SetSize(10);
  font.SetStyle({fsBold});
  font.SetStyle({fsBold});
  font.SetColor(clRed);
  EXPECT_EQ(changes, 3);
}

// A 20 x 20 white bitmap with one shape drawn by the case.
struct ShapeCase {
  const char* what;
  void (*draw)(TCanvas&);
  int x, y;
  TColor expected;
};

TEST(Canvas, ShapesOutlineWithThePenInsideTheRectangleAndFillWithTheBrush) {
  auto rect_red = [](TCanvas& c) {
    c.Pen().SetColor(clBlack);
    c.Brush().SetColor(clRed);
    c.Rectangle(2, 2, 10, 10);
  };
  auto rect_clear = [](TCanvas& c) {
    c.Brush().SetStyle(bsClear);
    c.Rectangle(2, 2, 10, 10);
  };
  auto fill = [](TCanvas& c) {
    c.Pen().SetColor(clBlack);
    c.Brush().SetColor(clBlue);
    c.FillRect(Rect(2, 2, 10, 10));
  };
  auto line = [](TCanvas& c) {
    c.Pen().SetColor(clLime);
    c.MoveTo(0, 5);
    c.LineTo(19, 5);
  };
  auto system_brush = [](TCanvas& c) {
    c.Brush().SetColor(clBtnShadow);
    c.FillRect(Rect(0, 0, 20, 20));
  };
  const ShapeCase cases[] = {
      {"outline corner", rect_red, 2, 2, clBlack},
      {"outline right edge inside", rect_red, 9, 5, clBlack},
      {"outline bottom edge inside", rect_red, 5, 9, clBlack},
      {"right edge is outside", rect_red, 10, 5, clWhite},
      {"inside filled", rect_red, 5, 5, clRed},
      {"clear brush leaves the inside", rect_clear, 5, 5, clWhite},
      {"fill has no outline", fill, 2, 2, clBlue},
      {"fill stops before right", fill, 10, 2, clWhite},
      {"line", line, 10, 5, clLime},
      {"line only on its row", line, 10, 6, clWhite},
      {"system colour brush", system_brush, 7, 7, RGB(128, 128, 128)},
  };
  for (const auto& c : cases) {
    TBitmap bitmap;
    bitmap.SetSize(20, 20);
    c.draw(bitmap.Canvas());
    EXPECT_EQ(bitmap.Canvas().Pixel(c.x, c.y), c.expected) << c.what;
  }
}

TEST(Canvas, TextPaintsItsBackgroundUnlessTheBrushIsClear) {
  for (bool clear : {false, true}) {
    TBitmap bitmap;
    bitmap.SetSize(60, 20);
    TCanvas& c = bitmap.Canvas();
    c.Brush().SetColor(clYellow);
    c.Brush().SetStyle(clear ? bsClear : bsSolid);
    c.Font().SetColor(clBlack);
    c.TextOut(0, 0, "W");
    const int w = c.TextWidth("W");
    EXPECT_GT(w, 3);
    EXPECT_EQ(c.PenPos().x, w);
    // The top-left pixel of the cell is background, not ink.
    EXPECT_EQ(c.Pixel(0, 0), clear ? clWhite : clYellow) << clear;
    // Some ink inside the cell.
    bool ink = false;
    for (int y = 0; y < c.TextHeight("W"); ++y)
      for (int x = 0; x < w; ++x) ink |= c.Pixel(x, y) == clBlack;
    EXPECT_TRUE(ink);
  }
}

TEST(Canvas, InvertingTurnsEachPixelIntoItsInverseAndTwiceRestoresIt) {
  TBitmap bitmap;
  bitmap.SetSize(30, 10);
  TCanvas& c = bitmap.Canvas();
  const TColor colours[] = {clBlack, clWhite, TColor(0x204080)};
  for (int i = 0; i < 3; ++i) {
    c.Brush().SetColor(colours[i]);
    c.FillRect(Rect(i * 10, 0, i * 10 + 10, 10));
  }
  c.Brush().SetStyle(bsClear);
  c.Pen().SetColor(clRed);
  c.InvertRect(Rect(0, 0, 30, 5));
  const TColor inverted[] = {clWhite, clBlack, TColor(0xDFBF7F)};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(c.Pixel(i * 10 + 5, 2), inverted[i]) << i;
    EXPECT_EQ(c.Pixel(i * 10 + 5, 7), colours[i]) << "below the rectangle " << i;
  }
  c.InvertRect(Rect(0, 0, 30, 5));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(c.Pixel(i * 10 + 5, 2), colours[i]) << i;
}

// Text between frames: its ink takes the font's colour whatever pen drew the
// frame before, and the frame after it takes the pen's colour and width again.
TEST(Canvas, TextBetweenFramesKeepsItsColourAndTheFramesTheirPen) {
  struct Case {
    const char* what;
    TPenStyle style;
    int width;
    TColor pen;
    TColor font;
  };
  const Case cases[] = {
      {"wide solid pen, other colour", psSolid, 3, clBlue, clRed},
      {"wide solid pen, same colour", psSolid, 3, clBlack, clBlack},
      {"dashed pen", psDash, 1, clLime, clRed},
      {"no pen", psClear, 1, clBlue, clRed},
  };
  for (const Case& k : cases) {
    TBitmap bitmap;
    bitmap.SetSize(80, 60);
    TCanvas& c = bitmap.Canvas();
    c.Pen().SetStyle(k.style);
    c.Pen().SetWidth(k.width);
    c.Pen().SetColor(k.pen);
    c.Brush().SetStyle(bsClear);
    c.Rectangle(0, 0, 80, 40);
    c.Font().SetSize(20);
    c.Font().SetColor(k.font);
    c.TextOut(10, 5, "WW");
    int font_ink = 0, pen_ink = 0;
    for (int y = 5; y < 5 + c.TextHeight("WW"); ++y)
      for (int x = 10; x < 10 + c.TextWidth("WW"); ++x) {
        font_ink += c.Pixel(x, y) == k.font;
        pen_ink += k.pen != k.font && c.Pixel(x, y) == k.pen;
      }
    EXPECT_GT(font_ink, 20) << k.what;
    EXPECT_EQ(pen_ink, 0) << k.what;
    // A solid line after the text: the pen's colour, as wide as the pen.
    c.MoveTo(0, 50);
    c.LineTo(79, 50);
    int dashes = 0, gaps = 0;
    for (int x = 0; x < 80; ++x) {
      dashes += c.Pixel(x, 50) == k.pen;
      gaps += c.Pixel(x, 50) == clWhite;
    }
    EXPECT_EQ(dashes, k.style == psClear ? 0 : k.style == psDash ? 80 - gaps : 80) << k.what;
    EXPECT_EQ(gaps > 10, k.style == psDash || k.style == psClear) << k.what;
    // Below the line: only the wide pen reaches it.
    EXPECT_EQ(c.Pixel(4, 51), k.width > 1 ? k.pen : clWhite) << k.what;
  }
}

// Lines drawn one after another on one canvas each take the pen as it is
// then: its width, style and colour.
TEST(Canvas, EachLineTakesThePenAsItIsThen) {
  TBitmap bitmap;
  bitmap.SetSize(100, 100);
  TCanvas& c = bitmap.Canvas();
  c.Pen().SetColor(clBlue);
  auto line = [&](int y) {
    c.MoveTo(0, y);
    c.LineTo(99, y);
  };
  auto coloured = [&](int y, TColor colour) {
    int n = 0;
    for (int x = 0; x < 100; ++x) n += c.Pixel(x, y) == colour;
    return n;
  };
  line(10);
  c.Pen().SetWidth(5);
  line(30);
  c.Pen().SetStyle(psDash);
  c.Pen().SetWidth(1);
  line(50);
  c.Pen().SetStyle(psSolid);
  c.Pen().SetColor(clRed);
  line(70);
  EXPECT_EQ(coloured(10, clBlue), 100);
  EXPECT_EQ(coloured(11, clBlue), 0);
  EXPECT_EQ(coloured(32, clBlue), 100);  // two rows below the middle of a five wide line
  EXPECT_GT(coloured(50, clBlue), 20);
  EXPECT_GT(coloured(50, clWhite), 20);
  EXPECT_EQ(coloured(70, clRed), 100);
}

// Texts drawn one after another on one canvas each take the font they were
// drawn in, back and forth: plain ones and ones with a tab, which the GUI
// library draws itself.
TEST(Canvas, ConsecutiveTextsTakeTheirOwnFonts) {
  for (const char* text : {"H", "H\t", "\tH"}) {
    SCOPED_TRACE(text);
    TBitmap bitmap;
    bitmap.SetSize(240, 60);
    TCanvas& c = bitmap.Canvas();
    c.Brush().SetStyle(bsClear);
    c.Font().SetColor(clBlack);
    const int sizes[] = {10, 30, 10, 20};
    for (int i = 0; i < 4; ++i) {
      c.Font().SetSize(sizes[i]);
      c.TextOut(i * 60, 0, text);
    }
    auto ink_height = [&](int column) {
      int top = 60, bottom = -1;
      for (int y = 0; y < 60; ++y)
        for (int x = column * 60; x < column * 60 + 60; ++x)
          if (c.Pixel(x, y) != clWhite) top = std::min(top, y), bottom = std::max(bottom, y);
      return bottom - top + 1;
    };
    const int small = ink_height(0);
    EXPECT_GT(small, 4);
    EXPECT_GT(ink_height(1), 2 * small);
    EXPECT_EQ(ink_height(2), small);
    EXPECT_GT(ink_height(3), small);
    EXPECT_LT(ink_height(3), ink_height(1));
  }
}

TEST(Canvas, TurnedTextReadsUpwardsFromItsStart) {
  TBitmap bitmap;
  bitmap.SetSize(100, 100);
  TCanvas& c = bitmap.Canvas();
  c.Brush().SetStyle(bsClear);
  c.Font().SetColor(clBlack);
  c.Font().SetSize(10);
  c.Font().SetOrientation(900);
  const AnsiString text = "WWWW";
  const int w = c.TextWidth(text);
  const int h = c.TextHeight(text);
  c.TextOut(40, 90, text);
  // The ink lies in the column right of x = 40, above y = 90, as tall as
  // the text is wide.
  int top = 100, bottom = -1, left = 100, right = -1;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      if (c.Pixel(x, y) == clBlack) {
        top = std::min(top, y), bottom = std::max(bottom, y);
        left = std::min(left, x), right = std::max(right, x);
      }
  ASSERT_GE(bottom, 0);
  EXPECT_GE(left, 40);
  EXPECT_LE(right, 40 + h);
  EXPECT_LE(bottom, 90);
  EXPECT_GE(top, 90 - w);
  EXPECT_GT(bottom - top, right - left);
  // The font keeps its turn through a copy and compares by it.
  TFont copy;
  copy.Assign(c.Font());
  EXPECT_EQ(copy.Orientation(), 900);
  EXPECT_TRUE(copy == c.Font());
  copy.SetOrientation(0);
  EXPECT_FALSE(copy == c.Font());
}

TEST(Bitmaps, SavedOverAFileOnAFullDiskLeaveItAsItWas) {
  testsupport::SmallDisk disk("gfx_full", 256 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk takes root";
  const std::string path = disk.Path() + "/a.bmp";
  TBitmap small;
  small.SetSize(7, 5);
  small.SaveToFile(path);
  const std::string old_bytes = testsupport::ReadFile(path);
  disk.Fill();
  TBitmap big;
  big.SetSize(200, 200);
  try {
    big.SaveToFile(path);
    ADD_FAILURE() << "no error";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Cannot write file \"" + path + "\". No space left on device.");
  }
  EXPECT_EQ(testsupport::ReadFile(path), old_bytes);
  EXPECT_EQ(disk.Names(), "a.bmp");
}

TEST(Bitmaps, SurviveABmpRoundTrip) {
  const std::string dir = testsupport::TempDir("gfx_bmp");
  TBitmap bitmap;
  bitmap.SetSize(7, 5);
  bitmap.Canvas().SetPixel(3, 2, RGB(10, 20, 30));
  bitmap.Canvas().SetPixel(6, 4, clBlue);
  bitmap.SaveToFile(dir + "/a.bmp");
  EXPECT_EQ(testsupport::ReadFile(dir + "/a.bmp").substr(0, 2), "BM");

  TBitmap back;
  back.LoadFromFile(dir + "/a.bmp");
  ASSERT_EQ(back.Width(), 7);
  ASSERT_EQ(back.Height(), 5);
  EXPECT_EQ(back.Canvas().Pixel(3, 2), RGB(10, 20, 30));
  EXPECT_EQ(back.Canvas().Pixel(6, 4), clBlue);
  EXPECT_EQ(back.Canvas().Pixel(0, 0), clWhite);
}

TEST(Bitmaps, RefuseFilesThatAreNoPicture) {
  const std::string dir = testsupport::TempDir("gfx_bad");
  testsupport::WriteFile(dir + "/text.bmp", "BM this is not a picture");
  TBitmap bitmap;
  bitmap.SetSize(3, 3);
  EXPECT_THROW(bitmap.LoadFromFile(dir + "/text.bmp"), EInvalidGraphic);
  EXPECT_THROW(bitmap.LoadFromFile(dir + "/missing.bmp"), EInvalidGraphic);
  EXPECT_EQ(bitmap.Width(), 3);  // unchanged
}

// A part of a larger picture lands where asked, and nothing around it.
TEST(Bitmaps, APartIsDrawnAloneOnABitmapAndIntoARecording) {
  TBitmap source;
  source.SetSize(10, 8);
  TCanvas& s = source.Canvas();
  s.Brush().SetColor(clRed);
  s.FillRect(Rect(0, 0, 10, 8));
  s.Brush().SetColor(clBlue);
  s.FillRect(Rect(2, 3, 5, 5));  // the part: 3 x 2 blue
  TBitmap target;
  target.SetSize(6, 6);
  target.Canvas().DrawPart(1, 1, source, Rect(2, 3, 5, 5));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool inside = x >= 1 && x < 4 && y >= 1 && y < 3;
      EXPECT_EQ(target.Canvas().Pixel(x, y), inside ? clBlue : clWhite) << x << "," << y;
    }
  TMetafile recording;
  TMetafileCanvas canvas(recording);
  canvas.DrawPart(1, 1, source, Rect(2, 3, 5, 5));
  ASSERT_EQ(recording.Records().size(), 1u);
  EXPECT_EQ(recording.Records()[0].image_width, 3);
  EXPECT_EQ(recording.Records()[0].image_height, 2);
}

}  // namespace graphics_test

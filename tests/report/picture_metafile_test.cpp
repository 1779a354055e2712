// Metafile pictures: a picture object holding a placeable or enhanced
// metafile paints it into its rectangle, on the screen and on paper, and the
// pages of the oldest prepared-report layout (one metafile a page) show in
// the preview and print, where before they came out blank.
#include <gtest/gtest.h>

#include <QImage>
#include <string>

#include "report/fr_emf.h"
#include "report/fr_globals.h"
#include "report/fr_views.h"
#include "tests/report/class_support.h"
#include "tests/report/pages_support.h"
#include "tests/support/metafile_fixture.h"
#include "tests/support/pictures.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/text.h"
#include "toolkit/gfx/graphics.h"

namespace picture_metafile_test {

using namespace testsupport;

namespace {

constexpr uint32_t kRed = 0x0000FF, kBlue = 0xFF0000;  // COLORREF

// 1000 x 1000 units at 1000 per inch: the left half red, the bottom right
// quarter blue.
std::string HalvesPlaceable(int height = 1000) {
  using namespace wmf;
  PlaceableBuilder b(0, 0, 1000, height, 1000);
  b.Add(kSetMapMode, {8})
      .Add(kSetWindowExt, {height, 1000})
      .Add(kCreatePen, Pen(5, 0, 0))
      .Add(kSelectObject, {0})
      .Add(kCreateBrush, Brush(0, kRed))
      .Add(kSelectObject, {1})
      .Add(kRectangle, {height, 500, 0, 0})
      .Add(kCreateBrush, Brush(0, kBlue))
      .Add(kSelectObject, {2})
      .Add(kRectangle, {height, 1000, height / 2, 500});
  return b.Bytes();
}

// A page of A4 paper as the oldest prepared reports kept it: an enhanced
// metafile of 210 x 297 mm on a reference device of 10 pixels a millimetre,
// the left half red, the bottom right quarter blue, and a line of text at
// the top right.
std::string PageEnhanced(const std::u16string& text) {
  using namespace emf;
  EnhancedBuilder b(0, 0, 21000, 29700, 2100, 2970, 210, 297);
  b.Add(kSelectObject, {kNullPen})
      .Add(kCreateBrush, {1, 0, kRed, 0})
      .Add(kSelectObject, {1})
      .Add(kRectangle, {0, 0, 1050, 2970})
      .Add(kCreateBrush, {2, 0, kBlue, 0})
      .Add(kSelectObject, {2})
      .Add(kRectangle, {1050, 1485, 2100, 2970})
      .Add(kCreateFont, Font(3, -60, 400, u"Arial"))
      .Add(kSelectObject, {3})
      .Add(kSetBkMode, {1})
      .Add(kExtTextOutW, Text(1150, 200, Utf16(text), text.size()));
  return b.Bytes();
}

std::string I32(int32_t v) { return Le32(v); }

// A prepared-report file of the oldest layout: the printer line, then
// pages of A4 each holding one metafile.
std::string OldLayoutFile(const std::vector<std::string>& metafiles) {
  std::string file = std::string("Printer") + '\0';
  file += I32(static_cast<int32_t>(metafiles.size()));
  for (const std::string& m : metafiles) {
    const size_t head = file.size() + 4 + 2 + 4 + 4 + 1 + 1;
    file += I32(static_cast<int32_t>(head + m.size()));
    file += Le16(pages_test::kA4) + I32(2100) + I32(2970) + '\0' + '\1';
    file += m;
  }
  return file;
}

std::string Reptool() { return std::string(KIV7_BINARY_DIR) + "/tools/reptool/reptool"; }

// Prints a prepared report to PDF and rasterizes its first page at `dpi`.
QImage PrintedPage(const std::string& frp, int dpi, std::string* text = nullptr) {
  const std::string pdf = frp + ".pdf";
  std::string out;
  EXPECT_EQ(RunCommand(Reptool() + " print '" + frp + "' --pdf '" + pdf + "' 2>&1", &out), 0) << out;
  EXPECT_EQ(RunCommand("pdftoppm -r " + std::to_string(dpi) + " -f 1 -l 1 -png '" + pdf + "' '" + frp + "'", &out), 0)
      << out;
  if (text != nullptr) {
    EXPECT_EQ(RunCommand("pdftotext -layout '" + pdf + "' -", text), 0);
  }
  // pdftoppm numbers its files by page, with as many digits as the count needs.
  QImage image(QString::fromStdString(frp + "-1.png"));
  if (image.isNull()) image.load(QString::fromStdString(frp + "-01.png"));
  return image;
}

// The share of the image's pixels in a box (fractions of its size) that are
// mostly of one colour.
double Share(const QImage& image, double x0, double y0, double x1, double y1, TColor color) {
  const int l = static_cast<int>(image.width() * x0), r = static_cast<int>(image.width() * x1);
  const int t = static_cast<int>(image.height() * y0), b = static_cast<int>(image.height() * y1);
  int hits = 0, all = 0;
  for (int y = t; y < b; ++y)
    for (int x = l; x < r; ++x, ++all) {
      const QRgb p = image.pixel(x, y);
      const int want_r = GetRValue(color), want_g = GetGValue(color), want_b = GetBValue(color);
      if (std::abs(qRed(p) - want_r) < 60 && std::abs(qGreen(p) - want_g) < 60 && std::abs(qBlue(p) - want_b) < 60)
        ++hits;
    }
  return all == 0 ? 0 : static_cast<double>(hits) / all;
}

// The smallest rectangle holding every pixel of the colour.
TRect ColorBox(const QImage& image, TColor color) {
  TRect box{image.width(), image.height(), 0, 0};
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (PixelColor(image, x, y) == color)
        box = Rect(std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x + 1), std::max(box.Bottom, y + 1));
  return box;
}

class PictureMetafileTest : public ::testing::Test {
 protected:
  class_test::TestWork work;
};

// A picture holding a metafile of either kind draws it stretched into its
// rectangle; the picture's size comes from the metafile's frame.
TEST_F(PictureMetafileTest, APictureDrawsItsMetafileIntoItsRectangle) {
  frEngine().EngineMode = emPrinting;
  const std::string enhanced = PageEnhanced(u"");
  for (const auto& [name, bytes, width, height] :
       {std::tuple{"placeable", HalvesPlaceable(), 96, 96}, std::tuple{"enhanced", enhanced, 794, 1123}}) {
    SCOPED_TRACE(name);
    TfrPictureView pic;
    pic.SetPicture(pkMetafile, bytes);
    EXPECT_EQ(pic.PictureWidth(), width);
    EXPECT_EQ(pic.PictureHeight(), height);
    pic.SetBounds(10, 20, 100, 140);
    pic.Flags = flStretched;
    TBitmap bitmap;
    bitmap.SetSize(130, 180);
    pic.DrawTo(&bitmap.Canvas());
    const QImage image = bitmap.Image();
    SavePicture(image, std::string("picture_metafile_") + name);
    EXPECT_EQ(PixelColor(image, 30, 40), clRed);
    EXPECT_EQ(PixelColor(image, 30, 150), clRed);
    EXPECT_EQ(PixelColor(image, 90, 40), clWhite);
    EXPECT_EQ(PixelColor(image, 90, 150), clBlue);
    // The halves meet in the middle of the object's paint rectangle (its
    // frame's pixels included), and nothing reaches outside it.
    EXPECT_EQ(ColorBox(image, clRed), Rect(10, 20, 61, 161));
    EXPECT_EQ(ColorBox(image, clBlue), Rect(61, 91, 111, 161));
  }
}

// Keeping the aspect, a metafile twice as wide as high fills the top half of
// a square; drawn twice at the same place it is the same.
TEST_F(PictureMetafileTest, KeepAspectUsesTheMetafilesFrame) {
  frEngine().EngineMode = emPrinting;
  TfrPictureView pic;
  pic.SetPicture(pkMetafile, HalvesPlaceable(500));
  pic.SetBounds(0, 0, 100, 100);
  pic.Flags = flStretched | flPictRatio;
  TBitmap bitmap;
  bitmap.SetSize(120, 120);
  pic.DrawTo(&bitmap.Canvas());
  const QImage first = bitmap.Image().copy();
  EXPECT_EQ(ColorBox(first, clRed), Rect(0, 0, 51, 50));
  EXPECT_EQ(ColorBox(first, clBlue), Rect(51, 25, 101, 50));
  EXPECT_EQ(PixelColor(first, 25, 75), clWhite);
  bitmap.Canvas().Brush().SetColor(clWhite);
  bitmap.Canvas().FillRect(Rect(0, 0, 120, 120));
  pic.DrawTo(&bitmap.Canvas());
  EXPECT_EQ(bitmap.Image(), first);
}

// A metafile that cannot be read draws as no picture: nothing on paper.
TEST_F(PictureMetafileTest, AnUnreadableMetafileDrawsNothingWhilePrinting) {
  frEngine().EngineMode = emPrinting;
  std::string bad = HalvesPlaceable();
  bad[14] = bad[15] = 0;  // no units per inch
  TfrPictureView pic;
  pic.SetPicture(pkMetafile, bad);
  pic.SetBounds(0, 0, 50, 50);
  EXPECT_EQ(pic.PictureWidth(), 0);
  TBitmap bitmap;
  bitmap.SetSize(60, 60);
  pic.DrawTo(&bitmap.Canvas());
  EXPECT_EQ(CountColor(bitmap.Image(), clWhite), 60 * 60);
}

// Blob fields and picture files of the metafile kinds are known by their
// first bytes, as the player knows them.
TEST_F(PictureMetafileTest, MetafileFilesAreTakenByTheirFirstBytes) {
  const std::string dir = TempDir("picture_metafile_files");
  for (const auto& [name, bytes] : {std::pair{"a.wmf", HalvesPlaceable()}, std::pair{"b.emf", PageEnhanced(u"")}}) {
    SCOPED_TRACE(name);
    WriteFile(dir + "/" + name, bytes);
    TfrPictureView pic;
    pic.LoadPictureFromFile(dir + "/" + name);
    EXPECT_EQ(pic.PictureKind(), pkMetafile);
    EXPECT_GT(pic.PictureWidth(), 0);
  }
}

// The oldest layout: each page a metafile. The preview shows it and the
// paper carries it, its text included, where before both were blank.
TEST_F(PictureMetafileTest, OldLayoutPagesShowInThePreviewAndPrint) {
  const std::string frp = TempDir("picture_metafile_old") + "/old.frp";
  WriteFile(frp, OldLayoutFile({PageEnhanced(u"Протокол испытаний")}));

  std::string out;
  const std::string png = frp + ".preview.png";
  ASSERT_EQ(RunCommand(Reptool() + " preview '" + frp + "' --png '" + png + "' --zoom 50 2>&1", &out), 0) << out;
  QImage preview(QString::fromStdString(png));
  ASSERT_FALSE(preview.isNull());
  // The page stands somewhere in the preview's window: its red half and blue
  // quarter are there, in proportion (a quarter and an eighth of the page).
  const int red = CountColor(preview, clRed), blue = CountColor(preview, clBlue);
  EXPECT_GT(red, 10000);
  EXPECT_NEAR(static_cast<double>(blue) / red, 0.5, 0.05);

  std::string text;
  const QImage page = PrintedPage(frp, 20, &text);
  ASSERT_FALSE(page.isNull());
  SavePicture(page, "picture_metafile_old_printed");
  EXPECT_GT(Share(page, 0.05, 0.1, 0.45, 0.9, clRed), 0.95);
  EXPECT_GT(Share(page, 0.55, 0.55, 0.95, 0.95, clBlue), 0.95);
  EXPECT_GT(Share(page, 0.55, 0.3, 0.95, 0.45, clWhite), 0.95);
  EXPECT_NE(text.find("Протокол испытаний"), std::string::npos) << text;
}

// An A4 page (10 reference pixels a millimetre) with two shapes that have
// holes: in the top half a red polygon of two rings, in the bottom half a
// blue path of two figures, each inner ring drawn the same way round as its
// outer one and left empty by the alternate fill mode.
std::string RingsPageEnhanced() {
  using namespace emf;
  EnhancedBuilder b(0, 0, 21000, 29700, 2100, 2970, 210, 297);
  b.Add(kSelectObject, {kNullPen})
      .Add(kCreateBrush, {1, 0, kRed, 0})
      .Add(kSelectObject, {1})
      .Add(kSetPolyFillMode, {kAlternate})
      .Add(kPolyPolygon16, Rings({{100, 100, 2000, 100, 2000, 1400, 100, 1400},
                                  {600, 400, 1500, 400, 1500, 1100, 600, 1100}},
                                 false))
      .Add(kCreateBrush, {2, 0, kBlue, 0})
      .Add(kSelectObject, {2})
      .Add(kBeginPath, "")
      .Add(kMoveTo, {100, 1600})
      .Add(kLineTo, {2000, 1600})
      .Add(kLineTo, {2000, 2900})
      .Add(kLineTo, {100, 2900})
      .Add(kCloseFigure, "")
      .Add(kPolygon16, Points16({600, 1900, 1500, 1900, 1500, 2600, 600, 2600}))
      .Add(kEndPath, "")
      .Add(kFillPath, PathBounds());
  return b.Bytes();
}

// On paper the holes stay empty: the printer's canvas fills the rings of a
// shape by its fill rule.
TEST_F(PictureMetafileTest, ShapesWithHolesPrintWithTheirHoles) {
  const std::string frp = TempDir("picture_metafile_rings") + "/rings.frp";
  WriteFile(frp, OldLayoutFile({RingsPageEnhanced()}));
  const QImage page = PrintedPage(frp, 20);
  ASSERT_FALSE(page.isNull());
  SavePicture(page, "picture_metafile_rings_printed");
  EXPECT_GT(Share(page, 0.07, 0.05, 0.25, 0.45, clRed), 0.95) << "the rings";
  EXPECT_GT(Share(page, 0.32, 0.16, 0.68, 0.35, clWhite), 0.95) << "the rings' hole";
  EXPECT_GT(Share(page, 0.07, 0.56, 0.25, 0.95, clBlue), 0.95) << "the path";
  EXPECT_GT(Share(page, 0.32, 0.66, 0.68, 0.85, clWhite), 0.95) << "the path's hole";
}

// A report of the current layout with a metafile picture among its texts
// prints the picture in its place.
TEST_F(PictureMetafileTest, AMetafilePicturePrintsInItsPlace) {
  std::string frp;
  {
    TfrEMFPages pages(nullptr);
    pages_test::AddTextPage(pages, {"Страница 1"});
    TfrPictureView picture;
    picture.Name = "Picture1";
    picture.Flags = flStretched;
    // The right half of the page's width, a third of its height down.
    const PageMetrics& m = pages.Pages(0).Metrics;
    picture.SetBounds(m.PageWidth / 2, m.PageHeight / 3, m.PageWidth / 2, m.PageHeight / 3);
    picture.SetPicture(pkMetafile, HalvesPlaceable());
    pages.AppendObject(0, picture);
    frp = TempDir("picture_metafile_print") + "/report.frp";
    TFileStream out(frp, fmCreate);
    pages.WriteBuiltFile(out);
  }
  std::string text;
  const QImage page = PrintedPage(frp, 20, &text);
  ASSERT_FALSE(page.isNull());
  EXPECT_NE(text.find("Страница 1"), std::string::npos);
  EXPECT_GT(Share(page, 0.52, 0.35, 0.73, 0.65, clRed), 0.9);
  EXPECT_GT(Share(page, 0.77, 0.52, 0.98, 0.65, clBlue), 0.9);
  EXPECT_GT(Share(page, 0.05, 0.35, 0.45, 0.65, clWhite), 0.95);
  EXPECT_GT(Share(page, 0.55, 0.7, 0.95, 0.95, clWhite), 0.95);
}

}  // namespace

}  // namespace picture_metafile_test

// Windows metafiles (placeable and enhanced) played onto a canvas: the same
// drawing made in both formats lands on the same pixels of the destination
// rectangle, texts arrive in 1251 where their alignment puts them, bitmaps
// are stretched, clips and saved states hold, and damaged files end playing
// without harm.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <sstream>
#include <vector>

#include <unistd.h>

#include "tests/support/metafile_fixture.h"
#include "tests/support/pictures.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/text.h"
#include "toolkit/gfx/metafile.h"

namespace windows_metafile_test {

using namespace testsupport;

namespace {

constexpr uint32_t kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x00FF00;  // COLORREF: 0x00BBGGRR

// An 8 x 8 bitmap in quarters: red, blue over green, white.
std::string QuarteredDib() {
  return Dib24(8, 8, [](int x, int y) {
    static const uint32_t colours[2][2] = {{0xFF0000, 0x0000FF}, {0x00FF00, 0xFFFFFF}};
    return colours[y / 4][x / 4];
  });
}

// The scene both formats draw, in logical units 0..1000 x 0..500: a red
// rectangle on the left half's top, a blue line 50 wide, a green ellipse in
// the right half's bottom, a black polygon, and the quartered bitmap
// stretched over (0, 300)-(400, 500).
std::string ScenePlaceable() {
  using namespace wmf;
  const std::string dib = QuarteredDib();
  PlaceableBuilder b(0, 0, 1000, 500, 1000);
  b.Add(kSetMapMode, {8})
      .Add(kSetWindowOrg, {0, 0})
      .Add(kSetWindowExt, {500, 1000})
      .Add(kCreatePen, Pen(5, 0, 0))  // slot 0: no pen
      .Add(kCreateBrush, Brush(0, kRed))  // slot 1
      .Add(kSelectObject, {0})
      .Add(kSelectObject, {1})
      .Add(kRectangle, {250, 500, 0, 0})
      .Add(kCreatePen, Pen(0, 50, kBlue))  // slot 2
      .Add(kSelectObject, {2})
      .Add(kMoveTo, {100, 600})
      .Add(kLineTo, {100, 900})
      .Add(kDeleteObject, {1})
      .Add(kCreateBrush, Brush(0, kGreen))  // slot 1 again
      .Add(kSelectObject, {1})
      .Add(kSelectObject, {0})
      .Add(kEllipse, {500, 1000, 250, 500})
      .Add(kCreateBrush, Brush(0, 0))  // slot 3: black
      .Add(kSelectObject, {3})
      .Add(kPolygon, Words({3, 450, 250, 550, 250, 500, 350}))
      .Add(kStretchDib, Le32(0x00CC0020) + Words({0, 8, 8, 0, 0, 200, 400, 300, 0}) + dib);
  return b.Bytes();
}

std::string SceneEnhanced() {
  using namespace emf;
  const std::string dib = QuarteredDib();
  // A reference device of 4 pixels per millimetre and a frame of 250 x 125
  // mm: 1000 x 500 reference pixels, which the logical units are (MM_TEXT).
  EnhancedBuilder b(0, 0, 25000, 12500, 1000, 1000, 250, 250);
  b.Add(kSelectObject, {kNullPen})
      .Add(kCreateBrush, {1, 0, kRed, 0})
      .Add(kSelectObject, {1})
      .Add(kRectangle, {0, 0, 500, 250})
      .Add(kCreatePen, {2, 0, 50, 0, kBlue})
      .Add(kSelectObject, {2})
      .Add(kMoveTo, {600, 100})
      .Add(kLineTo, {900, 100})
      .Add(kDeleteObject, {1})
      .Add(kCreateBrush, {1, 0, kGreen, 0})
      .Add(kSelectObject, {1})
      .Add(kSelectObject, {kNullPen})
      .Add(kEllipse, {500, 250, 1000, 500})
      .Add(kCreateBrush, {3, 0, 0, 0})
      .Add(kSelectObject, {3})
      .Add(kPolygon16, Points16({450, 250, 550, 250, 500, 350}));
  // Stretched bits: bounds, x, y, source x, y, cx, cy, header offset and
  // size, bits offset and size, usage, rop, cx, cy; the bitmap follows.
  const int64_t header_at = 80, bits_at = 80 + 40;
  b.Add(kStretchDIBits, Dwords({0, 0, 0, 0, 0, 300, 0, 0, 8, 8, header_at, 40, bits_at,
                                static_cast<int64_t>(dib.size() - 40), 0, 0x00CC0020, 400, 200}) +
                            dib);
  return b.Bytes();
}

TWindowsMetafile Loaded(const std::string& bytes) {
  TWindowsMetafile m;
  m.LoadFromBytes(bytes);
  return m;
}

// Plays onto a white bitmap of w x h into rect.
QImage Played(const TWindowsMetafile& m, int w, int h, const TRect& rect) {
  TBitmap bitmap;
  bitmap.SetSize(w, h);
  m.StretchDraw(bitmap.Canvas(), rect);
  return bitmap.Image().copy();
}

struct Probe {
  int x, y;
  TColor color;
  const char* what;
};

// At 200 x 100 the scene is drawn at a fifth of its logical size.
const Probe kSceneProbes[] = {
    {50, 25, clRed, "inside the rectangle"},
    {99, 5, clRed, "the rectangle's right edge"},
    {101, 5, clWhite, "right of the rectangle"},
    {150, 20, clBlue, "on the wide line"},
    {150, 12, clWhite, "above the wide line"},
    {150, 75, clLime, "the ellipse's centre"},
    {197, 52, clWhite, "outside the ellipse in its box's corner"},
    {100, 62, clBlack, "inside the polygon"},
    {20, 70, clRed, "the bitmap's top left (red)"},
    {60, 70, clBlue, "the bitmap's top right (blue)"},
    {20, 90, clLime, "the bitmap's bottom left (green)"},
    {60, 90, clWhite, "the bitmap's bottom right (white)"},
};

TEST(WindowsMetafile, BothFormatsDrawTheSceneScaledOntoTheRectangle) {
  for (const auto& [name, bytes] : {std::pair{"placeable", ScenePlaceable()}, std::pair{"enhanced", SceneEnhanced()}}) {
    SCOPED_TRACE(name);
    const TWindowsMetafile m = Loaded(bytes);
    const QImage image = Played(m, 200, 100, Rect(0, 0, 200, 100));
    SavePicture(image, std::string("windows_metafile_") + name);
    for (const Probe& p : kSceneProbes) EXPECT_EQ(PixelColor(image, p.x, p.y), ColorToRGB(p.color)) << p.what;
  }
}

TEST(WindowsMetafile, TheFrameGivesThePictureSizeAtScreenResolution) {
  const TWindowsMetafile placeable = Loaded(ScenePlaceable());
  EXPECT_FALSE(placeable.Enhanced());
  EXPECT_EQ(placeable.Width(), 96);  // 1000 units at 1000 per inch
  EXPECT_EQ(placeable.Height(), 48);
  const TWindowsMetafile enhanced = Loaded(SceneEnhanced());
  EXPECT_TRUE(enhanced.Enhanced());
  EXPECT_EQ(enhanced.Width(), 945);  // 250 mm
  EXPECT_EQ(enhanced.Height(), 472);
}

// Moved and shrunk into a rectangle of another canvas, the drawing follows
// the rectangle and nothing of it reaches outside.
TEST(WindowsMetafile, DrawingStaysInsideAMovedRectangle) {
  // The rectangle reaches far beyond the frame.
  PlaceableBuilder b(0, 0, 100, 100, 1000);
  b.Add(wmf::kCreateBrush, wmf::Brush(0, kRed)).Add(wmf::kSelectObject, {0}).Add(wmf::kRectangle, {400, 400, -300, -300});
  const QImage image = Played(Loaded(b.Bytes()), 200, 200, Rect(50, 60, 150, 110));
  EXPECT_EQ(PixelColor(image, 55, 65), ColorToRGB(clRed));
  EXPECT_EQ(PixelColor(image, 145, 105), ColorToRGB(clRed));
  EXPECT_EQ(CountColor(image, clRed), 100 * 50);
}

// Texts: 1251 bytes of the placeable format and UTF-16 of the enhanced one
// arrive as the same 1251 text, in the font asked for, placed by the alignment.
TEST(WindowsMetafile, TextsArriveIn1251WhereTheirAlignmentPutsThem) {
  // Capitals, which stay above the base line.
  const std::string word = Utf8ToAnsi("ПРОТОКОЛ");
  PlaceableBuilder p(0, 0, 1000, 500, 1000);
  p.Add(wmf::kSetMapMode, {8})
      .Add(wmf::kSetWindowExt, {500, 1000})
      .Add(wmf::kCreateFont, wmf::Font(-100, 700, "Arial"))
      .Add(wmf::kSelectObject, {0})
      .Add(wmf::kSetBkMode, {1})
      .Add(wmf::kSetTextColor, Le32(kBlue))
      .Add(wmf::kSetTextAlign, {6 | 24})  // centre, base line
      .Add(wmf::kTextOut, wmf::Text(word, 500, 250));
  EnhancedBuilder e(0, 0, 25000, 12500, 1000, 1000, 250, 250);
  e.Add(emf::kCreateFont, emf::Font(1, -100, 700, u"Arial"))
      .Add(emf::kSelectObject, {1})
      .Add(emf::kSetBkMode, {1})
      .Add(emf::kSetTextColor, {kBlue})
      .Add(emf::kSetTextAlign, {6 | 24})
      .Add(emf::kExtTextOutW, emf::Text(500, 250, emf::Utf16(u"ПРОТОКОЛ"), 8));
  for (const auto& [name, bytes] : {std::pair{"placeable", p.Bytes()}, std::pair{"enhanced", e.Bytes()}}) {
    SCOPED_TRACE(name);
    TMetafile recording;
    TMetafileCanvas canvas(recording);
    Loaded(bytes).StretchDraw(canvas, Rect(0, 0, 200, 100));
    const auto runs = recording.TextRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, word);
    EXPECT_EQ(runs[0].font.Name(), "Arial");
    EXPECT_EQ(-runs[0].font.Height(), 20);  // 100 units at a fifth
    EXPECT_TRUE(runs[0].font.Style().Contains(fsBold));
    EXPECT_EQ(runs[0].font.Color(), clBlue);
    EXPECT_EQ(runs[0].brush_style, bsClear);  // transparent background
    // Centred on x 100, its base line on y 50.
    TBitmap measure;
    measure.SetSize(1, 1);
    measure.Canvas().Font().Assign(runs[0].font);
    const int width = measure.Canvas().TextWidth(word);
    EXPECT_NEAR(runs[0].x + width / 2.0, 100, 1);
    EXPECT_LT(runs[0].y, 50 - 10);
    EXPECT_GT(runs[0].y, 50 - 20);
    // And on pixels: blue ink left and right of the centre, above the base line.
    const QImage image = Played(Loaded(bytes), 200, 100, Rect(0, 0, 200, 100));
    int left = 0, right = 0, below = 0;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 200; ++x) {
        const QRgb c = image.pixel(x, y);
        if (qBlue(c) > 128 && qRed(c) < 128) {
          (x < 100 ? left : right) += 1;
          if (y > 52) ++below;
        }
      }
    EXPECT_GT(left, 20);
    EXPECT_GT(right, 20);
    EXPECT_EQ(below, 0);
  }
}

// Arcs run counter-clockwise from the start point's angle to the end
// point's: from three o'clock to twelve a pie is the top right quarter, a
// chord the part of it beyond the line between the two points; round
// corners leave the box's corners empty.
TEST(WindowsMetafile, PiesChordsAndRoundCornersFillTheirShapes) {
  struct Case {
    const char* what;
    int function;
    std::string params;
    std::vector<Probe> probes;
  };
  const Case cases[] = {
      {"pie", wmf::kPie, Words({0, 500, 500, 1000, 1000, 1000, 0, 0}),
       {{150, 50, clRed, "top right"}, {50, 50, clWhite, "top left"}, {150, 150, clWhite, "bottom right"},
        {50, 150, clWhite, "bottom left"}}},
      {"chord", 0x0830, Words({0, 500, 500, 1000, 1000, 1000, 0, 0}),
       {{170, 30, clRed, "beyond the chord"}, {120, 80, clWhite, "before the chord"}, {50, 150, clWhite, "elsewhere"}}},
      {"round rectangle", 0x061C, Words({400, 400, 1000, 1000, 0, 0}),
       {{2, 2, clWhite, "a corner"}, {100, 100, clRed, "the middle"}, {100, 2, clRed, "the top edge's middle"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PlaceableBuilder b(0, 0, 1000, 1000, 1000);
    b.Add(wmf::kCreatePen, wmf::Pen(5, 0, 0))
        .Add(wmf::kCreateBrush, wmf::Brush(0, kRed))
        .Add(wmf::kSelectObject, {0})
        .Add(wmf::kSelectObject, {1})
        .Add(c.function, c.params);
    const QImage image = Played(Loaded(b.Bytes()), 200, 200, Rect(0, 0, 200, 200));
    for (const Probe& p : c.probes) EXPECT_EQ(PixelColor(image, p.x, p.y), ColorToRGB(p.color)) << p.what;
  }
}

// A bitmap stretched beyond the picture shows the part that falls inside
// it, however far it reaches.
TEST(WindowsMetafile, ABitmapStretchedBeyondThePictureShowsItsPartInside) {
  struct Case {
    const char* what;
    int x, y, w, h;  // destination in units of a 100 x 100 frame
    TColor top_left, top_right, bottom_left, bottom_right;
  };
  const Case cases[] = {
      {"centred on the frame, twice its size", -50, -50, 200, 200, clRed, clBlue, clLime, clWhite},
      {"hundreds of times the frame, its top left quarter over it", -14000, -14000, 28200, 28200, clRed, clRed,
       clRed, clRed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PlaceableBuilder b(0, 0, 100, 100, 1000);
    b.Add(wmf::kStretchDib, Le32(0x00CC0020) + Words({0, 8, 8, 0, 0, c.h, c.w, c.y, c.x}) + QuarteredDib());
    const QImage image = Played(Loaded(b.Bytes()), 200, 200, Rect(0, 0, 200, 200));
    EXPECT_EQ(PixelColor(image, 50, 50), ColorToRGB(c.top_left));
    EXPECT_EQ(PixelColor(image, 150, 50), ColorToRGB(c.top_right));
    EXPECT_EQ(PixelColor(image, 50, 150), ColorToRGB(c.bottom_left));
    EXPECT_EQ(PixelColor(image, 150, 150), ColorToRGB(c.bottom_right));
  }
}

// A clip narrows what follows until the state saved before it comes back.
TEST(WindowsMetafile, ClipsLastUntilTheSavedStateReturns) {
  using namespace emf;
  EnhancedBuilder e(0, 0, 25000, 12500, 1000, 1000, 250, 250);
  e.Add(kSelectObject, {kNullPen})
      .Add(kCreateBrush, {1, 0, kRed, 0})
      .Add(kSelectObject, {1})
      .Add(kSaveDC, std::string())
      .Add(kIntersectClipRect, {0, 0, 100, 100})
      .Add(kRectangle, {0, 0, 500, 500})
      .Add(kRestoreDC, {-1})
      .Add(kCreateBrush, {2, 0, kBlue, 0})
      .Add(kSelectObject, {2})
      .Add(kRectangle, {600, 0, 1000, 500});
  const QImage image = Played(Loaded(e.Bytes()), 200, 100, Rect(0, 0, 200, 100));
  EXPECT_EQ(CountColor(image, clRed), 20 * 20);
  EXPECT_EQ(PixelColor(image, 150, 50), ColorToRGB(clBlue));
  EXPECT_EQ(CountColor(image, clBlue), 80 * 100);
}

// What the canvas holds before is what it holds after.
TEST(WindowsMetafile, TheCanvasStateComesBackAfterPlaying) {
  TBitmap bitmap;
  bitmap.SetSize(200, 100);
  TCanvas& c = bitmap.Canvas();
  c.Pen().SetColor(clPurple);
  c.Brush().SetColor(clYellow);
  c.Font().SetName("Courier New");
  c.MoveTo(7, 9);
  Loaded(ScenePlaceable()).StretchDraw(c, Rect(0, 0, 100, 50));
  EXPECT_EQ(c.Pen().Color(), clPurple);
  EXPECT_EQ(c.Brush().Color(), clYellow);
  EXPECT_EQ(c.Font().Name(), "Courier New");
  EXPECT_EQ(c.PenPos(), (TPoint{7, 9}));
  // No clip is left behind: a fill reaches the far corner.
  c.FillRect(Rect(0, 0, 200, 100));
  EXPECT_EQ(CountColor(bitmap.Image(), clYellow), 200 * 100);
}

TEST(WindowsMetafile, BytesThatAreNoMetafileAreRefused) {
  std::string zero_frame = ScenePlaceable();
  zero_frame[10] = zero_frame[6], zero_frame[11] = zero_frame[7];  // right = left
  std::string no_inch = ScenePlaceable();
  no_inch[14] = no_inch[15] = 0;
  std::string short_emf = SceneEnhanced();
  short_emf.resize(60);
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""}, {"a bitmap", "BM" + std::string(60, '\0')}, {"a placeable key alone", Le32(0x9AC6CDD7)},
      {"a frame without width", zero_frame}, {"no units per inch", no_inch}, {"a cut enhanced header", short_emf},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    TWindowsMetafile m;
    m.LoadFromBytes(ScenePlaceable());
    EXPECT_THROW(m.LoadFromBytes(bytes), EInvalidGraphic);
    EXPECT_EQ(m.Width(), 96);  // the picture held stays
  }
}

// Every cut of a good file, and records that claim more than they hold,
// play what they can; the canvas is left whole.
TEST(WindowsMetafile, DamagedRecordsEndPlayingWithoutHarm) {
  std::vector<std::string> damaged;
  for (const std::string& good : {ScenePlaceable(), SceneEnhanced()}) {
    for (size_t cut = 0; cut < good.size(); cut += 3) {
      std::string bytes = good.substr(0, cut);
      // Enhanced headers name their own size; keep the header whole.
      if (!TWindowsMetafile::Recognized(bytes)) continue;
      damaged.push_back(bytes);
    }
    // Each 32-bit word in turn made huge.
    for (size_t at = 0; at + 4 <= good.size(); at += 2) {
      std::string bytes = good;
      bytes.replace(at, 4, Le32(0x7FFFFFF0));
      damaged.push_back(bytes);
    }
  }
  int played = 0;
  for (const std::string& bytes : damaged) {
    TWindowsMetafile m;
    try {
      m.LoadFromBytes(bytes);
    } catch (const EInvalidGraphic&) {
      continue;
    }
    TBitmap bitmap;
    bitmap.SetSize(40, 20);
    m.StretchDraw(bitmap.Canvas(), Rect(0, 0, 40, 20));
    bitmap.Canvas().Brush().SetColor(clYellow);
    bitmap.Canvas().FillRect(Rect(0, 0, 40, 20));
    ASSERT_EQ(CountColor(bitmap.Image(), clYellow), 40 * 20);
    ++played;
  }
  EXPECT_GT(played, 100);
}

// A folder of this process's own for the files the independent reader
// takes: test processes run side by side (shards, shuffled runs) and must
// not read each other's pictures.
std::string ReaderFolder() {
  const std::string dir = std::string(KIV7_BINARY_DIR) + "/pictures/wmf-" + std::to_string(getpid());
  std::system(("mkdir -p '" + dir + "'").c_str());
  return dir;
}

// An independent reader of the placeable format takes the file the tests
// make, and sees the same shapes in the same colours.
TEST(WindowsMetafile, AnIndependentReaderSeesTheSameScene) {
  const std::string dir = ReaderFolder();
  const std::string wmf = dir + "/scene.wmf", svg = dir + "/scene.svg";
  {
    std::ofstream out(wmf, std::ios::binary);
    out << ScenePlaceable();
  }
  ASSERT_EQ(std::system(("wmf2svg -o '" + svg + "' '" + wmf + "' 2>/dev/null").c_str()), 0);
  std::ifstream in(svg);
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  // Where the reader puts a shape, as a part of the picture's width or height.
  auto part = [&](const char* element, const char* attribute, const char* whole) {
    const size_t at = s.find(std::string("<") + element);
    const size_t value = s.find(std::string(attribute) + "=\"", at);
    const size_t total = s.find(std::string("<svg ") );
    const size_t total_value = s.find(std::string(whole) + "=\"", total);
    if (at == std::string::npos || value == std::string::npos || total_value == std::string::npos) return -1.0;
    return std::atof(s.c_str() + value + std::strlen(attribute) + 2) /
           std::atof(s.c_str() + total_value + std::strlen(whole) + 2);
  };
  EXPECT_NEAR(part("rect", "width", "width"), 0.5, 0.01);
  EXPECT_NEAR(part("rect", "height", "height"), 0.5, 0.01);
  EXPECT_NEAR(part("line", "y1", "height"), 0.2, 0.01);
  EXPECT_NEAR(part("ellipse", "cx", "width"), 0.75, 0.01);
  EXPECT_NEAR(part("ellipse", "cy", "height"), 0.75, 0.01);
  EXPECT_NEAR(part("image", "width", "width"), 0.4, 0.01);
  for (const char* colour : {"fill:red", "fill:lime", "fill:black", "stroke:blue"})
    EXPECT_NE(s.find(colour), std::string::npos) << colour;
}

// ---- Shapes of several rings and paths ---------------------------------------

// Two squares in logical units 0..400, drawn onto 100 x 100: the outer one
// (40..360) clockwise, the inner one (120..280) the same way round or the
// other; between them lies the ring, inside the inner one the hole.
const std::vector<int> kOuterSquare = {40, 40, 360, 40, 360, 360, 40, 360};
const std::vector<int> kInnerSquare = {120, 120, 280, 120, 280, 280, 120, 280};
const std::vector<int> kInnerSquareReversed = {120, 120, 120, 280, 280, 280, 280, 120};

enum class RingsFormat { kPlaceable, kEnhanced16, kEnhanced32 };

// The two squares as one shape filled red without an outline; fill_mode 0
// leaves the mode as a new picture has it.
std::string RingsPicture(RingsFormat format, int fill_mode, const std::vector<int>& inner) {
  if (format == RingsFormat::kPlaceable) {
    using namespace wmf;
    PlaceableBuilder b(0, 0, 400, 400, 1000);
    b.Add(kCreatePen, Pen(5, 0, 0)).Add(kCreateBrush, Brush(0, kRed)).Add(kSelectObject, {0}).Add(kSelectObject, {1});
    if (fill_mode != 0) b.Add(kSetPolyFillMode, {fill_mode});
    std::string points;
    for (int v : kOuterSquare) points += Le16(v);
    for (int v : inner) points += Le16(v);
    b.Add(kPolyPolygon, Words({2, 4, 4}) + points);
    return b.Bytes();
  }
  using namespace emf;
  EnhancedBuilder b(0, 0, 10000, 10000, 1000, 1000, 250, 250);
  b.Add(kSelectObject, {kNullPen}).Add(kCreateBrush, {1, 0, kRed, 0}).Add(kSelectObject, {1});
  if (fill_mode != 0) b.Add(kSetPolyFillMode, {fill_mode});
  const bool wide = format == RingsFormat::kEnhanced32;
  b.Add(wide ? kPolyPolygon : kPolyPolygon16, Rings({kOuterSquare, inner}, wide));
  return b.Bytes();
}

// The rings are one shape: under the alternate mode the hole stays empty;
// under the winding mode rings drawn the same way round fill it, rings drawn
// the other way round leave it.
TEST(WindowsMetafile, RingsOfOneShapeFillByThePolygonFillMode) {
  struct Case {
    int fill_mode;
    bool reversed;
    TColor hole;
  };
  const Case cases[] = {
      {0, false, clWhite},
      {emf::kAlternate, false, clWhite},
      {emf::kAlternate, true, clWhite},
      {emf::kWinding, false, clRed},
      {emf::kWinding, true, clWhite},
  };
  for (RingsFormat format : {RingsFormat::kPlaceable, RingsFormat::kEnhanced16, RingsFormat::kEnhanced32})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "format " << static_cast<int>(format) << ", fill mode " << c.fill_mode
                                      << (c.reversed ? ", inner ring reversed" : ""));
      const QImage image = Played(Loaded(RingsPicture(format, c.fill_mode, c.reversed ? kInnerSquareReversed
                                                                                       : kInnerSquare)),
                                  100, 100, Rect(0, 0, 100, 100));
      EXPECT_EQ(PixelColor(image, 50, 50), ColorToRGB(c.hole)) << "the hole";
      EXPECT_EQ(PixelColor(image, 20, 50), ColorToRGB(clRed)) << "the ring";
      EXPECT_EQ(PixelColor(image, 80, 80), ColorToRGB(clRed)) << "the ring";
      EXPECT_EQ(PixelColor(image, 5, 50), ColorToRGB(clWhite)) << "outside";
      // The whole ring is filled, the hole as the mode says.
      const int ring = 80 * 80 - 40 * 40;
      EXPECT_NEAR(CountColor(image, clRed), c.hole == clRed ? 80 * 80 : ring, 2 * 80 + 2 * 40);
    }
}

// Each ring is outlined with the pen, the outline of the hole too.
TEST(WindowsMetafile, RingsOfOneShapeAreOutlinedRingByRing) {
  using namespace wmf;
  PlaceableBuilder b(0, 0, 400, 400, 1000);
  std::string points;
  for (int v : kOuterSquare) points += Le16(v);
  for (int v : kInnerSquare) points += Le16(v);
  b.Add(kCreatePen, Pen(0, 8, kBlue)).Add(kCreateBrush, Brush(0, kRed)).Add(kSelectObject, {0}).Add(kSelectObject, {1});
  b.Add(kPolyPolygon, Words({2, 4, 4}) + points);
  const QImage image = Played(Loaded(b.Bytes()), 100, 100, Rect(0, 0, 100, 100));
  EXPECT_EQ(PixelColor(image, 10, 50), ColorToRGB(clBlue)) << "the outer ring's edge";
  EXPECT_EQ(PixelColor(image, 30, 50), ColorToRGB(clBlue)) << "the hole's edge";
  EXPECT_EQ(PixelColor(image, 20, 50), ColorToRGB(clRed));
  EXPECT_EQ(PixelColor(image, 50, 50), ColorToRGB(clWhite));
}

// An independent reader of the placeable format makes the two rings one
// shape as well, and its fill rule leaves the hole as this player does.
TEST(WindowsMetafile, AnIndependentReaderFillsTheRingsByTheSameRule) {
  const std::string dir = ReaderFolder();
  for (const int mode : {emf::kAlternate, emf::kWinding}) {
    SCOPED_TRACE(testing::Message() << "fill mode " << mode);
    const std::string bytes = RingsPicture(RingsFormat::kPlaceable, mode, kInnerSquare);
    const std::string wmf = dir + "/rings.wmf", svg = dir + "/rings.svg";
    {
      std::ofstream out(wmf, std::ios::binary);
      out << bytes;
    }
    ASSERT_EQ(std::system(("wmf2svg -o '" + svg + "' '" + wmf + "' 2>/dev/null").c_str()), 0);
    std::ifstream in(svg);
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    // One path of two closed rings.
    const size_t path = s.find("<path");
    ASSERT_NE(path, std::string::npos);
    EXPECT_EQ(s.find("<path", path + 1), std::string::npos) << "the rings are one shape";
    const size_t end = s.find("/>", path);
    const std::string element = s.substr(path, end - path);
    EXPECT_EQ(std::count(element.begin(), element.end(), 'Z'), 2);
    // Rings drawn the same way round: the even-odd rule leaves the hole, the
    // non-zero one fills it.
    const bool even_odd = element.find("fill-rule:evenodd") != std::string::npos;
    ASSERT_TRUE(even_odd || element.find("fill-rule:nonzero") != std::string::npos) << element;
    const QImage image = Played(Loaded(bytes), 100, 100, Rect(0, 0, 100, 100));
    EXPECT_EQ(PixelColor(image, 50, 50), ColorToRGB(even_odd ? clWhite : clRed));
  }
}

// Paths of an enhanced picture in logical units 0..400 onto 100 x 100, with
// a blue pen 16 wide (4 pixels) and a red brush: what goes into a path is
// drawn only when the path is filled or stroked, then as one shape.
TEST(WindowsMetafile, PathsAreFilledAndStrokedAsOneShape) {
  using namespace emf;
  using Records = std::function<void(EnhancedBuilder&)>;
  const auto square_with_hole = [](EnhancedBuilder& b) {
    b.Add(kBeginPath, "")
        .Add(kMoveTo, {40, 40})
        .Add(kLineTo, {360, 40})
        .Add(kLineTo, {360, 360})
        .Add(kLineTo, {40, 360})
        .Add(kCloseFigure, "")
        .Add(kPolygon16, Points16({120, 120, 280, 120, 280, 280, 120, 280}))
        .Add(kEndPath, "");
  };
  struct Case {
    const char* what;
    Records records;
    std::vector<Probe> probes;
    bool outlined;  // false: no pixel of the pen's colour
  };
  const Case cases[] = {
      {"stroked and filled, alternate",
       [&](EnhancedBuilder& b) {
         square_with_hole(b);
         b.Add(kStrokeAndFillPath, PathBounds());
       },
       {{50, 50, clWhite, "the hole"},
        {20, 50, clRed, "the ring"},
        {10, 50, clBlue, "the outer edge"},
        {30, 50, clBlue, "the hole's edge"},
        {50, 10, clBlue, "the closing line's edge"},
        {5, 5, clWhite, "outside"}},
       true},
      {"stroked and filled, winding",
       [&](EnhancedBuilder& b) {
         b.Add(kSetPolyFillMode, {kWinding});
         square_with_hole(b);
         b.Add(kStrokeAndFillPath, PathBounds());
       },
       {{50, 50, clRed, "the hole, filled"}, {30, 50, clBlue, "the hole's edge"}, {10, 50, clBlue, "the outer edge"}},
       true},
      {"stroked and filled, an open figure is closed with its outline",
       [](EnhancedBuilder& b) {
         b.Add(kBeginPath, "")
             .Add(kMoveTo, {40, 40})
             .Add(kPolylineTo16, Points16({360, 40, 360, 360, 40, 360}))
             .Add(kEndPath, "")
             .Add(kStrokeAndFillPath, PathBounds());
       },
       {{10, 50, clBlue, "the closing line"}, {50, 50, clRed, "inside"}, {90, 50, clBlue, "the second line"}},
       true},
      {"stroked, an open figure stays open and empty",
       [](EnhancedBuilder& b) {
         b.Add(kBeginPath, "")
             .Add(kMoveTo, {40, 40})
             .Add(kPolylineTo16, Points16({360, 40, 360, 360}))
             .Add(kEndPath, "")
             .Add(kStrokePath, PathBounds());
       },
       {{50, 10, clBlue, "the first line"},
        {90, 50, clBlue, "the second line"},
        {50, 50, clWhite, "where a closing line would run"},
        {70, 30, clWhite, "inside: not filled"}},
       true},
      {"filled, a curve in the figure and the figure closed by filling",
       [](EnhancedBuilder& b) {
         // The curve runs straight up the left side.
         b.Add(kBeginPath, "")
             .Add(kMoveTo, {40, 360})
             .Add(kPolyBezierTo16, Points16({40, 253, 40, 146, 40, 40}))
             .Add(kLineTo, {360, 40})
             .Add(kLineTo, {360, 360})
             .Add(kEndPath, "")
             .Add(kFillPath, PathBounds());
       },
       {{50, 50, clRed, "the middle"},
        {15, 80, clRed, "by the curve, low"},
        {15, 15, clRed, "by the curve, high"},
        {5, 50, clWhite, "left of the curve"}},
       false},
      {"rectangles and ellipses go into the path",
       [](EnhancedBuilder& b) {
         b.Add(kBeginPath, "")
             .Add(kRectangle, {40, 40, 360, 360})
             .Add(kEllipse, {120, 120, 280, 280})
             .Add(kEndPath, "")
             .Add(kFillPath, PathBounds());
       },
       {{50, 50, clWhite, "inside the ellipse: a hole"}, {20, 50, clRed, "the rectangle"}},
       false},
      {"a path that is never drawn shows nothing",
       [](EnhancedBuilder& b) {
         b.Add(kBeginPath, "")
             .Add(kRectangle, {40, 40, 360, 360})
             .Add(kMoveTo, {0, 0})
             .Add(kLineTo, {400, 400})
             .Add(kPolygon16, Points16({0, 0, 400, 0, 0, 400}))
             .Add(kEndPath, "");
       },
       {{50, 50, clWhite, "the middle"}, {10, 10, clWhite, "the corner"}, {20, 50, clWhite, "the rectangle"}},
       false},
      {"an aborted path is not filled, and drawing goes on directly",
       [](EnhancedBuilder& b) {
         b.Add(kBeginPath, "")
             .Add(kRectangle, {120, 120, 360, 360})
             .Add(kAbortPath, "")
             .Add(kFillPath, PathBounds())
             .Add(kSelectObject, {kNullPen})
             .Add(kRectangle, {0, 0, 80, 80});
       },
       {{50, 50, clWhite, "the aborted rectangle"}, {10, 10, clRed, "the rectangle after"}},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EnhancedBuilder b(0, 0, 10000, 10000, 1000, 1000, 250, 250);
    b.Add(kCreatePen, {1, 0, 16, 0, kBlue}).Add(kCreateBrush, {2, 0, kRed, 0}).Add(kSelectObject, {1}).Add(kSelectObject, {2});
    c.records(b);
    const QImage image = Played(Loaded(b.Bytes()), 100, 100, Rect(0, 0, 100, 100));
    for (const Probe& p : c.probes) EXPECT_EQ(PixelColor(image, p.x, p.y), ColorToRGB(p.color)) << p.what;
    if (!c.outlined) {
      EXPECT_EQ(CountColor(image, clBlue), 0);
    }
  }
}

}  // namespace

}  // namespace windows_metafile_test

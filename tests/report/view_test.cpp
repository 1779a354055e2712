// Shared view geometry, fill, frame and band alignment; the band, sub-report,
// picture and line objects.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>

#include "report/fr_globals.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_utils.h"
#include "report/fr_views.h"
#include "tests/report/class_support.h"
#include "tests/report/view_support.h"
#include "toolkit/core/binary.h"
#include "toolkit/gfx/jpeg.h"
#include "toolkit/gfx/metafile.h"

namespace view_test {

namespace {

using class_test::TestWork;

class ViewTest : public ::testing::Test {
 protected:
  TestWork work;
};

TEST_F(ViewTest, ScaledGeometryAndPaintRectangle) {
  struct Case {
    const char* what;
    double frame_width;
    uint16_t edges;
    double scale;
    int origin;
    int left, top, width, height, gap_x, gap_y;
    TRect paint;
  } cases[] = {
      // Halves round to even: a 1-pixel frame moves nothing.
      {"frame 1, all edges", 1, 15, 1.0, 0, 10, 20, 100, 50, 2, 1, Rect(10, 20, 111, 71)},
      {"frame 2 shifts the right edge left", 2, frbRight, 1.0, 0, 10, 20, 100, 50, 3, 1, Rect(10, 20, 110, 71)},
      {"frame 2, all edges", 2, 15, 1.0, 0, 10, 20, 100, 50, 3, 1, Rect(10, 20, 110, 70)},
      {"no edges", 3, 0, 1.0, 0, 10, 20, 100, 50, 4, 2, Rect(10, 20, 111, 71)},
      {"scale 2 with origin", 1, 0, 2.0, 5, 25, 45, 200, 100, 5, 2, Rect(25, 45, 226, 146)},
  };
  for (const Case& c : cases) {
    frEngine().EngineMode = emPrinting;
    TfrMemoView v;
    v.SetBounds(10, 20, 100, 50);
    v.FrameWidth = c.frame_width;
    v.FrameTyp = c.edges;
    v.ScaleFactorX = v.ScaleFactorY = c.scale;
    v.OriginX = v.OriginY = c.origin;
    v.ApplyScale();
    EXPECT_EQ(v.Left, c.left) << c.what;
    EXPECT_EQ(v.Top, c.top) << c.what;
    EXPECT_EQ(v.Width, c.width) << c.what;
    EXPECT_EQ(v.Height, c.height) << c.what;
    EXPECT_EQ(v.GapX, c.gap_x) << c.what;
    EXPECT_EQ(v.GapY, c.gap_y) << c.what;
    EXPECT_EQ(v.PaintRect, c.paint) << c.what;
    v.RestoreGeometry();
    EXPECT_EQ(v.Left, 10) << c.what;
    EXPECT_EQ(v.Width, 100) << c.what;
    EXPECT_EQ(v.GapX, 2) << c.what;
    EXPECT_EQ(v.FrameWidth, c.frame_width) << c.what;
  }
  // A designer draws at scale 1 whatever the view holds.
  frEngine().EngineMode = emDesigning;
  TfrMemoView v;
  v.SetBounds(10, 20, 100, 50);
  v.ScaleFactorX = 3;
  v.ApplyScale();
  EXPECT_EQ(v.Width, 100);
}

// The fills and frame lines a view paints.
struct Painted {
  int fills = 0;
  int lines = 0;
  int outlines = 0;
  TColor fill_color = clNone;
};
Painted Paint(TfrView& v) {
  TMetafile m;
  TMetafileCanvas canvas(m);
  v.Canvas = &canvas;
  v.ApplyScale();
  v.PaintFill();
  v.PaintBorder();
  v.RestoreGeometry();
  Painted p;
  for (const TMetaRecord& r : m.Records()) {
    if (r.op == TMetaOp::FillRect) {
      ++p.fills;
      p.fill_color = r.brush_color;
    }
    if (r.op == TMetaOp::Line) ++p.lines;
    if (r.op == TMetaOp::Rectangle && r.brush_style == bsClear) ++p.outlines;
  }
  return p;
}

TEST_F(ViewTest, FillNoneMeansNoPaintOnPaper) {
  TfrMemoView v;
  v.SetBounds(0, 0, 50, 20);
  frEngine().EngineMode = emPrinting;
  EXPECT_EQ(Paint(v).fills, 0);
  // A designer shows the page's white, never the "none" value as a colour.
  frEngine().EngineMode = emDesigning;
  const Painted designed = Paint(v);
  EXPECT_EQ(designed.fills, 1);
  EXPECT_EQ(designed.fill_color, clWhite);
  frEngine().EngineMode = emPrinting;
  v.FillColor = 0x00FF00;
  v.FrameTyp = 15;
  const Painted filled = Paint(v);
  EXPECT_EQ(filled.fills, 1);
  EXPECT_EQ(filled.fill_color, 0x00FF00);
  // A whole plain frame is one outline; part of one, its lines.
  EXPECT_EQ(filled.lines, 0);
  EXPECT_EQ(filled.outlines, 1);
  v.FrameTyp = frbLeft | frbTop | frbRight;
  EXPECT_EQ(Paint(v).lines, 3);
  EXPECT_EQ(Paint(v).outlines, 0);
  v.FrameTyp = 15;
  // The first of two passes paints neither.
  work.Context().PaintsSkipped = true;
  const Painted first = Paint(v);
  EXPECT_EQ(first.fills, 0);
  EXPECT_EQ(first.lines, 0);
}

// Fills, frames and corner marks of an object reaching the end of the
// coordinate range draw what of them lies on the canvas, without overflow.
TEST_F(ViewTest, AnObjectReachingTheEndOfTheRangeDrawsItsVisiblePart) {
  constexpr int kMax = std::numeric_limits<int>::max();
  const struct {
    const char* what;
    int mode;
    int left;
    uint16_t frame_style;
    TColor fill;
  } cases[] = {
      {"plain frame on paper", emPrinting, 5, frsSolid, clNone},
      {"double frame on paper", emPrinting, 5, frsDouble, clNone},
      {"dashed frame on paper", emPrinting, 5, frsDash, clNone},
      {"frame and corner marks in a designer", emDesigning, 5, frsSolid, clNone},
      {"fill from far left", emPrinting, -(1 << 30), frsSolid, clBlack},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    frEngine().EngineMode = c.mode;
    TBitmap bitmap;
    bitmap.SetSize(40, 40);
    bitmap.Canvas().Brush().SetColor(clWhite);
    bitmap.Canvas().FillRect(Rect(0, 0, 40, 40));
    TfrMemoView v;
    v.SetBounds(c.left, 5, kMax, kMax);
    v.FrameTyp = c.fill == clNone ? 15 : 0;
    v.FrameStyle = c.frame_style;
    v.FrameColor = clBlack;
    v.FillColor = c.fill;
    v.Canvas = &bitmap.Canvas();
    v.ApplyScale();
    v.PaintFill();
    v.PaintBorder();
    v.RestoreGeometry();
    const auto dark = [&](int x, int y) { return (bitmap.Canvas().Pixel(x, y) & 0xFFFFFF) == 0; };
    if (c.fill == clNone) {
      // The top and left edges (a double frame's lines one pixel either
      // side); nothing inside.
      EXPECT_TRUE(dark(20, 4) || dark(20, 5));
      EXPECT_TRUE(dark(4, 20) || dark(5, 20));
      EXPECT_FALSE(dark(20, 20));
    } else {
      EXPECT_TRUE(dark(2, 20));
      EXPECT_TRUE(dark(39, 39));
      EXPECT_FALSE(dark(20, 2));
    }
  }
}

TEST_F(ViewTest, FrameStylesDrawTheirLines) {
  frEngine().EngineMode = emPrinting;
  TfrMemoView v;
  v.SetBounds(0, 0, 50, 20);
  v.FrameTyp = frbTop;
  v.FrameWidth = 3;
  v.FrameStyle = frsDash;
  EXPECT_EQ(Paint(v).lines, 3);  // three parallel 1-pixel strokes
  v.FrameStyle = frsDouble;
  EXPECT_EQ(Paint(v).lines, 2);  // the outer lines; no fill, no middle line
  v.FillColor = 0x00FF00;
  EXPECT_EQ(Paint(v).lines, 3);  // outer, middle in the fill colour, outer
  v.FrameStyle = frsSolid;
  EXPECT_EQ(Paint(v).lines, 1);
}

TEST_F(ViewTest, BandAlignmentPlacesObjectsOnTheRow) {
  frEngine().EngineMode = emPrinting;
  TfrMemoView left1, left2, right1, subject;
  left1.SetBounds(72, 10, 100, 20);
  left1.BandAlign = baLeft;
  left2.SetBounds(300, 10, 50, 20);
  left2.BandAlign = baLeft;
  right1.SetBounds(600, 10, 80, 20);
  right1.BandAlign = baRight;
  std::vector<TfrView*> page = {&left1, &left2, &right1, &subject};
  work.host.OnPageLimits = [] { return std::optional<std::pair<int, int>>({72, 733}); };
  work.host.OnPageObjects = [&] { return page; };
  struct Case {
    const char* what;
    uint8_t align;
    int left, width;
    int expected_left, expected_width;
  } cases[] = {
      {"right without a neighbour", baRight, 650, 202, 531, 202},
      {"right before a right-aligned neighbour", baRight, 400, 100, 499, 100},
      {"left after the nearest left neighbour", baLeft, 250, 40, 172, 40},
      {"left without a neighbour", baLeft, 50, 40, 72, 40},
      {"centre", baCenter, 0, 101, 352, 101},
      {"width outside bands", baWidth, 0, 10, 72, 660},
      {"rest up to the right neighbour", baRest, 400, 10, 350, 250},
      {"none", baNone, 123, 10, 123, 10},
  };
  for (const Case& c : cases) {
    subject.SetBounds(c.left, 10, c.width, 20);
    subject.BandAlign = c.align;
    BeginDraw(subject, nullptr);
    EXPECT_EQ(subject.Left, c.expected_left) << c.what;
    EXPECT_EQ(subject.Width, c.expected_width) << c.what;
    EXPECT_EQ(frRunningBuild().CurView, &subject);
  }
  // Another row has no neighbours.
  subject.SetBounds(400, 40, 100, 20);
  subject.BandAlign = baRight;
  BeginDraw(subject, nullptr);
  EXPECT_EQ(subject.Left, 633);
  // Without a current page nothing moves.
  work.host.OnPageLimits = nullptr;
  subject.SetBounds(650, 10, 202, 20);
  BeginDraw(subject, nullptr);
  EXPECT_EQ(subject.Left, 650);
}

TEST_F(ViewTest, ClipRegionsCoverTheFrame) {
  TfrMemoView v;
  v.SetBounds(10, 20, 100, 50);
  EXPECT_EQ(v.BuildClipRegion(false), Rect(10, 20, 111, 71));
  v.FrameTyp = 15;
  v.FrameWidth = 4;
  EXPECT_EQ(v.BuildClipRegion(false), Rect(8, 18, 113, 73));
  EXPECT_EQ(v.BuildClipRegion(true), Rect(-2, 8, 123, 83));
  TfrLineView line;
  line.SetBounds(10, 20, 0, 50);
  line.FrameWidth = 3;
  EXPECT_EQ(line.BuildClipRegion(false), Rect(9, 20, 12, 71));
}

TEST_F(ViewTest, LinesTurnByTheirShape) {
  TfrLineView line;
  line.SetBounds(0, 0, 100, 5);
  TMetafile m;
  TMetafileCanvas canvas(m);
  line.DrawTo(&canvas);
  EXPECT_EQ(line.Height, 0);
  EXPECT_EQ(line.FrameTyp, frbTop);
  line.SetBounds(0, 0, 5, 100);
  line.DrawTo(&canvas);
  EXPECT_EQ(line.Width, 0);
  EXPECT_EQ(line.FrameTyp, frbLeft);
  EXPECT_EQ(line.CalcHeight(), 100);
  EXPECT_EQ(line.MinimumHeight(), 1);
  EXPECT_EQ(line.RemainingHeight(), 0);
}

TEST_F(ViewTest, BandRecordsCarryColumnsAndMaster) {
  TfrBandView band;
  band.Name = "Band3";
  band.FrameTyp = btMasterData;
  band.FormatText = "frDBDataSet1";
  TfrBandView back;
  const std::string written = view_test::RecordRoundTrip(band, back);
  EXPECT_EQ(back.ChildBand, "");
  EXPECT_EQ(back.Columns, 1);
  EXPECT_EQ(back.ColumnWidth, 200);
  EXPECT_EQ(back.ColumnGap, 20);
  EXPECT_EQ(back.NewColumnAfter, 1);
  EXPECT_EQ(back.Master, "");
  EXPECT_EQ(back.FormatText, "frDBDataSet1");
  EXPECT_EQ(back.RecordMinor, 1);

  // A 2.0 record has no Master; written again it becomes 2.1 with one.
  std::string bytes = written;
  const size_t minor_at = 2 + band.Name.size() + 1 + 1;
  bytes[minor_at] = 0;
  bytes.resize(bytes.size() - 3);  // the empty Master
  TMemoryStream old;
  old.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  old.SetPosition(0);
  TfrBandView from_old;
  from_old.ReadRecord(old, 25);
  EXPECT_EQ(old.Position(), old.Size());
  TMemoryStream again;
  from_old.WriteRecord(again);
  EXPECT_EQ(again.Bytes(), written);
}

TEST_F(ViewTest, BandPropertiesByType) {
  TfrBandView band;
  band.FrameTyp = btPageFooter;
  band.FillPropertyList();
  EXPECT_NE(band.FindProperty("OnLastPage"), nullptr);
  EXPECT_EQ(band.FindProperty("ChildBand"), nullptr);
  EXPECT_NE(band.FindProperty("OnBeforePrint"), nullptr);
  EXPECT_EQ(band.FindProperty("Memo"), nullptr);
  band.PutProperty("FormNewPage", true);
  EXPECT_TRUE(band.Flags & flBandNewPageAfter);
  EXPECT_TRUE(band.FetchProperty("OnFirstPage").AsBoolean());
  band.PutProperty("Condition", "[X]");
  EXPECT_EQ(band.FormatText, "[X]");
  EXPECT_EQ(VarToStr(band.FetchProperty("CONDITION")), "[X]");
}

std::string SmallJpeg(int width, int height) {
  TBitmap bitmap;
  bitmap.SetSize(width, height);
  TJPEGImage jpeg;
  jpeg.Assign(bitmap);
  TMemoryStream out;
  jpeg.SaveToStream(out);
  return std::string(out.Bytes());
}

TEST_F(ViewTest, PictureRecordsKeepTheirBytesAndEndPosition) {
  TfrPictureView pic;
  pic.Name = "Picture1";
  pic.SetPicture(pkJPEG, SmallJpeg(100, 50));
  pic.BlobType = btJPG;
  TMemoryStream out;
  out.WriteBuffer("xyz", 3);  // positions are absolute in the stream
  pic.WriteRecord(out);
  out.WriteBuffer("after", 5);
  out.SetPosition(3);
  TfrPictureView back;
  back.ReadRecord(out, 25);
  EXPECT_EQ(out.Position(), out.Size() - 5);
  EXPECT_EQ(back.PictureKind(), pkJPEG);
  EXPECT_EQ(back.PictureData(), pic.PictureData());
  EXPECT_EQ(back.BlobType, btJPG);
  EXPECT_EQ(back.PictureWidth(), 100);
  EXPECT_EQ(back.PictureHeight(), 50);

  // Kind 0 still carries the end position; reading goes on there.
  TfrPictureView empty, none_back;
  view_test::RecordRoundTrip(empty, none_back);
  EXPECT_EQ(none_back.PictureKind(), pkNone);
}

TEST_F(ViewTest, PictureEndPositionsOutsideTheStreamAreRefused) {
  TfrPictureView pic;
  pic.SetPicture(pkJPEG, SmallJpeg(4, 4));
  TMemoryStream out;
  pic.WriteRecord(out);
  const std::string good(out.Bytes());
  const size_t end_at = good.size() - pic.PictureData().size() - 4;
  for (int64_t end : {int64_t{-1}, int64_t{0}, static_cast<int64_t>(end_at), static_cast<int64_t>(good.size() + 1),
                      int64_t{0x7FFFFFFF}}) {
    std::string bad = good;
    PutLE32(reinterpret_cast<unsigned char*>(bad.data() + end_at), static_cast<uint32_t>(end));
    TMemoryStream in;
    in.WriteBuffer(bad.data(), static_cast<int64_t>(bad.size()));
    in.SetPosition(0);
    TfrPictureView back;
    EXPECT_THROW(back.ReadRecord(in, 25), EReadError) << end;
  }
}

TEST_F(ViewTest, PictureTargetRectangles) {
  frEngine().EngineMode = emPrinting;
  TfrPictureView pic;
  pic.SetPicture(pkJPEG, SmallJpeg(100, 50));
  pic.SetBounds(0, 0, 200, 200);
  pic.FrameWidth = 0;
  struct Case {
    const char* what;
    uint16_t flags;
    TRect target;
  } cases[] = {
      // PaintRect reaches one pixel past the object's right and bottom.
      {"stretched keeping the aspect", flStretched | flPictRatio, Rect(0, 0, 201, 100)},
      {"stretched keeping the aspect, centred", flStretched | flPictRatio | flPictCenter, Rect(0, 50, 201, 150)},
      {"stretched", flStretched, Rect(0, 0, 201, 201)},
      {"as it is", 0, Rect(0, 0, 100, 50)},
      {"as it is, centred", flPictCenter, Rect(50, 75, 150, 125)},
  };
  for (const Case& c : cases) {
    pic.Flags = c.flags;
    pic.ApplyScale();
    EXPECT_EQ(pic.TargetRect(), c.target) << c.what;
    pic.RestoreGeometry();
  }
  TMetafile m;
  TMetafileCanvas canvas(m);
  pic.Flags = flStretched | flPictRatio;
  pic.DrawTo(&canvas);
  ASSERT_FALSE(m.Records().empty());
  EXPECT_EQ(m.Records().back().op, TMetaOp::Draw);
  EXPECT_EQ(m.Records().back().image_width, 201);
  EXPECT_EQ(m.Records().back().image_height, 100);
}

// An icon is drawn, not only kept: its own pixels where it has them, the
// paper's white where it is transparent.
TEST_F(ViewTest, IconsAreDrawnWithTheirTransparentPartsWhite) {
  frEngine().EngineMode = emPrinting;
  QImage icon(16, 16, QImage::Format_ARGB32);
  icon.fill(Qt::transparent);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 8; ++x) icon.setPixel(x, y, qRgb(255, 0, 0));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(icon.save(&buffer, "ICO"));
  TfrPictureView pic;
  pic.SetPicture(pkIcon, std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
  pic.SetBounds(0, 0, 40, 40);
  pic.Flags = 0;
  pic.FrameWidth = 0;
  TMetafile m;
  TMetafileCanvas canvas(m);
  pic.DrawTo(&canvas);
  ASSERT_FALSE(m.Records().empty());
  const TMetaRecord& drawn = m.Records().back();
  ASSERT_EQ(drawn.op, TMetaOp::Draw);
  ASSERT_EQ(drawn.image_width, 16);
  ASSERT_EQ(drawn.image_height, 16);
  EXPECT_EQ(drawn.image[2 * 16 + 2] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(drawn.image[2 * 16 + 12] & 0xFFFFFF, 0xFFFFFFu);
}

// Scripts read a picture as a number and give that number to another
// picture, which takes a copy; 0 empties one, a number of no picture is refused.
TEST_F(ViewTest, PicturePropertyCopiesAnotherPicture) {
  TfrPictureView source, target;
  source.SetPicture(pkJPEG, SmallJpeg(8, 6));
  const Variant handle = source.FetchProperty("PICTURE");
  ASSERT_FALSE(handle.IsNull());
  EXPECT_NE(handle.AsInteger(), target.FetchProperty("Picture").AsInteger());
  target.PutProperty("Picture", handle);
  EXPECT_EQ(target.PictureKind(), pkJPEG);
  EXPECT_EQ(target.PictureData(), source.PictureData());
  EXPECT_EQ(target.PictureWidth(), 8);
  target.PutProperty("PICTURE", 0);
  EXPECT_EQ(target.PictureKind(), pkNone);
  int gone = 0;
  {
    TfrPictureView freed;
    gone = freed.FetchProperty("PICTURE").AsInteger();
  }
  EXPECT_THROW(target.PutProperty("PICTURE", gone), Exception);
  EXPECT_EQ(source.PictureKind(), pkJPEG);
}

TEST_F(ViewTest, LoadFromFileTakesPicturesAndEmptiesOnMissingFiles) {
  const std::string path = (std::filesystem::temp_directory_path() / "r1_view_test.jpg").string();
  {
    const std::string jpeg = SmallJpeg(8, 6);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(jpeg.data(), 1, jpeg.size(), f);
    std::fclose(f);
  }
  TfrPictureView pic;
  pic.InvokeMethod("LoadFromFile", "'" + path + "'", Null(), Null());
  EXPECT_EQ(pic.PictureKind(), pkJPEG);
  EXPECT_EQ(pic.PictureWidth(), 8);
  pic.InvokeMethod("LOADFROMFILE", "'" + path + ".missing'", Null(), Null());
  EXPECT_EQ(pic.PictureKind(), pkNone);
  std::filesystem::remove(path);
}

TEST_F(ViewTest, FactoryMakesEveryStandardKind) {
  RegisterStandardViews();
  struct Case {
    int code;
    const char* class_name;
    const char* prefix;
  } cases[] = {{gtMemo, "TfrMemoView", "Memo"},
               {gtPicture, "TfrPictureView", "Picture"},
               {gtBand, "TfrBandView", "Band"},
               {gtSubReport, "TfrSubReportView", "SubReport"},
               {gtLine, "TfrLineView", "Line"}};
  for (const Case& c : cases) {
    std::unique_ptr<TfrView> v = CreateViewByType(c.code, "");
    ASSERT_NE(v, nullptr) << c.code;
    EXPECT_STREQ(v->ClassName(), c.class_name);
    EXPECT_EQ(v->TypeCode, c.code);
    EXPECT_EQ(v->NamePrefix, c.prefix);
  }
  TfrSubReportView sub;
  sub.SubPage = 3;
  TfrSubReportView back;
  view_test::RecordRoundTrip(sub, back);
  EXPECT_EQ(back.SubPage, 3);
}

TEST_F(ViewTest, ExpandVariablesLeavesLiteralsAndValues) {
  TfrMemoView v;
  work.host.OnExpandValue = [](TfrView&, const AnsiString& inner) -> AnsiString {
    return inner == "A" ? "[B]" : "<" + inner + ">";
  };
  struct Case {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"no brackets", "no brackets"},
      {"[A] and [C]", "[B] and <C>"},
      {"[x[y]z]", "<x[y]z>"},
      {"['a]b']", "<'a]b'>"},
      {"", ""},
  };
  for (const Case& c : cases) {
    AnsiString text = c.text;
    ExpandVariables(v, text);
    EXPECT_EQ(text, c.expanded) << c.text;
  }
}

}  // namespace

namespace {

TEST_F(ViewTest, PrintedLinesAreAlignedAndTagsExpanded) {
  RegisterStandardViews();
  frEngine().EngineMode = emPrinting;
  work.host.OnPageLimits = [] { return std::optional<std::pair<int, int>>({72, 733}); };
  work.host.OnExpandValue = [](TfrView&, const AnsiString& inner) -> AnsiString { return "<" + inner + ">"; };
  TfrLineView line;
  line.RecordMode = rmPrepared;
  line.SetBounds(500, 0, 100, 0);
  line.BandAlign = baRight;
  line.Tag = "[T]";
  TMemoryStream page;
  line.PrintToPage(page);
  page.SetPosition(0);
  ASSERT_EQ(ReadByte(page), gtLine);
  TfrLineView printed;
  printed.RecordMode = rmPrepared;
  printed.ReadRecord(page, 25);
  EXPECT_EQ(printed.Left, 633);
  EXPECT_EQ(printed.Tag, "<T>");
  EXPECT_EQ(line.Tag, "[T]");  // the template keeps its brackets
}

}  // namespace

namespace {

// Every cut of a record ends in the stream's read error, never in a crash or
// an object read from bytes that are not there.
TEST_F(ViewTest, CutRecordsRaiseTheReadError) {
  TfrMemoView memo;
  memo.Memo.Add("line");
  memo.HighlightCondition = "[X]";
  TfrBandView band;
  band.ChildBand = "Child1";
  TfrPictureView picture;
  picture.SetPicture(pkJPEG, SmallJpeg(2, 2));
  TfrLineView line;
  TfrSubReportView sub;
  std::vector<std::pair<TfrView*, std::function<std::unique_ptr<TfrView>()>>> kinds = {
      {&memo, [] { return std::make_unique<TfrMemoView>(); }},
      {&band, [] { return std::make_unique<TfrBandView>(); }},
      {&picture, [] { return std::make_unique<TfrPictureView>(); }},
      {&line, [] { return std::make_unique<TfrLineView>(); }},
      {&sub, [] { return std::make_unique<TfrSubReportView>(); }},
  };
  for (auto& [view, make] : kinds) {
    TMemoryStream whole;
    view->WriteRecord(whole);
    const std::string bytes(whole.Bytes());
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
      TMemoryStream in;
      in.WriteBuffer(bytes.data(), static_cast<int64_t>(cut));
      in.SetPosition(0);
      std::unique_ptr<TfrView> back = make();
      EXPECT_THROW(back->ReadRecord(in, 25), EReadError) << view->ClassName() << " cut at " << cut;
    }
  }
}

}  // namespace

namespace {

TEST_F(ViewTest, AlignmentFollowsTheEnginesCurrentPage) {
  frEngine().EngineMode = emPrinting;
  TfrPage page(kDefaultPaperSize, 0, 0, kPageDefaultBin, 0);
  page.LeftMargin = 72;
  page.RightMargin = page.Metrics.PageWidth - 733;
  auto* left = new TfrMemoView;
  left->SetBounds(300, 10, 50, 20);
  left->BandAlign = baLeft;
  auto* subject = new TfrMemoView;
  subject->SetBounds(650, 10, 202, 20);
  subject->BandAlign = baRight;
  page.Objects.emplace_back(left);
  page.Objects.emplace_back(subject);
  frRunningBuild().CurPage = &page;
  BeginDraw(*subject, nullptr);
  EXPECT_EQ(subject->Left, 531);
  BeginDraw(*left, nullptr);
  EXPECT_EQ(left->Left, 72);
  subject->BandAlign = baLeft;
  subject->Left = 400;
  BeginDraw(*subject, nullptr);
  EXPECT_EQ(subject->Left, 122);  // right after its neighbour, now at 72
  frRunningBuild().CurPage = nullptr;
}

}  // namespace

namespace {

TEST_F(ViewTest, PicturesNameTheBlobFormatsForExpressions) {
  frGlobals().NamedConstants.DeleteVariableAt(frGlobals().NamedConstants.IndexOfVariable("btWMF"));
  TfrPictureView picture;
  EXPECT_EQ(frGlobals().NamedConstants.FetchVariable("btJPG").AsInteger(), 1);
  EXPECT_EQ(frGlobals().NamedConstants.FetchVariable("btWMF").AsInteger(), 3);
}

}  // namespace

namespace {

TEST_F(ViewTest, GeometryAtTheEndsOfItsRangeDoesNotOverflow) {
  constexpr int kMax = std::numeric_limits<int>::max();
  constexpr int kMin = std::numeric_limits<int>::min();
  frEngine().EngineMode = emPrinting;
  TfrMemoView v;
  v.SetBounds(kMax, kMin, kMax, kMax);
  v.FrameTyp = 15;
  v.FrameWidth = 4;
  v.ScaleFactorX = v.ScaleFactorY = 2.0;
  v.OriginX = v.OriginY = kMax;
  v.ApplyScale();
  EXPECT_EQ(v.Left, kMax);
  EXPECT_EQ(v.PaintRect.Right, kMax - 4 + 1);  // held at the end, then the frame's half taken off
  EXPECT_LE(v.PaintRect.Top, v.PaintRect.Bottom);
  v.RestoreGeometry();
  EXPECT_EQ(v.Left, kMax);
  const TRect clip = v.BuildClipRegion(true);
  EXPECT_EQ(clip.Right, kMax);
  EXPECT_EQ(clip.Top, kMin);

  TfrMemoView neighbour;
  neighbour.SetBounds(kMax - 1, 0, kMax, 10);
  neighbour.BandAlign = baLeft;
  v.SetBounds(kMax, 0, 10, 10);
  v.BandAlign = baLeft;
  work.host.OnPageLimits = [] { return std::optional<std::pair<int, int>>({0, 100}); };
  work.host.OnPageObjects = [&] { return std::vector<TfrView*>{&neighbour, &v}; };
  BeginDraw(v, nullptr);
  EXPECT_EQ(v.Left, kMax);
}

}  // namespace

}  // namespace view_test

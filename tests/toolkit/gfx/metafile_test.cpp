// The recording canvas: what it records replays to the same pixels as
// drawing directly, replays into another recording unchanged, and lists its
// texts with font and clip.
#include "toolkit/gfx/metafile.h"

#include <gtest/gtest.h>

#include <QImage>

namespace metafile_test {

// A scene that uses every kind of drawing call and changes state between them.
void Scene(TCanvas& c) {
  c.Brush().SetColor(clYellow);
  c.FillRect(Rect(5, 5, 60, 40));
  c.Pen().SetColor(clBlue);
  c.Pen().SetWidth(2);
  c.Brush().SetColor(clLime);
  c.Rectangle(70, 5, 120, 40);
  c.Pen().SetWidth(1);
  c.Brush().SetStyle(bsClear);
  c.Ellipse(130, 5, 180, 45);
  const TPoint triangle[] = {{10, 90}, {40, 50}, {70, 90}};
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(clRed);
  c.Polygon(triangle, 3);
  c.Pen().SetStyle(psDot);
  c.MoveTo(80, 50);
  c.LineTo(150, 95);
  c.Font().SetName("Arial");
  c.Font().SetSize(12);
  c.Font().SetStyle(TFontStyles().Include(fsBold));
  c.Font().SetColor(clNavy);
  c.PushClip(Rect(150, 50, 190, 70));
  c.TextOut(152, 52, "Clipped text");
  c.PopClip();
  c.Brush().SetStyle(bsClear);
  c.TextOut(10, 95, "Free");
  TBitmap picture;
  picture.SetSize(8, 6);
  picture.Canvas().Brush().SetColor(clPurple);
  picture.Canvas().FillRect(Rect(0, 0, 4, 6));
  c.Draw(185, 5, picture);
  c.SetPixel(199, 99, clRed);
  // Part of the yellow fill turns blue, whatever pen and brush are set.
  c.InvertRect(Rect(40, 20, 60, 40));
  // Two rings drawn the same way round: the winding rule fills the inner one.
  const TPoint rings[] = {{160, 75}, {196, 75}, {196, 106}, {160, 106}, {170, 85}, {186, 85}, {186, 96}, {170, 96}};
  const int counts[] = {4, 4};
  c.Pen().SetStyle(psSolid);
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(clTeal);
  c.PolyPolygon(rings, counts, 2, frWinding);
}

QImage Direct() {
  TBitmap bitmap;
  bitmap.SetSize(200, 110);
  Scene(bitmap.Canvas());
  return bitmap.Image().copy();
}

TEST(Metafile, ReplayGivesTheSamePixelsAsDrawingDirectly) {
  TMetafile metafile;
  {
    TMetafileCanvas recorder(metafile);
    Scene(recorder);
  }
  TBitmap bitmap;
  bitmap.SetSize(200, 110);
  metafile.Replay(bitmap.Canvas());
  const QImage direct = Direct();
  const QImage replayed = bitmap.Image();
  int differing = 0;
  for (int y = 0; y < direct.height(); ++y)
    for (int x = 0; x < direct.width(); ++x) differing += direct.pixel(x, y) != replayed.pixel(x, y);
  EXPECT_EQ(differing, 0);
  // The picture is not blank: the scene drew.
  EXPECT_EQ(QColor(direct.pixel(10, 10)), QColor(Qt::yellow));
  EXPECT_EQ(QColor(direct.pixel(199, 99)), QColor(Qt::red));
  EXPECT_EQ(QColor(direct.pixel(50, 30)), QColor(Qt::blue)) << "yellow inverted";
  EXPECT_EQ(QColor(direct.pixel(39, 30)), QColor(Qt::yellow)) << "only inside the rectangle";
  EXPECT_EQ(QColor(direct.pixel(178, 90)), QColor(Qt::darkCyan)) << "the inner ring filled by the winding rule";
}

TEST(Metafile, ReplayIntoARecordingCopiesItAndMovesIt) {
  TMetafile original;
  {
    TMetafileCanvas recorder(original);
    Scene(recorder);
  }
  TMetafile copy;
  TMetafileCanvas copier(copy);
  original.Replay(copier);
  EXPECT_EQ(copy, original);

  TMetafile moved;
  TMetafileCanvas mover(moved);
  original.Replay(mover, 10, -3);
  ASSERT_EQ(moved.Records().size(), original.Records().size());
  for (size_t i = 0; i < moved.Records().size(); ++i) {
    const TMetaOp op = original.Records()[i].op;
    if (op == TMetaOp::Polygon || op == TMetaOp::PolyPolygon || op == TMetaOp::PopClip) continue;  // no rectangle
    const TRect& a = original.Records()[i].rect;
    const TRect& b = moved.Records()[i].rect;
    EXPECT_EQ(b, Rect(a.Left + 10, a.Top - 3, a.Right + 10, a.Bottom - 3)) << i;
  }
  EXPECT_EQ(moved.Records()[3].points.at(1), (TPoint{50, 47}));
  const TMetaRecord& rings = moved.Records().back();
  ASSERT_EQ(rings.op, TMetaOp::PolyPolygon);
  EXPECT_EQ(rings.points.at(4), (TPoint{180, 82}));
  EXPECT_EQ(rings.counts, (std::vector<int>{4, 4}));
  EXPECT_EQ(rings.fill_rule, frWinding);
}

TEST(Metafile, ReplayLeavesTheTargetCanvasAsItWas) {
  TMetafile metafile;
  {
    TMetafileCanvas recorder(metafile);
    Scene(recorder);
    recorder.PushClip(Rect(0, 0, 1, 1));  // left open: the target must not keep it
  }
  TBitmap bitmap;
  bitmap.SetSize(200, 110);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Pen().SetColor(clGreen);
  canvas.Brush().SetColor(clAqua);
  canvas.Font().SetSize(20);
  canvas.MoveTo(3, 4);
  metafile.Replay(canvas);
  EXPECT_EQ(canvas.Pen().Color(), clGreen);
  EXPECT_EQ(canvas.Pen().Style(), psSolid);
  EXPECT_EQ(canvas.Brush().Color(), clAqua);
  EXPECT_EQ(canvas.Brush().Style(), bsSolid);
  EXPECT_EQ(canvas.Font().Size(), 20);
  EXPECT_EQ(canvas.PenPos(), (TPoint{3, 4}));
  canvas.FillRect(Rect(100, 100, 110, 110));  // not clipped away
  EXPECT_EQ(QColor(bitmap.Image().pixel(105, 105)), QColor(Qt::cyan));
}

TEST(Metafile, TextRunsCarryPlaceFontAndClip) {
  TMetafile metafile;
  TMetafileCanvas recorder(metafile);
  Scene(recorder);
  const auto runs = metafile.TextRuns();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].text, "Clipped text");
  EXPECT_EQ(runs[0].x, 152);
  EXPECT_EQ(runs[0].y, 52);
  EXPECT_EQ(runs[0].font.Name(), "Arial");
  EXPECT_EQ(runs[0].font.Size(), 12);
  EXPECT_TRUE(runs[0].font.Style().Contains(fsBold));
  EXPECT_EQ(runs[0].font.Color(), clNavy);
  EXPECT_TRUE(runs[0].clipped);
  EXPECT_EQ(runs[0].clip, Rect(150, 50, 190, 70));
  EXPECT_FALSE(runs[1].clipped);
  EXPECT_EQ(runs[1].brush_style, bsClear);
  EXPECT_EQ(metafile.Text(), "Clipped text\nFree\n");
  // Nested clips intersect; an unmatched pop records nothing.
  TMetafile nested;
  TMetafileCanvas c(nested);
  c.PopClip();
  c.PushClip(Rect(0, 0, 50, 50));
  c.PushClip(Rect(20, 30, 90, 90));
  c.TextOut(25, 35, "in");
  EXPECT_EQ(nested.TextRuns().at(0).clip, Rect(20, 30, 50, 50));
  EXPECT_EQ(nested.Records().front().op, TMetaOp::PushClip);
  // Text advances the pen position by its width, as on a screen canvas.
  EXPECT_EQ(c.PenPos().x, 25 + c.TextWidth("in"));
}

}  // namespace metafile_test

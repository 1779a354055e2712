// The lite and the standard designer: what a paint covers (the clip, through
// one bitmap of its size), sort marks, the selection of an unfocused grid,
// strips, footers with their states, lines, metrics and options.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "grid/rs_std.h"
#include "tests/grid/grid_support.h"
#include "toolkit/gfx/metafile.h"

namespace designer_paint_test {

using grid_support::MemGrid;

// Paints the given parts of the grid through its designer onto a recording,
// with the clip and rows the grid's paint handler would have worked out.
TMetafile Record(TDBGridPro& grid, const TRect& clip, int parts, int first_row, int last_row, bool offscreen,
                 int last_group = -1) {
  TMetafile metafile;
  TMetafileCanvas canvas(metafile);
  TgpPaintInfo& info = *grid.PaintInfo();
  info.Canvas = &canvas;
  info.ClipRect = clip;
  info.Parts = parts;
  info.Background = grid.Color();
  info.FirstGroup = 0;
  info.LastGroup = last_group >= 0 ? last_group : grid.Columns()->GroupCount() - 1;
  info.FirstRow = first_row;
  info.LastRow = last_row;
  info.OffScreen = offscreen;
  const int saved = grid.DataLink()->QueryActiveRow();
  if (parts & TgpPaintInfo::kRows) grid.PrepareRowAttrs(first_row, last_row);
  grid.EffectiveDesigner()->Paint(&grid, &info);
  grid.DataLink()->ChangeActiveRow(saved);
  info.Canvas = nullptr;
  return metafile;
}

std::vector<std::string> Texts(const TMetafile& m) {
  std::vector<std::string> out;
  for (const TMetaTextRun& run : m.TextRuns()) out.push_back(run.text);
  return out;
}

// The colour of a grabbed pixel as a TColor.
TColor At(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return static_cast<TColor>(qRed(p) | (qGreen(p) << 8) | (qBlue(p) << 16));
}

TColor Rgb(TColor c) { return static_cast<TColor>(ColorToRGB(c)); }

TEST(Designers, AGridWithoutADesignerPaintsThroughTheSharedStandardOne) {
  MemGrid g(3);
  EXPECT_NE(dynamic_cast<TStandardDesigner*>(g.grid->EffectiveDesigner()), nullptr);
  EXPECT_EQ(g.grid->EffectiveDesigner(), DefaultGridDesigner());
}

TEST(Designers, APaintCoversTheClipOnlyThroughOneBitmapOfItsSize) {
  for (bool lite : {true, false}) {
    SCOPED_TRACE(lite);
    MemGrid g(20, 300, 300);
    std::unique_ptr<TgpDesigner> designer;
    if (lite)
      designer = std::make_unique<TLiteDesigner>(nullptr);
    else
      designer = std::make_unique<TStandardDesigner>(nullptr);
    g.grid->SetDesigner(designer.get());
    const int band = g.grid->TitleBand(), height = g.grid->RowHeight();
    // Rows 2 to 4 of the first group.
    const int first_width = g.grid->Columns()->Groups(0)->TotalWidth;
    const TRect clip = Rect(0, band + 2 * height, first_width, band + 5 * height);
    const TMetafile bitmap = Record(*g.grid, clip, TgpPaintInfo::kRows, 2, 4, true, 0);
    ASSERT_EQ(bitmap.Records().size(), 1u);
    const TMetaRecord& draw = bitmap.Records()[0];
    EXPECT_EQ(draw.op, TMetaOp::Draw);
    EXPECT_EQ(draw.rect.Left, clip.Left);
    EXPECT_EQ(draw.rect.Top, clip.Top);
    EXPECT_EQ(draw.image_width, clip.Width());
    EXPECT_EQ(draw.image_height, clip.Height());
    // Drawn straight, the same paint holds those rows' texts and no title.
    const TMetafile direct = Record(*g.grid, clip, TgpPaintInfo::kRows, 2, 4, false, 0);
    EXPECT_EQ(Texts(direct), (std::vector<std::string>{"3", "4", "5"}));
    for (const TMetaRecord& r : direct.Records()) {
      if (r.op != TMetaOp::TextOut) continue;
      EXPECT_GE(r.rect.Top, 0);
      EXPECT_LT(r.rect.Top, clip.Height());
    }
    g.grid->SetDesigner(nullptr);
  }
}

TEST(Designers, ASortedTitleShowsItsSortMarkAtTheRight) {
  MemGrid g(5, 300, 200);
  TStandardDesigner designer(nullptr);
  g.grid->SetDesigner(&designer);
  TgpColumn* n = g.grid->Columns()->Items(0);
  const TRect clip = Rect(0, 0, 200, g.grid->TitleBand());
  auto marks = [&] {
    std::vector<TMetaRecord> out;
    const TMetafile painted = Record(*g.grid, clip, TgpPaintInfo::kTitles, -1, -1, false);
    for (const TMetaRecord& r : painted.Records())
      if (r.op == TMetaOp::Draw) out.push_back(r);
    return out;
  };
  EXPECT_TRUE(marks().empty());
  n->SetTitleState(tsSortedUp);
  const std::vector<TMetaRecord> up = marks();
  ASSERT_EQ(up.size(), 1u);
  const TRect title = n->TitleRect(false);
  EXPECT_EQ(up[0].rect.Left + up[0].image_width, title.Right - designer.TitleMarginsRef().RightMargin());
  EXPECT_GE(up[0].rect.Top, title.Top);
  EXPECT_LE(up[0].rect.Top + up[0].image_height, title.Bottom);
  n->SetTitleState(tsSortedDown);
  const std::vector<TMetaRecord> down = marks();
  ASSERT_EQ(down.size(), 1u);
  EXPECT_NE(down[0].image, up[0].image);
  g.grid->SetDesigner(nullptr);
}

TEST(Designers, AnUnfocusedGridPaintsItsSelectionAsHiddenOrShown) {
  struct Case {
    const char* what;
    bool hide_selection;
    TColor expected;
  };
  const Case cases[] = {{"hiding", true, clLime}, {"showing", false, clRed}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemGrid g(10, 300, 200);
    TLiteDesigner designer(nullptr);
    designer.SetSelectedRowFill(true);
    designer.SetSelectedRow(clRed);
    designer.SetSelectedCell(clRed);
    designer.SetHiddenSelection(clLime);
    g.grid->SetDesigner(&designer);
    g.grid->DoExit();
    g.grid->SetHideSelection(c.hide_selection);
    g.ds.Skip(2);
    const QImage image = g.grid->Widget()->grab().toImage();
    for (int i = 0; i < 2; ++i) {
      const TRect cell = g.grid->Columns()->Items(i)->CellRect(2, false, false);
      EXPECT_EQ(At(image, cell.Left + 2, cell.Top + 2), Rgb(c.expected)) << i;
      const TRect other = g.grid->Columns()->Items(i)->CellRect(1, false, false);
      EXPECT_EQ(At(image, other.Left + 2, other.Top + 2), Rgb(clWindow)) << i;
    }
    g.grid->SetDesigner(nullptr);
  }
}

TEST(Designers, StripsColourTheirRowsUnderTheLines) {
  MemGrid g(10, 300, 200);
  TLiteDesigner designer(nullptr);
  designer.SetSelectedCellFill(false);
  g.grid->SetDesigner(&designer);
  g.grid->SetStripStep(2);
  g.grid->OnGetRowAttrs = [](TComponent*, TgpRowAttrs* row) {
    if (row->StripNo == 2) row->Color = clAqua;
  };
  const QImage image = g.grid->Widget()->grab().toImage();
  TgpColumn* p = g.grid->Columns()->Items(1);
  for (int r = 0; r < 6; ++r) {
    const TRect cell = p->CellRect(r, false, false);
    EXPECT_EQ(At(image, cell.Left + 2, cell.Top + 2), Rgb(r % 2 == 1 ? clAqua : clWindow)) << r;
    // The row's line is drawn over its strip.
    const TRect whole = p->CellRect(r, true, false);
    EXPECT_EQ(At(image, whole.Left + 2, whole.Bottom - 1), Rgb(clSilver)) << r;
  }
  g.grid->OnGetRowAttrs = nullptr;
  g.grid->SetDesigner(nullptr);
}

TEST(Designers, FootersShowTheirStatesTextsAndColours) {
  MemGrid g(5, 300, 200);
  TStandardDesigner designer(nullptr);
  g.grid->SetDesigner(&designer);
  g.grid->SetShowFooters(true);
  TgpColumn* n = g.grid->Columns()->Items(0);
  TgpColumn* p = g.grid->Columns()->Items(1);
  n->SetFooterState(fsSum);
  n->SetFooterText("15");
  p->SetFooterState(fsCount);
  p->SetFooterText("5");
  p->FooterAttrs().SetColor(clYellow);
  const TRect footer = n->FooterRect(true, false);
  const TRect clip = Rect(0, footer.Top - designer.FooterTop(), 300, g.grid->ClientHeight());
  auto paint = [&] { return Record(*g.grid, clip, TgpPaintInfo::kFooters, -1, -1, false); };
  EXPECT_EQ(Texts(paint()), (std::vector<std::string>{"SUM=15", "5"}));
  // The column's footer colour fills its cell; the others take FooterColor.
  bool yellow = false;
  const TMetafile painted = paint();
  for (const TMetaRecord& r : painted.Records())
    if (r.op == TMetaOp::FillRect && r.brush_color == clYellow) yellow = true;
  EXPECT_TRUE(yellow);
  n->SetOptionsVisual(n->OptionsVisual() + TgpColumnVisualOptions{cvoNoFooterMarker});
  EXPECT_EQ(Texts(paint()), (std::vector<std::string>{"15", "5"}));
  n->SetFooterState(fsNone);
  EXPECT_EQ(Texts(paint()), (std::vector<std::string>{"5"}));
  g.grid->SetDesigner(nullptr);
}

TEST(Designers, TheStandardDesignerDrawsDoubleColumnLinesWithAMarginLine) {
  MemGrid g(10, 300, 200);
  TStandardDesigner designer(nullptr);
  designer.SetMarginLines(clLime);
  g.grid->SetDesigner(&designer);
  const QImage image = g.grid->Widget()->grab().toImage();
  const TgpGroupInfo* group = g.grid->Columns()->Groups(0);
  const int right = group->Left + group->TotalWidth;
  for (int y : {g.grid->TitleBand() + 2, g.grid->TitleBand() + 3 * g.grid->RowHeight() + 2, 3}) {
    EXPECT_EQ(At(image, right - 1, y), Rgb(clBlack)) << y;
    EXPECT_EQ(At(image, right - 2, y), Rgb(clLime)) << y;
    EXPECT_EQ(At(image, right - 3, y), Rgb(clBlack)) << y;
  }
  // The title band ends in two black lines around a margin line.
  const int band = g.grid->TitleHeight();
  EXPECT_EQ(At(image, 5, band - 1), Rgb(clBlack));
  EXPECT_EQ(At(image, 5, band - 2), Rgb(clLime));
  EXPECT_EQ(At(image, 5, band - 3), Rgb(clBlack));
  designer.SetOptions(designer.Options() - TStdDsgnOptions{dgMarginLines});
  const QImage plain = g.grid->Widget()->grab().toImage();
  EXPECT_EQ(At(plain, right - 2, g.grid->TitleBand() + 2), Rgb(clWindow));
  g.grid->SetDesigner(nullptr);
}

TEST(Designers, MetricsFollowTheLinesAndOptions) {
  MemGrid g(5);
  TLiteDesigner lite(nullptr);
  g.grid->SetDesigner(&lite);
  int top = -1, bottom = -1;
  lite.TitlePair(top, bottom);
  EXPECT_EQ(top, 0);
  EXPECT_EQ(bottom, 1);
  EXPECT_EQ(lite.VertLineWidth(), 1);
  EXPECT_EQ(lite.HorzLineWidth(), 1);
  EXPECT_TRUE(lite.ScrollByBlit());
  const int lined = g.grid->RowHeight();
  lite.SetHorizLines(clNone);
  EXPECT_EQ(lite.HorzLineWidth(), 0);
  EXPECT_EQ(g.grid->RowHeight(), lined - 1);
  lite.SetHorizLines(clSilver);
  lite.SetShowLines(false);
  EXPECT_EQ(lite.VertLineWidth(), 0);
  EXPECT_EQ(lite.HorzLineWidth(), 0);
  EXPECT_EQ(g.grid->RowHeight(), lined - 1);
  lite.SetTitleStyle(ltsNon3D);
  EXPECT_FALSE(lite.PressedOffset());

  TStandardDesigner standard(nullptr);
  g.grid->SetDesigner(&standard);
  EXPECT_EQ(standard.VertLineWidth(), 3);
  EXPECT_EQ(standard.HorzLineWidth(), 1);
  standard.TitlePair(top, bottom);
  EXPECT_EQ(bottom, 3);
  EXPECT_TRUE(standard.ScrollByBlit());
  EXPECT_FALSE(standard.FlatFooter());
  const int rows = g.grid->RowHeight();
  standard.SetOptions(TStdDsgnOptions{dg3DTitle, dgBoundLines});
  // Without horizontal lines the background option always comes along.
  EXPECT_TRUE(standard.Options().Contains(dgHorizBackground));
  EXPECT_TRUE(standard.FlatFooter());
  EXPECT_EQ(standard.HorzLineWidth(), 0);
  EXPECT_EQ(g.grid->RowHeight(), rows - 1);
  // Bound lines without row lines to carry them: no blit.
  EXPECT_FALSE(standard.ScrollByBlit());
  standard.SetOptions(TStdDsgnOptions{dg3DFooter});
  EXPECT_TRUE(standard.ScrollByBlit());
  EXPECT_FALSE(standard.PressedOffset());
  g.grid->SetDesigner(nullptr);
}

TEST(Designers, AssigningCopiesEverySettingOfTheSameClass) {
  TLiteDesigner a(nullptr), b(nullptr);
  a.SetTitleStyle(ltsFlat);
  a.SetShowLastLine(false);
  a.SetVertLines(clRed);
  a.SetSelectedRowFill(true);
  a.TitleFont()->SetName("Arial");
  b.Assign(&a);
  EXPECT_EQ(b.TitleStyle(), ltsFlat);
  EXPECT_FALSE(b.ShowLastLine());
  EXPECT_EQ(b.VertLines(), clRed);
  EXPECT_TRUE(b.SelectedRowFill());
  ASSERT_NE(b.TitleFontIfAny(), nullptr);
  EXPECT_EQ(b.TitleFontIfAny()->Name(), "Arial");
  TStandardDesigner s(nullptr), t(nullptr);
  s.SetOptions(TStdDsgnOptions{dgHorizLines});
  s.SetMarginLines(clBlue);
  t.Assign(&s);
  EXPECT_EQ(t.Options(), (TStdDsgnOptions{dgHorizLines}));
  EXPECT_EQ(t.MarginLines(), clBlue);
  EXPECT_TRUE(t.FlatFooter());
}

}  // namespace designer_paint_test

// Title frames and lines of the two designers: raised or plain titles by the
// lite designer's style, its pens for plain titles, and the standard
// designer's separator between the lines of a stacked group.
#include <gtest/gtest.h>

#include <vector>

#include "grid/rs_std.h"
#include "tests/grid/grid_support.h"
#include "toolkit/gfx/metafile.h"

namespace designer_titles_test {

using grid_support::MemGrid;

// The lines of the grid's title band as its designer paints them (with
// raised, the highlight sides of edges).
std::vector<TMetaRecord> TitleLines(TDBGridPro& grid, bool* raised = nullptr) {
  TMetafile metafile;
  TMetafileCanvas canvas(metafile);
  TgpPaintInfo& info = *grid.PaintInfo();
  info.Canvas = &canvas;
  info.ClipRect = Rect(0, 0, grid.ClientWidth(), grid.TitleBand());
  info.Parts = TgpPaintInfo::kTitles;
  info.Background = grid.Color();
  info.FirstGroup = 0;
  info.LastGroup = grid.Columns()->GroupCount() - 1;
  info.FirstRow = info.LastRow = -1;
  info.OffScreen = false;
  grid.EffectiveDesigner()->Paint(&grid, &info);
  info.Canvas = nullptr;
  std::vector<TMetaRecord> lines;
  if (raised != nullptr) *raised = false;
  for (const TMetaRecord& r : metafile.Records()) {
    if (r.op == TMetaOp::Line) lines.push_back(r);
    if (raised != nullptr && r.op == TMetaOp::FillRect && r.brush_color == clBtnHighlight) *raised = true;
  }
  return lines;
}

int CountPen(const std::vector<TMetaRecord>& lines, TColor pen) {
  int n = 0;
  for (const TMetaRecord& r : lines) n += r.pen_color == pen ? 1 : 0;
  return n;
}

TEST(DesignerTitles, TheLiteStyleDecidesRaisedTitlesAndThePens) {
  MemGrid g(3, 300, 200);
  TLiteDesigner designer(nullptr);
  designer.SetHorizLines(clRed);
  designer.SetVertLines(clLime);
  g.grid->SetDesigner(&designer);
  struct Case {
    TLiteDsgnTitleStyle style;
    bool raised;     // highlight edges around each title
    TColor bottom;   // the pen of the band's bottom line
    TColor between;  // the pen of the lines after each group
  };
  const Case cases[] = {{lts3D, true, clBlack, clBlack},
                        {ltsFlat, true, clBlack, clBlack},
                        {ltsNon3D, false, clRed, clLime}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.style));
    designer.SetTitleStyle(c.style);
    bool raised = false;
    const std::vector<TMetaRecord> lines = TitleLines(*g.grid, &raised);
    EXPECT_EQ(raised, c.raised);
    const int band = g.grid->TitleHeight();
    bool bottom = false;
    for (const TMetaRecord& r : lines)
      if (r.rect.Top == band - 1 && r.rect.Bottom == band - 1 && r.rect.Right - r.rect.Left > 100)
        bottom = bottom || r.pen_color == c.bottom;
    EXPECT_TRUE(bottom);
    const TgpGroupInfo* first = g.grid->Columns()->Groups(0);
    bool after_group = false;
    for (const TMetaRecord& r : lines)
      if (r.rect.Left == first->Left + first->TotalWidth - 1 && r.rect.Right == r.rect.Left)
        after_group = after_group || r.pen_color == c.between;
    EXPECT_TRUE(after_group);
  }
  // Without lines the band has no lines of the designer's own.
  designer.SetTitleStyle(ltsNon3D);
  designer.SetShowLines(false);
  EXPECT_TRUE(TitleLines(*g.grid).empty());
  g.grid->SetDesigner(nullptr);
}

TEST(DesignerTitles, TheStandardDesignerSeparatesTheLinesOfAStackedGroup) {
  MemGrid g(3, 300, 200);
  TStandardDesigner designer(nullptr);
  designer.SetTitleSeparator(clRed);
  g.grid->SetDesigner(&designer);
  TgpColumns& columns = *g.grid->Columns();
  // One column per group: no separator inside a group.
  EXPECT_EQ(CountPen(TitleLines(*g.grid), clRed), 0);
  columns.MoveColumn(columns.Items(1), columns.Groups(0), 1, 0);
  ASSERT_EQ(columns.GroupCount(), 1);
  const TRect lower = columns.Items(1)->TitleRect(false);
  bool separator = false;
  for (const TMetaRecord& r : TitleLines(*g.grid))
    if (r.pen_color == clRed && r.rect.Top == lower.Top - 1 && r.rect.Bottom == lower.Top - 1) separator = true;
  EXPECT_TRUE(separator);
  g.grid->SetDesigner(nullptr);
}

}  // namespace designer_titles_test

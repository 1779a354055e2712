// The cell painter: rectangles for text and image, the fonts of grid cells
// and edits, row after row attributes, text placement read back from a
// recording canvas, and images and focus frames read back as pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grid/rs.h"
#include "tests/grid/vision_support.h"
#include "toolkit/db/memdataset.h"
#include "toolkit/gfx/drawtext.h"
#include "toolkit/gfx/metafile.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/forms.h"

namespace painter_test {

struct Shared : ::testing::Test {
  void TearDown() override { FreeRsShared(); }
};

TFont ArialFont() {
  TFont font;
  font.SetName("Arial");
  font.SetSize(10);
  font.SetColor(clBlack);
  return font;
}

// ---- Rectangles --------------------------------------------------------------------------

TEST(PainterRects, ImageTakesItsPlaceAndTextKeepsTwoPixelsAway) {
  const TRect content = Rect(0, 0, 100, 20);
  const struct {
    const char* what;
    int width, height;
    TvpAlignImage align;
    TLayout layout;
    TRect image, text;
  } cases[] = {
      {"no image", 0, 16, aiRight, tlCenter, content, content},
      {"right, centred", 16, 10, aiRight, tlCenter, Rect(84, 5, 100, 15), Rect(0, 0, 82, 20)},
      {"left, top", 16, 10, aiLeft, tlTop, Rect(0, 0, 16, 10), Rect(18, 0, 100, 20)},
      {"default is left, bottom", 12, 7, aiDefault, tlBottom, Rect(0, 13, 12, 20), Rect(14, 0, 100, 20)},
      {"odd remainder truncates", 16, 9, aiLeft, tlCenter, Rect(0, 5, 16, 14), Rect(18, 0, 100, 20)},
      // (20 - 25) / 2 = -2: toward zero, so the image sits 2 pixels above.
      {"taller than the cell", 16, 25, aiLeft, tlCenter, Rect(0, -2, 16, 23), Rect(18, 0, 100, 20)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (bool grid : {true, false}) {
      SCOPED_TRACE(grid ? "grid" : "edit");
      TvpPaintSource source;
      source.ImageWidth = c.width;
      source.ImageHeight = c.height;
      source.AlignImage = c.align;
      source.Layout = c.layout;
      source.HasColumn = true;  // edits without a column move the text; see below
      TgpPainter grid_painter;
      TfvPainter edit_painter;
      TfvPainter& painter = grid ? static_cast<TfvPainter&>(grid_painter) : edit_painter;
      painter.ContentRect = content;
      painter.Prepare(source);
      EXPECT_EQ(painter.ImageRect, c.image);
      EXPECT_EQ(painter.TextRect, c.text);
    }
  }
  FreeRsShared();
}

// ---- Grid mode ---------------------------------------------------------------------------

TEST(GridPainter, CellFontIsTheGridFontWithDesignerThenColumnChanges) {
  TFont grid_font = ArialFont();
  TChildFont designer, column;
  designer.SetStyle(TFontStyles{fsBold});
  designer.SetName("Times New Roman");
  column.SetColor(clRed);
  column.SetName("Courier New");
  const struct {
    const char* what;
    const TChildFont* designer;
    const TChildFont* column;
    AnsiString name;
    TColor color;
    bool bold;
  } cases[] = {
      {"grid font alone", nullptr, nullptr, "Arial", clBlack, false},
      {"designer's cell font", &designer, nullptr, "Times New Roman", clBlack, true},
      {"column's font", nullptr, &column, "Courier New", clRed, false},
      {"column after designer", &designer, &column, "Courier New", clRed, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TgpPainter painter;
    TvpPaintSource source;
    source.GridFont = &grid_font;
    source.DesignerCellFont = c.designer;
    source.ColumnFont = c.column;
    painter.Prepare(source);
    EXPECT_EQ(painter.Font.Name(), c.name);
    EXPECT_EQ(painter.Font.Color(), c.color);
    EXPECT_EQ(painter.Font.Style().Contains(fsBold), c.bold);
    EXPECT_EQ(painter.Font.Size(), 10);
  }
  EXPECT_EQ(grid_font.Name(), "Arial") << "the grid's own font stays as it was";
}

TEST(GridPainter, EllipsisAndWrapComeFromGridColumnAndVision) {
  const struct {
    bool grid_ellipsis, column_wrap, native_multi_line;
    bool ellipsis, wrap;
  } cases[] = {
      {true, false, false, true, false},
      {false, false, false, false, false},
      {true, true, false, true, true},
      {false, false, true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.grid_ellipsis << c.column_wrap << c.native_multi_line);
    TgpPainter painter;
    painter.HideFocus = true;
    TvpPaintSource source;
    source.GridEndEllipsis = c.grid_ellipsis;
    source.ColumnWordWrap = c.column_wrap;
    source.NativeMultiLine = c.native_multi_line;
    EXPECT_EQ(painter.Prepare(source), c.wrap);
    EXPECT_EQ(painter.WordWrap, c.wrap);
    EXPECT_EQ(painter.EndEllipsis, c.ellipsis);
    EXPECT_FALSE(painter.HideFocus);
    EXPECT_TRUE(painter.GridMode());
  }
}

// Rows 0..2 with their row and cell attributes for column 1.
struct GridRows {
  GridRows() {
    for (int i = 0; i < 3; ++i) {
      rows[i].Row = i;
      rows[i].SetCellAttrs(1, &cells[i]);
    }
    painter.ColumnIndex = 1;
    painter.RowAttrsOf = [this](int row) { return row >= 0 && row < 3 ? &rows[row] : nullptr; };
    painter.Canvas = &canvas;
    painter.Font = ArialFont();
  }
  TgpRowAttrs rows[3];
  TgpCellAttrs cells[3];
  TMetafile metafile;
  TMetafileCanvas canvas{metafile};
  TgpPainter painter;
};

TEST(GridPainter, RowThenCellAttributesDecideTheCanvasFont) {
  const struct {
    const char* what;
    TColor row_color, cell_color;
    TFontStyles row_style, cell_style;
    AnsiString row_name, cell_name;
    TColor color;
    TFontStyles style;
    AnsiString name;
  } cases[] = {
      {"nothing set", clNone, clNone, {}, {}, "", "", clBlack, {}, "Arial"},
      {"cell colour wins over row colour", clBlue, clRed, {}, {}, "", "", clRed, {}, "Arial"},
      {"row colour alone", clBlue, clNone, {}, {}, "", "", clBlue, {}, "Arial"},
      {"styles add up", clNone, clNone, {fsBold}, {fsItalic}, "", "", clBlack, {fsBold, fsItalic}, "Arial"},
      {"names: cell over row",
       clNone,
       clNone,
       {},
       {},
       "Courier New",
       "Times New Roman",
       clBlack,
       {},
       "Times New Roman"},
      {"row name, empty cell name", clNone, clNone, {}, {}, "Courier New", "", clBlack, {}, "Courier New"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    GridRows g;
    g.rows[1].FontColor = c.row_color;
    g.rows[1].FontStyle = c.row_style;
    g.rows[1].FontName = c.row_name;
    g.cells[1].FontColor = c.cell_color;
    g.cells[1].FontStyle = c.cell_style;
    g.cells[1].FontName = c.cell_name;
    g.painter.Row = 1;
    g.painter.LastRow = 2;
    ASSERT_TRUE(g.painter.NextRow());
    EXPECT_EQ(g.canvas.Font().Color(), c.color);
    EXPECT_EQ(g.canvas.Font().Style(), c.style);
    EXPECT_EQ(g.canvas.Font().Name(), c.name);
    EXPECT_EQ(g.painter.RowAttrs, &g.rows[1]);
    EXPECT_EQ(g.painter.CellAttrs, &g.cells[1]);
    EXPECT_EQ(g.painter.Attrs, &g.cells[1]);
    EXPECT_EQ(g.painter.Font.Name(), "Arial") << "the painter's font is the base of every row";
  }
}

TEST(GridPainter, EveryRowStartsFromTheBaseFontAndAFreshState) {
  GridRows g;
  g.cells[0].FontColor = clRed;
  g.cells[0].FontStyle = TFontStyles{fsBold};
  g.painter.RowHeight = 18;
  g.painter.CellRect = Rect(0, 0, 50, 18);
  g.painter.ContentRect = Rect(2, 1, 48, 17);
  g.painter.ImageRect = Rect(2, 1, 18, 17);
  g.painter.TextRect = Rect(20, 1, 48, 17);
  g.painter.Row = 0;
  g.painter.LastRow = 2;
  std::vector<std::string> seen;
  while (g.painter.NextRow()) {
    EXPECT_TRUE(g.painter.DefaultDraw);
    EXPECT_EQ(g.painter.Text, "");
    EXPECT_EQ(g.painter.ImageIndex, -1);
    EXPECT_EQ(g.painter.StateIndex, -1);
    seen.push_back(std::to_string(g.painter.Row) + ":" + std::to_string(g.canvas.Font().Color() == clRed) +
                   std::to_string(g.canvas.Font().Style().Contains(fsBold)) + "@" +
                   std::to_string(g.painter.TextRect.Top));
    // What a handler leaves behind must not reach the next row.
    g.painter.DefaultDraw = false;
    g.painter.Text = "x";
    g.painter.ImageIndex = 3;
    g.painter.StateIndex = 4;
    g.painter.AdvanceRow();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"0:11@1", "1:00@19", "2:00@37"}));
  EXPECT_EQ(g.painter.Row, 3);
  EXPECT_EQ(g.painter.CellRect, Rect(0, 54, 50, 72));
  EXPECT_EQ(g.painter.ContentRect, Rect(2, 55, 48, 71));
  EXPECT_EQ(g.painter.ImageRect, Rect(2, 55, 18, 71));
  EXPECT_FALSE(g.painter.NextRow());
}

TEST(GridPainter, RowMissingFromThePaintInformationGetsBlankAttributes) {
  GridRows g;
  g.cells[2].FontColor = clRed;
  g.cells[2].Color = clYellow;
  g.painter.Row = 2;
  g.painter.LastRow = 5;
  ASSERT_TRUE(g.painter.NextRow());
  g.painter.AdvanceRow();
  ASSERT_TRUE(g.painter.NextRow());
  EXPECT_EQ(g.painter.RowAttrs, nullptr);
  ASSERT_NE(g.painter.Attrs, nullptr);
  EXPECT_EQ(g.painter.Attrs, g.painter.CellAttrs);
  EXPECT_EQ(g.painter.Attrs->Color, clNone) << "no colour of another row";
  EXPECT_EQ(g.canvas.Font().Color(), clBlack);
}

TEST(GridPainter, NextRowMakesTheRowTheLinksActiveRecord) {
  TMemDataSet ds{nullptr};
  ds.FieldDefs().AppendNamedDef("N", ftInteger);
  ds.Activate();
  for (int i = 1; i <= 5; ++i) {
    ds.StartAppend();
    ds.FieldNamed("N")->SetIntegerValue(i);
    ds.CommitRecord();
  }
  TDataSource source{nullptr};
  source.SetDataSet(&ds);
  ds.GoFirst();
  TDataLink link;
  link.ChangeWindowSize(4);
  link.ChangeDataSource(&source);
  GridRows g;
  g.painter.DataLink = &link;
  g.painter.Row = 0;
  g.painter.LastRow = 3;
  std::vector<int> values;
  while (g.painter.NextRow()) {
    EXPECT_EQ(link.QueryActiveRow(), g.painter.Row);
    values.push_back(ds.FieldNamed("N")->GetIntegerValue());
    g.painter.AdvanceRow();
  }
  EXPECT_EQ(values, (std::vector<int>{1, 2, 3, 4}));
  link.ChangeDataSource(nullptr);
}

TEST(CellAttrs, ResetClearsRowAndItsCells) {
  TgpCellAttrs cell;
  cell.Color = clRed;
  cell.FontColor = clBlue;
  cell.FontStyle = TFontStyles{fsBold};
  cell.FontName = "Arial";
  cell.Focused = cell.Pressed = cell.Hot = cell.Fill = cell.UltraSoft = cell.Current = true;
  TgpRowAttrs row;
  row.SetCellAttrs(2, &cell);
  row.Color = clRed;
  row.FontColor = clRed;
  row.StripNo = 3;
  row.Selected = row.IsCurrent = row.Focused = row.Hot = true;
  row.Reset();
  EXPECT_EQ(row.Color, clNone);
  EXPECT_EQ(row.FontColor, clNone);
  EXPECT_EQ(row.StripNo, 0);
  EXPECT_FALSE(row.Selected || row.IsCurrent || row.Focused || row.Hot);
  EXPECT_EQ(cell.Color, clNone);
  EXPECT_EQ(cell.FontColor, clNone);
  EXPECT_TRUE(cell.FontStyle.Empty());
  EXPECT_EQ(cell.FontName, "");
  EXPECT_FALSE(cell.Focused || cell.Pressed || cell.Hot || cell.Fill || cell.UltraSoft || cell.Current);
  EXPECT_EQ(row.CellAttrs(2), &cell);
  EXPECT_EQ(row.CellAttrs(0), nullptr);
  EXPECT_EQ(row.CellAttrs(3), nullptr);
  EXPECT_EQ(row.CellAttrs(-1), nullptr);
}

// ---- Edit mode ---------------------------------------------------------------------------

TEST_F(Shared, EditTextRectAndFocusFollowColumnAndSelfDrawnVision) {
  const TRect content = Rect(1, 0, 99, 19);
  const struct {
    const char* what;
    bool has_column, self_drawn, focus_by_button;
    TRect text;
    bool hide_focus;
  } cases[] = {
      {"in-place editor", true, false, false, content, false},
      {"in-place editor, self-drawn", true, true, false, content, false},
      {"edit: text one pixel lower", false, false, false, Rect(1, 1, 99, 19), false},
      {"edit, self-drawn: also narrower", false, true, false, Rect(2, 1, 98, 19), false},
      {"focus by button, editable text", true, false, true, content, false},
      {"focus by button, self-drawn", true, true, true, content, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TfvPainter painter;
    painter.ContentRect = content;
    TvpPaintSource source;
    source.HasColumn = c.has_column;
    source.SelfDrawn = c.self_drawn;
    source.FocusByButton = c.focus_by_button;
    painter.Prepare(source);
    EXPECT_EQ(painter.TextRect, c.text);
    EXPECT_EQ(painter.ImageRect, content);
    EXPECT_EQ(painter.HasColumn, c.has_column);
    EXPECT_EQ(painter.HideFocus, c.hide_focus);
    EXPECT_FALSE(painter.GridMode());
  }
}

TEST_F(Shared, EditStateFontAndFreshValues) {
  TFont edit_font = ArialFont();
  edit_font.SetColor(clNavy);
  const struct {
    const char* what;
    bool enabled, focused, pressed, edit_wrap, native;
    TColor font_color;
    bool wrap;
  } cases[] = {
      {"enabled", true, true, false, false, false, clNavy, false},
      {"disabled draws grey text", false, false, false, false, false, clGrayText, false},
      {"pressed switch, wrapping edit", true, false, true, true, false, clNavy, true},
      {"native multi-line vision", true, false, false, false, true, clNavy, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TMetafile metafile;
    TMetafileCanvas canvas(metafile);
    TfvPainter painter;
    painter.Canvas = &canvas;
    painter.DefaultDraw = false;
    painter.Text = "old";
    painter.ImageIndex = painter.StateIndex = 2;
    painter.EndEllipsis = true;
    TvpPaintSource source;
    source.EditFont = &edit_font;
    source.EditColor = clYellow;
    source.EditEnabled = c.enabled;
    source.EditFocused = c.focused;
    source.SwitchPressed = c.pressed;
    source.EditWordWrap = c.edit_wrap;
    source.NativeMultiLine = c.native;
    EXPECT_EQ(painter.Prepare(source), c.wrap);
    EXPECT_EQ(painter.Font.Color(), c.font_color);
    EXPECT_EQ(canvas.Font().Color(), c.font_color) << "the canvas takes the font";
    EXPECT_EQ(canvas.Font().Name(), "Arial");
    ASSERT_EQ(painter.Attrs, rsShared().EditAttrs.get());
    EXPECT_EQ(painter.Attrs->Color, clYellow);
    EXPECT_EQ(painter.Attrs->Focused, c.focused);
    EXPECT_EQ(painter.Attrs->Pressed, c.pressed);
    EXPECT_FALSE(painter.Attrs->Hot);
    EXPECT_TRUE(painter.DefaultDraw);
    EXPECT_EQ(painter.Text, "");
    EXPECT_EQ(painter.ImageIndex, -1);
    EXPECT_EQ(painter.StateIndex, -1);
    EXPECT_FALSE(painter.EndEllipsis);
    EXPECT_EQ(painter.WordWrap, c.wrap);
  }
  EXPECT_EQ(edit_font.Color(), clNavy);
}

// ---- Text --------------------------------------------------------------------------------

struct TextCanvas {
  TextCanvas() { canvas.Font() = ArialFont(); }
  int Width(const AnsiString& text) { return canvas.TextWidth(text); }
  int Height() { return canvas.TextHeight("Wg"); }
  TMetafile metafile;
  TMetafileCanvas canvas{metafile};
};

TEST(PainterText, SingleLineSitsByAlignmentLayoutAndIndents) {
  const TRect text_rect = Rect(10, 20, 210, 60);  // 200 x 40
  const struct {
    const char* what;
    TAlignment alignment;
    TvpDefLayout layout;
    TLayout list_layout;
    int left, right;
    char x;  // l: at the left edge, r: at the right edge, c: centred
    char y;  // t, c, b
  } cases[] = {
      {"left top", taLeftJustify, tlaTop, tlBottom, 0, 0, 'l', 't'},
      {"right bottom", taRightJustify, tlaBottom, tlTop, 0, 0, 'r', 'b'},
      {"centre centre", taCenter, tlaCenter, tlTop, 0, 0, 'c', 'c'},
      {"default takes the list's layout", taLeftJustify, tlaDefault, tlBottom, 0, 0, 'l', 'b'},
      {"indents narrow the area", taLeftJustify, tlaTop, tlTop, 7, 0, 'l', 't'},
      {"right indent", taRightJustify, tlaTop, tlTop, 0, 9, 'r', 't'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TextCanvas t;
    TgpPainter painter;
    TvpPaintSource source;
    source.Layout = c.list_layout;
    source.GridEndEllipsis = false;
    painter.Prepare(source);
    painter.Canvas = &t.canvas;
    painter.TextRect = text_rect;
    const int height = painter.DrawText("Wg 12,5", c.alignment, c.layout, c.left, c.right);
    const auto runs = t.metafile.TextRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, "Wg 12,5");
    const int w = t.Width("Wg 12,5"), h = t.Height();
    const int left = 10 + c.left, right = 210 - c.right;
    const int x = c.x == 'l' ? left : c.x == 'r' ? right - w : left + (right - left - w) / 2;
    const int y = c.y == 't' ? 20 : c.y == 'b' ? 60 - h : 20 + (40 - h) / 2;
    EXPECT_NEAR(runs[0].x, x, 1);
    EXPECT_NEAR(runs[0].y, y, 1);
    EXPECT_GT(height, 0);
  }
}

TEST(PainterText, EllipsisShortensOnlyWhenTheGridAsksForIt) {
  for (bool ellipsis : {true, false}) {
    SCOPED_TRACE(ellipsis);
    TextCanvas t;
    TgpPainter painter;
    TvpPaintSource source;
    source.GridEndEllipsis = ellipsis;
    painter.Prepare(source);
    painter.Canvas = &t.canvas;
    painter.TextRect = Rect(0, 0, t.Width("Measurement") / 2, 20);
    painter.DrawText("Measurement protocol", taLeftJustify, tlaTop, 0, 0);
    const auto runs = t.metafile.TextRuns();
    ASSERT_EQ(runs.size(), 1u);
    const AnsiString& shown = runs[0].text;
    if (ellipsis) {
      ASSERT_GE(shown.size(), 3u);
      EXPECT_EQ(shown.substr(shown.size() - 3), "...");
      EXPECT_LE(t.Width(shown), painter.TextRect.Width());
    } else {
      EXPECT_EQ(shown, "Measurement protocol");
    }
  }
}

TEST(PainterText, AmpersandIsShownAsItIs) {
  TextCanvas t;
  TgpPainter painter;
  painter.Prepare(TvpPaintSource());
  painter.Canvas = &t.canvas;
  painter.TextRect = Rect(0, 0, 300, 20);
  painter.DrawText("A&B", taLeftJustify, tlaTop, 0, 0);
  ASSERT_EQ(t.metafile.TextRuns().size(), 1u);
  EXPECT_EQ(t.metafile.TextRuns()[0].text, "A&B");
}

TEST(PainterText, WrappedTextIsMeasuredThenPlacedAndClipped) {
  const struct {
    const char* what;
    TLayout layout;
    int area_lines;  // height of the area in lines (text: 2 lines)
    char y;          // t: at the top, c: centred, b: at the bottom
  } cases[] = {
      {"top", tlTop, 5, 't'},
      {"centre", tlCenter, 5, 'c'},
      {"bottom", tlBottom, 5, 'b'},
      {"taller than the area, centre", tlCenter, 1, 't'},
      {"taller than the area, bottom", tlBottom, 1, 't'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TextCanvas t;
    const int h = t.Height();
    const int line_width = t.Width("alpha beta");
    TgpPainter painter;
    TvpPaintSource source;
    source.ColumnWordWrap = true;
    source.GridEndEllipsis = false;
    source.Layout = c.layout;
    painter.Prepare(source);
    painter.Canvas = &t.canvas;
    // Wide enough for two words, not three: the text breaks into two equal
    // lines.
    const int top = 30;
    painter.TextRect = Rect(5, top, 5 + line_width + 4, top + c.area_lines * h);
    painter.DrawText("alpha beta alpha beta", taLeftJustify, tlaDefault, 0, 0);
    const auto runs = t.metafile.TextRuns();
    ASSERT_FALSE(runs.empty());
    const int text_height = 2 * h;
    const int area = c.area_lines * h;
    const int expected = c.y == 't'   ? top
                         : c.y == 'b' ? top + area - text_height
                                      : top + (area - text_height) / 2;
    EXPECT_NEAR(runs[0].y, expected, 1);
    EXPECT_EQ(runs[0].text, "alpha beta");
    EXPECT_EQ(runs[0].x, 5);
    if (c.area_lines >= 2) {
      EXPECT_EQ(runs.size(), 2u);
    }
    for (const auto& run : runs) {
      ASSERT_TRUE(run.clipped);
      EXPECT_LE(run.clip.Bottom, top + area) << "nothing below the area";
    }
  }
}

TEST_F(Shared, EditPainterBreaksLongWordsUnlessTheVisionDrawsItself) {
  const struct {
    const char* what;
    bool grid, self_drawn;
    bool broken;
  } cases[] = {
      {"edit", false, false, true},
      {"edit, self-drawn vision", false, true, false},
      {"grid", true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TextCanvas t;
    TgpPainter grid_painter;
    TfvPainter edit_painter;
    TfvPainter& painter = c.grid ? static_cast<TfvPainter&>(grid_painter) : edit_painter;
    TvpPaintSource source;
    source.HasColumn = true;
    source.SelfDrawn = c.self_drawn;
    source.ColumnWordWrap = true;
    source.EditWordWrap = true;
    source.GridEndEllipsis = false;
    source.Layout = tlTop;
    painter.Canvas = &t.canvas;
    painter.ContentRect = Rect(0, 0, t.Width("ABCDEFGH") / 2, 10 * t.Height());
    painter.Prepare(source);
    painter.DrawText("ABCDEFGH", taLeftJustify, tlaDefault, 0, 0);
    const auto runs = t.metafile.TextRuns();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.size() > 1, c.broken);
    EXPECT_EQ(runs[0].text == "ABCDEFGH", !c.broken);
  }
}

TEST(PainterText, ResultIsTheTextOutputsHeight) {
  TextCanvas t;
  TgpPainter painter;
  painter.Prepare(TvpPaintSource());
  painter.Canvas = &t.canvas;
  painter.TextRect = Rect(0, 0, 300, 100);
  EXPECT_EQ(painter.DrawText("Wg", taLeftJustify, tlaTop, 0, 0), t.Height());
  EXPECT_EQ(painter.DrawText("", taLeftJustify, tlaTop, 0, 0), 0);
}

// ---- Images and focus, as pixels ---------------------------------------------------------

struct Pixels {
  Pixels() {
    bitmap.SetSize(60, 30);
    bitmap.Canvas().Brush().SetColor(clWhite);
    bitmap.Canvas().FillRect(Rect(0, 0, 60, 30));
    painter.Canvas = &bitmap.Canvas();
  }
  TColor At(int x, int y) { return ColorToRGB(bitmap.Canvas().Pixel(x, y)); }
  TBitmap bitmap;
  TgpPainter painter;
};

using vision_support::AddSquares;

TEST(PainterImages, ImageLandsAtTheImageRectsCorner) {
  TImageList own(nullptr), other(nullptr);
  AddSquares(own, {clRed, clBlue});
  AddSquares(other, {clLime});
  const struct {
    const char* what;
    int index;
    TImageList* list;
    TColor at_corner;
  } cases[] = {
      {"index -1 draws nothing", -1, nullptr, clWhite},
      {"the painter's list", 1, nullptr, clBlue},
      {"a list handed in", 0, &other, clLime},
      {"an index the list lacks", 2, nullptr, clWhite},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Pixels p;
    p.painter.Images = &own;
    p.painter.ImageRect = Rect(20, 10, 28, 18);
    p.painter.DrawImage(c.index, c.list);
    EXPECT_EQ(p.At(20, 10), c.at_corner);
    EXPECT_EQ(p.At(27, 17), c.at_corner);
    EXPECT_EQ(p.At(19, 10), clWhite);
    EXPECT_EQ(p.At(28, 18), clWhite);
  }
  Pixels none;
  none.painter.ImageRect = Rect(0, 0, 8, 8);
  none.painter.DrawImage(0);  // a vision without a list
  EXPECT_EQ(none.At(0, 0), clWhite);
}

TEST(PainterFocus, DottedFrameInvertsEveryOtherBorderPixel) {
  Pixels p;
  p.bitmap.Canvas().Brush().SetColor(clNavy);
  p.bitmap.Canvas().FillRect(Rect(10, 6, 20, 16));
  p.bitmap.Canvas().Font().SetColor(clGreen);
  // The dots keep to the screen's checkerboard: pixels with an even x + y.
  p.painter.DrawFocusRect(Rect(10, 6, 20, 16));
  const struct {
    int x, y;
    TColor color;
  } probes[] = {
      {10, 6, ColorToRGB(clNavy) ^ 0xFFFFFF},  // corner: inverted
      {11, 6, clNavy},                         // next pixel: kept
      {12, 6, ColorToRGB(clNavy) ^ 0xFFFFFF},
      {19, 15, ColorToRGB(clNavy) ^ 0xFFFFFF},  // opposite corner
      {18, 15, clNavy},
      {10, 7, clNavy},
      {10, 8, ColorToRGB(clNavy) ^ 0xFFFFFF},
      {19, 9, ColorToRGB(clNavy) ^ 0xFFFFFF},
      {19, 8, clNavy},
      {15, 11, clNavy},  // inside: untouched
      {20, 6, clWhite},  // outside: untouched
  };
  for (const auto& probe : probes) {
    SCOPED_TRACE(::testing::Message() << probe.x << "," << probe.y);
    EXPECT_EQ(p.At(probe.x, probe.y), ColorToRGB(probe.color));
  }
  EXPECT_EQ(p.bitmap.Canvas().Brush().Color(), clNavy);
  EXPECT_EQ(p.bitmap.Canvas().Font().Color(), clGreen);
  p.painter.DrawFocusRect(Rect(10, 6, 20, 16));
  EXPECT_EQ(p.At(10, 6), ColorToRGB(clNavy)) << "a second frame removes the first";

  Pixels hidden;
  hidden.painter.HideFocus = true;
  hidden.painter.DrawFocusRect(Rect(0, 0, 10, 10));
  EXPECT_EQ(hidden.At(0, 0), clWhite);
}

// ---- The unit's shared objects -----------------------------------------------------------

TEST(ScaledTolerances, ScaleWithTheScreenHeightRoundingHalvesUp) {
  const struct {
    int height, zone, drop, small;
  } cases[] = {
      {480, 6, 6, 3},   {600, 8, 8, 4},  // 7.5 and 3.75 round up
      {720, 9, 9, 5},                    // 4.5 rounds up
      {768, 10, 10, 5}, {1080, 14, 14, 7}, {0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.height);
    const TgpScreenTolerances t = ScaledTolerances(c.height);
    EXPECT_EQ(t.SizingZone, c.zone);
    EXPECT_EQ(t.DropTolerance, c.drop);
    EXPECT_EQ(t.DropToleranceSmall, c.small);
  }
}

TEST_F(Shared, MadeOnceAndMadeAgainAfterShutDown) {
  TrsShared& first = rsShared();
  EXPECT_EQ(&rsShared(), &first);
  ASSERT_NE(first.EditPainter, nullptr);
  ASSERT_NE(first.EditAttrs, nullptr);
  ASSERT_NE(first.DragList, nullptr);
  EXPECT_FALSE(first.EditPainter->GridMode());
  EXPECT_EQ(first.Text, "");
  EXPECT_GT(first.Tolerances.SizingZone, 0);
  EXPECT_EQ(first.Tolerances.SizingZone, first.Tolerances.DropTolerance);
  first.Text = "left over";
  FreeRsShared();
  FreeRsShared();  // a second shut-down does nothing
  EXPECT_EQ(rsShared().Text, "");
}

}  // namespace painter_test

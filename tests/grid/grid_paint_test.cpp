// What the grid prepares for its designer and what the designer base paints:
// row and cell attributes of the current, selected and striped rows, the
// designer's registration, metrics and settings, and a painted grid.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <memory>
#include <set>
#include <string>

#include "grid/rs_edit.h"
#include "grid/rs_str.h"
#include "tests/grid/grid_support.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/forms.h"

namespace grid_paint_test {

namespace {

using grid_support::MemGrid;

// The designer the tests give the grid: the base one, with the lines a
// concrete designer would have.
class LinedDesigner : public TgpBaseDesigner {
 public:
  explicit LinedDesigner(TComponent* owner) : TgpBaseDesigner(owner) { UpdateMetrics(); }
  int VLineWidth() const override { return 1; }
  int HLineWidth() const override { return HorizLines() == clNone ? 0 : 1; }
  void TitlePair(int& Top, int& Bottom) const override { Top = 0, Bottom = 1; }
};

TEST(GridRowAttrs, TheCurrentRowAndCellCarryTheSelectionColours) {
  MemGrid g(20);
  LinedDesigner designer(nullptr);
  g.grid->SetDesigner(&designer);
  designer.SetSelectedRowFill(true);
  g.ds.Skip(2);  // N 3 on row 2
  ASSERT_EQ(g.grid->CurrentRow(), 2);
  struct Case {
    const char* what;
    bool focused;
    bool hide_selection;
    TColor row_colour;
    TColor cell_colour;
  };
  const Case cases[] = {
      {"focused", true, true, clHighlight, clHighlight},
      {"unfocused, hiding its selection", false, true, clBtnFace, clBtnFace},
      {"unfocused, showing its selection", false, false, clHighlight, clHighlight},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.focused)
      g.grid->DoEnter();
    else
      g.grid->DoExit();
    g.grid->SetHideSelection(c.hide_selection);
    g.grid->PrepareRowAttrs(0, g.grid->RowCount() - 1);
    const TgpRowAttrs* current = g.grid->PaintInfo()->Rows(2);
    ASSERT_NE(current, nullptr);
    EXPECT_TRUE(current->IsCurrent);
    EXPECT_EQ(current->Focused, c.focused);
    EXPECT_TRUE(current->Fill);
    EXPECT_EQ(current->Color, c.row_colour);
    const TgpCellAttrs* cell = current->CellAttrs(g.grid->CurrentColumnIndex());
    ASSERT_NE(cell, nullptr);
    EXPECT_TRUE(cell->Current);
    EXPECT_TRUE(cell->Fill);
    EXPECT_EQ(cell->Color, c.cell_colour);
    const TgpRowAttrs* other = g.grid->PaintInfo()->Rows(3);
    EXPECT_FALSE(other->IsCurrent);
    EXPECT_FALSE(other->Fill);
    EXPECT_EQ(other->Color, clNone);
  }
  // The active record is back where it was.
  EXPECT_EQ(g.N(), 3);
  g.grid->SetDesigner(nullptr);
}

TEST(GridRowAttrs, SelectedRowsStripsAndTheApplicationsRowEvent) {
  MemGrid g(20);
  g.grid->SetMultiSelect(true);
  g.ds.Skip(4);  // N 5
  g.grid->Selection()->SelectCurrent(true, true);
  g.ds.GoFirst();
  g.grid->SetStripStep(3);
  int calls = 0;
  g.grid->OnGetRowAttrs = [&](TComponent* sender, TgpRowAttrs* row) {
    EXPECT_EQ(sender, g.grid.get());
    // The data set stands on the row's record.
    EXPECT_EQ(g.N(), row->Row + 1);
    ++calls;
    if (row->Row == 7) row->Color = clRed;
  };
  g.grid->PrepareRowAttrs(0, 9);
  EXPECT_EQ(calls, 10);
  TgpPaintInfo& info = *g.grid->PaintInfo();
  EXPECT_TRUE(info.Rows(4)->Selected);
  EXPECT_EQ(info.Rows(4)->FontColor, g.grid->EffectiveDesigner()->SelectedRowText());
  EXPECT_FALSE(info.Rows(3)->Selected);
  // With something selected, the current row is not painted as selected.
  EXPECT_FALSE(info.Rows(0)->Fill);
  for (int r = 0; r < 10; ++r) EXPECT_EQ(info.Rows(r)->StripNo, r % 3 + 1) << r;
  EXPECT_EQ(info.Rows(7)->Color, clRed);
}

TEST(GridDesigner, TheGridMeasuresWithItsDesignerAndFollowsItsChanges) {
  MemGrid g(20);
  // The base: the same designer without horizontal lines (the shared
  // default designer is left to other tests).
  LinedDesigner designer(nullptr);
  designer.SetHorizLines(clNone);
  g.grid->SetDesigner(&designer);
  const int row_default = g.grid->RowHeight();
  designer.SetHorizLines(clBlack);
  EXPECT_EQ(g.grid->EffectiveDesigner(), &designer);
  EXPECT_EQ(designer.GridCount(), 1);
  // One horizontal line under each row.
  EXPECT_EQ(g.grid->RowHeight(), row_default + 1);
  designer.CellMargins()->SetTopMargin(6);
  EXPECT_EQ(g.grid->RowHeight(), row_default + 1 + 4);
  designer.SetHorizLines(clNone);  // no line: the metrics are taken again
  EXPECT_EQ(g.grid->RowHeight(), row_default + 4);
  try {
    designer.FooterMargins()->SetLeftMargin(-1);
    FAIL() << "no error";
  } catch (const ERSError& e) {
    EXPECT_EQ(std::string(e.Message()), "Value can not be negative (-1)");
  }
  EXPECT_EQ(designer.FooterMargins()->LeftMargin(), 2);
  // Copying settings between designers of one class relays the grids out.
  LinedDesigner other(nullptr);
  other.CellMargins()->SetTopMargin(2);
  other.SetTitleColor(clYellow);
  designer.Assign(&other);
  EXPECT_EQ(designer.TitleColor(), clYellow);
  EXPECT_EQ(designer.HorizLines(), clBlack);
  EXPECT_EQ(g.grid->RowHeight(), row_default + 1);
}

TEST(GridDesigner, ADestroyedDesignerLeavesTheGridOnTheDefault) {
  MemGrid g(5);
  auto* designer = new LinedDesigner(nullptr);
  g.grid->SetDesigner(designer);
  designer->Free();
  EXPECT_EQ(g.grid->Designer(), nullptr);
  EXPECT_EQ(g.grid->EffectiveDesigner(), DefaultGridDesigner());
  EXPECT_TRUE(g.grid->HasRows());
}

TEST(GridDesigner, ADestroyedDataSourceLeavesTheGridWithoutRows) {
  MemGrid g(5);
  auto* source = new TDataSource(nullptr);
  source->SetDataSet(&g.ds);
  g.grid->SetDataSource(source);
  EXPECT_TRUE(g.grid->LinkActive());
  source->Free();
  EXPECT_EQ(g.grid->DataSource(), nullptr);
  EXPECT_FALSE(g.grid->LinkActive());
  EXPECT_FALSE(g.grid->HasRows());
}

// A painted grid: the title band in the title colour, the rows on the
// grid's colour, the current cell filled with the selection colour.
TEST(GridPainting, TitlesRowsAndTheCurrentCellAreDrawn) {
  MemGrid g(20, 300, 200);
  LinedDesigner designer(nullptr);
  designer.SetTitleColor(clYellow);
  g.grid->SetDesigner(&designer);
  g.grid->DoEnter();
  const QImage image = g.grid->Widget()->grab().toImage();
  ASSERT_FALSE(image.isNull());
  TgpColumn* n = g.grid->Columns()->Items(0);
  TgpColumn* p = g.grid->Columns()->Items(1);
  const TRect title = p->TitleRect(false);
  const QColor title_pixel = image.pixelColor(title.Right - 3, title.Top + 1);
  EXPECT_EQ(title_pixel, QColor(255, 255, 0));
  // The current cell (row 0, column N) is filled with the highlight.
  const TRect current = n->CellRect(0, false, false);
  const QColor highlight = image.pixelColor(current.Right - 2, current.Top + 1);
  EXPECT_EQ(highlight.rgb(), QColor(ColorToRGB(clHighlight) & 0xFF, (ColorToRGB(clHighlight) >> 8) & 0xFF,
                                    (ColorToRGB(clHighlight) >> 16) & 0xFF)
                                 .rgb());
  // Another row's cell stays on the window colour.
  const TRect plain = p->CellRect(3, false, false);
  const QColor window = image.pixelColor(plain.Right - 2, plain.Top + 1);
  EXPECT_EQ(window.rgb(), QColor(ColorToRGB(clWindow) & 0xFF, (ColorToRGB(clWindow) >> 8) & 0xFF,
                                 (ColorToRGB(clWindow) >> 16) & 0xFF)
                              .rgb());
  g.grid->SetDesigner(nullptr);
}

}  // namespace

namespace {

// BorderStyle frames the grid and the stand-alone edit outside their client
// areas, as painted on the form they stand on: the system's sunken client
// edge for bs3D, a sunken outer edge (flat, mono) for the others, and for the
// Ext styles a second line inside it.
TEST(GridPainting, BorderStyleFramesTheGridAndTheStandAloneEdit) {
  struct Case {
    TvpBorderStyle style;
    int inset;
    TColor top, bottom;          // the outer line; clNone: nothing to see
    TColor inner_top, inner_bottom;  // the second line; clNone: none
  };
  const TColor own = clAqua;  // the control's colour
  const Case cases[] = {
      {bsNoBorder, 0, clNone, clNone, clNone, clNone},
      {bs3D, 2, clBtnShadow, clBtnHighlight, cl3DDkShadow, cl3DLight},
      {bsSoft, 1, clBtnShadow, clBtnHighlight, clNone, clNone},
      {bsSoftExt, 2, clBtnShadow, clBtnHighlight, cl3DLight, cl3DLight},
      {bsFlat, 1, clBtnShadow, clBtnShadow, clNone, clNone},
      {bsFlatExt, 2, clBtnShadow, clBtnShadow, own, own},
      {bsMono, 1, clWindowFrame, clWindowFrame, clNone, clNone},
      {bsMonoExt, 2, clWindowFrame, clWindowFrame, own, own},
  };
  auto rgb = [](TColor c) {
    const TColor v = ColorToRGB(c);
    return qRgb(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
  };
  // Each style set before the controls are placed and shown, and set on
  // shown controls that had the default.
  std::vector<std::pair<const Case*, bool>> runs;
  for (const Case& c : cases) runs.insert(runs.end(), {{&c, false}, {&c, true}});
  for (const auto& [run, on_shown] : runs) {
    const Case& c = *run;
    SCOPED_TRACE(static_cast<int>(c.style));
    SCOPED_TRACE(on_shown ? "set on shown controls" : "set before showing");
    TForm form(nullptr);
    form.SetBounds(0, 0, 400, 300);
    MemGrid g(3, 300, 150);
    g.grid->SetColor(own);
    if (!on_shown) g.grid->SetBorderStyle(c.style);
    g.grid->SetBounds(10, 10, 300, 150);
    g.grid->SetParent(&form);
    auto* edit = new TDBProdiEdit(&form);
    edit->SetColor(own);
    if (!on_shown) edit->SetBorderStyle(c.style);
    edit->SetParent(&form);
    edit->SetBounds(20, 200, 120, 24);
    form.Show();
    QApplication::processEvents();
    if (on_shown) {
      g.grid->SetBorderStyle(c.style);
      edit->SetBorderStyle(c.style);
      QApplication::processEvents();
    }
    EXPECT_EQ(g.grid->Columns()->AvailableWidth(), g.grid->ClientWidth()) << "laid out for the new client area";
    const QImage image = form.ClientWidget()->grab().toImage();
    for (TCustomControl* control : std::initializer_list<TCustomControl*>{g.grid.get(), edit}) {
      SCOPED_TRACE(control == g.grid.get() ? "grid" : "edit");
      const TRect b = control->BoundsRect();
      EXPECT_EQ(control->Widget()->geometry(),
                QRect(b.Left + c.inset, b.Top + c.inset, b.Width() - 2 * c.inset, b.Height() - 2 * c.inset))
          << "the client area lies inside the frame";
      EXPECT_EQ(control->Width(), b.Width());
      const int x = (b.Left + b.Right) / 2;
      if (c.top != clNone) {
        EXPECT_EQ(image.pixel(x, b.Top), rgb(c.top));
        EXPECT_EQ(image.pixel(x, b.Bottom - 1), rgb(c.bottom));
        EXPECT_EQ(image.pixel(b.Left, (b.Top + b.Bottom) / 2), rgb(c.top)) << "left as top";
        EXPECT_EQ(image.pixel(b.Right - 1, (b.Top + b.Bottom) / 2), rgb(c.bottom)) << "right as bottom";
      }
      if (c.inner_top != clNone) {
        EXPECT_EQ(image.pixel(x, b.Top + 1), rgb(c.inner_top));
        EXPECT_EQ(image.pixel(x, b.Bottom - 2), rgb(c.inner_bottom));
      }
    }
    g.grid->SetParent(nullptr);
  }
}

// A footer's text stands where its alignment says: left, right (also by
// default) or in the middle of the footer.
TEST(GridPainting, FooterTextFollowsItsAlignment) {
  struct Case {
    TvpDefAlignment alignment;
    const char* where;  // "left", "right", "centre"
  };
  const Case cases[] = {{talLeftJustify, "left"}, {talRightJustify, "right"}, {talDefault, "right"},
                        {talCenter, "centre"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alignment);
    MemGrid g(3, 300, 200);
    LinedDesigner designer(nullptr);
    g.grid->SetDesigner(&designer);
    g.grid->SetShowFooters(true);
    TgpColumn* p = g.grid->Columns()->Items(1);
    p->SetWidth(160);
    p->SetFooterState(fsCount);
    p->SetFooterText("42");
    p->SetFooterTextAlignment(c.alignment);
    const QImage image = g.grid->Widget()->grab().toImage();
    const TRect r = p->FooterRect(true, false);
    int left = 10000, right = -1;
    for (int y = r.Top + 1; y < r.Bottom - 1; ++y)
      for (int x = r.Left + 1; x < r.Right - 1; ++x)
        if (qGray(image.pixel(x, y)) < 80) left = std::min(left, x), right = std::max(right, x);
    ASSERT_GE(right, left) << "no text in the footer";
    const int middle = (r.Left + r.Right) / 2;
    const std::string where = c.where;
    if (where == "left") {
      EXPECT_LT(left - r.Left, 8);
    } else if (where == "right") {
      EXPECT_LT(r.Right - right, 8);
    } else {
      EXPECT_LE(std::abs((left + right) / 2 - middle), 2) << left << ".." << right;
    }
    g.grid->SetDesigner(nullptr);
  }
}

// An open data set without records: one empty row under the titles, or
// none, and nothing of a record is read.
TEST(GridPainting, AnEmptyDataSetPaintsTheEmptyRowOnlyWhenAsked) {
  for (bool show_empty : {true, false}) {
    SCOPED_TRACE(show_empty);
    MemGrid g(0, 300, 200);
    LinedDesigner designer(nullptr);
    designer.SetSelectedRowFill(true);
    g.grid->SetDesigner(&designer);
    g.grid->SetShowEmptyRow(show_empty);
    g.grid->DoEnter();
    EXPECT_EQ(g.grid->HasRows(), show_empty);
    const QImage image = g.grid->Widget()->grab().toImage();
    ASSERT_FALSE(image.isNull());
    // The empty row is the current one and gets the focused fill.
    const TRect row = g.grid->Columns()->Items(0)->CellRect(0, false, false);
    const QRgb pixel = image.pixel(row.Left + 2, row.Top + 2);
    const TColor fill = ColorToRGB(show_empty ? clHighlight : clWindow);
    EXPECT_EQ(pixel & 0xFFFFFF, QColor(fill & 0xFF, (fill >> 8) & 0xFF, (fill >> 16) & 0xFF).rgb() & 0xFFFFFF);
    g.grid->SetDesigner(nullptr);
  }
}

}  // namespace

namespace {

TEST(GridTitles, TitleImagesSetTheTitleHeightAndTheirChangesAreHeard) {
  MemGrid g(5);
  const int plain = g.grid->TitleHeight();
  auto* images = new TImageList(nullptr);
  images->SetHeight(40);
  g.grid->Columns()->Items(0)->SetTitleImageIndex(0);
  g.grid->SetTitleImages(images);
  EXPECT_GE(g.grid->TitleHeight(), 42);
  images->SetHeight(60);
  EXPECT_GE(g.grid->TitleHeight(), 62);
  images->Free();
  EXPECT_EQ(g.grid->TitleImages(), nullptr);
  EXPECT_EQ(g.grid->TitleHeight(), plain);
}

}  // namespace

namespace {

// A repaint of one row prepares and paints that row alone.
TEST(GridPainting, ARepaintOfOneRowTouchesThatRowOnly) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 300);
  MemGrid g(30, 300, 200);
  g.grid->SetParent(&form);
  form.Show();
  QApplication::processEvents();
  std::vector<int> rows;
  g.grid->OnGetRowAttrs = [&](TComponent*, TgpRowAttrs* row) { rows.push_back(row->Row); };
  g.grid->InvalidateRow(3);
  g.grid->Update();
  EXPECT_EQ(rows, std::vector<int>{3});
  rows.clear();
  g.grid->InvalidateTitles();
  g.grid->Update();
  EXPECT_TRUE(rows.empty());
  g.grid->OnGetRowAttrs = nullptr;
  g.grid->SetParent(nullptr);
  form.Hide();
}

}  // namespace

namespace {

// One row down: the rows that stay are moved, not painted again; only the
// rows at the uncovered end, which hold the old and the new current record,
// are painted.
TEST(GridPainting, AOneRowScrollPaintsTheUncoveredRowsOnly) {
  for (bool blit : {true, false}) {
    SCOPED_TRACE(blit);
    TForm form(nullptr);
    form.SetBounds(0, 0, 400, 300);
    MemGrid g(30, 300, 200);
    LinedDesigner designer(nullptr);
    designer.SetScrollByBlit(blit);
    g.grid->SetDesigner(&designer);
    g.grid->SetBounds(0, 0, 300, grid_support::HeightFor(*g.grid, 10));
    g.grid->SetParent(&form);
    form.Show();
    QApplication::processEvents();
    ASSERT_EQ(g.grid->RowCount(), 10);
    g.ds.Skip(9);  // the last row of the window is current
    QApplication::processEvents();
    std::set<int> rows;
    g.grid->OnGetRowAttrs = [&](TComponent*, TgpRowAttrs* row) { rows.insert(row->Row); };
    g.grid->WMVScroll(SB_LINEDOWN, 0);
    QApplication::processEvents();
    EXPECT_EQ(g.FirstShown(), 2);
    EXPECT_TRUE(rows.count(8) && rows.count(9));
    // Without the blit the first row, whose lines the move would carry
    // along, is painted in place as well.
    for (int r : rows) EXPECT_TRUE(r == 8 || r == 9 || (!blit && r == 0)) << r;
    g.grid->OnGetRowAttrs = nullptr;
    g.grid->SetParent(nullptr);
    g.grid->SetDesigner(nullptr);
    form.Hide();
  }
}

}  // namespace

}  // namespace grid_paint_test

// The base designer's painting: backgrounds, row and cell colours, focus,
// separators, footers, and the titles, cells and footers of each group. The
// concrete designers add their lines and frames on top.
#include <algorithm>

#include "grid/rs.h"
#include "grid/rs_draw.h"
#include "grid/rs_env.h"
#include "grid/rs_std.h"
#include "toolkit/gfx/drawtext.h"
#include "toolkit/gfx/edges.h"

namespace {

// The text box of a title or footer: the rectangle less the margins.
TRect Shrunk(const TRect& r, const TgpCellMargins& m) {
  return Rect(r.Left + m.LeftMargin(), r.Top + m.TopMargin(), r.Right - m.RightMargin(), r.Bottom - m.BottomMargin());
}

}  // namespace

// A sort mark at the right of a sorted column's title and its own picture at
// the left; the text box gives up the room they take.
static void PaintTitleImages(TDBGridPro* Grid, TCanvas& Canvas, TgpColumn* column, TRect& box) {
  TBitmap picture;
  if (column->TitleState() != tsSortedNone) {
    TImageList* marks = rsEnv()->TitleStateImgs;
    if (marks->GetBitmap(static_cast<int>(column->TitleState()) - 1, picture)) {
      Canvas.Draw(box.Right - picture.Width(), box.Top + (box.Height() - picture.Height()) / 2, picture);
      box.Right -= picture.Width() + 1;
    }
  }
  bool has_picture = false;
  if (const TBitmap* glyph = column->TitleGlyphIfAny(); glyph != nullptr && !glyph->Empty()) {
    picture.Assign(*glyph);
    has_picture = true;
  } else if (column->TitleImageIndex() != -1 && Grid->TitleImages() != nullptr) {
    has_picture = Grid->TitleImages()->GetBitmap(column->TitleImageIndex(), picture);
  }
  if (!has_picture) return;
  const int y = box.Top + (box.Height() - picture.Height()) / 2;
  if (column->OptionsVisual().Contains(cvoNoCaption)) {
    Canvas.Draw(box.Left + (box.Width() - picture.Width()) / 2, y, picture);
  } else {
    Canvas.Draw(box.Left, y, picture);
    box.Left += picture.Width() + 1;
  }
}

// ---- Group contents -----------------------------------------------------------------------

void TgpDesigner::PaintGroupTitles(TDBGridPro* Grid, TCanvas* Canvas, int OffsetX, int OffsetY,
                                   TgpGroupInfo* Group) {
  TgpColumns* columns = Grid->Columns();
  for (int i = Group->FirstColumn; i <= Group->LastColumn; ++i) {
    TgpColumn* column = columns->Items(i);
    if (!column->Visible()) continue;
    TRect box = Moved(Shrunk(column->TitleRect(false), title_margins_), -OffsetX, -OffsetY);
    // A title held down by the mouse shows its contents pushed in.
    if (column == Grid->PressedTitle() && PressedOffset()) box = Moved(box, 1, 1);
    Canvas->Brush().SetStyle(bsClear);
    PaintTitleImages(Grid, *Canvas, column, box);
    Canvas->Font().Assign(Grid->Font());
    if (title_font_) title_font_->ApplyTo(Canvas->Font());
    if (column->OptionsVisual().Contains(cvoNoCaption)) continue;
    const AnsiString& caption = column->FieldList()->Caption();
    // Measured word-wrapped, cut to the box and centred in it vertically.
    TRect measured = box;
    DrawText(*Canvas, caption, measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    const int height = std::min(measured.Height(), box.Height());
    TRect text = Rect(box.Left, box.Top + (box.Height() - height) / 2, box.Right, 0);
    text.Bottom = text.Top + height;
    unsigned flags = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS;
    if (column->CaptionAlignment() == talRightJustify) flags |= DT_RIGHT;
    if (column->CaptionAlignment() == talCenter) flags |= DT_CENTER;
    DrawText(*Canvas, caption, text, flags);
  }
}

void TgpDesigner::PaintGroupCells(TDBGridPro* Grid, TCanvas* Canvas, int OffsetX, int OffsetY, int FirstRow,
                                  int LastRow, TgpGroupInfo* Group) {
  if (!Grid->HasRows()) return;
  TgpColumns* columns = Grid->Columns();
  TgpPainter& painter = *Grid->Painter();
  painter.RowHeight = Grid->RowHeight();
  const TRect margins = Rect(cell_margins_.LeftMargin(), cell_margins_.TopMargin(), cell_margins_.RightMargin(),
                             cell_margins_.BottomMargin());
  for (int i = Group->FirstColumn; i <= Group->LastColumn; ++i) {
    TgpColumn* column = columns->Items(i);
    if (!column->Visible()) continue;
    TgpFieldList& fields = *column->FieldList();
    TvpPaintSource source = fields.PaintSource();
    source.Column = column;
    source.ColumnIndex = i;
    source.GridFont = &Grid->Font();
    source.DesignerCellFont = cell_font_.get();
    source.ColumnFont = column->FontIfAny();
    source.GridEndEllipsis = !Grid->OptionsVisual().Contains(gvoNoEndEllipsis);
    source.ColumnWordWrap = column->OptionsVisual().Contains(cvoWordWrap);
    painter.Column = column;
    const TRect first = Moved(column->CellRect(FirstRow, false, false), -OffsetX, -OffsetY);
    TvpOwnerDraw owner_draw;
    if (column->OptionsVisual().Contains(cvoOwnerDraw) && Grid->OnDrawCell)
      owner_draw = [Grid, column](TgpPainter& p) { Grid->OnDrawCell(Grid, column, &p); };
    column->EffectiveVision()->PaintCells(fields, painter, *Canvas, source, first, margins, FirstRow, LastRow,
                                          owner_draw);
  }
}

void TgpDesigner::PaintGroupFooters(TDBGridPro* Grid, TCanvas* Canvas, int OffsetX, int OffsetY,
                                    TgpGroupInfo* Group) {
  TgpColumns* columns = Grid->Columns();
  for (int i = Group->FirstColumn; i <= Group->LastColumn; ++i) {
    TgpColumn* column = columns->Items(i);
    if (!column->Visible()) continue;
    if (column->FooterState() == fsNone && column->FooterText().empty()) continue;
    Canvas->Brush().SetStyle(bsClear);
    TRect box = Moved(Shrunk(column->FooterRect(true, false), footer_margins_), -OffsetX, -OffsetY);
    Canvas->Font().Assign(Grid->Font());
    if (footer_font_) footer_font_->ApplyTo(Canvas->Font());
    TgpFooterAttrs& attrs = column->FooterAttrs();
    ApplyFontAttrs(Canvas->Font(), attrs.FontColor(), attrs.FontStyle(), attrs.FontName());
    unsigned flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    switch (column->FooterTextAlignment()) {
      case talLeftJustify: break;
      case talCenter: flags |= DT_CENTER; break;
      default: flags |= DT_RIGHT; break;
    }
    DrawText(*Canvas, column->FooterDisplayText(), box, flags);
  }
}

// ---- TgpBaseDesigner ----------------------------------------------------------------------

void TgpBaseDesigner::Paint(TDBGridPro* Grid, TgpPaintInfo* PaintInfo) {
  grid_ = Grid;
  info_ = PaintInfo;
  const TRect clip = PaintInfo->ClipRect;
  offset_x_ = clip.Left;
  offset_y_ = clip.Top;
  const bool titles = (PaintInfo->Parts & TgpPaintInfo::kTitles) != 0;
  const bool rows = (PaintInfo->Parts & TgpPaintInfo::kRows) != 0;
  const bool footers = (PaintInfo->Parts & TgpPaintInfo::kFooters) != 0;
  title_h_ = titles ? Grid->TitleHeight() : 0;
  if (footers) {
    foot_h_ = Grid->FooterHeight();
    foot_top_ = rows ? title_h_ + Grid->FreeSpace() + Grid->RowHeight() * (PaintInfo->LastRow - PaintInfo->FirstRow + 1)
                     : title_h_ + (titles ? Grid->FreeSpace() : 0);
  } else {
    foot_h_ = 0;
    foot_top_ = 0;
  }
  // One bitmap the size of the clip, copied once: the grid never shows a
  // half-painted state.
  TBitmap* bitmap = nullptr;
  if (PaintInfo->OffScreen) {
    if (!offscreen_) offscreen_ = std::make_unique<TBitmap>();
    bitmap = offscreen_.get();
    if (bitmap->Width() < clip.Width() || bitmap->Height() < clip.Height())
      bitmap->SetSize(std::max(bitmap->Width(), clip.Width()), std::max(bitmap->Height(), clip.Height()));
    canvas_ = &bitmap->Canvas();
    FillWith(*canvas_, Rect(0, 0, clip.Width(), clip.Height()), PaintInfo->Background);
  } else {
    canvas_ = PaintInfo->Canvas;
  }
  TgpColumns* columns = Grid->Columns();
  const TgpGroupInfo* first = columns->Groups(PaintInfo->FirstGroup);
  const TgpGroupInfo* last = columns->Groups(PaintInfo->LastGroup);
  width_ = last->ScreenX + last->TotalWidth - first->ScreenX;
  rows_h_ = rows ? (PaintInfo->LastRow - PaintInfo->FirstRow + 1) * Grid->RowHeight() : 0;
  auto finish = [&] {
    if (bitmap) PaintInfo->Canvas->DrawPart(clip.Left, clip.Top, *bitmap, Rect(0, 0, clip.Width(), clip.Height()));
    canvas_ = nullptr;
  };
  {
    TScopeExit finished(finish);
    if (rows) {
      PaintRows();
      for (int g = PaintInfo->FirstGroup; g <= PaintInfo->LastGroup; ++g) {
        TgpGroupInfo* group = columns->Groups(g);
        if (group->InView)
          PaintGroupCells(Grid, canvas_, offset_x_, offset_y_, PaintInfo->FirstRow, PaintInfo->LastRow, group);
      }
    }
    int x = 0;
    if (title_h_ > 0) {
      PaintTitleBackground();
      for (int g = PaintInfo->FirstGroup; g <= PaintInfo->LastGroup; ++g) {
        TgpGroupInfo* group = columns->Groups(g);
        if (!group->InView) continue;
        PaintTitleFrames(group, x, offset_x_);
        PaintGroupTitles(Grid, canvas_, offset_x_, offset_y_, group);
        x += group->TotalWidth;
      }
      // Without the pressed offset a title shows its press inverted.
      TgpColumn* pressed = Grid->PressedTitle();
      if (pressed != nullptr && !PressedOffset() && pressed->Visible() && pressed->Group() != nullptr &&
          pressed->Group()->InView)
        canvas_->InvertRect(Moved(pressed->TitleRect(false), -offset_x_, 0));
    }
    if (foot_h_ > 0) {
      PaintFooterSurface();
      x = 0;
      for (int g = PaintInfo->FirstGroup; g <= PaintInfo->LastGroup; ++g) {
        TgpGroupInfo* group = columns->Groups(g);
        if (!group->InView) continue;
        PaintFooterCells(group, x, offset_x_);
        PaintGroupFooters(Grid, canvas_, offset_x_, offset_y_, group);
        x += group->TotalWidth;
      }
    }
  }
}

void TgpBaseDesigner::PaintTitleBackground() { FillWith(*canvas_, Rect(0, 0, width_, title_h_), TitleColor()); }

void TgpBaseDesigner::PaintRows() {
  TgpColumns* columns = grid_->Columns();
  const int row_height = grid_->RowHeight();
  int y = title_h_;
  for (int r = info_->FirstRow; r <= info_->LastRow; ++r, y += row_height) {
    const TgpRowAttrs* row = info_->Rows(r);
    if (row == nullptr) continue;
    TColor row_color = row->Color;
    if (row->UltraSoft) row_color = SoftColor(row_color != clNone ? row_color : info_->Background);
    if (row_color != clNone) FillWith(*canvas_, Rect(0, y, width_, y + row_height), row_color);
    for (int g = info_->FirstGroup; g <= info_->LastGroup; ++g) {
      TgpGroupInfo* group = columns->Groups(g);
      if (!group->InView) continue;
      for (int i = group->FirstColumn; i <= group->LastColumn; ++i) {
        TgpColumn* column = columns->Items(i);
        if (!column->Visible()) continue;
        const TgpCellAttrs* cell = row->CellAttrs(i);
        TgpCellAttrs blank;
        if (cell == nullptr) cell = &blank;
        TColor a = clNone;
        if (cell->Fill && cell->Color != clNone) {
          a = cell->Color;
        } else if (row_color == clNone ||
                   (!row->Fill && column->OptionsVisual().Contains(cvoForeColorFill))) {
          a = cell->Color;
          if (a == clNone) a = column->Color();
          if (a == clNone && column->Fixed() == cfLeft) a = FixedColor();
          if (a == clNone)
            a = row_color;
          else if (row->UltraSoft)
            a = SoftColor(a);
        } else {
          a = row_color;
        }
        if (cell->UltraSoft) a = SoftColor(a != clNone ? a : info_->Background);
        if (a != clNone && a != row_color)
          FillWith(*canvas_, Moved(column->CellRect(r, true, false), -offset_x_, -offset_y_), a);
        if (cell->Current &&
            (FocusRectKind() == frcPersistentCell || (FocusRectKind() == frcCell && cell->Focused))) {
          const bool inclusive = CellSeparator() == clNone && RowSeparator() == clNone;
          TRect focus = Moved(column->CellRect(r, false, inclusive), -offset_x_, -offset_y_);
          canvas_->Brush().SetStyle(bsSolid);
          canvas_->Pen().SetColor(clHighlight);
          canvas_->Brush().SetStyle(bsClear);
          canvas_->Rectangle(focus.Left, focus.Top, focus.Right, focus.Bottom);
          grid_->Painter()->Canvas = canvas_;
          grid_->Painter()->DrawFocusRect(focus);
        }
      }
      if (CellSeparator() != clNone) DrawSeparators(group, 2, CellSeparator(), r);
      if (row->IsCurrent && RowSeparator() != clNone) DrawSeparators(group, 2, RowSeparator(), r);
    }
    if ((row->IsCurrent && FocusRectKind() == frcPersistentRow) || (row->Focused && FocusRectKind() == frcRow)) {
      const TgpGroupInfo* last = columns->Groups(info_->LastGroup);
      const TRect focus = Rect(-info_->ClipRect.Left, y, last->ScreenX + last->TotalWidth - last->LineWidth -
                                                              info_->ClipRect.Left,
                               y + row_height - HorzLineWidth());
      grid_->Painter()->Canvas = canvas_;
      grid_->Painter()->DrawFocusRect(focus);
    }
  }
}

void TgpBaseDesigner::DrawSeparators(TgpGroupInfo* Group, int Band, TColor Colour, int Row) {
  TgpColumns* columns = grid_->Columns();
  for (int i = Group->FirstColumn; i <= Group->LastColumn; ++i) {
    TgpColumn* column = columns->Items(i);
    if (!column->Visible()) continue;
    TRect r = Band == 1 ? column->TitleRect(false) : Band == 2 ? column->CellRect(Row, false, true)
                                                               : column->FooterRect(true, false);
    r = Moved(r, -offset_x_, -offset_y_);
    if (column->LineNo() > 0) HLine(*canvas_, r.Left, r.Right, r.Top - 1, Colour);
    if (column->LinePos() > 0) VLine(*canvas_, r.Left - 1, r.Top - 1, r.Bottom, Colour);
  }
}

void TgpBaseDesigner::PaintFooterSurface() {
  FillWith(*canvas_, Rect(0, foot_top_, width_, foot_top_ + foot_h_), FooterSurfaceColor());
  if (FlatFooter()) return;
  const TgpGroupInfo* last = grid_->Columns()->Groups(info_->LastGroup);
  const int left = -info_->ClipRect.Left;
  const int right = last->ScreenX + last->TotalWidth - info_->ClipRect.Left - 1;
  const int bottom = foot_top_ + foot_h_ - 1;
  VLine(*canvas_, left, foot_top_, bottom + 1, clBtnHighlight);
  HLine(*canvas_, left, right + 1, foot_top_, clBtnHighlight);
  VLine(*canvas_, right, foot_top_, bottom + 1, clBtnShadow);
  HLine(*canvas_, left, right + 1, bottom, clBtnShadow);
}

void TgpBaseDesigner::PaintTitleFrames(TgpGroupInfo* Group, int X, int OffsetX) {
  (void)Group, (void)X, (void)OffsetX;
}

void TgpBaseDesigner::PaintFooterCells(TgpGroupInfo* Group, int X, int OffsetX) {
  (void)X, (void)OffsetX;
  TgpColumns* columns = grid_->Columns();
  for (int i = Group->FirstColumn; i <= Group->LastColumn; ++i) {
    TgpColumn* column = columns->Items(i);
    if (!column->Visible()) continue;
    if (column->FooterState() == fsNone && column->FooterText().empty()) continue;
    TRect r = Moved(column->FooterRect(true, false), -offset_x_, -offset_y_);
    const TColor color = column->FooterAttrs().Color() != clNone ? column->FooterAttrs().Color() : FooterColor();
    FillWith(*canvas_, r, color);
    if (FlatFooter()) {
      canvas_->Pen().SetColor(FooterLines());
      canvas_->Brush().SetStyle(bsClear);
      canvas_->Rectangle(r.Left, r.Top, r.Right, r.Bottom);
    } else {
      DrawEdge(*canvas_, r, BDR_SUNKENOUTER, BF_RECT);
    }
  }
}

// The two designers grids paint through: the lite one with thin lines and
// the standard one with double column lines and a margin line between them.
// Both refine the base designer's painting with their lines and title frames.
#include "grid/rs_draw.h"
#include "grid/rs_std.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/edges.h"

namespace {

// The settings every designer class publishes.
template <class C>
void PublishDesignerSettings(TPublisher<C>& p) {
  p.Ordinal("TitleColor", TypeInfoTColor(), &C::TitleColor, &C::SetTitleColor).WithDefault(clBtnFace);
  p.Ordinal("FooterColor", TypeInfoTColor(), &C::FooterColor, &C::SetFooterColor).WithDefault(clBtnFace);
  p.Ordinal("FixedColor", TypeInfoTColor(), &C::FixedColor, &C::SetFixedColor).WithDefault(clBtnFace);
  static const TTypeInfo focus_kind = TTypeInfo::Enumeration(
      "TgpFocusRectKind", {"frcNone", "frcCell", "frcRow", "frcPersistentRow", "frcPersistentCell"});
  p.Ordinal("FocusRectKind", focus_kind, &C::FocusRectKind, &C::SetFocusRectKind).WithDefault(frcCell);
  p.Object("TitleFont", TChildFont::StaticClassInfo(), [](const C& c) { return const_cast<C&>(c).TitleFont(); },
           &C::SetTitleFont)
      .StoredWhen([](const TPersistent& o) { return static_cast<const C&>(o).TitleFontIfAny() != nullptr; });
  p.Object("CellFont", TChildFont::StaticClassInfo(), [](const C& c) { return const_cast<C&>(c).CellFont(); },
           &C::SetCellFont)
      .StoredWhen([](const TPersistent& o) { return static_cast<const C&>(o).CellFontIfAny() != nullptr; });
  p.Object("FooterFont", TChildFont::StaticClassInfo(), [](const C& c) { return const_cast<C&>(c).FooterFont(); },
           &C::SetFooterFont)
      .StoredWhen([](const TPersistent& o) { return static_cast<const C&>(o).FooterFontIfAny() != nullptr; });
  p.Object("TitleMargins", TgpCellMargins::StaticClassInfo(),
           [](const C& c) { return const_cast<C&>(c).TitleMargins(); });
  p.Object("CellMargins", TgpCellMargins::StaticClassInfo(),
           [](const C& c) { return const_cast<C&>(c).CellMargins(); });
  p.Object("FooterMargins", TgpCellMargins::StaticClassInfo(),
           [](const C& c) { return const_cast<C&>(c).FooterMargins(); });
  p.Ordinal("SelectedCell", TypeInfoTColor(), &C::SelectedCell, &C::SetSelectedCell).WithDefault(clHighlight);
  p.Ordinal("SelectedRow", TypeInfoTColor(), &C::SelectedRow, &C::SetSelectedRow).WithDefault(clHighlight);
  p.Ordinal("SelectedCellText", TypeInfoTColor(), &C::SelectedCellText, &C::SetSelectedCellText)
      .WithDefault(clHighlightText);
  p.Ordinal("SelectedRowText", TypeInfoTColor(), &C::SelectedRowText, &C::SetSelectedRowText)
      .WithDefault(clHighlightText);
  p.Ordinal("HiddenSelection", TypeInfoTColor(), &C::HiddenSelection, &C::SetHiddenSelection)
      .WithDefault(clBtnFace);
  p.Boolean("SelectedCellFill", &C::SelectedCellFill, &C::SetSelectedCellFill).WithDefault(true);
  p.Boolean("SelectedRowFill", &C::SelectedRowFill, &C::SetSelectedRowFill).WithDefault(false);
  p.Boolean("UltraSoftSelectedCell", &C::UltraSoftSelectedCell, &C::SetUltraSoftSelectedCell).WithDefault(false);
  p.Boolean("UltraSoftSelectedRow", &C::UltraSoftSelectedRow, &C::SetUltraSoftSelectedRow).WithDefault(false);
  p.Ordinal("CellSeparator", TypeInfoTColor(), &C::CellSeparator, &C::SetCellSeparator);
  p.Ordinal("RowSeparator", TypeInfoTColor(), &C::RowSeparator, &C::SetRowSeparator).WithDefault(clNone);
  p.Ordinal("FooterSurfaceColor", TypeInfoTColor(), &C::FooterSurfaceColor, &C::SetFooterSurfaceColor)
      .WithDefault(clBtnFace);
  p.Ordinal("FooterLines", TypeInfoTColor(), &C::FooterLines, &C::SetFooterLines).WithDefault(clGray);
}

}  // namespace

// ---- TLiteDesigner ------------------------------------------------------------------------

const TTypeInfo& TLiteDsgnTitleStyleType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TLiteDsgnTitleStyle", {"lts3D", "ltsFlat", "ltsNon3D"});
  return t;
}

const TClassInfo& TLiteDesigner::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TLiteDesigner>, "TLiteDesigner", &TgpBaseDesigner::StaticClassInfo(),
                               [](TPublisher<TLiteDesigner>& p) {
                                 using C = TLiteDesigner;
                                 PublishDesignerSettings(p);
                                 p.Ordinal("VertLines", TypeInfoTColor(), &C::VertLines, &C::SetVertLines)
                                     .WithDefault(clSilver);
                                 p.Ordinal("HorizLines", TypeInfoTColor(), &C::HorizLines, &C::SetHorizLines)
                                     .WithDefault(clSilver);
                                 p.Boolean("FlatFooter", &C::FlatFooter, &C::SetFlatFooter).WithDefault(false);
                                 p.Ordinal("TitleStyle", TLiteDsgnTitleStyleType(), &C::TitleStyle,
                                           &C::SetTitleStyle)
                                     .WithDefault(lts3D);
                                 p.Boolean("ShowLines", &C::ShowLines, &C::SetShowLines).WithDefault(true);
                                 p.Boolean("ShowLastLine", &C::ShowLastLine, &C::SetShowLastLine)
                                     .WithDefault(true);
                               });
  return info;
}

TLiteDesigner::TLiteDesigner(TComponent* owner) : TgpBaseDesigner(owner) {
  SetVertLines(clSilver);
  SetHorizLines(clSilver);
  SetCellSeparator(clSilver);
  SetScrollByBlit(true);
  UpdateMetrics();
}

int TLiteDesigner::VLineWidth() const { return show_lines_ ? 1 : 0; }
int TLiteDesigner::HLineWidth() const { return show_lines_ && HorizLines() != clNone ? 1 : 0; }
void TLiteDesigner::TitlePair(int& Top, int& Bottom) const { Top = 0, Bottom = 1; }

void TLiteDesigner::CopySettings(const TgpDesigner* Source) {
  TgpBaseDesigner::CopySettings(Source);
  const auto* other = dynamic_cast<const TLiteDesigner*>(Source);
  if (other == nullptr) return;
  SetTitleStyle(other->title_style_);
  SetShowLines(other->show_lines_);
  SetShowLastLine(other->show_last_line_);
}

void TLiteDesigner::SetTitleStyle(TLiteDsgnTitleStyle value) {
  if (title_style_ == value) return;
  title_style_ = value;
  SetPressedOffset(value != ltsNon3D);
  RepaintTitles();
}

void TLiteDesigner::SetShowLines(bool value) {
  if (show_lines_ == value) return;
  show_lines_ = value;
  UpdateMetrics();
}

void TLiteDesigner::SetShowLastLine(bool value) {
  if (show_last_line_ == value) return;
  show_last_line_ = value;
  RepaintAll();
}

void TLiteDesigner::PaintTitleBackground() {
  TgpBaseDesigner::PaintTitleBackground();
  if (!show_lines_) return;
  TColor bottom_pen = clBlack, vertical_pen = clBlack;
  if (title_style_ == ltsNon3D) {
    bottom_pen = HorizLines() != clNone ? HorizLines() : VertLines();
    vertical_pen = VertLines() != clNone ? VertLines() : HorizLines();
  }
  if (bottom_pen != clNone) HLineThrough(*canvas_, 0, width_ - 1, title_h_ - 1, bottom_pen);
  TgpColumns* columns = grid_->Columns();
  for (int g = info_->FirstGroup; g <= info_->LastGroup; ++g) {
    TgpGroupInfo* group = columns->Groups(g);
    if (!group->InView) continue;
    if (bottom_pen != clNone) DrawSeparators(group, 1, bottom_pen, 0);
    const int right = group->ScreenX + group->TotalWidth - offset_x_;
    if (vertical_pen != clNone) VLineThrough(*canvas_, right - 1, 0, title_h_ - 1, vertical_pen);
  }
}

void TLiteDesigner::PaintTitleFrames(TgpGroupInfo* Group, int X, int OffsetX) {
  (void)X;
  if (title_style_ == ltsNon3D) return;
  TgpColumns* columns = grid_->Columns();
  for (int i = Group->FirstColumn; i <= Group->LastColumn; ++i) {
    TgpColumn* column = columns->Items(i);
    if (!column->Visible()) continue;
    TRect r = Moved(column->TitleRect(false), -OffsetX, 0);
    if (title_style_ == ltsFlat) ++r.Right, ++r.Bottom;
    if (column == grid_->PressedTitle())
      DrawEdge(*canvas_, r, BDR_SUNKENOUTER, BF_RECT | BF_FLAT);
    else
      DrawEdge(*canvas_, r, BDR_RAISEDINNER, BF_RECT);
    if (title_style_ == ltsFlat && show_lines_ && column->LinePos() > 0) {
      // The raised edge of the column before runs into this one's: a
      // highlight and two patches of title colour join them.
      const TRect plain = Moved(column->TitleRect(false), -OffsetX, 0);
      HLineThrough(*canvas_, plain.Left - 2, plain.Left, plain.Top, clBtnHighlight);
      const int patch = column->TitleLineHeight() / 14;
      FillWith(*canvas_, Rect(plain.Left - 2, plain.Top + 1, plain.Left + 1, plain.Top + 1 + patch), TitleColor());
      FillWith(*canvas_, Rect(plain.Left - 2, plain.Bottom - 1 - patch, plain.Left + 1, plain.Bottom - 1),
               TitleColor());
    }
  }
}

void TLiteDesigner::PaintRows() {
  TgpBaseDesigner::PaintRows();
  if (!show_lines_) return;
  const int row_height = grid_->RowHeight();
  if (HorizLines() != clNone)
    for (int y = title_h_ + row_height - 1; y < title_h_ + rows_h_; y += row_height)
      HLineThrough(*canvas_, 0, width_ - 1, y, HorizLines());
  if (VertLines() == clNone) return;
  TgpColumns* columns = grid_->Columns();
  for (int g = info_->FirstGroup; g <= info_->LastGroup; ++g) {
    TgpGroupInfo* group = columns->Groups(g);
    if (!group->InView) continue;
    const bool last = g == columns->GroupCount() - 1;
    const TColor pen = last && !show_last_line_ ? info_->Background : VertLines();
    const int right = group->ScreenX + group->TotalWidth - offset_x_;
    VLineThrough(*canvas_, right - 1, title_h_, title_h_ + rows_h_ - 1, pen);
  }
}

// ---- TStandardDesigner --------------------------------------------------------------------

const TTypeInfo& TStdDsgnOptionsType() {
  static const TTypeInfo option = TTypeInfo::Enumeration(
      "TStdDsgnOption", {"dg3DTitle", "dg3DFooter", "dgMarginLines", "dgBoundLines", "dgHorizLines",
                         "dgHorizBackground"});
  static const TTypeInfo t = TTypeInfo::SetOf("TStdDsgnOptions", option);
  return t;
}

const TClassInfo& TStandardDesigner::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TStandardDesigner>, "TStandardDesigner", &TgpBaseDesigner::StaticClassInfo(),
      [](TPublisher<TStandardDesigner>& p) {
        using C = TStandardDesigner;
        PublishDesignerSettings(p);
        p.Ordinal("VertLines", TypeInfoTColor(), &C::VertLines, &C::SetVertLines).WithDefault(clBlack);
        p.Ordinal("HorizLines", TypeInfoTColor(), &C::HorizLines, &C::SetHorizLines).WithDefault(clBlack);
        p.Ordinal("TitleSeparator", TypeInfoTColor(), &C::TitleSeparator, &C::SetTitleSeparator)
            .WithDefault(clBlack);
        p.Ordinal("MarginLines", TypeInfoTColor(), &C::MarginLines, &C::SetMarginLines).WithDefault(clSilver);
        p.Ordinal("BoundLines", TypeInfoTColor(), &C::BoundLines, &C::SetBoundLines).WithDefault(clBlack);
        // Last: the options decide the flat footer.
        p.Ordinal("Options", TStdDsgnOptionsType(), &C::Options, &C::SetOptions)
            .WithDefault(TStdDsgnOptions{dg3DTitle, dg3DFooter, dgMarginLines, dgBoundLines, dgHorizLines,
                                         dgHorizBackground}
                             .Bits());
      });
  return info;
}

TStandardDesigner::TStandardDesigner(TComponent* owner) : TgpBaseDesigner(owner) {
  SetFlatFooter(!options_.Contains(dg3DFooter));
  SetPressedOffset(options_.Contains(dg3DTitle));
  UpdateBlitFlag();
  UpdateMetrics();
}

int TStandardDesigner::HLineWidth() const { return options_.Contains(dgHorizLines) ? 1 : 0; }
void TStandardDesigner::TitlePair(int& Top, int& Bottom) const { Top = 0, Bottom = 3; }

void TStandardDesigner::CopySettings(const TgpDesigner* Source) {
  TgpBaseDesigner::CopySettings(Source);
  const auto* other = dynamic_cast<const TStandardDesigner*>(Source);
  if (other == nullptr) return;
  SetTitleSeparator(other->title_separator_);
  SetMarginLines(other->margin_lines_);
  SetBoundLines(other->bound_lines_);
  SetOptions(other->options_);
}

void TStandardDesigner::SetTitleSeparator(TColor value) {
  if (title_separator_ == value) return;
  title_separator_ = value;
  RepaintTitles();
}

void TStandardDesigner::SetMarginLines(TColor value) {
  if (margin_lines_ == value) return;
  margin_lines_ = value;
  UpdateBlitFlag();
  RepaintAll();
}

void TStandardDesigner::SetBoundLines(TColor value) {
  if (bound_lines_ == value) return;
  bound_lines_ = value;
  UpdateBlitFlag();
  RepaintAll();
}

void TStandardDesigner::SetOptions(TStdDsgnOptions value) {
  if (value == options_) return;
  if (!value.Contains(dgHorizLines)) value = value + TStdDsgnOptions{dgHorizBackground};
  const bool lines_changed = value.Contains(dgHorizLines) != options_.Contains(dgHorizLines);
  options_ = value;
  // Quietly: the options' own repaint or relayout follows.
  const bool was_assigning = assigning_;
  assigning_ = true;
  SetFlatFooter(!value.Contains(dg3DFooter));
  assigning_ = was_assigning;
  SetPressedOffset(value.Contains(dg3DTitle));
  UpdateBlitFlag();
  if (lines_changed)
    UpdateMetrics();
  else
    RepaintAll();
}

void TStandardDesigner::UpdateBlitFlag() {
  SetScrollByBlit(!(options_.Contains(dgBoundLines) &&
                    (!options_.Contains(dgHorizLines) || bound_lines_ != HorizLines())));
}

void TStandardDesigner::PaintTitleBackground() {
  TgpBaseDesigner::PaintTitleBackground();
  HLineThrough(*canvas_, 0, width_ - 1, title_h_ - 3, HorizLines());
  HLineThrough(*canvas_, 0, width_ - 1, title_h_ - 1, HorizLines());
  HLineThrough(*canvas_, 0, width_ - 1, title_h_ - 2, margin_lines_);
  const TColor middle = options_.Contains(dgMarginLines) ? margin_lines_ : TitleColor();
  TgpColumns* columns = grid_->Columns();
  for (int g = info_->FirstGroup; g <= info_->LastGroup; ++g) {
    const TgpGroupInfo* group = columns->Groups(g);
    if (!group->InView) continue;
    const int right = group->ScreenX + group->TotalWidth - offset_x_;
    VLineThrough(*canvas_, right - 1, 0, title_h_ - 2, VertLines());
    VLineThrough(*canvas_, right - 3, 0, title_h_ - 2, VertLines());
    VLineThrough(*canvas_, right - 2, 0, title_h_ - 2, middle);
  }
}

void TStandardDesigner::PaintTitleFrames(TgpGroupInfo* Group, int X, int OffsetX) {
  (void)X;
  if (title_separator_ != clNone) DrawSeparators(Group, 1, title_separator_, 0);
  if (!options_.Contains(dg3DTitle)) return;
  TgpColumns* columns = grid_->Columns();
  for (int i = Group->FirstColumn; i <= Group->LastColumn; ++i) {
    TgpColumn* column = columns->Items(i);
    if (!column->Visible()) continue;
    TRect r = Moved(column->TitleRect(false), -OffsetX, 0);
    DrawEdge(*canvas_, r, column == grid_->PressedTitle() ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  }
}

void TStandardDesigner::PaintRows() {
  TgpBaseDesigner::PaintRows();
  const int row_height = grid_->RowHeight();
  auto horizontal = [&] {
    if (!options_.Contains(dgHorizLines) || HorizLines() == clNone) return;
    for (int y = title_h_ + row_height - 1; y < title_h_ + rows_h_; y += row_height)
      HLineThrough(*canvas_, 0, width_ - 1, y, HorizLines());
  };
  if (options_.Contains(dgHorizBackground)) horizontal();
  // Over the grid's last row the lines leave the row's bottom line whole.
  const int bottom = title_h_ + rows_h_ - 1 - (info_->LastRow == grid_->RowCount() - 1 ? 1 : 0);
  const TColor middle = options_.Contains(dgMarginLines) ? margin_lines_ : info_->Background;
  TgpColumns* columns = grid_->Columns();
  for (int g = info_->FirstGroup; g <= info_->LastGroup; ++g) {
    const TgpGroupInfo* group = columns->Groups(g);
    if (!group->InView) continue;
    const int right = group->ScreenX + group->TotalWidth - offset_x_;
    VLineThrough(*canvas_, right - 1, title_h_, bottom, VertLines());
    VLineThrough(*canvas_, right - 3, title_h_, bottom, VertLines());
    VLineThrough(*canvas_, right - 2, title_h_, bottom, middle);
  }
  if (!options_.Contains(dgHorizBackground)) horizontal();
}

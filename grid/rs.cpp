#include "grid/rs.h"

#include "toolkit/core/units.h"
#include <utility>
#include "toolkit/core/sysutils.h"
#include "toolkit/gfx/drawtext.h"
#include "toolkit/ui/comctrls.h"

// ---- Cell attributes ---------------------------------------------------------------------

void TgpCellAttrs::Reset() {
  Color = clNone;
  FontColor = clNone;
  FontStyle = TFontStyles();
  FontName.clear();
  Focused = Pressed = Hot = false;
  Fill = UltraSoft = Current = false;
}

TgpCellAttrs* TgpRowAttrs::CellAttrs(int ColumnIndex) const {
  if (ColumnIndex < 0 || size_t(ColumnIndex) >= cells_.size()) return nullptr;
  return cells_[size_t(ColumnIndex)];
}

void TgpRowAttrs::SetCellAttrs(int ColumnIndex, TgpCellAttrs* attrs) {
  if (ColumnIndex < 0) return;
  if (size_t(ColumnIndex) >= cells_.size()) cells_.resize(size_t(ColumnIndex) + 1, nullptr);
  cells_[size_t(ColumnIndex)] = attrs;
}

void TgpRowAttrs::Reset() {
  Color = clNone;
  FontColor = clNone;
  FontStyle = TFontStyles();
  FontName.clear();
  Fill = UltraSoft = false;
  StripNo = 0;
  IsCurrent = Focused = Selected = Hot = false;
  for (TgpCellAttrs* cell : cells_)
    if (cell) cell->Reset();
}

void ApplyFontAttrs(TFont& font, TColor color, TFontStyles style, const AnsiString& name) {
  if (color != clNone) font.SetColor(color);
  if (!style.Empty()) font.SetStyle(font.Style() + style);
  if (!name.empty()) font.SetName(name);
}

// ---- TfvPainter --------------------------------------------------------------------------

void TfvPainter::PrepareRects(const TvpPaintSource& source) {
  Fields = source.Fields;
  Images = source.Images;
  layout_ = source.Layout;
  self_drawn_ = source.SelfDrawn;
  TextRect = ContentRect;
  ImageRect = ContentRect;
  if (source.ImageWidth == 0) return;
  const int w = source.ImageWidth, h = source.ImageHeight;
  switch (source.Layout) {
    case tlCenter:
      ImageRect.Top = ContentRect.Top + (ContentRect.Height() - h) / 2;
      break;
    case tlBottom:
      ImageRect.Top = ContentRect.Bottom - h;
      break;
    case tlTop:
      ImageRect.Top = ContentRect.Top;
      break;
  }
  ImageRect.Bottom = ImageRect.Top + h;
  // Text and image stay 2 pixels apart.
  if (source.AlignImage == aiRight) {
    ImageRect.Left = ContentRect.Right - w;
    TextRect.Right = ImageRect.Left - 2;
  } else {
    ImageRect.Right = ContentRect.Left + w;
    TextRect.Left = ImageRect.Right + 2;
  }
}

bool TfvPainter::Prepare(const TvpPaintSource& source) {
  PrepareRects(source);
  if (!GridMode()) PrepareEdit(source);
  WordWrap = WordWrap || source.NativeMultiLine;
  return WordWrap;
}

void TfvPainter::PrepareEdit(const TvpPaintSource& source) {
  HasColumn = source.HasColumn;
  HideFocus = source.FocusByButton && source.SelfDrawn;
  if (!source.HasColumn) {
    TextRect.Top += 1;
    if (source.SelfDrawn) {
      TextRect.Left += 1;
      TextRect.Right -= 1;
    }
  }
  TvpCellAttrs* attrs = rsShared().EditAttrs.get();
  attrs->Color = source.EditColor;
  attrs->Focused = source.EditFocused;
  attrs->Pressed = source.SwitchPressed;
  attrs->Hot = false;
  Attrs = attrs;
  if (source.EditFont) Font.Assign(*source.EditFont);
  if (!source.EditEnabled) Font.SetColor(clGrayText);
  if (Canvas) Canvas->Font().Assign(Font);
  DefaultDraw = true;
  Text.clear();
  ImageIndex = -1;
  StateIndex = -1;
  EndEllipsis = false;
  WordWrap = source.EditWordWrap;
}

int TfvPainter::DrawText(const AnsiString& text, TAlignment alignment, TvpDefLayout layout, int LeftIndent,
                         int RightIndent) {
  if (!Canvas) return 0;
  TLayout place = layout_;
  if (layout == tlaTop)
    place = tlTop;
  else if (layout == tlaCenter)
    place = tlCenter;
  else if (layout == tlaBottom)
    place = tlBottom;
  TRect area = TextRect;
  area.Left += LeftIndent;
  area.Right -= RightIndent;
  unsigned flags = DT_NOPREFIX;
  if (alignment == taRightJustify)
    flags |= DT_RIGHT;
  else if (alignment == taCenter)
    flags |= DT_CENTER;
  if (EndEllipsis) flags |= DT_END_ELLIPSIS;
  if (!GridMode() && !self_drawn_) flags |= DT_EDITCONTROL;
  if (!WordWrap) {
    flags |= DT_SINGLELINE | (place == tlCenter ? DT_VCENTER : place == tlBottom ? DT_BOTTOM : DT_TOP);
    return ::DrawText(*Canvas, text, area, flags);
  }
  TRect measured = area;
  ::DrawText(*Canvas, text, measured, flags | DT_WORDBREAK | DT_CALCRECT);
  int height = measured.Height();
  if (height > area.Height()) height = area.Height();
  // An area squeezed to nothing by indents or images draws nothing rather
  // than a box turned inside out.
  if (height < 0) height = 0;
  TRect box = area;
  if (place == tlCenter)
    box.Top = area.Top + (area.Height() - height) / 2;
  else if (place == tlBottom)
    box.Top = area.Bottom - height;
  box.Bottom = box.Top + height;
  return ::DrawText(*Canvas, text, box, flags | DT_WORDBREAK);
}

void TfvPainter::DrawImage(int index, TImageList* ImageList) {
  if (index == -1) return;
  TImageList* list = ImageList ? ImageList : Images;
  // A vision without a list, or an index its list lacks, draws nothing.
  if (!list || !Canvas) return;
  TBitmap picture;
  if (!list->GetBitmap(index, picture)) return;
  Canvas->Draw(ImageRect.Left, ImageRect.Top, picture);
}

void TfvPainter::DrawFocusRect(const TRect& rect) {
  if (HideFocus || !Canvas || rect.Width() <= 0 || rect.Height() <= 0) return;
  // The classic focus frame is a pattern XOR: every other pixel inverted, so
  // it shows on any background and a second call removes it. A surface
  // without pixels to read (a recording) gets black dots.
  auto dot = [this](int x, int y) {
    if ((x + y) % 2 != 0) return;
    const TColor old = Canvas->Pixel(x, y);
    Canvas->SetPixel(x, y, old == clNone ? clBlack : TColor(ColorToRGB(old) ^ 0xFFFFFF));
  };
  const int right = rect.Right - 1, bottom = rect.Bottom - 1;
  for (int x = rect.Left; x <= right; ++x) {
    dot(x, rect.Top);
    if (bottom != rect.Top) dot(x, bottom);
  }
  for (int y = rect.Top + 1; y < bottom; ++y) {
    dot(rect.Left, y);
    if (right != rect.Left) dot(right, y);
  }
}

// ---- TgpPainter --------------------------------------------------------------------------

bool TgpPainter::Prepare(const TvpPaintSource& source) {
  Column = source.Column;
  ColumnIndex = source.ColumnIndex;
  PrepareRects(source);
  if (source.GridFont) Font.Assign(*source.GridFont);
  if (source.DesignerCellFont) source.DesignerCellFont->ApplyTo(Font);
  if (source.ColumnFont) source.ColumnFont->ApplyTo(Font);
  EndEllipsis = source.GridEndEllipsis;
  WordWrap = source.ColumnWordWrap || source.NativeMultiLine;
  HideFocus = false;
  return WordWrap;
}

bool TgpPainter::NextRow() {
  if (Row > LastRow) return false;
  DefaultDraw = true;
  if (DataLink) DataLink->ChangeActiveRow(Row);
  if (Canvas) Canvas->Font().Assign(Font);
  RowAttrs = RowAttrsOf ? RowAttrsOf(Row) : nullptr;
  CellAttrs = RowAttrs ? RowAttrs->CellAttrs(ColumnIndex) : nullptr;
  if (!CellAttrs) {
    blank_attrs_.Reset();
    CellAttrs = &blank_attrs_;
  }
  Attrs = CellAttrs;
  if (Canvas) {
    if (RowAttrs)
      ApplyFontAttrs(Canvas->Font(), RowAttrs->FontColor, RowAttrs->FontStyle, RowAttrs->FontName);
    ApplyFontAttrs(Canvas->Font(), CellAttrs->FontColor, CellAttrs->FontStyle, CellAttrs->FontName);
  }
  Text.clear();
  ImageIndex = -1;
  StateIndex = -1;
  return true;
}

void TgpPainter::AdvanceRow() {
  ++Row;
  for (TRect* r : {&CellRect, &ContentRect, &ImageRect, &TextRect}) {
    r->Top += RowHeight;
    r->Bottom += RowHeight;
  }
}

// ---- The unit's process-wide objects -----------------------------------------------------

TgpScreenTolerances ScaledTolerances(int screen_height) {
  TgpScreenTolerances t;
  t.SizingZone = MulDiv(screen_height, 8, 640);
  t.DropTolerance = MulDiv(screen_height, 8, 640);
  t.DropToleranceSmall = MulDiv(screen_height, 4, 640);
  return t;
}

namespace {

// Freed by the unit's shut-down only, never by static destruction.
TrsShared* g_shared = nullptr;
const char kSharedUnit = 0;

void FinalizeSharedUnit() {
  if (!g_shared) return;
  g_shared->DragList.reset();
  g_shared->EditAttrs.reset();
  g_shared->EditPainter.reset();
  g_shared->Text.clear();
  delete std::exchange(g_shared, nullptr);
}

// The height the tolerances scale with; a screen of 480 lines where none is.
int ToleranceScreenHeight() {
  const int height = ScreenHeight();
  return height > 0 ? height : 480;
}

}  // namespace

TrsShared& rsShared() {
  if (!g_shared) {
    auto shared = std::make_unique<TrsShared>();
    shared->EditPainter = std::make_unique<TfvPainter>();
    shared->EditAttrs = std::make_unique<TvpCellAttrs>();
    shared->Tolerances = ScaledTolerances(ToleranceScreenHeight());
    shared->DragList = std::make_unique<TList>();
    g_shared = shared.release();
    RegisterUnit(&kSharedUnit, "rs", FinalizeSharedUnit);
  }
  return *g_shared;
}

void FreeRsShared() { FinalizeUnit(&kSharedUnit); }

// The grid unit. For now it holds the cell painter, the objects visions draw
// through: the rectangles, canvas, colours and font of one grid cell or one
// edit, the text and images a vision chose, and the DefaultDraw switch with
// which event handlers take over; the cell and row attributes the painter
// reads; and the unit's process-wide objects made at start-up.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "grid/rs_rtm.h"
#include "toolkit/core/alignment.h"
#include "toolkit/core/classes.h"
#include "toolkit/gfx/graphics.h"

class TImageList;
class TDataLink;
class TDataSet;
class TgpFieldList;
class TgpColumn;
class TDBGridPro;

// A layout that may defer to the field list's own.
enum TvpDefLayout { tlaDefault, tlaTop, tlaCenter, tlaBottom };
// A horizontal alignment that may defer to a default (the vision's, the field's).
enum TvpDefAlignment { talDefault, talLeftJustify, talRightJustify, talCenter };
// Side of the cell a vision's image sits on (aiDefault is the left).
enum TvpAlignImage { aiDefault, aiLeft, aiRight };

// ---- Cell attributes ---------------------------------------------------------------------

// Colour and state of one cell or edit.
class TvpCellAttrs {
 public:
  virtual ~TvpCellAttrs() = default;
  TColor Color = clNone;
  // The cell or edit has the focus.
  bool Focused = false;
  // Its in-cell switch is held down.
  bool Pressed = false;
  // The grid sets it on the cell under the mouse; edits leave it False.
  bool Hot = false;
};

// The attributes of one grid cell: the shared ones plus a font laid over the
// row's (clNone colour, empty style and empty name leave the font as it is).
class TgpCellAttrs : public TvpCellAttrs {
 public:
  TColor FontColor = clNone;
  TFontStyles FontStyle;
  AnsiString FontName;
  bool Fill = false;
  bool UltraSoft = false;
  bool Current = false;
  // Colours to clNone, style and name empty, every flag False.
  void Reset();
};

// The attributes of one row of the grid's window. A row reaches its cells'
// attributes (kept by the columns, one per row) by column index.
class TgpRowAttrs {
 public:
  int Row = 0;
  TDataSet* DataSet = nullptr;
  TColor Color = clNone;
  TColor FontColor = clNone;
  TFontStyles FontStyle;
  AnsiString FontName;
  bool Fill = false;
  bool UltraSoft = false;
  int StripNo = 0;
  bool IsCurrent = false;
  bool Focused = false;
  bool Selected = false;
  bool Hot = false;

  // The cell attributes of column ColumnIndex in this row; nullptr when the
  // row has none for that column.
  TgpCellAttrs* CellAttrs(int ColumnIndex) const;
  // Links (not owns) the attributes of column ColumnIndex in this row.
  void SetCellAttrs(int ColumnIndex, TgpCellAttrs* attrs);
  // The row's values as TgpCellAttrs::Reset does, StripNo 0, and every linked
  // cell reset.
  void Reset();

 private:
  std::vector<TgpCellAttrs*> cells_;
};

// Lays the font colour (unless clNone), the style bits (added) and the name
// (unless empty) over font.
void ApplyFontAttrs(TFont& font, TColor color, TFontStyles style, const AnsiString& name);

// ---- What a painter is prepared from -----------------------------------------------------

// The resolved state of a field list, its vision and its consumer at the
// moment a painter is prepared. The field list fills it in; the painter
// keeps none of the pointers beyond the painting pass.
struct TvpPaintSource {
  TgpFieldList* Fields = nullptr;
  // The vision's Images and its image size (0 and 0 when DrawImages is
  // False or there is no list).
  TImageList* Images = nullptr;
  int ImageWidth = 0;
  int ImageHeight = 0;
  TvpAlignImage AlignImage = aiDefault;
  // The field list's layout as resolved by the consumer.
  TLayout Layout = tlCenter;
  // Vision traits.
  bool SelfDrawn = false;
  bool NativeMultiLine = false;

  // Grid mode: the column, its index, the grid's font with the designer's
  // cell font and the column's own font laid over it (either may be absent),
  // the grid's OptionsVisual lacks gvoNoEndEllipsis, the column's
  // OptionsVisual holds cvoWordWrap.
  TgpColumn* Column = nullptr;
  int ColumnIndex = 0;
  const TFont* GridFont = nullptr;
  const TChildFont* DesignerCellFont = nullptr;
  const TChildFont* ColumnFont = nullptr;
  bool GridEndEllipsis = true;
  bool ColumnWordWrap = false;

  // Edit mode: the edit is an in-place editor bound to a column; a press on
  // the sub-button moved the focus into it; its Color; it is editing with no
  // tool form dropped down; its in-cell switch is pressed; its Font, Enabled
  // and WordWrap.
  bool HasColumn = false;
  bool FocusByButton = false;
  TColor EditColor = clWindow;
  bool EditFocused = false;
  bool SwitchPressed = false;
  const TFont* EditFont = nullptr;
  bool EditEnabled = true;
  bool EditWordWrap = false;
};

// ---- Painters ----------------------------------------------------------------------------

// The painter of an edit, and the base of the grid's painter. Its fields are
// the drawing interface handed to the vision and grid draw events.
class TfvPainter {
 public:
  TfvPainter() = default;
  virtual ~TfvPainter() = default;
  TfvPainter(const TfvPainter&) = delete;
  TfvPainter& operator=(const TfvPainter&) = delete;

  // Base font of the cell (owned).
  TFont Font;
  // Whole cell or whole edit client area.
  TRect CellRect;
  // CellRect less margins.
  TRect ContentRect;
  TRect ImageRect;
  TRect TextRect;
  TImageList* Images = nullptr;
  TCanvas* Canvas = nullptr;
  // A grid cell's TgpCellAttrs in grid mode, the shared edit attributes in
  // edit mode.
  TvpCellAttrs* Attrs = nullptr;
  // True until a handler takes over; each later step of a pipeline runs only
  // while it is True.
  bool DefaultDraw = true;
  AnsiString Text;
  // -1 = none.
  int ImageIndex = -1;
  int StateIndex = -1;
  bool EndEllipsis = false;
  bool WordWrap = false;
  bool HideFocus = false;
  bool HasColumn = false;
  TgpFieldList* Fields = nullptr;

  // True for a grid painter (fixed at construction).
  bool GridMode() const { return grid_mode_; }
  // The field list's layout taken at Prepare.
  TLayout Layout() const { return layout_; }

  // Sets up rectangles and fonts for a field list; returns WordWrap.
  virtual bool Prepare(const TvpPaintSource& source);
  // Draws text into TextRect narrowed by the indents; tlaDefault takes the
  // field list's layout. Returns the text output's result (its height).
  virtual int DrawText(const AnsiString& text, TAlignment alignment, TvpDefLayout layout, int LeftIndent,
                       int RightIndent);

  // Image index of ImageList (the painter's Images when nullptr) at
  // ImageRect's top-left corner; nothing for -1 or an index the list lacks.
  void DrawImage(int index, TImageList* ImageList = nullptr);
  // A dotted focus frame inverting every other pixel of rect's border,
  // unless HideFocus. Canvas colours are as before afterwards.
  void DrawFocusRect(const TRect& rect);

 protected:
  explicit TfvPainter(bool grid_mode) : grid_mode_(grid_mode) {}
  void PrepareRects(const TvpPaintSource& source);

 private:
  void PrepareEdit(const TvpPaintSource& source);

  bool grid_mode_ = false;
  TLayout layout_ = tlCenter;
  bool self_drawn_ = false;
};

// The painter of one grid column, row after row. The grid owns one and sets
// Grid, DataLink, RowHeight and RowAttrsOf; each PaintCells run sets the
// canvas, the rectangles of the first row, Row and LastRow, then
//   while (painter.NextRow()) { ...; painter.AdvanceRow(); }
class TgpPainter : public TfvPainter {
 public:
  TgpPainter() : TfvPainter(true) {}

  TDBGridPro* Grid = nullptr;
  TgpColumn* Column = nullptr;
  // The grid's data link; NextRow makes Row its active record.
  TDataLink* DataLink = nullptr;
  int Row = 0;
  int LastRow = -1;
  // The column's index among the grid's columns, taken at Prepare.
  int ColumnIndex = 0;
  TgpCellAttrs* CellAttrs = nullptr;
  TgpRowAttrs* RowAttrs = nullptr;
  // The grid's row height, by which AdvanceRow moves the rectangles.
  int RowHeight = 0;
  // The paint information's attributes of a row (nullptr when it has none).
  std::function<TgpRowAttrs*(int row)> RowAttrsOf;

  bool Prepare(const TvpPaintSource& source) override;
  // Starts the painting of Row; False once Row has passed LastRow.
  bool NextRow();
  // Row + 1, every rectangle moved down by RowHeight.
  void AdvanceRow();

 private:
  // Stands in for a row the paint information lacks, so that handlers never
  // read attributes of another row.
  TgpCellAttrs blank_attrs_;
};

// ---- The unit's process-wide objects -----------------------------------------------------

// Distances in pixels scaled to the screen height (rounding MulDiv).
struct TgpScreenTolerances {
  // Column-sizing hot zone: height × 8 ÷ 640.
  int SizingZone = 0;
  // The two drop tolerances of column dragging: height × 8 ÷ 640 and × 4 ÷ 640.
  int DropTolerance = 0;
  int DropToleranceSmall = 0;
};
TgpScreenTolerances ScaledTolerances(int screen_height);

// Made once at the unit's start-up, in this order, and freed in reverse.
struct TrsShared {
  // The painter shared by all edits of the process.
  std::unique_ptr<TfvPainter> EditPainter;
  // The attributes edits paint with.
  std::unique_ptr<TvpCellAttrs> EditAttrs;
  AnsiString Text;
  TgpScreenTolerances Tolerances;
  // The list the grid's customizer and drag code share.
  std::unique_ptr<TList> DragList;
};

// The unit's objects, made on first use from the primary screen's height
// (480 without a screen).
TrsShared& rsShared();
// Frees them; the next rsShared() makes them again.
void FreeRsShared();

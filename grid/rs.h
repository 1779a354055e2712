// The grid unit. It holds the cell painter, the objects visions draw
// through: the rectangles, canvas, colours and font of one grid cell or one
// edit, the text and images a vision chose, and the DefaultDraw switch with
// which event handlers take over; the cell and row attributes the painter
// reads; the columns and their layout engine; and the unit's process-wide
// objects made at start-up.
#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

#include "grid/rs_env.h"
#include "grid/rs_rtm.h"
#include "grid/rs_snap.h"
#include "toolkit/core/alignment.h"
#include "toolkit/core/classes.h"
#include "toolkit/gfx/graphics.h"
#include "toolkit/ui/customctrl.h"
#include "toolkit/ui/hintwnd.h"

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

// ---- Vision consumers --------------------------------------------------------------------
// A vision (grid/rs_std.h) shows and edits one field for any number of
// consumers: grid columns, the data-aware edit and the grid's in-place
// editor. Each consumer owns one TgpFieldList, which every vision operation
// and event receives, so one vision serves all of them without keeping state
// per consumer.

class TvpFieldVision;
class IvpVisionEdit;

// What a vision tells its consumers, in this order of methods. The consumer
// owns its field list and outlives it; the interface holds no references.
class IvpFieldVisionConsumer {
 public:
  // The component on whose free-notification list the vision is put (a
  // column answers its grid); may be nullptr.
  virtual TComponent* GetConsumerComponent() = 0;
  // The consumer's own permission to change the value (not read-only).
  virtual bool CanEditValue() = 0;
  // Asked by StartEdit before the data set is touched; False refuses.
  virtual bool CanStartEdit() = 0;
  // StartEdit succeeded.
  virtual void EditStarted() = 0;
  // A value was posted (the outermost value change ended with a change).
  virtual void ValuePosted() = 0;
  // The vision's caption or alignment changed; True when the consumer's
  // caption, alignment or layout changed (a ViewChanged follows then).
  virtual bool UpdateCaptionAlignment() = 0;
  virtual void PopupMenuChanged() = 0;
  // The field list took Vision (nullptr: the default vision).
  virtual void VisionChanged(TvpFieldVision* Vision) = 0;
  // The vision's related fields changed: resolve again.
  virtual void FieldsChanged() = 0;
  // The binding may have changed: recompute Active.
  virtual void UpdateActive() = 0;
  // Formats, image alignment or caption changed: repaint.
  virtual void ViewChanged() = 0;
  // The image list or image size changed: re-measure.
  virtual void ImagesChanged() = 0;
  virtual void ButtonChanged() = 0;
  virtual void EditStyleChanged() = 0;

 protected:
  ~IvpFieldVisionConsumer() = default;
};

// Which kind of consumer a field list serves.
enum TgpConsumerKind { ckColumn = 0, ckEdit = 1 };

// The bridge between one consumer, its data link and its vision: the
// consumer's field names resolved against a data set, and the consumer's
// resolved caption, alignment, layout and formats. Created and owned by the
// consumer; registers with the default vision on creation and leaves its
// vision on destruction.
class TgpFieldList {
 public:
  explicit TgpFieldList(IvpFieldVisionConsumer* Consumer, TgpConsumerKind Kind = ckColumn);
  ~TgpFieldList();
  TgpFieldList(const TgpFieldList&) = delete;
  TgpFieldList& operator=(const TgpFieldList&) = delete;

  IvpFieldVisionConsumer* Consumer() const { return consumer_; }
  TgpConsumerKind ConsumerKind() const { return kind_; }
  // The column served (a column's list, or an in-place editor's while it
  // edits a column); nullptr otherwise.
  TgpColumn* Column() const { return column_; }
  void SetColumn(TgpColumn* value) { column_ = value; }
  // The edit served (kind ckEdit); nullptr otherwise.
  IvpVisionEdit* Edit() const { return edit_; }
  void SetEdit(IvpVisionEdit* value) { edit_ = value; }

  // The data set the fields were last resolved against.
  TDataSet* DataSet() const { return data_set_; }
  // The consumer's data link (the grid's link for a column); not owned.
  TDataLink* DataLink() const { return data_link_; }
  void SetDataLink(TDataLink* value) { data_link_ = value; }
  // The consumer's field name list (";" between items, "," between
  // alternatives of an item).
  const AnsiString& FieldName() const { return field_name_; }
  void SetFieldName(const AnsiString& value) { field_name_ = value; }
  // The edit's attribute text.
  const AnsiString& Attrs() const { return attrs_; }
  void SetAttrs(const AnsiString& value) { attrs_ = value; }

  // The attached vision; never nullptr (the default vision when none is set).
  TvpFieldVision* Vision() const;
  // Leaves the old vision, takes Vision (nullptr: the default), puts it on
  // the consumer component's free-notification list, registers with it and
  // tells the consumer VisionChanged(Vision).
  void SetVision(TvpFieldVision* Vision);
  // Called by a vision that is being destroyed: a list still on it falls
  // back to the default vision.
  void VisionDestroyed(TvpFieldVision* Vision);

  // One entry per resolved name, nullptr where a name was not found; one
  // nullptr entry before the first resolution.
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField* Fields(int index) const;
  // Entry 0 (nullptr when none).
  TField* Field() const { return Fields(0); }
  // Resolves FieldName (and the vision's RelatedFields after it) against
  // DataSet: an active data set gives each item's first alternative it has.
  void ResolveFields(TDataSet* DataSet);

  // The consumer is bound and the vision's CanShow accepted the fields.
  bool Active() const { return active_; }
  void SetActive(bool value) { active_ = value; }
  // The edit changed the value since it was loaded or posted.
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  bool InStartEdit() const { return in_start_edit_; }

  // Whether the value may be edited: the vision's CanEdit and the consumer's
  // CanEditValue.
  bool CanEdit();
  // Puts the consumer into editing (see the vision's rules); True when the
  // value may now be changed. MarkModified sets Modified on success.
  bool StartEdit(bool MarkModified);
  // Value changes nest; the outermost end with Changed tells the consumer
  // ValuePosted.
  void BeginValueChange() { ++value_change_count_; }
  void EndValueChange(bool Changed);
  int ValueChangeCount() const { return value_change_count_; }

  // As resolved by the consumer.
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value) { alignment_ = value; }
  TLayout Layout() const { return layout_; }
  void SetLayout(TLayout value) { layout_ = value; }
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value) { caption_ = value; }
  // The consumer's own formats, which override a vision's formats.
  const AnsiString& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const AnsiString& value) { display_format_ = value; }
  const AnsiString& EditFormat() const { return edit_format_; }
  void SetEditFormat(const AnsiString& value) { edit_format_ = value; }

  // The vision-side half of what a painter is prepared from: this list, the
  // vision's images, image size and image side, the layout and the traits.
  // The grid or the edit fills in its own half.
  TvpPaintSource PaintSource() const;

 private:
  IvpFieldVisionConsumer* consumer_;
  TgpConsumerKind kind_;
  TgpColumn* column_ = nullptr;
  IvpVisionEdit* edit_ = nullptr;
  TDataSet* data_set_ = nullptr;
  TDataLink* data_link_ = nullptr;
  AnsiString field_name_;
  AnsiString attrs_;
  mutable TvpFieldVision* vision_ = nullptr;
  std::vector<TField*> fields_{nullptr};
  bool active_ = false;
  bool modified_ = false;
  bool in_start_edit_ = false;
  int value_change_count_ = 0;
  TAlignment alignment_ = taLeftJustify;
  TLayout layout_ = tlCenter;
  AnsiString caption_;
  AnsiString display_format_;
  AnsiString edit_format_;
};

// ---- Columns -----------------------------------------------------------------------------
//
// A grid's columns and the layout engine that turns them into groups side by
// side, each group one or more lines stacked vertically. A collection belongs
// to a grid (through IgpColumnsHost) or to nobody: a free-standing collection
// is a buffer for saving and loading column layouts, where every setter only
// stores its value.

struct TTypeInfo;
class TvpFieldVision;
class IvpFieldVisionConsumer;
class TPopupMenu;
class TgpColumns;

enum TgpColumnVisualOption { cvoForeColorFill, cvoNoCaption, cvoNoFooterMarker, cvoWordWrap, cvoOwnerDraw };
using TgpColumnVisualOptions = TSet<TgpColumnVisualOption>;
enum TgpColumnBehaviorOption {
  cboNoTitleStates,
  cboNoFooterStates,
  cboFixedWidth,
  cboStandalone,
  cboNoDragging,
  cboNoCustomizing,
  cboNoSelecting
};
using TgpColumnBehaviorOptions = TSet<TgpColumnBehaviorOption>;
enum TgpColumnMappingOption { cioImportCaption, cioImportDomain };
using TgpColumnMappingOptions = TSet<TgpColumnMappingOption>;
enum TgpColumnFixed { cfNone, cfLeft };
enum TgpColumnTitleState { tsSortedNone, tsSortedUp, tsSortedDown };
enum TgpColumnFooterState { fsAverage, fsCount, fsMax, fsMin, fsSum, fsNone };
using TgpColumnFooterStates = TSet<TgpColumnFooterState>;

// Reflection types of the column's published settings.
const TTypeInfo& TvpDefAlignmentType();
const TTypeInfo& TvpDefLayoutType();
const TTypeInfo& TgpColumnVisualOptionsType();
const TTypeInfo& TgpColumnBehaviorOptionsType();
const TTypeInfo& TgpColumnMappingOptionsType();
const TTypeInfo& TgpColumnFixedType();
const TTypeInfo& TgpColumnTitleStateType();
const TTypeInfo& TgpColumnFooterStateType();
const TTypeInfo& TgpColumnFooterStatesType();

// What TgpColumn::AssignMasked copies, bit by bit (0 copies everything, as Assign).
inline constexpr unsigned cpmSize = 0x01;       // Width, LayoutLevel, LayoutIndex, line and position
inline constexpr unsigned cpmVisible = 0x02;    // Visible
inline constexpr unsigned cpmStates = 0x04;     // TitleState, SortOrder, FooterState
inline constexpr unsigned cpmView = 0x08;       // OptionsVisual, Color, Alignment, Font
inline constexpr unsigned cpmNothing = 0x10;    // copies nothing
inline constexpr unsigned cpmFieldName = 0x20;  // FieldName
inline constexpr unsigned cpmVision = 0x40;     // Vision
inline constexpr unsigned cpmBehavior = 0x80;   // OptionsBehavior
// The mask of the saved column layouts: size, states, view and field name.
inline constexpr unsigned cpmLayoutStore = cpmSize | cpmStates | cpmView | cpmFieldName;

// The designer's line and band values and the grid's band geometry, as the
// column rectangles and the layout read them.
struct TgpColumnMetrics {
  int VLineWidth = 0;
  int HLineWidth = 0;
  int TitleTop = 0;
  int TitleBottom = 0;
  int FooterTop = 0;
  int FooterBottom = 0;
  int TitleBand = 0;
  int FooterBand = 0;
  int RowHeight = 0;
  int DataBottom = 0;
  int FreeSpace = 0;
};

// What a column collection needs of the grid that owns it; TDBGridPro
// implements it and hands itself to its TgpColumns. Every call is made only
// for a collection that has a grid.
class IgpColumnsHost {
 public:
  virtual ~IgpColumnsHost() = default;
  // The grid itself, and as the component visions free-notify.
  virtual TDBGridPro* HostGrid() = 0;
  virtual TComponent* HostComponent() = 0;
  // The grid is reading its form description.
  virtual bool HostLoading() const = 0;
  virtual TgpColumnMetrics HostMetrics() const = 0;
  // Relayout: groups, widths, selectable columns, current column, refit, metrics, repaint.
  virtual void LayoutChanged() = 0;
  virtual void FreezeGrid() = 0;
  virtual void UnfreezeGrid(bool Repaint) = 0;
  virtual void UpdateHScrollBar(bool Force) = 0;
  virtual void InvalidateColumn(int Index) = 0;
  virtual void InvalidateTitles() = 0;
  virtual void InvalidateAll() = 0;
  // True when the band or row heights changed.
  virtual bool RecalcMetrics() = 0;
  virtual int CurrentColumnIndex() const = 0;
  virtual void SelectColumn(int Index) = 0;
  // The counter that numbers sorted columns in the order they were sorted.
  virtual int SortCounter() const = 0;
  virtual void SetSortCounter(int Value) = 0;
  virtual void DoTitleStateChange(TgpColumn* Column) = 0;
  // Rows of the grid's window (each column keeps cell attributes per row).
  virtual int RowCount() const = 0;
  // Text height of the title font (the grid's font, the designer's title
  // font laid over it, bold and underline added).
  virtual int TitleTextHeight() = 0;
  // Height of the grid's TitleImages; 0 without them.
  virtual int TitleImageHeight() const = 0;
  virtual bool LinkActive() const = 0;
  virtual TDataSet* HostDataSet() const = 0;
  virtual TDataLink* HostDataLink() = 0;
  virtual bool HostReadOnly() const = 0;
  virtual AnsiString HostAttrs() const = 0;
  virtual TLayout HostVertAlignment() const = 0;
  // The grid's BeforeFieldEdit (DoEdit preset True).
  virtual bool DoBeforeFieldEdit(TgpColumn* Column) = 0;
  // A value of Column was posted outside the in-place editor.
  virtual void ColumnValuePosted(TgpColumn* Column) = 0;
  virtual bool CanUseCurrentRecord(bool Strict) = 0;
  virtual bool ShowEditor(TgpColumn* Column) = 0;
  // Column is being destroyed: whatever refers to it lets go.
  virtual void ColumnGoing(TgpColumn* Column) { (void)Column; }
  // The field mapper: whether the grid has one, and its entry for a field list.
  virtual bool HasMapper() const { return false; }
  virtual bool MapperEntry(TgpFieldList* Fields, TvpFieldVision*& Vision, AnsiString& Caption) {
    (void)Fields;
    Vision = nullptr;
    Caption.clear();
    return false;
  }
};

// One group of columns as the layout engine computed it.
class TgpGroupInfo {
 public:
  // Number among the groups that show a column, from 0.
  int Index = 0;
  // Number among all groups, counting those without a visible column.
  int AbsoluteIndex = 0;
  // Collection indexes of the group's first and last column (hidden ones included).
  int FirstColumn = -1;
  int LastColumn = -1;
  // Indexes of visible columns; -1 when absent.
  int FirstVisible = -1;
  int SecondVisible = -1;
  int LastVisible = -1;
  int LineCount = 0;
  // FirstColumn = LastColumn.
  bool Single = false;
  // Width of the widest line; 2 x the most visible columns in one line.
  int Width = 0;
  int MinWidth = 0;
  // The designer's vertical line width; TotalWidth = Width + LineWidth.
  int LineWidth = 0;
  int TotalWidth = 0;
  // x in the unscrolled layout.
  int Left = 0;
  // Fixed of its first column.
  TgpColumnFixed Fixed = cfNone;
  // Some visible column has cboFixedWidth, cboStandalone.
  bool FixedWidth = false;
  bool Standalone = false;
  // Shown in the window, and its x there.
  bool InView = false;
  int ScreenX = 0;

  // Column indexes -1, counts and widths 0, flags False.
  void Reset();
};

// One TgpCellAttrs per row of the grid's window, owned.
class TgpCellAttrsList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TgpCellAttrs* Items(int index) const { return items_[static_cast<size_t>(index)].get(); }
  // Adds attributes at the end, or frees them from the front, until there are n.
  void Resize(int n);
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TgpCellAttrs>> items_;
};

// Colours, style and face of a column's footer; clNone and empty are unset.
class TgpFooterAttrs : public TPersistent {
  KIV7_PERSISTENT(TgpFooterAttrs)

 public:
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TColor FontColor() const { return font_color_; }
  void SetFontColor(TColor value);
  TFontStyles FontStyle() const { return font_style_; }
  void SetFontStyle(TFontStyles value);
  const AnsiString& FontName() const { return font_name_; }
  void SetFontName(const AnsiString& value);
  // All four unset.
  void Reset();
  // Takes another TgpFooterAttrs's four values.
  void Assign(const TPersistent* source) override;
  // Runs after every change (the column repaints).
  std::function<void()> OnChange;

 private:
  void Changed();
  TColor color_ = clNone;
  TColor font_color_ = clNone;
  TFontStyles font_style_;
  AnsiString font_name_;
};

// One column of a grid: the field it shows and through which vision, its
// title and footer, colours and font, width and place in the layout.
class TgpColumn : public TCollectionItem {
  KIV7_PERSISTENT(TgpColumn)

 public:
  explicit TgpColumn(TCollection* collection);
  ~TgpColumn() override;

  // ---- published settings (setters ignore the current value)
  const AnsiString& FieldName() const { return field_name_; }
  void SetFieldName(const AnsiString& value);
  // The attached vision; nullptr means the default one.
  TvpFieldVision* Vision() const { return vision_; }
  void SetVision(TvpFieldVision* value);
  TgpColumnVisualOptions OptionsVisual() const { return options_visual_; }
  void SetOptionsVisual(TgpColumnVisualOptions value);
  TgpColumnBehaviorOptions OptionsBehavior() const { return options_behavior_; }
  void SetOptionsBehavior(TgpColumnBehaviorOptions value);
  TgpColumnMappingOptions OptionsMapping() const { return options_mapping_; }
  void SetOptionsMapping(TgpColumnMappingOptions value);
  TgpColumnFixed Fixed() const { return fixed_; }
  void SetFixed(TgpColumnFixed value);
  const AnsiString& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const AnsiString& value);
  const AnsiString& EditFormat() const { return edit_format_; }
  void SetEditFormat(const AnsiString& value);
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value);
  TvpDefAlignment CaptionAlignment() const { return caption_alignment_; }
  void SetCaptionAlignment(TvpDefAlignment value);
  // Made (empty, transparent) on first read.
  TBitmap* TitleGlyph();
  // The glyph when it exists.
  TBitmap* TitleGlyphIfAny() const { return title_glyph_.get(); }
  // Copies the bitmap; nullptr frees the glyph. Either way TitleImageIndex -1.
  void SetTitleGlyph(const TBitmap* value);
  int TitleImageIndex() const { return title_image_index_; }
  void SetTitleImageIndex(int value);
  TgpColumnTitleState TitleState() const { return title_state_; }
  void SetTitleState(TgpColumnTitleState value);
  const AnsiString& FooterText() const { return footer_text_; }
  void SetFooterText(const AnsiString& value);
  TvpDefAlignment FooterTextAlignment() const { return footer_text_alignment_; }
  void SetFooterTextAlignment(TvpDefAlignment value);
  TgpColumnFooterState FooterState() const { return footer_state_; }
  // Clears FooterText.
  void SetFooterState(TgpColumnFooterState value);
  TgpColumnFooterStates FooterStates() const { return footer_states_; }
  void SetFooterStates(TgpColumnFooterStates value);
  // A number for the program's own use.
  int Tag() const { return tag_; }
  void SetTag(int value) { tag_ = value; }
  int Width() const { return width_; }
  // Values below 2 become 2; in a grid the line or the group absorbs the change.
  void SetWidth(int value);
  int LayoutLevel() const { return layout_level_; }
  void SetLayoutLevel(int value);
  int LayoutIndex() const { return layout_index_; }
  void SetLayoutIndex(int value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TvpDefAlignment Alignment() const { return alignment_; }
  void SetAlignment(TvpDefAlignment value);
  TvpDefLayout VertAlignment() const { return vert_alignment_; }
  void SetVertAlignment(TvpDefLayout value);
  // Made on first read; its changes remeasure the grid.
  TChildFont* Font();
  TChildFont* FontIfAny() const { return font_.get(); }
  // Copies the font; nullptr frees it.
  void SetFont(const TChildFont* value);
  TPopupMenu* PopupMenu() const { return popup_menu_; }
  void SetPopupMenu(TPopupMenu* value) { popup_menu_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value);

  // ---- state
  // The order in which sorted columns were sorted; -1 when not sorted.
  int SortOrder() const { return sort_order_; }
  // Stores only (the grid renumbers after loading).
  void SetSortOrder(int value) { sort_order_ = value; }
  TgpFieldList* FieldList() const { return field_list_.get(); }
  // The field list's vision (the default vision when none is attached).
  TvpFieldVision* EffectiveVision() const;
  // The first resolved field; nullptr when none.
  TField* Field() const { return field_; }
  // The column's group; nullptr when the group shows no column.
  TgpGroupInfo* Group() const { return group_; }
  // Line in the group and position in the line; -1 when hidden.
  int LineNo() const { return line_no_; }
  int LinePos() const { return line_pos_; }
  bool LastInLine() const { return last_in_line_; }
  bool InLastLine() const { return in_last_line_; }
  // x inside its line; -1 when hidden.
  int LineOffset() const { return line_offset_; }
  TgpColumn* PrevVisible() const { return prev_visible_; }
  TgpColumn* NextVisible() const { return next_visible_; }
  // Per-line heights of the column's group, set by the grid's metrics.
  int TitleLineHeight() const { return title_line_height_; }
  int CellLineHeight() const { return cell_line_height_; }
  int FooterLineHeight() const { return footer_line_height_; }
  void SetLineHeights(int title, int cell, int footer);
  TgpCellAttrsList& CellAttrs() { return cell_attrs_; }
  TgpFooterAttrs& FooterAttrs() { return *footer_attrs_; }
  // Values are being copied (no repaints).
  bool Assigning() const { return assigning_; }
  // Values are coming from the mapper.
  bool Importing() const { return importing_; }

  TgpColumns* Columns() const;
  // The grid of the column's collection; nullptr for a free-standing one.
  TDBGridPro* Grid() const;
  IgpColumnsHost* Host() const;
  // The column as the consumer of its field list.
  IvpFieldVisionConsumer* Consumer() const;

  // ---- operations
  // Resolves the fields in the grid's data set, then active state, caption and repaint.
  void Rebind();
  // Field list Active := a grid with an active link whose vision can show the fields.
  void UpdateActive();
  void RepaintColumn();
  void Remeasure();
  // Caption text, alignment and layout into the field list; True when any changed.
  bool UpdateCaptionAlignment();
  void ImportFromMapper();
  bool IsSelectable() const { return visible_ && !options_behavior_.Contains(cboNoSelecting); }
  int TitleHeightNeeded(int Lines, int Margins);
  TRect TitleRect(bool Extended) const;
  TRect CellRect(int Row, bool Extended, bool Inclusive) const;
  TRect FooterRect(bool Absolute, bool Extended) const;
  bool StartCellEdit();
  // The footer as the painter shows it: the state's marker, "=" and FooterText.
  AnsiString FooterDisplayText() const;
  // Sets the state as a title click does: optionally every other column to
  // tsSortedNone first, then OnTitleStateChange when Notify.
  void ChangeTitleState(TgpColumnTitleState State, bool ResetOthers, bool Notify);

  void Assign(const TPersistent* source) override;
  // Copies what Mask names (cpm* bits); 0 is Assign.
  void AssignMasked(const TgpColumn* Source, unsigned Mask);
  // A move in the collection moves the column's whole group.
  void SetIndex(int index) override;
  // "SortOrder", written when it is not -1.
  void DefineProperties(TFiler& filer) override;

 private:
  friend class TgpColumns;
  class Consumer_;
  bool Gridless() const;
  bool Loading() const;
  // Stores the position, or in a laid-out grid moves the column there.
  void SetLayoutPosition(int level, int index);
  void ReadSortOrder(int value);
  void EndAssign();

  AnsiString field_name_;
  TvpFieldVision* vision_ = nullptr;
  TgpColumnVisualOptions options_visual_;
  TgpColumnBehaviorOptions options_behavior_;
  TgpColumnMappingOptions options_mapping_{cioImportCaption, cioImportDomain};
  TgpColumnFixed fixed_ = cfNone;
  AnsiString display_format_;
  AnsiString edit_format_;
  AnsiString caption_;
  TvpDefAlignment caption_alignment_ = talDefault;
  std::unique_ptr<TBitmap> title_glyph_;
  int title_image_index_ = -1;
  TgpColumnTitleState title_state_ = tsSortedNone;
  AnsiString footer_text_;
  TvpDefAlignment footer_text_alignment_ = talDefault;
  TgpColumnFooterState footer_state_ = fsNone;
  TgpColumnFooterStates footer_states_{fsAverage, fsCount, fsMax, fsMin, fsSum, fsNone};
  int tag_ = 0;
  int width_ = 45;
  int layout_level_ = 0;
  int layout_index_ = 0;
  bool read_only_ = false;
  TColor color_ = clNone;
  TvpDefAlignment alignment_ = talDefault;
  TvpDefLayout vert_alignment_ = tlaDefault;
  std::unique_ptr<TChildFont> font_;
  TPopupMenu* popup_menu_ = nullptr;
  bool visible_ = true;

  int sort_order_ = -1;
  std::unique_ptr<Consumer_> consumer_;
  std::unique_ptr<TgpFieldList> field_list_;
  TField* field_ = nullptr;
  TgpGroupInfo* group_ = nullptr;
  int line_no_ = 0;
  int line_pos_ = 0;
  bool last_in_line_ = false;
  bool in_last_line_ = false;
  int line_offset_ = 0;
  TgpColumn* prev_visible_ = nullptr;
  TgpColumn* next_visible_ = nullptr;
  int title_line_height_ = 0;
  int cell_line_height_ = 0;
  int footer_line_height_ = 0;
  TgpCellAttrsList cell_attrs_;
  std::unique_ptr<TgpFooterAttrs> footer_attrs_;
  bool assigning_ = false;
  bool importing_ = false;
};

// Items of the proportional scaler: a size within [Min, Max]; Clamped once a
// size had to be cut to a limit.
struct TScaleableItem {
  int Size = 0;
  int Min = 0;
  int Max = 0;
  bool Clamped = false;
};

// Spreads a change of total size over items in proportion to their sizes,
// within each item's limits. Owns its items.
class TScaleableItems : public TList {
 public:
  ~TScaleableItems() override;
  // A fixed item gets Min = Max = Size.
  TScaleableItem* Add(int Size, bool Fixed, int Min, int Max);
  TScaleableItem* Item(int index) const { return static_cast<TScaleableItem*>(Items(index)); }
  // True when Min <= Value <= Max; otherwise the item is marked Clamped and
  // the value clamped. The item takes the (clamped) value either way.
  static bool SetItemSize(TScaleableItem* Item, int Value);
  // Index -1: the whole set scaled to the total Value. Otherwise the item at
  // Index takes Value and the others absorb the difference, those after it
  // first; what nobody can take stays with the item.
  void Scale(int Value, int Index);

 protected:
  void Notify(void* item, TListNotification action) override;
};

// The columns of a grid, and the layout engine.
class TgpColumns : public TCollection {
  KIV7_PERSISTENT(TgpColumns)

 public:
  // Host may be nullptr: a free-standing collection.
  explicit TgpColumns(IgpColumnsHost* Host);
  ~TgpColumns() override;

  IgpColumnsHost* Host() const { return host_; }
  TDBGridPro* Grid() const;
  TgpColumn* Items(int index) const { return static_cast<TgpColumn*>(TCollection::Items(index)); }
  TgpColumn* GetColumn(int index) const { return Items(index); }
  TgpColumn* Add() { return static_cast<TgpColumn*>(TCollection::Add()); }
  // The first column whose FieldName equals Name without case; nullptr when none.
  TgpColumn* ColumnByFieldName(const AnsiString& Name) const;
  int IndexOf(const TgpColumn* Column) const;

  // From another TgpColumns: clear, then one copy per source column.
  void Assign(const TPersistent* source) override;
  // ByPosition: clear, then one copy per source column under Mask. Otherwise
  // each source column goes to the destination column of its field name: the
  // n-th source column of a name to the n-th destination column of that name.
  void AssignColumns(const TgpColumns* Source, bool ByPosition, unsigned Mask);
  void BeginUpdate() override;
  void EndUpdate() override;
  bool Updating() const { return updating_; }
  // 0 none, 1 move column, 2 make group, 3 apply fixed, 4 add column, 5 move group.
  int OperationCode() const { return operation_code_; }

  bool AutoColumnFit() const { return auto_column_fit_; }
  void SetAutoColumnFit(bool value) { auto_column_fit_ = value; }
  int AvailableWidth() const { return available_width_; }
  void SetAvailableWidth(int value) { available_width_ = value; }

  // ---- the computed layout
  int GroupCount() const { return static_cast<int>(groups_.size()); }
  TgpGroupInfo* Groups(int index) const { return groups_[static_cast<size_t>(index)].get(); }
  int TotalWidth() const { return total_width_; }
  int FixedWidth() const { return fixed_width_; }
  int LastFixedGroup() const { return last_fixed_group_; }
  int FirstScrollGroup() const { return first_scroll_group_; }
  int LastScrollGroup() const { return last_scroll_group_; }
  bool HasGroups() const { return !groups_.empty(); }
  bool HasFixed() const { return last_fixed_group_ != -1; }
  bool HasScroll() const { return last_scroll_group_ != -1; }
  int FirstVisibleGroup() const { return first_visible_group_; }
  int LastVisibleGroup() const { return last_visible_group_; }
  int ScrollPositions() const { return scroll_positions_; }
  // Shows the scrollable groups from that one on (clamped into the window's range).
  void SetFirstVisibleGroup(int value);

  // Visible columns sorted up or down, in SortOrder order.
  int SortedCount() const;
  TgpColumn* SortedColumns(int index) const;
  void RebuildSelectable();
  int SelectableCount() const { return static_cast<int>(selectable_.size()); }
  TgpColumn* Selectable(int index) const { return selectable_[static_cast<size_t>(index)]; }
  bool HasSelectable() const { return !selectable_.empty(); }
  // The first selectable column at or after the grid's current column, else
  // the last one before it; -1 when none.
  int NearestSelectable() const;

  // ---- layout operations
  // True when a group scrolls.
  bool RecomputeGroups();
  void RecomputeWidths();
  // W 0 means the group's width + Delta.
  void ResizeGroup(TgpGroupInfo* Group, int W, int Delta = 0);
  void SetGroupWidth(TgpGroupInfo* Group, int W);
  void ResizeLine(TgpGroupInfo* Group, int Line, int Delta, bool AdjustGroup, int Absolute, TgpColumn* ItemColumn);
  // The group's FixedWidth and Standalone from its visible columns.
  void UpdateGroupFlags(TgpGroupInfo* Group);
  void ApplyFixed();
  void FitToWidth(bool Fixed, bool Scrollable);
  void Refit();
  void UpdateScrollWindow(bool KeepCurrent, bool Recount);
  void CountScrollPositions();
  // Raises EDBGridPro "Invalid layout position (%d,%d)" for Level < 0 or Index < -1.
  void MoveColumn(TgpColumn* Column, TgpGroupInfo* Group, int Level, int Index);
  // The column as a group of its own before Before (nullptr: at the end).
  void MakeGroup(TgpColumn* Column, TgpGroupInfo* Before);
  void MoveGroup(TgpGroupInfo* Group, TgpGroupInfo* Before);
  void RenumberGroup(TgpGroupInfo* Group);
  TgpColumn* AddColumn(TgpGroupInfo* Group, int Level, TgpColumn* Source, int Index);
  int LineOf(const TgpColumn* Column) const;
  bool IsAloneInLine(const TgpColumn* Column) const;
  bool IsGroupFullyVisible(const TgpColumn* Column) const;
  bool SameGroup(const TgpColumn* A, const TgpColumn* B) const;
  // First and last column index with that LineNo and their number (0: none).
  int LineRange(const TgpGroupInfo* Group, int Line, int& First, int& Last) const;
  // The grid's Attrs into every column's field list.
  void ApplyAttrs();
  // Columns drop a destroyed popup menu or vision.
  void ComponentRemoved(TComponent* Component);
  // The index to move an item to so that it lands before (Before) or after
  // the item now at Target.
  static int DestIndex(int Current, int Target, int Count, bool Before);

 protected:
  void Update(TCollectionItem* item) override;

 private:
  friend class TgpColumn;
  class Operation;
  void MoveItem(TgpColumn* Column, int NewIndex);
  // A hidden column made visible with groups and widths recomputed.
  void ShowHidden(TgpColumn* Column);
  // The group that now holds the column that was Group's first; nullptr for none.
  TgpGroupInfo* GroupOfColumn(int ColumnIndex) const;
  bool GroupStart(int index) const;
  int GroupEnd(int first) const;

  IgpColumnsHost* host_;
  bool updating_ = false;
  int operation_code_ = 0;
  bool auto_column_fit_ = false;
  int available_width_ = 0;
  std::vector<std::unique_ptr<TgpGroupInfo>> groups_;
  int total_width_ = 0;
  int fixed_width_ = 0;
  int last_fixed_group_ = -1;
  int first_scroll_group_ = 0;
  int last_scroll_group_ = -1;
  int first_visible_group_ = -1;
  int last_visible_group_ = -1;
  int scroll_positions_ = 0;
  int line_width_ = 0;
  std::vector<TgpColumn*> selectable_;
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

// ---- Column customizer protocol ----------------------------------------------------------
// The floating column customizer and the grid it customizes talk through the
// private message 0x5F6, whose first parameter is one of these codes.
class TrsGridProCustomizer;

inline constexpr unsigned kMsgCustomizer = 0x5F6;

enum TgpCustomizerAction {
  gcaStart = 0,
  gcaFinish = 1,
  gcaBeforeAddColumn = 2,
  gcaAddColumn = 3,
  gcaRemoveColumn = 4,
  gcaShowColumn = 5,
  gcaHideColumn = 6,
  gcaGetSel = 7,
  gcaDragDrop = 8
};

using TgpCustomizerActionEvent = std::function<void(TDBGridPro* Sender, TgpCustomizerAction Action, TgpColumn* Column)>;

// The customizer windows open now, process-wide, in the order they started.
const std::vector<TrsGridProCustomizer*>& OpenCustomizers();

// ---- Grid ---------------------------------------------------------------------------------
// The data-aware grid: a window of rows over a data set's buffer, drawn
// group by group through an exchangeable designer. It reads the data set
// only through its own data link; columns and their layout come from
// TgpColumns, record identity and the multi-selection from TgpSelection.

class TgpColumns;
class TgpGroupInfo;
class TgpDesigner;
class TgpPaintInfo;
class TvpCustomFieldMapper;
class TgpInplaceEdit;
class TgpDragger;
class TChangeLink;

// The look of a designer's focus frame.
enum TgpFocusRectKind { frcNone, frcCell, frcRow, frcPersistentRow, frcPersistentCell };

// Four non-negative margins of a title, cell or footer box.
class TgpCellMargins : public TPersistent {
  KIV7_PERSISTENT(TgpCellMargins)

 public:
  TgpCellMargins() = default;
  // Each is 2 by default; a negative value raises "Value can not be
  // negative (%d)" and the margin keeps its old value.
  int LeftMargin() const { return left_; }
  int TopMargin() const { return top_; }
  int RightMargin() const { return right_; }
  int BottomMargin() const { return bottom_; }
  void SetLeftMargin(int value) { Set(left_, value); }
  void SetTopMargin(int value) { Set(top_, value); }
  void SetRightMargin(int value) { Set(right_, value); }
  void SetBottomMargin(int value) { Set(bottom_, value); }
  void Assign(const TPersistent* source) override;
  // Runs after a margin changed.
  std::function<void(TgpCellMargins* Sender)> OnChange;

 private:
  void Set(int& field, int value);
  int left_ = 2, top_ = 2, right_ = 2, bottom_ = 2;
};

// What a grid paints in one pass: the parts, the groups and the rows in the
// clip, and one attribute record per row of the grid's window.
class TgpPaintInfo {
 public:
  explicit TgpPaintInfo(TDBGridPro* grid) : grid_(grid) {}
  TgpPaintInfo(const TgpPaintInfo&) = delete;
  TgpPaintInfo& operator=(const TgpPaintInfo&) = delete;

  // Bits of Parts.
  static constexpr int kTitles = 2, kRows = 4, kFooters = 8;

  TCanvas* Canvas = nullptr;
  TRect ClipRect;
  TColor Background = clWindow;
  int FirstGroup = 0;
  int LastGroup = -1;
  int FirstRow = -1;
  int LastRow = -1;
  int Parts = 0;
  // Paint through a bitmap of the clip's size, copied once.
  bool OffScreen = false;

  TDBGridPro* Grid() const { return grid_; }
  // Row attributes kept at n: new ones appended, surplus freed from the
  // front; every column's cell attributes follow and are linked to them.
  void Resize(int n);
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // The attributes of window row i; nullptr outside the window.
  TgpRowAttrs* Rows(int i) const;

 private:
  TDBGridPro* grid_;
  std::vector<std::unique_ptr<TgpRowAttrs>> rows_;
};

// Paints grids. Several grids may share one; each grid registers with the
// designer it paints through. The settings below belong to every designer;
// the designer classes publish them.
class TgpDesigner : public TComponent {
  KIV7_PERSISTENT(TgpDesigner)

 public:
  explicit TgpDesigner(TComponent* owner);
  ~TgpDesigner() override;
  void BeforeDestruction() override;

  // Base: fills the clip with the paint information's background.
  virtual void Paint(TDBGridPro* Grid, TgpPaintInfo* PaintInfo);

  // The designer's own line widths and band margins (per class).
  virtual int VLineWidth() const { return 0; }
  virtual int HLineWidth() const { return 0; }
  virtual void TitlePair(int& Top, int& Bottom) const;
  virtual void FooterPair(int& Top, int& Bottom) const;
  // Copies every setting from a designer of the same class. Base: the shared settings.
  virtual void CopySettings(const TgpDesigner* Source);

  // Stores the five metrics and relays out every registered grid.
  void UpdateMetrics();
  int VertLineWidth() const { return vline_; }
  int HorzLineWidth() const { return hline_; }
  int TitleTop() const { return title_top_; }
  int TitleBottom() const { return title_bottom_; }
  int FooterTop() const { return footer_top_; }
  int FooterBottom() const { return footer_bottom_; }

  void RegisterGrid(TDBGridPro* Grid);
  void UnregisterGrid(TDBGridPro* Grid);
  int GridCount() const { return static_cast<int>(grids_.size()); }
  TDBGridPro* Grids(int i) const { return grids_.at(static_cast<size_t>(i)); }

  // Change propagation over the registered grids; nothing while loading or assigning.
  void RepaintTitles();
  void RepaintFooters();
  void RepaintCurrentRows();
  void RepaintAll();
  void RelayoutAll();
  void RemeasureAll();

  // From a designer of exactly this class: CopySettings, then RelayoutAll.
  void Assign(const TPersistent* Source) override;

  // Whether a pressed title's text moves by one pixel.
  bool PressedOffset() const { return pressed_offset_; }
  void SetPressedOffset(bool value) { pressed_offset_ = value; }
  // Whether a one-row scroll may move the painted rows instead of repainting them.
  bool ScrollByBlit() const { return scroll_by_blit_; }
  void SetScrollByBlit(bool value) { scroll_by_blit_ = value; }

  // The title, cell and footer text of each grid through each column are
  // drawn in the grid's font with these laid over it.
  void PaintGroupTitles(TDBGridPro* Grid, TCanvas* Canvas, int OffsetX, int OffsetY, TgpGroupInfo* Group);
  void PaintGroupCells(TDBGridPro* Grid, TCanvas* Canvas, int OffsetX, int OffsetY, int FirstRow, int LastRow,
                       TgpGroupInfo* Group);
  void PaintGroupFooters(TDBGridPro* Grid, TCanvas* Canvas, int OffsetX, int OffsetY, TgpGroupInfo* Group);

  // ---- Settings
  TColor TitleColor() const { return title_color_; }
  void SetTitleColor(TColor value);
  TColor FooterColor() const { return footer_color_; }
  void SetFooterColor(TColor value);
  TColor FixedColor() const { return fixed_color_; }
  void SetFixedColor(TColor value);
  TgpFocusRectKind FocusRectKind() const { return focus_rect_kind_; }
  void SetFocusRectKind(TgpFocusRectKind value);
  // Made on first read; nullptr assigned frees the font.
  TChildFont* TitleFont();
  TChildFont* CellFont();
  TChildFont* FooterFont();
  // The fonts as they are (nullptr when never made).
  const TChildFont* TitleFontIfAny() const { return title_font_.get(); }
  const TChildFont* CellFontIfAny() const { return cell_font_.get(); }
  const TChildFont* FooterFontIfAny() const { return footer_font_.get(); }
  void SetTitleFont(const TChildFont* value);
  void SetCellFont(const TChildFont* value);
  void SetFooterFont(const TChildFont* value);
  TgpCellMargins* TitleMargins() { return &title_margins_; }
  TgpCellMargins* CellMargins() { return &cell_margins_; }
  TgpCellMargins* FooterMargins() { return &footer_margins_; }
  const TgpCellMargins& TitleMarginsRef() const { return title_margins_; }
  const TgpCellMargins& CellMarginsRef() const { return cell_margins_; }
  const TgpCellMargins& FooterMarginsRef() const { return footer_margins_; }
  TColor SelectedCell() const { return selected_cell_; }
  void SetSelectedCell(TColor value);
  TColor SelectedRow() const { return selected_row_; }
  void SetSelectedRow(TColor value);
  TColor SelectedCellText() const { return selected_cell_text_; }
  void SetSelectedCellText(TColor value);
  TColor SelectedRowText() const { return selected_row_text_; }
  void SetSelectedRowText(TColor value);
  TColor HiddenSelection() const { return hidden_selection_; }
  void SetHiddenSelection(TColor value);
  bool SelectedCellFill() const { return selected_cell_fill_; }
  void SetSelectedCellFill(bool value);
  bool SelectedRowFill() const { return selected_row_fill_; }
  void SetSelectedRowFill(bool value);
  bool UltraSoftSelectedCell() const { return ultra_soft_cell_; }
  void SetUltraSoftSelectedCell(bool value);
  bool UltraSoftSelectedRow() const { return ultra_soft_row_; }
  void SetUltraSoftSelectedRow(bool value);
  TColor VertLines() const { return vert_lines_; }
  void SetVertLines(TColor value);
  TColor HorizLines() const { return horiz_lines_; }
  void SetHorizLines(TColor value);
  TColor CellSeparator() const { return cell_separator_; }
  void SetCellSeparator(TColor value);
  TColor RowSeparator() const { return row_separator_; }
  void SetRowSeparator(TColor value);
  TColor FooterSurfaceColor() const { return footer_surface_color_; }
  void SetFooterSurfaceColor(TColor value);
  TColor FooterLines() const { return footer_lines_; }
  void SetFooterLines(TColor value);
  bool FlatFooter() const { return flat_footer_; }
  void SetFlatFooter(bool value);

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  bool Quiet() const;
  // The designer is being assigned: no repaints.
  bool assigning_ = false;

 private:
  void FontChanged();
  void SetFont(std::unique_ptr<TChildFont>& font, TChildFont* (TgpDesigner::*make)(), const TChildFont* value);
  void SetColorSetting(TColor& field, TColor value, void (TgpDesigner::*react)());
  void SetBoolSetting(bool& field, bool value, void (TgpDesigner::*react)());

  std::vector<TDBGridPro*> grids_;
  bool pressed_offset_ = true;
  bool scroll_by_blit_ = false;
  int vline_ = 0, hline_ = 0, title_top_ = 0, title_bottom_ = 0, footer_top_ = 0, footer_bottom_ = 0;

  TColor title_color_ = clBtnFace;
  TColor footer_color_ = clBtnFace;
  TColor fixed_color_ = clBtnFace;
  TgpFocusRectKind focus_rect_kind_ = frcCell;
  std::unique_ptr<TChildFont> title_font_, cell_font_, footer_font_;
  TgpCellMargins title_margins_, cell_margins_, footer_margins_;
  TColor selected_cell_ = clHighlight;
  TColor selected_row_ = clHighlight;
  TColor selected_cell_text_ = clHighlightText;
  TColor selected_row_text_ = clHighlightText;
  TColor hidden_selection_ = clBtnFace;
  bool selected_cell_fill_ = true;
  bool selected_row_fill_ = false;
  bool ultra_soft_cell_ = false;
  bool ultra_soft_row_ = false;
  TColor vert_lines_ = clBlack;
  TColor horiz_lines_ = clBlack;
  TColor cell_separator_ = clBlack;
  TColor row_separator_ = clNone;
  TColor footer_surface_color_ = clBtnFace;
  TColor footer_lines_ = clGray;
  bool flat_footer_ = false;
};

// The designer that paints bands, rows, separators and footers in the
// shared way the concrete designers refine.
class TgpBaseDesigner : public TgpDesigner {
  KIV7_PERSISTENT(TgpBaseDesigner)

 public:
  using TgpDesigner::TgpDesigner;
  void FooterPair(int& Top, int& Bottom) const override;

  void Paint(TDBGridPro* Grid, TgpPaintInfo* PaintInfo) override;
  virtual void PaintTitleBackground();
  virtual void PaintRows();
  virtual void PaintFooterSurface();
  virtual void PaintTitleFrames(TgpGroupInfo* Group, int X, int OffsetX);
  virtual void PaintFooterCells(TgpGroupInfo* Group, int X, int OffsetX);
  // Lines between the columns of a group inside one band (1 titles, 2 the
  // cells of Row, 3 footers).
  void DrawSeparators(TgpGroupInfo* Group, int Band, TColor Colour, int Row);

 protected:
  // What the running Paint works on.
  TDBGridPro* grid_ = nullptr;
  TgpPaintInfo* info_ = nullptr;
  TCanvas* canvas_ = nullptr;
  int offset_x_ = 0, offset_y_ = 0;
  int width_ = 0, title_h_ = 0, rows_h_ = 0, foot_top_ = 0, foot_h_ = 0;

 private:
  // The off-screen picture, kept from paint to paint at the largest size
  // asked for: a screen-sized one is costly to make and to clear each time.
  std::unique_ptr<TBitmap> offscreen_;
};

// The visual, behaviour, edit and pick-up options of a grid.
enum TgpGridVisualOption { gvoNoEndEllipsis };
using TgpGridVisualOptions = TSet<TgpGridVisualOption>;
enum TgpGridBehaviorOption {
  gboNoColumnSizing,
  gboNoGroupSizing,
  gboFullHeightSizing,
  gboSmartSizing,
  gboNoColumnMoving,
  gboNoColumnGrouping,
  gboNoTitleStates,
  gboNoMultiTitleStates,
  gboNoFooterStates,
  gboNoIncomingDragTrack,
  gboNoInsideDragTrack
};
using TgpGridBehaviorOptions = TSet<TgpGridBehaviorOption>;
enum TgpGridEditOption {
  geoNoInserts,
  geoNoAppends,
  geoNoQuickEditByTabKey,
  geoNoQuickEditByClick,
  geoNoEditActionOnExit,
  geoCancelFieldOnExit,
  geoCancelRecordOnExit,
  geoAlwaysShowEditor
};
using TgpGridEditOptions = TSet<TgpGridEditOption>;
enum TgpPickupOption { gpoReturnKey, gpoDblClick, gpoClick, gpoMouseTrack, gpoCaptureRecord };
using TgpPickupOptions = TSet<TgpPickupOption>;
enum TDragMode { dmManual, dmAutomatic };

// Whether snapshots keep record numbers.
class TgpDBParams : public TPersistent {
  KIV7_PERSISTENT(TgpDBParams)

 public:
  bool EnableRecNo() const { return enable_rec_no_; }
  void SetEnableRecNo(bool value) { enable_rec_no_ = value; }
  void Assign(const TPersistent* source) override;

 private:
  bool enable_rec_no_ = true;
};

// The in-place editor's fate when editing ends.


enum TgpFieldEditAction {
  feaPost,
  feaCancel,
  feaMoveLeft,
  feaMoveRight,
  feaMoveUp,
  feaMoveDown,
  feaPrevTab,
  feaNextTab,
  feaNone
};

using TgpColumnChangeEvent = std::function<void(TComponent* Sender, int ACol)>;
using TgpColumnNotifyEvent = std::function<void(TComponent* Sender, TgpColumn* Column)>;
using TgpBeforeInsertEvent = std::function<void(TComponent* Sender, bool& DoInsert)>;
using TgpBeforeFieldEditEvent = std::function<void(TComponent* Sender, TgpColumn* Column, bool& DoEdit)>;
using TgpEditKeyPressEvent = std::function<void(TComponent* Sender, TgpColumn* Column, char& Key,
                                                TgpFieldEditAction& Action, bool& HandleKey)>;
using TgpAfterFieldPostEvent =
    std::function<void(TComponent* Sender, TgpColumn* Column, int PostCode, TgpFieldEditAction& Action)>;
using TgpClickEvent =
    std::function<void(TComponent* Sender, int X, int Y, TShiftState Shift, bool ButtonReleased, bool& Handled)>;
using TgpDrawCellEvent = std::function<void(TComponent* Sender, TgpColumn* Column, TgpPainter* Painter)>;
using TgpGetRowAttrsEvent = std::function<void(TComponent* Sender, TgpRowAttrs* RowAttrs)>;
using TgpContextMenuEvent = std::function<void(TComponent* Sender, int X, int Y, bool& DoPopup)>;

class TgpAutoSearchParams;
class TgpDeleteParams;

// Incremental search in the grid's current column: typed characters find the
// first record whose search text starts with them, shown in a prompt window
// below the grid.
class TgpAutoSearchParams : public TPersistent {
  KIV7_PERSISTENT(TgpAutoSearchParams)

 public:
  explicit TgpAutoSearchParams(TDBGridPro* grid = nullptr);
  ~TgpAutoSearchParams() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  // ";"-list of the fields that may be searched; empty: all.
  const AnsiString& SearchableFields() const { return searchable_fields_; }
  void SetSearchableFields(const AnsiString& value) { searchable_fields_ = value; }
  // A key that starts a search; once set, typing alone no longer does.
  int ShortCut() const { return shortcut_; }
  void SetShortCut(int value) { shortcut_ = value; }
  int ShortCutFindNext() const { return shortcut_next_; }
  void SetShortCutFindNext(int value) { shortcut_next_ = value; }
  int ShortCutFindPrevious() const { return shortcut_previous_; }
  void SetShortCutFindPrevious(int value) { shortcut_previous_ = value; }
  bool SearchFromBegin() const { return search_from_begin_; }
  void SetSearchFromBegin(bool value) { search_from_begin_ = value; }
  bool CycleSearch() const { return cycle_search_; }
  void SetCycleSearch(bool value) { cycle_search_ = value; }
  TColor WndColor() const { return wnd_color_; }
  void SetWndColor(TColor value) { wnd_color_ = value; }
  // clNone keeps the grid's font colour.
  TColor WndTextColor() const { return wnd_text_color_; }
  void SetWndTextColor(TColor value) { wnd_text_color_ = value; }
  // Format of the prompt with one %s for the search text; empty: "Search: ".
  const AnsiString& Prompt() const { return prompt_; }
  void SetPrompt(const AnsiString& value) { prompt_ = value; }
  bool EnablePrompt() const { return enable_prompt_; }
  void SetEnablePrompt(bool value) { enable_prompt_ = value; }
  void Assign(const TPersistent* source) override;

  // A search runs (from Start to Stop).
  bool Active() const { return active_; }
  const AnsiString& SearchText() const { return search_text_; }
  // The prompt window while a search runs with the prompt on.
  THintWindow* PromptWindow() const { return prompt_window_.get(); }
  // The find-next and find-previous keys while a search runs, the start key
  // while not; True when the key was taken.
  bool HandleShortCut(uint16_t Key, TShiftState Shift);
  bool Start(int Key);
  void Stop();
  void TypeKey(int Key);
  // True when a record was found; the data set stays where it was otherwise.
  bool Search(const AnsiString& Text, bool Forward, bool Cycle, bool StepFirst, bool FromFirst);

 private:
  bool Compare(const AnsiString& text);
  TDBGridPro* grid_;
  bool enabled_ = false;
  AnsiString searchable_fields_;
  int shortcut_ = 0, shortcut_next_ = 0, shortcut_previous_ = 0;
  bool search_from_begin_ = true, cycle_search_ = false;
  TColor wnd_color_ = clInfoBk, wnd_text_color_ = clInfoText;
  AnsiString prompt_;
  bool enable_prompt_ = true;
  bool active_ = false;
  AnsiString search_text_;
  std::unique_ptr<THintWindow> prompt_window_;
};

enum TgpDeletePromptKind { dpkAlways, dpkMultiRecord, dpkNever };

// Deleting the current or the selected records by a key, after a question.
class TgpDeleteParams : public TPersistent {
  KIV7_PERSISTENT(TgpDeleteParams)

 public:
  explicit TgpDeleteParams(TDBGridPro* grid = nullptr) : grid_(grid) {}
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  // Ctrl+Del by default.
  int ShortCut() const { return shortcut_; }
  void SetShortCut(int value) { shortcut_ = value; }
  TgpDeletePromptKind PromptKind() const { return prompt_kind_; }
  void SetPromptKind(TgpDeletePromptKind value) { prompt_kind_ = value; }
  // The question for one record (no arguments) and for several (%d the count).
  const AnsiString& PromptMsg() const { return prompt_msg_; }
  void SetPromptMsg(const AnsiString& value) { prompt_msg_ = value; }
  const AnsiString& PromptMsgMulti() const { return prompt_msg_multi_; }
  void SetPromptMsgMulti(const AnsiString& value) { prompt_msg_multi_ = value; }
  void Assign(const TPersistent* source) override;

  // Records were deleted by the last key.
  bool Deleted() const { return deleted_; }
  // True when the key is the delete key of a modifiable data set (taken
  // even when the user declines).
  bool HandleDeleteKey(uint16_t Key, TShiftState Shift);
  bool Confirm(bool Multi);
  void DeleteRecords(bool Multi);

 private:
  TDBGridPro* grid_;
  bool enabled_ = false;
  int shortcut_ = 16430;
  TgpDeletePromptKind prompt_kind_ = dpkAlways;
  AnsiString prompt_msg_, prompt_msg_multi_;
  bool deleted_ = false;
};

// Sizing a column by dragging its right border in the title band; one for
// the process, holding nothing that needs freeing (a grid that goes is
// forgotten), so it outlasts every grid whatever the order of shut-down. The
// line shows where the border will go; the grid paints it.
class TgpColumnSizer {
 public:
  // True when (X, Y) lies on a border the grid lets the user drag; the
  // column left of it becomes the sized column.
  bool HitBorder(TDBGridPro* Grid, int X, int Y);
  bool CanSizeColumn(TDBGridPro* Grid, TgpColumn* Column) const;
  void Start(TDBGridPro* Grid, int X);
  void Track(TDBGridPro* Grid, int X);
  void Finish(TDBGridPro* Grid, int X);
  TgpColumn* Column() const { return column_; }
  int MinX() const { return min_x_; }
  int MaxX() const { return max_x_; }
  // Where the line stands; -1 while none is drawn.
  int LineX() const { return line_x_; }
  // Forgets a grid that goes away.
  void Forget(TDBGridPro* Grid);

 private:
  void MoveLine(TDBGridPro* Grid, int X);
  TDBGridPro* grid_ = nullptr;
  TgpColumn* column_ = nullptr;
  int min_x_ = 0, max_x_ = 0, line_x_ = -1;
};
static_assert(std::is_trivially_destructible_v<TgpColumnSizer>);
TgpColumnSizer& ColumnSizer();

// Rows and columns dragged with the mouse: rows out of the grid (DragMode
// dmAutomatic) and other drags onto it, with the row under the pointer
// marked as the drop target; a column by its title, with the place it would
// drop at and the marks that show it.
class TgpDragger {
 public:
  explicit TgpDragger(TgpSelectionSite* grid) : Snapshot(grid) {}
  // A press on a cell waits for the pointer to leave StartRect.
  bool PressArmed = false;
  TRect StartRect;
  // A drag started in this grid runs (rows or a column).
  bool RowDrag = false;
  bool ColumnDrag = false;
  bool DesignDrag = false;
  // Rows are dragged over the grid (from it or from elsewhere) and the row
  // under the pointer is tracked.
  bool RowDragOver = false;
  bool TrackRows = false;
  // The record under the pointer while rows are dragged over the grid; what
  // a drop handler asks for.
  TgpRecShot Snapshot;
  // Captures the hovered row's record into Snapshot, or nothing with Clear.
  void TakeSnapshot(TDBGridPro* Grid, bool Clear);
  // 0 none, 1 between groups, 2 a new line of a group, 3 in a line.
  int DropKind = 0;
  TgpGroupInfo* DropGroup = nullptr;
  int DropLevel = -1;
  int DropIndex = -1;
  // The two marks as the grid paints them (client coordinates); kind 0: none.
  int MarkKind = 0;
  TPoint Mark1, Mark2;
  void TrackDrop(TDBGridPro* Grid, int X, int Y, TShiftState Shift);
  void HideMarks(TDBGridPro* Grid);
};

// The data-aware grid.
class TDBGridPro : public TCustomControl,
                   public TgpSelectionSite,
                   public IgpColumnsHost,
                   public IrsFooterMenuClient {
  KIV7_PERSISTENT(TDBGridPro)

 public:
  explicit TDBGridPro(TComponent* owner);
  ~TDBGridPro() override;
  void BeforeDestruction() override;
  void Loaded() override;
  void SetBounds(int left, int top, int width, int height) override;

  // ---- Properties
  TvpBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TvpBorderStyle value);
  TScrollStyle ScrollBars() const { return scroll_bars_; }
  void SetScrollBars(TScrollStyle value);
  TDragMode DragMode() const { return drag_mode_; }
  void SetDragMode(TDragMode value) { drag_mode_ = value; }
  TImageList* TitleImages() const { return title_images_; }
  void SetTitleImages(TImageList* value);
  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* value);
  TgpDBParams* ParamsDB() const { return const_cast<TgpDBParams*>(&params_db_); }
  void SetParamsDB(const TgpDBParams* value) { params_db_.Assign(value); }
  bool AutoColumnFit() const { return auto_column_fit_; }
  void SetAutoColumnFit(bool value);
  int TitleLines() const { return title_lines_; }
  void SetTitleLines(int value);
  int RowLines() const { return row_lines_; }
  void SetRowLines(int value);
  int FootLines() const { return foot_lines_; }
  void SetFootLines(int value);
  const AnsiString& UniqueFields() const override { return unique_fields_; }
  void SetUniqueFields(const AnsiString& value);
  const AnsiString& BookmarkFields() const override { return bookmark_fields_; }
  void SetBookmarkFields(const AnsiString& value);
  bool ShowTitles() const { return show_titles_; }
  void SetShowTitles(bool value);
  bool ShowFooters() const { return show_footers_; }
  void SetShowFooters(bool value);
  bool ShowEmptyRow() const { return show_empty_row_; }
  void SetShowEmptyRow(bool value);
  bool RowSelect() const { return row_select_; }
  void SetRowSelect(bool value) { row_select_ = value; }
  bool MultiSelect() const { return multi_select_; }
  void SetMultiSelect(bool value) { multi_select_ = value; }
  bool HideSelection() const { return hide_selection_; }
  void SetHideSelection(bool value);
  TLayout VertAlignment() const { return vert_alignment_; }
  void SetVertAlignment(TLayout value);
  TgpGridVisualOptions OptionsVisual() const { return options_visual_; }
  void SetOptionsVisual(TgpGridVisualOptions value);
  TgpGridBehaviorOptions OptionsBehavior() const { return options_behavior_; }
  void SetOptionsBehavior(TgpGridBehaviorOptions value) { options_behavior_ = value; }
  TgpGridEditOptions OptionsEdit() const { return options_edit_; }
  void SetOptionsEdit(TgpGridEditOptions value) { options_edit_ = value; }
  TgpPickupOptions OptionsPickup() const { return options_pickup_; }
  void SetOptionsPickup(TgpPickupOptions value) { options_pickup_ = value; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  bool WantTabs() const override { return want_tabs_; }
  void SetWantTabs(bool value) { want_tabs_ = value; }
  bool WantReturns() const { return want_returns_; }
  void SetWantReturns(bool value) { want_returns_ = value; }
  int StripStep() const { return strip_step_; }
  // Only -1 (no strips) or values above 1; others are ignored.
  void SetStripStep(int value);
  TgpCursorType CursorType() const override { return cursor_type_; }
  void SetCursorType(TgpCursorType value);
  TgpDesigner* Designer() const { return designer_; }
  void SetDesigner(TgpDesigner* value);
  const AnsiString& Attrs() const { return attrs_; }
  void SetAttrs(const AnsiString& value);
  TgpColumns* Columns() const { return columns_.get(); }
  void SetColumns(const TgpColumns* value);
  // The mapper is referenced, not owned; freeing it leaves the grid without one.
  TvpCustomFieldMapper* Mapper() const { return mapper_; }
  void SetMapper(TvpCustomFieldMapper* value);

  // ---- Events
  TgpColumnChangeEvent OnColEnter, OnColExit, OnColExiting;
  TNotifyEvent OnSelectionChange;
  TgpClickEvent OnClick;
  TNotifyEvent OnPickup;
  TNotifyEvent OnInitEdit;
  TNotifyEvent OnMouseEnter, OnMouseLeave;
  TgpBeforeInsertEvent BeforeInsert;
  TNotifyEvent AfterInsert;
  TNotifyEvent AfterDelete;
  TgpBeforeFieldEditEvent BeforeFieldEdit;
  TgpAfterFieldPostEvent AfterFieldPost;
  // A character typed into the in-place editor: clearing HandleKey with an
  // Action set drops the character and ends the edit with that action.
  TgpEditKeyPressEvent OnEditKeyPress;
  TgpColumnNotifyEvent OnTitleStateChange, OnFooterStateChange;
  TgpDrawCellEvent OnDrawCell;
  TgpGetRowAttrsEvent OnGetRowAttrs;
  TgpContextMenuEvent OnFooterMenuPopup;
  // A customizer action the grid heard, with the column for gcaBeforeAddColumn
  // and gcaRemoveColumn to gcaHideColumn (nullptr otherwise).
  TgpCustomizerActionEvent OnCustomizerAction;

  // ---- Public state
  TgpSelection* Selection() const { return selection_.get(); }
  TgpColumn* CurrentColumn() const { return current_column_; }
  int CurrentColumnIndex() const override { return current_column_index_; }
  TDataLinkEx* DataLinkEx() const { return data_link_.get(); }
  TDataLink* DataLink() const override;
  TDataSet* DataSet() const { return data_set_; }
  bool LinkActive() const override { return link_active_; }
  TgpDesigner* EffectiveDesigner() const { return effective_designer_; }
  TgpPaintInfo* PaintInfo() const { return paint_info_.get(); }
  TgpPainter* Painter() const { return painter_.get(); }
  int SortCounter() const override { return sort_counter_; }
  void SetSortCounter(int value) override { sort_counter_ = value; }

  int TitleHeight() const { return title_height_; }
  int RowHeight() const { return row_height_; }
  int FooterHeight() const { return footer_height_; }
  int TitleBand() const { return title_band_; }
  int FooterBand() const { return footer_band_; }
  int RowCapacity() const { return row_capacity_; }
  int RowCount() const override { return row_count_; }
  bool HasRows() const { return has_rows_; }
  bool MoreRows() const { return more_rows_; }
  int DataBottom() const { return data_bottom_; }
  int FreeSpace() const { return free_space_; }
  int ActiveRow() const override { return active_row_; }
  int CurrentRow() const override { return current_row_; }
  void SetCurrentRow(int row) override { current_row_ = row; }

  bool PaintEnabled() const { return freeze_count_ == 0; }
  int FreezeCount() const { return freeze_count_; }
  bool Navigating() const override { return navigating_; }
  bool SelectionChangePending() const { return selection_change_pending_; }
  bool Posting() const { return posting_; }
  bool EditorShown() const { return editor_shown_; }
  TgpColumn* EditorColumn() const { return editor_column_; }
  bool HasFocus() const { return has_focus_; }
  int PendingActions() const { return pending_actions_; }
  int TargetColumn() const { return target_column_; }
  // Whether the grid is being read from a form description.
  bool Loading() const { return ComponentState().Contains(csLoading); }
  // Whether the grid has a window to measure and paint in.
  bool HasWindow() const { return Widget() != nullptr; }

  // ---- Operations
  // Makes column Index current (-1: none).
  void SelectColumn(int Index) override;
  void SelectColumn(TgpColumn* Column);
  // Stores the current column index (and its column) and returns the previous index.
  int ExchangeColumnIndex(int Index);

  void CommitEdit();
  void CancelEdit();
  bool ShowEditor(TgpColumn* Column) override;
  void ColumnGoing(TgpColumn* Column) override;
  void EndEdit(TgpFieldEditAction Action, bool Keep);
  void HideEditor();
  void ReshowEditor();
  bool InsertRecord(bool Append);

  // ---- The in-place editor (made on first use; the grid owns it)
  TgpInplaceEdit* InplaceEditor() const { return inplace_editor_; }
  // An editor key the grid handles as its own (paging keys, and plain Enter,
  // Escape and Insert in an always-shown editor nothing was typed into).
  void EditorKeyDown(uint16_t& key, TShiftState shift);
  // A character typed into the editor, offered to OnEditKeyPress first.
  void DoEditKeyPress(TgpColumn* Column, char& Key, TgpFieldEditAction& Action, bool& HandleKey);
  void EditorMouseWheel(TShiftState shift, int delta, int x, int y);
  // The editor lost the focus to a control outside the grid: the grid's exit.
  void EditorExit();
  // Whether the editor has the focus.
  bool EditorFocused() const;
  bool AlwaysShowEditor() const;

  // Counted suspension of painting and scroll-bar writes.
  void FreezeGrid() override;
  // Raises "Method call was cancelled (UnfreezeGrid)" without a matching FreezeGrid.
  void UnfreezeGrid(bool Repaint) override;
  // Runs body inside FreezeGrid/UnfreezeGrid(repaint), unfrozen also after an exception.
  template <class F>
  void Frozen(bool repaint, F&& body) {
    TFreezeScope frozen(*this, repaint);
    body();
  }

  void LayoutChanged() override;
  // Bits of UpdateParts.
  static constexpr int kupMetrics = 1, kupRowWindow = 2, kupRefit = 4, kupWidths = 8, kupRepaint = 0x10;
  void UpdateParts(int Flags);
  // Measures the bands and rows; True when a height changed.
  bool RecalcMetrics() override;
  void UpdateRowWindow();
  void LocateCurrentRow(int Distance) override;
  void UpdateVScrollBar(bool Force = false);
  void UpdateHScrollBar(bool Force = false) override;
  // Height of "Wg" in the grid's font with child laid over, bold and
  // underlined; 13 without a window.
  int TextHeight(const TFont* Font, const TChildFont* ChildFont);
  // Band 0 the whole height, 1 titles, 2 row Row, 3 footers.
  TRect GroupRect(const TgpGroupInfo* Group, int Band, int Row) const;
  bool IsColumnShown(int Index) const;
  bool CanUseCurrentRecord(bool Strict) override;

  // Repaint requests (nothing while frozen or without a window).
  void InvalidateAll() override;
  void InvalidateTitles() override;
  void InvalidateRow(int Row) override;
  void InvalidateRows() override;
  void InvalidateFooters();
  void InvalidateColumn(int Index) override;
  void InvalidateTitleCell(int Index);
  void InvalidateCell(int Index, int Row);

  void DoSelectionChange(bool CurrentChanged, bool SelectionChanged) override;
  void DoTitleStateChange(TgpColumn* Column) override;
  void DoFooterStateChange(TgpColumn* Column, int State);
  bool DoBeforeFieldEdit(TgpColumn* Column) override;
  void DoAfterFieldPost(TgpColumn* Column, int PostCode, TgpFieldEditAction& Action);
  // Gives sorted visible columns the orders 0 .. n-1.
  void RenumberSortOrders();
  bool EnableRecNo() const override { return params_db_.EnableRecNo(); }

  // ---- What the columns ask of their grid
  TDBGridPro* HostGrid() override { return this; }
  TComponent* HostComponent() override { return this; }
  bool HostLoading() const override { return Loading(); }
  bool HasMapper() const override { return mapper_ != nullptr; }
  bool MapperEntry(TgpFieldList* Fields, TvpFieldVision*& Vision, AnsiString& Caption) override;
  TgpColumnMetrics HostMetrics() const override;
  int TitleTextHeight() override;
  int TitleImageHeight() const override;
  TDataSet* HostDataSet() const override { return data_set_; }
  TDataLink* HostDataLink() override { return data_link_.get(); }
  bool HostReadOnly() const override { return read_only_; }
  AnsiString HostAttrs() const override { return attrs_; }
  TLayout HostVertAlignment() const override { return vert_alignment_; }
  void ColumnValuePosted(TgpColumn* Column) override;

  // ---- The grid as a drop-down's pick list
  // The tool form that uses the grid; nullptr for none (not owned).
  TComponent* ToolForm() const { return tool_form_; }
  void SetToolForm(TComponent* value) { tool_form_ = value; }
  // Makes the record whose UniqueFields hold Value the grid's current one
  // (found with Locate; no selection event).
  void SyncToValue(const Variant& Value);
  // The UniqueFields values of the grid's current record.
  Variant TakeValue() const;

  // ---- Seams for the interaction, sizing and editing work
  // Moves the current cell (see the flag bits) and applies selection actions.
  virtual void GoToCell(int Flags, int Distance, int Column);
  // Moves the focus as an editor's or a key's action asks.
  virtual void MoveFocus(TgpFieldEditAction Action, bool Extend);
  // Re-reads imported captions and visions from the Mapper.
  virtual void ApplyMapper();
  // Whether the selection is painted (False while rows are dragged over it).
  virtual bool ShowsSelection() const;
  // Paints row attributes for rows FirstRow .. LastRow of the window.
  void PrepareRowAttrs(int FirstRow, int LastRow);
  // Scroll handling of the data link (also run by GoToCell for 0).
  void ScrollHandler(int Distance);
  // Repaints the rows after the window moved by Distance (one-row moves
  // shift the painted rows); OldRow was the active row before.
  void ScrollRows(int Distance, int OldRow);
  // Moves to the record number P's row as the first shown.
  void ScrollToRecNo(int P);

  // ---- Keys and mouse (rs_grid_keys.cpp, rs_grid_mouse.cpp, rs_grid_search.cpp, rs_grid_sizing.cpp)
  TgpAutoSearchParams* ParamsAutoSearch() const { return auto_search_.get(); }
  void SetParamsAutoSearch(const TgpAutoSearchParams* value);
  TgpDeleteParams* ParamsDelete() const { return delete_params_.get(); }
  void SetParamsDelete(const TgpDeleteParams* value);
  // What lies under (X, Y): 0 nothing, 1 a title, 2 a cell, 3 a footer, with
  // its window row and column index (-1 none).
  int HitTest(int X, int Y, int& Row, int& Column) const;
  void UpdateHover(int X, int Y);
  int HoverKind() const { return hover_kind_; }
  int HoverColumn() const { return hover_column_; }
  int HoverRow() const { return hover_row_; }
  TgpColumn* PressedTitle() const { return pressed_title_; }
  TgpColumn* DraggedColumn() const { return dragged_column_; }
  TgpColumn* MenuColumn() const { return menu_column_; }
  // 0 none, 1 over a sizing border, 2 sizing, 3 a title pressed.
  int SizingState() const { return sizing_state_; }
  bool AutoScrolling() const { return auto_scrolling_; }
  bool PickupPending() const { return pickup_pending_; }
  TgpDragger* Dragger() const { return dragger_.get(); }
  // The message 0x5F6 sent to the grid: gcaStart records the customizer
  // (Param) and enters customizing mode, gcaFinish leaves it; every code is
  // then passed on to the recorded customizer with the same parameter and
  // OnCustomizerAction fires. Returns the customizer's answer (the selected
  // column for gcaGetSel).
  void* CustomizerAction(TgpCustomizerAction Action, void* Param);
  // The customizer attached now (nullptr: the grid is not being customized).
  TrsGridProCustomizer* Customizer() const { return customizer_; }
  bool CanChangeTitleState(bool Multi, TgpColumn* Column) const;
  bool CanDragColumn(TgpColumn* Column) const;
  bool QuickEdit(TgpColumn* Column, TgpGridEditOption Option);
  // Kind 0 Return, 1 double click, 2 click; True when something picked.
  bool Pickup(int Kind, bool Allowed);
  void ShowPopupMenu(TgpColumn* Column, int X, int Y);
  void ShowFooterMenu(TgpColumn* Column, int X, int Y);
  // An item of the shared footer menu this grid popped up was chosen.
  void FooterMenuItemClick(TMenuItem* item) override;
  // The flags and column of a vertical move by Distance (Extend: Shift held).
  void SelectionFlagsForMove(int Distance, int& Column, int& Flags, bool Extend);
  // The next (previous) visible column in the same line across groups; nullptr when none.
  TgpColumn* NextInLine(TgpColumn* Column) const;
  TgpColumn* PrevInLine(TgpColumn* Column) const;
  // Scrolling while the button is held beyond the rows: a 25 ms timer.
  void StartAutoScroll();
  void StopAutoScroll();
  void AutoScrollTick();
  static bool ShouldScrollNow(int Distance, int Tick);
  // Hints of clipped titles and footers, shown after a pause on the tick clock.
  void HintTick();
  THintWindow* HintWindow() const { return hint_window_.get(); }
  // The hint for the point: a clipped title's caption or footer text, else Hint.
  AnsiString HintTextAt(int X, int Y);
  static constexpr unsigned kHintPause = 500, kHintHide = 20000;
  // Column dragging: the drop place under (X, Y) (Flags 2 no group
  // boundaries, 4 no new lines, 8 no in-line places).
  int GetDropTarget(int X, int Y, int Flags, int& Index, int& Level, TgpGroupInfo*& Group) const;
  bool ProbeBoundary(int X, int Y, int DY, int DX, int Kind, int& C1, int& C2) const;
  void ColumnDropped(TgpColumn* Column, TShiftState Shift);
  // Whether the record of window row Row is selected explicitly.
  bool RecordSelectedAt(int Row);
  // Repaints the previous and the new hovered row while rows are dragged over.
  void RepaintHoverRow();
  // The design-time hit test: True when the grid takes the mouse at (X, Y)
  // itself (titles, sizing borders) instead of the form designer.
  bool DesignHitTest(int X, int Y);
  // The grid is being designed (its form is in a form designer).
  bool Designing() const { return ComponentState().Contains(csDesigning); }

  // ---- Dragging (rs_grid_sizing.cpp)
  void DoStartDrag() override;
  void DragOver(TControl* Source, int X, int Y, TDragState State, bool& Accept) override;
  void DragDrop(TControl* Source, int X, int Y) override;
  void DoEndDrag(TControl* Target, int X, int Y) override;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void Paint() override;
  void PaintFrame(TCanvas& canvas) override;
  void Resize() override;
  void WMVScroll(int code, int pos) override;
  void WMHScroll(int code, int pos) override;
  void MouseWheel(TShiftState shift, int delta, int x, int y) override;
  void DoEnter() override;
  void DoExit() override;
  void FontChanged() override;
  // The key dispatch of the grid: every key the grid reacts to passes here.
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void KeyUp(uint16_t& key, TShiftState shift) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void DblClick() override;
  // A cell whose vision has an in-cell switch works it without F2: the key
  // or the press opens the editor over the current cell and goes on to it.
  bool PassKeyToSwitch(uint16_t& key, TShiftState shift);
  bool PassPressToSwitch(TShiftState shift, int x, int y);
  // The pointer's moves and release while the editor's switch holds a press
  // the grid passed on (the grid keeps the mouse that was pressed on it).
  bool PassMouseToSwitch(bool release, TMouseButton button, TShiftState shift, int x, int y);
  void MouseEnter() override;
  void MouseLeave() override;
  void WMTimer(unsigned id) override;
  bool WantSpecialKey(uint16_t key) const override;
  bool OwnsContextMenu() const override { return true; }

  // Data-link handlers.
  void ActivationHandler();
  void DataSetChangedHandler();
  void RecordChangedHandler();
  void LayoutHandler();
  void CommitHandler();

 private:
  void WMSize();
  void TitleImagesChanged();
  // The selection actions (GoToCell bits 0x20 .. 0x200) after a move; old_row
  // holds the record that was current before it (-1: unknown).
  void ApplySelectionActions(int actions, int old_row, const TBookmark& anchor);
  // Leaves the designer and silences the data link, before destruction.
  void Detach();
  // Tells an open customizer that the grid goes and forgets it.
  void LetCustomizerGo();
  bool RecordAfterWindow();
  // What the grid asks of its columns (rs_grid_columns.cpp).
  void CreateColumns();
  void DestroyColumns();
  void ColumnsComponentRemoved(TComponent* component);
  void ColumnsAutoFitChanged();
  void ColumnsRefit();
  void ColumnsRecomputeWidths();
  void ColumnsSetAvailableWidth(int width);
  void RebindColumns();
  void RepaintNow(const TRect& rect);
  TgpGroupInfo* GroupOf(int column_index) const;
  bool HasGroups() const;
  void RecaptureCurrent(bool notify);

  // Owned objects.
  std::unique_ptr<TDataLinkEx> data_link_;
  std::unique_ptr<TgpPainter> painter_;
  TgpDBParams params_db_;
  std::unique_ptr<TgpColumns> columns_;
  std::unique_ptr<TgpSelection> selection_;
  std::unique_ptr<TgpPaintInfo> paint_info_;

  TDataSet* data_set_ = nullptr;
  bool link_active_ = false;
  TgpDesigner* designer_ = nullptr;
  TgpDesigner* effective_designer_ = nullptr;
  TComponentRef<TvpCustomFieldMapper> mapper_;
  // The dying list lets its links go itself.
  TComponentRef<TImageList> title_images_{[this] { TitleImagesChanged(); }};

  TvpBorderStyle border_style_ = bs3D;
  TScrollStyle scroll_bars_ = ssBoth;
  TDragMode drag_mode_ = dmManual;
  bool auto_column_fit_ = false;
  int title_lines_ = 1, row_lines_ = 1, foot_lines_ = 1;
  AnsiString unique_fields_, bookmark_fields_, attrs_;
  bool show_titles_ = true, show_footers_ = false, show_empty_row_ = true;
  bool row_select_ = false, multi_select_ = false, hide_selection_ = true;
  TLayout vert_alignment_ = tlCenter;
  TgpGridVisualOptions options_visual_;
  TgpGridBehaviorOptions options_behavior_;
  TgpGridEditOptions options_edit_;
  TgpPickupOptions options_pickup_ = TgpPickupOptions{gpoReturnKey, gpoDblClick};
  bool read_only_ = false, want_tabs_ = true, want_returns_ = true;
  int strip_step_ = -1;
  TgpCursorType cursor_type_ = gctSensitive;
  int sort_counter_ = -1;

  TgpColumn* current_column_ = nullptr;
  int current_column_index_ = -1;
  int title_height_ = 10, row_height_ = 10, footer_height_ = 10;
  int title_band_ = 0, footer_band_ = 0;
  int row_capacity_ = 1, row_count_ = 1;
  bool has_rows_ = false, more_rows_ = false;
  int data_bottom_ = 0, free_space_ = 0;
  int active_row_ = 0, current_row_ = -1;
  int freeze_count_ = 0;
  bool navigating_ = false, selection_change_pending_ = false, posting_ = false;
  bool editor_shown_ = false;
  TgpColumn* editor_column_ = nullptr;
  bool has_focus_ = false;
  int pending_actions_ = 0;
  int target_column_ = -1;
  bool in_size_ = false;
  TComponent* tool_form_ = nullptr;
  TgpInplaceEdit* inplace_editor_ = nullptr;
  // The editor is being hidden: the focus passing back is no enter or exit.
  bool hiding_editor_ = false;
  // Tells the grid of new sizes and pictures of its TitleImages.
  std::unique_ptr<TChangeLink> title_images_link_;

  // Interaction state.
  void UpdateCursor();
  void FinishTitleClick(TShiftState shift, int x, int y);
  // Drops what a press began (a sizing, a pressed title, a handled click, a
  // drag armed, the scrolling that captured the record), so that a handler
  // that failed half-way leaves the next press to act as the first.
  void ForgetPress();
  void HideHint();
  void PaintInteraction(TCanvas& canvas);
  std::unique_ptr<TgpAutoSearchParams> auto_search_;
  std::unique_ptr<TgpDeleteParams> delete_params_;
  std::unique_ptr<TgpDragger> dragger_;
  TrsGridProCustomizer* customizer_ = nullptr;
  std::unique_ptr<THintWindow> hint_window_;
  int hover_kind_ = 0, hover_column_ = -1, hover_row_ = -1;
  int prev_hover_kind_ = 0, prev_hover_column_ = -1, prev_hover_row_ = -1;
  TgpColumn* pressed_title_ = nullptr;
  TgpColumn* dragged_column_ = nullptr;
  TgpColumn* menu_column_ = nullptr;
  int sizing_state_ = 0;
  bool sizing_cursor_shown_ = false;
  bool click_handled_ = false, edit_on_mouse_up_ = false, pickup_pending_ = false;
  bool auto_scrolling_ = false;
  // A drag started by the press has ended; its release is no click.
  bool drag_ended_ = false;
  int auto_scroll_ticks_ = 0;
  int mouse_x_ = 0, mouse_y_ = 0;
  TRect drag_start_rect_;
  // Hints: when the pointer last came to rest, and the shown hint's area.
  uint64_t hint_rest_since_ = 0;
  uint64_t hint_shown_at_ = 0;
  bool hint_pending_ = false;
  TRect hint_cursor_rect_;
};

// The designer grids without one paint through (made on first use).
TgpDesigner* DefaultGridDesigner();
// Lets the library's start-up put its default designer in place (not owned).
void SetDefaultGridDesigner(TgpDesigner* designer);

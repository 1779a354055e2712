// The column side of the grid unit: the cell and row attributes the painter
// reads, the cell painter visions draw through, the vision consumers and
// their field lists, and the columns with their layout engine.
#pragma once

#include <functional>
#include <memory>
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


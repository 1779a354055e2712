// The grid unit. It holds the cell painter, the objects visions draw
// through: the rectangles, canvas, colours and font of one grid cell or one
// edit, the text and images a vision chose, and the DefaultDraw switch with
// which event handlers take over; the cell and row attributes the painter
// reads; the columns and their layout engine; and the unit's process-wide
// objects made at start-up.
//
// This header gathers the unit: the columns (rs_column.h), the designers
// (rs_designer.h) and the grid itself.
#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

#include "grid/rs_column.h"
#include "grid/rs_designer.h"
#include "grid/rs_env.h"
#include "grid/rs_rtm.h"
#include "grid/rs_snap.h"
#include "toolkit/core/alignment.h"
#include "toolkit/core/classes.h"
#include "toolkit/gfx/graphics.h"
#include "toolkit/ui/customctrl.h"
#include "toolkit/ui/hintwnd.h"

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

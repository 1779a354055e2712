// The grid's designers: the exchangeable objects a grid paints its bands,
// cells, lines and focus frame through, and the default one.
#pragma once

#include <memory>

#include "grid/rs_column.h"

class TDBGridPro;
class TgpColumns;
class TgpGroupInfo;
class TgpPaintInfo;
class TgpDesigner;

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

// The designer grids without one paint through (made on first use).
TgpDesigner* DefaultGridDesigner();
// Lets the library's start-up put its default designer in place (not owned).
void SetDefaultGridDesigner(TgpDesigner* designer);

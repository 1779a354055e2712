// The workbook model: a workbook of sheets, a sheet of non-overlapping cell
// ranges kept in the order of their top rows. Asking a sheet for a rectangle
// returns the range that has exactly that rectangle, or creates it and drops
// every older range that overlaps it; a range of more than one cell is a
// merged cell. The writer (vteWriters) turns the model into a file.
//
// Ownership: the workbook owns its sheets; a sheet owns its ranges, column and
// row entries, page setup and pictures; a range owns its borders and font.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "toolkit/core/variant.h"
#include "xls/vteExcelTypes.h"

class TvteXLSWorkbook;
class TvteXLSWorksheet;

// One border of a range.
class TvteXLSBorder {
 public:
  // The line's colour (0 black at creation).
  TColor Color() const { return color_; }
  void SetColor(TColor color) { color_ = color; }
  // The line style (none at creation).
  TvteLineStyle LineStyle() const { return line_style_; }
  void SetLineStyle(TvteLineStyle style) { line_style_ = style; }
  // The line weight: kept, not written.
  uint8_t Weight() const { return weight_; }
  void SetWeight(uint8_t weight) { weight_ = weight; }

  friend bool operator==(const TvteXLSBorder&, const TvteXLSBorder&) = default;

 private:
  TColor color_ = clBlack;
  TvteLineStyle line_style_ = vtelsNone;
  uint8_t weight_ = 0;
};

// The six borders of a range, indexed by TvteBorderEdge.
class TvteXLSBorders {
 public:
  // The border of the edge given by the low 7 bits of edge; an edge beyond
  // the six raises Exception.
  TvteXLSBorder* GetBorder(int edge);
  const TvteXLSBorder* GetBorder(int edge) const;
  TvteXLSBorder& operator[](TvteBorderEdge edge) { return borders_[edge]; }
  const TvteXLSBorder& operator[](TvteBorderEdge edge) const { return borders_[edge]; }

  friend bool operator==(const TvteXLSBorders&, const TvteXLSBorders&) = default;

 private:
  std::array<TvteXLSBorder, 6> borders_;
};

// Print settings of a sheet: a plain record the writer reads.
struct TvteXLSPageSetup {
  uint8_t BlackAndWhite = 0;
  AnsiString CenterFooter;
  AnsiString CenterHeader;
  uint8_t CenterHorizontally = 0;
  uint8_t CenterVertically = 0;
  uint8_t Draft = 0;
  int FirstPageNumber = 1;
  int FitToPagesTall = 1;
  int FitToPagesWide = 1;
  AnsiString LeftFooter;
  AnsiString LeftHeader;
  // 1: pages left to right first.
  uint8_t Order = 0;
  // 0 portrait, anything else landscape.
  uint8_t Orientation = 0;
  // The BIFF8 paper code (9: A4).
  uint8_t PaperSize = 9;
  uint8_t PrintGridlines = 0;
  uint8_t PrintHeaders = 0;
  uint8_t PrintNotes = 0;
  AnsiString RightFooter;
  AnsiString RightHeader;
  // Margins, written to the file as they are, as inches.
  double LeftMargin = 2.0;
  double RightMargin = 2.0;
  double TopMargin = 2.5;
  double BottomMargin = 2.5;
  double FooterMargin = 0;
  double HeaderMargin = 0;
  int Zoom = 100;
  int Copies = 0;
};

// A picture as pixels: width x height, top row first, each 0x00RRGGBB (as
// the toolkit's bitmaps and metafile records hold them). The writer draws it
// onto a Windows metafile of its size.
struct TvtePicture {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;
};

// A picture placed on a sheet.
struct TvteImage {
  // Top-left anchor: column, offset in 1/1024 of its width, row, offset in 1/256 of its height.
  int Left = 0, LeftOffset = 0, Top = 0, TopOffset = 0;
  // Bottom-right anchor, same units; used only along an axis whose scale is below 1.
  int Right = 0, RightOffset = 0, Bottom = 0, BottomOffset = 0;
  TvtePicture Picture;
  // The frame round the picture: its colour, line style (none at creation:
  // no frame) and weight (0 hairline, 1 single, 2 double, 3 triple).
  TColor BorderColor = clBlack;
  TvteLineStyle LineStyle = vtelsNone;
  uint8_t LineWeight = 0;
  // Scale in percent; 1 or more computes the bottom-right anchor from the
  // picture's size along that axis.
  double ScaleX = 100, ScaleY = 100;
};

// The pictures of a sheet; owns them.
class TvteImages {
 public:
  // Takes ownership of a new picture; returns it.
  TvteImage* Add();
  int Count() const { return static_cast<int>(items_.size()); }
  TvteImage* Items(int index) const;
  // Frees every picture.
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TvteImage>> items_;
};

// A column entry: the column and its width in 1/256 of a character.
struct TvteXLSColumn {
  int Column = 0;
  int Width = 0;
};

// A row entry: the row and its height in twips.
struct TvteXLSRow {
  int Row = 0;
  int Height = 0;
};

// Everything of a range's format: sheets keep each distinct one once and
// ranges refer to it by number.
struct TvteXLSStyle {
  TvteXLSBorders Borders;
  TvteXLSFont Font;
  TvteHorzAlign HorizontalAlignment = vtexlHAlignGeneral;
  TvteVertAlign VerticalAlignment = vtexlVAlignBottom;
  uint8_t WrapText = 0;
  uint8_t Rotation = 0;
  AnsiString Format;
  TvteFillPattern FillPattern = vtefpNone;
  TColor FillForeColor = clBlack;
  TColor FillBackColor = clBlack;

  friend bool operator==(const TvteXLSStyle&, const TvteXLSStyle&) = default;
};

// A rectangle of cells with one value and one format.
//
// A sheet may hold a range for every cell of 65536 rows, so a range is small:
// its format is a number in the sheet's table of distinct formats, its text
// lies in the sheet's text store, a formula in the sheet's formula list. A
// change of the format through a reference (Font(), Borders()) works on a
// copy of the range's own, which the sheet files among its formats at its
// next GetRange or at a save: such a reference is good until then.
class TvteXLSRange {
 public:
  // Made by its sheet (GetRange), which keeps its format, text and formula.
  TvteXLSRange(TvteXLSWorksheet* worksheet, const TvteRect& rect) : worksheet_(worksheet), rect_(rect) {}

  // The owning sheet.
  TvteXLSWorksheet* Worksheet() const { return worksheet_; }
  // The rectangle, fixed at creation (0-based, inclusive).
  int Left() const { return rect_.Left; }
  int Top() const { return rect_.Top; }
  int Right() const { return rect_.Right; }
  int Bottom() const { return rect_.Bottom; }
  const TvteRect& Rect() const { return rect_; }

  TvteXLSBorders& Borders() { return MutableStyle().Borders; }
  const TvteXLSBorders& Borders() const { return Style().Borders; }
  // The font ("Arial", 10, black at creation).
  TvteXLSFont& Font() { return MutableStyle().Font; }
  const TvteXLSFont& Font() const { return Style().Font; }

  TvteHorzAlign HorizontalAlignment() const { return Style().HorizontalAlignment; }
  void SetHorizontalAlignment(TvteHorzAlign value);
  TvteVertAlign VerticalAlignment() const { return Style().VerticalAlignment; }
  void SetVerticalAlignment(TvteVertAlign value);
  // Non-zero: the text wraps.
  uint8_t WrapText() const { return Style().WrapText; }
  void SetWrapText(uint8_t value);
  // Copied into the cell format as it is.
  uint8_t Rotation() const { return Style().Rotation; }
  void SetRotation(uint8_t value);
  // The number format; empty is general.
  const AnsiString& Format() const { return Style().Format; }
  void SetFormat(std::string_view value);

  // The value of the top-left cell.
  Variant Value() const;
  // A string is stored with every CR LF replaced by LF; other values as they are.
  void SetValue(const Variant& value);
  // The value's kind (VarType), without making the value.
  TVarType ValueType() const;
  // The value as text (VarToStr).
  AnsiString ValueText() const;

  TvteFillPattern FillPattern() const { return Style().FillPattern; }
  void SetFillPattern(TvteFillPattern value);
  TColor FillForeColor() const { return Style().FillForeColor; }
  void SetFillForeColor(TColor value);
  TColor FillBackColor() const { return Style().FillBackColor; }
  void SetFillBackColor(TColor value);

  // A non-empty formula makes the cell a formula cell.
  const AnsiString& Formula() const;
  void SetFormula(std::string_view value);

  // Formula when there is a formula; number for small integer, integer,
  // single, double, currency and byte values; text for everything else.
  TvteCellKind CellKind() const;

  // The number of the range's format in its sheet's table, once filed.
  uint32_t StyleIndex() const { return style_; }
  // The format as it is now.
  const TvteXLSStyle& Style() const;

  // The writer's data for this range during one save (nullptr otherwise).
  TvteCellData* CellData() const { return cell_data_; }
  void SetCellData(TvteCellData* data) { cell_data_ = data; }

 private:
  friend class TvteXLSWorksheet;
  // How the value is kept: the usual kinds of an export in the range itself,
  // anything else whole in the sheet's list of other values.
  enum ValueKind : uint8_t { vkEmpty, vkInteger, vkDouble, vkText, vkOther };
  // The copy of the format a change goes to.
  TvteXLSStyle& MutableStyle();
  template <class T>
  void SetStyleField(T TvteXLSStyle::*field, const T& value);

  TvteXLSWorksheet* worksheet_;
  TvteRect rect_;
  TvteCellData* cell_data_ = nullptr;
  // vkInteger, vkOther (the number in the list): integer_; vkDouble:
  // number_; vkText: the text's length (high 32 bits) and place in the
  // sheet's text store (low 32 bits) in integer_.
  union {
    int64_t integer_ = 0;
    double number_;
  };
  // The format's number in the sheet's table; with kDetached, the number of
  // the range's own copy among the sheet's copies being changed.
  uint32_t style_ = 0;
  // The formula's number + 1 in the sheet's list, 0 without one.
  uint32_t formula_ = 0;
  ValueKind value_kind_ = vkEmpty;

  static constexpr uint32_t kDetached = 0x80000000u;
};

// Screen measures of the picture anchors, in pixels. A file is written
// without a screen (a headless export, a test), so they are those of the
// classic desktop the format's readers lay sheets out on: 96 pixels per inch,
// where Arial 10 averages 6 pixels a character with no external leading.
// The average width of a character of Arial 10 plus its external leading.
int GetDefaultCharWidth();
// Pixels per inch across the screen.
int GetScreenDpiX();
// A column entry's width (1/256 of a character) in pixels.
int ColumnWidthToPixels(int width);
// A row entry's height (twips) in pixels.
int RowHeightToPixels(int height);
// A column nobody sized: 9 characters.
int DefaultColumnWidthPixels();
// A row nobody sized: 255 twips.
int DefaultRowHeightPixels();

// All four bounds equal.
bool RectsEqual(const TvteRect& a, const TvteRect& b);
// The rectangles share a cell (inclusive bounds).
bool RectsIntersect(const TvteRect& a, const TvteRect& b);

// A sheet of the workbook.
class TvteXLSWorksheet {
 public:
  ~TvteXLSWorksheet();
  TvteXLSWorksheet(const TvteXLSWorksheet&) = delete;
  TvteXLSWorksheet& operator=(const TvteXLSWorksheet&) = delete;

  // The owning workbook.
  TvteXLSWorkbook* Workbook() const { return workbook_; }
  // The position in the workbook, -1 without one.
  int GetIndex() const;

  // The sheet's name (at most 31 characters).
  const AnsiString& Name() const { return name_; }
  // Keeps the first 31 characters, then trims blanks at both ends.
  void SetName(std::string_view name);

  TvteXLSPageSetup& PageSetup() { return page_setup_; }
  const TvteXLSPageSetup& PageSetup() const { return page_setup_; }
  TvteImages& Images() { return images_; }
  const TvteImages& Images() const { return images_; }

  // The range with exactly this rectangle, created when there is none; a new
  // range drops every older range it overlaps. Bounds are stored as given:
  // the writer refuses rectangles a file cannot hold.
  TvteXLSRange* GetRange(int left, int top, int right, int bottom);
  int GetRangeCount() const { return static_cast<int>(ranges_.size()); }
  // The range at position index, in the order of top rows.
  TvteXLSRange* GetRangeItem(int index) const;

  // Column entries: width of a column in 1/256 of a character.
  void AddColumn(int column, int width);
  int GetColumnCount() const { return static_cast<int>(columns_.size()); }
  const TvteXLSColumn& GetColumnItem(int index) const;
  // The first entry of that column, nullptr when none.
  const TvteXLSColumn* FindColumn(int column) const;
  // Row entries: height of a row in twips.
  void AddRow(int row, int height);
  // The first entry of that row, nullptr when none.
  const TvteXLSRow* FindRow(int row) const;
  // Horizontal page breaks, as row numbers.
  void AddPageBreak(int row) { page_breaks_.push_back(row); }
  int GetPageBreakCount() const { return static_cast<int>(page_breaks_.size()); }
  int GetPageBreak(int index) const;

  // The used area; all -1 until the first range is requested. It only grows.
  const TvteRect& Dimensions() const { return dimensions_; }
  // At least the largest height of the ranges (0 for a new sheet).
  int64_t MaxRangeHeight() const { return max_range_height_; }

  // Files the formats changed through references among the sheet's formats
  // (GetRange does it on its own; a writer does before it reads the sheet).
  void FileStyles();
  // The number of distinct formats the sheet's ranges have had (StyleIndex
  // is below it once filed).
  int GetStyleCount() const { return static_cast<int>(styles_.size()); }

 private:
  friend class TvteXLSWorkbook;
  friend class TvteXLSRange;
  explicit TvteXLSWorksheet(TvteXLSWorkbook* workbook);

  struct StyleHash {
    size_t operator()(const TvteXLSStyle& style) const;
  };
  uint32_t InternStyle(const TvteXLSStyle& style);
  TvteXLSRange* NewRange(const TvteRect& rect);
  void FreeRange(TvteXLSRange* range);

  size_t FindRangeFrom(int64_t key) const;
  TvteXLSRange* InsertRange(size_t start, const TvteRect& rect, bool* deleted);
  void RecalcMaxRangeHeight();
  void RaiseMaxRangeHeight(int64_t height);

  TvteXLSWorkbook* workbook_;
  AnsiString name_;
  TvteXLSPageSetup page_setup_;
  TvteImages images_;
  // The ranges in the order of their top rows; they live in range_store_
  // (whose elements never move), freed ones wait in free_ranges_ for reuse.
  std::vector<TvteXLSRange*> ranges_;
  std::deque<TvteXLSRange> range_store_;
  std::vector<TvteXLSRange*> free_ranges_;
  // The distinct formats, each once; format 0 is a new range's.
  std::vector<std::unique_ptr<TvteXLSStyle>> styles_;
  std::unordered_map<TvteXLSStyle, uint32_t, StyleHash> style_index_;
  // Copies of formats being changed through references, by range.
  std::vector<std::pair<TvteXLSRange*, std::unique_ptr<TvteXLSStyle>>> detached_;
  // The ranges' texts one after another, their formulas, and their values
  // of other kinds.
  std::string texts_;
  std::deque<AnsiString> formulas_;
  std::vector<Variant> other_values_;
  std::vector<TvteXLSColumn> columns_;
  std::vector<TvteXLSRow> rows_;
  std::vector<int> page_breaks_;
  TvteRect dimensions_;
  int64_t max_range_height_ = 0;
};

// A workbook: its sheets in tab order.
class TvteXLSWorkbook {
 public:
  TvteXLSWorkbook();
  ~TvteXLSWorkbook();
  TvteXLSWorkbook(const TvteXLSWorkbook&) = delete;
  TvteXLSWorkbook& operator=(const TvteXLSWorkbook&) = delete;

  // The name written as the file's last author ("PReport" at creation).
  const AnsiString& UserName() const { return user_name_; }
  // Keeps the first 66 characters and trims blanks at both ends.
  void SetUserName(std::string_view name);

  // Frees every sheet.
  void ClearSheets();
  int GetSheetCount() const { return static_cast<int>(sheets_.size()); }
  TvteXLSWorksheet* GetSheet(int index) const;
  // Creates a sheet named "SheetN" (N the smallest free number from the
  // count of sheets + 1), appends it and returns it.
  TvteXLSWorksheet* AddSheet();
  // The position of the first sheet with exactly this name, -1 when none.
  int IndexOfSheet(std::string_view name) const;

 private:
  AnsiString user_name_;
  std::vector<std::unique_ptr<TvteXLSWorksheet>> sheets_;
};

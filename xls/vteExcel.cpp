#include "xls/vteExcel.h"

#include <algorithm>

#include "toolkit/core/sysutils.h"
#include "xls/vteConsts.h"

namespace {

[[noreturn]] void IndexError(int index) {
  throw EListError(::Format("List index out of bounds (%d)", {index}));
}

}  // namespace

// ---- Borders, pictures -----------------------------------------------------

TvteXLSBorder* TvteXLSBorders::GetBorder(int edge) {
  const int index = edge & 0x7F;
  if (index >= static_cast<int>(borders_.size())) throw Exception(::Format("Invalid border edge %d", {edge}));
  return &borders_[static_cast<size_t>(index)];
}

const TvteXLSBorder* TvteXLSBorders::GetBorder(int edge) const {
  return const_cast<TvteXLSBorders*>(this)->GetBorder(edge);
}

TvteImage* TvteImages::Add() {
  items_.push_back(std::make_unique<TvteImage>());
  return items_.back().get();
}

TvteImage* TvteImages::Items(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return items_[static_cast<size_t>(index)].get();
}

// ---- Range -----------------------------------------------------------------

TvteXLSRange::TvteXLSRange(TvteXLSWorksheet* worksheet, const TvteRect& rect)
    : worksheet_(worksheet), rect_(rect) {}

void TvteXLSRange::SetValue(const Variant& value) {
  if (value.VarType() == varString) {
    value_ = Variant(StringReplace(value.AsString(), "\r\n", "\n", rfReplaceAll));
  } else {
    value_ = value;
  }
}

TvteCellKind TvteXLSRange::CellKind() const {
  if (!formula_.empty()) return vtecFormula;
  switch (value_.VarType()) {
    case varSmallint:
    case varInteger:
    case varSingle:
    case varDouble:
    case varCurrency:
    case varByte:
      return vtecNumber;
    default:
      return vtecText;
  }
}

// ---- Screen measures ---------------------------------------------------------

namespace {
constexpr int kScreenDpi = 96;
// Arial 10 at 96 dpi: 13 pixels high, 6 wide on average, no external leading.
constexpr int kArial10AveCharWidth = 6;
constexpr int kArial10ExternalLeading = 0;
constexpr int kDefaultColumnChars = 9;
constexpr int kDefaultRowTwips = 255;
constexpr int kTwipsPerInch = 1440;

// a * b / c rounded to the nearest, as the system's MulDiv.
int MulDivRound(int64_t a, int64_t b, int64_t c) { return static_cast<int>((2 * a * b + c) / (2 * c)); }
}  // namespace

int GetDefaultCharWidth() { return kArial10AveCharWidth + kArial10ExternalLeading; }

int GetScreenDpiX() { return kScreenDpi; }

int ColumnWidthToPixels(int width) { return GetDefaultCharWidth() * width / 256; }

int RowHeightToPixels(int height) { return MulDivRound(height, GetScreenDpiX(), kTwipsPerInch); }

int DefaultColumnWidthPixels() { return ColumnWidthToPixels(kDefaultColumnChars * 256); }

int DefaultRowHeightPixels() { return RowHeightToPixels(kDefaultRowTwips); }

bool RectsEqual(const TvteRect& a, const TvteRect& b) { return a == b; }

bool RectsIntersect(const TvteRect& a, const TvteRect& b) {
  const bool columns = (a.Left >= b.Left && a.Left <= b.Right) || (b.Left >= a.Left && b.Left <= a.Right);
  const bool rows = (a.Top >= b.Top && a.Top <= b.Bottom) || (b.Top >= a.Top && b.Top <= a.Bottom);
  return columns && rows;
}

// ---- Sheet -----------------------------------------------------------------

TvteXLSWorksheet::TvteXLSWorksheet(TvteXLSWorkbook* workbook) : workbook_(workbook) {}

TvteXLSWorksheet::~TvteXLSWorksheet() = default;

int TvteXLSWorksheet::GetIndex() const {
  if (!workbook_) return -1;
  for (int i = 0; i < workbook_->GetSheetCount(); ++i)
    if (workbook_->GetSheet(i) == this) return i;
  return -1;
}

void TvteXLSWorksheet::SetName(std::string_view name) { name_ = Trim(name.substr(0, 31)); }

TvteXLSRange* TvteXLSWorksheet::GetRangeItem(int index) const {
  if (index < 0 || index >= GetRangeCount()) IndexError(index);
  return ranges_[static_cast<size_t>(index)].get();
}

size_t TvteXLSWorksheet::FindRangeFrom(int64_t key) const {
  auto it = std::lower_bound(ranges_.begin(), ranges_.end(), key,
                             [](const std::unique_ptr<TvteXLSRange>& r, int64_t k) { return r->Top() < k; });
  return static_cast<size_t>(it - ranges_.begin());
}

TvteXLSRange* TvteXLSWorksheet::InsertRange(size_t start, const TvteRect& rect, bool* deleted) {
  TvteXLSRange* found = nullptr;
  size_t insert_at = start;
  size_t i = start;
  while (i < ranges_.size() && ranges_[i]->Top() <= rect.Bottom) {
    TvteXLSRange* r = ranges_[i].get();
    if (!found && RectsEqual(r->Rect(), rect)) {
      found = r;
    } else if (RectsIntersect(r->Rect(), rect)) {
      ranges_.erase(ranges_.begin() + static_cast<std::ptrdiff_t>(i));
      *deleted = true;
      continue;
    }
    if (r->Top() <= rect.Top) insert_at = i + 1;
    ++i;
  }
  if (found) return found;
  // A reversed rectangle ends the scan above its own top; step over the
  // ranges that still start above it, so the list stays sorted.
  while (insert_at < ranges_.size() && ranges_[insert_at]->Top() <= rect.Top) ++insert_at;
  auto range = std::make_unique<TvteXLSRange>(this, rect);
  TvteXLSRange* result = range.get();
  ranges_.insert(ranges_.begin() + static_cast<std::ptrdiff_t>(insert_at), std::move(range));
  return result;
}

void TvteXLSWorksheet::RecalcMaxRangeHeight() {
  max_range_height_ = 1;
  for (const auto& r : ranges_)
    max_range_height_ = std::max<int64_t>(max_range_height_, int64_t{r->Bottom()} - r->Top() + 1);
}

void TvteXLSWorksheet::RaiseMaxRangeHeight(int64_t height) {
  if (height > max_range_height_) max_range_height_ = height;
}

TvteXLSRange* TvteXLSWorksheet::GetRange(int left, int top, int right, int bottom) {
  const TvteRect rect{left, top, right, bottom};
  const int64_t key = int64_t{top} - max_range_height_ + 1;
  const size_t start = FindRangeFrom(key);
  bool deleted = false;
  TvteXLSRange* result;
  if (start == ranges_.size()) {
    ranges_.push_back(std::make_unique<TvteXLSRange>(this, rect));
    result = ranges_.back().get();
  } else {
    result = InsertRange(start, rect, &deleted);
  }
  // The recount runs after the new range is in the list: counting only the
  // survivors would forget a tall new range, and later requests below it
  // would start their scan past it and miss the overlap.
  if (deleted)
    RecalcMaxRangeHeight();
  else
    RaiseMaxRangeHeight(int64_t{bottom} - top + 1);

  auto widen_min = [](int& bound, int value) {
    if (bound == -1 || value < bound) bound = value;
  };
  auto widen_max = [](int& bound, int value) {
    if (bound == -1 || value > bound) bound = value;
  };
  widen_min(dimensions_.Left, left);
  widen_min(dimensions_.Top, top);
  widen_max(dimensions_.Right, right);
  widen_max(dimensions_.Bottom, bottom);
  return result;
}

void TvteXLSWorksheet::AddColumn(int column, int width) { columns_.push_back({column, width}); }

const TvteXLSColumn& TvteXLSWorksheet::GetColumnItem(int index) const {
  if (index < 0 || index >= GetColumnCount()) IndexError(index);
  return columns_[static_cast<size_t>(index)];
}

const TvteXLSColumn* TvteXLSWorksheet::FindColumn(int column) const {
  for (const auto& c : columns_)
    if (c.Column == column) return &c;
  return nullptr;
}

void TvteXLSWorksheet::AddRow(int row, int height) { rows_.push_back({row, height}); }

const TvteXLSRow* TvteXLSWorksheet::FindRow(int row) const {
  for (const auto& r : rows_)
    if (r.Row == row) return &r;
  return nullptr;
}

int TvteXLSWorksheet::GetPageBreak(int index) const {
  if (index < 0 || index >= GetPageBreakCount()) IndexError(index);
  return page_breaks_[static_cast<size_t>(index)];
}

// ---- Workbook --------------------------------------------------------------

TvteXLSWorkbook::TvteXLSWorkbook() : user_name_(vte::kDefaultUserName) {}

TvteXLSWorkbook::~TvteXLSWorkbook() = default;

void TvteXLSWorkbook::SetUserName(std::string_view name) { user_name_ = Trim(name.substr(0, 66)); }

void TvteXLSWorkbook::ClearSheets() { sheets_.clear(); }

TvteXLSWorksheet* TvteXLSWorkbook::GetSheet(int index) const {
  if (index < 0 || index >= GetSheetCount()) IndexError(index);
  return sheets_[static_cast<size_t>(index)].get();
}

TvteXLSWorksheet* TvteXLSWorkbook::AddSheet() {
  AnsiString name;
  for (int n = GetSheetCount() + 1;; ++n) {
    name = vte::kDefaultSheetPrefix + IntToStr(n);
    bool taken = false;
    for (const auto& s : sheets_)
      if (AnsiSameText(s->Name(), name)) taken = true;
    if (!taken) break;
  }
  sheets_.push_back(std::unique_ptr<TvteXLSWorksheet>(new TvteXLSWorksheet(this)));
  sheets_.back()->SetName(name);
  return sheets_.back().get();
}

int TvteXLSWorkbook::IndexOfSheet(std::string_view name) const {
  for (size_t i = 0; i < sheets_.size(); ++i)
    if (sheets_[i]->Name() == name) return static_cast<int>(i);
  return -1;
}

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

const TvteXLSStyle& TvteXLSRange::Style() const {
  if (style_ & kDetached) return *worksheet_->detached_[style_ & ~kDetached].second;
  return *worksheet_->styles_[style_];
}

TvteXLSStyle& TvteXLSRange::MutableStyle() {
  auto& detached = worksheet_->detached_;
  if (style_ & kDetached) return *detached[style_ & ~kDetached].second;
  detached.emplace_back(this, std::make_unique<TvteXLSStyle>(*worksheet_->styles_[style_]));
  style_ = kDetached | static_cast<uint32_t>(detached.size() - 1);
  return *detached.back().second;
}

template <class T>
void TvteXLSRange::SetStyleField(T TvteXLSStyle::*field, const T& value) {
  // Setting what is there already keeps the range on its shared format.
  if (!(Style().*field == value)) MutableStyle().*field = value;
}

void TvteXLSRange::SetHorizontalAlignment(TvteHorzAlign value) {
  SetStyleField(&TvteXLSStyle::HorizontalAlignment, value);
}
void TvteXLSRange::SetVerticalAlignment(TvteVertAlign value) { SetStyleField(&TvteXLSStyle::VerticalAlignment, value); }
void TvteXLSRange::SetWrapText(uint8_t value) { SetStyleField(&TvteXLSStyle::WrapText, value); }
void TvteXLSRange::SetRotation(uint8_t value) { SetStyleField(&TvteXLSStyle::Rotation, value); }
void TvteXLSRange::SetFormat(std::string_view value) { SetStyleField(&TvteXLSStyle::Format, AnsiString(value)); }
void TvteXLSRange::SetFillPattern(TvteFillPattern value) { SetStyleField(&TvteXLSStyle::FillPattern, value); }
void TvteXLSRange::SetFillForeColor(TColor value) { SetStyleField(&TvteXLSStyle::FillForeColor, value); }
void TvteXLSRange::SetFillBackColor(TColor value) { SetStyleField(&TvteXLSStyle::FillBackColor, value); }

const AnsiString& TvteXLSRange::Formula() const {
  static const AnsiString kNone;
  return formula_ ? worksheet_->formulas_[formula_ - 1] : kNone;
}

void TvteXLSRange::SetFormula(std::string_view value) {
  if (value.empty()) {
    formula_ = 0;
  } else if (formula_) {
    worksheet_->formulas_[formula_ - 1] = AnsiString(value);
  } else {
    worksheet_->formulas_.emplace_back(value);
    formula_ = static_cast<uint32_t>(worksheet_->formulas_.size());
  }
}

void TvteXLSRange::SetValue(const Variant& value) {
  std::vector<Variant>& others = worksheet_->other_values_;
  switch (value.VarType()) {
    case varEmpty:
      value_kind_ = vkEmpty;
      return;
    case varInteger:
      value_kind_ = vkInteger;
      integer_ = value.AsInteger();
      return;
    case varDouble:
      value_kind_ = vkDouble;
      number_ = value.AsDouble();
      return;
    case varString: {
      const AnsiString text = StringReplace(value.AsString(), "\r\n", "\n", rfReplaceAll);
      std::string& store = worksheet_->texts_;
      // A store past 4 GiB keeps the text with the other values.
      if (store.size() + text.size() <= UINT32_MAX) {
        value_kind_ = vkText;
        integer_ = static_cast<int64_t>((uint64_t{text.size()} << 32) | store.size());
        store += text;
        return;
      }
      value_kind_ = vkOther;
      integer_ = static_cast<int64_t>(others.size());
      others.emplace_back(text);
      return;
    }
    default:
      value_kind_ = vkOther;
      integer_ = static_cast<int64_t>(others.size());
      others.push_back(value);
      return;
  }
}

Variant TvteXLSRange::Value() const {
  switch (value_kind_) {
    case vkEmpty:
      return Variant();
    case vkInteger:
      return Variant(static_cast<int>(integer_));
    case vkDouble:
      return Variant(number_);
    case vkText:
      return Variant(ValueText());
    case vkOther:
      break;
  }
  return worksheet_->other_values_[static_cast<size_t>(integer_)];
}

AnsiString TvteXLSRange::ValueText() const {
  if (value_kind_ != vkText) return VarToStr(Value());
  const auto bits = static_cast<uint64_t>(integer_);
  return worksheet_->texts_.substr(bits & 0xFFFFFFFFu, bits >> 32);
}

TVarType TvteXLSRange::ValueType() const {
  switch (value_kind_) {
    case vkEmpty:
      return varEmpty;
    case vkInteger:
      return varInteger;
    case vkDouble:
      return varDouble;
    case vkText:
      return varString;
    case vkOther:
      break;
  }
  return worksheet_->other_values_[static_cast<size_t>(integer_)].VarType();
}

TvteCellKind TvteXLSRange::CellKind() const {
  if (formula_) return vtecFormula;
  switch (ValueType()) {
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

namespace {

void HashInto(size_t& seed, uint64_t value) {
  seed ^= std::hash<uint64_t>()(value) + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2);
}

}  // namespace

size_t TvteXLSWorksheet::StyleHash::operator()(const TvteXLSStyle& style) const {
  size_t seed = std::hash<std::string>()(style.Format) ^ std::hash<std::string>()(style.Font.Name);
  for (int e = 0; e < 6; ++e) {
    const TvteXLSBorder& b = style.Borders[static_cast<TvteBorderEdge>(e)];
    HashInto(seed, (uint64_t{static_cast<uint32_t>(b.Color())} << 16) | (uint64_t{b.LineStyle()} << 8) | b.Weight());
  }
  const TvteXLSFont& f = style.Font;
  HashInto(seed, (uint64_t{static_cast<uint32_t>(f.Size)} << 32) | static_cast<uint32_t>(f.Color));
  HashInto(seed, (f.Style.Bits() << 16) | (uint64_t{f.Charset} << 8) | f.Pitch);
  HashInto(seed, (uint64_t{style.HorizontalAlignment} << 40) | (uint64_t{style.VerticalAlignment} << 32) |
                     (uint64_t{style.WrapText} << 24) | (uint64_t{style.Rotation} << 16) | style.FillPattern);
  HashInto(seed, (uint64_t{static_cast<uint32_t>(style.FillForeColor)} << 32) |
                     static_cast<uint32_t>(style.FillBackColor));
  return seed;
}

TvteXLSWorksheet::TvteXLSWorksheet(TvteXLSWorkbook* workbook) : workbook_(workbook) { InternStyle(TvteXLSStyle{}); }

TvteXLSWorksheet::~TvteXLSWorksheet() = default;

uint32_t TvteXLSWorksheet::InternStyle(const TvteXLSStyle& style) {
  auto [it, added] = style_index_.try_emplace(style, static_cast<uint32_t>(styles_.size()));
  if (added) styles_.push_back(std::make_unique<TvteXLSStyle>(style));
  return it->second;
}

void TvteXLSWorksheet::FileStyles() {
  for (auto& [range, style] : detached_) range->style_ = InternStyle(*style);
  detached_.clear();
}

TvteXLSRange* TvteXLSWorksheet::NewRange(const TvteRect& rect) {
  if (free_ranges_.empty()) return &range_store_.emplace_back(this, rect);
  TvteXLSRange* range = free_ranges_.back();
  free_ranges_.pop_back();
  *range = TvteXLSRange(this, rect);
  return range;
}

void TvteXLSWorksheet::FreeRange(TvteXLSRange* range) {
  // Its text stays in the store and its formula in the list, unused.
  free_ranges_.push_back(range);
}

int TvteXLSWorksheet::GetIndex() const {
  if (!workbook_) return -1;
  for (int i = 0; i < workbook_->GetSheetCount(); ++i)
    if (workbook_->GetSheet(i) == this) return i;
  return -1;
}

void TvteXLSWorksheet::SetName(std::string_view name) { name_ = Trim(name.substr(0, 31)); }

TvteXLSRange* TvteXLSWorksheet::GetRangeItem(int index) const {
  if (index < 0 || index >= GetRangeCount()) IndexError(index);
  return ranges_[static_cast<size_t>(index)];
}

size_t TvteXLSWorksheet::FindRangeFrom(int64_t key) const {
  // Ranges come in row order: most requests start past the last one.
  if (ranges_.empty() || ranges_.back()->Top() < key) return ranges_.size();
  auto it = std::lower_bound(ranges_.begin(), ranges_.end(), key,
                             [](const TvteXLSRange* r, int64_t k) { return r->Top() < k; });
  return static_cast<size_t>(it - ranges_.begin());
}

TvteXLSRange* TvteXLSWorksheet::InsertRange(size_t start, const TvteRect& rect, bool* deleted) {
  TvteXLSRange* found = nullptr;
  size_t insert_at = start;
  size_t i = start;
  while (i < ranges_.size() && ranges_[i]->Top() <= rect.Bottom) {
    TvteXLSRange* r = ranges_[i];
    if (!found && RectsEqual(r->Rect(), rect)) {
      found = r;
    } else if (RectsIntersect(r->Rect(), rect)) {
      FreeRange(r);
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
  TvteXLSRange* range = NewRange(rect);
  ranges_.insert(ranges_.begin() + static_cast<std::ptrdiff_t>(insert_at), range);
  return range;
}

void TvteXLSWorksheet::RecalcMaxRangeHeight() {
  max_range_height_ = 1;
  for (const TvteXLSRange* r : ranges_)
    max_range_height_ = std::max<int64_t>(max_range_height_, int64_t{r->Bottom()} - r->Top() + 1);
}

void TvteXLSWorksheet::RaiseMaxRangeHeight(int64_t height) {
  if (height > max_range_height_) max_range_height_ = height;
}

TvteXLSRange* TvteXLSWorksheet::GetRange(int left, int top, int right, int bottom) {
  // Formats changed since the last request are filed first, so a range
  // dropped below never leaves a copy behind.
  if (!detached_.empty()) FileStyles();
  const TvteRect rect{left, top, right, bottom};
  const int64_t key = int64_t{top} - max_range_height_ + 1;
  const size_t start = FindRangeFrom(key);
  bool deleted = false;
  TvteXLSRange* result;
  if (start == ranges_.size()) {
    result = NewRange(rect);
    ranges_.push_back(result);
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

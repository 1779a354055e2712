// TMemDataSet: rows in memory behind the data-set contract.
#include "toolkit/db/memdataset.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "toolkit/core/classes.h"
#include "toolkit/core/text.h"

namespace {

int NativeSizeOf(TFieldType type, int size) {
  switch (type) {
    case ftString:
    case ftFixedChar: return size + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean: return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime: return 4;
    case ftLargeint:
    case ftFloat:
    case ftCurrency:
    case ftDateTime: return 8;
    case ftBCD: return static_cast<int>(sizeof(TBcd));
    case ftBytes: return size;
    case ftVarBytes: return size + 2;
    case ftTimeStamp: return static_cast<int>(sizeof(TSQLTimeStamp));
    default: return 0;
  }
}

// The number a stored numeric value stands for, for the filter's comparison.
bool NativeNumber(TFieldType type, std::string_view v, double& out) {
  auto load = [&](auto sample) {
    decltype(sample) x{};
    std::memcpy(&x, v.data(), std::min(v.size(), sizeof x));
    return static_cast<double>(x);
  };
  switch (type) {
    case ftSmallint: out = load(int16_t{}); return true;
    case ftWord: out = load(uint16_t{}); return true;
    case ftInteger:
    case ftAutoInc: out = load(int32_t{}); return true;
    case ftLargeint: out = load(int64_t{}); return true;
    case ftFloat:
    case ftCurrency: out = load(double{}); return true;
    case ftBoolean: out = load(uint16_t{}) != 0 ? 1 : 0; return true;
    default: return false;
  }
}

TFormatSettings PointSettings() {
  TFormatSettings s = FormatSettings();
  s.DecimalSeparator = '.';
  s.ThousandSeparator = ',';
  return s;
}

}  // namespace

// A blob's bytes while a reader or writer holds them; a writer hands them to
// the record being edited when it is freed.
class TMemDataSet::BlobStream : public TMemoryStream {
 public:
  BlobStream(TMemDataSet* owner, TField* field, int column, TBlobAccessMode mode, const std::string& bytes)
      : owner_(owner), field_(field), column_(column), mode_(mode) {
    if (!bytes.empty()) WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    SetPosition(0);
  }
  ~BlobStream() override {
    if (mode_ == bmRead) return;
    owner_->pending_blobs_[column_] = std::string(Bytes());
    try {
      owner_->NotifyFieldWritten(field_);
    } catch (const std::exception& e) {
      owner_->ReportError(e);
    }
  }

 private:
  TMemDataSet* owner_;
  TField* field_;
  int column_;
  TBlobAccessMode mode_;
};

TMemDataSet::TMemDataSet(TComponent* owner) : TDataSet(owner) {}

TMemDataSet::~TMemDataSet() {
  try {
    Deactivate();
  } catch (const std::exception& e) {
    ReportError(e);
  }
}

void TMemDataSet::SetStoreTransform(const AnsiString& field_name, TStoreTransform transform) {
  if (transform)
    transforms_[AnsiUpperCase(field_name)] = std::move(transform);
  else
    transforms_.erase(AnsiUpperCase(field_name));
  ResolveTransforms();
}

// Each column finds its transform once, not at every value written.
void TMemDataSet::ResolveTransforms() {
  for (Column& c : columns_) {
    const auto found = transforms_.find(AnsiUpperCase(c.name));
    c.transform = found == transforms_.end() ? nullptr : &found->second;
  }
}

bool TMemDataSet::HasBlobColumns() const {
  return std::any_of(columns_.begin(), columns_.end(), [](const Column& c) { return IsBlobFieldType(c.type); });
}

TMemDataSet::Row TMemDataSet::NewRow() {
  Row row;
  row.id = next_id_++;
  if (!free_slots_.empty()) {
    row.slot = free_slots_.back();
    free_slots_.pop_back();
  } else {
    row.slot = slots_.size() / std::max<size_t>(1, size_t(record_size_));
    slots_.resize(slots_.size() + size_t(record_size_));
  }
  if (HasBlobColumns()) row.blobs.resize(columns_.size());
  return row;
}

void TMemDataSet::FreeRow(const Row& row) { free_slots_.push_back(row.slot); }

TMemDataSet::TStoreTransform TMemDataSet::NumericText(int width, int decimals) {
  width = std::clamp(width, 1, 20);
  decimals = std::clamp(decimals, 0, std::max(0, width - 2));
  return [width, decimals](const TField& field, std::string& value) {
    const TFormatSettings point = PointSettings();
    switch (field.DataType()) {
      case ftFloat:
      case ftCurrency: {
        double d;
        std::memcpy(&d, value.data(), sizeof d);
        // The table writes fixed-point text with the field's decimals and reads the text back.
        const AnsiString text = FloatToStrF(d, ffFixed, width, decimals, point);
        double back = 0;
        if (!TryStrToFloat(text, back, point)) back = 0;
        std::memcpy(value.data(), &back, sizeof back);
        break;
      }
      case ftSmallint:
      case ftInteger:
      case ftLargeint: {
        int64_t n = 0;
        if (field.DataType() == ftSmallint) {
          int16_t s;
          std::memcpy(&s, value.data(), sizeof s);
          n = s;
        } else if (field.DataType() == ftInteger) {
          int32_t i;
          std::memcpy(&i, value.data(), sizeof i);
          n = i;
        } else {
          std::memcpy(&n, value.data(), sizeof n);
        }
        // Digits that do not fit beside the sign are dropped from the front.
        const bool negative = n < 0;
        std::string digits = std::to_string(n);
        if (negative) digits.erase(0, 1);
        const size_t room = static_cast<size_t>(negative ? width - 1 : width);
        if (digits.size() > room) digits.erase(0, digits.size() - room);
        int64_t back = digits.empty() ? 0 : std::stoll(digits);
        if (negative) back = -back;
        if (field.DataType() == ftSmallint) {
          const int16_t s = static_cast<int16_t>(back);
          std::memcpy(value.data(), &s, sizeof s);
        } else if (field.DataType() == ftInteger) {
          const int32_t i = static_cast<int32_t>(back);
          std::memcpy(value.data(), &i, sizeof i);
        } else {
          std::memcpy(value.data(), &back, sizeof back);
        }
        break;
      }
      default:
        break;
    }
  };
}

void TMemDataSet::EmptyTable() {
  RequireClosed();
  rows_.clear();
  slots_.clear();
  free_slots_.clear();
}

AnsiString TMemDataSet::LayoutSignature() const {
  AnsiString s;
  for (const Column& c : columns_) s += AnsiUpperCase(c.name) + ":" + std::to_string(c.type) + ":" + std::to_string(c.size) + ";";
  return s;
}

// ---- open and close ------------------------------------------------------------------

void TMemDataSet::LoadFieldDefs() {
  // The columns are what the code gave; derive them from persistent fields when none were given.
  if (FieldDefs().Count() == 0 && QueryFieldCount() > 0) DeriveFieldDefs();
}

void TMemDataSet::OpenBackend() {
  LoadFieldDefs();
  FieldDefs().SetUpdated(true);
  columns_.clear();
  int offset = 0;
  for (int i = 0; i < FieldDefs().Count(); ++i) {
    const TFieldDef* def = FieldDefs().DefAt(i);
    Column c;
    c.name = def->Name();
    c.type = def->DataType();
    c.size = IsBlobFieldType(def->DataType()) ? 0 : NativeSizeOf(def->DataType(), def->Size());
    c.offset = offset;
    offset += 1 + c.size;
    columns_.push_back(c);
  }
  record_size_ = offset;
  filter_column_ = kColumnUnresolved;
  ResolveTransforms();
  const AnsiString layout = LayoutSignature();
  if (layout != rows_layout_) {
    rows_.clear();
    slots_.clear();
    free_slots_.clear();
    rows_layout_ = layout;
  }
  if (DefaultFields()) BuildDefaultFields();
  AttachFields(true);
  SetBookmarkSize(4);
  pending_blobs_.clear();
  cursor_ = -1;
  between_ = false;
  open_ = true;
}

void TMemDataSet::CloseBackend() {
  open_ = false;
  cursor_ = -1;
  between_ = false;
  pending_blobs_.clear();
  AttachFields(false);
  if (DefaultFields()) DropDefaultFields();
}

// ---- buffers ------------------------------------------------------------------------

void TMemDataSet::ZeroCalcArea(TRecordBuffer buffer) {
  if (CalcFieldsSize() > 0) std::memset(buffer + RecordBufferSize(), 0, static_cast<size_t>(CalcFieldsSize()));
}

void TMemDataSet::BlankRecordBuffer(TRecordBuffer buffer) {
  std::memset(buffer, 0, static_cast<size_t>(kHeaderSize + record_size_));
  pending_blobs_.clear();
}

void TMemDataSet::ReadBookmark(TRecordBuffer buffer, void* destination) { std::memcpy(destination, buffer, 4); }

void TMemDataSet::WriteBookmark(TRecordBuffer buffer, const TBookmark& bookmark) {
  int32_t id = 0;
  if (bookmark.size() == 4) std::memcpy(&id, bookmark.data(), 4);
  std::memcpy(buffer, &id, 4);
}

TBufferPosition TMemDataSet::ReadBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBufferPosition>(buffer[4] & 3);
}

void TMemDataSet::WriteBookmarkFlag(TRecordBuffer buffer, TBufferPosition position) { buffer[4] = position; }

int TMemDataSet::RowIndexOfId(int32_t id) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].id == id) return static_cast<int>(i);
  return -1;
}

int TMemDataSet::ColumnOf(const TField* field) const {
  const int column = field->ColumnNumber() - 1;
  if (column < 0 || column >= static_cast<int>(columns_.size()))
    RaiseDataSetError(Format(dbtext::kFieldNotFound, {field->FieldName()}), this);
  return column;
}

void TMemDataSet::FillBuffer(TRecordBuffer buffer, const Row& row) {
  std::memcpy(buffer, &row.id, 4);
  buffer[4] = bpCurrent;
  std::memcpy(buffer + kHeaderSize, RowData(row), static_cast<size_t>(record_size_));
}

void TMemDataSet::StoreBuffer(TRecordBuffer buffer, Row& row) {
  const uint8_t* data = buffer + kHeaderSize;
  uint8_t* stored = RowData(row);
  for (size_t i = 0; i < columns_.size(); ++i) {
    const Column& c = columns_[i];
    if (IsBlobFieldType(c.type)) {
      auto pending = pending_blobs_.find(static_cast<int>(i));
      if (pending != pending_blobs_.end())
        row.blobs[i] = pending->second.empty() ? std::nullopt : std::optional<std::string>(pending->second);
      stored[c.offset] = row.blobs[i] ? 1 : 0;
      continue;
    }
    // A null value keeps no bytes.
    if (data[c.offset] == 0)
      std::memset(stored + c.offset, 0, static_cast<size_t>(c.size) + 1);
    else
      std::memcpy(stored + c.offset, data + c.offset, static_cast<size_t>(c.size) + 1);
  }
  pending_blobs_.clear();
}

// ---- positioning and fetching -----------------------------------------------------------

bool TMemDataSet::BookmarkExists(const TBookmark& bookmark) {
  if (!open_ || bookmark.size() != 4) return false;
  int32_t id;
  std::memcpy(&id, bookmark.data(), 4);
  return RowIndexOfId(id) >= 0;
}

int TMemDataSet::CompareBookmarkValues(const TBookmark& a, const TBookmark& b) {
  auto position = [this](const TBookmark& bm) {
    if (bm.size() != 4) return -1;
    int32_t id;
    std::memcpy(&id, bm.data(), 4);
    return RowIndexOfId(id);
  };
  const int pa = position(a), pb = position(b);
  if (pa < 0 || pb < 0) return (pa < 0) == (pb < 0) ? 0 : (pa < 0 ? 1 : -1);
  return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

void TMemDataSet::CursorToFirst() {
  cursor_ = -1;
  between_ = false;
}

void TMemDataSet::CursorToLast() {
  cursor_ = static_cast<int>(rows_.size());
  between_ = false;
}

void TMemDataSet::CursorToBookmark(const TBookmark& bookmark) {
  int32_t id = 0;
  if (bookmark.size() == 4) std::memcpy(&id, bookmark.data(), 4);
  const int index = bookmark.size() == 4 ? RowIndexOfId(id) : -1;
  if (index < 0) RaiseDataSetError(dbtext::kRecordNotFound, this);
  cursor_ = index;
  between_ = false;
}

void TMemDataSet::CursorToBuffer(TRecordBuffer buffer) {
  int32_t id;
  std::memcpy(&id, buffer, 4);
  const int index = RowIndexOfId(id);
  if (ReadBookmarkFlag(buffer) == bpInserted) {
    // A new record stands just before the row it was inserted at.
    cursor_ = index < 0 ? static_cast<int>(rows_.size()) : index;
    between_ = true;
    return;
  }
  if (index < 0) RaiseDataSetError(dbtext::kRecordNotFound, this);
  cursor_ = index;
  between_ = false;
}

bool TMemDataSet::RowPassesFilterText(const Row& row) const {
  if (!filter_) return true;
  if (filter_column_ == kColumnUnresolved) {
    // The last column of the name, by the locale's comparison, as it always was.
    filter_column_ = -1;
    for (size_t i = 0; i < columns_.size(); ++i)
      if (AnsiSameText(columns_[i].name, filter_->field)) filter_column_ = static_cast<int>(i);
  }
  const int column = filter_column_;
  if (column < 0) return true;  // a filter naming an unknown column is ignored, as the table does at open
  const Column& c = columns_[static_cast<size_t>(column)];
  const uint8_t* slot = RowData(row) + c.offset;
  if (slot[0] == 0) return false;
  std::string_view value(reinterpret_cast<const char*>(slot + 1), static_cast<size_t>(c.size));
  if (IsBlobFieldType(c.type)) value = *row.blobs[static_cast<size_t>(column)];
  double number;
  if (!filter_->quoted && NativeNumber(c.type, value, number)) return number == filter_->number;
  // The stored text up to its first NUL, without the blanks and controls at its end.
  std::string_view text = value.substr(0, value.find('\0'));
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text == filter_->text;
}

bool TMemDataSet::Accepts(const Row& row, TRecordBuffer buffer) {
  if (!Filtered()) return true;
  if (!RowPassesFilterText(row)) return false;
  if (!OnFilterRecord()) return true;
  bool accept = true;
  TTemporaryModeScope filtering(*this, dsFilter, buffer);
  OnFilterRecord()(this, accept);
  return accept;
}

bool TMemDataSet::Visible(const Row& row) {
  if (!Filtered()) return true;
  // Without a filter handler the filter text decides from the row alone.
  if (!OnFilterRecord()) return RowPassesFilterText(row);
  // A handler reads the row through a record buffer; one that counts rows
  // itself gets a buffer of its own.
  const size_t size = static_cast<size_t>(kHeaderSize + record_size_ + CalcFieldsSize()) + 1;
  std::vector<uint8_t> own;
  std::vector<uint8_t>& scratch = scratch_in_use_ ? own : scratch_;
  if (scratch.size() != size) scratch.assign(size, 0);
  TScopedValue<bool> use(scratch_in_use_, true);
  FillBuffer(scratch.data(), row);
  return Accepts(row, scratch.data());
}

TFetchResult TMemDataSet::FetchRecord(TRecordBuffer buffer, TFetchDirection direction, bool) {
  if (!open_) return frEOF;
  const int count = static_cast<int>(rows_.size());
  for (;;) {
    switch (direction) {
      case fdNext:
        if (between_)
          between_ = false;
        else
          cursor_ = std::min(cursor_ + 1, count);
        if (cursor_ >= count) {
          cursor_ = count;
          return frEOF;
        }
        break;
      case fdPrior:
        between_ = false;
        cursor_ = std::max(cursor_ - 1, -1);
        if (cursor_ < 0) return frBOF;
        break;
      case fdCurrent:
        if (between_ || cursor_ < 0 || cursor_ >= count) return frError;
        break;
    }
    const Row& row = rows_[static_cast<size_t>(cursor_)];
    FillBuffer(buffer, row);
    if (Accepts(row, buffer)) break;
    if (direction == fdCurrent) return frError;
  }
  ComputeCalcFields(buffer);
  return frOK;
}

int TMemDataSet::CursorRecordCount() {
  if (!open_) return 0;
  if (!Filtered()) return static_cast<int>(rows_.size());
  int n = 0;
  for (const Row& row : rows_)
    if (Visible(row)) ++n;
  return n;
}

int TMemDataSet::GetSequenceNo() {
  TRecordBuffer buffer = CurrentMode() == dsCalcFields ? ValueBuffer() : CurrentBuffer();
  if (!open_ || buffer == nullptr || ReadBookmarkFlag(buffer) != bpCurrent) return 0;
  int32_t id;
  std::memcpy(&id, buffer, 4);
  const int index = RowIndexOfId(id);
  if (index < 0) return 0;
  if (!Filtered()) return index + 1;
  int n = 0;
  for (int i = 0; i <= index; ++i)
    if (Visible(rows_[static_cast<size_t>(i)])) ++n;
  return n;
}

void TMemDataSet::SetSequenceNo(int n) {
  SettlePendingEdit();
  if (n < 1 || n == GetSequenceNo()) return;
  int seen = 0;
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (!Visible(rows_[i]) || ++seen != n) continue;
    FireBeforeScroll();
    cursor_ = static_cast<int>(i);
    between_ = false;
    ResyncBuffers({});
    FireAfterScroll();
    return;
  }
}

// ---- field values ------------------------------------------------------------------

std::optional<std::string> TMemDataSet::BlobValue(TRecordBuffer buffer, int column) const {
  const bool editing = CurrentMode() == dsEdit || CurrentMode() == dsInsert;
  if (editing && buffer == CurrentBuffer()) {
    auto pending = pending_blobs_.find(column);
    if (pending != pending_blobs_.end())
      return pending->second.empty() ? std::nullopt : std::optional<std::string>(pending->second);
  }
  if (buffer[4] == bpInserted || buffer[4] == bpBOF || buffer[4] == bpEOF) return std::nullopt;
  int32_t id;
  std::memcpy(&id, buffer, 4);
  const int index = RowIndexOfId(id);
  if (index < 0) return std::nullopt;
  return rows_[static_cast<size_t>(index)].blobs[static_cast<size_t>(column)];
}

bool TMemDataSet::FetchFieldValue(TField* field, void* destination) {
  TRecordBuffer buffer = ValueBuffer();
  if (buffer == nullptr) return false;
  if (field->FieldKind() != fkData) return ReadCalcFieldValue(buffer, field, destination);
  const int column = ColumnOf(field);
  const Column& c = columns_[static_cast<size_t>(column)];
  if (IsBlobFieldType(c.type)) return BlobValue(buffer, column).has_value();
  const uint8_t* slot = buffer + kHeaderSize + c.offset;
  if (slot[0] == 0) return false;
  if (destination != nullptr) std::memcpy(destination, slot + 1, static_cast<size_t>(c.size));
  return true;
}

void TMemDataSet::PutFieldValue(TField* field, const void* source) {
  TRecordBuffer buffer = ValueBuffer();
  if (buffer == nullptr) RaiseDataSetError(dbtext::kNotEditing, this);
  if (field->FieldKind() != fkData) {
    WriteCalcFieldValue(buffer, field, source);
  } else {
    const int column = ColumnOf(field);
    const Column& c = columns_[static_cast<size_t>(column)];
    if (IsBlobFieldType(c.type)) {
      // Blob bytes travel through OpenBlobStream; a direct write can only clear them.
      if (source == nullptr) pending_blobs_[column].clear();
    } else {
      uint8_t* slot = buffer + kHeaderSize + c.offset;
      if (source == nullptr) {
        std::memset(slot, 0, static_cast<size_t>(c.size) + 1);
      } else if (c.transform != nullptr) {
        transform_value_.assign(static_cast<const char*>(source), static_cast<size_t>(c.size));
        (*c.transform)(*field, transform_value_);
        transform_value_.resize(static_cast<size_t>(c.size));
        slot[0] = 1;
        std::memcpy(slot + 1, transform_value_.data(), static_cast<size_t>(c.size));
      } else {
        slot[0] = 1;
        std::memmove(slot + 1, source, static_cast<size_t>(c.size));
      }
    }
  }
  NotifyFieldWritten(field);
}

std::unique_ptr<TStream> TMemDataSet::OpenBlobStream(TField* field, TBlobAccessMode mode) {
  TRecordBuffer buffer = ValueBuffer();
  const int column = ColumnOf(field);
  std::string bytes;
  if (mode != bmWrite && buffer != nullptr) {
    const std::optional<std::string> value = BlobValue(buffer, column);
    if (value) bytes = *value;
  }
  return std::make_unique<BlobStream>(this, field, column, mode, bytes);
}

// ---- editing -----------------------------------------------------------------------

void TMemDataSet::PrepareEdit() { pending_blobs_.clear(); }

void TMemDataSet::AbandonEdit() { pending_blobs_.clear(); }

void TMemDataSet::StoreRecord() {
  TDataSet::StoreRecord();
  TRecordBuffer buffer = CurrentBuffer();
  if (buffer == nullptr) RaiseDataSetError(dbtext::kNotEditing, this);
  if (CurrentMode() == dsEdit) {
    int32_t id;
    std::memcpy(&id, buffer, 4);
    const int index = RowIndexOfId(id);
    if (index < 0) RaiseDataSetError(dbtext::kRecordNotFound, this);
    StoreBuffer(buffer, rows_[static_cast<size_t>(index)]);
    cursor_ = index;
    between_ = false;
    return;
  }
  // Insert: before the row the new record stands at, first (BOF) or last (EOF).
  Row row = NewRow();
  int at = static_cast<int>(rows_.size());
  const TBufferPosition flag = ReadBookmarkFlag(buffer);
  if (flag == bpBOF) {
    at = 0;
  } else if (flag == bpInserted) {
    int32_t before;
    std::memcpy(&before, buffer, 4);
    const int index = RowIndexOfId(before);
    if (index >= 0) at = index;
  }
  StoreBuffer(buffer, row);
  rows_.insert(rows_.begin() + at, std::move(row));
  cursor_ = at;
  between_ = false;
}

void TMemDataSet::AppendBuffer(TRecordBuffer buffer, bool append) {
  Row row = NewRow();
  StoreBuffer(buffer, row);
  int at = static_cast<int>(rows_.size());
  if (!append) at = std::clamp(cursor_, 0, static_cast<int>(rows_.size()));
  rows_.insert(rows_.begin() + at, std::move(row));
  cursor_ = at;
  between_ = false;
}

void TMemDataSet::RemoveRecord() {
  if (cursor_ < 0 || cursor_ >= static_cast<int>(rows_.size()) || between_)
    RaiseDataSetError(dbtext::kRecordNotFound, this);
  FreeRow(rows_[static_cast<size_t>(cursor_)]);
  rows_.erase(rows_.begin() + cursor_);
  // The cursor now stands on the following row, where the window resumes.
}

// ---- filter --------------------------------------------------------------------------

void TMemDataSet::ChangeFilter(const AnsiString& value) {
  std::optional<EqualityFilter> parsed;
  const AnsiString text = Trim(value);
  if (!text.empty()) {
    const size_t eq = text.find('=');
    EqualityFilter f;
    if (eq != AnsiString::npos) {
      f.field = Trim(std::string_view(text).substr(0, eq));
      f.text = Trim(std::string_view(text).substr(eq + 1));
    }
    const bool name_ok = !f.field.empty() && f.field.find_first_of(" <>!'\"") == AnsiString::npos;
    if (f.text.size() >= 2 && (f.text.front() == '\'' || f.text.front() == '"') && f.text.back() == f.text.front()) {
      f.text = f.text.substr(1, f.text.size() - 2);
      f.quoted = true;
    }
    if (eq == AnsiString::npos || !name_ok || (!f.quoted && !TryStrToFloat(f.text, f.number, PointSettings())))
      RaiseDataSetError(Format("Filter '%s' is not supported", {value}), this);
    parsed = f;
  }
  filter_ = parsed;
  filter_column_ = kColumnUnresolved;
  TDataSet::ChangeFilter(value);
  RestartAfterFilterChange();
}

void TMemDataSet::ChangeFiltered(bool value) {
  if (value == Filtered()) return;
  TDataSet::ChangeFiltered(value);
  RestartAfterFilterChange();
}

void TMemDataSet::RestartAfterFilterChange() {
  if (open_ && QueryActive()) GoFirst();
}

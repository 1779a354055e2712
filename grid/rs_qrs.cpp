#include "grid/rs_qrs.h"

#include <algorithm>
#include <cassert>

#include "grid/rs_rtm.h"
#include "grid/rs_str.h"
#include "toolkit/core/clock.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/dbtypes.h"

namespace {

[[noreturn]] void FieldNotFound(const AnsiString& name) {
  throw ERSError(Format(dbtext::kFieldNotFound, {name}));
}

[[noreturn]] void DuplicateName(const AnsiString& name) {
  throw EDatabaseError(Format(dbtext::kDuplicateFieldName, {name}));
}

// Whether key ends in ending and has something before it.
bool StripEnding(AnsiString& key, std::string_view ending) {
  if (key.size() <= ending.size() || key.compare(key.size() - ending.size(), ending.size(), ending) != 0)
    return false;
  key.resize(key.size() - ending.size());
  return true;
}

}  // namespace

// ---- TvpQRSField -----------------------------------------------------------------------

const TClassInfo& TvpQRSField::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TvpQRSField>, "TvpQRSField", &TCollectionItem::StaticClassInfo(),
                               [](TPublisher<TvpQRSField>& p) {
                                 p.String("FieldName", &TvpQRSField::FieldName, &TvpQRSField::SetFieldName);
                                 p.Ordinal("DataType", FieldTypeInfo(), &TvpQRSField::DataType,
                                           &TvpQRSField::SetDataType)
                                     .WithDefault(ftUnknown);
                                 p.Integer("Size", &TvpQRSField::Size, &TvpQRSField::SetSize).WithDefault(0);
                                 p.Integer("Precision", &TvpQRSField::Precision, &TvpQRSField::SetPrecision)
                                     .WithDefault(0);
                               });
  return info;
}

TvpQRSField::TvpQRSField(TCollection* collection) : TCollectionItem(collection) {
  if (TvpQuickRecordSet* set = RecordSet(); set != nullptr) {
    values_.reserve(static_cast<size_t>(set->RowCount()));
    for (int i = 0; i < set->RowCount(); ++i) values_.push_back(NewValue());
  }
}

TvpQRSField::~TvpQRSField() = default;

TvpQuickRecordSet* TvpQRSField::RecordSet() const {
  auto* fields = dynamic_cast<TvpQRSFields*>(Collection());
  return fields != nullptr ? fields->RecordSet() : nullptr;
}

std::unique_ptr<TvpUniValue> TvpQRSField::NewValue() const {
  auto value = std::make_unique<TvpUniValue>(false, false);
  value->SetDataType(data_type_);
  value->SetStoreDataType(false);
  return value;
}

void TvpQRSField::SetFieldName(const AnsiString& name) {
  if (!name.empty() && Collection() != nullptr) {
    for (int i = 0; i < Collection()->Count(); ++i) {
      auto* other = static_cast<TvpQRSField*>(Collection()->Items(i));
      if (other != this && AnsiSameText(other->field_name_, name)) DuplicateName(name);
    }
  }
  field_name_ = name;
}

void TvpQRSField::SetDataType(TFieldType type) {
  if (type == data_type_) return;
  data_type_ = type;
  // A row value takes its type once; a new type means new, null values.
  for (auto& value : values_) value = NewValue();
}

void TvpQRSField::SetSize(int size) {
  CheckNotNegative(size);
  size_ = size;
}

void TvpQRSField::SetPrecision(int precision) {
  CheckNotNegative(precision);
  precision_ = precision;
}

TvpUniValue* TvpQRSField::StoredValue(int stored_row) const {
  CheckIndex(stored_row, static_cast<int>(values_.size()));
  return values_[static_cast<size_t>(stored_row)].get();
}

void TvpQRSField::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TvpQRSField*>(source);
  if (other == nullptr) {
    TCollectionItem::Assign(source);
    return;
  }
  SetFieldName(other->field_name_);
  SetDataType(other->data_type_);
  SetSize(other->size_);
  SetPrecision(other->precision_);
}

AnsiString TvpQRSField::DisplayName() const {
  return field_name_.empty() ? TCollectionItem::DisplayName() : field_name_;
}

// ---- TvpQRSFields ----------------------------------------------------------------------

const TClassInfo& TvpQRSFields::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TvpQRSFields>, "TvpQRSFields", &TOwnedCollection::StaticClassInfo());
  return info;
}

TvpQRSFields::TvpQRSFields(TvpQuickRecordSet* owner)
    : TOwnedCollection(owner, [](TCollection* c) { return new TvpQRSField(c); }), record_set_(owner) {}

TvpQRSField* TvpQRSFields::AddField(const AnsiString& name, TFieldType type, int size) {
  if (FindField(name) != nullptr) DuplicateName(name);
  auto* field = static_cast<TvpQRSField*>(Add());
  TScopeFail unmade([field] { delete field; });
  field->SetFieldName(name);
  field->SetDataType(type);
  field->SetSize(size);
  return field;
}

TvpQRSField* TvpQRSFields::FindField(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Field(i)->FieldName(), name)) return Field(i);
  return nullptr;
}

void TvpQRSFields::Notify(TCollectionItem* item, TCollectionNotification action) {
  TOwnedCollection::Notify(item, action);
  if (action == cnExtracting && Count() == 1 && record_set_ != nullptr) record_set_->DropRows();
}

// ---- TvpQuickRecordSet -----------------------------------------------------------------

const TClassInfo& TvpQuickRecordSet::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TvpQuickRecordSet>, "TvpQuickRecordSet", &TPersistent::StaticClassInfo(),
      [](TPublisher<TvpQuickRecordSet>& p) {
        p.Object("Fields", TvpQRSFields::StaticClassInfo(), &TvpQuickRecordSet::Fields,
                 &TvpQuickRecordSet::SetFields);
        p.String("SortString", &TvpQuickRecordSet::SortString, &TvpQuickRecordSet::SetSortString);
      });
  return info;
}

TvpQuickRecordSet::TvpQuickRecordSet() : fields_(std::make_unique<TvpQRSFields>(this)) {}

TvpQuickRecordSet::~TvpQuickRecordSet() {
  // The fields go first, while the set they tell of their end is still whole.
  fields_->Clear();
  fields_.reset();
}

void TvpQuickRecordSet::SetFields(TvpQRSFields* fields) {
  if (fields == fields_.get()) return;
  fields_->Clear();
  if (fields != nullptr) fields_->Assign(fields);
}

std::vector<TvpQuickRecordSet::SortKey> TvpQuickRecordSet::ParseSort(const AnsiString& text) const {
  std::vector<SortKey> keys;
  if (text.empty()) return keys;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    AnsiString key = AnsiLowerCase(Trim(text.substr(start, comma == AnsiString::npos ? AnsiString::npos : comma - start)));
    bool descending = false;
    if (!StripEnding(key, " asc")) descending = StripEnding(key, " desc");
    keys.push_back({FieldByName(TrimRight(key)), descending});
    if (comma == AnsiString::npos) break;
    start = comma + 1;
  }
  return keys;
}

void TvpQuickRecordSet::SetSortString(const AnsiString& value) {
  const AnsiString text = Trim(value);
  if (text == sort_string_) return;
  const std::vector<SortKey> keys = ParseSort(text);  // refuses before anything changes
  sort_string_ = text;
  Reorder();
}

TvpQRSField* TvpQuickRecordSet::FieldByName(const AnsiString& name) const {
  TvpQRSField* field = fields_->FindField(name);
  if (field == nullptr) FieldNotFound(name);
  return field;
}

void TvpQuickRecordSet::CheckRow(int row, int count) const { CheckIndex(row, count); }

int TvpQuickRecordSet::StoredRow(int row) const {
  CheckRow(row, row_count_);
  return order_[static_cast<size_t>(row)];
}

int TvpQuickRecordSet::VisibleRow(int stored_row) const {
  const auto it = std::find(order_.begin(), order_.end(), stored_row);
  return it == order_.end() ? -1 : static_cast<int>(it - order_.begin());
}

TvpUniValue* TvpQuickRecordSet::ValueAt(const AnsiString& field_name, int row) const {
  return FieldByName(field_name)->StoredValue(StoredRow(row));
}

uint32_t TvpQuickRecordSet::RowStamp(int row) const { return stamps_[static_cast<size_t>(StoredRow(row))]; }

void TvpQuickRecordSet::BeginUpdate() { ++update_count_; }

void TvpQuickRecordSet::EndUpdate() {
  // An EndUpdate without its BeginUpdate is a caller's fault, ignored in release.
  assert(update_count_ > 0 && "EndUpdate without BeginUpdate");
  if (update_count_ == 0) return;
  if (--update_count_ == 0) Reorder();
}

int TvpQuickRecordSet::Append() { return Insert(row_count_); }

int TvpQuickRecordSet::Insert(int row) {
  // The position the caller sees is a visible row; under a sort it is stored elsewhere.
  const int stored = row == row_count_ ? row_count_ : StoredRow(row);
  const auto at = static_cast<size_t>(stored);
  for (int i = 0; i < fields_->Count(); ++i) {
    auto& values = fields_->Field(i)->values_;
    values.insert(values.begin() + static_cast<std::ptrdiff_t>(at), fields_->Field(i)->NewValue());
  }
  stamps_.insert(stamps_.begin() + static_cast<std::ptrdiff_t>(at),
                 GetTickCount() + static_cast<uint32_t>(row_count_));
  // Stored rows from the new one on move down by one.
  for (int& entry : order_)
    if (entry >= stored) ++entry;
  order_.insert(order_.begin() + static_cast<std::ptrdiff_t>(at), stored);
  ++row_count_;
  Reorder();
  return VisibleRow(stored);
}

void TvpQuickRecordSet::Delete(int row) {
  const int stored = StoredRow(row);
  const auto at = static_cast<std::ptrdiff_t>(stored);
  for (int i = 0; i < fields_->Count(); ++i) {
    auto& values = fields_->Field(i)->values_;
    values.erase(values.begin() + at);
  }
  stamps_.erase(stamps_.begin() + at);
  order_.erase(order_.begin() + row);
  for (int& entry : order_)
    if (entry > stored) --entry;
  --row_count_;
  Reorder();
}

void TvpQuickRecordSet::AppendFrom(const TvpQuickRecordSet& source, int first, int count) {
  if (count <= 0 || source.RowCount() == 0) return;
  CheckRow(first, source.RowCount());
  const int last = first + std::min(count, source.RowCount() - first);
  {
    TUpdateScope update(*this);
    for (int row = first; row < last; ++row) {
      Append();
      const int stored = row_count_ - 1;
      for (int i = 0; i < source.fields_->Count(); ++i) {
        TvpQRSField* from = source.fields_->Field(i);
        if (TvpQRSField* to = fields_->FindField(from->FieldName()); to != nullptr)
          to->StoredValue(stored)->Assign(from->StoredValue(source.StoredRow(row)));
      }
    }
  }
}

void TvpQuickRecordSet::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TvpQuickRecordSet*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  SetFields(other->fields_.get());
  AppendFrom(*other, 0, other->RowCount());
}

void TvpQuickRecordSet::GetFieldDefs(TFieldDefs& defs, AnsiString& field_list) const {
  {
    TUpdateScope update(defs);
    defs.Clear();
    field_list.clear();
    for (int i = 0; i < fields_->Count(); ++i) {
      const TvpQRSField* field = fields_->Field(i);
      TFieldDef* def = defs.AppendNamedDef(field->FieldName(), field->DataType(), field->Size());
      def->SetPrecision(field->Precision());
      field_list = ListAdd(field_list, field->FieldName(), ';');
    }
  }
}

void TvpQuickRecordSet::CreateFields(const TFieldDefs& defs) {
  for (int i = 0; i < defs.Count(); ++i) {
    const TFieldDef* def = defs.DefAt(i);
    fields_->AddField(def->Name(), def->DataType(), def->Size())->SetPrecision(def->Precision());
  }
}

void TvpQuickRecordSet::RecordChanged(int change_kind, const AnsiString& field_list, int row) {
  if (OnRecordChange) OnRecordChange(this, change_kind, field_list, row);
}

void TvpQuickRecordSet::ResetOrder() {
  order_.resize(static_cast<size_t>(row_count_));
  for (int i = 0; i < row_count_; ++i) order_[static_cast<size_t>(i)] = i;
}

void TvpQuickRecordSet::Reorder() {
  if (update_count_ > 0) return;
  ResetOrder();
  if (sort_string_.empty()) return;
  // A field named by the sort may have gone since the sort was set: its key drops out.
  std::vector<SortKey> keys;
  size_t start = 0;
  for (;;) {
    const size_t comma = sort_string_.find(',', start);
    try {
      auto one = ParseSort(sort_string_.substr(start, comma == AnsiString::npos ? AnsiString::npos : comma - start));
      keys.insert(keys.end(), one.begin(), one.end());
    } catch (const ERSError&) {
    }
    if (comma == AnsiString::npos) break;
    start = comma + 1;
  }
  if (keys.empty()) return;
  // Rows that compare equal keep their stored order, so a sort shows the same
  // rows the same way every time.
  std::stable_sort(order_.begin(), order_.end(), [&keys](int a, int b) {
    for (const SortKey& key : keys) {
      const TvpUniValue& va = *key.field->values_[static_cast<size_t>(a)];
      const TvpUniValue& vb = *key.field->values_[static_cast<size_t>(b)];
      const int c = key.descending ? vb.Compare(va, true, true) : va.Compare(vb, true, true);
      if (c != 0) return c < 0;
    }
    return false;
  });
}

void TvpQuickRecordSet::DropRows() {
  // Called as the last field leaves, from its destructor: its values go with
  // it and are not touched here.
  stamps_.clear();
  order_.clear();
  row_count_ = 0;
}

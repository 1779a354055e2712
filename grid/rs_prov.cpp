#include "grid/rs_prov.h"

#include "grid/rs_rtm.h"
#include "grid/rs_str.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/dbtypes.h"

namespace {

constexpr int kStringsValueSize = 4096;

}  // namespace

// ---- TodsObjectParams ----------------------------------------------------------------------

const TClassInfo& TodsObjectParams::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TodsObjectParams>, "TodsObjectParams", &TPersistent::StaticClassInfo(),
      [](TPublisher<TodsObjectParams>& p) {
        p.Boolean("ExpandSets", &TodsObjectParams::ExpandSets, &TodsObjectParams::SetExpandSets).WithDefault(0);
        p.String("BlobProperties", &TodsObjectParams::BlobProperties, &TodsObjectParams::SetBlobProperties);
        p.Integer("StringLength", &TodsObjectParams::StringLength, &TodsObjectParams::SetStringLength)
            .WithDefault(1024);
        p.String("NullableProperties", &TodsObjectParams::NullableProperties,
                 &TodsObjectParams::SetNullableProperties);
        p.String("NullableTypes", &TodsObjectParams::NullableTypes, &TodsObjectParams::SetNullableTypes);
      });
  return info;
}

void TodsObjectParams::CheckClosed() const {
  if (data_set_ != nullptr && data_set_->QueryActive()) throw EDatabaseError(dbtext::kDataSetOpen);
}

void TodsObjectParams::SetExpandSets(bool value) {
  CheckClosed();
  expand_sets_ = value;
}

void TodsObjectParams::SetBlobProperties(const AnsiString& value) {
  CheckClosed();
  blob_properties_ = value;
}

void TodsObjectParams::SetStringLength(int value) {
  CheckClosed();
  CheckPositive(value);
  string_length_ = value;
}

void TodsObjectParams::SetNullableProperties(const AnsiString& value) {
  CheckClosed();
  nullable_properties_ = value;
}

void TodsObjectParams::SetNullableTypes(const AnsiString& value) {
  CheckClosed();
  nullable_types_ = value;
}

void TodsObjectParams::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TodsObjectParams*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  SetExpandSets(other->expand_sets_);
  SetBlobProperties(other->blob_properties_);
  SetStringLength(other->string_length_);
  SetNullableProperties(other->nullable_properties_);
  SetNullableTypes(other->nullable_types_);
}

// ---- TodsDataProvider ------------------------------------------------------------------------

TodsDataProvider::TodsDataProvider(TDataSet* data_set, const TodsObjectParams& params)
    : data_set_(data_set), params_(params) {}

TodsDataProvider::~TodsDataProvider() = default;

void TodsDataProvider::GetFieldValue(const AnsiString& field_name, int index, TvpUniValue& value) {
  ReadFieldValue(field_name, index, value);
  if (value.IsNull()) return;
  const auto it = text_sizes_.find(AnsiLowerCase(field_name));
  if (it == text_sizes_.end()) return;
  // The record buffer holds Size characters of the field; the rest is cut here.
  const auto size = static_cast<size_t>(it->second);
  if (value.DataType() == ftWideString) {
    const std::u16string text = value.Accessor().GetAsWideString();
    if (text.size() > size) value.Accessor().SetAsWideString(text.substr(0, size));
  } else {
    const AnsiString text = value.AsString();
    if (text.size() > size) value.SetAsString(text.substr(0, size));
  }
}

void TodsDataProvider::NoteFieldSizes(const TFieldDefs& defs) {
  text_sizes_.clear();
  for (int i = 0; i < defs.Count(); ++i) {
    const TFieldDef* def = defs.DefAt(i);
    if (def->DataType() == ftString || def->DataType() == ftFixedChar)
      text_sizes_[AnsiLowerCase(def->Name())] = def->Size();
    else if (def->DataType() == ftWideString)
      text_sizes_[AnsiLowerCase(def->Name())] = def->Size() / 2;
  }
}

void TodsDataProvider::NotifyChange(TodsChangeKind, const AnsiString&, int) {}

TPersistent* TodsDataProvider::ObjectAt(int) const { return nullptr; }

void TodsDataProvider::CheckRecord(int index) const { CheckIndex(index, RecordCount()); }

// ---- TCustomObjectDataProvider -----------------------------------------------------------------

AnsiString TCustomObjectDataProvider::LoadObjectFieldDefs(TFieldDefs& defs, const TClassInfo& cls,
                                                          const TPersistent* object) {
  set_fields_.Clear();
  member_fields_.Clear();
  const AnsiString list = FieldDefsFromPublished(defs, cls, object, Params().StringLength(),
                                                 Params().BlobProperties(), Params().ExpandSets(), set_fields_,
                                                 member_fields_);
  NoteFieldSizes(defs);
  return list;
}

AnsiString TCustomObjectDataProvider::PropertyFieldOf(const AnsiString& field_name, AnsiString* member) const {
  for (int i = 0; i < member_fields_.Count(); ++i) {
    if (AnsiSameText(member_fields_.Strings(i), field_name)) {
      const AnsiString set_field = set_fields_.Strings(i);
      if (member != nullptr) *member = field_name.substr(std::min(field_name.size(), set_field.size() + 1));
      return set_field;
    }
  }
  return field_name;
}

int TCustomObjectDataProvider::MemberBit(const TvpPropAccessor& accessor, const AnsiString& member) const {
  const int bit = ListIndexOf(accessor.SetNames(), member, ';');
  return bit > 31 ? -1 : bit;
}

bool TCustomObjectDataProvider::ReadsAsNull(TvpPropAccessor& accessor, const TPersistent* object) const {
  if (IsNullByObjInfo(object, accessor.PropName())) return true;
  const bool listed = (accessor.PropInfo()->PropType != nullptr &&
                       ListContains(Params().NullableTypes(), accessor.PropInfo()->PropType->Name, ';')) ||
                      ListContains(Params().NullableProperties(), accessor.PropName(), ';');
  return listed && accessor.IsEmpty();
}

void TCustomObjectDataProvider::ReadFieldValue(const AnsiString& field_name, int index, TvpUniValue& value) {
  TPersistent* object = ObjectAt(index);
  AnsiString member;
  const AnsiString prop_field = PropertyFieldOf(field_name, &member);
  TvpPropAccessor accessor(object, FieldToPropertyName(object, prop_field));
  if (!accessor.Available()) return;
  if (ReadsAsNull(accessor, object)) {
    value.Clear();
    return;
  }
  if (prop_field == field_name) {
    value.Assign(&accessor);
    return;
  }
  const int bit = MemberBit(accessor, member);
  value.SetAsBoolean(bit >= 0 && ((static_cast<uint64_t>(accessor.AsLargeInt()) >> bit) & 1) != 0);
}

void TCustomObjectDataProvider::SetFieldValue(const AnsiString& field_name, int index, const TvpUniValue& value) {
  TPersistent* object = ObjectAt(index);
  AnsiString member;
  const AnsiString prop_field = PropertyFieldOf(field_name, &member);
  TvpPropAccessor accessor(object, FieldToPropertyName(object, prop_field));
  if (!accessor.Available()) return;
  if (prop_field == field_name) {
    accessor.Assign(&value);
    return;
  }
  const int bit = MemberBit(accessor, member);
  if (bit < 0) return;
  int64_t bits = accessor.AsLargeInt();
  if (!value.IsNull() && value.AsBoolean()) bits |= int64_t{1} << bit;
  else bits &= ~(int64_t{1} << bit);
  accessor.Value().SetAsLargeInt(bits);
  accessor.WriteValue();
}

// ---- TObjectDataProvider ------------------------------------------------------------------------

TObjectDataProvider::TObjectDataProvider(TDataSet* data_set, const TodsObjectParams& params, TPersistent* object)
    : TCustomObjectDataProvider(data_set, params), object_(object) {}

AnsiString TObjectDataProvider::LoadFieldDefs(TFieldDefs& defs) {
  return LoadObjectFieldDefs(defs, *object_->ClassInfo(), object_);
}

TodsKey TObjectDataProvider::KeyOf(int) const { return reinterpret_cast<TodsKey>(object_); }

int TObjectDataProvider::IndexOfKey(TodsKey) const { return 0; }

int TObjectDataProvider::InsertRecord(int) { return -1; }

void TObjectDataProvider::DeleteRecord(int) {}

// ---- TCollectionDataProvider ------------------------------------------------------------------

TCollectionDataProvider::TCollectionDataProvider(TDataSet* data_set, const TodsObjectParams& params,
                                                 TCollection* collection)
    : TCustomObjectDataProvider(data_set, params), collection_(collection) {}

AnsiString TCollectionDataProvider::LoadFieldDefs(TFieldDefs& defs) {
  const TClassInfo* item_class = collection_->ItemClass();
  if (item_class == nullptr) item_class = &TCollectionItem::StaticClassInfo();
  return LoadObjectFieldDefs(defs, *item_class, collection_);
}

TodsKey TCollectionDataProvider::KeyOf(int index) const { return reinterpret_cast<TodsKey>(ObjectAt(index)); }

int TCollectionDataProvider::IndexOfKey(TodsKey key) const {
  for (int i = 0; i < collection_->Count(); ++i)
    if (reinterpret_cast<TodsKey>(collection_->Items(i)) == key) return i;
  return -1;
}

int TCollectionDataProvider::InsertRecord(int index) {
  if (index == -1) return collection_->Add()->Index();
  return collection_->Insert(index)->Index();
}

void TCollectionDataProvider::DeleteRecord(int index) { collection_->Delete(index); }

TPersistent* TCollectionDataProvider::ObjectAt(int index) const { return collection_->Items(index); }

// ---- TIndexedDataProvider -------------------------------------------------------------------

int TIndexedDataProvider::IndexOfKey(TodsKey key) const {
  return key < static_cast<TodsKey>(RecordCount()) ? static_cast<int>(key) : -1;
}

// ---- TStringsDataProvider -----------------------------------------------------------------------

TStringsDataProvider::TStringsDataProvider(TDataSet* data_set, const TodsObjectParams& params, TStrings* strings)
    : TIndexedDataProvider(data_set, params), strings_(strings) {}

AnsiString TStringsDataProvider::LoadFieldDefs(TFieldDefs& defs) {
  {
    TUpdateScope update(defs);
    defs.Clear();
    TFieldAttributes read_only;
    read_only.Include(faReadonly);
    defs.AppendNamedDef("no", ftInteger)->ChangeAttributes(read_only);
    defs.AppendNamedDef("value", ftString, kStringsValueSize);
  }
  NoteFieldSizes(defs);
  return "no;value";
}

void TStringsDataProvider::ReadFieldValue(const AnsiString& field_name, int index, TvpUniValue& value) {
  CheckRecord(index);
  if (AnsiSameText(field_name, "no")) value.SetAsInteger(index);
  else if (AnsiSameText(field_name, "value")) value.SetAsString(strings_->Strings(index));
}

void TStringsDataProvider::SetFieldValue(const AnsiString& field_name, int index, const TvpUniValue& value) {
  CheckRecord(index);
  if (AnsiSameText(field_name, "value")) strings_->SetStrings(index, value.AsString());
}

int TStringsDataProvider::InsertRecord(int index) {
  if (index == -1) return strings_->Add("");
  strings_->Insert(index, "");
  return index;
}

void TStringsDataProvider::DeleteRecord(int index) { strings_->Delete(index); }

// ---- TRecordSetDataProvider ---------------------------------------------------------------------

TRecordSetDataProvider::TRecordSetDataProvider(TDataSet* data_set, const TodsObjectParams& params,
                                               TvpQuickRecordSet* record_set)
    : TIndexedDataProvider(data_set, params), record_set_(record_set) {}

AnsiString TRecordSetDataProvider::LoadFieldDefs(TFieldDefs& defs) {
  AnsiString list;
  record_set_->GetFieldDefs(defs, list);
  NoteFieldSizes(defs);
  return list;
}

void TRecordSetDataProvider::ReadFieldValue(const AnsiString& field_name, int index, TvpUniValue& value) {
  value.Assign(record_set_->ValueAt(field_name, index));
}

void TRecordSetDataProvider::SetFieldValue(const AnsiString& field_name, int index, const TvpUniValue& value) {
  record_set_->ValueAt(field_name, index)->Assign(&value);
}

int TRecordSetDataProvider::InsertRecord(int index) {
  return index == -1 ? record_set_->Append() : record_set_->Insert(index);
}

void TRecordSetDataProvider::DeleteRecord(int index) { record_set_->Delete(index); }

void TRecordSetDataProvider::NotifyChange(TodsChangeKind kind, const AnsiString& field_list, int index) {
  record_set_->RecordChanged(kind, field_list, index);
}

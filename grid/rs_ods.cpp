#include "grid/rs_ods.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "grid/rs_prop.h"
#include "grid/rs_str.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/text.h"

namespace {

constexpr const char* kNoProvider = "No data provider. Please assign value to \"ObjectRef\" property";
constexpr const char* kBookmarkNotFound = "Bookmark not found";
constexpr const char* kInternalError = "Internal error: %s";

bool WritableMode(TDataSetMode mode) {
  switch (mode) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc: return true;
    default: return false;
  }
}

template <class T>
void Store(void* destination, T value) {
  std::memcpy(destination, &value, sizeof value);
}

template <class T>
T Load(const void* source) {
  T value{};
  std::memcpy(&value, source, sizeof value);
  return value;
}

std::vector<AnsiString> SplitNames(const AnsiString& list) {
  std::vector<AnsiString> names;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(';', start), list.size());
    const AnsiString name = Trim(std::string_view(list).substr(start, end - start));
    if (!name.empty()) names.push_back(name);
    start = end + 1;
  }
  return names;
}

// Writes value in the native layout of field (the text cut to the field, so
// that the destination, sized by the field, always holds it).
void ToNative(const TField* field, const TvpUniValue& value, void* destination) {
  switch (field->DataType()) {
    case ftString:
    case ftFixedChar: {
      const AnsiString text = value.AsString();
      const size_t n = std::min(text.size(), static_cast<size_t>(std::max(0, field->Size())));
      std::memcpy(destination, text.data(), n);
      static_cast<char*>(destination)[n] = '\0';
      return;
    }
    case ftSmallint: Store(destination, static_cast<int16_t>(value.AsInteger())); return;
    case ftWord: Store(destination, static_cast<uint16_t>(value.AsInteger())); return;
    case ftInteger:
    case ftAutoInc: Store(destination, static_cast<int32_t>(value.AsInteger())); return;
    case ftLargeint: Store(destination, value.AsLargeInt()); return;
    case ftBoolean: Store(destination, static_cast<int16_t>(value.AsBoolean() ? -1 : 0)); return;
    case ftFloat:
    case ftCurrency: Store(destination, value.AsFloat()); return;
    case ftDate:
    case ftTime:
    case ftDateTime: {
      const double when = value.AsDateTime();
      TDataSet::ConvertValue(field, &when, destination, true);
      return;
    }
    case ftBCD: Store(destination, value.AsBCD()); return;
    case ftTimeStamp: Store(destination, value.AsSQLTimeStamp()); return;
    default: {
      const size_t size = static_cast<size_t>(std::max(0, field->NativeByteSize()));
      const std::string_view raw = value.RawData();
      const size_t n = std::min(size, raw.size());
      std::memcpy(destination, raw.data(), n);
      std::memset(static_cast<char*>(destination) + n, 0, size - n);
      return;
    }
  }
}

void FromNative(const TField* field, const void* source, TvpUniValue& value) {
  switch (field->DataType()) {
    case ftString:
    case ftFixedChar: {
      const char* text = static_cast<const char*>(source);
      value.SetAsString(AnsiString(text, strnlen(text, static_cast<size_t>(std::max(0, field->Size())))));
      return;
    }
    case ftSmallint: value.SetAsInteger(Load<int16_t>(source)); return;
    case ftWord: value.SetAsInteger(Load<uint16_t>(source)); return;
    case ftInteger:
    case ftAutoInc: value.SetAsInteger(Load<int32_t>(source)); return;
    case ftLargeint: value.SetAsLargeInt(Load<int64_t>(source)); return;
    case ftBoolean: value.SetAsBoolean(Load<uint16_t>(source) != 0); return;
    case ftFloat:
    case ftCurrency: value.SetAsFloat(Load<double>(source)); return;
    case ftDate:
    case ftTime:
    case ftDateTime: {
      double when = 0;
      TDataSet::ConvertValue(field, source, &when, false);
      value.SetAsDateTime(when);
      return;
    }
    case ftBCD: value.Accessor().SetAsBCD(Load<TBcd>(source)); return;
    case ftTimeStamp: value.Accessor().SetAsSQLTimeStamp(Load<TSQLTimeStamp>(source)); return;
    default: value.WriteRaw(source, static_cast<size_t>(std::max(0, field->NativeByteSize()))); return;
  }
}

}  // namespace

const TClassInfo& TObjDataSet::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TObjDataSet>, "TObjDataSet", &TDataSet::StaticClassInfo(), [](TPublisher<TObjDataSet>& p) {
        PublishDataSetConstraints(p);
        p.Object("CompRef", TComponent::StaticClassInfo(), &TObjDataSet::CompRef, &TObjDataSet::SetCompRef);
        p.String("Path", &TObjDataSet::Path, &TObjDataSet::SetPath);
        p.Boolean("ReadOnly", &TObjDataSet::ReadOnly, &TObjDataSet::SetReadOnly).WithDefault(0);
        p.Boolean("UseEditBuffer", &TObjDataSet::UseEditBuffer, &TObjDataSet::SetUseEditBuffer).WithDefault(1);
        p.Object("ParamsObject", TodsObjectParams::StaticClassInfo(), &TObjDataSet::ParamsObject,
                 &TObjDataSet::SetParamsObject);
        PublishDataSetActive(p);
        static const TTypeInfo cursor_move = TTypeInfo::Simple("TCursorMoveEvent", tkMethod);
        p.Event("OnCursorMove", cursor_move);
        PublishDataSetEvents(p);
      });
  return info;
}

// The bytes of a blob field; a written stream hands them to the record being
// edited when it is freed.
class TObjDataSet::BlobStream : public TMemoryStream {
 public:
  BlobStream(TObjDataSet* owner, TField* field, bool modified) : owner_(owner), field_(field), modified_(modified) {}
  ~BlobStream() override {
    if (!modified_) return;
    owner_->blob_written_ = this;
    try {
      owner_->PutFieldValue(field_, this);
    } catch (const std::exception& e) {
      owner_->ReportError(e);
    }
    owner_->blob_written_ = nullptr;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    modified_ = true;
    return TMemoryStream::Write(buffer, count);
  }

 private:
  TObjDataSet* owner_;
  TField* field_;
  bool modified_;
};

TObjDataSet::TObjDataSet(TComponent* owner)
    : TDataSet(owner), params_(std::make_unique<TodsObjectParams>(this)) {}

TObjDataSet::~TObjDataSet() {
  try {
    Deactivate();
  } catch (const std::exception& e) {
    ReportError(e);
  }
  destroying_ = true;
  provider_.reset();
}

// ---- source and provider ---------------------------------------------------------------------

void TObjDataSet::SetCompRef(TComponent* value) {
  if (value == comp_ref_) return;
  comp_ref_ = value;
  SetSource(comp_ref_);
}

void TObjDataSet::DefineProperties(TFiler& filer) {
  TDataSet::DefineProperties(filer);
  filer.DefineProperty("ExpandSetProps", [this](TReader& r) { params_->SetExpandSets(r.ReadBoolean()); }, nullptr,
                       false);
  filer.DefineProperty(
      "StrFieldsLength", [this](TReader& r) { params_->SetStringLength(static_cast<int>(r.ReadInteger())); }, nullptr,
      false);
  filer.DefineProperty("BlobStrTypes", [this](TReader& r) { params_->SetBlobProperties(r.ReadString()); }, nullptr,
                       false);
}

void TObjDataSet::Loaded() {
  // A set opened while it was read (on whatever it showed then) starts anew
  // on what the stream gave it.
  if (QueryActive()) Deactivate();
  TDataSet::Loaded();
}

void TObjDataSet::SetSource(TPersistent* source) {
  const bool was_active = QueryActive();
  Deactivate();
  source_ = source;
  RecreateProvider();
  if (was_active && source_ != nullptr) Activate();
}

void TObjDataSet::SetPath(const AnsiString& value) {
  RequireClosed();
  path_ = value;
  RecreateProvider();
}

void TObjDataSet::SetReadOnly(bool value) {
  if (value == read_only_) return;
  if (CurrentMode() == dsEdit || CurrentMode() == dsInsert) DiscardChanges();
  read_only_ = value;
}

void TObjDataSet::RecreateProvider() {
  provider_.reset();
  if (destroying_ || source_ == nullptr) return;
  TPersistent* target = path_.empty() ? source_ : ResolvePropertyPath(source_, path_);
  if (target == nullptr) target = source_;
  if (auto* collection = dynamic_cast<TCollection*>(target))
    provider_ = std::make_unique<TCollectionDataProvider>(this, *params_, collection);
  else if (auto* record_set = dynamic_cast<TvpQuickRecordSet*>(target))
    provider_ = std::make_unique<TRecordSetDataProvider>(this, *params_, record_set);
  else if (auto* strings = dynamic_cast<TStrings*>(target))
    provider_ = std::make_unique<TStringsDataProvider>(this, *params_, strings);
  else
    provider_ = std::make_unique<TObjectDataProvider>(this, *params_, target);
}

// ---- open and close -------------------------------------------------------------------------

void TObjDataSet::LoadFieldDefs() {
  FieldDefs().Clear();
  field_list_.clear();
  if (provider_) field_list_ = provider_->LoadFieldDefs(FieldDefs());
}

void TObjDataSet::OpenBackend() {
  if (source_ == nullptr || !provider_) throw ERSError(AnsiString(kNoProvider));
  changed_ = false;
  modified_.clear();
  cursor_ = -1;
  SetBookmarkSize(static_cast<int>(sizeof(TodsKey)));
  LoadFieldDefs();
  FieldDefs().SetUpdated(true);
  if (DefaultFields()) BuildDefaultFields();
  AttachFields(true);
}

void TObjDataSet::CloseBackend() {
  AttachFields(false);
  if (DefaultFields()) DropDefaultFields();
  cursor_ = -1;
}

// ---- buffers ------------------------------------------------------------------------------

TodsKey TObjDataSet::KeyOf(TRecordBuffer buffer) { return Load<TodsKey>(buffer); }

TObjDataSet::Values& TObjDataSet::ValuesOf(TRecordBuffer buffer) { return *Load<Values*>(buffer + kValuesOffset); }

TvpUniValue* TObjDataSet::ValueNamed(TRecordBuffer buffer, const AnsiString& name) {
  const AnsiString lower = AnsiLowerCase(name);
  for (FieldValue& v : ValuesOf(buffer))
    if (v.name == lower) return v.value.get();
  return nullptr;
}

TFieldType TObjDataSet::DefType(const AnsiString& name) const {
  const TFieldDef* def = FieldDefs().Find(name);
  return def == nullptr ? ftUnknown : def->DataType();
}

TRecordBuffer TObjDataSet::NewRecordBuffer() {
  TRecordBuffer buffer = TDataSet::NewRecordBuffer();
  auto values = std::make_unique<Values>();
  for (const AnsiString& name : SplitNames(field_list_)) {
    FieldValue v{AnsiLowerCase(name), std::make_unique<TvpUniValue>(false, false)};
    v.value->SetDataType(DefType(name));
    values->push_back(std::move(v));
  }
  Store(buffer + kValuesOffset, values.release());
  return buffer;
}

void TObjDataSet::DisposeRecordBuffer(TRecordBuffer buffer) {
  delete Load<Values*>(buffer + kValuesOffset);
  TDataSet::DisposeRecordBuffer(buffer);
}

void TObjDataSet::BlankRecordBuffer(TRecordBuffer buffer) {
  Store(buffer, TodsKey{0});
  buffer[kFlagOffset] = bpCurrent;
  for (FieldValue& v : ValuesOf(buffer)) v.value->Clear();
}

void TObjDataSet::ReadBookmark(TRecordBuffer buffer, void* destination) {
  std::memcpy(destination, buffer, sizeof(TodsKey));
}

void TObjDataSet::WriteBookmark(TRecordBuffer buffer, const TBookmark& bookmark) {
  bool given = false;
  Store(buffer, KeyOfBookmark(bookmark, given));
}

TBufferPosition TObjDataSet::ReadBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBufferPosition>(buffer[kFlagOffset]);
}

void TObjDataSet::WriteBookmarkFlag(TRecordBuffer buffer, TBufferPosition position) {
  buffer[kFlagOffset] = static_cast<uint8_t>(position);
}

// ---- cursor -------------------------------------------------------------------------------

TodsKey TObjDataSet::KeyOfBookmark(const TBookmark& bookmark, bool& given) {
  given = bookmark.size() == sizeof(TodsKey);
  return given ? Load<TodsKey>(bookmark.data()) : TodsKey{0};
}

int TObjDataSet::RecordIndexOfKey(TodsKey key) const {
  if (!provider_) return -1;
  if (key == reinterpret_cast<TodsKey>(source_)) return 0;
  return provider_->IndexOfKey(key);
}

int TObjDataSet::ProviderIndex() const {
  if (!provider_ || !provider_->IsList()) return 0;
  if (CurrentMode() == dsInsert) {
    if (cursor_ == -1) return 0;
    if (cursor_ == Count()) return Count() - 1;
  }
  return cursor_;
}

bool TObjDataSet::MoveCursor(int offset) {
  int d = offset;
  for (;;) {
    cursor_ += d;
    const int count = Count();
    if (cursor_ < 0 && d <= 0) {
      cursor_ = -1;
      return true;
    }
    if (cursor_ >= count && d >= 0) {
      cursor_ = count;
      return true;
    }
    // A skip of 0 on a record past an end has no direction to go on in.
    if (cursor_ < 0 || cursor_ >= count) {
      cursor_ = d < 0 ? -1 : count;
      return true;
    }
    bool skipped = false;
    if (OnCursorMove) OnCursorMove(this, d, skipped);
    if (!skipped || d == 0) return false;
    d = d > 0 ? 1 : -1;
  }
}

void TObjDataSet::CursorToFirst() {
  cursor_ = -1;
  CursorMovedToEnd();
}

void TObjDataSet::CursorToLast() {
  cursor_ = Count();
  CursorMovedToEnd();
}

void TObjDataSet::CursorToBookmark(const TBookmark& bookmark) {
  bool given = false;
  const TodsKey key = KeyOfBookmark(bookmark, given);
  const int index = given ? RecordIndexOfKey(key) : -1;
  if (index < 0) throw ERSError(AnsiString(kBookmarkNotFound));
  MoveCursor(index - cursor_);
}

void TObjDataSet::CursorToBuffer(TRecordBuffer buffer) {
  switch (ReadBookmarkFlag(buffer)) {
    case bpBOF: cursor_ = -1; return;
    case bpEOF: cursor_ = Count(); return;
    default: {
      const int index = RecordIndexOfKey(KeyOf(buffer));
      // An inserted record whose neighbour is gone stands after the last one.
      cursor_ = index < 0 && ReadBookmarkFlag(buffer) == bpInserted ? Count() : index;
    }
  }
}

bool TObjDataSet::BookmarkExists(const TBookmark& bookmark) {
  bool given = false;
  const TodsKey key = KeyOfBookmark(bookmark, given);
  return given && RecordIndexOfKey(key) != -1;
}

int TObjDataSet::CompareBookmarkValues(const TBookmark& a, const TBookmark& b) {
  bool a_given = false, b_given = false;
  const TodsKey ka = KeyOfBookmark(a, a_given), kb = KeyOfBookmark(b, b_given);
  const int64_t first = a_given ? RecordIndexOfKey(ka) : INT_MAX;
  if (!b_given) return static_cast<int>(first);
  // Kept within an int: a missing first bookmark against a gone second one.
  return static_cast<int>(std::clamp<int64_t>(first - RecordIndexOfKey(kb), INT_MIN, INT_MAX));
}

int TObjDataSet::CursorRecordCount() { return source_ == nullptr || !provider_ ? -1 : Count(); }

int TObjDataSet::GetSequenceNo() {
  SyncBackendToCurrent();
  const int count = Count();
  if (count == 0) return 0;
  if (cursor_ == -1) return 1;
  if (cursor_ == count) return cursor_;
  return cursor_ + 1;
}

void TObjDataSet::SetSequenceNo(int n) {
  if (n < 1 || n > Count()) return;
  MoveCursor(n - cursor_ - 1);
  ResyncBuffers({});
}

// ---- records and values ------------------------------------------------------------------------

void TObjDataSet::ReadValues(TRecordBuffer buffer, int index) {
  for (FieldValue& v : ValuesOf(buffer)) provider_->GetFieldValue(v.name, index, *v.value);
}

TFetchResult TObjDataSet::FetchRecord(TRecordBuffer buffer, TFetchDirection direction, bool check_errors) {
  TFetchResult result = frOK;
  if (!provider_ || Count() == 0) {
    result = direction == fdNext ? frEOF : direction == fdPrior ? frBOF : frError;
  } else if (direction == fdNext) {
    if (MoveCursor(1)) result = frEOF;
  } else if (direction == fdPrior) {
    if (MoveCursor(-1)) result = frBOF;
  } else if (cursor_ < 0 || cursor_ >= Count()) {
    result = frError;
  }
  if (result == frOK) {
    Store(buffer, provider_->KeyOf(cursor_));
    buffer[kFlagOffset] = bpCurrent;
    ReadValues(buffer, ProviderIndex());
    ComputeCalcFields(buffer);
  } else if (result == frError && check_errors) {
    throw EDatabaseError(Format(kInternalError, {AnsiString("no records")}));
  }
  return result;
}

bool TObjDataSet::FetchFieldValue(TField* field, void* destination) {
  TRecordBuffer buffer = ValueBuffer();
  if (buffer == nullptr) return false;
  if (field->FieldKind() != fkData) return ReadCalcFieldValue(buffer, field, destination);
  if (!provider_ || (Count() == 0 && CurrentMode() != dsInsert)) return false;
  const TvpUniValue* value = ValueNamed(buffer, field->FieldName());
  if (value == nullptr || value->IsNull()) return false;
  if (destination != nullptr) ToNative(field, *value, destination);
  return true;
}

void TObjDataSet::CheckWritable(TField* field) const {
  if (!WritableMode(CurrentMode())) RaiseDataSetError(dbtext::kNotEditing, this);
  if (field->ReadOnly() && CurrentMode() != dsCalcFields && CurrentMode() != dsInternalCalc)
    RaiseDataSetError(Format(dbtext::kFieldReadOnly, {field->DisplayName()}), this);
}

void TObjDataSet::NoteModified(const AnsiString& name) {
  const AnsiString lower = AnsiLowerCase(name);
  if (std::find(modified_.begin(), modified_.end(), lower) == modified_.end()) modified_.push_back(lower);
}

void TObjDataSet::PutFieldValue(TField* field, const void* source) {
  CheckWritable(field);
  TRecordBuffer buffer = ValueBuffer();
  if (buffer == nullptr) RaiseDataSetError(dbtext::kNotEditing, this);
  if (field->FieldKind() != fkData) {
    WriteCalcFieldValue(buffer, field, source);
    NotifyFieldWritten(field);
    return;
  }
  TvpUniValue* value = ValueNamed(buffer, field->FieldName());
  if (value == nullptr) RaiseDataSetError(Format(dbtext::kFieldNotFound, {field->FieldName()}), this);
  if (source == nullptr) {
    value->Clear();
  } else if (IsBlobFieldType(field->DataType())) {
    // Blob bytes come only through a blob stream being written back.
    TMemoryStream bytes;
    if (source == blob_written_) {
      const std::string_view data = blob_written_->Bytes();
      if (!data.empty()) bytes.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    }
    value->LoadFromStream(bytes);
  } else {
    FromNative(field, source, *value);
  }
  NoteModified(field->FieldName());
  if (!use_edit_buffer_ && CurrentMode() == dsEdit) WriteBack(buffer);
  NotifyFieldWritten(field);
}

void TObjDataSet::WriteBack(TRecordBuffer buffer) {
  int target = ProviderIndex();
  const bool inserting = CurrentMode() == dsInsert;
  if (inserting) {
    if (!provider_->IsList()) throw ERSError(Format(kInternalError, {AnsiString("unable to insert data")}));
    // The new record goes before the record it was started on, or last.
    int before = -1;
    if (ReadBookmarkFlag(buffer) == bpInserted) before = RecordIndexOfKey(KeyOf(buffer));
    target = provider_->InsertRecord(before);
    if (target < 0) target = Count() - 1;
    cursor_ = target;
  } else if (CurrentMode() == dsEdit) {
    const int index = RecordIndexOfKey(KeyOf(buffer));
    if (index < 0) RaiseDataSetError(dbtext::kRecordNotFound, this);
    if (provider_->IsList()) target = cursor_ = index;
  }
  const std::vector<AnsiString> written = modified_;
  modified_.clear();
  if (!written.empty()) {
    // The buffer shows what the object holds, whether or not every value went in.
    TScopeExit reread([&] { ReadValues(buffer, target); });
    for (const AnsiString& name : written) {
      const TvpUniValue* value = ValueNamed(buffer, name);
      if (value != nullptr) provider_->SetFieldValue(name, target, *value);
    }
  }
  if (CurrentMode() == dsEdit || !written.empty() || inserting) {
    AnsiString list;
    for (const AnsiString& name : written) list += (list.empty() ? "" : ";") + name;
    provider_->NotifyChange(inserting ? ckInserted : ckEdited, list, target);
  }
}

void TObjDataSet::StoreRecord() {
  TDataSet::StoreRecord();
  TRecordBuffer buffer = CurrentBuffer();
  if (buffer == nullptr) RaiseDataSetError(dbtext::kNotEditing, this);
  changed_ = true;
  TScopedValue<bool> posting(posting_, true, false);
  if (use_edit_buffer_ || CurrentMode() == dsInsert) WriteBack(buffer);
}

void TObjDataSet::AbandonEdit() { modified_.clear(); }

void TObjDataSet::AppendBuffer(TRecordBuffer buffer, bool append) {
  changed_ = true;
  if (append) cursor_ = Count();
  WriteBack(buffer);
}

void TObjDataSet::RemoveRecord() {
  changed_ = true;
  if (Count() == 0) return;
  TRecordBuffer buffer = CurrentBuffer();
  if (buffer != nullptr && ReadBookmarkFlag(buffer) == bpCurrent) {
    const int index = RecordIndexOfKey(KeyOf(buffer));
    if (index < 0) RaiseDataSetError(dbtext::kRecordNotFound, this);
    cursor_ = index;
  }
  if (cursor_ < 0 || cursor_ >= Count()) RaiseDataSetError(dbtext::kRecordNotFound, this);
  provider_->DeleteRecord(cursor_);
  provider_->NotifyChange(ckDeleted, "", cursor_);
  MoveCursor(0);
}

std::unique_ptr<TStream> TObjDataSet::OpenBlobStream(TField* field, TBlobAccessMode mode) {
  if (dynamic_cast<TBlobField*>(field) == nullptr)
    RaiseDataSetError(Format("Field '%s' is not a blob field", {field->DisplayName()}), this);
  if (mode != bmRead) CheckWritable(field);
  auto stream = std::make_unique<BlobStream>(this, field, mode == bmWrite);
  if (mode != bmWrite) {
    TRecordBuffer buffer = ValueBuffer();
    const TvpUniValue* value = buffer == nullptr ? nullptr : ValueNamed(buffer, field->FieldName());
    if (value != nullptr && !value->IsNull()) {
      const std::string_view raw = value->RawData();
      stream->TMemoryStream::Write(raw.data(), static_cast<int64_t>(raw.size()));
      stream->SetPosition(0);
    }
  }
  return stream;
}

// ---- Locate and Lookup -----------------------------------------------------------------------

int TObjDataSet::Search(const AnsiString& key_fields, const Variant& key_values, TFindOptions options) {
  const std::vector<AnsiString> names = SplitNames(key_fields);
  if (names.empty() || !provider_) return -1;
  const bool partial = options.Contains(fiPartialKey);
  const bool no_case = options.Contains(fiCaseInsensitive);
  std::vector<std::unique_ptr<TvpUniValue>> keys, scratch;
  for (size_t i = 0; i < names.size(); ++i) {
    const TFieldType type = partial ? ftString : DefType(names[i]);
    auto key = std::make_unique<TvpUniValue>(false, false);
    key->SetDataType(type);
    const Variant& v = key_values.IsArray() ? key_values[static_cast<int>(i) + VarArrayLowBound(key_values, 1)]
                                            : key_values;
    key->SetAsVariant(v);
    if (partial && no_case && !key->IsNull()) key->SetAsString(AnsiLowerCase(key->AsString()));
    keys.push_back(std::move(key));
    scratch.push_back(std::make_unique<TvpUniValue>(false, false));
    scratch.back()->SetDataType(DefType(names[i]));
  }
  for (int index = 0; index < Count(); ++index) {
    bool match = true;
    for (size_t i = 0; i < names.size() && match; ++i) {
      scratch[i]->Clear();
      provider_->GetFieldValue(names[i], index, *scratch[i]);
      if (partial) {
        const AnsiString text = no_case ? AnsiLowerCase(scratch[i]->AsString()) : scratch[i]->AsString();
        match = text.starts_with(keys[i]->AsString());
      } else {
        match = scratch[i]->Compare(*keys[i], !no_case, true) == 0;
      }
    }
    if (match) return index;
  }
  return -1;
}

bool TObjDataSet::FindByValues(const AnsiString& field_names, const Variant& values, TFindOptions options) {
  SettlePendingEdit();
  const int index = Search(field_names, values, options);
  if (index < 0) return false;
  FireBeforeScroll();
  cursor_ = index;
  ResyncBuffers({rmExact, rmCenter});
  FireAfterScroll();
  return true;
}

Variant TObjDataSet::ReadByValues(const AnsiString& key_fields, const Variant& key_values,
                                  const AnsiString& result_fields) {
  const int index = Search(key_fields, key_values, {});
  if (index < 0) return Null();
  const std::vector<AnsiString> names = SplitNames(result_fields);
  if (result_fields.find(';') == AnsiString::npos) {
    TvpUniValue value(false, false);
    value.SetDataType(DefType(result_fields));
    provider_->GetFieldValue(result_fields, index, value);
    return value.AsVariant();
  }
  Variant result = VarArrayCreate(0, static_cast<int>(names.size()) - 1);
  for (size_t i = 0; i < names.size(); ++i) {
    TvpUniValue value(false, false);
    value.SetDataType(DefType(names[i]));
    provider_->GetFieldValue(names[i], index, value);
    result[static_cast<int>(i)] = value.AsVariant();
  }
  return result;
}

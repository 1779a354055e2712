// The TField family: typed access, text, null and the checks every write passes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "toolkit/core/classes.h"
#include "toolkit/core/text.h"
#include "toolkit/db/db.h"

namespace {

template <class T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
void Store(void* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// A reading as a 32-bit integer: rounded half to even, ERangeError beyond 32 bits.
int RoundToInt32(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= std::numeric_limits<int32_t>::min() && rounded <= std::numeric_limits<int32_t>::max()))
    throw ERangeError("Range check error");
  return static_cast<int>(PasRound(value));
}

}  // namespace

// ---- TField ---------------------------------------------------------------------

TField::TField(TComponent* owner) : TField(owner, ftUnknown) {}

TField::TField(TComponent* owner, TFieldType type) : TComponent(owner), data_type_(type) {}

TField::~TField() {
  if (data_set_ != nullptr) data_set_->RemoveField(this);
  data_set_ = nullptr;
}

void TField::BeforeDestruction() {
  if (data_set_ != nullptr) data_set_->RemoveField(this);
  data_set_ = nullptr;
  TComponent::BeforeDestruction();
}

void TField::SetDataSet(TDataSet* data_set) {
  if (data_set == data_set_) return;
  if (data_set_ != nullptr) data_set_->RequireClosed();
  if (data_set != nullptr) {
    data_set->RequireClosed();
    if (!field_name_.empty() && data_set->FieldNamedOrNil(field_name_) != nullptr)
      RaiseDataSetError(Format(dbtext::kDuplicateFieldName, {DisplayName()}), data_set);
  }
  if (data_set_ != nullptr) data_set_->RemoveField(this);
  data_set_ = data_set;
  if (data_set_ != nullptr) data_set_->AddField(this);
}

void TField::SetFieldName(const AnsiString& name) {
  if (data_set_ != nullptr && !AnsiSameText(name, field_name_)) {
    TField* other = data_set_->FieldNamedOrNil(name);
    if (other != nullptr && other != this) RaiseDataSetError(Format(dbtext::kDuplicateFieldName, {name}), data_set_);
  }
  field_name_ = name;
}

void TField::SetFieldKind(TFieldKind kind) {
  if (data_set_ != nullptr) data_set_->RequireClosed();
  field_kind_ = kind;
}

int TField::Index() const {
  if (data_set_ == nullptr) return -1;
  const auto& list = data_set_->fields_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TField::SetIndex(int index) {
  if (data_set_ == nullptr) return;
  auto& list = data_set_->fields_;
  const int from = Index();
  index = std::clamp(index, 0, static_cast<int>(list.size()) - 1);
  list.erase(list.begin() + from);
  list.insert(list.begin() + index, this);
}

void TField::SetSize(int size) {
  if (data_set_ != nullptr) data_set_->RequireClosed();
  size_ = std::max(0, size);
}

bool TField::CanModify() const {
  if (read_only_ || data_set_ == nullptr || !data_set_->QueryActive()) return false;
  return data_set_->QueryCanModify();
}

bool TField::IsValidChar(char) const { return true; }

void TField::AccessError(const char* type_name) const {
  RaiseDataSetError(Format(dbtext::kFieldAccess, {DisplayName(), AnsiString(type_name)}));
}

void TField::RangeError(double value, double min, double max) const {
  RaiseDataSetError(Format(dbtext::kFieldRange, {value, DisplayName(), min, max}));
}

AnsiString TField::GetStringValue() const { AccessError("String"); }
void TField::SetStringValue(const AnsiString&) { AccessError("String"); }
int TField::GetIntegerValue() const { AccessError("Integer"); }
void TField::SetIntegerValue(int) { AccessError("Integer"); }
int64_t TField::GetLargeintValue() const { AccessError("LargeInt"); }
void TField::SetLargeintValue(int64_t) { AccessError("LargeInt"); }
double TField::GetFloatValue() const { AccessError("Float"); }
void TField::SetFloatValue(double) { AccessError("Float"); }
Currency TField::GetCurrencyValue() const { return Currency::FromDouble(GetFloatValue()); }
void TField::SetCurrencyValue(Currency value) { SetFloatValue(value.ToDouble()); }
bool TField::GetBooleanValue() const { AccessError("Boolean"); }
void TField::SetBooleanValue(bool) { AccessError("Boolean"); }
TDateTime TField::GetDateTimeValue() const { AccessError("DateTime"); }
void TField::SetDateTimeValue(TDateTime) { AccessError("DateTime"); }
TSQLTimeStamp TField::GetSQLTimeStampValue() const { AccessError("SQLTimeStamp"); }
void TField::SetSQLTimeStampValue(const TSQLTimeStamp&) { AccessError("SQLTimeStamp"); }
TBcd TField::GetBCDValue() const { return CurrToBCD(GetCurrencyValue()); }
void TField::SetBCDValue(const TBcd& value) { SetCurrencyValue(BCDToCurr(value)); }
Variant TField::GetVariantValue() const { AccessError("Variant"); }
void TField::SetVariantValue(const Variant&) { AccessError("Variant"); }

bool TField::HoldsNull() const { return !GetData(nullptr); }

void TField::ClearValue() { SetData(nullptr); }

AnsiString TField::FormatForDisplay(bool display_text) const {
  if (OnGetText) {
    AnsiString text;
    OnGetText(const_cast<TField*>(this), text, display_text);
    return text;
  }
  return GetText(display_text);
}

void TField::AcceptText(const AnsiString& text) {
  if (OnSetText)
    OnSetText(this, text);
  else
    SetTextValue(text);
}

AnsiString TField::GetText(bool) const { return GetStringValue(); }

void TField::SetTextValue(const AnsiString& text) { SetStringValue(text); }

bool TField::GetData(void* buffer, bool native) const {
  if (data_set_ == nullptr) RaiseDataSetError(Format(dbtext::kNoDataSet, {DisplayName()}));
  if (validating_) {
    // OnValidate sees the value about to be written.
    if (value_buffer_ == nullptr) return false;
    if (buffer != nullptr) {
      if (native == value_native_)
        std::memcpy(buffer, value_buffer_,
                    static_cast<size_t>(native ? NativeByteSize() : ValueByteSize()));
      else
        TDataSet::ConvertValue(this, value_buffer_, buffer, native);
    }
    return true;
  }
  return data_set_->FetchFieldValueNative(const_cast<TField*>(this), buffer, native);
}

void TField::SetData(const void* buffer, bool native) {
  if (data_set_ == nullptr) RaiseDataSetError(Format(dbtext::kNoDataSet, {DisplayName()}));
  switch (data_set_->CurrentMode()) {
    case dsCalcFields:
      if (field_kind_ == fkData) RaiseDataSetError(Format(dbtext::kFieldReadOnly, {DisplayName()}), data_set_);
      break;
    case dsEdit:
    case dsInsert:
      if (read_only_ || field_kind_ == fkCalculated || field_kind_ == fkLookup)
        RaiseDataSetError(Format(dbtext::kFieldReadOnly, {DisplayName()}), data_set_);
      break;
    case dsSetKey:
    case dsFilter:
    case dsNewValue:
      break;
    default:
      RaiseDataSetError(dbtext::kNotEditing, data_set_);
  }
  Validate(buffer, native);
  data_set_->PutFieldValueNative(this, buffer, native);
}

void TField::Validate(const void* buffer, bool native) {
  if (!OnValidate || validating_) return;
  TScopedValue<bool> validating(validating_, true, false);
  TScopedValue<const void*> value(value_buffer_, buffer, nullptr);
  value_native_ = native;
  OnValidate(this);
}

void TField::FocusControl() {
  if (data_set_ == nullptr || !data_set_->QueryActive()) return;
  TField* field = this;
  TEventInfo info;
  info.focus_field = &field;
  data_set_->BroadcastEvent(deFocusControl, info);
}

void TField::Change() {
  if (OnChange) OnChange(this);
}

// ---- TStringField -------------------------------------------------------------------

TStringField::TStringField(TComponent* owner) : TField(owner, ftString) { SetSize(20); }

bool TStringField::GetValue(AnsiString& value) const {
  std::vector<char> buffer(static_cast<size_t>(Size()) + 1, '\0');
  if (!GetData(buffer.data())) return false;
  buffer.back() = '\0';
  AnsiString raw(buffer.data());
  if (Transliterate() && DataSet() != nullptr)
    DataSet()->TranslateText(raw, value, false);
  else
    value = std::move(raw);
  if (FixedChar()) value = TrimRight(value);
  return true;
}

AnsiString TStringField::GetStringValue() const {
  AnsiString value;
  return GetValue(value) ? value : AnsiString();
}

void TStringField::SetStringValue(const AnsiString& value) {
  // Longer text is cut at Size characters, as the field cannot hold more.
  AnsiString text = value.substr(0, std::min(value.find('\0'), static_cast<size_t>(Size())));
  if (Transliterate() && DataSet() != nullptr) {
    AnsiString translated;
    DataSet()->TranslateText(text, translated, true);
    text = translated.substr(0, static_cast<size_t>(Size()));
  }
  std::vector<char> buffer(static_cast<size_t>(Size()) + 1, '\0');
  std::memcpy(buffer.data(), text.data(), text.size());
  SetData(buffer.data());
}

int TStringField::GetIntegerValue() const { return StrToInt(GetStringValue()); }
void TStringField::SetIntegerValue(int value) { SetStringValue(IntToStr(value)); }
int64_t TStringField::GetLargeintValue() const { return StrToInt64(GetStringValue()); }
void TStringField::SetLargeintValue(int64_t value) { SetStringValue(IntToStr(value)); }
double TStringField::GetFloatValue() const { return StrToFloat(GetStringValue()); }
void TStringField::SetFloatValue(double value) { SetStringValue(FloatToStr(value)); }

bool TStringField::GetBooleanValue() const {
  const AnsiString s = GetStringValue();
  return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
}

void TStringField::SetBooleanValue(bool value) { SetStringValue(value ? "T" : "F"); }
TDateTime TStringField::GetDateTimeValue() const { return StrToDateTime(GetStringValue()); }
void TStringField::SetDateTimeValue(TDateTime value) { SetStringValue(DateTimeToStr(value)); }

Variant TStringField::GetVariantValue() const {
  AnsiString value;
  return GetValue(value) ? Variant(value) : Null();
}

void TStringField::SetVariantValue(const Variant& value) {
  if (VarIsClear(value))
    ClearValue();
  else
    SetStringValue(value.AsString());
}

// ---- TNumericField -------------------------------------------------------------------

TNumericField::TNumericField(TComponent* owner, TFieldType type) : TField(owner, type) {
  SetAlignment(taRightJustify);
}

bool TNumericField::IsValidChar(char c) const { return (c >= '0' && c <= '9') || c == '+' || c == '-'; }

const AnsiString& TNumericField::FormatFor(bool display_text) const {
  return display_text || edit_format_.empty() ? display_format_ : edit_format_;
}

// ---- TIntegerField and its kin ---------------------------------------------------------

TIntegerField::TIntegerField(TComponent* owner)
    : TIntegerField(owner, ftInteger, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()) {}

TIntegerField::TIntegerField(TComponent* owner, TFieldType type, int64_t min_range, int64_t max_range)
    : TNumericField(owner, type), min_range_(min_range), max_range_(max_range) {}

TSmallintField::TSmallintField(TComponent* owner) : TIntegerField(owner, ftSmallint, -32768, 32767) {}
TWordField::TWordField(TComponent* owner) : TIntegerField(owner, ftWord, 0, 65535) {}
TAutoIncField::TAutoIncField(TComponent* owner)
    : TIntegerField(owner, ftAutoInc, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()) {}

int TIntegerField::ValueByteSize() const { return DataType() == ftSmallint || DataType() == ftWord ? 2 : 4; }

bool TIntegerField::GetValue(int& value) const {
  uint8_t buffer[4] = {};
  if (!GetData(buffer)) return false;
  switch (DataType()) {
    case ftSmallint: value = Load<int16_t>(buffer); break;
    case ftWord: value = Load<uint16_t>(buffer); break;
    default: value = Load<int32_t>(buffer); break;
  }
  return true;
}

void TIntegerField::CheckRange(int64_t value) const {
  int64_t low = min_range_, high = max_range_;
  if (min_value_ != 0 || max_value_ != 0) {
    low = std::max<int64_t>(low, min_value_);
    high = std::min<int64_t>(high, max_value_);
  }
  if (value < low || value > high)
    RangeError(static_cast<double>(value), static_cast<double>(low), static_cast<double>(high));
}

AnsiString TIntegerField::GetStringValue() const {
  int value;
  return GetValue(value) ? IntToStr(value) : AnsiString();
}

void TIntegerField::SetStringValue(const AnsiString& value) {
  if (value.empty()) {
    ClearValue();
    return;
  }
  int64_t n;
  if (!TryStrToInt64(value, n) || n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max())
    RaiseDataSetError(Format(dbtext::kInvalidInteger, {value, DisplayName()}));
  SetIntegerValue(static_cast<int>(n));
}

int TIntegerField::GetIntegerValue() const {
  int value;
  return GetValue(value) ? value : 0;
}

void TIntegerField::SetIntegerValue(int value) {
  CheckRange(value);
  uint8_t buffer[4] = {};
  switch (DataType()) {
    case ftSmallint: Store(buffer, static_cast<int16_t>(value)); break;
    case ftWord: Store(buffer, static_cast<uint16_t>(value)); break;
    default: Store(buffer, static_cast<int32_t>(value)); break;
  }
  SetData(buffer);
}

int64_t TIntegerField::GetLargeintValue() const { return GetIntegerValue(); }

void TIntegerField::SetLargeintValue(int64_t value) {
  CheckRange(value);
  SetIntegerValue(static_cast<int>(value));
}

double TIntegerField::GetFloatValue() const { return GetIntegerValue(); }

void TIntegerField::SetFloatValue(double value) {
  if (!std::isfinite(value)) RaiseDataSetError(Format(dbtext::kInvalidFloat, {FloatToStr(value), DisplayName()}));
  const double rounded = std::nearbyint(value);
  if (rounded < static_cast<double>(min_range_) || rounded > static_cast<double>(max_range_))
    RangeError(value, static_cast<double>(min_range_), static_cast<double>(max_range_));
  SetIntegerValue(static_cast<int>(PasRound(value)));
}

Variant TIntegerField::GetVariantValue() const {
  int value;
  if (!GetValue(value)) return Null();
  switch (DataType()) {
    case ftSmallint: return Variant::FromSmallint(static_cast<int16_t>(value));
    case ftWord: return Variant::FromWord(static_cast<uint16_t>(value));
    default: return Variant(value);
  }
}

void TIntegerField::SetVariantValue(const Variant& value) {
  if (VarIsClear(value))
    ClearValue();
  else
    SetLargeintValue(value.AsInt64());
}

AnsiString TIntegerField::GetText(bool display_text) const {
  int value;
  if (!GetValue(value)) return {};
  const AnsiString& format = FormatFor(display_text);
  return format.empty() ? IntToStr(value) : FormatFloat(format, value);
}

// ---- TLargeintField -------------------------------------------------------------------

TLargeintField::TLargeintField(TComponent* owner) : TNumericField(owner, ftLargeint) {}

bool TLargeintField::GetValue(int64_t& value) const {
  uint8_t buffer[8] = {};
  if (!GetData(buffer)) return false;
  value = Load<int64_t>(buffer);
  return true;
}

AnsiString TLargeintField::GetStringValue() const {
  int64_t value;
  return GetValue(value) ? IntToStr(value) : AnsiString();
}

void TLargeintField::SetStringValue(const AnsiString& value) {
  if (value.empty()) {
    ClearValue();
    return;
  }
  int64_t n;
  if (!TryStrToInt64(value, n)) RaiseDataSetError(Format(dbtext::kInvalidInteger, {value, DisplayName()}));
  SetLargeintValue(n);
}

int TLargeintField::GetIntegerValue() const { return RoundToInt32(static_cast<double>(GetLargeintValue())); }

void TLargeintField::SetIntegerValue(int value) { SetLargeintValue(value); }

int64_t TLargeintField::GetLargeintValue() const {
  int64_t value;
  return GetValue(value) ? value : 0;
}

void TLargeintField::SetLargeintValue(int64_t value) {
  if ((min_value_ != 0 || max_value_ != 0) && (value < min_value_ || value > max_value_))
    RangeError(static_cast<double>(value), static_cast<double>(min_value_), static_cast<double>(max_value_));
  uint8_t buffer[8];
  Store(buffer, value);
  SetData(buffer);
}

double TLargeintField::GetFloatValue() const { return static_cast<double>(GetLargeintValue()); }

void TLargeintField::SetFloatValue(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.2e18)
    RaiseDataSetError(Format(dbtext::kInvalidFloat, {FloatToStr(value), DisplayName()}));
  SetLargeintValue(PasRound(value));
}

Variant TLargeintField::GetVariantValue() const {
  int64_t value;
  return GetValue(value) ? Variant(static_cast<long long>(value)) : Null();
}

void TLargeintField::SetVariantValue(const Variant& value) {
  if (VarIsClear(value))
    ClearValue();
  else
    SetLargeintValue(value.AsInt64());
}

AnsiString TLargeintField::GetText(bool display_text) const {
  int64_t value;
  if (!GetValue(value)) return {};
  const AnsiString& format = FormatFor(display_text);
  return format.empty() ? IntToStr(value) : FormatFloat(format, static_cast<double>(value));
}

// ---- TFloatField -----------------------------------------------------------------------

TFloatField::TFloatField(TComponent* owner) : TFloatField(owner, ftFloat) {}

TFloatField::TFloatField(TComponent* owner, TFieldType type) : TNumericField(owner, type) {}

TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner, ftCurrency) { SetCurrency(true); }

void TFloatField::SetPrecision(int value) { precision_ = std::clamp(value, 2, 15); }

bool TFloatField::IsValidChar(char c) const {
  return TNumericField::IsValidChar(c) || c == FormatSettings().DecimalSeparator || c == 'E' || c == 'e';
}

bool TFloatField::GetValue(double& value) const {
  uint8_t buffer[8] = {};
  if (!GetData(buffer)) return false;
  value = Load<double>(buffer);
  return true;
}

AnsiString TFloatField::GetStringValue() const {
  double value;
  return GetValue(value) ? FloatToStr(value) : AnsiString();
}

void TFloatField::SetStringValue(const AnsiString& value) {
  if (value.empty()) {
    ClearValue();
    return;
  }
  double d;
  if (!TryStrToFloat(value, d)) RaiseDataSetError(Format(dbtext::kInvalidFloat, {value, DisplayName()}));
  SetFloatValue(d);
}

int TFloatField::GetIntegerValue() const { return RoundToInt32(GetFloatValue()); }

void TFloatField::SetIntegerValue(int value) { SetFloatValue(value); }

int64_t TFloatField::GetLargeintValue() const {
  const double v = GetFloatValue();
  if (!std::isfinite(v) || std::fabs(v) >= 9.2e18) throw ERangeError("Range check error");
  return PasRound(v);
}

double TFloatField::GetFloatValue() const {
  double value;
  return GetValue(value) ? value : 0.0;
}

void TFloatField::SetFloatValue(double value) {
  if ((min_value_ != 0 || max_value_ != 0) && (value < min_value_ || value > max_value_))
    RangeError(value, min_value_, max_value_);
  uint8_t buffer[8];
  Store(buffer, value);
  SetData(buffer);
}

Variant TFloatField::GetVariantValue() const {
  double value;
  return GetValue(value) ? Variant(value) : Null();
}

void TFloatField::SetVariantValue(const Variant& value) {
  if (VarIsClear(value))
    ClearValue();
  else
    SetFloatValue(value.AsDouble());
}

AnsiString TFloatField::GetText(bool display_text) const {
  double value;
  if (!GetValue(value)) return {};
  const AnsiString& format = FormatFor(display_text);
  if (!format.empty()) return FormatFloat(format, value);
  if (currency_)
    return FloatToStrF(value, display_text ? ffCurrency : ffFixed, precision_, FormatSettings().CurrencyDecimals);
  return FloatToStrF(value, ffGeneral, precision_, 0);
}

// ---- TBCDField ------------------------------------------------------------------------

TBCDField::TBCDField(TComponent* owner) : TNumericField(owner, ftBCD) { SetSize(4); }

bool TBCDField::IsValidChar(char c) const {
  return TNumericField::IsValidChar(c) || c == FormatSettings().DecimalSeparator;
}

bool TBCDField::GetValue(Currency& value) const {
  uint8_t buffer[8] = {};
  if (!GetData(buffer, false)) return false;
  value = Currency::FromScaled(Load<int64_t>(buffer));
  return true;
}

AnsiString TBCDField::GetStringValue() const {
  Currency value;
  return GetValue(value) ? CurrToStr(value) : AnsiString();
}

void TBCDField::SetStringValue(const AnsiString& value) {
  if (value.empty()) {
    ClearValue();
    return;
  }
  double d;
  if (!TryStrToFloat(value, d)) RaiseDataSetError(Format(dbtext::kInvalidFloat, {value, DisplayName()}));
  SetFloatValue(d);
}

int TBCDField::GetIntegerValue() const { return RoundToInt32(GetFloatValue()); }

void TBCDField::SetIntegerValue(int value) { SetCurrencyValue(Currency::FromScaled(int64_t{value} * 10000)); }

double TBCDField::GetFloatValue() const { return GetCurrencyValue().ToDouble(); }

void TBCDField::SetFloatValue(double value) { SetCurrencyValue(Currency::FromDouble(value)); }

Currency TBCDField::GetCurrencyValue() const {
  Currency value;
  return GetValue(value) ? value : Currency{};
}

void TBCDField::SetCurrencyValue(Currency value) {
  if ((min_value_.Scaled != 0 || max_value_.Scaled != 0) && (value < min_value_ || value > max_value_))
    RangeError(value.ToDouble(), min_value_.ToDouble(), max_value_.ToDouble());
  uint8_t buffer[8];
  Store(buffer, value.Scaled);
  SetData(buffer, false);
}

TBcd TBCDField::GetBCDValue() const {
  TBcd bcd;
  return GetData(&bcd, true) ? bcd : TBcd{};
}

void TBCDField::SetBCDValue(const TBcd& value) { SetCurrencyValue(BCDToCurr(value)); }

Variant TBCDField::GetVariantValue() const {
  Currency value;
  return GetValue(value) ? Variant(value) : Null();
}

void TBCDField::SetVariantValue(const Variant& value) {
  if (VarIsClear(value))
    ClearValue();
  else
    SetCurrencyValue(value.AsCurrency());
}

AnsiString TBCDField::GetText(bool display_text) const {
  Currency value;
  if (!GetValue(value)) return {};
  const AnsiString& format = FormatFor(display_text);
  if (!format.empty()) return FormatFloat(format, value.ToDouble());
  if (currency_)
    return FloatToStrF(value.ToDouble(), display_text ? ffCurrency : ffFixed, 15, FormatSettings().CurrencyDecimals);
  return CurrToStr(value);
}

// ---- TBooleanField ---------------------------------------------------------------------

TBooleanField::TBooleanField(TComponent* owner) : TField(owner, ftBoolean) {}

void TBooleanField::SetDisplayValues(const AnsiString& value) {
  display_values_ = value;
  if (value.empty()) {
    true_text_ = "True";
    false_text_ = "False";
    return;
  }
  const size_t semicolon = value.find(';');
  true_text_ = value.substr(0, semicolon);
  false_text_ = semicolon == AnsiString::npos ? AnsiString() : value.substr(semicolon + 1);
}

int TBooleanField::DefaultDisplayWidth() const {
  return static_cast<int>(std::max(true_text_.size(), false_text_.size()));
}

bool TBooleanField::GetValue(bool& value) const {
  uint8_t buffer[2] = {};
  if (!GetData(buffer)) return false;
  value = Load<uint16_t>(buffer) != 0;
  return true;
}

AnsiString TBooleanField::GetStringValue() const {
  bool value;
  if (!GetValue(value)) return {};
  return value ? true_text_ : false_text_;
}

void TBooleanField::SetStringValue(const AnsiString& value) {
  if (value.empty()) {
    // An empty text means the value whose text is empty, or null.
    if (false_text_.empty())
      SetBooleanValue(false);
    else if (true_text_.empty())
      SetBooleanValue(true);
    else
      ClearValue();
    return;
  }
  // A leading part of either text is enough ("T", "fal"), without regard to case.
  if (AnsiSameText(value, false_text_.substr(0, value.size())))
    SetBooleanValue(false);
  else if (AnsiSameText(value, true_text_.substr(0, value.size())))
    SetBooleanValue(true);
  else
    RaiseDataSetError(Format(dbtext::kInvalidBool, {value, DisplayName()}));
}

bool TBooleanField::GetBooleanValue() const {
  bool value;
  return GetValue(value) && value;
}

void TBooleanField::SetBooleanValue(bool value) {
  uint8_t buffer[2];
  Store<uint16_t>(buffer, value ? 0xFFFF : 0);
  SetData(buffer);
}

Variant TBooleanField::GetVariantValue() const {
  bool value;
  return GetValue(value) ? Variant(value) : Null();
}

void TBooleanField::SetVariantValue(const Variant& value) {
  if (VarIsClear(value))
    ClearValue();
  else
    SetBooleanValue(value.AsBoolean());
}

// ---- TDateTimeField and its kin --------------------------------------------------------

TDateTimeField::TDateTimeField(TComponent* owner) : TDateTimeField(owner, ftDateTime) {}
TDateTimeField::TDateTimeField(TComponent* owner, TFieldType type) : TField(owner, type) {}
TDateField::TDateField(TComponent* owner) : TDateTimeField(owner, ftDate) {}
TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner, ftTime) {}

int TDateTimeField::NativeByteSize() const { return DataType() == ftDateTime ? 8 : 4; }

bool TDateTimeField::GetValue(TDateTime& value) const {
  uint8_t buffer[8] = {};
  if (!GetData(buffer, false)) return false;
  value = Load<double>(buffer);
  return true;
}

AnsiString TDateTimeField::GetText(bool display_text) const {
  TDateTime value;
  if (!GetValue(value)) return {};
  AnsiString format;
  if (display_text && !display_format_.empty())
    format = display_format_;
  else if (DataType() == ftDate)
    format = FormatSettings().ShortDateFormat;
  else if (DataType() == ftTime)
    format = FormatSettings().LongTimeFormat;
  else
    format = "c";
  return FormatDateTime(format, value);
}

AnsiString TDateTimeField::GetStringValue() const { return GetText(false); }

void TDateTimeField::SetStringValue(const AnsiString& value) {
  if (value.empty()) {
    ClearValue();
    return;
  }
  switch (DataType()) {
    case ftDate: SetDateTimeValue(StrToDate(value)); break;
    case ftTime: SetDateTimeValue(StrToTime(value)); break;
    default: SetDateTimeValue(StrToDateTime(value)); break;
  }
}

double TDateTimeField::GetFloatValue() const { return GetDateTimeValue(); }
void TDateTimeField::SetFloatValue(double value) { SetDateTimeValue(value); }

TDateTime TDateTimeField::GetDateTimeValue() const {
  TDateTime value;
  return GetValue(value) ? value : 0.0;
}

void TDateTimeField::SetDateTimeValue(TDateTime value) {
  uint8_t buffer[8];
  Store(buffer, value);
  SetData(buffer, false);
}

TSQLTimeStamp TDateTimeField::GetSQLTimeStampValue() const {
  TDateTime value;
  return GetValue(value) ? DateTimeToSQLTimeStamp(value) : TSQLTimeStamp{};
}

void TDateTimeField::SetSQLTimeStampValue(const TSQLTimeStamp& value) {
  SetDateTimeValue(SQLTimeStampToDateTime(value));
}

Variant TDateTimeField::GetVariantValue() const {
  TDateTime value;
  return GetValue(value) ? Variant::FromDate(value) : Null();
}

void TDateTimeField::SetVariantValue(const Variant& value) {
  if (VarIsClear(value))
    ClearValue();
  else
    SetDateTimeValue(value.AsDateTime());
}

// ---- TSQLTimeStampField ---------------------------------------------------------------

TSQLTimeStampField::TSQLTimeStampField(TComponent* owner) : TField(owner, ftTimeStamp) {}

bool TSQLTimeStampField::GetValue(TSQLTimeStamp& value) const { return GetData(&value); }

AnsiString TSQLTimeStampField::GetStringValue() const {
  TSQLTimeStamp value;
  return GetValue(value) ? FormatDateTime("c", SQLTimeStampToDateTime(value)) : AnsiString();
}

void TSQLTimeStampField::SetStringValue(const AnsiString& value) {
  if (value.empty())
    ClearValue();
  else
    SetDateTimeValue(StrToDateTime(value));
}

double TSQLTimeStampField::GetFloatValue() const { return GetDateTimeValue(); }
void TSQLTimeStampField::SetFloatValue(double value) { SetDateTimeValue(value); }

TDateTime TSQLTimeStampField::GetDateTimeValue() const {
  TSQLTimeStamp value;
  return GetValue(value) ? SQLTimeStampToDateTime(value) : 0.0;
}

void TSQLTimeStampField::SetDateTimeValue(TDateTime value) { SetSQLTimeStampValue(DateTimeToSQLTimeStamp(value)); }

TSQLTimeStamp TSQLTimeStampField::GetSQLTimeStampValue() const {
  TSQLTimeStamp value;
  return GetValue(value) ? value : TSQLTimeStamp{};
}

void TSQLTimeStampField::SetSQLTimeStampValue(const TSQLTimeStamp& value) {
  SQLTimeStampToDateTime(value);  // refuses an impossible stamp before it is stored
  SetData(&value);
}

Variant TSQLTimeStampField::GetVariantValue() const {
  TSQLTimeStamp value;
  return GetValue(value) ? Variant::FromDate(SQLTimeStampToDateTime(value)) : Null();
}

void TSQLTimeStampField::SetVariantValue(const Variant& value) {
  if (VarIsClear(value))
    ClearValue();
  else
    SetDateTimeValue(value.AsDateTime());
}

// ---- binary fields ---------------------------------------------------------------------

TBinaryField::TBinaryField(TComponent* owner, TFieldType type) : TField(owner, type) { SetSize(16); }
TBytesField::TBytesField(TComponent* owner) : TBinaryField(owner, ftBytes) {}
TVarBytesField::TVarBytesField(TComponent* owner) : TBinaryField(owner, ftVarBytes) {}

bool TBinaryField::GetValue(std::string& bytes) const {
  std::vector<char> buffer(static_cast<size_t>(std::max(ValueByteSize(), 1)), '\0');
  if (!GetData(buffer.data())) return false;
  if (DataType() == ftVarBytes) {
    const size_t length = std::min<size_t>(Load<uint16_t>(buffer.data()), static_cast<size_t>(Size()));
    bytes.assign(buffer.data() + 2, length);
  } else {
    bytes.assign(buffer.data(), static_cast<size_t>(Size()));
  }
  return true;
}

AnsiString TBinaryField::GetStringValue() const {
  std::string bytes;
  return GetValue(bytes) ? bytes : AnsiString();
}

void TBinaryField::SetStringValue(const AnsiString& value) {
  std::vector<char> buffer(static_cast<size_t>(std::max(ValueByteSize(), 1)), '\0');
  const size_t length = std::min(value.size(), static_cast<size_t>(Size()));
  if (DataType() == ftVarBytes) {
    Store(buffer.data(), static_cast<uint16_t>(length));
    std::memcpy(buffer.data() + 2, value.data(), length);
  } else {
    std::memcpy(buffer.data(), value.data(), length);
  }
  SetData(buffer.data());
}

Variant TBinaryField::GetVariantValue() const {
  std::string bytes;
  if (!GetValue(bytes)) return Null();
  Variant array = VarArrayCreate(0, static_cast<int>(bytes.size()) - 1);
  for (size_t i = 0; i < bytes.size(); ++i)
    array[static_cast<int>(i)] = Variant::FromByte(static_cast<uint8_t>(bytes[i]));
  return array;
}

void TBinaryField::SetVariantValue(const Variant& value) {
  if (VarIsClear(value)) {
    ClearValue();
    return;
  }
  if (VarIsStr(value)) {
    SetStringValue(value.AsString());
    return;
  }
  if (!value.IsArray() || VarArrayDimCount(value) != 1) RaiseDataSetError(dbtext::kInvalidVarBytes);
  std::string bytes;
  for (int i = value.LowBound(); i <= value.HighBound(); ++i) {
    const Variant& item = value[i];
    if (!VarIsNumeric(item)) RaiseDataSetError(dbtext::kInvalidVarBytes);
    const int64_t b = item.AsInt64();
    if (b < 0 || b > 255) RaiseDataSetError(dbtext::kInvalidVarBytes);
    bytes.push_back(static_cast<char>(b));
  }
  SetStringValue(bytes);
}

AnsiString TBinaryField::GetText(bool) const { return DataType() == ftVarBytes ? "(VarBytes)" : "(Bytes)"; }

void TBinaryField::SetTextValue(const AnsiString& text) { SetStringValue(text); }

// ---- blob fields -----------------------------------------------------------------------

TBlobField::TBlobField(TComponent* owner) : TBlobField(owner, ftBlob) {}
TBlobField::TBlobField(TComponent* owner, TFieldType type) : TField(owner, type) {}
TMemoField::TMemoField(TComponent* owner) : TBlobField(owner, ftMemo) {}
TGraphicField::TGraphicField(TComponent* owner) : TBlobField(owner, ftGraphic) {}

void TBlobField::SetBlobType(TFieldType type) {
  if (IsBlobFieldType(type)) SetDataType(type);
}

std::unique_ptr<TStream> TBlobField::OpenStream(TBlobAccessMode mode) const {
  if (DataSet() == nullptr) RaiseDataSetError(Format(dbtext::kNoDataSet, {DisplayName()}));
  if (mode != bmRead) {
    const TDataSetMode m = DataSet()->CurrentMode();
    if (m != dsEdit && m != dsInsert && m != dsSetKey && m != dsCalcFields && m != dsFilter && m != dsNewValue)
      RaiseDataSetError(dbtext::kNotEditing, DataSet());
    if (ReadOnly()) RaiseDataSetError(Format(dbtext::kFieldReadOnly, {DisplayName()}), DataSet());
  }
  std::unique_ptr<TStream> stream = DataSet()->OpenBlobStream(const_cast<TBlobField*>(this), mode);
  if (!stream) RaiseDataSetError(Format(dbtext::kNoBlobStream, {DisplayName()}), DataSet());
  return stream;
}

int64_t TBlobField::BlobSize() const {
  if (DataSet() == nullptr || DataSet()->CurrentBuffer() == nullptr) return 0;
  return OpenStream(bmRead)->Size();
}

void TBlobField::SaveToStream(TStream& stream) const {
  std::unique_ptr<TStream> blob = OpenStream(bmRead);
  blob->SetPosition(0);
  const int64_t size = blob->Size();
  if (size > 0) stream.CopyFrom(*blob, size);
}

void TBlobField::LoadFromStream(TStream& stream) {
  std::unique_ptr<TStream> blob = OpenStream(bmWrite);
  blob->SetSize(0);
  const int64_t remaining = stream.Size() - stream.Position();
  if (remaining > 0) blob->CopyFrom(stream, remaining);
}

AnsiString TBlobField::GetStringValue() const {
  if (DataSet() == nullptr || DataSet()->ValueBuffer() == nullptr) return {};
  std::unique_ptr<TStream> blob = OpenStream(bmRead);
  const int64_t size = blob->Size();
  AnsiString text(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  blob->SetPosition(0);
  if (size > 0) blob->ReadBuffer(text.data(), size);
  return text;
}

void TBlobField::SetStringValue(const AnsiString& value) {
  std::unique_ptr<TStream> blob = OpenStream(bmWrite);
  blob->SetSize(0);
  if (!value.empty()) blob->WriteBuffer(value.data(), static_cast<int64_t>(value.size()));
}

Variant TBlobField::GetVariantValue() const {
  if (HoldsNull()) return Null();
  return Variant(GetStringValue());
}

void TBlobField::SetVariantValue(const Variant& value) {
  if (VarIsClear(value))
    ClearValue();
  else
    SetStringValue(value.AsString());
}

bool TBlobField::HoldsNull() const {
  if (DataSet() == nullptr || DataSet()->ValueBuffer() == nullptr) return true;
  return !GetData(nullptr);
}

void TBlobField::ClearValue() { SetStringValue({}); }

AnsiString TBlobField::GetText(bool) const {
  AnsiString name = FieldTypeName(DataType());
  name = HoldsNull() ? name : UpperCase(name);
  return "(" + name + ")";
}

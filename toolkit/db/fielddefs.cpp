// Field definitions, the field-type table and the layout conversions.
#include <cmath>
#include <cstring>

#include "toolkit/core/text.h"
#include "toolkit/db/db.h"

namespace {

const char* const kFieldTypeNames[kFieldTypeCount] = {
    "Unknown",  "String",     "SmallInt",  "Integer", "Word",      "Boolean",   "Float",   "Currency",
    "BCD",      "Date",       "Time",      "DateTime", "Bytes",    "VarBytes",  "AutoInc", "Blob",
    "Memo",     "Graphic",    "FmtMemo",   "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor", "FixedChar",
    "WideString", "LargeInt", "ADT",       "Array",   "Reference", "DataSet",   "OraBlob", "OraClob",
    "Variant",  "Interface",  "IDispatch", "Guid",    "TimeStamp", "FMTBcd"};

}  // namespace

const char* FieldTypeName(TFieldType type) {
  const int i = static_cast<int>(type);
  return i >= 0 && i < kFieldTypeCount ? kFieldTypeNames[i] : "Unknown";
}

bool IsBlobFieldType(TFieldType type) {
  return (type >= ftBlob && type <= ftTypedBinary) || type == ftOraBlob || type == ftOraClob;
}

bool FieldBindsToType(TFieldType field, TFieldType def) {
  return field == def || (field == ftInteger && def == ftAutoInc) || (field == ftAutoInc && def == ftInteger) ||
         (field == ftString && def == ftFixedChar) || (IsBlobFieldType(field) && IsBlobFieldType(def));
}

TField* CreateFieldOfType(TFieldType type, TComponent* owner) {
  switch (type) {
    case ftString:
    case ftFixedChar: {
      auto* f = new TStringField(owner);
      f->SetFixedChar(type == ftFixedChar);
      return f;
    }
    case ftSmallint: return new TSmallintField(owner);
    case ftInteger: return new TIntegerField(owner);
    case ftWord: return new TWordField(owner);
    case ftAutoInc: return new TAutoIncField(owner);
    case ftLargeint: return new TLargeintField(owner);
    case ftBoolean: return new TBooleanField(owner);
    case ftFloat: return new TFloatField(owner);
    case ftCurrency: return new TCurrencyField(owner);
    case ftBCD: return new TBCDField(owner);
    case ftDate: return new TDateField(owner);
    case ftTime: return new TTimeField(owner);
    case ftDateTime: return new TDateTimeField(owner);
    case ftTimeStamp: return new TSQLTimeStampField(owner);
    case ftBytes: return new TBytesField(owner);
    case ftVarBytes: return new TVarBytesField(owner);
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob: {
      auto* f = new TMemoField(owner);
      f->SetBlobType(type);
      return f;
    }
    case ftGraphic: return new TGraphicField(owner);
    case ftBlob:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob: {
      auto* f = new TBlobField(owner);
      f->SetBlobType(type);
      return f;
    }
    default: return nullptr;
  }
}

// ---- layout conversion -------------------------------------------------------------

void TDataSet::ConvertValue(const TField* field, const void* source, void* destination, bool to_native) {
  switch (field->DataType()) {
    case ftDate:
    case ftTime:
    case ftDateTime: {
      if (to_native) {
        TDateTime value;
        std::memcpy(&value, source, sizeof value);
        const TTimeStamp stamp = DateTimeToTimeStamp(value);
        if (field->DataType() == ftDate) {
          const int32_t date = stamp.Date;
          std::memcpy(destination, &date, sizeof date);
        } else if (field->DataType() == ftTime) {
          const int32_t time = stamp.Time;
          std::memcpy(destination, &time, sizeof time);
        } else {
          const double msecs = static_cast<double>(TimeStampToMSecs(stamp));
          std::memcpy(destination, &msecs, sizeof msecs);
        }
      } else {
        TDateTime value = 0;
        if (field->DataType() == ftDate) {
          int32_t date;
          std::memcpy(&date, source, sizeof date);
          // In 64 bits: a back end's garbage day number must not overflow.
          value = static_cast<double>(int64_t{date} - DateDelta);
        } else if (field->DataType() == ftTime) {
          int32_t time;
          std::memcpy(&time, source, sizeof time);
          value = static_cast<double>(time) / MSecsPerDay;
        } else {
          double msecs;
          std::memcpy(&msecs, source, sizeof msecs);
          // Refused before the cast: a NaN or huge count has no integer value.
          if (!(msecs >= 0 && msecs < 9.0e18))
            throw EConvertError("'" + FloatToStr(msecs) + "' is not a valid timestamp");
          value = TimeStampToDateTime(MSecsToTimeStamp(static_cast<int64_t>(msecs)));
        }
        std::memcpy(destination, &value, sizeof value);
      }
      break;
    }
    case ftBCD: {
      if (to_native) {
        int64_t scaled;
        std::memcpy(&scaled, source, sizeof scaled);
        const TBcd bcd = CurrToBCD(Currency::FromScaled(scaled));
        std::memcpy(destination, &bcd, sizeof bcd);
      } else {
        TBcd bcd;
        std::memcpy(&bcd, source, sizeof bcd);
        const int64_t scaled = BCDToCurr(bcd).Scaled;
        std::memcpy(destination, &scaled, sizeof scaled);
      }
      break;
    }
    default:
      std::memcpy(destination, source, static_cast<size_t>(field->ValueByteSize()));
      break;
  }
}

// ---- BCD and SQL time stamps -----------------------------------------------------

TBcd CurrToBCD(Currency value, int precision, int decimals) {
  precision = std::clamp(precision, 1, 32);
  decimals = std::clamp(decimals, 0, std::min(4, precision));
  const bool negative = value.Scaled < 0;
  // Magnitude without overflow for the most negative value.
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value.Scaled) : static_cast<uint64_t>(value.Scaled);
  for (int i = decimals; i < 4; ++i) magnitude /= 10;  // drop decimals beyond the wanted ones
  char digits[32];
  int n = 0;
  do {
    digits[n++] = static_cast<char>(magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0 && n < 32);
  if (magnitude != 0) throw EOverflow("Floating point overflow");
  while (n < decimals + 1) digits[n++] = 0;  // at least one integer digit
  if (n - decimals > precision - decimals) throw EOverflow("BCD overflow");
  TBcd bcd;
  bcd.Precision = static_cast<uint8_t>(n);
  bcd.SignSpecialPlaces = static_cast<uint8_t>((negative ? 0x80 : 0) | decimals);
  for (int i = 0; i < n; ++i) {
    const uint8_t d = static_cast<uint8_t>(digits[n - 1 - i]);
    if (i % 2 == 0)
      bcd.Fraction[i / 2] = static_cast<uint8_t>(d << 4);
    else
      bcd.Fraction[i / 2] = static_cast<uint8_t>(bcd.Fraction[i / 2] | d);
  }
  return bcd;
}

Currency BCDToCurr(const TBcd& bcd) {
  const int precision = std::min<int>(bcd.Precision, 32);
  const int places = std::min(bcd.SignSpecialPlaces & 0x3F, precision);
  const bool negative = (bcd.SignSpecialPlaces & 0x80) != 0;
  // Accumulate four decimals: integer digits, then up to four fraction digits.
  constexpr uint64_t kLimit = static_cast<uint64_t>(INT64_MAX);
  uint64_t scaled = 0;
  int fraction_digits = 0;
  for (int i = 0; i < precision; ++i) {
    const int d = (i % 2 == 0) ? (bcd.Fraction[i / 2] >> 4) : (bcd.Fraction[i / 2] & 0x0F);
    const bool is_fraction = i >= precision - places;
    if (is_fraction) {
      if (fraction_digits == 4) break;
      ++fraction_digits;
    }
    if (d > 9 || scaled > (kLimit - static_cast<uint64_t>(d)) / 10) throw EOverflow("BCD overflow");
    scaled = scaled * 10 + static_cast<uint64_t>(d);
  }
  for (; fraction_digits < 4; ++fraction_digits) {
    if (scaled > kLimit / 10) throw EOverflow("BCD overflow");
    scaled *= 10;
  }
  const int64_t s = static_cast<int64_t>(scaled);
  return Currency::FromScaled(negative ? -s : s);
}

TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime value) {
  int year, month, day, hour, minute, second, msec;
  DecodeDateTime(value, year, month, day, hour, minute, second, msec);
  TSQLTimeStamp s;
  s.Year = static_cast<int16_t>(year);
  s.Month = static_cast<uint16_t>(month);
  s.Day = static_cast<uint16_t>(day);
  s.Hour = static_cast<uint16_t>(hour);
  s.Minute = static_cast<uint16_t>(minute);
  s.Second = static_cast<uint16_t>(second);
  s.Fractions = static_cast<uint32_t>(msec);
  return s;
}

TDateTime SQLTimeStampToDateTime(const TSQLTimeStamp& s) {
  if (s.Year == 0 && s.Month == 0 && s.Day == 0 && s.Hour == 0 && s.Minute == 0 && s.Second == 0 &&
      s.Fractions == 0)
    return 0;
  TDateTime date = 0, time = 0;
  if (s.Fractions > 999 || !TryEncodeDate(s.Year, s.Month, s.Day, date) ||
      !TryEncodeTime(s.Hour, s.Minute, s.Second, static_cast<int>(s.Fractions), time))
    throw EConvertError("Invalid SQL time stamp");
  return date >= 0 ? date + time : date - time;
}

// ---- TFieldDef -----------------------------------------------------------------------

TFieldDef::TFieldDef(TCollection* collection) : TCollectionItem(collection) {}

void TFieldDef::SetName(const AnsiString& name) {
  name_ = name;
  Changed(false);
}

void TFieldDef::SetDataType(TFieldType type) {
  data_type_ = type;
  Changed(false);
}

void TFieldDef::SetSize(int size) {
  size_ = size;
  Changed(false);
}

void TFieldDef::SetPrecision(int precision) {
  precision_ = precision;
  Changed(false);
}

void TFieldDef::ChangeAttributes(TFieldAttributes attributes) {
  attributes_ = attributes;
  Changed(false);
}

void TFieldDef::SetRequired(bool required) {
  TFieldAttributes a = attributes_;
  if (required)
    a.Include(faRequired);
  else
    a.Exclude(faRequired);
  ChangeAttributes(a);
}

void TFieldDef::Assign(const TPersistent* source) {
  if (const auto* def = dynamic_cast<const TFieldDef*>(source)) {
    name_ = def->name_;
    data_type_ = def->data_type_;
    size_ = def->size_;
    precision_ = def->precision_;
    attributes_ = def->attributes_;
    Changed(false);
    return;
  }
  TCollectionItem::Assign(source);
}

TField* TFieldDef::CreateField(TComponent* owner, TDataSet* data_set) const {
  TField* f = CreateFieldOfType(data_type_, owner);
  if (f == nullptr) RaiseDataSetError(Format(dbtext::kUnknownFieldType, {name_}), data_set);
  // A field no owner takes is this call's to free when it cannot be completed.
  TScopeFail unmade([f, owner] {
    if (owner == nullptr) delete f;
  });
  if (data_type_ == ftString || data_type_ == ftFixedChar || data_type_ == ftBytes || data_type_ == ftVarBytes ||
      data_type_ == ftBCD || IsBlobFieldType(data_type_))
    f->SetSize(size_);
  if (auto* bcd = dynamic_cast<TBCDField*>(f)) bcd->SetPrecision(precision_);
  f->SetFieldName(name_);
  f->SetRequired(Required());
  f->SetReadOnly(attributes_.Contains(faReadonly));
  f->SetDataSet(data_set);
  return f;
}

// ---- TFieldDefs ------------------------------------------------------------------------

TFieldDefs::TFieldDefs(TDataSet* data_set)
    : TOwnedCollection(data_set, [](TCollection* c) { return new TFieldDef(c); }), data_set_(data_set) {}

TFieldDef* TFieldDefs::DefAt(int index) const { return static_cast<TFieldDef*>(TCollection::Items(index)); }

TFieldDef* TFieldDefs::AppendNamedDef(const AnsiString& name, TFieldType type, int size, bool required) {
  TUpdateScope update(*this);
  auto* def = static_cast<TFieldDef*>(TCollection::Add());
  def->SetName(name);
  def->SetDataType(type);
  def->SetSize(size);
  def->SetRequired(required);
  return def;
}

int TFieldDefs::PositionOfName(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(DefAt(i)->Name(), name)) return i;
  return -1;
}

TFieldDef* TFieldDefs::FindDef(const AnsiString& name) const {
  const int i = PositionOfName(name);
  return i < 0 ? nullptr : DefAt(i);
}

TFieldDef* TFieldDefs::Find(const AnsiString& name) const {
  TFieldDef* def = FindDef(name);
  if (def == nullptr) RaiseDataSetError(Format(dbtext::kFieldNotFound, {name}), data_set_);
  return def;
}

void TFieldDefs::Reload() {
  if (data_set_ != nullptr) data_set_->PrepareFieldDefs();
  updated_ = true;
}

void TFieldDefs::Update(TCollectionItem* item) {
  TCollection::Update(item);
  updated_ = false;
  if (data_set_ != nullptr && !data_set_->ComponentState().Contains(csLoading)) data_set_->FieldDefsChanged();
}

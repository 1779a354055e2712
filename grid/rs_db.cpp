#include "grid/rs_db.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "toolkit/core/filer.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"

namespace {

// The name the access errors give the value.
constexpr const char* kValueName = "UniValue";
constexpr const char* kInvalidBcd = "Invalid BCD value";
constexpr const char* kInvalidBcdText = "'%s' is not a valid BCD value";
constexpr const char* kInvalidFloatText = "'%s' is not a valid floating point value";
constexpr const char* kInvalidPropertyValue = "Invalid property value";

// ---- raw bytes ------------------------------------------------------------------

// A scalar from the front of the raw bytes. Fewer bytes than the scalar needs
// (a buffer that came from elsewhere) read as zero-padded, never past the end.
template <class T>
T ReadScalar(std::string_view raw) {
  T value{};
  std::memcpy(&value, raw.data(), std::min(raw.size(), sizeof(T)));
  return value;
}

// The characters before the terminator; a buffer without one ends the text.
AnsiString CharsOf(std::string_view raw) {
  const size_t end = raw.find('\0');
  return AnsiString(raw.substr(0, end));
}

std::u16string UnitsOf(std::string_view raw) {
  std::u16string units(raw.size() / 2, u'\0');
  if (!units.empty()) std::memcpy(units.data(), raw.data(), units.size() * 2);
  const size_t end = units.find(u'\0');
  if (end != std::u16string::npos) units.resize(end);
  return units;
}

// ---- integer ranges ------------------------------------------------------------------

// A 64-bit number that has to become a 32-bit one. Cutting it down would store
// a different number silently, so an out-of-range number is refused.
int CheckedInt32(int64_t value) {
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    throw EDatabaseError(Format(dbtext::kFieldRange, {static_cast<double>(value), kValueName,
                                                      static_cast<double>(std::numeric_limits<int>::min()),
                                                      static_cast<double>(std::numeric_limits<int>::max())}));
  return static_cast<int>(value);
}

// Currency to an integer, halves to even, exactly (no detour through double).
int64_t RoundCurrency(Currency value) {
  int64_t q = value.Scaled / 10000;
  const int64_t r = value.Scaled % 10000;
  const int64_t a = r < 0 ? -r : r;
  if (a > 5000 || (a == 5000 && q % 2 != 0)) q += r < 0 ? -1 : 1;
  return q;
}

// ---- decimal text and BCD -------------------------------------------------------------

int BcdDigit(const TBcd& bcd, int i) { return (i % 2 == 0) ? (bcd.Fraction[i / 2] >> 4) : (bcd.Fraction[i / 2] & 0x0F); }

// The toolkit's BCD routines read at most 32 digits; a record claiming more, or
// holding a nibble that is no digit, is refused rather than misread.
void CheckBcd(const TBcd& bcd) {
  const int places = bcd.SignSpecialPlaces & 0x3F;
  if (bcd.Precision > 32 || places > bcd.Precision) throw EConvertError(kInvalidBcd);
  for (int i = 0; i < bcd.Precision; ++i)
    if (BcdDigit(bcd, i) > 9) throw EConvertError(kInvalidBcd);
}

// A number as sign, digits and the count of digits after the point.
struct Decimal {
  bool negative = false;
  std::string digits;  // '0'..'9', at least one
  int places = 0;
};

bool TryScanDecimal(const AnsiString& text, const TFormatSettings& fs, Decimal& out) {
  const AnsiString s = Trim(text);
  size_t i = 0;
  out = Decimal{};
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) out.negative = s[i++] == '-';
  bool point = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      out.digits += s[i];
      if (point) ++out.places;
    } else if (s[i] == fs.DecimalSeparator && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (out.digits.empty()) return false;
  // Leading zeros of the integer part and trailing zeros of the fraction say nothing.
  while (out.places > 0 && out.digits.back() == '0') {
    out.digits.pop_back();
    --out.places;
  }
  while (out.digits.size() > static_cast<size_t>(out.places) + 1 && out.digits.front() == '0')
    out.digits.erase(out.digits.begin());
  return true;
}

TBcd TextToBcd(const AnsiString& text, const TFormatSettings& fs) {
  Decimal d;
  if (!TryScanDecimal(text, fs, d) || d.digits.size() > 32) throw EConvertError(Format(kInvalidBcdText, {text}));
  TBcd bcd;
  bcd.Precision = static_cast<uint8_t>(d.digits.size());
  const bool zero = d.digits.find_first_not_of('0') == std::string::npos;
  bcd.SignSpecialPlaces = static_cast<uint8_t>((d.negative && !zero ? 0x80 : 0) | d.places);
  for (size_t i = 0; i < d.digits.size(); ++i) {
    const uint8_t v = static_cast<uint8_t>(d.digits[i] - '0');
    bcd.Fraction[i / 2] = static_cast<uint8_t>(i % 2 == 0 ? v << 4 : bcd.Fraction[i / 2] | v);
  }
  return bcd;
}

// Digits, sign and point of a checked record; '.' stands for the point.
Decimal BcdDigits(const TBcd& bcd) {
  CheckBcd(bcd);
  Decimal d;
  d.places = bcd.SignSpecialPlaces & 0x3F;
  for (int i = 0; i < bcd.Precision; ++i) d.digits += static_cast<char>('0' + BcdDigit(bcd, i));
  while (d.digits.size() < static_cast<size_t>(d.places) + 1) d.digits.insert(d.digits.begin(), '0');
  d.negative = (bcd.SignSpecialPlaces & 0x80) != 0;
  return d;
}

AnsiString DecimalText(Decimal d, char separator) {
  while (d.places > 0 && d.digits.back() == '0') {
    d.digits.pop_back();
    --d.places;
  }
  while (d.digits.size() > static_cast<size_t>(d.places) + 1 && d.digits.front() == '0')
    d.digits.erase(d.digits.begin());
  const bool zero = d.digits.find_first_not_of('0') == std::string::npos;
  AnsiString out = d.negative && !zero ? "-" : "";
  out += d.digits.substr(0, d.digits.size() - static_cast<size_t>(d.places));
  if (d.places > 0) out += separator + d.digits.substr(d.digits.size() - static_cast<size_t>(d.places));
  return out;
}

AnsiString BcdToText(const TBcd& bcd) { return DecimalText(BcdDigits(bcd), FormatSettings().DecimalSeparator); }

double BcdToDouble(const TBcd& bcd) {
  return StrToFloat(DecimalText(BcdDigits(bcd), '.'), TFormatSettings::Invariant());
}

TBcd ZeroBcd() { return CurrToBCD(Currency{}); }

// Currency text with the locale's decimal separator; digits beyond the fourth
// decimal round half to even.
Currency TextToCurrency(const AnsiString& text) {
  Decimal d;
  if (!TryScanDecimal(text, FormatSettings(), d)) throw EConvertError(Format(kInvalidFloatText, {text}));
  std::string digits = d.digits;
  int places = d.places;
  while (places < 4) {
    digits += '0';
    ++places;
  }
  const std::string kept = digits.substr(0, digits.size() - static_cast<size_t>(places - 4));
  const std::string rest = digits.substr(kept.size());
  constexpr uint64_t kLimit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t scaled = 0;
  for (char c : kept) {
    const uint64_t v = static_cast<uint64_t>(c - '0');
    if (scaled > (kLimit - v) / 10) throw EConvertError(Format(kInvalidFloatText, {text}));
    scaled = scaled * 10 + v;
  }
  if (!rest.empty()) {
    const bool above_half = rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
    const bool half = rest[0] == '5' && !above_half;
    if (above_half || (half && scaled % 2 != 0)) {
      if (scaled == kLimit) throw EConvertError(Format(kInvalidFloatText, {text}));
      ++scaled;
    }
  }
  const int64_t s = static_cast<int64_t>(scaled);
  return Currency::FromScaled(d.negative ? -s : s);
}

// ---- time stamps ---------------------------------------------------------------------

AnsiString TimeStampText(const TSQLTimeStamp& stamp) { return FormatDateTime("c", SQLTimeStampToDateTime(stamp)); }

// ---- byte arrays ------------------------------------------------------------------

// The bytes of a one-dimensional array of byte elements.
std::string BytesOfArray(const Variant& value) {
  if (!value.IsArray() || VarArrayDimCount(value) != 1) throw EDatabaseError(dbtext::kInvalidVarBytes);
  std::string bytes;
  for (int i = value.LowBound(); i <= value.HighBound(); ++i) {
    const Variant& item = value[i];
    if (item.VarType() != varByte) throw EDatabaseError(dbtext::kInvalidVarBytes);
    bytes.push_back(static_cast<char>(item.AsInteger()));
  }
  return bytes;
}

// ---- stream items ----------------------------------------------------------------

// What a reader of a component stream does with a value of the wrong kind.
[[noreturn]] void BadItem() { throw EReadError(kInvalidPropertyValue); }

int64_t ItemInteger(const TvpDataItem& item) {
  if (item.Kind != dkInteger && item.Kind != dkInt64) BadItem();
  return item.Int;
}

double ItemFloat(const TvpDataItem& item) {
  switch (item.Kind) {
    case dkFloat:
    case dkDate: return item.Float;
    case dkInteger:
    case dkInt64: return static_cast<double>(item.Int);
    default: BadItem();
  }
}

const AnsiString& ItemString(const TvpDataItem& item) {
  if (item.Kind != dkString) BadItem();
  return item.Text;
}

// Wide text, or 1251 text widened.
std::u16string ItemWide(const TvpDataItem& item) {
  return item.Kind == dkWideString ? item.Wide : AnsiToWide(ItemString(item));
}

bool ItemBoolean(const TvpDataItem& item) {
  if (item.Kind != dkBoolean) BadItem();
  return item.Int != 0;
}

Currency ItemCurrency(const TvpDataItem& item) {
  switch (item.Kind) {
    case dkCurrency: return Currency::FromScaled(item.Int);
    case dkInteger:
    case dkInt64:
      if (item.Int > std::numeric_limits<int64_t>::max() / 10000 || item.Int < std::numeric_limits<int64_t>::min() / 10000)
        BadItem();
      return Currency::FromScaled(item.Int * 10000);
    case dkFloat: return Currency::FromDouble(item.Float);
    default: BadItem();
  }
}

void PutItem(TvpDataItem* writer, TvpDataKind kind) {
  *writer = TvpDataItem{};
  writer->Kind = kind;
}

// The "Data" of one kind: read takes the reader's item, write fills the writer's.
template <class Read, class Write>
bool StreamAs(TvpDataKind kind, const TvpDataItem* reader, TvpDataItem* writer, Read read, Write write) {
  if (reader != nullptr) {
    read(*reader);
  } else {
    PutItem(writer, kind);
    write(*writer);
  }
  return true;
}

int Sign(double difference) { return difference < 0 ? -1 : (difference > 0 ? 1 : 0); }

template <class T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

// ---- reflection -------------------------------------------------------------------

const TTypeInfo& FieldTypeInfo() {
  static const TTypeInfo info = TTypeInfo::Enumeration(
      "TFieldType",
      {"ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat", "ftCurrency",
       "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes", "ftAutoInc", "ftBlob", "ftMemo",
       "ftGraphic", "ftFmtMemo", "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor", "ftFixedChar",
       "ftWideString", "ftLargeint", "ftADT", "ftArray", "ftReference", "ftDataSet", "ftOraBlob", "ftOraClob",
       "ftVariant", "ftInterface", "ftIDispatch", "ftGuid", "ftTimeStamp", "ftFMTBcd"});
  return info;
}

namespace {

template <class C>
TvpValueAccessor* Make(TvpUniValue& value) {
  return new C(value);
}

}  // namespace

// ---- class descriptors -------------------------------------------------------------

#define KIV7_VP_CLASS_INFO(Name, Parent)                                                 \
  const TClassInfo& Name::StaticClassInfo() {                                            \
    static const TClassInfo info(kClassOf<Name>, #Name, &Parent::StaticClassInfo());    \
    return info;                                                                         \
  }

KIV7_VP_CLASS_INFO(TvpValueAccessor, TPersistent)
KIV7_VP_CLASS_INFO(TvpStringAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpWideStringAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpNumericAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpIntegerAccessor, TvpNumericAccessor)
KIV7_VP_CLASS_INFO(TvpLargeIntAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpFloatAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpBoolAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpDateTimeAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpSQLTimeStampAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpBinaryAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpBCDAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpFMTBCDAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpBlobAccessor, TvpValueAccessor)
KIV7_VP_CLASS_INFO(TvpVariantAccessor, TvpValueAccessor)

#undef KIV7_VP_CLASS_INFO

const TClassInfo& TvpUniValue::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TvpUniValue>, "TvpUniValue", &TPersistent::StaticClassInfo(),
                               [](TPublisher<TvpUniValue>& p) {
                                 p.Ordinal("DataType", FieldTypeInfo(), &TvpUniValue::DataType,
                                           &TvpUniValue::SetDataType)
                                     .StoredWhen([](const TPersistent& o) {
                                       const auto& v = static_cast<const TvpUniValue&>(o);
                                       return v.StoreDataType() && v.DataType() != ftUnknown;
                                     });
                                 p.Boolean("IsNull", &TvpUniValue::IsNull, &TvpUniValue::SetIsNull).NotStored();
                                 p.String("AsString", &TvpUniValue::AsString, &TvpUniValue::SetAsString)
                                     .NotStored();
                               });
  return info;
}

// ---- the type table -----------------------------------------------------------------

TvpAccessorFactory AccessorClassOfType(TFieldType type) {
  static const TvpAccessorFactory kTable[kFieldTypeCount] = {
      Make<TvpVariantAccessor>,       // ftUnknown
      Make<TvpStringAccessor>,        // ftString
      Make<TvpIntegerAccessor>,       // ftSmallint
      Make<TvpIntegerAccessor>,       // ftInteger
      Make<TvpIntegerAccessor>,       // ftWord
      Make<TvpBoolAccessor>,          // ftBoolean
      Make<TvpFloatAccessor>,         // ftFloat
      Make<TvpFloatAccessor>,         // ftCurrency
      Make<TvpBCDAccessor>,           // ftBCD
      Make<TvpDateTimeAccessor>,      // ftDate
      Make<TvpDateTimeAccessor>,      // ftTime
      Make<TvpDateTimeAccessor>,      // ftDateTime
      Make<TvpBinaryAccessor>,        // ftBytes
      Make<TvpBinaryAccessor>,        // ftVarBytes
      Make<TvpIntegerAccessor>,       // ftAutoInc
      Make<TvpBlobAccessor>,          // ftBlob
      Make<TvpBlobAccessor>,          // ftMemo
      Make<TvpBlobAccessor>,          // ftGraphic
      Make<TvpBlobAccessor>,          // ftFmtMemo
      Make<TvpBlobAccessor>,          // ftParadoxOle
      Make<TvpBlobAccessor>,          // ftDBaseOle
      Make<TvpBlobAccessor>,          // ftTypedBinary
      Make<TvpValueAccessor>,         // ftCursor
      Make<TvpStringAccessor>,        // ftFixedChar
      Make<TvpWideStringAccessor>,    // ftWideString
      Make<TvpLargeIntAccessor>,      // ftLargeint
      Make<TvpValueAccessor>,         // ftADT
      Make<TvpValueAccessor>,         // ftArray
      Make<TvpValueAccessor>,         // ftReference
      Make<TvpValueAccessor>,         // ftDataSet
      Make<TvpBlobAccessor>,          // ftOraBlob
      Make<TvpBlobAccessor>,          // ftOraClob
      Make<TvpVariantAccessor>,       // ftVariant
      Make<TvpValueAccessor>,         // ftInterface
      Make<TvpValueAccessor>,         // ftIDispatch
      Make<TvpValueAccessor>,         // ftGuid
      Make<TvpSQLTimeStampAccessor>,  // ftTimeStamp
      Make<TvpFMTBCDAccessor>,        // ftFMTBcd
  };
  const int i = static_cast<int>(type);
  return i >= 0 && i < kFieldTypeCount ? kTable[i] : Make<TvpValueAccessor>;
}

// ---- TvpValueAccessor ----------------------------------------------------------------

void TvpValueAccessor::AccessError(const char* type_word) {
  throw EDatabaseError(Format(dbtext::kFieldAccess, {kValueName, type_word}));
}

bool TvpValueAccessor::IsNull() const { return value_.IsNull(); }
std::string_view TvpValueAccessor::Raw() const { return value_.RawData(); }
void TvpValueAccessor::WriteRaw(const void* data, size_t count) { value_.WriteRaw(data, count); }

bool TvpValueAccessor::ClearsFor(const Variant& value) {
  if (!value.IsNull()) return false;
  Clear();
  return true;
}

bool TvpValueAccessor::ClearsFor(const AnsiString& text) {
  if (!text.empty()) return false;
  Clear();
  return true;
}

TBcd TvpValueAccessor::GetAsBCD() const { return CurrToBCD(GetAsCurrency(), 32, 4); }
bool TvpValueAccessor::GetAsBoolean() const { AccessError("Boolean"); }

Variant TvpValueAccessor::GetAsByteArray() const {
  if (IsNull()) return Null();
  const std::string_view raw = Raw();
  Variant array = VarArrayCreate(0, static_cast<int>(raw.size()) - 1);
  for (size_t i = 0; i < raw.size(); ++i) array[static_cast<int>(i)] = Variant::FromByte(static_cast<uint8_t>(raw[i]));
  return array;
}

Currency TvpValueAccessor::GetAsCurrency() const { return Currency::FromScaled(PasRound(GetAsFloat() * 10000)); }
TDateTime TvpValueAccessor::GetAsDateTime() const { AccessError("DateTime"); }
double TvpValueAccessor::GetAsFloat() const { AccessError("Float"); }

int TvpValueAccessor::GetAsInteger() const {
  double value = 0;
  try {
    value = GetAsFloat();
  } catch (const EDatabaseError&) {
    AccessError("Integer");
  }
  return CheckedInt32(PasRound(value));
}

int64_t TvpValueAccessor::GetAsLargeInt() const { return GetAsInteger(); }
TSQLTimeStamp TvpValueAccessor::GetAsSQLTimeStamp() const { AccessError("SQLTimeStamp"); }
AnsiString TvpValueAccessor::GetAsString() const { AccessError("String"); }
Variant TvpValueAccessor::GetAsVariant() const { AccessError("Variant"); }
std::u16string TvpValueAccessor::GetAsWideString() const { return AnsiToWide(GetAsString()); }
void TvpValueAccessor::SetAsBCD(const TBcd& value) { SetAsCurrency(BCDToCurr(value)); }
void TvpValueAccessor::SetAsBoolean(bool) { AccessError("Boolean"); }
void TvpValueAccessor::SetAsByteArray(const Variant&) { AccessError("ByteArray"); }
void TvpValueAccessor::SetAsCurrency(Currency value) { SetAsFloat(value.ToDouble()); }
void TvpValueAccessor::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
void TvpValueAccessor::SetAsFloat(double) { AccessError("Float"); }
void TvpValueAccessor::SetAsInteger(int) { AccessError("Integer"); }
void TvpValueAccessor::SetAsLargeInt(int64_t) { AccessError("LargeInt"); }
void TvpValueAccessor::SetAsSQLTimeStamp(const TSQLTimeStamp&) { AccessError("SQLTimeStamp"); }
void TvpValueAccessor::SetAsString(const AnsiString&) { AccessError("String"); }
void TvpValueAccessor::SetAsVariant(const Variant&) { AccessError("Variant"); }
void TvpValueAccessor::SetAsWideString(const std::u16string&) { AccessError("WideString"); }
bool TvpValueAccessor::ReadWriteData(const TvpDataItem*, TvpDataItem*) { return false; }
void TvpValueAccessor::AssignFromValue(const TvpUniValue&) {}
void TvpValueAccessor::AssignFromField(const TField&) {}
void TvpValueAccessor::AssignToField(TField&) const {}
int TvpValueAccessor::CompareWith(const TvpValueAccessor&, bool) const { return 0; }

// ---- TvpStringAccessor ------------------------------------------------------------------

bool TvpStringAccessor::GetAsBoolean() const {
  const std::string_view raw = Raw();
  return !raw.empty() && (raw[0] == 'T' || raw[0] == 'Y' || raw[0] == 't' || raw[0] == 'y');
}
TBcd TvpStringAccessor::GetAsBCD() const { return IsNull() ? ZeroBcd() : TextToBcd(GetAsString(), FormatSettings()); }
TDateTime TvpStringAccessor::GetAsDateTime() const { return IsNull() ? 0 : StrToDateTime(GetAsString()); }
double TvpStringAccessor::GetAsFloat() const { return IsNull() ? 0 : StrToFloat(GetAsString()); }
int TvpStringAccessor::GetAsInteger() const { return IsNull() ? 0 : StrToInt(GetAsString()); }
int64_t TvpStringAccessor::GetAsLargeInt() const { return IsNull() ? 0 : StrToInt64(GetAsString()); }
TSQLTimeStamp TvpStringAccessor::GetAsSQLTimeStamp() const {
  return IsNull() ? TSQLTimeStamp{} : DateTimeToSQLTimeStamp(StrToDateTime(GetAsString()));
}
AnsiString TvpStringAccessor::GetAsString() const { return CharsOf(Raw()); }
Variant TvpStringAccessor::GetAsVariant() const { return IsNull() ? Null() : Variant(GetAsString()); }
void TvpStringAccessor::SetAsBCD(const TBcd& value) { SetAsString(BcdToText(value)); }
void TvpStringAccessor::SetAsBoolean(bool value) { SetAsString(value ? "T" : "F"); }
void TvpStringAccessor::SetAsDateTime(TDateTime value) { SetAsString(DateTimeToStr(value)); }
void TvpStringAccessor::SetAsFloat(double value) { SetAsString(FloatToStr(value)); }
void TvpStringAccessor::SetAsInteger(int value) { SetAsString(IntToStr(value)); }
void TvpStringAccessor::SetAsSQLTimeStamp(const TSQLTimeStamp& value) { SetAsString(TimeStampText(value)); }
void TvpStringAccessor::SetAsString(const AnsiString& value) { WriteRaw(value.c_str(), value.size() + 1); }
void TvpStringAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsString(value.AsString());
}
bool TvpStringAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkString, reader, writer, [&](const TvpDataItem& item) { SetAsString(ItemString(item)); },
                  [&](TvpDataItem& out) { out.Text = GetAsString(); });
}
void TvpStringAccessor::AssignFromValue(const TvpUniValue& source) { SetAsString(source.AsString()); }
void TvpStringAccessor::AssignFromField(const TField& field) { SetAsString(field.GetStringValue()); }
void TvpStringAccessor::AssignToField(TField& field) const { field.SetStringValue(GetAsString()); }
int TvpStringAccessor::CompareWith(const TvpValueAccessor& other, bool case_sensitive) const {
  const AnsiString a = GetAsString(), b = other.GetAsString();
  return case_sensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

// ---- TvpWideStringAccessor ----------------------------------------------------------------

AnsiString TvpWideStringAccessor::GetAsString() const { return WideToAnsi(GetAsWideString()); }
std::u16string TvpWideStringAccessor::GetAsWideString() const { return UnitsOf(Raw()); }
Variant TvpWideStringAccessor::GetAsVariant() const {
  // The toolkit's Variant has one text kind: wide text travels narrowed to it.
  return IsNull() ? Null() : Variant(GetAsString());
}
void TvpWideStringAccessor::SetAsString(const AnsiString& value) { SetAsWideString(AnsiToWide(value)); }
void TvpWideStringAccessor::SetAsWideString(const std::u16string& value) {
  WriteRaw(value.c_str(), (value.size() + 1) * sizeof(char16_t));
}
void TvpWideStringAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsWideString(AnsiToWide(value.AsString()));
}
bool TvpWideStringAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkWideString, reader, writer, [&](const TvpDataItem& item) { SetAsWideString(ItemWide(item)); },
                  [&](TvpDataItem& out) { out.Wide = GetAsWideString(); });
}
void TvpWideStringAccessor::AssignFromValue(const TvpUniValue& source) {
  SetAsWideString(source.Accessor().GetAsWideString());
}
void TvpWideStringAccessor::AssignFromField(const TField& field) { SetAsString(field.GetStringValue()); }
void TvpWideStringAccessor::AssignToField(TField& field) const { field.SetStringValue(GetAsString()); }
int TvpWideStringAccessor::CompareWith(const TvpValueAccessor& other, bool) const {
  return CompareStringLocaleW(kDefaultLcid, true, GetAsWideString(), other.GetAsWideString());
}

// ---- TvpIntegerAccessor ------------------------------------------------------------------

double TvpIntegerAccessor::GetAsFloat() const { return GetAsInteger(); }
int TvpIntegerAccessor::GetAsInteger() const { return ReadScalar<int32_t>(Raw()); }
int64_t TvpIntegerAccessor::GetAsLargeInt() const { return GetAsInteger(); }
AnsiString TvpIntegerAccessor::GetAsString() const { return IsNull() ? AnsiString() : IntToStr(GetAsInteger()); }
Variant TvpIntegerAccessor::GetAsVariant() const { return IsNull() ? Null() : Variant(GetAsInteger()); }
void TvpIntegerAccessor::SetAsFloat(double value) { SetAsInteger(CheckedInt32(PasRound(value))); }
void TvpIntegerAccessor::SetAsInteger(int value) {
  const int32_t v = value;
  WriteRaw(&v, sizeof v);
}
void TvpIntegerAccessor::SetAsLargeInt(int64_t value) { SetAsInteger(CheckedInt32(value)); }
void TvpIntegerAccessor::SetAsString(const AnsiString& value) {
  if (!ClearsFor(value)) SetAsInteger(StrToInt(value));
}
void TvpIntegerAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsLargeInt(value.AsInt64());
}
bool TvpIntegerAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkInteger, reader, writer, [&](const TvpDataItem& item) { SetAsLargeInt(ItemInteger(item)); },
                  [&](TvpDataItem& out) { out.Int = GetAsInteger(); });
}
void TvpIntegerAccessor::AssignFromValue(const TvpUniValue& source) { SetAsInteger(source.AsInteger()); }
void TvpIntegerAccessor::AssignFromField(const TField& field) { SetAsInteger(field.GetIntegerValue()); }
void TvpIntegerAccessor::AssignToField(TField& field) const { field.SetIntegerValue(GetAsInteger()); }
int TvpIntegerAccessor::CompareWith(const TvpValueAccessor& other, bool) const {
  return Order(GetAsInteger(), other.GetAsInteger());
}

// ---- TvpLargeIntAccessor -----------------------------------------------------------------

double TvpLargeIntAccessor::GetAsFloat() const { return static_cast<double>(GetAsLargeInt()); }
int TvpLargeIntAccessor::GetAsInteger() const { return CheckedInt32(GetAsLargeInt()); }
int64_t TvpLargeIntAccessor::GetAsLargeInt() const { return ReadScalar<int64_t>(Raw()); }
AnsiString TvpLargeIntAccessor::GetAsString() const { return IsNull() ? AnsiString() : IntToStr(GetAsLargeInt()); }
Variant TvpLargeIntAccessor::GetAsVariant() const { return IsNull() ? Null() : Variant(GetAsLargeInt()); }
void TvpLargeIntAccessor::SetAsFloat(double value) { SetAsLargeInt(PasRound(value)); }
void TvpLargeIntAccessor::SetAsInteger(int value) { SetAsLargeInt(value); }
void TvpLargeIntAccessor::SetAsLargeInt(int64_t value) { WriteRaw(&value, sizeof value); }
void TvpLargeIntAccessor::SetAsString(const AnsiString& value) {
  if (!ClearsFor(value)) SetAsLargeInt(StrToInt64(value));
}
void TvpLargeIntAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsLargeInt(value.AsInt64());
}
bool TvpLargeIntAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkInt64, reader, writer, [&](const TvpDataItem& item) { SetAsLargeInt(ItemInteger(item)); },
                  [&](TvpDataItem& out) { out.Int = GetAsLargeInt(); });
}
void TvpLargeIntAccessor::AssignFromValue(const TvpUniValue& source) { SetAsLargeInt(source.AsLargeInt()); }
// Through the field's 64-bit value: its 32-bit one cannot hold every large integer.
void TvpLargeIntAccessor::AssignFromField(const TField& field) { SetAsLargeInt(field.GetLargeintValue()); }
void TvpLargeIntAccessor::AssignToField(TField& field) const { field.SetLargeintValue(GetAsLargeInt()); }
int TvpLargeIntAccessor::CompareWith(const TvpValueAccessor& other, bool) const {
  return Order(GetAsLargeInt(), other.GetAsLargeInt());
}

// ---- TvpFloatAccessor ----------------------------------------------------------------------

double TvpFloatAccessor::GetAsFloat() const { return ReadScalar<double>(Raw()); }
int TvpFloatAccessor::GetAsInteger() const { return CheckedInt32(GetAsLargeInt()); }
int64_t TvpFloatAccessor::GetAsLargeInt() const { return IsNull() ? 0 : PasRound(GetAsFloat()); }
AnsiString TvpFloatAccessor::GetAsString() const { return IsNull() ? AnsiString() : FloatToStr(GetAsFloat()); }
Variant TvpFloatAccessor::GetAsVariant() const { return IsNull() ? Null() : Variant(GetAsFloat()); }
void TvpFloatAccessor::SetAsFloat(double value) { WriteRaw(&value, sizeof value); }
void TvpFloatAccessor::SetAsInteger(int value) { SetAsFloat(value); }
void TvpFloatAccessor::SetAsLargeInt(int64_t value) { SetAsFloat(static_cast<double>(value)); }
void TvpFloatAccessor::SetAsString(const AnsiString& value) {
  if (!ClearsFor(value)) SetAsFloat(StrToFloat(value));
}
void TvpFloatAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsFloat(value.AsDouble());
}
bool TvpFloatAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkFloat, reader, writer, [&](const TvpDataItem& item) { SetAsFloat(ItemFloat(item)); },
                  [&](TvpDataItem& out) { out.Float = GetAsFloat(); });
}
void TvpFloatAccessor::AssignFromValue(const TvpUniValue& source) { SetAsFloat(source.AsFloat()); }
void TvpFloatAccessor::AssignFromField(const TField& field) { SetAsFloat(field.GetFloatValue()); }
void TvpFloatAccessor::AssignToField(TField& field) const { field.SetFloatValue(GetAsFloat()); }
int TvpFloatAccessor::CompareWith(const TvpValueAccessor& other, bool) const {
  return Sign(GetAsFloat() - other.GetAsFloat());
}

// ---- TvpBoolAccessor ------------------------------------------------------------------------

bool TvpBoolAccessor::GetAsBoolean() const { return ReadScalar<uint16_t>(Raw()) != 0; }
AnsiString TvpBoolAccessor::GetAsString() const {
  if (IsNull()) return AnsiString();
  return GetAsBoolean() ? "True" : "False";
}
Variant TvpBoolAccessor::GetAsVariant() const { return IsNull() ? Null() : Variant(GetAsBoolean()); }
void TvpBoolAccessor::SetAsBoolean(bool value) {
  const uint16_t word = value ? 0xFFFF : 0;
  WriteRaw(&word, sizeof word);
}
void TvpBoolAccessor::SetAsString(const AnsiString& value) {
  if (ClearsFor(value)) return;
  if (SameText(value, "False")) SetAsBoolean(false);
  else if (SameText(value, "True")) SetAsBoolean(true);
  else throw EDatabaseError(Format(dbtext::kInvalidBoolText, {value}));
}
void TvpBoolAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsBoolean(value.AsBoolean());
}
bool TvpBoolAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkBoolean, reader, writer, [&](const TvpDataItem& item) { SetAsBoolean(ItemBoolean(item)); },
                  [&](TvpDataItem& out) { out.Int = GetAsBoolean() ? 1 : 0; });
}
void TvpBoolAccessor::AssignFromValue(const TvpUniValue& source) { SetAsBoolean(source.AsBoolean()); }
void TvpBoolAccessor::AssignFromField(const TField& field) { SetAsBoolean(field.GetBooleanValue()); }
void TvpBoolAccessor::AssignToField(TField& field) const { field.SetBooleanValue(GetAsBoolean()); }
int TvpBoolAccessor::CompareWith(const TvpValueAccessor& other, bool) const {
  return Order(GetAsBoolean(), other.GetAsBoolean());
}

// ---- TvpDateTimeAccessor -------------------------------------------------------------------

TDateTime TvpDateTimeAccessor::GetAsDateTime() const { return ReadScalar<double>(Raw()); }
double TvpDateTimeAccessor::GetAsFloat() const { return GetAsDateTime(); }
AnsiString TvpDateTimeAccessor::GetAsString() const {
  if (IsNull()) return AnsiString();
  switch (Value().DataType()) {
    case ftDate: return DateToStr(GetAsDateTime());
    case ftTime: return TimeToStr(GetAsDateTime());
    default: return DateTimeToStr(GetAsDateTime());
  }
}
Variant TvpDateTimeAccessor::GetAsVariant() const { return IsNull() ? Null() : Variant::FromDate(GetAsDateTime()); }
void TvpDateTimeAccessor::SetAsDateTime(TDateTime value) { WriteRaw(&value, sizeof value); }
void TvpDateTimeAccessor::SetAsFloat(double value) { SetAsDateTime(value); }
void TvpDateTimeAccessor::SetAsString(const AnsiString& value) {
  if (ClearsFor(value)) return;
  switch (Value().DataType()) {
    case ftDate: SetAsDateTime(StrToDate(value)); break;
    case ftTime: SetAsDateTime(StrToTime(value)); break;
    default: SetAsDateTime(StrToDateTime(value)); break;
  }
}
void TvpDateTimeAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsDateTime(value.AsDateTime());
}
bool TvpDateTimeAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkDate, reader, writer, [&](const TvpDataItem& item) { SetAsDateTime(ItemFloat(item)); },
                  [&](TvpDataItem& out) { out.Float = GetAsDateTime(); });
}
void TvpDateTimeAccessor::AssignFromValue(const TvpUniValue& source) { SetAsDateTime(source.AsDateTime()); }
void TvpDateTimeAccessor::AssignFromField(const TField& field) { SetAsDateTime(field.GetDateTimeValue()); }
void TvpDateTimeAccessor::AssignToField(TField& field) const { field.SetDateTimeValue(GetAsDateTime()); }
int TvpDateTimeAccessor::CompareWith(const TvpValueAccessor& other, bool) const {
  return Sign(GetAsDateTime() - other.GetAsDateTime());
}

// ---- TvpSQLTimeStampAccessor ------------------------------------------------------------------

TDateTime TvpSQLTimeStampAccessor::GetAsDateTime() const {
  return IsNull() ? 0 : SQLTimeStampToDateTime(GetAsSQLTimeStamp());
}
TSQLTimeStamp TvpSQLTimeStampAccessor::GetAsSQLTimeStamp() const { return ReadScalar<TSQLTimeStamp>(Raw()); }
AnsiString TvpSQLTimeStampAccessor::GetAsString() const {
  return IsNull() ? AnsiString() : TimeStampText(GetAsSQLTimeStamp());
}
Variant TvpSQLTimeStampAccessor::GetAsVariant() const {
  // The toolkit's Variant has no time-stamp kind; the date kind carries the moment.
  return IsNull() ? Null() : Variant::FromDate(GetAsDateTime());
}
void TvpSQLTimeStampAccessor::SetAsDateTime(TDateTime value) {
  if (value == 0) Clear();
  else SetAsSQLTimeStamp(DateTimeToSQLTimeStamp(value));
}
void TvpSQLTimeStampAccessor::SetAsSQLTimeStamp(const TSQLTimeStamp& value) {
  SQLTimeStampToDateTime(value);  // an impossible stamp is refused before it is stored
  WriteRaw(&value, sizeof value);
}
void TvpSQLTimeStampAccessor::SetAsString(const AnsiString& value) {
  if (!ClearsFor(value)) SetAsSQLTimeStamp(DateTimeToSQLTimeStamp(StrToDateTime(value)));
}
void TvpSQLTimeStampAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsSQLTimeStamp(DateTimeToSQLTimeStamp(value.AsDateTime()));
}
bool TvpSQLTimeStampAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkDate, reader, writer, [&](const TvpDataItem& item) { SetAsDateTime(ItemFloat(item)); },
                  [&](TvpDataItem& out) { out.Float = GetAsDateTime(); });
}
void TvpSQLTimeStampAccessor::AssignFromValue(const TvpUniValue& source) {
  SetAsSQLTimeStamp(source.AsSQLTimeStamp());
}
void TvpSQLTimeStampAccessor::AssignFromField(const TField& field) { SetAsSQLTimeStamp(field.GetSQLTimeStampValue()); }
void TvpSQLTimeStampAccessor::AssignToField(TField& field) const { field.SetSQLTimeStampValue(GetAsSQLTimeStamp()); }
int TvpSQLTimeStampAccessor::CompareWith(const TvpValueAccessor& other, bool) const {
  return Sign(GetAsDateTime() - other.GetAsDateTime());
}

// ---- TvpBinaryAccessor ------------------------------------------------------------------------

AnsiString TvpBinaryAccessor::GetAsString() const { return AnsiString(Raw()); }
Variant TvpBinaryAccessor::GetAsVariant() const { return GetAsByteArray(); }
void TvpBinaryAccessor::SetAsByteArray(const Variant& value) {
  const std::string bytes = BytesOfArray(value);
  WriteRaw(bytes.data(), bytes.size());
}
void TvpBinaryAccessor::SetAsString(const AnsiString& value) { WriteRaw(value.data(), value.size()); }
void TvpBinaryAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsByteArray(value);
}
bool TvpBinaryAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkString, reader, writer, [&](const TvpDataItem& item) { SetAsString(ItemString(item)); },
                  [&](TvpDataItem& out) { out.Text = GetAsString(); });
}
void TvpBinaryAccessor::AssignFromValue(const TvpUniValue& source) { SetAsString(source.AsString()); }
void TvpBinaryAccessor::AssignFromField(const TField& field) { SetAsVariant(field.GetVariantValue()); }
void TvpBinaryAccessor::AssignToField(TField& field) const { field.SetVariantValue(GetAsVariant()); }
int TvpBinaryAccessor::CompareWith(const TvpValueAccessor&, bool) const { return 0; }

// ---- TvpBCDAccessor ----------------------------------------------------------------------------

TBcd TvpBCDAccessor::GetAsBCD() const { return IsNull() ? ZeroBcd() : CurrToBCD(GetAsCurrency()); }
Currency TvpBCDAccessor::GetAsCurrency() const { return Currency::FromScaled(ReadScalar<int64_t>(Raw())); }
double TvpBCDAccessor::GetAsFloat() const { return GetAsCurrency().ToDouble(); }
int TvpBCDAccessor::GetAsInteger() const { return CheckedInt32(GetAsLargeInt()); }
int64_t TvpBCDAccessor::GetAsLargeInt() const { return RoundCurrency(GetAsCurrency()); }
AnsiString TvpBCDAccessor::GetAsString() const { return IsNull() ? AnsiString() : CurrToStr(GetAsCurrency()); }
Variant TvpBCDAccessor::GetAsVariant() const { return IsNull() ? Null() : Variant(GetAsCurrency()); }
void TvpBCDAccessor::SetAsBCD(const TBcd& value) { SetAsCurrency(BCDToCurr(value)); }
void TvpBCDAccessor::SetAsCurrency(Currency value) { WriteRaw(&value.Scaled, sizeof value.Scaled); }
void TvpBCDAccessor::SetAsFloat(double value) { SetAsCurrency(Currency::FromDouble(value)); }
void TvpBCDAccessor::SetAsInteger(int value) { SetAsCurrency(Currency::FromScaled(int64_t{value} * 10000)); }
void TvpBCDAccessor::SetAsString(const AnsiString& value) {
  if (!ClearsFor(value)) SetAsCurrency(TextToCurrency(value));
}
void TvpBCDAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsCurrency(value.AsCurrency());
}
bool TvpBCDAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkCurrency, reader, writer, [&](const TvpDataItem& item) { SetAsCurrency(ItemCurrency(item)); },
                  [&](TvpDataItem& out) { out.Int = GetAsCurrency().Scaled; });
}
void TvpBCDAccessor::AssignFromValue(const TvpUniValue& source) { SetAsCurrency(source.Accessor().GetAsCurrency()); }
void TvpBCDAccessor::AssignFromField(const TField& field) { SetAsBCD(field.GetBCDValue()); }
void TvpBCDAccessor::AssignToField(TField& field) const { field.SetBCDValue(GetAsBCD()); }
int TvpBCDAccessor::CompareWith(const TvpValueAccessor& other, bool) const {
  return Order(GetAsCurrency().Scaled, other.GetAsCurrency().Scaled);
}

// ---- TvpFMTBCDAccessor ---------------------------------------------------------------------------

TBcd TvpFMTBCDAccessor::GetAsBCD() const { return IsNull() ? ZeroBcd() : ReadScalar<TBcd>(Raw()); }
double TvpFMTBCDAccessor::GetAsFloat() const { return IsNull() ? 0 : BcdToDouble(GetAsBCD()); }
int TvpFMTBCDAccessor::GetAsInteger() const { return CheckedInt32(GetAsLargeInt()); }
int64_t TvpFMTBCDAccessor::GetAsLargeInt() const { return IsNull() ? 0 : PasRound(GetAsFloat()); }
AnsiString TvpFMTBCDAccessor::GetAsString() const { return IsNull() ? AnsiString() : BcdToText(GetAsBCD()); }
Variant TvpFMTBCDAccessor::GetAsVariant() const {
  // The toolkit's Variant has no BCD kind; its fixed-point kind is currency.
  return IsNull() ? Null() : Variant(BCDToCurr(GetAsBCD()));
}
void TvpFMTBCDAccessor::SetAsBCD(const TBcd& value) {
  CheckBcd(value);
  WriteRaw(&value, sizeof value);
}
void TvpFMTBCDAccessor::SetAsCurrency(Currency value) { SetAsBCD(CurrToBCD(value)); }
void TvpFMTBCDAccessor::SetAsFloat(double value) { SetAsCurrency(Currency::FromDouble(value)); }
void TvpFMTBCDAccessor::SetAsInteger(int value) { SetAsCurrency(Currency::FromScaled(int64_t{value} * 10000)); }
void TvpFMTBCDAccessor::SetAsString(const AnsiString& value) {
  if (!ClearsFor(value)) SetAsBCD(TextToBcd(value, FormatSettings()));
}
void TvpFMTBCDAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsCurrency(value.AsCurrency());
}
bool TvpFMTBCDAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkCurrency, reader, writer, [&](const TvpDataItem& item) { SetAsCurrency(ItemCurrency(item)); },
                  [&](TvpDataItem& out) { out.Int = BCDToCurr(GetAsBCD()).Scaled; });
}
void TvpFMTBCDAccessor::AssignFromValue(const TvpUniValue& source) { SetAsBCD(source.AsBCD()); }
void TvpFMTBCDAccessor::AssignFromField(const TField& field) { SetAsBCD(field.GetBCDValue()); }
void TvpFMTBCDAccessor::AssignToField(TField& field) const { field.SetBCDValue(GetAsBCD()); }
int TvpFMTBCDAccessor::CompareWith(const TvpValueAccessor& other, bool) const {
  return Sign(GetAsFloat() - other.GetAsFloat());
}

// ---- TvpBlobAccessor -----------------------------------------------------------------------------

AnsiString TvpBlobAccessor::GetAsString() const { return AnsiString(Raw()); }
Variant TvpBlobAccessor::GetAsVariant() const { return IsNull() ? Null() : Variant(GetAsString()); }
void TvpBlobAccessor::SetAsString(const AnsiString& value) { WriteRaw(value.data(), value.size()); }
void TvpBlobAccessor::SetAsVariant(const Variant& value) {
  if (!ClearsFor(value)) SetAsString(value.AsString());
}
bool TvpBlobAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  return StreamAs(dkString, reader, writer, [&](const TvpDataItem& item) { SetAsString(ItemString(item)); },
                  [&](TvpDataItem& out) { out.Text = GetAsString(); });
}
void TvpBlobAccessor::AssignFromValue(const TvpUniValue& source) { SetAsString(source.AsString()); }
void TvpBlobAccessor::AssignFromField(const TField& field) { SetAsString(field.GetStringValue()); }
void TvpBlobAccessor::AssignToField(TField& field) const { field.SetStringValue(GetAsString()); }
int TvpBlobAccessor::CompareWith(const TvpValueAccessor& other, bool) const {
  return AnsiCompareText(GetAsString(), other.GetAsString());
}

// ---- TvpVariantAccessor -------------------------------------------------------------------------

const Variant& TvpVariantAccessor::Held() const {
  static const Variant kNull = Null();
  const TvpVariantHolder* holder = Value().holder_.get();
  return holder != nullptr ? holder->Value : kNull;
}

TBcd TvpVariantAccessor::GetAsBCD() const { return IsNull() ? ZeroBcd() : CurrToBCD(Held().AsCurrency()); }
bool TvpVariantAccessor::GetAsBoolean() const { return !IsNull() && Held().AsBoolean(); }
TDateTime TvpVariantAccessor::GetAsDateTime() const { return IsNull() ? 0 : Held().AsDateTime(); }
double TvpVariantAccessor::GetAsFloat() const { return IsNull() ? 0 : Held().AsDouble(); }
int TvpVariantAccessor::GetAsInteger() const { return IsNull() ? 0 : Held().AsInteger(); }
int64_t TvpVariantAccessor::GetAsLargeInt() const { return IsNull() ? 0 : Held().AsInt64(); }
TSQLTimeStamp TvpVariantAccessor::GetAsSQLTimeStamp() const {
  return IsNull() ? TSQLTimeStamp{} : DateTimeToSQLTimeStamp(Held().AsDateTime());
}
AnsiString TvpVariantAccessor::GetAsString() const { return VarToStr(Held()); }
Variant TvpVariantAccessor::GetAsVariant() const { return Held(); }

void TvpVariantAccessor::SetAsVariant(const Variant& value) {
  if (value.IsNull()) {
    Clear();
    return;
  }
  TvpUniValue& v = Value();
  if (v.holder_ == nullptr) {
    auto holder = std::make_unique<TvpVariantHolder>();
    holder->Value = value;
    const TvpVariantHolder* address = holder.get();
    // The bytes only mark the value as present; the holder itself is owned by
    // the value and never recovered from them.
    WriteRaw(&address, sizeof address);
    v.holder_ = std::move(holder);
  } else {
    v.holder_->Value = value;
    v.SetModified(true);
  }
}

void TvpVariantAccessor::SetAsBCD(const TBcd& value) { SetAsVariant(Variant(BCDToCurr(value))); }
void TvpVariantAccessor::SetAsBoolean(bool value) { SetAsVariant(Variant(value)); }
void TvpVariantAccessor::SetAsByteArray(const Variant& value) { SetAsVariant(value); }
void TvpVariantAccessor::SetAsCurrency(Currency value) { SetAsVariant(Variant(value)); }
void TvpVariantAccessor::SetAsDateTime(TDateTime value) { SetAsVariant(Variant::FromDate(value)); }
void TvpVariantAccessor::SetAsFloat(double value) { SetAsVariant(Variant(value)); }
void TvpVariantAccessor::SetAsInteger(int value) { SetAsVariant(Variant(value)); }
void TvpVariantAccessor::SetAsLargeInt(int64_t value) { SetAsVariant(Variant(value)); }
void TvpVariantAccessor::SetAsSQLTimeStamp(const TSQLTimeStamp& value) {
  SetAsVariant(Variant::FromDate(SQLTimeStampToDateTime(value)));
}
void TvpVariantAccessor::SetAsString(const AnsiString& value) {
  if (!ClearsFor(value)) SetAsVariant(Variant(value));
}
void TvpVariantAccessor::SetAsWideString(const std::u16string& value) { SetAsString(WideToAnsi(value)); }

// A held variant of a plain kind is streamed in that kind so that it comes
// back; arrays and Unassigned have no stream form and are left out.
bool TvpVariantAccessor::ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
  if (reader != nullptr) {
    switch (reader->Kind) {
      case dkString: SetAsVariant(Variant(reader->Text)); break;
      case dkWideString: SetAsVariant(Variant(WideToAnsi(reader->Wide))); break;
      case dkInteger: SetAsVariant(Variant(CheckedInt32(reader->Int))); break;
      case dkInt64: SetAsVariant(Variant(reader->Int)); break;
      case dkFloat: SetAsVariant(Variant(reader->Float)); break;
      case dkBoolean: SetAsVariant(Variant(reader->Int != 0)); break;
      case dkDate: SetAsVariant(Variant::FromDate(reader->Float)); break;
      case dkCurrency: SetAsVariant(Variant(Currency::FromScaled(reader->Int))); break;
    }
    return true;
  }
  const Variant& held = Held();
  switch (held.VarType()) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
      PutItem(writer, dkInteger);
      writer->Int = held.AsInteger();
      return true;
    case varLongWord:
    case varInt64:
      PutItem(writer, dkInt64);
      writer->Int = held.AsInt64();
      return true;
    case varSingle:
    case varDouble:
      PutItem(writer, dkFloat);
      writer->Float = held.AsDouble();
      return true;
    case varDate:
      PutItem(writer, dkDate);
      writer->Float = held.AsDateTime();
      return true;
    case varCurrency:
      PutItem(writer, dkCurrency);
      writer->Int = held.AsCurrency().Scaled;
      return true;
    case varBoolean:
      PutItem(writer, dkBoolean);
      writer->Int = held.AsBoolean() ? 1 : 0;
      return true;
    case varString:
      PutItem(writer, dkString);
      writer->Text = held.AsString();
      return true;
    default: return false;
  }
}

void TvpVariantAccessor::AssignFromValue(const TvpUniValue& source) { SetAsVariant(source.AsVariant()); }
void TvpVariantAccessor::AssignFromField(const TField& field) { SetAsVariant(field.GetVariantValue()); }
void TvpVariantAccessor::AssignToField(TField& field) const { field.SetVariantValue(GetAsVariant()); }
int TvpVariantAccessor::CompareWith(const TvpValueAccessor&, bool) const { return 0; }

// ---- TvpUniValue --------------------------------------------------------------------------------

void TvpUniValue::DefineProperties(TFiler& filer) {
  TvpDataItem out;
  const bool has_data = HasStreamData() && ReadWriteData(nullptr, &out);
  auto read = [this](TReader& reader) {
    TvpDataItem item;
    switch (reader.NextValue()) {
      case vaString:
      case vaLString:
      case vaUTF8String: item.Kind = dkString; item.Text = reader.ReadString(); break;
      case vaWString: item.Kind = dkWideString; item.Wide = reader.ReadWideString(); break;
      case vaInt8:
      case vaInt16:
      case vaInt32: item.Kind = dkInteger; item.Int = reader.ReadInteger(); break;
      case vaInt64: item.Kind = dkInt64; item.Int = reader.ReadInteger(); break;
      case vaExtended:
      case vaSingle: item.Kind = dkFloat; item.Float = reader.ReadFloat(); break;
      case vaDate: item.Kind = dkDate; item.Float = reader.ReadDate(); break;
      case vaCurrency: item.Kind = dkCurrency; item.Int = reader.ReadCurrency(); break;
      case vaFalse:
      case vaTrue: item.Kind = dkBoolean; item.Int = reader.ReadBoolean() ? 1 : 0; break;
      default: BadItem();
    }
    ReadWriteData(&item, nullptr);
  };
  auto write = [&out](TWriter& writer) {
    switch (out.Kind) {
      case dkString: writer.WriteString(out.Text); break;
      case dkWideString: writer.WriteWideString(out.Wide); break;
      case dkInteger:
      case dkInt64: writer.WriteInteger(out.Int); break;
      case dkFloat: writer.WriteFloat(out.Float); break;
      case dkBoolean: writer.WriteBoolean(out.Int != 0); break;
      case dkDate: writer.WriteDate(out.Float); break;
      case dkCurrency: writer.WriteCurrency(out.Int); break;
    }
  };
  filer.DefineProperty("Data", read, write, has_data);
}

TvpUniValue::TvpUniValue(bool auto_type, bool convert_on_type_change)
    : accessor_(std::make_unique<TvpValueAccessor>(*this)),
      auto_type_(auto_type),
      convert_on_type_change_(convert_on_type_change) {}

TvpUniValue::~TvpUniValue() {
  raw_.clear();
  holder_.reset();
}

void TvpUniValue::SetDataType(TFieldType type) {
  if (static_cast<int>(type) < 0 || static_cast<int>(type) >= kFieldTypeCount) throw ERangeError("Range check error");
  if (type == data_type_) return;
  if (!auto_type_ && !convert_on_type_change_ && data_type_ != ftUnknown) return;
  std::unique_ptr<TvpUniValue> copy;
  if (convert_on_type_change_ && !preparing_type_) {
    copy = std::make_unique<TvpUniValue>(auto_type_, convert_on_type_change_);
    copy->Assign(this);
  }
  Clear();
  data_type_ = type;
  accessor_.reset();
  accessor_.reset(AccessorClassOfType(type)(*this));
  if (copy != nullptr && !copy->IsNull()) accessor_->AssignFromValue(*copy);
}

void TvpUniValue::PrepareType(TFieldType type) {
  TScopedValue<bool> preparing(preparing_type_, true);
  if (auto_type_ || data_type_ == ftUnknown) SetDataType(type);
}

void TvpUniValue::SetIsNull(bool value) {
  if (value) Clear();
}

void TvpUniValue::Clear() { WriteRaw(nullptr, 0); }

void TvpUniValue::WriteRaw(const void* data, size_t count) {
  if (data == nullptr || count == 0) {
    holder_.reset();
    raw_.clear();
  } else {
    raw_.assign(static_cast<const char*>(data), count);
  }
  modified_ = true;
}

bool TvpUniValue::AsBoolean() const { return accessor_->GetAsBoolean(); }
TDateTime TvpUniValue::AsDateTime() const { return accessor_->GetAsDateTime(); }
double TvpUniValue::AsFloat() const { return accessor_->GetAsFloat(); }
int TvpUniValue::AsInteger() const { return accessor_->GetAsInteger(); }
int64_t TvpUniValue::AsLargeInt() const { return accessor_->GetAsLargeInt(); }
TBcd TvpUniValue::AsBCD() const { return accessor_->GetAsBCD(); }
Variant TvpUniValue::AsByteArray() const { return accessor_->GetAsByteArray(); }
TSQLTimeStamp TvpUniValue::AsSQLTimeStamp() const { return accessor_->GetAsSQLTimeStamp(); }
AnsiString TvpUniValue::AsString() const { return IsNull() ? AnsiString() : accessor_->GetAsString(); }
Variant TvpUniValue::AsVariant() const { return IsNull() ? Null() : accessor_->GetAsVariant(); }

void TvpUniValue::SetAsBoolean(bool value) {
  PrepareType(ftBoolean);
  accessor_->SetAsBoolean(value);
}
void TvpUniValue::SetAsDateTime(TDateTime value) {
  PrepareType(ftDateTime);
  accessor_->SetAsDateTime(value);
}
void TvpUniValue::SetAsFloat(double value) {
  PrepareType(ftFloat);
  accessor_->SetAsFloat(value);
}
void TvpUniValue::SetAsInteger(int value) {
  PrepareType(ftInteger);
  accessor_->SetAsInteger(value);
}
void TvpUniValue::SetAsLargeInt(int64_t value) {
  PrepareType(ftLargeint);
  accessor_->SetAsLargeInt(value);
}
void TvpUniValue::SetAsString(const AnsiString& value) {
  PrepareType(ftString);
  accessor_->SetAsString(value);
}
void TvpUniValue::SetAsVariant(const Variant& value) {
  if (value.IsNull()) {
    Clear();
    return;
  }
  PrepareType(ftVariant);
  accessor_->SetAsVariant(value);
}

void TvpUniValue::Assign(const TPersistent* source) {
  if (const auto* value = dynamic_cast<const TvpUniValue*>(source)) {
    if (value == this) return;
    if (value->IsNull()) {
      Clear();
    } else {
      PrepareType(value->DataType());
      accessor_->AssignFromValue(*value);
    }
    return;
  }
  if (const auto* field = dynamic_cast<const TField*>(source)) {
    if (field->HoldsNull()) {
      Clear();
    } else {
      PrepareType(field->DataType());
      accessor_->AssignFromField(*field);
    }
    return;
  }
  TPersistent::Assign(source);
}

void TvpUniValue::AssignTo(TPersistent* dest) const {
  if (auto* value = dynamic_cast<TvpUniValue*>(dest)) {
    value->Assign(this);
    return;
  }
  if (auto* field = dynamic_cast<TField*>(dest)) {
    if (IsNull()) field->ClearValue();
    else accessor_->AssignToField(*field);
    return;
  }
  TPersistent::AssignTo(dest);
}

void TvpUniValue::LoadFromStream(TMemoryStream& stream) {
  if (!IsBlobFieldType(data_type_)) return;
  const std::string_view bytes = stream.Bytes();
  WriteRaw(bytes.data(), bytes.size());
}

void TvpUniValue::SaveToStream(TMemoryStream& stream) const {
  if (holder_ != nullptr) return;
  stream.WriteBuffer(raw_.data(), static_cast<int64_t>(raw_.size()));
}

int TvpUniValue::Compare(const TvpUniValue& other, bool case_sensitive, bool nulls_first) const {
  const bool a = IsNull(), b = other.IsNull();
  if (a && b) return 0;
  if (a) return nulls_first ? -1 : 1;
  if (b) return nulls_first ? 1 : -1;
  return accessor_->CompareWith(other.Accessor(), case_sensitive);
}

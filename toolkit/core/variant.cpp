#include "toolkit/core/variant.h"

#include <cmath>
#include <limits>

#include "toolkit/core/text.h"

namespace {

// Arrays larger than this are refused: a script's bad bound must not exhaust memory.
constexpr int64_t kMaxArrayElements = 1 << 24;

}  // namespace

bool VarTypeIsInteger(TVarType t) {
  switch (t) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
      return true;
    default:
      return false;
  }
}

namespace {

bool IsFloatKind(TVarType t) { return t == varSingle || t == varDouble; }

[[noreturn]] void InvalidOperation() { throw EVariantError("Invalid variant operation"); }

[[noreturn]] void OverflowError(TVarType from, TVarType to) {
  throw EVariantError("Overflow while converting variant of type (" + VarTypeAsText(from) +
                      ") into type (" + VarTypeAsText(to) + ")");
}

bool EqualsNoCaseAscii(const AnsiString& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    char d = b[i];
    if (d >= 'a' && d <= 'z') d = static_cast<char>(d - 32);
    if (c != d) return false;
  }
  return i == a.size() && b[i] == 0;
}

// Rounds a Currency's scaled value to an integer, halves to even.
int64_t RoundScaled(int64_t scaled) {
  int64_t q = scaled / 10000;
  const int64_t r = scaled % 10000;
  const int64_t ar = r < 0 ? -r : r;
  if (ar > 5000 || (ar == 5000 && (q % 2 != 0))) q += r < 0 ? -1 : 1;
  return q;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

Variant::Variant(bool value) : type_(varBoolean), i_(value ? 1 : 0) {}
Variant::Variant(int value) : type_(varInteger), i_(value) {}
Variant::Variant(long value) : type_(varInt64), i_(value) {}
Variant::Variant(long long value) : type_(varInt64), i_(value) {}
Variant::Variant(unsigned value) : type_(varLongWord), i_(value) {}
Variant::Variant(float value) : type_(varSingle), d_(value) {}
Variant::Variant(double value) : type_(varDouble), d_(value) {}
Variant::Variant(Currency value) : type_(varCurrency), i_(value.Scaled) {}
Variant::Variant(const char* value) : type_(varString), s_(value ? value : "") {}
Variant::Variant(const AnsiString& value) : type_(varString), s_(value) {}
Variant::Variant(AnsiString&& value) : type_(varString), s_(std::move(value)) {}

Variant Variant::OfKind(TVarType type, int64_t i, double d) {
  Variant v;
  v.type_ = type;
  v.i_ = i;
  v.d_ = d;
  return v;
}

Variant Variant::FromSmallint(int16_t value) { return OfKind(varSmallint, value, 0); }
Variant Variant::FromShortInt(int8_t value) { return OfKind(varShortInt, value, 0); }
Variant Variant::FromByte(uint8_t value) { return OfKind(varByte, value, 0); }
Variant Variant::FromWord(uint16_t value) { return OfKind(varWord, value, 0); }
Variant Variant::FromDate(TDateTime value) { return OfKind(varDate, 0, value); }
Variant Variant::MakeNull() { return OfKind(varNull, 0, 0); }

Variant::Variant(const Variant& other)
    : type_(other.type_),
      i_(other.i_),
      d_(other.d_),
      s_(other.s_),
      array_(other.array_ ? std::make_unique<Array>(*other.array_) : nullptr) {}

Variant::Variant(Variant&& other) noexcept
    : type_(other.type_),
      i_(other.i_),
      d_(other.d_),
      s_(std::move(other.s_)),
      array_(std::move(other.array_)) {
  other.type_ = varEmpty;
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    type_ = other.type_;
    i_ = other.i_;
    d_ = other.d_;
    s_ = std::move(other.s_);
    array_ = std::move(other.array_);
    other.type_ = varEmpty;
  }
  return *this;
}

Variant::~Variant() = default;

// ---------------------------------------------------------------------------
// Conversion

AnsiString VarTypeAsText(TVarType type) {
  if (type & varArray) return "Array " + VarTypeAsText(type & varTypeMask);
  switch (type) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varSmallint: return "Smallint";
    case varInteger: return "Integer";
    case varSingle: return "Single";
    case varDouble: return "Double";
    case varCurrency: return "Currency";
    case varDate: return "Date";
    case varBoolean: return "Boolean";
    case varVariant: return "Variant";
    case varShortInt: return "ShortInt";
    case varByte: return "Byte";
    case varWord: return "Word";
    case varLongWord: return "LongWord";
    case varInt64: return "Int64";
    case varString: return "String";
    default: return "Unknown";
  }
}

void Variant::ConversionError(TVarType target) const {
  throw EVariantError("Could not convert variant of type (" + VarTypeAsText(type_) + ") into type (" +
                      VarTypeAsText(target) + ")");
}

int64_t Variant::IntegerValue(TVarType target) const {
  if (VarTypeIsInteger(type_)) return i_;
  switch (type_) {
    case varEmpty:
      return 0;
    case varBoolean:
      return i_ ? -1 : 0;
    case varSingle:
    case varDouble:
    case varDate:
      if (!(std::fabs(d_) < 9223372036854775807.0)) OverflowError(type_, target);
      return PasRound(d_);
    case varCurrency:
      return RoundScaled(i_);
    case varString: {
      int64_t v;
      if (TryStrToInt64(s_, v)) return v;
      double d;
      if (TryStrToFloat(s_, d)) {
        if (!(std::fabs(d) < 9223372036854775807.0)) OverflowError(type_, target);
        return PasRound(d);
      }
      throw EConvertError("'" + s_ + "' is not a valid integer value");
    }
    default:
      ConversionError(target);
  }
}

double Variant::DoubleValue(TVarType target) const {
  if (VarTypeIsInteger(type_)) return static_cast<double>(i_);
  switch (type_) {
    case varEmpty:
      return 0;
    case varBoolean:
      return i_ ? -1 : 0;
    case varSingle:
    case varDouble:
    case varDate:
      return d_;
    case varCurrency:
      return static_cast<double>(i_) / 10000.0;
    case varString: {
      // Integer text in hexadecimal ("$10") counts as a number here as it does for AsInteger.
      double d;
      if (TryStrToFloat(s_, d)) return d;
      int64_t v;
      if (TryStrToInt64(s_, v)) return static_cast<double>(v);
      return StrToFloat(s_);
    }
    default:
      ConversionError(target);
  }
}

int Variant::AsInteger() const {
  const int64_t v = IntegerValue(varInteger);
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    OverflowError(type_, varInteger);
  return static_cast<int>(v);
}

int64_t Variant::AsInt64() const { return IntegerValue(varInt64); }

double Variant::AsDouble() const { return DoubleValue(varDouble); }

Currency Variant::AsCurrency() const {
  if (type_ == varCurrency) return Currency::FromScaled(i_);
  if (VarTypeIsInteger(type_) || type_ == varBoolean) {
    const int64_t v = IntegerValue(varCurrency);
    int64_t scaled;
    if (__builtin_mul_overflow(v, int64_t{10000}, &scaled)) OverflowError(type_, varCurrency);
    return Currency::FromScaled(scaled);
  }
  const double d = DoubleValue(varCurrency);
  try {
    return Currency::FromDouble(d);
  } catch (const EOverflow&) {
    OverflowError(type_, varCurrency);
  }
}

bool Variant::AsBoolean() const {
  switch (type_) {
    case varEmpty:
      return false;
    case varBoolean:
      return i_ != 0;
    case varString: {
      if (EqualsNoCaseAscii(s_, "TRUE")) return true;
      if (EqualsNoCaseAscii(s_, "FALSE")) return false;
      double d;
      if (TryStrToFloat(s_, d)) return d != 0;
      int64_t v;
      if (TryStrToInt64(s_, v)) return v != 0;
      throw EConvertError("'" + s_ + "' is not a valid boolean value");
    }
    default:
      if (VarTypeIsInteger(type_) || type_ == varCurrency) return i_ != 0;
      if (IsFloatKind(type_) || type_ == varDate) return d_ != 0;
      ConversionError(varBoolean);
  }
}

AnsiString Variant::AsString() const {
  if (VarTypeIsInteger(type_)) return IntToStr(i_);
  switch (type_) {
    case varEmpty:
      return AnsiString();
    case varBoolean:
      return i_ ? "True" : "False";
    case varSingle:
      // A Single holds about seven digits; more would show its binary noise.
      return FloatToStrF(d_, ffGeneral, 7, 0);
    case varDouble:
      return FloatToStr(d_);
    case varCurrency:
      return CurrToStr(Currency::FromScaled(i_));
    case varDate:
      return DateTimeToStr(d_);
    case varString:
      return s_;
    default:
      ConversionError(varString);
  }
}

TDateTime Variant::AsDateTime() const {
  switch (type_) {
    case varString:
      return StrToDateTime(s_);
    case varBoolean:
    case varNull:
      ConversionError(varDate);
    default:
      return DoubleValue(varDate);
  }
}

bool VarIsNumeric(const Variant& v) {
  const TVarType t = v.VarType();
  return VarTypeIsInteger(t) || IsFloatKind(t) || t == varCurrency;
}

bool VarIsStr(const Variant& v) { return v.VarType() == varString; }

AnsiString VarToStr(const Variant& v) { return v.IsNull() ? AnsiString() : v.AsString(); }

AnsiString VarToStrDef(const Variant& v, const AnsiString& fallback) {
  return v.IsNull() || v.IsEmpty() ? fallback : v.AsString();
}

Variant VarAsType(const Variant& v, TVarType type) {
  if (v.VarType() == type || type == varVariant) return v;
  auto ranged = [&](int64_t lo, int64_t hi) {
    const int64_t x = v.AsInt64();
    if (x < lo || x > hi) OverflowError(v.VarType(), type);
    return x;
  };
  switch (type) {
    case varEmpty: return Variant();
    case varNull: return Null();
    case varSmallint: return Variant::FromSmallint(static_cast<int16_t>(ranged(-32768, 32767)));
    case varShortInt: return Variant::FromShortInt(static_cast<int8_t>(ranged(-128, 127)));
    case varByte: return Variant::FromByte(static_cast<uint8_t>(ranged(0, 255)));
    case varWord: return Variant::FromWord(static_cast<uint16_t>(ranged(0, 65535)));
    case varLongWord: return Variant(static_cast<unsigned>(ranged(0, 0xFFFFFFFFll)));
    case varInteger: return Variant(v.AsInteger());
    case varInt64: return Variant(static_cast<long long>(v.AsInt64()));
    case varSingle: return Variant(static_cast<float>(v.AsDouble()));
    case varDouble: return Variant(v.AsDouble());
    case varCurrency: return Variant(v.AsCurrency());
    case varDate: return Variant::FromDate(v.AsDateTime());
    case varBoolean: return Variant(v.AsBoolean());
    case varString: return Variant(v.AsString());
    default:
      throw EVariantError("Invalid variant type");
  }
}

// ---------------------------------------------------------------------------
// Arrays

const Variant::Array& Variant::ArrayData() const {
  if (!array_) throw EVariantError("Variant is not an array");
  return *array_;
}

int Variant::LowBound() const { return ArrayData().low; }

int Variant::HighBound() const {
  const Array& a = ArrayData();
  return a.low + static_cast<int>(a.items.size()) - 1;
}

const Variant& Variant::operator[](int index) const {
  const Array& a = ArrayData();
  const int64_t k = static_cast<int64_t>(index) - a.low;
  if (k < 0 || k >= static_cast<int64_t>(a.items.size()))
    throw EVariantError("Variant or safe array index out of bounds");
  return a.items[static_cast<size_t>(k)];
}

Variant& Variant::operator[](int index) {
  return const_cast<Variant&>(static_cast<const Variant&>(*this)[index]);
}

Variant VarArrayCreate(int low, int high, TVarType element_type) {
  if (element_type != varVariant) throw EVariantError("Invalid variant type");
  const int64_t count = static_cast<int64_t>(high) - low + 1;
  if (count < 0 || count > kMaxArrayElements) throw EVariantError("Error creating variant or safe array");
  Variant v;
  v.type_ = varArray | varVariant;
  v.array_ = std::make_unique<Variant::Array>();
  v.array_->low = low;
  v.array_->items.resize(static_cast<size_t>(count));
  return v;
}

Variant VarArrayOf(std::initializer_list<Variant> values) {
  Variant v = VarArrayCreate(0, static_cast<int>(values.size()) - 1);
  int i = 0;
  for (const Variant& x : values) v[i++] = x;
  return v;
}

int VarArrayDimCount(const Variant& v) { return v.IsArray() ? 1 : 0; }

int VarArrayLowBound(const Variant& v, int dim) {
  if (dim != 1 && v.IsArray()) throw EVariantError("Variant or safe array index out of bounds");
  return v.LowBound();
}

int VarArrayHighBound(const Variant& v, int dim) {
  if (dim != 1 && v.IsArray()) throw EVariantError("Variant or safe array index out of bounds");
  return v.HighBound();
}

// ---------------------------------------------------------------------------
// Comparison

namespace {

// Empty stands in as the zero value of the other side's kind.
Variant StandIn(const Variant& empty_side, const Variant& other) {
  if (!empty_side.IsEmpty()) return empty_side;
  switch (other.VarType()) {
    case varString: return Variant(AnsiString());
    case varBoolean: return Variant(false);
    default: return Variant(0);
  }
}

// -1, 0 or 1 for two non-Null values.
int CompareValues(const Variant& a0, const Variant& b0) {
  if (a0.IsArray() || b0.IsArray()) InvalidOperation();
  if (a0.IsEmpty() && b0.IsEmpty()) return 0;
  const Variant a = StandIn(a0, b0);
  const Variant b = StandIn(b0, a0);
  const TVarType ta = a.VarType(), tb = b.VarType();
  if (ta == varString && tb == varString) {
    const int c = AnsiCompareStr(a.AsString(), b.AsString());
    return (c > 0) - (c < 0);
  }
  if (ta == varBoolean || tb == varBoolean) {
    if (ta == varString || tb == varString || (ta == varBoolean && tb == varBoolean)) {
      // False sorts before True.
      const int x = a.AsBoolean(), y = b.AsBoolean();
      return (x > y) - (x < y);
    }
  }
  if (VarTypeIsInteger(ta) && VarTypeIsInteger(tb)) {
    const int64_t x = a.AsInt64(), y = b.AsInt64();
    return (x > y) - (x < y);
  }
  if (ta == varCurrency && tb == varCurrency) {
    const int64_t x = a.AsCurrency().Scaled, y = b.AsCurrency().Scaled;
    return (x > y) - (x < y);
  }
  const double x = a.AsDouble(), y = b.AsDouble();
  return (x > y) - (x < y);
}

}  // namespace

bool operator==(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
  return CompareValues(a, b) == 0;
}

bool operator!=(const Variant& a, const Variant& b) { return !(a == b); }

bool operator<(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() && !b.IsNull();
  return CompareValues(a, b) < 0;
}

bool operator>(const Variant& a, const Variant& b) { return b < a; }
bool operator<=(const Variant& a, const Variant& b) { return !(b < a); }
bool operator>=(const Variant& a, const Variant& b) { return !(a < b); }

// ---------------------------------------------------------------------------
// Arithmetic

namespace {

enum class Op { Add, Sub, Mul, Div };

[[noreturn]] void IntOverflow() { throw EIntOverflow("Integer overflow"); }

// Strings become numbers (integers when they read as one), Booleans -1/0.
Variant Numeric(const Variant& v) {
  if (v.VarType() == varString) {
    int64_t i;
    if (TryStrToInt64(v.AsString(), i)) {
      if (i >= std::numeric_limits<int32_t>::min() && i <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int>(i));
      return Variant(static_cast<long long>(i));
    }
    return Variant(StrToFloat(v.AsString()));
  }
  if (v.VarType() == varBoolean) return Variant(v.AsBoolean() ? -1 : 0);
  return v;
}

Variant IntegerResult(int64_t r, bool wide) {
  if (!wide && r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max())
    return Variant(static_cast<int>(r));
  return Variant(static_cast<long long>(r));
}

Variant Arithmetic(Op op, const Variant& a0, const Variant& b0) {
  if (a0.IsArray() || b0.IsArray()) InvalidOperation();
  if (a0.IsNull() || b0.IsNull()) return Null();
  const Variant a1 = a0.IsEmpty() && b0.IsEmpty() ? Variant(0) : StandIn(a0, b0);
  const Variant b1 = a0.IsEmpty() && b0.IsEmpty() ? Variant(0) : StandIn(b0, a0);
  if (op == Op::Add && a1.VarType() == varString && b1.VarType() == varString)
    return Variant(a1.AsString() + b1.AsString());
  const Variant a = Numeric(a1);
  const Variant b = Numeric(b1);
  const TVarType ta = a.VarType(), tb = b.VarType();

  if (op == Op::Div) {
    const double y = b.AsDouble();
    if (y == 0) throw EZeroDivide("Floating point division by zero");
    return Variant(a.AsDouble() / y);
  }
  if (ta == varDate || tb == varDate) {
    const double x = a.AsDouble(), y = b.AsDouble();
    switch (op) {
      case Op::Add: return Variant::FromDate(x + y);
      case Op::Sub: return ta == varDate && tb == varDate ? Variant(x - y) : Variant::FromDate(x - y);
      default: return Variant(x * y);
    }
  }
  if (IsFloatKind(ta) || IsFloatKind(tb)) {
    const double x = a.AsDouble(), y = b.AsDouble();
    switch (op) {
      case Op::Add: return Variant(x + y);
      case Op::Sub: return Variant(x - y);
      default: return Variant(x * y);
    }
  }
  if (ta == varCurrency || tb == varCurrency) {
    int64_t r;
    if (op == Op::Mul) {
      // One side scaled: a plain product. Both scaled: divide one scale out, halves to even.
      if (ta == varCurrency && tb == varCurrency) {
        const __int128 p = static_cast<__int128>(a.AsCurrency().Scaled) * b.AsCurrency().Scaled;
        __int128 q = p / 10000;
        const __int128 rem = p % 10000;
        const __int128 arem = rem < 0 ? -rem : rem;
        if (arem > 5000 || (arem == 5000 && q % 2 != 0)) q += rem < 0 ? -1 : 1;
        if (q > std::numeric_limits<int64_t>::max() || q < std::numeric_limits<int64_t>::min()) IntOverflow();
        r = static_cast<int64_t>(q);
      } else {
        const int64_t scaled = ta == varCurrency ? a.AsCurrency().Scaled : b.AsCurrency().Scaled;
        const int64_t factor = ta == varCurrency ? b.AsInt64() : a.AsInt64();
        if (__builtin_mul_overflow(scaled, factor, &r)) IntOverflow();
      }
    } else {
      const int64_t x = a.AsCurrency().Scaled, y = b.AsCurrency().Scaled;
      if (op == Op::Add ? __builtin_add_overflow(x, y, &r) : __builtin_sub_overflow(x, y, &r)) IntOverflow();
    }
    return Variant(Currency::FromScaled(r));
  }
  if (!VarTypeIsInteger(ta) || !VarTypeIsInteger(tb)) InvalidOperation();
  const int64_t x = a.AsInt64(), y = b.AsInt64();
  int64_t r;
  bool overflow;
  switch (op) {
    case Op::Add: overflow = __builtin_add_overflow(x, y, &r); break;
    case Op::Sub: overflow = __builtin_sub_overflow(x, y, &r); break;
    default: overflow = __builtin_mul_overflow(x, y, &r); break;
  }
  if (overflow) IntOverflow();
  const bool wide = ta == varInt64 || tb == varInt64 || ta == varLongWord || tb == varLongWord;
  return IntegerResult(r, wide);
}

}  // namespace

Variant operator+(const Variant& a, const Variant& b) { return Arithmetic(Op::Add, a, b); }
Variant operator-(const Variant& a, const Variant& b) { return Arithmetic(Op::Sub, a, b); }
Variant operator*(const Variant& a, const Variant& b) { return Arithmetic(Op::Mul, a, b); }
Variant operator/(const Variant& a, const Variant& b) { return Arithmetic(Op::Div, a, b); }

Variant operator-(const Variant& a) {
  if (a.IsArray()) InvalidOperation();
  if (a.IsNull()) return Null();
  return Arithmetic(Op::Sub, Variant(0), a.IsEmpty() ? Variant(0) : a);
}

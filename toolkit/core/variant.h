// Variant: a value of one of the toolkit's kinds, converted on demand.
//
// Kinds and their numbers (VarType) are the classic variant type codes, so that
// stored property values and field values keep their meaning. Conversions that
// cannot work raise EVariantError "Could not convert variant of type (%s) into
// type (%s)"; text that does not parse raises the parser's EConvertError.
//
// Null rules, decided once for the whole system:
//  - arithmetic with a Null operand gives Null;
//  - Null equals Null and nothing else; Null sorts below every other value;
//  - converting Null to a number, a Boolean, a date or a string raises (VarToStr
//    gives "" for display);
//  - Unassigned (Empty) behaves as 0 with numbers, "" with strings and False with
//    Booleans, in arithmetic, comparison and conversion alike.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "toolkit/core/sysutils.h"

using TVarType = uint16_t;

constexpr TVarType varEmpty = 0x0000;
constexpr TVarType varNull = 0x0001;
constexpr TVarType varSmallint = 0x0002;
constexpr TVarType varInteger = 0x0003;
constexpr TVarType varSingle = 0x0004;
constexpr TVarType varDouble = 0x0005;
constexpr TVarType varCurrency = 0x0006;
constexpr TVarType varDate = 0x0007;
constexpr TVarType varBoolean = 0x000B;
constexpr TVarType varVariant = 0x000C;
constexpr TVarType varShortInt = 0x0010;
constexpr TVarType varByte = 0x0011;
constexpr TVarType varWord = 0x0012;
constexpr TVarType varLongWord = 0x0013;
constexpr TVarType varInt64 = 0x0014;
constexpr TVarType varString = 0x0100;
// Flag combined with the element type (varVariant) for arrays.
constexpr TVarType varArray = 0x2000;
constexpr TVarType varTypeMask = 0x0FFF;

class Variant {
 public:
  // Unassigned.
  Variant() = default;
  Variant(bool value);
  Variant(int value);
  Variant(long value);       // Int64
  Variant(long long value);  // Int64
  Variant(unsigned value);   // LongWord
  Variant(float value);      // Single
  Variant(double value);
  Variant(Currency value);
  Variant(const char* value);
  Variant(const AnsiString& value);
  Variant(AnsiString&& value);

  static Variant FromSmallint(int16_t value);
  static Variant FromShortInt(int8_t value);
  static Variant FromByte(uint8_t value);
  static Variant FromWord(uint16_t value);
  static Variant FromDate(TDateTime value);
  static Variant MakeNull();

  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant();

  // The kind: varEmpty, varNull, varInteger, ..., or varArray | varVariant.
  TVarType VarType() const { return type_; }
  bool IsNull() const { return type_ == varNull; }
  bool IsEmpty() const { return type_ == varEmpty; }
  bool IsArray() const { return (type_ & varArray) != 0; }

  // Conversions; see the header comment for errors.
  int AsInteger() const;
  int64_t AsInt64() const;
  double AsDouble() const;
  Currency AsCurrency() const;
  bool AsBoolean() const;
  AnsiString AsString() const;
  TDateTime AsDateTime() const;

  // Array access; indexes outside the bounds raise EVariantError
  // "Variant or safe array index out of bounds"; a non-array raises
  // "Variant is not an array".
  int LowBound() const;
  int HighBound() const;
  const Variant& operator[](int index) const;
  Variant& operator[](int index);

 private:
  friend Variant VarArrayCreate(int, int, TVarType);
  struct Array {
    int low = 0;
    std::vector<Variant> items;
  };
  const Array& ArrayData() const;

  static Variant OfKind(TVarType type, int64_t i, double d);
  [[noreturn]] void ConversionError(TVarType target) const;
  int64_t IntegerValue(TVarType target) const;
  double DoubleValue(TVarType target) const;

  TVarType type_ = varEmpty;
  int64_t i_ = 0;  // integer kinds, Boolean (0/1), Currency (scaled)
  double d_ = 0;   // Single, Double, Date
  AnsiString s_;
  std::unique_ptr<Array> array_;
};

inline Variant Null() { return Variant::MakeNull(); }
inline Variant Unassigned() { return Variant(); }

inline TVarType VarType(const Variant& v) { return v.VarType(); }
inline bool VarIsNull(const Variant& v) { return v.IsNull(); }
inline bool VarIsEmpty(const Variant& v) { return v.IsEmpty(); }
inline bool VarIsArray(const Variant& v) { return v.IsArray(); }
// Null or Empty.
inline bool VarIsClear(const Variant& v) { return v.IsNull() || v.IsEmpty(); }
bool VarIsNumeric(const Variant& v);
// The integer kinds: Smallint, Integer, ShortInt, Byte, Word, LongWord, Int64.
bool VarTypeIsInteger(TVarType type);
bool VarIsStr(const Variant& v);
// The value as text, with "" for Null (the display form).
AnsiString VarToStr(const Variant& v);
AnsiString VarToStrDef(const Variant& v, const AnsiString& fallback);
// The value converted to kind `type` (varInteger, varDouble, varString, ...).
Variant VarAsType(const Variant& v, TVarType type);
// The kind's name as conversion errors show it ("Integer", "String", "Null").
AnsiString VarTypeAsText(TVarType type);

// A one-dimensional array of Unassigned elements indexed low..high. Only varVariant
// elements are supported; high may be low - 1 for an empty array.
Variant VarArrayCreate(int low, int high, TVarType element_type = varVariant);
// An array indexed from 0 holding `values`.
Variant VarArrayOf(std::initializer_list<Variant> values);
int VarArrayDimCount(const Variant& v);
int VarArrayLowBound(const Variant& v, int dim);
int VarArrayHighBound(const Variant& v, int dim);

// Comparison. Strings compare by the locale, case-sensitively (AnsiCompareStr); a string against a number
// compares as numbers (EConvertError when the text is no number).
bool operator==(const Variant& a, const Variant& b);
bool operator!=(const Variant& a, const Variant& b);
bool operator<(const Variant& a, const Variant& b);
bool operator>(const Variant& a, const Variant& b);
bool operator<=(const Variant& a, const Variant& b);
bool operator>=(const Variant& a, const Variant& b);

// Arithmetic. "+" of two strings concatenates; otherwise strings convert to numbers.
// Integer kinds give Integer, or Int64 when an operand is Int64 or the result needs it
// (EIntOverflow beyond 64 bits); Currency with integers stays Currency; a Date with a
// number stays a Date; anything with Single/Double gives Double; "/" always gives
// Double (EZeroDivide on division by zero). Arrays raise EVariantError
// "Invalid variant operation".
Variant operator+(const Variant& a, const Variant& b);
Variant operator-(const Variant& a, const Variant& b);
Variant operator*(const Variant& a, const Variant& b);
Variant operator/(const Variant& a, const Variant& b);
Variant operator-(const Variant& a);

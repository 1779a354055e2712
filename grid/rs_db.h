// Values held outside record buffers: TvpUniValue keeps one nullable value of
// a TFieldType as raw bytes and hands every conversion to an accessor object
// chosen by the type (the TvpValueAccessor family).
//
// Raw bytes per accessor (host byte order; the bytes are memory, never a file
// format, except that SaveToStream/LoadFromStream carry them for blobs):
//   String        ftString, ftFixedChar   characters + one zero byte ("" is one zero byte)
//   WideString    ftWideString            UTF-16 units + one zero unit
//   Integer       ftSmallint, ftInteger, ftWord, ftAutoInc   int32
//   LargeInt      ftLargeint              int64
//   Float         ftFloat, ftCurrency     double
//   Bool          ftBoolean               16-bit word, 0 false, -1 true (any non-zero reads true)
//   DateTime      ftDate, ftTime, ftDateTime   double days since 1899-12-30
//   SQLTimeStamp  ftTimeStamp             the 16-byte TSQLTimeStamp
//   Binary        ftBytes, ftVarBytes     the bytes
//   BCD           ftBCD                   int64 currency (value times 10000)
//   FMTBCD        ftFMTBcd                the 34-byte TBcd
//   Blob          the seven blob kinds, ftOraBlob, ftOraClob   the bytes ("" is null)
//   Variant       ftUnknown, ftVariant    a pointer-sized reference to the owned holder
//   (base)        the other types         nothing usable: every typed access fails
// No bytes at all means null.
//
// Errors: a conversion an accessor lacks raises EDatabaseError "Cannot access
// field 'UniValue' as type <word>"; parse failures propagate the toolkit's
// EConvertError; the value is unchanged after any failure of a setter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "toolkit/core/classes.h"
#include "toolkit/core/component.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/variant.h"
#include "toolkit/db/dbtypes.h"
#include "toolkit/db/fields.h"

class TvpUniValue;

struct TTypeInfo;
// The enumeration type of TFieldType, for published DataType properties.
const TTypeInfo& FieldTypeInfo();

// ---- The "Data" stream property ----------------------------------------------

// The kind of one streamed value, as a component stream tags it.
enum TvpDataKind { dkString, dkWideString, dkInteger, dkInt64, dkFloat, dkBoolean, dkDate, dkCurrency };

// One value of the "Data" property on its way to or from a component stream:
// what an accessor writes and what it reads back.
struct TvpDataItem {
  TvpDataKind Kind = dkString;
  AnsiString Text;      // dkString
  std::u16string Wide;  // dkWideString
  int64_t Int = 0;      // dkInteger, dkInt64, dkBoolean (0 or 1), dkCurrency (scaled by 10000)
  double Float = 0;     // dkFloat, dkDate
};

// ---- Accessors ---------------------------------------------------------------

// Converts between the raw bytes of one TvpUniValue and the typed readings and
// writings. The base class serves the types without a value representation:
// every typed operation fails, except reading the raw bytes as a byte array.
class TvpValueAccessor : public TPersistent {
  KIV7_PERSISTENT(TvpValueAccessor)

 public:
  // The accessor of value (which owns it).
  explicit TvpValueAccessor(TvpUniValue& value) : value_(value) {}

  // The value this accessor serves.
  TvpUniValue& Value() const { return value_; }

  virtual TBcd GetAsBCD() const;
  virtual bool GetAsBoolean() const;
  // A Variant array of bytes indexed 0..size-1; Null for a null value.
  virtual Variant GetAsByteArray() const;
  virtual Currency GetAsCurrency() const;
  virtual TDateTime GetAsDateTime() const;
  virtual double GetAsFloat() const;
  virtual int GetAsInteger() const;
  virtual int64_t GetAsLargeInt() const;
  virtual TSQLTimeStamp GetAsSQLTimeStamp() const;
  virtual AnsiString GetAsString() const;
  virtual Variant GetAsVariant() const;
  virtual std::u16string GetAsWideString() const;
  virtual void SetAsBCD(const TBcd& value);
  virtual void SetAsBoolean(bool value);
  virtual void SetAsByteArray(const Variant& value);
  virtual void SetAsCurrency(Currency value);
  virtual void SetAsDateTime(TDateTime value);
  virtual void SetAsFloat(double value);
  virtual void SetAsInteger(int value);
  virtual void SetAsLargeInt(int64_t value);
  virtual void SetAsSQLTimeStamp(const TSQLTimeStamp& value);
  virtual void SetAsString(const AnsiString& value);
  virtual void SetAsVariant(const Variant& value);
  virtual void SetAsWideString(const std::u16string& value);
  // Streams the value as "Data": reads from reader or writes into writer
  // (exactly one is given). Writing returns whether anything was written.
  virtual bool ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer);
  // Takes a non-null value of another TvpUniValue, converted to this type.
  virtual void AssignFromValue(const TvpUniValue& source);
  // Takes a non-null field value, through the field's matching typed access.
  virtual void AssignFromField(const TField& field);
  // Puts the (non-null) value into the field.
  virtual void AssignToField(TField& field) const;
  // Orders two non-null values: <0, 0 or >0.
  virtual int CompareWith(const TvpValueAccessor& other, bool case_sensitive) const;

 protected:
  // Raises the access error naming type_word ("Float").
  [[noreturn]] static void AccessError(const char* type_word);
  bool IsNull() const;
  // The raw bytes of the value.
  std::string_view Raw() const;
  // Replaces the raw bytes (count 0: null); sets Modified.
  void WriteRaw(const void* data, size_t count);
  void Clear() { WriteRaw(nullptr, 0); }
  // Clears the value for a Null variant or an empty text; true when it did.
  bool ClearsFor(const Variant& value);
  bool ClearsFor(const AnsiString& text);

 private:
  TvpUniValue& value_;
};

// Creates the accessor of a type's class for a value.
using TvpAccessorFactory = TvpValueAccessor* (*)(TvpUniValue& value);
// The accessor class serving a type (38 entries, by the type's ordinal); a
// number outside the enumeration gets the base class.
TvpAccessorFactory AccessorClassOfType(TFieldType type);

// ---- The value -----------------------------------------------------------------

// The one field of a variant value's holder.
struct TvpVariantHolder {
  Variant Value;
};

// One typed, nullable value. Published: DataType (stored while StoreDataType
// is true and the type is known), IsNull and AsString (never stored); the
// streamed "Data" goes through ReadWriteData.
class TvpUniValue : public TPersistent {
  KIV7_PERSISTENT(TvpUniValue)

 public:
  // auto_type: typed setters switch DataType to their own type.
  // convert_on_type_change: a new DataType keeps the value, converted; otherwise
  // the value becomes null (and a value that has a type keeps it for good
  // unless auto_type is set).
  TvpUniValue(bool auto_type, bool convert_on_type_change);
  ~TvpUniValue() override;

  TFieldType DataType() const { return data_type_; }
  // Changes the type; a conversion failure leaves the value null with the new
  // type and propagates. Raises ERangeError for a number outside TFieldType.
  void SetDataType(TFieldType type);
  bool AutoType() const { return auto_type_; }
  bool ConvertOnTypeChange() const { return convert_on_type_change_; }
  bool StoreDataType() const { return store_data_type_; }
  void SetStoreDataType(bool value) { store_data_type_ = value; }
  // Set whenever the value is written or cleared; only users reset it.
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }

  bool IsNull() const { return raw_.empty(); }
  // True clears; false does nothing.
  void SetIsNull(bool value);
  void Clear();

  // Typed getters (through the accessor).
  bool AsBoolean() const;
  TDateTime AsDateTime() const;
  double AsFloat() const;
  int AsInteger() const;
  int64_t AsLargeInt() const;
  TBcd AsBCD() const;
  Variant AsByteArray() const;
  TSQLTimeStamp AsSQLTimeStamp() const;
  // "" for a null value.
  AnsiString AsString() const;
  // Null for a null value.
  Variant AsVariant() const;

  // Typed setters: the type is prepared first (PrepareType), then the accessor
  // converts.
  void SetAsBoolean(bool value);
  void SetAsDateTime(TDateTime value);
  void SetAsFloat(double value);
  void SetAsInteger(int value);
  void SetAsLargeInt(int64_t value);
  void SetAsString(const AnsiString& value);
  // A Null variant clears the value.
  void SetAsVariant(const Variant& value);

  // From another TvpUniValue or a TField; other sources are refused.
  void Assign(const TPersistent* source) override;

  // Blob types only: an empty stream clears, otherwise its whole content
  // becomes the value. Other types ignore the call.
  void LoadFromStream(TMemoryStream& stream);
  // Writes the raw bytes at the stream's position (nothing for a variant value,
  // whose bytes are only a reference into this process).
  void SaveToStream(TMemoryStream& stream) const;

  // Both null 0; one null: by nulls_first; otherwise the accessor's order.
  int Compare(const TvpUniValue& other, bool case_sensitive, bool nulls_first) const;

  // The accessor of the current type.
  TvpValueAccessor& Accessor() const { return *accessor_; }
  // The raw bytes (empty for null).
  std::string_view RawData() const { return raw_; }
  size_t DataSize() const { return raw_.size(); }
  // Replaces the raw bytes (count 0 or no data: null) and sets Modified; a
  // variant value's holder goes with its bytes.
  void WriteRaw(const void* data, size_t count);

  // The "Data" stream property: declared with data while the value is not null.
  bool HasStreamData() const { return !IsNull(); }
  bool ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) {
    return accessor_->ReadWriteData(reader, writer);
  }
  // Declares "Data" to a component stream. A value whose accessor has no
  // stream form (a variant) declares it without data: a name without a value
  // would leave the stream unreadable.
  void DefineProperties(TFiler& filer) override;

 protected:
  void AssignTo(TPersistent* dest) const override;
  // Before a typed setter: switches to type when AutoType is set or the type is
  // still unknown (without converting the old value, which is about to go).
  void PrepareType(TFieldType type);

 private:
  friend class TvpVariantAccessor;

  std::string raw_;
  TFieldType data_type_ = ftUnknown;
  std::unique_ptr<TvpValueAccessor> accessor_;
  std::unique_ptr<TvpVariantHolder> holder_;
  bool auto_type_;
  bool convert_on_type_change_;
  bool preparing_type_ = false;
  bool store_data_type_ = true;
  bool modified_ = false;
};

// ---- The accessor classes -----------------------------------------------------

// What every accessor class declares: its descriptor, the constructor and
// the text, variant, stream, assignment and order operations.
#define KIV7_VP_ACCESSOR(Name, Parent)                                            \
  KIV7_PERSISTENT(Name)                                                           \
                                                                                  \
 public:                                                                          \
  explicit Name(TvpUniValue& value) : Parent(value) {}                            \
  AnsiString GetAsString() const override;                                        \
  Variant GetAsVariant() const override;                                          \
  void SetAsString(const AnsiString& value) override;                             \
  void SetAsVariant(const Variant& value) override;                               \
  bool ReadWriteData(const TvpDataItem* reader, TvpDataItem* writer) override;    \
  void AssignFromValue(const TvpUniValue& source) override;                       \
  void AssignFromField(const TField& field) override;                             \
  void AssignToField(TField& field) const override;                               \
  int CompareWith(const TvpValueAccessor& other, bool case_sensitive) const override;

class TvpStringAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpStringAccessor, TvpValueAccessor)
  bool GetAsBoolean() const override;
  TBcd GetAsBCD() const override;
  TDateTime GetAsDateTime() const override;
  double GetAsFloat() const override;
  int GetAsInteger() const override;
  int64_t GetAsLargeInt() const override;
  TSQLTimeStamp GetAsSQLTimeStamp() const override;
  void SetAsBCD(const TBcd& value) override;
  void SetAsBoolean(bool value) override;
  void SetAsDateTime(TDateTime value) override;
  void SetAsFloat(double value) override;
  void SetAsInteger(int value) override;
  void SetAsSQLTimeStamp(const TSQLTimeStamp& value) override;
};

class TvpWideStringAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpWideStringAccessor, TvpValueAccessor)
  std::u16string GetAsWideString() const override;
  void SetAsWideString(const std::u16string& value) override;
};

// The common ancestor of the integer accessor.
class TvpNumericAccessor : public TvpValueAccessor {
  KIV7_PERSISTENT(TvpNumericAccessor)

 public:
  explicit TvpNumericAccessor(TvpUniValue& value) : TvpValueAccessor(value) {}
};

class TvpIntegerAccessor : public TvpNumericAccessor {
  KIV7_VP_ACCESSOR(TvpIntegerAccessor, TvpNumericAccessor)
  double GetAsFloat() const override;
  int GetAsInteger() const override;
  int64_t GetAsLargeInt() const override;
  void SetAsFloat(double value) override;
  void SetAsInteger(int value) override;
  void SetAsLargeInt(int64_t value) override;
};

class TvpLargeIntAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpLargeIntAccessor, TvpValueAccessor)
  double GetAsFloat() const override;
  int GetAsInteger() const override;
  int64_t GetAsLargeInt() const override;
  void SetAsFloat(double value) override;
  void SetAsInteger(int value) override;
  void SetAsLargeInt(int64_t value) override;
};

class TvpFloatAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpFloatAccessor, TvpValueAccessor)
  double GetAsFloat() const override;
  int GetAsInteger() const override;
  int64_t GetAsLargeInt() const override;
  void SetAsFloat(double value) override;
  void SetAsInteger(int value) override;
  void SetAsLargeInt(int64_t value) override;
};

class TvpBoolAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpBoolAccessor, TvpValueAccessor)
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool value) override;
};

class TvpDateTimeAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpDateTimeAccessor, TvpValueAccessor)
  TDateTime GetAsDateTime() const override;
  double GetAsFloat() const override;
  void SetAsDateTime(TDateTime value) override;
  void SetAsFloat(double value) override;
};

class TvpSQLTimeStampAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpSQLTimeStampAccessor, TvpValueAccessor)
  TDateTime GetAsDateTime() const override;
  TSQLTimeStamp GetAsSQLTimeStamp() const override;
  void SetAsDateTime(TDateTime value) override;
  void SetAsSQLTimeStamp(const TSQLTimeStamp& value) override;
};

class TvpBinaryAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpBinaryAccessor, TvpValueAccessor)
  void SetAsByteArray(const Variant& value) override;
};

class TvpBCDAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpBCDAccessor, TvpValueAccessor)
  TBcd GetAsBCD() const override;
  Currency GetAsCurrency() const override;
  double GetAsFloat() const override;
  int GetAsInteger() const override;
  int64_t GetAsLargeInt() const override;
  void SetAsBCD(const TBcd& value) override;
  void SetAsCurrency(Currency value) override;
  void SetAsFloat(double value) override;
  void SetAsInteger(int value) override;
};

class TvpFMTBCDAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpFMTBCDAccessor, TvpValueAccessor)
  TBcd GetAsBCD() const override;
  double GetAsFloat() const override;
  int GetAsInteger() const override;
  int64_t GetAsLargeInt() const override;
  void SetAsBCD(const TBcd& value) override;
  void SetAsCurrency(Currency value) override;
  void SetAsFloat(double value) override;
  void SetAsInteger(int value) override;
};

class TvpBlobAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpBlobAccessor, TvpValueAccessor)
};

class TvpVariantAccessor : public TvpValueAccessor {
  KIV7_VP_ACCESSOR(TvpVariantAccessor, TvpValueAccessor)
  TBcd GetAsBCD() const override;
  bool GetAsBoolean() const override;
  TDateTime GetAsDateTime() const override;
  double GetAsFloat() const override;
  int GetAsInteger() const override;
  int64_t GetAsLargeInt() const override;
  TSQLTimeStamp GetAsSQLTimeStamp() const override;
  void SetAsBCD(const TBcd& value) override;
  void SetAsBoolean(bool value) override;
  void SetAsByteArray(const Variant& value) override;
  void SetAsCurrency(Currency value) override;
  void SetAsDateTime(TDateTime value) override;
  void SetAsFloat(double value) override;
  void SetAsInteger(int value) override;
  void SetAsLargeInt(int64_t value) override;
  void SetAsSQLTimeStamp(const TSQLTimeStamp& value) override;
  void SetAsWideString(const std::u16string& value) override;

 private:
  // The held variant; Null for a null value.
  const Variant& Held() const;
};

#undef KIV7_VP_ACCESSOR

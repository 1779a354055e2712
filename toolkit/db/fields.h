// Field definitions and field components of the data-set framework.
//
// A TField reads and writes one column of the data set's active record. It
// never touches a record buffer itself: reads go through
// TDataSet::FetchFieldValueNative and writes through
// TDataSet::PutFieldValueNative, so every back end sees the same calls.
//
// Two layouts of a value travel between fields and back ends:
//   - the native layout is what the back end stores (FetchFieldValue /
//     PutFieldValue): dates as the day number of a TTimeStamp (int32), times
//     as milliseconds since midnight (int32), date-times as the time stamp in
//     milliseconds (double), BCD values as a 34-byte TBcd;
//   - the field layout is what the typed getters use: dates, times and
//     date-times as a TDateTime double, BCD values as a Currency (int64 times
//     10000).
// Every other type has one layout for both: strings are the characters plus a
// zero byte (Size + 1 bytes), small integers and words 2 bytes, integers 4,
// large integers 8, Booleans a 16-bit word (0 false, any other value true;
// written as 0xFFFF), floats and currency 8-byte doubles, bytes Size bytes,
// var-bytes a 16-bit length plus Size bytes, SQL time stamps the 16-byte
// TSQLTimeStamp. Blob fields hold no value in the record: their bytes travel
// through TDataSet::OpenBlobStream.
// Values are in host byte order: layouts are memory, not file formats.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "toolkit/core/component.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/variant.h"
#include "toolkit/db/dbtypes.h"

class TDataSet;
class TField;
class TStream;

// ---- Value records ------------------------------------------------------------

// A decimal number as 32 packed digits (the native layout of BCD fields).
struct TBcd {
  uint8_t Precision = 0;          // number of digits
  uint8_t SignSpecialPlaces = 0;  // bit 7 sign, bits 0-5 digits after the point
  uint8_t Fraction[32] = {};      // two digits per byte, high nibble first
};
static_assert(sizeof(TBcd) == 34);

// Currency to BCD with the given precision and decimals; raises EOverflow
// when the integer part needs more digits than precision - decimals.
TBcd CurrToBCD(Currency value, int precision = 32, int decimals = 4);
// BCD to currency; digits beyond four decimals are dropped; EOverflow beyond range.
Currency BCDToCurr(const TBcd& bcd);

// A date and time as separate parts (the layout of SQL time stamp fields).
struct TSQLTimeStamp {
  int16_t Year = 0;
  uint16_t Month = 0;
  uint16_t Day = 0;
  uint16_t Hour = 0;
  uint16_t Minute = 0;
  uint16_t Second = 0;
  uint32_t Fractions = 0;  // milliseconds
};
static_assert(sizeof(TSQLTimeStamp) == 16);

TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime value);
// The all-zero stamp gives 0; an impossible stamp raises EConvertError.
TDateTime SQLTimeStampToDateTime(const TSQLTimeStamp& stamp);

// ---- Field definitions --------------------------------------------------------

class TFieldDefs;

// One column as the back end describes it.
class TFieldDef : public TCollectionItem {
  KIV7_PERSISTENT(TFieldDef)

 public:
  explicit TFieldDef(TCollection* collection);

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& name);
  TFieldType DataType() const { return data_type_; }
  void SetDataType(TFieldType type);
  // Characters of a string, bytes of a binary field, decimals of a BCD field; 0 otherwise.
  int Size() const { return size_; }
  void SetSize(int size);
  int Precision() const { return precision_; }
  void SetPrecision(int precision);
  TFieldAttributes Attributes() const { return attributes_; }
  // Replaces the attributes (the contract's ChangeAttributes).
  void ChangeAttributes(TFieldAttributes attributes);
  void SetAttributes(TFieldAttributes attributes) { ChangeAttributes(attributes); }
  bool Required() const { return attributes_.Contains(faRequired); }
  void SetRequired(bool required);
  // 1-based column number: the position in the collection plus one.
  int FieldNo() const { return Index() + 1; }

  // Makes the field component of this definition's type for data_set
  // (EDatabaseError "Field '%s' is of an unknown type" for types without a
  // field class). The caller owns the field unless owner is given.
  TField* CreateField(TComponent* owner, TDataSet* data_set) const;

  AnsiString DisplayName() const override { return name_; }
  void Assign(const TPersistent* source) override;

 private:
  AnsiString name_;
  TFieldType data_type_ = ftUnknown;
  int size_ = 0;
  int precision_ = 0;
  TFieldAttributes attributes_;
};

// The columns of a data set, in column order.
class TFieldDefs : public TOwnedCollection {
  KIV7_PERSISTENT(TFieldDefs)

 public:
  explicit TFieldDefs(TDataSet* data_set);

  TDataSet* DataSet() const { return data_set_; }
  // The definition at index (EListError for a bad index).
  TFieldDef* DefAt(int index) const;
  // Appends a definition.
  TFieldDef* AppendNamedDef(const AnsiString& name, TFieldType type, int size = 0, bool required = false);
  // Index of the definition with that name (case-insensitive), -1 when none.
  int PositionOfName(const AnsiString& name) const;
  // The definition with that name, or nullptr; Find raises "Field '%s' not found".
  TFieldDef* FindDef(const AnsiString& name) const;
  TFieldDef* Find(const AnsiString& name) const;

  // Whether the definitions reflect the back end; changes clear it.
  bool Updated() const { return updated_; }
  void SetUpdated(bool updated) { updated_ = updated; }
  // Brings the definitions up to date through the data set (PrepareFieldDefs).
  void Reload();

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TDataSet* data_set_;
  bool updated_ = false;
};

// ---- Fields -------------------------------------------------------------------

using TFieldNotifyEvent = std::function<void(TField* sender)>;
using TFieldGetTextEvent = std::function<void(TField* sender, AnsiString& text, bool display_text)>;
using TFieldSetTextEvent = std::function<void(TField* sender, const AnsiString& text)>;

// One column of a data set's active record.
class TField : public TComponent {
  KIV7_PERSISTENT(TField)

 public:
  explicit TField(TComponent* owner);
  ~TField() override;
  void BeforeDestruction() override;

  // ---- identity
  TDataSet* DataSet() const { return data_set_; }
  // Joins the data set's field list (both sets must be closed; the name must be
  // new there: "Duplicate field name '%s'").
  void SetDataSet(TDataSet* data_set);
  const AnsiString& FieldName() const { return field_name_; }
  void SetFieldName(const AnsiString& name);
  TFieldType DataType() const { return data_type_; }
  TFieldKind FieldKind() const { return field_kind_; }
  void SetFieldKind(TFieldKind kind);
  bool Calculated() const { return field_kind_ == fkCalculated; }
  void SetCalculated(bool value) { SetFieldKind(value ? fkCalculated : fkData); }
  // The 1-based column of the bound field definition; 0 for calculated fields
  // and unbound fields.
  int ColumnNumber() const { return field_no_; }
  // Position in the data set's field list.
  int Index() const;
  void SetIndex(int index);
  // Offset of a calculated field's slot in the calculated-field area.
  int Offset() const { return offset_; }
  int Size() const { return size_; }
  virtual void SetSize(int size);
  // Bytes of the value in the field layout.
  virtual int ValueByteSize() const { return 0; }
  // Bytes of the value in the native layout.
  virtual int NativeByteSize() const { return ValueByteSize(); }
  bool IsBlob() const { return IsBlobFieldType(data_type_); }

  // ---- presentation
  const AnsiString& DisplayLabel() const { return display_label_.empty() ? field_name_ : display_label_; }
  void SetDisplayLabel(const AnsiString& label) { display_label_ = label; }
  // The mask an edit control applies to the field's edit text; empty for none.
  const AnsiString& EditMask() const { return edit_mask_; }
  void SetEditMask(const AnsiString& mask) { edit_mask_ = mask; }
  // The label, or the name when there is none.
  const AnsiString& DisplayName() const { return DisplayLabel(); }
  int DisplayWidth() const { return display_width_ > 0 ? display_width_ : DefaultDisplayWidth(); }
  void SetDisplayWidth(int width) { display_width_ = width; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment) { alignment_ = alignment; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only) { read_only_ = read_only; }
  // Whether string values pass through the data set's TranslateText.
  bool Transliterate() const { return transliterate_; }
  void SetTransliterate(bool value) { transliterate_ = value; }
  // Whether a value may be written now: the field is not read-only, the data
  // set is open and may be modified.
  bool CanModify() const;
  // Whether a control may accept the character for this field.
  virtual bool IsValidChar(char c) const;

  // ---- typed access
  virtual AnsiString GetStringValue() const;
  virtual void SetStringValue(const AnsiString& value);
  virtual int GetIntegerValue() const;
  virtual void SetIntegerValue(int value);
  virtual int64_t GetLargeintValue() const;
  virtual void SetLargeintValue(int64_t value);
  virtual double GetFloatValue() const;
  virtual void SetFloatValue(double value);
  virtual Currency GetCurrencyValue() const;
  virtual void SetCurrencyValue(Currency value);
  virtual bool GetBooleanValue() const;
  virtual void SetBooleanValue(bool value);
  virtual TDateTime GetDateTimeValue() const;
  virtual void SetDateTimeValue(TDateTime value);
  virtual TSQLTimeStamp GetSQLTimeStampValue() const;
  virtual void SetSQLTimeStampValue(const TSQLTimeStamp& value);
  virtual TBcd GetBCDValue() const;
  virtual void SetBCDValue(const TBcd& value);
  // Null for a null value.
  virtual Variant GetVariantValue() const;
  // Null and Unassigned clear the value.
  virtual void SetVariantValue(const Variant& value);
  // Whether the active record holds no value for the field.
  virtual bool HoldsNull() const;
  // Makes the value null.
  virtual void ClearValue();
  // The text a control shows (display) or edits: OnGetText when assigned,
  // otherwise the class's own text.
  AnsiString FormatForDisplay(bool display_text) const;
  // Takes an edited text: OnSetText when assigned, otherwise the class's parse.
  void AcceptText(const AnsiString& text);

  // ---- raw access, for field classes and the framework
  // Reads the value of the record in view into buffer (ValueByteSize bytes in
  // the field layout, or NativeByteSize bytes when native); buffer may be
  // nullptr to test for null. False when the value is null.
  bool GetData(void* buffer, bool native = true) const;
  // Writes a value (nullptr: null) after the mode and read-only checks and
  // OnValidate.
  void SetData(const void* buffer, bool native = true);
  // Runs OnValidate with the value about to be written visible to the handler.
  void Validate(const void* buffer, bool native);
  // Asks the data links to focus the control of this field.
  void FocusControl();
  // Runs OnChange (the data set calls it after a field-change notice).
  void Change();

  // ---- events
  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;
  TFieldNotifyEvent OnValidate;
  TFieldNotifyEvent OnChange;

 protected:
  TField(TComponent* owner, TFieldType type);
  void SetDataType(TFieldType type) { data_type_ = type; }
  // The class's text of the value; the base gives GetStringValue.
  virtual AnsiString GetText(bool display_text) const;
  // The class's parse of an edited text; the base calls SetStringValue.
  virtual void SetTextValue(const AnsiString& text);
  virtual int DefaultDisplayWidth() const { return 10; }
  // Raises "Cannot access field '%s' as type %s".
  [[noreturn]] void AccessError(const char* type_name) const;
  // Raises the range error for value outside min..max.
  [[noreturn]] void RangeError(double value, double min, double max) const;

 private:
  friend class TDataSet;
  TDataSet* data_set_ = nullptr;
  AnsiString field_name_;
  AnsiString display_label_;
  AnsiString edit_mask_;
  TFieldType data_type_ = ftUnknown;
  TFieldKind field_kind_ = fkData;
  int field_no_ = 0;
  int offset_ = 0;
  int size_ = 0;
  int display_width_ = 0;
  TAlignment alignment_ = taLeftJustify;
  bool visible_ = true;
  bool required_ = false;
  bool read_only_ = false;
  bool transliterate_ = true;
  bool default_field_ = false;  // made by BuildDefaultFields, deleted by DropDefaultFields
  // While OnValidate runs: the value being written and its layout.
  bool validating_ = false;
  const void* value_buffer_ = nullptr;
  bool value_native_ = true;
};

// Text of up to Size characters (ftString; ftFixedChar trims trailing blanks).
class TStringField : public TField {
  KIV7_PERSISTENT(TStringField)

 public:
  explicit TStringField(TComponent* owner);
  int ValueByteSize() const override { return Size() + 1; }
  bool FixedChar() const { return DataType() == ftFixedChar; }
  void SetFixedChar(bool value) { SetDataType(value ? ftFixedChar : ftString); }
  // The value, or false for null.
  bool GetValue(AnsiString& value) const;

  AnsiString GetStringValue() const override;
  void SetStringValue(const AnsiString& value) override;
  int GetIntegerValue() const override;
  void SetIntegerValue(int value) override;
  int64_t GetLargeintValue() const override;
  void SetLargeintValue(int64_t value) override;
  double GetFloatValue() const override;
  void SetFloatValue(double value) override;
  bool GetBooleanValue() const override;
  void SetBooleanValue(bool value) override;
  TDateTime GetDateTimeValue() const override;
  void SetDateTimeValue(TDateTime value) override;
  Variant GetVariantValue() const override;
  void SetVariantValue(const Variant& value) override;

 protected:
  int DefaultDisplayWidth() const override { return Size(); }
};

// Base of the numeric fields: right-aligned, with display and edit formats
// (FormatFloat pictures).
class TNumericField : public TField {
  KIV7_PERSISTENT(TNumericField)

 public:
  const AnsiString& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const AnsiString& format) { display_format_ = format; }
  const AnsiString& EditFormat() const { return edit_format_; }
  void SetEditFormat(const AnsiString& format) { edit_format_ = format; }
  // Digits and signs.
  bool IsValidChar(char c) const override;

 protected:
  TNumericField(TComponent* owner, TFieldType type);
  // The display format for display text, else the edit format (or the display
  // format when there is none).
  const AnsiString& FormatFor(bool display_text) const;

 private:
  AnsiString display_format_;
  AnsiString edit_format_;
};

// 32-bit signed integer (ftInteger); also the base of the small integer, word
// and auto-increment fields, whose layouts are 2, 2 and 4 bytes.
class TIntegerField : public TNumericField {
  KIV7_PERSISTENT(TIntegerField)

 public:
  explicit TIntegerField(TComponent* owner);
  int ValueByteSize() const override;
  // Bounds checked by writes; both 0 means the type's own range.
  int MinValue() const { return min_value_; }
  void SetMinValue(int v) { min_value_ = v; }
  int MaxValue() const { return max_value_; }
  void SetMaxValue(int v) { max_value_ = v; }
  bool GetValue(int& value) const;

  AnsiString GetStringValue() const override;
  void SetStringValue(const AnsiString& value) override;
  int GetIntegerValue() const override;
  void SetIntegerValue(int value) override;
  int64_t GetLargeintValue() const override;
  void SetLargeintValue(int64_t value) override;
  double GetFloatValue() const override;
  void SetFloatValue(double value) override;
  Variant GetVariantValue() const override;
  void SetVariantValue(const Variant& value) override;

 protected:
  TIntegerField(TComponent* owner, TFieldType type, int64_t min_range, int64_t max_range);
  AnsiString GetText(bool display_text) const override;
  int DefaultDisplayWidth() const override { return 11; }

 private:
  void CheckRange(int64_t value) const;
  int64_t min_range_;
  int64_t max_range_;
  int min_value_ = 0;
  int max_value_ = 0;
};

// 16-bit signed integer (ftSmallint).
class TSmallintField : public TIntegerField {
  KIV7_PERSISTENT(TSmallintField)

 public:
  explicit TSmallintField(TComponent* owner);

 protected:
  int DefaultDisplayWidth() const override { return 6; }
};

// 16-bit unsigned integer (ftWord).
class TWordField : public TIntegerField {
  KIV7_PERSISTENT(TWordField)

 public:
  explicit TWordField(TComponent* owner);

 protected:
  int DefaultDisplayWidth() const override { return 5; }
};

// Integer numbered by the back end (ftAutoInc).
class TAutoIncField : public TIntegerField {
  KIV7_PERSISTENT(TAutoIncField)

 public:
  explicit TAutoIncField(TComponent* owner);
};

// 64-bit signed integer (ftLargeint).
class TLargeintField : public TNumericField {
  KIV7_PERSISTENT(TLargeintField)

 public:
  explicit TLargeintField(TComponent* owner);
  int ValueByteSize() const override { return 8; }
  int64_t MinValue() const { return min_value_; }
  void SetMinValue(int64_t v) { min_value_ = v; }
  int64_t MaxValue() const { return max_value_; }
  void SetMaxValue(int64_t v) { max_value_ = v; }
  bool GetValue(int64_t& value) const;

  AnsiString GetStringValue() const override;
  void SetStringValue(const AnsiString& value) override;
  int GetIntegerValue() const override;
  void SetIntegerValue(int value) override;
  int64_t GetLargeintValue() const override;
  void SetLargeintValue(int64_t value) override;
  double GetFloatValue() const override;
  void SetFloatValue(double value) override;
  Variant GetVariantValue() const override;
  void SetVariantValue(const Variant& value) override;

 protected:
  AnsiString GetText(bool display_text) const override;
  int DefaultDisplayWidth() const override { return 15; }

 private:
  int64_t min_value_ = 0;
  int64_t max_value_ = 0;
};

// Double (ftFloat). Text uses 15 significant digits unless a format is set.
class TFloatField : public TNumericField {
  KIV7_PERSISTENT(TFloatField)

 public:
  explicit TFloatField(TComponent* owner);
  int ValueByteSize() const override { return 8; }
  // Shown as money (ffCurrency display, ffFixed edit) when no format is set.
  bool IsCurrency() const { return currency_; }
  void SetCurrency(bool value) { currency_ = value; }
  // Significant digits of the general text, 2..15.
  int Precision() const { return precision_; }
  void SetPrecision(int value);
  // Bounds checked by writes; both 0 means none.
  double MinValue() const { return min_value_; }
  void SetMinValue(double v) { min_value_ = v; }
  double MaxValue() const { return max_value_; }
  void SetMaxValue(double v) { max_value_ = v; }
  bool GetValue(double& value) const;
  // Digits, signs, the decimal separator and the exponent letter.
  bool IsValidChar(char c) const override;

  AnsiString GetStringValue() const override;
  void SetStringValue(const AnsiString& value) override;
  int GetIntegerValue() const override;
  void SetIntegerValue(int value) override;
  int64_t GetLargeintValue() const override;
  double GetFloatValue() const override;
  void SetFloatValue(double value) override;
  Variant GetVariantValue() const override;
  void SetVariantValue(const Variant& value) override;

 protected:
  TFloatField(TComponent* owner, TFieldType type);
  AnsiString GetText(bool display_text) const override;

 private:
  bool currency_ = false;
  int precision_ = 15;
  double min_value_ = 0;
  double max_value_ = 0;
};

// Money as a double (ftCurrency): a float field shown as currency.
class TCurrencyField : public TFloatField {
  KIV7_PERSISTENT(TCurrencyField)

 public:
  explicit TCurrencyField(TComponent* owner);
};

// Fixed-point decimal (ftBCD): Currency in the field layout, TBcd natively.
// Size is the number of decimals (at most 4).
class TBCDField : public TNumericField {
  KIV7_PERSISTENT(TBCDField)

 public:
  explicit TBCDField(TComponent* owner);
  int ValueByteSize() const override { return 8; }
  int NativeByteSize() const override { return static_cast<int>(sizeof(TBcd)); }
  bool IsCurrency() const { return currency_; }
  void SetCurrency(bool value) { currency_ = value; }
  int Precision() const { return precision_; }
  void SetPrecision(int value) { precision_ = value; }
  Currency MinValue() const { return min_value_; }
  void SetMinValue(Currency v) { min_value_ = v; }
  Currency MaxValue() const { return max_value_; }
  void SetMaxValue(Currency v) { max_value_ = v; }
  bool GetValue(Currency& value) const;
  bool IsValidChar(char c) const override;

  AnsiString GetStringValue() const override;
  void SetStringValue(const AnsiString& value) override;
  int GetIntegerValue() const override;
  void SetIntegerValue(int value) override;
  double GetFloatValue() const override;
  void SetFloatValue(double value) override;
  Currency GetCurrencyValue() const override;
  void SetCurrencyValue(Currency value) override;
  TBcd GetBCDValue() const override;
  void SetBCDValue(const TBcd& value) override;
  Variant GetVariantValue() const override;
  void SetVariantValue(const Variant& value) override;

 protected:
  AnsiString GetText(bool display_text) const override;

 private:
  bool currency_ = false;
  int precision_ = 0;
  Currency min_value_;
  Currency max_value_;
};

// True or false in a 16-bit word (ftBoolean); any non-zero word is true.
class TBooleanField : public TField {
  KIV7_PERSISTENT(TBooleanField)

 public:
  explicit TBooleanField(TComponent* owner);
  int ValueByteSize() const override { return 2; }
  // "true text;false text"; empty restores "True;False".
  const AnsiString& DisplayValues() const { return display_values_; }
  void SetDisplayValues(const AnsiString& value);
  bool GetValue(bool& value) const;

  AnsiString GetStringValue() const override;
  void SetStringValue(const AnsiString& value) override;
  bool GetBooleanValue() const override;
  void SetBooleanValue(bool value) override;
  Variant GetVariantValue() const override;
  void SetVariantValue(const Variant& value) override;

 protected:
  int DefaultDisplayWidth() const override;

 private:
  AnsiString display_values_;
  AnsiString true_text_ = "True";
  AnsiString false_text_ = "False";
};

// Date and time (ftDateTime); base of the date and time fields.
class TDateTimeField : public TField {
  KIV7_PERSISTENT(TDateTimeField)

 public:
  explicit TDateTimeField(TComponent* owner);
  int ValueByteSize() const override { return 8; }
  int NativeByteSize() const override;
  // FormatDateTime picture of the display text; empty: the locale's format.
  const AnsiString& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const AnsiString& format) { display_format_ = format; }
  bool GetValue(TDateTime& value) const;

  AnsiString GetStringValue() const override;
  void SetStringValue(const AnsiString& value) override;
  double GetFloatValue() const override;
  void SetFloatValue(double value) override;
  TDateTime GetDateTimeValue() const override;
  void SetDateTimeValue(TDateTime value) override;
  TSQLTimeStamp GetSQLTimeStampValue() const override;
  void SetSQLTimeStampValue(const TSQLTimeStamp& value) override;
  Variant GetVariantValue() const override;
  void SetVariantValue(const Variant& value) override;

 protected:
  TDateTimeField(TComponent* owner, TFieldType type);
  AnsiString GetText(bool display_text) const override;
  int DefaultDisplayWidth() const override { return 18; }

 private:
  AnsiString display_format_;
};

// Date only (ftDate): the time of day is dropped on write.
class TDateField : public TDateTimeField {
  KIV7_PERSISTENT(TDateField)

 public:
  explicit TDateField(TComponent* owner);

 protected:
  int DefaultDisplayWidth() const override { return 10; }
};

// Time of day only (ftTime): the date is dropped on write.
class TTimeField : public TDateTimeField {
  KIV7_PERSISTENT(TTimeField)

 public:
  explicit TTimeField(TComponent* owner);

 protected:
  int DefaultDisplayWidth() const override { return 8; }
};

// Date and time as separate parts (ftTimeStamp).
class TSQLTimeStampField : public TField {
  KIV7_PERSISTENT(TSQLTimeStampField)

 public:
  explicit TSQLTimeStampField(TComponent* owner);
  int ValueByteSize() const override { return static_cast<int>(sizeof(TSQLTimeStamp)); }
  bool GetValue(TSQLTimeStamp& value) const;

  AnsiString GetStringValue() const override;
  void SetStringValue(const AnsiString& value) override;
  double GetFloatValue() const override;
  void SetFloatValue(double value) override;
  TDateTime GetDateTimeValue() const override;
  void SetDateTimeValue(TDateTime value) override;
  TSQLTimeStamp GetSQLTimeStampValue() const override;
  void SetSQLTimeStampValue(const TSQLTimeStamp& value) override;
  Variant GetVariantValue() const override;
  void SetVariantValue(const Variant& value) override;

 protected:
  int DefaultDisplayWidth() const override { return 18; }
};

// Base of the binary fields: the value as a byte string or a byte array.
class TBinaryField : public TField {
  KIV7_PERSISTENT(TBinaryField)

 public:
  // The bytes, or false for null.
  bool GetValue(std::string& bytes) const;

  AnsiString GetStringValue() const override;
  void SetStringValue(const AnsiString& value) override;
  // A 0-based array of byte variants.
  Variant GetVariantValue() const override;
  // A one-dimensional array of values 0..255, or a string of bytes;
  // EDatabaseError "Invalid variant type or size" otherwise.
  void SetVariantValue(const Variant& value) override;

 protected:
  TBinaryField(TComponent* owner, TFieldType type);
  AnsiString GetText(bool display_text) const override;
  void SetTextValue(const AnsiString& text) override;
};

// Fixed-length bytes (ftBytes): Size bytes.
class TBytesField : public TBinaryField {
  KIV7_PERSISTENT(TBytesField)

 public:
  explicit TBytesField(TComponent* owner);
  int ValueByteSize() const override { return Size(); }
};

// Variable-length bytes (ftVarBytes): a 16-bit length and up to Size bytes.
class TVarBytesField : public TBinaryField {
  KIV7_PERSISTENT(TVarBytesField)

 public:
  explicit TVarBytesField(TComponent* owner);
  int ValueByteSize() const override { return Size() + 2; }
};

// Bytes kept outside the record (ftBlob and the other blob kinds); read and
// written through the data set's blob streams.
class TBlobField : public TField {
  KIV7_PERSISTENT(TBlobField)

 public:
  explicit TBlobField(TComponent* owner);
  TFieldType BlobType() const { return DataType(); }
  void SetBlobType(TFieldType type);
  // The number of bytes.
  int64_t BlobSize() const;
  // Copies the bytes to / replaces them from a stream (from its position).
  void SaveToStream(TStream& stream) const;
  void LoadFromStream(TStream& stream);

  AnsiString GetStringValue() const override;
  void SetStringValue(const AnsiString& value) override;
  Variant GetVariantValue() const override;
  void SetVariantValue(const Variant& value) override;
  // Empty blobs count as null.
  bool HoldsNull() const override;
  void ClearValue() override;

 protected:
  TBlobField(TComponent* owner, TFieldType type);
  // "(MEMO)", "(BLOB)", ...; in lower case after the first letter when null.
  AnsiString GetText(bool display_text) const override;
  std::unique_ptr<TStream> OpenStream(TBlobAccessMode mode) const;
};

// Text kept outside the record (ftMemo).
class TMemoField : public TBlobField {
  KIV7_PERSISTENT(TMemoField)

 public:
  explicit TMemoField(TComponent* owner);
};

// A picture kept outside the record (ftGraphic).
class TGraphicField : public TBlobField {
  KIV7_PERSISTENT(TGraphicField)

 public:
  explicit TGraphicField(TComponent* owner);
};

// Makes a field of the class that serves type (nullptr for types without one:
// ftUnknown, ftCursor, ftWideString, ftADT, ftArray, ftReference, ftDataSet,
// ftVariant, ftInterface, ftIDispatch, ftGuid, ftFMTBcd).
TField* CreateFieldOfType(TFieldType type, TComponent* owner);

// Field definitions of a table: each ties a dBASE type letter to one of the
// framework's field types, with its stored length, decimals and place in the
// record image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/core/component.h"
#include "toolkit/db/dbtypes.h"

class TDbfFieldDefs;

// Table versions as the engine keeps them (the header's level, not its version byte).
inline constexpr int kDbfVersionDBase3 = 2;
inline constexpr int kDbfVersionDBase4 = 3;
inline constexpr int kDbfVersionFoxPro = 5;
inline constexpr int kDbfVersionDBase7 = 6;

class TDbfFieldDef : public TCollectionItem {
 public:
  explicit TDbfFieldDef(TCollection* collection);
  ~TDbfFieldDef() override;

  // Copies every attribute of another definition (and remembers its index).
  void Assign(const TPersistent* source) override;

  const AnsiString& FieldName() const { return field_name_; }
  void SetFieldName(const AnsiString& name) { field_name_ = name; }
  TFieldType FieldType() const { return field_type_; }
  // Sets the type and derives the letter for the table's version; a type the
  // format cannot hold raises EDbfError "Cannot create field ...".
  void SetFieldType(TFieldType type);
  // The type letter ('\0' when unknown).
  char NativeFieldType() const { return native_type_; }
  // Sets the letter (upper-cased) and derives the type from letter, length
  // and decimals; an unknown letter gives ftUnknown and clears the letter.
  void SetNativeFieldType(char letter);
  int Size() const { return size_; }
  void SetSize(int size);
  int Precision() const { return precision_; }
  void SetPrecision(int precision);
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  // Applies the default length and decimals of the field type.
  void SetDefaultSize();
  // Sets name, letter, length and decimals as a file's descriptor gives them:
  // the type is derived, nothing is clamped (the file decides the layout).
  void SetFromDescriptor(const AnsiString& name, char letter, int size, int precision);

  // Position in the record image (1 = just after the deleted flag).
  int Offset() const { return offset_; }
  void SetOffset(int offset) { offset_ = offset; }
  // Next value of an autoincrement field (dBase 7).
  uint32_t AutoIncNext() const { return autoinc_next_; }
  void SetAutoIncNext(uint32_t value) { autoinc_next_ = value; }
  // Whether this is the hidden "_DBASELOCK" field.
  bool IsLockField() const { return is_lock_field_; }
  void SetIsLockField(bool value) { is_lock_field_ = value; }
  // Default, minimum and maximum values (dBase 7 properties), Size() bytes each.
  const std::vector<uint8_t>& DefaultBuf() const { return default_buf_; }
  const std::vector<uint8_t>& MinBuf() const { return min_buf_; }
  const std::vector<uint8_t>& MaxBuf() const { return max_buf_; }
  bool HasDefault() const { return has_default_; }
  bool HasMin() const { return has_min_; }
  bool HasMax() const { return has_max_; }
  // Stores a property value (kind 2 minimum, 3 maximum, 4 default); bytes
  // beyond the field's length are dropped.
  void SetPropertyValue(int kind, const uint8_t* value, int length);
  // The index of the definition this one was copied from, -1 when none.
  int CopyFrom() const { return copy_from_; }

  // Memo, binary and OLE fields ('M', 'B', 'G') hold memo block numbers.
  bool IsBlob() const;
  AnsiString DisplayName() const override { return field_name_; }

 private:
  TDbfFieldDefs* Defs() const;
  int Version() const;
  void DeriveFieldType();
  void CheckSizePrecision();
  void AllocBuffers();

  AnsiString field_name_;
  TFieldType field_type_ = ftUnknown;
  char native_type_ = '\0';
  int size_ = 0;
  int precision_ = 0;
  bool required_ = false;
  int offset_ = 0;
  uint32_t autoinc_next_ = 0;
  std::vector<uint8_t> default_buf_, min_buf_, max_buf_;
  bool has_default_ = false, has_min_ = false, has_max_ = false;
  bool is_lock_field_ = false;
  int copy_from_ = -1;
};

// The field list of a table, in record order.
class TDbfFieldDefs : public TCollection {
 public:
  TDbfFieldDefs();

  TDbfFieldDef* Items(int index) const { return static_cast<TDbfFieldDef*>(TCollection::Items(index)); }
  TDbfFieldDef* AddFieldDef() { return static_cast<TDbfFieldDef*>(TCollection::Add()); }

  // The table version the list describes (kDbfVersion...), steering the type mapping.
  int DbfVersion() const { return version_; }
  void SetDbfVersion(int version) { version_ = version; }
  // Whether 'N' and 'F' fields without decimals map to ftFloat.
  bool UseFloatFields() const { return use_float_fields_; }
  void SetUseFloatFields(bool value) { use_float_fields_ = value; }

 private:
  int version_ = kDbfVersionDBase4;
  bool use_float_fields_ = true;
};

// The field type of a letter under a version, length and decimals (ftUnknown
// for letters the engine does not know).
TFieldType DbfLetterToFieldType(char letter, int size, int precision, bool use_float_fields);
// The letter of a field type under a version ('\0' when the format has none).
char FieldTypeToDbfLetter(TFieldType type, int version);

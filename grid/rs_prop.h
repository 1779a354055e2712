// Published properties as fields: the type rules that turn a property into a
// field definition, the optional per-class description that renames
// properties and marks empty values as null, the walk along a dotted property
// path, and TvpPropAccessor, which reads and writes one property of one
// object through a TvpUniValue.
//
// Object references never travel as integers cut from pointers. A component
// property reads as a handle: a number the component handle table gives the
// component while it lives (0 for none). Writing a number back finds the
// component by its handle; a number that names no live component is refused,
// so a stale or invented number can never reach an object.
#pragma once

#include <cstdint>

#include "grid/rs_db.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/fields.h"

// What kind of object a class-typed property holds.
enum TvpPropKind { vpkNone, vpkStrings, vpkBitmap, vpkComponent, vpkSet };

// One published property as a field.
struct TvpPropFieldInfo {
  TFieldType FieldType = ftUnknown;
  int Size = 0;
  bool ReadOnly = false;  // the property has no setter
  TvpPropKind Kind = vpkNone;
  AnsiString SetNames;  // ";"-list of a set type's member names
};

// The field a property maps to; string_length sizes long strings, memo_props
// lists (";") the string properties shown as memos.
TvpPropFieldInfo GetPropFieldInfo(const TPropInfo& prop, int string_length, const AnsiString& memo_props);

// The per-class fields description.
struct TObjFieldsInfo {
  AnsiString Reserved;       // not read by the library
  AnsiString NullableProps;  // ";"-list of properties whose zero or empty value reads as null
  AnsiString Properties;     // ";"-list of property names ...
  AnsiString Fields;         // ... and, by position, the field that shows each
};

// A class that describes its fields implements this.
class IvpObjFieldsInfo {
 public:
  virtual ~IvpObjFieldsInfo() = default;
  virtual void _GetObjFieldsInfo(TObjFieldsInfo& info) const = 0;
};

// Fills info from the object's class description; false (and four empty
// strings) when the class has none.
bool GetObjFieldsInfo(const TPersistent* object, TObjFieldsInfo& info);
// The field paired with the property in the description, else the property name.
AnsiString PropertyToFieldName(const TPersistent* object, const AnsiString& prop_name);
// The property paired with the field in the description, else the field name.
AnsiString FieldToPropertyName(const TPersistent* object, const AnsiString& field_name);
// Whether the description lists the property nullable and its value is empty.
bool IsNullByObjInfo(const TPersistent* object, const AnsiString& prop_name);

// Fills defs from the published properties of cls (sorted by name) and
// returns the ";"-list of the field names made. With expand_sets a set
// property becomes one Boolean field per member (Style_fsBold): the set's
// field name goes to prop_list and the member field's name to expanded_list,
// at the same position. A property of a kind no field can show is left out,
// so the others still make a record.
AnsiString FieldDefsFromPublished(TFieldDefs& defs, const TClassInfo& cls, const TPersistent* object,
                                  int string_length, const AnsiString& memo_props, bool expand_sets,
                                  TStrings& prop_list, TStrings& expanded_list);

// The object reached from root by the "."-separated object properties of
// path; root for an empty path; nullptr when the path breaks.
TPersistent* ResolvePropertyPath(TPersistent* root, const AnsiString& path);

// Integer and string properties by name: 0 / nothing when there is no such property.
int GetIntegerProperty(TPersistent* object, const AnsiString& name);
void SetIntegerProperty(TPersistent* object, const AnsiString& name, int value);
void SetStringProperty(TPersistent* object, const AnsiString& name, const AnsiString& value);

// The handle of a live component (0 for nullptr); the same component keeps
// its handle while it lives, and a handle is never given twice.
int ComponentHandle(TComponent* component);
// The live component with that handle; nullptr for 0. ERSError for a number
// that names no live component.
TComponent* ComponentOfHandle(int handle);

// Reads and writes one published property of one object through Value.
class TvpPropAccessor : public TPersistent {
  KIV7_PERSISTENT(TvpPropAccessor)

 public:
  TvpPropAccessor(TPersistent* instance, const AnsiString& prop_name);
  ~TvpPropAccessor() override;

  TPersistent* Instance() const { return instance_; }
  const AnsiString& PropName() const { return prop_name_; }
  const TPropInfo* PropInfo() const { return prop_; }
  bool Available() const { return prop_ != nullptr; }
  TFieldType DataType() const { return info_.FieldType; }
  bool ReadOnly() const { return !Available() || info_.ReadOnly; }
  const AnsiString& SetNames() const { return info_.SetNames; }
  TvpPropKind Kind() const { return info_.Kind; }
  TvpUniValue& Value() const { return *value_; }

  // Readings: read into Value, take the reading, clear Value.
  int AsInteger();
  AnsiString AsString();
  double AsFloat();
  Variant AsVariant();
  int64_t AsLargeInt();
  // Writings: set Value, then write it into the property.
  void SetAsInteger(int value);
  void SetAsString(const AnsiString& value);

  // From another accessor's Value or from a TvpUniValue, written into the property.
  void Assign(const TPersistent* source) override;
  // Whether the property holds its empty value (0, "", 0.0, Null).
  bool IsEmpty() const;
  // Whether the property type has that name (case-insensitive).
  bool IsTypeNamed(const AnsiString& name) const;

  // The property's value into Value (nothing without a getter).
  void ReadValue();
  // Value into the property; ERSError "'%s' is read-only property" without
  // setter; a number outside the property's range raises the library's range
  // error. Value is cleared afterwards, also on failure.
  void WriteValue();

 protected:
  // Reads the property into the target's Assign.
  void AssignTo(TPersistent* dest) const override;

 private:
  void CheckAvailable() const;
  // ReadValue, then one reading of Value, which is cleared however it ends.
  template <class R>
  R Reading(R (TvpUniValue::*take)() const);
  void WriteOrdinal(int64_t value);

  TPersistent* instance_;
  AnsiString prop_name_;
  const TPropInfo* prop_ = nullptr;
  TvpPropFieldInfo info_;
  std::unique_ptr<TvpUniValue> value_;
};

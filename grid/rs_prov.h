// Object data providers: each turns one kind of object into numbered records
// with named field values for the object data set. The data set reaches
// records only through its provider: its cursor is a record index, its
// bookmarks the keys the provider hands out.
//
// Keys are pointer-sized: an object or collection record's key is the object
// itself, kept as a native pointer, never cut to 32 bits.
//
// A text longer than its field (a long property, a long line) is cut to the
// field's size when it is fetched, so a record buffer sized by the field
// definitions always holds it.
#pragma once

#include <cstdint>
#include <map>

#include "grid/rs_db.h"
#include "grid/rs_prop.h"
#include "grid/rs_qrs.h"
#include "toolkit/core/classes.h"
#include "toolkit/db/db.h"

// The key of a record, handed out as its bookmark.
using TodsKey = uintptr_t;

// What kind of change a provider is told of.
enum TodsChangeKind { ckEdited = 0, ckInserted = 1, ckDeleted = 2 };

// The object data set's parameters for object records. Every setter requires
// the data set (when one is given) to be closed.
class TodsObjectParams : public TPersistent {
  KIV7_PERSISTENT(TodsObjectParams)

 public:
  explicit TodsObjectParams(TDataSet* data_set = nullptr) : data_set_(data_set) {}

  // A set property becomes one Boolean field per member.
  bool ExpandSets() const { return expand_sets_; }
  void SetExpandSets(bool value);
  // ";"-list of string properties shown as memo fields.
  const AnsiString& BlobProperties() const { return blob_properties_; }
  void SetBlobProperties(const AnsiString& value);
  // The size of string fields made from long strings; ERSError unless positive.
  int StringLength() const { return string_length_; }
  void SetStringLength(int value);
  // ";"-list of properties whose empty value reads as null.
  const AnsiString& NullableProperties() const { return nullable_properties_; }
  void SetNullableProperties(const AnsiString& value);
  // ";"-list of property type names (TDateTime) whose empty value reads as null.
  const AnsiString& NullableTypes() const { return nullable_types_; }
  void SetNullableTypes(const AnsiString& value);

  void Assign(const TPersistent* source) override;

 private:
  void CheckClosed() const;

  TDataSet* data_set_;
  bool expand_sets_ = false;
  AnsiString blob_properties_;
  int string_length_ = 1024;
  AnsiString nullable_properties_;
  AnsiString nullable_types_;
};

// The provider base: the operations the data set calls.
class TodsDataProvider {
 public:
  TodsDataProvider(TDataSet* data_set, const TodsObjectParams& params);
  virtual ~TodsDataProvider();
  TodsDataProvider(const TodsDataProvider&) = delete;
  TodsDataProvider& operator=(const TodsDataProvider&) = delete;

  TDataSet* DataSet() const { return data_set_; }

  // Fills defs and returns the ";"-list of the field names.
  virtual AnsiString LoadFieldDefs(TFieldDefs& defs) = 0;
  // Whether records can be inserted and deleted.
  virtual bool IsList() const = 0;
  virtual int RecordCount() const = 0;
  // The key of a record and the record of a key (-1 when absent).
  virtual TodsKey KeyOf(int index) const = 0;
  virtual int IndexOfKey(TodsKey key) const = 0;
  // Reads one field of one record into value (a text cut to the field's size).
  void GetFieldValue(const AnsiString& field_name, int index, TvpUniValue& value);
  // Writes one field of one record.
  virtual void SetFieldValue(const AnsiString& field_name, int index, const TvpUniValue& value) = 0;
  // A new empty record before index (-1: at the end); returns its index.
  virtual int InsertRecord(int index) = 0;
  virtual void DeleteRecord(int index) = 0;
  // Told after a record was written or deleted.
  virtual void NotifyChange(TodsChangeKind kind, const AnsiString& field_list, int index);
  // The object that holds the record's properties; nullptr when none.
  virtual TPersistent* ObjectAt(int index) const;

 protected:
  virtual void ReadFieldValue(const AnsiString& field_name, int index, TvpUniValue& value) = 0;
  // Remembers the sizes of the text fields of defs.
  void NoteFieldSizes(const TFieldDefs& defs);
  const TodsObjectParams& Params() const { return params_; }
  // An index the provider's records have; ERSError otherwise.
  void CheckRecord(int index) const;

 private:
  TDataSet* data_set_;
  const TodsObjectParams& params_;
  // Text fields by lower-case name: their size in characters.
  std::map<AnsiString, int> text_sizes_;
};

// Records that are objects with published properties.
class TCustomObjectDataProvider : public TodsDataProvider {
 public:
  using TodsDataProvider::TodsDataProvider;

  void SetFieldValue(const AnsiString& field_name, int index, const TvpUniValue& value) override;

 protected:
  // The definitions from the published properties of cls; object gives the
  // class description.
  AnsiString LoadObjectFieldDefs(TFieldDefs& defs, const TClassInfo& cls, const TPersistent* object);
  void ReadFieldValue(const AnsiString& field_name, int index, TvpUniValue& value) override;

 private:
  // The property field behind field_name and, for a set member, the member.
  AnsiString PropertyFieldOf(const AnsiString& field_name, AnsiString* member) const;
  int MemberBit(const TvpPropAccessor& accessor, const AnsiString& member) const;
  bool ReadsAsNull(TvpPropAccessor& accessor, const TPersistent* object) const;

  TStringList set_fields_;
  TStringList member_fields_;
};

// One object, one record.
class TObjectDataProvider : public TCustomObjectDataProvider {
 public:
  TObjectDataProvider(TDataSet* data_set, const TodsObjectParams& params, TPersistent* object);

  AnsiString LoadFieldDefs(TFieldDefs& defs) override;
  bool IsList() const override { return false; }
  int RecordCount() const override { return 1; }
  TodsKey KeyOf(int index) const override;
  int IndexOfKey(TodsKey key) const override;
  int InsertRecord(int index) override;
  void DeleteRecord(int index) override;
  TPersistent* ObjectAt(int) const override { return object_; }

 private:
  TPersistent* object_;
};

// The items of a collection, one record each.
class TCollectionDataProvider : public TCustomObjectDataProvider {
 public:
  TCollectionDataProvider(TDataSet* data_set, const TodsObjectParams& params, TCollection* collection);

  AnsiString LoadFieldDefs(TFieldDefs& defs) override;
  bool IsList() const override { return true; }
  int RecordCount() const override { return collection_->Count(); }
  TodsKey KeyOf(int index) const override;
  int IndexOfKey(TodsKey key) const override;
  int InsertRecord(int index) override;
  void DeleteRecord(int index) override;
  TPersistent* ObjectAt(int index) const override;

 private:
  TCollection* collection_;
};

// A list whose records are keyed by their index.
class TIndexedDataProvider : public TodsDataProvider {
 public:
  using TodsDataProvider::TodsDataProvider;

  bool IsList() const override { return true; }
  TodsKey KeyOf(int index) const override { return static_cast<TodsKey>(index); }
  int IndexOfKey(TodsKey key) const override;
};

// The lines of a string list: fields no (the 0-based line number, read-only)
// and value (the line).
class TStringsDataProvider : public TIndexedDataProvider {
 public:
  TStringsDataProvider(TDataSet* data_set, const TodsObjectParams& params, TStrings* strings);

  AnsiString LoadFieldDefs(TFieldDefs& defs) override;
  int RecordCount() const override { return strings_->Count(); }
  void SetFieldValue(const AnsiString& field_name, int index, const TvpUniValue& value) override;
  int InsertRecord(int index) override;
  void DeleteRecord(int index) override;

 protected:
  void ReadFieldValue(const AnsiString& field_name, int index, TvpUniValue& value) override;

 private:
  TStrings* strings_;
};

// The rows of a quick record set, as it shows them.
class TRecordSetDataProvider : public TIndexedDataProvider {
 public:
  TRecordSetDataProvider(TDataSet* data_set, const TodsObjectParams& params, TvpQuickRecordSet* record_set);

  AnsiString LoadFieldDefs(TFieldDefs& defs) override;
  int RecordCount() const override { return record_set_->RowCount(); }
  void SetFieldValue(const AnsiString& field_name, int index, const TvpUniValue& value) override;
  int InsertRecord(int index) override;
  void DeleteRecord(int index) override;
  void NotifyChange(TodsChangeKind kind, const AnsiString& field_list, int index) override;

 protected:
  void ReadFieldValue(const AnsiString& field_name, int index, TvpUniValue& value) override;

 private:
  TvpQuickRecordSet* record_set_;
};

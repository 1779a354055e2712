// The quick record set: an in-memory table kept column by column. Every field
// holds one TvpUniValue per stored row; an order column maps the visible row
// numbers onto the stored rows, so a sort only permutes that column.
//
// Row numbers: every operation that takes a row (ValueAt, Insert, Delete)
// means the visible row, the one a viewer of the set sees under the current
// sort. The set translates it to the stored row through the order column, so
// that editing or deleting the row shown changes that row and no other.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "grid/rs_db.h"
#include "toolkit/core/component.h"
#include "toolkit/db/fields.h"

class TvpQuickRecordSet;

// One column: its definition and the values of the stored rows.
class TvpQRSField : public TCollectionItem {
  KIV7_PERSISTENT(TvpQRSField)

 public:
  // Joins collection with a null value for every row the record set already has.
  explicit TvpQRSField(TCollection* collection);
  ~TvpQRSField() override;

  const AnsiString& FieldName() const { return field_name_; }
  // EDatabaseError "Duplicate field name '%s'" when another field has the
  // name (case-insensitive); an empty name is allowed.
  void SetFieldName(const AnsiString& name);
  TFieldType DataType() const { return data_type_; }
  // Clears every row's value and retypes it.
  void SetDataType(TFieldType type);
  int Size() const { return size_; }
  // ERSError "Value can not be negative (%d)" for a negative size.
  void SetSize(int size);
  int Precision() const { return precision_; }
  void SetPrecision(int precision);

  // The value of a stored row (not a visible one); ERSError for a bad row.
  TvpUniValue* StoredValue(int stored_row) const;

  // Copies the definition (name, type, size, precision), not the values.
  void Assign(const TPersistent* source) override;
  AnsiString DisplayName() const override;

 private:
  friend class TvpQuickRecordSet;
  std::unique_ptr<TvpUniValue> NewValue() const;
  TvpQuickRecordSet* RecordSet() const;

  AnsiString field_name_;
  TFieldType data_type_ = ftUnknown;
  int size_ = 0;
  int precision_ = 0;
  std::vector<std::unique_ptr<TvpUniValue>> values_;
};

// The fields of a record set, owned by it.
class TvpQRSFields : public TOwnedCollection {
  KIV7_PERSISTENT(TvpQRSFields)

 public:
  explicit TvpQRSFields(TvpQuickRecordSet* owner);

  TvpQuickRecordSet* RecordSet() const { return record_set_; }
  TvpQRSField* Field(int index) const { return static_cast<TvpQRSField*>(Items(index)); }
  // A new field; EDatabaseError "Duplicate field name '%s'" when the name is taken.
  TvpQRSField* AddField(const AnsiString& name, TFieldType type, int size);
  // The first field with that name (case-insensitive), or nullptr.
  TvpQRSField* FindField(const AnsiString& name) const;

 protected:
  // The last field leaving takes every row with it.
  void Notify(TCollectionItem* item, TCollectionNotification action) override;

 private:
  TvpQuickRecordSet* record_set_;
};

// Told when the object data set reports a written (0 edited, 1 inserted) or
// deleted (2) record: the field list is ";"-separated, the row visible.
using TvpQRSRecordChangeEvent =
    std::function<void(TPersistent* Sender, int change_kind, const AnsiString& field_list, int row)>;

// The record set. Published: Fields and SortString.
class TvpQuickRecordSet : public TPersistent {
  KIV7_PERSISTENT(TvpQuickRecordSet)

 public:
  TvpQuickRecordSet();
  ~TvpQuickRecordSet() override;

  TvpQRSFields* Fields() const { return fields_.get(); }
  // Clears the fields (and with them the rows) and copies the given ones.
  void SetFields(TvpQRSFields* fields);

  const AnsiString& SortString() const { return sort_string_; }
  // A ","-list of keys, each a field name optionally followed by " asc" or
  // " desc". A key naming no field raises ERSError "Field '%s' not found"
  // before anything is stored: the old sort stays in force.
  void SetSortString(const AnsiString& value);

  int RowCount() const { return row_count_; }
  // ERSError "Field '%s' not found".
  TvpQRSField* FieldByName(const AnsiString& name) const;
  // The value of field_name in the visible row.
  TvpUniValue* ValueAt(const AnsiString& field_name, int row) const;
  // The stored row shown as visible row; ERSError for a bad row.
  int StoredRow(int row) const;
  // The visible row showing a stored row.
  int VisibleRow(int stored_row) const;
  // The stamp of a visible row: the tick count plus the row count when it was made.
  uint32_t RowStamp(int row) const;

  // Nested; the last EndUpdate re-orders.
  void BeginUpdate();
  void EndUpdate();

  // Adds a null row at the end of the storage; returns the visible row it
  // shows as under the sort.
  int Append();
  // Adds a null row at the stored position of visible row (RowCount: the end);
  // returns the visible row the new row shows as.
  int Insert(int row);
  // Removes the visible row.
  void Delete(int row);
  // Appends count rows of source from its visible row first on; fields both
  // sets have take the source's values.
  void AppendFrom(const TvpQuickRecordSet& source, int first, int count);
  // From another record set: its fields and all its rows.
  void Assign(const TPersistent* source) override;

  // The definitions of the fields, in order; field_list gets their ";"-list.
  void GetFieldDefs(TFieldDefs& defs, AnsiString& field_list) const;
  // One field per definition.
  void CreateFields(const TFieldDefs& defs);

  // Passes a record change to OnRecordChange.
  void RecordChanged(int change_kind, const AnsiString& field_list, int row);
  TvpQRSRecordChangeEvent OnRecordChange;

 private:
  friend class TvpQRSFields;
  friend class TvpQRSField;
  struct SortKey {
    TvpQRSField* field;
    bool descending;
  };
  std::vector<SortKey> ParseSort(const AnsiString& text) const;
  void ResetOrder();
  void Reorder();
  void DropRows();
  void CheckRow(int row, int count) const;

  std::unique_ptr<TvpQRSFields> fields_;
  AnsiString sort_string_;
  std::vector<uint32_t> stamps_;
  std::vector<int> order_;
  int row_count_ = 0;
  int update_count_ = 0;
};

// TMemDataSet: a data set whose rows live in memory. Its columns are the
// FieldDefs given in code (or derived from persistent fields); rows survive
// closing and reopening while the columns stay the same.
//
// It stands in for a table where a test or a tool needs rows without files:
// the dump decoder's tests and tools/dump_decode append measurement rows
// through it exactly as through the table component. A per-field store
// transform rewrites each value as it is written, so that a column can behave
// like a stored format; NumericText(18, 9) makes a float column hold what a
// dBASE 'N' 18.9 field gives back.
//
// Filtering: OnFilterRecord, and Filter texts of the form NAME=value (a
// number, or text in quotes), which is what the program's record-kind filters
// need; other filter texts are refused with EDatabaseError.
//
// Record buffer: a 9-byte header (row id as the 4-byte bookmark, the position
// flag, 4 unused bytes), then one slot per column (a null flag byte and the
// value in the native layout; blob columns keep only the flag, their bytes stay
// in the row), then the calculated-field area.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/db/db.h"

class TMemDataSet : public TDataSet {
  KIV7_PERSISTENT(TMemDataSet)

 public:
  // Rewrites a value (native layout bytes, never null) before it is stored.
  using TStoreTransform = std::function<void(const TField& field, std::string& value)>;

  explicit TMemDataSet(TComponent* owner);
  ~TMemDataSet() override;

  // Installs (or, with an empty function, removes) the transform of a column.
  void SetStoreTransform(const AnsiString& field_name, TStoreTransform transform);
  // The transform of a dBASE numeric field of the given width and decimals:
  // the value is written as fixed-point text of that width ('.' as the decimal
  // point) and read back from the text. Integers keep their last digits when
  // the text does not fit, as the table does.
  static TStoreTransform NumericText(int width, int decimals);

  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  // Rows stored, whatever the filter.
  int StoredRowCount() const { return static_cast<int>(rows_.size()); }
  // Deletes every row (the data set must be closed).
  void EmptyTable();

  // ---- back-end contract
  void OpenBackend() override;
  void CloseBackend() override;
  bool HasCursor() override { return open_; }
  void LoadFieldDefs() override;
  // The header and the column slots; the calculated-field area follows.
  int RecordBufferSize() override { return kHeaderSize + record_size_; }
  void ZeroCalcArea(TRecordBuffer buffer) override;
  void BlankRecordBuffer(TRecordBuffer buffer) override;
  void ReadBookmark(TRecordBuffer buffer, void* destination) override;
  void WriteBookmark(TRecordBuffer buffer, const TBookmark& bookmark) override;
  TBufferPosition ReadBookmarkFlag(TRecordBuffer buffer) override;
  void WriteBookmarkFlag(TRecordBuffer buffer, TBufferPosition position) override;
  bool BookmarkExists(const TBookmark& bookmark) override;
  int CompareBookmarkValues(const TBookmark& a, const TBookmark& b) override;
  void CursorToFirst() override;
  void CursorToLast() override;
  void CursorToBookmark(const TBookmark& bookmark) override;
  void CursorToBuffer(TRecordBuffer buffer) override;
  TFetchResult FetchRecord(TRecordBuffer buffer, TFetchDirection direction, bool check_errors) override;
  bool FetchFieldValue(TField* field, void* destination) override;
  void PutFieldValue(TField* field, const void* source) override;
  std::unique_ptr<TStream> OpenBlobStream(TField* field, TBlobAccessMode mode) override;
  bool QueryCanModify() override { return !read_only_; }
  void PrepareEdit() override;
  void AbandonEdit() override;
  void StoreRecord() override;
  void AppendBuffer(TRecordBuffer buffer, bool append) override;
  void RemoveRecord() override;
  int CursorRecordCount() override;
  int GetSequenceNo() override;
  void SetSequenceNo(int n) override;
  void ChangeFilter(const AnsiString& value) override;
  void ChangeFiltered(bool value) override;

 private:
  class BlobStream;
  // A row's column slots (as in the record buffer) live in one store shared
  // by every row, so that storing a row allocates nothing per value or per
  // row; blob bytes, of any length, are kept beside the row.
  struct Row {
    int32_t id = 0;
    size_t slot = 0;  // of its data in slots_, in records
    std::vector<std::optional<std::string>> blobs;  // by column; empty without blob columns
  };
  struct Column {
    AnsiString name;
    TFieldType type = ftUnknown;
    int size = 0;    // bytes of the native value
    int offset = 0;  // of the slot within the record data
    const TStoreTransform* transform = nullptr;
  };
  struct EqualityFilter {
    AnsiString field;
    AnsiString text;
    bool quoted = false;
    double number = 0;  // the value of an unquoted text
  };

  static constexpr int kHeaderSize = 9;
  uint8_t* RowData(const Row& row) { return slots_.data() + row.slot * size_t(record_size_); }
  const uint8_t* RowData(const Row& row) const { return slots_.data() + row.slot * size_t(record_size_); }
  // A new row with room for its data.
  Row NewRow();
  void FreeRow(const Row& row);
  void ResolveTransforms();
  bool HasBlobColumns() const;
  int RowIndexOfId(int32_t id) const;
  int ColumnOf(const TField* field) const;
  void FillBuffer(TRecordBuffer buffer, const Row& row);
  void StoreBuffer(TRecordBuffer buffer, Row& row);
  bool Accepts(const Row& row, TRecordBuffer buffer);
  bool RowPassesFilterText(const Row& row) const;
  bool Visible(const Row& row);
  std::optional<std::string> BlobValue(TRecordBuffer buffer, int column) const;
  void RestartAfterFilterChange();
  AnsiString LayoutSignature() const;

  std::vector<Column> columns_;
  std::vector<Row> rows_;
  std::vector<uint8_t> slots_;        // record_size_ bytes a row
  std::vector<size_t> free_slots_;    // of removed rows, for the next new ones
  std::vector<uint8_t> scratch_;      // a record buffer for the filter's tests
  bool scratch_in_use_ = false;
  std::string transform_value_;       // the value a transform rewrites
  AnsiString rows_layout_;
  std::map<AnsiString, TStoreTransform> transforms_;  // by upper-case field name
  std::map<int, std::string> pending_blobs_;          // column -> bytes written during this edit
  std::optional<EqualityFilter> filter_;
  // The column the filter names, found on the first row it is asked for
  // after the filter or the columns change; -1 when none is named so.
  static constexpr int kColumnUnresolved = -2;
  mutable int filter_column_ = kColumnUnresolved;
  int record_size_ = 0;
  int cursor_ = -1;       // row index; -1 before the first, rows_.size() after the last
  bool between_ = false;  // the cursor stands just before rows_[cursor_] (an inserted record)
  int32_t next_id_ = 1;
  bool open_ = false;
  bool read_only_ = false;
};

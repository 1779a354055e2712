// TObjDataSet: a data set whose records are live objects: the published
// properties of one object (one record), the items of a collection, the lines
// of a string list or the rows of a quick record set. The rows come from a
// data provider chosen by the class of the object shown (rs_prov.h); the data
// set keeps the framework's buffer, cursor, bookmark and edit contract on top
// of the provider's record index. Posting writes the values straight into the
// objects and reads them back, so the buffer shows what the objects accepted.
//
// Record buffer: a header (the record key as the pointer-sized bookmark, the
// position flag, the buffer's values), then the calculated-field area. The
// values are one TvpUniValue per field of the provider's field list, kept
// beside the buffer; a text value was cut to its field by the provider, so its
// native layout always fits the field.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "grid/rs_prov.h"
#include "toolkit/db/db.h"

class TObjDataSet;

// Sender, the offset of the move, and whether the record reached is passed over.
using TCursorMoveEvent = std::function<void(TObjDataSet* sender, int offset, bool& skipped)>;

class TObjDataSet : public TDataSet {
  KIV7_PERSISTENT(TObjDataSet)

 public:
  explicit TObjDataSet(TComponent* owner);
  ~TObjDataSet() override;

  // The component shown; its removal clears it.
  TComponent* CompRef() const { return comp_ref_; }
  void SetCompRef(TComponent* value);
  // The object shown (closes, and reopens when it was open and source is set).
  TPersistent* Source() const { return source_; }
  void SetSource(TPersistent* source);
  // A dotted list of object properties leading from the source to the object
  // shown; empty or leading nowhere: the source itself. Only while closed.
  const AnsiString& Path() const { return path_; }
  void SetPath(const AnsiString& value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  // False: every field written while editing goes into the object at once.
  bool UseEditBuffer() const { return use_edit_buffer_; }
  void SetUseEditBuffer(bool value) { use_edit_buffer_ = value; }
  TodsObjectParams* ParamsObject() const { return params_.get(); }
  void SetParamsObject(const TodsObjectParams* value) { params_->Assign(value); }
  // The provider of the object shown; nullptr without one.
  TodsDataProvider* Provider() const { return provider_.get(); }
  // Whether a post, append or delete happened since the last open.
  bool Changed() const { return changed_; }

  TCursorMoveEvent OnCursorMove;

  // Opens again after loading only when it was stored open.
  void Loaded() override;

  // ---- back-end contract
  void OpenBackend() override;
  void CloseBackend() override;
  bool HasCursor() override { return source_ != nullptr; }
  void LoadFieldDefs() override;
  int RecordBufferSize() override { return kHeaderSize; }
  TRecordBuffer NewRecordBuffer() override;
  void DisposeRecordBuffer(TRecordBuffer buffer) override;
  void BlankRecordBuffer(TRecordBuffer buffer) override;
  void ReadBookmark(TRecordBuffer buffer, void* destination) override;
  void WriteBookmark(TRecordBuffer buffer, const TBookmark& bookmark) override;
  TBufferPosition ReadBookmarkFlag(TRecordBuffer buffer) override;
  void WriteBookmarkFlag(TRecordBuffer buffer, TBufferPosition position) override;
  void CursorToFirst() override;
  void CursorToLast() override;
  void CursorToBookmark(const TBookmark& bookmark) override;
  void CursorToBuffer(TRecordBuffer buffer) override;
  bool BookmarkExists(const TBookmark& bookmark) override;
  int CompareBookmarkValues(const TBookmark& a, const TBookmark& b) override;
  int CursorRecordCount() override;
  int GetSequenceNo() override;
  void SetSequenceNo(int n) override;
  bool QueryCanModify() override { return !read_only_; }
  TFetchResult FetchRecord(TRecordBuffer buffer, TFetchDirection direction, bool check_errors) override;
  bool FetchFieldValue(TField* field, void* destination) override;
  void PutFieldValue(TField* field, const void* source) override;
  void StoreRecord() override;
  void AbandonEdit() override;
  void AppendBuffer(TRecordBuffer buffer, bool append) override;
  void RemoveRecord() override;
  std::unique_ptr<TStream> OpenBlobStream(TField* field, TBlobAccessMode mode) override;
  bool FindByValues(const AnsiString& field_names, const Variant& values, TFindOptions options) override;
  Variant ReadByValues(const AnsiString& key_fields, const Variant& key_values,
                       const AnsiString& result_fields) override;

 protected:
  // Reads the parameters' names of stored forms of earlier versions.
  void DefineProperties(TFiler& filer) override;
  // Runs after the cursor was set before the first / after the last record.
  virtual void CursorMovedToEnd() {}
  // Moves the cursor by offset, passing over the records OnCursorMove skips;
  // true when an end was reached.
  virtual bool MoveCursor(int offset);

 private:
  class BlobStream;
  // One value of a record buffer, under its lower-case field name.
  struct FieldValue {
    AnsiString name;
    std::unique_ptr<TvpUniValue> value;
  };
  using Values = std::vector<FieldValue>;

  // key (8), position flag (1), unused (7), the buffer's values (pointer).
  static constexpr int kFlagOffset = sizeof(TodsKey);
  static constexpr int kValuesOffset = 16;
  static constexpr int kHeaderSize = kValuesOffset + static_cast<int>(sizeof(Values*));

  static TodsKey KeyOf(TRecordBuffer buffer);
  static Values& ValuesOf(TRecordBuffer buffer);
  static TvpUniValue* ValueNamed(TRecordBuffer buffer, const AnsiString& name);
  static TodsKey KeyOfBookmark(const TBookmark& bookmark, bool& given);
  void RecreateProvider();
  int RecordIndexOfKey(TodsKey key) const;
  int ProviderIndex() const;
  int Count() const { return provider_ ? provider_->RecordCount() : 0; }
  void ReadValues(TRecordBuffer buffer, int index);
  void WriteBack(TRecordBuffer buffer);
  void CheckWritable(TField* field) const;
  void NoteModified(const AnsiString& name);
  // The first record whose key fields match; -1 when none.
  int Search(const AnsiString& key_fields, const Variant& key_values, TFindOptions options);
  TFieldType DefType(const AnsiString& name) const;

  TComponentRef<TComponent> comp_ref_{[this] { SetSource(nullptr); }};
  TPersistent* source_ = nullptr;
  AnsiString path_;
  std::unique_ptr<TodsObjectParams> params_;
  std::unique_ptr<TodsDataProvider> provider_;
  AnsiString field_list_;
  std::vector<AnsiString> modified_;
  int cursor_ = -1;
  bool read_only_ = false;
  bool use_edit_buffer_ = true;
  bool changed_ = false;
  bool posting_ = false;
  bool destroying_ = false;
  const TMemoryStream* blob_written_ = nullptr;
};

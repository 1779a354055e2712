// TDbf: the table component. A back end of the data-set framework
// (toolkit/db/db.h) over one table file: it opens and closes the file, lays
// out the record buffers, fetches records in the cursor's order with deleted
// records and the filter applied, reads and writes fields through the codec of
// TDbfFile and translates text between the table's code page and the ANSI one.
//
// Record buffer: a 9-byte header, the record image as the file holds it
// (deletion flag first), then the framework's calculated-field area:
//   0  int32  bookmark: the physical record number (-1 when a fetch found none)
//   4  uint8  position (TBufferPosition)
//   5  int32  sequence number in the cursor's order
// Bookmarks are the 4 bytes of the physical record number. Values travel in
// the framework's field layout for both flags of the native variants; a
// caller that asks for the native layout explicitly gets it converted.
//
// Order: physical order through TDbfCursor, or the key order of an index
// tag through TIndexCursor (IndexName). The index files are owned by the
// table file; the component keeps the index-name list (tag names of the
// production ".mdx" and names of separate index files) with raw pointers.
//
// Blob fields: one memory stream per field (TDbfBlobStream) holds the memo
// of the record in view; writes stay in it until the record is posted.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_idxfile.h"
#include "toolkit/db/db.h"

class TDbf;
class TDbfBlobStream;
class TDbfParser;
class TMemoryStream;
class TVirtualCursor;
class TIndexFile;
class TDataSource;

// Makes a detail table follow its master: whenever the master's record
// changes, the detail's current index is restricted to the keys equal to the
// value of MasterFields (an expression over the master's fields) on it.
class TDbfMasterLink : public TDataLink {
  KIV7_PERSISTENT(TDbfMasterLink)

 public:
  explicit TDbfMasterLink(TDbf* detail);
  ~TDbfMasterLink() override;
  const AnsiString& FieldNames() const { return field_names_; }
  // A different text compiles again (when active).
  void SetFieldNames(const AnsiString& value);
  // The expression is compiled against the master's table.
  bool Valid() const { return valid_; }
  // The value of the expression on the master's active record as a key of
  // index_file's current tag (KeyLength() bytes); empty when there is none.
  std::vector<uint8_t> MasterKey(TIndexFile& index_file);

 protected:
  void ActivationNotice() override;
  void BrowseModeNotice() override;
  void LayoutNotice() override;
  void RecordNotice(TField* field) override;

 private:
  TDbf* detail_;
  std::unique_ptr<TDbfParser> parser_;
  AnsiString field_names_;
  bool valid_ = false;
};

// One index the table opens with itself: a tag name or an index file name
// with extension (IndexFile), its key expression (SortField) and options.
class TDbfIndexDef : public TCollectionItem {
  KIV7_PERSISTENT(TDbfIndexDef)

 public:
  explicit TDbfIndexDef(TCollection* collection);
  const AnsiString& IndexFile() const { return index_file_; }
  // Trimmed and upper-cased.
  void SetIndexFile(const AnsiString& value);
  const AnsiString& SortField() const { return sort_field_; }
  // Trimmed and upper-cased.
  void SetSortField(const AnsiString& value);
  TIndexOptions Options() const { return options_; }
  void SetOptions(TIndexOptions value) { options_ = value; }
  // Read from a production-index tag (dropped again when the table closes).
  bool FromFile() const { return from_file_; }
  void SetFromFile(bool value) { from_file_ = value; }
  AnsiString DisplayName() const override { return index_file_; }
  void Assign(const TPersistent* source) override;

 private:
  AnsiString index_file_;
  AnsiString sort_field_;
  TIndexOptions options_;
  bool from_file_ = false;
};

class TDbfIndexDefs : public TOwnedCollection {
  KIV7_PERSISTENT(TDbfIndexDefs)

 public:
  explicit TDbfIndexDefs(TPersistent* owner);
  TDbfIndexDef* Items(int index) const { return static_cast<TDbfIndexDef*>(TCollection::Items(index)); }
  TDbfIndexDef* Add() { return static_cast<TDbfIndexDef*>(TCollection::Add()); }
  // By IndexFile (exact comparison with the stored upper-case text); nullptr when none.
  TDbfIndexDef* GetIndexByName(const AnsiString& name) const;
  // By SortField, both sides trimmed and upper-cased; nullptr when none.
  TDbfIndexDef* GetIndexByField(const AnsiString& field) const;
};

// How a missing table is treated at open: omAutoCreate and omTemporary create it.
enum TDbfOpenMode { omNormal, omAutoCreate, omTemporary };
// Where the table lives: in a file, or in a memory stream the component keeps.
enum TDbfStorage { stoMemory, stoFile };
// What OnLanguageWarning may answer for a table of a code page the system
// cannot translate: leave it untranslated (and read-only), read it as OEM
// text, as ANSI text, or in the process default code page.
enum TDbfLanguageAction { laNoTranslation, laUseOem, laUseAnsi, laUseDefault };
// How text is translated between the table and the program.
enum TDbfTranslationMode { tmNone, tmAnsi, tmOem, tmInstalled };

// Asked before a missing table is created at open; false leaves the set open and empty.
using TBeforeAutoCreateEvent = std::function<void(TDbf* sender, bool& do_create)>;
using TLanguageWarningEvent = std::function<void(TDbf* sender, TDbfLanguageAction& action)>;
// Translates source into destination (to_oem: towards the table); returns the
// length of destination, -1 for "as long as destination is".
using TTranslateEvent = std::function<int(TDbf* sender, const AnsiString& source, AnsiString& destination, bool to_oem)>;

// The folder a relative FilePath is taken from: by default the folder of the
// running executable. The routine can be replaced (tests do); the previous
// one is returned.
using TDbfBasePathRoutine = std::string (*)();
TDbfBasePathRoutine SetDbfBasePathRoutine(TDbfBasePathRoutine routine);
// The default base folder, with a trailing separator.
std::string DbfDefaultBasePath();

class TDbf : public TDataSet {
  KIV7_PERSISTENT(TDbf)

 public:
  explicit TDbf(TComponent* owner);
  ~TDbf() override;

  // ---- published properties

  TDateTimeHandling DateTimeHandling() const { return date_time_handling_; }
  void SetDateTimeHandling(TDateTimeHandling value) { date_time_handling_ = value; }
  // Open without sharing (takes effect at the next open).
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value) { exclusive_ = value; }
  // The folder of the table as given, with a trailing separator when not empty.
  const std::string& FilePath() const { return file_path_; }
  // Requires a closed table. Also sets FilePathFull.
  void SetFilePath(const std::string& value);
  // The folder as an absolute path with a trailing separator.
  const std::string& FilePathFull() const { return file_path_full_; }
  void SetFilePathFull(const std::string& value) { SetFilePath(value); }
  // The key expression of the current index ('' in physical order).
  AnsiString IndexFieldNames() const;
  // Selects the index whose key expression is value; '' when none has it.
  void SetIndexFieldNames(const AnsiString& value);
  // The current index; '' is physical order.
  const AnsiString& IndexName() const { return index_name_; }
  // Stores the name; on an open table selects the index, or physical order
  // (and '') when the table has no index of that name. Never raises for an
  // unknown name.
  void SetIndexName(const AnsiString& value);
  TDbfOpenMode OpenMode() const { return open_mode_; }
  void SetOpenMode(TDbfOpenMode value) { open_mode_ = value; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  // Deliver records marked deleted too.
  bool ShowDeleted() const { return show_deleted_; }
  // Stores; an open table resynchronises.
  void SetShowDeleted(bool value);
  TDbfStorage Storage() const { return storage_; }
  // Requires a closed table.
  void SetStorage(TDbfStorage value);
  // Whether FieldDefs are streamed with the form; set whenever they change.
  bool StoreDefs() const { return store_defs_; }
  void SetStoreDefs(bool value) { store_defs_ = value; }
  // The file name of the table (without folder).
  const std::string& TableName() const { return table_name_; }
  // Takes the file-name part; a folder part goes to SetFilePath.
  void SetTableName(const std::string& value);
  // 3, 4, 7 or 25; after an open the level of the file.
  int TableLevel() const { return table_level_; }
  // Requires a closed table; other values than 3, 4, 7 and 25 are ignored.
  void SetTableLevel(int value);
  // Whether 'N' fields without decimals come back as float fields.
  bool UseFloatFields() const { return use_float_fields_; }
  void SetUseFloatFields(bool value) { use_float_fields_ = value; }
  // The engine's version text; writes are ignored.
  AnsiString Version() const;
  void SetVersion(const AnsiString&) {}

  // The index definitions opened with the table (both names are the same collection).
  TDbfIndexDefs& Indexes() { return *index_defs_; }
  TDbfIndexDefs& IndexDefs() { return *index_defs_; }
  void SetIndexes(const TDbfIndexDefs& value) { index_defs_->Assign(&value); }

  // The master-detail link: the master's data source ("Circular datalinks are
  // not allowed" when it leads back to this table) and the key expression.
  TDataSource* MasterSource() const;
  void SetMasterSource(TDataSource* value);
  const AnsiString& MasterFields() const;
  void SetMasterFields(const AnsiString& value);
  TDataSource* GetMasterSource() override { return MasterSource(); }

  // ---- events
  TBeforeAutoCreateEvent BeforeAutoCreate;
  TDbfLocaleErrorEvent OnLocaleError;
  TLanguageWarningEvent OnLanguageWarning;
  TDbfIndexMissingEvent OnIndexMissing;
  TTranslateEvent OnTranslate;
  // Published and stored for forms that set them; the engine never calls them.
  std::function<void(TDbf* sender)> OnCompareRecord;
  std::function<void(TDbf* sender)> OnCopyDateTimeAsString;

  // ---- operations

  // Writes a new empty table from FieldDefs (derived from the persistent
  // fields when empty) at TableLevel; the table stays closed. Requires a
  // closed table. On failure a file this call made is deleted again.
  void CreateTableFile();
  // A name without extension (a tag) stays; a file name is resolved against FilePathFull.
  std::string CompleteIndexName(const std::string& name) const;
  // Creates (or re-creates) an index tag or index file on the open table and
  // fills it from all records. An error while the tag is built is swallowed:
  // the tag is then absent.
  void CreateIndexTag(const AnsiString& name, const AnsiString& expression, TIndexOptions options);
  // Deletes a tag (the ".mdx" goes with its last tag) or a separate index
  // file. An unknown name changes nothing.
  void RemoveIndex(const AnsiString& name);
  void DeleteIndex(const AnsiString& name) { RemoveIndex(name); }
  // Closes a separate index file of that name (never the production file).
  void ReleaseIndexFile(const AnsiString& name);
  // Empties and refills every index file of the table.
  void RebuildAllIndexes();
  // Rewrites the table without its deleted records; the index files are rebuilt.
  void PackRecords();
  // Takes back the deletion mark of the current record (one marked deleted
  // is current only with ShowDeleted), its keys returning to the primary
  // tags, and writes it. A record not marked is written as it is.
  void RecallRecord();
  // The records the set delivers (deleted ones and the filter applied); the
  // position stays where it was.
  int CountVisibleRecords();
  // Index search on the current tag: value as a key (a text is the program's
  // and is translated into the table's code page first); nearest finds the
  // first key not below it. Resynchronises the set on the record found.
  bool SearchKeyValue(const Variant& value, bool nearest);
  // The same with a key as the tag stores it (in the table's code page).
  bool SearchKey(const std::vector<uint8_t>& key, TSearchKeyType type);
  // The index file of the current order (nullptr in physical order).
  TIndexFile* CurrentIndexFile() const { return index_file_; }
  // The names of the index-name list, in order.
  std::vector<AnsiString> IndexNames() const;

  // ---- state
  // The table file while open (nullptr when closed or opened without a table).
  TDbfFile* DbfFile() const { return dbf_file_.get(); }
  TDbfTranslationMode TranslationMode() const { return translation_mode_; }
  // The code page the table's text is translated from.
  unsigned TranslationCodePage() const { return translation_code_page_; }
  // The language id of the table last opened (0: none yet).
  uint8_t LanguageId() const { return language_id_; }
  // The physical number of the record under the cursor (0 when none).
  int64_t PhysicalRecNo() const;

  // ---- back-end contract
  void OpenBackend() override;
  void CloseBackend() override;
  bool HasCursor() override { return cursor_ != nullptr; }
  void PrepareFieldDefs() override;
  void LoadFieldDefs() override;
  void RefreshDefs() override;
  void FieldDefsChanged() override;
  int RecordBufferSize() override;
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
  bool FetchFieldValueNative(TField* field, void* destination, bool native) override;
  void PutFieldValue(TField* field, const void* source) override;
  void PutFieldValueNative(TField* field, const void* source, bool native) override;
  int TranslateText(const AnsiString& source, AnsiString& destination, bool to_oem) override;
  int CursorRecordCount() override;
  int GetSequenceNo() override;
  void SetSequenceNo(int n) override;
  bool QueryCanModify() override;
  void ChangeFilter(const AnsiString& value) override;
  void ChangeFiltered(bool value) override;
  bool SeekFilteredRecord(bool restart, bool forward) override;
  // Editing hooks: lock and reread for edit, write or append at post, unlock
  // at cancel, mark deleted.
  void PrepareEdit() override;
  void StoreRecord() override;
  void AbandonEdit() override;
  void RemoveRecord() override;
  void AppendBuffer(TRecordBuffer buffer, bool append) override;
  // A view of the field's memo for the active record; valid while the table
  // stays open. Writes reach the memo file when the record is posted.
  std::unique_ptr<TStream> OpenBlobStream(TField* field, TBlobAccessMode mode) override;
  bool FindByValues(const AnsiString& field_names, const Variant& values, TFindOptions options) override;

 private:
  static constexpr int kHeaderSize = 9;

  TPageFileMode OpenFileMode() const;
  std::unique_ptr<TDbfFile> NewTableFile(TPageFileMode mode);
  void FillFieldDefs(TDbfFile& file);
  void DetermineTranslation();
  void CompileFilter(const AnsiString& text);
  bool PassesFilter(TRecordBuffer buffer);
  TFetchResult Fetch(TRecordBuffer buffer, TFetchDirection direction, bool internal);
  void ResyncAfterChange();
  const TDbfFieldDef& DataFieldDef(const TField* field) const;
  void PositionCursorOn(int64_t physical);
  // Index management on the open table.
  // Index names compare as the files store them: tag names by IndexTagName,
  // file names without regard to ASCII case.
  bool SameIndexName(const AnsiString& a, const AnsiString& b) const;
  TDbfIndexDef* FindIndexDef(const AnsiString& name) const;
  void OpenIndex(const AnsiString& name, const AnsiString& expression, TIndexOptions options, bool create);
  // The cursor leaves the index it walked for physical order, on the same record.
  void ReturnToPhysicalOrder();
  // The table file's notice that an index file leaves or lost a tag.
  void IndexChanged(TIndexFile* file, bool leaving);
  void OpenProductionIndex();
  // Adds a definition for every tag of the file that IndexDefs does not name.
  void ImportProductionTags(TIndexFile* production);
  // Master-detail (called by the link).
  friend class TDbfMasterLink;
  void MasterChanged();
  void MasterDisabled();
  void ApplyMasterRange();
  // Blob streams.
  class BlobHandle;
  void ResetBlobs();
  void WriteModifiedBlobs(uint8_t* image);

  // Published state.
  TDateTimeHandling date_time_handling_ = dtBDETimeStamp;
  bool exclusive_ = false;
  std::string file_path_;
  std::string file_path_full_;
  AnsiString index_name_;
  TDbfOpenMode open_mode_ = omNormal;
  bool read_only_ = false;
  bool show_deleted_ = false;
  TDbfStorage storage_ = stoFile;
  bool store_defs_ = false;
  std::string table_name_;
  int table_level_ = 4;
  bool use_float_fields_ = true;

  // Open state.
  std::unique_ptr<TDbfFile> dbf_file_;
  std::unique_ptr<TVirtualCursor> cursor_;
  std::unique_ptr<TDbfIndexDefs> index_defs_;
  TIndexFile* index_file_ = nullptr;
  std::vector<std::unique_ptr<TDbfBlobStream>> blobs_;
  std::unique_ptr<TDbfMasterLink> master_link_;
  bool destroying_ = false;
  std::unique_ptr<TDbfParser> parser_;
  std::unique_ptr<TMemoryStream> memory_stream_;
  std::vector<uint8_t> work_buffer_;
  uint8_t language_id_ = 0;
  TDbfTranslationMode translation_mode_ = tmAnsi;
  unsigned translation_code_page_ = 0;
  int64_t edit_locked_ = -1;
  bool finding_ = false;
  bool loading_defs_ = false;
  // Set once OpenBackend got through: only then does closing store the header.
  bool open_complete_ = false;
};

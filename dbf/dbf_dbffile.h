// TDbfFile: a dBASE or FoxPro table file.
//
// Layout (integers little-endian):
//   0     version byte: low three bits 3 = dBase III/IV, 4 = dBase 7,
//         2 or 5 = FoxPro (and the whole bytes 0x30, 0x31); bit 0x80 (with
//         0x08 in dBase IV/7) marks a memo file, 0xF5 is FoxPro with memo
//   1-3   date of last update: year - 1900, month, day
//   4     record count (32 bits)
//   8     header size = offset of the first record (16 bits)
//   10    record size = 1 + the field lengths (16 bits)
//   28    production index flag: a multi-tag index <table>.mdx belongs to it
//   29    language driver id (0 in dBase III; not used by dBase 7)
//   32    dBase 7 only: 32-byte language driver name, then 4 zero bytes
//   32/68 field descriptors of 32 bytes (48 in dBase 7), then 0x0D;
//         FoxPro counts 263 zero bytes after it into the header; dBase 7 may
//         keep a field properties block there (defaults, minimum, maximum)
//   header size: records, byte 0 ' ' live or '*' deleted, then the fields
//   after the last record: end-of-file mark 0x1A
//
// Descriptor (32 bytes): name 11 bytes, letter at 11, FoxPro field offset at
// 12, length at 16, decimals at 17 ('C' keeps its length's high byte in the
// decimals), zeros. dBase 7 (48 bytes): name 32 bytes, letter at 32, length
// 33, decimals 34, next autoincrement value at 42.
//
// Everything read is checked before use: a file whose header, descriptors or
// field lengths do not agree raises "Invalid DBF file.".
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "dbf/dbf_fields.h"
#include "dbf/dbf_memo.h"
#include "dbf/dbf_pgfile.h"
#include "dbf/dbf_str.h"
#include "toolkit/core/sets.h"

// How '@' time stamps are stored: as the TDateTime itself or as a BDE stamp.
enum TDateTimeHandling { dtDateTime, dtBDETimeStamp };

// Asked when a table names a production index file that is missing: leave
// delete_link true to drop the link from the header, false to abandon the open.
using TDbfIndexMissingEvent = std::function<void(bool& delete_link)>;

// One field descriptor of the header, in the layout of the table's level
// (see the descriptor layout above). Decode and encode are exact inverses for
// the values the level can hold.
struct TDbfFieldDescriptor {
  // The stored name, as written (the reader upper-cases it).
  AnsiString Name;
  // The type letter, as written.
  char Letter = '\0';
  // The field's length; a 'C' field up to 65535 (its high byte in the decimals byte).
  int Length = 0;
  // The decimals; always 0 for 'C'.
  int Decimals = 0;
  // FoxPro only: the field's offset in the record (0 for the other 32-byte levels).
  uint32_t RecordOffset = 0;
  // dBase 7 only: the next autoincrement value.
  uint32_t AutoIncNext = 0;

  // Where the next autoincrement value lies in a dBase 7 descriptor.
  static constexpr int kAutoIncNextAt = 42;
  // The bytes of a descriptor at the level: 48 for dBase 7, 32 otherwise.
  static int Size(int version);
  // The longest stored name: 31 for dBase 7, 10 otherwise (a zero byte ends it).
  static int NameLength(int version);
  // Reads the Size(version) bytes at d.
  static TDbfFieldDescriptor DecodeFrom(const uint8_t* d, int version);
  // Writes the Size(version) bytes at d (zeros where nothing is kept); a name
  // longer than NameLength(version) is cut.
  void EncodeTo(uint8_t* d, int version) const;
};

// The fixed 32 bytes that begin every table file (see the layout above).
// Decode and encode are exact inverses: the bytes the engine does not use
// are kept as read.
struct TDbfTableHeader {
  static constexpr int kSize = 32;
  // Where the last-update date and the record count lie, for the stores and
  // reads of just those bytes.
  static constexpr int kDateAt = 1;
  static constexpr int kRecordCountAt = 4;
  // The version byte: the level in the low three bits, the memo bits.
  uint8_t Version = 0;
  // The date of the last update: year - 1900, month, day.
  uint8_t Year = 0;
  uint8_t Month = 0;
  uint8_t Day = 0;
  uint32_t RecordCount = 0;
  // The offset of the first record.
  uint16_t HeaderSize = 0;
  // 1 + the field lengths.
  uint16_t RecordSize = 0;
  // Byte 28: 1 when a production index <table>.mdx belongs to the table
  // (FoxPro keeps other flags here).
  uint8_t Flags = 0;
  // The language driver id (0 in dBase III).
  uint8_t LanguageId = 0;
  // Bytes 12-27 and 30-31, unused by the engine.
  std::array<uint8_t, 16> Reserved12{};
  std::array<uint8_t, 2> Reserved30{};

  static TDbfTableHeader DecodeFrom(const uint8_t* d);
  void EncodeTo(uint8_t* d) const;
};

// Options of an index definition (the data-set framework's index options).
enum TIndexOption { ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression, ixNonMaintained };
using TIndexOptions = TSet<TIndexOption>;

// Locale problems found when an MDX file is opened.
enum TLocaleError { leNone = 0, leNoLocale = 1, leLanguageMismatch = 2, leNotInstalled = 3 };
// Asked about a locale problem; solution is preset to 0: 0 marks the file
// unusable, 1 opens it without key maintenance, any other value is the
// collation locale id to use.
using TDbfLocaleErrorEvent = std::function<void(TLocaleError error, uint32_t& solution)>;

// Process-wide defaults of the engine. A leaf service that every table may
// reach until the very end of the process: it holds nothing that needs freeing,
// so no order of shut-down can leave a table reading a freed one.
class TDbfGlobals {
 public:
  TDbfGlobals();
  // The ANSI code page (fixed at 1251).
  unsigned DefaultCodePage() const { return default_code_page_; }
  // The id of the ANSI code page and the configured locale (0xC9 for 1251 and 0x0419).
  uint8_t DefaultLanguageId() const { return default_language_id_; }
  // Code pages of the driver table that the converter can handle.
  bool IsInstalledCodePage(unsigned code_page) const;
  // The machine's name, at most 15 characters (stamped into lock fields).
  std::string_view ComputerName() const { return computer_name_; }
  // Whether 'Y' fields map to ftBCD (else ftCurrency).
  bool CurrencyAsBCD() const { return true; }

 private:
  // A code page of the drivers, and whether the converter has it: unknown
  // until a table first asks.
  struct TInstalled {
    unsigned code_page;
    enum : uint8_t { kUnasked, kYes, kNo } answer;
  };
  unsigned default_code_page_;
  uint8_t default_language_id_;
  mutable std::array<TInstalled, 256> installed_{};
  int installed_count_ = 0;
  mutable std::mutex installed_mutex_;
  char computer_name_[16] = {};
};
static_assert(std::is_trivially_destructible_v<TDbfGlobals>);

// The one process-wide instance, made on first use.
TDbfGlobals& DbfGlobals();

// What the record operations need of an index file: the index files
// implement it. The table visits its index files in the order they were
// opened; each answers for all of its tags.
class TDbfIndexKeys {
 public:
  virtual ~TDbfIndexKeys() = default;
  // The name shown in a key violation.
  virtual AnsiString IndexName() const = 0;
  // True when a primary tag already holds the key of this record image; the
  // holder's record number and the key text are given back.
  virtual bool CheckKeyViolation(const uint8_t* record, int64_t* holder, AnsiString* key) = 0;
  // Key maintenance for record n.
  virtual void InsertRecordKey(int64_t n, const uint8_t* record) = 0;
  virtual void DeleteRecordKey(int64_t n, const uint8_t* record) = 0;
  virtual void UpdateRecordKey(int64_t n, const uint8_t* previous, const uint8_t* record) = 0;
  // Record n is being marked deleted: primary tags drop its key, the others keep it.
  virtual void RemoveDeletedRecordKey(int64_t n, const uint8_t* record) = 0;
  // Record n's deletion mark is taken back: primary tags take its key again
  // (EDbfError when another record holds it there now).
  virtual void RestoreRecalledRecordKey(int64_t n, const uint8_t* record) = 0;
  // Sticky: a write of the index file fell short since the last clear.
  virtual bool IndexWriteError() const = 0;
  virtual void ClearIndexWriteError() = 0;
  // The file's name when it can rebuild all its keys from the table (after a
  // pack has renumbered the records); "" when it cannot, and a pack refuses.
  virtual std::string RekeyFileName() const { return {}; }
  // Empties every tag and inserts the keys of every record again.
  virtual void RekeyAll() {}
  // Walks the file against the table's records: each fault found is added
  // to faults as one line naming the file (keys held nowhere else have
  // nothing to walk).
  virtual void CheckIntegrity(std::vector<std::string>& faults) { (void)faults; }
};

class TIndexFile;
struct TPackFiles;
class TPackMarker;

// One name of a table's index-name list: a tag of the production index or
// a separate index file, with the file that holds it.
struct TDbfIndexName {
  AnsiString name;
  TIndexFile* file;
};

// True when mdx is the production index file of the table file: the
// table's header links one (byte 28; FoxPro tables, whose byte means
// something else, go by the name alone) and the index file's header names
// the table. Only such a file is the table's to
// delete or overwrite; another with its name may be another table's.
bool IsOwnProductionIndex(const std::string& table, const std::string& mdx);

class TDbfFile : public TPagedFile {
 public:
  TDbfFile();
  ~TDbfFile() override;

  // Opens the file and, unless the mode creates it, reads and checks the
  // header, language and field descriptors, and looks for the memo and
  // production index files beside it (any letter case). A pack of the file
  // that stopped half way is finished or undone first.
  void OpenAndReadHeader();
  // Writes a new empty table with these fields into the file opened in a
  // creating mode. Limits (field count, names, header and record size) are
  // checked before anything is written.
  void WriteNewHeader(const TDbfFieldDefs& defs, int memo_block_size);
  // The checks WriteNewHeader makes, for callers that want them before a
  // file is created: 1 to 4095 fields, names non-empty and distinct once
  // upper-cased and cut to the level's length, a letter for every field,
  // header and record within 65535 bytes. Raises EDbfError.
  static void CheckNewTable(const TDbfFieldDefs& defs, int version);
  // Reads the descriptors of the header into FieldDefs().
  void LoadFieldDescriptors();
  // Closes the file and forgets what was read from it.
  void CloseAll();
  // Stamps today's date, stores the header and writes the end-of-file mark.
  void StoreHeader() override;
  // Also sizes the previous-record buffer.
  void SetRecordSize(int size) override;

  // ".fpt" for FoxPro, ".dbt" otherwise.
  std::string MemoExtension() const;
  // True when a field of type 'B', 'G' or 'M' exists.
  bool HasMemoFields() const;
  // dBase 7: the driver name of the header.
  std::string LanguageDriverName() const;
  // The field whose name equals name upper-cased; nullptr when none.
  TDbfFieldDef* FindField(const AnsiString& name) const;

  // Reads one field of a record image into dest in the framework's layout for
  // the requested type (text: NUL-terminated, at most Size()+1 bytes;
  // ftSmallint/ftWord/ftBoolean 2 bytes; ftInteger/ftAutoInc 4; others 8).
  // Returns false when the field is empty (null).
  bool DecodeField(const TDbfFieldDef& field, TFieldType requested, void* dest, const uint8_t* record) const;
  // Writes a value (nullptr = null) into one field of a record image. A value
  // that does not fit raises EDbfError instead of losing digits.
  void EncodeField(const TDbfFieldDef& field, TFieldType requested, uint8_t* record, const void* source) const;

  TDbfFieldDefs& FieldDefs() { return *field_defs_; }
  const TDbfFieldDefs& FieldDefs() const { return *field_defs_; }
  // kDbfVersion...
  int DbfVersion() const { return version_; }
  void SetDbfVersion(int version) { version_ = version; }
  // The TableLevel matching the version (3, 4, 7 or 25).
  int TableLevel() const;
  uint8_t LanguageId() const { return language_id_; }
  void SetLanguageId(uint8_t id) { language_id_ = id; }
  // The code page the file names (0 = none) and the one its text is read in.
  unsigned FileCodePage() const { return file_code_page_; }
  unsigned UseCodePage() const { return use_code_page_; }
  // The record count stored in the header, and a new one (in memory).
  uint32_t HeaderRecordCount() const;
  void SetHeaderRecordCount(uint32_t count);
  // The fixed part of the header as held in memory, and a change of it.
  TDbfTableHeader TableHeader() const { return TDbfTableHeader::DecodeFrom(Header()); }
  void SetTableHeader(const TDbfTableHeader& header) { header.EncodeTo(Header()); }
  // Set when the header gives no sizes or a missing index abandons the open.
  bool OpenAborted() const { return open_aborted_; }
  bool HasLockField() const { return lock_field_offset_ > 0; }
  int LockFieldOffset() const { return lock_field_offset_; }
  int LockFieldLength() const { return lock_field_length_; }
  int LockUserLength() const { return lock_user_length_; }
  bool HasAutoIncField() const { return has_autoinc_; }
  // The previous-record image kept for index key updates.
  uint8_t* PrevBuffer() { return prev_buffer_.data(); }

  bool UseFloatFields() const { return use_float_fields_; }
  void SetUseFloatFields(bool value) { use_float_fields_ = value; }
  TDateTimeHandling DateTimeHandling() const { return date_time_handling_; }
  void SetDateTimeHandling(TDateTimeHandling value) { date_time_handling_ = value; }
  TDbfIndexMissingEvent OnIndexMissing;

  // The memo file beside the table (as found, in any case; the expected name
  // when it is missing) and whether it exists.
  const std::string& MemoFileName() const { return memo_file_name_; }
  bool MemoFileExists() const { return memo_file_exists_; }
  // The production index file found beside the table ("" when none is linked).
  const std::string& ProductionIndexFileName() const { return mdx_file_name_; }

  // ---- Record operations ----

  // A new record image: blanks, binary fields ('+', '@', 'I', 'O') zero,
  // fields with a default value (dBase 7) the default's bytes.
  void InitRecord(uint8_t* record) const;
  // Appends the image as a new record: takes the first record number this
  // process can lock, numbers autoincrement fields, checks and inserts index
  // keys, counts it in the header and writes it. Raises EDbfError on a key
  // violation (nothing written) and EDbfWriteError when a write failed (the
  // record count and the index keys are restored). Returns the record number
  // it took, which the table component makes current.
  int64_t AppendRecord(uint8_t* record);
  // Appends count images (RecordSize() bytes each, one after the other) as
  // new records in their order, under one header lock, with one write of the
  // records and one of the header: other appenders' records come before or
  // after the batch, never inside it. *appended counts the records that
  // landed, also when an error is raised (as AppendRecord raises them). A
  // table with index files or autoincrement fields, or whose slots after
  // the last record another process holds, takes the records one by one.
  void AppendRecords(uint8_t* records, size_t count, size_t* appended);
  // Locks record n without waiting ("Record locked." when another process
  // holds it), reads it into the image and keeps a copy for the key updates;
  // a lock field is stamped and written at once.
  void LockRecordForEdit(int64_t n, uint8_t* record);
  // Writes record n from the image, updating index keys, and unlocks it.
  // Raises EDbfWriteError when the write fell short.
  void UpdateRecord(int64_t n, const uint8_t* record);
  // Record n is being marked deleted: its keys leave the primary tags.
  void RemoveRecordKeys(int64_t n, const uint8_t* record);
  // Record n's deletion mark is being taken back: its keys return to the
  // primary tags.
  void RestoreRecordKeys(int64_t n, const uint8_t* record);
  // Marks the image of record n (read by LockRecordForEdit) deleted, its
  // keys leaving the primary tags, or takes a deletion mark back, its keys
  // returning to them; UpdateRecord then writes it. An image not marked is
  // left as it is by a recall. A recall whose key another record now holds
  // in a primary tag raises EDbfError, the image keeping its mark.
  void SetDeletionMark(int64_t n, uint8_t* record, bool deleted);
  // Numbers the autoincrement fields of a new record (dBase 7).
  void ApplyAutoIncrement(uint8_t* record);
  // Writes the change counter, the time and the computer name into the lock field.
  void StampLockField(uint8_t* record) const;
  // Walks the table, its memo file and every index file added: each fault
  // found (a header count that does not fit the file, a memo reference past
  // the memo file's end, a tag that does not match the records) is added to
  // faults as one line naming the file. Nothing is changed.
  void CheckIntegrity(std::vector<std::string>& faults);
  // Packs the table: rewrites it and its memo file without the records
  // marked deleted. The new files are written completely under free names
  // and only then renamed over the old ones; until then any failure removes
  // them and leaves the table as it was. A marker beside the table names the
  // files while they change, so that the next open finishes or undoes a pack
  // that stopped half way. Needs exclusive access (taken for the time of the
  // pack when the table is shared).
  void RebuildTableFile();

  // Switch the memo file with the table.
  void EnterExclusiveMode() override;
  void LeaveExclusiveMode() override;

  // The memo block number a memo field of the image holds (0 = none).
  int64_t MemoBlock(const TDbfFieldDef& field, const uint8_t* record) const;
  // Puts a memo block number into the field (0 blanks it).
  void SetMemoBlock(const TDbfFieldDef& field, uint8_t* record, int64_t block) const;
  // The memo file: a stand-in reading empty values when the table has memo
  // fields but the file is missing; nullptr without memo fields.
  TMemoFile* MemoFile() const { return memo_file_.get(); }
  // Fills a tag of an index file of the table (every tag when tag is empty,
  // which are emptied first) with the keys of every record, deleted ones
  // too; fresh_tag: the tag was just made and is empty already. The tag
  // selected before is selected again.
  void RekeyIndex(TIndexFile* file, const AnsiString& tag, bool fresh_tag);
  // Empties and refills every index file of the table.
  void RekeyAll();
  // The index-name list: every tag name of the production index and the
  // name of every separate index file, each with its file (owned by the
  // maintained list below). Whoever adds or drops a file keeps it in step;
  // a pack, which reopens the table with its index files, keeps it whole.
  std::vector<TDbfIndexName>& IndexNames() { return index_names_; }
  const std::vector<TDbfIndexName>& IndexNames() const { return index_names_; }
  // The production index while it is open (nullptr otherwise).
  TIndexFile* ProductionIndex() const { return production_index_; }
  void SetProductionIndex(TIndexFile* file) { production_index_ = file; }
  // Whether two index names are the same: tag names as the files store
  // them (cut and upper-cased), file names without regard to case.
  bool SameIndexName(const AnsiString& a, const AnsiString& b) const;
  // The file that holds the index of that name; nullptr when none.
  TIndexFile* FindIndex(const AnsiString& name) const;
  // Takes the name (as SameIndexName compares) out of the index-name list.
  void ForgetIndexName(const AnsiString& name);
  // Whether some name of the list refers to the file; and some name other than name.
  bool NameRefersTo(const TIndexFile* file) const;
  bool NameRefersToOther(const TIndexFile* file, const AnsiString& name) const;
  // Opens the index of that name, making it when create is set: a name
  // with an extension is a separate index file, one without a tag of the
  // production index (made as <table>.mdx when there is none). With create
  // an existing production tag of that name is made anew; without it a
  // production tag still is when its file lacks it. A new tag is filled
  // from every record, on a shared table while it is briefly exclusive, and
  // the table's header then links the production index. A tag that could
  // not be made is simply absent (its name, and a file opened for it, go
  // again); only a failed write is raised, as EDbfWriteError. Returns the
  // file that was to take a new tag, nullptr when none was to be made.
  TIndexFile* OpenIndex(const AnsiString& name, const AnsiString& expression, TIndexOptions options, bool create);
  // The mode the table's user asked for (pmReadOnly for a read-only table,
  // pmMemoryOpen for one in memory): index files open in its open variant
  // (IndexOpenMode). Until set, the file's own mode.
  void SetTableOpenMode(TPageFileMode mode) { table_open_mode_ = mode; }
  // The mode an index file of the table opens in: the memory modes open as
  // pmMemoryCreate, a shared table's files shared, a read-only table's read
  // only, others exclusive; create: the file is to be made.
  TPageFileMode IndexOpenMode(bool create) const;
  // A table in memory: the name its index files take theirs from (they
  // never reach the disk; the extension tells their format).
  void SetMemoryTableName(const std::string& name) { memory_table_name_ = name; }
  // Asked about the locale problems of the index files opened.
  TDbfLocaleErrorEvent OnLocaleError;
  // Told before an index file leaves the table (leaving) and after a tag of
  // one was deleted, so that whoever walks the file lets go of what went.
  std::function<void(TIndexFile* file, bool leaving)> OnIndexChanged;
  // Closes and forgets the separate index file of that name (never the
  // production index); false when there is none.
  bool CloseIndex(const AnsiString& name);
  // Deletes the index of that name: a tag of the production index (the
  // file, and the table's link to it, go with its last tag) or a separate
  // index file. False when there is none. Deleting a tag needs exclusive
  // access (TIndexFile::DeleteTag).
  bool DeleteIndex(const AnsiString& name);
  // Sets or clears the table's production index flag and stores the header.
  void LinkProductionIndex(bool linked);
  // Takes an index file out of both lists (OnIndexChanged told first),
  // closes it and, when asked, deletes it (never a file of a table in memory).
  void DropIndexFile(TIndexFile* file, bool delete_file);
  // Index files the record operations maintain; the table owns them.
  void AddIndexFile(std::unique_ptr<TDbfIndexKeys> index);
  // Takes an index file out of the maintained list and hands it back
  // (nullptr when it is not there).
  std::unique_ptr<TDbfIndexKeys> RemoveIndexFile(const TDbfIndexKeys* index);
  // The production index file created or deleted while open.
  void SetProductionIndexFileName(const std::string& name) { mdx_file_name_ = name; }

 private:
  void ReadLanguage();
  void ReadPropertiesBlock(int block_start);
  void FindCompanionFiles();
  void OpenMemoFile(bool create, int block_size);
  // Takes the keys of an append that failed out of the first keyed indexes
  // and raises the write error; the slot's lock goes as the error leaves.
  [[noreturn]] void UndoAppend(int64_t n, const uint8_t* record, size_t keyed, bool indexes_damaged);
  // Shared mode: rereads the record count and autoincrement counters of the file.
  void ReadSharedCounters();
  // Writes the end-of-file mark after the last record.
  void WriteEndMark();
  // The steps of RebuildTableFile: the checks before anything is made, the
  // free names of the new files (and of the old memo file's second name),
  // the new files written whole and on the disk, what the new header keeps
  // of the old one, the live records copied, and the renames over the old
  // files (the index files then rebuilt).
  void CheckPackable(bool memo) const;
  TPackFiles ChoosePackFiles(bool memo) const;
  void WritePackedFiles(TPackFiles& files, TPackMarker& marker, bool memo);
  void CarryHeaderOver(TDbfFile& fresh) const;
  void CopyLiveRecords(TDbfFile& fresh, bool memo);
  void ReplaceWithPackedFiles(TPackFiles& files, TPackMarker& marker, bool memo);
  // Puts today's date into the header buffer.
  void StampDate();
  // The header store of an append: the date and the raised count.
  void StoreAppendedCount();

  std::unique_ptr<TMemoFile> memo_file_;
  std::vector<std::unique_ptr<TDbfIndexKeys>> index_files_;
  std::vector<TDbfIndexName> index_names_;
  TIndexFile* production_index_ = nullptr;
  // Set while the record operations store counters they have just updated.
  bool storing_counters_ = false;

  std::unique_ptr<TDbfFieldDefs> field_defs_;
  int version_ = kDbfVersionDBase4;
  uint8_t language_id_ = 0;
  unsigned file_code_page_ = 0;
  unsigned use_code_page_ = 0;
  int lock_field_offset_ = 0;
  int lock_field_length_ = 0;
  int lock_user_length_ = 0;
  bool has_autoinc_ = false;
  bool open_aborted_ = false;
  bool use_float_fields_ = true;
  TDateTimeHandling date_time_handling_ = dtBDETimeStamp;
  std::vector<uint8_t> prev_buffer_;
  std::string memo_file_name_;
  bool memo_file_exists_ = false;
  std::string mdx_file_name_;
  TPageFileMode table_open_mode_ = pmNone;
  std::string memory_table_name_;
  // Set while a pack replaces the files: its marker is its own.
  bool packing_ = false;
  // The open finished an interrupted pack: index files added get their keys anew.
  bool rekey_after_pack_ = false;
};

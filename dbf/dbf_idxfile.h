// TIndexFile: the index files of a table. Two formats share one B-tree:
// a single-key file (any extension but ".mdx", NDX below) and a multi-tag
// file (".mdx", MDX) with up to 47 independent trees called tags. The byte
// layouts are described at the top of dbf_idxfile.cpp.
//
// The tree of a tag is walked through one node object per level, linked from
// the root down to a leaf, so the chain always describes one path and the
// leaf's current entry is the index's current position. Keys are kept in the
// table's code page; character keys are compared by the collation of the
// table's language driver (byte order for the default collation), numeric
// keys as doubles (NDX) or as decimal BCD numbers (MDX).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_pgfile.h"
#include "toolkit/core/sets.h"

class TCollationKeyPrefix;
class TDbfParser;
class TIndexFile;
class TStrings;

// Raised for an index file whose bytes cannot be trusted.
extern const char* const STRING_INVALID_INDEX_FILE;
// A key expression whose text does not fit the tag header. Args: length.
extern const char* const STRING_INDEX_EXPRESSION_TEXT_TOO_LONG;
// An index file whose last update was cut short and whose tags no longer
// match the table, opened where they cannot be rebuilt. Args: file name.
extern const char* const STRING_INDEX_UPDATE_CUT_SHORT;

// The collation locale id that means byte order in the table's code page.
inline constexpr uint32_t kDefaultCollationLocale = 0x0A03;

// The installed locale ids: the ones the collation layer knows.
namespace TLCIDList {
bool Contains(uint32_t lcid);
}

// The form in which a tag name is stored and looked up: trimmed, upper-cased
// and cut to the name length of the file's tag entries (10 characters, 32 in
// dBase 7 entries). Names are program text in the ANSI code page, whose upper
// case agrees with the table's code page for every letter both can hold.
AnsiString IndexTagName(std::string_view name, int name_length);
// Tag name lengths of dBase IV tag entries (every new file has them) and of
// dBase 7 entries.
inline constexpr int kTagNameLength = 10;
inline constexpr int kLongTagNameLength = 32;

// The fixed part of an MDX file's header, bytes 0-543 before its tag table
// (layout at the top of dbf_idxfile.cpp). Decode and encode are exact
// inverses: the bytes the engine does not use are kept as read.
struct TMdxFileHeader {
  static constexpr int kSize = 544;
  // The next free page and the update mark, for the reads and writes of
  // just those bytes.
  static constexpr int kNextFreePageAt = 32;
  static constexpr int kUpdateMarkAt = 48;
  // 2; 3 marks dBase 7 tag entries.
  uint8_t Version = 2;
  // Creation date: year - 1900, month, day.
  std::array<uint8_t, 3> Created{};
  // The table's name without extension, at most 15 characters.
  std::string TableName;
  uint16_t PagesPerNode = 2;
  uint16_t NodeBytes = 1024;
  uint8_t Production = 1;
  // Tag slots announced (48).
  uint8_t Slots = 48;
  uint8_t TagEntryLength = 32;
  uint16_t TagCount = 0;
  uint8_t LanguageId = 0;
  uint32_t NextFreePage = 4;
  // Date of the last update.
  std::array<uint8_t, 3> Updated{};
  // The opens whose updates are under way (see TIndexFile's update mark).
  uint8_t UpdateMarks = 0;
  // Byte 529: 1.
  uint8_t TagTableFlag = 1;
  // The bytes as read: the engine writes them back unchanged.
  std::array<uint8_t, kSize> Other{};

  static TMdxFileHeader DecodeFrom(const uint8_t* d);
  void EncodeTo(uint8_t* d) const;
};

// A tag header: an MDX tag's own node, or the header of an NDX file (its
// only tag), bytes 0-255 (layout at the top of dbf_idxfile.cpp). Decode and
// encode are exact inverses: the bytes the engine does not use are kept as
// read.
struct TIndexTagHeader {
  static constexpr int kSize = 256;
  // The longest key expression (a NUL ends it within 220 bytes).
  static constexpr int kMaxExpressionLength = 219;
  uint32_t RootPage = 0;
  // Pages given to the tag (NDX: pages in the file, the next free page).
  uint32_t Pages = 0;
  // 0x08 descending, 0x10 character key, 0x40 unique, 0x60 primary.
  uint8_t Flags = 0;
  // 'C' or 'N'.
  uint8_t KeyType = 0;
  // NDX 0x5800, MDX 0.
  uint16_t Form = 0;
  uint16_t KeyLength = 0;
  uint16_t KeysPerNode = 0;
  // NDX: 1 for numeric keys.
  uint16_t NumericNdx = 0;
  uint16_t EntryLength = 0;
  // 2.
  uint16_t Constant20 = 2;
  // '!' primary, 1 unique, 0 none.
  uint8_t Uniqueness = 0;
  std::string Expression;
  // Byte 246: 1.
  uint8_t Byte246 = 1;
  // The bytes as read: the engine writes them back unchanged.
  std::array<uint8_t, kSize> Other{};

  static TIndexTagHeader DecodeFrom(const uint8_t* d);
  void EncodeTo(uint8_t* d) const;
};

// What a tag tells about itself (the table copies it into its index definitions).
struct TIndexTagDef {
  AnsiString IndexFile;  // the tag name (NDX: the file name)
  AnsiString SortField;  // the key expression
  TIndexOptions Options;
  bool FromFile = true;
};

// The in-memory view of one B-tree node with a current entry. The two
// formats differ only in where the numbers and the key sit in an entry.
class TIndexPage {
 public:
  TIndexPage(TIndexFile* file, TIndexPage* parent);
  virtual ~TIndexPage();
  TIndexPage(const TIndexPage&) = delete;
  TIndexPage& operator=(const TIndexPage&) = delete;

  // ---- Layout (the format's) ----
  virtual int NodeHeaderSize() const = 0;
  virtual int KeyOffset() const = 0;
  // The lower page an entry points to (interior nodes).
  virtual int64_t LowerPageAt(int i) const = 0;
  // The record number of an entry (leaves).
  virtual int64_t RecNoAt(int i) const = 0;
  // Whether the node buffer holds an interior node.
  virtual bool DetectInterior() const = 0;
  // Sets both numbers of an entry (a layout with one number keeps the one
  // that fits the node kind).
  virtual void SetNumbersAt(int i, int64_t recno, int64_t lower) = 0;

  uint8_t* EntryAt(int i);
  const uint8_t* EntryAt(int i) const;
  const uint8_t* KeyAt(int i) const { return EntryAt(i) + KeyOffset(); }
  int KeyCount() const;
  void SetKeyCount(int n);

  // Reads node n (after writing the current one back when modified); n <= 0
  // or beyond the file leaves an empty leaf. Raises EDbfError for a node
  // that cannot be trusted.
  void LoadPage(int64_t n);
  // Makes this an empty node at page n held only in memory (new nodes).
  void InitEmpty(int64_t n, bool interior);
  // Positions on entry i (sentinels below/above the valid range); an
  // interior node loads the child for it.
  void GotoEntry(int i);
  // The lowest / highest valid entry here and on every level below.
  void GotoFirst();
  void GotoLast();
  // One entry on at the leaf level, through the parents; false when the
  // root runs out (the position is then after the last / before the first).
  bool GotoNext();
  bool GotoPrior();
  // Binary search for the file's search key; see dbf_idxfile_search.cpp.
  int FindInPage(int64_t mode);
  // Node edits at the current position (the file's nodes change only here).
  void InsertEntry(int64_t recno, const uint8_t* key, int64_t lower);
  void SetEntry(int64_t recno, const uint8_t* key, int64_t lower);
  void DeleteEntry();
  void Split();
  // Counted node locks (page locks in shared mode; the last unlock writes).
  void Lock();
  void Unlock();
  // Writes the node when modified and its page is real; down the chain.
  void WriteBack();
  void WriteChain();

  int64_t PageNo() const { return page_no_; }
  int EntryNo() const { return entry_no_; }
  int LowIndex() const { return low_; }
  int HighIndex() const { return high_; }
  bool IsInterior() const { return interior_; }
  bool Modified() const { return modified_; }
  TIndexPage* Child() const { return child_.get(); }
  TIndexPage* Parent() const { return parent_; }
  // True when the position is a real entry (not a sentinel).
  bool OnEntry() const { return entry_no_ >= low_ && entry_no_ <= high_; }
  // The last entry slot in use: count - 1 for leaves, count for interior nodes.
  int LastSlot() const;
  // Recomputes the valid bounds (the range marks of this level included).
  void SetBounds();

  // Range marks of this level (-1: none).
  int64_t low_mark_page = -1, high_mark_page = -1;
  int low_mark_entry = 0, high_mark_entry = 0;

 protected:
  TIndexFile* file_;
  std::vector<uint8_t> buffer_;

 private:
  friend class TIndexFile;
  int Depth() const;
  void MakeChild();
  void StoreKeyUp(const uint8_t* key);

  TIndexPage* parent_;
  std::unique_ptr<TIndexPage> child_;
  int64_t page_no_ = -1;
  int entry_no_ = 0;
  int low_ = 0, high_ = -1;
  bool interior_ = false;
  bool modified_ = false;
  int lock_count_ = 0;
};

class TMdxPage : public TIndexPage {
 public:
  using TIndexPage::TIndexPage;
  int NodeHeaderSize() const override { return 8; }
  int KeyOffset() const override { return 4; }
  int64_t LowerPageAt(int i) const override;
  int64_t RecNoAt(int i) const override;
  bool DetectInterior() const override;
  void SetNumbersAt(int i, int64_t recno, int64_t lower) override;
};

class TNdxPage : public TIndexPage {
 public:
  using TIndexPage::TIndexPage;
  int NodeHeaderSize() const override { return 4; }
  int KeyOffset() const override { return 8; }
  int64_t LowerPageAt(int i) const override;
  int64_t RecNoAt(int i) const override;
  bool DetectInterior() const override;
  void SetNumbersAt(int i, int64_t recno, int64_t lower) override;
};

// Search types of TIndexFile::SearchKey.
enum TSearchKeyType { stEqual = 0, stGreaterEqual = 1, stGreater = 2 };

class TIndexFile : public TPagedFile, public TDbfIndexKeys {
 public:
  // The table the index belongs to; borrowed, it outlives the index file.
  explicit TIndexFile(TDbfFile* dbf_file);
  ~TIndexFile() override;

  // ---- Files and tags ----

  // Opens FileName() in Mode(): the extension chooses the format. Creating
  // modes write a new empty file; otherwise the collation is chosen and the
  // tags are read. Raises EDbfError for a file that cannot be trusted.
  // Unusable() afterwards tells that a locale problem made it unusable.
  void OpenIndexFile();
  // Flushes and closes.
  void CloseIndexFile();
  // Empties every tag (keeping their definitions) and cuts the file.
  void ClearIndex();
  // Creates a tag (NDX: the file's key) on the table; see dbf_idxfile.cpp.
  void CreateTag(const AnsiString& expression, const AnsiString& name, TIndexOptions options);
  // Removes a tag (MDX) or closes and deletes the file (NDX).
  void DeleteTag(const AnsiString& name);
  // Makes a tag current; an unknown name or position changes nothing.
  // Answers whether the tag exists.
  bool SelectTag(int position);
  bool SelectTag(const AnsiString& name);
  int TagCount() const;
  AnsiString TagName(int position) const;
  int SelectedTag() const { return selected_; }
  // The position of a tag by its name as stored (IndexTagName); -1 when none.
  int FindTag(std::string_view name) const;
  // The longest tag name the file's tag entries hold.
  int TagNameLength() const;
  AnsiString StoredTagName(std::string_view name) const { return IndexTagName(name, TagNameLength()); }
  // Adds every MDX tag name with this file as its object.
  void ListTagNames(TStrings& list);
  // The definition of a tag; false when the name is unknown.
  bool ReadIndexDef(const AnsiString& name, TIndexTagDef* def);
  // Gives the current tag a new empty root (the table re-keys it next).
  void ClearTag();
  // Inserts the keys of every record of the table (deleted ones too) into
  // the maintained tags, then flushes. The table's next step after CreateTag.
  void AddRecordsFromTable();

  // Maintain every tag (true) or only the current one.
  void SetUpdateMode(bool all_tags);
  // Key maintenance can be switched off (a locale problem answered with 1).
  bool Maintained() const { return maintained_; }
  bool Unusable() const { return unusable_; }
  TDbfLocaleErrorEvent OnLocaleError;

  void StoreHeader() override;
  void FlushPages() override;
  // True when the open found the mark of an update cut short (the tags were
  // then rebuilt, or found to match the table).
  bool FoundUpdateCutShort() const { return found_cut_short_; }

  // ---- The current tag ----

  bool IsMdx() const { return mdx_; }
  // 'C' or 'N' (0 without a tag).
  char KeyType() const;
  int KeyLength() const;
  int EntryLength() const;
  int MaxKeys() const;
  bool Descending() const;
  // 0 none, 1 unique, 2 primary.
  int UniqueMode() const;
  AnsiString Expression() const;
  uint32_t CollationLocale() const { return locale_; }
  unsigned CollationCodePage() const { return collation_code_page_; }

  // Builds the key of a record image into key (KeyLength() bytes).
  void BuildKey(const uint8_t* record, uint8_t* key);
  // The current tag's comparison of two keys (negated when descending).
  int CompareKeys(const uint8_t* a, const uint8_t* b) const;
  // The key converted to the collation code page.
  std::string ToCollation(const uint8_t* key) const;
  // Chooses the collation by locale id.
  void SetLocale(uint32_t locale);
  // A number or a text (cut or blank-padded) as a key of the current tag.
  void NumberToKey(double value, uint8_t* key) const;
  void TextToKey(const AnsiString& text, uint8_t* key) const;

  // ---- Search and position ----

  // The key searched for (KeyLength() bytes); FindKey and the node searches use it.
  void SetSearchKey(const uint8_t* key, int64_t recno);
  // Searches the current tag for the search key; see dbf_idxfile_search.cpp. 0 = equal key found.
  int FindKey(bool insert);
  // Positions on the entry of record n (false when it is not found).
  bool GotoRecord(int64_t n);
  // Searches a key (table code page); restores the position when not found.
  bool SearchKey(const uint8_t* key, TSearchKeyType type);
  // First / last entry; one entry on / back (false at the ends).
  void First();
  void Last();
  bool Next();
  bool Prev();
  // Before the first / after the last entry.
  void GotoBof();
  void GotoEof();
  // The record of the current entry; -1 outside the valid range.
  int64_t CurrentRecNo() const;
  // The key of the current entry, nullptr outside the valid range.
  const uint8_t* CurrentKey() const;
  // Ranges for the master-detail link (keys in the table's code page).
  void SetRange(const uint8_t* low, const uint8_t* high);
  void CancelRange();
  bool RangeActive() const;
  // Position estimates for scroll bars.
  int64_t SequenceNumber() const;
  void GotoSequenceNumber(int64_t n);
  int64_t EstimatedCount();
  // Shared mode: rereads the tag header and root and applies the range;
  // with keep_position, finds the current entry again.
  void Resync(bool keep_position);

  // ---- Key maintenance ----

  bool InsertKey(int64_t recno, const uint8_t* key);
  bool DeleteKey(int64_t recno, const uint8_t* key);

  // TDbfIndexKeys
  AnsiString IndexName() const override;
  bool CheckKeyViolation(const uint8_t* record, int64_t* holder, AnsiString* key) override;
  void InsertRecordKey(int64_t n, const uint8_t* record) override;
  void DeleteRecordKey(int64_t n, const uint8_t* record) override;
  void UpdateRecordKey(int64_t n, const uint8_t* previous, const uint8_t* record) override;
  void RemoveDeletedRecordKey(int64_t n, const uint8_t* record) override;
  void RestoreRecalledRecordKey(int64_t n, const uint8_t* record) override;
  bool IndexWriteError() const override { return WriteError(); }
  void ClearIndexWriteError() override { ClearWriteError(); }
  std::string RekeyFileName() const override { return Active() && !unusable_ ? FileName() : std::string(); }
  void RekeyAll() override;
  // Walks every tag by the file's bytes: nodes inside the file and reached
  // once, counts within the node, leaves at one depth, separators equal to
  // the last key of their child, keys in order; then every entry against
  // the table's records (a key for each record that should have one, the
  // record's own key, no missing or deleted record named).
  void CheckIntegrity(std::vector<std::string>& faults) override;

  TDbfFile* DbfFile() const { return dbf_file_; }
  // The root of the current tag's chain (nullptr without tags).
  TIndexPage* Root() const;
  // The leaf of the current chain.
  TIndexPage* Leaf() const;

  // The most memory a build of tags takes for the nodes it holds or the
  // keys it sorts; past it they go to the disk.
  static constexpr size_t kBuildMemoryBytes = size_t(64) << 20;

  // Implementation details follow. Clients should ignore.
  // Raised for data read from the file that cannot be trusted.
  [[noreturn]] void Corrupt() const;
  // A broken invariant of the node code.
  [[noreturn]] static void AssertFailed(const char* what);
  int NodeSize() const { return mdx_ ? 1024 : 512; }
  int PagesPerNode() const { return mdx_ ? 2 : 1; }
  // The first page a node may live on.
  int64_t FirstNodePage() const { return mdx_ ? 4 : 1; }
  // Whether a node at page n lies wholly inside the file; the second form
  // takes a size asked for once by a caller checking many pages.
  bool NodeInFile(int64_t n);
  // The file's size in bytes, nodes held by a build included.
  int64_t NodeFileSize();
  bool NodeInFile(int64_t n, int64_t file_size) const;
  int64_t AllocatePage();
  // Marks the pages before next as taken (a build that handed them out itself).
  void ReservePagesUpTo(int64_t next);
  void NewRoot();
  const uint8_t* SearchKeyBytes() const { return search_key_.data(); }
  int64_t SearchRecNo() const { return search_recno_; }
  // Node I/O of the page objects.
  bool ReadNode(int64_t page, uint8_t* buffer);
  void WriteNode(int64_t page, const uint8_t* buffer);
  // Writes the nodes a build holds in memory.
  void WriteCachedNodes();
  // Writes length bytes of whole nodes from page on.
  void WriteNodes(int64_t page, const uint8_t* bytes, int64_t length);
  // Interior nodes kept in memory after they were read (a file held
  // exclusively); a write of their pages forgets them (length -1: all).
  void KeepUpperNode(int64_t page, const uint8_t* bytes);
  void ForgetUpperNodes(int64_t page, int64_t length);
  // Whether a build holds node n in memory.
  bool NodeCached(int64_t page) const;
  void LockNode(int64_t page);
  void UnlockNode(int64_t page);

 private:
  struct Tag;
  struct NodeCache;
  class TBuildCache;
  class TSortedTreeWriter;

  Tag* Current() const;
  uint8_t* TagHeader() const;
  uint8_t* TagEntry(int position);
  const uint8_t* TagEntry(int position) const;
  int TagEntryLength() const;
  void ReadTags(bool load_roots);
  void LoadTag(Tag& tag, bool load_root);
  // Open: a file whose mark tells of an update cut short gets its tags
  // rebuilt where the table can be held alone, and is checked otherwise.
  void RecoverCutShortUpdate();
  // ---- The update mark and the undo of a change ----
  // Every change of the keys runs between BeginChange and EndChange. The
  // header carries a mark from before the first write of a change until
  // the flush after its sync (at the latest the close): the keys of a
  // record go in before the record is written, so the tags match the table
  // only once the writer is done. The mark counts the opens whose updates
  // are under way, each of which holds a writer's slot lock meanwhile (a
  // lock a killed process loses): each open takes its own count back after
  // its own sync, and an open that finds more counted than slots held finds
  // an update cut short, whoever else still writes. A
  // shared file's header stays locked during a change, so that nobody
  // reads the tree half changed. A change whose writes fail is undone from
  // the bytes it wrote over, the header included, and its mark stays till
  // the tags are rebuilt.
  class TChange;
  struct Journal;
  void BeginChange();
  void EndChange();
  void Rollback();
  // Counts this open's update in the mark (on) or takes it back (off).
  void SetUpdateMark(bool on);
  // The mark's count as the file holds it, and stores a count, under the
  // header's lock on a shared file.
  template <typename F>
  void ChangeUpdateMark(F&& change);
  int64_t UpdateMarkOffset() const { return mdx_ ? TMdxFileHeader::kUpdateMarkAt : kNdxUpdateMarkAt; }
  // NDX: past the tag header, in the file header's unused bytes.
  static constexpr int64_t kNdxUpdateMarkAt = 500;
  // The writers' slots: one byte lock each, far beyond any page.
  static constexpr int64_t kWriterLockOffset = INT64_C(0x7FFFFFFFFFFFFE00);
  static constexpr int kWriterSlots = 64;
  // How many writers' slots other opens hold.
  int WritersElsewhere() const;
  // The mark's count for a file whose tags are all rebuilt now.
  uint8_t RebuiltMarkCount() const;
  void BeforeWrite(int64_t offset, int64_t length) override;
  // Writes what is modified in memory (nodes, tag headers, header).
  void WriteModified();
  void CompileTag(Tag& tag);
  void ComputeLayout(const TIndexTagHeader& header, bool validate);
  // The MDX file header and the selected tag's header as values.
  TMdxFileHeader FileHeader() const;
  TIndexTagHeader TagHeaderFields() const;
  // The file's next free page (MDX: in the file header; NDX: its tag
  // header's page count), and a new one (in memory).
  uint32_t NextFreePage() const;
  void SetNextFreePage(uint32_t page);
  void SetFileTagCount(int count);
  // The selected tag's root page, and a new one (in memory).
  int64_t RootPage() const;
  void SetRootPage(int64_t page);
  // Ends the selected tag's expression field with a NUL.
  void EndExpression();
  void ChooseCollation();
  void WriteTagHeader(Tag& tag);
  void ReadTagHeader(Tag& tag);
  void MakeRoot(Tag& tag);
  void ReloadRoot();
  int FindKeyMode(int64_t mode, bool insert, bool advance);
  std::u16string Widen(const uint8_t* key) const;
  void ApplyRange();
  std::unique_ptr<TIndexPage> NewPage(TIndexPage* parent);
  bool ConcernedTag(int position) const;
  template <typename F>
  void ForEachTag(F&& f);
  AnsiString KeyText(const uint8_t* key) const;
  void KeepNode(int64_t page, const uint8_t* buffer, bool dirty);
  // Rereads the file header, keeping the entry of a tag not yet committed.
  void ReadFileHeader();
  // Runs change on the file header; a shared file's header is locked and
  // read again first, and unlocked after.
  template <typename F>
  void ChangeFileHeader(F&& change);
  // Adds pages to those the current tag's header says it was given.
  void CountTagPages(int64_t pages);
  // Builds an empty tag from the table's records: the keys sorted, each
  // node written once, full.
  void BuildSortedTag(Tag& tag);
  int CompareCharKeys(const uint8_t* a, const uint8_t* b) const;
  struct TagWalk;
  void WalkForCheck(int64_t page, int depth, TagWalk& walk);
  void CheckTag(int position, std::vector<std::string>& faults);

  TDbfFile* dbf_file_;
  bool mdx_ = true;
  int version_ = 3;
  std::vector<std::unique_ptr<Tag>> tags_;
  int selected_ = -1;
  bool update_all_ = true;
  bool maintained_ = true;
  bool unusable_ = false;
  bool in_delete_path_ = false;
  // The last tag is being created: its entry is in the header in memory, but
  // the tag count there (and so on the disk) leaves it out until its nodes
  // are written.
  bool pending_tag_ = false;
  // Set while ClearIndex writes the file anew.
  bool rewriting_ = false;
  std::unique_ptr<Journal> journal_;
  int change_depth_ = 0;
  // Shared: this process holds the header lock for a change.
  bool header_held_ = false;
  // The writer's slot this open holds while its update is counted in the
  // mark; -1 when none.
  int writer_slot_ = -1;
  bool error_at_begin_ = false;
  // Tags emptied and not yet filled again: the mark stays.
  bool rebuild_pending_ = false;
  // A change failed: the mark stays till the tags are rebuilt.
  bool change_failed_ = false;
  bool found_cut_short_ = false;
  // What the file was before that tag: its next free page and its size.
  uint32_t pending_counter_ = 0;
  int64_t pending_file_size_ = 0;
  // The file's size as last asked (-1: not known); see NodeFileSize.
  int64_t known_size_ = -1;
  // At most 16 MB: every interior node of a tag of a million 100-byte keys.
  static constexpr size_t kUpperNodes = 16384;
  std::unordered_map<int64_t, std::vector<uint8_t>> upper_nodes_;
  // Set while maintenance works on the whole tree, whatever range is set.
  bool ranges_off_ = false;
  uint32_t locale_ = kDefaultCollationLocale;
  unsigned collation_code_page_ = 0;
  unsigned table_code_page_ = 0;
  // UTF-16 of every byte of a single-byte collation code page (empty otherwise).
  std::vector<char16_t> collation_chars_;
  // The key prefixes tag builds sort by in that collation (made at the first build).
  std::unique_ptr<TCollationKeyPrefix> key_prefixes_;
  std::vector<uint8_t> search_key_;
  // The search key in collation characters (text keys in a locale's collation).
  std::u16string search_wide_;
  int64_t search_recno_ = 0;
  std::vector<uint8_t> record_buffer_;
  AnsiString violation_name_;
  // Nodes read and written while the tags are built from the table in an
  // exclusive mode; nullptr otherwise.
  std::unique_ptr<NodeCache> node_cache_;
};

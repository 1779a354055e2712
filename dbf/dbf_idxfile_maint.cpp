// TIndexFile: key maintenance. The node edits (insert, delete, split), the
// update mark and the undo of a change cut short, and the keys of records
// as the table writes them.

#include "dbf/dbf_idxfile.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include "dbf/dbf_idxfile_impl.h"
#include "dbf/dbf_lang.h"
#include "dbf/dbf_packmark.h"
#include "dbf/dbf_parser.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

void TIndexPage::StoreKeyUp(const uint8_t* key) {
  Lock();
  SetEntry(0, key, LowerPageAt(entry_no_));
  Unlock();
}

void TIndexPage::SetEntry(int64_t recno, const uint8_t* key, int64_t lower) {
  const int pos = entry_no_;
  if (pos < 0 || pos > LastSlot()) TIndexFile::AssertFailed("no current entry to store");
  // A parent's separator is always the last key of the child it points to.
  if (pos == LastSlot() && parent_ != nullptr && key != nullptr) parent_->StoreKeyUp(key);
  uint8_t* entry = EntryAt(pos);
  if (key != nullptr)
    std::memcpy(entry + KeyOffset(), key, size_t(file_->KeyLength()));
  else
    entry[KeyOffset()] = 0;
  SetNumbersAt(pos, recno, lower);
  modified_ = true;
}

void TIndexPage::InsertEntry(int64_t recno, const uint8_t* key, int64_t lower) {
  Lock();
  const int count = KeyCount();
  if (file_->MaxKeys() - count - (interior_ ? 1 : 0) <= 0) TIndexFile::AssertFailed("insertion into a full node");
  const int pos = entry_no_;
  const int last = LastSlot();
  if (pos < 0 || pos > last + 1) TIndexFile::AssertFailed("insertion outside the node");
  const size_t length = size_t(file_->EntryLength());
  std::memmove(EntryAt(pos + 1), EntryAt(pos), size_t(last - pos + 1) * length);
  SetKeyCount(count + 1);
  SetBounds();
  entry_no_ = pos;
  SetEntry(recno, key, lower);
  Unlock();
}

void TIndexPage::DeleteEntry() {
  Lock();
  const int pos = entry_no_;
  const int last = LastSlot();
  if (pos < 0 || pos > last) TIndexFile::AssertFailed("no current entry to delete");
  const int count = KeyCount();
  const size_t length = size_t(file_->EntryLength());
  if (pos < last) {
    std::memmove(EntryAt(pos), EntryAt(pos + 1), size_t(last - pos) * length);
  } else if (parent_ != nullptr && last > 0) {
    uint8_t key[kMaxKeyLength];
    std::memcpy(key, KeyAt(pos - 1), size_t(file_->KeyLength()));
    parent_->StoreKeyUp(key);
  }
  const bool emptied = last == 0;
  if (interior_ && emptied) {
    SetNumbersAt(0, 0, 0);
    SetKeyCount(0);
    interior_ = false;
  } else if (interior_) {
    SetNumbersAt(count, 0, 0);
    SetKeyCount(count - 1);
  } else {
    SetNumbersAt(count - 1, 0, 0);
    SetKeyCount(count - 1);
  }
  modified_ = true;
  SetBounds();
  if (entry_no_ > high_) entry_no_ = high_;
  Unlock();
  // Emptied nodes stay in the file; their parent forgets them.
  if (emptied && parent_ != nullptr && parent_->LastSlot() > 0) {
    parent_->DeleteEntry();
    return;
  }
  if (interior_ && OnEntry()) {
    GotoEntry(entry_no_);
    child_->GotoFirst();
  }
}

void TIndexPage::Split() {
  if (parent_ == nullptr) file_->NewRoot();
  TIndexPage* parent = parent_;
  assert(parent->child_.get() == this && "an index node hangs below a node that does not hold it");
  parent->Lock();
  Lock();
  const int a = KeyCount();
  const bool interior = interior_;
  int b = a / 2 + (interior && a % 2 != 0 ? 1 : 0);
  int c = a - b;
  const int pos = entry_no_;
  if (c > b && pos > b) {
    ++b;
    --c;
  } else if (c < b && pos < b) {
    --b;
    ++c;
  }
  if (b < 1 || c < 1) TIndexFile::AssertFailed("split of a node too small");
  const int64_t fresh_page = file_->AllocatePage();
  std::vector<uint8_t> fresh(buffer_.size(), 0);
  const size_t length = size_t(file_->EntryLength());
  const int moved = c + (interior ? 1 : 0);
  std::memcpy(fresh.data() + NodeHeaderSize(), EntryAt(b), size_t(moved) * length);
  PutLE32(fresh.data(), uint32_t(c));
  uint8_t separator[kMaxKeyLength];
  std::memcpy(separator, KeyAt(b - 1), size_t(file_->KeyLength()));
  // The slots that moved out are cleared, so the slot after the last key of
  // a leaf reads as zero.
  std::fill(EntryAt(b), EntryAt(b) + size_t(moved) * length, uint8_t(0));
  SetKeyCount(interior ? b - 1 : b);
  modified_ = true;
  SetBounds();
  const int k = parent->entry_no_;
  parent->InsertEntry(0, separator, page_no_);
  parent->SetNumbersAt(k + 1, 0, fresh_page);
  file_->WriteNode(fresh_page, fresh.data());
  Unlock();
  parent->Unlock();
  if (pos < b) {
    parent->entry_no_ = k;
    GotoEntry(pos);
  } else {
    parent->entry_no_ = k + 1;
    LoadPage(fresh_page);
    GotoEntry(pos - b);
  }
}

// ---- the update mark and the undo of a change ---------------------------------------

class TIndexFile::TChange {
 public:
  explicit TChange(TIndexFile* file) : file_(file) { file_->BeginChange(); }
  ~TChange() {
    try {
      file_->EndChange();
    } catch (...) {
      // A failure of the undo shows through the write error and the mark.
    }
  }
  TChange(const TChange&) = delete;
  TChange& operator=(const TChange&) = delete;

 private:
  TIndexFile* file_;
};

uint8_t TIndexFile::RebuiltMarkCount() const {
  // Every tag is made anew from the table: updates cut short before are
  // gone with the old trees, and only the writers alive still count.
  return uint8_t((writer_slot_ >= 0 ? 1 : 0) + WritersElsewhere());
}

int TIndexFile::WritersElsewhere() const {
  if (!SectionLockedElsewhere(kWriterLockOffset, kWriterSlots)) return 0;
  int writers = 0;
  for (int slot = 0; slot < kWriterSlots; ++slot)
    if (SectionLockedElsewhere(kWriterLockOffset + slot, 1)) ++writers;
  return writers;
}

template <typename F>
void TIndexFile::ChangeUpdateMark(F&& change) {
  // Others count in the mark too: a shared file's byte is read and written
  // under the header's lock (held already during a change, whose header was
  // just read).
  const bool locked = NeedLocks() && !header_held_;
  if (locked && !LockSection(0, kPageSize, true)) throw EDbfError(STRING_RECORD_LOCKED);
  TScopeExit unlock([this, locked] {
    if (locked) UnlockSection(0, kPageSize);
  });
  uint8_t value = Header()[UpdateMarkOffset()];
  if (locked && ReadBlock(&value, 1, UpdateMarkOffset()) != 1) value = 0;
  value = change(value);
  Header()[UpdateMarkOffset()] = value;
  WriteBlock(&value, 1, UpdateMarkOffset());
}

void TIndexFile::SetUpdateMark(bool on) {
  if (Mode() == pmReadOnly || HeaderSize() <= UpdateMarkOffset()) return;
  if (on == (writer_slot_ >= 0)) return;
  if (on) {
    // The slot goes before the count and after it: an open never counts
    // this update without its slot.
    for (int slot = 0; slot < kWriterSlots && writer_slot_ < 0; ++slot)
      if (LockSection(kWriterLockOffset + slot, 1, false)) writer_slot_ = slot;
    if (writer_slot_ < 0) throw EDbfError(STRING_RECORD_LOCKED);
    TScopeFail release([this] {
      UnlockSection(kWriterLockOffset + writer_slot_, 1);
      writer_slot_ = -1;
    });
    ChangeUpdateMark([](uint8_t count) { return uint8_t(std::min(count + 1, 255)); });
    return;
  }
  ChangeUpdateMark([](uint8_t count) { return uint8_t(std::max(count - 1, 0)); });
  UnlockSection(kWriterLockOffset + writer_slot_, 1);
  writer_slot_ = -1;
}

void TIndexFile::BeginChange() {
  if (change_depth_++ > 0) return;
  TScopeFail unwind([this] {
    --change_depth_;
    if (header_held_) UnlockSection(0, kPageSize);
    header_held_ = false;
  });
  if (NeedLocks()) {
    if (!LockSection(0, kPageSize, true)) throw EDbfError(STRING_RECORD_LOCKED);
    header_held_ = true;
    ReadFileHeader();
  } else {
    // What earlier changes left in memory goes first: an undo restores the
    // disk, and the memory is read from it again.
    WriteModified();
    FlushHeader();
  }
  error_at_begin_ = WriteError();
  SetUpdateMark(true);
  journal_ = std::make_unique<Journal>();
  // The size without asking the file, which a change of a record should
  // not cost: a file held alone knows it; a shared one is as long as its
  // header counts, since every change takes its pages under the header's
  // lock, which is held now (pages past the count are orphans nobody
  // points at, and a change never takes them).
  journal_->size = NeedLocks() ? int64_t(NextFreePage()) * kPageSize : NodeFileSize();
}

void TIndexFile::EndChange() {
  if (change_depth_ <= 0 || --change_depth_ > 0) return;
  TScopeExit unlock([this] {
    if (header_held_) UnlockSection(0, kPageSize);
    header_held_ = false;
  });
  if (WriteError() && !error_at_begin_) {
    change_failed_ = true;
    Rollback();
    return;
  }
  journal_.reset();
}

void TIndexFile::BeforeWrite(int64_t offset, int64_t length) {
  if (!journal_) return;
  Journal& journal = *journal_;
  for (int64_t page = offset / kPageSize; page * kPageSize < offset + length; ++page) {
    if (page * kPageSize >= journal.size) break;
    if (journal.pages.contains(page)) continue;
    std::vector<uint8_t> bytes(size_t(kPageSize), 0);
    const int64_t got = ReadBlock(bytes.data(), kPageSize, page * kPageSize);
    bytes.resize(size_t(std::max<int64_t>(got, 0)));
    journal.pages.emplace(page, std::move(bytes));
  }
}

void TIndexFile::Rollback() {
  const std::unique_ptr<Journal> journal = std::move(journal_);
  if (!journal) return;
  for (const auto& [page, bytes] : journal->pages)
    if (!bytes.empty()) WriteBlock(bytes.data(), int64_t(bytes.size()), page * kPageSize);
  if (Stream()->Size() > journal->size && journal->size % kPageSize == 0) SetRecordCount(journal->size / kPageSize);
  known_size_ = -1;
  upper_nodes_.clear();
  // The memory is the disk's again: nothing written since the change began.
  try {
    ReadHeader();
    TScopedValue<int> keep(selected_);
    for (int i = 0; i < TagCount(); ++i) {
      selected_ = i;
      Tag& tag = *tags_[size_t(i)];
      if (mdx_ && !ReadNode(tag.header_page, tag.header.data())) Corrupt();
      tag.header_modified = false;
      ComputeLayout(TagHeaderFields(), true);
      tag.root->child_.reset();
      tag.root->modified_ = false;
      tag.root->page_no_ = -1;
      const int64_t root = RootPage();
      if (root > kMaxPage || (root > 0 && !NodeInFile(root))) Corrupt();
      tag.root->LoadPage(root);
      ApplyRange();
    }
  } catch (const EDbfError&) {
    // The undo could not be read back: the mark stays, and the next open
    // rebuilds the tags or reports them.
  }
}

// ---- maintenance ----------------------------------------------------------------------

bool TIndexFile::InsertKey(int64_t recno, const uint8_t* key) {
  Tag* tag = Current();
  if (tag == nullptr || !maintained_ || (in_delete_path_ && tag->unique != 2)) return false;
  bool inserted = false;
  {
    TScopedValue<bool> ranges_off(ranges_off_, true, false);
    SetSearchKey(key, recno);
    const int result = FindKey(true);
    if (result != 0 || tag->unique == 0) {
      Leaf()->InsertEntry(recno, key, 0);
      inserted = true;
    } else if (tag->unique == 2) {
      throw EDbfError(Format(STRING_KEY_VIOLATION, {IndexName(), CurrentRecNo(), TrimRight(KeyText(key))}));
    }
  }
  ApplyRange();
  return inserted;
}

bool TIndexFile::DeleteKey(int64_t recno, const uint8_t* key) {
  Tag* tag = Current();
  if (tag == nullptr || !maintained_ || (in_delete_path_ && tag->unique != 2)) return false;
  bool deleted = false;
  {
    TScopedValue<bool> ranges_off(ranges_off_, true, false);
    const TIndexPage* leaf = Leaf();
    const bool here = !NeedLocks() && CurrentRecNo() == recno && leaf &&
                      CompareKeys(key, leaf->KeyAt(leaf->EntryNo())) == 0;
    bool found = here;
    if (!found) {
      SetSearchKey(key, recno);
      found = FindKeyMode(recno, false, true) == 0;
    }
    // Only this record's own entry goes: a unique tag may hold the key for
    // another record.
    if (found) {
      Leaf()->DeleteEntry();
      deleted = true;
    }
  }
  ApplyRange();
  return deleted;
}

bool TIndexFile::ConcernedTag(int position) const {
  return !mdx_ || update_all_ || TagCount() < 2 || position == selected_;
}

template <typename F>
void TIndexFile::ForEachTag(F&& f) {
  TScopedValue<int> restore(selected_);
  for (int i = 0; i < TagCount(); ++i) {
    if (!ConcernedTag(i)) continue;
    selected_ = i;
    f(*tags_[size_t(i)]);
  }
}

void TIndexFile::SetUpdateMode(bool all_tags) { update_all_ = all_tags; }

AnsiString TIndexFile::IndexName() const {
  if (mdx_ && !violation_name_.empty()) return violation_name_;
  if (mdx_ && Current() != nullptr) return TagName(selected_);
  return AnsiString(ExtractFileName(FileName()));
}

bool TIndexFile::CheckKeyViolation(const uint8_t* record, int64_t* holder, AnsiString* key_text) {
  if (!maintained_) return false;
  bool found = false;
  const int keep = selected_;
  for (int i = 0; i < TagCount() && !found; ++i) {
    if (tags_[size_t(i)]->unique != 2) continue;
    selected_ = i;
    uint8_t key[kMaxKeyLength];
    BuildKey(record, key);
    ranges_off_ = true;
    SetSearchKey(key, 0);
    const int result = FindKeyMode(-2, false, true);
    ranges_off_ = false;
    if (result == 0 && CurrentRecNo() > 0) {
      found = true;
      *holder = CurrentRecNo();
      *key_text = KeyText(key);
      violation_name_ = mdx_ ? TagName(i) : AnsiString();
    }
    ApplyRange();
  }
  selected_ = keep;
  return found;
}

void TIndexFile::InsertRecordKey(int64_t n, const uint8_t* record) {
  TChange change(this);
  ForEachTag([&](Tag&) {
    uint8_t key[kMaxKeyLength];
    BuildKey(record, key);
    InsertKey(n, key);
  });
}

void TIndexFile::DeleteRecordKey(int64_t n, const uint8_t* record) {
  TChange change(this);
  ForEachTag([&](Tag&) {
    uint8_t key[kMaxKeyLength];
    BuildKey(record, key);
    DeleteKey(n, key);
  });
}

void TIndexFile::UpdateRecordKey(int64_t n, const uint8_t* previous, const uint8_t* record) {
  TChange change(this);
  // A new key that a primary tag already holds for another record is refused
  // before any tag changes, so the record and its keys stay together.
  ForEachTag([&](Tag& tag) {
    if (tag.unique != 2 || !maintained_) return;
    uint8_t old_key[kMaxKeyLength], new_key[kMaxKeyLength];
    BuildKey(previous, old_key);
    BuildKey(record, new_key);
    if (CompareKeys(old_key, new_key) == 0) return;
    ranges_off_ = true;
    SetSearchKey(new_key, 0);
    const int result = FindKeyMode(-2, false, true);
    ranges_off_ = false;
    const int64_t holder = CurrentRecNo();
    ApplyRange();
    if (result == 0 && holder > 0 && holder != n) {
      violation_name_ = mdx_ ? TagName(selected_) : AnsiString();
      throw EDbfError(Format(STRING_KEY_VIOLATION, {IndexName(), holder, TrimRight(KeyText(new_key))}));
    }
  });
  ForEachTag([&](Tag&) {
    uint8_t old_key[kMaxKeyLength], new_key[kMaxKeyLength];
    BuildKey(previous, old_key);
    BuildKey(record, new_key);
    if (CompareKeys(old_key, new_key) == 0) return;
    DeleteKey(n, old_key);
    InsertKey(n, new_key);
  });
}

void TIndexFile::RemoveDeletedRecordKey(int64_t n, const uint8_t* record) {
  TChange change(this);
  TScopedValue<bool> delete_path(in_delete_path_, true, false);
  DeleteRecordKey(n, record);
}

void TIndexFile::RestoreRecalledRecordKey(int64_t n, const uint8_t* record) {
  TChange change(this);
  TScopedValue<bool> delete_path(in_delete_path_, true, false);
  InsertRecordKey(n, record);
}

void TIndexFile::RekeyAll() {
  // The table's field list was read anew (a pack reopens the table): the key
  // expressions must not keep pointing at the old field definitions.
  {
    TScopedValue<int> keep(selected_);
    for (int i = 0; i < TagCount(); ++i) {
      selected_ = i;
      CompileTag(*tags_[size_t(i)]);
    }
  }
  TScopedValue<bool> all(update_all_, true);
  ClearIndex();
  AddRecordsFromTable();
}

// Holds the nodes of a build in memory while it lives (only for a file not
// shared with others) and writes them when it ends.
class TIndexFile::TBuildCache {
 public:
  explicit TBuildCache(TIndexFile* file) : file_(file) {
    if (!file->Active() || file->NeedLocks() || file->node_cache_) return;
    file->node_cache_ = std::make_unique<NodeCache>();
    file->node_cache_->file_size = file->node_cache_->disk_size = file->Stream()->Size();
    owner_ = true;
  }
  ~TBuildCache() {
    if (!owner_) return;
    try {
      file_->WriteCachedNodes();
    } catch (...) {
      // Writes report through the file's write error, not by throwing.
    }
    file_->node_cache_.reset();
  }
  TBuildCache(const TBuildCache&) = delete;
  TBuildCache& operator=(const TBuildCache&) = delete;

 private:
  TIndexFile* file_;
  bool owner_ = false;
};

void TIndexFile::AddRecordsFromTable() {
  if (dbf_file_ == nullptr || Current() == nullptr) return;
  // Tags that are empty are built from their sorted keys, each node written
  // once; keys go into tags that hold some already one by one. A shared
  // file is built so only while its table is held exclusively: nobody else
  // then changes the file, and the new pages are still taken under the
  // header's lock.
  const bool alone = !NeedLocks() || (dbf_file_ != nullptr && !dbf_file_->NeedLocks());
  bool all_empty = alone && maintained_ && Stream() != nullptr && !in_delete_path_;
  ForEachTag([&](Tag& tag) {
    all_empty = all_empty && tag.root && !tag.root->IsInterior() && tag.root->KeyCount() == 0;
  });
  if (all_empty) {
    ForEachTag([&](Tag& tag) { BuildSortedTag(tag); });
    rebuild_pending_ = false;
    FlushPages();
    return;
  }
  TBuildCache cache(this);
  const int64_t record_size = dbf_file_->RecordSize();
  const int64_t count = dbf_file_->RecordCount();
  // A table nobody else writes is read many records at a time; a shared
  // one a record at a time, as its locking rules want.
  const int64_t batch =
      record_size <= 0 ? 1 : dbf_file_->NeedLocks() ? 1 : std::max<int64_t>(1, (int64_t(1) << 16) / record_size);
  std::vector<uint8_t> records(size_t(std::max<int64_t>(record_size, 1) * batch));
  for (int64_t first = 1; first <= count; first += batch) {
    const int64_t want = std::min(batch, count - first + 1);
    const int64_t got = (batch == 1 ? dbf_file_->ReadRecordAt(first, records.data())
                                    : dbf_file_->ReadBlock(records.data(), want * record_size,
                                                           dbf_file_->RecordOffset(first))) /
                        std::max<int64_t>(record_size, 1);
    for (int64_t i = 0; i < got; ++i) {
      const uint8_t* record = records.data() + i * record_size;
      const int64_t n = first + i;
      // Deleted records keep their keys in ordinary and unique tags only.
      ForEachTag([&](Tag& tag) {
        if (record[0] == '*' && tag.unique == 2) return;
        uint8_t key[kMaxKeyLength];
        BuildKey(record, key);
        InsertKey(n, key);
      });
    }
    if (got < want) break;
  }
  rebuild_pending_ = false;
  FlushPages();
}

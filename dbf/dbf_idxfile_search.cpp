// TIndexFile: search and position. The binary search of a node, the
// search of a tag for a key, the walk over its entries, ranges and the
// position estimates of scroll bars.

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

// Binary search for the file's search key between the lowest valid entry
// and the end. mode -3 finds the place after all equal keys, any other mode
// the first equal key (a record-number search then steps over equal keys in
// TIndexFile). An interior node positions and loads the child without going
// further down; a leaf answers the comparison with the entry it stops on
// (1 when it stops after its last entry).
int TIndexPage::FindInPage(int64_t mode) {
  int low = low_;
  int high = interior_ ? high_ : high_ + 1;
  const uint8_t* search = file_->SearchKeyBytes();
  while (low < high) {
    const int mid = low + (high - low) / 2;
    const int c = file_->CompareKeys(search, KeyAt(mid));
    if (c < 0 || (c == 0 && mode != -3))
      high = mid;
    else
      low = mid + 1;
  }
  if (interior_) {
    entry_no_ = low;
    if (OnEntry()) {
      MakeChild();
      child_->LoadPage(LowerPageAt(low));
    }
    return 0;
  }
  entry_no_ = low;
  if (!OnEntry()) {
    entry_no_ = std::max(low, high_ + 1);
    return 1;
  }
  return file_->CompareKeys(search, KeyAt(low));
}

// ---- search and position ------------------------------------------------------------

void TIndexFile::SetSearchKey(const uint8_t* key, int64_t recno) {
  search_key_.assign(key, key + KeyLength());
  search_key_.resize(size_t(kMaxKeyLength), 0);
  search_recno_ = recno;
  search_wide_.clear();
  if (KeyType() == 'C' && !collation_chars_.empty())
    for (int i = 0; i < KeyLength(); ++i) search_wide_.push_back(collation_chars_[key[i]]);
}

int TIndexFile::FindKey(bool insert) {
  int64_t mode = search_recno_ > 0 ? search_recno_ : -2;
  if (insert) mode = UniqueMode() != 0 ? -2 : -3;
  return FindKeyMode(mode, insert, true);
}

// Searches down the tree. Inserting splits every full node on the way, so
// the leaf always has room and a split never needs to split its parent. A
// record-number search steps right over equal keys, across leaves, until it
// meets that record. Searches that stop after a leaf's last entry move on
// to the next leaf.
int TIndexFile::FindKeyMode(int64_t mode, bool insert, bool advance) {
  Tag* tag = Current();
  if (tag == nullptr) return 1;
  if (NeedLocks()) ReloadRoot();
  TIndexPage* node = tag->root.get();
  if (node->page_no_ <= 0) return 1;
  int result = 1;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    result = node->FindInPage(mode);
    if (insert && MaxKeys() - node->KeyCount() - (node->IsInterior() ? 1 : 0) <= 0) {
      node->Split();
      if (node->IsInterior() && node->OnEntry()) node->GotoEntry(node->EntryNo());
    }
    if (!node->IsInterior()) break;
    if (!node->OnEntry()) return 1;
    node = node->Child();
  }
  if (node->IsInterior()) Corrupt();
  if (insert || !advance) return result;
  if (!node->OnEntry()) {
    if (!node->GotoNext()) return 1;
    node = Leaf();
    result = CompareKeys(search_key_.data(), node->KeyAt(node->EntryNo()));
  }
  if (mode > 0) {
    for (;;) {
      node = Leaf();
      if (node->IsInterior() || !node->OnEntry()) return 1;
      const int c = CompareKeys(search_key_.data(), node->KeyAt(node->EntryNo()));
      if (c != 0) return c;
      if (node->RecNoAt(node->EntryNo()) == mode) return 0;
      if (!node->GotoNext()) return 1;
    }
  }
  return result;
}

int64_t TIndexFile::CurrentRecNo() const {
  const TIndexPage* leaf = Leaf();
  if (leaf == nullptr || leaf->IsInterior() || !leaf->OnEntry()) return -1;
  return leaf->RecNoAt(leaf->EntryNo());
}

const uint8_t* TIndexFile::CurrentKey() const {
  const TIndexPage* leaf = Leaf();
  if (leaf == nullptr || leaf->IsInterior() || !leaf->OnEntry()) return nullptr;
  return leaf->KeyAt(leaf->EntryNo());
}

void TIndexFile::GotoBof() {
  TIndexPage* root = Root();
  if (root == nullptr) return;
  root->GotoFirst();
  TIndexPage* leaf = Leaf();
  leaf->entry_no_ = leaf->low_ - 1;
}

void TIndexFile::GotoEof() {
  TIndexPage* root = Root();
  if (root == nullptr) return;
  root->GotoLast();
  TIndexPage* leaf = Leaf();
  leaf->entry_no_ = leaf->high_ + 1;
}

void TIndexFile::First() {
  GotoBof();
  Next();
}

void TIndexFile::Last() {
  GotoEof();
  Prev();
}

bool TIndexFile::Next() {
  TIndexPage* leaf = Leaf();
  return leaf != nullptr && leaf->GotoNext();
}

bool TIndexFile::Prev() {
  TIndexPage* leaf = Leaf();
  return leaf != nullptr && leaf->GotoPrior();
}

bool TIndexFile::GotoRecord(int64_t n) {
  if (Current() == nullptr || dbf_file_ == nullptr || n < 1 || !dbf_file_->RecordExists(n)) return false;
  // Our own buffer: the table's previous-record image belongs to an edit
  // that may be under way.
  record_buffer_.assign(size_t(dbf_file_->RecordSize()), 0);
  if (dbf_file_->ReadRecordAt(n, record_buffer_.data()) != dbf_file_->RecordSize()) return false;
  uint8_t key[kMaxKeyLength];
  BuildKey(record_buffer_.data(), key);
  SetSearchKey(key, n);
  return FindKeyMode(n, false, true) == 0;
}

bool TIndexFile::SearchKey(const uint8_t* key, TSearchKeyType type) {
  if (Current() == nullptr) return false;
  const int64_t recno = CurrentRecNo();
  std::vector<uint8_t> current;
  if (const uint8_t* k = CurrentKey()) current.assign(k, k + KeyLength());
  const bool at_eof = recno < 0 && Leaf() != nullptr && Leaf()->EntryNo() > Leaf()->HighIndex();
  SetSearchKey(key, 0);
  const int result = FindKeyMode(type == stGreater ? -3 : -2, false, true);
  const bool on_entry = CurrentRecNo() > 0;
  const bool found = type == stEqual ? on_entry && result == 0 : on_entry;
  if (found) return true;
  if (!current.empty()) {
    SetSearchKey(current.data(), recno);
    FindKeyMode(recno, false, true);
  } else if (at_eof) {
    GotoEof();
  } else {
    GotoBof();
  }
  return false;
}

void TIndexFile::ReloadRoot() {
  Tag* tag = Current();
  if (tag == nullptr) return;
  ReadTagHeader(*tag);
  const int64_t root = RootPage();
  if (root > kMaxPage || (root > 0 && !NodeInFile(root))) Corrupt();
  tag->root->LoadPage(root);
}

void TIndexFile::Resync(bool keep_position) {
  if (!NeedLocks() || Current() == nullptr) return;
  const int64_t recno = CurrentRecNo();
  std::vector<uint8_t> key;
  if (const uint8_t* k = CurrentKey()) key.assign(k, k + KeyLength());
  const TIndexPage* leaf = Leaf();
  const bool at_eof = recno < 0 && leaf != nullptr && leaf->EntryNo() > leaf->HighIndex();
  ReloadRoot();
  ApplyRange();
  if (!keep_position) return;
  if (key.empty()) {
    if (at_eof)
      GotoEof();
    else
      GotoBof();
    return;
  }
  SetSearchKey(key.data(), recno);
  if (FindKeyMode(recno, false, true) == 0) return;
  // The record still holds the key it had in the entry, yet the search for
  // that entry missed it: the keys are not in the order of the table's
  // collation (a file written under another), and going on from wherever
  // the search ended could come back to entries already passed.
  if (dbf_file_ != nullptr && dbf_file_->RecordExists(recno)) {
    record_buffer_.assign(size_t(dbf_file_->RecordSize()), 0);
    if (dbf_file_->ReadRecordAt(recno, record_buffer_.data()) == dbf_file_->RecordSize() &&
        !(record_buffer_[0] == '*' && UniqueMode() == 2)) {
      uint8_t now[kMaxKeyLength];
      BuildKey(record_buffer_.data(), now);
      if (CompareKeys(now, key.data()) == 0 && std::memcmp(now, key.data(), key.size()) == 0) Corrupt();
    }
  }
  if (!GotoRecord(recno)) {
    SetSearchKey(key.data(), 0);
    FindKeyMode(-2, false, true);
  }
}

void TIndexFile::SetRange(const uint8_t* low, const uint8_t* high) {
  Tag* tag = Current();
  if (tag == nullptr) return;
  tag->range = true;
  tag->range_low.assign(low, low + KeyLength());
  tag->range_high.assign(high, high + KeyLength());
  ApplyRange();
}

void TIndexFile::CancelRange() {
  Tag* tag = Current();
  if (tag == nullptr) return;
  tag->range = false;
  for (TIndexPage* p = tag->root.get(); p != nullptr; p = p->Child()) {
    p->low_mark_page = p->high_mark_page = -1;
    p->SetBounds();
  }
}

// Marks, on every level, the page and entry of the first key not below the
// low key and of the last key not above the high key; nodes loaded on a
// marked page narrow their bounds to them.
void TIndexFile::ApplyRange() {
  Tag* tag = Current();
  if (tag == nullptr || !tag->range) return;
  ranges_off_ = true;
  // The bounds of the previous range must not narrow the searches for the new one.
  for (TIndexPage* p = tag->root.get(); p != nullptr; p = p->Child()) {
    p->low_mark_page = p->high_mark_page = -1;
    p->SetBounds();
  }
  SetSearchKey(tag->range_low.data(), 0);
  FindKeyMode(-2, false, false);
  for (TIndexPage* p = tag->root.get(); p != nullptr; p = p->IsInterior() ? p->Child() : nullptr) {
    p->low_mark_page = p->PageNo();
    p->low_mark_entry = p->EntryNo();
  }
  SetSearchKey(tag->range_high.data(), 0);
  FindKeyMode(-3, false, false);
  for (TIndexPage* p = tag->root.get(); p != nullptr; p = p->IsInterior() ? p->Child() : nullptr) {
    p->high_mark_page = p->PageNo();
    p->high_mark_entry = p->IsInterior() ? p->EntryNo() : p->EntryNo() - 1;
  }
  ranges_off_ = false;
  tag->root->SetBounds();
  GotoBof();
}

int64_t TIndexFile::SequenceNumber() const {
  const TIndexPage* leaf = Leaf();
  if (leaf == nullptr) return 0;
  if (leaf->EntryNo() < leaf->LowIndex()) return 0;
  if (leaf->EntryNo() > leaf->HighIndex()) return 0x7FFFFFFF;
  int64_t sum = 1, weight = 1;
  for (const TIndexPage* p = leaf; p != nullptr; p = p->Parent()) {
    sum += int64_t(p->EntryNo()) * weight;
    weight = std::min(kWeightCap, weight * MaxKeys());
  }
  return std::min<int64_t>(sum, 0x7FFFFFFE);
}

int64_t TIndexFile::EstimatedCount() {
  TIndexPage* root = Root();
  if (root == nullptr) return 0;
  int64_t weight = 1;
  for (const TIndexPage* p = Leaf(); p != nullptr && p != root; p = p->Parent())
    weight = std::min(kWeightCap, weight * MaxKeys());
  return std::min<int64_t>(int64_t(root->HighIndex() + 1) * weight, 0x7FFFFFFE);
}

void TIndexFile::GotoSequenceNumber(int64_t n) {
  TIndexPage* root = Root();
  if (root == nullptr) return;
  if (n <= 0) return GotoBof();
  int depth = 0;
  for (const TIndexPage* p = Leaf(); p != nullptr && p != root; p = p->Parent()) ++depth;
  int64_t weight = 1;
  for (int i = 0; i < depth; ++i) weight = std::min(kWeightCap, weight * MaxKeys());
  int64_t rest = n - 1;
  TIndexPage* node = root;
  for (;;) {
    const int64_t wanted = node->LowIndex() + rest / weight;
    rest %= weight;
    if (wanted > node->HighIndex()) {
      node->GotoLast();
      if (!Leaf()->GotoNext()) Last();
      return;
    }
    node->GotoEntry(int(wanted));
    if (!node->IsInterior() || !node->OnEntry()) break;
    node = node->Child();
    weight = std::max<int64_t>(1, weight / std::max(1, MaxKeys()));
  }
  if (CurrentRecNo() < 0) Next();
}

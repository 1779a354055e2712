// TIndexPage: the node codec. A node read into memory, its entries in the
// two layouts, and the walk of the chain of nodes from the root to a leaf.

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

// ---- TIndexPage ---------------------------------------------------------------

TIndexPage::TIndexPage(TIndexFile* file, TIndexPage* parent)
    : file_(file), buffer_(size_t(file->NodeSize()), 0), parent_(parent) {}

TIndexPage::~TIndexPage() {
  // The chain from a root to its leaf: every node is its child's parent.
  assert((!child_ || child_->parent_ == this) && "an index node's child hangs below another node");
}

uint8_t* TIndexPage::EntryAt(int i) {
  return buffer_.data() + NodeHeaderSize() + size_t(i) * size_t(file_->EntryLength());
}
const uint8_t* TIndexPage::EntryAt(int i) const {
  return buffer_.data() + NodeHeaderSize() + size_t(i) * size_t(file_->EntryLength());
}

int TIndexPage::KeyCount() const { return int(GetLE32(buffer_.data())); }
void TIndexPage::SetKeyCount(int n) { PutLE32(buffer_.data(), uint32_t(n)); }
int TIndexPage::LastSlot() const { return interior_ ? KeyCount() : KeyCount() - 1; }

int TIndexPage::Depth() const {
  int depth = 0;
  for (const TIndexPage* p = parent_; p != nullptr; p = p->parent_) ++depth;
  return depth;
}

void TIndexPage::SetBounds() {
  low_ = 0;
  high_ = LastSlot();
  if (file_->RangeActive()) {
    if (page_no_ == low_mark_page) low_ = std::max(low_, low_mark_entry);
    if (page_no_ == high_mark_page) high_ = std::min(high_, high_mark_entry);
  }
}

void TIndexPage::MakeChild() {
  if (!child_) child_ = file_->IsMdx() ? std::unique_ptr<TIndexPage>(new TMdxPage(file_, this))
                                       : std::unique_ptr<TIndexPage>(new TNdxPage(file_, this));
}

void TIndexPage::InitEmpty(int64_t n, bool interior) {
  if (lock_count_ > 0) TIndexFile::AssertFailed("node released while locked");
  WriteBack();
  page_no_ = n;
  std::fill(buffer_.begin(), buffer_.end(), 0);
  interior_ = interior;
  modified_ = true;
  if (interior_) MakeChild();
  SetBounds();
  entry_no_ = low_;
}

void TIndexPage::LoadPage(int64_t n) {
  if (lock_count_ > 0 && n != page_no_) TIndexFile::AssertFailed("node released while locked");
  if (n == page_no_ && n > 0 && !file_->NeedLocks()) {
    // The node in memory is the file's latest state of this page.
    SetBounds();
    entry_no_ = low_;
    return;
  }
  WriteBack();
  page_no_ = n;
  modified_ = false;
  interior_ = false;
  if (n > 0 && n < file_->FirstNodePage()) file_->Corrupt();
  if (n <= 0 || !file_->NodeInFile(n)) {
    // A root allocated but not yet written.
    std::fill(buffer_.begin(), buffer_.end(), 0);
    SetBounds();
    entry_no_ = low_;
    return;
  }
  // A node a build holds was checked when it was first read, or made here.
  const bool checked = file_->NodeCached(n);
  if (!file_->ReadNode(n, buffer_.data())) file_->Corrupt();
  const int64_t count = GetLE32(buffer_.data());
  const int max = file_->MaxKeys();
  if (count > max) file_->Corrupt();
  interior_ = DetectInterior();
  // A node that points back up its own path must not lead the chain down
  // without end, wherever it came from.
  if (interior_ && Depth() + 1 >= kMaxDepth) file_->Corrupt();
  if (checked) {
    if (interior_) MakeChild();
  } else if (interior_) {
    if (count + 1 > max) file_->Corrupt();
    for (int i = 0; i <= int(count); ++i) {
      const int64_t lower = LowerPageAt(i);
      if (lower < file_->FirstNodePage() || lower > kMaxPage || !file_->NodeInFile(lower)) file_->Corrupt();
    }
    // The nodes above the leaves are few and met by every search.
    file_->KeepUpperNode(n, buffer_.data());
    MakeChild();
  } else {
    for (int i = 0; i < int(count); ++i)
      if (RecNoAt(i) <= 0) file_->Corrupt();
  }
  SetBounds();
  entry_no_ = low_;
}

void TIndexPage::GotoEntry(int i) {
  if (i < low_) {
    entry_no_ = low_ - 1;
  } else if (i > high_) {
    entry_no_ = high_ + 1;
  } else {
    entry_no_ = i;
    if (interior_) {
      MakeChild();
      child_->LoadPage(LowerPageAt(i));
    }
  }
}

void TIndexPage::GotoFirst() {
  GotoEntry(low_);
  if (interior_ && OnEntry()) child_->GotoFirst();
}

void TIndexPage::GotoLast() {
  GotoEntry(high_);
  if (interior_ && OnEntry()) child_->GotoLast();
}

bool TIndexPage::GotoNext() {
  // Called on the bottom node of the chain; moves through the parents and
  // skips empty nodes (possible inside a range).
  TIndexPage* bottom = this;
  for (;;) {
    TIndexPage* node = bottom;
    while (node != nullptr && node->entry_no_ >= node->high_) node = node->parent_;
    if (node == nullptr) {
      bottom->entry_no_ = bottom->high_ + 1;
      return false;
    }
    node->GotoEntry(node->entry_no_ + 1);
    while (node->interior_ && node->OnEntry()) {
      node = node->child_.get();
      node->GotoEntry(node->low_);
    }
    if (!node->interior_ && node->OnEntry()) return true;
    bottom = node;
  }
}

bool TIndexPage::GotoPrior() {
  TIndexPage* bottom = this;
  for (;;) {
    TIndexPage* node = bottom;
    while (node != nullptr && node->entry_no_ <= node->low_) node = node->parent_;
    if (node == nullptr) {
      bottom->entry_no_ = bottom->low_ - 1;
      return false;
    }
    node->GotoEntry(node->entry_no_ - 1);
    while (node->interior_ && node->OnEntry()) {
      node = node->child_.get();
      node->GotoEntry(node->high_);
    }
    if (!node->interior_ && node->OnEntry()) return true;
    bottom = node;
  }
}

void TIndexPage::Lock() {
  if (lock_count_++ == 0 && file_->NeedLocks() && page_no_ > 0) file_->LockNode(page_no_);
}

void TIndexPage::Unlock() {
  if (lock_count_ <= 0) TIndexFile::AssertFailed("unlock of a node not locked");
  if (--lock_count_ == 0 && file_->NeedLocks()) {
    WriteBack();
    if (page_no_ > 0) file_->UnlockNode(page_no_);
  }
}

void TIndexPage::WriteBack() {
  if (!modified_ || page_no_ <= 0) return;
  file_->WriteNode(page_no_, buffer_.data());
  modified_ = false;
}

void TIndexPage::WriteChain() {
  for (TIndexPage* p = this; p != nullptr; p = p->child_.get()) p->WriteBack();
}

// ---- layouts -------------------------------------------------------------------

int64_t TMdxPage::LowerPageAt(int i) const { return GetLE32(EntryAt(i)); }
int64_t TMdxPage::RecNoAt(int i) const { return GetLE32(EntryAt(i)); }
bool TMdxPage::DetectInterior() const {
  const int count = KeyCount();
  return count >= 0 && count < file_->MaxKeys() && GetLE32(EntryAt(count)) != 0;
}
void TMdxPage::SetNumbersAt(int i, int64_t recno, int64_t lower) {
  PutLE32(EntryAt(i), uint32_t(IsInterior() ? lower : recno));
}

int64_t TNdxPage::LowerPageAt(int i) const { return GetLE32(EntryAt(i)); }
int64_t TNdxPage::RecNoAt(int i) const { return GetLE32(EntryAt(i) + 4); }
bool TNdxPage::DetectInterior() const { return GetLE32(EntryAt(0)) != 0; }
void TNdxPage::SetNumbersAt(int i, int64_t recno, int64_t lower) {
  PutLE32(EntryAt(i), uint32_t(lower));
  PutLE32(EntryAt(i) + 4, uint32_t(recno));
}

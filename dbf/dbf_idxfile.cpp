// Index files: formats, B-tree nodes, keys and collation.
//
// The file is a sequence of 512-byte pages; page n lives at n * 512 and page
// numbers are the unit of every pointer. All integers are little-endian.
//
// NDX (single key). Page 0 is the header, which is also the only tag header;
// nodes are one page each.
//
// MDX (multi-tag). Pages 0-3 are the header (2048 bytes):
//   0  2 (3 on reading marks dBase 7 tag entries)   1  creation date (y-1900, m, d)
//   4  table name, at most 15 characters + NUL       20 2 (pages per node)  22 1024
//   24 1 (production)  25 48 (slots)  26 tag entry length (32)  28 tags in use
//   31 language id of the table  32 next free page (4 in a new file)
//   44 date of last update  529 1  544 the tag table: entry length bytes per tag
// Tag table entry: 0 page of the tag header, 4 name (11 bytes, upper case,
// NUL-padded; 33 bytes in dBase 7 entries, which shift the rest by 22),
// 15 key format (0x10, 0 for expression tags), 16-18 threads (0), 19 the
// value 2, 20 key type letter. 47 entries of 32 bytes fill the header to
// its end, so a 48th tag never fits although 48 slots are announced.
// Nodes and tag headers are 1024 bytes (2 pages).
//
// Tag header (MDX: its own node; NDX: the file header):
//   0 root page  4 pages allocated for the tag (NDX: pages in the file =
//   next free page)  8 flags: 0x08 descending, 0x10 character key, 0x40
//   unique, 0x60 primary  9 key type 'C'/'N'  10 NDX 0x5800, MDX 0
//   12 key length (<= 100)  14 keys per node  16 1 for NDX numeric keys
//   18 entry length = key length + overhead, rounded up to 4  20 2
//   23 uniqueness: '!' primary, 1 unique, 0 none  24 key expression, NUL-ended
//   (at most 219 characters)  246 1
//
// B-tree node: a 4-byte key count (MDX: then 4 zero bytes), then entries.
//   NDX entry: lower page (0 in leaves), record number, key.
//   MDX entry: one number (record number in leaves, lower page in interior
//   nodes), key.
// Interior nodes hold one pointer more than keys: the trailing pointer sits
// in the number field of slot `count`. A separator key is the last key of
// the subtree its pointer leads to. NDX: a node is interior when slot 0 has
// a lower page. MDX: when count < keys per node and slot `count` has a
// number (leaves keep the slot after their last key zeroed).
//
// Keys: character keys are the expression's text, blank-padded, in the
// table's code page. NDX numeric keys are 8-byte doubles. MDX numeric keys
// are 12-byte decimal numbers: byte 0 = 0x34 + exponent (digits before the
// point), byte 1 = digit bytes * 8 + 1 (0x80 set when negative), bytes 2-10
// two digits per byte, high nibble first, trailing zeros dropped; zero is
// 0x34 0x01 and zeros.
//
// Everything read is checked before use: a header, tag entry, tag header or
// node that does not agree with the layout raises EDbfError "Invalid index
// file.", never an access outside a buffer; the tree depth is bounded so
// that a pointer cycle cannot recurse forever.
#include "dbf/dbf_idxfile.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include "dbf/dbf_lang.h"
#include "dbf/dbf_packmark.h"
#include "dbf/dbf_parser.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

const char* const STRING_INVALID_INDEX_FILE = "Invalid index file.";
const char* const STRING_INDEX_EXPRESSION_TEXT_TOO_LONG = "Index expression too long: %d characters (at most 219).";
const char* const STRING_INDEX_UPDATE_CUT_SHORT =
    "The last update of index file \"%s\" was cut short and its tags do not match the table; open the table "
    "for writing to rebuild them.";

namespace {

constexpr int kPageSize = 512;
constexpr int kMdxHeaderSize = 2048;
constexpr int kNdxHeaderSize = 512;
constexpr int kMaxTags = 47;
constexpr int kMaxKeyLength = 100;
constexpr int kMaxExpressionLength = 219;
// Deeper trees would need more keys than a 32-bit record number can count.
constexpr int kMaxDepth = 32;
constexpr int64_t kMaxPage = 0x7FFFFF00;
constexpr int64_t kMaxUnwrittenPages = 4096;
// Bytes of a text key's collation key a build sorts by: enough to tell
// apart most keys by their first dozen characters or so.
constexpr size_t kCollationPrefixLength = 24;
constexpr int64_t kWeightCap = int64_t(1) << 40;

int RoundUp4(int n) { return (n + 3) & ~3; }

bool IsMultiByteCodePage(unsigned cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 65001; }

// The ANSI code page of a locale (the platform's default-ANSI-code-page
// information), by its primary language.
unsigned LocaleAnsiCodePage(uint32_t lcid) {
  const uint32_t lang = lcid & 0x3FF;
  const uint32_t id = lcid & 0xFFFF;
  switch (lang) {
    case 0x19: case 0x22: case 0x23: case 0x02: case 0x2F: case 0x3F: case 0x44: case 0x50: return 1251;
    case 0x1A: return id == 0x0C1A || id == 0x1C1A ? 1251 : 1250;
    case 0x43: return id == 0x0843 ? 1251 : 1254;
    case 0x2C: return id == 0x082C ? 1251 : 1254;
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x1C: case 0x24: return 1250;
    case 0x08: return 1253;
    case 0x1F: return 1254;
    case 0x0D: return 1255;
    case 0x01: case 0x29: case 0x20: return 1256;
    case 0x25: case 0x26: case 0x27: return 1257;
    case 0x2A: return 1258;
    case 0x1E: return 874;
    case 0x11: return 932;
    case 0x12: return 949;
    case 0x04: return id == 0x0404 || id == 0x0C04 || id == 0x1404 ? 950 : 936;
    case 0x37: return GetACP();  // no ANSI code page of its own
    default: return 1252;
  }
}

// ---- MDX decimal keys -------------------------------------------------------

void BcdZero(uint8_t* key) {
  std::memset(key, 0, 12);
  key[0] = 0x34;
  key[1] = 0x01;
}

// digits: significant decimal digits without trailing zeros (1 to 18).
void BcdFromDigits(uint8_t* key, bool negative, int exponent, std::string_view digits) {
  std::memset(key, 0, 12);
  key[0] = uint8_t(0x34 + exponent);
  const int bytes = int(digits.size() + 1) / 2;
  key[1] = uint8_t(bytes * 8 + 1) | (negative ? 0x80 : 0);
  for (size_t i = 0; i < digits.size(); ++i) {
    const uint8_t d = uint8_t(digits[i] - '0');
    key[2 + i / 2] |= i % 2 == 0 ? uint8_t(d << 4) : d;
  }
}

void StripTrailingZeros(std::string_view* digits) {
  while (digits->size() > 1 && digits->back() == '0') digits->remove_suffix(1);
}

void BcdFromInt(int64_t value, uint8_t* key);

void BcdFromDouble(double value, uint8_t* key) {
  // Values the 8-bit exponent cannot hold: NaN and the tiniest become zero,
  // the largest (and infinities) the largest magnitude the key can show.
  if (std::isnan(value) || value == 0 || std::fabs(value) < 1e-52) return BcdZero(key);
  const bool negative = value < 0;
  if (std::isinf(value) || std::fabs(value) >= 1e203)
    return BcdFromDigits(key, negative, 0xFF - 0x34, std::string(16, '9'));
  // A whole number of at most 15 digits is exact in both forms and gets the
  // same digits without formatting.
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) return BcdFromInt(int64_t(value), key);
  char text[40];
  std::snprintf(text, sizeof text, "%.14e", std::fabs(value));
  char mantissa[15];
  mantissa[0] = text[0];
  std::memcpy(mantissa + 1, text + 2, 14);
  std::string_view digits(mantissa, sizeof mantissa);
  const int exponent = std::atoi(std::strchr(text, 'e') + 1) + 1;
  StripTrailingZeros(&digits);
  if (exponent < -0x34) return BcdZero(key);
  BcdFromDigits(key, negative, exponent, digits);
}

void BcdFromInt(int64_t value, uint8_t* key) {
  if (value == 0) return BcdZero(key);
  const uint64_t magnitude = value < 0 ? uint64_t(0) - uint64_t(value) : uint64_t(value);
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, magnitude).ptr;
  std::string_view digits(text, size_t(end - text));
  // Nine digit bytes hold 18 digits; longer integers go the floating way.
  if (digits.size() > 18) return BcdFromDouble(double(value), key);
  const int exponent = int(digits.size());
  StripTrailingZeros(&digits);
  BcdFromDigits(key, value < 0, exponent, digits);
}

double BcdToDouble(const uint8_t* key) {
  if (key[0] == 0x34 && (key[1] & 0x7F) == 0x01) return 0;
  const int exponent = int(key[0]) - 0x34;
  double value = 0;
  for (int i = 0; i < 18; ++i) {
    const int d = i % 2 == 0 ? key[2 + i / 2] >> 4 : key[2 + i / 2] & 0x0F;
    value += d * std::pow(10.0, exponent - i - 1);
  }
  return key[1] & 0x80 ? -value : value;
}

bool BcdIsZero(const uint8_t* key) { return key[0] == 0x34 && key[1] == 0x01; }

int CompareBcd(const uint8_t* a, const uint8_t* b) {
  const bool neg_a = (a[1] & 0x80) != 0, neg_b = (b[1] & 0x80) != 0;
  if (neg_a != neg_b) return neg_a ? -1 : 1;
  int result = 0;
  const bool zero_a = BcdIsZero(a), zero_b = BcdIsZero(b);
  if (zero_a || zero_b) {
    result = zero_a == zero_b ? 0 : (zero_a ? -1 : 1);
  } else if (a[0] == b[0]) {
    for (int i = 2; i <= 9 && result == 0; ++i)
      if (a[i] != b[i]) result = a[i] < b[i] ? -1 : 1;
  } else {
    result = a[0] < b[0] ? -1 : 1;
  }
  return neg_a ? -result : result;
}

}  // namespace

// ---- TLCIDList --------------------------------------------------------------

bool TLCIDList::Contains(uint32_t lcid) {
  const uint32_t id = lcid & 0xFFFF;
  if ((lcid >> 16) != 0 || id == 0 || id == kLocaleUserDefault || id == kLocaleSystemDefault) return false;
  return std::strcmp(LcidToLocaleName(lcid), "root") != 0;
}

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

// ---- TIndexFile: tags -----------------------------------------------------------

struct TIndexFile::Tag {
  int64_t header_page = 0;      // MDX: page of the tag header node
  std::vector<uint8_t> header;  // MDX: the tag header node (NDX uses the file header)
  bool header_modified = false;
  std::unique_ptr<TDbfParser> parser;
  std::unique_ptr<TIndexPage> root;
  char key_type = 0;
  int key_length = 0, entry_length = 0, max_keys = 0;
  bool descending = false;
  int unique = 0;
  bool range = false;
  std::vector<uint8_t> range_low, range_high;
};

TIndexFile::TIndexFile(TDbfFile* dbf_file) : dbf_file_(dbf_file) {}

TIndexFile::~TIndexFile() {
  try {
    CloseIndexFile();
  } catch (...) {
    // A destructor must not throw; unwritten nodes show at the next open.
  }
}

void TIndexFile::Corrupt() const { throw EDbfError(STRING_INVALID_INDEX_FILE); }

void TIndexFile::AssertFailed(const char* what) {
  throw EDbfError(Format("Assertion failed: %s (Dbf_IdxFile).", {AnsiString(what)}));
}

TIndexFile::Tag* TIndexFile::Current() const {
  return selected_ >= 0 && selected_ < int(tags_.size()) ? tags_[size_t(selected_)].get() : nullptr;
}

uint8_t* TIndexFile::TagHeader() const {
  Tag* tag = Current();
  if (!mdx_) return const_cast<TIndexFile*>(this)->Header();
  return tag ? tag->header.data() : nullptr;
}

int TIndexFile::TagEntryLength() const { return FileHeader().TagEntryLength; }

TMdxFileHeader TIndexFile::FileHeader() const { return TMdxFileHeader::DecodeFrom(Header()); }

TIndexTagHeader TIndexFile::TagHeaderFields() const { return TIndexTagHeader::DecodeFrom(TagHeader()); }

uint32_t TIndexFile::NextFreePage() const {
  // NDX: the file header is its tag's header, whose page count is the next free page.
  return mdx_ ? FileHeader().NextFreePage : TIndexTagHeader::DecodeFrom(Header()).Pages;
}

void TIndexFile::SetNextFreePage(uint32_t page) {
  if (mdx_) {
    TMdxFileHeader h = FileHeader();
    h.NextFreePage = page;
    h.EncodeTo(Header());
  } else {
    TIndexTagHeader h = TIndexTagHeader::DecodeFrom(Header());
    h.Pages = page;
    h.EncodeTo(Header());
  }
}

void TIndexFile::SetFileTagCount(int count) {
  TMdxFileHeader h = FileHeader();
  h.TagCount = uint16_t(count);
  h.EncodeTo(Header());
}

int64_t TIndexFile::RootPage() const { return TagHeaderFields().RootPage; }

void TIndexFile::SetRootPage(int64_t page) {
  TIndexTagHeader h = TagHeaderFields();
  h.RootPage = uint32_t(page);
  h.EncodeTo(TagHeader());
}

void TIndexFile::EndExpression() {
  // The expression field ends within its bytes, whatever the file held.
  TIndexTagHeader h = TagHeaderFields();
  h.Other[24 + TIndexTagHeader::kMaxExpressionLength] = 0;
  h.EncodeTo(TagHeader());
}
int TIndexFile::TagNameLength() const { return version_ == 6 ? kLongTagNameLength : kTagNameLength; }
uint8_t* TIndexFile::TagEntry(int position) { return Header() + 512 + TagEntryLength() * (1 + position); }
const uint8_t* TIndexFile::TagEntry(int position) const {
  return Header() + 512 + TagEntryLength() * (1 + position);
}

TIndexPage* TIndexFile::Root() const {
  Tag* tag = Current();
  return tag ? tag->root.get() : nullptr;
}

TIndexPage* TIndexFile::Leaf() const {
  TIndexPage* node = Root();
  while (node && node->IsInterior() && node->OnEntry() && node->Child()) node = node->Child();
  return node;
}

std::unique_ptr<TIndexPage> TIndexFile::NewPage(TIndexPage* parent) {
  if (mdx_) return std::make_unique<TMdxPage>(this, parent);
  return std::make_unique<TNdxPage>(this, parent);
}

char TIndexFile::KeyType() const { return Current() ? Current()->key_type : 0; }
int TIndexFile::KeyLength() const { return Current() ? Current()->key_length : 0; }
int TIndexFile::EntryLength() const { return Current() ? Current()->entry_length : 0; }
int TIndexFile::MaxKeys() const { return Current() ? Current()->max_keys : 0; }
bool TIndexFile::Descending() const { return Current() && Current()->descending; }
int TIndexFile::UniqueMode() const { return Current() ? Current()->unique : 0; }
bool TIndexFile::RangeActive() const { return !ranges_off_ && Current() && Current()->range; }

AnsiString TIndexFile::Expression() const {
  if (TagHeader() == nullptr) return AnsiString();
  return AnsiString(TagHeaderFields().Expression);
}

int TIndexFile::TagCount() const { return int(tags_.size()); }

AnsiString TIndexFile::TagName(int position) const {
  if (position < 0 || position >= TagCount()) return AnsiString();
  if (!mdx_) return AnsiString(ExtractFileName(FileName()));
  const char* name = reinterpret_cast<const char*>(TagEntry(position) + 4);
  return AnsiString(name, strnlen(name, size_t(TagNameLength())));
}

bool TIndexFile::SelectTag(int position) {
  if (position < 0 || position >= TagCount()) return false;
  selected_ = position;
  return true;
}

AnsiString IndexTagName(std::string_view name, int name_length) {
  return AnsiUpperCase(Trim(name)).substr(0, size_t(std::max(name_length, 0)));
}

int TIndexFile::FindTag(std::string_view name) const {
  const AnsiString wanted = StoredTagName(name);
  // Names another writer stored in lower case are found too.
  for (int i = 0; i < TagCount(); ++i)
    if (StoredTagName(TagName(i)) == wanted) return i;
  return -1;
}

bool TIndexFile::SelectTag(const AnsiString& name) {
  if (!mdx_) return SelectTag(0);
  return SelectTag(FindTag(name));
}

void TIndexFile::ListTagNames(TStrings& list) {
  if (!mdx_) return;
  for (int i = 0; i < TagCount(); ++i) list.AddObject(TagName(i), this);
}

bool TIndexFile::ReadIndexDef(const AnsiString& name, TIndexTagDef* def) {
  const int keep = selected_;
  if (!SelectTag(name)) return false;
  def->IndexFile = mdx_ ? TagName(selected_) : AnsiString(ExtractFileName(FileName()));
  def->SortField = Expression();
  def->Options = TIndexOptions{ixExpression};
  if (Descending()) def->Options.Include(ixDescending);
  if (UniqueMode() == 1) def->Options.Include(ixUnique);
  if (UniqueMode() == 2) def->Options.Include(ixPrimary);
  def->FromFile = true;
  selected_ = keep;
  return true;
}

// ---- header codecs ------------------------------------------------------------------------

TMdxFileHeader TMdxFileHeader::DecodeFrom(const uint8_t* d) {
  TMdxFileHeader h;
  std::memcpy(h.Other.data(), d, kSize);
  h.Version = d[0];
  std::memcpy(h.Created.data(), d + 1, 3);
  h.TableName.assign(reinterpret_cast<const char*>(d + 4), strnlen(reinterpret_cast<const char*>(d + 4), 16));
  h.PagesPerNode = GetLE16(d + 20);
  h.NodeBytes = GetLE16(d + 22);
  h.Production = d[24];
  h.Slots = d[25];
  h.TagEntryLength = d[26];
  h.TagCount = GetLE16(d + 28);
  h.LanguageId = d[31];
  h.NextFreePage = GetLE32(d + kNextFreePageAt);
  std::memcpy(h.Updated.data(), d + 44, 3);
  h.UpdateMarks = d[kUpdateMarkAt];
  h.TagTableFlag = d[529];
  return h;
}

void TMdxFileHeader::EncodeTo(uint8_t* d) const {
  std::memcpy(d, Other.data(), kSize);
  d[0] = Version;
  std::memcpy(d + 1, Created.data(), 3);
  const size_t name = std::min<size_t>(TableName.size(), 15);
  std::memcpy(d + 4, TableName.data(), name);
  d[4 + name] = 0;
  PutLE16(d + 20, PagesPerNode);
  PutLE16(d + 22, NodeBytes);
  d[24] = Production;
  d[25] = Slots;
  d[26] = TagEntryLength;
  PutLE16(d + 28, TagCount);
  d[31] = LanguageId;
  PutLE32(d + kNextFreePageAt, NextFreePage);
  std::memcpy(d + 44, Updated.data(), 3);
  d[kUpdateMarkAt] = UpdateMarks;
  d[529] = TagTableFlag;
}

TIndexTagHeader TIndexTagHeader::DecodeFrom(const uint8_t* d) {
  TIndexTagHeader h;
  std::memcpy(h.Other.data(), d, kSize);
  h.RootPage = GetLE32(d);
  h.Pages = GetLE32(d + 4);
  h.Flags = d[8];
  h.KeyType = d[9];
  h.Form = GetLE16(d + 10);
  h.KeyLength = GetLE16(d + 12);
  h.KeysPerNode = GetLE16(d + 14);
  h.NumericNdx = GetLE16(d + 16);
  h.EntryLength = GetLE16(d + 18);
  h.Constant20 = GetLE16(d + 20);
  h.Uniqueness = d[23];
  h.Expression.assign(reinterpret_cast<const char*>(d + 24),
                      strnlen(reinterpret_cast<const char*>(d + 24), kMaxExpressionLength));
  h.Byte246 = d[246];
  return h;
}

void TIndexTagHeader::EncodeTo(uint8_t* d) const {
  std::memcpy(d, Other.data(), kSize);
  PutLE32(d, RootPage);
  PutLE32(d + 4, Pages);
  d[8] = Flags;
  d[9] = KeyType;
  PutLE16(d + 10, Form);
  PutLE16(d + 12, KeyLength);
  PutLE16(d + 14, KeysPerNode);
  PutLE16(d + 16, NumericNdx);
  PutLE16(d + 18, EntryLength);
  PutLE16(d + 20, Constant20);
  d[23] = Uniqueness;
  const size_t length = std::min<size_t>(Expression.size(), kMaxExpressionLength);
  std::memcpy(d + 24, Expression.data(), length);
  d[24 + length] = 0;
  d[246] = Byte246;
}

// ---- opening -----------------------------------------------------------------------

void TIndexFile::OpenIndexFile() {
  if (Active()) return;
  mdx_ = SameText(ExtractFileExt(FileName()), ".mdx");
  SetVirtualLocks(false);
  SetPageOffsetByHeader(false);
  SetHeaderOffset(0);
  SetRecordSize(kPageSize);
  OpenStream();
  {
    TScopeFail unopened([this] {
      tags_.clear();
      selected_ = -1;
      CloseStream();
    });
    // A shared file is read under its header's lock, which every change
    // holds: the tags are never seen half changed.
    bool shared_read = NeedLocks() && Mode() != pmSharedCreate;
    if (shared_read && !LockSectionShared(0, kPageSize, true)) throw EDbfError(STRING_RECORD_LOCKED);
    const auto unlock = [this, &shared_read] {
      if (shared_read) UnlockSection(0, kPageSize);
      shared_read = false;
    };
    TScopeExit unlock_on_exit(unlock);
    SetHeaderSize(mdx_ ? kMdxHeaderSize : kNdxHeaderSize);
    ReadHeader();
    tags_.clear();
    journal_.reset();
    change_depth_ = 0;
    header_held_ = false;
    writer_slot_ = -1;
    rebuild_pending_ = false;
    change_failed_ = false;
    found_cut_short_ = false;
    pending_tag_ = false;
    known_size_ = -1;
    upper_nodes_.clear();
    selected_ = -1;
    unusable_ = false;
    maintained_ = true;
    table_code_page_ = dbf_file_ ? dbf_file_->UseCodePage() : GetACP();
    const TPageFileMode mode = Mode();
    const bool creating = mode == pmMemoryCreate || mode == pmExclusiveCreate || mode == pmSharedCreate;
    if (creating && (mode != pmMemoryCreate || Stream()->Size() == 0)) {
      // New MDX files always get dBase IV tag entries: the header byte that
      // would announce dBase 7 entries is never written, so anything else
      // would not read back.
      version_ = mdx_ ? 3 : 2;
      ClearIndex();
      ChooseCollation();
      return;
    }
    if (Stream()->Size() < (mdx_ ? kMdxHeaderSize : kNdxHeaderSize)) Corrupt();
    if (mdx_) version_ = FileHeader().Version == 3 ? 6 : 3;
    else version_ = 2;
    ChooseCollation();
    if (unusable_) return;
    // Counts of writers that live are theirs to take back; one more is an
    // update whose writer died.
    found_cut_short_ = Header()[UpdateMarkOffset()] != 0 && Header()[UpdateMarkOffset()] > WritersElsewhere();
    // The nodes of a change cut short are not read before the tags are rebuilt.
    ReadTags(!found_cut_short_);
    if (!tags_.empty()) selected_ = 0;
    unlock();
    if (found_cut_short_) RecoverCutShortUpdate();
  }
}

void TIndexFile::RecoverCutShortUpdate() {
  const bool writable = Mode() != pmReadOnly && maintained_ && dbf_file_ != nullptr;
  if (writable) {
    // Nobody else may write the table while its keys are gathered again.
    TExclusiveMode exclusive(dbf_file_->NeedLocks() ? dbf_file_ : nullptr);
    if (!dbf_file_->NeedLocks()) {
      RekeyAll();
      if (WriteError()) throw EDbfWriteError(STRING_WRITE_INDEX_ERROR);
      return;
    }
  }
  // Kept as it is only when every tag still matches the table.
  {
    TScopedValue<int> keep(selected_);
    for (int i = 0; i < TagCount(); ++i) {
      selected_ = i;
      const int64_t root = RootPage();
      if (root > kMaxPage || (root > 0 && !NodeInFile(root))) Corrupt();
      tags_[size_t(i)]->root->LoadPage(root);
    }
  }
  std::vector<std::string> faults;
  CheckIntegrity(faults);
  if (!faults.empty()) throw EDbfError(Format(STRING_INDEX_UPDATE_CUT_SHORT, {AnsiString(ExtractFileName(FileName()))}));
}

void TIndexFile::CloseIndexFile() {
  if (!Active()) return;
  TScopeExit release([this] {
    tags_.clear();
    writer_slot_ = -1;
    pending_tag_ = false;
    known_size_ = -1;
    upper_nodes_.clear();
    selected_ = -1;
    CloseStream();
  });
  FlushPages();
}

void TIndexFile::ChooseCollation() {
  if (!mdx_) return SetLocale(kDefaultCollationLocale);
  const uint8_t table_id = dbf_file_ ? dbf_file_->LanguageId() : 0;
  const uint8_t index_id = FileHeader().LanguageId;
  TLocaleError error = leNone;
  uint32_t locale = kDefaultCollationLocale;
  if (table_id != 0 && index_id != 0 && table_id != index_id) {
    error = leLanguageMismatch;
  } else {
    const uint8_t id = table_id != 0 ? table_id : index_id;
    if (id != 0) {
      locale = LanguageDriver(id).Locale;
      if (locale == kLangNoLocale)
        error = leNoLocale;
      else if (locale != kDefaultCollationLocale && !TLCIDList::Contains(locale))
        error = leNotInstalled;
    }
  }
  if (error != leNone) {
    uint32_t solution = 0;
    if (OnLocaleError) OnLocaleError(error, solution);
    locale = kDefaultCollationLocale;
    if (solution == 0)
      unusable_ = true;
    else if (solution == 1)
      maintained_ = false;
    else
      locale = solution;
  }
  SetLocale(locale);
}

void TIndexFile::SetLocale(uint32_t locale) {
  locale_ = locale;
  collation_code_page_ = locale == kDefaultCollationLocale ? table_code_page_ : LocaleAnsiCodePage(locale);
  collation_chars_.clear();
  key_prefixes_.reset();
  if (locale == kDefaultCollationLocale || IsMultiByteCodePage(table_code_page_) ||
      IsMultiByteCodePage(collation_code_page_))
    return;
  // Single-byte code pages: every byte's character once, not per comparison.
  try {
    std::vector<char16_t> chars(256);
    for (int b = 0; b < 256; ++b) {
      const char byte = char(b);
      const std::string converted = ConvertCodePage(std::string_view(&byte, 1), table_code_page_, collation_code_page_);
      const std::u16string wide = MultiByteToWide(converted, collation_code_page_);
      chars[size_t(b)] = wide.empty() ? u'?' : wide[0];
    }
    collation_chars_ = std::move(chars);
  } catch (const EConvertError&) {
    // A code page the converter lacks: compare the bytes.
    locale_ = kDefaultCollationLocale;
  }
}

void TIndexFile::ComputeLayout(const TIndexTagHeader& header, bool validate) {
  Tag& tag = *Current();
  const int overhead = mdx_ ? 4 : 8;
  const int room = NodeSize() - (mdx_ ? 8 : 4);
  tag.key_type = char(header.KeyType);
  int key_length = header.KeyLength;
  if (validate) {
    if (tag.key_type != 'C' && tag.key_type != 'N') Corrupt();
    if (key_length > kMaxKeyLength) Corrupt();
    if (tag.key_type == 'N' && key_length != (mdx_ ? 12 : 8)) Corrupt();
  }
  int entry_length = header.EntryLength;
  // A stored entry length that would not fit the key or a node of two keys
  // is recomputed from the key length.
  if (entry_length < key_length + overhead || entry_length > room / 2) entry_length = RoundUp4(key_length + overhead);
  int max_keys = room / entry_length;
  const int stored_max = header.KeysPerNode;
  if (stored_max >= 4 && stored_max < max_keys) max_keys = stored_max;
  tag.key_length = key_length;
  tag.entry_length = entry_length;
  tag.max_keys = max_keys;
  tag.descending = (header.Flags & 0x08) != 0;
  tag.unique = header.Uniqueness == 0x21 ? 2 : (header.Uniqueness != 0 || (header.Flags & 0x40) != 0 ? 1 : 0);
}

void TIndexFile::CompileTag(Tag& tag) {
  tag.parser = std::make_unique<TDbfParser>(dbf_file_);
  const AnsiString expression = Expression();
  try {
    tag.parser->CompileText(expression);
  } catch (const EDbfError&) {
    throw;
  } catch (const Exception&) {
    // A key expression that does not parse: the header is damaged.
    Corrupt();
  }
  const TExprKind kind = tag.parser->GetResultKind();
  const bool text = kind == ekString;
  const bool number = kind == ekInteger || kind == ekLargeInt || kind == ekFloat;
  if ((tag.key_type == 'C' && !text) || (tag.key_type == 'N' && !number)) Corrupt();
}

void TIndexFile::ReadTags(bool load_roots) {
  if (!mdx_) {
    auto tag = std::make_unique<Tag>();
    tags_.push_back(std::move(tag));
    selected_ = 0;
    LoadTag(*tags_.back(), load_roots);
    return;
  }
  const TMdxFileHeader h = FileHeader();
  if (h.PagesPerNode != 2 || h.NodeBytes != 1024) Corrupt();
  const int count = h.TagCount;
  const int length = h.TagEntryLength;
  if (count > kMaxTags || length < (version_ == 6 ? 43 : 21)) Corrupt();
  if (512 + length * (1 + count) > kMdxHeaderSize) Corrupt();
  const int64_t next_free = h.NextFreePage;
  if (next_free < 4 || next_free > kMaxPage) Corrupt();
  for (int i = 0; i < count; ++i) {
    auto tag = std::make_unique<Tag>();
    tag->header_page = GetLE32(TagEntry(i));
    if (tag->header_page < 4 || tag->header_page > kMaxPage || !NodeInFile(tag->header_page)) Corrupt();
    tag->header.assign(1024, 0);
    if (!ReadNode(tag->header_page, tag->header.data())) Corrupt();
    tags_.push_back(std::move(tag));
    selected_ = i;
    LoadTag(*tags_.back(), load_roots);
  }
}

void TIndexFile::LoadTag(Tag& tag, bool load_root) {
  ComputeLayout(TagHeaderFields(), true);
  EndExpression();
  CompileTag(tag);
  tag.root = NewPage(nullptr);
  if (!load_root) return;
  const int64_t root = RootPage();
  // A root outside a file read from disk means the file was cut.
  if (root > kMaxPage || (root > 0 && !NodeInFile(root))) Corrupt();
  tag.root->LoadPage(root);
}

void TIndexFile::ReadTagHeader(Tag& tag) {
  if (mdx_) {
    if (!ReadNode(tag.header_page, tag.header.data())) Corrupt();
  } else {
    ReadHeader();
  }
  const int key_length = tag.key_length;
  ComputeLayout(TagHeaderFields(), true);
  EndExpression();
  // Another process that rebuilt the tag with another key: the compiled
  // expression no longer describes it.
  if (tag.key_length != key_length) Corrupt();
}

void TIndexFile::WriteTagHeader(Tag& tag) {
  if (!mdx_) {
    TPagedFile::StoreHeader();
    return;
  }
  if (tag.header_page > 0) WriteNode(tag.header_page, tag.header.data());
  tag.header_modified = false;
}

void TIndexFile::StoreHeader() {
  TPagedFile::StoreHeader();
  Tag* tag = Current();
  if (!mdx_ || tag == nullptr) return;
  if (NeedLocks())
    WriteTagHeader(*tag);
  else
    tag->header_modified = true;
}

void TIndexFile::WriteModified() {
  for (auto& tag : tags_) {
    if (tag->root) tag->root->WriteChain();
    if (mdx_ && tag->header_modified) WriteTagHeader(*tag);
  }
  // The header points at the nodes: they go first, so that a process stopped
  // in between leaves nodes nobody points at, never a pointer to nothing.
  WriteCachedNodes();
}

void TIndexFile::FlushPages() {
  if (!Active()) return;
  WriteModified();
  if (pending_tag_) {
    // A tag being created joins the tag table only once everything it
    // points at is on the disk; until then the file shows the tags of before.
    const bool in_memory = Mode() == pmMemoryCreate || Mode() == pmMemoryOpen;
    if (WriteError() || (!in_memory && !SyncPath(FileName()))) {
      if (!WriteError()) MarkWriteFailed();
      return;
    }
    SetFileTagCount(TagCount());
    pending_tag_ = false;
    TPagedFile::StoreHeader();
  }
  FlushHeader();
  // This open's count goes once all it covers is on the disk; the counts
  // of others stay theirs.
  if (writer_slot_ < 0 || change_depth_ > 0 || rebuild_pending_ || change_failed_ || WriteError() ||
      Mode() == pmReadOnly)
    return;
  const bool in_memory = Mode() == pmMemoryCreate || Mode() == pmMemoryOpen;
  if (!in_memory && !SyncPath(FileName())) {
    MarkWriteFailed();
    return;
  }
  SetUpdateMark(false);
}

bool TIndexFile::NodeInFile(int64_t n) {
  if (NodeInFile(n, NodeFileSize())) return true;
  if (node_cache_) return false;
  // The size known may be behind the file (another process appended a
  // node): it is asked again before a page counts as missing.
  known_size_ = Stream()->Size();
  return NodeInFile(n, known_size_);
}

// Nodes of a build held in memory. A build inserts its keys one by one, in
// record order, so nearly every key visits another leaf: without the cache
// each key would cost a read and a write of a node and questions about the
// file's size. Nobody else has the file meanwhile (exclusive modes only), so
// what the file will hold is what the cache holds; at the end each node is
// written at its own offset and the file gets the bytes it always got.
struct TIndexFile::NodeCache {
  struct Node {
    std::vector<uint8_t> bytes;
    bool dirty = false;
  };
  // A bound on the memory of a very large build: past it the nodes are
  // written and the cache starts again empty.
  static constexpr size_t kLimitBytes = kBuildMemoryBytes;
  std::unordered_map<int64_t, Node> nodes;  // by page
  size_t bytes = 0;
  int64_t file_size = 0;  // the size the file has once the cache is written
  int64_t disk_size = 0;  // the bytes that are in the file now
};

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

bool TIndexFile::NodeCached(int64_t page) const { return node_cache_ && node_cache_->nodes.contains(page); }

int64_t TIndexFile::NodeFileSize() {
  if (node_cache_) return node_cache_->file_size;
  // Asked once, then kept: the file only grows while it is open (a cut
  // forgets the size), so a node inside the size known is in the file.
  if (known_size_ < 0) known_size_ = Stream()->Size();
  return known_size_;
}

void TIndexFile::WriteCachedNodes() {
  if (!node_cache_) return;
  ForgetUpperNodes(0, -1);
  NodeCache& cache = *node_cache_;
  std::vector<int64_t> pages;
  for (const auto& [page, node] : cache.nodes)
    if (node.dirty) pages.push_back(page);
  std::sort(pages.begin(), pages.end());
  // Nodes on consecutive pages go out in one write.
  const size_t node_size = size_t(NodeSize());
  std::vector<uint8_t> run;
  int64_t run_start = 0;
  const auto write_run = [&] {
    if (run.empty()) return;
    WriteBlock(run.data(), int64_t(run.size()), run_start * kPageSize);
    cache.disk_size = std::max(cache.disk_size, run_start * kPageSize + int64_t(run.size()));
    run.clear();
  };
  for (const int64_t page : pages) {
    if (!run.empty() && page != run_start + int64_t(run.size() / node_size) * PagesPerNode()) write_run();
    if (run.empty()) run_start = page;
    NodeCache::Node& node = cache.nodes[page];
    run.insert(run.end(), node.bytes.begin(), node.bytes.end());
    node.dirty = false;
  }
  write_run();
}

bool TIndexFile::NodeInFile(int64_t n, int64_t file_size) const {
  if (n < 0) return false;
  return (n + PagesPerNode()) * kPageSize <= file_size;
}

bool TIndexFile::ReadNode(int64_t page, uint8_t* buffer) {
  if (!node_cache_) {
    if (const auto kept = upper_nodes_.find(page); kept != upper_nodes_.end()) {
      std::memcpy(buffer, kept->second.data(), kept->second.size());
      return true;
    }
    return ReadBlock(buffer, NodeSize(), page * kPageSize) == NodeSize();
  }
  NodeCache& cache = *node_cache_;
  const size_t size = size_t(NodeSize());
  if (const auto found = cache.nodes.find(page); found != cache.nodes.end()) {
    std::memcpy(buffer, found->second.bytes.data(), size);
    return true;
  }
  const int64_t offset = page * kPageSize;
  if (offset + int64_t(size) > cache.file_size) return ReadBlock(buffer, int64_t(size), offset) == int64_t(size);
  // A page the cache has not written yet reads as the gap it still is.
  const int64_t on_disk = std::clamp<int64_t>(cache.disk_size - offset, 0, int64_t(size));
  if (on_disk > 0 && ReadBlock(buffer, on_disk, offset) != on_disk) return false;
  std::fill(buffer + on_disk, buffer + size, uint8_t(0));
  KeepNode(page, buffer, false);
  return true;
}

void TIndexFile::WriteNode(int64_t page, const uint8_t* buffer) {
  if (!node_cache_) {
    WriteNodes(page, buffer, NodeSize());
    return;
  }
  KeepNode(page, buffer, true);
  node_cache_->file_size = std::max(node_cache_->file_size, page * kPageSize + NodeSize());
}

void TIndexFile::KeepNode(int64_t page, const uint8_t* buffer, bool dirty) {
  NodeCache& cache = *node_cache_;
  const size_t size = size_t(NodeSize());
  if (cache.bytes + size > NodeCache::kLimitBytes && !cache.nodes.contains(page)) {
    WriteCachedNodes();
    cache.nodes.clear();
    cache.bytes = 0;
  }
  NodeCache::Node& node = cache.nodes[page];
  if (node.bytes.empty()) cache.bytes += size;
  node.bytes.assign(buffer, buffer + size);
  node.dirty = node.dirty || dirty;
}

void TIndexFile::LockNode(int64_t page) {
  if (!LockSection(page * kPageSize, NodeSize(), true)) throw EDbfError(STRING_RECORD_LOCKED);
}

void TIndexFile::UnlockNode(int64_t page) { UnlockSection(page * kPageSize, NodeSize()); }

void TIndexFile::ReadFileHeader() {
  if (!pending_tag_ || !mdx_) return ReadHeader();
  uint8_t* entry = TagEntry(TagCount() - 1);
  const std::vector<uint8_t> keep(entry, entry + TagEntryLength());
  ReadHeader();
  std::copy(keep.begin(), keep.end(), TagEntry(TagCount() - 1));
}

template <typename F>
void TIndexFile::ChangeFileHeader(F&& change) {
  // A file being rewritten whole keeps the header it is making: rereading
  // it from the disk would lose the tag entries not written yet.
  const bool locked = NeedLocks() && !rewriting_ && !header_held_;
  if (locked) {
    if (!LockSection(0, kPageSize, true)) throw EDbfError(STRING_RECORD_LOCKED);
    ReadFileHeader();
  }
  TScopeExit unlock([this, locked] {
    if (locked) UnlockSection(0, kPageSize);
  });
  change();
}

void TIndexFile::CountTagPages(int64_t pages) {
  if (!mdx_ || Current() == nullptr) return;
  TIndexTagHeader h = TagHeaderFields();
  h.Pages += uint32_t(pages);
  h.EncodeTo(TagHeader());
  Current()->header_modified = true;
}

int64_t TIndexFile::AllocatePage() {
  int64_t page = 0;
  ChangeFileHeader([&] {
    page = NextFreePage();
    // Never hand out a page the file already holds, whatever the header
    // says: the size is the file's own, not the one known.
    const int64_t size = node_cache_ ? node_cache_->file_size : (known_size_ = Stream()->Size());
    const int64_t in_file = (size + kPageSize - 1) / kPageSize;
    // Pages allocated but not yet written are few; a counter far past the
    // end of the file is damage, and trusting it would grow the file without end.
    if (page > in_file + kMaxUnwrittenPages) Corrupt();
    page = std::max({page, FirstNodePage(), in_file});
    SetNextFreePage(uint32_t(page + PagesPerNode()));
    CountTagPages(PagesPerNode());
    TPagedFile::StoreHeader();
  });
  return page;
}

void TIndexFile::ReservePagesUpTo(int64_t next) {
  ChangeFileHeader([&] {
    const int64_t taken = next - int64_t(NextFreePage());
    if (taken <= 0) return;
    SetNextFreePage(uint32_t(next));
    CountTagPages(taken);
    TPagedFile::StoreHeader();
  });
}

void TIndexFile::NewRoot() {
  Tag& tag = *Current();
  const int64_t page = AllocatePage();
  auto root = NewPage(nullptr);
  root->InitEmpty(page, true);
  root->SetNumbersAt(0, 0, tag.root->PageNo());
  root->SetBounds();
  root->entry_no_ = 0;
  tag.root->parent_ = root.get();
  root->child_ = std::move(tag.root);
  tag.root = std::move(root);
  if (mdx_ && NeedLocks()) LockNode(tag.header_page);
  SetRootPage(page);
  StoreHeader();
  if (mdx_ && NeedLocks()) UnlockNode(tag.header_page);
}

void TIndexFile::MakeRoot(Tag& tag) {
  const int64_t page = AllocatePage();
  if (!tag.root) tag.root = NewPage(nullptr);
  tag.root->child_.reset();
  tag.root->InitEmpty(page, false);
  SetRootPage(page);
  // Other processes reread the root before every search.
  if (NeedLocks()) tag.root->WriteBack();
}

void TIndexFile::ClearTag() {
  Tag* tag = Current();
  if (tag == nullptr) return;
  // Empty till AddRecordsFromTable fills it: an open finds it so.
  rebuild_pending_ = true;
  SetUpdateMark(true);
  tag->range = false;
  MakeRoot(*tag);
  StoreHeader();
}

void TIndexFile::ClearIndex() {
  // Only an owner of the table rebuilds every tag (a pack, which holds the
  // table exclusively): nobody else allocates pages meanwhile.
  TScopedValue<bool> rewrite(rewriting_, true);
  // Tags emptied stay so till AddRecordsFromTable fills them: an open finds them so.
  const bool refill = TagCount() > 0 && Mode() != pmReadOnly;
  if (refill) {
    rebuild_pending_ = true;
    SetUpdateMark(true);
  }
  FlushPages();
  uint8_t* h = Header();
  if (mdx_) {
    // The tag table stays; every tag gets fresh pages from page 4 on.
    TMdxFileHeader fresh;
    int year = 0, month = 0, day = 0;
    DecodeDate(Date(), year, month, day);
    fresh.Created = {uint8_t(year - 1900), uint8_t(month), uint8_t(day)};
    fresh.Updated = fresh.Created;
    if (dbf_file_ != nullptr) {
      fresh.TableName = ExtractFileName(ChangeFileExt(dbf_file_->FileName(), "")).substr(0, 15);
      fresh.LanguageId = dbf_file_->LanguageId();
    }
    fresh.TagCount = uint16_t(tags_.size());
    fresh.UpdateMarks = RebuiltMarkCount();
    fresh.EncodeTo(h);
    SetRecordCount(4);
    const int keep = selected_;
    for (int i = 0; i < TagCount(); ++i) {
      selected_ = i;
      Tag& tag = *tags_[size_t(i)];
      PutLE32(tag.header.data() + 4, 0);
      tag.header_page = 0;
      tag.header_page = AllocatePage();
      PutLE32(TagEntry(i), uint32_t(tag.header_page));
      tag.range = false;
      MakeRoot(tag);
      WriteTagHeader(tag);
    }
    selected_ = keep;
  } else {
    h[UpdateMarkOffset()] = RebuiltMarkCount();
    SetNextFreePage(1);
    SetRecordCount(1);
    if (Current() != nullptr) {
      MakeRoot(*Current());
    } else {
      TIndexTagHeader empty = TIndexTagHeader::DecodeFrom(h);
      empty.RootPage = 0;
      empty.EncodeTo(h);
    }
  }
  TPagedFile::StoreHeader();
  FlushPages();
  SetRecordCount(NextFreePage());
  known_size_ = -1;
  upper_nodes_.clear();
}

// ---- tag creation and removal --------------------------------------------------------

void TIndexFile::CreateTag(const AnsiString& expression, const AnsiString& name, TIndexOptions options) {
  if (dbf_file_ != nullptr) dbf_file_->RequireExclusive();
  char key_type = 0;
  int key_length = 0;
  {
    TDbfParser probe(dbf_file_);
    probe.CompileText(expression);
    const TExprKind kind = probe.GetResultKind();
    if (kind == ekString) {
      key_type = 'C';
      key_length = probe.ResultLength();
    } else if (kind == ekInteger || kind == ekLargeInt || kind == ekFloat) {
      key_type = 'N';
      key_length = mdx_ ? 12 : 8;
    } else {
      throw EDbfError(STRING_INVALID_INDEX_TYPE);
    }
  }
  if (int(expression.size()) > kMaxExpressionLength)
    throw EDbfError(Format(STRING_INDEX_EXPRESSION_TEXT_TOO_LONG, {int(expression.size())}));
  if (mdx_) {
    const int n = TagCount();
    if (n >= kMaxTags || 512 + TagEntryLength() * (n + 2) > kMdxHeaderSize)
      throw EDbfError(STRING_CANNOT_CREATE_INDEX);
    auto tag = std::make_unique<Tag>();
    tag->header.assign(1024, 0);
    tags_.push_back(std::move(tag));
    selected_ = n;
    uint8_t* entry = TagEntry(n);
    std::memset(entry, 0, size_t(TagEntryLength()));
    const AnsiString upper = StoredTagName(name);
    std::memcpy(entry + 4, upper.data(), upper.size());
    const int shift = version_ == 6 ? 22 : 0;
    entry[15 + shift] = options.Contains(ixExpression) ? 0x00 : 0x10;
    entry[19 + shift] = 2;
    entry[20 + shift] = uint8_t(key_type);
    Tag& t = *tags_.back();
    // The tag count in the header stays as it is until the tag's nodes are
    // written (FlushPages): a creation cut short leaves the old tags usable.
    pending_tag_ = true;
    pending_counter_ = FileHeader().NextFreePage;
    pending_file_size_ = Stream()->Size();
    t.header_page = AllocatePage();
    PutLE32(TagEntry(n), uint32_t(t.header_page));
  } else {
    tags_.clear();
    tags_.push_back(std::make_unique<Tag>());
    selected_ = 0;
    std::memset(Header(), 0, kNdxHeaderSize);
    SetNextFreePage(1);
  }
  Tag& tag = *Current();
  MakeRoot(tag);
  TIndexTagHeader h = TagHeaderFields();
  uint8_t flags = 0;
  if (options.Contains(ixDescending)) flags |= 0x08;
  if (key_type == 'C') flags |= 0x10;
  uint8_t unique = 0;
  if (options.Contains(ixPrimary)) {
    flags |= 0x60;
    unique = 0x21;
  } else if (options.Contains(ixUnique)) {
    flags |= 0x40;
    unique = 1;
  }
  h.Flags = flags;
  h.KeyType = uint8_t(key_type);
  h.Form = mdx_ ? 0 : 0x5800;
  h.KeyLength = uint16_t(key_length);
  const int entry_length = RoundUp4(key_length + (mdx_ ? 4 : 8));
  h.KeysPerNode = uint16_t((NodeSize() - (mdx_ ? 8 : 4)) / entry_length);
  h.NumericNdx = !mdx_ && key_type == 'N' ? 1 : 0;
  h.EntryLength = uint16_t(entry_length);
  h.Constant20 = 2;
  h.Other[22] = 0;
  h.Uniqueness = unique;
  std::fill(h.Other.begin() + 24, h.Other.begin() + 256, uint8_t(0));
  h.Expression = expression;
  h.Byte246 = 1;
  h.EncodeTo(TagHeader());
  ComputeLayout(h, false);
  tag.root->buffer_.assign(size_t(NodeSize()), 0);
  CompileTag(tag);
  StoreHeader();
}

void TIndexFile::DeleteTag(const AnsiString& name) {
  if (dbf_file_ != nullptr) dbf_file_->RequireExclusive();
  if (!mdx_) {
    tags_.clear();
    selected_ = -1;
    CloseStream();
    DeleteFileIfClosed();
    return;
  }
  const int position = FindTag(name);
  if (position < 0) return;
  const int count = TagCount();
  const int length = TagEntryLength();
  if (pending_tag_ && position == count - 1) {
    // A tag that never reached the tag table: its slot is cleared, and the
    // pages it took are given back, so the file is the one of before.
    std::memset(TagEntry(position), 0, size_t(length));
    pending_tag_ = false;
    tags_.erase(tags_.begin() + position);
    SetNextFreePage(pending_counter_);
    TPagedFile::StoreHeader();
    if (Stream()->Size() > pending_file_size_ && pending_file_size_ % kPageSize == 0)
      SetRecordCount(pending_file_size_ / kPageSize);
    known_size_ = -1;
    upper_nodes_.clear();
    selected_ = tags_.empty() ? -1 : 0;
    return;
  }
  std::memmove(TagEntry(position), TagEntry(position + 1), size_t((count - 1 - position) * length));
  std::memset(TagEntry(count - 1), 0, size_t(length));
  SetFileTagCount(count - 1);
  tags_.erase(tags_.begin() + position);
  TPagedFile::StoreHeader();
  selected_ = tags_.empty() ? -1 : 0;
}

// ---- keys -----------------------------------------------------------------------------

void TIndexFile::BuildKey(const uint8_t* record, uint8_t* key) {
  Tag& tag = *Current();
  const char* result = tag.parser->EvaluateRecord(reinterpret_cast<const char*>(record));
  const TExprKind kind = tag.parser->GetResultKind();
  if (tag.key_type == 'C') {
    const int bound = tag.parser->HoldsExpression() ? tag.key_length
                                                    : std::min(tag.key_length, tag.parser->ResultLength());
    const size_t n = result ? strnlen(result, size_t(std::max(0, bound))) : 0;
    std::memcpy(key, result, n);
    std::memset(key + n, ' ', size_t(tag.key_length) - n);
    return;
  }
  if (kind == ekInteger || kind == ekLargeInt) {
    int64_t value = 0;
    if (kind == ekInteger) {
      int32_t v = 0;
      std::memcpy(&v, result, sizeof v);
      value = v;
    } else {
      std::memcpy(&value, result, sizeof value);
    }
    if (mdx_)
      BcdFromInt(value, key);
    else
      PutLEDouble(key, double(value));
    return;
  }
  double value = 0;
  std::memcpy(&value, result, sizeof value);
  NumberToKey(value, key);
}

void TIndexFile::NumberToKey(double value, uint8_t* key) const {
  if (mdx_)
    BcdFromDouble(value, key);
  else
    PutLEDouble(key, value);
}

void TIndexFile::TextToKey(const AnsiString& text, uint8_t* key) const {
  const size_t length = size_t(KeyLength());
  const size_t n = std::min(length, text.size());
  std::memcpy(key, text.data(), n);
  std::memset(key + n, ' ', length - n);
}

std::u16string TIndexFile::Widen(const uint8_t* key) const {
  const size_t length = size_t(KeyLength());
  std::u16string wide;
  if (!collation_chars_.empty()) {
    wide.resize(length);
    for (size_t i = 0; i < length; ++i) wide[i] = collation_chars_[key[i]];
    return wide;
  }
  return MultiByteToWide(ToCollation(key), collation_code_page_);
}

std::string TIndexFile::ToCollation(const uint8_t* key) const {
  const std::string_view bytes(reinterpret_cast<const char*>(key), size_t(KeyLength()));
  if (collation_code_page_ == table_code_page_) return std::string(bytes);
  try {
    return ConvertCodePage(bytes, table_code_page_, collation_code_page_);
  } catch (const EConvertError&) {
    return std::string(bytes);
  }
}

int TIndexFile::CompareCharKeys(const uint8_t* a, const uint8_t* b) const {
  const int length = KeyLength();
  if (locale_ == kDefaultCollationLocale) {
    for (int i = 0; i < length; ++i) {
      if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
      if (a[i] == 0) return 0;
    }
    return 0;
  }
  int c = 0;
  if (!collation_chars_.empty()) {
    // The comparison of every key a search or an insertion meets: widened
    // on the stack, as Widen would; the search key was widened when it was set.
    char16_t wide_a[kMaxKeyLength], wide_b[kMaxKeyLength];
    const char16_t* left = wide_a;
    if (a == search_key_.data() && search_wide_.size() == size_t(length)) {
      left = search_wide_.data();
    } else {
      for (int i = 0; i < length; ++i) wide_a[i] = collation_chars_[a[i]];
    }
    for (int i = 0; i < length; ++i) wide_b[i] = collation_chars_[b[i]];
    c = CompareStringLocaleW(locale_, false, std::u16string_view(left, size_t(length)),
                             std::u16string_view(wide_b, size_t(length)));
  } else {
    c = CompareStringLocaleW(locale_, false, Widen(a), Widen(b));
  }
  return (c > 0) - (c < 0);
}

int TIndexFile::CompareKeys(const uint8_t* a, const uint8_t* b) const {
  const Tag* tag = Current();
  if (tag == nullptr) return 0;
  int result = 0;
  if (tag->key_type == 'C') {
    result = CompareCharKeys(a, b);
  } else if (mdx_) {
    result = CompareBcd(a, b);
  } else {
    const double x = GetLEDouble(a), y = GetLEDouble(b);
    result = x > y ? 1 : (x < y ? -1 : 0);
  }
  return tag->descending ? -result : result;
}

AnsiString TIndexFile::KeyText(const uint8_t* key) const {
  if (KeyType() == 'C') return AnsiString(reinterpret_cast<const char*>(key), size_t(KeyLength()));
  return FloatToStr(mdx_ ? BcdToDouble(key) : GetLEDouble(key));
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

// ---- the update mark and the undo of a change ---------------------------------------

// The bytes a change wrote over: each page as it was before the change's
// first write to it, and the file's size.
struct TIndexFile::Journal {
  int64_t size = 0;
  std::map<int64_t, std::vector<uint8_t>> pages;
};

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

// ---- integrity check ------------------------------------------------------------------

// What the walk of one tag gathers: its leaf entries in tree order and the
// faults of the tree itself.
struct TIndexFile::TagWalk {
  std::vector<uint8_t> keys;  // key length bytes per entry
  std::vector<int64_t> recnos;
  std::vector<std::string> faults;
  std::unordered_map<int64_t, bool> visited;
  std::vector<std::unique_ptr<TIndexPage>> levels;
  std::vector<uint8_t> last;  // the last key of the subtree walked last
  int leaf_depth = -1;
  int64_t file_size = 0;
};

void TIndexFile::WalkForCheck(int64_t page, int depth, TagWalk& walk) {
  walk.last.clear();
  if (page < FirstNodePage() || page > kMaxPage || !NodeInFile(page, walk.file_size)) {
    walk.faults.push_back("a node pointer names page " + std::to_string(page) + ", outside the file's nodes");
    return;
  }
  if (depth >= kMaxDepth || !walk.visited.emplace(page, true).second) {
    walk.faults.push_back("the node at page " + std::to_string(page) + " is reached twice");
    return;
  }
  if (walk.levels.size() <= size_t(depth)) walk.levels.push_back(NewPage(nullptr));
  TIndexPage& node = *walk.levels[size_t(depth)];
  if (!ReadNode(page, node.buffer_.data())) {
    walk.faults.push_back("the node at page " + std::to_string(page) + " cannot be read");
    return;
  }
  const int count = node.KeyCount();
  if (count < 0 || count > MaxKeys()) {
    walk.faults.push_back("the node at page " + std::to_string(page) + " counts " + std::to_string(count) +
                          " keys, more than the " + std::to_string(MaxKeys()) + " it holds");
    return;
  }
  const size_t key_length = size_t(KeyLength());
  if (!node.DetectInterior()) {
    if (walk.leaf_depth < 0) walk.leaf_depth = depth;
    if (walk.leaf_depth != depth)
      walk.faults.push_back("the leaf at page " + std::to_string(page) + " lies at another depth than the first leaf");
    for (int i = 0; i < count; ++i) {
      walk.keys.insert(walk.keys.end(), node.KeyAt(i), node.KeyAt(i) + key_length);
      walk.recnos.push_back(node.RecNoAt(i));
    }
    if (count > 0) walk.last.assign(node.KeyAt(count - 1), node.KeyAt(count - 1) + key_length);
    return;
  }
  if (count + 1 > MaxKeys()) {
    walk.faults.push_back("the node at page " + std::to_string(page) + " has no room for its last pointer");
    return;
  }
  // The node's bytes are needed after the walks below reuse the level's buffer.
  const std::vector<uint8_t> bytes = node.buffer_;
  for (int i = 0; i <= count; ++i) {
    TIndexPage& here = *walk.levels[size_t(depth)];
    here.buffer_ = bytes;
    const int64_t lower = here.LowerPageAt(i);
    std::vector<uint8_t> separator;
    if (i < count) separator.assign(here.KeyAt(i), here.KeyAt(i) + key_length);
    WalkForCheck(lower, depth + 1, walk);
    if (i < count && !walk.last.empty() && walk.last != separator)
      walk.faults.push_back("the separator " + std::to_string(i) + " of the node at page " + std::to_string(page) +
                            " is not the last key of the node it leads to");
  }
}

void TIndexFile::CheckTag(int position, std::vector<std::string>& faults) {
  selected_ = position;
  Tag& tag = *tags_[size_t(position)];
  const std::string where =
      ExtractFileName(FileName()) + (mdx_ ? " tag " + AnsiToUtf8(Trim(TagName(position))) : std::string()) + ": ";
  const size_t first_fault = faults.size();
  const auto fault = [&](const std::string& text) { faults.push_back(where + text); };
  TagWalk walk;
  walk.file_size = NodeFileSize();
  const int64_t root = RootPage();
  if (root > 0) WalkForCheck(root, 0, walk);
  for (const std::string& f : walk.faults) fault(f);

  const size_t key_length = size_t(KeyLength());
  const size_t entries = walk.recnos.size();
  const auto key_of = [&](size_t i) { return walk.keys.data() + i * key_length; };
  bool ordered = true;
  for (size_t i = 1; i < entries; ++i) {
    if (CompareKeys(key_of(i - 1), key_of(i)) <= 0) continue;
    fault("the key of record " + std::to_string(walk.recnos[i - 1]) + " stands before a smaller key");
    ordered = false;
    break;
  }
  if (dbf_file_ == nullptr) return;
  const int64_t count = dbf_file_->RecordCount();
  // Where each record's entry stands (-1: none yet).
  std::vector<int64_t> entry_of(size_t(std::max<int64_t>(count, 0)) + 1, -1);
  for (size_t i = 0; i < entries; ++i) {
    const int64_t recno = walk.recnos[i];
    if (recno < 1 || recno > count) {
      fault("a key names record " + std::to_string(recno) + ", but the table has " + std::to_string(count));
    } else if (entry_of[size_t(recno)] >= 0) {
      fault("record " + std::to_string(recno) + " has two keys");
    } else {
      entry_of[size_t(recno)] = int64_t(i);
    }
  }
  const auto has_key = [&](const uint8_t* key) {
    if (!ordered) return false;
    size_t low = 0, high = entries;
    while (low < high) {
      const size_t mid = low + (high - low) / 2;
      if (CompareKeys(key_of(mid), key) < 0) low = mid + 1;
      else high = mid;
    }
    return low < entries && CompareKeys(key_of(low), key) == 0;
  };
  const int64_t record_size = std::max(dbf_file_->RecordSize(), 1);
  const int64_t batch = std::max<int64_t>(1, (int64_t(1) << 16) / record_size);
  std::vector<uint8_t> records(size_t(record_size * batch));
  uint8_t key[kMaxKeyLength];
  for (int64_t first = 1; first <= count; first += batch) {
    const int64_t want = std::min(batch, count - first + 1);
    const int64_t got =
        dbf_file_->ReadBlock(records.data(), want * record_size, dbf_file_->RecordOffset(first)) / record_size;
    for (int64_t i = 0; i < got; ++i) {
      const uint8_t* record = records.data() + i * record_size;
      const int64_t n = first + i;
      const int64_t at = entry_of[size_t(n)];
      // Deleted records keep their keys in ordinary and unique tags only.
      if (record[0] == '*' && tag.unique == 2) {
        if (at >= 0) fault("a key names record " + std::to_string(n) + ", which is deleted");
        continue;
      }
      BuildKey(record, key);
      if (at >= 0) {
        if (CompareKeys(key_of(size_t(at)), key) != 0) fault("the key of record " + std::to_string(n) + " is not the record's");
      } else if (tag.unique == 0 || !has_key(key)) {
        // A unique tag keeps one record of a key.
        fault("record " + std::to_string(n) + " is missing from the tag");
      }
    }
    if (got < want) break;
  }
  // A tag gone wrong shows much the same fault over and over.
  constexpr size_t kShown = 20;
  if (faults.size() - first_fault > kShown) {
    const size_t more = faults.size() - first_fault - kShown;
    faults.resize(first_fault + kShown);
    fault("and " + std::to_string(more) + " more faults");
  }
}

void TIndexFile::CheckIntegrity(std::vector<std::string>& faults) {
  if (!Active() || unusable_) return;
  const int64_t size = NodeFileSize();
  const int64_t pages = (size + kPageSize - 1) / kPageSize;
  const int64_t counted = NextFreePage();
  // Pages past the count are harmless (a creation cut short before the
  // header took its tag); a count past the file names pages nobody wrote.
  if (counted > pages)
    faults.push_back(ExtractFileName(FileName()) + ": the header counts " + std::to_string(counted) +
                     " pages, the file holds " + std::to_string(pages));
  TScopedValue<int> keep(selected_);
  for (int i = 0; i < TagCount(); ++i) CheckTag(i, faults);
}

// ---- building a tag from sorted keys ---------------------------------------------

namespace {

// The order of a build's entries: a three-way comparison of two entries
// (their forms, or their keys when there are no forms), and a number taken
// from an entry whose order never contradicts it: entries with different
// heads compare as their heads, and only entries with equal heads are
// compared in full.
struct TKeyOrder {
  std::function<int(const uint8_t*, const uint8_t*)> compare;
  // False when the entry has none; a run with such an entry is sorted
  // without heads.
  std::function<bool(const uint8_t*, uint64_t*)> head;
};

// The keys of a build, each with its record number, in record order: a run
// is sorted in memory and, when the keys outgrow the memory a build may
// take, written to a temporary file to be merged with the others.
class TKeyRuns {
 public:
  // form_length: bytes of a form of the key that the order compares, kept
  // before each key (0: the key itself is compared).
  // expected: how many keys are to come (the memory for them is taken at once).
  TKeyRuns(size_t key_length, size_t form_length, size_t limit_bytes, size_t expected, TKeyOrder order)
      : key_length_(key_length),
        form_(form_length),
        entry_(form_length + key_length + 4),
        capacity_(std::max<size_t>(limit_bytes / (entry_ + sizeof(Item)), 16)),
        order_(std::move(order)) {
    bytes_.reserve(std::min(capacity_, std::max<size_t>(expected, 1)) * entry_);
  }
  ~TKeyRuns() {
    if (spill_ != nullptr) std::fclose(spill_);
  }
  TKeyRuns(const TKeyRuns&) = delete;
  TKeyRuns& operator=(const TKeyRuns&) = delete;

  // A new entry; the caller fills its form (form_length bytes) at the pointer given.
  uint8_t* Add(const uint8_t* key, uint32_t recno) {
    if (count_ == capacity_) Spill();
    bytes_.resize((count_ + 1) * entry_);
    uint8_t* at = bytes_.data() + count_ * entry_;
    std::memcpy(at + form_, key, key_length_);
    PutLE32(at + form_ + key_length_, recno);
    ++count_;
    return at;
  }

  // Calls f(key, recno) for every key in key order, equal keys in record order.
  template <typename F>
  void Walk(F&& f) {
    if (runs_.empty()) {
      Sort();
      for (const Item& item : items_) {
        const uint8_t* at = bytes_.data() + size_t(item.index) * entry_ + form_;
        f(at, GetLE32(at + key_length_));
      }
      return;
    }
    Spill();
    bytes_ = {};
    items_ = {};
    Merge(f);
  }

 private:
  // An entry of the run in memory as the sort moves it: its head beside
  // it, so that most comparisons never look at the entry itself.
  struct Item {
    uint64_t head;
    uint32_t index;
  };

  struct Run {
    long start = 0;   // file offset of its first entry
    size_t left = 0;  // entries not yet read
    std::vector<uint8_t> buffer;
    size_t at = 0, held = 0;  // entries in the buffer: the current one and how many
  };

  void Sort() {
    items_.resize(count_);
    const uint8_t* base = bytes_.data();
    bool heads = true;
    for (size_t i = 0; i < count_; ++i) {
      items_[i].index = uint32_t(i);
      heads = order_.head(base + i * entry_, &items_[i].head) && heads;
    }
    if (!heads)
      for (Item& item : items_) item.head = 0;
    const size_t entry = entry_;
    // Entries are in record order: equal keys keep it by their index.
    std::sort(items_.begin(), items_.end(), [&](const Item& a, const Item& b) {
      if (a.head != b.head) return a.head < b.head;
      const int c = order_.compare(base + a.index * entry, base + b.index * entry);
      return c != 0 ? c < 0 : a.index < b.index;
    });
  }

  void Spill() {
    if (count_ == 0) return;
    Sort();
    if (spill_ == nullptr) spill_ = std::tmpfile();
    if (spill_ == nullptr) throw EDbfWriteError(STRING_WRITE_ERROR);
    Run run;
    run.start = std::ftell(spill_);
    run.left = count_;
    for (const Item& item : items_)
      if (std::fwrite(bytes_.data() + size_t(item.index) * entry_, 1, entry_, spill_) != entry_)
        throw EDbfWriteError(STRING_WRITE_ERROR);
    if (std::fflush(spill_) != 0) throw EDbfWriteError(STRING_WRITE_ERROR);
    runs_.push_back(std::move(run));
    count_ = 0;
    bytes_.clear();
    items_.clear();
  }

  bool Fill(Run& run) {
    if (run.at < run.held) return true;
    if (run.left == 0) return false;
    const size_t want = std::min(run.left, std::max<size_t>(1, (size_t(64) << 10) / entry_));
    run.buffer.resize(want * entry_);
    if (std::fseek(spill_, run.start, SEEK_SET) != 0 || std::fread(run.buffer.data(), entry_, want, spill_) != want)
      throw EDbfError(STRING_WRITE_ERROR);
    run.start += long(want * entry_);
    run.left -= want;
    run.at = 0;
    run.held = want;
    return true;
  }

  template <typename F>
  void Merge(F&& f) {
    // A heap of the runs by their current entry; runs hold records in
    // order, so among equal keys the earlier run goes first.
    std::vector<size_t> heap;
    const auto current = [&](size_t r) { return runs_[r].buffer.data() + runs_[r].at * entry_; };
    const auto after = [&](size_t a, size_t b) {
      const int c = order_.compare(current(a), current(b));
      return c != 0 ? c > 0 : a > b;
    };
    for (size_t r = 0; r < runs_.size(); ++r)
      if (Fill(runs_[r])) heap.push_back(r);
    std::make_heap(heap.begin(), heap.end(), after);
    while (!heap.empty()) {
      std::pop_heap(heap.begin(), heap.end(), after);
      const size_t r = heap.back();
      const uint8_t* at = current(r) + form_;
      f(at, GetLE32(at + key_length_));
      ++runs_[r].at;
      if (Fill(runs_[r])) {
        std::push_heap(heap.begin(), heap.end(), after);
      } else {
        heap.pop_back();
        runs_[r].buffer = {};
      }
    }
  }

  size_t key_length_, form_, entry_, capacity_;
  TKeyOrder order_;
  std::vector<uint8_t> bytes_;
  std::vector<Item> items_;
  size_t count_ = 0;
  std::vector<Run> runs_;
  std::FILE* spill_ = nullptr;
};

// The first eight bytes as a big-endian number (fewer: the rest zero).
uint64_t LeadingBytes(const uint8_t* bytes, size_t length) {
  uint64_t head = 0;
  for (size_t i = 0; i < 8; ++i) head = (head << 8) | (i < length ? bytes[i] : 0);
  return head;
}

}  // namespace

// Writes the nodes of a tag from its keys in order, as they come: leaves
// full, and above them each level filled from the nodes written below it,
// so the memory is a few nodes per level however many keys there are. The
// last two nodes of a level above the leaves share their pointers evenly;
// the top node goes to the root page the tag has already.
class TIndexFile::TSortedTreeWriter {
 public:
  TSortedTreeWriter(TIndexFile* file, int64_t root_page)
      : file_(file),
        root_page_(root_page),
        node_size_(size_t(file->NodeSize())),
        header_(file->IsMdx() ? 8 : 4),
        number_(file->IsMdx() ? 0 : 4),
        key_offset_(file->IsMdx() ? 4 : 8),
        entry_(size_t(file->EntryLength())),
        key_length_(size_t(file->KeyLength())),
        max_(file->MaxKeys()),
        leaf_(node_size_, 0) {}

  void Add(const uint8_t* key, uint32_t recno) {
    if (leaf_count_ == max_) {
      EmitLeaf(NextPage());
      ++leaves_;
    }
    uint8_t* entry = leaf_.data() + header_ + size_t(leaf_count_) * entry_;
    PutLE32(entry + number_, recno);
    std::memcpy(entry + key_offset_, key, key_length_);
    ++leaf_count_;
  }

  // Writes what is left; the tag then has its whole tree under the root page.
  void Finish() {
    if (leaf_count_ == 0) return;
    EmitLeaf(leaves_ == 0 ? root_page_ : NextPage());
    for (size_t level = 0; level < levels_.size(); ++level) {
      Level& l = levels_[level];
      if (!l.emitted && l.pending_count == 0) {
        EmitInterior(level, l.current, l.current_count, root_page_);
        break;
      }
      if (l.pending_count > 0) {
        // The last node may hold a single pointer: the two share them.
        const int total = l.pending_count + l.current_count;
        const int first = (total + 1) / 2;
        std::vector<uint8_t> joined(size_t(total) * entry_);
        std::memcpy(joined.data(), l.pending.data() + header_, size_t(l.pending_count) * entry_);
        std::memcpy(joined.data() + size_t(l.pending_count) * entry_, l.current.data() + header_,
                    size_t(l.current_count) * entry_);
        std::fill(l.pending.begin(), l.pending.end(), uint8_t(0));
        std::fill(l.current.begin(), l.current.end(), uint8_t(0));
        std::memcpy(l.pending.data() + header_, joined.data(), size_t(first) * entry_);
        std::memcpy(l.current.data() + header_, joined.data() + size_t(first) * entry_,
                    size_t(total - first) * entry_);
        std::vector<uint8_t> pending = std::move(l.pending);
        std::vector<uint8_t> current = std::move(l.current);
        // The emits below may add levels: l is not used after them.
        EmitInterior(level, pending, first, NextPage());
        EmitInterior(level, current, total - first, NextPage());
      } else {
        std::vector<uint8_t> current = std::move(l.current);
        EmitInterior(level, current, l.current_count, NextPage());
      }
    }
    Flush();
    if (next_page_ > 0) file_->ReservePagesUpTo(next_page_);
  }

 private:
  // The interior nodes of one level not written yet: the one being filled
  // and the full one before it (kept so that the last two can share).
  struct Level {
    std::vector<uint8_t> pending, current;
    int pending_count = 0, current_count = 0;  // pointers
    bool emitted = false;                      // a node of the level is written
  };

  // The tree's pages follow one another from the first free one; the file
  // learns how far they went at the end.
  int64_t NextPage() {
    const int64_t page = next_page_ > 0 ? next_page_ : file_->AllocatePage();
    next_page_ = page + file_->PagesPerNode();
    return page;
  }

  void EmitLeaf(int64_t page) {
    PutLE32(leaf_.data(), uint32_t(leaf_count_));
    Emit(page, leaf_.data());
    if (page != root_page_)
      AddPointer(0, leaf_.data() + header_ + size_t(leaf_count_ - 1) * entry_ + key_offset_, page);
    std::fill(leaf_.begin(), leaf_.end(), uint8_t(0));
    leaf_count_ = 0;
  }

  // A pointer to a node written below the level: count keys and count + 1
  // pointers fit a node, at most max_ pointers.
  void AddPointer(size_t level, const uint8_t* key, int64_t page) {
    if (levels_.size() <= level) levels_.resize(level + 1);
    if (levels_[level].current.empty()) levels_[level].current.assign(node_size_, 0);
    if (levels_[level].current_count == max_) {
      if (levels_[level].pending_count > 0) {
        std::vector<uint8_t> pending = std::move(levels_[level].pending);
        EmitInterior(level, pending, levels_[level].pending_count, NextPage());
      }
      Level& l = levels_[level];
      l.pending = std::move(l.current);
      l.pending_count = l.current_count;
      l.current.assign(node_size_, 0);
      l.current_count = 0;
    }
    Level& l = levels_[level];
    uint8_t* entry = l.current.data() + header_ + size_t(l.current_count) * entry_;
    // MDX: one number, the lower page; NDX: the lower page, record 0.
    PutLE32(entry, uint32_t(page));
    std::memcpy(entry + key_offset_, key, key_length_);
    ++l.current_count;
  }

  void EmitInterior(size_t level, std::vector<uint8_t>& node, int pointers, int64_t page) {
    PutLE32(node.data(), uint32_t(pointers - 1));
    Emit(page, node.data());
    levels_[level].emitted = true;
    levels_[level].pending_count = 0;
    if (page != root_page_)
      AddPointer(level + 1, node.data() + header_ + size_t(pointers - 1) * entry_ + key_offset_, page);
  }

  // Nodes on consecutive pages go out in one write.
  void Emit(int64_t page, const uint8_t* bytes) {
    const int64_t per = file_->PagesPerNode();
    if (!out_.empty() && (page != out_start_ + int64_t(out_.size() / node_size_) * per || out_.size() >= kOutBytes))
      Flush();
    if (out_.empty()) out_start_ = page;
    out_.insert(out_.end(), bytes, bytes + node_size_);
  }

  void Flush() {
    if (out_.empty()) return;
    file_->WriteNodes(out_start_, out_.data(), int64_t(out_.size()));
    out_.clear();
  }

  static constexpr size_t kOutBytes = size_t(256) << 10;
  TIndexFile* file_;
  int64_t root_page_;
  size_t node_size_, header_, number_, key_offset_, entry_, key_length_;
  int max_;
  std::vector<uint8_t> leaf_;
  int leaf_count_ = 0;
  int64_t leaves_ = 0;
  std::vector<Level> levels_;  // above the leaves, lowest first
  std::vector<uint8_t> out_;
  int64_t out_start_ = 0;
  int64_t next_page_ = 0;
};

void TIndexFile::BuildSortedTag(Tag& tag) {
  const int64_t root_page = tag.root->PageNo();
  const size_t key_length = size_t(KeyLength());
  // Text keys in a locale's collation are sorted by prefixes of their
  // primary weights, made once per key; only keys the prefixes do not tell
  // apart are compared by the collation itself. Text keys in byte order are
  // sorted by their own first bytes (up to a NUL, where their comparison stops).
  const TCollationKeyPrefix* prefixes = nullptr;
  if (tag.key_type == 'C' && locale_ != kDefaultCollationLocale && !collation_chars_.empty()) {
    // Made once per collation: it asks the locale about every character.
    if (!key_prefixes_)
      key_prefixes_ = std::make_unique<TCollationKeyPrefix>(
          locale_, false, std::u16string_view(collation_chars_.data(), collation_chars_.size()));
    if (key_prefixes_->Usable()) prefixes = key_prefixes_.get();
  }
  const bool collated = prefixes != nullptr;
  const bool bytewise = tag.key_type == 'C' && locale_ == kDefaultCollationLocale;
  const size_t form_length = collated ? kCollationPrefixLength : 0;
  const bool descending = tag.descending;
  TKeyOrder order;
  if (collated) {
    order.compare = [this, form_length, descending](const uint8_t* a, const uint8_t* b) {
      bool sure = false;
      const int c = TCollationKeyPrefix::Compare(a, b, form_length, &sure);
      if (sure) return descending ? -c : c;
      return CompareKeys(a + form_length, b + form_length);
    };
  } else {
    order.compare = [this](const uint8_t* a, const uint8_t* b) { return CompareKeys(a, b); };
  }
  order.head = [collated, bytewise, descending, key_length](const uint8_t* entry, uint64_t* head) {
    *head = 0;
    if (collated) {
      // A prefix unknown so early tells nothing about its key.
      if (std::find(entry, entry + 8, TCollationKeyPrefix::kUnknown) != entry + 8) return false;
      *head = LeadingBytes(entry, 8);
    }
    if (bytewise) {
      const uint8_t* end = static_cast<const uint8_t*>(std::memchr(entry, 0, std::min<size_t>(key_length, 8)));
      *head = LeadingBytes(entry, end != nullptr ? size_t(end - entry) : std::min<size_t>(key_length, 8));
    }
    // Numeric keys have no head: all compare in full.
    if (descending) *head = ~*head;
    return true;
  };
  const int64_t record_size = dbf_file_->RecordSize();
  const int64_t count = dbf_file_->RecordCount();
  // Half the memory for the keys: the rest is for what else the table and
  // the files hold meanwhile.
  TKeyRuns runs(key_length, form_length, kBuildMemoryBytes / 2, size_t(std::max<int64_t>(count, 0)), std::move(order));
  const int64_t batch = record_size <= 0 ? 1 : std::max<int64_t>(1, (int64_t(1) << 16) / record_size);
  std::vector<uint8_t> records(size_t(std::max<int64_t>(record_size, 1) * batch));
  uint8_t key[kMaxKeyLength];
  for (int64_t first = 1; first <= count; first += batch) {
    const int64_t want = std::min(batch, count - first + 1);
    const int64_t got =
        dbf_file_->ReadBlock(records.data(), want * record_size, dbf_file_->RecordOffset(first)) /
        std::max<int64_t>(record_size, 1);
    for (int64_t i = 0; i < got; ++i) {
      const uint8_t* record = records.data() + i * record_size;
      // Deleted records keep their keys in ordinary and unique tags only.
      if (record[0] == '*' && tag.unique == 2) continue;
      BuildKey(record, key);
      uint8_t* form = runs.Add(key, uint32_t(first + i));
      if (collated) prefixes->Make(key, key_length, form, form_length);
    }
    if (got < want) break;
  }
  // The root page in memory must not be written over the tree.
  tag.root->child_.reset();
  tag.root->modified_ = false;
  TSortedTreeWriter writer(this, root_page);
  std::vector<uint8_t> previous(key_length);
  int64_t previous_recno = 0;
  bool any = false;
  runs.Walk([&](const uint8_t* k, uint32_t recno) {
    if (any && tag.unique != 0 && CompareKeys(previous.data(), k) == 0) {
      // A unique tag keeps the first record of a key; a primary one has
      // none to spare.
      if (tag.unique == 2)
        throw EDbfError(Format(STRING_KEY_VIOLATION, {IndexName(), previous_recno, TrimRight(KeyText(k))}));
      return;
    }
    std::memcpy(previous.data(), k, key_length);
    previous_recno = recno;
    any = true;
    writer.Add(k, recno);
  });
  writer.Finish();
  // Nodes that did not reach the disk cannot be read back as the tree.
  if (WriteError()) throw EDbfWriteError(STRING_WRITE_ERROR);
  if (!any) {
    tag.root->modified_ = true;  // the empty root is written as before
    return;
  }
  tag.root->page_no_ = -1;
  tag.root->LoadPage(root_page);
}

void TIndexFile::KeepUpperNode(int64_t page, const uint8_t* bytes) {
  // Only a file nobody else writes: its nodes change only through here.
  if (NeedLocks() || node_cache_) return;
  if (upper_nodes_.size() >= kUpperNodes && !upper_nodes_.contains(page)) upper_nodes_.clear();
  upper_nodes_[page].assign(bytes, bytes + NodeSize());
}

void TIndexFile::ForgetUpperNodes(int64_t page, int64_t length) {
  if (upper_nodes_.empty()) return;
  if (length < 0) {
    upper_nodes_.clear();
    return;
  }
  for (int64_t at = 0; at < length; at += NodeSize()) upper_nodes_.erase(page + at / kPageSize);
}

void TIndexFile::WriteNodes(int64_t page, const uint8_t* bytes, int64_t length) {
  ForgetUpperNodes(page, length);
  if (WriteBlock(bytes, length, page * kPageSize) == length)
    known_size_ = std::max(known_size_, page * kPageSize + length);
}

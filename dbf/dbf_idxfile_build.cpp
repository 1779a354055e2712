// TIndexFile: the sorted build. A tag made from the table's records with
// its keys sorted (in runs on the disk past a memory bound) and each node
// written once, full.

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

#include "grid/rs_snap.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

#include "grid/rs_rtm.h"
#include "grid/rs_str.h"

namespace {

// Whether two bookmarks name the same record. A missing bookmark names none:
// data sets may rank every vanished bookmark equal to another.
bool SameRecord(TDataSet& data_set, const TBookmark& a, const TBookmark& b) {
  return !a.empty() && !b.empty() && data_set.CompareBookmarkValues(a, b) == 0;
}

}  // namespace

// ---- TgpRecShot -------------------------------------------------------------------

TDataSet* TgpRecShot::DataSet() const { return Grid->DataLink() ? Grid->DataLink()->QueryDataSet() : nullptr; }

bool TgpRecShot::LinkActive() const { return Grid->DataLink() && Grid->DataLink()->Active(); }

void TgpRecShot::Capture(const TBookmark& bookmark) {
  Variant unique_values, bookmark_values;
  int rec_no = -1;
  if (LinkActive() && !bookmark.empty()) {
    TDataSet* data_set = DataSet();
    if (!Grid->UniqueFields().empty()) unique_values = data_set->ValuesOfFields(Grid->UniqueFields());
    if (!Grid->BookmarkFields().empty()) bookmark_values = data_set->ValuesOfFields(Grid->BookmarkFields());
    if (Grid->EnableRecNo()) rec_no = data_set->GetSequenceNo();
  }
  Bookmark = bookmark;
  UniqueValues = std::move(unique_values);
  BookmarkValues = std::move(bookmark_values);
  RecNo = rec_no;
  Valid = !bookmark.empty();
}

bool TgpRecShot::IsCurrent() const {
  if (!LinkActive()) return Bookmark.empty() && VarIsEmpty(UniqueValues);
  TDataSet* data_set = DataSet();
  if (!Grid->UniqueFields().empty() && !VarEquals(data_set->ValuesOfFields(Grid->UniqueFields()), UniqueValues))
    return false;
  return SameRecord(*data_set, data_set->QueryBookmarkText(), Bookmark);
}

bool TgpRecShot::GoTo() {
  if (!LinkActive()) return false;
  TDataSet* data_set = DataSet();
  if (Grid->CursorType() == gctInsensitiveID) {
    if (Grid->UniqueFields().empty() || VarIsNullOrEmpty(UniqueValues)) return false;
    return data_set->FindByValues(Grid->UniqueFields(), UniqueValues, TFindOptions());
  }
  if (Bookmark.empty() || !data_set->BookmarkExists(Bookmark)) return false;
  data_set->ReturnToBookmark(Bookmark);
  return true;
}

// ---- TgpCurrentRecShot ------------------------------------------------------------

void TgpCurrentRecShot::Capture(const TBookmark& bookmark) {
  TgpRecShot::Capture(bookmark);
  OnRealRecord = Valid;
  int row = -1;
  if (LinkActive() && (Valid || DataSet()->CurrentMode() != dsBrowse)) row = Grid->DataLink()->QueryActiveRow();
  Grid->SetCurrentRow(row);
}

void TgpCurrentRecShot::Invalidate(bool Notify) {
  if (Grid->CursorType() == gctSensitive || !OnRealRecord) return;
  const int row = Grid->CurrentRow();
  Capture(TBookmark());
  Grid->InvalidateRow(row);
  if (Notify) Grid->DoSelectionChange(true, false);
}

void TgpCurrentRecShot::Recapture(bool CheckChanged) {
  const bool changed = CheckChanged && !IsCurrent();
  const int old_row = Grid->CurrentRow();
  Capture(LinkActive() ? DataSet()->QueryBookmarkText() : TBookmark());
  Grid->InvalidateRow(old_row);
  Grid->InvalidateRow(Grid->CurrentRow());
  if (changed) Grid->DoSelectionChange(true, false);
}

void TgpCurrentRecShot::RecaptureIfTracking(bool CheckChanged) {
  if (Grid->CursorType() == gctSensitive || Grid->Navigating()) Recapture(CheckChanged);
}

bool TgpCurrentRecShot::CanTrack(int Mode) {
  const bool can = LinkActive() && (Mode == 1 || !Grid->UniqueFields().empty());
  if (can) Invalidate(false);
  return can;
}

void TgpCurrentRecShot::SetCurrentByValue(const Variant& Values, bool Locate, bool Notify) {
  if (!CanTrack(2) || VarIsNull(Values)) return;
  if (Locate) {
    TDataSet* data_set = DataSet();
    if (data_set->FindByValues(Grid->UniqueFields(), Values, TFindOptions()))
      Capture(data_set->QueryBookmarkText());
    else
      Capture(TBookmark());
  } else {
    UniqueValues = Values;
    Valid = !VarIsEmpty(Values);
    OnRealRecord = false;
    Grid->LocateCurrentRow(0);
  }
  Grid->InvalidateRow(Grid->CurrentRow());
  if (Notify) Grid->DoSelectionChange(true, false);
}

// ---- TgpShotStore -----------------------------------------------------------------

namespace {

// A block's size; a record larger than that gets a block of its own. Where a
// record is: its block in the high bits, its offset in the block in the low.
constexpr int kBlockBits = 20;
constexpr size_t kBlockSize = size_t{1} << kBlockBits;
constexpr size_t kMaxBlocks = size_t{1} << (32 - kBlockBits);

// A record's bytes: a flags byte (kHasRecNo and the two values' shapes), the
// bookmark's length and bytes, the record number when taken, then the unique
// values and the bookmark values. A shape is kNoValue (not taken), kOneValue
// or kValueArray (an array from 0, its count first), as
// TDataSet::ValuesOfFields gives one field or several. A value is its kind
// (its VarType for the plain kinds, else kOtherKind and its index among the
// Variants kept whole) and its 8 bytes. Counts and lengths are 7 bits a byte.
constexpr uint8_t kHasRecNo = 1;
constexpr uint8_t kNoValue = 0;
constexpr uint8_t kOneValue = 1;
constexpr uint8_t kValueArray = 2;
constexpr int kUniqueShapeAt = 1;
constexpr int kValuesShapeAt = 3;
constexpr uint8_t kOtherKind = 0xFF;

template <class T>
void Put(std::vector<uint8_t>& out, T value) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
  out.insert(out.end(), bytes, bytes + sizeof value);
}

void PutCount(std::vector<uint8_t>& out, size_t count) {
  for (; count >= 0x80; count >>= 7) out.push_back(static_cast<uint8_t>(count | 0x80));
  out.push_back(static_cast<uint8_t>(count));
}

uint8_t ShapeOf(const std::vector<TField*>* fields) {
  return !fields ? kNoValue : fields->size() == 1 ? kOneValue : kValueArray;
}

}  // namespace

// Reads a record's bytes in the order Add wrote them.
class TgpShotStore::Reader {
 public:
  Reader(const TgpShotStore& store, uint32_t at) : store_(store), p_(store.Data(at)) {
    flags_ = Take<uint8_t>();
    const size_t size = Count();
    bookmark_ = p_;
    bookmark_size_ = size;
    p_ += size;
    if (flags_ & kHasRecNo) rec_no_ = Take<int32_t>();
  }

  TBookmark Bookmark() const { return TBookmark(reinterpret_cast<const char*>(bookmark_), bookmark_size_); }
  int RecNo() const { return rec_no_; }
  // The unique values, then the bookmark values.
  Variant UniqueValues() { return Values(kUniqueShapeAt); }
  Variant BookmarkValues() {
    Values(kUniqueShapeAt);
    return Values(kValuesShapeAt);
  }

 private:
  template <class T>
  T Take() {
    T value;
    std::memcpy(&value, p_, sizeof value);
    p_ += sizeof value;
    return value;
  }
  size_t Count() {
    size_t count = 0;
    for (int shift = 0;; shift += 7) {
      const uint8_t byte = *p_++;
      count |= static_cast<size_t>(byte & 0x7F) << shift;
      if (!(byte & 0x80)) return count;
    }
  }
  Variant Values(int shape_at) {
    const int shape = (flags_ >> shape_at) & 3;
    if (shape == kNoValue) return Variant();
    if (shape == kOneValue) return Value();
    const size_t count = Count();
    Variant values = VarArrayCreate(0, static_cast<int>(count) - 1);
    for (size_t i = 0; i < count; ++i) values[static_cast<int>(i)] = Value();
    return values;
  }
  Variant Value() {
    const auto kind = Take<uint8_t>();
    switch (kind) {
      case varEmpty: return Variant();
      case varNull: return Null();
      case varSmallint: return Variant::FromSmallint(static_cast<int16_t>(Take<int64_t>()));
      case varInteger: return Variant(static_cast<int>(Take<int64_t>()));
      case varShortInt: return Variant::FromShortInt(static_cast<int8_t>(Take<int64_t>()));
      case varByte: return Variant::FromByte(static_cast<uint8_t>(Take<int64_t>()));
      case varWord: return Variant::FromWord(static_cast<uint16_t>(Take<int64_t>()));
      case varLongWord: return Variant(static_cast<unsigned>(Take<int64_t>()));
      case varInt64: return Variant(static_cast<long long>(Take<int64_t>()));
      case varBoolean: return Variant(Take<int64_t>() != 0);
      case varCurrency: return Variant(Currency::FromScaled(Take<int64_t>()));
      case varSingle: return Variant(static_cast<float>(Take<double>()));
      case varDouble: return Variant(Take<double>());
      case varDate: return Variant::FromDate(Take<double>());
      default: return store_.others_[Take<uint32_t>()];
    }
  }

  const TgpShotStore& store_;
  const uint8_t* p_;
  uint8_t flags_ = 0;
  const uint8_t* bookmark_ = nullptr;
  size_t bookmark_size_ = 0;
  int rec_no_ = -1;
};

uint32_t TgpShotStore::Add(const TBookmark& bookmark, const std::vector<TField*>* unique,
                           const std::vector<TField*>* values, int rec_no) {
  scratch_.clear();
  Put(scratch_, static_cast<uint8_t>((rec_no != -1 ? kHasRecNo : 0) | ShapeOf(unique) << kUniqueShapeAt |
                                     ShapeOf(values) << kValuesShapeAt));
  PutCount(scratch_, bookmark.size());
  scratch_.insert(scratch_.end(), bookmark.begin(), bookmark.end());
  if (rec_no != -1) Put(scratch_, static_cast<int32_t>(rec_no));
  const size_t others = others_.size();
  try {
    for (const std::vector<TField*>* fields : {unique, values}) {
      if (ShapeOf(fields) == kOneValue) {
        Pack(fields->front()->GetVariantValue());
      } else if (ShapeOf(fields) == kValueArray) {
        PutCount(scratch_, fields->size());
        for (TField* field : *fields) Pack(field->GetVariantValue());
      }
    }
  } catch (...) {
    others_.resize(others);
    throw;
  }
  const size_t size = scratch_.size();
  if (blocks_.empty() || (used_ + size > kBlockSize && used_ > 0)) {
    if (blocks_.size() == kMaxBlocks) {
      others_.resize(others);
      throw std::bad_alloc();
    }
    blocks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(std::max(size, kBlockSize)));
    used_ = 0;
  }
  std::memcpy(blocks_.back().get() + used_, scratch_.data(), size);
  const auto at = static_cast<uint32_t>(((blocks_.size() - 1) << kBlockBits) | used_);
  used_ += size;
  return at;
}

void TgpShotStore::Pack(const Variant& value) {
  const TVarType type = value.VarType();
  const bool integer = VarTypeIsInteger(type) || type == varBoolean || type == varCurrency;
  const bool real = type == varSingle || type == varDouble || type == varDate;
  if (!integer && !real && !VarIsClear(value)) {
    Put(scratch_, kOtherKind);
    Put(scratch_, static_cast<uint32_t>(others_.size()));
    others_.push_back(value);
    return;
  }
  Put(scratch_, static_cast<uint8_t>(type));
  if (type == varBoolean)
    Put(scratch_, int64_t{value.AsBoolean() ? 1 : 0});
  else if (type == varCurrency)
    Put(scratch_, value.AsCurrency().Scaled);
  else if (integer)
    Put(scratch_, value.AsInt64());
  else if (real)
    Put(scratch_, value.AsDouble());
}

const uint8_t* TgpShotStore::Data(uint32_t at) const {
  return blocks_[at >> kBlockBits].get() + (at & (kBlockSize - 1));
}

TBookmark TgpShotStore::Bookmark(uint32_t at) const { return Reader(*this, at).Bookmark(); }

int TgpShotStore::RecNo(uint32_t at) const { return Reader(*this, at).RecNo(); }

Variant TgpShotStore::UniqueValues(uint32_t at) const { return Reader(*this, at).UniqueValues(); }

Variant TgpShotStore::BookmarkValues(uint32_t at) const { return Reader(*this, at).BookmarkValues(); }

void TgpShotStore::Clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  used_ = 0;
  std::vector<Variant>().swap(others_);
}

// ---- TgpSelection -----------------------------------------------------------------

// Keeps records as TgpRecShot::Capture takes snapshots, looking the grid's
// fields up once for all the records it keeps.
class TgpSelection::Taker {
 public:
  explicit Taker(TgpSelection& selection) : selection_(selection) {}

  // The data set stands on bookmark's record.
  Kept Take(const TBookmark& bookmark) {
    TgpSelectionSite& grid = *selection_.grid_;
    const std::vector<TField*>* unique = nullptr;
    const std::vector<TField*>* values = nullptr;
    int rec_no = -1;
    if (grid.DataLink() && grid.DataLink()->Active() && !bookmark.empty()) {
      TDataSet& data_set = *selection_.DataSet();
      if (!collected_) {
        if (!grid.UniqueFields().empty()) data_set.CollectFields(grid.UniqueFields(), unique_);
        if (!grid.BookmarkFields().empty()) data_set.CollectFields(grid.BookmarkFields(), values_);
        collected_ = true;
      }
      if (!grid.UniqueFields().empty()) unique = &unique_;
      if (!grid.BookmarkFields().empty()) values = &values_;
      if (grid.EnableRecNo()) rec_no = data_set.GetSequenceNo();
    }
    return selection_.store_.Add(bookmark, unique, values, rec_no);
  }

 private:
  TgpSelection& selection_;
  bool collected_ = false;
  std::vector<TField*> unique_;
  std::vector<TField*> values_;
};

TgpSelection::TgpSelection(TgpSelectionSite* grid)
    : grid_(grid), current_(std::make_unique<TgpCurrentRecShot>(grid)) {}

TgpSelection::~TgpSelection() = default;

TDataSet* TgpSelection::DataSet() const { return grid_->DataLink() ? grid_->DataLink()->QueryDataSet() : nullptr; }

int TgpSelection::Count() const {
  if (empty_) return current_->Valid ? 1 : 0;
  return ExplicitCount();
}

TgpSelection::Kept TgpSelection::RowAt(int index) const {
  if (index < 0 || index >= ExplicitCount()) RaiseListIndexError(index);
  return rows_[static_cast<size_t>(index)];
}

TgpRecShot* TgpSelection::Items(int index) const {
  if (empty_ && current_->Valid && index == 0) return current_.get();
  const Kept row = RowAt(index);
  std::unique_ptr<TgpRecShot>& shot = shots_[row];
  if (!shot) {
    shot = std::make_unique<TgpRecShot>(grid_);
    shot->Bookmark = store_.Bookmark(row);
    shot->UniqueValues = store_.UniqueValues(row);
    shot->BookmarkValues = store_.BookmarkValues(row);
    shot->RecNo = store_.RecNo(row);
    shot->Valid = !shot->Bookmark.empty();
  }
  return shot.get();
}

Variant TgpSelection::BookmarkValuesOf(int index) const {
  if (empty_ && current_->Valid && index == 0) return current_->BookmarkValues;
  return store_.BookmarkValues(RowAt(index));
}

bool TgpSelection::Find(const TBookmark& bookmark, int& Pos) const {
  TDataSet* data_set = DataSet();
  int lo = 0, hi = ExplicitCount() - 1;
  bool found = false;
  while (data_set && hi >= lo) {
    const int mid = (lo + hi) / 2;
    const int order = data_set->CompareBookmarkValues(store_.Bookmark(rows_[static_cast<size_t>(mid)]), bookmark);
    if (order < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (order == 0) {
        lo = mid;
        found = true;
        break;
      }
    }
  }
  Pos = lo;
  return found;
}

int TgpSelection::IndexOf(const TBookmark& bookmark) const {
  int pos = 0;
  return Find(bookmark, pos) ? pos : -1;
}

bool TgpSelection::IsCurrentSelected() const {
  TDataSet* data_set = DataSet();
  int pos = 0;
  return data_set && Find(data_set->QueryBookmarkText(), pos);
}

void TgpSelection::Insert(int Pos, const TBookmark& bookmark) {
  if (Pos < 0 || Pos > ExplicitCount()) RaiseListIndexError(Pos);
  rows_.insert(rows_.begin() + Pos, Taker(*this).Take(bookmark));
  empty_ = false;
}

bool TgpSelection::Delete(int index) {
  const Kept row = RowAt(index);
  rows_.erase(rows_.begin() + index);
  shots_.erase(row);
  empty_ = rows_.empty();
  // The values of rows no longer selected go with the last of them.
  if (empty_) store_.Clear();
  return empty_;
}

bool TgpSelection::SelectCurrent(bool Select, bool Repaint) {
  TDataSet* data_set = DataSet();
  if (!data_set) return false;
  const TBookmark bookmark = data_set->QueryBookmarkText();
  if (bookmark.empty()) return false;
  int pos = 0;
  if (Find(bookmark, pos) == Select) return false;
  bool current_changed = false;
  if (Select) {
    Insert(pos, bookmark);
  } else {
    Delete(pos);
    if (grid_->CursorType() != gctSensitive && SameRecord(*data_set, current_->Bookmark, bookmark)) {
      current_->Invalidate(false);
      current_changed = true;
    }
  }
  Notify(grid_->ActiveRow(), Repaint, current_changed);
  return true;
}

void TgpSelection::Notify(int Row, bool Repaint, bool CurrentChanged) {
  if (Repaint) {
    if (Row == -1)
      grid_->InvalidateRows();
    else
      grid_->InvalidateRow(Row);
  }
  grid_->DoSelectionChange(CurrentChanged, true);
}

TBookmark TgpSelection::Anchor() const {
  if (empty_) return current_->Bookmark;
  return store_.Bookmark(*std::max_element(rows_.begin(), rows_.end()));
}

void TgpSelection::SelectRange(const TBookmark& Target) {
  if (Target.empty()) return;
  TDataSet* data_set = DataSet();
  // A target whose record is gone would never be met: the walk would run to
  // the end of the data set and select records nobody pointed at.
  if (!data_set || !data_set->QueryActive() || !data_set->BookmarkExists(Target)) return;
  const TDataSetPosition position = SaveDataSetPosition(*data_set);
  {
    TFreezeScope frozen(*grid_, false);
    TMuteScope muted(*data_set);
    const TBookmark start = data_set->QueryBookmarkText();
    Taker taker(*this);
    // The rows of the records not yet selected, in the order met; they join
    // the selection in one pass once the range is known, since put into the
    // sorted list one by one each would move the whole list when the walk
    // runs against bookmark order.
    std::vector<Kept> walked;
    // Walks from start by step while beyond (the bookmark's place against the
    // target: 0 at it, > 0 past it) allows; True when the target was met.
    auto walk = [&](int step, auto beyond_of) {
      walked.clear();
      data_set->ReturnToBookmark(start);
      for (;;) {
        const TBookmark bookmark = data_set->QueryBookmarkText();
        if (bookmark.empty()) return false;
        const int beyond = beyond_of(bookmark);
        if (beyond > 0) return false;
        int pos = 0;
        if (!Find(bookmark, pos)) walked.push_back(taker.Take(bookmark));
        if (beyond == 0) return true;
        data_set->Skip(step);
        if (data_set->Bof() || data_set->Eof()) return false;
      }
    };
    // Bookmarks follow the rows only in physical order; in an index's order
    // the target may stand either way whatever its bookmark says. So the walk
    // goes the way the target is met among the rows the data set shows,
    // trying the way the bookmarks point first: right at once in physical order.
    const int hint = data_set->CompareBookmarkValues(start, Target) < 0 ? 1 : -1;
    auto at_target = [&](const TBookmark& bookmark) { return SameRecord(*data_set, bookmark, Target) ? 0 : -1; };
    if (!walk(hint, at_target) && !walk(-hint, at_target)) {
      // Only a target no row shows (a filter hides it) is placed by its
      // bookmark: the range ends where it is passed.
      walk(hint, [&](const TBookmark& bookmark) { return data_set->CompareBookmarkValues(bookmark, Target) * hint; });
    }
    Join(walked);
    RestoreDataSetPosition(*data_set, position);
  }
}

void TgpSelection::Join(std::vector<Kept>& walked) {
  if (walked.empty()) return;
  TDataSet& data_set = *DataSet();
  auto before = [&](Kept a, Kept b) {
    return data_set.CompareBookmarkValues(store_.Bookmark(a), store_.Bookmark(b)) < 0;
  };
  // A walk in physical order meets the records in bookmark order or its
  // reverse; only an index's order needs a sort.
  const bool descending =
      std::is_sorted(walked.rbegin(), walked.rend(), [&](Kept a, Kept b) { return !before(b, a); });
  if (descending)
    std::reverse(walked.begin(), walked.end());
  else if (!std::is_sorted(walked.begin(), walked.end(), before))
    std::stable_sort(walked.begin(), walked.end(), before);
  // One row per record: of records ranked equal the one met first stays.
  size_t kept = 0;
  for (size_t i = 1; i < walked.size(); ++i) {
    if (before(walked[kept], walked[i]) && ++kept != i) walked[kept] = std::move(walked[i]);
  }
  walked.resize(kept + 1);
  const size_t added = walked.size();
  if (rows_.empty()) {
    rows_.swap(walked);
  } else {
    std::vector<Kept> merged;
    merged.reserve(rows_.size() + walked.size());
    std::merge(std::make_move_iterator(rows_.begin()), std::make_move_iterator(rows_.end()),
               std::make_move_iterator(walked.begin()), std::make_move_iterator(walked.end()),
               std::back_inserter(merged), before);
    rows_.swap(merged);
  }
  walked.clear();
  empty_ = false;
  for (size_t i = 0; i < added; ++i) Notify(grid_->ActiveRow(), false, false);
}

void TgpSelection::DropAll() {
  std::vector<Kept>().swap(rows_);
  shots_.clear();
  store_.Clear();
  empty_ = true;
}

void TgpSelection::Clear(bool Repaint, bool AlsoCurrent) {
  if (AlsoCurrent ? Count() == 0 : ExplicitCount() == 0) return;
  anchor_text_.clear();
  DropAll();
  bool current_changed = false;
  if (AlsoCurrent) {
    current_changed = current_->Valid;
    current_->Invalidate(false);
  }
  Notify(-1, Repaint, current_changed);
}

void TgpSelection::DeleteSelected(bool Reposition, bool Repaint) {
  const int count = Count();
  TDataSet* data_set = DataSet();
  if (count == 0 || !data_set) return;
  int n = Reposition ? (empty_ ? current_->RecNo : store_.RecNo(RowAt(0))) : -1;
  {
    TFreezeScope frozen(*grid_, Repaint);
    TMuteScope muted(*data_set);
    // The selection is emptied, and the links hear, however far the deletes got.
    TScopeExit cleared([this] { Clear(false, true); });
    for (int i = count - 1; i >= 0; --i) {
      const TBookmark bookmark = empty_ ? current_->Bookmark : BookmarkAt(i);
      data_set->ChangeBookmarkText(bookmark);
      // A snapshot without a bookmark (a current record known only by its
      // values) or one the data set could not return to would otherwise
      // delete whichever record happens to be current.
      if (!SameRecord(*data_set, data_set->QueryBookmarkText(), bookmark)) rsError(SBookmarkNotFound);
      data_set->DeleteCurrent();
    }
  }
  if (n == -1) return;
  // Every deleted record had a number >= n: the record now numbered n is the
  // one that followed the first deleted, or the new last record.
  if (data_set->CursorRecordCount() < n) --n;
  if (n <= 0) {
    current_->Invalidate(true);
  } else {
    data_set->SetSequenceNo(n);
    current_->Recapture(true);
  }
}

#include "grid/rs_snap.h"

#include <algorithm>
#include <set>
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

// ---- TgpSelection -----------------------------------------------------------------

TgpSelection::TgpSelection(TgpSelectionSite* grid)
    : grid_(grid), current_(std::make_unique<TgpCurrentRecShot>(grid)) {}

TgpSelection::~TgpSelection() {
  for (int i = 0; i < sorted_.Count(); ++i) delete Sorted(i);
}

TDataSet* TgpSelection::DataSet() const { return grid_->DataLink() ? grid_->DataLink()->QueryDataSet() : nullptr; }

int TgpSelection::Count() const {
  if (empty_) return current_->Valid ? 1 : 0;
  return sorted_.Count();
}

TgpRecShot* TgpSelection::Items(int index) const {
  if (empty_ && current_->Valid && index == 0) return current_.get();
  return Sorted(index);
}

bool TgpSelection::Find(const TBookmark& bookmark, int& Pos) const {
  TDataSet* data_set = DataSet();
  int lo = 0, hi = sorted_.Count() - 1;
  bool found = false;
  while (data_set && hi >= lo) {
    const int mid = (lo + hi) / 2;
    const int order = data_set->CompareBookmarkValues(Sorted(mid)->Bookmark, bookmark);
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
  auto shot = std::make_unique<TgpRecShot>(grid_);
  shot->Capture(bookmark);
  sorted_.Insert(Pos, shot.get());
  order_.Add(shot.release());
  empty_ = false;
}

bool TgpSelection::Delete(int index) {
  TgpRecShot* shot = Sorted(index);
  sorted_.Delete(index);
  order_.Remove(shot);
  delete shot;
  empty_ = sorted_.Count() == 0;
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
  return static_cast<TgpRecShot*>(order_.Items(order_.Count() - 1))->Bookmark;
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
    // The snapshots of the records not yet selected, in the order met; they
    // join the selection in one pass once the range is known, since put into
    // the sorted list one by one each would move the whole list when the walk
    // runs against bookmark order.
    std::vector<std::unique_ptr<TgpRecShot>> walked;
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
        if (!Find(bookmark, pos)) {
          walked.push_back(std::make_unique<TgpRecShot>(grid_));
          walked.back()->Capture(bookmark);
        }
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

void TgpSelection::Join(std::vector<std::unique_ptr<TgpRecShot>>& walked) {
  if (walked.empty()) return;
  TDataSet& data_set = *DataSet();
  auto before = [&data_set](const TgpRecShot* a, const TgpRecShot* b) {
    return data_set.CompareBookmarkValues(a->Bookmark, b->Bookmark) < 0;
  };
  std::vector<TgpRecShot*> fresh;
  fresh.reserve(walked.size());
  for (const auto& shot : walked) fresh.push_back(shot.get());
  // A walk in physical order meets the records in bookmark order or its
  // reverse; only an index's order needs a sort.
  const bool descending = std::is_sorted(fresh.rbegin(), fresh.rend(), [&](const TgpRecShot* a, const TgpRecShot* b) {
    return !before(b, a);
  });
  if (descending)
    std::reverse(fresh.begin(), fresh.end());
  else if (!std::is_sorted(fresh.begin(), fresh.end(), before))
    std::stable_sort(fresh.begin(), fresh.end(), before);
  // One snapshot per record: of records ranked equal the one met first stays.
  std::set<const TgpRecShot*> dropped;
  for (size_t kept = 0, i = 1; i < fresh.size(); ++i) {
    if (before(fresh[kept], fresh[i]))
      kept = i;
    else
      dropped.insert(fresh[i]);
  }
  std::vector<TgpRecShot*> merged;
  merged.reserve(static_cast<size_t>(sorted_.Count()) + fresh.size());
  int old = 0;
  for (TgpRecShot* shot : fresh) {
    if (dropped.count(shot) != 0) continue;
    while (old < sorted_.Count() && before(Sorted(old), shot)) merged.push_back(Sorted(old++));
    merged.push_back(shot);
  }
  while (old < sorted_.Count()) merged.push_back(Sorted(old++));
  sorted_.Clear();
  sorted_.SetCapacity(static_cast<int>(merged.size()));
  for (TgpRecShot* shot : merged) sorted_.Add(shot);
  int added = 0;
  for (auto& shot : walked) {
    if (dropped.count(shot.get()) != 0) continue;
    order_.Add(shot.release());
    ++added;
  }
  walked.clear();
  empty_ = false;
  for (int i = 0; i < added; ++i) Notify(grid_->ActiveRow(), false, false);
}

void TgpSelection::Clear(bool Repaint, bool AlsoCurrent) {
  if (AlsoCurrent ? Count() == 0 : ExplicitCount() == 0) return;
  anchor_text_.clear();
  for (int i = 0; i < sorted_.Count(); ++i) delete Sorted(i);
  sorted_.Clear();
  order_.Clear();
  empty_ = true;
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
  int n = Reposition ? Items(0)->RecNo : -1;
  {
    TFreezeScope frozen(*grid_, Repaint);
    TMuteScope muted(*data_set);
    // The selection is emptied, and the links hear, however far the deletes got.
    TScopeExit cleared([this] { Clear(false, true); });
    for (int i = count - 1; i >= 0; --i) {
      const TBookmark bookmark = Items(i)->Bookmark;
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

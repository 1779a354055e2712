// The column collection and its layout engine: groups side by side, lines
// stacked inside a group, widths kept proportional through TScaleableItems,
// fixed groups on the left, fitting to the client width and the window of
// scrollable groups.
//
// Layout rules on the columns, in collection order: a column with
// LayoutLevel 0 and LayoutIndex 0 starts a new group; inside a group a
// visible column whose LayoutLevel equals the previous visible column's
// continues that line, any other level starts the next line. Operations that
// move columns renumber the groups they touch so that levels and indexes stay
// consecutive from 0.
#include <algorithm>
#include <cstdlib>

#include "grid/rs.h"
#include "grid/rs_str.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"

namespace {

// The upper limit of every scaled size.
constexpr int kMaxItemSize = 0x0FFFFFFF;
// The narrowest a column may become.
constexpr int kMinColumnWidth = 2;

}  // namespace

// ---- TScaleableItems -------------------------------------------------------------------

TScaleableItems::~TScaleableItems() { Clear(); }

void TScaleableItems::Notify(void* item, TListNotification action) {
  if (action == lnDeleted) delete static_cast<TScaleableItem*>(item);
}

TScaleableItem* TScaleableItems::Add(int Size, bool Fixed, int Min, int Max) {
  auto* item = new TScaleableItem;
  item->Size = Size;
  item->Min = Fixed ? Size : Min;
  item->Max = Fixed ? Size : Max;
  TList::Add(item);
  return item;
}

bool TScaleableItems::SetItemSize(TScaleableItem* Item, int Value) {
  bool accepted = Item->Min <= Value && Value <= Item->Max;
  if (!accepted) {
    Item->Clamped = true;
    Value = std::clamp(Value, Item->Min, std::max(Item->Min, Item->Max));
  }
  Item->Size = Value;
  return accepted;
}

namespace {

// Spreads D over items [from, to) in proportion to their sizes (sum is their
// total), pass after pass while a pass changes something, then pixel by
// pixel when little is left. D and sum follow what was moved.
void Spread(TScaleableItems& items, int from, int to, int& sum, int& D, bool second_pixel_pass) {
  int successes = 0;
  bool changed = true;
  while (D != 0 && changed) {
    changed = false;
    int moved = 0;
    // Items that can still take a share; a set whose sizes sum to 0 shares
    // equally among them rather than dividing by that sum.
    int open = 0;
    for (int i = from; i < to; ++i) {
      if (!items.Item(i)->Clamped) ++open;
    }
    for (int i = from; i < to && moved != D; ++i) {
      TScaleableItem* item = items.Item(i);
      if (item->Clamped) continue;
      int share = sum != 0 ? MulDiv(D, item->Size, sum) : MulDiv(D - moved, 1, open);
      --open;
      int old = item->Size;
      if (TScaleableItems::SetItemSize(item, item->Size + share)) {
        ++successes;
        if (item->Size != old) changed = true;
      }
      moved += item->Size - old;
    }
    sum += moved;
    D -= moved;
  }
  if (D == 0 || std::abs(D) >= successes / 2) return;
  auto pixel_pass = [&] {
    for (int i = from; i < to && D != 0; ++i) {
      TScaleableItem* item = items.Item(i);
      if (item->Clamped) continue;
      int step = Sign(D);
      if (TScaleableItems::SetItemSize(item, item->Size + step)) {
        D -= step;
        sum += step;
      }
    }
  };
  pixel_pass();
  if (second_pixel_pass && D != 0) pixel_pass();
}

}  // namespace

void TScaleableItems::Scale(int Value, int Index) {
  int n = Count();
  if (Index >= n) Index = -1;
  int sum_before = 0;
  int sum_after = 0;
  for (int i = 0; i < n; ++i) {
    if (Index >= 0 && i < Index) sum_before += Item(i)->Size;
    if (i > Index) sum_after += Item(i)->Size;
  }
  int D;
  if (Index >= 0) {
    TScaleableItem* item = Item(Index);
    int old = item->Size;
    SetItemSize(item, Value);
    D = old - item->Size;
  } else {
    D = Value - sum_after;
  }
  Spread(*this, Index + 1, n, sum_after, D, Index < 0);
  if (Index >= 0 && D != 0) {
    Spread(*this, 0, Index, sum_before, D, false);
    TScaleableItem* item = Item(Index);
    SetItemSize(item, item->Size + D);
  }
}

// ---- TgpGroupInfo -----------------------------------------------------------------------

void TgpGroupInfo::Reset() { *this = TgpGroupInfo(); }

// ---- TgpColumns -------------------------------------------------------------------------

const TClassInfo& TgpColumns::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TgpColumns>, "TgpColumns", &TCollection::StaticClassInfo());
  return info;
}

TgpColumns::TgpColumns(IgpColumnsHost* Host)
    : TCollection([](TCollection* c) { return new TgpColumn(c); }), host_(Host) {}

TgpColumns::~TgpColumns() {
  // The columns go while the collection is still whole, as in a free-standing one.
  host_ = nullptr;
  Clear();
}

TDBGridPro* TgpColumns::Grid() const { return host_ != nullptr ? host_->HostGrid() : nullptr; }

TgpColumn* TgpColumns::ColumnByFieldName(const AnsiString& Name) const {
  for (int i = 0; i < Count(); ++i) {
    if (AnsiSameText(Items(i)->FieldName(), Name)) return Items(i);
  }
  return nullptr;
}

int TgpColumns::IndexOf(const TgpColumn* Column) const {
  for (int i = 0; i < Count(); ++i) {
    if (Items(i) == Column) return i;
  }
  return -1;
}

void TgpColumns::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TgpColumns*>(source);
  if (other == nullptr) {
    TCollection::Assign(source);
    return;
  }
  if (other == this) return;
  TUpdateScope update(*this);
  Clear();
  RecomputeGroups();
  for (int i = 0; i < other->Count(); ++i) Add()->Assign(other->Items(i));
}

void TgpColumns::AssignColumns(const TgpColumns* Source, bool ByPosition, unsigned Mask) {
  if (Source == nullptr || Source == this) return;
  {
    TUpdateScope update(*this);
    if (ByPosition) {
      Clear();
      for (int i = 0; i < Source->Count(); ++i) Add()->AssignMasked(Source->Items(i), Mask);
    } else {
      // A grid may hold one field in several columns (hidden and shown): the
      // n-th source column of a name goes to the n-th destination column of
      // that name, so each keeps its own stored settings.
      for (int i = 0; i < Source->Count(); ++i) {
        const TgpColumn* from = Source->Items(i);
        int occurrence = 0;
        for (int k = 0; k < i; ++k) {
          if (AnsiSameText(Source->Items(k)->FieldName(), from->FieldName())) ++occurrence;
        }
        for (int j = 0; j < Count(); ++j) {
          if (!AnsiSameText(Items(j)->FieldName(), from->FieldName())) continue;
          if (occurrence-- == 0) {
            Items(j)->AssignMasked(from, Mask);
            break;
          }
        }
      }
    }
  }
}

void TgpColumns::BeginUpdate() {
  updating_ = true;
  TCollection::BeginUpdate();
  if (host_ != nullptr) host_->FreezeGrid();
}

void TgpColumns::EndUpdate() {
  if (host_ != nullptr) host_->UnfreezeGrid(false);
  TCollection::EndUpdate();
}

void TgpColumns::Update(TCollectionItem*) {
  updating_ = false;
  if (operation_code_ != 0) return;
  if (host_ != nullptr) host_->LayoutChanged();
}

// Runs one layout operation under its code; at the end (also after an
// exception) the code goes back and the column reports its change, which
// relays the grid out once the outermost operation ends.
class TgpColumns::Operation {
 public:
  template <class F>
  static void Run(TgpColumns& columns, int code, TgpColumn* column, F&& body) {
    TScopeExit reported([&] { Report(columns, column); });
    TScopedValue<int> operation(columns.operation_code_, code);
    body();
  }

 private:
  static void Report(TgpColumns& columns, TgpColumn* column) {
    if (column != nullptr && column->Collection() == &columns) {
      column->Changed(false);
    } else {
      columns.Changed();
    }
  }
};

// ---- Sorted and selectable columns ------------------------------------------------------------

namespace {

std::vector<TgpColumn*> SortedList(const TgpColumns& columns) {
  std::vector<TgpColumn*> sorted;
  for (int i = 0; i < columns.Count(); ++i) {
    TgpColumn* c = columns.Items(i);
    if (c->Visible() && c->TitleState() != tsSortedNone) sorted.push_back(c);
  }
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const TgpColumn* a, const TgpColumn* b) { return a->SortOrder() < b->SortOrder(); });
  return sorted;
}

}  // namespace

int TgpColumns::SortedCount() const { return static_cast<int>(SortedList(*this).size()); }

TgpColumn* TgpColumns::SortedColumns(int index) const {
  std::vector<TgpColumn*> sorted = SortedList(*this);
  ::CheckIndex(index, static_cast<int>(sorted.size()));
  return sorted[static_cast<size_t>(index)];
}

void TgpColumns::RebuildSelectable() {
  selectable_.clear();
  for (int i = 0; i < Count(); ++i) {
    if (Items(i)->IsSelectable()) selectable_.push_back(Items(i));
  }
}

int TgpColumns::NearestSelectable() const {
  int current = host_ != nullptr ? host_->CurrentColumnIndex() : -1;
  int before = -1;
  for (int i = 0; i < Count(); ++i) {
    if (!Items(i)->IsSelectable()) continue;
    if (i >= current) return i;
    before = i;
  }
  return before;
}

// ---- Groups ---------------------------------------------------------------------------------

bool TgpColumns::GroupStart(int index) const {
  if (index == 0) return true;
  const TgpColumn* c = Items(index);
  return c->LayoutLevel() == 0 && c->LayoutIndex() == 0;
}

int TgpColumns::GroupEnd(int first) const {
  int last = first;
  while (last + 1 < Count() && !GroupStart(last + 1)) ++last;
  return last;
}

bool TgpColumns::RecomputeGroups() {
  int n = Count();
  // 1. Lines and positions.
  TgpColumn* prev = nullptr;
  int visible_groups = 0;
  for (int i = 0; i < n; ++i) {
    TgpColumn* c = Items(i);
    if (GroupStart(i)) prev = nullptr;
    if (!c->visible_) {
      c->line_no_ = c->line_pos_ = c->line_offset_ = -1;
      continue;
    }
    if (prev == nullptr) {
      c->line_no_ = 0;
      c->line_pos_ = 0;
      ++visible_groups;
    } else if (prev->layout_level_ == c->layout_level_) {
      c->line_no_ = prev->line_no_;
      c->line_pos_ = prev->line_pos_ + 1;
    } else {
      c->line_no_ = prev->line_no_ + 1;
      c->line_pos_ = 0;
    }
    prev = c;
  }
  // 2. One record per group that shows a column; surplus ones go from the front.
  while (static_cast<int>(groups_.size()) > visible_groups) groups_.erase(groups_.begin());
  while (static_cast<int>(groups_.size()) < visible_groups) groups_.push_back(std::make_unique<TgpGroupInfo>());
  // 3. The records, group by group.
  int index = 0;
  int absolute = 0;
  for (int first = 0; first < n; ++absolute) {
    int last = GroupEnd(first);
    bool shows = false;
    for (int i = first; i <= last; ++i) shows = shows || Items(i)->visible_;
    TgpGroupInfo* g = nullptr;
    if (shows) {
      g = groups_[static_cast<size_t>(index)].get();
      g->Reset();
      g->Index = index++;
      g->AbsoluteIndex = absolute;
      g->FirstColumn = first;
    }
    for (int i = first; i <= last; ++i) {
      TgpColumn* c = Items(i);
      c->group_ = g;
      if (g == nullptr) continue;
      g->LastColumn = i;
      if (!c->visible_) continue;
      if (c->options_behavior_.Contains(cboFixedWidth)) g->FixedWidth = true;
      if (c->options_behavior_.Contains(cboStandalone)) g->Standalone = true;
      if (g->FirstVisible == -1) {
        g->FirstVisible = i;
      } else if (g->SecondVisible == -1) {
        g->SecondVisible = i;
      }
      g->LastVisible = i;
      if (c->line_pos_ == 0) ++g->LineCount;
    }
    first = last + 1;
  }
  // 4. Neighbourhood.
  TgpColumn* prev_visible = nullptr;
  for (int i = 0; i < n; ++i) {
    TgpColumn* c = Items(i);
    c->prev_visible_ = prev_visible;
    if (!c->visible_) {
      c->in_last_line_ = c->last_in_line_ = false;
      continue;
    }
    c->in_last_line_ = c->group_ != nullptr && c->line_no_ + 1 == c->group_->LineCount;
    c->last_in_line_ = true;
    if (prev_visible != nullptr) {
      prev_visible->last_in_line_ = !(prev_visible->group_ == c->group_ && prev_visible->line_no_ == c->line_no_);
    }
    prev_visible = c;
  }
  TgpColumn* next_visible = nullptr;
  for (int i = n - 1; i >= 0; --i) {
    TgpColumn* c = Items(i);
    c->next_visible_ = next_visible;
    if (c->visible_) next_visible = c;
  }
  // 5. Fixed and scrollable ranges.
  first_scroll_group_ = -1;
  last_scroll_group_ = -1;
  last_fixed_group_ = -1;
  for (auto& g : groups_) {
    g->Single = g->FirstColumn == g->LastColumn;
    g->Fixed = Items(g->FirstColumn)->fixed_;
    if (g->Fixed == cfNone) {
      if (first_scroll_group_ == -1) first_scroll_group_ = g->Index;
      last_scroll_group_ = g->Index;
    } else {
      last_fixed_group_ = g->Index;
    }
  }
  if (first_scroll_group_ == -1) first_scroll_group_ = 0;
  return HasScroll();
}

void TgpColumns::RecomputeWidths() {
  total_width_ = 0;
  if (host_ != nullptr) line_width_ = host_->HostMetrics().VLineWidth;
  for (auto& gp : groups_) {
    TgpGroupInfo* g = gp.get();
    g->Width = 0;
    g->MinWidth = 0;
    if (host_ != nullptr) g->LineWidth = line_width_;
    int line_sum = 0;
    int line_columns = 0;
    int line_level = 0;
    auto close_line = [&] {
      if (line_columns == 0) return;
      RaiseTo(g->Width, line_sum);
      RaiseTo(g->MinWidth, kMinColumnWidth * line_columns);
    };
    for (int i = g->FirstColumn; i <= g->LastColumn; ++i) {
      TgpColumn* c = Items(i);
      if (!c->visible_) {
        c->line_offset_ = -1;
        continue;
      }
      if (line_columns == 0 || c->layout_level_ != line_level) {
        close_line();
        line_sum = 0;
        line_columns = 0;
        line_level = c->layout_level_;
      }
      c->line_offset_ = line_sum;
      line_sum += c->width_;
      ++line_columns;
    }
    close_line();
    g->TotalWidth = g->Width + g->LineWidth;
    g->Left = total_width_;
    total_width_ += g->TotalWidth;
  }
  fixed_width_ = 0;
  if (HasFixed()) {
    const TgpGroupInfo* g = Groups(last_fixed_group_);
    fixed_width_ = g->Left + g->TotalWidth;
  }
}

void TgpColumns::UpdateGroupFlags(TgpGroupInfo* Group) {
  if (Group == nullptr) return;
  Group->FixedWidth = false;
  Group->Standalone = false;
  for (int i = Group->FirstColumn; i <= Group->LastColumn; ++i) {
    const TgpColumn* c = Items(i);
    if (!c->visible_) continue;
    if (c->options_behavior_.Contains(cboFixedWidth)) Group->FixedWidth = true;
    if (c->options_behavior_.Contains(cboStandalone)) Group->Standalone = true;
  }
}

int TgpColumns::LineRange(const TgpGroupInfo* Group, int Line, int& First, int& Last) const {
  First = Last = -1;
  int count = 0;
  if (Group == nullptr) return 0;
  for (int i = Group->FirstColumn; i <= Group->LastColumn; ++i) {
    if (Items(i)->line_no_ != Line) continue;
    if (First == -1) First = i;
    Last = i;
    ++count;
  }
  return count;
}

int TgpColumns::LineOf(const TgpColumn* Column) const {
  const TgpGroupInfo* g = Column->group_;
  if (g == nullptr) return -1;
  for (int i = g->FirstColumn; i <= g->LastColumn; ++i) {
    const TgpColumn* c = Items(i);
    if (c->layout_level_ == Column->layout_level_ && c->line_no_ != -1) return c->line_no_;
  }
  return -1;
}

bool TgpColumns::IsAloneInLine(const TgpColumn* Column) const {
  const TgpGroupInfo* g = Column->group_;
  if (g == nullptr) return true;
  for (int i = g->FirstColumn; i <= g->LastColumn; ++i) {
    const TgpColumn* c = Items(i);
    if (c != Column && c->visible_ && c->layout_level_ == Column->layout_level_) return false;
  }
  return true;
}

bool TgpColumns::SameGroup(const TgpColumn* A, const TgpColumn* B) const {
  return A != nullptr && B != nullptr && A->group_ != nullptr && A->group_ == B->group_;
}

// ---- Widths ---------------------------------------------------------------------------------

void TgpColumns::SetGroupWidth(TgpGroupInfo* Group, int W) {
  for (int line = 0; line < Group->LineCount; ++line) {
    ResizeLine(Group, line, 0, false, std::max(W, Group->MinWidth), nullptr);
  }
}

void TgpColumns::ResizeLine(TgpGroupInfo* Group, int Line, int Delta, bool AdjustGroup, int Absolute,
                            TgpColumn* ItemColumn) {
  int first = 0;
  int last = 0;
  if (LineRange(Group, Line, first, last) == 0) return;
  TScaleableItems items;
  std::vector<TgpColumn*> line;
  int sum = 0;
  int item_index = -1;
  for (int i = first; i <= last; ++i) {
    TgpColumn* c = Items(i);
    if (!c->visible_ || c->line_no_ != Line) continue;
    if (c == ItemColumn) item_index = static_cast<int>(line.size());
    items.Add(c->width_, c->options_behavior_.Contains(cboFixedWidth), kMinColumnWidth, kMaxItemSize);
    line.push_back(c);
    sum += c->width_;
  }
  // The total the line is meant to have: the new total for the whole line,
  // or the old one when the resized column's neighbours absorb its change.
  int target = sum;
  if (item_index < 0) {
    target = (Absolute != 0 ? Absolute : sum) + Delta;
    items.Scale(target, -1);
  } else {
    int wanted = Delta + (Absolute != 0 ? Absolute : ItemColumn->width_);
    // What the neighbours cannot absorb comes back off the resized column,
    // so the line keeps its total: a column with neighbours never pushes its
    // group wider, however far its border is dragged.
    items.Scale(wanted, item_index);
  }
  int total = 0;
  for (size_t k = 0; k < line.size(); ++k) {
    line[k]->width_ = items.Item(static_cast<int>(k))->Size;
    total += line[k]->width_;
  }
  // Only what the line could not reach moves the group: a column hidden or
  // shown in its line changes the line, not the group.
  if (AdjustGroup && total != target) ResizeGroup(Group, 0, total - target);
}

void TgpColumns::ResizeGroup(TgpGroupInfo* Group, int W, int Delta) {
  if (Group == nullptr) return;
  if (W == 0) W = Group->Width + Delta;
  if (Group->Fixed == cfLeft) {
    SetGroupWidth(Group, W);
    RecomputeWidths();
    if (auto_column_fit_) FitToWidth(false, true);
  } else if (auto_column_fit_) {
    TScaleableItems items;
    std::vector<TgpGroupInfo*> scrollable;
    int index = -1;
    for (auto& g : groups_) {
      if (g->Fixed != cfNone) continue;
      if (g.get() == Group) index = static_cast<int>(scrollable.size());
      items.Add(g->Width, g->FixedWidth, g->MinWidth, kMaxItemSize);
      scrollable.push_back(g.get());
    }
    items.Scale(W, index);
    for (size_t k = 0; k < scrollable.size(); ++k) {
      SetGroupWidth(scrollable[k], items.Item(static_cast<int>(k))->Size);
    }
  } else {
    SetGroupWidth(Group, W);
  }
  RecomputeWidths();
}

void TgpColumns::FitToWidth(bool Fixed, bool Scrollable) {
  // A grid with no room yet (never shown, or on a page not shown) has no width
  // to fit to: the widths it holds are the proportions it is to show.
  if (available_width_ <= 0) return;
  // Scales the groups of one kind to target (their widths without lines).
  auto fit = [this](TgpColumnFixed kind, int target) {
    TScaleableItems items;
    std::vector<TgpGroupInfo*> fitted;
    for (auto& g : groups_) {
      if (g->Fixed != kind) continue;
      target -= g->LineWidth;
      items.Add(g->Width, g->FixedWidth, g->MinWidth, kMaxItemSize);
      fitted.push_back(g.get());
    }
    if (fitted.empty()) return;
    items.Scale(target, -1);
    for (size_t k = 0; k < fitted.size(); ++k) SetGroupWidth(fitted[k], items.Item(static_cast<int>(k))->Size);
    RecomputeWidths();
  };
  if (Fixed && HasFixed() && total_width_ > 0) {
    int target = std::max(0, static_cast<int>(static_cast<int64_t>(available_width_) * fixed_width_ / total_width_));
    fit(cfLeft, target);
  }
  if (Scrollable && HasScroll()) fit(cfNone, std::max(available_width_ - fixed_width_, 0));
}

void TgpColumns::Refit() {
  if (HasGroups() && auto_column_fit_) FitToWidth(true, true);
  UpdateScrollWindow(false, true);
}

// ---- The horizontal window ------------------------------------------------------------------

void TgpColumns::CountScrollPositions() {
  scroll_positions_ = 0;
  if (!HasScroll()) return;
  int room = std::max(available_width_ - fixed_width_, 0);
  const TgpGroupInfo* last = Groups(last_scroll_group_);
  int end = last->Left + last->TotalWidth;
  for (int i = first_scroll_group_; i <= last_scroll_group_; ++i) {
    if (Groups(i)->Fixed != cfNone) continue;
    ++scroll_positions_;
    if (room >= end - Groups(i)->Left) break;
  }
}

void TgpColumns::UpdateScrollWindow(bool KeepCurrent, bool Recount) {
  if (HasScroll()) {
    if (Recount) CountScrollPositions();
    if (KeepCurrent && host_ != nullptr) {
      int current = host_->CurrentColumnIndex();
      if (current >= 0 && current < Count()) {
        const TgpColumn* c = Items(current);
        if (c->group_ != nullptr && !IsGroupFullyVisible(c)) first_visible_group_ = c->group_->Index;
      }
    }
    first_visible_group_ =
        std::clamp(first_visible_group_, first_scroll_group_, first_scroll_group_ + std::max(scroll_positions_, 1) - 1);
    last_visible_group_ = first_visible_group_;
    int origin = Groups(first_visible_group_)->Left;
    for (auto& g : groups_) {
      g->InView = true;
      if (g->Index < first_scroll_group_ || g->Index > last_scroll_group_) {
        g->ScreenX = g->Left;
      } else if (g->Index < first_visible_group_) {
        g->ScreenX = 0;
        g->InView = false;
      } else {
        g->ScreenX = fixed_width_ + g->Left - origin;
        if (g->ScreenX < available_width_) last_visible_group_ = g->Index;
      }
    }
  } else {
    first_visible_group_ = last_visible_group_ = -1;
    scroll_positions_ = 0;
    for (auto& g : groups_) {
      g->InView = true;
      g->ScreenX = g->Left;
    }
  }
  if (host_ != nullptr) host_->UpdateHScrollBar(false);
}

void TgpColumns::SetFirstVisibleGroup(int value) {
  first_visible_group_ = value;
  UpdateScrollWindow(false, false);
}

bool TgpColumns::IsGroupFullyVisible(const TgpColumn* Column) const {
  if (Column->fixed_ == cfLeft || scroll_positions_ == 0) return true;
  const TgpGroupInfo* g = Column->group_;
  if (g == nullptr) return true;
  if (g->Index < first_visible_group_) return false;
  bool at_last_position = first_scroll_group_ + scroll_positions_ == first_visible_group_ + 1;
  if (g->Index >= last_visible_group_ && !at_last_position) return false;
  return true;
}

// ---- Moving columns and groups --------------------------------------------------------------

int TgpColumns::DestIndex(int Current, int Target, int Count, bool Before) {
  if (Before && Current < Target && Target > 0) return Target - 1;
  if (!Before && Target < Current && Target < Count - 1) return Target + 1;
  return Target;
}

void TgpColumns::MoveItem(TgpColumn* Column, int NewIndex) { Column->TCollectionItem::SetIndex(NewIndex); }

void TgpColumns::ShowHidden(TgpColumn* Column) {
  Column->visible_ = true;
  RecomputeGroups();
  RecomputeWidths();
}

void TgpColumns::RenumberGroup(TgpGroupInfo* Group) {
  if (Group == nullptr) return;
  bool first = true;
  int level = 0;
  int index = 0;
  int previous_old = 0;
  for (int i = 0; i < Count(); ++i) {
    TgpColumn* c = Items(i);
    if (c->group_ != Group) continue;
    int old = c->layout_level_;
    if (first) {
      first = false;
    } else if (old != previous_old) {
      ++level;
      index = 0;
    } else {
      ++index;
    }
    previous_old = old;
    c->layout_level_ = level;
    c->layout_index_ = index;
  }
}

void TgpColumns::MoveColumn(TgpColumn* Column, TgpGroupInfo* Group, int Level, int Index) {
  // The position is checked before anything changes, so that a refused move
  // leaves a hidden column hidden.
  if (Level < 0 || Index < -1) {
    throw EDBGridPro(rsFormatStr(SInvalidLayoutPosition, {Level, Index}));
  }
  if (!Column->visible_) {
    TgpColumn* group_first = Group != nullptr ? Items(Group->FirstColumn) : nullptr;
    ShowHidden(Column);
    Group = group_first != nullptr ? group_first->group_ : nullptr;
  }
  if (Group == nullptr) Group = Column->group_;
  if (Group == nullptr) return;
  if (Group == Column->group_ && Group->Single) return;
  Operation::Run(*this, 1, Column, [&] {
    int target_width = Group->Width;
    TgpGroupInfo* old_group = Column->group_;
    int old_width = old_group != nullptr ? old_group->Width : 0;
    bool old_single = old_group == nullptr || old_group->Single;
    // A visible column that stays behind in the old group.
    TgpColumn* remaining = nullptr;
    if (old_group != nullptr && old_group != Group) {
      for (int i = old_group->FirstColumn; i <= old_group->LastColumn && remaining == nullptr; ++i) {
        if (Items(i) != Column && Items(i)->visible_) remaining = Items(i);
      }
    }
    if (Index == -1) {
      for (int i = Group->FirstColumn; i <= Group->LastColumn; ++i) {
        if (Items(i)->layout_level_ >= Level) ++Items(i)->layout_level_;
      }
      Index = 0;
    }
    auto at_or_after = [&](const TgpColumn* c) {
      return c->layout_level_ > Level || (c->layout_level_ == Level && c->layout_index_ >= Index);
    };
    int p = Group->FirstColumn;
    while (p + 1 <= Group->LastColumn && !at_or_after(Items(p + 1))) ++p;
    const TgpColumn* at = Items(p);
    bool before = Level < at->layout_level_ || (Level == at->layout_level_ && at->layout_index_ >= Index);
    int new_index = DestIndex(Column->Index(), p, Count(), before);
    Column->layout_level_ = Level;
    Column->layout_index_ = Index;
    Column->group_ = Group;
    MoveItem(Column, new_index);
    if (!old_single) RenumberGroup(old_group);
    if (Group != old_group) RenumberGroup(Group);
    RecomputeGroups();
    if (Column->visible_) {
      ResizeGroup(Column->group_, target_width);
      if (remaining != nullptr && !old_single && remaining->group_ != nullptr) {
        ResizeGroup(remaining->group_, old_width);
      }
    }
  });
}

void TgpColumns::MakeGroup(TgpColumn* Column, TgpGroupInfo* Before) {
  if (!Column->visible_) {
    TgpColumn* before_first = Before != nullptr ? Items(Before->FirstColumn) : nullptr;
    ShowHidden(Column);
    Before = before_first != nullptr ? before_first->group_ : nullptr;
  }
  Operation::Run(*this, 2, Column, [&] {
    TgpGroupInfo* old_group = Column->group_;
    int width = old_group != nullptr ? old_group->Width : 0;
    int new_index = Before != nullptr ? DestIndex(Column->Index(), Before->FirstColumn, Count(), true) : Count() - 1;
    Column->layout_level_ = 0;
    Column->layout_index_ = 0;
    TgpColumn* remaining = nullptr;
    if (old_group != nullptr && old_group->SecondVisible != -1) {
      remaining = old_group->SecondVisible == Column->Index() ? Items(old_group->FirstVisible)
                                                              : Items(old_group->SecondVisible);
      if (remaining == Column) remaining = nullptr;
    }
    Column->group_ = nullptr;
    MoveItem(Column, new_index);
    if (remaining != nullptr) RenumberGroup(remaining->group_);
    RecomputeGroups();
    if (Column->visible_ && remaining != nullptr) ResizeGroup(remaining->group_, width);
  });
}

void TgpColumns::MoveGroup(TgpGroupInfo* Group, TgpGroupInfo* Before) {
  if (Group == nullptr) return;
  Operation::Run(*this, 5, nullptr, [&] {
    std::vector<TgpColumn*> moved;
    std::vector<TgpColumn*> order;
    TgpColumn* anchor = Before != nullptr ? Items(Before->FirstColumn) : nullptr;
    for (int i = 0; i < Count(); ++i) {
      if (i >= Group->FirstColumn && i <= Group->LastColumn) {
        moved.push_back(Items(i));
      } else {
        order.push_back(Items(i));
      }
    }
    auto at = anchor != nullptr ? std::find(order.begin(), order.end(), anchor) : order.end();
    order.insert(at, moved.begin(), moved.end());
    for (size_t k = 0; k < order.size(); ++k) MoveItem(order[k], static_cast<int>(k));
  });
}

TgpColumn* TgpColumns::AddColumn(TgpGroupInfo* Group, int Level, TgpColumn* Source, int Index) {
  TgpColumn* group_first = Group != nullptr ? Items(Group->FirstColumn) : nullptr;
  TgpColumn* column = nullptr;
  {
    TScopedValue<int> operation(operation_code_, 4);
    column = Add();
  }
  RecomputeGroups();
  RecomputeWidths();
  TgpGroupInfo* target = group_first != nullptr ? group_first->group_ : nullptr;
  if (Source != nullptr) column->SetFieldName(Source->FieldName());
  if (Level == -1) {
    MakeGroup(column, target);
  } else {
    MoveColumn(column, target, Level, Index);
  }
  return column;
}

void TgpColumns::ApplyFixed() {
  if (host_ != nullptr && host_->HostLoading()) return;
  // Inside an update the groups may not match the columns yet.
  if (UpdateCount() != 0 || !HasGroups()) return;
  Operation::Run(*this, 3, nullptr, [&] {
    TgpGroupInfo* target = HasFixed() ? Groups(first_scroll_group_) : Groups(0);
    for (int i = Count() - 1; i >= 0; --i) {
      TgpColumn* c = Items(i);
      if (c->visible_ && c->group_ != nullptr && c->fixed_ != c->group_->Fixed) MakeGroup(c, target);
    }
  });
}

void TgpColumns::ApplyAttrs() {
  if (host_ == nullptr) return;
  AnsiString attrs = host_->HostAttrs();
  for (int i = 0; i < Count(); ++i) Items(i)->FieldList()->SetAttrs(attrs);
}

// TDataSource and TDataLink: the data set's notices on their way to the
// consumers, and each link's own window of rows.
//
// A link's window is a range of the data set's buffer window: first_record_
// is the buffer index of its row 0. When the data set's window scrolls or its
// active record leaves the link's range, the range follows, and the link
// learns how far its rows moved (the scroll distance).
#include <algorithm>
#include <cassert>

#include "toolkit/db/db.h"

// ---- TDataSource -----------------------------------------------------------------

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() { Shutdown(); }

void TDataSource::BeforeDestruction() {
  Shutdown();
  TComponent::BeforeDestruction();
}

void TDataSource::Shutdown() {
  OnStateChange = nullptr;
  OnDataChange = nullptr;
  OnUpdateData = nullptr;
  if (data_set_ != nullptr) data_set_->RemoveDataSource(this);
  while (!links_.empty()) RemoveLink(links_.back());
}

void TDataSource::SetDataSet(TDataSet* data_set) {
  if (data_set == data_set_) return;
  if (data_set != nullptr && IsLinkedTo(data_set)) RaiseDataSetError(dbtext::kCircularDataLink, this);
  if (data_set_ != nullptr) data_set_->RemoveDataSource(this);
  if (data_set != nullptr) data_set->AddDataSource(this);
}

bool TDataSource::IsLinkedTo(TDataSet* data_set) const {
  // Walk the master chain of the data set: a source that feeds its own master is circular.
  for (TDataSet* d = data_set; d != nullptr;) {
    TDataSource* master = d->GetMasterSource();
    if (master == this) return true;
    if (master == nullptr || master->data_set_ == data_set) break;
    d = master->data_set_;
  }
  return false;
}

void TDataSource::SetEnabled(bool value) {
  enabled_ = value;
  UpdateState();
}

void TDataSource::Edit() {
  if (auto_edit_ && state_ == dsBrowse && data_set_ != nullptr) data_set_->StartEdit();
}

void TDataSource::UpdateState() {
  SetState(enabled_ && data_set_ != nullptr ? data_set_->CurrentMode() : dsInactive);
}

void TDataSource::SetState(TDataSetMode state) {
  if (state_ == state) return;
  const TDataSetMode prior = state_;
  state_ = state;
  NotifyLinks(deUpdateState, {});
  if (ComponentState().Contains(csDestroying)) return;
  if (OnStateChange) OnStateChange(this);
  if (prior == dsInactive && OnDataChange) OnDataChange(this, nullptr);
}

void TDataSource::NotifyLinks(TDataSetEventKind kind, const TEventInfo& info) {
  // Copy: a link's handler may detach links.
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* l : links)
    if (std::find(links_.begin(), links_.end(), l) != links_.end()) l->DispatchEvent(kind, info);
}

void TDataSource::DataEvent(TDataSetEventKind kind, const TEventInfo& info) {
  if (kind == deUpdateState) {
    UpdateState();
    return;
  }
  if (state_ == dsInactive) return;
  NotifyLinks(kind, info);
  switch (kind) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(this, info.field);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

void TDataSource::AddLink(TDataLink* link) {
  // A link listens to one source and is listed there once.
  assert(link->data_source_ == nullptr);
  assert(std::find(links_.begin(), links_.end(), link) == links_.end());
  links_.push_back(link);
  link->data_source_ = this;
  if (data_set_ != nullptr) data_set_->UpdateWindowSize();
  link->UpdateState();
}

void TDataSource::RemoveLink(TDataLink* link) {
  assert(link->data_source_ == this);
  assert(std::count(links_.begin(), links_.end(), link) == 1);
  link->data_source_ = nullptr;
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
  link->UpdateState();
  if (data_set_ != nullptr) data_set_->UpdateWindowSize();
}

// ---- TDataLink -----------------------------------------------------------------

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
  // No notices to a link whose derived part is gone.
  active_ = false;
  if (data_source_ != nullptr) {
    TDataSource* source = data_source_;
    data_source_ = nullptr;
    source->links_.erase(std::remove(source->links_.begin(), source->links_.end(), this), source->links_.end());
    if (source->data_set_ != nullptr) source->data_set_->UpdateWindowSize();
  }
}

void TDataLink::ChangeDataSource(TDataSource* source) {
  if (source == data_source_) return;
  if (data_source_ != nullptr) data_source_->RemoveLink(this);
  if (source != nullptr) source->AddLink(this);
}

TDataSet* TDataLink::QueryDataSet() const { return data_source_ != nullptr ? data_source_->DataSet() : nullptr; }

void TDataLink::SetReadOnly(bool value) {
  if (read_only_ == value) return;
  read_only_ = value;
  UpdateState();
}

int TDataLink::QueryActiveRow() const {
  if (!active_ || data_source_->State() == dsSetKey) return 0;
  return data_source_->DataSet()->active_record_ - first_record_;
}

void TDataLink::ChangeActiveRow(int row) {
  if (!active_ || data_source_->State() == dsSetKey) return;
  TDataSet* ds = data_source_->DataSet();
  // Only rows that hold records can become active.
  const int index = std::clamp(row + first_record_, 0, std::max(0, ds->record_count_ - 1));
  ds->active_record_ = index;
}

int TDataLink::QueryRowCount() const {
  if (!active_) return 0;
  if (data_source_->State() == dsSetKey) return 1;
  TDataSet* ds = data_source_->DataSet();
  return std::clamp(ds->record_count_ - first_record_, 0, window_size_);
}

void TDataLink::ChangeWindowSize(int size) {
  size = std::max(1, size);
  if (size == window_size_) return;
  window_size_ = size;
  if (!active_) return;
  UpdateRange();
  data_source_->DataSet()->UpdateWindowSize();
  UpdateRange();
}

void TDataLink::UpdateRange() {
  TDataSet* ds = data_source_->DataSet();
  const int active = ds->active_record_;
  const int lowest = std::max(0, active - window_size_ + 1);
  const int highest = std::min(active, std::max(0, ds->record_count_ - window_size_));
  first_record_ = std::clamp(first_record_, lowest, std::max(lowest, highest));
}

bool TDataLink::StartEditing() {
  if (!read_only_ && data_source_ != nullptr) data_source_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  TScopedValue<bool> updating(updating_, true, false);
  CommitNotice();
}

void TDataLink::UpdateState() {
  SetActive(data_source_ != nullptr && data_source_->State() != dsInactive);
  SetEditing(data_source_ != nullptr && !read_only_ &&
             (data_source_->State() == dsEdit || data_source_->State() == dsInsert ||
              data_source_->State() == dsSetKey));
}

void TDataLink::SetActive(bool value) {
  if (active_ == value) return;
  active_ = value;
  if (value)
    UpdateRange();
  else
    first_record_ = 0;
  ActivationNotice();
}

void TDataLink::SetEditing(bool value) {
  if (editing_ == value) return;
  editing_ = value;
  EditingNotice();
}

void TDataLink::DispatchEvent(TDataSetEventKind kind, const TEventInfo& info) {
  if (kind == deUpdateState) {
    UpdateState();
    return;
  }
  if (!active_) return;
  switch (kind) {
    case deFieldChange:
    case deRecordChange:
      if (!updating_) RecordNotice(info.field);
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
      int distance = 0;
      if (data_source_->State() != dsSetKey) {
        TDataSet* ds = data_source_->DataSet();
        // The data set's records moved by info.distance buffers; keep showing
        // the same records unless the active one left this link's rows, and
        // report how far the rows moved (the record on row r is on row
        // r - distance now).
        const int first = first_record_ + info.distance;
        const int last = first + window_size_ - 1;
        const int active = ds->active_record_;
        if (active > last)
          distance = active - last;
        else if (active < first)
          distance = active - first;
        first_record_ = std::max(0, first + distance);
        distance = first_record_ - first;
      }
      if (kind == deDataSetChange)
        DataSetNotice();
      else if (kind == deDataSetScroll)
        ScrollNotice(distance);
      else
        LayoutNotice();
      break;
    }
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      BrowseModeNotice();
      break;
    case deFocusControl:
      // Once a link has taken the focus (cleared the field) the others are not asked.
      if (info.focus_field != nullptr && *info.focus_field != nullptr) FocusFieldNotice(*info.focus_field);
      break;
    default:
      break;
  }
}

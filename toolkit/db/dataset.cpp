// TDataSet: the buffer window, navigation, editing and notices.
//
// The window. buffers_ holds buffer_count_ + 1 buffers; the first
// record_count_ hold consecutive records of the back end, active_record_ is
// the record in view, and buffers_[record_count_] is the spare a fetch fills
// before it joins the window (at the end, shifting the window when it is
// full, or at the start). current_record_ tracks which buffer's record the
// back end's cursor stands on, so that the cursor is moved only when needed.
#include <algorithm>
#include <cassert>
#include <cstring>

#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/db/db.h"

namespace {

bool IsEditMode(TDataSetMode mode) { return mode == dsEdit || mode == dsInsert; }

std::vector<AnsiString> SplitNames(const AnsiString& names) {
  std::vector<AnsiString> out;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == AnsiString::npos) end = names.size();
    AnsiString name = Trim(std::string_view(names).substr(start, end - start));
    if (!name.empty()) out.push_back(name);
    start = end + 1;
  }
  return out;
}

}  // namespace

void RaiseDataSetError(const AnsiString& message, const TComponent* component) {
  if (component != nullptr && !component->Name().empty())
    throw EDatabaseError(Format("%s: %s", {component->Name(), message}));
  throw EDatabaseError(message);
}

TDataSet::TDataSet(TComponent* owner)
    : TComponent(owner),
      field_defs_(std::make_unique<TFieldDefs>(this)),
      constraints_(std::make_unique<TCheckConstraints>(this)) {}

TDataSet::~TDataSet() {
  assert(mute_count_ == 0 && "a data set was freed with its controls muted");
  assert(temp_modes_.empty() && "a data set was freed inside a temporary mode");
  Shutdown();
}

void TDataSet::BeforeDestruction() {
  Shutdown();
  TComponent::BeforeDestruction();
}

void TDataSet::Shutdown() {
  if (mode_ != dsInactive) {
    try {
      ChangeActive(false);
    } catch (const std::exception& e) {
      ReportError(e);
    }
  }
  while (!sources_.empty()) RemoveDataSource(sources_.back());
  DropDefaultFields();
  for (TField* f : fields_) f->data_set_ = nullptr;
  fields_.clear();
}

// ---- base behaviour of the back-end operations ---------------------------------

void TDataSet::ZeroCalcArea(TRecordBuffer) {}
void TDataSet::FieldDefsChanged() {}
bool TDataSet::SeekFilteredRecord(bool, bool) { return false; }
bool TDataSet::QueryCanModify() { return true; }
TDataSource* TDataSet::GetMasterSource() { return nullptr; }
int TDataSet::CursorRecordCount() { return -1; }
int TDataSet::GetSequenceNo() { return -1; }
void TDataSet::PrepareFieldDefs() {
  if (!field_defs_->Updated()) {
    LoadFieldDefs();
    field_defs_->SetUpdated(true);
  }
}
void TDataSet::AbandonEdit() {}
void TDataSet::PrepareEdit() {}
void TDataSet::PrepareInsert() {}
void TDataSet::ReloadBackend() {}
void TDataSet::ChangeFiltered(bool value) { filtered_ = value; }
void TDataSet::ChangeFilterOptions(TFilterOptions value) { filter_options_ = value; }
void TDataSet::ChangeFilter(const AnsiString& value) { filter_text_ = value; }
void TDataSet::ChangeOnFilterRecord(TFilterRecordEvent value) { on_filter_record_ = std::move(value); }
void TDataSet::SetSequenceNo(int) {}
void TDataSet::RefreshDefs() {}

TRecordBuffer TDataSet::NewRecordBuffer() {
  const size_t size = static_cast<size_t>(std::max(0, RecordBufferSize()) + calc_fields_size_);
  return new uint8_t[size > 0 ? size : 1]();
}

void TDataSet::DisposeRecordBuffer(TRecordBuffer buffer) { delete[] buffer; }
void TDataSet::ReadBookmark(TRecordBuffer, void*) {}
TBufferPosition TDataSet::ReadBookmarkFlag(TRecordBuffer) { return bpCurrent; }
int TDataSet::RecordBufferSize() { return 0; }
void TDataSet::AppendBuffer(TRecordBuffer, bool) {}
void TDataSet::RemoveRecord() {}
void TDataSet::CursorToFirst() {}
void TDataSet::CursorToBookmark(const TBookmark&) {}
void TDataSet::BlankRecordBuffer(TRecordBuffer) {}
void TDataSet::CursorToLast() {}

void TDataSet::StoreRecord() {
  for (TField* f : fields_) {
    if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->HoldsNull())
      RaiseDataSetError(Format(dbtext::kFieldRequired, {f->DisplayName()}), this);
  }
}

void TDataSet::CursorToBuffer(TRecordBuffer) {}
void TDataSet::WriteBookmarkFlag(TRecordBuffer, TBufferPosition) {}
void TDataSet::WriteBookmark(TRecordBuffer, const TBookmark&) {}
void TDataSet::PutFieldValue(TField*, const void*) {}

void TDataSet::PutFieldValueNative(TField* field, const void* source, bool native) {
  if (native || source == nullptr) {
    PutFieldValue(field, source);
    return;
  }
  std::vector<uint8_t> temp(static_cast<size_t>(std::max(field->NativeByteSize(), 1)));
  ConvertValue(field, source, temp.data(), true);
  PutFieldValue(field, temp.data());
}

TFetchResult TDataSet::FetchRecord(TRecordBuffer, TFetchDirection, bool) { return frEOF; }
void TDataSet::CloseBackend() {}
void TDataSet::ReportError(const std::exception&) {}
void TDataSet::LoadFieldDefs() {}
void TDataSet::OpenBackend() {}
bool TDataSet::HasCursor() { return false; }

bool TDataSet::BookmarkExists(const TBookmark& bookmark) {
  // A base answer of "false" would make every bookmark unusable for back
  // ends that keep it: the back end is asked by positioning on the record.
  if (mode_ == dsInactive || bookmark.empty() || static_cast<int>(bookmark.size()) != bookmark_size_ ||
      buffers_.empty())
    return false;
  bool exists = false;
  try {
    CursorToBookmark(bookmark);
    exists = FetchRecord(buffers_[record_count_], fdCurrent, false) == frOK;
  } catch (const EDatabaseError&) {
    exists = false;
  }
  ForgetBackendPosition();
  return exists;
}

int TDataSet::CompareBookmarkValues(const TBookmark& a, const TBookmark& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? 1 : -1);
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::unique_ptr<TStream> TDataSet::OpenBlobStream(TField*, TBlobAccessMode) { return nullptr; }
bool TDataSet::FetchFieldValue(TField*, void*) { return false; }

bool TDataSet::FetchFieldValueNative(TField* field, void* destination, bool native) {
  if (native || destination == nullptr) return FetchFieldValue(field, destination);
  std::vector<uint8_t> temp(static_cast<size_t>(std::max(field->NativeByteSize(), 1)));
  const bool has_value = FetchFieldValue(field, temp.data());
  if (has_value) ConvertValue(field, temp.data(), destination, false);
  return has_value;
}

namespace {

bool FieldMatches(TField* field, const Variant& value, TFindOptions options, bool last) {
  if (VarIsClear(value)) return field->HoldsNull();
  if (field->HoldsNull()) return false;
  if (field->DataType() == ftString || field->DataType() == ftFixedChar || field->DataType() == ftMemo) {
    AnsiString have = field->GetStringValue();
    const AnsiString want = VarToStr(value);
    if (options.Contains(fiPartialKey) && last && have.size() > want.size()) have.resize(want.size());
    return options.Contains(fiCaseInsensitive) ? AnsiSameText(have, want) : have == want;
  }
  return field->GetVariantValue() == value;
}

}  // namespace

bool TDataSet::FindByValues(const AnsiString& field_names, const Variant& values, TFindOptions options) {
  SettlePendingEdit();
  std::vector<TField*> fields;
  CollectFields(field_names, fields);
  if (fields.empty()) return false;
  std::vector<Variant> keys;
  if (fields.size() == 1 && !values.IsArray()) {
    keys.push_back(values);
  } else {
    if (!values.IsArray() || values.HighBound() - values.LowBound() + 1 != static_cast<int>(fields.size()))
      return false;
    for (int i = values.LowBound(); i <= values.HighBound(); ++i) keys.push_back(values[i]);
  }
  const TBookmark start = TakeBookmark();
  bool found = false;
  TMuteScope muted(*this);
  GoFirst();
  while (!eof_ && !found) {
    found = true;
    for (size_t i = 0; i < fields.size() && found; ++i)
      found = FieldMatches(fields[i], keys[i], options, i + 1 == fields.size());
    if (!found) GoNext();
  }
  if (!found && !start.empty()) ReturnToBookmark(start);
  return found;
}

Variant TDataSet::ReadByValues(const AnsiString& key_fields, const Variant& key_values,
                               const AnsiString& result_fields) {
  const TBookmark start = TakeBookmark();
  Variant result = Null();
  TMuteScope muted(*this);
  if (FindByValues(key_fields, key_values, {})) result = ValuesOfFields(result_fields);
  if (!start.empty()) ReturnToBookmark(start);
  return result;
}

int TDataSet::TranslateText(const AnsiString& source, AnsiString& destination, bool) {
  destination = source;
  return static_cast<int>(destination.size());
}

bool TDataSet::HasRecordNumbers() { return true; }

// ---- open and close ----------------------------------------------------------

void TDataSet::ChangeActive(bool value) {
  if (value == QueryActive()) return;
  if (value) {
    Fire(BeforeOpen);
    open_complete_ = false;
    {
      // A failed open leaves the set inactive with the back end closed; the
      // error of the open is the one reported.
      TScopeFail closed([this] {
        mode_ = dsInactive;
        CloseWindow();
        TScopeExit incomplete([this] { open_complete_ = false; });
        CloseBackend();
      });
      default_fields_ = fields_.empty();
      OpenBackend();
      open_complete_ = true;
      OpenWindow();
    }
    SetMode(dsBrowse);
    Fire(AfterOpen);
    if (!HasNoRecords()) Fire(AfterScroll);
  } else {
    if (!ComponentState().Contains(csDestroying)) Fire(BeforeClose);
    SetMode(dsInactive);
    CloseWindow();
    open_complete_ = false;
    CloseBackend();
    if (!ComponentState().Contains(csDestroying)) Fire(AfterClose);
  }
}

void TDataSet::SetActive(bool value) {
  if (ComponentState().Contains(csReading)) {
    stream_active_ = value;
    return;
  }
  ChangeActive(value);
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (!stream_active_) return;
  stream_active_ = false;
  ChangeActive(true);
}

void TDataSet::OpenWindow() {
  bof_ = true;
  eof_ = true;
  if (!HasCursor()) return;
  UpdateWindowSize();
  // The back end stands before the first record after OpenBackend.
  current_record_ = -1;
  FetchNextRecords();
  FetchPriorRecords();
  bof_ = true;
  eof_ = record_count_ == 0;
}

void TDataSet::CloseWindow() {
  ClearWindow();
  SetBufferListSize(0);
  buffer_count_ = 0;
  temp_modes_.clear();
  temp_buffer_ = nullptr;
}

void TDataSet::SetBufferListSize(int size) {
  const int old = static_cast<int>(buffers_.size());
  if (size == old) return;
  if (size < old) {
    for (int i = size; i < old; ++i) DisposeRecordBuffer(buffers_[i]);
    buffers_.resize(static_cast<size_t>(size));
  } else {
    buffers_.reserve(static_cast<size_t>(size));
    for (int i = old; i < size; ++i) buffers_.push_back(NewRecordBuffer());
  }
}

void TDataSet::UpdateWindowSize() {
  if (!open_complete_ || !HasCursor()) return;
  int largest = 1;
  for (TDataSource* s : sources_)
    for (TDataLink* l : s->links_) largest = std::max(largest, l->window_size_);
  SetWindowSize(largest);
}

void TDataSet::SetWindowSize(int count) {
  if (count == buffer_count_ && static_cast<int>(buffers_.size()) == count + 1) return;
  if (count < buffer_count_ && record_count_ > count) {
    // Keep the active record and the records before it that still fit.
    const int drop = std::max(0, active_record_ - count + 1);
    if (drop > 0) {
      SyncBackendToCurrent();
      for (int i = 0; i < drop; ++i) MoveBuffer(0, record_count_ - 1);
      active_record_ -= drop;
      for (TDataSource* s : sources_)
        for (TDataLink* l : s->links_)
          if (l->active_) l->first_record_ = std::max(0, l->first_record_ - drop);
    }
    record_count_ = std::min(record_count_, count);
    if (current_record_ >= record_count_) current_record_ = -1;
  }
  // The spare buffer index moves with the size: buffers beyond the records are all spares.
  SetBufferListSize(count + 1);
  buffer_count_ = count;
  if (record_count_ > 0 && !ComponentState().Contains(csDestroying)) {
    FetchNextRecords();
    const int added = FetchPriorRecords();
    for (TDataSource* s : sources_)
      for (TDataLink* l : s->links_)
        if (l->active_) l->first_record_ += added;
  }
}

void TDataSet::ClearWindow() {
  record_count_ = 0;
  active_record_ = 0;
  current_record_ = -1;
  bof_ = true;
  eof_ = true;
}

void TDataSet::ActivateWindow() {
  record_count_ = 1;
  active_record_ = 0;
  current_record_ = 0;
  bof_ = false;
  eof_ = false;
}

void TDataSet::MoveBuffer(int from, int to) {
  if (from == to) return;
  TRecordBuffer buffer = buffers_[from];
  if (from < to) {
    std::move(buffers_.begin() + from + 1, buffers_.begin() + to + 1, buffers_.begin() + from);
    if (current_record_ == from)
      current_record_ = to;
    else if (current_record_ > from && current_record_ <= to)
      --current_record_;
  } else {
    std::move_backward(buffers_.begin() + to, buffers_.begin() + from, buffers_.begin() + from + 1);
    if (current_record_ == from)
      current_record_ = to;
    else if (current_record_ >= to && current_record_ < from)
      ++current_record_;
  }
  buffers_[to] = buffer;
}

void TDataSet::MakeCurrent(int index) {
  if (current_record_ == index) return;
  TRecordBuffer buffer = buffers_[index];
  switch (ReadBookmarkFlag(buffer)) {
    case bpCurrent:
    case bpInserted:
      CursorToBuffer(buffer);
      break;
    case bpBOF:
      CursorToFirst();
      break;
    case bpEOF:
      CursorToLast();
      break;
  }
  current_record_ = index;
}

void TDataSet::SyncBackendToCurrent() {
  if (record_count_ > 0) MakeCurrent(active_record_);
}

bool TDataSet::BufferNextRecord() {
  TFetchDirection direction = fdNext;
  if (record_count_ > 0) {
    MakeCurrent(record_count_ - 1);
    // An inserted record that was stored stands where the cursor is: take it as it is.
    if (mode_ == dsInsert && current_record_ == active_record_ &&
        ReadBookmarkFlag(buffers_[active_record_]) == bpCurrent)
      direction = fdCurrent;
  }
  const bool ok = FetchRecord(buffers_[record_count_], direction, true) == frOK;
  if (ok) {
    if (record_count_ == 0) {
      ActivateWindow();
    } else if (record_count_ < buffer_count_) {
      ++record_count_;
    } else {
      MoveBuffer(0, record_count_);
    }
    current_record_ = record_count_ - 1;
  } else {
    ForgetBackendPosition();
  }
  return ok;
}

bool TDataSet::BufferPriorRecord() {
  if (record_count_ > 0) MakeCurrent(0);
  const bool ok = FetchRecord(buffers_[record_count_], fdPrior, true) == frOK;
  if (ok) {
    if (record_count_ == 0) {
      ActivateWindow();
    } else {
      MoveBuffer(record_count_, 0);
      if (record_count_ < buffer_count_) {
        ++record_count_;
        ++active_record_;
      }
    }
    current_record_ = 0;
  } else {
    ForgetBackendPosition();
  }
  return ok;
}

int TDataSet::FetchNextRecords() {
  int n = 0;
  while (record_count_ < buffer_count_ && BufferNextRecord()) ++n;
  return n;
}

int TDataSet::FetchPriorRecords() {
  int n = 0;
  while (record_count_ < buffer_count_ && BufferPriorRecord()) ++n;
  return n;
}

// ---- navigation ----------------------------------------------------------------

void TDataSet::GoFirst() {
  SettlePendingEdit();
  FireBeforeScroll();
  ClearWindow();
  {
    TScopeExit told([this] {
      bof_ = true;
      BroadcastEvent(deDataSetChange);
    });
    CursorToFirst();
    FetchNextRecords();
  }
  FireAfterScroll();
}

void TDataSet::GoLast() {
  SettlePendingEdit();
  FireBeforeScroll();
  ClearWindow();
  {
    TScopeExit told([this] {
      eof_ = true;
      BroadcastEvent(deDataSetChange);
    });
    CursorToLast();
    FetchPriorRecords();
  }
  FireAfterScroll();
}

int TDataSet::Skip(int distance) {
  SettlePendingEdit();
  int moved = 0;
  FireBeforeScroll();
  if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
    bof_ = false;
    eof_ = false;
    int shift = 0;
    // The links hear how far the window moved, also when a fetch fails on the way.
    TScopeExit told([&] { BroadcastEvent(deDataSetScroll, TEventInfo{shift}); });
    while (distance > 0) {
      if (active_record_ < record_count_ - 1) {
        ++active_record_;
      } else {
        const int step = record_count_ < buffer_count_ ? 0 : 1;
        if (!BufferNextRecord()) {
          eof_ = true;
          break;
        }
        shift -= step;
        active_record_ = record_count_ - 1;
      }
      --distance;
      ++moved;
    }
    while (distance < 0) {
      if (active_record_ > 0) {
        --active_record_;
      } else {
        const int step = record_count_ < buffer_count_ ? 0 : 1;
        if (!BufferPriorRecord()) {
          bof_ = true;
          break;
        }
        shift += step;
        active_record_ = 0;
      }
      ++distance;
      --moved;
    }
  }
  FireAfterScroll();
  return moved;
}

void TDataSet::Reload() {
  Fire(BeforeRefresh);
  SettlePendingEdit();
  SyncBackendToCurrent();
  {
    TScopeExit resync([this] { ResyncBuffers({}); });
    ReloadBackend();
  }
  Fire(AfterRefresh);
}

void TDataSet::ResyncBuffers(TResyncMode mode) {
  if (buffers_.empty()) return;
  TRecordBuffer spare = buffers_[record_count_];
  if (mode.Contains(rmExact)) {
    ForgetBackendPosition();
    if (FetchRecord(spare, fdCurrent, true) != frOK) RaiseDataSetError(dbtext::kRecordNotFound, this);
  } else if (FetchRecord(spare, fdCurrent, false) != frOK && FetchRecord(spare, fdNext, false) != frOK &&
             FetchRecord(spare, fdPrior, false) != frOK) {
    ClearWindow();
    BroadcastEvent(deDataSetChange);
    return;
  }
  int before = mode.Contains(rmCenter) ? (buffer_count_ - 1) / 2 : active_record_;
  MoveBuffer(record_count_, 0);
  ActivateWindow();
  TScopeExit told([this] { BroadcastEvent(deDataSetChange); });
  while (before > 0 && BufferPriorRecord()) --before;
  FetchNextRecords();
  FetchPriorRecords();
}

bool TDataSet::FindFirst() {
  found_ = SeekFilteredRecord(true, true);
  return found_;
}
bool TDataSet::FindLast() {
  found_ = SeekFilteredRecord(true, false);
  return found_;
}
bool TDataSet::FindNext() {
  found_ = SeekFilteredRecord(false, true);
  return found_;
}
bool TDataSet::FindPrior() {
  found_ = SeekFilteredRecord(false, false);
  return found_;
}

// ---- bookmarks -------------------------------------------------------------------

bool TDataSet::BookmarkAvailable() {
  return (mode_ == dsBrowse || mode_ == dsEdit || mode_ == dsInsert) && !HasNoRecords() &&
         ReadBookmarkFlag(CurrentBuffer()) == bpCurrent;
}

TBookmark TDataSet::TakeBookmark() {
  if (!BookmarkAvailable() || bookmark_size_ <= 0) return {};
  TBookmark bookmark(static_cast<size_t>(bookmark_size_), '\0');
  ReadBookmark(CurrentBuffer(), bookmark.data());
  return bookmark;
}

void TDataSet::ReturnToBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  SettlePendingEdit();
  FireBeforeScroll();
  CursorToBookmark(bookmark);
  ResyncBuffers({rmExact, rmCenter});
  FireAfterScroll();
}

// ---- editing ---------------------------------------------------------------------

void TDataSet::CheckCanModify() {
  if (!QueryCanModify()) RaiseDataSetError(dbtext::kDataSetReadOnly, this);
}

void TDataSet::RetryLoop(void (TDataSet::*operation)(), const TDataSetErrorEvent& error_event) {
  for (;;) {
    try {
      SyncBackendToCurrent();
      (this->*operation)();
      return;
    } catch (EDatabaseError& e) {
      TDataAction action = daFail;
      if (error_event) error_event(this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
    }
  }
}

void TDataSet::StartEdit() {
  if (IsEditMode(mode_)) return;
  if (record_count_ == 0) {
    StartInsert();
    return;
  }
  SettlePendingEdit();
  CheckCanModify();
  Fire(BeforeEdit);
  RetryLoop(&TDataSet::PrepareEdit, OnEditError);
  ComputeCalcFields(CurrentBuffer());
  SetMode(dsEdit);
  BroadcastEvent(deRecordChange);
  Fire(AfterEdit);
}

void TDataSet::BeginNewRecord() {
  SettlePendingEdit();
  CheckCanModify();
  Fire(BeforeInsert);
  FireBeforeScroll();
}

void TDataSet::InitNewBuffer(TRecordBuffer buffer) {
  BlankRecordBuffer(buffer);
  ZeroCalcArea(buffer);
  WriteBookmarkFlag(buffer, bpInserted);
}

void TDataSet::EndNewRecord() {
  SetMode(dsInsert);
  {
    TScopeFail abandon([this] {
      SyncBackendToCurrent();
      SetMode(dsBrowse);
      ResyncBuffers({});
    });
    if (OnNewRecord) OnNewRecord(this);
  }
  modified_ = false;
  BroadcastEvent(deDataSetChange);
  Fire(AfterInsert);
  FireAfterScroll();
}

void TDataSet::StartInsert() {
  RequireOpen();
  BeginNewRecord();
  const TBookmark before = TakeBookmark();
  MoveBuffer(record_count_, active_record_);
  TRecordBuffer buffer = buffers_[active_record_];
  InitNewBuffer(buffer);
  if (record_count_ == 0)
    WriteBookmarkFlag(buffer, bpBOF);
  else
    WriteBookmark(buffer, before);
  if (record_count_ < buffer_count_) ++record_count_;
  PrepareInsert();
  EndNewRecord();
}

void TDataSet::StartAppend() {
  RequireOpen();
  BeginNewRecord();
  ClearWindow();
  TRecordBuffer buffer = buffers_[0];
  InitNewBuffer(buffer);
  WriteBookmarkFlag(buffer, bpEOF);
  record_count_ = 1;
  bof_ = false;
  FetchPriorRecords();
  PrepareInsert();
  EndNewRecord();
}

void TDataSet::UpdateRecord() {
  if (!IsEditMode(mode_) && mode_ != dsSetKey) RaiseDataSetError(dbtext::kNotEditing, this);
  BroadcastEvent(deUpdateRecord);
}

void TDataSet::CommitRecord() {
  UpdateRecord();
  if (!IsEditMode(mode_)) return;
  BroadcastEvent(deCheckBrowseMode);
  Fire(BeforePost);
  RetryLoop(&TDataSet::StoreRecord, OnPostError);
  SetMode(dsBrowse);
  ResyncBuffers({});
  Fire(AfterPost);
}

void TDataSet::DiscardChanges() {
  if (!IsEditMode(mode_)) return;
  BroadcastEvent(deCheckBrowseMode);
  Fire(BeforeCancel);
  const bool scroll_events = mode_ == dsInsert;
  if (scroll_events) FireBeforeScroll();
  SyncBackendToCurrent();
  AbandonEdit();
  SetMode(dsBrowse);
  ResyncBuffers({});
  Fire(AfterCancel);
  if (scroll_events) FireAfterScroll();
}

void TDataSet::DeleteCurrent() {
  RequireOpen();
  if (mode_ == dsInsert || mode_ == dsSetKey) {
    DiscardChanges();
    return;
  }
  if (record_count_ == 0) RaiseDataSetError(dbtext::kDataSetEmpty, this);
  BroadcastEvent(deCheckBrowseMode);
  Fire(BeforeDelete);
  FireBeforeScroll();
  RetryLoop(&TDataSet::RemoveRecord, OnDeleteError);
  SetMode(dsBrowse);
  ResyncBuffers({});
  Fire(AfterDelete);
  FireAfterScroll();
}

void TDataSet::SettlePendingEdit() {
  RequireOpen();
  BroadcastEvent(deCheckBrowseMode);
  if (IsEditMode(mode_)) {
    UpdateRecord();
    if (modified_)
      CommitRecord();
    else
      DiscardChanges();
  } else if (mode_ == dsSetKey) {
    CommitRecord();
  }
}

void TDataSet::RequireOpen() const {
  if (mode_ == dsInactive) RaiseDataSetError(dbtext::kDataSetClosed, this);
}

void TDataSet::RequireClosed() const {
  if (mode_ != dsInactive && mode_ != dsOpening) RaiseDataSetError(dbtext::kDataSetOpen, this);
}

// ---- modes and notices -----------------------------------------------------------

void TDataSet::SetMode(TDataSetMode mode) {
  if (mode_ == mode) return;
  mode_ = mode;
  modified_ = false;
  BroadcastEvent(deUpdateState);
}

TDataSetMode TDataSet::EnterTemporaryMode(TDataSetMode mode, TRecordBuffer buffer) {
  const TDataSetMode previous = mode_;
  temp_modes_.push_back({previous, modified_, temp_buffer_});
  mode_ = mode;
  temp_buffer_ = buffer;
  return previous;
}

void TDataSet::LeaveTemporaryMode(TDataSetMode previous) {
  if (temp_modes_.empty()) {
    mode_ = previous;
    return;
  }
  const TempMode saved = temp_modes_.back();
  temp_modes_.pop_back();
  mode_ = previous;
  modified_ = saved.modified;
  temp_buffer_ = saved.buffer;
}

void TDataSet::MuteControls() {
  if (mute_count_ == 0) {
    mute_mode_ = mode_;
    mute_suppressed_ = false;
    mute_layout_ = false;
  }
  ++mute_count_;
}

void TDataSet::UnmuteControls() {
  // Every unmute ends a mute; an extra one is a caller's fault, ignored in release.
  assert(mute_count_ > 0);
  if (mute_count_ == 0) return;
  if (--mute_count_ > 0) return;
  if (mute_mode_ != mode_) BroadcastEvent(deUpdateState);
  // A close and reopen while muted sends nothing the links would hear
  // (the mode is the same at both ends), yet every buffer they show is new:
  // it is told as a layout change.
  if ((mute_suppressed_ || mute_layout_) && mute_mode_ != dsInactive && mode_ != dsInactive)
    BroadcastEvent(mute_layout_ ? deLayoutChange : deDataSetChange);
  mute_suppressed_ = false;
  mute_layout_ = false;
}

void TDataSet::BroadcastEvent(TDataSetEventKind kind, const TEventInfo& info) {
  // Field reads and writes of a temporary mode concern a buffer outside the
  // window; nothing of them reaches the links.
  if (!temp_modes_.empty()) return;
  switch (kind) {
    case deFieldChange:
      if (info.field != nullptr) {
        if (info.field->FieldKind() == fkData || info.field->FieldKind() == fkInternalCalc) modified_ = true;
        if (mode_ != dsSetKey && auto_calc_fields_ && calc_fields_size_ > 0) ComputeCalcFields(CurrentBuffer());
      }
      break;
    case dePropertyChange:
      field_defs_->SetUpdated(false);
      break;
    default:
      break;
  }
  if (mute_count_ == 0) {
    // Copy: a handler may detach a source.
    const std::vector<TDataSource*> sources = sources_;
    for (TDataSource* s : sources) s->DataEvent(kind, info);
  } else if (kind != deUpdateState) {
    if (kind == deLayoutChange) mute_layout_ = true;
    mute_suppressed_ = true;
  } else if (mode_ == dsInactive) {
    mute_layout_ = true;
  }
  if (kind == deFieldChange && info.field != nullptr) info.field->Change();
}

void TDataSet::NotifyFieldWritten(TField* field) {
  if (mode_ != dsCalcFields && mode_ != dsFilter && mode_ != dsNewValue)
    BroadcastEvent(deFieldChange, TEventInfo{0, field});
}

void TDataSet::FireBeforeScroll() { Fire(BeforeScroll); }
void TDataSet::FireAfterScroll() { Fire(AfterScroll); }

TRecordBuffer TDataSet::CurrentBuffer() const {
  if (record_count_ == 0 || active_record_ >= record_count_) return nullptr;
  return buffers_[active_record_];
}

TRecordBuffer TDataSet::ValueBuffer() const {
  if ((mode_ == dsCalcFields || mode_ == dsFilter || mode_ == dsNewValue) && temp_buffer_ != nullptr)
    return temp_buffer_;
  return CurrentBuffer();
}

// ---- fields ---------------------------------------------------------------------

void TDataSet::AddField(TField* field) { fields_.push_back(field); }

void TDataSet::RemoveField(TField* field) {
  fields_.erase(std::remove(fields_.begin(), fields_.end(), field), fields_.end());
}

TField* TDataSet::Fields(int index) const {
  if (index < 0 || index >= static_cast<int>(fields_.size())) RaiseDataSetError(dbtext::kFieldIndexError, this);
  return fields_[static_cast<size_t>(index)];
}

TField* TDataSet::FieldNamedOrNil(const AnsiString& name) const {
  for (TField* f : fields_)
    if (AnsiSameText(f->FieldName(), name)) return f;
  return nullptr;
}

TField* TDataSet::FieldNamed(const AnsiString& name) const {
  TField* f = FieldNamedOrNil(name);
  if (f == nullptr) RaiseDataSetError(Format(dbtext::kFieldNotFound, {name}), this);
  return f;
}

void TDataSet::CollectFields(const AnsiString& field_names, std::vector<TField*>& list) const {
  for (const AnsiString& name : SplitNames(field_names)) list.push_back(FieldNamed(name));
}

void TDataSet::ListFieldNames(TStrings& list) const {
  list.Clear();
  for (TField* f : fields_) list.Add(f->FieldName());
}

Variant TDataSet::ValuesOfFields(const AnsiString& field_names) const {
  std::vector<TField*> fields;
  CollectFields(field_names, fields);
  if (fields.size() == 1) return fields[0]->GetVariantValue();
  Variant values = VarArrayCreate(0, static_cast<int>(fields.size()) - 1);
  for (size_t i = 0; i < fields.size(); ++i) values[static_cast<int>(i)] = fields[i]->GetVariantValue();
  return values;
}

void TDataSet::SetValuesOfFields(const AnsiString& field_names, const Variant& values) {
  std::vector<TField*> fields;
  CollectFields(field_names, fields);
  if (fields.size() == 1 && !values.IsArray()) {
    fields[0]->SetVariantValue(values);
    return;
  }
  if (!values.IsArray() || values.HighBound() - values.LowBound() + 1 != static_cast<int>(fields.size()))
    RaiseDataSetError(dbtext::kInvalidVarBytes, this);
  for (size_t i = 0; i < fields.size(); ++i) fields[i]->SetVariantValue(values[values.LowBound() + static_cast<int>(i)]);
}

void TDataSet::AttachFields(bool binding) {
  calc_fields_size_ = 0;
  for (TField* f : fields_) {
    if (!binding) {
      f->field_no_ = 0;
      f->offset_ = 0;
      continue;
    }
    if (f->FieldKind() == fkData) {
      const int index = field_defs_->PositionOfName(f->FieldName());
      if (index < 0) RaiseDataSetError(Format(dbtext::kFieldNotFound, {f->DisplayName()}), this);
      const TFieldDef* def = field_defs_->DefAt(index);
      const TFieldType have = f->DataType();
      const TFieldType want = def->DataType();
      if (!FieldBindsToType(have, want))
        RaiseDataSetError(
            Format(dbtext::kFieldTypeMismatch, {f->DisplayName(), FieldTypeName(have), FieldTypeName(want)}), this);
      f->field_no_ = def->FieldNo();
    } else {
      f->field_no_ = 0;
      f->offset_ = calc_fields_size_;
      calc_fields_size_ += f->ValueByteSize() + 1;
    }
  }
}

void TDataSet::BuildDefaultFields() {
  for (int i = 0; i < field_defs_->Count(); ++i) {
    const TFieldDef* def = field_defs_->DefAt(i);
    if (def->DataType() == ftUnknown || def->Attributes().Contains(faHiddenCol)) continue;
    TField* f = def->CreateField(nullptr, this);
    f->default_field_ = true;
  }
}

void TDataSet::DropDefaultFields() {
  std::vector<TField*> doomed;
  for (TField* f : fields_)
    if (f->default_field_) doomed.push_back(f);
  for (TField* f : doomed) {
    RemoveField(f);
    f->data_set_ = nullptr;
    delete f;
  }
}

void TDataSet::DeriveFieldDefs() {
  TUpdateScope update(*field_defs_);
  field_defs_->Clear();
  for (TField* f : fields_) {
    if (f->FieldKind() != fkData) continue;
    const bool sized = f->DataType() == ftString || f->DataType() == ftFixedChar || f->DataType() == ftBytes ||
                       f->DataType() == ftVarBytes || f->DataType() == ftBCD || IsBlobFieldType(f->DataType());
    field_defs_->AppendNamedDef(f->FieldName(), f->DataType(), sized ? f->Size() : 0, f->Required());
  }
}

void TDataSet::ComputeCalcFields(TRecordBuffer buffer) {
  if (calc_fields_size_ <= 0 || buffer == nullptr) return;
  TTemporaryModeScope calc(*this, dsCalcFields, buffer);
  ZeroCalcArea(buffer);
  if (OnCalcFields) OnCalcFields(this);
}

bool TDataSet::ReadCalcFieldValue(TRecordBuffer buffer, TField* field, void* destination) {
  if (buffer == nullptr) return false;
  const uint8_t* slot = buffer + RecordBufferSize() + field->Offset();
  if (slot[0] == 0) return false;
  if (destination != nullptr) std::memcpy(destination, slot + 1, static_cast<size_t>(field->ValueByteSize()));
  return true;
}

void TDataSet::WriteCalcFieldValue(TRecordBuffer buffer, TField* field, const void* source) {
  if (buffer == nullptr) return;
  uint8_t* slot = buffer + RecordBufferSize() + field->Offset();
  const size_t size = static_cast<size_t>(field->ValueByteSize());
  if (source == nullptr) {
    std::memset(slot, 0, size + 1);
  } else {
    slot[0] = 1;
    std::memcpy(slot + 1, source, size);
  }
}

bool TDataSet::DependsOnSource(TDataSet* data_set) {
  if (data_set == this) return true;
  TDataSource* master = GetMasterSource();
  return master != nullptr && master->IsLinkedTo(data_set);
}

// ---- data sources ----------------------------------------------------------------

void TDataSet::AddDataSource(TDataSource* source) {
  // A source serves one data set and is listed there once.
  assert(source->data_set_ == nullptr);
  assert(std::find(sources_.begin(), sources_.end(), source) == sources_.end());
  sources_.push_back(source);
  source->data_set_ = this;
  UpdateWindowSize();
  source->UpdateState();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  assert(source->data_set_ == this);
  assert(std::count(sources_.begin(), sources_.end(), source) == 1);
  source->data_set_ = nullptr;
  sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
  source->UpdateState();
  UpdateWindowSize();
}

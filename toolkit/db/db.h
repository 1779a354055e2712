// The data-set framework: TDataSet, TDataSource and TDataLink, on the field
// classes of fields.h.
//
// A back end (the table component, the object data set, TMemDataSet) derives
// from TDataSet and overrides the back-end operations below; the framework
// owns the window of record buffers, the mode, navigation, editing and the
// notices to data links, and calls the back end in fixed orders:
//
//   open      BeforeOpen, OpenBackend, [HasCursor] NewRecordBuffer x (window+1),
//             FetchRecord(next) until the window is full, FetchRecord(prior),
//             mode browse, AfterOpen (AfterScroll when not empty). A failure in
//             OpenBackend closes again: mode inactive, CloseBackend.
//   close     BeforeClose, mode inactive, DisposeRecordBuffer each, CloseBackend, AfterClose.
//   first     SettlePendingEdit, BeforeScroll, CursorToFirst, FetchRecord(next)
//             until full, data-set-change notice, AfterScroll. Last mirrors it.
//   next/prior  the edge buffer is made current (by its position flag:
//             CursorToFirst, CursorToLast or CursorToBuffer), then FetchRecord.
//   resync    FetchRecord(current) (exact: must succeed, "Record not found"),
//             else current, next, prior; then prior and next fetches around the
//             active row and a data-set-change notice.
//   edit      SettlePendingEdit, QueryCanModify, BeforeEdit, PrepareEdit (retry
//             loop), calculated fields, mode edit, record-change notice, AfterEdit.
//   insert    SettlePendingEdit, QueryCanModify, BeforeInsert, BeforeScroll,
//             BlankRecordBuffer, ZeroCalcArea, WriteBookmarkFlag(inserted),
//             WriteBookmark(record it stands before) or WriteBookmarkFlag(BOF)
//             when empty, PrepareInsert, mode insert, OnNewRecord,
//             data-set-change notice, AfterInsert, AfterScroll. Append: the
//             window is cleared, the new buffer flagged EOF and the window
//             filled backwards behind it.
//   post      update-record notice, check-browse notice, BeforePost, StoreRecord
//             (retry loop), mode browse, ResyncBuffers([]), AfterPost.
//   cancel    check-browse notice, BeforeCancel (+BeforeScroll when inserting),
//             AbandonEdit, mode browse, ResyncBuffers([]), AfterCancel (+AfterScroll).
//   delete    check-browse notice, BeforeDelete, BeforeScroll, RemoveRecord
//             (retry loop), mode browse, ResyncBuffers([]), AfterDelete, AfterScroll.
//   bookmark  SettlePendingEdit, BeforeScroll, CursorToBookmark,
//             ResyncBuffers([exact, center]), AfterScroll.
// Retry loops: the hook runs again while the error event (OnEditError,
// OnPostError, OnDeleteError) answers daRetry; daFail passes the
// EDatabaseError on, daAbort turns it into the silent EAbort.
//
// Rules for back ends:
//   - Each record buffer starts with the back end's header; the record data
//     follows, RecordBufferSize() bytes, then the calculated-field area of
//     CalcFieldsSize() bytes (ReadCalcFieldValue/WriteCalcFieldValue use it).
//   - FetchFieldValue/PutFieldValue use ValueBuffer(): the active record, the
//     record under calculation in calc-fields mode, the candidate in filter mode.
//   - PutFieldValue sends BroadcastEvent(deFieldChange, field) unless the mode
//     is calc-fields, filter or new-value (NotifyFieldWritten does exactly that).
//   - StoreRecord overrides call TDataSet::StoreRecord first (required fields).
//   - BookmarkExists should be overridden with a direct test of the back end
//     (the table component: the record number exists). The base does not
//     answer "false" for everything: it positions the back end on the bookmark
//     and fetches the record, so a back end that keeps it still gets a true answer.
//   - A back end's destructor calls Deactivate(): when ~TDataSet runs, the back
//     end's overrides are gone.
//
// One vocabulary: the operations are called by the contract's names
// (Activate, GoFirst, StartEdit, CommitRecord, FieldNamed, GetStringValue,
// QueryDataSet, AppendNamedDef and the rest) in the library, the application,
// the tools and the tests; no property-style aliases are kept beside them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "toolkit/core/classes.h"
#include "toolkit/core/component.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/core/scope.h"
#include "toolkit/core/variant.h"
#include "toolkit/db/constraints.h"
#include "toolkit/db/dbtypes.h"
#include "toolkit/db/fields.h"

class TDataSource;
class TDataLink;

// What accompanies a notice.
struct TEventInfo {
  // deDataSetChange, deDataSetScroll: how far the window's records moved
  // toward its start (negative: toward its end).
  int distance = 0;
  // deFieldChange, deRecordChange: the field (or none).
  TField* field = nullptr;
  // deFocusControl: the field to focus; a link that takes the focus clears it.
  TField** focus_field = nullptr;
};

using TDataSetNotifyEvent = std::function<void(TDataSet* data_set)>;
using TDataSetErrorEvent = std::function<void(TDataSet* data_set, EDatabaseError& error, TDataAction& action)>;
using TFilterRecordEvent = std::function<void(TDataSet* data_set, bool& accept)>;

class TDataSet : public TComponent {
  KIV7_PERSISTENT(TDataSet)

 public:
  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;
  void BeforeDestruction() override;

  // ==== Back-end contract: the overridable operations with their base behaviour

  // Clears the calculated-field area of buffer. Base: nothing.
  virtual void ZeroCalcArea(TRecordBuffer buffer);
  // The field-definition collection changed. Base: nothing.
  virtual void FieldDefsChanged();
  // Finds the next (forward) or prior record passing the filter, from the
  // first or last record when restart. Base: false.
  virtual bool SeekFilteredRecord(bool restart, bool forward);
  // Whether records may be changed. Base: true.
  virtual bool QueryCanModify();
  // The data source this set depends on (master). Base: none.
  virtual TDataSource* GetMasterSource();
  // Number of records. Base: -1.
  virtual int CursorRecordCount();
  // 1-based number of the active record. Base: -1.
  virtual int GetSequenceNo();
  // Brings FieldDefs up to date. Base: LoadFieldDefs when not up to date.
  virtual void PrepareFieldDefs();
  // Hooks of cancel, edit, insert and refresh. Base: nothing.
  virtual void AbandonEdit();
  virtual void PrepareEdit();
  virtual void PrepareInsert();
  virtual void ReloadBackend();
  // Setters of Filtered, FilterOptions, Filter and OnFilterRecord. Base: store.
  virtual void ChangeFiltered(bool value);
  virtual void ChangeFilterOptions(TFilterOptions value);
  virtual void ChangeFilter(const AnsiString& value);
  virtual void ChangeOnFilterRecord(TFilterRecordEvent value);
  // Makes record n current. Base: nothing.
  virtual void SetSequenceNo(int n);
  // Brings index definitions up to date. Base: nothing.
  virtual void RefreshDefs();
  // Allocates / frees a record buffer. Base: zeroed memory of
  // RecordBufferSize() + CalcFieldsSize() bytes, freed again.
  virtual TRecordBuffer NewRecordBuffer();
  virtual void DisposeRecordBuffer(TRecordBuffer buffer);
  // Copies the buffer's bookmark (BookmarkSize() bytes) to destination. Base: nothing.
  virtual void ReadBookmark(TRecordBuffer buffer, void* destination);
  // The buffer's position flag. Base: current.
  virtual TBufferPosition ReadBookmarkFlag(TRecordBuffer buffer);
  // Size of the record data in a buffer. Base: 0.
  virtual int RecordBufferSize();
  // Stores a filled buffer as a new record (at the end when append). Base: nothing.
  virtual void AppendBuffer(TRecordBuffer buffer, bool append);
  // Hook of delete. Base: nothing.
  virtual void RemoveRecord();
  // Positions the back end before the first / after the last record, on a bookmark. Base: nothing.
  virtual void CursorToFirst();
  virtual void CursorToBookmark(const TBookmark& bookmark);
  // Initialises buffer as a new empty record. Base: nothing.
  virtual void BlankRecordBuffer(TRecordBuffer buffer);
  virtual void CursorToLast();
  // Hook of post. Base: raises "Field '%s' must have a value" for a required
  // data field that is null; overrides call it first.
  virtual void StoreRecord();
  // Makes the buffer's record the back end's current record. Base: nothing.
  virtual void CursorToBuffer(TRecordBuffer buffer);
  virtual void WriteBookmarkFlag(TRecordBuffer buffer, TBufferPosition position);
  virtual void WriteBookmark(TRecordBuffer buffer, const TBookmark& bookmark);
  // Writes a field of the record in view (nullptr: null), in the native layout.
  // Base: nothing.
  virtual void PutFieldValue(TField* field, const void* source);
  // Base: with native, PutFieldValue; otherwise the value is converted from the
  // field layout to the native one first.
  virtual void PutFieldValueNative(TField* field, const void* source, bool native);
  // Fills buffer with the current, next or prior record. Base: EOF.
  virtual TFetchResult FetchRecord(TRecordBuffer buffer, TFetchDirection direction, bool check_errors);
  virtual void CloseBackend();
  // Reports an exception that cannot be raised (in a destructor). Base: nothing.
  virtual void ReportError(const std::exception& error);
  // Fills FieldDefs. Base: nothing.
  virtual void LoadFieldDefs();
  virtual void OpenBackend();
  // Whether the back end is open. Base: false.
  virtual bool HasCursor();
  // Whether bookmark names a record of the back end (see the rules above).
  virtual bool BookmarkExists(const TBookmark& bookmark);
  // Order of two bookmarks: negative, 0 or positive; a missing bookmark sorts
  // after every present one. Base: byte order (equal bookmarks give 0).
  virtual int CompareBookmarkValues(const TBookmark& a, const TBookmark& b);
  // A stream over the blob of the record in view, freed by the caller. Base: none.
  virtual std::unique_ptr<TStream> OpenBlobStream(TField* field, TBlobAccessMode mode);
  // Reads a field of the record in view (native layout); destination may be
  // nullptr. False when null. Base: false.
  virtual bool FetchFieldValue(TField* field, void* destination);
  // Base: with native, FetchFieldValue; otherwise converted to the field layout.
  virtual bool FetchFieldValueNative(TField* field, void* destination, bool native);
  // Moves to the first record whose fields (names separated by ";") hold the
  // values (a single value or an array). Base: scans from the first record;
  // stays where it was when nothing matches.
  virtual bool FindByValues(const AnsiString& field_names, const Variant& values, TFindOptions options);
  // The values of result_fields in the first record matching the keys, Null
  // when none; the position is kept. Base: FindByValues, then back.
  virtual Variant ReadByValues(const AnsiString& key_fields, const Variant& key_values,
                               const AnsiString& result_fields);
  // Refills the window around the back end's current record.
  virtual void ResyncBuffers(TResyncMode mode);
  // Converts text between the back end's and the system's code page; returns
  // the length of destination. Base: copies.
  virtual int TranslateText(const AnsiString& source, AnsiString& destination, bool to_oem);
  // Whether record numbers are meaningful (for scroll bars). Base: true.
  virtual bool HasRecordNumbers();

  // ==== Framework operations the consumers call

  TDataSetMode CurrentMode() const { return mode_; }
  bool QueryActive() const { return mode_ != dsInactive; }
  void ChangeActive(bool value);
  void Activate() { ChangeActive(true); }
  void Deactivate() { ChangeActive(false); }
  // The published Active. While the set is read from a stream the value is
  // only kept: what it shows (CompRef, a table name) may be read after it,
  // so Loaded opens the set when it was stored open.
  void SetActive(bool value);
  void Loaded() override;
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  // Whether a field of the record being edited was written.
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  bool HasNoRecords() const { return active_record_ >= record_count_; }

  void GoFirst();
  void GoLast();
  void GoNext() { Skip(1); }
  void GoPrior() { Skip(-1); }
  // Moves by distance records; returns the number moved (signed).
  int Skip(int distance);
  // Settles, reloads the back end and resyncs.
  void Reload();
  // Fetch one record after the window's last / before its first; false at the end.
  bool BufferNextRecord();
  bool BufferPriorRecord();
  // Find-first/next/prior/last through SeekFilteredRecord; Found() tells the last result.
  bool FindFirst();
  bool FindLast();
  bool FindNext();
  bool FindPrior();
  bool Found() const { return found_; }

  // Bookmarks: byte strings, empty for none.
  bool BookmarkAvailable();
  TBookmark TakeBookmark();
  void ReleaseBookmark(TBookmark& bookmark) { bookmark.clear(); }
  void ReturnToBookmark(const TBookmark& bookmark);
  TBookmark QueryBookmarkText() { return TakeBookmark(); }
  void ChangeBookmarkText(const TBookmark& bookmark) { ReturnToBookmark(bookmark); }
  int BookmarkSize() const { return bookmark_size_; }

  void StartEdit();
  void StartInsert();
  void StartAppend();
  void CommitRecord();
  void DiscardChanges();
  void DeleteCurrent();
  // Asks the links to write their pending editor values ("Dataset not in edit
  // or insert mode" outside those modes).
  void UpdateRecord();

  // The record-level check constraints, kept and streamed for the code that
  // checks records; setting copies the given ones.
  TCheckConstraints* Constraints() const { return constraints_.get(); }
  void SetConstraints(const TCheckConstraints* value) { constraints_->Assign(value); }

  // Fields.
  TFieldDefs& FieldDefs() { return *field_defs_; }
  const TFieldDefs& FieldDefs() const { return *field_defs_; }
  int QueryFieldCount() const { return static_cast<int>(fields_.size()); }
  TField* Fields(int index) const;
  TField* FieldNamed(const AnsiString& name) const;
  TField* FieldNamedOrNil(const AnsiString& name) const;
  // The fields of a ";"-separated list, in order ("Field '%s' not found" for a missing one).
  void CollectFields(const AnsiString& field_names, std::vector<TField*>& list) const;
  void ListFieldNames(TStrings& list) const;
  // The value of one field, or an array of values for several.
  Variant ValuesOfFields(const AnsiString& field_names) const;
  void SetValuesOfFields(const AnsiString& field_names, const Variant& values);

  // Filter properties.
  const AnsiString& Filter() const { return filter_text_; }
  void SetFilter(const AnsiString& value) { ChangeFilter(value); }
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool value) { ChangeFiltered(value); }
  TFilterOptions FilterOptions() const { return filter_options_; }
  void SetFilterOptions(TFilterOptions value) { ChangeFilterOptions(value); }
  const TFilterRecordEvent& OnFilterRecord() const { return on_filter_record_; }
  void SetOnFilterRecord(TFilterRecordEvent value) { ChangeOnFilterRecord(std::move(value)); }
  // Whether calculated fields are recomputed after every field change while editing.
  bool AutoCalcFields() const { return auto_calc_fields_; }
  void SetAutoCalcFields(bool value) { auto_calc_fields_ = value; }

  // Notices to the links are held while muted; the last unmute sends one
  // notice when something was held.
  void MuteControls();
  void UnmuteControls();
  bool ControlsMuted() const { return mute_count_ > 0; }

  // ==== Framework operations the back ends call

  void RequireOpen() const;
  void RequireClosed() const;
  // Posts a modified record, cancels an unmodified one.
  void SettlePendingEdit();
  // Switches to a temporary mode (calc-fields, filter, new-value) with the
  // buffer whose values fields then read; returns the previous mode. Nothing
  // is sent to the links until LeaveTemporaryMode.
  TDataSetMode EnterTemporaryMode(TDataSetMode mode, TRecordBuffer buffer = nullptr);
  void LeaveTemporaryMode(TDataSetMode previous);
  bool DependsOnSource(TDataSet* data_set);
  // Binds fields to FieldDefs (column numbers, calculated-field offsets) or unbinds them.
  void AttachFields(bool binding);
  // Makes a field per visible definition / deletes the fields made so.
  void BuildDefaultFields();
  void DropDefaultFields();
  // Whether the fields were made by BuildDefaultFields at this open.
  bool DefaultFields() const { return default_fields_; }
  // Fills FieldDefs from the data fields.
  void DeriveFieldDefs();
  // Runs OnCalcFields for buffer in calc-fields mode (when there are calculated fields).
  void ComputeCalcFields(TRecordBuffer buffer);
  // The active record's buffer; nullptr when the window is empty.
  TRecordBuffer CurrentBuffer() const;
  // The buffer field values come from in the current mode (see the rules).
  TRecordBuffer ValueBuffer() const;
  // Makes the active record the back end's current one / forgets which it is.
  void SyncBackendToCurrent();
  void ForgetBackendPosition() { current_record_ = -1; }
  void BroadcastEvent(TDataSetEventKind kind, const TEventInfo& info = {});
  // Sends the field-change notice unless the mode is calc-fields, filter or new-value.
  void NotifyFieldWritten(TField* field);
  void FireBeforeScroll();
  void FireAfterScroll();
  void SetBookmarkSize(int size) { bookmark_size_ = size; }
  // Bytes of the calculated-field area after the record data.
  int CalcFieldsSize() const { return calc_fields_size_; }
  // A calculated field's slot in buffer's calculated-field area (a flag byte,
  // then the value in the field layout).
  bool ReadCalcFieldValue(TRecordBuffer buffer, TField* field, void* destination);
  void WriteCalcFieldValue(TRecordBuffer buffer, TField* field, const void* source);
  // Converts a value between the field and the native layout.
  static void ConvertValue(const TField* field, const void* source, void* destination, bool to_native);

  // Window, for links and tests.
  int WindowSize() const { return buffer_count_; }
  int WindowRecordCount() const { return record_count_; }
  int ActiveRecordIndex() const { return active_record_; }

  // ==== events
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

 protected:
  // Sets the mode and tells the links.
  void SetMode(TDataSetMode mode);

 private:
  friend class TField;
  friend class TDataSource;
  friend class TDataLink;

  void Shutdown();
  void OpenWindow();
  void CloseWindow();
  void SetBufferListSize(int size);
  void SetWindowSize(int count);
  void UpdateWindowSize();
  void ClearWindow();
  void ActivateWindow();
  void MoveBuffer(int from, int to);
  void MakeCurrent(int index);
  int FetchNextRecords();
  int FetchPriorRecords();
  void RetryLoop(void (TDataSet::*operation)(), const TDataSetErrorEvent& error_event);
  void BeginNewRecord();
  void EndNewRecord();
  void InitNewBuffer(TRecordBuffer buffer);
  void CheckCanModify();
  void AddField(TField* field);
  void RemoveField(TField* field);
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);
  void Fire(const TDataSetNotifyEvent& event) {
    if (event) event(this);
  }

  std::unique_ptr<TFieldDefs> field_defs_;
  std::unique_ptr<TCheckConstraints> constraints_;
  std::vector<TField*> fields_;
  std::vector<TDataSource*> sources_;
  TDataSetMode mode_ = dsInactive;
  bool modified_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool found_ = false;
  bool default_fields_ = false;
  bool open_complete_ = false;
  bool stream_active_ = false;
  bool auto_calc_fields_ = true;
  int bookmark_size_ = 0;
  int calc_fields_size_ = 0;

  // The window: buffers_[0 .. record_count_-1] hold records, buffers_[buffer_count_]
  // is the spare buffer fetches fill.
  std::vector<TRecordBuffer> buffers_;
  int buffer_count_ = 0;
  int record_count_ = 0;
  int active_record_ = 0;
  // Which buffer's record the back end is positioned on; -1 when unknown.
  int current_record_ = -1;

  // Temporary modes, innermost last.
  struct TempMode {
    TDataSetMode mode;
    bool modified;
    TRecordBuffer buffer;
  };
  std::vector<TempMode> temp_modes_;
  TRecordBuffer temp_buffer_ = nullptr;

  int mute_count_ = 0;
  TDataSetMode mute_mode_ = dsInactive;
  bool mute_suppressed_ = false;
  bool mute_layout_ = false;

  AnsiString filter_text_;
  bool filtered_ = false;
  TFilterOptions filter_options_;
  TFilterRecordEvent on_filter_record_;
};

// The method types of the framework's events.
const TTypeInfo& TypeInfoTDataSetNotifyEvent();
const TTypeInfo& TypeInfoTDataSetErrorEvent();

// What a data set publishes of the framework: Constraints, Active (stored only when open)
// and the events, in the framework's order.
template <class C>
void PublishDataSetConstraints(TPublisher<C>& p) {
  p.Object("Constraints", TCheckConstraints::StaticClassInfo(), &TDataSet::Constraints, &TDataSet::SetConstraints)
      .StoredWhen([](const TPersistent& o) { return static_cast<const TDataSet&>(o).Constraints()->Count() > 0; });
}
template <class C>
void PublishDataSetActive(TPublisher<C>& p) {
  p.Boolean("Active", &TDataSet::QueryActive, &TDataSet::SetActive).WithDefault(0);
}
template <class C>
void PublishDataSetEvents(TPublisher<C>& p) {
  for (const char* name : {"BeforeOpen", "AfterOpen", "BeforeClose", "AfterClose", "BeforeInsert", "AfterInsert",
                           "BeforeEdit", "AfterEdit", "BeforePost", "AfterPost", "BeforeCancel", "AfterCancel",
                           "BeforeDelete", "AfterDelete", "BeforeScroll", "AfterScroll", "BeforeRefresh",
                           "AfterRefresh", "OnCalcFields"})
    p.Event(name, TypeInfoTDataSetNotifyEvent());
  p.Event("OnDeleteError", TypeInfoTDataSetErrorEvent());
  p.Event("OnEditError", TypeInfoTDataSetErrorEvent());
  p.Event("OnNewRecord", TypeInfoTDataSetNotifyEvent());
  p.Event("OnPostError", TypeInfoTDataSetErrorEvent());
}
// Holds a data set's links muted (MuteControls ... UnmuteControls) for the scope.
class TMuteScope : public TPairedScope<TDataSet, &TDataSet::MuteControls, &TDataSet::UnmuteControls> {
 public:
  using TPairedScope::TPairedScope;
};

// Holds a temporary mode (calc-fields, filter, new-value) with its buffer for
// the scope.
class TTemporaryModeScope {
 public:
  TTemporaryModeScope(TDataSet& data_set, TDataSetMode mode, TRecordBuffer buffer)
      : data_set_(data_set), previous_(data_set.EnterTemporaryMode(mode, buffer)) {}
  ~TTemporaryModeScope() { data_set_.LeaveTemporaryMode(previous_); }
  TTemporaryModeScope(const TTemporaryModeScope&) = delete;
  TTemporaryModeScope& operator=(const TTemporaryModeScope&) = delete;

 private:
  TDataSet& data_set_;
  TDataSetMode previous_;
};

// Connects data links to a data set and relays its notices.
class TDataSource : public TComponent {
  KIV7_PERSISTENT(TDataSource)

 public:
  explicit TDataSource(TComponent* owner);
  ~TDataSource() override;
  void BeforeDestruction() override;

  TDataSet* DataSet() const { return data_set_; }
  // "Circular datalinks are not allowed" when the data set depends on this source.
  void SetDataSet(TDataSet* data_set);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  // Whether a link's StartEditing may put the data set into edit mode.
  bool AutoEdit() const { return auto_edit_; }
  void SetAutoEdit(bool value) { auto_edit_ = value; }
  // The data set's mode as the links see it (inactive when disabled).
  TDataSetMode State() const { return state_; }
  // Puts the data set into edit mode when AutoEdit and browsing.
  void Edit();
  // Whether this source leads (through master sources) to data_set.
  bool IsLinkedTo(TDataSet* data_set) const;
  int LinkCount() const { return static_cast<int>(links_.size()); }

  std::function<void(TDataSource* sender)> OnStateChange;
  std::function<void(TDataSource* sender, TField* field)> OnDataChange;
  std::function<void(TDataSource* sender)> OnUpdateData;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void DataEvent(TDataSetEventKind kind, const TEventInfo& info);
  void NotifyLinks(TDataSetEventKind kind, const TEventInfo& info);
  void SetState(TDataSetMode state);
  void UpdateState();
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);
  void Shutdown();

  TDataSet* data_set_ = nullptr;
  std::vector<TDataLink*> links_;
  TDataSetMode state_ = dsInactive;
  bool enabled_ = true;
  bool auto_edit_ = true;
};

// A consumer's view of a data set through a data source: a window of rows
// (WindowSize, default 1) within the data set's buffer window, and notices.
class TDataLink : public TPersistent {
  KIV7_PERSISTENT(TDataLink)

 public:
  TDataLink();
  ~TDataLink() override;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return data_source_; }
  void ChangeDataSource(TDataSource* source);
  TDataSet* QueryDataSet() const;
  // Whether the source is enabled and its data set open.
  bool Active() const { return active_; }
  // Whether the data set is in edit or insert mode.
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  // The active record's row within this link's window.
  int QueryActiveRow() const;
  void ChangeActiveRow(int row);
  // Rows of this link's window that hold records.
  int QueryRowCount() const;
  int QueryWindowSize() const { return window_size_; }
  // Sets the rows this link shows; the data set keeps as many buffers as the
  // largest window of its links.
  void ChangeWindowSize(int size);
  // Asks for edit mode through the source; true when the data set is editing.
  bool StartEditing();
  // Writes pending editor values (CommitNotice) with record notices held.
  void UpdateRecord();

  // Turns a data-set notice into the notices below.
  virtual void DispatchEvent(TDataSetEventKind kind, const TEventInfo& info);


 protected:
  // Notices; the bases: DataSetNotice → RecordNotice(nullptr), ScrollNotice and
  // LayoutNotice → DataSetNotice, the others nothing.
  virtual void ActivationNotice() {}
  virtual void DataSetNotice() { RecordNotice(nullptr); }
  // distance: how far the rows moved (the record on row r before is on row r - distance now).
  virtual void ScrollNotice(int distance) {
    (void)distance;
    DataSetNotice();
  }
  virtual void RecordNotice(TField* field) { (void)field; }
  virtual void LayoutNotice() { DataSetNotice(); }
  virtual void CommitNotice() {}
  virtual void EditingNotice() {}
  virtual void FocusFieldNotice(TField*& field) { (void)field; }
  virtual void BrowseModeNotice() {}

 private:
  friend class TDataSet;
  friend class TDataSource;
  void UpdateState();
  void SetActive(bool value);
  void SetEditing(bool value);
  void UpdateRange();

  TDataSource* data_source_ = nullptr;
  int window_size_ = 1;
  int first_record_ = 0;
  bool active_ = false;
  bool editing_ = false;
  bool read_only_ = false;
  bool updating_ = false;
};

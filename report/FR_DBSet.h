// The record source over a data set, and the few data-set routines that the
// record source, the memo and picture objects and name resolution share.
//
// TfrDBDataSet walks a data set of the framework (in this program the
// measurement table) while keeping the record-source protocol's RecNo and
// range. It reads its data set directly (DataSet) or through a data source
// (DataSource); the source wins when it has a data set. A range that starts
// or ends at "the current record" remembers that record by a bookmark taken
// at Open, and Close puts the data set back on it.
#pragma once

#include <optional>

#include "report/FR_DSet.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/db/db.h"

class TStream;
class TStrings;

// No data set is reachable: "Unable to open dataset " + the source's Name.
KIV7_DECLARE_EXCEPTION(EDSError, Exception);

class TfrDBDataSet : public TfrDataset {
  KIV7_PERSISTENT(TfrDBDataSet)

 public:
  explicit TfrDBDataSet(TComponent* owner);
  ~TfrDBDataSet() override;

  // The data set every operation works on: DataSource's when it has one,
  // else DataSet; raises EDSError when neither is there.
  TDataSet* GetDataSet() const;

  // Opens the data set (OpenDataSource), raises OnOpen, then remembers the
  // current record when the range starts or ends there.
  void Open() override;
  // Returns to the remembered record, raises OnClose, then closes the data
  // set (CloseDataSource).
  void Close() override;
  // To the first record (rbFirst) or the remembered one (rbCurrent).
  void First() override;
  // One record on; with reCurrent, the remembered record is the last one.
  void Next() override;
  void Prior() override;
  // The range is over, or the data set is at its end.
  bool Eof() override;

  // The data set read directly; setting it clears DataSource.
  TDataSet* DataSet() const { return data_set_; }
  void SetDataSet(TDataSet* value);
  // The data source whose data set is read; setting one clears DataSet.
  TDataSource* DataSource() const { return data_source_; }
  void SetDataSource(TDataSource* value);
  // Whether Open opens the data set.
  bool OpenDataSource() const { return open_data_source_; }
  void SetOpenDataSource(bool value) { open_data_source_ = value; }
  // Whether Close closes the data set.
  bool CloseDataSource() const { return close_data_source_; }
  void SetCloseDataSource(bool value) { close_data_source_ = value; }

  TNotifyEvent OnOpen, OnClose;

 private:
  void DropSavedBookmark();

  TComponentRef<TDataSet> data_set_;
  TComponentRef<TDataSource> data_source_;
  bool open_data_source_ = true;
  bool close_data_source_ = false;
  // The record current at Open, and the data set it belongs to.
  std::optional<TBookmark> saved_bookmark_;
  // The bookmark names a record of that data set: it goes with it.
  TComponentRef<TDataSet> bookmark_data_set_{[this] { saved_bookmark_.reset(); }};
  // Set by Next when the reCurrent range is exhausted.
  bool end_reached_ = false;
};

// ---- Data-set routines ------------------------------------------------------------

// Whether field is one of the seven blob kinds, ftBlob to ftTypedBinary.
bool IsBlobField(const TField* field);
// Copies a field's value into an object that takes fields by Assign (a
// picture, a string list).
void CopyBlobTo(TField* field, TPersistent* target);
// Writes a blob field's bytes into target from its position, then rewinds it
// to 0.
void CopyBlobTo(TField* field, TStream* target);
// The data set's field names into list; never fails: an error leaves the list
// as far as it was filled.
void ListDataSetFieldNames(TDataSet* dataset, TStrings& list);
// Bookmarks of the framework (an empty one names no record).
TBookmark TakeDataSetBookmark(TDataSet* dataset);
void GotoDataSetBookmark(TDataSet* dataset, const TBookmark& bookmark);
void FreeDataSetBookmark(TDataSet* dataset, TBookmark& bookmark);
bool SameBookmarks(TDataSet* dataset, const TBookmark& a, const TBookmark& b);

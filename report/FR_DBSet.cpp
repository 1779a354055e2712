#include "report/FR_DBSet.h"

#include <exception>
#include <utility>

#include "toolkit/core/classes.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/fields.h"

const TClassInfo& TfrDBDataSet::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TfrDBDataSet>, "TfrDBDataSet", &TfrDataset::StaticClassInfo(), [](TPublisher<TfrDBDataSet>& p) {
        p.Object("DataSet", TDataSet::StaticClassInfo(), &TfrDBDataSet::DataSet, &TfrDBDataSet::SetDataSet);
        p.Object("DataSource", TDataSource::StaticClassInfo(), &TfrDBDataSet::DataSource,
                 &TfrDBDataSet::SetDataSource);
        p.Boolean("OpenDataSource", &TfrDBDataSet::OpenDataSource, &TfrDBDataSet::SetOpenDataSource).WithDefault(1);
        p.Boolean("CloseDataSource", &TfrDBDataSet::CloseDataSource, &TfrDBDataSet::SetCloseDataSource)
            .WithDefault(0);
        PublishRecordSourceRange(p);
      });
  return info;
}

TfrDBDataSet::TfrDBDataSet(TComponent* owner) : TfrDataset(owner) {}

TfrDBDataSet::~TfrDBDataSet() = default;

TDataSet* TfrDBDataSet::GetDataSet() const {
  if (data_source_ != nullptr && data_source_->DataSet() != nullptr) return data_source_->DataSet();
  if (data_set_ != nullptr) return data_set_;
  throw EDSError("Unable to open dataset " + Name());
}

void TfrDBDataSet::SetDataSet(TDataSet* value) {
  data_source_ = nullptr;
  data_set_ = value;
}

void TfrDBDataSet::SetDataSource(TDataSource* value) {
  if (value != nullptr) data_set_ = nullptr;
  data_source_ = value;
}

void TfrDBDataSet::DropSavedBookmark() {
  saved_bookmark_.reset();
  bookmark_data_set_ = nullptr;
}

void TfrDBDataSet::Open() {
  TDataSet* ds = GetDataSet();
  if (open_data_source_) ds->Activate();
  if (OnOpen) OnOpen(this);
  DropSavedBookmark();
  if (RangeBegin() == rbCurrent || RangeEnd() == reCurrent) {
    saved_bookmark_ = TakeDataSetBookmark(ds);
    bookmark_data_set_ = ds;
  }
  end_reached_ = false;
}

void TfrDBDataSet::Close() {
  TDataSet* ds = GetDataSet();
  if (saved_bookmark_) {
    TBookmark bookmark = std::move(*saved_bookmark_);
    TDataSet* owner = bookmark_data_set_;
    DropSavedBookmark();
    // Going back is skipped when it cannot succeed: the data set was closed or
    // replaced during the walk, or the record was deleted. Raising "Record not
    // found" here would also keep OnClose and the closing of the data set
    // from happening.
    if (owner == ds && ds->QueryActive() && ds->BookmarkExists(bookmark)) GotoDataSetBookmark(ds, bookmark);
    FreeDataSetBookmark(ds, bookmark);
  }
  if (OnClose) OnClose(this);
  if (close_data_source_) ds->Deactivate();
}

void TfrDBDataSet::First() {
  TDataSet* ds = GetDataSet();
  if (RangeBegin() == rbFirst)
    ds->GoFirst();
  else if (saved_bookmark_ && bookmark_data_set_ == ds)
    GotoDataSetBookmark(ds, *saved_bookmark_);
  end_reached_ = false;
  TfrDataset::First();
}

void TfrDBDataSet::Next() {
  TDataSet* ds = GetDataSet();
  end_reached_ = false;
  if (RangeEnd() == reCurrent) {
    TBookmark current = TakeDataSetBookmark(ds);
    const bool at_saved =
        SameBookmarks(ds, current, saved_bookmark_ && bookmark_data_set_ == ds ? *saved_bookmark_ : TBookmark());
    FreeDataSetBookmark(ds, current);
    if (at_saved) {
      end_reached_ = true;
      return;
    }
    // Before the remembered record (a range from the first record to the
    // current one) the walk moves on; standing still here would print the
    // same record for ever.
  }
  ds->GoNext();
  TfrDataset::Next();
}

void TfrDBDataSet::Prior() {
  TDataSet* ds = GetDataSet();
  ds->GoPrior();
  TfrDataset::Prior();
}

bool TfrDBDataSet::Eof() {
  TDataSet* ds = GetDataSet();
  const bool range_over = TfrDataset::Eof();
  return range_over || ds->Eof() || end_reached_;
}

// ---- Data-set routines ------------------------------------------------------------

bool IsBlobField(const TField* field) {
  return field != nullptr && field->DataType() >= ftBlob && field->DataType() <= ftTypedBinary;
}

void CopyBlobTo(TField* field, TPersistent* target) {
  if (field == nullptr || target == nullptr) return;
  target->Assign(field);
}

void CopyBlobTo(TField* field, TStream* target) {
  // Only a blob field has bytes to save; anything else leaves the stream as it was.
  auto* blob = dynamic_cast<TBlobField*>(field);
  if (blob == nullptr || target == nullptr) return;
  blob->SaveToStream(*target);
  target->SetPosition(0);
}

void ListDataSetFieldNames(TDataSet* dataset, TStrings& list) {
  if (dataset == nullptr) return;
  try {
    dataset->ListFieldNames(list);
  } catch (const std::exception&) {
    // Name lookup goes on with the names found so far.
  }
}

TBookmark TakeDataSetBookmark(TDataSet* dataset) { return dataset->TakeBookmark(); }

void GotoDataSetBookmark(TDataSet* dataset, const TBookmark& bookmark) { dataset->ReturnToBookmark(bookmark); }

void FreeDataSetBookmark(TDataSet* dataset, TBookmark& bookmark) { dataset->ReleaseBookmark(bookmark); }

bool SameBookmarks(TDataSet* dataset, const TBookmark& a, const TBookmark& b) {
  return dataset->CompareBookmarkValues(a, b) == 0;
}

// A back end that writes down every contract call the framework makes, with
// the published events and the notices a data link receives, in one trace.
// It keeps its rows in TMemDataSet, so the calls have real effects.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "toolkit/db/db.h"
#include "toolkit/db/memdataset.h"

namespace dbtest {

using Trace = std::vector<std::string>;

// The message of the exception an action raises, or "no error".
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no error";
}

inline const char* DirectionName(TFetchDirection d) {
  return d == fdCurrent ? "current" : d == fdNext ? "next" : "prior";
}
inline const char* ResultName(TFetchResult r) {
  switch (r) {
    case frOK: return "OK";
    case frBOF: return "BOF";
    case frEOF: return "EOF";
    default: return "error";
  }
}
inline const char* PositionName(TBufferPosition p) {
  switch (p) {
    case bpCurrent: return "current";
    case bpBOF: return "BOF";
    case bpEOF: return "EOF";
    default: return "inserted";
  }
}

class RecordingDataSet : public TMemDataSet {
 public:
  explicit RecordingDataSet(Trace* trace) : TMemDataSet(nullptr), trace_(trace) {
    auto event = [this](const char* name) { return [this, name](TDataSet*) { Log(name); }; };
    BeforeOpen = event("BeforeOpen");
    AfterOpen = event("AfterOpen");
    BeforeClose = event("BeforeClose");
    AfterClose = event("AfterClose");
    BeforeInsert = event("BeforeInsert");
    AfterInsert = event("AfterInsert");
    BeforeEdit = event("BeforeEdit");
    AfterEdit = event("AfterEdit");
    BeforePost = event("BeforePost");
    AfterPost = event("AfterPost");
    BeforeCancel = event("BeforeCancel");
    AfterCancel = event("AfterCancel");
    BeforeDelete = event("BeforeDelete");
    AfterDelete = event("AfterDelete");
    BeforeScroll = event("BeforeScroll");
    AfterScroll = event("AfterScroll");
    BeforeRefresh = event("BeforeRefresh");
    AfterRefresh = event("AfterRefresh");
    OnNewRecord = event("OnNewRecord");
  }
  ~RecordingDataSet() override { Deactivate(); }

  void Log(const std::string& s) {
    if (recording) trace_->push_back(s);
  }
  bool recording = true;

  // When set, OpenBackend fails after opening the rows.
  bool fail_open = false;

  void OpenBackend() override {
    Log("OpenBackend");
    TMemDataSet::OpenBackend();
    if (fail_open) throw EDatabaseError("cannot open");
  }
  void CloseBackend() override { Log("CloseBackend"); TMemDataSet::CloseBackend(); }
  TRecordBuffer NewRecordBuffer() override { Log("NewRecordBuffer"); return TMemDataSet::NewRecordBuffer(); }
  void DisposeRecordBuffer(TRecordBuffer b) override { Log("DisposeRecordBuffer"); TMemDataSet::DisposeRecordBuffer(b); }
  TFetchResult FetchRecord(TRecordBuffer b, TFetchDirection d, bool check) override {
    const TFetchResult r = TMemDataSet::FetchRecord(b, d, check);
    Log(std::string("FetchRecord(") + DirectionName(d) + ")=" + ResultName(r));
    return r;
  }
  void CursorToFirst() override { Log("CursorToFirst"); TMemDataSet::CursorToFirst(); }
  void CursorToLast() override { Log("CursorToLast"); TMemDataSet::CursorToLast(); }
  void CursorToBuffer(TRecordBuffer b) override { Log("CursorToBuffer"); TMemDataSet::CursorToBuffer(b); }
  void CursorToBookmark(const TBookmark& bm) override { Log("CursorToBookmark"); TMemDataSet::CursorToBookmark(bm); }
  void BlankRecordBuffer(TRecordBuffer b) override { Log("BlankRecordBuffer"); TMemDataSet::BlankRecordBuffer(b); }
  void ZeroCalcArea(TRecordBuffer b) override { Log("ZeroCalcArea"); TMemDataSet::ZeroCalcArea(b); }
  void WriteBookmarkFlag(TRecordBuffer b, TBufferPosition p) override {
    Log(std::string("WriteBookmarkFlag(") + PositionName(p) + ")");
    TMemDataSet::WriteBookmarkFlag(b, p);
  }
  void WriteBookmark(TRecordBuffer b, const TBookmark& bm) override { Log("WriteBookmark"); TMemDataSet::WriteBookmark(b, bm); }
  bool QueryCanModify() override { Log("QueryCanModify"); return TMemDataSet::QueryCanModify(); }
  // Hooks ("PrepareEdit", "StoreRecord", "RemoveRecord") that fail this many more times.
  std::map<std::string, int> failures;
  void MaybeFail(const std::string& hook) {
    auto it = failures.find(hook);
    if (it != failures.end() && it->second > 0) {
      --it->second;
      throw EDatabaseError(hook + " failed");
    }
  }

  void PrepareEdit() override { Log("PrepareEdit"); MaybeFail("PrepareEdit"); TMemDataSet::PrepareEdit(); }
  void PrepareInsert() override { Log("PrepareInsert"); TMemDataSet::PrepareInsert(); }
  void StoreRecord() override { Log("StoreRecord"); MaybeFail("StoreRecord"); TMemDataSet::StoreRecord(); }
  void AbandonEdit() override { Log("AbandonEdit"); TMemDataSet::AbandonEdit(); }
  void RemoveRecord() override { Log("RemoveRecord"); MaybeFail("RemoveRecord"); TMemDataSet::RemoveRecord(); }
  void ReloadBackend() override { Log("ReloadBackend"); TMemDataSet::ReloadBackend(); }
  void ResyncBuffers(TResyncMode mode) override {
    std::string m = mode.Contains(rmExact) ? (mode.Contains(rmCenter) ? "exact,center" : "exact")
                                           : (mode.Contains(rmCenter) ? "center" : "");
    Log("ResyncBuffers(" + m + ")");
    TMemDataSet::ResyncBuffers(mode);
  }

 private:
  Trace* trace_;
};

// A link that writes its notices into the trace.
class RecordingLink : public TDataLink {
 public:
  explicit RecordingLink(Trace* trace) : trace_(trace) {}
  bool recording = true;
  std::vector<int> scrolls;

 protected:
  void Log(const std::string& s) {
    if (recording) trace_->push_back(s);
  }
  void ActivationNotice() override { Log("ActivationNotice"); }
  void DataSetNotice() override { Log("DataSetNotice"); }
  void ScrollNotice(int distance) override {
    scrolls.push_back(distance);
    Log("ScrollNotice(" + std::to_string(distance) + ")");
  }
  void RecordNotice(TField* field) override { Log(field ? "RecordNotice(" + field->FieldName() + ")" : "RecordNotice"); }
  void LayoutNotice() override { Log("LayoutNotice"); }
  void CommitNotice() override { Log("CommitNotice"); }
  void EditingNotice() override { Log("EditingNotice"); }
  void BrowseModeNotice() override { Log("BrowseModeNotice"); }
  void FocusFieldNotice(TField*& field) override {
    Log("FocusFieldNotice(" + (field ? field->FieldName() : std::string()) + ")");
    if (take_focus) field = nullptr;
  }

 public:
  // Whether the link takes the focus it is asked for (clears the field).
  bool take_focus = false;

 private:
  Trace* trace_;
};

}  // namespace dbtest

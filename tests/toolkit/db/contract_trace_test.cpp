// The order of the framework's calls to a back end, pinned per operation.
#include <functional>

#include <gtest/gtest.h>

#include "tests/toolkit/db/recording.h"

namespace dbtest {
namespace contract_trace_test {

struct Fixture {
  Trace trace;
  RecordingDataSet ds{&trace};
  TDataSource source{nullptr};
  RecordingLink link{&trace};

  Fixture(int rows, int window) {
    ds.recording = false;
    link.recording = false;
    ds.FieldDefs().AppendNamedDef("N", ftInteger);
    source.SetDataSet(&ds);
    link.ChangeDataSource(&source);
    link.ChangeWindowSize(window);
    ds.Activate();
    for (int i = 1; i <= rows; ++i) {
      ds.StartAppend();
      ds.FieldNamed("N")->SetIntegerValue(i);
      ds.CommitRecord();
    }
    ds.GoFirst();
    ds.recording = true;
    link.recording = true;
  }
  int N() { return ds.FieldNamed("N")->GetIntegerValue(); }
  TBookmark bookmark;
};

struct TraceCase {
  const char* name;
  int rows;
  int window;
  std::function<void(Fixture&)> prepare;  // runs before recording
  std::function<void(Fixture&)> act;
  Trace expected;
};

TEST(ContractTrace, OperationsCallTheBackEndInTheContractOrder) {
  const TraceCase cases[] = {
      {"open on three rows", 3, 1, [](Fixture& f) { f.ds.Deactivate(); },
       [](Fixture& f) { f.ds.Activate(); },
       {"BeforeOpen", "OpenBackend", "NewRecordBuffer", "NewRecordBuffer", "FetchRecord(next)=OK",
        "ActivationNotice", "AfterOpen", "AfterScroll"}},
      {"open on an empty set", 0, 1, [](Fixture& f) { f.ds.Deactivate(); },
       [](Fixture& f) { f.ds.Activate(); },
       {"BeforeOpen", "OpenBackend", "NewRecordBuffer", "NewRecordBuffer", "FetchRecord(next)=EOF",
        "FetchRecord(prior)=BOF", "ActivationNotice", "AfterOpen"}},
      {"open with a window of three on two rows", 2, 3, [](Fixture& f) { f.ds.Deactivate(); },
       [](Fixture& f) { f.ds.Activate(); },
       {"BeforeOpen", "OpenBackend", "NewRecordBuffer", "NewRecordBuffer", "NewRecordBuffer",
        "NewRecordBuffer", "FetchRecord(next)=OK", "FetchRecord(next)=OK", "FetchRecord(next)=EOF",
        "CursorToBuffer", "FetchRecord(prior)=BOF", "ActivationNotice", "AfterOpen", "AfterScroll"}},
      {"close", 3, 1, nullptr, [](Fixture& f) { f.ds.Deactivate(); }, {"BeforeClose", "ActivationNotice", "DisposeRecordBuffer", "DisposeRecordBuffer", "CloseBackend",
        "AfterClose"}},
      {"first from the last row", 3, 1, [](Fixture& f) { f.ds.GoLast(); }, [](Fixture& f) { f.ds.GoFirst(); }, {"BrowseModeNotice", "BeforeScroll", "CursorToFirst", "FetchRecord(next)=OK", "DataSetNotice",
        "AfterScroll"}},
      {"last", 3, 1, nullptr, [](Fixture& f) { f.ds.GoLast(); }, {"BrowseModeNotice", "BeforeScroll", "CursorToLast", "FetchRecord(prior)=OK", "DataSetNotice",
        "AfterScroll"}},
      {"next", 3, 1, nullptr, [](Fixture& f) { f.ds.GoNext(); }, {"BrowseModeNotice", "BeforeScroll", "FetchRecord(next)=OK", "ScrollNotice(1)", "AfterScroll"}},
      {"next at the end", 3, 1, [](Fixture& f) { f.ds.GoLast(); }, [](Fixture& f) { f.ds.GoNext(); }, {"BrowseModeNotice", "BeforeScroll", "AfterScroll"}},
      {"prior", 3, 1, [](Fixture& f) { f.ds.GoLast(); }, [](Fixture& f) { f.ds.GoPrior(); }, {"BrowseModeNotice", "BeforeScroll", "FetchRecord(prior)=OK", "ScrollNotice(-1)", "AfterScroll"}},
      {"insert", 3, 1, [](Fixture& f) { f.ds.GoNext(); }, [](Fixture& f) { f.ds.StartInsert(); }, {"BrowseModeNotice", "QueryCanModify", "BeforeInsert", "BeforeScroll", "BlankRecordBuffer",
        "ZeroCalcArea", "WriteBookmarkFlag(inserted)", "WriteBookmark", "PrepareInsert", "EditingNotice",
        "OnNewRecord", "DataSetNotice", "AfterInsert", "AfterScroll"}},
      {"insert into an empty set", 0, 1, nullptr, [](Fixture& f) { f.ds.StartInsert(); }, {"BrowseModeNotice", "QueryCanModify", "BeforeInsert", "BeforeScroll", "BlankRecordBuffer",
        "ZeroCalcArea", "WriteBookmarkFlag(inserted)", "WriteBookmarkFlag(BOF)", "PrepareInsert",
        "EditingNotice", "OnNewRecord", "DataSetNotice", "AfterInsert", "AfterScroll"}},
      {"append", 3, 1, nullptr, [](Fixture& f) { f.ds.StartAppend(); }, {"BrowseModeNotice", "QueryCanModify", "BeforeInsert", "BeforeScroll", "BlankRecordBuffer",
        "ZeroCalcArea", "WriteBookmarkFlag(inserted)", "WriteBookmarkFlag(EOF)", "PrepareInsert",
        "EditingNotice", "OnNewRecord", "DataSetNotice", "AfterInsert", "AfterScroll"}},
      {"post an edit", 3, 1, [](Fixture& f) { f.ds.StartEdit(); f.ds.FieldNamed("N")->SetIntegerValue(7); },
       [](Fixture& f) { f.ds.CommitRecord(); }, {"CommitNotice", "BrowseModeNotice", "BeforePost", "StoreRecord", "EditingNotice", "ResyncBuffers()",
        "FetchRecord(current)=OK", "DataSetNotice", "AfterPost"}},
      {"post an insert", 3, 1, [](Fixture& f) { f.ds.StartInsert(); f.ds.FieldNamed("N")->SetIntegerValue(9); },
       [](Fixture& f) { f.ds.CommitRecord(); }, {"CommitNotice", "BrowseModeNotice", "BeforePost", "CursorToBuffer", "StoreRecord", "EditingNotice",
        "ResyncBuffers()", "FetchRecord(current)=OK", "DataSetNotice", "AfterPost"}},
      {"edit", 3, 1, nullptr, [](Fixture& f) { f.ds.StartEdit(); }, {"BrowseModeNotice", "QueryCanModify", "BeforeEdit", "PrepareEdit", "EditingNotice", "RecordNotice",
        "AfterEdit"}},
      {"cancel an insert", 3, 1, [](Fixture& f) { f.ds.StartInsert(); }, [](Fixture& f) { f.ds.DiscardChanges(); }, {"BrowseModeNotice", "BeforeCancel", "BeforeScroll", "CursorToBuffer", "AbandonEdit", "EditingNotice",
        "ResyncBuffers()", "FetchRecord(current)=error", "FetchRecord(next)=OK", "DataSetNotice",
        "AfterCancel", "AfterScroll"}},
      {"cancel an edit", 3, 1, [](Fixture& f) { f.ds.StartEdit(); }, [](Fixture& f) { f.ds.DiscardChanges(); }, {"BrowseModeNotice", "BeforeCancel", "AbandonEdit", "EditingNotice", "ResyncBuffers()",
        "FetchRecord(current)=OK", "DataSetNotice", "AfterCancel"}},
      {"delete", 3, 1, [](Fixture& f) { f.ds.GoNext(); }, [](Fixture& f) { f.ds.DeleteCurrent(); }, {"BrowseModeNotice", "BeforeDelete", "BeforeScroll", "RemoveRecord", "ResyncBuffers()",
        "FetchRecord(current)=OK", "DataSetNotice", "AfterDelete", "AfterScroll"}},
      {"resync exact and centred", 3, 1, nullptr, [](Fixture& f) { f.ds.ResyncBuffers({rmExact, rmCenter}); }, {"ResyncBuffers(exact,center)", "FetchRecord(current)=OK", "DataSetNotice"}},
      {"resync when the active row no longer passes", 3, 1,
       [](Fixture& f) {
         f.ds.SetFiltered(true);
         f.ds.SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldNamed("N")->GetIntegerValue() != 1; });
       }, [](Fixture& f) { f.ds.ResyncBuffers({}); }, {"ResyncBuffers()", "FetchRecord(current)=error", "FetchRecord(next)=OK", "DataSetNotice"}},
      {"refresh", 3, 1, nullptr, [](Fixture& f) { f.ds.Reload(); }, {"BeforeRefresh", "BrowseModeNotice", "ReloadBackend", "ResyncBuffers()", "FetchRecord(current)=OK",
        "DataSetNotice", "AfterRefresh"}},
      {"go to a bookmark", 3, 1,
       [](Fixture& f) {
         f.ds.GoLast();
         f.bookmark = f.ds.TakeBookmark();
         f.ds.GoFirst();
       },
       [](Fixture& f) { f.ds.ReturnToBookmark(f.bookmark); }, {"BrowseModeNotice", "BeforeScroll", "CursorToBookmark", "ResyncBuffers(exact,center)",
        "FetchRecord(current)=OK", "DataSetNotice", "AfterScroll"}},
      {"first with a window of three", 5, 3, [](Fixture& f) { f.ds.GoLast(); }, [](Fixture& f) { f.ds.GoFirst(); }, {"BrowseModeNotice", "BeforeScroll", "CursorToFirst", "FetchRecord(next)=OK", "FetchRecord(next)=OK",
        "FetchRecord(next)=OK", "DataSetNotice", "AfterScroll"}},
      {"append with a window of three", 5, 3, nullptr, [](Fixture& f) { f.ds.StartAppend(); }, {"BrowseModeNotice", "QueryCanModify", "BeforeInsert", "BeforeScroll", "BlankRecordBuffer",
        "ZeroCalcArea", "WriteBookmarkFlag(inserted)", "WriteBookmarkFlag(EOF)", "CursorToLast",
        "FetchRecord(prior)=OK", "FetchRecord(prior)=OK", "PrepareInsert", "EditingNotice", "OnNewRecord",
        "DataSetNotice", "AfterInsert", "AfterScroll"}},
      {"next from the window's last row after the cursor moved away", 5, 3,
       [](Fixture& f) {
         f.ds.Skip(2);
         f.ds.StartEdit();
         f.ds.DiscardChanges();
       },
       [](Fixture& f) { f.ds.GoNext(); }, {"BrowseModeNotice", "BeforeScroll", "CursorToBuffer", "FetchRecord(next)=OK", "ScrollNotice(1)",
        "AfterScroll"}},
      {"prior from the window's first row after the cursor moved away", 5, 3,
       [](Fixture& f) {
         f.ds.GoLast();
         f.ds.Skip(-2);
         f.ds.StartEdit();
         f.ds.DiscardChanges();
       },
       [](Fixture& f) { f.ds.GoPrior(); }, {"BrowseModeNotice", "BeforeScroll", "CursorToBuffer", "FetchRecord(prior)=OK", "ScrollNotice(-1)",
        "AfterScroll"}},
      {"resync centred with a window of three", 5, 3, [](Fixture& f) { f.ds.Skip(2); },
       [](Fixture& f) { f.ds.ResyncBuffers({rmExact, rmCenter}); }, {"ResyncBuffers(exact,center)", "FetchRecord(current)=OK", "FetchRecord(prior)=OK", "CursorToBuffer",
        "FetchRecord(next)=OK", "DataSetNotice"}},
      {"open when the back end fails", 3, 1,
       [](Fixture& f) {
         f.ds.Deactivate();
         f.ds.fail_open = true;
       },
       [](Fixture& f) {
         EXPECT_THROW(f.ds.Activate(), EDatabaseError);
         EXPECT_FALSE(f.ds.QueryActive());
         EXPECT_FALSE(f.link.Active());
       },
       {"BeforeOpen", "OpenBackend", "CloseBackend"}},
      {"edit on an empty set inserts", 0, 1, nullptr, [](Fixture& f) { f.ds.StartEdit(); },
       {"BrowseModeNotice", "QueryCanModify", "BeforeInsert", "BeforeScroll", "BlankRecordBuffer",
        "ZeroCalcArea", "WriteBookmarkFlag(inserted)", "WriteBookmarkFlag(BOF)", "PrepareInsert",
        "EditingNotice", "OnNewRecord", "DataSetNotice", "AfterInsert", "AfterScroll"}},
      {"delete while inserting cancels", 3, 1, [](Fixture& f) { f.ds.StartInsert(); },
       [](Fixture& f) { f.ds.DeleteCurrent(); },
       {"BrowseModeNotice", "BeforeCancel", "BeforeScroll", "CursorToBuffer", "AbandonEdit", "EditingNotice",
        "ResyncBuffers()", "FetchRecord(current)=error", "FetchRecord(next)=OK", "DataSetNotice",
        "AfterCancel", "AfterScroll"}},
      {"two ahead with a window of one", 3, 1, nullptr,
       [](Fixture& f) {
         EXPECT_EQ(f.ds.Skip(2), 2);
         EXPECT_EQ(f.N(), 3);
       },
       {"BrowseModeNotice", "BeforeScroll", "FetchRecord(next)=OK", "FetchRecord(next)=OK", "ScrollNotice(2)",
        "AfterScroll"}},
      {"three ahead from the middle stops at the end", 3, 1, [](Fixture& f) { f.ds.GoNext(); },
       [](Fixture& f) {
         EXPECT_EQ(f.ds.Skip(3), 1);
         EXPECT_TRUE(f.ds.Eof());
         EXPECT_EQ(f.N(), 3);
       },
       {"BrowseModeNotice", "BeforeScroll", "FetchRecord(next)=OK", "FetchRecord(next)=EOF", "ScrollNotice(1)",
        "AfterScroll"}},
      {"three back from the middle stops at the start", 3, 1, [](Fixture& f) { f.ds.GoNext(); },
       [](Fixture& f) {
         EXPECT_EQ(f.ds.Skip(-3), -1);
         EXPECT_TRUE(f.ds.Bof());
         EXPECT_EQ(f.N(), 1);
       },
       {"BrowseModeNotice", "BeforeScroll", "FetchRecord(prior)=OK", "FetchRecord(prior)=BOF", "ScrollNotice(-1)",
        "AfterScroll"}},
      {"last with a window of three", 5, 3, nullptr, [](Fixture& f) { f.ds.GoLast(); },
       {"BrowseModeNotice", "BeforeScroll", "CursorToLast", "FetchRecord(prior)=OK", "FetchRecord(prior)=OK",
        "FetchRecord(prior)=OK", "DataSetNotice", "AfterScroll"}},
      {"write a field while editing", 3, 1, [](Fixture& f) { f.ds.StartEdit(); },
       [](Fixture& f) { f.ds.FieldNamed("N")->SetIntegerValue(5); }, {"RecordNotice(N)"}},
      {"post an append", 3, 1, [](Fixture& f) { f.ds.StartAppend(); f.ds.FieldNamed("N")->SetIntegerValue(4); },
       [](Fixture& f) {
         f.ds.CommitRecord();
         EXPECT_EQ(f.N(), 4);
       },
       {"CommitNotice", "BrowseModeNotice", "BeforePost", "CursorToLast", "StoreRecord", "EditingNotice",
        "ResyncBuffers()", "FetchRecord(current)=OK", "DataSetNotice", "AfterPost"}},
      {"cancel an append", 3, 1, [](Fixture& f) { f.ds.StartAppend(); },
       [](Fixture& f) {
         f.ds.DiscardChanges();
         EXPECT_EQ(f.N(), 3);
       },
       {"BrowseModeNotice", "BeforeCancel", "BeforeScroll", "CursorToLast", "AbandonEdit", "EditingNotice",
        "ResyncBuffers()", "FetchRecord(current)=error", "FetchRecord(next)=EOF", "FetchRecord(prior)=OK",
        "DataSetNotice", "AfterCancel", "AfterScroll"}},
      {"delete the last record", 3, 1, [](Fixture& f) { f.ds.GoLast(); },
       [](Fixture& f) {
         f.ds.DeleteCurrent();
         EXPECT_EQ(f.N(), 2);
       },
       {"BrowseModeNotice", "BeforeDelete", "BeforeScroll", "RemoveRecord", "ResyncBuffers()",
        "FetchRecord(current)=error", "FetchRecord(next)=EOF", "FetchRecord(prior)=OK", "DataSetNotice",
        "AfterDelete", "AfterScroll"}},
      {"resync when no record passes empties the window", 3, 1,
       [](Fixture& f) {
         f.ds.SetOnFilterRecord([](TDataSet*, bool& accept) { accept = false; });
         f.ds.SetFiltered(true);
       },
       [](Fixture& f) {
         f.ds.ResyncBuffers({});
         EXPECT_TRUE(f.ds.HasNoRecords());
       },
       {"ResyncBuffers()", "FetchRecord(current)=error", "FetchRecord(next)=EOF", "FetchRecord(prior)=BOF",
        "DataSetNotice"}},
      {"edit retried once", 3, 1,
       [](Fixture& f) {
         f.ds.failures["PrepareEdit"] = 1;
         f.ds.OnEditError = [](TDataSet*, EDatabaseError&, TDataAction& a) { a = daRetry; };
       },
       [](Fixture& f) { f.ds.StartEdit(); },
       {"BrowseModeNotice", "QueryCanModify", "BeforeEdit", "PrepareEdit", "PrepareEdit", "EditingNotice",
        "RecordNotice", "AfterEdit"}},
      {"edit aborted by its error event", 3, 1,
       [](Fixture& f) {
         f.ds.failures["PrepareEdit"] = 1;
         f.ds.OnEditError = [](TDataSet*, EDatabaseError&, TDataAction& a) { a = daAbort; };
       },
       [](Fixture& f) {
         EXPECT_THROW(f.ds.StartEdit(), EAbort);
         EXPECT_EQ(f.ds.CurrentMode(), dsBrowse);
       },
       {"BrowseModeNotice", "QueryCanModify", "BeforeEdit", "PrepareEdit"}},
      {"delete retried once", 3, 1,
       [](Fixture& f) {
         f.ds.failures["RemoveRecord"] = 1;
         f.ds.OnDeleteError = [](TDataSet*, EDatabaseError&, TDataAction& a) { a = daRetry; };
       },
       [](Fixture& f) {
         f.ds.DeleteCurrent();
         EXPECT_EQ(f.N(), 2);
       },
       {"BrowseModeNotice", "BeforeDelete", "BeforeScroll", "RemoveRecord", "RemoveRecord", "ResyncBuffers()",
        "FetchRecord(current)=OK", "DataSetNotice", "AfterDelete", "AfterScroll"}},
      {"delete failing without a handler", 3, 1, [](Fixture& f) { f.ds.failures["RemoveRecord"] = 1; },
       [](Fixture& f) {
         EXPECT_THROW(f.ds.DeleteCurrent(), EDatabaseError);
         EXPECT_EQ(f.N(), 1);
       },
       {"BrowseModeNotice", "BeforeDelete", "BeforeScroll", "RemoveRecord"}},
  };
  for (const TraceCase& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(c.rows, c.window);
    f.ds.recording = false;
    f.link.recording = false;
    if (c.prepare) c.prepare(f);
    f.trace.clear();
    f.ds.recording = true;
    f.link.recording = true;
    c.act(f);
    EXPECT_EQ(f.trace, c.expected) << ::testing::PrintToString(f.trace);
  }
}

}  // namespace contract_trace_test
}  // namespace dbtest

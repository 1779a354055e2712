// The framework's behaviour on the in-memory back end: errors, retry loops,
// muted controls, calculated fields, bookmarks, filters and stored formats.
#include <functional>

#include <gtest/gtest.h>

#include "tests/toolkit/db/recording.h"

namespace dbtest {
namespace dataset_test {

class Table : public ::testing::Test {
 public:
  void SetUp() override {
    ds.SetName("Mem1");
    ds.FieldDefs().AppendNamedDef("N", ftInteger);
    ds.FieldDefs().AppendNamedDef("NAME", ftString, 10);
    ds.FieldDefs().AppendNamedDef("P", ftFloat);
  }
  void Fill(int rows) {
    ds.Activate();
    for (int i = 1; i <= rows; ++i) {
      ds.StartAppend();
      ds.FieldNamed("N")->SetIntegerValue(i);
      ds.FieldNamed("NAME")->SetStringValue("row" + std::to_string(i));
      ds.CommitRecord();
    }
    ds.GoFirst();
  }
  int N() { return ds.FieldNamed("N")->GetIntegerValue(); }
  std::vector<int> All() {
    std::vector<int> out;
    for (ds.GoFirst(); !ds.Eof(); ds.GoNext()) out.push_back(N());
    return out;
  }

  TMemDataSet ds{nullptr};
};

// A link on a data set that records the notices it hears from now on.
struct Listener {
  explicit Listener(TDataSet& data_set) {
    source.SetDataSet(&data_set);
    link.ChangeDataSource(&source);
    trace.clear();
  }
  Trace trace;
  TDataSource source{nullptr};
  RecordingLink link{&trace};
};

TEST_F(Table, FrameworkErrorsCarryTheirTexts) {
  struct Case {
    const char* what;
    std::function<void(Table&)> action;
    std::string message;
  };
  const Case cases[] = {
      {"navigating a closed set", [](Table& t) { t.ds.GoFirst(); },
       "Mem1: Cannot perform this operation on a closed dataset"},
      {"adding a field to an open set",
       [](Table& t) {
         t.Fill(1);
         auto* f = new TIntegerField(&t.ds);
         f->SetFieldName("X");
         f->SetDataSet(&t.ds);
       },
       "Mem1: Cannot perform this operation on an open dataset"},
      {"posting while browsing", [](Table& t) { t.Fill(1), t.ds.CommitRecord(); },
       "Mem1: Dataset not in edit or insert mode"},
      {"a field that does not exist", [](Table& t) { t.Fill(1), t.ds.FieldNamed("NOPE"); },
       "Mem1: Field 'NOPE' not found"},
      {"deleting from an empty set", [](Table& t) { t.Fill(0), t.ds.DeleteCurrent(); },
       "Mem1: Cannot perform this operation on an empty dataset"},
      {"going to a deleted record",
       [](Table& t) {
         t.Fill(3);
         TBookmark b = t.ds.TakeBookmark();
         t.ds.DeleteCurrent();
         t.ds.ReturnToBookmark(b);
       },
       "Mem1: Record not found"},
      {"an exact resync on a vanished record",
       [](Table& t) {
         t.Fill(2);
         t.ds.SetFiltered(true);
         t.ds.SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldNamed("N")->GetIntegerValue() != 1; });
         t.ds.ResyncBuffers({rmExact});
       },
       "Mem1: Record not found"},
      {"a required field left empty",
       [](Table& t) {
         t.Fill(0);
         t.ds.FieldNamed("NAME")->SetRequired(true);
         t.ds.StartAppend();
         t.ds.FieldNamed("N")->SetIntegerValue(1);
         t.ds.CommitRecord();
       },
       "Mem1: Field 'NAME' must have a value"},
      {"editing a read-only set",
       [](Table& t) {
         t.Fill(1);
         t.ds.SetReadOnly(true);
         t.ds.StartEdit();
       },
       "Mem1: Cannot modify a read-only dataset"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ds.Deactivate();
    ds.EmptyTable();
    ds.SetReadOnly(false);
    EXPECT_EQ(ErrorOf([&] { c.action(*this); }), c.message);
    ds.SetFiltered(false);
    if (ds.QueryActive()) ds.DiscardChanges();
  }
}

TEST_F(Table, ErrorEventsDecideTheRetryLoop) {
  struct Case {
    const char* what;
    std::vector<TDataAction> answers;  // one per failure
    int failures;                      // how many times the hook fails
    const char* outcome;               // "posted", "EDatabaseError" or "EAbort"
  };
  const Case cases[] = {
      {"retry until the hook succeeds", {daRetry, daRetry}, 2, "posted"},
      {"fail passes the error on", {daFail}, 1, "EDatabaseError"},
      {"abort becomes silent", {daAbort}, 1, "EAbort"},
      {"no handler fails", {}, 1, "EDatabaseError"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Trace trace;
    RecordingDataSet rec(&trace);
    rec.FieldDefs().AppendNamedDef("N", ftInteger);
    rec.Activate();
    int failures_left = c.failures;
    size_t answer = 0;
    rec.BeforePost = [&failures_left](TDataSet* d) {
      // Required on purpose, then satisfied after the configured number of failures.
      d->FieldNamed("N")->SetRequired(true);
      (void)failures_left;
    };
    if (!c.answers.empty())
      rec.OnPostError = [&](TDataSet* d, EDatabaseError&, TDataAction& action) {
        action = c.answers[std::min(answer++, c.answers.size() - 1)];
        if (--failures_left == 0) d->FieldNamed("N")->SetRequired(false);
      };
    rec.StartAppend();
    std::string outcome = "posted";
    try {
      rec.CommitRecord();
    } catch (const EAbort&) {
      outcome = "EAbort";
    } catch (const EDatabaseError&) {
      outcome = "EDatabaseError";
    }
    EXPECT_EQ(outcome, c.outcome);
    int store_calls = 0;
    for (const std::string& t : trace) store_calls += t == "StoreRecord";
    EXPECT_EQ(store_calls, outcome == "posted" ? c.failures + 1 : 1);
    EXPECT_EQ(rec.CurrentMode(), outcome == "posted" ? dsBrowse : dsInsert);
  }
}

TEST_F(Table, MutedControlsHearOneNoticeOnTheLastUnmute) {
  Fill(5);
  Listener listener(ds);
  Trace& trace = listener.trace;
  ds.MuteControls();
  ds.MuteControls();
  ds.GoNext();
  ds.GoLast();
  ds.UnmuteControls();
  EXPECT_TRUE(trace.empty());
  ds.UnmuteControls();
  EXPECT_EQ(trace, Trace{"DataSetNotice"});
  // Nothing held, nothing sent.
  trace.clear();
  ds.MuteControls();
  ds.UnmuteControls();
  EXPECT_TRUE(trace.empty());
  // A change of mode while muted reaches the links as the mode.
  ds.MuteControls();
  ds.StartEdit();
  ds.UnmuteControls();
  EXPECT_EQ(trace, (Trace{"EditingNotice", "DataSetNotice"}));
  // A close and reopen while muted: the same mode at both ends, yet every
  // buffer the links showed is gone; they hear it as a layout change.
  ds.DiscardChanges();
  trace.clear();
  ds.MuteControls();
  ds.Deactivate();
  ds.Activate();
  EXPECT_TRUE(trace.empty());
  ds.UnmuteControls();
  EXPECT_EQ(trace, Trace{"LayoutNotice"});
}

TEST_F(Table, AFailedWalkLeavesTheSetUnmutedAndInItsMode) {
  // The handlers raise on the third row the walk meets; the walk fails, and
  // the links must hear the set again afterwards, in browse mode.
  struct Case {
    const char* what;
    bool failing_filter;
    std::function<void(Table&)> work;
  };
  const Case cases[] = {
      {"a filter handler during a search", true, [](Table& t) { t.ds.FindByValues("N", Variant(5), {}); }},
      {"a filter handler while reading by key", true,
       [](Table& t) { t.ds.ReadByValues("N", Variant(5), "NAME"); }},
      {"guards nested by hand", false,
       [](Table& t) {
         TMuteScope outer(t.ds);
         TMuteScope inner(t.ds);
         TTemporaryModeScope calc(t.ds, dsCalcFields, nullptr);
         EXPECT_EQ(t.ds.CurrentMode(), dsCalcFields);
         t.ds.GoLast();
         throw EDatabaseError("work failed");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ds.Deactivate();
    ds.SetFiltered(false);
    ds.SetOnFilterRecord(nullptr);
    Fill(6);
    int seen = 0;
    if (c.failing_filter) {
      ds.SetOnFilterRecord([&seen](TDataSet*, bool& accept) {
        if (++seen == 3) throw EDatabaseError("filter failed");
        accept = true;
      });
      ds.SetFiltered(true);
    }
    ds.GoFirst();
    seen = 0;
    Listener listener(ds);
    Trace& trace = listener.trace;
    EXPECT_THROW(c.work(*this), EDatabaseError);
    EXPECT_FALSE(ds.ControlsMuted());
    EXPECT_EQ(ds.CurrentMode(), dsBrowse);
    ds.SetOnFilterRecord(nullptr);
    trace.clear();
    ds.GoFirst();
    EXPECT_FALSE(trace.empty());
  }
}

TEST_F(Table, CalculatedFieldsAreComputedPerRecord) {
  auto* twice = new TIntegerField(&ds);
  auto* n = new TIntegerField(&ds);
  n->SetFieldName("N");
  n->SetDataSet(&ds);
  twice->SetFieldName("TWICE");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(&ds);
  ds.OnCalcFields = [](TDataSet* d) {
    EXPECT_EQ(d->CurrentMode(), dsCalcFields);
    d->FieldNamed("TWICE")->SetIntegerValue(d->FieldNamed("N")->GetIntegerValue() * 2);
  };
  ds.Activate();
  for (int i = 1; i <= 3; ++i) {
    ds.StartAppend();
    n->SetIntegerValue(i);
    ds.CommitRecord();
  }
  std::vector<int> got;
  for (ds.GoFirst(); !ds.Eof(); ds.GoNext()) got.push_back(twice->GetIntegerValue());
  EXPECT_EQ(got, (std::vector<int>{2, 4, 6}));
  // While editing, a change recomputes them.
  ds.GoFirst();
  ds.StartEdit();
  n->SetIntegerValue(10);
  EXPECT_EQ(twice->GetIntegerValue(), 20);
  EXPECT_TRUE(ds.Modified());
  EXPECT_THROW(twice->SetIntegerValue(1), EDatabaseError);
}

TEST_F(Table, FilterRecordReadsTheCandidateInFilterMode) {
  Fill(6);
  std::vector<TDataSetMode> modes;
  ds.SetOnFilterRecord([&modes](TDataSet* d, bool& accept) {
    modes.push_back(d->CurrentMode());
    accept = d->FieldNamed("N")->GetIntegerValue() % 2 == 0;
  });
  ds.SetFiltered(true);
  EXPECT_EQ(All(), (std::vector<int>{2, 4, 6}));
  EXPECT_EQ(ds.CursorRecordCount(), 3);
  for (TDataSetMode m : modes) EXPECT_EQ(m, dsFilter);
  EXPECT_EQ(ds.CurrentMode(), dsBrowse);
}

TEST_F(Table, EqualityFiltersSelectARecordKind) {
  Fill(6);
  ds.SetFilter("N=4");
  ds.SetFiltered(true);
  EXPECT_EQ(All(), (std::vector<int>{4}));
  ds.SetFilter("NAME='row2'");
  EXPECT_EQ(All(), (std::vector<int>{2}));
  ds.SetFiltered(false);
  EXPECT_EQ(All().size(), 6u);
  EXPECT_THROW(ds.SetFilter("N>4"), EDatabaseError);
  EXPECT_EQ(ds.Filter(), "NAME='row2'");
}

TEST_F(Table, BookmarksAnswerFromTheBackEnd) {
  Fill(4);
  ds.GoNext();
  const TBookmark second = ds.TakeBookmark();
  ds.GoNext();
  const TBookmark third = ds.TakeBookmark();
  EXPECT_EQ(second.size(), 4u);
  EXPECT_TRUE(ds.BookmarkExists(second));
  EXPECT_LT(ds.CompareBookmarkValues(second, third), 0);
  EXPECT_GT(ds.CompareBookmarkValues(third, second), 0);
  EXPECT_EQ(ds.CompareBookmarkValues(second, second), 0);
  EXPECT_GT(ds.CompareBookmarkValues({}, second), 0);  // a missing bookmark sorts last
  ds.ReturnToBookmark(second);
  EXPECT_EQ(N(), 2);
  ds.DeleteCurrent();
  EXPECT_FALSE(ds.BookmarkExists(second));
  EXPECT_EQ(N(), 3);
}

TEST_F(Table, BookmarksExistOnlyForStoredRecordsInView) {
  struct Case {
    const char* what;
    int rows;
    std::function<void(TMemDataSet&)> prepare;
    bool available;
  };
  const Case cases[] = {
      {"browsing", 3, [](TMemDataSet&) {}, true},
      {"editing", 3, [](TMemDataSet& d) { d.StartEdit(); }, true},
      {"inserting", 3, [](TMemDataSet& d) { d.StartInsert(); }, false},
      {"appending", 3, [](TMemDataSet& d) { d.StartAppend(); }, false},
      {"an empty set", 0, [](TMemDataSet&) {}, false},
      {"a closed set", 3, [](TMemDataSet& d) { d.Deactivate(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ds.Deactivate();
    ds.EmptyTable();
    Fill(c.rows);
    c.prepare(ds);
    EXPECT_EQ(ds.BookmarkAvailable(), c.available);
    EXPECT_EQ(ds.TakeBookmark().empty(), !c.available);
    if (ds.QueryActive()) ds.DiscardChanges();
  }
}

// The base answer stays usable for a back end that does not override it.
class KeepsBaseBookmarkTest : public TMemDataSet {
 public:
  KeepsBaseBookmarkTest() : TMemDataSet(nullptr) {}
  bool BookmarkExists(const TBookmark& b) override { return TDataSet::BookmarkExists(b); }
};

TEST_F(Table, BaseBookmarkTestAsksTheBackEnd) {
  KeepsBaseBookmarkTest d;
  d.FieldDefs().AppendNamedDef("N", ftInteger);
  d.Activate();
  for (int i = 1; i <= 3; ++i) {
    d.StartAppend();
    d.FieldNamed("N")->SetIntegerValue(i);
    d.CommitRecord();
  }
  d.GoFirst();
  d.GoNext();
  const TBookmark b = d.TakeBookmark();
  d.GoLast();
  EXPECT_TRUE(d.BookmarkExists(b));
  EXPECT_FALSE(d.BookmarkExists(std::string("\x7f\0\0\0", 4)));
  EXPECT_FALSE(d.BookmarkExists({}));
  // The probe leaves the position alone.
  EXPECT_EQ(d.FieldNamed("N")->GetIntegerValue(), 3);
  d.GoPrior();
  EXPECT_EQ(d.FieldNamed("N")->GetIntegerValue(), 2);
}

TEST_F(Table, InsertStoresBeforeTheActiveRecordAndAppendAtTheEnd) {
  Fill(3);
  ds.GoNext();
  ds.StartInsert();
  ds.FieldNamed("N")->SetIntegerValue(10);
  ds.CommitRecord();
  EXPECT_EQ(N(), 10);
  ds.StartAppend();
  ds.FieldNamed("N")->SetIntegerValue(20);
  ds.CommitRecord();
  EXPECT_EQ(All(), (std::vector<int>{1, 10, 2, 3, 20}));
  ds.GoFirst();
  ds.StartEdit();
  ds.FieldNamed("N")->SetIntegerValue(5);
  ds.DiscardChanges();
  EXPECT_EQ(N(), 1);
}

TEST_F(Table, FindAndReadByValues) {
  Fill(5);
  EXPECT_TRUE(ds.FindByValues("NAME", Variant("ROW3"), {fiCaseInsensitive}));
  EXPECT_EQ(N(), 3);
  EXPECT_FALSE(ds.FindByValues("N;NAME", VarArrayOf({4, "row5"}), {}));
  EXPECT_EQ(N(), 3);
  EXPECT_TRUE(ds.FindByValues("NAME", Variant("row4"), {fiPartialKey}));
  EXPECT_EQ(ds.ReadByValues("N", Variant(2), "NAME").AsString(), "row2");
  EXPECT_EQ(N(), 4);
  EXPECT_TRUE(VarIsNull(ds.ReadByValues("N", Variant(99), "NAME")));
}

TEST_F(Table, NumericTextStoresWhatTheTableGivesBack) {
  struct Case {
    const char* field;
    int width, decimals;
    std::function<void(TField*)> write;
    std::string read;
  };
  ds.FieldDefs().AppendNamedDef("SM", ftSmallint);
  const Case cases[] = {
      {"P", 18, 9, [](TField* f) { f->SetFloatValue(1.0 / 3); }, "0,333333333"},
      {"P", 18, 9, [](TField* f) { f->SetFloatValue(2.5); }, "2,5"},
      {"P", 18, 9, [](TField* f) { f->SetFloatValue(-1234.0000000004); }, "-1234"},
      {"P", 9, 2, [](TField* f) { f->SetFloatValue(0.125); }, "0,13"},
      {"N", 9, 0, [](TField* f) { f->SetIntegerValue(1234567890); }, "234567890"},
      {"N", 9, 0, [](TField* f) { f->SetIntegerValue(-123456789); }, "-23456789"},
      {"SM", 4, 0, [](TField* f) { f->SetIntegerValue(12345); }, "2345"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.read);
    ds.Deactivate();
    ds.SetStoreTransform(c.field, TMemDataSet::NumericText(c.width, c.decimals));
    ds.Activate();
    ds.StartAppend();
    TField* f = ds.FieldNamed(c.field);
    c.write(f);
    // Read back while the row is still being edited, as the decoder does.
    EXPECT_EQ(f->GetStringValue(), c.read);
    ds.CommitRecord();
    EXPECT_EQ(f->GetStringValue(), c.read);
    ds.SetStoreTransform(c.field, nullptr);
  }
}

TEST_F(Table, RowsSurviveReopeningAndDefaultFieldsAreRemade) {
  Fill(3);
  TField* before = ds.FieldNamed("N");
  ds.Deactivate();
  EXPECT_EQ(ds.QueryFieldCount(), 0);
  ds.Activate();
  EXPECT_EQ(ds.StoredRowCount(), 3);
  EXPECT_EQ(All(), (std::vector<int>{1, 2, 3}));
  // The field objects of the first open are gone; new ones serve the same column.
  EXPECT_EQ(ds.FieldNamed("N")->ColumnNumber(), 1);
  (void)before;
}

TEST_F(Table, SequenceNumbersFollowTheFilter) {
  Fill(6);
  ds.SetFilter("N=4");
  ds.SetFiltered(true);
  EXPECT_EQ(ds.GetSequenceNo(), 1);
  ds.SetFiltered(false);
  ds.SetSequenceNo(5);
  EXPECT_EQ(N(), 5);
  EXPECT_EQ(ds.GetSequenceNo(), 5);
  EXPECT_EQ(ds.CursorRecordCount(), 6);
}

}  // namespace dataset_test
}  // namespace dbtest

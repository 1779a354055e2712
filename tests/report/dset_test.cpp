// Record sources as a band walks them: the counted source, the source over a
// data set (ranges, filtered and empty sets, where the data set is left), the
// order of the events, the missing-data-set error, and the data-set routines.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "report/FR_DBSet.h"
#include "report/FR_DSet.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/memdataset.h"

namespace dset_test {

// The build's loop: First, then Next while not Eof. Returns the values seen;
// a walk that does not end within the limit is cut off, so a source that
// never ends shows as a long list instead of a hang.
std::vector<int> Walk(TfrDataset& source, const std::function<int()>& value, int limit = 20) {
  std::vector<int> seen;
  source.First();
  while (!source.Eof() && static_cast<int>(seen.size()) < limit) {
    seen.push_back(value());
    source.Next();
  }
  return seen;
}

// ---- the counted source -------------------------------------------------------------

TEST(UserDataset, CountedAndEventDrivenWalksVisitTheRightRecords) {
  const struct {
    const char* name;
    TRangeEnd range_end;
    int count;
    // OnCheckEOF: given RecNo and the source's own answer, the answer to give;
    // absent: no handler.
    std::function<bool(int, bool)> check_eof;
    std::vector<int> rec_nos;
    int on_next_calls;
  } cases[] = {
      {"three records", reCount, 3, nullptr, {0, 1, 2}, 2},
      {"one record", reCount, 1, nullptr, {0}, 0},
      {"no records", reCount, 0, nullptr, {}, 0},
      {"a negative count is no records", reCount, -4, nullptr, {}, 0},
      {"the handler ends an open range", reLast, 0, [](int rec_no, bool) { return rec_no >= 2; }, {0, 1}, 2},
      // Steps past the count are not announced even when the handler extends the range.
      {"the handler extends a count", reCount, 2, [](int rec_no, bool) { return rec_no >= 4; }, {0, 1, 2, 3}, 1},
      {"the handler ends a count early", reCount, 5, [](int rec_no, bool eof) { return eof || rec_no == 1; }, {0}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TfrUserDataset source(nullptr);
    source.SetRangeEnd(c.range_end);
    source.SetRangeEndCount(c.count);
    int on_first = 0, on_next = 0;
    source.OnFirst = [&](TComponent*) { ++on_first; };
    source.OnNext = [&](TComponent*) { ++on_next; };
    if (c.check_eof)
      source.OnCheckEOF = [&](TComponent*, bool& eof) { eof = c.check_eof(source.RecNo(), eof); };
    EXPECT_EQ(Walk(source, [&] { return source.RecNo(); }), c.rec_nos);
    EXPECT_EQ(on_first, 1);
    EXPECT_EQ(on_next, c.on_next_calls);
  }
}

TEST(UserDataset, EndTestHandlerReceivesTheCountedAnswer) {
  TfrUserDataset source(nullptr);
  source.SetRangeEnd(reCount);
  source.SetRangeEndCount(2);
  std::vector<std::string> seen;
  source.OnCheckEOF = [&](TComponent* sender, bool& eof) {
    EXPECT_EQ(sender, &source);
    seen.push_back(std::to_string(source.RecNo()) + (eof ? " end" : " more"));
  };
  Walk(source, [] { return 0; });
  EXPECT_EQ(seen, (std::vector<std::string>{"0 more", "1 more", "2 end"}));
}

TEST(UserDataset, EventsFollowTheRecordNumber) {
  TfrUserDataset source(nullptr);
  std::vector<std::string> log;
  source.OnFirst = [&](TComponent*) { log.push_back("first " + std::to_string(source.RecNo())); };
  source.OnNext = [&](TComponent*) { log.push_back("next " + std::to_string(source.RecNo())); };
  source.OnPrior = [&](TComponent*) { log.push_back("prior " + std::to_string(source.RecNo())); };
  source.Open();
  source.Next();
  source.First();
  source.Next();
  source.Next();
  source.Prior();
  source.Close();
  EXPECT_EQ(log, (std::vector<std::string>{"next 1", "first 0", "next 1", "next 2", "prior 1"}));
  EXPECT_FALSE(source.Eof());  // an open range never ends by itself
}

// ---- the source over a data set -------------------------------------------------------

// A data set with an integer column N holding 1..count, and a blob column.
struct Table {
  explicit Table(int count, const char* name = "Dbf1") {
    ds.SetName(name);
    ds.FieldDefs().AppendNamedDef("N", ftInteger);
    ds.FieldDefs().AppendNamedDef("PIC", ftBlob);
    ds.Activate();
    for (int i = 1; i <= count; ++i) {
      ds.StartAppend();
      ds.FieldNamed("N")->SetIntegerValue(i);
      ds.CommitRecord();
    }
    ds.GoFirst();
  }
  // Makes the record holding n current.
  void GoTo(int n) {
    ASSERT_TRUE(ds.FindByValues("N", Variant(n), {}));
  }
  // The N of the current record; 0 on an empty (or wholly filtered) set.
  int N() const { return ds.HasNoRecords() ? 0 : ds.FieldNamed("N")->GetIntegerValue(); }

  TMemDataSet ds{nullptr};
};

struct Source {
  explicit Source(Table& t) {
    source.SetName("frDBDataSet1");
    source.SetDataSet(&t.ds);
  }
  TfrDBDataSet source{nullptr};
};

TEST(DBDataSet, RangesVisitTheRightRecordsAndLeaveTheDataSetWhereExpected) {
  const struct {
    const char* name;
    int rows;
    std::function<void(TMemDataSet&)> filter;
    int current;  // N current at Open
    TRangeBegin begin;
    TRangeEnd end;
    int count;
    std::vector<int> visited;
    int after_close;  // N current after Close
  } cases[] = {
      {"whole table", 5, nullptr, 3, rbFirst, reLast, 0, {1, 2, 3, 4, 5}, 5},
      {"only the current record", 5, nullptr, 3, rbCurrent, reCurrent, 0, {3}, 3},
      {"current to the end", 5, nullptr, 3, rbCurrent, reLast, 0, {3, 4, 5}, 3},
      {"first to the current", 5, nullptr, 3, rbFirst, reCurrent, 0, {1, 2, 3}, 3},
      {"current record is the first", 5, nullptr, 1, rbFirst, reCurrent, 0, {1}, 1},
      {"current record is the last", 5, nullptr, 5, rbCurrent, reCurrent, 0, {5}, 5},
      {"two from the first", 5, nullptr, 4, rbFirst, reCount, 2, {1, 2}, 3},
      {"two from the current", 5, nullptr, 4, rbCurrent, reCount, 2, {4, 5}, 4},
      {"count beyond the table", 5, nullptr, 1, rbFirst, reCount, 9, {1, 2, 3, 4, 5}, 5},
      {"count of zero", 5, nullptr, 2, rbFirst, reCount, 0, {}, 1},
      {"empty table", 0, nullptr, 0, rbFirst, reLast, 0, {}, 0},
      {"empty table, current record", 0, nullptr, 0, rbCurrent, reCurrent, 0, {}, 0},
      {"empty table, first to current", 0, nullptr, 0, rbFirst, reCurrent, 0, {}, 0},
      {"filtered by text", 5, [](TMemDataSet& ds) { ds.SetFilter("N=4"); ds.SetFiltered(true); }, 4, rbFirst,
       reLast, 0, {4}, 4},
      {"filtered by event", 5,
       [](TMemDataSet& ds) {
         ds.SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldNamed("N")->GetIntegerValue() % 2 == 1; });
         ds.SetFiltered(true);
       },
       3, rbCurrent, reLast, 0, {3, 5}, 3},
      {"filtered to nothing", 5, [](TMemDataSet& ds) { ds.SetFilter("N=9"); ds.SetFiltered(true); }, 0, rbFirst,
       reLast, 0, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Table t(c.rows);
    if (c.filter) c.filter(t.ds);
    if (c.current > 0) t.GoTo(c.current);
    Source s(t);
    s.source.SetRangeBegin(c.begin);
    s.source.SetRangeEnd(c.end);
    s.source.SetRangeEndCount(c.count);
    s.source.Open();
    EXPECT_EQ(Walk(s.source, [&] { return t.N(); }), c.visited);
    s.source.Close();
    EXPECT_TRUE(t.ds.QueryActive());
    EXPECT_EQ(t.N(), c.after_close);
  }
}

TEST(DBDataSet, RecordNumberCountsTheRecordsWalked) {
  Table t(4);
  t.GoTo(2);
  Source s(t);
  s.source.SetRangeBegin(rbCurrent);
  s.source.Open();
  std::vector<int> rec_nos = Walk(s.source, [&] { return s.source.RecNo(); });
  EXPECT_EQ(rec_nos, (std::vector<int>{0, 1, 2}));
  s.source.Prior();
  EXPECT_EQ(s.source.RecNo(), 2);
  EXPECT_EQ(t.N(), 3);
}

TEST(DBDataSet, OpeningAndClosingFollowTheTwoSwitches) {
  const struct {
    bool open_data_source, close_data_source, active_before;
    bool active_after_open, active_after_close;
  } cases[] = {
      {true, false, false, true, true},   // the defaults: opened, left open
      {true, true, false, true, false},
      {false, false, true, true, true},
      {false, true, true, true, false},
      {false, false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "open " << c.open_data_source << " close " << c.close_data_source
                                    << " active " << c.active_before);
    Table t(2);
    if (!c.active_before) t.ds.Deactivate();
    Source s(t);
    s.source.SetOpenDataSource(c.open_data_source);
    s.source.SetCloseDataSource(c.close_data_source);
    s.source.Open();
    EXPECT_EQ(t.ds.QueryActive(), c.active_after_open);
    if (!c.active_after_open) {
      // The data set's own errors pass through unchanged.
      EXPECT_THROW(s.source.First(), EDatabaseError);
    }
    s.source.Close();
    EXPECT_EQ(t.ds.QueryActive(), c.active_after_close);
  }
}

TEST(DBDataSet, EventsComeInOrder) {
  std::vector<std::string> log;
  Table t(3);
  t.GoTo(2);
  t.ds.Deactivate();
  Source s(t);
  s.source.SetRangeBegin(rbCurrent);
  s.source.SetRangeEnd(reCurrent);
  s.source.SetCloseDataSource(true);
  t.ds.AfterOpen = [&](TDataSet*) { log.push_back("data set opened"); };
  t.ds.AfterClose = [&](TDataSet*) { log.push_back("data set closed"); };
  s.source.OnOpen = [&](TComponent* sender) {
    EXPECT_EQ(sender, &s.source);
    // The range is taken after this handler: moving here picks the record.
    t.GoTo(3);
    log.push_back("OnOpen");
  };
  s.source.OnFirst = [&](TComponent*) { log.push_back("OnFirst at " + std::to_string(t.N())); };
  s.source.OnNext = [&](TComponent*) { log.push_back("OnNext"); };
  s.source.OnClose = [&](TComponent*) {
    log.push_back("OnClose at " + std::to_string(t.N()) + (t.ds.QueryActive() ? " open" : " closed"));
  };
  s.source.Open();
  t.ds.GoFirst();  // the band's data set may be moved by others before the walk
  EXPECT_EQ(Walk(s.source, [&] { return t.N(); }), (std::vector<int>{3}));
  t.ds.GoFirst();
  s.source.Close();
  EXPECT_EQ(log, (std::vector<std::string>{"data set opened", "OnOpen", "OnFirst at 3", "OnClose at 3 open",
                                            "data set closed"}));
}

TEST(DBDataSet, MissingDataSetIsReportedByEveryOperation) {
  const struct {
    const char* name;
    std::function<void(TfrDBDataSet&)> run;
  } operations[] = {
      {"Open", [](TfrDBDataSet& s) { s.Open(); }},   {"Close", [](TfrDBDataSet& s) { s.Close(); }},
      {"First", [](TfrDBDataSet& s) { s.First(); }}, {"Next", [](TfrDBDataSet& s) { s.Next(); }},
      {"Prior", [](TfrDBDataSet& s) { s.Prior(); }}, {"Eof", [](TfrDBDataSet& s) { (void)s.Eof(); }},
  };
  TDataSource empty_source(nullptr);
  const struct {
    const char* name;
    std::function<void(TfrDBDataSet&)> setup;
  } setups[] = {
      {"nothing set", [](TfrDBDataSet&) {}},
      {"a data source without data set", [&](TfrDBDataSet& s) { s.SetDataSource(&empty_source); }},
  };
  for (const auto& setup : setups) {
    for (const auto& op : operations) {
      SCOPED_TRACE(std::string(setup.name) + ": " + op.name);
      TfrDBDataSet source(nullptr);
      source.SetName("frDBDataSet1");
      source.SetRangeEnd(reCount);  // the counted end does not spare Eof the lookup
      setup.setup(source);
      try {
        op.run(source);
        ADD_FAILURE() << "no error";
      } catch (const EDSError& e) {
        EXPECT_EQ(e.Message(), "Unable to open dataset frDBDataSet1");
        EXPECT_STREQ(e.ClassName(), "EDSError");
      }
    }
  }
}

TEST(DBDataSet, DataSourceSuppliesTheDataSetWhileItHasOne) {
  Table t(2);
  TDataSource source_of_rows(nullptr);
  source_of_rows.SetDataSet(&t.ds);
  TfrDBDataSet source(nullptr);
  source.SetDataSource(&source_of_rows);
  EXPECT_EQ(source.GetDataSet(), &t.ds);
  source.Open();
  EXPECT_EQ(Walk(source, [&] { return t.N(); }), (std::vector<int>{1, 2}));
  source_of_rows.SetDataSet(nullptr);
  EXPECT_THROW(source.First(), EDSError);
}

TEST(DBDataSet, SettingOneReferenceClearsTheOther) {
  Table a(1), b(1);
  TDataSource src(nullptr), other(nullptr);
  src.SetDataSet(&b.ds);
  const struct {
    const char* name;
    std::function<void(TfrDBDataSet&)> steps;
    TDataSet* data_set;
    TDataSource* data_source;
  } cases[] = {
      {"data set", [&](TfrDBDataSet& s) { s.SetDataSet(&a.ds); }, &a.ds, nullptr},
      {"source replaces data set", [&](TfrDBDataSet& s) { s.SetDataSet(&a.ds); s.SetDataSource(&src); }, nullptr,
       &src},
      {"no source keeps data set", [&](TfrDBDataSet& s) { s.SetDataSet(&a.ds); s.SetDataSource(nullptr); }, &a.ds,
       nullptr},
      {"data set replaces source", [&](TfrDBDataSet& s) { s.SetDataSource(&src); s.SetDataSet(&a.ds); }, &a.ds,
       nullptr},
      {"no data set still clears source", [&](TfrDBDataSet& s) { s.SetDataSource(&src); s.SetDataSet(nullptr); },
       nullptr, nullptr},
      {"source replaces source", [&](TfrDBDataSet& s) { s.SetDataSource(&src); s.SetDataSource(&other); }, nullptr,
       &other},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TfrDBDataSet s(nullptr);
    c.steps(s);
    EXPECT_EQ(s.DataSet(), c.data_set);
    EXPECT_EQ(s.DataSource(), c.data_source);
  }
}

TEST(DBDataSet, DestroyedReferencesAreForgotten) {
  TComponent form(nullptr);
  auto* ds = new TMemDataSet(&form);
  auto* src = new TDataSource(&form);
  TfrDBDataSet by_set(nullptr), by_source(nullptr);
  by_set.SetDataSet(ds);
  by_source.SetDataSource(src);
  // A replaced reference is no longer watched: freeing it later is harmless.
  TfrDBDataSet replaced(nullptr);
  replaced.SetDataSet(ds);
  replaced.SetDataSet(nullptr);
  ds->Free();
  src->Free();
  EXPECT_EQ(by_set.DataSet(), nullptr);
  EXPECT_EQ(by_source.DataSource(), nullptr);
  EXPECT_THROW(by_set.First(), EDSError);
  EXPECT_THROW(by_source.First(), EDSError);
}

TEST(DBDataSet, CloseSurvivesTheRememberedRecordGoingAway) {
  const struct {
    const char* name;
    std::function<void(TMemDataSet&)> during_walk;
  } cases[] = {
      {"a script deletes the record the range started at", [](TMemDataSet& ds) { ds.DeleteCurrent(); }},
      {"the data set is closed by someone else", [](TMemDataSet& ds) { ds.Deactivate(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Table t(4);
    t.GoTo(2);
    Source s(t);
    s.source.SetRangeBegin(rbCurrent);
    s.source.SetCloseDataSource(true);
    bool closed_event = false;
    s.source.OnClose = [&](TComponent*) { closed_event = true; };
    s.source.Open();
    s.source.First();
    c.during_walk(t.ds);
    EXPECT_NO_THROW(s.source.Close());
    EXPECT_TRUE(closed_event);
    EXPECT_FALSE(t.ds.QueryActive());
  }
}

TEST(DBDataSet, RememberedRecordBelongsToItsOwnDataSet) {
  Table a(5), b(5);
  a.GoTo(2);
  b.GoTo(5);
  TfrDBDataSet source(nullptr);
  source.SetDataSet(&a.ds);
  source.SetRangeBegin(rbCurrent);
  source.Open();
  // Row 2 of the first table has the same bookmark bytes as row 2 of the second.
  source.SetDataSet(&b.ds);
  source.Close();
  EXPECT_EQ(b.N(), 5);
  EXPECT_EQ(a.N(), 2);
}

TEST(DBDataSet, PublishedPropertiesAndDefaults) {
  TfrDBDataSet source(nullptr);
  std::vector<std::string> names;
  for (const TPropInfo* p : source.ClassInfo()->Properties()) {
    if (p->Name == "Name" || p->Name == "Tag") continue;
    names.push_back(p->Name + (IsDefaultValue(&source, *p) ? "" : " (set)"));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"DataSet", "DataSource", "OpenDataSource", "CloseDataSource",
                                             "RangeBegin", "RangeEnd", "RangeEndCount"}));
  SetEnumProp(&source, FindPropInfo(&source, "RangeEnd"), "reCount");
  EXPECT_EQ(source.RangeEnd(), reCount);
  EXPECT_EQ(GetEnumProp(&source, FindPropInfo(&source, "RangeBegin")), "rbFirst");
  TfrUserDataset user(nullptr);
  EXPECT_NE(GetPropInfo(&user, "RangeEndCount"), nullptr);
  EXPECT_EQ(GetPropInfo(&user, "DataSet"), nullptr);
}

// ---- data-set routines --------------------------------------------------------------

TEST(DataSetRoutines, BlobKindsAreTheSevenFromBlobToTypedBinary) {
  const struct {
    TFieldType type;
    bool blob;
  } cases[] = {
      {ftBlob, true},         {ftMemo, true},     {ftGraphic, true},  {ftFmtMemo, true},  {ftParadoxOle, true},
      {ftDBaseOle, true},     {ftTypedBinary, true}, {ftOraBlob, false}, {ftOraClob, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    TBlobField field(nullptr);
    field.SetBlobType(c.type);
    ASSERT_EQ(field.DataType(), c.type);
    EXPECT_EQ(IsBlobField(&field), c.blob);
  }
  TStringField text(nullptr);
  TIntegerField number(nullptr);
  EXPECT_FALSE(IsBlobField(&text));
  EXPECT_FALSE(IsBlobField(&number));
  EXPECT_FALSE(IsBlobField(nullptr));
}

TEST(DataSetRoutines, BlobBytesLandInAStreamRewoundToItsStart) {
  Table t(1);
  t.ds.StartEdit();
  t.ds.FieldNamed("PIC")->SetStringValue(std::string("\x01\x02\0\x03", 4));
  t.ds.CommitRecord();
  const struct {
    const char* name;
    const char* field;
    std::string before;
    std::string after;
  } cases[] = {
      {"empty stream", "PIC", "", std::string("\x01\x02\0\x03", 4)},
      {"written after what the stream holds", "PIC", "ab", std::string("ab\x01\x02\0\x03", 6)},
      {"a field that is no blob leaves the stream alone", "N", "ab", "ab"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream stream;
    stream.WriteBuffer(c.before.data(), static_cast<int64_t>(c.before.size()));
    CopyBlobTo(t.ds.FieldNamed(c.field), &stream);
    EXPECT_EQ(std::string(stream.Bytes()), c.after);
    EXPECT_EQ(stream.Position(), c.after == c.before ? static_cast<int64_t>(c.before.size()) : 0);
  }
}

// A target that takes fields by Assign, as a picture does.
class FieldTaker : public TPersistent {
 public:
  void Assign(const TPersistent* source) override { taken = source; }
  const TPersistent* taken = nullptr;
};

TEST(DataSetRoutines, BlobGoesToAnAssignableTargetThroughAssign) {
  Table t(1);
  FieldTaker target;
  CopyBlobTo(t.ds.FieldNamed("PIC"), &target);
  EXPECT_EQ(target.taken, t.ds.FieldNamed("PIC"));
}

// A list that refuses its third name.
class ShortList : public TStringList {
 public:
  int Add(std::string_view s) override {
    if (Count() == 2) throw EStringListError("full");
    return TStringList::Add(s);
  }
};

TEST(DataSetRoutines, FieldNamesAreListedAndFailuresSwallowed) {
  Table t(0);
  t.ds.Deactivate();
  t.ds.FieldDefs().AppendNamedDef("DATE", ftString, 10);
  t.ds.Activate();
  TStringList all;
  all.Add("old");
  ListDataSetFieldNames(&t.ds, all);
  EXPECT_EQ(AnsiString(all.Text()), "N\r\nPIC\r\nDATE\r\n");
  ShortList two;
  EXPECT_NO_THROW(ListDataSetFieldNames(&t.ds, two));
  EXPECT_EQ(AnsiString(two.Text()), "N\r\nPIC\r\n");
  TStringList untouched;
  untouched.Add("old");
  EXPECT_NO_THROW(ListDataSetFieldNames(nullptr, untouched));
  EXPECT_EQ(untouched.Count(), 1);
}

TEST(DataSetRoutines, BookmarksReturnToAndCompareRecords) {
  Table t(3);
  t.GoTo(2);
  TBookmark at2 = TakeDataSetBookmark(&t.ds);
  TBookmark at2_again = TakeDataSetBookmark(&t.ds);
  t.GoTo(3);
  TBookmark at3 = TakeDataSetBookmark(&t.ds);
  EXPECT_TRUE(SameBookmarks(&t.ds, at2, at2_again));
  EXPECT_FALSE(SameBookmarks(&t.ds, at2, at3));
  GotoDataSetBookmark(&t.ds, at2);
  EXPECT_EQ(t.N(), 2);
  FreeDataSetBookmark(&t.ds, at2);
  EXPECT_TRUE(at2.empty());
}

}  // namespace dset_test

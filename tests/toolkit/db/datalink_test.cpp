// Data links of different window sizes on one data set: active rows, row
// counts and scroll distances while the data set moves.
#include <functional>

#include <gtest/gtest.h>

#include "tests/toolkit/db/recording.h"

namespace dbtest {
namespace datalink_test {

class Rows {
 public:
  explicit Rows(int count) {
    ds.FieldDefs().AppendNamedDef("N", ftInteger);
    ds.Activate();
    for (int i = 1; i <= count; ++i) {
      ds.StartAppend();
      ds.FieldNamed("N")->SetIntegerValue(i);
      ds.CommitRecord();
    }
    source.SetDataSet(&ds);
    small.ChangeDataSource(&source);
    small.ChangeWindowSize(3);
    large.ChangeDataSource(&source);
    large.ChangeWindowSize(10);
    ds.GoFirst();
    small.scrolls.clear();
    large.scrolls.clear();
  }
  int N() { return ds.FieldNamed("N")->GetIntegerValue(); }

  Trace trace;
  TMemDataSet ds{nullptr};
  TDataSource source{nullptr};
  RecordingLink small{&trace};
  RecordingLink large{&trace};
};

struct Step {
  const char* what;
  std::function<void(TDataSet&)> move;
  int row;           // record number in view afterwards
  int small_active;  // active row of the 3-row link
  int small_scroll;  // its scroll distance (0 when no scroll notice)
  int large_active;
  int large_scroll;
};

TEST(DataLinks, WindowsOfThreeAndTenFollowTheDataSet) {
  Rows rows(20);
  ASSERT_EQ(rows.ds.WindowSize(), 10);
  const Step steps[] = {
      {"next inside both windows", [](TDataSet& d) { d.GoNext(); }, 2, 1, 0, 1, 0},
      {"next to the small window's last row", [](TDataSet& d) { d.GoNext(); }, 3, 2, 0, 2, 0},
      {"next past the small window", [](TDataSet& d) { d.GoNext(); }, 4, 2, 1, 3, 0},
      {"six ahead to the data set's last buffer", [](TDataSet& d) { d.Skip(6); }, 10, 2, 6, 9, 0},
      {"next fetches and shifts the data set's window", [](TDataSet& d) { d.GoNext(); }, 11, 2, 1, 9, 1},
      {"prior inside both windows", [](TDataSet& d) { d.GoPrior(); }, 10, 1, 0, 8, 0},
      {"eight back to the data set's first buffer", [](TDataSet& d) { d.Skip(-8); }, 2, 0, -7, 0, 0},
      {"prior fetches before the window", [](TDataSet& d) { d.GoPrior(); }, 1, 0, -1, 0, -1},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    rows.small.scrolls.clear();
    rows.large.scrolls.clear();
    s.move(rows.ds);
    EXPECT_EQ(rows.N(), s.row);
    EXPECT_EQ(rows.small.QueryActiveRow(), s.small_active);
    EXPECT_EQ(rows.large.QueryActiveRow(), s.large_active);
    ASSERT_EQ(rows.small.scrolls.size(), 1u);
    ASSERT_EQ(rows.large.scrolls.size(), 1u);
    EXPECT_EQ(rows.small.scrolls[0], s.small_scroll);
    EXPECT_EQ(rows.large.scrolls[0], s.large_scroll);
    EXPECT_EQ(rows.small.QueryRowCount(), 3);
    EXPECT_EQ(rows.large.QueryRowCount(), 10);
  }
}

TEST(DataLinks, LastPutsTheActiveRecordOnEachWindowsLastRow) {
  Rows rows(20);
  rows.ds.GoLast();
  EXPECT_EQ(rows.N(), 20);
  EXPECT_EQ(rows.small.QueryActiveRow(), 2);
  EXPECT_EQ(rows.large.QueryActiveRow(), 9);
  // Choosing a row of the small window makes that record the active one.
  rows.small.ChangeActiveRow(0);
  EXPECT_EQ(rows.N(), 18);
  EXPECT_EQ(rows.large.QueryActiveRow(), 7);
}

TEST(DataLinks, FewerRecordsThanRowsLeaveRowsEmpty) {
  Rows rows(5);
  EXPECT_EQ(rows.small.QueryRowCount(), 3);
  EXPECT_EQ(rows.large.QueryRowCount(), 5);
  rows.ds.GoLast();
  EXPECT_EQ(rows.large.QueryActiveRow(), 4);
  EXPECT_EQ(rows.small.QueryActiveRow(), 2);
}

TEST(DataLinks, DetachingTheLargeLinkShrinksTheWindowAroundTheActiveRecord) {
  Rows rows(20);
  rows.ds.Skip(8);
  ASSERT_EQ(rows.N(), 9);
  rows.large.ChangeDataSource(nullptr);
  EXPECT_EQ(rows.ds.WindowSize(), 3);
  EXPECT_EQ(rows.N(), 9);
  EXPECT_EQ(rows.small.QueryActiveRow(), 2);
  rows.ds.GoNext();
  EXPECT_EQ(rows.N(), 10);
  EXPECT_FALSE(rows.large.Active());
}

TEST(DataLinks, ClosingAndOpeningTheDataSetTurnsLinksOffAndOn) {
  Rows rows(4);
  rows.trace.clear();
  rows.ds.Deactivate();
  EXPECT_FALSE(rows.small.Active());
  rows.ds.Activate();
  EXPECT_TRUE(rows.small.Active());
  EXPECT_EQ(rows.trace, (Trace{"ActivationNotice", "ActivationNotice", "ActivationNotice", "ActivationNotice"}));
}

// A source holds its data set without owning it: whichever way the set goes,
// the source and its links let go of it and serve the next one.
TEST(DataLinks, ASourceForgetsAFreedDataSetAndServesTheNext) {
  enum End { FreeIt, DeleteIt, FreeItsOwner };
  for (End end : {FreeIt, DeleteIt, FreeItsOwner}) {
    SCOPED_TRACE(end == FreeIt ? "freed" : end == DeleteIt ? "deleted" : "its owner freed");
    Trace trace;
    auto* owner = new TComponent(nullptr);
    auto* ds = new TMemDataSet(end == FreeItsOwner ? owner : nullptr);
    ds->FieldDefs().AppendNamedDef("N", ftInteger);
    ds->Activate();
    TDataSource source(nullptr);
    RecordingLink link(&trace);
    source.SetDataSet(ds);
    link.ChangeDataSource(&source);
    ASSERT_TRUE(link.Active());
    switch (end) {
      case FreeIt: ds->Free(); break;
      case DeleteIt: delete ds; break;
      case FreeItsOwner: owner->Free(); owner = nullptr; break;
    }
    EXPECT_EQ(source.DataSet(), nullptr);
    EXPECT_EQ(source.State(), dsInactive);
    EXPECT_FALSE(link.Active());
    EXPECT_EQ(link.QueryDataSet(), nullptr);
    TMemDataSet next(nullptr);
    next.FieldDefs().AppendNamedDef("N", ftInteger);
    next.Activate();
    source.SetDataSet(&next);
    EXPECT_TRUE(link.Active());
    EXPECT_EQ(link.QueryDataSet(), &next);
    link.ChangeDataSource(nullptr);
    delete owner;
  }
}

}  // namespace datalink_test
}  // namespace dbtest

namespace dbtest {
namespace datalink_test {

TEST(DataLinks, EachEventKindBecomesItsNotice) {
  struct Case {
    TDataSetEventKind kind;
    bool with_field;
    Trace expected;
  };
  const Case cases[] = {
      {deFieldChange, true, {"RecordNotice(N)"}},
      {deRecordChange, false, {"RecordNotice"}},
      {deDataSetChange, false, {"DataSetNotice"}},
      {deDataSetScroll, false, {"ScrollNotice(0)"}},
      {deLayoutChange, false, {"LayoutNotice"}},
      {deUpdateRecord, false, {"CommitNotice"}},
      {deCheckBrowseMode, false, {"BrowseModeNotice"}},
      {dePropertyChange, false, {}},
      {deFieldListChange, false, {}},
      {deUpdateState, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    Rows rows(3);
    rows.small.ChangeDataSource(nullptr);
    rows.trace.clear();
    TEventInfo info;
    if (c.with_field) info.field = rows.ds.FieldNamed("N");
    rows.ds.BroadcastEvent(c.kind, info);
    EXPECT_EQ(rows.trace, c.expected);
  }
}

TEST(DataLinks, FocusGoesToTheFirstLinkThatTakesIt) {
  struct Case {
    const char* what;
    bool small_takes;
    Trace expected;
  };
  const Case cases[] = {
      {"the first link takes it", true, {"FocusFieldNotice(N)"}},
      {"the first link passes", false, {"FocusFieldNotice(N)", "FocusFieldNotice(N)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rows rows(3);
    rows.small.take_focus = c.small_takes;
    rows.large.take_focus = true;
    rows.trace.clear();
    rows.ds.FieldNamed("N")->FocusControl();
    EXPECT_EQ(rows.trace, c.expected);
  }
}

TEST(DataLinks, ADisabledSourceOrAClosedSetSendsNothing) {
  Rows rows(3);
  rows.source.SetEnabled(false);
  EXPECT_FALSE(rows.small.Active());
  rows.trace.clear();
  rows.ds.GoNext();
  rows.ds.BroadcastEvent(deDataSetChange);
  EXPECT_TRUE(rows.trace.empty());
  rows.source.SetEnabled(true);
  EXPECT_TRUE(rows.small.Active());
  EXPECT_EQ(rows.small.QueryActiveRow(), 1);
}

}  // namespace datalink_test
}  // namespace dbtest

// The forwarding data link and saving/restoring a data set's position, on an
// in-memory data set.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/rs_rtm.h"
#include "toolkit/db/memdataset.h"

namespace rtm_datalink_test {

struct Rows {
  explicit Rows(int count) {
    ds.FieldDefs().AppendNamedDef("N", ftInteger);
    ds.Activate();
    for (int i = 1; i <= count; ++i) {
      ds.StartAppend();
      ds.FieldNamed("N")->SetIntegerValue(i);
      ds.CommitRecord();
    }
    source.SetDataSet(&ds);
    ds.GoFirst();
  }
  int N() { return ds.FieldNamed("N")->GetIntegerValue(); }

  TMemDataSet ds{nullptr};
  TDataSource source{nullptr};
};

// A link whose every handler writes a line.
struct ForwardingLink : Rows {
  ForwardingLink() : Rows(6) {
    link.OnActiveChanged = [this](TDataLinkEx* s) { Log(s, "active " + std::to_string(s->Active())); };
    link.OnDataSetChanged = [this](TDataLinkEx* s) { Log(s, "dataset"); };
    link.OnDataSetScrolled = [this](TDataLinkEx* s, int d) { Log(s, "scrolled " + std::to_string(d)); };
    link.OnFocusControl = [this](TDataLinkEx* s, TField*& f) {
      Log(s, "focus " + f->FieldName());
      if (take_focus) f = nullptr;
    };
    link.OnEditingChanged = [this](TDataLinkEx* s) { Log(s, "editing " + std::to_string(s->Editing())); };
    link.OnLayoutChanged = [this](TDataLinkEx* s) { Log(s, "layout"); };
    link.OnRecordChanged = [this](TDataLinkEx* s, TField* f) {
      Log(s, "record " + (f != nullptr ? f->FieldName() : std::string("-")));
    };
    link.OnUpdateData = [this](TDataLinkEx* s) { Log(s, "update"); };
    link.ChangeWindowSize(3);
    link.ChangeDataSource(&source);
    log.clear();
  }
  void Log(TDataLinkEx* sender, const std::string& line) {
    EXPECT_EQ(sender, &link);
    log.push_back(line);
  }

  TDataLinkEx link;
  std::vector<std::string> log;
  bool take_focus = false;
};

TEST(ForwardingDataLink, EachNoticeReachesItsHandler) {
  const struct {
    const char* what;
    std::function<void(ForwardingLink&)> act;
    std::vector<std::string> log;
  } cases[] = {
      {"close", [](ForwardingLink& f) { f.ds.Deactivate(); }, {"active 0"}},
      {"scroll within the rows", [](ForwardingLink& f) { f.ds.GoNext(); }, {"scrolled 0"}},
      {"scroll past the rows",
       [](ForwardingLink& f) {
         f.ds.Skip(2);
         f.log.clear();
         f.ds.GoNext();
       },
       {"scrolled 1"}},
      {"edit and write a field",
       [](ForwardingLink& f) {
         f.ds.StartEdit();
         f.ds.FieldNamed("N")->SetIntegerValue(10);
       },
       {"editing 1", "record -", "record N"}},
      {"post",
       [](ForwardingLink& f) {
         f.ds.StartEdit();
         f.log.clear();
         f.ds.CommitRecord();
       },
       {"update", "editing 0", "dataset"}},
      {"refresh", [](ForwardingLink& f) { f.ds.Reload(); }, {"dataset"}},
      {"layout", [](ForwardingLink& f) { f.link.DispatchEvent(deLayoutChange, TEventInfo{}); }, {"layout"}},
      {"focus a field", [](ForwardingLink& f) { f.ds.FieldNamed("N")->FocusControl(); }, {"focus N"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ForwardingLink f;
    c.act(f);
    EXPECT_EQ(f.log, c.log);
  }
}

TEST(ForwardingDataLink, FocusRequestIsClearedOnlyWhenTheHandlerTakesIt) {
  for (bool take : {false, true}) {
    SCOPED_TRACE(take);
    ForwardingLink f;
    f.take_focus = take;
    TField* field = f.ds.FieldNamed("N");
    TEventInfo info;
    info.focus_field = &field;
    f.link.DispatchEvent(deFocusControl, info);
    EXPECT_EQ(field == nullptr, take);
    // A request without a field does not reach the handler.
    f.log.clear();
    TField* none = nullptr;
    info.focus_field = &none;
    f.link.DispatchEvent(deFocusControl, info);
    EXPECT_TRUE(f.log.empty());
  }
}

TEST(ForwardingDataLink, UnassignedHandlersAreSkipped) {
  Rows rows(3);
  TDataLinkEx link;
  link.ChangeDataSource(&rows.source);
  rows.ds.GoNext();
  rows.ds.StartEdit();
  rows.ds.FieldNamed("N")->SetIntegerValue(7);
  rows.ds.CommitRecord();
  rows.ds.Deactivate();
  EXPECT_FALSE(link.Active());
}

TEST(DataSetPosition, ReturnsToTheRecordOnItsBufferRow) {
  // A link of 4 rows keeps 4 buffers over 10 records.
  const struct {
    const char* what;
    std::function<void(TDataSet&)> place;  // where the position is saved
    int record, row;
    std::function<void(TDataSet&)> away;
  } cases[] = {
      {"first record", [](TDataSet& ds) { ds.GoFirst(); }, 1, 0, [](TDataSet& ds) { ds.GoLast(); }},
      {"third record on row 2", [](TDataSet& ds) { ds.Skip(2); }, 3, 2, [](TDataSet& ds) { ds.GoLast(); }},
      {"ninth record on row 2",
       [](TDataSet& ds) {
         ds.GoLast();
         ds.GoPrior();
       },
       9, 2, [](TDataSet& ds) { ds.GoFirst(); }},
      {"fourth record on row 0",
       [](TDataSet& ds) {
         ds.Skip(6);
         ds.Skip(-3);
       },
       4, 0, [](TDataSet& ds) { ds.GoFirst(); }},
      {"sixth record on row 1",
       [](TDataSet& ds) {
         ds.GoLast();
         ds.Skip(-5);  // record 5 at the top of the window 5..8
         ds.Skip(1);
       },
       6, 1, [](TDataSet& ds) { ds.GoLast(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rows rows(10);
    TDataLinkEx link;
    link.ChangeWindowSize(4);
    link.ChangeDataSource(&rows.source);
    c.place(rows.ds);
    ASSERT_EQ(rows.N(), c.record);
    ASSERT_EQ(rows.ds.ActiveRecordIndex(), c.row);
    const TDataSetPosition saved = SaveDataSetPosition(rows.ds);
    c.away(rows.ds);
    RestoreDataSetPosition(rows.ds, saved);
    EXPECT_EQ(rows.N(), c.record);
    EXPECT_EQ(rows.ds.ActiveRecordIndex(), c.row);
  }
}

TEST(DataSetPosition, AGoneRecordOrAnEmptySetLeavesTheDataSetAlone) {
  Rows rows(5);
  rows.ds.Skip(2);
  const TDataSetPosition saved = SaveDataSetPosition(rows.ds);
  rows.ds.DeleteCurrent();  // record 3 is gone
  rows.ds.GoFirst();
  EXPECT_NO_THROW(RestoreDataSetPosition(rows.ds, saved));
  EXPECT_EQ(rows.N(), 1);

  Rows empty(0);
  const TDataSetPosition none = SaveDataSetPosition(empty.ds);
  EXPECT_TRUE(none.Bookmark.empty());
  EXPECT_NO_THROW(RestoreDataSetPosition(empty.ds, none));
}

}  // namespace rtm_datalink_test

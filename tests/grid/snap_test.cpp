// Record snapshots and the selection, over an in-memory data set (and a table
// in index order) and a grid stand-in that recaptures its current record on
// the data link's notices as the grid does.
#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "dbf/dbf.h"
#include "grid/rs_rtm.h"
#include "grid/rs_snap.h"
#include "grid/rs_str.h"
#include "tests/support/testsupport.h"
#include "toolkit/db/memdataset.h"

namespace snap_test {

using Ns = std::vector<int>;

// What the selection sees of a grid, with every request it makes counted.
struct GridStandIn : TgpSelectionSite {
  TDataLinkEx link;
  AnsiString unique_fields;
  AnsiString bookmark_fields = "P;R";
  bool enable_rec_no = true;
  TgpCursorType cursor = gctSensitive;
  int current_row = -1;
  bool navigating = false;
  int freeze = 0;
  int max_freeze = 0;
  int repaints_after_freeze = 0;
  // (CurrentChanged, SelectionChanged) of every DoSelectionChange.
  std::vector<std::pair<bool, bool>> changes;
  int locates = 0;
  TgpSelection* selection = nullptr;

  GridStandIn() {
    auto track = [this](TDataLinkEx*) {
      if (selection) selection->Current()->RecaptureIfTracking(true);
    };
    link.OnActiveChanged = [this](TDataLinkEx*) {
      if (selection && cursor == gctSensitive) selection->Current()->Recapture(true);
    };
    link.OnDataSetChanged = track;
    link.OnDataSetScrolled = [track](TDataLinkEx* l, int) { track(l); };
  }

  TDataLink* DataLink() const override { return const_cast<TDataLinkEx*>(&link); }
  const AnsiString& UniqueFields() const override { return unique_fields; }
  const AnsiString& BookmarkFields() const override { return bookmark_fields; }
  bool EnableRecNo() const override { return enable_rec_no; }
  TgpCursorType CursorType() const override { return cursor; }
  int CurrentRow() const override { return current_row; }
  void SetCurrentRow(int row) override { current_row = row; }
  int ActiveRow() const override { return link.QueryActiveRow(); }
  bool Navigating() const override { return navigating; }
  void InvalidateRow(int) override {}
  void InvalidateRows() override {}
  void DoSelectionChange(bool current, bool selection_changed) override {
    changes.emplace_back(current, selection_changed);
  }
  void FreezeGrid() override { max_freeze = std::max(max_freeze, ++freeze); }
  void UnfreezeGrid(bool repaint) override {
    if (freeze == 0) throw EDBGridPro("UnfreezeGrid");
    --freeze;
    if (repaint && freeze == 0) ++repaints_after_freeze;
  }
  void LocateCurrentRow(int) override { ++locates; }
};

// Rows N = 1..count with P = N and R = N mod 3, so that R repeats.
struct Fixture {
  explicit Fixture(int count, TgpCursorType cursor = gctSensitive) {
    ds.FieldDefs().AppendNamedDef("N", ftInteger);
    ds.FieldDefs().AppendNamedDef("P", ftInteger);
    ds.FieldDefs().AppendNamedDef("R", ftInteger);
    ds.Activate();
    for (int i = 1; i <= count; ++i) AppendRow(i, i, i % 3);
    grid.cursor = cursor;
    source.SetDataSet(&ds);
    grid.link.ChangeDataSource(&source);
    grid.selection = &selection;
    ds.GoFirst();
    selection.Current()->Recapture(false);
    grid.changes.clear();
  }
  void AppendRow(int n, int p, int r) {
    ds.StartAppend();
    ds.FieldNamed("N")->SetIntegerValue(n);
    ds.FieldNamed("P")->SetIntegerValue(p);
    ds.FieldNamed("R")->SetIntegerValue(r);
    ds.CommitRecord();
  }
  int N() { return ds.FieldNamed("N")->GetIntegerValue(); }
  // Makes record n the data set's current one (and, for a cursor that
  // follows the data set, the grid's).
  void Go(int n) {
    ASSERT_TRUE(ds.FindByValues("N", Variant(n), TFindOptions())) << n;
  }
  TBookmark BookmarkOf(int n) {
    Go(n);
    return ds.QueryBookmarkText();
  }
  void Select(const Ns& ns) {
    for (int n : ns) {
      Go(n);
      selection.SelectCurrent(true, true);
    }
  }
  // The N values of the selected snapshots, in the selection's order (read
  // from the captured P, which equals N).
  Ns Selected() const {
    Ns out;
    for (int i = 0; i < selection.ExplicitCount(); ++i)
      out.push_back(selection.Items(i)->BookmarkValues[0].AsInteger());
    return out;
  }
  Ns Remaining() {
    Ns out;
    ds.GoFirst();
    while (!ds.Eof()) {
      out.push_back(N());
      ds.GoNext();
    }
    return out;
  }

  TMemDataSet ds{nullptr};
  TDataSource source{nullptr};
  GridStandIn grid;
  TgpSelection selection{&grid};
};

// ---- Snapshots ----------------------------------------------------------------------

TEST(RecordSnapshot, CaptureKeepsWhatTheGridAsksFor) {
  struct Case {
    const char* name;
    AnsiString bookmark_fields;
    AnsiString unique_fields;
    bool rec_no;
    Variant bookmark_values;
    Variant unique_values;
    int expected_rec_no;
  };
  const Case cases[] = {
      {"two bookmark fields give an array", "P;R", "", true, VarArrayOf({Variant(5), Variant(2)}), Variant(), 5},
      {"one field gives a single value", "R", "", true, Variant(2), Variant(), 5},
      {"no bookmark fields leave it unassigned", "", "N", true, Variant(), Variant(5), 5},
      {"list order is kept", "R;P;N", "", false, VarArrayOf({Variant(2), Variant(5), Variant(5)}), Variant(), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(8);
    f.grid.bookmark_fields = c.bookmark_fields;
    f.grid.unique_fields = c.unique_fields;
    f.grid.enable_rec_no = c.rec_no;
    TgpRecShot shot(&f.grid);
    const TBookmark bookmark = f.BookmarkOf(5);
    shot.Capture(bookmark);
    EXPECT_TRUE(shot.Valid);
    EXPECT_EQ(shot.Bookmark, bookmark);
    EXPECT_TRUE(VarEquals(shot.BookmarkValues, c.bookmark_values));
    EXPECT_TRUE(VarEquals(shot.UniqueValues, c.unique_values));
    EXPECT_EQ(shot.RecNo, c.expected_rec_no);
    // Snapshots are not refreshed by later changes of the record.
    f.ds.StartEdit();
    f.ds.FieldNamed("P")->SetIntegerValue(99);
    f.ds.CommitRecord();
    EXPECT_TRUE(VarEquals(shot.BookmarkValues, c.bookmark_values));
  }
}

TEST(RecordSnapshot, AnEmptyBookmarkOrAClosedLinkTakesNoValues) {
  Fixture f(4);
  TgpRecShot shot(&f.grid);
  f.Go(2);
  shot.Capture(TBookmark());
  EXPECT_FALSE(shot.Valid);
  EXPECT_TRUE(VarIsEmpty(shot.BookmarkValues));
  EXPECT_EQ(shot.RecNo, -1);

  const TBookmark bookmark = f.BookmarkOf(2);
  f.ds.Deactivate();
  shot.Capture(bookmark);
  EXPECT_TRUE(shot.Valid);
  EXPECT_TRUE(VarIsEmpty(shot.BookmarkValues));
  EXPECT_EQ(shot.RecNo, -1);
}

TEST(RecordSnapshot, IsCurrentAndGoTo) {
  Fixture f(6);
  f.grid.unique_fields = "N";
  TgpRecShot shot(&f.grid);
  shot.Capture(f.BookmarkOf(4));
  EXPECT_TRUE(shot.IsCurrent());
  f.Go(2);
  EXPECT_FALSE(shot.IsCurrent());
  EXPECT_TRUE(shot.GoTo());
  EXPECT_EQ(f.N(), 4);

  // By values with the identifying cursor, even when the bookmark is gone.
  f.grid.cursor = gctInsensitiveID;
  shot.Bookmark.clear();
  f.Go(1);
  EXPECT_TRUE(shot.GoTo());
  EXPECT_EQ(f.N(), 4);

  // A deleted record cannot be returned to; the data set stays.
  f.grid.cursor = gctInsensitiveBmrk;
  shot.Capture(f.BookmarkOf(5));
  f.ds.DeleteCurrent();
  f.Go(3);
  EXPECT_FALSE(shot.GoTo());
  EXPECT_EQ(f.N(), 3);
  EXPECT_FALSE(shot.IsCurrent());

  // With an empty data set, a snapshot of a gone record is not current.
  while (!f.ds.HasNoRecords()) f.ds.DeleteCurrent();
  EXPECT_FALSE(shot.IsCurrent());

  f.ds.Deactivate();
  EXPECT_FALSE(shot.GoTo());
  TgpRecShot blank(&f.grid);
  EXPECT_TRUE(blank.IsCurrent());
}

TEST(CurrentRecordSnapshot, RecaptureReportsAChangeOnlyWhenTheRecordMoved) {
  Fixture f(5, gctInsensitiveBmrk);
  TgpCurrentRecShot& current = *f.selection.Current();
  f.Go(3);
  current.Recapture(true);
  EXPECT_EQ(f.grid.changes, (std::vector<std::pair<bool, bool>>{{true, false}}));
  EXPECT_TRUE(current.OnRealRecord);
  EXPECT_EQ(f.grid.current_row, 0);
  f.grid.changes.clear();
  current.Recapture(true);
  EXPECT_TRUE(f.grid.changes.empty());

  // An insensitive cursor keeps its record while the data set moves.
  f.Go(5);
  EXPECT_EQ(current.BookmarkValues[0].AsInteger(), 3);
  current.Invalidate(true);
  EXPECT_FALSE(current.Valid);
  EXPECT_EQ(f.grid.current_row, -1);
  // A forgotten record is not forgotten twice.
  current.Invalidate(true);
  EXPECT_EQ(f.grid.changes, (std::vector<std::pair<bool, bool>>{{true, false}}));
}

TEST(CurrentRecordSnapshot, SetByValue) {
  Fixture f(6, gctInsensitiveID);
  f.grid.unique_fields = "N";
  TgpCurrentRecShot& current = *f.selection.Current();

  current.SetCurrentByValue(Variant(4), true, true);
  EXPECT_TRUE(current.Valid && current.OnRealRecord);
  EXPECT_EQ(f.N(), 4);
  current.SetCurrentByValue(Variant(40), true, false);
  EXPECT_FALSE(current.Valid);

  f.grid.changes.clear();
  current.SetCurrentByValue(Variant(2), false, true);
  EXPECT_TRUE(current.Valid);
  EXPECT_FALSE(current.OnRealRecord);
  EXPECT_TRUE(current.Bookmark.empty());
  EXPECT_EQ(f.grid.locates, 1);
  EXPECT_EQ(f.grid.changes.size(), 1u);

  // Null values and a grid without unique fields change nothing.
  current.SetCurrentByValue(Null(), true, true);
  EXPECT_TRUE(VarEquals(current.UniqueValues, Variant(2)));
  f.grid.unique_fields = "";
  EXPECT_FALSE(current.CanTrack(2));
  EXPECT_TRUE(current.CanTrack(1));
}

// ---- Selecting ----------------------------------------------------------------------

TEST(Selection, WithNothingSelectedTheCurrentRecordIsTheOnlyItem) {
  Fixture f(5);
  f.Go(3);
  EXPECT_TRUE(f.selection.Empty());
  EXPECT_EQ(f.selection.Count(), 1);
  EXPECT_EQ(f.selection.ExplicitCount(), 0);
  EXPECT_EQ(f.selection.Items(0), f.selection.Current());
  EXPECT_TRUE(VarEquals(f.selection.Items(0)->BookmarkValues, VarArrayOf({Variant(3), Variant(0)})));
  EXPECT_THROW(f.selection.Items(1), EListError);
  EXPECT_EQ(f.selection.Anchor(), f.ds.QueryBookmarkText());

  struct Case {
    const char* name;
    void (*make)(Fixture&);
  };
  const Case cases[] = {
      {"closed data set", [](Fixture& g) { g.ds.Deactivate(); }},
      {"every record deleted",
       [](Fixture& g) {
         while (!g.ds.HasNoRecords()) g.ds.DeleteCurrent();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture g(3);
    c.make(g);
    EXPECT_EQ(g.selection.Count(), 0);
    EXPECT_THROW(g.selection.Items(0), EListError);
    g.selection.DeleteSelected(true, true);
    EXPECT_EQ(g.grid.max_freeze, 0);
  }
}

TEST(Selection, SelectingKeepsBookmarkOrderAndOneSnapshotPerRecord) {
  Fixture f(10);
  f.Select({7, 2, 9, 4});
  EXPECT_EQ(f.Selected(), (Ns{2, 4, 7, 9}));
  EXPECT_EQ(f.selection.Count(), 4);
  EXPECT_FALSE(f.selection.Empty());
  // The anchor is the record selected last.
  EXPECT_EQ(f.selection.Anchor(), f.BookmarkOf(4));

  f.Go(7);
  EXPECT_TRUE(f.selection.IsCurrentSelected());
  EXPECT_FALSE(f.selection.SelectCurrent(true, true));
  EXPECT_EQ(f.selection.ExplicitCount(), 4);
  f.grid.changes.clear();
  EXPECT_TRUE(f.selection.SelectCurrent(false, true));
  EXPECT_EQ(f.grid.changes, (std::vector<std::pair<bool, bool>>{{false, true}}));
  EXPECT_FALSE(f.selection.SelectCurrent(false, true));
  EXPECT_EQ(f.Selected(), (Ns{2, 4, 9}));

  // Find gives the insertion point for records not selected.
  struct Case {
    int n;
    bool found;
    int pos;
  };
  const Case cases[] = {{1, false, 0}, {2, true, 0}, {3, false, 1}, {4, true, 1},
                        {5, false, 2}, {9, true, 2}, {10, false, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    const TBookmark bookmark = f.BookmarkOf(c.n);
    int pos = -1;
    EXPECT_EQ(f.selection.Find(bookmark, pos), c.found);
    EXPECT_EQ(pos, c.pos);
    EXPECT_EQ(f.selection.IndexOf(bookmark), c.found ? c.pos : -1);
  }
}

TEST(Selection, DeselectingTheCurrentRecordOfAnInsensitiveCursorForgetsIt) {
  Fixture f(5, gctInsensitiveBmrk);
  f.Go(3);
  f.selection.Current()->Recapture(false);
  f.selection.SelectCurrent(true, false);
  f.grid.changes.clear();
  f.selection.SelectCurrent(false, false);
  EXPECT_FALSE(f.selection.Current()->Valid);
  EXPECT_EQ(f.grid.changes, (std::vector<std::pair<bool, bool>>{{true, true}}));
  EXPECT_EQ(f.selection.Count(), 0);
}

TEST(Selection, RecordsWithEqualBookmarkFieldsAreSelectedAndDeletedApart) {
  Fixture f(0);
  f.AppendRow(1, 7, 1);
  f.AppendRow(2, 7, 1);
  f.AppendRow(3, 7, 1);
  f.AppendRow(4, 8, 2);
  f.Go(1);
  f.selection.SelectCurrent(true, false);
  f.Go(3);
  f.selection.SelectCurrent(true, false);
  ASSERT_EQ(f.selection.Count(), 2);
  EXPECT_TRUE(VarEquals(f.selection.Items(0)->BookmarkValues, f.selection.Items(1)->BookmarkValues));
  EXPECT_NE(f.selection.Items(0)->Bookmark, f.selection.Items(1)->Bookmark);
  f.selection.DeleteSelected(false, true);
  EXPECT_EQ(f.Remaining(), (Ns{2, 4}));
}

// A selected record keeps what its snapshot captured, of every kind of field
// value, however it was selected, after the records changed: the kinds and
// values of its unique and bookmark fields, its bookmark and its number.
TEST(Selection, SelectedRecordsKeepEveryKindOfValueAsCaptured) {
  TMemDataSet ds{nullptr};
  TDataSource source{nullptr};
  GridStandIn grid;
  TgpSelection selection{&grid};
  grid.selection = &selection;
  const std::pair<const char*, TFieldType> fields[] = {
      {"I", ftInteger}, {"S", ftSmallint}, {"W", ftWord},    {"L", ftLargeint}, {"F", ftFloat},
      {"C", ftCurrency}, {"D", ftDate},    {"B", ftBoolean}, {"T", ftString},
  };
  for (const auto& [name, type] : fields) ds.FieldDefs().AppendNamedDef(name, type, type == ftString ? 40 : 0);
  ds.Activate();
  // Record 2 is left all null.
  const std::vector<std::vector<Variant>> rows = {
      {Variant(-70000), Variant::FromSmallint(-12), Variant::FromWord(65000), Variant(-(1LL << 40)), Variant(0.1),
       Variant(Currency::FromScaled(-123456789)), Variant::FromDate(45000), Variant(true), Variant("short")},
      {},
      {Variant(7), Variant::FromSmallint(32767), Variant::FromWord(0), Variant(1LL), Variant(-1e300),
       Variant(Currency::FromScaled(1)), Variant::FromDate(1), Variant(false),
       Variant("a text longer than any short string")},
      {Variant(8), Variant::FromSmallint(0), Variant::FromWord(1), Variant(2LL), Variant(2.5),
       Variant(Currency::FromScaled(0)), Variant::FromDate(2), Variant(true), Variant("")},
  };
  for (const auto& row : rows) {
    ds.StartAppend();
    for (size_t i = 0; i < row.size(); ++i) ds.FieldNamed(fields[i].first)->SetVariantValue(row[i]);
    ds.CommitRecord();
  }
  grid.bookmark_fields = "I;S;W;L;F;C;D;B;T";
  grid.unique_fields = "T";
  source.SetDataSet(&ds);
  grid.link.ChangeDataSource(&source);

  struct Captured {
    TBookmark bookmark;
    Variant unique_values;
    Variant bookmark_values;
    int rec_no;
  };
  std::vector<Captured> captured;
  for (ds.GoFirst(); !ds.Eof(); ds.GoNext())
    captured.push_back({ds.QueryBookmarkText(), ds.ValuesOfFields(grid.unique_fields),
                        ds.ValuesOfFields(grid.bookmark_fields), ds.GetSequenceNo()});
  // Record 4 alone, then 1 to 3 as a range walked backwards.
  ds.ReturnToBookmark(captured[3].bookmark);
  selection.SelectCurrent(true, false);
  ds.ReturnToBookmark(captured[2].bookmark);
  selection.SelectRange(captured[0].bookmark);
  ASSERT_EQ(selection.ExplicitCount(), 4);
  // Every record takes another's values: record 1 those of 3, the rest those of 1.
  int k = 0;
  for (ds.GoFirst(); !ds.Eof(); ds.GoNext(), ++k) {
    ds.StartEdit();
    const auto& other = rows[k == 0 ? 2 : 0];
    for (size_t i = 0; i < other.size(); ++i) ds.FieldNamed(fields[i].first)->SetVariantValue(other[i]);
    ds.CommitRecord();
  }

  // Equal in kind and value, element by element.
  auto same = [](const Variant& got, const Variant& want) {
    if (got.VarType() != want.VarType()) return false;
    if (!got.IsArray()) return VarEquals(got, want) || (got.IsNull() && want.IsNull());
    if (got.LowBound() != want.LowBound() || got.HighBound() != want.HighBound()) return false;
    for (int i = want.LowBound(); i <= want.HighBound(); ++i) {
      if (got[i].VarType() != want[i].VarType()) return false;
      if (!want[i].IsNull() && !VarEquals(got[i], want[i])) return false;
    }
    return true;
  };
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const Captured& want = captured[static_cast<size_t>(i)];
    const TgpRecShot* shot = selection.Items(i);
    EXPECT_EQ(shot->Bookmark, want.bookmark);
    EXPECT_TRUE(shot->Valid);
    EXPECT_EQ(shot->RecNo, want.rec_no);
    EXPECT_TRUE(same(shot->UniqueValues, want.unique_values)) << VarToStr(shot->UniqueValues);
    EXPECT_TRUE(same(shot->BookmarkValues, want.bookmark_values));
    EXPECT_TRUE(same(selection.BookmarkValuesOf(i), want.bookmark_values));
    // The same snapshot each time it is asked for.
    EXPECT_EQ(selection.Items(i), shot);
  }
  EXPECT_EQ(selection.Anchor(), captured[0].bookmark);
}

TEST(Selection, RangeRunsInDataSetOrderFromTheCurrentRecordToTheTarget) {
  struct Case {
    const char* name;
    int from;
    int to;
    bool odd_only;
    Ns preselected;
    Ns expected;
  };
  const Case cases[] = {
      {"forward", 3, 6, false, {}, {3, 4, 5, 6}},
      {"backward", 6, 3, false, {}, {3, 4, 5, 6}},
      {"one record", 4, 4, false, {}, {4}},
      {"to the first record", 3, 1, false, {}, {1, 2, 3}},
      {"to the last record", 8, 10, false, {}, {8, 9, 10}},
      {"filtered records are skipped", 3, 9, true, {}, {3, 5, 7, 9}},
      {"a hidden target ends the range where it would be", 3, 6, true, {}, {3, 5}},
      {"a hidden target backwards", 9, 4, true, {}, {5, 7, 9}},
      {"already selected records stay once", 2, 5, false, {3, 8}, {2, 3, 4, 5, 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(10);
    f.Select(c.preselected);
    const TBookmark target = f.BookmarkOf(c.to);
    if (c.odd_only)
      f.ds.SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldNamed("N")->GetIntegerValue() % 2 == 1; });
    f.ds.SetFiltered(c.odd_only);
    f.Go(c.from);
    f.selection.SelectRange(target);
    EXPECT_EQ(f.Selected(), c.expected);
    EXPECT_EQ(f.N(), c.from);
    EXPECT_EQ(f.grid.freeze, 0);
    EXPECT_EQ(f.grid.max_freeze, 1);
    EXPECT_FALSE(f.ds.ControlsMuted());
  }
}

// A range adds each record it meets that was not selected, one change
// reported per record added, in the order it walked them: the anchor is the
// record added last, and after that record is deselected the one added
// before it.
TEST(Selection, RangeAddsTheRecordsItMeetsInWalkOrder) {
  struct Case {
    const char* name;
    int from;
    int to;
    Ns preselected;
    Ns expected;
    int changes;
    int anchor;
    int anchor_after_deselect;
  };
  const Case cases[] = {
      {"forward", 3, 6, {}, {3, 4, 5, 6}, 4, 6, 5},
      {"backward", 6, 3, {}, {3, 4, 5, 6}, 4, 3, 4},
      {"a selected target is not added again", 6, 3, {3}, {3, 4, 5, 6}, 3, 4, 5},
      {"a selected start is not added again", 6, 3, {6}, {3, 4, 5, 6}, 3, 3, 4},
      {"around selected records", 2, 5, {9, 4}, {2, 3, 4, 5, 9}, 3, 5, 3},
      {"backward around selected records", 5, 2, {9, 4}, {2, 3, 4, 5, 9}, 3, 2, 3},
      {"everything already selected", 5, 3, {3, 5, 4}, {3, 4, 5}, 0, 4, 5},
      {"the whole data set backward", 10, 1, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 10, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(10);
    f.Select(c.preselected);
    const TBookmark target = f.BookmarkOf(c.to);
    f.Go(c.from);
    f.grid.changes.clear();
    f.selection.SelectRange(target);
    EXPECT_EQ(f.Selected(), c.expected);
    EXPECT_EQ(f.grid.changes, (std::vector<std::pair<bool, bool>>(c.changes, {false, true})));
    for (int i = 0; i < f.selection.ExplicitCount(); ++i)
      EXPECT_EQ(f.selection.IndexOf(f.selection.Items(i)->Bookmark), i);
    EXPECT_EQ(f.selection.Anchor(), f.BookmarkOf(c.anchor));
    f.Go(c.anchor);
    f.selection.SelectCurrent(false, false);
    EXPECT_EQ(f.selection.Anchor(), f.BookmarkOf(c.anchor_after_deselect));
    f.selection.Clear(false, false);
    EXPECT_EQ(f.selection.ExplicitCount(), 0);
    EXPECT_EQ(f.selection.Anchor(), f.selection.Current()->Bookmark);
  }
}

TEST(Selection, RangeToARecordThatIsGoneSelectsNothing) {
  Fixture f(10);
  const TBookmark gone = f.BookmarkOf(6);
  f.ds.DeleteCurrent();
  for (int from : {3, 9}) {
    f.Go(from);
    f.selection.SelectRange(gone);
    EXPECT_EQ(f.selection.ExplicitCount(), 0) << from;
  }
  f.selection.SelectRange(TBookmark());
  EXPECT_EQ(f.selection.ExplicitCount(), 0);
  EXPECT_EQ(f.grid.max_freeze, 0);
}

// A table whose index order is not its record order: rows N = 1 5 3 4 2
// under the tag, so bookmarks (record numbers) do not follow the rows.
struct IndexedTableFixture {
  IndexedTableFixture() {
    const std::string dir = testsupport::TempDir("snap_indexed");
    table.SetTableLevel(4);
    table.SetExclusive(true);
    table.SetTableName(dir + "/rows.dbf");
    for (const char* name : {"N", "P", "R", "K"}) table.FieldDefs().AppendNamedDef(name, ftInteger);
    table.CreateTableFile();
    table.Activate();
    const int keys[] = {10, 50, 30, 40, 20};  // N = 1..5 in record order
    for (int n = 1; n <= 5; ++n) {
      table.StartAppend();
      table.FieldNamed("N")->SetIntegerValue(n);
      table.FieldNamed("P")->SetIntegerValue(n);
      table.FieldNamed("R")->SetIntegerValue(n % 3);
      table.FieldNamed("K")->SetIntegerValue(keys[n - 1]);
      table.CommitRecord();
    }
    table.CreateIndexTag("BYKEY", "K", {});
    table.SetIndexName("BYKEY");
    source.SetDataSet(&table);
    grid.link.ChangeDataSource(&source);
    grid.selection = &selection;
    table.GoFirst();
    selection.Current()->Recapture(false);
  }
  int N() { return table.FieldNamed("N")->GetIntegerValue(); }
  void Go(int n) { ASSERT_TRUE(table.FindByValues("N", Variant(n), TFindOptions())) << n; }
  Ns RowOrder() {
    Ns out;
    for (table.GoFirst(); !table.Eof(); table.GoNext()) out.push_back(N());
    return out;
  }
  // The selected N values, in the selection's order.
  Ns Selected() const {
    Ns out;
    for (int i = 0; i < selection.ExplicitCount(); ++i)
      out.push_back(selection.Items(i)->BookmarkValues[0].AsInteger());
    return out;
  }

  TDbf table{nullptr};
  TDataSource source{nullptr};
  GridStandIn grid;
  TgpSelection selection{&grid};
};

TEST(Selection, RangeOverAnIndexFollowsTheRowsNotTheRecordNumbers) {
  struct Case {
    const char* name;
    int from;
    int to;
    bool hide_three;
    Ns expected;  // in bookmark order, which is N's
  };
  const Case cases[] = {
      {"first to fourth row", 1, 4, false, {1, 3, 4, 5}},
      {"fourth back to first row", 4, 1, false, {1, 3, 4, 5}},
      {"second to last row", 5, 2, false, {2, 3, 4, 5}},
      {"last back to second row", 2, 5, false, {2, 3, 4, 5}},
      {"third to fourth row", 3, 4, false, {3, 4}},
      {"one row", 3, 3, false, {3}},
      {"a filtered row inside the range is skipped", 1, 4, true, {1, 4, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IndexedTableFixture f;
    ASSERT_EQ(f.RowOrder(), (Ns{1, 5, 3, 4, 2}));
    if (c.hide_three) {
      f.table.SetFilter("N<>3");
      f.table.SetFiltered(true);
    }
    f.Go(c.to);
    const TBookmark target = f.table.QueryBookmarkText();
    f.Go(c.from);
    f.selection.SelectRange(target);
    EXPECT_EQ(f.Selected(), c.expected);
    EXPECT_EQ(f.N(), c.from);
    EXPECT_EQ(f.grid.freeze, 0);
    EXPECT_FALSE(f.table.ControlsMuted());
  }
}

TEST(Selection, ClearWithAndWithoutTheCurrentRecord) {
  struct Case {
    const char* name;
    TgpCursorType cursor;
    Ns selected;
    bool also_current;
    int count_after;
    std::vector<std::pair<bool, bool>> changes;
  };
  const Case cases[] = {
      {"selection only", gctInsensitiveBmrk, {2, 3}, false, 1, {{false, true}}},
      {"with the current record", gctInsensitiveBmrk, {2, 3}, true, 0, {{true, true}}},
      {"a following cursor keeps its record", gctSensitive, {2, 3}, true, 1, {{true, true}}},
      {"nothing selected: nothing to clear", gctInsensitiveBmrk, {}, false, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(5, c.cursor);
    f.Select(c.selected);
    f.selection.Current()->Recapture(false);
    f.selection.SetAnchorText("x");
    f.grid.changes.clear();
    f.selection.Clear(true, c.also_current);
    EXPECT_TRUE(f.selection.Empty());
    EXPECT_EQ(f.selection.Count(), c.count_after);
    EXPECT_EQ(f.grid.changes, c.changes);
    EXPECT_EQ(f.selection.AnchorText().empty(), !c.changes.empty());
  }
}

// ---- Deleting -----------------------------------------------------------------------

TEST(Selection, DeleteSelectedRemovesLastFirstAndPlacesTheCursor) {
  struct Case {
    const char* name;
    TgpCursorType cursor;
    Ns selected;  // empty: the current record alone
    int current;
    bool reposition;
    bool rec_no;
    Ns deleted_in_order;
    int current_after;  // 0: no current record
  };
  const Case cases[] = {
      {"middle records", gctInsensitiveBmrk, {3, 4, 5}, 1, true, true, {5, 4, 3}, 6},
      {"the last three", gctInsensitiveBmrk, {8, 9, 10}, 1, true, true, {10, 9, 8}, 7},
      {"selected out of order", gctInsensitiveBmrk, {9, 2, 5}, 1, true, true, {9, 5, 2}, 3},
      {"the current record alone", gctInsensitiveBmrk, {}, 4, true, true, {4}, 5},
      {"the last record alone", gctInsensitiveBmrk, {}, 10, true, true, {10}, 9},
      {"every record", gctInsensitiveBmrk, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 1, true, true,
       {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, 0},
      {"without record numbers no reposition", gctInsensitiveBmrk, {3, 4}, 1, true, false, {4, 3}, 0},
      {"not asked to reposition", gctInsensitiveBmrk, {3, 4}, 1, false, true, {4, 3}, 0},
      {"a following cursor takes the data set's record", gctSensitive, {3, 4}, 1, false, true, {4, 3}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(10, c.cursor);
    f.grid.enable_rec_no = c.rec_no;
    f.Select(c.selected);
    f.Go(c.current);
    f.selection.Current()->Recapture(false);
    Ns deleted;
    f.ds.BeforeDelete = [&](TDataSet*) { deleted.push_back(f.N()); };
    f.grid.changes.clear();
    f.selection.DeleteSelected(c.reposition, true);
    f.ds.BeforeDelete = nullptr;
    EXPECT_EQ(deleted, c.deleted_in_order);
    EXPECT_TRUE(f.selection.Empty());
    EXPECT_EQ(f.grid.freeze, 0);
    EXPECT_EQ(f.grid.repaints_after_freeze, 1);
    EXPECT_FALSE(f.ds.ControlsMuted());
    TgpCurrentRecShot& current = *f.selection.Current();
    if (c.current_after == 0) {
      EXPECT_FALSE(current.Valid);
      EXPECT_EQ(f.selection.Count(), 0);
    } else {
      ASSERT_TRUE(current.Valid);
      EXPECT_EQ(f.selection.Count(), 1);
      EXPECT_EQ(current.BookmarkValues[0].AsInteger(), c.current_after);
      EXPECT_EQ(f.N(), c.current_after);
    }
    Ns remaining = f.Remaining();
    for (int n : c.deleted_in_order) EXPECT_EQ(std::count(remaining.begin(), remaining.end(), n), 0) << n;
    EXPECT_EQ(remaining.size() + c.deleted_in_order.size(), 10u);
  }
}

TEST(Selection, DeleteSelectedUnderAFilterRepositionsByVisibleNumber) {
  Fixture f(10, gctInsensitiveBmrk);
  f.ds.SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldNamed("N")->GetIntegerValue() % 2 == 0; });
  f.ds.SetFiltered(true);
  f.Select({4, 6});  // visible numbers 2 and 3
  f.selection.DeleteSelected(true, false);
  EXPECT_EQ(f.N(), 8);
  EXPECT_EQ(f.Remaining(), (Ns{2, 8, 10}));
  f.ds.SetFiltered(false);
  EXPECT_EQ(f.Remaining(), (Ns{1, 2, 3, 5, 7, 8, 9, 10}));
}

TEST(Selection, AFailedDeleteKeepsWhatWasDeletedAndStillClearsAndUnfreezes) {
  Fixture f(10);
  f.Select({3, 5, 7});
  // Record 5 goes behind the selection's back; the walk reaches it second.
  f.Go(5);
  f.ds.DeleteCurrent();
  EXPECT_THROW(f.selection.DeleteSelected(true, true), EDatabaseError);
  EXPECT_EQ(f.Remaining(), (Ns{1, 2, 3, 4, 6, 8, 9, 10}));
  EXPECT_TRUE(f.selection.Empty());
  EXPECT_EQ(f.grid.freeze, 0);
  EXPECT_FALSE(f.ds.ControlsMuted());
}

TEST(Selection, ACurrentRecordKnownOnlyByItsValuesIsNotDeletedBlindly) {
  Fixture f(6, gctInsensitiveID);
  f.grid.unique_fields = "N";
  f.Go(2);
  f.selection.Current()->SetCurrentByValue(Variant(4), false, false);
  ASSERT_EQ(f.selection.Count(), 1);
  try {
    f.selection.DeleteSelected(true, true);
    ADD_FAILURE() << "no error";
  } catch (const ERSError& e) {
    EXPECT_EQ(e.Message(), "Bookmark not found");
  }
  EXPECT_EQ(f.Remaining(), (Ns{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(f.grid.freeze, 0);
  EXPECT_FALSE(f.ds.ControlsMuted());
}

}  // namespace snap_test

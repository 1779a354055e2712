// The grid with its columns: the layout it keeps when columns are hidden and
// shown, groups fitted to the client width, the current column, the title
// state event, and committing the data set's edits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grid/rs_str.h"
#include "tests/grid/grid_support.h"
#include "toolkit/ui/comctrls.h"

namespace grid_columns_test {

namespace {

using grid_support::MemGrid;

// Sum of the groups' total widths.
int LayoutWidth(TgpColumns& columns) {
  int sum = 0;
  for (int g = 0; g < columns.GroupCount(); ++g) sum += columns.Groups(g)->TotalWidth;
  return sum;
}

TEST(GridColumns, HidingAndShowingAColumnRelaysOutAndMovesTheCurrentColumn) {
  MemGrid g(20);
  TgpColumns& columns = *g.grid->Columns();
  ASSERT_EQ(columns.GroupCount(), 2);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 0);
  EXPECT_EQ(g.grid->CurrentColumn(), columns.Items(0));
  EXPECT_TRUE(g.grid->IsColumnShown(0));
  columns.Items(0)->SetVisible(false);
  EXPECT_EQ(columns.GroupCount(), 1);
  EXPECT_FALSE(g.grid->IsColumnShown(0));
  // The hidden column cannot stay current: the nearest selectable one is.
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 1);
  EXPECT_EQ(LayoutWidth(columns), 60 + g.grid->EffectiveDesigner()->VertLineWidth());
  columns.Items(0)->SetVisible(true);
  EXPECT_EQ(columns.GroupCount(), 2);
  EXPECT_TRUE(g.grid->IsColumnShown(0));
  // The current column is kept by its object across the relayout.
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 1);
  EXPECT_TRUE(g.grid->HasRows());
}

TEST(GridColumns, StackedFieldsMakeOneGroupAsHighAsItsLines) {
  MemGrid g(20);
  const int single_row = g.grid->RowHeight();
  const int single_title = g.grid->TitleHeight();
  TgpColumns& columns = *g.grid->Columns();
  // P below N: onto line 1 of N's group.
  columns.MoveColumn(columns.Items(1), columns.Groups(0), 1, 0);
  ASSERT_EQ(columns.GroupCount(), 1);
  EXPECT_EQ(columns.Groups(0)->LineCount, 2);
  // Two lines and the line between them.
  const int hline = g.grid->EffectiveDesigner()->HorzLineWidth();
  EXPECT_EQ(g.grid->RowHeight() - hline, 2 * (single_row - hline) + 1);
  EXPECT_GT(g.grid->TitleHeight(), single_title);
  const TRect n = columns.Items(0)->CellRect(0, false, false);
  const TRect p = columns.Items(1)->CellRect(0, false, false);
  EXPECT_EQ(n.Left, p.Left);
  EXPECT_LT(n.Bottom, p.Top + 1);
  EXPECT_EQ(columns.Items(1)->CellLineHeight(), columns.Items(0)->CellLineHeight());
}

TEST(GridColumns, AutoColumnFitScalesTheGroupsToTheClientWidth) {
  MemGrid g(5, 400, 200);  // five rows: no vertical scroll bar
  TgpColumns& columns = *g.grid->Columns();
  EXPECT_EQ(LayoutWidth(columns), 2 * (60 + g.grid->EffectiveDesigner()->VertLineWidth()));
  g.grid->SetAutoColumnFit(true);
  EXPECT_EQ(LayoutWidth(columns), g.grid->ClientWidth());
  // The two groups keep their proportion (equal here).
  EXPECT_NEAR(columns.Groups(0)->Width, columns.Groups(1)->Width, 1);
  g.grid->SetBounds(0, 0, 250, 200);
  EXPECT_EQ(LayoutWidth(columns), g.grid->ClientWidth());
  // A hidden column gives its room to the other group.
  columns.Items(1)->SetVisible(false);
  EXPECT_EQ(LayoutWidth(columns), g.grid->ClientWidth());
  EXPECT_EQ(columns.GroupCount(), 1);
}

// A fitted grid that has no room yet (never shown, or on a page not shown)
// keeps the widths it is given: they are its proportions once it is shown.
TEST(GridColumns, AFittedGridNotYetShownKeepsItsProportions) {
  for (const bool on_hidden_page : {true, false}) {
    SCOPED_TRACE(on_hidden_page ? "on a page not shown" : "with no width");
    MemGrid g(5, on_hidden_page ? 300 : 0, 200);
    TForm form(nullptr);
    TPageControl pages(&form);
    TTabSheet shown(&form), hidden(&form);
    if (on_hidden_page) {
      form.SetBounds(0, 0, 420, 300);
      pages.SetParent(&form);
      pages.SetAlign(alClient);
      shown.SetPageControl(&pages);
      hidden.SetPageControl(&pages);
      g.grid->SetParent(&hidden);
      g.grid->SetAlign(alClient);
      pages.SetActivePage(&shown);
      form.Show();
    }
    g.grid->SetAutoColumnFit(true);
    TgpColumns& columns = *g.grid->Columns();
    {
      // As a stored layout is loaded: every width, then one relayout.
      TUpdateScope<TgpColumns> update(columns);
      columns.Items(0)->SetWidth(150);
      columns.Items(1)->SetWidth(50);
    }
    EXPECT_EQ(columns.Items(0)->Width(), 150);
    EXPECT_EQ(columns.Items(1)->Width(), 50);
    if (on_hidden_page)
      pages.SetActivePage(&hidden);
    else
      g.grid->SetBounds(0, 0, 400, 200);
    ASSERT_GT(g.grid->ClientWidth(), 200);
    EXPECT_EQ(LayoutWidth(columns), g.grid->ClientWidth());
    EXPECT_NEAR(double(columns.Items(0)->Width()) / columns.Items(1)->Width(), 3.0, 0.1);
    g.grid->SetParent(nullptr);
  }
}

TEST(GridColumns, SelectColumnChecksTheIndexAndTheColumn) {
  MemGrid g(5);
  std::vector<std::string> events;
  g.grid->OnColExiting = [&](TComponent*, int c) { events.push_back("exiting " + std::to_string(c)); };
  g.grid->OnColExit = [&](TComponent*, int c) { events.push_back("exit " + std::to_string(c)); };
  g.grid->OnColEnter = [&](TComponent*, int c) { events.push_back("enter " + std::to_string(c)); };
  g.grid->SelectColumn(1);
  EXPECT_EQ(g.grid->CurrentColumnIndex(), 1);
  EXPECT_EQ(events, (std::vector<std::string>{"exiting 0", "enter 1"}));
  events.clear();
  g.grid->SelectColumn(-1);
  EXPECT_EQ(g.grid->CurrentColumn(), nullptr);
  EXPECT_EQ(events, (std::vector<std::string>{"exiting 1", "exit 1", "enter -1"}));
  try {
    g.grid->SelectColumn(2);
    FAIL() << "no error";
  } catch (const ERSError& e) {
    EXPECT_EQ(std::string(e.Message()), "Index is out of range (2/2)");
  }
  g.grid->Columns()->Items(0)->SetOptionsBehavior(TgpColumnBehaviorOptions{cboNoSelecting});
  try {
    g.grid->SelectColumn(0);
    FAIL() << "no error";
  } catch (const EDBGridPro& e) {
    EXPECT_EQ(std::string(e.Message()), "Unable to select column (0)");
  }
}

TEST(GridColumns, ATitleStateChangeReachesTheApplication) {
  MemGrid g(5);
  TgpColumn* seen = nullptr;
  TComponent* sender = nullptr;
  g.grid->OnTitleStateChange = [&](TComponent* s, TgpColumn* c) { sender = s, seen = c; };
  TgpColumn* p = g.grid->Columns()->Items(1);
  p->ChangeTitleState(tsSortedUp, true, true);
  EXPECT_EQ(sender, g.grid.get());
  EXPECT_EQ(seen, p);
  EXPECT_EQ(p->SortOrder(), g.grid->SortCounter());
}

// CommitEdit settles the data set's editing as the application's commands
// expect before they sort, print or close.
TEST(GridEditing, CommitEditPostsChangesAndDropsAnUntouchedNewRecord) {
  MemGrid g(5);
  // An inserted record nobody typed into goes away.
  g.ds.StartAppend();
  EXPECT_EQ(g.ds.CurrentMode(), dsInsert);
  g.grid->CommitEdit();
  EXPECT_EQ(g.ds.CurrentMode(), dsBrowse);
  EXPECT_EQ(g.ds.CursorRecordCount(), 5);
  // One with a value is posted.
  g.ds.StartAppend();
  g.ds.FieldNamed("N")->SetIntegerValue(6);
  g.grid->CommitEdit();
  EXPECT_EQ(g.ds.CurrentMode(), dsBrowse);
  EXPECT_EQ(g.ds.CursorRecordCount(), 6);
  // A changed record is posted.
  g.ds.GoFirst();
  g.ds.StartEdit();
  g.ds.FieldNamed("P")->SetIntegerValue(777);
  g.grid->CommitEdit();
  EXPECT_EQ(g.ds.CurrentMode(), dsBrowse);
  g.ds.Reload();
  g.ds.GoFirst();
  EXPECT_EQ(g.ds.FieldNamed("P")->GetIntegerValue(), 777);
  EXPECT_FALSE(g.grid->Posting());
  // Outside editing nothing happens to the data set.
  g.grid->CommitEdit();
  EXPECT_EQ(g.ds.CurrentMode(), dsBrowse);
}

TEST(GridEditing, CancelEditDropsTheChanges) {
  MemGrid g(5);
  g.ds.StartEdit();
  g.ds.FieldNamed("P")->SetIntegerValue(777);
  g.grid->CancelEdit();
  EXPECT_EQ(g.ds.CurrentMode(), dsBrowse);
  EXPECT_EQ(g.ds.FieldNamed("P")->GetIntegerValue(), 10);
}

TEST(GridEditing, InsertRecordHonoursTheOptionsAndTheEvents) {
  MemGrid g(3);
  g.grid->SetOptionsEdit(TgpGridEditOptions{geoNoAppends});
  EXPECT_FALSE(g.grid->InsertRecord(true));
  EXPECT_EQ(g.ds.CurrentMode(), dsBrowse);
  bool refuse = true;
  int after = 0;
  g.grid->BeforeInsert = [&](TComponent*, bool& do_insert) { do_insert = !refuse; };
  g.grid->AfterInsert = [&](TComponent*) { ++after; };
  EXPECT_FALSE(g.grid->InsertRecord(false));
  EXPECT_EQ(after, 0);
  refuse = false;
  EXPECT_TRUE(g.grid->InsertRecord(false));
  EXPECT_EQ(g.ds.CurrentMode(), dsInsert);
  EXPECT_EQ(after, 1);
  g.grid->CancelEdit();
  g.grid->SetReadOnly(true);
  EXPECT_FALSE(g.grid->InsertRecord(false));
}

TEST(GridEditing, LeavingTheGridCommitsTheRecord) {
  MemGrid g(3);
  g.ds.StartEdit();
  g.ds.FieldNamed("P")->SetIntegerValue(5);
  g.grid->DoExit();
  EXPECT_EQ(g.ds.CurrentMode(), dsBrowse);
  EXPECT_EQ(g.ds.FieldNamed("P")->GetIntegerValue(), 5);
  g.grid->SetOptionsEdit(TgpGridEditOptions{geoCancelRecordOnExit});
  g.ds.StartEdit();
  g.ds.FieldNamed("P")->SetIntegerValue(9);
  g.grid->DoExit();
  EXPECT_EQ(g.ds.CurrentMode(), dsBrowse);
  EXPECT_EQ(g.ds.FieldNamed("P")->GetIntegerValue(), 5);
}

}  // namespace

namespace {

TEST(GridColumns, TheGridsVerticalAlignmentReachesColumnsWithoutTheirOwn) {
  MemGrid g(3);
  TgpColumns& columns = *g.grid->Columns();
  columns.Items(1)->SetVertAlignment(tlaTop);
  g.grid->SetVertAlignment(tlBottom);
  EXPECT_EQ(columns.Items(0)->FieldList()->Layout(), tlBottom);
  EXPECT_EQ(columns.Items(1)->FieldList()->Layout(), tlTop);
}

TEST(GridColumns, ALargerFontMakesHigherRows) {
  MemGrid g(30);
  const int row = g.grid->RowHeight();
  const int capacity = g.grid->RowCapacity();
  g.grid->Font().SetSize(g.grid->Font().Size() * 2);
  EXPECT_GT(g.grid->RowHeight(), row);
  EXPECT_LT(g.grid->RowCapacity(), capacity);
}

}  // namespace

namespace {

// The vertical bar appears as rows outgrow the window and takes its width
// from the client area; fitted groups follow.
TEST(GridColumns, FittedGroupsLeaveRoomForTheVerticalBar) {
  MemGrid g(3, 400, 200);
  g.grid->SetAutoColumnFit(true);
  ASSERT_FALSE(g.grid->ScrollBarShown(SB_VERT));
  const int without_bar = g.grid->ClientWidth();
  EXPECT_EQ(without_bar, 400 - 2 * g.grid->FrameInset());
  EXPECT_EQ(LayoutWidth(*g.grid->Columns()), without_bar);
  grid_support::AddRows(g.ds, 4, 40);
  ASSERT_TRUE(g.grid->ScrollBarShown(SB_VERT));
  EXPECT_LT(g.grid->ClientWidth(), without_bar);
  EXPECT_EQ(LayoutWidth(*g.grid->Columns()), g.grid->ClientWidth());
}

}  // namespace

namespace {

TEST(GridColumns, AFooterStateChosenReachesTheApplicationAndClearsTheText) {
  MemGrid g(3);
  g.grid->SetShowFooters(true);
  TgpColumn* p = g.grid->Columns()->Items(1);
  p->SetFooterText("123");
  TgpColumn* seen = nullptr;
  g.grid->OnFooterStateChange = [&](TComponent*, TgpColumn* c) {
    seen = c;
    EXPECT_EQ(c->FooterState(), fsSum);
    c->SetFooterText("60");  // the application computes the value
  };
  g.grid->DoFooterStateChange(p, fsSum);
  EXPECT_EQ(seen, p);
  EXPECT_EQ(std::string(p->FooterDisplayText()), "SUM=60");
}

// A drop-down positions the grid on the record of its value and takes the
// value of the record the user picked.
TEST(GridColumns, AsAPickListTheGridFollowsAndGivesValues) {
  MemGrid g(20);
  g.grid->SetCursorType(gctInsensitiveID);
  g.grid->SetUniqueFields("P");
  g.grid->SyncToValue(Variant(70));
  EXPECT_EQ(g.N(), 7);
  EXPECT_EQ(g.grid->CurrentRow(), g.grid->ActiveRow());
  EXPECT_EQ(g.grid->TakeValue().AsInteger(), 70);
  g.grid->SyncToValue(Variant(75));  // no such record
  EXPECT_FALSE(g.grid->Selection()->Current()->Valid);
}

}  // namespace

namespace {

// The grid's settings and columns as a form description keeps them.
TEST(GridColumns, SettingsAndColumnsTravelInTheTextForm) {
  MemGrid g(3);
  g.grid->SetName("DBGridPro1");
  g.grid->SetBookmarkFields("P;R");
  g.grid->SetStripStep(3);
  g.grid->SetShowFooters(true);
  g.grid->SetAutoColumnFit(true);
  g.grid->Columns()->Items(1)->SetCaption("Load");
  g.grid->Columns()->Items(1)->SetVisible(false);
  const AnsiString text = ComponentToString(g.grid.get(), true);
  TDBGridPro copy(nullptr);
  StringToComponent(&copy, text, true);
  EXPECT_EQ(std::string(copy.BookmarkFields()), "P;R");
  EXPECT_EQ(copy.StripStep(), 3);
  EXPECT_TRUE(copy.ShowFooters());
  EXPECT_TRUE(copy.AutoColumnFit());
  ASSERT_EQ(copy.Columns()->Count(), 2);
  EXPECT_EQ(std::string(copy.Columns()->Items(0)->FieldName()), "N");
  EXPECT_EQ(std::string(copy.Columns()->Items(1)->Caption()), "Load");
  EXPECT_FALSE(copy.Columns()->Items(1)->Visible());
  // Read in, the copy laid its columns out.
  EXPECT_EQ(copy.Columns()->GroupCount(), 1);
}

}  // namespace

}  // namespace grid_columns_test

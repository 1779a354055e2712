// Incremental search, the delete key with its question, and hints of
// cut-off titles and footers, driven by typed keys, an answering dialog
// service and a stepped clock.
#include <gtest/gtest.h>

#include "tests/grid/interact_support.h"
#include "tests/support/recording_dialogs.h"
#include "toolkit/core/clock.h"
#include "toolkit/ui/hintwnd.h"

namespace interact_search_test {

using interact::ShownGrid;

TEST(GridSearch, TypingFindsTheFirstRecordThatStartsWithTheText) {
  ShownGrid g(200);
  g.grid->ParamsAutoSearch()->SetEnabled(true);
  g.grid->SelectColumn(0);
  g.Type("1");
  EXPECT_TRUE(g.grid->ParamsAutoSearch()->Active());
  EXPECT_EQ(g.N(), 1);
  g.Type("5");
  EXPECT_EQ(g.N(), 15);
  g.Type("7");
  EXPECT_EQ(g.N(), 157);
  EXPECT_EQ(g.grid->ParamsAutoSearch()->SearchText(), "157");
  ASSERT_NE(g.grid->ParamsAutoSearch()->PromptWindow(), nullptr);
  EXPECT_EQ(g.grid->ParamsAutoSearch()->PromptWindow()->Text(), "Search: 157");
  // Under the grid: its top-left corner at the grid's bottom-left corner, frame included.
  const int frame = g.grid->FrameInset();
  EXPECT_EQ(g.grid->ParamsAutoSearch()->PromptWindow()->Widget()->geometry().topLeft(),
            g.W()->mapToGlobal(QPoint(-frame, g.grid->Height() - frame)));
  g.Type("9");
  EXPECT_EQ(g.grid->ParamsAutoSearch()->SearchText(), "157") << "a character that finds nothing is not taken";
  EXPECT_EQ(g.N(), 157);
  g.Key(Qt::Key_Backspace);
  EXPECT_EQ(g.grid->ParamsAutoSearch()->SearchText(), "15");
  EXPECT_EQ(g.N(), 15) << "the shorter text searches again from the first record";
  g.Key(Qt::Key_Down);
  EXPECT_FALSE(g.grid->ParamsAutoSearch()->Active()) << "a key the grid handles ends the search";
  EXPECT_EQ(g.N(), 16);
}

TEST(GridSearch, OnlySearchableFieldsAndEnabledGridsSearch) {
  ShownGrid g(30);
  g.grid->SelectColumn(0);
  g.Type("2");
  EXPECT_FALSE(g.grid->ParamsAutoSearch()->Active()) << "off by default";
  g.grid->ParamsAutoSearch()->SetEnabled(true);
  g.grid->ParamsAutoSearch()->SetSearchableFields("p");
  g.Type("2");
  EXPECT_FALSE(g.grid->ParamsAutoSearch()->Active()) << "N is not searchable";
  g.grid->SelectColumn(1);
  g.Type("2");
  EXPECT_TRUE(g.grid->ParamsAutoSearch()->Active());
  EXPECT_EQ(g.N(), 2) << "P = 20";
}

// A blank typed finds a no-break space on either pass of a wrapped search.
TEST(GridSearch, FindNextWrapsAndFindsTheSameRowsFromAnyStart) {
  TMemDataSet ds(nullptr);
  ds.FieldDefs().AppendNamedDef("S", ftString, 20);
  ds.Activate();
  const char* texts[] = {"alpha", "a\xA0" "b one", "gamma", "a b two", "delta", "epsilon"};
  for (const char* t : texts) {
    ds.StartAppend();
    ds.FieldNamed("S")->SetStringValue(t);
    ds.CommitRecord();
  }
  TDataSource source(nullptr);
  source.SetDataSet(&ds);
  TForm form(nullptr);
  grid_support::TestGrid grid(nullptr);
  grid.SetParent(&form);
  grid.Columns()->Add()->SetFieldName("S");
  grid.SetDataSource(&source);
  form.Show();
  grid.SelectColumn(0);
  TgpAutoSearchParams& search = *grid.ParamsAutoSearch();
  search.SetEnabled(true);
  search.SetCycleSearch(true);
  search.SetShortCutFindNext(VK_F12);
  ds.GoFirst();
  for (const char* c : {"a", " ", "b"}) QTest::keyClick(grid.Widget(), *c);
  EXPECT_EQ(ds.FieldNamed("S")->GetStringValue(), "a\xA0" "b one");
  // From each row the next find lands on the next match, round the end.
  std::vector<std::string> found;
  for (int i = 0; i < 4; ++i) {
    QTest::keyClick(grid.Widget(), Qt::Key_F12);
    found.push_back(ds.FieldNamed("S")->GetStringValue());
  }
  EXPECT_EQ(found, (std::vector<std::string>{"a b two", "a\xA0" "b one", "a b two", "a\xA0" "b one"}));
  grid.SetDataSource(nullptr);
  grid.SetParent(nullptr);
}

TEST(GridDelete, TheKeyAsksAndDeletesOnlyOnOk) {
  struct Case {
    const char* name;
    int answer;
    TgpDeletePromptKind kind;
    int selected;  // 0: the current record only
    int expected_count;
    size_t questions;
    const char* question;
  };
  const Case cases[] = {
      {"one record, OK", IDOK, dpkAlways, 0, 9, 1, "Delete record. Are you sure?"},
      {"one record, Cancel", IDCANCEL, dpkAlways, 0, 10, 1, "Delete record. Are you sure?"},
      {"three records, OK", IDOK, dpkAlways, 3, 7, 1, "Delete 3 records. Are you sure?"},
      {"three records, Cancel", IDCANCEL, dpkAlways, 3, 10, 1, "Delete 3 records. Are you sure?"},
      {"multi-record prompt, one record", IDCANCEL, dpkMultiRecord, 0, 9, 0, ""},
      {"never asks", IDCANCEL, dpkNever, 3, 7, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::RecordingDialogs dialogs;
    dialogs.box_answer = c.answer;
    ShownGrid g(10, 300, 260);
    g.grid->SetMultiSelect(true);
    g.grid->ParamsDelete()->SetEnabled(true);
    g.grid->ParamsDelete()->SetPromptKind(c.kind);
    int after_delete = 0;
    g.grid->AfterDelete = [&](TComponent*) { ++after_delete; };
    g.Click(g.Cell(2, 0));
    if (c.selected) g.Click(g.Cell(2 + c.selected - 1, 0), Qt::ShiftModifier);
    g.Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(g.ds.CursorRecordCount(), c.expected_count);
    ASSERT_EQ(dialogs.boxes.size(), c.questions);
    if (c.questions) {
      EXPECT_EQ(dialogs.boxes[0].text, c.question);
      EXPECT_EQ(dialogs.boxes[0].flags, unsigned(MB_OKCANCEL | MB_ICONQUESTION));
    }
    EXPECT_EQ(after_delete, c.expected_count < 10 ? 1 : 0);
    // The rows left are exactly the others.
    std::vector<int> left;
    for (g.ds.GoFirst(); !g.ds.Eof(); g.ds.GoNext()) left.push_back(g.N());
    if (c.expected_count < 10) {
      for (int n = 3; n < 3 + std::max(1, c.selected); ++n) {
        EXPECT_EQ(std::count(left.begin(), left.end(), n), 0) << n;
      }
    }
  }
}

TEST(GridDelete, DisabledKeyIsNotTaken) {
  testsupport::RecordingDialogs dialogs;
  ShownGrid g(5);
  g.Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(g.ds.CursorRecordCount(), 5);
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_FALSE(g.grid->ParamsDelete()->HandleDeleteKey(VK_DELETE, TShiftState{ssCtrl}));
  g.grid->ParamsDelete()->SetEnabled(true);
  EXPECT_FALSE(g.grid->ParamsDelete()->HandleDeleteKey(VK_DELETE, TShiftState{})) << "another key";
}

TEST(GridDelete, OneSelectedRecordIsTheOneDeletedNotTheCurrentOne) {
  testsupport::RecordingDialogs dialogs;
  ShownGrid g(10, 300, 260);
  g.grid->SetMultiSelect(true);
  g.grid->ParamsDelete()->SetEnabled(true);
  // Record 3 and 6 selected, then 3 deselected: 6 stays selected while the
  // current record is 3.
  g.Click(g.Cell(2, 0));
  g.Click(g.Cell(5, 0), Qt::ControlModifier);
  g.Click(g.Cell(2, 0), Qt::ControlModifier);
  ASSERT_EQ(g.Selected(), (std::vector<int>{6}));
  ASSERT_EQ(g.N(), 3);
  g.Key(Qt::Key_Delete, Qt::ControlModifier);
  std::vector<int> left;
  for (g.ds.GoFirst(); !g.ds.Eof(); g.ds.GoNext()) left.push_back(g.N());
  EXPECT_EQ(left, (std::vector<int>{1, 2, 3, 4, 5, 7, 8, 9, 10}));
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Delete record. Are you sure?");
}

TEST(GridHints, ACutOffTitleShowsAfterThePauseAndGoes) {
  TManualClock clock(1000);
  ScopedTickClock use(clock.Source());
  ShownGrid g(5);
  TgpColumn* n = g.grid->Columns()->Items(0);
  n->SetCaption("A caption much too long for sixty pixels");
  g.grid->Columns()->Items(1)->SetCaption("P");
  QTest::mouseMove(g.W(), g.Title(0));
  clock.Advance(499);
  g.grid->HintTick();
  EXPECT_TRUE(g.grid->HintWindow() == nullptr || !g.grid->HintWindow()->Active());
  clock.Advance(1);
  g.grid->HintTick();
  ASSERT_NE(g.grid->HintWindow(), nullptr);
  EXPECT_TRUE(g.grid->HintWindow()->Active());
  EXPECT_EQ(g.grid->HintWindow()->Text(), "A caption much too long for sixty pixels");
  clock.Advance(19999);
  g.grid->HintTick();
  EXPECT_TRUE(g.grid->HintWindow()->Active());
  clock.Advance(1);
  g.grid->HintTick();
  EXPECT_FALSE(g.grid->HintWindow()->Active());
  // A caption that fits gives the grid's own hint, here none.
  QTest::mouseMove(g.W(), g.Title(1));
  clock.Advance(600);
  g.grid->HintTick();
  EXPECT_FALSE(g.grid->HintWindow()->Active());
  EXPECT_EQ(g.grid->HintTextAt(g.Title(1).x(), g.Title(1).y()), "");
  g.grid->SetHint("grid");
  EXPECT_EQ(g.grid->HintTextAt(g.Title(1).x(), g.Title(1).y()), "grid");
}

TEST(GridHints, ACutOffFooterNamesItsState) {
  ShownGrid g(5);
  g.grid->SetShowFooters(true);
  TgpColumn* p = g.grid->Columns()->Items(1);
  p->SetFooterState(fsSum);
  p->SetFooterText("123456789012345678901234567890");
  const TRect r = p->FooterRect(true, false);
  EXPECT_EQ(g.grid->HintTextAt(r.Left + 3, r.Top + 2), "Sum = 123456789012345678901234567890");
  p->SetFooterState(fsNone);
  p->SetFooterText("123456789012345678901234567890");
  EXPECT_EQ(g.grid->HintTextAt(r.Left + 3, r.Top + 2), "123456789012345678901234567890");
  p->SetFooterText("1");
  EXPECT_EQ(g.grid->HintTextAt(r.Left + 3, r.Top + 2), "");
}

}  // namespace interact_search_test

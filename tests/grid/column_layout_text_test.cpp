// Column layouts as text: the grid's columns copied by position into a
// buffer under the layout mask, written as text, read back into a fresh
// buffer and copied onto the grid's columns by field name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grid/rs.h"
#include "grid/rs_rtm.h"
#include "tests/grid/grid_support.h"
#include "tests/grid/layout_test_host.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"

namespace column_layout_text_test {

TEST(ColumnLayoutText, TheStoredPropertiesOfAColumn) {
  TgpColumns buffer(nullptr);
  TgpColumn* n = buffer.Add();
  n->SetFieldName("N");
  n->SetWidth(69);
  n->SetAlignment(talCenter);
  TgpColumn* p = buffer.Add();
  p->SetFieldName("P");
  p->SetOptionsVisual({cvoWordWrap});
  p->SetTitleState(tsSortedUp);
  p->SetSortOrder(0);
  p->SetFooterState(fsAverage);
  p->SetWidth(80);
  p->SetLayoutLevel(1);
  p->SetColor(clRed);
  p->SetAlignment(talRightJustify);
  p->Font()->SetName("Arial");
  EXPECT_EQ(PersistentToString(&buffer, "", true),
            "object TUniDataStorage\r\n"
            "  Data = <\r\n"
            "    item\r\n"
            "      FieldName = 'N'\r\n"
            "      Width = 69\r\n"
            "      Alignment = talCenter\r\n"
            "    end\r\n"
            "    item\r\n"
            "      FieldName = 'P'\r\n"
            "      OptionsVisual = [cvoWordWrap]\r\n"
            "      TitleState = tsSortedUp\r\n"
            "      FooterState = fsAverage\r\n"
            "      Width = 80\r\n"
            "      LayoutLevel = 1\r\n"
            "      Color = clRed\r\n"
            "      Alignment = talRightJustify\r\n"
            "      Font.Name = 'Arial'\r\n"
            "      SortOrder = 0\r\n"
            "    end>\r\n"
            "end\r\n");
}

// Every setting a column publishes, away from its default.
void SetEverything(TgpColumn* c) {
  c->SetFieldName(Utf8ToAnsi("Цена"));
  c->SetOptionsVisual({cvoForeColorFill, cvoOwnerDraw});
  c->SetOptionsBehavior({cboNoTitleStates, cboStandalone});
  c->SetOptionsMapping({cioImportDomain});
  c->SetFixed(cfLeft);
  c->SetDisplayFormat("0.00");
  c->SetEditFormat("0.0");
  c->SetCaption("It's");
  c->SetCaptionAlignment(talRightJustify);
  c->SetTitleImageIndex(3);
  c->SetTitleState(tsSortedDown);
  c->SetSortOrder(2);
  c->SetFooterState(fsSum);
  c->SetFooterText("total");
  c->SetFooterTextAlignment(talCenter);
  c->SetFooterStates({fsSum, fsNone});
  c->SetTag(-7);
  c->SetWidth(123);
  c->SetLayoutLevel(2);
  c->SetLayoutIndex(1);
  c->SetReadOnly(true);
  c->SetColor(0x00102030);
  c->SetAlignment(talLeftJustify);
  c->SetVertAlignment(tlaTop);
  c->Font()->SetName("Arial");
  c->Font()->SetColor(clRed);
  c->Font()->SetStyle({fsBold});
  c->SetVisible(false);
}

TEST(ColumnLayoutText, EverySettingRoundTrips) {
  for (bool as_text : {true, false}) {
    TgpColumns written(nullptr);
    SetEverything(written.Add());
    written.Add()->SetFieldName("N");
    AnsiString text = PersistentToString(&written, "", as_text);
    TgpColumns read(nullptr);
    StringToPersistent(&read, text, as_text);
    ASSERT_EQ(read.Count(), 2);
    const TgpColumn* c = read.Items(0);
    // Every published property reads back as written.
    for (const TPropInfo* prop : GetPropList(*c->ClassInfo())) {
      if (prop->Kind() == tkClass) continue;
      EXPECT_EQ(GetVariantProp(c, *prop).AsString(), GetVariantProp(written.Items(0), *prop).AsString())
          << prop->Name << (as_text ? " (text)" : " (binary)");
    }
    EXPECT_EQ(c->FieldName(), Utf8ToAnsi("Цена"));
    EXPECT_EQ(c->Caption(), "It's");
    EXPECT_EQ(c->SortOrder(), 2);
    ASSERT_NE(c->FontIfAny(), nullptr);
    EXPECT_EQ(c->FontIfAny()->Name(), "Arial");
    EXPECT_EQ(c->FontIfAny()->Color(), clRed);
    EXPECT_EQ(c->FontIfAny()->Style(), TFontStyles{fsBold});
    EXPECT_EQ(read.Items(1)->FieldName(), "N");
    EXPECT_EQ(read.Items(1)->FontIfAny(), nullptr);
    EXPECT_EQ(read.Items(1)->SortOrder(), -1);
  }
}

TEST(ColumnLayoutText, AGridLayoutSavedAndRestored) {
  // The acoustic grid: D1 .. D3 each twice, hidden and shown.
  LayoutHost grid;
  for (const char* name : {"N", "D1", "D2", "D3"}) grid.Add(name, 0, 0, 40, std::string(name) == "N");
  grid.Add("D1", 0, 0, 50);
  grid.Add("D2", 1, 0, 50);
  grid.Add("D3", 2, 0, 50);
  grid.Column(4)->SetWidth(75);
  grid.Column(0)->SetTitleState(tsSortedUp);
  grid.Column(6)->SetColor(clRed);

  TgpColumns save(nullptr);
  save.AssignColumns(&grid.Columns, true, cpmLayoutStore);
  AnsiString text = PersistentToString(&save, "", true);

  // The next start: a grid built as before, the stored layout laid over it.
  LayoutHost next;
  for (const char* name : {"N", "D1", "D2", "D3"}) next.Add(name, 0, 0, 40, std::string(name) == "N");
  next.Add("D1", 0, 0, 50);
  next.Add("D2", 1, 0, 50);
  next.Add("D3", 2, 0, 50);
  TgpColumns load(nullptr);
  StringToPersistent(&load, text, true);
  ASSERT_EQ(load.Count(), 7);
  next.Columns.AssignColumns(&load, false, cpmLayoutStore);
  EXPECT_EQ(next.Widths(), grid.Widths());
  EXPECT_EQ(next.Positions(), grid.Positions());
  EXPECT_EQ(next.Column(0)->TitleState(), tsSortedUp);
  EXPECT_EQ(next.Column(0)->SortOrder(), 0);
  EXPECT_EQ(next.Column(6)->Color(), clRed);
  EXPECT_EQ(next.Column(3)->Color(), clNone);
  // The stacked group came back as one group of three lines.
  ASSERT_EQ(next.Columns.GroupCount(), 2);
  EXPECT_EQ(next.Columns.Groups(1)->LineCount, 3);
  EXPECT_EQ(next.Columns.Groups(1)->Width, 75);
}

TEST(ColumnLayoutText, ReadStraightIntoAGridsColumnsKeepsTheirOrder) {
  TgpColumns buffer(nullptr);
  for (const char* name : {"A", "B", "C", "D"}) buffer.Add()->SetFieldName(name);
  buffer.Items(1)->SetOptionsBehavior({cboFixedWidth});
  buffer.Items(2)->SetFixed(cfLeft);
  buffer.Items(2)->SetLayoutLevel(1);
  const AnsiString text = PersistentToString(&buffer, "", true);
  LayoutHost host;
  host.Add("OLD", 0, 0, 40);
  host.Add("OLDER", 0, 0, 40);
  host.Add("OLDEST", 0, 0, 40);
  // Settings that move columns in a laid-out grid only take effect once
  // the whole list is read.
  StringToPersistent(&host.Columns, text, true);
  EXPECT_EQ(host.Fields(), (std::vector<std::string>{"A", "B", "C", "D"}));
  EXPECT_EQ(host.Positions(), (std::vector<std::pair<int, int>>{{0, 0}, {0, 0}, {1, 0}, {0, 0}}));
  ASSERT_EQ(host.Columns.GroupCount(), 3);
  EXPECT_EQ(host.Columns.Groups(1)->LineCount, 2);
  EXPECT_TRUE(host.Columns.Groups(1)->FixedWidth);
}

TEST(ColumnLayoutText, ReadingSortOrderSetsTheGridsCounter) {
  TgpColumns buffer(nullptr);
  TgpColumn* c = buffer.Add();
  c->SetTitleState(tsSortedUp);
  c->SetSortOrder(5);
  AnsiString text = PersistentToString(&buffer, "", true);
  EXPECT_NE(text.find("SortOrder = 5"), std::string::npos);
  LayoutHost host;
  StringToPersistent(&host.Columns, text, true);
  ASSERT_EQ(host.Columns.Count(), 1);
  EXPECT_EQ(host.Column(0)->SortOrder(), 5);
  EXPECT_EQ(host.Counter, 5);
}

TEST(ColumnLayoutText, ALayoutSavedFromOneGridComesBackInAnother) {
  grid_support::MemGrid first(5);
  TgpColumns& from = *first.grid->Columns();
  // P stacked below N, the group widened, sorted down by P.
  from.MoveColumn(from.Items(1), from.Groups(0), 1, 0);
  from.Items(0)->SetWidth(90);
  from.Items(1)->ChangeTitleState(tsSortedDown, true, true);
  TgpColumns save(nullptr);
  save.AssignColumns(&from, true, cpmLayoutStore);
  const AnsiString text = PersistentToString(&save, "", true);

  grid_support::MemGrid second(5);
  TgpColumns load(nullptr);
  StringToPersistent(&load, text, true);
  TgpColumns& to = *second.grid->Columns();
  to.AssignColumns(&load, false, cpmLayoutStore);
  ASSERT_EQ(to.GroupCount(), 1);
  EXPECT_EQ(to.Groups(0)->LineCount, 2);
  EXPECT_EQ(to.Items(0)->Width(), 90);
  EXPECT_EQ(to.Items(1)->Width(), 90);
  EXPECT_EQ(to.Items(1)->TitleState(), tsSortedDown);
  // The two fields show one under the other.
  const TRect n = to.Items(0)->CellRect(0, false, false);
  const TRect p = to.Items(1)->CellRect(0, false, false);
  EXPECT_EQ(n.Left, p.Left);
  EXPECT_LT(n.Bottom, p.Top + 1);
}

}  // namespace column_layout_text_test

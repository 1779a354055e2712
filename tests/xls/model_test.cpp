// The workbook model: ranges by rectangle, their merge rules, names and values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/core/text.h"
#include "xls/vteExcel.h"

namespace model_test {

namespace {

std::vector<TvteRect> Rects(const TvteXLSWorksheet& sheet) {
  std::vector<TvteRect> out;
  for (int i = 0; i < sheet.GetRangeCount(); ++i) out.push_back(sheet.GetRangeItem(i)->Rect());
  return out;
}

TEST(WorkbookModel, SameRectangleGivesTheSameRangeWithItsAttributes) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  TvteXLSRange* a = sheet->GetRange(0, 0, 0, 2);
  a->SetValue(Variant("N"));
  TvteXLSRange* b = sheet->GetRange(0, 0, 0, 2);
  b->SetHorizontalAlignment(vtexlHAlignCenter);
  EXPECT_EQ(a, b);
  EXPECT_EQ(sheet->GetRangeCount(), 1);
  EXPECT_EQ(a->Value().AsString(), "N");
  EXPECT_EQ(a->HorizontalAlignment(), vtexlHAlignCenter);
}

struct RangeCase {
  const char* name;
  std::vector<TvteRect> requests;
  std::vector<TvteRect> expected;  // in list order
  TvteRect dimensions;
  int64_t max_height;
};

TEST(WorkbookModel, RequestsKeepRangesSortedAndDropOverlaps) {
  const RangeCase cases[] = {
      {"one-cell ranges in row order", {{4, 2, 4, 2}, {4, 0, 4, 0}, {4, 1, 4, 1}},
       {{4, 0, 4, 0}, {4, 1, 4, 1}, {4, 2, 4, 2}}, {4, 0, 4, 2}, 1},
      {"inner request drops the outer range, dimensions stay", {{0, 0, 2, 2}, {1, 1, 1, 1}},
       {{1, 1, 1, 1}}, {0, 0, 2, 2}, 1},
      {"dropping the tall range brings the height back to 1", {{0, 0, 0, 2}, {1, 0, 1, 0}, {0, 1, 0, 1}},
       {{1, 0, 1, 0}, {0, 1, 0, 1}}, {0, 0, 1, 2}, 1},
      {"neighbours that only touch stay", {{0, 0, 1, 1}, {2, 0, 2, 1}, {0, 2, 2, 2}},
       {{0, 0, 1, 1}, {2, 0, 2, 1}, {0, 2, 2, 2}}, {0, 0, 2, 2}, 2},
      // The tall range added while another is dropped must count in the
      // height, or the last request would not look back far enough to find it.
      {"height counts the range added while dropping", {{0, 0, 0, 2}, {0, 0, 0, 5}, {0, 5, 0, 5}},
       {{0, 5, 0, 5}}, {0, 0, 0, 5}, 1},
      {"a request below a tall range finds it", {{3, 0, 3, 9}, {0, 4, 0, 4}, {3, 8, 3, 8}},
       {{0, 4, 0, 4}, {3, 8, 3, 8}}, {0, 0, 3, 9}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TvteXLSWorkbook book;
    TvteXLSWorksheet* sheet = book.AddSheet();
    for (const auto& r : c.requests) sheet->GetRange(r.Left, r.Top, r.Right, r.Bottom);
    EXPECT_EQ(Rects(*sheet), c.expected);
    EXPECT_EQ(sheet->Dimensions(), c.dimensions);
    EXPECT_EQ(sheet->MaxRangeHeight(), c.max_height);
  }
}

TEST(WorkbookModel, NewSheetHasUnsetDimensionsAndNoHeight) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  EXPECT_EQ(sheet->Dimensions(), (TvteRect{-1, -1, -1, -1}));
  EXPECT_EQ(sheet->MaxRangeHeight(), 0);
  EXPECT_EQ(sheet->GetIndex(), 0);
}

TEST(WorkbookModel, ReversedRectangleKeepsTheListSorted) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  sheet->GetRange(0, 3, 0, 3);
  sheet->GetRange(0, 5, 0, 5);
  sheet->GetRange(2, 6, 2, 4);  // reversed: stored as given
  for (int i = 1; i < sheet->GetRangeCount(); ++i)
    EXPECT_LE(sheet->GetRangeItem(i - 1)->Top(), sheet->GetRangeItem(i)->Top());
}

TEST(WorkbookModel, SheetNamesAreCutTrimmedAndNumbered) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* s1 = book.AddSheet();
  EXPECT_EQ(s1->Name(), "Sheet1");
  s1->SetName("sHEET2");  // taken names compare without case
  EXPECT_EQ(book.AddSheet()->Name(), "Sheet3");
  s1->SetName("  " + std::string(40, 'x'));
  EXPECT_EQ(s1->Name(), std::string(29, 'x'));
  s1->SetName("  Data  ");
  EXPECT_EQ(s1->Name(), "Data");

  TvteXLSWorkbook other;
  EXPECT_EQ(other.AddSheet()->Name(), "Sheet1");
  EXPECT_EQ(other.AddSheet()->Name(), "Sheet2");
  EXPECT_EQ(other.IndexOfSheet("Sheet2"), 1);
  EXPECT_EQ(other.IndexOfSheet("sheet2"), -1);
}

TEST(WorkbookModel, UserNameIsCutAndTrimmed) {
  TvteXLSWorkbook book;
  EXPECT_EQ(book.UserName(), "PReport");
  book.SetUserName(" " + std::string(70, 'u'));
  EXPECT_EQ(book.UserName(), std::string(65, 'u'));
}

TEST(WorkbookModel, TextValueLosesCarriageReturns) {
  TvteXLSWorkbook book;
  TvteXLSRange* r = book.AddSheet()->GetRange(0, 0, 0, 0);
  r->SetValue(Variant("a\r\nb\r\nc\rd"));
  EXPECT_EQ(r->Value().AsString(), "a\nb\nc\rd");
}

TEST(WorkbookModel, CellKindFollowsTheValueType) {
  struct Case {
    const char* name;
    Variant value;
    const char* formula;
    TvteCellKind kind;
  };
  const Case cases[] = {
      {"integer", Variant(5), "", vtecNumber},
      {"small integer", Variant::FromSmallint(5), "", vtecNumber},
      {"byte", Variant::FromByte(5), "", vtecNumber},
      {"single", Variant(1.5f), "", vtecNumber},
      {"double", Variant(1.5), "", vtecNumber},
      {"currency", Variant(Currency::FromScaled(15000)), "", vtecNumber},
      {"date is text", Variant::FromDate(45000.0), "", vtecText},
      {"boolean is text", Variant(true), "", vtecText},
      {"64-bit integer is text", Variant(5LL), "", vtecText},
      {"empty is text", Variant(), "", vtecText},
      {"null is text", Null(), "", vtecText},
      {"string", Variant("x"), "", vtecText},
      {"formula wins", Variant(5), "1+2", vtecFormula},
  };
  TvteXLSWorkbook book;
  TvteXLSRange* r = book.AddSheet()->GetRange(0, 0, 0, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    r->SetValue(c.value);
    r->SetFormula(c.formula);
    EXPECT_EQ(r->CellKind(), c.kind);
    // The value comes back as it was given, of the same kind.
    EXPECT_EQ(r->Value().VarType(), c.value.VarType());
    EXPECT_EQ(r->ValueType(), c.value.VarType());
    EXPECT_EQ(r->ValueText(), VarToStr(c.value));
    if (c.value.VarType() != varString && !c.value.IsNull()) {
      EXPECT_EQ(r->Value().AsDouble(), c.value.AsDouble());
    }
  }
}

// Many ranges of a sheet keep their values apart: texts of every length,
// replaced values, a range dropped and its place taken again.
TEST(WorkbookModel, ValuesOfManyRangesStayApart) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  for (int r = 0; r < 300; ++r) {
    sheet->GetRange(0, r, 0, r)->SetValue(Variant(std::string(static_cast<size_t>(r % 40), char('a' + r % 26))));
    sheet->GetRange(1, r, 1, r)->SetValue(Variant(r * 0.5));
    sheet->GetRange(2, r, 2, r)->SetValue(Variant(r));
  }
  sheet->GetRange(0, 7, 0, 7)->SetValue(Variant("again"));
  sheet->GetRange(1, 8, 2, 8)->SetValue(Variant("merged"));  // drops (1, 8) and (2, 8)
  sheet->GetRange(2, 9, 2, 9)->SetFormula("A1+1");
  ASSERT_EQ(sheet->GetRangeCount(), 899);
  for (int i = 0; i < sheet->GetRangeCount(); ++i) {
    const TvteXLSRange& range = *sheet->GetRangeItem(i);
    const int r = range.Top();
    SCOPED_TRACE(std::to_string(range.Left()) + "," + std::to_string(r));
    if (r == 8 && range.Left() == 1) {
      EXPECT_EQ(range.Value().AsString(), "merged");
    } else if (range.Left() == 0) {
      EXPECT_EQ(range.Value().AsString(), r == 7 ? "again" : std::string(static_cast<size_t>(r % 40), char('a' + r % 26)));
    } else if (range.Left() == 1) {
      EXPECT_EQ(range.Value().AsDouble(), r * 0.5);
    } else {
      EXPECT_EQ(range.Value().VarType(), varInteger);
      EXPECT_EQ(range.Value().AsInteger(), r);
      EXPECT_EQ(range.Formula(), r == 9 ? "A1+1" : "");
    }
  }
  TvteXLSRange* f = sheet->GetRange(2, 9, 2, 9);
  f->SetFormula("A2*3");
  EXPECT_EQ(f->Formula(), "A2*3");
  f->SetFormula("");
  EXPECT_EQ(f->CellKind(), vtecNumber);
}

// Ranges of equal formats share one; a change through one range's font or
// borders reaches that range alone.
TEST(WorkbookModel, FormatsAreSharedAndAChangeReachesOneRange) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  TvteXLSRange* a = sheet->GetRange(0, 0, 0, 0);
  TvteXLSRange* b = sheet->GetRange(1, 0, 1, 0);
  EXPECT_EQ(a->StyleIndex(), b->StyleIndex());
  a->Font().Size = 14;
  a->Borders()[vtexlEdgeTop].SetLineStyle(vtelsThick);
  EXPECT_EQ(a->Font().Size, 14);
  EXPECT_EQ(b->Font().Size, 10);
  EXPECT_EQ(b->Borders()[vtexlEdgeTop].LineStyle(), vtelsNone);
  TvteXLSRange* c = sheet->GetRange(2, 0, 2, 0);  // files a's changed format
  c->Font().Size = 14;
  c->Borders().GetBorder(vtexlEdgeTop)->SetLineStyle(vtelsThick);
  b->SetHorizontalAlignment(vtexlHAlignRight);
  sheet->FileStyles();
  EXPECT_EQ(a->StyleIndex(), c->StyleIndex());
  EXPECT_NE(a->StyleIndex(), b->StyleIndex());
  EXPECT_EQ(sheet->GetStyleCount(), 3);  // the new range's, a's and c's, b's
  EXPECT_EQ(a->Font().Size, 14);
  EXPECT_EQ(b->Font().Size, 10);
  EXPECT_EQ(b->HorizontalAlignment(), vtexlHAlignRight);
  EXPECT_EQ(a->HorizontalAlignment(), vtexlHAlignGeneral);
  // A range changed and then dropped by an overlapping request leaves
  // nothing behind; its successor starts with the new range's format.
  a->SetFormat("0.00");
  TvteXLSRange* wide = sheet->GetRange(0, 0, 1, 0);
  EXPECT_EQ(sheet->GetRangeCount(), 2);
  EXPECT_EQ(wide->StyleIndex(), 0u);
  EXPECT_EQ(wide->Format(), "");
  EXPECT_EQ(c->Format(), "");
}

TEST(WorkbookModel, BordersByEdgeUseTheLowSevenBits) {
  TvteXLSWorkbook book;
  TvteXLSRange* r = book.AddSheet()->GetRange(0, 0, 0, 0);
  r->Borders().GetBorder(vtexlEdgeTop)->SetLineStyle(vtelsThin);
  EXPECT_EQ(r->Borders().GetBorder(0x80 | vtexlEdgeTop)->LineStyle(), vtelsThin);
  EXPECT_EQ(r->Borders()[vtexlEdgeBottom].LineStyle(), vtelsNone);
  EXPECT_THROW(r->Borders().GetBorder(6), Exception);
}

}  // namespace

// The anchors' screen: 96 dpi, Arial 10 averaging 6 pixels a character.
TEST(WorkbookModel, ScreenMeasuresOfTheClassicScreen) {
  EXPECT_EQ(GetScreenDpiX(), 96);
  EXPECT_EQ(GetDefaultCharWidth(), 6);
  EXPECT_EQ(DefaultColumnWidthPixels(), 54);
  EXPECT_EQ(DefaultRowHeightPixels(), 17);
  const struct {
    int twips, pixels;
  } rows[] = {{1440, 96}, {300, 20}, {250, 17}, {240, 16}, {0, 0}};  // 250 twips are 16.67 pixels
  for (const auto& r : rows) EXPECT_EQ(RowHeightToPixels(r.twips), r.pixels) << r.twips;
  EXPECT_EQ(ColumnWidthToPixels(20 * 256), 120);
  EXPECT_EQ(ColumnWidthToPixels(300), 7);  // 1.17 characters, 7.03 pixels
}

}  // namespace model_test

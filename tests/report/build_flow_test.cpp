// The page flow of a build: rows filling pages in order under their headers,
// page footers, columns, groups with their headers, footers, counters and
// breaks, master and detail sources, empty sources, a template page that
// continues on the previous one, and the page count of two passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "report/FR_DSet.h"
#include "tests/report/build_support.h"
#include "tests/report/class_support.h"
#include "tests/report/dialog_support.h"

namespace build_flow_test {

using build_test::Built;
using build_test::BuildFixture;
using build_test::BuiltPage;
using build_test::NumberedRows;
using build_test::Row;

constexpr uint16_t kFirstAndLast = flBandOnFirstPage | flBandOnLastPage;

class BuildFlow : public BuildFixture {};

std::vector<std::string> Numbers(int from, int to) {
  std::vector<std::string> out;
  for (int i = from; i <= to; ++i) out.push_back(std::to_string(i));
  return out;
}

TEST_F(BuildFlow, RowsFillPagesInOrderBelowTitleAndHeadersAboveTheFooter) {
  Fill(NumberedRows(100));
  AddBand(btReportTitle, "Title", 50, 40);
  AddText("title", 60, 55);
  AddBand(btPageHeader, "Header", 100, 30, kFirstAndLast);
  AddText("header", 60, 105);
  AddBand(btMasterData, "Rows", 140, 30, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 60, 145);
  AddBand(btPageFooter, "Footer", 300, 30, kFirstAndLast);
  AddText("page [PAGE#]", 60, 305);
  ASSERT_TRUE(Build());

  // The rows each page takes, worked out from the page's limits.
  const int bottom = limits_.Bottom - 30;
  std::vector<int> rows_per_page;
  int y = limits_.Top + 40 + 30;
  int left = 100;
  while (left > 0) {
    int on_page = 0;
    while (left > 0 && y + 30 <= bottom) y += 30, ++on_page, --left;
    rows_per_page.push_back(on_page);
    y = limits_.Top + 30;
  }
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), rows_per_page.size());
  int next = 1;
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1));
    const BuiltPage& page = pages[i];
    EXPECT_EQ(Texts(page, "row "), Numbers(next, next + rows_per_page[i] - 1));
    next += rows_per_page[i];
    EXPECT_EQ(Texts(page, "title").size(), i == 0 ? 1u : 0u);
    ASSERT_EQ(Objects(page, "header").size(), 1u);
    const int header_top = Objects(page, "header")[0]->top;
    EXPECT_EQ(header_top, (i == 0 ? limits_.Top + 40 : limits_.Top) + 5);
    // Rows follow each other below the header without gaps.
    const std::vector<const Built*> rows = Objects(page, "row ");
    for (size_t r = 0; r < rows.size(); ++r) EXPECT_EQ(rows[r]->top, header_top + 25 + 30 * static_cast<int>(r) + 5);
    EXPECT_EQ(Texts(page, "page "), std::vector<std::string>{std::to_string(i + 1)});
    EXPECT_EQ(Objects(page, "page ")[0]->top, bottom + 5);
  }
  EXPECT_EQ(next, 101);
}

TEST_F(BuildFlow, PageFooterFlagsChooseTheFirstAndLastPages) {
  const struct {
    const char* name;
    uint16_t flags;
    std::vector<std::string> footers;  // per page: "x" with a footer, "" without
  } cases[] = {
      {"neither", 0, {"", "x", ""}},
      {"on first page", flBandOnFirstPage, {"x", "x", ""}},
      {"on last page", flBandOnLastPage, {"", "x", "x"}},
      {"both", kFirstAndLast, {"x", "x", "x"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    build_test::Scenario fixture;
    fixture.Fill(NumberedRows(3));
    fixture.AddBand(btMasterData, "Rows", 60, 30, flBandNewPageAfter, "frDBDataSet1");
    fixture.AddText("row [Dbf1.\"N\"]", 60, 65);
    fixture.AddBand(btPageFooter, "Footer", 300, 30, c.flags);
    fixture.AddText("footer", 60, 305);
    ASSERT_TRUE(fixture.Build());
    const std::vector<BuiltPage> pages = fixture.Pages();
    ASSERT_EQ(pages.size(), 3u);
    std::vector<std::string> footers;
    for (const BuiltPage& page : pages) footers.push_back(Texts(page, "footer").empty() ? "" : "x");
    EXPECT_EQ(footers, c.footers);
  }
}

TEST_F(BuildFlow, PageColumnsFillTopToBottomThenLeftToRight) {
  Fill(NumberedRows(70));
  page_->Columns = 3;
  page_->ColumnGap = 12;
  AddBand(btColumnHeader, "ColumnHeader", 50, 20);
  AddText("colhead", 60, 52);
  AddBand(btMasterData, "Rows", 100, 30, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 60, 105);
  ASSERT_TRUE(Build());

  const int width = (limits_.Right - limits_.Left - 2 * 12) / 3;
  const int per_column = (limits_.Bottom - (limits_.Top + 20)) / 30;
  const std::vector<BuiltPage> pages = Pages();
  int n = 1;
  for (size_t p = 0; p < pages.size(); ++p) {
    const std::vector<const Built*> heads = Objects(pages[p], "colhead");
    const std::vector<const Built*> rows = Objects(pages[p], "row ");
    for (size_t i = 0; i < rows.size(); ++i, ++n) {
      const int column = static_cast<int>(i) / per_column;
      SCOPED_TRACE("row " + std::to_string(n));
      EXPECT_EQ(rows[i]->text, "row " + std::to_string(n));
      EXPECT_EQ(rows[i]->left, 60 + column * (width + 12));
      EXPECT_EQ(rows[i]->top, limits_.Top + 20 + 30 * (static_cast<int>(i) % per_column) + 5);
    }
    // Every column used on the page has its header.
    EXPECT_EQ(heads.size(), (rows.size() + per_column - 1) / per_column);
    if (p + 1 < pages.size()) {
      EXPECT_EQ(rows.size(), 3u * per_column);
    }
  }
  EXPECT_EQ(n, 71);
  EXPECT_EQ(pages.size(), static_cast<size_t>((70 + 3 * per_column - 1) / (3 * per_column)));
}

TEST_F(BuildFlow, MultiColumnBandPrintsRecordsSideBySide) {
  Fill(NumberedRows(5));
  TfrBandView* rows = AddBand(btMasterData, "Rows", 60, 30, 0, "frDBDataSet1");
  rows->Columns = 3;
  rows->ColumnWidth = 150;
  rows->ColumnGap = 10;
  AddText("row [Dbf1.\"N\"]", 60, 65);
  AddBand(btReportSummary, "Summary", 200, 30);
  AddText("end", 60, 205);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  const std::vector<const Built*> printed = Objects(pages[0], "row ");
  ASSERT_EQ(printed.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(printed[static_cast<size_t>(i)]->left, 60 + (i % 3) * 160);
    EXPECT_EQ(printed[static_cast<size_t>(i)]->top, limits_.Top + 30 * (i / 3) + 5);
  }
  // The open second row is closed before the summary.
  ASSERT_EQ(Objects(pages[0], "end").size(), 1u);
  EXPECT_EQ(Objects(pages[0], "end")[0]->top, limits_.Top + 60 + 5);
  EXPECT_EQ(Objects(pages[0], "end")[0]->left, 60);
}

// Rows in two group levels.
TEST_F(BuildFlow, NestedGroupsPrintFootersAndHeadersAtEachChangeWithTheirCounters) {
  const std::vector<Row> rows = {{1, "A", 1}, {2, "A", 2}, {3, "A", 2}, {4, "B", 2}, {5, "B", 3}};
  Fill(rows);
  // The outer group breaks on GRP, the inner one on whether P is 2.
  AddBand(btGroupHeader, "G1", 50, 20, 0, "[Dbf1.\"GRP\"]");
  AddText("h1 [Dbf1.\"GRP\"] [LINE#]", 10, 50);
  AddBand(btGroupHeader, "G2", 80, 20, 0, "[Dbf1.\"P\"] = 2");
  // LINE# of a band without a source reads the first group's counter, so the
  // inner group's own counter is taken as the band prints.
  AddText("h2", 10, 80);
  AddBand(btMasterData, "Rows", 110, 20, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"] [LINE#]", 10, 110);
  AddBand(btGroupFooter, "F2", 140, 20);
  AddText("f2 [Dbf1.\"N\"]", 10, 140);
  AddBand(btGroupFooter, "F1", 170, 20);
  AddText("f1 [Dbf1.\"GRP\"]", 10, 170);
  std::vector<std::string> g2_counters;
  report_->OnBeginBand = [&](TfrBand* band) {
    if (band->Name == "G2") g2_counters.push_back(std::to_string(band->RowNo));
  };
  ASSERT_TRUE(Build());

  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  // Each header with the counter of its group among its parent's, each row
  // with its place in the inner group, each footer with the group's last row.
  const std::vector<std::string> expected = {
      "h1 A 1", "h2", "row 1 1", "f2 1",          // A, P not 2
      "h2", "row 2 1", "row 3 2", "f2 3", "f1 A",  // A, P 2
      "h1 B 2", "h2", "row 4 1", "f2 4",          // B, P 2
      "h2", "row 5 1", "f2 5", "f1 B"};           // B, P not 2
  EXPECT_EQ(BuildFixture::AllTexts(pages[0]), expected);
  EXPECT_EQ(g2_counters, (std::vector<std::string>{"1", "2", "1", "2"}));
}

TEST_F(BuildFlow, GroupFlaggedNewPageStartsEachGroupOnItsOwnPage) {
  Fill({{1, "A", 1}, {2, "A", 1}, {3, "B", 1}, {4, "C", 1}, {5, "C", 1}});
  AddBand(btGroupHeader, "G1", 50, 20, flBandNewPageAfter, "[Dbf1.\"GRP\"]");
  AddText("group [Dbf1.\"GRP\"]", 10, 50);
  AddBand(btMasterData, "Rows", 80, 20, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 10, 80);
  AddBand(btGroupFooter, "F1", 110, 20);
  AddText("end [Dbf1.\"GRP\"]", 10, 110);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 3u);
  const std::vector<std::vector<std::string>> groups = {{"A"}, {"B"}, {"C"}};
  const std::vector<std::vector<std::string>> numbers = {{"1", "2"}, {"3"}, {"4", "5"}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Texts(pages[i], "group "), groups[i]);
    EXPECT_EQ(Texts(pages[i], "row "), numbers[i]);
    EXPECT_EQ(Texts(pages[i], "end "), groups[i]);
  }
}

// The detail rows of each master row come from a counted source whose
// records the test names; a master row without details prints only when
// its band prints without detail.
TEST_F(BuildFlow, MasterRowsPrintWithTheirDetailsAndWithoutThemOnlyWhenAsked) {
  const std::map<int, int> details = {{1, 2}, {2, 0}, {3, 3}};
  for (const bool without_detail : {false, true}) {
    SCOPED_TRACE(without_detail ? "print if detail empty" : "needs detail");
    build_test::Scenario fixture;
    fixture.Fill(NumberedRows(3));
    auto* detail = new TfrUserDataset(&fixture.owner_);
    detail->SetName("frUserDataset1");
    detail->OnCheckEOF = [&](TComponent*, bool& eof) {
      eof = detail->RecNo() >= details.at(fixture.table_->FieldNamed("N")->GetIntegerValue());
    };
    fixture.report_->OnGetValue = [&](const AnsiString& name, Variant& value) {
      if (name == "DETAIL") value = Variant((detail->RecNo() + 1) * 10);
    };
    fixture.AddBand(btMasterData, "Master", 50, 20, without_detail ? flBandPrintIfSubsetEmpty : 0,
                    "frDBDataSet1");
    fixture.AddText("master [Dbf1.\"N\"]", 10, 50);
    fixture.AddBand(btDetailHeader, "DetailHeader", 80, 20);
    fixture.AddText("dhead [Dbf1.\"N\"]", 10, 80);
    fixture.AddBand(btDetailData, "Detail", 110, 20, 0, "frUserDataset1");
    fixture.AddText("detail [Dbf1.\"N\"].[DETAIL]", 10, 110);
    fixture.AddBand(btDetailFooter, "DetailFooter", 140, 20);
    fixture.AddText("dfoot [COUNT(Detail)] [SUM([DETAIL], Detail)]", 10, 140, 300);
    ASSERT_TRUE(fixture.Build());

    std::vector<std::string> expected;
    for (const auto& [master, count] : details) {
      if (count == 0) {
        if (without_detail) expected.push_back("master " + std::to_string(master));
        continue;
      }
      expected.push_back("master " + std::to_string(master));
      expected.push_back("dhead " + std::to_string(master));
      int sum = 0;
      for (int k = 1; k <= count; ++k) {
        expected.push_back("detail " + std::to_string(master) + "." + std::to_string(10 * k));
        sum += 10 * k;
      }
      expected.push_back("dfoot " + std::to_string(count) + " " + std::to_string(sum));
    }
    const std::vector<BuiltPage> pages = fixture.Pages();
    ASSERT_EQ(pages.size(), 1u);
    const std::vector<std::string> printed = BuildFixture::AllTexts(pages[0]);
    EXPECT_EQ(printed, expected);
  }
}

TEST_F(BuildFlow, EmptyMasterSourceBuildsNoPageUnlessPrintIfEmpty) {
  for (const bool print_if_empty : {true, false}) {
    SCOPED_TRACE(print_if_empty ? "print if empty" : "not if empty");
    build_test::Scenario fixture;
    fixture.Fill({});
    fixture.report_->PrintIfEmpty = print_if_empty;
    fixture.AddBand(btReportTitle, "Title", 50, 20);
    fixture.AddText("title", 10, 50);
    fixture.AddBand(btMasterData, "Rows", 80, 20, 0, "frDBDataSet1");
    fixture.AddText("row", 10, 80);
    fixture.AddBand(btReportSummary, "Summary", 110, 20);
    fixture.AddText("summary", 10, 110);
    fixture.Build();
    const std::vector<BuiltPage> pages = fixture.Pages();
    if (!print_if_empty) {
      EXPECT_TRUE(pages.empty());
      continue;
    }
    ASSERT_EQ(pages.size(), 1u);
    const std::vector<std::string> printed = BuildFixture::AllTexts(pages[0]);
    EXPECT_EQ(printed, (std::vector<std::string>{"title", "summary"}));
  }
}

TEST_F(BuildFlow, CountedSourcePrintsItsBandThatManyTimes) {
  AddBand(btMasterData, "Rows", 50, 20, 0, "3");
  AddText("line [LINE#]", 10, 50);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(pages[0], "line "), Numbers(1, 3));
}

// Template page B continues below the end of page A, unless A's last page
// was used to its bottom (as a page of columns past its first column is).
TEST_F(BuildFlow, SecondTemplatePageContinuesOnTheLastPageOfTheFirst) {
  for (const int columns : {1, 2}) {
    SCOPED_TRACE(std::to_string(columns) + " columns");
    build_test::Scenario s;
    const int per_page = (s.limits_.Bottom - s.limits_.Top) / 30;
    s.Fill(NumberedRows(columns == 1 ? 4 : per_page));
    s.page_->Columns = columns;
    s.AddBand(btMasterData, "Rows", 50, 30, 0, "frDBDataSet1");
    s.AddText("row [Dbf1.\"N\"]", 10, 55);
    s.AddBand(btReportSummary, "Summary", 100, 30);
    s.AddText("summary A", 10, 105);
    TfrPage* second = s.report_->Pages().Add();
    second->LeftMargin = second->TopMargin = second->RightMargin = second->BottomMargin = 50;
    second->PrintToPrevPage = true;
    s.page_ = second;
    s.AddBand(btReportTitle, "TitleB", 50, 30);
    s.AddText("title B", 10, 55);
    ASSERT_TRUE(s.Build());
    const std::vector<BuiltPage> pages = s.Pages();
    if (columns == 1) {
      ASSERT_EQ(pages.size(), 1u);
      ASSERT_EQ(BuildFixture::Objects(pages[0], "title B").size(), 1u);
      // Below four rows and the summary of the first template page.
      EXPECT_EQ(BuildFixture::Objects(pages[0], "title B")[0]->top, s.limits_.Top + 5 * 30 + 5);
    } else {
      ASSERT_EQ(pages.size(), 2u);
      EXPECT_TRUE(BuildFixture::Objects(pages[0], "title B").empty());
      ASSERT_EQ(BuildFixture::Objects(pages[1], "title B").size(), 1u);
      EXPECT_EQ(BuildFixture::Objects(pages[1], "title B")[0]->top, s.limits_.Top + 5);
    }
  }
}

// The summary takes the room kept for the column footer once the column
// footer has printed.
TEST_F(BuildFlow, SummaryFitsInTheRoomKeptForTheColumnFooter) {
  const int body = limits_.Bottom - limits_.Top;
  int row = 30;
  if ((body - 20) % row == 0) row = 31;
  const int rows = (body - 20) / row;
  const int summary = (body - 20) % row;
  Fill(NumberedRows(rows));
  AddBand(btMasterData, "Rows", 50, row, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 10, 50);
  AddBand(btColumnFooter, "ColumnFooter", 200, 20);
  AddText("colfoot", 10, 200);
  AddBand(btReportSummary, "Summary", 300, summary);
  AddText("summary", 10, 300, 100, summary);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(Objects(pages[0], "summary").size(), 1u);
  EXPECT_EQ(Objects(pages[0], "summary")[0]->top, limits_.Top + rows * row + 20);
}

TEST_F(BuildFlow, TwoPassesPrintTheFinalPageCountOnEveryPage) {
  Fill(NumberedRows(300));
  report_->Template.TwoPassBuild = true;
  AddBand(btMasterData, "Rows", 50, 30, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 10, 55);
  AddBand(btPageFooter, "Footer", 300, 30, kFirstAndLast);
  AddText("Стр. [PAGE#] из [TOTALPAGES]", 10, 305, 300);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_GT(pages.size(), 2u);
  int rows = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(Texts(pages[i], "Стр. "),
              std::vector<std::string>{std::to_string(i + 1) + " из " + std::to_string(pages.size())});
    rows += static_cast<int>(Texts(pages[i], "row ").size());
  }
  EXPECT_EQ(rows, 300);
}


TEST_F(BuildFlow, HeadersFlaggedToRepeatStartEveryFollowingPage) {
  Fill(NumberedRows(90));
  AddBand(btMasterHeader, "Head", 50, 20, flBandRepeatHeader);
  AddText("head", 10, 50);
  AddBand(btGroupHeader, "G1", 80, 20, flBandRepeatHeader, "[Dbf1.\"GRP\"]");
  AddText("group [Dbf1.\"GRP\"]", 10, 80);
  AddBand(btMasterData, "Rows", 110, 30, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 10, 110);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_GE(pages.size(), 3u);
  int rows = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1));
    const std::vector<std::string> texts = BuildFixture::AllTexts(pages[i]);
    ASSERT_GE(texts.size(), 3u);
    // The group's header first: it repeats before the data band's own header.
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 2),
              (std::vector<std::string>{"group G", "head"}));
    rows += static_cast<int>(Texts(pages[i], "row ").size());
  }
  EXPECT_EQ(rows, 90);
}

// A band holding a sub-report prints the sub-report's page below its own
// objects for every record; a sub-report longer than the page goes on on
// the next pages.
TEST_F(BuildFlow, SubReportPrintsItsPageInsideTheBandOfEveryRecord) {
  const struct {
    const char* name;
    int masters, subrows;
  } cases[] = {{"short", 3, 2}, {"over pages", 1, 80}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    build_test::Scenario s;
    s.Fill(NumberedRows(c.masters));
    s.AddBand(btMasterData, "Rows", 50, 60, 0, "frDBDataSet1");
    s.AddText("master [Dbf1.\"N\"]", 10, 50, 120, 30);
    auto sub = std::make_unique<TfrSubReportView>();
    sub->Name = "SubReport1";
    sub->SetBounds(40, 80, 300, 20);
    sub->SubPage = 1;
    s.page_->Objects.push_back(std::move(sub));
    TfrPage* second = s.report_->Pages().Add();
    second->LeftMargin = second->TopMargin = second->RightMargin = second->BottomMargin = 50;
    s.page_ = second;
    s.AddBand(btMasterData, "SubRows", 50, 20, 0, std::to_string(c.subrows).c_str());
    s.AddText("sub [LINE#]", 10, 50);
    ASSERT_TRUE(s.Build());

    std::vector<std::string> expected;
    for (int m = 1; m <= c.masters; ++m) {
      expected.push_back("master " + std::to_string(m));
      for (int k = 1; k <= c.subrows; ++k) expected.push_back("sub " + std::to_string(k));
    }
    const std::vector<BuiltPage> pages = s.Pages();
    std::vector<std::string> printed;
    for (const BuiltPage& page : pages) {
      int y = s.limits_.Top - 1;
      for (const Built& b : page) {
        printed.push_back(b.text);
        // Everything stays on the page, one object below the other.
        EXPECT_GT(b.top, y) << b.text;
        EXPECT_LE(b.top + b.height, s.limits_.Bottom) << b.text;
        y = b.top;
        // Sub-report rows are shifted by the sub-report object's left.
        if (b.text.rfind("sub ", 0) == 0) {
          EXPECT_EQ(b.left, 50);
        }
      }
    }
    EXPECT_EQ(printed, expected);
    if (c.subrows == 2) {
      ASSERT_EQ(pages.size(), 1u);
      // The next record starts below the sub-report's last row.
      EXPECT_EQ(BuildFixture::Objects(pages[0], "master ")[1]->top, s.limits_.Top + 30 + 2 * 20);
    } else {
      EXPECT_GT(pages.size(), 1u);
    }
  }
}

TEST_F(BuildFlow, BandScriptAsksForANewPageBeforeItsBand) {
  Fill(NumberedRows(6));
  TfrBandView* rows = AddBand(btMasterData, "Rows", 50, 30, 0, "frDBDataSet1");
  rows->Script.Add("begin if [Dbf1.\"N\"] = 4 then NewPage(0) end");
  AddText("row [Dbf1.\"N\"]", 10, 55);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(Texts(pages[0], "row "), Numbers(1, 3));
  EXPECT_EQ(Texts(pages[1], "row "), Numbers(4, 6));
  EXPECT_EQ(Objects(pages[1], "row ")[0]->top, limits_.Top + 5);
}

// A dialog page with one control and the script, before a report page of rows.
void AddDialogPage(build_test::Scenario& s, const char* script) {
  s.Fill(NumberedRows(2));
  TfrPage* dialog = s.page_;
  dialog->Type = ptDialog;
  dialog->Objects.push_back(std::make_unique<class_test::TestControl>());
  if (*script) dialog->Script.Add(script);
  s.page_ = s.report_->Pages().Add();
  s.AddBand(btMasterData, "Rows", 50, 20, 0, "frDBDataSet1");
  s.AddText("row [Dbf1.\"N\"]", 10, 50);
}

// Builds, giving the dialog form `answer` once it shows (mrNone: nothing is
// given); whether it showed for an answer.
bool BuildAnswering(build_test::Scenario& s, TModalResult answer, bool& built) {
  bool shown = false;
  // The build handles events before the form shows: wait for it.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    TfrPage* page = s.report_->Pages().Pages(0);
    if (QApplication::activeModalWidget() == nullptr || !page->DialogForm) return;
    poll.stop();
    shown = true;
    page->DialogForm->SetModalResult(answer);
  });
  if (answer != mrNone) poll.start(10);
  dialog_test::Watchdog watchdog;
  built = s.Build();
  return shown;
}

// A dialog page before the report page: its script may decide without
// showing the form, else the form's answer decides; Cancel builds nothing.
TEST_F(BuildFlow, DialogPageDecidesWhetherTheReportIsBuilt) {
  const struct {
    const char* name;
    const char* script;        // empty: the form is shown
    TModalResult answer;       // given to the shown form
    bool built;
  } cases[] = {
      {"script cancels", "ModalResult := 2", mrNone, false},
      {"script accepts", "ModalResult := 1", mrNone, true},
      {"form accepted", "", mrOk, true},
      {"form cancelled", "", mrCancel, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    build_test::Scenario s;
    AddDialogPage(s, c.script);
    bool built = false;
    EXPECT_EQ(BuildAnswering(s, c.answer, built), c.answer != mrNone);
    EXPECT_EQ(built, c.built);
    EXPECT_EQ(s.report_->EMFPages()->Count(), c.built ? 1 : 0);
  }
}

// The dialog page's script runs once, as its form is shown and takes the
// activation: it meets the form up and modal. A failing script ends the
// dialog instead of leaving it waiting for an answer nobody can use.
TEST_F(BuildFlow, DialogPageScriptRunsOnceAsTheFormIsActivated) {
  const struct {
    const char* name;
    const char* script;
    TModalResult answer;  // given to the shown form; mrNone: the script decides
    bool built;
    bool error;
  } cases[] = {
      {"script decides", "begin x := Probe; ModalResult := 1 end", mrNone, true, false},
      {"form answered", "x := Probe", mrOk, true, false},
      {"failing script", "begin x := Probe; x := Broken end", mrNone, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    build_test::Scenario s;
    AddDialogPage(s, c.script);
    // What the script meets of the form when it asks for Probe.
    std::vector<std::string> seen;
    s.report_->OnGetValue = [&](const AnsiString& name, Variant& value) {
      if (SameText(name, "Broken")) throw EParserError("broken");
      if (!SameText(name, "Probe")) return;
      TForm* form = s.report_->Pages().Pages(0)->DialogForm.get();
      seen.push_back(std::string(form != nullptr && form->Visible() ? "shown" : "hidden") +
                     (form != nullptr && form->Modal() ? " modal" : "") +
                     (form != nullptr && form->OnActivate ? " handler kept" : ""));
      value = 1;
    };
    bool built = false;
    EXPECT_EQ(BuildAnswering(s, c.answer, built), c.answer != mrNone);
    EXPECT_EQ(seen, std::vector<std::string>{"shown modal"});
    EXPECT_EQ(built, c.built);
    EXPECT_EQ(s.report_->EMFPages()->Count(), c.built ? 1 : 0);
    // (The test's control class is unknown to the template's reload, which says so too.)
    const bool error_shown = std::any_of(s.dialogs_->boxes.begin(), s.dialogs_->boxes.end(),
                                         [](const auto& box) { return box.text.find("broken") != AnsiString::npos; });
    EXPECT_EQ(error_shown, c.error);
  }
}

TEST_F(BuildFlow, ColumnFooterClosesEveryColumnWithRoomLeftForIt) {
  Fill(NumberedRows(60));
  page_->Columns = 2;
  AddBand(btMasterData, "Rows", 50, 30, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 10, 50);
  AddBand(btColumnFooter, "ColumnFooter", 100, 20);
  AddText("colfoot", 10, 100);
  ASSERT_TRUE(Build());
  const int per_column = (limits_.Bottom - 20 - limits_.Top) / 30;
  const std::vector<BuiltPage> pages = Pages();
  int rows = 0;
  for (const BuiltPage& page : pages) {
    // Each column's rows, then its footer right below the last of them.
    int in_column = 0;
    const Built* last_row = nullptr;
    for (const Built& b : page) {
      if (b.text.rfind("row ", 0) == 0) {
        ++in_column, ++rows, last_row = &b;
        continue;
      }
      ASSERT_EQ(b.text, "colfoot");
      ASSERT_NE(last_row, nullptr);
      EXPECT_EQ(b.top, last_row->top + 30);
      EXPECT_LE(b.top + 20, limits_.Bottom);
      if (rows < 60) {
        EXPECT_EQ(in_column, per_column);
      }
      in_column = 0;
    }
    EXPECT_EQ(in_column, 0) << "a column without its footer";
  }
  EXPECT_EQ(rows, 60);
}

TEST_F(BuildFlow, ManualBuildPrintsOnlyTheBandsItNames) {
  Fill(NumberedRows(3));
  AddBand(btChild, "Line", 50, 20);
  AddText("line", 10, 50);
  AddBand(btMasterData, "Rows", 80, 20, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 10, 80);
  AddBand(btReportSummary, "Summary", 110, 20);
  AddText("summary", 10, 110);
  report_->OnManualBuild = [](TfrPage* page) {
    page->PrintBandByName("line");
    page->PrintBandByName("LINE");
    page->PrintBandByName("no such band");
  };
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(BuildFixture::AllTexts(pages[0]), (std::vector<std::string>{"line", "line"}));
  EXPECT_EQ(Objects(pages[0], "line")[1]->top, limits_.Top + 20);
}

// An object that asked to hear of every printed text object.
class Listener : public class_test::TestView {
 public:
  void AfterMemoPrinted(TfrMemoView* printed) override {
    heard->push_back(printed->ExpandedMemo.Text().c_str());
    if (heard->size() == 1 && on_first_text) on_first_text();
  }
  std::vector<std::string>* heard = nullptr;
  // Runs once, after the first text heard.
  std::function<void()> on_first_text;
};

TEST_F(BuildFlow, ObjectsAskingToHearOfPrintedTextsAreToldOfEach) {
  Fill(NumberedRows(2));
  AddBand(btMasterData, "Rows", 50, 20, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 10, 50);
  std::vector<std::string> heard;
  auto listener = std::make_unique<Listener>();
  listener->heard = &heard;
  listener->Flags |= flWantHook;
  listener->Visible = false;
  listener->SetBounds(300, 50, 10, 10);
  page_->Objects.push_back(std::move(listener));
  ASSERT_TRUE(Build());
  EXPECT_EQ(heard, (std::vector<std::string>{"row 1\r\n", "row 2\r\n"}));
}

// A listener that frees another one or has new ones join while it hears
// leaves each still listening told of each text once, and a freed one no more.
TEST_F(BuildFlow, ListenersFreedOrJoiningWhileOthersHearAreToldOnlyWhileTheyListen) {
  enum Action { kFree, kJoin };
  const struct {
    const char* name;
    size_t acting;
    Action action;
    size_t freed;
    std::vector<std::vector<std::string>> heard;  // of the three on the page, then of two joining
  } cases[] = {
      {"the first frees the second", 0, kFree, 1, {{"row 1", "row 2"}, {}, {"row 1", "row 2"}, {}, {}}},
      {"the first frees the last", 0, kFree, 2, {{"row 1", "row 2"}, {"row 1", "row 2"}, {}, {}, {}}},
      {"the second frees the first", 1, kFree, 0, {{"row 1"}, {"row 1", "row 2"}, {"row 1", "row 2"}, {}, {}}},
      {"the last frees itself", 2, kFree, 2, {{"row 1", "row 2"}, {"row 1", "row 2"}, {"row 1"}, {}, {}}},
      {"two join",
       0,
       kJoin,
       0,
       {{"row 1", "row 2"}, {"row 1", "row 2"}, {"row 1", "row 2"}, {"row 2"}, {"row 2"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    build_test::Scenario s;
    s.Fill(NumberedRows(2));
    s.AddBand(btMasterData, "Rows", 50, 20, 0, "frDBDataSet1");
    s.AddText("row [Dbf1.\"N\"]", 10, 50);
    std::vector<std::vector<std::string>> heard(5);
    std::vector<Listener*> on_page;
    std::vector<std::unique_ptr<Listener>> joining;
    auto make = [&](size_t i) {
      auto listener = std::make_unique<Listener>();
      listener->heard = &heard[i];
      listener->Flags |= flWantHook;
      listener->Visible = false;
      // Below every band: nothing but the list of listeners holds it.
      listener->SetBounds(300, 400 + 20 * static_cast<int>(i), 10, 10);
      return listener;
    };
    for (size_t i = 0; i < 3; ++i) {
      on_page.push_back(make(i).release());
      s.page_->Objects.emplace_back(on_page.back());
    }
    for (size_t i = 3; i < 5; ++i) joining.push_back(make(i));
    TfrPage* page = s.page_;
    on_page[c.acting]->on_first_text = [&, page] {
      if (c.action == kJoin) {
        for (auto& listener : joining) frRunningBuild().Listeners.push_back(listener.get());
        return;
      }
      std::erase_if(page->Objects, [&](const auto& object) { return object.get() == on_page[c.freed]; });
    };
    ASSERT_TRUE(s.Build());
    for (auto& lines : heard)
      for (std::string& line : lines) std::erase_if(line, [](char ch) { return ch == '\r' || ch == '\n'; });
    EXPECT_EQ(heard, c.heard);
  }
}

// A header above two data bands belongs to the first, a footer below both to
// the second; an object on a band's bottom edge belongs to that band.
TEST_F(BuildFlow, HeadersAndFootersLinkToTheNearestDataBand) {
  AddBand(btMasterHeader, "Head", 50, 20);
  AddText("head", 10, 50);
  AddBand(btMasterData, "First", 80, 20, 0, "2");
  AddText("first [LINE#]", 10, 100);
  AddBand(btMasterData, "Second", 110, 20, 0, "1");
  AddText("second [LINE#]", 10, 110);
  AddBand(btMasterFooter, "Foot", 140, 20);
  AddText("foot", 10, 140);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(BuildFixture::AllTexts(pages[0]),
            (std::vector<std::string>{"head", "first 1", "first 2", "second 1", "foot"}));
  // The edge object keeps its place at the band's bottom.
  EXPECT_EQ(Objects(pages[0], "first ")[0]->top, limits_.Top + 20 + 20);
}

// A text that hides repeated values shows its value again at the first row
// of every group.
TEST_F(BuildFlow, RepeatedValuesShowAgainAfterAGroupChange) {
  Fill({{1, "A", 5}, {2, "A", 5}, {3, "B", 5}, {4, "B", 5}});
  AddBand(btGroupHeader, "G1", 50, 20, 0, "[Dbf1.\"GRP\"]");
  AddBand(btMasterData, "Rows", 80, 20, 0, "frDBDataSet1");
  AddText("p [Dbf1.\"P\"]", 10, 80, 100, 20, flSuppressRepeated);
  AddText("n [Dbf1.\"N\"]", 200, 80);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(BuildFixture::AllTexts(pages[0]), (std::vector<std::string>{"p 5", "n 1", "n 2", "p 5", "n 3", "n 4"}));
}

}  // namespace build_flow_test

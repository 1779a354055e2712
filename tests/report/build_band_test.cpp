// Run-time bands: stretching with their text, splitting across pages, a band
// no page can take, running totals of footers and summaries (computed here
// from the rows), and child bands.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/report/build_support.h"
#include "toolkit/core/text.h"

namespace build_band_test {

using build_test::Built;
using build_test::BuildFixture;
using build_test::BuiltPage;
using build_test::NumberedRows;
using build_test::Row;

class BuildBand : public BuildFixture {
 protected:
  void CollectBindings(std::vector<std::string>& bindings);
};

constexpr uint16_t kFirstAndLastPage = flBandOnFirstPage | flBandOnLastPage;

std::string Lines(int from, int to) {
  std::string text;
  for (int i = from; i <= to; ++i) text += (i > from ? "\n" : "") + std::string("line ") + std::to_string(i);
  return text;
}

// The numbers of the "line N" texts of a built object, in order.
std::vector<int> LineNumbers(const std::string& text) {
  std::vector<int> numbers;
  std::istringstream in(text);
  std::string word;
  while (in >> word)
    if (word != "line") numbers.push_back(std::stoi(word));
  return numbers;
}

TEST_F(BuildBand, StretchedBandGrowsToItsTallestTextAndStretchesItsOtherObjects) {
  Fill(NumberedRows(2));
  AddBand(btMasterData, "Rows", 50, 20, flStretched, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]\nsecond line\nthird line", 10, 50, 200, 20, flStretched);
  AddText("side [Dbf1.\"N\"]", 300, 50, 100, 20, flStretched);
  AddText("fixed [Dbf1.\"N\"]", 450, 50, 100, 20);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  const std::vector<const Built*> rows = Objects(pages[0], "row ");
  const std::vector<const Built*> sides = Objects(pages[0], "side ");
  const std::vector<const Built*> fixed = Objects(pages[0], "fixed ");
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(sides.size(), 2u);
  ASSERT_EQ(fixed.size(), 2u);
  const int grown = rows[0]->height;
  EXPECT_GT(grown, 20);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i]->top, limits_.Top + static_cast<int>(i) * grown);
    EXPECT_EQ(rows[i]->height, grown);
    // The stretched neighbour reaches the same bottom, the fixed one keeps its height.
    EXPECT_EQ(sides[i]->top + sides[i]->height, rows[i]->top + grown);
    EXPECT_EQ(fixed[i]->height, 20);
  }
}

TEST_F(BuildBand, BandThatDoesNotFitStartsANewPageAndPrintsWhole) {
  Fill(NumberedRows(1));
  // A spacer leaves less room than the row needs.
  const int spacer = limits_.Bottom - limits_.Top - 60;
  AddBand(btReportTitle, "Title", 50, spacer);
  AddText("title", 10, 50);
  AddBand(btMasterData, "Rows", 50 + spacer + 10, 100, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 10, 50 + spacer + 10, 100, 100);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_TRUE(Objects(pages[0], "row ").empty());
  ASSERT_EQ(Objects(pages[1], "row ").size(), 1u);
  EXPECT_EQ(Objects(pages[1], "row ")[0]->top, limits_.Top);
  EXPECT_EQ(Objects(pages[1], "row ")[0]->height, 100);
}

// A text of many lines in a band that may split, or in one taller than any
// page: every line prints once, in order, over as many pages as it needs,
// and the band after it follows its last part.
TEST_F(BuildBand, TallBandsSplitAcrossPagesWithEveryLineOnce) {
  for (const uint16_t flags : {uint16_t(flStretched | flBandBreaked), uint16_t(flStretched)}) {
    SCOPED_TRACE(flags & flBandBreaked ? "may split" : "taller than a page");
    build_test::Scenario s;
    s.Fill(NumberedRows(1));
    s.AddBand(btReportTitle, "Title", 50, 100);
    s.AddText("title", 10, 50);
    s.AddBand(btMasterData, "Rows", 200, 20, flags, "frDBDataSet1");
    s.AddText(Lines(1, 150), 10, 200, 300, 20, flStretched);
    s.AddBand(btReportSummary, "Summary", 300, 20);
    s.AddText("summary", 10, 300);
    ASSERT_TRUE(s.Build());
    const std::vector<BuiltPage> pages = s.Pages();
    ASSERT_GE(pages.size(), 3u);
    std::vector<int> seen;
    for (size_t p = 0; p < pages.size(); ++p) {
      for (const Built* part : BuildFixture::Objects(pages[p], "line ")) {
        const std::vector<int> numbers = LineNumbers(part->text);
        seen.insert(seen.end(), numbers.begin(), numbers.end());
        EXPECT_LE(part->top + part->height, s.limits_.Bottom);
      }
    }
    std::vector<int> all(150);
    for (int i = 0; i < 150; ++i) all[static_cast<size_t>(i)] = i + 1;
    EXPECT_EQ(seen, all);
    // The summary is on the page of the last part, below it.
    const BuiltPage& last = pages.back();
    ASSERT_EQ(BuildFixture::Objects(last, "summary").size(), 1u);
    const Built* tail = BuildFixture::Objects(last, "line ").back();
    EXPECT_GE(BuildFixture::Objects(last, "summary")[0]->top, tail->top + tail->height);
  }
}

// A band of several records' texts that may split: where a page breaks a
// record, its texts that print on the next page still show that record, and
// its line number goes on; every record prints once, in order.
TEST_F(BuildBand, SplitRecordsPrintTheirOwnValuesOnceInOrder) {
  for (const uint16_t flags : {uint16_t(flBandBreaked), uint16_t(flBandBreaked | flStretched)}) {
    SCOPED_TRACE(flags & flStretched ? "stretched" : "fixed height");
    build_test::Scenario s;
    s.Fill(NumberedRows(25));
    s.AddBand(btMasterData, "Rows", 50, 70, flags, "frDBDataSet1");
    s.AddText("a [Dbf1.\"N\"] [LINE#]", 10, 50);
    s.AddText("b [Dbf1.\"N\"] [LINE#]", 10, 75);
    s.AddText("c [Dbf1.\"N\"] [LINE#]", 10, 100);
    ASSERT_TRUE(s.Build());
    const std::vector<BuiltPage> pages = s.Pages();
    ASSERT_GE(pages.size(), 2u);
    for (const char* prefix : {"a ", "b ", "c "}) {
      SCOPED_TRACE(prefix);
      std::vector<std::string> printed, expected;
      for (const BuiltPage& page : pages)
        for (const std::string& t : BuildFixture::Texts(page, prefix)) printed.push_back(t);
      for (int i = 1; i <= 25; ++i) expected.push_back(std::to_string(i) + " " + std::to_string(i));
      EXPECT_EQ(printed, expected);
    }
  }
}

// A band no page can take any part of stops the build with an error instead
// of adding pages without end: an object that cannot be split and is taller
// than the page, or a page footer that leaves no room above it.
TEST_F(BuildBand, BandNoPageCanTakeStopsTheBuildWithAnError) {
  enum Case { kTallObject, kTallFooter, kTallHeader, kTallLine, kTallLineMaySplit };
  for (const Case c : {kTallObject, kTallFooter, kTallHeader, kTallLine, kTallLineMaySplit}) {
    const bool tall_object = c == kTallObject;
    const bool tall_line = c == kTallLine || c == kTallLineMaySplit;
    SCOPED_TRACE(c == kTallObject          ? "object taller than the page"
                 : c == kTallFooter        ? "no room above the page footer"
                 : c == kTallHeader        ? "page header taller than the page"
                 : c == kTallLine          ? "a text line taller than the page"
                                           : "a text line taller than the page, in a band that may split");
    build_test::Scenario s;
    s.Fill(NumberedRows(2));
    const int body = s.limits_.Bottom - s.limits_.Top;
    const uint16_t row_flags = tall_line ? uint16_t(flStretched | (c == kTallLineMaySplit ? flBandBreaked : 0))
                                         : uint16_t(flBandBreaked);
    s.AddBand(btMasterData, c == kTallHeader ? "Rows" : "Huge", 50, tall_object ? body + 300 : 20, row_flags,
              "frDBDataSet1");
    if (tall_line) {
      // Each of its lines is taller than the page body.
      s.AddText("one\ntwo", 10, 50, 100, 20, flStretched)->LineSpacing = body + 100;
    } else if (tall_object) {
      auto picture = std::make_unique<TfrPictureView>();
      picture->Name = "Picture1";
      picture->SetBounds(10, 80, 100, body + 100);
      s.page_->Objects.push_back(std::move(picture));
    } else if (c == kTallFooter) {
      s.AddBand(btPageFooter, "Footer", body + 400, body + 50, kFirstAndLastPage);
    } else {
      // Its object cannot be split, so every page it starts asks for another.
      s.AddBand(btPageHeader, "Huge", body + 400, body + 50, kFirstAndLastPage);
      auto picture = std::make_unique<TfrPictureView>();
      picture->SetBounds(10, body + 400, 100, body + 100);
      s.page_->Objects.push_back(std::move(picture));
    }
    s.AddText("row [Dbf1.\"N\"]", 200, 50);
    // Were pages added without end, the build is stopped here and the count shows it.
    int pages_begun = 0;
    s.report_->OnBeginPage = [&](int) {
      if (++pages_begun > 50) s.report_->Terminated = true;
    };
    EXPECT_FALSE(s.Build());
    EXPECT_LE(pages_begun, 3);
    ASSERT_EQ(s.dialogs_->boxes.size(), 1u);
    // The message is in the code page every text shown on screen is in.
    EXPECT_NE(s.dialogs_->boxes[0].text.find(Utf8ToAnsi("Полоса \"Huge\" не помещается на странице")),
              AnsiString::npos)
        << AnsiToUtf8(s.dialogs_->boxes[0].text);
    EXPECT_EQ(s.report_->EMFPages()->Count(), 0);
  }
}

// ---- Running totals ---------------------------------------------------------------------

TEST_F(BuildBand, GroupFootersShowTheTotalsOfTheirGroupAndTheSummaryOfAll) {
  const std::vector<Row> rows = {{1, "A", 2}, {2, "A", 4}, {3, "A", 6}, {4, "B", 1.5}, {5, "C", -3}, {6, "C", 10},
                                 // The greatest of negatives and the least of positives start from the group's first.
                                 {7, "D", -5}, {8, "D", -2}, {9, "E", 3}, {10, "E", 8}};
  Fill(rows);
  AddBand(btGroupHeader, "G1", 50, 20, 0, "[Dbf1.\"GRP\"]");
  AddBand(btMasterData, "Rows", 80, 20, 0, "frDBDataSet1");
  AddText("row [Dbf1.\"N\"]", 10, 80);
  AddBand(btGroupFooter, "F1", 110, 20);
  AddText("sum [SUM([Dbf1.\"P\"])]", 10, 110);
  AddText("avg [AVG([Dbf1.\"P\"])]", 110, 110);
  AddText("min [MIN([Dbf1.\"P\"])]", 210, 110);
  AddText("max [MAX([Dbf1.\"P\"])]", 310, 110);
  AddText("count [COUNT()]", 410, 110);
  AddBand(btReportSummary, "Summary", 140, 20);
  AddText("all [SUM([Dbf1.\"P\"])] [AVG([Dbf1.\"P\"])] [COUNT()]", 10, 140, 300);
  ASSERT_TRUE(Build());

  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  // Groups A to E, as a person would add them up; numbers with a decimal comma.
  using List = std::vector<std::string>;
  EXPECT_EQ(Texts(pages[0], "sum "), (List{"12", "1,5", "7", "-7", "11"}));
  EXPECT_EQ(Texts(pages[0], "avg "), (List{"4", "1,5", "3,5", "-3,5", "5,5"}));
  EXPECT_EQ(Texts(pages[0], "min "), (List{"2", "1,5", "-3", "-5", "3"}));
  EXPECT_EQ(Texts(pages[0], "max "), (List{"6", "1,5", "10", "-2", "8"}));
  EXPECT_EQ(Texts(pages[0], "count "), (List{"3", "1", "2", "2", "2"}));
  EXPECT_EQ(Texts(pages[0], "all "), (List{"24,5 2,45 10"}));
}

TEST_F(BuildBand, TotalsOverNoRowsAreZeroForSumAndCountAndEmptyOtherwise) {
  Fill({});
  AddBand(btMasterData, "Rows", 50, 20, 0, "frDBDataSet1");
  AddText("row", 10, 50);
  AddBand(btReportSummary, "Summary", 80, 20);
  AddText("sum=[SUM([Dbf1.\"P\"])]", 10, 80);
  AddText("count=[COUNT()]", 110, 80);
  AddText("avg=[AVG([Dbf1.\"P\"])]", 210, 80);
  AddText("min=[MIN([Dbf1.\"P\"])]", 310, 80);
  AddText("max=[MAX([Dbf1.\"P\"])]", 410, 80);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  const std::vector<std::string> printed = BuildFixture::AllTexts(pages[0]);
  EXPECT_EQ(printed, (std::vector<std::string>{"sum=0", "count=0", "avg=", "min=", "max="}));
}

// An invisible data band still counts the totals whose flag says so.
TEST_F(BuildBand, InvisibleRowsCountOnlyInTotalsFlaggedToCountThem) {
  Fill({{1, "A", 5}, {2, "A", 7}, {3, "B", 11}});
  AddBand(btGroupHeader, "G1", 50, 20, 0, "[Dbf1.\"GRP\"]");
  TfrBandView* rows = AddBand(btMasterData, "Rows", 80, 20, 0, "frDBDataSet1");
  rows->Visible = false;
  AddText("row [Dbf1.\"N\"]", 10, 80);
  AddBand(btGroupFooter, "F1", 110, 20);
  AddText("flagged [SUM([Dbf1.\"P\"], Rows, 1)]", 10, 110);
  AddText("plain [SUM([Dbf1.\"P\"], Rows)]", 210, 110);
  ASSERT_TRUE(Build());
  const std::vector<BuiltPage> pages = Pages();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(Texts(pages[0], "row ").empty());
  EXPECT_EQ(Texts(pages[0], "flagged "), (std::vector<std::string>{"12", "11"}));
  EXPECT_EQ(Texts(pages[0], "plain "), (std::vector<std::string>{"0", "0"}));
}

TEST_F(BuildBand, ChildBandFollowsItsBandAndPrintsForAHiddenOneOnlyWhenAsked) {
  for (const bool child_when_hidden : {false, true}) {
    SCOPED_TRACE(child_when_hidden ? "child if invisible" : "plain child");
    build_test::Scenario s;
    s.Fill(NumberedRows(3));
    TfrBandView* rows = s.AddBand(btMasterData, "Rows", 50, 20,
                                  child_when_hidden ? flBandPrintChildIfInvisible : 0, "frDBDataSet1");
    rows->ChildBand = "Child1";
    s.AddText("row [Dbf1.\"N\"]", 10, 50);
    s.AddBand(btChild, "Child1", 100, 20);
    s.AddText("child [Dbf1.\"N\"]", 10, 100);
    // The second row hides its band.
    s.report_->OnBeginBand = [&](TfrBand* band) {
      if (band->Name == "Rows") band->Visible = s.table_->FieldNamed("N")->GetIntegerValue() != 2;
    };
    ASSERT_TRUE(s.Build());
    const std::vector<BuiltPage> pages = s.Pages();
    ASSERT_EQ(pages.size(), 1u);
    const std::vector<std::string> printed = BuildFixture::AllTexts(pages[0]);
    std::vector<std::string> expected = {"row 1", "child 1"};
    if (child_when_hidden) expected.push_back("child 2");
    expected.insert(expected.end(), {"row 3", "child 3"});
    EXPECT_EQ(printed, expected);
  }
}

// Cells of a cross data band repeat across the row once per record of its
// source; the cross footer totals the row's columns.
TEST_F(BuildBand, CrossBandsPrintOneCellPerColumnInEveryRow) {
  const struct {
    const char* name;
    int column_width;
    bool footer;
    // Per built page: the texts of its cells with their lefts.
    std::vector<std::vector<std::string>> pages;
  } cases[] = {
      // The columns start where the cross header ends.
      {"on one page",
       80,
       true,
       {{"1@20", "c1r1@120", "c2r1@200", "c3r1@280", "sum 6@350", "2@20", "c1r2@120", "c2r2@200", "c3r2@280",
         "sum 6@350"}}},
      // Columns that pass the right edge go on on another page, level with their row.
      {"over the right edge",
       300,
       false,
       {{"1@20", "c1r1@120", "2@20", "c1r2@120"}, {"c2r1@60", "c3r1@360", "c2r2@60", "c3r2@360"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    build_test::Scenario s;
    s.Fill(NumberedRows(2));
    TfrBandView* header = s.AddBand(btCrossHeader, "CrossHeader", 0, 900);
    header->SetBounds(10, 0, 100, 900);
    TfrBandView* data = s.AddBand(btCrossData, "CrossData", 0, 900, 0, "3");
    data->SetBounds(120, 0, c.column_width, 900);
    if (c.footer) {
      TfrBandView* footer = s.AddBand(btCrossFooter, "CrossFooter", 0, 900);
      footer->SetBounds(500, 0, 80, 900);
      s.AddText("sum [SUM([COLUMN#])]", 500, 50, 70);
    }
    s.AddBand(btMasterData, "Rows", 50, 20, 0, "frDBDataSet1");
    s.AddText("[Dbf1.\"N\"]", 20, 50, 60);
    s.AddText("c[COLUMN#]r[Dbf1.\"N\"]", 130, 50, 60);
    ASSERT_TRUE(s.Build());
    const std::vector<BuiltPage> pages = s.Pages();
    std::vector<std::vector<std::string>> printed;
    for (const BuiltPage& page : pages) {
      printed.emplace_back();
      for (const Built& b : page) printed.back().push_back(b.text + "@" + std::to_string(b.left));
    }
    EXPECT_EQ(printed, c.pages);
    // Each row's cells stand level with it.
    for (const BuiltPage& page : pages)
      for (const Built* cell : BuildFixture::Objects(page, "c"))
        EXPECT_EQ(cell->top, s.limits_.Top + 20 * (cell->text.back() - '1')) << cell->text;
  }
}

// Each printed object's binding as "Name=Dbf1.FIELD" ("Name=" when unbound).
void BuildBand::CollectBindings(std::vector<std::string>& bindings) {
  report_->OnBeforePrint = [this, &bindings](TStrings*, TfrView* view) {
    bindings.push_back(std::string(view->Name.c_str()) + "=" + (view->DataSet == table_ ? "Dbf1." : "") +
                       view->DataField.c_str());
  };
}

// Objects whose whole text is one field reference are bound to that field
// (so a blob can be loaded into them); others are not.
TEST_F(BuildBand, ObjectsShowingOneFieldAreBoundToIt) {
  Fill(NumberedRows(1));
  AddBand(btMasterData, "Rows", 50, 20, 0, "frDBDataSet1");
  AddText("[Dbf1.\"GRP\"]", 10, 50)->Name = "Field";
  AddText("[\"P\"]", 110, 50)->Name = "OfTheBandsSource";
  AddText("n [Dbf1.\"N\"]", 210, 50)->Name = "Mixed";
  AddText("[Dbf1.\"N\"]", 310, 50, 100, 20, flTextOnly)->Name = "TextOnly";
  AddText("[PAGE#]", 410, 50)->Name = "NoField";
  std::vector<std::string> bindings;
  CollectBindings(bindings);
  ASSERT_TRUE(Build());
  EXPECT_EQ(bindings, (std::vector<std::string>{"Field=Dbf1.GRP", "OfTheBandsSource=Dbf1.P", "Mixed=",
                                                 "TextOnly=", "NoField="}));
}

// A name the dictionary knows binds to the field the dictionary resolved it
// to, also where the band's own source could not resolve it; a variable that
// is no field binds nothing, even when a field of the band has its name.
TEST_F(BuildBand, ObjectsNamingADictionaryFieldAreBoundToIt) {
  Fill(NumberedRows(1));
  TfrDataDictionary& dictionary = report_->Dictionary();
  dictionary.VariableTable.AssignVariable(" Data", Variant(AnsiString()));
  dictionary.VariableTable.AssignVariable("Group", Variant(AnsiString("Dbf1.\"GRP\"")));
  dictionary.VariableTable.AssignVariable("N", Variant(AnsiString("2 * 3")));
  dictionary.AliasTable.AssignVariable("Dbf1.\"P\"", Variant(AnsiString("Pressure")));
  dictionary.AliasTable.AssignVariable("Dbf1", Variant(AnsiString("Table")));
  AddBand(btMasterData, "Rows", 50, 20, 0, "frDBDataSet1");
  AddText("[Group]", 10, 50)->Name = "Variable";
  AddText("[Dbf1.\"Pressure\"]", 110, 50)->Name = "FieldAlias";
  AddText("[Table.\"N\"]", 210, 50)->Name = "DataSetAlias";
  AddText("[N]", 310, 50)->Name = "Expression";
  std::vector<std::string> bindings;
  CollectBindings(bindings);
  ASSERT_TRUE(Build());
  EXPECT_EQ(bindings, (std::vector<std::string>{"Variable=Dbf1.GRP", "FieldAlias=Dbf1.P", "DataSetAlias=Dbf1.N",
                                                 "Expression="}));
}

// A band's script sets the band's own properties while it prints.
TEST_F(BuildBand, BandScriptChangesItsBandWhilePrinting) {
  const struct {
    const char* name;
    const char* script;
    std::vector<std::string> rows;
    std::vector<int> tops;  // of the printed rows, below the top limit
  } cases[] = {
      {"hidden row", "Visible := [Dbf1.\"N\"] <> 2", {"1", "3"}, {0, 20}},
      {"taller rows", "Height := 20 * [Dbf1.\"N\"]", {"1", "2", "3"}, {0, 20, 60}},
      {"property read back", "if Rows.Height = 20 then Height := 35", {"1", "2", "3"}, {0, 35, 70}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    build_test::Scenario s;
    s.Fill(NumberedRows(3));
    TfrBandView* rows = s.AddBand(btMasterData, "Rows", 50, 20, 0, "frDBDataSet1");
    rows->Script.Add((std::string("begin ") + c.script + " end").c_str());
    s.AddText("row [Dbf1.\"N\"]", 10, 50);
    ASSERT_TRUE(s.Build());
    const std::vector<BuiltPage> pages = s.Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(BuildFixture::Texts(pages[0], "row "), c.rows);
    std::vector<int> tops;
    for (const Built* row : BuildFixture::Objects(pages[0], "row ")) tops.push_back(row->top - s.limits_.Top);
    EXPECT_EQ(tops, c.tops);
  }
}

// A script run after a report was freed must not reach its objects or bands.
TEST_F(BuildBand, FreedObjectsAndBandsAreNoLongerCurrent) {
  TfrBuildScope scope(report_, report_->Host());
  TfrBuildContext& build = scope.Context();
  {
    TfrMemoView memo;
    TfrBand band(btMasterData, page_);
    build.CurView = &memo;
    build.CurBand = &band;
  }
  EXPECT_EQ(build.CurView, nullptr);
  EXPECT_EQ(build.CurBand, nullptr);
  // Others stay current.
  TfrMemoView kept;
  build.CurView = &kept;
  { TfrMemoView other; }
  EXPECT_EQ(build.CurView, &kept);
  build.CurView = nullptr;
}

}  // namespace build_band_test

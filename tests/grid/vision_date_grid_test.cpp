// The calendar dropped down from a grid cell of a dBASE table's date field:
// it opens on the cell's date (or today, marked as no date) within the
// vision's bounds, and Today or Clear posts into the table file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <memory>
#include <string>

#include "grid/rs_ctl.h"
#include "grid/rs_date.h"
#include "tests/grid/vision_grid_support.h"

namespace vision_date_grid_test {

// N 1 to 3; D 15 March 2024 in row 1, empty in rows 2 and 3.
std::unique_ptr<TDbf> DateTable(const std::string& folder) {
  auto table = std::make_unique<TDbf>(nullptr);
  table->SetTableLevel(4);
  table->SetExclusive(true);
  table->SetTableName(testsupport::TempDir(folder) + "/dates.dbf");
  table->FieldDefs().AppendNamedDef("N", ftInteger);
  table->FieldDefs().AppendNamedDef("D", ftDate);
  table->CreateTableFile();
  table->Activate();
  for (int n = 1; n <= 3; ++n) {
    table->StartAppend();
    table->FieldNamed("N")->SetIntegerValue(n);
    if (n == 1) table->FieldNamed("D")->SetDateTimeValue(EncodeDate(2024, 3, 15));
    table->CommitRecord();
  }
  table->GoFirst();
  return table;
}

struct CalendarGrid : edit_support::GridForm {
  explicit CalendarGrid(const std::string& folder)
      : GridForm(DateTable(folder), {"N", "D"}), file(edit_support::FileOf(*table)) {
    saved_now = SetNowSource([] { return EncodeDate(2024, 3, 20) + EncodeTime(9, 0, 0, 0); });
    Column("D")->SetVision(&vision);
  }
  ~CalendarGrid() { SetNowSource(saved_now); }

  // Drops the calendar down from row n's cell; while it is open, notes what
  // it shows and clicks Today (today) or Clear.
  void DropDownAndPick(int n, bool today) {
    TgpInplaceEdit* edit = Edit(n, "D");
    ASSERT_NE(edit, nullptr);
    TProdiCalendar& calendar = TDateVision::Calendar();
    QTimer::singleShot(0, [&, today] {
      QApplication::processEvents();
      open = TDateVision::CalendarForm()->IsOpen();
      shown_date = calendar.Date();
      shown_null = calendar.NullDate();
      min_date = calendar.MinDate();
      clear_enabled = calendar.ClearButton() && calendar.ClearButton()->Enabled();
      TButton* button = today ? calendar.TodayButton() : calendar.ClearButton();
      if (button) button->Click();
      if (TDateVision::CalendarForm()->IsOpen()) TDateVision::CalendarForm()->Close(false, false);
    });
    edit->DropDown();
    QApplication::processEvents();
  }
  std::string Read() {
    return vision_support::ReadBack(file, "for r in rows: print(r['D'])\n");
  }

  TDateVision vision{nullptr};
  std::string file;
  TNowSource saved_now;
  bool open = false;
  TDateTime shown_date = 0;
  bool shown_null = false;
  TDateTime min_date = 0;
  bool clear_enabled = false;
};

TEST(DateVisionGrid, ClearInTheCalendarPostsANull) {
  CalendarGrid g("vision_date_clear");
  g.DropDownAndPick(1, false);
  EXPECT_TRUE(g.open);
  EXPECT_EQ(g.shown_date, EncodeDate(2024, 3, 15));
  EXPECT_FALSE(g.shown_null);
  EXPECT_TRUE(g.clear_enabled);
  EXPECT_FALSE(TDateVision::CalendarForm()->IsOpen());
  EXPECT_TRUE(g.table->FieldNamed("D")->HoldsNull());
  g.Close();
  EXPECT_EQ(g.Read(), "None\nNone\nNone\n");
}

TEST(DateVisionGrid, TodayFillsAnEmptyCellWithinTheBounds) {
  CalendarGrid g("vision_date_today");
  g.vision.SetNullable(false);
  g.vision.SetMinDate(EncodeDate(2024, 3, 1));
  g.vision.SetMaxDate(EncodeDate(2024, 3, 31));
  g.DropDownAndPick(2, true);
  EXPECT_TRUE(g.open);
  EXPECT_TRUE(g.shown_null) << "an empty cell opens on today marked as no date";
  EXPECT_EQ(g.shown_date, EncodeDate(2024, 3, 20));
  EXPECT_EQ(g.min_date, EncodeDate(2024, 3, 1));
  EXPECT_FALSE(g.clear_enabled) << "a vision that takes no null";
  EXPECT_FALSE(TDateVision::CalendarForm()->IsOpen());
  EXPECT_EQ(g.table->FieldNamed("D")->GetDateTimeValue(), EncodeDate(2024, 3, 20));
  g.Close();
  EXPECT_EQ(g.Read(), "2024-03-15\n2024-03-20\nNone\n");
}

}  // namespace vision_date_grid_test

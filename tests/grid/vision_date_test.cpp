// The date and time visions: cell and edit texts, typed text taken as a date
// or a time within bounds, posting that keeps the other part of the stored
// value (also before 30 December 1899), and the time vision's spin steps.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "grid/rs_date.h"
#include "grid/rs_str.h"
#include "tests/grid/vision_support.h"

namespace vision_date_test {

using namespace vision_support;

namespace {

TDateTime At(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  const TDateTime date = EncodeDate(y, m, d);
  const TDateTime time = EncodeTime(h, n, s, 0);
  return date < 0 ? date - time : date + time;
}

// One row: D a date-time, T a time, S text.
std::unique_ptr<TMemDataSet> DateData(bool null_value, TDateTime value) {
  auto ds = std::make_unique<TMemDataSet>(nullptr);
  ds->FieldDefs().AppendNamedDef("D", ftDateTime);
  ds->FieldDefs().AppendNamedDef("T", ftTime);
  ds->FieldDefs().AppendNamedDef("S", ftString, 10);
  ds->Activate();
  ds->StartAppend();
  if (!null_value) ds->FieldNamed("D")->SetDateTimeValue(value);
  ds->CommitRecord();
  ds->GoFirst();
  return ds;
}

template <class V>
struct Fixture : VisionFixture<V> {
  explicit Fixture(TDataSet* ds, const char* field = "D") : VisionFixture<V>(ds, field) {}
};

TEST(DateVision, CellAndEditTextsFollowTheFormats) {
  const struct {
    const char* what;
    bool null_value;
    TDateTime value;
    TvpDisplayFormatKind kind;
    const char* consumer_format;
    const char* display;  // nullptr: the field's own display text
    const char* edit;
  } cases[] = {
      {"no format: the field's text, the date part to edit", false, At(2024, 3, 15, 10, 30), dfkDefault, "", nullptr,
       "15.03.2024"},
      {"the short date format", false, At(2024, 3, 15, 10, 30), dfkShort, "", "15.03.2024", "15.03.2024"},
      {"the consumer's format wins", false, At(2024, 3, 15, 10, 30), dfkShort, "yyyy", "2024", "15.03.2024"},
      {"the base date under a format shows nothing", false, 0, dfkShort, "", "", "30.12.1899"},
      {"a date before the base date", false, At(1899, 12, 29, 6), dfkShort, "", "29.12.1899", "29.12.1899"},
      {"null", true, 0, dfkShort, "", "", ""},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    auto ds = DateData(t.null_value, t.value);
    Fixture<TDateVision> f(ds.get());
    f.vision.SetDisplayFormatKind(t.kind);
    f.c.Fields.SetDisplayFormat(t.consumer_format);
    const AnsiString display = t.display ? AnsiString(t.display) : ds->FieldNamed("D")->FormatForDisplay(true);
    EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), display);
    EXPECT_EQ(f.vision.FieldsText(f.c.Fields, false), t.edit);
  }
}

TEST(TimeVision, MidnightIsShownAndOnlyANullIsBlank) {
  const struct {
    const char* what;
    bool null_value;
    TDateTime value;
    TvpTimeEditFormatKind edit_kind;
    TvpDisplayFormatKind kind;
    const char* display;
    const char* edit;
  } cases[] = {
      {"hours and minutes", false, At(2024, 3, 15, 10, 30, 15), tefHhMm, dfkShort, "10:30", "10:30"},
      {"with seconds", false, At(2024, 3, 15, 10, 30, 15), tefHhMmSs, dfkLong, "10:30:15", "10:30:15"},
      {"hours only", false, At(2024, 3, 15, 10, 30, 15), tefHh, dfkShort, "10:30", "10"},
      {"the base date at midnight", false, 0, tefHhMm, dfkShort, "00:00", "00:00"},
      {"midnight of another day", false, At(2024, 3, 15), tefHhMm, dfkShort, "00:00", "00:00"},
      {"a time before the base date", false, At(1899, 12, 29, 6, 15), tefHhMm, dfkShort, "06:15", "06:15"},
      {"null", true, 0, tefHhMm, dfkShort, "", ""},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    auto ds = DateData(t.null_value, t.value);
    Fixture<TTimeVision> f(ds.get());
    f.vision.SetEditFormatKind(t.edit_kind);
    f.vision.SetDisplayFormatKind(t.kind);
    EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), t.display);
    EXPECT_EQ(f.vision.FieldsText(f.c.Fields, false), t.edit);
  }
}

TEST(DateTimeVision, AConsumerWithoutAFieldTakesItsValueFromOnGetValue) {
  auto ds = DateData(false, 0);
  Fixture<TDateVision> f(ds.get(), "NOPE");
  EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), "") << "no handler: nothing to show";
  f.vision.OnGetValue = [](TvpFieldVision*, TgpFieldList&, TDateTime& value, bool&) { value = At(2024, 3, 15, 7); };
  EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), "15.03.2024");
  Fixture<TTimeVision> g(ds.get(), "NOPE");
  g.vision.OnGetValue = [](TvpFieldVision*, TgpFieldList&, TDateTime& value, bool&) { value = 0; };
  EXPECT_EQ(g.vision.FieldsText(g.c.Fields, true), "00:00");
  g.vision.OnGetValue = [](TvpFieldVision*, TgpFieldList&, TDateTime&, bool& is_null) { is_null = true; };
  EXPECT_EQ(g.vision.FieldsText(g.c.Fields, true), "");
}

TEST(DateTimeVision, ShowsDateTimeFieldsOnly) {
  auto ds = DateData(false, 0);
  const struct {
    const char* field;
    bool active;
  } cases[] = {{"D", true}, {"T", true}, {"S", false}, {"NOPE", true}, {"", false}};
  for (const auto& t : cases) {
    SCOPED_TRACE(t.field);
    Fixture<TDateVision> f(ds.get(), t.field);
    bool active = !t.active;
    f.vision.CanShow(f.c.Fields, active);
    EXPECT_EQ(active, t.active);
  }
}

TEST(DateTimeVision, BoundsStayOrderedADayApart) {
  TDateVision date(nullptr);
  date.SetMaxDate(At(2024, 3, 10, 15));
  EXPECT_EQ(date.MaxDate(), At(2024, 3, 10)) << "the date part";
  date.SetMinDate(At(2024, 3, 20));
  EXPECT_EQ(date.MaxDate(), At(2024, 3, 21));
  date.SetMaxDate(At(2024, 3, 1));
  EXPECT_EQ(date.MinDate(), At(2024, 2, 29));
  date.SetMinDate(0);
  date.SetMaxDate(At(2000, 1, 1));
  EXPECT_EQ(date.MinDate(), 0) << "no lower bound to move";
  TTimeVision time(nullptr);
  time.SetMinTime(At(2024, 3, 10, 8));
  EXPECT_NEAR(time.MinTime(), EncodeTime(8, 0, 0, 0), 1e-9) << "the time part";
}

// Posting text typed over a field holding stored (null_value: nothing).
struct PostCase {
  const char* what;
  bool null_value;
  TDateTime stored;
  const char* text;
  bool keep_other_part;
  const char* message;  // empty: posted
  bool null_posted;
  TDateTime posted;
};

template <class V>
void RunPostCases(const PostCase* cases, size_t count, const std::function<void(V&, bool)>& set_up) {
  for (size_t i = 0; i < count; ++i) {
    const PostCase& t = cases[i];
    SCOPED_TRACE(t.what);
    auto ds = DateData(t.null_value, t.stored);
    Fixture<V> f(ds.get());
    set_up(f.vision, t.keep_other_part);
    EditStandIn edit(f.c);
    f.vision.LoadEditValue(edit);
    edit.Text = t.text;
    edit.Value.TextModified = true;
    ASSERT_TRUE(f.c.Fields.StartEdit(true));
    TField* d = ds->FieldNamed("D");
    if (*t.message) {
      try {
        f.vision.PostEditValue(edit, false);
        ADD_FAILURE() << "posted";
      } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), t.message);
      }
      EXPECT_EQ(d->HoldsNull(), t.null_value) << "nothing reached the field";
      if (!t.null_value) {
        EXPECT_DOUBLE_EQ(d->GetDateTimeValue(), t.stored);
      }
    } else {
      EXPECT_TRUE(f.vision.PostEditValue(edit, false));
      EXPECT_EQ(d->HoldsNull(), t.null_posted);
      if (!t.null_posted) {
        EXPECT_NEAR(d->GetDateTimeValue(), t.posted, 1e-9);
      }
    }
  }
}

TEST(DateVision, TypedDatesKeepTheStoredTimeOrAreRefusedWithTheReason) {
  const PostCase cases[] = {
      {"the time of day is kept", false, At(2024, 3, 15, 10, 30), "20.03.2024", true, "", false,
       At(2024, 3, 20, 10, 30)},
      {"without SaveTime the time becomes midnight", false, At(2024, 3, 15, 10, 30), "20.03.2024", false, "", false,
       At(2024, 3, 20)},
      {"a null field has no time to keep", true, 0, "15.03.2024", true, "", false, At(2024, 3, 15)},
      {"the lower bound itself", false, At(2024, 3, 15), "01.03.2024", true, "", false, At(2024, 3, 1)},
      {"before the lower bound", false, At(2024, 3, 15), "28.02.2024", true,
       "\"28.02.2024\" is out of range. Value must be more than 01.03.2024", false, 0},
      {"after the upper bound", false, At(2024, 3, 15), "01.04.2024", true,
       "\"01.04.2024\" is out of range. Value must be less than 31.03.2024", false, 0},
      {"blank when nullable posts a null", false, At(2024, 3, 15), "", true, "", true, 0},
      {"no date", false, At(2024, 3, 15), "31.02.2024", true, "'31.02.2024' is not a valid date and time", false, 0},
  };
  RunPostCases<TDateVision>(cases, std::size(cases), [](TDateVision& v, bool keep) {
    v.SetSaveTime(keep);
    v.SetMinDate(At(2024, 3, 1));
    v.SetMaxDate(At(2024, 3, 31));
  });
  const PostCase unbounded[] = {
      {"a date before the base date keeps its time", false, At(2024, 3, 15, 6), "28.12.1899", true, "", false,
       At(1899, 12, 28, 6)},
      {"a stored date before the base date lends its time", false, At(1899, 12, 29, 6), "15.03.2024", true, "",
       false, At(2024, 3, 15, 6)},
  };
  RunPostCases<TDateVision>(unbounded, std::size(unbounded), [](TDateVision&, bool) {});
  const PostCase not_nullable[] = {
      {"blank when not nullable", false, At(2024, 3, 15), "", true,
       "Input value can not be blank. Please input valid date value", false, 0},
  };
  RunPostCases<TDateVision>(not_nullable, 1, [](TDateVision& v, bool) { v.SetNullable(false); });
}

TEST(TimeVision, TypedTimesKeepTheStoredDateOnItsSideOfTheBaseDate) {
  const PostCase cases[] = {
      {"the date is kept", false, At(2024, 3, 15, 10, 30), "08:15", true, "", false, At(2024, 3, 15, 8, 15)},
      {"without SaveDate only the time", false, At(2024, 3, 15, 10, 30), "08:15", false, "", false,
       EncodeTime(8, 15, 0, 0)},
      {"before the earliest time", false, At(2024, 3, 15, 10, 30), "07:59", true,
       "\"07:59\" is out of range. Value must be more than 08:00:00", false, 0},
      {"after the latest time", false, At(2024, 3, 15, 10, 30), "18:01", true,
       "\"18:01\" is out of range. Value must be less than 18:00:00", false, 0},
      {"a blank mask posts a null", false, At(2024, 3, 15, 10, 30), "  :  ", true, "", true, 0},
  };
  RunPostCases<TTimeVision>(cases, std::size(cases), [](TTimeVision& v, bool keep) {
    v.SetSaveDate(keep);
    v.SetMinTime(EncodeTime(8, 0, 0, 0));
    v.SetMaxTime(EncodeTime(18, 0, 0, 0));
  });
  const PostCase before_base[] = {
      {"a date before the base date keeps its day", false, At(1899, 12, 29, 6), "08:00", true, "", false,
       At(1899, 12, 29, 8)},
      {"long before the base date", false, At(1800, 1, 1, 23), "01:30", true, "", false, At(1800, 1, 1, 1, 30)},
      {"midnight on a stored day", false, At(2024, 3, 15, 10, 30), "00:00", true, "", false, At(2024, 3, 15)},
  };
  RunPostCases<TTimeVision>(before_base, std::size(before_base), [](TTimeVision&, bool) {});
  const PostCase hours[] = {
      {"an hours-only edit", false, At(2024, 3, 15, 10, 30), "07", true, "", false, At(2024, 3, 15, 7)},
  };
  RunPostCases<TTimeVision>(hours, 1, [](TTimeVision& v, bool) { v.SetEditFormatKind(tefHh); });
}

TEST(TimeVision, EditMasksFollowTheEditFormat) {
  auto ds = DateData(false, 0);
  const struct {
    TvpTimeEditFormatKind kind;
    const char* own_mask;
    const char* mask;
  } cases[] = {{tefHhMmSs, "", "!99:99:99;1;0"},
               {tefHhMm, "", "!99:99;1;0"},
               {tefHh, "", "!99;1;0"},
               {tefDefault, "", ""},
               {tefDefault, "99", "99"}};
  for (const auto& t : cases) {
    Fixture<TTimeVision> f(ds.get());
    f.vision.SetEditFormatKind(t.kind);
    f.vision.SetEditMask(t.own_mask);
    AnsiString mask;
    f.vision.GetEditMask(f.c.Fields, mask);
    EXPECT_EQ(mask, t.mask);
  }
}

TEST(TimeVision, SpinStepsThePartUnderTheCaretWithinTheBounds) {
  const auto secs = [](int h, int n, int s) { return h * 3600 + n * 60 + s; };
  const struct {
    const char* what;
    int min, max;  // seconds; 0: none
    int x, caret;
    bool up;
    int after, part;
  } cases[] = {
      {"caret in the hours", 0, 0, secs(10, 30, 0), 1, true, secs(11, 30, 0), 0},
      {"caret at 2 is still the hours", 0, 0, secs(10, 30, 0), 2, false, secs(9, 30, 0), 0},
      {"caret in the minutes", 0, 0, secs(10, 30, 0), 4, true, secs(10, 31, 0), 1},
      {"caret in the seconds", 0, 0, secs(10, 30, 0), 7, false, secs(10, 29, 59), 2},
      {"23:59 shows 23:59 still without an upper bound", 0, 0, secs(23, 59, 0), 4, true, secs(23, 59, 59), 1},
      {"23:59:59 stays", 0, 0, secs(23, 59, 59), 4, true, secs(23, 59, 59), 1},
      {"an hour up is capped at 23:59:59", 0, 0, secs(23, 30, 0), 0, true, secs(23, 59, 59), 0},
      {"midnight does not go below itself", 0, 0, 0, 4, false, 0, 1},
      {"below the lower bound jumps to it", secs(8, 0, 0), 0, secs(7, 0, 0), 4, true, secs(8, 0, 0), 1},
      {"down stops at the lower bound", secs(8, 0, 0), 0, secs(8, 30, 0), 0, false, secs(8, 0, 0), 0},
      {"above the upper bound jumps to it", 0, secs(18, 0, 0), secs(19, 0, 0), 4, false, secs(18, 0, 0), 1},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    TTimeVision v(nullptr);
    v.SetMinTime(t.min / 86400.0);
    v.SetMaxTime(t.max / 86400.0);
    int x = t.x, part = -1;
    EXPECT_EQ(v.StepTime(x, t.caret, t.up, part), t.after != t.x);
    EXPECT_EQ(x, t.after);
    EXPECT_EQ(part, t.part);
  }
}

TEST(TimeVision, ASpinClickPutsTheSteppedTimeIntoTheEdit) {
  auto ds = DateData(false, At(2024, 3, 15, 10, 30));
  Fixture<TTimeVision> f(ds.get());
  EXPECT_EQ(f.vision.ButtonStyle(), pbsSpin);
  EditStandIn edit(f.c);
  const struct {
    TvpTimeEditFormatKind kind;
    const char* text;
    TfvButtonClickKind click;
    const char* after;
  } cases[] = {
      {tefHhMm, "10:30", bckClick, "11:30"},   {tefHhMm, "10:30", bckKeySpinDown, "09:30"},
      {tefHhMm, "  :  ", bckClick, "01:00"},   {tefHh, "07", bckKeyToggle, "08"},
      {tefHhMmSs, "23:59:59", bckClick, "23:59:59"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.text);
    f.vision.SetEditFormatKind(t.kind);
    edit.Text = t.text;
    edit.Value.TextModified = false;
    f.vision.DoButtonClick(edit, t.click);
    EXPECT_EQ(edit.Text, t.after);
    EXPECT_EQ(edit.Value.TextModified, std::string(t.text) != t.after);
  }
  f.vision.SetEditFormatKind(tefDefault);
  edit.Text = "10:30";
  f.vision.DoButtonClick(edit, bckClick);
  EXPECT_EQ(edit.Text, "10:30") << "no edit format: no steps";
}

TEST(DateVision, DropsTheSharedCalendarDown) {
  TDateVision a(nullptr), b(nullptr);
  ASSERT_NE(a.GetDropDown(), nullptr);
  EXPECT_EQ(a.GetDropDown(), b.GetDropDown());
  EXPECT_EQ(a.GetDropDown(), TDateVision::CalendarForm());
  EXPECT_TRUE(TDateVision::CalendarForm()->Options().Contains(tfoFocusable));
  EXPECT_EQ(TTimeVision(nullptr).GetDropDown(), nullptr);
}

}  // namespace

}  // namespace vision_date_test

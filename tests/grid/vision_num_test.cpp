// The numeric vision: cell and edit texts through formats, typed text taken
// as a number within the vision's bounds, spin steps, and posting into a
// dBASE table read back by an independent reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "grid/rs_num.h"
#include "grid/rs_str.h"
#include "tests/grid/vision_support.h"
#include "toolkit/core/text.h"

namespace vision_num_test {

using namespace vision_support;

namespace {

// A numeric vision on the P column of the sample rows.
struct NumericFixture : VisionFixture<TNumericVision> {
  explicit NumericFixture(TDataSet* ds, const char* field = "P") : VisionFixture(ds, field) {}
};

TEST(NumericVision, CellTextFollowsTheFormatOfConsumerThenVisionThenField) {
  auto ds = MemData();  // row 1: P 12.5
  const struct {
    const char* what;
    const char* vision_display;
    const char* consumer_display;
    const char* vision_edit;
    const char* display;
    const char* edit;
  } cases[] = {
      {"no format: the field's own texts", "", "", "", "12,5", "12,5"},
      {"the vision's display format", "0.000", "", "", "12,500", "12,5"},
      {"the consumer's format wins", "0.000", "0.0", "", "12,5", "12,5"},
      {"the vision's edit format", "", "", "0.00", "12,5", "12,50"},
      {"a whole-number format rounds", "0", "", "", "13", "12,5"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    NumericFixture f(ds.get());
    f.vision.SetDisplayFormat(t.vision_display);
    f.vision.SetEditFormat(t.vision_edit);
    f.c.Fields.SetDisplayFormat(t.consumer_display);
    EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), t.display);
    EXPECT_EQ(f.vision.FieldsText(f.c.Fields, false), t.edit);
  }
}

TEST(NumericVision, TheApplicationsFormatShowsThreeDecimalsAndANullShowsNothing) {
  auto ds = MemData();
  NumericFixture f(ds.get());
  f.vision.SetDisplayFormat("0.000");
  ds->StartEdit();
  ds->FieldNamed("P")->SetFloatValue(12.3456);
  ds->CommitRecord();
  EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), "12,346");
  ds->GoNext();  // row 2: P null
  EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), "");
  EXPECT_EQ(f.vision.FieldsText(f.c.Fields, false), "");
}

TEST(NumericVision, ShowsOnlyNumericFieldsAndAlignsRight) {
  auto ds = MemData();
  const struct {
    const char* field;
    bool active;
  } cases[] = {{"P", true}, {"N", true}, {"NAME", false}, {"NOTE", false}, {"NOPE", true}, {"", false}};
  for (const auto& t : cases) {
    SCOPED_TRACE(t.field);
    NumericFixture f(ds.get(), t.field);
    EXPECT_EQ(f.c.Fields.Active(), t.active);
  }
  NumericFixture f(ds.get());
  EXPECT_EQ(f.c.Fields.Alignment(), taRightJustify);
}

TEST(NumericVision, AConsumerWithoutAFieldTakesItsNumberFromOnGetValue) {
  auto ds = MemData();
  NumericFixture f(ds.get(), "NOPE");
  EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), "") << "no event: null";
  f.vision.OnGetValue = [](TvpFieldVision*, TgpFieldList&, double& value, bool&) { value = 0.1 + 0.2; };
  EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), "0,3");
  f.vision.SetDisplayFormat("0.00");
  EXPECT_EQ(f.vision.FieldsText(f.c.Fields, true), "0,30");
}

// What posting typed text does: the value that reaches the field, or the
// message that says why nothing did.
TEST(NumericVision, TypedTextIsPostedOrRefusedWithTheReason) {
  const struct {
    const char* what;
    const char* text;
    double min, max;
    bool nullable;
    const char* message;  // empty: posted
    bool null_posted;
    double posted;
  } cases[] = {
      {"a number in the locale's format", "12,5", 0, 0, true, "", false, 12.5},
      {"a negative number", "-3", 0, 0, true, "", false, -3},
      {"the upper bound itself", "10", 0, 10, true, "", false, 10},
      {"past the upper bound", "11", 0, 10, true, "\"11\" is out of range. The allowed range is 0 to 10", false, 0},
      {"below the lower bound", "-6", -5, 0, true, "\"-6\" is out of range. The allowed range is -5 to 0", false,
       0},
      {"a range from -5 to 0 is in force", "0,5", -5, 0, true,
       "\"0,5\" is out of range. The allowed range is -5 to 0", false, 0},
      {"both bounds 0 is no range", "1000000", 0, 0, true, "", false, 1e6},
      {"fractional bounds", "2,75", 0.5, 2.5, true, "\"2,75\" is out of range. The allowed range is 0,5 to 2,5",
       false, 0},
      {"a point is not the separator", "12.5", 0, 0, true, "\"12.5\" is not a valid numeric value", false, 0},
      {"letters", "abc", 0, 0, true, "\"abc\" is not a valid numeric value", false, 0},
      {"not a number is no number", "nan", 0, 0, true, "\"nan\" is not a valid numeric value", false, 0},
      {"infinity is no number", "inf", 0, 0, true, "\"inf\" is not a valid numeric value", false, 0},
      {"blank when nullable posts a null", "", 0, 0, true, "", true, 0},
      {"blank when not nullable", "", 0, 0, false,
       "Input value can not be blank. Please input valid numeric value", false, 0},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    auto ds = MemData();  // row 1: P 12.5
    ds->StartEdit();
    ds->FieldNamed("P")->SetFloatValue(7);
    ds->CommitRecord();
    NumericFixture f(ds.get());
    f.vision.SetMinValue(t.min);
    f.vision.SetMaxValue(t.max);
    f.vision.SetNullable(t.nullable);
    EditStandIn edit(f.c);
    f.vision.LoadEditValue(edit);
    edit.Text = t.text;
    edit.Value.TextModified = true;
    ASSERT_TRUE(f.c.Fields.StartEdit(true));
    if (*t.message) {
      try {
        f.vision.PostEditValue(edit, false);
        ADD_FAILURE() << "posted";
      } catch (const ERSError& e) {
        EXPECT_EQ(e.Message(), t.message);
      }
      EXPECT_DOUBLE_EQ(ds->FieldNamed("P")->GetFloatValue(), 7) << "nothing reached the field";
      EXPECT_TRUE(f.c.Fields.Modified()) << "the user can correct the text";
      EXPECT_EQ(std::count(f.c.Trace.begin(), f.c.Trace.end(), "ValuePosted"), 0);
    } else {
      EXPECT_TRUE(f.vision.PostEditValue(edit, false));
      TField* p = ds->FieldNamed("P");
      EXPECT_EQ(p->HoldsNull(), t.null_posted);
      if (!t.null_posted) {
        EXPECT_DOUBLE_EQ(p->GetFloatValue(), t.posted);
      }
    }
  }
}

TEST(NumericVision, SpinStepsKeepInsideTheRangeAsTheButtonsDo) {
  const struct {
    const char* what;
    double min, max, step;
    double from;
    bool up;
    bool moves;
    double to;
  } cases[] = {
      {"no range: up by the step", 0, 0, 1, 9.5, true, true, 10.5},
      {"no range: down by the step", 0, 0, 0.5, 1, false, true, 0.5},
      {"below the maximum: one step, even past it", 0, 10, 1, 9.5, true, true, 10.5},
      {"at or above the maximum: stays", 0, 10, 1, 10.5, true, false, 10.5},
      {"below the minimum: straight to the minimum", 5, 10, 1, 2, true, true, 5},
      {"above the maximum going down: straight to the maximum", 0, 10, 1, 25, false, true, 10},
      {"at the minimum going down: stays", 5, 10, 1, 5, false, false, 5},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    TNumericVision vision(nullptr);
    vision.SetMinValue(t.min);
    vision.SetMaxValue(t.max);
    vision.SetStep(t.step);
    double x = t.from;
    EXPECT_EQ(vision.StepNumber(x, t.up), t.moves);
    EXPECT_DOUBLE_EQ(x, t.to);
  }
}

TEST(NumericVision, ASpinButtonClickPutsTheSteppedNumberIntoTheEdit) {
  auto ds = MemData();
  NumericFixture f(ds.get());
  f.vision.SetButtonStyle(pbsSpin);
  f.vision.SetEnableButton(true);
  EditStandIn edit(f.c);
  const struct {
    const char* text;
    TfvButtonClickKind kind;
    const char* after;
  } cases[] = {
      {"9,5", bckClick, "10,5"},   {"9,5", bckKeyToggle, "10,5"}, {"9,5", bckSpinDown, "8,5"},
      {"9,5", bckKeySpinDown, "8,5"}, {"", bckClick, "1"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.text);
    edit.Text = t.text;
    edit.Value.TextModified = false;
    f.vision.DoButtonClick(edit, t.kind);
    EXPECT_EQ(edit.Text, t.after);
    EXPECT_TRUE(edit.Value.TextModified);
  }
  edit.Text = "x";
  EXPECT_THROW(f.vision.DoButtonClick(edit, bckClick), EConvertError);
  EXPECT_EQ(f.vision.ButtonClickKind(), bckNone);
}

TEST(NumericVision, TheEditValueIsAFloatCopiedFromTheField) {
  auto ds = MemData();
  NumericFixture f(ds.get());
  EditStandIn edit(f.c);
  f.vision.LoadEditValue(edit);
  EXPECT_EQ(edit.Value.DataType(), ftFloat);
  EXPECT_DOUBLE_EQ(edit.Value.AsFloat(), 12.5);
  EXPECT_FALSE(edit.Value.Changed);
  ds->GoNext();
  f.vision.LoadEditValue(edit);
  EXPECT_TRUE(edit.Value.IsNull());
}

TEST(NumericVision, ChoosingAnotherToolFormMakesTheDropDownTheUsers) {
  TNumericVision vision(nullptr);
  vision.SetDropDownKind(ndkCalculator);
  EXPECT_EQ(vision.GetDropDown(), TNumericVision::Calculator());
  TVisionToolForm own(nullptr);
  vision.SetDropDown(&own);
  EXPECT_EQ(vision.DropDownKind(), ndkCustom);
  EXPECT_EQ(vision.GetDropDown(), &own);
  vision.SetDropDown(nullptr);
}

// Posting through the vision into a dBASE table, read back by dbfread.
TEST(NumericVision, PostedNumbersReachTheTableFileAndARefusedOneDoesNot) {
  const std::string folder = "vision_num_dbf";
  std::string file;
  {
    auto t = DbfData(folder);
    file = t->FilePathFull() + "/" + t->TableName();
    NumericFixture f(t.get());
    f.vision.SetMaxValue(100);
    EditStandIn edit(f.c);
    for (const char* text : {"12,5", "250"}) {
      f.vision.LoadEditValue(edit);
      edit.Text = text;
      edit.Value.TextModified = true;
      ASSERT_TRUE(f.c.Fields.StartEdit(true));
      try {
        f.vision.PostEditValue(edit, false);
      } catch (const ERSError&) {
        t->DiscardChanges();
        f.c.Fields.SetModified(false);
      }
      if (t->CurrentMode() != dsBrowse) t->CommitRecord();
      t->GoNext();
    }
    t->Deactivate();
  }
  const std::string out = ReadBack(file, "for r in rows: print(r['P'])\n");
  EXPECT_EQ(out, "12.5\nNone\n-3.25\n") << "row 1 took 12,5; row 2 refused 250 and kept its null";
}

}  // namespace

}  // namespace vision_num_test

// The check box vision: the state a field shows, toggling it through an
// edit (logical fields and fields read through value lists), the handlers
// that may change or stop a toggle, and the box it paints.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "grid/rs_chk.h"
#include "tests/grid/vision_support.h"
#include "toolkit/gfx/metafile.h"

namespace vision_check_test {

using namespace vision_support;

namespace {

// A data set of one logical, one integer and one text field, one row.
std::unique_ptr<TMemDataSet> SwitchData() {
  auto ds = std::make_unique<TMemDataSet>(nullptr);
  ds->FieldDefs().AppendNamedDef("B", ftBoolean);
  ds->FieldDefs().AppendNamedDef("I", ftInteger);
  ds->FieldDefs().AppendNamedDef("S", ftString, 10);
  ds->Activate();
  ds->StartAppend();
  ds->CommitRecord();
  return ds;
}

struct CheckFixture {
  CheckFixture(TDataSet* ds, const char* field) : edit(c) {
    source.SetDataSet(ds);
    link.ChangeDataSource(&source);
    c.Fields.SetDataLink(&link);
    c.Fields.SetVision(&vision);
    c.Fields.SetFieldName(field);
    c.Bind(ds);
  }
  // Toggles as the in-cell switch does: editing starts, the vision switches
  // inside one value change.
  bool Switch() {
    vision.LoadEditValue(edit);
    if (!c.Fields.StartEdit(false)) return false;
    c.Fields.BeginValueChange();
    bool changed = true;
    vision.SwitchByKey(edit, changed);
    c.Fields.EndValueChange(changed);
    return changed;
  }
  TDataSource source{nullptr};
  TDataLink link;
  TCheckBoxVision vision{nullptr};
  RecordingConsumer c;
  EditStandIn edit;
};

const char* StateName(TcbvState s) {
  return s == cbvChecked ? "checked" : s == cbvUnChecked ? "unchecked" : "grayed";
}

TEST(CheckBoxVision, StateOfLogicalFieldsAndOfTextsInTheValueLists) {
  auto ds = SwitchData();
  const struct {
    const char* what;
    const char* field;
    const char* value;  // nullptr: null
    const char* checked;
    const char* unchecked;
    TcbvState show_null_as;
    TcbvState state;
  } cases[] = {
      {"logical true", "B", "True", "", "", cbvGrayed, cbvChecked},
      {"logical false", "B", "False", "", "", cbvGrayed, cbvUnChecked},
      {"null logical shows ShowNullAs", "B", nullptr, "", "", cbvUnChecked, cbvUnChecked},
      {"null integer shows ShowNullAs", "I", nullptr, "1", "0", cbvGrayed, cbvGrayed},
      {"integer 1", "I", "1", "1", "0", cbvGrayed, cbvChecked},
      {"integer 0", "I", "0", "1", "0", cbvGrayed, cbvUnChecked},
      {"integer in no list", "I", "5", "1", "0", cbvGrayed, cbvGrayed},
      {"any text of the list, any case", "S", "yes", "Y;YES;Да", "N", cbvGrayed, cbvChecked},
      {"Cyrillic texts fold case too", "S", "да", "Y;YES;Да", "N", cbvGrayed, cbvChecked},
      {"the unchecked list", "S", "n", "Y", "N", cbvGrayed, cbvUnChecked},
      {"empty lists", "S", "Y", "", "", cbvGrayed, cbvGrayed},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    ds->StartEdit();
    TField* field = ds->FieldNamed(t.field);
    if (t.value)
      field->AcceptText(Utf8ToAnsi(t.value));
    else
      field->ClearValue();
    ds->CommitRecord();
    CheckFixture f(ds.get(), t.field);
    f.vision.SetValueChecked(Utf8ToAnsi(t.checked));
    f.vision.SetValueUnChecked(t.unchecked);
    f.vision.SetShowNullAs(t.show_null_as);
    EXPECT_STREQ(StateName(f.vision.GetState(f.c.Fields)), StateName(t.state));
  }
}

TEST(CheckBoxVision, TogglesThroughTheStatesAndWritesTheFirstTextOfAList) {
  const struct {
    const char* what;
    const char* field;
    const char* before;  // nullptr: null
    bool allow_grayed;
    const char* after;  // nullptr: null
  } cases[] = {
      {"logical checked to unchecked", "B", "True", false, "False"},
      {"logical unchecked to checked", "B", "False", false, "True"},
      {"null logical (grayed) to checked", "B", nullptr, false, "True"},
      {"with grayed allowed, unchecked to grayed: null", "B", "False", true, nullptr},
      {"integer grayed writes the checked text", "I", "5", false, "1"},
      {"integer checked to unchecked", "I", "1", false, "0"},
      {"integer unchecked to grayed: the grayed list is empty", "I", "0", true, nullptr},
      {"text in the checked list writes the first unchecked", "S", "y", false, "N"},
      {"text unchecked writes the first checked", "S", "нет", false, "Y"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    auto ds = SwitchData();
    ds->StartEdit();
    if (t.before) ds->FieldNamed(t.field)->AcceptText(Utf8ToAnsi(t.before));
    ds->CommitRecord();
    CheckFixture f(ds.get(), t.field);
    if (std::string(t.field) == "I") {
      f.vision.SetValueChecked("1");
      f.vision.SetValueUnChecked("0");
    } else {
      f.vision.SetValueChecked("Y;YES");
      f.vision.SetValueUnChecked(Utf8ToAnsi("N;нет"));
    }
    f.vision.SetAllowGrayed(t.allow_grayed);
    EXPECT_TRUE(f.Switch());
    TField* field = ds->FieldNamed(t.field);
    if (t.after)
      EXPECT_EQ(AnsiToUtf8(field->FormatForDisplay(false)), t.after);
    else
      EXPECT_TRUE(field->HoldsNull());
    EXPECT_EQ(std::count(f.c.Trace.begin(), f.c.Trace.end(), "ValuePosted"), 1);
  }
}

TEST(CheckBoxVision, OnSetStateMayChangeTheNewStateOrKeepTheField) {
  auto ds = SwitchData();
  CheckFixture f(ds.get(), "B");
  f.vision.OnSetState = [](TvpFieldVision*, TgpFieldList&, TcbvState&, bool& do_post) { do_post = false; };
  EXPECT_FALSE(f.Switch()) << "nothing posted, and the switch says so";
  EXPECT_TRUE(ds->FieldNamed("B")->HoldsNull());
  EXPECT_EQ(std::count(f.c.Trace.begin(), f.c.Trace.end(), "ValuePosted"), 0);

  f.vision.OnSetState = [](TvpFieldVision*, TgpFieldList&, TcbvState& state, bool&) { state = cbvUnChecked; };
  EXPECT_TRUE(f.Switch());
  EXPECT_EQ(ds->FieldNamed("B")->FormatForDisplay(false), "False");
}

TEST(CheckBoxVision, AReadOnlyDataSetIsNotToggled) {
  auto ds = SwitchData();
  CheckFixture f(ds.get(), "B");
  f.vision.SetReadOnly(true);
  EXPECT_FALSE(f.Switch());
  EXPECT_TRUE(ds->FieldNamed("B")->HoldsNull());
}

TEST(CheckBoxVision, OnlySpaceWithoutModifiersAndAnyPointSwitch) {
  auto ds = SwitchData();
  CheckFixture f(ds.get(), "B");
  const struct {
    uint16_t key;
    TShiftState shift;
    bool allowed;
  } cases[] = {{VK_SPACE, {}, true},          {VK_SPACE, {ssShift}, false}, {VK_SPACE, {ssCtrl}, false},
               {VK_SPACE, {ssAlt}, false},    {VK_RETURN, {}, false},       {'X', {}, false}};
  for (const auto& t : cases) {
    bool allowed = !t.allowed;
    f.vision.CanSwitchByKey(f.edit, t.key, allowed, t.shift);
    EXPECT_EQ(allowed, t.allowed) << t.key;
  }
  bool allowed = false;
  f.vision.CanSwitchAt(f.edit, 3, allowed, {}, 4);
  EXPECT_TRUE(allowed);
  EXPECT_TRUE(f.vision.SwitchCell());
  EXPECT_TRUE(f.vision.SelfDrawn());
  EXPECT_FALSE(f.vision.WantArrows());
}

TEST(CheckBoxVision, ShowsAnyFieldButABlob) {
  auto ds = MemData();
  for (const auto& [field, active] : {std::pair{"N", true}, {"NAME", true}, {"NOTE", false}, {"NOPE", false}}) {
    CheckFixture f(ds.get(), field);
    EXPECT_EQ(f.c.Fields.Active(), active) << field;
  }
}

// The box is painted centred in the cell (13 × 13), with the flat style's
// shadow frame; a checked box carries its mark, an unchecked one does not.
TEST(CheckBoxVision, PaintsTheBoxCentredWithItsMark) {
  auto ds = SwitchData();
  CheckFixture f(ds.get(), "B");
  TBitmap bitmap;
  bitmap.SetSize(41, 21);
  for (const bool checked : {true, false}) {
    SCOPED_TRACE(checked);
    ds->StartEdit();
    ds->FieldNamed("B")->SetBooleanValue(checked);
    ds->CommitRecord();
    TCanvas& canvas = bitmap.Canvas();
    canvas.Brush().SetColor(clWhite);
    canvas.Brush().SetStyle(bsSolid);
    canvas.FillRect(Rect(0, 0, 41, 21));
    f.edit.Inplace = true;
    f.vision.PaintEdit(f.edit, canvas, Rect(0, 0, 41, 21));
    // Box from (14, 4) to (27, 17): the flat frame in the shadow colour.
    EXPECT_EQ(ColorToRGB(canvas.Pixel(14, 4)), ColorToRGB(clBtnShadow));
    EXPECT_EQ(ColorToRGB(canvas.Pixel(26, 16)), ColorToRGB(clBtnShadow));
    EXPECT_EQ(ColorToRGB(canvas.Pixel(13, 4)), ColorToRGB(clWhite)) << "left of the box";
    int dark = 0;
    for (int y = 6; y < 15; ++y)
      for (int x = 16; x < 25; ++x)
        if (ColorToRGB(canvas.Pixel(x, y)) == ColorToRGB(clWindowText)) ++dark;
    EXPECT_EQ(dark > 0, checked);
  }
}

}  // namespace

}  // namespace vision_check_test

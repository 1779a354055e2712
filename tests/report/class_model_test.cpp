// Report objects as scripts and the build see them: defaults, generated names,
// the factory and its type codes, properties and methods by name, the
// property list, and printing into a built page.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "report/FR_Pars.h"
#include "tests/report/class_support.h"
#include "toolkit/core/component.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/ui/controls.h"

namespace class_model_test {

using namespace class_test;

namespace {

class ModelTest : public ::testing::Test {
 protected:
  // Template objects of the "current report", found by exact name.
  void UseReport(const std::set<std::string>& names) {
    names_ = names;
    work_.host.OnFindObject = [this](const AnsiString& name) -> TfrView* {
      return names_.count(name) ? &other_ : nullptr;
    };
  }

  class_test::TestWork work_;
  std::set<std::string> names_;
  TestView other_;
};

std::set<std::string> Numbered(const std::string& prefix, int from, int to) {
  std::set<std::string> names;
  for (int i = from; i <= to; ++i) names.insert(prefix + std::to_string(i));
  return names;
}

// ---------------------------------------------------------------------------
// Defaults

TEST_F(ModelTest, NewObjectsCarryTheirDefaults) {
  TestView view;
  EXPECT_EQ(view.NamePrefix, "View");
  EXPECT_EQ(view.TypeCode, gtAddIn);
  EXPECT_EQ(view.FrameColor, clBlack);
  EXPECT_EQ(view.FillColor, 0x1FFFFFFF);
  EXPECT_TRUE(view.Visible);
  EXPECT_EQ(view.Flags, flStretched);
  EXPECT_EQ(view.GapX, 2);
  EXPECT_EQ(view.GapY, 1);
  EXPECT_EQ(view.FrameWidth, 1.0);
  EXPECT_EQ(view.FrameStyle, 0);
  EXPECT_EQ(view.BandAlign, baNone);
  EXPECT_EQ(view.ScaleFactorX, 1.0);
  EXPECT_EQ(view.ScaleFactorY, 1.0);
  EXPECT_EQ(view.OriginX, 0);
  EXPECT_EQ(view.RecordMode, rmTemplate);
  EXPECT_EQ(view.Memo.Count() + view.ExpandedMemo.Count() + view.Script.Count(), 0);

  TestControl control;
  EXPECT_EQ(control.FillColor, clBtnFace);
  EXPECT_EQ(static_cast<uint32_t>(control.FillColor), 0xFF00000Fu);
  EXPECT_EQ(control.FrameTyp, 0);
}

TEST_F(ModelTest, FormatWordCarriesTheLocalesDecimalSeparator) {
  const struct {
    char separator;
    uint32_t word;
  } cases[] = {{',', 512 + 44}, {'.', 512 + 46}};
  for (const auto& c : cases) {
    TFormatSettings settings = TFormatSettings::Russian();
    settings.DecimalSeparator = c.separator;
    ScopedFormatSettings scoped(settings);
    TestView view;
    EXPECT_EQ(view.FormatWord, c.word) << c.separator;
  }
}

// ---------------------------------------------------------------------------
// Generated names

TEST_F(ModelTest, GeneratedNamesTakeTheSmallestFreeNumber) {
  const struct {
    const char* what;
    const char* prefix;
    std::set<std::string> taken;
    const char* name;
  } cases[] = {
      {"empty report", "Memo", {}, "Memo1"},
      {"Memo1 to Memo3 taken", "Memo", Numbered("Memo", 1, 3), "Memo4"},
      {"a gap is filled first", "Memo", {"Memo1", "Memo3"}, "Memo2"},
      {"other prefixes do not count", "Memo", {"Band1", "Line1", "Memo"}, "Memo1"},
      {"names compare as the report finds them", "Band", {"band1"}, "Band1"},
      {"the last number", "Line", Numbered("Line", 1, 9999), "Line10000"},
      {"all 10000 taken", "Line", Numbered("Line", 1, 10000), ""},
  };
  for (const auto& c : cases) {
    UseReport(c.taken);
    TestView view(c.prefix);
    view.Name = "Stale";
    view.CreateUniqueName();
    EXPECT_EQ(view.Name, c.name) << c.what;
  }
}

TEST_F(ModelTest, GeneratedNamesGoThroughTheNameProperty) {
  // A class that watches its properties sees the generated name arrive.
  struct Watching : TestView {
    std::string seen;
    void PutProperty(std::string_view name, const Variant& value) override {
      seen += std::string(name) + "=" + VarToStr(value) + ";";
      TestView::PutProperty(name, value);
    }
  } view;
  view.CreateUniqueName();
  EXPECT_EQ(view.seen, "Name=View1;");
}

TEST_F(ModelTest, ControlNamesAvoidComponentsOfTheDialogForm) {
  UseReport({"View1"});
  TComponent dialog_component(nullptr);
  work_.host.OnFindDialogComponent = [&](const AnsiString& name) -> TComponent* {
    return name == "View2" ? &dialog_component : nullptr;
  };
  TestControl control;
  control.CreateUniqueName();
  EXPECT_EQ(control.Name, "View3");
  TestView view;
  view.CreateUniqueName();
  EXPECT_EQ(view.Name, "View2") << "only controls look at the dialog form";
}

TEST_F(ModelTest, RecordsWithoutANameGetAGeneratedOne) {
  UseReport(Numbered("Memo", 1, 3));
  const std::string fixed(34, '\0');  // geometry, frame and fill
  const struct {
    const char* what;
    int version;
    uint8_t mode;
    std::string bytes;
  } cases[] = {
      {"version 22 template", 22, rmTemplate, fixed + std::string(4, '\0') + std::string("\0\0", 2)},
      {"version 23 built page", 23, rmPrepared, fixed + std::string("\0\0\0", 3)},
  };
  for (const auto& c : cases) {
    TestView view("Memo");
    view.Name = "Stale";
    view.RecordMode = c.mode;
    TStringStream in(c.bytes);
    view.ReadRecord(in, c.version);
    EXPECT_EQ(view.Name, "Memo4") << c.what;
    EXPECT_EQ(in.Position(), in.Size()) << c.what;
  }
}

// ---------------------------------------------------------------------------
// Factory and type codes

TEST_F(ModelTest, TypeCodesMakeTheirClasses) {
  static const char* const kClassOf[] = {"memo", "picture", "band", "subreport", "line"};
  for (int code = 0; code <= 4; ++code) {
    SetBuiltInViewConstructor(code, [code] {
      auto v = std::make_unique<TestView>(kClassOf[code]);
      v->TypeCode = static_cast<uint8_t>(code);
      return v;
    });
  }
  const struct {
    int code;
    const char* prefix;  // nullptr: no object
  } cases[] = {{0, "memo"},  {1, "picture"}, {2, "band"},   {3, "subreport"}, {4, "line"},   {5, nullptr},
               {9, nullptr}, {11, nullptr},  {255, nullptr}, {-1, nullptr}};
  for (const auto& c : cases) {
    const uint32_t before = frEngine().ObjectIdCounter;
    std::unique_ptr<TfrView> view = CreateViewByType(c.code, "TfrMemoView");
    if (c.prefix == nullptr) {
      EXPECT_EQ(view, nullptr) << c.code;
      EXPECT_EQ(frEngine().ObjectIdCounter, before) << "no object, no number: " << c.code;
    } else {
      ASSERT_NE(view, nullptr) << c.code;
      EXPECT_EQ(view->NamePrefix, c.prefix);
      EXPECT_EQ(view->TypeCode, c.code);
      EXPECT_EQ(view->ObjectID, before + 1) << c.code;
    }
  }
  for (int code = 0; code <= 4; ++code) SetBuiltInViewConstructor(code, {});
  EXPECT_EQ(CreateViewByType(0, ""), nullptr) << "a built-in class not linked in gives no object";
}

TEST_F(ModelTest, AddInClassesAreFoundByExactClassName) {
  ResetMissingClasses();
  ASSERT_TRUE(RegisterAddInViewClass("TfrTestAddIn", [] {
    auto v = std::make_unique<TestAddIn>();
    v->TypeCode = 0;  // the factory, not the class, decides the add-in code
    return v;
  }));
  std::unique_ptr<TfrView> found = CreateViewByType(gtAddIn, "TfrTestAddIn");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->TypeCode, gtAddIn);
  EXPECT_STREQ(found->ClassName(), "TfrTestAddIn");
  EXPECT_FALSE(frEngine().ClassNotFound);

  const struct {
    const char* name;
    const char* message;
  } missing[] = {{"TFRTESTADDIN", "TFRTESTADDIN\r"}, {"TfrChartView", "TFRTESTADDIN\rTfrChartView\r"}};
  for (const auto& m : missing) {
    try {
      CreateViewByType(gtAddIn, m.name);
      ADD_FAILURE() << m.name;
    } catch (const EClassNotFound& e) {
      EXPECT_EQ(e.Message(), m.message);
    }
    EXPECT_TRUE(frEngine().ClassNotFound);
  }
  ResetMissingClasses();
  EXPECT_FALSE(frEngine().ClassNotFound);
  EXPECT_EQ(frEngine().MissingClasses, "");
  UnregisterAddInViewClass("TfrTestAddIn");
  EXPECT_THROW(CreateViewByType(gtAddIn, "TfrTestAddIn"), EClassNotFound);
  ResetMissingClasses();
}

TEST_F(ModelTest, TheAddInRegistryHoldsThirtyTwoClasses) {
  auto make = [] { return std::make_unique<TestAddIn>(); };
  for (int i = 0; i < kMaxAddInClasses; ++i) EXPECT_TRUE(RegisterAddInViewClass("C" + std::to_string(i), make));
  EXPECT_FALSE(RegisterAddInViewClass("C32", make));
  for (int i = 0; i < kMaxAddInClasses; ++i) UnregisterAddInViewClass("C" + std::to_string(i));
  EXPECT_TRUE(RegisterAddInViewClass("C32", make));
  UnregisterAddInViewClass("C32");
}

// ---------------------------------------------------------------------------
// Properties and methods by name

TEST_F(ModelTest, PropertiesAreSetAndReadByName) {
  const struct {
    const char* set_name;  // nullptr: read only
    Variant value;
    const char* get_name;
    Variant expected;
    uint16_t flags_before;
  } cases[] = {
      {"Name", "Memo5", "NAME", "Memo5", 1},
      {"left", 12, "Left", 12, 1},
      {"TOP", "34", "top", 34, 1},
      {"Width", 56.0, "WIDTH", 56, 1},
      {"height", 78, "HEIGHT", 78, 1},
      {"flags", 0x8003, "FLAGS", 0x8003, 1},
      {"FrameTyp", 15, "FRAMETYP", 15, 1},
      {"FrameWidth", 0.5, "FRAMEWIDTH", 0.5, 1},
      {"FrameColor", 0xFF, "FRAMECOLOR", 0xFF, 1},
      {"FrameStyle", 5, "FRAMESTYLE", 5, 1},
      {"FillColor", 0xFFFFFF, "FILLCOLOR", 0xFFFFFF, 1},
      {"Visible", false, "VISIBLE", false, 1},
      {"Memo", "one\r\ntwo", "MEMO", "one\r\ntwo\r\n", 1},
      {"Memo", "one\ntwo", "MEMO.COUNT", 2, 1},
      {"GapX", 7, "GAPX", 7, 1},
      {"GapY", -1, "GAPY", -1, 1},
      {"Stretched", true, "FLAGS", 3, 2},
      {"Stretched", false, "FLAGS", 2, 3},
      {"Stretched", true, "STRETCHED", true, 2},
      {"Stretched", false, "STRETCHED", false, 3},
      {"BandAlign", 5, "BANDALIGN", 5, 1},
      {"DataField", "[Dbf1.\"SERIAL\"]", "DATAFIELD", "[Dbf1.\"SERIAL\"]", 1},
      {"DataField", "a\r\nb", "MEMO.COUNT", 2, 1},
      {nullptr, Variant(), "DATAFIELD", "", 1},
      {nullptr, Variant(), "MEMO.COUNT", 0, 1},
      {"Tag", "[Date]", "TAG", "[Date]", 1},
      {"NoSuchProperty", 1, "NOSUCHPROPERTY", Null(), 1},
      {"Memo.Count", 5, "MEMO.COUNT", 0, 1},
  };
  for (const auto& c : cases) {
    TestView view;
    view.Flags = c.flags_before;
    if (c.set_name) view.PutProperty(c.set_name, c.value);
    const Variant got = view.FetchProperty(c.get_name);
    EXPECT_EQ(got.VarType(), c.expected.VarType()) << c.get_name << " after " << (c.set_name ? c.set_name : "-");
    EXPECT_TRUE(got == c.expected) << c.get_name << ": " << VarToStr(got);
  }
}

TEST_F(ModelTest, UnknownNamesChangeNothing) {
  TestView view;
  view.Memo.Add("x");
  TMemoryStream before;
  view.WriteRecord(before);
  view.PutProperty("Colour", 5);
  view.PutProperty("", 5);
  EXPECT_TRUE(view.InvokeMethod("FROB", 1, 2, 3).IsNull());
  TMemoryStream after;
  view.WriteRecord(after);
  EXPECT_EQ(Hex(before.Bytes()), Hex(after.Bytes()));
  EXPECT_TRUE(view.FetchProperty("").IsNull());
}

TEST_F(ModelTest, ListMethodsWorkOnTheText) {
  const struct {
    const char* what;
    const char* method;
    Variant p1, p2, p3;
    Variant result;
    const char* memo_after;  // lines joined with |
  } cases[] = {
      {"index of a missing text", "MEMO.INDEXOF", "'zz'", Variant(), Variant(), -1, "a|b|c"},
      {"index of a line", "Memo.IndexOf", "'b'", Variant(), Variant(), 1, "a|b|c"},
      {"index of is exact", "MEMO.INDEXOF", "'B'", Variant(), Variant(), -1, "a|b|c"},
      {"add evaluates its argument", "MEMO.ADD", "1 + 2", Variant(), Variant(), Null(), "a|b|c|3"},
      {"add a quoted text", "MEMO.ADD", "'d'", Variant(), Variant(), Null(), "a|b|c|d"},
      {"delete by evaluated index", "MEMO.DELETE", "2 - 1", Variant(), Variant(), Null(), "a|c"},
      {"clear", "MEMO.CLEAR", Variant(), Variant(), Variant(), Null(), ""},
      {"set a line", "SETINDEXPROPERTY", "MEMO", 2, "z", Null(), "a|b|z"},
      {"set a line of another list", "SETINDEXPROPERTY", "SCRIPT", 2, "z", Null(), "a|b|c"},
      {"get a line", "GETINDEXPROPERTY", "Memo", 0, Variant(), "a", "a|b|c"},
      {"get a line of another list", "GETINDEXPROPERTY", "LINES", 0, Variant(), Null(), "a|b|c"},
      {"another list's add", "LINES.ADD", "'q'", Variant(), Variant(), Null(), "a|b|c"},
  };
  for (const auto& c : cases) {
    TestView view;
    view.Memo.SetText("a\nb\nc");
    const Variant result = view.InvokeMethod(c.method, c.p1, c.p2, c.p3);
    EXPECT_EQ(result.VarType(), c.result.VarType()) << c.what;
    EXPECT_TRUE(result == c.result) << c.what << ": " << VarToStr(result);
    std::string joined;
    for (int i = 0; i < view.Memo.Count(); ++i) joined += (i ? "|" : "") + view.Memo.Strings(i);
    EXPECT_EQ(joined, c.memo_after) << c.what;
  }
}

TEST_F(ModelTest, ListMethodsOutsideTheLinesAreScriptErrors) {
  TestView view;
  view.Memo.Add("a");
  EXPECT_THROW(view.InvokeMethod("GETINDEXPROPERTY", "MEMO", 5, Variant()), EStringListError);
  EXPECT_THROW(view.InvokeMethod("SETINDEXPROPERTY", "MEMO", -1, "x"), EStringListError);
  EXPECT_THROW(view.InvokeMethod("MEMO.DELETE", "3", Variant(), Variant()), EStringListError);
  EXPECT_EQ(view.Memo.Count(), 1);
}

TEST_F(ModelTest, ListMethodsUseTheReportsParserWhenThereIsOne) {
  TfrParser parser;
  parser.ValueCallback = [](const AnsiString& name, Variant& value) {
    if (name == "PAGE#") value = 7;
  };
  work_.host.UseParser = &parser;
  TestView view;
  view.InvokeMethod("MEMO.ADD", "[PAGE#] * 2", Variant(), Variant());
  ASSERT_EQ(view.Memo.Count(), 1);
  EXPECT_EQ(view.Memo.Strings(0), "14");
}

TEST_F(ModelTest, HideShowAndCalcHeight) {
  struct Watching : TestStretcheable {
    std::string seen;
    void PutProperty(std::string_view name, const Variant& value) override {
      seen += std::string(name) + "=" + VarToStr(value) + ";";
      TestStretcheable::PutProperty(name, value);
    }
  } view;
  EXPECT_TRUE(view.InvokeMethod("hide", Variant(), Variant(), Variant()).IsNull());
  EXPECT_FALSE(view.Visible);
  view.InvokeMethod("SHOW", Variant(), Variant(), Variant());
  EXPECT_TRUE(view.Visible);
  EXPECT_EQ(view.seen, "Visible=False;Visible=True;");
  EXPECT_TRUE(view.InvokeMethod("CalcHeight", Variant(), Variant(), Variant()) == Variant(37));
  TestView plain;
  EXPECT_TRUE(plain.InvokeMethod("CALCHEIGHT", Variant(), Variant(), Variant()).IsNull());
}

TEST_F(ModelTest, FontSubProperties) {
  TestView view;
  TFont font;
  const struct {
    const char* name;
    Variant value;
  } cases[] = {{"FONT.NAME", "Arial"}, {"FONT.SIZE", 14}, {"FONT.STYLE", 9}, {"FONT.COLOR", 0xFF}};
  for (const auto& c : cases) {
    view.SetFontProperty(font, c.name, c.value);
    EXPECT_TRUE(view.GetFontProperty(font, c.name) == c.value) << c.name;
  }
  EXPECT_TRUE(font.Style().Contains(fsItalic));
  EXPECT_TRUE(font.Style().Contains(fsStrikeOut));
  EXPECT_FALSE(font.Style().Contains(fsBold));
  EXPECT_TRUE(view.GetFontProperty(font, "FONT.WEIGHT").IsNull());
}

TEST_F(ModelTest, ControlVisibilityMovesTheHostedControl) {
  TestControl object;
  TControl control(nullptr);
  object.Control = &control;
  object.PutProperty("Visible", false);
  EXPECT_FALSE(control.Visible());
  object.InvokeMethod("SHOW", Variant(), Variant(), Variant());
  EXPECT_TRUE(control.Visible());
  object.PutProperty("Left", 3);
  EXPECT_TRUE(control.Visible());

  TWinControl form(nullptr);
  object.SetBounds(4, 5, 60, 70);
  object.PlaceControl(&form);
  EXPECT_EQ(control.Parent(), &form);
  EXPECT_EQ(control.BoundsRect(), Bounds(4, 5, 60, 70));
  object.Control = nullptr;
  control.SetParent(nullptr);
}

TEST_F(ModelTest, DrawingAControlSizesItThenPaintsItScaled) {
  struct Recording : TestControl {
    std::string order;
    void ApplyScale() override { order += "scale "; }
    void PaintHostedControl() override {
      order += "paint " + std::to_string(Control->Width()) + "x" + std::to_string(Control->Height()) + " ";
    }
    void RestoreGeometry() override { order += "restore"; }
  } object;
  TControl control(nullptr);
  object.Control = &control;
  object.SetBounds(1, 2, 30, 40);
  work_.host.OnBeginDraw = [&](TfrView& v, TCanvas*) { object.order += v.Name + " begin "; };
  object.Name = "Button1";
  object.DrawTo(nullptr);
  EXPECT_EQ(object.order, "Button1 begin scale paint 30x40 restore");
}

// ---------------------------------------------------------------------------
// Property list

std::string Listed(TfrObject& object) {
  std::string out;
  for (const auto& p : object.PropertyList()) out += p->Name + ":" + std::to_string(p->TypeFlags) + " ";
  return out;
}

TEST_F(ModelTest, PropertyListsNameWhatScriptsMayReach) {
  const std::string frame =
      "FrameTyp:2 FrameWidth:132 FrameColor:16 FrameStyle:32 FillColor:16 Tag:320 BandAlign:32 ";
  const std::string head = "Name:257 Left:128 Top:128 Width:128 Height:128 Flags:0 ";
  const std::string tail = "Visible:8 Memo:320 Memo.Count:0 Restrictions:64 ";
  const struct {
    uint8_t type_code;
    std::string expected;
  } cases[] = {
      {gtMemo, head + frame + tail},    {gtPicture, head + frame + tail}, {gtLine, head + frame + tail},
      {gtAddIn, head + frame + tail},   {gtBand, head + tail},            {gtSubReport, head + tail},
  };
  for (const auto& c : cases) {
    TestView view;
    view.TypeCode = c.type_code;
    EnsurePropertyList(view);
    EXPECT_EQ(Listed(view), c.expected) << int{c.type_code};
    view.FillPropertyList();  // a rebuild, not an append
    EXPECT_EQ(Listed(view), c.expected) << int{c.type_code};
  }
  TestControl control;
  EnsurePropertyList(control);
  EXPECT_EQ(Listed(control), "Name:257 Left:128 Top:128 Width:128 Height:128 Visible:8 Restrictions:64 ");
}

TEST_F(ModelTest, EnumerationsCarryNamesAndValues) {
  TestView view;
  view.FillPropertyList();
  TfrPropRec* style = view.FindProperty("framestyle");
  ASSERT_NE(style, nullptr);
  ASSERT_NE(style->Enum, nullptr);
  EXPECT_EQ(style->Enum->CommaText(), "psSolid,psDash,psDot,psDashDot,psDashDotDot,psDouble");
  EXPECT_EQ(VarArrayHighBound(style->EnumValues, 1), 5);
  EXPECT_TRUE(style->EnumValues[5] == Variant(5));
  TfrPropRec* align = view.FindProperty("BANDALIGN");
  ASSERT_NE(align, nullptr);
  EXPECT_EQ(align->Enum->Count(), 8);
  EXPECT_EQ(align->Enum->Strings(7), "baRest");
  EXPECT_EQ(view.FindProperty("Font.Name"), nullptr);

  const struct {
    const char* what;
    const char* names;
    int count;
    std::vector<Variant> values;
    const char* listed;  // names joined with |
    int high;            // -2: values are Null
  } cases[] = {
      {"a final ';' adds no name", "a;b;", 1, {10, 20}, "a|b", 1},
      {"empty names between and before", ";a;;b", 3, {1, 2, 3, 4}, "|a||b", 3},
      {"more values than count + 1", "a;b", 1, {1, 2, 3}, "a|b", 1},
      {"fewer values than count + 1", "a;b;c", 2, {1}, "a|b|c", 0},
      {"a Null first value", "x;y", 1, {Null(), 1}, "x|y", -2},
      {"an array is taken as it is", "p;q", 0, {VarArrayOf({7, 8, 9})}, "p|q", 2},
  };
  for (const auto& c : cases) {
    TestView v;
    v.AddEnumProperty("E", c.names, c.count, c.values);
    const TfrPropRec& e = *v.PropertyList().back();
    EXPECT_EQ(e.TypeFlags, frdtEnum) << c.what;
    std::string joined;
    for (int i = 0; i < e.Enum->Count(); ++i) joined += (i ? "|" : "") + e.Enum->Strings(i);
    EXPECT_EQ(joined, c.listed) << c.what;
    if (c.high == -2)
      EXPECT_TRUE(e.EnumValues.IsNull()) << c.what;
    else
      EXPECT_EQ(VarArrayHighBound(e.EnumValues, 1), c.high) << c.what;
  }
}

TEST_F(ModelTest, PropertyNamesAreCutAndFoundIgnoringCase) {
  TestView view;
  view.AddProperty(std::string(40, 'p') + "X", frdtString);
  view.AddProperty("Dup", frdtInteger);
  view.AddProperty("DUP", frdtFloat);
  EXPECT_EQ(view.PropertyList()[0]->Name, std::string(32, 'p'));
  ASSERT_NE(view.FindProperty("dUp"), nullptr);
  EXPECT_EQ(view.FindProperty("dUp")->TypeFlags, frdtInteger) << "the first match";
  EXPECT_EQ(view.FindProperty("Du"), nullptr);
  view.ClearPropertyList();
  EXPECT_TRUE(view.PropertyList().empty());
}

// ---------------------------------------------------------------------------
// Printing into a built page

TEST_F(ModelTest, AnObjectHiddenByItsScriptWritesNothing) {
  work_.host.OnRunScript = [](TfrView& v) {
    if (v.Script.Count() > 0) v.Visible = false;
  };
  TestView view;
  view.Script.Add("Visible := False");
  TMemoryStream page;
  view.PrintToPage(page);
  EXPECT_EQ(page.Size(), 0);
}

TEST_F(ModelTest, PrintingWritesTheTypeCodeAndTheBuiltPageRecord) {
  std::string order;
  work_.host.OnBeginDraw = [&](TfrView&, TCanvas*) { order += "draw "; };
  work_.host.OnDoBeforePrint = [&](TfrView& v) {
    order += "before(" + v.ExpandedMemo.Text() + ") ";
    v.ExpandedMemo.SetText("42");
  };
  work_.host.OnRunScript = [&](TfrView&) { order += "script "; };
  work_.host.OnExpandVariables = [](TfrView&, const AnsiString& text) { return text + "!"; };

  const struct {
    const char* what;
    uint8_t type_code;
    const char* tag;
    std::string head;     // bytes before the record
    const char* record_tag;
  } cases[] = {
      {"text object, plain tag", gtMemo, "plain", std::string("\0", 1), "plain"},
      {"expanded tag", gtLine, "[x]", std::string("\4", 1), "[x]!"},
      {"add-in class", gtAddIn, "", std::string("\x0A\x0C\0TfrTestAddIn\0", 16), ""},
  };
  for (const auto& c : cases) {
    order.clear();
    TestAddIn view;
    view.TypeCode = c.type_code;
    view.Name = "Obj1";
    view.Memo.Add("[a]");
    view.Tag = c.tag;
    view.RecordMode = rmPrepared;
    TMemoryStream page;
    view.PrintToPage(page);
    EXPECT_EQ(order, "draw before([a]\r\n) script ") << c.what;
    EXPECT_EQ(view.Tag, c.tag) << c.what << ": the template keeps its tag";

    TestAddIn expected;
    expected.Name = "Obj1";
    expected.ExpandedMemo.Add("42");
    expected.Tag = c.record_tag;
    expected.RecordMode = rmPrepared;
    TMemoryStream record;
    expected.WriteRecord(record);
    EXPECT_EQ(Hex(page.Bytes()), Hex(c.head + std::string(record.Bytes()))) << c.what;
  }
}

TEST_F(ModelTest, PrintingAlignsToTheCurrentBand) {
  const struct {
    const char* what;
    uint8_t align;
    int band_type;
    int top, width;
  } cases[] = {
      {"bottom", baBottom, 0, 100 + 60 - 20, 50},
      {"top", baTop, 0, 100, 50},
      {"width on a cross band", baWidth, 19, 5, 300},
      {"width on another band", baWidth, 4, 5, 50},
      {"none", baNone, 0, 5, 50},
      {"left is a drawing rule", baLeft, 0, 5, 50},
  };
  for (const auto& c : cases) {
    work_.host.OnCurrentBand = [&]() -> std::optional<TfrBandPlacement> {
      return TfrBandPlacement{100, 60, 300, c.band_type};
    };
    TestView view;
    view.SetBounds(7, 5, 50, 20);
    view.BandAlign = c.align;
    TMemoryStream page;
    view.PrintToPage(page);
    EXPECT_EQ(view.Top, c.top) << c.what;
    EXPECT_EQ(view.Width, c.width) << c.what;
    EXPECT_EQ(view.Left, 7) << c.what;
  }
  work_.host.OnCurrentBand = [] { return std::optional<TfrBandPlacement>(); };
  TestView view;
  view.SetBounds(7, 5, 50, 20);
  view.BandAlign = baBottom;
  TMemoryStream page;
  view.PrintToPage(page);
  EXPECT_EQ(view.Top, 5) << "no band, no alignment";
}

TEST_F(ModelTest, ATagIsRestoredWhenWritingFails) {
  work_.host.OnExpandVariables = [](TfrView&, const AnsiString&) { return AnsiString(70000, 'x'); };
  TestView view;
  view.Tag = "[long]";
  TMemoryStream page;
  EXPECT_THROW(view.PrintToPage(page), EWriteError);
  EXPECT_EQ(view.Tag, "[long]");
}

TEST_F(ModelTest, ExportGetsThePositionAndTheObject) {
  TestView view;
  view.SetBounds(11, 22, 1, 1);
  std::string seen;
  view.HandToExport();  // no filter: nothing happens
  work_.host.OnExportObject = [&](int left, int top, TfrView& v) {
    seen = std::to_string(left) + "," + std::to_string(top) + (&v == &view ? " this" : " other");
  };
  view.HandToExport();
  EXPECT_EQ(seen, "11,22 this");
}

}  // namespace

}  // namespace class_model_test

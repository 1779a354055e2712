// Reflection: descriptors, typed access, enumeration and set names, defaults,
// stored rules, colour identifiers and the class registry.
#include "toolkit/core/typinfo.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/core/colors.h"
#include "toolkit/core/text.h"

namespace typinfo_test {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;

const TTypeInfo& AlignmentType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"});
  return t;
}
const TTypeInfo& FontStyleType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
  return t;
}
const TTypeInfo& FontStylesType() {
  static const TTypeInfo t = TTypeInfo::SetOf("TFontStyles", FontStyleType());
  return t;
}

class TSampleFont : public TPersistent {
  KIV7_PERSISTENT(TSampleFont)

 public:
  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& v) { name_ = v; }
  TColor Color() const { return color_; }
  void SetColor(TColor v) { color_ = v; }
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles v) { style_ = v; }

 private:
  AnsiString name_ = "Arial";
  TColor color_ = clWindowText;
  TFontStyles style_;
};

const TClassInfo& TSampleFont::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TSampleFont>, "TSampleFont", &TPersistent::StaticClassInfo(),
                               [](TPublisher<TSampleFont>& p) {
                                 p.String("Name", &TSampleFont::Name, &TSampleFont::SetName);
                                 p.Ordinal("Color", TypeInfoTColor(), &TSampleFont::Color, &TSampleFont::SetColor)
                                     .WithDefault(clWindowText);
                                 p.Ordinal("Style", FontStylesType(), &TSampleFont::Style, &TSampleFont::SetStyle)
                                     .WithDefault(0);
                               });
  return info;
}

class TSampleControl : public TComponent {
  KIV7_PERSISTENT(TSampleControl)

 public:
  using TComponent::TComponent;
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& v) { caption_ = v; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v) { alignment_ = v; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  int Width() const { return width_; }
  void SetWidth(int v) { width_ = v; }
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool v) { auto_size_ = v; }
  double Ratio() const { return ratio_; }
  void SetRatio(double v) { ratio_ = v; }
  char Accel() const { return accel_; }
  void SetAccel(char v) { accel_ = v; }
  int64_t Big() const { return big_; }
  void SetBig(int64_t v) { big_ = v; }
  const Variant& Value() const { return value_; }
  void SetValue(const Variant& v) { value_ = v; }
  TSampleFont* Font() const { return font_.get(); }
  TComponent* Buddy() const { return buddy_; }
  void SetBuddy(TComponent* v) { buddy_ = v; }
  int Count() const { return 3; }

 private:
  AnsiString caption_;
  TAlignment alignment_ = taLeftJustify;
  bool visible_ = true;
  int width_ = 64;
  bool auto_size_ = false;
  double ratio_ = 0;
  char accel_ = 0;
  int64_t big_ = 0;
  Variant value_;
  std::unique_ptr<TSampleFont> font_ = std::make_unique<TSampleFont>();
  TComponent* buddy_ = nullptr;
};

const TClassInfo& TSampleControl::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TSampleControl>, "TSampleControl", &TComponent::StaticClassInfo(), [](TPublisher<TSampleControl>& p) {
        p.String("Caption", &TSampleControl::Caption, &TSampleControl::SetCaption);
        p.Ordinal("Alignment", AlignmentType(), &TSampleControl::Alignment, &TSampleControl::SetAlignment)
            .WithDefault(taLeftJustify);
        p.Boolean("Visible", &TSampleControl::Visible, &TSampleControl::SetVisible).WithDefault(1);
        // The width is computed while the control sizes itself, so it is not written then.
        p.Integer("Width", &TSampleControl::Width, &TSampleControl::SetWidth)
            .WithDefault(64)
            .StoredWhen([](const TPersistent& o) { return !static_cast<const TSampleControl&>(o).AutoSize(); });
        p.Boolean("AutoSize", &TSampleControl::AutoSize, &TSampleControl::SetAutoSize).WithDefault(0);
        p.Float("Ratio", &TSampleControl::Ratio, &TSampleControl::SetRatio);
        p.Ordinal("Accel", TypeInfoChar(), &TSampleControl::Accel, &TSampleControl::SetAccel);
        p.Ordinal("Big", TypeInfoInt64(), &TSampleControl::Big, &TSampleControl::SetBig);
        p.VariantValue("Value", &TSampleControl::Value, &TSampleControl::SetValue);
        p.Object("Font", TSampleFont::StaticClassInfo(), &TSampleControl::Font);
        p.Object("Buddy", TComponent::StaticClassInfo(), &TSampleControl::Buddy, &TSampleControl::SetBuddy);
        p.Integer("Count", &TSampleControl::Count).NotStored();
      });
  return info;
}

// Republishes Width with another default and adds a property.
class TSampleButton : public TSampleControl {
  KIV7_PERSISTENT(TSampleButton)

 public:
  using TSampleControl::TSampleControl;
  int Kind() const { return kind_; }
  void SetKind(int v) { kind_ = v; }

 private:
  int kind_ = 0;
};

const TClassInfo& TSampleButton::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TSampleButton>, "TSampleButton", &TSampleControl::StaticClassInfo(),
                               [](TPublisher<TSampleButton>& p) {
                                 p.Integer("Kind", &TSampleButton::Kind, &TSampleButton::SetKind);
                                 p.Integer("WIDTH", &TSampleButton::Width, &TSampleButton::SetWidth).WithDefault(75);
                               });
  return info;
}

std::vector<std::string> Names(const std::vector<const TPropInfo*>& props) {
  std::vector<std::string> names;
  for (const TPropInfo* p : props) names.push_back(p->Name);
  return names;
}

TEST(Descriptors, PropertiesListAncestorsFirstAndRepublishedKeepTheirPlace) {
  EXPECT_EQ(Names(TSampleControl::StaticClassInfo().Properties()),
            (std::vector<std::string>{"Name", "Tag", "Caption", "Alignment", "Visible", "Width", "AutoSize", "Ratio",
                                      "Accel", "Big", "Value", "Font", "Buddy", "Count"}));
  const auto button = Names(TSampleButton::StaticClassInfo().Properties());
  EXPECT_EQ(button, (std::vector<std::string>{"Name", "Tag", "Caption", "Alignment", "Visible", "WIDTH", "AutoSize",
                                              "Ratio", "Accel", "Big", "Value", "Font", "Buddy", "Count", "Kind"}));
  TSampleButton b(nullptr);
  EXPECT_EQ(GetPropInfo(&b, "width")->Default, 75);
  EXPECT_EQ(Names(GetPropList(TSampleControl::StaticClassInfo(), {tkEnumeration, tkSet}, true)),
            (std::vector<std::string>{"Alignment", "AutoSize", "Visible"}));
  EXPECT_EQ(Names(GetPropList(TSampleFont::StaticClassInfo(), tkAny, true)),
            (std::vector<std::string>{"Color", "Name", "Style"}));
}

TEST(Descriptors, ClassChainAndNames) {
  TSampleButton b(nullptr);
  EXPECT_EQ(b.ClassName(), "TSampleButton");
  EXPECT_TRUE(b.InheritsFrom(TSampleControl::StaticClassInfo()));
  EXPECT_TRUE(b.InheritsFrom(TPersistent::StaticClassInfo()));
  EXPECT_FALSE(b.InheritsFrom(TCollection::StaticClassInfo()));
  EXPECT_EQ(TSampleButton::StaticClassInfo().Parent(), &TSampleControl::StaticClassInfo());
  const TPropInfo* font = GetPropInfo(TSampleControl::StaticClassInfo(), "FONT");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->Kind(), tkClass);
  EXPECT_EQ(font->PropType->ClassType, &TSampleFont::StaticClassInfo());
  EXPECT_EQ(font->PropType->Name, "TSampleFont");
  EXPECT_EQ(GetPropInfo(&b, "NoSuch"), nullptr);
  EXPECT_FALSE(GetPropInfo(&b, "Count")->HasSetter());
  EXPECT_TRUE(GetPropInfo(&b, "Caption")->HasSetter());
}

// Writes a value through its text form and reads it back through the typed access.
TEST(PropertyAccess, RoundTripsThroughVariantsAndTypedAccess) {
  struct Case {
    const char* prop;
    Variant in;
    std::function<bool(const TSampleControl&)> check;
    Variant out;
  };
  const std::vector<Case> cases = {
      {"Caption", Variant("\xCF\xF0\xE8\xE2\xE5\xF2"), [](auto& c) { return c.Caption() == "\xCF\xF0\xE8\xE2\xE5\xF2"; },
       Variant("\xCF\xF0\xE8\xE2\xE5\xF2")},
      {"Alignment", Variant("TACENTER"), [](auto& c) { return c.Alignment() == taCenter; }, Variant(2)},
      {"Alignment", Variant(1), [](auto& c) { return c.Alignment() == taRightJustify; }, Variant(1)},
      {"Visible", Variant(false), [](auto& c) { return !c.Visible(); }, Variant(false)},
      {"Width", Variant("120"), [](auto& c) { return c.Width() == 120; }, Variant(120)},
      {"Width", Variant(-5), [](auto& c) { return c.Width() == -5; }, Variant(-5)},
      {"Ratio", Variant(2.5), [](auto& c) { return c.Ratio() == 2.5; }, Variant(2.5)},
      {"Accel", Variant(65), [](auto& c) { return c.Accel() == 'A'; }, Variant(65)},
      {"Big", Variant(static_cast<long long>(1) << 40), [](auto& c) { return c.Big() == (int64_t{1} << 40); },
       Variant(static_cast<long long>(1) << 40)},
      {"Value", Null(), [](auto& c) { return VarIsNull(c.Value()); }, Null()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prop);
    TSampleControl control(nullptr);
    SetVariantProp(&control, c.prop, c.in);
    EXPECT_TRUE(c.check(control));
    Variant out = GetVariantProp(&control, c.prop);
    EXPECT_EQ(VarType(out), VarType(c.out));
    EXPECT_EQ(VarToStr(out), VarToStr(c.out));
  }
}

TEST(PropertyAccess, TypedAccessorsAndTheirErrors) {
  TSampleControl control(nullptr);
  const TPropInfo& width = FindPropInfo(&control, "Width");
  SetOrdProp(&control, width, 33);
  EXPECT_EQ(GetOrdProp(&control, width), 33);
  SetStrProp(&control, "caption", "Ok");
  EXPECT_EQ(GetStrProp(&control, "CAPTION"), "Ok");
  SetEnumProp(&control, FindPropInfo(&control, "Alignment"), "taRightJustify");
  EXPECT_EQ(GetEnumProp(&control, FindPropInfo(&control, "Alignment")), "taRightJustify");
  SetSetProp(control.Font(), FindPropInfo(control.Font(), "Style"), "[fsItalic, fsBold]");
  EXPECT_EQ(control.Font()->Style(), (TFontStyles{fsBold, fsItalic}));
  EXPECT_EQ(GetSetProp(control.Font(), FindPropInfo(control.Font(), "Style")), "[fsBold,fsItalic]");
  EXPECT_EQ(GetObjectProp(&control, FindPropInfo(&control, "Font")), control.Font());

  TComponent other(nullptr);
  SetObjectProp(&control, FindPropInfo(&control, "Buddy"), &other);
  EXPECT_EQ(control.Buddy(), &other);
  SetObjectProp(&control, FindPropInfo(&control, "Buddy"), nullptr);
  EXPECT_EQ(control.Buddy(), nullptr);

  struct Bad {
    const char* what;
    std::function<void()> act;
    const char* error;
  };
  TSampleFont font;
  const Bad bad[] = {
      {"unknown", [&] { GetOrdProp(&control, "Heigth"); }, "Property Heigth does not exist"},
      {"read-only", [&] { SetOrdProp(&control, "Count", 1); }, "Property is read-only"},
      {"string as ordinal", [&] { GetOrdProp(&control, "Caption"); }, "Invalid property type: String"},
      {"ordinal as float", [&] { GetFloatProp(&control, "Width"); }, "Invalid property type: Integer"},
      {"unknown member",
       [&] { SetEnumProp(&control, FindPropInfo(&control, "Alignment"), "taMiddle"); },
       "Invalid property value"},
      {"object of another class",
       [&] { SetObjectProp(&control, FindPropInfo(&control, "Buddy"), &font); },
       "Invalid property value: TSampleFont is not a TComponent"},
      {"property of another class",
       [&] { GetStrProp(&font, FindPropInfo(&control, "Caption")); },
       "Invalid property value: TSampleFont is not a TSampleControl"},
      {"nil object", [&] { GetOrdProp(nullptr, width); }, "Property access on a nil object"},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.what);
    try {
      b.act();
      ADD_FAILURE() << "no error";
    } catch (const EPropertyError& e) {
      EXPECT_EQ(e.Message(), b.error);
    }
  }
}

TEST(EnumNames, NamesAndValuesRoundTripWithoutCase) {
  struct Case {
    const TTypeInfo& type;
    int64_t value;
    const char* name;
  };
  const Case cases[] = {
      {AlignmentType(), 0, "taLeftJustify"}, {AlignmentType(), 2, "taCenter"},   {TypeInfoBoolean(), 0, "False"},
      {TypeInfoBoolean(), 1, "True"},        {FontStyleType(), 3, "fsStrikeOut"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetEnumName(c.type, c.value), c.name);
    EXPECT_EQ(GetEnumValue(c.type, c.name), c.value);
    EXPECT_EQ(GetEnumValue(c.type, UpperCase(c.name)), c.value);
  }
  EXPECT_EQ(GetEnumValue(AlignmentType(), "taMiddle"), -1);
  EXPECT_EQ(GetEnumValue(AlignmentType(), ""), -1);
  EXPECT_EQ(GetEnumName(AlignmentType(), 3), "");
  EXPECT_EQ(GetEnumName(AlignmentType(), -1), "");
  EXPECT_EQ(GetEnumName(TypeInfoInteger(), -7), "-7");
}

TEST(SetNames, SetsToTextAndBack) {
  struct Case {
    TFontStyles set;
    const char* text;
  };
  const Case cases[] = {
      {{}, "[]"},
      {{fsBold}, "[fsBold]"},
      {{fsUnderline, fsBold}, "[fsBold,fsUnderline]"},
      {{fsBold, fsItalic, fsUnderline, fsStrikeOut}, "[fsBold,fsItalic,fsUnderline,fsStrikeOut]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SetToString(FontStylesType(), c.set.Bits()), c.text);
    EXPECT_EQ(StringToSet(FontStylesType(), c.text), c.set.Bits());
  }
  EXPECT_EQ(SetToString(FontStylesType(), TFontStyles{fsItalic}.Bits(), false), "fsItalic");
  EXPECT_EQ(StringToSet(FontStyleType(), " [ fsitalic ,FSBOLD ] "), (TFontStyles{fsBold, fsItalic}.Bits()));
  EXPECT_EQ(StringToSet(FontStylesType(), "fsUnderline"), TFontStyles{fsUnderline}.Bits());
  // A bit with no member is shown by number rather than dropped.
  EXPECT_EQ(SetToString(FontStylesType(), 0x21), "[fsBold,5]");

  struct Bad {
    const char* text;
    const char* error;
  };
  const Bad bad[] = {
      {"[fsBold,fsHeavy]", "Invalid property element: fsHeavy"},
      {"[fsBold", "Invalid property element: [fsBold"},
      {"[fsBold,,fsItalic]", "Invalid property element: fsBold,,fsItalic"},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.text);
    try {
      StringToSet(FontStylesType(), b.text);
      ADD_FAILURE() << "accepted";
    } catch (const EPropertyError& e) {
      EXPECT_EQ(e.Message(), b.error);
    }
  }
}

TEST(DefaultsAndStoredRules, WhatAWriterWouldLeaveOut) {
  struct Case {
    const char* what;
    const char* prop;
    std::function<void(TSampleControl&)> change;
    bool is_default;
    bool stored;
  };
  const std::vector<Case> cases = {
      {"new width", "Width", nullptr, true, true},
      {"changed width", "Width", [](auto& c) { c.SetWidth(65); }, false, true},
      {"width while auto-sized", "Width", [](auto& c) { c.SetAutoSize(true); }, true, false},
      {"new alignment", "Alignment", nullptr, true, true},
      {"centred", "Alignment", [](auto& c) { c.SetAlignment(taCenter); }, false, true},
      {"visible", "Visible", nullptr, true, true},
      {"hidden", "Visible", [](auto& c) { c.SetVisible(false); }, false, true},
      {"empty caption", "Caption", nullptr, true, true},
      {"caption", "Caption", [](auto& c) { c.SetCaption("x"); }, false, true},
      {"zero ratio", "Ratio", nullptr, true, true},
      {"ratio", "Ratio", [](auto& c) { c.SetRatio(0.5); }, false, true},
      {"char without default", "Accel", nullptr, false, true},
      {"zero Int64", "Big", nullptr, true, true},
      {"Int64", "Big", [](auto& c) { c.SetBig(-1); }, false, true},
      {"unassigned variant", "Value", nullptr, true, true},
      {"null variant", "Value", [](auto& c) { c.SetValue(Null()); }, false, true},
      {"no buddy", "Buddy", nullptr, true, true},
      {"buddy", "Buddy", [](auto& c) { c.SetBuddy(&c); }, false, true},
      {"name is never stored", "Name", [](auto& c) { c.SetName("B1"); }, false, false},
      {"tag", "Tag", nullptr, true, true},
      {"read-only never stored", "Count", nullptr, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TSampleControl control(nullptr);
    if (c.change) c.change(control);
    const TPropInfo& prop = FindPropInfo(&control, c.prop);
    EXPECT_EQ(IsDefaultValue(&control, prop), c.is_default);
    EXPECT_EQ(IsStoredProp(&control, prop), c.stored);
  }
  TSampleFont font;
  EXPECT_TRUE(IsDefaultValue(&font, FindPropInfo(&font, "Color")));
  font.SetColor(clRed);
  EXPECT_FALSE(IsDefaultValue(&font, FindPropInfo(&font, "Color")));
}

TEST(Colors, IdentifiersAndNumbers) {
  struct Case {
    TColor color;
    const char* text;
  };
  const Case cases[] = {
      {clBlack, "clBlack"},
      {clMaroon, "clMaroon"},
      {clSkyBlue, "clSkyBlue"},
      {0xF0CAA6, "clSkyBlue"},
      {clMedGray, "clMedGray"},
      {clWhite, "clWhite"},
      {clNone, "clNone"},
      {clDefault, "clDefault"},
      {static_cast<TColor>(0xFF000000u), "clScrollBar"},
      {static_cast<TColor>(0xFF000005u), "clWindow"},
      {static_cast<TColor>(0xFF00000Fu), "clBtnFace"},
      {static_cast<TColor>(0xFF000018u), "clInfoBk"},
      {0x00123456, "$00123456"},
      {0x0000FE, "$000000FE"},
      {static_cast<TColor>(0xFF000019u), "$FF000019"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ColorToString(c.color), c.text);
    EXPECT_EQ(StringToColor(c.text), c.color);
  }
  EXPECT_EQ(StringToColor("CLRED"), clRed);
  EXPECT_EQ(StringToColor("255"), clRed);
  EXPECT_EQ(StringToColor("-16777211"), clWindow);
  AnsiString ident;
  EXPECT_FALSE(ColorToIdent(0x123456, ident));
  TColor color = 0;
  EXPECT_FALSE(IdentToColor("clNoSuch", color));
  for (const char* bad : {"clNoSuch", "", "$1FFFFFFFF"}) {
    SCOPED_TRACE(bad);
    try {
      StringToColor(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
    }
  }
  // The colour type carries the identifiers for streaming.
  int64_t value = 0;
  ASSERT_NE(TypeInfoTColor().IdentToInt, nullptr);
  EXPECT_TRUE(TypeInfoTColor().IdentToInt("clBtnFace", value));
  EXPECT_EQ(value, clBtnFace);
  EXPECT_TRUE(TypeInfoTColor().IntToIdent(clTeal, ident));
  EXPECT_EQ(ident, "clTeal");
}

// Records what an object declares through DefineProperties.
class TRecordingFiler : public TFiler {
 public:
  std::vector<std::pair<std::string, bool>> defined;
  void DefineProperty(const AnsiString& name, TReaderProc read, TWriterProc write, bool has_data) override {
    EXPECT_TRUE(read && write);
    defined.emplace_back(name, has_data);
  }
  void DefineBinaryProperty(const AnsiString& name, TStreamProc read, TStreamProc write, bool has_data) override {
    EXPECT_TRUE(read && write);
    defined.emplace_back("binary:" + name, has_data);
  }
};

class TSortedColumn : public TPersistent {
 public:
  int sort_order = -1;
  void DefineProperties(TFiler& filer) override {
    TPersistent::DefineProperties(filer);
    filer.DefineProperty("SortOrder", [](TReader&) {}, [](TWriter&) {}, sort_order != -1);
    filer.DefineBinaryProperty("Layout", [](TStream&) {}, [](TStream&) {}, false);
  }
};

TEST(DefinedProperties, ObjectsDeclareUnpublishedPropertiesWithTheirData) {
  TSortedColumn column;
  TRecordingFiler filer;
  column.DefineProperties(filer);
  column.sort_order = 0;
  column.DefineProperties(filer);
  EXPECT_EQ(filer.defined, (std::vector<std::pair<std::string, bool>>{
                               {"SortOrder", false}, {"binary:Layout", false}, {"SortOrder", true}, {"binary:Layout", false}}));
}

TEST(ClassRegistry, FindsAndCreatesRegisteredClasses) {
  RegisterClass(TSampleControl::StaticClassInfo());
  RegisterClass(TSampleControl::StaticClassInfo());  // twice is harmless
  RegisterClass(TSampleFont::StaticClassInfo());
  EXPECT_EQ(GetClass("tsamplecontrol"), &TSampleControl::StaticClassInfo());
  EXPECT_EQ(GetClass("TSampleButton"), nullptr);

  TComponent form(nullptr);
  TPersistent* made = FindClass("TSampleControl").CreateInstance(&form);
  ASSERT_NE(dynamic_cast<TSampleControl*>(made), nullptr);
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0), made);
  std::unique_ptr<TPersistent> font(FindClass("TSampleFont").CreateInstance(nullptr));
  EXPECT_NE(dynamic_cast<TSampleFont*>(font.get()), nullptr);

  try {
    FindClass("TNoSuch");
    ADD_FAILURE() << "found";
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Class TNoSuch not found");
  }
  // Another class may not take a registered name.
  static const TClassInfo impostor(kClassOf<TSampleFont>, "TSAMPLECONTROL", &TPersistent::StaticClassInfo());
  try {
    RegisterClass(impostor);
    ADD_FAILURE() << "registered";
  } catch (const EFilerError& e) {
    EXPECT_EQ(e.Message(), "A class named TSAMPLECONTROL already exists");
  }
  // Items are made by their collections, not by name.
  EXPECT_FALSE(TCollectionItem::StaticClassInfo().CanCreate());
  EXPECT_THROW(TCollectionItem::StaticClassInfo().CreateInstance(nullptr), EClassNotFound);
  UnRegisterClass(TSampleControl::StaticClassInfo());
  UnRegisterClass(TSampleFont::StaticClassInfo());
  EXPECT_EQ(GetClass("TSampleControl"), nullptr);
}

}  // namespace typinfo_test

// Published properties as fields: type rules, class descriptions, paths and
// reading and writing one property through its accessor.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/rs_prop.h"
#include "grid/rs_rtm.h"
#include "grid/rs_str.h"
#include "toolkit/core/units.h"
#include "toolkit/db/memdataset.h"

namespace prop_test {

const TTypeInfo& ShortIntType() {
  static const TTypeInfo t = TTypeInfo::Ordinal("ShortInt", tkInteger, -128, 127);
  return t;
}
const TTypeInfo& StyleMemberType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
  return t;
}
const TTypeInfo& StyleSetType() {
  static const TTypeInfo t = TTypeInfo::SetOf("TFontStyles", StyleMemberType());
  return t;
}
const TTypeInfo& ShapeType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TShape", {"shCircle", "shSquare", "shStar"});
  return t;
}
const TTypeInfo& CodeType() {
  static const TTypeInfo t = TTypeInfo::ShortString("TCode", 4);
  return t;
}
const TTypeInfo& PointType() {
  static const TTypeInfo t = TTypeInfo::Simple("TPoint", tkRecord);
  return t;
}

// A component with one published property of most kinds.
class TThing : public TComponent, public IvpObjFieldsInfo {
  KIV7_PERSISTENT(TThing)

 public:
  explicit TThing(TComponent* owner) : TComponent(owner) {}

  AnsiString caption_;
  int count_ = 0;
  int small_ = 0;
  bool visible_ = false;
  int style_ = 0;
  int shape_ = 0;
  double ratio_ = 0;
  double when_ = 0;
  int64_t big_ = 0;
  char letter_ = 0;
  AnsiString code_;
  TStringList lines_;
  TComponent* buddy_ = nullptr;
  TChildFont font_;
  int weight_ = 0;
  bool describe_ = false;

  void _GetObjFieldsInfo(TObjFieldsInfo& info) const override {
    if (!describe_) return;
    info.NullableProps = "Weight;Caption";
    info.Properties = "Weight";
    info.Fields = "KG";
  }

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == opRemove && component == buddy_) buddy_ = nullptr;
    TComponent::Notification(component, operation);
  }
};

const TClassInfo& TThing::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TThing>, "TThing", &TComponent::StaticClassInfo(), [](TPublisher<TThing>& p) {
        p.String("Caption", [](const TThing& t) { return t.caption_; },
                 [](TThing& t, const AnsiString& v) { t.caption_ = v; });
        p.Integer("Count", [](const TThing& t) { return t.count_; }, [](TThing& t, int64_t v) { t.count_ = int(v); });
        p.Ordinal("Small", ShortIntType(), [](const TThing& t) { return t.small_; },
                  [](TThing& t, int64_t v) { t.small_ = int(v); });
        p.Boolean("Visible", [](const TThing& t) { return t.visible_; },
                  [](TThing& t, int64_t v) { t.visible_ = v != 0; });
        p.Ordinal("Style", StyleSetType(), [](const TThing& t) { return t.style_; },
                  [](TThing& t, int64_t v) { t.style_ = int(v); });
        p.Ordinal("Shape", ShapeType(), [](const TThing& t) { return t.shape_; },
                  [](TThing& t, int64_t v) { t.shape_ = int(v); });
        p.Float("Ratio", [](const TThing& t) { return t.ratio_; }, [](TThing& t, double v) { t.ratio_ = v; });
        p.Float("When", TypeInfoTDateTime(), [](const TThing& t) { return t.when_; },
                [](TThing& t, double v) { t.when_ = v; });
        p.Ordinal("Big", TypeInfoInt64(), [](const TThing& t) { return t.big_; },
                  [](TThing& t, int64_t v) { t.big_ = v; });
        p.Ordinal("Letter", TypeInfoChar(), [](const TThing& t) { return t.letter_; },
                  [](TThing& t, int64_t v) { t.letter_ = char(v); });
        p.String("Code", CodeType(), [](const TThing& t) { return t.code_; },
                 [](TThing& t, const AnsiString& v) { t.code_ = v; });
        p.Object("Lines", TStrings::StaticClassInfo(),
                 [](const TThing& t) -> TPersistent* { return const_cast<TStringList*>(&t.lines_); });
        p.Object("Buddy", TComponent::StaticClassInfo(), [](const TThing& t) -> TPersistent* { return t.buddy_; },
                 [](TThing& t, TPersistent* v) {
                   t.buddy_ = dynamic_cast<TComponent*>(v);
                   if (t.buddy_ != nullptr) t.FreeNotification(t.buddy_);
                 });
        p.Object("Font", TChildFont::StaticClassInfo(),
                 [](const TThing& t) -> TPersistent* { return const_cast<TChildFont*>(&t.font_); });
        p.Ordinal("Where", PointType(), [](const TThing&) { return 0; });
        p.Integer("Weight", [](const TThing& t) { return t.weight_; }, [](TThing& t, int64_t v) { t.weight_ = int(v); });
        p.Integer("Serial", [](const TThing& t) { return t.count_ * 10; });
      });
  return info;
}

struct Defs {
  TMemDataSet ds{nullptr};
  TStringList props, expanded;
  AnsiString list;
  Defs(const TPersistent* object, bool expand, const AnsiString& memos = "") {
    list = FieldDefsFromPublished(ds.FieldDefs(), TThing::StaticClassInfo(), object, 40, memos, expand, props,
                                  expanded);
  }
  const TFieldDef* Def(const char* name) const { return ds.FieldDefs().FindDef(name); }
};

TEST(PublishedProperties, EachKindMapsToItsField) {
  const Defs d(nullptr, false, "Caption");
  const struct {
    const char* name;
    TFieldType type;
    int size;
    bool read_only;
  } cases[] = {
      {"Big", ftLargeint, 0, false},     {"Buddy", ftInteger, 0, false},  {"Caption", ftMemo, 0, false},
      {"Code", ftString, 4, false},      {"Count", ftInteger, 0, false},  {"Letter", ftString, 1, false},
      {"Lines", ftMemo, 0, true},        {"Name", ftString, 40, false},   {"Ratio", ftFloat, 0, false},
      {"Serial", ftInteger, 0, true},    {"Shape", ftInteger, 0, false},  {"Small", ftInteger, 0, false},
      {"Style", ftInteger, 0, false},    {"Tag", ftInteger, 0, false},    {"Visible", ftBoolean, 0, false},
      {"Weight", ftInteger, 0, false},   {"When", ftDateTime, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TFieldDef* def = d.Def(c.name);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->DataType(), c.type);
    EXPECT_EQ(def->Size(), c.size);
    EXPECT_EQ(def->Attributes().Contains(faReadonly), c.read_only);
  }
  // Sorted by name; the font (a class no field shows) and the record are left
  // out, and the object still makes its other fields.
  EXPECT_EQ(d.list, "Big;Buddy;Caption;Code;Count;Letter;Lines;Name;Ratio;Serial;Shape;Small;Style;Tag;Visible;"
                    "Weight;When");
  EXPECT_EQ(d.ds.FieldDefs().Count(), 17);
  EXPECT_EQ(d.Def("Font"), nullptr);
  EXPECT_EQ(d.Def("Where"), nullptr);
}

TEST(PublishedProperties, ExpandedSetsGiveOneBooleanPerMember) {
  const Defs d(nullptr, true);
  for (const char* name : {"Style_fsBold", "Style_fsItalic", "Style_fsUnderline", "Style_fsStrikeOut"}) {
    SCOPED_TRACE(name);
    ASSERT_NE(d.Def(name), nullptr);
    EXPECT_EQ(d.Def(name)->DataType(), ftBoolean);
  }
  EXPECT_EQ(d.Def("Style"), nullptr);
  EXPECT_EQ(d.props.Text(), "Style\r\nStyle\r\nStyle\r\nStyle\r\n");
  EXPECT_EQ(d.expanded.Strings(3), "Style_fsStrikeOut");
}

TEST(PublishedProperties, AClassDescriptionRenamesAndMakesNulls) {
  TThing thing(nullptr);
  thing.describe_ = true;
  const Defs d(&thing, false);
  EXPECT_NE(d.Def("KG"), nullptr);
  EXPECT_EQ(d.Def("Weight"), nullptr);
  EXPECT_EQ(FieldToPropertyName(&thing, "kg"), "Weight");
  EXPECT_EQ(PropertyToFieldName(&thing, "Count"), "Count");
  EXPECT_TRUE(IsNullByObjInfo(&thing, "Weight"));
  EXPECT_TRUE(IsNullByObjInfo(&thing, "Caption"));
  EXPECT_FALSE(IsNullByObjInfo(&thing, "Count"));  // not listed
  thing.weight_ = 7;
  EXPECT_FALSE(IsNullByObjInfo(&thing, "Weight"));
  thing.describe_ = false;
  thing.weight_ = 0;
  EXPECT_FALSE(IsNullByObjInfo(&thing, "Weight"));
  TChildFont plain;
  TObjFieldsInfo info;
  EXPECT_FALSE(GetObjFieldsInfo(&plain, info));
}

TEST(PublishedProperties, PathsFollowObjectProperties) {
  TThing thing(nullptr);
  EXPECT_EQ(ResolvePropertyPath(&thing, ""), &thing);
  EXPECT_EQ(ResolvePropertyPath(nullptr, "Font"), nullptr);
  EXPECT_EQ(ResolvePropertyPath(&thing, "Font"), &thing.font_);
  EXPECT_EQ(ResolvePropertyPath(&thing, "font"), &thing.font_);
  EXPECT_EQ(ResolvePropertyPath(&thing, "Font.Name"), nullptr);
  EXPECT_EQ(ResolvePropertyPath(&thing, "Nothing.Font"), nullptr);
  EXPECT_EQ(ResolvePropertyPath(&thing, "Buddy"), nullptr);  // no buddy yet
}

TEST(PublishedProperties, ValuesRoundTripThroughTheAccessor) {
  TThing thing(nullptr);
  SetStringProperty(&thing, "Caption", "hello");
  SetIntegerProperty(&thing, "Count", -5);
  SetStringProperty(&thing, "Ratio", "2,5");
  SetStringProperty(&thing, "Letter", "Q");
  SetIntegerProperty(&thing, "Missing", 3);  // nothing happens
  EXPECT_EQ(thing.caption_, "hello");
  EXPECT_EQ(GetIntegerProperty(&thing, "Count"), -5);
  EXPECT_EQ(GetIntegerProperty(&thing, "Missing"), 0);
  EXPECT_EQ(thing.ratio_, 2.5);
  EXPECT_EQ(thing.letter_, 'Q');
  EXPECT_EQ(TvpPropAccessor(&thing, "Letter").AsString(), "Q");

  TvpPropAccessor visible(&thing, "Visible");
  visible.SetAsString("True");
  EXPECT_TRUE(thing.visible_);
  EXPECT_EQ(visible.AsString(), "True");
  EXPECT_TRUE(visible.Value().IsNull());  // cleared after every use

  thing.big_ = int64_t{1} << 40;
  EXPECT_EQ(TvpPropAccessor(&thing, "Big").AsLargeInt(), int64_t{1} << 40);

  thing.lines_.SetText("one\r\ntwo\r\n");
  TvpUniValue copy(false, false);
  TvpPropAccessor lines(&thing, "Lines");
  copy.Assign(&lines);
  EXPECT_EQ(copy.DataType(), ftMemo);
  EXPECT_EQ(copy.AsString(), "one\r\ntwo\r\n");
  TThing other(nullptr);
  other.lines_.SetText("old");
  TvpPropAccessor other_lines(&other, "Lines");
  EXPECT_THROW(other_lines.Assign(&copy), ERSError);  // Lines has no setter

  TvpPropAccessor shape(&thing, "Shape");
  shape.SetAsInteger(2);
  EXPECT_EQ(thing.shape_, 2);
  EXPECT_TRUE(TvpPropAccessor(&thing, "Tag").IsEmpty());
  EXPECT_FALSE(shape.IsEmpty());
  EXPECT_TRUE(shape.IsTypeNamed("tshape"));
}

TEST(PublishedProperties, NumbersOutsideThePropertysRangeAreRefused) {
  TThing thing(nullptr);
  thing.small_ = 5;
  thing.shape_ = 1;
  thing.style_ = 1;
  thing.count_ = 9;
  const struct {
    const char* prop;
    int value;
  } cases[] = {{"Small", 128}, {"Small", -129}, {"Shape", 3}, {"Shape", -1}, {"Style", 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.prop) + " " + std::to_string(c.value));
    TvpPropAccessor a(&thing, c.prop);
    try {
      a.SetAsInteger(c.value);
      FAIL() << "accepted";
    } catch (const ERSError& e) {
      EXPECT_NE(e.Message().find("is out of range"), AnsiString::npos) << e.Message();
    }
    EXPECT_TRUE(a.Value().IsNull());
  }
  EXPECT_EQ(thing.small_, 5);
  EXPECT_EQ(thing.shape_, 1);
  EXPECT_EQ(thing.style_, 1);
  TvpPropAccessor(&thing, "Small").SetAsInteger(-128);
  EXPECT_EQ(thing.small_, -128);
  TvpPropAccessor(&thing, "Style").SetAsInteger(15);
  EXPECT_EQ(thing.style_, 15);

  // A float that no integer holds is refused, never converted.
  for (double bad : {1e20, -3e9}) {
    TvpUniValue f(false, false);
    f.SetAsFloat(bad);
    TvpPropAccessor count(&thing, "Count");
    EXPECT_THROW(count.Assign(&f), Exception);
    EXPECT_EQ(thing.count_, 9);
  }
  // A 64-bit number does not fit an integer property.
  thing.big_ = int64_t{1} << 33;
  TvpPropAccessor big(&thing, "Big");
  TvpPropAccessor count(&thing, "Count");
  big.ReadValue();  // another accessor gives what its Value holds
  EXPECT_THROW(count.Assign(&big), Exception);
  EXPECT_EQ(thing.count_, 9);

  TvpPropAccessor code(&thing, "Code");
  EXPECT_THROW(code.SetAsString("toolong"), ERSError);
  code.SetAsString("abcd");
  EXPECT_EQ(thing.code_, "abcd");
}

TEST(PublishedProperties, ComponentsTravelAsHandlesOfLiveComponents) {
  TThing thing(nullptr);
  auto* buddy = new TThing(nullptr);
  thing.buddy_ = buddy;
  thing.FreeNotification(buddy);
  TvpPropAccessor a(&thing, "Buddy");
  const int handle = a.AsInteger();
  EXPECT_NE(handle, 0);
  EXPECT_EQ(ComponentOfHandle(handle), buddy);
  EXPECT_EQ(ComponentHandle(buddy), handle);  // the same while it lives
  EXPECT_EQ(ComponentHandle(nullptr), 0);

  TThing target(nullptr);
  TvpPropAccessor b(&target, "Buddy");
  b.SetAsInteger(handle);
  EXPECT_EQ(target.buddy_, buddy);
  b.SetAsInteger(0);
  EXPECT_EQ(target.buddy_, nullptr);

  buddy->Free();
  EXPECT_EQ(thing.buddy_, nullptr);
  // The handle of a destroyed component, or a number never given, reaches nothing.
  for (int stale : {handle, handle + 1000, -7}) {
    SCOPED_TRACE(stale);
    EXPECT_THROW(b.SetAsInteger(stale), ERSError);
    EXPECT_EQ(target.buddy_, nullptr);
  }
  TThing again(nullptr);
  EXPECT_NE(ComponentHandle(&again), handle);  // handles are never given twice
}

// The units' shut-down frees the handles with the rest of the grid's objects;
// the components they knew live on without them, and a number is still never
// given twice.
TEST(PublishedProperties, TheUnitsShutDownForgetsTheHandlesButNeverRepeatsANumber) {
  auto* kept = new TThing(nullptr);
  const int before = ComponentHandle(kept);
  FinalizeUnits();
  EXPECT_THROW(ComponentOfHandle(before), ERSError);
  const int after = ComponentHandle(kept);
  EXPECT_GT(after, before);
  EXPECT_EQ(ComponentOfHandle(after), kept);
  FinalizeUnits();
  kept->Free();  // tells no freed registry of its end
  TThing other(nullptr);
  EXPECT_GT(ComponentHandle(&other), after);
}

TEST(PublishedProperties, MissingAndReadOnlyPropertiesFailClearly) {
  TThing thing(nullptr);
  TvpPropAccessor missing(&thing, "Nothing");
  EXPECT_FALSE(missing.Available());
  EXPECT_TRUE(missing.ReadOnly());
  EXPECT_EQ(missing.DataType(), ftUnknown);
  try {
    missing.AsInteger();
    FAIL();
  } catch (const ERSError& e) {
    EXPECT_EQ(e.Message(), "Value is not available");
  }
  EXPECT_THROW(missing.IsEmpty(), ERSError);
  TvpPropAccessor serial(&thing, "Serial");
  try {
    serial.SetAsInteger(1);
    FAIL();
  } catch (const ERSError& e) {
    EXPECT_EQ(e.Message(), "'Serial' is read-only property");
  }
  EXPECT_TRUE(serial.Value().IsNull());
}

}  // namespace prop_test

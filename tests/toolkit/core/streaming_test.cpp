// Component streaming: the binary stream written from published and extra
// properties and read back into an existing root, and the converters between
// the binary and the text form.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/object_text.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/colors.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/objtext.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"

namespace streaming_test {

enum TStrmAlign { talLeft, talRight, talCenter };
enum TStrmStyle { stBold, stItalic, stUnderline };
using TStrmStyles = TSet<TStrmStyle>;

const TTypeInfo& AlignType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TStrmAlign", {"talLeft", "talRight", "talCenter"});
  return t;
}
const TTypeInfo& StyleType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TStrmStyle", {"stBold", "stItalic", "stUnderline"});
  return t;
}
const TTypeInfo& StylesType() {
  static const TTypeInfo t = TTypeInfo::SetOf("TStrmStyles", StyleType());
  return t;
}

// A font-like sub-object: streamed as dotted properties of its holder.
class TStrmFont : public TPersistent {
  KIV7_PERSISTENT(TStrmFont)

 public:
  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& v) { name_ = v; }
  TColor Color() const { return color_; }
  void SetColor(TColor v) { color_ = v; }
  TStrmStyles Style() const { return style_; }
  void SetStyle(TStrmStyles v) { style_ = v; }

 private:
  AnsiString name_;
  TColor color_ = clWindowText;
  TStrmStyles style_;
};

const TClassInfo& TStrmFont::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TStrmFont>, "TStrmFont", &TPersistent::StaticClassInfo(), [](TPublisher<TStrmFont>& p) {
        p.String("Name", &TStrmFont::Name, &TStrmFont::SetName);
        p.Ordinal("Color", TypeInfoTColor(), &TStrmFont::Color, &TStrmFont::SetColor).WithDefault(clWindowText);
        p.Ordinal("Style", StylesType(), &TStrmFont::Style, &TStrmFont::SetStyle).WithDefault(0);
      });
  return info;
}

// A grid-column-like item: published properties with defaults, a font and the
// extra property "SortOrder" written only when it is not -1.
class TStrmColumn : public TCollectionItem {
  KIV7_PERSISTENT(TStrmColumn)

 public:
  using TCollectionItem::TCollectionItem;
  const AnsiString& FieldName() const { return field_name_; }
  void SetFieldName(const AnsiString& v) { field_name_ = v; }
  int Width() const { return width_; }
  void SetWidth(int v) { width_ = v; }
  TStrmAlign Alignment() const { return alignment_; }
  void SetAlignment(TStrmAlign v) { alignment_ = v; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  TStrmFont* Font() const { return font_.get(); }
  int SortOrder() const { return sort_order_; }
  void SetSortOrder(int v) { sort_order_ = v; }

  void DefineProperties(TFiler& filer) override {
    filer.DefineProperty(
        "SortOrder", [this](TReader& r) { sort_order_ = static_cast<int>(r.ReadInteger()); },
        [this](TWriter& w) { w.WriteInteger(sort_order_); }, sort_order_ != -1);
  }

 private:
  AnsiString field_name_;
  int width_ = 64;
  TStrmAlign alignment_ = talLeft;
  bool visible_ = true;
  std::unique_ptr<TStrmFont> font_ = std::make_unique<TStrmFont>();
  int sort_order_ = -1;
};

const TClassInfo& TStrmColumn::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TStrmColumn>, "TStrmColumn", &TCollectionItem::StaticClassInfo(), [](TPublisher<TStrmColumn>& p) {
        p.String("FieldName", &TStrmColumn::FieldName, &TStrmColumn::SetFieldName);
        p.Integer("Width", &TStrmColumn::Width, &TStrmColumn::SetWidth).WithDefault(64);
        p.Ordinal("Alignment", AlignType(), &TStrmColumn::Alignment, &TStrmColumn::SetAlignment).WithDefault(talLeft);
        p.Boolean("Visible", &TStrmColumn::Visible, &TStrmColumn::SetVisible).WithDefault(1);
        p.Object("Font", TStrmFont::StaticClassInfo(), &TStrmColumn::Font);
      });
  return info;
}

// Counts the change reports, to see that a read list reports once.
class TStrmColumns : public TCollection {
 public:
  TStrmColumns() : TCollection([](TCollection* c) { return new TStrmColumn(c); }) {}
  TStrmColumn* Column(int i) const { return static_cast<TStrmColumn*>(Items(i)); }
  int updates = 0;

 protected:
  void Update(TCollectionItem*) override { ++updates; }
};

// A wrapper component for a persistent that is not one: Description and Data.
class TStrmStorage : public TComponent {
  KIV7_PERSISTENT(TStrmStorage)

 public:
  using TComponent::TComponent;
  const AnsiString& Description() const { return description_; }
  void SetDescription(const AnsiString& v) { description_ = v; }
  TPersistent* Data() const { return data_; }
  void SetData(TPersistent* v) { data_ = v; }

 private:
  AnsiString description_;
  TPersistent* data_ = nullptr;
};

const TClassInfo& TStrmStorage::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TStrmStorage>, "TStrmStorage", &TComponent::StaticClassInfo(), [](TPublisher<TStrmStorage>& p) {
        p.String("Description", &TStrmStorage::Description, &TStrmStorage::SetDescription);
        p.Object("Data", TPersistent::StaticClassInfo(), &TStrmStorage::Data, &TStrmStorage::SetData);
      });
  return info;
}

// A child made by class name when a stream names it.
class TStrmChild : public TComponent {
  KIV7_PERSISTENT(TStrmChild)

 public:
  using TComponent::TComponent;
  int Value() const { return value_; }
  void SetValue(int v) { value_ = v; }
  void Loaded() override {
    TComponent::Loaded();
    ++loaded;
  }
  int loaded = 0;

 private:
  int value_ = 0;
};

const TClassInfo& TStrmChild::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TStrmChild>, "TStrmChild", &TComponent::StaticClassInfo(),
      [](TPublisher<TStrmChild>& p) { p.Integer("Value", &TStrmChild::Value, &TStrmChild::SetValue).WithDefault(0); });
  return info;
}

// One property of every kind, a collection, a sub-object, a reference and a
// binary extra property.
class TStrmRoot : public TComponent {
  KIV7_PERSISTENT(TStrmRoot)

 public:
  using TComponent::TComponent;
  int Int() const { return int_; }
  void SetInt(int v) { int_ = v; }
  int64_t Big() const { return big_; }
  void SetBig(int64_t v) { big_ = v; }
  bool Flag() const { return flag_; }
  void SetFlag(bool v) { flag_ = v; }
  char Letter() const { return letter_; }
  void SetLetter(char v) { letter_ = v; }
  double Ratio() const { return ratio_; }
  void SetRatio(double v) { ratio_ = v; }
  double When() const { return when_; }
  void SetWhen(double v) { when_ = v; }
  const AnsiString& Text() const { return text_; }
  void SetText(const AnsiString& v) { text_ = v; }
  const AnsiString& Wide() const { return wide_; }
  void SetWide(const AnsiString& v) { wide_ = v; }
  const Variant& Value() const { return value_; }
  void SetValue(const Variant& v) { value_ = v; }
  TStrmStyles Styles() const { return styles_; }
  void SetStyles(TStrmStyles v) { styles_ = v; }
  TStrmAlign Align() const { return align_; }
  void SetAlign(TStrmAlign v) { align_ = v; }
  TColor Color() const { return color_; }
  void SetColor(TColor v) { color_ = v; }
  TStrmFont* Font() const { return font_.get(); }
  TStrmColumns* Columns() const { return columns_.get(); }
  TComponent* Buddy() const { return buddy_; }
  void SetBuddy(TComponent* v) { buddy_ = v; }
  std::string blob;

  void DefineProperties(TFiler& filer) override {
    filer.DefineBinaryProperty(
        "Blob", object_text::ReadInto(blob),
        [this](TStream& s) { s.WriteBuffer(blob.data(), static_cast<int64_t>(blob.size())); }, !blob.empty());
  }

 private:
  int int_ = 0;
  int64_t big_ = 0;
  bool flag_ = false;
  char letter_ = 'a';
  double ratio_ = 0;
  double when_ = 0;
  AnsiString text_;
  AnsiString wide_;
  Variant value_;
  TStrmStyles styles_;
  TStrmAlign align_ = talLeft;
  TColor color_ = clWindow;
  std::unique_ptr<TStrmFont> font_ = std::make_unique<TStrmFont>();
  std::unique_ptr<TStrmColumns> columns_ = std::make_unique<TStrmColumns>();
  TComponent* buddy_ = nullptr;
};

const TClassInfo& TStrmRoot::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TStrmRoot>, "TStrmRoot", &TComponent::StaticClassInfo(), [](TPublisher<TStrmRoot>& p) {
        p.Integer("Int", &TStrmRoot::Int, &TStrmRoot::SetInt).WithDefault(0);
        p.Ordinal("Big", TypeInfoInt64(), &TStrmRoot::Big, &TStrmRoot::SetBig);
        p.Boolean("Flag", &TStrmRoot::Flag, &TStrmRoot::SetFlag).WithDefault(0);
        p.Ordinal("Letter", TypeInfoChar(), &TStrmRoot::Letter, &TStrmRoot::SetLetter).WithDefault('a');
        p.Float("Ratio", &TStrmRoot::Ratio, &TStrmRoot::SetRatio);
        p.Float("When", TypeInfoTDateTime(), &TStrmRoot::When, &TStrmRoot::SetWhen);
        p.String("Text", &TStrmRoot::Text, &TStrmRoot::SetText);
        p.String("Wide", TypeInfoWideString(), &TStrmRoot::Wide, &TStrmRoot::SetWide);
        p.VariantValue("Value", &TStrmRoot::Value, &TStrmRoot::SetValue);
        p.Ordinal("Styles", StylesType(), &TStrmRoot::Styles, &TStrmRoot::SetStyles).WithDefault(0);
        p.Ordinal("Align", AlignType(), &TStrmRoot::Align, &TStrmRoot::SetAlign).WithDefault(talLeft);
        p.Ordinal("Color", TypeInfoTColor(), &TStrmRoot::Color, &TStrmRoot::SetColor).WithDefault(clWindow);
        p.Object("Font", TStrmFont::StaticClassInfo(), &TStrmRoot::Font);
        p.Object("Columns", TCollection::StaticClassInfo(), &TStrmRoot::Columns).StoredWhen([](const TPersistent& o) {
          return static_cast<const TStrmRoot&>(o).Columns()->Count() > 0;
        });
        p.Object("Buddy", TComponent::StaticClassInfo(), &TStrmRoot::Buddy, &TStrmRoot::SetBuddy);
      });
  return info;
}

struct RegisterTestClasses {
  RegisterTestClasses() { RegisterClass(TStrmChild::StaticClassInfo()); }
};
const RegisterTestClasses kRegistered;

std::string WriteBinary(TComponent* root) {
  TMemoryStream stream;
  TWriter(stream).WriteRootComponent(root);
  return std::string(stream.Bytes());
}

void ReadBinary(const std::string& bytes, TComponent* root) {
  TStringStream stream(bytes);
  TReader(stream).ReadRootComponent(root);
}

using object_text::BinaryToText;
using object_text::TextToBinary;

std::string ToText(TComponent* root) { return BinaryToText(WriteBinary(root)); }
void FromText(const std::string& text, TComponent* root) { ReadBinary(TextToBinary(text), root); }

// The message of the toolkit error E that f raises ("" when none is raised).
template <class E, class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "";
}

// ---- Value kinds --------------------------------------------------------------------

TEST(ComponentStream, EveryValueKindIsWrittenAsTextAndReadBack) {
  struct Case {
    const char* what;
    std::function<void(TStrmRoot&)> set;
    const char* line;  // the property's line in the text form
  };
  const std::vector<Case> cases = {
      {"small integer", [](TStrmRoot& r) { r.SetInt(-5); }, "  Int = -5"},
      {"16-bit integer", [](TStrmRoot& r) { r.SetInt(1000); }, "  Int = 1000"},
      {"32-bit integer", [](TStrmRoot& r) { r.SetInt(-2147483647 - 1); }, "  Int = -2147483648"},
      {"64-bit integer", [](TStrmRoot& r) { r.SetBig(int64_t{1} << 40); }, "  Big = 1099511627776"},
      {"Boolean", [](TStrmRoot& r) { r.SetFlag(true); }, "  Flag = True"},
      {"char", [](TStrmRoot& r) { r.SetLetter('Z'); }, "  Letter = 'Z'"},
      {"float", [](TStrmRoot& r) { r.SetRatio(-2.5); }, "  Ratio = -2.5"},
      {"float needing 17 digits", [](TStrmRoot& r) { r.SetRatio(0.1 + 0.2); }, "  Ratio = 0.30000000000000004"},
      {"date", [](TStrmRoot& r) { r.SetWhen(45000.75); }, "  When = 45000.75d"},
      {"string", [](TStrmRoot& r) { r.SetText("abc"); }, "  Text = 'abc'"},
      {"wide string with Cyrillic", [](TStrmRoot& r) { r.SetWide(Utf8ToAnsi("Ая")); }, "  Wide = #1040#1103"},
      {"variant integer", [](TStrmRoot& r) { r.SetValue(Variant(7)); }, "  Value = 7"},
      {"variant string", [](TStrmRoot& r) { r.SetValue(Variant("x")); }, "  Value = 'x'"},
      {"variant currency", [](TStrmRoot& r) { r.SetValue(Variant(Currency::FromScaled(-12345))); },
       "  Value = -1.2345c"},
      {"variant null", [](TStrmRoot& r) { r.SetValue(Variant::MakeNull()); }, "  Value = Null"},
      {"set",
       [](TStrmRoot& r) {
         r.SetStyles(TStrmStyles{stBold, stUnderline});
       },
       "  Styles = [stBold, stUnderline]"},
      {"enumeration", [](TStrmRoot& r) { r.SetAlign(talCenter); }, "  Align = talCenter"},
      {"colour identifier", [](TStrmRoot& r) { r.SetColor(clRed); }, "  Color = clRed"},
      {"colour number", [](TStrmRoot& r) { r.SetColor(0x123456); }, "  Color = 1193046"},
      {"sub-object", [](TStrmRoot& r) { r.Font()->SetStyle(TStrmStyles{stItalic}); }, "  Font.Style = [stItalic]"},
      {"binary", [](TStrmRoot& r) { r.blob = std::string("\x01\xAB", 2); }, "  Blob = {01AB}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TStrmRoot written(nullptr);
    c.set(written);
    const std::string text = ToText(&written);
    EXPECT_EQ(text, std::string("object TStrmRoot\r\n") + c.line + "\r\nend\r\n");

    // Through the text and through the binary form alike.
    for (bool via_text : {false, true}) {
      TStrmRoot read(nullptr);
      if (via_text) {
        FromText(text, &read);
      } else {
        ReadBinary(WriteBinary(&written), &read);
      }
      for (const TPropInfo* prop : GetPropList(TStrmRoot::StaticClassInfo(), tkAny)) {
        if (prop->Kind() == tkClass) continue;
        SCOPED_TRACE(prop->Name);
        Variant a = GetVariantProp(&written, *prop);
        Variant b = GetVariantProp(&read, *prop);
        EXPECT_EQ(a.VarType(), b.VarType());
        if (!a.IsNull() && !a.IsEmpty()) {
          EXPECT_EQ(a.AsString(), b.AsString());
        }
      }
      EXPECT_EQ(read.Font()->Style().Bits(), written.Font()->Style().Bits());
      EXPECT_EQ(read.blob, written.blob);
    }
  }
}

TEST(ComponentStream, IntegersTakeTheSmallestKindAndFloatsTheTenByteForm) {
  struct Case {
    int64_t value;
    std::string bytes;  // kind byte and payload
  };
  const std::vector<Case> cases = {
      {127, std::string("\x02\x7F", 2)},
      {-128, std::string("\x02\x80", 2)},
      {128, std::string("\x03\x80\x00", 3)},
      {-32769, std::string("\x04\xFF\x7F\xFF\xFF", 5)},
      {int64_t{1} << 32, std::string("\x13\x00\x00\x00\x00\x01\x00\x00\x00", 9)},
  };
  for (const Case& c : cases) {
    TMemoryStream stream;
    TWriter(stream).WriteInteger(c.value);
    EXPECT_EQ(std::string(stream.Bytes()), c.bytes) << c.value;
    stream.SetPosition(0);
    EXPECT_EQ(TReader(stream).ReadInteger(), c.value);
  }

  // 1.0 is mantissa 0x8000000000000000 with exponent 0x3FFF.
  unsigned char ext[10];
  DoubleToExtended(1.0, ext);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ext), 10), std::string("\0\0\0\0\0\0\0\x80\xFF\x3F", 10));
  for (double v : {0.0, -0.0, 1.0, -3.75, 1e300, 4.9406564584124654e-324, 2.2250738585072014e-308, 123456.789}) {
    DoubleToExtended(v, ext);
    double back = ExtendedToDouble(ext);
    EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << v;
  }
}

TEST(ComponentStream, RootHeaderNamesAndChildComponents) {
  TStrmRoot written(nullptr);
  written.SetName("Form1");
  auto* child = new TStrmChild(&written);
  child->SetName("Child1");
  child->SetValue(42);
  written.SetBuddy(child);  // a reference to a component that comes later in the stream
  const std::string text = ToText(&written);
  EXPECT_EQ(text,
            "object Form1: TStrmRoot\r\n"
            "  Buddy = Child1\r\n"
            "  object Child1: TStrmChild\r\n"
            "    Value = 42\r\n"
            "  end\r\n"
            "end\r\n");

  TStrmRoot read(nullptr);
  FromText(text, &read);
  EXPECT_EQ(read.Name(), "Form1");
  ASSERT_EQ(read.ComponentCount(), 1);
  auto* made = dynamic_cast<TStrmChild*>(read.Components(0));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->Name(), "Child1");
  EXPECT_EQ(made->Value(), 42);
  EXPECT_EQ(made->loaded, 1);
  EXPECT_EQ(read.Buddy(), made);
  EXPECT_FALSE(read.ComponentState().Contains(csLoading));

  // An existing child of that name is read into, not duplicated.
  TStrmRoot again(nullptr);
  auto* existing = new TStrmChild(&again);
  existing->SetName("Child1");
  FromText(text, &again);
  EXPECT_EQ(again.ComponentCount(), 1);
  EXPECT_EQ(existing->Value(), 42);
}

// ---- Column layout text ----------------------------------------------------------

TEST(ComponentStream, ColumnCollectionTextIsExact) {
  TStrmColumns columns;
  auto* n = static_cast<TStrmColumn*>(columns.Add());
  n->SetFieldName("N");
  n->SetWidth(69);
  n->SetAlignment(talCenter);
  auto* m = static_cast<TStrmColumn*>(columns.Add());
  m->SetFieldName("M");
  m->SetVisible(false);
  m->Font()->SetName("Arial");
  m->Font()->SetColor(clRed);
  m->SetSortOrder(0);
  TStrmStorage storage(nullptr);
  storage.SetData(&columns);

  EXPECT_EQ(ToText(&storage),
            "object TStrmStorage\r\n"
            "  Data = <\r\n"
            "    item\r\n"
            "      FieldName = 'N'\r\n"
            "      Width = 69\r\n"
            "      Alignment = talCenter\r\n"
            "    end\r\n"
            "    item\r\n"
            "      FieldName = 'M'\r\n"
            "      Visible = False\r\n"
            "      Font.Name = 'Arial'\r\n"
            "      Font.Color = clRed\r\n"
            "      SortOrder = 0\r\n"
            "    end>\r\n"
            "end\r\n");

  storage.SetDescription("layout");
  columns.Clear();
  EXPECT_EQ(ToText(&storage),
            "object TStrmStorage\r\n"
            "  Description = 'layout'\r\n"
            "  Data = <>\r\n"
            "end\r\n");
}

TEST(ComponentStream, CollectionsReplaceItemsUnlessTheStoredListIsEmpty) {
  struct Case {
    const char* what;
    std::string data;                   // the Data value in the text
    std::vector<std::string> expected;  // field names after reading
    int sort_order_of_first;
  };
  const std::vector<Case> cases = {
      {"empty list keeps the items", "<>", {"old1", "old2"}, -1},
      {"items replace the old ones",
       "<\r\n    item\r\n      FieldName = 'a'\r\n      SortOrder = 3\r\n    end\r\n    item\r\n      FieldName = "
       "'b'\r\n"
       "    end>",
       {"a", "b"},
       3},
      {"an item with an order is read too", "<\r\n    item [5]\r\n      FieldName = 'c'\r\n    end>", {"c"}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TStrmColumns columns;
    static_cast<TStrmColumn*>(columns.Add())->SetFieldName("old1");
    static_cast<TStrmColumn*>(columns.Add())->SetFieldName("old2");
    columns.updates = 0;
    TStrmStorage storage(nullptr);
    storage.SetData(&columns);
    FromText("object TStrmStorage\r\n  Data = " + c.data + "\r\nend\r\n", &storage);
    ASSERT_EQ(columns.Count(), static_cast<int>(c.expected.size()));
    for (int i = 0; i < columns.Count(); ++i) EXPECT_EQ(columns.Column(i)->FieldName(), c.expected[i]);
    EXPECT_EQ(columns.Column(0)->SortOrder(), c.sort_order_of_first);
    // One change for the whole list.
    EXPECT_EQ(columns.updates, 1);
  }
}

TEST(ComponentStream, FailuresKeepTheItemsReadBeforeThem) {
  struct Case {
    const char* item_line;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"Bogus = 1", "Property Bogus does not exist"},       {"Font.Bogus = 1", "Property Font.Bogus does not exist"},
      {"Alignment = talNowhere", "Invalid property value"}, {"Font.Style = [stBold, stNone]", "Invalid property value"},
      {"Width = 'wide'", "Invalid property value"},         {"Width = 4294967296", "Invalid property value"},
      {"FieldName = 5", "Invalid property value"},          {"Visible = Yes", "Invalid property value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item_line);
    TStrmColumns columns;
    TStrmStorage storage(nullptr);
    storage.SetData(&columns);
    const std::string text =
        std::string("object TStrmStorage\r\n  Data = <\r\n    item\r\n      FieldName = 'kept'\r\n") +
        "    end\r\n    item\r\n      " + c.item_line + "\r\n    end>\r\nend\r\n";
    EXPECT_EQ(ErrorOf<EReadError>([&] { FromText(text, &storage); }), c.message);
    ASSERT_GE(columns.Count(), 1);
    EXPECT_EQ(columns.Column(0)->FieldName(), "kept");
    EXPECT_EQ(columns.UpdateCount(), 0);
  }
}

// ---- Strings ----------------------------------------------------------------------

// A component with a string list, as an edit with lines would have.
class TStrmLines : public TComponent {
  KIV7_PERSISTENT(TStrmLines)

 public:
  using TComponent::TComponent;
  TStringList lines;
};

const TClassInfo& TStrmLines::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TStrmLines>, "TStrmLines", &TComponent::StaticClassInfo(), [](TPublisher<TStrmLines>& p) {
        p.Object("Lines", TStrings::StaticClassInfo(),
                 [](const TStrmLines& o) -> TPersistent* { return const_cast<TStringList*>(&o.lines); });
      });
  return info;
}

std::vector<std::string> LinesOf(const TStrings& lines) {
  std::vector<std::string> out;
  for (int i = 0; i < lines.Count(); ++i) out.push_back(lines.Strings(i));
  return out;
}

// The lines travel as the list "Strings" of the property; reading them
// replaces what the list held, and an empty list is left out of the form.
TEST(ComponentStream, AStringListTravelsAsItsLines) {
  const std::vector<std::vector<std::string>> cases = {
      {"one", "", "it's", Utf8ToAnsi("Прочность"), std::string(70, 'w')},
      {"single"},
  };
  for (const auto& lines : cases) {
    SCOPED_TRACE(lines.front());
    TStrmLines written(nullptr);
    for (const std::string& line : lines) written.lines.Add(line);
    const std::string text = ToText(&written);
    EXPECT_NE(text.find("  Lines.Strings = (\r\n"), std::string::npos) << text;
    TStrmLines read(nullptr);
    read.lines.Add("old");
    FromText(text, &read);
    EXPECT_EQ(LinesOf(read.lines), lines);
    EXPECT_EQ(WriteBinary(&read), WriteBinary(&written));
  }
  TStrmLines empty(nullptr);
  EXPECT_EQ(ToText(&empty), "object TStrmLines\r\nend\r\n");
  TStrmLines read(nullptr);
  FromText("object TStrmLines\r\n  Lines.Strings = (\r\n    'a'\r\n    'b')\r\nend\r\n", &read);
  EXPECT_EQ(LinesOf(read.lines), (std::vector<std::string>{"a", "b"}));
}

TEST(ComponentStream, StringsAreQuotedWithCodesAndBrokenEvery64Characters) {
  const std::string a64(64, 'a');
  const std::string b70(70, 'b');
  struct Case {
    const char* what;
    std::string value;
    std::string text;  // what follows "  Text = "
  };
  const std::vector<Case> cases = {
      {"empty string is not written", "", ""},
      {"quote and controls as codes", "it's\r\n\tok", "'it'#39's'#13#10#9'ok'"},
      {"a leading code", "\x01x", "#1'x'"},
      {"Cyrillic as it is", Utf8ToAnsi("Ширина «N»"), "'" + Utf8ToAnsi("Ширина «N»") + "'"},
      {"64 characters on one line", a64, "'" + a64 + "'"},
      {"65 characters on a new line, broken after 64", a64 + "z", "\r\n    '" + a64 + "' +\r\n    'z'"},
      {"codes count as one character each", std::string(63, 'c') + "''d",
       "\r\n    '" + std::string(63, 'c') + "'#39 +\r\n    #39'd'"},
      {"two full lines and a rest", b70 + b70,
       "\r\n    '" + std::string(64, 'b') + "' +\r\n    '" + std::string(64, 'b') + "' +\r\n    '" +
           std::string(12, 'b') + "'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TStrmRoot written(nullptr);
    written.SetText(c.value);
    const std::string text = ToText(&written);
    const std::string expected =
        c.value.empty() ? "object TStrmRoot\r\nend\r\n" : "object TStrmRoot\r\n  Text = " + c.text + "\r\nend\r\n";
    EXPECT_EQ(text, expected);
    TStrmRoot read(nullptr);
    FromText(text, &read);
    EXPECT_EQ(read.Text(), c.value);
    EXPECT_EQ(TextToBinary(text), WriteBinary(&written));
  }
}

TEST(ComponentStream, BinaryDataOf32BytesOrMoreGoesOnLinesOf32) {
  struct Case {
    size_t size;
    std::string text;
  };
  const std::string line32 = [] {
    std::string s;
    for (int i = 0; i < 32; ++i) s += "0F";
    return s;
  }();
  const std::vector<Case> cases = {
      {31, "{" + line32.substr(0, 62) + "}"},
      {32, "{\r\n    " + line32 + "}"},
      {33, "{\r\n    " + line32 + "\r\n    0F}"},
  };
  for (const Case& c : cases) {
    TStrmRoot written(nullptr);
    written.blob.assign(c.size, '\x0F');
    const std::string text = ToText(&written);
    EXPECT_EQ(text, "object TStrmRoot\r\n  Blob = " + c.text + "\r\nend\r\n") << c.size;
    TStrmRoot read(nullptr);
    FromText(text, &read);
    EXPECT_EQ(read.blob, written.blob);
  }
}

// ---- Text form --------------------------------------------------------------------

TEST(ObjectText, TextToBinaryToTextIsTheSameText) {
  const std::vector<std::string> texts = {
      "object Form1: TStrmRoot\r\n"
      "  Int = -300\r\n"
      "  Ratio = 1.5e-10\r\n"
      "  Single = 0.25s\r\n"
      "  Money = 922337203685477.5807c\r\n"
      "  Least = -922337203685477.5808c\r\n"
      "  Whole = -2.0\r\n"
      "  Styles = []\r\n"
      "  List = (\r\n"
      "    1\r\n"
      "    'two'\r\n"
      "    (\r\n"
      "      nil))\r\n"
      "  Wide = 'x'#1071#128\r\n"
      "  Ref = Form2.Button1\r\n"
      "  Items = <\r\n"
      "    item [2]\r\n"
      "      Sub.Deep.Name = #0\r\n"
      "    end\r\n"
      "    item\r\n"
      "    end>\r\n"
      "  inherited Child: TStrmChild [3]\r\n"
      "    Value = True\r\n"
      "  end\r\n"
      "  inline Other: TStrmChild\r\n"
      "  end\r\n"
      "end\r\n",
  };
  for (const std::string& text : texts) EXPECT_EQ(BinaryToText(TextToBinary(text)), text);
}

TEST(ObjectText, TheParserIsLenientAboutLayoutButNotAboutValues) {
  // Blanks, line breaks and '' inside quotes, "+" joins and "$" hex are read.
  const std::string loose = "object   TStrmRoot Int=$10 Text='a''b'+\n #65 Color = clRed\n\nend";
  EXPECT_EQ(BinaryToText(TextToBinary(loose)),
            "object TStrmRoot\r\n  Int = 16\r\n  Text = 'a'#39'bA'\r\n  Color = clRed\r\nend\r\n");
}

TEST(ObjectText, MalformedTextRaisesParserErrorsWithTheLine) {
  struct Case {
    std::string text;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"", "Object expected on line 1"},
      {"thing TX\r\nend", "Object expected on line 1"},
      {"object\r\n", "Identifier expected on line 2"},
      {"object TX\r\n  A 1\r\nend", "'=' expected on line 2"},
      {"object TX\r\n  A =\r\nend", "'end' expected on line 3"},
      {"object TX\r\n  A = )\r\nend", "Value expected on line 2"},
      {"object TX\r\n  A = 'open\r\nend", "Unterminated string on line 2"},
      {"object TX\r\n  A = {0G}\r\nend", "Invalid binary value on line 2"},
      {"object TX\r\n  A = {012}\r\nend", "Invalid binary value on line 2"},
      {"object TX\r\n  A = {01", "'}' expected on line 2"},
      {"object TX\r\n  A = [a b]\r\nend", "',' expected on line 2"},
      {"object TX\r\n  A = <\r\n  thing\r\n  end>\r\nend", "'item' expected on line 3"},
      {"object TX\r\n  A = 99999999999999999999\r\nend", "Invalid integer value on line 2"},
      {"object TX\r\n  A = 1.5x\r\nend", "Invalid number on line 2"},
      {"object TX\r\n  A = 1.00001c\r\nend", "Invalid currency value on line 2"},
      {"object TX\r\n  A = #70000\r\nend", "Invalid character code on line 2"},
      {"object TX\r\n  A = 'a' + 1\r\nend", "String expected on line 2"},
      {"object TX\r\n  A = (1 Null)\r\nend", "Value expected on line 2"},
      {"object TX\r\n  A = 1\r\n", "'end' expected on line 3"},
      {"object TX\r\nend\r\nend", "End of file expected on line 3"},
      {"object TX\r\n  A = " + std::string(100, '(') + "\r\nend", "Too deeply nested on line 2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf<EParserError>([&] { TextToBinary(c.text); }), c.message) << c.text;
  }
}

TEST(ObjectText, FloatsUseAPointWhateverTheLocale) {
  ScopedFormatSettings russian(TFormatSettings::Russian());
  TStrmRoot written(nullptr);
  written.SetRatio(1234.5);
  EXPECT_EQ(ToText(&written), "object TStrmRoot\r\n  Ratio = 1234.5\r\nend\r\n");
}

// ---- Damaged binary -----------------------------------------------------------------

TEST(ComponentStream, EveryTruncationOfAStreamIsAReadError) {
  TStrmRoot written(nullptr);
  written.SetName("Root");
  written.SetText(std::string(300, 'q'));
  written.SetWide(Utf8ToAnsi("ж"));
  written.SetRatio(2.5);
  written.SetStyles(TStrmStyles{stItalic});
  written.blob = "xyz";
  static_cast<TStrmColumn*>(written.Columns()->Add())->SetFieldName("F");
  (new TStrmChild(&written))->SetName("Kid");
  const std::string bytes = WriteBinary(&written);
  for (size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    const std::string cut = bytes.substr(0, length);
    EXPECT_THROW(BinaryToText(cut), EReadError);
    TStrmRoot read(nullptr);
    EXPECT_THROW(ReadBinary(cut, &read), EReadError);
  }
}

TEST(ComponentStream, DamagedStreamsAreRefused) {
  auto object = [](const std::string& body) { return std::string("TPF0\x09TStrmRoot\x00", 15) + body; };
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"no signature", "TPF1", "Invalid stream format"},
      {"unknown value kind", object(std::string("\x03Int\x7F", 5)), "Invalid stream format"},
      {"long string longer than the stream", object(std::string("\x04Text\x0C\xFF\xFF\xFF\x7F", 10)),
       "Invalid stream format"},
      {"binary longer than the stream",
       object(std::string("\x04"
                          "Blob\x0A\x00\x00\x00\x40",
                          10)),
       "Invalid stream format"},
      {"infinite float", object(std::string("\x05Ratio\x05\0\0\0\0\0\0\0\x80\xFF\x7F", 17)), "Invalid property value"},
      {"integer for a string", object(std::string("\x04Text\x02\x01", 7)), "Invalid property value"},
      {"unresolved reference",
       object(std::string("\x05"
                          "Buddy\x07\x04Nope\0\0",
                          14)),
       "Unresolved reference to Nope"},
      {"a list where a variant belongs", object("\x05Value" + std::string(200, '\x01')), "Invalid property value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TStrmRoot read(nullptr);
    EXPECT_EQ(ErrorOf<EReadError>([&] { ReadBinary(c.bytes, &read); }), c.message);
    EXPECT_FALSE(read.ComponentState().Contains(csLoading));
  }
  // The converter bounds nesting as well.
  EXPECT_EQ(ErrorOf<EReadError>([&] { BinaryToText(object("\x01X" + std::string(200, '\x01'))); }),
            "Stream nests too deeply");
  // A child of a class nobody registered.
  TStrmRoot read(nullptr);
  EXPECT_THROW(ReadBinary(TextToBinary("object TStrmRoot\r\n  object A: TNoSuchClass\r\n  end\r\nend"), &read),
               EClassNotFound);
}

}  // namespace streaming_test

// Objects as strings: a collection carried by TUniDataStorage through the
// text and the binary form of a component stream, and back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grid/rs_rtm.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"

namespace rtm_layout_test {

namespace {

enum TLayAlign { laLeft, laRight, laCenter };

const TTypeInfo &LayAlignType() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TLayAlign", {"laLeft", "laRight", "laCenter"});
  return t;
}

// A column-like item: a string, an integer and an enumeration with defaults,
// and the extra property "SortOrder" written only when it is not -1.
class TLayItem : public TCollectionItem {
  KIV7_PERSISTENT(TLayItem)

public:
  using TCollectionItem::TCollectionItem;
  const AnsiString &FieldName() const { return field_name_; }
  void SetFieldName(const AnsiString &v) { field_name_ = v; }
  int Width() const { return width_; }
  void SetWidth(int v) { width_ = v; }
  TLayAlign Alignment() const { return alignment_; }
  void SetAlignment(TLayAlign v) { alignment_ = v; }
  int SortOrder() const { return sort_order_; }
  void SetSortOrder(int v) { sort_order_ = v; }

  void DefineProperties(TFiler &filer) override {
    filer.DefineProperty(
        "SortOrder",
        [this](TReader &r) { sort_order_ = static_cast<int>(r.ReadInteger()); },
        [this](TWriter &w) { w.WriteInteger(sort_order_); }, sort_order_ != -1);
  }

private:
  AnsiString field_name_;
  int width_ = 64;
  TLayAlign alignment_ = laLeft;
  int sort_order_ = -1;
};

const TClassInfo &TLayItem::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TLayItem>, "TLayItem", &TCollectionItem::StaticClassInfo(),
      [](TPublisher<TLayItem> &p) {
        p.String("FieldName", &TLayItem::FieldName, &TLayItem::SetFieldName);
        p.Integer("Width", &TLayItem::Width, &TLayItem::SetWidth)
            .WithDefault(64);
        p.Ordinal("Alignment", LayAlignType(), &TLayItem::Alignment,
                  &TLayItem::SetAlignment)
            .WithDefault(laLeft);
      });
  return info;
}

class TLayItems : public TCollection {
public:
  TLayItems() : TCollection([](TCollection *c) { return new TLayItem(c); }) {}
  TLayItem *Item(int i) const { return static_cast<TLayItem *>(Items(i)); }
};

struct ItemValues {
  AnsiString field_name;
  int width = 64;
  TLayAlign alignment = laLeft;
  int sort_order = -1;
  bool operator==(const ItemValues &) const = default;
};

void Fill(TLayItems &items, const std::vector<ItemValues> &values) {
  items.Clear();
  for (const ItemValues &v : values) {
    auto *item = static_cast<TLayItem *>(items.Add());
    item->SetFieldName(v.field_name);
    item->SetWidth(v.width);
    item->SetAlignment(v.alignment);
    item->SetSortOrder(v.sort_order);
  }
}

std::vector<ItemValues> ValuesOf(const TLayItems &items) {
  std::vector<ItemValues> values;
  for (int i = 0; i < items.Count(); ++i) {
    const TLayItem *item = items.Item(i);
    values.push_back({item->FieldName(), item->Width(), item->Alignment(),
                      item->SortOrder()});
  }
  return values;
}

// "<class>: <message>" of the toolkit error that f raises ("" when none).
template <class F> std::string ErrorOf(F f) {
  try {
    f();
  } catch (const Exception &e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return "";
}

const AnsiString kCyrillic = Utf8ToAnsi("Цена");

struct LayoutCase {
  const char *what;
  AnsiString description;
  std::vector<ItemValues> items;
  AnsiString text;
};

const std::vector<LayoutCase> &LayoutCases() {
  static const std::vector<LayoutCase> cases = {
      {"one centred column",
       "",
       {{"N", 69, laCenter, -1}},
       "object TUniDataStorage\r\n"
       "  Data = <\r\n"
       "    item\r\n"
       "      FieldName = 'N'\r\n"
       "      Width = 69\r\n"
       "      Alignment = laCenter\r\n"
       "    end>\r\n"
       "end\r\n"},
      {"defaults left out, sort order 0 written, quote and Cyrillic",
       "",
       {{"a'b", 64, laLeft, 0},
        {kCyrillic, -5, laRight, -1},
        {"", 64, laLeft, -1}},
       "object TUniDataStorage\r\n"
       "  Data = <\r\n"
       "    item\r\n"
       "      FieldName = 'a'#39'b'\r\n"
       "      SortOrder = 0\r\n"
       "    end\r\n"
       "    item\r\n"
       "      FieldName = '" +
           kCyrillic +
           "'\r\n"
           "      Width = -5\r\n"
           "      Alignment = laRight\r\n"
           "    end\r\n"
           "    item\r\n"
           "    end>\r\n"
           "end\r\n"},
      {"description before the data, empty list",
       "grid 1",
       {},
       "object TUniDataStorage\r\n"
       "  Description = 'grid 1'\r\n"
       "  Data = <>\r\n"
       "end\r\n"},
  };
  return cases;
}

TEST(LayoutText, CollectionIsWrittenInsideTheStorage) {
  for (const LayoutCase &c : LayoutCases()) {
    SCOPED_TRACE(c.what);
    TLayItems items;
    Fill(items, c.items);
    EXPECT_EQ(PersistentToString(&items, c.description, true), c.text);
    // The storage did not take the collection with it.
    EXPECT_EQ(ValuesOf(items), c.items);
  }
}

TEST(LayoutText, TextAndBinaryFormsReadBackTheSameItems) {
  for (const LayoutCase &c : LayoutCases()) {
    for (bool as_text : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (as_text ? " (text)" : " (binary)"));
      TLayItems written;
      Fill(written, c.items);
      const AnsiString layout =
          PersistentToString(&written, c.description, as_text);
      EXPECT_EQ(layout.substr(0, 4), as_text ? "obje" : "TPF0");

      TLayItems read;
      Fill(read, {{"old", 1, laRight, 7}});
      StringToPersistent(&read, layout, as_text);
      // A stored empty list keeps what the target held; any other replaces it.
      const std::vector<ItemValues> expected =
          c.items.empty() ? std::vector<ItemValues>{{"old", 1, laRight, 7}}
                          : c.items;
      EXPECT_EQ(ValuesOf(read), expected);
    }
  }
}

TEST(LayoutText, BinaryFormIsTheStreamItself) {
  TLayItems items;
  Fill(items, {{"N", 69, laCenter, 2}});
  TUniDataStorage storage(nullptr);
  storage.SetData(&items);
  TMemoryStream stream;
  TWriter(stream).WriteRootComponent(&storage);
  EXPECT_EQ(PersistentToString(&items, "", false), AnsiString(stream.Bytes()));
  EXPECT_EQ(ComponentToString(&storage, false), AnsiString(stream.Bytes()));
}

TEST(LayoutText, EmptyTextReadsNothing) {
  for (bool as_text : {true, false}) {
    TLayItems items;
    Fill(items, {{"A", 10, laRight, 1}, {"B", 64, laLeft, -1}});
    StringToPersistent(&items, "", as_text);
    EXPECT_EQ(ValuesOf(items),
              (std::vector<ItemValues>{{"A", 10, laRight, 1},
                                       {"B", 64, laLeft, -1}}));

    TUniDataStorage storage(nullptr);
    storage.SetDescription("kept");
    EXPECT_EQ(StringToComponent(&storage, "", as_text), nullptr);
    EXPECT_EQ(storage.Description(), "kept");
  }
}

TEST(LayoutText, AComponentIsStreamedWithoutTheWrapper) {
  TLayItems items;
  Fill(items, {{"N", 69, laCenter, -1}});
  TComponent owner(nullptr);
  auto *storage = new TUniDataStorage(&owner);
  storage->SetName("Layout");
  storage->SetDescription("own");
  storage->SetData(&items);

  const AnsiString text = PersistentToString(storage, "ignored", true);
  EXPECT_EQ(text, ComponentToString(storage, true));
  EXPECT_EQ(text.substr(0, text.find('\r')), "object Layout: TUniDataStorage");
  EXPECT_NE(text.find("  Description = 'own'\r\n"), std::string::npos);
  EXPECT_EQ(text.find("ignored"), std::string::npos);

  TLayItems target;
  TUniDataStorage reader(nullptr);
  reader.SetData(&target);
  StringToPersistent(&reader, text, true);
  EXPECT_EQ(reader.Description(), "own");
  EXPECT_EQ(ValuesOf(target), ValuesOf(items));
  EXPECT_EQ(StringToComponent(&reader, text, true), &reader);
}

TEST(LayoutText, StoredDescriptionIsDroppedOnReading) {
  TLayItems target;
  StringToPersistent(&target,
                     "object TUniDataStorage\r\n  Description = 'x'\r\n  Data "
                     "= <\r\n    item\r\n"
                     "      Width = 3\r\n    end>\r\nend\r\n",
                     true);
  EXPECT_EQ(ValuesOf(target), (std::vector<ItemValues>{{"", 3, laLeft, -1}}));
}

// Every failure reaches the caller; the temporary storage is freed on the way
// (the sanitizer tree reports a leak otherwise) and items read before stay.
TEST(LayoutText, MalformedTextRaisesTheToolkitError) {
  const std::string kept = "object TUniDataStorage\r\n  Data = <\r\n    "
                           "item\r\n      FieldName = 'kept'\r\n    end\r\n";
  struct Case {
    std::string text;
    bool as_text;
    const char *error;
    const char *first_after; // the first item's field name after the failure
  };
  const std::vector<Case> cases = {
      {"object\r\n", true, "EParserError: Identifier expected on line 2",
       "before"},
      {kept + "    item\r\n      Width 5\r\n    end>\r\nend\r\n", true,
       "EParserError: '=' expected on line 7", "before"},
      {kept + "    item\r\n      Bogus = 1\r\n    end>\r\nend\r\n", true,
       "EReadError: Property Bogus does not exist", "kept"},
      {kept + "    item\r\n      Alignment = laNowhere\r\n    end>\r\nend\r\n",
       true, "EReadError: Invalid property value", "kept"},
      {"object TUniDataStorage\r\n  Other = 1\r\nend\r\n", true,
       "EReadError: Property Other does not exist", "before"},
      {"TPF1", false, "EReadError: Invalid stream format", "before"},
      {"object TUniDataStorage\r\nend\r\n", false,
       "EReadError: Invalid stream format", "before"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    TLayItems items;
    Fill(items, {{"before", 64, laLeft, -1}});
    EXPECT_EQ(ErrorOf([&] { StringToPersistent(&items, c.text, c.as_text); }),
              c.error);
    ASSERT_GE(items.Count(), 1);
    EXPECT_EQ(items.Item(0)->FieldName(), c.first_after);
  }
}

TEST(LayoutText, NoComponentIsRefused) {
  EXPECT_THROW(ComponentToString(nullptr, true), EInvalidPointer);
  EXPECT_THROW(
      StringToComponent(nullptr, "object TUniDataStorage\r\nend\r\n", true),
      EInvalidPointer);
}

} // namespace

}  // namespace rtm_layout_test

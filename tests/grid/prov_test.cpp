// Object data providers: objects, collections, string lists and quick record
// sets as numbered records with named field values.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "grid/rs_prov.h"
#include "grid/rs_str.h"
#include "toolkit/db/memdataset.h"

namespace prov_test {

const TTypeInfo& FlagType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TFlag", {"fA", "fB", "fC"});
  return t;
}
const TTypeInfo& FlagsType() {
  static const TTypeInfo t = TTypeInfo::SetOf("TFlags", FlagType());
  return t;
}

int g_items_alive = 0;

// A collection item with a text, a number, a set and a date.
class TPoolItem : public TCollectionItem {
  KIV7_PERSISTENT(TPoolItem)

 public:
  explicit TPoolItem(TCollection* c) : TCollectionItem(c) { ++g_items_alive; }
  ~TPoolItem() override { --g_items_alive; }
  AnsiString title_;
  int depth_ = 0;
  int flags_ = 0;
  double opened_ = 0;
};

const TClassInfo& TPoolItem::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TPoolItem>, "TPoolItem", &TCollectionItem::StaticClassInfo(), [](TPublisher<TPoolItem>& p) {
        p.String("Title", [](const TPoolItem& t) { return t.title_; },
                 [](TPoolItem& t, const AnsiString& v) { t.title_ = v; });
        p.Integer("Depth", [](const TPoolItem& t) { return t.depth_; },
                  [](TPoolItem& t, int64_t v) { t.depth_ = int(v); });
        p.Ordinal("Flags", FlagsType(), [](const TPoolItem& t) { return t.flags_; },
                  [](TPoolItem& t, int64_t v) { t.flags_ = int(v); });
        p.Float("Opened", TypeInfoTDateTime(), [](const TPoolItem& t) { return t.opened_; },
                [](TPoolItem& t, double v) { t.opened_ = v; });
      });
  return info;
}

struct Pools {
  TCollection items{[](TCollection* c) { return new TPoolItem(c); }};
  TPoolItem* Add(const char* title, int depth) {
    auto* item = static_cast<TPoolItem*>(items.Add());
    item->title_ = title;
    item->depth_ = depth;
    return item;
  }
  TPoolItem* At(int i) const { return static_cast<TPoolItem*>(items.Items(i)); }
};

// A value typed as the data set types its record values.
std::unique_ptr<TvpUniValue> ValueFor(const TFieldDefs& defs, const char* field) {
  auto v = std::make_unique<TvpUniValue>(false, false);
  v->SetDataType(defs.Find(field)->DataType());
  return v;
}

struct Fixture {
  TMemDataSet ds{nullptr};
  TodsObjectParams params;
};

TEST(DataProviders, ACollectionGivesOneRecordPerItem) {
  Fixture f;
  Pools pools;
  pools.Add("north", 3);
  pools.Add("south", 5);
  pools.Add("east", 7);
  TCollectionDataProvider p(&f.ds, f.params, &pools.items);
  EXPECT_EQ(p.LoadFieldDefs(f.ds.FieldDefs()), "Depth;Flags;Opened;Title");
  EXPECT_TRUE(p.IsList());
  EXPECT_EQ(p.RecordCount(), 3);
  EXPECT_EQ(f.ds.FieldDefs().Find("Opened")->DataType(), ftDateTime);

  auto title = ValueFor(f.ds.FieldDefs(), "Title");
  p.GetFieldValue("title", 1, *title);
  EXPECT_EQ(title->AsString(), "south");
  EXPECT_EQ(p.KeyOf(1), reinterpret_cast<TodsKey>(pools.At(1)));  // the item itself, whole
  EXPECT_EQ(p.IndexOfKey(p.KeyOf(2)), 2);
  EXPECT_EQ(p.ObjectAt(0), pools.At(0));

  const TodsKey gone = p.KeyOf(1);
  const int alive = g_items_alive;
  p.DeleteRecord(1);
  EXPECT_EQ(g_items_alive, alive - 1);
  EXPECT_EQ(p.IndexOfKey(gone), -1);
  EXPECT_EQ(p.RecordCount(), 2);
  EXPECT_EQ(pools.At(1)->title_, "east");

  EXPECT_EQ(p.InsertRecord(-1), 2);
  EXPECT_EQ(p.InsertRecord(0), 0);
  EXPECT_EQ(p.RecordCount(), 4);
  EXPECT_EQ(pools.At(1)->title_, "north");

  auto depth = ValueFor(f.ds.FieldDefs(), "Depth");
  depth->SetAsInteger(42);
  p.SetFieldValue("Depth", 3, *depth);
  EXPECT_EQ(pools.At(3)->depth_, 42);
}

TEST(DataProviders, AnEmptyCollectionStillHasItsFields) {
  Fixture f;
  Pools pools;
  TCollectionDataProvider p(&f.ds, f.params, &pools.items);
  EXPECT_EQ(p.LoadFieldDefs(f.ds.FieldDefs()), "Depth;Flags;Opened;Title");
  EXPECT_EQ(p.RecordCount(), 0);
  EXPECT_EQ(pools.items.Count(), 0);
  EXPECT_EQ(pools.items.NextID(), 0);  // nothing was added to find the item class
}

TEST(DataProviders, SetMembersReadAndWriteTheirOwnBit) {
  Fixture f;
  f.params.SetExpandSets(true);
  Pools pools;
  TPoolItem* item = pools.Add("x", 1);
  item->flags_ = 0b101;  // fA and fC
  TCollectionDataProvider p(&f.ds, f.params, &pools.items);
  EXPECT_EQ(p.LoadFieldDefs(f.ds.FieldDefs()), "Depth;Flags_fA;Flags_fB;Flags_fC;Opened;Title");
  auto member = ValueFor(f.ds.FieldDefs(), "Flags_fB");
  const struct {
    const char* field;
    bool on;
  } reads[] = {{"Flags_fA", true}, {"flags_fb", false}, {"Flags_fC", true}};
  for (const auto& r : reads) {
    SCOPED_TRACE(r.field);
    p.GetFieldValue(r.field, 0, *member);
    EXPECT_EQ(member->AsBoolean(), r.on);
  }
  member->SetAsBoolean(true);
  p.SetFieldValue("Flags_fB", 0, *member);
  EXPECT_EQ(item->flags_, 0b111);
  member->SetAsBoolean(false);
  p.SetFieldValue("Flags_fA", 0, *member);
  EXPECT_EQ(item->flags_, 0b110);
}

TEST(DataProviders, AFieldWithoutAPropertyReadsAndWritesNothing) {
  Fixture f;
  Pools pools;
  TPoolItem* item = pools.Add("keep", 9);
  TCollectionDataProvider p(&f.ds, f.params, &pools.items);
  p.LoadFieldDefs(f.ds.FieldDefs());
  TvpUniValue v(false, false);
  v.SetAsString("untouched");
  p.GetFieldValue("Colour", 0, v);
  EXPECT_EQ(v.AsString(), "untouched");
  p.SetFieldValue("Colour", 0, v);
  EXPECT_EQ(item->title_, "keep");
  EXPECT_EQ(item->depth_, 9);
}

TEST(DataProviders, EmptyValuesOfNullableTypesReadAsNull) {
  Fixture f;
  Pools pools;
  pools.Add("", 0);
  TCollectionDataProvider p(&f.ds, f.params, &pools.items);
  p.LoadFieldDefs(f.ds.FieldDefs());
  auto opened = ValueFor(f.ds.FieldDefs(), "Opened");
  auto depth = ValueFor(f.ds.FieldDefs(), "Depth");
  p.GetFieldValue("Opened", 0, *opened);
  EXPECT_FALSE(opened->IsNull());
  f.params.SetNullableTypes("TDateTime");
  f.params.SetNullableProperties("Depth");
  p.GetFieldValue("Opened", 0, *opened);
  p.GetFieldValue("Depth", 0, *depth);
  EXPECT_TRUE(opened->IsNull());
  EXPECT_TRUE(depth->IsNull());
  pools.At(0)->depth_ = 4;
  p.GetFieldValue("Depth", 0, *depth);
  EXPECT_EQ(depth->AsInteger(), 4);
}

TEST(DataProviders, TextLongerThanItsFieldIsCutWhenFetched) {
  Fixture f;
  f.params.SetStringLength(8);
  Pools pools;
  pools.Add("a title far longer than eight", 1);
  TCollectionDataProvider p(&f.ds, f.params, &pools.items);
  p.LoadFieldDefs(f.ds.FieldDefs());
  EXPECT_EQ(f.ds.FieldDefs().Find("Title")->Size(), 8);
  auto title = ValueFor(f.ds.FieldDefs(), "Title");
  p.GetFieldValue("Title", 0, *title);
  EXPECT_EQ(title->AsString(), "a title ");
  EXPECT_EQ(pools.At(0)->title_, "a title far longer than eight");  // the object keeps it whole

  TStringList lines;
  lines.Add(std::string(5000, 'x'));
  TStringsDataProvider sp(&f.ds, f.params, &lines);
  sp.LoadFieldDefs(f.ds.FieldDefs());
  auto value = ValueFor(f.ds.FieldDefs(), "value");
  sp.GetFieldValue("value", 0, *value);
  EXPECT_EQ(value->AsString().size(), 4096u);
}

TEST(DataProviders, AStringListGivesNumberedLines) {
  Fixture f;
  TStringList lines;
  lines.SetText("alpha\r\nbeta\r\ngamma\r\n");
  TStringsDataProvider p(&f.ds, f.params, &lines);
  EXPECT_EQ(p.LoadFieldDefs(f.ds.FieldDefs()), "no;value");
  EXPECT_TRUE(f.ds.FieldDefs().Find("no")->Attributes().Contains(faReadonly));
  EXPECT_EQ(f.ds.FieldDefs().Find("value")->Size(), 4096);
  auto no = ValueFor(f.ds.FieldDefs(), "no");
  auto value = ValueFor(f.ds.FieldDefs(), "value");
  p.GetFieldValue("no", 0, *no);
  p.GetFieldValue("value", 0, *value);
  EXPECT_EQ(no->AsInteger(), 0);
  EXPECT_EQ(value->AsString(), "alpha");
  p.GetFieldValue("no", 2, *no);
  EXPECT_EQ(no->AsInteger(), 2);
  EXPECT_EQ(p.IndexOfKey(p.KeyOf(2)), 2);
  EXPECT_EQ(p.IndexOfKey(3), -1);

  value->SetAsString("BETA");
  p.SetFieldValue("value", 1, *value);
  no->SetAsInteger(7);
  p.SetFieldValue("no", 1, *no);  // the number is not written
  EXPECT_EQ(lines.Text(), "alpha\r\nBETA\r\ngamma\r\n");
  EXPECT_EQ(p.InsertRecord(1), 1);
  EXPECT_EQ(p.InsertRecord(-1), 4);
  EXPECT_EQ(lines.Text(), "alpha\r\n\r\nBETA\r\ngamma\r\n\r\n");
  p.DeleteRecord(0);
  EXPECT_EQ(p.RecordCount(), 4);
  EXPECT_THROW(p.GetFieldValue("value", 4, *value), ERSError);
}

TEST(DataProviders, OneObjectIsOneRecord) {
  Fixture f;
  Pools pools;
  TPoolItem* item = pools.Add("solo", 2);
  TObjectDataProvider p(&f.ds, f.params, item);
  p.LoadFieldDefs(f.ds.FieldDefs());
  EXPECT_FALSE(p.IsList());
  EXPECT_EQ(p.RecordCount(), 1);
  EXPECT_EQ(p.KeyOf(0), reinterpret_cast<TodsKey>(item));
  EXPECT_EQ(p.IndexOfKey(12345), 0);
  EXPECT_EQ(p.InsertRecord(-1), -1);
  p.DeleteRecord(0);
  EXPECT_EQ(pools.items.Count(), 1);
  auto title = ValueFor(f.ds.FieldDefs(), "Title");
  p.GetFieldValue("Title", 0, *title);
  EXPECT_EQ(title->AsString(), "solo");
}

TEST(DataProviders, ARecordSetIsReadAndWrittenAsShown) {
  Fixture f;
  TvpQuickRecordSet set;
  set.Fields()->AddField("Name", ftString, 3);
  for (const char* n : {"cc", "aa", "bb"}) set.ValueAt("Name", set.Append())->SetAsString(n);
  set.SetSortString("Name");
  TRecordSetDataProvider p(&f.ds, f.params, &set);
  EXPECT_EQ(p.LoadFieldDefs(f.ds.FieldDefs()), "Name");
  auto name = ValueFor(f.ds.FieldDefs(), "Name");
  p.GetFieldValue("Name", 0, *name);
  EXPECT_EQ(name->AsString(), "aa");
  name->SetAsString("zzzz");
  p.SetFieldValue("Name", 0, *name);
  EXPECT_EQ(set.ValueAt("Name", 0)->AsString(), "zzzz");
  p.GetFieldValue("Name", 0, *name);
  EXPECT_EQ(name->AsString(), "zzz");  // cut to the field's 3 characters
  p.DeleteRecord(1);                   // "bb", as shown
  set.SetSortString("");
  ASSERT_EQ(set.RowCount(), 2);
  EXPECT_EQ(set.ValueAt("Name", 0)->AsString(), "cc");
  EXPECT_EQ(set.ValueAt("Name", 1)->AsString(), "zzzz");

  AnsiString heard;
  set.OnRecordChange = [&](TPersistent*, int kind, const AnsiString& fields, int row) {
    heard = Format("%d %s %d", {kind, fields, row});
  };
  p.NotifyChange(ckEdited, "Name", 1);
  EXPECT_EQ(heard, "0 Name 1");
}

TEST(DataProviders, ParametersRefuseBadLengths) {
  TodsObjectParams params;
  EXPECT_EQ(params.StringLength(), 1024);
  EXPECT_THROW(params.SetStringLength(0), ERSError);
  EXPECT_THROW(params.SetStringLength(-4), ERSError);
  params.SetStringLength(10);
  params.SetExpandSets(true);
  params.SetBlobProperties("Notes");
  TodsObjectParams copy;
  copy.Assign(&params);
  EXPECT_EQ(copy.StringLength(), 10);
  EXPECT_TRUE(copy.ExpandSets());
  EXPECT_EQ(copy.BlobProperties(), "Notes");
}

}  // namespace prov_test

// Field definitions: lookup by name and position, the reload rule, the field
// a definition makes, and the native layouts values travel in.
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "tests/toolkit/db/recording.h"

namespace fielddefs_test {

using dbtest::ErrorOf;

TEST(FieldDefs, LookupByNameAndPosition) {
  TMemDataSet ds(nullptr);
  ds.SetName("Mem1");
  TFieldDefs& defs = ds.FieldDefs();
  defs.AppendNamedDef("ID", ftAutoInc);
  defs.AppendNamedDef("Name", ftString, 30, true);
  defs.AppendNamedDef("\xD6\xC5\xCD\xC0", ftCurrency);  // ЦЕНА
  struct Case {
    const char* name;
    int position;
  };
  const Case cases[] = {
      {"ID", 0}, {"id", 0}, {"NAME", 1}, {"name", 1}, {"\xF6\xE5\xED\xE0", 2} /* цена */, {"NAM", -1}, {"", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(defs.PositionOfName(c.name), c.position);
    EXPECT_EQ(defs.FindDef(c.name) != nullptr, c.position >= 0);
    if (c.position >= 0) {
      EXPECT_EQ(defs.DefAt(c.position)->FieldNo(), c.position + 1);
    }
  }
  const TFieldDef* name = defs.DefAt(1);
  EXPECT_EQ(name->DataType(), ftString);
  EXPECT_EQ(name->Size(), 30);
  EXPECT_TRUE(name->Required());
  EXPECT_TRUE(name->Attributes().Contains(faRequired));
  EXPECT_EQ(ErrorOf([&] { defs.Find("PRICE"); }), "Mem1: Field 'PRICE' not found");
  EXPECT_THROW(defs.DefAt(3), EListError);
  EXPECT_THROW(defs.DefAt(-1), EListError);
}

// A back end that counts how often it is asked for its definitions.
class CountingDataSet : public TDataSet {
 public:
  CountingDataSet() : TDataSet(nullptr) {}
  void LoadFieldDefs() override {
    ++loads;
    FieldDefs().Clear();
    FieldDefs().AppendNamedDef("A", ftInteger);
  }
  void FieldDefsChanged() override { ++changes; }
  int loads = 0;
  int changes = 0;
};

TEST(FieldDefs, ReloadAsksTheBackEndOnlyWhenChanged) {
  CountingDataSet ds;
  ds.FieldDefs().Reload();
  EXPECT_EQ(ds.loads, 1);
  EXPECT_TRUE(ds.FieldDefs().Updated());
  ds.FieldDefs().Reload();
  EXPECT_EQ(ds.loads, 1);
  // A change to a definition tells the data set and makes the next reload ask again.
  const int changes = ds.changes;
  ds.FieldDefs().DefAt(0)->SetSize(0);
  EXPECT_GT(ds.changes, changes);
  EXPECT_FALSE(ds.FieldDefs().Updated());
  ds.FieldDefs().Reload();
  EXPECT_EQ(ds.loads, 2);
  EXPECT_EQ(ds.FieldDefs().Count(), 1);
}

TEST(FieldDefs, ADefinitionMakesItsField) {
  TMemDataSet ds(nullptr);
  ds.SetName("Mem1");
  TFieldDef* s = ds.FieldDefs().AppendNamedDef("S", ftString, 12, true);
  s->ChangeAttributes(TFieldAttributes{faRequired, faReadonly});
  std::unique_ptr<TField> f(s->CreateField(nullptr, &ds));
  EXPECT_EQ(f->ClassName(), "TStringField");
  EXPECT_EQ(f->Size(), 12);
  EXPECT_TRUE(f->Required());
  EXPECT_TRUE(f->ReadOnly());
  EXPECT_EQ(f->DataSet(), &ds);
  EXPECT_EQ(ds.FieldNamedOrNil("s"), f.get());
  TFieldDef* odd = ds.FieldDefs().AppendNamedDef("G", ftGuid);
  EXPECT_EQ(ErrorOf([&] { delete odd->CreateField(nullptr, &ds); }), "Mem1: Field 'G' is of an unknown type");
}

TEST(FieldDefs, DatesTimesAndDecimalsHaveTheirNativeLayouts) {
  // 2023-03-15 is day 45000 of TDateTime and day 738594 of the time stamp.
  const TDateTime when = 45000 + (10 * 3600 + 20 * 60 + 30.5) / 86400.0;
  struct Case {
    TFieldType type;
    int native_size;
    std::function<bool(const uint8_t*)> native_is;  // checks the native bytes
    TDateTime back;                                 // the field value read back
  };
  auto int32_is = [](int32_t want) {
    return [want](const uint8_t* p) {
      int32_t v;
      std::memcpy(&v, p, sizeof v);
      return v == want;
    };
  };
  const Case cases[] = {
      {ftDate, 4, int32_is(738594), 45000},
      {ftTime, 4, int32_is(37230500), when - 45000},
      {ftDateTime, 8,
       [](const uint8_t* p) {
         double v;
         std::memcpy(&v, p, sizeof v);
         return v == 63814558830500.0;
       },
       when},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.type));
    std::unique_ptr<TField> f(CreateFieldOfType(c.type, nullptr));
    EXPECT_EQ(f->NativeByteSize(), c.native_size);
    EXPECT_EQ(f->ValueByteSize(), 8);
    uint8_t native[8] = {};
    TDataSet::ConvertValue(f.get(), &when, native, true);
    EXPECT_TRUE(c.native_is(native));
    TDateTime back = -1;
    TDataSet::ConvertValue(f.get(), native, &back, false);
    EXPECT_NEAR(back, c.back, 1e-9);
  }
  // Native values a back end cannot have produced are refused or read as
  // numbers, never undefined.
  std::unique_ptr<TField> date_time(CreateFieldOfType(ftDateTime, nullptr));
  for (double bad : {-1.0, 1e300, std::nan(""), 1e19}) {
    SCOPED_TRACE(bad);
    TDateTime back = 0;
    EXPECT_THROW(TDataSet::ConvertValue(date_time.get(), &bad, &back, false), EConvertError);
  }
  std::unique_ptr<TField> date(CreateFieldOfType(ftDate, nullptr));
  const int32_t lowest = INT32_MIN;
  TDateTime back_date = 0;
  TDataSet::ConvertValue(date.get(), &lowest, &back_date, false);
  EXPECT_EQ(back_date, -2147483648.0 - 693594);
  // A decimal: Currency in the field layout, packed digits natively.
  std::unique_ptr<TField> bcd(CreateFieldOfType(ftBCD, nullptr));
  EXPECT_EQ(bcd->NativeByteSize(), 34);
  const int64_t scaled = -123456;  // -12.3456
  TBcd native;
  TDataSet::ConvertValue(bcd.get(), &scaled, &native, true);
  EXPECT_EQ(native.SignSpecialPlaces & 0x80, 0x80);
  EXPECT_EQ(native.SignSpecialPlaces & 0x3F, 4);
  int64_t back = 0;
  TDataSet::ConvertValue(bcd.get(), &native, &back, false);
  EXPECT_EQ(back, scaled);
}

}  // namespace fielddefs_test

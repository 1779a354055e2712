// Every framework class answers with its own name and ancestry, so that
// messages built from ClassName() name the real class.
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "toolkit/core/typinfo.h"
#include "toolkit/db/db.h"
#include "toolkit/db/memdataset.h"

namespace class_names_test {

TEST(FrameworkClasses, EachFieldTypeMakesAFieldNamedAfterItsClass) {
  struct Case {
    TFieldType type;
    const char* name;
    const char* parent;
  };
  const Case cases[] = {
      {ftString, "TStringField", "TField"},           {ftFixedChar, "TStringField", "TField"},
      {ftSmallint, "TSmallintField", "TIntegerField"}, {ftInteger, "TIntegerField", "TNumericField"},
      {ftWord, "TWordField", "TIntegerField"},         {ftAutoInc, "TAutoIncField", "TIntegerField"},
      {ftLargeint, "TLargeintField", "TNumericField"}, {ftBoolean, "TBooleanField", "TField"},
      {ftFloat, "TFloatField", "TNumericField"},       {ftCurrency, "TCurrencyField", "TFloatField"},
      {ftBCD, "TBCDField", "TNumericField"},           {ftDate, "TDateField", "TDateTimeField"},
      {ftTime, "TTimeField", "TDateTimeField"},        {ftDateTime, "TDateTimeField", "TField"},
      {ftTimeStamp, "TSQLTimeStampField", "TField"},   {ftBytes, "TBytesField", "TBinaryField"},
      {ftVarBytes, "TVarBytesField", "TBinaryField"},  {ftBlob, "TBlobField", "TField"},
      {ftMemo, "TMemoField", "TBlobField"},            {ftGraphic, "TGraphicField", "TBlobField"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.type));
    std::unique_ptr<TField> f(CreateFieldOfType(c.type, nullptr));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->ClassName(), c.name);
    ASSERT_NE(f->ClassInfo()->Parent(), nullptr);
    EXPECT_EQ(f->ClassInfo()->Parent()->ClassName(), c.parent);
    EXPECT_TRUE(f->InheritsFrom(TField::StaticClassInfo()));
    EXPECT_TRUE(f->InheritsFrom(TComponent::StaticClassInfo()));
  }
}

TEST(FrameworkClasses, DataSetsSourcesLinksAndDefinitionsNameTheirClass) {
  TMemDataSet ds(nullptr);
  TDataSource source(nullptr);
  TDataLink link;
  TFieldDef* def = ds.FieldDefs().AppendNamedDef("N", ftInteger);
  struct Case {
    const TPersistent* object;
    const char* name;
    const TClassInfo* ancestor;
  };
  const Case cases[] = {
      {&ds, "TMemDataSet", &TDataSet::StaticClassInfo()},
      {&source, "TDataSource", &TComponent::StaticClassInfo()},
      {&link, "TDataLink", &TPersistent::StaticClassInfo()},
      {&ds.FieldDefs(), "TFieldDefs", &TOwnedCollection::StaticClassInfo()},
      {def, "TFieldDef", &TCollectionItem::StaticClassInfo()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.object->ClassName(), c.name);
    EXPECT_TRUE(c.object->InheritsFrom(*c.ancestor));
  }
  EXPECT_EQ(TDataSet::StaticClassInfo().ClassName(), "TDataSet");
  EXPECT_FALSE(link.InheritsFrom(TComponent::StaticClassInfo()));
}

TEST(FrameworkClasses, TheAssignRefusalNamesBothClasses) {
  struct Case {
    TFieldType target;
    TFieldType source;
    const char* message;
  };
  const Case cases[] = {
      {ftString, ftInteger, "Cannot assign a TIntegerField to a TStringField"},
      {ftMemo, ftCurrency, "Cannot assign a TCurrencyField to a TMemoField"},
      {ftDate, ftVarBytes, "Cannot assign a TVarBytesField to a TDateField"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::unique_ptr<TField> target(CreateFieldOfType(c.target, nullptr));
    std::unique_ptr<TField> source(CreateFieldOfType(c.source, nullptr));
    try {
      target->Assign(source.get());
      ADD_FAILURE() << "no refusal";
    } catch (const EConvertError& e) {
      EXPECT_EQ(AnsiString(e.Message()), c.message);
    }
  }
  TMemDataSet ds(nullptr);
  TFieldDef* def = ds.FieldDefs().AppendNamedDef("N", ftInteger);
  std::unique_ptr<TField> field(CreateFieldOfType(ftInteger, nullptr));
  try {
    def->Assign(field.get());
    ADD_FAILURE() << "no refusal";
  } catch (const EConvertError& e) {
    EXPECT_EQ(AnsiString(e.Message()), "Cannot assign a TIntegerField to a TFieldDef");
  }
}

TEST(FrameworkClasses, PublishedPropertiesReadAndWriteTheField) {
  std::unique_ptr<TField> f(CreateFieldOfType(ftFloat, nullptr));
  SetStrProp(f.get(), "FieldName", "PRICE");
  SetOrdProp(f.get(), "Required", 1);
  SetOrdProp(f.get(), "Visible", 0);
  EXPECT_EQ(f->FieldName(), "PRICE");
  EXPECT_TRUE(f->Required());
  EXPECT_FALSE(f->Visible());
  EXPECT_EQ(GetOrdProp(f.get(), "ReadOnly"), 0);
  // Only values that differ from the default are written by streaming.
  EXPECT_FALSE(IsDefaultValue(f.get(), FindPropInfo(f.get(), "Required")));
  EXPECT_FALSE(IsDefaultValue(f.get(), FindPropInfo(f.get(), "Visible")));
  EXPECT_TRUE(IsDefaultValue(f.get(), FindPropInfo(f.get(), "ReadOnly")));

  TDataSource source(nullptr);
  EXPECT_EQ(GetOrdProp(&source, "AutoEdit"), 1);
  SetOrdProp(&source, "Enabled", 0);
  EXPECT_FALSE(source.Enabled());
}

}  // namespace class_names_test

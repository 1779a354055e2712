#include "dbf/dbf_fields.h"

#include <gtest/gtest.h>

#include "dbf/dbf_str.h"

namespace dbf_fields_test {

TEST(FieldDefs, LettersMapToFieldTypes) {
  const struct {
    char letter;
    int size, decimals;
    bool use_float;
    TFieldType type;
  } cases[] = {
      {'+', 4, 0, false, ftAutoInc}, {'0', 5, 0, false, ftBytes},   {'@', 8, 0, false, ftDateTime},
      {'T', 8, 0, false, ftDateTime}, {'B', 10, 0, false, ftBlob},   {'C', 5, 0, false, ftString},
      {'\x91', 5, 0, false, ftString}, {'D', 8, 0, false, ftDate},   {'N', 10, 2, false, ftFloat},
      {'N', 4, 0, true, ftSmallint},   {'N', 9, 0, true, ftFloat},   {'N', 9, 0, false, ftInteger},
      {'F', 10, 0, false, ftLargeint}, {'O', 8, 0, false, ftFloat},  {'G', 10, 0, false, ftDBaseOle},
      {'I', 4, 0, false, ftInteger},   {'L', 1, 0, false, ftBoolean}, {'M', 10, 0, false, ftMemo},
      {'Y', 8, 4, false, ftBCD},       {'X', 1, 0, false, ftUnknown}, {'c', 5, 0, false, ftUnknown},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DbfLetterToFieldType(c.letter, c.size, c.decimals, c.use_float), c.type) << c.letter << c.size;
}

TEST(FieldDefs, FieldTypesMapToLettersByLevel) {
  const struct {
    TFieldType type;
    int version;
    char letter;
  } cases[] = {
      {ftString, kDbfVersionDBase4, 'C'},     {ftWideString, kDbfVersionDBase3, 'C'},
      {ftInteger, kDbfVersionDBase4, 'N'},    {ftInteger, kDbfVersionDBase7, 'I'},
      {ftLargeint, kDbfVersionDBase7, 'N'},   {ftCurrency, kDbfVersionFoxPro, 'Y'},
      {ftCurrency, kDbfVersionDBase4, '\0'},  {ftDateTime, kDbfVersionDBase7, '@'},
      {ftDateTime, kDbfVersionFoxPro, 'T'},   {ftAutoInc, kDbfVersionDBase4, '+'},
      {ftMemo, kDbfVersionDBase3, 'M'},       {ftGraphic, kDbfVersionDBase4, '\0'},
  };
  for (const auto& c : cases) EXPECT_EQ(FieldTypeToDbfLetter(c.type, c.version), c.letter) << int(c.type);
}

// Length rules as a user setting up a new table meets them.
TEST(FieldDefs, LengthRulesAndDefaults) {
  const struct {
    int version;
    bool use_float;
    TFieldType type;
    int size, decimals;  // asked for; -1: the type's default
    char letter;
    int want_size, want_decimals;
  } cases[] = {
      {kDbfVersionDBase4, false, ftInteger, -1, 0, 'N', 9, 0},
      {kDbfVersionDBase4, false, ftSmallint, -1, 0, 'N', 4, 0},
      {kDbfVersionDBase4, false, ftFloat, -1, 0, 'N', 18, 9},
      {kDbfVersionDBase4, false, ftString, 100, 0, 'C', 100, 0},
      {kDbfVersionDBase4, false, ftString, 70000, 0, 'C', 65534, 0},
      {kDbfVersionDBase4, false, ftFloat, 30, 25, 'N', 20, 18},
      {kDbfVersionDBase4, false, ftFloat, 1, 0, 'N', 2, 0},
      {kDbfVersionDBase7, false, ftInteger, -1, 0, 'I', 4, 0},
      {kDbfVersionDBase4, false, ftDate, 3, 0, 'D', 8, 0},
      {kDbfVersionDBase4, false, ftDateTime, -1, 0, 'T', 14, 0},
      {kDbfVersionFoxPro, false, ftDateTime, -1, 0, 'T', 8, 0},
      {kDbfVersionFoxPro, false, ftCurrency, -1, 0, 'Y', 8, 4},
      {kDbfVersionDBase4, false, ftBoolean, 5, 0, 'L', 1, 0},
      {kDbfVersionDBase4, false, ftMemo, 4, 0, 'M', 10, 0},
      {kDbfVersionDBase4, false, ftLargeint, -1, 0, 'N', 18, 0},
  };
  for (const auto& c : cases) {
    TDbfFieldDefs defs;
    defs.SetDbfVersion(c.version);
    defs.SetUseFloatFields(c.use_float);
    TDbfFieldDef* def = defs.AddFieldDef();
    def->SetFieldName("F");
    def->SetFieldType(c.type);
    if (c.size < 0) {
      def->SetDefaultSize();
    } else {
      def->SetSize(c.size);
      def->SetPrecision(c.decimals);
    }
    EXPECT_EQ(def->NativeFieldType(), c.letter) << int(c.type);
    EXPECT_EQ(def->Size(), c.want_size) << int(c.type) << " " << c.size;
    EXPECT_EQ(def->Precision(), c.want_decimals) << int(c.type) << " " << c.size;
  }
  TDbfFieldDefs defs;
  TDbfFieldDef* def = defs.AddFieldDef();
  def->SetFieldName("PIC");
  try {
    def->SetFieldType(ftGraphic);
    FAIL();
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Cannot create field \"PIC\", VCL field type 11 not supported by DBF.");
  }
}

TEST(FieldDefs, AssignCopiesEverythingAndRemembersTheSource) {
  TDbfFieldDefs defs;
  defs.SetDbfVersion(kDbfVersionDBase7);
  defs.AddFieldDef();
  TDbfFieldDef* src = defs.AddFieldDef();
  src->SetFromDescriptor("AMOUNT", 'N', 10, 2);
  src->SetOffset(7);
  src->SetRequired(true);
  const uint8_t value[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0', 'X', 'Y'};
  src->SetPropertyValue(4, value, sizeof value);  // longer than the field: cut
  TDbfFieldDefs other;
  TDbfFieldDef* copy = other.AddFieldDef();
  copy->Assign(src);
  EXPECT_EQ(copy->FieldName(), "AMOUNT");
  EXPECT_EQ(copy->FieldType(), ftFloat);
  EXPECT_EQ(copy->Size(), 10);
  EXPECT_EQ(copy->Offset(), 7);
  EXPECT_TRUE(copy->Required());
  EXPECT_TRUE(copy->HasDefault());
  EXPECT_EQ(std::string(copy->DefaultBuf().begin(), copy->DefaultBuf().end()), "1234567890");
  EXPECT_EQ(copy->CopyFrom(), 1);
  EXPECT_TRUE([] {
    TDbfFieldDefs d;
    TDbfFieldDef* m = d.AddFieldDef();
    m->SetNativeFieldType('m');
    return m->IsBlob() && m->Size() == 10;
  }());
}

}  // namespace dbf_fields_test

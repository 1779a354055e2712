// The typed value and its accessors: what each type shows, takes, refuses,
// how values order, change type, stream and meet data-set fields.
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "grid/rs_db.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/memdataset.h"

namespace univalue_test {

class UniValue : public ::testing::Test {
 protected:
  ScopedFormatSettings russian{TFormatSettings::Russian()};
};

// A value of the given type, made as the object data set's record values are.
std::unique_ptr<TvpUniValue> Typed(TFieldType type) {
  auto v = std::make_unique<TvpUniValue>(false, false);
  v->SetDataType(type);
  return v;
}

int SignOf(int n) { return n < 0 ? -1 : (n > 0 ? 1 : 0); }

const AnsiString kRussianWord = Utf8ToAnsi("Привет");

TEST_F(UniValue, NewValueIsNullAndUntyped) {
  TvpUniValue v(false, false);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), ftUnknown);
  EXPECT_EQ(v.AsString(), "");
  EXPECT_TRUE(v.AsVariant().IsNull());
  EXPECT_EQ(v.Accessor().ClassName(), "TvpValueAccessor");
  EXPECT_TRUE(v.StoreDataType());
  EXPECT_FALSE(v.Modified());
}

TEST_F(UniValue, EachTypeGetsItsAccessorClass) {
  const struct {
    TFieldType type;
    const char* accessor;
  } cases[] = {
      {ftString, "TvpStringAccessor"},        {ftFixedChar, "TvpStringAccessor"},
      {ftWideString, "TvpWideStringAccessor"}, {ftSmallint, "TvpIntegerAccessor"},
      {ftWord, "TvpIntegerAccessor"},          {ftAutoInc, "TvpIntegerAccessor"},
      {ftLargeint, "TvpLargeIntAccessor"},     {ftFloat, "TvpFloatAccessor"},
      {ftCurrency, "TvpFloatAccessor"},        {ftBoolean, "TvpBoolAccessor"},
      {ftDate, "TvpDateTimeAccessor"},         {ftTime, "TvpDateTimeAccessor"},
      {ftTimeStamp, "TvpSQLTimeStampAccessor"}, {ftVarBytes, "TvpBinaryAccessor"},
      {ftBCD, "TvpBCDAccessor"},               {ftFMTBcd, "TvpFMTBCDAccessor"},
      {ftTypedBinary, "TvpBlobAccessor"},      {ftOraClob, "TvpBlobAccessor"},
      {ftVariant, "TvpVariantAccessor"},       {ftCursor, "TvpValueAccessor"},
      {ftDataSet, "TvpValueAccessor"},         {ftGuid, "TvpValueAccessor"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.accessor);
    auto v = Typed(c.type);
    EXPECT_EQ(v->DataType(), c.type);
    EXPECT_EQ(v->Accessor().ClassName(), c.accessor);
  }
  // An auto-typed value that goes back to "unknown" holds variants.
  TvpUniValue v(true, false);
  v.SetAsInteger(1);
  v.SetDataType(ftUnknown);
  EXPECT_EQ(v.Accessor().ClassName(), "TvpVariantAccessor");
  EXPECT_THROW(v.SetDataType(static_cast<TFieldType>(kFieldTypeCount)), ERangeError);
  EXPECT_EQ(v.DataType(), ftUnknown);
}

TEST_F(UniValue, TextRoundTripsPerType) {
  const struct {
    TFieldType type;
    AnsiString text;
    AnsiString shown;
  } cases[] = {
      {ftString, "abc", "abc"},
      {ftFixedChar, " a ", " a "},
      {ftWideString, kRussianWord, kRussianWord},
      {ftInteger, "-42", "-42"},
      {ftSmallint, " 7", "7"},
      {ftLargeint, "5000000000", "5000000000"},
      {ftFloat, "2,5", "2,5"},
      {ftCurrency, "-0,125", "-0,125"},
      {ftBoolean, "tRuE", "True"},
      {ftBoolean, "FALSE", "False"},
      {ftDate, "01.02.2024", "01.02.2024"},
      {ftTime, "10:20:30", "10:20:30"},
      {ftDateTime, "01.02.2024 10:20:30", "01.02.2024 10:20:30"},
      {ftTimeStamp, "01.02.2024 10:20:30", "01.02.2024 10:20:30"},
      {ftBytes, AnsiString("a\0b", 3), AnsiString("a\0b", 3)},
      {ftBCD, "12,3456", "12,3456"},
      {ftBCD, "0,00015", "0,0002"},  // the fifth decimal rounds, halves to even
      {ftBCD, "0,00025", "0,0002"},
      {ftFMTBcd, "-123,4500", "-123,45"},
      {ftFMTBcd, "000,5", "0,5"},
      {ftFMTBcd, "12345678901234567890,12", "12345678901234567890,12"},
      {ftMemo, AnsiString("x\0y", 3), AnsiString("x\0y", 3)},
      {ftVariant, "x", "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(AnsiToUtf8(c.text) + " as " + FieldTypeName(c.type));
    auto v = Typed(c.type);
    v->SetAsString(c.text);
    EXPECT_FALSE(v->IsNull());
    EXPECT_EQ(v->DataType(), c.type);
    EXPECT_EQ(v->AsString(), c.shown);
  }
}

TEST_F(UniValue, EmptyTextClearsAllButStrings) {
  const struct {
    TFieldType type;
    AnsiString first;
    bool null_after;
  } cases[] = {
      {ftString, "1", false},   {ftFixedChar, "1", false}, {ftWideString, "1", false},
      {ftInteger, "1", true},   {ftLargeint, "1", true},   {ftFloat, "1", true},
      {ftBoolean, "True", true}, {ftDateTime, "01.01.2001", true}, {ftTimeStamp, "01.01.2001 01:00:00", true},
      {ftBytes, "1", true},     {ftBCD, "1", true},        {ftFMTBcd, "1", true},
      {ftBlob, "1", true},      {ftVariant, "1", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.type));
    auto v = Typed(c.type);
    v->SetAsString(c.first);
    v->SetModified(false);
    v->SetAsString("");
    EXPECT_EQ(v->IsNull(), c.null_after);
    EXPECT_EQ(v->AsString(), "");
    EXPECT_TRUE(v->Modified());
  }
  // A stored empty string is one zero byte.
  auto s = Typed(ftString);
  s->SetAsString("");
  EXPECT_EQ(s->RawData(), AnsiString(1, '\0'));
}

TEST_F(UniValue, ReadingsOfEachType) {
  const struct {
    const char* what;
    TFieldType type;
    AnsiString text;
    std::function<void(const TvpUniValue&)> check;
  } cases[] = {
      {"string as number", ftString, "2,5", [](const TvpUniValue& v) { EXPECT_DOUBLE_EQ(v.AsFloat(), 2.5); }},
      {"string as integer", ftString, "-17", [](const TvpUniValue& v) { EXPECT_EQ(v.AsInteger(), -17); }},
      {"string as large integer", ftString, "9000000000",
       [](const TvpUniValue& v) { EXPECT_EQ(v.AsLargeInt(), 9000000000LL); }},
      {"string as date", ftString, "03.04.2020",
       [](const TvpUniValue& v) { EXPECT_DOUBLE_EQ(v.AsDateTime(), EncodeDate(2020, 4, 3)); }},
      {"string as BCD", ftString, "1,25", [](const TvpUniValue& v) { EXPECT_EQ(BCDToCurr(v.AsBCD()).Scaled, 12500); }},
      {"string as variant", ftString, "q", [](const TvpUniValue& v) { EXPECT_EQ(v.AsVariant().VarType(), varString); }},
      {"integer widened", ftInteger, "12",
       [](const TvpUniValue& v) {
         EXPECT_DOUBLE_EQ(v.AsFloat(), 12);
         EXPECT_EQ(v.AsLargeInt(), 12);
         EXPECT_EQ(v.AsVariant().VarType(), varInteger);
       }},
      {"large integer", ftLargeint, "-5000000000",
       [](const TvpUniValue& v) {
         EXPECT_DOUBLE_EQ(v.AsFloat(), -5e9);
         EXPECT_EQ(v.AsVariant().VarType(), varInt64);
       }},
      {"float rounds halves to even", ftFloat, "2,5",
       [](const TvpUniValue& v) {
         EXPECT_EQ(v.AsInteger(), 2);
         EXPECT_EQ(v.AsLargeInt(), 2);
         EXPECT_EQ(v.AsVariant().VarType(), varDouble);
       }},
      {"float as currency", ftFloat, "1,23456",
       [](const TvpUniValue& v) { EXPECT_EQ(BCDToCurr(v.AsBCD()).Scaled, 12346); }},
      {"boolean", ftBoolean, "True",
       [](const TvpUniValue& v) {
         EXPECT_TRUE(v.AsBoolean());
         EXPECT_EQ(v.AsVariant().VarType(), varBoolean);
       }},
      {"date-time as number", ftDateTime, "02.01.1900 12:00:00",
       [](const TvpUniValue& v) {
         EXPECT_DOUBLE_EQ(v.AsFloat(), 3.5);
         EXPECT_EQ(v.AsInteger(), 4);
         EXPECT_EQ(v.AsVariant().VarType(), varDate);
       }},
      {"time stamp", ftTimeStamp, "05.06.2021 07:08:09",
       [](const TvpUniValue& v) {
         const TSQLTimeStamp s = v.AsSQLTimeStamp();
         EXPECT_EQ(s.Year, 2021);
         EXPECT_EQ(s.Month, 6);
         EXPECT_EQ(s.Day, 5);
         EXPECT_EQ(s.Second, 9);
         EXPECT_DOUBLE_EQ(v.AsDateTime(), EncodeDateTime(2021, 6, 5, 7, 8, 9, 0));
       }},
      {"bytes as array", ftBytes, "AB",
       [](const TvpUniValue& v) {
         const Variant a = v.AsVariant();
         ASSERT_TRUE(a.IsArray());
         EXPECT_EQ(a.LowBound(), 0);
         EXPECT_EQ(a.HighBound(), 1);
         EXPECT_EQ(a[1].VarType(), varByte);
         EXPECT_EQ(a[1].AsInteger(), 'B');
       }},
      {"BCD numbers", ftBCD, "-2,5",
       [](const TvpUniValue& v) {
         EXPECT_DOUBLE_EQ(v.AsFloat(), -2.5);
         EXPECT_EQ(v.AsInteger(), -2);
         EXPECT_EQ(v.AsLargeInt(), -2);
         EXPECT_EQ(v.AsVariant().VarType(), varCurrency);
       }},
      {"BCD rounds up past the half", ftBCD, "3,5001", [](const TvpUniValue& v) { EXPECT_EQ(v.AsInteger(), 4); }},
      {"FMT BCD numbers", ftFMTBcd, "7,75",
       [](const TvpUniValue& v) {
         EXPECT_DOUBLE_EQ(v.AsFloat(), 7.75);
         EXPECT_EQ(v.AsInteger(), 8);
         EXPECT_EQ(BCDToCurr(v.AsBCD()).Scaled, 77500);
       }},
      {"blob as variant", ftMemo, "memo", [](const TvpUniValue& v) { EXPECT_EQ(v.AsVariant().AsString(), "memo"); }},
      {"any bytes as an array", ftMemo, "z",
       [](const TvpUniValue& v) { EXPECT_EQ(v.AsByteArray()[0].AsInteger(), 'z'); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto v = Typed(c.type);
    v->SetAsString(c.text);
    c.check(*v);
  }
}

TEST_F(UniValue, NullReadsAsZeroFalseOrEmpty) {
  const TFieldType types[] = {ftString, ftInteger, ftLargeint, ftFloat, ftDateTime, ftBCD, ftFMTBcd, ftVariant};
  for (TFieldType t : types) {
    SCOPED_TRACE(FieldTypeName(t));
    auto v = Typed(t);
    EXPECT_DOUBLE_EQ(v->AsFloat(), 0);
    EXPECT_EQ(v->AsInteger(), 0);
    EXPECT_EQ(v->AsLargeInt(), 0);
    EXPECT_EQ(v->AsString(), "");
    EXPECT_TRUE(v->AsVariant().IsNull());
    EXPECT_TRUE(v->AsByteArray().IsNull());
  }
  auto ts = Typed(ftTimeStamp);
  EXPECT_EQ(ts->AsSQLTimeStamp().Year, 0);
  EXPECT_DOUBLE_EQ(ts->AsDateTime(), 0);
  auto b = Typed(ftBoolean);
  EXPECT_FALSE(b->AsBoolean());
}

TEST_F(UniValue, RefusalsCarryTheirTextsAndKeepTheValue) {
  const struct {
    const char* what;
    TFieldType type;
    AnsiString before;  // "" leaves the value null
    std::function<void(TvpUniValue&)> action;
    AnsiString message;
  } cases[] = {
      {"boolean word", ftBoolean, "True", [](TvpUniValue& v) { v.SetAsString("maybe"); },
       "\"maybe\" is not a valid boolean value"},
      {"boolean as number", ftBoolean, "True", [](TvpUniValue& v) { v.AsFloat(); },
       "Cannot access field 'UniValue' as type Float"},
      {"boolean as integer", ftBoolean, "True", [](TvpUniValue& v) { v.AsInteger(); },
       "Cannot access field 'UniValue' as type Integer"},
      {"boolean as date", ftBoolean, "True", [](TvpUniValue& v) { v.AsDateTime(); },
       "Cannot access field 'UniValue' as type DateTime"},
      {"boolean set from number", ftBoolean, "True", [](TvpUniValue& v) { v.SetAsFloat(1); },
       "Cannot access field 'UniValue' as type Float"},
      {"wide text as number", ftWideString, "1", [](TvpUniValue& v) { v.AsFloat(); },
       "Cannot access field 'UniValue' as type Float"},
      {"blob set from integer", ftBlob, "b", [](TvpUniValue& v) { v.SetAsInteger(1); },
       "Cannot access field 'UniValue' as type Integer"},
      {"string set from large integer", ftString, "s", [](TvpUniValue& v) { v.SetAsLargeInt(1); },
       "Cannot access field 'UniValue' as type LargeInt"},
      {"time stamp as number", ftTimeStamp, "01.01.2000 00:00:01", [](TvpUniValue& v) { v.AsFloat(); },
       "Cannot access field 'UniValue' as type Float"},
      {"integer as time stamp", ftInteger, "1", [](TvpUniValue& v) { v.AsSQLTimeStamp(); },
       "Cannot access field 'UniValue' as type SQLTimeStamp"},
      {"integer set from boolean", ftInteger, "1", [](TvpUniValue& v) { v.SetAsBoolean(true); },
       "Cannot access field 'UniValue' as type Boolean"},
      {"guid set from text", ftGuid, "", [](TvpUniValue& v) { v.SetAsString("x"); },
       "Cannot access field 'UniValue' as type String"},
      {"guid as boolean", ftGuid, "", [](TvpUniValue& v) { v.AsBoolean(); },
       "Cannot access field 'UniValue' as type Boolean"},
      {"guid set from variant", ftGuid, "", [](TvpUniValue& v) { v.SetAsVariant(1); },
       "Cannot access field 'UniValue' as type Variant"},
      {"bytes from integer array", ftBytes, "ab", [](TvpUniValue& v) { v.SetAsVariant(VarArrayOf({1, 2})); },
       "Invalid variant type or size"},
      {"bytes from a number", ftBytes, "ab", [](TvpUniValue& v) { v.SetAsVariant(5); },
       "Invalid variant type or size"},
      {"integer text", ftInteger, "5", [](TvpUniValue& v) { v.SetAsString("abc"); },
       "'abc' is not a valid integer value"},
      {"float text with the wrong point", ftFloat, "1", [](TvpUniValue& v) { v.SetAsString("1.5"); },
       "'1.5' is not a valid floating point value"},
      {"currency text", ftBCD, "1", [](TvpUniValue& v) { v.SetAsString("1e3"); },
       "'1e3' is not a valid floating point value"},
      {"BCD text", ftFMTBcd, "1", [](TvpUniValue& v) { v.SetAsString("1,2,3"); }, "'1,2,3' is not a valid BCD value"},
      {"BCD beyond 32 digits", ftFMTBcd, "1", [](TvpUniValue& v) { v.SetAsString(AnsiString(33, '9')); },
       "'" + AnsiString(33, '9') + "' is not a valid BCD value"},
      {"float beyond 32 bits into an integer", ftInteger, "5", [](TvpUniValue& v) { v.SetAsFloat(3e9); },
       "3000000000 is not a valid value for field 'UniValue'. The allowed range is -2147483648 to 2147483647"},
      {"large integer beyond 32 bits into an integer", ftInteger, "5",
       [](TvpUniValue& v) { v.SetAsLargeInt(-5000000000LL); },
       "-5000000000 is not a valid value for field 'UniValue'. The allowed range is -2147483648 to 2147483647"},
      {"large integer read as 32 bits", ftLargeint, "5000000000", [](TvpUniValue& v) { v.AsInteger(); },
       "5000000000 is not a valid value for field 'UniValue'. The allowed range is -2147483648 to 2147483647"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto v = Typed(c.type);
    if (!c.before.empty()) v->SetAsString(c.before);
    const std::string raw_before(v->RawData());
    try {
      c.action(*v);
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_EQ(std::string(v->RawData()), raw_before);
    EXPECT_EQ(v->DataType(), c.type);
  }
}

TEST_F(UniValue, ErrorClassesFollowTheirOrigin) {
  auto b = Typed(ftBoolean);
  EXPECT_THROW(b->SetAsString("yes"), EDatabaseError);
  EXPECT_THROW(b->AsFloat(), EDatabaseError);
  auto i = Typed(ftInteger);
  EXPECT_THROW(i->SetAsString("x"), EConvertError);
  auto bytes = Typed(ftBytes);
  EXPECT_THROW(bytes->SetAsVariant(VarArrayOf({1})), EDatabaseError);
}

TEST_F(UniValue, TypeOnceWithoutAutoType) {
  TvpUniValue v(false, false);
  v.SetAsInteger(5);
  EXPECT_EQ(v.DataType(), ftInteger);
  EXPECT_THROW(v.SetAsString("five"), EConvertError);
  EXPECT_EQ(v.AsInteger(), 5);
  v.SetAsString("6");
  EXPECT_EQ(v.DataType(), ftInteger);
  EXPECT_EQ(v.AsInteger(), 6);
  v.SetDataType(ftString);  // refused: the type was given once
  EXPECT_EQ(v.DataType(), ftInteger);
  EXPECT_EQ(v.AsInteger(), 6);
}

TEST_F(UniValue, TypeChangeConvertsOrClears) {
  const struct {
    const char* what;
    bool auto_type, convert;
    std::function<void(TvpUniValue&)> fill;
    TFieldType to;
    bool null_after;
    AnsiString shown;
  } cases[] = {
      {"integer to text", false, true, [](TvpUniValue& v) { v.SetAsInteger(42); }, ftString, false, "42"},
      {"text to float", false, true, [](TvpUniValue& v) { v.SetAsString("2,25"); }, ftFloat, false, "2,25"},
      {"float to integer rounds", true, true, [](TvpUniValue& v) { v.SetAsFloat(3.5); }, ftInteger, false, "4"},
      {"date-time to date", false, true, [](TvpUniValue& v) { v.SetAsDateTime(EncodeDateTime(2020, 1, 2, 3, 4, 5, 0)); },
       ftDate, false, "02.01.2020"},
      {"boolean to text", false, true, [](TvpUniValue& v) { v.SetAsBoolean(false); }, ftString, false, "False"},
      {"variant to integer", false, true, [](TvpUniValue& v) { v.SetAsVariant(Variant("17")); }, ftInteger, false,
       "17"},
      {"integer to variant", false, true, [](TvpUniValue& v) { v.SetAsInteger(8); }, ftVariant, false, "8"},
      {"text to wide text", false, true, [](TvpUniValue& v) { v.SetAsString(kRussianWord); }, ftWideString, false,
       kRussianWord},
      {"currency to FMT BCD", false, true,
       [](TvpUniValue& v) {
         v.SetDataType(ftBCD);
         v.SetAsString("-1,5");
       },
       ftFMTBcd, false, "-1,5"},
      {"null stays null", false, true, [](TvpUniValue& v) { v.SetDataType(ftInteger); }, ftString, true, ""},
      {"auto-typed without conversion clears", true, false, [](TvpUniValue& v) { v.SetAsInteger(42); }, ftString,
       true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TvpUniValue v(c.auto_type, c.convert);
    c.fill(v);
    v.SetDataType(c.to);
    EXPECT_EQ(v.DataType(), c.to);
    EXPECT_EQ(v.IsNull(), c.null_after);
    EXPECT_EQ(v.AsString(), c.shown);
  }
}

TEST_F(UniValue, FailedConversionLeavesNullOfTheNewType) {
  TvpUniValue v(false, true);
  v.SetAsString("abc");
  EXPECT_THROW(v.SetDataType(ftInteger), EConvertError);
  EXPECT_EQ(v.DataType(), ftInteger);
  EXPECT_TRUE(v.IsNull());
}

TEST_F(UniValue, SettersOfTypedValuesConvertThroughTheirType) {
  TvpUniValue v(false, true);
  v.SetDataType(ftString);
  v.SetAsFloat(2.5);
  EXPECT_EQ(v.DataType(), ftString);
  EXPECT_EQ(v.AsString(), "2,5");
  v.SetAsBoolean(true);
  EXPECT_EQ(v.AsString(), "T");
  v.SetAsDateTime(EncodeDateTime(2021, 3, 4, 5, 6, 7, 0));
  EXPECT_EQ(v.AsString(), "04.03.2021 05:06:07");

  TvpUniValue a(true, false);
  a.SetAsInteger(1);
  a.SetAsString("x");
  EXPECT_EQ(a.DataType(), ftString);
  a.SetAsBoolean(true);
  EXPECT_EQ(a.DataType(), ftBoolean);
  EXPECT_EQ(a.AsString(), "True");
  a.SetAsVariant(Variant(2.5));
  EXPECT_EQ(a.DataType(), ftVariant);
  a.SetAsVariant(Null());
  EXPECT_TRUE(a.IsNull());
}

TEST_F(UniValue, StringsReadAsBooleanByTheFirstLetter) {
  const struct {
    AnsiString text;
    bool value;
  } cases[] = {{"T", true}, {"yes", true}, {"true", true}, {"y", true}, {"F", false},
               {"no", false}, {"1", false}, {"", false}, {" T", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto v = Typed(ftString);
    v->SetAsString(c.text);
    EXPECT_EQ(v->AsBoolean(), c.value);
  }
}

TEST_F(UniValue, BooleanWordsAndRawBits) {
  auto v = Typed(ftBoolean);
  v->SetAsBoolean(true);
  EXPECT_EQ(v->RawData(), std::string("\xFF\xFF", 2));
  v->SetAsBoolean(false);
  EXPECT_EQ(v->RawData(), std::string("\0\0", 2));
  const uint16_t odd = 1;
  v->WriteRaw(&odd, sizeof odd);
  EXPECT_TRUE(v->AsBoolean());
  EXPECT_EQ(v->AsString(), "True");
}

TEST_F(UniValue, DateTimeTextFollowsTheType) {
  const TDateTime moment = EncodeDateTime(2023, 12, 31, 23, 59, 58, 0);
  const struct {
    TFieldType type;
    AnsiString shown;
  } cases[] = {{ftDate, "31.12.2023"}, {ftTime, "23:59:58"}, {ftDateTime, "31.12.2023 23:59:58"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.type));
    auto v = Typed(c.type);
    v->SetAsDateTime(moment);
    EXPECT_EQ(v->AsString(), c.shown);
    EXPECT_DOUBLE_EQ(v->AsDateTime(), moment);
  }
}

TEST_F(UniValue, TimeStampOfZeroIsNull) {
  auto v = Typed(ftTimeStamp);
  v->SetAsDateTime(EncodeDate(2000, 1, 1));
  EXPECT_FALSE(v->IsNull());
  v->SetAsDateTime(0);
  EXPECT_TRUE(v->IsNull());
  TSQLTimeStamp bad;
  bad.Year = 2000;
  bad.Month = 13;
  bad.Day = 1;
  v->SetAsDateTime(EncodeDate(2000, 1, 1));
  EXPECT_THROW(v->Accessor().SetAsSQLTimeStamp(bad), EConvertError);
  EXPECT_EQ(v->AsSQLTimeStamp().Month, 1);
}

TEST_F(UniValue, VariantValuesConvertTheHeldVariant) {
  const struct {
    const char* what;
    Variant held;
    std::function<void(const TvpUniValue&)> check;
  } cases[] = {
      {"text to date", Variant("02.03.2004"),
       [](const TvpUniValue& v) { EXPECT_DOUBLE_EQ(v.AsDateTime(), EncodeDate(2004, 3, 2)); }},
      {"double to integer", Variant(7.0), [](const TvpUniValue& v) { EXPECT_EQ(v.AsInteger(), 7); }},
      {"integer to text", Variant(12), [](const TvpUniValue& v) { EXPECT_EQ(v.AsString(), "12"); }},
      {"boolean", Variant(true), [](const TvpUniValue& v) { EXPECT_TRUE(v.AsBoolean()); }},
      {"large integer", Variant(int64_t{1} << 40),
       [](const TvpUniValue& v) { EXPECT_EQ(v.AsLargeInt(), int64_t{1} << 40); }},
      {"currency to BCD", Variant(Currency::FromScaled(15000)),
       [](const TvpUniValue& v) { EXPECT_EQ(BCDToCurr(v.AsBCD()).Scaled, 15000); }},
      {"date to time stamp", Variant::FromDate(EncodeDate(1999, 9, 9)),
       [](const TvpUniValue& v) { EXPECT_EQ(v.AsSQLTimeStamp().Year, 1999); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto v = Typed(ftVariant);
    v->SetAsVariant(c.held);
    EXPECT_EQ(v->AsVariant().VarType(), c.held.VarType());
    c.check(*v);
  }
}

TEST_F(UniValue, VariantHolderIsReusedAndReleased) {
  auto v = Typed(ftVariant);
  v->SetAsVariant(Variant(1));
  const std::string marker(v->RawData());
  v->SetModified(false);
  v->SetAsVariant(Variant("two"));
  EXPECT_TRUE(v->Modified());
  EXPECT_EQ(std::string(v->RawData()), marker);
  EXPECT_EQ(v->AsString(), "two");
  v->Clear();
  EXPECT_TRUE(v->IsNull());
  EXPECT_TRUE(v->AsVariant().IsNull());
  // Copies get their own holder: changing one leaves the other.
  v->SetAsVariant(Variant(3));
  TvpUniValue copy(false, false);
  copy.Assign(v.get());
  v->SetAsVariant(Variant(4));
  EXPECT_EQ(copy.AsInteger(), 3);
  EXPECT_EQ(v->AsInteger(), 4);
}

TEST_F(UniValue, CompareOrdersNullsAndValues) {
  auto null_value = Typed(ftInteger);
  auto one = Typed(ftInteger);
  one->SetAsInteger(1);
  auto other_null = Typed(ftInteger);
  EXPECT_EQ(null_value->Compare(*one, false, true), -1);
  EXPECT_EQ(null_value->Compare(*one, false, false), 1);
  EXPECT_EQ(one->Compare(*null_value, false, true), 1);
  EXPECT_EQ(one->Compare(*null_value, false, false), -1);
  EXPECT_EQ(null_value->Compare(*other_null, false, true), 0);

  const struct {
    const char* what;
    TFieldType type;
    AnsiString a, b;
    bool case_sensitive;
    int order;
  } cases[] = {
      {"integers", ftInteger, "2", "10", false, -1},
      {"large integers", ftLargeint, "9000000001", "9000000000", false, 1},
      {"floats", ftFloat, "1,5", "1,5", false, 0},
      {"floats apart", ftFloat, "-1", "0,001", false, -1},
      {"booleans", ftBoolean, "False", "True", false, -1},
      {"dates", ftDate, "02.01.2020", "01.01.2020", false, 1},
      {"time stamps", ftTimeStamp, "01.01.2020 10:00:00", "01.01.2020 09:00:00", false, 1},
      {"strings without case", ftString, "abc", "ABC", false, 0},
      {"strings with case", ftString, "abc", "abd", true, -1},
      {"cyrillic strings", ftString, Utf8ToAnsi("ёж"), Utf8ToAnsi("жук"), true, -1},
      {"wide strings ignore case", ftWideString, "abc", "ABC", true, 0},
      {"blobs ignore case", ftMemo, "abc", "ABC", true, 0},
      {"bytes are all equal", ftBytes, "a", "z", true, 0},
      {"currency", ftBCD, "1,0001", "1", false, 1},
      {"BCD", ftFMTBcd, "-3", "2", false, -1},
      {"variants are all equal", ftVariant, "1", "2", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto a = Typed(c.type);
    auto b = Typed(c.type);
    a->SetAsString(c.a);
    b->SetAsString(c.b);
    EXPECT_EQ(SignOf(a->Compare(*b, c.case_sensitive, true)), c.order);
    EXPECT_EQ(SignOf(b->Compare(*a, c.case_sensitive, true)), -c.order);
  }
  // Case decides for strings when asked to.
  auto lower = Typed(ftString);
  auto upper = Typed(ftString);
  lower->SetAsString("abc");
  upper->SetAsString("ABC");
  EXPECT_NE(lower->Compare(*upper, true, true), 0);
}

TEST_F(UniValue, StreamedDataRoundTrips) {
  const struct {
    TFieldType type;
    AnsiString text;
    TvpDataKind kind;
  } cases[] = {
      {ftString, "abc", dkString},
      {ftString, "", dkString},
      {ftWideString, kRussianWord, dkWideString},
      {ftInteger, "-7", dkInteger},
      {ftLargeint, "-9000000000", dkInt64},
      {ftFloat, "0,1", dkFloat},
      {ftBoolean, "True", dkBoolean},
      {ftDateTime, "01.02.2003 04:05:06", dkDate},
      {ftTimeStamp, "01.02.2003 04:05:06", dkDate},
      {ftBytes, AnsiString("\0\x01\xFF", 3), dkString},
      {ftBCD, "-12,3456", dkCurrency},
      {ftFMTBcd, "12,5", dkCurrency},
      {ftGraphic, AnsiString("\x89PNG\0", 5), dkString},
      {ftVariant, "text", dkString},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.type));
    auto source = Typed(c.type);
    source->SetAsString(c.text);
    ASSERT_TRUE(source->HasStreamData());
    TvpDataItem item;
    ASSERT_TRUE(source->ReadWriteData(nullptr, &item));
    EXPECT_EQ(item.Kind, c.kind);
    auto target = Typed(c.type);
    target->ReadWriteData(&item, nullptr);
    EXPECT_FALSE(target->IsNull());
    EXPECT_EQ(target->AsString(), source->AsString());
    EXPECT_EQ(target->Compare(*source, true, true), 0);
  }
}

TEST_F(UniValue, StreamedVariantsKeepTheirKind) {
  const Variant held[] = {Variant(5), Variant(int64_t{1} << 40), Variant(2.5), Variant(true),
                          Variant::FromDate(EncodeDate(2001, 1, 1)), Variant(Currency::FromScaled(12345)),
                          Variant("s")};
  for (const Variant& h : held) {
    SCOPED_TRACE(VarTypeAsText(h.VarType()));
    auto source = Typed(ftVariant);
    source->SetAsVariant(h);
    TvpDataItem item;
    ASSERT_TRUE(source->ReadWriteData(nullptr, &item));
    auto target = Typed(ftVariant);
    target->ReadWriteData(&item, nullptr);
    EXPECT_EQ(target->AsVariant().VarType(), h.VarType());
    EXPECT_TRUE(target->AsVariant() == h);
  }
  // An array has no stream form.
  auto arr = Typed(ftVariant);
  arr->SetAsVariant(VarArrayOf({1, 2}));
  TvpDataItem item;
  EXPECT_FALSE(arr->ReadWriteData(nullptr, &item));
}

TEST_F(UniValue, StreamedDataOfTheWrongKindIsRefused) {
  const struct {
    TFieldType type;
    TvpDataKind kind;
  } cases[] = {{ftInteger, dkString}, {ftFloat, dkBoolean}, {ftBoolean, dkInteger},
               {ftString, dkFloat},   {ftBCD, dkDate},      {ftMemo, dkInt64}};
  for (const auto& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.type));
    auto v = Typed(c.type);
    TvpDataItem item;
    item.Kind = c.kind;
    try {
      v->ReadWriteData(&item, nullptr);
      ADD_FAILURE() << "accepted";
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), "Invalid property value");
    }
    EXPECT_TRUE(v->IsNull());
  }
  // A 32-bit value takes a streamed integer only while it fits.
  auto i = Typed(ftInteger);
  TvpDataItem big;
  big.Kind = dkInt64;
  big.Int = int64_t{1} << 33;
  EXPECT_THROW(i->ReadWriteData(&big, nullptr), EDatabaseError);
  EXPECT_TRUE(i->IsNull());
}

TEST_F(UniValue, NullValuesDeclareNoStreamData) {
  auto v = Typed(ftInteger);
  EXPECT_FALSE(v->HasStreamData());
  auto g = Typed(ftGuid);
  TvpDataItem item;
  EXPECT_FALSE(g->ReadWriteData(nullptr, &item));
}

TEST_F(UniValue, BlobStreamsCarryTheRawBytes) {
  auto blob = Typed(ftBlob);
  TMemoryStream in;
  const std::string bytes("\x00\x01zz\xFF", 5);
  in.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  blob->SetModified(false);
  blob->LoadFromStream(in);
  EXPECT_TRUE(blob->Modified());
  EXPECT_EQ(blob->AsString(), bytes);
  TMemoryStream out;
  blob->SaveToStream(out);
  EXPECT_EQ(std::string(out.Bytes()), bytes);
  TMemoryStream empty;
  blob->LoadFromStream(empty);
  EXPECT_TRUE(blob->IsNull());

  // Other types ignore a stream load.
  auto number = Typed(ftInteger);
  number->SetAsInteger(0x01020304);
  number->LoadFromStream(in);
  EXPECT_EQ(number->AsInteger(), 0x01020304);
  TMemoryStream raw;
  number->SaveToStream(raw);
  int32_t back = 0;
  ASSERT_EQ(raw.Size(), 4);
  std::memcpy(&back, raw.Memory(), 4);
  EXPECT_EQ(back, 0x01020304);

  // A variant's bytes are only a reference inside this process: none are written.
  auto variant = Typed(ftVariant);
  variant->SetAsVariant(Variant(1));
  TMemoryStream none;
  variant->SaveToStream(none);
  EXPECT_EQ(none.Size(), 0);
}

TEST_F(UniValue, ShortRawBuffersReadWithinBounds) {
  const uint8_t one_byte = 0x05;
  const struct {
    TFieldType type;
    std::function<void(const TvpUniValue&)> check;
  } cases[] = {
      {ftInteger, [](const TvpUniValue& v) { EXPECT_EQ(v.AsInteger(), 5); }},
      {ftLargeint, [](const TvpUniValue& v) { EXPECT_EQ(v.AsLargeInt(), 5); }},
      {ftFloat, [](const TvpUniValue& v) { EXPECT_TRUE(std::isfinite(v.AsFloat())); }},
      {ftTimeStamp, [](const TvpUniValue& v) { EXPECT_EQ(v.AsSQLTimeStamp().Year, 5); }},
      {ftBCD, [](const TvpUniValue& v) { EXPECT_EQ(v.Accessor().GetAsCurrency().Scaled, 5); }},
      {ftWideString, [](const TvpUniValue& v) { EXPECT_EQ(v.AsString(), ""); }},
      {ftString, [](const TvpUniValue& v) { EXPECT_EQ(v.AsString(), "\x05"); }},  // no terminator
      {ftFMTBcd, [](const TvpUniValue& v) { EXPECT_EQ(v.AsString(), "0"); }},  // five zero digits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.type));
    auto v = Typed(c.type);
    v->WriteRaw(&one_byte, 1);
    c.check(*v);
  }
}

TEST_F(UniValue, MalformedBcdRecordsAreRefused) {
  const struct {
    const char* what;
    uint8_t precision, places, first_byte;
  } cases[] = {
      {"more digits than the toolkit reads", 40, 0, 0x12},
      {"more places than digits", 2, 3, 0x12},
      {"a nibble that is no digit", 2, 0, 0x1A},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TBcd bcd;
    bcd.Precision = c.precision;
    bcd.SignSpecialPlaces = c.places;
    bcd.Fraction[0] = c.first_byte;
    auto v = Typed(ftFMTBcd);
    v->SetAsString("1");
    try {
      v->Accessor().SetAsBCD(bcd);
      ADD_FAILURE() << "stored";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "Invalid BCD value");
    }
    EXPECT_EQ(v->AsString(), "1");
  }
}

TEST_F(UniValue, ModifiedFollowsWritesNotReads) {
  TvpUniValue v(false, false);
  v.SetAsInteger(3);
  EXPECT_TRUE(v.Modified());
  v.SetModified(false);
  (void)v.AsString();
  (void)v.AsFloat();
  EXPECT_FALSE(v.Modified());
  v.Clear();
  EXPECT_TRUE(v.Modified());
  v.SetModified(false);
  v.SetIsNull(false);
  EXPECT_FALSE(v.Modified());
  v.SetAsInteger(4);
  v.SetIsNull(true);
  EXPECT_TRUE(v.IsNull());
}

TEST_F(UniValue, PublishedPropertiesAndTheirStoredRules) {
  const TClassInfo& info = TvpUniValue::StaticClassInfo();
  const auto props = GetPropList(info);
  ASSERT_EQ(props.size(), 3u);
  EXPECT_EQ(props[0]->Name, "DataType");
  EXPECT_EQ(props[1]->Name, "IsNull");
  EXPECT_EQ(props[2]->Name, "AsString");

  TvpUniValue v(false, true);
  EXPECT_FALSE(IsStoredProp(&v, *props[0]));
  SetEnumProp(&v, *props[0], "ftFloat");
  EXPECT_EQ(v.DataType(), ftFloat);
  EXPECT_TRUE(IsStoredProp(&v, *props[0]));
  v.SetStoreDataType(false);
  EXPECT_FALSE(IsStoredProp(&v, *props[0]));
  EXPECT_FALSE(IsStoredProp(&v, *props[1]));
  EXPECT_FALSE(IsStoredProp(&v, *props[2]));

  SetStrProp(&v, "AsString", "1,5");
  EXPECT_DOUBLE_EQ(v.AsFloat(), 1.5);
  EXPECT_EQ(GetEnumProp(&v, *props[0]), "ftFloat");
  EXPECT_EQ(GetOrdProp(&v, "IsNull"), 0);
  SetOrdProp(&v, "IsNull", 1);
  EXPECT_TRUE(v.IsNull());
}

// ---- fields ---------------------------------------------------------------------------

class UniValueFields : public UniValue {
 protected:
  void SetUp() override {
    ds.FieldDefs().AppendNamedDef("S", ftString, 20);
    ds.FieldDefs().AppendNamedDef("I", ftInteger);
    ds.FieldDefs().AppendNamedDef("L", ftLargeint);
    ds.FieldDefs().AppendNamedDef("F", ftFloat);
    ds.FieldDefs().AppendNamedDef("B", ftBoolean);
    ds.FieldDefs().AppendNamedDef("D", ftDateTime);
    ds.Activate();
    ds.StartAppend();
  }
  TField* F(const char* name) { return ds.FieldNamed(name); }
  TMemDataSet ds{nullptr};
};

TEST_F(UniValueFields, ValuesTravelBothWays) {
  const struct {
    const char* field;
    std::function<void(TField&)> fill;
    AnsiString shown;
  } cases[] = {
      {"S", [](TField& f) { f.SetStringValue("hello"); }, "hello"},
      {"I", [](TField& f) { f.SetIntegerValue(-12); }, "-12"},
      {"L", [](TField& f) { f.SetLargeintValue(6000000000LL); }, "6000000000"},
      {"F", [](TField& f) { f.SetFloatValue(0.25); }, "0,25"},
      {"B", [](TField& f) { f.SetBooleanValue(true); }, "True"},
      {"D", [](TField& f) { f.SetDateTimeValue(EncodeDateTime(2010, 5, 6, 7, 8, 9, 0)); }, "06.05.2010 07:08:09"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    TField* field = F(c.field);
    c.fill(*field);
    TvpUniValue v(false, false);
    v.Assign(field);
    EXPECT_EQ(v.DataType(), field->DataType());
    EXPECT_EQ(v.AsString(), c.shown);
    field->ClearValue();
    ASSERT_TRUE(field->HoldsNull());
    field->Assign(&v);
    EXPECT_FALSE(field->HoldsNull());
    TvpUniValue back(false, false);
    back.Assign(field);
    EXPECT_EQ(back.AsString(), c.shown);
    // Null travels too.
    TvpUniValue empty(false, false);
    empty.SetDataType(field->DataType());
    field->Assign(&empty);
    EXPECT_TRUE(field->HoldsNull());
    v.Assign(field);
    EXPECT_TRUE(v.IsNull());
  }
}

TEST_F(UniValueFields, TypedValueConvertsFieldValues) {
  F("I")->SetIntegerValue(42);
  TvpUniValue v(false, false);
  v.SetDataType(ftString);
  v.Assign(F("I"));
  EXPECT_EQ(v.DataType(), ftString);
  EXPECT_EQ(v.AsString(), "42");
}

TEST_F(UniValue, AssignRefusesStrangers) {
  TvpUniValue v(false, false);
  TStringList list;
  try {
    v.Assign(&list);
    ADD_FAILURE() << "accepted";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TStringList to a TvpUniValue");
  }
  try {
    list.Assign(&v);
    ADD_FAILURE() << "accepted";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TvpUniValue to a TStringList");
  }
}

}  // namespace univalue_test

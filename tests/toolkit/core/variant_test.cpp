#include "toolkit/core/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "toolkit/core/text.h"

namespace variant_test {

AnsiString R(const char* utf8) { return Utf8ToAnsi(utf8); }

class VariantTest : public ::testing::Test {
 protected:
  ScopedFormatSettings russian_{TFormatSettings::Russian()};
};

Variant Money(double v) { return Variant(Currency::FromDouble(v)); }
Variant Int64(int64_t v) { return Variant(static_cast<long long>(v)); }

// Runs `f` and returns "<class>: <message>" of what it raised, or "" when it raised nothing.
AnsiString ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return AnsiString(e.ClassName()) + ": " + e.Message();
  }
  return "";
}

// ---- Kinds ----------------------------------------------------------------------

TEST_F(VariantTest, EachConstructorGivesItsKind) {
  struct Case {
    Variant value;
    TVarType type;
    const char* name;
  };
  const std::vector<Case> cases = {
      {Variant(), varEmpty, "Empty"},
      {Null(), varNull, "Null"},
      {Variant(1), varInteger, "Integer"},
      {Int64(1), varInt64, "Int64"},
      {Variant(1u), varLongWord, "LongWord"},
      {Variant(1.5f), varSingle, "Single"},
      {Variant(1.5), varDouble, "Double"},
      {Money(1.5), varCurrency, "Currency"},
      {Variant::FromDate(45356), varDate, "Date"},
      {Variant(true), varBoolean, "Boolean"},
      {Variant("x"), varString, "String"},
      {Variant::FromSmallint(-3), varSmallint, "Smallint"},
      {Variant::FromShortInt(-3), varShortInt, "ShortInt"},
      {Variant::FromByte(3), varByte, "Byte"},
      {Variant::FromWord(3), varWord, "Word"},
      {VarArrayOf({1, 2}), varArray | varVariant, "Array Variant"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(VarType(c.value), c.type);
    EXPECT_EQ(VarTypeAsText(c.type), c.name);
  }
  EXPECT_TRUE(VarIsNull(Null()));
  EXPECT_TRUE(VarIsEmpty(Unassigned()));
  EXPECT_FALSE(VarIsNull(Unassigned()));
  EXPECT_TRUE(VarIsClear(Null()));
  EXPECT_TRUE(VarIsNumeric(Money(1)));
  EXPECT_FALSE(VarIsNumeric(Variant("1")));
  EXPECT_TRUE(VarIsStr(Variant("1")));
}

// ---- Conversions --------------------------------------------------------------------

TEST_F(VariantTest, ToString) {
  struct Case {
    Variant value;
    AnsiString expected;
  };
  const std::vector<Case> cases = {
      {Variant(), ""},
      {Variant(42), "42"},
      {Int64(std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
      {Variant::FromByte(255), "255"},
      {Variant(4294967295u), "4294967295"},
      {Variant(1.5), "1,5"},
      {Variant(0.1 + 0.2), "0,3"},
      {Variant(0.1f), "0,1"},
      {Variant(Currency::FromScaled(12345)), "1,2345"},
      {Variant::FromDate(EncodeDate(2024, 3, 5)), "05.03.2024"},
      {Variant::FromDate(EncodeDateTime(2024, 3, 5, 14, 7, 9, 0)), "05.03.2024 14:07:09"},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(R("абв")), R("абв")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(c.value.AsString(), c.expected);
    EXPECT_EQ(VarToStr(c.value), c.expected);
  }
  EXPECT_EQ(VarToStr(Null()), "");
  EXPECT_EQ(VarToStrDef(Null(), "-"), "-");
  EXPECT_EQ(VarToStrDef(Unassigned(), "-"), "-");
  EXPECT_EQ(VarToStrDef(Variant(0), "-"), "0");
}

TEST_F(VariantTest, ToNumbers) {
  struct Case {
    Variant value;
    int as_integer;
    double as_double;
  };
  const std::vector<Case> cases = {
      {Variant(), 0, 0},
      {Variant(7), 7, 7},
      {Variant(2.5), 2, 2.5},
      {Variant(3.5), 4, 3.5},
      {Variant(-2.5), -2, -2.5},
      {Variant("12"), 12, 12},
      {Variant(" 12"), 12, 12},
      {Variant("1,5"), 2, 1.5},
      {Variant("$10"), 16, 16},
      {Variant(true), -1, -1},
      {Variant(false), 0, 0},
      {Money(2.5), 2, 2.5},
      {Money(3.5), 4, 3.5},
      {Money(-1.2345), -1, -1.2345},
      {Variant::FromDate(45356.75), 45357, 45356.75},
      {Variant::FromWord(65535), 65535, 65535},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(VarToStr(c.value));
    EXPECT_EQ(c.value.AsInteger(), c.as_integer);
    EXPECT_EQ(c.value.AsInt64(), c.as_integer);
    EXPECT_DOUBLE_EQ(c.value.AsDouble(), c.as_double);
  }
  EXPECT_EQ(Variant(7).AsCurrency().Scaled, 70000);
  EXPECT_EQ(Variant("1,23456").AsCurrency().Scaled, 12346);
  EXPECT_EQ(Int64(int64_t{1} << 40).AsInt64(), int64_t{1} << 40);
}

TEST_F(VariantTest, ToBooleanAndDate) {
  struct Case {
    Variant value;
    bool expected;
  };
  const std::vector<Case> cases = {
      {Variant("True"), true}, {Variant("false"), false}, {Variant("TRUE"), true}, {Variant("0"), false},
      {Variant("2"), true},    {Variant("0,5"), true},    {Variant(0), false},     {Variant(1.5), true},
      {Variant(), false},      {Money(0), false},         {Variant(-1), true},     {Variant(true), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(VarToStr(c.value));
    EXPECT_EQ(c.value.AsBoolean(), c.expected);
  }
  EXPECT_EQ(Variant("05.03.2024").AsDateTime(), EncodeDate(2024, 3, 5));
  EXPECT_EQ(Variant("05.03.2024 12:00").AsDateTime(), EncodeDate(2024, 3, 5) + 0.5);
  EXPECT_EQ(Variant(45356.5).AsDateTime(), 45356.5);
  EXPECT_EQ(Variant().AsDateTime(), 0);
}

TEST_F(VariantTest, ImpossibleConversionsRaiseTheToolkitErrors) {
  const Variant null = Null();
  const Variant text("abc");
  const Variant array = VarArrayOf({1});
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"Null to Integer", [&] { null.AsInteger(); },
       "EVariantError: Could not convert variant of type (Null) into type (Integer)"},
      {"Null to Int64", [&] { null.AsInt64(); },
       "EVariantError: Could not convert variant of type (Null) into type (Int64)"},
      {"Null to Double", [&] { null.AsDouble(); },
       "EVariantError: Could not convert variant of type (Null) into type (Double)"},
      {"Null to Currency", [&] { null.AsCurrency(); },
       "EVariantError: Could not convert variant of type (Null) into type (Currency)"},
      {"Null to String", [&] { null.AsString(); },
       "EVariantError: Could not convert variant of type (Null) into type (String)"},
      {"Null to Boolean", [&] { null.AsBoolean(); },
       "EVariantError: Could not convert variant of type (Null) into type (Boolean)"},
      {"Null to Date", [&] { null.AsDateTime(); },
       "EVariantError: Could not convert variant of type (Null) into type (Date)"},
      {"Null by VarAsType", [&] { VarAsType(null, varInteger); },
       "EVariantError: Could not convert variant of type (Null) into type (Integer)"},
      {"text to Integer", [&] { text.AsInteger(); }, "EConvertError: 'abc' is not a valid integer value"},
      {"text to Double", [&] { text.AsDouble(); }, "EConvertError: 'abc' is not a valid floating point value"},
      {"text to Boolean", [&] { text.AsBoolean(); }, "EConvertError: 'abc' is not a valid boolean value"},
      {"text to Date", [&] { text.AsDateTime(); }, "EConvertError: 'abc' is not a valid date and time"},
      {"Boolean to Date", [&] { Variant(true).AsDateTime(); },
       "EVariantError: Could not convert variant of type (Boolean) into type (Date)"},
      {"array to String", [&] { array.AsString(); },
       "EVariantError: Could not convert variant of type (Array Variant) into type (String)"},
      {"array to Integer", [&] { array.AsInteger(); },
       "EVariantError: Could not convert variant of type (Array Variant) into type (Integer)"},
      {"Int64 to Integer", [&] { Int64(int64_t{1} << 40).AsInteger(); },
       "EVariantError: Overflow while converting variant of type (Int64) into type (Integer)"},
      {"huge Double to Int64", [&] { Variant(1e30).AsInt64(); },
       "EVariantError: Overflow while converting variant of type (Double) into type (Int64)"},
      {"NaN to Integer", [&] { Variant(std::nan("")).AsInteger(); },
       "EVariantError: Overflow while converting variant of type (Double) into type (Integer)"},
      {"huge Double to Currency", [&] { Variant(1e300).AsCurrency(); },
       "EVariantError: Overflow while converting variant of type (Double) into type (Currency)"},
      {"300 to Byte", [&] { VarAsType(Variant(300), varByte); },
       "EVariantError: Overflow while converting variant of type (Integer) into type (Byte)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ErrorOf(c.call), c.error);
  }
}

TEST_F(VariantTest, VarAsTypeConverts) {
  const Variant i = VarAsType(Variant("12"), varInteger);
  EXPECT_EQ(VarType(i), varInteger);
  EXPECT_EQ(i.AsInteger(), 12);
  const Variant s = VarAsType(Variant(1.5), varString);
  EXPECT_EQ(VarType(s), varString);
  EXPECT_EQ(s.AsString(), "1,5");
  const Variant w = VarAsType(Variant(300), varSmallint);
  EXPECT_EQ(VarType(w), varSmallint);
  EXPECT_EQ(w.AsInteger(), 300);
  EXPECT_EQ(VarType(VarAsType(Variant("05.03.2024"), varDate)), varDate);
  EXPECT_TRUE(VarIsNull(VarAsType(Null(), varNull)));
}

// ---- Null rules -----------------------------------------------------------------------

TEST_F(VariantTest, NullRulesForEveryKindOfOperand) {
  const std::vector<Variant> others = {Unassigned(), Variant(1), Int64(1), Variant(1.5), Money(1),
                                       Variant::FromDate(45356), Variant(true), Variant("a"), Variant("")};
  const Variant null = Null();
  for (const Variant& x : others) {
    SCOPED_TRACE(VarTypeAsText(VarType(x)));
    // Arithmetic with Null gives Null, on either side, and never raises (not even / 0).
    for (const Variant& r : {null + x, x + null, null - x, x - null, null * x, x * null, null / x, x / null}) {
      EXPECT_TRUE(VarIsNull(r));
    }
    // Null equals nothing but Null, and sorts below everything.
    EXPECT_FALSE(null == x);
    EXPECT_FALSE(x == null);
    EXPECT_TRUE(null != x);
    EXPECT_TRUE(null < x);
    EXPECT_FALSE(x < null);
    EXPECT_TRUE(x > null);
    EXPECT_FALSE(null >= x);
    EXPECT_TRUE(null <= x);
  }
  EXPECT_TRUE(VarIsNull(null + null));
  EXPECT_TRUE(VarIsNull(-null));
  EXPECT_TRUE(null == null);
  EXPECT_FALSE(null < null);
  EXPECT_TRUE(null <= null);
  EXPECT_TRUE(null >= null);
}

// ---- Arithmetic ----------------------------------------------------------------------

TEST_F(VariantTest, ArithmeticKindsAndValues) {
  struct Case {
    const char* what;
    Variant result;
    TVarType type;
    AnsiString text;
  };
  const std::vector<Case> cases = {
      {"1 + 2", Variant(1) + Variant(2), varInteger, "3"},
      {"max + 1 widens", Variant(2147483647) + Variant(1), varInt64, "2147483648"},
      {"Int64 + 1", Int64(5) + Variant(1), varInt64, "6"},
      {"Smallint * Byte", Variant::FromSmallint(300) * Variant::FromByte(200), varInteger, "60000"},
      {"3 * 4", Variant(3) * Variant(4), varInteger, "12"},
      {"1 - 1,5", Variant(1) - Variant(1.5), varDouble, "-0,5"},
      {"Single + 1", Variant(1.5f) + Variant(1), varDouble, "2,5"},
      {"7 / 2", Variant(7) / Variant(2), varDouble, "3,5"},
      {"6 / 3", Variant(6) / Variant(3), varDouble, "2"},
      {"strings concatenate", Variant("ab") + Variant("cd"), varString, "abcd"},
      {"'1' + 2", Variant("1") + Variant(2), varInteger, "3"},
      {"'1,5' + 1", Variant("1,5") + Variant(1), varDouble, "2,5"},
      {"'5' - '2'", Variant("5") - Variant("2"), varInteger, "3"},
      {"'2' * '3'", Variant("2") * Variant("3"), varInteger, "6"},
      {"money + 1", Money(1.5) + Variant(1), varCurrency, "2,5"},
      {"money * money", Money(1.5) * Money(2.25), varCurrency, "3,375"},
      {"money * 3", Money(0.0001) * Variant(3), varCurrency, "0,0003"},
      {"money + double", Money(1.5) + Variant(0.25), varDouble, "1,75"},
      {"date + 1", Variant::FromDate(EncodeDate(2024, 3, 5)) + Variant(1), varDate, "06.03.2024"},
      {"date - 0,5", Variant::FromDate(EncodeDate(2024, 3, 5)) - Variant(0.5), varDate, "04.03.2024 12:00:00"},
      {"date - date", Variant::FromDate(EncodeDate(2024, 3, 5)) - Variant::FromDate(EncodeDate(2024, 3, 1)),
       varDouble, "4"},
      {"True + 1", Variant(true) + Variant(1), varInteger, "0"},
      {"Empty + 5", Unassigned() + Variant(5), varInteger, "5"},
      {"Empty + 'x'", Unassigned() + Variant("x"), varString, "x"},
      {"Empty + Empty", Unassigned() + Unassigned(), varInteger, "0"},
      {"-5", -Variant(5), varInteger, "-5"},
      {"-min widens", -Variant(std::numeric_limits<int>::min()), varInt64, "2147483648"},
      {"-1,5", -Variant(1.5), varDouble, "-1,5"},
      {"-money", -Money(2), varCurrency, "-2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(VarTypeAsText(VarType(c.result)), VarTypeAsText(c.type));
    EXPECT_EQ(c.result.AsString(), c.text);
  }
}

TEST_F(VariantTest, ArithmeticErrors) {
  const int64_t max = std::numeric_limits<int64_t>::max();
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"1 / 0", [] { Variant(1) / Variant(0); }, "EZeroDivide: Floating point division by zero"},
      {"1 / Empty", [] { Variant(1) / Unassigned(); }, "EZeroDivide: Floating point division by zero"},
      {"Int64 overflow", [&] { Int64(max) + Variant(1); }, "EIntOverflow: Integer overflow"},
      {"Int64 product", [&] { Int64(max) * Variant(2); }, "EIntOverflow: Integer overflow"},
      {"text + number", [] { Variant("abc") + Variant(1); },
       "EConvertError: 'abc' is not a valid floating point value"},
      {"text - text", [] { Variant("a") - Variant("b"); }, "EConvertError: 'a' is not a valid floating point value"},
      {"array + 1", [] { VarArrayOf({1}) + Variant(1); }, "EVariantError: Invalid variant operation"},
      {"array = 1", [] { (void)(VarArrayOf({1}) == Variant(1)); }, "EVariantError: Invalid variant operation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ErrorOf(c.call), c.error);
  }
}

// ---- Comparison -----------------------------------------------------------------------

TEST_F(VariantTest, ComparisonAcrossKinds) {
  struct Case {
    const char* what;
    Variant a, b;
    int order;  // -1: a < b, 0: a == b, 1: a > b
  };
  const std::vector<Case> cases = {
      {"1 = 1,0", Variant(1), Variant(1.0), 0},
      {"1 < 2", Variant(1), Variant(2), -1},
      {"'a' < 'b'", Variant("a"), Variant("b"), -1},
      {"'10' = 10", Variant("10"), Variant(10), 0},
      {"'9' < 10 as numbers", Variant("9"), Variant(10), -1},
      {"'9' > '10' as text", Variant("9"), Variant("10"), 1},
      {"Empty = 0", Unassigned(), Variant(0), 0},
      {"Empty = ''", Unassigned(), Variant(""), 0},
      {"Empty < 1", Unassigned(), Variant(1), -1},
      {"Empty = Empty", Unassigned(), Unassigned(), 0},
      {"False < True", Variant(false), Variant(true), -1},
      {"True = 'True'", Variant(true), Variant("true"), 0},
      {"money = integer", Money(1), Variant(1), 0},
      {"money < money", Money(1.0001), Money(1.0002), -1},
      {"date = double", Variant::FromDate(45356.5), Variant(45356.5), 0},
      {"big Int64 exact", Int64((int64_t{1} << 53) + 1), Int64(int64_t{1} << 53), 1},
      {"locale: е < ё", Variant(R("еж")), Variant(R("ёж")), -1},
      {"locale: ё < ж", Variant(R("ёж")), Variant(R("жа")), -1},
      {"case matters", Variant("a"), Variant("A"), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.a == c.b, c.order == 0);
    EXPECT_EQ(c.a != c.b, c.order != 0);
    EXPECT_EQ(c.a < c.b, c.order < 0);
    EXPECT_EQ(c.a > c.b, c.order > 0);
    EXPECT_EQ(c.a <= c.b, c.order <= 0);
    EXPECT_EQ(c.a >= c.b, c.order >= 0);
  }
  EXPECT_THROW((void)(Variant("abc") == Variant(1)), EConvertError);
}

// ---- Arrays ---------------------------------------------------------------------------

TEST_F(VariantTest, ArraysHaveBoundsAndValueSemantics) {
  Variant a = VarArrayCreate(1, 3);
  EXPECT_EQ(VarArrayDimCount(a), 1);
  EXPECT_EQ(VarArrayLowBound(a, 1), 1);
  EXPECT_EQ(VarArrayHighBound(a, 1), 3);
  EXPECT_TRUE(VarIsEmpty(a[1]));
  a[2] = "x";
  EXPECT_EQ(a[2].AsString(), "x");

  Variant copy = a;
  copy[2] = 5;
  EXPECT_EQ(a[2].AsString(), "x");
  EXPECT_EQ(copy[2].AsInteger(), 5);

  Variant nested = VarArrayOf({1, "a", Null(), a});
  EXPECT_EQ(nested.LowBound(), 0);
  EXPECT_EQ(nested.HighBound(), 3);
  EXPECT_TRUE(VarIsNull(nested[2]));
  EXPECT_EQ(nested[3][2].AsString(), "x");

  const Variant empty = VarArrayCreate(0, -1);
  EXPECT_EQ(empty.HighBound(), -1);
  EXPECT_EQ(VarArrayDimCount(Variant(1)), 0);
}

TEST_F(VariantTest, ArrayMisuseIsRefused) {
  Variant a = VarArrayCreate(1, 3);
  const Variant scalar(1);
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"below low", [&] { a[0]; }, "EVariantError: Variant or safe array index out of bounds"},
      {"above high", [&] { a[4]; }, "EVariantError: Variant or safe array index out of bounds"},
      {"second dimension", [&] { VarArrayLowBound(a, 2); },
       "EVariantError: Variant or safe array index out of bounds"},
      {"not an array", [&] { scalar[0]; }, "EVariantError: Variant is not an array"},
      {"bounds of a scalar", [&] { VarArrayHighBound(scalar, 1); }, "EVariantError: Variant is not an array"},
      {"high below low", [] { VarArrayCreate(5, 3); }, "EVariantError: Error creating variant or safe array"},
      {"too large", [] { VarArrayCreate(0, 1 << 30); }, "EVariantError: Error creating variant or safe array"},
      {"extreme bounds", [] { VarArrayCreate(std::numeric_limits<int>::min(), std::numeric_limits<int>::max()); },
       "EVariantError: Error creating variant or safe array"},
      {"typed elements", [] { VarArrayCreate(0, 1, varInteger); }, "EVariantError: Invalid variant type"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ErrorOf(c.call), c.error);
  }
}

TEST_F(VariantTest, CopiesAndMovesKeepTheValue) {
  Variant a("text");
  Variant b = a;
  Variant c = std::move(a);
  EXPECT_EQ(b.AsString(), "text");
  EXPECT_EQ(c.AsString(), "text");
  b = Variant(2.5);
  EXPECT_EQ(VarType(b), varDouble);
  EXPECT_EQ(b.AsString(), "2,5");
  const Variant& self = b;
  b = self;
  EXPECT_EQ(b.AsDouble(), 2.5);
  c = VarArrayOf({1, 2});
  EXPECT_EQ(c[1].AsInteger(), 2);
  c = Variant(3);
  EXPECT_FALSE(VarIsArray(c));
  EXPECT_THROW(c[0], EVariantError);
}

}  // namespace variant_test

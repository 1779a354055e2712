// The table expression library's words without a table: arithmetic over
// every signature with its overflow and division checks, exact numeric
// comparison, text comparison by locale, wildcards, and the functions.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "dbf/dbf_parser.h"
#include "dbf/dbf_str.h"
#include "tests/dbf/parser_support.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace parser_library_test {

using parser_test::Eval;

struct Vars {
  int32_t i = 0;
  int32_t z = 0;
  int64_t l = 0;
  double f = 0;
  double d = 0;
  std::string name_storage;
  char* name = nullptr;

  explicit Vars(TDbfParser& parser) {
    parser.AddIntegerVariable("I", &i);
    parser.AddIntegerVariable("Z", &z);
    parser.AddLargeIntVariable("L", &l);
    parser.AddFloatVariable("F", &f);
    parser.AddDateTimeVariable("D", &d);
    parser.AddStringVariable("NAME", &name);
  }
  void SetName(const std::string& text) {
    name_storage = text;
    name = name_storage.data();
  }
};

std::string Value(TDbfParser& parser) {
  return parser_test::Show(parser.GetResultKind(), parser.EvaluateRecord(nullptr));
}

TEST(ParserLibrary, ArithmeticOverEverySignature) {
  TDbfParser parser(nullptr);
  Vars v(parser);
  v.i = 7;
  v.l = 5000000000LL;
  v.f = 0.5;
  const struct {
    const char* text;
    TExprKind kind;
    const char* value;
  } cases[] = {
      {"I+2", ekInteger, "9"},         {"I-10", ekInteger, "-3"},       {"I*3", ekInteger, "21"},
      {"I/2", ekInteger, "3"},         {"(0-I)/2", ekInteger, "-3"},    {"I+F", ekFloat, "7.5"},
      {"F+I", ekFloat, "7.5"},         {"F*F", ekFloat, "0.25"},        {"I/F", ekFloat, "14"},
      {"L+I", ekLargeInt, "5000000007"}, {"I+L", ekLargeInt, "5000000007"}, {"L-L", ekLargeInt, "0"},
      {"L/I", ekLargeInt, "714285714"}, {"I*L", ekLargeInt, "35000000000"}, {"L*F", ekFloat, "2.5e+09"},
      {"F-L", ekFloat, "-4999999999.5"}, {"L/2.0", ekFloat, "2.5e+09"},
  };
  for (const auto& c : cases) {
    parser.CompileText(c.text);
    EXPECT_EQ(parser.GetResultKind(), c.kind) << c.text;
    EXPECT_EQ(Value(parser), c.value) << c.text;
  }
}

// Every numeric overload computes its own operation: each operator with each
// pair of operand kinds, over operands below, equal to and above each other.
TEST(ParserLibrary, EveryNumericOverloadComputesItsOperation) {
  TDbfParser parser(nullptr);
  int32_t ai = 0, bi = 0;
  int64_t al = 0, bl = 0;
  double af = 0, bf = 0;
  parser.AddIntegerVariable("AI", &ai);
  parser.AddIntegerVariable("BI", &bi);
  parser.AddLargeIntVariable("AL", &al);
  parser.AddLargeIntVariable("BL", &bl);
  parser.AddFloatVariable("AF", &af);
  parser.AddFloatVariable("BF", &bf);
  const struct {
    const char* op;
    bool below, equal, above;  // a < b, a = b, a > b
  } comparisons[] = {{"=", false, true, false}, {"<", true, false, false},  {">", false, false, true},
                     {"<=", true, true, false}, {">=", false, true, true}, {"<>", true, false, true}};
  // a op b for a = 7 and b = 2, as integers and as floats.
  const struct {
    const char* op;
    const char* integer;
    const char* floating;
  } arithmetic[] = {{"+", "9", "9"}, {"-", "5", "5"}, {"*", "14", "14"}, {"/", "3", "3.5"}};
  for (const char* sig : {"FF", "FI", "IF", "II", "FL", "IL", "LF", "LL", "LI"}) {
    const std::string a = std::string("A") + sig[0];
    const std::string b = std::string("B") + sig[1];
    const bool floating = sig[0] == 'F' || sig[1] == 'F';
    const TExprKind kind = floating ? ekFloat : (sig[0] == 'L' || sig[1] == 'L') ? ekLargeInt : ekInteger;
    for (const auto& c : comparisons) {
      for (int relation = -1; relation <= 1; ++relation) {
        ai = al = 5;
        af = 5.0;
        bi = bl = 5 - relation;
        bf = 5.0 - relation;
        const bool want = relation < 0 ? c.below : relation == 0 ? c.equal : c.above;
        EXPECT_EQ(Eval(parser, a + c.op + b), want ? "true" : "false") << sig << " " << a << c.op << b << " at " << relation;
      }
    }
    for (const auto& c : arithmetic) {
      ai = al = 7;
      af = 7.0;
      bi = bl = 2;
      bf = 2.0;
      EXPECT_EQ(Eval(parser, a + c.op + b), floating ? c.floating : c.integer) << a << c.op << b;
      EXPECT_EQ(parser.GetResultKind(), kind) << a << c.op << b;
    }
  }
}

TEST(ParserLibrary, OverflowAndDivisionByZeroRaiseWhileEvaluating) {
  const struct {
    const char* text;
    int32_t i;
    int64_t l;
    double f;
    const char* error;
  } cases[] = {
      {"I+1", INT_MAX, 0, 0, "EIntOverflow: Integer overflow"},
      {"I-1", INT_MIN, 0, 0, "EIntOverflow: Integer overflow"},
      {"I*2", INT_MAX / 2 + 1, 0, 0, "EIntOverflow: Integer overflow"},
      {"I/(0-1)", INT_MIN, 0, 0, "EIntOverflow: Integer overflow"},
      {"I/Z", 1, 0, 0, "EDivByZero: Division by zero"},
      {"L+1", 0, LLONG_MAX, 0, "EIntOverflow: Integer overflow"},
      {"L*I", 2, LLONG_MAX / 2 + 1, 0, "EIntOverflow: Integer overflow"},
      {"L/Z", 0, 5, 0, "EDivByZero: Division by zero"},
      {"F/Z", 0, 0, 1.5, "EZeroDivide: Floating point division by zero"},
      {"F/0.0", 0, 0, 0, "EZeroDivide: Floating point division by zero"},
      {"F*F", 0, 0, 1e200, "EOverflow: Floating point overflow"},
  };
  for (const auto& c : cases) {
    TDbfParser parser(nullptr);
    Vars v(parser);
    parser.CompileText(c.text);
    v.i = c.i;
    v.l = c.l;
    v.f = c.f;
    try {
      parser.EvaluateRecord(nullptr);
      ADD_FAILURE() << c.text << " evaluated";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.ClassName()) + ": " + e.Message(), c.error) << c.text;
    }
  }
  // A constant part is evaluated when it is folded.
  TDbfParser parser(nullptr);
  EXPECT_THROW(parser.CompileText("1/0"), EDivByZero);
  EXPECT_EQ(parser.FirstRecord(), nullptr);
}

TEST(ParserLibrary, NumericComparisonsAreExact) {
  TDbfParser parser(nullptr);
  Vars v(parser);
  v.l = (1LL << 53) + 1;  // not a double: rounding it would make it equal to 2^53
  v.f = 9007199254740992.0;
  v.i = 3;
  const struct {
    const char* text;
    bool value;
  } cases[] = {
      {"L > F", true},   {"L = F", false},  {"F < L", true},    {"L <> F", true},  {"L >= L", true},
      {"I = 3.0", true}, {"I < 3.5", true}, {"3.5 > I", true},  {"I <= 2", false}, {"I >= 3", true},
      {"I <> 3", false}, {"I = L", false},  {"L > I", true},    {"2.5 >= 2.5", true}, {"I < L", true},
  };
  for (const auto& c : cases) {
    parser.CompileText(c.text);
    EXPECT_EQ(parser.GetResultKind(), ekBoolean);
    EXPECT_EQ(Value(parser), c.value ? "true" : "false") << c.text;
  }
}

TEST(ParserLibrary, DatesAndBooleansHaveNoComparison) {
  for (const char* text : {"D = D", "D < 1.5", "(1=1) = (2=2)", "(1=1) < (2=2)"}) {
    TDbfParser parser(nullptr);
    Vars v(parser);
    EXPECT_THROW(parser.CompileText(text), EParserException) << text;
  }
}

TEST(ParserLibrary, TextsCompareByLocaleWithAndWithoutCase) {
  const std::string yo_zh = Utf8ToAnsi("ёж");
  const std::string aist = Utf8ToAnsi("аист");
  const struct {
    std::string text;
    bool ignore_case;
    bool value;
  } cases[] = {
      {"'abc' < 'ABD'", true, true},
      {"'abc' = 'ABC'", true, true},
      {"'abc' = 'ABC'", false, false},
      {"'abc' <> 'ABC'", false, true},
      // Case does not decide the order of different letters: a before B.
      {"'a' < 'B'", false, true},
      {"'b' > 'A'", false, true},
      {Utf8ToAnsi("'абв' = 'АБВ'"), true, true},
      {Utf8ToAnsi("'абв' = 'АБВ'"), false, false},
      // Ё sorts among the Cyrillic letters, not by its code 0xB8 before them.
      {"'" + yo_zh + "' > '" + aist + "'", true, true},
      {"'" + yo_zh + "' > '" + aist + "'", false, true},
      {"'' = ''", true, true},
      {"'' < 'a'", true, true},
      {"'x' >= 'x'", false, true},
      {"'x' <= 'w'", false, false},
  };
  for (const auto& c : cases) {
    TDbfParser parser(nullptr);
    parser.SetIgnoreCase(c.ignore_case);
    EXPECT_EQ(Eval(parser, c.text), c.value ? "true" : "false") << AnsiToUtf8(c.text) << " " << c.ignore_case;
  }
}

TEST(ParserLibrary, WildcardsMatchOnlyWithPartialCompare) {
  const struct {
    const char* pattern;
    const char* name;
    bool ignore_case;
    bool partial;
    bool value;
  } cases[] = {
      {"AB*", "AB", true, true, true},         {"AB*", "ABC", true, true, true},
      {"AB*", "ABCDEF", true, true, true},     {"AB*", "XAB", true, true, false},
      {"AB*", "A", true, true, false},         {"*AB", "XAB", true, true, true},
      {"*AB", "ABX", true, true, false},       {"*AB*", "XABY", true, true, true},
      {"*AB*", "AXB", true, true, false},      {"*", "", true, true, false},
      {"*", "ANY", true, true, false},         {"**", "ANY", true, true, false},
      {"*ab*", "XABY", true, true, true},      {"*ab*", "XABY", false, true, false},
      {"ab*", "ABC", false, true, false},      {"A*B", "A*B", true, true, true},
      {"A*B", "AXB", true, true, false},       {"", "", true, true, true},
      {"", "A", true, true, false},            {"AB*", "AB*", true, false, true},
      {"AB*", "ABC", true, false, false},      {"*AB*", "XABY", false, false, false},
  };
  for (const auto& c : cases) {
    TDbfParser parser(nullptr);
    parser.SetIgnoreCase(c.ignore_case);
    parser.SetPartialCompare(c.partial);
    Vars v(parser);
    v.SetName(c.name);
    parser.CompileText(std::string("NAME='") + c.pattern + "'");
    EXPECT_EQ(Value(parser), c.value ? "true" : "false")
        << c.name << " = " << c.pattern << " case:" << !c.ignore_case << " partial:" << c.partial;
  }
}

TEST(ParserLibrary, StrFormatsNumbersInFixedWidths) {
  TDbfParser parser(nullptr);
  Vars v(parser);
  v.i = -7;
  v.f = 2.5;
  const struct {
    const char* text;
    const char* value;
  } cases[] = {
      {"STR(3.14159, 8, 2)", "    3.14"},
      {"STR(I)", "-7"},
      {"STR(0-7)", "-7"},
      {"STR(I, 4)", "-  7"},
      {"STR(123456, 3)", "456"},
      {"STR(0-123456, 4)", "-456"},
      {"STR(5, 3, 0)", "  5."},
      {"STR(5, 3, 2)", "  5.00"},
      {"STR(42)", "42"},
      {"STR(1.5, 5, 1)", "  1.5"},
      {"STR(F, 6, 3)", " 2.500"},
      {"STR(1234567.891, 5, 2)", "12345"},
      {"STR(12.5)", "13"},
      {"STR(0.25, 1)", "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(parser, c.text), c.value) << c.text;
  // Widths are bounded (255 blanks and digits, a point, 255 zeros): no text,
  // however written, asks for unbounded room per record.
  try {
    parser.CompileText("STR(I, 2000000000, 2000000000)");
    FAIL() << "an over-long key was accepted";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Index result for \"STR(I, 2000000000, 2000000000)\" too long, >100 characters (511).");
  }
}

TEST(ParserLibrary, SubstrCaseAndDtos) {
  TDbfParser parser(nullptr);
  Vars v(parser);
  v.d = EncodeDate(2024, 2, 29) + 0.75;
  const struct {
    std::string text;
    std::string value;
  } cases[] = {
      {"SUBSTR('ABCDEF', 2, 3)", "BCD"},
      {"SUBSTR('ABC', 3, 2)", ""},
      {"SUBSTR('ABC', 3, 1)", "C"},
      {"SUBS('ABCDEF', 1, 6)", "ABCDEF"},
      {"subs('ABCDEF', 4, 0)", ""},
      {"SUBSTR('ABC', 0, 1)", ""},
      {"SUBSTR('ABC', 2, 0-1)", ""},
      {"UPPER('abc1z')", "ABC1Z"},
      {"UPPERCASE('mIx')", "MIX"},
      {"LOWER('ABC1Z')", "abc1z"},
      {"lowercase('MiX')", "mix"},
      {Utf8ToAnsi("UPPER('абв')"), Utf8ToAnsi("абв")},
      {Utf8ToAnsi("LOWER('АБВ')"), Utf8ToAnsi("АБВ")},
      {"DTOS(D)", "20240229"},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(parser, c.text), c.value) << AnsiToUtf8(c.text);
  v.d = 0;
  EXPECT_EQ(Eval(parser, "DTOS(D)"), "18991230");
}

TEST(ParserLibrary, ResultLengthsByKindAndTheKeyLimit) {
  TDbfParser parser(nullptr);
  Vars v(parser);
  const struct {
    const char* text;
    int length;
  } cases[] = {
      {"I+1", 4}, {"I=1", 1}, {"F*2", 8}, {"L+1", 8}, {"STR(I, 10)", 10}, {"'abc'+'de'", 5}, {"STR(I, 100)", 100},
  };
  for (const auto& c : cases) {
    parser.CompileText(c.text);
    EXPECT_EQ(parser.ResultLength(), c.length) << c.text;
    EXPECT_EQ(parser.ExpressionText(), c.text);
  }
  try {
    parser.CompileText("STR(I, 101)");
    FAIL() << "101-byte key accepted";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Index result for \"STR(I, 101)\" too long, >100 characters (101).");
  }
  EXPECT_EQ(parser.FirstRecord(), nullptr);
  EXPECT_EQ(parser.ExpressionText(), "");
}

}  // namespace parser_library_test

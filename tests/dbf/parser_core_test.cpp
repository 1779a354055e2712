// The parser core: tokens, the sequence checks, the tree by precedence,
// overload choice, folding, the evaluation list and its errors.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "dbf/dbf_parser.h"
#include "dbf/dbf_str.h"
#include "tests/dbf/parser_support.h"

namespace parser_core_test {

namespace {

using parser_test::Eval;
using parser_test::RecordCount;

// The class and text of what compiling (and evaluating) a text raises.
std::string ErrorOf(TDbfParser& parser, const std::string& text) {
  try {
    parser.CompileText(text);
    parser.EvaluateRecord(nullptr);
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return "no error";
}

struct Variables {
  int32_t n = 3;
  double f = 2.5;
  int64_t big = 0;
  char* name = nullptr;

  void AddTo(TDbfParser& parser) {
    parser.AddIntegerVariable("N", &n);
    parser.AddFloatVariable("F", &f);
    parser.AddLargeIntVariable("BIG", &big);
    parser.AddStringVariable("NAME", &name);
  }
};

TEST(ParserCore, ArithmeticBindsAndGroupsByTheUsualRules) {
  TDbfParser parser(nullptr);
  const struct {
    const char* text;
    TExprKind kind;
    const char* value;
  } cases[] = {
      {"10-3-2", ekInteger, "5"},
      {"2*3+4", ekInteger, "10"},
      {"2+3*4", ekInteger, "14"},
      {"(2*3)+4", ekInteger, "10"},
      {"2*(3+4)", ekInteger, "14"},
      {"100/10/5", ekInteger, "2"},
      {"2-3*4-1", ekInteger, "-11"},
      {"20/2*5", ekInteger, "50"},
      {"1+8/2/2", ekInteger, "3"},
      {"7/2", ekInteger, "3"},
      {"7.0/2", ekFloat, "3.5"},
      {"0-5", ekInteger, "-5"},
      {"1.5e3", ekFloat, "1500"},
      {".5+1", ekFloat, "1.5"},
      {"$1F", ekInteger, "31"},
      {"$ff+1", ekInteger, "256"},
      {"  1  +   2 ", ekInteger, "3"},
      {"1\t+2", ekInteger, "3"},
      {"((((7))))", ekInteger, "7"},
      {"1+2=3", ekBoolean, "true"},
      {"1<2 AND 2<1", ekBoolean, "false"},
      {"1<2 OR 2<1 AND 1=0", ekBoolean, "true"},
      {"NOT 1=2", ekBoolean, "true"},
      {"NOT NOT 1=1", ekBoolean, "true"},
      {"NOT 1=1 AND 1=1", ekBoolean, "false"},
      {"1<2 .AND. 2<3", ekBoolean, "true"},
      {".NOT. 1=2 .and. 1=1", ekBoolean, "true"},
      {"1=2 .Or. 2=2", ekBoolean, "true"},
      // A dotted word right after a number keeps its point.
      {"1=1.AND.2=2", ekBoolean, "true"},
      {"1=2.OR.2.5>2", ekBoolean, "true"},
      {"1.=1.0.AND..5<1", ekBoolean, "true"},
      {"$A=10.AND..NOT.1=2", ekBoolean, "true"},
      {"'a'+'b'+'c'", ekString, "abc"},
      {"' a b '", ekString, " a b "},
      {"'abc", ekString, "'abc"},
      {"\"q\"+'r'", ekString, "qr"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Eval(parser, c.text), c.value) << c.text;
    EXPECT_EQ(parser.GetResultKind(), c.kind) << c.text;
  }
}

TEST(ParserCore, VariablesAreReadAtEachEvaluation) {
  TDbfParser parser(nullptr);
  Variables v;
  v.AddTo(parser);
  parser.CompileText("(N>1) AND (N<5)");
  const struct {
    int32_t n;
    bool accepted;
  } cases[] = {{1, false}, {2, true}, {4, true}, {5, false}, {-3, false}};
  for (const auto& c : cases) {
    v.n = c.n;
    EXPECT_EQ(parser.EvaluateRecord(nullptr)[0] != 0, c.accepted) << c.n;
  }
  parser.CompileText("N-1-1");
  v.n = 10;
  EXPECT_EQ(parser_test::Show(ekInteger, parser.EvaluateRecord(nullptr)), "8");
}

TEST(ParserCore, TextsLongerThanABufferGrowItBetweenRuns) {
  TDbfParser parser(nullptr);
  Variables v;
  v.AddTo(parser);
  parser.CompileText("UPPER(NAME)+'!'");
  for (const std::string& text : {std::string("short"), std::string(300, 'x'), std::string("mid-length text"), std::string()}) {
    std::string copy = text;
    v.name = copy.data();
    std::string expected = copy;
    for (char& c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(std::string(parser.EvaluateRecord(nullptr)), expected + "!");
  }
}

TEST(ParserCore, FilterOnAnIntegerCompilesToThreeRecords) {
  TDbfParser parser(nullptr);
  int32_t nb_type = 0;
  parser.AddIntegerVariable("NB_TYPE", &nb_type);
  parser.CompileText("NB_TYPE=0");
  ASSERT_EQ(RecordCount(parser), 3);
  const TExprRecord* r = parser.FirstRecord();
  EXPECT_EQ(r->Word->Name(), "NB_TYPE");
  EXPECT_EQ(r->Next->Word->Name(), "0");
  EXPECT_EQ(r->Next->Next->Word->Name(), "=");
  EXPECT_EQ(r->Next->Next->Word->Signature(), "II");
  for (int32_t value : {0, 1, 0}) {
    nb_type = value;
    EXPECT_EQ(parser.EvaluateRecord(nullptr)[0], value == 0 ? 1 : 0);
  }
}

TEST(ParserCore, VariableFreePartsFoldIntoOneConstant) {
  const struct {
    const char* text;
    bool fold;
    int records;
    const char* value;
  } cases[] = {
      {"1+2", true, 1, "3"},
      {"1+2", false, 3, "3"},
      {"N+2*3", true, 3, "9"},
      {"N+2*3", false, 5, "9"},
      {"UPPER('ab')+'c'", true, 1, "ABc"},
      {"UPPER('ab')+'c'", false, 3, "ABc"},
      {"STR(3.14159, 8, 2)", true, 1, "    3.14"},
      {"1.5*2 > 2", true, 1, "true"},
  };
  for (const auto& c : cases) {
    TDbfParser parser(nullptr);
    Variables v;
    v.AddTo(parser);
    parser.SetFoldConstants(c.fold);
    EXPECT_EQ(Eval(parser, c.text), c.value) << c.text;
    EXPECT_EQ(RecordCount(parser), c.records) << c.text << (c.fold ? " folded" : "");
  }
}

TEST(ParserCore, BadTextsAreRefusedWithTheirMessages) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"(1+2", "EParserException: Unequal brackets"},
      {"1+2)", "EParserException: Unequal brackets"},
      {"1)+(2", "EParserException: Unequal brackets"},
      {"'a' 'b'", "EParserException: Missing operator between ''a'' and ''b''"},
      {"N 1", "EParserException: Missing operator between 'N' and '1'"},
      {"UPPER()", "EParserException: Empty brackets ()"},
      {"(", "EParserException: Unequal brackets"},
      {"(1)(2)", "EParserException: Missing operator between )("},
      {"(1) 2", "EParserException: Missing operator between ) and constant/variable"},
      {"1 (2)", "EParserException: Missing operator between constant/variable and ("},
      {"UPPER('a', 'b')", "EParserException: Function or operand has too many arguments"},
      {"STR(1,2,3,4,5,6,7)", "EParserException: Function or operand has too many arguments"},
      {"SUBSTR('abc', 1)", "EParserException: Function or operand has too few arguments"},
      {"NOT", "EParserException: Function or operand has too few arguments"},
      {"1 AND 2", "EParserException: Argument type mismatch"},
      {"-5", "EParserException: Argument type mismatch"},
      {"3 - -2", "EParserException: Argument type mismatch"},
      {"'a' + 1", "EParserException: Argument type mismatch"},
      {"N = 'a'", "EParserException: Argument type mismatch"},
      {"UPPER(1)", "EParserException: Argument type mismatch"},
      {"1, 2", "EParserException: Operator/function missing"},
      {"UPPER('a') UPPER('b')", "EParserException: Operator/function missing"},
      {"UPPER 'a'", "EParserException: Operator/function missing"},
      {"SUBSTR('abc',,1)", "EParserException: Missing argument"},
      {"1 +", "EParserException: Expression ends with an operator"},
      {"N <", "EParserException: Expression ends with an operator"},
      {"XYZ", "EDbfError: Index based on unknown field \"XYZ\"."},
      {"1E5", "EDbfError: Index based on unknown field \"E5\"."},
      {".XOR. 1", "EConvertError: ',' is not a valid floating point value"},
      {"1e5", "EConvertError: '1e5' is not a valid integer value"},
      {"99999999999", "EConvertError: '99999999999' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    TDbfParser parser(nullptr);
    Variables v;
    v.AddTo(parser);
    EXPECT_EQ(ErrorOf(parser, c.text), c.error) << c.text;
    // A failure leaves nothing compiled.
    EXPECT_EQ(parser.FirstRecord(), nullptr) << c.text;
    EXPECT_EQ(parser.ExpressionText(), "") << c.text;
    EXPECT_EQ(parser.GetResultKind(), ekUnknown) << c.text;
  }
}

TEST(ParserCore, EmptyAndBlankTextsCompileToNothing) {
  for (const char* text : {"", "   ", "\t \r\n"}) {
    TDbfParser parser(nullptr);
    parser.CompileText(text);
    EXPECT_EQ(parser.FirstRecord(), nullptr);
    EXPECT_EQ(parser.GetResultKind(), ekUnknown);
  }
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(ParserCore, NestingBeyondTheBoundIsRefusedNotOverflowed) {
  const int bound = TCustomExpressionParser::kMaxNesting;
  const struct {
    std::string text;
    const char* result;
  } cases[] = {
      {Repeat("1+", bound / 2) + "1", nullptr},
      {Repeat("1=2 OR ", 300) + "1=1", nullptr},  // a long list of alternatives
      {Repeat("1+", bound + 5) + "1", "EParserException: Expression nested too deeply"},
      {Repeat("UPPER(", bound / 2) + "'a'" + Repeat(")", bound / 2), nullptr},
      {Repeat("UPPER(", 5000) + "'a'" + Repeat(")", 5000), "EParserException: Expression nested too deeply"},
      {Repeat("NOT ", 5000) + "1=1", "EParserException: Expression nested too deeply"},
      {Repeat("(", 5000) + "1" + Repeat(")", 5000), nullptr},
  };
  for (const auto& c : cases) {
    TDbfParser parser(nullptr);
    if (c.result == nullptr)
      EXPECT_NO_THROW(parser.CompileText(c.text)) << c.text.substr(0, 40);
    else
      EXPECT_EQ(ErrorOf(parser, c.text), c.result) << c.text.substr(0, 40);
  }
  TDbfParser parser(nullptr);
  EXPECT_EQ(Eval(parser, Repeat("1+", bound / 2) + "1"), std::to_string(bound / 2 + 1));
}

TEST(ParserCore, VariablesCannotBeUndefinedWhileCompiled) {
  TDbfParser parser(nullptr);
  Variables v;
  v.AddTo(parser);
  parser.CompileText("N+1");
  try {
    parser.RemoveOrSwapWord("N", nullptr);
    FAIL() << "undefined while compiled";
  } catch (const EParserException&) {
    FAIL() << "a plain Exception is expected";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "Exception");
    EXPECT_EQ(e.Message(), "Cannot undefine function/variable while expression present");
  }
  try {
    parser.RemoveOrSwapWord("N", new TFunction("N", "", "I", 1, ekInteger, nullptr));
    FAIL() << "a function replaced a variable";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot replace variable/function MaxFunctionArg doesn't match");
  }
}

TEST(ParserCore, ReplacingAVariableRedirectsTheCompiledList) {
  TDbfParser parser(nullptr);
  int32_t first = 5, second = 40;
  parser.AddIntegerVariable("N", &first);
  parser.CompileText("N*2");
  EXPECT_EQ(parser_test::Show(ekInteger, parser.EvaluateRecord(nullptr)), "10");
  parser.AddIntegerVariable("n", &second);
  EXPECT_EQ(parser_test::Show(ekInteger, parser.EvaluateRecord(nullptr)), "80");
}

}  // namespace

namespace {

// The core alone, with the common words and no way to define a name: what a
// name that stays unknown gives.
class BareParser : public TCustomExpressionParser {
 public:
  BareParser() { LoadWordList(); }
  ~BareParser() override { ClearCompiled(); }

 protected:
  void LoadWordList() override { WordList().InsertRange(CommonWords(), 0, CommonWords().Count() - 1); }
  void ResolveUnknownName(const AnsiString&) override {}
  AnsiString GetExpressionText() override { return {}; }
};

TEST(ParserCore, ANameNoOneDefinesIsAnUnknownVariable) {
  const struct {
    const char* text;
    const char* error;  // nullptr: compiles
  } cases[] = {
      {"1 + Foo", "Unknown variable 'Foo' found."},
      {"upper('a') = bar_2", "Unknown variable 'bar_2' found."},
      {"subs('abc', 1, 2)", nullptr},  // words and aliases are found ignoring case
  };
  for (const auto& c : cases) {
    BareParser parser;
    try {
      parser.BuildEvaluationList(c.text);
      EXPECT_EQ(c.error, nullptr) << c.text;
    } catch (const EParserException& e) {
      EXPECT_EQ(e.Message(), c.error ? c.error : "(compiles)") << c.text;
      EXPECT_EQ(parser.FirstRecord(), nullptr);
    }
  }
}

}  // namespace

}  // namespace parser_core_test

// The report expression parser: postfix form, values and their kinds, the two
// callbacks, the reading routines, the named-value list and the call finder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/FR_Pars.h"
#include "toolkit/core/text.h"

namespace pars_test {

std::string Show(const Variant& v) {
  return "kind " + std::to_string(v.VarType()) + " value \"" + AnsiToUtf8(VarToStr(v)) + "\"";
}

// Shows operator codes of a postfix string as \N so failures can be read.
std::string Readable(const std::string& postfix) {
  std::string out;
  for (char c : postfix) {
    if (static_cast<unsigned char>(c) < 32)
      out += "\\" + std::to_string(static_cast<int>(c));
    else
      out += c;
  }
  return out;
}

class ParserTest : public ::testing::Test {
 protected:
  ScopedFormatSettings russian_{TFormatSettings::Russian()};
  TfrParser parser_;
};

// ---------------------------------------------------------------------------
// Postfix form

TEST_F(ParserTest, PostfixStringsFollowThePrioritiesAndCodes) {
  const struct {
    const char* infix;
    std::string postfix;
  } cases[] = {
      {"1+2*3", "1 2 3 *+"},
      {"(1+2)*3", "1 2 +3 *"},
      {"10-3-2", "10 3 -2 -"},
      {"8/4/2", "8 4 /2 /"},
      {"a>=b", "a b \x01"},
      {"a<=b", "a b \x02"},
      {"a<>b", "a b \x03"},
      {"a<b", "a b <"},
      {"a=b", "a b ="},
      {"a>b", "a b >"},
      {"a or b", "a b \x04"},
      {"a AnD b", "a b \x05"},
      {"int x", "x \x06"},
      {"FRAC x", "x \x07"},
      {"-5", "5 \x09"},
      {"+5", "5 \x0A"},
      {"str x", "x \x0B"},
      {"NOT x", "x \x0C"},
      {"7 mod 2", "7 2 \x0D"},
      {"ROUND x", "x \x0E"},
      // AND binds as tightly as "*", comparisons most loosely.
      {"1 = 1 AND 2 = 2", "1 1 2 \x05=2 ="},
      {"(a = 1) AND (b = 2)", "a 1 =b 2 =\x05"},
      // INT and friends take the operand or bracket that follows.
      {"INT(0-2.5)", "0 2.5 -\x06"},
      {"INT 2.5 + 1", "2.5 \x06" "1 +"},
      {"1 + INT 2.5", "1 2.5 \x06+"},
      // A prefix operator after a binary one lands before its operand.
      {"2*-3", "2 *3 \x09"},
      {"a AND NOT b", "a \x05" "b \x0C"},
      // Operands: strings, brackets, names with points and quotes, indexes, calls.
      {"'It''s'", "'It''s' "},
      {"[Dbf1.\"SERIAL\"]", "[Dbf1.\"SERIAL\"] "},
      {"Dbf1.\"SER IAL\"+1", "Dbf1.\"SER IAL\" 1 +"},
      {"page#", "page# "},
      {"1,5", "1,5 "},
      {"A[2]*3", "A[2] 3 *"},
      {"COPY('a,b', 2, 3) + x", "COPY('a,b', 2, 3)x +"},
      {"%2[X]", "%2[X] "},
      {"%dx", "%dx "},
      // Separators and the end of the text.
      {"1 +\r\n2", "1 2 +"},
      {"1\t+\t2", "1 2 +"},
      {"1 + 2 ; 3", "1 2 +"},
      {"(1+2);x", "1 2 +"},
      // A ";" right after an operand ends the text too; inside quotes and
      // brackets it is part of the operand.
      {"1+2;3", "1 2 +"},
      {"x;y+1", "x "},
      {"a[1];b", "a[1] "},
      {"Dbf1.\"A;B\"+1;2", "Dbf1.\"A;B\" 1 +"},
      {"'a;b'+c;d", "'a;b' c +"},
      {"[a;b]*2;3", "[a;b] 2 *"},
      {"", ""},
      // An unclosed string is closed; unbalanced group brackets stay visible.
      {"'abc", "'abc' "},
      {"1 + 'abc", "1 'abc' +"},
      {"1+2)", "1 2 +"},
      {"(1+2", "1 2 +("},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Readable(parser_.ToPostfix(c.infix)), Readable(c.postfix)) << c.infix;
}

// ---------------------------------------------------------------------------
// Values and their kinds

TEST_F(ParserTest, ValuesAndKinds) {
  const struct {
    const char* text;
    Variant expected;
  } cases[] = {
      {"1+2*3", 7.0},
      {"(1+2)*3", 9.0},
      {"10-3-2", 5.0},
      {"7/2", 3.5},
      {"-5", -5.0},
      {"+5", 5.0},
      {"-(-1)", 1.0},
      {"1,5", 1.5},
      {"1.5", 1.5},
      {".5", 0.5},
      {"1E3", 1000.0},
      // Division by zero gives the integer 0.
      {"7/0", 0},
      {"7/(1-1)", 0},
      {"7 MOD 2", 1},
      {"-7 MOD 2", -1},
      {"5 OR 2", 7},
      {"TRUE OR FALSE", true},
      {"false or false", false},
      {"1 = 1 AND 2 = 2", 0},
      {"(1 = 1) AND (2 = 2)", 1},
      {"(1 = 1) AND (2 = 3)", 0},
      {"2 AND 3", 6.0},
      {"1 < 2", 1},
      {"2 < 1", 0},
      {"2 <= 2", 1},
      {"3 >= 4", 0},
      {"4 > 3", 1},
      {"1 <> 2", 1},
      {"2 = 2", 1},
      {"'b' > 'a'", 1},
      {"NOT 0", 1},
      {"NOT 5", 0},
      {"NOT (1 = 2)", 1},
      {"INT 2.9999999999999", 3.0},
      {"INT 2.7", 2.0},
      {"INT(0-2.5)", -2.0},
      {"INT(0-2.9999999999999)", -3.0},
      {"FRAC 2.75", 0.75},
      {"FRAC(0-2.25)", -0.25},
      {"FRAC 2.99999999999999", 0.0},
      {"ROUND 2.5", 2.0},
      {"ROUND 3.5", 4.0},
      {"ROUND(0-2.5)", -2.0},
      {"ROUND 2.6", 3.0},
      {"ROUND 1E300", 1e300},
      {"STR 1,5", Variant(AnsiString("1,5"))},
      {"STR(2+3)", Variant(AnsiString("5"))},
      {"'It''s'", Variant(AnsiString("It's"))},
      {"'1,5'", Variant(AnsiString("1,5"))},
      {"'a' + 'b'", Variant(AnsiString("ab"))},
      {"''", Variant(AnsiString(""))},
      {"'abc", Variant(AnsiString("abc"))},
      {"TRUE", true},
      {"False", false},
      // The bottom of the stack is the result: 0 when nothing was pushed.
      {"", 0},
      {"1 2", 1.0},
      {"1 + 2 ; 3", 3.0},
      {"1+2;3", 3.0},
      {"1.5;2", 1.5},
      {"2*3;", 6.0},
      {"'a;b'", Variant(AnsiString("a;b"))},
      {"IF(1;2, 'yes', 'no')", Variant(AnsiString("yes"))},
      // Built-in calls.
      {"IF(1 > 0, 'yes', 'no')", Variant(AnsiString("yes"))},
      {"IF(1 < 0, 'yes', 'no')", Variant(AnsiString("no"))},
      {"IF(1/2, 'yes', 'no')", Variant(AnsiString("no"))},
      {"IF(0-3/2, 'yes', 'no')", Variant(AnsiString("yes"))},
      {"IF(TRUE, 'yes', 'no')", Variant(AnsiString("yes"))},
      {"IF(FALSE, 'yes', 'no')", Variant(AnsiString("no"))},
      {"if(1, 1+1, 0)", 2.0},
      {"COPY('abcdef', 2, 3)", Variant(AnsiString("bcd"))},
      {"copy('abcdef', 1+1, 10)", Variant(AnsiString("bcdef"))},
      {"COPY('ab' + 'cd', 3, 1) + 'x'", Variant(AnsiString("cx"))},
      {"STRTODATE('25.12.2026')", Variant::FromDate(EncodeDate(2026, 12, 25))},
      {"StrToTime('10:30')", Variant::FromDate(EncodeTime(10, 30, 0, 0))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Variant v = parser_.EvaluateText(c.text);
    EXPECT_EQ(v.VarType(), c.expected.VarType()) << Show(v);
    EXPECT_TRUE(v == c.expected) << Show(v) << " expected " << Show(c.expected);
  }
}

TEST_F(ParserTest, NumbersFollowTheLocaleDecimalSeparator) {
  ScopedFormatSettings invariant(TFormatSettings::Invariant());
  for (const char* text : {"1,5", "1.5"}) {
    const Variant v = parser_.EvaluateText(text);
    EXPECT_EQ(v.VarType(), varDouble) << text;
    EXPECT_EQ(v.AsDouble(), 1.5) << text;
  }
}

TEST_F(ParserTest, NullOperands) {
  parser_.ValueCallback = [](const AnsiString&, Variant& value) { value = Null(); };
  EXPECT_TRUE(parser_.EvaluateText("X + 1").IsNull());
  EXPECT_TRUE(parser_.EvaluateText("X OR 1").IsNull());
  EXPECT_TRUE(parser_.EvaluateText("X MOD 2").IsNull());
  EXPECT_TRUE(parser_.EvaluateText("1 / X").IsNull());
  EXPECT_TRUE(parser_.EvaluateText("X = X") == Variant(1));
  EXPECT_TRUE(parser_.EvaluateText("NOT X") == Variant(0));
  const Variant text = parser_.EvaluateText("STR X");
  EXPECT_EQ(text.VarType(), varString);
  EXPECT_EQ(text.AsString(), "");
}

// ---------------------------------------------------------------------------
// Callbacks

struct Recorder {
  std::vector<std::string> values;     // names asked of ValueCallback
  std::vector<std::string> functions;  // "NAME|p1|p2|p3"
  void Attach(TfrParser& parser) {
    parser.ValueCallback = [this](const AnsiString& name, Variant& value) {
      EXPECT_TRUE(value.IsEmpty());
      values.push_back(name);
      value = static_cast<int>(values.size()) * 10;
    };
    parser.FunctionCallback = [this](const AnsiString& name, const Variant& p1, const Variant& p2,
                                     const Variant& p3, Variant& value) {
      EXPECT_EQ(p1.VarType(), varString);
      EXPECT_EQ(p2.VarType(), varString);
      EXPECT_EQ(p3.VarType(), varString);
      EXPECT_TRUE(value.IsEmpty());
      functions.push_back(name + "|" + p1.AsString() + "|" + p2.AsString() + "|" + p3.AsString());
      value = AnsiString("r");
    };
  }
};

TEST_F(ParserTest, CallbacksReceiveNamesAndArgumentTexts) {
  const struct {
    const char* text;
    std::vector<std::string> values;
    std::vector<std::string> functions;
  } cases[] = {
      {"[Dbf1.\"SERIAL\"]", {"Dbf1.\"SERIAL\""}, {}},
      {"[ a + b ]", {" a + b "}, {}},
      {"page#", {"PAGE#"}, {}},
      {"Dbf1.\"serial\"", {"DBF1.\"SERIAL\""}, {}},
      {"\xE8\xEC\xFF", {"\xC8\xCC\xDF"}, {}},  // 1251 letters are upper-cased too
      {"a + [b] * c", {"A", "b", "C"}, {}},
      {"A[2]", {}, {"GETARRAY|A|2|"}},
      {"arr[1+i]", {}, {"GETARRAY|arr|1+i|"}},
      {"sum([x], band1)", {}, {"SUM|[x]|band1|"}},
      {"F()", {}, {"F|||"}},
      {"F( 'a, b' , (1, 2) )", {}, {"F|'a, b'|(1, 2)|"}},
      {"F(1,2,3,4)", {}, {"F|1|2|3"}},
      {"Obj.Method(1)", {}, {"OBJ.METHOD|1||"}},
      // Only the chosen branch of IF is evaluated.
      {"IF(1 > 0, 'yes', NoName)", {}, {}},
      {"IF(0, Never(1), b)", {"B"}, {}},
      // Built-ins evaluate their arguments through the same callbacks.
      {"COPY(s, 1, 1)", {"S"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Recorder rec;
    rec.Attach(parser_);
    parser_.EvaluateText(c.text);
    EXPECT_EQ(rec.values, c.values);
    EXPECT_EQ(rec.functions, c.functions);
  }
}

TEST_F(ParserTest, CallbackResultsAreOperands) {
  Recorder rec;
  rec.Attach(parser_);
  EXPECT_TRUE(parser_.EvaluateText("a + b * 2") == Variant(50));  // 10 + 20 * 2
  EXPECT_TRUE(parser_.EvaluateText("F(1) + 'x'") == Variant(AnsiString("rx")));
  // A callback that leaves the value alone gives Unassigned, which counts as 0.
  parser_.ValueCallback = [](const AnsiString&, Variant&) {};
  EXPECT_TRUE(parser_.EvaluateText("x").IsEmpty());
  EXPECT_TRUE(parser_.EvaluateText("x + 1") == Variant(1.0));
}

TEST_F(ParserTest, UnsetCallbacksGiveNull) {
  EXPECT_TRUE(parser_.EvaluateText("x").IsNull());
  EXPECT_TRUE(parser_.EvaluateText("[x]").IsNull());
  EXPECT_TRUE(parser_.EvaluateText("F(1)").IsNull());
  EXPECT_TRUE(parser_.EvaluateText("A[1]").IsNull());
}

TEST_F(ParserTest, CompiledPostfixRunsAgainWithNewValues) {
  int counter = 0;
  parser_.ValueCallback = [&](const AnsiString&, Variant& value) { value = ++counter; };
  const AnsiString postfix = parser_.ToPostfix("n * 10 + 1");
  EXPECT_TRUE(parser_.EvalPostfix(postfix) == Variant(11.0));
  EXPECT_TRUE(parser_.EvalPostfix(postfix) == Variant(21.0));
}

// ---------------------------------------------------------------------------
// Errors

TEST_F(ParserTest, UnclosedCallBracketRaisesAnEmptyException) {
  for (const char* text : {"F(1", "IF(1, 2", "COPY('a)', 1, 1", "(1+2", "F('x)"}) {
    SCOPED_TRACE(text);
    try {
      parser_.EvaluateText(text);
      ADD_FAILURE() << "no error";
    } catch (const EParserError&) {
      ADD_FAILURE() << "parser error instead of the plain exception";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), "Exception");
      EXPECT_EQ(e.Message(), "");
    }
  }
}

TEST_F(ParserTest, OperatorsWithoutOperandsAreRefused) {
  for (const char* text : {"2*-3", "a AND NOT b", "1 - -1", "--1", "*", "NOT", "1 +"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(parser_.EvaluateText(text), EParserError);
  }
  EXPECT_THROW(parser_.EvalPostfix("\x05"), EParserError);
}

TEST_F(ParserTest, StackHoldsThirtyTwoEntries) {
  std::string fits, overflows;
  for (int k = 0; k < TfrParser::kStackSize; ++k) fits += "1 ";
  overflows = fits + "1 ";
  EXPECT_TRUE(parser_.EvalPostfix(fits) == Variant(1.0));
  EXPECT_THROW(parser_.EvalPostfix(overflows), EParserError);
  // Deep right-nested brackets need one entry per level.
  std::string deep;
  for (int k = 0; k < 40; ++k) deep += "1+(";
  deep += "1" + std::string(40, ')');
  EXPECT_THROW(parser_.EvaluateText(deep), EParserError);
}

TEST_F(ParserTest, ConversionAndArithmeticErrorsPropagate) {
  EXPECT_THROW(parser_.EvaluateText("1,2,3"), EConvertError);
  EXPECT_THROW(parser_.EvaluateText("2x"), EConvertError);
  EXPECT_THROW(parser_.EvaluateText("'abc' * 2"), EConvertError);
  EXPECT_THROW(parser_.EvaluateText("STRTODATE('31.02.2026')"), EConvertError);
  EXPECT_THROW(parser_.EvaluateText("STRTOTIME('x')"), EConvertError);
  EXPECT_THROW(parser_.EvaluateText("COPY('abc', 1/2, 1)"), EConvertError);
  EXPECT_THROW(parser_.EvaluateText("IF('x', 1, 2)"), EConvertError);
  EXPECT_THROW(parser_.EvaluateText("7 MOD 0"), EDivByZero);
  EXPECT_THROW(parser_.EvaluateText("INT 'x'"), EConvertError);
  parser_.FunctionCallback = [](const AnsiString&, const Variant&, const Variant&, const Variant&, Variant&) {
    throw EDatabaseError("boom");
  };
  EXPECT_THROW(parser_.EvaluateText("1 + F(2)"), EDatabaseError);
}

TEST_F(ParserTest, DeepNestingIsRefusedBeforeTheStackRunsOut) {
  // Calls inside calls.
  std::string nested = "1";
  for (int k = 0; k < 200; ++k) nested = "IF(1, " + nested + ", 0)";
  EXPECT_THROW(parser_.EvaluateText(nested), EParserError);
  std::string shallow = "1";
  for (int k = 0; k < 20; ++k) shallow = "IF(1, " + shallow + ", 0)";
  EXPECT_TRUE(parser_.EvaluateText(shallow) == Variant(1.0));
  // Names that resolve to each other through a callback, across parser objects.
  TfrParser other;
  parser_.ValueCallback = [&](const AnsiString& name, Variant& value) { value = other.EvaluateText(name + " + 1"); };
  other.ValueCallback = [&](const AnsiString& name, Variant& value) { value = parser_.EvaluateText(name); };
  EXPECT_THROW(parser_.EvaluateText("A"), EParserError);
  // The depth is given back after the error: a shallow text still evaluates.
  parser_.ValueCallback = nullptr;
  EXPECT_TRUE(parser_.EvaluateText(shallow) == Variant(1.0));
}

TEST_F(ParserTest, HostilePostfixEndsWithoutReadingPastTheText) {
  // Bytes that ToPostfix never writes are stepped over or read as names.
  EXPECT_TRUE(parser_.EvalPostfix(")") == Variant(0));
  EXPECT_TRUE(parser_.EvalPostfix("1 )2 +") == Variant(3.0));
  EXPECT_TRUE(parser_.EvalPostfix("1 \x08") == Variant(1.0));
  EXPECT_TRUE(parser_.EvalPostfix("[") == Variant(Null()));
  EXPECT_TRUE(parser_.EvalPostfix("'") == Variant(AnsiString("")));
}

// ---------------------------------------------------------------------------
// Reading routines

TEST(ReadBracketedTest, InnerTextAndEnd) {
  const struct {
    const char* text;
    size_t start;
    const char* inner;
    size_t end;
  } cases[] = {
      {"[a]", 0, "a", 2},
      {"x[a[b]c]y", 1, "a[b]c", 7},
      {"[a']'b]", 0, "a']'b", 6},
      {"[a\"]\"b]", 0, "a\"]\"b", 6},
      {"[a'\"'b]x\"]", 0, "a'\"'b", 6},  // a double quote inside '...' does not count
      {"[a]b]", 0, "a", 2},
      {"[]", 0, "", 1},
      // Unclosed: up to the last character but one.
      {"[abc", 0, "ab", 3},
      {"x[[a]", 1, "[a", 4},
      {"[a", 0, "", 1},
      {"[", 0, "", 0},
      // Not at a bracket.
      {"abc", 1, "", 1},
      {"[a]", 5, "", 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    size_t end = 999;
    EXPECT_EQ(ReadBracketed(c.text, c.start, &end), c.inner);
    EXPECT_EQ(end, c.end);
  }
}

TEST(ReadingRoutinesTest, OperandText) {
  TfrParser parser;
  const struct {
    const char* text;
    size_t pos;
    const char* word;
    size_t end;
  } cases[] = {
      {"  abc+1", 0, "abc", 5},
      {"Dbf1.\"SER IAL\"*2", 0, "Dbf1.\"SER IAL\"", 14},
      {"a,b.c;d#e'f(1)", 0, "a,b.c;d#e'f", 11},
      {"\xC0\xC1 x", 0, "\xC0\xC1", 2},
      {"x[1]", 0, "x", 1},
      {"x\ty", 0, "x", 1},
      {"a)b", 0, "a", 1},
      {"\"a(b", 0, "\"a(b", 4},
      {"1 2", 1, "2", 3},
      {"", 0, "", 0},
      {"   ", 0, "", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    size_t pos = c.pos;
    EXPECT_EQ(parser.ReadOperandText(c.text, &pos), c.word);
    EXPECT_EQ(pos, c.end);
  }
}

TEST(ReadingRoutinesTest, QuotedText) {
  TfrParser parser;
  const struct {
    const char* text;
    const char* quoted;
    size_t end;
  } cases[] = {
      {"'It''s' + 1", "'It''s'", 7},
      {"'' x", "''", 2},
      {"''''", "''''", 4},
      {"'abc", "'abc", 4},
      {"'a''", "'a''", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    size_t pos = 0;
    EXPECT_EQ(parser.ReadQuoted(c.text, &pos), c.quoted);
    EXPECT_EQ(pos, c.end);
  }
}

TEST(ReadingRoutinesTest, CallArguments) {
  TfrParser parser;
  const struct {
    const char* text;
    std::vector<std::string> args;
    size_t end;
  } cases[] = {
      {"a, (b, c), 'd,e')rest", {"a", "(b, c)", "'d,e'"}, 17},
      {"1,2,3,4)", {"1", "2", "3"}, 8},
      {")", {""}, 1},
      {"'a)b')", {"'a)b'"}, 6},
      {"[x,y])", {"[x", "y]"}, 6},  // only round brackets and '...' quotes guard commas
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    size_t pos = 0;
    const std::vector<AnsiString> args = parser.ReadCallArguments(c.text, &pos);
    EXPECT_EQ(std::vector<std::string>(args.begin(), args.end()), c.args);
    EXPECT_EQ(pos, c.end);
  }
  size_t pos = 0;
  EXPECT_THROW(parser.ReadCallArguments("1, (2)", &pos), Exception);
}

// ---------------------------------------------------------------------------
// Named values

TEST(VariablesTest, AssignFetchAndIndexIgnoreCase) {
  TfrVariables vars;
  vars.AssignVariable("Total", 5);
  vars.AssignVariable("name", AnsiString("x"));
  vars.AssignVariable("TOTAL", 7);  // overwrites, keeps the first spelling
  EXPECT_EQ(vars.VariableCount(), 2);
  EXPECT_EQ(vars.VariableNameAt(0), "Total");
  EXPECT_TRUE(vars.FetchVariable("total") == Variant(7));
  EXPECT_EQ(vars.IndexOfVariable("NAME"), 1);
  EXPECT_EQ(vars.IndexOfVariable("other"), -1);
  EXPECT_TRUE(vars.FetchVariable("other").IsNull());
  vars.AssignVariable("\xC8\xEC\xFF", 1);  // 1251 "Имя"
  EXPECT_EQ(vars.IndexOfVariable("\xE8\xCC\xDF"), 2);
}

TEST(VariablesTest, IndexAccessOutOfRangeIsHarmless) {
  TfrVariables vars;
  vars.AssignVariable("a", 1);
  EXPECT_TRUE(vars.VariableValueAt(5) == Variant(0));
  EXPECT_TRUE(vars.VariableValueAt(-1) == Variant(0));
  EXPECT_EQ(vars.VariableNameAt(3), "");
  vars.SetVariableValueAt(3, 9);
  vars.SetVariableNameAt(-1, "z");
  vars.DeleteVariableAt(7);
  EXPECT_EQ(vars.VariableCount(), 1);
  EXPECT_TRUE(vars.VariableValueAt(0) == Variant(1));
  vars.SetVariableValueAt(0, 2);
  vars.SetVariableNameAt(0, "b");
  EXPECT_TRUE(vars.FetchVariable("B") == Variant(2));
  vars.DeleteVariableAt(0);
  EXPECT_EQ(vars.VariableCount(), 0);
}

TEST(VariablesTest, SortedListKeepsItsOrder) {
  TfrVariables vars;
  for (const char* name : {"delta", "Alpha", "charlie"}) vars.AssignVariable(name, AnsiString(name));
  EXPECT_EQ(vars.VariableNameAt(0), "delta");  // unsorted: in order of adding
  vars.SortVariables(true);
  vars.AssignVariable("Bravo", 0);
  vars.AssignVariable("echo", 0);
  std::vector<std::string> names;
  for (int k = 0; k < vars.VariableCount(); ++k) names.push_back(vars.VariableNameAt(k));
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Bravo", "charlie", "delta", "echo"}));
  EXPECT_TRUE(vars.FetchVariable("DELTA") == Variant(AnsiString("delta")));
  vars.SetVariableNameAt(0, "foxtrot");  // moves to its place
  EXPECT_EQ(vars.VariableNameAt(4), "foxtrot");
  EXPECT_TRUE(vars.VariableValueAt(4) == Variant(AnsiString("Alpha")));
  vars.SortVariables(false);
  vars.AssignVariable("aaa", 0);
  EXPECT_EQ(vars.VariableNameAt(5), "aaa");
  vars.ClearVariables();
  EXPECT_EQ(vars.VariableCount(), 0);
}

// ---------------------------------------------------------------------------
// Finding aggregate calls

class SplitterTest : public ::testing::Test {
 protected:
  SplitterTest() {
    names_.Add("SUM");
    names_.Add("MAX");
  }
  std::vector<std::string> Split(const char* text) {
    found_.Clear();
    TfrFunctionSplitter splitter(&names_, &found_, &vars_);
    splitter.SplitCalls(text);
    std::vector<std::string> out;
    for (int k = 0; k < found_.Count(); ++k) out.push_back(found_.Strings(k));
    return out;
  }
  TStringList names_, found_;
  TfrVariables vars_;
};

TEST_F(SplitterTest, FindsCallsOfTheNamedFunctions) {
  vars_.AssignVariable("Total", AnsiString("SUM([Dbf1.\"P\"]) / 2"));
  vars_.AssignVariable("Plain", AnsiString("[Dbf1.\"P\"]"));
  const struct {
    const char* text;
    std::vector<std::string> found;
  } cases[] = {
      {"[A] + SUM([B]) + MAX([C])", {"SUM([B])", "MAX([C])"}},
      {"sum([x], MasterData1)", {"sum([x], MasterData1)"}},
      {"MAX(SUM([A]))", {"SUM([A])", "MAX(SUM([A]))"}},
      {"IF([A] > 0, SUM([B]), 0)", {"SUM([B])"}},
      {"COUNT([A]) + AVG([B])", {}},
      {"[Total] * 2", {"SUM([Dbf1.\"P\"])"}},
      {"total + 1", {"SUM([Dbf1.\"P\"])"}},
      {"[Plain] + 1", {}},
      {"[[SUM(x)]]", {"SUM(x)"}},
      // Strings hold no calls.
      {"'SUM(x)'", {}},
      {"[A] + 'a(b' + SUM([B])", {"SUM([B])"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Split(c.text), c.found);
  }
}

TEST_F(SplitterTest, VariablesThatReachThemselvesAreFollowedOnce) {
  vars_.AssignVariable("A", AnsiString("[B] + SUM([X])"));
  vars_.AssignVariable("B", AnsiString("A * MAX([Y])"));
  EXPECT_EQ(Split("[A]"), (std::vector<std::string>{"MAX([Y])", "SUM([X])"}));
  vars_.AssignVariable("Self", AnsiString("[Self]"));
  EXPECT_EQ(Split("Self"), std::vector<std::string>{});
}

TEST_F(SplitterTest, DeepNestingAndUnclosedCallsAreRefused) {
  const std::string deep = std::string(200, '[') + "SUM(x)" + std::string(200, ']');
  EXPECT_THROW(Split(deep.c_str()), EParserError);
  EXPECT_THROW(Split("SUM([A]"), Exception);
  TfrFunctionSplitter without_lists(nullptr, nullptr, nullptr);
  without_lists.SplitCalls("[A] + SUM([B])");  // nothing to match or fill: no fault
}

}  // namespace pars_test

// The formula compiler: tokens for each kind of formula text, and its errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "toolkit/core/binary.h"
#include "toolkit/core/sysutils.h"
#include "xls/vteExcelFormula.h"
#include "xls/vteExcelFormula_iftab.h"

namespace formula_test {

std::string Hex(const std::string& bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

std::string NumHex(double v) {
  std::string s;
  s.push_back('\x1F');
  PutLEDouble(&s, v);
  return Hex(s);
}

struct TokenCase {
  const char* formula;
  std::string tokens;
};

TEST(FormulaCompiler, TokensOfFormulas) {
  ScopedFormatSettings russian(TFormatSettings::Russian());
  const TokenCase cases[] = {
      {"1+2*3", "1E 01 00 1E 02 00 1E 03 00 05 03"},
      {"(1+2)*3", "1E 01 00 1E 02 00 03 15 1E 03 00 05"},
      {"1-2-3", "1E 01 00 1E 02 00 04 1E 03 00 04"},
      {"SUM(A1;B2)", "44 00 00 00 C0 44 01 00 01 C0 42 02 04 00"},
      {"-A1", "44 00 00 00 C0 13"},
      {"+A1", "44 00 00 00 C0 12"},
      {"(1)", "1E 01 00 15"},
      {"IF(A1;;2)", "44 00 00 00 C0 16 1E 02 00 42 03 01 00"},
      {"IF(A1;1;)", "44 00 00 00 C0 1E 01 00 16 42 03 01 00"},
      {"PI()", "42 00 13 00"},
      // A function without arguments as an argument is content, not a gap.
      {"IF(PI();1;2)", "42 00 13 00 1E 01 00 1E 02 00 42 03 01 00"},
      {"SUM(SUM(1);2)", "1E 01 00 42 01 04 00 1E 02 00 42 02 04 00"},
      {"SUM((1))", "1E 01 00 15 42 01 04 00"},
      {"65535", "1E FF FF"},
      {"70000", NumHex(70000)},
      {"1,5", NumHex(1.5)},
      {"00065535", "1E FF FF"},
      {"65536", NumHex(65536)},
      {"1E5", NumHex(100000)},
      {"2,5e-1", NumHex(0.25)},
      {"$B$2", "44 01 00 01 00"},
      {"B$2", "44 01 00 01 40"},
      {"$B2", "44 01 00 01 80"},
      {"iv65536", "44 FF FF FF C0"},
      {"A1:B2", "25 00 00 01 00 00 C0 01 C0"},
      {"Sheet2!A1:B2", "3B 00 00 00 00 01 00 00 C0 01 C0"},
      {"Sheet2!A1+Sheet2!B1+Sheet3!C1", "5A 00 00 00 00 00 C0 5A 00 00 00 00 01 C0 03 5A 01 00 00 00 02 C0 03"},
      {"'My Sheet'!A1", "5A 00 00 00 00 00 C0"},
      {"\"ab\"&\"c\"", "17 02 01 61 00 62 00 17 01 01 63 00 08"},
      {"2^-1", "1E 02 00 1E 01 00 13 07"},
      {"2* -3", "1E 02 00 1E 03 00 13 05"},
      {"-2^2", "1E 02 00 13 1E 02 00 07"},
      {"50%", "1E 32 00 14"},
      {"A1%*2", "44 00 00 00 C0 14 1E 02 00 05"},
      {"1<>2", "1E 01 00 1E 02 00 0E"},
      {"A1>=B1", "44 00 00 00 C0 44 00 00 01 C0 0C"},
      {"1<=2", "1E 01 00 1E 02 00 0A"},
      {"1=2", "1E 01 00 1E 02 00 0B"},
      {"1<2", "1E 01 00 1E 02 00 09"},
      {"1>2", "1E 01 00 1E 02 00 0D"},
      {"1/2", "1E 01 00 1E 02 00 06"},
      {"1+2&3=4", "1E 01 00 1E 02 00 03 1E 03 00 08 1E 04 00 0B"},
      {"countif(A1:A3;1)", "25 00 00 02 00 00 C0 00 C0 1E 01 00 42 02 5A 01"},
      {"GetWorkbook(1)", "1E 01 00 42 01 0C 01"},
      {"  1 + 2  ", "1E 01 00 1E 02 00 03"},
  };
  std::string tokens;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.formula);
    TvteExcelFormulaCompiler compiler;  // fresh, so REF indexes start at 0
    compiler.Compile(c.formula, tokens);
    EXPECT_EQ(Hex(tokens), c.tokens);
  }
}

TEST(FormulaCompiler, NumbersFollowTheLocaleDecimalSeparator) {
  struct Case {
    const char* name;
    TFormatSettings settings;
    const char* formula;
    std::string result;  // tokens, or the error's message
  };
  const Case cases[] = {
      {"comma locale reads a comma", TFormatSettings::Russian(), "SUM(1,5;2)", NumHex(1.5) + " 1E 02 00 42 02 04 00"},
      {"comma locale refuses a point", TFormatSettings::Russian(), "0.25", "Invalid number [0.25]"},
      {"point locale reads a point", TFormatSettings::Invariant(), "0.25*2", NumHex(0.25) + " 1E 02 00 05"},
      {"point locale has no comma", TFormatSettings::Invariant(), "1,5", "Invalid symbol [,]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedFormatSettings scoped(c.settings);
    TvteExcelFormulaCompiler compiler;
    std::string tokens;
    try {
      compiler.Compile(c.formula, tokens);
      EXPECT_EQ(Hex(tokens), c.result);
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.result);
    }
  }
}

TEST(FormulaCompiler, SheetReferencesAreCollectedOnce) {
  TvteExcelFormulaCompiler compiler;
  std::string tokens;
  compiler.Compile("Sheet2!A1+[Book.xls]Data!B2+Sheet2!C3+'[Book.xls]Data'!D4+[Book.xls]Other!A1", tokens);
  const TvteExtRefs& refs = compiler.ExtRefs();
  ASSERT_EQ(refs.WorkbookCount(), 2);
  EXPECT_EQ(refs.Workbook(0).Name, "");
  EXPECT_EQ(refs.Workbook(1).Name, "Book.xls");
  ASSERT_EQ(refs.SheetCount(), 3);
  EXPECT_EQ(refs.Sheet(0).Name, "Sheet2");
  EXPECT_EQ(refs.Sheet(1).Name, "Data");
  EXPECT_EQ(refs.Sheet(1).Workbook, 1);
  EXPECT_EQ(refs.Sheet(2).Name, "Other");
  EXPECT_EQ(refs.Sheet(2).Index, 1);
  compiler.Clear();
  EXPECT_EQ(refs.SheetCount(), 0);
}

TEST(FormulaCompiler, ErrorsNameTheOffendingText) {
  ScopedFormatSettings russian(TFormatSettings::Russian());
  const std::string long_string = "\"" + std::string(256, 'x') + "\"";
  std::string many_args = "SUM(1";
  for (int i = 0; i < 30; ++i) many_args += ";1";
  many_args += ")";
  std::string thirty_args = "SUM(1";
  for (int i = 0; i < 29; ++i) thirty_args += ";1";
  thirty_args += ")";
  std::string long_formula = "1";
  for (int i = 0; i < 700; ++i) long_formula += "+1";
  const std::pair<std::string, std::string> cases[] = {
      {"FOO(1)", "Unknown function [FOO]"},
      {"GET.CELL(1)", "Unknown function [GET.CELL]"},
      {"(1+2", "Invalid brackets"},
      {"1+2)", "Invalid brackets"},
      {"SUM(1", "Invalid brackets"},
      {"1;2", "Parameter without function"},
      {"(1;2)", "Parameter without function"},
      {"1.2.3", "Invalid number [1.2.3]"},
      // "." is a number character, but the number is read with the locale's separator.
      {"1.5", "Invalid number [1.5]"},
      {"1e999", "Invalid number [1e999]"},
      {"1+#", "Invalid symbol [#]"},
      {"\"abc", "Invalid string"},
      {"A1:B", "Invalid range reference [A1:B]"},
      {"AB", "Invalid cell reference [AB]"},
      {"TRUE", "Invalid cell reference [TRUE]"},
      {"IW1", "Invalid cell reference [IW1]"},
      {"A65537", "Invalid cell reference [A65537]"},
      {"A0", "Invalid cell reference [A0]"},
      {"ABC1", "Invalid cell reference [ABC1]"},
      {"' '!A1", "Invalid range reference [' '!A1]"},
      {"1+!", "Invalid symbol [!]"},
      {"'Sheet'A1", "Invalid range reference ['Sheet'A1]"},
      {"[Book!A1", "Invalid range reference [[Book!A1]"},
      {"Sheet1!A", "Invalid cell reference [Sheet1!A]"},
      {"1<<2", "Unknown operator [<<]"},
      {"1=>2", "Unknown operator [=>]"},
      // Texts whose tokens a reader could not evaluate.
      {"1+", "Invalid formula [1+]"},
      {"*2", "Invalid formula [*2]"},
      {"1 2", "Invalid formula [1 2]"},
      {" ", "Invalid formula [ ]"},
      {"()", "Invalid formula [()]"},
      {long_string, "String longer than 255 characters [" + std::string(256, 'x') + "]"},
      {many_args, "Too many arguments [" + many_args + "]"},
      {long_formula, "Formula too long [" + long_formula + "]"},
  };
  TvteExcelFormulaCompiler compiler;
  std::string tokens;
  for (const auto& [formula, message] : cases) {
    SCOPED_TRACE(formula.substr(0, 40));
    try {
      compiler.Compile(formula, tokens);
      ADD_FAILURE() << "compiled to " << Hex(tokens);
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
  // The compiler recovers after an error, and 30 arguments are allowed.
  compiler.Compile(thirty_args, tokens);
  EXPECT_EQ(static_cast<unsigned char>(tokens[tokens.size() - 3]), 30);
}

TEST(FormulaCompiler, FunctionTableHasEveryBuiltinOnce) {
  int count = 0;
  const rvteExcelFunctionInfo* table = vteExcelFunctions(&count);
  ASSERT_EQ(count, 340);
  for (int i = 1; i < count; ++i) EXPECT_LT(table[i - 1].Number, table[i].Number);
  for (int unused : {55, 171, 172, 173, 174, 202, 203, 217, 218, 223, 224, 225, 226, 249, 250, 255, 333})
    for (int i = 0; i < count; ++i) EXPECT_NE(table[i].Number, unused);
  const std::pair<const char*, int> samples[] = {
      {"Count", 0},  {"If", 1},         {"Isna", 2},          {"Sum", 4},         {"Average", 5},
      {"Log10", 23}, {"True", 34},      {"False", 35},        {"GetWorkbook", 268}, {"Concatenate", 336},
      {"Sumif", 345}, {"Countif", 346}, {"OpenDialog", 355},  {"SaveDialog", 356}, {"sumif", 345},
      {"ERRORTYPE", 261}, {"Vlookup", 102}, {"Nosuch", -1},
  };
  for (const auto& [name, number] : samples) EXPECT_EQ(vteFindExcelFunction(name), number) << name;
}

}  // namespace formula_test

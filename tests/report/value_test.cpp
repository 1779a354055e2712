// What names, calls and bracketed texts mean while a report is built: the
// special variables, the order in which a name is looked for, the report's
// procedures, and the display text of a bracketed expression with its format.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/report/report_support.h"
#include "toolkit/core/exceptions.h"

namespace value_test {

using report_test::AddObject;

class ValueTest : public ::testing::Test {
 protected:
  ValueTest() {
    frRunningBuild().CurReport = &report;
    InstallValueResolution(report);
  }

  // The display text of one bracketed expression of `view`.
  std::string Expand(const char* text, TfrView* view = nullptr) {
    return AnsiToUtf8(report.ExpandValue(Utf8ToAnsi(text), view));
  }
  Variant Eval(const char* text) { return frGlobals().ReportParser->EvaluateText(Utf8ToAnsi(text)); }

  report_test::ReportWork work;
  TfrReport report{nullptr};
};

TEST_F(ValueTest, SpecialVariablesReadTheBuildState) {
  TfrBuildContext& engine = frRunningBuild();
  engine.BuiltPageIndex = 2;
  engine.TotalPages = 0;
  engine.BuildDate = EncodeDate(2024, 3, 5);
  engine.BuildTime = EncodeDateTime(2024, 3, 5, 14, 30, 0, 0);
  engine.FinalPass = true;
  report.Info().Name = "Протокол";
  report.Info().Autor = "Лаборатория";

  EXPECT_EQ(report.ResolveVariable("PAGE#").AsInteger(), 3);
  EXPECT_EQ(report.ResolveVariable("TOTALPAGES").AsInteger(), 0);
  engine.TotalPages = 7;
  EXPECT_EQ(report.ResolveVariable("TOTALPAGES").AsInteger(), 7);
  EXPECT_EQ(Expand("DATE #Ddd.mm.yyyy"), "05.03.2024");
  EXPECT_EQ(Expand("TIME #Thh:nn"), "14:30");
  EXPECT_EQ(report.ResolveVariable("REPORTNAME").AsString(), report.Info().Name);
  EXPECT_EQ(report.ResolveVariable("REPORTAUTOR").AsString(), report.Info().Autor);
  EXPECT_TRUE(report.ResolveVariable("FINALPASS").AsBoolean());
  // Special names are exact: the parser hands them over in upper case.
  EXPECT_EQ(Eval("[PAGE#] * 10").AsInteger(), 30);
}

TEST_F(ValueTest, LineNumbersComeFromTheBandBeingPrinted) {
  TfrPage* page = report.Pages().Add();
  TfrBand data(btMasterData, page);
  TfrUserDataset source(nullptr);
  data.Source = &source;
  data.RowNo = 4;
  data.RowThrough = 9;
  frRunningBuild().CurBand = &data;
  EXPECT_EQ(report.ResolveVariable("LINE#").AsInteger(), 4);
  EXPECT_EQ(report.ResolveVariable("LINETHROUGH#").AsInteger(), 9);
  data.Source = nullptr;
}

TEST_F(ValueTest, CalcWidthIsTheCurrentObjectsWidthOrZero) {
  TfrPage* page = report.Pages().Add();
  TfrView* line = AddObject(*page, gtLine, 10, 10, 123, 1, "Line1");
  EXPECT_EQ(report.ResolveVariable("CALCWIDTH").AsInteger(), 0);
  frRunningBuild().CurView = line;
  EXPECT_EQ(report.ResolveVariable("CALCWIDTH").AsInteger(), 123);
}

TEST_F(ValueTest, ANameIsLookedForInThisOrder) {
  TfrPage* page = report.Pages().Add();
  AddObject(*page, gtMemo, 40, 50, 60, 20, "Memo1", "text");
  report.Dictionary().VariableTable.AssignVariable("Total", "2*3");
  report.Dictionary().VariableTable.AssignVariable("Shadowed", "1");
  frGlobals().RuntimeVariables.AssignVariable("Counter", 11);
  std::map<std::string, Variant> supplied = {{"SHADOWED", Variant(99)}};
  report.OnGetValue = [&](const AnsiString& name, Variant& value) {
    const auto it = supplied.find(name);
    if (it != supplied.end()) value = it->second;
  };

  // The event first, then the dictionary (whose values are expressions).
  EXPECT_EQ(report.ResolveVariable("SHADOWED").AsInteger(), 99);
  EXPECT_EQ(report.ResolveVariable("Total").AsInteger(), 6);
  // Script variables, then properties of objects, then named constants.
  EXPECT_EQ(report.ResolveVariable("Counter").AsInteger(), 11);
  EXPECT_EQ(report.ResolveVariable("Memo1.Left").AsInteger(), 40);
  EXPECT_EQ(report.ResolveVariable("mrOk").AsInteger(), 1);
  // Anything else is an expression.
  EXPECT_EQ(report.ResolveVariable("Counter + Memo1.Top").AsInteger(), 61);
  // VALUE is what the last bracketed text resolved to.
  EXPECT_EQ(Expand("Counter * 2"), "22");
  EXPECT_EQ(report.ResolveVariable("VALUE").AsInteger(), 22);
}

// VALUE belongs to the work that resolved it: another work (a report built
// inside this one, a preview drawn meanwhile) starts without it and leaves
// this one's as it was.
TEST_F(ValueTest, ValueIsTheRunningWorksOwn) {
  EXPECT_EQ(Expand("6 * 7"), "42");
  {
    TfrBuildScope other(&report, work.host);
    EXPECT_TRUE(report.ResolveVariable("VALUE").IsEmpty());
    EXPECT_EQ(Expand("2 + 3"), "5");
    EXPECT_EQ(report.ResolveVariable("VALUE").AsInteger(), 5);
  }
  EXPECT_EQ(report.ResolveVariable("VALUE").AsInteger(), 42);
}

TEST_F(ValueTest, AnUndefinedNameIsAnErrorUnlessAggregatesAreCollected) {
  try {
    Expand("NOSUCH");
    ADD_FAILURE() << "no error";
  } catch (const EParserError& e) {
    EXPECT_EQ(AnsiToUtf8(e.Message()), "Переменная не определена: \"NOSUCH\"");
  }
  // Inside a longer expression the name is reported the same way.
  EXPECT_THROW(Expand("1 + NOSUCH"), EParserError);
  frRunningBuild().Registering = true;
  EXPECT_EQ(Expand("NOSUCH"), "");
}

TEST_F(ValueTest, DisplayFormatsOfBracketedTexts) {
  TfrPage* page = report.Pages().Add();
  TfrView* memo = AddObject(*page, gtMemo, 0, 0, 100, 20, "Memo1");
  const std::map<std::string, Variant> values = {
      {"AMOUNT", Variant(1234.5)},   {"YES", Variant(true)},         {"NO", Variant(false)},
      {"ZERO", Variant(0)},          {"ZEROTEXT", Variant("0")},     {"NOTHING", Null()},
      {"DAY", Variant::FromDate(EncodeDate(2024, 3, 5))},
  };
  report.OnGetValue = [&](const AnsiString& name, Variant& value) {
    const auto it = values.find(name);
    if (it != values.end()) value = it->second;
  };
  constexpr uint32_t kBooleanKind1 = (4u << 24) | (1u << 16);
  constexpr uint32_t kDateKind1 = (2u << 24) | (1u << 16);
  const struct {
    const char* text;
    uint32_t format;
    uint16_t flags;
    const char* shown;
  } cases[] = {
      {"AMOUNT #N##0,00", 0, 0, "1234,50"},
      {"AMOUNT #8.2", 0, 0, "1234.50"},
      {"AMOUNT #N8,1", 0, 0, "1234,5"},
      {"YES", kBooleanKind1, 0, "Да"},
      {"NO", kBooleanKind1, 0, "Нет"},
      {"YES #BНе годен;Годен", 0, 0, "Годен"},
      {"DAY", kDateKind1, 0, "05.03.2024"},
      {"ZERO", 0, flHideZeros, ""},
      {"ZERO", 0, 0, "0"},
      {"ZEROTEXT", 0, flHideZeros, "0"},
      {"NOTHING", 0, 0, ""},
  };
  for (const auto& c : cases) {
    memo->FormatWord = c.format;
    memo->Flags = static_cast<uint16_t>(flStretched | c.flags);
    EXPECT_EQ(Expand(c.text, memo), c.shown) << c.text;
  }
}

TEST_F(ValueTest, ArraysAreFamiliesOfScriptVariables) {
  Eval("SETARRAY(A, 1, 5)");
  Eval("SETARRAY(A, 'x', 'икс')");
  EXPECT_EQ(frGlobals().RuntimeVariables.FetchVariable("Arr_A_1").AsInteger(), 5);
  EXPECT_EQ(Eval("GETARRAY(A, 1)").AsInteger(), 5);
  EXPECT_EQ(AnsiToUtf8(Eval("GETARRAY(A, 'x')").AsString()), "икс");
  // An element never set is the script variable of that name, unassigned.
  EXPECT_TRUE(Eval("GETARRAY(A, 2)").IsEmpty());
  frGlobals().RuntimeVariables.AssignVariable("Arr_A_2", 8);
  EXPECT_EQ(Eval("GETARRAY(A, 2)").AsInteger(), 8);
}

TEST_F(ValueTest, IncAndDecStepAScriptVariable) {
  frGlobals().RuntimeVariables.AssignVariable("n", 3);
  Eval("INC(n)");
  EXPECT_EQ(frGlobals().RuntimeVariables.FetchVariable("n").AsInteger(), 4);
  Eval("DEC(n)");
  Eval("DEC(n)");
  EXPECT_EQ(frGlobals().RuntimeVariables.FetchVariable("n").AsInteger(), 2);
}

TEST_F(ValueTest, ProceduresAndUserFunctions) {
  std::vector<std::string> heard;
  report.OnUserFunction = [&](const AnsiString& name, const Variant& p1, const Variant& p2, const Variant&,
                              Variant& value) {
    heard.push_back(AnsiToUtf8(name + "(" + VarToStr(p1) + "," + VarToStr(p2) + ")"));
    if (name == "TWICE") value = Eval(AnsiToUtf8(VarToStr(p1)).c_str()) * 2;
  };
  EXPECT_EQ(Eval("TWICE(1 + 2) + 1").AsInteger(), 7);
  // A library function never reaches the event.
  EXPECT_EQ(AnsiToUtf8(Eval("UPPERCASE('абв')").AsString()), "АБВ");
  EXPECT_FALSE(report.Terminated);
  Eval("STOPREPORT(0)");
  EXPECT_TRUE(report.Terminated);
  EXPECT_EQ(heard, (std::vector<std::string>{"TWICE(1 + 2,)", "STOPREPORT(0,)"}));

  TfrPage* page = report.Pages().Add();
  TfrBand band(btMasterData, page);
  frRunningBuild().CurBand = &band;
  // A script statement of a procedure alone is compiled to a call with 0.
  Eval("NEWPAGE(0)");
  Eval("NEWPAGE(0)");
  Eval("NEWCOLUMN(0)");
  EXPECT_EQ(band.NewPageRequests, 2);
  EXPECT_EQ(band.NewColumnRequests, 1);
}

TEST_F(ValueTest, ObjectMethodsAnswerCallsOfTheirPath) {
  TfrPage* page = report.Pages().Add();
  TfrView* memo = AddObject(*page, gtMemo, 0, 0, 100, 20, "Memo1", "первая");
  Eval("Memo1.Memo.Add('вторая')");
  ASSERT_EQ(memo->Memo.Count(), 2);
  EXPECT_EQ(AnsiToUtf8(memo->Memo.Strings(1)), "вторая");
}

}  // namespace value_test

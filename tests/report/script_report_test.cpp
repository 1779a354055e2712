// The report's interpreter: where an assignment of a script goes, and names
// and calls reaching the report parser's callbacks.
#include <gtest/gtest.h>

#include <vector>

#include "report/fr_class.h"
#include "report/fr_globals.h"
#include "report/fr_intrp.h"
#include "report/fr_memo.h"
#include "report/fr_utils.h"
#include "tests/report/class_support.h"
#include "toolkit/core/text.h"

namespace script_report_test {

class ReportInterpreterTest : public ::testing::Test {
 protected:
  ReportInterpreterTest() {
    frGlobals().ReportParser->ValueCallback = [this](const AnsiString& name, Variant& value) {
      asked.push_back(name);
      const int i = frGlobals().RuntimeVariables.IndexOfVariable(name);
      if (i >= 0) value = frGlobals().RuntimeVariables.VariableValueAt(i);
    };
    frGlobals().ReportParser->FunctionCallback = [this](const AnsiString& name, const Variant&, const Variant&,
                                                        const Variant&, Variant& value) {
      called.push_back(name);
      value = 7;
    };
  }
  ~ReportInterpreterTest() override { FreeGlobals(); }

  // Compiles and runs with the report's interpreter.
  void Run(const char* text) {
    TStringList source, script, errors;
    source.SetText(text);
    frGlobals().ReportInterpreter->CompileScript(source, script, errors);
    ASSERT_EQ(errors.Count(), 0) << errors.Strings(0);
    frGlobals().ReportInterpreter->RunScript(script);
  }
  Variant Runtime(const char* name) { return frGlobals().RuntimeVariables.FetchVariable(name); }

  // The test's own work runs in a context of its own.
  class_test::TestWork work_;
  std::vector<AnsiString> asked;
  std::vector<AnsiString> called;
};

TEST_F(ReportInterpreterTest, NamesAndCallsGoToTheReportParser) {
  Run("begin x := [Dbf1.\"P\"]; y := Total(1) end");
  EXPECT_EQ(asked, (std::vector<AnsiString>{"Dbf1.\"P\""}));
  EXPECT_EQ(called, (std::vector<AnsiString>{"TOTAL"}));
  EXPECT_EQ(Runtime("y").AsInteger(), 7);
}

TEST_F(ReportInterpreterTest, UnknownNamesBecomeRuntimeVariablesAndKeepTheirPlace) {
  Run("begin b := 2; a := 1; b := b + 1 end");
  TfrVariables& vars = frGlobals().RuntimeVariables;
  ASSERT_EQ(vars.VariableCount(), 2);
  EXPECT_EQ(vars.VariableNameAt(0), "a");  // kept in name order
  EXPECT_EQ(vars.VariableValueAt(1).AsInteger(), 3);
}

TEST_F(ReportInterpreterTest, AssignmentsFollowTheOrderOfTheRules) {
  std::vector<AnsiString> dictionary;
  std::vector<int> modal, cury;
  std::vector<AnsiString> progress;
  work_.host.OnSetDictionaryVariable = [&](const AnsiString& name, const Variant& value) {
    if (!AnsiSameText(name, "Total") && !AnsiSameText(name, "Seen")) return false;
    dictionary.push_back(name + "=" + VarToStr(value));
    return true;
  };
  work_.host.OnSetDialogModalResult = [&](int v) { modal.push_back(v); };
  work_.host.OnSetCurY = [&](int v) { cury.push_back(v); };
  work_.host.OnShowProgress = [&](const AnsiString& text) { progress.push_back(text); };

  // A run-time variable wins over the dictionary.
  frGlobals().RuntimeVariables.AssignVariable("Seen", 0);
  Run("begin Seen := 1; Total := 5; ModalResult := 2; CurY := 120; Progress := 'half'; Other := 9 end");
  EXPECT_EQ(Runtime("Seen").AsInteger(), 1);
  EXPECT_EQ(dictionary, (std::vector<AnsiString>{"Total=5"}));
  EXPECT_EQ(modal, (std::vector<int>{2}));
  EXPECT_EQ(cury, (std::vector<int>{120}));
  EXPECT_EQ(progress, (std::vector<AnsiString>{"half"}));
  EXPECT_TRUE(VarIsNull(Runtime("Total")));
  EXPECT_TRUE(VarIsNull(Runtime("ModalResult")));
  EXPECT_EQ(Runtime("Other").AsInteger(), 9);
}

TEST_F(ReportInterpreterTest, ObjectPropertiesAreSetThroughTheObject) {
  TfrMemoView memo;
  memo.Name = "Memo1";
  work_.host.OnFindObject = [&](const AnsiString& name) -> TfrView* {
    return AnsiSameText(name, "Memo1") ? &memo : nullptr;
  };
  frRunningBuild().CurView = &memo;
  Run("begin Memo1.Left := 40; Visible := 0; Memo1.NoSuchThing := 3; Memo2.Left := 1 end");
  EXPECT_EQ(memo.Left, 40);
  EXPECT_FALSE(memo.Visible);
  // What no object holds becomes a variable.
  EXPECT_EQ(Runtime("Memo1.NoSuchThing").AsInteger(), 3);
  EXPECT_EQ(Runtime("Memo2.Left").AsInteger(), 1);
  EXPECT_TRUE(VarIsNull(Runtime("Visible")));
}

}  // namespace script_report_test

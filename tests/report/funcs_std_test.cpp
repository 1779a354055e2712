// The standard and database function libraries through the report's parser,
// the aggregates with their running totals, the call finder, the registry
// lookup and the description catalogue.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "report/fr_funcs.h"
#include "report/fr_globals.h"
#include "report/fr_intrp.h"
#include "report/fr_utils.h"
#include "tests/report/class_support.h"
#include "tests/support/recording_dialogs.h"
#include "toolkit/db/memdataset.h"
#include "toolkit/core/text.h"

namespace funcs_std_test {

std::string Utf8(const Variant& v) { return AnsiToUtf8(VarToStr(v)); }

class FunctionsTest : public ::testing::Test {
 protected:
  FunctionsTest() {
    TfrParser& parser = *frGlobals().ReportParser;
    parser.FunctionCallback = [](const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                                 Variant& value) { CallLibraryFunction(name, p1, p2, p3, value); };
    parser.ValueCallback = [this](const AnsiString& name, Variant& value) {
      const auto it = names.find(name);
      if (it != names.end()) value = it->second;
    };
  }
  ~FunctionsTest() override { FreeGlobals(); }
  Variant Eval(const std::string& utf8) { return frGlobals().ReportParser->EvaluateText(Utf8ToAnsi(utf8)); }

  // The functions evaluate their arguments through the work's host.
  class_test::TestWork work;
  ScopedFormatSettings russian_{TFormatSettings::Russian()};
  std::map<AnsiString, Variant> names;
};

TEST_F(FunctionsTest, TextNumberAndDateFunctionsGiveTheseTexts) {
  names["D"] = Variant::FromDate(EncodeDate(2024, 3, 5));
  const struct {
    const char* expression;
    const char* text;
  } cases[] = {
      {"DAYOF(STRTODATE('05.03.2024'))", "5"},
      {"MONTHOF(STRTODATE('05.03.2024'))", "3"},
      {"YEAROF(STRTODATE('05.03.2024'))", "2024"},
      {"DAYOF([D]) + MONTHOF([D])", "8"},
      {"FORMATDATETIME('dd.mm.yyyy', [D])", "05.03.2024"},
      {"FORMATDATETIME('d mmmm yyyy', STRTODATE('05.03.2024'))", "5 Март 2024"},
      {"FORMATFLOAT('0.00', 3.14159)", "3,14"},
      {"FORMATFLOAT('#,##0.0', 1234.56)", "1\xC2\xA0" "234,6"},
      {"FORMATTEXT('000-000', '123456')", "123-456"},
      {"FORMATTEXT('(000) 00', '123')", "(123)   "},
      {"FORMATTEXT('>LL', 'ab')", "AB"},
      {"LENGTH('')", "0"},
      {"LENGTH('абв')", "3"},
      {"LOWERCASE('ПрИвЕт Ё')", "привет ё"},
      {"UPPERCASE('привет ё')", "ПРИВЕТ Ё"},
      {"NAMECASE('tABLE')", "Table"},
      {"NAMECASE('иВАНОВ')", "Иванов"},
      {"NAMECASE('')", ""},
      {"TRIM('  x y  ')", "x y"},
      {"POS('b', 'abc')", "2"},
      {"POS('z', 'abc')", "0"},
      {"POS('b' + 'c', 'abc')", "2"},
      {"MAXNUM(2, 3)", "3"},
      {"MAXNUM(3, 2)", "3"},
      {"MINNUM(2, 2)", "2"},
      {"MINNUM(1.5, 2)", "1,5"},
      {"maxnum(1, 4)", "4"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8(Eval(c.expression)), c.text) << c.expression;
}

TEST_F(FunctionsTest, ResultsKeepTheirKinds) {
  EXPECT_EQ(Eval("LENGTH('abc')").VarType(), varInteger);
  EXPECT_EQ(Eval("YEAROF(STRTODATE('05.03.2024'))").VarType(), varInteger);
  EXPECT_EQ(Eval("POS('b', 'abc')").VarType(), varInteger);
  EXPECT_EQ(Eval("LENGTH('abc') * 2").AsInteger(), 6);
  EXPECT_TRUE(VarIsStr(Eval("TRIM(' 1 ')")));
}

TEST_F(FunctionsTest, ArgumentErrorsPropagate) {
  EXPECT_THROW(Eval("DAYOF('not a date')"), Exception);
  EXPECT_THROW(Eval("FORMATFLOAT('0.0', 'abc')"), Exception);
}

TEST_F(FunctionsTest, MessageBoxAndInputGoThroughTheDialogService) {
  testsupport::RecordingDialogs dialogs;
  dialogs.box_answer = 7;  // IDNO
  names["MB"] = 36;
  EXPECT_EQ(Eval("MESSAGEBOX('Продолжить?', 'Вопрос', [MB])").AsInteger(), 7);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(AnsiToUtf8(dialogs.boxes[0].text), "Продолжить?");
  EXPECT_EQ(AnsiToUtf8(dialogs.boxes[0].caption), "Вопрос");
  EXPECT_EQ(dialogs.boxes[0].flags, 36u);
  // A service without an input box answers as a cancelled one: the default stays.
  EXPECT_EQ(Utf8(Eval("INPUT('Имя', 'Петров')")), "Петров");
}

TEST_F(FunctionsTest, AnInputBoxAnswerIsTheResult) {
  struct Answering : testsupport::RecordingDialogs {
    bool InputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value) override {
      seen = caption + "|" + prompt + "|" + value;
      value = "typed";
      return true;
    }
    AnsiString seen;
  } dialogs;
  EXPECT_EQ(Utf8(Eval("INPUT('Name', 'x' + 'y')")), "typed");
  EXPECT_EQ(dialogs.seen, "|Name|xy");
}

TEST_F(FunctionsTest, FieldIsNullWithoutADataSetIsTrue) {
  const Variant v = Eval("FIELDISNULL('Dbf1.\"COMMENT\"')");
  EXPECT_EQ(v.VarType(), varBoolean);
  EXPECT_TRUE(v.AsBoolean());
}

TEST_F(FunctionsTest, FieldIsNullFollowsTheRecordOfTheNamedTable) {
  TComponent form(nullptr);
  auto* table = new TMemDataSet(&form);
  table->SetName("Dbf1");
  table->FieldDefs().AppendNamedDef("N", ftInteger);
  table->FieldDefs().AppendNamedDef("COMMENT", ftString, 100);
  table->Activate();
  for (const char* comment : {"", "cracked"}) {
    table->StartAppend();
    table->FieldNamed("N")->SetIntegerValue(1);
    if (*comment) table->FieldNamed("COMMENT")->SetStringValue(comment);
    table->CommitRecord();
  }
  TfrBuildScope scope(nullptr, work.host);
  scope.Context().ReportOwner = &form;
  table->GoFirst();
  EXPECT_TRUE(Eval("FIELDISNULL('Dbf1.\"COMMENT\"')").AsBoolean());
  table->GoNext();
  EXPECT_FALSE(Eval("FIELDISNULL('Dbf1.\"COMMENT\"')").AsBoolean());
  EXPECT_THROW(Eval("FIELDISNULL('Dbf1.\"NOSUCH\"')"), Exception);
}

TEST_F(FunctionsTest, LibrariesAreAskedInTurnIgnoringCase) {
  Variant value = 99;
  EXPECT_TRUE(CallLibraryFunction("Length", Variant("'abcd'"), Variant(""), Variant(""), value));
  EXPECT_EQ(value.AsInteger(), 4);
  EXPECT_TRUE(CallLibraryFunction("fieldisnull", Variant("'x'"), Variant(""), Variant(""), value));
  value = 99;
  EXPECT_FALSE(CallLibraryFunction("NOSUCH", Variant(""), Variant(""), Variant(""), value));
  EXPECT_EQ(value.AsInteger(), 99);
  // A function that computes nothing answers the text "0".
  EXPECT_TRUE(CallLibraryFunction("SUM", Variant("1"), Variant(""), Variant(""), value));
  EXPECT_EQ(value.VarType(), varString);
  EXPECT_EQ(VarToStr(value), "0");
}

TEST_F(FunctionsTest, TheStandardLibraryListsItsNamesInOrder) {
  frGlobals();
  ASSERT_GE(FunctionLibraryCount(), 2);
  TfrFunctionLibrary* std_library = FunctionLibraryAt(0);
  ASSERT_STREQ(std_library->ClassName(), "TfrStdFunctionLibrary");
  ASSERT_EQ(std_library->FunctionNames.Count(), 21);
  EXPECT_EQ(std_library->FunctionNames.Strings(0), "AVG");
  EXPECT_EQ(std_library->FunctionNames.Strings(11), "MESSAGEBOX");
  EXPECT_EQ(std_library->FunctionNames.Strings(20), "YEAROF");
  EXPECT_STREQ(FunctionLibraryAt(1)->ClassName(), "TDatabaseFunctionLibrary");
}

TEST_F(FunctionsTest, TheCatalogueHoldsOnlyDescribedFunctions) {
  frGlobals();
  const TfrFunctionDescription* d = InstalledFunctions().Find("fieldisnull");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(AnsiToUtf8(d->Category), "Базы данных");
  EXPECT_FALSE(d->Description.empty());
  EXPECT_EQ(InstalledFunctions().Find("LENGTH"), nullptr);

  TfrStdFunctionLibrary library;
  TfrInstalledFunctions catalogue;
  catalogue.AddDescription(library, "F1", "c", "");
  catalogue.AddDescription(library, "F1", "c", "first");
  catalogue.AddDescription(library, "f1", "c", "second");
  catalogue.AddDescription(*frGlobals().DatabaseLibrary, "F2", "c", "d");
  ASSERT_EQ(catalogue.Count(), 2);
  EXPECT_EQ(catalogue.At(0).Description, "first");
  catalogue.RemoveLibraryDescriptions("TfrStdFunctionLibrary");
  ASSERT_EQ(catalogue.Count(), 1);
  EXPECT_EQ(catalogue.At(0).FunctionName, "F2");
}

TEST_F(FunctionsTest, ShutDownUnregistersTheLibrariesAndTheirDescriptions) {
  frGlobals();
  FreeGlobals();
  EXPECT_EQ(FunctionLibraryCount(), 0);
  EXPECT_EQ(InstalledFunctions().Count(), 0);
  frGlobals();
  EXPECT_EQ(FunctionLibraryCount(), 2);
  EXPECT_NE(InstalledFunctions().Find("FIELDISNULL"), nullptr);
}

// ---- Aggregates

// Bands and totals as the page build keeps them, for the aggregate functions.
struct FakeBands {
  explicit FakeBands(class_test::TestHost& s) {
    s.OnRegistrationMode = [this] { return registering; };
    s.OnPrintingBand = [this] { return printing; };
    s.OnCandidateBand = [this] { return candidate; };
    s.OnRegisterTotal = [this](const AnsiString& key, const Variant& start) {
      totals[key] = start;
      totals_band = candidate ? candidate->Name : AnsiString();
    };
    s.OnReadTotal = [this](const AnsiString& key) -> std::optional<Variant> {
      if (totals_band.empty()) return std::nullopt;
      const auto it = totals.find(key);
      return it == totals.end() ? Variant(-1) : it->second;
    };
    s.OnCurrentColumn = [this] { return column; };
  }
  bool registering = false;
  std::optional<TfrAggregateBand> printing, candidate;
  std::map<AnsiString, Variant> totals;
  AnsiString totals_band;
  int column = 0;
};

std::string Key(const AnsiString& key) {
  std::string out;
  for (char c : key) out += c == kAggregateSeparator ? std::string("|") : std::string(1, c);
  return out;
}

TEST_F(FunctionsTest, AggregatesRegisterOnTheirDataBandAndThenReadTheTotal) {
  FakeBands bands(work.host);
  bands.printing = TfrAggregateBand{"MasterFooter1", 6, false};
  bands.candidate = TfrAggregateBand{"MasterData1", 5, false};

  bands.registering = true;
  EXPECT_EQ(VarToStr(Eval("SUM([Dbf1.\"P\"], MasterData1)")), "0");
  ASSERT_EQ(bands.totals.size(), 1u);
  const AnsiString key = bands.totals.begin()->first;
  EXPECT_EQ(Key(key), "MasterFooter1|\x0B|[Dbf1.\"P\"]||");
  EXPECT_EQ(bands.totals_band, "MasterData1");

  bands.registering = false;
  bands.totals[key] = 12.5;
  EXPECT_EQ(Eval("SUM([Dbf1.\"P\"], MasterData1)").AsDouble(), 12.5);
}

TEST_F(FunctionsTest, AggregateEntriesByFunctionAndBand) {
  const struct {
    const char* expression;
    int printing_type;
    const char* candidate;
    int candidate_type;
    const char* key;  // "" when nothing is registered
    double start;
  } cases[] = {
      {"SUM([P])", 17, "MasterData1", 5, "Footer|\x0B|[P]||", 0},
      {"SUM([P])", 6, "MasterData1", 5, "Footer|\x0B|[P]||", 0},
      {"SUM([P])", 9, "MasterData1", 5, "", 0},
      {"SUM([P])", 9, "DetailData1", 8, "Footer|\x0B|[P]||", 0},
      {"SUM([P])", 12, "Sub1", 11, "Footer|\x0B|[P]||", 0},
      {"SUM([P])", 20, "Cross1", 19, "Footer|\x0B|[P]||", 0},
      {"SUM([P])", 0, "MasterData1", 5, "", 0},
      {"MIN([P], MasterData1)", 0, "MasterData1", 5, "Footer|\x0C|[P]||", 1e300},
      {"MAX([P],  masterdata1 , 1)", 3, "MasterData1", 5, "Footer|\x0D|[P]|1|", 0},
      {"AVG([P] * 2, MasterData1)", 1, "MasterData1", 5, "Footer|\x0E|[P] * 2||", 0},
      {"COUNT(MasterData1)", 6, "MasterData1", 5, "Footer|\x0F|||", 0},
      {"COUNT(MasterData1, 1)", 6, "MasterData1", 5, "Footer|\x0F||1|", 0},
      {"COUNT(OtherData)", 6, "MasterData1", 5, "", 0},
  };
  for (const auto& c : cases) {
    FakeBands bands(work.host);
    bands.registering = true;
    bands.printing = TfrAggregateBand{"Footer", c.printing_type, false};
    bands.candidate = TfrAggregateBand{c.candidate, c.candidate_type, false};
    EXPECT_EQ(VarToStr(Eval(c.expression)), "0") << c.expression;
    if (*c.key == '\0') {
      EXPECT_TRUE(bands.totals.empty()) << c.expression << " in band type " << c.printing_type;
      continue;
    }
    ASSERT_EQ(bands.totals.size(), 1u) << c.expression << " in band type " << c.printing_type;
    EXPECT_EQ(Key(bands.totals.begin()->first), c.key) << c.expression;
    EXPECT_EQ(bands.totals.begin()->second.AsDouble(), c.start) << c.expression;
  }
}

TEST_F(FunctionsTest, CrossBandsPrefixTheirEntries) {
  FakeBands bands(work.host);
  bands.printing = TfrAggregateBand{"CrossFooter1", 20, true};
  bands.candidate = TfrAggregateBand{"CrossData1", 19, false};
  bands.registering = true;
  Eval("SUM([V])");
  ASSERT_EQ(bands.totals.size(), 1u);
  EXPECT_EQ(Key(bands.totals.begin()->first), "0|CrossFooter1|\x0B|[V]||");

  bands.registering = false;
  bands.column = 3;
  bands.totals[AggregateKey("3\x01" "CrossFooter1", kAggregateSum, "[V]", "")] = 42;
  EXPECT_EQ(Eval("SUM([V])").AsInteger(), 42);
}

TEST_F(FunctionsTest, ABandWithoutTotalsPrintsZero) {
  FakeBands bands(work.host);
  bands.printing = TfrAggregateBand{"Footer", 6, false};
  EXPECT_EQ(VarToStr(Eval("SUM([P])")), "0");
  bands.printing.reset();
  EXPECT_EQ(VarToStr(Eval("COUNT(MasterData1)")), "0");
}

TEST_F(FunctionsTest, TheSplitterFindsAggregateCallsInTextsAndScripts) {
  TStringList found;
  TAggregateFunctionsSplitter splitter(&found);
  TStringList memo;
  memo.Add("Total: [SUM([Dbf1.\"P\"])] of [COUNT(MasterData1)]");
  memo.Add("no calls [Dbf1.\"R\"] here");
  splitter.SplitMemo(memo);
  ASSERT_EQ(found.Count(), 2);
  EXPECT_EQ(found.Strings(0), "SUM([Dbf1.\"P\"])");
  EXPECT_EQ(found.Strings(1), "COUNT(MasterData1)");

  found.Clear();
  TStringList source, script, errors;
  source.SetText("begin if AVG([P]) > 1 then x := MIN([R]) end");
  TfrInterpretator interpreter;
  interpreter.CompileScript(source, script, errors);
  splitter.SplitScript(script);
  ASSERT_EQ(found.Count(), 2);
  EXPECT_EQ(found.Strings(0), "AVG([P])");
  EXPECT_EQ(found.Strings(1), "MIN([R])");
}

TEST_F(FunctionsTest, TheSplitterFollowsDictionaryVariables) {
  TfrVariables dictionary;
  dictionary.AssignVariable("Weight", Variant("SUM([Dbf1.\"P\"]) / 2"));
  work.host.OnDictionaryVariables = [&] { return &dictionary; };
  TStringList found;
  TAggregateFunctionsSplitter splitter(&found);
  TStringList memo;
  memo.Add("[Weight]");
  splitter.SplitMemo(memo);
  ASSERT_EQ(found.Count(), 1);
  EXPECT_EQ(found.Strings(0), "SUM([Dbf1.\"P\"])");
}

}  // namespace funcs_std_test

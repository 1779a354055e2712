// The data dictionary: its stored forms (current, the marker -1 clean-up, the
// older records-and-lines form), damaged bodies, the category convention,
// field references through aliases and the cache, and variables that refer
// to themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/FR_Pars.h"
#include "report/fr_class.h"
#include "report/fr_dict.h"
#include "report/fr_host.h"
#include "report/fr_utils.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/component.h"
#include "toolkit/core/text.h"
#include "toolkit/db/memdataset.h"

namespace dict_test {

// Little builders of stream bodies.
std::string Word(uint16_t v) {
  std::string s;
  PutLE16(&s, v);
  return s;
}
std::string Dword(uint32_t v) {
  std::string s;
  PutLE32(&s, v);
  return s;
}
std::string Counted(const std::string& text) { return Word(static_cast<uint16_t>(text.size())) + text + '\0'; }
std::string Short(const std::string& text) { return std::string(1, static_cast<char>(text.size())) + text; }

std::string Pairs(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string s = Dword(static_cast<uint32_t>(pairs.size()));
  for (const auto& [name, value] : pairs) s += Counted(name) + Counted(value);
  return s;
}

std::vector<std::pair<std::string, std::string>> Entries(const TfrVariables& table) {
  std::vector<std::pair<std::string, std::string>> out;
  for (int i = 0; i < table.VariableCount(); ++i)
    out.emplace_back(table.VariableNameAt(i), VarToStr(table.VariableValueAt(i)));
  return out;
}

void Load(TfrDataDictionary& dict, const std::string& body, int version = 25) {
  TStringStream stream(body);
  dict.LoadFromStream(stream, version);
  EXPECT_EQ(stream.Position(), static_cast<int64_t>(body.size())) << "the body is read to its end";
}

std::string Saved(const TfrDataDictionary& dict) {
  TStringStream stream;
  dict.SaveToStream(stream);
  return stream.DataString();
}

// A report owner with Dbf1, a table of N (integer) and SERIAL (text), one row.
struct FieldFixture {
  // The names are resolved in work of the report owner's.
  TfrEngineHost host;
  TfrBuildScope scope{nullptr, host};
  TComponent owner{nullptr};
  TMemDataSet* dbf;
  FieldFixture() {
    dbf = new TMemDataSet(&owner);
    dbf->SetName("Dbf1");
    dbf->FieldDefs().AppendNamedDef("N", ftInteger);
    dbf->FieldDefs().AppendNamedDef("SERIAL", ftString, 10);
    dbf->Activate();
    dbf->StartAppend();
    dbf->FieldNamed("N")->SetIntegerValue(7);
    dbf->FieldNamed("SERIAL")->SetStringValue("A-12");
    dbf->CommitRecord();
    scope.Context().ReportOwner = &owner;
  }
};

TEST(DictionaryStream, EmptyDictionaryIsFourteenBytesBothWays) {
  const std::string body = Word(0xFFFE) + Dword(0) + Dword(0) + Dword(0);
  ASSERT_EQ(body.size(), 14u);
  TfrDataDictionary dict;
  dict.VariableTable.AssignVariable(" old", "");
  Load(dict, body);
  EXPECT_TRUE(dict.IsEmpty());
  EXPECT_EQ(Saved(dict), body);
}

TEST(DictionaryStream, TablesSurviveSaveAndLoad) {
  TfrDataDictionary dict;
  dict.VariableTable.AssignVariable(" Totals", "");
  dict.VariableTable.AssignVariable("Sum", "[Dbf1.\"P\"] * 2");
  dict.VariableTable.AssignVariable("Serial", "Dbf1.\"SERIAL\"");
  dict.AliasTable.AssignVariable("frDBDataSet1", Utf8ToAnsi("Измерения"));
  dict.BandSourceTable.AssignVariable("MasterData1", "frDBDataSet1");
  const std::string bytes = Saved(dict);

  TfrDataDictionary back;
  Load(back, bytes);
  EXPECT_EQ(Entries(back.VariableTable), Entries(dict.VariableTable));
  EXPECT_EQ(Entries(back.AliasTable), Entries(dict.AliasTable));
  EXPECT_EQ(Entries(back.BandSourceTable), Entries(dict.BandSourceTable));
  EXPECT_EQ(Saved(back), bytes);
}

TEST(DictionaryStream, MarkerMinusOneDropsEmptyBandSourcesAndAliasesOfNoField) {
  FieldFixture fixture;
  const std::string body = Word(0xFFFF) + Pairs({{" Cat", ""}, {"V", "1+1"}}) +
                           Pairs({{"Dbf1.\"N\"", ""}, {"Nowhere.\"X\"", ""}, {"Dbf1", "Table"}}) +
                           Pairs({{"MasterData1", "frDBDataSet1"}, {"Band2", ""}});
  TfrDataDictionary dict;
  Load(dict, body);
  using P = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(Entries(dict.VariableTable), (P{{" Cat", ""}, {"V", "1+1"}}));
  EXPECT_EQ(Entries(dict.AliasTable), (P{{"Dbf1.\"N\"", ""}, {"Dbf1", "Table"}}));
  EXPECT_EQ(Entries(dict.BandSourceTable), (P{{"MasterData1", "frDBDataSet1"}}));

  // The current marker keeps them all.
  std::string current = body;
  current[0] = '\xFE';
  Load(dict, current);
  EXPECT_EQ(dict.AliasTable.VariableCount(), 3);
  EXPECT_EQ(dict.BandSourceTable.VariableCount(), 2);
}

TEST(DictionaryStream, OlderFormBuildsVariablesFromRecordsAndLines) {
  // Records: a field reference, an expression, two special variables, an empty kind.
  std::string records = Dword(5);
  records += std::string(1, '\1') + Dword(0) + Short("Dbf1") + Short("SERIAL") + Short("Serial");
  records += std::string(1, '\2') + Dword(1) + Short("") + Short("2*3") + Short("Six");
  records += std::string(1, '\2') + Dword(0) + Short("") + Short("") + Short("Page");
  records += std::string(1, '\2') + Dword(8) + Short("") + Short("") + Short("Total");
  records += std::string(1, '\7') + Dword(0) + Short("a") + Short("b") + Short("Nothing");
  struct Case {
    const char* name;
    int version;
    std::string lines;
  } cases[] = {
      {"zero lines before version 23", 22, "Main\r Serial\r Six\r Page\r Total\r Nothing\rLoose" + std::string(1, '\0')},
      {"counted lines from version 23", 23,
       Word(7) + Word(4) + "Main\r" + Word(7) + " Serial\r" + Word(4) + " Six\r" + Word(5) + " Page\r" + Word(6) +
           " Total\r" + Word(8) + " Nothing\r" + Word(5) + "Loose" + '\0'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TfrDataDictionary dict;
    Load(dict, records + c.lines, c.version);
    // The first name is a category without a blank: the old convention, flipped.
    using P = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(Entries(dict.VariableTable), (P{{" Main", ""},
                                              {"Serial", "Dbf1.\"SERIAL\""},
                                              {"Six", "2*3"},
                                              {"Page", "PAGE#"},
                                              {"Total", "TOTALPAGES"},
                                              {"Nothing", ""},
                                              {" Loose", ""}}));
    EXPECT_EQ(dict.AliasTable.VariableCount(), 0) << "the records' table is emptied";
  }
}

TEST(DictionaryStream, DamagedBodiesRaiseAndLeaveNothingHalfRead) {
  const struct {
    const char* name;
    std::string body;
  } cases[] = {
      {"a count of four billion pairs", Word(0xFFFE) + Dword(0xFFFFFFFF) + Counted("a") + Counted("b")},
      {"a count larger than the bytes left", Word(0xFFFE) + Pairs({{"A", "1"}}).replace(0, 4, Dword(3))},
      {"cut inside a name", Word(0xFFFE) + Dword(1) + Word(10) + "abc"},
      {"cut after the first table", Word(0xFFFE) + Pairs({{" C", ""}, {"V", "1"}})},
      {"an older form with a huge record count", Dword(0x7FFFFFFF) + std::string(20, '\1')},
      {"an older form cut in its lines", Dword(0) + "no end"},
      {"nothing at all", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TfrDataDictionary dict;
    dict.VariableTable.AssignVariable(" Kept", "");
    TStringStream stream(c.body);
    EXPECT_THROW(dict.LoadFromStream(stream, 25), EReadError);
    EXPECT_TRUE(dict.IsEmpty());
  }
}

TEST(DictionarySplit, FieldReferencesSplitAtTheLastDotOutsideQuotes) {
  const struct {
    const char* text;
    const char* data_set;
    const char* field;
  } cases[] = {
      {"Dbf1.\"SERIAL\"", "Dbf1", "SERIAL"},
      {"Form1.Dbf1.\"P\"", "Form1.Dbf1", "P"},
      {"Dbf1.\"A.B\"", "Dbf1", "A.B"},
      {"Dbf1.N", "Dbf1", "N"},
      {"NoDot", "(kept)", "(kept)"},
      {"\"only.quoted\"", "(kept)", "(kept)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    AnsiString data_set = "(kept)", field = "(kept)";
    TfrDataDictionary::SplitFieldRef(c.text, data_set, field);
    EXPECT_EQ(data_set, c.data_set);
    EXPECT_EQ(field, c.field);
  }
}

TEST(DictionaryValues, FieldReferencesResolveThroughAliasesAndTheCache) {
  FieldFixture fixture;
  TfrDataDictionary dict;
  dict.AliasTable.AssignVariable("Dbf1", "Table");
  dict.AliasTable.AssignVariable("Dbf1.\"SERIAL\"", "Number");

  const struct {
    const char* name;
    bool is_variable;
    Variant value;
  } cases[] = {
      {"Dbf1.\"SERIAL\"", true, Variant("A-12")},
      {"Table.\"N\"", true, Variant(7)},
      {"Table.\"Number\"", true, Variant("A-12")},
      {"Dbf1.\"MISSING\"", false, Null()},
      {"Nowhere.\"N\"", false, Null()},
      {"plain", false, Null()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(dict.IsVariable(c.name), c.is_variable);
    const Variant value = dict.GetValue(c.name);
    EXPECT_EQ(VarToStr(value), VarToStr(c.value));
    EXPECT_EQ(value.IsNull(), c.value.IsNull());
  }
  // A resolved field of a closed table opens it for its value.
  fixture.dbf->Deactivate();
  EXPECT_EQ(VarToStr(dict.GetValue("Table.\"N\"")), "7");
  EXPECT_TRUE(fixture.dbf->QueryActive());

  // Resolved once: the cache answers even when the table is gone from the owner,
  // until the next build pass clears it.
  fixture.dbf->SetName("Renamed");
  EXPECT_TRUE(dict.IsVariable("Dbf1.\"SERIAL\""));
  dict.ClearCache();
  EXPECT_FALSE(dict.IsVariable("Dbf1.\"SERIAL\""));
}

TEST(DictionaryValues, VariablesAreEvaluatedAndSelfReferenceStops) {
  FieldFixture fixture;
  TfrDataDictionary dict;
  // Each evaluation on a parser of its own, as nested resolutions may be: no
  // parser's nesting limit is there to stop a variable that names itself.
  TGetValueEvent resolve = [&](const AnsiString& name, Variant& value) {
    AnsiString inner = name;
    if (inner.size() > 2 && inner.front() == '[') inner = inner.substr(1, inner.size() - 2);
    // As the report resolves names: the dictionary is asked first.
    if (dict.IsVariable(inner)) value = dict.GetValue(inner);
  };
  dict.Links.Evaluate = [&](const AnsiString& expression) {
    TfrParser parser;
    parser.ValueCallback = resolve;
    return parser.EvaluateText(expression);
  };
  dict.VariableTable.AssignVariable(" Cat", "");
  dict.VariableTable.AssignVariable("TWICE", "[Dbf1.\"N\"] * 2");
  dict.VariableTable.AssignVariable("SELF", "SELF + 1");
  dict.VariableTable.AssignVariable("PING", "PONG + 1");
  dict.VariableTable.AssignVariable("PONG", "PING + 1");
  dict.VariableTable.AssignVariable("FROMSCRIPT", "1");
  dict.VariableTable.AssignVariable("Serial", "Dbf1.\"SERIAL\"");
  dict.Links.ScriptVariable = [](const AnsiString& name, Variant& value) {
    if (!SameText(name, "FROMSCRIPT")) return false;
    value = 42;
    return true;
  };

  EXPECT_TRUE(dict.IsVariable("TWICE"));
  EXPECT_TRUE(dict.IsVariable("Dbf1.\"N\""));
  EXPECT_EQ(VarToStr(dict.GetValue("Dbf1.\"N\"")), "7");
  EXPECT_EQ(VarToStr(dict.GetValue("TWICE")), "14");
  EXPECT_EQ(VarToStr(dict.GetValue("FROMSCRIPT")), "42") << "the script's variables come first";
  EXPECT_TRUE(dict.IsVariable("Serial"));
  EXPECT_EQ(VarToStr(dict.GetValue("Serial")), "A-12") << "a variable naming a field reads the field";
  for (const char* name : {"SELF", "PING"}) {
    SCOPED_TRACE(name);
    try {
      dict.GetValue(name);
      ADD_FAILURE() << "no error";
    } catch (const EParserError& e) {
      EXPECT_NE(e.Message().find(name), AnsiString::npos) << e.Message();
    }
    // The guard is left behind cleanly: a good variable still evaluates.
    EXPECT_EQ(VarToStr(dict.GetValue("TWICE")), "14");
  }
}

}  // namespace dict_test

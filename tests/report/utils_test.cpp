// Name resolution, lists, password hex and the expression error text.
#include <gtest/gtest.h>

#include <memory>

#include "report/FR_DBSet.h"
#include "report/FR_DSet.h"
#include "report/fr_memo.h"
#include "report/fr_utils.h"
#include "tests/report/class_support.h"
#include "toolkit/core/component.h"
#include "toolkit/db/fields.h"
#include "toolkit/db/memdataset.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace utils_test {

namespace {

using class_test::TestWork;

// A stand-in for the application: top-level "Form1" owning Dbf1 (N, SERIAL)
// and frDBDataSet1 on it; the report owner is Form1.
struct AppFixture {
  // The names are resolved in work of the report owner's.
  class_test::TestHost host;
  TfrBuildScope scope{nullptr, host};
  TComponent app{nullptr};
  TComponent* form;
  TMemDataSet* dbf;
  TfrDBDataSet* source;
  AppFixture() {
    form = new TComponent(&app);
    form->SetName("Form1");
    dbf = new TMemDataSet(form);
    dbf->SetName("Dbf1");
    dbf->FieldDefs().AppendNamedDef("N", ftInteger);
    dbf->FieldDefs().AppendNamedDef("SERIAL", ftString, 10);
    dbf->FieldDefs().AppendNamedDef("A.B", ftString, 10);
    source = new TfrDBDataSet(form);
    source->SetName("frDBDataSet1");
    source->SetDataSet(dbf);
    frTopLevelOwner() = &app;
    scope.Context().ReportOwner = form;
  }
  ~AppFixture() { frTopLevelOwner() = nullptr; }
};

TEST(ReportNames, FieldReferencesResolveToTheTableAndField) {
  AppFixture app;
  struct Case {
    const char* reference;
    TDataSet* given;
    TDataSet* data_set;
    const char* field;
  } cases[] = {
      {"Dbf1.\"SERIAL\"", nullptr, app.dbf, "SERIAL"},
      {"Dbf1.\"serial\"", nullptr, app.dbf, "serial"},
      {"Dbf1.\"MISSING\"", nullptr, app.dbf, ""},
      // A dot inside the quoted name is part of the name.
      {"Dbf1.\"A.B\"", nullptr, app.dbf, "A.B"},
      {"Form1.Dbf1.\"N\"", nullptr, app.dbf, "N"},
      {"Nowhere.Dbf1.\"N\"", nullptr, nullptr, ""},
      // Without a dot the data set passed in stays.
      {"\"N\"", app.dbf, app.dbf, "N"},
      {"N", nullptr, nullptr, ""},
      {"A.B.C.D.\"N\"", nullptr, nullptr, ""},
  };
  for (const Case& c : cases) {
    TDataSet* ds = c.given;
    AnsiString field = "stale";
    ResolveDataSetAndField(c.reference, ds, field);
    EXPECT_EQ(ds, c.data_set) << c.reference;
    EXPECT_EQ(field, c.field) << c.reference;
  }
}

TEST(ReportNames, ComponentPathsAndUnquoting) {
  AppFixture app;
  EXPECT_EQ(FindComponentByPath(app.form, "Dbf1"), app.dbf);
  EXPECT_EQ(FindComponentByPath(nullptr, "Form1.Dbf1"), app.dbf);
  EXPECT_EQ(FindComponentByPath(nullptr, "Unknown.Dbf1"), nullptr);
  EXPECT_EQ(FindComponentByPath(app.form, "Nothing"), nullptr);

  EXPECT_EQ(UnquoteName("\"SERIAL\""), "SERIAL");
  EXPECT_EQ(UnquoteName("\"\""), "\"\"");  // too short to be quoted
  EXPECT_EQ(UnquoteName("\"A"), "\"A");
  EXPECT_EQ(ValidFieldName(nullptr, "N"), "");
}

TEST(ReportNames, BandSourcesAreCountsOrComponents) {
  AppFixture app;
  TfrDataset* source = nullptr;
  bool created = false;
  ResolveBandDataSource("3", source, created);
  ASSERT_NE(source, nullptr);
  std::unique_ptr<TfrDataset> owned(source);
  EXPECT_TRUE(created);
  EXPECT_EQ(source->RangeEnd(), reCount);
  EXPECT_EQ(source->RangeEndCount(), 3);

  ResolveBandDataSource("frDBDataSet1", source, created);
  EXPECT_EQ(source, app.source);
  EXPECT_FALSE(created);
  EXPECT_TRUE(app.dbf->QueryActive());  // the found source was opened

  // A name of another class is refused; a text starting with 0 is a name.
  EXPECT_THROW(ResolveBandDataSource("Dbf1", source, created), EInvalidCast);
  ResolveBandDataSource("0", source, created);
  EXPECT_EQ(source, nullptr);
}

TEST(ReportNames, ObjectPathsNameObjectsPagesAndOwnProperties) {
  TestWork work;
  TfrMemoView current, other;
  current.Name = "Memo1";
  other.Name = "Memo2";
  TfrMemoView page2;
  frRunningBuild().CurView = &current;
  work.host.OnFindObject = [&](const AnsiString& name) -> TfrView* { return name == "Memo2" ? &other : nullptr; };
  work.host.OnTemplatePage = [&](int index) -> TfrObject* { return index == 2 ? &page2 : nullptr; };
  struct Case {
    const char* text;
    TfrObject* object;
    const char* property;
  } cases[] = {
      {"Visible", &current, "Visible"},
      {"PAGE2.Visible", &page2, "Visible"},
      {"page2.Visible", &page2, "Visible"},
      {"PAGE9.Visible", nullptr, "Visible"},
      {"Memo2.Memo", &other, "Memo"},
      {"Font.Size", &current, "Font.Size"},
      {"Nobody.Memo", nullptr, "Memo"},
  };
  for (const Case& c : cases) {
    TfrObject* object = nullptr;
    AnsiString property;
    ResolveObjectPath(c.text, object, property);
    EXPECT_EQ(object, c.object) << c.text;
    EXPECT_EQ(property, c.property) << c.text;
  }
}

TEST(ReportLists, ItemsSplitAtSemicolons) {
  struct Case {
    const char* text;
    std::vector<std::string> items;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a;b", {"a", "b"}},
      {"a;;b", {"a", "", "b"}},
      {";a", {"", "a"}},
      {"a;", {"a"}},
      {"a;;", {"a", ""}},
  };
  for (const Case& c : cases) {
    TStringList list;
    list.Add("old");
    SplitList(c.text, list);
    std::vector<std::string> got;
    for (int i = 0; i < list.Count(); ++i) got.push_back(list.Strings(i));
    EXPECT_EQ(got, c.items) << c.text;
  }
  size_t pos = 0;
  EXPECT_EQ(NextListItem("P;R", pos), "P");
  EXPECT_EQ(pos, 2u);
  EXPECT_EQ(NextListItem("P;R", pos), "R");
  EXPECT_EQ(NextListItem("P;R", pos), "");
}

TEST(ReportPassword, HexBothWays) {
  EXPECT_EQ(PasswordToHex("\x01\xAB z"), "01AB207A");
  EXPECT_EQ(HexToPassword("01AB207A"), "\x01\xAB z");
  EXPECT_EQ(HexToPassword("01ab207a"), "\x01\xAB z");
  EXPECT_EQ(HexToPassword("4142F"), "AB");  // a trailing odd digit is ignored
  const std::string all = [] {
    std::string s;
    for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
    return s;
  }();
  EXPECT_EQ(HexToPassword(PasswordToHex(all)), all);
}

TEST(ReportErrors, ExpressionErrorTextNamesDocumentAndObject) {
  TestWork work;
  frGlobals().StringSource = [](int id) -> AnsiString {
    switch (id) {
      case 55200: return "E";
      case 55201: return "D:";
      case 55202: return "O:";
      default: return "";
    }
  };
  TfrMemoView memo;
  memo.Name = "Memo7";
  memo.Memo.Add("[Dbf1.\"X\"]");
  frRunningBuild().CurView = &memo;
  bool terminated = false;
  const TfrErrorState& error = work.Context().Error;
  BuildExpressionErrorText(EParserError("bad"), "frReport4", [&] { terminated = true; });
  EXPECT_TRUE(error.ErrorFlag);
  EXPECT_EQ(error.ErrorText, "E\r[Dbf1.\"X\"]\r\rD: frReport4\rO: Memo7\r\rbad");
  EXPECT_TRUE(terminated);

  frRunningBuild().CurView = nullptr;
  BuildExpressionErrorText(EParserError("bad"), "frReport4");
  EXPECT_EQ(error.ErrorText, "E\r\rD: frReport4\r\rbad");
}

TEST(ReportData, FieldValuesAndNullTests) {
  AppFixture app;
  app.dbf->Activate();
  app.dbf->StartAppend();
  app.dbf->FieldNamed("N")->SetIntegerValue(7);
  app.dbf->CommitRecord();
  app.host.OnDefaultDataSet = [&]() -> TDataSet* { return app.dbf; };
  EXPECT_FALSE(FieldIsNull("Dbf1.\"N\""));
  EXPECT_TRUE(FieldIsNull("Dbf1.\"SERIAL\""));
  // A null text field reads as empty text, a null number as 0.
  EXPECT_EQ(VarToStr(GetFieldValue(app.dbf->FieldNamed("SERIAL"))), "");
  EXPECT_EQ(GetFieldValue(app.dbf->FieldNamed("N")).AsInteger(), 7);
  EXPECT_THROW(FieldIsNull("Dbf1.\"NOPE\""), EDatabaseError);
  app.host.OnDefaultDataSet = nullptr;
  EXPECT_TRUE(FieldIsNull("\"N\""));  // no data set at all
}

}  // namespace

namespace {

TEST(ReportDialogs, ControlsAreFoundUnderAPointAndGreyedWhenDisabled) {
  TForm form(nullptr);
  auto* group = PlaceControl(new TGroupBox(&form), "Group", &form, 10, 10, 100, 100);
  auto* inner = PlaceControl(new TButton(&form), "Inner", group, 5, 5, 20, 20);
  auto* empty_group = PlaceControl(new TGroupBox(&form), "Empty", &form, 200, 10, 50, 50);
  auto* label = PlaceControl(new TLabel(&form), "Label", &form, 10, 150, 60, 13);
  auto* hidden = PlaceControl(new TButton(&form), "Hidden", &form, 10, 150, 60, 13);
  hidden->SetVisible(false);
  struct Case {
    TPoint at;
    TControl* found;
  } cases[] = {
      {{16, 16}, inner},         // inside the group, on its child
      {{80, 80}, nullptr},       // inside the group, on no child: nothing
      {{210, 20}, empty_group},  // a container without children counts itself
      {{15, 155}, label},        // the hidden button over it does not count
      {{500, 500}, nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(FindControlAt(&form, c.at), c.found) << c.at.x << "," << c.at.y;

  EnableControls({label, inner}, false);
  EXPECT_FALSE(label->Enabled());
  EXPECT_EQ(label->Font().Color(), clGrayText);
  EXPECT_EQ(inner->Color(), clBtnFace);
  EnableControls({label, inner}, true);
  EXPECT_TRUE(inner->Enabled());
  EXPECT_EQ(label->Font().Color(), clWindowText);
  EXPECT_EQ(inner->Color(), clWindow);
}

}  // namespace

}  // namespace utils_test

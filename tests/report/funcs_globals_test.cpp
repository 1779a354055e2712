// The report globals: the numbered texts, the tables loaded at start-up, the
// named constants, the checker bitmap and the shared parser and interpreter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "report/fr_funcs.h"
#include "report/fr_globals.h"
#include "report/fr_intrp.h"
#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "tests/report/class_support.h"
#include "toolkit/core/text.h"
#include "toolkit/core/units.h"
#include "toolkit/gfx/graphics.h"
#include "toolkit/ui/forms.h"

namespace funcs_globals_test {

std::string Utf8(const AnsiString& s) { return AnsiToUtf8(s); }

class GlobalsTest : public ::testing::Test {
 protected:
  ~GlobalsTest() override { FreeGlobals(); }
};

TEST_F(GlobalsTest, NumberedTextsAreWindows1251AndMissingOnesEmpty) {
  const struct {
    int number;
    const char* utf8;
  } cases[] = {
      {55337, "204"},
      {55000, "ОК"},
      {55001, "Отмена"},
      {55077, "Report title"},
      {55099, "Нет"},
      {55206, "Ошибка"},
      {55345, "Неверный FRF формат"},
      {55620, "Базы данных"},
      {55157, "1 234,5"},
      {53048, "Введите номера и/или диапазоны страниц, разделенные запятыми. Например, 1,3,5-12"},
      // Texts the library has no resource for.
      {55008, ""},
      {53420, ""},
      {55190, ""},
      {0, ""},
      {-1, ""},
      {99999, ""},
  };
  for (const auto& c : cases) {
    const AnsiString text = LocaleObject().LoadText(c.number);
    EXPECT_EQ(text, Utf8ToAnsi(c.utf8)) << c.number;
  }
  // 1251 bytes, one a letter.
  EXPECT_EQ(LocaleObject().LoadText(55206).size(), 6u);
  // The library's own text routine reads the same table once the globals are up.
  frGlobals();
  EXPECT_EQ(Utf8(LoadReportString(55209)), "Untitled");
  EXPECT_EQ(LoadReportString(55621).find("FIELDISNULL"), 0u);
}

TEST_F(GlobalsTest, StartUpLoadsTheNameAndFormatTables) {
  TfrGlobals& g = frGlobals();
  EXPECT_EQ(g.DefaultCharset, 204);
  EXPECT_EQ(Utf8(g.BandTypeNames[0]), "Report title");
  EXPECT_EQ(Utf8(g.BandTypeNames[5]), "Master data");
  EXPECT_EQ(Utf8(g.BandTypeNames[16]), "Group header");
  EXPECT_EQ(Utf8(g.BandTypeNames[21]), "Child");
  EXPECT_EQ(Utf8(g.BandTypeNames[22]), "Нет");
  EXPECT_EQ(Utf8(g.BooleanFormats[1]), "Нет;Да");
  EXPECT_EQ(Utf8(g.BooleanFormats[3]), "False;True");
  EXPECT_EQ(g.DateFormats[0], "dd.mm.yy");
  EXPECT_EQ(g.DateFormats[3], "d mmmm yyyy");
  EXPECT_EQ(g.TimeFormats[0], "hh:nn:ss");
  EXPECT_EQ(g.TimeFormats[3], "h:nn");
}

TEST_F(GlobalsTest, NamedConstantsHoldTheseValues) {
  const TfrVariables& c = frGlobals().NamedConstants;
  const struct {
    const char* name;
    int64_t value;
  } cases[] = {
      {"clWhite", 0xFFFFFF},       {"clMaroon", 0x80},           {"clTeal", 0x808000},
      {"clAqua", 0xFFFF00},        {"clTransparent", 0x1FFFFFFF}, {"clScrollBar", 0xFF000000},
      {"clBtnFace", 0xFF00000F},   {"clInfoBk", 0xFF000018},     {"mrNone", 0},
      {"mrOk", 1},                 {"mrNo", 7},                  {"fsBold", 2},
      {"fsItalic", 1},             {"frftTop", 8},               {"frtaDown", 16},
      {"baRest", 7},               {"psDouble", 5},              {"mb_YesNo", 4},
      {"mb_YesNoCancel", 3},       {"mb_IconWarning", 48},       {"MROK", 1},
  };
  for (const auto& k : cases) {
    const Variant v = c.FetchVariable(k.name);
    ASSERT_EQ(v.VarType(), varInteger) << k.name;
    EXPECT_EQ(static_cast<uint32_t>(v.AsInteger()), static_cast<uint32_t>(k.value)) << k.name;
  }
  EXPECT_EQ(c.FetchVariable("CRLF").AsString(), "\r\n");
  EXPECT_EQ(c.IndexOfVariable("Null") >= 0, true);
  EXPECT_TRUE(VarIsNull(c.VariableValueAt(c.IndexOfVariable("Null"))));
  // 16 colours, clTransparent, 25 system colours, 5 modal results, CRLF, Null,
  // 4 font styles, 5 frame edges, 6 alignments, 8 band alignments, 6 pen
  // styles, 4 box kinds and 4 box icons.
  EXPECT_EQ(c.VariableCount(), 86);
  for (int i = 1; i < c.VariableCount(); ++i)
    EXPECT_LT(AnsiCompareText(c.VariableNameAt(i - 1), c.VariableNameAt(i)), 0) << "kept sorted";
  EXPECT_TRUE(frGlobals().RuntimeVariables.Sorted());
}

TEST_F(GlobalsTest, TheCheckerBitmapAlternatesWhiteAndSilver) {
  TBitmap& b = *frGlobals().CheckerBitmap;
  ASSERT_EQ(b.Width(), 8);
  ASSERT_EQ(b.Height(), 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(b.Canvas().Pixel(x, y), (x + y) % 2 == 0 ? clWhite : clSilver) << x << "," << y;
  EXPECT_EQ(frGlobals().MeasureBitmap->Width(), 8);
}

TEST_F(GlobalsTest, ShutDownFreesAndTheNextStartMakesAnew) {
  frGlobals().RuntimeVariables.AssignVariable("x", 1);
  TfrParser* parser = frGlobals().ReportParser.get();
  ASSERT_NE(parser, nullptr);
  ASSERT_NE(frGlobals().ReportInterpreter, nullptr);
  ASSERT_NE(frGlobals().Compressor, nullptr);
  FreeGlobals();
  // The locale object is made again on first use.
  EXPECT_EQ(LoadReportString(55337), "204");
  EXPECT_EQ(frGlobals().RuntimeVariables.VariableCount(), 0);
}

// The engine's mode, object numbering, missing classes and replaced texts
// are the globals' and go with them; the function libraries and their
// descriptions are units made before the globals, so the units' shut-down
// frees the globals (which unregister the libraries) first.
TEST_F(GlobalsTest, TheEngineStateAndTheFunctionRegistryFollowTheGlobals) {
  frEngine().EngineMode = emPrinting;
  frEngine().ObjectIdCounter = 17;
  frEngine().ClassNotFound = true;
  frGlobals().StringSource = [](int) { return AnsiString("replaced"); };
  EXPECT_EQ(LoadReportString(55337), "replaced");
  EXPECT_EQ(FunctionLibraryCount(), 2);
  const std::vector<const char*> units = RegisteredUnits();
  const auto place = [&](std::string_view name) {
    return std::find_if(units.begin(), units.end(), [&](const char* unit) { return name == unit; }) - units.begin();
  };
  ASSERT_LT(place("fr_globals"), std::ssize(units));
  EXPECT_LT(place("fr_function_libraries"), place("fr_globals"));
  EXPECT_LT(place("fr_function_catalogue"), place("fr_globals"));

  FreeGlobals();
  EXPECT_EQ(FunctionLibraryCount(), 0);
  EXPECT_EQ(InstalledFunctions().Count(), 0);
  EXPECT_EQ(LoadReportString(55337), "204");
  EXPECT_EQ(frEngine().EngineMode, emDesigning);
  EXPECT_EQ(frEngine().ObjectIdCounter, 0u);
  EXPECT_FALSE(frEngine().ClassNotFound);
}

TEST_F(GlobalsTest, DialogPagesShareOneHiddenForm) {
  TForm* form = frGlobals().DialogForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Name(), "DialogForm");
  EXPECT_EQ(form->Left(), -100);
  EXPECT_EQ(form->Top(), -100);
  EXPECT_EQ(form->Width(), 10);
  EXPECT_EQ(form->Height(), 10);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(frGlobals().DialogForm(), form);
}

// Dialog controls are made on the hidden form, so a control's generated name
// skips the form's components (other objects do not look there); once the
// globals are freed their form names nothing.
TEST_F(GlobalsTest, ControlNamesAvoidComponentsOfTheHiddenDialogForm) {
  class_test::TestWork work;
  FreeGlobals();
  auto* component = new TComponent(frGlobals().DialogForm());
  component->SetName("View1");
  class_test::TestControl control;
  control.CreateUniqueName();
  EXPECT_EQ(control.Name, "View2");
  class_test::TestView view;
  view.CreateUniqueName();
  EXPECT_EQ(view.Name, "View1");
  FreeGlobals();
  class_test::TestControl after;
  after.CreateUniqueName();
  EXPECT_EQ(after.Name, "View1");
}

TEST_F(GlobalsTest, AProgramThatEndsWithoutShutDownEndsCleanly) {
  // A child of its own, not a fork of a process whose other threads (Qt's,
  // the font libraries') would leave their memory looking leaked.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The globals are then freed with the process's other objects, after
  // everything their destructor reaches.
  EXPECT_EXIT(
      {
        frGlobals().RuntimeVariables.AssignVariable("x", 1);
        LoadReportString(55337);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace funcs_globals_test

// The main window's five stored protocols: the stored descriptions are what
// tools/report_forms makes, byte for byte, and the window's report
// components hold the templates the protocols need once they are read.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/main.h"
#include "app/report_forms.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_views.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/objtext.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace report_forms_test {

std::string Bin(const char* tool) { return std::string(KIV7_BINARY_DIR) + "/tools/" + tool + "/" + tool; }

TEST(ReportForms, TheStoredDescriptionsAreWhatTheGeneratorMakes) {
  const std::string dir = testsupport::TempDir("report_forms");
  std::string out;
  ASSERT_EQ(testsupport::RunCommand(Bin("report_forms") + " --raw '" + dir + "' 2>&1", &out), 0) << out;
  for (int i = 0; i < kReportFormCount; ++i) {
    const std::string name = "frReport" + std::to_string(i + 1);
    SCOPED_TRACE(name);
    TStringStream text(kReportFormTexts[i]);
    TStringStream stored("");
    ObjectTextToBinary(text, stored);
    const std::string made = testsupport::ReadFile(dir + "/" + name + ".bin");
    ASSERT_FALSE(made.empty());
    EXPECT_TRUE(stored.DataString() == made) << "the stored description differs from the generator's; run "
                                                "report_forms --source app/report_forms.cpp";
  }
}

// Read by the main window and written again, each stored protocol comes out
// byte for byte: reading and writing a template lose and add nothing.
TEST(ReportForms, TheStoredProtocolsWriteBackToTheSameBytes) {
  testsupport::RecordingDialogs dialogs;
  auto form = std::make_unique<TForm1>(nullptr);
  form->AfterConstruction();
  TfrReport* const reports[kReportFormCount] = {form->frReport1, form->frReport2, form->frReport3, form->frReport4,
                                                form->frReport5};
  for (int i = 0; i < kReportFormCount; ++i) {
    SCOPED_TRACE(AnsiToUtf8(reports[i]->Name()));
    TStringStream text(kReportFormTexts[i]);
    TStringStream stored("");
    ObjectTextToBinary(text, stored);
    // Writing stamps the template with the time; the stored one keeps its own.
    const double last_change = reports[i]->Template.Info.LastChange;
    const TNowSource kept = SetNowSource([last_change] { return last_change; });
    TMemoryStream written;
    TWriter(written).WriteRootComponent(reports[i]);
    SetNowSource(kept);
    EXPECT_TRUE(std::string(written.Bytes()) == stored.DataString());
  }
}

// The texts of a template's objects by the band they lie in.
struct Protocol {
  std::map<int, std::vector<std::string>> texts;  // band type -> texts in stored order
  std::map<int, std::string> sources;            // band type -> record source
  std::map<std::string, const TfrView*> fields;   // "N" -> its text object
  bool framed = true;                            // every head and field has four lines
  bool arial = true;
};

Protocol Read(TfrReport& report) {
  Protocol p;
  EXPECT_EQ(report.Pages().Count(), 1);
  const TfrPage& page = *report.Pages().Pages(0);
  std::vector<const TfrView*> bands;
  for (const auto& view : page.Objects)
    if (view->TypeCode == gtBand) {
      bands.push_back(view.get());
      p.sources[view->FrameTyp] = AnsiToUtf8(view->FormatText);
    }
  for (const auto& view : page.Objects) {
    if (view->TypeCode != gtMemo) continue;
    const TfrView* band = nullptr;
    for (const TfrView* b : bands)
      if (view->Top >= b->Top && view->Top + view->Height <= b->Top + b->Height) band = b;
    if (band == nullptr) {
      ADD_FAILURE() << "outside every band: " << AnsiToUtf8(view->Memo.Text());
      continue;
    }
    const std::string text = AnsiToUtf8(view->Memo.Strings(0));
    p.texts[band->FrameTyp].push_back(text);
    const int type = band->FrameTyp;
    if (type == btPageHeader || type == btMasterData) {
      if (view->FrameTyp != (frbLeft | frbTop | frbRight | frbBottom)) p.framed = false;
    }
    if (AnsiToUtf8(static_cast<const TfrMemoView*>(view.get())->Font.Name()) != "Arial") p.arial = false;
    const std::string prefix = "[Dbf1.\"";
    if (type == btMasterData && text.rfind(prefix, 0) == 0)
      p.fields[text.substr(prefix.size(), text.size() - prefix.size() - 2)] = view.get();
  }
  return p;
}

std::vector<std::string> FieldTexts(const std::vector<std::string>& fields) {
  std::vector<std::string> out;
  for (const std::string& f : fields) out.push_back("[Dbf1.\"" + f + "\"]");
  return out;
}

TEST(ReportForms, TheWindowsReportsHoldTheProtocolsTitlesHeadsFieldsAndPageCounter) {
  testsupport::RecordingDialogs dialogs;
  auto form = std::make_unique<TForm1>(nullptr);
  form->AfterConstruction();
  const struct {
    TfrReport* report;
    const char* name;
    const char* title;
    std::vector<std::string> heads, fields;
  } cases[] = {
      {form->frReport1, "frReport1", "ВАМ-КС7  № [Dbf1.\"SERIAL\"]",
       {"Дата", "Время", "Тип и размер пластины", "P, кН", "R, МПа", "Примечание"},
       {"N", "DATE", "TIME", "TYPE", "P", "R", "COMMENT"}},
      {form->frReport2, "frReport2", "ЭН-КС7  № [Dbf1.\"SERIAL\"]",
       {"Дата", "Время", "Вид испытаний", "R, МПа", "P, Н", "Размер образца, мм"},
       {"N", "P", "DATE", "TIME", "R", "T", "COMMENT", "H"}},
      {form->frReport3, "frReport3", "ВАМ-КС7  № [Dbf1.\"SERIAL\"]",
       {"Дата", "Время", "Тип и размер пластины", "P, кН", "Примечание"},
       {"N", "P", "DATE", "TIME", "TYPE", "COMMENT"}},
      {form->frReport4, "frReport4", "ЛИВТ-КС7  № [Dbf1.\"SERIAL\"]",
       {"Дата", "Время", "Ao, дБ", "d, мм", "Асв1, дБ", "Асв2, дБ", "Асв3, дБ", "Ао-Асв1, дБ", "Ао-Асв2, дБ",
        "Ао-Асв3, дБ", "Ку асв, дБ", "Примечание"},
       {"N", "R", "DATE", "TIME", "A1", "A2", "A3", "D1", "D2", "D3", "H", "P", "K", "COMMENT"}},
      {form->frReport5, "frReport5", "ТЕФ-10КС7  № [Dbf1.\"SERIAL\"]",
       {"Дата", "Время", "R, МПа", "P, Н", "Размер образца, мм", "Перемещение, мм", "Примечание"},
       {"N", "P", "DATE", "TIME", "R", "TYPE", "H", "COMMENT"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TfrReport& report = *c.report;
    EXPECT_EQ(AnsiToUtf8(report.Name()), c.name);
    EXPECT_TRUE(report.StoreInDFM);
    EXPECT_EQ(report.InitialZoom, pzDefault);
    EXPECT_TRUE(report.PreviewButtons == (TfrPreviewButtons{pbZoom, pbPrint, pbHelp, pbExit}));
    EXPECT_FALSE(report.RebuildPrinter);
    // The page total is known on every page only after a first pass.
    EXPECT_TRUE(report.Template.TwoPassBuild);
    EXPECT_EQ(report.Pages().Pages(0)->Size, 9) << "A4";
    EXPECT_EQ(report.Pages().Pages(0)->Orientation, 0);
    const Protocol p = Read(report);
    EXPECT_EQ(p.texts.at(btReportTitle), std::vector<std::string>{c.title});
    EXPECT_EQ(p.texts.at(btPageHeader), c.heads);
    EXPECT_EQ(p.texts.at(btMasterData), FieldTexts(c.fields));
    EXPECT_EQ(p.texts.at(btPageFooter), std::vector<std::string>{"Стр. [PAGE#] из [TOTALPAGES]"});
    EXPECT_EQ(p.sources.at(btMasterData), "frDBDataSet1");
    EXPECT_TRUE(p.framed);
    EXPECT_TRUE(p.arial);
    // Nothing left for the info block but what a new template has.
    EXPECT_TRUE(report.Info().Name.empty() && report.Info().Password.empty());
    EXPECT_EQ(report.Info().Protection, 0);
  }
  // The acoustic protocol stacks the three levels and the three differences
  // of a row, one under the other, as the grid does.
  const Protocol acoustic = Read(*form->frReport4);
  for (const char* group : {"A", "D"}) {
    SCOPED_TRACE(group);
    const TfrView* first = acoustic.fields.at(std::string(group) + "1");
    const TfrView* second = acoustic.fields.at(std::string(group) + "2");
    const TfrView* third = acoustic.fields.at(std::string(group) + "3");
    EXPECT_EQ(second->Left, first->Left);
    EXPECT_EQ(third->Left, first->Left);
    EXPECT_EQ(second->Top, first->Top + first->Height);
    EXPECT_EQ(third->Top, second->Top + second->Height);
  }
  // Other fields stand side by side over the whole row.
  const TfrView* n = acoustic.fields.at("N");
  const TfrView* date = acoustic.fields.at("DATE");
  EXPECT_EQ(date->Top, n->Top);
  EXPECT_GE(date->Left, n->Left + n->Width);
  EXPECT_EQ(n->Height, 3 * acoustic.fields.at("A1")->Height);
}

}  // namespace report_forms_test

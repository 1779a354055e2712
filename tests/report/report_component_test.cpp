// The report component: its template kept in the form's stored description,
// loading with the messages the user sees, building in one and two passes
// (with and without the progress window), the build's events and errors, and
// the pages it leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/fr_emf.h"
#include "report/fr_progr.h"
#include "report/fr_tmpl.h"
#include "tests/report/report_support.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/testsupport.h"
#include "report/FR_DBSet.h"
#include "report/fr_preview.h"
#include "toolkit/core/filer.h"
#include "toolkit/db/memdataset.h"
#include "toolkit/ui/stdctrls.h"

namespace report_component_test {

using report_test::AddBand;
using report_test::AddObject;

// The texts of the objects of a built page, in their order.
std::vector<std::string> PageTexts(TfrEMFPages& pages, int index) {
  pages.ObjectsToPage(index);
  std::vector<std::string> texts;
  for (const auto& view : pages.Pages(index).Page->Objects) {
    std::string text;
    for (int i = 0; i < view->Memo.Count(); ++i) {
      if (i > 0) text += "\n";
      text += AnsiToUtf8(view->Memo.Strings(i));
    }
    std::erase(text, kLineEndMark);
    texts.push_back(text);
  }
  return texts;
}

std::vector<std::string> AllTexts(TfrEMFPages& pages) {
  std::vector<std::string> all;
  for (int i = 0; i < pages.Count(); ++i)
    for (const std::string& text : PageTexts(pages, i)) all.push_back(text);
  return all;
}

// A filer that keeps what the component declares for "ReportForm".
class CapturingFiler : public TFiler {
 public:
  void DefineProperty(const AnsiString&, TReaderProc, TWriterProc, bool) override {}
  void DefineBinaryProperty(const AnsiString& name, TStreamProc read, TStreamProc write, bool) override {
    if (name != "ReportForm") return;
    read_ = std::move(read);
    write_ = std::move(write);
  }
  std::string Written(TfrReport& report) {
    report.DefineProperties(*this);
    TMemoryStream bytes;
    write_(bytes);
    return std::string(bytes.Bytes());
  }
  void Read(TfrReport& report, const std::string& data) {
    report.DefineProperties(*this);
    TMemoryStream bytes;
    bytes.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    bytes.SetPosition(0);
    read_(bytes);
  }

 private:
  TStreamProc read_, write_;
};

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() {
    frGlobals();
    report.ShowProgress = false;
  }

  // A list: the title, a master data band over `rows` counted records whose
  // row prints LINE#, and a page footer "PAGE#/TOTALPAGES". Each row is 100
  // page pixels high, so a few rows fill a page.
  TfrPage* MakeList(int rows, const char* row_text = "[LINE#]") {
    TfrPage* page = report.Pages().Add();
    AddBand(*page, btReportTitle, 10, 30, "Title");
    AddObject(*page, gtMemo, 20, 10, 300, 30, "TitleMemo", "Заголовок");
    AddBand(*page, btMasterData, 60, 100, "Data", std::to_string(rows).c_str());
    AddObject(*page, gtMemo, 20, 60, 300, 100, "RowMemo", row_text);
    const int footer_top = page->Metrics.PageHeight - 100;
    AddBand(*page, btPageFooter, footer_top, 30, "Footer");
    AddObject(*page, gtMemo, 20, footer_top, 300, 30, "FooterMemo", "[PAGE#]/[TOTALPAGES]");
    return page;
  }

  // The footer texts of every built page.
  std::vector<std::string> Footers() {
    std::vector<std::string> found;
    for (const std::string& text : AllTexts(*report.EMFPages()))
      if (text.find('/') != std::string::npos) found.push_back(text);
    return found;
  }

  std::string TemplateBytes() {
    TMemoryStream bytes;
    report.SaveTemplate(bytes);
    return std::string(bytes.Bytes());
  }

  report_test::ReportWork work;
  TfrReport report{nullptr};
};

TEST_F(ReportTest, TheFormDescriptionHoldsTheTemplateOnlyWhenAsked) {
  MakeList(3);
  CapturingFiler filer;
  // Without StoreInDFM the property is the marker alone, and reading it
  // leaves the template as it is.
  EXPECT_EQ(filer.Written(report), std::string("\x19\0\0\0", 4));
  TfrReport empty(nullptr);
  filer.Read(empty, filer.Written(report));
  empty.Loaded();
  EXPECT_EQ(empty.Pages().Count(), 0);

  report.StoreInDFM = true;
  const std::string stored = filer.Written(report);
  ASSERT_GT(stored.size(), 8u);
  const std::string body = TemplateBytes();
  EXPECT_EQ(stored.substr(0, 4), std::string("\x19\0\0\0", 4));
  // The length and the template follow (equal but for the change date).
  EXPECT_EQ(stored.size(), 8 + body.size());

  TfrReport copy(nullptr);
  copy.StoreInDFM = true;
  filer.Read(copy, stored);
  // Parsed only once the form has finished loading.
  EXPECT_EQ(copy.Pages().Count(), 0);
  copy.Loaded();
  ASSERT_EQ(copy.Pages().Count(), 1);
  ASSERT_NE(copy.FindObject("rowmemo"), nullptr);
  EXPECT_EQ(copy.FindObject("RowMemo")->Memo.Strings(0), "[LINE#]");
}

TEST_F(ReportTest, AFormDescriptionCutShortIsRefused) {
  report.StoreInDFM = true;
  CapturingFiler filer;
  EXPECT_THROW(filer.Read(report, std::string("\x19\0\0\0\xff\0\0\0abc", 11)), EReadError);
  report.Loaded();
  EXPECT_EQ(report.Pages().Count(), 0);
}

TEST_F(ReportTest, TemplatesThatCannotBeReadAreReportedAndChangeNothing) {
  MakeList(3);
  testsupport::RecordingDialogs dialogs;
  const struct {
    std::string bytes;
  } cases[] = {
      {std::string("\x1a", 1)},                   // a version above 25
      {std::string("\x19\0\0\0\0\x05\0abc", 10)}, // cut short inside the printer name
  };
  for (const auto& c : cases) {
    TMemoryStream stream;
    stream.WriteBuffer(c.bytes.data(), static_cast<int64_t>(c.bytes.size()));
    stream.SetPosition(0);
    report.LoadTemplate(stream);
  }
  ASSERT_EQ(dialogs.boxes.size(), 2u);
  for (const auto& box : dialogs.boxes) {
    EXPECT_EQ(AnsiToUtf8(box.text), "Неверный FRF формат");
    EXPECT_EQ(AnsiToUtf8(box.caption), "Ошибка");
    EXPECT_EQ(box.flags & MB_ICONERROR, MB_ICONERROR);
  }
  EXPECT_EQ(report.Pages().Count(), 1);
  EXPECT_NE(report.FindObject("RowMemo"), nullptr);
}

TEST_F(ReportTest, FindObjectSearchesThePagesInOrderIgnoringCase) {
  TfrPage* first = report.Pages().Add();
  TfrPage* second = report.Pages().Add();
  TfrView* a = AddObject(*first, gtMemo, 0, 0, 10, 10, "Alpha");
  TfrView* b = AddObject(*second, gtMemo, 0, 0, 10, 10, "Beta");
  AddObject(*second, gtMemo, 0, 0, 10, 10, "ALPHA");
  EXPECT_EQ(report.FindObject("alpha"), a);
  EXPECT_EQ(report.FindObject("BETA"), b);
  EXPECT_EQ(report.FindObject("Gamma"), nullptr);
}

TEST_F(ReportTest, ABuildLeavesTheTemplateAsItWasAndRepeatsItsPages) {
  MakeList(12);
  SetNowSource([] { return 46000.25; });
  const std::string before = TemplateBytes();
  ASSERT_TRUE(report.BuildReport());
  const int pages = report.EMFPages()->Count();
  ASSERT_GT(pages, 1);
  const std::vector<std::string> first = AllTexts(*report.EMFPages());
  EXPECT_EQ(TemplateBytes(), before);
  ASSERT_TRUE(report.BuildReport());
  EXPECT_EQ(report.EMFPages()->Count(), pages);
  EXPECT_EQ(AllTexts(*report.EMFPages()), first);
  SetNowSource({});
  // Every row once, in order.
  std::vector<std::string> rows;
  for (const std::string& text : first)
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) rows.push_back(text);
  std::vector<std::string> expected;
  for (int i = 1; i <= 12; ++i) expected.push_back(std::to_string(i));
  EXPECT_EQ(rows, expected);
}

TEST_F(ReportTest, TotalPagesCountsTheFirstOfTwoPassesAndIsNeverStale) {
  MakeList(12);
  report.Template.TwoPassBuild = true;
  ASSERT_TRUE(report.BuildReport());
  const int n = report.EMFPages()->Count();
  ASSERT_GT(n, 1);
  std::vector<std::string> expected;
  for (int k = 1; k <= n; ++k) expected.push_back(std::to_string(k) + "/" + std::to_string(n));
  EXPECT_EQ(Footers(), expected);
  EXPECT_TRUE(report.Template.TwoPassBuild);

  // A one-pass build afterwards knows no total.
  report.Template.TwoPassBuild = false;
  ASSERT_TRUE(report.BuildReport());
  expected.clear();
  for (int k = 1; k <= report.EMFPages()->Count(); ++k) expected.push_back(std::to_string(k) + "/0");
  EXPECT_EQ(Footers(), expected);
}

TEST_F(ReportTest, AnErrorIsShownAndLeavesNoPages) {
  MakeList(3, "[NOSUCH]");
  testsupport::RecordingDialogs dialogs;
  EXPECT_FALSE(report.BuildReport());
  EXPECT_EQ(report.EMFPages()->Count(), 0);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  const std::string text = AnsiToUtf8(dialogs.boxes[0].text);
  EXPECT_EQ(text.rfind("Возникла ошибка при обработке выражения\r[NOSUCH]", 0), 0u) << text;
  EXPECT_NE(text.find("Объект: RowMemo\r"), std::string::npos) << text;
  EXPECT_NE(text.find("Переменная не определена: \"NOSUCH\""), std::string::npos) << text;
  EXPECT_EQ(AnsiToUtf8(dialogs.boxes[0].caption), "Ошибка");
  // The template is whole again and builds once the fault is gone.
  report.FindObject("RowMemo")->Memo.SetText("[LINE#]");
  EXPECT_TRUE(report.BuildReport());
  EXPECT_GT(report.EMFPages()->Count(), 0);
}

TEST_F(ReportTest, EventsOfABuild) {
  MakeList(12);
  std::vector<std::string> heard;
  report.OnBeginDoc = [&] { heard.push_back("begin"); };
  report.OnEndDoc = [&] { heard.push_back("end"); };
  report.OnBeginPage = [&](int n) { heard.push_back("page " + std::to_string(n)); };
  std::vector<int> progress;
  report.OnProgress = [&](int n) { progress.push_back(n); };
  int before_print = 0;
  report.OnBeforePrint = [&](TStrings* memo, TfrView* view) {
    if (view->Name != "TitleMemo") return;
    ++before_print;
    memo->SetText(Utf8ToAnsi("Изменён"));
  };
  ASSERT_TRUE(report.BuildReport());
  const int n = report.EMFPages()->Count();
  ASSERT_GT(n, 1);
  ASSERT_GE(heard.size(), 2u);
  EXPECT_EQ(heard.front(), "begin");
  EXPECT_EQ(heard.back(), "end");
  EXPECT_EQ(static_cast<int>(heard.size()), n + 2);
  EXPECT_EQ(before_print, 1);
  EXPECT_EQ(PageTexts(*report.EMFPages(), 0).front(), "Изменён");
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), n);
}

TEST_F(ReportTest, ASecondBuildWhileOneRunsIsRefused) {
  MakeList(3);
  bool inner = true;
  report.OnBeginDoc = [&] { inner = report.BuildReport(); };
  EXPECT_TRUE(report.BuildReport());
  EXPECT_FALSE(inner);
  EXPECT_GT(report.EMFPages()->Count(), 0);
  EXPECT_FALSE(report.Building());
}

TEST_F(ReportTest, StopReportEndsTheBuildButWithoutProgressWindowItCountsAsBuilt) {
  MakeList(40);
  report.FindObject("Data")->Script.SetText("if [LINE#] = 3 then STOPREPORT");
  EXPECT_TRUE(report.BuildReport());
  EXPECT_TRUE(report.Terminated);
  const int pages = report.EMFPages()->Count();
  // In the progress window a stop counts as cancelled; the pages built so far stay.
  report.ShowProgress = true;
  EXPECT_FALSE(report.BuildReport());
  EXPECT_EQ(report.EMFPages()->Count(), pages);
  report.ShowProgress = false;
  report.FindObject("Data")->Script.Clear();
  EXPECT_TRUE(report.BuildReport());
  EXPECT_LT(pages, report.EMFPages()->Count());
  FreeProgressForm();
}

TEST_F(ReportTest, BuiltPagesGoIntoAFileAndComeBack) {
  MakeList(12);
  ASSERT_TRUE(report.BuildReport());
  EXPECT_TRUE(report.BuiltHere);
  const std::string file = testsupport::TempDir("report_built_pages") + "/list.frp";
  report.SaveBuiltPages(file);
  TfrReport other(nullptr);
  other.BuiltHere = true;
  other.LoadBuiltPages(file);
  EXPECT_FALSE(other.BuiltHere);
  EXPECT_EQ(other.EMFPages()->Count(), report.EMFPages()->Count());
  EXPECT_EQ(AllTexts(*other.EMFPages()), AllTexts(*report.EMFPages()));
  EXPECT_THROW(other.LoadBuiltPages(file + ".missing"), EFOpenError);
  EXPECT_EQ(other.EMFPages()->Count(), report.EMFPages()->Count());
}

TEST_F(ReportTest, AMultipleReportBuildsOncePerRecordOfItsDataset) {
  MakeList(2);
  TfrUserDataset records(nullptr);
  records.SetRangeEnd(reCount);
  records.SetRangeEndCount(3);
  report.SetDataset(&records);
  ASSERT_TRUE(report.BuildReport());
  const int multiple = report.EMFPages()->Count();
  report.ReportType = rtMultiple;
  ASSERT_TRUE(report.BuildReport());
  EXPECT_EQ(report.EMFPages()->Count(), 3 * multiple);
  report.SetDataset(nullptr);
}

TEST_F(ReportTest, APageFlaggedSoContinuesOnThePreviousOne) {
  MakeList(1);
  TfrPage* second = report.Pages().Add();
  AddBand(*second, btReportTitle, 10, 30, "Title2");
  AddObject(*second, gtMemo, 20, 10, 300, 30, "Second", "Вторая");
  ASSERT_TRUE(report.BuildReport());
  EXPECT_EQ(report.EMFPages()->Count(), 2);
  // A build reloads the template: its pages are new objects afterwards.
  report.Pages().Pages(1)->PrintToPrevPage = true;
  ASSERT_TRUE(report.BuildReport());
  ASSERT_EQ(report.EMFPages()->Count(), 1);
  const std::vector<std::string> texts = PageTexts(*report.EMFPages(), 0);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Вторая"), texts.end());
}

TEST_F(ReportTest, TheProgressWindowShowsTheBuild) {
  MakeList(12);
  report.ShowProgress = true;
  report.Title = Utf8ToAnsi("Протокол");
  report.Template.TwoPassBuild = true;
  std::vector<std::string> lines;
  report.OnBeginPage = [&](int) { lines.push_back(AnsiToUtf8(frProgressForm()->Label1->Caption())); };
  ASSERT_TRUE(report.BuildReport());
  const int n = report.EMFPages()->Count();
  ASSERT_GT(n, 1);
  EXPECT_EQ(AnsiToUtf8(frProgressForm()->Caption()), "Подготовка отчета - Протокол");
  EXPECT_FALSE(frProgressForm()->Visible());
  // The second pass counts its pages against the first pass's total.
  ASSERT_EQ(static_cast<int>(lines.size()), 2 * n);
  EXPECT_EQ(lines.front().rfind("Выполняется 1-й проход:  ", 0), 0u) << lines.front();
  EXPECT_EQ(lines.back().rfind("Формируется страница:  ", 0), 0u) << lines.back();
  const std::string total = " из " + std::to_string(n);
  EXPECT_EQ(lines.back().substr(lines.back().size() - total.size()), total) << lines.back();
  FreeProgressForm();
}

TEST_F(ReportTest, APictureBoundToABlobFieldShowsEachRowsPicture) {
  TComponent form(nullptr);
  auto* table = new TMemDataSet(&form);
  table->SetName("Dbf1");
  table->FieldDefs().AppendNamedDef("N", ftInteger);
  table->FieldDefs().AppendNamedDef("IMG", ftBlob);
  table->Activate();
  const std::vector<std::string> images = {"BM-first", "", "BM-third"};
  for (size_t i = 0; i < images.size(); ++i) {
    table->StartAppend();
    table->FieldNamed("N")->SetIntegerValue(static_cast<int>(i + 1));
    if (!images[i].empty()) table->FieldNamed("IMG")->SetStringValue(images[i]);
    table->CommitRecord();
  }
  auto* source = new TfrDBDataSet(&form);
  source->SetName("frDBDataSet1");
  source->SetDataSet(table);
  auto* owned = new TfrReport(&form);
  owned->ShowProgress = false;
  TfrPage* page = owned->Pages().Add();
  AddBand(*page, btMasterData, 60, 100, "Data", "frDBDataSet1");
  AddObject(*page, gtPicture, 20, 60, 100, 90, "Picture1", "[Dbf1.\"IMG\"]");
  std::vector<std::string> seen;
  owned->OnBeforePrint = [&](TStrings*, TfrView* view) {
    seen.push_back(static_cast<TfrPictureView*>(view)->PictureData());
  };
  ASSERT_TRUE(owned->BuildReport());
  EXPECT_EQ(seen, images);
  std::vector<std::string> built;
  TfrEMFPages& pages = *owned->EMFPages();
  for (int i = 0; i < pages.Count(); ++i) {
    pages.ObjectsToPage(i);
    for (const auto& view : pages.Pages(i).Page->Objects)
      built.push_back(static_cast<TfrPictureView&>(*view).PictureData());
  }
  EXPECT_EQ(built, images);
}

TEST_F(ReportTest, ADestroyedDatasetOrPreviewIsForgotten) {
  auto* records = new TfrUserDataset(nullptr);
  auto* panel = new TfrPreview(nullptr);
  report.SetDataset(records);
  report.SetPreview(panel);
  EXPECT_EQ(report.Dataset(), records);
  EXPECT_EQ(report.Preview(), panel);
  records->Free();
  panel->Free();
  EXPECT_EQ(report.Dataset(), nullptr);
  EXPECT_EQ(report.Preview(), nullptr);
}

TEST_F(ReportTest, ThePreviewOpensOnlyOnBuiltPagesWithItsCaption) {
  // No pages: no window.
  report.BuildAndPreview();
  EXPECT_EQ(report.ComponentCount(), 0);

  MakeList(3);
  report.ModalPreview = false;
  const struct {
    const char* title;
    const char* caption;
  } cases[] = {{"", "Предварительный просмотр"}, {"Протокол", "Предварительный просмотр - Протокол"}};
  for (const auto& c : cases) {
    report.Title = Utf8ToAnsi(c.title);
    report.BuildAndPreview();
    ASSERT_EQ(report.ComponentCount(), 1) << c.title;
    auto* window = dynamic_cast<TfrPreviewForm*>(report.Components(0));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(AnsiToUtf8(window->Caption()), c.caption);
    EXPECT_TRUE(window->Visible());
    // The window took the pages along.
    EXPECT_EQ(report.EMFPages()->Count(), 0);
    EXPECT_GT(window->PageCount(), 0);
    window->Free();
  }
}

}  // namespace report_component_test

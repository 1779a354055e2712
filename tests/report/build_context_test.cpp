// The context a build, print, preview or template read works in: installed
// for the work's lifetime, put back when the work ends (nested work included),
// and never naming a report, page, band or object that has been freed.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "report/FR_DSet.h"
#include "report/fr_band.h"
#include "report/fr_emf.h"
#include "report/fr_page.h"
#include "tests/report/report_support.h"
#include "toolkit/core/classes.h"

namespace build_context_test {

using report_test::AddBand;
using report_test::AddObject;

class BuildContextTest : public ::testing::Test {
 protected:
  BuildContextTest() {
    frGlobals();
    report.SetName("frReport1");
    report.ShowProgress = false;
    other.SetName("frReport2");
    other.ShowProgress = false;
  }

  // A title and `rows` counted records whose row prints [Who].
  void MakeRows(int rows) {
    TfrPage* page = report.Pages().Add();
    AddBand(*page, btReportTitle, 10, 30, "Title");
    AddObject(*page, gtMemo, 20, 10, 300, 30, "TitleMemo", "Title");
    AddBand(*page, btMasterData, 60, 40, "Data", std::to_string(rows).c_str());
    AddObject(*page, gtMemo, 20, 60, 300, 40, "RowMemo", "[Who]");
  }

  std::vector<std::string> RowTexts() {
    std::vector<std::string> texts;
    TfrEMFPages& built = *report.EMFPages();
    for (int i = 0; i < built.Count(); ++i) {
      built.ObjectsToPage(i);
      for (const auto& view : built.Pages(i).Page->Objects) {
        if (view->Memo.Count() == 0) continue;
        std::string text = view->Memo.Strings(0).c_str();
        std::erase(text, kLineEndMark);
        if (text != "Title") texts.push_back(text);
      }
    }
    return texts;
  }

  report_test::ReportWork work;
  TComponent form{nullptr};
  TfrReport report{&form};
  TfrReport other{&form};
};

TEST_F(BuildContextTest, ScopesNestAndPutBackWhatTheyCovered) {
  TfrPage page(kDefaultPaperSize, 0, 0, kPageDefaultBin, 0);
  TfrMemoView view;
  TfrBuildScope outer(&report, report.Host());
  outer.Context().CurPage = &page;
  outer.Context().CurView = &view;
  outer.Context().BuiltPageIndex = 4;
  EXPECT_TRUE(outer.Context().Live());
  // A copy is no context of running work.
  const TfrBuildContext copy = outer.Context();
  EXPECT_FALSE(copy.Live());
  EXPECT_EQ(copy.CurPage, &page);

  struct Case {
    const char* name;
    TfrReport* report;
    TfrBuildScope::Start start;
    TfrReport* expected_report;
    bool keeps_outer;
  };
  const Case cases[] = {
      {"fresh for another report", &other, TfrBuildScope::kFresh, &other, false},
      {"fresh for no report", nullptr, TfrBuildScope::kFresh, nullptr, false},
      {"copy of the running work", nullptr, TfrBuildScope::kCopy, &report, true},
      {"copy for the same report", &report, TfrBuildScope::kCopy, &report, true},
      {"copy for another report", &other, TfrBuildScope::kCopy, &other, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      TfrBuildScope inner(c.report, report.Host(), c.start);
      TfrBuildContext* running = frBuildContext();
      ASSERT_EQ(running, &inner.Context());
      EXPECT_EQ(running->CurReport, c.expected_report);
      EXPECT_EQ(running->ReportOwner, c.expected_report != nullptr ? &form : nullptr);
      EXPECT_EQ(running->CurPage, c.keeps_outer ? &page : nullptr);
      EXPECT_EQ(running->CurView, c.keeps_outer ? &view : nullptr);
      // What the inner work changes is its own.
      running->CurPage = nullptr;
      running->CurView = nullptr;
      running->BuiltPageIndex = 9;
    }
    ASSERT_EQ(frBuildContext(), &outer.Context());
    EXPECT_EQ(frCurrentReport(), &report);
    EXPECT_EQ(frCurrentPage(), &page);
    EXPECT_EQ(frCurrentView(), &view);
    EXPECT_EQ(outer.Context().BuiltPageIndex, 4);
  }
}

TEST_F(BuildContextTest, FreedObjectsLeaveEveryRunningContext) {
  auto page = std::make_unique<TfrPage>(kDefaultPaperSize, 0, 0, kPageDefaultBin, 0);
  auto view = std::make_unique<TfrMemoView>();
  auto band = std::make_unique<TfrBand>(btMasterData, page.get());
  auto kept = std::make_unique<TfrMemoView>();
  TfrBuildScope outer(&report, report.Host());
  TfrBuildContext& first = outer.Context();
  first.CurPage = page.get();
  first.CurBand = band.get();
  first.CurView = view.get();
  first.Target = band.get();
  first.Listeners = {view.get(), kept.get()};
  TfrBuildScope inner(nullptr, TfrBuildScope::kCopy);
  TfrBuildContext& second = inner.Context();
  ASSERT_EQ(second.CurView, view.get());

  view.reset();
  band.reset();
  page.reset();
  for (TfrBuildContext* context : {&first, &second}) {
    EXPECT_EQ(context->CurPage, nullptr);
    EXPECT_EQ(context->CurBand, nullptr);
    EXPECT_EQ(context->CurView, nullptr);
    EXPECT_EQ(context->Target, nullptr);
    EXPECT_EQ(context->Listeners, std::vector<TfrView*>{kept.get()});
    EXPECT_EQ(context->CurReport, &report);
  }
}

TEST_F(BuildContextTest, AFreedReportTakesWhatItReachedWithIt) {
  auto gone = std::make_unique<TfrReport>(&form);
  TfrPage page(kDefaultPaperSize, 0, 0, kPageDefaultBin, 0);
  TfrBuildScope scope(gone.get(), gone->Host());
  scope.Context().CurPage = &page;
  EXPECT_EQ(frReportOwner(), &form);
  gone.reset();
  EXPECT_EQ(frCurrentReport(), nullptr);
  EXPECT_EQ(frReportOwner(), nullptr);
  EXPECT_EQ(frCurrentPage(), nullptr);
}

TEST_F(BuildContextTest, ABuildLeavesNothingOfItselfCurrent) {
  MakeRows(3);
  report.OnGetValue = [](const AnsiString& name, Variant& value) {
    if (name == "Who") value = "A";
  };
  TfrBuildContext* before = frBuildContext();
  ASSERT_TRUE(report.BuildReport());
  EXPECT_EQ(RowTexts(), (std::vector<std::string>{"A", "A", "A"}));
  EXPECT_EQ(frBuildContext(), before);
  EXPECT_EQ(frCurrentReport(), nullptr);
  EXPECT_EQ(frReportOwner(), nullptr);
  EXPECT_EQ(frCurrentPage(), nullptr);
  EXPECT_EQ(frCurrentBand(), nullptr);
  EXPECT_EQ(frCurrentView(), nullptr);
  EXPECT_EQ(frBuildOrNone().BuiltPageIndex, 0);
  EXPECT_TRUE(frBuildOrNone().Listeners.empty());
}

// Work on another report started from an event of a running build (reading
// its template, opening its preview) must not take the build over: the rest
// of the build still resolves its names through its own report.
TEST_F(BuildContextTest, WorkOnAnotherReportInsideABuildLeavesTheBuildItsOwn) {
  struct Case {
    const char* name;
    std::function<void(TfrReport&)> work;
  };
  const Case cases[] = {
      {"template read",
       [](TfrReport& r) {
         TMemoryStream bytes;
         r.SaveTemplate(bytes);
         bytes.SetPosition(0);
         r.LoadTemplate(bytes);
       }},
      {"preview of no pages", [](TfrReport& r) { r.ShowBuiltPages(); }},
  };
  MakeRows(3);
  other.Pages().Add();
  report.OnGetValue = [](const AnsiString& name, Variant& value) {
    if (name == "Who") value = "A";
  };
  other.OnGetValue = [](const AnsiString& name, Variant& value) {
    if (name == "Who") value = "B";
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int done = 0;
    report.OnBeginBand = [&](TfrBand* band) {
      if (band->Type != btReportTitle) return;
      c.work(other);
      ++done;
    };
    ASSERT_TRUE(report.BuildReport());
    EXPECT_EQ(done, 1);
    EXPECT_EQ(RowTexts(), (std::vector<std::string>{"A", "A", "A"}));
  }
}

// A sub-report page played inside its owner's band makes the owner's page
// current again when the play ends; a record source event of the sub-report
// that freed the owner's page leaves no page current instead of a freed one.
TEST_F(BuildContextTest, PlayingASubReportPutsBackTheOwnersPageUnlessItWasFreed) {
  for (const bool frees_owner : {false, true}) {
    SCOPED_TRACE(frees_owner ? "owner freed" : "owner kept");
    auto owner = std::make_unique<TfrPage>(kDefaultPaperSize, 0, 0, kPageDefaultBin, 0);
    TfrPage* const owner_page = owner.get();
    TfrPage sub(kDefaultPaperSize, 0, 0, kPageDefaultBin, 0);
    TfrUserDataset rows(nullptr);
    int events = 0;
    rows.OnFirst = [&](TComponent*) {
      ++events;
      EXPECT_EQ(frCurrentPage(), &sub);
      if (frees_owner) owner.reset();
    };
    TfrBand band(btMasterData, &sub);
    band.Source = &rows;
    sub.Records = {{&band, TfrPage::TfrBandAction::First}, {&band, TfrPage::TfrBandAction::Next}};
    TfrBuildScope scope(&report, report.Host());
    scope.Context().CurPage = owner_page;
    EXPECT_TRUE(sub.PlayRecords());
    EXPECT_EQ(events, 1);
    EXPECT_EQ(sub.PlayPosition, 2u);
    EXPECT_EQ(frCurrentPage(), frees_owner ? nullptr : owner_page);
  }
}

// Keepers put back what they kept in the reverse order of their start, each
// in its own context, and forget what was freed in any running context.
TEST_F(BuildContextTest, KeptPagesAndBandsComeBackUnlessFreed) {
  struct Case {
    const char* name;
    bool free_page, free_band;
  };
  const Case cases[] = {
      {"nothing freed", false, false},
      {"page freed", true, false},
      {"band freed", false, true},
      {"both freed", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto page = std::make_unique<TfrPage>(kDefaultPaperSize, 0, 0, kPageDefaultBin, 0);
    auto band = std::make_unique<TfrBand>(btMasterData, page.get());
    TfrPage* const kept_page = page.get();
    TfrBand* const kept_band = band.get();
    TfrPage other_page(kDefaultPaperSize, 0, 0, kPageDefaultBin, 0);
    TfrBand other_band(btMasterData, &other_page);
    TfrBuildScope outer(&report, report.Host());
    TfrBuildContext& build = outer.Context();
    build.CurPage = kept_page;
    build.CurBand = kept_band;
    {
      const TfrKeepCurrent<TfrPage> page_keeper(build, &TfrBuildContext::CurPage);
      build.CurPage = &other_page;
      {
        const TfrKeepCurrent<TfrBand> band_keeper(build, &TfrBuildContext::CurBand);
        build.CurBand = &other_band;
        // Freed from work in a copied context: the outer one forgets too.
        TfrBuildScope inner(nullptr, TfrBuildScope::kCopy);
        {
          const TfrKeepCurrent<TfrBand> inner_keeper(inner.Context(), &TfrBuildContext::CurBand);
          inner.Context().CurBand = nullptr;
          if (c.free_band) band.reset();
          if (c.free_page) page.reset();
        }
        EXPECT_EQ(inner.Context().CurBand, &other_band);
      }
      EXPECT_EQ(build.CurBand, c.free_band ? nullptr : kept_band);
      EXPECT_EQ(build.CurPage, &other_page);
    }
    EXPECT_EQ(build.CurPage, c.free_page ? nullptr : kept_page);
  }
}

#ifndef NDEBUG
TEST_F(BuildContextTest, AScopeEndingOutOfTurnIsCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto outer = std::make_unique<TfrBuildScope>(&report, report.Host());
        TfrBuildScope inner(nullptr, report.Host());
        outer.reset();
      },
      "");
}
#endif

// Work that reaches for the engine's services with no host around it (none
// running, or a copy of nothing) stops with an exception instead of leaving
// its step out and going on.
TEST(BuildHost, WorkWithoutAHostFailsLoudly) {
  ASSERT_EQ(frBuildContext(), nullptr);
  RegisterStandardViews();
  frGlobals();
  TfrMemoView memo;
  memo.SetBounds(10, 10, 100, 20);
  memo.Memo.Add("[PAGE#]");
  TfrPage page(kDefaultPaperSize, 0, 0, kPageDefaultBin, 0);
  TStringList script;
  script.Add("begin X := 1 end");
  TMemoryStream stream;
  const struct {
    const char* what;
    std::function<void()> work;
  } cases[] = {
      {"a fresh scope without a host", [] { TfrBuildScope scope(nullptr, nullptr, TfrBuildScope::kFresh); }},
      {"printing an object", [&] { memo.PrintToPage(stream); }},
      {"handing an object to an export", [&] { memo.HandToExport(); }},
      {"drawing in a copy of no work",
       [&] {
         TfrBuildScope copy(nullptr, TfrBuildScope::kCopy);
         memo.DrawTo(&frScratchCanvas());
       }},
      {"running a page script", [&] { page.RunScript(script); }},
      {"an aggregate", [] {
         Variant value;
         CallLibraryFunction("SUM", "[P]", "", "", value);
       }},
      {"recording a build error", [] { BuildExpressionErrorText(Exception("bad"), "frReport1"); }},
  };
  for (const auto& c : cases) EXPECT_THROW(c.work(), Exception) << c.what;
  EXPECT_EQ(frBuildContext(), nullptr);
  FreeGlobals();
}

}  // namespace build_context_test

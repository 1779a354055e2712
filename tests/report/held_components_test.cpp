// The report engine's components that hold others they do not own: when the
// held one goes, by whichever way, the holder reads nullptr, lets go of what
// it had from it and keeps working with a new one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <functional>
#include <string>

#include "report/FR_DBSet.h"
#include "report/fr_globals.h"
#include "report/fr_preview.h"
#include "report/fr_report.h"
#include "tests/report/preview_support.h"
#include "tests/support/held.h"
#include "toolkit/db/memdataset.h"

namespace {

using testsupport::Held;
using testsupport::THeldEnd;

// An open one-column table with rows 1..count.
TMemDataSet* Numbers(TComponent* owner, int count) {
  auto* ds = new TMemDataSet(owner);
  ds->FieldDefs().AppendNamedDef("N", ftInteger);
  ds->Activate();
  for (int i = 1; i <= count; ++i) {
    ds->StartAppend();
    ds->FieldNamed("N")->SetIntegerValue(i);
    ds->CommitRecord();
  }
  return ds;
}

// The N of every record the report data set walks.
std::vector<int> Walk(TfrDBDataSet& source) {
  std::vector<int> seen;
  source.Open();
  for (source.First(); !source.Eof(); source.Next()) seen.push_back(source.GetDataSet()->FieldNamed("N")->GetIntegerValue());
  source.Close();
  return seen;
}


const testsupport::THolderCase kHolders[] = {
    {"a report data set's data set",
     [](THeldEnd end) {
       TfrDBDataSet source(nullptr);
       source.SetName("frDBDataSet1");
       Held<TMemDataSet> ds(end, [](TComponent* owner) { return Numbers(owner, 3); });
       source.SetDataSet(ds.get());
       ASSERT_EQ(Walk(source), (std::vector<int>{1, 2, 3}));
       ds.End();
       EXPECT_EQ(source.DataSet(), nullptr);
       EXPECT_THROW(source.Open(), EDSError);
       std::unique_ptr<TMemDataSet> next(Numbers(nullptr, 2));
       source.SetDataSet(next.get());
       EXPECT_EQ(Walk(source), (std::vector<int>{1, 2}));
     }},
    {"a report data set's data source",
     [](THeldEnd end) {
       std::unique_ptr<TMemDataSet> table(Numbers(nullptr, 3));
       TfrDBDataSet source(nullptr);
       source.SetName("frDBDataSet1");
       Held<TDataSource> ds(end, [&](TComponent* owner) {
         auto* s = new TDataSource(owner);
         s->SetDataSet(table.get());
         return s;
       });
       source.SetDataSource(ds.get());
       ASSERT_EQ(Walk(source), (std::vector<int>{1, 2, 3}));
       ds.End();
       EXPECT_EQ(source.DataSource(), nullptr);
       EXPECT_THROW(source.Open(), EDSError);
       TDataSource next(nullptr);
       next.SetDataSet(table.get());
       source.SetDataSource(&next);
       EXPECT_EQ(Walk(source), (std::vector<int>{1, 2, 3}));
     }},
    {"a report's data set",
     [](THeldEnd end) {
       TfrReport report(nullptr);
       report.ShowProgress = false;
       testsupport::ExpectForgottenAndReplaced<TfrReport, TfrDataset>(
           end, report, &TfrReport::Dataset, &TfrReport::SetDataset,
           [](TComponent* owner) { return new TfrDBDataSet(owner); });
       report.Pages().Add();
       EXPECT_TRUE(report.BuildReport());
       EXPECT_EQ(report.EMFPages()->Count(), 1);
     }},
    {"a report's preview panel",
     [](THeldEnd end) {
       TfrReport report(nullptr);
       testsupport::ExpectForgottenAndReplaced<TfrReport, TfrPreview>(
           end, report, &TfrReport::Preview, &TfrReport::SetPreview,
           [](TComponent* owner) { return new TfrPreview(owner); });
     }},
    {"a preview window's report",
     [](THeldEnd end) {
       preview_test::ScopedSettings settings("held_preview");
       frGlobals();
       TfrPreviewForm form(nullptr);
       form.SetWindowState(wsNormal);
       form.SetBounds(0, 0, 900, 700);
       Held<TfrReport> report(end, [](TComponent* owner) {
         auto* r = new TfrReport(owner);
         r->ModalPreview = false;
         preview_test::AddNumberedPages(*r->EMFPages(), 3);
         return r;
       });
       form.ShowPages(report.get());
       QApplication::processEvents();
       ASSERT_EQ(form.PageCount(), 3);
       report.End();
       // The lent pages named the report: they went with it, and the window
       // paints without them.
       EXPECT_EQ(form.EMFPages(), nullptr);
       EXPECT_EQ(form.PageCount(), 0);
       form.PBox->Widget()->grab();
       TfrReport next(nullptr);
       next.ModalPreview = false;
       preview_test::AddNumberedPages(*next.EMFPages(), 2);
       form.ShowPages(&next);
       QApplication::processEvents();
       EXPECT_EQ(form.PageCount(), 2);
       form.PBox->Widget()->grab();
     }},
};

TEST(HeldComponents, TheReportsHoldersForgetWhatGoesAndKeepWorking) {
  testsupport::RunForEveryEnd(kHolders);
}

}  // namespace

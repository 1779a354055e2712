// The in-memory data set's equality filter finds its column again whenever
// the filter or the columns change.
#include <gtest/gtest.h>

#include "tests/toolkit/db/recording.h"

namespace dbtest {
namespace memdataset_filter_test {

void Define(TMemDataSet& ds, bool name_first) {
  ds.FieldDefs().Clear();
  if (name_first) ds.FieldDefs().AppendNamedDef("NAME", ftString, 10);
  ds.FieldDefs().AppendNamedDef("N", ftInteger);
  if (!name_first) ds.FieldDefs().AppendNamedDef("NAME", ftString, 10);
}

std::vector<int> Fill(TMemDataSet& ds) {
  ds.Activate();
  for (int i = 1; i <= 4; ++i) {
    ds.StartAppend();
    ds.FieldNamed("N")->SetIntegerValue(i);
    ds.FieldNamed("NAME")->SetStringValue(i % 2 ? "odd" : "even");
    ds.CommitRecord();
  }
  std::vector<int> out;
  for (ds.GoFirst(); !ds.Eof(); ds.GoNext()) out.push_back(ds.FieldNamed("N")->GetIntegerValue());
  return out;
}

TEST(MemDataSetFilter, FindsItsColumnAfterTheFilterOrTheColumnsChange) {
  TMemDataSet ds{nullptr};
  Define(ds, false);
  ds.SetFilter("name='odd'");  // names compare without case
  ds.SetFiltered(true);
  EXPECT_EQ(Fill(ds), (std::vector<int>{1, 3}));
  ds.SetFilter("N=4");
  std::vector<int> seen;
  for (ds.GoFirst(); !ds.Eof(); ds.GoNext()) seen.push_back(ds.FieldNamed("N")->GetIntegerValue());
  EXPECT_EQ(seen, (std::vector<int>{4}));

  // The same filter over columns in another order.
  ds.Deactivate();
  ds.SetFilter("NAME='even'");
  Define(ds, true);
  EXPECT_EQ(Fill(ds), (std::vector<int>{2, 4}));
  ds.Deactivate();
  Define(ds, false);
  EXPECT_EQ(Fill(ds), (std::vector<int>{2, 4}));
}

}  // namespace memdataset_filter_test
}  // namespace dbtest

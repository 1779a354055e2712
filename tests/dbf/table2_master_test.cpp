// Master-detail: a detail table restricted to the rows whose index key
// equals the master's value, following the master's current record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/dbf/table2_support.h"

namespace table2_master_test {

using namespace table2_support;
using namespace testsupport;

// Masters: N 1..3 with NB_TYPE 0, 1, 2. Details: NB_TYPE as the link key.
const std::vector<Row> kMasters = {{1, 0, 0, 0, "m1"}, {2, 1, 0, 0, "m2"}, {3, 2, 0, 0, "m3"}};
const std::vector<Row> kDetails = {{10, 1, 0, 0, "x"}, {11, 0, 0, 0, "y"}, {12, 1, 0, 0, "z"}, {13, 0, 0, 0, "w"}};

struct Fixture {
  std::unique_ptr<TDbf> master, detail;
  std::unique_ptr<TDataSource> source;
  explicit Fixture(const std::string& dir) {
    master = FilledTable(dir + "/master.db", kMasters);
    detail = FilledTable(dir + "/detail.db", kDetails);
    master->Activate();
    detail->Activate();
    detail->CreateIndexTag("kind", "NB_TYPE", {});
    source = std::make_unique<TDataSource>(nullptr);
    source->SetDataSet(master.get());
  }
  ~Fixture() {
    detail->SetMasterSource(nullptr);
    detail->Deactivate();
    master->Deactivate();
  }
};

TEST(Table2Master, DetailFollowsTheMastersRecord) {
  Fixture f(TempDir("t2master"));
  f.detail->SetMasterSource(f.source.get());
  f.detail->SetMasterFields("NB_TYPE");
  EXPECT_EQ(Ns(*f.detail), (std::vector<int>{10, 11, 12, 13})) << "without an index nothing is restricted";

  f.detail->SetIndexName("kind");
  struct Step {
    int master_n;
    std::vector<int> detail;
  };
  const Step steps[] = {{1, {11, 13}}, {2, {10, 12}}, {3, {}}, {1, {11, 13}}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.master_n);
    ASSERT_TRUE(f.master->FindByValues("N", s.master_n, {}));
    EXPECT_EQ(Ns(*f.detail), s.detail);
  }
  // Clearing the expression lifts the range: all rows in index order.
  f.detail->SetMasterFields("");
  EXPECT_EQ(Ns(*f.detail), (std::vector<int>{11, 13, 10, 12}));
  f.master->GoNext();
  EXPECT_EQ(Ns(*f.detail), (std::vector<int>{11, 13, 10, 12}));
}

TEST(Table2Master, CircularLinkIsRefused) {
  Fixture f(TempDir("t2circ"));
  TDataSource own(nullptr);
  own.SetDataSet(f.detail.get());
  EXPECT_THROW(f.detail->SetMasterSource(&own), EDatabaseError);
  f.detail->SetMasterSource(f.source.get());
  TDataSource back(nullptr);
  back.SetDataSet(f.detail.get());
  EXPECT_THROW(f.master->SetMasterSource(&back), EDatabaseError);
  EXPECT_EQ(f.master->MasterSource(), nullptr);
}

TEST(Table2Master, BadExpressionSurfacesWhenTheLinkActivates) {
  Fixture f(TempDir("t2badmaster"));
  f.detail->SetMasterSource(f.source.get());
  EXPECT_ANY_THROW(f.detail->SetMasterFields("NB_TYPE +"));
  f.detail->SetMasterFields("");
}

}  // namespace table2_master_test

// Index management through the table component, as the main window sorts
// its grids: temporary tags in the production index, index order under the
// record-kind filter, removal of the last tag, reopen with the tags.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/dbf/table2_support.h"
#include "toolkit/core/binary.h"

namespace table2_index_test {

using namespace table2_support;
using namespace testsupport;

uint8_t ProductionFlag(const std::string& file) { return uint8_t(ReadFile(file)[28]); }

struct SortCase {
  const char* filter;
  const char* field;
  TIndexOptions options;
  std::vector<int> order;  // N in index order
};

TEST(Table2Index, SortsAsTheMainWindowDoes) {
  const SortCase cases[] = {
      {"NB_TYPE=1", "P", {}, {3, 1, 6, 4}},
      {"NB_TYPE=1", "P", {ixDescending}, {4, 1, 6, 3}},
      {"NB_TYPE=0", "P", {}, {5, 2, 7}},
      {"NB_TYPE=0", "COMMENT", {}, {2, 5, 7}},
      {"NB_TYPE=1", "COMMENT", {ixDescending}, {6, 3, 1, 4}},
  };
  for (const SortCase& c : cases) {
    SCOPED_TRACE(std::string(c.filter) + " " + c.field);
    const std::string dir = TempDir("t2sort");
    const std::string file = dir + "/job.db", mdx = dir + "/job.mdx";
    auto t = FilledTable(file, kSevenRows);
    t->SetFilter(c.filter);
    t->SetFiltered(true);
    t->Activate();
    const std::vector<int> physical = Ns(*t);

    // Removing a tag that is not there changes nothing.
    t->SetIndexName("");
    t->RemoveIndex("tab1");
    EXPECT_FALSE(Exists(mdx));

    t->CreateIndexTag("tab1", c.field, c.options);
    ASSERT_TRUE(Exists(mdx));
    EXPECT_EQ(t->IndexNames(), std::vector<AnsiString>{"tab1"});
    EXPECT_EQ(Ns(*t), physical) << "creating a tag does not change the order";
    t->SetIndexName("tab1");
    EXPECT_EQ(t->IndexName(), "tab1");
    EXPECT_EQ(t->IndexFieldNames(), UpperCase(c.field));
    EXPECT_EQ(Ns(*t), c.order);
    t->RebuildAllIndexes();
    EXPECT_EQ(Ns(*t), c.order);
    t->Reload();
    EXPECT_EQ(Ns(*t), c.order);
    // A tag name is no index file: releasing it leaves the tag in use.
    t->ReleaseIndexFile("tab1");
    EXPECT_EQ(t->IndexName(), "tab1");
    EXPECT_EQ(Ns(*t), c.order);

    t->SetIndexName("");
    EXPECT_EQ(Ns(*t), physical);
    t->RemoveIndex("tab1");
    EXPECT_FALSE(Exists(mdx)) << "the last tag takes the file with it";
    EXPECT_TRUE(t->IndexNames().empty());
    t->Deactivate();
    EXPECT_EQ(ProductionFlag(file), 0);
  }
}

TEST(Table2Index, TwoTagsLiveSideBySideAndEditsKeepThemInOrder) {
  const std::string dir = TempDir("t2two");
  const std::string file = dir + "/job.db", mdx = dir + "/job.mdx";
  auto t = FilledTable(file, kSevenRows);
  t->SetFilter("NB_TYPE=1");
  t->SetFiltered(true);
  t->Activate();
  t->CreateIndexTag("tab1", "P", {});
  t->CreateIndexTag("tab2", "N", {ixDescending});
  t->SetIndexName("tab1");
  EXPECT_EQ(Ns(*t), (std::vector<int>{3, 1, 6, 4}));
  // Adding a tag while the cursor walks another keeps the cursor on its own.
  t->CreateIndexTag("tab3", "R", {});
  EXPECT_EQ(Ns(*t), (std::vector<int>{3, 1, 6, 4}));
  t->RemoveIndex("tab3");
  EXPECT_EQ(Ns(*t), (std::vector<int>{3, 1, 6, 4}));

  // An appended row and an edited key go to their places in the tag.
  t->StartAppend();
  t->FieldNamed("N")->SetIntegerValue(8);
  t->FieldNamed("NB_TYPE")->SetIntegerValue(1);
  t->FieldNamed("P")->SetFloatValue(0);
  t->CommitRecord();
  EXPECT_EQ(Ns(*t), (std::vector<int>{3, 8, 1, 6, 4}));
  t->GoFirst();
  t->StartEdit();
  t->FieldNamed("P")->SetFloatValue(1000);
  t->CommitRecord();
  EXPECT_EQ(Ns(*t), (std::vector<int>{8, 1, 6, 4, 3}));
  t->SetIndexName("tab2");
  EXPECT_EQ(Ns(*t), (std::vector<int>{8, 6, 4, 3, 1}));

  // Removing the tag in use falls back to physical order.
  t->RemoveIndex("tab2");
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(Ns(*t), (std::vector<int>{1, 3, 4, 6, 8}));
  EXPECT_TRUE(Exists(mdx)) << "tab1 is still in it";
  t->RemoveIndex("tab1");
  EXPECT_FALSE(Exists(mdx));
  t->Deactivate();
}

TEST(Table2Index, ReopenFindsTheTagsAndForgetsAMissingOne) {
  const std::string dir = TempDir("t2reopen");
  const std::string file = dir + "/job.db", mdx = dir + "/job.mdx";
  auto t = FilledTable(file, kSevenRows);
  t->Activate();
  t->CreateIndexTag("tab1", "P", {});
  t->SetIndexName("tab1");
  t->Deactivate();
  EXPECT_EQ(ProductionFlag(file), 1);
  EXPECT_EQ(t->IndexDefs().Count(), 0) << "tags read from the file leave with the close";

  t->Activate();
  ASSERT_EQ(t->IndexDefs().Count(), 1);
  EXPECT_EQ(t->IndexDefs().Items(0)->IndexFile(), "TAB1");
  EXPECT_TRUE(t->IndexDefs().Items(0)->FromFile());
  EXPECT_EQ(t->IndexName(), "tab1");
  EXPECT_EQ(Ns(*t), (std::vector<int>{3, 5, 2, 7, 1, 6, 4}));
  // IndexFieldNames chooses the tag by its expression.
  t->SetIndexFieldNames("p");
  EXPECT_EQ(t->IndexName(), "TAB1");
  t->SetIndexFieldNames("R");
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(Ns(*t), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  t->Deactivate();

  // The application deletes the index file after closing; the next open
  // forgets the link and a stored name of a vanished tag gives physical order.
  ASSERT_EQ(::unlink(mdx.c_str()), 0);
  t->SetIndexName("tab1");
  t->Activate();
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(Ns(*t), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  t->Deactivate();
  EXPECT_EQ(ProductionFlag(file), 0);
}

TEST(Table2Index, IndexOperationsNeedAnOpenTable) {
  const std::string dir = TempDir("t2closed");
  auto t = FilledTable(dir + "/job.db", kSevenRows);
  EXPECT_THROW(t->CreateIndexTag("tab1", "P", {}), EDatabaseError);
  EXPECT_THROW(t->RemoveIndex("tab1"), EDatabaseError);
  EXPECT_THROW(t->ReleaseIndexFile("tab1"), EDatabaseError);
  EXPECT_FALSE(Exists(dir + "/job.mdx"));
}

TEST(Table2Index, ABadKeyExpressionLeavesNoTagBehind) {
  const std::string dir = TempDir("t2bad");
  const std::string file = dir + "/job.db", mdx = dir + "/job.mdx";
  auto t = FilledTable(file, kSevenRows);
  t->Activate();
  EXPECT_NO_THROW(t->CreateIndexTag("tab1", "NO_SUCH_FIELD", {}));
  EXPECT_TRUE(t->IndexNames().empty());
  EXPECT_FALSE(Exists(mdx));
  // With another tag present the file stays and keeps that tag.
  t->CreateIndexTag("tab1", "P", {});
  EXPECT_NO_THROW(t->CreateIndexTag("tab2", "P +", {}));
  EXPECT_EQ(t->IndexNames(), std::vector<AnsiString>{"tab1"});
  t->SetIndexName("tab1");
  EXPECT_EQ(Ns(*t), (std::vector<int>{3, 5, 2, 7, 1, 6, 4}));
  t->Deactivate();
  EXPECT_TRUE(Exists(mdx));
  EXPECT_EQ(ProductionFlag(file), 1);
}

TEST(Table2Index, SeparateIndexFileIsCreatedReleasedAndDeleted) {
  const std::string dir = TempDir("t2ndx");
  const std::string file = dir + "/job.db", ndx = dir + "/byp.ndx";
  auto t = FilledTable(file, kSevenRows);
  t->Activate();
  t->CreateIndexTag("byp.ndx", "P", {});
  ASSERT_TRUE(Exists(ndx));
  t->SetIndexName("byp.ndx");
  EXPECT_EQ(Ns(*t), (std::vector<int>{3, 5, 2, 7, 1, 6, 4}));
  t->ReleaseIndexFile("byp.ndx");
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_TRUE(Exists(ndx)) << "released, not deleted";
  EXPECT_EQ(Ns(*t), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  // Opened again through the definitions and then removed with its file.
  TDbfIndexDef* def = t->IndexDefs().Add();
  def->SetIndexFile("byp.ndx");
  def->SetSortField("p");
  t->Deactivate();
  t->Activate();
  t->SetIndexName("byp.ndx");
  EXPECT_EQ(Ns(*t), (std::vector<int>{3, 5, 2, 7, 1, 6, 4}));
  t->RemoveIndex("byp.ndx");
  EXPECT_FALSE(Exists(ndx));
  EXPECT_EQ(Ns(*t), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  t->Deactivate();
  EXPECT_EQ(ProductionFlag(file), 0) << "a separate index file is no production index";
}

}  // namespace table2_index_test

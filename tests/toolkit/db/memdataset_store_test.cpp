// The in-memory data set keeps its rows in one store: storing thousands of
// rows costs a few allocations of the growing store, not one per row or per
// value, and a filtered walk or count none; the places of removed rows are
// taken by new ones without mixing their values.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/toolkit/db/recording.h"

namespace memdataset_store_test {
std::atomic<long> g_allocations{0};
}  // namespace memdataset_store_test

void* operator new(std::size_t size) {
  ++memdataset_store_test::g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace dbtest {
namespace memdataset_store_test {

using ::memdataset_store_test::g_allocations;

void Define(TMemDataSet& ds) {
  ds.FieldDefs().AppendNamedDef("NAME", ftString, 100);
  ds.FieldDefs().AppendNamedDef("N", ftInteger);
  ds.FieldDefs().AppendNamedDef("V", ftFloat);
}

TEST(MemDataSetStore, RowsAreStoredAndWalkedWithoutAnAllocationEach) {
  TMemDataSet ds{nullptr};
  Define(ds);
  ds.Activate();
  TField* name = ds.FieldNamed("NAME");
  TField* n = ds.FieldNamed("N");
  TField* v = ds.FieldNamed("V");
  // What the text field itself allocates to take its value is not the data set's.
  long in_text_field = 0;
  const AnsiString text(90, 'x');
  auto append = [&](int i) {
    ds.StartAppend();
    const long before = g_allocations.load();
    name->SetStringValue(text);
    in_text_field += g_allocations.load() - before;
    n->SetIntegerValue(i % 3);
    v->SetFloatValue(i * 0.5);
    ds.CommitRecord();
  };
  append(0);
  constexpr int kRows = 4000;
  in_text_field = 0;
  const long before = g_allocations.load();
  for (int i = 1; i < kRows; ++i) append(i);
  EXPECT_LT(g_allocations.load() - before - in_text_field, 100);

  ds.SetFilter("N=1");
  ds.SetFiltered(true);
  const long walk = g_allocations.load();
  int seen = 0;
  double sum = 0;
  for (ds.GoFirst(); !ds.Eof(); ds.GoNext()) {
    ++seen;
    sum += v->GetFloatValue();
  }
  const int counted = ds.CursorRecordCount();
  EXPECT_EQ(g_allocations.load() - walk, 0);
  int expected_rows = 0;
  double expected_sum = 0;
  for (int i = 1; i < kRows; i += 3) {
    ++expected_rows;
    expected_sum += i * 0.5;
  }
  EXPECT_EQ(seen, expected_rows);
  EXPECT_EQ(counted, expected_rows);
  EXPECT_EQ(sum, expected_sum);
}

TEST(MemDataSetStore, NewRowsTakeThePlacesOfRemovedOnes) {
  TMemDataSet ds{nullptr};
  Define(ds);
  ds.Activate();
  auto append = [&](const char* name, int n) {
    ds.StartAppend();
    ds.FieldNamed("NAME")->SetStringValue(name);
    if (n >= 0) ds.FieldNamed("N")->SetIntegerValue(n);
    ds.CommitRecord();
  };
  append("ann", 1);
  append("bob", 2);
  append("cat", 3);
  ds.GoFirst();
  ds.GoNext();
  ds.DeleteCurrent();  // bob
  append("dan", -1);   // N stays null in bob's old place
  append("eve", 5);
  // Closed and opened again, the rows are kept.
  ds.Deactivate();
  ds.Activate();
  std::vector<std::string> rows;
  for (ds.GoFirst(); !ds.Eof(); ds.GoNext()) {
    TField* n = ds.FieldNamed("N");
    rows.push_back(ds.FieldNamed("NAME")->GetStringValue() + ":" +
                   (n->HoldsNull() ? std::string("null") : std::to_string(n->GetIntegerValue())));
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"ann:1", "cat:3", "dan:null", "eve:5"}));
  EXPECT_EQ(ds.StoredRowCount(), 4);
}

}  // namespace memdataset_store_test
}  // namespace dbtest

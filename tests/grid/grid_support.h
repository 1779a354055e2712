// Helpers of the grid component's tests: the application object, an
// in-memory data set of numbered rows, and a grid on it whose window and
// bands are read back.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/rs.h"
#include "toolkit/db/memdataset.h"
#include "toolkit/ui/forms.h"

namespace grid_support {

// A grid whose scroll, paint and focus handlers the tests call as the
// window system would.
class TestGrid : public TDBGridPro {
 public:
  using TDBGridPro::TDBGridPro;
  using TDBGridPro::DoEnter;
  using TDBGridPro::DoExit;
  using TDBGridPro::WMHScroll;
  using TDBGridPro::WMVScroll;
};

// Rows N = 1..count with P = 10 x N.
inline void AddRows(TMemDataSet& ds, int from, int to) {
  for (int n = from; n <= to; ++n) {
    ds.StartAppend();
    ds.FieldNamed("N")->SetIntegerValue(n);
    ds.FieldNamed("P")->SetIntegerValue(10 * n);
    ds.CommitRecord();
  }
}

// A grid with one column per field on an open in-memory data set.
struct MemGrid {
  explicit MemGrid(int rows, int width = 300, int height = 200) {
    ds.FieldDefs().AppendNamedDef("N", ftInteger);
    ds.FieldDefs().AppendNamedDef("P", ftInteger);
    ds.Activate();
    AddRows(ds, 1, rows);
    ds.GoFirst();
    source.SetDataSet(&ds);
    grid = std::make_unique<TestGrid>(nullptr);
    grid->SetBounds(0, 0, width, height);
    for (const char* name : {"N", "P"}) {
      TgpColumn* column = grid->Columns()->Add();
      column->SetFieldName(name);
      column->SetWidth(60);
    }
    grid->SetDataSource(&source);
  }
  ~MemGrid() {
    grid.reset();
    source.SetDataSet(nullptr);
  }
  int N() { return ds.FieldNamed("N")->GetIntegerValue(); }
  // N of the record on the grid's first row.
  int FirstShown() { return ds.GetSequenceNo() - grid->ActiveRow(); }
  // The N values of the grid's rows, read through its data link.
  std::vector<int> Shown() {
    std::vector<int> out;
    if (!grid->HasRows() || !grid->LinkActive() || ds.HasNoRecords()) return out;
    TDataLink* link = grid->DataLink();
    const int saved = link->QueryActiveRow();
    for (int r = 0; r < grid->RowCount(); ++r) {
      link->ChangeActiveRow(r);
      out.push_back(N());
    }
    link->ChangeActiveRow(saved);
    return out;
  }

  TMemDataSet ds{nullptr};
  TDataSource source{nullptr};
  std::unique_ptr<TestGrid> grid;
};

// Client height that holds the titles and exactly rows rows.
inline int HeightFor(const TDBGridPro& grid, int rows) {
  return grid.TitleBand() + rows * grid.RowHeight() + 2 * grid.FrameInset();
}

}  // namespace grid_support

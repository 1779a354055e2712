// The data grid over a measurement table file of 100,000 rows, offscreen:
// a full repaint of a 1920x1080 grid, a one-row scroll (with the repaint it
// asks for), going to the last of 100,000 filtered rows, an incremental
// search that compares every row, and Shift+Ctrl+End selecting 50,000 rows.
// Milliseconds per operation.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/measure.h"
#include "dbf/dbf.h"
#include "grid/rs.h"
#include "grid/rs_std.h"
#include "toolkit/sys/files.h"
#include "toolkit/ui/forms.h"

namespace {

constexpr int kRows = 100000;

class BenchGrid : public TDBGridPro {
 public:
  using TDBGridPro::TDBGridPro;
  using TDBGridPro::WMVScroll;
  using TDBGridPro::KeyDown;
};

// The table file, the grid on it and the lite designer the application's grids use.
struct Fixture {
  std::string folder;
  TDbf table{nullptr};
  TDataSource source{nullptr};
  TLiteDesigner designer{nullptr};
  std::unique_ptr<BenchGrid> grid;

  Fixture() {
    char pattern[] = "/tmp/bench_grid.XXXXXX";
    const char* made = mkdtemp(pattern);
    folder = made ? made : "/tmp";
    table.SetFilePath(folder);
    table.SetTableName("m.db");
    // As the application opens its tables: no record locks between reads.
    table.SetExclusive(true);
    DefineMeasurementFields(table.FieldDefs());
    table.CreateTableFile();
    table.Activate();
    for (int i = 0; i < kRows; ++i) {
      table.StartAppend();
      table.FieldNamed("N")->SetIntegerValue(i + 1);
      table.FieldNamed("DATE")->SetStringValue("01.02.2024");
      table.FieldNamed("TIME")->SetStringValue("10:11:12");
      table.FieldNamed("P")->SetFloatValue((i % 1000) * 0.125);
      table.FieldNamed("R")->SetFloatValue((i % 777) * 0.5);
      table.FieldNamed("ZAV")->SetStringValue("Plant " + std::to_string(i % 50));
      table.FieldNamed("A1")->SetFloatValue(i % 10);
      table.CommitRecord();
    }
    table.GoFirst();
    source.SetDataSet(&table);
    designer.SetSelectedRowFill(true);
    grid = std::make_unique<BenchGrid>(nullptr);
    grid->SetDesigner(&designer);
    for (int f = 0; f < table.QueryFieldCount(); ++f) grid->Columns()->Add()->SetFieldName(table.Fields(f)->FieldName());
    grid->SetDataSource(&source);
    grid->SetBounds(0, 0, 1920, 1080);
    grid->Widget()->show();
    Application->ProcessMessages();
  }
  ~Fixture() {
    grid.reset();
    source.SetDataSet(nullptr);
    table.Deactivate();
    DeleteFile(folder + "/m.db");
    rmdir(folder.c_str());
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_FullRepaint(benchmark::State& state) {
  Fixture& f = Shared();
  f.table.GoFirst();
  for (auto _ : state) benchmark::DoNotOptimize(f.grid->Widget()->grab());
  state.counters["rows"] = f.grid->RowCount();
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond);

void BM_OneRowScroll(benchmark::State& state) {
  Fixture& f = Shared();
  f.table.GoFirst();
  Application->ProcessMessages();
  int scrolled = 0;
  for (auto _ : state) {
    if (++scrolled > kRows - 2 * f.grid->RowCount()) {
      state.PauseTiming();
      f.table.GoFirst();
      Application->ProcessMessages();
      scrolled = 0;
      state.ResumeTiming();
    }
    f.grid->WMVScroll(SB_LINEDOWN, 0);
    f.grid->Update();
    Application->ProcessMessages();
  }
}
BENCHMARK(BM_OneRowScroll)->Unit(benchmark::kMillisecond);

void BM_LastFilteredRow(benchmark::State& state) {
  Fixture& f = Shared();
  // Every row passes, so the filter is evaluated over all 100,000.
  f.table.SetFilter("N>0");
  f.table.SetFiltered(true);
  for (auto _ : state) {
    state.PauseTiming();
    f.table.GoFirst();
    Application->ProcessMessages();
    state.ResumeTiming();
    f.table.GoLast();
    f.grid->Update();
    Application->ProcessMessages();
  }
  if (f.table.FieldNamed("N")->GetIntegerValue() != kRows) state.SkipWithError("not on the last row");
  f.table.SetFiltered(false);
}
BENCHMARK(BM_LastFilteredRow)->Unit(benchmark::kMillisecond);

// Incremental search for the text of the last record's N from the first
// record: every row's search text is compared.
void BM_IncrementalSearch(benchmark::State& state) {
  Fixture& f = Shared();
  f.grid->SelectColumn(f.grid->Columns()->ColumnByFieldName("N"));
  TgpAutoSearchParams& search = *f.grid->ParamsAutoSearch();
  search.SetEnabled(true);
  search.SetEnablePrompt(false);
  const AnsiString text = std::to_string(kRows);
  for (auto _ : state) {
    state.PauseTiming();
    search.Stop();
    f.table.GoFirst();
    search.Start(0);
    Application->ProcessMessages();
    state.ResumeTiming();
    if (!search.Search(text, true, false, false, true)) state.SkipWithError("not found");
  }
  if (f.table.FieldNamed("N")->GetIntegerValue() != kRows) state.SkipWithError("not on the last row");
  search.Stop();
  search.SetEnabled(false);
}
BENCHMARK(BM_IncrementalSearch)->Unit(benchmark::kMillisecond);

// Shift+Ctrl+End from the middle: the last 50,000 rows become selected.
void BM_SelectToTheEnd(benchmark::State& state) {
  Fixture& f = Shared();
  f.grid->SetMultiSelect(true);
  for (auto _ : state) {
    state.PauseTiming();
    f.grid->Selection()->Clear(false, false);
    f.table.GoFirst();
    f.table.Skip(kRows - 50000);
    Application->ProcessMessages();
    state.ResumeTiming();
    uint16_t key = VK_END;
    f.grid->KeyDown(key, TShiftState{ssShift, ssCtrl});
  }
  if (f.grid->Selection()->ExplicitCount() != 50000) state.SkipWithError("not 50,000 selected");
  f.grid->Selection()->Clear(false, false);
  f.grid->SetMultiSelect(false);
}
BENCHMARK(BM_SelectToTheEnd)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application->Initialize();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

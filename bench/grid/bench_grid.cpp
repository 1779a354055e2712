// The data grid over a measurement table file of 100,000 rows, offscreen:
// a full repaint of a 1920x1080 grid, a one-row scroll (with the repaint it
// asks for), going to the last of 100,000 filtered rows, an incremental
// search that compares every row. Shift+Ctrl+End over tables of 100,000 and
// 1,000,000 rows and the key that clears the selection after it.
// And the main window's press grid over 20,000 rows: one Down key (the move,
// the footers the selection change refills and the repaint), in physical
// order and sorted by P through a click on its title; the sorted move is to
// cost no more than twice the unsorted one. Milliseconds per operation.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "app/main.h"
#include "bench/common/gui_main.h"
#include "bench/common/measurement_table.h"
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

// A table file of rows rows in a folder of its own and a grid on it, shown
// offscreen once the caller has set the grid up; both go with the folder.
struct GridOnTable {
  std::string folder;
  const std::string file;
  const int rows;
  TDbf table{nullptr};
  TDataSource source{nullptr};
  std::unique_ptr<BenchGrid> grid;

  GridOnTable(const char* file_name, int count, const std::function<void(TFieldDefs&)>& define,
              const std::function<void(TDbf&, int)>& fill)
      : file(file_name), rows(count) {
    char pattern[] = "/tmp/bench_grid.XXXXXX";
    const char* made = mkdtemp(pattern);
    folder = made ? made : "/tmp";
    table.SetFilePath(folder);
    table.SetTableName(file);
    // As the application opens its tables: no record locks between reads.
    table.SetExclusive(true);
    define(table.FieldDefs());
    table.CreateTableFile();
    table.Activate();
    bench::AppendRows(table, rows, fill);
    table.GoFirst();
    source.SetDataSet(&table);
    grid = std::make_unique<BenchGrid>(nullptr);
  }
  ~GridOnTable() {
    grid.reset();
    source.SetDataSet(nullptr);
    table.Deactivate();
    DeleteFile(folder + "/" + file);
    rmdir(folder.c_str());
  }
  void Show(int width, int height) {
    grid->SetDataSource(&source);
    grid->SetBounds(0, 0, width, height);
    grid->Widget()->show();
    Application->ProcessMessages();
  }
};

// The measurement table and the lite designer the application's grids use.
struct Fixture : GridOnTable {
  TLiteDesigner designer{nullptr};

  Fixture()
      : GridOnTable("m.db", kRows, DefineMeasurementFields, [](TDbf& table, int i) {
          table.FieldNamed("N")->SetIntegerValue(i + 1);
          table.FieldNamed("DATE")->SetStringValue("01.02.2024");
          table.FieldNamed("TIME")->SetStringValue("10:11:12");
          table.FieldNamed("P")->SetFloatValue((i % 1000) * 0.125);
          table.FieldNamed("R")->SetFloatValue((i % 777) * 0.5);
          table.FieldNamed("ZAV")->SetStringValue("Plant " + std::to_string(i % 50));
          table.FieldNamed("A1")->SetFloatValue(i % 10);
        }) {
    designer.SetSelectedRowFill(true);
    grid->SetDesigner(&designer);
    for (int f = 0; f < table.QueryFieldCount(); ++f) grid->Columns()->Add()->SetFieldName(table.Fields(f)->FieldName());
    Show(1920, 1080);
  }
  // The grid goes before the designer it paints with.
  ~Fixture() { grid.reset(); }
};

// The tables live until main frees them, while the application object still
// stands: freed in static destruction, their grids would outlive it.
std::unique_ptr<Fixture> shared_fixture;

Fixture& Shared() {
  if (!shared_fixture) shared_fixture = std::make_unique<Fixture>();
  return *shared_fixture;
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

// Shift+Ctrl+End from the first row of a table of N rows, and the plain key
// after it that clears the selection, at two sizes: each is to stay under a
// second at 1,000,000 rows and to grow at most 11 times from 100,000 rows.
// The grid keeps P and R in its snapshots, as the application's grids do.
struct SelectionFixture : GridOnTable {
  explicit SelectionFixture(int count)
      : GridOnTable(
            "s.db", count,
            [](TFieldDefs& defs) {
              defs.AppendNamedDef("N", ftInteger);
              defs.AppendNamedDef("P", ftFloat);
              defs.AppendNamedDef("R", ftFloat);
            },
            [](TDbf& table, int i) {
              table.FieldNamed("N")->SetIntegerValue(i + 1);
              table.FieldNamed("P")->SetFloatValue((i % 1000) * 0.125);
              table.FieldNamed("R")->SetFloatValue((i % 777) * 0.5);
            }) {
    for (const char* name : {"N", "P", "R"}) grid->Columns()->Add()->SetFieldName(name);
    grid->SetBookmarkFields("P;R");
    grid->SetMultiSelect(true);
    Show(800, 600);
  }
  void Key(uint16_t key, TShiftState shift) {
    grid->KeyDown(key, shift);
    Application->ProcessMessages();
  }
  void SelectToTheEnd() {
    table.GoFirst();
    Application->ProcessMessages();
    Key(VK_END, TShiftState{ssShift, ssCtrl});
  }
};

// One table at a time: the last size asked for.
std::unique_ptr<SelectionFixture> selection_fixture;

SelectionFixture& SelectionTable(int rows) {
  if (!selection_fixture || selection_fixture->rows != rows) {
    selection_fixture.reset();
    selection_fixture = std::make_unique<SelectionFixture>(rows);
  }
  return *selection_fixture;
}

// Seconds per operation of each benchmark at each size, so that the larger
// size can report how many times the smaller one it costs ("growth").
double Growth(const char* name, int rows, double seconds) {
  static std::map<std::pair<std::string, int>, double> measured;
  measured[{name, rows}] = seconds;
  const auto smaller = measured.find({name, rows / 10});
  return smaller != measured.end() && smaller->second > 0 ? seconds / smaller->second : 0;
}

// Times op alone per iteration; before runs untimed first. The first
// iteration is also reported alone ("first_ms"): it pays for every page the
// selection touches first in the process, as the user's first try does.
template <class Before, class Op>
void TimeSelection(benchmark::State& state, const char* name, SelectionFixture& f, Before before, Op op) {
  double seconds = 0;
  double first = -1;
  for (auto _ : state) {
    state.PauseTiming();
    before();
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    op();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (first < 0) first = took;
    seconds += took;
  }
  state.counters["rows"] = f.rows;
  state.counters["first_ms"] = first * 1000;
  const double growth = Growth(name, f.rows, seconds / static_cast<double>(state.iterations()));
  if (growth > 0) state.counters["growth"] = growth;
}

void BM_SelectToTheEnd(benchmark::State& state) {
  SelectionFixture& f = SelectionTable(static_cast<int>(state.range(0)));
  TimeSelection(
      state, "select", f, [&] { f.Key(VK_UP, TShiftState()); }, [&] { f.SelectToTheEnd(); });
  if (f.grid->Selection()->ExplicitCount() != f.rows) state.SkipWithError("not every row selected");
}
BENCHMARK(BM_SelectToTheEnd)->Arg(100000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_ClearAfterSelectToTheEnd(benchmark::State& state) {
  SelectionFixture& f = SelectionTable(static_cast<int>(state.range(0)));
  TimeSelection(
      state, "clear", f,
      [&] {
        f.SelectToTheEnd();
        if (f.grid->Selection()->ExplicitCount() != f.rows) state.SkipWithError("not every row selected");
      },
      [&] { f.Key(VK_UP, TShiftState()); });
  if (f.grid->Selection()->ExplicitCount() != 0) state.SkipWithError("the selection stayed");
}
BENCHMARK(BM_ClearAfterSelectToTheEnd)->Arg(100000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);

// ---- The main window's press grid ----------------------------------------------------------

constexpr int kPressRows = 20000;

namespace fs = std::filesystem;

// The main window over a table of kPressRows press rows.
struct Window {
  fs::path dir;
  std::unique_ptr<TForm1> form;

  Window() {
    char pattern[] = "/tmp/bench_press_grid.XXXXXX";
    const char* made = mkdtemp(pattern);
    dir = made ? made : "/tmp";
    setenv("KIV7_SETTINGS", (dir / "kiv7.ini").c_str(), 1);
    const fs::path file = dir / "press.db";
    bench::WriteMeasurementTable(file, kPressRows, [](TDbf& table, int i) {
      table.FieldNamed("N")->SetIntegerValue(i + 1);
      table.FieldNamed("DATE")->SetStringValue("01.02.2024");
      table.FieldNamed("TIME")->SetStringValue("10:11:12");
      table.FieldNamed("NB_TYPE")->SetIntegerValue(kPressKind);
      // P in an order unlike N's, so the sorted walk jumps about the file.
      table.FieldNamed("P")->SetFloatValue((i * 7919 % kPressRows) * 0.01);
      table.FieldNamed("R")->SetFloatValue(i % 777 * 0.5);
    });
    form = std::make_unique<TForm1>(nullptr);
    form->AfterConstruction();
    form->SetWindowState(wsNormal);
    form->SetBounds(0, 0, 1280, 800);
    form->Show();
    form->Open_DB(file.string());
    form->DBGridPro1->SetFocus();
    Application->ProcessMessages();
  }
  ~Window() {
    form->Close_DB();
    form.reset();
    fs::remove_all(dir);
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* w = form->DBGridPro1->Widget();
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QCoreApplication::sendEvent(w, &release);
    Application->ProcessMessages();
  }
  void ClickTitle(const char* field) {
    QWidget* w = form->DBGridPro1->Widget();
    const TRect r = form->DBGridPro1->Columns()->ColumnByFieldName(field)->TitleRect(false);
    const QPointF at((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    for (auto [type, button, held] : {std::tuple{QEvent::MouseMove, Qt::NoButton, Qt::MouseButtons()},
                                      std::tuple{QEvent::MouseButtonPress, Qt::LeftButton, Qt::MouseButtons(Qt::LeftButton)},
                                      std::tuple{QEvent::MouseButtonRelease, Qt::LeftButton, Qt::MouseButtons()}}) {
      QMouseEvent e(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
      QCoreApplication::sendEvent(w, &e);
    }
    Application->ProcessMessages();
  }
};

Window& SharedWindow() {
  static Window window;
  return window;
}

// Arg 0: physical order; arg 1: sorted by P.
void BM_PressGridDown(benchmark::State& state) {
  Window& w = SharedWindow();
  const bool sorted = state.range(0) == 1;
  if (sorted) w.ClickTitle("P");
  w.Key(Qt::Key_Home, Qt::ControlModifier);
  int moved = 0;
  for (auto _ : state) {
    if (++moved > 2000) {
      state.PauseTiming();
      w.Key(Qt::Key_Home, Qt::ControlModifier);
      moved = 1;
      state.ResumeTiming();
    }
    w.Key(Qt::Key_Down);
  }
  if (sorted) w.form->N33Click(w.form->N33);  // "Убрать сортировку"
  if (w.form->Dbf1->IndexName() != "") state.SkipWithError("the sort stayed");
}
BENCHMARK(BM_PressGridDown)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunGuiBenchmarks(argc, argv, [] {
    selection_fixture.reset();
    shared_fixture.reset();
  });
}

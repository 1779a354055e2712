// Speed of the spreadsheet writer on a workbook the size of a 10,000-row
// acoustic export (30,000 sheet rows, 80,000 merged ranges, 120,000 texts),
// beside python3-xlwt writing the same cells (xlwt_peer.py). The peer's time
// includes starting the interpreter; the ratio printed at the end is the
// peer's time over ours.
//
// BM_ExportProcesses sets whole processes side by side in this run: this
// program started again with --export-acoustic FILE (a process that builds
// the workbook and saves it) and the peer, each a child process timed around
// it, alternately, a new process every time and no file left from the run
// before; medians of wall and processor time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/common/child_timing.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/heap.h"
#include "xls/vteWriters.h"

namespace {

constexpr int kTableRows = 10000;

std::string Fmt(const char* format, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

// The same cells as xlwt_peer.py.
void BuildAcousticSheet(TvteXLSWorkbook& book) {
  TvteXLSWorksheet* sheet = book.AddSheet();
  sheet->SetName(Utf8ToAnsi("ЛИВТ-КС7"));
  auto put = [&](int l, int t, int r, int b, const Variant& v) {
    TvteXLSRange* range = sheet->GetRange(l, t, r, b);
    range->SetValue(v);
    range->SetHorizontalAlignment(vtexlHAlignCenter);
    range->SetVerticalAlignment(vtexlVAlignCenter);
  };
  const char* heads[] = {"N", "Дата", "Время", "Ао, дБ", nullptr, nullptr, "dH, мм", "Ку, дБ", "Ку асв, дБ", "Примечание"};
  for (int c = 0; c < 10; ++c)
    if (heads[c]) put(c, 0, c, 2, Variant(Utf8ToAnsi(heads[c])));
  for (int r = 0; r < 3; ++r) {
    put(4, r, 4, r, Variant(Utf8ToAnsi("Асв" + std::to_string(r + 1) + ", дБ")));
    put(5, r, 5, r, Variant(Utf8ToAnsi("Ао-Асв" + std::to_string(r + 1) + ", дБ")));
  }
  char buf[64];
  for (int j = 0; j < kTableRows; ++j) {
    const int top = 3 * j + 3;
    put(0, top, 0, top + 2, Variant(j + 1));
    std::snprintf(buf, sizeof buf, "%02d.%02d.2024", j % 28 + 1, j % 12 + 1);
    put(1, top, 1, top + 2, Variant(buf));
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", j % 24, j % 60, j % 60);
    put(2, top, 2, top + 2, Variant(buf));
    put(3, top, 3, top + 2, Variant(Fmt("%4.1f", j % 100 + 0.5)));
    for (int k = 0; k < 3; ++k) {
      put(4, top + k, 4, top + k, Variant(Fmt("%4.1f", j % 50 + k)));
      put(5, top + k, 5, top + k, Variant(Fmt("%4.1f", j % 40 + k)));
    }
    put(6, top, 6, top + 2, Variant((j % 30) / 4.0));
    put(7, top, 7, top + 2, Variant(Fmt("%4.0f", j % 90)));
    put(8, top, 8, top + 2, Variant(Fmt("%4.0f", j % 70)));
    put(9, top, 9, top + 2, Variant(Utf8ToAnsi("замер " + std::to_string(j))));
  }
}

// A full sheet: `rows` rows of 20 one-cell ranges, numbers in the even
// columns and texts in the odd ones, filled row by row as an export does.
void BuildFullSheet(TvteXLSWorkbook& book, int rows) {
  TvteXLSWorksheet* sheet = book.AddSheet();
  sheet->SetName("Full");
  char buf[32];
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < 20; c += 2) {
      sheet->GetRange(c, r, c, r)->SetValue(Variant(r * 20.0 + c + 0.5));
      std::snprintf(buf, sizeof buf, "%d-%d", r, c + 1);
      sheet->GetRange(c + 1, r, c + 1, r)->SetValue(Variant(buf));
    }
  }
}

std::string TempPath(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

double g_ours_seconds = 0;
double g_peer_seconds = 0;
double g_ours_bytes = 0;
double g_peer_bytes = 0;

void BM_AcousticExport(benchmark::State& state) {
  const std::string path = TempPath("kiv7-bench-ours.xls");
  int64_t bytes = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    TvteXLSWorkbook book;
    BuildAcousticSheet(book);
    TvteExcelWriter writer;
    writer.Save(book, path);
    g_ours_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bytes = static_cast<int64_t>(std::filesystem::file_size(path));
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  g_ours_bytes = static_cast<double>(bytes);
  std::filesystem::remove(path);
}
BENCHMARK(BM_AcousticExport)->Unit(benchmark::kMillisecond)->Iterations(3);

// The model alone, to tell building from writing.
void BM_AcousticModel(benchmark::State& state) {
  for (auto _ : state) {
    TvteXLSWorkbook book;
    BuildAcousticSheet(book);
    benchmark::DoNotOptimize(book.GetSheet(0)->GetRangeCount());
  }
}
BENCHMARK(BM_AcousticModel)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_XlwtPeer(benchmark::State& state) {
  const std::string path = TempPath("kiv7-bench-xlwt.xls");
  const std::string command = std::string("/usr/bin/python3 ") + KIV7_BENCH_XLS_DIR + "/xlwt_peer.py " + path + " " +
                              std::to_string(kTableRows);
  long bytes = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    FILE* p = ::popen(command.c_str(), "r");
    if (!p || std::fscanf(p, "%ld", &bytes) != 1) {
      if (p) ::pclose(p);
      state.SkipWithError("python3-xlwt peer failed");
      return;
    }
    ::pclose(p);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    g_peer_seconds = seconds;
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  g_peer_bytes = static_cast<double>(bytes);
  std::filesystem::remove(path);
}
BENCHMARK(BM_XlwtPeer)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// Three runs of each side in turn, each writing its workbook anew.
bench::SideBySide AlternateExports(const std::string& ours, const std::string& ours_path, const std::string& peer,
                                   const std::string& peer_path) {
  return bench::Alternate(ours, peer, 3,
                          [&](int side) { std::filesystem::remove(side == 0 ? ours_path : peer_path); });
}

void BM_ExportProcesses(benchmark::State& state) {
  const std::string ours_path = TempPath("kiv7-bench-ours-process.xls");
  const std::string peer_path = TempPath("kiv7-bench-xlwt-process.xls");
  const std::string ours = "/proc/" + std::to_string(::getpid()) + "/exe --export-acoustic " + ours_path;
  const std::string peer = std::string("/usr/bin/python3 ") + KIV7_BENCH_XLS_DIR + "/xlwt_peer.py " + peer_path +
                           " " + std::to_string(kTableRows) + " > /dev/null";
  for (auto _ : state) {
    const bench::SideBySide r = AlternateExports(ours, ours_path, peer, peer_path);
    if (!r.failed.empty()) return state.SkipWithError(("failed: " + r.failed).c_str());
    const double o = bench::Median(r.wall[0]), p = bench::Median(r.wall[1]);
    state.SetIterationTime(o);
    state.counters["ours_s"] = o;
    state.counters["peer_s"] = p;
    state.counters["ratio"] = p / o;
    state.counters["cpu_ratio"] = bench::Median(r.cpu[1]) / bench::Median(r.cpu[0]);
  }
  std::filesystem::remove(ours_path);
  std::filesystem::remove(peer_path);
}
BENCHMARK(BM_ExportProcesses)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// A full sheet as whole processes: this program with --export-full ROWS FILE
// and the peer writing the same cells, alternately, medians of wall and
// processor time and of the peak resident memory. Arguments: the rows.
void BM_FullSheetProcesses(benchmark::State& state) {
  const std::string rows = std::to_string(state.range(0));
  const std::string ours_path = TempPath("kiv7-bench-full-ours.xls");
  const std::string peer_path = TempPath("kiv7-bench-full-xlwt.xls");
  const std::string ours = "/proc/" + std::to_string(::getpid()) + "/exe --export-full " + rows + " " + ours_path;
  const std::string peer = std::string("/usr/bin/python3 ") + KIV7_BENCH_XLS_DIR + "/xlwt_peer.py " + peer_path + " " +
                           rows + " full > /dev/null";
  for (auto _ : state) {
    const bench::SideBySide r = AlternateExports(ours, ours_path, peer, peer_path);
    if (!r.failed.empty()) return state.SkipWithError(("failed: " + r.failed).c_str());
    const auto& cpu = r.cpu;
    const auto& peak = r.peak;
    const double o = bench::Median(r.wall[0]), p = bench::Median(r.wall[1]);
    state.SetIterationTime(o);
    state.counters["ours_s"] = o;
    state.counters["peer_s"] = p;
    state.counters["time_vs_peer"] = o / p;
    state.counters["cpu_vs_peer"] = bench::Median(cpu[0]) / bench::Median(cpu[1]);
    state.counters["ours_MB"] = bench::Median(peak[0]) / 1e6;
    state.counters["peer_MB"] = bench::Median(peak[1]) / 1e6;
    state.counters["memory_vs_peer"] = bench::Median(peak[0]) / bench::Median(peak[1]);
  }
  std::filesystem::remove(ours_path);
  std::filesystem::remove(peer_path);
}
BENCHMARK(BM_FullSheetProcesses)->Arg(10000)->Arg(65000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The full sheet in this process, built and saved: the model and the writer
// without a process's start, for the cost per cell at two sizes.
void BM_FullSheet(benchmark::State& state) {
  const std::string path = TempPath("kiv7-bench-full.xls");
  for (auto _ : state) {
    TvteXLSWorkbook book;
    BuildFullSheet(book, static_cast<int>(state.range(0)));
    TvteExcelWriter writer;
    writer.Save(book, path);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 20);
  std::filesystem::remove(path);
}
BENCHMARK(BM_FullSheet)->Arg(10000)->Arg(65000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--export-full") {
    PreferHugePagesForHeap(size_t{256} << 20);
    TvteXLSWorkbook book;
    BuildFullSheet(book, std::atoi(argv[2]));
    TvteExcelWriter writer;
    writer.Save(book, argv[3]);
    return std::filesystem::exists(argv[3]) ? 0 : 1;
  }
  // The export as a process of its own, for BM_ExportProcesses.
  if (argc == 3 && std::string(argv[1]) == "--export-acoustic") {
    // As xls_demo does for a run of its own.
    PreferHugePagesForHeap(size_t{256} << 20);
    TvteXLSWorkbook book;
    BuildAcousticSheet(book);
    TvteExcelWriter writer;
    writer.Save(book, argv[2]);
    return std::filesystem::exists(argv[2]) ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_ours_seconds > 0 && g_peer_seconds > 0)
    std::printf("xlwt peer / ours (seconds): %.2f / %.3f = %.1fx\n", g_peer_seconds, g_ours_seconds,
                g_peer_seconds / g_ours_seconds);
  if (g_ours_bytes > 0 && g_peer_bytes > 0)
    std::printf("ours / xlwt peer (bytes): %.0f / %.0f = %.2fx\n", g_ours_bytes, g_peer_bytes,
                g_ours_bytes / g_peer_bytes);
  return 0;
}

// Building and printing the list template of 10,000 records to a PDF file,
// beside python3-reportlab writing the same cells (reportlab_peer.py). Each
// side is a whole process timed around it. Reported: the medians of wall
// and processor time, the file's bytes, and on the program's side the ratio
// of its processor time and its bytes to the peer's of the same run. Aim:
// at most 0.7 of the peer's time and 1.5 of its bytes, the text still
// selectable (pdftotext reads every row).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/common/child_timing.h"
#include "list_report.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 3;

const fs::path& Dir() {
  static const fs::path dir = bench::FreshDir("kiv7-bench-report-print");
  return dir;
}

struct Side {
  bench::Times median;
  double bytes = 0;
};

Side Run(const std::string& command, const fs::path& out) {
  std::vector<double> wall, cpu;
  for (int run = 0; run < kRuns; ++run) {
    fs::remove(out);
    const bench::Times t = bench::Timed(command);
    if (t.wall < 0) return {};
    wall.push_back(t.wall);
    cpu.push_back(t.cpu);
  }
  return {{bench::Median(wall), bench::Median(cpu)}, fs::exists(out) ? double(fs::file_size(out)) : 0};
}

// Every row's comment, read back from the PDF by an independent reader.
bool EveryRowReadable(const fs::path& pdf) {
  const std::string command = "pdftotext -enc UTF-8 '" + pdf.string() + "' - 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  std::string text;
  char buffer[65536];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  pclose(pipe);
  for (int row = 1; row <= bench::kRows; ++row)
    if (text.find("образец " + std::to_string(row) + "\n") == std::string::npos) return false;
  return true;
}

void BM_PrintListBesideReportlab(benchmark::State& state) {
  const fs::path ours = Dir() / "ours.pdf", peer = Dir() / "reportlab.pdf";
  for (auto _ : state) {
    const Side program = Run("'" KIV7_PRINT_LIST "' '" + ours.string() + "' > /dev/null", ours);
    const Side other = Run("/usr/bin/python3 '" KIV7_REPORTLAB_PEER "' '" + peer.string() + "' " +
                               std::to_string(bench::kRows) + " > /dev/null",
                           peer);
    if (program.median.wall < 0 || other.median.wall < 0) return state.SkipWithError("a side failed");
    state.SetIterationTime(program.median.wall);
    state.counters["cpu_s"] = program.median.cpu;
    state.counters["peer_cpu_s"] = other.median.cpu;
    state.counters["cpu_ratio"] = program.median.cpu / other.median.cpu;
    state.counters["wall_ratio"] = program.median.wall / other.median.wall;
    state.counters["bytes"] = program.bytes;
    state.counters["peer_bytes"] = other.bytes;
    state.counters["bytes_ratio"] = program.bytes / other.bytes;
    state.counters["every_row_read"] = EveryRowReadable(ours);
  }
}
BENCHMARK(BM_PrintListBesideReportlab)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

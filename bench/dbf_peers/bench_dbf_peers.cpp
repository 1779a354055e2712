// dbftool beside the programs it is measured against, whole processes timed
// in one run: each side is started as a child process and timed around it,
// alternately, and the medians are compared.
//
//  - DumpFilter: `dbftool dump T --filter 'NB_TYPE=1'` of a 100,000-row
//    measurement table beside python3-dbfread reading and filtering the same
//    file, and `dd bs=408` over it (one read per record, the machine's limit).
//  - Append: `dbftool append` of 100,000 measurement rows from a CSV file
//    (the table opened shared, as the tool always opens it) beside
//    python3-dbf appending the same rows to a table it makes.
//  - SortTag: `dbftool index T create` of a tag on N and on DATE, and the
//    engine's CreateIndexTag alone, in this process.
//
// "Cold": before every timed run the files it reads are evicted from the
// page cache (bench/common/child_timing.h says how far that goes), and every
// run is a new process.
//
// Counters: ours_s and peer_s (medians of wall time), ratio = peer / ours,
// cpu_ratio the same of the processor time the two used (steadier on a
// loaded machine), and for the dump dd_s and ours_over_dd. The goals are
// printed after the table.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/common/child_timing.h"
#include "dbf/dbf.h"

namespace {

constexpr int kRows = 100000;
constexpr int kRuns = 3;
// The goals, printed beside the ratios they judge.
constexpr double kDumpGoalRatio = 8, kDumpGoalOverDd = 0.9, kAppendGoalRatio = 10;

const std::string& Folder() {
  static const std::string path = [] {
    char pattern[] = "/tmp/bench_dbf_peers.XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return std::string(made ? made : "/tmp");
  }();
  return path;
}

struct Cleanup {
  ~Cleanup() {
    std::error_code ignored;
    if (Folder() != "/tmp") std::filesystem::remove_all(Folder(), ignored);
  }
} g_cleanup;

using bench::Alternate;
using bench::Evict;
using bench::Median;
using bench::SideBySide;
using bench::Timed;
using bench::Times;

std::string Tool() { return KIV7_DBFTOOL; }
std::string Python(const char* script) { return std::string("/usr/bin/python3 ") + KIV7_BENCH_PEERS_DIR "/" + script; }

// 100,000 measurement rows as UTF-8 CSV, the same every run.
const std::string& RowsCsv() {
  static const std::string file = [] {
    const std::string name = Folder() + "/rows.csv";
    std::ofstream out(name);
    out << "N,DATE,TIME,DEV_TYPE,SERIAL,NB_TYPE,P,R,ZAV,TYPE,COMMENT,H,T,K,A1,A2,A3,D1,D2,D3\n";
    uint32_t seed = 7;
    const auto next = [&](uint32_t n) {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 8) % n;
    };
    char line[512];
    for (int i = 0; i < kRows; ++i) {
      int at = std::snprintf(line, sizeof line, "%u,%02u.%02u.%04u,%02u:%02u:%02u,%d,%d,%d", next(100000) + 1,
                             next(28) + 1, next(12) + 1, 2000 + next(25), next(24), next(60), next(60), i % 3,
                             1000 + i % 7, i % 2);
      for (int k = 0; k < 2; ++k) at += std::snprintf(line + at, sizeof line - at, ",%u.%03u", next(100), next(1000));
      at += std::snprintf(line + at, sizeof line - at, ",Бетонный завод №%d,B%d,замер %d", i % 5, i % 40, i);
      for (int k = 0; k < 9; ++k) at += std::snprintf(line + at, sizeof line - at, ",%u.%03u", next(100), next(1000));
      out << line << '\n';
    }
    return name;
  }();
  return file;
}

// The measurement table of those rows, made by dbftool.
const std::string& Table() {
  static const std::string file = [] {
    const std::string name = Folder() + "/m.db";
    if (Timed(Tool() + " create-measurement " + name + " && " + Tool() + " append " + name + " < " + RowsCsv() +
              " > /dev/null")
            .wall < 0)
      return std::string();
    return name;
  }();
  return file;
}

// Times ours and the peer alternately, each cold; false when one failed.
bool Compare(benchmark::State& state, const std::function<void()>& prepare, const std::string& ours,
             const std::string& peer, const std::vector<std::string>& inputs) {
  const SideBySide r = Alternate(ours, peer, kRuns, [&](int) {
    if (prepare) prepare();
    for (const std::string& f : inputs) Evict(f);
  });
  if (!r.failed.empty()) {
    state.SkipWithError(("failed: " + r.failed).c_str());
    return false;
  }
  const auto& cpu = r.cpu;
  const double o = Median(r.wall[0]), p = Median(r.wall[1]);
  state.SetIterationTime(o);
  state.counters["ours_s"] = o;
  state.counters["peer_s"] = p;
  state.counters["ratio"] = p / o;
  state.counters["cpu_ratio"] = Median(cpu[1]) / Median(cpu[0]);
  return true;
}

void BM_DumpFilter(benchmark::State& state) {
  const std::string& table = Table();
  if (table.empty()) return state.SkipWithError("the measurement table could not be made");
  for (auto _ : state) {
    if (!Compare(state, nullptr, Tool() + " dump " + table + " --filter 'NB_TYPE=1' > /dev/null",
                 Python("dbfread_filter_peer.py") + " " + table + " > /dev/null", {table}))
      return;
    std::vector<double> dd;
    for (int run = 0; run < kRuns; ++run) {
      Evict(table);
      dd.push_back(Timed("dd if=" + table + " of=/dev/null bs=408 2> /dev/null").wall);
    }
    state.counters["dd_s"] = Median(dd);
    state.counters["ours_over_dd"] = state.counters["ours_s"] / Median(dd);
    state.counters["goal_ours_over_dd_at_most"] = kDumpGoalOverDd;
  }
}
BENCHMARK(BM_DumpFilter)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_Append(benchmark::State& state) {
  const std::string ours = Folder() + "/append.db", peer = Folder() + "/peer.db";
  const auto fresh = [&] {
    std::error_code ignored;
    std::filesystem::remove(ours, ignored);
    std::filesystem::remove(peer + ".dbf", ignored);
    Timed(Tool() + " create-measurement " + ours);
  };
  for (auto _ : state) {
    if (!Compare(state, fresh, Tool() + " append " + ours + " < " + RowsCsv() + " > /dev/null",
                 Python("dbf_append_peer.py") + " " + peer + " " + RowsCsv() + " > /dev/null", {RowsCsv(), ours}))
      return;
    state.counters["goal_ratio_at_least"] = kAppendGoalRatio;
  }
}
BENCHMARK(BM_Append)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// A tag on the field named by the argument, on a fresh copy of the table:
// the whole dbftool process, and the engine's CreateIndexTag alone.
void BM_SortTag(benchmark::State& state, const char* field) {
  const std::string& table = Table();
  if (table.empty()) return state.SkipWithError("the measurement table could not be made");
  const std::string copy = Folder() + "/tag.db", mdx = Folder() + "/tag.mdx";
  const auto fresh = [&] {
    std::error_code ignored;
    std::filesystem::remove(mdx, ignored);
    std::filesystem::copy_file(table, copy, std::filesystem::copy_options::overwrite_existing, ignored);
    Evict(copy);
  };
  for (auto _ : state) {
    std::vector<double> process, process_cpu, engine;
    for (int run = 0; run < kRuns; ++run) {
      fresh();
      const Times t = Timed(Tool() + " index " + copy + " create TAG1 " + field + " > /dev/null");
      if (t.wall < 0) return state.SkipWithError("dbftool index create failed");
      process.push_back(t.wall);
      process_cpu.push_back(t.cpu);
      fresh();
      TDbf dbf(nullptr);
      dbf.SetExclusive(true);
      dbf.SetTableName(copy);
      dbf.Activate();
      const auto start = std::chrono::steady_clock::now();
      dbf.CreateIndexTag("TAG1", field, {});
      engine.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      dbf.Deactivate();
    }
    state.SetIterationTime(Median(process));
    state.counters["process_s"] = Median(process);
    state.counters["process_cpu_s"] = Median(process_cpu);
    state.counters["engine_s"] = Median(engine);
  }
}
BENCHMARK_CAPTURE(BM_SortTag, N, "N")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK_CAPTURE(BM_SortTag, DATE, "DATE")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf(
      "goals: DumpFilter ratio >= %g and ours_over_dd <= %g; Append (shared, as dbftool append opens the table) "
      "ratio >= %g; SortTag/N under 0.2 s, SortTag/DATE under 1 s\n",
      kDumpGoalRatio, kDumpGoalOverDd, kAppendGoalRatio);
  return 0;
}

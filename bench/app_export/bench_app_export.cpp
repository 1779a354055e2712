// The main window's "Экспорт в Excel" and "Печать" of 10,000 acoustic rows,
// in seconds, beside python3-xlwt writing the same cells (bench/xls's
// xlwt_peer.py). Each side is a whole process timed around it (kiv7_drive
// running the window offscreen; the interpreter with xlwt); the time of the
// drive opening the table and closing again is measured on its own, so the
// export and the print can be told from the program's start.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/measure.h"
#include "bench/common/child_timing.h"
#include "bench/common/measurement_table.h"
#include "dbf/dbf.h"
#include "toolkit/core/text.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 10000;
constexpr int kRuns = 3;

const fs::path& Dir() {
  static const fs::path dir = bench::FreshDir("kiv7-bench-app-export");
  return dir;
}

// The table of kRows acoustic rows, made once.
std::string Table() {
  static const std::string path = [] {
    const fs::path file = Dir() / "acoustic.db";
    char text[32];
    bench::WriteMeasurementTable(file, kRows, [&text](TDbf& table, int j) {
      table.FieldNamed("N")->SetIntegerValue(j + 1);
      std::snprintf(text, sizeof text, "%02d.%02d.2024", j % 28 + 1, j % 12 + 1);
      table.FieldNamed("DATE")->SetStringValue(text);
      std::snprintf(text, sizeof text, "%02d:%02d:%02d", j % 24, j % 60, j % 60);
      table.FieldNamed("TIME")->SetStringValue(text);
      table.FieldNamed("SERIAL")->SetIntegerValue(4321);
      table.FieldNamed("NB_TYPE")->SetIntegerValue(kAcousticKind);
      table.FieldNamed("R")->SetFloatValue(j % 100 + 0.5);
      for (int k = 0; k < 3; ++k) {
        table.FieldNamed(("A" + std::to_string(k + 1)).c_str())->SetFloatValue(j % 50 + k);
        table.FieldNamed(("D" + std::to_string(k + 1)).c_str())->SetFloatValue(j % 40 + k);
      }
      table.FieldNamed("H")->SetFloatValue((j % 30) / 4.0);
      table.FieldNamed("P")->SetFloatValue(j % 90);
      table.FieldNamed("K")->SetFloatValue(j % 70);
      table.FieldNamed("COMMENT")->SetStringValue(Utf8ToAnsi("замер " + std::to_string(j)));
    });
    return file.string();
  }();
  return path;
}

// kiv7_drive over the table with the commands after opening it.
std::string DriveCommand(const std::string& commands) {
  const fs::path script = Dir() / "script.txt";
  std::ofstream(script) << "open-file " << Table() << "\nmenu Открыть\n" << commands << "menu Закрыть\n";
  return "cd '" + Dir().string() + "' && QT_QPA_PLATFORM=offscreen '" KIV7_DRIVE "' --settings '" +
         (Dir() / "kiv7.ini").string() + "' < '" + script.string() + "' > /dev/null 2>&1";
}

// Times the command kRuns times, each after `before`; medians in the counters.
void TimeProcesses(benchmark::State& state, const std::string& command, const std::function<void()>& before) {
  for (auto _ : state) {
    std::vector<double> wall, cpu;
    for (int run = 0; run < kRuns; ++run) {
      before();
      const bench::Times t = bench::Timed(command);
      if (t.wall < 0) return state.SkipWithError(("failed: " + command).c_str());
      wall.push_back(t.wall);
      cpu.push_back(t.cpu);
    }
    state.SetIterationTime(bench::Median(wall));
    state.counters["wall_s"] = bench::Median(wall);
    state.counters["cpu_s"] = bench::Median(cpu);
  }
}

void BM_OpenAndClose(benchmark::State& state) { TimeProcesses(state, DriveCommand(""), [] {}); }
BENCHMARK(BM_OpenAndClose)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ExportAcoustic(benchmark::State& state) {
  const fs::path xls = Dir() / "ours.xls";
  TimeProcesses(state, DriveCommand("save-as " + xls.string() + "\nmenu Экспорт в Excel\n"), [&] {
    fs::remove(xls);
  });
  state.counters["bytes"] = fs::exists(xls) ? double(fs::file_size(xls)) : 0;
}
BENCHMARK(BM_ExportAcoustic)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_PrintAcousticToPdf(benchmark::State& state) {
  const fs::path pdf = Dir() / "protocol.pdf";
  TimeProcesses(state, DriveCommand("print-to " + pdf.string() + "\nmenu Печать\n"), [&] { fs::remove(pdf); });
  state.counters["bytes"] = fs::exists(pdf) ? double(fs::file_size(pdf)) : 0;
}
BENCHMARK(BM_PrintAcousticToPdf)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_XlwtPeer(benchmark::State& state) {
  const fs::path xls = Dir() / "xlwt.xls";
  TimeProcesses(state,
                "/usr/bin/python3 '" KIV7_XLWT_PEER "' '" + xls.string() + "' " + std::to_string(kRows) +
                    " > /dev/null",
                [&] { fs::remove(xls); });
  state.counters["bytes"] = fs::exists(xls) ? double(fs::file_size(xls)) : 0;
}
BENCHMARK(BM_XlwtPeer)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

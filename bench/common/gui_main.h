// The main of a benchmark program over the GUI library: the offscreen screen
// and the application object, then the benchmarks the command line selects.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <functional>

#include "toolkit/ui/forms.h"

namespace bench {

// `before_shutdown` frees what the benchmarks kept between runs (shared
// fixtures) while the GUI library is still there.
inline int RunGuiBenchmarks(int argc, char** argv, const std::function<void()>& before_shutdown = {}) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application->Initialize();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  if (before_shutdown) before_shutdown();
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench

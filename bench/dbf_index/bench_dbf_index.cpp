// Index tags on a 100-character field: a tag built from a table of 100,000
// and of 1,000,000 rows (rows per second, bytes of the tag file per key and
// over the keys' own bytes, the most heap a build holds at once and the
// process's peak memory), the build from sorted
// keys against filling a tag one key at a time in record order (both in the
// same run, as a ratio), and lookups of a key on the tag of 1,000,000 rows.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_idxfile.h"
#include "toolkit/sys/files.h"

// The heap this program holds, counted through the allocation operators,
// and the most it held since the mark was last set.
namespace {
std::atomic<int64_t> heap_bytes{0};
std::atomic<int64_t> heap_peak{0};

void* CountedAlloc(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  const int64_t now = heap_bytes += int64_t(malloc_usable_size(p));
  int64_t peak = heap_peak.load();
  while (now > peak && !heap_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}

void CountedFree(void* p) {
  if (p == nullptr) return;
  heap_bytes -= int64_t(malloc_usable_size(p));
  std::free(p);
}
}  // namespace

void* operator new(size_t size) { return CountedAlloc(size); }
void* operator new[](size_t size) { return CountedAlloc(size); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }

namespace {

constexpr int kKeyLength = 100;

// A folder of this run's files, removed with them at exit.
struct Folder {
  std::string path;
  std::vector<std::string> files;
  Folder() {
    char pattern[] = "/tmp/bench_dbf_index.XXXXXX";
    const char* made = mkdtemp(pattern);
    path = made ? made : "";
  }
  ~Folder() {
    for (const std::string& name : files) DeleteFile(name);
    if (!path.empty()) rmdir(path.c_str());
  }
};

Folder& TempFolder() {
  static Folder folder;
  return folder;
}

// The text of row n: distinct for every row, in no order the rows have.
std::string KeyText(int64_t n) {
  const uint64_t scrambled = (uint64_t(n) * 0x9E3779B97F4A7C15ull) >> 20;
  char head[64];
  std::snprintf(head, sizeof head, "%013llx %09lld ", static_cast<unsigned long long>(scrambled),
                static_cast<long long>(n));
  std::string text(head);
  text.resize(kKeyLength, char('a' + n % 26));
  return text;
}

// A table of one C(100) field with the rows' texts, made once per size.
std::string Table(int64_t rows) {
  static std::map<int64_t, std::string> made;
  if (auto found = made.find(rows); found != made.end()) return found->second;
  const std::string file = TempFolder().path + "/t" + std::to_string(rows) + ".dbf";
  TempFolder().files.push_back(file);
  TDbfFieldDefs defs;
  defs.SetDbfVersion(kDbfVersionDBase4);
  defs.AddFieldDef()->SetFromDescriptor("NAME", 'C', kKeyLength, 0);
  TDbfFile table;
  table.SetFileName(file);
  table.SetMode(pmExclusiveCreate);
  table.SetDbfVersion(kDbfVersionDBase4);
  table.OpenAndReadHeader();
  table.WriteNewHeader(defs, 512);
  std::vector<uint8_t> record(size_t(table.RecordSize()), ' ');
  for (int64_t n = 1; n <= rows; ++n) {
    const std::string text = KeyText(n);
    std::memcpy(record.data() + 1, text.data(), text.size());
    table.AppendRecord(record.data());
  }
  table.StoreHeader();
  table.CloseAll();
  made[rows] = file;
  return file;
}

std::unique_ptr<TDbfFile> OpenTable(const std::string& file) {
  auto table = std::make_unique<TDbfFile>();
  table->SetFileName(file);
  table->SetMode(pmExclusiveOpen);
  table->OpenAndReadHeader();
  return table;
}

int64_t FileSizeOf(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? int64_t(st.st_size) : 0;
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

// Makes the tag of the table's NAME field in a new .mdx file: built from
// the sorted keys, or one_by_one: a tag that holds a key already is not
// built but takes every record's key by itself, in record order, as keys of
// appended records are kept.
void MakeTag(const std::string& table_file, const std::string& mdx, bool one_by_one) {
  auto table = OpenTable(table_file);
  TIndexFile index(table.get());
  index.SetFileName(mdx);
  index.SetMode(pmExclusiveCreate);
  index.OpenIndexFile();
  index.CreateTag("NAME", "NAME", {});
  if (one_by_one) {
    std::vector<uint8_t> record(size_t(table->RecordSize()));
    table->ReadRecordAt(1, record.data());
    index.InsertRecordKey(1, record.data());
  }
  index.AddRecordsFromTable();
  index.CloseIndexFile();
}

void BuildTag(const std::string& table_file, const std::string& mdx) { MakeTag(table_file, mdx, false); }
void InsertTagKeys(const std::string& table_file, const std::string& mdx) { MakeTag(table_file, mdx, true); }

double SecondsOf(void (*build)(const std::string&, const std::string&), const std::string& table,
                 const std::string& mdx) {
  DeleteFile(mdx);
  const auto start = std::chrono::steady_clock::now();
  build(table, mdx);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Both builds on the same table in every iteration; the time reported is
// the sorted build's, and the counter tells how many times faster it is.
void BM_BuildTagOverOneByOne(benchmark::State& state) {
  const int64_t rows = state.range(0);
  const std::string table = Table(rows);
  const std::string mdx = TempFolder().path + "/ratio" + std::to_string(rows) + ".mdx";
  TempFolder().files.push_back(mdx);
  double sorted = 0, one_by_one = 0;
  for (auto _ : state) {
    const double s = SecondsOf(BuildTag, table, mdx);
    one_by_one += SecondsOf(InsertTagKeys, table, mdx);
    sorted += s;
    state.SetIterationTime(s);
  }
  state.counters["one_by_one_rows_per_s"] = double(rows) * double(state.iterations()) / one_by_one;
  state.counters["rows_per_s"] = double(rows) * double(state.iterations()) / sorted;
  state.counters["times_faster"] = one_by_one / sorted;
}
BENCHMARK(BM_BuildTagOverOneByOne)->Arg(100000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_BuildTag(benchmark::State& state) {
  const int64_t rows = state.range(0);
  const std::string table = Table(rows);
  const std::string mdx = TempFolder().path + "/build" + std::to_string(rows) + ".mdx";
  TempFolder().files.push_back(mdx);
  int64_t most = 0;
  for (auto _ : state) {
    state.PauseTiming();
    DeleteFile(mdx);
    const int64_t before = heap_bytes.load();
    heap_peak = before;
    state.ResumeTiming();
    BuildTag(table, mdx);
    most = std::max(most, heap_peak.load() - before);
  }
  const double size = double(FileSizeOf(mdx));
  state.counters["rows_per_s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["file_bytes_per_key"] = size / double(rows);
  state.counters["file_over_keys"] = size / double(rows * kKeyLength);
  state.counters["peak_mb"] = PeakMegabytes();
  // What the build itself holds, against the memory the node cache may take.
  state.counters["build_heap_mb"] = double(most) / double(1 << 20);
  state.counters["cap_mb"] = double(TIndexFile::kBuildMemoryBytes) / double(1 << 20);
}
// The peak is the process's: run each size alone (--benchmark_filter) to read it.
BENCHMARK(BM_BuildTag)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildTag)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_LookupKey(benchmark::State& state) {
  const int64_t rows = state.range(0);
  const std::string table_file = Table(rows);
  const std::string mdx = TempFolder().path + "/lookup" + std::to_string(rows) + ".mdx";
  if (!FileExists(mdx)) {
    TempFolder().files.push_back(mdx);
    BuildTag(table_file, mdx);
  }
  auto table = OpenTable(table_file);
  TIndexFile index(table.get());
  index.SetFileName(mdx);
  index.SetMode(pmExclusiveOpen);
  index.OpenIndexFile();
  index.SelectTag(AnsiString("NAME"));
  uint64_t seed = 7;
  int64_t found = 0;
  for (auto _ : state) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const int64_t n = 1 + int64_t((seed >> 33) % uint64_t(rows));
    const std::string key = KeyText(n);
    if (index.SearchKey(reinterpret_cast<const uint8_t*>(key.data()), stEqual) && index.CurrentRecNo() == n) ++found;
  }
  if (found != int64_t(state.iterations())) state.SkipWithError("a key was not found");
  index.CloseIndexFile();
}
BENCHMARK(BM_LookupKey)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace

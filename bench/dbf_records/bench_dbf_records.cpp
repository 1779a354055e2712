// Rows appended per second and rows scanned per second (every field decoded)
// on a measurement table of 100,000 rows in a file. The scan's peer is
// python3-dbfread reading the same file with every field decoded; the scan
// reports its rate and ours over it as "peer_rows_per_s" and "ratio".
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/measure.h"
#include "dbf/dbf_dbffile.h"
#include "toolkit/sys/files.h"

namespace {

constexpr int kRows = 100000;

// A folder of this run's files, removed with them at exit.
struct Folder {
  std::string path;
  Folder() {
    char pattern[] = "/tmp/bench_dbf_records.XXXXXX";
    const char* made = mkdtemp(pattern);
    path = made ? made : "";
  }
  ~Folder() {
    for (const char* name : {"/append.db", "/scan.db", "/peer.py"}) DeleteFile(path + name);
    if (!path.empty()) rmdir(path.c_str());
  }
};

const std::string& TempFolder() {
  static Folder folder;
  return folder.path;
}

// Creates an empty measurement table and opens it exclusively.
std::unique_ptr<TDbfFile> NewMeasurementTable(const std::string& file) {
  TDbfFieldDefs defs;
  defs.SetDbfVersion(kDbfVersionDBase4);
  defs.SetUseFloatFields(false);
  for (const TMeasurementField& f : TMeasurementRow::Fields)
    defs.AddFieldDef()->SetFromDescriptor(std::string(f.Name), f.NativeType, f.Width, f.Decimals);
  {
    TDbfFile create;
    create.SetFileName(file);
    create.SetMode(pmExclusiveCreate);
    create.SetDbfVersion(kDbfVersionDBase4);
    create.SetUseFloatFields(false);
    create.OpenAndReadHeader();
    create.WriteNewHeader(defs, 512);
    create.CloseAll();
  }
  auto table = std::make_unique<TDbfFile>();
  table->SetFileName(file);
  table->SetMode(pmExclusiveOpen);
  table->SetUseFloatFields(false);
  table->OpenAndReadHeader();
  return table;
}

// Encodes row i as the application writes a press or acoustic row.
void EncodeRow(const TDbfFile& table, int i, uint8_t* record) {
  table.InitRecord(record);
  const TDbfFieldDefs& defs = table.FieldDefs();
  char date[] = "01.02.2024", time[] = "10:11:12";
  const char* zav = "Бетонный завод";
  const char* type = "B25";
  for (int f = 0; f < defs.Count(); ++f) {
    const TDbfFieldDef& def = *defs.Items(f);
    switch (def.FieldType()) {
      case ftInteger: {
        const int32_t v = i + 1;
        table.EncodeField(def, ftInteger, record, &v);
        break;
      }
      case ftSmallint: {
        const int16_t v = int16_t(i % 2);
        table.EncodeField(def, ftSmallint, record, &v);
        break;
      }
      case ftFloat: {
        const double v = (i % 1000) * 0.125 + f;
        table.EncodeField(def, ftFloat, record, &v);
        break;
      }
      default: {
        const char* text = def.FieldName() == "DATE"   ? date
                           : def.FieldName() == "TIME" ? time
                           : def.FieldName() == "ZAV"  ? zav
                                                       : type;
        table.EncodeField(def, ftString, record, text);
      }
    }
  }
}

void BM_AppendRows(benchmark::State& state) {
  const std::string file = TempFolder() + "/append.db";
  for (auto _ : state) {
    state.PauseTiming();
    auto table = NewMeasurementTable(file);
    std::vector<uint8_t> record(size_t(table->RecordSize()));
    state.ResumeTiming();
    for (int i = 0; i < kRows; ++i) {
      EncodeRow(*table, i, record.data());
      table->AppendRecord(record.data());
    }
    table->StoreHeader();
    table->CloseAll();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_AppendRows)->Unit(benchmark::kMillisecond);

// The file the scans read, written once.
const std::string& ScanFile() {
  static const std::string file = [] {
    const std::string name = TempFolder() + "/scan.db";
    auto table = NewMeasurementTable(name);
    std::vector<uint8_t> record(size_t(table->RecordSize()));
    for (int i = 0; i < kRows; ++i) {
      EncodeRow(*table, i, record.data());
      table->AppendRecord(record.data());
    }
    table->StoreHeader();
    table->CloseAll();
    return name;
  }();
  return file;
}

// Rows per second of python3-dbfread decoding every field of the file; 0
// when the peer could not run.
double PeerRowsPerSecond(const std::string& file) {
  const std::string script = TempFolder() + "/peer.py";
  FILE* f = std::fopen(script.c_str(), "w");
  if (!f) return 0;
  std::fprintf(f,
               "import sys, time, dbfread\n"
               "best = None\n"
               "for _ in range(3):\n"
               "    t = time.perf_counter()\n"
               "    n = sum(1 for r in dbfread.DBF(sys.argv[1], encoding='cp1251'))\n"
               "    d = time.perf_counter() - t\n"
               "    best = d if best is None or d < best else best\n"
               "print(n / best)\n");
  std::fclose(f);
  FILE* p = popen(("/usr/bin/python3 " + script + " " + file).c_str(), "r");
  if (!p) return 0;
  double rate = 0;
  if (std::fscanf(p, "%lf", &rate) != 1) rate = 0;
  pclose(p);
  return rate;
}

void BM_ScanRows(benchmark::State& state) {
  const std::string& file = ScanFile();
  TDbfFile table;
  table.SetFileName(file);
  table.SetMode(pmReadOnly);
  table.SetUseFloatFields(false);
  table.OpenAndReadHeader();
  const TDbfFieldDefs& defs = table.FieldDefs();
  std::vector<uint8_t> record(size_t(table.RecordSize()));
  char value[256];
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    int64_t rows = 0;
    const int64_t count = table.RecordCount();
    for (int64_t n = 1; n <= count; ++n) {
      if (table.ReadRecordAt(n, record.data()) != table.RecordSize()) break;
      for (int f = 0; f < defs.Count(); ++f)
        table.DecodeField(*defs.Items(f), defs.Items(f)->FieldType(), value, record.data());
      benchmark::DoNotOptimize(value);
      ++rows;
    }
    if (rows != kRows) state.SkipWithError("the scan did not see every row");
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.SetItemsProcessed(state.iterations() * kRows);
  const double peer = PeerRowsPerSecond(file);
  if (peer > 0 && seconds > 0) {
    state.counters["peer_rows_per_s"] = peer;
    state.counters["ratio"] = double(kRows) * double(state.iterations()) / seconds / peer;
  }
}
BENCHMARK(BM_ScanRows)->Unit(benchmark::kMillisecond);

}  // namespace

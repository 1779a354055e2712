// Records filtered per second by "NB_TYPE=1" (the acoustic tab's filter) over
// 100,000 records of the measurement table, held in memory so that only the
// expression's work is measured.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_parser.h"

namespace {

constexpr int kRows = 100000;

struct FieldSpec {
  const char* name;
  char letter;
  int size;
  int decimals;
};

// The measurement row as created: 408 bytes with the deletion flag.
const FieldSpec kMeasurementFields[] = {
    {"N", 'N', 9, 0},      {"DATE", 'C', 10, 0}, {"TIME", 'C', 8, 0},   {"DEV_TYPE", 'N', 4, 0},
    {"SERIAL", 'N', 9, 0}, {"NB_TYPE", 'N', 4, 0}, {"P", 'N', 18, 9},   {"R", 'N', 18, 9},
    {"ZAV", 'C', 50, 0},   {"TYPE", 'C', 15, 0}, {"COMMENT", 'C', 100, 0}, {"H", 'N', 18, 9},
    {"T", 'N', 18, 9},     {"K", 'N', 18, 9},    {"A1", 'N', 18, 9},    {"A2", 'N', 18, 9},
    {"A3", 'N', 18, 9},    {"D1", 'N', 18, 9},   {"D2", 'N', 18, 9},    {"D3", 'N', 18, 9},
};

struct MeasurementTable {
  TDbfFile file;
  std::vector<char> records;
  int record_size = 1;

  MeasurementTable() {
    TDbfFieldDefs& defs = file.FieldDefs();
    defs.SetDbfVersion(kDbfVersionDBase4);
    defs.SetUseFloatFields(false);
    for (const FieldSpec& f : kMeasurementFields) {
      TDbfFieldDef* def = defs.AddFieldDef();
      def->SetFromDescriptor(f.name, f.letter, f.size, f.decimals);
      def->SetOffset(record_size);
      record_size += f.size;
    }
    file.SetRecordSize(record_size);
    records.assign(size_t(record_size) * kRows, ' ');
    const int nb_type_offset = file.FindField("NB_TYPE")->Offset();
    const int n_offset = file.FindField("N")->Offset();
    for (int i = 0; i < kRows; ++i) {
      char* rec = &records[size_t(i) * size_t(record_size)];
      char text[16];
      std::snprintf(text, sizeof text, "%9d", i + 1);
      std::memcpy(rec + n_offset, text, 9);
      std::snprintf(text, sizeof text, "%4d", i % 3 == 0 ? 0 : 1);
      std::memcpy(rec + nb_type_offset, text, 4);
    }
  }
};

void BM_FilterNbType1(benchmark::State& state) {
  static MeasurementTable table;
  TDbfParser parser(&table.file);
  parser.SetRawStrings(false);
  parser.SetPartialCompare(true);
  parser.SetIgnoreCase(false);
  parser.CompileText("NB_TYPE=1");
  for (auto _ : state) {
    int accepted = 0;
    for (int i = 0; i < kRows; ++i)
      accepted += parser.EvaluateRecord(&table.records[size_t(i) * size_t(table.record_size)])[0];
    if (accepted != kRows - (kRows + 2) / 3) state.SkipWithError("wrong number of records accepted");
    benchmark::DoNotOptimize(accepted);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_FilterNbType1)->Unit(benchmark::kMillisecond);

}  // namespace

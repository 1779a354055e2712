// Helpers of the table component's editing, index and pack tests: the
// measurement table set up as the main window sets it up, filled with rows
// of a kind and a P value.
#pragma once

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "tests/support/testsupport.h"

namespace table2_support {

struct Row {
  int n;
  int kind;
  double p;
  double r;
  const char* comment;
};

// Kinds 0 and 1 interleaved, P in no order, one P shared by two rows.
inline const std::vector<Row> kSevenRows = {
    {1, 1, 30.5, 1, "c"}, {2, 0, 5, 2, "a"},  {3, 1, -2, 3, "e"},  {4, 1, 100, 4, "b"},
    {5, 0, 1, 5, "d"},    {6, 1, 30.5, 6, "f"}, {7, 0, 7, 7, "g"},
};

// The component as the main window configures its table, without fields
// (not yet open).
inline std::unique_ptr<TDbf> ConfiguredTable(const std::string& file) {
  auto t = std::make_unique<TDbf>(nullptr);
  t->SetTableLevel(4);
  t->SetExclusive(true);
  t->SetUseFloatFields(false);
  t->SetTableName(file);
  return t;
}

// One field of the tables these tests fill.
struct FieldSpec {
  const char* Name;
  TFieldType Type;
  // Characters of a string field; numeric fields take the level's width.
  int Size;
};

// The fields of the program's measurement table in file order (20 fields,
// 408-byte records), written out here: the engine's tests stand below the
// program and do not include it.
inline constexpr FieldSpec kMeasurementShape[] = {
    {"N", ftInteger, 0},     {"DATE", ftString, 10}, {"TIME", ftString, 8},     {"DEV_TYPE", ftSmallint, 0},
    {"SERIAL", ftInteger, 0}, {"NB_TYPE", ftSmallint, 0}, {"P", ftFloat, 0},    {"R", ftFloat, 0},
    {"ZAV", ftString, 50},   {"TYPE", ftString, 15}, {"COMMENT", ftString, 100}, {"H", ftFloat, 0},
    {"T", ftFloat, 0},       {"K", ftFloat, 0},      {"A1", ftFloat, 0},        {"A2", ftFloat, 0},
    {"A3", ftFloat, 0},      {"D1", ftFloat, 0},     {"D2", ftFloat, 0},        {"D3", ftFloat, 0},
};

// A table of the measurement table's shape, configured as the main window
// configures it (not yet open).
inline std::unique_ptr<TDbf> MeasurementTable(const std::string& file) {
  auto t = ConfiguredTable(file);
  for (const FieldSpec& f : kMeasurementShape) t->FieldDefs().AppendNamedDef(AnsiString(f.Name), f.Type, f.Size);
  return t;
}

// Creates the table file with the rows and leaves the component closed.
inline std::unique_ptr<TDbf> FilledTable(const std::string& file, const std::vector<Row>& rows) {
  auto t = MeasurementTable(file);
  t->CreateTableFile();
  t->Activate();
  for (const Row& r : rows) {
    t->StartAppend();
    t->FieldNamed("N")->SetIntegerValue(r.n);
    t->FieldNamed("NB_TYPE")->SetIntegerValue(r.kind);
    t->FieldNamed("P")->SetFloatValue(r.p);
    t->FieldNamed("R")->SetFloatValue(r.r);
    t->FieldNamed("COMMENT")->SetStringValue(r.comment);
    t->CommitRecord();
  }
  t->Deactivate();
  return t;
}

// The N values in the order the set delivers them.
inline std::vector<int> Ns(TDbf& t) {
  std::vector<int> out;
  for (t.GoFirst(); !t.Eof(); t.GoNext()) out.push_back(t.FieldNamed("N")->GetIntegerValue());
  return out;
}

inline bool Exists(const std::string& file) { return ::access(file.c_str(), F_OK) == 0; }

}  // namespace table2_support

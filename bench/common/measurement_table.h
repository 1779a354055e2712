// The program's measurement table for the benchmarks that open it as the
// main window does: made with the program's own fields, filled row by row.
#pragma once

#include <filesystem>
#include <functional>

#include "app/measure.h"
#include "dbf/dbf.h"

namespace bench {

// Appends `rows` records to an open table; `fill` sets the fields of row i
// (from 0) of each new one.
inline void AppendRows(TDbf& table, int rows, const std::function<void(TDbf& table, int i)>& fill) {
  for (int i = 0; i < rows; ++i) {
    table.StartAppend();
    fill(table, i);
    table.CommitRecord();
  }
}

// Creates the table file with `rows` rows; `fill` sets the fields of row i
// (from 0) of a new record. The table is closed again.
inline void WriteMeasurementTable(const std::filesystem::path& file, int rows,
                                  const std::function<void(TDbf& table, int i)>& fill) {
  TDbf table(nullptr);
  table.SetFilePath(file.parent_path().string());
  table.SetTableName(file.filename().string());
  table.SetTableLevel(4);
  table.SetUseFloatFields(false);
  DefineMeasurementFields(table.FieldDefs());
  table.CreateTableFile();
  table.Activate();
  AppendRows(table, rows, fill);
  table.Deactivate();
}

}  // namespace bench

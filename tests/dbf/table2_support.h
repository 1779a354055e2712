// Helpers of the table component's editing, index and pack tests: the
// measurement table set up as the main window sets it up, filled with rows
// of a kind and a P value.
#pragma once

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "app/measure.h"
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

// The component as the main window configures it (not yet open).
inline std::unique_ptr<TDbf> MeasurementTable(const std::string& file) {
  auto t = std::make_unique<TDbf>(nullptr);
  t->SetTableLevel(4);
  t->SetExclusive(true);
  t->SetUseFloatFields(false);
  t->SetTableName(file);
  for (const TMeasurementField& f : kMeasurementFields)
    t->FieldDefs().Add(AnsiString(f.Name), f.FieldType, f.FieldType == ftString ? f.Width : 0);
  return t;
}

// Creates the table file with the rows and leaves the component closed.
inline std::unique_ptr<TDbf> FilledTable(const std::string& file, const std::vector<Row>& rows) {
  auto t = MeasurementTable(file);
  t->CreateTableFile();
  t->Open();
  for (const Row& r : rows) {
    t->Append();
    t->FieldNamed("N")->SetAsInteger(r.n);
    t->FieldNamed("NB_TYPE")->SetAsInteger(r.kind);
    t->FieldNamed("P")->SetAsFloat(r.p);
    t->FieldNamed("R")->SetAsFloat(r.r);
    t->FieldNamed("COMMENT")->SetAsString(r.comment);
    t->Post();
  }
  t->Close();
  return t;
}

// The N values in the order the set delivers them.
inline std::vector<int> Ns(TDbf& t) {
  std::vector<int> out;
  for (t.GoFirst(); !t.Eof(); t.GoNext()) out.push_back(t.FieldNamed("N")->AsInteger());
  return out;
}

inline bool Exists(const std::string& file) { return ::access(file.c_str(), F_OK) == 0; }

}  // namespace table2_support

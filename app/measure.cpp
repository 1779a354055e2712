#include "app/measure.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>

#include "dbf/dbf.h"
#include "dbf/dbf_common.h"
#include "dbf/dbf_str.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/db/fields.h"
#include "toolkit/sys/files.h"

AnsiString KindFilter(int kind) { return kind == kPressKind ? kPressFilter : kAcousticFilter; }

// Every persistent name is "Dbf1" and the field name, as the form binds them.
static_assert([] {
  for (const TMeasurementField& f : TMeasurementRow::Fields)
    if (f.PersistentName.substr(0, 4) != "Dbf1" || f.PersistentName.substr(4) != f.Name) return false;
  return true;
}());

void DefineMeasurementFields(TFieldDefs& defs) {
  defs.Clear();
  for (const TMeasurementField& f : TMeasurementRow::Fields)
    defs.AppendNamedDef(AnsiString(f.Name), f.FieldType, f.FieldType == ftString ? f.Width : 0);
}

void CreateMeasurementFields(TDataSet& table, TComponent* owner) {
  DefineMeasurementFields(table.FieldDefs());
  for (int i = 0; i < table.FieldDefs().Count(); ++i) {
    TField* field = table.FieldDefs().DefAt(i)->CreateField(owner, &table);
    field->SetName(AnsiString(TMeasurementRow::Fields[size_t(i)].PersistentName));
  }
}

TMeasurementMismatch MeasurementMismatch(const std::string& file_name) {
  TDbf table(nullptr);
  table.SetFilePath(ExtractFilePath(file_name));
  table.SetTableName(ExtractFileName(file_name));
  table.SetUseFloatFields(false);
  table.PrepareFieldDefs();
  TMeasurementMismatch mismatch;
  for (const TMeasurementField& f : TMeasurementRow::Fields) {
    const TFieldDef* def = table.FieldDefs().FindDef(AnsiString(f.Name));
    if (def == nullptr)
      mismatch.Missing.emplace_back(f.Name);
    else if (!FieldBindsToType(f.FieldType, def->DataType()))
      mismatch.OtherType.emplace_back(f.Name);
  }
  return mismatch;
}

namespace {

// What the table does to a value of a numeric field: it writes the field text
// and reads the text back. A value the text cannot hold is refused with the
// engine's error rather than stored cut, so no row keeps a wrong number.
TMemDataSet::TStoreTransform NumericFieldText(const TMeasurementField& def) {
  return [&def](const TField& field, std::string& value) {
    std::string text(size_t(def.Width), ' ');
    if (field.DataType() == ftFloat) {
      double d;
      std::memcpy(&d, value.data(), sizeof d);
      if (!std::isfinite(d)) throw EDbfError(Format(STRING_INVALID_NUMBER, {field.FieldName()}));
      if (!FloatToFieldText(d, def.Width, def.Decimals, text.data()))
        throw EDbfError(Format(STRING_FIELD_OVERFLOW, {field.FieldName(), def.Width}));
      d = FieldTextToFloat(text.data(), def.Width);
      std::memcpy(value.data(), &d, sizeof d);
      return;
    }
    int64_t n = 0;
    if (field.DataType() == ftSmallint) {
      int16_t s;
      std::memcpy(&s, value.data(), sizeof s);
      n = s;
    } else {
      int32_t i;
      std::memcpy(&i, value.data(), sizeof i);
      n = i;
    }
    if (!IntToFieldText(n, def.Width, ' ', text.data()))
      throw EDbfError(Format(STRING_FIELD_OVERFLOW, {field.FieldName(), def.Width}));
    n = FieldTextToInt64(text.data(), def.Width, 0);
    if (field.DataType() == ftSmallint) {
      const int16_t s = int16_t(n);
      std::memcpy(value.data(), &s, sizeof s);
    } else {
      const int32_t i = int32_t(n);
      std::memcpy(value.data(), &i, sizeof i);
    }
  };
}

}  // namespace

TMeasurementMemTable::TMeasurementMemTable(TComponent* owner) : TMemDataSet(owner) {
  DefineMeasurementFields(FieldDefs());
  for (const TMeasurementField& f : TMeasurementRow::Fields)
    if (f.NativeType == 'N') SetStoreTransform(AnsiString(f.Name), NumericFieldText(f));
}

void TMeasurementMemTable::StoreRecord() {
  if (CurrentMode() == dsInsert) {
    if (TRecordBuffer buffer = CurrentBuffer()) WriteBookmarkFlag(buffer, bpEOF);
  }
  TMemDataSet::StoreRecord();
}

namespace {

// Deletes the production index the table links when it is the table's own:
// its header names the table (a header cut before the name counts as one
// the program was writing). False when there is none to drop.
bool DropSortIndex(TDbf& table) {
  TDbfFile file;
  file.SetFileName(table.FilePathFull() + table.TableName());
  file.SetMode(pmReadOnly);
  file.OpenAndReadHeader();
  const std::string mdx = file.ProductionIndexFileName();
  const std::string stem = ExtractFileName(ChangeFileExt(file.FileName(), ""));
  file.CloseAll();
  if (mdx.empty()) return false;
  std::string bytes(20, '\0');
  std::ifstream in(mdx, std::ios::binary);
  in.read(bytes.data(), std::streamsize(bytes.size()));
  if (in.gcount() == std::streamsize(bytes.size())) {
    const std::string named(bytes.data() + 4, strnlen(bytes.data() + 4, 16));
    if (!SameText(named, stem.substr(0, 15))) return false;
  }
  return DeleteFile(mdx);
}

}  // namespace

void OpenMeasurementTable(TDbf& table) {
  try {
    table.ChangeActive(true);
    return;
  } catch (const EDbfError&) {
    try {
      table.Deactivate();
    } catch (...) {
      // The remains of the failed open go quietly; the open is tried again.
    }
    if (!DropSortIndex(table)) throw;
  }
  // The link to the missing file is dropped as the table opens.
  table.ChangeActive(true);
}

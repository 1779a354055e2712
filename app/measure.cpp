#include "app/measure.h"

#include <cmath>
#include <cstring>
#include <string>

#include "dbf/dbf_common.h"
#include "dbf/dbf_str.h"
#include "toolkit/db/fields.h"

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

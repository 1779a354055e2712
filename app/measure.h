// The measurement table: the row every decoder, grid, report and export of the
// program shares, as data.
//
// A table file is a dBASE IV table of 20 fields, created at level 4 with
// UseFloatFields off, so the numeric fields come back as integer, small
// integer and float fields. In file order:
//
//   N        N  9.0  TIntegerField   row number
//   DATE     C 10    TStringField    "dd.mm.yyyy"
//   TIME     C  8    TStringField    "hh:mm:ss"
//   DEV_TYPE N  4.0  TSmallintField  instrument subtype
//   SERIAL   N  9.0  TIntegerField   instrument serial number
//   NB_TYPE  N  4.0  TSmallintField  record kind: 0 press, 1 acoustic or bending
//   P, R     N 18.9  TFloatField
//   ZAV      C 50, TYPE C 15, COMMENT C 100
//   H, T, K, A1, A2, A3, D1, D2, D3  N 18.9  TFloatField
//
// A record is the deletion flag byte and the widths: 408 bytes. Numbers are
// stored as right-aligned text, so an N 18.9 field keeps 8 integer digits and
// 9 decimals and gives back the value that text reads as.
//
// TMeasurementMemTable holds such rows in memory with the same conversions,
// for the decoders' tests and the dump_decode tool.
#pragma once

#include <array>
#include <string_view>

#include "toolkit/db/memdataset.h"

class TDbf;

// One field of the measurement row.
struct TMeasurementField {
  // The field name in the file and the data set.
  std::string_view Name;
  // The dBASE type letter: 'N' numeric text, 'C' character.
  char NativeType;
  // Characters in the record.
  int Width;
  // Decimals of a numeric field.
  int Decimals;
  // The field class the table gives back for it.
  TFieldType FieldType;
};

// The 20 fields in file order.
inline constexpr std::array<TMeasurementField, 20> kMeasurementFields = {{
    {"N", 'N', 9, 0, ftInteger},
    {"DATE", 'C', 10, 0, ftString},
    {"TIME", 'C', 8, 0, ftString},
    {"DEV_TYPE", 'N', 4, 0, ftSmallint},
    {"SERIAL", 'N', 9, 0, ftInteger},
    {"NB_TYPE", 'N', 4, 0, ftSmallint},
    {"P", 'N', 18, 9, ftFloat},
    {"R", 'N', 18, 9, ftFloat},
    {"ZAV", 'C', 50, 0, ftString},
    {"TYPE", 'C', 15, 0, ftString},
    {"COMMENT", 'C', 100, 0, ftString},
    {"H", 'N', 18, 9, ftFloat},
    {"T", 'N', 18, 9, ftFloat},
    {"K", 'N', 18, 9, ftFloat},
    {"A1", 'N', 18, 9, ftFloat},
    {"A2", 'N', 18, 9, ftFloat},
    {"A3", 'N', 18, 9, ftFloat},
    {"D1", 'N', 18, 9, ftFloat},
    {"D2", 'N', 18, 9, ftFloat},
    {"D3", 'N', 18, 9, ftFloat},
}};

// Bytes of one record: the deletion flag and the field widths.
inline constexpr int kMeasurementRecordSize = [] {
  int size = 1;
  for (const TMeasurementField& f : kMeasurementFields) size += f.Width;
  return size;
}();
static_assert(kMeasurementRecordSize == 408);

// NB_TYPE of press rows and of acoustic and bending rows.
inline constexpr int kPressKind = 0;
inline constexpr int kAcousticKind = 1;
// The table filters that show one record kind.
inline constexpr const char* kPressFilter = "NB_TYPE=0";
inline constexpr const char* kAcousticFilter = "NB_TYPE=1";
// The filter of a record kind (kPressKind or kAcousticKind).
AnsiString KindFilter(int kind);

// The name of a field's persistent field object on the table component Dbf1
// ("Dbf1N" ... "Dbf1D3").
AnsiString PersistentFieldName(const TMeasurementField& field);

// Fills defs with the 20 field definitions as the table is created from them:
// the text fields with their sizes, the numeric fields without (the table
// gives them their default widths: 9.0, 4.0 and 18.9).
void DefineMeasurementFields(TFieldDefs& defs);

// Creates the persistent field objects of the 20 fields on a closed data set,
// owned by owner and named as PersistentFieldName gives.
void CreateMeasurementFields(TDataSet& table, TComponent* owner);

// The measurement table in memory: the 20 fields with the table's conversions.
// Numeric fields go through their field text as the table writes it; a value
// whose text does not fit the field (or that is not finite) raises the table
// engine's error when it is assigned, so the row cannot be posted with a
// mangled value. Text longer than its field is cut to the field's width. Every
// new row is added at the end, inserted or appended, as a table file adds its
// records, so "the last row" is the last one written.
class TMeasurementMemTable : public TMemDataSet {
 public:
  explicit TMeasurementMemTable(TComponent* owner);

  void StoreRecord() override;
};

// Opens the measurement table (configured, closed). Its production index
// holds only the grids' throwaway sort tags: one that cannot be opened is
// deleted, the table's link to it goes, and the table opens unsorted. A
// table that still cannot be opened raises the engine's error.
void OpenMeasurementTable(TDbf& table);

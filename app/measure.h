// The measurement table: the row every decoder, grid, report and export of the
// program shares, as data.
//
// A table file is a dBASE IV table of the 20 fields of TMeasurementRow,
// created at level 4 with UseFloatFields off, so the numeric fields come back
// as integer, small integer and float fields. In file order:
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
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/db/memdataset.h"

class TDbf;

// One field of the measurement row.
struct TMeasurementField {
  // The field name in the file and the data set.
  std::string_view Name;
  // The name of its persistent field object on the table component Dbf1:
  // "Dbf1" and the field name.
  std::string_view PersistentName;
  // The dBASE type letter: 'N' numeric text, 'C' character.
  char NativeType;
  // Characters in the record.
  int Width;
  // Decimals of a numeric field.
  int Decimals;
  // The field class the table gives back for it.
  TFieldType FieldType;
};

// The measurement row: the 20 fields in file order.
struct TMeasurementRow {
  static constexpr std::array<TMeasurementField, 20> Fields = {{
      {"N", "Dbf1N", 'N', 9, 0, ftInteger},
      {"DATE", "Dbf1DATE", 'C', 10, 0, ftString},
      {"TIME", "Dbf1TIME", 'C', 8, 0, ftString},
      {"DEV_TYPE", "Dbf1DEV_TYPE", 'N', 4, 0, ftSmallint},
      {"SERIAL", "Dbf1SERIAL", 'N', 9, 0, ftInteger},
      {"NB_TYPE", "Dbf1NB_TYPE", 'N', 4, 0, ftSmallint},
      {"P", "Dbf1P", 'N', 18, 9, ftFloat},
      {"R", "Dbf1R", 'N', 18, 9, ftFloat},
      {"ZAV", "Dbf1ZAV", 'C', 50, 0, ftString},
      {"TYPE", "Dbf1TYPE", 'C', 15, 0, ftString},
      {"COMMENT", "Dbf1COMMENT", 'C', 100, 0, ftString},
      {"H", "Dbf1H", 'N', 18, 9, ftFloat},
      {"T", "Dbf1T", 'N', 18, 9, ftFloat},
      {"K", "Dbf1K", 'N', 18, 9, ftFloat},
      {"A1", "Dbf1A1", 'N', 18, 9, ftFloat},
      {"A2", "Dbf1A2", 'N', 18, 9, ftFloat},
      {"A3", "Dbf1A3", 'N', 18, 9, ftFloat},
      {"D1", "Dbf1D1", 'N', 18, 9, ftFloat},
      {"D2", "Dbf1D2", 'N', 18, 9, ftFloat},
      {"D3", "Dbf1D3", 'N', 18, 9, ftFloat},
  }};

  // Bytes of one record: the deletion flag and the field widths.
  static constexpr int RecordSize = [] {
    int size = 1;
    for (const TMeasurementField& f : Fields) size += f.Width;
    return size;
  }();
};
static_assert(TMeasurementRow::RecordSize == 408);

// NB_TYPE of press rows and of acoustic and bending rows.
inline constexpr int kPressKind = 0;
inline constexpr int kAcousticKind = 1;
// The table filters that show one record kind.
inline constexpr const char* kPressFilter = "NB_TYPE=0";
inline constexpr const char* kAcousticFilter = "NB_TYPE=1";
// The filter of a record kind (kPressKind or kAcousticKind).
AnsiString KindFilter(int kind);

// Fills defs with the 20 field definitions as the table is created from them:
// the text fields with their sizes, the numeric fields without (the table
// gives them their default widths: 9.0, 4.0 and 18.9).
void DefineMeasurementFields(TFieldDefs& defs);

// Creates the persistent field objects of the 20 fields on a closed data set,
// owned by owner and named by their PersistentName.
void CreateMeasurementFields(TDataSet& table, TComponent* owner);

// What keeps a table file from binding the persistent fields of the
// measurement row: the fields it lacks, in row order, and the fields it
// holds with a type their field objects cannot take.
struct TMeasurementMismatch {
  std::vector<std::string> Missing;
  std::vector<std::string> OtherType;
  bool Empty() const { return Missing.empty() && OtherType.empty(); }
};

// Reads the field list of the table file (read only, nothing written), as
// the table gives it back with UseFloatFields off, against the measurement
// row. Raises the engine's error when the file's header cannot be read.
TMeasurementMismatch MeasurementMismatch(const std::string& file_name);

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

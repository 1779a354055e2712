// Decoding of the instrument's record dump into measurement rows.
//
// The dump is the byte image of the instrument's memory (app/link.h); its
// header and its press, acoustic and bending records are read through their
// types in app/dump_records.h. Rows take their values thus:
//   press (record kind 0): H, DATE, TIME, P as is, R = value / 1000, TYPE of
//     the two lengths in tenths of a millimetre;
//   acoustic (kind 1): H, DATE, TIME, P = p, R = r, K = k,
//     A1..A3 = p - k + x1..x3, D1..D3 = R - A1..A3;
//   bending (kind 1): DATE, TIME, R and P = value / 1000,
//     COMMENT "HxLxB=<h>x<l>x<b>".
//
// The decoders write through the data-set framework only, so any data set
// with the measurement fields can take the rows: the table component in the
// program, the in-memory table in tests and tools.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>

#include "app/link.h"
#include "toolkit/db/db.h"

// Receives the count message of an append: its text and caption (the main
// window shows them in a message box with the information icon).
using TDecodeMessageSink = std::function<void(const AnsiString& text, const AnsiString& caption)>;

// "hh:mm:ss"; an hour above 23 or a minute or second above 59 becomes "00".
AnsiString rec_time_str(uint8_t hour, uint8_t minute, uint8_t second);
// "dd.mm.yyyy" with the year byte + 1980; a day of 0 or above 31 or a month of
// 0 or above 12 becomes "01". The day is not checked against the month.
AnsiString rec_date_str(uint8_t year, uint8_t month, uint8_t day);
// The press row's TYPE: both lengths / 10 in the shortest decimal text with
// the locale's decimal separator, as "<first>x<second> мм" (1251).
AnsiString press_type_str(uint16_t first, uint16_t second);
// A number that orders a row's DATE "dd.mm.yyyy" and TIME "hh:mm:ss" as
// their year, month, day, hours, minutes and seconds do, read as numbers
// whatever stands between them and whether or not the calendar has that day
// (31.02 orders after 28.02); always above 0. A missing time number counts as
// 0. EConvertError "'%s' is not a valid date and time" (with DATE + " " +
// TIME) when the date does not hold its three numbers.
int64_t RecordStamp(const AnsiString& date, const AnsiString& time);

// The two decoders over one dump. Create mode writes every record; append
// mode first skips the records that are not newer than the last row of the
// same kind in the table, numbers the new rows after the skipped ones and
// reports the count of each pass through the sink.
//
// A failing conversion or field assignment raises its error; the row being
// built is abandoned (never posted) and rows posted before it stay.
class TDumpDecoder {
 public:
  // The table must be open and hold the measurement fields; it is left
  // filtered by the kind of the last pass, with Filtered on.
  // The decoder keeps references to the table, identity and dump.
  TDumpDecoder(TDataSet& table, const TInstrumentIdentity& identity, const TRecordDump& dump,
               TDecodeMessageSink message);
  TDumpDecoder(TDataSet&, const TInstrumentIdentity&&, const TRecordDump&, TDecodeMessageSink) = delete;
  TDumpDecoder(TDataSet&, const TInstrumentIdentity&, const TRecordDump&&, TDecodeMessageSink) = delete;

  // Press records into rows of record kind 0.
  void flash2vam(bool Append);
  // Acoustic records into rows of record kind 1, then bending records into
  // rows of record kind 1. Bending rows are written only when the identity
  // counts no acoustic records; in append mode the bending pass still skips
  // (reading the stamps) and reports its count, 0, all the same.
  void flash2kiv7(bool Append);

 private:
  enum class TRecordKind { Press, Acoustic, Bending };
  // One pass over the records of one kind.
  void RunPass(TRecordKind kind, bool append);
  // Sets the fields of the new row from a record.
  void FillRow(TRecordKind kind, const uint8_t* record, int number);
  // The DATE and TIME texts of a record.
  void RecordTexts(TRecordKind kind, const uint8_t* record, AnsiString& date, AnsiString& time) const;
  // The table's fields by their names in upper case, taken at the start of a
  // pass; F finds a field through them and asks the table only for a name
  // they lack (which raises as before when the table has no such field).
  void PrepareFields();
  TField& F(const char* name);

  TDataSet& table_;
  std::unordered_map<AnsiString, TField*> fields_;
  const TInstrumentIdentity& identity_;
  const TRecordDump& dump_;
  TDecodeMessageSink message_;
};

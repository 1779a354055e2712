#include "app/flash.h"

#include <algorithm>
#include <cctype>

#include "app/dump_records.h"
#include "app/measure.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/db/fields.h"

namespace {

// Two decimal digits.
AnsiString TwoDigits(unsigned value) {
  AnsiString s(2, '0');
  s[0] = char('0' + value / 10 % 10);
  s[1] = char('0' + value % 10);
  return s;
}

// The numbers of a text in order, each a run of decimal digits, whatever
// stands between them; a run is capped at `cap` so that no text can carry
// one number into the next one's place of a stamp.
int CollectNumbers(const AnsiString& text, int64_t* numbers, int wanted, const int64_t* caps) {
  int found = 0;
  size_t pos = 0;
  while (found < wanted && pos < text.size()) {
    if (!std::isdigit(static_cast<unsigned char>(text[pos]))) {
      ++pos;
      continue;
    }
    int64_t value = 0;
    for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos)
      value = std::min<int64_t>(value * 10 + (text[pos] - '0'), caps[found]);
    numbers[found++] = value;
  }
  return found;
}

// The stamp of a row's DATE "day.month.year" and TIME "hours:minutes:seconds"
// from their numbers alone, in the order year, month, day, hours, minutes,
// seconds. The numbers are not held to a calendar: the instrument's clock
// writes days such as 31.02, and such a row still orders after 28.02 and
// before 01.03. A missing time number counts as 0; a date without its three
// numbers has no stamp.
bool TryStamp(const AnsiString& date, const AnsiString& time, int64_t& stamp) {
  static constexpr int64_t kDateCaps[] = {99, 99, 9999};
  static constexpr int64_t kTimeCaps[] = {99, 99, 99};
  int64_t d[3] = {0, 0, 0}, t[3] = {0, 0, 0};
  if (CollectNumbers(date, d, 3, kDateCaps) < 3) return false;
  CollectNumbers(time, t, 3, kTimeCaps);
  stamp = ((((d[2] * 100 + d[1]) * 100 + d[0]) * 100 + t[0]) * 100 + t[1]) * 100 + t[2];
  // Above the threshold 0 of a kind without rows, even for the year 0.
  stamp += 1;
  return true;
}

// Why an add stopped at the table's last row of a kind (its N, DATE and
// TIME): its date holds no numbers to compare the records with.
AnsiString UnstampedRowText(const AnsiString& number, const AnsiString& date, const AnsiString& time) {
  return Utf8ToAnsi("Записи не добавлены: в строке N ") + Trim(number) + Utf8ToAnsi(" дата и время \"") + date +
         " " + time + Utf8ToAnsi("\" не содержат чисел дня, месяца и года, с которыми сравниваются новые записи.");
}

}  // namespace

AnsiString rec_time_str(uint8_t hour, uint8_t minute, uint8_t second) {
  return TwoDigits(hour > 23 ? 0 : hour) + ":" + TwoDigits(minute > 59 ? 0 : minute) + ":" +
         TwoDigits(second > 59 ? 0 : second);
}

AnsiString rec_date_str(uint8_t year, uint8_t month, uint8_t day) {
  return TwoDigits(day == 0 || day > 31 ? 1 : day) + "." + TwoDigits(month == 0 || month > 12 ? 1 : month) + "." +
         IntToStr(1980 + int(year));
}

AnsiString press_type_str(uint16_t first, uint16_t second) {
  return FloatToStr(first / 10.0) + "x" + FloatToStr(second / 10.0) + Utf8ToAnsi(" мм");
}

int64_t RecordStamp(const AnsiString& date, const AnsiString& time) {
  int64_t stamp = 0;
  if (!TryStamp(date, time, stamp)) throw EConvertError("'" + date + " " + time + "' is not a valid date and time");
  return stamp;
}


TDumpDecoder::TDumpDecoder(TDataSet& table, const TInstrumentIdentity& identity, const TRecordDump& dump,
                           TDecodeMessageSink message)
    : table_(table), identity_(identity), dump_(dump), message_(std::move(message)) {}

void TDumpDecoder::PrepareFields() {
  fields_.clear();
  for (int i = 0; i < table_.QueryFieldCount(); ++i) {
    TField* field = table_.Fields(i);
    fields_.emplace(AnsiUpperCase(field->FieldName()), field);  // the first of a name, as the table finds it
  }
}

TField& TDumpDecoder::F(const char* name) {
  const auto it = fields_.find(AnsiUpperCase(name));
  return it != fields_.end() ? *it->second : *table_.FieldNamed(name);
}

void TDumpDecoder::flash2vam(bool Append) { RunPass(TRecordKind::Press, Append); }

void TDumpDecoder::flash2kiv7(bool Append) {
  RunPass(TRecordKind::Acoustic, Append);
  RunPass(TRecordKind::Bending, Append);
}

void TDumpDecoder::RunPass(TRecordKind kind, bool append) {
  const size_t size = kind == TRecordKind::Press      ? TPressRecord::Size
                      : kind == TRecordKind::Acoustic ? TAcousticRecord::Size
                                                      : TBendingRecord::Size;
  // Only the transferred bytes hold records: a count that reaches past them
  // (w1 is a full 16-bit count, the record count may claim 255 records)
  // imports the records that fit and never reads beyond DumpLength.
  const size_t usable = std::min<size_t>({dump_.DumpLength, dump_.DumpBuffer.size(), kDumpBufferSize});
  const uint8_t* bytes = dump_.DumpBuffer.data();
  const size_t start = kind == TRecordKind::Bending ? TAcousticRecord::Size * identity_.DumpRecordCount : 0;
  // A dump too short for its header holds no bending record either.
  const uint16_t count = kind != TRecordKind::Bending  ? identity_.DumpRecordCount
                         : usable >= TDumpHeader::Size ? TDumpHeader::DecodeFrom(bytes).W1
                                                       : uint16_t(0);
  const size_t fit = start < usable ? (usable - start) / size : 0;
  uint16_t records_left = uint16_t(std::min<size_t>(count, fit));
  // Bending rows are written only from a dump without acoustic records;
  // after acoustic ones the bending pass adds nothing and reports 0. Its
  // append skip still reads the records' stamps, so an impossible date among
  // them stops the transfer as it does in any other pass.
  const bool writes_rows = kind != TRecordKind::Bending || identity_.DumpRecordCount == 0;

  table_.SetFilter(KindFilter(kind == TRecordKind::Press ? kPressKind : kAcousticKind));
  table_.SetFiltered(true);
  table_.Reload();
  PrepareFields();
  table_.GoLast();

  int skipped = 0;
  size_t position = start;
  if (append) {
    // The last row of the kind in file order; the caller has removed any sort.
    int64_t threshold = 0;
    if (!table_.HasNoRecords()) {
      const AnsiString date = F("DATE").GetStringValue(), time = F("TIME").GetStringValue();
      // Nothing is posted yet: a row the records cannot be compared with
      // stops the add before it changes the table.
      if (!TryStamp(date, time, threshold))
        throw EConvertError(UnstampedRowText(F("N").GetStringValue(), date, time));
    }
    while (skipped < records_left) {
      AnsiString date, time;
      RecordTexts(kind, bytes + position, date, time);
      if (RecordStamp(date, time) > threshold) break;
      ++skipped;
      position += size;
    }
    records_left = uint16_t(records_left - skipped);
  }
  if (!writes_rows) records_left = 0;

  int added = 0;
  for (int i = 0; i < records_left; ++i, position += size) {
    if (kind == TRecordKind::Bending)
      table_.StartInsert();
    else
      table_.StartAppend();
    {
      // The row is abandoned, not left half-built for a later post to store.
      TScopeFail abandoned([this] {
        if (table_.CurrentMode() == dsInsert || table_.CurrentMode() == dsEdit) table_.DiscardChanges();
      });
      FillRow(kind, bytes + position, skipped + i + 1);
      table_.CommitRecord();
    }
    ++added;
  }

  if (append && message_) message_(Utf8ToAnsi("Добавлено записей: ") + IntToStr(added), Utf8ToAnsi("Дополнение"));
  table_.Reload();
}

void TDumpDecoder::RecordTexts(TRecordKind kind, const uint8_t* record, AnsiString& date, AnsiString& time) const {
  const TRecordClock clock = kind == TRecordKind::Press      ? TPressRecord::DecodeFrom(record).Clock
                             : kind == TRecordKind::Acoustic ? TAcousticRecord::DecodeFrom(record).Clock
                                                             : TBendingRecord::DecodeFrom(record).Clock;
  time = rec_time_str(clock.Hour, clock.Minute, clock.Second);
  date = rec_date_str(clock.Year, clock.Month, clock.Day);
}

void TDumpDecoder::FillRow(TRecordKind kind, const uint8_t* record, int number) {
  AnsiString date, time;
  RecordTexts(kind, record, date, time);
  F("N").SetIntegerValue(number);
  F("TIME").SetStringValue(time);
  F("DATE").SetStringValue(date);
  // Bending rows carry the instrument's subtype and serial number like the
  // other rows, so every row tells which instrument measured it.
  F("DEV_TYPE").SetIntegerValue(identity_.DeviceSubtype);
  F("SERIAL").SetIntegerValue(identity_.DeviceSerial);
  switch (kind) {
    case TRecordKind::Press: {
      const TPressRecord rec = TPressRecord::DecodeFrom(record);
      F("NB_TYPE").SetIntegerValue(kPressKind);
      // P is the instrument's unsigned count as is; one beyond the field's
      // eight integer digits is refused by the table rather than cut.
      F("P").SetFloatValue(double(rec.P));
      F("R").SetFloatValue(rec.RThousandths / 1000.0);
      F("H").SetFloatValue(rec.H);
      F("TYPE").SetStringValue(press_type_str(rec.FirstLength, rec.SecondLength));
      break;
    }
    case TRecordKind::Acoustic: {
      const TAcousticRecord rec = TAcousticRecord::DecodeFrom(record);
      const double p = rec.P;
      const double k = rec.K;
      F("NB_TYPE").SetIntegerValue(kAcousticKind);
      F("P").SetFloatValue(p);
      F("R").SetFloatValue(rec.R);
      F("K").SetFloatValue(k);
      static const char* const kLevels[] = {"A1", "A2", "A3"};
      for (int i = 0; i < 3; ++i) F(kLevels[i]).SetFloatValue(p - k + double(rec.X[i]));
      // The differences come from the values as the table holds them, so that
      // a row's D1 is exactly its R - A1 as anyone reading the row sees them.
      static const char* const kDifferences[] = {"D1", "D2", "D3"};
      const double stored_r = F("R").GetFloatValue();
      for (int i = 0; i < 3; ++i) F(kDifferences[i]).SetFloatValue(stored_r - F(kLevels[i]).GetFloatValue());
      F("H").SetFloatValue(rec.H);
      break;
    }
    case TRecordKind::Bending: {
      const TBendingRecord rec = TBendingRecord::DecodeFrom(record);
      F("NB_TYPE").SetIntegerValue(kAcousticKind);
      F("R").SetFloatValue(rec.RThousandths / 1000.0);
      F("P").SetFloatValue(rec.PThousandths / 1000.0);
      F("COMMENT").SetStringValue("HxLxB=" + IntToStr(int(rec.H)) + "x" + IntToStr(int(rec.L)) + "x" +
                                  IntToStr(int(rec.B)));
      // No bending mark: T is a number and cannot hold one, no text field is
      // set aside for it, and the "HxLxB=" comment already tells a bending
      // row from an acoustic one.
      break;
    }
  }
}

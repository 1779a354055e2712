// dump_decode: decodes a record dump (the ".bin" image of an instrument's
// memory) with the instrument's identity into measurement rows held in memory,
// and prints the rows as UTF-8 CSV.
//
//   dump_decode --subtype N --serial N --count N [--append]
//               [--last-press "dd.mm.yyyy hh:mm:ss"] [--last-acoustic "..."] FILE
//
// Subtypes below 15 are press instruments (flash2vam), the others acoustic
// ones (flash2kiv7). Without --append every record becomes a row (create
// mode). With --append, or with a last stamp, the table starts with one row of
// each kind given, stamped so, and only newer records are added, as when
// records are added to a table; those starting rows are not printed.
//
// Output: a header of the 20 field names, then one line per row. Numbers read
// as their field text reads back (up to 9 decimals, '.' as the separator,
// trailing zeros dropped); empty for null. Count messages go to stderr. A
// failing record stops the decoding: the rows before it are printed, the
// error goes to stderr and the exit status is 1. Bad options give status 2.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/flash.h"
#include "app/measure.h"
#include "dbf/dbf_common.h"
#include "toolkit/core/text.h"
#include "toolkit/db/fields.h"
#include "tools/common/csv.h"

namespace {

struct Options {
  long subtype = -1, serial = -1, count = -1;
  bool append = false;
  std::string last[2];  // by record kind
  std::string file;
};

void Usage() {
  std::fprintf(stderr,
               "usage: dump_decode --subtype N --serial N --count N [--append]\n"
               "                   [--last-press \"dd.mm.yyyy hh:mm:ss\"] [--last-acoustic \"...\"] FILE\n"
               "  --subtype N        instrument subtype, 0-255 (below 15: press records)\n"
               "  --serial N         instrument serial number, 0-65535\n"
               "  --count N          record count of the identification, 0-255\n"
               "  --append           add only records newer than the last row of their kind\n"
               "  --last-press S     append after a press row stamped S\n"
               "  --last-acoustic S  append after an acoustic row stamped S\n");
}

bool Number(const char* text, long high, long* value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || errno || v < 0 || v > high) return false;
  *value = v;
  return true;
}

bool Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--subtype" || a == "--serial" || a == "--count") {
      const long high = a == "--serial" ? 65535 : 255;
      long* field = a == "--subtype" ? &o->subtype : a == "--serial" ? &o->serial : &o->count;
      if (!has_value || !Number(argv[++i], high, field)) {
        std::fprintf(stderr, "dump_decode: %s needs a number from 0 to %ld\n", a.c_str(), high);
        return false;
      }
    } else if (a == "--append") {
      o->append = true;
    } else if (a == "--last-press" || a == "--last-acoustic") {
      if (!has_value) {
        std::fprintf(stderr, "dump_decode: %s needs a date and time\n", a.c_str());
        return false;
      }
      o->last[a == "--last-press" ? kPressKind : kAcousticKind] = argv[++i];
      o->append = true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "dump_decode: unknown option %s\n", a.c_str());
      return false;
    } else if (o->file.empty()) {
      o->file = a;
    } else {
      std::fprintf(stderr, "dump_decode: more than one dump file\n");
      return false;
    }
  }
  if (o->subtype < 0 || o->serial < 0 || o->count < 0 || o->file.empty()) {
    std::fprintf(stderr, "dump_decode: --subtype, --serial, --count and a dump file are needed\n");
    return false;
  }
  return true;
}

// A number as its field text reads: fixed point with the field's decimals,
// then without trailing zeros.
std::string StoredNumber(double value) {
  std::string text(18, ' ');
  if (!FloatToFieldText(value, 18, 9, text.data())) return std::to_string(value);
  text.erase(0, text.find_first_not_of(' '));
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return text == "-0" ? "0" : text;
}

void PrintRows(TDataSet& table, int skip) {
  std::string line;
  for (const TMeasurementField& f : TMeasurementRow::Fields) line += (line.empty() ? "" : ",") + std::string(f.Name);
  std::printf("%s\n", line.c_str());
  table.SetFiltered(false);
  int index = 0;
  for (table.GoFirst(); !table.Eof(); table.GoNext(), ++index) {
    if (index < skip) continue;
    line.clear();
    for (size_t i = 0; i < TMeasurementRow::Fields.size(); ++i) {
      if (i > 0) line += ',';
      TField* field = table.FieldNamed(AnsiString(TMeasurementRow::Fields[i].Name));
      if (field->HoldsNull()) continue;
      if (field->DataType() == ftFloat)
        line += StoredNumber(field->GetFloatValue());
      else if (field->DataType() == ftString)
        line += CsvField(AnsiToUtf8(field->GetStringValue()));
      else
        line += std::to_string(field->GetIntegerValue());
    }
    std::printf("%s\n", line.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, &o)) {
    Usage();
    return 2;
  }
  std::ifstream in(o.file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "dump_decode: cannot read %s\n", o.file.c_str());
    return 1;
  }
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    std::fprintf(stderr, "dump_decode: cannot read %s\n", o.file.c_str());
    return 1;
  }
  if (image.size() > kDumpBufferSize) {
    std::fprintf(stderr, "dump_decode: %s holds %zu bytes; a dump holds at most %zu\n", o.file.c_str(), image.size(),
                 kDumpBufferSize);
    return 1;
  }
  TInstrumentIdentity identity;
  identity.DeviceFamily = kServedFamily;
  identity.DeviceSubtype = uint8_t(o.subtype);
  identity.DeviceSerial = uint16_t(o.serial);
  identity.DumpRecordCount = uint8_t(o.count);
  TRecordDump dump;
  std::memcpy(dump.DumpBuffer.data(), image.data(), image.size());
  dump.DumpLength = uint32_t(image.size());

  TMeasurementMemTable table(nullptr);
  int seeded = 0;
  int status = 0;
  try {
    table.Activate();
    for (int kind : {kPressKind, kAcousticKind}) {
      const std::string& last = o.last[kind];
      if (last.empty()) continue;
      const size_t blank = last.find(' ');
      const AnsiString date = last.substr(0, blank);
      const AnsiString time = blank == std::string::npos ? "" : last.substr(blank + 1);
      RecordStamp(date, time);  // refuses a stamp that is not a date and time
      table.StartAppend();
      table.FieldNamed("NB_TYPE")->SetIntegerValue(kind);
      table.FieldNamed("DATE")->SetStringValue(date);
      table.FieldNamed("TIME")->SetStringValue(time);
      table.CommitRecord();
      ++seeded;
    }
    TDumpDecoder decoder(table, identity, dump, [](const AnsiString& text, const AnsiString& caption) {
      std::fprintf(stderr, "%s: %s\n", AnsiToUtf8(caption).c_str(), AnsiToUtf8(text).c_str());
    });
    if (identity.DeviceSubtype < 15)
      decoder.flash2vam(o.append);
    else
      decoder.flash2kiv7(o.append);
  } catch (const Exception& e) {
    std::fprintf(stderr, "dump_decode: %s\n", AnsiToUtf8(e.Message()).c_str());
    status = 1;
  }
  if (table.QueryActive()) PrintRows(table, seeded);
  return status;
}

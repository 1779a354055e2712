// Helpers of the dump decoder's tests: records laid out byte by byte as the
// instrument keeps them, a dump made of them, and a measurement table in
// memory with the messages the decoders showed.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/flash.h"
#include "app/measure.h"
#include "toolkit/core/text.h"
#include "toolkit/db/fields.h"

namespace flashtest {

struct Stamp {
  int year, month, day, hour, minute, second;
};

inline void Put16(std::string& r, size_t at, unsigned v) {
  r[at] = char(v & 0xFF);
  r[at + 1] = char((v >> 8) & 0xFF);
}
inline void Put32(std::string& r, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) r[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}
inline void PutFloat(std::string& r, size_t at, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  Put32(r, at, bits);
}

// A press record: H, stamp, P (also the two lengths of TYPE), R * 1000.
inline std::string Press(Stamp s, uint32_t p = 1000, uint32_t r_milli = 12500, uint8_t h = 7) {
  std::string r(22, '\0');
  r[1] = char(h);
  r[2] = char(s.year - 1980), r[3] = char(s.month), r[4] = char(s.day);
  r[5] = char(s.hour), r[6] = char(s.minute), r[7] = char(s.second);
  Put32(r, 14, p);
  Put32(r, 18, r_milli);
  return r;
}

// An acoustic record: H, stamp and the six levels p, r, k, x1, x2, x3.
inline std::string Acoustic(Stamp s, float p, float r, float k, float x1, float x2, float x3, uint8_t h = 3) {
  std::string rec(32, '\0');
  rec[1] = char(h);
  rec[2] = char(s.year - 1980), rec[3] = char(s.month), rec[4] = char(s.day);
  rec[5] = char(s.hour), rec[6] = char(s.minute), rec[7] = char(s.second);
  const float levels[] = {p, r, k, x1, x2, x3};
  for (int i = 0; i < 6; ++i) PutFloat(rec, 8 + 4 * size_t(i), levels[i]);
  return rec;
}

// A bending record: R * 1000, P * 1000, sizes b, l, h, stamp.
inline std::string Bending(Stamp s, unsigned r_milli, unsigned p_milli, unsigned h = 100, uint8_t l = 40,
                           uint8_t b = 40) {
  std::string rec(16, '\0');
  Put16(rec, 0, r_milli);
  Put16(rec, 2, p_milli);
  rec[4] = char(b), rec[5] = char(l);
  Put16(rec, 6, h);
  rec[10] = char(s.hour), rec[11] = char(s.minute), rec[12] = char(s.second);
  rec[13] = char(s.year - 1980), rec[14] = char(s.month), rec[15] = char(s.day);
  return rec;
}

// A dump of the memory image; the header word w1 is written over the first
// two bytes (w1 < 0 keeps them). The buffer is exactly as long as the image,
// so that the sanitizers catch any read past it.
inline TRecordDump Dump(std::string image, int w1 = -1) {
  if (image.size() < 4) image.resize(4, '\0');
  if (w1 >= 0) Put16(image, 0, unsigned(w1));
  TRecordDump d;
  d.DumpBuffer.assign(image.begin(), image.end());
  d.DumpBuffer.shrink_to_fit();
  d.DumpLength = uint32_t(image.size());
  return d;
}

inline TInstrumentIdentity Identity(uint8_t count, uint8_t subtype = 3, uint16_t serial = 4321) {
  TInstrumentIdentity id;
  id.DeviceFamily = 18;
  id.DeviceSubtype = subtype;
  id.DeviceSerial = serial;
  id.DumpRecordCount = count;
  return id;
}

inline std::string U(const AnsiString& ansi) { return AnsiToUtf8(ansi); }

// The in-memory table with the messages the decoders sent.
struct Bench {
  TMeasurementMemTable table{nullptr};
  std::vector<std::pair<std::string, std::string>> messages;  // UTF-8 text, caption

  Bench() { table.Activate(); }

  // A stored row of a kind with its date and time texts.
  void AddRow(int kind, const char* date, const char* time, int n = 1) {
    table.SetFiltered(false);
    table.StartAppend();
    table.FieldNamed("N")->SetIntegerValue(n);
    table.FieldNamed("NB_TYPE")->SetIntegerValue(kind);
    table.FieldNamed("DATE")->SetStringValue(date);
    table.FieldNamed("TIME")->SetStringValue(time);
    table.CommitRecord();
  }

  // Runs flash2vam (press) or flash2kiv7.
  void Decode(bool press, const TInstrumentIdentity& id, const TRecordDump& dump, bool append) {
    TDumpDecoder decoder(table, id, dump, [this](const AnsiString& text, const AnsiString& caption) {
      messages.emplace_back(U(text), U(caption));
    });
    if (press)
      decoder.flash2vam(append);
    else
      decoder.flash2kiv7(append);
  }

  // Every row in table order, whatever the filter, with the fields asked for
  // joined by "|" (null values empty).
  std::vector<std::string> Rows(const std::vector<const char*>& fields) {
    std::vector<std::string> out;
    table.SetFiltered(false);
    for (table.GoFirst(); !table.Eof(); table.GoNext()) {
      std::string row;
      for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) row += "|";
        TField* f = table.FieldNamed(fields[i]);
        if (!f->HoldsNull()) row += U(f->GetStringValue());
      }
      out.push_back(row);
    }
    return out;
  }
};

}  // namespace flashtest

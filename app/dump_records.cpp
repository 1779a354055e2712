#include "app/dump_records.h"

#include <cstring>

#include "toolkit/core/binary.h"

namespace {

float rd_float(const uint8_t* p) {
  const uint32_t bits = rd_u32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

TRecordClock ClockFrom(const uint8_t* date, const uint8_t* time) {
  return TRecordClock{date[0], date[1], date[2], time[0], time[1], time[2]};
}

}  // namespace

uint16_t rd_u16(const uint8_t* p) { return GetLE16(p); }

uint32_t rd_u32(const uint8_t* p) { return GetLE32(p); }

TDumpHeader TDumpHeader::DecodeFrom(const uint8_t* d) { return TDumpHeader{rd_u16(d), rd_u16(d + 2)}; }

TPressRecord TPressRecord::DecodeFrom(const uint8_t* d) {
  TPressRecord r;
  r.H = d[1];
  r.Clock = ClockFrom(d + 2, d + 5);
  r.P = rd_u32(d + 14);
  r.RThousandths = rd_u32(d + 18);
  r.FirstLength = rd_u16(d + 14);
  r.SecondLength = rd_u16(d + 16);
  return r;
}

TAcousticRecord TAcousticRecord::DecodeFrom(const uint8_t* d) {
  TAcousticRecord r;
  r.H = d[1];
  r.Clock = ClockFrom(d + 2, d + 5);
  r.P = rd_float(d + 8);
  r.R = rd_float(d + 12);
  r.K = rd_float(d + 16);
  for (size_t i = 0; i < 3; ++i) r.X[i] = rd_float(d + 20 + 4 * i);
  return r;
}

TBendingRecord TBendingRecord::DecodeFrom(const uint8_t* d) {
  TBendingRecord r;
  r.RThousandths = rd_u16(d);
  r.PThousandths = rd_u16(d + 2);
  r.B = d[4];
  r.L = d[5];
  r.H = rd_u16(d + 6);
  r.Clock = ClockFrom(d + 13, d + 10);
  return r;
}

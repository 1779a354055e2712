// The byte layouts of the instrument's record dump, one type for each.
//
// The dump is the byte image of the instrument's memory (app/link.h). Its
// bytes 0-3 are the header words w1 (the number of bending records) and w2;
// the records start at offset 0 all the same, so the first record shares its
// first four bytes with the header. Integers are little-endian and unsigned,
// floats IEEE single precision, little-endian. Dates are three bytes: the
// year - 1980, the month and the day; times are hour, minute and second.
//
// Each type reads its Size bytes at a pointer that the caller has checked:
// the decoders never take a record that reaches past the transferred bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// The dump's little-endian unsigned integers at any alignment.
uint16_t rd_u16(const uint8_t* p);
uint32_t rd_u32(const uint8_t* p);

// A record's date and time bytes, as the instrument keeps them.
struct TRecordClock {
  uint8_t Year = 0;  // the year - 1980
  uint8_t Month = 0;
  uint8_t Day = 0;
  uint8_t Hour = 0;
  uint8_t Minute = 0;
  uint8_t Second = 0;
};

// Dump bytes 0-3.
struct TDumpHeader {
  static constexpr size_t Size = 4;
  // The number of bending records.
  uint16_t W1 = 0;
  uint16_t W2 = 0;

  static TDumpHeader DecodeFrom(const uint8_t* d);
};

// A record of the press instrument (a row of record kind 0).
//    0      not read
//    1      H, unsigned byte
//    2-4    date                 5-7  time
//    8-13   not read
//   14-17   P, unsigned 32-bit; the same bytes are the two 16-bit lengths of
//           TYPE in tenths of a millimetre (the instrument keeps no other
//           sample size)
//   18-21   R * 1000, unsigned 32-bit
struct TPressRecord {
  static constexpr size_t Size = 22;
  uint8_t H = 0;
  TRecordClock Clock;
  uint32_t P = 0;
  uint32_t RThousandths = 0;
  uint16_t FirstLength = 0;
  uint16_t SecondLength = 0;

  static TPressRecord DecodeFrom(const uint8_t* d);
};

// A record of the acoustic instrument (a row of record kind 1).
//    0      not read
//    1      H, unsigned byte
//    2-4    date                 5-7  time
//    8, 12, 16     floats p, r, k
//   20, 24, 28     floats x1, x2, x3
struct TAcousticRecord {
  static constexpr size_t Size = 32;
  uint8_t H = 0;
  TRecordClock Clock;
  float P = 0;
  float R = 0;
  float K = 0;
  float X[3] = {0, 0, 0};

  static TAcousticRecord DecodeFrom(const uint8_t* d);
};

// A bending record (a row of record kind 1), after the acoustic records.
//    0-1    R * 1000, unsigned 16-bit
//    2-3    P * 1000, unsigned 16-bit
//    4      b            5  l            6-7  h, unsigned 16-bit
//    8-9    not read
//   10-12   time         13-15  date
struct TBendingRecord {
  static constexpr size_t Size = 16;
  uint16_t RThousandths = 0;
  uint16_t PThousandths = 0;
  uint8_t B = 0;
  uint8_t L = 0;
  uint16_t H = 0;
  TRecordClock Clock;

  static TBendingRecord DecodeFrom(const uint8_t* d);
};

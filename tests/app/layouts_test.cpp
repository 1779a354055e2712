// The byte and character layouts of the instrument's replies, each read by
// its own type, against images written out byte by byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/dump_records.h"
#include "app/link.h"

namespace layouts_test {

// Bytes from "AA 07 1A ..." (two hex digits each), preceded by one byte so
// that every read starts at an odd address.
std::vector<uint8_t> Bytes(const char* hex) {
  std::vector<uint8_t> out{0xEE};
  unsigned value = 0;
  int consumed = 0;
  while (std::sscanf(hex, " %2x%n", &value, &consumed) == 1) {
    out.push_back(uint8_t(value));
    hex += consumed;
  }
  return out;
}

std::string Clock(const TRecordClock& c) {
  char text[64];
  std::snprintf(text, sizeof text, "%u-%u-%u %u:%u:%u", c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second);
  return text;
}

std::string Format(const char* format, double a = 0, double b = 0, double c = 0, double d = 0, double e = 0,
                   double f = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c, d, e, f);
  return text;
}

TEST(DumpLayouts, EachTypeReadsItsFieldsFromItsOffsets) {
  const struct {
    const char* what;
    const char* image;
    size_t size;  // the type's Size
    std::function<std::string(const uint8_t*)> read;
    const char* fields;
  } cases[] = {
      {"rd_u16", "FF 01", 2, [](const uint8_t* d) { return std::to_string(rd_u16(d)); }, "511"},
      {"rd_u32", "78 56 34 92", 4, [](const uint8_t* d) { return std::to_string(rd_u32(d)); }, "2452903544"},
      {"dump header", "01 02 03 84", TDumpHeader::Size,
       [](const uint8_t* d) {
         const TDumpHeader h = TDumpHeader::DecodeFrom(d);
         return std::to_string(h.W1) + " " + std::to_string(h.W2);
       },
       "513 33795"},
      {"press record",
       "AA 07 1A 05 0C 0A 1E 2D  FF FF FF FF FF FF  ED 03 E8 03  78 56 34 12", TPressRecord::Size,
       [](const uint8_t* d) {
         const TPressRecord r = TPressRecord::DecodeFrom(d);
         return "H=" + std::to_string(r.H) + " " + Clock(r.Clock) + " P=" + std::to_string(r.P) +
                " R=" + std::to_string(r.RThousandths) + " lengths=" + std::to_string(r.FirstLength) + "," +
                std::to_string(r.SecondLength);
       },
       "H=7 26-5-12 10:30:45 P=65537005 R=305419896 lengths=1005,1000"},
      {"acoustic record",
       "AA 2A 1A 05 0C 17 3B 3B  00 00 C0 3F  00 00 10 C0  00 00 C8 42  00 00 40 40  00 00 00 3F  CD CC CC 3D",
       TAcousticRecord::Size,
       [](const uint8_t* d) {
         const TAcousticRecord r = TAcousticRecord::DecodeFrom(d);
         return "H=" + std::to_string(r.H) + " " + Clock(r.Clock) +
                Format(" p=%g r=%g k=%g x=%g,%g,%.9g", r.P, r.R, r.K, r.X[0], r.X[1], r.X[2]);
       },
       "H=42 26-5-12 23:59:59 p=1.5 r=-2.25 k=100 x=3,0.5,0.100000001"},
      {"bending record", "39 30 C4 09 28 32 64 01 EE EE 0B 00 0F 1A 05 0C", TBendingRecord::Size,
       [](const uint8_t* d) {
         const TBendingRecord r = TBendingRecord::DecodeFrom(d);
         return "R=" + std::to_string(r.RThousandths) + " P=" + std::to_string(r.PThousandths) +
                " h=" + std::to_string(r.H) + " l=" + std::to_string(r.L) + " b=" + std::to_string(r.B) + " " +
                Clock(r.Clock);
       },
       "R=12345 P=2500 h=356 l=50 b=40 26-5-12 11:0:15"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Exactly the type's bytes, so that the sanitizers see a read past them.
    const std::vector<uint8_t> image = Bytes(c.image);
    ASSERT_EQ(image.size(), 1 + c.size);
    EXPECT_EQ(c.read(image.data() + 1), c.fields);
  }
}

// Encoding as the instrument does it: low nibble first.
std::string Pair(uint8_t b) { return {char('0' + (b & 15)), char('0' + (b >> 4))}; }

std::string Ident(const TIdentReply& r) {
  char text[128];
  std::snprintf(text, sizeof text, "family=%u subtype=%u date=%u.%u.%u serial=%u version=%u.%u.%u count=%u", r.Family,
                r.Subtype, r.Day, r.Month, r.Year, r.Serial, r.Version[0], r.Version[1], r.Version[2], r.RecordCount);
  return text;
}

TEST(IdentificationLayout, ReadsItsPairsAndChecksNothingElse) {
  // 'S', family 18, subtype 20, date 06-05-12, unread, serial 0xBEEF,
  // version 1.2.5, unread, record count 200.
  const std::string good = "S" + Pair(18) + Pair(20) + Pair(6) + Pair(5) + Pair(12) + "0" + Pair(0xEF) + Pair(0xBE) +
                           Pair(1) + Pair(2) + Pair(5) + "0" + Pair(200);
  ASSERT_EQ(good.size(), TIdentReply::Size);
  const std::string fields = "family=18 subtype=20 date=12.5.6 serial=48879 version=1.2.5 count=200";
  {
    const auto reply = TIdentReply::DecodeFrom(reinterpret_cast<const uint8_t*>(good.data()));
    ASSERT_TRUE(reply);
    EXPECT_EQ(Ident(*reply), fields);
  }
  // Each position in turn holds characters outside the payload's: only the
  // two the reply does not read (11 and 22) leave it readable, and the same.
  for (size_t at = 1; at < TIdentReply::Size; ++at) {
    for (char other : {'@', '/', 'x', ' ', '\xFF'}) {
      SCOPED_TRACE(std::to_string(at) + " '" + other + "'");
      std::string frame = good;
      frame[at] = other;
      const auto reply = TIdentReply::DecodeFrom(reinterpret_cast<const uint8_t*>(frame.data()));
      if (at == 11 || at == 22) {
        ASSERT_TRUE(reply);
        EXPECT_EQ(Ident(*reply), fields);
      } else {
        EXPECT_FALSE(reply);
      }
    }
  }
}

}  // namespace layouts_test

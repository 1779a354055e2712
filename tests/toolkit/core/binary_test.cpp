#include "toolkit/core/binary.h"

#include <gtest/gtest.h>

#include <string>

namespace binary_test {

TEST(Binary, IntegersByteOrder) {
  struct Case {
    int width;
    uint64_t value;
    std::string le;
  };
  const Case cases[] = {
      {2, 0x1234, "\x34\x12"},
      {2, 0xFFFE, "\xFE\xFF"},
      {4, 0x12345678, "\x78\x56\x34\x12"},
      {4, 0x80000001, std::string("\x01\x00\x00\x80", 4)},
      {8, 0x0102030405060708ull, "\x08\x07\x06\x05\x04\x03\x02\x01"},
      {8, 0xFFFFFFFF00000000ull, std::string("\0\0\0\0\xFF\xFF\xFF\xFF", 8)},
  };
  for (const Case& c : cases) {
    const std::string be(c.le.rbegin(), c.le.rend());
    // Reads at an odd offset, to be sure no aligned access is assumed.
    const std::string buffer = "x" + c.le;
    const std::string buffer_be = "x" + be;
    std::string le_out, be_out;
    uint64_t got_le = 0, got_be = 0;
    switch (c.width) {
      case 2:
        got_le = GetLE16(buffer.data() + 1);
        got_be = GetBE16(buffer_be.data() + 1);
        PutLE16(&le_out, static_cast<uint16_t>(c.value));
        PutBE16(&be_out, static_cast<uint16_t>(c.value));
        break;
      case 4:
        got_le = GetLE32(buffer.data() + 1);
        got_be = GetBE32(buffer_be.data() + 1);
        PutLE32(&le_out, static_cast<uint32_t>(c.value));
        PutBE32(&be_out, static_cast<uint32_t>(c.value));
        break;
      case 8:
        got_le = GetLE64(buffer.data() + 1);
        got_be = GetBE64(buffer_be.data() + 1);
        PutLE64(&le_out, c.value);
        PutBE64(&be_out, c.value);
        break;
    }
    EXPECT_EQ(got_le, c.value) << c.width;
    EXPECT_EQ(got_be, c.value) << c.width;
    EXPECT_EQ(le_out, c.le) << c.width;
    EXPECT_EQ(be_out, be) << c.width;
  }
}

TEST(Binary, PointerWritesTouchOnlyTheirBytes) {
  char buffer[12];
  std::fill(buffer, buffer + 12, '.');
  PutLE32(buffer + 1, 0x64636261);
  PutBE16(buffer + 5, 0x6566);
  PutLE16(buffer + 7, 0x6867);
  EXPECT_EQ(std::string(buffer, 12), ".abcdefgh...");
}

TEST(Binary, DoublesAreLittleEndianIeee) {
  struct Case {
    double value;
    std::string bytes;
  };
  const Case cases[] = {
      {1.0, std::string("\0\0\0\0\0\0\xF0\x3F", 8)},
      {-2.5, std::string("\0\0\0\0\0\0\x04\xC0", 8)},
      {0.1, "\x9A\x99\x99\x99\x99\x99\xB9\x3F"},
  };
  for (const Case& c : cases) {
    std::string out = "#";
    PutLEDouble(&out, c.value);
    EXPECT_EQ(out.substr(1), c.bytes) << c.value;
    EXPECT_EQ(GetLEDouble(out.data() + 1), c.value);
  }
}

}  // namespace binary_test

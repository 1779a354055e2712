// dump_decode: a dump file and an identity in, the rows as CSV out.
#include <gtest/gtest.h>

#include <string>

#include "tests/app/flash_support.h"
#include "tests/support/testsupport.h"

namespace flash_tool_test {

using flashtest::Acoustic;
using flashtest::Bending;
using flashtest::Press;
using flashtest::Stamp;

const char* const kHeader = "N,DATE,TIME,DEV_TYPE,SERIAL,NB_TYPE,P,R,ZAV,TYPE,COMMENT,H,T,K,A1,A2,A3,D1,D2,D3\n";

std::string Tool() { return std::string(KIV7_BINARY_DIR) + "/tools/dump_decode/dump_decode"; }

TEST(DumpDecodeTool, PrintsTheDecodedRowsAsCsv) {
  const std::string dir = testsupport::TempDir("dump_decode");
  std::string bending = Bending(Stamp{2006, 5, 12, 10, 0, 0}, 0, 1000) +
                        Bending(Stamp{2006, 5, 12, 11, 0, 0}, 2, 2000) +
                        Bending(Stamp{2006, 5, 12, 12, 0, 0}, 1234, 3001, 150, 40, 30);
  bending[0] = 3;  // w1: three bending records
  struct Case {
    const char* what;
    std::string dump;
    std::string args;
    int status;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {"press records, create mode",
       Press(Stamp{2006, 5, 12, 9, 5, 7}, 0x03E803ED, 12500, 7) + Press(Stamp{2006, 5, 12, 9, 6, 0}, 3, 1, 0),
       "--subtype 3 --serial 4321 --count 2", 0,
       std::string(kHeader) + "1,12.05.2006,09:05:07,3,4321,0,65537005,12.5,,\"100,5x100 мм\",,7,,,,,,,,\n" +
           "2,12.05.2006,09:06:00,3,4321,0,3,0.001,,\"0,3x0 мм\",,0,,,,,,,,\n",
       ""},
      {"acoustic records keep nine decimals", Acoustic(Stamp{2006, 5, 12, 10, 0, 0}, 20.5f, 40.25f, 0.1f, 5, 6, 7),
       "--subtype 20 --serial 77 --count 1", 0,
       std::string(kHeader) +
           "1,12.05.2006,10:00:00,20,77,1,20.5,40.25,,,,3,,0.100000001,25.399999999,26.399999999,27.399999999,"
           "14.850000001,13.850000001,12.850000001\n",
       ""},
      {"negative levels, zero without a sign", Acoustic(Stamp{2006, 5, 12, 10, 0, 0}, -0.0f, -0.5f, 0, 0.25f, -10, 10),
       "--subtype 20 --serial 77 --count 1", 0,
       std::string(kHeader) + "1,12.05.2006,10:00:00,20,77,1,0,-0.5,,,,3,,0,0.25,-10,10,-0.75,9.5,-10.5\n", ""},
      {"bending records after the last acoustic row", bending,
       "--subtype 20 --serial 77 --count 0 --last-acoustic '12.05.2006 11:00:00'", 0,
       std::string(kHeader) + "3,12.05.2006,12:00:00,20,77,1,3.001,1.234,,,HxLxB=150x40x30,,,,,,,,,\n",
       "Дополнение: Добавлено записей: 0\nДополнение: Добавлено записей: 1\n"},
      {"append without stored rows takes every record", Press(Stamp{2006, 5, 12, 9, 5, 7}, 5, 5000, 1),
       "--subtype 1 --serial 2 --count 1 --append", 0,
       std::string(kHeader) + "1,12.05.2006,09:05:07,1,2,0,5,5,,\"0,5x0 мм\",,1,,,,,,,,\n",
       "Дополнение: Добавлено записей: 1\n"},
      {"a failing record keeps the rows before it",
       Press(Stamp{2006, 5, 12, 9, 0, 0}, 1, 1000, 1) + Press(Stamp{2006, 5, 12, 9, 1, 0}, 123456789, 1000, 1),
       "--subtype 3 --serial 4321 --count 2", 1,
       std::string(kHeader) + "1,12.05.2006,09:00:00,3,4321,0,1,1,,\"0,1x0 мм\",,1,,,,,,,,\n",
       "dump_decode: Value does not fit field \"P\" of 18 characters.\n"},
      {"a last stamp without a date", Press(Stamp{2006, 5, 12, 9, 0, 0}),
       "--subtype 3 --serial 1 --count 1 --last-press 'x 10:00:00'", 1, kHeader,
       "dump_decode: 'x 10:00:00' is not a valid date and time\n"},
      {"a file larger than a dump", std::string(65537, '\0'), "--subtype 3 --serial 1 --count 1", 1, "", ""},
      {"a missing count", Press(Stamp{2006, 5, 12, 9, 0, 0}), "--subtype 3 --serial 1", 2, "", ""},
      {"a serial beyond 16 bits", Press(Stamp{2006, 5, 12, 9, 0, 0}), "--subtype 3 --serial 65536 --count 1", 2, "",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::WriteFile(dir + "/dump.bin", c.dump);
    std::string out;
    const int status =
        testsupport::RunCommand(Tool() + " " + c.args + " " + dir + "/dump.bin 2>" + dir + "/err.txt", &out);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(out, c.out);
    const std::string err = testsupport::ReadFile(dir + "/err.txt");
    if (c.status == 0 || !c.err.empty())
      EXPECT_EQ(err, c.err);
    else
      EXPECT_NE(err, "");
  }
}

}  // namespace flash_tool_test

// Decoding the memories the instrument simulator generates gives the rows its
// records describe: its stamps, its value ranges and the fields at its offsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/flash.h"
#include "tests/app/flash_support.h"
#include "tests/app/link_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/binary.h"

namespace flash_sim_test {

using flashtest::Bench;
using flashtest::Identity;

// The simulator's record stamps: 7 minutes apart from 12.05.2006 10:00, the
// seconds 13 apart, the day held at 28.
std::pair<std::string, std::string> SimulatorStamp(int k) {
  const int minutes = 10 * 60 + k * 7;
  const int day = std::min(12 + minutes / (24 * 60), 28);
  char date[32], time[32];
  std::snprintf(date, sizeof date, "%02d.05.2006", day);
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", minutes / 60 % 24, minutes % 60, k * 13 % 60);
  return {date, time};
}

struct SimulatorDecoding : ::testing::Test {
  std::string dir = testsupport::TempDir("flash_sim");

  // The memory image the simulator sends with these options.
  TRecordDump Memory(std::vector<std::string> args) {
    const std::string image_path = dir + "/image.bin";
    std::remove(image_path.c_str());
    args.insert(args.end(), {"--dump-out", image_path});
    linktest::Simulator sim(dir + "/instrument", args);
    EXPECT_TRUE(sim.Ready());
    const std::string image = testsupport::ReadFile(image_path);
    TRecordDump dump;
    std::copy(image.begin(), image.end(), dump.DumpBuffer.begin());
    dump.DumpLength = uint32_t(image.size());
    return dump;
  }
  static double Float(const TRecordDump& d, size_t at) {
    float f;
    const uint32_t bits = GetLE32(d.DumpBuffer.data() + at);
    std::memcpy(&f, &bits, 4);
    return f;
  }
};

TEST_F(SimulatorDecoding, PressMemoryGivesItsRecords) {
  const TRecordDump dump = Memory({"--press", "40", "--seed", "11"});
  Bench b;
  b.Decode(true, Identity(40, 3, 4321), dump, false);
  b.table.SetFiltered(false);
  ASSERT_EQ(b.table.StoredRowCount(), 40);
  int k = 0;
  for (b.table.GoFirst(); !b.table.Eof(); b.table.GoNext(), ++k) {
    SCOPED_TRACE(k);
    auto field = [&](const char* name) { return b.table.FieldNamed(name); };
    const size_t at = size_t(22 * k);
    EXPECT_EQ(field("N")->GetIntegerValue(), k + 1);
    EXPECT_EQ(field("DATE")->GetStringValue(), SimulatorStamp(k).first);
    EXPECT_EQ(field("TIME")->GetStringValue(), SimulatorStamp(k).second);
    EXPECT_EQ(field("DEV_TYPE")->GetIntegerValue(), 3);
    EXPECT_EQ(field("SERIAL")->GetIntegerValue(), 4321);
    EXPECT_EQ(field("NB_TYPE")->GetIntegerValue(), 0);
    const double p = field("P")->GetFloatValue(), r = field("R")->GetFloatValue();
    EXPECT_EQ(p, GetLE32(dump.DumpBuffer.data() + at + 14));
    EXPECT_TRUE(p >= 1000 && p < 901000) << p;
    EXPECT_DOUBLE_EQ(r, GetLE32(dump.DumpBuffer.data() + at + 18) / 1000.0);
    EXPECT_TRUE(r >= 5 && r < 65) << r;
    EXPECT_EQ(field("H")->GetFloatValue(), dump.DumpBuffer[at + 1]);
    EXPECT_LT(field("H")->GetFloatValue(), 100);
    // The lengths of TYPE are the two words of P.
    const uint32_t p_bits = GetLE32(dump.DumpBuffer.data() + at + 14);
    EXPECT_EQ(field("TYPE")->GetStringValue(), press_type_str(uint16_t(p_bits), uint16_t(p_bits >> 16)));
    EXPECT_TRUE(field("COMMENT")->HoldsNull());
  }
}

TEST_F(SimulatorDecoding, AcousticAndBendingMemoriesGiveTheirRecords) {
  struct Case {
    int acoustic, bending;
  };
  for (const Case c : {Case{25, 0}, Case{6, 4}, Case{0, 30}}) {
    SCOPED_TRACE(std::to_string(c.acoustic) + " acoustic, " + std::to_string(c.bending) + " bending");
    const TRecordDump dump =
        Memory({"--acoustic", std::to_string(c.acoustic), "--bending", std::to_string(c.bending), "--seed", "5"});
    Bench b;
    b.Decode(false, Identity(uint8_t(c.acoustic), 20, 77), dump, false);
    b.table.SetFiltered(false);
    // Bending records are imported only from an instrument without acoustic ones.
    ASSERT_EQ(b.table.StoredRowCount(), c.acoustic > 0 ? c.acoustic : c.bending);
    int k = 0;
    for (b.table.GoFirst(); !b.table.Eof(); b.table.GoNext(), ++k) {
      SCOPED_TRACE(k);
      auto field = [&](const char* name) { return b.table.FieldNamed(name); };
      EXPECT_EQ(field("N")->GetIntegerValue(), k + 1);
      EXPECT_EQ(field("DATE")->GetStringValue(), SimulatorStamp(k).first);
      EXPECT_EQ(field("TIME")->GetStringValue(), SimulatorStamp(k).second);
      EXPECT_EQ(field("NB_TYPE")->GetIntegerValue(), 1);
      EXPECT_EQ(field("DEV_TYPE")->GetIntegerValue(), 20);
      EXPECT_EQ(field("SERIAL")->GetIntegerValue(), 77);
      const double p = field("P")->GetFloatValue(), r = field("R")->GetFloatValue();
      if (c.acoustic > 0) {
        const size_t at = size_t(32 * k);
        EXPECT_NEAR(p, Float(dump, at + 8), 5e-10);
        EXPECT_NEAR(r, Float(dump, at + 12), 5e-10);
        EXPECT_NEAR(field("K")->GetFloatValue(), Float(dump, at + 16), 5e-10);
        for (double level : {p, r, field("K")->GetFloatValue()}) EXPECT_TRUE(level >= 20 && level <= 60) << level;
        for (int i = 0; i < 3; ++i) {
          const std::string a = "A" + std::to_string(i + 1), d = "D" + std::to_string(i + 1);
          EXPECT_NEAR(field(a.c_str())->GetFloatValue(),
                      Float(dump, at + 8) - Float(dump, at + 16) + Float(dump, at + 20 + 4 * i), 5e-10);
          EXPECT_NEAR(field(d.c_str())->GetFloatValue(), r - field(a.c_str())->GetFloatValue(), 1e-12);
        }
        EXPECT_TRUE(field("COMMENT")->HoldsNull());
      } else {
        const size_t at = size_t(16 * k);
        // The first record's R bytes are the header word: the bending count.
        EXPECT_DOUBLE_EQ(r, (k == 0 ? c.bending : GetLE16(dump.DumpBuffer.data() + at)) / 1000.0);
        EXPECT_TRUE(p >= 1 && p < 21) << p;
        const std::string comment = field("COMMENT")->GetStringValue();
        EXPECT_TRUE(comment == "HxLxB=100x40x40" || comment == "HxLxB=150x40x40" || comment == "HxLxB=200x40x40")
            << comment;
        EXPECT_TRUE(field("A1")->HoldsNull());
        EXPECT_TRUE(field("T")->HoldsNull());
      }
    }
  }
}

TEST_F(SimulatorDecoding, ReadingAnInstrumentAgainAddsOnlyItsNewRecords) {
  Bench b;
  const TRecordDump first = Memory({"--press", "6", "--seed", "3"});
  b.Decode(true, Identity(6), first, false);
  b.Decode(true, Identity(6), first, true);
  // The same seed makes the same first records; three more follow them.
  const TRecordDump later = Memory({"--press", "9", "--seed", "3"});
  b.Decode(true, Identity(9), later, true);
  EXPECT_EQ(b.messages, (std::vector<std::pair<std::string, std::string>>{{"Добавлено записей: 0", "Дополнение"},
                                                                          {"Добавлено записей: 3", "Дополнение"}}));
  std::vector<std::string> numbers;
  for (const std::string& row : b.Rows({"N", "TIME"})) numbers.push_back(row);
  EXPECT_EQ(numbers, (std::vector<std::string>{"1|10:00:00", "2|10:07:13", "3|10:14:26", "4|10:21:39", "5|10:28:52",
                                               "6|10:35:05", "7|10:42:18", "8|10:49:31", "9|10:56:44"}));
}

}  // namespace flash_sim_test

// The decoders: a dump and an identity become measurement rows in a table
// that converts numbers as a table file does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "app/flash.h"
#include "tests/app/flash_support.h"
#include "toolkit/core/sysutils.h"

namespace flash_decode_test {

using flashtest::Acoustic;
using flashtest::Bench;
using flashtest::Bending;
using flashtest::Dump;
using flashtest::Identity;
using flashtest::Press;
using flashtest::Stamp;

using Rows = std::vector<std::string>;
using Messages = std::vector<std::pair<std::string, std::string>>;

constexpr Stamp At(int day, int hour, int minute, int second) { return Stamp{2006, 5, day, hour, minute, second}; }

std::pair<std::string, std::string> Added(int n) { return {"Добавлено записей: " + std::to_string(n), "Дополнение"}; }

TEST(PressDecoder, CreateModeWritesEveryRecordInFieldOrder) {
  Bench b;
  const TRecordDump dump =
      Dump(Press(At(12, 9, 5, 7), 0x03E803EDu, 12500, 7) + Press(At(12, 10, 0, 0), 150000, 31250, 99));
  b.Decode(true, Identity(2, 3, 4321), dump, false);
  EXPECT_EQ(b.table.Filter(), "NB_TYPE=0");
  EXPECT_TRUE(b.table.Filtered());
  EXPECT_EQ(b.table.CurrentMode(), dsBrowse);
  EXPECT_TRUE(b.messages.empty());
  // 0x03E803ED: P 65537005, and the lengths 1005 and 1000; 150000: 18928 and 2.
  EXPECT_EQ(b.Rows({"N", "DATE", "TIME", "DEV_TYPE", "SERIAL", "NB_TYPE", "P", "R", "H", "TYPE", "ZAV", "T", "COMMENT",
                    "K", "D1"}),
            (Rows{"1|12.05.2006|09:05:07|3|4321|0|65537005|12,5|7|100,5x100 мм|||||",
                  "2|12.05.2006|10:00:00|3|4321|0|150000|31,25|99|1892,8x0,2 мм|||||"}));
}

TEST(PressDecoder, AppendSkipsRecordsNotNewerThanTheLastRowOfTheKind) {
  struct Case {
    const char* what;
    std::vector<Stamp> stored;  // kind-0 rows in file order (times on 12.05.2006 unless day given)
    std::vector<Stamp> records;
    int count;
    Rows rows;  // N|TIME of the added rows
  };
  const std::vector<Stamp> five = {At(12, 9, 0, 0), At(12, 10, 0, 0), At(12, 10, 0, 1), At(12, 11, 0, 0),
                                   At(13, 8, 0, 0)};
  const Case cases[] = {
      {"two older, one equal to the last row", {At(12, 10, 0, 0)}, five, 5, {"3|10:00:01", "4|11:00:00", "5|08:00:00"}},
      {"nothing newer", {At(14, 0, 0, 0)}, five, 5, {}},
      {"no rows of the kind: threshold 0",
       {},
       five,
       5,
       {"1|09:00:00", "2|10:00:00", "3|10:00:01", "4|11:00:00", "5|08:00:00"}},
      {"count 0", {At(1, 0, 0, 0)}, five, 0, {}},
      {"the skip stops at the first newer record",
       {At(12, 9, 30, 0)},
       {At(12, 9, 0, 0), At(12, 10, 0, 0), At(12, 8, 0, 0)},
       3,
       {"2|10:00:00", "3|08:00:00"}},
      {"the last row in file order, not the latest",
       {At(13, 0, 0, 0), At(12, 10, 0, 0)},
       five,
       5,
       {"3|10:00:01", "4|11:00:00", "5|08:00:00"}},
      {"a count below the records in the dump", {}, five, 2, {"1|09:00:00", "2|10:00:00"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bench b;
    // Rows of the other kind, later than everything, must not count.
    b.AddRow(1, "31.12.2030", "23:59:59");
    for (const Stamp& s : c.stored)
      b.AddRow(0, rec_date_str(uint8_t(s.year - 1980), uint8_t(s.month), uint8_t(s.day)).c_str(),
               rec_time_str(uint8_t(s.hour), uint8_t(s.minute), uint8_t(s.second)).c_str(), 77);
    std::string image;
    for (const Stamp& s : c.records) image += Press(s);
    b.Decode(true, Identity(uint8_t(c.count)), Dump(image), true);
    const Rows all = b.Rows({"N", "TIME", "NB_TYPE"});
    Rows added;
    for (size_t i = 1 + c.stored.size(); i < all.size(); ++i) {
      EXPECT_EQ(all[i].substr(all[i].size() - 2), "|0");
      added.push_back(all[i].substr(0, all[i].size() - 2));
    }
    EXPECT_EQ(added, c.rows);
    EXPECT_EQ(b.messages, Messages{Added(int(c.rows.size()))});
  }
}

TEST(Decoders, SetTheFieldsOfEachRowInTheirOrder) {
  struct Case {
    const char* what;
    bool press;
    int count;
    std::string image;
    int w1;
    std::string order;
  };
  const Case cases[] = {
      {"press", true, 1, Press(At(12, 10, 0, 0)), -1, "N TIME DATE DEV_TYPE SERIAL NB_TYPE P R H TYPE"},
      {"acoustic", false, 1, Acoustic(At(12, 10, 0, 0), 1, 2, 3, 4, 5, 6), -1,
       "N TIME DATE DEV_TYPE SERIAL NB_TYPE P R K A1 A2 A3 D1 D2 D3 H"},
      {"bending", false, 0, Bending(At(12, 10, 0, 0), 1, 2), 1, "N TIME DATE DEV_TYPE SERIAL NB_TYPE R P COMMENT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bench b;
    std::string order;
    for (int i = 0; i < b.table.QueryFieldCount(); ++i)
      b.table.Fields(i)->OnChange = [&order](TField* f) { order += (order.empty() ? "" : " ") + f->FieldName(); };
    b.Decode(c.press, Identity(uint8_t(c.count)), Dump(c.image, c.w1), false);
    EXPECT_EQ(order, c.order);
  }
}

TEST(AcousticDecoder, CreateModeComputesDifferencesFromTheStoredValues) {
  Bench b;
  std::string image = Acoustic(At(12, 10, 0, 0), 20.3f, 40.1f, 10.7f, 5.55f, 6.65f, 7.75f) +
                      Acoustic(At(12, 10, 5, 0), 33.33f, 41.7f, 12.1f, 0.1f, -0.2f, 1.3f, 50) +
                      Acoustic(At(12, 10, 9, 0), 1.0f / 3.0f, 2.0f / 3.0f, 0.1f, 0.7f, 0.11f, 0.013f);
  b.Decode(false, Identity(3, 20, 17), Dump(image), false);
  EXPECT_EQ(b.Rows({"N", "TIME", "DEV_TYPE", "SERIAL", "NB_TYPE", "H", "TYPE", "COMMENT", "T"}),
            (Rows{"1|10:00:00|20|17|1|3|||", "2|10:05:00|20|17|1|50|||", "3|10:09:00|20|17|1|3|||"}));
  b.table.SetFiltered(false);
  b.table.GoFirst();
  for (int row = 0; row < 3; ++row, b.table.GoNext()) {
    SCOPED_TRACE(row);
    const uint8_t* rec = reinterpret_cast<const uint8_t*>(image.data()) + 32 * row;
    auto level = [&](int offset) {
      float f;
      std::memcpy(&f, rec + offset, 4);
      return double(f);
    };
    auto field = [&](const char* name) { return b.table.FieldNamed(name)->GetFloatValue(); };
    // The table keeps nine decimals of each value.
    EXPECT_NEAR(field("P"), level(8), 5e-10);
    EXPECT_NEAR(field("R"), level(12), 5e-10);
    EXPECT_NEAR(field("K"), level(16), 5e-10);
    for (int i = 0; i < 3; ++i) {
      const std::string a = "A" + std::to_string(i + 1), d = "D" + std::to_string(i + 1);
      EXPECT_NEAR(field(a.c_str()), level(8) - level(16) + level(20 + 4 * i), 5e-10);
      // D is R - A of the row as it reads, not of the unrounded levels.
      EXPECT_NEAR(field(d.c_str()), field("R") - field(a.c_str()), 1e-12) << d;
    }
  }
}

TEST(AcousticDecoder, BendingRowsAreWrittenOnlyWithoutAcousticRecords) {
  // With no acoustic records the bending records start at offset 0, so the
  // first one's R is the header word w1.
  const std::string bending = Bending(Stamp{2006, 5, 12, 11, 0, 0}, 12345, 2500, 100, 40, 40) +
                              Bending(Stamp{2006, 5, 12, 11, 30, 15}, 65535, 0, 65535, 255, 1);
  struct Case {
    const char* what;
    bool append;
    int count;
    std::string image;
    int w1;
    Rows rows;
    Messages messages;
    std::string error;  // empty: none
  };
  const std::string acoustic = Acoustic(At(12, 10, 0, 0), 20, 40, 10, 5, 6, 7);
  const std::string impossible = Bending(Stamp{2006, 2, 31, 10, 0, 0}, 1, 1);
  const std::string acoustic_row = "1|10:00:00|12.05.2006|3|4321|1|40|20||";
  const Case cases[] = {
      {"bending only, create",
       false,
       0,
       bending,
       2,
       {"1|11:00:00|12.05.2006|3|4321|1|0,002|2,5|HxLxB=100x40x40|",
        "2|11:30:15|12.05.2006|3|4321|1|65,535|0|HxLxB=65535x255x1|"},
       {},
       ""},
      {"bending only, append",
       true,
       0,
       bending,
       2,
       {"1|11:00:00|12.05.2006|3|4321|1|0,002|2,5|HxLxB=100x40x40|",
        "2|11:30:15|12.05.2006|3|4321|1|65,535|0|HxLxB=65535x255x1|"},
       {Added(0), Added(2)},
       ""},
      {"acoustic records hide the bending ones",
       true,
       1,
       acoustic + bending,
       2,
       {"1|10:00:00|12.05.2006|3|4321|1|40|20||"},
       {Added(1), Added(0)},
       ""},
      // The skip of hidden bending records still reads their stamps against
      // the last kind-1 row, which is now the acoustic row just added; a day
      // the calendar lacks orders by its numbers, before May.
      {"hidden bending records are still stamped",
       true,
       1,
       acoustic + impossible,
       1,
       {acoustic_row},
       {Added(1), Added(0)},
       ""},
      {"the hidden skip stops at the first newer record",
       true,
       1,
       acoustic + Bending(Stamp{2006, 5, 12, 10, 0, 1}, 1, 1) + impossible,
       2,
       {acoustic_row},
       {Added(1), Added(0)},
       ""},
      {"hidden records not newer are skipped, the impossible one too",
       true,
       1,
       acoustic + Bending(Stamp{2006, 5, 12, 10, 0, 0}, 1, 1) + impossible,
       2,
       {acoustic_row},
       {Added(1), Added(0)},
       ""},
      {"create mode stamps nothing", false, 1, acoustic + impossible, 1, {acoustic_row}, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bench b;
    std::string error;
    try {
      b.Decode(false, Identity(uint8_t(c.count)), Dump(c.image, c.w1), c.append);
    } catch (const EConvertError& e) {
      error = e.Message();
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(b.Rows({"N", "TIME", "DATE", "DEV_TYPE", "SERIAL", "NB_TYPE", "R", "P", "COMMENT", "T"}), c.rows);
    EXPECT_EQ(b.messages, c.messages);
  }
}

TEST(AcousticDecoder, AppendSkipsOldBendingRecordsAndNumbersAfterThem) {
  Bench b;
  b.AddRow(1, "12.05.2006", "11:00:00", 1);
  const std::string image =
      Bending(Stamp{2006, 5, 12, 10, 0, 0}, 1000, 1000) + Bending(Stamp{2006, 5, 12, 11, 0, 0}, 2000, 2000) +
      Bending(Stamp{2006, 5, 12, 12, 0, 0}, 3000, 3000) + Bending(Stamp{2006, 5, 12, 13, 0, 0}, 4000, 4000);
  b.Decode(false, Identity(0), Dump(image, 4), true);
  EXPECT_EQ(b.Rows({"N", "TIME", "R"}), (Rows{"1|11:00:00|", "3|12:00:00|3", "4|13:00:00|4"}));
  EXPECT_EQ(b.messages, (Messages{Added(0), Added(2)}));
}

TEST(Decoders, RecordsPastTheDumpAreNeverRead) {
  struct Case {
    const char* what;
    bool press;
    int count;
    int w1;
    int records;     // whole records in the image
    int extra;       // bytes of a cut record after them
    int64_t length;  // DumpLength; -1: the image's size
    int rows;
  };
  const Case cases[] = {
      {"press count past the end", true, 255, -1, 3, 10, -1, 3},
      {"acoustic count past the end", false, 200, -1, 2, 31, -1, 2},
      {"bending w1 past the end", false, 0, 65535, 4, 15, -1, 4},
      {"a length beyond the buffer", true, 9, -1, 2, 0, 1000000, 2},
      {"a length shorter than the buffer", true, 5, -1, 5, 0, 22 * 2 + 21, 2},
      {"a length of 0", true, 5, -1, 5, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bench b;
    std::string image;
    for (int k = 0; k < c.records; ++k)
      image += c.press       ? Press(At(12, 10, k, 0))
               : c.count > 0 ? Acoustic(At(12, 10, k, 0), 1, 2, 3, 4, 5, 6)
                             : Bending(At(12, 10, k, 0), 1, 2);
    image += std::string(size_t(c.extra), '\x11');
    TRecordDump dump = Dump(image, c.w1);
    if (c.length >= 0) dump.DumpLength = uint32_t(c.length);
    b.Decode(c.press, Identity(uint8_t(c.count)), dump, true);
    EXPECT_EQ(b.table.StoredRowCount(), c.rows);
  }
  // Dumps shorter than the header word: the buffers are exactly that long.
  for (size_t length : {0, 1}) {
    Bench b;
    TRecordDump dump;
    dump.DumpBuffer.assign(length, 0x05);
    dump.DumpBuffer.shrink_to_fit();
    dump.DumpLength = uint32_t(length);
    b.Decode(false, Identity(0), dump, true);
    b.Decode(true, Identity(3), dump, true);
    EXPECT_EQ(b.table.StoredRowCount(), 0);
  }
}

TEST(Decoders, FailuresStopTheImportAndLeaveTheFailingRowUnposted) {
  struct Case {
    const char* what;
    bool press;
    bool append;
    std::string stored_date;  // a stored row of the pass's kind; empty: none
    std::string image;
    int count;
    std::string error;
    int rows;  // rows of the dump posted before the failure
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"a load beyond eight integer digits", true, false, "",
       Press(At(12, 1, 0, 0), 99999999) + Press(At(12, 2, 0, 0), 100000000) + Press(At(12, 3, 0, 0)), 3,
       "Value does not fit field \"P\" of 18 characters.", 1},
      {"the largest load", true, true, "", Press(At(12, 1, 0, 0), 0xFFFFFFFFu), 1,
       "Value does not fit field \"P\" of 18 characters.", 0},
      {"a level that is not a number", false, false, "",
       Acoustic(At(12, 1, 0, 0), 1, 2, 3, 4, 5, 6) + Acoustic(At(12, 2, 0, 0), nan, 2, 3, 4, 5, 6), 2,
       "Field \"P\" cannot hold a number that is not finite.", 1},
      {"an acoustic level too large", false, false, "", Acoustic(At(12, 1, 0, 0), 1, 2e9f, 3, 4, 5, 6), 1,
       "Value does not fit field \"R\" of 18 characters.", 0},
      {"a last row without date numbers", true, true, "--.--.2006", Press(At(12, 1, 0, 0)), 1,
       Utf8ToAnsi("Записи не добавлены: в строке N 1 дата и время \"--.--.2006 10:00:00\" не содержат чисел дня, "
                  "месяца и года, с которыми сравниваются новые записи."),
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bench b;
    if (!c.stored_date.empty()) b.AddRow(c.press ? 0 : 1, c.stored_date.c_str(), "10:00:00");
    const int before = b.table.StoredRowCount();
    std::string error = "no error";
    try {
      b.Decode(c.press, Identity(uint8_t(c.count)), Dump(c.image, 0), c.append);
    } catch (const Exception& e) {
      error = e.Message();
    }
    EXPECT_EQ(error, c.error);
    EXPECT_NE(b.table.CurrentMode(), dsInsert);
    EXPECT_EQ(b.table.StoredRowCount() - before, c.rows);
    EXPECT_TRUE(b.messages.empty());
  }
}

// Days the calendar lacks, as the instrument's clock writes them, order by
// their numbers: 31.02 after 28.02 and before 01.03, in the last row and in
// the records alike.
TEST(Decoders, AppendOrdersDaysTheCalendarLacksByTheirNumbers) {
  const std::string records = Press(Stamp{2006, 2, 27, 10, 0, 0}) + Press(Stamp{2006, 2, 28, 10, 0, 0}) +
                              Press(Stamp{2006, 2, 31, 10, 0, 0}) + Press(Stamp{2006, 3, 1, 10, 0, 0});
  const struct {
    const char* last;
    Rows added;
  } cases[] = {
      {"28.02.2006", {"3|31.02.2006", "4|01.03.2006"}},
      {"31.02.2006", {"4|01.03.2006"}},
      {"30.02.2006", {"3|31.02.2006", "4|01.03.2006"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.last);
    Bench b;
    b.AddRow(0, c.last, "10:00:00", 9);
    b.Decode(true, Identity(4), Dump(records, 0), true);
    Rows expected = {"9|" + std::string(c.last)};
    expected.insert(expected.end(), c.added.begin(), c.added.end());
    EXPECT_EQ(b.Rows({"N", "DATE"}), expected);
  }
}

TEST(Decoders, CreateModeImportsImpossibleDatesAsTheirText) {
  Bench b;
  b.Decode(true, Identity(1), Dump(Press(Stamp{2006, 2, 31, 24, 60, 75})), false);
  EXPECT_EQ(b.Rows({"DATE", "TIME"}), Rows{"31.02.2006|00:00:00"});
}

}  // namespace flash_decode_test

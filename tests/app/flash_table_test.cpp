// The decoders against a real table file: the same imports written through
// the table component and through the in-memory table give the same rows, and
// the rows survive closing and reopening the file as the main window does
// after an import.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/flash.h"
#include "dbf/dbf.h"
#include "tests/app/flash_support.h"
#include "tests/support/testsupport.h"

namespace flash_table_test {

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

const std::vector<const char*> kAllFields = {"N", "DATE", "TIME", "DEV_TYPE", "SERIAL", "NB_TYPE", "P", "R", "ZAV",
                                             "TYPE", "COMMENT", "H", "T", "K", "A1", "A2", "A3", "D1", "D2", "D3"};

// The measurement table in a file, set up as the main window sets Dbf1 up.
struct FileBench {
  std::string file;
  TComponent form{nullptr};
  TDbf table{&form};
  Messages messages;

  explicit FileBench(const std::string& dir) : file(dir + "/job.db") {
    table.SetTableLevel(4);
    table.SetExclusive(true);
    table.SetUseFloatFields(false);
    table.SetTableName(file);
    CreateMeasurementFields(table, &form);
    table.CreateTableFile();
    table.SetFiltered(true);
    table.Activate();
  }

  void Decode(bool press, const TInstrumentIdentity& id, const TRecordDump& dump, bool append) {
    TDumpDecoder decoder(table, id, dump, [this](const AnsiString& text, const AnsiString& caption) {
      messages.emplace_back(flashtest::U(text), flashtest::U(caption));
    });
    if (press)
      decoder.flash2vam(append);
    else
      decoder.flash2kiv7(append);
    // Saved by closing and reopening.
    table.Deactivate();
    table.Activate();
  }

  Rows AllRows() {
    Rows out;
    table.SetFiltered(false);
    for (table.GoFirst(); !table.Eof(); table.GoNext()) {
      std::string row;
      for (const char* name : kAllFields) {
        TField* f = table.FieldNamed(name);
        row += (row.empty() ? "" : "|") + (f->HoldsNull() ? std::string() : flashtest::U(f->GetStringValue()));
      }
      out.push_back(row);
    }
    table.SetFiltered(true);
    return out;
  }
};

Rows MemoryRows(Bench& b) { return b.Rows(kAllFields); }

TEST(DecodersOnATableFile, ImportsGiveTheRowsOfTheInMemoryTable) {
  const std::string press = Press(At(12, 9, 5, 7), 0x03E803EDu, 12500, 7) + Press(At(12, 10, 0, 0), 150000, 31250, 99);
  const std::string more_press = Press(At(12, 10, 0, 0)) + Press(At(13, 8, 0, 0), 2000, 1, 3);
  const std::string acoustic = Acoustic(At(12, 10, 0, 0), 20.3f, 40.1f, 10.7f, 5.55f, 6.65f, 7.75f) +
                               Acoustic(At(12, 10, 5, 0), 1.0f / 3.0f, 2.0f / 3.0f, 0.1f, 0.7f, 0.11f, 0.013f, 50);
  const std::string bending = Bending(Stamp{2006, 5, 14, 11, 0, 0}, 12345, 2500, 100, 40, 40);
  struct Step {
    bool press;
    TInstrumentIdentity id;
    TRecordDump dump;
    bool append;
  };
  const Step steps[] = {
      {true, Identity(2, 3, 4321), Dump(press), false},
      {false, Identity(2, 20, 17), Dump(acoustic), true},
      {true, Identity(2, 3, 4321), Dump(more_press), true},  // only the record of the 13th is new
      {false, Identity(0, 20, 17), Dump(bending, 1), true},
  };
  const std::string dir = testsupport::TempDir("flash");
  FileBench f(dir);
  Bench b;
  for (const Step& s : steps) {
    f.Decode(s.press, s.id, s.dump, s.append);
    b.Decode(s.press, s.id, s.dump, s.append);
  }
  const Rows rows = f.AllRows();
  EXPECT_EQ(rows, MemoryRows(b));
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(f.messages, b.messages);
  EXPECT_EQ(f.table.Filter(), "NB_TYPE=1") << "the kind of the last pass";
  EXPECT_EQ(testsupport::ReadFile(f.file).size(), size_t(673 + 408 * 6 + 1));

  // Under the filter of each kind the file shows its rows only.
  for (int kind : {kPressKind, kAcousticKind}) {
    f.table.SetFilter(KindFilter(kind));
    int n = 0;
    for (f.table.GoFirst(); !f.table.Eof(); f.table.GoNext(), ++n)
      EXPECT_EQ(f.table.FieldNamed("NB_TYPE")->GetIntegerValue(), kind);
    EXPECT_EQ(n, 3);
  }
}

}  // namespace flash_table_test

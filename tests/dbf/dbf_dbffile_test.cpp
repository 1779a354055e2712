#include "dbf/dbf_dbffile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "dbf/dbf_str.h"
#include "tests/dbf/dbf_fixtures.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/sysutils.h"

namespace dbf_dbffile_test {

using dbf_fixtures::RawField;
using dbf_fixtures::RawTable;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

std::unique_ptr<TDbfFile> OpenTable(const std::string& name, TPageFileMode mode = pmReadOnly) {
  auto t = std::make_unique<TDbfFile>();
  t->SetFileName(name);
  t->SetMode(mode);
  t->OpenAndReadHeader();
  return t;
}

const std::vector<RawField> kTwoFields = {{"NAME", 'C', 6, 0}, {"QTY", 'N', 4, 0}};

TEST(TableFile, VersionBytesGiveTheLevel) {
  const struct {
    uint8_t version, language;
    int level;
  } cases[] = {
      {0x03, 0xC9, 4}, {0x03, 0x00, 3}, {0xFB, 0x57, 4}, {0xFB, 0x00, 3}, {0x8B, 0x26, 4},
      {0xF5, 0x00, 25}, {0x02, 0x00, 25}, {0x30, 0x03, 25}, {0x31, 0x03, 25}, {0x83, 0x00, 3},
  };
  const std::string file = TempDir("levels") + "/t.dbf";
  for (const auto& c : cases) {
    WriteFile(file, RawTable(c.version, c.language, kTwoFields, {" abc     12"}));
    auto t = OpenTable(file);
    EXPECT_EQ(t->TableLevel(), c.level) << std::hex << int(c.version);
    EXPECT_EQ(t->RecordCount(), 1);
    EXPECT_EQ(t->FieldDefs().Count(), 2);
  }
}

TEST(TableFile, LanguageByteGivesTheCodePage) {
  const std::string file = TempDir("lang") + "/t.dbf";
  const struct {
    uint8_t id;
    unsigned file_cp, use_cp;
  } cases[] = {{0xC9, 1251, 1251}, {0x26, 866, 866}, {0x57, 1252, 1252}, {0x00, 0, 1251}, {0x21, 0, 1251},
               {0x69, 620, 1251}};  // Mazovia: a code page the converter lacks reads untranslated
  for (const auto& c : cases) {
    WriteFile(file, RawTable(0x03, c.id, kTwoFields));
    auto t = OpenTable(file);
    EXPECT_EQ(t->LanguageId(), c.id);
    EXPECT_EQ(t->FileCodePage(), c.file_cp) << int(c.id);
    EXPECT_EQ(t->UseCodePage(), c.use_cp) << "unknown drivers fall back to the ANSI code page";
  }
}

// Damaged headers are refused with the engine's message, never read past.
TEST(TableFile, DamagedFilesAreRefused) {
  std::string base = RawTable(0x03, 0xC9, kTwoFields, {" abc     12"});
  const auto with = [&](size_t at, std::initializer_list<int> bytes) {
    std::string s = base;
    size_t i = at;
    for (int b : bytes) s[i++] = char(b);
    return s;
  };
  const struct {
    const char* what;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"empty file", "", "Invalid DBF file."},
      {"unknown version", with(0, {0x07}), "Invalid DBF file."},
      {"header smaller than its fixed part", with(8, {40, 0}), "Invalid DBF file."},
      {"field longer than the record", with(32 + 32 + 16, {200}), "Invalid DBF file."},
      {"record size smaller than the fields", with(10, {5, 0}), "Invalid DBF file."},
      {"empty field name", with(32, {0}), "Invalid DBF file."},
      {"unknown type letter", with(32 + 11, {'X'}), "Invalid DBF file."},
      {"no fields", with(32, {0x0D}), "Invalid field count: 0 (must be between 1 and 4095)."},
      {"header size beyond the file", with(8, {0xFF, 0xFF}), nullptr},  // terminator missing: fields stop at the header
  };
  const std::string file = TempDir("bad") + "/t.dbf";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(file, c.bytes);
    try {
      auto t = OpenTable(file);
      if (c.message) { ADD_FAILURE() << "opened"; }
    } catch (const EDbfError& e) {
      if (c.message)
        EXPECT_EQ(e.Message(), c.message);
      else
        EXPECT_EQ(e.Message(), "Invalid DBF file.");
    }
  }
  // Header or record size 0: the open is abandoned quietly.
  WriteFile(file, with(10, {0, 0}));
  EXPECT_TRUE(OpenTable(file)->OpenAborted());
}

TEST(TableFile, WrongRecordCountIsCorrectedOnDiskOnlyWhenWritable) {
  const std::string file = TempDir("count") + "/t.dbf";
  std::string bytes = RawTable(0x03, 0xC9, kTwoFields, {" abc     12", " def     34"});
  bytes.resize(bytes.size() - 6);  // cut in the middle of the second record
  WriteFile(file, bytes);
  {
    auto t = OpenTable(file, pmReadOnly);
    EXPECT_EQ(t->RecordCount(), 1);
    EXPECT_EQ(t->HeaderRecordCount(), 1u);
    t->CloseAll();
  }
  EXPECT_EQ(ReadFile(file), bytes) << "a read-only open writes nothing";
  {
    auto t = OpenTable(file, pmExclusiveOpen);
    EXPECT_EQ(t->HeaderRecordCount(), 1u);
  }
  EXPECT_EQ(GetLE32(ReadFile(file).data() + 4), 1u);
}

TEST(TableFile, LongCharFieldsKeepTheirHighByteInTheDecimals) {
  const std::string file = TempDir("long") + "/t.dbf";
  WriteFile(file, RawTable(0x03, 0xC9, {{"MEMO", 'C', 300, 0}}));
  auto t = OpenTable(file);
  EXPECT_EQ(t->FieldDefs().Items(0)->Size(), 300);
  EXPECT_EQ(t->RecordSize(), 301);
}

// A descriptor at each level: its bytes at the places the format names, and
// decoding gives back what was encoded.
TEST(TableFile, FieldDescriptorsDecodeWhatTheyEncode) {
  struct Byte {
    int at;
    uint32_t value;
    int width;
  };
  const struct {
    int version;
    TDbfFieldDescriptor desc;
    std::vector<Byte> bytes;
  } cases[] = {
      {kDbfVersionDBase4, {"NAME", 'C', 300, 0, 0, 0}, {{0, 'N', 1}, {10, 0, 1}, {11, 'C', 1}, {16, 44, 1}, {17, 1, 1}}},
      {kDbfVersionDBase4, {"LONGEST_10", 'C', 65535, 0, 0, 0}, {{9, '0', 1}, {10, 0, 1}, {16, 255, 1}, {17, 255, 1}}},
      {kDbfVersionDBase3, {"QTY", 'N', 9, 2, 0, 0}, {{11, 'N', 1}, {16, 9, 1}, {17, 2, 1}, {12, 0, 4}}},
      {kDbfVersionFoxPro, {"AT", 'T', 8, 0, 1234, 0}, {{11, 'T', 1}, {12, 1234, 4}, {16, 8, 1}, {17, 0, 1}}},
      {kDbfVersionDBase7,
       {"A_NAME_OF_THE_FULL_31_CHARACTERS", '+', 4, 0, 0, 0x01020304},
       {{30, 'R', 1}, {31, 0, 1}, {32, '+', 1}, {33, 4, 1}, {34, 0, 1}, {42, 0x01020304, 4}}},
      {kDbfVersionDBase7, {"QTY", 'N', 20, 4, 0, 0}, {{32, 'N', 1}, {33, 20, 1}, {34, 4, 1}, {42, 0, 4}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.desc.Name);
    const int size = TDbfFieldDescriptor::Size(c.version);
    ASSERT_EQ(size, c.version == kDbfVersionDBase7 ? 48 : 32);
    std::vector<uint8_t> d(size_t(size), 0xEE);
    c.desc.EncodeTo(d.data(), c.version);
    for (const Byte& b : c.bytes)
      EXPECT_EQ(b.width == 1 ? uint32_t(d[size_t(b.at)]) : GetLE32(d.data() + b.at), b.value) << "byte " << b.at;
    const TDbfFieldDescriptor back = TDbfFieldDescriptor::DecodeFrom(d.data(), c.version);
    const AnsiString stored = c.desc.Name.substr(0, size_t(TDbfFieldDescriptor::NameLength(c.version)));
    EXPECT_EQ(back.Name, stored);
    EXPECT_EQ(back.Letter, c.desc.Letter);
    EXPECT_EQ(back.Length, c.desc.Length);
    EXPECT_EQ(back.Decimals, c.desc.Decimals);
    EXPECT_EQ(back.RecordOffset, c.desc.RecordOffset);
    EXPECT_EQ(back.AutoIncNext, c.desc.AutoIncNext);
    // Everything the level does not keep is zero.
    std::vector<uint8_t> again(size_t(size), 0);
    back.EncodeTo(again.data(), c.version);
    EXPECT_EQ(again, d);
  }
  // Bytes written independently of the engine decode and encode unchanged.
  const std::string raw = RawTable(0x03, 0xC9, {{"NAME", 'C', 300, 0}, {"PRICE", 'N', 12, 3}});
  for (int i = 0; i < 2; ++i) {
    const auto* d = reinterpret_cast<const uint8_t*>(raw.data()) + 32 + 32 * i;
    std::vector<uint8_t> out(32, 0xEE);
    TDbfFieldDescriptor::DecodeFrom(d, kDbfVersionDBase4).EncodeTo(out.data(), kDbfVersionDBase4);
    EXPECT_EQ(out, std::vector<uint8_t>(d, d + 32)) << "descriptor " << i;
  }
}

// The fixed 32 bytes of known tables: the fields read at the places the
// format names, and encoding them gives back the same bytes, the ones the
// engine does not use included.
TEST(TableFile, TableHeadersDecodeAndEncodeTheSameBytes) {
  struct Fields {
    uint8_t version, year, month, day;
    uint32_t count;
    uint16_t header_size, record_size;
    uint8_t flags, language;
  };
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    Fields fields;
  } cases[] = {
      {"dBase IV with memo and production index",
       {0x8B, 0x7E, 0x0C, 0x0B, 0x2C, 0x01, 0x00, 0x00, 0xA1, 0x00, 0x3D, 0x00, 0, 0, 0, 0,
        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0x01, 0xC9, 0, 0},
       {0x8B, 126, 12, 11, 300, 161, 61, 1, 0xC9}},
      {"dBase III, large count",
       {0x03, 0x63, 0x01, 0x1F, 0x78, 0x56, 0x34, 0x12, 0x61, 0x00, 0x10, 0x01, 0, 0, 0, 0,
        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0, 0},
       {0x03, 99, 1, 31, 0x12345678, 97, 272, 0, 0}},
      {"FoxPro with unused bytes set",
       {0x31, 0x7D, 0x06, 0x0F, 0x02, 0x00, 0x00, 0x00, 0x28, 0x03, 0x1E, 0x00, 0xA1, 0xA2, 0xA3, 0xA4,
        0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0x06, 0x03, 0xB1, 0xB2},
       {0x31, 125, 6, 15, 2, 808, 30, 6, 0x03}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.bytes.size(), size_t(TDbfTableHeader::kSize));
    const TDbfTableHeader h = TDbfTableHeader::DecodeFrom(c.bytes.data());
    const Fields& f = c.fields;
    EXPECT_EQ(h.Version, f.version);
    EXPECT_EQ(h.Year, f.year);
    EXPECT_EQ(h.Month, f.month);
    EXPECT_EQ(h.Day, f.day);
    EXPECT_EQ(h.RecordCount, f.count);
    EXPECT_EQ(h.HeaderSize, f.header_size);
    EXPECT_EQ(h.RecordSize, f.record_size);
    EXPECT_EQ(h.Flags, f.flags);
    EXPECT_EQ(h.LanguageId, f.language);
    std::vector<uint8_t> out(size_t(TDbfTableHeader::kSize), 0xEE);
    h.EncodeTo(out.data());
    EXPECT_EQ(out, c.bytes);
  }
}

TEST(TableFile, CompanionFilesAreFoundInAnyCase) {
  const std::string dir = TempDir("companion");
  std::string bytes = RawTable(0x83, 0x00, {{"NOTE", 'M', 10, 0}});
  bytes[28] = 1;
  WriteFile(dir + "/Data.DBF", bytes);
  WriteFile(dir + "/DATA.dbt", "");
  WriteFile(dir + "/data.MDX", "");
  auto t = OpenTable(dir + "/Data.DBF");
  EXPECT_TRUE(t->MemoFileExists());
  EXPECT_EQ(t->MemoFileName(), dir + "/DATA.dbt");
  EXPECT_EQ(t->ProductionIndexFileName(), dir + "/data.MDX");
  t->CloseAll();

  // A missing production index asks the handler; by default the link is dropped.
  const std::string lonely = dir + "/lonely.dbf";
  WriteFile(lonely, bytes);
  t = OpenTable(lonely);
  EXPECT_FALSE(t->MemoFileExists());
  EXPECT_EQ(t->Header()[28], 0);
  EXPECT_FALSE(t->OpenAborted());
  t = std::make_unique<TDbfFile>();
  t->SetFileName(lonely);
  bool asked = false;
  t->OnIndexMissing = [&](bool& delete_link) {
    asked = true;
    delete_link = false;
  };
  t->OpenAndReadHeader();
  EXPECT_TRUE(asked);
  EXPECT_TRUE(t->OpenAborted());
}

TEST(TableFile, LockFieldIsRecognised) {
  const std::string file = TempDir("lockfield") + "/t.dbf";
  WriteFile(file, RawTable(0x03, 0xC9, {{"A", 'C', 2, 0}, {"_DBASELOCK", 'C', 12, 0}}));
  auto t = OpenTable(file);
  EXPECT_TRUE(t->HasLockField());
  EXPECT_EQ(t->LockFieldOffset(), 3);
  EXPECT_EQ(t->LockFieldLength(), 12);
  EXPECT_LE(t->LockUserLength(), 4);
  EXPECT_TRUE(t->FieldDefs().Items(1)->IsLockField());
  WriteFile(file, RawTable(0x03, 0xC9, {{"A", 'C', 2, 0}, {"_DBASELOCK", 'C', 6, 0}}));
  EXPECT_FALSE(OpenTable(file)->HasLockField()) << "too short to hold a stamp";
}

// A dBase 7 header written byte by byte: driver name and a properties block.
std::string DBase7Table(const std::string& driver, const std::string& block) {
  const int header_size = 68 + 48 + 1 + int(block.size());
  std::string h(size_t(header_size), '\0');
  h[0] = 4;
  PutLE16(h.data() + 8, uint16_t(header_size));
  PutLE16(h.data() + 10, 1 + 5);
  driver.copy(h.data() + 32, 32);
  std::string("QTY").copy(h.data() + 68, 32);
  h[68 + 32] = 'N';
  h[68 + 33] = 5;
  h[68 + 48] = 0x0D;
  block.copy(h.data() + 68 + 48 + 1, block.size());
  return h + "\x1A";
}

TEST(TableFile, DBase7LanguageNameAndProperties) {
  const std::string file = TempDir("db7") + "/t.dbf";
  const struct {
    const char* driver;
    unsigned cp;
    uint8_t id;
  } names[] = {{"DBWINUS0", 1252, 0x57}, {"DB1251RU0", 1251, 0}, {"DB866RU0", 866, 0x26},
               {"DBHEBREW", 1255, 0},   {"", 0, 0},             {"FOXDE437", 437, 0x5E}};
  for (const auto& n : names) {
    WriteFile(file, DBase7Table(n.driver, ""));
    auto t = OpenTable(file);
    EXPECT_EQ(t->TableLevel(), 7);
    EXPECT_EQ(t->FileCodePage(), n.cp) << n.driver;
    EXPECT_EQ(t->LanguageId(), n.id) << n.driver;
    EXPECT_EQ(t->LanguageDriverName(), n.driver);
  }

  // Block: 2 descriptors from offset 16; a default "00042" for field 1, a
  // required flag, and a descriptor whose value lies outside the header.
  std::string block(16 + 3 * 15 + 5, '\0');
  PutLE16(block.data(), 3);
  PutLE16(block.data() + 2, 16);
  char* d = block.data() + 16;
  PutLE16(d + 2, 1);
  d[4] = 4;
  PutLE16(d + 11, 16 + 45);
  PutLE16(d + 13, 5);
  d += 15;
  PutLE16(d + 2, 1);
  d[4] = 1;
  d += 15;
  PutLE16(d + 2, 1);
  d[4] = 2;
  PutLE16(d + 11, 60000);
  PutLE16(d + 13, 5);
  std::string("00042").copy(block.data() + 16 + 45, 5);
  WriteFile(file, DBase7Table("DBWINUS0", block));
  auto t = OpenTable(file);
  const TDbfFieldDef* qty = t->FieldDefs().Items(0);
  EXPECT_TRUE(qty->HasDefault());
  EXPECT_EQ(std::string(qty->DefaultBuf().begin(), qty->DefaultBuf().end()), "00042");
  EXPECT_TRUE(qty->Required());
  EXPECT_FALSE(qty->HasMin()) << "a value outside the header is skipped";
  // A descriptor table that runs past the header is cut off there.
  PutLE16(block.data(), 60000);
  WriteFile(file, DBase7Table("DBWINUS0", block));
  EXPECT_NO_THROW(OpenTable(file));
}

TDbfFieldDefs& Defs(TDbfFieldDefs& defs, int version, std::initializer_list<RawField> fields) {
  defs.SetDbfVersion(version);
  for (const auto& f : fields) {
    TDbfFieldDef* def = defs.AddFieldDef();
    def->SetFromDescriptor(f.name, f.letter, f.length, f.decimals);
    def->SetNativeFieldType(f.letter);
  }
  return defs;
}

std::string Create(const std::string& file, int version, const TDbfFieldDefs& defs) {
  TDbfFile t;
  t.SetFileName(file);
  t.SetMode(pmExclusiveCreate);
  t.SetDbfVersion(version);
  t.OpenAndReadHeader();
  t.WriteNewHeader(defs, 512);
  t.CloseAll();
  return ReadFile(file);
}

TEST(TableFile, NewTablesByLevel) {
  const std::string file = TempDir("create") + "/t.dbf";
  const TNowSource saved = SetNowSource([] { return 45351.5; });  // 2024-02-29
  const struct {
    int version;
    std::initializer_list<RawField> fields;
    uint8_t version_byte;
    int header_size, record_size;
    uint8_t language;
  } cases[] = {
      {kDbfVersionDBase4, {{"NAME", 'C', 300, 0}, {"QTY", 'N', 9, 0}}, 0x03, 32 + 64 + 1, 310, 0xC9},
      {kDbfVersionDBase3, {{"NAME", 'C', 5, 0}}, 0x03, 32 + 32 + 1, 6, 0},
      {kDbfVersionDBase3, {{"NOTE", 'M', 10, 0}}, 0x83, 65, 11, 0},
      {kDbfVersionDBase4, {{"NOTE", 'M', 10, 0}}, 0x8B, 65, 11, 0xC9},
      {kDbfVersionFoxPro, {{"NAME", 'C', 5, 0}}, 0x02, 32 + 32 + 1 + 263, 6, 0xC9},
      {kDbfVersionFoxPro, {{"ID", '+', 4, 0}, {"AT", 'T', 8, 0}}, 0x31, 32 * 2 + 32 + 1 + 263, 13, 0xC9},
      {kDbfVersionFoxPro, {{"AT", 'T', 8, 0}}, 0x30, 32 + 32 + 1 + 263, 9, 0xC9},
      {kDbfVersionFoxPro, {{"NOTE", 'M', 10, 0}}, 0xF5, 32 + 32 + 1 + 263, 11, 0xC9},
      {kDbfVersionDBase7, {{"LONG_FIELD_NAME_OF_20", 'I', 4, 0}}, 0x04, 68 + 48 + 1, 5, 0},
  };
  for (const auto& c : cases) {
    const std::string bytes = Create(file, c.version, Defs(*std::make_unique<TDbfFieldDefs>(), c.version, c.fields));
    SCOPED_TRACE(c.version);
    ASSERT_EQ(bytes.size(), size_t(c.header_size) + 1);
    EXPECT_EQ(uint8_t(bytes[0]), c.version_byte);
    EXPECT_EQ(bytes.substr(1, 3), std::string("\x7C\x02\x1D", 3)) << "date of today";
    EXPECT_EQ(GetLE32(bytes.data() + 4), 0u);
    EXPECT_EQ(GetLE16(bytes.data() + 8), c.header_size);
    EXPECT_EQ(GetLE16(bytes.data() + 10), c.record_size);
    EXPECT_EQ(uint8_t(bytes[29]), c.language);
    EXPECT_EQ(bytes.back(), '\x1A');
    auto t = OpenTable(file);
    EXPECT_EQ(t->FieldDefs().Count(), int(c.fields.size()));
    EXPECT_EQ(t->FieldDefs().Items(0)->FieldName(), AnsiString(c.fields.begin()->name).substr(0, c.version == kDbfVersionDBase7 ? 31 : 10));
    if (c.version == kDbfVersionDBase7) { EXPECT_EQ(t->LanguageDriverName(), "DB1251RU0"); }
  }
  SetNowSource(saved);

  // Descriptor bytes: a 'C' of 300 keeps its high byte in the decimals; a
  // FoxPro descriptor holds the field's offset in the record (others zero).
  TDbfFieldDefs db4, fox;
  std::string bytes = Create(file, kDbfVersionDBase4, Defs(db4, kDbfVersionDBase4, {{"NAME", 'C', 300, 0}, {"QTY", 'N', 9, 2}}));
  const struct {
    size_t at;
    uint32_t value;
    int width;
  } db4_bytes[] = {{32 + 11, 'C', 1}, {32 + 16, 44, 1}, {32 + 17, 1, 1}, {32 + 12, 0, 4},
                   {64 + 11, 'N', 1}, {64 + 16, 9, 1},  {64 + 17, 2, 1}, {64 + 12, 0, 4}};
  for (const auto& b : db4_bytes)
    EXPECT_EQ(b.width == 1 ? uint8_t(bytes[b.at]) : GetLE32(bytes.data() + b.at), b.value) << "dBase IV byte " << b.at;
  bytes = Create(file, kDbfVersionFoxPro, Defs(fox, kDbfVersionFoxPro, {{"ID", '+', 4, 0}, {"AT", 'T', 8, 0}, {"S", 'C', 3, 0}}));
  for (const auto& [at, offset] : {std::pair{32 + 12, 1u}, {64 + 12, 5u}, {96 + 12, 13u}})
    EXPECT_EQ(GetLE32(bytes.data() + at), offset) << "FoxPro descriptor at " << at;
  EXPECT_EQ(uint8_t(bytes[128]), 0x0D);
}

TEST(TableFile, CreationChecksItsLimitsFirst) {
  const struct {
    const char* what;
    int version;
    std::vector<RawField> fields;
    const char* message;
  } cases[] = {
      {"names equal once cut", kDbfVersionDBase4, {{"MEASURE_001", 'C', 5, 0}, {"measure_002", 'C', 5, 0}},
       "Duplicate field name \"MEASURE_00\"."},
      {"empty name", kDbfVersionDBase4, {{"", 'C', 5, 0}}, "A field has no name."},
      {"no fields", kDbfVersionDBase4, {}, "Invalid field count: 0 (must be between 1 and 4095)."},
      {"record too large", kDbfVersionDBase4, {{"A", 'C', 65534, 0}, {"B", 'C', 10, 0}},
       "Record too large: 65545 bytes (at most 65535)."},
  };
  const std::string file = TempDir("limits") + "/t.dbf";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TDbfFieldDefs defs;
    defs.SetDbfVersion(c.version);
    for (const auto& f : c.fields) {
      TDbfFieldDef* def = defs.AddFieldDef();
      def->SetFromDescriptor(f.name, f.letter, f.length, f.decimals);
    }
    try {
      TDbfFile::CheckNewTable(defs, c.version);
      ADD_FAILURE() << "accepted";
    } catch (const EDbfError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  // 2100 fields make a header beyond 65535 bytes.
  TDbfFieldDefs many;
  for (int i = 0; i < 2100; ++i) many.AddFieldDef()->SetFromDescriptor("F" + std::to_string(i), 'L', 1, 0);
  try {
    TDbfFile::CheckNewTable(many, kDbfVersionDBase4);
    ADD_FAILURE();
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Table header too large: 67233 bytes (at most 65535).");
  }
}

TEST(TableFile, ClosingAWritableTableRestampsDateAndEndMark) {
  const std::string file = TempDir("close") + "/t.dbf";
  std::string bytes = RawTable(0x03, 0xC9, kTwoFields, {" abc     12"});
  bytes.pop_back();  // no end mark
  WriteFile(file, bytes);
  const TNowSource saved = SetNowSource([] { return 45351.5; });
  {
    auto t = OpenTable(file, pmExclusiveOpen);
    t->StoreHeader();
    t->CloseAll();
  }
  SetNowSource(saved);
  const std::string after = ReadFile(file);
  EXPECT_EQ(after.substr(1, 3), std::string("\x7C\x02\x1D", 3));
  EXPECT_EQ(after.size(), bytes.size() + 1);
  EXPECT_EQ(after.back(), '\x1A');
  EXPECT_EQ(after.substr(4), bytes.substr(4) + "\x1A");
}

TEST(TableFile, MeasurementTableLayout) {
  const std::string file = TempDir("measure") + "/m.db";
  TDbfFieldDefs defs;
  defs.SetDbfVersion(kDbfVersionDBase4);
  defs.SetUseFloatFields(false);
  const struct {
    const char* name;
    TFieldType type;
    int size;
  } fields[] = {{"N", ftInteger, 0},  {"DATE", ftString, 10}, {"NB_TYPE", ftSmallint, 0}, {"P", ftFloat, 0}};
  for (const auto& f : fields) {
    TDbfFieldDef* def = defs.AddFieldDef();
    def->SetFieldName(f.name);
    def->SetFieldType(f.type);
    if (f.size)
      def->SetSize(f.size);
    else
      def->SetDefaultSize();
  }
  Create(file, kDbfVersionDBase4, defs);
  auto t = std::make_unique<TDbfFile>();
  t->SetFileName(file);
  t->SetUseFloatFields(false);
  t->OpenAndReadHeader();
  const struct {
    char letter;
    int size, decimals;
    TFieldType type;
  } want[] = {{'N', 9, 0, ftInteger}, {'C', 10, 0, ftString}, {'N', 4, 0, ftSmallint}, {'N', 18, 9, ftFloat}};
  for (int i = 0; i < 4; ++i) {
    const TDbfFieldDef* def = t->FieldDefs().Items(i);
    EXPECT_EQ(def->NativeFieldType(), want[i].letter);
    EXPECT_EQ(def->Size(), want[i].size);
    EXPECT_EQ(def->Precision(), want[i].decimals);
    EXPECT_EQ(def->FieldType(), want[i].type);
  }
  EXPECT_EQ(t->FindField("nb_type"), t->FieldDefs().Items(2));
  EXPECT_EQ(t->FindField("nothing"), nullptr);
}

}  // namespace dbf_dbffile_test

// The table component: properties, folders, opening, creating and closing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "dbf/dbf_prsdef.h"
#include "dbf/dbf_str.h"
#include "tests/dbf/table_support.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/sys/files.h"

namespace table_open_test {

using namespace table_support;
using namespace testsupport;

std::string FixedBase() { return "/base/app"; }

// Runs the test with FixedBase as the default base folder.
struct BaseFolder {
  TDbfBasePathRoutine previous = SetDbfBasePathRoutine(&FixedBase);
  ~BaseFolder() { SetDbfBasePathRoutine(previous); }
};

TEST(TableProperties, DefaultsOfANewComponent) {
  TDbf t(nullptr);
  EXPECT_EQ(t.DateTimeHandling(), dtBDETimeStamp);
  EXPECT_FALSE(t.Exclusive());
  EXPECT_EQ(t.FilePath(), "");
  EXPECT_EQ(t.FilePathFull(), DbfDefaultBasePath());
  EXPECT_EQ(t.IndexName(), "");
  EXPECT_EQ(t.IndexFieldNames(), "");
  EXPECT_EQ(t.OpenMode(), omNormal);
  EXPECT_FALSE(t.ReadOnly());
  EXPECT_FALSE(t.ShowDeleted());
  EXPECT_EQ(t.Storage(), stoFile);
  EXPECT_FALSE(t.StoreDefs());
  EXPECT_EQ(t.TableName(), "");
  EXPECT_EQ(t.TableLevel(), 4);
  EXPECT_TRUE(t.UseFloatFields());
  EXPECT_EQ(t.Version(), "6.38");
  t.SetVersion("1.00");
  EXPECT_EQ(t.Version(), "6.38");
  // The default base folder is the executable's.
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  EXPECT_EQ(DbfDefaultBasePath(), ExtractFilePath(std::string(self, size_t(n))));
}

TEST(TableProperties, PublishedDefaultsAreWhatANewComponentHolds) {
  TDbf t(nullptr);
  EXPECT_EQ(t.ClassName(), "TDbf");
  for (const char* name : {"DateTimeHandling", "Exclusive", "OpenMode", "ReadOnly", "ShowDeleted", "Storage",
                           "StoreDefs", "TableLevel", "UseFloatFields"}) {
    const TPropInfo* prop = GetPropInfo(&t, name);
    ASSERT_NE(prop, nullptr) << name;
    ASSERT_TRUE(prop->Default.has_value()) << name;
    EXPECT_EQ(GetOrdProp(&t, *prop), *prop->Default) << name;
  }
  for (const char* name : {"FilePath", "FilePathFull", "IndexFieldNames", "IndexName", "TableName", "Version"})
    EXPECT_NE(GetPropInfo(&t, name), nullptr) << name;
  SetEnumProp(&t, FindPropInfo(&t, "OpenMode"), "omTemporary");
  EXPECT_EQ(t.OpenMode(), omTemporary);
  SetStrProp(&t, "TableName", "/data/x.db");
  EXPECT_EQ(t.TableName(), "x.db");
  EXPECT_EQ(GetStrProp(&t, "FilePathFull"), "/data/");
  SetStrProp(&t, "Version", "0.01");
  EXPECT_EQ(GetStrProp(&t, "Version"), "6.38");
}

TEST(TableProperties, FolderAndTableNameResolveAgainstTheBaseFolder) {
  BaseFolder base;
  const struct {
    const char* path;
    const char* file_path;
    const char* full;
  } cases[] = {
      {"", "", "/base/app/"},
      {"tables", "tables/", "/base/app/tables/"},
      {"tables/", "tables/", "/base/app/tables/"},
      {"../up/./x", "../up/./x/", "/base/up/x/"},
      {"/data/jobs", "/data/jobs/", "/data/jobs/"},
  };
  for (const auto& c : cases) {
    TDbf t(nullptr);
    t.SetFilePath(c.path);
    EXPECT_EQ(t.FilePath(), c.file_path) << c.path;
    EXPECT_EQ(t.FilePathFull(), c.full) << c.path;
    t.SetFilePathFull(c.path);
    EXPECT_EQ(t.FilePathFull(), c.full) << c.path;
  }
  TDbf t(nullptr);
  t.SetTableName("/data/jobs/job 1.db");
  EXPECT_EQ(t.TableName(), "job 1.db");
  EXPECT_EQ(t.FilePath(), "/data/jobs/");
  EXPECT_EQ(t.FilePathFull(), "/data/jobs/");
  t.SetTableName("other.db");
  EXPECT_EQ(t.TableName(), "other.db");
  EXPECT_EQ(t.FilePathFull(), "/data/jobs/") << "a bare name keeps the folder";
  EXPECT_EQ(t.CompleteIndexName("tab1"), "tab1");
  EXPECT_EQ(t.CompleteIndexName("idx/by_p.ndx"), "/data/jobs/idx/by_p.ndx");
}

TEST(TableProperties, TableLevelTakesOnlyTheFourLevels) {
  const struct {
    int value, level;
  } cases[] = {{3, 3}, {7, 7}, {25, 25}, {4, 4}, {0, 4}, {5, 4}, {26, 4}, {-3, 4}, {2, 4}};
  for (const auto& c : cases) {
    TDbf t(nullptr);
    t.SetTableLevel(c.value);
    EXPECT_EQ(t.TableLevel(), c.level) << c.value;
  }
}

TEST(TableProperties, FolderLevelAndStorageRefuseAnOpenTable) {
  const std::string dir = TempDir("open");
  auto t = Table(WriteTable(dir, {Rec(1, "a", 0)}));
  t->Activate();
  EXPECT_THROW(
      try { t->SetFilePath(dir); } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Cannot perform this operation on an open dataset");
        throw;
      },
      EDatabaseError);
  EXPECT_THROW(t->SetTableLevel(3), EDatabaseError);
  EXPECT_THROW(t->SetStorage(stoMemory), EDatabaseError);
  EXPECT_EQ(t->TableLevel(), 4);
  EXPECT_EQ(t->FilePathFull(), dir + "/");
}

// ---- opening ------------------------------------------------------------------------------

TEST(TableOpen, FailuresNameTheCauseAndLeaveTheSetClosed) {
  const std::string dir = TempDir("fail");
  WriteFile(dir + "/bad.dbf", std::string("\x07\x7C\x01\x02", 4) + std::string(60, '\0'));
  std::string no_fields = dbf_fixtures::RawTable(0x03, 0xC9, {}, {}, 32);
  no_fields.pop_back();  // no end mark: with 1-byte records it would count as a record
  WriteFile(dir + "/nofields.dbf", no_fields);
  const struct {
    const char* name;
    std::string message;
  } cases[] = {
      {"missing.dbf", "Open: file not found: \"" + dir + "/missing.dbf\"."},
      {"bad.dbf", "Invalid DBF file."},
      {"nofields.dbf", "Invalid field count: 0 (must be between 1 and 4095)."},
  };
  for (const auto& c : cases) {
    const std::string before = FileExists(dir + "/" + c.name) ? ReadFile(dir + "/" + c.name) : "";
    auto t = Table(dir + "/" + c.name);
    try {
      t->Activate();
      ADD_FAILURE() << c.name << " opened";
    } catch (const Exception& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_FALSE(t->QueryActive());
    EXPECT_EQ(t->DbfFile(), nullptr);
    // A file that failed to open is not stamped with a date or an end mark.
    if (!before.empty()) {
      EXPECT_EQ(ReadFile(dir + "/" + c.name), before) << c.name;
    }
  }
}

TEST(TableOpen, LevelAndFieldsComeFromTheFile) {
  const std::string dir = TempDir("level");
  const std::string file = dir + "/t.dbf";
  WriteFile(file, dbf_fixtures::RawTable(0x03, 0x00, table_support::kFields, {Rec(5, "five", 1)}));
  auto t = Table(file);
  t->SetTableLevel(7);
  t->SetUseFloatFields(false);
  t->Activate();
  EXPECT_EQ(t->TableLevel(), 3) << "language byte 0: dBase III";
  ASSERT_EQ(t->QueryFieldCount(), 3);
  EXPECT_EQ(t->Fields(0)->DataType(), ftSmallint);
  EXPECT_EQ(t->Fields(1)->DataType(), ftString);
  EXPECT_EQ(t->Fields(1)->Size(), 8);
  EXPECT_EQ(t->FieldNamed("N")->GetIntegerValue(), 5);
  EXPECT_FALSE(t->StoreDefs()) << "reading the definitions is no change of them";
  t->Deactivate();
  EXPECT_EQ(t->QueryFieldCount(), 0) << "default fields go with the open";
  t->FieldDefs().AppendNamedDef("EXTRA", ftString, 4);
  EXPECT_TRUE(t->StoreDefs());
}

TEST(TableOpen, RepeatedNamesAreNumberedAndTheLockFieldIsHidden) {
  const std::string dir = TempDir("dup");
  const std::string file = dir + "/t.dbf";
  WriteFile(file, dbf_fixtures::RawTable(0x03, 0xC9, {{"A", 'C', 2, 0}, {"A", 'C', 3, 0}, {"_DBASELOCK", 'C', 16, 0}},
                                         {" xyzzz" + std::string(16, ' ')}));
  auto t = Table(file);
  t->FieldDefs().Reload();
  ASSERT_EQ(t->FieldDefs().Count(), 3);
  EXPECT_EQ(t->FieldDefs().DefAt(1)->Name(), "A2");
  EXPECT_TRUE(t->FieldDefs().DefAt(2)->Attributes().Contains(faHiddenCol));
  EXPECT_FALSE(t->QueryActive()) << "the definitions are read without opening the set";
  t->Activate();
  ASSERT_EQ(t->QueryFieldCount(), 2) << "no field for the hidden lock field";
  EXPECT_EQ(t->FieldNamed("A")->GetStringValue(), "xy");
  EXPECT_EQ(t->FieldNamed("A2")->GetStringValue(), "zzz");
}

TEST(TableOpen, ClosingStampsTheDateUnlessReadOnly) {
  const std::string dir = TempDir("stamp");
  int year, month, day;
  DecodeDate(Date(), year, month, day);
  for (bool read_only : {false, true}) {
    const std::string file = WriteTable(dir, {Rec(1, "a", 0)});
    const std::string before = ReadFile(file);
    auto t = Table(file);
    t->SetReadOnly(read_only);
    t->Activate();
    t->Deactivate();
    const std::string after = ReadFile(file);
    ASSERT_EQ(after.size(), before.size());
    if (read_only) {
      EXPECT_EQ(after, before);
    } else {
      EXPECT_EQ(uint8_t(after[1]), year - 1900);
      EXPECT_EQ(uint8_t(after[2]), month);
      EXPECT_EQ(uint8_t(after[3]), day);
      EXPECT_EQ(after.back(), '\x1A');
      EXPECT_EQ(after.substr(4), before.substr(4));
    }
  }
}

TEST(TableOpen, ReadOnlyTablesRefuseChanges) {
  const std::string dir = TempDir("ro");
  auto t = Table(WriteTable(dir, {Rec(1, "a", 0)}));
  t->SetReadOnly(true);
  t->Activate();
  EXPECT_FALSE(t->QueryCanModify());
  EXPECT_THROW(t->StartEdit(), EDatabaseError);
  EXPECT_THROW(t->StartAppend(), EDatabaseError);
}

TEST(TableOpen, FilterNamingAnUnknownFieldIsDroppedAndBadSyntaxFails) {
  const std::string dir = TempDir("filter");
  const std::string file = WriteTable(dir, {Rec(1, "a", 0), Rec(2, "b", 1)});
  auto t = Table(file);
  t->SetFilter("NB_TYPE=1");
  t->SetFiltered(true);
  t->Activate();
  EXPECT_EQ(t->Filter(), "");
  EXPECT_EQ(Column(*t), (std::vector<std::string>{"a", "b"}));
  t->Deactivate();

  t->SetFilter("KIND=(1");
  EXPECT_THROW(t->Activate(), EParserException);
  EXPECT_FALSE(t->QueryActive());
  EXPECT_EQ(t->Filter(), "KIND=(1");
}

TEST(TableOpen, AnIndexNameTheTableLacksGivesPhysicalOrderQuietly) {
  const std::string dir = TempDir("index");
  auto t = Table(WriteTable(dir, {Rec(2, "b", 0), Rec(1, "a", 0), Rec(3, "c", 0)}));
  t->SetIndexName("tab1");
  EXPECT_EQ(t->IndexName(), "tab1") << "stored while closed";
  t->Activate();
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(Column(*t), (std::vector<std::string>{"b", "a", "c"}));
  t->GoFirst();
  t->GoNext();
  t->SetIndexName("tab2");
  EXPECT_EQ(t->IndexName(), "");
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "a") << "the current record stays";
  t->SetIndexFieldNames("N");
  EXPECT_EQ(t->IndexFieldNames(), "");
}

// ---- creating ------------------------------------------------------------------------------

void DefineTwoFields(TDbf& t) {
  t.FieldDefs().AppendNamedDef("NAME", ftString, 12);
  t.FieldDefs().AppendNamedDef("QTY", ftInteger);
}

TEST(TableCreate, AutoCreateModesMakeAMissingTableAtOpen) {
  const struct {
    TDbfOpenMode mode;
    bool created;
  } cases[] = {{omAutoCreate, true}, {omTemporary, true}, {omNormal, false}};
  for (const auto& c : cases) {
    const std::string dir = TempDir("auto" + std::to_string(int(c.mode)));
    auto t = Table(dir + "/new.dbf");
    DefineTwoFields(*t);
    t->SetOpenMode(c.mode);
    if (!c.created) {
      EXPECT_THROW(t->Activate(), Exception);
      EXPECT_FALSE(FileExists(dir + "/new.dbf"));
      continue;
    }
    t->Activate();
    EXPECT_TRUE(t->HasNoRecords());
    EXPECT_EQ(t->FieldNamed("NAME")->Size(), 12);
    EXPECT_EQ(t->FieldNamed("QTY")->DataType(), ftFloat) << "N 9.0 read with UseFloatFields";
    t->Deactivate();
    const std::string bytes = ReadFile(dir + "/new.dbf");
    ASSERT_EQ(bytes.size(), size_t(32 + 2 * 32 + 1 + 1));
    EXPECT_EQ(bytes[0], '\x03');
    EXPECT_EQ(uint8_t(bytes[29]), 0xC9);
  }
}

TEST(TableCreate, DecliningTheAutoCreateLeavesAnOpenEmptySetWithoutTable) {
  const std::string dir = TempDir("decline");
  auto t = Table(dir + "/new.dbf");
  DefineTwoFields(*t);
  t->SetOpenMode(omAutoCreate);
  int asked = 0;
  t->BeforeAutoCreate = [&](TDbf* sender, bool& do_create) {
    EXPECT_EQ(sender, t.get());
    EXPECT_TRUE(do_create);
    ++asked;
    do_create = false;
  };
  t->Activate();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(t->QueryActive());
  EXPECT_TRUE(t->HasNoRecords());
  EXPECT_EQ(t->DbfFile(), nullptr);
  EXPECT_FALSE(FileExists(dir + "/new.dbf"));
  EXPECT_THROW(t->StartAppend(), EDatabaseError);
  t->Deactivate();
}

TEST(TableCreate, CreateTableFileWritesTheDefinitionsAndLeavesTheTableClosed) {
  const std::string dir = TempDir("create");
  auto t = Table(dir + "/new.dbf");
  t->FieldDefs().AppendNamedDef("NAME", ftString, 300);
  t->FieldDefs().AppendNamedDef("P", ftFloat);
  t->FieldDefs().AppendNamedDef("K", ftSmallint);
  t->FieldDefs().AppendNamedDef("D", ftDate);
  t->CreateTableFile();
  EXPECT_FALSE(t->QueryActive());
  auto file = std::make_unique<TDbfFile>();
  file->SetFileName(dir + "/new.dbf");
  file->SetMode(pmReadOnly);
  file->OpenAndReadHeader();
  ASSERT_EQ(file->FieldDefs().Count(), 4);
  const struct {
    char letter;
    int size, precision;
  } want[] = {{'C', 300, 0}, {'N', 18, 9}, {'N', 4, 0}, {'D', 8, 0}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(file->FieldDefs().Items(i)->NativeFieldType(), want[i].letter) << i;
    EXPECT_EQ(file->FieldDefs().Items(i)->Size(), want[i].size) << i;
    EXPECT_EQ(file->FieldDefs().Items(i)->Precision(), want[i].precision) << i;
  }
}

TEST(TableCreate, AFailedCreateLeavesNoFileAndNeverTouchesAnother) {
  const std::string dir = TempDir("createfail");
  const struct {
    const char* what;
    TFieldType type;
  } cases[] = {{"a type the format lacks", ftGuid}, {"a currency field below FoxPro", ftCurrency}};
  for (const auto& c : cases) {
    auto t = Table(dir + "/new.dbf");
    t->FieldDefs().AppendNamedDef("X", c.type);
    EXPECT_THROW(t->CreateTableFile(), EDbfError) << c.what;
    EXPECT_FALSE(FileExists(dir + "/new.dbf")) << c.what;
  }
  // A table another program holds exclusively is neither cut nor deleted.
  const std::string file = WriteTable(dir, {Rec(1, "held", 0)}, "held.dbf");
  const std::string before = ReadFile(file);
  auto holder = Table(file);
  holder->SetExclusive(true);
  holder->Activate();
  auto t = Table(file);
  DefineTwoFields(*t);
  EXPECT_THROW(t->CreateTableFile(), Exception);
  holder->Deactivate();
  ASSERT_TRUE(FileExists(file));
  EXPECT_EQ(ReadFile(file).substr(4), before.substr(4));
}

TEST(TableCreate, MemoryStorageKeepsTheTableBetweenOpens) {
  const std::string dir = TempDir("memory");
  auto t = Table(dir + "/mem.dbf");
  DefineTwoFields(*t);
  t->SetStorage(stoMemory);
  t->Activate();
  EXPECT_TRUE(t->HasNoRecords());
  t->StartAppend();
  t->FieldNamed("NAME")->SetStringValue("kept");
  t->FieldNamed("QTY")->SetIntegerValue(7);
  t->CommitRecord();
  t->Deactivate();
  t->Activate();
  EXPECT_EQ(Column(*t), (std::vector<std::string>{"kept"}));
  EXPECT_EQ(t->FieldNamed("QTY")->GetIntegerValue(), 7);
  t->Deactivate();
  EXPECT_FALSE(FileExists(dir + "/mem.dbf")) << "nothing is written to disk";
}

}  // namespace table_open_test

// Index tags through the table component: tag names in the form the file
// stores them, key search on a table in the OEM code page, tables kept in
// memory, the production tags of a closed table and tags of a read-only one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "dbf/dbf_str.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/core/variant.h"

namespace table_tags_test {

using namespace testsupport;

// Surnames (UTF-8 here) in no order; record n holds kNames[n - 1].
const std::vector<std::string> kNames = {"Сидоров", "Абрамов", "Петров", "Яковлев", "Ёлкин", "Борисов", "Жуков"};

bool Exists(const std::string& file) { return ::access(file.c_str(), F_OK) == 0; }

std::unique_ptr<TDbf> NameTable() {
  auto t = std::make_unique<TDbf>(nullptr);
  t->SetTableLevel(4);
  t->SetExclusive(true);
  t->FieldDefs().AppendNamedDef("N", ftInteger, 0);
  t->FieldDefs().AppendNamedDef("NAME", ftString, 20);
  return t;
}

void AppendNames(TDbf& t) {
  for (size_t i = 0; i < kNames.size(); ++i) {
    t.StartAppend();
    t.FieldNamed("N")->SetIntegerValue(int(i + 1));
    t.FieldNamed("NAME")->SetStringValue(Utf8ToAnsi(kNames[i]));
    t.CommitRecord();
  }
}

// A closed table file with the names; language_id replaces the header's
// language byte when not 0.
std::unique_ptr<TDbf> FilledTable(const std::string& file, uint8_t language_id = 0) {
  auto t = NameTable();
  t->SetTableName(file);
  t->CreateTableFile();
  if (language_id != 0) {
    std::string bytes = ReadFile(file);
    bytes[29] = char(language_id);
    WriteFile(file, bytes);
  }
  t->Activate();
  AppendNames(*t);
  t->Deactivate();
  return t;
}

std::vector<int> Ns(TDbf& t) {
  std::vector<int> out;
  for (t.GoFirst(); !t.Eof(); t.GoNext()) out.push_back(t.FieldNamed("N")->GetIntegerValue());
  return out;
}

// N in the order of the names as the Russian alphabet has them (Ё before Ж).
const std::vector<int> kByName = {2, 6, 5, 7, 3, 1, 4};

struct NameCase {
  const char* given;   // UTF-8
  const char* stored;  // UTF-8
};

TEST(TableTags, TagsAreFoundByTheNameTheFileStores) {
  const NameCase cases[] = {
      {"Длинное_имя_тега", "ДЛИННОЕ_ИМ"},
      {"фамилия", "ФАМИЛИЯ"},
      {"by_surname_long", "BY_SURNAME"},
      {" tab1 ", "TAB1"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.given);
    const AnsiString given = Utf8ToAnsi(c.given), stored = Utf8ToAnsi(c.stored);
    const std::string dir = TempDir("tagname");
    const std::string file = dir + "/names.dbf", mdx = dir + "/names.mdx";
    auto t = FilledTable(file);
    t->Activate();
    t->CreateIndexTag(given, "NAME", {});
    ASSERT_TRUE(Exists(mdx));
    EXPECT_EQ(ReadFile(mdx).substr(544 + 4, stored.size() + 1), stored + '\0');
    t->SetIndexName(given);
    EXPECT_EQ(t->IndexName(), given);
    EXPECT_EQ(Ns(*t), kByName) << "the tag holds every key and is walked";
    EXPECT_EQ(t->IndexFieldNames(), "NAME");
    // The stored form and the given one name the same tag.
    t->SetIndexName(stored);
    EXPECT_EQ(Ns(*t), kByName);
    t->Deactivate();
    ASSERT_EQ(t->IndexDefs().Count(), 0);

    t->SetIndexName(given);
    t->Activate();
    ASSERT_EQ(t->IndexDefs().Count(), 1) << "no second definition for the same tag";
    EXPECT_EQ(t->IndexName(), given);
    EXPECT_EQ(Ns(*t), kByName);
    // Re-creating under the given name replaces the tag instead of adding one.
    t->CreateIndexTag(given, "N", {ixDescending});
    EXPECT_EQ(t->IndexDefs().Count(), 1);
    t->SetIndexName(given);
    EXPECT_EQ(Ns(*t), (std::vector<int>{7, 6, 5, 4, 3, 2, 1}));
    t->RemoveIndex(given);
    EXPECT_EQ(t->IndexName(), "");
    EXPECT_EQ(t->IndexDefs().Count(), 0);
    EXPECT_FALSE(Exists(mdx)) << "the only tag took the file with it";
    t->Deactivate();
  }
}

TEST(TableTags, KeySearchOnAnOemTableFindsWhatAScanFinds) {
  const std::string dir = TempDir("tagoem");
  // Language 0x26: code page 866, the OEM code page.
  auto t = FilledTable(dir + "/oem.dbf", 0x26);
  t->Activate();
  ASSERT_EQ(t->TranslationMode(), tmOem);
  t->CreateIndexTag("byname", "NAME", {});
  t->SetIndexName("byname");
  ASSERT_EQ(Ns(*t), kByName);
  for (size_t i = 0; i < kNames.size(); ++i) {
    const AnsiString name = Utf8ToAnsi(kNames[i]);
    SCOPED_TRACE(kNames[i]);
    t->SetIndexName("");
    ASSERT_TRUE(t->FindByValues("NAME", Variant(name), {})) << "found by a scan";
    EXPECT_EQ(t->FieldNamed("N")->GetIntegerValue(), int(i + 1));
    t->SetIndexName("byname");
    t->GoFirst();
    EXPECT_TRUE(t->FindByValues("NAME", Variant(name), {})) << "found through the index";
    EXPECT_EQ(t->FieldNamed("N")->GetIntegerValue(), int(i + 1));
    t->GoFirst();
    EXPECT_TRUE(t->SearchKeyValue(Variant(name), false));
    EXPECT_EQ(t->FieldNamed("N")->GetIntegerValue(), int(i + 1));
  }
  // The nearest key above a text that is not there.
  EXPECT_TRUE(t->SearchKeyValue(Variant(Utf8ToAnsi("Ж")), true));
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), Utf8ToAnsi("Жуков"));
  t->Deactivate();
}

TEST(TableTags, TablesInMemoryGetIndexes) {
  const std::string dir = TempDir("tagmem");
  auto t = NameTable();
  t->SetStorage(stoMemory);
  t->SetFilePath(dir);
  t->SetTableName("names.dbf");
  t->Activate();
  AppendNames(*t);
  t->CreateIndexTag("byname", "NAME", {});
  t->CreateIndexTag("byn.ndx", "N", {});
  EXPECT_EQ(t->IndexNames(), (std::vector<AnsiString>{"byname", dir + "/byn.ndx"}));
  ASSERT_EQ(t->IndexDefs().Count(), 1);
  EXPECT_EQ(t->IndexDefs().Items(0)->SortField(), "NAME");
  t->SetIndexName("byname");
  EXPECT_EQ(Ns(*t), kByName);
  // Edits keep the memory tag in order.
  t->StartAppend();
  t->FieldNamed("N")->SetIntegerValue(8);
  t->FieldNamed("NAME")->SetStringValue(Utf8ToAnsi("Аверин"));
  t->CommitRecord();
  EXPECT_EQ(Ns(*t), (std::vector<int>{2, 8, 6, 5, 7, 3, 1, 4}));
  t->SetIndexName("byn.ndx");
  EXPECT_EQ(Ns(*t), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  t->RemoveIndex("byname");
  t->RemoveIndex("byn.ndx");
  EXPECT_TRUE(t->IndexNames().empty());
  t->Deactivate();
  // Nothing reached the disk, and the table opens again as it was.
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  t->Activate();
  EXPECT_EQ(Ns(*t), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  t->CreateIndexTag("byname", "NAME", {});
  t->Deactivate();
  // A memory tag lives as long as the open table: the header keeps no link to a file.
  t->Activate();
  EXPECT_TRUE(t->IndexNames().empty());
  EXPECT_EQ(t->DbfFile()->Header()[28], 0);
  t->Deactivate();
  // Declared definitions are built at every open.
  TDbfIndexDef* def = t->IndexDefs().Add();
  def->SetIndexFile("byname");
  def->SetSortField("NAME");
  t->SetIndexName("byname");
  t->Activate();
  EXPECT_EQ(t->IndexName(), "byname");
  EXPECT_EQ(Ns(*t), (std::vector<int>{2, 8, 6, 5, 7, 3, 1, 4}));
  t->Deactivate();
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST(TableTags, FieldDefsOfAClosedTableBringItsTags) {
  const std::string dir = TempDir("tagdefs");
  auto t = FilledTable(dir + "/names.dbf");
  t->Activate();
  t->CreateIndexTag("byname", "NAME", {ixDescending});
  t->CreateIndexTag("byn", "N", {});
  t->Deactivate();
  ASSERT_EQ(t->IndexDefs().Count(), 0);
  t->LoadFieldDefs();
  EXPECT_EQ(t->FieldDefs().Count(), 2);
  ASSERT_EQ(t->IndexDefs().Count(), 2);
  EXPECT_EQ(t->IndexDefs().Items(0)->IndexFile(), "BYNAME");
  EXPECT_EQ(t->IndexDefs().Items(0)->SortField(), "NAME");
  EXPECT_TRUE(t->IndexDefs().Items(0)->Options().Contains(ixDescending));
  EXPECT_TRUE(t->IndexDefs().Items(0)->FromFile());
  EXPECT_EQ(t->IndexDefs().Items(1)->IndexFile(), "BYN");
  // Opening adds no second definition; closing drops what the file gave.
  t->Activate();
  EXPECT_EQ(t->IndexDefs().Count(), 2);
  t->Deactivate();
  EXPECT_EQ(t->IndexDefs().Count(), 0);
}

TEST(TableTags, TagsOfAReadOnlyTableAreReadOnly) {
  for (const bool production_exists : {false, true}) {
    SCOPED_TRACE(production_exists ? "beside a tag in use" : "in a new production file");
    const std::string dir = TempDir("tagro");
    auto t = FilledTable(dir + "/names.dbf");
    const std::vector<int> by_n_descending = {7, 6, 5, 4, 3, 2, 1};
    if (production_exists) {
      t->Activate();
      t->CreateIndexTag("byn", "N", {ixDescending});
      t->Deactivate();
    }
    t->SetReadOnly(true);
    t->Activate();
    if (production_exists) {
      t->SetIndexName("byn");
      ASSERT_EQ(Ns(*t), by_n_descending);
    }
    t->CreateIndexTag("byname", "NAME", {});
    ASSERT_EQ(t->IndexDefs().Count(), production_exists ? 2 : 1);
    if (production_exists) {
      EXPECT_EQ(Ns(*t), by_n_descending) << "the tag in use stays in use";
    }
    t->SetIndexName("byname");
    EXPECT_EQ(Ns(*t), kByName);
    ASSERT_NE(t->CurrentIndexFile(), nullptr);
    EXPECT_EQ(t->CurrentIndexFile()->Mode(), pmReadOnly) << "the file is held read-only again";
    t->Deactivate();
    // The table links the new tag (written in the brief exclusive phase).
    t->SetReadOnly(false);
    t->SetIndexName("byname");
    t->Activate();
    EXPECT_EQ(t->IndexDefs().Count(), production_exists ? 2 : 1);
    EXPECT_EQ(Ns(*t), kByName);
    t->Deactivate();
  }
}

TEST(TableTags, AFoxProTableKeepsItsOwnIndexFlag) {
  // Byte 28 of a FoxPro table announces a compound index of its own format.
  for (const char flag : {char(0), char(1)}) {
    SCOPED_TRACE(int(flag));
    const std::string dir = TempDir("tagfox");
    const std::string file = dir + "/names.dbf";
    auto t = NameTable();
    t->SetTableLevel(25);
    t->SetTableName(file);
    t->CreateTableFile();
    std::string bytes = ReadFile(file);
    bytes[28] = flag;
    WriteFile(file, bytes);
    t->Activate();
    AppendNames(*t);
    t->CreateIndexTag("byname", "NAME", {});
    t->SetIndexName("byname");
    EXPECT_EQ(Ns(*t), kByName) << "the tag serves while the table is open";
    t->Deactivate();
    EXPECT_EQ(ReadFile(file)[28], flag);
    t->Activate();
    t->CreateIndexTag("byname", "NAME", {});
    t->RemoveIndex("byname");
    t->Deactivate();
    EXPECT_EQ(ReadFile(file)[28], flag);
  }
}


// An .mdx file is a table's own when the table links one and the file names
// the table. A new table of a name removes only the file the table of that
// name owned, and a tag is never made into a file the table does not own:
// it may hold another table's tags (data.dbf and data.db share data.mdx).
TEST(TableTags, OnlyTheTablesOwnMdxIsDeletedOrOverwritten) {
  const std::string dir = TempDir("stray");
  const std::string file = dir + "/names.dbf", mdx = dir + "/names.mdx";
  {
    auto old = FilledTable(file);
    old->Activate();
    old->CreateIndexTag("byname", "NAME", {});
    old->CreateIndexTag("byn", "N", {ixDescending});
    old->Deactivate();
  }
  const std::string stray = ReadFile(mdx);
  ASSERT_EQ(stray[28], 2);
  auto other = FilledTable(dir + "/names.db");
  EXPECT_EQ(ReadFile(mdx), stray) << "a new table of another name took the index file";
  other->Activate();
  try {
    other->CreateIndexTag("byname", "NAME", {});
    ADD_FAILURE() << "a tag was made into another table's index file";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), Format(STRING_INDEX_NOT_OWN, {mdx}));
  }
  other->Deactivate();
  EXPECT_EQ(ReadFile(mdx), stray);
  EXPECT_EQ(ReadFile(dir + "/names.db")[28], 0);

  auto t = FilledTable(file);
  EXPECT_FALSE(Exists(mdx)) << "the new table kept the old table's index file";
  // Left beside the new table, which does not link it, the file is no
  // longer the table's own either.
  WriteFile(mdx, stray);
  t->Activate();
  EXPECT_THROW(t->CreateIndexTag("byname", "NAME", {}), EDbfError);
  EXPECT_EQ(ReadFile(mdx), stray);
  t->SetIndexName("byn");
  EXPECT_EQ(t->IndexName(), "") << "a tag of the stray file was taken for the table's";
  t->Deactivate();
  ASSERT_EQ(::unlink(mdx.c_str()), 0);
  t->Activate();
  t->CreateIndexTag("byname", "NAME", {});
  t->SetIndexName("byname");
  EXPECT_EQ(Ns(*t), kByName);
  t->Deactivate();
}

// An index file named with a folder: the folder keeps its spelling, only
// the name is upper-cased (and found in any case).
TEST(TableTags, AnIndexFileInAFolderOfMixedCaseIsFound) {
  const std::string dir = TempDir("folder_case");
  ASSERT_EQ(::mkdir((dir + "/Keys").c_str(), 0755), 0);
  const std::string ndx = dir + "/Keys/byName.ndx";
  auto t = NameTable();
  t->SetTableName(dir + "/names.dbf");
  TDbfIndexDef* def = t->IndexDefs().Add();
  def->SetIndexFile(ndx);
  def->SetSortField("NAME");
  EXPECT_EQ(def->IndexFile(), dir + "/Keys/BYNAME.NDX");
  t->CreateTableFile();
  t->Activate();
  AppendNames(*t);
  t->SetIndexName(ndx);
  EXPECT_EQ(t->IndexName(), ndx);
  // A single-key file sorts by the bytes: Ё (0xA8) comes before А.
  EXPECT_EQ(Ns(*t), (std::vector<int>{5, 2, 6, 7, 3, 1, 4}));
  t->Deactivate();
}

}  // namespace table_tags_test

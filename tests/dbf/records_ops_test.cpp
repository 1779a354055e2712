// Append, edit, delete and the index hooks of the table file: what lands in
// the file, and what is rolled back when a write fails.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>

#include "dbf/dbf_str.h"
#include "tests/dbf/records_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/sysutils.h"

namespace records_ops_test {

namespace {

using namespace records_support;
using testsupport::ReadFile;
using testsupport::TempDir;

const std::vector<FieldSpec> kNameAge = {{"NAME", 'C', 6, 0}, {"AGE", 'N', 3, 0}};
constexpr int kNameAgeHeader = 32 + 2 * 32 + 1;
constexpr int kNameAgeRecord = 1 + 6 + 3;

// An index on the NAME field that keeps its keys in a map and can be told to
// fail its writes; its primary tag refuses duplicates.
class FakeIndex : public TDbfIndexKeys {
 public:
  explicit FakeIndex(const TDbfFile& table) : table_(table) {}
  AnsiString IndexName() const override { return "NAMES.MDX"; }
  bool CheckKeyViolation(const uint8_t* record, int64_t* holder, AnsiString* key) override {
    const auto it = keys.find(Key(record));
    if (it == keys.end()) return false;
    *holder = it->second;
    *key = Key(record);
    return true;
  }
  void InsertRecordKey(int64_t n, const uint8_t* record) override {
    keys[Key(record)] = n;
    if (fail_writes) write_error_ = true;
  }
  void DeleteRecordKey(int64_t, const uint8_t* record) override { keys.erase(Key(record)); }
  void UpdateRecordKey(int64_t n, const uint8_t* previous, const uint8_t* record) override {
    keys.erase(Key(previous));
    keys[Key(record)] = n;
  }
  void RemoveDeletedRecordKey(int64_t, const uint8_t* record) override {
    keys.erase(Key(record));
    ++removed;
  }
  void RestoreRecalledRecordKey(int64_t n, const uint8_t* record) override { keys[Key(record)] = n; }
  bool IndexWriteError() const override { return write_error_; }
  void ClearIndexWriteError() override { write_error_ = false; }

  std::map<std::string, int64_t> keys;
  bool fail_writes = false;
  int removed = 0;

 private:
  std::string Key(const uint8_t* record) const {
    const TDbfFieldDef* f = table_.FindField("NAME");
    return std::string(reinterpret_cast<const char*>(record) + f->Offset(), size_t(f->Size()));
  }
  const TDbfFile& table_;
  bool write_error_ = false;
};

// A fake index handed to the table, which owns it.
FakeIndex* AttachIndex(TDbfFile& table) {
  auto index = std::make_unique<FakeIndex>(table);
  FakeIndex* raw = index.get();
  table.AddIndexFile(std::move(index));
  return raw;
}

TEST(Records, AppendToAnEmptyTableWritesAtTheHeaderAndMarksTheEnd) {
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameAge);
  {
    auto table = OpenTable(file);
    auto record = Record(*table, {{"NAME", "ann"}});
    table->AppendRecord(record.data());
    CloseTable(*table);
  }
  const std::string bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), size_t(kNameAgeHeader + kNameAgeRecord + 1));
  EXPECT_EQ(GetLE32(bytes.data() + 4), 1u);
  EXPECT_EQ(bytes.substr(kNameAgeHeader), " ann      \x1A");
}

#ifndef NDEBUG
// A record number past the table's records (or before its first) reaching
// the write of an update is an engine fault, caught where it crosses.
TEST(Records, AnUpdateOfARecordTheTableLacksIsCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameAge);
  for (const int64_t n : {int64_t(0), int64_t(2)}) {
    SCOPED_TRACE(n);
    EXPECT_DEATH(
        {
          auto table = OpenTable(file);
          auto record = Record(*table, {{"NAME", "ann"}});
          table->AppendRecord(record.data());
          table->UpdateRecord(n, record.data());
        },
        "an update names a record the table does not hold");
  }
}
#endif

TEST(Records, InitRecordBlanksTextAndZeroesBinaryFields) {
  struct Case {
    int version;
    FieldSpec field;
    std::string expected;
  };
  const Case cases[] = {
      {kDbfVersionDBase4, {"C", 'C', 3, 0}, "   "},
      {kDbfVersionDBase4, {"N", 'N', 4, 0}, "    "},
      {kDbfVersionDBase4, {"M", 'M', 10, 0}, std::string(10, ' ')},
      {kDbfVersionDBase7, {"I", 'I', 4, 0}, std::string(4, '\0')},
      {kDbfVersionDBase7, {"A", '+', 4, 0}, std::string(4, '\0')},
      {kDbfVersionDBase7, {"S", '@', 8, 0}, std::string(8, '\0')},
      {kDbfVersionDBase7, {"O", 'O', 8, 0}, std::string(8, '\0')},
      // FoxPro keeps these in binary: blanks would read as a date and an amount.
      {kDbfVersionFoxPro, {"T", 'T', 8, 0}, std::string(8, '\0')},
      {kDbfVersionFoxPro, {"Y", 'Y', 8, 4}, std::string(8, '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.field.letter) + " at version " + std::to_string(c.version));
    const std::string file = TempDir("rec") + "/t.dbf";
    CreateTable(file, c.version, {c.field});
    auto table = OpenTable(file);
    std::vector<uint8_t> record(size_t(table->RecordSize()), 'x');
    table->InitRecord(record.data());
    EXPECT_EQ(std::string(record.begin(), record.end()), " " + c.expected);
    if (c.field.letter == 'T' || c.field.letter == '@') {
      double value = 1;
      EXPECT_FALSE(table->DecodeField(*table->FieldDefs().Items(0), ftDateTime, &value, record.data()));
    }
  }
}

TEST(Records, KeyViolationWritesNothing) {
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameAge);
  auto table = OpenTable(file);
  FakeIndex* index = AttachIndex(*table);
  auto ann = Record(*table, {{"NAME", "ann"}});
  table->AppendRecord(ann.data());
  auto again = Record(*table, {{"NAME", "ann"}});
  try {
    table->AppendRecord(again.data());
    ADD_FAILURE() << "a duplicate primary key was appended";
  } catch (const EDbfWriteError&) {
    ADD_FAILURE() << "reported as a write error";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Key violation. (Key already present in file).\r\nIndex: NAMES.MDX\r\nRecord=1 Key='ann'.");
  }
  EXPECT_EQ(table->RecordCount(), 1);
  EXPECT_EQ(table->HeaderRecordCount(), 1u);
  EXPECT_EQ(index->keys.size(), 1u);
  // The refused candidate's lock is gone: the next append takes record 2.
  auto bob = Record(*table, {{"NAME", "bob"}});
  table->AppendRecord(bob.data());
  EXPECT_EQ(index->keys["bob   "], 2);
}

TEST(Records, IndexWriteFailureUndoesTheAppend) {
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameAge);
  auto table = OpenTable(file);
  FakeIndex* a = AttachIndex(*table);
  FakeIndex* b = AttachIndex(*table);
  b->fail_writes = true;
  auto record = Record(*table, {{"NAME", "ann"}});
  try {
    table->AppendRecord(record.data());
    ADD_FAILURE() << "no error";
  } catch (const EDbfWriteError& e) {
    EXPECT_EQ(e.Message(), STRING_WRITE_INDEX_ERROR);
  }
  EXPECT_TRUE(a->keys.empty());
  EXPECT_TRUE(b->keys.empty());
  EXPECT_FALSE(b->IndexWriteError());
  EXPECT_EQ(table->RecordCount(), 0);
  EXPECT_EQ(table->HeaderRecordCount(), 0u);
}

TEST(Records, WriteFailureRollsBackTheCountAndTheKeys) {
  // The child's files may not grow past a limit: either the end mark stored
  // with the header or the record itself no longer fits.
  struct Case {
    const char* name;
    int limit_from_end;  // bytes past the current end of the file
  };
  const Case cases[] = {{"record cut short", 5}, {"header store fails", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = TempDir("rec") + "/t.dbf";
    CreateTable(file, kDbfVersionDBase4, kNameAge);
    {
      auto table = OpenTable(file);
      for (const char* name : {"ann", "bob"}) {
        auto record = Record(*table, {{"NAME", name}});
        table->AppendRecord(record.data());
      }
      CloseTable(*table);
    }
    const std::string before = ReadFile(file);
    const int status = InChild([&] {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlim_t limit = rlim_t(int64_t(before.size()) + c.limit_from_end);
      const rlimit r{limit, limit};
      setrlimit(RLIMIT_FSIZE, &r);
      auto table = OpenTable(file);
      FakeIndex* index = AttachIndex(*table);
      auto record = Record(*table, {{"NAME", "cy"}});
      try {
        table->AppendRecord(record.data());
        return 10;
      } catch (const EDbfWriteError& e) {
        if (e.Message() != STRING_WRITE_ERROR) return 11;
      }
      if (table->RecordCount() != 2 || table->HeaderRecordCount() != 2) return 12;
      if (!index->keys.empty()) return 13;
      if (table->WriteError()) return 14;
      table->CloseAll();
      return 0;
    });
    EXPECT_EQ(status, 0);
    auto table = OpenTable(file, pmReadOnly);
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(table->HeaderRecordCount(), 2u);
    // Nothing of the record is left, the end mark is back after record 2.
    EXPECT_EQ(ReadFile(file), before);
  }
}

TEST(Records, ProcessesAppendingTogetherTakeDifferentRecords) {
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameAge);
  constexpr int kEach = 150;
  std::vector<pid_t> children;
  for (const char* who : {"a", "b", "c"}) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int code = 0;
      try {
        auto table = OpenTable(file, pmSharedOpen);
        for (int i = 0; i < kEach; ++i) {
          auto record = Record(*table, {{"NAME", who + std::to_string(i)}});
          table->AppendRecord(record.data());
        }
        CloseTable(*table);
      } catch (...) {
        code = 1;
      }
      _exit(code);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto table = OpenTable(file, pmReadOnly);
  ASSERT_EQ(table->RecordCount(), 3 * kEach);
  EXPECT_EQ(table->HeaderRecordCount(), uint32_t(3 * kEach));
  std::set<std::string> names;
  std::vector<uint8_t> record(size_t(table->RecordSize()));
  for (int64_t n = 1; n <= table->RecordCount(); ++n) {
    ASSERT_EQ(table->ReadRecordAt(n, record.data()), table->RecordSize());
    names.insert(Text(*table, record, "NAME"));
    // No end mark written by one process landed on another's record.
    EXPECT_EQ(record[0], ' ') << "record " << n;
  }
  EXPECT_EQ(names.size(), size_t(3 * kEach));  // nobody's record was overwritten
  EXPECT_EQ(ReadFile(file).back(), '\x1A');
}

TEST(Records, AppendSkipsACandidateAnotherOpenerHoldsLocked) {
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameAge);
  auto one = OpenTable(file, pmSharedOpen);
  auto two = OpenTable(file, pmSharedOpen);
  auto ann = Record(*one, {{"NAME", "ann"}});
  ASSERT_EQ(one->AppendRecord(ann.data()), 1);
  // Another opener is in the middle of appending record 2.
  ASSERT_TRUE(two->LockRecord(2, false));
  auto bob = Record(*one, {{"NAME", "bob"}});
  EXPECT_EQ(one->AppendRecord(bob.data()), 3);
  std::vector<uint8_t> stored(bob.size());
  ASSERT_EQ(one->ReadRecordAt(3, stored.data()), one->RecordSize());
  EXPECT_EQ(Text(*one, stored, "NAME"), "bob");
  two->UnlockRecord(2);
  // The locks are released: the next append takes the first free number again.
  auto cy = Record(*two, {{"NAME", "cy"}});
  EXPECT_EQ(two->AppendRecord(cy.data()), 4);
}

TEST(Records, EditLocksTheRecordUntilItIsPosted) {
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameAge);
  auto one = OpenTable(file, pmSharedOpen);
  auto two = OpenTable(file, pmSharedOpen);
  for (const char* name : {"ann", "bob"}) {
    auto record = Record(*one, {{"NAME", name}});
    one->AppendRecord(record.data());
  }
  std::vector<uint8_t> mine(size_t(one->RecordSize())), theirs(mine.size());
  one->LockRecordForEdit(2, mine.data());
  EXPECT_EQ(Text(*one, mine, "NAME"), "bob");
  try {
    two->LockRecordForEdit(2, theirs.data());
    ADD_FAILURE() << "two editors on one record";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Record locked.");
  }
  two->LockRecordForEdit(1, theirs.data());  // another record is free
  two->UpdateRecord(1, theirs.data());
  one->EncodeField(*one->FindField("NAME"), ftString, mine.data(), "bill");
  one->UpdateRecord(2, mine.data());
  two->LockRecordForEdit(2, theirs.data());
  EXPECT_EQ(Text(*two, theirs, "NAME"), "bill");
  two->UpdateRecord(2, theirs.data());

  for (int64_t n : {0, 3, -1}) EXPECT_THROW(one->LockRecordForEdit(n, mine.data()), EDbfError) << n;
}

TEST(Records, DeleteDropsPrimaryKeysRecallRestoresTheFlagEditMovesTheKey) {
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameAge);
  auto table = OpenTable(file);
  FakeIndex* index = AttachIndex(*table);
  for (const char* name : {"ann", "bob"}) {
    auto record = Record(*table, {{"NAME", name}});
    table->AppendRecord(record.data());
  }
  std::vector<uint8_t> record(size_t(table->RecordSize()));
  table->LockRecordForEdit(1, record.data());
  record[0] = '*';
  table->RemoveRecordKeys(1, record.data());
  table->UpdateRecord(1, record.data());
  EXPECT_EQ(index->removed, 1);
  EXPECT_EQ(index->keys.count("ann   "), 1u);  // the update finds the same key: the fake keeps what it is told
  std::vector<uint8_t> stored(record.size());
  table->ReadRecordAt(1, stored.data());
  EXPECT_EQ(stored[0], '*');
  table->LockRecordForEdit(1, record.data());
  record[0] = ' ';
  table->UpdateRecord(1, record.data());
  table->ReadRecordAt(1, stored.data());
  EXPECT_EQ(stored[0], ' ');
  // An edit replaces the key of the image read at edit start.
  table->LockRecordForEdit(1, record.data());
  table->EncodeField(*table->FindField("NAME"), ftString, record.data(), "dan");
  table->UpdateRecord(1, record.data());
  EXPECT_EQ(index->keys, (std::map<std::string, int64_t>{{"bob   ", 2}, {"dan   ", 1}}));
}

TEST(Records, LockFieldIsStampedOnAppendAndEditStart) {
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, {{"NAME", 'C', 4, 0}, {"_DBASELOCK", 'C', 16, 0}});
  auto table = OpenTable(file);
  ASSERT_TRUE(table->HasLockField());
  auto record = Record(*table, {{"NAME", "ann"}});
  table->AppendRecord(record.data());
  std::vector<uint8_t> stored(record.size());
  table->ReadRecordAt(1, stored.data());
  const uint8_t* lock = stored.data() + table->LockFieldOffset();
  const uint16_t counter = GetLE16(lock);
  EXPECT_EQ(counter, uint16_t(GetLE16(record.data() + table->LockFieldOffset())));
  EXPECT_NE(counter, 0x2020);  // the blank image's bytes were counted up
  int year = 0, month = 0, day = 0;
  DecodeDate(Date(), year, month, day);
  EXPECT_EQ(lock[5], year - 1900);
  EXPECT_EQ(lock[6], month);
  EXPECT_GE(lock[7], 1);
  const std::string name(DbfGlobals().ComputerName().substr(0, 8));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lock) + 8, name.size()), name);

  std::vector<uint8_t> edit(record.size());
  table->LockRecordForEdit(1, edit.data());
  table->ReadRecordAt(1, stored.data());  // written at edit start, before the post
  EXPECT_EQ(GetLE16(stored.data() + table->LockFieldOffset()), counter + 1);
  table->UpdateRecord(1, edit.data());
}

TEST(Records, AutoIncrementNumbersFollowTheHeaderAcrossOpeners) {
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase7, {{"NAME", 'C', 4, 0}, {"ID", '+', 4, 0}});
  constexpr int kNextAt = 68 + 48 * 1 + 42;
  const auto id_of = [](TDbfFile& t, int64_t n) {
    std::vector<uint8_t> record(size_t(t.RecordSize()));
    t.ReadRecordAt(n, record.data());
    int32_t id = -1;
    t.DecodeField(*t.FindField("ID"), ftInteger, &id, record.data());
    return id;
  };
  {
    auto one = OpenTable(file, pmSharedOpen);
    auto two = OpenTable(file, pmSharedOpen);
    ASSERT_TRUE(one->HasAutoIncField());
    for (TDbfFile* t : {one.get(), two.get(), one.get()}) {
      auto record = Record(*t, {{"NAME", "x"}});
      t->AppendRecord(record.data());
    }
    EXPECT_EQ(id_of(*one, 1), 0);
    EXPECT_EQ(id_of(*one, 2), 1);
    EXPECT_EQ(id_of(*one, 3), 2);
    CloseTable(*one);
    CloseTable(*two);
  }
  // Whoever closes last stores a header: neither counter goes back.
  const std::string bytes = ReadFile(file);
  EXPECT_EQ(GetLE32(bytes.data() + kNextAt), 3u);
  EXPECT_EQ(GetLE32(bytes.data() + 4), 3u);
  auto table = OpenTable(file);
  auto record = Record(*table, {{"NAME", "y"}});
  table->AppendRecord(record.data());
  EXPECT_EQ(id_of(*table, 4), 3);
}

}  // namespace

namespace {

TEST(Records, OpenCountsTheWholeRecordsOfACutTable) {
  const std::string file = TempDir("rec") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameAge);
  {
    auto table = OpenTable(file);
    for (const char* name : {"ann", "bob", "cy"}) {
      auto record = Record(*table, {{"NAME", name}});
      table->AppendRecord(record.data());
    }
    CloseTable(*table);
  }
  std::string bytes = ReadFile(file);
  bytes.resize(kNameAgeHeader + 2 * kNameAgeRecord + 4);  // the third record cut short
  // Every opener counts the whole records. A read-only opener leaves the
  // header's count as it is; a shared one stores the count under the header
  // lock, where no append is half done; an exclusive one stores it.
  const struct {
    TPageFileMode mode;
    uint32_t stored;
  } cases[] = {{pmReadOnly, 3u}, {pmSharedOpen, 2u}, {pmExclusiveOpen, 2u}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.mode));
    testsupport::WriteFile(file, bytes);
    auto table = OpenTable(file, c.mode);
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(table->HeaderRecordCount(), 2u);
    table->CloseAll();
    EXPECT_EQ(GetLE32(ReadFile(file).data() + 4), c.stored);
  }
}

}  // namespace

}  // namespace records_ops_test

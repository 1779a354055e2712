// Pack: the table without its deleted records, its memo file compacted, and
// never a lost table, whatever stops the pack.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <set>
#include <thread>

#include "dbf/dbf_str.h"
#include "tests/dbf/records_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/sys/files.h"

namespace records_pack_test {

using namespace records_support;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

const std::vector<FieldSpec> kNameNote = {{"NAME", 'C', 8, 0}, {"NOTE", 'M', 10, 0}};

// Appends one record per name; names in deleted are marked deleted.
void Fill(const std::string& file, const std::vector<std::string>& names, const std::set<std::string>& deleted,
          bool with_memo = false) {
  auto table = OpenTable(file);
  for (const std::string& name : names) {
    auto record = Record(*table, {{"NAME", name}});
    if (with_memo && name != "none") {
      TStringStream value("memo of " + name + std::string(name.size() * 100, '.'));
      int64_t block = 0;
      table->MemoFile()->WriteMemo(block, 0, value);
      table->SetMemoBlock(*table->FindField("NOTE"), record.data(), block);
    }
    if (deleted.count(name)) record[0] = '*';
    table->AppendRecord(record.data());
  }
  CloseTable(*table);
}

std::vector<std::string> Names(const std::string& file) {
  auto table = OpenTable(file, pmReadOnly);
  std::vector<std::string> names;
  std::vector<uint8_t> record(size_t(table->RecordSize()));
  for (int64_t n = 1; n <= table->RecordCount(); ++n) {
    table->ReadRecordAt(n, record.data());
    names.push_back((record[0] == '*' ? "*" : "") + Text(*table, record, "NAME"));
  }
  return names;
}

void Pack(const std::string& file, TPageFileMode mode = pmExclusiveOpen) {
  auto table = OpenTable(file, mode);
  table->RebuildTableFile();
  CloseTable(*table);
}

TEST(Pack, KeepsTheLiveRecordsInOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> rows;
    std::set<std::string> deleted;
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {"nothing deleted", {"a", "b", "c"}, {}, {"a", "b", "c"}},
      {"some deleted", {"a", "b", "c", "d"}, {"b", "d"}, {"a", "c"}},
      {"all deleted", {"a", "b"}, {"a", "b"}, {}},
      {"empty table", {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = TempDir("pack");
    const std::string file = dir + "/t.dbf";
    CreateTable(file, kDbfVersionDBase4, {{"NAME", 'C', 8, 0}});
    Fill(file, c.rows, c.deleted);
    const std::string before = ReadFile(file);
    Pack(file);
    EXPECT_EQ(Names(file), c.kept);
    const std::string after = ReadFile(file);
    constexpr size_t kHeader = 32 + 32 + 1;
    // The same header apart from the count, the records and the end mark.
    ASSERT_EQ(after.size(), kHeader + 9 * c.kept.size() + 1);
    EXPECT_EQ(GetLE32(after.data() + 4), c.kept.size());
    EXPECT_EQ(after.substr(8, kHeader - 8), before.substr(8, kHeader - 8));
    EXPECT_EQ(after.back(), '\x1A');
    EXPECT_FALSE(FileExists(dir + "/t_1.dbf"));
  }
}

// The names of the files in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Pack, CarriesMemosOverAndCompactsTheMemoFile) {
  struct Case {
    int version;
    int block_size;
  };
  const Case cases[] = {
      {kDbfVersionDBase3, 512},
      {kDbfVersionDBase4, 256},
      {kDbfVersionDBase7, 1024},
      {kDbfVersionFoxPro, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    const bool foxpro = c.version == kDbfVersionFoxPro;
    const std::string dir = TempDir("pack");
    const std::string file = dir + "/t.dbf";
    CreateTable(file, c.version, kNameNote, c.block_size);
    Fill(file, {"anna", "bob", "none", "cyril", "dora"}, {"bob", "dora"}, true);
    const std::string memo_name = ChangeFileExt(file, foxpro ? ".fpt" : ".dbt");
    const std::string memo_before = ReadFile(memo_name);
    Pack(file);
    const std::string memo_after = ReadFile(memo_name);
    EXPECT_LT(memo_after.size(), memo_before.size());
    // The new memo file keeps the old one's block size.
    if (foxpro) {
      EXPECT_EQ(GetBE16(memo_after.data() + 6), c.block_size);
    } else if (c.version != kDbfVersionDBase3) {
      EXPECT_EQ(GetLE16(memo_after.data() + 20), c.block_size);
    }
    // Nothing is left beside the table: no new files, no copy of the old memo file.
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"t.dbf", foxpro ? "t.fpt" : "t.dbt"}));
    auto table = OpenTable(file, pmReadOnly);
    ASSERT_EQ(table->RecordCount(), 3);
    EXPECT_EQ(table->MemoFile()->BlockSize(), c.version == kDbfVersionDBase3 ? 512 : c.block_size);
    const TDbfFieldDef& note = *table->FindField("NOTE");
    std::vector<uint8_t> record(size_t(table->RecordSize()));
    const char* expected[] = {"anna", "none", "cyril"};
    for (int64_t n = 1; n <= 3; ++n) {
      table->ReadRecordAt(n, record.data());
      const std::string name = Text(*table, record, "NAME");
      EXPECT_EQ(name, expected[n - 1]);
      TMemoryStream value;
      table->MemoFile()->ReadMemo(table->MemoBlock(note, record.data()), value);
      if (name == "none") {
        // A record without a memo keeps a blank reference.
        EXPECT_EQ(std::string(reinterpret_cast<char*>(record.data()) + note.Offset(), 10), std::string(10, ' '));
        EXPECT_EQ(value.Size(), 0);
      } else {
        EXPECT_EQ(std::string(value.Bytes()), "memo of " + name + std::string(name.size() * 100, '.'));
      }
    }
  }
}

TEST(Pack, AutoIncrementGoesOnWhereItWas) {
  const std::string file = TempDir("pack") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase7, {{"NAME", 'C', 8, 0}, {"ID", '+', 4, 0}});
  Fill(file, {"a", "b", "c"}, {"c"});
  Pack(file);
  auto table = OpenTable(file);
  auto record = Record(*table, {{"NAME", "d"}});
  ASSERT_EQ(table->AppendRecord(record.data()), 3);
  int32_t id = -1;
  ASSERT_TRUE(table->DecodeField(*table->FindField("ID"), ftInteger, &id, record.data()));
  // Numbers 0..2 were handed out before the pack; "c" took 2 and is gone.
  EXPECT_EQ(id, 3);
}

TEST(Pack, RefusesWithoutTheMemoFileAndChangesNothing) {
  const std::string dir = TempDir("pack");
  const std::string file = dir + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameNote);
  Fill(file, {"anna", "bob"}, {"bob"}, true);
  DeleteFile(dir + "/t.dbt");
  const std::string before = ReadFile(file);
  auto table = OpenTable(file);
  try {
    table->RebuildTableFile();
    ADD_FAILURE() << "packed without the memo file";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Open: file not found: \"" + dir + "/t.dbt\".");
  }
  table->CloseAll();
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_FALSE(FileExists(dir + "/t_1.dbf"));
}

TEST(Pack, PicksAFreeNameBesideExistingOnes) {
  const std::string dir = TempDir("pack");
  const std::string file = dir + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameNote);
  Fill(file, {"anna", "bob"}, {"anna"}, true);
  WriteFile(dir + "/t_1.dbf", "someone else's");
  WriteFile(dir + "/t_2.dbt", "someone else's memo");
  Pack(file);
  EXPECT_EQ(Names(file), std::vector<std::string>{"bob"});
  EXPECT_EQ(ReadFile(dir + "/t_1.dbf"), "someone else's");
  EXPECT_EQ(ReadFile(dir + "/t_2.dbt"), "someone else's memo");
  EXPECT_FALSE(FileExists(dir + "/t_3.dbf"));
}

TEST(Pack, SharedTableIsPackedExclusivelyAndReturnsToSharing) {
  const std::string file = TempDir("pack") + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameNote);
  Fill(file, {"anna", "bob"}, {"anna"}, true);
  {
    auto other = OpenTable(file, pmSharedOpen);
    auto table = OpenTable(file, pmSharedOpen);
    try {
      table->RebuildTableFile();
      ADD_FAILURE() << "packed while another program has the table open";
    } catch (const EDbfError& e) {
      EXPECT_EQ(e.Message(), STRING_NEED_EXCLUSIVE_ACCESS);
    }
    EXPECT_TRUE(table->NeedLocks());
  }
  auto table = OpenTable(file, pmSharedOpen);
  table->RebuildTableFile();
  EXPECT_TRUE(table->NeedLocks());
  EXPECT_EQ(table->Mode(), pmSharedOpen);
  EXPECT_EQ(table->RecordCount(), 1);
  auto other = OpenTable(file, pmSharedOpen);  // neither file is held exclusively any more
  auto record = Record(*other, {{"NAME", "cyril"}});
  TStringStream value("cyril's memo");
  int64_t block = 0;
  other->MemoFile()->WriteMemo(block, 0, value);
  EXPECT_GT(block, 0);
}

TEST(Pack, RefusesToLeaveIndexFilesBehind) {
  const std::string dir = TempDir("pack");
  const std::string file = dir + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, {{"NAME", 'C', 8, 0}});
  Fill(file, {"a", "b"}, {"a"});
  std::string bytes = ReadFile(file);
  bytes[28] = 1;  // a production index file belongs to the table
  WriteFile(file, bytes);
  WriteFile(dir + "/t.mdx", std::string(2048, '\0'));
  auto table = OpenTable(file);
  EXPECT_THROW(table->RebuildTableFile(), EDbfError);
  table->CloseAll();
  EXPECT_EQ(ReadFile(file), bytes);
}

TEST(Pack, FailedWriteLeavesTheTableAndNoNewFiles) {
  const std::string dir = TempDir("pack");
  const std::string file = dir + "/t.dbf";
  CreateTable(file, kDbfVersionDBase4, kNameNote);
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) names.push_back("n" + std::to_string(i));
  Fill(file, names, {"n0"}, true);
  const std::string table_before = ReadFile(file);
  const std::string memo_before = ReadFile(dir + "/t.dbt");
  const int status = InChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit r{4096, 4096};  // the new memo file outgrows this
    setrlimit(RLIMIT_FSIZE, &r);
    auto table = OpenTable(file);
    try {
      table->RebuildTableFile();
    } catch (const EDbfWriteError&) {
      return 0;
    }
    return 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(file), table_before);
  EXPECT_EQ(ReadFile(dir + "/t.dbt"), memo_before);
  EXPECT_FALSE(FileExists(dir + "/t_1.dbf"));
  EXPECT_FALSE(FileExists(dir + "/t_1.dbt"));
}

TEST(Pack, KilledMidwayLeavesOneIntactTable) {
  // Many records, every third deleted; the bytes of the table and of its
  // memo file (one dBase IV value per record, block n for record n) are laid
  // out directly.
  for (bool with_memo : {false, true}) {
    SCOPED_TRACE(with_memo ? "with memo" : "without memo");
    // Enough for the pack to take some tens of milliseconds.
    const int kRows = with_memo ? 8000 : 30000;
    const std::string dir = TempDir("pack");
    const std::string file = dir + "/t.dbf";
    const std::string memo_file = dir + "/t.dbt";
    std::vector<FieldSpec> fields = {{"NAME", 'C', 8, 0}, {"FILL", 'C', 200, 0}};
    if (with_memo) fields.push_back({"NOTE", 'M', 10, 0});
    CreateTable(file, kDbfVersionDBase4, fields);
    const int record_size = 1 + 8 + 200 + (with_memo ? 10 : 0);
    const size_t header = 32 + fields.size() * 32 + 1;
    std::string bytes = ReadFile(file);
    bytes.pop_back();  // the end mark
    std::string memo(512, '\0');
    PutLE32(memo.data(), uint32_t(kRows + 1));
    PutLE16(memo.data() + 20, 512);
    std::string packed_records;
    for (int i = 0; i < kRows; ++i) {
      char name[12];  // room for any int, though the rows need eight digits
      std::snprintf(name, sizeof name, "%08d", i);
      std::string record = (i % 3 == 0 ? "*" : " ") + std::string(name, 8) + std::string(200, char('a' + i % 26));
      if (with_memo) {
        char block[12];
        std::snprintf(block, sizeof block, "%10d", i + 1);
        record += block;
        std::string value = std::string("\xFF\xFF\x08\x00", 4) + std::string(4, '\0') + "memo " + name;
        PutLE32(value.data() + 4, uint32_t(value.size()));
        value.resize(512, ' ');
        memo += value;
      }
      bytes += record;
      if (i % 3 != 0) packed_records += record.substr(0, 1 + 8 + 200);
    }
    PutLE32(bytes.data() + 4, kRows);
    bytes += '\x1A';
    const std::string original = bytes;

    // The last run is not stopped: the pack completes.
    for (int delay_us : {0, 300, 1000, 3000, 10000, 30000, 100000, -1}) {
      SCOPED_TRACE(delay_us);
      WriteFile(file, original);
      if (with_memo) WriteFile(memo_file, memo);
      for (const std::string& leftover : FilesIn(dir))
        if (leftover != "t.dbf" && leftover != "t.dbt") DeleteFile(dir + "/" + leftover);
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        try {
          Pack(file);
        } catch (...) {
        }
        _exit(0);
      }
      if (delay_us >= 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
        kill(pid, SIGKILL);
      }
      waitpid(pid, nullptr, 0);

      const std::string now = ReadFile(file);
      auto table = OpenTable(file, pmReadOnly);
      if (table->RecordCount() == kRows) {
        EXPECT_EQ(now, original);
        if (with_memo) {
          EXPECT_EQ(ReadFile(memo_file), memo);
        }
        EXPECT_GE(delay_us, 0) << "the pack did not complete";
        continue;
      }
      const int64_t kept = int64_t(packed_records.size()) / (1 + 8 + 200);
      ASSERT_EQ(table->RecordCount(), kept);
      EXPECT_EQ(GetLE32(now.data() + 4), uint32_t(kept));
      std::vector<uint8_t> record(static_cast<size_t>(record_size));
      const TDbfFieldDef* note = with_memo ? table->FindField("NOTE") : nullptr;
      for (int64_t n = 1; n <= kept; ++n) {
        table->ReadRecordAt(n, record.data());
        const std::string expected = packed_records.substr(size_t(n - 1) * (1 + 8 + 200), 1 + 8 + 200);
        ASSERT_EQ(std::string(record.begin(), record.begin() + 1 + 8 + 200), expected) << "record " << n;
        if (!with_memo) continue;
        // Every record's value came over with it.
        TMemoryStream value;
        table->MemoFile()->ReadMemo(table->MemoBlock(*note, record.data()), value);
        ASSERT_EQ(std::string(value.Bytes()), "memo " + expected.substr(1, 8)) << "record " << n;
      }
      EXPECT_EQ(now.size(), header + size_t(kept) * size_t(record_size) + 1);
    }
  }
}

}  // namespace records_pack_test

#include "dbf/dbf_pgfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dbf/dbf_str.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/classes.h"
#include "toolkit/sys/locks.h"

namespace dbf_pgfile_test {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

std::unique_ptr<TPagedFile> Open(const std::string& name, TPageFileMode mode, bool auto_create = false) {
  auto f = std::make_unique<TPagedFile>();
  f->SetFileName(name);
  f->SetMode(mode);
  f->SetAutoCreate(auto_create);
  f->OpenStream();
  return f;
}

TEST(PagedFile, ShortHeaderReadsAsZerosAndCountRoundsDown) {
  const std::string file = TempDir("pg") + "/t.dat";
  WriteFile(file, "ABCDE");
  auto f = Open(file, pmReadOnly);
  f->SetHeaderSize(8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(f->Header()), 8), std::string("ABCDE\0\0\0", 8));
  f->CloseStream();

  WriteFile(file, std::string(10 + 3 * 4 + 2, 'x'));  // header 10, three records of 4 and two stray bytes
  f = Open(file, pmExclusiveOpen);
  f->SetHeaderSize(10);
  f->SetRecordSize(4);
  EXPECT_EQ(f->RecordCount(), 3);
  EXPECT_EQ(f->RecordOffset(0), 0);
  EXPECT_EQ(f->RecordOffset(2), 14);
  f->SetPageOffsetByHeader(false);
  EXPECT_EQ(f->RecordOffset(2), 8);
  EXPECT_EQ(f->RecordCount(), 6);  // 24 bytes / 4, counted from the start
}

TEST(PagedFile, AppendingKeepsTheCountAndRecordsReadBack) {
  const std::string file = TempDir("pg") + "/t.dat";
  auto f = Open(file, pmExclusiveCreate);
  f->SetHeaderSize(4);
  f->SetRecordSize(3);
  std::memcpy(f->Header(), "HDR!", 4);
  f->StoreHeader();
  f->FlushHeader();
  EXPECT_EQ(f->RecordCount(), 0);
  f->WriteRecordAt(1, "abc");
  f->WriteRecordAt(2, "def");
  EXPECT_EQ(f->RecordCount(), 2);
  EXPECT_TRUE(f->RecordExists(2));
  EXPECT_FALSE(f->RecordExists(3));
  char buf[3];
  EXPECT_EQ(f->ReadRecordAt(2, buf), 3);
  EXPECT_EQ(std::string(buf, 3), "def");
  EXPECT_EQ(f->ReadRecordAt(5, buf), 0);
  f->SetRecordCount(1);
  f->CloseStream();
  EXPECT_EQ(ReadFile(file), "HDR!abc");
}

// Record n of the read-ahead tests: 100 bytes that name it.
std::string Record(int n, char fill = '.') {
  std::string r = std::to_string(n);
  return r + std::string(100 - r.size(), fill);
}

// A file of a 4-byte header and records 1 .. count, open in mode with
// records of 100 bytes.
std::unique_ptr<TPagedFile> RecordFile(const std::string& file, int count, TPageFileMode mode) {
  std::string content = "HEAD";
  for (int n = 1; n <= count; ++n) content += Record(n);
  WriteFile(file, content);
  auto f = Open(file, mode);
  f->SetHeaderSize(4);
  f->SetRecordSize(100);
  return f;
}

// An exclusive file reads records ahead in blocks; whatever order the reads
// come in and whatever this process writes between them, each read gives the
// record as the file holds it.
TEST(PagedFile, RecordsReadAheadAreTheFilesInAnyOrderAndAfterWrites) {
  auto f = RecordFile(TempDir("pg") + "/ahead.dat", 2000, pmExclusiveOpen);
  char buf[100];
  auto read = [&](int n) { return f->ReadRecordAt(n, buf) == 100 ? std::string(buf, 100) : std::string("short"); };
  for (int n = 1; n <= 2000; ++n) ASSERT_EQ(read(n), Record(n)) << "forward " << n;
  for (int n = 2000; n >= 1; --n) ASSERT_EQ(read(n), Record(n)) << "backward " << n;
  for (int n : {1500, 3, 1999, 700, 701, 699}) EXPECT_EQ(read(n), Record(n)) << "jump " << n;
  // Written between reads of the same block: the next read sees the write.
  EXPECT_EQ(read(10), Record(10));
  f->WriteRecordAt(11, Record(11, 'w').data());
  EXPECT_EQ(read(11), Record(11, 'w'));
  // Appended and cut: nothing past the end is served from memory.
  f->WriteRecordAt(2001, Record(2001).data());
  EXPECT_EQ(read(2001), Record(2001));
  f->SetRecordCount(1990);
  EXPECT_EQ(f->ReadRecordAt(1995, buf), 0);
  EXPECT_EQ(read(1990), Record(1990));
  // Byte reads go on after the last record read.
  EXPECT_EQ(read(5), Record(5));
  EXPECT_EQ(f->ReadByte(), '6');
  f->CloseStream();
}

// A shared file reads each record when asked: a change another program made
// since the last read is seen at once.
TEST(PagedFile, SharedFilesReadEveryRecordFromTheFile) {
  const std::string file = TempDir("pg") + "/shared.dat";
  auto f = RecordFile(file, 50, pmSharedOpen);
  char buf[100];
  ASSERT_EQ(f->ReadRecordAt(1, buf), 100);
  {
    const int fd = ::open(file.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::string changed = Record(2, 'x');
    ASSERT_EQ(::pwrite(fd, changed.data(), changed.size(), 4 + 100), 100);
    ::close(fd);
  }
  ASSERT_EQ(f->ReadRecordAt(2, buf), 100);
  EXPECT_EQ(std::string(buf, 100), Record(2, 'x'));
  f->CloseStream();
}

TEST(PagedFile, BytesFollowTheLastBlockInFilesAndInMemory) {
  // Records are read and written at their offsets; a single byte still goes
  // on where the last of them ended (the end mark after the last record).
  for (TPageFileMode mode : {pmExclusiveCreate, pmSharedCreate, pmMemoryCreate}) {
    const std::string file = TempDir("pg") + "/t.dat";
    auto f = Open(file, mode);
    f->SetHeaderSize(2);
    f->SetRecordSize(3);
    f->WriteRecordAt(2, "def");
    f->WriteRecordAt(1, "abc");
    f->WriteByte(0x1A);  // after record 1, over record 2's first byte
    EXPECT_EQ(f->RecordCount(), 2) << mode;
    char buf[3];
    ASSERT_EQ(f->ReadRecordAt(1, buf), 3) << mode;
    EXPECT_EQ(f->ReadByte(), 0x1A) << mode;
    EXPECT_EQ(f->ReadByte(), 'e') << mode;
    ASSERT_EQ(f->ReadRecordAt(2, buf), 3) << mode;
    EXPECT_EQ(f->ReadByte(), -1) << mode;
    if (mode == pmMemoryCreate) continue;
    f->CloseStream();
    EXPECT_EQ(ReadFile(file), std::string("\0\0abc\x1A" "ef", 8)) << mode;
  }
}

TEST(PagedFile, OpenModesCreateOnlyWhenAllowed) {
  const std::string dir = TempDir("pg");
  try {
    Open(dir + "/missing.dat", pmExclusiveOpen);
    FAIL() << "opened a missing file";
  } catch (const EDbfError&) {
    FAIL() << "a missing file is a plain Exception, not an engine error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Open: file not found: \"" + dir + "/missing.dat\".");
  }
  // A shared open with auto create makes the file (as a shared create) and
  // returns to the mode asked for at close.
  auto f = Open(dir + "/auto.dat", pmSharedOpen, true);
  EXPECT_EQ(f->Mode(), pmSharedCreate);
  EXPECT_TRUE(f->NeedLocks());
  f->CloseStream();
  EXPECT_EQ(f->Mode(), pmSharedOpen);
  EXPECT_EQ(ReadFile(dir + "/auto.dat"), "");

  WriteFile(dir + "/old.dat", "old content");
  Open(dir + "/old.dat", pmExclusiveCreate)->CloseStream();
  EXPECT_EQ(ReadFile(dir + "/old.dat"), "") << "a creating mode starts from an empty file";
}

TEST(PagedFile, AnOpenThatFailsKeepsTheModeAskedFor) {
  // An auto-created file whose folder is missing cannot be made. The failed
  // open must leave the open mode as it was: taken for a create, the next
  // open would empty the file that has appeared meanwhile.
  const std::string dir = TempDir("pg") + "/later";
  TPagedFile f;
  f.SetFileName(dir + "/t.dat");
  f.SetMode(pmExclusiveOpen);
  f.SetAutoCreate(true);
  EXPECT_THROW(f.OpenStream(), Exception);
  EXPECT_FALSE(f.Active());
  EXPECT_EQ(f.Mode(), pmExclusiveOpen);

  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  WriteFile(dir + "/t.dat", "kept");
  f.OpenStream();
  EXPECT_EQ(f.Mode(), pmExclusiveOpen);
  f.CloseStream();
  EXPECT_EQ(ReadFile(dir + "/t.dat"), "kept");
}

TEST(PagedFile, MemoryModeKeepsItsStreamOverClose) {
  auto f = std::make_unique<TPagedFile>();
  f->SetMode(pmMemoryOpen);
  f->OpenStream();
  EXPECT_EQ(f->Mode(), pmMemoryCreate);
  f->SetRecordSize(2);
  f->WriteRecordAt(1, "zz");
  f->CloseStream();
  f->OpenStream();
  EXPECT_EQ(f->RecordCount(), 1);
  EXPECT_TRUE(f->LockRecord(1, false));
}

struct ShareCase {
  TPageFileMode first, second;
  bool second_opens;
};

TEST(PagedFile, ShareModesBetweenOpens) {
  const ShareCase cases[] = {
      {pmExclusiveOpen, pmSharedOpen, false}, {pmSharedOpen, pmExclusiveOpen, false},
      {pmExclusiveOpen, pmExclusiveOpen, false}, {pmSharedOpen, pmSharedOpen, true},
      {pmExclusiveOpen, pmReadOnly, true},     {pmReadOnly, pmExclusiveOpen, true},
      {pmReadOnly, pmSharedOpen, true},        {pmSharedOpen, pmExclusiveCreate, false},
  };
  const std::string file = TempDir("share") + "/t.dat";
  for (const auto& c : cases) {
    WriteFile(file, "keep me");
    auto first = Open(file, c.first);
    if (c.second_opens) {
      EXPECT_NO_THROW(Open(file, c.second)) << c.first << " then " << c.second;
    } else {
      EXPECT_THROW(Open(file, c.second), EFOpenError) << c.first << " then " << c.second;
      EXPECT_EQ(ReadFile(file), "keep me") << "a refused create must not cut the file";
    }
  }
}

TEST(PagedFile, TemporaryExclusiveModeWaitsForOtherOpens) {
  const std::string file = TempDir("excl") + "/t.dat";
  WriteFile(file, "");
  auto f = Open(file, pmSharedOpen);
  {
    auto other = Open(file, pmSharedOpen);
    f->EnterExclusiveMode();
    EXPECT_TRUE(f->Active());
    EXPECT_EQ(f->Mode(), pmSharedOpen);
    EXPECT_THROW(f->RequireExclusive(), EDbfError);
  }
  f->EnterExclusiveMode();
  EXPECT_EQ(f->Mode(), pmExclusiveOpen);
  EXPECT_NO_THROW(f->RequireExclusive());
  EXPECT_THROW(Open(file, pmSharedOpen), EFOpenError);
  f->LeaveExclusiveMode();
  EXPECT_EQ(f->Mode(), pmSharedOpen);
  EXPECT_NO_THROW(Open(file, pmSharedOpen));
}

// A child process holds record locks on a shared table; the parent sees them
// at the documented bytes and its own waiting lock gives up with the engine's error.
TEST(PagedFile, RecordLocksAreSeenByOtherProcesses) {
  const std::string file = TempDir("locks") + "/t.dbf";
  WriteFile(file, std::string(64, ' '));
  int to_parent[2], to_child[2];
  ASSERT_EQ(::pipe(to_parent), 0);
  ASSERT_EQ(::pipe(to_child), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int status = 0;
    try {
      auto child = Open(file, pmSharedOpen);
      child->SetHeaderSize(32);
      child->SetRecordSize(8);
      status = child->LockRecord(0, false) && child->LockRecord(5, false) ? 0 : 1;
      char c = 'L';
      if (::write(to_parent[1], &c, 1) != 1) status = 2;
      if (::read(to_child[0], &c, 1) != 1) status = 3;
      if (!child->UnlockRecord(5)) status = 4;
      c = 'U';
      if (::write(to_parent[1], &c, 1) != 1) status = 5;
      if (::read(to_child[0], &c, 1) != 1) status = 6;
    } catch (...) {
      status = 9;
    }
    ::_exit(status);
  }
  char c = 0;
  ASSERT_EQ(::read(to_parent[0], &c, 1), 1);

  const int fd = ::open(file.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const struct {
    int64_t offset;
    bool locked;
  } probes[] = {{0xEFFFFFFE, true}, {0xEFFFFFF9, true}, {0xEFFFFFFF, false}, {0xEFFFFFFD, false},
                {0xEFFFFFFA, false}, {0xEFFFFFF8, false}, {0, false}};
  for (const auto& p : probes) EXPECT_EQ(IsRangeLockedElsewhere(fd, p.offset, 1), p.locked) << std::hex << p.offset;

  auto parent = Open(file, pmSharedOpen);
  parent->SetHeaderSize(32);
  parent->SetRecordSize(8);
  const int saved_wait = TPagedFile::LockWaitMilliseconds();
  TPagedFile::SetLockWaitMilliseconds(30);
  EXPECT_FALSE(parent->LockRecord(5, false));
  EXPECT_TRUE(parent->LockRecord(4, false));
  try {
    parent->LockRecord(0, true);
    ADD_FAILURE() << "waiting for a held lock must end";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Record locked.");
  }
  TPagedFile::SetLockWaitMilliseconds(saved_wait);

  c = 'u';
  ASSERT_EQ(::write(to_child[1], &c, 1), 1);
  ASSERT_EQ(::read(to_parent[0], &c, 1), 1);
  EXPECT_FALSE(IsRangeLockedElsewhere(fd, 0xEFFFFFF9, 1));
  EXPECT_TRUE(parent->LockRecord(5, false));
  EXPECT_TRUE(parent->UnlockRecord(5));
  ASSERT_EQ(::write(to_child[1], &c, 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ::close(fd);
  for (int p : {to_parent[0], to_parent[1], to_child[0], to_child[1]}) ::close(p);
}

TEST(PagedFile, RealLocksCoverThePageAndExclusiveOpensNeedNone) {
  const std::string file = TempDir("real") + "/t.mdx";
  WriteFile(file, std::string(2048, '\0'));
  auto a = Open(file, pmSharedOpen);
  auto b = Open(file, pmSharedOpen);
  for (auto* f : {a.get(), b.get()}) {
    f->SetVirtualLocks(false);
    f->SetPageOffsetByHeader(false);
    f->SetRecordSize(512);
  }
  EXPECT_TRUE(a->LockRecord(2, false));
  EXPECT_FALSE(b->LockRecord(2, false));
  EXPECT_TRUE(b->LockRecord(1, false));
  EXPECT_TRUE(b->LockRecord(3, false));
  a->UnlockRecord(2);
  EXPECT_TRUE(b->LockRecord(2, false));

  const std::string other = TempDir("real2") + "/t.dat";
  WriteFile(other, "");
  auto exclusive = Open(other, pmExclusiveOpen);
  EXPECT_FALSE(exclusive->NeedLocks());
  EXPECT_TRUE(exclusive->LockRecord(7, true));
  EXPECT_NO_THROW(exclusive->RequireExclusive());
}

}  // namespace dbf_pgfile_test

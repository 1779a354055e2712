// A pack stopped at any step (killed while it replaces the table's files) is
// finished or undone by the next open: every live row keeps its own memo and
// no file of the pack is left beside the table. The packs run in dbftool
// under strace, which kills the process as it enters the n-th call of a
// chosen system call.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>


#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>

#include "dbf/dbf_str.h"
#include "tests/dbf/records_support.h"
#include "tests/dbf/table2_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/sys/files.h"

namespace records_pack_recovery_test {

using namespace records_support;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string Tool() { return std::string(KIV7_BINARY_DIR) + "/tools/dbftool/dbftool"; }

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The bytes of every file in dir, by name.
std::map<std::string, std::string> BytesOf(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const std::string& name : FilesIn(dir)) files[name] = ReadFile(dir + "/" + name);
  return files;
}

// Rows of the fixture: name, whether deleted. Memo values grow row by row, so
// that a row read through the other pack's memo file gets another value.
struct Row {
  std::string name;
  bool deleted;
};
const std::vector<Row> kRows = {{"anna", false}, {"bob", true},  {"cyril", false}, {"dora", true},
                                {"eve", false},  {"fred", true}, {"gwen", false},  {"hugo", false}};

std::string MemoOf(const std::string& name) {
  size_t i = 0;
  while (kRows[i].name != name) ++i;
  return "memo of " + name + " " + std::string(300 * (i + 1), char('a' + i));
}

// Makes the table through dbftool (memo fields or not); gives back its files' bytes by name.
std::map<std::string, std::string> MakeFixture(const std::string& dir, bool memo) {
  std::string out;
  const std::string file = dir + "/t.dbf";
  EXPECT_EQ(RunCommand(Tool() + " create " + file + " --level 4 --fields NAME:C:8" + (memo ? ",NOTE:M" : "") +
                           " 2>&1",
                       &out),
            0)
      << out;
  std::string csv = memo ? "NAME,NOTE\n" : "NAME\n";
  for (const Row& row : kRows) csv += row.name + (memo ? "," + MemoOf(row.name) : "") + "\n";
  WriteFile(dir + "/rows.csv", csv);
  EXPECT_EQ(RunCommand(Tool() + " append " + file + " < " + dir + "/rows.csv 2>&1", &out), 0) << out;
  DeleteFile(dir + "/rows.csv");
  std::string deleted;
  for (size_t i = 0; i < kRows.size(); ++i)
    if (kRows[i].deleted) deleted += " " + std::to_string(i + 1);
  EXPECT_EQ(RunCommand(Tool() + " delete " + file + deleted + " 2>&1", &out), 0) << out;
  return BytesOf(dir);
}

void PutFiles(const std::string& dir, const std::map<std::string, std::string>& files) {
  for (const std::string& name : FilesIn(dir)) DeleteFile(dir + "/" + name);
  for (const auto& [name, bytes] : files) WriteFile(dir + "/" + name, bytes);
}

// Opens the table and checks it holds either all rows (the pack undone) or
// the live ones (the pack done), each live row with its own memo. Gives back
// whether the pack was done.
bool CheckWhole(const std::string& file, bool memo) {
  auto table = OpenTable(file, pmReadOnly);
  std::vector<Row> rows;
  std::vector<uint8_t> record(size_t(table->RecordSize()));
  for (int64_t n = 1; n <= table->RecordCount(); ++n) {
    table->ReadRecordAt(n, record.data());
    const std::string name = Text(*table, record, "NAME");
    rows.push_back({name, record[0] == '*'});
    if (!memo || record[0] == '*') continue;
    TMemoryStream value;
    table->MemoFile()->ReadMemo(table->MemoBlock(*table->FindField("NOTE"), record.data()), value);
    EXPECT_EQ(std::string(value.Bytes()), MemoOf(name)) << "row " << n;
  }
  std::vector<Row> live;
  for (const Row& row : kRows)
    if (!row.deleted) live.push_back(row);
  const auto same = [](const std::vector<Row>& a, const std::vector<Row>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Row& x, const Row& y) { return x.name == y.name && x.deleted == y.deleted; });
  };
  const bool packed = same(rows, live);
  EXPECT_TRUE(packed || same(rows, kRows)) << rows.size() << " rows";
  return packed;
}

// Runs dbftool pack, killed as it enters call number `when` of `call`; true
// when it was killed (false: it ran to its end).
using testsupport::kNoLeakCheck;

bool PackKilledAt(const std::string& file, const std::string& call, int when) {
  std::string out;
  const int status = RunCommand(std::string(kNoLeakCheck) + "strace -f -o /dev/null -e trace=" + call +
                                    " -e inject=" + call + ":signal=SIGKILL:when=" + std::to_string(when) + " " +
                                    Tool() + " pack " + file + " 2>&1",
                                &out);
  if (status == 128 + 9 || status == -1) return true;
  EXPECT_EQ(status, 0) << out;
  return false;
}

TEST(PackRecovery, KilledAtEveryStepTheNextOpenFindsOneWholeTable) {
  ASSERT_EQ(RunCommand("strace -V >/dev/null 2>&1", nullptr), 0) << "strace is needed (scripts/install-deps.sh)";
  for (bool memo : {true, false}) {
    SCOPED_TRACE(memo ? "with memo" : "without memo");
    const std::string dir = TempDir(memo ? "memo" : "plain");
    const std::string file = dir + "/t.dbf";
    const std::map<std::string, std::string> fixture = MakeFixture(dir, memo);
    const std::vector<std::string> own = memo ? std::vector<std::string>{"t.dbf", "t.dbt"}
                                              : std::vector<std::string>{"t.dbf"};
    ASSERT_EQ(FilesIn(dir), own);
    // Every rename and every step between them: the marker given its name;
    // the marker, the new files and the state put on the disk; the second
    // name of the memo file; the deletions after the renames.
    std::map<std::string, int> kills;
    for (const char* call : {"fsync", "linkat", "link", "rename", "unlink"}) {
      for (int when = 1; when < 20; ++when) {
        SCOPED_TRACE(std::string(call) + " " + std::to_string(when));
        PutFiles(dir, fixture);
        if (!PackKilledAt(file, call, when)) break;
        ++kills[call];
        CheckWhole(file, memo);
        EXPECT_EQ(FilesIn(dir), own);
        // A second pack completes, from whichever table the first left.
        std::string out;
        ASSERT_EQ(RunCommand(Tool() + " pack " + file + " 2>&1", &out), 0) << out;
        EXPECT_TRUE(CheckWhole(file, memo));
        EXPECT_EQ(FilesIn(dir), own);
      }
    }
    // The runs did stop the pack at its renames and between them.
    EXPECT_EQ(kills["rename"], memo ? 2 : 1);
    EXPECT_EQ(kills["link"], memo ? 1 : 0);
    EXPECT_EQ(kills["unlink"], memo ? 2 : 1);
    EXPECT_GE(kills["fsync"], 5);
  }
}

// The marker a pack killed between its two renames leaves: the old table
// with the packed memo file and the marker naming both pairs.
TEST(PackRecovery, KilledBetweenTheRenamesTheTableGetsItsMemoFile) {
  const std::string dir = TempDir("between");
  const std::string file = dir + "/t.dbf";
  MakeFixture(dir, true);
  const std::string old_memo = ReadFile(dir + "/t.dbt");
  ASSERT_TRUE(PackKilledAt(file, "rename", 2));
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"t.dbf", "t.dbf.pack", "t.dbt", "t_1.dbf", "t_2.dbt"}));
  EXPECT_NE(ReadFile(dir + "/t.dbt"), old_memo);
  EXPECT_TRUE(CheckWhole(file, true));
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"t.dbf", "t.dbt"}));
}

// An open while another process packs waits for that pack instead of
// finishing it under its feet.
TEST(PackRecovery, AnOpenWaitsForAPackThatIsStillRunning) {
  const std::string dir = TempDir("live");
  const std::string file = dir + "/t.dbf";
  MakeFixture(dir, true);
  // The renames are held up: the open below comes while the marker is there.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string tool = Tool();
    const char* asan = getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + (asan ? ":" : "") + "detect_leaks=0").c_str(), 1);
    execlp("strace", "strace", "-f", "-o", "/dev/null", "-e", "trace=rename", "-e",
           "inject=rename:delay_enter=400000", tool.c_str(), "pack", file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  bool seen = false;
  for (int i = 0; i < 1000 && !seen; ++i) {
    seen = FileExists(file + ".pack");
    if (!seen) usleep(5000);
  }
  EXPECT_TRUE(seen) << "the pack left no marker while it ran";
  EXPECT_TRUE(CheckWhole(file, true)) << "the open did not wait for the pack";
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"t.dbf", "t.dbt"}));
}

TEST(PackRecovery, ADamagedMarkerIsReportedAndNothingIsTouched) {
  const std::string dir = TempDir("damaged");
  const std::string file = dir + "/t.dbf";
  MakeFixture(dir, true);
  ASSERT_TRUE(PackKilledAt(file, "rename", 2));
  const std::map<std::string, std::string> left = BytesOf(dir);
  const std::string marker = left.at("t.dbf.pack");
  ASSERT_EQ(marker.substr(0, 19), "DBF PACK 1\nstate R\n");
  const auto replace = [&](const std::string& from, const std::string& to) {
    std::string text = marker;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  // The same change with the sum made to match: the names themselves are refused.
  const auto resum = [](std::string text) {
    const size_t begin = text.find("table ");
    const size_t end = text.find("sum ");
    uint32_t hash = 2166136261u;
    for (size_t i = begin; i < end; ++i) hash = (hash ^ uint8_t(text[i])) * 16777619u;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", hash);
    return text.substr(0, end) + "sum " + hex + "\n";
  };
  ASSERT_EQ(resum(marker), marker);
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"empty", ""},
      {"cut short", marker.substr(0, marker.size() - 5)},
      {"sum does not match", replace("new t_1.dbf", "new t_3.dbf")},
      {"unknown state", replace("state R", "state X")},
      {"another table", resum(replace("table t.dbf", "table u.dbf"))},
      {"name outside the folder", resum(replace("keep t_2.dbt", "keep ../t_2.dbt"))},
      {"a name twice", resum(replace("keep t_2.dbt", "keep t_1.dbf"))},
      {"a line missing", resum(replace("newmemo t_1.dbt\n", ""))},
      {"a new file outside the pack's names", resum(replace("new t_1.dbf", "new victim.dbf"))},
      {"a second name outside the pack's names", resum(replace("keep t_2.dbt", "keep t_2.txt"))},
      {"another memo file", resum(replace("memo t.dbt", "memo u.dbt"))},
      {"not a marker", "garbage\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PutFiles(dir, left);
    WriteFile(dir + "/t.dbf.pack", c.text);
    try {
      OpenTable(file, pmReadOnly);
      ADD_FAILURE() << "opened";
    } catch (const EDbfError& e) {
      EXPECT_EQ(e.Message(), Format(STRING_PACK_MARKER_DAMAGED, {dir + "/t.dbf.pack"}));
    }
    for (const auto& [name, bytes] : left)
      if (name != "t.dbf.pack") {
        EXPECT_EQ(ReadFile(dir + "/" + name), bytes) << name;
      }
  }
  // The marker as the pack left it finishes the pack.
  PutFiles(dir, left);
  EXPECT_TRUE(CheckWhole(file, true));
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"t.dbf", "t.dbt"}));
}

// The marker a pack writes, with its sum, for these name lines.
std::string MarkerText(char state, const std::string& names) {
  uint32_t hash = 2166136261u;
  for (char c : names) hash = (hash ^ uint8_t(c)) * 16777619u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", hash);
  return std::string("DBF PACK 1\nstate ") + state + "\n" + names + "sum " + hex + "\n";
}

// Runs body in a child process as the user nobody (group nogroup, no other
// groups); gives back its exit status.
int AsNobody(const std::function<int()>& body) {
  return InChild([&] {
    const gid_t none = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(none) != 0 || ::setuid(65534) != 0) return 97;
    return body();
  });
}

// In a folder everyone may write to, another user can leave a marker naming
// files of the table's owner: only a marker of the current user or of the
// table's owner is acted on, and only on names a pack makes.
TEST(PackRecovery, AMarkerOfAnotherUserIsNotActedOn) {
  if (::geteuid() != 0) GTEST_SKIP() << "writing files as another user takes root";
  struct Case {
    const char* what;
    bool table_of_nobody;  // the table's files belong to the marker's writer
    bool acted_on;
  };
  const Case cases[] = {
      {"marker of another user", false, false},
      {"marker of the table's owner", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = TempDir("foreign");
    ASSERT_EQ(::chmod(dir.c_str(), 01777), 0);
    const std::string file = dir + "/t.dbf";
    MakeFixture(dir, true);
    // A file of the pack's scheme that the marker calls the packed table.
    WriteFile(dir + "/t_1.dbf", "the owner's copy");
    const std::string table = ReadFile(file);
    if (c.table_of_nobody) {
      for (const std::string& name : FilesIn(dir)) ASSERT_EQ(::chown((dir + "/" + name).c_str(), 65534, 65534), 0);
    }
    const std::string marker = MarkerText('R', "table t.dbf\nnew t_1.dbf\n");
    ASSERT_EQ(AsNobody([&] {
                WriteFile(file + ".pack", marker);
                return 0;
              }),
              0);
    std::string out;
    const int status = RunCommand(Tool() + " dump " + file + " 2>&1", &out);
    if (c.acted_on) {
      EXPECT_EQ(status, 0) << out;
      // The marker said the packed table was already in place: the copy of
      // the scheme's name is the pack's leftover.
      EXPECT_FALSE(FileExists(dir + "/t_1.dbf"));
      EXPECT_FALSE(FileExists(file + ".pack"));
    } else {
      EXPECT_NE(status, 0);
      EXPECT_NE(out.find(Format(STRING_PACK_MARKER_FOREIGN, {file + ".pack"})), std::string::npos) << out;
      EXPECT_EQ(ReadFile(dir + "/t_1.dbf"), "the owner's copy");
      EXPECT_EQ(ReadFile(file), table);
    }
  }
}

// Anyone who may read a marker may lock it: an open waits for that lock only
// as long as the table's lock waits last, then says the pack still runs.
TEST(PackRecovery, AMarkerLockedByAnotherUserStopsTheOpenOnlyForTheLockWait) {
  if (::geteuid() != 0) GTEST_SKIP() << "locking as another user takes root";
  const std::string dir = TempDir("locked");
  const std::string file = dir + "/t.dbf";
  MakeFixture(dir, true);
  ASSERT_TRUE(PackKilledAt(file, "rename", 2));
  ASSERT_TRUE(FileExists(file + ".pack"));
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    ::close(ready[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(97);
    const int fd = ::open((file + ".pack").c_str(), O_RDONLY);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) _exit(96);
    if (::write(ready[1], "!", 1) != 1) _exit(95);
    ::sleep(60);
    _exit(0);
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the other user could not lock the marker";
  ::close(ready[0]);
  const int wait = TPagedFile::LockWaitMilliseconds();
  TPagedFile::SetLockWaitMilliseconds(200);
  try {
    OpenTable(file, pmReadOnly);
    ADD_FAILURE() << "opened while the marker was locked";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), Format(STRING_PACK_MARKER_LOCKED, {file + ".pack"}));
  }
  TPagedFile::SetLockWaitMilliseconds(wait);
  EXPECT_TRUE(FileExists(file + ".pack"));
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  // With the lock given up the open finishes the pack.
  EXPECT_TRUE(CheckWhole(file, true));
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"t.dbf", "t.dbt"}));
}

// A pack stopped after its renames, before it rebuilt the index tags: the
// tags still hold the old record numbers until the open that finds the
// marker rebuilds them.
TEST(PackRecovery, TagsAreRebuiltByTheOpenThatFinishesThePack) {
  const std::string dir = TempDir("tags");
  const std::string file = dir + "/job.db", mdx = dir + "/job.mdx";
  auto t = table2_support::FilledTable(
      file, {{1, 1, 30.5, 1, "c"}, {2, 0, 5, 2, "a"}, {3, 1, -2, 3, "e"}, {4, 1, 100, 4, "b"}, {5, 0, 1, 5, "d"}});
  t->Activate();
  t->CreateIndexTag("tab1", "P", {});
  for (int n : {2, 3}) {
    ASSERT_TRUE(t->FindByValues("N", n, {}));
    t->DeleteCurrent();
  }
  t->Deactivate();
  const std::string stale = ReadFile(mdx);
  t->Activate();
  t->PackRecords();
  t->Deactivate();
  WriteFile(mdx, stale);
  // What the pack's marker says once the packed table is in place. A
  // read-only open cannot rebuild the tags: it reads the packed table in its
  // own order, and the marker keeps the rebuilding for the next open that
  // may write (as often as read-only opens come first).
  WriteFile(file + ".pack", MarkerText('R', "table job.db\nnew job_1.db\n"));
  for (int i = 0; i < 2; ++i) {
    t->SetReadOnly(true);
    t->SetIndexName("tab1");
    t->Activate();
    EXPECT_EQ(table2_support::Ns(*t), (std::vector<int>{1, 4, 5}));
    t->Deactivate();
    EXPECT_EQ(ReadFile(file + ".pack").substr(0, 19), "DBF PACK 1\nstate I\n");
  }
  t->SetReadOnly(false);
  t->SetIndexName("tab1");
  t->Activate();
  EXPECT_EQ(table2_support::Ns(*t), (std::vector<int>{5, 1, 4}));
  t->Deactivate();
  EXPECT_FALSE(FileExists(file + ".pack"));
}

// A pack run by the superuser or by another user of the table's group: the
// packed files keep their permission bits and group, and their owner where
// the packing process may set it.
TEST(PackRecovery, PackedFilesKeepTheirOwnerGroupAndMode) {
  if (::geteuid() != 0) GTEST_SKIP() << "packing as another user takes root";
  struct Case {
    const char* who;
    const char* as;  // the command's prefix that runs it as another user
    unsigned mode;
    uid_t before;
    uid_t after;
  };
  const Case cases[] = {
      {"the superuser", "", 0660, 65534, 65534},
      {"another member of the group", "setpriv --reuid=65534 --regid=65534 --groups=1 ", 0666, 0, 65534},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.who);
    const std::string dir = TempDir("owner");
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    const std::string file = dir + "/t.dbf";
    MakeFixture(dir, true);
    for (const char* name : {"/t.dbf", "/t.dbt"}) {
      ASSERT_EQ(::chown((dir + name).c_str(), c.before, 1), 0);
      ASSERT_EQ(::chmod((dir + name).c_str(), c.mode), 0);
    }
    std::string out;
    ASSERT_EQ(RunCommand(std::string(c.as) + Tool() + " pack " + file + " 2>&1", &out), 0) << out;
    EXPECT_TRUE(CheckWhole(file, true));
    for (const char* name : {"/t.dbf", "/t.dbt"}) {
      struct stat st;
      ASSERT_EQ(::stat((dir + name).c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, c.mode) << name;
      EXPECT_EQ(st.st_gid, 1u) << name;
      EXPECT_EQ(st.st_uid, c.after) << name;
    }
  }
}

// In a sticky folder a member of the table's group may write the table but
// not replace it: the pack says so, with the reason, and leaves nothing.
TEST(PackRecovery, APackThatCannotReplaceTheTableSaysWhyAndLeavesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "packing as another user takes root";
  const std::string dir = TempDir("sticky");
  ASSERT_EQ(::chmod(dir.c_str(), 01777), 0);
  const std::string file = dir + "/t.dbf";
  const std::map<std::string, std::string> fixture = MakeFixture(dir, true);
  for (const char* name : {"/t.dbf", "/t.dbt"}) {
    ASSERT_EQ(::chown((dir + name).c_str(), 0, 1), 0);
    ASSERT_EQ(::chmod((dir + name).c_str(), 0664), 0);
  }
  std::string out;
  EXPECT_NE(RunCommand("setpriv --reuid=65534 --regid=65534 --groups=1 " + Tool() + " pack " + file + " 2>&1", &out),
            0);
  EXPECT_NE(out.find(Format(STRING_PACK_CANNOT_REPLACE, {file, "Operation not permitted"})), std::string::npos)
      << out;
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"t.dbf", "t.dbt"}));
  for (const auto& [name, bytes] : fixture) EXPECT_EQ(ReadFile(dir + "/" + name), bytes) << name;
}

// A memo file cut short: the values past its end are errors naming the
// record, the field and the file, and pack refuses to run rather than carry
// them over blank; once the memo file is back every value is there.
TEST(PackRecovery, AMemoFileCutShortIsReportedAndNotPacked) {
  const std::string dir = TempDir("cut");
  const std::string file = dir + "/t.dbf", memo = dir + "/t.dbt";
  const std::map<std::string, std::string> fixture = MakeFixture(dir, true);
  const std::string whole = fixture.at("t.dbt");
  WriteFile(memo, whole.substr(0, whole.size() / 2));
  const std::map<std::string, std::string> cut = BytesOf(dir);
  const std::string past_end = "runs past the end of \"" + memo + "\"";
  std::string out;
  EXPECT_EQ(RunCommand(Tool() + " dump " + file + " 2>&1", &out), 1) << out;
  EXPECT_NE(out.find("field NOTE"), std::string::npos) << out;
  EXPECT_NE(out.find(past_end), std::string::npos) << out;
  EXPECT_EQ(RunCommand(Tool() + " pack " + file + " 2>&1", &out), 1) << out;
  EXPECT_NE(out.find("Field 'NOTE' of record "), std::string::npos) << out;
  EXPECT_NE(out.find(past_end), std::string::npos) << out;
  for (const auto& [name, bytes] : cut) EXPECT_EQ(ReadFile(dir + "/" + name), bytes) << name;
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"t.dbf", "t.dbt"}));
  WriteFile(memo, whole);
  EXPECT_EQ(RunCommand(Tool() + " pack " + file + " 2>&1", &out), 0) << out;
  EXPECT_TRUE(CheckWhole(file, true));
}

}  // namespace records_pack_recovery_test

// dbftool append with other processes: rows taken as they come through a
// pipe, the table shared with the processes that hold it open, other
// appends included.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "dbf/dbf_dbffile.h"
#include "tests/dbf/dbftool_support.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/exceptions.h"

namespace dbftool_append_test {

using dbftool_support::RunTool;
using dbftool_support::Tool;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFile;

// dbftool append reading a named pipe that the test writes rows into.
class PipedAppend {
 public:
  PipedAppend(const std::string& dir, const std::string& table) : out_(dir + "/append.out") {
    const std::string fifo = dir + "/rows.pipe";
    if (::mkfifo(fifo.c_str(), 0600) != 0) return;
    const std::string command = Tool() + " append " + table + " < " + fifo + " > " + out_ + " 2>&1";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Opening for writing waits until the tool's shell opens the reading end.
    fd_ = ::open(fifo.c_str(), O_WRONLY);
  }
  ~PipedAppend() {
    if (fd_ >= 0) ::close(fd_);
    if (pid_ > 0 && status_ < 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool Started() const { return pid_ > 0 && fd_ >= 0; }
  bool Send(const std::string& text) { return ::write(fd_, text.data(), text.size()) == ssize_t(text.size()); }
  // Ends the input and waits for the tool; its exit status.
  int Finish(std::string* out) {
    ::close(fd_);
    fd_ = -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    *out = ReadFile(out_);
    return status_;
  }

 private:
  std::string out_;
  pid_t pid_ = -1;
  int fd_ = -1;
  int status_ = -1;
};

// Waits until the file has at least size bytes; false after 20 s.
bool WaitForSize(const std::string& file, int64_t size) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  struct stat st {};
  while (std::chrono::steady_clock::now() < end) {
    if (::stat(file.c_str(), &st) == 0 && st.st_size >= size) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::unique_ptr<TDbfFile> Open(const std::string& file, TPageFileMode mode) {
  auto table = std::make_unique<TDbfFile>();
  table->SetFileName(file);
  table->SetMode(mode);
  table->OpenAndReadHeader();
  return table;
}

// 65 header bytes (one field) and 7 bytes a record.
constexpr int64_t kHeaderSize = 65;
constexpr int64_t kRecordSize = 7;

std::string NewTable(const std::string& dir) {
  const std::string file = dir + "/t.dbf";
  std::string out;
  EXPECT_EQ(RunTool("create " + file + " --level 4 --fields NAME:C:6", &out), 0) << out;
  return file;
}

// The rows sent so far are in the table before the input ends, and the
// table stays open to others meanwhile: the program, or another append, can
// write rows between them.
TEST(DbfToolAppend, RowsAreWrittenAsTheyComeWhileOthersShareTheTable) {
  const std::string dir = TempDir("append_pipe");
  const std::string file = NewTable(dir);
  PipedAppend append(dir, file);
  ASSERT_TRUE(append.Started());
  ASSERT_TRUE(append.Send("NAME\nann\nbob\n"));
  EXPECT_TRUE(WaitForSize(file, kHeaderSize + 2 * kRecordSize)) << "the rows sent were not written while more may come";
  {
    auto other = Open(file, pmSharedOpen);
    std::vector<uint8_t> record(size_t(other->RecordSize()));
    other->InitRecord(record.data());
    other->EncodeField(*other->FindField("NAME"), ftString, record.data(), "joe");
    EXPECT_EQ(other->AppendRecord(record.data()), 3);
    other->StoreHeader();
  }
  ASSERT_TRUE(append.Send("cat\n"));
  std::string out;
  EXPECT_EQ(append.Finish(&out), 0) << out;
  EXPECT_EQ(out, "appended: 3\n");
  ASSERT_EQ(RunTool("dump " + file, &out), 0) << out;
  EXPECT_EQ(out, "NAME\nann\nbob\njoe\ncat\n");
}

// The NAME values of the table as python3-dbfread reads them, one a line.
std::string NamesByIndependentReader(const std::string& file) {
  const std::string script = "import dbfread,sys\nfor r in dbfread.DBF(sys.argv[1], encoding='cp1251'): print(r['NAME'])\n";
  WriteFile(file + ".py", script);
  std::string out;
  EXPECT_EQ(RunCommand(std::string(testsupport::Python()) + " " + file + ".py " + file + " 2>&1", &out), 0) << out;
  return out;
}

// Appends started together all get through: every row once, whole, each
// append's rows in its own order, though each takes the table a batch of
// rows at a time.
TEST(DbfToolAppend, AppendsRunningTogetherAllGetThrough) {
  const std::string dir = TempDir("append_together");
  const std::string file = NewTable(dir);
  constexpr int kAppends = 4, kRows = 3000;
  std::string command;
  for (int a = 0; a < kAppends; ++a) {
    std::string rows = "NAME\n";
    for (int i = 0; i < kRows; ++i) rows += char('a' + a) + std::to_string(i) + "\n";
    const std::string csv = dir + "/rows" + std::to_string(a) + ".csv";
    WriteFile(csv, rows);
    command += Tool() + " append " + file + " < " + csv + " > " + csv + ".out 2>&1 & ";
  }
  std::string out;
  ASSERT_EQ(RunCommand(command + "wait", &out), 0) << out;
  for (int a = 0; a < kAppends; ++a)
    EXPECT_EQ(ReadFile(dir + "/rows" + std::to_string(a) + ".csv.out"), "appended: " + std::to_string(kRows) + "\n");
  ASSERT_EQ(RunTool("dump " + file, &out), 0) << out;
  std::vector<int> next(kAppends, 0);
  int rows = 0;
  size_t at = out.find('\n') + 1;
  while (at < out.size()) {
    const size_t end = out.find('\n', at);
    const std::string row = out.substr(at, end - at);
    at = end + 1;
    ASSERT_GE(row.size(), 2u) << row;
    const int a = row[0] - 'a';
    ASSERT_TRUE(a >= 0 && a < kAppends) << row;
    EXPECT_EQ(row.substr(1), std::to_string(next[size_t(a)])) << "a row torn, lost or repeated";
    ++next[size_t(a)];
    ++rows;
  }
  EXPECT_EQ(rows, kAppends * kRows);
  EXPECT_EQ("NAME\n" + NamesByIndependentReader(file), out);
}

// A shared append stopped at each of its writes, killed or with the disk
// full: the table holds the first rows, whole and in order, as an
// independent reader reads them before any repair (the header never counts
// a record that is not written); a full disk says how many rows landed.
// Without index files the rows go in batches; with a tag one by one, each
// record before the count that holds it.
TEST(DbfToolAppend, AnAppendStoppedAtAnyWriteKeepsWholeRowsInOrder) {
  ASSERT_EQ(RunCommand("strace -V >/dev/null 2>&1", nullptr), 0) << "strace is needed (scripts/install-deps.sh)";
  constexpr int kRows = 2500;
  std::string rows = "NAME\n", names;
  for (int i = 0; i < kRows; ++i) {
    rows += "r" + std::to_string(i) + "\n";
    names += "r" + std::to_string(i) + "\n";
  }
  for (const bool tagged : {false, true}) {
    const std::string dir = TempDir(tagged ? "append_stopped_tag" : "append_stopped");
    WriteFile(dir + "/rows.csv", rows);
    WriteFile(dir + "/none.csv", "NAME\n");
    const std::string file = NewTable(dir), mdx = dir + "/t.mdx";
    std::string out;
    if (tagged) {
      ASSERT_EQ(RunTool("index " + file + " create name NAME", &out), 0) << out;
    }
    const std::string empty = ReadFile(file), empty_mdx = tagged ? ReadFile(mdx) : std::string();
    for (const std::string fault : {"signal=SIGKILL", "error=ENOSPC"}) {
      int stops = 0;
      for (int when = 1; when < 20; ++when) {
        SCOPED_TRACE(fault + " at write " + std::to_string(when) + (tagged ? " with a tag" : ""));
        WriteFile(file, empty);
        if (tagged) WriteFile(mdx, empty_mdx);
        const int status = RunCommand(std::string(testsupport::kNoLeakCheck) +
                                          "strace -f -o /dev/null -e trace=pwrite64 -e inject=pwrite64:" + fault +
                                          ":when=" + std::to_string(when) + " " + Tool() + " append " + file + " < " +
                                          dir + "/rows.csv 2>&1",
                                      &out);
        if (status == 0) break;
        ++stops;
        const std::string bytes = ReadFile(file);
        ASSERT_GE(bytes.size(), 12u);
        const auto* header = reinterpret_cast<const uint8_t*>(bytes.data());
        EXPECT_LE(GetLE16(header + 8) + uint64_t(GetLE32(header + 4)) * GetLE16(header + 10), bytes.size())
            << "the header counts a record that is not there";
        const std::string read = NamesByIndependentReader(file);
        EXPECT_EQ(read, names.substr(0, read.size())) << "not the first rows, whole";
        const size_t landed = size_t(std::count(read.begin(), read.end(), '\n'));
        if (fault == "error=ENOSPC") {
          EXPECT_NE(out.find("dbftool: " + std::to_string(landed) + " of " + std::to_string(kRows) +
                             " rows were appended before the error"),
                    std::string::npos)
              << out;
        }
        // A writable open rebuilds tags an update cut short; then our own
        // open agrees, and the rows not appended can follow.
        if (tagged) {
          ASSERT_EQ(RunTool("append " + file + " < " + dir + "/none.csv", &out), 0) << out;
        }
        ASSERT_EQ(RunTool("dump " + file, &out), 0) << out;
        EXPECT_EQ(out, "NAME\n" + read);
      }
      EXPECT_GE(stops, 4) << "the runs did not stop the appends' writes";
    }
  }
}

// Another process holds the table open: the append shares it, and that
// process sees the new rows and can append after them.
TEST(DbfToolAppend, ATableAnotherProcessHoldsIsShared) {
  const std::string dir = TempDir("append_shared");
  const std::string file = NewTable(dir);
  auto holder = Open(file, pmSharedOpen);
  std::string rows = "NAME\n";
  for (int i = 1; i <= 50; ++i) rows += "r" + std::to_string(i) + "\n";
  WriteFile(dir + "/rows.csv", rows);
  std::string out;
  ASSERT_EQ(RunCommand(Tool() + " append " + file + " < " + dir + "/rows.csv 2>&1", &out), 0) << out;
  EXPECT_EQ(out, "appended: 50\n");
  EXPECT_EQ(holder->RecordCount(), 50);
  std::vector<uint8_t> record(size_t(holder->RecordSize()));
  holder->InitRecord(record.data());
  const char* name = "last";
  holder->EncodeField(*holder->FindField("NAME"), ftString, record.data(), name);
  EXPECT_EQ(holder->AppendRecord(record.data()), 51);
  holder->StoreHeader();
  holder.reset();
  ASSERT_EQ(RunTool("dump " + file, &out), 0) << out;
  EXPECT_EQ(out, rows + "last\n");
}

// A table another process holds exclusively is left as it is, with the
// system's reason.
TEST(DbfToolAppend, ATableHeldExclusivelyElsewhereIsRefused) {
  const std::string dir = TempDir("append_refused");
  const std::string file = NewTable(dir);
  const std::string before = ReadFile(file);
  auto holder = Open(file, pmExclusiveOpen);
  WriteFile(dir + "/rows.csv", "NAME\nann\n");
  std::string out;
  EXPECT_EQ(RunCommand(Tool() + " append " + file + " < " + dir + "/rows.csv 2>&1", &out), 1) << out;
  EXPECT_NE(out.find("in use by another process"), std::string::npos) << out;
  holder.reset();
  EXPECT_EQ(ReadFile(file), before);
}

// The calls a scan and a shared append make grow with the batches, not with
// the rows: the dump asks the file's size once and reads many records a
// call; the append locks and writes the table once a batch.
TEST(DbfToolAppend, AppendAndScanCallTheSystemPerBatchNotPerRow) {
  ASSERT_EQ(RunCommand("strace -V >/dev/null 2>&1", nullptr), 0) << "strace is needed (scripts/install-deps.sh)";
  const std::string dir = TempDir("append_calls");
  const std::string file = NewTable(dir);
  constexpr int kRows = 3000;
  std::string rows = "NAME\n";
  for (int i = 0; i < kRows; ++i) rows += "r" + std::to_string(i) + "\n";
  WriteFile(dir + "/rows.csv", rows);
  struct Case {
    const char* what;
    std::string command;
    const char* calls;
    int at_most;
  };
  const Case cases[] = {
      {"append: locks", "append " + file + " < " + dir + "/rows.csv", "fcntl", 60},
      {"append: writes", "append " + file + " < " + dir + "/rows.csv", "pwrite64", 30},
      {"dump: sizes asked", "dump " + file + " --filter 'NAME=\"r1\"'", "fstat,newfstatat,statx", 40},
      {"dump: reads", "dump " + file, "pread64", 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string trace = dir + "/trace";
    std::string out;
    ASSERT_EQ(RunCommand(std::string(testsupport::kNoLeakCheck) + "strace -f -o " + trace + " -e trace=" + c.calls +
                             " " + Tool() + " " + c.command + " > /dev/null 2>&1",
                         &out),
              0)
        << out;
    const std::string calls = ReadFile(trace);
    const int count = int(std::count(calls.begin(), calls.end(), '\n'));
    EXPECT_LE(count, c.at_most) << calls.substr(0, 2000);
    EXPECT_GT(count, 0);
  }
}

}  // namespace dbftool_append_test

// Files the system keeps from the user, met on the user's road through the
// main window (kiv7_drive) run as an ordinary user: a table that may not be
// read or written, an export into a folder that may not be written, a table
// to be created in such a folder. Each says in Russian which file and why,
// the program goes on working, and nothing is lost.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/measure.h"
#include "dbf/dbf.h"
#include "tests/app/link_support.h"
#include "tests/support/small_disk.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"

namespace refusal_test {

namespace fs = std::filesystem;

std::string Bin(const char* tool) { return std::string(KIV7_BINARY_DIR) + "/tools/" + tool + "/" + tool; }

// The test runs the program as an ordinary user: "nobody" when the test
// runs as root (which permissions do not stop), the test's own user else.
struct Refusals : ::testing::Test {
  std::string dir = testsupport::TempDir("refusals");
  std::string port = dir + "/instrument";
  std::string as_user;  // the command prefix that drops root
  uid_t uid = ::geteuid();
  gid_t gid = ::getegid();

  void SetUp() override {
    if (::geteuid() == 0) {
      const passwd* nobody = ::getpwnam("nobody");
      if (!nobody) GTEST_SKIP() << "no user \"nobody\" to run the program as";
      as_user = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
      if (testsupport::RunCommand(as_user + "true", nullptr) != 0)
        GTEST_SKIP() << "cannot run the program as an ordinary user (setpriv)";
      uid = nobody->pw_uid;
      gid = nobody->pw_gid;
    }
    Own(dir);
  }

  // Gives the user a file or folder.
  void Own(const std::string& path) { ASSERT_EQ(::chown(path.c_str(), uid, gid), 0) << path; }

  // A folder the user may read but not write.
  std::string LockedFolder() {
    const std::string locked = dir + "/locked";
    fs::create_directories(locked);
    Own(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    return locked;
  }

  // A table of the measurement fields with `rows` rows of the kind (N 1, 2,
  // ..., R 41, 42, ...), the user's.
  std::string Table(const std::string& name, int rows, int kind = kAcousticKind) {
    return TableIn(dir, name, rows, kind);
  }
  std::string TableIn(const std::string& folder, const std::string& name, int rows, int kind) {
    const std::string path = folder + "/" + name;
    TDbf table(nullptr);
    table.SetFilePath(folder);
    table.SetTableName(name);
    table.SetTableLevel(4);
    table.SetUseFloatFields(false);
    DefineMeasurementFields(table.FieldDefs());
    table.CreateTableFile();
    table.Activate();
    for (int n = 1; n <= rows; ++n) {
      table.StartAppend();
      table.FieldNamed("N")->SetIntegerValue(n);
      table.FieldNamed("DATE")->SetStringValue("01.02.2020");
      table.FieldNamed("NB_TYPE")->SetIntegerValue(kind);
      table.FieldNamed("R")->SetFloatValue(40 + n);
      table.CommitRecord();
    }
    table.Deactivate();
    Own(path);
    return path;
  }

  // The command line of kiv7_drive run as the user with these settings.
  std::string DriveCommand(const std::string& settings) {
    return "cd '" + dir + "' && KIV7_PORTS='COM1=" + port + "' QT_QPA_PLATFORM=offscreen timeout 300 " + as_user +
           "'" + Bin("kiv7_drive") + "' --settings '" + settings + "'";
  }
  // Runs kiv7_drive as the user with the script; its output.
  std::string Drive(const std::string& script) {
    testsupport::WriteFile(dir + "/script.txt", script);
    std::string out;
    EXPECT_EQ(testsupport::RunCommand(DriveCommand(dir + "/kiv7.ini") + " < '" + dir + "/script.txt' 2>/dev/null",
                                      &out),
              0)
        << out;
    return out;
  }
  // The rows a dBASE reader finds in the table: their numbers (N), one a
  // line; with `deleted`, those of the rows it finds marked deleted.
  std::string FileRows(const std::string& table, bool deleted = false) {
    std::string out;
    EXPECT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) +
                                          " -c \"import sys; from dbfread import DBF\nt = DBF(sys.argv[1])\n"
                                          "for r in (t.deleted if sys.argv[2] == '1' else t): print(r['N'])\" '" +
                                          table + "' " + (deleted ? "1" : "0"),
                                      &out),
              0)
        << out;
    return out;
  }
};

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(Refusals, ATableTheUserMayNotOpenIsNotCalledDamaged) {
  const std::string refused = Table("refused.db", 2);
  const std::string readable = Table("readable.db", 3);
  ASSERT_EQ(::chown(refused.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(refused.c_str(), 0600), 0);
  const std::string before = testsupport::ReadFile(refused);
  const std::string out = Drive("open-file " + refused + "\nmenu Открыть\nstate\nopen-file " + readable +
                                "\nmenu Открыть\nstate\nrows\nmenu Закрыть\n");
  EXPECT_EQ(Count(out, "message: Ошибка: Не удалось открыть файл " + refused + ": нет прав доступа.\n"), 1u) << out;
  EXPECT_EQ(out.find("повреждена"), std::string::npos) << out;
  EXPECT_NE(out.find("table=none"), std::string::npos) << out;
  // The program goes on: the next table opens and shows its rows.
  EXPECT_NE(out.find("table=" + readable + " tab=acoustic"), std::string::npos) << out;
  EXPECT_NE(out.find("\n3\t"), std::string::npos) << out;
  EXPECT_EQ(testsupport::ReadFile(refused), before);
}

TEST_F(Refusals, AnExportIntoAFolderTheUserMayNotWriteSaysSoAndTheNextOneIsMade) {
  const std::string table = Table("t.db", 2);
  const std::string locked = LockedFolder();
  const std::string before = testsupport::ReadFile(table);
  const std::string out = Drive("open-file " + table + "\nmenu Открыть\nsave-as " + locked +
                                "/t.xls\nmenu Экспорт в Excel\nsave-as " + dir +
                                "/t.xls\nmenu Экспорт в Excel\nmenu Закрыть\n");
  EXPECT_EQ(Count(out, "message: Ошибка: Не удалось создать файл " + locked + "/t.xls: нет прав доступа.\n"), 1u)
      << out;
  EXPECT_EQ(out.find("StgCreateDocFile"), std::string::npos) << out;
  EXPECT_EQ(Count(out, "завершен успешно."), 1u) << out;
  EXPECT_FALSE(fs::exists(locked + "/t.xls"));
  EXPECT_TRUE(fs::exists(dir + "/t.xls"));
  EXPECT_EQ(testsupport::ReadFile(table), before);
}

// The folder is checked before the instrument is asked for its records: the
// refusal comes without a transfer, and the records come whole with the next
// "Создать" into a folder that takes the table.
TEST_F(Refusals, CreatingATableInAFolderTheUserMayNotWriteIsRefusedBeforeTheTransfer) {
  const std::string locked = LockedFolder();
  linktest::Simulator sim(port, {"--acoustic", "3", "--subtype", "20"});
  ASSERT_TRUE(sim.Ready());
  // The pseudo-terminal is the simulator's (root's); the user needs it too.
  fs::permissions(fs::canonical(port), fs::perms::all, fs::perm_options::add);
  const std::string made = dir + "/made.db";
  const std::string out = Drive("save-as " + locked + "/new.db\nmenu Создать\nstate\nsave-as " + made +
                                "\nmenu Создать\nstate\nrows\nmenu Закрыть\n");
  const std::string refusal = "message: Ошибка: Не удалось создать файл " + locked + "/new.db: нет прав доступа.\n";
  ASSERT_EQ(Count(out, refusal), 1u) << out;
  // Nothing else was said, least of all by the link dialog or a failed
  // creation after a transfer; no table was open after the refusal.
  EXPECT_EQ(Count(out, "message:"), 1u) << out;
  EXPECT_EQ(out.find("table=none"), out.find(refusal) + refusal.size()) << out;
  EXPECT_FALSE(fs::exists(locked + "/new.db"));
  EXPECT_NE(out.find("table=" + made + " tab=acoustic"), std::string::npos) << out;
  std::string rows;
  ASSERT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) +
                                        " -c \"import sys; from dbfread import DBF; print(len(DBF(sys.argv[1])))\" '" +
                                        made + "'",
                                    &rows),
            0);
  EXPECT_EQ(rows, "3\n");
}

// The numbers (N) of the rows the grid shows, one a line, from the first
// "rows" output after `from` (its header line starts with "N\t").
std::string ShownRows(const std::string& out, size_t from = 0) {
  const size_t head = out.find("\nN\t", from);
  if (head == std::string::npos) return "<no rows>";
  std::istringstream in(out.substr(head + 1));
  std::string line, shown;
  std::getline(in, line);
  while (std::getline(in, line) && !line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))
    shown += line.substr(0, line.find('\t')) + "\n";
  return shown;
}

// In a folder the user may not write, the rows to delete cannot be packed
// away and the index a sort needs cannot be made: each failure is told in
// Russian first, naming what failed and the file, with the engine's text as
// the cause; the rows to delete keep no deletion mark, so the file and the
// grid hold every row, the footers count them, and no title shows a sort
// the rows do not have.
TEST_F(Refusals, ADeleteAndASortInAFolderTheUserMayNotWriteLeaveTheWindowAsTheFileIs) {
  const std::string folder = dir + "/ro";
  fs::create_directories(folder);
  Own(folder);
  const std::string table = TableIn(folder, "t.db", 4, kPressKind);
  fs::permissions(folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const std::string out =
      Drive("open-file " + table + "\nmenu Открыть\nselect 1 2\nmenu Удалить строки\nrows\nfooters\n" +
            "title P\ntitles\nrows\nmenu Закрыть\n");
  const std::string deleted = "message: Ошибка: Не удалось удалить строки из " + table + ".\nПричина: ";
  const std::string sorted = "message: Ошибка: Не удалось отсортировать строки таблицы " + table + ".\nПричина: ";
  ASSERT_EQ(Count(out, deleted), 1u) << out;
  ASSERT_EQ(Count(out, sorted), 1u) << out;
  EXPECT_EQ(Count(out, "message:"), 2u) << out;
  EXPECT_NE(out.find(sorted + "Cannot create file"), std::string::npos) << out;
  const std::string in_file = FileRows(table);
  EXPECT_EQ(in_file, "1\n2\n3\n4\n");
  EXPECT_EQ(FileRows(table, true), "");
  const size_t lines = size_t(std::count(in_file.begin(), in_file.end(), '\n'));
  EXPECT_EQ(ShownRows(out), in_file) << out;
  EXPECT_NE(out.find("\nN=" + std::to_string(lines) + "\t"), std::string::npos) << out;
  // After the failed sort: no mark, the rows in the file's order.
  EXPECT_NE(out.find("titles: none\n"), std::string::npos) << out;
  EXPECT_EQ(ShownRows(out, out.find("titles: none")), in_file) << out;
}

// The table kept open by another copy of the program, or locked by another
// process, is not a damaged one: the message says it is in use, naming it.
TEST_F(Refusals, ATableInUseElsewhereIsSaidToBeInUse) {
  const std::string table = Table("t.db", 2);
  const std::string before = testsupport::ReadFile(table);
  const std::string in_use = "message: Ошибка: Не удалось открыть файл " + table +
                             ": он открыт в другой копии программы или занят другим процессом.\n";
  const std::string second = "open-file " + table + "\nmenu Открыть\nstate\n";
  testsupport::WriteFile(dir + "/second.txt", second);
  testsupport::WriteFile(dir + "/lock.py",
                         "import fcntl, os, sys, time\n"
                         "fd = os.open(sys.argv[1], os.O_RDWR)\n"
                         "fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB, 1, 0x7FFFFFFFFFFFFF00)\n"
                         "open(sys.argv[2], 'w').close()\n"
                         "time.sleep(300)\n");
  const struct {
    const char* what;
    std::string holder;  // starts the holder in the background; its pid in $holder
    std::string ready;   // a shell test true once it holds the table
  } holders[] = {
      {"another copy of the program",
       "mkfifo first.in; (" + DriveCommand(dir + "/first.ini") + " < first.in > first.out 2>/dev/null) & holder=$!; " +
           "exec 3> first.in; printf 'open-file %s\\nmenu Открыть\\nstate\\n' '" + table + "' >&3",
       "grep -q '^table=/' first.out"},
      {"another process", std::string(testsupport::Python()) + " lock.py '" + table + "' locked & holder=$!",
       "test -e locked"},
  };
  for (const auto& h : holders) {
    SCOPED_TRACE(h.what);
    fs::remove(dir + "/first.in");
    fs::remove(dir + "/locked");
    const std::string script = "cd '" + dir + "'\n" + h.holder + "\nfor i in $(seq 400); do " + h.ready +
                               " 2>/dev/null && break; sleep 0.05; done\n" + DriveCommand(dir + "/kiv7.ini") +
                               " < second.txt 2>/dev/null\n"
                               "exec 3>&- 2>/dev/null; kill $holder 2>/dev/null; wait $holder 2>/dev/null; true\n";
    testsupport::WriteFile(dir + "/holder.sh", script);
    std::string out;
    EXPECT_EQ(testsupport::RunCommand("bash '" + dir + "/holder.sh'", &out), 0) << out;
    EXPECT_EQ(Count(out, in_use), 1u) << out;
    EXPECT_EQ(out.find("повреждена"), std::string::npos) << out;
    EXPECT_NE(out.find("table=none"), std::string::npos) << out;
  }
  EXPECT_EQ(testsupport::ReadFile(table), before);
}

// On a disk that fills up while the instrument's records are written, or
// that cannot take the pack of a deletion, the failure is told in Russian
// first with the engine's text after it, and the window ends showing what the
// file holds: the rows written, counted in the footers, or no table with
// every table command off; the rows a deletion could not pack away keep no
// deletion mark.
TEST_F(Refusals, ACreateAndADeleteOnAFullDiskLeaveTheWindowAsTheFileIs) {
  testsupport::SmallDisk disk("full_disk_window", 64 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk takes the right to mount (root)";
  Own(disk.Path());
  linktest::Simulator sim(port, {"--acoustic", "250", "--subtype", "20"});
  ASSERT_TRUE(sim.Ready());
  fs::permissions(fs::canonical(port), fs::perms::all, fs::perm_options::add);
  const std::string made = disk.Path() + "/made.db";
  const std::string out = Drive("save-as " + made + "\nmenu Создать\nstate\nrows\nfooters\nmenu Закрыть\nstate\n");
  const std::string failed =
      "message: Ошибка: Не удалось создать таблицу " + made + ".\nПричина: Error while writing occurred. (Disk full?)\n";
  ASSERT_EQ(Count(out, failed), 1u) << out;
  const size_t state = out.find("\ntable=", out.find(failed));
  ASSERT_NE(state, std::string::npos) << out;
  if (out.compare(state, 8 + made.size(), "\ntable=" + made + " ") == 0) {
    // Shown: the rows the grid shows are the file's, and "Закрыть" closes it.
    EXPECT_NE(out.find("tab=acoustic", state), std::string::npos) << out;
    EXPECT_EQ(out.find("disabled:"), std::string::npos) << out;
    const std::string in_file = FileRows(made);
    EXPECT_EQ(ShownRows(out, state), in_file) << out;
    EXPECT_NE(out.find("\nN=" + std::to_string(std::count(in_file.begin(), in_file.end(), '\n')) + "\t", state),
              std::string::npos)
        << out;
  } else {
    EXPECT_EQ(out.compare(state, 12, "\ntable=none "), 0) << out;
    EXPECT_NE(out.find("disabled: Закрыть"), std::string::npos) << out;
  }

  // A table of the disk's own, the disk then full: the deletion's pack has
  // no room.
  fs::remove(made);
  const std::string table = TableIn(disk.Path(), "t.db", 60, kPressKind);
  disk.Fill();
  const std::string del = Drive("open-file " + table + "\nmenu Открыть\nselect 1 2 3\nmenu Удалить строки\nstate\n" +
                                "rows\nfooters\nmenu Закрыть\n");
  const std::string refused = "message: Ошибка: Не удалось удалить строки из " + table + ".\nПричина: ";
  ASSERT_EQ(Count(del, refused), 1u) << del;
  const std::string in_file = FileRows(table);
  std::string all;
  for (int n = 1; n <= 60; ++n) all += std::to_string(n) + "\n";
  EXPECT_EQ(in_file, all);
  EXPECT_EQ(FileRows(table, true), "");
  EXPECT_EQ(ShownRows(del), in_file) << del;
  EXPECT_NE(del.find("\nN=" + std::to_string(std::count(in_file.begin(), in_file.end(), '\n')) + "\t"),
            std::string::npos)
      << del;
}

// The sort's index cannot be made beside the table, a folder holding its
// name: the title click says so, and the click after it still picks the row
// that the deletion then takes.
TEST_F(Refusals, AFailedSortLeavesTheNextClickToPickTheRowToDelete) {
  const std::string table = Table("t.db", 5);
  fs::create_directories(dir + "/t.mdx");
  const std::string out = Drive("open-file " + table + "\nmenu Открыть\ntitle P\nstate\nclick 3 N\ncurrent\n" +
                                "menu Удалить строки\nrows\nmenu Закрыть\n");
  const size_t state = out.find("table=" + table);
  ASSERT_NE(state, std::string::npos) << out;
  EXPECT_NE(out.rfind("message: ", state), std::string::npos) << "the failed sort says nothing: " << out;
  EXPECT_NE(out.find("row=3 field=N selected="), std::string::npos) << out;
  // The rows left, in N order: 3 is the one gone.
  std::vector<std::string> numbers;
  std::istringstream rows(out.substr(out.find("\nN\t") + 1));
  for (std::string line; std::getline(rows, line);)
    if (!line.empty() && line.find('\t') != std::string::npos) numbers.push_back(line.substr(0, line.find('\t')));
  EXPECT_EQ(numbers, (std::vector<std::string>{"N", "1", "2", "4", "5"})) << out;
}

}  // namespace refusal_test

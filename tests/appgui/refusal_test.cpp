// Files the system keeps from the user, met on the user's road through the
// main window (kiv7_drive) run as an ordinary user: a table that may not be
// read or written, an export into a folder that may not be written, a table
// to be created in such a folder. Each says in Russian which file and why,
// the program goes on working, and nothing is lost.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/measure.h"
#include "dbf/dbf.h"
#include "tests/app/link_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"

namespace {

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

  // A table of the measurement fields with `rows` acoustic rows, the user's.
  std::string Table(const std::string& name, int rows) {
    const std::string path = dir + "/" + name;
    TDbf table(nullptr);
    table.SetFilePath(dir);
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
      table.FieldNamed("NB_TYPE")->SetIntegerValue(1);
      table.FieldNamed("R")->SetFloatValue(40 + n);
      table.CommitRecord();
    }
    table.Deactivate();
    Own(path);
    return path;
  }

  // Runs kiv7_drive as the user with the script; its output.
  std::string Drive(const std::string& script) {
    testsupport::WriteFile(dir + "/script.txt", script);
    std::string out;
    const std::string command = "cd '" + dir + "' && KIV7_PORTS='COM1=" + port +
                                "' QT_QPA_PLATFORM=offscreen timeout 300 " + as_user + "'" + Bin("kiv7_drive") +
                                "' --settings '" + dir + "/kiv7.ini' < '" + dir + "/script.txt' 2>/dev/null";
    EXPECT_EQ(testsupport::RunCommand(command, &out), 0) << out;
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

// The sort's index cannot be made beside a table in a folder the user may
// not write: the title click says so, and the click after it still picks the
// row that the deletion then takes.
TEST_F(Refusals, AFailedSortLeavesTheNextClickToPickTheRowToDelete) {
  const std::string locked = LockedFolder();
  const std::string table = locked + "/t.db";
  fs::rename(Table("t.db", 5), table);
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

}  // namespace

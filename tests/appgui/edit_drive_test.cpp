// Editing a cell of the main window's grid through kiv7_drive: a double
// click opens the in-place editor, "editor" shows its text, and the typed
// number reaches the table file.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace edit_drive_test {

std::string Bin(const char* tool) { return std::string(KIV7_BINARY_DIR) + "/tools/" + tool + "/" + tool; }

// A measurement table in dir made of the csv rows, the drive script run over
// it in the main window; the lines of the drive's output that start with one
// of the prefixes.
std::vector<std::string> DriveLines(const std::string& dir, const std::string& table, const std::string& csv,
                                    const std::string& script, const std::vector<std::string>& prefixes) {
  std::remove(table.c_str());
  std::string out;
  EXPECT_EQ(testsupport::RunCommand(Bin("dbftool") + " create-measurement '" + table + "' 2>&1", &out), 0) << out;
  testsupport::WriteFile(dir + "/rows.csv", csv);
  EXPECT_EQ(testsupport::RunCommand(Bin("dbftool") + " append '" + table + "' < '" + dir + "/rows.csv' 2>&1", &out), 0)
      << out;
  testsupport::WriteFile(dir + "/script.txt", "open-file " + table + "\nmenu Открыть\n" + script);
  EXPECT_EQ(testsupport::RunCommand("cd '" + dir + "' && QT_QPA_PLATFORM=offscreen timeout 60 '" + Bin("kiv7_drive") +
                                        "' --settings '" + dir + "/kiv7.ini' < '" + dir + "/script.txt' 2>/dev/null",
                                    &out),
            0)
      << out;
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    for (const std::string& prefix : prefixes)
      if (line.rfind(prefix, 0) == 0) {
        lines.push_back(line);
        break;
      }
  return lines;
}

// The lines of the editor's text, errors, footers and the current cell.
std::vector<std::string> Drive(const std::string& dir, const std::string& table, const std::string& csv,
                               const std::string& script) {
  return DriveLines(dir, table, csv, script, {"editor", "error", "N=", "row="});
}

// What a dBASE reader finds in the field of each row, one line each; with
// cp1251 the bytes of the file are checked to be Windows-1251.
std::string ReadField(const std::string& dir, const std::string& table, const std::string& field) {
  std::string out;
  testsupport::WriteFile(dir + "/read.py", "import dbfread\nfor r in dbfread.DBF('" + table +
                                               "', encoding='cp1251'): print(r['" + field + "'])\n");
  EXPECT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " '" + dir + "/read.py'", &out), 0) << out;
  return out;
}

// How often the Windows-1251 bytes of "проба № 7" occur in the table file.
std::string CountCommentBytes(const std::string& dir, const std::string& table) {
  std::string out;
  testsupport::WriteFile(dir + "/bytes.py", "data = open('" + table +
                                                "', 'rb').read()\n"
                                                "print(data.count(b'\\xef\\xf0\\xee\\xe1\\xe0 \\xb9 7'))\n");
  EXPECT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " '" + dir + "/bytes.py'", &out), 0) << out;
  return out;
}

TEST(DriveEdit, ADoubleClickOpensTheEditorAndATypedLocaleNumberIsSaved) {
  const std::string dir = testsupport::TempDir("drive_edit");
  const std::string table = dir + "/t.db";
  const std::vector<std::string> lines =
      Drive(dir, table,
            "N,DATE,TIME,NB_TYPE,P,R\n1,01.03.2024,10:00:00,0,1.5,0.5\n2,01.03.2024,10:00:00,0,3,1\n",
            "editor\ndouble-click 2 P\neditor\ntype 12,5\neditor\nkey Return\neditor\nanswer yes\nmenu Закрыть\n");
  const std::vector<std::string> expected = {"editor=none", "editor=3", "editor=12,5", "editor=none"};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(ReadField(dir, table, "P"), "1.5\n12.5\n");
}

// The footers' statistics follow an edit of P or R once the edit is posted:
// by saving, or by leaving the row, the table then standing on the row the
// user went to; an edit still open in the editor is not counted yet.
TEST(DriveEdit, APostedChangeOfLoadOrStrengthShowsInTheFooters) {
  const std::string dir = testsupport::TempDir("drive_edit_footers");
  const std::string table = dir + "/t.db";
  const char* const rows =
      "N,DATE,TIME,NB_TYPE,P,R\n1,01.03.2024,10:00:00,0,10,1\n2,01.03.2024,10:00:00,0,20,2\n"
      "3,01.03.2024,10:00:00,0,40,3\n";
  const std::string before = "N=3\tP=10/23,3/40\tR=1/2/3";
  const struct {
    const char* what;
    const char* script;
    std::vector<std::string> lines;
  } cases[] = {
      {"saved", "double-click 1 P\ntype 1\nfooters\nmenu Сохранить\nfooters\n",
       {before, before, "N=3\tP=1/20,3/40\tR=1/2/3"}},
      {"the row left", "double-click 3 R\ntype 9\nkey Up\ncurrent\nfooters\n",
       {before, "row=2 field=R selected=", "N=3\tP=10/23,3/40\tR=1/4/9"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Drive(dir, table, rows, std::string("footers\n") + c.script + "close-window\n"), c.lines);
  }
}

// Three rows whose comments are "a", "b" and "old".
const char* const kCommentRows =
    "N,DATE,TIME,NB_TYPE,P,COMMENT\n1,01.03.2024,10:00:00,0,1,a\n2,01.03.2024,10:00:00,0,2,b\n"
    "3,01.03.2024,10:00:00,0,3,old\n";

// The comment column edits in the blob picker: a click on the editor the
// double click opened drops it down, and the commands that follow run while
// its loop does, typing into its text box; Escape on it keeps the typed text
// in the cell (the picker posts what it holds when it is left), and the
// commands after it run in the main window again.
TEST(DriveEdit, ThePickerOfACommentTakesTheCommandsWhileItIsDroppedDown) {
  const std::string dir = testsupport::TempDir("drive_edit_comment");
  const std::string table = dir + "/t.db";
  const std::vector<std::string> lines =
      Drive(dir, table, kCommentRows,
            "double-click 3 COMMENT\neditor\nclick 3 COMMENT\nkey Ctrl+A\ntype проба № 7\nkey Escape\neditor\n"
            "answer yes\nmenu Закрыть\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"editor=old", "editor=проба № 7"}));
  EXPECT_EQ(ReadField(dir, table, "COMMENT"), "a\nb\nпроба № 7\n");
}

// The comment of row 3 edited in the picker and taken by its OK (Alt+O):
// the picker closes before the next command runs, Return ends the edit in
// the grid it gave the focus back to, and saving stores exactly the typed
// characters, in Windows-1251, in the file.
TEST(DriveEdit, ACommentTakenByOkIsSavedInWindows1251) {
  const std::string dir = testsupport::TempDir("drive_edit_comment_ok");
  const std::string table = dir + "/t.db";
  const std::vector<std::string> lines =
      Drive(dir, table, kCommentRows,
            "double-click 3 COMMENT\nclick 3 COMMENT\nkey Ctrl+A\ntype проба № 7\nkey Alt+O\neditor\n"
            "key Return\neditor\nmenu Сохранить\nclose-window\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"editor=проба № 7", "editor=none"}));
  EXPECT_EQ(ReadField(dir, table, "COMMENT"), "a\nb\nпроба № 7\n");
  EXPECT_EQ(CountCommentBytes(dir, table), "1\n") << "the comment's bytes in Windows-1251";
}

// Typing straight into the acoustic grid: the key that opens the editor on K
// is the number's first digit; F2, End and Shift+Home select the comment in
// the editor F2 opened (they do not end it), and the comment typed over it
// is stored exactly, in Windows-1251.
TEST(DriveEdit, TypedKeysAndTheEditorsHomeAndEndReachTheFile) {
  const std::string dir = testsupport::TempDir("drive_edit_typing");
  const std::string table = dir + "/t.db";
  const std::vector<std::string> lines =
      Drive(dir, table,
            "N,DATE,TIME,NB_TYPE,K,COMMENT\n1,01.03.2024,10:00:00,1,3,a\n2,01.03.2024,10:00:00,1,4,b\n"
            "3,01.03.2024,10:00:00,1,5,old\n",
            "tab acoustic\ncurrent 2 K\ntype 12\neditor\nkey Return\neditor\ncurrent 3 COMMENT\nkey F2\n"
            "key End\nkey Shift+Home\neditor\ntype проба № 7\neditor\nkey Return\neditor\nmenu Сохранить\n"
            "close-window\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"editor=12", "editor=none", "editor=old", "editor=проба № 7",
                                             "editor=none"}));
  EXPECT_EQ(ReadField(dir, table, "K"), "3.0\n12.0\n5.0\n");
  EXPECT_EQ(ReadField(dir, table, "COMMENT"), "a\nb\nпроба № 7\n");
  EXPECT_EQ(CountCommentBytes(dir, table), "1\n") << "the comment's bytes in Windows-1251";
}

// An edit the table cannot take (a number too long for its field) is not
// written when the row is left, nor when the table is saved as it closes or
// as the window closes: each failure is told in Russian, naming what failed
// and the file, with the engine's text as the cause. Leaving the row keeps
// the table open with the row as the file holds it, and the next edit is
// written; a close goes on without the edit. The file keeps its values.
TEST(DriveEdit, AnEditTheTableCannotTakeIsToldInRussianAndTheFileKeepsItsValues) {
  const std::string dir = testsupport::TempDir("drive_edit_unwritable");
  const std::string table = dir + "/t.db";
  const char* const rows = "N,DATE,TIME,NB_TYPE,P,R\n1,01.03.2024,10:00:00,0,10,1\n2,01.03.2024,10:00:00,0,20,2\n";
  const std::string row_failed = "message: Ошибка: Не удалось сохранить строку таблицы " + table + ".";
  const std::string save_failed = "message: Ошибка: Не удалось сохранить таблицу " + table + ".";
  const std::string open = "table=" + table + " tab=press caption=ЛИВТ - КС7 - t background=clBtnFace modified=1";
  const std::string closed = "table=none tab=none caption=ЛИВТ - КС7 background=clBtnShadow modified=0";
  const std::string ask = "message: ЛИВТ - КС7: Сохранить изменения в таблицах ?";
  const struct {
    const char* what;
    const char* script;
    std::vector<std::string> lines;
    const char* p;
    const char* r;
  } cases[] = {
      {"the row left",
       "double-click 1 P\ntype 123456789012\nkey Down\nstate\nrows\nfooters\ndouble-click 1 P\nkey Ctrl+A\ntype 5\nkey Down\n"
       "footers\nanswer yes\nmenu Закрыть\nstate\n",
       {row_failed, "Причина: Value does not fit field \"P\" of 18 characters.", open, "N\tDATE\tTIME\tP\tR\tTYPE\tH\tCOMMENT\t\t",
        "1\t01.03.2024\t10:00:00\t10\t1\t\t\t\t\t", "2\t01.03.2024\t10:00:00\t20\t2\t\t\t\t\t", "N=2\tP=10/15/20\tR=1/1,5/2",
        "N=2\tP=5/12,5/20\tR=1/1,5/2", ask, closed},
       "5.0\n20.0\n", "1.0\n2.0\n"},
      {"saved on closing the table",
       "double-click 2 R\ntype 99999999999\nanswer yes\nmenu Закрыть\nstate\nmenu Закрыть\n",
       {ask, save_failed, "Причина: Value does not fit field \"R\" of 18 characters.", closed, "disabled: Закрыть"},
       "10.0\n20.0\n", "1.0\n2.0\n"},
      {"saved on closing the window",
       "double-click 2 R\ntype 99999999999\nanswer yes\nclose-window\n",
       {ask, save_failed, "Причина: Value does not fit field \"R\" of 18 characters."},
       "10.0\n20.0\n", "1.0\n2.0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DriveLines(dir, table, rows, c.script,
                         {"message", "Причина", "table=", "N", "1\t", "2\t", "disabled", "error"}),
              c.lines);
    EXPECT_EQ(ReadField(dir, table, "P"), c.p);
    EXPECT_EQ(ReadField(dir, table, "R"), c.r);
  }
}

}  // namespace edit_drive_test

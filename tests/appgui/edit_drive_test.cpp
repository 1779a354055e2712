// Editing a cell of the main window's grid through kiv7_drive: a double
// click opens the in-place editor, "editor" shows its text, and the typed
// number reaches the table file.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace {

std::string Bin(const char* tool) { return std::string(KIV7_BINARY_DIR) + "/tools/" + tool + "/" + tool; }

TEST(DriveEdit, ADoubleClickOpensTheEditorAndATypedLocaleNumberIsSaved) {
  const std::string dir = testsupport::TempDir("drive_edit");
  const std::string table = dir + "/t.db";
  std::remove(table.c_str());
  std::string out;
  ASSERT_EQ(testsupport::RunCommand(Bin("dbftool") + " create-measurement '" + table + "' 2>&1", &out), 0) << out;
  testsupport::WriteFile(dir + "/rows.csv", "N,DATE,TIME,NB_TYPE,P,R\n1,01.03.2024,10:00:00,0,1.5,0.5\n"
                                            "2,01.03.2024,10:00:00,0,3,1\n");
  ASSERT_EQ(testsupport::RunCommand(Bin("dbftool") + " append '" + table + "' < '" + dir + "/rows.csv' 2>&1", &out), 0)
      << out;
  testsupport::WriteFile(dir + "/script.txt", "open-file " + table +
                                                  "\nmenu Открыть\neditor\ndouble-click 2 P\neditor\ntype 12,5\n"
                                                  "editor\nkey Return\neditor\nanswer yes\nmenu Закрыть\n");
  ASSERT_EQ(testsupport::RunCommand("cd '" + dir + "' && QT_QPA_PLATFORM=offscreen '" + Bin("kiv7_drive") +
                                        "' --settings '" + dir + "/kiv7.ini' < '" + dir + "/script.txt' 2>/dev/null",
                                    &out),
            0)
      << out;
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("editor", 0) == 0) lines.push_back(line);
  const std::vector<std::string> expected = {"editor=none", "editor=3", "editor=12,5", "editor=none"};
  EXPECT_EQ(lines, expected);
  testsupport::WriteFile(dir + "/read.py", "import dbfread\nfor r in dbfread.DBF('" + table +
                                               "', encoding='cp1251'): print(r['P'])\n");
  ASSERT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " '" + dir + "/read.py'", &out), 0) << out;
  EXPECT_EQ(out, "1.5\n12.5\n");
}

}  // namespace

// Helpers of the editing tests: a shown, active form holding a grid over a
// dBASE table (N, COMMENT, P), keys typed into whatever has the focus, and
// the table file read back with python3-dbfread.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>

#include "dbf/dbf.h"
#include "grid/rs.h"
#include "grid/rs_edit.h"
#include "tests/grid/grid_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/forms.h"

namespace edit_support {

// Drags a window's frame with the left button, from grip (a point of the
// window) by the given distance, as a hand on the mouse does.
inline void DragFrame(QWidget* window, QPoint grip, QPoint by) {
  const QPoint end = window->mapToGlobal(grip + by);
  QTest::mouseMove(window, grip);
  QTest::mousePress(window, Qt::LeftButton, {}, grip);
  QTest::mouseMove(window, grip + by);
  QTest::mouseRelease(window, Qt::LeftButton, {}, window->mapFromGlobal(end));
  QApplication::processEvents();
}

// The rows every table starts with.
struct Row {
  int n;
  const char* comment;  // UTF-8
  double p;
};
inline const Row kRows[] = {{1, "первая", 1.5}, {2, "вторая", 2.25}, {3, "третья", 3}};

// The table's file with its folder.
inline std::string FileOf(const TDbf& t) {
  std::string folder = t.FilePathFull();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + t.TableName();
}

// A dBASE IV table N, COMMENT (100 characters), P (float) in a folder of its
// own. With language_id (0x65: code page 866) the header is given that
// language driver before the table is opened.
inline std::unique_ptr<TDbf> MakeTable(const std::string& folder, uint8_t language_id = 0) {
  auto t = std::make_unique<TDbf>(nullptr);
  t->SetTableLevel(4);
  t->SetExclusive(true);
  t->SetTableName(testsupport::TempDir(folder) + "/rows.dbf");
  t->FieldDefs().AppendNamedDef("N", ftInteger);
  t->FieldDefs().AppendNamedDef("COMMENT", ftString, 100);
  t->FieldDefs().AppendNamedDef("P", ftFloat);
  t->CreateTableFile();
  if (language_id != 0) {
    std::fstream file(FileOf(*t), std::ios::in | std::ios::out | std::ios::binary);
    EXPECT_TRUE(file.is_open());
    file.seekp(29);
    file.put(static_cast<char>(language_id));
  }
  t->Activate();
  for (const Row& r : kRows) {
    t->StartAppend();
    t->FieldNamed("N")->SetIntegerValue(r.n);
    t->FieldNamed("COMMENT")->SetStringValue(Utf8ToAnsi(r.comment));
    t->FieldNamed("P")->SetFloatValue(r.p);
    t->CommitRecord();
  }
  t->GoFirst();
  return t;
}

// What python3-dbfread prints running body over the file (rows in "rows").
inline std::string ReadBack(const std::string& file, const std::string& encoding, const std::string& body) {
  const std::string script = file + ".py";
  testsupport::WriteFile(script, "import dbfread\nrows = list(dbfread.DBF('" + file + "', encoding='" + encoding +
                                     "'))\n" + body);
  std::string out;
  const int status =
      testsupport::RunCommand(std::string("PYTHONIOENCODING=utf-8 ") + testsupport::Python() + " " + script, &out);
  EXPECT_EQ(status, 0) << out;
  return out;
}

// The raw bytes of COMMENT in record `record` (1-based) of a dBASE file with
// fields N (11), COMMENT (100), P: header length from bytes 8-9, a deletion
// flag, then N.
inline std::string RawComment(const std::string& file, int record) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const int header = static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
  const int record_size = static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8;
  const int n_size = static_cast<unsigned char>(bytes[32 + 16]);
  std::string comment = bytes.substr(size_t(header + (record - 1) * record_size + 1 + n_size), 100);
  comment.erase(comment.find_last_not_of(' ') + 1);
  return comment;
}

// Holds the table of a GridForm, so that it outlives the grid.
struct TableHolder {
  std::unique_ptr<TDbf> table;
};

// A form with a grid over a table, a column for each of the fields named,
// shown and active, the grid focused.
struct GridForm : TableHolder, grid_support::GridOnForm {
  explicit GridForm(std::unique_ptr<TDbf> table_in,
                    std::initializer_list<const char*> fields = {"N", "COMMENT", "P"})
      : TableHolder{std::move(table_in)}, GridOnForm(table.get(), 460, 220, fields) {}
  TgpColumn* Column(const char* name) {
    for (int i = 0; i < grid->Columns()->Count(); ++i)
      if (grid->Columns()->Items(i)->FieldName() == name) return grid->Columns()->Items(i);
    return nullptr;
  }
  // Makes the cell of row n (1-based), field name, current; no editor opens.
  void Stand(int n, const char* name) {
    EXPECT_TRUE(table->FindByValues("N", Variant(n), TFindOptions()));
    grid->SelectColumn(Column(name));
    QApplication::processEvents();
    EXPECT_FALSE(grid->EditorShown());
  }
  // Opens the editor on the cell of row n (1-based), field name.
  TgpInplaceEdit* Edit(int n, const char* name) {
    EXPECT_TRUE(table->FindByValues("N", Variant(n), TFindOptions()));
    EXPECT_TRUE(Column(name)->StartCellEdit()) << name;
    QApplication::processEvents();
    return grid->InplaceEditor();
  }
  std::string Utf8(const char* field) { return AnsiToUtf8(table->FieldNamed(field)->GetStringValue()); }
  // Posts the record, closes the table and gives its file name.
  std::string Close() {
    if (table->CurrentMode() != dsBrowse) table->CommitRecord();
    const std::string file = FileOf(*table);
    table->Deactivate();
    return file;
  }
};

}  // namespace edit_support

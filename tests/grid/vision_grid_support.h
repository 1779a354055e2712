// Helpers of the tests that edit cells of a real table through a grid's
// in-place editor and a column's vision: a shown form with a grid over a
// dBASE table (N, P float, B logical), keys sent to whatever has the focus,
// and the message boxes an edit raises, kept instead of shown.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "grid/rs.h"
#include "grid/rs_edit.h"
#include "tests/grid/vision_support.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"

namespace vision_grid {

// Keeps every message box's text; answers OK.
struct MessageLog : TDialogService {
  MessageLog() : previous(SetDialogService(this)) {}
  ~MessageLog() override { SetDialogService(previous); }
  int MessageBox(const AnsiString& text, const AnsiString&, unsigned) override {
    Texts.push_back(text);
    return 1;
  }
  int MessageDlg(const AnsiString& text, TMsgDlgType, TMsgDlgButtons) override {
    Texts.push_back(text);
    return mrOk;
  }
  bool ExecuteFileDialog(TOpenDialog&) override { return false; }
  bool ExecuteColorDialog(TColorDialog&) override { return false; }
  bool OpenDocument(const std::string&) override { return false; }
  std::vector<AnsiString> Texts;
  TDialogService* previous;
};

// A form with a grid over a table N, P (float), B (logical) of three rows,
// shown and active; the grid focused.
struct GridTable {
  explicit GridTable(const std::string& folder) {
    table = std::make_unique<TDbf>(nullptr);
    table->SetTableLevel(4);
    table->SetExclusive(true);
    file = testsupport::TempDir(folder) + "/rows.dbf";
    table->SetTableName(file);
    table->FieldDefs().AppendNamedDef("N", ftInteger);
    table->FieldDefs().AppendNamedDef("P", ftFloat);
    table->FieldDefs().AppendNamedDef("B", ftBoolean);
    table->CreateTableFile();
    table->Activate();
    for (int n = 1; n <= 3; ++n) {
      table->StartAppend();
      table->FieldNamed("N")->SetIntegerValue(n);
      table->FieldNamed("P")->SetFloatValue(n * 1.5);
      table->FieldNamed("B")->SetBooleanValue(n == 2);
      table->CommitRecord();
    }
    table->GoFirst();
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(20, 20, 460, 220);
    source.SetDataSet(table.get());
    grid = new TDBGridPro(form.get());
    grid->SetParent(form.get());
    grid->SetBounds(5, 5, 440, 200);
    for (const char* name : {"N", "P", "B"}) {
      TgpColumn* column = grid->Columns()->Add();
      column->SetFieldName(name);
      column->SetWidth(120);
    }
    grid->SetDataSource(&source);
    form->Show();
    form->Widget()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form->Widget()));
    grid->SetFocus();
    QApplication::processEvents();
  }
  ~GridTable() {
    form.reset();
    source.SetDataSet(nullptr);
  }
  TgpColumn* Column(const char* name) {
    for (int i = 0; i < grid->Columns()->Count(); ++i)
      if (grid->Columns()->Items(i)->FieldName() == name) return grid->Columns()->Items(i);
    return nullptr;
  }
  // Opens the editor on the cell of row n, field name.
  TgpInplaceEdit* Edit(int n, const char* name) {
    EXPECT_TRUE(table->FindByValues("N", Variant(n), TFindOptions()));
    EXPECT_TRUE(Column(name)->StartCellEdit()) << name;
    QApplication::processEvents();
    return grid->InplaceEditor();
  }
  static QWidget* Focus() { return QApplication::focusWidget(); }
  // ASCII text as key presses into the focused widget.
  static void Type(const char* text) {
    for (const char* p = text; *p; ++p) {
      const QChar ch = QChar::fromLatin1(*p);
      const int key = ch.toUpper().unicode();
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(Focus(), &press);
      QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(Focus(), &release);
    }
    QApplication::processEvents();
  }
  static void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(Focus(), key, mods);
    QApplication::processEvents();
  }
  // Posts the record and closes the table.
  void Close() {
    if (table->CurrentMode() != dsBrowse) table->CommitRecord();
    table->Deactivate();
  }
  // What python3-dbfread prints for each row: body is a Python expression over r.
  std::string Read(const std::string& expression) {
    return vision_support::ReadBack(file, "for r in rows: print(" + expression + ")\n");
  }

  std::string file;
  std::unique_ptr<TDbf> table;
  TDataSource source{nullptr};
  std::unique_ptr<TForm> form;
  TDBGridPro* grid = nullptr;
};

}  // namespace vision_grid

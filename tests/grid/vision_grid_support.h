// Helpers of the tests that edit cells of a real table through a grid's
// in-place editor and a column's vision: the editing tests' form with a grid
// over a dBASE table (N, P float, B logical), and the message boxes an edit
// raises, kept instead of shown.
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
#include "tests/grid/edit_support.h"
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

// A table N, P (float), B (logical) of three rows in a folder of its own.
inline std::unique_ptr<TDbf> MakeTable(const std::string& folder) {
  auto table = std::make_unique<TDbf>(nullptr);
  table->SetTableLevel(4);
  table->SetExclusive(true);
  table->SetTableName(testsupport::TempDir(folder) + "/rows.dbf");
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
  return table;
}

// A form with a grid over that table, shown and active; the grid focused.
struct GridTable : edit_support::GridForm {
  explicit GridTable(const std::string& folder)
      : GridForm(MakeTable(folder), {"N", "P", "B"}), file(edit_support::FileOf(*table)) {}
  // What python3-dbfread prints for each row: body is a Python expression over r.
  std::string Read(const std::string& expression) {
    return vision_support::ReadBack(file, "for r in rows: print(" + expression + ")\n");
  }

  std::string file;
};

}  // namespace vision_grid

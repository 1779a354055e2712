// Helpers of the grid component's tests: the application object, an
// in-memory data set of numbered rows, and a grid on it whose window and
// bands are read back.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/rs.h"
#include "toolkit/db/memdataset.h"
#include "toolkit/ui/forms.h"

namespace grid_support {

// A grid whose scroll, paint and focus handlers the tests call as the
// window system would.
class TestGrid : public TDBGridPro {
 public:
  using TDBGridPro::TDBGridPro;
  using TDBGridPro::DoEnter;
  using TDBGridPro::DoExit;
  using TDBGridPro::WMHScroll;
  using TDBGridPro::WMVScroll;
};

// A form of width x height with a grid over data_set 5 pixels inside it, a
// column column_width wide for each of the fields named (set up further by
// prepare before the grid is linked), shown and active, the grid focused.
// The data set outlives the fixture (a fixture holding it derives from its
// holder first).
struct GridOnForm {
  GridOnForm(TDataSet* data_set, int width, int height, std::initializer_list<const char*> fields,
             int column_width = 120, const std::function<void(TDBGridPro&)>& prepare = {}) {
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(20, 20, width, height);
    source.SetDataSet(data_set);
    grid = new TDBGridPro(form.get());
    grid->SetParent(form.get());
    grid->SetBounds(5, 5, width - 20, height - 20);
    for (const char* name : fields) {
      TgpColumn* column = grid->Columns()->Add();
      column->SetFieldName(name);
      column->SetWidth(column_width);
    }
    if (prepare) prepare(*grid);
    grid->SetDataSource(&source);
    form->Show();
    form->Widget()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form->Widget()));
    grid->SetFocus();
    QApplication::processEvents();
  }
  ~GridOnForm() {
    form.reset();
    source.SetDataSet(nullptr);
  }
  GridOnForm(const GridOnForm&) = delete;
  GridOnForm& operator=(const GridOnForm&) = delete;

  // The widget that has the focus now (keys go there).
  static QWidget* Focus() { return QApplication::focusWidget(); }
  // Each character as a key press with its text (the test library's own
  // typing takes only ASCII); the key code is the character's capital.
  static void Type(const char* utf8) {
    for (const QChar ch : QString::fromUtf8(utf8)) {
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

  TDataSource source{nullptr};
  std::unique_ptr<TForm> form;
  TDBGridPro* grid = nullptr;
};

// Rows N = 1..count with P = 10 x N.
inline void AddRows(TMemDataSet& ds, int from, int to) {
  for (int n = from; n <= to; ++n) {
    ds.StartAppend();
    ds.FieldNamed("N")->SetIntegerValue(n);
    ds.FieldNamed("P")->SetIntegerValue(10 * n);
    ds.CommitRecord();
  }
}

// A grid with one column per field on an open in-memory data set.
struct MemGrid {
  explicit MemGrid(int rows, int width = 300, int height = 200) {
    ds.FieldDefs().AppendNamedDef("N", ftInteger);
    ds.FieldDefs().AppendNamedDef("P", ftInteger);
    ds.Activate();
    AddRows(ds, 1, rows);
    ds.GoFirst();
    source.SetDataSet(&ds);
    grid = std::make_unique<TestGrid>(nullptr);
    grid->SetBounds(0, 0, width, height);
    for (const char* name : {"N", "P"}) {
      TgpColumn* column = grid->Columns()->Add();
      column->SetFieldName(name);
      column->SetWidth(60);
    }
    grid->SetDataSource(&source);
  }
  ~MemGrid() {
    grid.reset();
    source.SetDataSet(nullptr);
  }
  int N() { return ds.FieldNamed("N")->GetIntegerValue(); }
  // N of the record on the grid's first row.
  int FirstShown() { return ds.GetSequenceNo() - grid->ActiveRow(); }
  // The N values of the grid's rows, read through its data link.
  std::vector<int> Shown() {
    std::vector<int> out;
    if (!grid->HasRows() || !grid->LinkActive() || ds.HasNoRecords()) return out;
    TDataLink* link = grid->DataLink();
    const int saved = link->QueryActiveRow();
    for (int r = 0; r < grid->RowCount(); ++r) {
      link->ChangeActiveRow(r);
      out.push_back(N());
    }
    link->ChangeActiveRow(saved);
    return out;
  }

  TMemDataSet ds{nullptr};
  TDataSource source{nullptr};
  std::unique_ptr<TestGrid> grid;
};

// Client height that holds the titles and exactly rows rows.
inline int HeightFor(const TDBGridPro& grid, int rows) {
  return grid.TitleBand() + rows * grid.RowHeight() + 2 * grid.FrameInset();
}

}  // namespace grid_support

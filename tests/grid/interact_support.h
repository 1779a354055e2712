// Helpers of the grid interaction tests: a grid on a shown form over the
// in-memory data set, driven with real key and mouse events.
#pragma once

#include <QTest>
#include <QWidget>

#include <algorithm>
#include <memory>
#include <vector>

#include "tests/grid/grid_support.h"
#include "toolkit/ui/forms.h"

namespace interact {

struct ShownGrid : grid_support::MemGrid {
  explicit ShownGrid(int rows, int width = 300, int height = 200) : MemGrid(rows, width, height) {
    grid->SetParent(&form);
    form.SetBounds(0, 0, width + 40, height + 40);
    form.Show();
    grid->SetBounds(0, 0, width, height);
    // Every test's window stands at the same place: the pointer is parked on
    // the form beside the grid, so a test's first move onto the grid is a
    // move even when the test before left the pointer on that very point.
    QTest::mouseMove(W(), QPoint(width + 20, height + 20));
  }
  ~ShownGrid() { grid->SetParent(nullptr); }

  QWidget* W() const { return grid->Widget(); }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(W(), key, mods); }
  void Type(const char* text) {
    for (const char* p = text; *p; ++p) QTest::keyClick(W(), *p);
  }
  // The middle of a cell of window row Row (from 0) in column Column.
  QPoint Cell(int row, int column) const {
    const TRect r = grid->Columns()->Items(column)->CellRect(row, false, false);
    return QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  }
  QPoint Title(int column) const {
    const TRect r = grid->Columns()->Items(column)->TitleRect(false);
    return QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  }
  void Click(QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::mouseClick(W(), Qt::LeftButton, mods, at);
  }
  // N of the selected records, in N order.
  std::vector<int> Selected() {
    std::vector<int> out;
    TgpSelection* s = grid->Selection();
    const TBookmark here = ds.TakeBookmark();
    ds.MuteControls();
    for (int i = 0; i < s->ExplicitCount(); ++i) {
      ds.ReturnToBookmark(s->Items(i)->Bookmark);
      out.push_back(N());
    }
    ds.ReturnToBookmark(here);
    ds.UnmuteControls();
    std::sort(out.begin(), out.end());
    return out;
  }

  TForm form{nullptr};
};

}  // namespace interact

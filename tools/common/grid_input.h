// Input for the harnesses that drive a data grid: keys named as in a key
// sequence ("Ctrl+End", "Shift+Down", "PgDown", "Delete"), typed text, and
// clicks and drags on cells and titles, all sent to the grid's window as the
// window system would; and the line that reports where the grid stands.
#pragma once

#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <string>
#include <vector>

#include "grid/rs.h"
#include "grid/rs_rtm.h"
#include "toolkit/core/text.h"
#include "toolkit/db/db.h"

namespace grid_input {

struct InputError {
  std::string message;
};

// The key and modifiers of a name such as "Ctrl+Shift+End".
inline QKeyCombination ParseKey(const std::string& name) {
  std::string text = name;
  // The names people write for keys Qt spells otherwise.
  const std::pair<const char*, const char*> aliases[] = {
      {"Delete", "Del"}, {"Escape", "Esc"}, {"PageDown", "PgDown"}, {"PageUp", "PgUp"}, {"Enter", "Return"}};
  for (const auto& [from, to] : aliases) {
    const std::string f = from;
    const size_t at = text.rfind(f);
    if (at != std::string::npos && at + f.size() == text.size() && (at == 0 || text[at - 1] == '+'))
      text.replace(at, f.size(), to);
  }
  const QKeySequence seq = QKeySequence::fromString(QString::fromStdString(text), QKeySequence::PortableText);
  if (seq.count() != 1 || seq[0].key() == Qt::Key_unknown || seq[0].key() == 0)
    throw InputError{"unknown key \"" + name + "\""};
  return seq[0];
}

inline void SendKey(QWidget* w, QKeyCombination key, const QString& text = QString()) {
  // As the window system does, the key is first offered as a shortcut
  // override (a window that previews its keys may take it there), and the
  // press follows.
  QKeyEvent shortcut(QEvent::ShortcutOverride, key.key(), key.keyboardModifiers(), text);
  shortcut.ignore();
  QCoreApplication::sendEvent(w, &shortcut);
  QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers(), text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key.key(), key.keyboardModifiers(), text);
  QCoreApplication::sendEvent(w, &release);
}

inline void SendKeyName(QWidget* w, const std::string& name) { SendKey(w, ParseKey(name)); }

// Each character typed into the window (UTF-8 text).
inline void SendText(QWidget* w, const std::string& utf8) {
  for (const QChar ch : QString::fromStdString(utf8)) {
    const int key = ch.isLetter() ? ch.toUpper().unicode() : ch.unicode();
    SendKey(w, QKeyCombination(Qt::NoModifier, Qt::Key(key < 0x80 ? key : Qt::Key_unknown)), QString(ch));
  }
}

inline void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
                      Qt::KeyboardModifiers mods) {
  QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, mods);
  QCoreApplication::sendEvent(w, &e);
}

inline void SendClick(QWidget* w, QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  SendMouse(w, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, mods);
  SendMouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, mods);
  SendMouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, mods);
}

// Presses at from, moves in steps to to and releases there.
inline void SendDrag(QWidget* w, QPoint from, QPoint to) {
  SendMouse(w, QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  SendMouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  for (int step = 1; step <= 4; ++step) {
    const QPoint at = from + (to - from) * step / 4;
    SendMouse(w, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  }
  SendMouse(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
}

// Notches of the wheel; negative turns up (towards the first rows).
inline void SendWheel(QWidget* w, int notches) {
  const QPointF at(w->width() / 2.0, w->height() / 2.0);
  for (int i = 0; i < std::abs(notches); ++i) {
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, notches < 0 ? 120 : -120), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
  }
}

// The first visible column of the field (UTF-8 name).
inline int ColumnOf(TDBGridPro& grid, const std::string& field) {
  TgpColumns& columns = *grid.Columns();
  for (int i = 0; i < columns.Count(); ++i)
    if (columns.Items(i)->Visible() && AnsiToUtf8(columns.Items(i)->FieldName()) == field) return i;
  throw InputError{"no column " + field};
}

// The middle of the cell of row (from 1 among the rows shown) in the field's column.
inline QPoint CellPoint(TDBGridPro& grid, int row, const std::string& field) {
  if (!grid.HasRows() || row < 1 || row > grid.RowCount())
    throw InputError{"no row " + std::to_string(row) + " shown (1 to " + std::to_string(grid.RowCount()) + ")"};
  const TRect r = grid.Columns()->Items(ColumnOf(grid, field))->CellRect(row - 1, false, false);
  return QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
}

inline QPoint TitlePoint(TDBGridPro& grid, const std::string& field) {
  const TRect r = grid.Columns()->Items(ColumnOf(grid, field))->TitleRect(false);
  return QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
}

// Drags the right border of the field's title so that the column becomes width wide.
inline void Resize(TDBGridPro& grid, const std::string& field, int width) {
  TgpColumn* column = grid.Columns()->Items(ColumnOf(grid, field));
  const TRect r = column->TitleRect(false);
  const int y = (r.Top + r.Bottom) / 2;
  const int left = column->CellRect(0, false, false).Left;
  SendDrag(grid.Widget(), QPoint(r.Right, y), QPoint(left + width, y));
}

// Drags the field's title onto the left edge of before's title.
inline void MoveColumn(TDBGridPro& grid, const std::string& field, const std::string& before) {
  const TRect r = grid.Columns()->Items(ColumnOf(grid, before))->TitleRect(false);
  SendDrag(grid.Widget(), TitlePoint(grid, field), QPoint(r.Left, (r.Top + r.Bottom) / 2));
}

// "FIELD=WIDTH" of the visible columns, tab-separated, in column order.
inline std::string Widths(TDBGridPro& grid) {
  std::string out;
  TgpColumns& columns = *grid.Columns();
  for (int i = 0; i < columns.Count(); ++i) {
    TgpColumn* c = columns.Items(i);
    if (!c->Visible()) continue;
    if (!out.empty()) out += "\t";
    out += AnsiToUtf8(c->FieldName()) + "=" + std::to_string(c->Width());
  }
  return out;
}

// "row=N field=FIELD selected=N,N,..." with N a row's number in the data
// set's order from 1 (0 for no current row).
inline std::string Current(TDBGridPro& grid, TDataSet& ds) {
  std::string field = grid.CurrentColumn() ? AnsiToUtf8(grid.CurrentColumn()->FieldName()) : std::string();
  int row = 0;
  std::vector<int> selected;
  if (ds.QueryActive() && !ds.HasNoRecords()) {
    TgpSelection& s = *grid.Selection();
    // Back on the same row of the window afterwards, so that asking moves nothing.
    const TDataSetPosition position = SaveDataSetPosition(ds);
    const TBookmark here = position.Bookmark;
    std::vector<TBookmark> marks;
    for (int i = 0; i < s.ExplicitCount(); ++i) marks.push_back(s.Items(i)->Bookmark);
    grid.FreezeGrid();
    ds.MuteControls();
    int n = 0;
    // Only as far as the last of the rows to name: a big table is not
    // numbered through for a few of them.
    for (ds.GoFirst(); !ds.Eof() && (row == 0 || selected.size() < marks.size()); ds.GoNext()) {
      ++n;
      const TBookmark mark = ds.TakeBookmark();
      if (ds.CompareBookmarkValues(mark, here) == 0) row = n;
      for (const TBookmark& m : marks)
        if (ds.CompareBookmarkValues(mark, m) == 0) selected.push_back(n);
    }
    RestoreDataSetPosition(ds, position);
    ds.UnmuteControls();
    grid.UnfreezeGrid(false);
  }
  std::string list;
  for (int n : selected) list += (list.empty() ? "" : ",") + std::to_string(n);
  return "row=" + std::to_string(row) + " field=" + field + " selected=" + list;
}

}  // namespace grid_input

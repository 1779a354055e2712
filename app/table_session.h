// The main window's one open table as the window drives it: the life of its
// file (create, open, save, close), the record kind it shows, the grids'
// temporary sort tags, the statistics of P and R over the rows the filter
// passes, the deletion's pack and recall, and renumbering. What the user sees
// of it (grids, footers, controls, messages) is the window's.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dbf/dbf.h"

// Pmin, Pmax, Pmean, Rmin, Rmax, Rmean over the rows the filter passes.
struct TTableStats {
  double Pmin = 0, Pmax = 0, Pmean = 0, Rmin = 0, Rmax = 0, Rmean = 0;
};

class TTableSession {
 public:
  // Runs a walk over the table with whatever shows the table kept from
  // hearing of each step.
  using TQuietWalk = std::function<void(const std::function<void()>&)>;

  // The table with the measurement row's fields, closed; quiet wraps every
  // walk over its rows.
  TTableSession(TDbf& table, TQuietWalk quiet);

  TDbf& Table() const { return table_; }
  bool Active() const { return table_.QueryActive(); }
  // The open table's file (UTF-8).
  std::string FileName() const;

  // Opens the table file (the engine's error when it cannot).
  void Open(const std::string& file_name);
  // Makes a new, empty table file of the measurement row (replacing one of
  // that name) and opens it.
  void Create(const std::string& file_name);
  // Closes the table, which writes everything to disk, and reads it anew.
  void Reopen();
  // Closes the table.
  void Close();

  // Shows the rows of one record kind (kPressKind, kAcousticKind).
  void ShowKind(int kind);
  // Whether the table holds rows of the kind; it then shows them.
  bool HasKind(int kind);
  // The rows that pass the table's filter, counted once for that filter: the
  // footers ask on every move of the current row, and in index order a count
  // walks the whole index. The statistics and ForgetCount count anew.
  int VisibleRows();
  void ForgetCount() { visible_rows_ = -1; }
  // Minimum, maximum and mean (one decimal, halves up) of P and R over the
  // visible rows, the table left on its first row; with at most one row, its
  // values.
  TTableStats Stats(TField& p, TField& r);

  // The order of the tag leaves the table and the tag goes; a failure of
  // either is ignored, the table staying in its physical order.
  void LeaveTag(const char* tag);
  // The same quietly, with a separate index file of that name released too.
  void DropTag(const char* tag);
  // Makes the tag on the field, in that order, and shows the rows in it.
  void SortBy(const char* tag, const AnsiString& field, bool descending);

  // Removes the rows marked deleted from the file and reads it anew.
  void Pack();
  // Takes back the deletion marks of the rows (bookmarks of the table).
  void Recall(const std::vector<TBookmark>& rows);
  // Numbers N from 1 in the order the rows are shown, then reads the table
  // anew.
  void Renumber(TField& n);

 private:
  TDbf& table_;
  TQuietWalk quiet_;
  int visible_rows_ = -1;
  AnsiString visible_rows_filter_;
};

// One decimal, halves up: floor(x * 10 + 0.5) / 10.
double RoundMean(double x);

#include "app/table_session.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

#include "app/measure.h"

TTableSession::TTableSession(TDbf& table, TQuietWalk quiet) : table_(table), quiet_(std::move(quiet)) {}

std::string TTableSession::FileName() const { return table_.FilePathFull() + table_.TableName(); }

void TTableSession::Open(const std::string& file_name) {
  const std::filesystem::path file(file_name);
  table_.SetFilePath(file.parent_path().string());
  table_.SetTableName(file.filename().string());
  table_.FieldDefs().Clear();
  OpenMeasurementTable(table_);
}

void TTableSession::Create(const std::string& file_name) {
  table_.Deactivate();
  const std::filesystem::path file(file_name);
  table_.SetFilePath(file.parent_path().string());
  table_.SetTableName(file.filename().string());
  table_.FieldDefs().Clear();
  DefineMeasurementFields(table_.FieldDefs());
  table_.CreateTableFile();
  table_.Activate();
}

void TTableSession::Reopen() {
  table_.ChangeActive(false);
  OpenMeasurementTable(table_);
}

void TTableSession::Close() {
  visible_rows_ = -1;
  table_.ChangeActive(false);
}

void TTableSession::ShowKind(int kind) {
  table_.SetFilter(KindFilter(kind));
  table_.SetFiltered(true);
  table_.Reload();
}

bool TTableSession::HasKind(int kind) {
  ShowKind(kind);
  return table_.CountVisibleRecords() > 0;
}

int TTableSession::VisibleRows() {
  const AnsiString filter = table_.Filtered() ? table_.Filter() : AnsiString();
  if (visible_rows_ < 0 || filter != visible_rows_filter_) {
    visible_rows_ = table_.CountVisibleRecords();
    visible_rows_filter_ = filter;
  }
  return visible_rows_;
}

double RoundMean(double x) { return std::floor(x * 10 + 0.5) / 10; }

TTableStats TTableSession::Stats(TField& p, TField& r) {
  TTableStats s;
  const int n = table_.CountVisibleRecords();
  visible_rows_ = n;
  visible_rows_filter_ = table_.Filtered() ? table_.Filter() : AnsiString();
  if (n <= 1) {
    s.Pmin = s.Pmax = s.Pmean = p.GetFloatValue();
    s.Rmin = s.Rmax = s.Rmean = r.GetFloatValue();
    return s;
  }
  quiet_([&] {
    table_.GoFirst();
    s.Pmin = s.Pmax = s.Pmean = p.GetFloatValue();
    s.Rmin = s.Rmax = s.Rmean = r.GetFloatValue();
    for (int i = 1; i < n; ++i) {
      table_.GoNext();
      const double pv = p.GetFloatValue(), rv = r.GetFloatValue();
      s.Pmin = std::min(s.Pmin, pv);
      s.Pmax = std::max(s.Pmax, pv);
      s.Pmean += pv;
      s.Rmin = std::min(s.Rmin, rv);
      s.Rmax = std::max(s.Rmax, rv);
      s.Rmean += rv;
    }
    s.Pmean = RoundMean(s.Pmean / n);
    s.Rmean = RoundMean(s.Rmean / n);
    table_.GoFirst();
  });
  return s;
}

void TTableSession::LeaveTag(const char* tag) {
  table_.SetIndexName("");
  try {
    table_.RemoveIndex(tag);
    try {
      table_.Reload();
    } catch (...) {
      // A failed refresh is ignored: the sort that follows reloads the table
      // again.
    }
  } catch (...) {
    // A tag that cannot be removed leaves the sort to go on at once.
  }
}

void TTableSession::DropTag(const char* tag) {
  if (!table_.QueryActive()) return;
  try {
    table_.SetIndexName("");
    table_.RemoveIndex(tag);
    table_.ReleaseIndexFile(tag);
    table_.Reload();
  } catch (...) {
    // Dropping the sort swallows every error: the grids show the rows
    // unsorted whatever the table's index files say.
  }
}

void TTableSession::SortBy(const char* tag, const AnsiString& field, bool descending) {
  TIndexOptions options;
  if (descending) options.Include(ixDescending);
  table_.CreateIndexTag(tag, field, options);
  table_.SetIndexName(tag);
  table_.RebuildAllIndexes();
  table_.Reload();
}

void TTableSession::Pack() {
  table_.PackRecords();
  table_.ChangeActive(false);
  table_.ChangeActive(true);
}

void TTableSession::Recall(const std::vector<TBookmark>& rows) {
  if (!table_.QueryActive()) return;
  // The edit that failed with the deletion goes, as any failed command's.
  if (table_.CurrentMode() == dsEdit || table_.CurrentMode() == dsInsert) table_.DiscardChanges();
  quiet_([&] {
    table_.SetShowDeleted(true);
    try {
      for (const TBookmark& row : rows) {
        if (row.empty()) continue;
        table_.ReturnToBookmark(row);
        table_.RecallRecord();
      }
    } catch (...) {
      table_.SetShowDeleted(false);
      throw;
    }
    table_.SetShowDeleted(false);
  });
}

void TTableSession::Renumber(TField& n) {
  // The rows are taken first and numbered after: a view sorted by N would
  // otherwise move each row under the walk.
  std::vector<TBookmark> rows;
  quiet_([&] {
    for (table_.GoFirst(); !table_.Eof(); table_.GoNext()) rows.push_back(table_.TakeBookmark());
    int number = 0;
    for (const TBookmark& row : rows) {
      table_.ReturnToBookmark(row);
      table_.StartEdit();
      n.SetIntegerValue(++number);
      table_.CommitRecord();
    }
    table_.GoFirst();
  });
  table_.ChangeActive(false);
  table_.ChangeActive(true);
}

// dbftool append, delete, recall and pack: the record operations of the
// engine from the command line.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "dbf/dbf_common.h"
#include "dbf/dbf_memo.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "tools/dbftool/dbftool.h"

namespace dbftool {
namespace {

// A bad input line: reported with its line number.
[[noreturn]] void BadInput(int line, const std::string& message) {
  throw EConvertError(Utf8ToAnsi("line " + std::to_string(line) + ": " + message));
}

// CSV records (cells separated by ",", quoted cells with "" for a quote and
// line breaks inside, lines ending in LF or CR LF) read from a file
// descriptor through a buffer of fixed size, so that any number of rows
// takes the same memory; rows coming through a pipe are taken as they come.
class CsvInput {
 public:
  explicit CsvInput(int fd) : fd_(fd) {}

  // Reads the next record; *line counts the lines passed. False at the end
  // of the input.
  bool Next(int* line, std::vector<std::string>& cells) {
    cells.clear();
    if (Peek() < 0) return false;
    const int first_line = *line;
    std::string cell;
    bool quoted = false;
    for (;;) {
      const int c = Get();
      if (c < 0) {
        if (quoted) BadInput(first_line, "a quoted cell is not closed");
        cells.push_back(cell);
        return true;
      }
      if (quoted) {
        if (c == '"') {
          if (Peek() == '"') {
            cell += '"';
            Get();
          } else {
            quoted = false;
          }
        } else {
          if (c == '\n') ++*line;
          cell += char(c);
        }
      } else if (c == '"' && cell.empty()) {
        quoted = true;
      } else if (c == ',') {
        cells.push_back(cell);
        cell.clear();
      } else if (c == '\n' || (c == '\r' && Peek() == '\n')) {
        if (c == '\r') Get();
        ++*line;
        cells.push_back(cell);
        return true;
      } else {
        cell += char(c);
      }
    }
  }

  bool AtEnd() { return Peek() < 0; }
  // True when the next character is already read: taking it does not wait.
  bool Buffered() const { return pos_ < size_; }

 private:
  int Peek() {
    if (pos_ == size_) {
      ssize_t n = 0;
      do {
        n = ::read(fd_, buffer_, sizeof buffer_);
      } while (n < 0 && errno == EINTR);
      if (n < 0) throw EReadError(Utf8ToAnsi("cannot read standard input: " + std::string(std::strerror(errno))));
      size_ = size_t(n);
      pos_ = 0;
      if (size_ == 0) return -1;
    }
    return static_cast<unsigned char>(buffer_[pos_]);
  }
  int Get() {
    const int c = Peek();
    if (c >= 0) ++pos_;
    return c;
  }

  int fd_;
  char buffer_[1 << 16];
  size_t pos_ = 0, size_ = 0;
};

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

bool ParseInt(const std::string& text, int64_t* value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(begin, t.data() + t.size(), *value);
  return ec == std::errc() && end == t.data() + t.size();
}

bool ParseFloat(const std::string& text, double* value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(begin, t.data() + t.size(), *value);
  return ec == std::errc() && end == t.data() + t.size() && std::isfinite(*value);
}

// "yyyy-mm-dd", "yyyymmdd", optionally followed by " hh:mm:ss".
bool ParseDateTime(const std::string& text, double* value) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char rest = 0;
  const std::string t = Trim(text);
  const int fields = std::sscanf(t.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &rest);
  if (fields != 3 && fields != 6) {
    if (t.size() != 8 || std::sscanf(t.c_str(), "%4d%2d%2d%c", &y, &mo, &d, &rest) != 3) return false;
  }
  TDateTime date = 0, time = 0;
  if (!TryEncodeDate(y, mo, d, date) || !TryEncodeTime(h, mi, s, 0, time)) return false;
  *value = date + time;
  return true;
}

std::string FromHex(const std::string& text, int line, const std::string& field) {
  std::string bytes;
  const auto digit = [&](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    BadInput(line, "field " + field + " takes hexadecimal bytes");
  };
  if (text.size() % 2 != 0) BadInput(line, "field " + field + " takes hexadecimal bytes");
  for (size_t i = 0; i < text.size(); i += 2) bytes += char(digit(text[i]) * 16 + digit(text[i + 1]));
  return bytes;
}

// A row ready to append: its image and the memo values still to be written.
struct Row {
  std::vector<uint8_t> record;
  std::vector<std::pair<const TDbfFieldDef*, std::string>> memos;
};

// Puts one cell into the row; a cell that does not fit its field is refused
// rather than cut.
void PutCell(const TDbfFile& table, const TDbfFieldDef& field, const std::string& cell, int line, Row& row) {
  // The name is converted only for a message: most cells raise none.
  const auto name = [&] { return TableTextToUtf8(table, field.FieldName()); };
  const auto bad = [&](const char* what) {
    BadInput(line, "field " + name() + " takes " + what + ": \"" + cell + "\"");
  };
  uint8_t* record = row.record.data();
  switch (field.NativeFieldType()) {
    case 'C': {
      const std::string text = ConvertCodePage(cell, kUtf8CodePage, table.UseCodePage());
      if (text.find('\0') != std::string::npos) bad("text");
      if (int(text.size()) > field.Size())
        throw EDbfError(Format(STRING_FIELD_OVERFLOW, {field.FieldName(), field.Size()}));
      table.EncodeField(field, ftString, record, text.c_str());
      return;
    }
    case 'M':
      row.memos.emplace_back(&field, ConvertCodePage(cell, kUtf8CodePage, table.UseCodePage()));
      return;
    case 'B':
    case 'G': row.memos.emplace_back(&field, FromHex(cell, line, name())); return;
    case 'L': {
      const std::string t = UpperAscii(Trim(cell));
      uint16_t value = 0;
      if (t == "T" || t == "Y" || t == "TRUE")
        value = 1;
      else if (t != "F" && t != "N" && t != "FALSE")
        bad("T or F");
      table.EncodeField(field, ftBoolean, record, &value);
      return;
    }
    case 'D':
    case '@':
    case 'T': {
      double value = 0;
      if (!ParseDateTime(cell, &value)) bad("a date (yyyy-mm-dd [hh:mm:ss])");
      table.EncodeField(field, field.NativeFieldType() == 'D' ? ftDate : ftDateTime, record, &value);
      return;
    }
    case 'I':
    case '+': {
      int64_t value = 0;
      if (!ParseInt(cell, &value) || value < INT32_MIN || value > INT32_MAX) bad("a 32-bit integer");
      const int32_t v = int32_t(value);
      table.EncodeField(field, ftInteger, record, &v);
      return;
    }
    case 'N':
    case 'F':
    case 'O':
    case 'Y': {
      int64_t whole = 0;
      if (field.Precision() == 0 && field.NativeFieldType() != 'Y' && field.NativeFieldType() != 'O' &&
          ParseInt(cell, &whole)) {
        table.EncodeField(field, ftLargeint, record, &whole);
        return;
      }
      double value = 0;
      if (!ParseFloat(cell, &value)) bad("a number");
      table.EncodeField(field, field.NativeFieldType() == 'Y' ? ftCurrency : ftFloat, record, &value);
      return;
    }
    default: BadInput(line, "field " + name() + " cannot be given a value here");
  }
}

// Stores the header (date and end mark) and closes; a failed write is reported.
void Finish(TDbfFile& table) {
  table.StoreHeader();
  table.CloseAll();
  if (table.WriteError()) throw EDbfWriteError(STRING_WRITE_ERROR);
}

std::vector<int64_t> RecordNumbers(TDbfFile& table, const Args& args) {
  std::vector<int64_t> numbers;
  const int64_t count = table.RecordCount();
  for (size_t i = 1; i < args.size(); ++i) {
    int64_t n = 0;
    if (!ParseInt(args[i], &n)) throw UsageError{"bad record number \"" + args[i] + "\""};
    if (n < 1 || n > count)
      throw UsageError{"record " + args[i] + " is not in the table (1.." + std::to_string(count) + ")"};
    numbers.push_back(n);
  }
  if (numbers.empty()) throw UsageError{"expected FILE and record numbers"};
  return numbers;
}

// Marks records deleted or takes their marks back as the program does, the
// primary tags following.
int SetDeletedFlag(const Args& args, bool deleted) {
  if (args.empty()) throw UsageError{"expected FILE and record numbers"};
  auto table = OpenTableForChanges(args[0]);
  const std::vector<int64_t> numbers = RecordNumbers(*table, args);
  std::vector<uint8_t> record(size_t(table->RecordSize()));
  for (int64_t n : numbers) {
    table->LockRecordForEdit(n, record.data());
    try {
      table->SetDeletionMark(n, record.data(), deleted);
    } catch (...) {
      table->UnlockRecord(n);
      throw;
    }
    table->UpdateRecord(n, record.data());
  }
  Finish(*table);
  return 0;
}

// Counts the rows of the input from the current one on, without checking
// them: for the message of an append that stopped.
size_t CountRemainingRows(CsvInput& input, int line) {
  size_t rows = 0;
  std::vector<std::string> cells;
  try {
    while (input.Next(&line, cells))
      if (!(cells.size() == 1 && cells[0].empty() && input.AtEnd())) ++rows;
  } catch (const Exception&) {
    ++rows;  // a row that does not even read as CSV is one more that was not appended
  }
  return rows;
}

}  // namespace

int RunAppend(const Args& args) {
  if (args.size() != 1) throw UsageError{"expected one FILE (rows as CSV on standard input)"};
  auto table = OpenTableForChanges(args[0]);
  CsvInput input(STDIN_FILENO);

  int line = 1;
  std::vector<std::string> cells;
  if (!input.Next(&line, cells)) throw UsageError{"standard input has no header row"};
  std::vector<const TDbfFieldDef*> columns;
  std::set<const TDbfFieldDef*> seen;
  for (const std::string& name : cells) {
    const TDbfFieldDef* field =
        table->FindField(ConvertCodePage(Trim(name), kUtf8CodePage, table->UseCodePage()));
    if (!field) BadInput(1, "the table has no field \"" + name + "\"");
    if (!seen.insert(field).second) BadInput(1, "field \"" + name + "\" is named twice");
    columns.push_back(field);
  }

  // Rows are checked and encoded one at a time and appended in batches: the
  // input may be far larger than memory, and a shared table is locked once
  // a batch. A batch goes to the table when it is full, when it is old, and
  // before the input is read again (rows coming through a pipe land as they
  // come). A row that fails stops the append; the rows before it stay,
  // whole, and the message tells from which row on to append again.
  constexpr size_t kBatchRows = 1024;
  constexpr auto kBatchAge = std::chrono::milliseconds(100);
  Row row;
  row.record.resize(size_t(table->RecordSize()));
  std::vector<uint8_t> batch;
  batch.reserve(kBatchRows * row.record.size());
  size_t batch_rows = 0;
  auto batch_begun = std::chrono::steady_clock::now();
  size_t stored = 0;
  size_t lost = 0;  // rows of a batch whose append failed
  const auto flush = [&] {
    if (batch_rows == 0) return;
    const size_t rows = batch_rows;
    batch_rows = 0;
    // Emptied on every way out; its memory serves the next batch.
    TScopeExit emptied([&] { batch.clear(); });
    size_t appended = 0;
    try {
      table->AppendRecords(batch.data(), rows, &appended);
    } catch (...) {
      stored += appended;
      lost = rows - appended;
      throw;
    }
    stored += rows;
  };
  int row_line = line;
  bool rows_read = false;
  try {
    for (;;) {
      if (!input.Buffered()) flush();
      row_line = line;
      if (!input.Next(&line, cells)) break;
      if (cells.size() == 1 && cells[0].empty() && input.AtEnd()) break;
      if (cells.size() != columns.size())
        BadInput(row_line, std::to_string(cells.size()) + " cells for " + std::to_string(columns.size()) + " fields");
      table->InitRecord(row.record.data());
      row.memos.clear();
      for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].empty()) continue;  // the field stays empty (or at its default)
        try {
          PutCell(*table, *columns[i], cells[i], row_line, row);
        } catch (const EDbfError& e) {
          BadInput(row_line, AnsiToUtf8(e.Message()));
        }
      }
      // Memo values need the memo file.
      if (!row.memos.empty() && !table->MemoFileExists())
        throw EDbfError(Format(STRING_FILE_NOT_FOUND, {table->MemoFileName()}));
      for (const auto& [field, value] : row.memos) {
        int64_t block = 0;
        TStringStream stream(value);
        table->MemoFile()->WriteMemo(block, 0, stream);
        table->SetMemoBlock(*field, row.record.data(), block);
      }
      if (batch_rows == 0) batch_begun = std::chrono::steady_clock::now();
      batch.insert(batch.end(), row.record.begin(), row.record.end());
      ++batch_rows;
      if (batch_rows >= kBatchRows || std::chrono::steady_clock::now() - batch_begun >= kBatchAge) flush();
    }
    flush();
    rows_read = true;
    Finish(*table);
  } catch (const Exception& e) {
    // A row that failed is rolled back whole: the user appends again from
    // the first row that is not in the table. The rows before it, still in
    // the batch, go in first.
    const bool row_failed = lost == 0 && !rows_read;
    if (row_failed) {
      try {
        flush();
      } catch (const Exception&) {
        // The error of the row is the one to report.
      }
    }
    if (stored > 0 && !rows_read) {
      try {
        Finish(*table);
      } catch (const Exception&) {
        // The error of the row is the one to report.
      }
    }
    const size_t total =
        rows_read ? stored : stored + lost + (row_failed ? 1 : 0) + CountRemainingRows(input, line);
    std::fprintf(stderr, "dbftool: %s\n", AnsiToUtf8(e.Message()).c_str());
    std::fprintf(stderr, "dbftool: %zu of %zu rows were appended before the error", stored, total);
    if (stored < total) std::fprintf(stderr, "; the rows from row %zu on were not", stored + 1);
    std::fprintf(stderr, "\n");
    return 1;
  }
  std::printf("appended: %zu\n", stored);
  return 0;
}

int RunDelete(const Args& args) { return SetDeletedFlag(args, true); }

int RunRecall(const Args& args) { return SetDeletedFlag(args, false); }

int RunPack(const Args& args) {
  if (args.size() != 1) throw UsageError{"expected one FILE"};
  // A pack needs the table and its index file to itself: it rebuilds every tag.
  auto table = OpenTableForChanges(args[0], pmExclusiveOpen);
  table->RebuildTableFile();
  Finish(*table);
  return 0;
}

}  // namespace dbftool

// dbftool append, delete, recall and pack: the record operations of the
// engine from the command line.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <map>
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

// Reads one CSV record (cells separated by ",", quoted cells with "" for a
// quote and line breaks inside, lines ending in LF or CR LF) from pos; *line
// counts the lines passed. False at the end of the text.
bool ReadCsvRecord(const std::string& text, size_t& pos, int* line, std::vector<std::string>& cells) {
  cells.clear();
  if (pos >= text.size()) return false;
  const int first_line = *line;
  std::string cell;
  bool quoted = false;
  for (;;) {
    if (pos >= text.size()) {
      if (quoted) BadInput(first_line, "a quoted cell is not closed");
      cells.push_back(cell);
      return true;
    }
    const char c = text[pos++];
    if (quoted) {
      if (c == '"') {
        if (pos < text.size() && text[pos] == '"') {
          cell += '"';
          ++pos;
        } else {
          quoted = false;
        }
      } else {
        if (c == '\n') ++*line;
        cell += c;
      }
    } else if (c == '"' && cell.empty()) {
      quoted = true;
    } else if (c == ',') {
      cells.push_back(cell);
      cell.clear();
    } else if (c == '\n' || (c == '\r' && pos < text.size() && text[pos] == '\n')) {
      if (c == '\r') ++pos;
      ++*line;
      cells.push_back(cell);
      return true;
    } else {
      cell += c;
    }
  }
}

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

// Marks records deleted ('*') or live again (' ').
int SetDeletedFlag(const Args& args, bool deleted) {
  if (args.empty()) throw UsageError{"expected FILE and record numbers"};
  auto table = OpenTable(args[0], pmSharedOpen);
  const std::vector<int64_t> numbers = RecordNumbers(*table, args);
  std::vector<uint8_t> record(size_t(table->RecordSize()));
  for (int64_t n : numbers) {
    table->LockRecordForEdit(n, record.data());
    record[0] = deleted ? '*' : ' ';
    if (deleted) table->RemoveRecordKeys(n, record.data());
    table->UpdateRecord(n, record.data());
  }
  Finish(*table);
  return 0;
}

}  // namespace

int RunAppend(const Args& args) {
  if (args.size() != 1) throw UsageError{"expected one FILE (rows as CSV on standard input)"};
  auto table = OpenTable(args[0], pmSharedOpen);
  const std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());

  size_t pos = 0;
  int line = 1;
  std::vector<std::string> cells;
  if (!ReadCsvRecord(input, pos, &line, cells)) throw UsageError{"standard input has no header row"};
  std::vector<const TDbfFieldDef*> columns;
  std::set<const TDbfFieldDef*> seen;
  for (const std::string& name : cells) {
    const TDbfFieldDef* field =
        table->FindField(ConvertCodePage(Trim(name), kUtf8CodePage, table->UseCodePage()));
    if (!field) BadInput(1, "the table has no field \"" + name + "\"");
    if (!seen.insert(field).second) BadInput(1, "field \"" + name + "\" is named twice");
    columns.push_back(field);
  }

  // Every row is checked and encoded before the first one is written.
  std::vector<Row> rows;
  for (;;) {
    const int row_line = line;
    if (!ReadCsvRecord(input, pos, &line, cells)) break;
    if (cells.size() == 1 && cells[0].empty() && pos >= input.size()) break;
    if (cells.size() != columns.size())
      BadInput(row_line, std::to_string(cells.size()) + " cells for " + std::to_string(columns.size()) + " fields");
    Row row;
    row.record.resize(size_t(table->RecordSize()));
    table->InitRecord(row.record.data());
    for (size_t i = 0; i < cells.size(); ++i) {
      if (cells[i].empty()) continue;  // the field stays empty (or at its default)
      try {
        PutCell(*table, *columns[i], cells[i], row_line, row);
      } catch (const EDbfError& e) {
        BadInput(row_line, AnsiToUtf8(e.Message()));
      }
    }
    rows.push_back(std::move(row));
  }

  // Memo values need the memo file; without it nothing is appended.
  for (const Row& row : rows)
    if (!row.memos.empty() && !table->MemoFileExists())
      throw EDbfError(Format(STRING_FILE_NOT_FOUND, {table->MemoFileName()}));
  TMemoFile* memo = table->MemoFile();
  size_t stored = 0;
  try {
    for (Row& row : rows) {
      for (const auto& [field, value] : row.memos) {
        int64_t block = 0;
        TStringStream stream(value);
        memo->WriteMemo(block, 0, stream);
        table->SetMemoBlock(*field, row.record.data(), block);
      }
      table->AppendRecord(row.record.data());
      ++stored;
    }
    Finish(*table);
  } catch (const Exception& e) {
    // A row that failed is rolled back whole: the user appends again from
    // the first row that is not in the table.
    std::fprintf(stderr, "dbftool: %s\n", AnsiToUtf8(e.Message()).c_str());
    std::fprintf(stderr, "dbftool: %zu of %zu rows were appended before the error", stored, rows.size());
    if (stored < rows.size()) std::fprintf(stderr, "; the rows from row %zu on were not", stored + 1);
    std::fprintf(stderr, "\n");
    return 1;
  }
  std::printf("appended: %zu\n", rows.size());
  return 0;
}

int RunDelete(const Args& args) { return SetDeletedFlag(args, true); }

int RunRecall(const Args& args) { return SetDeletedFlag(args, false); }

int RunPack(const Args& args) {
  if (args.size() != 1) throw UsageError{"expected one FILE"};
  auto table = OpenTable(args[0], pmSharedOpen);
  table->RebuildTableFile();
  Finish(*table);
  return 0;
}

}  // namespace dbftool

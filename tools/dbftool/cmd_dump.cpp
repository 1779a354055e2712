// dbftool dump: every record as UTF-8 CSV.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "dbf/dbf_str.h"
#include "toolkit/core/text.h"
#include "tools/common/csv.h"
#include "tools/dbftool/dbftool.h"

namespace dbftool {
namespace {

// Written whole: a value may hold a NUL (a memo), which must not end the row.
void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// A field's text; a damaged value is an error that names the record.
std::string RecordFieldText(const TDbfFile& table, const std::string& file, int64_t n, const TDbfFieldDef& field,
                            const uint8_t* record) {
  try {
    return FieldText(table, field, record);
  } catch (const Exception& e) {
    throw EDbfError(Utf8ToAnsi("Record " + std::to_string(n) + " of \"" + file + "\", field ") +
                    field.FieldName() + ": " + e.Message());
  }
}

}  // namespace

int RunDump(const Args& args) {
  std::string file;
  bool deleted = false;
  std::string filter_text;
  bool has_filter = false;
  std::string index;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--deleted") {
      deleted = true;
    } else if (a == "--filter" && i + 1 < args.size()) {
      has_filter = true;
      filter_text = args[++i];
    } else if (a == "--index" && i + 1 < args.size()) {
      index = args[++i];
    } else if (file.empty() && !a.starts_with("--")) {
      file = a;
    } else {
      throw UsageError{"unexpected argument \"" + a + "\""};
    }
  }
  if (file.empty()) throw UsageError{"expected a FILE"};
  auto table = OpenTable(file);
  const TDbfFieldDefs& defs = table->FieldDefs();
  const RecordFilter filter = has_filter ? MakeRecordFilter(*table, filter_text) : RecordFilter();
  // In a tag's order, or physical order.
  const std::vector<int64_t> order = index.empty() ? std::vector<int64_t>() : IndexOrder(*table, index);

  std::string line;
  if (deleted) line.append("DELETED");
  for (int i = 0; i < defs.Count(); ++i) {
    if (!line.empty() || i > 0) line += ',';
    line += CsvField(TableTextToUtf8(*table, defs.Items(i)->FieldName()));
  }
  PrintLine(line);

  const int64_t size = table->RecordSize();
  // The file's size is asked once a scan: others only append, so a record
  // below the count seen is there. A tag naming a record past it asks again.
  int64_t records = table->RecordCount();
  const int64_t count = index.empty() ? records : int64_t(order.size());
  // In physical order the records are read many at a time (one call a
  // block); in a tag's order one at a time.
  constexpr int64_t kBlockBytes = 64 * 1024;
  std::vector<uint8_t> block(size_t(std::max(size, std::min(kBlockBytes, size * std::max<int64_t>(count, 1)))));
  int64_t block_first = 0, block_records = 0;
  for (int64_t i = 1; i <= count; ++i) {
    const int64_t n = index.empty() ? i : order[size_t(i - 1)];
    // A dump that stops early with success would pass for the whole table.
    if (n < 1 || (n > records && n > (records = table->RecordCount())))
      throw EDbfError(Utf8ToAnsi("The index \"" + index + "\" of \"" + file + "\" names record " +
                                 std::to_string(n) + ", which the table does not have (it has " +
                                 std::to_string(table->RecordCount()) + " records)."));
    if (n < block_first || n >= block_first + block_records) {
      const int64_t want = index.empty() ? std::min<int64_t>(int64_t(block.size()) / size, count - n + 1) : 1;
      block_first = n;
      block_records = table->ReadBlock(block.data(), want * size, table->RecordOffset(n)) / size;
    }
    if (n >= block_first + block_records)
      throw EDbfError(Utf8ToAnsi("Record " + std::to_string(n) + " of \"" + file + "\" cannot be read."));
    const uint8_t* record = block.data() + (n - block_first) * size;
    const bool is_deleted = record[0] == '*';
    if (is_deleted && !deleted) continue;
    if (filter && !filter(record)) continue;
    line.clear();
    if (is_deleted) line.push_back('*');
    for (int i = 0; i < defs.Count(); ++i) {
      if (deleted || i > 0) line += ',';
      line += CsvField(RecordFieldText(*table, file, n, *defs.Items(i), record));
    }
    PrintLine(line);
  }
  return 0;
}

}  // namespace dbftool

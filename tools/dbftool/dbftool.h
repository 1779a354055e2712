// Shared helpers of dbftool's subcommands.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_dbffile.h"

namespace dbftool {

// The arguments after the subcommand's name.
using Args = std::vector<std::string>;

// One subcommand: its name, a usage line and the code that runs it (returns
// the exit status; engine errors are caught and reported by the caller).
struct Command {
  const char* name;
  const char* usage;
  int (*run)(const Args& args);
};

// Raised for a wrong command line; main prints it with the usage.
struct UsageError {
  std::string message;
};

// Opens a table (read-only unless said otherwise) and reads its header
// (engine errors propagate).
std::unique_ptr<TDbfFile> OpenTable(const std::string& file_name, TPageFileMode mode = pmReadOnly);
// Opens a table for changes (shared with other processes as the program
// shares it, unless said otherwise) together with its production index,
// whose tags then follow every row written as they do in the program.
std::unique_ptr<TDbfFile> OpenTableForChanges(const std::string& file_name, TPageFileMode mode = pmSharedOpen);
// Text of the table (in its code page) as UTF-8.
std::string TableTextToUtf8(const TDbfFile& table, const std::string& text);
// One field of a record as the text a reader would show ("" for null).
std::string FieldText(const TDbfFile& table, const TDbfFieldDef& field, const uint8_t* record);

int RunInfo(const Args& args);
int RunDump(const Args& args);
int RunCreate(const Args& args);
int RunCreateMeasurement(const Args& args);
int RunEval(const Args& args);
int RunAppend(const Args& args);
int RunDelete(const Args& args);
int RunRecall(const Args& args);
int RunPack(const Args& args);
int RunIndex(const Args& args);
int RunCheck(const Args& args);

// The record numbers in the order of a tag of the table's production index,
// or of a separate index file when the name has an extension.
std::vector<int64_t> IndexOrder(TDbfFile& table, const std::string& index);

// Whether a record image passes a filter.
using RecordFilter = std::function<bool(const uint8_t* record)>;
// Compiles a filter expression (UTF-8) over the table's fields as the table
// component would; a text that is not a condition is a usage error.
RecordFilter MakeRecordFilter(TDbfFile& table, const std::string& expression);

}  // namespace dbftool

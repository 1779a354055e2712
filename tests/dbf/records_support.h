// Small tables for the record-operation tests, made through the engine.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dbf/dbf_dbffile.h"

namespace records_support {

struct FieldSpec {
  const char* name;
  char letter;
  int size;
  int decimals;
};

// Writes a new empty table and closes it.
inline void CreateTable(const std::string& file, int version, const std::vector<FieldSpec>& fields,
                        int memo_block_size = 512) {
  TDbfFieldDefs defs;
  defs.SetDbfVersion(version);
  for (const FieldSpec& f : fields) defs.AddFieldDef()->SetFromDescriptor(f.name, f.letter, f.size, f.decimals);
  TDbfFile table;
  table.SetFileName(file);
  table.SetMode(pmExclusiveCreate);
  table.SetDbfVersion(version);
  table.OpenAndReadHeader();
  table.WriteNewHeader(defs, memo_block_size);
  table.CloseAll();
}

inline std::unique_ptr<TDbfFile> OpenTable(const std::string& file, TPageFileMode mode = pmExclusiveOpen) {
  auto table = std::make_unique<TDbfFile>();
  table->SetFileName(file);
  table->SetMode(mode);
  table->OpenAndReadHeader();
  return table;
}

// Stores the header as a closing table component does, then closes.
inline void CloseTable(TDbfFile& table) {
  table.StoreHeader();
  table.CloseAll();
}

// A new record image with text values for the named 'C' fields.
inline std::vector<uint8_t> Record(const TDbfFile& table,
                                   const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<uint8_t> record(size_t(table.RecordSize()));
  table.InitRecord(record.data());
  for (const auto& [name, value] : values) {
    const TDbfFieldDef* field = table.FindField(name);
    if (field) table.EncodeField(*field, ftString, record.data(), value.c_str());
  }
  return record;
}

// The text of a 'C' field of an image, without trailing blanks.
inline std::string Text(const TDbfFile& table, const std::vector<uint8_t>& record, const std::string& name) {
  const TDbfFieldDef* field = table.FindField(name);
  std::string text(size_t(field->Size()) + 1, '\0');
  table.DecodeField(*field, ftString, text.data(), record.data());
  text.resize(std::strlen(text.c_str()));
  return text;
}

// Runs body in a child process and gives back its exit status (-1 when it
// did not exit normally). The child never returns into the test.
inline int InChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int code = 99;
    try {
      code = body();
    } catch (...) {
      code = 98;
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace records_support

// Helpers of the table component's tests: small tables written byte by byte
// and the rows a TDbf delivers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "tests/dbf/dbf_fixtures.h"
#include "tests/support/testsupport.h"

namespace table_support {

// N N 4.0, NAME C 8, KIND N 2.0: records of 15 bytes.
inline const std::vector<dbf_fixtures::RawField> kFields = {{"N", 'N', 4, 0}, {"NAME", 'C', 8, 0}, {"KIND", 'N', 2, 0}};

// One record of kFields; deleted marks it with '*'.
inline std::string Rec(int n, const std::string& name, int kind, bool deleted = false) {
  char text[32];
  std::snprintf(text, sizeof text, "%c%4d%-8s%2d", deleted ? '*' : ' ', n, name.substr(0, 8).c_str(), kind);
  return text;
}

// Writes a dBASE IV table of kFields with language id 0xC9 (1251).
inline std::string WriteTable(const std::string& dir, const std::vector<std::string>& records,
                              const std::string& name = "t.dbf", uint8_t language = 0xC9) {
  const std::string file = dir + "/" + name;
  testsupport::WriteFile(file, dbf_fixtures::RawTable(0x03, language, kFields, records));
  return file;
}

// A closed table component on a file.
inline std::unique_ptr<TDbf> Table(const std::string& file) {
  auto t = std::make_unique<TDbf>(nullptr);
  t->SetTableName(file);
  return t;
}

// The values of one field in the order the set delivers them, from the first row.
using Names = std::vector<std::string>;
inline Names Column(TDbf& t, const char* field = "NAME") {
  std::vector<std::string> out;
  for (t.GoFirst(); !t.Eof(); t.GoNext()) out.push_back(t.FieldNamed(field)->GetStringValue());
  return out;
}

}  // namespace table_support

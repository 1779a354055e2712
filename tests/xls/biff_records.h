// Walks the records of a Workbook stream for the writer's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "xls/vteExcel.h"
#include "xls/vteWriters.h"

namespace xlstest {

struct Record {
  uint16_t id = 0;
  size_t pos = 0;  // stream position of the record header
  std::string data;
  uint16_t u16(size_t at) const { return GetLE16(data.data() + at); }
  uint32_t u32(size_t at) const { return GetLE32(data.data() + at); }
};

// Every record of the stream, in order; fails the test on a truncated record.
inline std::vector<Record> Records(const std::string& stream) {
  std::vector<Record> out;
  size_t pos = 0;
  while (pos + 4 <= stream.size()) {
    Record r;
    r.id = GetLE16(stream.data() + pos);
    const uint16_t len = GetLE16(stream.data() + pos + 2);
    r.pos = pos;
    if (pos + 4 + len > stream.size()) throw std::runtime_error("truncated record");
    r.data = stream.substr(pos + 4, len);
    out.push_back(std::move(r));
    pos += 4 + len;
  }
  if (pos != stream.size()) throw std::runtime_error("trailing bytes");
  return out;
}

// The Workbook stream the writer makes of the workbook.
inline std::string Stream(TvteXLSWorkbook& book) {
  TvteExcelWriter writer;
  TMemoryStream ms;
  writer.WriteWorkbook(book, ms);
  return std::string(ms.Memory(), static_cast<size_t>(ms.Size()));
}

// The records of sheet `index`'s substream (BOF to EOF).
inline std::vector<Record> SheetRecords(const std::vector<Record>& all, int index) {
  std::vector<Record> out;
  int sheet = -1;
  bool inside = false;
  for (const auto& r : all) {
    if (r.id == 0x0809 && r.u16(2) == 0x0010) {
      ++sheet;
      inside = sheet == index;
    }
    if (inside) out.push_back(r);
    if (inside && r.id == 0x000A) break;
  }
  return out;
}

inline std::vector<Record> Only(const std::vector<Record>& all, uint16_t id) {
  std::vector<Record> out;
  for (const auto& r : all)
    if (r.id == id) out.push_back(r);
  return out;
}

}  // namespace xlstest

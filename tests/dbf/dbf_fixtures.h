// Raw table files for the engine's tests: written byte by byte here, so that
// the reader is checked against the format and not against our own writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/core/binary.h"

namespace dbf_fixtures {

struct RawField {
  std::string name;
  char letter;
  int length;
  int decimals;
};

// A level 3/4/FoxPro table: 32-byte header, 32-byte descriptors, terminator,
// then the records (each already including its deletion flag) and the end mark.
inline std::string RawTable(uint8_t version, uint8_t language, const std::vector<RawField>& fields,
                            const std::vector<std::string>& records = {}, int extra_header = 0) {
  int record_size = 1;
  for (const auto& f : fields) record_size += f.length;
  const int header_size = 32 + 32 * int(fields.size()) + 1 + extra_header;
  std::string h(size_t(header_size), '\0');
  h[0] = char(version);
  h[1] = char(124);
  h[2] = 1;
  h[3] = 2;
  PutLE32(h.data() + 4, uint32_t(records.size()));
  PutLE16(h.data() + 8, uint16_t(header_size));
  PutLE16(h.data() + 10, uint16_t(record_size));
  h[29] = char(language);
  for (size_t i = 0; i < fields.size(); ++i) {
    char* d = h.data() + 32 + 32 * i;
    fields[i].name.copy(d, 11);
    d[11] = fields[i].letter;
    d[16] = char(fields[i].length & 0xFF);
    d[17] = char(fields[i].letter == 'C' ? fields[i].length >> 8 : fields[i].decimals);
  }
  h[size_t(32 + 32 * fields.size())] = 0x0D;
  for (const auto& r : records) h += r;
  h += '\x1A';
  return h;
}

}  // namespace dbf_fixtures

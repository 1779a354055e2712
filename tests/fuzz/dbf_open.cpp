// fuzz-deps: kiv7_dbf
// Feeds damaged table files to the open path: header, language, descriptors
// and the dBase 7 properties block, then reads and decodes every record.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"

namespace {

// Seeds the generator with sound headers of each level now and then, so that
// mutations reach past the first checks.
std::string Seed(uint8_t selector) {
  std::string h(32 + 48 * 2 + 1 + 40, '\0');
  const bool dbase7 = selector % 3 == 0;
  h[0] = dbase7 ? 4 : (selector % 3 == 1 ? 3 : 0x30);
  const int fixed = dbase7 ? 68 : 32, desc = dbase7 ? 48 : 32;
  if (dbase7) h.resize(size_t(fixed + 2 * desc + 1 + 40), '\0');
  PutLE16(h.data() + 8, uint16_t(fixed + 2 * desc + 1 + 24));
  PutLE16(h.data() + 10, 1 + 5 + 8);
  h[29] = char(0xC9);
  h[size_t(fixed)] = 'A';
  h[size_t(fixed + (dbase7 ? 32 : 11))] = 'C';
  h[size_t(fixed + (dbase7 ? 33 : 16))] = 5;
  h[size_t(fixed + desc)] = 'B';
  h[size_t(fixed + desc + (dbase7 ? 32 : 11))] = dbase7 ? '@' : 'T';
  h[size_t(fixed + desc + (dbase7 ? 33 : 16))] = 8;
  h[size_t(fixed + 2 * desc)] = 0x0D;
  h += std::string(" hello") + std::string(8, '\x01') + "\x1A";
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 2 && (data[0] & 0x0F) == 0x0F) {
    // Overlay the input on a sound table instead of using it raw.
    std::string seed = Seed(data[1]);
    for (size_t i = 2; i + 1 < size; i += 2) seed[data[i] % seed.size()] = char(data[i + 1]);
    bytes = seed;
  }
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  TDbfFile table;
  table.SetStream(&stream);
  table.SetMode(pmMemoryOpen);
  try {
    table.OpenAndReadHeader();
    if (table.OpenAborted()) return 0;
    std::vector<uint8_t> record(size_t(table.RecordSize()) + 1);
    std::vector<uint8_t> dest(size_t(table.RecordSize()) + 16);
    const int64_t count = std::min<int64_t>(table.RecordCount(), 64);
    for (int64_t n = 1; n <= count; ++n) {
      if (table.ReadRecordAt(n, record.data()) != table.RecordSize()) break;
      for (int i = 0; i < table.FieldDefs().Count(); ++i) {
        const TDbfFieldDef& field = *table.FieldDefs().Items(i);
        for (TFieldType type : {field.FieldType(), ftString, ftFloat}) {
          try {
            table.DecodeField(field, type, dest.data(), record.data());
          } catch (const ERangeError&) {
          }
        }
      }
    }
  } catch (const EDbfError&) {
  }
  return 0;
}

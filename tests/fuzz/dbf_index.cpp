// fuzz-deps: kiv7_dbf
// Feeds damaged index files (both formats) to the open path, then walks,
// searches and changes the tree: every failure must be the engine's error.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_idxfile.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"

namespace {

// A table in memory with one character field K of 6 bytes and no records.
TDbfFile& Table() {
  static TMemoryStream* stream = new TMemoryStream();
  static TDbfFile* table = [] {
    auto* t = new TDbfFile();
    TDbfFieldDefs defs;
    defs.SetDbfVersion(kDbfVersionDBase4);
    defs.AddFieldDef()->SetFromDescriptor("K", 'C', 6, 0);
    t->SetStream(stream);
    t->SetMode(pmMemoryCreate);
    t->OpenAndReadHeader();
    t->WriteNewHeader(defs, 512);
    return t;
  }();
  return *table;
}

// A sound index of the format with a two-level tree, made once.
const std::string& Sound(bool mdx) {
  static std::string files[2];
  std::string& bytes = files[mdx ? 1 : 0];
  if (!bytes.empty()) return bytes;
  TMemoryStream stream;
  {
    TIndexFile index(&Table());
    index.SetFileName(mdx ? "t.mdx" : "t.ndx");
    index.SetStream(&stream);
    index.SetMode(pmMemoryCreate);
    index.OpenIndexFile();
    index.CreateTag("K", "k", {});
    uint8_t key[6];
    for (int i = 0; i < 90; ++i) {
      const std::string text = std::to_string(100000 + i * 7 % 90);
      std::copy(text.begin(), text.begin() + 6, key);
      index.InsertKey(i + 1, key);
    }
    index.CloseIndexFile();
  }
  bytes.resize(size_t(stream.Size()));
  stream.Seek(0, soFromBeginning);
  stream.ReadBuffer(bytes.data(), int64_t(bytes.size()));
  return bytes;
}

}  // namespace

// Input: byte 0 chooses the format (bit 0: ".mdx") and whether the rest is
// the index file itself (bits 1-3 clear, as the seed corpus's files are) or
// changes laid over a sound one; the rest follows.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool mdx = (data[0] & 1) != 0;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (size > 2 && (data[0] & 0x0E) != 0) {
    // Overlay the input on a sound file instead of using it raw.
    bytes = Sound(mdx);
    for (size_t i = 1; i + 2 < std::min<size_t>(size, 13); i += 3) bytes[(data[i] | data[i + 1] << 8) * 7 % bytes.size()] = char(data[i + 2]);
    if ((data[0] & 0x30) == 0x30) bytes.resize(bytes.size() * data[size - 1] / 256);
  }
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  TIndexFile index(&Table());
  index.SetFileName(mdx ? "t.mdx" : "t.ndx");
  index.SetStream(&stream);
  index.SetMode(pmMemoryOpen);
  try {
    index.OpenIndexFile();
    for (int tag = 0; tag < std::min(index.TagCount(), 3); ++tag) {
      index.SelectTag(tag);
      int steps = 0;
      index.GotoBof();
      while (index.Next() && ++steps < 300) {
      }
      index.GotoEof();
      while (index.Prev() && ++steps < 600) {
      }
      if (index.KeyType() != 'C' || index.KeyLength() != 6) continue;
      const uint8_t key[6] = {'1', '0', '0', '0', '4', '2'};
      index.SearchKey(key, stGreaterEqual);
      for (int i = 0; i < 70; ++i) index.InsertKey(200 + i, key);
      index.DeleteKey(200, key);
      index.GotoSequenceNumber(40);
      index.SequenceNumber();
    }
    index.CloseIndexFile();
  } catch (const EDbfError&) {
  }
  return 0;
}

// fuzz-deps: kiv7_dbf
// Feeds damaged memo files of every layout (dBase III, IV and 7 ".dbt",
// FoxPro ".fpt") to the open and read paths, then writes a value over an old
// one and as a new one: every failure must be the engine's error, and a value
// the engine says it wrote reads back as written.
//
// Input: byte 0 chooses the layout, byte 1 a block to read first; the rest
// is the memo file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dbf/dbf_str.h"
#include "dbf/dbf_fields.h"
#include "dbf/dbf_memo.h"
#include "toolkit/core/classes.h"

namespace {

constexpr int kVersions[] = {kDbfVersionDBase3, kDbfVersionDBase4, kDbfVersionDBase7, kDbfVersionFoxPro};

std::string Read(TMemoFile& memo, int64_t block) {
  TStringStream value("");
  memo.ReadMemo(block, value);
  return value.DataString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int version = kVersions[data[0] % 4];
  const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  auto memo = NewMemoFile(version);
  memo->SetStream(&stream);
  memo->SetMode(pmMemoryOpen);
  try {
    memo->OpenMemoFile();
    for (int64_t block : {int64_t(data[1]), int64_t(1), int64_t(2), int64_t(3)}) {
      try {
        Read(*memo, block);
      } catch (const EDbfError&) {
      }
    }
    // A header whose next free block lies far past the file would make the
    // writes below grow the stream by that much: not a memo fault.
    if (memo->BlockSize() <= 0 || memo->NextFreeBlock() > int64_t(bytes.size()) / memo->BlockSize() + 64) return 0;
    const std::string value(size_t(data[1]) * 7 + 1, char('a' + data[1] % 26));
    int64_t over = 1;
    int64_t fresh = 0;
    for (int64_t* block : {&over, &fresh}) {
      TStringStream in(value);
      try {
        memo->WriteMemo(*block, block == &over ? 16 : 0, in);
      } catch (const EDbfError&) {
        continue;
      }
      if (Read(*memo, *block) != value) std::abort();
    }
    memo->CloseMemoFile();
  } catch (const EDbfError&) {
  }
  return 0;
}

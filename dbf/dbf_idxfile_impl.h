// The private part of TIndexFile shared by its units (dbf_idxfile*.cpp):
// the format's limits and the nested types several units use. Included
// only by those units.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "dbf/dbf_idxfile.h"
#include "dbf/dbf_parser.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

namespace {

constexpr int kPageSize = 512;
constexpr int kMdxHeaderSize = 2048;
constexpr int kNdxHeaderSize = 512;
constexpr int kMaxTags = 47;
constexpr int kMaxKeyLength = 100;
constexpr int kMaxExpressionLength = 219;
// Deeper trees would need more keys than a 32-bit record number can count.
constexpr int kMaxDepth = 32;
constexpr int64_t kMaxPage = 0x7FFFFF00;
constexpr int64_t kMaxUnwrittenPages = 4096;
// Bytes of a text key's collation key a build sorts by: enough to tell
// apart most keys by their first dozen characters or so.
constexpr size_t kCollationPrefixLength = 24;
constexpr int64_t kWeightCap = int64_t(1) << 40;

inline int RoundUp4(int n) { return (n + 3) & ~3; }

inline bool IsMultiByteCodePage(unsigned cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 65001; }

// The ANSI code page of a locale (the platform's default-ANSI-code-page
// information), by its primary language.
inline unsigned LocaleAnsiCodePage(uint32_t lcid) {
  const uint32_t lang = lcid & 0x3FF;
  const uint32_t id = lcid & 0xFFFF;
  switch (lang) {
    case 0x19: case 0x22: case 0x23: case 0x02: case 0x2F: case 0x3F: case 0x44: case 0x50: return 1251;
    case 0x1A: return id == 0x0C1A || id == 0x1C1A ? 1251 : 1250;
    case 0x43: return id == 0x0843 ? 1251 : 1254;
    case 0x2C: return id == 0x082C ? 1251 : 1254;
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x1C: case 0x24: return 1250;
    case 0x08: return 1253;
    case 0x1F: return 1254;
    case 0x0D: return 1255;
    case 0x01: case 0x29: case 0x20: return 1256;
    case 0x25: case 0x26: case 0x27: return 1257;
    case 0x2A: return 1258;
    case 0x1E: return 874;
    case 0x11: return 932;
    case 0x12: return 949;
    case 0x04: return id == 0x0404 || id == 0x0C04 || id == 0x1404 ? 950 : 936;
    case 0x37: return GetACP();  // no ANSI code page of its own
    default: return 1252;
  }
}

}  // namespace

struct TIndexFile::Tag {
  int64_t header_page = 0;      // MDX: page of the tag header node
  std::vector<uint8_t> header;  // MDX: the tag header node (NDX uses the file header)
  bool header_modified = false;
  std::unique_ptr<TDbfParser> parser;
  std::unique_ptr<TIndexPage> root;
  char key_type = 0;
  int key_length = 0, entry_length = 0, max_keys = 0;
  bool descending = false;
  int unique = 0;
  bool range = false;
  std::vector<uint8_t> range_low, range_high;
};

// Nodes of a build held in memory. A build inserts its keys one by one, in
// record order, so nearly every key visits another leaf: without the cache
// each key would cost a read and a write of a node and questions about the
// file's size. Nobody else has the file meanwhile (exclusive modes only), so
// what the file will hold is what the cache holds; at the end each node is
// written at its own offset and the file gets the bytes it always got.
struct TIndexFile::NodeCache {
  struct Node {
    std::vector<uint8_t> bytes;
    bool dirty = false;
  };
  // A bound on the memory of a very large build: past it the nodes are
  // written and the cache starts again empty.
  static constexpr size_t kLimitBytes = kBuildMemoryBytes;
  std::unordered_map<int64_t, Node> nodes;  // by page
  size_t bytes = 0;
  int64_t file_size = 0;  // the size the file has once the cache is written
  int64_t disk_size = 0;  // the bytes that are in the file now
};

// The bytes a change wrote over: each page as it was before the change's
// first write to it, and the file's size.
struct TIndexFile::Journal {
  int64_t size = 0;
  std::map<int64_t, std::vector<uint8_t>> pages;
};

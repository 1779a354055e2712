// Tables with index files for the index tests, and an independent walk of
// the B-tree that reads the file's bytes by the layout alone (no engine
// code), so the tests see what another reader of the file would see.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_idxfile.h"
#include "records_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/binary.h"

namespace index_support {

using records_support::FieldSpec;

// A table file (level 4, language 0xC9 unless byte_order) with the fields.
// byte_order clears the language byte, which selects byte-order collation.
inline std::string MakeTable(const std::string& dir, const std::vector<FieldSpec>& fields, bool byte_order = false) {
  const std::string file = dir + "/t.dbf";
  records_support::CreateTable(file, kDbfVersionDBase4, fields);
  if (byte_order) {
    std::string bytes = testsupport::ReadFile(file);
    bytes[29] = 0;
    testsupport::WriteFile(file, bytes);
  }
  return file;
}

// A table opened exclusively with one index file of the given name beside it
// (created), owned by the table and maintained by its record operations.
struct Indexed {
  std::unique_ptr<TDbfFile> table;
  TIndexFile* index = nullptr;

  Indexed(const std::string& table_file, const std::string& index_name, TPageFileMode mode = pmExclusiveCreate) {
    table = records_support::OpenTable(table_file);
    auto file = std::make_unique<TIndexFile>(table.get());
    file->SetFileName(ChangeFileExtOf(table_file, index_name));
    file->SetMode(mode);
    file->OpenIndexFile();
    index = file.get();
    table->AddIndexFile(std::move(file));
  }
  static std::string ChangeFileExtOf(const std::string& table_file, const std::string& name) {
    return table_file.substr(0, table_file.rfind('/') + 1) + name;
  }
  // Appends a record whose named 'C' fields hold the texts; numeric fields through their text.
  void Append(const std::vector<std::pair<std::string, std::string>>& values) {
    std::vector<uint8_t> record = records_support::Record(*table, {});
    for (const auto& [name, value] : values) {
      const TDbfFieldDef* field = table->FindField(name);
      if (field->NativeFieldType() == 'C') {
        table->EncodeField(*field, ftString, record.data(), value.c_str());
      } else {
        const double d = std::stod(value);
        table->EncodeField(*field, ftFloat, record.data(), &d);
      }
    }
    table->AppendRecord(record.data());
  }
  // Record numbers in the cursor's order from first to last.
  std::vector<int64_t> Order() {
    std::vector<int64_t> order;
    index->GotoBof();
    while (index->Next()) order.push_back(index->CurrentRecNo());
    return order;
  }
  void Close() {
    index->FlushPages();
    records_support::CloseTable(*table);
  }
};

// What an independent walk of one tag found.
struct TreeWalk {
  std::vector<std::pair<std::string, uint32_t>> entries;  // leaf order
  int depth = 0;                                          // levels including the root
  std::string fault;                                      // empty when sound
  int nodes = 0;
  int fewest_interior_keys = -1;  // the fewest keys of an interior node (-1: none)
};

// Walks the tree of the tag whose header is at header_offset (NDX: 0) by
// the layout: counts within the node, leaves all at one depth, every
// separator equal to the last key of the subtree it leads to.
inline TreeWalk WalkTree(const std::string& bytes, bool mdx, int64_t header_offset) {
  TreeWalk walk;
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* th = b + header_offset;
  const int key_length = GetLE16(th + 12), entry_length = GetLE16(th + 18), max_keys = GetLE16(th + 14);
  const int node_size = mdx ? 1024 : 512, node_header = mdx ? 8 : 4, key_offset = mdx ? 4 : 8;
  int leaf_depth = -1;
  // Returns the last key of the subtree.
  std::function<std::string(int64_t, int)> walk_node = [&](int64_t page, int depth) -> std::string {
    if (!walk.fault.empty()) return {};
    if (page * 512 + node_size > int64_t(bytes.size()) || depth > 40) {
      walk.fault = "page outside the file";
      return {};
    }
    ++walk.nodes;
    const uint8_t* node = b + page * 512;
    const int count = int(GetLE32(node));
    if (count > max_keys) {
      walk.fault = "count above the maximum";
      return {};
    }
    const auto entry = [&](int i) { return node + node_header + i * entry_length; };
    const bool interior = mdx ? count < max_keys && GetLE32(entry(count)) != 0 : GetLE32(entry(0)) != 0;
    if (!interior) {
      if (leaf_depth < 0) leaf_depth = depth;
      if (leaf_depth != depth) walk.fault = "leaves at different depths";
      for (int i = 0; i < count; ++i)
        walk.entries.emplace_back(std::string(reinterpret_cast<const char*>(entry(i) + key_offset), size_t(key_length)),
                                  GetLE32(entry(i) + (mdx ? 0 : 4)));
      return count > 0 ? std::string(reinterpret_cast<const char*>(entry(count - 1) + key_offset), size_t(key_length))
                       : std::string();
    }
    if (walk.fewest_interior_keys < 0 || count < walk.fewest_interior_keys) walk.fewest_interior_keys = count;
    std::string last;
    for (int i = 0; i <= count; ++i) {
      last = walk_node(GetLE32(entry(i)), depth + 1);
      if (i < count && last != std::string(reinterpret_cast<const char*>(entry(i) + key_offset), size_t(key_length)))
        walk.fault = "separator differs from the last key of its child";
    }
    return last;
  };
  walk_node(GetLE32(th), 1);
  walk.depth = leaf_depth;
  return walk;
}

// The tag header offset of MDX tag i (from the tag table).
inline int64_t MdxTagHeaderOffset(const std::string& bytes, int i) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  return int64_t(GetLE32(b + 544 + 32 * i)) * 512;
}

}  // namespace index_support

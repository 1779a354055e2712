// TIndexCursor: walks a table in the key order of an index file's current
// tag. Positions are the index's own: before the first entry, on an entry,
// after the last; the physical record number is that of the current entry.
#pragma once

#include <cstdint>
#include <vector>

#include "dbf/dbf_cursor.h"

class TIndexFile;
class Variant;

class TIndexCursor : public TVirtualCursor {
 public:
  // The index file whose current tag the cursor walks; borrowed.
  explicit TIndexCursor(TIndexFile* index_file);

  // The record of the current entry; -1 before the first or after the last.
  int64_t PhysicalRecNo() const override;
  // Position estimates (for scroll bars), not exact ranks.
  int64_t SequentialRecNo() const override;
  int64_t SequentialRecordCount() override;
  // Positions on record n's entry.
  void SetPhysicalRecNo(int64_t n) override;
  void SetSequentialRecNo(int64_t n) override;
  // One entry on / back; false at the end, where the cursor stays after
  // the last / before the first entry.
  bool Next() override;
  bool Prev() override;
  // Before the first entry / after the last.
  void First() override;
  void Last() override;

  // A value given by the application as a key of the current tag: a number
  // for numeric tags, a text cut or blank-padded to the key length.
  std::vector<uint8_t> ValueToKey(const Variant& value) const;

  TIndexFile* IndexFile() const { return index_file_; }

 private:
  TIndexFile* index_file_;
};

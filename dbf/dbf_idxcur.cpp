#include "dbf/dbf_idxcur.h"

#include <algorithm>
#include <vector>

#include "dbf/dbf_idxfile.h"
#include "toolkit/core/variant.h"

TIndexCursor::TIndexCursor(TIndexFile* index_file) : TVirtualCursor(index_file), index_file_(index_file) {}

int64_t TIndexCursor::PhysicalRecNo() const { return index_file_->CurrentRecNo(); }

int64_t TIndexCursor::SequentialRecNo() const { return index_file_->SequenceNumber(); }

int64_t TIndexCursor::SequentialRecordCount() { return index_file_->EstimatedCount(); }

void TIndexCursor::SetPhysicalRecNo(int64_t n) { index_file_->GotoRecord(n); }

void TIndexCursor::SetSequentialRecNo(int64_t n) { index_file_->GotoSequenceNumber(n); }

namespace {

// In shared mode a step begins where a search finds the current entry
// again; in a file whose keys are not in the order the table's collation
// gives, that search can land on an entry already passed, and the walk
// would go round for ever. A step that goes back in key order (forward
// < 0, backward > 0) is damage.
bool Step(TIndexFile& index, bool forward) {
  index.Resync(true);
  const int64_t start = index.CurrentRecNo();
  std::vector<uint8_t> from;
  if (const uint8_t* key = index.NeedLocks() ? index.CurrentKey() : nullptr) from.assign(key, key + index.KeyLength());
  bool moved = forward ? index.Next() : index.Prev();
  while (moved && start > 0 && index.CurrentRecNo() == start) moved = forward ? index.Next() : index.Prev();
  if (moved && !from.empty()) {
    const int order = index.CompareKeys(index.CurrentKey(), from.data());
    if (forward ? order < 0 : order > 0) index.Corrupt();
  }
  return moved;
}

}  // namespace

bool TIndexCursor::Next() { return Step(*index_file_, true); }

bool TIndexCursor::Prev() { return Step(*index_file_, false); }

void TIndexCursor::First() {
  index_file_->Resync(false);
  index_file_->GotoBof();
}

void TIndexCursor::Last() {
  index_file_->Resync(false);
  index_file_->GotoEof();
}

std::vector<uint8_t> TIndexCursor::ValueToKey(const Variant& value) const {
  std::vector<uint8_t> key(size_t(std::max(1, index_file_->KeyLength())), 0);
  if (index_file_->KeyType() == 'N')
    index_file_->NumberToKey(value.AsDouble(), key.data());
  else
    index_file_->TextToKey(value.AsString(), key.data());
  key.resize(size_t(index_file_->KeyLength()));
  return key;
}

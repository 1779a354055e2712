#include "dbf/dbf_idxcur.h"

#include <algorithm>

#include "dbf/dbf_idxfile.h"
#include "toolkit/core/variant.h"

TIndexCursor::TIndexCursor(TIndexFile* index_file) : TVirtualCursor(index_file), index_file_(index_file) {}

int64_t TIndexCursor::PhysicalRecNo() const { return index_file_->CurrentRecNo(); }

int64_t TIndexCursor::SequentialRecNo() const { return index_file_->SequenceNumber(); }

int64_t TIndexCursor::SequentialRecordCount() { return index_file_->EstimatedCount(); }

void TIndexCursor::SetPhysicalRecNo(int64_t n) { index_file_->GotoRecord(n); }

void TIndexCursor::SetSequentialRecNo(int64_t n) { index_file_->GotoSequenceNumber(n); }

bool TIndexCursor::Next() {
  index_file_->Resync(true);
  const int64_t start = index_file_->CurrentRecNo();
  bool moved = index_file_->Next();
  while (moved && start > 0 && index_file_->CurrentRecNo() == start) moved = index_file_->Next();
  return moved;
}

bool TIndexCursor::Prev() {
  index_file_->Resync(true);
  const int64_t start = index_file_->CurrentRecNo();
  bool moved = index_file_->Prev();
  while (moved && start > 0 && index_file_->CurrentRecNo() == start) moved = index_file_->Prev();
  return moved;
}

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

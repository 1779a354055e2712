#include "dbf/dbf_cursor.h"

#include "dbf/dbf_pgfile.h"

int64_t TDbfCursor::SequentialRecordCount() { return File()->RecordCount(); }

bool TDbfCursor::Next() {
  if (File()->RecordExists(recno_)) {
    ++recno_;
    return File()->RecordExists(recno_);
  }
  recno_ = File()->RecordCount() + 1;
  return false;
}

bool TDbfCursor::Prev() {
  if (recno_ < 1) {
    recno_ = 0;
  } else {
    --recno_;
  }
  return recno_ > 0;
}

void TDbfCursor::Last() {
  const int64_t count = File()->RecordCount();
  recno_ = count > 0 ? count + 1 : 0;
}

// Record cursors: a position in a paged file and the steps between its
// records. TDbfCursor walks a table in physical order; the index cursor
// (with the index files) walks an index in key order.
#pragma once

#include <cstdint>

class TPagedFile;

// A cursor over a file; it borrows the file, which outlives it.
class TVirtualCursor {
 public:
  explicit TVirtualCursor(TPagedFile* file) : file_(file) {}
  virtual ~TVirtualCursor() = default;
  TVirtualCursor(const TVirtualCursor&) = delete;
  TVirtualCursor& operator=(const TVirtualCursor&) = delete;

  // The physical record number of the position (0 = before the first).
  virtual int64_t PhysicalRecNo() const = 0;
  // The position's number in the cursor's own order.
  virtual int64_t SequentialRecNo() const = 0;
  // The number of records the cursor walks.
  virtual int64_t SequentialRecordCount() = 0;
  virtual void SetPhysicalRecNo(int64_t n) = 0;
  virtual void SetSequentialRecNo(int64_t n) = 0;
  // Steps forward or back; true when a record is there.
  virtual bool Next() = 0;
  virtual bool Prev() = 0;
  // Before the first record / after the last.
  virtual void First() = 0;
  virtual void Last() = 0;

  TPagedFile* File() const { return file_; }

 private:
  TPagedFile* file_;
};

// Physical order: the position is the record number itself.
class TDbfCursor : public TVirtualCursor {
 public:
  explicit TDbfCursor(TPagedFile* file) : TVirtualCursor(file) {}

  int64_t PhysicalRecNo() const override { return recno_; }
  int64_t SequentialRecNo() const override { return recno_; }
  int64_t SequentialRecordCount() override;
  void SetPhysicalRecNo(int64_t n) override { recno_ = n; }
  void SetSequentialRecNo(int64_t n) override { recno_ = n; }
  // From a record that exists, the next number; from anywhere else (a
  // record that has gone with a shorter file), just past the last.
  bool Next() override;
  bool Prev() override;
  void First() override { recno_ = 0; }
  // Just past the last record; 0 for an empty table.
  void Last() override;

 private:
  int64_t recno_ = 0;
};

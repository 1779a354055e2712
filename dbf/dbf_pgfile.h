// TPagedFile: the base of every file the table engine touches (table, index
// and memo files). A file is an optional header block followed by records of
// a fixed size, called pages where a record spans several smaller pages.
//
// Sharing between processes rests on two kinds of locks, both
// open-file-description locks (toolkit/sys/locks.h):
//  - the open's share mode: exclusive opens deny others write access, shared
//    opens let everyone read and write, read-only opens deny nothing;
//  - record locks: in a table file record n is represented by the single byte
//    at 0xEFFFFFFE - n (the header, record 0, at 0xEFFFFFFE), far beyond any
//    data, so nothing that merely reads records is held up; index and memo
//    files lock the bytes of the page itself.
// In shared modes the record count is taken from the file size on every query,
// since other processes may have appended meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

// How a paged file is opened. Ordinals are the engine's.
enum TPageFileMode {
  pmNone = 0,
  pmMemoryCreate = 1,
  pmMemoryOpen = 2,
  pmExclusiveCreate = 3,
  pmExclusiveOpen = 4,
  pmSharedCreate = 5,
  pmSharedOpen = 6,
  pmReadOnly = 7,
};

// Whether a file of this mode is made anew rather than opened.
inline bool IsCreatingMode(TPageFileMode mode) {
  return mode == pmMemoryCreate || mode == pmExclusiveCreate || mode == pmSharedCreate;
}

// The lock byte of a table's header; record n is locked at this offset - n.
inline constexpr int64_t kVirtualLockBase = INT64_C(0xEFFFFFFE);

class TPagedFile {
 public:
  TPagedFile();
  virtual ~TPagedFile();
  TPagedFile(const TPagedFile&) = delete;
  TPagedFile& operator=(const TPagedFile&) = delete;

  // ---- Overridable operations (in the engine's order) ----

  // Moves the header block; the old header is flushed first.
  virtual void SetHeaderOffset(int64_t offset);
  // Sets record and page size together; the count is recomputed on demand.
  virtual void SetRecordSize(int size);
  // Resizes the header block (flushing the old one) and rereads it.
  virtual void SetHeaderSize(int size);
  // Whether record n lives after the header (table files) or at n * page size
  // (index and memo files, whose header is page 0).
  virtual void SetPageOffsetByHeader(bool value);
  // Locks a byte range. Without wait one attempt; with wait, a conflict is
  // retried every 10 ms until LockWaitMilliseconds() have passed. False when
  // the range could not be locked.
  virtual bool LockSection(int64_t offset, int64_t length, bool wait);
  // Releases a byte range; true when it was released.
  virtual bool UnlockSection(int64_t offset, int64_t length);
  // LockSection's shared kind: others may hold the range shared too (a
  // read-only open can take it).
  bool LockSectionShared(int64_t offset, int64_t length, bool wait);
  // True when another open of the file holds a lock over the range.
  bool SectionLockedElsewhere(int64_t offset, int64_t length) const;
  // Flushes the header, closes the stream (a handed-in memory stream stays
  // with its owner) and restores the mode asked for at open.
  virtual void CloseStream();
  // Opens the file in Mode(); a missing file is created by the creating modes
  // (or, with AutoCreate, by the opening ones). Raises Exception "Open: file
  // not found" for a missing file, EFOpenError when another open's share mode
  // forbids this one.
  virtual void OpenStream();
  // Reopens a shared file exclusively for a while (pack, index changes). When
  // another process holds the file the file stays open as before and
  // RequireExclusive() reports it.
  virtual void EnterExclusiveMode();
  // Ends the exclusive phase: reopens in the shared mode of before.
  virtual void LeaveExclusiveMode();
  // Reads record n into buffer (RecordSize() bytes); returns the bytes read
  // (0 past the end). A file opened exclusively reads ahead (see below).
  virtual int ReadRecordAt(int64_t n, void* buffer);
  // Writes record n from buffer; appending keeps the count current.
  virtual void WriteRecordAt(int64_t n, const void* buffer);
  // Writes count records from n on in one write; appending keeps the count current.
  void WriteRecordsAt(int64_t n, const void* buffer, int64_t count);
  // Marks the header modified; in shared modes writes it at once.
  virtual void StoreHeader();
  // Writes pages held in memory (index files).
  virtual void FlushPages();

  // ---- Settings (only while closed, unless said otherwise) ----

  void SetFileName(const std::string& name);
  const std::string& FileName() const { return file_name_; }
  // A stream to use instead of a file in the memory modes; borrowed, not owned.
  void SetStream(TStream* stream);
  TStream* Stream() const { return stream_; }
  TPageFileMode Mode() const { return mode_; }
  void SetMode(TPageFileMode mode) { mode_ = mode; }
  bool AutoCreate() const { return auto_create_; }
  void SetAutoCreate(bool value) { auto_create_ = value; }
  bool VirtualLocks() const { return virtual_locks_; }
  void SetVirtualLocks(bool value) { virtual_locks_ = value; }
  void SetPageSize(int size);

  // ---- State ----

  bool Active() const { return active_; }
  // True when the file is open in a shared mode (locks matter).
  bool NeedLocks() const { return need_locks_; }
  int64_t HeaderOffset() const { return header_offset_; }
  int HeaderSize() const { return header_size_; }
  int RecordSize() const { return record_size_; }
  int PageSize() const { return page_size_; }
  int PagesPerRecord() const { return pages_per_record_; }
  // The in-memory header block (HeaderSize() bytes).
  uint8_t* Header() { return header_.data(); }
  const uint8_t* Header() const { return header_.data(); }
  // Sticky: some write since the last ClearWriteError wrote fewer bytes than asked.
  bool WriteError() const { return write_error_; }
  void ClearWriteError() { write_error_ = false; }

  // File offset of record n (0 for the header).
  int64_t RecordOffset(int64_t n) const;
  // The number of records (pages) after the header; reread from the file
  // size in shared modes. Rounds down a trailing partial record.
  int64_t RecordCount();
  // The count as last seen, without asking the file: in shared modes others
  // may have appended since.
  int64_t KnownRecordCount();
  // Cuts or extends the file to n records.
  void SetRecordCount(int64_t n);
  // True when record n is within the file (a known record stays valid in
  // shared mode, where others can only append).
  bool RecordExists(int64_t n);

  // Rereads the header block; bytes past the end of the file read as zeros.
  void ReadHeader();
  // Writes the header block when it was modified.
  void FlushHeader();
  // Reads / writes length bytes at offset; returns the bytes transferred.
  int64_t ReadBlock(void* buffer, int64_t length, int64_t offset);
  int64_t WriteBlock(const void* buffer, int64_t length, int64_t offset);
  // One byte where the last block read or write ended (at the start after an
  // open); ReadByte gives -1 at the end.
  void WriteByte(uint8_t value);
  int ReadByte();

  // Record locks: the byte at 0xEFFFFFFE - n (table files) or the
  // page's own bytes. They act only in shared modes. LockRecord without wait
  // answers at once; with wait it raises EDbfError "Record locked." when the
  // wait runs out.
  bool LockRecord(int64_t n, bool wait);
  bool UnlockRecord(int64_t n);
  // Raises EDbfError "Exclusive access is required for this operation." in shared modes.
  void RequireExclusive() const;
  // Deletes the named file unless it is open.
  void DeleteFileIfClosed();

  // How long waiting locks keep trying (process-wide; tests shorten it).
  static int LockWaitMilliseconds();
  static void SetLockWaitMilliseconds(int ms);

 protected:
  // Reads up to length bytes at the current position. Reads are never held
  // up by locks here (they are advisory), so no retry is needed.
  int64_t ReadWithRetry(void* buffer, int64_t length);
  bool IsSharedMode(TPageFileMode mode) const { return mode >= pmSharedCreate && mode <= pmReadOnly; }
  // The header buffer for descendants that interpret it.
  std::vector<uint8_t>& HeaderBuffer() { return header_; }
  // Sets the header-modified flag without writing.
  void MarkHeaderModified() { header_modified_ = true; }
  // Records a failed write that the file itself did not see (a sync).
  void MarkWriteFailed() { write_error_ = true; }
  // Told of every block write before it is made (a file that can undo its
  // writes keeps what they cover).
  virtual void BeforeWrite(int64_t offset, int64_t length) {
    (void)offset;
    (void)length;
  }

 private:
  bool TakeLock(int64_t offset, int64_t length, bool wait, bool exclusive);
  void RecountIfStale();
  void ReleaseStream();
  // Records of a file this process holds exclusively are read a block of
  // kReadAheadBytes at a time, in the direction the reads go, so a walk over
  // the table costs one read a block. A shared file reads each record when
  // it is asked for: another process may change the next one meanwhile.
  static constexpr int64_t kReadAheadBytes = 64 * 1024;
  bool ReadsAhead() const;
  // Anything that reshapes the file drops what was read ahead (a write
  // updates it instead).
  void ForgetReadAhead() { ahead_length_ = 0; }
  std::vector<uint8_t> ahead_;
  int64_t ahead_offset_ = 0;  // file offset of ahead_[0]
  int64_t ahead_length_ = 0;  // bytes of ahead_ that hold the file

  TStream* stream_ = nullptr;
  std::unique_ptr<TStream> owned_stream_;
  int fd_ = -1;  // the file's descriptor for locks; -1 in the memory modes
  int64_t header_offset_ = 0;
  int header_size_ = 0;
  int record_size_ = 0;
  int page_size_ = 0;
  int64_t record_count_ = 0;
  int pages_per_record_ = 0;
  int64_t cached_size_ = 0;
  // Where the last block read or write ended: ReadByte and WriteByte go on
  // from there, as block I/O on a file does not move the stream.
  int64_t next_offset_ = 0;
  int64_t cached_record_count_ = 0;
  std::vector<uint8_t> header_;
  bool active_ = false;
  bool count_stale_ = false;
  bool header_modified_ = false;
  bool page_offset_by_header_ = true;
  TPageFileMode mode_ = pmReadOnly;
  TPageFileMode temp_mode_ = pmNone;
  TPageFileMode user_mode_ = pmNone;
  bool auto_create_ = false;
  bool need_locks_ = false;
  bool virtual_locks_ = true;
  std::string file_name_;
  bool write_error_ = false;
};

// A record lock held while the guard lives: TryLock takes record n without
// waiting, Unlock gives it back early, and the destructor gives back what is
// still held, on every way out.
class TRecordLock {
 public:
  explicit TRecordLock(TPagedFile* file) : file_(file) {}
  ~TRecordLock() { Unlock(); }
  TRecordLock(const TRecordLock&) = delete;
  TRecordLock& operator=(const TRecordLock&) = delete;

  // Takes record n (giving back a record held before); false when another
  // holds it.
  bool TryLock(int64_t n) {
    Unlock();
    if (!file_->LockRecord(n, false)) return false;
    held_ = n;
    return true;
  }
  void Unlock() {
    if (held_ < 0) return;
    file_->UnlockRecord(held_);
    held_ = -1;
  }

 private:
  TPagedFile* file_;
  int64_t held_ = -1;
};

// Holds a shared file exclusively while the guard lives (pack, index
// changes); a null file is left as it is. Leave ends the phase and lets a
// failure to reopen be seen; on every other way out the destructor ends it
// quietly, so that an error on the way is the one reported.
class TExclusiveMode {
 public:
  explicit TExclusiveMode(TPagedFile* file) : file_(file) {
    if (file_) file_->EnterExclusiveMode();
  }
  ~TExclusiveMode() {
    try {
      Leave();
    } catch (...) {
      // Quiet by design (see above): the error on the way is the one reported.
    }
  }
  TExclusiveMode(const TExclusiveMode&) = delete;
  TExclusiveMode& operator=(const TExclusiveMode&) = delete;

  void Leave() {
    TPagedFile* file = file_;
    file_ = nullptr;
    if (file && file->Active()) file->LeaveExclusiveMode();
  }

 private:
  TPagedFile* file_;
};

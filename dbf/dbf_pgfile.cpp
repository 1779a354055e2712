#include "dbf/dbf_pgfile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <thread>

#include "dbf/dbf_common.h"
#include "toolkit/core/classes.h"
#include "toolkit/sys/files.h"
#include "toolkit/sys/locks.h"

namespace {

// Waiting locks retry at this interval until the wait limit.
constexpr int kLockRetryMs = 10;
int g_lock_wait_ms = 10000;

}  // namespace

int TPagedFile::LockWaitMilliseconds() { return g_lock_wait_ms; }
void TPagedFile::SetLockWaitMilliseconds(int ms) { g_lock_wait_ms = std::max(0, ms); }

TPagedFile::TPagedFile() = default;

TPagedFile::~TPagedFile() {
  try {
    CloseStream();
  } catch (...) {
    // A destructor must not throw; an unwritten header shows as the file's
    // state at the next open.
  }
}

void TPagedFile::SetHeaderOffset(int64_t offset) {
  if (offset == header_offset_) return;
  FlushHeader();
  ForgetReadAhead();
  header_offset_ = offset;
}

void TPagedFile::SetRecordSize(int size) {
  if (size == record_size_) return;
  ForgetReadAhead();
  record_size_ = size;
  page_size_ = size;
  count_stale_ = true;
  pages_per_record_ = page_size_ > 0 ? record_size_ / page_size_ : 0;
}

void TPagedFile::SetHeaderSize(int size) {
  if (size == header_size_) return;
  FlushHeader();
  ForgetReadAhead();
  header_size_ = std::max(0, size);
  header_.assign(size_t(header_size_), 0);
  count_stale_ = true;
  ReadHeader();
}

void TPagedFile::SetPageOffsetByHeader(bool value) {
  if (value != page_offset_by_header_) count_stale_ = true;
  page_offset_by_header_ = value;
}

void TPagedFile::SetPageSize(int size) {
  if (size == page_size_) return;
  page_size_ = size;
  count_stale_ = true;
  pages_per_record_ = page_size_ > 0 ? record_size_ / page_size_ : 0;
}

bool TPagedFile::LockSection(int64_t offset, int64_t length, bool wait) {
  return TakeLock(offset, length, wait, true);
}

bool TPagedFile::LockSectionShared(int64_t offset, int64_t length, bool wait) {
  return TakeLock(offset, length, wait, false);
}

bool TPagedFile::SectionLockedElsewhere(int64_t offset, int64_t length) const {
  return fd_ >= 0 && IsRangeLockedElsewhere(fd_, offset, length);
}

bool TPagedFile::TakeLock(int64_t offset, int64_t length, bool wait, bool exclusive) {
  if (fd_ < 0) return true;  // memory streams are private to this process
  int waited = 0;
  for (;;) {
    const TLockResult result = LockBytes(fd_, offset, length, exclusive);
    if (result == TLockResult::Granted) return true;
    if (result != TLockResult::Conflict || !wait || waited >= g_lock_wait_ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kLockRetryMs));
    waited += kLockRetryMs;
  }
}

bool TPagedFile::UnlockSection(int64_t offset, int64_t length) {
  if (fd_ < 0) return true;
  return UnlockBytes(fd_, offset, length);
}

void TPagedFile::ReleaseStream() {
  ForgetReadAhead();
  owned_stream_.reset();
  stream_ = nullptr;
  fd_ = -1;
}

void TPagedFile::CloseStream() {
  if (!active_) return;
  // The stream goes away even when the last header write fails.
  TScopeExit release([this] {
    // A memory table lives in its stream, which therefore outlives a close.
    if (mode_ != pmMemoryCreate && mode_ != pmMemoryOpen) ReleaseStream();
    mode_ = user_mode_;
    active_ = false;
    cached_record_count_ = 0;
  });
  FlushHeader();
}

void TPagedFile::OpenStream() {
  if (active_) return;
  ForgetReadAhead();
  user_mode_ = mode_;
  // An open that fails on any step keeps the mode asked for: left as the
  // create it was turned into, the next open would empty the file.
  TScopeFail refused([this] { mode_ = user_mode_; });
  if (mode_ == pmMemoryCreate || mode_ == pmMemoryOpen) {
    if (!stream_) {
      owned_stream_ = std::make_unique<TMemoryStream>();
      stream_ = owned_stream_.get();
      mode_ = pmMemoryCreate;
    }
    fd_ = -1;
    next_offset_ = 0;
    cached_size_ = stream_->Size();
    need_locks_ = false;
    active_ = true;
    return;
  }
  if (!FileExists(file_name_)) {
    if (auto_create_) {
      if (mode_ == pmExclusiveOpen) mode_ = pmExclusiveCreate;
      if (mode_ == pmSharedOpen || mode_ == pmReadOnly) mode_ = pmSharedCreate;
    }
    if (!IsCreatingMode(mode_)) throw Exception(Format(STRING_FILE_NOT_FOUND, {file_name_}));
    // Only a missing file is created here: an existing one is cut below,
    // after its share mode has been granted, so that creating a table never
    // destroys a file another program holds open.
    TFileStream(file_name_, fmCreate);
  }
  const bool write_access = mode_ >= pmExclusiveCreate && mode_ <= pmSharedOpen;
  const bool deny_write = mode_ == pmExclusiveCreate || mode_ == pmExclusiveOpen;
  auto file = std::make_unique<TFileStream>(file_name_, write_access ? fmOpenReadWrite : fmOpenRead);
  if (AcquireShareMode(file->Handle(), write_access, deny_write) != TLockResult::Granted) {
    throw EDbfFileInUse(Format("Cannot open file \"%s\". %s",
                             {file_name_, "The file is in use by another process."}));
  }
  if (IsCreatingMode(mode_)) file->SetSize(0);
  fd_ = file->Handle();
  next_offset_ = 0;
  owned_stream_ = std::move(file);
  stream_ = owned_stream_.get();
  cached_size_ = stream_->Size();
  need_locks_ = IsSharedMode(mode_);
  active_ = true;
}

void TPagedFile::EnterExclusiveMode() {
  if (temp_mode_ != pmNone || !IsSharedMode(mode_)) return;
  // Shared create and open return to shared open; read-only stays read-only.
  temp_mode_ = mode_ == pmReadOnly ? pmReadOnly : pmSharedOpen;
  CloseStream();
  mode_ = pmExclusiveOpen;
  try {
    OpenStream();
  } catch (const EFOpenError&) {
    LeaveExclusiveMode();
  }
}

void TPagedFile::LeaveExclusiveMode() {
  if (temp_mode_ == pmNone) return;
  CloseStream();
  mode_ = temp_mode_;
  temp_mode_ = pmNone;
  OpenStream();
}

int64_t TPagedFile::RecordOffset(int64_t n) const {
  if (n == 0) return 0;
  if (page_offset_by_header_) return header_offset_ + header_size_ + (n - 1) * page_size_;
  return n * page_size_;
}

bool TPagedFile::ReadsAhead() const {
  return fd_ >= 0 && !need_locks_ && temp_mode_ == pmNone &&
         (mode_ == pmExclusiveOpen || mode_ == pmExclusiveCreate) && record_size_ > 0 &&
         record_size_ <= kReadAheadBytes;
}

int TPagedFile::ReadRecordAt(int64_t n, void* buffer) {
  const int64_t offset = RecordOffset(n);
  if (!ReadsAhead()) return int(ReadBlock(buffer, record_size_, offset));
  const int64_t size = record_size_;
  if (ahead_length_ == 0 || offset < ahead_offset_ || offset + size > ahead_offset_ + ahead_length_) {
    // Walking backwards (the record just before the block): the new block
    // ends with this record; otherwise it starts with it.
    const int64_t start =
        ahead_length_ > 0 && offset < ahead_offset_ && offset + size >= ahead_offset_
            ? std::max<int64_t>(0, offset + size - kReadAheadBytes)
            : offset;
    ahead_.resize(size_t(kReadAheadBytes));
    ahead_length_ = 0;
    ahead_offset_ = start;
    ahead_length_ = ReadBlock(ahead_.data(), kReadAheadBytes, start);
  }
  const int64_t at = offset - ahead_offset_;
  const int64_t got = std::clamp<int64_t>(ahead_length_ - at, 0, size);
  if (got > 0) std::memcpy(buffer, ahead_.data() + at, size_t(got));
  next_offset_ = offset + got;
  return int(got);
}

void TPagedFile::WriteRecordAt(int64_t n, const void* buffer) { WriteRecordsAt(n, buffer, 1); }

void TPagedFile::WriteRecordsAt(int64_t n, const void* buffer, int64_t count) {
  WriteBlock(buffer, record_size_ * count, RecordOffset(n));
  if (record_size_ <= 0 || !stream_) return;
  const int64_t position = next_offset_;
  while (cached_size_ < position) {
    cached_size_ += record_size_;
    record_count_ += pages_per_record_;
  }
}

void TPagedFile::StoreHeader() {
  header_modified_ = true;
  if (need_locks_) FlushHeader();
}

void TPagedFile::FlushPages() {}

void TPagedFile::SetFileName(const std::string& name) {
  if (!active_) file_name_ = name;
}

void TPagedFile::SetStream(TStream* stream) {
  if (active_) return;
  owned_stream_.reset();
  stream_ = stream;
}

void TPagedFile::RecountIfStale() {
  if (!count_stale_) return;
  count_stale_ = false;
  if (page_size_ <= 0 || !active_) {
    record_count_ = 0;
    return;
  }
  const int64_t bytes = page_offset_by_header_ ? cached_size_ - header_size_ - header_offset_ : cached_size_;
  record_count_ = std::max<int64_t>(0, bytes / page_size_);
}

int64_t TPagedFile::RecordCount() {
  if (!active_ || page_size_ <= 0) return 0;
  if (need_locks_) {
    const int64_t size = stream_->Size();
    if (size != cached_size_) {
      cached_size_ = size;
      count_stale_ = true;
    }
  }
  RecountIfStale();
  return record_count_;
}

int64_t TPagedFile::KnownRecordCount() {
  if (!active_ || page_size_ <= 0) return 0;
  RecountIfStale();
  return record_count_;
}

void TPagedFile::SetRecordCount(int64_t n) {
  if (!active_ || n < 0 || n == RecordCount()) return;
  ForgetReadAhead();
  cached_size_ = page_offset_by_header_ ? header_offset_ + header_size_ + n * page_size_ : n * page_size_;
  record_count_ = n;
  count_stale_ = false;
  try {
    stream_->SetSize(cached_size_);
  } catch (const EStreamError&) {
    write_error_ = true;
  }
}

bool TPagedFile::RecordExists(int64_t n) {
  if (!need_locks_ || n > cached_record_count_) cached_record_count_ = RecordCount();
  return n >= 0 && n <= cached_record_count_;
}

void TPagedFile::ReadHeader() {
  FlushHeader();
  if (header_size_ <= 0 || !stream_) return;
  // The read stops where the file does: its size need not be asked (a
  // shared file rereads its header before every change).
  int64_t available = 0;
  if (active_)
    available = std::clamp<int64_t>(ReadBlock(header_.data(), header_size_, header_offset_), 0, header_size_);
  std::fill(header_.begin() + available, header_.end(), 0);
}

void TPagedFile::FlushHeader() {
  if (!header_modified_) return;
  header_modified_ = false;
  if (!active_ || header_size_ <= 0) return;
  WriteBlock(header_.data(), header_size_, header_offset_);
  const int64_t position = next_offset_;
  if (position > cached_size_) {
    cached_size_ = position;
    count_stale_ = true;
  }
}

namespace {

// Runs a positioned read or write until length bytes are through, the file
// ends or the system refuses; an interrupted call is repeated.
template <typename Step>
int64_t TransferAt(int64_t length, Step step) {
  int64_t done = 0;
  while (done < length) {
    const ssize_t n = step(done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

}  // namespace

// A file's blocks are read and written at their offset in one call each
// (pread/pwrite), without a seek first; a memory stream is positioned.
int64_t TPagedFile::ReadBlock(void* buffer, int64_t length, int64_t offset) {
  if (!stream_ || length <= 0) return 0;
  if (offset > cached_size_) {
    cached_size_ = offset;
    count_stale_ = true;
  }
  int64_t done = 0;
  if (fd_ >= 0) {
    auto* p = static_cast<char*>(buffer);
    done = TransferAt(length, [&](int64_t at) { return ::pread(fd_, p + at, size_t(length - at), off_t(offset + at)); });
  } else {
    stream_->Seek(offset, soFromBeginning);
    done = ReadWithRetry(buffer, length);
  }
  next_offset_ = offset + done;
  return done;
}

int64_t TPagedFile::WriteBlock(const void* buffer, int64_t length, int64_t offset) {
  if (!stream_ || length <= 0) return 0;
  BeforeWrite(offset, length);
  if (offset > cached_size_) {
    cached_size_ = offset;
    count_stale_ = true;
  }
  int64_t written = 0;
  if (fd_ >= 0) {
    const auto* p = static_cast<const char*>(buffer);
    written =
        TransferAt(length, [&](int64_t at) { return ::pwrite(fd_, p + at, size_t(length - at), off_t(offset + at)); });
  } else {
    stream_->Seek(offset, soFromBeginning);
    written = std::max<int64_t>(0, stream_->Write(buffer, length));
  }
  next_offset_ = offset + written;
  if (written < length) write_error_ = true;
  // What was read ahead stays the file's: the written bytes go into it too.
  const int64_t from = std::max(offset, ahead_offset_);
  const int64_t to = std::min(offset + written, ahead_offset_ + ahead_length_);
  if (from < to)
    std::memcpy(ahead_.data() + (from - ahead_offset_), static_cast<const char*>(buffer) + (from - offset),
                size_t(to - from));
  return written;
}

int64_t TPagedFile::ReadWithRetry(void* buffer, int64_t length) {
  return std::max<int64_t>(0, stream_->Read(buffer, length));
}

void TPagedFile::WriteByte(uint8_t value) {
  if (!stream_) return;
  if (WriteBlock(&value, 1, next_offset_) != 1) write_error_ = true;
}

int TPagedFile::ReadByte() {
  uint8_t value = 0;
  if (!stream_ || ReadBlock(&value, 1, next_offset_) != 1) return -1;
  return value;
}

bool TPagedFile::LockRecord(int64_t n, bool wait) {
  if (!need_locks_) return true;
  bool locked = false;
  if (virtual_locks_) {
    if (n < 0 || n >= kVirtualLockBase + 1) return false;
    locked = LockSection(kVirtualLockBase - n, 1, wait);
  } else {
    locked = LockSection(RecordOffset(n), std::max(1, record_size_), wait);
  }
  if (!locked && wait) throw EDbfError(STRING_RECORD_LOCKED);
  return locked;
}

bool TPagedFile::UnlockRecord(int64_t n) {
  if (!need_locks_) return true;
  if (virtual_locks_) {
    if (n < 0 || n >= kVirtualLockBase + 1) return false;
    return UnlockSection(kVirtualLockBase - n, 1);
  }
  return UnlockSection(RecordOffset(n), std::max(1, record_size_));
}

void TPagedFile::RequireExclusive() const {
  if (IsSharedMode(mode_)) throw EDbfError(STRING_NEED_EXCLUSIVE_ACCESS);
}

void TPagedFile::DeleteFileIfClosed() {
  if (!active_) DeleteFile(file_name_);
}

#include "toolkit/sys/locks.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace {

struct flock MakeLock(short type, int64_t offset, int64_t length) {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required to be 0 for open-file-description locks
  return lock;
}

}  // namespace

TLockResult LockBytes(int fd, int64_t offset, int64_t length, bool exclusive) {
  if (fd < 0 || offset < 0 || length <= 0 || offset > INT64_MAX - length) return TLockResult::Failed;
  struct flock lock = MakeLock(exclusive ? F_WRLCK : F_RDLCK, offset, length);
  if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return TLockResult::Granted;
  if (errno == EAGAIN || errno == EACCES) return TLockResult::Conflict;
  return TLockResult::Failed;
}

bool UnlockBytes(int fd, int64_t offset, int64_t length) {
  if (fd < 0 || offset < 0 || length <= 0 || offset > INT64_MAX - length) return false;
  struct flock lock = MakeLock(F_UNLCK, offset, length);
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool IsRangeLockedElsewhere(int fd, int64_t offset, int64_t length) {
  if (fd < 0 || offset < 0 || length <= 0 || offset > INT64_MAX - length) return false;
  struct flock lock = MakeLock(F_WRLCK, offset, length);
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

TLockResult AcquireShareMode(int fd, bool write_access, bool deny_write) {
  if (!write_access && !deny_write) return TLockResult::Granted;
  return LockBytes(fd, kShareLockOffset, 1, deny_write);
}

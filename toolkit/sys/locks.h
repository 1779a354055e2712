// Byte-range locks between processes, as open-file-description locks
// (F_OFD_SETLK): they belong to one open of a file, so two opens of the same
// file conflict even inside one process, and closing an unrelated descriptor
// of the file does not drop them (classic POSIX record locks would do both
// wrong). Locks are advisory: they order the cooperating programs, reads and
// writes are never blocked by them.
#pragma once

#include <cstdint>

// The outcome of one lock attempt.
enum class TLockResult {
  Granted,   // the range is now held
  Conflict,  // another open of the file holds an overlapping lock
  Failed,    // the system refused for another reason (bad descriptor, no lock support)
};

// Takes an exclusive (or shared) lock on length bytes from offset, one attempt.
// Offsets are 64-bit and may lie far beyond the end of the file.
TLockResult LockBytes(int fd, int64_t offset, int64_t length, bool exclusive = true);
// Releases that range; true when the system accepted.
bool UnlockBytes(int fd, int64_t offset, int64_t length);
// True when another open of the file holds a lock that overlaps the range.
bool IsRangeLockedElsewhere(int fd, int64_t offset, int64_t length);

// Share modes of an open, enforced among cooperating opens with a lock on one
// byte far beyond any data: an open with write access that lets others write
// holds it shared; one that denies others write access holds it exclusively.
// Read-only opens that deny nothing take no share lock, so they coexist with
// both (as they do where the file formats come from).
inline constexpr int64_t kShareLockOffset = INT64_C(0x7FFFFFFFFFFFFF00);
// Takes the share lock for an open; Conflict when another open's share mode
// forbids this one.
TLockResult AcquireShareMode(int fd, bool write_access, bool deny_write);

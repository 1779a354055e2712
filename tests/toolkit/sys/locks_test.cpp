#include "toolkit/sys/locks.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/testsupport.h"

namespace locks_test {

struct Fd {
  int fd;
  explicit Fd(const std::string& path) : fd(::open(path.c_str(), O_RDWR)) {}
  ~Fd() { ::close(fd); }
};

TEST(Locks, OpensOfOneFileConflictEvenInOneProcess) {
  const std::string file = testsupport::TempDir("locks") + "/f";
  testsupport::WriteFile(file, "");
  Fd a(file), b(file);
  ASSERT_GE(a.fd, 0);
  EXPECT_EQ(LockBytes(a.fd, 0xEFFFFFFE, 1), TLockResult::Granted);
  EXPECT_EQ(LockBytes(a.fd, 0xEFFFFFFE, 1), TLockResult::Granted) << "an open may relock its own range";
  EXPECT_EQ(LockBytes(b.fd, 0xEFFFFFFE, 1), TLockResult::Conflict);
  EXPECT_EQ(LockBytes(b.fd, 0xEFFFFFFD, 1), TLockResult::Granted) << "the neighbour byte is free";
  EXPECT_TRUE(IsRangeLockedElsewhere(b.fd, 0xEFFFFFF0, 0x20));
  EXPECT_FALSE(IsRangeLockedElsewhere(a.fd, 0xEFFFFFFE, 1)) << "own locks do not count";
  {
    // Closing another descriptor of the file keeps the locks (unlike POSIX record locks).
    Fd c(file);
  }
  EXPECT_EQ(LockBytes(b.fd, 0xEFFFFFFE, 1), TLockResult::Conflict);
  EXPECT_TRUE(UnlockBytes(a.fd, 0xEFFFFFFE, 1));
  EXPECT_EQ(LockBytes(b.fd, 0xEFFFFFFE, 1), TLockResult::Granted);
  // Shared locks coexist; an exclusive one does not join them.
  EXPECT_EQ(LockBytes(a.fd, 100, 10, false), TLockResult::Granted);
  EXPECT_EQ(LockBytes(b.fd, 105, 10, false), TLockResult::Granted);
  EXPECT_EQ(LockBytes(b.fd, 95, 10, true), TLockResult::Conflict);
}

TEST(Locks, ShareModes) {
  const struct {
    bool first_write, first_deny, second_write, second_deny;
    TLockResult second;
  } cases[] = {
      {true, false, true, false, TLockResult::Granted},   // shared + shared
      {true, true, true, false, TLockResult::Conflict},   // exclusive + shared
      {true, false, true, true, TLockResult::Conflict},   // shared + exclusive
      {true, true, false, false, TLockResult::Granted},   // exclusive + read-only
      {false, false, true, true, TLockResult::Granted},   // read-only + exclusive
  };
  const std::string file = testsupport::TempDir("share") + "/f";
  testsupport::WriteFile(file, "");
  for (const auto& c : cases) {
    Fd a(file), b(file);
    EXPECT_EQ(AcquireShareMode(a.fd, c.first_write, c.first_deny), TLockResult::Granted);
    EXPECT_EQ(AcquireShareMode(b.fd, c.second_write, c.second_deny), c.second)
        << c.first_write << c.first_deny << c.second_write << c.second_deny;
  }
}

TEST(Locks, BadArgumentsFailWithoutTouchingTheSystem) {
  EXPECT_EQ(LockBytes(-1, 0, 1), TLockResult::Failed);
  const std::string file = testsupport::TempDir("bad") + "/f";
  testsupport::WriteFile(file, "");
  Fd a(file);
  EXPECT_EQ(LockBytes(a.fd, -5, 1), TLockResult::Failed);
  EXPECT_EQ(LockBytes(a.fd, 0, 0), TLockResult::Failed);
  EXPECT_EQ(LockBytes(a.fd, INT64_MAX, 2), TLockResult::Failed);
  EXPECT_FALSE(UnlockBytes(-1, 0, 1));
}

}  // namespace locks_test

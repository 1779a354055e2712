#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "toolkit/sys/serial.h"

PseudoTerminal::PseudoTerminal() {
  char name[256] = {};
  struct termios raw{};
  ::cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0)
    throw EOSError(std::string("Cannot open a pseudo-terminal: ") + std::strerror(errno));
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  slave_path_ = name;
}

PseudoTerminal::~PseudoTerminal() {
  if (!link_path_.empty()) ::unlink(link_path_.c_str());
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

bool PseudoTerminal::LinkAt(const std::string& link_path) {
  ::unlink(link_path.c_str());
  if (::symlink(slave_path_.c_str(), link_path.c_str()) != 0) return false;
  link_path_ = link_path;
  return true;
}

bool PseudoTerminal::WriteAll(const void* data, size_t count) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (count > 0) {
    const long n = Write(p, count, 1000);
    if (n < 0) return false;
    p += n;
    count -= size_t(n);
  }
  return true;
}

long PseudoTerminal::Write(const void* data, size_t count, int timeout_ms) {
  if (count == 0) return 0;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  for (;;) {
    const ssize_t n = ::write(master_, data, count);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    // The terminal's queue is full: wait until the port has read some. The
    // master is not always woken when room frees up (the slave's side drains
    // its buffer without a wake-up), so a long wait here would stall a reply
    // for the whole time-out now and then: wait in short steps instead.
    pollfd pfd{master_, POLLOUT, 0};
    if (::poll(&pfd, 1, int(std::min<long long>(left, 5))) < 0 && errno != EINTR) return -1;
  }
}

long PseudoTerminal::Read(void* buffer, size_t count, int timeout_ms) {
  pollfd pfd{master_, POLLIN, 0};
  for (;;) {
    const int r = ::poll(&pfd, 1, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) return 0;
    break;
  }
  for (;;) {
    const ssize_t n = ::read(master_, buffer, count);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
  }
}

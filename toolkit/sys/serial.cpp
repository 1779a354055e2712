// termios2 is declared by the kernel's headers, whose struct termios clashes
// with the C library's <termios.h>; this unit therefore talks to the device
// through ioctl() alone, and the pseudo-terminal (which needs openpty and the
// C library's termios) lives in pty.cpp.
#include "toolkit/sys/serial.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"
#include "toolkit/sys/settings.h"

SerialDevice::~SerialDevice() { Close(); }

bool SerialDevice::Open(const std::string& path) {
  Close();
  error_.clear();
  // Closed again on every way out but success (which closes the flock too).
  TFileDescriptor device(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  const int fd = device.Get();
  if (fd < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  struct stat st{};
  struct termios2 tio{};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || ::ioctl(fd, TCGETS2, &tio) != 0) {
    error_ = "not a terminal device";
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = "in use by another program";
    return false;
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  fd_ = device.Release();
  path_ = path;
  return true;
}

void SerialDevice::Close() {
  if (fd_ < 0) return;
  // The exclusive flag belongs to the terminal, not to this descriptor: left
  // set, it would lock out the next open while anyone else (the simulator's
  // own slave descriptor) keeps the terminal alive.
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  path_.clear();
}

bool SerialDevice::Apply(const TDeviceControlBlock& dcb) {
  if (fd_ < 0) return false;
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2) {
    error_ = "invalid line settings";
    return false;
  }
  struct termios2 tio{};
  if (::ioctl(fd_, TCGETS2, &tio) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  // Binary mode: no line editing, echo, signals or character translation.
  tio.c_iflag = 0;
  tio.c_oflag = 0;
  tio.c_lflag = 0;
  tio.c_cflag = CREAD | CLOCAL | BOTHER;
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (dcb.fParity) tio.c_iflag |= INPCK;
  // One and a half stop bits exist only with 5 data bits; termios spells both as CSTOPB.
  if (dcb.StopBits != 0) tio.c_cflag |= CSTOPB;
  if (dcb.fOutxCtsFlow && dcb.fRtsControl == 2) tio.c_cflag |= CRTSCTS;
  if (dcb.fOutX) tio.c_iflag |= IXON;
  if (dcb.fInX) tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  tio.c_ispeed = dcb.BaudRate;
  tio.c_ospeed = dcb.BaudRate;
  if (::ioctl(fd_, TCSETS2, &tio) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  // Modem lines: a pseudo-terminal refuses these, which must not fail the port.
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  ::ioctl(fd_, dcb.fDtrControl == 1 ? TIOCMBIS : TIOCMBIC, &dtr);
  if (dcb.fRtsControl == 0 || dcb.fRtsControl == 1) ::ioctl(fd_, dcb.fRtsControl == 1 ? TIOCMBIS : TIOCMBIC, &rts);
  return true;
}

bool SerialDevice::Purge(bool input, bool output) {
  if (fd_ < 0) return false;
  if (!input && !output) return true;
  const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
  return ::ioctl(fd_, TCFLSH, which) == 0;
}

long SerialDevice::InQueue() const {
  int n = 0;
  if (fd_ < 0 || ::ioctl(fd_, TIOCINQ, &n) != 0) return -1;
  return n;
}

long SerialDevice::OutQueue() const {
  int n = 0;
  if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &n) != 0) return -1;
  return n;
}

int SerialDevice::ModemBits() const {
  int lines = 0;
  if (fd_ < 0 || ::ioctl(fd_, TIOCMGET, &lines) != 0) return -1;
  int bits = 0;
  if (lines & TIOCM_CTS) bits |= kLineCts;
  if (lines & TIOCM_DSR) bits |= kLineDsr;
  if (lines & TIOCM_RNG) bits |= kLineRing;
  if (lines & TIOCM_CAR) bits |= kLineRlsd;
  return bits;
}

long SerialDevice::Read(void* buffer, size_t count) {
  if (fd_ < 0) return -1;
  if (count == 0) return 0;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, count);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
  }
}

long SerialDevice::Write(const void* data, size_t count) {
  if (fd_ < 0) return -1;
  if (count == 0) return 0;
  for (;;) {
    const ssize_t n = ::write(fd_, data, count);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
  }
}

namespace {

int WaitFor(int fd, short events, int timeout_ms) {
  if (fd < 0) return -1;
  pollfd p{fd, events, 0};
  for (;;) {
    const int r = ::poll(&p, 1, std::max(timeout_ms, 0));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) return 0;
    if (p.revents & events) return 1;
    return -1;  // POLLHUP, POLLERR or POLLNVAL without data
  }
}

}  // namespace

int SerialDevice::WaitReadable(int timeout_ms) const { return WaitFor(fd_, POLLIN, timeout_ms); }
int SerialDevice::WaitWritable(int timeout_ms) const { return WaitFor(fd_, POLLOUT, timeout_ms); }

// ---- The port-name map ------------------------------------------------------

int PortNumberOf(const std::string& port_name) {
  std::string name = port_name;
  if (name.starts_with("\\\\.\\")) name.erase(0, 4);
  if (name.size() < 4 || name.size() > 6) return 0;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(name[size_t(i)])) != "COM"[i]) return 0;
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    n = n * 10 + (name[i] - '0');
  }
  if (name[3] == '0' || n < 1 || n > 255) return 0;
  return n;
}

namespace {

namespace fs = std::filesystem;

// Devices named prefix followed by a number, by number.
std::vector<std::string> NumberedDevices(const fs::path& dir, const std::string& prefix) {
  std::vector<std::pair<long, std::string>> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix) || name.size() == prefix.size() || name.size() > prefix.size() + 6) continue;
    const std::string digits = name.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); })) continue;
    found.emplace_back(std::stol(digits), entry.path().string());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& f : found) paths.push_back(std::move(f.second));
  return paths;
}

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::weakly_canonical(p, ec);
  return ec ? p : c;
}

// The device the environment's map names for the port number: false when the
// variable is not set; else true with the device, "" when it lists none.
bool EnvironmentMap(int number, std::string* device) {
  const char* map = std::getenv("KIV7_PORTS");
  if (!map) return false;
  device->clear();
  std::string text = map;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(";\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string entry = text.substr(start, end - start);
    if (const size_t eq = entry.find('='); eq != std::string::npos) {
      if (PortNumberOf(entry.substr(0, eq)) == number) {
        *device = entry.substr(eq + 1);
        return true;
      }
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

std::vector<std::string> DefaultSerialDevices(const std::string& dev_root) {
  const fs::path root(dev_root);
  std::vector<std::string> devices;
  std::vector<fs::path> reached;
  std::error_code ec;
  std::vector<std::string> by_id;
  for (const auto& entry : fs::directory_iterator(root / "serial" / "by-id", ec)) by_id.push_back(entry.path().string());
  std::sort(by_id.begin(), by_id.end());
  for (const auto& path : by_id) {
    devices.push_back(path);
    reached.push_back(Canonical(path));
  }
  std::vector<std::string> usb = NumberedDevices(root, "ttyUSB");
  const std::vector<std::string> acm = NumberedDevices(root, "ttyACM");
  usb.insert(usb.end(), acm.begin(), acm.end());
  for (const auto& path : usb)
    if (std::find(reached.begin(), reached.end(), Canonical(path)) == reached.end()) devices.push_back(path);
  const std::vector<std::string> builtin = NumberedDevices(root, "ttyS");
  devices.insert(devices.end(), builtin.begin(), builtin.end());
  return devices;
}

std::string PortDevice(const std::string& port_name) {
  if (port_name.starts_with("/")) return port_name;
  const int number = PortNumberOf(port_name);
  if (number == 0) return std::string();
  std::string device;
  if (EnvironmentMap(number, &device)) return device;
  TRegistry settings;
  if (settings.OpenKey("\\Ports", false)) {
    const std::string short_name = "COM" + std::to_string(number);
    for (const std::string& name : {short_name, "\\\\.\\" + short_name}) {
      if (settings.ValueExists(name)) {
        const std::string chosen = settings.ReadString(name);
        if (!chosen.empty()) return AnsiToUtf8(chosen);  // the file keeps UTF-8 paths
      }
    }
  }
  const std::vector<std::string> devices = DefaultSerialDevices();
  return size_t(number) <= devices.size() ? devices[size_t(number) - 1] : std::string();
}

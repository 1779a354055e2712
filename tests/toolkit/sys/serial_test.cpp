// The serial port's OS layer: the port-name map, exclusive opening and line
// settings over a pseudo-terminal.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include "tests/support/testsupport.h"
#include "toolkit/sys/serial.h"
#include "toolkit/sys/settings.h"

namespace serial_test {

// Sets or unsets a variable for one test.
class Env {
 public:
  Env(const char* name, const std::string* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) ::setenv(name, value->c_str(), 1); else ::unsetenv(name);
  }
  ~Env() {
    if (had_) ::setenv(name_.c_str(), old_.c_str(), 1); else ::unsetenv(name_.c_str());
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

TEST(PortNames, NumberOfAPortName) {
  const struct {
    const char* name;
    int number;
  } cases[] = {{"\\\\.\\COM1", 1}, {"\\\\.\\COM38", 38}, {"com5", 5}, {"COM255", 255}, {"COM256", 0},
               {"COM0", 0},        {"COM05", 0},         {"COM", 0},   {"COM1x", 0},    {"\\\\.\\LPT1", 0},
               {"/dev/ttyS0", 0},  {"", 0}};
  for (const auto& c : cases) EXPECT_EQ(PortNumberOf(c.name), c.number) << c.name;
}

TEST(PortNames, DefaultOrderIsByIdThenUsbThenBuiltIn) {
  namespace fs = std::filesystem;
  const fs::path dev = testsupport::TempDir("dev");
  for (const char* f : {"ttyS10", "ttyS2", "ttyS0", "ttyUSB1", "ttyUSB0", "ttyACM0", "ttySX", "tty5", "ttyS"})
    testsupport::WriteFile((dev / f).string(), "");
  fs::create_directories(dev / "serial" / "by-id");
  fs::create_symlink(dev / "ttyUSB1", dev / "serial" / "by-id" / "usb-B_adapter-if00");
  fs::create_symlink(dev / "ttyACM0", dev / "serial" / "by-id" / "usb-A_modem-if00");
  const std::vector<std::string> expected = {
      (dev / "serial/by-id/usb-A_modem-if00").string(), (dev / "serial/by-id/usb-B_adapter-if00").string(),
      (dev / "ttyUSB0").string(), (dev / "ttyS0").string(), (dev / "ttyS2").string(), (dev / "ttyS10").string()};
  EXPECT_EQ(DefaultSerialDevices(dev.string()), expected);
  EXPECT_TRUE(DefaultSerialDevices((dev / "none").string()).empty());
}

TEST(PortNames, EnvironmentThenSettingsThenMachine) {
  const std::string dir = testsupport::TempDir("map");
  const std::string ini = dir + "/kiv7.ini";
  const Env settings("KIV7_SETTINGS", &ini);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Ports", true));
  reg.WriteString("COM2", "/dev/chosen");
  reg.WriteString("\\\\.\\COM3", "/dev/chosen3");
  {
    const std::string map = "\\\\.\\com1=/dev/pts/7;COM4=/tmp/sim port";
    const Env ports("KIV7_PORTS", &map);
    EXPECT_EQ(PortDevice("\\\\.\\COM1"), "/dev/pts/7");
    EXPECT_EQ(PortDevice("\\\\.\\COM4"), "/tmp/sim port");
    EXPECT_EQ(PortDevice("\\\\.\\COM2"), "") << "the environment's map is the whole map";
    EXPECT_EQ(PortDevice("/dev/ttyUSB3"), "/dev/ttyUSB3");
  }
  const Env no_ports("KIV7_PORTS", nullptr);
  EXPECT_EQ(PortDevice("\\\\.\\COM2"), "/dev/chosen");
  EXPECT_EQ(PortDevice("\\\\.\\COM3"), "/dev/chosen3");
  EXPECT_EQ(PortDevice("LPT1"), "");
  const auto machine = DefaultSerialDevices();
  EXPECT_EQ(PortDevice("\\\\.\\COM1"), machine.empty() ? "" : machine[0]);
}

struct PtyDevice : ::testing::Test {
  PseudoTerminal pty;
  SerialDevice device;
};

TEST_F(PtyDevice, OpensOnceAndAgainAfterClose) {
  ASSERT_TRUE(device.Open(pty.SlavePath())) << device.Error();
  SerialDevice second;
  EXPECT_FALSE(second.Open(pty.SlavePath()));
  device.Close();
  EXPECT_TRUE(second.Open(pty.SlavePath())) << second.Error();
}

TEST_F(PtyDevice, RefusesWhatIsNoTerminal) {
  const std::string file = testsupport::TempDir("files") + "/plain";
  testsupport::WriteFile(file, "x");
  for (const std::string& path : {std::string("/dev/null"), file, file + ".missing"}) {
    EXPECT_FALSE(device.Open(path)) << path;
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(device.Error().empty());
  }
}

// Descriptors this process holds open.
size_t OpenDescriptors() {
  return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                              std::filesystem::directory_iterator()));
}

TEST_F(PtyDevice, AnOpenThatFailsLeavesNoDescriptorBehind) {
  const std::string file = testsupport::TempDir("files") + "/plain";
  testsupport::WriteFile(file, "x");
  SerialDevice holder;
  ASSERT_TRUE(holder.Open(pty.SlavePath())) << holder.Error();
  const size_t before = OpenDescriptors();
  // Refused at each step: no file, no terminal, a terminal another holds.
  for (const std::string& path : {file + ".missing", std::string("/dev/null"), file, pty.SlavePath()}) {
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(device.Open(path)) << path;
    EXPECT_EQ(OpenDescriptors(), before) << path;
  }
  holder.Close();
  EXPECT_EQ(OpenDescriptors(), before - 1);
}

TEST_F(PtyDevice, AppliesAnyRateAndTheFrame) {
  ASSERT_TRUE(device.Open(pty.SlavePath()));
  TDeviceControlBlock dcb;
  dcb.ByteSize = 7;
  dcb.Parity = 2;
  dcb.StopBits = 2;
  dcb.fOutX = dcb.fInX = true;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  for (uint32_t rate : {115200u, 250000u, 14400u, 56000u}) {
    dcb.BaudRate = rate;
    ASSERT_TRUE(device.Apply(dcb)) << rate << ": " << device.Error();
    struct termios2 tio{};
    ASSERT_EQ(::ioctl(device.Fd(), TCGETS2, &tio), 0);
    EXPECT_EQ(tio.c_ospeed, rate);
    EXPECT_EQ(tio.c_ispeed, rate);
    // (A pseudo-terminal forces 8 bits without parity, so the frame size and
    // parity cannot be read back here.)
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u) << "binary mode must not edit lines or echo";
  }
  dcb.ByteSize = 9;
  EXPECT_FALSE(device.Apply(dcb));
  dcb.ByteSize = 8;
  dcb.BaudRate = 0;
  EXPECT_FALSE(device.Apply(dcb));
}

TEST_F(PtyDevice, QueuesReadsAndWaits) {
  ASSERT_TRUE(device.Open(pty.SlavePath()));
  char buf[16] = {};
  EXPECT_EQ(device.Read(buf, sizeof buf), 0);
  EXPECT_EQ(device.WaitReadable(0), 0);
  ASSERT_TRUE(pty.WriteAll("abc", 3));
  ASSERT_EQ(device.WaitReadable(2000), 1);
  EXPECT_EQ(device.Read(buf, sizeof buf), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(device.Write("xy", 2), 2);
  EXPECT_EQ(pty.Read(buf, sizeof buf, 2000), 2);
  // A pseudo-terminal has no modem lines: the status cannot be read, and the
  // layer says so instead of inventing bits.
  EXPECT_EQ(device.ModemBits(), -1);
  EXPECT_EQ(device.OutQueue(), 0);
  device.Close();
  EXPECT_EQ(device.ModemBits(), -1);
  EXPECT_EQ(device.InQueue(), -1);
  EXPECT_EQ(device.Read(buf, sizeof buf), -1);
  EXPECT_EQ(device.WaitReadable(0), -1);
}

TEST_F(PtyDevice, MasterWritesWaitForRoomOnlyAsLongAsAsked) {
  // Nobody reads the port: the terminal fills up, and a timed write must come
  // back with nothing instead of hanging (the simulator relies on it to end).
  ASSERT_TRUE(device.Open(pty.SlavePath()));
  const std::string block(1 << 20, 'm');
  size_t queued = 0;
  for (long n; (n = pty.Write(block.data(), block.size(), 50)) > 0;) queued += size_t(n);
  EXPECT_GT(queued, 0u);
  EXPECT_LT(queued, block.size());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(pty.Write(block.data(), block.size(), 30), 0);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(30));
  EXPECT_LT(waited, std::chrono::seconds(2));
  // Once the port reads, room comes back.
  char buf[4096];
  size_t read = 0;
  while (device.WaitReadable(200) == 1) {
    const long n = device.Read(buf, sizeof buf);
    if (n <= 0) break;
    read += size_t(n);
  }
  EXPECT_EQ(read, queued);
  EXPECT_GT(pty.Write(block.data(), block.size(), 1000), 0);
  EXPECT_EQ(pty.Write(block.data(), 0, 1000), 0);
}

TEST_F(PtyDevice, LinkPointsAtTheSlaveAndGoesWithIt) {
  const std::string link = testsupport::TempDir("link") + "/port";
  {
    PseudoTerminal other;
    ASSERT_TRUE(other.LinkAt(link));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), other.SlavePath());
    ASSERT_TRUE(device.Open(link));
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

}  // namespace serial_test

// The serial port component: its setters, its control block, and its work
// over a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/CPDrv.h"
#include "tests/app/link_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/clock.h"
#include "toolkit/sys/event_loop.h"

namespace cpdrv_test {

using linktest::ScopedEnv;

TEST(CommPortSettings, DefaultsAreTheComponents) {
  TCommPortDriver port(nullptr);
  EXPECT_EQ(port.Port(), pnCOM2);
  EXPECT_EQ(port.PortName(), "\\\\.\\COM2");
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.BaudRateValue(), 9600u);
  EXPECT_EQ(port.DataBits(), db8BITS);
  EXPECT_EQ(port.StopBits(), sb1BITS);
  EXPECT_EQ(port.Parity(), ptNONE);
  EXPECT_EQ(port.HwFlow(), hfNONERTSON);
  EXPECT_EQ(port.SwFlow(), sfNONE);
  EXPECT_EQ(port.InBufSize(), 2048u);
  EXPECT_EQ(port.OutBufSize(), 2048u);
  EXPECT_EQ(port.PacketSize(), -1);
  EXPECT_EQ(port.PacketTimeout(), -1);
  EXPECT_EQ(port.PacketMode(), pmDiscard);
  EXPECT_EQ(port.PollingDelay(), 50);
  EXPECT_TRUE(port.EnableDTROnOpen());
  EXPECT_EQ(port.OutputTimeout(), 500);
  EXPECT_EQ(port.InputTimeout(), 200u);
  EXPECT_FALSE(port.CheckLineStatus());
  EXPECT_FALSE(port.IsPortOpen());
}

TEST(CommPortSettings, SettersClampAsTheComponentDoes) {
  const struct {
    uint32_t in;
    uint32_t stored;
  } buffers[] = {{100, 128}, {0, 128}, {128, 128}, {4096, 4096}, {8192, 8192}, {10000, 8192}};
  for (const auto& c : buffers) {
    TCommPortDriver port(nullptr);
    port.SetInBufSize(c.in);
    port.SetOutBufSize(c.in);
    EXPECT_EQ(port.InBufSize(), c.stored) << c.in;
    EXPECT_EQ(port.OutBufSize(), c.stored) << c.in;
  }
  const struct {
    uint16_t in;
    uint16_t stored;
  } delays[] = {{2, 5}, {0, 5}, {5, 5}, {50, 50}, {1000, 1000}};
  for (const auto& c : delays) {
    TCommPortDriver port(nullptr);
    port.SetPollingDelay(c.in);
    EXPECT_EQ(port.PollingDelay(), c.stored) << c.in;
  }
  const struct {
    int32_t in;
    int32_t stored;
  } timeouts[] = {{0, -1}, {-7, -1}, {1, 70}, {49, 70}, {50, 50}, {300, 300}};
  for (const auto& c : timeouts) {
    TCommPortDriver port(nullptr);
    port.SetPacketTimeout(c.in);
    EXPECT_EQ(port.PacketTimeout(), c.stored) << c.in;
  }
  const struct {
    int16_t in;
    int16_t stored;
  } packets[] = {{0, -1}, {-3, -1}, {1, 1}, {100, 100}, {5000, 5000}, {8192, 8192}, {8193, -1}, {30000, -1}};
  for (const auto& c : packets) {
    TCommPortDriver port(nullptr);
    port.SetPacketSize(c.in);
    EXPECT_EQ(port.PacketSize(), c.stored) << c.in;
  }
}

TEST(CommPortSettings, PacketTimeoutFollowsALaterPollingDelay) {
  TCommPortDriver port(nullptr);
  port.SetPacketTimeout(60);
  EXPECT_EQ(port.PacketTimeout(), 60);
  port.SetPollingDelay(100);
  EXPECT_EQ(port.PacketTimeout(), 140);
}

TEST(CommPortSettings, RateAndPortNamesFollowEachOther) {
  TCommPortDriver port(nullptr);
  port.SetBaudRate(br115200);
  EXPECT_EQ(port.BaudRateValue(), 115200u);
  port.SetBaudRate(br256000);
  EXPECT_EQ(port.BaudRateValue(), 256000u);
  port.SetBaudRateValue(115200);
  EXPECT_EQ(port.BaudRate(), brCustom);
  port.SetBaudRate(brCustom);
  EXPECT_EQ(port.BaudRateValue(), 115200u);
  port.SetPort(pnCOM16);
  EXPECT_EQ(port.PortName(), "\\\\.\\COM16");
  port.SetPortName("\\\\.\\COM30");
  EXPECT_EQ(port.Port(), pnCustom);
  port.SetPort(pnCustom);
  EXPECT_EQ(port.PortName(), "\\\\.\\COM30");
  const uint32_t rates[] = {0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int r = brCustom; r <= br256000; ++r) EXPECT_EQ(BaudValueOf(TBaudRate(r)), rates[r]);
}

TEST(CommPortSettings, ControlBlockFromTheSettings) {
  struct Case {
    const char* what;
    void (*setup)(TCommPortDriver&);
    TDeviceControlBlock expected;
  };
  auto base = [] {
    TDeviceControlBlock d;
    d.DCBlength = 28;
    d.BaudRate = 9600;
    d.fBinary = true;
    d.fDtrControl = 1;
    d.fRtsControl = 1;
    d.XonLim = 512;
    d.XoffLim = 512;
    d.ByteSize = 8;
    d.XonChar = 17;
    d.XoffChar = 19;
    return d;
  };
  std::vector<Case> cases;
  cases.push_back({"defaults", [](TCommPortDriver&) {}, base()});
  {
    auto d = base();
    d.BaudRate = 115200;
    d.fDtrControl = 0;
    d.StopBits = 2;
    d.XonLim = d.XoffLim = 1024;
    cases.push_back({"the link dialog's port", [](TCommPortDriver& p) {
                       p.SetBaudRateValue(115200);
                       p.SetStopBits(sb2BITS);
                       p.SetInBufSize(4096);
                       p.SetOutBufSize(4096);
                       p.SetEnableDTROnOpen(false);
                     },
                     d});
  }
  {
    auto d = base();
    d.fOutxCtsFlow = true;
    d.fRtsControl = 2;
    d.fOutX = d.fInX = true;
    d.XonLim = d.XoffLim = 2048;
    cases.push_back({"handshakes, largest buffer", [](TCommPortDriver& p) {
                       p.SetHwFlow(hfRTSCTS);
                       p.SetSwFlow(sfXONXOFF);
                       p.SetInBufSize(8192);
                     },
                     d});
  }
  {
    auto d = base();
    d.fRtsControl = 0;
    d.ByteSize = 5;
    d.Parity = 3;
    d.StopBits = 1;
    d.XonLim = d.XoffLim = 32;
    cases.push_back({"no flow, 5 bits, mark parity, 1.5 stop bits", [](TCommPortDriver& p) {
                       p.SetHwFlow(hfNONE);
                       p.SetDataBits(db5BITS);
                       p.SetParity(ptMARK);
                       p.SetStopBits(sb1HALFBITS);
                       p.SetInBufSize(128);
                     },
                     d});
  }
  for (const auto& c : cases) {
    TCommPortDriver port(nullptr);
    c.setup(port);
    EXPECT_TRUE(port.BuildDeviceControlBlock() == c.expected) << c.what;
  }
}

TEST(CommPortSettings, OutputRoomNeverWrapsBelowZero) {
  const struct {
    uint32_t size;
    long queued;
    uint16_t room;
  } cases[] = {{4096, 0, 4096}, {4096, 96, 4000}, {4096, 4096, 0}, {4096, 5000, 0}, {128, 70000, 0}, {4096, -1, 0}};
  for (const auto& c : cases) EXPECT_EQ(OutQueueRoomOf(c.size, c.queued), c.room) << c.size << " " << c.queued;
}

TEST(CommPortClosed, OperationsReportTheClosedPort) {
  TCommPortDriver port(nullptr);
  uint8_t b = 0;
  EXPECT_FALSE(port.PutByte('x'));
  EXPECT_FALSE(port.FetchByte(&b));
  EXPECT_EQ(port.PutData("abc", 3), 0u);
  EXPECT_EQ(port.InQueueCount(), 65535u);
  EXPECT_EQ(port.OutQueueRoom(), 65535);
  EXPECT_EQ(port.GetLineBits(), 0);
  EXPECT_FALSE(port.PurgeBuffers(true, true));
  EXPECT_FALSE(port.ApplyPortSettings());
  port.ClosePort();  // harmless
}

// A port mapped to one end of a pseudo-terminal, the test holding the other.
struct PtyPort : ::testing::Test {
  std::string dir = testsupport::TempDir("pty");
  ScopedEnv settings{"KIV7_SETTINGS", (dir + "/settings.ini").c_str()};
  PseudoTerminal pty;
  std::string map = "COM3=" + pty.SlavePath() + ";COM4=" + dir + "/missing;COM6=/dev/null";
  ScopedEnv ports{"KIV7_PORTS", map.c_str()};
  TCommPortDriver port{nullptr};

  PtyPort() {
    port.SetPortName("\\\\.\\COM3");
    port.SetInputTimeout(40);
  }
  // Waits until the port has count bytes queued.
  bool WaitQueued(uint32_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (port.InQueueCount() < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
  void MasterWrite(const std::string& bytes) { ASSERT_TRUE(pty.WriteAll(bytes.data(), bytes.size())); }
  std::string MasterRead(size_t count) {
    std::string got;
    char buf[4096];
    while (got.size() < count) {
      const long n = pty.Read(buf, sizeof buf, 2000);
      if (n <= 0) break;
      got.append(buf, size_t(n));
    }
    return got;
  }
};

TEST_F(PtyPort, OpensTheMappedDeviceAndKeepsItsNameWhileOpen) {
  ASSERT_TRUE(port.OpenPort());
  EXPECT_TRUE(port.IsPortOpen());
  EXPECT_EQ(port.DevicePath(), pty.SlavePath());
  EXPECT_TRUE(port.OpenPort());  // already open
  port.SetPortName("\\\\.\\COM4");
  port.SetPort(pnCOM5);
  port.SetInBufSize(512);
  EXPECT_EQ(port.PortName(), "\\\\.\\COM3");
  EXPECT_EQ(port.InBufSize(), 2048u);
  port.ClosePort();
  EXPECT_FALSE(port.IsPortOpen());
  port.SetPortName("\\\\.\\COM4");
  EXPECT_EQ(port.PortName(), "\\\\.\\COM4");
}

TEST_F(PtyPort, OpenFailsCleanlyForMissingUnmappedAndNonSerialDevices) {
  for (const char* name : {"\\\\.\\COM4", "\\\\.\\COM6", "\\\\.\\COM9", "COMX"}) {
    port.SetPortName(name);
    EXPECT_FALSE(port.OpenPort()) << name;
    EXPECT_FALSE(port.IsPortOpen()) << name;
  }
}

TEST_F(PtyPort, PortIsExclusiveAndFreeAgainAfterClose) {
  ASSERT_TRUE(port.OpenPort());
  TCommPortDriver other(nullptr);
  other.SetPortName("\\\\.\\COM3");
  EXPECT_FALSE(other.OpenPort());
  port.ClosePort();
  // The pseudo-terminal lives on (the test holds it): the exclusive flag must
  // not outlive the descriptor that set it.
  EXPECT_TRUE(other.OpenPort());
}

TEST_F(PtyPort, OpensWithAndWithoutDtrAndAtRatesOutsideTheClassicSet) {
  for (bool dtr : {true, false}) {
    for (uint32_t rate : {115200u, 250000u, 14400u}) {
      port.SetEnableDTROnOpen(dtr);
      port.SetBaudRateValue(rate);
      EXPECT_TRUE(port.OpenPort()) << rate << " dtr " << dtr;
      EXPECT_TRUE(port.ApplyPortSettings());
      port.ClosePort();
    }
  }
}

TEST_F(PtyPort, WritesReachTheLineAndReadsTimeOut) {
  ASSERT_TRUE(port.OpenPort());
  EXPECT_TRUE(port.PutByte('V'));
  const std::string block(3000, 'x');
  EXPECT_EQ(port.PutData(block.data(), uint32_t(block.size())), block.size());
  EXPECT_EQ(MasterRead(3001), "V" + block);

  uint8_t b = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.FetchByte(&b));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(40));
  EXPECT_LT(waited, std::chrono::seconds(2));

  MasterWrite("Zab");
  uint8_t got[3] = {};
  EXPECT_EQ(port.FetchData(got, 3), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 3), "Zab");
}

TEST_F(PtyPort, TimedWritesGiveUpWhenTheLineTakesNoMoreAndCountWhatWent) {
  // Nobody reads the other end: the terminal's queue fills, and the write
  // must return what went after the time-out instead of hanging. With the
  // line check on, a pseudo-terminal (no modem lines) takes nothing at all.
  const struct {
    const char* what;
    bool check_line;
    uint32_t timeout_ms;
    bool some_written;
  } cases[] = {
      {"queue full, short time-out", false, 30, true},
      {"queue full, longer time-out", false, 120, true},
      {"line check with no modem lines", true, 120, false},
  };
  const std::string block(1 << 20, 'w');
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    port.SetCheckLineStatus(c.check_line);
    ASSERT_TRUE(port.OpenPort());
    EXPECT_EQ(port.GetLineBits(), 0) << "unreadable modem lines count as none";
    EXPECT_EQ(port.OutQueueRoom(), port.OutBufSize()) << "a pseudo-terminal queues no output of its own";
    const auto start = std::chrono::steady_clock::now();
    const uint32_t written = port.PutDataTimed(block.data(), uint32_t(block.size()), c.timeout_ms);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(written, block.size());
    EXPECT_EQ(written > 0, c.some_written) << written;
    if (c.some_written) {
      EXPECT_GE(waited, std::chrono::milliseconds(c.timeout_ms));
    }
    EXPECT_LT(waited, std::chrono::milliseconds(c.timeout_ms + 2000));
    // Exactly the counted bytes reached the line.
    EXPECT_EQ(MasterRead(written), block.substr(0, written));
    char extra = 0;
    EXPECT_EQ(pty.Read(&extra, 1, 20), 0);
    port.ClosePort();
  }
}

TEST_F(PtyPort, PurgeDropsWaitingInput) {
  ASSERT_TRUE(port.OpenPort());
  MasterWrite("12345");
  ASSERT_TRUE(WaitQueued(5));
  EXPECT_EQ(port.InQueueCount(), 5u);
  EXPECT_TRUE(port.PurgeBuffers(true, false));
  EXPECT_EQ(port.InQueueCount(), 0u);
}

TEST_F(PtyPort, LineSettingsReapplyAtOnceWhileOpenAndPurge) {
  // A line setting changed on an open port is applied at once, which purges
  // what waits; the plain fields change nothing on the line.
  const struct {
    const char* what;
    void (*change)(TCommPortDriver&);
    bool reapplies;
  } cases[] = {
      {"BaudRate", [](TCommPortDriver& p) { p.SetBaudRate(br57600); }, true},
      {"BaudRateValue", [](TCommPortDriver& p) { p.SetBaudRateValue(250000); }, true},
      {"DataBits", [](TCommPortDriver& p) { p.SetDataBits(db7BITS); }, true},
      {"StopBits", [](TCommPortDriver& p) { p.SetStopBits(sb2BITS); }, true},
      {"Parity", [](TCommPortDriver& p) { p.SetParity(ptEVEN); }, true},
      {"HwFlow", [](TCommPortDriver& p) { p.SetHwFlow(hfNONE); }, true},
      {"SwFlow", [](TCommPortDriver& p) { p.SetSwFlow(sfXONXOFF); }, true},
      {"EnableDTROnOpen", [](TCommPortDriver& p) { p.SetEnableDTROnOpen(false); }, false},
      {"InputTimeout", [](TCommPortDriver& p) { p.SetInputTimeout(300); }, false},
      {"PacketTimeout", [](TCommPortDriver& p) { p.SetPacketTimeout(500); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TCommPortDriver p(nullptr);
    p.SetPortName("\\\\.\\COM3");
    ASSERT_TRUE(p.OpenPort());
    MasterWrite("queued");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (p.InQueueCount() < 6 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    ASSERT_EQ(p.InQueueCount(), 6u);
    c.change(p);
    EXPECT_EQ(p.InQueueCount(), c.reapplies ? 0u : 6u);
    EXPECT_TRUE(p.IsPortOpen());
  }
}

struct Received {
  std::vector<std::string> chunks;
  std::string All() const {
    std::string all;
    for (const auto& c : chunks) all += c;
    return all;
  }
};

TEST_F(PtyPort, PollDeliversWhatIsQueuedInBufferSizedChunks) {
  Received r;
  port.OnReceiveData = [&](TComponent* sender, const void* data, uint32_t size) {
    EXPECT_EQ(sender, &port);
    r.chunks.emplace_back(static_cast<const char*>(data), size);
  };
  port.SetInBufSize(128);
  ASSERT_TRUE(port.OpenPort());
  port.Poll();
  EXPECT_TRUE(r.chunks.empty()) << "a poll without bytes raised the event";

  MasterWrite("hello");
  ASSERT_TRUE(WaitQueued(5));
  port.Poll();
  EXPECT_EQ(r.chunks, std::vector<std::string>{"hello"});

  r.chunks.clear();
  std::string block;
  for (int i = 0; i < 1000; ++i) block += char('0' + i % 16);
  MasterWrite(block);
  ASSERT_TRUE(WaitQueued(1000));
  port.Poll();
  EXPECT_EQ(r.All(), block);
  for (const auto& c : r.chunks) EXPECT_LE(c.size(), 128u);

  r.chunks.clear();
  {
    TCommPortDriver::TPollPause outer(port);
    {
      TCommPortDriver::TPollPause inner(port);
      MasterWrite("x");
      ASSERT_TRUE(WaitQueued(1));
      port.Poll();
      EXPECT_TRUE(r.chunks.empty()) << "a paused poll read";
    }
    port.Poll();
    EXPECT_TRUE(r.chunks.empty()) << "the outer pause ended with the inner one";
  }
  port.Poll();
  EXPECT_EQ(r.All(), "x");
}

TEST_F(PtyPort, AHandlerThatClosesThePortEndsThePoll) {
  int calls = 0;
  port.SetInBufSize(128);
  port.OnReceiveData = [&](TComponent*, const void*, uint32_t) {
    ++calls;
    port.ClosePort();
  };
  ASSERT_TRUE(port.OpenPort());
  MasterWrite(std::string(600, '5'));
  ASSERT_TRUE(WaitQueued(600));
  port.Poll();
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(port.IsPortOpen());
}

TEST_F(PtyPort, TheTimerPollsEveryPollingDelay) {
  TManualClock clock(1000);
  ScopedTickClock scoped(clock.Source());
  Received r;
  port.OnReceiveData = [&](TComponent*, const void* data, uint32_t size) {
    r.chunks.emplace_back(static_cast<const char*>(data), size);
  };
  ASSERT_TRUE(port.OpenPort());
  MasterWrite("abc");
  ASSERT_TRUE(WaitQueued(3));
  AdvanceTimers(clock, 49);
  EXPECT_TRUE(r.chunks.empty());
  AdvanceTimers(clock, 1);
  EXPECT_EQ(r.All(), "abc");
  port.SetPollingDelay(20);  // restarts the poll with the new period
  MasterWrite("d");
  ASSERT_TRUE(WaitQueued(1));
  AdvanceTimers(clock, 20);
  EXPECT_EQ(r.All(), "abcd");
  port.ClosePort();
  MasterWrite("e");
  AdvanceTimers(clock, 200);
  EXPECT_EQ(r.All(), "abcd");
}

TEST_F(PtyPort, PacketModeCutsTheStreamAndTimesOutPartialPackets) {
  for (TPacketMode mode : {pmPass, pmDiscard}) {
    SCOPED_TRACE(mode == pmPass ? "pass" : "discard");
    TManualClock clock(5000);
    ScopedTickClock scoped(clock.Source());
    TCommPortDriver p(nullptr);
    p.SetPortName("\\\\.\\COM3");
    p.SetPacketSize(4);
    p.SetPacketTimeout(100);
    p.SetPacketMode(mode);
    std::vector<std::string> packets;
    int data_events = 0;
    p.OnReceivePacket = [&](TComponent*, const void* data, uint32_t size) {
      packets.emplace_back(static_cast<const char*>(data), size);
    };
    p.OnReceiveData = [&](TComponent*, const void*, uint32_t) { ++data_events; };
    ASSERT_TRUE(p.OpenPort());
    MasterWrite("ABCDEFGHIJ");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (p.InQueueCount() < 10 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    p.Poll();
    EXPECT_EQ(packets, (std::vector<std::string>{"ABCD", "EFGH"}));
    p.Poll();  // the partial packet starts its clock
    clock.Advance(100);
    p.Poll();
    EXPECT_EQ(packets.size(), 2u) << "a partial packet left before its time-out";
    clock.Advance(1);
    p.Poll();
    if (mode == pmPass)
      EXPECT_EQ(packets, (std::vector<std::string>{"ABCD", "EFGH", "IJ"}));
    else
      EXPECT_EQ(packets.size(), 2u);
    EXPECT_EQ(p.InQueueCount(), 0u);
    EXPECT_EQ(data_events, 0);
    p.ClosePort();
  }
}

TEST_F(PtyPort, APacketLargerThanTheInputBufferArrivesWhole) {
  // The packet size grows the read buffer past InBufSize, also when the
  // buffer size is set again afterwards.
  Received r;
  port.OnReceivePacket = [&](TComponent*, const void* data, uint32_t size) {
    r.chunks.emplace_back(static_cast<const char*>(data), size);
  };
  port.SetInBufSize(128);
  port.SetPacketSize(3000);
  port.SetInBufSize(256);
  ASSERT_TRUE(port.OpenPort());
  std::string bytes;
  for (int i = 0; i < 3010; ++i) bytes += char('A' + i % 26);
  MasterWrite(bytes);
  ASSERT_TRUE(WaitQueued(3010));
  port.Poll();
  EXPECT_EQ(r.chunks, std::vector<std::string>{bytes.substr(0, 3000)});
  EXPECT_EQ(port.InQueueCount(), 10u);
}

TEST(CommPortPackets, TransitTimeAtTenBitsAByte) {
  EXPECT_EQ(PacketTransitMs(96, 9600), 100u);
  EXPECT_EQ(PacketTransitMs(1, 115200), 0u);
  EXPECT_EQ(PacketTransitMs(6, 115200), 1u);
  EXPECT_EQ(PacketTransitMs(10, 0), 0u);
}

}  // namespace cpdrv_test

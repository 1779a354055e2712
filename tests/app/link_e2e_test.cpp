// The link end to end: the protocol over TCommPortDriver on a pseudo-terminal
// against the instrument simulator.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/CPDrv.h"
#include "app/link.h"
#include "tests/app/link_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/clock.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/event_loop.h"

namespace link_e2e_test {

using linktest::ScopedEnv;
using linktest::Simulator;

AnsiString A(const char* utf8) { return Utf8ToAnsi(utf8); }

struct LinkEndToEnd : ::testing::Test {
  std::string dir = testsupport::TempDir("e2e");
  std::string sim_port = dir + "/instrument";
  std::string image_path = dir + "/image.bin";
  ScopedEnv settings{"KIV7_SETTINGS", (dir + "/settings.ini").c_str()};
  std::string map = "COM1=" + sim_port;
  std::unique_ptr<ScopedEnv> ports = std::make_unique<ScopedEnv>("KIV7_PORTS", map.c_str());

  void MapPorts(const std::string& m) {
    map = m;
    ports.reset();
    ports = std::make_unique<ScopedEnv>("KIV7_PORTS", map.c_str());
  }
  std::string DumpOf(TLinkRunner& link) {
    const TRecordDump& d = link.Protocol().Dump();
    return std::string(d.DumpBuffer.begin(), d.DumpBuffer.begin() + d.DumpLength);
  }
  // Drives the link on a manual clock, giving the simulator real time to
  // answer between the poll's ticks.
  bool PumpManual(TLinkRunner& link, TManualClock& clock) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!link.Ended() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      AdvanceTimers(clock, 50);
    }
    return link.Ended();
  }
};

TEST_F(LinkEndToEnd, TransfersEqualTheSimulatorsImageByteForByte) {
  // 9 acoustic records and w1 = 288 bending ones: 9 * 32 + 288 * 16 bytes.
  std::string memory(9 * 32 + 288 * 16, '\0');
  std::mt19937 rng(7);
  for (auto& c : memory) c = char(rng());
  memory[0] = char(288 & 0xFF);
  memory[1] = char(288 >> 8);
  memory[2] = 1;  // w2 not zero
  testsupport::WriteFile(dir + "/memory.bin", memory);
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int subtype;
    int records;
  };
  const Case cases[] = {
      {"press records", {"--press", "5", "--subtype", "3", "--seed", "11"}, 3, 5},
      {"acoustic and bending records", {"--acoustic", "4", "--bending", "3", "--seed", "5"}, 20, 4},
      {"raw memory in pieces", {"--records", dir + "/memory.bin", "--count", "9", "--chunk", "700"}, 20, 9},
      {"one character per chunk", {"--press", "3", "--subtype", "3", "--chunk", "1", "--delay-ms", "1"}, 3, 3},
      {"a 'Z' in mid-stream", {"--press", "6", "--subtype", "3", "--z-after", "57"}, 3, 6},
      // What a real instrument may send beside what is read: other characters
      // where the identification carries no field, memory beyond the records
      // its counts announce, a character left over before the end marker
      // (6 * 32 + 4 * 16 bytes put the 'P' at offset 513).
      {"unread identification positions", {"--press", "4", "--subtype", "3", "--ident-unread", "x~ @#/"}, 3, 4},
      {"memory beyond the announced records", {"--acoustic", "3", "--bending", "2", "--surplus", "300"}, 20, 3},
      {"both, in pieces",
       {"--acoustic", "2", "--ident-unread", "\x7f\xff", "--surplus", "5", "--chunk", "7"},
       20,
       2},
      {"a character left over before the end", {"--acoustic", "6", "--bending", "4", "--extra", "513"}, 20, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--serial", "4321", "--dump-out", image_path});
    Simulator sim(sim_port, args);
    ASSERT_TRUE(sim.Ready());
    TLinkRunner link;
    ASSERT_EQ(link.Run(20000), kLinkResultOk) << AnsiToUtf8(link.StatusText);
    const TInstrumentIdentity& id = link.Protocol().Identity();
    EXPECT_EQ(id.DeviceFamily, 18);
    EXPECT_EQ(id.DeviceSubtype, c.subtype);
    EXPECT_EQ(id.DeviceSerial, 4321);
    EXPECT_EQ(id.DumpRecordCount, c.records);
    EXPECT_EQ(id.FirmwareDate, "12.05.06");
    EXPECT_EQ(id.FirmwareVersion, "1.25");
    EXPECT_EQ(DumpOf(link), testsupport::ReadFile(image_path));
    EXPECT_EQ(link.InstrumentType, A("ЛИВТ-КС7"));
    EXPECT_EQ(link.Progress, 100);
    EXPECT_FALSE(link.Port().IsPortOpen());
    EXPECT_TRUE(link.Messages.empty());
  }
}

TEST_F(LinkEndToEnd, AFullMemoryCrossesWithoutLoss) {
  // 200 acoustic records and w1 = 3,696 bending ones fill the dump.
  std::string memory(kDumpBufferSize, '\0');
  std::mt19937 rng(3);
  for (auto& c : memory) c = char(rng());
  memory[0] = char(3696 & 0xFF);
  memory[1] = char(3696 >> 8);
  memory[2] = 1;
  testsupport::WriteFile(dir + "/memory.bin", memory);
  Simulator sim(sim_port, {"--records", dir + "/memory.bin", "--count", "200"});
  ASSERT_TRUE(sim.Ready());
  TLinkRunner link;
  ASSERT_EQ(link.Run(30000), kLinkResultOk);
  EXPECT_EQ(link.Protocol().Dump().DumpLength, kDumpBufferSize);
  EXPECT_EQ(DumpOf(link), memory);
}

TEST_F(LinkEndToEnd, RefusalsEndWithTheirTexts) {
  const struct {
    const char* what;
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {"another instrument family", {"--family", "17"}, "Вы подключили не тот прибор !"},
      {"an empty memory", {"--press", "0"}, "Нет данных для передачи!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Simulator sim(sim_port, c.args);
    ASSERT_TRUE(sim.Ready());
    TLinkRunner link;
    EXPECT_EQ(link.Run(20000), kLinkResultCancel);
    EXPECT_EQ(link.Messages, std::vector<AnsiString>{A(c.message)});
    EXPECT_FALSE(link.Port().IsPortOpen());
  }
}

TEST_F(LinkEndToEnd, ALineFaultInTheDataReplyRefusesTheTransfer) {
  const struct {
    const char* what;
    std::vector<std::string> args;
  } cases[] = {
      {"a lost character", {"--lose", "40"}},
      {"a character outside '0' ... '?'", {"--garble", "40"}},
      {"a lost character in pieces", {"--lose", "201", "--chunk", "64"}},
      // Memory beyond the announced records is decoded into the dump too.
      {"a character outside '0' ... '?' beyond the records", {"--surplus", "10", "--garble", "520"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = {"--acoustic", "6", "--bending", "4"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Simulator sim(sim_port, args);
    ASSERT_TRUE(sim.Ready());
    TLinkRunner link;
    EXPECT_EQ(link.Run(20000), kLinkResultCancel);
    EXPECT_EQ(link.Messages, std::vector<AnsiString>{A("Ошибка приема данных!")});
    EXPECT_EQ(link.Protocol().Dump().DumpLength, 0u);
    EXPECT_NE(link.Progress, 100);
    EXPECT_FALSE(link.Port().IsPortOpen());
  }
}

TEST_F(LinkEndToEnd, ASilentInstrumentOnAnOpenPortIsAwaitedUntilCancel) {
  Simulator sim(sim_port, {"--silent"});
  ASSERT_TRUE(sim.Ready());
  TManualClock clock(100000);
  ScopedTickClock scoped(clock.Source());
  TLinkRunner link;
  link.Start();
  ASSERT_TRUE(link.Port().IsPortOpen());
  AdvanceTimers(clock, 2999);
  EXPECT_TRUE(link.Timer1().Enabled());
  AdvanceTimers(clock, 1);
  EXPECT_FALSE(link.Timer1().Enabled()) << "Timer1 did not expire at 3000 ms";
  EXPECT_TRUE(link.Port().IsPortOpen());
  EXPECT_TRUE(link.SearchLines.empty());
  EXPECT_FALSE(link.Ended());
  AdvanceTimers(clock, 10000);
  EXPECT_EQ(link.StatusText, A("Ожидание готовности прибора ..."));
  EXPECT_FALSE(link.Ended());
  link.Cancel();
  EXPECT_EQ(link.Result(), kLinkResultCancel);
  EXPECT_FALSE(link.Port().IsPortOpen());
}

TEST_F(LinkEndToEnd, PortSearchFindsTheInstrumentBehindCom5) {
  Simulator sim(sim_port, {"--press", "2", "--subtype", "3", "--dump-out", image_path});
  ASSERT_TRUE(sim.Ready());
  // COM1 is missing, COM2 is no serial device, COM3 and COM4 have no device.
  MapPorts("COM1=" + dir + "/missing;COM2=/dev/null;COM5=" + sim_port);
  TManualClock clock(100000);
  ScopedTickClock scoped(clock.Source());
  TLinkRunner link;
  link.Start();
  EXPECT_FALSE(link.Port().IsPortOpen());
  AdvanceTimers(clock, 2999);
  EXPECT_TRUE(link.SearchLines.empty());
  AdvanceTimers(clock, 1);
  std::vector<AnsiString> expected;
  for (int n = 1; n <= 5; ++n) expected.push_back(A("Поиск прибора....ComPort №") + "\\\\.\\COM" + std::to_string(n));
  expected.push_back(A("Прибор найден ComPort №") + "\\\\.\\COM5");
  EXPECT_EQ(link.SearchLines, expected);
  EXPECT_EQ(link.Port().PortName(), "\\\\.\\COM5");
  ASSERT_TRUE(PumpManual(link, clock));
  EXPECT_EQ(link.Result(), kLinkResultOk);
  EXPECT_EQ(DumpOf(link), testsupport::ReadFile(image_path));
}

TEST_F(LinkEndToEnd, NoInstrumentAnywhereEndsWithTheNotFoundBox) {
  MapPorts("COM1=" + dir + "/missing");
  TManualClock clock(100000);
  ScopedTickClock scoped(clock.Source());
  TLinkRunner link;
  link.Start();
  AdvanceTimers(clock, 3000);
  EXPECT_EQ(link.Result(), kLinkResultCancel);
  EXPECT_EQ(link.SearchLines.size(), 38u);
  EXPECT_EQ(link.SearchText, "");
  EXPECT_EQ(link.Messages,
            std::vector<AnsiString>{A("Прибор не обнаружен! Проверте правильность подключения согласно инструкции!")});
  EXPECT_EQ(link.MessageCaption, A("Ошибка"));
  EXPECT_EQ(link.Port().PortName(), "\\\\.\\COM1");
}

TEST_F(LinkEndToEnd, ProbePrintsTheIdentityAndWritesTheDump) {
  const std::string probe = std::string(KIV7_BINARY_DIR) + "/tools/link_probe/link_probe";
  {
    Simulator sim(sim_port, {"--acoustic", "2", "--bending", "1", "--serial", "77", "--dump-out", image_path});
    ASSERT_TRUE(sim.Ready());
    std::string out;
    const int code = testsupport::RunCommand(probe + " --port " + sim_port + " --out " + dir + "/dump.bin", &out);
    EXPECT_EQ(code, 0) << out;
    for (const char* line : {"family=18\n", "subtype=20\n", "serial=77\n", "firmware_date=12.05.06\n",
                             "version=1.25\n", "records=2\n"})
      EXPECT_NE(out.find(line), std::string::npos) << line << " missing in\n" << out;
    EXPECT_EQ(testsupport::ReadFile(dir + "/dump.bin"), testsupport::ReadFile(image_path));
  }
  {
    Simulator sim(sim_port, {"--family", "17"});
    ASSERT_TRUE(sim.Ready());
    std::string out;
    const int code = testsupport::RunCommand("KIV7_PORTS='COM1=" + sim_port + "' " + probe +
                                                 " --port '\\\\.\\COM1' --out " + dir + "/none.bin",
                                             &out);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(out, "Вы подключили не тот прибор !\n");
  }
}

// --timeout-ms is the silence the probe waits through, not a deadline for the
// whole transfer: a slow transfer whose pauses are shorter goes through, a
// silent instrument ends the probe.
TEST_F(LinkEndToEnd, ProbeTimeoutIsTheInstrumentsSilence) {
  const std::string probe = std::string(KIV7_BINARY_DIR) + "/tools/link_probe/link_probe";
  {
    // About 1.2 s in all, 150 ms at most between pieces.
    Simulator sim(sim_port,
                  {"--press", "10", "--subtype", "3", "--chunk", "60", "--delay-ms", "150", "--dump-out", image_path});
    ASSERT_TRUE(sim.Ready());
    std::string out;
    EXPECT_EQ(testsupport::RunCommand(probe + " --port " + sim_port + " --timeout-ms 700 --out " + dir + "/dump.bin",
                                      &out),
              0)
        << out;
    EXPECT_EQ(testsupport::ReadFile(dir + "/dump.bin"), testsupport::ReadFile(image_path));
  }
  {
    Simulator sim(sim_port, {"--silent"});
    ASSERT_TRUE(sim.Ready());
    std::string out;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(testsupport::RunCommand(probe + " --port " + sim_port + " --timeout-ms 300 --out " + dir + "/none.bin",
                                      &out),
              2);
    EXPECT_EQ(out, "Ожидание готовности прибора ...\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

}  // namespace link_e2e_test

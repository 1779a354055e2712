// The main window run through kiv7_drive in a folder of the test's own, with
// the instrument simulator at hand, for the tests of its commands; and the
// runtime's fixed number texts they compare with.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/app/link_support.h"
#include "tests/support/testsupport.h"

namespace drive_test {

inline std::string Bin(const char* tool) {
  return std::string(KIV7_BINARY_DIR) + "/tools/" + tool + "/" + tool;
}

class DriveTest : public ::testing::Test {
 protected:
  explicit DriveTest(const std::string& name) : dir(testsupport::TempDir(name)), port(dir + "/instrument") {}

  // Runs kiv7_drive with the script; its output.
  std::string Drive(const std::string& script) {
    testsupport::WriteFile(dir + "/script.txt", script);
    std::string out;
    const std::string command = "cd '" + dir + "' && KIV7_PORTS='COM1=" + port +
                                "' QT_QPA_PLATFORM=offscreen timeout 300 '" + Bin("kiv7_drive") + "' --settings '" +
                                dir + "/kiv7.ini' < '" + dir + "/script.txt' 2>/dev/null";
    EXPECT_EQ(testsupport::RunCommand(command, &out), 0) << out;
    return out;
  }
  // A table of the instrument's records, made by "Создать" from the simulator.
  void FromInstrument(const std::string& table, const std::vector<std::string>& sim_args) {
    linktest::Simulator sim(port, sim_args);
    ASSERT_TRUE(sim.Ready());
    const std::string out = Drive("save-as " + table + "\nmenu Создать\nmenu Закрыть\n");
    ASSERT_TRUE(std::filesystem::exists(table)) << out;
  }

  std::string dir;
  std::string port;
};

// The runtime's "%<width>.<decimals>f" for 0 or 1 decimals: the value's exact
// binary digits rounded with halves away from zero (printf rounds an exact
// half to even), the decimal comma of the Russian locale. Times ten is exact
// in long double, so a half found there is a true one.
inline std::string Fixed(int width, int decimals, double value) {
  const long double scale = decimals ? 10.0L : 1.0L;
  const long double scaled = std::fabs(static_cast<long double>(value)) * scale;
  long double shown = value;
  if (scaled - std::floor(scaled) == 0.5L)
    shown = std::copysign((std::floor(scaled) + 1) / scale, static_cast<long double>(value));
  char text[64];
  std::snprintf(text, sizeof text, "%*.*Lf", width, decimals, shown);
  std::string s = text;
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

}  // namespace drive_test

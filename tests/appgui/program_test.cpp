// The program itself, run as the user runs it: its first start under a
// screen, and its end when there is no screen to show anything on.
#include <gtest/gtest.h>

#include <unistd.h>

#include "tests/app/link_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"
#include "toolkit/sys/settings.h"

namespace program_test {

const std::string kProgram = std::string(KIV7_BINARY_DIR) + "/app/kiv7";

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

TEST(Program, WithoutAScreenEndsAsAStartupFailureWithExitCodeOne) {
  ASSERT_TRUE(FileExists(kProgram)) << "build the kiv7 target first";
  const std::string dir = testsupport::TempDir("program_no_screen");
  // No display for the desktop's platform, and a platform that does not exist.
  for (const char* platform : {"xcb", "no-such-platform"}) {
    std::string out;
    const int code = testsupport::RunCommand("cd " + Quoted(dir) +
                                                 " && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=" + platform +
                                                 " KIV7_SETTINGS=" + Quoted(dir + "/kiv7.ini") + " " +
                                                 Quoted(kProgram) + " 2>&1",
                                             &out);
    EXPECT_EQ(code, 1) << platform << "\n" << out;
    EXPECT_NE(out.find("Application Error: Exception EOSError in module kiv7 at "), std::string::npos)
        << platform << "\n" << out;
    // Nothing got as far as the main window.
    EXPECT_FALSE(FileExists(dir + "/kiv7.ini")) << platform;
  }
}

TEST(Program, FirstStartWritesTheCurrentFolderAsDefaultDir) {
  ASSERT_TRUE(FileExists(kProgram)) << "build the kiv7 target first";
  const std::string dir = testsupport::TempDir("program_first_start");
  const std::string settings = dir + "/kiv7.ini";
  // The program runs until it is told to stop; it is stopped once its main
  // window (made before the splash shows) has written the folder. The file
  // exists earlier: opening the settings key writes it before the value.
  std::string out;
  const int code = testsupport::RunCommand(
      "cd " + Quoted(dir) + " && QT_QPA_PLATFORM=offscreen KIV7_SETTINGS=" + Quoted(settings) + " " +
          Quoted(kProgram) + " 2>/dev/null & p=$!; for i in $(seq 400); do grep -qs Default_dir " +
          Quoted(settings) + " && break; sleep 0.05; done; kill $p; wait $p; echo running=$?",
      &out);
  EXPECT_EQ(code, 0);
  // Killed by the test (128 + SIGTERM), not ended by itself.
  EXPECT_NE(out.find("running=143"), std::string::npos) << out;
  TRegistry registry(settings);
  ASSERT_TRUE(registry.OpenKey("\\Software\\Tessamyrlin\\KIV7\\1.0", false));
  EXPECT_EQ(AnsiToUtf8(registry.ReadString("Default_dir")), dir);
}

}  // namespace program_test

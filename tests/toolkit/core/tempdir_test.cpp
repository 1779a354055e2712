// The folders tests make their files in go with the process that made them.
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tempdir_test {

constexpr const char* kProbe = "KIV7_TEMPDIR_PROBE";

// Run twice: as a test, it runs this binary again on itself alone with the
// probe variable set; that child makes a folder with a file, prints the
// folder and ends. Once the child has ended, the folder is gone.
TEST(TestFolders, AreRemovedWhenTheirProcessEnds) {
  if (std::getenv(kProbe)) {
    const std::string dir = testsupport::TempDir("probe");
    testsupport::WriteFile(dir + "/file", "kept while the process runs");
    ASSERT_TRUE(std::filesystem::exists(dir + "/file"));
    std::printf("folder=%s\n", dir.c_str());
    return;
  }
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string out;
  // The child runs this test alone, whatever share of the cases this process runs.
  const int status = testsupport::RunCommand(
      "env -u GTEST_TOTAL_SHARDS -u GTEST_SHARD_INDEX " + std::string(kProbe) + "=1 '" + self +
          "' --gtest_filter=TestFolders.AreRemovedWhenTheirProcessEnds 2>&1",
      &out);
  ASSERT_EQ(status, 0) << out;
  const auto at = out.find("folder=");
  ASSERT_NE(at, std::string::npos) << out;
  const std::string dir = out.substr(at + 7, out.find('\n', at) - at - 7);
  const std::filesystem::path root = std::filesystem::path(dir).parent_path();
  EXPECT_EQ(root.filename().string().rfind("kiv7-tests-", 0), 0u) << dir;
  EXPECT_EQ(root.parent_path(), std::filesystem::temp_directory_path()) << dir;
  EXPECT_FALSE(std::filesystem::exists(root)) << root << " outlived the process that made it";
}

}  // namespace tempdir_test

// The compound file: streams readable by an independent reader, and failures
// that leave nothing behind.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "tests/support/testsupport.h"
#include "toolkit/sys/compound.h"

namespace compound_test {

TEST(CompoundFile, StreamsReadBackWithOlefile) {
  const std::string dir = testsupport::TempDir("ole");
  const std::string big(70000, 'b');  // beyond the small-stream limit
  SaveCompoundFile(dir + "/two.ole", {{"Workbook", "small"}, {"Big", big}});
  testsupport::WriteFile(dir + "/read.py",
                         "import olefile, sys\n"
                         "o = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)\n"
                         "print(sorted(o.listdir()), o.openstream('Workbook').read(), len(o.openstream('Big').read()))\n");
  std::string out;
  EXPECT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " " + dir + "/read.py " + dir + "/two.ole 2>&1", &out), 0);
  EXPECT_EQ(out, "[['Big'], ['Workbook']] b'small' 70000\n");
}

TEST(CompoundFile, FailuresNameTheStepAndLeaveTheTargetAlone) {
  const std::string dir = testsupport::TempDir("fail");
  testsupport::WriteFile(dir + "/keep.ole", "keep");
  struct Case {
    std::string path;
    std::string stream;
    TCompoundFailure failure;
    int code;
  };
  const Case cases[] = {
      {dir + "/no/such/folder.ole", "Workbook", TCompoundFailure::cfCreate, ENOENT},
      {dir, "Workbook", TCompoundFailure::cfCreate, EISDIR},
      {dir + "/keep.ole", "a/b", TCompoundFailure::cfCreateStream, EINVAL},
      {dir + "/keep.ole", std::string(32, 'n'), TCompoundFailure::cfCreateStream, EINVAL},
      {dir + "/keep.ole", "", TCompoundFailure::cfCreateStream, EINVAL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + " " + c.stream);
    try {
      SaveCompoundFile(c.path, {{c.stream, "data"}});
      ADD_FAILURE() << "saved";
    } catch (const ECompoundFileError& e) {
      EXPECT_EQ(e.Failure(), c.failure);
      EXPECT_EQ(e.Code(), c.code);
    }
  }
  EXPECT_EQ(testsupport::ReadFile(dir + "/keep.ole"), "keep");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1);
}

TEST(CompoundFile, ReplacingKeepsPermissionsAndFollowsLinks) {
  const std::string dir = testsupport::TempDir("perm");
  testsupport::WriteFile(dir + "/real.ole", "old");
  std::filesystem::permissions(dir + "/real.ole", std::filesystem::perms(0640));
  std::filesystem::create_symlink("real.ole", dir + "/link.ole");
  SaveCompoundFile(dir + "/link.ole", {{"Workbook", "new"}});
  EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link.ole"));
  EXPECT_EQ(testsupport::ReadFile(dir + "/real.ole").substr(0, 4), "\xD0\xCF\x11\xE0");
  EXPECT_EQ(std::filesystem::status(dir + "/real.ole").permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0640));
}

// A write the system refuses midway (here a file-size limit, as a full disk
// would) is a write failure with the system's error number; the old file
// stays and the partial one is gone. Run in a child, as the limit stays with
// the process.
TEST(CompoundFile, RefusedWriteKeepsTheOldFile) {
  const std::string dir = testsupport::TempDir("limit");
  testsupport::WriteFile(dir + "/keep.ole", "keep");
  const auto save_limited = [&dir] {
    std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {20000, 20000};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    const std::string big(70000, 'b');
    try {
      SaveCompoundFile(dir + "/keep.ole", {{"Workbook", big}});
      ::_exit(3);
    } catch (const ECompoundFileError& e) {
      ::_exit(e.Failure() == TCompoundFailure::cfWrite && e.Code() == EFBIG ? 0 : 4);
    }
  };
  EXPECT_EXIT(save_limited(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(testsupport::ReadFile(dir + "/keep.ole"), "keep");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1);
}

}  // namespace compound_test

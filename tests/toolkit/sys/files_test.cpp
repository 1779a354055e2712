#include "toolkit/sys/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/testsupport.h"

namespace files_test {

using testsupport::TempDir;
using testsupport::WriteFile;

TEST(Files, NameParts) {
  const struct {
    const char* path;
    const char* folder;
    const char* name;
    const char* ext;
    const char* as_mdx;
  } cases[] = {
      {"/data/t.db", "/data/", "t.db", ".db", "/data/t.mdx"},
      {"t.tar.gz", "", "t.tar.gz", ".gz", "t.tar.mdx"},
      {"/dir.d/noext", "/dir.d/", "noext", "", "/dir.d/noext.mdx"},
      {"/data/", "/data/", "", "", "/data/.mdx"},
      {"", "", "", "", ".mdx"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.path), c.folder) << c.path;
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
    EXPECT_EQ(ChangeFileExt(c.path, ".mdx"), c.as_mdx) << c.path;
  }
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a/b//"), "/a/b");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
}

TEST(Files, ExpandFileNameNormalisesLexically) {
  const std::string cwd = GetCurrentDir();
  const struct {
    std::string in, out;
  } cases[] = {
      {"/a/b/../c", "/a/c"}, {"/a/./b//c/", "/a/b/c/"}, {"/../..", "/"}, {"x/y", cwd + "/x/y"},
      {"", cwd + "/"},       {"/", "/"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandFileName(c.in), c.out) << c.in;
}

TEST(Files, CompanionFilesAreFoundWhateverTheirCase) {
  const std::string dir = TempDir("case");
  WriteFile(dir + "/ЗАМЕРЫ.MDX", "");
  WriteFile(dir + "/table.Dbt", "");
  WriteFile(dir + "/exact.fpt", "");
  WriteFile(dir + "/EXACT.FPT", "");
  EXPECT_EQ(FindFileIgnoringCase(dir + "/замеры.mdx"), dir + "/ЗАМЕРЫ.MDX");
  EXPECT_EQ(FindFileIgnoringCase(dir + "/TABLE.DBT"), dir + "/table.Dbt");
  EXPECT_EQ(FindFileIgnoringCase(dir + "/exact.fpt"), dir + "/exact.fpt") << "the exact name wins";
  EXPECT_EQ(FindFileIgnoringCase(dir + "/Exact.Fpt"), dir + "/EXACT.FPT") << "first in name order";
  EXPECT_EQ(FindFileIgnoringCase(dir + "/missing.dbt"), "");
  EXPECT_EQ(FindFileIgnoringCase(dir + "/nofolder/x.dbt"), "");
  std::filesystem::create_directory(dir + "/sub.mdx");
  EXPECT_EQ(FindFileIgnoringCase(dir + "/SUB.MDX"), "") << "folders are not files";
}

TEST(Files, RenameNeverReplaces) {
  const std::string dir = TempDir("rename");
  WriteFile(dir + "/a", "A");
  WriteFile(dir + "/b", "B");
  EXPECT_FALSE(RenameFile(dir + "/a", dir + "/b"));
  EXPECT_EQ(testsupport::ReadFile(dir + "/b"), "B");
  EXPECT_TRUE(RenameFile(dir + "/a", dir + "/c"));
  EXPECT_FALSE(FileExists(dir + "/a"));
  EXPECT_EQ(testsupport::ReadFile(dir + "/c"), "A");
  EXPECT_TRUE(DeleteFile(dir + "/c"));
  EXPECT_FALSE(DeleteFile(dir + "/c"));
  EXPECT_TRUE(DirectoryExists(dir));
  EXPECT_FALSE(FileExists(dir));
}

}  // namespace files_test

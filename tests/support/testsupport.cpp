#include "tests/support/testsupport.h"
#include "tests/support/small_disk.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/objtext.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace testsupport {

namespace {

// One folder a process: processes of one run side by side never meet, and
// the folder goes with the process that made it.
std::filesystem::path ProcessTempRoot() {
  return std::filesystem::temp_directory_path() / ("kiv7-tests-" + std::to_string(::getpid()));
}

// Removes the process's folder after its last test; a process that crashes
// leaves it for the one who looks into the crash.
class TempRootCleanup : public ::testing::Environment {
 public:
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(ProcessTempRoot(), ignored);
  }
};

const auto* const kTempRootCleanup = ::testing::AddGlobalTestEnvironment(new TempRootCleanup);

}  // namespace

std::string TempDir(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string leaf = name;
  if (info) leaf = std::string(info->test_suite_name()) + "." + info->name() + "." + name;
  for (auto& c : leaf)
    if (c == '/') c = '_';
  auto dir = ProcessTempRoot() / leaf;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

int RunCommand(const std::string& command, std::string* out) {
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) throw std::runtime_error("cannot run: " + command);
  std::array<char, 4096> buf;
  std::string text;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) text.append(buf.data(), n);
  const int status = ::pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + path);
  f.write(bytes.data(), std::streamsize(bytes.size()));
}

SmallDisk::SmallDisk(const std::string& name, size_t bytes) : path_(TempDir(name)) {
  mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                     ("size=" + std::to_string(bytes)).c_str()) == 0;
}

SmallDisk::~SmallDisk() {
  if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
}

void SmallDisk::Fill(size_t room) {
  const std::string filler = path_ + "/.filler";
  const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot write " + filler);
  const std::string block(4096, 'f');
  off_t size = 0;
  for (;;) {
    const ssize_t n = ::write(fd, block.data(), block.size());
    if (n <= 0) break;
    size += n;
  }
  // tmpfs counts whole pages: give back what is asked, rounded up to them.
  const off_t back = off_t((room + 4095) / 4096 * 4096);
  if (::ftruncate(fd, size > back ? size - back : 0) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot shorten " + filler);
  }
  ::close(fd);
}

std::string SmallDisk::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    const std::string leaf = entry.path().filename().string();
    if (leaf != ".filler") names.push_back(leaf);
  }
  std::sort(names.begin(), names.end());
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

std::string FormText(TComponent* root) {
  TMemoryStream binary;
  TWriter(binary).WriteRootComponent(root);
  binary.SetPosition(0);
  TStringStream text;
  ObjectBinaryToText(binary, text);
  return text.DataString();
}

void ReadFormText(const std::string& text, TComponent* root) {
  TStringStream in(text);
  TMemoryStream binary;
  ObjectTextToBinary(in, binary);
  binary.SetPosition(0);
  TReader(binary).ReadRootComponent(root);
}

}  // namespace testsupport

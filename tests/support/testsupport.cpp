#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

std::string TempDir(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string leaf = name;
  if (info) leaf = std::string(info->test_suite_name()) + "." + info->name() + "." + name;
  for (auto& c : leaf)
    if (c == '/') c = '_';
  auto dir = std::filesystem::temp_directory_path() /
             ("kiv7-tests-" + std::to_string(::getpid())) / leaf;
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

}  // namespace testsupport

// Helpers of the serial port and link tests: an environment variable set for
// one test, and the instrument simulator run as a child process.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace linktest {

// Sets (or, with nullptr, unsets) a variable and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_)
      ::setenv(name_.c_str(), old_.c_str(), 1);
    else
      ::unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

inline std::string SimulatorPath() { return std::string(KIV7_BINARY_DIR) + "/tools/instrument_sim/instrument_sim"; }

// The simulator serving at link_path until the object dies.
class Simulator {
 public:
  Simulator(const std::string& link_path, std::vector<std::string> args) : link_(link_path) {
    std::filesystem::remove(link_path);
    args.insert(args.begin(), {SimulatorPath(), "--link", link_path});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", 0x1 /*O_WRONLY*/, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && !std::filesystem::is_symlink(link_path) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ~Simulator() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Whether the simulator runs and its port is there.
  bool Ready() const { return pid_ > 0 && std::filesystem::is_symlink(link_); }

 private:
  std::string link_;
  pid_t pid_ = -1;
};

}  // namespace linktest

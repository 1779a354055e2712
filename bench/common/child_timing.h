// Timing whole processes for the benchmarks that set a program of ours
// beside a peer: each side runs as a child process, timed around it.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// The wall time of a child process and the processor time it used (user and
// system, with its own children); the second tells more on a loaded machine.
struct Times {
  double wall = -1;  // negative when the command failed
  double cpu = 0;
  // The largest resident set of the child or of any process it waited for, in bytes.
  double peak = 0;
};

// Runs a shell command as a child process and times it.
inline Times Timed(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return {};
  Times t;
  t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto seconds = [](const timeval& tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; };
  t.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  t.peak = static_cast<double>(usage.ru_maxrss) * 1024;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) t.wall = -1;
  return t;
}

// "Cold" as far as this machine lets a benchmark make it: the page cache
// cannot be dropped without a privilege it does not give, so a file a run
// reads is synced and its pages evicted with posix_fadvise(DONTNEED) before
// the run. The programs and their libraries stay cached for both sides alike.
inline void Evict(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY);
  if (fd < 0) return;
  ::fdatasync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

// An empty folder of the benchmark's own in the temporary folder.
inline std::filesystem::path FreshDir(const std::string& name) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Our command and the peer's run in turn, `runs` times each, `prepare` before
// every run; side 0 is ours, side 1 the peer. `failed` names the first
// command that failed (nothing more is run then).
struct SideBySide {
  std::vector<double> wall[2], cpu[2], peak[2];
  std::string failed;
};

inline SideBySide Alternate(const std::string& ours, const std::string& peer, int runs,
                            const std::function<void(int side)>& prepare = {}) {
  SideBySide out;
  for (int run = 0; run < runs; ++run) {
    for (int side = 0; side < 2; ++side) {
      if (prepare) prepare(side);
      const Times t = Timed(side == 0 ? ours : peer);
      if (t.wall < 0) {
        out.failed = side == 0 ? ours : peer;
        return out;
      }
      out.wall[side].push_back(t.wall);
      out.cpu[side].push_back(t.cpu);
      out.peak[side].push_back(t.peak);
    }
  }
  return out;
}

}  // namespace bench

#include "toolkit/sys/heap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace heap_test {

namespace {

// The kilobytes of huge pages behind the process's heap, -1 without a heap.
long HeapHugeKilobytes() {
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool in_heap = false;
  long total = -1;
  while (std::getline(smaps, line)) {
    const bool header = line.find('-') != std::string::npos && line.find(':') > line.find(' ');
    if (header) in_heap = line.find("[heap]") != std::string::npos;
    if (in_heap && line.rfind("AnonHugePages:", 0) == 0) {
      std::istringstream in(line.substr(14));
      long kb = 0;
      in >> kb;
      total = (total < 0 ? 0 : total) + kb;
    }
  }
  return total;
}

bool HugePagesOffered() {
  std::ifstream f("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string mode;
  std::getline(f, mode);
  return !mode.empty() && mode.find("[never]") == std::string::npos;
}

}  // namespace

// The heap of a batch process is backed by huge pages: a block of megabytes,
// touched, lies in them. Run in a child process, as it changes the heap for
// the rest of the process's life.
TEST(Heap, LargeBlocksLieInHugePages) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator has no such heap";
#endif
  if (!HugePagesOffered()) GTEST_SKIP() << "huge pages are switched off on this machine";
  EXPECT_EXIT(
      {
        if (!PreferHugePagesForHeap(size_t{64} << 20)) ::_exit(2);
        // Larger than malloc's usual threshold for a mapping of its own.
        const size_t size = size_t{16} << 20;
        char* block = static_cast<char*>(std::malloc(size));
        if (!block) ::_exit(3);
        std::memset(block, 1, size);
        const long huge = HeapHugeKilobytes();
        ::_exit(huge >= 2048 ? 0 : 4);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace heap_test

#include "toolkit/sys/heap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

}  // namespace

bool PreferHugePagesForHeap(std::size_t reserve) {
  // Blocks of up to 32 MiB (the largest threshold malloc accepts) come from
  // the heap instead of mappings of their own, which would take 4 KiB pages;
  // the heap is never trimmed, so no part of it is handed back and taken
  // again page by page; and each growth of the heap is the whole reserve.
  if (mallopt(M_MMAP_THRESHOLD, 32 << 20) == 0 || mallopt(M_TRIM_THRESHOLD, INT32_MAX) == 0 ||
      mallopt(M_TOP_PAD, static_cast<int>(reserve < INT32_MAX ? reserve : INT32_MAX)) == 0)
    return false;
  // A block larger than the free top of the heap makes malloc grow it now,
  // by the block and the reserve; freed, it stays in the heap. Only that
  // growth is advised: it is the heap's alone, whatever lies below it.
  const auto before = reinterpret_cast<std::uintptr_t>(::sbrk(0));
  void* probe = std::malloc(mallinfo2().keepcost + (64 << 10));
  if (!probe) return false;
  std::free(probe);
  const auto after = reinterpret_cast<std::uintptr_t>(::sbrk(0));
  const std::uintptr_t first = (before + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = after & ~(kHugePage - 1);
  if (before == static_cast<std::uintptr_t>(-1) || last <= first) return false;
  return ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE) == 0;
}

// The heap of a short batch process (an export run as a program of its own):
// such a process builds a model of tens of megabytes, writes a file and exits,
// and every 4 KiB page it touches for the first time costs a page fault; on
// a virtual machine a fault costs microseconds, together more than the work.
// Backing the heap with transparent huge pages costs one fault per 2 MiB.
#pragma once

#include <cstddef>

// Grows the heap by `reserve` bytes of address space at once, asks the
// kernel to back it with huge pages and keeps freed memory in the process
// (no trimming, large blocks from the heap too). Call at the start of main,
// before the work allocates. Pages are still taken only when touched, so an
// unused reserve costs address space alone. Returns false when the kernel
// refuses (huge pages switched off, no memory): the heap then works as before.
bool PreferHugePagesForHeap(std::size_t reserve);

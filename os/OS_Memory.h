#pragma once

#include <cstddef>

// Makes the pages of [address, address + bytes) resident and written, so
// that a recording's first pictures do not pay for them. The kernel fills
// the page tables in one call first (half the cost of a fault per page on
// a virtual machine); the pages are then written all the same, because a
// hypervisor that backs guest memory lazily still takes a fault at a
// page's first write from user space. The contents become zero.
void OS_WritePages(void* address, size_t bytes);

// Asks for 2 MB pages for a large anonymous mapping: under a hypervisor
// every 4 KB page costs a fault at its first write, some 15 us, which at
// the size of a 3840 x 2160 picture is half a period. A hint; nothing
// changes where the kernel declines.
void OS_AdviseLargePages(void* address, size_t bytes);

// Whether OS_RestartWithLargePages would change anything: the kernel gives
// 2 MB pages only on request and the program was not started with glibc's
// setting for them either way (as after the restart).
bool OS_LargePagesWantRestart();
// Starts the program again in the same process, with glibc's malloc
// asking for 2 MB pages for its large blocks, where the kernel gives them
// only on request (transparent huge pages in "madvise" mode). FFmpeg's
// video encoder makes some 150 MB of buffers at 3840 x 2160 each time one
// is opened, and only malloc can ask for them. Returns only when the exec
// failed; call first in main, before any thread.
void OS_RestartWithLargePages(char* argv[]);

#include "sweepmend/malloc_tuning.hpp"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace sweepmend
{

void tune_malloc()
{
#if defined(__GLIBC__)
  // glibc maps every block above 128 KiB (a threshold that only grows once such blocks are
  // freed) and returns the heap top to the system beyond 128 KiB: with two clouds of ~1 MB per
  // cycle that means fresh, zero-filled pages again and again.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
}

}  // namespace sweepmend

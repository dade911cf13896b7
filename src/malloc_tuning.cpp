#include "sweepmend/malloc_tuning.hpp"

// Any C library header defines __GLIBC__; without one the check below is always false.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace sweepmend
{

bool tune_malloc()
{
#if defined(__GLIBC__)
  // glibc maps every block above 128 KiB (a threshold that only grows once such blocks are
  // freed) and returns the heap top to the system beyond 128 KiB: with two clouds of ~1 MB per
  // cycle that means fresh, zero-filled pages again and again. glibc documents 32 MiB as the
  // highest map threshold on 64-bit systems and 16 MiB on 32-bit ones, so 16 MiB.
  const bool mmap_set = mallopt(M_MMAP_THRESHOLD, kHeapBlockLimit) == 1;
  const bool trim_set = mallopt(M_TRIM_THRESHOLD, 2 * kHeapBlockLimit) == 1;
  return mmap_set && trim_set;
#else
  return false;
#endif
}

}  // namespace sweepmend

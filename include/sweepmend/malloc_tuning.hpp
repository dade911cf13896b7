#ifndef SWEEPMEND__MALLOC_TUNING_HPP_
#define SWEEPMEND__MALLOC_TUNING_HPP_

namespace sweepmend
{

/// Largest block, in bytes, that tune_malloc() has the C library serve from its heap (16 MiB,
/// a cloud of about 350 000 points); larger ones are still mapped and unmapped each time.
constexpr int kHeapBlockLimit = 16 * 1024 * 1024;

/// Makes the C library's allocator serve large blocks (the published clouds of about 1 MB) from
/// its heap and keep freed memory instead of mapping and unmapping it for every block, so that
/// a cycle reuses warm pages however the process was started. Call once, first thing in main().
/// @return true when the settings took effect; false where the C library offers no such
///   setting (not glibc) or refused it.
bool tune_malloc();

}  // namespace sweepmend

#endif  // SWEEPMEND__MALLOC_TUNING_HPP_

#ifndef SWEEPMEND__MALLOC_TUNING_HPP_
#define SWEEPMEND__MALLOC_TUNING_HPP_

namespace sweepmend
{

/// Makes the C library's allocator serve large blocks (the published clouds of about 1 MB) from
/// its heap and keep freed memory instead of mapping and unmapping it for every block, so that
/// a cycle reuses warm pages however the process was started. Call once, first thing in main().
/// Does nothing where the C library offers no such setting.
void tune_malloc();

}  // namespace sweepmend

#endif  // SWEEPMEND__MALLOC_TUNING_HPP_

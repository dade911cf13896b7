// rcutils' time point and duration types (signed nanoseconds) and the unit conversion macros.
#ifndef RCUTILS__TIME_H_
#define RCUTILS__TIME_H_

#include <stdint.h>

#include "rcutils/macros.h"
#include "rcutils/types/rcutils_ret.h"

#ifdef __cplusplus
extern "C"
{
#endif

#define RCUTILS_S_TO_NS(seconds) ((seconds) * (1000LL * 1000LL * 1000LL))
#define RCUTILS_MS_TO_NS(milliseconds) ((milliseconds) * (1000LL * 1000LL))
#define RCUTILS_US_TO_NS(microseconds) ((microseconds) * 1000LL)
#define RCUTILS_NS_TO_S(nanoseconds) ((nanoseconds) / (1000LL * 1000LL * 1000LL))
#define RCUTILS_NS_TO_MS(nanoseconds) ((nanoseconds) / (1000LL * 1000LL))
#define RCUTILS_NS_TO_US(nanoseconds) ((nanoseconds) / 1000LL)

/// Nanoseconds since some epoch (the Unix epoch for system time).
typedef int64_t rcutils_time_point_value_t;
/// A signed span of nanoseconds.
typedef int64_t rcutils_duration_value_t;

/// Wall-clock time in ns since the Unix epoch.
RCUTILS_WARN_UNUSED
rcutils_ret_t rcutils_system_time_now(rcutils_time_point_value_t * now);

/// Monotonic time in ns since an unspecified start.
RCUTILS_WARN_UNUSED
rcutils_ret_t rcutils_steady_time_now(rcutils_time_point_value_t * now);

#ifdef __cplusplus
}
#endif

#endif  // RCUTILS__TIME_H_

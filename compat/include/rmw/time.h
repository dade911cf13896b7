// rmw's duration record used by QoS policies (deadline, lifespan, liveliness lease).
#ifndef RMW__TIME_H_
#define RMW__TIME_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C"
{
#endif

/// A non-negative span of time split into seconds and nanoseconds.
typedef struct rmw_time_s
{
  uint64_t sec;
  uint64_t nsec;
} rmw_time_t;

typedef int64_t rmw_time_point_value_t;
typedef int64_t rmw_duration_t;

/// "Let the middleware choose" for a QoS duration.
#define RMW_DURATION_UNSPECIFIED {0LL, 0LL}
/// An unbounded QoS duration.
#define RMW_DURATION_INFINITE {9223372036LL, 854775807LL}

#ifdef __cplusplus
}
#endif

#endif  // RMW__TIME_H_

// QoS policy enums and the QoS profile record, with rmw's names and numeric values.
#ifndef RMW__TYPES_H_
#define RMW__TYPES_H_

#include <stddef.h>
#include <stdint.h>

#include "rmw/time.h"

#ifdef __cplusplus
extern "C"
{
#endif

typedef enum rmw_qos_history_policy_e
{
  RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT = 0,
  RMW_QOS_POLICY_HISTORY_KEEP_LAST = 1,
  RMW_QOS_POLICY_HISTORY_KEEP_ALL = 2,
  RMW_QOS_POLICY_HISTORY_UNKNOWN = 3
} rmw_qos_history_policy_t;

typedef enum rmw_qos_reliability_policy_e
{
  RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT = 0,
  RMW_QOS_POLICY_RELIABILITY_RELIABLE = 1,
  RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT = 2,
  RMW_QOS_POLICY_RELIABILITY_UNKNOWN = 3
} rmw_qos_reliability_policy_t;

typedef enum rmw_qos_durability_policy_e
{
  RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT = 0,
  RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL = 1,
  RMW_QOS_POLICY_DURABILITY_VOLATILE = 2,
  RMW_QOS_POLICY_DURABILITY_UNKNOWN = 3
} rmw_qos_durability_policy_t;

typedef enum rmw_qos_liveliness_policy_e
{
  RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT = 0,
  RMW_QOS_POLICY_LIVELINESS_AUTOMATIC = 1,
  RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_NODE = 2,
  RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_TOPIC = 3,
  RMW_QOS_POLICY_LIVELINESS_UNKNOWN = 4
} rmw_qos_liveliness_policy_t;

/// Depth value meaning "middleware default".
#define RMW_QOS_POLICY_DEPTH_SYSTEM_DEFAULT 0

#define RMW_QOS_DEADLINE_DEFAULT RMW_DURATION_UNSPECIFIED
#define RMW_QOS_LIFESPAN_DEFAULT RMW_DURATION_UNSPECIFIED
#define RMW_QOS_LIVELINESS_LEASE_DURATION_DEFAULT RMW_DURATION_UNSPECIFIED

/// A complete QoS profile; `depth` counts messages and only applies to KEEP_LAST.
typedef struct rmw_qos_profile_s
{
  rmw_qos_history_policy_t history;
  size_t depth;
  rmw_qos_reliability_policy_t reliability;
  rmw_qos_durability_policy_t durability;
  rmw_time_t deadline;
  rmw_time_t lifespan;
  rmw_qos_liveliness_policy_t liveliness;
  rmw_time_t liveliness_lease_duration;
  bool avoid_ros_namespace_conventions;
} rmw_qos_profile_t;

#ifdef __cplusplus
}
#endif

#endif  // RMW__TYPES_H_

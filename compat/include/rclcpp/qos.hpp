// Quality-of-service settings of publishers and subscriptions (rclcpp's QoS class and presets).
#ifndef RCLCPP__QOS_HPP_
#define RCLCPP__QOS_HPP_

#include <cstddef>

#include "rmw/qos_profiles.h"
#include "rmw/types.h"

namespace rclcpp
{

enum class HistoryPolicy
{
  KeepLast = RMW_QOS_POLICY_HISTORY_KEEP_LAST,
  KeepAll = RMW_QOS_POLICY_HISTORY_KEEP_ALL,
  SystemDefault = RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT,
  Unknown = RMW_QOS_POLICY_HISTORY_UNKNOWN,
};

enum class ReliabilityPolicy
{
  BestEffort = RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT,
  Reliable = RMW_QOS_POLICY_RELIABILITY_RELIABLE,
  SystemDefault = RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT,
  Unknown = RMW_QOS_POLICY_RELIABILITY_UNKNOWN,
};

enum class DurabilityPolicy
{
  Volatile = RMW_QOS_POLICY_DURABILITY_VOLATILE,
  TransientLocal = RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL,
  SystemDefault = RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT,
  Unknown = RMW_QOS_POLICY_DURABILITY_UNKNOWN,
};

enum class LivelinessPolicy
{
  Automatic = RMW_QOS_POLICY_LIVELINESS_AUTOMATIC,
  ManualByTopic = RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_TOPIC,
  SystemDefault = RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT,
  Unknown = RMW_QOS_POLICY_LIVELINESS_UNKNOWN,
};

/// The history part of a QoS: the policy and, for keep-last, the depth in messages.
struct QoSInitialization
{
  rmw_qos_history_policy_t history_policy;
  size_t depth;

  QoSInitialization(rmw_qos_history_policy_t history_policy_arg, size_t depth_arg);

  /// Keep-all for a keep-all profile, keep-last(profile.depth) otherwise.
  static QoSInitialization from_rmw(const rmw_qos_profile_t & rmw_qos);
};

/// Keep every message (depth is ignored).
struct KeepAll : public QoSInitialization
{
  KeepAll();
};

/// Keep the newest `depth` messages.
struct KeepLast : public QoSInitialization
{
  explicit KeepLast(size_t depth);
};

/// A QoS profile with chainable setters; `QoS(10)` is keep-last 10, reliable, volatile.
class QoS
{
public:
  explicit QoS(
    const QoSInitialization & qos_initialization,
    const rmw_qos_profile_t & initial_profile = rmw_qos_profile_default);

  /// Implicit on purpose so that a plain depth can be passed where a QoS is expected.
  QoS(size_t history_depth);  // NOLINT(runtime/explicit)

  rmw_qos_profile_t & get_rmw_qos_profile();
  const rmw_qos_profile_t & get_rmw_qos_profile() const;

  QoS & history(rmw_qos_history_policy_t history);
  QoS & history(HistoryPolicy history);
  QoS & keep_last(size_t depth);
  QoS & keep_all();
  QoS & reliability(rmw_qos_reliability_policy_t reliability);
  QoS & reliability(ReliabilityPolicy reliability);
  QoS & reliable();
  QoS & best_effort();
  QoS & durability(rmw_qos_durability_policy_t durability);
  QoS & durability(DurabilityPolicy durability);
  QoS & durability_volatile();
  QoS & transient_local();
  QoS & deadline(rmw_time_t deadline);
  QoS & lifespan(rmw_time_t lifespan);
  QoS & liveliness(rmw_qos_liveliness_policy_t liveliness);
  QoS & liveliness(LivelinessPolicy liveliness);
  QoS & liveliness_lease_duration(rmw_time_t liveliness_lease_duration);
  QoS & avoid_ros_namespace_conventions(bool avoid_ros_namespace_conventions);

  HistoryPolicy history() const;
  size_t depth() const;
  ReliabilityPolicy reliability() const;
  DurabilityPolicy durability() const;
  LivelinessPolicy liveliness() const;
  bool avoid_ros_namespace_conventions() const;

private:
  rmw_qos_profile_t rmw_qos_profile_;
};

bool operator==(const QoS & left, const QoS & right);
bool operator!=(const QoS & left, const QoS & right);

/// Keep-last 1, best effort, volatile: the profile of /clock.
class ClockQoS : public QoS
{
public:
  explicit ClockQoS(const QoSInitialization & qos_initialization = KeepLast(1));
};

/// Keep-last 5, best effort, volatile: for high-rate sensor streams.
class SensorDataQoS : public QoS
{
public:
  explicit SensorDataQoS(
    const QoSInitialization & qos_initialization =
    QoSInitialization::from_rmw(rmw_qos_profile_sensor_data));
};

/// Keep-last 1000, reliable, volatile.
class ParametersQoS : public QoS
{
public:
  explicit ParametersQoS(
    const QoSInitialization & qos_initialization =
    QoSInitialization::from_rmw(rmw_qos_profile_parameters));
};

/// Keep-last 10, reliable, volatile.
class ServicesQoS : public QoS
{
public:
  explicit ServicesQoS(
    const QoSInitialization & qos_initialization =
    QoSInitialization::from_rmw(rmw_qos_profile_services_default));
};

/// Keep-last 1000, reliable, volatile.
class ParameterEventsQoS : public QoS
{
public:
  explicit ParameterEventsQoS(
    const QoSInitialization & qos_initialization =
    QoSInitialization::from_rmw(rmw_qos_profile_parameter_events));
};

/// Keep-last 1000, reliable, transient local, 10 s lifespan: the profile of /rosout.
class RosoutQoS : public QoS
{
public:
  explicit RosoutQoS(const QoSInitialization & rosout_qos_initialization = KeepLast(1000));
};

/// Every policy left to the middleware.
class SystemDefaultsQoS : public QoS
{
public:
  explicit SystemDefaultsQoS(
    const QoSInitialization & qos_initialization =
    QoSInitialization::from_rmw(rmw_qos_profile_system_default));
};

}  // namespace rclcpp

#endif  // RCLCPP__QOS_HPP_

// Which QoS policies of an endpoint may be overridden through parameters.
#ifndef RCLCPP__QOS_OVERRIDING_OPTIONS_HPP_
#define RCLCPP__QOS_OVERRIDING_OPTIONS_HPP_

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace rclcpp
{

enum class QosPolicyKind
{
  AvoidRosNamespaceConventions,
  Deadline,
  Depth,
  Durability,
  History,
  Lifespan,
  Liveliness,
  LivelinessLeaseDuration,
  Reliability,
  Invalid,
};

/// Policies that get `qos_overrides.<topic>.<publisher|subscription>.<policy>` parameters.
class QosOverridingOptions
{
public:
  QosOverridingOptions() = default;
  QosOverridingOptions(std::initializer_list<QosPolicyKind> policy_kinds, std::string id = {})
  : policy_kinds_(policy_kinds), id_(std::move(id)) {}

  static QosOverridingOptions with_default_policies(std::string id = {})
  {
    return QosOverridingOptions{{QosPolicyKind::History, QosPolicyKind::Depth,
        QosPolicyKind::Reliability}, std::move(id)};
  }

  const std::string & get_id() const {return id_;}
  const std::vector<QosPolicyKind> & get_policy_kinds() const {return policy_kinds_;}

private:
  std::vector<QosPolicyKind> policy_kinds_;
  std::string id_;
};

}  // namespace rclcpp

#endif  // RCLCPP__QOS_OVERRIDING_OPTIONS_HPP_

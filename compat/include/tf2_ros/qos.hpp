// The QoS profiles tf2 uses for /tf and /tf_static.
#ifndef TF2_ROS__QOS_HPP_
#define TF2_ROS__QOS_HPP_

#include <cstddef>

#include "rclcpp/qos.hpp"

namespace tf2_ros
{

/// /tf listeners: keep-last 100, reliable, volatile.
class DynamicListenerQoS : public rclcpp::QoS
{
public:
  explicit DynamicListenerQoS(size_t depth = 100)
  : rclcpp::QoS(depth) {}
};

/// /tf broadcasters: keep-last 100, reliable, volatile.
class DynamicBroadcasterQoS : public rclcpp::QoS
{
public:
  explicit DynamicBroadcasterQoS(size_t depth = 100)
  : rclcpp::QoS(depth) {}
};

/// /tf_static listeners: keep-last 100, reliable, transient local.
class StaticListenerQoS : public rclcpp::QoS
{
public:
  explicit StaticListenerQoS(size_t depth = 100)
  : rclcpp::QoS(depth)
  {
    transient_local();
  }
};

/// /tf_static broadcasters: keep-last 1, reliable, transient local, so that late listeners still
/// get the (single, accumulated) message.
class StaticBroadcasterQoS : public rclcpp::QoS
{
public:
  explicit StaticBroadcasterQoS(size_t depth = 1)
  : rclcpp::QoS(depth)
  {
    transient_local();
  }
};

}  // namespace tf2_ros

#endif  // TF2_ROS__QOS_HPP_

// The node's time source: declares use_sim_time and, while it is true, drives the node clock from
// /clock.
#ifndef RCLCPP__TIME_SOURCE_HPP_
#define RCLCPP__TIME_SOURCE_HPP_

#include <memory>
#include <mutex>

#include "rclcpp/clock.hpp"
#include "rclcpp/detail/transport.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp
{
namespace detail
{

class TimeSource
{
public:
  /// Declares use_sim_time (bool, false) unless already declared; throws
  /// std::invalid_argument if an already declared use_sim_time is not a bool.
  TimeSource(
    node_interfaces::NodeBaseInterface & node_base,
    node_interfaces::NodeParameters & node_parameters,
    rclcpp::Clock::SharedPtr clock, const rclcpp::QoS & clock_qos);
  ~TimeSource();

  TimeSource(const TimeSource &) = delete;
  TimeSource & operator=(const TimeSource &) = delete;

private:
  class ClockSink;

  void enable_ros_time();
  void disable_ros_time();

  node_interfaces::NodeBaseInterface & node_base_;
  node_interfaces::NodeParameters & node_parameters_;
  rclcpp::QoS clock_qos_;
  std::mutex mutex_;
  std::shared_ptr<ClockSink> sink_;
  bool subscribed_{false};
  Transport::EndpointId clock_subscription_{0};
};

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__TIME_SOURCE_HPP_

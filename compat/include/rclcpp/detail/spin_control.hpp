// Compat only: deterministic spinning for tests and offline tools.
//
// Simulated time: publish rosgraph_msgs::msg::Clock on "/clock" (any publisher, e.g. one created
// with rclcpp::ClockQoS()). Nodes with use_sim_time receive it on the publishing thread, so their
// clocks have moved when publish() returns; spin_until_idle() then runs the timers that became
// due, before any subscription.
#ifndef RCLCPP__DETAIL__SPIN_CONTROL_HPP_
#define RCLCPP__DETAIL__SPIN_CONTROL_HPP_

#include <cstddef>

#include "rclcpp/executor.hpp"

namespace rclcpp
{
namespace detail
{

/// Runs every ready callback, including those that become ready as a result, until nothing is
/// ready; never waits. Returns the number of callbacks run. A timer with period 0 is always
/// ready, so an executor holding one never becomes idle. Throws std::runtime_error if the
/// executor is spinning elsewhere.
size_t spin_until_idle(Executor & executor);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__SPIN_CONTROL_HPP_

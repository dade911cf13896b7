// Clocks: system, steady, and ROS time (system time unless a simulated time overrides it).
#ifndef RCLCPP__CLOCK_HPP_
#define RCLCPP__CLOCK_HPP_

#include <functional>
#include <memory>
#include <mutex>

#include "rcl/time.h"
#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/time.hpp"

namespace rclcpp
{

class Clock;

namespace detail
{
struct ClockAccess;
}  // namespace detail

/// A pair of callbacks run around a time jump of a ROS-time clock that exceeds `notice_threshold`.
class JumpHandler
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(JumpHandler)

  using pre_callback_t = std::function<void ()>;
  using post_callback_t = std::function<void (const rcl_time_jump_t &)>;

  JumpHandler(
    pre_callback_t pre_callback,
    post_callback_t post_callback,
    const rcl_jump_threshold_t & threshold);

  pre_callback_t pre_callback;
  post_callback_t post_callback;
  rcl_jump_threshold_t notice_threshold;
};

/// A clock of one kind. Copies share their state (the ROS time override and jump handlers).
class Clock
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Clock)

  /// An RCL_CLOCK_UNINITIALIZED clock can be built, but now() on it throws RCLError.
  explicit Clock(rcl_clock_type_t clock_type = RCL_SYSTEM_TIME);

  ~Clock();

  /// The current time with this clock's type. A ROS-time clock returns the override value while
  /// the override is active (0 until the first one arrives), system time otherwise.
  Time
  now();

  /// Blocks until this clock reads `until` or later. Returns true if it does; false if the
  /// context was shut down meanwhile or, for ROS time, the time source changed (override turned
  /// on or off). With an active override it wakes on every new time value, so it only returns
  /// once simulated time has got there. Throws std::runtime_error for an invalid context or
  /// when `until` has another clock type.
  bool
  sleep_until(
    Time until,
    Context::SharedPtr context = contexts::get_global_default_context());

  /// sleep_until(now() + rel_time, context).
  bool
  sleep_for(
    Duration rel_time,
    Context::SharedPtr context = contexts::get_global_default_context());

  /// True if this is a ROS-time clock whose override (simulated time) is active. Throws
  /// RCLError for other clock types.
  bool
  ros_time_is_active();

  rcl_clock_type_t
  get_clock_type() const noexcept;

  /// Mutex that the time source takes while it changes this clock.
  std::mutex &
  get_clock_mutex() noexcept;

  /// Registers callbacks for jumps of this clock; they stay registered while the returned handler
  /// lives. Throws RCLInvalidArgument for a negative min_forward or a positive min_backward.
  JumpHandler::SharedPtr
  create_jump_callback(
    JumpHandler::pre_callback_t pre_callback,
    JumpHandler::post_callback_t post_callback,
    const rcl_jump_threshold_t & threshold);

private:
  class Impl;
  std::shared_ptr<Impl> impl_;

  friend struct detail::ClockAccess;
};

namespace detail
{

/// Compat hook for the time source (use_sim_time and /clock): turns the ROS time override of a
/// RCL_ROS_TIME clock on or off, then sets its value (ns). Time-jump callbacks run as rcl runs
/// them: activation/deactivation (clock change), then the jump to the new value. Ignored for
/// other clock types.
void set_ros_time_override(rclcpp::Clock & clock, bool enabled, int64_t nanoseconds);

/// Only the on/off part of set_ros_time_override.
void enable_ros_time_override(rclcpp::Clock & clock);
void disable_ros_time_override(rclcpp::Clock & clock);

/// Only the value part: stored even while the override is off, jump callbacks only while on.
void set_ros_time_override_value(rclcpp::Clock & clock, int64_t nanoseconds);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__CLOCK_HPP_

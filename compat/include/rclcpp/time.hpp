// A time point (signed nanoseconds) tagged with the kind of clock it was read from.
#ifndef RCLCPP__TIME_HPP_
#define RCLCPP__TIME_HPP_

#include "builtin_interfaces/msg/time.hpp"
#include "rcl/time.h"
#include "rclcpp/duration.hpp"

namespace rclcpp
{

class Clock;

class Time
{
public:
  /// Throws std::runtime_error("cannot store a negative time point in rclcpp::Time") for
  /// seconds < 0.
  Time(int32_t seconds, uint32_t nanoseconds, rcl_clock_type_t clock_type = RCL_SYSTEM_TIME);

  /// Any value, negative ones included.
  explicit Time(int64_t nanoseconds = 0, rcl_clock_type_t clock = RCL_SYSTEM_TIME);

  Time(const Time & rhs);

  /// Note the default clock type: ROS time (the int constructors default to system time).
  /// Throws std::runtime_error for a negative `sec`.
  Time(
    const builtin_interfaces::msg::Time & time_msg,
    rcl_clock_type_t clock_type = RCL_ROS_TIME);

  explicit Time(const rcl_time_point_t & time_point);

  virtual ~Time();

  /// Floors negative values (-1 ns -> {-1 s, 999999999 ns}).
  operator builtin_interfaces::msg::Time() const;

  Time &
  operator=(const Time & rhs);

  /// Assigns a ROS-time time point.
  Time &
  operator=(const builtin_interfaces::msg::Time & time_msg);

  // The comparisons throw std::runtime_error("can't compare times with different time sources")
  // when the clock types differ.

  bool
  operator==(const rclcpp::Time & rhs) const;

  bool
  operator!=(const rclcpp::Time & rhs) const;

  bool
  operator<(const rclcpp::Time & rhs) const;

  bool
  operator<=(const rclcpp::Time & rhs) const;

  bool
  operator>=(const rclcpp::Time & rhs) const;

  bool
  operator>(const rclcpp::Time & rhs) const;

  /// Keeps this clock type; throws std::overflow_error / std::underflow_error on overflow.
  Time
  operator+(const rclcpp::Duration & rhs) const;

  /// Throws std::runtime_error for different clock types, overflow/underflow errors on overflow.
  Duration
  operator-(const rclcpp::Time & rhs) const;

  Time
  operator-(const rclcpp::Duration & rhs) const;

  Time &
  operator+=(const rclcpp::Duration & rhs);

  Time &
  operator-=(const rclcpp::Duration & rhs);

  /// Nanoseconds since the clock's epoch.
  rcl_time_point_value_t
  nanoseconds() const;

  /// INT32_MAX s + 999999999 ns on the system clock.
  static Time
  max();

  /// Seconds since the epoch; a double holds about 16 significant digits, so a present-day
  /// stamp keeps roughly microseconds.
  double
  seconds() const;

  rcl_clock_type_t
  get_clock_type() const;

private:
  rcl_time_point_t rcl_time_;
  friend Clock;  // now() fills in the value directly
};

/// Keeps the Time's clock type; throws std::overflow_error / std::underflow_error on overflow.
Time
operator+(const rclcpp::Duration & lhs, const rclcpp::Time & rhs);

}  // namespace rclcpp

#endif  // RCLCPP__TIME_HPP_

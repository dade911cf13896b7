// A signed span of time in nanoseconds.
#ifndef RCLCPP__DURATION_HPP_
#define RCLCPP__DURATION_HPP_

#include <chrono>

#include "builtin_interfaces/msg/duration.hpp"
#include "rcl/time.h"
#include "rmw/time.h"

namespace rclcpp
{

class Duration
{
public:
  /// seconds * 1e9 + nanoseconds, not normalised.
  Duration(int32_t seconds, uint32_t nanoseconds);

  explicit Duration(std::chrono::nanoseconds nanoseconds);

  /// Implicit on purpose: any std::chrono duration converts (truncated to nanoseconds).
  template<class Rep, class Period>
  Duration(const std::chrono::duration<Rep, Period> & duration)  // NOLINT(runtime/explicit)
  : Duration(std::chrono::duration_cast<std::chrono::nanoseconds>(duration))
  {}

  Duration(const builtin_interfaces::msg::Duration & duration_msg);  // NOLINT(runtime/explicit)

  explicit Duration(const rcl_duration_t & duration);

  Duration(const Duration & rhs);

  virtual ~Duration() = default;

  /// Floors negative values (-1 ns -> {-1 s, 999999999 ns}); saturates at the int32 limits.
  operator builtin_interfaces::msg::Duration() const;

  Duration &
  operator=(const Duration & rhs);

  Duration &
  operator=(const builtin_interfaces::msg::Duration & duration_msg);

  bool
  operator==(const rclcpp::Duration & rhs) const;

  bool
  operator!=(const rclcpp::Duration & rhs) const;

  bool
  operator<(const rclcpp::Duration & rhs) const;

  bool
  operator<=(const rclcpp::Duration & rhs) const;

  bool
  operator>=(const rclcpp::Duration & rhs) const;

  bool
  operator>(const rclcpp::Duration & rhs) const;

  /// Throws std::overflow_error / std::underflow_error on int64 overflow.
  Duration
  operator+(const rclcpp::Duration & rhs) const;

  /// Throws std::overflow_error / std::underflow_error on int64 overflow.
  Duration
  operator-(const rclcpp::Duration & rhs) const;

  /// INT32_MAX s + 999999999 ns, the largest value a message can carry.
  static
  Duration
  max();

  /// Throws std::runtime_error for a non-finite scale, overflow/underflow errors on overflow.
  Duration
  operator*(double scale) const;

  rcl_duration_value_t
  nanoseconds() const;

  /// In seconds; a double holds about 16 significant digits, so large values lose nanoseconds.
  double
  seconds() const;

  /// From seconds, truncating seconds * 1e9 toward zero.
  static Duration
  from_seconds(double seconds);

  static Duration
  from_nanoseconds(rcl_duration_value_t nanoseconds);

  /// Saturates at the largest Duration.
  static Duration
  from_rmw_time(rmw_time_t duration);

  template<class DurationT>
  DurationT
  to_chrono() const
  {
    return std::chrono::duration_cast<DurationT>(std::chrono::nanoseconds(this->nanoseconds()));
  }

  /// Throws std::runtime_error("rmw_time_t cannot be negative") for a negative duration.
  rmw_time_t
  to_rmw_time() const;

private:
  rcl_duration_t rcl_duration_;
  Duration();
};

}  // namespace rclcpp

#endif  // RCLCPP__DURATION_HPP_

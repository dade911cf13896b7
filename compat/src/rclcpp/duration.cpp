#include "rclcpp/duration.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace rclcpp
{

namespace
{
constexpr rcl_duration_value_t kNanosecondsPerSecond = RCL_S_TO_NS(1);

uint64_t magnitude(int64_t value)
{
  // Two's complement magnitude, defined for INT64_MIN too.
  return value < 0 ? 0u - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

void check_sum(int64_t lhs, int64_t rhs, uint64_t max)
{
  const uint64_t abs_lhs = magnitude(lhs);
  const uint64_t abs_rhs = magnitude(rhs);
  if (lhs > 0 && rhs > 0) {
    if (abs_lhs + abs_rhs > max) {
      throw std::overflow_error("addition leads to int64_t overflow");
    }
  } else if (lhs < 0 && rhs < 0) {
    if (abs_lhs + abs_rhs > max) {
      throw std::underflow_error("addition leads to int64_t underflow");
    }
  }
}

void check_difference(int64_t lhs, int64_t rhs, uint64_t max)
{
  const uint64_t abs_lhs = magnitude(lhs);
  const uint64_t abs_rhs = magnitude(rhs);
  if (lhs > 0 && rhs < 0) {
    if (abs_lhs + abs_rhs > max) {
      throw std::overflow_error("duration subtraction leads to int64_t overflow");
    }
  } else if (lhs < 0 && rhs > 0) {
    if (abs_lhs + abs_rhs > max) {
      throw std::underflow_error("duration subtraction leads to int64_t underflow");
    }
  }
}

void check_scale(int64_t ns, double scale, uint64_t max)
{
  const uint64_t abs_ns = magnitude(ns);
  const double abs_scale = std::abs(scale);
  if (abs_scale > 1.0 &&
    abs_ns > static_cast<uint64_t>(
      static_cast<long double>(max) / static_cast<long double>(abs_scale)))
  {
    if ((ns > 0 && scale > 0) || (ns < 0 && scale < 0)) {
      throw std::overflow_error("duration scaling leads to int64_t overflow");
    }
    throw std::underflow_error("duration scaling leads to int64_t underflow");
  }
}
}  // namespace

Duration::Duration(int32_t seconds, uint32_t nanoseconds)
{
  rcl_duration_.nanoseconds = RCL_S_TO_NS(static_cast<rcl_duration_value_t>(seconds));
  rcl_duration_.nanoseconds += nanoseconds;
}

Duration::Duration(std::chrono::nanoseconds nanoseconds)
{
  rcl_duration_.nanoseconds = nanoseconds.count();
}

Duration::Duration(const Duration & rhs) = default;

Duration::Duration(const builtin_interfaces::msg::Duration & duration_msg)
{
  rcl_duration_.nanoseconds = RCL_S_TO_NS(static_cast<rcl_duration_value_t>(duration_msg.sec));
  rcl_duration_.nanoseconds += static_cast<rcl_duration_value_t>(duration_msg.nanosec);
}

Duration::Duration(const rcl_duration_t & duration)
: rcl_duration_(duration)
{}

Duration::Duration()
: Duration(0, 0)
{}

Duration::operator builtin_interfaces::msg::Duration() const
{
  builtin_interfaces::msg::Duration msg;
  constexpr int32_t max_s = std::numeric_limits<int32_t>::max();
  constexpr int32_t min_s = std::numeric_limits<int32_t>::min();
  constexpr uint32_t max_ns = std::numeric_limits<uint32_t>::max();
  const auto result = std::div(rcl_duration_.nanoseconds, kNanosecondsPerSecond);
  if (result.rem >= 0) {
    if (result.quot > max_s) {
      msg.sec = max_s;
      msg.nanosec = max_ns;
    } else {
      msg.sec = static_cast<int32_t>(result.quot);
      msg.nanosec = static_cast<uint32_t>(result.rem);
    }
  } else {
    if (result.quot <= min_s) {
      msg.sec = min_s;
      msg.nanosec = 0u;
    } else {
      msg.sec = static_cast<int32_t>(result.quot - 1);
      msg.nanosec = static_cast<uint32_t>(kNanosecondsPerSecond + result.rem);
    }
  }
  return msg;
}

Duration &
Duration::operator=(const Duration & rhs) = default;

Duration &
Duration::operator=(const builtin_interfaces::msg::Duration & duration_msg)
{
  *this = Duration(duration_msg);
  return *this;
}

bool
Duration::operator==(const rclcpp::Duration & rhs) const
{
  return rcl_duration_.nanoseconds == rhs.rcl_duration_.nanoseconds;
}

bool
Duration::operator!=(const rclcpp::Duration & rhs) const
{
  return rcl_duration_.nanoseconds != rhs.rcl_duration_.nanoseconds;
}

bool
Duration::operator<(const rclcpp::Duration & rhs) const
{
  return rcl_duration_.nanoseconds < rhs.rcl_duration_.nanoseconds;
}

bool
Duration::operator<=(const rclcpp::Duration & rhs) const
{
  return rcl_duration_.nanoseconds <= rhs.rcl_duration_.nanoseconds;
}

bool
Duration::operator>=(const rclcpp::Duration & rhs) const
{
  return rcl_duration_.nanoseconds >= rhs.rcl_duration_.nanoseconds;
}

bool
Duration::operator>(const rclcpp::Duration & rhs) const
{
  return rcl_duration_.nanoseconds > rhs.rcl_duration_.nanoseconds;
}

Duration
Duration::operator+(const rclcpp::Duration & rhs) const
{
  check_sum(
    rcl_duration_.nanoseconds, rhs.rcl_duration_.nanoseconds,
    std::numeric_limits<rcl_duration_value_t>::max());
  return Duration::from_nanoseconds(rcl_duration_.nanoseconds + rhs.rcl_duration_.nanoseconds);
}

Duration
Duration::operator-(const rclcpp::Duration & rhs) const
{
  check_difference(
    rcl_duration_.nanoseconds, rhs.rcl_duration_.nanoseconds,
    std::numeric_limits<rcl_duration_value_t>::max());
  return Duration::from_nanoseconds(rcl_duration_.nanoseconds - rhs.rcl_duration_.nanoseconds);
}

Duration
Duration::max()
{
  return Duration(std::numeric_limits<int32_t>::max(), 999999999);
}

Duration
Duration::operator*(double scale) const
{
  if (!std::isfinite(scale)) {
    throw std::runtime_error("abnormal scale in rclcpp::Duration");
  }
  check_scale(
    rcl_duration_.nanoseconds, scale, std::numeric_limits<rcl_duration_value_t>::max());
  const long double scaled =
    static_cast<long double>(rcl_duration_.nanoseconds) * static_cast<long double>(scale);
  return Duration::from_nanoseconds(static_cast<rcl_duration_value_t>(scaled));
}

rcl_duration_value_t
Duration::nanoseconds() const
{
  return rcl_duration_.nanoseconds;
}

double
Duration::seconds() const
{
  return std::chrono::duration<double>(std::chrono::nanoseconds(rcl_duration_.nanoseconds)).count();
}

Duration
Duration::from_seconds(double seconds)
{
  Duration ret;
  ret.rcl_duration_.nanoseconds = static_cast<int64_t>(RCL_S_TO_NS(seconds));
  return ret;
}

Duration
Duration::from_nanoseconds(rcl_duration_value_t nanoseconds)
{
  Duration ret;
  ret.rcl_duration_.nanoseconds = nanoseconds;
  return ret;
}

Duration
Duration::from_rmw_time(rmw_time_t duration)
{
  Duration ret;
  constexpr rcl_duration_value_t limit_ns = std::numeric_limits<rcl_duration_value_t>::max();
  constexpr rcl_duration_value_t limit_sec = RCL_NS_TO_S(limit_ns);
  if (duration.sec > static_cast<uint64_t>(limit_sec) ||
    duration.nsec > static_cast<uint64_t>(limit_ns))
  {
    ret.rcl_duration_.nanoseconds = limit_ns;
  } else {
    const uint64_t total = static_cast<uint64_t>(RCL_S_TO_NS(duration.sec)) + duration.nsec;
    ret.rcl_duration_.nanoseconds = total > static_cast<uint64_t>(limit_ns) ?
      limit_ns : static_cast<rcl_duration_value_t>(total);
  }
  return ret;
}

rmw_time_t
Duration::to_rmw_time() const
{
  if (rcl_duration_.nanoseconds < 0) {
    throw std::runtime_error("rmw_time_t cannot be negative");
  }
  rmw_time_t result;
  result.sec = static_cast<uint64_t>(RCL_NS_TO_S(rcl_duration_.nanoseconds));
  result.nsec = static_cast<uint64_t>(rcl_duration_.nanoseconds % kNanosecondsPerSecond);
  return result;
}

}  // namespace rclcpp

#ifndef BUILTIN_INTERFACES__MSG__TIME_HPP_
#define BUILTIN_INTERFACES__MSG__TIME_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace builtin_interfaces
{
namespace msg
{
/// builtin_interfaces/msg/Time: seconds and nanoseconds (nanosec < 1e9).
struct Time
{
  int32_t sec{0};
  uint32_t nanosec{0};

  SWEEPMEND_COMPAT_MSG_ALIASES(Time);
  bool operator==(const Time & o) const {return sec == o.sec && nanosec == o.nanosec;}
  bool operator!=(const Time & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace builtin_interfaces

SWEEPMEND_COMPAT_MSG_NAME(builtin_interfaces::msg::Time, "builtin_interfaces/msg/Time", "builtin_interfaces::msg::Time")

#endif  // BUILTIN_INTERFACES__MSG__TIME_HPP_
